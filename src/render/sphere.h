// The sphere of a GLU quadric (smooth normals, facing outwards, no texture coordinates)
// as one indexed triangle list: the same vertices and normals, poles on the z axis,
// slices round it starting at +y, stacks from +z to -z, each band's quads split in two
// and the caps' fans into their triangles, wound counter-clockwise seen from outside,
// every vertex stored once. Drawn many times a frame, a sphere as one indexed primitive
// costs the driver a fraction of the quadric's fans and strips of repeated vertices.
#pragma once
#include <cstdint>
#include <vector>

struct SphereVertex {
    float normal[3];
    float position[3];
};

struct SphereMesh {
    std::vector<SphereVertex> vertices;
    std::vector<uint32_t> indices;  // three per triangle
};

SphereMesh sphereMesh(float radius, int slices, int stacks);
