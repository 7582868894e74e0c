// A demo whose archive lacks a scene file stops at start-up: the warning box once,
// exit code 1, no frame. A scene whose objects form one parent chain of 20,000 plays:
// every object is placed once a frame.
#include "datagen/scene_author.h"
#include "scene/scene_archive.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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

TEST(SceneStart, AParentChainOf20000ObjectsPlaysInTime)
{
    char pattern[] = "/tmp/scene_chain_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string archive = dir + "/data.zip";
    ASSERT_EQ(std::system(("cp '" CORE_BINARY_DIR "/data.zip' '" + archive + "'").c_str()), 0);
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), 0, &error);
    ASSERT_NE(zip, nullptr);
    zip_stat_t stat;
    ASSERT_EQ(zip_stat(zip, "wizard.xml", 0, &stat), 0);
    std::string bytes(size_t(stat.size), '\0');
    zip_file_t* file = zip_fopen(zip, "wizard.xml", 0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(zip_fread(file, &bytes[0], stat.size), zip_int64_t(stat.size));
    zip_fclose(file);

    // The scene's own objects, then empty frames up to 20,000, each the child of the one
    // before it.
    std::unique_ptr<Tessary> scene;
    std::string reason;
    ASSERT_EQ(readScene(bytes.data(), bytes.size(), SceneEncoding::Xml, &scene, &reason), 0) << reason;
    Object link;
    link.motion = datagen::still(0.001f, 0, 0);
    scene->object.resize(20000, link);
    for (uint32_t k = 1; k < scene->object.size(); ++k) {
        scene->object[k].parent = {1, k};
    }
    scene->object[0].parent = {};
    ASSERT_EQ(checkScene(*scene, &reason), 0) << reason;
    std::ostringstream chained;
    writeScene(*scene, SceneEncoding::Xml, chained);
    const std::string text = chained.str();
    zip_source_t* source = zip_source_buffer(zip, text.data(), text.size(), 0);
    ASSERT_NE(source, nullptr);
    ASSERT_GE(zip_file_add(zip, "wizard.xml", source, ZIP_FL_OVERWRITE), 0);
    ASSERT_EQ(zip_close(zip), 0);

    const std::string command = "cd '" + dir + "' && timeout 60 xvfb-run -a -s '-screen 0 1280x800x24' '" CORE_BINARY_DIR
                                "/coredemo' --width 256 --height 144 --output none --shot 5 --out . 2> stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "124: not done within 60 s";
    std::ifstream shot(dir + "/shot-5.png");
    EXPECT_TRUE(shot.good());
    std::system(("rm -rf '" + dir + "'").c_str());
}
