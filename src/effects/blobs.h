// Blobs: a swarm of 64 copies of the virus mesh, each spinning on its own, inside the
// living-room environment cube, seen by a jump-cut camera (a new random eye every 3.3 s
// while the world slowly turns); drawn off-screen and passed through the depth-of-field
// chain, with the overlay01 picture handed to the Core on every frame (demo time 57-77 s).
//
// init loads, in order: blobs_render and cube_env, the environment cube and the virus
// mesh, the four textures, uploads the virus mesh, draws the 64 blob records from the
// shared random generator, then loads the five depth-of-field effects. Only render
// draws from the generator afterwards (at each camera cut). The blob records never
// change after init; the levels of detail follow the virus mesh when it reloads. GL
// objects are released by the destructor (context current).
#pragma once
#include "effects/effect.h"
#include "render/lod.h"
#include "resources/mesh.h"
#include "resources/shader.h"
#include "resources/texture.h"

#include <cstdint>
#include <vector>

// One cell of the swarm: its place and its spin rate (degrees per second scale).
struct Blob {
    float x, y, z;
    float s;
};

// Appends `count` blobs, four draws each from the shared generator in the order x, y, z,
// s: x, y, z = (r - 0.5)·70, s = 0.5 + 40·r.
void createBlobs(std::vector<Blob>& blobs, uint32_t count);

class Blobs : public Effect {
public:
    Blobs() = default;
    ~Blobs() override;
    Blobs(const Blobs&) = delete;
    Blobs& operator=(const Blobs&) = delete;

    int init() override;
    void render(float localTime) override;
    // No cut yet, the eye back where init left it.
    void restart() override;

    Shader blobsShader;    // shaders/blobs_render.cgfx
    Shader cubeEnvShader;  // shaders/cube_env.cgfx
    DofShaders dof;        // dof_render, dof_copy, dof_gaussH, dof_gaussV, dof_combine
    Texture aoTexture;       // textures/virus-ao1024.png
    Texture envTexture;      // textures/living_room.dds
    Texture envDiffTexture;  // textures/living_room_diff.dds
    Texture overlayTexture;  // textures/overlay01.png
    uint32_t blobCount = 64;
    std::vector<Blob> blobs;
    Mesh envMesh;   // objects/cube_env100out.mmf
    Mesh blobMesh;  // objects/virus.mmf
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;
    // The cell's levels of detail, all in indexBuffer: a cell is drawn at the coarsest
    // level whose on-screen radius still reaches lodPixels, and not at all outside the view.
    LodChain lods;
    // Per frame: each visible cell's model-view and level, nearest first (sized in init).
    struct CellDraw {
        float modelView[16];
        int level;
    };
    std::vector<CellDraw> cellDraws;
    bool levelsOfDetail = true;  // false: every cell at full detail (benchmarks compare)
    static constexpr float lodFractions[3] = {0.25f, 0.08f, 0.03f};
    static constexpr float lodPixels[3] = {90.0f, 40.0f, 18.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
    CameraBlock camera{0.0f, -3.5f, -30.0f, 0.0f, 25.0f, 30.0f, 70.0f, 140.0f};
    float initialEye[3] = {0.0f, -3.5f, -30.0f};  // camX, camY, camZ right after init
    float projection[16] = {};  // this frame's projection, column-major

private:
    // lods from blobMesh, into indexBuffer (at init, and again when the mesh reloads).
    void buildLevels();
    void drawEnvironment();  // behind the cells
    void drawSwarm(float t);
};
