// Playing from a folder unpacked from data.zip: the same pictures as the archive, and
// while the demo plays live, an edit reaches it and a broken file is named without
// stopping it.
#include "unpack_archive.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string program = std::string(CORE_BINARY_DIR) + "/coredemo";
const std::string archive = std::string(CORE_BINARY_DIR) + "/data.zip";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Authoring : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/coredemo_authoring_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        base = name;
        unpackArchive(archive, base / "data");
    }
    void TearDown() override { fs::remove_all(base); }
    fs::path base;
};

}  // namespace

TEST_F(Authoring, FolderGivesTheArchivesPictures)
{
    // A scene, a part with meshes, pictures and overlays, and the finale's text.
    const std::string times = "10,80,143,192.5";
    for (const std::string& data : {archive, (base / "data").string()}) {
        const fs::path out = base / (data == archive ? "zip" : "folder");
        fs::create_directories(out);
        const std::string command = "cd '" + base.string() + "' && '" + program +
                                    "' --width 256 --height 144 --output none --data '" + data + "' --shot " + times +
                                    " --out '" + out.string() + "' >'" + out.string() + "/log.txt' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << readFile(out / "log.txt");
    }
    for (const char* time : {"10", "80", "143", "192.5"}) {
        const std::string name = std::string("shot-") + time + ".png";
        const std::string zipped = readFile(base / "zip" / name);
        ASSERT_FALSE(zipped.empty()) << name;
        EXPECT_TRUE(zipped == readFile(base / "folder" / name)) << name << " differs between the archive and the folder";
    }
}

TEST_F(Authoring, BrokenEffectFileIsNamedWhileTheLoopPlaysOn)
{
    if (!std::getenv("DISPLAY")) {
        GTEST_SKIP() << "needs a display";
    }
    const fs::path errPath = base / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(base.c_str()) != 0) {
            _exit(127);
        }
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        execl(program.c_str(), program.c_str(), "--no-dialog", "--batch", "--windowed", "--width", "640", "--height",
              "360", "--output", "none", "--data", "data", "--loop", "78,90", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // The demo plays once it says it watches the folder (start-up takes a while on a
    // software renderer); then the edit.
    int status = 0;
    auto waitFor = [&](const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
        while (std::chrono::steady_clock::now() < deadline && waitpid(pid, &status, WNOHANG) == 0) {
            if (readFile(errPath).find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    if (!waitFor("coredemo: watching data for changes")) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the demo did not start playing: " << readFile(errPath);
    }
    std::ofstream(base / "data/shaders/phalanx_render.cgfx", std::ios::app) << "\n}}} not an effect\n";
    const bool named = waitFor("coredemo: shaders/phalanx_render.cgfx: ");
    const bool running = waitpid(pid, &status, WNOHANG) == 0;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(named) << readFile(errPath);
    EXPECT_TRUE(running && waitpid(pid, &status, WNOHANG) == 0) << "the demo stopped: " << readFile(errPath);
    const std::string err = readFile(errPath);
    EXPECT_NE(err.find("(keeping the previous version)"), std::string::npos) << err;
    kill(pid, SIGTERM);  // the window's close: exit code 0
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
