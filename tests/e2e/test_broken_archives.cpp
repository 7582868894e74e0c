// Broken archives end the program cleanly: each is built here from the generated
// data.zip (entries deleted, emptied, truncated, replaced by garbage, bit-flipped, given
// impossible sizes, edited into data the program cannot draw as meant; archives missing,
// empty, cut or random; the data unpacked into a folder and something other than the
// entry's file put there), run through --shot, and must end with its exit code and a
// line on standard error naming the cause, within the time limit and never by a signal.
// A damaged entry the program can go on with must leave the picture as the undamaged
// archive makes it.
#include "audio/sound.h"
#include "datagen/image.h"
#include "unpack_archive.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zip.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string program = std::string(CORE_BINARY_DIR) + "/coredemo";
const std::string original = std::string(CORE_BINARY_DIR) + "/data.zip";
constexpr int timeLimit = 120;  // seconds per run

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// ---- archive edits through libzip ----

using ZipEdit = std::function<void(zip_t*)>;

void editZip(const std::string& path, const ZipEdit& edit)
{
    int error = 0;
    zip_t* z = zip_open(path.c_str(), 0, &error);
    ASSERT_NE(z, nullptr) << path;
    edit(z);
    ASSERT_EQ(zip_close(z), 0) << zip_strerror(z);
}

std::string entryText(zip_t* z, const char* name)
{
    zip_stat_t st;
    zip_stat(z, name, 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* f = zip_fopen(z, name, 0);
    zip_fread(f, data.data(), data.size());
    zip_fclose(f);
    return data;
}

// Replaces the entry's contents; the data must live until zip_close, so it is kept.
void replaceEntry(zip_t* z, const char* name, const std::string& data)
{
    static std::vector<std::string> kept;
    kept.push_back(data);
    zip_source_t* s = zip_source_buffer(z, kept.back().data(), kept.back().size(), 0);
    zip_file_add(z, name, s, ZIP_FL_OVERWRITE);
}

ZipEdit deleted(const char* name)
{
    return [name](zip_t* z) { zip_delete(z, zip_uint64_t(zip_name_locate(z, name, 0))); };
}
ZipEdit emptied(const char* name)
{
    return [name](zip_t* z) { replaceEntry(z, name, ""); };
}
ZipEdit truncated(const char* name, double keep)
{
    return [name, keep](zip_t* z) {
        const std::string data = entryText(z, name);
        replaceEntry(z, name, data.substr(0, size_t(double(data.size()) * keep)));
    };
}
ZipEdit garbage(const char* name, size_t keepHead = 0)
{
    return [name, keepHead](zip_t* z) {
        std::string data = entryText(z, name);
        std::mt19937 random(7);
        for (size_t i = keepHead; i < data.size(); ++i) {
            data[i] = char(random());
        }
        replaceEntry(z, name, data);
    };
}
ZipEdit withoutPolygons(const char* name)
{
    return [name](zip_t* z) {
        std::string data = entryText(z, name);
        const size_t open = data.find("<polygons>");
        const size_t close = data.find("</polygons>");
        data.erase(open, close + 11 - open);
        replaceEntry(z, name, data);
    };
}

ZipEdit rewritten(const char* name, std::function<std::string(std::string)> edit)
{
    return [name, edit](zip_t* z) { replaceEntry(z, name, edit(entryText(z, name))); };
}
// The text with the first line that contains `part` taken out.
std::function<std::string(std::string)> withoutLineOf(const char* part)
{
    return [part](std::string text) {
        const size_t at = text.find(part);
        const size_t start = text.rfind('\n', at) + 1;
        return text.erase(start, text.find('\n', at) + 1 - start);
    };
}
std::function<std::string(std::string)> replacedText(const char* from, const char* to)
{
    return [from, to](std::string text) { return text.replace(text.find(from), std::strlen(from), to); };
}

// A DDS cube map (six faces of equal size, no mipmaps) that declares and holds only its
// first `faces` faces.
std::function<std::string(std::string)> cubeWithFaces(int faces)
{
    return [faces](std::string dds) {
        const size_t faceBytes = (dds.size() - 128) / 6;
        uint32_t caps2 = 0x200;
        for (int f = 0; f < faces; ++f) {
            caps2 |= 0x400u << f;
        }
        for (int i = 0; i < 4; ++i) {
            dds[112 + size_t(i)] = char(caps2 >> (8 * i));
        }
        return dds.substr(0, 128 + faceBytes * size_t(faces));
    };
}

// A white PNG of width x height, one bit per pixel, written a row at a time (the large
// ones would not fit in memory whole).
std::string whitePng(uint32_t width, uint32_t height)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    const std::vector<png_byte> row((width + 7) / 8, 0xff);
    for (uint32_t y = 0; y < height; ++y) {
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The PNG picture (8-bit RGB) as a GIF of `frames` frames: the picture with its colours
// rounded to a 6 x 6 x 6 cube, then frames of one colour outside the cube.
std::function<std::string(std::string)> gifFrames(int frames)
{
    return [frames](std::string pngBytes) {
        datagen::Image image;
        if (!datagen::decodePng(std::vector<uint8_t>(pngBytes.begin(), pngBytes.end()), image) || image.channels != 3) {
            ADD_FAILURE() << "not an 8-bit RGB PNG";
            return std::string();
        }
        std::string out = "GIF89a";
        auto put16 = [&out](int v) { out += char(v & 0xff), out += char(v >> 8); };
        put16(image.width);
        put16(image.height);
        out += char(0xF7), out += char(0), out += char(0);  // a 256-colour global table
        for (int i = 0; i < 256; ++i) {
            const int rgb[3] = {i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51};
            for (int c = 0; c < 3; ++c) {
                out += char(i < 216 ? rgb[c] : c == 1 ? 0 : 255);
            }
        }
        for (int frame = 0; frame < frames; ++frame) {
            out += char(0x2C);
            put16(0), put16(0), put16(image.width), put16(image.height);
            out += char(0);
            // LZW with 8-bit codes: a clear code before every 100 pixels keeps every code 9 bits.
            out += char(8);
            std::string data;
            uint32_t bits = 0;
            int count = 0;
            auto emit = [&](uint32_t code) {
                bits |= code << count;
                for (count += 9; count >= 8; count -= 8, bits >>= 8) {
                    data += char(bits & 0xff);
                }
            };
            for (size_t p = 0; p < image.pixels.size(); p += 3) {
                if (p / 3 % 100 == 0) {
                    emit(256);
                }
                const uint8_t* c = &image.pixels[p];
                emit(frame > 0 ? 255u : uint32_t((c[0] + 25) / 51 * 36 + (c[1] + 25) / 51 * 6 + (c[2] + 25) / 51));
            }
            emit(257);
            if (count > 0) {
                data += char(bits & 0xff);
            }
            for (size_t at = 0; at < data.size(); at += 255) {
                const std::string block = data.substr(at, 255);
                out += char(block.size());
                out += block;
            }
            out += char(0);
        }
        return out + char(0x3B);
    };
}

// ---- byte edits of the archive file ----

// Offset of the central directory record of `name`.
size_t centralRecord(const std::string& bytes, const std::string& name)
{
    for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4)) {
        const size_t length = uint8_t(bytes[at + 28]) | size_t(uint8_t(bytes[at + 29])) << 8;
        if (bytes.compare(at + 46, length, name) == 0) {
            return at;
        }
    }
    return std::string::npos;
}
uint32_t le32(const std::string& b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
void putLe32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + size_t(i)] = char(v >> (8 * i));
    }
}

using ByteEdit = std::function<void(std::string&)>;

// Both headers of the entry claim an uncompressed size of `size`.
ByteEdit claimedSize(const char* name, uint32_t size)
{
    return [name, size](std::string& b) {
        const size_t central = centralRecord(b, name);
        putLe32(b, central + 24, size);
        putLe32(b, le32(b, central + 42) + 22, size);
    };
}
// Flips one bit in the middle of the entry's data.
ByteEdit bitFlipped(const char* name)
{
    return [name](std::string& b) {
        const size_t central = centralRecord(b, name);
        const size_t local = le32(b, central + 42);
        const size_t dataAt = local + 30 + (uint8_t(b[local + 26]) | size_t(uint8_t(b[local + 27])) << 8) +
                              (uint8_t(b[local + 28]) | size_t(uint8_t(b[local + 29])) << 8);
        b[dataAt + le32(b, central + 20) / 2] ^= 0x10;
    };
}

// ---- edits of the unpacked folder ----

using FolderEdit = std::function<void(const fs::path& data)>;

FolderEdit fifoInPlaceOf(const char* name)
{
    return [name](const fs::path& data) {
        fs::remove(data / name);
        ASSERT_EQ(mkfifo((data / name).c_str(), 0644), 0) << name;
    };
}
FolderEdit folderInPlaceOf(const char* name)
{
    return [name](const fs::path& data) {
        fs::remove(data / name);
        fs::create_directories(data / name / "inside");
    };
}
FolderEdit fileBeside(const char* name, std::string bytes)
{
    return [name, bytes](const fs::path& data) { writeAll((data / name).string(), bytes); };
}

struct Case {
    std::string name;
    int exitCode;
    std::string message;  // a line of standard error holds this
    ZipEdit zipEdit;
    ByteEdit byteEdit;
    std::function<void(const std::string& path)> fileEdit;  // replaces the archive as a whole
    bool samePicture = false;  // the shot matches the one of the archive `reference` makes
    ZipEdit reference = {};    // (none: the undamaged archive), with one more line said
    FolderEdit folderEdit = {};  // runs with --data on the archive unpacked and edited so
};

struct Outcome {
    int exitCode = -1;  // -1: killed at the time limit; 128 + n: signal n
    std::string err;
    double seconds = 0.0;
};

// --shot 1 in `folder`, from the data.zip found there or, with `dataFolder`, from its folder "data".
Outcome run(const std::string& folder, bool dataFolder = false)
{
    const std::string errPath = folder + "/stderr.txt";
    std::vector<const char*> args = {program.c_str(), "--shot", "1", "--output", "none", "--width", "256",
                                     "--height", "144", "--out", "shots"};
    if (dataFolder) {
        args.insert(args.end(), {"--data", "data"});
    }
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        const int out = open("/dev/null", O_WRONLY);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        execv(program.c_str(), const_cast<char* const*>(args.data()));
        _exit(127);
    }
    Outcome outcome;
    int status = 0;
    const auto deadline = start + std::chrono::seconds(timeLimit);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (status != -1) {
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.err = readAll(errPath);
    return outcome;
}

// Whether two shots show the same picture, within what rendering the same frame twice
// may vary: at most 0.25 % of the pixels differ by more than 24 in a channel.
bool samePicture(const std::string& aPath, const std::string& bPath, std::string* why)
{
    const std::string a = readAll(aPath), b = readAll(bPath);
    datagen::Image x, y;
    if (!datagen::decodePng(std::vector<uint8_t>(a.begin(), a.end()), x) ||
        !datagen::decodePng(std::vector<uint8_t>(b.begin(), b.end()), y) || x.width != y.width ||
        x.height != y.height || x.channels != y.channels) {
        *why = "no shot, or shots of different sizes";
        return false;
    }
    size_t differing = 0;
    for (size_t p = 0; p < x.pixels.size(); p += size_t(x.channels)) {
        for (int c = 0; c < x.channels; ++c) {
            if (std::abs(int(x.pixels[p + size_t(c)]) - int(y.pixels[p + size_t(c)])) > 24) {
                ++differing;
                break;
            }
        }
    }
    const size_t pixels = size_t(x.width) * size_t(x.height);
    *why = std::to_string(differing) + " of " + std::to_string(pixels) + " pixels differ";
    return differing * 400 <= pixels;
}

// The lines of standard error that are not the sound library's chatter.
std::string messages(const std::string& err)
{
    std::stringstream in(err);
    std::string line, result;
    while (std::getline(in, line)) {
        if (line.rfind("ALSA lib", 0) != 0) {
            result += (result.empty() ? "" : " | ") + line;
        }
    }
    return result;
}

size_t messageLines(const std::string& err)
{
    std::stringstream in(err);
    std::string line;
    size_t count = 0;
    while (std::getline(in, line)) {
        count += line.rfind("ALSA lib", 0) != 0;
    }
    return count;
}

}  // namespace

TEST(BrokenArchives, EachEndsWithItsExitCodeAndNamesTheCause)
{
    if (!std::getenv("DISPLAY")) {
        GTEST_SKIP() << "needs a display";
    }
    const std::string music = Sound::musicPath;
    const std::vector<Case> cases = {
        {"effect file deleted", 1, "coredemo: shaders/blobs_render.cgfx: file not found", deleted("shaders/blobs_render.cgfx"), {}, {}},
        {"effect file empty", 1, "coredemo: shaders/bloom-final.cgfx: error, file size 0", emptied("shaders/bloom-final.cgfx"), {}, {}},
        {"effect file truncated", 1, "coredemo: shaders/blobs_render.cgfx: creating effect error", truncated("shaders/blobs_render.cgfx", 0.5), {}, {}},
        {"effect file garbage", 1, "coredemo: shaders/post_mixer.cgfx: creating effect error", garbage("shaders/post_mixer.cgfx"), {}, {}},
        {"PNG deleted", 1, "coredemo: textures/virus-ao1024.png: file not found", deleted("textures/virus-ao1024.png"), {}, {}},
        {"PNG corrupt", 1, "coredemo: textures/virus-ao1024.png: ilLoadL errorcode", garbage("textures/virus-ao1024.png", 8), {}, {}},
        {"DDS empty", 1, "coredemo: textures/living_room.dds: error, file size 0", emptied("textures/living_room.dds"), {}, {}},
        {"DDS corrupt", 1, "coredemo: textures/living_room.dds: ilLoadL errorcode", garbage("textures/living_room.dds"), {}, {}},
        // Only the scene companion uses the JPEG, and the demo goes on without it.
        {"JPEG corrupt", 0, "coredemo: textures/overlay08.jpg: ilLoadL errorcode", garbage("textures/overlay08.jpg", 2), {}, {}},
        {"quad mesh deleted", 1, "coredemo: objects/quad.mmf: file not found", deleted("objects/quad.mmf"), {}, {}},
        {"quad mesh truncated", 1, "coredemo: objects/quad.mmf: mesh rejected", truncated("objects/quad.mmf", 0.3), {}, {}},
        {"cube mesh empty", 1, "coredemo: objects/cube_env100out.mmf: file error, size 0", emptied("objects/cube_env100out.mmf"), {}, {}},
        {"cube mesh without polygons", 1, "coredemo: objects/cube_env100out.mmf: mesh rejected: no triangles", withoutPolygons("objects/cube_env100out.mmf"), {}, {}},
        {"virus mesh garbage", 1, "coredemo: objects/virus.mmf: mesh rejected: no triangles", garbage("objects/virus.mmf"), {}, {}},
        {"virus mesh truncated", 1, "coredemo: objects/virus.mmf: mesh rejected", truncated("objects/virus.mmf", 0.5), {}, {}},
        {"deflated entry bit-flipped", 1, "coredemo: textures/living_room.dds: decompressing file error", {}, bitFlipped("textures/living_room.dds"), {}},
        {"stored PNG bit-flipped", 1, "coredemo: textures/overlay01.png: decompressing file error: CRC error", {}, bitFlipped("textures/overlay01.png"), {}},
        {"entry claims 4 GiB", 1, "coredemo: textures/living_room_diff.dds: refused: its size 4294967040 bytes", {}, claimedSize("textures/living_room_diff.dds", 0xffffff00u), {}},
        {"music deleted", 0, "coredemo: " + music + ": file not found; playing without music", deleted(music.c_str()), {}, {}},
        {"music empty", 0, "coredemo: " + music + ": sound init: no data; playing without music", emptied(music.c_str()), {}, {}},
        {"music bit-flipped", 0, "coredemo: " + music + ": decompressing file error: CRC error; playing without music", {}, bitFlipped(music.c_str()), {}},
        {"music claims 4 GiB", 0, "coredemo: " + music + ": refused: its size", {}, claimedSize(music.c_str(), 0xffffff00u), {}},
        // Data the program used to draw wrongly without a word.
        {"quad mesh without its texture source line", 0,
         "coredemo: objects/quad.mmf: a texture item without its source line, skipped",
         rewritten("objects/quad.mmf", withoutLineOf("<source>")), {}, {}, true},
        {"scene sampler the effect does not have", 1,
         "coredemo: shaders/scene_dusk_stone.cgfx: the scene binds texture 4 to \"texDetial\", which is not a "
         "sampler of this effect",
         rewritten("wizard.xml", replacedText("<name>texDetail</name>", "<name>texDetial</name>")), {}, {}},
        {"virus mesh cut at 90 %", 1,
         "coredemo: objects/virus.mmf: mesh rejected: the file ends inside <polygons> (cut short)",
         truncated("objects/virus.mmf", 0.9), {}, {}},
        {"picture one texel wider than any texture", 1,
         "coredemo: textures/virus-ao1024.png: refused: a 16385x4 picture is larger than the largest texture",
         rewritten("textures/virus-ao1024.png", [](std::string) { return whitePng(16385, 4); }), {}, {}},
        {"picture of 20000 x 20000", 1,
         "coredemo: textures/virus-ao1024.png: refused: a 20000x20000 picture is larger than the largest texture",
         rewritten("textures/virus-ao1024.png", [](std::string) { return whitePng(20000, 20000); }), {}, {}},
        {"cube map declaring 3 faces", 1,
         "coredemo: textures/living_room.dds: refused: a DDS cube map declaring 3 of its 6 faces",
         rewritten("textures/living_room.dds", cubeWithFaces(3)), {}, {}},
        {"cube map declaring 5 faces", 1,
         "coredemo: textures/living_room.dds: refused: a DDS cube map declaring 5 of its 6 faces",
         rewritten("textures/living_room.dds", cubeWithFaces(5)), {}, {}},
        {"six-frame picture in a 2D slot", 0,
         "coredemo: textures/wizard_sky.png: 6 images in the file: only the first is used",
         rewritten("textures/wizard_sky.png", gifFrames(6)), {}, {}, true,
         rewritten("textures/wizard_sky.png", gifFrames(1))},
        // A data folder with something other than the entry's file where it is looked for.
        {"two names that differ only in letter case", 1,
         "Loader::loader: Data folder refused: textures/WIZARD_LAND.png and textures/wizard_land.png differ only "
         "in letter case.",
         {}, {}, {}, false, {}, fileBeside("textures/WIZARD_LAND.png", whitePng(16, 16))},
        {"a FIFO in a picture's place", 1,
         "coredemo: textures/virus-ao1024.png: data/textures/virus-ao1024.png is not a regular file (a FIFO)",
         {}, {}, {}, false, {}, fifoInPlaceOf("textures/virus-ao1024.png")},
        {"a folder in a mesh's place", 1,
         "coredemo: objects/quad.mmf: data/objects/quad.mmf is not a regular file (a folder)",
         {}, {}, {}, false, {}, folderInPlaceOf("objects/quad.mmf")},
        {"archive missing", 1, "Loader::loader: Data file not found.", {}, {}, [](const std::string& p) { std::remove(p.c_str()); }},
        {"archive of zero bytes", 1, "Loader::loader: Data file not found.", {}, {}, [](const std::string& p) { writeAll(p, ""); }},
        {"archive truncated", 1, "Loader::loader: Data file not found.", {}, {},
         [](const std::string& p) { const std::string b = readAll(p); writeAll(p, b.substr(0, b.size() / 2)); }},
        {"archive of random bytes", 1, "Loader::loader: Data file not found.", {}, {},
         [](const std::string& p) {
             std::mt19937 random(3);
             std::string b(1 << 16, '\0');
             for (char& c : b) {
                 c = char(random());
             }
             writeAll(p, b);
         }},
    };

    char dirName[] = "/tmp/core-broken-XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string folder = dirName;
    const std::string archive = folder + "/data.zip";
    std::ostringstream table;
    table << "case | exit code | message\n";
    // The undamaged archive's picture and words, for the cases that go on.
    writeAll(archive, readAll(original));
    const Outcome undamaged = run(folder);
    ASSERT_EQ(undamaged.exitCode, 0) << messages(undamaged.err);
    const std::string shot = folder + "/shots/shot-1.png";
    const std::string undamagedShot = folder + "/undamaged.png";
    ASSERT_EQ(std::rename(shot.c_str(), undamagedShot.c_str()), 0);
    const fs::path unpacked = folder + "/unpacked", data = folder + "/data";
    ASSERT_NO_FATAL_FAILURE(unpackArchive(original, unpacked));
    for (const Case& c : cases) {
        std::string expectedShot = undamagedShot;
        if (c.reference) {
            writeAll(archive, readAll(original));
            ASSERT_NO_FATAL_FAILURE(editZip(archive, c.reference)) << c.name;
            std::remove(shot.c_str());
            EXPECT_EQ(run(folder).exitCode, 0) << c.name << ": the reference archive";
            expectedShot = folder + "/reference.png";
            std::rename(shot.c_str(), expectedShot.c_str());
        }
        std::remove(shot.c_str());
        writeAll(archive, readAll(original));
        if (c.zipEdit) {
            ASSERT_NO_FATAL_FAILURE(editZip(archive, c.zipEdit)) << c.name;
        }
        if (c.byteEdit) {
            std::string bytes = readAll(archive);
            c.byteEdit(bytes);
            writeAll(archive, bytes);
        }
        if (c.fileEdit) {
            c.fileEdit(archive);
        }
        if (c.folderEdit) {
            fs::remove_all(data);
            fs::copy(unpacked, data, fs::copy_options::recursive);
            ASSERT_NO_FATAL_FAILURE(c.folderEdit(data)) << c.name;
        }
        const Outcome outcome = run(folder, bool(c.folderEdit));
        const std::string said = messages(outcome.err);
        table << c.name << " | " << outcome.exitCode << " | " << said << "\n";
        EXPECT_NE(outcome.exitCode, -1) << c.name << ": still running after " << timeLimit << " s";
        EXPECT_LT(outcome.exitCode, 128) << c.name << ": ended by a signal";
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name << ": " << said;
        EXPECT_NE(("\n" + outcome.err).find("\n" + c.message), std::string::npos)
            << c.name << ": expected a line starting \"" << c.message << "\", got: " << said;
        if (c.samePicture) {
            std::string why;
            EXPECT_TRUE(samePicture(expectedShot, shot, &why)) << c.name << ": " << why;
            EXPECT_EQ(messageLines(outcome.err), messageLines(undamaged.err) + 1)
                << c.name << ": one line more than the undamaged archive makes: " << said;
        }
    }
    std::cout << table.str();
    std::system(("rm -rf '" + folder + "'").c_str());
}
