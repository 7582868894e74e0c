// StripesDOF: 200 rising stripes before an environment cube, fixed camera, depth of
// field (demo time 39-59 s).
// Initialises successfully and draws nothing until the part is built.
#pragma once
#include "effects/effect.h"

class StripesDOF : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, -3.5f, -14.0f, 0.0f, 25.0f, 30.0f, 70.0f, 100.0f};
};
