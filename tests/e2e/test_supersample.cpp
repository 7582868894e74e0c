// --ssaa N end to end: a supersampled shot is the shot N times larger, box-filtered
// down (the bloom's and the depth of field's blurs, the overlays, the sprites and the
// satellites' levels of detail all as in the larger picture), in letterboxed and
// pillarboxed windows; a frame the GL cannot hold is refused before anything renders.
#include "picture_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The plain mean of each factor x factor block, rounded.
Picture boxFiltered(const Picture& large, int factor)
{
    Picture small{large.width / factor, large.height / factor, {}};
    small.rgb.resize(size_t(small.width) * size_t(small.height) * 3);
    for (int y = 0; y < small.height; ++y) {
        for (int x = 0; x < small.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy) {
                    for (int dx = 0; dx < factor; ++dx) {
                        sum += large.rgb[(size_t(y * factor + dy) * large.width + x * factor + dx) * 3 + c];
                    }
                }
                small.rgb[(size_t(y) * small.width + x) * 3 + c] = uint8_t((sum + factor * factor / 2) / (factor * factor));
            }
        }
    }
    return small;
}

int run(const std::string& arguments, const std::string& log)
{
    return std::system(("./coredemo --output none --fps 10 " + arguments + " >" + log + " 2>&1").c_str());
}

}  // namespace

TEST(Supersample, ShotIsTheLargerShotReduced)
{
    char name[] = "/tmp/core-ssaa-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string dir = name;
    const std::string log = dir + "/log.txt";
    // Depth of field (48 s), sprites and small type (86 s), the satellites (165 s).
    const std::vector<std::string> times = {"48", "86", "165"};
    struct Row {
        int width, height, factor;  // the window of the supersampled shot
        int pictureWidth, pictureHeight;
    } rows[] = {
        {640, 360, 2, 640, 360},  // the band fills the window
        {256, 200, 3, 256, 144},  // letterboxed
        {200, 90, 4, 160, 90},    // pillarboxed
    };
    for (const Row& row : rows) {
        const std::string size = std::to_string(row.width) + " x " + std::to_string(row.height) + " --ssaa " +
                                 std::to_string(row.factor);
        const std::string shots = " --shot 48,86,165 --out ";
        const std::string window = " --width " + std::to_string(row.width) + " --height " + std::to_string(row.height);
        const std::string large = " --width " + std::to_string(row.width * row.factor) + " --height " +
                                  std::to_string(row.height * row.factor);
        ASSERT_EQ(run(window + " --ssaa " + std::to_string(row.factor) + shots + dir + "/ssaa", log), 0)
            << readText(log);
        ASSERT_EQ(run(large + shots + dir + "/large", log), 0) << readText(log);
        ASSERT_EQ(run(window + shots + dir + "/plain", log), 0) << readText(log);
        for (const std::string& t : times) {
            Picture supersampled, larger, plain;
            ASSERT_TRUE(readPng(dir + "/ssaa/shot-" + t + ".png", supersampled)) << size << " at " << t;
            ASSERT_TRUE(readPng(dir + "/large/shot-" + t + ".png", larger)) << size << " at " << t;
            ASSERT_TRUE(readPng(dir + "/plain/shot-" + t + ".png", plain)) << size << " at " << t;
            EXPECT_EQ(supersampled.width, row.pictureWidth) << size;
            EXPECT_EQ(supersampled.height, row.pictureHeight) << size;
            ASSERT_EQ(larger.width, row.pictureWidth * row.factor) << size;
            const Picture reduced = boxFiltered(larger, row.factor);
            const double same = psnr(supersampled, reduced);
            // The larger shot's own pixels, reduced: nothing but a rounding apart.
            EXPECT_GE(same, 50.0) << size << " at " << t << " s";
            // And far nearer to it than the plain shot, whose edges are stair-stepped.
            EXPECT_GE(same, psnr(plain, reduced) + 10.0) << size << " at " << t << " s";
        }
    }
    // A capture takes its frames the same way: its first frame is the last row's shot at 86 s.
    const Row& last = rows[std::size(rows) - 1];
    ASSERT_EQ(run(" --width " + std::to_string(last.width) + " --height " + std::to_string(last.height) + " --ssaa " +
                      std::to_string(last.factor) + " --from 86 --to 86.1 --capture " + dir + "/frames",
                  log),
              0)
        << readText(log);
    Picture frame, shot;
    ASSERT_TRUE(readPng(dir + "/frames/frame-000000.png", frame));
    ASSERT_TRUE(readPng(dir + "/ssaa/shot-86.png", shot));
    EXPECT_EQ(frame.width, shot.width);
    EXPECT_TRUE(frame.rgb == shot.rgb) << "the captured frame is not the supersampled shot";
    std::filesystem::remove_all(dir);
}

// 4 x 9000 pixels is beyond any GL's largest render target today: one line on standard
// error, exit code 2, nothing rendered, and at once (before the archive's content loads).
TEST(Supersample, FrameTheGlCannotHoldIsRefused)
{
    char name[] = "/tmp/core-ssaa-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string dir = name;
    const std::string command = "./coredemo --output none --shot 10 --width 9000 --height 5063 --ssaa 4 --out " + dir +
                                "/shots >" + dir + "/out.txt 2>" + dir + "/err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string error = readText(dir + "/err.txt");
    EXPECT_EQ(error.rfind("coredemo: --ssaa 4", 0), 0u) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    EXPECT_FALSE(std::filesystem::exists(dir + "/shots/shot-10.png"));
    std::filesystem::remove_all(dir);
}

// The picture is laid out the same at every size: a 3840 x 2160 shot of the greetings
// over the finale, scaled down to 1024 x 576, matches the 1024 x 576 shot (what is
// left is the finer detail the large picture shows).
TEST(Supersample, FourKShotScaledDownMatchesTheDefaultSize)
{
    char name[] = "/tmp/core-ssaa-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string dir = name;
    const std::string log = dir + "/log.txt";
    ASSERT_EQ(run("--width 3840 --height 2160 --shot 180 --out " + dir + "/large", log), 0) << readText(log);
    ASSERT_EQ(run("--width 1024 --height 576 --shot 180 --out " + dir + "/small", log), 0) << readText(log);
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + dir + "/large/shot-180.png -vf scale=1024:576:flags=area " + dir +
                           "/scaled.png")
                              .c_str()),
              0);
    Picture scaled, small;
    ASSERT_TRUE(readPng(dir + "/scaled.png", scaled));
    ASSERT_TRUE(readPng(dir + "/small/shot-180.png", small));
    ASSERT_EQ(scaled.width, small.width);
    ASSERT_EQ(scaled.height, small.height);
    EXPECT_GE(psnr(scaled, small), 30.0);
    std::filesystem::remove_all(dir);
}
