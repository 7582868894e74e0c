// Ambient-occlusion baking: for every texel that a mesh's texture coordinates map
// onto the surface, the fraction of a cosine-weighted hemisphere of rays (around the
// interpolated normal) that leave without hitting the mesh, traced with Embree.
//
// Picture orientation is the texture loader's: row 0 of the image is the top of the
// picture (v = 1); the loader puts the bottom row at v = 0. Texels outside every UV
// triangle are filled by dilating the charts outwards (so mipmaps and bilinear
// filtering do not bleed the background into the seams) and then with the mean.
// Deterministic: every texel has its own seeded sample pattern.
#pragma once
#include "datagen/image.h"
#include "resources/mesh.h"

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

struct AoSettings {
    int size = 1024;          // width and height of the picture
    int rays = 64;            // rays per texel
    float maxDistance = 0.0f; // occluders further than this do not count; 0 = no limit
    int traceDivisor = 2;     // rays are traced on a grid this many times coarser, then
                              // enlarged bilinearly (occlusion varies slowly; 4x cheaper)
    int dilate = 16;          // texels (of the picture) grown outwards from every chart
    bool smooth = true;       // a 3x3 filter inside the charts against sampling noise
    uint32_t seed = 1;
};

// Greyscale picture (1 channel, 255 = open sky). On a mesh without texture
// coordinates or with bad indices, returns an empty image and sets *error.
Image bakeAmbientOcclusion(const Mesh& mesh, const AoSettings& settings = AoSettings(), std::string* error = nullptr);

// Which triangle covers each texel centre (row 0 = v 1), -1 for none; the first
// triangle in mesh order wins where UV triangles overlap.
std::vector<int32_t> rasteriseUvs(const Mesh& mesh, int size);

}  // namespace datagen
