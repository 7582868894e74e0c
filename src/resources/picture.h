// Pictures decoded for upload: the CPU half of the texture loader, no GL.
//
// decodePicture turns the bytes of a PNG, JPEG or DDS file into BGRA texels with their
// whole mipmap chain (each level half the size of the one before, rounded down, to 1 x 1,
// every texel the mean of the 2 x 2 texels above it). A file of six faces is a cube map
// (faces in the file's order +X, -X, +Y, -Y, +Z, -Z, stored as they are); anything else
// is its first image, bottom row first. A picture with an alpha channel gets its alpha
// coverage measured (resources/alpha_coverage.h).
// Uses the image library (ilInit done), whose state is global: one thread at a time.
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
    int images = 0;        // faces or images in the file (1 for a plain picture)
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

// true with `out` filled; false with `error` set.
bool decodePicture(const char* bytes, uint32_t size, DecodedPicture& out, PictureError& error);

// Extends the chain from its last level down to 1 x 1.
void appendMipmaps(std::vector<PictureLevel>& chain);

// Number of levels in a full chain from width x height down to 1 x 1.
int mipmapLevelCount(int width, int height);
