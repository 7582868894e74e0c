#include "resources/picture.h"

#include "resources/cmyk_jpeg.h"
#include "resources/dds_file.h"
#include "resources/picture_library.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// What a file's header says, read before the image library decodes anything.
struct PictureHeader {
    bool sized = false;  // width and height known
    long width = 0;
    long height = 0;
    bool ddsCube = false;  // a DDS declaring a cube map
    int ddsFaces = 0;      // the faces it declares
    DdsLayout dds;         // a DDS's layout
    int jpegComponents = 0;  // of a JPEG's first frame
};

uint32_t bigEndian(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = v << 8 | p[i];
    }
    return v;
}

uint32_t littleEndian(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

void setSize(PictureHeader& header, long width, long height)
{
    header.sized = true;
    header.width = width;
    header.height = height;
}

// A JPEG's size from its first start-of-frame segment, found by walking the segments.
void readJpegSize(const uint8_t* b, size_t n, PictureHeader& header)
{
    size_t at = 2;
    while (at + 4 <= n) {
        if (b[at] != 0xFF) {
            return;
        }
        const uint8_t marker = b[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length
            at += 2;
            continue;
        }
        const size_t length = bigEndian(b + at + 2, 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 <= n) {
                setSize(header, long(bigEndian(b + at + 7, 2)), long(bigEndian(b + at + 5, 2)));
            }
            if (at + 10 <= n) {
                header.jpegComponents = b[at + 9];
            }
            return;
        }
        if (marker == 0xDA || length < 2) {  // image data before any frame: unknown
            return;
        }
        at += 2 + length;
    }
}

PictureHeader readHeader(const char* bytes, uint32_t size)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes);
    const size_t n = size;
    PictureHeader header;
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 24 && std::memcmp(b, pngSignature, 8) == 0 && std::memcmp(b + 12, "IHDR", 4) == 0) {
        setSize(header, long(bigEndian(b + 16, 4)), long(bigEndian(b + 20, 4)));
    } else if (n >= 4 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        readJpegSize(b, n, header);
    } else if (n >= 128 && std::memcmp(b, "DDS ", 4) == 0) {
        setSize(header, long(littleEndian(b + 16, 4)), long(littleEndian(b + 12, 4)));
        const uint32_t caps2 = littleEndian(b + 112, 4);
        header.ddsCube = (caps2 & 0x200) != 0;
        for (uint32_t face = 0x400; face <= 0x8000; face <<= 1) {  // +X, -X, +Y, -Y, +Z, -Z
            header.ddsFaces += (caps2 & face) != 0;
        }
        header.dds = readDdsLayout(b, n);
    } else if (n >= 10 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) {
        setSize(header, long(littleEndian(b + 6, 2)), long(littleEndian(b + 8, 2)));
    } else if (n >= 26 && b[0] == 'B' && b[1] == 'M') {
        const long height = long(int32_t(littleEndian(b + 22, 4)));
        setSize(header, long(int32_t(littleEndian(b + 18, 4))), height < 0 ? -height : height);
    }
    return header;
}

// Whether the image library would draw the file wrongly: this file decodes it instead.
bool decodedHere(const PictureHeader& header)
{
    return header.jpegComponents == 4 || header.dds.fourCc[0] != '\0';
}

// A CMYK JPEG or a block-compressed DDS into `out`, each face with its mipmap chain.
bool decodeHere(const char* bytes, uint32_t size, const PictureHeader& header, DecodedPicture& out,
                PictureError& error)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes);
    std::vector<PictureLevel> faces(1);
    std::string reason;
    try {
        const bool ok = header.jpegComponents == 4 ? decodeCmykJpeg(b, size, faces[0], reason)
                                                   : decodeDdsBlocks(b, size, header.dds, faces, reason);
        if (!ok) {
            error.logLine = reason;
            error.reason = reason;
            return false;
        }
        const PictureLevel& top = faces[0];
        out.width = top.width;
        out.height = top.height;
        out.bitsPerPixel = 32;
        out.cube = header.dds.cube;
        out.images = int(faces.size());
        out.headerRead = true;
        // DXT1 keeps alpha only in blocks that have transparent texels.
        out.hasAlpha = header.dds.fourCc[0] != '\0' && header.dds.fourCc[3] != '1';
        for (size_t i = 3; !out.hasAlpha && header.dds.fourCc[0] != '\0' && i < top.texels.size(); i += 4) {
            out.hasAlpha = top.texels[i] < 255;
        }
        out.levelCount = mipmapLevelCount(out.width, out.height);
        for (PictureLevel& face : faces) {
            out.levels.push_back(std::move(face));
            appendMipmaps(out.levels);
        }
        if (out.hasAlpha && !out.cube) {
            out.coverage = measureAlphaCoverage(out.levels[0].texels.data(), out.width, out.height);
        }
    } catch (const std::bad_alloc&) {
        error.logLine.clear();
        error.reason = "out of memory for a " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                       " image";
        return false;
    }
    return true;
}

}  // namespace

PictureLevel blankLevel(int width, int height)
{
    PictureLevel level;
    level.width = width;
    level.height = height;
    level.texels.resize(size_t(width) * size_t(height) * 4);
    return level;
}

bool fitsLimits(long width, long height, bool cube, const PictureLimits& limits, PictureError& error)
{
    const long limit = cube ? limits.maxCubeSize : limits.maxSize;
    if (limit <= 0 || (width <= limit && height <= limit)) {
        return true;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string largest = std::to_string(limit) + "x" + std::to_string(limit);
    error.logLine = "picture too large: " + size + ", the largest " + (cube ? "cube map face" : "texture") + " is " +
                    largest;
    error.reason = "refused: a " + size + " picture is larger than the largest " +
                   (cube ? "cube map face" : "texture") + " of this GL (" + largest + ")";
    return false;
}

int mipmapLevelCount(int width, int height)
{
    int count = 1;
    while (width > 1 || height > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        ++count;
    }
    return count;
}

void appendMipmaps(std::vector<PictureLevel>& chain)
{
    while (!chain.empty() && (chain.back().width > 1 || chain.back().height > 1)) {
        const size_t above = chain.size() - 1;
        const int aw = chain[above].width;
        const int ah = chain[above].height;
        PictureLevel next = blankLevel(aw > 1 ? aw / 2 : 1, ah > 1 ? ah / 2 : 1);
        const uint8_t* src = chain[above].texels.data();
        uint8_t* dst = next.texels.data();
        for (int y = 0; y < next.height; ++y) {
            const uint8_t* row0 = src + size_t(std::min(2 * y, ah - 1)) * size_t(aw) * 4;
            const uint8_t* row1 = src + size_t(std::min(2 * y + 1, ah - 1)) * size_t(aw) * 4;
            for (int x = 0; x < next.width; ++x) {
                const size_t x0 = size_t(std::min(2 * x, aw - 1)) * 4;
                const size_t x1 = size_t(std::min(2 * x + 1, aw - 1)) * 4;
                for (int c = 0; c < 4; ++c) {
                    const int sum = row0[x0 + c] + row0[x1 + c] + row1[x0 + c] + row1[x1 + c];
                    *dst++ = uint8_t((sum + 2) >> 2);
                }
            }
        }
        chain.push_back(std::move(next));
    }
}

bool decodePicture(const char* bytes, uint32_t size, const PictureLimits& limits, DecodedPicture& out,
                   PictureError& error)
{
    out = DecodedPicture();
    // The header first: a picture the GL cannot hold is refused before decoding it, and a
    // cube map that lacks faces would otherwise decode as one of them.
    const PictureHeader header = readHeader(bytes, size);
    if (header.ddsCube && header.ddsFaces != 6) {
        error.logLine = "cube map with " + std::to_string(header.ddsFaces) + " of its 6 faces";
        error.reason = "refused: a DDS cube map declaring " + std::to_string(header.ddsFaces) + " of its 6 faces";
        return false;
    }
    if (header.sized && !fitsLimits(header.width, header.height, header.ddsCube, limits, error)) {
        return false;
    }
    if (decodedHere(header)) {
        return decodeHere(bytes, size, header, out, error);
    }
    // A chain of mipmaps the header does not announce would have the image library read
    // the later faces of a cube map from inside the first one's chain.
    std::vector<char> announced;
    if (header.dds.unannounced) {
        try {
            announced = withMipmapsAnnounced(bytes, size);
        } catch (const std::bad_alloc&) {
            error.reason = "out of memory for a copy of " + std::to_string(size) + " bytes";
            return false;
        }
        bytes = announced.data();
    }
    return decodeWithLibrary(bytes, size, header.ddsCube, limits, out, error);
}
