#include "resources/dds_file.h"

#include <squish.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t headerBytes = 128;  // the magic and the header
constexpr uint32_t flagMipmapCount = 0x20000, flagFourCc = 0x4, capsMipmap = 0x400000, caps2Cube = 0x200;
constexpr uint32_t largestSide = 1u << 16;  // beyond any texture; keeps the sizes below in 64 bits

uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int squishFormat(const char* fourCc)
{
    return fourCc[3] == '1' ? squish::kDxt1 : fourCc[3] <= '3' ? squish::kDxt3 : squish::kDxt5;
}

// Bytes of one level: 4 x 4 blocks, or whole texels of `bits` each.
uint64_t levelBytes(uint64_t width, uint64_t height, int blockBytes, uint32_t bits)
{
    if (blockBytes > 0) {
        return std::max<uint64_t>(1, (width + 3) / 4) * std::max<uint64_t>(1, (height + 3) / 4) * uint64_t(blockBytes);
    }
    return width * height * bits / 8;
}

uint64_t chainBytes(const DdsLayout& layout, int levels, int blockBytes, uint32_t bits)
{
    uint64_t total = 0;
    for (int l = 0; l < levels; ++l) {
        total += levelBytes(std::max<uint64_t>(1, layout.width >> l), std::max<uint64_t>(1, layout.height >> l),
                            blockBytes, bits);
    }
    return total;
}

}  // namespace

DdsLayout readDdsLayout(const uint8_t* b, size_t size)
{
    DdsLayout layout;
    if (size < headerBytes || std::memcmp(b, "DDS ", 4) != 0 || get32(b + 4) != 124) {
        return layout;
    }
    layout.isDds = true;
    const uint32_t flags = get32(b + 8);
    layout.height = get32(b + 12);
    layout.width = get32(b + 16);
    const uint32_t count = get32(b + 28);
    const uint32_t pixelFlags = get32(b + 80);
    const uint32_t bits = get32(b + 88);
    layout.pixelFlags = pixelFlags;
    layout.bits = bits;
    for (int c = 0; c < 4; ++c) {
        layout.masks[c] = get32(b + 92 + 4 * c);
    }
    const uint32_t caps = get32(b + 108);
    layout.cube = (get32(b + 112) & caps2Cube) != 0;
    int blockBytes = 0;
    if (pixelFlags & flagFourCc) {
        const char* code = reinterpret_cast<const char*>(b + 84);
        if (std::memcmp(code, "DXT", 3) == 0 && code[3] >= '1' && code[3] <= '5') {
            std::memcpy(layout.fourCc, code, 4);
            blockBytes = code[3] == '1' ? 8 : 16;
        }
    } else if (bits == 0 || bits % 8 != 0) {
        return layout;  // nothing this reader can size: the image library decides
    }
    if (layout.width == 0 || layout.height == 0 || layout.width > largestSide || layout.height > largestSide ||
        ((pixelFlags & flagFourCc) && blockBytes == 0)) {
        return layout;
    }
    int fullChain = 1;
    for (uint32_t side = std::max(layout.width, layout.height); side > 1; side /= 2) {
        ++fullChain;
    }
    const int declared = int(std::min<uint32_t>(count, uint32_t(fullChain)));
    const int faces = layout.cube ? 6 : 1;
    if (declared > 1) {
        const bool announced = (flags & flagMipmapCount) != 0;
        const uint64_t withChain = headerBytes + uint64_t(faces) * chainBytes(layout, declared, blockBytes, bits);
        if (announced || (caps & capsMipmap) || size >= withChain) {
            layout.levels = declared;
            layout.unannounced = !announced;
        }
    }
    layout.fileBytes = headerBytes + uint64_t(faces) * chainBytes(layout, layout.levels, blockBytes, bits);
    return layout;
}

std::vector<char> withMipmapsAnnounced(const char* bytes, size_t size)
{
    std::vector<char> copy(bytes, bytes + size);
    if (size >= headerBytes) {
        copy[8 + 2] = char(uint8_t(copy[8 + 2]) | uint8_t(flagMipmapCount >> 16));
    }
    return copy;
}

bool decodeDdsBlocks(const uint8_t* bytes, size_t size, const DdsLayout& layout, std::vector<PictureLevel>& faces,
                     std::string& reason)
{
    if (size < layout.fileBytes) {
        reason = std::string("refused: a ") + layout.fourCc + " DDS of " + std::to_string(size) +
                 " bytes, short of the " + std::to_string(layout.fileBytes) + " its header declares";
        return false;
    }
    const int format = squishFormat(layout.fourCc);
    const int faceCount = layout.cube ? 6 : 1;
    const uint64_t faceStride = (layout.fileBytes - headerBytes) / uint64_t(faceCount);
    const bool premultiplied = layout.fourCc[3] == '2' || layout.fourCc[3] == '4';
    const int width = int(layout.width), height = int(layout.height);
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    faces.clear();
    for (int f = 0; f < faceCount; ++f) {
        squish::DecompressImage(rgba.data(), width, height, bytes + headerBytes + faceStride * uint64_t(f), format);
        PictureLevel level;
        level.width = width;
        level.height = height;
        level.texels.resize(rgba.size());
        for (int y = 0; y < height; ++y) {
            // A flat picture bottom row first, a cube face as stored.
            const uint8_t* from = &rgba[size_t(layout.cube ? y : height - 1 - y) * size_t(width) * 4];
            uint8_t* to = &level.texels[size_t(y) * size_t(width) * 4];
            for (int x = 0; x < width; ++x, from += 4, to += 4) {
                const int alpha = from[3];
                for (int c = 0; c < 3; ++c) {
                    const int straight = alpha == 0 ? 0 : std::min(255, (from[c] * 255 + alpha / 2) / alpha);
                    to[2 - c] = uint8_t(premultiplied ? straight : from[c]);
                }
                to[3] = uint8_t(alpha);
            }
        }
        faces.push_back(std::move(level));
    }
    return true;
}
