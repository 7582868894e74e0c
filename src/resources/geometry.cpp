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

void drawMesh(const Mesh& mesh)
{
    if (checkMeshLists(mesh.polygons, mesh.points, mesh.normals, mesh.uvs, !mesh.textures.empty()) != 0) {
        return;
    }
    // The lists passed the check: texture coordinates are absent or one pair per vertex.
    const bool textured = !mesh.uvs.empty();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    if (textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, mesh.uvs.data());
    }
    glNormalPointer(GL_FLOAT, 0, mesh.normals.data());
    glVertexPointer(3, GL_FLOAT, 0, mesh.points.data());
    glDrawElements(GL_TRIANGLES, GLsizei(mesh.polygons.size()), GL_UNSIGNED_INT, mesh.polygons.data());
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    if (textured) {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void setInterleavedPointers()
{
    const char* base = nullptr;
    glTexCoordPointer(2, GL_FLOAT, GLsizei(vertexStride), base + texCoordOffset);
    glNormalPointer(GL_FLOAT, GLsizei(vertexStride), base + normalOffset);
    glVertexPointer(3, GL_FLOAT, GLsizei(vertexStride), base + positionOffset);
}

void bindUploadedMesh(unsigned int indexBuffer, unsigned int vertexBuffer)
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    setInterleavedPointers();
}

void unbindUploadedMesh()
{
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void drawUploadedMesh(unsigned int indexBuffer, unsigned int vertexBuffer, uint32_t vertexCount,
                      uint32_t indexCount)
{
    bindUploadedMesh(indexBuffer, vertexBuffer);
    glDrawRangeElements(GL_TRIANGLES, 0, vertexCount, GLsizei(indexCount), GL_UNSIGNED_INT, nullptr);
    unbindUploadedMesh();
}
