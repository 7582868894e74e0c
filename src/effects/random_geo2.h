// RandomGeo2: a turning abstract mesh with a sprite cloud and fast jump cuts
// (demo time 96-115 s).
// Initialises successfully and draws nothing until the part is built.
#pragma once
#include "effects/effect.h"

class RandomGeo2 : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 120.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
};
