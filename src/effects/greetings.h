// Greetings: extruded outline-font names drawn over Vantel, inheriting its view
// (demo time 173-193 s).
// Initialises successfully and draws nothing until the part is built.
#pragma once
#include "effects/effect.h"

class Greetings : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, -1.0f, -10.0f, 0.0f, 0.0f, 0.0f, 70.0f, 20.0f};
};
