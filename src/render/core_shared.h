// What the Core shares with the parts, declared on the floor below both: the two meshes
// and the render targets that the parts' passes and depth-of-field chains borrow, the
// overlay a part hands over for one frame, and the control-grid switch.
//
// The process-wide Core (core/core.h) is built on this record, so `coreShared` and
// `core` are one object; app/globals.cpp binds the reference. The Core creates the
// meshes and targets after the parts' init (use them in render only), reads
// overlayTexture after each part's render and clears it, and sets controlgrid from
// the control bar. Main thread only.
#pragma once
#include "resources/mesh.h"
#include "scene/render_target.h"

#include <cstdint>
#include <limits>

struct CoreShared {
    uint32_t overlayTexture = 0;  // handed over by a part for one frame
    bool controlgrid = false;     // draw the reference grid (the "control grid" switch)
    Mesh quadMesh;                // objects/quad.mmf, the full-screen quad of every post pass
    Mesh cubeMesh;                // objects/cube_env100out.mmf, the environment cube
    RenderTarget sceneCopy;       // the band's picture, with the Core's depth buffer
    RenderTarget bloomA;          // 256 x 256
    RenderTarget bloomB;          // 256 x 256
    // Offline rendering replays frames (core/offline.h) and keeps here the latest demo
    // time it has rendered; each frame the Core sets frameIsNew to whether its time lies
    // beyond. What a part logs about a frame (Phalanx's cuts) is written only for new
    // frames, so that the log of an offline run reads as the log of one pass through the
    // demo. Real-time playback leaves renderedUntil below every time.
    float renderedUntil = -std::numeric_limits<float>::infinity();
    bool frameIsNew = true;
};

extern CoreShared& coreShared;
