// Core: the demo's timeline and per-frame driver.
//
// One process-wide object (`core`, globals.cpp). init() loads everything and starts
// the clock and the music; frame() renders one frame at the clock's time and posts the
// quit request after the end of the demo.
#pragma once
#include "app/timer.h"

#include <cstdint>

class Core {
public:
    Timer timer;
    uint32_t frames = 0;
    float time = 0.0f;

    // 0 on success, 1 on failure (already reported).
    int init();
    void frame();
};

extern Core core;
