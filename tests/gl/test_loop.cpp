// --loop: live playback of a span jumps back to its start, picture and music together,
// and the parts see the same times as in the whole run.
#include "gl_fixture.h"

#include "app/screen.h"
#include "audio/sound.h"
#include "core/core.h"
#include "effects/effect.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class TimePart : public Effect {
public:
    int init() override { return 0; }
    void render(float localTime) override { renders.push_back(localTime); }
    std::vector<float> renders;
};

TimePart* parts[demoSlotCount] = {};

Effect* makePart(int slot)
{
    parts[slot] = new TimePart;
    return parts[slot];
}

class Loop : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openTestWindow("loop test", 160, 90);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        screen.width = 160;
        screen.height = 90;
        screen.outputType = outputOffline;  // the music plays without a device
        loader.open("data.zip");
        ASSERT_TRUE(loader.opened);
        ASSERT_EQ(sound.init(), 0);
        core.effectMaker = makePart;
        ASSERT_EQ(core.init(), 0);
    }
    static void TearDownTestSuite()
    {
        core.release();
        platform::destroyWindow();
    }
};

}  // namespace

TEST_F(Loop, SpanStartsAtItsBeginningAndWrapsWithTheMusic)
{
    ASSERT_TRUE(sound.loaded);
    core.loopSpan(78.0f, 90.0f);
    EXPECT_NEAR(double(sound.getPosition()), 78000.0, 1.0);
    core.renderFrame();
    EXPECT_GE(core.time, 78.0f);
    EXPECT_LT(core.time, 78.5f);

    // The clock runs on; the frame that reaches 90 s is drawn at 78 s instead.
    core.jumpTo(90.01f);
    EXPECT_NEAR(double(sound.getPosition()), 90010.0, 1.0);
    core.renderFrame();
    EXPECT_GE(core.time, 78.0f);
    EXPECT_LT(core.time, 78.5f);
    EXPECT_LT(double(sound.getPosition()), 78500.0) << "the music jumped back with the picture";
    EXPECT_GE(double(sound.getPosition()), 78000.0);
    // Phalanx (slot 4, 77-96 s) drew the frame at its local time.
    ASSERT_FALSE(parts[4]->renders.empty());
    EXPECT_NEAR(parts[4]->renders.back(), core.time - core.schedule[4].startTime, 1e-4);

    // A span across the cross-fade at 18-19 s: the mix as in the whole run.
    core.loopSpan(18.0f, 19.0f);
    core.setClock(18.5f);
    core.renderFrame();
    EXPECT_FLOAT_EQ(core.crossfadeFactor, 0.25f);
    core.setClock(19.0f);
    core.renderFrame();
    EXPECT_FLOAT_EQ(core.time, 18.0f) << "the paused clock jumps as well";

    core.loopSpan(0.0f, 0.0f);  // no loop: the time passes B
    core.setClock(19.5f);
    core.renderFrame();
    EXPECT_FLOAT_EQ(core.time, 19.5f);
}
