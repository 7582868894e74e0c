// The post-processing chain: the cross-fade mix and the bloom, run by Core::frame over
// the finished picture in the window's back buffer when the "postprocess" switch is on.
// It draws with the shared passes of render/draw.h.
//
// The chain uses the Core's targets (sceneCopy, fadeOutCopy, fadeInCopy, bloomA,
// bloomB), its quadMesh and its six post effects; it keeps no state between frames.
// Needs the GL context current. Main thread only; allocates nothing.
#pragma once
#include "core/timeline.h"

// Loads the six post effects in their order: bright pass, horizontal blur, vertical
// blur, final, overlay, mixer. 0 on success, 1 at the first failure (the loader logs why).
int loadPostEffects();
// The chain: copy into sceneCopy, bright pass into bloomA, vertical blur into bloomB,
// horizontal blur into bloomA, final pass into the window under `flash` (the music's
// wash, drawn by the final pass instead of a blend of its own). During a cross-fade the
// bright and final passes read fadeOutCopy and fadeInCopy mixed by the cross-fade factor
// (no copy; with effect files that lack the mixing techniques, the mixer's pass into the
// window first, as before).
void runPostProcess(const Wash& flash);
