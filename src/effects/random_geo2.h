// RandomGeo2: the abstract sculpture (a ball carved into a gyroid labyrinth, wound about
// by a knotted ribbon) turning inside the hd210 space environment amid 512 tumbling
// sprites, seen by a jump-cut camera that jumps to a new random eye every 2.5 s while
// the world spins; the overlay01 picture is handed to the Core on every frame (demo time
// 96-115 s). Draws straight into the window framebuffer.
//
// init loads, in order: the camera variables, random_geo2_render, cube_env and
// particle2_render, the abs06 mesh, the four textures, the eight sprite pictures, uploads
// the mesh and fills the sprites from the shared generator (as Phalanx does). render
// draws from the generator only at camera cuts. The environment is the Core's cubeMesh.
// GL objects are released by the destructor (context current).
#pragma once
#include "effects/effect.h"
#include "resources/mesh.h"

#include <cstdint>
#include <vector>

// The mesh drawn with random_geo2_render, shared with Splines: the pass is set (camPos
// and the three samplers as given), the uploaded mesh is turned by `turnDegrees` about Y
// under the current view and `indexCount` indices from the start of its list are drawn
// (ranged, 32-bit), then the buffers, arrays and pass are reset. The shader lights in the
// frame of the current view (the environment's), which it gets from here through the
// constant texture coordinate sets 4-7 (gpu::constantTexCoord; put back to 0, 0, 0, 1
// afterwards).
struct PearlDraw {
    const Shader* shader;
    const CameraBlock* camera;
    uint32_t aoTexture, diffuseTexture, environmentTexture;
    unsigned int indexBuffer, vertexBuffer;
    uint32_t vertexCount;  // floats in the mesh's points / 3
};
void drawPearlMesh(const PearlDraw& draw, float turnDegrees, uint32_t indexCount);

// The environment cube under cube_env with "texEnv" := `cubeTexture`, drawn behind what
// is already drawn (drawEnvironmentBehind): the model-view-projection is handed to the
// shader, the pass set, the cube drawn and the pass reset. `cube` null = the Core's
// cubeMesh.
void drawEnvironmentPass(const Shader& cubeEnv, uint32_t cubeTexture, const Mesh* cube);

class RandomGeo2 : public Effect {
public:
    static constexpr int spriteCount = 512;
    static constexpr int spriteTextureCount = 8;

    RandomGeo2() = default;
    ~RandomGeo2() override;
    RandomGeo2(const RandomGeo2&) = delete;
    RandomGeo2& operator=(const RandomGeo2&) = delete;

    int init() override;
    void render(float localTime) override;
    // lastCut := 0 and the eye back to its default (0, -3.5, -20).
    void restart() override;

    Shader geoShader;       // shaders/random_geo2_render.cgfx
    Shader cubeEnvShader;   // shaders/cube_env.cgfx
    Shader particleShader;  // shaders/particle2_render.cgfx
    Texture aoTexture;       // textures/abs06-split-ao1024.png
    Texture envTexture;      // textures/hd210.dds
    Texture envDiffTexture;  // textures/hd210_diff.dds
    Texture overlayTexture;  // textures/overlay01.png
    std::vector<Texture> spriteTextures;  // textures/particle01.png ... particle08.png
    Mesh mesh;  // objects/abs06.mmf
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;
    Sprite sprites[spriteCount] = {};
    float lastCut = 0.0f;  // local time of the last camera cut
    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 120.0f};
};
