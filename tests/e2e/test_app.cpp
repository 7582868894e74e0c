// The program end to end: exit codes, what reaches standard error in batch mode, the
// log file, the settings dialog and the window's keys. Each case runs build/coredemo
// in a folder of its own; input is injected through the program's test hooks
// (CORE_TEST_INPUT, CORE_TEST_DIALOG).
#include "app/app.h"
#include "app/data_search.h"
#include "startup_log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

const std::string program = std::string(CORE_BINARY_DIR) + "/coredemo";
const std::string archive = std::string(CORE_BINARY_DIR) + "/data.zip";

struct Result {
    int exitCode = -1;  // -1 when killed after the time limit
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line)) {
        result.push_back(line);
    }
    return result;
}

// Runs the program in `folder` with extra environment variables; kills it after
// `seconds`.
// `wrapper` runs the program through another command (a display server of its own).
Result run(const std::string& folder, const std::vector<std::string>& args,
        const std::vector<std::pair<std::string, std::string>>& env = {}, int seconds = 300,
        bool withDisplay = true, const std::vector<std::string>& wrapper = {})
{
    const std::string outPath = folder + "/.stdout";
    const std::string errPath = folder + "/.stderr";
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        for (const auto& kv : env) {
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        }
        if (!withDisplay) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        }
        std::vector<char*> argv;
        for (const std::string& w : wrapper) {
            argv.push_back(const_cast<char*>(w.c_str()));
        }
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Result r;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (status != -1 && WIFEXITED(status)) {
        r.exitCode = WEXITSTATUS(status);
    } else if (status != -1 && WIFSIGNALED(status)) {
        r.exitCode = 128 + WTERMSIG(status);
    }
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

class App : public ::testing::Test {
protected:
    std::string folder;

    void SetUp() override
    {
        char name[] = "/tmp/coredemo_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        chmod(folder.c_str(), 0755);
        std::string command = "rm -rf '" + folder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    void withArchive() { ASSERT_EQ(symlink(archive.c_str(), (folder + "/data.zip").c_str()), 0); }
    bool haveDisplay() const { return std::getenv("DISPLAY") != nullptr; }
    std::string logText() const { return readFile(folder + "/Core.log"); }
};

// Lines that report problems (ALSA chatter of a machine without a sound card aside).
std::vector<std::string> messages(const std::string& err)
{
    std::vector<std::string> result;
    for (const std::string& line : lines(err)) {
        if (line.rfind("ALSA lib", 0) != 0) {
            result.push_back(line);
        }
    }
    return result;
}

TEST_F(App, MissingArchiveEndsBeforeAnyWindow)
{
    // No display at all: reaching the window would fail differently. Standard error
    // names every place looked in, in order, before the archive's own message.
    Result r = run(folder, {"--no-dialog", "--batch"},
                   {{"HOME", folder}, {"XDG_DATA_HOME", ""}, {"XDG_DATA_DIRS", folder + "/a:relative:" + folder + "/b/"}},
                   60, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(messages(r.err), (std::vector<std::string>{
                                   "coredemo: data.zip is in none of these places (--data PATH names another):",
                                   "  ./data.zip",
                                   "  " + folder + "/.local/share/coredemo/data.zip",
                                   "  " + folder + "/a/coredemo/data.zip",
                                   "  " + folder + "/b/coredemo/data.zip",
                                   std::string("  ") + installedDataFile(),
                                   "Loader::loader: Data file not found.",
                               }));
    EXPECT_TRUE(r.out.empty());
}

// Installed as a package would be: the archive below a data directory, the program run
// from an empty folder. Shots, captures and --output none need no sound device, so no
// audio driver is probed (probing one prints the audio library's complaints on a
// machine without a sound card).
TEST_F(App, ArchiveFromTheDataDirectoriesAndNoSoundDeviceWhenNoneIsNeeded)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    const std::string system = folder + "/share";
    ASSERT_EQ(mkdir(system.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((system + "/coredemo").c_str(), 0755), 0);
    ASSERT_EQ(symlink(archive.c_str(), (system + "/coredemo/data.zip").c_str()), 0);
    // The user's directory comes first: a damaged archive there is the one opened.
    const std::string user = folder + "/user";
    ASSERT_EQ(mkdir(user.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((user + "/coredemo").c_str(), 0755), 0);
    std::ofstream(user + "/coredemo/data.zip") << "not a zip archive";
    const std::string work = folder + "/empty";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    const std::vector<std::pair<std::string, std::string>> env = {
        {"XDG_DATA_HOME", user}, {"XDG_DATA_DIRS", folder + "/nothing:" + system}};

    Result damaged = run(work, {"--shot", "45"}, env);
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_EQ(messages(damaged.err), (std::vector<std::string>{"Loader::loader: Data file not found."}));

    const std::vector<std::pair<std::string, std::string>> systemOnly = {
        {"XDG_DATA_HOME", folder + "/nothing"}, {"XDG_DATA_DIRS", folder + "/nothing:" + system}};
    Result shot = run(work, {"--shot", "45", "--log"}, systemOnly);
    EXPECT_EQ(shot.exitCode, 0) << shot.err;
    EXPECT_EQ(shot.err, "");
    EXPECT_EQ(access((work + "/shot-45.png").c_str(), F_OK), 0);
    EXPECT_NE(readFile(work + "/Core.log").find(" sound output: offline output"), std::string::npos);

    Result silent = run(work, {"--no-dialog", "--batch", "--windowed", "--width", "320", "--height", "180",
                               "--output", "none", "--log"},
                        {systemOnly[0], systemOnly[1], {"CORE_TEST_INPUT", "escape@3"}});
    EXPECT_EQ(silent.exitCode, 0) << silent.err;
    EXPECT_EQ(silent.err, "");
    EXPECT_NE(readFile(work + "/Core.log").find(" sound output: driver dummy"), std::string::npos);
}

TEST_F(App, GarbageArchiveIsNotFoundEither)
{
    {
        std::ofstream zip(folder + "/data.zip", std::ios::binary);
        zip << "PK\x03\x04 this is not really a zip archive";
    }
    Result r = run(folder, {"--no-dialog", "--batch", "--log"}, {}, 60, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(messages(r.err), (std::vector<std::string>{"Loader::loader: Data file not found."}));
    EXPECT_NE(access((folder + "/Core.log").c_str(), F_OK), 0);  // no log before the settings
}

TEST_F(App, ArchiveElsewhereWithData)
{
    Result r = run(folder, {"--no-dialog", "--batch", "--data", folder + "/nothing.zip"}, {}, 60, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Data file not found."), std::string::npos);
}

TEST_F(App, CommandLineErrorsAndInformation)
{
    Result bad = run(folder, {"--no-dialog", "--frobnicate"}, {}, 60, false);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(lines(bad.err).size(), 1u) << bad.err;
    EXPECT_NE(bad.err.find("--frobnicate"), std::string::npos);

    Result value = run(folder, {"--width", "wide"}, {}, 60, false);
    EXPECT_EQ(value.exitCode, 2);
    EXPECT_EQ(lines(value.err).size(), 1u) << value.err;

    Result gl = run(folder, {"--no-dialog", "--gl", "bogus"}, {}, 60, false);
    EXPECT_EQ(gl.exitCode, 2);
    EXPECT_EQ(lines(gl.err).size(), 1u) << gl.err;
    EXPECT_NE(gl.err.find("--gl"), std::string::npos) << gl.err;

    Result output = run(folder, {"--output", "no-such-driver"}, {}, 60, false);
    EXPECT_EQ(output.exitCode, 2);
    EXPECT_EQ(messages(output.err).size(), 1u) << output.err;

    Result help = run(folder, {"--help"}, {}, 60, false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--no-dialog"), std::string::npos);

    Result version = run(folder, {"--version"}, {}, 60, false);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("coredemo ") + CORE_PROJECT_VERSION + "\n");
}

TEST_F(App, EscapeEndsWithZeroAndTheLogHasSettingsThenGlStrings)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    Result r = run(folder, {"--no-dialog", "--batch", "--windowed", "--width", "640", "--height", "360", "--log"},
                {{"CORE_TEST_INPUT", "escape@3"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> log = lines(logText());
    ASSERT_GE(log.size(), 10u) << logText();
    expectSettingsThenGlStrings(log, 640, 360);
}

TEST_F(App, ClosingTheWindowEndsWithZeroAndOtherKeysDoNot)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    Result r = run(folder, {"--no-dialog", "--batch", "--windowed", "--width", "320", "--height", "180", "--stats"},
                {{"CORE_TEST_INPUT", "key@2,close@12"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The statistics box went to standard error with its caption, and frames ran
    // past the other key's press.
    size_t at = r.err.find("Stats: Average framerate: ");
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" FPS.\n\nThank you for watching!\n", at), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Stats: Average framerate: 0 FPS."), std::string::npos) << r.err;
}

TEST_F(App, UnwritableFolderWithLogRunsWithoutLog)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    // A folder named like the log stops the file even for root; the folder itself is
    // made read-only as well.
    ASSERT_EQ(mkdir((folder + "/Core.log").c_str(), 0755), 0);
    std::string work = folder + "/ro";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    ASSERT_EQ(symlink(archive.c_str(), (work + "/data.zip").c_str()), 0);
    ASSERT_EQ(mkdir((work + "/Core.log").c_str(), 0755), 0);
    ASSERT_EQ(chmod(work.c_str(), 0555), 0);
    Result r = run(work, {"--no-dialog", "--batch", "--windowed", "--width", "320", "--height", "180", "--log"},
                {{"CORE_TEST_INPUT", "escape@3"}});
    chmod(work.c_str(), 0755);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Log: Error creating log file"), std::string::npos) << r.err;
}

// A full-screen switch the system refuses is reported once and the demo runs in a
// window of the chosen size (the display's own size, which it offers as a mode, so only
// the refusal itself can cause the message).
TEST_F(App, RefusedFullScreenIsReportedAndRunsInAWindowOfTheChosenSize)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    Result r = run(folder, {"--fullscreen", "--width", "1920", "--height", "1080", "--shot", "1", "--out", folder},
                   {{"CORE_TEST_REFUSE_FULLSCREEN", "1"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string message = "Screen::init: Full screen mode failed";
    const size_t at = r.err.find(message);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(message, at + 1), std::string::npos) << "reported once: " << r.err;
    std::ifstream png(folder + "/shot-1.png", std::ios::binary);
    unsigned char header[24] = {};
    ASSERT_TRUE(png.read(reinterpret_cast<char*>(header), sizeof header));
    auto big = [&](int at) { return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3]; };
    EXPECT_EQ(big(16), 1920);
    EXPECT_EQ(big(20), 1080);
}

TEST_F(App, SampleCountTheDisplayLacksStillStarts)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    Result r = run(folder,
                {"--no-dialog", "--batch", "--windowed", "--width", "320", "--height", "180", "--aa", "32", "--log"},
                {{"CORE_TEST_INPUT", "escape@2"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(logText().find("AA samples: 0 samples\n"), std::string::npos);
}

// A context that lacks what the renderer uses is refused with one line that names it,
// under the extension error's caption and exit code. Mesa is told to offer GL 2.1
// without framebuffer objects.
TEST_F(App, ContextWithoutFramebufferObjectsIsRefusedWithOneLine)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    Result r = run(folder, {"--no-dialog", "--batch", "--windowed", "--width", "320", "--height", "180", "--gl", "compat"},
                   {{"MESA_GL_VERSION_OVERRIDE", "2.1"},
                    {"MESA_GLSL_VERSION_OVERRIDE", "120"},
                    {"MESA_EXTENSION_OVERRIDE",
                     "-GL_ARB_framebuffer_object -GL_EXT_framebuffer_object -GL_EXT_framebuffer_blit"},
                    {"CORE_TEST_INPUT", "escape@2"}});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::vector<std::string> said = messages(r.err);
    ASSERT_EQ(said.size(), 1u) << r.err;
    EXPECT_EQ(said[0], "Extension error: Extension GL_ARB_framebuffer_object is required.");
}

TEST_F(App, DisplayWithoutMultisampleConfigsOrTrueColourModes)
{
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs xvfb-run";
    }
    withArchive();
    // A 16-bit screen: no window-capable 8-bit RGBA config, so no multisample
    // candidates, and no 32-bit display mode to switch to.
    const std::vector<std::string> display16 = {"xvfb-run", "-a", "-s", "-screen 0 800x600x16"};
    Result r = run(folder, {"--no-dialog", "--batch", "--width", "320", "--height", "180", "--aa", "4", "--log"},
                   {{"CORE_TEST_INPUT", "escape@2"}}, 300, true, display16);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Screen::init: Full screen mode failed"), std::string::npos) << r.err;
    std::string log = logText();
    EXPECT_NE(log.find("AA samples: 0 samples\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Fullscreen: 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Renderer: "), std::string::npos) << log;

    // The dialog on that display: empty resolution list, "None" alone; "Start" works.
    Result d = run(folder, {"--batch", "--windowed"}, {{"CORE_TEST_DIALOG", "1004"}, {"CORE_TEST_INPUT", "escape@2"}},
                   300, true, display16);
    EXPECT_EQ(d.exitCode, 0) << d.err;
}

TEST_F(App, DialogExitAndCloseEndWithOne)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    for (const char* press : {"1003", "0"}) {
        Result r = run(folder, {"--batch", "--log"}, {{"CORE_TEST_DIALOG", press}});
        EXPECT_EQ(r.exitCode, 1) << press << r.err;
        EXPECT_TRUE(messages(r.err).empty()) << r.err;
        // Leaving without "Start" creates no log and shows no statistics.
        EXPECT_NE(access((folder + "/Core.log").c_str(), F_OK), 0);
    }
}

TEST_F(App, DialogStartOpensTheWindowWithTheOptionsPreset)
{
    if (!haveDisplay()) {
        GTEST_SKIP() << "needs a display";
    }
    withArchive();
    std::string shot = folder + "/dialog.bmp";
    Result r = run(folder, {"--batch", "--windowed", "--log"},
                {{"CORE_TEST_DIALOG", "1004"}, {"CORE_TEST_DIALOG_SHOT", shot}, {"CORE_TEST_INPUT", "escape@3"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> log = lines(logText());
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[0], "log created.");
    EXPECT_EQ(log[1].rfind("Resolution: ", 0), 0u);
    EXPECT_EQ(log[2], "Fullscreen: 0");  // --windowed unticked the box
    EXPECT_EQ(log[3], "VSync: 1");
    // The dialog's picture: 207 x 206 dialog units, a little taller than wide, and
    // not one flat colour.
    std::string bmp = readFile(shot);
    ASSERT_GT(bmp.size(), 54u);
    int32_t width = 0, height = 0;
    std::memcpy(&width, &bmp[18], sizeof width);  // the header's fields are not aligned
    std::memcpy(&height, &bmp[22], sizeof height);
    height = height < 0 ? -height : height;
    EXPECT_GT(width, 250);
    EXPECT_LT(width, 600);
    EXPECT_GT(height, width * 0.9);
    EXPECT_LT(height, width * 1.3);
    EXPECT_NE(bmp.find_first_not_of(bmp[bmp.size() - 1], 54), std::string::npos);
}

TEST(WindowEvents, OnlyEscapeAndCloseEndTheDemo)
{
    platform::Event key;
    key.kind = platform::Event::KeyDown;
    key.key = 'a';
    handleEvent(key);
    key.kind = platform::Event::Text;
    handleEvent(key);
    platform::Event other;
    handleEvent(other);
    int code = -1;
    EXPECT_FALSE(platform::quitRequested(&code));

    platform::Event escape;
    escape.kind = platform::Event::KeyDown;
    escape.key = 27;
    handleEvent(escape);
    ASSERT_TRUE(platform::quitRequested(&code));
    EXPECT_EQ(code, 0);
}

TEST(Statistics, TextAsTheBoxShowsIt)
{
    EXPECT_EQ(statisticsText(600, 10.0f), "Average framerate: 60 FPS.\n\nThank you for watching!\n");
    EXPECT_EQ(statisticsText(1000, 3.0f), "Average framerate: 333.333 FPS.\n\nThank you for watching!\n");
    EXPECT_EQ(statisticsText(0, 0.0f), "Average framerate: 0 FPS.\n\nThank you for watching!\n");
    EXPECT_EQ(statisticsText(50, 0.0f), "Average framerate: 0 FPS.\n\nThank you for watching!\n");
    EXPECT_EQ(statisticsText(50, -1.0f), "Average framerate: 0 FPS.\n\nThank you for watching!\n");
    // Fits the 64-character buffer even for absurd rates.
    EXPECT_LE(statisticsText(4000000000u, 1e-30f).size(), 63u);
}

}  // namespace
