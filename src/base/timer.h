// The demo clock over the platform's monotonic high-resolution counter.
// Owned by Core; reset when the music starts; paused and moved by the control bar.
// The thread is not pinned to a processor: the monotonic counter is consistent across
// processors, and threads created later (GL rasterisers, audio) would inherit the mask.
#pragma once
#include <cstdint>

struct Timer {
    int64_t start = 0;
    int64_t elapsed = 0;
    int64_t now = 0;
    double secondsPerTick = 0.0;
    bool paused = false;
    // Always true on Linux: CLOCK_MONOTONIC exists on every kernel we run on.
    bool available = false;

    Timer();
    // Demo time 0 from now on.
    void reset();
    // Takes a fresh counter value unless paused; returns the demo time in seconds.
    float read();
    // Raw counter value (for the control bar's Play / Time / Reset arithmetic).
    static int64_t counter();
};
