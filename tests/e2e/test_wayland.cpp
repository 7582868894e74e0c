// The program on Wayland: a Weston compositor nested in the test's X display (its x11
// back end; the headless one offers SDL no seat), and every run of the program without
// an X display at all (SDL_VIDEODRIVER=wayland, DISPLAY unset). A shot matches the X11
// shot of the same moment within the golden tolerance; the demo plays, captures, goes
// full screen and multisampled, and its dialog works; each --gl kind is made (the GL
// tests of contexts and of the GUI renderer, run on Wayland).
//
// Exits 77 (skipped) only when Weston cannot start at all: no X display to nest in,
// no weston program, or a compositor that never opens its socket.
#include "picture_compare.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string binary = CORE_BINARY_DIR;

struct Compositor {
    pid_t pid = -1;
    std::string runtimeDir;  // XDG_RUNTIME_DIR: private, 0700
    std::string socket;
};
Compositor gWeston;

// Starts Weston and waits for its socket; false with the reason.
bool startWeston(std::string* why)
{
    if (!std::getenv("DISPLAY")) {
        *why = "no X display to nest Weston in";
        return false;
    }
    if (std::system("command -v weston >/dev/null 2>&1") != 0) {
        *why = "weston is not installed";
        return false;
    }
    gWeston.runtimeDir = makeTempDir("core-wayland");  // mkdtemp makes it 0700
    gWeston.socket = "wl-core-" + std::to_string(getpid());
    const std::string log = gWeston.runtimeDir + "/weston.log";
    gWeston.pid = fork();
    if (gWeston.pid == 0) {
        setenv("XDG_RUNTIME_DIR", gWeston.runtimeDir.c_str(), 1);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        const std::string socket = "--socket=" + gWeston.socket;
        execlp("weston", "weston", "--backend=x11-backend.so", socket.c_str(), "--idle-time=0", "--width=1280",
               "--height=800", static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string path = gWeston.runtimeDir + "/" + gWeston.socket;
    for (int i = 0; i < 150; ++i) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            // The shell's clients start after the socket opens; give them a moment.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return true;
        }
        int status = 0;
        if (waitpid(gWeston.pid, &status, WNOHANG) == gWeston.pid) {
            gWeston.pid = -1;
            *why = "weston ended at start (see its log: " + log + ")";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    *why = "weston opened no socket within 15 s";
    return false;
}

void stopWeston()
{
    if (gWeston.pid > 0) {
        kill(gWeston.pid, SIGTERM);
        waitpid(gWeston.pid, nullptr, 0);
        gWeston.pid = -1;
    }
    if (!gWeston.runtimeDir.empty()) {
        std::system(("rm -rf '" + gWeston.runtimeDir + "'").c_str());
    }
}

struct Outcome {
    int exitCode = -1;
    std::string err;  // standard error and output together
};

// Runs `command` (words already quoted as needed) in `folder`, on Wayland without an
// X display when `wayland`, else on the test's own X display.
Outcome run(const std::string& folder, const std::string& command, bool wayland, const std::string& env = "")
{
    const std::string log = folder + "/.output";
    std::string line = "cd '" + folder + "' && ";
    if (wayland) {
        line += "env -u DISPLAY SDL_VIDEODRIVER=wayland WAYLAND_DISPLAY=" + gWeston.socket +
                " XDG_RUNTIME_DIR='" + gWeston.runtimeDir + "' ";
    } else {
        line += "env ";
    }
    line += env + " timeout 300 " + command + " >'" + log + "' 2>&1";
    Outcome r;
    const int status = std::system(line.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readText(log);
    return r;
}

std::string program() { return "'" + binary + "/coredemo'"; }

class Wayland : public ::testing::Test {
protected:
    std::string folder;
    void SetUp() override
    {
        folder = makeTempDir("core-wayland-run");
        ASSERT_FALSE(folder.empty());
        ASSERT_EQ(symlink((binary + "/data.zip").c_str(), (folder + "/data.zip").c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
};

TEST_F(Wayland, ShotMatchesTheX11Shot)
{
    const std::string shot = program() + " --width 256 --height 144 --fps 10 --output none --shot 5,62 --out ";
    ASSERT_EQ(mkdir((folder + "/x11").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((folder + "/wayland").c_str(), 0755), 0);
    Outcome x11 = run(folder, shot + "x11", false);
    ASSERT_EQ(x11.exitCode, 0) << x11.err;
    Outcome wayland = run(folder, shot + "wayland", true);
    ASSERT_EQ(wayland.exitCode, 0) << wayland.err;
    for (const char* time : {"5", "62"}) {
        const std::string name = std::string("/shot-") + time + ".png";
        Picture expected, actual, diff;
        ASSERT_TRUE(readPng(folder + "/x11" + name, expected)) << name;
        ASSERT_TRUE(readPng(folder + "/wayland" + name, actual)) << name;
        ASSERT_EQ(actual.width, expected.width);
        ASSERT_EQ(actual.height, expected.height);
        const PictureDifference d = comparePictures(expected, actual, &diff);
        EXPECT_TRUE(withinGoldenTolerance(d)) << name << ": mean absolute difference " << d.meanAbsolute[0] << " / "
                                              << d.meanAbsolute[1] << " / " << d.meanAbsolute[2] << ", "
                                              << d.farFraction * 100.0 << "% far off";
    }
}

// Live playback in a window with multisampling (the probe's EGL configurations offer
// 4 samples here) until an injected Escape; then a few captured frames.
TEST_F(Wayland, PlaysMultisampledAndCaptures)
{
    Outcome live = run(folder,
                   program() + " --no-dialog --batch --windowed --width 320 --height 180 --aa 4 --output none --log",
                   true, "CORE_TEST_INPUT=escape@5");
    EXPECT_EQ(live.exitCode, 0) << live.err;
    const std::string log = readText(folder + "/Core.log");
    EXPECT_NE(log.find("AA samples: 4 samples\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Renderer: "), std::string::npos) << log;

    Outcome capture = run(folder, program() + " --width 160 --height 90 --fps 10 --from 1 --to 1.2 --capture frames", true);
    EXPECT_EQ(capture.exitCode, 0) << capture.err;
    for (const char* name : {"/frames/frame-000000.png", "/frames/frame-000001.png"}) {
        Picture frame;
        ASSERT_TRUE(readPng(folder + name, frame)) << name << "\n" << capture.err;
        EXPECT_EQ(frame.width, 160);
        EXPECT_EQ(frame.height, 90);
    }
}

// Full screen in the output's own mode gives its 16:9 band without a word;
// a size the output lacks goes on in a window, as on X11.
TEST_F(Wayland, FullScreenBehavesAsOnX11)
{
    Outcome full = run(folder, program() + " --fullscreen --width 1280 --height 800 --shot 1 --out .", true);
    EXPECT_EQ(full.exitCode, 0) << full.err;
    EXPECT_EQ(full.err.find("Full screen mode failed"), std::string::npos) << full.err;
    Picture shot;
    ASSERT_TRUE(readPng(folder + "/shot-1.png", shot)) << full.err;
    EXPECT_EQ(shot.width, 1280);  // the 16:9 band of the 1280 x 800 screen
    EXPECT_EQ(shot.height, 720);

    Outcome odd = run(folder, program() + " --fullscreen --width 333 --height 200 --shot 1 --out .", true);
    EXPECT_EQ(odd.exitCode, 0) << odd.err;
    EXPECT_NE(odd.err.find("Screen::init: Full screen mode failed"), std::string::npos) << odd.err;
    ASSERT_TRUE(readPng(folder + "/shot-1.png", shot));
    EXPECT_EQ(shot.width, 333);
}

// The settings dialog draws and its "Start" opens the demo.
TEST_F(Wayland, DialogStartsTheDemo)
{
    Outcome r = run(folder, program() + " --batch --windowed --output none", true,
                "CORE_TEST_DIALOG=1004 CORE_TEST_DIALOG_SHOT=dialog.bmp CORE_TEST_INPUT=escape@3");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    struct stat st;
    ASSERT_EQ(stat((folder + "/dialog.bmp").c_str(), &st), 0) << r.err;
    EXPECT_GT(st.st_size, 10000);
}

// Every kind of context, and the GUI renderer on each, through EGL on Wayland.
TEST_F(Wayland, EachContextKindIsMade)
{
    for (const char* test : {"gl_test_context", "gl_test_imgui_renderer"}) {
        Outcome r = run(folder, "'" + binary + "/tests/" + test + "'", true);
        EXPECT_EQ(r.exitCode, 0) << test << ":\n" << r.err;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::string why;
    if (!startWeston(&why)) {
        std::printf("skipped: %s\n", why.c_str());
        stopWeston();
        return 77;
    }
    const int result = RUN_ALL_TESTS();
    stopWeston();
    return result;
}
