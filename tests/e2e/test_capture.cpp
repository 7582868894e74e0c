// --capture end to end: a short video with the music muxed in, and a PNG sequence.
#include "picture_png.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string makeTempDir() { return ::makeTempDir("core-capture"); }

// ffprobe's value of `entry` for the first stream of `kind` ("v" or "a"), "" if none;
// with `count`, the frames are decoded and counted (entry nb_read_frames).
std::string probe(const std::string& file, const char* kind, const char* entry, bool count = false)
{
    const std::string command = std::string("ffprobe -v error") + (count ? " -count_frames" : "") +
                                " -select_streams " + kind + ":0 -show_entries stream=" + entry +
                                " -of default=noprint_wrappers=1:nokey=1 '" + file + "'";
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

// The seconds of sound a video decodes to, counted in samples at its own rate.
double soundSeconds(const std::string& file)
{
    const double rate = std::atof(probe(file, "a", "sample_rate").c_str());
    const std::string command = "ffmpeg -v error -i '" + file + "' -map 0:a -f f32le -ac 1 - | wc -c";
    FILE* pipe = popen(command.c_str(), "r");
    long bytes = 0;
    if (!pipe || std::fscanf(pipe, "%ld", &bytes) != 1) {
        bytes = 0;
    }
    if (pipe) {
        pclose(pipe);
    }
    return rate > 0 ? double(bytes) / sizeof(float) / rate : 0.0;
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
    std::filesystem::remove_all(dir);
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
    std::filesystem::remove_all(dir);
}

// Every accepted frame rate fills every container with exactly the span's frames and
// the span's music, also where the encoder wants more music at a time than a frame
// brings (a FLAC block is 4608 samples, over a tenth of a second). The span starts a
// chain: no frames to replay before it. `timeout` ends a run that hangs.
TEST(Capture, EveryRateFillsEveryContainerWithTheSpan)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string log = dir + "/log.txt";
    const struct {
        int fps;
        const char* out;  // a video, or a folder of pictures
    } rows[] = {{30, "mkv"},  {30, "mp4"},   {120, "mkv"},  {120, "mp4"}, {240, "mkv"},
                {240, "mp4"}, {1000, "mkv"}, {1000, "mp4"}, {240, "frames"}};
    for (const auto& row : rows) {
        const std::string name = std::to_string(row.fps) + " fps into " + row.out;
        const std::string out = dir + "/" + std::to_string(row.fps) + "." + row.out;
        const std::string command = "timeout -k 2 45 ./coredemo --capture " + out + " --fps " +
                                    std::to_string(row.fps) + " --from 39 --to 39.3 --width 320 --height 180 >" +
                                    log + " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << name << "\n" << readText(log);
        const int frames = row.fps * 3 / 10;
        if (std::string(row.out) == "frames") {
            int files = 0;
            for (const auto& entry : std::filesystem::directory_iterator(out)) {
                files += entry.path().extension() == ".png";
            }
            EXPECT_EQ(files, frames) << name;
            continue;
        }
        EXPECT_EQ(probe(out, "v", "nb_read_frames", true), std::to_string(frames)) << name;
        // AAC pads its last block of 1024 samples; FLAC keeps every sample.
        const double slack = std::string(row.out) == "mp4" ? 1024.0 / 44100 + 0.0001 : 0.0001;
        EXPECT_NEAR(soundSeconds(out), 0.3, slack) << name;
    }
    std::filesystem::remove_all(dir);
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
    std::filesystem::remove_all(dir);
}

namespace {

// The program run in the background with its output in `log`; `tools`, when given, is
// a folder searched first for the programs it starts.
pid_t startProgram(const std::string& arguments, const std::string& log, const std::string& tools = "")
{
    const std::string path = tools.empty() ? "" : "PATH='" + tools + "':\"$PATH\" ";
    const std::string command = path + "exec ./coredemo " + arguments + " >" + log + " 2>&1";
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

bool waitForText(const std::string& log, const std::string& text, int seconds)
{
    for (int i = 0; i < seconds * 20; ++i) {
        if (readText(log).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Sends `signal` and waits: the exit code, or -1 when the program did not exit by itself
// (killed after half a minute); `seconds`, when given, gets how long it took.
int stopProgram(pid_t pid, int signal, double* seconds = nullptr)
{
    const auto start = std::chrono::steady_clock::now();
    kill(pid, signal);
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 3000 && done == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        done = waitpid(pid, &status, WNOHANG);
    }
    if (seconds) {
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The program's children.
std::vector<pid_t> childrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    std::istringstream list(readText("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children"));
    for (pid_t child; list >> child;) {
        children.push_back(child);
    }
    return children;
}

// The files the process and its children have open, and the children's command lines.
std::vector<std::string> openFilesAndArguments(pid_t pid)
{
    std::vector<std::string> found;
    std::vector<std::string> pids = {std::to_string(pid)};
    for (pid_t process : childrenOf(pid)) {
        const std::string child = std::to_string(process);
        pids.push_back(child);
        std::string arguments = readText("/proc/" + child + "/cmdline");
        for (char& c : arguments) {
            c = c == '\0' ? ' ' : c;
        }
        found.push_back(arguments);
    }
    for (const std::string& p : pids) {
        std::error_code error;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/" + p + "/fd", error)) {
            found.push_back(std::filesystem::read_symlink(fd.path(), error).string());
        }
    }
    return found;
}

// Every frame ffmpeg decodes from `input` as 8-bit RGB, one after the other.
std::string rgbFrames(const std::string& input)
{
    const std::string command = "ffmpeg -v error -i '" + input + "' -map 0:v -f rawvideo -pix_fmt rgb24 -";
    std::string bytes;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return bytes;
    }
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        bytes.append(buffer, n);
    }
    pclose(pipe);
    return bytes;
}

}  // namespace

// SIGTERM (or SIGINT) stops an offline run at the next frame, replayed or not. A video
// keeps the frames rendered so far, and its music ends with them; while it ran, neither
// the program nor its encoder held a file in /tmp outside the capture's own folder, so a
// SIGKILL would leave nothing behind either.
TEST(Capture, InterruptedRunsStopAtTheNextFrameAndKeepWhatTheyRendered)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string log = dir + "/log.txt";

    const std::string video = dir + "/cut.mp4";
    pid_t pid = startProgram("--capture " + video + " --fps 25 --from 30 --to 50 --width 320 --height 180", log);
    ASSERT_TRUE(waitForText(log, "capture: frame 100/500", 300)) << readText(log);
    for (const std::string& file : openFilesAndArguments(pid)) {
        // The checkout itself may live under /tmp (a CI clone): its files are no leftovers.
        const bool ours = file.find(dir) != std::string::npos || file.rfind(CORE_BINARY_DIR, 0) == 0 ||
                          file.rfind(CORE_SOURCE_DIR, 0) == 0;
        if (file.find("/tmp/") != std::string::npos && !ours) {
            ADD_FAILURE() << "uses " << file;
        }
    }
    EXPECT_EQ(stopProgram(pid, SIGTERM), 1) << readText(log);
    EXPECT_NE(readText(log).find("interrupted"), std::string::npos) << readText(log);
    const int frames = std::atoi(probe(video, "v", "nb_frames").c_str());
    EXPECT_GE(frames, 100);
    EXPECT_LT(frames, 500);
    const double seconds = std::atof(probe(video, "v", "duration").c_str());
    EXPECT_NEAR(seconds, frames / 25.0, 0.01);
    EXPECT_NEAR(std::atof(probe(video, "a", "duration").c_str()), seconds, 0.05) << "the music outlasts the frames";

    // The second shot replays its part from 0 s: about 1200 frames before 38.9 s.
    pid = startProgram("--shot 10,38.9 --width 320 --height 180 --out " + dir, log);
    ASSERT_TRUE(waitForText(log, "shot 1/2", 300)) << readText(log);
    EXPECT_EQ(stopProgram(pid, SIGTERM), 1) << readText(log);
    EXPECT_FALSE(std::filesystem::exists(dir + "/shot-38.9.png")) << "the replay ran on to the shot";
    std::system(("rm -rf '" + dir + "'").c_str());
}

// A stop ends a capture within a second at any moment, also while the encoder takes in
// nothing at all (an `ffmpeg` that only sleeps: the program waits for room in its pipe),
// and leaves no encoder behind; a real 1000 fps capture stops as fast, keeping the
// frames the encoder finished with their music.
TEST(Capture, StopEndsTheCaptureWithinASecondEvenWhenTheEncoderStopsReading)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string log = dir + "/log.txt";
    std::filesystem::create_directories(dir + "/tools");
    {
        std::ofstream fake(dir + "/tools/ffmpeg");
        fake << "#!/bin/sh\nexec sleep 1000\n";
    }
    std::filesystem::permissions(dir + "/tools/ffmpeg", std::filesystem::perms::owner_all);

    // Ten frames: each is a tenth, so each is reported. The first fills the pipe, the
    // second waits for it: the program is stuck once the first is reported.
    pid_t pid = startProgram("--capture " + dir + "/stuck.mkv --fps 30 --from 39 --to 39.34 --width 320 --height 180",
                             log, dir + "/tools");
    ASSERT_TRUE(waitForText(log, "capture: frame 1/10", 60)) << readText(log);
    const std::vector<pid_t> encoders = childrenOf(pid);
    ASSERT_EQ(encoders.size(), 1u) << readText(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double seconds = 0.0;
    EXPECT_EQ(stopProgram(pid, SIGTERM, &seconds), 1) << readText(log);
    EXPECT_LT(seconds, 1.5) << "the stop took that long";
    EXPECT_NE(readText(log).find("interrupted"), std::string::npos) << readText(log);
    EXPECT_EQ(readText(log).find("capture: frame 2/10"), std::string::npos) << "the encoder read after all";
    EXPECT_NE(kill(-encoders[0], 0), 0) << "the encoder's process group outlived the program";
    kill(-encoders[0], SIGKILL);

    const std::string video = dir + "/fast.mkv";
    pid = startProgram("--capture " + video + " --fps 1000 --from 39 --to 40 --width 320 --height 180", log);
    ASSERT_TRUE(waitForText(log, "capture: frame 100/1000", 60)) << readText(log);
    EXPECT_EQ(stopProgram(pid, SIGTERM, &seconds), 1) << readText(log);
    EXPECT_LT(seconds, 2.0) << "the stop took that long";
    const int frames = std::atoi(probe(video, "v", "nb_read_frames", true).c_str());
    EXPECT_GE(frames, 100) << readText(log);
    EXPECT_LT(frames, 1000) << readText(log);
    EXPECT_NEAR(soundSeconds(video), frames / 1000.0, 0.0001) << "the music does not end with the frames";
    std::filesystem::remove_all(dir);
}

// The lossless master: an .mkv holds FFV1 frames that decode to the very pixels of the
// PNG pictures of the same span (an odd band, 322 x 181, is kept whole) and FLAC sound
// of the span's length; an .mp4 is encoded at the quality --crf asks for (x264 writes
// its settings into the stream).
TEST(Capture, MasterIsLosslessAndTheMp4TakesItsQuality)
{
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string span = " --fps 30 --from 30 --to 30.5 --width 322 --height 200 >" + dir + "/log.txt 2>&1";
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/master.mkv" + span).c_str()), 0)
        << readText(dir + "/log.txt");
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/frames" + span).c_str()), 0)
        << readText(dir + "/log.txt");
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/low.mp4 --crf 40" + span).c_str()), 0)
        << readText(dir + "/log.txt");

    const std::string master = dir + "/master.mkv";
    EXPECT_EQ(probe(master, "v", "codec_name"), "ffv1");
    EXPECT_EQ(probe(master, "v", "width"), "322");
    EXPECT_EQ(probe(master, "v", "height"), "181");
    EXPECT_EQ(probe(master, "a", "codec_name"), "flac");
    const std::string pictures = rgbFrames(dir + "/frames/frame-%06d.png");
    const std::string video = rgbFrames(master);
    ASSERT_EQ(pictures.size(), size_t(322 * 181 * 3 * 15));
    EXPECT_EQ(video.size(), pictures.size()) << "frames in the master";
    EXPECT_TRUE(video == pictures) << "the master's frames differ from the pictures";
    EXPECT_NEAR(soundSeconds(master), 0.5, 0.005) << "half a second of sound";

    EXPECT_EQ(probe(dir + "/low.mp4", "v", "codec_name"), "h264");
    EXPECT_NE(readText(dir + "/low.mp4").find("crf=40.0"), std::string::npos) << "x264 was not asked for --crf 40";

    // Supersampled, the encoder gets the same reduced pictures as the picture files.
    const std::string sampled = " --fps 10 --from 86 --to 86.3 --width 320 --height 180 --ssaa 2 >" + dir + "/log.txt 2>&1";
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/sampled.mkv" + sampled).c_str()), 0)
        << readText(dir + "/log.txt");
    ASSERT_EQ(std::system(("./coredemo --capture " + dir + "/sampled" + sampled).c_str()), 0)
        << readText(dir + "/log.txt");
    const std::string sampledPictures = rgbFrames(dir + "/sampled/frame-%06d.png");
    ASSERT_EQ(sampledPictures.size(), size_t(320 * 180 * 3 * 3));
    EXPECT_TRUE(rgbFrames(dir + "/sampled.mkv") == sampledPictures) << "the supersampled master differs";
    std::system(("rm -rf '" + dir + "'").c_str());
}
