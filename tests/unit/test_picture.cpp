// The CPU half of the texture loader: what a file's header lets through, and the mipmap
// chains.
#include "resources/picture.h"

#include "datagen/image.h"
#include "picture_files.h"

#include <IL/il.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

PictureLevel level(int width, int height, std::vector<uint8_t> texels)
{
    PictureLevel l;
    l.width = width;
    l.height = height;
    l.texels = std::move(texels);
    return l;
}

}  // namespace

TEST(PictureMipmaps, ChainsHalveRoundingDownToOneByOne)
{
    struct Case {
        int width, height, levels, lastAboveOneW, lastAboveOneH;
    } cases[] = {
        {1, 1, 1, 1, 1},     {2, 2, 2, 2, 2},     {4, 1, 3, 2, 1},
        {1280, 720, 11, 2, 1}, {5, 3, 3, 2, 1}, {1024, 1024, 11, 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mipmapLevelCount(c.width, c.height), c.levels) << c.width << "x" << c.height;
        std::vector<PictureLevel> chain;
        chain.push_back(level(c.width, c.height, std::vector<uint8_t>(size_t(c.width * c.height * 4), 9)));
        appendMipmaps(chain);
        ASSERT_EQ(int(chain.size()), c.levels) << c.width << "x" << c.height;
        for (size_t i = 1; i < chain.size(); ++i) {
            EXPECT_EQ(chain[i].width, std::max(1, chain[i - 1].width / 2));
            EXPECT_EQ(chain[i].height, std::max(1, chain[i - 1].height / 2));
            EXPECT_EQ(chain[i].texels.size(), size_t(chain[i].width * chain[i].height * 4));
            EXPECT_EQ(chain[i].texels.front(), 9) << "a flat picture stays flat";
        }
        if (c.levels > 1) {
            EXPECT_EQ(chain[chain.size() - 2].width, c.lastAboveOneW);
            EXPECT_EQ(chain[chain.size() - 2].height, c.lastAboveOneH);
        }
        EXPECT_EQ(chain.back().width * chain.back().height, 1);
    }
}

TEST(PictureMipmaps, EachTexelIsTheRoundedMeanOfTheFourAboveIt)
{
    // 3 x 2, one channel of interest (the rest 0): the odd last column is dropped, the
    // rows pair up; every channel is filtered alike.
    std::vector<uint8_t> texels(3 * 2 * 4, 0);
    const uint8_t blue[6] = {0, 1, 200, 2, 255, 100};  // rows bottom up: (0 1 200) (2 255 100)
    for (int i = 0; i < 6; ++i) {
        texels[size_t(i * 4)] = blue[i];
        texels[size_t(i * 4 + 3)] = 255;
    }
    std::vector<PictureLevel> chain;
    chain.push_back(level(3, 2, texels));
    appendMipmaps(chain);
    ASSERT_EQ(chain.size(), 2u);
    ASSERT_EQ(chain[1].width, 1);
    EXPECT_EQ(chain[1].texels[0], (0 + 1 + 2 + 255 + 2) / 4) << "rounded to nearest";
    EXPECT_EQ(chain[1].texels[3], 255) << "alpha filtered like colour";

    // A single row pairs with itself.
    chain.clear();
    chain.push_back(level(2, 1, {10, 0, 0, 0, 13, 0, 0, 0}));
    appendMipmaps(chain);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[1].texels[0], (10 + 13 + 10 + 13 + 2) / 4);
}

namespace {

using namespace picture_files;

Bytes flatPng(int width, int height)
{
    datagen::Image image(width, height, 3);
    return datagen::encodePng(image);
}

Bytes jpegHeader(uint32_t width, uint32_t height)
{
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    out.insert(out.end(), {0xFF, 0xC2, 0, 17, 8});
    putBe(out, height, 2);
    putBe(out, width, 2);
    out.insert(out.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
    out.insert(out.end(), 64, 0x5A);
    return out;
}
Bytes gifHeader(uint32_t width, uint32_t height)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    putLe(out, width, 2);
    putLe(out, height, 2);
    out.insert(out.end(), 64, 0);
    return out;
}
Bytes bmpHeader(uint32_t width, int32_t height)
{
    Bytes out = {'B', 'M'};
    out.insert(out.end(), 16, 0);
    putLe(out, width, 4);
    putLe(out, uint32_t(height), 4);
    out.insert(out.end(), 64, 0);
    return out;
}

// A DDS of 32-bit texels with the given cube flags (caps2) and as many faces of data as
// the flags declare (one without the cube flag).
Bytes dds(uint32_t width, uint32_t height, uint32_t caps2)
{
    Bytes out = {'D', 'D', 'S', ' '};
    putLe(out, 124, 4);
    putLe(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x8, 4);
    putLe(out, height, 4);
    putLe(out, width, 4);
    putLe(out, width * 4, 4);
    out.insert(out.end(), 4 * 13, 0);
    putLe(out, 32, 4);
    putLe(out, 0x41, 4);
    putLe(out, 0, 4);
    putLe(out, 32, 4);
    for (uint32_t mask : {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u}) {
        putLe(out, mask, 4);
    }
    putLe(out, 0x1000 | (caps2 ? 0x8 : 0), 4);
    putLe(out, caps2, 4);
    out.insert(out.end(), 12, 0);
    int faces = 0;
    for (uint32_t bit = 0x400; bit <= 0x8000; bit <<= 1) {
        faces += (caps2 & bit) != 0;
    }
    out.insert(out.end(), size_t(std::max(faces, 1)) * width * height * 4, 0x80);
    return out;
}

const uint32_t allFaces = 0x200 | 0xFC00;

}  // namespace

// Before decoding, the header decides: a picture the GL cannot hold and a cube map short
// of faces are refused (the bytes after the header need not even decode); a file of
// several images is its first image, never a cube map.
TEST(PictureDecode, TheHeaderRefusesWhatTheGlCannotTakeAndDecidesTheKind)
{
    ilInit();
    PictureLimits gl;
    gl.maxSize = 64;
    gl.maxCubeSize = 8;
    const struct {
        const char* name;
        Bytes bytes;
        const char* refusal;  // the start of the reason; null: decoded
        int width = 0, height = 0, images = 0;
        bool cube = false;
    } cases[] = {
        {"PNG at the limit", flatPng(64, 2), nullptr, 64, 2, 1, false},
        {"PNG one texel wider", flatPng(65, 2), "refused: a 65x2 picture is larger than the largest texture of this GL (64x64)"},
        {"huge PNG header", pngHeader(20000, 20000), "refused: a 20000x20000 picture is larger than the largest texture"},
        {"huge progressive JPEG header", jpegHeader(40, 70000 % 65536), "refused: a 40x4464 picture is larger"},
        {"huge GIF header", gifHeader(65535, 1), "refused: a 65535x1 picture is larger"},
        {"huge BMP header, rows top down", bmpHeader(3, -100), "refused: a 3x100 picture is larger"},
        {"huge DDS header", dds(128, 1, 0), "refused: a 128x1 picture is larger"},
        {"six-face cube map", dds(8, 8, allFaces), nullptr, 8, 8, 6, true},
        {"cube map beyond the cube limit", dds(16, 16, allFaces), "refused: a 16x16 picture is larger than the largest cube map face"},
        {"cube map declaring 3 faces", dds(8, 8, 0x200 | 0x1C00), "refused: a DDS cube map declaring 3 of its 6 faces"},
        {"cube map declaring 5 faces, -Z missing", dds(8, 8, 0x200 | 0x7C00), "refused: a DDS cube map declaring 5 of its 6 faces"},
        {"cube map declaring 5 faces, +X missing", dds(8, 8, 0x200 | 0xF800), "refused: a DDS cube map declaring 5 of its 6 faces"},
        {"cube flag without faces", dds(8, 8, 0x200), "refused: a DDS cube map declaring 0 of its 6 faces"},
        {"six-frame GIF", gif(4, 2, 6), nullptr, 4, 2, 6, false},
        {"two-frame GIF", gif(4, 2, 2), nullptr, 4, 2, 2, false},
    };
    for (const auto& c : cases) {
        DecodedPicture picture;
        PictureError error;
        const bool ok = decodePicture(reinterpret_cast<const char*>(c.bytes.data()), uint32_t(c.bytes.size()), gl,
                                      picture, error);
        if (c.refusal) {
            EXPECT_FALSE(ok) << c.name;
            EXPECT_EQ(error.reason.rfind(c.refusal, 0), 0u) << c.name << ": " << error.reason;
            EXPECT_FALSE(error.logLine.empty()) << c.name;
            continue;
        }
        ASSERT_TRUE(ok) << c.name << ": " << error.reason;
        EXPECT_EQ(picture.width, c.width) << c.name;
        EXPECT_EQ(picture.height, c.height) << c.name;
        EXPECT_EQ(picture.images, c.images) << c.name;
        EXPECT_EQ(picture.cube, c.cube) << c.name;
        EXPECT_EQ(int(picture.levels.size()), picture.levelCount * (c.cube ? 6 : 1)) << c.name;
        if (std::string(c.name).find("GIF") != std::string::npos) {
            const std::vector<uint8_t>& texels = picture.level(0, 0).texels;
            for (size_t i = 0; i < texels.size(); i += 4) {
                ASSERT_EQ(texels[i + 2], 255) << c.name << ": the first frame (red) at texel " << i / 4;
                ASSERT_EQ(texels[i], 0) << c.name << ": the first frame (red) at texel " << i / 4;
            }
        }
    }
}
