#include "resources/geometry.h"

#include "base/log.h"
#include "resources/mesh.h"
#include "resources/reload.h"

#include <epoxy/gl.h>

#include <memory>

const char* meshListsProblem(const std::vector<int32_t>& polygons, const std::vector<float>& points,
                             const std::vector<float>& normals, const std::vector<float>& uvs, bool withUvs)
{
    const size_t vertices = points.size() / 3;
    if (points.size() % 3 != 0) {
        return "points are not whole vectors";
    }
    if (normals.size() < points.size()) {
        return "fewer normals than points";
    }
    if (uvs.size() % 2 != 0) {
        return "odd number of texture coordinates";
    }
    if (!uvs.empty() && uvs.size() < vertices * 2) {
        return "fewer texture coordinates than points";
    }
    if (withUvs && uvs.size() < vertices * 2) {
        return "texture coordinates missing";
    }
    if (polygons.size() % 3 != 0) {
        return "triangle list is not a multiple of three";
    }
    for (int32_t index : polygons) {
        if (index < 0 || size_t(index) >= vertices) {
            return "index outside the vertices";
        }
    }
    return nullptr;
}

int checkMeshLists(const std::vector<int32_t>& polygons, const std::vector<float>& points,
                   const std::vector<float>& normals, const std::vector<float>& uvs, bool withUvs)
{
    const char* reason = meshListsProblem(polygons, points, normals, uvs, withUvs);
    if (reason) {
        CORE_LOG("\tmesh rejected: " << reason << " (" << points.size() / 3 << " points, " << normals.size() / 3
                                     << " normals, " << uvs.size() << " uvs, " << polygons.size() << " indices)");
        return 1;
    }
    return 0;
}

unsigned int fillBuffer(unsigned int target, const void* data, size_t bytes, unsigned int usage)
{
    GLuint name = 0;
    glGenBuffers(1, &name);
    glBindBuffer(target, name);
    glBufferData(target, GLsizeiptr(bytes), data, usage);
    GLint size = 0;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    CORE_LOG("\tallocated mem size: " << size << " bytes.");
    glBindBuffer(target, 0);
    return name;
}

std::vector<InterleavedVertex> interleaveVertices(const std::vector<float>& points, const std::vector<float>& normals,
                                                  const std::vector<float>& uvs)
{
    const size_t n = points.size() / 3;
    std::vector<InterleavedVertex> vertices(n);
    for (size_t k = 0; k < n; ++k) {
        InterleavedVertex& vertex = vertices[k];
        if (!uvs.empty()) {
            vertex.u = uvs[2 * k];
            vertex.v = uvs[2 * k + 1];
        }
        vertex.nx = normals[3 * k];
        vertex.ny = normals[3 * k + 1];
        vertex.nz = normals[3 * k + 2];
        vertex.x = points[3 * k];
        vertex.y = points[3 * k + 1];
        vertex.z = points[3 * k + 2];
    }
    return vertices;
}

int uploadMesh(unsigned int* indexBuffer, const std::vector<int32_t>& polygons,
               const std::vector<float>& points, const std::vector<float>& normals, unsigned int usage,
               unsigned int* vertexBuffer, std::vector<float> uvs)
{
    if (!indexBuffer || !vertexBuffer || checkMeshLists(polygons, points, normals, uvs, false) != 0) {
        return 1;
    }
    CORE_LOG("uploading polygons..");
    *indexBuffer = fillBuffer(GL_ELEMENT_ARRAY_BUFFER, polygons.data(), polygons.size() * sizeof(int32_t), usage);

    CORE_LOG("uploading vertex streams..");
    const std::vector<InterleavedVertex> vertices = interleaveVertices(points, normals, uvs);
    *vertexBuffer = fillBuffer(GL_ARRAY_BUFFER, vertices.data(), vertices.size() * sizeof(InterleavedVertex), usage);
    reload::noteMeshUpload(polygons, indexBuffer, vertexBuffer, usage);
    return 0;
}

namespace {

// Uploads the mesh's lists into its buffers (made on first use), or finds them unusable.
void fillMeshBuffers(const Mesh& mesh)
{
    MeshBuffers& b = mesh.buffers;
    b.filled = true;
    b.pointCount = mesh.points.size();
    b.uvCount = mesh.uvs.size();
    b.indexCount = mesh.polygons.size();
    b.withTextures = !mesh.textures.empty();
    b.drawable = checkMeshLists(mesh.polygons, mesh.points, mesh.normals, mesh.uvs, b.withTextures) == 0;
    if (!b.drawable) {
        return;
    }
    if (b.indexBuffer == 0) {
        glGenBuffers(1, &b.indexBuffer);
    }
    if (b.vertexBuffer == 0) {
        glGenBuffers(1, &b.vertexBuffer);
    }
    const std::vector<InterleavedVertex> vertices = interleaveVertices(mesh.points, mesh.normals, mesh.uvs);
    glBindBuffer(GL_ARRAY_BUFFER, b.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(InterleavedVertex)), vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.polygons.size() * sizeof(int32_t)), mesh.polygons.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

bool buffersHoldLists(const Mesh& mesh)
{
    const MeshBuffers& b = mesh.buffers;
    return b.filled && b.pointCount == mesh.points.size() && b.uvCount == mesh.uvs.size() &&
           b.indexCount == mesh.polygons.size() && b.withTextures == !mesh.textures.empty();
}

gpu::VertexLayout makeInterleavedLayout(bool withTexCoords)
{
    gpu::VertexLayout layout;
    layout.stride = int(vertexStride);
    layout.position = int(positionOffset);
    layout.normal = int(normalOffset);
    layout.texCoord = withTexCoords ? int(texCoordOffset) : -1;
    return layout;
}

}  // namespace

void drawMesh(const Mesh& mesh)
{
    if (!buffersHoldLists(mesh)) {
        fillMeshBuffers(mesh);
    }
    const MeshBuffers& b = mesh.buffers;
    if (!b.drawable) {
        return;
    }
    // The lists passed the check: texture coordinates are absent or one pair per vertex.
    glBindBuffer(GL_ARRAY_BUFFER, b.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.indexBuffer);
    gpu::bindVertexLayout(interleavedLayout(!mesh.uvs.empty()));
    gpu::drawElements(GL_TRIANGLES, GLsizei(b.indexCount), GL_UNSIGNED_INT, nullptr);
    unbindUploadedMesh();
}

void releaseMeshBuffers(const Mesh& mesh)
{
    MeshBuffers& b = mesh.buffers;
    for (unsigned int* name : {&b.indexBuffer, &b.vertexBuffer}) {
        if (*name != 0) {
            glDeleteBuffers(1, name);
        }
    }
    forgetMeshBuffers(mesh);
}

void forgetMeshBuffers(const Mesh& mesh)
{
    MeshBuffers& b = mesh.buffers;
    b.indexBuffer = 0;
    b.vertexBuffer = 0;
    b.filled = false;
    b.drawable = false;
}

const gpu::VertexLayout& interleavedLayout(bool withTexCoords)
{
    static const gpu::VertexLayout with = makeInterleavedLayout(true);
    static const gpu::VertexLayout without = makeInterleavedLayout(false);
    return withTexCoords ? with : without;
}

void bindUploadedMesh(unsigned int indexBuffer, unsigned int vertexBuffer)
{
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    gpu::bindVertexLayout(interleavedLayout());
}

void unbindUploadedMesh()
{
    gpu::unbindVertexLayout();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void drawUploadedMesh(unsigned int indexBuffer, unsigned int vertexBuffer, uint32_t vertexCount,
                      uint32_t indexCount)
{
    bindUploadedMesh(indexBuffer, vertexBuffer);
    gpu::drawRangeElements(GL_TRIANGLES, 0, vertexCount, GLsizei(indexCount), GL_UNSIGNED_INT, nullptr);
    unbindUploadedMesh();
}
