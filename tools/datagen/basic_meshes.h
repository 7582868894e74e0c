// The basic meshes: the full-screen quad, the environment cube and the arrow.
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

namespace datagen {

// Quad in z = 0 with positions -1..1, texture coordinates 0..1, normal +z, CCW.
Mesh makeQuad();
// Cube of the given edge centred on the origin, normals outward, CCW seen from outside,
// each face with its own four vertices and texture coordinates 0..1.
Mesh makeCube(float edge);
// Arrow along +y from the origin to y = 1: a round shaft (radius 0.05, up to y = 0.7)
// and a cone head (radius 0.12), closed underneath, normals outward, u around, v = y.
Mesh makeArrow();

void generateBasicMeshes(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
