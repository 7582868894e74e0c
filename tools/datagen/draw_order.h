// The order a finished mesh is stored in for drawing: triangles in vertex-cache order,
// then regrouped so that outer surfaces, seen from any side, come before what they hide
// (the depth test then rejects hidden fragments before they are shaded), then vertices
// in first-use order. Triangles of no area are left out, and so are the vertices only
// they used. The surface, its vertex attributes and its texture coordinates are
// unchanged; only the order of triangles and vertices is (meshoptimizer).
#pragma once
#include "resources/mesh.h"

namespace datagen {

Mesh inDrawOrder(const Mesh& mesh);

}  // namespace datagen
