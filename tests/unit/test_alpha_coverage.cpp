// Which tiles of a picture the overlay draws: every tile within the margin of a visible
// texel, none elsewhere.
#include "resources/alpha_coverage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rect {
    int x0, y0, x1, y1;  // visible texels, inclusive
};

struct Case {
    const char* name;
    int width, height;
    std::vector<Rect> visible;
    // Expected set tiles as inclusive ranges of columns and rows (none when empty).
    int c0, c1, r0, r1;
};

TEST(AlphaCoverage, SetsTheTilesWithinTheMarginOfVisibleTexels)
{
    // 1280 x 720: tiles of 20 x 20 texels, margin 16.
    const Case cases[] = {
        {"see-through", 1280, 720, {}, 1, 0, 1, 0},
        {"one texel in a tile's middle", 1280, 720, {{650, 370, 650, 370}}, 31, 33, 17, 19},
        {"the first texel", 1280, 720, {{0, 0, 0, 0}}, 0, 0, 0, 0},
        {"the last texel", 1280, 720, {{1279, 719, 1279, 719}}, 63, 63, 35, 35},
        {"near a tile's start: reaches the tile before", 1280, 720, {{22, 22, 22, 22}}, 0, 1, 0, 1},
        {"a row from end to end", 1280, 720, {{0, 300, 1279, 300}}, 0, 63, 14, 15},
        {"a small picture: tiles of 2 texels", 128, 72, {{64, 36, 64, 36}}, 24, 40, 10, 26},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> texels(size_t(c.width) * size_t(c.height) * 4, 0);
        for (const Rect& v : c.visible) {
            for (int y = v.y0; y <= v.y1; ++y) {
                for (int x = v.x0; x <= v.x1; ++x) {
                    texels[(size_t(y) * size_t(c.width) + size_t(x)) * 4 + 3] = 1;
                }
            }
        }
        const AlphaCoverage coverage = measureAlphaCoverage(texels.data(), c.width, c.height);
        for (int r = 0; r < coverageRows; ++r) {
            for (int col = 0; col < coverageColumns; ++col) {
                const bool expected = col >= c.c0 && col <= c.c1 && r >= c.r0 && r <= c.r1;
                EXPECT_EQ(bool(coverage.rows[r] >> col & 1), expected)
                    << c.name << ": tile column " << col << ", row " << r;
            }
        }
    }
}

TEST(AlphaCoverage, HoldsUnlessThePictureShrinksBelowAQuarter)
{
    AlphaCoverage coverage;
    coverage.width = 1280;
    coverage.height = 720;
    EXPECT_TRUE(coverageHolds(coverage, 1024, 576));
    EXPECT_TRUE(coverageHolds(coverage, 2560, 1440));
    EXPECT_TRUE(coverageHolds(coverage, 320, 180));
    EXPECT_FALSE(coverageHolds(coverage, 319, 180));
    EXPECT_FALSE(coverageHolds(coverage, 320, 100));
    EXPECT_FALSE(coverageHolds(coverage, 0, 0));
}

TEST(AlphaCoverage, RegistryForgetsReleasedNames)
{
    AlphaCoverage coverage;
    coverage.width = 7;
    rememberAlphaCoverage(41, coverage);
    ASSERT_NE(findAlphaCoverage(41), nullptr);
    EXPECT_EQ(findAlphaCoverage(41)->width, 7);
    EXPECT_EQ(findAlphaCoverage(42), nullptr);
    forgetAlphaCoverage(41);
    EXPECT_EQ(findAlphaCoverage(41), nullptr);
}

}  // namespace
