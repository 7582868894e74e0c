// Phalanx: one pale sculpted object in the rnl environment cube amid a cloud of 512
// tumbling sprites, seen by a jump-cut camera that steps through five fixed eyes, one
// every 3.3 s, logging each cut (not again when offline rendering replays the frame);
// the overlay-bornto picture is handed to the Core on every frame (demo time 77-96 s).
//
// init loads, in order: phalanx_render, nah_cube_env and particle_render, the
// environment cube and the object mesh, the object's three textures, the eight sprite
// textures, the overlay; uploads the object mesh; then fills the sprites from the
// shared generator (five draws each). The sprites never change afterwards; their
// motion is a function of time.
//
// The cut index is shared by every Phalanx (a class-wide counter): scrubbing back
// resets the cut clock but the eyes continue from where the list stood. restart()
// puts the index back to the first eye as well. GL objects are released by the
// destructor (context current).
#pragma once
#include "effects/effect.h"
#include "resources/mesh.h"
#include "resources/shader.h"
#include "resources/texture.h"

#include <vector>

// The five eyes the camera cycles through, in order.
constexpr int phalanxEyeCount = 5;
extern const float phalanxEyes[phalanxEyeCount][3];

class Phalanx : public Effect {
public:
    static constexpr int spriteCount = 512;
    static constexpr int spriteTextureCount = 8;

    Phalanx() = default;
    ~Phalanx() override;
    Phalanx(const Phalanx&) = delete;
    Phalanx& operator=(const Phalanx&) = delete;

    int init() override;
    void render(float localTime) override;
    // Back to the default eye, no cut yet, and the first eye of the list next.
    void restart() override;

    Shader objectShader;     // shaders/phalanx_render.cgfx
    Shader envShader;        // shaders/nah_cube_env.cgfx
    Shader particleShader;   // shaders/particle_render.cgfx
    Texture aoTexture;       // textures/phalanx-ao1024.png
    Texture envTexture;      // textures/rnl.dds
    Texture envDiffTexture;  // textures/rnl_diff.dds
    Texture overlayTexture;  // textures/overlay-bornto.png
    std::vector<Texture> spriteTextures;  // textures/particle01.png ... particle08.png
    Mesh envMesh;     // objects/cube_env100out.mmf
    Mesh objectMesh;  // objects/phalanx_object.mmf
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;
    Sprite sprites[spriteCount] = {};

    CameraBlock camera{0.0f, 7.0f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 120.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
    static int cutIndex;   // the list entry the next cut takes, shared by the class

private:
    void cut(float t);
    void drawEnvironment();  // behind the object
    void drawObject();
};
