#include "resources/texture.h"

#include "app/log.h"
#include "app/screen.h"
#include "resources/alpha_coverage.h"
#include "resources/loader.h"

#include <GL/glew.h>
#include <IL/il.h>

#include <memory>
#include <new>
#include <string>

namespace {

// Why the last pixel copy failed, for the failure note.
std::string copyError;

// Writes a piece of the load's log line without ending it.
template <typename T>
void logPiece(const T& piece)
{
    if (coreLog.created) {
        coreLog.stream << piece;
    }
}

// Copies the selected image of the bound DevIL image as BGRA bytes; false after
// logging the image library's error.
bool copyBgra(ILuint width, ILuint height, unsigned char* pixels)
{
    if (!ilCopyPixels(0, 0, 0, width, height, 1, IL_BGRA, IL_UNSIGNED_BYTE, pixels)) {
        const ILenum code = ilGetError();
        CORE_LOG("ilCopyPixels errorcode: " << code);
        copyError = "ilCopyPixels errorcode: " + std::to_string(code);
        return false;
    }
    return true;
}

// Six faces in the file's order become +X, -X, +Y, -Y, +Z, -Z. The image library
// offers them either as faces of the first image or as a chain of six images.
bool uploadCubeMap(ILuint image, bool asFaces, ILuint width, ILuint height, unsigned char* pixels, GLuint* name)
{
    ilDisable(IL_ORIGIN_SET);
    glGenTextures(1, name);
    glBindTexture(GL_TEXTURE_CUBE_MAP, *name);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    for (ILuint face = 0; face < 6; ++face) {
        ilBindImage(image);
        bool selected = asFaces ? ilActiveFace(face) : ilActiveImage(face);
        if (!selected) {
            const ILenum code = ilGetError();
            CORE_LOG("ilCopyPixels errorcode: " << code);
            copyError = "ilCopyPixels errorcode: " + std::to_string(code);
            return false;
        }
        if (!copyBgra(width, height, pixels)) {
            return false;
        }
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, GLsizei(width), GLsizei(height), 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, pixels);
    }
    return true;
}

// The first image, upright: the buffer's first row is the picture's bottom row.
bool upload2D(ILuint width, ILuint height, unsigned char* pixels, GLuint* name)
{
    ilEnable(IL_ORIGIN_SET);
    ilOriginFunc(IL_ORIGIN_LOWER_LEFT);
    if (!copyBgra(width, height, pixels)) {
        return false;
    }
    glGenTextures(1, name);
    glBindTexture(GL_TEXTURE_2D, *name);
    if (GLEW_EXT_texture_filter_anisotropic) {
        // Below 1 is not a valid level (the settings' default is 0): that means off.
        float level = screen.anisotropy < 1.0f ? 1.0f : screen.anisotropy;
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, level);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(width), GLsizei(height), 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    return true;
}

}  // namespace

unsigned loadTexture(Loader& loader, Texture& texture)
{
    const char* path = texture.source.c_str();
    logPiece("load texture: ");
    logPiece(path);
    logPiece(" .. ");
    uint32_t size = loader.fileSize(path);
    if (size == 0) {
        CORE_LOG(" error, file size 0");
        noteLoadFailure(path, "error, file size 0");
        return 1;
    }
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[size]);
    char* buffer = bytes.get();
    if (!buffer) {
        noteLoadFailure(path, "out of memory for " + std::to_string(size) + " bytes");
        return 1;
    }
    if (loader.readFile(path, &buffer) != 0) {
        return 1;
    }

    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    // The library applies a forced origin while decoding too; decode every file as it is
    // stored, so the row order depends only on the path taken below, not on the last load.
    ilDisable(IL_ORIGIN_SET);
    if (!ilLoadL(IL_TYPE_UNKNOWN, buffer, size)) {
        const ILenum code = ilGetError();
        CORE_LOG("ilLoadL errorcode: " << code);
        noteLoadFailure(path, "ilLoadL errorcode: " + std::to_string(code) + " (not a decodable image)");
        ilDeleteImages(1, &image);
        return 1;
    }
    bytes.reset();

    const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    const ILint bpp = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
    const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    const bool hasAlpha = format == IL_RGBA || format == IL_BGRA || format == IL_LUMINANCE_ALPHA;
    // A six-face cube map shows as five faces after the first; a chain of six images
    // counts the same.
    const ILint faces = ilGetInteger(IL_NUM_FACES);
    const ILint images = ilGetInteger(IL_NUM_IMAGES);
    const bool cubeFaces = faces == 5;
    const ILint count = cubeFaces ? faces : images;
    logPiece(width);
    logPiece("x");
    logPiece(height);
    logPiece("x");
    logPiece(bpp * 8);
    logPiece("bit (x");
    logPiece(count + 1);
    logPiece(") .. ");
    if (width <= 0 || height <= 0) {
        const ILenum code = ilGetError();
        CORE_LOG("ilCopyPixels errorcode: " << code);
        noteLoadFailure(path, "ilCopyPixels errorcode: " + std::to_string(code) + " (empty image)");
        ilDeleteImages(1, &image);
        return 1;
    }
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[size_t(width) * size_t(height) * 4]);
    if (!pixels) {
        noteLoadFailure(path, "out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " image");
        ilDeleteImages(1, &image);
        return 1;
    }

    GLuint name = 0;
    GLenum target = count == 5 ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    bool ok = target == GL_TEXTURE_CUBE_MAP
                  ? uploadCubeMap(image, cubeFaces, ILuint(width), ILuint(height), pixels.get(), &name)
                  : upload2D(ILuint(width), ILuint(height), pixels.get(), &name);
    ilDeleteImages(1, &image);
    if (name != 0) {
        texture.crc = name;
        // Only a picture with an alpha channel can be see-through anywhere (the rest are
        // drawn whole without measuring); a reused name must not keep the coverage of the
        // picture it named before.
        if (ok && target == GL_TEXTURE_2D && hasAlpha) {
            rememberAlphaCoverage(name, measureAlphaCoverage(pixels.get(), int(width), int(height)));
        } else {
            forgetAlphaCoverage(name);
        }
    }
    if (!ok) {
        noteLoadFailure(path, copyError);
        return 1;
    }
    glGenerateMipmapEXT(target);
    CORE_LOG("ok");
    return 0;
}
