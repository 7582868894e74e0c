// Blobs and StripesDOF in the real Core with the generated archive: what their inits
// drew from the shared generator, the camera cut rules, the stripes' history, the
// pictures (cells, bars, overlay, control grid), the GL state they leave behind, the
// absence of allocations per frame, and a cell mesh reloaded while Blobs plays.
#include "app/screen.h"
#include "core/core.h"
#include "effects/blobs.h"
#include "effects/sfmt.h"
#include "effects/stripes_dof.h"
#include "core_fixture.h"
#include "datagen/mmf_writer.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "resources/mesh.h"
#include "resources/reload.h"
#include "counting_new.h"
#include "unpack_archive.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

constexpr int windowWidth = 640;
constexpr int windowHeight = 360;
constexpr int stripesSlot = 2;
constexpr int blobsSlot = 3;

struct Picture {
    std::vector<unsigned char> rgba;
    const unsigned char* at(int x, int y) const { return &rgba[(size_t(y) * windowWidth + x) * 4]; }
};

Picture readWindow()
{
    Picture p;
    p.rgba.resize(size_t(windowWidth) * windowHeight * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
}

// Spread of the pixels' brightness: 0 for a flat picture.
int brightnessSpread(const Picture& p)
{
    int lo = 255 * 3, hi = 0;
    for (size_t i = 0; i < p.rgba.size(); i += 4) {
        int v = p.rgba[i] + p.rgba[i + 1] + p.rgba[i + 2];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return (hi - lo) / 3;
}

int differingPixels(const Picture& a, const Picture& b)
{
    int n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        int d = std::abs(a.rgba[i] - b.rgba[i]) + std::abs(a.rgba[i + 1] - b.rgba[i + 1]) +
                std::abs(a.rgba[i + 2] - b.rgba[i + 2]);
        n += d > 24;
    }
    return n;
}

class PartsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openCore("parts test", windowWidth, windowHeight);
        if (HasFatalFailure()) {
            return;
        }
        stripes = dynamic_cast<StripesDOF*>(core.schedule[stripesSlot].effect);
        blobs = dynamic_cast<Blobs*>(core.schedule[blobsSlot].effect);
        ASSERT_NE(stripes, nullptr);
        ASSERT_NE(blobs, nullptr);
        initialStripes = stripes->stripes;
    }
    static void TearDownTestSuite() { closeCore(); }
    void SetUp() override
    {
        ASSERT_NE(blobs, nullptr);
        core.postprocess = false;  // the Core's chain is not under test here
        core.controlgrid = false;
    }
    // A whole Core frame at demo time t with the Blobs camera held still (no cut due).
    static void blobsFrameWithoutCut(float t)
    {
        blobs->lastCut = t - core.schedule[blobsSlot].startTime;
        core.setClock(t);
        core.renderFrame();
    }

    static StripesDOF* stripes;
    static Blobs* blobs;
    static std::vector<Stripe> initialStripes;
};

StripesDOF* PartsTest::stripes = nullptr;
Blobs* PartsTest::blobs = nullptr;
std::vector<Stripe> PartsTest::initialStripes;

}  // namespace

TEST_F(PartsTest, InitsDrawTheirRecordsFromTheSharedGeneratorInScheduleOrder)
{
    ASSERT_EQ(initialStripes.size(), 200u);
    ASSERT_EQ(blobs->blobs.size(), 64u);
    // Find the first stripe in the generator's stream by its exact values.
    Sfmt19937 g;
    g.seed(12345);
    long stripesAt = -1;
    std::vector<float> stream;
    for (int i = 0; i < 20000; ++i) {
        stream.push_back(unitFromWord(g.next()));
    }
    for (long i = 0; i + 6 < long(stream.size()); ++i) {
        const Stripe& s = initialStripes[0];
        if (s.x == (stream[i] - 0.5f) * 5.0f && s.y == 5.0f * stream[i + 1] && s.z == 10.0f * stream[i + 2] &&
            s.w == 0.1f + 0.2f * stream[i + 3] && s.h == 0.2f + 0.9f * stream[i + 4] &&
            s.v == 0.5f + 4.0f * stream[i + 5]) {
            stripesAt = i;
            break;
        }
    }
    ASSERT_GE(stripesAt, 0) << "the first stripe is not six successive draws";
    const Stripe& last = initialStripes.back();
    EXPECT_EQ(last.v, 0.5f + 4.0f * stream[size_t(stripesAt) + 1199]);

    long blobsAt = -1;
    const Blob& b = blobs->blobs[0];
    for (long i = 0; i + 4 < long(stream.size()); ++i) {
        if (b.x == (stream[i] - 0.5f) * 70.0f && b.y == (stream[i + 1] - 0.5f) * 70.0f &&
            b.z == (stream[i + 2] - 0.5f) * 70.0f && b.s == 0.5f + 40.0f * stream[i + 3]) {
            blobsAt = i;
            break;
        }
    }
    ASSERT_GE(blobsAt, 0) << "the first blob is not four successive draws";
    EXPECT_GE(blobsAt, stripesAt + 1200) << "StripesDOF initialises before Blobs";
    EXPECT_EQ(blobs->blobs[63].s, 0.5f + 40.0f * stream[size_t(blobsAt) + 255]);
}

TEST_F(PartsTest, BlobsCutsAfterTheIntervalAndResetsWhenTimeGoesBack)
{
    blobs->lastCut = 0.0f;
    blobs->camera.camX = 0.0f;
    blobs->camera.camY = -3.5f;
    blobs->camera.camZ = -30.0f;

    blobs->render(3.3f);
    EXPECT_EQ(blobs->lastCut, 0.0f) << "3.3 s after the last cut is not more than the interval";
    EXPECT_EQ(blobs->camera.camZ, -30.0f);
    float shown[3] = {};
    ASSERT_EQ(fx::currentValues(fx::namedParameter(blobs->blobsShader.effect, "camPos"), shown, 3), 3);
    EXPECT_EQ(shown[1], -3.5f) << "the shader sees the default eye before the first cut";
    EXPECT_EQ(shown[2], -30.0f);

    // The cut's eye from the generator, as the part must draw it.
    Sfmt19937 copy = sharedRandom;
    auto draw = [&copy] { return unitFromWord(copy.next()); };
    float x = (draw() - 0.5f) * 20.0f, y = (draw() - 0.5f) * 4.0f, z = (draw() - 0.5f) * 20.0f;
    if (std::fabs(x) < 4.0f) {
        x *= 2.0f + 10.0f * draw();
    }
    y *= 2.0f + 2.0f * draw();  // |y| <= 2 always
    if (std::fabs(z) < 4.0f) {
        z *= 2.0f + 10.0f * draw();
    }
    blobs->render(3.4f);
    EXPECT_EQ(blobs->lastCut, 3.4f);
    EXPECT_EQ(blobs->camera.camX, x);
    EXPECT_EQ(blobs->camera.camY, y);
    EXPECT_EQ(blobs->camera.camZ, z);
    EXPECT_EQ(randomUnit(), draw()) << "no draws beyond the cut's";

    blobs->render(5.0f);
    EXPECT_EQ(blobs->lastCut, 3.4f) << "no cut 1.6 s later";
    ASSERT_EQ(fx::currentValues(fx::namedParameter(blobs->blobsShader.effect, "camPos"), shown, 3), 3);
    EXPECT_EQ(shown[0], x) << "the shader sees the eye of the last cut";

    blobs->render(2.0f);
    EXPECT_EQ(blobs->lastCut, 0.0f) << "time went back before the last cut: reset, no cut at 2 s";
    EXPECT_EQ(blobs->camera.camX, x);
    blobs->render(3.5f);
    EXPECT_EQ(blobs->lastCut, 3.5f) << "after the reset the next frame past 3.3 s cuts again";
    EXPECT_NE(blobs->camera.camX, x);
}

TEST_F(PartsTest, StripesMoveByTheStepSinceThePreviousFrame)
{
    stripes->previousTime = 2.0f;
    std::vector<Stripe> before = stripes->stripes;
    stripes->render(2.5f);
    EXPECT_EQ(stripes->previousTime, 2.5f);
    int risen = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        const Stripe& s = stripes->stripes[i];
        if (s.y == -15.0f) {
            EXPECT_GT(before[i].y + 0.5f * before[i].v, 14.0f);
            continue;
        }
        EXPECT_FLOAT_EQ(s.y, before[i].y + 0.5f * before[i].v);
        ++risen;
    }
    EXPECT_GT(risen, 100);

    // Backwards: everything sinks, nothing is reborn, nothing else changes.
    before = stripes->stripes;
    stripes->render(1.0f);
    for (size_t i = 0; i < before.size(); ++i) {
        const Stripe& s = stripes->stripes[i];
        EXPECT_FLOAT_EQ(s.y, before[i].y - 1.5f * before[i].v);
        EXPECT_EQ(s.x, before[i].x);
        EXPECT_EQ(s.v, before[i].v);
    }
}

TEST_F(PartsTest, PartsDrawAPictureAndLeaveTheWindowBound)
{
    GLint viewportBefore[4];
    glGetIntegerv(GL_VIEWPORT, viewportBefore);

    core.setClock(45.0f);
    core.renderFrame();
    EXPECT_GT(brightnessSpread(readWindow()), 60) << "bars over the background";

    blobsFrameWithoutCut(62.0f);
    EXPECT_GT(brightnessSpread(readWindow()), 60) << "cells over the room";

    GLint framebuffer = -1, viewport[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(framebuffer, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(viewport[i], viewportBefore[i]);
    }
}

TEST_F(PartsTest, BlobsHandsItsOverlayOverOnEveryFrame)
{
    ASSERT_NE(blobs->overlayTexture.crc, 0u);
    blobs->lastCut = 1.0f;
    blobs->render(1.0f);
    EXPECT_EQ(core.overlayTexture, blobs->overlayTexture.crc);
    core.overlayTexture = 0;
    stripes->render(stripes->previousTime);
    EXPECT_EQ(core.overlayTexture, 0u) << "StripesDOF hands nothing over";

    blobsFrameWithoutCut(62.0f);
    EXPECT_EQ(core.overlayTexture, 0u) << "the Core drew it and forgot it";
    Picture with = readWindow();
    const uint32_t overlay = blobs->overlayTexture.crc;
    blobs->overlayTexture.crc = 0;
    blobsFrameWithoutCut(62.0f);
    blobs->overlayTexture.crc = overlay;
    Picture without = readWindow();
    EXPECT_GT(differingPixels(with, without), 200) << "the overlay shows over the cells";
}

// Blobs built its levels of detail from the cell mesh at init: a smaller valid mesh
// saved over it while the demo plays from a folder must still be drawn.
TEST_F(PartsTest, BlobsDrawACellMeshSavedSmallerWhileTheyPlay)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("core_parts_reload_" + std::to_string(getpid()));
    fs::remove_all(folder);
    ASSERT_NO_FATAL_FAILURE(unpackArchive("data.zip", folder));
    loader.open(folder.string().c_str());
    ASSERT_TRUE(loader.opened);
    ASSERT_TRUE(reload::start(loader));
    // The pixels the cells cover: the frame against the same frame without them.
    auto cellPixels = [] {
        blobsFrameWithoutCut(62.0f);
        const Picture with = readWindow();
        std::vector<Blob> cells;
        std::swap(cells, blobs->blobs);
        blobsFrameWithoutCut(62.0f);
        std::swap(cells, blobs->blobs);
        return differingPixels(with, readWindow());
    };
    double clock = 10.0;
    auto save = [&](const std::vector<uint8_t>& bytes) {
        std::ofstream(folder / "objects/virus.mmf", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        reload::poll(clock);
        clock += 1.0;
        reload::poll(clock);
    };
    const int before = cellPixels();
    ASSERT_GT(before, 1000);

    // An octahedron of the cell's size: 8 triangles where the cell had thousands.
    Mesh octahedron;
    const float r = 1.5f;
    octahedron.points = {r, 0, 0, -r, 0, 0, 0, r, 0, 0, -r, 0, 0, 0, r, 0, 0, -r};
    octahedron.normals = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    octahedron.polygons = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
    const std::vector<uint8_t> original = [&] {
        std::ifstream in(folder / "objects/virus.mmf", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }();
    save(datagen::writeMmf(octahedron));
    EXPECT_EQ(blobs->blobMesh.polygons.size(), 24u);
    const std::vector<std::string> problems = reload::problems();
    const int after = cellPixels();
    EXPECT_GT(after, before / 20) << "the cells still draw, or a notice says why not: "
                                  << (problems.empty() ? "none" : problems.front());

    save(original);
    EXPECT_TRUE(reload::problems().empty());
    EXPECT_GT(cellPixels(), before / 2) << "the cell mesh back";
    reload::stop();
    loader.open("data.zip");
    fs::remove_all(folder);
}

TEST_F(PartsTest, ControlGridDrawnOnlyWhenSwitchedOn)
{
    blobsFrameWithoutCut(62.0f);
    Picture plain = readWindow();
    core.controlgrid = true;
    blobsFrameWithoutCut(62.0f);
    Picture grid = readWindow();
    EXPECT_GT(differingPixels(plain, grid), 200) << "Blobs";

    core.controlgrid = false;
    stripes->previousTime = 6.0f;
    core.setClock(45.0f);
    core.renderFrame();
    plain = readWindow();
    core.controlgrid = true;
    core.setClock(45.0f);
    core.renderFrame();
    grid = readWindow();
    EXPECT_GT(differingPixels(plain, grid), 200) << "StripesDOF";
}

// Share of the off-screen scene's pixels whose alpha (the blur amount the chain reads)
// lies in [lo, hi].
static float alphaShare(int lo, int hi)
{
    std::vector<unsigned char> rgba(size_t(core.sceneCopy.width) * core.sceneCopy.height * 4);
    glBindTexture(GL_TEXTURE_2D, core.sceneCopy.colorTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    size_t n = 0;
    for (size_t i = 3; i < rgba.size(); i += 4) {
        n += rgba[i] >= lo && rgba[i] <= hi;
    }
    return float(n) / float(rgba.size() / 4);
}

TEST_F(PartsTest, SceneAlphaMarksSharpNearAndSoftFarParts)
{
    stripes->previousTime = 6.0f;
    stripes->render(6.0f);
    EXPECT_GT(alphaShare(255, 255), 0.5f) << "the background is fully out of focus";
    EXPECT_GT(alphaShare(0, 8), 0.002f) << "near bars are in focus";
    EXPECT_GT(alphaShare(20, 235), 0.0005f) << "further bars are partly blurred";

    blobs->lastCut = 5.0f;
    blobs->render(5.0f);
    EXPECT_GT(alphaShare(255, 255), 0.3f) << "the room is fully out of focus";
    EXPECT_GT(alphaShare(0, 235), 0.01f) << "cells near the focus distance are sharper";
}

TEST_F(PartsTest, CrossFadeRunsBothPartsInOneFrame)
{
    stripes->previousTime = 18.9f;
    blobs->lastCut = 1.0f;
    core.setClock(58.0f);
    core.renderFrame();
    EXPECT_FLOAT_EQ(stripes->previousTime, 19.0f);
    EXPECT_FLOAT_EQ(core.crossfadeFactor, 0.5f);
    EXPECT_GT(brightnessSpread(readWindow()), 60);
}

TEST_F(PartsTest, FramesAllocateNothing)
{
    // Warm up once (first uses may grow driver-side caches), then count.
    blobs->render(1.0f);
    stripes->render(stripes->previousTime + 0.03f);
    allocations = 0;
    countAllocations = true;
    for (int i = 0; i < 3; ++i) {
        blobs->render(1.0f + 0.03f * float(i));
        stripes->render(stripes->previousTime + 0.03f);
    }
    countAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
}
