// Levels of detail for a mesh drawn many times in one frame: coarser index lists over
// the mesh's own vertices, and the choice of a level (or none) for one copy from where
// it lies in the view.
//
// buildLodChain runs once at load time (it allocates); viewVolume once per frame;
// chooseLevel (or levelForPixels) per copy, allocation-free. Pure arithmetic, no GL.
#pragma once
#include <cstdint>
#include <vector>

struct Mesh;

constexpr int maxLodLevels = 4;

// Level 0 is the mesh's triangles in vertex-cache order; level i > 0 keeps about
// fractions[i - 1] of them, simplified so that the silhouette stays. All levels share
// the mesh's vertices and lie one after another in `indices`.
struct LodChain {
    std::vector<uint32_t> indices;
    int levels = 0;
    uint32_t first[maxLodLevels] = {};  // first index of each level
    uint32_t count[maxLodLevels] = {};  // index count of each level
    float radius = 0.0f;                // bounding sphere about the origin
};

// `extraLevels` further levels (at most maxLodLevels - 1) of the given triangle
// fractions. An empty or malformed mesh (indices out of range) gives levels = 0.
LodChain buildLodChain(const Mesh& mesh, const float* fractions, int extraLevels);

// The six planes of the view volume in eye space (a·x + b·y + c·z + d >= 0 inside,
// normalised) and the pixels one unit covers at eye distance one.
struct ViewVolume {
    float planes[6][4] = {};
    float pixelsPerUnit = 0.0f;
};
// From a column-major projection matrix and the viewport's height in pixels.
ViewVolume viewVolume(const float* projection, int viewportHeight);

// Whether the sphere of `radius` about `center` (eye space) lies wholly outside the
// view volume.
bool outsideView(const ViewVolume& view, const float* center, float radius);

// The most the linear part of a column-major 4 x 4 matrix stretches any length (its
// largest singular value): a sphere of radius r maps into one of radius r times this.
float maxStretch(const float* matrix);

// The first level i (of `levels` >= 1) whose radius on screen, `pixels`, is at least
// minPixels[i]; the last level otherwise.
int levelForPixels(float pixels, const float* minPixels, int levels);

// The level for a copy whose bounding sphere has `center` (eye space) and `radius`:
// -1 when the sphere lies wholly outside the view volume; else the first level i whose
// on-screen radius in pixels is at least minPixels[i] (the last level otherwise).
int chooseLevel(const ViewVolume& view, const float* center, float radius, const float* minPixels, int levels);
