// Envelopes: the value of an animated channel at a time.
//
// evaluateEnvelope is a pure function of the envelope and the time, in 32-bit float
// arithmetic, allocation-free; no state, any thread. The one side effect: a post
// behaviour it does not know (5 or more) shows the "Post behaviour type not implemented"
// box (main thread) on every evaluation past the last key, which then holds the last
// key's value. Keys are expected in increasing time; any other order gives some value,
// never a fault.
#pragma once
#include "scene/scene.h"

float evaluateEnvelope(float time, const Envelope& envelope);

// The most halvings of the curve parameter for a time-value Bezier span (type 5); enough
// to exhaust float precision, and a bound when the handles make the time curve fold.
constexpr int bezierIterations = 64;
