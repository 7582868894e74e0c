// The virus body of the Blobs part and its baked ambient occlusion:
//   objects/virus.mmf          a lumpy sphere (smooth noise) with rounded knobbed spikes,
//                              about 13k triangles, smooth normals, latitude-longitude
//                              texture coordinates (no overlaps, seam and poles split)
//   textures/virus-ao1024.png  its ambient occlusion, 1024 x 1024 grey
//   textures/virus2-ao1024.png the occlusion of a second, sparser and spikier body
//                              (secondVirusShape), for the scene companion
#pragma once
#include "datagen/asset.h"
#include "resources/mesh.h"

namespace datagen {

// Grid of the body: `columns` steps around (u), `rows` steps from pole to pole (v).
struct VirusShape {
    int columns = 120;
    int rows = 56;
    float radius = 2.0f;      // of the undisplaced sphere
    int spikes = 34;          // knobs spread evenly over the body
    float spikeHeight = 0.34f; // relative to radius
    float spikeWidth = 0.27f;  // angular half-width of a knob's base, radians
    float lumpiness = 0.07f;  // relative amplitude of the noise
    uint32_t seed = 2718;
};

// Radius of the body in the unit direction d (before the sphere radius is applied).
float virusRadius(const VirusShape& shape, float dx, float dy, float dz);

// The body as an indexed triangle mesh, triangles counter-clockwise seen from outside.
Mesh makeVirus(const VirusShape& shape = VirusShape());

void generateVirus(const Context& context, std::vector<Asset>& out);

// The second body: fewer, taller and wider knobs, lumpier, its own seed.
VirusShape secondVirusShape();
void generateVirus2(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
