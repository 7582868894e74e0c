// The abstract sculpture of the RandomGeo2 part and its baked ambient occlusion:
//   objects/abs06.mmf                 a ball carved into a gyroid labyrinth of thick
//                                     walls, with a smooth torus-knot ribbon weaving in
//                                     and out of it and a solid core, all joined with
//                                     fillets; about 30k triangles, smooth normals,
//                                     texture coordinates as a split chart atlas
//   textures/abs06-split-ao1024.png   its ambient occlusion, 1024 x 1024 grey
//
// Modelled as a signed distance field (smooth blends between the pieces) sampled into a
// sparse OpenVDB level set, meshed with OpenVDB's volume-to-mesh and simplified to the
// triangle budget with meshoptimizer, which also orders it for the vertex cache. The
// occlusion is traced at the vertices (the labyrinth falls into many small charts).
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

namespace datagen {

struct SculptureShape {
    float ballRadius = 4.6f;     // the carved ball
    float gyroidPeriod = 2.7f;   // size of one labyrinth cell
    float wallHalf = 0.34f;      // half the thickness of the labyrinth's walls
    float coreRadius = 1.5f;     // solid ball in the middle
    int knotP = 2, knotQ = 3;    // the ribbon winds knotP times around the axis, knotQ through the hole
    float knotMajor = 4.2f;      // torus the ribbon lies on
    float knotMinor = 1.35f;
    float knotRadius = 0.45f;    // of the ribbon's tube
    float fillet = 0.22f;        // radius of the blends between the pieces
    float voxel = 0.07f;         // sampling step of the field
    int smoothing = 0;           // mean-curvature iterations on the level set (the field is smooth already)
    int maxTriangles = 30000;    // after simplification: more only costs frame time at the sizes it is seen
};

// The field: negative inside, roughly the distance to the surface near it.
float sculptureDistance(const SculptureShape& shape, float x, float y, float z);

// The welded, outward-facing mesh with smooth normals and no texture coordinates.
Mesh makeSculptureSurface(const SculptureShape& shape = SculptureShape());
// The same with its vertices split into atlas charts (uvs filled), vertex-cache ordered.
Mesh makeSculpture(const SculptureShape& shape = SculptureShape());

void generateSculpture(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
