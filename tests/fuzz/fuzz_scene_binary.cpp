// Scene reader, binary path, on arbitrary bytes: must neither crash, hang, leak nor allocate
// what a forged count claims; a tree it accepts must survive checkScene and a rewrite.
#include "scene/scene_archive.h"

#include <cstddef>
#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<Tessary> tree;
    std::string error;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (readScene(bytes, size, SceneEncoding::Binary, &tree, &error) == 0) {
        std::string reason;
        checkScene(*tree, &reason);
        std::ostringstream out;
        writeScene(*tree, SceneEncoding::Xml, out);
    }
    return 0;
}
