// The control GUI: the "Core" bar, the clock buttons and the Time variable, and the
// bar drawn over a picture without disturbing it.
#include "gl_fixture.h"
#include "audio/sound.h"
#include "core/core.h"
#include "core/gui.h"
#include "fx/fx.h"
#include "platform/gui_backend.h"
#include "platform/platform.h"
#include "tweak/tweak.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

platform::Event key(int code)
{
    platform::Event e;
    e.kind = platform::Event::KeyDown;
    e.key = code;
    return e;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

class GuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openTestWindow("gui test", kWidth, kHeight);
    }
    static void TearDownTestSuite() { platform::destroyWindow(); }

    void SetUp() override
    {
        gui = Gui();
        ASSERT_FALSE(sound.loaded);
        ASSERT_EQ(gui.init(), 0);
        core.timer = Timer();
        core.timer.reset();
    }
    void TearDown() override { tweak::terminate(); }

    tweak::Variable* variable(const char* name) { return tweak::findVariable(gui.bar, name); }
    void pressButton(const char* name)
    {
        tweak::Variable* v = variable(name);
        ASSERT_NE(v, nullptr);
        v->button(v->clientData);
    }
    double time()
    {
        double t = -1;
        tweak::getValue(variable("Time"), &t);
        return t;
    }
};

TEST_F(GuiTest, TheCoreBarHoldsTheClockControlsWithoutMusic)
{
    ASSERT_NE(gui.bar, nullptr);
    EXPECT_EQ(gui.bar->name, "Core");
    EXPECT_EQ(gui.bar->width, 200);
    EXPECT_EQ(gui.bar->height, 400);
    EXPECT_EQ(gui.bar->valuesWidth, 60);
    EXPECT_FLOAT_EQ(gui.bar->refresh, 0.01f);
    EXPECT_TRUE(gui.bar->shown);
    EXPECT_FALSE(gui.bar->iconified);
    std::vector<std::string> names;
    for (const tweak::Variable& v : gui.bar->variables) {
        names.push_back(v.name);
    }
    // No "Volume" without music.
    EXPECT_EQ(names, (std::vector<std::string>{"Play", "Pause", "Reset", "Time"}));
    tweak::Variable* t = variable("Time");
    EXPECT_DOUBLE_EQ(t->max, 1000.0);
    EXPECT_EQ(t->precision, 4);
    EXPECT_EQ(t->keyIncr, '.');
    // The error handler is silent: a refused name leaves only the text.
    EXPECT_EQ(tweak::addButton(gui.bar, "Play", nullptr, nullptr, nullptr), 1);
    EXPECT_NE(std::string(tweak::getLastError()).find("Play"), std::string::npos);

    tweak::terminate();
    gui = Gui();
    gui.showBar = false;
    ASSERT_EQ(gui.init(), 0);
    EXPECT_TRUE(gui.bar->iconified);
}

TEST_F(GuiTest, PauseSetTimeAndPlayContinueFromTheSetTime)
{
    pressButton("Pause");
    EXPECT_TRUE(core.timer.paused);
    ASSERT_TRUE(tweak::setValue(variable("Time"), 100.0));
    EXPECT_NEAR(core.timer.read(), 100.0f, 1e-3f);
    sleepMs(20);
    EXPECT_NEAR(core.timer.read(), 100.0f, 1e-3f);  // paused: the time stays
    pressButton("Play");
    EXPECT_FALSE(core.timer.paused);
    sleepMs(30);
    float t = core.timer.read();
    EXPECT_GT(t, 100.02f);
    EXPECT_LT(t, 101.0f);
    // Play on a running demo changes nothing.
    pressButton("Play");
    EXPECT_GE(core.timer.read(), t);
}

TEST_F(GuiTest, SettingTheTimeWhileRunningMovesThePictureAndKeepsRunning)
{
    sleepMs(10);
    ASSERT_TRUE(tweak::setValue(variable("Time"), 100.0));
    const float t = core.timer.read();  // the next frame's fresh counter value
    EXPECT_GE(t, 100.0f);
    EXPECT_LT(t, 100.5f);
    sleepMs(30);
    EXPECT_GT(core.timer.read(), t + 0.02f) << "still running";
    EXPECT_FALSE(core.timer.paused);
}

TEST_F(GuiTest, ResetWhilePausedStaysPausedAtZero)
{
    sleepMs(20);
    core.timer.read();  // a frame reads the clock
    pressButton("Pause");
    sleepMs(20);
    EXPECT_GT(time(), 0.015);
    EXPECT_LT(time(), 0.5);
    pressButton("Reset");
    EXPECT_TRUE(core.timer.paused);
    EXPECT_NEAR(time(), 0.0, 1e-6);
    sleepMs(20);
    EXPECT_NEAR(core.timer.read(), 0.0f, 1e-6f);
    pressButton("Play");
    sleepMs(20);
    EXPECT_GT(core.timer.read(), 0.015f);
}

TEST_F(GuiTest, KeyShortcutsNudgeTheTime)
{
    pressButton("Pause");
    ASSERT_TRUE(tweak::setValue(variable("Time"), 50.0));
    EXPECT_TRUE(tweak::handleEvent(key('.')));
    EXPECT_NEAR(core.timer.read(), 50.01f, 1e-4f);
    EXPECT_TRUE(tweak::handleEvent(key(',')));
    EXPECT_TRUE(tweak::handleEvent(key(',')));
    EXPECT_NEAR(core.timer.read(), 49.99f, 1e-4f);
}

TEST_F(GuiTest, CoreVariablesAndTweakablesGoThroughTheBar)
{
    bool postprocess = true;
    int fftControl = 2;
    EXPECT_EQ(tweak::addVarRW(gui.bar, "postprocess", tweak::Type::BoolCpp, &postprocess, "label='postprocess'"), 0);
    EXPECT_EQ(tweak::addVarRW(gui.bar, "fftControl", tweak::Type::Int32, &fftControl,
                              " min=0 max=512 label='fft flash' "),
              0);
    tweak::setValue(variable("postprocess"), 0);
    tweak::setValue(variable("fftControl"), 600);
    EXPECT_FALSE(postprocess);
    EXPECT_EQ(fftControl, 512);

    EXPECT_EQ(gui.addTweakable("gain", nullptr, "fx.gain", 2.0f, " min=0 max=4 "), 0);
    EXPECT_EQ(gui.addTweakable("gain", nullptr, "fx.gain", 3.0f, " min=0 max=4 "), 0);
    ASSERT_EQ(gui.tweakables.size(), 2u);  // the bar refused the second, the list keeps it
    tweak::setValue(variable("fx.gain"), 1.5);
    EXPECT_FLOAT_EQ(gui.tweakables[0].value, 1.5f);
    EXPECT_FLOAT_EQ(gui.tweakables[1].value, 3.0f);
    gui.pushTweakables();  // null effects are skipped
}

TEST_F(GuiTest, DrawingTheBarLeavesThePictureAndTheGlStateAlone)
{
    // A picture: a gradient over the whole window.
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);
    glVertex2f(-1, -1);
    glColor3f(0, 1, 0);
    glVertex2f(1, -1);
    glColor3f(0, 0, 1);
    glVertex2f(1, 1);
    glColor3f(1, 1, 0);
    glVertex2f(-1, 1);
    glEnd();
    std::vector<unsigned char> before(kWidth * kHeight * 4), after(kWidth * kHeight * 4);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, before.data());

    // State the demo may have at the end of a frame.
    const float mv[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 4, 5, 6, 1};
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(mv);
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 10, 0, 10, -1, 1);
    GLuint buffer = 0, texture = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glViewport(0, 60, 640, 360);
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, "float4 ps() : COLOR { return float4(1, 1, 1, 1); }\n"
                                                   "technique T { pass { FragmentProgram = compile fp40 ps(); } }");
    ASSERT_TRUE(fx::validateTechnique(fx::firstTechnique(effect)));
    fx::setPassState(fx::firstPass(fx::firstTechnique(effect)));
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    ASSERT_NE(program, 0);
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, texture);

    tweak::draw();  // hidden: draws nothing
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, after.data());
    EXPECT_EQ(before, after);

    ASSERT_TRUE(tweak::handleEvent(key(platform::guiToggleKey())));
    tweak::draw();
    tweak::draw();
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, after.data());

    if (const char* dump = std::getenv("CORE_GUI_DUMP")) {  // a PPM of the frame, to look at
        std::FILE* f = std::fopen(dump, "wb");
        std::fprintf(f, "P6 %d %d 255\n", kWidth, kHeight);
        for (int y = kHeight - 1; y >= 0; --y) {
            for (int x = 0; x < kWidth; ++x) {
                std::fwrite(&after[size_t(y * kWidth + x) * 4], 1, 3, f);
            }
        }
        std::fclose(f);
    }
    // The bar sits in the top-left corner (12, 12) with its 200 x 400 size.
    int changedInside = 0, changedOutside = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            size_t i = size_t(y * kWidth + x) * 4;
            bool same = std::equal(before.begin() + long(i), before.begin() + long(i) + 4, after.begin() + long(i));
            int top = kHeight - 1 - y;
            bool inBar = x >= 8 && x < 8 + 12 + 200 && top >= 8 && top < 8 + 12 + 400;
            (inBar ? changedInside : changedOutside) += same ? 0 : 1;
        }
    }
    EXPECT_GT(changedInside, 1000) << "the bar was drawn";
    EXPECT_EQ(changedOutside, 0);

    GLint value[4] = {};
    float matrix[16] = {};
    glGetIntegerv(GL_CURRENT_PROGRAM, value);
    EXPECT_EQ(value[0], program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, value);
    EXPECT_EQ(value[0], GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, value);
    EXPECT_EQ(GLuint(value[0]), texture);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, value);
    EXPECT_EQ(GLuint(value[0]), buffer);
    glGetIntegerv(GL_VIEWPORT, value);
    EXPECT_EQ(value[1], 60);
    EXPECT_EQ(value[3], 360);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    glGetIntegerv(GL_BLEND_DST, value);
    EXPECT_EQ(value[0], GL_ONE);
    glGetIntegerv(GL_MATRIX_MODE, value);
    EXPECT_EQ(value[0], GL_PROJECTION);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_FLOAT_EQ(matrix[5], 2.0f);
    EXPECT_FLOAT_EQ(matrix[14], 6.0f);
    glGetFloatv(GL_PROJECTION_MATRIX, matrix);
    EXPECT_FLOAT_EQ(matrix[0], 0.2f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    fx::resetPassState(fx::firstPass(fx::firstTechnique(effect)));
    fx::destroyContext(context);
    glActiveTexture(GL_TEXTURE0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    glDeleteTextures(1, &texture);
}
