#include "render/sphere.h"

#include <cmath>

SphereMesh sphereMesh(float radius, int slices, int stacks)
{
    SphereMesh mesh;
    if (slices < 2 || stacks < 2) {
        return mesh;
    }
    const double pi = 3.14159265358979323846;
    // Around: the angle from +y towards +x; along: from the +z pole.
    std::vector<float> sinA(static_cast<size_t>(slices)), cosA(static_cast<size_t>(slices));
    for (int i = 0; i < slices; ++i) {
        const double a = 2.0 * pi * i / slices;
        sinA[size_t(i)] = float(std::sin(a));
        cosA[size_t(i)] = float(std::cos(a));
    }
    // Vertex 0 is the +z pole, 1 the -z pole, then the rings 1 .. stacks - 1 of `slices`
    // vertices each; slice `slices` is slice 0 again.
    mesh.vertices.push_back({{0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, radius}});
    mesh.vertices.push_back({{0.0f, 0.0f, -1.0f}, {0.0f, 0.0f, -radius}});
    for (int j = 1; j < stacks; ++j) {
        const double b = pi * j / stacks;
        const float s = float(std::sin(b)), c = float(std::cos(b));
        for (int i = 0; i < slices; ++i) {
            const float n[3] = {sinA[size_t(i)] * s, cosA[size_t(i)] * s, c};
            mesh.vertices.push_back({{n[0], n[1], n[2]}, {radius * n[0], radius * n[1], radius * n[2]}});
        }
    }
    auto ring = [&](int i, int j) { return uint32_t(2 + (j - 1) * slices + i % slices); };
    auto& out = mesh.indices;
    out.reserve(size_t(slices) * size_t(stacks - 1) * 6);
    // The cap round +z: the first ring, walked from the last slice down.
    for (int i = slices; i > 0; --i) {
        out.insert(out.end(), {0u, ring(i, 1), ring(i - 1, 1)});
    }
    // The cap round -z: the last ring, walked up.
    for (int i = 0; i < slices; ++i) {
        out.insert(out.end(), {1u, ring(i, stacks - 1), ring(i + 1, stacks - 1)});
    }
    // The bands between, each quad (upper ring j + 1, lower ring j) as two triangles.
    for (int j = 1; j < stacks - 1; ++j) {
        for (int i = 0; i < slices; ++i) {
            const uint32_t h0 = ring(i, j + 1), l0 = ring(i, j), h1 = ring(i + 1, j + 1), l1 = ring(i + 1, j);
            out.insert(out.end(), {h0, l0, l1, h0, l1, h1});
        }
    }
    return mesh;
}
