// The box filter of supersampled pictures: every pixel the mean of its block of BGRA
// samples, rounded to the nearest level, in both layouts (RGB with blue and red swapped
// back, BGRA with an opaque alpha), for each block side and for widths that end inside
// and outside the four-pixel steps of the fast path.
#include "core/supersample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

TEST(BoxFilter, EveryPixelIsTheRoundedMeanOfItsBlock)
{
    std::mt19937 random(7);
    BoxFilter filter;
    for (int factor = 1; factor <= Supersampler::largestFactor; ++factor) {
        for (int width : {1, 3, 4, 5, 8, 17}) {
            for (int height : {1, 2, 3}) {
                const int sampleWidth = width * factor;
                std::vector<uint8_t> samples(size_t(sampleWidth) * size_t(height * factor) * 4);
                for (uint8_t& v : samples) {
                    v = uint8_t(random());
                }
                filter.prepare(factor, width);
                for (PixelLayout layout : {PixelLayout::Rgb, PixelLayout::Bgra}) {
                    const int step = bytesPerPixel(layout);
                    std::vector<uint8_t> picture(size_t(width) * size_t(height) * size_t(step) + 1, 0xAB);
                    filter.reduce(samples.data(), width, height, picture.data(), layout);
                    for (int y = 0; y < height; ++y) {
                        for (int x = 0; x < width; ++x) {
                            for (int c = 0; c < step; ++c) {
                                // Output channel c comes from sample channel `from`.
                                const int from = layout == PixelLayout::Rgb ? 2 - c : c;
                                int sum = 0;
                                for (int dy = 0; dy < factor; ++dy) {
                                    for (int dx = 0; dx < factor; ++dx) {
                                        sum += samples[(size_t(y * factor + dy) * sampleWidth + x * factor + dx) * 4 +
                                                       size_t(from)];
                                    }
                                }
                                const int cells = factor * factor;
                                const int expected = c == 3 ? 255 : (sum + cells / 2) / cells;
                                ASSERT_EQ(picture[(size_t(y) * width + x) * size_t(step) + size_t(c)], expected)
                                    << "factor " << factor << ", " << width << " x " << height << ", pixel " << x
                                    << "," << y << " channel " << c << (step == 3 ? " (RGB)" : " (BGRA)");
                            }
                        }
                    }
                    EXPECT_EQ(picture.back(), 0xAB)
                        << "written past the picture: factor " << factor << ", width " << width;
                }
            }
        }
    }
}

// Halves round up, and the extremes stay the extremes (no overflow of a block's sum).
TEST(BoxFilter, HalvesRoundUpAndWhiteStaysWhite)
{
    BoxFilter filter;
    for (int factor = 2; factor <= Supersampler::largestFactor; ++factor) {
        const int cells = factor * factor;
        const int width = 5;
        std::vector<uint8_t> samples(size_t(width * factor) * size_t(factor) * 4, 255);
        // Pixel 0: half the samples 1, half 0 (a mean of exactly one half for even
        // factors); pixel 1: all 0.
        for (int dy = 0; dy < factor; ++dy) {
            for (int dx = 0; dx < factor; ++dx) {
                uint8_t* first = &samples[(size_t(dy) * width * factor + dx) * 4];
                first[0] = first[1] = first[2] = (dy * factor + dx) < cells / 2 ? 1 : 0;
                uint8_t* second = &samples[(size_t(dy) * width * factor + factor + dx) * 4];
                second[0] = second[1] = second[2] = 0;
            }
        }
        filter.prepare(factor, width);
        std::vector<uint8_t> rgb(size_t(width) * 3);
        filter.reduce(samples.data(), width, 1, rgb.data(), PixelLayout::Rgb);
        EXPECT_EQ(rgb[0], factor % 2 == 0 ? 1 : 0) << factor;
        EXPECT_EQ(rgb[3], 0) << factor;
        for (size_t i = 6; i < rgb.size(); ++i) {
            EXPECT_EQ(rgb[i], 255) << factor;
        }
    }
}
