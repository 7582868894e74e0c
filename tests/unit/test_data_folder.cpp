// The data as a folder: the same entries, lookups, bounds and failures as the archive
// it was unpacked from, names that would leave the folder are never found, and names
// that differ only in letter case never leave one of them unreachable without a word.
#include "base/log.h"
#include "platform/platform.h"
#include "resources/data_source.h"
#include "resources/loader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::vector<std::pair<std::string, std::string>> entries = {
    {"shaders/Blobs_Render.cgfx", "effect text"},
    {"textures/a.png", std::string(5000, 'p')},
    {"empty.bin", ""},
    {std::string(250, 'a') + "/name.txt", "long"},  // 259 characters
};

class DataSources : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setBatchMode(true);
        base = fs::temp_directory_path() / ("core_data_folder_" + std::to_string(getpid()));
        fs::remove_all(base);
        folder = base / "data";
        zipPath = (base / "data.zip").string();
        fs::create_directories(folder);
        int error = 0;
        zip_t* z = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(z, nullptr);
        for (const auto& [name, bytes] : entries) {
            write(name, bytes);
            zip_source_t* s = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
            ASSERT_GE(zip_file_add(z, name.c_str(), s, 0), 0);
        }
        ASSERT_EQ(zip_close(z), 0);
        takeLoadFailures();
    }
    void TearDown() override { fs::remove_all(base); }

    void write(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }

    fs::path base, folder;
    std::string zipPath;
};

// What a consumer sees of an entry: fileSize, then readAll, and the notes left.
std::string consume(Loader& loader, const char* name)
{
    const uint32_t size = loader.fileSize(name);
    std::string seen = std::to_string(size);
    if (size > 0) {
        std::unique_ptr<char[]> bytes;
        seen += loader.readAll(name, size, bytes) == 0 ? ":" + std::string(bytes.get(), size) : ":failed";
    }
    for (const std::string& note : takeLoadFailures()) {
        seen += " [" + note + "]";
    }
    return seen;
}

}  // namespace

TEST_F(DataSources, FolderAnswersEveryLookupAsTheArchiveDoes)
{
    Loader zipped, unpacked;
    zipped.open(zipPath.c_str());
    unpacked.open(folder.string().c_str());
    ASSERT_TRUE(zipped.opened);
    ASSERT_TRUE(unpacked.opened);
    EXPECT_EQ(zipped.folder(), "");
    EXPECT_EQ(unpacked.folder(), folder.string());
    const std::string tooLong = std::string(251, 'a') + "/name.txt";
    for (const char* name : {"shaders/Blobs_Render.cgfx", "SHADERS/blobs_render.CGFX", "textures/A.PNG", "empty.bin",
                             "missing.txt", entries[3].first.c_str(), tooLong.c_str()}) {
        EXPECT_EQ(consume(unpacked, name), consume(zipped, name)) << name;
    }
    // Where the archive has nothing, the folder has a folder, and says so.
    EXPECT_EQ(consume(unpacked, "shaders"), "0 [shaders: " + (folder / "shaders").string() +
                                                " is not a regular file (a folder)]");
    EXPECT_EQ(consume(unpacked, "shaders/blobs_render.cgfx"), "11:effect text");
    EXPECT_EQ(unpacked.entryNames("textures/"), zipped.entryNames("textures/"));
    std::vector<char> bytes;
    EXPECT_TRUE(unpacked.readQuietly("textures/a.png", bytes));
    EXPECT_EQ(bytes.size(), 5000u);
}

TEST_F(DataSources, NamesLeavingTheFolderAreNotFound)
{
    write("../outside.txt", "secret");
    const fs::path inside = folder / "textures" / "linked.png";
    fs::create_symlink(base / "outside.txt", folder / "textures" / "out.png");
    fs::create_symlink(folder / "textures" / "a.png", inside);
    fs::create_symlink("/etc", folder / "etc");
    Loader loader;
    loader.open(folder.string().c_str());
    ASSERT_TRUE(loader.opened);
    for (const char* name : {"../outside.txt", "textures/../../outside.txt", "/etc/hostname", "./empty.bin",
                             "textures/out.png", "etc/hostname", "textures//a.png", "textures\\a.png"}) {
        EXPECT_EQ(loader.fileSize(name), 0u) << name;
        std::vector<char> bytes;
        EXPECT_FALSE(loader.readQuietly(name, bytes)) << name;
        EXPECT_EQ(loader.readChecked(name, bytes), "file not found") << name;
    }
    takeLoadFailures();
    EXPECT_EQ(consume(loader, "textures/linked.png"), "5000:" + std::string(5000, 'p'));
}

TEST_F(DataSources, FolderHonoursTheSizeBoundAndSeesChangesAfterARescan)
{
    Loader loader;
    loader.open(folder.string().c_str());
    ASSERT_TRUE(loader.opened);
    // A sparse file just over the bound: refused with the archive's words.
    const fs::path big = folder / "music" / "big.ogg";
    fs::create_directories(big.parent_path());
    std::ofstream(big, std::ios::binary).close();
    fs::resize_file(big, Loader::maxEntrySize + 1);
    loader.rescan();
    EXPECT_EQ(consume(loader, "music/big.ogg"),
              "0 [music/big.ogg: refused: its size 268435457 bytes is above the limit of 268435456]");
    std::vector<char> bytes;
    EXPECT_EQ(loader.readChecked("music/big.ogg", bytes).rfind("refused: its size", 0), 0u);

    // Rewritten in place: the new size and bytes at once; a new file after a rescan;
    // a removed one is gone.
    write("textures/a.png", "short");
    EXPECT_EQ(consume(loader, "textures/a.png"), "5:short");
    write("textures/new.png", "fresh");
    EXPECT_EQ(loader.fileSize("textures/new.png"), 0u);
    fs::remove(folder / "empty.bin");
    loader.rescan();
    takeLoadFailures();
    EXPECT_EQ(consume(loader, "TEXTURES/NEW.PNG"), "5:fresh");
    EXPECT_EQ(loader.readChecked("empty.bin", bytes), "file not found");
    EXPECT_EQ(loader.readChecked("textures/new.png", bytes), "");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "fresh");
}

TEST_F(DataSources, OpeningNeitherAFolderNorAnArchiveFails)
{
    Loader loader;
    loader.open((base / "nothing").string().c_str());
    EXPECT_FALSE(loader.opened);
    write("plain.txt", "not a zip");
    loader.open((folder / "plain.txt").string().c_str());
    EXPECT_FALSE(loader.opened);
}

TEST_F(DataSources, NamesThatDifferOnlyInLetterCaseAreRefused)
{
    // Data that has them from the start is refused whole, archive or folder.
    write("textures/A.png", "upper");
    int error = 0;
    zip_t* z = zip_open(zipPath.c_str(), 0, &error);
    ASSERT_NE(z, nullptr);
    ASSERT_GE(zip_file_add(z, "textures/A.png", zip_source_buffer(z, "upper", 5, 0), 0), 0);
    ASSERT_EQ(zip_close(z), 0);
    for (const std::string& data : {zipPath, folder.string()}) {
        Loader loader;
        loader.open(data.c_str());
        EXPECT_FALSE(loader.opened) << data;
    }

    // Once the data is open, the name that was there stays the entry and a newcomer is
    // refused; names that come together are both refused; with one gone, the other is it.
    fs::remove(folder / "textures/A.png");
    Loader loader;
    loader.open(folder.string().c_str());
    ASSERT_TRUE(loader.opened);
    write("textures/A.png", "upper");
    write("x/B.txt", "1");
    write("x/b.txt", "2");
    loader.rescan();
    EXPECT_EQ(consume(loader, "textures/A.png"), "5000:" + std::string(5000, 'p'));
    EXPECT_EQ(consume(loader, "x/b.txt"), "0 [x/b.txt: x/B.txt and x/b.txt differ only in letter case]");
    std::string clashes;
    for (const NameClash& clash : loader.nameClashes()) {
        clashes += clash.refused + (clash.otherInUse ? " kept " : " with ") + clash.other + "; ";
    }
    EXPECT_EQ(clashes, "textures/A.png kept textures/a.png; x/B.txt with x/b.txt; x/b.txt with x/B.txt; ");
    fs::remove(folder / "textures/a.png");
    fs::remove(folder / "x/B.txt");
    loader.rescan();
    EXPECT_EQ(consume(loader, "textures/a.png"), "5:upper");
    EXPECT_EQ(consume(loader, "x/B.txt"), "1:2");
    EXPECT_TRUE(loader.nameClashes().empty());
}

TEST_F(DataSources, WhatIsNotARegularFileIsNamedAndNeverOpened)
{
    Loader loader;
    loader.open(folder.string().c_str());
    ASSERT_TRUE(loader.opened);
    fs::remove(folder / "textures/a.png");
    ASSERT_EQ(mkfifo((folder / "textures/a.png").c_str(), 0644), 0);
    fs::remove(folder / "empty.bin");
    fs::create_directories(folder / "empty.bin/inside");
    loader.rescan();
    const std::string fifo = (folder / "textures/a.png").string(), dir = (folder / "empty.bin").string();
    EXPECT_EQ(consume(loader, "TEXTURES/A.PNG"), "0 [TEXTURES/A.PNG: " + fifo + " is not a regular file (a FIFO)]");
    EXPECT_EQ(consume(loader, "empty.bin"), "0 [empty.bin: " + dir + " is not a regular file (a folder)]");
    std::vector<char> bytes;
    EXPECT_EQ(loader.readChecked("textures/a.png", bytes), fifo + " is not a regular file (a FIFO)");
    EXPECT_FALSE(loader.readQuietly("textures/a.png", bytes));

    // A FIFO put in place between the lookup and the read is refused, not waited on.
    std::unique_ptr<DataSource> source = openFolderSource(folder.string().c_str());
    uint64_t size = 0;
    const int64_t index = source->locate("shaders/blobs_render.cgfx", &size);
    ASSERT_GE(index, 0);
    const fs::path effect = folder / "shaders/Blobs_Render.cgfx";
    fs::remove(effect);
    ASSERT_EQ(mkfifo(effect.c_str(), 0644), 0);
    bytes.resize(size_t(size));
    EXPECT_EQ(source->read(index, size, bytes.data()), effect.string() + " is not a regular file");
}
