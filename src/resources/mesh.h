// Mesh: one indexed triangle mesh as stored in an MMF file.
//
// Plain record shared by the program (loadMesh fills it) and by datagen (writeMmf
// writes it). Vertex k is points[3k..3k+2], normals[3k..3k+2], uvs[2k..2k+1].
// The record owns its lists, and the buffers drawMesh fills from them; drawing and upload
// live in resources/geometry.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Loader;

struct MeshTexture {
    int id = 0;         // 0 after loading
    std::string path;   // the item's path with every '/' turned into '\\'
};

// The lists of a mesh on the card, as drawMesh (resources/geometry.h) keeps them: GL
// names, and what they were filled from. Never shared by two records: a copy starts
// without buffers; a record assigned new lists keeps its buffers and fills them again at
// its next draw.
struct MeshBuffers {
    unsigned int indexBuffer = 0;
    unsigned int vertexBuffer = 0;
    bool filled = false;    // holding the lists of the sizes below (or found unusable)
    bool drawable = false;  // the lists passed checkMeshLists
    size_t pointCount = 0, uvCount = 0, indexCount = 0;
    bool withTextures = false;  // texture entries demand texture coordinates

    MeshBuffers() = default;
    MeshBuffers(const MeshBuffers&) {}
    MeshBuffers& operator=(const MeshBuffers&)
    {
        filled = false;
        return *this;
    }
};

struct Mesh {
    std::vector<float> points;
    std::vector<float> normals;
    std::vector<float> uvs;
    std::vector<int32_t> polygons;
    std::vector<MeshTexture> textures;
    // drawMesh's copy of the lists, filled by the draw itself (hence mutable).
    mutable MeshBuffers buffers;
};

// Reads the MMF file `path` of the archive into mesh (its earlier contents are
// replaced), one line at a time through loader.lineBuffer. 0 on success; 1, with the
// mesh left as it was, when the file is absent, empty or cannot be read, when it stops
// inside a section (cut short: its last lines are missing), or when the mesh has no
// triangles or fails checkMeshLists (an index outside the vertices, fewer normals than
// points, texture entries without texture coordinates...). A texture item without its
// source line is skipped and noted as a warning. Main thread only: the line buffer is shared.
int loadMesh(const char* path, Loader& loader, Mesh& mesh);

// What the parse met that the file's own structure shows to be wrong.
struct MmfDefects {
    const char* openSection = nullptr;  // the opener of the section the file stops in ("<polygons>")
    bool longLine = false;              // ... because of a line over 255 characters (else: end of data)
    int itemsWithoutSource = 0;         // texture items skipped: no "<source>...</source>" line
    bool any() const { return openSection || itemsWithoutSource > 0; }
};

// The parser behind loadMesh: MMF text of `size` bytes (not zero-terminated) into mesh,
// replacing its contents. lineBuffer receives each line. Never reads or writes outside
// the data or the buffer; a line longer than 255 characters ends the parse there. An
// open section ends where the data does, with what was read.
MmfDefects parseMmf(const char* data, size_t size, char (&lineBuffer)[256], Mesh& mesh);
// Why a parsed mesh cannot be used (a file cut inside a section, no triangles, lists
// that fail checkMeshLists), or "" when it can: loadMesh's rule, for reloads too.
std::string meshProblem(const Mesh& mesh, const MmfDefects& defects);
