// Bus effects and the master stage: a tempo-free ping-pong delay, a Freeverb-style reverb,
// the look-ahead limiter and a loudness meter (ITU-R BS.1770 gated integrated loudness).
// All work on whole buffers owned by the caller and are deterministic.
#pragma once
#include "datagen/synth/dsp.h"
#include "datagen/synth/instrument.h"

#include <cstdint>
#include <vector>

namespace synth {

// Ping-pong delay: the mono send enters the left line, the repeats alternate sides and darken.
struct DelaySettings {
    float time = 0.375f;      // seconds between repeats
    float beats = 0.0f;       // when > 0: the repeat time in beats, following the tempo map
    float feedback = 0.45f;
    float tone = 3500.0f;     // low-pass in the feedback path, Hz
    float level = 1.0f;       // wet output gain
};
// Adds the wet signal of send (frames long) into left/right. times (may be null) overrides
// settings.time with a delay time in seconds that may change along the piece.
void applyDelay(const DelaySettings& settings, float sampleRate, const float* send, float* left, float* right,
                int64_t frames, const Curve* times = nullptr);

struct ReverbSettings {
    float size = 0.84f;       // comb feedback scale, 0..1 (longer tail when higher)
    float damping = 0.35f;    // high-frequency loss per pass, 0..1
    float width = 1.0f;       // stereo width of the tail
    float preDelay = 0.02f;   // seconds
    float lowCut = 180.0f;    // high-pass on the send, Hz
    float highCut = 9000.0f;  // low-pass on the send, Hz
    float level = 1.0f;       // wet output gain
};
// Adds the wet signal of the mono send into left/right.
void applyReverb(const ReverbSettings& settings, float sampleRate, const float* send, float* left, float* right,
                 int64_t frames);

// Look-ahead peak limiter: scales left/right so that no sample exceeds ceiling (linear), with a
// smooth gain (the reduction starts lookahead seconds before a peak and recovers over release).
// Returns the largest reduction applied, in dB (0 when nothing was limited).
float applyLimiter(float ceiling, float lookahead, float release, float sampleRate, float* left, float* right,
                   int64_t frames);

// Integrated loudness in LUFS (K-weighted, 400 ms blocks with 75 % overlap, absolute gate
// -70 LUFS and relative gate -10 LU). Returns -70 for silence.
double integratedLoudness(const float* left, const float* right, int64_t frames, float sampleRate);

// Largest absolute sample of both channels.
float peakLevel(const float* left, const float* right, int64_t frames);

}  // namespace synth
