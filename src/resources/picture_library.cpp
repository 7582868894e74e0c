#include "resources/picture_library.h"

#include <IL/il.h>

#include <new>
#include <string>

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

// The faces of the bound image in the file's order, as they are stored.
bool copyCubeFaces(DecodedPicture& out, ILuint image, PictureError& error)
{
    ilDisable(IL_ORIGIN_SET);
    for (ILuint face = 0; face < 6; ++face) {
        ilBindImage(image);
        const bool selected = ilActiveFace(face);
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

void initPictureDecoder() { ilInit(); }

bool decodeWithLibrary(const char* bytes, uint32_t size, bool ddsCube, const PictureLimits& limits,
                       DecodedPicture& out, PictureError& error)
{
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
    // This image library shows a six-face cube map as five faces after the first. A
    // chain of images (an animation, pages) is never a cube map, whatever its length.
    const ILint faces = ilGetInteger(IL_NUM_FACES);
    const ILint images = ilGetInteger(IL_NUM_IMAGES);
    out.cube = ddsCube;
    out.images = out.cube ? faces + 1 : images + 1;
    out.headerRead = true;
    if (out.width <= 0 || out.height <= 0) {
        const ILenum value = ilGetError();
        error.logLine = "ilCopyPixels errorcode: " + code(value);
        error.reason = error.logLine + " (empty image)";
        ilDeleteImages(1, &image);
        return false;
    }
    if (out.cube && faces != 5) {
        error.logLine = "cube map of which " + std::to_string(faces + 1) + " faces were read";
        error.reason = "refused: " + error.logLine;
        ilDeleteImages(1, &image);
        return false;
    }
    // Formats whose header was not read are measured once decoded.
    if (!fitsLimits(out.width, out.height, out.cube, limits, error)) {
        ilDeleteImages(1, &image);
        return false;
    }
    out.levelCount = mipmapLevelCount(out.width, out.height);
    bool ok = false;
    try {
        // Every face's whole chain, face by face.
        if (out.cube) {
            ok = copyCubeFaces(out, image, error);
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
