// Shapes for the scene storyboards: profiles turned about y, tori, rocks, domes, discs
// and small solids. Every mesh has smooth normals and texture coordinates in [0, 1]
// (no AO maps are baked for scene meshes, so charts may repeat), CCW seen from outside
// (from inside for the dome).
#pragma once
#include "resources/mesh.h"

#include <cstdint>
#include <vector>

namespace datagen {

// One point of a turned profile: distance from the y axis and height.
struct ProfilePoint {
    float radius, height;
};
// The profile turned about y in `segments` steps; u around, v along the profile.
// `twist` turns the profile by that many radians per unit of height; `lobes` and
// `lobeDepth` flute the surface (radius times 1 - depth * (0.5 + 0.5 cos(lobes * angle))).
Mesh turnProfile(const std::vector<ProfilePoint>& profile, int segments, float twist = 0.0f, int lobes = 0,
                 float lobeDepth = 0.0f);
// A ring about y: `major` radius to the tube's centre, `minor` the tube's radius.
Mesh torus(float major, float minor, int segments, int sides);
// A sphere of `radius` in `segments` x `rings` steps.
Mesh sphere(float radius, int segments, int rings);
// A lumpy stone: a sphere pushed in and out by fractal noise (relative amplitude
// `roughness`) and squashed in y by `squash`.
Mesh rock(float radius, float roughness, float squash, uint32_t seed);
// The inside of a sphere of `radius`: normals inward, v = 0 at the bottom to 1 at the top.
Mesh dome(float radius, int segments, int rings);
// A flat disc in y = 0 (a ring when `inner` > 0), normal up, u, v = x, z mapped from
// [-radius, radius] to [0, 1].
Mesh disc(float radius, int segments, int rings, float inner = 0.0f);
// A solid with flat faces: the octahedron of `radius`.
Mesh octahedron(float radius);

// Recomputes smooth normals from the triangles (area-weighted).
void smoothNormals(Mesh& mesh);
// Moves every vertex by (x, y, z).
void translate(Mesh& mesh, float x, float y, float z);

}  // namespace datagen
