// Ambient occlusion traced at a mesh's vertices and painted into its texture atlas.
//
// For meshes cut into many small charts the texel baker (ao_baker.h) starves: a chart
// smaller than a few texels gets no samples of its own. Tracing at the vertices instead
// gives every triangle its own values whatever its size in the atlas; painting then
// interpolates them over each triangle and two texels beyond its edges, so that bilinear
// filtering and the first mipmap at a chart's border read the chart's own values (the
// atlas keeps charts four texels apart). Deterministic: every vertex has its own
// seeded sample pattern (seeded by its position,
// so copies of a vertex agree). Picture orientation as the texel baker's (row 0 = v 1).
#pragma once
#include "datagen/image.h"
#include "resources/mesh.h"

#include <cstdint>
#include <vector>

namespace datagen {

// Fraction of a cosine-weighted hemisphere of `rays` rays around each vertex normal that
// leaves without hitting the mesh within `maxDistance` (0 = no limit): 1 = open sky.
// Empty when the mesh cannot be traced (no triangles, bad indices).
std::vector<float> vertexOcclusion(const Mesh& mesh, int rays, float maxDistance, uint32_t seed);

// A size x size grey picture of per-vertex values (0..1) spread over the triangles
// through the texture coordinates; texels no triangle reaches hold the values' mean.
Image paintVertexValues(const Mesh& mesh, const std::vector<float>& values, int size);

}  // namespace datagen
