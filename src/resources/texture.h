// Textures: one image of the data archive becomes a mipmapped OpenGL texture.
//
// loadTexture decodes PNG, JPEG and DDS from memory (the format is detected from the
// bytes), uploads it as GL_RGBA8 and writes the new GL name into texture.crc; the
// caller owns that texture. A file holding six faces becomes a cube map (faces in the
// file's order +X, -X, +Y, -Y, +Z, -Z); anything else is a 2D texture from its first
// image (a file of several images is noted as a warning), upright (its bottom row at t = 0) with the settings' anisotropy, the alpha
// coverage of a picture with alpha remembered (resources/alpha_coverage.h).
// The decoding is resources/picture.h (mipmaps made on the CPU); a picture decoded
// ahead (resources/prefetch.h) is only uploaded. Needs a current GL context with linked
// extensions and the image library initialised (ilInit). Main thread only.
#pragma once
#include "resources/picture.h"

#include <cstdint>
#include <string>

class Loader;

// The texture record (also the scene file's texture entry).
struct Texture {
    uint32_t crc = 0;     // the GL texture name after loading
    std::string source;   // archive path, set by the owner before loading
};

// 0 on success (texture.crc names the texture, left bound to its target), 1 on failure.
unsigned loadTexture(Loader& loader, Texture& texture);

// The sizes this GL's textures can have, for decodePicture (resources/picture.h): read
// from the current context.
PictureLimits textureSizeLimits();
// Every level of every face of a decoded picture into texture `name` (a 2D texture or a
// cube map as the picture is), which is left bound; its parameters stay as they were.
void uploadLevels(const DecodedPicture& picture, uint32_t name);
// Records which parts of texture `name` the picture leaves see-through (flat pictures
// with alpha), or forgets what the name had.
void noteAlphaCoverage(const DecodedPicture& picture, uint32_t name);

// Start-up only: while deferring, a picture decoded ahead gets its texture (name,
// parameters, binding) at once but its texels only from uploadDeferredTextures, which
// works through them in load order for about `seconds` (0: all of them) and tells
// whether none is left. Turning deferring off uploads what is left; every texture is
// whole before anything draws with it, and before the prefetch is dropped.
void deferTextureUploads(bool on);
bool uploadDeferredTextures(double seconds);
