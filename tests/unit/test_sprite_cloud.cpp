// The shared sprite cloud's records: a texture draw of exactly 1 keeps the sprite on
// the last texture instead of one past the array, whatever the texture count.
#include "effects/effect.h"
#include "effects/sfmt.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The generator's layout (its 624 state words, then the read index), to place chosen
// output words where the next draws read them.
struct SfmtLayout {
    uint32_t state[Sfmt19937::stateWords];
    int index;
};
static_assert(sizeof(SfmtLayout) == sizeof(Sfmt19937), "the generator is its state and its index");

// Makes the shared generator return `words` next, in order.
void queueWords(const std::vector<uint32_t>& words)
{
    SfmtLayout layout;
    std::memcpy(&layout, &sharedRandom, sizeof layout);
    layout.index = Sfmt19937::stateWords - int(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        layout.state[size_t(layout.index) + i] = words[i];
    }
    std::memcpy(static_cast<void*>(&sharedRandom), &layout, sizeof layout);
}

}  // namespace

TEST(SpriteCloud, ExtremeDrawsStayInsideTheirRangesAndTheTextureArray)
{
    seedRandom(12345);
    struct Case {
        uint32_t word;  // every one of the five draws
        int textures;
        float x, y, w;
        int texture;
    };
    const Case cases[] = {
        {0u, 8, -12.0f, -10.0f, -15.0f, 0},
        {4294967295u, 8, 12.0f, 10.0f, 15.0f, 7},  // a draw of exactly 1
        {4294967295u, 1, 12.0f, 10.0f, 15.0f, 0},
        {2147483648u, 8, 0.0f, 0.0f, 0.0f, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        queueWords({c.word, c.word, c.word, c.word, c.word});
        ASSERT_EQ(c.word == 4294967295u, unitFromWord(c.word) == 1.0f);
        Sprite s{};
        fillSprites(&s, 1, c.textures);
        EXPECT_NEAR(s.x, c.x, 1e-5f);
        EXPECT_NEAR(s.y, c.y, 1e-5f);
        EXPECT_NEAR(s.z, c.x, 1e-5f);
        EXPECT_NEAR(s.w, c.w, 1e-5f);
        EXPECT_EQ(s.texture, c.texture);
    }
}
