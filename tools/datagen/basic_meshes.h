// The two meshes every part relies on: the full-screen quad and the environment cube.
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

namespace datagen {

// Quad in z = 0 with positions -1..1, texture coordinates 0..1, normal +z, CCW.
Mesh makeQuad();
// Cube of the given edge centred on the origin, normals outward, CCW seen from outside,
// each face with its own four vertices and texture coordinates 0..1.
Mesh makeCube(float edge);

void generateBasicMeshes(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
