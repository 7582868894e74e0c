// Phalanx: one sculpted object in an environment cube amid 512 tumbling sprites, seen by
// a camera cycling through five fixed positions (demo time 77-96 s).
// Initialises successfully and draws nothing until the part is built.
#pragma once
#include "effects/effect.h"

class Phalanx : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, 7.0f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 120.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
};
