// DDS writer: round trips through DevIL (the decoder the texture loader uses) and
// through our own reader, for 2D pictures and cube maps, uncompressed and DXT.
#include "cube_faces.h"
#include "datagen/dds.h"

#include <gtest/gtest.h>

#include <cstdlib>

using datagen::DdsFormat;
using datagen::Image;

namespace {

Image pattern(int w, int h, int seed, bool alpha)
{
    Image image(w, h, 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.at(x, y);
            p[0] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(y * 255 / (h - 1));
            p[2] = uint8_t(40 * seed + 10);
            p[3] = alpha ? uint8_t((x + y) * 255 / (w + h - 2)) : 255;
        }
    }
    return image;
}

int maxDifference(const Image& a, const Image& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        worst = std::max(worst, std::abs(int(a.pixels[i]) - int(b.pixels[i])));
    }
    return worst;
}

}  // namespace

TEST(DdsWriter, UncompressedPictureRoundTripsExactly)
{
    Image source = pattern(16, 8, 1, true);
    std::vector<uint8_t> bytes = datagen::encodeDds({source}, DdsFormat::Bgra8);
    ASSERT_EQ(bytes.size(), 128u + 16 * 8 * 4);
    std::vector<Image> devil;
    ASSERT_TRUE(devilFaces(bytes, devil));
    ASSERT_EQ(devil.size(), 1u);
    EXPECT_EQ(devil[0].width, 16);
    EXPECT_EQ(devil[0].height, 8);
    EXPECT_EQ(devil[0].pixels, source.pixels);  // row 0 first, channels in place
    std::vector<Image> ours;
    ASSERT_TRUE(datagen::decodeDds(bytes, ours));
    EXPECT_EQ(ours[0].pixels, source.pixels);
}

TEST(DdsWriter, CubeMapLoadsAsSixFacesInOrder)
{
    std::vector<Image> faces;
    for (int f = 0; f < 6; ++f) {
        faces.push_back(pattern(8, 8, f, false));
    }
    std::vector<uint8_t> bytes = datagen::encodeDds(faces, DdsFormat::Bgra8);
    std::vector<Image> devil;
    ASSERT_TRUE(devilFaces(bytes, devil));
    ASSERT_EQ(devil.size(), 6u);
    for (int f = 0; f < 6; ++f) {
        EXPECT_EQ(devil[size_t(f)].pixels, faces[size_t(f)].pixels) << "face " << f;
    }
    std::vector<Image> ours;
    DdsFormat format;
    ASSERT_TRUE(datagen::decodeDds(bytes, ours, &format));
    EXPECT_EQ(ours.size(), 6u);
    EXPECT_EQ(format, DdsFormat::Bgra8);
}

TEST(DdsWriter, CompressedCubeMapsDecodeCloseToTheSource)
{
    for (DdsFormat format : {DdsFormat::Dxt1, DdsFormat::Dxt5}) {
        std::vector<Image> faces;
        for (int f = 0; f < 6; ++f) {
            faces.push_back(pattern(32, 32, f, false));
        }
        std::vector<uint8_t> bytes = datagen::encodeDds(faces, format);
        size_t blockBytes = format == DdsFormat::Dxt1 ? 8 : 16;
        ASSERT_EQ(bytes.size(), 128 + 6 * 64 * blockBytes);
        std::vector<Image> devil;
        ASSERT_TRUE(devilFaces(bytes, devil));
        ASSERT_EQ(devil.size(), 6u);
        std::vector<Image> ours;
        ASSERT_TRUE(datagen::decodeDds(bytes, ours));
        for (int f = 0; f < 6; ++f) {
            EXPECT_LE(maxDifference(devil[size_t(f)], faces[size_t(f)]), 24) << "face " << f;
            // Two decoders of the same blocks differ only in how they widen 5/6-bit colours.
            EXPECT_LE(maxDifference(devil[size_t(f)], ours[size_t(f)]), 8) << "face " << f;
        }
    }
}

TEST(DdsWriter, Dxt5KeepsAlpha)
{
    Image source = pattern(16, 16, 2, true);
    std::vector<uint8_t> bytes = datagen::encodeDds({source}, DdsFormat::Dxt5);
    std::vector<Image> devil;
    ASSERT_TRUE(devilFaces(bytes, devil));
    ASSERT_EQ(devil.size(), 1u);
    int worstAlpha = 0;
    for (size_t i = 3; i < source.pixels.size(); i += 4) {
        worstAlpha = std::max(worstAlpha, std::abs(int(devil[0].pixels[i]) - int(source.pixels[i])));
    }
    EXPECT_LE(worstAlpha, 10);
}

TEST(DdsWriter, CompressionDoesNotDependOnThreadTiming)
{
    std::vector<Image> faces;
    for (int f = 0; f < 6; ++f) {
        faces.push_back(pattern(64, 64, f, true));
    }
    EXPECT_EQ(datagen::encodeDds(faces, DdsFormat::Dxt5), datagen::encodeDds(faces, DdsFormat::Dxt5));
}

TEST(DdsWriter, RefusesInvalidInput)
{
    Image a = pattern(8, 8, 0, false), b = pattern(16, 16, 0, false);
    EXPECT_TRUE(datagen::encodeDds({}, DdsFormat::Bgra8).empty());
    EXPECT_TRUE(datagen::encodeDds({a, a, a, a, a}, DdsFormat::Bgra8).empty());  // neither 1 nor 6 faces
    EXPECT_TRUE(datagen::encodeDds({a, a, a, a, a, b}, DdsFormat::Bgra8).empty());
    EXPECT_TRUE(datagen::encodeDds({pattern(6, 6, 0, false)}, DdsFormat::Dxt1).empty());
    Image grey(8, 8, 1);
    EXPECT_TRUE(datagen::encodeDds({grey}, DdsFormat::Bgra8).empty());
}

TEST(DdsReader, RejectsTruncatedAndForeignData)
{
    std::vector<uint8_t> bytes = datagen::encodeDds({pattern(8, 8, 0, false)}, DdsFormat::Dxt1);
    std::vector<Image> faces;
    ASSERT_TRUE(datagen::decodeDds(bytes, faces));
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(datagen::decodeDds(cut, faces));
    std::vector<uint8_t> foreign = bytes;
    foreign[0] = 'X';
    EXPECT_FALSE(datagen::decodeDds(foreign, faces));
    std::vector<uint8_t> huge = bytes;
    huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;  // height
    EXPECT_FALSE(datagen::decodeDds(huge, faces));
    EXPECT_FALSE(datagen::decodeDds({}, faces));
}
