// The Core's timeline and frame driver in a real GL context, with test parts that fill
// the band with known colours in place of the demo's parts.
#include "gl_fixture.h"
#include "app/screen.h"
#include "core/core.h"
#include "core/postprocess.h"
#include "effects/effect.h"
#include "effects/sfmt.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "platform/platform.h"
#include "resources/alpha_coverage.h"
#include "resources/loader.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int windowWidth = 320;
constexpr int windowHeight = 240;  // taller than 16:9: a 320 x 180 band at y = 30

struct Colour {
    float r, g, b;
};

const Colour palette[demoSlotCount] = {
    {0.8f, 0.2f, 0.1f}, {0.1f, 0.6f, 0.9f}, {0.3f, 0.9f, 0.2f}, {0.9f, 0.9f, 0.1f},
    {0.6f, 0.1f, 0.7f}, {0.2f, 0.3f, 0.4f}, {0.5f, 0.5f, 0.5f}, {0.7f, 0.4f, 0.2f},
    {0.1f, 0.2f, 0.8f}, {0.4f, 0.8f, 0.6f}, {0.9f, 0.5f, 0.6f}};

std::vector<std::string> events;  // "init N", in call order

class ColourPart : public Effect {
public:
    explicit ColourPart(int slot) : slot(slot) {}
    int init() override
    {
        ++inits;
        firstDraw = randomUnit();
        events.push_back("init " + std::to_string(slot));
        return 0;
    }
    void render(float localTime) override
    {
        renders.push_back(localTime);
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        gpu::setTexturing(false);
        const Colour& c = palette[slot];
        gpu::color(c.r, c.g, c.b, 1.0f);
        gpu::rect(-1.0f, -1.0f, 1.0f, 1.0f);
        if (overlay != 0) {
            handOverOverlay(overlay);
        }
    }

    int slot;
    int inits = 0;
    float firstDraw = -1.0f;
    uint32_t overlay = 0;
    std::vector<float> renders;
};

ColourPart* parts[demoSlotCount] = {};

Effect* makePart(int slot)
{
    parts[slot] = new ColourPart(slot);
    return parts[slot];
}

std::array<float, 3> pixel(int x, int y)
{
    unsigned char rgba[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f};
}

std::array<float, 3> bandCentre() { return pixel(windowWidth / 2, windowHeight / 2); }

void expectColour(const std::array<float, 3>& actual, float r, float g, float b, const char* what)
{
    EXPECT_NEAR(actual[0], r, 0.02f) << what;
    EXPECT_NEAR(actual[1], g, 0.02f) << what;
    EXPECT_NEAR(actual[2], b, 0.02f) << what;
}

std::array<float, 3> texel(uint32_t texture)
{
    std::vector<unsigned char> data(size_t(screen.viewportWidth) * screen.viewportHeight * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
    const size_t centre = (size_t(screen.viewportHeight / 2) * screen.viewportWidth + screen.viewportWidth / 2) * 4;
    return {data[centre] / 255.0f, data[centre + 1] / 255.0f, data[centre + 2] / 255.0f};
}

class CoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openTestWindow("core test", windowWidth, windowHeight);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        screen.width = windowWidth;
        screen.height = windowHeight;
        loader.open("data.zip");
        ASSERT_TRUE(loader.opened);
        core.effectMaker = makePart;
        ASSERT_EQ(core.init(), 0);
    }
    static void TearDownTestSuite()
    {
        core.release();
        platform::destroyWindow();
    }
    void SetUp() override
    {
        core.postprocess = false;  // the chain has its own tests; here the raw timeline
        core.spectrum = true;
    }
    void renderAt(float t)
    {
        core.setClock(t);
        core.renderFrame();
    }
};

}  // namespace

TEST_F(CoreTest, InitRunsEveryPartOnceInScheduleOrderAfterSeeding)
{
    ASSERT_EQ(core.effectCount, 11u);
    std::vector<std::string> expected;
    for (int i = 0; i < demoSlotCount; ++i) {
        expected.push_back("init " + std::to_string(i));
        EXPECT_EQ(core.schedule[i].startTime, demoSchedule[i].startTime);
        EXPECT_EQ(core.schedule[i].fadeOutType, demoSchedule[i].fadeOutType);
    }
    EXPECT_EQ(events, expected);
    // The generator was seeded with 12345 before the first init.
    Sfmt19937 reference;
    reference.seed(12345);
    EXPECT_EQ(parts[0]->firstDraw, unitFromWord(reference.next()));
    EXPECT_EQ(parts[1]->firstDraw, unitFromWord(reference.next()));
    EXPECT_EQ(core.loadingBar.fill, 473);
    EXPECT_LE(core.loadingBar.alpha, 0.0f);  // faded out
    EXPECT_EQ(core.overlayTexture, 0u);
}

TEST_F(CoreTest, BandIsLetterboxedInATallWindow)
{
    EXPECT_EQ(screen.viewportWidth, 320);
    EXPECT_EQ(screen.viewportHeight, 180);
    EXPECT_EQ(core.viewportX, 0);
    EXPECT_EQ(core.viewportY, 30);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[1], 30);
    EXPECT_EQ(viewport[3], 180);
    EXPECT_EQ(core.sceneCopy.width, 320);
    EXPECT_EQ(core.sceneCopy.height, 180);
    EXPECT_EQ(core.bloomA.width, 256);
    EXPECT_EQ(core.bloomB.height, 256);
    EXPECT_FALSE(core.quadMesh.points.empty());
    // drawMesh passes texture coordinates only for meshes with texture entries: without
    // one the post passes would all sample a single texel.
    EXPECT_FALSE(core.quadMesh.textures.empty());
    EXPECT_FALSE(core.cubeMesh.points.empty());

    renderAt(30.0f);
    expectColour(bandCentre(), palette[1].r, palette[1].g, palette[1].b, "inside the band");
    expectColour(pixel(10, 10), 0, 0, 0, "below the band");
    expectColour(pixel(10, windowHeight - 5), 0, 0, 0, "above the band");
    expectColour(pixel(10, 31), palette[1].r, palette[1].g, palette[1].b, "band's bottom row");
}

TEST_F(CoreTest, FadeFromBlackAtOneSecond)
{
    renderAt(1.0f);
    EXPECT_FLOAT_EQ(core.time, 1.0f);
    ASSERT_FALSE(parts[0]->renders.empty());
    EXPECT_FLOAT_EQ(parts[0]->renders.back(), 1.0f);
    const Colour& c = palette[0];
    expectColour(bandCentre(), c.r * 0.5f, c.g * 0.5f, c.b * 0.5f, "first colour under a 0.5 black wash");
}

TEST_F(CoreTest, CrossfadeAt18_5CopiesSourceAndTarget)
{
    renderAt(18.5f);
    EXPECT_FLOAT_EQ(core.crossfadeFactor, 0.25f);
    EXPECT_FLOAT_EQ(core.crossfadeStart, 18.0f);
    EXPECT_FLOAT_EQ(core.crossfadeEnd, 20.0f);
    EXPECT_FLOAT_EQ(parts[1]->renders.back(), 0.5f);
    const Colour& a = palette[0];
    const Colour& b = palette[1];
    auto source = texel(core.fadeOutCopy.colorTexture);
    auto target = texel(core.fadeInCopy.colorTexture);
    expectColour(source, a.r, a.g, a.b, "fadeOutCopy holds the source");
    expectColour(target, b.r, b.g, b.b, "fadeInCopy holds the target");
    // Without the chain the target simply covers the source.
    expectColour(bandCentre(), b.r, b.g, b.b, "postprocess off: no mix");
}

TEST_F(CoreTest, WhiteWashesAroundTheSceneCut)
{
    renderAt(133.75f);
    const Colour& s = palette[6];
    expectColour(bandCentre(), s.r * 0.5f + 0.5f, s.g * 0.5f + 0.5f, s.b * 0.5f + 0.5f, "Splines under white 0.5");
    renderAt(134.2f);
    const Colour& c = palette[7];
    expectColour(bandCentre(), c.r * 0.4f + 0.6f, c.g * 0.4f + 0.6f, c.b * 0.4f + 0.6f, "Scene02 under white 0.6");
}

TEST_F(CoreTest, BlackAfterTheCreditsAndNoRenders)
{
    for (ColourPart* p : parts) {
        p->renders.clear();
    }
    renderAt(196.0f);
    expectColour(bandCentre(), 0, 0, 0, "black tail");
    for (ColourPart* p : parts) {
        EXPECT_TRUE(p->renders.empty()) << "slot " << p->slot;
    }
    EXPECT_EQ(core.crossfadeFactor, 0.0f);
}

TEST_F(CoreTest, TimeSetBackwardsReentersWithoutReinitialising)
{
    renderAt(100.0f);
    parts[0]->renders.clear();
    parts[1]->renders.clear();
    renderAt(10.0f);
    ASSERT_EQ(parts[0]->renders.size(), 1u);
    EXPECT_FLOAT_EQ(parts[0]->renders[0], 10.0f);
    EXPECT_TRUE(parts[1]->renders.empty());
    renderAt(25.0f);
    EXPECT_FLOAT_EQ(parts[1]->renders.back(), 7.0f);
    for (ColourPart* p : parts) {
        EXPECT_EQ(p->inits, 1) << "slot " << p->slot;
    }
}

TEST_F(CoreTest, OverlayIsDrawnOnceAndForgotten)
{
    // A 1 x 1 opaque white texture handed over by the Phalanx slot.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char white[4] = {255, 255, 255, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    parts[4]->overlay = texture;
    renderAt(85.0f);
    parts[4]->overlay = 0;
    expectColour(bandCentre(), 1, 1, 1, "overlay over the part");
    EXPECT_EQ(core.overlayTexture, 0u);
    renderAt(85.0f);
    const Colour& c = palette[4];
    expectColour(bandCentre(), c.r, c.g, c.b, "next frame without the overlay");
    glDeleteTextures(1, &texture);
}

// The overlay drawn over only its visible tiles gives the pixels of the whole picture:
// thin lines and dots, some on tile edges, in a picture shrunk 3.2 times (read from a
// coarser mipmap level), so the filter reaches across tile edges. The quads' texture
// coordinates are interpolated over other triangles, which moves the samples by a hair
// (a level or two of 255 on a line's flank); a lost tile would lose a line or a dot.
TEST_F(CoreTest, OverlayTilesGiveTheWholePicture)
{
    constexpr int w = 1024, h = 576;
    std::vector<unsigned char> texels(size_t(w) * h * 4, 0);
    auto dot = [&](int x, int y, unsigned char a) {
        unsigned char* p = &texels[(size_t(y) * w + size_t(x)) * 4];
        p[0] = 250, p[1] = 240, p[2] = 200, p[3] = a;
    };
    for (int x = 0; x < w; ++x) {
        dot(x, 40, 255);  // a line across, and one along a tile edge
        dot(x, h / coverageRows * 7, 128);
    }
    for (int y = 0; y < h; ++y) {
        dot(w / coverageColumns * 20, y, 200);
    }
    for (int i = 0; i < 40; ++i) {
        dot((i * 97) % w, (i * 61) % h, 255);
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glGenerateMipmap(GL_TEXTURE_2D);
    const AlphaCoverage coverage = measureAlphaCoverage(texels.data(), w, h);
    ASSERT_TRUE(coverageHolds(coverage, windowWidth, windowHeight));

    auto band = [&](bool tiled) {
        if (tiled) {
            rememberAlphaCoverage(texture, coverage);
        } else {
            forgetAlphaCoverage(texture);
        }
        parts[4]->overlay = texture;
        renderAt(85.0f);
        parts[4]->overlay = 0;
        EXPECT_EQ(findAlphaCoverage(texture) != nullptr, tiled);
        std::vector<unsigned char> rgba(size_t(windowWidth) * windowHeight * 4);
        glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    };
    const std::vector<unsigned char> whole = band(false);
    const std::vector<unsigned char> tiled = band(true);
    forgetAlphaCoverage(texture);
    glDeleteTextures(1, &texture);
    int worst = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        worst = std::max(worst, std::abs(int(whole[i]) - int(tiled[i])));
    }
    EXPECT_LE(worst, 3) << "largest channel difference between the tiled and the whole overlay";
    renderAt(85.0f);
    std::vector<unsigned char> bare(whole.size());
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, bare.data());
    EXPECT_NE(whole, bare) << "the overlay shows";
}

TEST_F(CoreTest, FadeLeavesDepthStateAsTheFrameExpects)
{
    // A visible wash, and the flash too faint to change a pixel (not drawn): the state
    // the frame goes on with is the same, and only the visible one touches the picture.
    const struct {
        int type;
        float x;
        bool changesPicture;
    } cases[] = {{fadeToBlack, 0.3f, true}, {fadeToWhite, 0.0015f, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glDisable(GL_BLEND);
        core.fade(c.type, c.x);
        GLboolean depthTest = GL_FALSE;
        GLboolean depthMask = GL_FALSE;
        GLint depthFunc = 0;
        glGetBooleanv(GL_DEPTH_TEST, &depthTest);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
        EXPECT_TRUE(depthTest);
        EXPECT_TRUE(depthMask);
        EXPECT_EQ(depthFunc, GL_LESS);
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
        GLint projectionDepth = 0;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
        EXPECT_EQ(projectionDepth, 1);
        unsigned char centre[4] = {};
        glReadPixels(windowWidth / 2, windowHeight / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
        EXPECT_EQ(centre[0] != 51 || centre[1] != 102 || centre[2] != 153, c.changesPicture);
    }
}

// The unseen frame the start-up draws while the bar fades out runs the parts but shows
// nothing of them and leaves the state the bar and the first frame rely on.
TEST_F(CoreTest, UnseenFrameRunsThePartsAndKeepsPictureAndState)
{
    core.setClock(1.5f);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();
    gpu::ortho(0.0, 10.0, 0.0, 10.0, -1.0, 1.0);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float* top = gpu::matrix(gpu::MatrixMode::Projection);
    const std::vector<float> projection(top, top + 16);
    gpu::color(0.25f, 0.5f, 0.75f, 1.0f);
    const size_t rendersBefore = parts[0]->renders.size();

    core.renderFrameUnseen();

    EXPECT_EQ(parts[0]->renders.size(), rendersBefore + 1);
    expectColour(bandCentre(), 0.2f, 0.4f, 0.6f, "the back buffer outside the one pixel");
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    GLint after[4] = {};
    glGetIntegerv(GL_VIEWPORT, after);
    EXPECT_EQ(std::vector<GLint>(after, after + 4), std::vector<GLint>(viewport, viewport + 4));
    top = gpu::matrix(gpu::MatrixMode::Projection);
    EXPECT_EQ(std::vector<float>(top, top + 16), projection);
    const float* colour = gpu::currentColor();
    EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>({0.25f, 0.5f, 0.75f, 1.0f}));
    EXPECT_FALSE(gpu::texturing());
    GLint framebuffer = -1, program = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_TRUE(gpu::currentMatrixMode() == gpu::MatrixMode::ModelView);
    EXPECT_EQ(framebuffer, 0);
    EXPECT_EQ(program, 0);
    glDisable(GL_BLEND);
}

TEST_F(CoreTest, ControlGridDrawsOnlyWhenSwitchedOn)
{
    renderAt(196.0f);  // black
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();
    gpu::ortho(-11, 11, -11, 11, -1, 1);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    auto litPixels = []() {
        std::vector<unsigned char> data(size_t(windowWidth) * windowHeight * 4);
        glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
        int lit = 0;
        for (size_t i = 0; i < data.size(); i += 4) {
            // Half-opacity white over black: about 128 in every channel.
            lit += (data[i] > 100 && data[i] < 160 && data[i + 1] > 100 && data[i + 2] > 100) ? 1 : 0;
        }
        return lit;
    };
    core.controlgrid = false;
    controlGrid();
    EXPECT_EQ(litPixels(), 0);
    core.controlgrid = true;
    controlGrid();
    core.controlgrid = false;
    // 21 vertical lines across a 180-pixel-high band plus the horizontal ones.
    EXPECT_GT(litPixels(), 21 * 150);
}

TEST_F(CoreTest, ChainMixesWheneverATargetWasCopiedAndClampsTheFactor)
{
    renderAt(18.5f);  // fills fadeOutCopy and fadeInCopy
    core.time = 18.5f;
    auto chainOver = [](bool mix, float factor, float grey, Wash flash = Wash{}) {
        glClearColor(grey, grey, grey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        core.crossfadeMix = mix;
        core.crossfadeFactor = factor;
        runPostProcess(flash);
        return bandCentre();
    };
    // No target copy in the frame: no mixer; the picture goes to the bloom unchanged.
    auto none = chainOver(false, 0.0f, 0.25f);
    expectColour(none, 0.25f, 0.25f, 0.25f, "no cross-fade keeps the picture");
    // The music's flash is laid over the finished picture by the last pass.
    auto flashed = chainOver(false, 0.0f, 0.25f, Wash{1.0f, 0.5f});
    expectColour(flashed, 0.625f, 0.625f, 0.625f, "half a white flash over grey");
    auto mixedFlash = chainOver(true, 1.0f, 0.25f, Wash{1.0f, 1.0f});
    expectColour(mixedFlash, 1.0f, 1.0f, 1.0f, "the flash over a cross-fade too");
    // A cross-fade at its first instant mixes with factor 0: the source, not the picture.
    auto first = chainOver(true, 0.0f, 0.25f);
    auto full = chainOver(true, 1.0f, 0.25f);
    auto above = chainOver(true, 3.0f, 0.25f);
    auto half = chainOver(true, 0.5f, 0.25f);
    EXPECT_GT(first[0], 0.6f) << "factor 0 shows the source";
    expectColour(above, full[0], full[1], full[2], "a factor above 1 is passed as 1");
    EXPECT_GT(full[2], 0.8f) << "factor 1 shows the target";
    EXPECT_GT(half[0], full[0] + 0.1f) << "factor 0.5 still shows the source";
    core.crossfadeMix = false;
    core.crossfadeFactor = 0.0f;
}

// Around the start of each cross-fade the picture moves smoothly from the source: the
// frame at the exact start shows the source, not the target at full strength; and the
// source copy holds every entry drawn between source and target (the names over the
// finale), while the other two cross-fades copy just their source.
TEST_F(CoreTest, CrossfadesStartWithoutAPopAndTheSourceHoldsWhatLiesBetween)
{
    core.postprocess = true;
    core.spectrum = false;
    struct Case {
        float start;
        int source;  // the slot whose colour the source copy holds
    };
    for (const Case& c : {Case{18.0f, 0}, Case{57.0f, 2}, Case{188.0f, 9}}) {
        SCOPED_TRACE(c.start);
        std::array<float, 3> frames[3];
        const float times[3] = {c.start - 0.01f, c.start, c.start + 0.01f};
        for (int i = 0; i < 3; ++i) {
            renderAt(times[i]);
            frames[i] = bandCentre();
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(frames[1][k], frames[0][k], 0.03f) << "no jump into the cross-fade";
            EXPECT_NEAR(frames[2][k], frames[1][k], 0.03f) << "no jump out of its first frame";
        }
        renderAt(c.start + 0.5f);
        const Colour& s = palette[c.source];
        expectColour(texel(core.fadeOutCopy.colorTexture), s.r, s.g, s.b, "source copy");
    }
    core.spectrum = true;
    core.postprocess = false;
}

TEST_F(CoreTest, PostprocessOffTakesNoSceneCopy)
{
    core.postprocess = true;
    renderAt(30.0f);  // TheHub's colour goes into sceneCopy
    auto before = texel(core.sceneCopy.colorTexture);
    core.postprocess = false;
    renderAt(45.0f);  // StripesDOF's colour is drawn but not copied
    auto after = texel(core.sceneCopy.colorTexture);
    expectColour(after, before[0], before[1], before[2], "sceneCopy unchanged");
    expectColour(bandCentre(), palette[2].r, palette[2].g, palette[2].b, "the picture itself");
}

// Runs last: the quit request cannot be taken back.
TEST_F(CoreTest, ZzFrameAfter197PostsTheQuitRequest)
{
    int code = -1;
    core.setClock(197.0f);
    core.frame();
    EXPECT_FALSE(platform::quitRequested(&code));
    const uint32_t before = core.frames;
    core.setClock(197.01f);
    core.frame();
    EXPECT_EQ(core.frames, before + 1);
    ASSERT_TRUE(platform::quitRequested(&code));
    EXPECT_EQ(code, 0);
}
