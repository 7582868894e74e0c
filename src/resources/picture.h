// Pictures decoded for upload: the CPU half of the texture loader, no GL.
//
// decodePicture turns the bytes of a PNG, JPEG or DDS file into BGRA texels with their
// whole mipmap chain (each level half the size of the one before, rounded down, to 1 x 1,
// every texel the mean of the 2 x 2 texels above it). A DDS cube map of six faces is a
// cube map (faces in the file's order +X, -X, +Y, -Y, +Z, -Z, stored as they are);
// anything else is its first image, bottom row first (a file of several images, such as
// an animation, included). A picture with an alpha channel gets its alpha coverage
// measured (resources/alpha_coverage.h). The image library decodes, except what it
// would draw wrongly: CMYK and YCCK JPEGs (resources/cmyk_jpeg.h) and DXT1-5 DDS files
// (resources/dds_file.h), which are decoded here or refused with the reason.
// Refused before decoding, from the file's header: a DDS cube map that declares fewer
// than six faces, and a picture beyond the GL's largest texture (PictureLimits).
// Uses the image library (initPictureDecoder done), whose state is global: one thread at
// a time.
#pragma once
#include "resources/alpha_coverage.h"

#include <cstdint>
#include <string>
#include <vector>

struct PictureLevel {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> texels;  // BGRA, rows bottom up
};

struct DecodedPicture {
    int width = 0;  // of level 0
    int height = 0;
    bool headerRead = false;  // the fields above and the two below are known
    int bitsPerPixel = 0;  // of the file's pixels, for the load log
    int images = 0;        // faces or images in the file (1 for a plain picture; above 1
                           // and not a cube: only the first image is used)
    bool cube = false;
    bool hasAlpha = false;
    AlphaCoverage coverage;  // measured when hasAlpha and not a cube
    // Level l of face f is levels[f * levelCount + l]; one face unless cube.
    int levelCount = 0;
    std::vector<PictureLevel> levels;

    const PictureLevel& level(int face, int l) const { return levels[size_t(face * levelCount + l)]; }
};

// What went wrong in a decode: `logLine` for the Core log, `reason` for the failure note.
struct PictureError {
    std::string logLine;
    std::string reason;
};

// The largest texture the GL takes, in texels along a side (GL_MAX_TEXTURE_SIZE and
// GL_MAX_CUBE_MAP_TEXTURE_SIZE); 0: no limit.
struct PictureLimits {
    int maxSize = 0;
    int maxCubeSize = 0;
};

// Starts the image library; once, before the first decode.
void initPictureDecoder();

// true with `out` filled; false with `error` set. A picture larger than `limits` is
// refused, from its header before decoding (PNG, JPEG, DDS, GIF, BMP) or else after.
bool decodePicture(const char* bytes, uint32_t size, const PictureLimits& limits, DecodedPicture& out,
                   PictureError& error);

// Extends the chain from its last level down to 1 x 1.
void appendMipmaps(std::vector<PictureLevel>& chain);

// Number of levels in a full chain from width x height down to 1 x 1.
int mipmapLevelCount(int width, int height);
