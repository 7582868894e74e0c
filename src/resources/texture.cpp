#include "resources/texture.h"

#include "base/log.h"
#include "base/screen_settings.h"
#include "gpu/pixels.h"
#include "resources/alpha_coverage.h"
#include "resources/loader.h"
#include "resources/picture.h"
#include "resources/prefetch.h"
#include "resources/reload.h"

#include <epoxy/gl.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

// Writes a piece of the load's log line without ending it.
template <typename T>
void logPiece(const T& piece)
{
    if (coreLog.created) {
        coreLog.stream << piece;
    }
}

// A new texture for the picture, left bound, its texels not yet given: a cube map
// clamped at its edges, or a 2D picture clamped with the settings' anisotropy; trilinear.
GLuint createTexture(const DecodedPicture& picture)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    const GLenum target = picture.cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glBindTexture(target, name);
    if (picture.cube) {
        glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    } else if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        // Below 1 is not a valid level (the settings' default is 0): that means off.
        const float level = screenSettings.anisotropy < 1.0f ? 1.0f : screenSettings.anisotropy;
        glTexParameterf(target, GL_TEXTURE_MAX_ANISOTROPY_EXT, level);
    }
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    return name;
}

}  // namespace

// Every level of every face into the texture, left bound.
void uploadLevels(const DecodedPicture& picture, GLuint name)
{
    glBindTexture(picture.cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, name);
    const int faces = picture.cube ? 6 : 1;
    for (int face = 0; face < faces; ++face) {
        const GLenum image = picture.cube ? GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face) : GL_TEXTURE_2D;
        for (int l = 0; l < picture.levelCount; ++l) {
            const PictureLevel& level = picture.level(face, l);
            gpu::uploadBgra(image, l, level.width, level.height, level.texels.data());
        }
    }
}

namespace {

// Textures whose texels wait for uploadDeferredTextures, in load order.
struct PendingUpload {
    GLuint name;
    const DecodedPicture* picture;  // owned by the prefetch
};
std::vector<PendingUpload> pending;
bool deferring = false;

// The log piece after the file line: "<w>x<h>x<bits>bit (x<images>) .. ".
void logHeader(const DecodedPicture& picture)
{
    logPiece(picture.width);
    logPiece("x");
    logPiece(picture.height);
    logPiece("x");
    logPiece(picture.bitsPerPixel);
    logPiece("bit (x");
    logPiece(picture.images);
    logPiece(") .. ");
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
    // Decoded ahead while the loading bar faded in, or now.
    const DecodedPicture* picture = prefetchedPicture(path);
    DecodedPicture decoded;
    if (!picture) {
        std::unique_ptr<char[]> bytes;
        if (loader.readAll(path, size, bytes) != 0) {
            return 1;
        }
        PictureError error;
        const bool ok = decodePicture(bytes.get(), size, textureSizeLimits(), decoded, error);
        if (!ok) {
            if (decoded.headerRead) {
                logHeader(decoded);
            }
            if (!error.logLine.empty()) {
                CORE_LOG(error.logLine);
            }
            noteLoadFailure(path, error.reason);
            return 1;
        }
        picture = &decoded;
    }
    logHeader(*picture);
    if (!picture->cube && picture->images > 1) {
        const std::string what = std::to_string(picture->images) + " images in the file: only the first is used";
        logPiece(what + " .. ");
        noteLoadWarning(path, what);
    }
    const GLuint name = createTexture(*picture);
    if (deferring && picture != &decoded) {
        pending.push_back({name, picture});
    } else {
        uploadLevels(*picture, name);
    }
    texture.crc = name;
    reload::noteTexture(texture.source, name, picture->cube);
    noteAlphaCoverage(*picture, name);
    CORE_LOG("ok");
    return 0;
}

void noteAlphaCoverage(const DecodedPicture& picture, uint32_t name)
{
    // Only a picture with an alpha channel can be see-through anywhere (the rest are
    // drawn whole without measuring); a reused name must not keep the coverage of the
    // picture it named before.
    if (!picture.cube && picture.hasAlpha) {
        rememberAlphaCoverage(name, picture.coverage);
    } else {
        forgetAlphaCoverage(name);
    }
}

PictureLimits textureSizeLimits()
{
    GLint size = 0;
    GLint cubeSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    glGetIntegerv(GL_MAX_CUBE_MAP_TEXTURE_SIZE, &cubeSize);
    PictureLimits limits;
    limits.maxSize = size;
    limits.maxCubeSize = cubeSize;
    return limits;
}

void deferTextureUploads(bool on)
{
    if (!on) {
        uploadDeferredTextures(0.0);
    }
    deferring = on;
}

bool uploadDeferredTextures(double seconds)
{
    const auto start = std::chrono::steady_clock::now();
    size_t done = 0;
    while (done < pending.size()) {
        const PendingUpload& upload = pending[done++];
        if (glIsTexture(upload.name)) {
            uploadLevels(*upload.picture, upload.name);
        }
        if (seconds > 0.0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds) {
            break;
        }
    }
    pending.erase(pending.begin(), pending.begin() + long(done));
    return pending.empty();
}
