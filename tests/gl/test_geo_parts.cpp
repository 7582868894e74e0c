// RandomGeo2 and Splines in the real Core with the generated archive: the sprites their
// init draws, the jump cuts (first cut, no reset when time goes back, restart), the
// strand prefix drawn at each time, the pictures, the overlay and the absence of
// allocations per frame.
#include "app/screen.h"
#include "core/core.h"
#include "effects/random_geo2.h"
#include "effects/sfmt.h"
#include "effects/splines.h"
#include "core_fixture.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "counting_new.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr int windowWidth = 640;
constexpr int windowHeight = 360;
constexpr int randomGeo2Slot = 5;
constexpr int splinesSlot = 6;

// The random eye of a jump cut, drawn from a copy of the shared generator.
struct Eye {
    float x, y, z;
};
Eye nextCutEye(Sfmt19937& g)
{
    auto draw = [&g] { return unitFromWord(g.next()); };
    Eye e{(draw() - 0.5f) * 20.0f, (draw() - 0.5f) * 4.0f, (draw() - 0.5f) * 20.0f};
    if (std::fabs(e.x) < 4.0f) {
        e.x *= 2.0f + 10.0f * draw();
    }
    if (std::fabs(e.y) < 4.0f) {
        e.y *= 2.0f + 2.0f * draw();
    }
    if (std::fabs(e.z) < 4.0f) {
        e.z *= 2.0f + 10.0f * draw();
    }
    return e;
}

class GeoPartsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openCore("geo parts test", windowWidth, windowHeight);
        if (HasFatalFailure()) {
            return;
        }
        geo = dynamic_cast<RandomGeo2*>(core.schedule[randomGeo2Slot].effect);
        splines = dynamic_cast<Splines*>(core.schedule[splinesSlot].effect);
        ASSERT_NE(geo, nullptr);
        ASSERT_NE(splines, nullptr);
    }
    static void TearDownTestSuite() { closeCore(); }
    void SetUp() override
    {
        ASSERT_NE(geo, nullptr);
        core.postprocess = false;
        core.controlgrid = false;
        geo->restart();
        splines->restart();
    }

    static RandomGeo2* geo;
    static Splines* splines;
};

RandomGeo2* GeoPartsTest::geo = nullptr;
Splines* GeoPartsTest::splines = nullptr;

}  // namespace

TEST_F(GeoPartsTest, SpritesAreFiveDrawsEachFromTheSharedGeneratorAsPhalanxFillsThem)
{
    Sfmt19937 g;
    g.seed(12345);
    std::vector<float> stream;
    for (int i = 0; i < 40000; ++i) {
        stream.push_back(unitFromWord(g.next()));
    }
    const Sprite& first = geo->sprites[0];
    long at = -1;
    for (long i = 0; i + 5 < long(stream.size()); ++i) {
        if (first.x == 24.0f * stream[size_t(i)] - 12.0f && first.y == 20.0f * stream[size_t(i) + 1] - 10.0f &&
            first.z == 24.0f * stream[size_t(i) + 2] - 12.0f && first.w == 30.0f * stream[size_t(i) + 3] - 15.0f) {
            at = i;
            break;
        }
    }
    ASSERT_GE(at, 0) << "the first sprite is not successive draws x, y, z, w";

    // The same generator state through the shared fill (Phalanx's) gives every record.
    Sfmt19937 replay;
    replay.seed(12345);
    for (long i = 0; i < at; ++i) {
        replay.next();
    }
    const Sfmt19937 saved = sharedRandom;
    sharedRandom = replay;
    std::vector<Sprite> phalanxWay(RandomGeo2::spriteCount);
    fillSprites(phalanxWay.data(), RandomGeo2::spriteCount, RandomGeo2::spriteTextureCount);
    sharedRandom = saved;
    int differing = 0;
    for (int i = 0; i < RandomGeo2::spriteCount; ++i) {
        const Sprite& a = geo->sprites[i];
        const Sprite& b = phalanxWay[size_t(i)];
        differing += a.x != b.x || a.y != b.y || a.z != b.z || a.w != b.w || a.texture != b.texture;
        ASSERT_GE(a.texture, 0);
        ASSERT_LT(a.texture, RandomGeo2::spriteTextureCount);
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(geo->sprites[511].w, 30.0f * stream[size_t(at) + 511 * 5 + 3] - 15.0f) << "five draws per sprite";
    EXPECT_EQ(geo->spriteTextures.size(), 8u);
}

TEST_F(GeoPartsTest, JumpCutsComeAfterTheirIntervalAndTimeGoingBackResetsNothing)
{
    struct Case {
        const char* name;
        Effect* effect;
        float* lastCut;
        CameraBlock* camera;
        float interval;
    };
    const Case cases[] = {
        {"RandomGeo2", geo, &geo->lastCut, &geo->camera, 2.5f},
        {"Splines", splines, &splines->lastCut, &splines->camera, 3.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.effect->render(c.interval);
        EXPECT_EQ(*c.lastCut, 0.0f) << "exactly the interval is not more than it";
        EXPECT_EQ(c.camera->camZ, -20.0f) << "the default eye until the first cut";

        Sfmt19937 copy = sharedRandom;
        const Eye eye = nextCutEye(copy);
        const float first = c.interval + 0.02f;
        c.effect->render(first);
        EXPECT_EQ(*c.lastCut, first);
        EXPECT_EQ(c.camera->camX, eye.x);
        EXPECT_EQ(c.camera->camY, eye.y);
        EXPECT_EQ(c.camera->camZ, eye.z);
        EXPECT_EQ(randomUnit(), unitFromWord(copy.next())) << "no draws beyond the cut's";

        c.effect->render(1.0f);
        EXPECT_EQ(*c.lastCut, first) << "time went back: no reset";
        c.effect->render(first + c.interval - 0.05f);
        EXPECT_EQ(*c.lastCut, first) << "not yet the interval after the last cut";
        EXPECT_EQ(c.camera->camX, eye.x);
        c.effect->render(first + c.interval + 0.05f);
        EXPECT_EQ(*c.lastCut, first + c.interval + 0.05f);

        c.effect->restart();
        EXPECT_EQ(*c.lastCut, 0.0f);
        EXPECT_EQ(c.camera->camX, 0.0f);
        EXPECT_EQ(c.camera->camY, -3.5f);
        EXPECT_EQ(c.camera->camZ, -20.0f);
    }
}

// The shipped strand mesh holds 213,840 indices (18 x 11,880), so the shares at 4.5 s and
// 9 s are whole: a quarter and a half. The count must also reach the draw call: the
// triangles the GL assembles grow by a third of it over the frame at t = 0.
TEST_F(GeoPartsTest, SplinesDrawsTheShareOfTheStrandsItsTimeAsks)
{
    const uint32_t total = uint32_t(splines->strandMesh.polygons.size());
    ASSERT_EQ(total, 213840u) << "the generated strand mesh changed: work the shares out again";
    GLuint query = 0;
    glGenQueries(1, &query);
    auto trianglesDrawn = [&](float t) {
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        splines->render(t);
        glEndQuery(GL_PRIMITIVES_GENERATED);
        GLuint count = 0;
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &count);
        return count;
    };
    const GLuint withoutStrands = trianglesDrawn(0.0f);
    EXPECT_EQ(splines->drawnIndexCount, 0u);
    struct Case {
        float t;
        uint32_t expected;
    };
    const Case cases[] = {{4.5f, 53460}, {9.0f, 106920}, {18.0f, 213840}, {30.0f, 213840}, {0.0f, 0}};
    for (const Case& c : cases) {
        const GLuint triangles = trianglesDrawn(c.t);
        EXPECT_EQ(splines->drawnIndexCount, c.expected) << "t = " << c.t;
        EXPECT_EQ(triangles - withoutStrands, c.expected / 3) << "t = " << c.t;
    }
    glDeleteQueries(1, &query);
}

TEST_F(GeoPartsTest, BothPartsDrawAPictureWithTheirOverlayAndLeaveTheWindowBound)
{
    struct Case {
        float demoTime;
        uint32_t overlay;
    };
    const Case cases[] = {{100.0f, geo->overlayTexture.crc}, {124.0f, splines->overlayTexture.crc}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.demoTime);
        ASSERT_NE(c.overlay, 0u);
        core.setClock(c.demoTime);
        core.renderFrame();
        EXPECT_GT(brightnessSpread(windowWidth, windowHeight), 80) << "a lit object over its environment";
        core.overlayTexture = 0;
        const int slot = c.demoTime < 115.0f ? randomGeo2Slot : splinesSlot;
        core.schedule[size_t(slot)].effect->render(c.demoTime - core.schedule[size_t(slot)].startTime);
        EXPECT_EQ(core.overlayTexture, c.overlay) << "handed over on every frame";
        GLint framebuffer = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        EXPECT_EQ(framebuffer, 0);
    }
}

TEST_F(GeoPartsTest, FramesAllocateNothing)
{
    geo->render(1.0f);
    splines->render(1.0f);
    allocations = 0;
    countAllocations = true;
    for (int i = 0; i < 3; ++i) {
        geo->render(1.0f + 0.03f * float(i));
        splines->render(10.0f + 0.03f * float(i));
    }
    countAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
}
