// The two scene parts in the real Core with the generated archive: the shipped scene
// files load in both encodings into the same trees with every id in range (and read the
// same with the item versions earlier builds wrote in their lists of numbers), the parts
// draw a picture that depends only on the time (scrubbing back replays it), and their
// frames allocate nothing.
#include "app/screen.h"
#include "core/core.h"
#include "effects/scene_playback.h"
#include "core_fixture.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "scene/scene_archive.h"
#include "counting_new.h"
#include "scene_fixture.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

namespace {

constexpr int windowWidth = 320;
constexpr int windowHeight = 180;

std::vector<unsigned char> readWindow()
{
    std::vector<unsigned char> rgba(size_t(windowWidth) * windowHeight * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

int spread(const std::vector<unsigned char>& rgba)
{
    int lo = 765, hi = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const int v = rgba[i] + rgba[i + 1] + rgba[i + 2];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return (hi - lo) / 3;
}

std::string encoded(const Tessary& scene, SceneEncoding encoding)
{
    std::ostringstream out;
    writeScene(scene, encoding, out);
    return out.str();
}

class SceneParts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openCore("scene parts", windowWidth, windowHeight);
        if (HasFatalFailure()) {
            return;
        }
        core.postprocess = false;
        parts[0] = dynamic_cast<ScenePlayback*>(core.schedule[0].effect);
        parts[1] = dynamic_cast<ScenePlayback*>(core.schedule[7].effect);
        ASSERT_NE(parts[0], nullptr);
        ASSERT_NE(parts[1], nullptr);
    }
    static void TearDownTestSuite() { closeCore(); }
    static ScenePlayback* parts[2];
};

ScenePlayback* SceneParts::parts[2] = {};

}  // namespace

TEST_F(SceneParts, ShippedScenesReadTheSameInBothEncodingsAndPassTheCheck)
{
    for (const char* file : {"wizard.xml", "cosiki2.xml"}) {
        const uint32_t size = loader.fileSize(file);
        ASSERT_GT(size, 0u) << file;
        std::vector<char> bytes(size);
        char* data = bytes.data();
        ASSERT_EQ(loader.readFile(file, &data), 0);
        ASSERT_EQ(bytes[0], '<') << file;
        std::unique_ptr<Tessary> xml, binary;
        std::string error;
        ASSERT_EQ(readScene(data, size, SceneEncoding::Xml, &xml, &error), 0) << file << ": " << error;
        EXPECT_EQ(checkScene(*xml, &error), 0) << file << ": " << error;
        const std::string asBinary = encoded(*xml, SceneEncoding::Binary);
        ASSERT_EQ(readScene(asBinary.data(), asBinary.size(), SceneEncoding::Binary, &binary, &error), 0) << error;
        EXPECT_EQ(encoded(*binary, SceneEncoding::Binary), asBinary) << file;
        EXPECT_EQ(encoded(*binary, SceneEncoding::Xml), std::string(bytes.begin(), bytes.end())) << file;
        // Lists of numbers have no item version; with one, as earlier builds wrote them,
        // the file reads the same.
        const std::string text(bytes.begin(), bytes.end());
        for (const std::string& element : afterNumberCounts(text)) {
            ASSERT_TRUE(element == "<item>" || element == "</data>") << file << ": " << element;
        }
        const std::string old = withNumberItemVersions(text);
        ASSERT_GT(old.size(), text.size());
        std::unique_ptr<Tessary> fromOld;
        ASSERT_EQ(readScene(old.data(), old.size(), SceneEncoding::Xml, &fromOld, &error), 0) << file << ": " << error;
        EXPECT_EQ(encoded(*fromOld, SceneEncoding::Xml), text) << file;
    }
    // The parts hold their trees, uploaded: one vertex buffer per distinct stream.
    for (ScenePlayback* part : parts) {
        ASSERT_TRUE(part->scene);
        size_t uploaded = 0;
        for (const Object& object : part->scene->object) {
            uploaded += object.ownsVertexBuffer;
        }
        EXPECT_LE(uploaded, part->scene->libGeometry.points.size()) << part->file;
        EXPECT_GT(uploaded, 0u);
    }
}

TEST_F(SceneParts, ScrubbingBackReplaysThePicture)
{
    struct Moment {
        float demoTime;
        float later;
    } moments[] = {{10.0f, 15.0f}, {143.0f, 150.0f}};
    for (const Moment& m : moments) {
        core.setClock(m.demoTime);
        core.renderFrame();
        const std::vector<unsigned char> first = readWindow();
        EXPECT_GT(spread(first), 60) << m.demoTime;
        core.setClock(m.later);
        core.renderFrame();
        EXPECT_NE(readWindow(), first) << "the scene moves";
        core.setClock(m.demoTime);
        core.renderFrame();
        EXPECT_EQ(readWindow(), first) << m.demoTime;
    }
}

TEST_F(SceneParts, FramesAllocateNothing)
{
    parts[0]->render(3.0f);
    parts[1]->render(3.0f);
    allocations = 0;
    countAllocations = true;
    for (int i = 0; i < 3; ++i) {
        parts[0]->render(3.0f + 0.5f * float(i));
        parts[1]->render(3.0f + 0.5f * float(i));
    }
    countAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
}
