// TheHub: the hub, a huge machined centrepiece turning inside the campus_cross
// environment cube, seen by a jump-cut camera that cuts to a random eye every 3.3 s,
// with the overlay01 picture handed to the Core on every frame (demo time 18-39 s,
// cross-faded in over the first scene). Drawn straight into the window framebuffer.
//
// init loads, in order: hub_render and cube_env, the environment cube and the hub mesh,
// uploads the hub mesh, then loads the four textures. It draws nothing from the shared
// generator; render draws four to six values at each cut (y, within ±2, always takes
// its second). Time going backwards does not reset the cut clock: the eye then holds
// until t passes lastCut + 3.3 again.
// GL objects are released by the destructor (context current).
#pragma once
#include "effects/effect.h"
#include "resources/mesh.h"
#include "resources/shader.h"
#include "resources/texture.h"

class TheHub : public Effect {
public:
    TheHub() = default;
    ~TheHub() override;
    TheHub(const TheHub&) = delete;
    TheHub& operator=(const TheHub&) = delete;

    int init() override;
    void render(float localTime) override;
    // Back to the default eye and no cut yet.
    void restart() override;

    Shader hubShader;        // shaders/hub_render.cgfx
    Shader cubeEnvShader;    // shaders/cube_env.cgfx
    Texture aoTexture;       // textures/hub-ao-1024.png
    Texture envTexture;      // textures/campus_cross.dds
    Texture envDiffTexture;  // textures/campus_cross_diff.dds
    Texture overlayTexture;  // textures/overlay01.png
    Mesh envMesh;            // objects/cube_env100out.mmf
    Mesh hubMesh;            // objects/hub.mmf
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;

    CameraBlock camera{0.0f, -3.5f, 20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 120.0f};
    float lastCut = 0.0f;  // local time of the last camera cut

private:
    void drawEnvironment();  // behind the hub
    void drawHub(float t);
};
