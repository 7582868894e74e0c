// Vantel: a surface shaped in the vertex shader from an 80 x 80 parametric grid
// (sh_render, driven by the shape values m0, m1 and the time), circled by 32 glassy
// satellites, each a sphere with six smaller spheres around it (sh_wire_render), inside
// the hd210 environment cube, seen by a jump-cut camera (a new random eye every 3.1 s,
// no reset when time moves back). Demo time 153-193 s; Greetings draws over its last
// 20 seconds in the view it leaves.
//
// VantelObject: the same kind of object at a tenth of the size, as a scene companion.
// One process-wide instance (`vantelObject`, app/globals.cpp). The Core calls its init
// after its own GL set-up, when every scheduled effect has registered its variables and
// taken its random draws, and ignores the result. The scene renderer calls render(t)
// with the scene time for every scene object of type 0, under the model-view matrix it
// loaded for that object; render sets no projection or camera, draws no environment,
// grid or overlay, and leaves the model-view scaled by 0.1.
//
// init of either, in order: the camera and m0/m1 on the GUI bar, the effect files, the
// environment mesh, the textures (failing loads return 1 at once), the 32 satellite
// records (four draws each: x, y, z, w), the satellite's mesh (sphere A and its six
// spheres B, a quadric's spheres as one indexed list: render/sphere.h), then the grid's
// buffers.
// GL objects live until the process ends.
#pragma once
#include "effects/effect.h"
#include "resources/mesh.h"
#include "resources/shader.h"
#include "resources/texture.h"

#include <cstdint>

// One satellite: its place and its tumbling rate.
struct Satellite {
    float x, y, z;
    float w;
};

// The spread of a satellite swarm: each record takes four draws in the order
// x = size·r - size/2, y = height·r - height/2, z = size·r - size/2, w = 30·r - 15.
struct SatelliteSpread {
    float size;    // x and z
    float height;  // y
};
constexpr SatelliteSpread vantelSpread = {24.0f, 20.0f};
constexpr SatelliteSpread vantelObjectSpread = {12.0f, 10.0f};

constexpr int satelliteCount = 32;
constexpr int satelliteLevels = 5;  // detail levels of one sphere: 16, 12, 8, 6, 4 steps
// The parametric grid: u over a full turn, v over a half turn, in gridSteps steps each.
constexpr int gridSteps = 80;

void fillSatellites(Satellite* satellites, int count, const SatelliteSpread& spread);

// Opacity of satellite `index` at local time t: 0.05·(cos(index + 0.1·t) + 1), the
// cosine in radians (a cycle of 2π/0.1 s, each satellite shifted by its index).
float satelliteAlpha(int index, float t);

// What Vantel and VantelObject share: resources, records, lists and shape values.
struct VantelBody {
    Shader cubeEnvShader;  // shaders/cube_env.cgfx
    Shader surfaceShader;  // shaders/sh_render.cgfx
    Shader wireShader;     // shaders/sh_wire_render.cgfx
    Mesh envMesh;          // objects/cube_env100out.mmf, the part's own copy
    Mesh spareMesh;        // never loaded
    Satellite satellites[satelliteCount] = {};
    float m0 = 12.0f;  // shape values of the surface and satellite shaders
    float m1 = 18.0f;
    // A satellite: its sphere A and its six companion spheres B in drawing order as one
    // indexed mesh in GL buffers (per vertex: position, normal, its sphere's centre). A and
    // the six B each come at five levels of detail (16 down to 4 slices and stacks); a
    // satellite is drawn as A at the level its own size on screen asks for followed by
    // the B at theirs, each keeping its outline to a third of a pixel.
    struct SatelliteMesh {
        unsigned int vertexBuffer = 0;
        unsigned int indexBuffer = 0;
        uint32_t first[satelliteLevels][satelliteLevels] = {};  // [level of A][level of B]
        uint32_t count[satelliteLevels][satelliteLevels] = {};
        uint32_t lastVertex = 0;
    } satelliteMesh;
    // The 81 x 81 corners of the 80 x 80 grid (u, v, 0) and its quads as two triangles
    // each, in GL buffers.
    struct GridMesh {
        unsigned int vertexBuffer = 0;
        unsigned int indexBuffer = 0;
        int indexCount = 0;
    } gridMesh;
    float radiusA = 0.0f;              // the radii the satellite mesh was built with
    float radiusB = 0.0f;

    // Registers m0 and m1 on the GUI bar (" min=0 max=20 step=0.5 ").
    void registerShape();
    // Loads the three effect files and the environment mesh; 1 at the first failure.
    int loadShadersAndMesh();
    // The satellite mesh (spheres of radii a and b) and the grid.
    void buildMeshes(float radiusA, float radiusB);
    // The satellites under the current matrices: "m0", "m1", "t" := 0.4·t on
    // sh_wire_render, its first pass, every record with its colour and the satellite mesh;
    // a satellite whose spheres lie wholly outside the view volume, or whose glass is too
    // faint for any fragment to pass the shader's threshold, is not drawn; spheres small on
    // screen are drawn at coarser levels.
    void drawSatellites(float t);
    // The grid through sh_render ("m0", "m1", "t" := 0.4·t), `scale` applied to the
    // model-view after the pass is set (1 = none).
    void drawSurface(float t, float scale);
};

class Vantel : public Effect {
public:
    int init() override;
    void render(float localTime) override;
    void restart() override;

    VantelBody body;
    // hd210.dds (environment), hd210_diff.dds (its diffuse version), overlay01.png
    // (loaded, never shown); the fourth slot is never loaded.
    Texture textures[4];
    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 140.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
};

class VantelObject : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    VantelBody body;
    // virus2-ao1024.png, hd210.dds, hd210_diff.dds, overlay08.jpg (loaded, never drawn).
    Texture textures[4];
    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 130.0f};
    float lastCut = 0.0f;
};

extern VantelObject vantelObject;
