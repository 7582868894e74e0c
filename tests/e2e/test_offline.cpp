// Offline rendering end to end: the program's own start-up and --shot path, once with
// test parts that fill the band with known colours (set through the Core's test hook
// before runApplication) and once as the shipped program.
#include "app/app.h"
#include "core/core.h"
#include "core/offline.h"
#include "core/timeline.h"
#include "effects/effect.h"
#include "effects/phalanx.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "resources/loader.h"
#include "picture_png.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string makeTempDir() { return ::makeTempDir("core-offline"); }

void expectColour(const std::array<float, 3>& actual, float r, float g, float b, const char* what)
{
    EXPECT_NEAR(actual[0], r, 0.015f) << what;
    EXPECT_NEAR(actual[1], g, 0.015f) << what;
    EXPECT_NEAR(actual[2], b, 0.015f) << what;
}

// Dim colours (luminance well under the bloom threshold of about 0.5) for the first two
// slots, so that the bright pass keeps nothing of them.
constexpr float first[3] = {0.6f, 0.1f, 0.1f};
constexpr float second[3] = {0.1f, 0.3f, 0.6f};

std::vector<float> squareTimes;  // local times slot 2 was rendered at

// Slot 0 and 1 fill the band; slot 2 draws a small white square on black (bloom test);
// the others draw nothing.
class TestPart : public Effect {
public:
    explicit TestPart(int slot) : slot(slot) {}
    int init() override { return 0; }
    void render(float localTime) override
    {
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        gpu::setTexturing(false);
        if (slot == 0) {
            gpu::color(first[0], first[1], first[2]);
            gpu::rect(-1, -1, 1, 1);
        } else if (slot == 1) {
            gpu::color(second[0], second[1], second[2]);
            gpu::rect(-1, -1, 1, 1);
        } else if (slot == 2) {
            squareTimes.push_back(localTime);
            gpu::color(1, 1, 1);
            gpu::rect(-0.1f, -0.1f, 0.1f, 0.1f);
        }
    }
    int slot;
};

Effect* makeTestPart(int slot) { return new TestPart(slot); }

}  // namespace

TEST(Offline, TestPartsThroughTheWholeChain)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    core.effectMaker = makeTestPart;
    core.spectrum = false;  // colours without the music's flash
    std::vector<std::string> args = {"coredemo", "--shot", "1,18.5,45,196", "--out", dir, "--width", "320",
                                     "--height", "240"};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    ASSERT_EQ(runApplication(int(argv.size()), argv.data()), 0);

    Picture one, mix, bloom, end;
    ASSERT_TRUE(readPng(dir + "/shot-1.png", one));
    ASSERT_TRUE(readPng(dir + "/shot-18.5.png", mix));
    ASSERT_TRUE(readPng(dir + "/shot-45.png", bloom));
    ASSERT_TRUE(readPng(dir + "/shot-196.png", end));
    EXPECT_EQ(one.width, 320);
    EXPECT_EQ(one.height, 180);  // the 16:9 band only

    // 1 s: the first colour under a black wash of 0.5.
    expectColour(one.centre(), first[0] * 0.5f, first[1] * 0.5f, first[2] * 0.5f, "1 s");
    // 18.5 s: the mixer's blend at 0.25 of the first two colours.
    expectColour(mix.centre(), first[0] * 0.75f + second[0] * 0.25f, first[1] * 0.75f + second[1] * 0.25f,
                 first[2] * 0.75f + second[2] * 0.25f, "18.5 s");
    expectColour(mix.at(5, 5), first[0] * 0.75f + second[0] * 0.25f, first[1] * 0.75f + second[1] * 0.25f,
                 first[2] * 0.75f + second[2] * 0.25f, "18.5 s, corner of the band");
    // 45 s: the white square glows beyond its edge (the square spans 32 x 18 pixels).
    expectColour(bloom.centre(), 1, 1, 1, "45 s, the square");
    const auto glow = bloom.at(bloom.width / 2 + 22, bloom.height / 2);
    EXPECT_GT(glow[0], 0.02f) << "bloom next to the square";
    expectColour(bloom.at(3, 3), 0, 0, 0, "45 s, far corner");
    // 196 s: nothing is scheduled.
    expectColour(end.centre(), 0, 0, 0, "196 s");

    // Before the 45 s shot the part ran from its start (39 s) on the 30 fps grid, then
    // at 45 s itself.
    ASSERT_EQ(squareTimes.size(), 181u);
    EXPECT_FLOAT_EQ(squareTimes.front(), 0.0f);
    for (size_t i = 1; i < squareTimes.size(); ++i) {
        EXPECT_NEAR(squareTimes[i] - squareTimes[i - 1], 1.0f / 30.0f, 1e-4f) << i;
    }
    EXPECT_FLOAT_EQ(squareTimes.back(), 6.0f);
}

// The flash's spectrum depends only on the time asked for, not on what was asked before.
TEST(Offline, MusicSpectrumIsAFunctionOfTime)
{
    if (!loader.opened) {
        loader.open("data.zip");
    }
    ASSERT_TRUE(loader.opened);
    std::vector<float> a(musicSpectrumAt(30.0f), musicSpectrumAt(30.0f) + 512);
    musicSpectrumAt(120.0f);
    musicSpectrumAt(2.0f);
    std::vector<float> b(musicSpectrumAt(30.0f), musicSpectrumAt(30.0f) + 512);
    EXPECT_EQ(a, b);
    float loudest = 0.0f;
    for (int ms = 20000; ms < 24000; ms += 50) {
        const float* bins = musicSpectrumAt(ms / 1000.0f);
        for (int k = 0; k < 512; ++k) {
            ASSERT_GE(bins[k], 0.0f);
            ASSERT_LE(bins[k], 1.0f);
            loudest = std::max(loudest, bins[k]);
        }
    }
    EXPECT_GT(loudest, 0.01f) << "the music is audible in the spectrum";
}

TEST(Offline, ShippedProgramWritesOneShotPerTime)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string log = dir + "/log.txt";
    const std::string command = "./coredemo --shot 10,30 --out " + dir + " >" + log + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(log);
    for (const char* name : {"/shot-10.png", "/shot-30.png"}) {
        Picture p;
        ASSERT_TRUE(readPng(dir + name, p)) << name;
        EXPECT_EQ(p.width, 1024) << name;
        EXPECT_EQ(p.height, 576) << name;
    }
    const std::string text = readText(log);
    EXPECT_NE(text.find("shot 1/2"), std::string::npos) << text;
    EXPECT_NE(text.find("shot 2/2"), std::string::npos) << text;
}

TEST(Offline, FileNamesAndFrameCounts)
{
    EXPECT_EQ(shotFileName(10.0f), "shot-10.png");
    EXPECT_EQ(shotFileName(18.5f), "shot-18.5.png");
    EXPECT_EQ(shotFileName(0.25f), "shot-0.25.png");
    // Distinct times never share a name, however close.
    EXPECT_EQ(shotFileName(57.00001f), "shot-57.00001.png");
    for (float t : {57.0f, 0.1f, 196.99f, 1e-3f}) {
        const float next = std::nextafter(t, 1000.0f);
        EXPECT_NE(shotFileName(t), shotFileName(next)) << t;
        EXPECT_EQ(std::strtof(shotFileName(next).substr(5).c_str(), nullptr), next);
    }
    EXPECT_TRUE(isVideoPath("out/demo.mp4"));
    EXPECT_TRUE(isVideoPath("DEMO.MKV"));
    EXPECT_FALSE(isVideoPath("frames"));
    EXPECT_FALSE(isVideoPath("a.png"));
    EXPECT_EQ(captureFrameCount(0.0f, 2.0f, 30), 60);
    EXPECT_EQ(captureFrameCount(0.0f, 197.0f, 30), 5910);
    EXPECT_EQ(captureFrameCount(5.0f, 5.0f, 30), 0);
    EXPECT_EQ(captureFrameCount(1.0f, 1.1f, 30), 3);
    // Spans that meet share their boundary frame, so they join without a gap or overlap.
    EXPECT_EQ(captureFrameCount(0.0f, 65.7f, 30) + captureFrameCount(65.7f, 131.3f, 30) +
                  captureFrameCount(131.3f, 197.0f, 30),
              5910);
    EXPECT_EQ(firstCaptureFrame(57.0f, 30), 1710);
    EXPECT_EQ(firstCaptureFrame(65.7f, 30), 1971);
}

// The demo's schedule falls into chains of overlapping spans; spans that only touch
// (one ends where the next starts) are separate chains.
TEST(Offline, ChainsOfOverlappingEntries)
{
    std::vector<ScheduleEntry> entries(demoSlotCount);
    for (int i = 0; i < demoSlotCount; ++i) {
        entries[size_t(i)].startTime = demoSchedule[i].startTime;
        entries[size_t(i)].endTime = demoSchedule[i].endTime;
    }
    struct Row {
        float time, start, end;
    } rows[] = {{0.0f, 0.0f, 39.0f},     {19.0f, 0.0f, 39.0f},   {38.99f, 0.0f, 39.0f}, {39.0f, 39.0f, 77.0f},
                {62.0f, 39.0f, 77.0f},   {77.0f, 77.0f, 96.0f},  {150.0f, 134.0f, 153.0f},
                {153.0f, 153.0f, 195.0f}, {190.0f, 153.0f, 195.0f}, {194.9f, 153.0f, 195.0f}};
    for (const Row& row : rows) {
        const ChainSpan chain = chainAt(entries.data(), unsigned(entries.size()), row.time);
        EXPECT_EQ(chain.start, row.start) << row.time;
        EXPECT_EQ(chain.end, row.end) << row.time;
    }
    EXPECT_FALSE(chainAt(entries.data(), unsigned(entries.size()), 196.0f).valid());
    EXPECT_FALSE(chainAt(entries.data(), 0, 10.0f).valid());
    // An entry that starts inside a chain's later member joins it too, in any order.
    std::vector<ScheduleEntry> shuffled(3);
    shuffled[0].startTime = 20.0f, shuffled[0].endTime = 30.0f;
    shuffled[1].startTime = 0.0f, shuffled[1].endTime = 10.0f;
    shuffled[2].startTime = 5.0f, shuffled[2].endTime = 25.0f;
    const ChainSpan joined = chainAt(shuffled.data(), 3, 2.0f);
    EXPECT_EQ(joined.start, 0.0f);
    EXPECT_EQ(joined.end, 30.0f);
}

// The grid: frame k at N fps is k / N whatever the capture started at, and the first
// frame of a chain is the first grid time not before its start.
TEST(Offline, GridFramesAreTheSameFromAnyStart)
{
    struct Row {
        int fps;
        float time;
        int64_t first;
    } rows[] = {{30, 39.0f, 1170}, {30, 57.0f, 1710}, {24, 39.0f, 936}, {7, 39.0f, 273},
                {30, 0.01f, 1},    {60, 188.0f, 11280}, {30, 62.0f, 1860}};
    for (const Row& row : rows) {
        const int64_t k = firstGridFrame(row.time, row.fps);
        EXPECT_EQ(k, row.first) << row.fps << " fps at " << row.time;
        EXPECT_GE(gridTime(k, row.fps), row.time);
        EXPECT_LT(gridTime(k - 1, row.fps), row.time);
    }
    EXPECT_EQ(gridTime(1860, 30), 62.0f);
    EXPECT_EQ(gridTime(firstCaptureFrame(57.0f, 30) + 150, 30), gridTime(1860, 30));
}

// A frame depends only on its time and the frame rate: shots in any order, after shots
// later in the same chain or in other chains, and a capture's frame at the same time
// show identical pixels. One time in each chain of the schedule.
TEST(Offline, FramesDoNotDependOnWhatWasRenderedBefore)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string size = " --width 256 --height 144 ";
    const std::vector<std::string> times = {"30", "62", "85", "105", "125", "140", "189"};
    struct Run {
        std::string folder, shots;
    } runs[] = {{dir + "/forward", "30,62,85,105,125,140,189"},
                {dir + "/backward", "192,189,150,140,130,125,112,105,95,85,75,62,38,30"}};
    for (const Run& run : runs) {
        const std::string command =
            "./coredemo" + size + "--shot " + run.shots + " --out " + run.folder + " >" + dir + "/log.txt 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << readText(dir + "/log.txt");
    }
    const std::string capture = "./coredemo" + size + "--capture " + dir + "/frames --from 61.9 --to 62.05 >" + dir +
                                "/log.txt 2>&1";
    ASSERT_EQ(std::system(capture.c_str()), 0) << readText(dir + "/log.txt");

    for (const std::string& t : times) {
        Picture forward, backward;
        ASSERT_TRUE(readPng(runs[0].folder + "/shot-" + t + ".png", forward)) << t;
        ASSERT_TRUE(readPng(runs[1].folder + "/shot-" + t + ".png", backward)) << t;
        EXPECT_TRUE(forward.rgb == backward.rgb) << "shot at " << t << " s differs with another history";
    }
    Picture shot, frame;
    ASSERT_TRUE(readPng(runs[0].folder + "/shot-62.png", shot));
    ASSERT_TRUE(readPng(dir + "/frames/frame-000003.png", frame));  // 1857 + 3 = frame 1860 at 30 fps
    EXPECT_TRUE(shot.rgb == frame.rgb) << "the capture's frame at 62 s differs from the shot";
    long sum = 0;
    for (uint8_t v : shot.rgb) {
        sum += v;
    }
    EXPECT_GT(sum, long(shot.rgb.size()) * 5) << "the frame at 62 s shows the blobs, not black";
    std::system(("rm -rf '" + dir + "'").c_str());
}

// Replays write nothing twice: shots in one chain replay its frames from the chain's
// start for each shot, yet the log holds each of Phalanx's cuts once, in the order and
// with the eyes of one pass through the part, whatever order the shots come in.
TEST(Offline, LogReadsAsOnePassThroughTheDemo)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    std::vector<std::string> cuts[2];
    const char* orders[2] = {"80,85,90,95", "95,80,90,85"};
    for (int run = 0; run < 2; ++run) {
        const std::string folder = dir + "/run" + std::to_string(run);
        const std::string command = "mkdir -p " + folder + " && cd " + folder + " && " + CORE_BINARY_DIR +
                                    "/coredemo --data " + CORE_BINARY_DIR + "/data.zip --log --width 256 --height 144 "
                                    "--shot " + orders[run] + " --out . >out.txt 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << readText(folder + "/out.txt");
        std::istringstream log(readText(folder + "/Core.log"));
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("time:", 0) == 0) {
                cuts[run].push_back(line);
            }
        }
    }
    // From 77 s to 95 s: a cut on the first 30 fps frame more than 3.3 s after the
    // last, through the five eyes in their order.
    ASSERT_EQ(cuts[0].size(), 5u) << ::testing::PrintToString(cuts[0]);
    float last = 0.0f;
    for (size_t i = 0; i < cuts[0].size(); ++i) {
        float t = 0.0f, x = 0.0f;
        ASSERT_EQ(std::sscanf(cuts[0][i].c_str(), "time: %f x: %f", &t, &x), 2) << cuts[0][i];
        EXPECT_GE(t - last, 3.3f - 1e-3f) << cuts[0][i];
        EXPECT_LE(t - last, 3.3f + 1.0f / 30.0f + 1e-3f) << cuts[0][i];
        EXPECT_NEAR(x, phalanxEyes[i][0], 1e-3f) << cuts[0][i];
        last = t;
    }
    EXPECT_EQ(cuts[1], cuts[0]) << "another order of the shots";
    std::system(("rm -rf '" + dir + "'").c_str());
}
