// The program with a damaged soundtrack: without the music entry, or with a music
// entry that is not Ogg Vorbis, the demo must run exactly as far as it does with the
// intact archive, only silently. Each run renders one picture offline (batch mode, so
// a message box becomes a line on standard error) with the log on.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* musicPath = "music/drovel-contemplation.ogg";

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int exitCode = -1;
    std::string log;
    std::string errors;
};

class SoundE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = "/tmp/core_sound_e2e_" + std::to_string(getpid());
        ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    // data.zip copied to name, with the music entry removed (replacement null) or replaced.
    std::string archive(const std::string& name, const std::string* replacement)
    {
        std::string path = dir + "/" + name;
        std::ifstream in(CORE_BINARY_DIR "/data.zip", std::ios::binary);
        std::ofstream(path, std::ios::binary) << in.rdbuf();
        int error = 0;
        zip_t* z = zip_open(path.c_str(), 0, &error);
        EXPECT_NE(z, nullptr);
        if (!z) {
            return path;
        }
        zip_int64_t index = zip_name_locate(z, musicPath, ZIP_FL_NOCASE);
        if (replacement) {
            zip_source_t* source = zip_source_buffer(z, replacement->data(), replacement->size(), 0);
            if (index >= 0) {
                EXPECT_EQ(zip_file_replace(z, zip_uint64_t(index), source, 0), 0);
            } else {
                EXPECT_GE(zip_file_add(z, musicPath, source, 0), 0);
            }
        } else if (index >= 0) {
            EXPECT_EQ(zip_delete(z, zip_uint64_t(index)), 0);
        }
        EXPECT_EQ(zip_close(z), 0);
        return path;
    }

    Outcome run(const std::string& data, const std::string& tag)
    {
        std::string out = dir + "/" + tag;
        std::string command = "mkdir -p " + out + " && cd " + out + " && SDL_AUDIODRIVER=dummy " CORE_BINARY_DIR
                              "/coredemo --data " + data + " --shot 0.5 --out " + out + " --log 2>" + out +
                              "/stderr.txt >/dev/null";
        int status = std::system(command.c_str());
        Outcome result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.log = readAll(out + "/Core.log");
        result.errors = readAll(out + "/stderr.txt");
        return result;
    }

    std::string dir;
};

TEST_F(SoundE2E, MissingOrCorruptMusicOnlySilencesTheDemo)
{
    Outcome intact = run(CORE_BINARY_DIR "/data.zip", "intact");
    if (intact.log.find(" sound output: ") == std::string::npos) {
        GTEST_SKIP() << "the program stops before the sound starts here (no display?): " << intact.errors;
    }
    EXPECT_EQ(intact.errors.find("Sound::"), std::string::npos) << intact.errors;
    EXPECT_EQ(intact.log.find(" sound init: no data."), std::string::npos);

    Outcome missing = run(archive("missing.zip", nullptr), "missing");
    EXPECT_EQ(missing.exitCode, intact.exitCode);
    EXPECT_EQ(missing.errors.find("Sound::"), std::string::npos) << missing.errors;  // no box
    EXPECT_NE(missing.log.find("\n sound init: no data.\n"), std::string::npos) << missing.log;

    std::string garbage(200000, '\x5a');
    Outcome corrupt = run(archive("corrupt.zip", &garbage), "corrupt");
    EXPECT_EQ(corrupt.exitCode, intact.exitCode);
    EXPECT_NE(corrupt.errors.find("Sound::init: The music is not a valid Ogg Vorbis stream. "), std::string::npos)
        << corrupt.errors;
    EXPECT_EQ(corrupt.log.find(" sound init: no data."), std::string::npos);
}

}  // namespace
