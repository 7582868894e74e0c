// Credits: the credits picture laid over the last seconds; the demo then fades to black
// (demo time 188-195 s, cross-faded in from Vantel). No camera block and no GUI variables.
// Initialises successfully and draws nothing until the part is built.
#pragma once
#include "effects/effect.h"

class Credits : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    float fovy = 70.0f;
    float zFar = 20.0f;
};
