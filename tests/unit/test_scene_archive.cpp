// Scene archives: the two encodings carry the same tree, lists of numbers are read with
// or without an item version, later library versions are read in both encodings, and
// damaged or hostile files are refused with a clean reason, without crashing, hanging or
// allocating what their counts claim. checkScene refuses trees the renderer could not
// draw safely; orderParents lists parents before their children.
#include "scene_fixture.h"

#include "scene/scene_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>

namespace {

std::string write(const Tessary& scene, SceneEncoding encoding)
{
    std::ostringstream out;
    writeScene(scene, encoding, out);
    return out.str();
}

int read(const std::string& bytes, std::unique_ptr<Tessary>* tree, std::string* error, unsigned* version = nullptr)
{
    return readScene(bytes.data(), bytes.size(), sceneEncoding(bytes.data(), bytes.size()), tree, error, version);
}

// Replaces the first occurrence of `from` (which must exist).
std::string patched(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string le64(uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); }

// The library version in a binary archive's header (16 bits behind the signature).
std::string withBinaryVersion(std::string binary, unsigned version)
{
    const size_t at = 8 + std::strlen("serialization::archive");
    binary[at] = char(version & 0xFF);
    binary[at + 1] = char(version >> 8);
    return binary;
}

}  // namespace

TEST(SceneArchive, XmlAndBinaryCarryTheSameTree)
{
    const Tessary scene = makeTestScene().scene;
    const std::string xml = write(scene, SceneEncoding::Xml);
    const std::string binary = write(scene, SceneEncoding::Binary);
    ASSERT_EQ(xml[0], '<');
    ASSERT_NE(binary[0], '<');
    EXPECT_NE(xml.find("<tsy class_id=\"0\" tracking_level=\"1\" version=\"0\" object_id=\"_0\">"), std::string::npos);
    EXPECT_NE(xml.find("<modified>test scene &lt;&amp;&gt;</modified>"), std::string::npos);
    // An empty list of records still says its item version; lists of numbers say none.
    EXPECT_NE(xml.find("<surface>\n\t\t\t\t<count>0</count>\n\t\t\t\t<item_version>0</item_version>\n\t\t\t</surface>"),
              std::string::npos)
        << xml;
    const std::vector<std::string> after = afterNumberCounts(xml);
    EXPECT_EQ(after.size(), 4u);  // points, normals, uvs, polygons
    for (const std::string& element : after) {
        EXPECT_EQ(element, "<item>");
    }

    std::unique_ptr<Tessary> fromXml, fromBinary;
    std::string error;
    unsigned version = 0;
    ASSERT_EQ(read(xml, &fromXml, &error, &version), 0) << error;
    EXPECT_EQ(version, sceneArchiveVersion());
    ASSERT_EQ(read(binary, &fromBinary, &error), 0) << error;
    // Bit for bit: every float, count and string of both trees is the original's.
    EXPECT_EQ(write(*fromXml, SceneEncoding::Binary), binary);
    EXPECT_EQ(write(*fromBinary, SceneEncoding::Binary), binary);
    EXPECT_EQ(write(*fromBinary, SceneEncoding::Xml), xml);
    EXPECT_EQ(fromXml->libCamera.camera[0].name, "Camera \"main\"");
    EXPECT_EQ(fromXml->object[4].parent.number, 4u);
}

TEST(SceneArchive, NumberListsWithAndWithoutItemVersionAndLaterVersionsReadTheSame)
{
    datagen::SceneBuilder builder = makeTestScene();
    builder.scene.libGeometry.uvs.push_back({});  // an empty list of numbers as well
    const std::string xml = write(builder.scene, SceneEncoding::Xml);
    const std::string binary = write(builder.scene, SceneEncoding::Binary);
    const std::string ours = std::to_string(sceneArchiveVersion());
    auto xmlVersion = [&](const std::string& text, unsigned version) {
        return patched(text, "version=\"" + ours + "\"", "version=\"" + std::to_string(version) + "\"");
    };
    const std::string old = withNumberItemVersions(xml);
    ASSERT_NE(old, xml);
    EXPECT_NE(old.find("<count>0</count>\n\t\t\t\t\t<item_version>0</item_version>\n\t\t\t\t</data>"), std::string::npos)
        << old;
    const unsigned later = sceneArchiveVersion() + 1;
    struct Case {
        std::string what, bytes;
        unsigned version;  // as the file names it
    } cases[] = {
        {"xml", xml, sceneArchiveVersion()},
        {"xml with item versions in its lists of numbers", old, sceneArchiveVersion()},
        {"xml of the next library version", xmlVersion(xml, later), later},
        {"xml of library version 25, item versions in lists of numbers", xmlVersion(old, 25), 25},
        {"binary", binary, sceneArchiveVersion()},
        {"binary of the next library version", withBinaryVersion(binary, later), later},
        {"binary of library version 300", withBinaryVersion(binary, 300), 300},
        {"binary of library version 8, the oldest of this layout", withBinaryVersion(binary, 8), 8},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Tessary> tree;
        std::string error;
        unsigned version = 0;
        ASSERT_EQ(read(c.bytes, &tree, &error, &version), 0) << c.what << ": " << error;
        EXPECT_EQ(version, c.version) << c.what;
        EXPECT_EQ(write(*tree, SceneEncoding::Xml), xml) << c.what;
    }
    // Binary archives before version 8 sized their counts and versions otherwise.
    for (unsigned older : {7u, 5u}) {
        std::unique_ptr<Tessary> tree;
        std::string error;
        EXPECT_EQ(read(withBinaryVersion(binary, older), &tree, &error), 1) << older;
        EXPECT_FALSE(tree);
        EXPECT_EQ(error, "binary archive of library version " + std::to_string(older) + ", older than this reader knows (8)");
    }
}

TEST(SceneArchive, DamagedAndHostileFilesAreRefused)
{
    datagen::SceneBuilder builder = makeTestScene();
    builder.scene.libGeometry.points[0].data.resize(7777 * 3, 0.5f);  // a count easy to find
    builder.scene.libGeometry.normals[0].data.resize(7777 * 3, 0.0f);
    builder.scene.info.tool = "a tool name of an unusual length, forty-five";
    const std::string xml = write(builder.scene, SceneEncoding::Xml);
    const std::string binary = write(builder.scene, SceneEncoding::Binary);
    const std::string toolLength = le64(builder.scene.info.tool.size());

    std::vector<std::pair<std::string, std::string>> inputs = {
        {"empty", ""},
        {"one angle bracket", "<"},
        {"not an archive", "hello, scene"},
        {"wrong xml signature", patched(xml, "serialization::archive", "serialisation::archive")},
        {"wrong binary signature", patched(binary, "serialization::archive", "serialization::archivf")},
        {"xml list of 4 billion", patched(xml, "<count>23331</count>", "<count>4294967295</count>")},
        {"xml count too long", patched(xml, "<count>23331</count>", "<count>99999999999999999999999</count>")},
        {"xml garbled number", patched(xml, "<pre>1</pre>", "<pre>one</pre>")},
        {"xml without its closing tags", xml.substr(0, xml.rfind("</tsy>"))},
        {"binary list of 4 billion", patched(binary, le64(23331), le64(4294967295u))},
        {"binary list past the input", patched(binary, le64(23331), le64(23332))},
        {"binary string of 4 billion", patched(binary, toolLength, le64(4294967295u))},
        {"binary signature of 4 billion", le64(4294967295u) + binary.substr(8)},
        // The library trusts the root pointer's class and object ids.
        {"xml root of another class", patched(xml, "<tsy class_id=\"0\"", "<tsy class_id=\"1\"")},
        {"xml root under another name", patched(xml, "<tsy class_id=\"0\" tracking_level=\"1\" version=\"0\" object_id=\"_0\">", "")},
        {"xml root as a reference", patched(xml, "object_id=\"_0\">", "object_id_reference=\"_0\">")},
        {"binary root of another class", binary.substr(0, 0x29) + std::string("\x01\xff\xff\xff", 4) + binary.substr(0x2d)},
    };
    // A file cut after the root's closing tag lacks only the archive's wrapper: readable.
    const size_t rootEnd = xml.rfind("</tsy>");
    for (size_t cut = 1; cut < rootEnd; cut += rootEnd / 23) {
        inputs.push_back({"xml cut at " + std::to_string(cut), xml.substr(0, cut)});
    }
    for (size_t cut = 1; cut < binary.size(); cut += binary.size() / 29) {
        inputs.push_back({"binary cut at " + std::to_string(cut), binary.substr(0, cut)});
    }
    // An end tag longer than the name expected there: read without looking past the name.
    std::unique_ptr<Tessary> longTag;
    std::string longTagError;
    ASSERT_EQ(read(patched(xml, "</item_version>", "</item_version_with_a_much_longer_name_than_expected>"), &longTag,
                   &longTagError),
              0)
        << longTagError;
    EXPECT_EQ(write(*longTag, SceneEncoding::Xml), xml);
    for (const auto& input : inputs) {
        std::unique_ptr<Tessary> tree;
        std::string error;
        EXPECT_EQ(read(input.second, &tree, &error), 1) << input.first;
        EXPECT_FALSE(tree) << input.first;
        EXPECT_FALSE(error.empty()) << input.first;
        // The reason alone, without the text of whatever errno the library found.
        EXPECT_EQ(error.find("error-"), std::string::npos) << input.first << ": " << error;
    }
}

TEST(SceneArchive, CheckRefusesTreesTheRendererCouldNotDraw)
{
    using Edit = std::function<void(Tessary&)>;
    struct Case {
        const char* what;
        Edit edit;
        const char* reason;  // part of the reason given
    } cases[] = {
        {"no camera", [](Tessary& s) { s.libCamera.camera.clear(); }, "no camera"},
        {"camera with five channels", [](Tessary& s) { s.libCamera.camera[0].motion.channel.resize(5); }, "channels"},
        {"camera aimed past the objects", [](Tessary& s) { s.libCamera.camera[0].target = {1, 99}; }, "aims"},
        {"object with eight channels", [](Tessary& s) { s.object[2].motion.channel.resize(8); }, "channels"},
        {"material past the list", [](Tessary& s) { s.object[0].surface[0].materialID = 9; }, "surface"},
        {"surface without material", [](Tessary& s) { s.object[0].surface[0].materialID = 0; }, "surface"},
        {"shader past the list", [](Tessary& s) { s.libMaterial.material[0].shader = 2; }, "material 1"},
        {"texture past the list", [](Tessary& s) { s.libMaterial.material[1].tTexID = 3; }, "material 2"},
        {"reflection past the list", [](Tessary& s) { s.libMaterial.material[1].rTexID = 3; }, "material 2"},
        {"sampler without texture", [](Tessary& s) { s.libShader.shaders[0].sampler[0].texID = 0; }, "samples"},
        {"parent past the list", [](Tessary& s) { s.object[4].parent.number = 7; }, "parent"},
        {"parent cycle", [](Tessary& s) { s.object[3].parent = {1, 5}; }, "object 4 is its own ancestor"},
        {"own parent", [](Tessary& s) { s.object[0].parent = {1, 1}; }, "ancestor"},
        {"points past the list", [](Tessary& s) { s.object[0].pointsID = 2; }, "geometry"},
        {"uvs past the list", [](Tessary& s) { s.object[0].uvsID = 2; }, "geometry"},
        {"index past the vertices", [](Tessary& s) { s.libGeometry.polygons[0].data[5] = 24; }, "indexes past"},
        {"negative index", [](Tessary& s) { s.libGeometry.polygons[0].data[0] = -1; }, "indexes past"},
        {"surface past its list", [](Tessary& s) { s.object[0].surface[0].polyCount = 37; }, "surface"},
        {"surface offset overflowing", [](Tessary& s) { s.object[0].surface[0].polyOffset = 0xFFFFFFF0u; }, "surface"},
        {"index outside min..max", [](Tessary& s) { s.object[0].surface[0].max = 22; }, "surface"},
        {"max past the vertices", [](Tessary& s) { s.object[0].surface[0].max = 24; }, "surface"},
        {"fewer normals than points", [](Tessary& s) { s.libGeometry.normals[0].data.resize(60); }, "normals"},
        {"half a vector", [](Tessary& s) { s.libGeometry.points[0].data.push_back(1); }, "whole"},
        // A span type the envelopes do not know would draw 0 in its span (a black frame
        // from a camera's zoom or an object's scale).
        {"object channel with span type 6",
         [](Tessary& s) { s.object[2].motion.channel[7] = datagen::envelope({datagen::key(0, 1), datagen::key(1, 2, 6)}); },
         "object 3 channel 7 key 2 has span type 6"},
        {"dissolve with span type 99",
         [](Tessary& s) {
             s.object[0].dissolve = datagen::envelope({datagen::key(0, 0), datagen::key(1, 0, 3), datagen::key(2, 1, 99)});
         },
         "object 1 dissolve key 3 has span type 99"},
        {"camera zoom with span type 7",
         [](Tessary& s) { s.libCamera.camera[0].zoomFactor = datagen::envelope({datagen::key(0, 1), datagen::key(1, 2, 7)}); },
         "camera 1 zoom key 2 has span type 7"},
        {"sharer drawing past the shared stream",
         [](Tessary& s) {
             Points more = s.libGeometry.points[0];
             more.data.resize(more.data.size() * 2, 0.0f);
             s.libGeometry.points.push_back(more);
             s.libGeometry.normals.push_back({0, std::vector<float>(more.data.size(), 0.0f)});
             Polygons wide;
             wide.data = {0, 1, 40};
             s.libGeometry.polygons.push_back(wide);
             s.object[1].pointsID = 2;
             s.object[1].normalsID = 2;
             s.object[1].uvsID = 0;
             s.object[1].polygonsID = 2;
             s.object[1].surface[0] = {2, 3, 0, 0, 40};
         },
         "indexes past"},
    };
    const Tessary original = makeTestScene().scene;
    std::string reason;
    ASSERT_EQ(checkScene(original, &reason), 0) << reason;
    for (const Case& c : cases) {
        Tessary scene = original;
        c.edit(scene);
        reason.clear();
        EXPECT_EQ(checkScene(scene, &reason), 1) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
    // Objects the upload skips (no normals) and companions need no geometry; the first
    // key's span type ends no span; not implemented camera links and post behaviours
    // are the renderer's to report.
    Tessary skipped = original;
    skipped.object[0].normalsID = 0;
    skipped.object[5].surface.push_back({99, 3, 0, 0, 0});
    skipped.object[1].motion.channel[0] = datagen::envelope({datagen::key(0, 1, 9), datagen::key(1, 2, spanLinear)});
    skipped.libCamera.camera[0].parent = {2, 1};
    skipped.libCamera.camera[0].target = {2, 1};
    skipped.object[0].motion.channel[0].post = 9;
    EXPECT_EQ(checkScene(skipped, &reason), 0) << reason;
}

TEST(SceneArchive, OrderParentsListsEachParentAfterItsOwn)
{
    // Parent numbers of the objects (0: none), and the parents expected in the list.
    struct Case {
        const char* what;
        std::vector<uint32_t> parents;
        std::vector<uint32_t> listed;  // object numbers, in any order that puts parents first
    } cases[] = {
        {"no parents", {0, 0, 0}, {}},
        {"a chain listed child first", {2, 3, 4, 5, 0}, {5, 4, 3, 2}},
        {"a tree", {0, 1, 1, 2, 2, 0, 6}, {1, 2, 6}},
        {"a cycle and its descendants", {2, 3, 2, 1, 4, 0}, {1, 4}},  // 2 and 3 form the cycle
        {"a parent past the list", {9, 1, 0}, {1}},
    };
    for (const Case& c : cases) {
        Tessary scene;
        scene.object.resize(c.parents.size());
        for (size_t i = 0; i < c.parents.size(); ++i) {
            scene.object[i].parent = {c.parents[i] != 0 ? 1u : 0u, c.parents[i]};
        }
        scene.parentsFirst = {7, 7, 7};  // replaced
        orderParents(scene);
        std::vector<uint32_t> listed;
        for (uint32_t index : scene.parentsFirst) {
            listed.push_back(index + 1);
            const uint32_t parent = scene.object[index].parent.number;
            if (parent != 0 && std::count(c.listed.begin(), c.listed.end(), parent) > 0) {
                EXPECT_LT(std::find(listed.begin(), listed.end(), parent) - listed.begin(), ptrdiff_t(listed.size() - 1))
                    << c.what << ": " << index + 1 << " before its parent " << parent;
            }
        }
        std::vector<uint32_t> expected = c.listed;
        std::sort(listed.begin(), listed.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listed, expected) << c.what;
        ASSERT_EQ(scene.placements.size(), 16 * c.parents.size()) << c.what;
        for (size_t k = 0; k < scene.placements.size(); ++k) {
            EXPECT_EQ(scene.placements[k], k % 16 % 5 == 0 ? 1.0f : 0.0f) << c.what << " " << k;
        }
    }
}
