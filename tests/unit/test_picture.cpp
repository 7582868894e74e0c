// The mipmap chains the texture loader makes on the CPU.
#include "resources/picture.h"

#include <gtest/gtest.h>

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
