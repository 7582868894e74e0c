// Main window placement and pixel-format choice: pure arithmetic, no window.
#include "app/screen.h"

#include <gtest/gtest.h>

namespace {

platform::Rect rect(int left, int top, int right, int bottom)
{
    platform::Rect r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

const platform::Rect noFrame = rect(0, 0, 0, 0);

TEST(WindowPlacement, FullScreenSitsAtTheOriginWithTheChosenSize)
{
    WindowPlacement p = placeWindow(1024, 768, true, rect(0, 0, 1920, 1040), rect(4, 30, 4, 4));
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
}

TEST(WindowPlacement, WindowIsCentredOnTheWorkArea)
{
    WindowPlacement p = placeWindow(1024, 768, false, rect(0, 0, 1920, 1080), noFrame);
    EXPECT_EQ(p.x, 448);
    EXPECT_EQ(p.y, 156);
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
}

TEST(WindowPlacement, DecorationsGrowTheWindowAndShiftTheCentre)
{
    // Work area 1920 x 1040, frame 4 left/right/bottom and a 26-pixel title bar.
    WindowPlacement p = placeWindow(1024, 768, false, rect(0, 0, 1920, 1040), rect(4, 26, 4, 4));
    EXPECT_EQ(p.width, 1032);
    EXPECT_EQ(p.height, 798);
    EXPECT_EQ(p.x, (1920 - (1024 + 4)) / 2);  // 446
    EXPECT_EQ(p.y, (1040 - 798) / 2);         // 121
}

TEST(WindowPlacement, OddRemaindersRoundTowardZero)
{
    WindowPlacement p = placeWindow(1023, 767, false, rect(0, 0, 1920, 1080), noFrame);
    EXPECT_EQ(p.x, 448);  // 897 / 2
    EXPECT_EQ(p.y, 156);  // 313 / 2
    // A frame that overhangs a barely larger area gives a small negative offset.
    WindowPlacement q = placeWindow(1000, 700, false, rect(0, 0, 1001, 701), rect(3, 3, 3, 3));
    EXPECT_EQ(q.x, -1);  // (1001 - 1003) / 2
    EXPECT_EQ(q.y, -2);  // (701 - 706) / 2 = -2.5 -> -2
}

TEST(WindowPlacement, AnAxisThatDoesNotFitStartsAtTheEdge)
{
    // As wide as the work area: x = 0; taller: y = 0; each axis on its own.
    WindowPlacement p = placeWindow(1920, 600, false, rect(0, 0, 1920, 1080), noFrame);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 240);
    WindowPlacement q = placeWindow(800, 1200, false, rect(0, 0, 1920, 1080), noFrame);
    EXPECT_EQ(q.x, 560);
    EXPECT_EQ(q.y, 0);
    WindowPlacement r = placeWindow(2560, 1440, false, rect(0, 0, 1920, 1080), rect(2, 20, 2, 2));
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 2564);
    EXPECT_EQ(r.height, 1462);
}

TEST(WindowPlacement, WorkAreaAwayFromTheCorner)
{
    // A panel on the left (64 px) and one at the top (32 px).
    WindowPlacement p = placeWindow(800, 600, false, rect(64, 32, 1920, 1080), noFrame);
    EXPECT_EQ(p.x, 64 + (1856 - 800) / 2);
    EXPECT_EQ(p.y, 32 + (1048 - 600) / 2);
    WindowPlacement q = placeWindow(1900, 1060, false, rect(64, 32, 1920, 1080), noFrame);
    EXPECT_EQ(q.x, 64);
    EXPECT_EQ(q.y, 32);
}

TEST(PixelFormatChoice, FirstCandidateWithTheSampleCountWins)
{
    std::vector<PixelFormatCandidate> list = {{0x41, 0}, {0x60, 4}, {0x61, 4}, {0x70, 8}, {0x42, 0}};
    EXPECT_EQ(choosePixelFormat(list, 4), 1);
    EXPECT_EQ(choosePixelFormat(list, 8), 3);
    EXPECT_EQ(choosePixelFormat(list, 0), 0);
    EXPECT_EQ(choosePixelFormat(list, 16), -1);
    EXPECT_EQ(choosePixelFormat({}, 0), -1);
    EXPECT_EQ(choosePixelFormat({{7, 0}}, 2), -1);
}

}  // namespace
