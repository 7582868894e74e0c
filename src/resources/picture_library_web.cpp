// The browser build's image library: stb_image for PNG, JPEG, GIF, BMP and TGA, and a
// reader of uncompressed DDS files here (flat or cube, 24 or 32 bits with channel masks).
// Row order and alpha as the native image library gives them (picture_library.h).
#include "resources/picture_library.h"

#include "resources/dds_file.h"

#include <stb/stb_image.h>

#include <cstring>
#include <new>
#include <string>

namespace {

// The 8-bit value of the channel `mask` selects in `pixel` (0 without a mask).
uint8_t channel(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (!(mask >> shift & 1u)) {
        ++shift;
    }
    const uint32_t top = mask >> shift;
    const uint32_t value = (pixel & mask) >> shift;
    return uint8_t(top == 255 ? value : (value * 255 + top / 2) / top);
}

void fail(PictureError& error, const std::string& reason)
{
    error.logLine = reason;
    error.reason = reason;
}

// An uncompressed DDS file: level 0 of each face, rows as stored (top first); flat
// pictures are turned bottom row first by the caller.
bool decodeDds(const uint8_t* b, size_t n, DecodedPicture& out, std::vector<PictureLevel>& faces, PictureError& error)
{
    const DdsLayout layout = readDdsLayout(b, n);
    if (!layout.isDds) {
        fail(error, "not a readable DDS file");
        return false;
    }
    const uint32_t flags = layout.pixelFlags;
    const uint32_t bits = layout.bits;
    const uint32_t* masks = layout.masks;
    constexpr uint32_t rgbFlag = 0x40;
    constexpr uint32_t alphaFlag = 0x1;
    if (!(flags & rgbFlag) || (bits != 24 && bits != 32)) {
        fail(error, "DDS pixel format not read here (" + std::to_string(bits) + " bits, flags " +
                        std::to_string(flags) + ")");
        return false;
    }
    constexpr size_t dataStart = 128;
    const size_t bytesPerPixel = bits / 8;
    const int faceCount = layout.cube ? 6 : 1;
    // Each face is followed by its mipmap chain; the layout sizes them (nothing when the
    // header's sizes are not usable).
    const size_t faceBytes = layout.fileBytes > dataStart ? size_t(layout.fileBytes - dataStart) / size_t(faceCount) : 0;
    if (faceBytes == 0) {
        fail(error, "not a readable DDS file");
        return false;
    }
    if (n < dataStart + faceBytes * size_t(faceCount - 1) + size_t(layout.width) * layout.height * bytesPerPixel) {
        fail(error, "DDS file shorter than its header declares");
        return false;
    }
    out.width = int(layout.width);
    out.height = int(layout.height);
    out.bitsPerPixel = int(bits);
    out.hasAlpha = (flags & alphaFlag) && masks[3] != 0;
    out.images = faceCount;
    for (int f = 0; f < faceCount; ++f) {
        PictureLevel level = blankLevel(out.width, out.height);
        const uint8_t* src = b + dataStart + faceBytes * size_t(f);
        uint8_t* dst = level.texels.data();
        for (size_t i = 0, count = size_t(out.width) * size_t(out.height); i < count; ++i, src += bytesPerPixel) {
            uint32_t pixel = uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16;
            if (bytesPerPixel == 4) {
                pixel |= uint32_t(src[3]) << 24;
            }
            *dst++ = channel(pixel, masks[2]);
            *dst++ = channel(pixel, masks[1]);
            *dst++ = channel(pixel, masks[0]);
            *dst++ = out.hasAlpha ? channel(pixel, masks[3]) : 255;
        }
        faces.push_back(std::move(level));
    }
    return true;
}

// Any other picture through stb_image, top row first.
bool decodeStb(const uint8_t* b, size_t n, DecodedPicture& out, std::vector<PictureLevel>& faces, PictureError& error)
{
    int width = 0;
    int height = 0;
    int components = 0;
    stbi_uc* rgba = stbi_load_from_memory(b, int(n), &width, &height, &components, 4);
    if (!rgba) {
        const char* why = stbi_failure_reason();
        fail(error, std::string("stb_image: ") + (why ? why : "unknown error") + " (not a decodable image)");
        return false;
    }
    out.width = width;
    out.height = height;
    out.bitsPerPixel = components * 8;
    out.hasAlpha = components == 2 || components == 4;
    out.images = 1;
    PictureLevel level;
    try {
        level = blankLevel(width, height);
    } catch (const std::bad_alloc&) {
        stbi_image_free(rgba);
        throw;
    }
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) {
        level.texels[4 * i + 0] = rgba[4 * i + 2];
        level.texels[4 * i + 1] = rgba[4 * i + 1];
        level.texels[4 * i + 2] = rgba[4 * i + 0];
        level.texels[4 * i + 3] = rgba[4 * i + 3];
    }
    stbi_image_free(rgba);
    faces.push_back(std::move(level));
    return true;
}

void flipRows(PictureLevel& level)
{
    const size_t stride = size_t(level.width) * 4;
    std::vector<uint8_t> row(stride);
    for (int top = 0, bottom = level.height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = level.texels.data() + size_t(top) * stride;
        uint8_t* c = level.texels.data() + size_t(bottom) * stride;
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, c, stride);
        std::memcpy(c, row.data(), stride);
    }
}

}  // namespace

void initPictureDecoder() {}

bool decodeWithLibrary(const char* bytes, uint32_t size, bool ddsCube, const PictureLimits& limits,
                       DecodedPicture& out, PictureError& error)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes);
    std::vector<PictureLevel> faces;
    try {
        const bool dds = size >= 128 && std::memcmp(b, "DDS ", 4) == 0;
        if (!(dds ? decodeDds(b, size, out, faces, error) : decodeStb(b, size, out, faces, error))) {
            return false;
        }
        out.cube = ddsCube;
        out.headerRead = true;
        if (!fitsLimits(out.width, out.height, out.cube, limits, error)) {
            return false;
        }
        out.levelCount = mipmapLevelCount(out.width, out.height);
        for (PictureLevel& face : faces) {
            if (!out.cube) {
                flipRows(face);
            }
            out.levels.push_back(std::move(face));
            appendMipmaps(out.levels);
        }
        if (out.hasAlpha && !out.cube) {
            const PictureLevel& top = out.levels[0];
            out.coverage = measureAlphaCoverage(top.texels.data(), top.width, top.height);
        }
    } catch (const std::bad_alloc&) {
        error.logLine.clear();
        error.reason = "out of memory for a " + std::to_string(out.width) + "x" + std::to_string(out.height) + " image";
        return false;
    }
    return true;
}
