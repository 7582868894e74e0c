#include "datagen/draw_order.h"

#include <meshoptimizer.h>

#include <vector>

namespace datagen {

namespace {

// A triangle whose corners lie on one line (two of them at one place, as where a turned
// profile meets its axis) covers no pixel but costs the renderer like any other.
bool degenerate(const Mesh& m, const int32_t* t)
{
    const float* a = &m.points[size_t(t[0]) * 3];
    const float* b = &m.points[size_t(t[1]) * 3];
    const float* c = &m.points[size_t(t[2]) * 3];
    const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    return n[0] * n[0] + n[1] * n[1] + n[2] * n[2] == 0.0;
}

}  // namespace

Mesh inDrawOrder(const Mesh& m)
{
    const size_t vertexCount = m.points.size() / 3;
    std::vector<unsigned int> indices;
    indices.reserve(m.polygons.size());
    for (size_t i = 0; i + 2 < m.polygons.size(); i += 3) {
        if (!degenerate(m, &m.polygons[i])) {
            indices.insert(indices.end(), m.polygons.begin() + long(i), m.polygons.begin() + long(i) + 3);
        }
    }
    meshopt_optimizeVertexCache(indices.data(), indices.data(), indices.size(), vertexCount);
    meshopt_optimizeOverdraw(indices.data(), indices.data(), indices.size(), m.points.data(), vertexCount,
                             sizeof(float) * 3, 1.05f);
    std::vector<unsigned int> remap(vertexCount);
    const size_t used = meshopt_optimizeVertexFetchRemap(remap.data(), indices.data(), indices.size(), vertexCount);
    meshopt_remapIndexBuffer(indices.data(), indices.data(), indices.size(), remap.data());
    Mesh out;
    out.points.resize(used * 3);
    out.normals.resize(m.normals.size() / 3 >= vertexCount ? used * 3 : 0);
    out.uvs.resize(m.uvs.size() / 2 >= vertexCount ? used * 2 : 0);
    meshopt_remapVertexBuffer(out.points.data(), m.points.data(), vertexCount, sizeof(float) * 3, remap.data());
    if (!out.normals.empty()) {
        meshopt_remapVertexBuffer(out.normals.data(), m.normals.data(), vertexCount, sizeof(float) * 3, remap.data());
    }
    if (!out.uvs.empty()) {
        meshopt_remapVertexBuffer(out.uvs.data(), m.uvs.data(), vertexCount, sizeof(float) * 2, remap.data());
    }
    out.polygons.assign(indices.begin(), indices.end());
    out.textures = m.textures;
    return out;
}

}  // namespace datagen
