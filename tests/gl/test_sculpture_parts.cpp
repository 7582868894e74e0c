// TheHub and Phalanx in the real Core with the generated archive: what their inits draw
// from the shared generator, their jump-cut cameras (random cuts without a rewind reset;
// the five fixed eyes with the class-wide index, the reset and one log line per cut),
// restart, the pictures they leave, and no allocations per frame.
#include "base/log.h"
#include "app/screen.h"
#include "core/core.h"
#include "effects/phalanx.h"
#include "effects/sfmt.h"
#include "effects/the_hub.h"
#include "core_fixture.h"
#include "log_capture.h"
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
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int windowWidth = 512;
constexpr int windowHeight = 288;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::string cutLine(float t, const float* eye)
{
    std::ostringstream s;
    s << "time: " << t << " x: " << eye[0] << " y: " << eye[1] << " z: " << eye[2];
    return s.str();
}

class SculpturePartsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openCore("sculpture parts test", windowWidth, windowHeight);
        if (HasFatalFailure()) {
            return;
        }
        hub = findPart<TheHub>();
        phalanx = findPart<Phalanx>();
    }
    static void TearDownTestSuite() { closeCore(); }
    void SetUp() override
    {
        ASSERT_NE(hub, nullptr);
        ASSERT_NE(phalanx, nullptr);
        core.postprocess = false;
        core.controlgrid = false;
        hub->restart();
        phalanx->restart();
    }
    static void expectEye(const CameraBlock& c, const float* eye)
    {
        EXPECT_EQ(c.camX, eye[0]);
        EXPECT_EQ(c.camY, eye[1]);
        EXPECT_EQ(c.camZ, eye[2]);
    }

    static TheHub* hub;
    static Phalanx* phalanx;
};

TheHub* SculpturePartsTest::hub = nullptr;
Phalanx* SculpturePartsTest::phalanx = nullptr;

}  // namespace

TEST_F(SculpturePartsTest, InitsDrawOnlyTheSpritesFiveValuesEachInOrder)
{
    // Fresh parts on the running Core: TheHub draws nothing, Phalanx 5 x 512 values.
    seedRandom(777);
    Sfmt19937 reference;
    reference.seed(777);
    auto draw = [&reference] { return unitFromWord(reference.next()); };
    {
        TheHub fresh;
        ASSERT_EQ(fresh.init(), 0);
    }
    Phalanx fresh;
    ASSERT_EQ(fresh.init(), 0);
    for (int i = 0; i < Phalanx::spriteCount; ++i) {
        SCOPED_TRACE(i);
        const Sprite& s = fresh.sprites[i];
        EXPECT_EQ(s.x, 24.0f * draw() - 12.0f);
        EXPECT_EQ(s.y, 20.0f * draw() - 10.0f);
        EXPECT_EQ(s.z, 24.0f * draw() - 12.0f);
        EXPECT_EQ(s.w, 30.0f * draw() - 15.0f);
        EXPECT_EQ(s.texture, int(draw() * 8.0f));
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_EQ(randomUnit(), draw()) << "no draws beyond the sprites'";
    EXPECT_EQ(fresh.spriteTextures.size(), 8u);
    for (const Texture& t : fresh.spriteTextures) {
        EXPECT_NE(t.crc, 0u);
    }
    EXPECT_NE(fresh.indexBuffer, 0u);
    EXPECT_NE(fresh.overlayTexture.crc, 0u);
}

TEST_F(SculpturePartsTest, HubCutsOnTheFirstFrameAfterTheIntervalAndFreezesWhenScrubbedBack)
{
    const float defaultEye[3] = {0.0f, -3.5f, 20.0f};
    hub->render(3.3f);
    EXPECT_EQ(hub->lastCut, 0.0f) << "3.3 s is not more than the interval";
    expectEye(hub->camera, defaultEye);

    // The cut's eye as the part must draw it, from a copy of the shared generator.
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
    hub->render(3.31f);
    EXPECT_EQ(hub->lastCut, 3.31f);
    const float cut[3] = {x, y, z};
    expectEye(hub->camera, cut);
    EXPECT_EQ(randomUnit(), draw()) << "no draws beyond the cut's";
    float shown[3] = {};
    ASSERT_EQ(fx::currentValues(fx::namedParameter(hub->hubShader.effect, "camPos"), shown, 3), 3);
    EXPECT_EQ(shown[0], x) << "the hub's shader is given the new eye in the frame of the cut";

    // Scrubbed back: no reset, the camera holds until lastCut + 3.3 has passed again.
    for (float t : {1.0f, 0.0f, 4.0f, 6.6f}) {
        hub->render(t);
        EXPECT_EQ(hub->lastCut, 3.31f) << t;
        expectEye(hub->camera, cut);
    }
    hub->render(6.7f);
    EXPECT_EQ(hub->lastCut, 6.7f);
    EXPECT_NE(hub->camera.camX, x);

    hub->restart();
    EXPECT_EQ(hub->lastCut, 0.0f);
    expectEye(hub->camera, defaultEye);
}

TEST_F(SculpturePartsTest, PhalanxStepsThroughTheFiveEyesLoggingEachCut)
{
    const float defaultEye[3] = {0.0f, 7.0f, -20.0f};
    LogCapture log;
    log.open("phalanx_cuts");
    const size_t before = lines(log.text()).size();

    phalanx->render(3.3f);
    expectEye(phalanx->camera, defaultEye);
    std::vector<std::string> expected;
    for (int k = 0; k < 6; ++k) {
        const float t = 3.4f * float(k + 1);
        phalanx->render(t);
        EXPECT_EQ(phalanx->lastCut, t);
        expectEye(phalanx->camera, phalanxEyes[k % 5]);
        expected.push_back(cutLine(t, phalanxEyes[k % 5]));
    }
    EXPECT_EQ(Phalanx::cutIndex, 1) << "the sixth cut took the first eye again";
    phalanx->render(3.4f * 6.0f + 1.0f);  // no cut

    // Scrubbing back resets the cut clock but not the list: the next cut takes eye 2.
    phalanx->render(1.0f);
    EXPECT_EQ(phalanx->lastCut, 0.0f);
    expectEye(phalanx->camera, phalanxEyes[0]);
    phalanx->render(3.35f);
    expectEye(phalanx->camera, phalanxEyes[1]);
    expected.push_back(cutLine(3.35f, phalanxEyes[1]));

    // No log, no line (the cut still happens).
    coreLog.created = false;
    phalanx->render(7.0f);
    coreLog.created = true;
    expectEye(phalanx->camera, phalanxEyes[2]);

    std::vector<std::string> written = lines(log.text());
    written.erase(written.begin(), written.begin() + long(before));
    EXPECT_EQ(written, expected);
    log.close();

    phalanx->restart();
    EXPECT_EQ(Phalanx::cutIndex, 0);
    EXPECT_EQ(phalanx->lastCut, 0.0f);
    expectEye(phalanx->camera, defaultEye);
}

TEST_F(SculpturePartsTest, PartsDrawTheirObjectsHandOverTheirOverlaysAndAllocateNothing)
{
    struct Case {
        Effect* part;
        float demoTime;
        uint32_t overlay;
    };
    const Case cases[] = {{hub, 25.0f, hub->overlayTexture.crc}, {phalanx, 80.0f, phalanx->overlayTexture.crc}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.demoTime);
        ASSERT_NE(c.overlay, 0u);
        core.setClock(c.demoTime);
        core.renderFrame();
        EXPECT_GT(brightnessSpread(windowWidth, windowHeight), 60);
        GLint framebuffer = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        EXPECT_EQ(framebuffer, 0);

        c.part->render(2.0f);
        EXPECT_EQ(core.overlayTexture, c.overlay);
        core.overlayTexture = 0;

        allocations = 0;
        countAllocations = true;
        for (int i = 0; i < 3; ++i) {
            c.part->render(2.0f + 0.03f * float(i));
        }
        countAllocations = false;
        EXPECT_EQ(allocations.load(), 0);
    }
}
