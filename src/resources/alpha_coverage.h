// Where a 2D picture is see-through, so that a blended full-screen picture (the parts'
// overlays) is drawn only where it can change a pixel.
//
// The picture is cut into a grid of coverageColumns x coverageRows tiles over its texture
// coordinates, whatever its size; a tile is set when some texel within coverageMargin
// texels of it has alpha above 0. Drawn with source-alpha blending over the set tiles
// only, a picture leaves every pixel as the whole picture would (alpha 0 blends to the
// destination unchanged) as long as its filtering reaches no further than the margin:
// true unless the picture is shrunk below 1/4 of its size (coverageHolds).
//
// The texture loader measures every 2D picture with an alpha channel that it uploads and
// remembers the result by GL texture name; releasing a texture through the draw helpers
// forgets it. Main thread.
#pragma once
#include <cstdint>

constexpr int coverageColumns = 64;
constexpr int coverageRows = 36;
constexpr int coverageMargin = 16;

struct AlphaCoverage {
    uint64_t rows[coverageRows] = {};  // bit c of rows[r]: tile column c of tile row r (row 0 at t = 0)
    int width = 0;                     // the picture's size in texels
    int height = 0;
};

// Measures BGRA (or RGBA) texels stored bottom row first, as uploaded.
AlphaCoverage measureAlphaCoverage(const uint8_t* texels, int width, int height);

// True when drawing only the set tiles of a picture stretched over a viewport of this
// size gives the same pixels as drawing all of it.
bool coverageHolds(const AlphaCoverage& coverage, int viewportWidth, int viewportHeight);

void rememberAlphaCoverage(uint32_t texture, const AlphaCoverage& coverage);
void forgetAlphaCoverage(uint32_t texture);
// The coverage of a loaded 2D picture; null for a name the loader did not measure.
const AlphaCoverage* findAlphaCoverage(uint32_t texture);
