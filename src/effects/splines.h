// Splines: tubes that grow from a few roots near the centre and spiral out in twisted
// bundles, turning inside the hd210 space environment, seen by a jump-cut camera that
// jumps to a new random eye every 3.1 s while spinning about all three axes; the
// overlay-spiritblack picture is handed to the Core on every frame (demo time 115-134 s,
// ending in the Core's fade to white). Draws straight into the window framebuffer.
//
// The growth is the mesh's own triangle order (every strand advances ring by ring at
// once): each frame draws the prefix of splinesIndexCount(total, t) indices, so the
// strands are half grown at 9 s and whole from 18 s, and shrink again when time goes back.
//
// init loads, in order: the camera variables, random_geo2_render and cube_env, the
// environment cube and the abs08 mesh, the four textures, and uploads the strand mesh.
// render draws from the shared generator only at camera cuts. GL objects are released by
// the destructor (context current).
#pragma once
#include "effects/effect.h"
#include "resources/mesh.h"

#include <cstdint>

// Indices of the strand mesh drawn at local time t: total / 18 · t in floating point,
// truncated, within [0, total] (never rounded to whole triangles: the GL draws none of
// a trailing partial one).
uint32_t splinesIndexCount(uint32_t total, float t);

class Splines : public Effect {
public:
    Splines() = default;
    ~Splines() override;
    Splines(const Splines&) = delete;
    Splines& operator=(const Splines&) = delete;

    int init() override;
    void render(float localTime) override;
    // lastCut := 0, the eye back to its default (0, -3.5, -20), nothing drawn yet.
    void restart() override;

    Shader geoShader;      // shaders/random_geo2_render.cgfx (this part's own instance)
    Shader cubeEnvShader;  // shaders/cube_env.cgfx
    Texture aoTexture;       // textures/abs08-ao1024.png
    Texture envTexture;      // textures/hd210.dds
    Texture envDiffTexture;  // textures/hd210_diff.dds
    Texture overlayTexture;  // textures/overlay-spiritblack.png
    Mesh envMesh;      // objects/cube_env100out.mmf
    Mesh strandMesh;   // objects/abs08.mmf
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;
    uint32_t drawnIndexCount = 0;  // indices drawn on the latest frame
    float lastCut = 0.0f;          // local time of the last camera cut
    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 140.0f};
};
