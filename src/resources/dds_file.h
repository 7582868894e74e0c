// DDS files beyond what the image library reads faithfully: the layout the header
// declares (which the picture decoder checks the file against), and the block-compressed
// formats decoded with libsquish.
//
// A face's mipmap chain follows it in the file. Some writers fill in the level count
// without the DDSD_MIPMAPCOUNT flag that announces it; the image library then takes
// one level and reads the second face from inside the first one's chain. Here a count
// above 1 holds when the flag or the mipmap capability announces it, or when the file
// is long enough for it. Pure functions, any thread.
#pragma once
#include "resources/picture.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DdsLayout {
    bool isDds = false;   // "DDS " and a header of 124 bytes
    uint32_t width = 0;
    uint32_t height = 0;
    bool cube = false;    // the cube flag (its faces counted by the caller)
    char fourCc[5] = {};  // "DXT1" ... "DXT5" for the block formats this decoder takes, else ""
    int levels = 1;       // mipmap levels stored after each face
    bool unannounced = false;  // levels > 1 without DDSD_MIPMAPCOUNT
    uint64_t fileBytes = 0;    // what the header declares, from the magic to the last level
    // The pixel format as the header gives it.
    uint32_t pixelFlags = 0;  // DDPF_* (0x40: RGB, 0x1: alpha bits, 0x4: fourCc)
    uint32_t bits = 0;        // bits a texel of an uncompressed format
    uint32_t masks[4] = {};   // red, green, blue and alpha bits of such a texel
};

DdsLayout readDdsLayout(const uint8_t* bytes, size_t size);

// The same file with DDSD_MIPMAPCOUNT set, for the image library (layout.unannounced).
std::vector<char> withMipmapsAnnounced(const char* bytes, size_t size);

// Level 0 of each face of a DXT1-5 file (layout.fourCc set) as BGRA texels, rows bottom
// up for a flat picture and as stored for a cube map (the orders the image library
// gives); false with the reason when the file is shorter than its header declares.
// DXT2 and DXT4 (colour premultiplied by alpha) come out straight.
bool decodeDdsBlocks(const uint8_t* bytes, size_t size, const DdsLayout& layout, std::vector<PictureLevel>& faces,
                     std::string& reason);
