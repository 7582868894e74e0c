#include "resources/alpha_coverage.h"

#include <algorithm>
#include <unordered_map>

namespace {

std::unordered_map<uint32_t, AlphaCoverage>& registry()
{
    static std::unordered_map<uint32_t, AlphaCoverage> byTexture;
    return byTexture;
}

// Bits first..last (inclusive) of a 64-bit row.
uint64_t bitRange(int first, int last)
{
    const uint64_t upTo = last >= 63 ? ~uint64_t(0) : (uint64_t(1) << (last + 1)) - 1;
    return upTo & ~((uint64_t(1) << first) - 1);
}

// The tiles (of `tiles` over `size` texels) that a texel span [first, last] reaches
// within the margin.
void reachedTiles(int first, int last, int size, int tiles, int* from, int* to)
{
    *from = std::max(0, int((int64_t(first) - coverageMargin) * tiles / size));
    *to = std::min(tiles - 1, int((int64_t(last) + 1 + coverageMargin) * tiles / size));
}

}  // namespace

AlphaCoverage measureAlphaCoverage(const uint8_t* texels, int width, int height)
{
    AlphaCoverage coverage;
    coverage.width = width;
    coverage.height = height;
    if (!texels || width <= 0 || height <= 0) {
        return coverage;
    }
    for (int y = 0; y < height; ++y) {
        // The tile columns this texel row reaches, from its runs of visible texels.
        uint64_t columns = 0;
        const uint8_t* alpha = texels + size_t(y) * size_t(width) * 4 + 3;
        for (int x = 0; x < width;) {
            if (alpha[size_t(x) * 4] == 0) {
                ++x;
                continue;
            }
            int end = x;
            while (end + 1 < width && alpha[size_t(end + 1) * 4] != 0) {
                ++end;
            }
            int from = 0, to = 0;
            reachedTiles(x, end, width, coverageColumns, &from, &to);
            columns |= bitRange(from, to);
            x = end + 1;
        }
        if (columns != 0) {
            int from = 0, to = 0;
            reachedTiles(y, y, height, coverageRows, &from, &to);
            for (int r = from; r <= to; ++r) {
                coverage.rows[r] |= columns;
            }
        }
    }
    return coverage;
}

bool coverageHolds(const AlphaCoverage& coverage, int viewportWidth, int viewportHeight)
{
    // Shrunk by a factor f, trilinear filtering reaches about 2f texels (its coarser
    // level's bilinear footprint).
    return viewportWidth > 0 && viewportHeight > 0 && coverage.width <= 4 * viewportWidth &&
           coverage.height <= 4 * viewportHeight;
}

void rememberAlphaCoverage(uint32_t texture, const AlphaCoverage& coverage) { registry()[texture] = coverage; }

void forgetAlphaCoverage(uint32_t texture) { registry().erase(texture); }

const AlphaCoverage* findAlphaCoverage(uint32_t texture)
{
    const auto found = registry().find(texture);
    return found == registry().end() ? nullptr : &found->second;
}
