// The sculpture of the Phalanx part and its baked ambient occlusion:
//   objects/phalanx_object.mmf   a cluster of jointed, bone-like fingers rising from a
//                                soft mound, about 11 units across and centred at the
//                                origin: a smooth signed distance field meshed at its
//                                zero level set (OpenVDB), simplified (meshoptimizer),
//                                normals from the field's gradient, texture coordinates from an atlas of charts
//                                (triangles grouped by facing, projected flat)
//   textures/phalanx-ao1024.png  its ambient occlusion, 1024 x 1024 grey
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

#include <cstdint>

namespace datagen {

struct PhalanxShape {
    int fingers = 7;          // round the middle one
    float voxel = 0.07f;      // meshing resolution, world units
    float adaptivity = 0.0f;  // how far the mesher may merge flat regions (0 = none)
    int triangles = 16000;    // after simplification
    uint32_t seed = 5150;
};

// Signed distance (approximately) to the sculpture: negative inside.
float phalanxDistance(const PhalanxShape& shape, float x, float y, float z);

Mesh makePhalanxSculpture(const PhalanxShape& shape = PhalanxShape());

void generatePhalanxSculpture(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
