// Watching the data folder: an editor's save in several steps is one reload once the
// file has been quiet for 100 ms; a failed reload keeps its line until the entry loads.
#include "base/log.h"
#include "platform/file_watch.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "resources/reload.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(ChangeQueue, ABurstSettlesOnceAfterItsLastChange)
{
    // Steps in seconds: (entry, time of a change); then when each entry settles.
    reload::ChangeQueue queue;
    std::vector<std::string> out;
    queue.takeSettled(0.0, out);
    EXPECT_TRUE(out.empty());
    queue.note("a.png", 0.00);   // truncate
    queue.note("a.png", 0.03);   // write
    queue.note("b.cgfx", 0.05);
    queue.note("a.png", 0.08);   // close
    const struct {
        double now;
        std::vector<std::string> settled;
    } polls[] = {{0.10, {}}, {0.149, {}}, {0.15, {"b.cgfx"}}, {0.17, {}}, {0.18, {"a.png"}}, {0.18, {}}, {5.0, {}}};
    for (const auto& poll : polls) {
        queue.takeSettled(poll.now, out);
        EXPECT_EQ(out, poll.settled) << "at " << poll.now;
    }
    EXPECT_TRUE(queue.empty());
    // A change during the quiet time starts it again.
    queue.note("c.mmf", 1.0);
    queue.takeSettled(1.09, out);
    queue.note("c.mmf", 1.09);
    queue.takeSettled(1.15, out);
    EXPECT_TRUE(out.empty());
    queue.takeSettled(1.19, out);
    EXPECT_EQ(out, std::vector<std::string>{"c.mmf"});
}

class ReloadWatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setBatchMode(true);
        folder = fs::temp_directory_path() / ("core_reload_watch_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "scenes");
        write("scenes/a.txt", "one");
        loader.open(folder.string().c_str());
        ASSERT_TRUE(loader.opened);
        reload::forgetAll();
        reload::noteCustom("scenes/A.txt", [this](Loader&, const std::vector<char>& bytes) {
            seen.emplace_back(bytes.begin(), bytes.end());
            return seen.back() == "bad" ? std::string("not a scene") : std::string();
        });
        ASSERT_TRUE(reload::start(loader));
    }
    void TearDown() override
    {
        reload::stop();
        reload::forgetAll();
        fs::remove_all(folder);
    }
    void write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << bytes;
    }
    // Polls like the frames would, at `now`.
    void frameAt(double now) { reload::poll(now); }

    fs::path folder;
    Loader loader;
    std::vector<std::string> seen;
};

TEST_F(ReloadWatch, EditorSavesReloadOncePerBurst)
{
    frameAt(0.0);
    EXPECT_TRUE(seen.empty()) << "nothing changed yet";

    // Truncate, then write, then write again: one reload of the last contents.
    std::ofstream(folder / "scenes/a.txt", std::ios::trunc).close();
    frameAt(1.00);
    write("scenes/a.txt", "tw");
    frameAt(1.05);
    write("scenes/a.txt", "two");
    frameAt(1.09);
    frameAt(1.15);
    EXPECT_TRUE(seen.empty()) << "reloaded before the file was quiet";
    frameAt(1.20);
    EXPECT_EQ(seen, std::vector<std::string>{"two"});

    // Written to a temporary file and renamed over the entry.
    write("scenes/a.txt.tmp", "three");
    fs::rename(folder / "scenes/a.txt.tmp", folder / "scenes/a.txt");
    frameAt(2.00);
    frameAt(2.05);
    EXPECT_EQ(seen.size(), 1u);
    frameAt(2.11);
    EXPECT_EQ(seen, (std::vector<std::string>{"two", "three"}));
    frameAt(3.0);
    EXPECT_EQ(seen.size(), 2u) << "a burst reloads once";
    EXPECT_TRUE(reload::problems().empty());
}

TEST_F(ReloadWatch, AFailureIsShownUntilTheEntryLoadsCleanly)
{
    const std::string line = "coredemo: scenes/A.txt: not a scene (keeping the previous version)";
    write("scenes/a.txt", "bad");
    frameAt(1.0);
    frameAt(1.2);
    ASSERT_EQ(reload::problems(), std::vector<std::string>{line});
    fs::remove(folder / "scenes/a.txt");
    frameAt(2.0);
    frameAt(2.2);
    EXPECT_EQ(reload::problems(),
              std::vector<std::string>{"coredemo: scenes/A.txt: file not found (keeping the previous version)"});
    EXPECT_EQ(seen, std::vector<std::string>{"bad"}) << "a deleted file is not loaded";
    write("scenes/a.txt", "good");
    frameAt(3.0);
    frameAt(3.2);
    EXPECT_TRUE(reload::problems().empty());
    EXPECT_EQ(seen.back(), "good");
    // Entries nothing was loaded from are not reloaded nor reported.
    write("scenes/other.txt", "x");
    frameAt(4.0);
    frameAt(4.2);
    EXPECT_TRUE(reload::problems().empty());
    EXPECT_EQ(seen.size(), 2u);
}

TEST(FileWatch, ReportsFilesInFoldersMadeAfterItStarted)
{
    const fs::path root = fs::temp_directory_path() / ("core_file_watch_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    platform::FileWatch watch;
    ASSERT_TRUE(watch.open(root.string()));
    std::vector<std::pair<std::string, int>> reports;
    auto collect = [](const char* path, int change, void* user) {
        static_cast<std::vector<std::pair<std::string, int>>*>(user)->emplace_back(path, change);
    };
    EXPECT_EQ(watch.poll(collect, &reports), 0);
    fs::create_directories(root / "objects");
    watch.poll(collect, &reports);
    std::ofstream(root / "objects/x.mmf") << "v";
    fs::remove(root / "objects/x.mmf");
    watch.poll(collect, &reports);
    using Change = platform::FileWatch::Change;
    const std::vector<std::pair<std::string, int>> expected = {
        {"objects", Change::FolderChanged}, {"objects/x.mmf", Change::Written}, {"objects/x.mmf", Change::Written},
        {"objects/x.mmf", Change::Written}, {"objects/x.mmf", Change::Gone}};
    EXPECT_EQ(reports, expected);
    watch.close();
    fs::remove_all(root);
    platform::FileWatch none;
    EXPECT_FALSE(none.open((root / "missing").string()));
}

}  // namespace
