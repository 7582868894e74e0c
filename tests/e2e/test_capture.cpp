// --capture end to end: a short video with the music muxed in, and a PNG sequence.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string makeTempDir()
{
    char path[] = "/tmp/core-capture-XXXXXX";
    return mkdtemp(path) ? path : "";
}

std::string readText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// ffprobe's value of `entry` for the first stream of `kind` ("v" or "a"), "" if none.
std::string probe(const std::string& file, const char* kind, const char* entry)
{
    const std::string command = std::string("ffprobe -v error -select_streams ") + kind + ":0 -show_entries stream=" +
                                entry + " -of default=noprint_wrappers=1:nokey=1 '" + file + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return "";
    }
    char buffer[256] = {};
    std::string out;
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        out += buffer;
    }
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

}  // namespace

// Two seconds from 30 s (after the warm-up from the part's start at 18 s), 25 fps.
TEST(Capture, TwoSecondVideoHasVideoAndAudioOfThatLength)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string video = dir + "/two.mp4";
    const std::string log = dir + "/log.txt";
    const std::string command =
        "./coredemo --capture " + video + " --fps 25 --from 30 --to 32 >" + log + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(log);
    EXPECT_NE(readText(log).find("capture: frame 50/50"), std::string::npos) << readText(log);

    EXPECT_EQ(probe(video, "v", "codec_name"), "h264");
    EXPECT_EQ(probe(video, "v", "width"), "1024");
    EXPECT_EQ(probe(video, "v", "height"), "576");
    EXPECT_EQ(probe(video, "v", "nb_frames"), "50");
    EXPECT_NEAR(std::atof(probe(video, "v", "duration").c_str()), 2.0, 0.05);
    EXPECT_EQ(probe(video, "a", "codec_name"), "aac");
    EXPECT_NEAR(std::atof(probe(video, "a", "duration").c_str()), 2.0, 0.1);
}

TEST(Capture, FolderGetsNumberedPngs)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string frames = dir + "/frames";
    const std::string log = dir + "/log.txt";
    const std::string command = "./coredemo --capture " + frames + " --fps 10 --from 0 --to 0.5 --width 320 "
                                "--height 180 >" + log + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(log);
    for (int i = 0; i < 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06d.png", i);
        EXPECT_TRUE(std::filesystem::exists(frames + name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(frames + "/frame-000005.png"));
}

namespace {

// The mean grey level of every frame ffmpeg decodes from `input` (a video, or a
// numbered PNG pattern), in order.
std::vector<double> frameMeans(const std::string& input, int width, int height)
{
    const std::string command = "ffmpeg -v error -i '" + input + "' -f rawvideo -pix_fmt gray -";
    std::vector<double> means;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return means;
    }
    std::vector<unsigned char> frame(size_t(width) * size_t(height));
    while (std::fread(frame.data(), 1, frame.size(), pipe) == frame.size()) {
        double sum = 0.0;
        for (unsigned char v : frame) {
            sum += v;
        }
        means.push_back(sum / double(frame.size()));
    }
    pclose(pipe);
    return means;
}

}  // namespace

// The fade into white that ends the strands brightens every frame by about a tenth of
// the range: a video whose frames were dropped, repeated or swapped on their way to the
// encoder would not follow the frames the same span writes as pictures.
TEST(Capture, VideoFramesAreThePicturesInOrder)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string span = " --fps 30 --from 133.53 --to 133.86 --width 320 --height 180 >" + dir + "/log.txt 2>&1";
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/fade.mp4" + span).c_str()), 0)
        << readText(dir + "/log.txt");
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/frames" + span).c_str()), 0)
        << readText(dir + "/log.txt");

    const std::vector<double> pictures = frameMeans(dir + "/frames/frame-%06d.png", 320, 180);
    const std::vector<double> video = frameMeans(dir + "/fade.mp4", 320, 180);
    ASSERT_EQ(pictures.size(), 10u);
    ASSERT_EQ(video.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(pictures[i], pictures[i - 1] + 8.0) << "the span no longer brightens frame by frame at " << i;
        }
        EXPECT_NEAR(video[i], pictures[i], 2.0) << "video frame " << i;
    }
}
