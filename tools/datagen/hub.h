// The hub of the TheHub part and its baked ambient occlusion:
//   objects/hub.mmf          a machined centrepiece about 14 units across, axis along Y:
//                            a stepped drum with spindles, a flange, eight I-beam spokes
//                            to a chamfered outer rim, stacked rings on posts, ribs,
//                            hex bolts, pistons and cable runs; sharp edges where the
//                            profile turns, smooth normals around revolved parts;
//                            texture coordinates packed as an atlas of charts
//   textures/hub-ao-1024.png its ambient occlusion, 1024 x 1024 grey
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

namespace datagen {

struct HubShape {
    int segments = 80;        // around the rim; smaller turnings take fewer, as true to the circle
    int spokes = 8;
    int rimBolts = 48;
    int ribs = 24;
    int pistons = 8;
    int cables = 6;
};

Mesh makeHub(const HubShape& shape = HubShape());

void generateHub(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
