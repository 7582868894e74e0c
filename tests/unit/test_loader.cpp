#include "base/log.h"
#include "log_capture.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string tempPath(const std::string& name) { return "/tmp/core_loader_" + std::to_string(getpid()) + "_" + name; }

void writeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::remove(path.c_str());
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto& e : entries) {
        zip_source_t* s = zip_source_buffer(z, e.second.data(), e.second.size(), 0);
        ASSERT_GE(zip_file_add(z, e.first.c_str(), s, 0), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setBatchMode(true);
        zipPath = tempPath("data.zip");
        longName = std::string(250, 'a') + "/name.txt";  // 259 characters
        writeZip(zipPath, {{"shaders/Blobs_Render.cgfx", "effect text"},
                           {"empty.bin", ""},
                           {longName, "long"},
                           {"music/big.bin", std::string(100000, 'x')}});
        coreLog = {};
    }
    void TearDown() override
    {
        log.close();
        std::remove(zipPath.c_str());
    }
    std::string zipPath, longName;
    LogCapture log;
};

}  // namespace

TEST_F(LoaderTest, FindsEntriesIgnoringLetterCaseAndReadsExactBytes)
{
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_TRUE(l.opened);
    uint32_t size = l.fileSize("SHADERS/blobs_render.CGFX");
    ASSERT_EQ(size, 11u);
    char* buffer = new char[size + 1];
    buffer[size] = '#';
    EXPECT_EQ(l.readFile("shaders/blobs_render.cgfx", &buffer), 0);
    EXPECT_EQ(std::string(buffer, size), "effect text");
    EXPECT_EQ(buffer[size], '#') << "readFile wrote past the entry size";
    delete[] buffer;

    size = l.fileSize("music/big.bin");
    ASSERT_EQ(size, 100000u);
    std::vector<char> big(size);
    char* p = big.data();
    EXPECT_EQ(l.readFile("music/big.bin", &p), 0);
    EXPECT_EQ(big[99999], 'x');
}

TEST_F(LoaderTest, EmptyAndMissingEntriesReportSizeZeroAndLogOnlyTheMissingOne)
{
    ASSERT_NO_FATAL_FAILURE(log.open("loader"));
    Loader l;
    l.open(zipPath.c_str());
    EXPECT_EQ(l.fileSize("empty.bin"), 0u);
    EXPECT_EQ(l.fileSize("objects/none.mmf"), 0u);
    char* buffer = nullptr;
    EXPECT_EQ(l.readFile("objects/none.mmf", &buffer), 1);
    EXPECT_EQ(log.text(), "log created.\n\nfile: empty.bin size: 0\n file not found: objects/none.mmf\n");
}

TEST_F(LoaderTest, NamesUpTo259CharactersAreAcceptedLongerOnesRefused)
{
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_EQ(longName.size(), 259u);
    EXPECT_EQ(l.fileSize(longName.c_str()), 4u);
    std::string tooLong = longName + "x";
    EXPECT_EQ(l.fileSize(tooLong.c_str()), 0u);
    // A 260-character name must not be truncated into a match of its 259-character prefix.
    std::string prefixMatch = longName;
    writeZip(zipPath, {{longName, "long"}});
    Loader again;
    again.open(zipPath.c_str());
    char buf[8];
    char* p = buf;
    EXPECT_EQ(again.readFile((longName + "t").c_str(), &p), 1);
}

TEST_F(LoaderTest, MissingGarbageOrTruncatedArchiveLeavesTheLoaderClosed)
{
    Loader missing;
    missing.open(tempPath("nothing.zip").c_str());
    EXPECT_FALSE(missing.opened);
    EXPECT_EQ(missing.fileSize("anything"), 0u);

    std::string garbage = tempPath("garbage.zip");
    std::ofstream(garbage) << "this is not a zip archive at all";
    Loader g;
    g.open(garbage.c_str());
    EXPECT_FALSE(g.opened);
    std::remove(garbage.c_str());

    std::string bytes = readAll(zipPath);
    std::string truncated = tempPath("truncated.zip");
    std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    Loader t;
    t.open(truncated.c_str());
    EXPECT_FALSE(t.opened);
    std::remove(truncated.c_str());
}

TEST_F(LoaderTest, CorruptEntryDataFailsTheReadInsteadOfReturningGarbage)
{
    std::string bytes = readAll(zipPath);
    // Flip bytes inside the big entry's compressed data (the central directory stays intact).
    size_t pos = bytes.find("music/big.bin");
    ASSERT_NE(pos, std::string::npos);
    for (size_t i = pos + 20; i < pos + 40 && i < bytes.size(); ++i) {
        bytes[i] = char(bytes[i] ^ 0x5a);
    }
    std::ofstream(zipPath, std::ios::binary | std::ios::trunc) << bytes;
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_TRUE(l.opened);
    uint32_t size = l.fileSize("music/big.bin");
    ASSERT_EQ(size, 100000u);
    std::vector<char> big(size);
    char* p = big.data();
    EXPECT_EQ(l.readFile("music/big.bin", &p), 1);
}

namespace {

// A one-entry archive whose entry is stored (not compressed), so its bytes can be
// changed in place; returns the archive's bytes.
std::string storedArchive(const std::string& path, const std::string& name, const std::string& data)
{
    std::remove(path.c_str());
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
    const zip_int64_t index = zip_file_add(z, name.c_str(), s, 0);
    zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0);
    zip_close(z);
    return readAll(path);
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void putLe32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + size_t(i)] = char((value >> (8 * i)) & 0xff);
    }
}

}  // namespace

// Damage that the directory does not show: the read must fail with the decompression
// error, and the user learns which entry and why. Sizes the directory claims beyond any
// real entry are refused before anyone allocates them.
TEST(LoaderDamage, ChangedBytesAndImpossibleSizesAreRefused)
{
    platform::setBatchMode(true);
    const std::string path = tempPath("damaged.zip");
    const std::string name = "music/track.ogg";
    const std::string data(5000, 'm');
    struct Case {
        const char* what;
        void (*damage)(std::string& bytes, size_t dataAt);
        bool sizeRefused;  // fileSize gives 0
        const char* note;
    } cases[] = {
        {"one byte of the stored data changed", [](std::string& b, size_t at) { b[at + 2500] ^= 0x01; }, false,
         "music/track.ogg: decompressing file error: CRC error"},
        {"CRC field changed in both headers",
         [](std::string& b, size_t) {
             b[14] ^= 0x40;                          // local header
             b[b.find("PK\x01\x02") + 16] ^= 0x40;  // central directory
         },
         false, "music/track.ogg: decompressing file error: CRC error"},
        {"directory claims about 4 GiB",
         [](std::string& b, size_t) {
             putLe32(b, 22, 0xfffffff0u);
             putLe32(b, b.find("PK\x01\x02") + 24, 0xfffffff0u);
         },
         true, "music/track.ogg: refused: its size 4294967280 bytes is above the limit of 268435456"},
        {"directory claims one byte more than stored",
         [](std::string& b, size_t) { putLe32(b, b.find("PK\x01\x02") + 24, 5001); }, false,
         "music/track.ogg: decompressing file error: "},
    };
    for (const Case& c : cases) {
        std::string bytes = storedArchive(path, name, data);
        const size_t dataAt = bytes.find(std::string(16, 'm'));
        ASSERT_NE(dataAt, std::string::npos);
        c.damage(bytes, dataAt);
        writeBytes(path, bytes);
        takeLoadFailures();
        Loader l;
        l.open(path.c_str());
        ASSERT_TRUE(l.opened) << c.what;
        const uint32_t size = l.fileSize(name.c_str());
        if (c.sizeRefused) {
            EXPECT_EQ(size, 0u) << c.what;
        } else {
            ASSERT_GE(size, 5000u) << c.what;
            std::vector<char> buffer(size);
            char* p = buffer.data();
            EXPECT_EQ(l.readFile(name.c_str(), &p), 1) << c.what;
        }
        const std::vector<std::string> notes = takeLoadFailures();
        ASSERT_EQ(notes.size(), 1u) << c.what;
        EXPECT_EQ(notes[0].rfind(c.note, 0), 0u) << c.what << ": " << notes[0];
    }
    // The undamaged archive reads, with nothing noted.
    writeBytes(path, storedArchive(path, name, data));
    Loader l;
    l.open(path.c_str());
    std::vector<char> buffer(l.fileSize(name.c_str()));
    char* p = buffer.data();
    EXPECT_EQ(l.readFile(name.c_str(), &p), 0);
    EXPECT_TRUE(takeLoadFailures().empty());
    std::remove(path.c_str());
}
