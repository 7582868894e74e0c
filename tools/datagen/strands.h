// The growing strands of the Splines part and their baked ambient occlusion:
//   objects/abs08.mmf          tubes swept along smooth curves: from three roots near
//                              the centre, bundles of three strands twisted round each
//                              other spiral outwards; each tube tapers towards its tip
//                              and is closed by a dome at both ends
//   textures/abs08-ao1024.png  its ambient occlusion, 1024 x 1024 grey
//
// The triangle list is the growth: first the root domes of all strands, then ring step 0
// of every strand, ring step 1 of every strand, ... and last the tip domes, with the
// rings at equal steps of arc length. So any prefix of the list shows every strand grown
// by the same fraction of its length, and the part grows them by drawing a prefix.
// Texture coordinates: each tube is cut into pieces along its length, unrolled into
// rectangles, and packed with the domes as an atlas of charts.
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

#include <vector>

namespace datagen {

struct StrandsShape {
    int roots = 3;              // points near the centre the bundles start from
    int bundlesPerRoot = 3;
    int strandsPerBundle = 3;   // twisted round the bundle's spine
    int rings = 160;            // ring steps along every strand (even)
    int sides = 8;              // vertices around a ring
    int domeRings = 3;          // rings of each end dome before its pole
    int ringsPerChart = 20;     // length of the tube pieces in the atlas
    float length = 11.0f;       // typical spine length; each bundle varies it
    float tubeRadius = 0.12f;   // at the root; the tip is 40% of it
    float bundleRadius = 0.5f;  // distance of the strands from their spine
    uint32_t seed = 808;
};

// One strand's centre line as the mesh was built from it: ring i's centre is
// centres[i] (rings + 1 of them), at arc length i / rings of the whole along the line.
struct StrandCurve {
    std::vector<float> centres;  // x, y, z per ring
    float length = 0.0f;         // arc length from root to tip
};

// The strands' centre lines, in the order the mesh interleaves them.
std::vector<StrandCurve> strandCurves(const StrandsShape& shape = StrandsShape());

// The tube mesh in growth order with atlas texture coordinates. `chartOfVertex`, when
// given, receives the atlas chart of every vertex.
Mesh makeStrands(const StrandsShape& shape = StrandsShape(), std::vector<int>* chartOfVertex = nullptr);

void generateStrands(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
