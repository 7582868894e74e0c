// A demo whose archive lacks a scene file stops at start-up: the warning box once,
// exit code 1, no frame.
#include <gtest/gtest.h>
#include <zip.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

TEST(SceneStart, AMissingSceneFileEndsTheStartUpWithTheBoxOnce)
{
    char pattern[] = "/tmp/scene_start_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string archive = dir + "/data.zip";
    ASSERT_EQ(std::system(("cp '" CORE_BINARY_DIR "/data.zip' '" + archive + "'").c_str()), 0);
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), 0, &error);
    ASSERT_NE(zip, nullptr);
    const zip_int64_t entry = zip_name_locate(zip, "wizard.xml", 0);
    ASSERT_GE(entry, 0);
    ASSERT_EQ(zip_delete(zip, zip_uint64_t(entry)), 0);
    ASSERT_EQ(zip_close(zip), 0);

    const std::string command = "cd '" + dir + "' && xvfb-run -a -s '-screen 0 1280x800x24' '" CORE_BINARY_DIR
                                "/coredemo' --no-dialog --batch --windowed --log --width 320 --height 180 2> stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(dir + "/stderr.txt");
    std::stringstream text;
    text << in.rdbuf();
    const std::string out = text.str();
    const std::string box = "Core::init: Core init error, see log for details.";
    const size_t first = out.find(box);
    EXPECT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find(box, first + 1), std::string::npos) << out;
    std::ifstream log(dir + "/Core.log");
    std::stringstream logText;
    logText << log.rdbuf();
    const size_t load = logText.str().find("\nload tsy: wizard.xml\n");
    EXPECT_NE(load, std::string::npos);
    EXPECT_NE(logText.str().find("\nfile size: 0\n", load), std::string::npos) << logText.str().substr(load);
    std::system(("rm -rf '" + dir + "'").c_str());
}
