// Golden frames: every part's chosen moments rendered by the shipped program at
// 256 x 144, on each kind of GL context, and compared with the references in
// tests/golden/ (table: moments.txt).
//
// Tolerance (picture_compare.h): the mean absolute difference per colour channel must
// stay at or below 1.5 (of 255), and at most 0.25% of the pixels (92 of 256 x 144) may
// differ by more than 32 in any channel. A failure writes
// <Part>-<time>-<context>-expected.png, -actual.png and -diff.png (differences amplified 4x) into
// build/golden-failures/.
#include "picture_compare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string goldenDir = std::string(CORE_SOURCE_DIR) + "/tests/golden";
const std::string failureDir = std::string(CORE_BINARY_DIR) + "/golden-failures";

struct Moment {
    std::string part;
    std::string time;  // as written in the table
};

std::vector<Moment> readMoments()
{
    std::vector<Moment> moments;
    std::ifstream table(goldenDir + "/moments.txt");
    std::string line;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream words(line);
        std::string part, time;
        words >> part;
        while (words >> time) {
            moments.push_back({part, time});
        }
    }
    return moments;
}

using Image = Picture;

void writePng(const std::string& path, const Image& image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr);
}

}  // namespace

// The measure itself, on made-up pictures: noise of one level passes; a square of
// 10 x 10 pixels moved elsewhere (a mean difference of 0.5, but 0.54% of the pixels far
// off) fails, and so does the whole picture 3 levels darker.
TEST(Golden, ToleranceTakesNoiseAndCatchesAMovedObject)
{
    Image base{256, 144, std::vector<uint8_t>(256 * 144 * 3, 60)};
    Image noisy = base, moved = base, darker = base, diff;
    for (size_t i = 0; i < noisy.rgb.size(); i += 7) {
        noisy.rgb[i] = uint8_t(noisy.rgb[i] + 1);
    }
    for (int y = 20; y < 30; ++y) {
        for (int x = 20; x < 30; ++x) {
            base.rgb[(size_t(y) * 256 + x) * 3] = 250;
            noisy.rgb[(size_t(y) * 256 + x) * 3] = 250;
            moved.rgb[(size_t(y) * 256 + x + 40) * 3] = 250;
        }
    }
    for (uint8_t& v : darker.rgb) {
        v = uint8_t(v - 3);
    }
    EXPECT_TRUE(withinGoldenTolerance(comparePictures(base, base, &diff)));
    EXPECT_TRUE(withinGoldenTolerance(comparePictures(base, noisy, &diff)));
    EXPECT_FALSE(withinGoldenTolerance(comparePictures(base, moved, &diff)));
    EXPECT_FALSE(withinGoldenTolerance(comparePictures(base, darker, &diff)));
}

// Every moment on each kind of GL context (--gl), each against the references; then the
// smallest PSNR between the compatibility context's shot and the others' is reported.
TEST(Golden, EveryPartLooksAsRecordedOnEveryContext)
{
    const std::vector<Moment> moments = readMoments();
    ASSERT_FALSE(moments.empty()) << "no moments in " << goldenDir << "/moments.txt";
    std::string list;
    for (const Moment& m : moments) {
        list += (list.empty() ? "" : ",") + m.time;
    }
    char dirName[] = "/tmp/core-golden-XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string dir = dirName;
    const char* const contexts[] = {"compat", "core", "es"};
    for (const char* context : contexts) {
        const std::string out = dir + "/" + context;
        mkdir(out.c_str(), 0755);
        const std::string command = "./coredemo --gl " + std::string(context) +
                                    " --width 256 --height 144 --fps 10 --output none --shot " + list + " --out " +
                                    out + " >" + out + "/log.txt 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    double smallest = 99.0;
    std::string where;
    for (const Moment& m : moments) {
        const std::string name = m.part + "-" + m.time;
        Image expected, compat;
        ASSERT_TRUE(readPng(goldenDir + "/" + name + ".png", expected))
            << name << ".png is missing: record it with scripts/golden-record.sh " << m.part;
        for (const char* context : contexts) {
            Image actual, diff;
            ASSERT_TRUE(readPng(dir + "/" + context + "/shot-" + m.time + ".png", actual)) << name << " " << context;
            ASSERT_EQ(actual.width, expected.width) << name;
            ASSERT_EQ(actual.height, expected.height) << name;
            const PictureDifference d = comparePictures(expected, actual, &diff);
            if (!withinGoldenTolerance(d)) {
                const std::string stem = failureDir + "/" + name + "-" + context;
                mkdir(failureDir.c_str(), 0755);
                writePng(stem + "-expected.png", expected);
                writePng(stem + "-actual.png", actual);
                writePng(stem + "-diff.png", diff);
                ADD_FAILURE() << name << " on " << context << ": mean absolute difference " << d.meanAbsolute[0]
                              << " / " << d.meanAbsolute[1] << " / " << d.meanAbsolute[2] << ", "
                              << d.farFraction * 100.0 << "% of the pixels far off; pictures in " << failureDir;
            }
            if (context == contexts[0]) {
                compat = actual;
            } else if (psnr(compat, actual) < smallest) {
                smallest = psnr(compat, actual);
                where = name + " (" + context + ")";
            }
        }
    }
    std::printf("smallest PSNR between contexts: %.1f dB%s\n", smallest, where.empty() ? "" : (" at " + where).c_str());
    std::system(("rm -rf '" + dir + "'").c_str());
}

// The hub's close-up against the bright courtyard at full size: the bloom over the sky
// must not burn the highlights away (at most 8% of the pixels pure white).
TEST(Golden, HubKeepsItsHighlights)
{
    char dirName[] = "/tmp/core-golden-XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string dir = dirName;
    const std::string command = "./coredemo --width 1024 --height 576 --output none --shot 30 --out " + dir + " >" + dir +
                                "/log.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    Image shot;
    ASSERT_TRUE(readPng(dir + "/shot-30.png", shot));
    size_t white = 0;
    for (size_t p = 0; p + 2 < shot.rgb.size(); p += 3) {
        white += (shot.rgb[p] == 255 && shot.rgb[p + 1] == 255 && shot.rgb[p + 2] == 255) ? 1 : 0;
    }
    EXPECT_LE(double(white) / double(shot.width * shot.height), 0.08) << white << " white pixels";
    std::system(("rm -rf '" + dir + "'").c_str());
}
