// The finale in the real Core with the generated archive: Vantel, its scene companion,
// Greetings and Credits. What their inits drew from the shared generator, the names'
// widths from real glyph advances, the names' batches drawn as the glyph solids laid
// along their advances, the missing-font box, the fade-in of the names, the credits
// picture over the frame and the GL state it leaves, and no allocation per frame. (The
// outline font's solids themselves: tests/unit/test_outline_font.cpp.)
#include "app/screen.h"
#include "core/core.h"
#include "effects/credits.h"
#include "effects/greetings.h"
#include "effects/sfmt.h"
#include "effects/vantel.h"
#include "core_fixture.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "platform/outline_font.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "counting_new.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int windowWidth = 640;
constexpr int windowHeight = 360;
constexpr int vantelSlot = 8;
constexpr int greetingsSlot = 9;
constexpr int creditsSlot = 10;

std::vector<unsigned char> readWindow(int x, int y, int w, int h)
{
    std::vector<unsigned char> rgba(size_t(w) * h * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

int differingPixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
        n += std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]) > 24;
    }
    return n;
}

class FinaleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openCore("finale test", windowWidth, windowHeight);
        if (HasFatalFailure()) {
            return;
        }
        vantel = dynamic_cast<Vantel*>(core.schedule[vantelSlot].effect);
        greetings = dynamic_cast<Greetings*>(core.schedule[greetingsSlot].effect);
        credits = dynamic_cast<Credits*>(core.schedule[creditsSlot].effect);
        ASSERT_NE(vantel, nullptr);
        ASSERT_NE(greetings, nullptr);
        ASSERT_NE(credits, nullptr);
    }
    static void TearDownTestSuite() { closeCore(); }
    void SetUp() override
    {
        ASSERT_NE(credits, nullptr);
        core.postprocess = false;
        core.spectrum = false;
        core.controlgrid = false;
    }
    // A whole Core frame at demo time t with Vantel's camera held still (no cut due).
    static void frameWithoutCut(float t)
    {
        vantel->lastCut = t - core.schedule[vantelSlot].startTime;
        core.setClock(t);
        core.renderFrame();
    }
    static std::vector<unsigned char> band()
    {
        return readWindow(core.viewportX, core.viewportY, screen.viewportWidth, screen.viewportHeight);
    }

    static Vantel* vantel;
    static Greetings* greetings;
    static Credits* credits;
};

Vantel* FinaleTest::vantel = nullptr;
Greetings* FinaleTest::greetings = nullptr;
Credits* FinaleTest::credits = nullptr;

}  // namespace

TEST_F(FinaleTest, InitsDrawSatellitesThenNamesThenTheCompanionsSatellites)
{
    Sfmt19937 g;
    g.seed(12345);
    std::vector<float> stream;
    for (int i = 0; i < 40000; ++i) {
        stream.push_back(unitFromWord(g.next()));
    }
    // Vantel's first satellite: four successive draws somewhere after the earlier parts'.
    const Satellite& first = vantel->body.satellites[0];
    long at = -1;
    for (long i = 0; i + 4 < long(stream.size()); ++i) {
        if (first.x == 24.0f * stream[i] - 12.0f && first.y == 20.0f * stream[i + 1] - 10.0f &&
            first.z == 24.0f * stream[i + 2] - 12.0f && first.w == 30.0f * stream[i + 3] - 15.0f) {
            at = i;
            break;
        }
    }
    ASSERT_GE(at, 0) << "the first satellite is not x, y, z, w from four successive draws";
    EXPECT_EQ(vantel->body.satellites[31].w, 30.0f * stream[size_t(at) + 127] - 15.0f);

    // Greetings follows: the first name takes no draw, every other one six and a push
    // for each coordinate near the middle.
    size_t next = size_t(at) + 128;
    auto draw = [&stream, &next] { return stream[next++]; };
    ASSERT_EQ(greetings->entryCount, greetingCapacity);
    const GreetingEntry& centre = greetings->entries[0];
    EXPECT_EQ(centre.x, 0.0f);
    EXPECT_EQ(centre.z, 0.0f);
    EXPECT_EQ(centre.a3, 0.0f);
    for (int i = 1; i < greetingCapacity; ++i) {
        float x = (draw() - 0.5f) * 24.0f, y = (draw() - 0.5f) * 10.0f, z = (draw() - 0.5f) * 12.0f;
        const float a1 = (draw() - 0.5f) * 360.0f, a2 = (draw() - 0.5f) * 360.0f, a3 = (draw() - 0.5f) * 640.0f;
        if (std::fabs(x) < 2.0f) {
            x *= 2.0f + 10.0f * draw();
        }
        if (std::fabs(y) < 2.0f) {
            y *= 2.0f + 2.0f * draw();
        }
        if (std::fabs(z) < 2.0f) {
            z *= 2.0f + 10.0f * draw();
        }
        const GreetingEntry& e = greetings->entries[i];
        ASSERT_EQ(e.x, x) << "name " << i;
        ASSERT_EQ(e.y, y) << "name " << i;
        ASSERT_EQ(e.z, z) << "name " << i;
        ASSERT_EQ(e.a1, a1) << "name " << i;
        ASSERT_EQ(e.a2, a2) << "name " << i;
        ASSERT_EQ(e.a3, a3) << "name " << i;
    }

    // The companion's records come right after the last name's draws, at half the spread.
    const Satellite& companion = vantelObject.body.satellites[0];
    const size_t c = next;
    EXPECT_EQ(companion.x, 12.0f * stream[c] - 6.0f);
    EXPECT_EQ(companion.y, 10.0f * stream[c + 1] - 5.0f);
    EXPECT_EQ(companion.z, 12.0f * stream[c + 2] - 6.0f);
    EXPECT_EQ(companion.w, 30.0f * stream[c + 3] - 15.0f);
    EXPECT_NE(vantelObject.body.satelliteMesh.indexBuffer, 0u);
    EXPECT_NE(vantelObject.body.gridMesh.indexBuffer, 0u);
    EXPECT_EQ(vantelObject.body.gridMesh.indexCount, gridSteps * gridSteps * 6);
}

TEST_F(FinaleTest, NamesAreHalfTheirGlyphAdvances)
{
    const platform::OutlineGlyph* m = greetings->glyphs;
    auto advance = [m](char c) { return m[c - glyphFirst].metrics.cellIncX; };
    // Liberation Sans, 2048 units per em: W 1933, i 455, space 569.
    EXPECT_NEAR(advance('W'), 1933.0f / 2048.0f, 1e-6f);
    EXPECT_NEAR(advance('i'), 455.0f / 2048.0f, 1e-6f);
    EXPECT_NEAR(advance(' '), 569.0f / 2048.0f, 1e-6f);

    Greetings g;
    for (int i = 0; i < glyphCount; ++i) {
        g.glyphs[i].metrics = m[i].metrics;
    }
    struct Case {
        const char* name;
        const char* text;  // what the entry keeps
        float halfWidth;
    };
    const Case cases[] = {
        {"W", "W", 0.5f * advance('W')},
        {"WW", "WW", advance('W')},
        {"ii", "ii", advance('i')},
        {"Kiln", "Kiln", 0.5f * (advance('K') + advance('i') + advance('l') + advance('n'))},
        {"a\tb\x7f", "a b ", 0.5f * (advance('a') + 2 * advance(' ') + advance('b'))},
        {"abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnopq", -1.0f},
    };
    for (const Case& c : cases) {
        const int index = g.entryCount;
        g.add(c.name);
        const GreetingEntry& e = g.entries[index];
        EXPECT_STREQ(e.text, c.text) << c.name;
        EXPECT_EQ(e.length, int(std::string(c.text).size())) << c.name;
        if (c.halfWidth >= 0.0f) {
            EXPECT_FLOAT_EQ(e.halfWidth, c.halfWidth) << c.name;
        }
    }
    EXPECT_FLOAT_EQ(g.entries[1].halfWidth, 2.0f * g.entries[0].halfWidth);
    while (g.entryCount < greetingCapacity) {
        g.add("x");
    }
    g.add("one too many");
    EXPECT_EQ(g.entryCount, greetingCapacity);
    EXPECT_STREQ(g.entries[greetingCapacity - 1].text, "x");
}

TEST_F(FinaleTest, ANameIsItsGlyphsAlongTheirAdvancesInOneBatch)
{
    // The Core's font, its names' batches made here.
    Greetings g;
    for (int i = 0; i < glyphCount; ++i) {
        g.glyphs[i] = greetings->glyphs[i];
    }
    g.add("Ai");
    g.add("  ");
    g.buildNameBatches();
    EXPECT_NE(g.nameBatches[0].buffer, 0u);
    EXPECT_EQ(g.nameBatches[1].buffer, 0u) << "blanks only: nothing to draw";

    // The batch and the two glyphs drawn one by one, the pen moved by the advance between
    // them, flat white from the front with back faces culled: the same pixels.
    constexpr int size = 128;
    auto picture = [](auto draw) {
        glUseProgram(0);
        glViewport(0, 0, size, size);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        gpu::setTexturing(false);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::ortho(-0.1, 1.1, -0.4, 0.8, -1.0, 1.0);
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
        gpu::color(1, 1, 1, 1);
        draw();
        glDisable(GL_CULL_FACE);
        return readWindow(0, 0, size, size);
    };
    const std::vector<unsigned char> batch = picture([&g] { gpu::drawBatch(g.nameBatches[0]); });
    const std::vector<unsigned char> oneByOne = picture([&g] {
        for (char c : {'A', 'i'}) {
            const platform::OutlineGlyph& glyph = g.glyphs[c - glyphFirst];
            gpu::begin(gpu::Primitive::Triangles);
            for (const platform::OutlineVertex& v : glyph.triangles) {
                gpu::vertex(v.x, v.y, v.z);
            }
            gpu::end();
            gpu::translate(glyph.metrics.cellIncX, 0.0f, 0.0f);
        }
    });
    int lit = 0;
    for (size_t i = 0; i < batch.size(); i += 4) {
        lit += batch[i] > 127;
    }
    EXPECT_GT(lit, size * size / 20);
    EXPECT_LE(differingPixels(batch, oneByOne), 4);
}

TEST_F(FinaleTest, AMissingFaceShowsTheBoxAndTheNamesGoOnWithoutText)
{
    Greetings g;
    g.fontFace = "No Such Typeface Anywhere";
    testing::internal::CaptureStderr();
    EXPECT_EQ(g.init(), 0);
    EXPECT_EQ(g.init(), 0);  // the font was tried already: no second build, no second box
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "GLFont: wglUseFontOutlines failed!\n");
    EXPECT_TRUE(g.fontTried);
    EXPECT_EQ(g.entryCount, greetingCapacity);
    EXPECT_EQ(g.entries[3].halfWidth, 0.0f);
    for (const gpu::VertexBatch& batch : g.nameBatches) {
        EXPECT_EQ(batch.buffer, 0u);
    }
    g.render(5.0f);  // nothing to draw, nothing to fail
}

TEST_F(FinaleTest, NamesFadeInOverTheSculptureAndCreditsKeepTheirState)
{
    // At the names' first instant they are fully transparent: the frame is Vantel's alone.
    frameWithoutCut(173.0f);
    const std::vector<unsigned char> withNames = band();
    const int count = greetings->entryCount;
    greetings->entryCount = 0;
    frameWithoutCut(173.0f);
    const std::vector<unsigned char> withoutNames = band();
    frameWithoutCut(177.0f);
    const std::vector<unsigned char> laterWithout = band();
    greetings->entryCount = count;
    EXPECT_EQ(differingPixels(withNames, withoutNames), 0);
    frameWithoutCut(177.0f);
    EXPECT_GT(differingPixels(band(), laterWithout), 60) << "opaque names from 176 s";

    // The credits picture over a flat colour: its transparent left side keeps the colour,
    // its text on the right does not; the state afterwards is the one the next part meets.
    glViewport(core.viewportX, core.viewportY, screen.viewportWidth, screen.viewportHeight);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gpu::texCoord(0.0f, 1.0f);
    credits->render(0.0f);
    const std::vector<unsigned char> picture = band();
    const int w = screen.viewportWidth;
    const unsigned char* left = &picture[(size_t(screen.viewportHeight / 2) * w + w / 10) * 4];
    EXPECT_NEAR(left[0], 51, 2);
    EXPECT_NEAR(left[2], 153, 2);
    int bright = 0;
    for (size_t i = 0; i < picture.size(); i += 4) {
        bright += picture[i] > 200 && picture[i + 1] > 200 && picture[i + 2] > 200;
    }
    EXPECT_GT(bright, 200) << "the credits' white names";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LESS);
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    EXPECT_EQ(depthMask, GL_TRUE);
    EXPECT_TRUE(gpu::texturing());
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(gpu::currentMatrixMode(), gpu::MatrixMode::ModelView);
}

TEST_F(FinaleTest, CutsRestartsCompanionScaleAndNoAllocationPerFrame)
{
    vantel->restart();
    EXPECT_EQ(vantel->lastCut, 0.0f);
    EXPECT_EQ(vantel->camera.camZ, -20.0f);
    vantel->render(3.1f);
    EXPECT_EQ(vantel->lastCut, 0.0f) << "3.1 s is not more than the interval";
    vantel->render(3.2f);
    EXPECT_EQ(vantel->lastCut, 3.2f);
    const float eye = vantel->camera.camX;
    vantel->render(1.0f);
    EXPECT_EQ(vantel->lastCut, 3.2f) << "no reset when time goes back";
    EXPECT_EQ(vantel->camera.camX, eye);
    vantel->restart();
    EXPECT_EQ(vantel->lastCut, 0.0f);
    EXPECT_EQ(vantel->camera.camX, 0.0f);
    EXPECT_EQ(vantel->camera.camY, -3.5f);

    // The companion draws under the model-view it is given and leaves it scaled by 0.1.
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    gpu::translate(1.0f, 2.0f, -8.0f);
    vantelObject.render(4.0f);
    const float* m = gpu::matrix(gpu::MatrixMode::ModelView);
    EXPECT_FLOAT_EQ(m[0], 0.1f);
    EXPECT_FLOAT_EQ(m[10], 0.1f);
    EXPECT_FLOAT_EQ(m[14], -8.0f);

    for (float t : {160.0f, 180.0f, 190.0f}) {
        // Two frames first: the GL driver compiles code for a combination of state the
        // first time it meets one (once, not per frame), and which frame meets which
        // depends on what drew before.
        core.setClock(t);
        core.renderFrame();
        core.setClock(t + 0.25f);
        core.renderFrame();
        allocations = 0;
        countAllocations = true;
        core.setClock(t + 0.5f);
        core.renderFrame();
        countAllocations = false;
        EXPECT_EQ(allocations.load(), 0) << "at " << t << " s";
    }
}
