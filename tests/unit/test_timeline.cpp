#include "core/timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// One frame of the timeline over the demo's schedule, as Core::frame walks it.
struct FrameResult {
    std::vector<std::string> active;
    std::vector<EntryFrame> steps;
    CrossfadeState crossfade;
};

std::vector<ScheduleEntry> demoEntries()
{
    std::vector<ScheduleEntry> entries;
    for (const ScheduleSlot& slot : demoSchedule) {
        ScheduleEntry e;
        e.startTime = slot.startTime;
        e.endTime = slot.endTime;
        e.fadeInType = slot.fadeInType;
        e.fadeInLength = slot.fadeInLength;
        e.fadeOutType = slot.fadeOutType;
        e.fadeOutLength = slot.fadeOutLength;
        entries.push_back(e);
    }
    return entries;
}

FrameResult runFrame(float time, CrossfadeState state = {})
{
    static const std::vector<ScheduleEntry> entries = demoEntries();
    FrameResult r;
    r.crossfade = state;
    r.crossfade.factor = 0.0f;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entryActive(entries[i], time)) {
            r.active.push_back(demoSchedule[i].effectName);
            r.steps.push_back(planEntry(entries[i], time, r.crossfade));
        }
    }
    return r;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(Timeline, ScheduleIsTheDemosElevenPartsInOrder)
{
    const Names expected = {"Scene01", "TheHub", "StripesDOF", "Blobs", "Phalanx", "RandomGeo2",
                            "Splines", "Scene02", "Vantel", "Greetings", "Credits"};
    Names names;
    for (const ScheduleSlot& slot : demoSchedule) {
        names.push_back(slot.effectName);
    }
    EXPECT_EQ(names, expected);
}

TEST(Timeline, FirstSecondIsUnderHalfBlackWash)
{
    FrameResult r = runFrame(1.0f);
    ASSERT_EQ(r.active, Names{"Scene01"});
    EXPECT_FLOAT_EQ(r.steps[0].localTime, 1.0f);
    ASSERT_TRUE(r.steps[0].fadeIn);
    Wash w = fadeWash(demoSchedule[0].fadeInType, r.steps[0].fadeInProgress);
    EXPECT_EQ(w.grey, 0.0f);
    EXPECT_FLOAT_EQ(w.opacity, 0.5f);
    EXPECT_FALSE(r.steps[0].fadeOut);
    EXPECT_EQ(r.crossfade.factor, 0.0f);
}

TEST(Timeline, CrossfadeAt18_5CopiesBothAndMixesAQuarter)
{
    FrameResult r = runFrame(18.5f);
    ASSERT_EQ(r.active, (Names{"Scene01", "TheHub"}));
    EXPECT_TRUE(r.steps[0].copySource);
    EXPECT_FALSE(r.steps[0].copyTarget);
    EXPECT_FALSE(r.steps[0].fadeIn);
    EXPECT_TRUE(r.steps[1].copyTarget);
    EXPECT_FALSE(r.steps[1].copySource);
    EXPECT_FLOAT_EQ(r.steps[1].localTime, 0.5f);
    EXPECT_FLOAT_EQ(r.crossfade.start, 18.0f);
    EXPECT_FLOAT_EQ(r.crossfade.end, 20.0f);
    EXPECT_FLOAT_EQ(r.crossfade.factor, 0.25f);
}

TEST(Timeline, At20TheFirstSceneIsGoneAndTheCrossfadeOver)
{
    FrameResult r = runFrame(20.0f, CrossfadeState{18.0f, 20.0f, 0.9f});
    ASSERT_EQ(r.active, Names{"TheHub"});
    EXPECT_FALSE(r.steps[0].copyTarget);
    EXPECT_EQ(r.crossfade.factor, 0.0f);
    // Just before, the factor is almost 1.
    EXPECT_NEAR(runFrame(19.99f).crossfade.factor, 0.995f, 1e-3f);
}

TEST(Timeline, WhiteWashesAroundTheSplinesToSceneCut)
{
    FrameResult before = runFrame(133.75f);
    ASSERT_EQ(before.active, Names{"Splines"});
    ASSERT_TRUE(before.steps[0].fadeOut);
    Wash w = fadeWash(fadeToWhite, before.steps[0].fadeOutProgress);
    EXPECT_EQ(w.grey, 1.0f);
    EXPECT_FLOAT_EQ(w.opacity, 0.5f);

    FrameResult after = runFrame(134.2f);
    ASSERT_EQ(after.active, Names{"Scene02"});
    ASSERT_TRUE(after.steps[0].fadeIn);
    w = fadeWash(fadeFromWhite, after.steps[0].fadeInProgress);
    EXPECT_EQ(w.grey, 1.0f);
    EXPECT_NEAR(w.opacity, 0.6f, 1e-5f);
    EXPECT_FALSE(after.steps[0].fadeOut);  // fade-out type none
}

TEST(Timeline, ClosingCrossfadeWithGreetingsBetweenSourceAndTarget)
{
    FrameResult r = runFrame(189.0f);
    ASSERT_EQ(r.active, (Names{"Vantel", "Greetings", "Credits"}));
    EXPECT_TRUE(r.steps[0].copySource);
    EXPECT_FALSE(r.steps[1].copySource || r.steps[1].copyTarget);
    EXPECT_FALSE(r.steps[1].fadeOut);  // Greetings fades out only from 191 s
    EXPECT_TRUE(r.steps[2].copyTarget);
    EXPECT_FLOAT_EQ(r.crossfade.factor, 0.2f);

    FrameResult greetingsOut = runFrame(192.0f);
    ASSERT_TRUE(greetingsOut.steps[1].fadeOut);
    EXPECT_FLOAT_EQ(greetingsOut.steps[1].fadeOutProgress, 0.5f);

    // At 193 s both sources are gone; the target's copy window has closed too.
    FrameResult end = runFrame(193.0f);
    ASSERT_EQ(end.active, Names{"Credits"});
    EXPECT_FALSE(end.steps[0].copyTarget);
    EXPECT_EQ(end.crossfade.factor, 0.0f);
}

TEST(Timeline, BlackTailAndTheEnd)
{
    FrameResult credits = runFrame(194.5f);
    ASSERT_EQ(credits.active, Names{"Credits"});
    EXPECT_FLOAT_EQ(fadeWash(fadeToBlack, credits.steps[0].fadeOutProgress).opacity, 0.75f);

    EXPECT_TRUE(runFrame(195.0f).active.empty());
    EXPECT_TRUE(runFrame(196.0f).active.empty());
    EXPECT_EQ(runFrame(196.0f).crossfade.factor, 0.0f);

    EXPECT_FALSE(demoFinished(196.0f));
    EXPECT_FALSE(demoFinished(197.0f));
    EXPECT_TRUE(demoFinished(197.0001f));
    EXPECT_TRUE(demoFinished(250.0f));
}

TEST(Timeline, EntryBoundariesAreHalfOpen)
{
    FrameResult at39 = runFrame(39.0f);
    ASSERT_EQ(at39.active, Names{"StripesDOF"});
    ASSERT_TRUE(at39.steps[0].fadeIn);
    EXPECT_FLOAT_EQ(fadeWash(fadeFromBlack, at39.steps[0].fadeInProgress).opacity, 1.0f);

    FrameResult before39 = runFrame(38.5f);
    ASSERT_EQ(before39.active, Names{"TheHub"});
    ASSERT_TRUE(before39.steps[0].fadeOut);
    EXPECT_FLOAT_EQ(before39.steps[0].fadeOutProgress, 0.5f);

    EXPECT_EQ(runFrame(0.0f).active, Names{"Scene01"});
    EXPECT_EQ(runFrame(153.0f).active, Names{"Vantel"});
}

// Across the whole run, the mixer factor stays in [0, 1) and is non-zero exactly inside
// the three cross-fades; at most three parts are drawn in one frame.
TEST(Timeline, WholeRunCrossfadesOnlyInsideTheirSpans)
{
    for (int ms = 0; ms <= 197500; ms += 5) {
        const float t = float(ms) / 1000.0f;
        FrameResult r = runFrame(t);
        const bool inside = (t > 18.0f && t < 20.0f) || (t > 57.0f && t < 59.0f) || (t > 188.0f && t < 193.0f);
        ASSERT_GE(r.crossfade.factor, 0.0f) << t;
        ASSERT_LT(r.crossfade.factor, 1.0f) << t;
        ASSERT_EQ(r.crossfade.factor > 0.0f, inside) << t;
        ASSERT_LE(r.active.size(), 3u) << t;
        for (const EntryFrame& step : r.steps) {
            ASSERT_GE(step.localTime, 0.0f) << t;
            if (step.fadeIn) {
                ASSERT_GE(step.fadeInProgress, 0.0f) << t;
                ASSERT_LE(step.fadeInProgress, 1.0f) << t;
            }
            if (step.fadeOut) {
                ASSERT_GE(step.fadeOutProgress, 0.0f) << t;
                ASSERT_LE(step.fadeOutProgress, 1.0f) << t;
            }
        }
    }
}

TEST(Timeline, ZeroLengthFadesAndSpansDoNotDivideByZero)
{
    ScheduleEntry e;
    e.startTime = 5.0f;
    e.endTime = 6.0f;
    e.fadeInType = fadeFromBlack;  // length 0
    CrossfadeState state;
    EntryFrame step = planEntry(e, 5.0f, state);
    ASSERT_TRUE(step.fadeIn);
    EXPECT_EQ(fadeWash(fadeFromBlack, step.fadeInProgress).opacity, 0.0f);

    // A target whose source never ran this frame: start == end gives factor 1, not NaN.
    ScheduleEntry target;
    target.startTime = 0.0f;
    target.endTime = 10.0f;
    target.fadeInType = crossfadeTarget;
    target.fadeInLength = 2.0f;
    CrossfadeState stale{2.0f, 0.0f, 0.0f};
    planEntry(target, 1.0f, stale);
    EXPECT_FALSE(std::isnan(stale.factor));
    EXPECT_EQ(stale.factor, 1.0f);
}

TEST(Timeline, WashClampsProgressAndIgnoresOtherTypes)
{
    EXPECT_EQ(fadeWash(fadeToBlack, -3.0f).opacity, 0.0f);
    EXPECT_EQ(fadeWash(fadeToBlack, 7.0f).opacity, 1.0f);
    EXPECT_EQ(fadeWash(fadeFromWhite, 7.0f).opacity, 0.0f);
    EXPECT_EQ(fadeWash(fadeToWhite, NAN).opacity, 0.0f);
    EXPECT_EQ(fadeWash(crossfadeSource, 0.5f).opacity, 0.0f);
    // The spectrum flash: bin value 3.2 times 0.1 is a white wash of 0.32.
    Wash flash = fadeWash(fadeToWhite, 3.2f * 0.1f);
    EXPECT_EQ(flash.grey, 1.0f);
    EXPECT_FLOAT_EQ(flash.opacity, 0.32f);
}

TEST(LoadingBarProgress, ElevenEffectsGrowBy43PixelsTo473)
{
    LoadingBar bar;
    EXPECT_EQ(bar.fill, 2);
    for (int step = 1; step <= 11; ++step) {
        bar.advance(11);
        EXPECT_EQ(bar.steps, step);
        EXPECT_EQ(bar.fill, 43 * step);
    }
    EXPECT_EQ(bar.fill, 473);
    // Past the last effect the fill is held inside the outline.
    bar.advance(11);
    EXPECT_EQ(bar.fill, 477);
    bar.advance(11);
    EXPECT_EQ(bar.steps, 12);
    EXPECT_EQ(bar.fill, 477);
}

TEST(LoadingBarProgress, FillStaysInsideTheOutline)
{
    LoadingBar many;
    many.advance(1000);  // 480 / 1000 = 0 pixels per step
    EXPECT_EQ(many.fill, 2);
    LoadingBar none;
    none.advance(0);  // no effects: nothing to divide by
    EXPECT_EQ(none.steps, 0);
    EXPECT_EQ(none.fill, 2);
    LoadingBar one;
    one.advance(1);
    EXPECT_EQ(one.fill, 477);
}
