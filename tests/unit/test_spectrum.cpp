#include "audio/music_channel.h"
#include "audio/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double twoPi = 6.283185307179586;

std::vector<float> sine(double cyclesPerWindow, float amplitude, double phase = 0.0)
{
    std::vector<float> window(Spectrum::windowSize);
    for (int i = 0; i < Spectrum::windowSize; ++i) {
        window[size_t(i)] = float(amplitude * std::sin(twoPi * cyclesPerWindow * i / Spectrum::windowSize + phase));
    }
    return window;
}

TEST(Spectrum, SineOnABinCentreReadsItsScaledAmplitudeThereOnly)
{
    Spectrum spectrum;
    float out[Spectrum::bins];
    for (int bin : {1, 37, 256, 511}) {
        for (double phase : {0.0, 1.3}) {
            SCOPED_TRACE(testing::Message() << "bin " << bin << " phase " << phase);
            spectrum.analyse(sine(bin, 0.8f, phase).data(), out);
            EXPECT_NEAR(out[bin], 1.0f, 1e-3f);  // 0.8 × 512 / 1024 × 2.5
            for (int k = 0; k < Spectrum::bins; ++k) {
                if (k != bin) {
                    ASSERT_LT(out[k], 1e-3f) << "bin " << k;
                }
            }
        }
    }
    spectrum.analyse(sine(100, 0.2f).data(), out);
    EXPECT_NEAR(out[100], 0.25f, 1e-3f);
}

TEST(Spectrum, FullScaleIsClampedAndSilenceIsZero)
{
    Spectrum spectrum;
    float out[Spectrum::bins];
    spectrum.analyse(sine(64, 1.0f).data(), out);
    EXPECT_EQ(out[64], 1.0f);  // 1.25 before the clamp

    std::vector<float> silence(Spectrum::windowSize, 0.0f);
    spectrum.analyse(silence.data(), out);
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }

    // A constant offset lands in bin 0 only, clamped.
    std::vector<float> offset(Spectrum::windowSize, 0.5f);
    spectrum.analyse(offset.data(), out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_LT(out[1], 1e-4f);
}

TEST(Spectrum, BetweenBinsTheEnergyLeaksToNeighboursButStaysBounded)
{
    Spectrum spectrum;
    float out[Spectrum::bins];
    spectrum.analyse(sine(20.5, 0.8f).data(), out);
    EXPECT_GT(out[20], 0.5f);
    EXPECT_GT(out[21], 0.5f);
    EXPECT_LT(out[20], 1.0f);
    EXPECT_LT(out[200], 0.05f);
}

TEST(Spectrum, NonFiniteInputReadsAsSilenceNotAsAFlash)
{
    Spectrum spectrum;
    float out[Spectrum::bins];
    std::vector<float> window(Spectrum::windowSize, 0.0f);
    window[3] = std::nanf("");
    spectrum.analyse(window.data(), out);
    for (float v : out) {
        ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
        ASSERT_EQ(v, 0.0f);
    }
}

TEST(MusicChannel, WindowHoldsTheNewestOutputAcrossTheRingEnd)
{
    // Without a stream the channel renders silence; the window then reads zeros, with
    // the ring wrapped several times over by uneven block sizes.
    MusicChannel channel;
    std::vector<float> block(3000 * 6, 1.0f);
    for (int i = 0; i < 9; ++i) {
        channel.render(block.data(), 3000, 6);
    }
    for (float v : block) {
        ASSERT_EQ(v, 0.0f);
    }
    std::vector<float> left(1024, 1.0f), right(1024, 1.0f);
    channel.latestWindow(left.data(), right.data(), 1024);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(left[size_t(i)], 0.0f);
        ASSERT_EQ(right[size_t(i)], 0.0f);
    }
}

TEST(MusicChannel, RefusesWhatIsNotOggVorbis)
{
    MusicChannel channel;
    std::string detail;
    std::vector<char> bytes(4096, 'x');
    EXPECT_NE(channel.open(bytes.data(), bytes.size(), &detail), 0);
    EXPECT_FALSE(detail.empty());
    EXPECT_FALSE(channel.isOpen());
    EXPECT_NE(channel.open(nullptr, 0, &detail), 0);
    // Seeking and positions stay sane without a stream.
    channel.seek(5000);
    EXPECT_EQ(channel.positionMs(), 0u);
}

}  // namespace
