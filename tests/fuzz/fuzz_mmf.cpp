// MMF parser on arbitrary bytes: must neither read nor write outside the data or the
// line buffer, nor hang, and must leave whole sets of values in the mesh.
#include "resources/mesh.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A guard on each side of the line buffer catches writes past it.
    struct {
        char before[8];
        char line[256];
        char after[8];
    } buffers = {};
    Mesh mesh;
    mesh.points = {1, 2};  // replaced by the parse
    parseMmf(reinterpret_cast<const char*>(data), size, buffers.line, mesh);
    for (int i = 0; i < 8; ++i) {
        if (buffers.before[i] != 0 || buffers.after[i] != 0) {
            std::abort();
        }
    }
    if (mesh.points.size() % 3 || mesh.normals.size() % 3 || mesh.uvs.size() % 2 || mesh.polygons.size() % 3) {
        std::abort();
    }
    return 0;
}
