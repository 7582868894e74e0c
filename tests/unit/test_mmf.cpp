#include "base/log.h"
#include "datagen/basic_meshes.h"
#include "datagen/mmf_writer.h"
#include "log_capture.h"
#include "platform/platform.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/mesh.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const exampleFile =
    "<MMF>\n<points>\n-1.0 -1.0 0.0\n1.0 -1.0 0.0\n0.0 1.0 0.0\n</points>\n"
    "<normals>\n0.0 0.0 1.0\n0.0 0.0 1.0\n0.0 0.0 1.0\n</normals>\n"
    "<uvs>\n0.0 0.0\n1.0 0.0\n0.5 1.0\n</uvs>\n<polygons>\n0 1 2\n</polygons>\n"
    "<textures>\n<item>\n<source>textures/example.png</source>\n</item>\n</textures>\n</MMF>\n";

Mesh parse(const std::string& text)
{
    char line[256];
    Mesh mesh;
    parseMmf(text.data(), text.size(), line, mesh);
    return mesh;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

void expectExample(const Mesh& m)
{
    EXPECT_EQ(m.points, (std::vector<float>{-1, -1, 0, 1, -1, 0, 0, 1, 0}));
    EXPECT_EQ(m.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(m.uvs, (std::vector<float>{0, 0, 1, 0, 0.5f, 1}));
    EXPECT_EQ(m.polygons, (std::vector<int32_t>{0, 1, 2}));
    ASSERT_EQ(m.textures.size(), 1u);
    EXPECT_EQ(m.textures[0].id, 0);
    EXPECT_EQ(m.textures[0].path, "textures\\example.png");
}

}  // namespace

TEST(MmfParse, ExampleFileWithLineFeedsOrCarriageReturns)
{
    expectExample(parse(exampleFile));
    expectExample(parse(replaceAll(exampleFile, "\n", "\r\n")));
}

TEST(MmfParse, TexturePathsAndItemsOutsideTheFormat)
{
    Mesh m = parse("<textures>\n<item>\n<source>a/b/c.dds</source>\n</item>\n"
                   "<item>\nno source here\n"      // skipped; the line is looked at again
                   "<item>\n<source>x.png\n</item>\n"  // no closing source tag: skipped
                   "<item>\n</source>y<source>\n"      // tags in the wrong order: skipped
                   "<item>\n<source></source>\n</item>\n"
                   "</textures>\n<points>\n1 2 3\n</points>\n");
    ASSERT_EQ(m.textures.size(), 2u);
    EXPECT_EQ(m.textures[0].path, "a\\b\\c.dds");
    EXPECT_EQ(m.textures[1].path, "");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3})) << "the textures section must end at its closer";

    // An item directly followed by the closer does not swallow the closer.
    m = parse("<textures>\n<item>\n</textures>\n<points>\n4 5 6\n</points>\n");
    EXPECT_TRUE(m.textures.empty());
    EXPECT_EQ(m.points, (std::vector<float>{4, 5, 6}));
}

TEST(MmfParse, SurfacesAreSkippedAndTagsMatchAnywhereInTheLine)
{
    std::string surfaces = "<surfaces>\n";
    for (int i = 0; i < 1000; ++i) {
        surfaces += "<points>\n7 7 7\n<polygons>\n";
    }
    surfaces += "</surfaces>\n";
    Mesh m = parse("<MMF>\n" + surfaces + "<surfaces></surfaces>\n  xx<points>yy\n1 2 3\n</points>\n</MMF>");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));
    EXPECT_TRUE(m.polygons.empty());

    // The line that closes a section is tested for the next opener; the opener line is
    // never its own closer.
    m = parse("<points></points>\n1 2 3\n</points><normals>\n0 0 1\n</normals>\n<POINTS>\n9 9 9\n");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(m.normals, (std::vector<float>{0, 0, 1}));
}

TEST(MmfParse, EndOfDataEndsTheFileAndAnOpenSection)
{
    Mesh m = parse("<points>\n1 2 3\n</points>\n<polygons>\n0 0 0\n1 1 1");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(m.polygons, (std::vector<int32_t>{0, 0, 0, 1, 1, 1}));

    m = parse("<textures>\n<item>\n");
    EXPECT_TRUE(m.textures.empty());
    m = parse("<surfaces>\nabc");
    EXPECT_TRUE(m.points.empty());
    m = parse("");
    EXPECT_TRUE(m.points.empty() && m.polygons.empty() && m.textures.empty());

    // Nothing after the end tag is read.
    m = parse("<points>\n1 2 3\n</points>\n</MMF>\n<points>\n4 5 6\n</points>\n");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));
}

TEST(MmfParse, TellsWhereTheFileStoppedInsideASectionAndWhichItemsHadNoSource)
{
    const std::string longLine(256, '1');
    const struct {
        std::string text;
        const char* openSection;
        bool longLine;
        int itemsWithoutSource;
    } cases[] = {
        {exampleFile, nullptr, false, 0},
        {"<points>\n1 2 3\n</points>", nullptr, false, 0},  // no </MMF>: whole all the same
        {"<points>\n1 2 3\n</points>\n" + longLine + "\n", nullptr, false, 0},  // stops between sections
        {"<points>\n1 2 3\n</points>\n<polygons>\n0 0 0\n1 1 1", "<polygons>", false, 0},
        {"<points>\n1 2 3\n" + longLine + "\n</points>\n", "<points>", true, 0},
        {"<normals>\n", "<normals>", false, 0},
        {"<uvs>\n0 0\n", "<uvs>", false, 0},
        {"<surfaces>\nabc", "<surfaces>", false, 0},
        {"<textures>\n<item>\n", "<textures>", false, 0},
        {"<textures>\n<item>\n</item>\n<item>\nx\n</textures>\n", nullptr, false, 2},
    };
    for (const auto& c : cases) {
        char line[256];
        Mesh mesh;
        const MmfDefects defects = parseMmf(c.text.data(), c.text.size(), line, mesh);
        EXPECT_STREQ(defects.openSection, c.openSection) << c.text;
        EXPECT_EQ(defects.longLine, c.longLine) << c.text;
        EXPECT_EQ(defects.itemsWithoutSource, c.itemsWithoutSource) << c.text;
        EXPECT_EQ(defects.any(), c.openSection != nullptr || c.itemsWithoutSource > 0) << c.text;
    }
}

TEST(MmfParse, LinesUpTo255CharactersAreReadAndLongerOnesStopTheParse)
{
    std::string fits = "1 2 3" + std::string(250, ' ');  // 255 characters
    Mesh m = parse("<points>\n" + fits + "\n" + fits + "\r\n</points>\n");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(m.points.size(), 3u) << "255 characters plus a carriage return is one too many";

    std::string tooLong(256, 'x');
    m = parse("<points>\n1 2 3\n</points>\n" + tooLong + "\n<normals>\n0 0 1\n</normals>\n");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));
    EXPECT_TRUE(m.normals.empty());

    m = parse("<points>\n1 2 3\n" + std::string(100000, '7') + "\n4 5 6\n</points>\n");
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3}));

    // A last line of exactly 255 characters without a newline is still read.
    m = parse("<polygons>\n" + std::string("1 2 3") + std::string(250, ' '));
    EXPECT_EQ(m.polygons, (std::vector<int32_t>{1, 2, 3}));
}

TEST(MmfParse, NumberLinesAlwaysAppendAFullSet)
{
    Mesh m = parse("<points>\n+1.5e2 -2.5E-1 .5\n1.0 abc 2\n\n3 4\n</points>\n"
                   "<uvs>\n7\n1e40 -1e40\n</uvs>\n"
                   "<polygons>\n-1 +2 3.9\nx 1 2\n99999999999 -99999999999 0\n</polygons>\n");
    ASSERT_EQ(m.points.size(), 12u);
    EXPECT_EQ(std::vector<float>(m.points.begin(), m.points.begin() + 3), (std::vector<float>{150, -0.25f, 0.5f}));
    EXPECT_EQ(m.points[3], 1.0f);
    EXPECT_EQ(m.points[4], 0.0f);
    EXPECT_EQ(m.points[5], 0.0f) << "values after the first that fails are 0";
    EXPECT_EQ(std::vector<float>(m.points.begin() + 6, m.points.end()), (std::vector<float>{0, 0, 0, 3, 4, 0}));
    ASSERT_EQ(m.uvs.size(), 4u);
    EXPECT_EQ(m.uvs[0], 7.0f);
    EXPECT_EQ(m.uvs[1], 0.0f);
    EXPECT_TRUE(std::isinf(m.uvs[2]) && m.uvs[2] > 0);
    EXPECT_TRUE(std::isinf(m.uvs[3]) && m.uvs[3] < 0);
    EXPECT_EQ(m.polygons, (std::vector<int32_t>{-1, 2, 3, 0, 0, 0, 2147483647, -2147483647 - 1, 0}));
}

TEST(MmfParse, BinaryGarbageAndZeroBytesAreHarmless)
{
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += char(state >> 16);
    }
    parse(garbage);
    parse("<points>\n" + garbage);
    // A zero byte ends what the tag search sees of a line.
    static const char withZero[] = "<points>\n1 2 3\n\0</points>\n4 5 6\n</points>\n";
    Mesh m = parse(std::string(withZero, sizeof withZero - 1));
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3, 0, 0, 0, 4, 5, 6}));
}

namespace {

// A single triangle without texture coordinates.
const char* const otherFile =
    "<points>\n5 5 5\n6 5 5\n5 6 5\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
    "<polygons>\n0 1 2\n</polygons>\n";

// Meshes no part could draw: each fails its load with the reason noted for the user.
struct BrokenMesh {
    const char* name;
    const char* text;
    const char* reason;
};
const BrokenMesh brokenMeshes[] = {
    {"objects/nothing.mmf", "<MMF>\n</MMF>\n", "mesh rejected: no triangles"},
    {"objects/garbage.mmf", "\x13\x37 binary \xff\xfe junk\n\x01\x02", "mesh rejected: no triangles"},
    {"objects/no_polygons.mmf", "<points>\n0 0 0\n</points>\n<normals>\n0 0 1\n</normals>\n",
     "mesh rejected: no triangles"},
    {"objects/outside.mmf",
     "<points>\n0 0 0\n1 0 0\n0 1 0\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
     "<polygons>\n0 1 3\n</polygons>\n",
     "mesh rejected: index outside the vertices"},
    {"objects/truncated.mmf",
     "<points>\n0 0 0\n1 0 0\n0 1 0\n</points>\n<normals>\n0 0 1\n</normals>\n<polygons>\n0 1 2\n</polygons>\n",
     "mesh rejected: fewer normals than points"},
    {"objects/untextured.mmf",
     "<points>\n0 0 0\n1 0 0\n0 1 0\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
     "<polygons>\n0 1 2\n</polygons>\n<textures>\n<item>\n<source>a.png</source>\n</item>\n</textures>\n",
     "mesh rejected: texture coordinates missing"},
    // Cut short: the last line still makes a whole (wrong) triangle, the closer is missing.
    {"objects/cut.mmf",
     "<points>\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
     "<polygons>\n0 1 2\n1 3",
     "mesh rejected: the file ends inside <polygons> (cut short)"},
    {"objects/cut_in_textures.mmf",
     "<points>\n0 0 0\n1 0 0\n0 1 0\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
     "<uvs>\n0 0\n1 0\n0 1\n</uvs>\n<polygons>\n0 1 2\n</polygons>\n<textures>\n<item>\n",
     "mesh rejected: the file ends inside <textures> (cut short)"},
};

// A quad whose texture item lost its source line: it loads with its coordinates, noted.
const char* const sourceless =
    "<points>\n0 0 0\n1 0 0\n0 1 0\n</points>\n<normals>\n0 0 1\n0 0 1\n0 0 1\n</normals>\n"
    "<uvs>\n0 0\n1 0\n0 1\n</uvs>\n<polygons>\n0 1 2\n</polygons>\n<textures>\n<item>\n</item>\n</textures>\n";

std::string tempPath(const std::string& name) { return "/tmp/core_mmf_" + std::to_string(getpid()) + "_" + name; }

class MmfLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setBatchMode(true);
        zipPath = tempPath("data.zip");
        std::remove(zipPath.c_str());
        int error = 0;
        zip_t* z = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(z, nullptr);
        add(z, "objects/tri.mmf", exampleFile);
        add(z, "objects/other.mmf", otherFile);
        for (const BrokenMesh& broken : brokenMeshes) {
            add(z, broken.name, broken.text);
        }
        add(z, "objects/empty.mmf", "");
        add(z, "objects/sourceless.mmf", sourceless);
        ASSERT_EQ(zip_close(z), 0);
        log.open("mmf");
    }
    void TearDown() override
    {
        log.close();
        std::remove(zipPath.c_str());
    }
    static void add(zip_t* z, const char* name, const char* text)
    {
        zip_source_t* s = zip_source_buffer(z, text, std::strlen(text), 0);
        ASSERT_GE(zip_file_add(z, name, s, 0), 0);
    }
    std::string logText() const { return log.text(); }
    std::string zipPath;
    LogCapture log;
};

}  // namespace

TEST_F(MmfLoad, LoadsThroughTheLoaderAndReplacesEarlierContents)
{
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_TRUE(l.opened);
    Mesh m;
    ASSERT_EQ(loadMesh("objects/tri.mmf", l, m), 0);
    expectExample(m);
    ASSERT_EQ(loadMesh("objects/other.mmf", l, m), 0);
    EXPECT_EQ(m.points, (std::vector<float>{5, 5, 5, 6, 5, 5, 5, 6, 5}));
    EXPECT_TRUE(m.uvs.empty() && m.textures.empty());
    EXPECT_EQ(m.polygons, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_NE(logText().find("\nload mmf: objects/other.mmf\n\nfile: objects/other.mmf size: " +
                             std::to_string(std::strlen(otherFile)) + "\n"),
              std::string::npos)
        << logText();
}

TEST_F(MmfLoad, MeshesNoPartCouldDrawFailWithTheirReason)
{
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_TRUE(l.opened);
    takeLoadFailures();
    for (const BrokenMesh& broken : brokenMeshes) {
        Mesh m;
        ASSERT_EQ(loadMesh("objects/tri.mmf", l, m), 0);
        EXPECT_EQ(loadMesh(broken.name, l, m), 1) << broken.name;
        expectExample(m);  // left as it was
        EXPECT_NE(logText().find(std::string("\tmesh rejected: ") + (broken.reason + 15)), std::string::npos)
            << broken.name;
        EXPECT_EQ(takeLoadFailures(), (std::vector<std::string>{std::string(broken.name) + ": " + broken.reason}));
    }
}

TEST_F(MmfLoad, ATextureItemWithoutItsSourceIsSkippedWithAWarning)
{
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_TRUE(l.opened);
    takeLoadFailures();
    Mesh m;
    ASSERT_EQ(loadMesh("objects/sourceless.mmf", l, m), 0);
    EXPECT_TRUE(m.textures.empty());
    EXPECT_EQ(m.uvs.size(), 6u);
    EXPECT_NE(logText().find("\ta texture item without its source line, skipped\n"), std::string::npos) << logText();
    size_t failures = 1;
    EXPECT_EQ(takeLoadFailures("; going on without it", &failures),
              (std::vector<std::string>{"objects/sourceless.mmf: a texture item without its source line, skipped"}))
        << "a warning says its own consequence";
    EXPECT_EQ(failures, 0u);
}

TEST_F(MmfLoad, AbsentOrEmptyFilesFail)
{
    Loader l;
    l.open(zipPath.c_str());
    ASSERT_TRUE(l.opened);
    Mesh m;
    m.points = {1, 2, 3};
    EXPECT_EQ(loadMesh("objects/missing.mmf", l, m), 1);
    EXPECT_EQ(loadMesh("objects/empty.mmf", l, m), 1);
    EXPECT_EQ(m.points, (std::vector<float>{1, 2, 3})) << "a failed load leaves the mesh alone";
    std::string log = logText();
    EXPECT_NE(log.find("load mmf: objects/missing.mmf\n file not found: objects/missing.mmf\n file error, size 0\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("size: 0\n file error, size 0\n"), std::string::npos) << log;
}

TEST(MmfParse, DatagenMeshesComeBackExactly)
{
    for (const Mesh& original : {datagen::makeQuad(), datagen::makeCube(100.0f), datagen::makeArrow()}) {
        std::vector<uint8_t> bytes = datagen::writeMmf(original);
        Mesh m = parse(std::string(bytes.begin(), bytes.end()));
        EXPECT_EQ(m.points, original.points);
        EXPECT_EQ(m.normals, original.normals);
        EXPECT_EQ(m.uvs, original.uvs);
        EXPECT_EQ(m.polygons, original.polygons);
        EXPECT_EQ(checkMeshLists(m.polygons, m.points, m.normals, m.uvs, true), 0);
    }
    Mesh arrow = datagen::makeArrow();
    float top = 0;
    for (size_t i = 0; i < arrow.points.size(); i += 3) {
        const float* n = &arrow.normals[i];
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f);
        top = std::max(top, arrow.points[i + 1]);
    }
    EXPECT_EQ(top, 1.0f);
}
