// StripesDOF: 200 thin upright bars rising at their own speeds before the living-room
// environment cube, seen from the fixed, tweakable camera, through the depth-of-field
// chain (demo time 39-59 s). A bar that rises above 14 is reborn at -15 with a new
// random place, size and speed.
//
// The bars move by the time step since the previous rendered frame, so the picture
// depends on the history of frames (a backwards step sinks them; no rebirth below).
// init draws the 200 records first (six draws each), then registers the camera, loads
// dof_cube and the five depth-of-field effects, the arrow mesh (uploaded, never drawn)
// and the two environment textures. GL objects are released by the destructor.
#pragma once
#include "effects/effect.h"
#include "resources/mesh.h"
#include "resources/shader.h"
#include "resources/texture.h"

#include <cstdint>
#include <vector>

// One bar: centre (x, y, z), width and depth w, height h, rising speed v (units per second).
struct Stripe {
    float x, y, z;
    float w, h, v;
};

// Bars above this height after a step are reborn at stripeRebirthY.
constexpr float stripeCeiling = 14.0f;
constexpr float stripeRebirthY = -15.0f;

// Appends `count` stripes, six draws each from the shared generator in the order x, y, z,
// w, h, v: x = (r - 0.5)·5, y = 5·r, z = 10·r, w = 0.1 + 0.2·r, h = 0.2 + 0.9·r, v = 0.5 + 4·r.
void createStripes(std::vector<Stripe>& stripes, uint32_t count);
// Moves the stripe up by step·v; when it ends strictly above the ceiling it is reborn
// at -15 with five draws in the order x = (r - 0.5)·20, z = 10·r, w = 0.1 + 0.2·r,
// h = 0.2 + 0.9·r, v = 0.8 + 4·r. True when it was reborn (at most once per call).
bool advanceStripe(Stripe& stripe, float step);
// One vertex of a bar: position and normal.
struct BarVertex {
    float x, y, z;
    float nx, ny, nz;
};
constexpr int barVertexCount = 36;
// The bar as triangles: a box centred on the origin, a along X, b along Z, c along Y,
// six faces with one normal each, two triangles per face wound counter-clockwise as
// seen from outside; writes barVertexCount vertices to `out`.
void boxVertices(float a, float b, float c, BarVertex* out);

class StripesDOF : public Effect {
public:
    StripesDOF() = default;
    ~StripesDOF() override;
    StripesDOF(const StripesDOF&) = delete;
    StripesDOF& operator=(const StripesDOF&) = delete;

    int init() override;
    void render(float localTime) override;
    // The bars as init drew them, previousTime 0.
    void restart() override;

    std::vector<Stripe> stripes;
    std::vector<Stripe> initialStripes;  // the bars right after init
    uint32_t stripeCount = 200;
    Shader cubeShader;  // shaders/dof_cube.cgfx
    DofShaders dof;     // dof_render, dof_copy, dof_gaussH, dof_gaussV, dof_combine
    // Slot 0 is never loaded (GL name 0, given to "texAO"); 1 living_room.dds;
    // 2 living_room_diff.dds; 3 is never loaded or used.
    Texture textures[4];
    Mesh arrowMesh;  // objects/arrow.mmf
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;
    float previousTime = 0.0f;  // localTime of the previous rendered frame
    // The bars, barVertexCount vertices each in the order of `stripes`, written again on
    // every frame and streamed into barBuffer (sized in init).
    std::vector<BarVertex> barVertices;
    unsigned int barBuffer = 0;
    CameraBlock camera{0.0f, -3.5f, -14.0f, 0.0f, 25.0f, 30.0f, 70.0f, 100.0f};
    float projection[16] = {};  // this frame's projection, column-major

private:
    void drawBackground();
    void drawStripes(float t);
};
