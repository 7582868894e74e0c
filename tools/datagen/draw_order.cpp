#include "datagen/draw_order.h"

#include <meshoptimizer.h>

#include <vector>

namespace datagen {

Mesh inDrawOrder(const Mesh& m)
{
    const size_t vertexCount = m.points.size() / 3;
    std::vector<unsigned int> indices(m.polygons.begin(), m.polygons.end());
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
