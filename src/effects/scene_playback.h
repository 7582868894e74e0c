// Scene playback parts: each plays one animated scene file of the archive through the
// scene renderer, which sets up its own projection, camera and lights.
// Scene01 plays "wizard.xml" (demo time 0-20 s), Scene02 "cosiki2.xml" (134-153 s).
// They keep no state between frames and register no GUI variables.
// Both initialise successfully and draw nothing until the scene renderer exists.
#pragma once
#include "effects/effect.h"

class Scene01 : public Effect {
public:
    int init() override;
    void render(float localTime) override;
};

class Scene02 : public Effect {
public:
    int init() override;
    void render(float localTime) override;
};
