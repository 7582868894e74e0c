// The post-processing chain: the cross-fade mix and the bloom, run by Core::frame over
// the finished picture in the window's back buffer when the "postprocess" switch is on.
// Also the reference grid that effects draw when the "controlgrid" switch is on, and
// the binding discipline for the Core's render targets.
//
// The chain uses the Core's targets (sceneCopy, fadeOutCopy, fadeInCopy, bloomA,
// bloomB), its quadMesh and its six post effects; it keeps no state between frames.
// Needs the GL context current. Main thread only; allocates nothing.
#pragma once

struct RenderTarget;
struct Shader;

// Loads the six post effects in their order: bright pass, horizontal blur, vertical
// blur, final, overlay, mixer. 0 on success, 1 at the first failure (the loader logs why).
int loadPostEffects();
// The chain: mixer during a cross-fade, copy into sceneCopy, bright pass into bloomA,
// vertical blur into bloomB, horizontal blur into bloomA, final pass into the window.
void runPostProcess();
// 84 lines: a 21 x 21 unit grid in the XZ plane and one in the XY plane, 20 units
// wide, centred on the origin, white at half opacity, under the current matrices.
void drawReferenceGrid();
// Binds the target's framebuffer unless it is the one bound already.
void bindRenderTarget(const RenderTarget& target);
// Binds the window's framebuffer unless it is bound already.
void bindWindowFramebuffer();
// The separable blur both chains share, at the viewport set for bloomA: `vertical` of
// bloomA into bloomB, `horizontal` of bloomB into bloomA, each reading its source through
// the sampler named `sampler`; leaves the window's framebuffer bound, the result in bloomA.
void blurBloomTargets(const Shader& vertical, const Shader& horizontal, const char* sampler);
