// Renders a parsed score to stereo floating-point audio: every track's notes, its gain and
// side-chain ducking, the delay and reverb sends, the master fades, loudness normalisation and
// the limiter. The notes of every track are dealt alternately to two groups, each rendered by
// its own thread into its own busses, and the busses are summed in a fixed order, so the
// result does not depend on thread timing or on the number of threads.
#pragma once
#include "datagen/synth/score.h"

#include <string>
#include <vector>

namespace synth {

struct Rendering {
    std::vector<float> left, right;
    double loudness = -70.0;      // integrated loudness of the result, LUFS
    float peak = 0.0f;            // largest sample, linear
    float gainDb = 0.0f;          // normalisation gain that was applied
    float limiterDb = 0.0f;       // deepest limiter reduction
    std::vector<float> trackLevels; // about the RMS of each track's dry output while it plays, before normalisation
};

// Renders the whole piece (score.length seconds). threads is 1 or 2.
void renderScore(const Score& score, Rendering& out, int threads = 2);

}  // namespace synth
