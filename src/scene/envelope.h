// Envelopes: the value of an animated channel at a time.
//
// evaluateEnvelope is a pure function of the envelope and the time, in 32-bit float
// arithmetic, allocation-free; no state, any thread. A post behaviour it does not know
// (5 or more) holds the last key's value past the last key; such an evaluation shows
// the "Post behaviour type not implemented" box (main thread), or, when `unknownPost`
// is given, sets *unknownPost instead and leaves the telling to the caller. A span type
// it does not know is 0 plus the offset (checkScene refuses such trees). Keys are
// expected in increasing time; any other order gives some value, never a fault.
#pragma once
#include "scene/scene.h"

float evaluateEnvelope(float time, const Envelope& envelope, bool* unknownPost = nullptr);

// The most halvings of the curve parameter for a time-value Bezier span (type 5); enough
// to exhaust float precision, and a bound when the handles make the time curve fold.
constexpr int bezierIterations = 64;
