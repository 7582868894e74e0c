// The asset pipeline: registry, file encoders, text sources, sprites and overlays,
// and determinism of what ends up in the archive.
#include "datagen/asset.h"
#include "datagen/icon.h"
#include "datagen/image.h"
#include "datagen/overlays.h"
#include "datagen/preview.h"
#include "datagen/sprites.h"
#include "datagen/zip_writer.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

using datagen::Asset;
using datagen::Image;

namespace {

datagen::Context sourceContext()
{
    datagen::Context context;
    context.dataDir = std::string(CORE_SOURCE_DIR) + "/data";
    return context;
}

std::vector<Asset> run(const char* generatorName)
{
    std::vector<Asset> out;
    for (const datagen::Generator& g : datagen::registry()) {
        if (std::string(g.name) == generatorName) {
            g.run(sourceContext(), out);
        }
    }
    return out;
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(Registry, GeneratorNamesAreUnique)
{
    std::set<std::string> names;
    for (const datagen::Generator& g : datagen::registry()) {
        EXPECT_TRUE(names.insert(g.name).second) << g.name;
        EXPECT_NE(g.run, nullptr) << g.name;
    }
    EXPECT_TRUE(names.count("textures/particle"));
    EXPECT_TRUE(names.count("textures/overlay"));
}

TEST(Encoders, PngRoundTripsEveryChannelCount)
{
    for (int channels = 1; channels <= 4; ++channels) {
        Image image(13, 7, channels);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            image.pixels[i] = uint8_t(i * 37);
        }
        Image back;
        ASSERT_TRUE(datagen::decodePng(datagen::encodePng(image), back));
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(back.pixels, image.pixels);
    }
}

TEST(Encoders, JpegIsCloseAndDecodersRefuseGarbage)
{
    Image image(64, 32, 3);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            image.at(x, y)[0] = uint8_t(x * 4);
            image.at(x, y)[1] = uint8_t(y * 8);
            image.at(x, y)[2] = 128;
        }
    }
    Image back;
    ASSERT_TRUE(datagen::decodeJpeg(datagen::encodeJpeg(image, 95), back));
    ASSERT_EQ(back.width, 64);
    double error = 0;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        error += std::abs(int(image.pixels[i]) - int(back.pixels[i]));
    }
    EXPECT_LT(error / image.pixels.size(), 3.0);
    std::vector<uint8_t> garbage = {0xFF, 0xD8, 0xFF, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(datagen::decodeJpeg(garbage, back));
    EXPECT_FALSE(datagen::decodePng(garbage, back));
    EXPECT_FALSE(datagen::decodePng({}, back));
}

TEST(TextSources, CommentsBlankLinesAndLineEndsAreDropped)
{
    std::string dir = std::string(CORE_BINARY_DIR) + "/test_datagen_text";
    std::remove((dir + "/t.txt").c_str());
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    {
        std::ofstream out(dir + "/t.txt", std::ios::binary);
        out << "# comment\r\n\r\n  code = someone \r\nlast line without end";
    }
    datagen::Context context;
    context.dataDir = dir;
    std::vector<std::string> lines = datagen::readTextLines(context, "t.txt");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "code = someone");
    EXPECT_EQ(lines[1], "last line without end");
    EXPECT_THROW(datagen::readTextLines(context, "missing.txt"), std::runtime_error);
}

TEST(Sprites, RealAlphaThatVanishesAtTheBorder)
{
    std::vector<Asset> sprites = run("textures/particle");
    ASSERT_EQ(sprites.size(), 8u);
    for (size_t i = 0; i < sprites.size(); ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "textures/particle%02zu.png", i + 1);
        EXPECT_EQ(sprites[i].name, expected);
        Image image;
        ASSERT_TRUE(datagen::decodePng(sprites[i].bytes, image));
        ASSERT_EQ(image.channels, 4);
        EXPECT_TRUE(image.width >= 64 && image.width <= 128 && image.height == image.width);
        int border = 0, peak = 0, partial = 0;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                int a = image.at(x, y)[3];
                if (x == 0 || y == 0 || x == image.width - 1 || y == image.height - 1) {
                    border = std::max(border, a);
                }
                peak = std::max(peak, a);
                partial += a > 0 && a < 255;
            }
        }
        EXPECT_EQ(border, 0) << expected;
        EXPECT_GT(peak, 110) << expected;
        EXPECT_GT(partial, image.width) << expected;  // soft edges, not a cut-out
    }
}

TEST(Overlays, SizesTransparencyAndTheOpaquePicture)
{
    std::vector<Asset> overlays = run("textures/overlay");
    std::map<std::string, Image> byName;
    for (const Asset& a : overlays) {
        Image image;
        bool ok = a.name.size() > 4 && a.name.compare(a.name.size() - 4, 4, ".jpg") == 0
                      ? datagen::decodeJpeg(a.bytes, image)
                      : datagen::decodePng(a.bytes, image);
        ASSERT_TRUE(ok) << a.name;
        EXPECT_GE(image.width, 1024) << a.name;
        EXPECT_EQ(image.width * 9, image.height * 16) << a.name;
        byName[a.name] = image;
    }
    ASSERT_EQ(byName.size(), 5u);
    EXPECT_EQ(byName["textures/overlay08.jpg"].channels, 3);
    for (const char* name : {"textures/overlay01.png", "textures/overlay-bornto.png", "textures/overlay-credits.png",
                             "textures/overlay-spiritblack.png"}) {
        const Image& image = byName[name];
        ASSERT_EQ(image.channels, 4) << name;
        int transparent = 0, solid = 0;
        for (size_t i = 3; i < image.pixels.size(); i += 4) {
            transparent += image.pixels[i] < 20;
            solid += image.pixels[i] > 200;
        }
        int total = image.width * image.height;
        EXPECT_GT(transparent, total / 5) << name;  // the part below shows through
        EXPECT_GT(solid, 200) << name;               // marks and letters are there
    }
    // The frame's centre is clear, its corner brackets are not.
    const Image& frame = byName["textures/overlay01.png"];
    EXPECT_EQ(frame.at(frame.width / 4, frame.height / 4)[3], 0);
    EXPECT_GT(frame.at(29, 29)[3], 200);
}

// The hicolor names the install expects; each picture a rounded tile (clear corners)
// with the accent square at its centre and the ring open to the right; the SVG draws
// the same colours.
TEST(Icons, LayoutTileRingAndMarkAtEverySize)
{
    const std::vector<Asset> icons = datagen::generateIcons();
    ASSERT_EQ(icons.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        const int size = datagen::iconSizes[i];
        const Asset& icon = icons[i];
        EXPECT_EQ(icon.name, std::to_string(size) + "x" + std::to_string(size) + "/apps/coredemo.png");
        Image image;
        ASSERT_TRUE(datagen::decodePng(icon.bytes, image)) << icon.name;
        ASSERT_EQ(image.width, size);
        ASSERT_EQ(image.height, size);
        ASSERT_EQ(image.channels, 4);
        EXPECT_EQ(image.at(0, 0)[3], 0) << icon.name;
        EXPECT_EQ(image.at(size - 2, size - 2)[3], 0) << icon.name;
        const uint8_t* core = image.at(size / 2, size / 2);
        EXPECT_EQ(std::vector<int>({core[0], core[1], core[2], core[3]}), std::vector<int>({255, 115, 31, 255}))
            << icon.name;
        const int ring = int(size * 66.0f / 256.0f);
        const uint8_t* left = image.at(size / 2 - ring, size / 2);
        const uint8_t* gap = image.at(size / 2 + ring, size / 2);
        EXPECT_GT(left[0] + left[1] + left[2], 600) << icon.name;  // the pale ring
        EXPECT_LT(gap[0] + gap[1] + gap[2], 450) << icon.name;     // the opening
    }
    EXPECT_EQ(icons[3].name, "scalable/apps/coredemo.svg");
    const std::string svg(icons[3].bytes.begin(), icons[3].bytes.end());
    EXPECT_NE(svg.find("viewBox=\"0 0 256 256\""), std::string::npos);
    EXPECT_NE(svg.find("fill=\"#ff731f\""), std::string::npos);
    EXPECT_NE(svg.find("stroke=\"#fad99e\""), std::string::npos);
    EXPECT_EQ(datagen::generateIcons()[0].bytes, icons[0].bytes);
}

TEST(Determinism, GeneratorsAndTheZipWriterRepeatThemselves)
{
    std::vector<Asset> a = run("textures/overlay"), b = run("textures/overlay");
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].bytes, b[i].bytes) << a[i].name;
    }
    std::vector<Asset> sprites = run("textures/particle");
    std::string first = std::string(CORE_BINARY_DIR) + "/test_datagen_a.zip";
    std::string second = std::string(CORE_BINARY_DIR) + "/test_datagen_b.zip";
    ASSERT_EQ(datagen::writeZip(first, sprites), "");
    ASSERT_EQ(datagen::writeZip(second, sprites), "");
    EXPECT_EQ(readFile(first), readFile(second));
    std::remove(first.c_str());
    std::remove(second.c_str());
}

TEST(Determinism, ArchiveMatchesAFreshRunOfEveryGenerator)
{
    // data.zip was written by the datagen program (its own process, generators in
    // parallel); running every generator again here must give the same bytes.
    std::string path = std::string(CORE_BINARY_DIR) + "/data.zip";
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) {
        GTEST_SKIP() << "no data.zip in the build folder";
    }
    std::vector<Asset> fresh;
    for (const datagen::Generator& g : datagen::registry()) {
        g.run(sourceContext(), fresh);
    }
    EXPECT_EQ(zip_int64_t(fresh.size()), zip_get_num_entries(archive, 0));
    for (const Asset& asset : fresh) {
        zip_stat_t stat;
        ASSERT_EQ(zip_stat(archive, asset.name.c_str(), 0, &stat), 0) << asset.name << " missing";
        std::vector<uint8_t> stored(stat.size);
        zip_file_t* file = zip_fopen(archive, asset.name.c_str(), 0);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(zip_fread(file, stored.data(), stat.size), zip_int64_t(stat.size));
        zip_fclose(file);
        EXPECT_TRUE(stored == asset.bytes) << asset.name << " differs between runs";
    }
    zip_close(archive);
}

TEST(Previews, MeshesAndCubeMapsGetPictures)
{
    std::string mmf = "<MMF>\n<points>\n0 0 0\n1 0 0\n0 1 0\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
                      "<polygons>\n0 1 2\n</polygons>\n</MMF>\n";
    Image picture;
    ASSERT_TRUE(datagen::renderMeshPreview(std::vector<uint8_t>(mmf.begin(), mmf.end()), picture));
    EXPECT_EQ(picture.width, 3 * picture.height);
    std::string broken = "<MMF>\n<points>\n0 0 0\n</points>\n<polygons>\n0 1 2\n</polygons>\n";
    EXPECT_FALSE(datagen::renderMeshPreview(std::vector<uint8_t>(broken.begin(), broken.end()), picture));
    Asset sound{"music/x.ogg", {1, 2, 3}};
    EXPECT_FALSE(datagen::previewAsset(sound, picture));
}

TEST(Program, OnlyPreviewAndExitCodes)
{
    const std::string program = std::string(CORE_BINARY_DIR) + "/tools/datagen/datagen";
    if (!std::ifstream(program)) {
        GTEST_SKIP() << "datagen not built";
    }
    const std::string dir = std::string(CORE_BINARY_DIR) + "/test_datagen_program";
    const std::string data = std::string(" --data ") + CORE_SOURCE_DIR + "/data";
    ASSERT_EQ(system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
    std::string run = program + data + " --only 'textures/particle' --out " + dir + "/subset.zip --preview " + dir +
                      "/preview > " + dir + "/log.txt";
    ASSERT_EQ(system(run.c_str()), 0);
    int error = 0;
    zip_t* archive = zip_open((dir + "/subset.zip").c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(zip_get_num_entries(archive, 0), 8);
    zip_close(archive);
    EXPECT_TRUE(std::ifstream(dir + "/preview/contact.png").good());
    EXPECT_TRUE(std::ifstream(dir + "/preview/textures_particle05.png.png").good());
    std::ifstream log(dir + "/log.txt");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("textures/particle08.png"), std::string::npos);  // a progress line per entry
    // No match, a bad option, an unwritable archive: failures, and no archive is claimed.
    EXPECT_EQ(WEXITSTATUS(system((program + data + " --only 'nothing/*' --out " + dir + "/x.zip 2>/dev/null").c_str())), 1);
    EXPECT_EQ(WEXITSTATUS(system((program + " --bogus 2>/dev/null").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(system((program + data + " --only 'textures/particle' --out /nonexistent/dir/x.zip > /dev/null 2>&1").c_str())), 1);
    EXPECT_FALSE(std::ifstream(dir + "/x.zip").good());
}
