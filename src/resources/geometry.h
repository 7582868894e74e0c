// Geometry on the card: the 32-byte interleaved vertex layout, mesh upload into buffer
// objects, and drawing a Mesh from the buffers it keeps (Mesh::buffers).
//
// Every buffer-object draw in the program uses InterleavedVertex with stride 32 and the
// offsets below, and 32-bit unsigned indices (GL_UNSIGNED_INT). Buffers made by
// uploadMesh belong to the caller. Needs a current GL context with linked extensions.
// The scene's upload and release are scene/scene_loader.h.
#pragma once
#include "gpu/immediate.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct Mesh;

struct InterleavedVertex {
    float u, v;          // texture coordinate, 0, 0 when the source has none
    float nx, ny, nz;    // normal
    float x, y, z;       // position
};
static_assert(sizeof(InterleavedVertex) == 32, "the vertex layout is 32 bytes without padding");

constexpr size_t vertexStride = sizeof(InterleavedVertex);
constexpr size_t texCoordOffset = offsetof(InterleavedVertex, u);   // 0
constexpr size_t normalOffset = offsetof(InterleavedVertex, nx);    // 8
constexpr size_t positionOffset = offsetof(InterleavedVertex, x);   // 20

// Checks a mesh's lists against what upload and drawing rely on: normals at least as
// long as points, uvs empty or a pair per vertex, a whole number of triangles, every
// index in [0, vertex count). withUvs: the draw reads uvs, so they must be present.
// Returns 0 when usable, else 1 after logging why.
int checkMeshLists(const std::vector<int32_t>& polygons, const std::vector<float>& points,
                   const std::vector<float>& normals, const std::vector<float>& uvs, bool withUvs);
// The reason checkMeshLists would give, or null when the lists are usable (nothing logged).
const char* meshListsProblem(const std::vector<int32_t>& polygons, const std::vector<float>& points,
                             const std::vector<float>& normals, const std::vector<float>& uvs, bool withUvs);

// The lists of a mesh that passed checkMeshLists, one InterleavedVertex a point
// (texture coordinates zero when the mesh has none).
std::vector<InterleavedVertex> interleaveVertices(const std::vector<float>& points, const std::vector<float>& normals,
                                                  const std::vector<float>& uvs);

// Generates a buffer, binds it to `target`, fills it with `bytes` bytes and `usage`,
// logs "\tallocated mem size: N bytes." with the size the driver reports and unbinds it.
// Returns the buffer's name.
unsigned int fillBuffer(unsigned int target, const void* data, size_t bytes, unsigned int usage);

// Uploads the triangle list into a new index buffer (4 bytes per index) and the
// interleaved vertices into a new vertex buffer (32 bytes per vertex, n = points / 3),
// both with the given usage (GL_STATIC_DRAW), writing their names to *indexBuffer and
// *vertexBuffer and logging the sizes read back. Both buffers are left unbound.
// 0 on success; 1 when the lists fail checkMeshLists: logged, no buffer is created and
// the two fields are left as they were.
int uploadMesh(unsigned int* indexBuffer, const std::vector<int32_t>& polygons,
               const std::vector<float>& points, const std::vector<float>& normals, unsigned int usage,
               unsigned int* vertexBuffer, std::vector<float> uvs);

// Draws the mesh's triangles under the current matrices and pass, with texture
// coordinates whenever the mesh has them (texture entries demand them, but a mesh whose
// texture item was lost is still drawn with its coordinates). The first draw uploads the
// lists into mesh.buffers, and so does the first after the record was assigned new
// lists, or after a list changed size or the texture entries came or went; values
// edited in place at the same sizes are not seen.
// A mesh that fails checkMeshLists is not drawn (logged once per upload). Leaves no
// buffer bound.
void drawMesh(const Mesh& mesh);
// Deletes the buffers drawMesh made for the mesh (its owner calls this while the context
// is current); forgetMeshBuffers drops their names without GL, when the context that
// made them is gone. The next draw uploads again.
void releaseMeshBuffers(const Mesh& mesh);
void forgetMeshBuffers(const Mesh& mesh);

// The interleaved layout for gpu::bindVertexLayout, with or without its texture
// coordinates (without: the current texture coordinate applies).
const gpu::VertexLayout& interleavedLayout(bool withTexCoords = true);
// Makes an uploaded mesh the source of indexed draws: binds both buffers and the
// interleaved layout. unbindUploadedMesh undoes it (no buffer bound, no layout).
void bindUploadedMesh(unsigned int indexBuffer, unsigned int vertexBuffer);
void unbindUploadedMesh();
// Draws the first `indexCount` indices of an uploaded mesh (its `vertexCount` vertices)
// under the current matrices and pass, between a bind and an unbind (gpu::drawRangeElements).
void drawUploadedMesh(unsigned int indexBuffer, unsigned int vertexBuffer, uint32_t vertexCount,
                      uint32_t indexCount);
