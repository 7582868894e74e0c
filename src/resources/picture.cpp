#include "resources/picture.h"

#include <IL/il.h>

#include <algorithm>
#include <new>

namespace {

std::string code(ILenum value) { return std::to_string(value); }

// Copies the selected image of the bound image as BGRA bytes into `level`.
bool copyBgra(PictureLevel& level, PictureError& error)
{
    if (!ilCopyPixels(0, 0, 0, ILuint(level.width), ILuint(level.height), 1, IL_BGRA, IL_UNSIGNED_BYTE,
                      level.texels.data())) {
        const ILenum value = ilGetError();
        error.logLine = "ilCopyPixels errorcode: " + code(value);
        error.reason = error.logLine;
        return false;
    }
    return true;
}

PictureLevel blankLevel(int width, int height)
{
    PictureLevel level;
    level.width = width;
    level.height = height;
    level.texels.resize(size_t(width) * size_t(height) * 4);
    return level;
}

// Level 0 of the selected image copied, then its mipmap chain, appended to out.levels.
bool copyWithChain(DecodedPicture& out, PictureError& error)
{
    out.levels.push_back(blankLevel(out.width, out.height));
    if (!copyBgra(out.levels.back(), error)) {
        return false;
    }
    appendMipmaps(out.levels);
    return true;
}

// The faces (or images) of the bound image in the file's order, as they are stored.
bool copyCubeFaces(bool asFaces, DecodedPicture& out, ILuint image, PictureError& error)
{
    ilDisable(IL_ORIGIN_SET);
    for (ILuint face = 0; face < 6; ++face) {
        ilBindImage(image);
        const bool selected = asFaces ? ilActiveFace(face) : ilActiveImage(face);
        if (!selected) {
            const ILenum value = ilGetError();
            error.logLine = "ilCopyPixels errorcode: " + code(value);
            error.reason = error.logLine;
            return false;
        }
        if (!copyWithChain(out, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

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

bool decodePicture(const char* bytes, uint32_t size, DecodedPicture& out, PictureError& error)
{
    out = DecodedPicture();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    // The library applies a forced origin while decoding too; decode every file as it is
    // stored, so the row order depends only on the path taken below, not on the last load.
    ilDisable(IL_ORIGIN_SET);
    if (!ilLoadL(IL_TYPE_UNKNOWN, bytes, size)) {
        const ILenum value = ilGetError();
        error.logLine = "ilLoadL errorcode: " + code(value);
        error.reason = error.logLine + " (not a decodable image)";
        ilDeleteImages(1, &image);
        return false;
    }
    out.width = ilGetInteger(IL_IMAGE_WIDTH);
    out.height = ilGetInteger(IL_IMAGE_HEIGHT);
    out.bitsPerPixel = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL) * 8;
    const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    out.hasAlpha = format == IL_RGBA || format == IL_BGRA || format == IL_LUMINANCE_ALPHA;
    // A six-face cube map shows as five faces after the first; a chain of six images
    // counts the same.
    const ILint faces = ilGetInteger(IL_NUM_FACES);
    const ILint images = ilGetInteger(IL_NUM_IMAGES);
    const bool cubeFaces = faces == 5;
    const ILint extra = cubeFaces ? faces : images;
    out.images = extra + 1;
    out.headerRead = true;
    if (out.width <= 0 || out.height <= 0) {
        const ILenum value = ilGetError();
        error.logLine = "ilCopyPixels errorcode: " + code(value);
        error.reason = error.logLine + " (empty image)";
        ilDeleteImages(1, &image);
        return false;
    }
    out.cube = extra == 5;
    out.levelCount = mipmapLevelCount(out.width, out.height);
    bool ok = false;
    try {
        // Every face's whole chain, face by face.
        if (out.cube) {
            ok = copyCubeFaces(cubeFaces, out, image, error);
        } else {
            ilEnable(IL_ORIGIN_SET);
            ilOriginFunc(IL_ORIGIN_LOWER_LEFT);
            ok = copyWithChain(out, error);
        }
        ilDeleteImages(1, &image);
        image = 0;
        if (ok && out.hasAlpha && !out.cube) {
            const PictureLevel& top = out.levels[0];
            out.coverage = measureAlphaCoverage(top.texels.data(), top.width, top.height);
        }
    } catch (const std::bad_alloc&) {
        if (image != 0) {
            ilDeleteImages(1, &image);
        }
        error.logLine.clear();
        error.reason = "out of memory for a " + std::to_string(out.width) + "x" + std::to_string(out.height) + " image";
        return false;
    }
    return ok;
}
