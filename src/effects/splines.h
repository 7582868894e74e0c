// Splines: growing strands seen by a spinning jump-cut camera (demo time 115-134 s).
// Initialises successfully and draws nothing until the part is built.
#pragma once
#include "effects/effect.h"

class Splines : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 140.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
};
