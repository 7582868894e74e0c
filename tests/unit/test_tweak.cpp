// The tweak bar without a window: definitions, variables, errors and key shortcuts.
#include "platform/gui_backend.h"
#include "tweak/tweak.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gErrors;
void recordError(const char* message) { gErrors.push_back(message); }

platform::Event key(int code)
{
    platform::Event e;
    e.kind = platform::Event::KeyDown;
    e.key = code;
    return e;
}

struct Callbacks {
    float value = 1.0f;
    int sets = 0;
};
void setFloat(const void* value, void* client)
{
    auto* c = static_cast<Callbacks*>(client);
    c->value = *static_cast<const float*>(value);
    ++c->sets;
}
void getFloat(void* value, void* client) { *static_cast<float*>(value) = static_cast<Callbacks*>(client)->value; }
void press(void* client) { ++*static_cast<int*>(client); }

class Tweak : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(tweak::init(), 0);
        gErrors.clear();
        tweak::handleErrors(recordError);
        bar = tweak::newBar("Core");
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override { tweak::terminate(); }
    tweak::Bar* bar = nullptr;
};

}  // namespace

TEST_F(Tweak, BarDefinitionsSetTheBarsAttributes)
{
    EXPECT_EQ(tweak::define(" Core refresh=0.01 size='200 400' valuesWidth=60 "), 0);
    EXPECT_FLOAT_EQ(bar->refresh, 0.01f);
    EXPECT_EQ(bar->width, 200);
    EXPECT_EQ(bar->height, 400);
    EXPECT_EQ(bar->valuesWidth, 60);
    EXPECT_EQ(tweak::define(" Core iconify "), 0);
    EXPECT_TRUE(bar->iconified);
    EXPECT_EQ(tweak::define(" Core show "), 0);
    EXPECT_FALSE(bar->iconified);
    EXPECT_TRUE(bar->shown);
    EXPECT_EQ(tweak::define("Core label=`Control bar`"), 0);
    EXPECT_EQ(bar->label, "Control bar");
    EXPECT_TRUE(gErrors.empty());

    EXPECT_EQ(tweak::define(" Other show "), 1);
    EXPECT_EQ(tweak::define(" Core bogus=1 "), 1);
    EXPECT_EQ(tweak::define(" Core size='200' "), 1);
    EXPECT_EQ(tweak::define(" Core label='open "), 1);
    EXPECT_EQ(tweak::define("   "), 1);
    EXPECT_EQ(gErrors.size(), 5u);
    EXPECT_EQ(std::string(tweak::getLastError()), gErrors.back());
    EXPECT_EQ(tweak::newBar("Core"), nullptr);  // bar names are unique too
}

TEST_F(Tweak, VariableDefinitionsParseEveryKey)
{
    float time = 0;
    ASSERT_EQ(tweak::addVarRW(bar, "Time", tweak::Type::Float, &time,
                              " min=0 max=1000 step=0.01 precision=4 keydecr=, keyincr=. "),
              0);
    tweak::Variable* v = tweak::findVariable(bar, "Time");
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->hasMin && v->hasMax);
    EXPECT_DOUBLE_EQ(v->min, 0.0);
    EXPECT_DOUBLE_EQ(v->max, 1000.0);
    EXPECT_DOUBLE_EQ(v->step, 0.01);
    EXPECT_EQ(v->precision, 4);
    EXPECT_EQ(v->keyDecr, ',');
    EXPECT_EQ(v->keyIncr, '.');
    EXPECT_EQ(v->label, "Time");

    int bin = 2;
    ASSERT_EQ(tweak::addVarRW(bar, "fftControl", tweak::Type::Int32, &bin, " min=0 max=512 label='fft flash' "), 0);
    EXPECT_EQ(tweak::findVariable(bar, "fftControl")->label, "fft flash");
    bool grid = false;
    ASSERT_EQ(tweak::addVarRW(bar, "controlgrid", tweak::Type::BoolCpp, &grid, "label='control grid'"), 0);
    EXPECT_EQ(tweak::findVariable(bar, "controlgrid")->label, "control grid");

    float gain = 0;
    ASSERT_EQ(tweak::addVarRW(bar, "blobs_render.gain", tweak::Type::Float, &gain,
                              " group=blobs_render.cgfx label='gain' min=1 max=128 step=0.5 "),
              0);
    v = tweak::findVariable(bar, "blobs_render.gain");
    EXPECT_EQ(v->group, "blobs_render.cgfx");
    EXPECT_EQ(v->label, "gain");

    EXPECT_EQ(tweak::define(" Core/fftControl label='bin' max=64 "), 0);
    EXPECT_EQ(tweak::findVariable(bar, "fftControl")->label, "bin");
    EXPECT_EQ(tweak::define(" Core/missing label='x' "), 1);
    EXPECT_TRUE(gErrors.size() == 1);

    float other = 0;
    // A bad definition keeps the variable but reports the failure.
    EXPECT_EQ(tweak::addVarRW(bar, "other", tweak::Type::Float, &other, " min=abc "), 1);
    EXPECT_NE(tweak::findVariable(bar, "other"), nullptr);
    EXPECT_EQ(tweak::addVarRW(bar, "other2", tweak::Type::Float, &other, " colour=red "), 1);
    EXPECT_EQ(tweak::addVarRW(bar, "other3", tweak::Type::Float, &other, " keyincr=F13 "), 1);
    EXPECT_EQ(gErrors.size(), 4u);
}

TEST_F(Tweak, ASecondVariableOfTheSameNameIsRefused)
{
    float a = 1, b = 2;
    EXPECT_EQ(tweak::addVarRW(bar, "camX", tweak::Type::Float, &a, ""), 0);
    EXPECT_EQ(tweak::addVarRW(bar, "camX", tweak::Type::Float, &b, " min=-100 max=100 step=0.1 "), 1);
    EXPECT_NE(std::string(tweak::getLastError()).find("'camX' already exists"), std::string::npos);
    ASSERT_EQ(gErrors.size(), 1u);
    EXPECT_EQ(bar->variables.size(), 1u);
    EXPECT_EQ(tweak::findVariable(bar, "camX")->address, &a);  // the first one stays
    EXPECT_EQ(tweak::addButton(bar, "camX", nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(tweak::addVarRW(nullptr, "x", tweak::Type::Float, &a, ""), 1);

    // A silent handler still leaves the text behind.
    tweak::handleErrors([](const char*) {});
    EXPECT_EQ(tweak::addVarRW(bar, "camX", tweak::Type::Float, &b, ""), 1);
    EXPECT_EQ(gErrors.size(), 3u);
    EXPECT_NE(std::string(tweak::getLastError()).find("camX"), std::string::npos);
}

TEST_F(Tweak, ReadWriteAndCallbackVariablesReadAndWriteTheirValues)
{
    float f = 0.5f;
    int32_t i = 7;
    bool b = false;
    Callbacks c;
    tweak::addVarRW(bar, "f", tweak::Type::Float, &f, " min=0 max=1 ");
    tweak::addVarRW(bar, "i", tweak::Type::Int32, &i, "");
    tweak::addVarRW(bar, "b", tweak::Type::BoolCpp, &b, "");
    tweak::addVarCB(bar, "cb", tweak::Type::Float, setFloat, getFloat, &c, "");
    double v = 0;
    ASSERT_TRUE(tweak::getValue(tweak::findVariable(bar, "f"), &v));
    EXPECT_DOUBLE_EQ(v, 0.5);
    EXPECT_TRUE(tweak::setValue(tweak::findVariable(bar, "f"), 3.0));
    EXPECT_FLOAT_EQ(f, 1.0f);  // clamped to max
    EXPECT_TRUE(tweak::setValue(tweak::findVariable(bar, "i"), -3.6));
    EXPECT_EQ(i, -4);
    EXPECT_TRUE(tweak::setValue(tweak::findVariable(bar, "b"), 1));
    EXPECT_TRUE(b);
    ASSERT_TRUE(tweak::getValue(tweak::findVariable(bar, "cb"), &v));
    EXPECT_DOUBLE_EQ(v, 1.0);
    EXPECT_TRUE(tweak::setValue(tweak::findVariable(bar, "cb"), 0.25));
    EXPECT_FLOAT_EQ(c.value, 0.25f);
    EXPECT_EQ(c.sets, 1);
    // A callback variable without a setter is read-only.
    tweak::addVarCB(bar, "ro", tweak::Type::Float, nullptr, getFloat, &c, "");
    EXPECT_FALSE(tweak::setValue(tweak::findVariable(bar, "ro"), 2.0));
}

TEST_F(Tweak, KeyShortcutsActWhileTheBarIsHidden)
{
    Callbacks time;
    time.value = 10.0f;
    tweak::addVarCB(bar, "Time", tweak::Type::Float, setFloat, getFloat, &time,
                    " min=0 max=1000 step=0.01 precision=4 keydecr=, keyincr=. ");
    int level = 511;
    tweak::addVarRW(bar, "level", tweak::Type::Int32, &level, " max=512 keyincr=+ keydecr=- ");
    ASSERT_FALSE(tweak::visible());

    EXPECT_TRUE(tweak::handleEvent(key('.')));
    EXPECT_NEAR(time.value, 10.01f, 1e-5f);
    EXPECT_TRUE(tweak::handleEvent(key(',')));
    EXPECT_TRUE(tweak::handleEvent(key(',')));
    EXPECT_NEAR(time.value, 9.99f, 1e-5f);
    EXPECT_TRUE(tweak::handleEvent(key('+')));
    EXPECT_TRUE(tweak::handleEvent(key('+')));
    EXPECT_EQ(level, 512);  // clamped at max
    EXPECT_TRUE(tweak::handleEvent(key('-')));
    EXPECT_EQ(level, 511);

    // Other keys (Escape among them) are left to the program.
    EXPECT_FALSE(tweak::handleEvent(key(27)));
    EXPECT_FALSE(tweak::handleEvent(key('a')));
    platform::Event text;
    text.kind = platform::Event::Text;
    text.key = '.';
    EXPECT_FALSE(tweak::handleEvent(text));  // the key-down already acted
    EXPECT_NEAR(time.value, 9.99f, 1e-5f);
}

TEST_F(Tweak, F1TogglesTheBarAndButtonsKeepTheirClientData)
{
    EXPECT_TRUE(tweak::handleEvent(key(platform::guiToggleKey())));
    EXPECT_TRUE(tweak::visible());
    EXPECT_TRUE(tweak::handleEvent(key(platform::guiToggleKey())));
    EXPECT_FALSE(tweak::visible());
    tweak::draw();  // hidden, and no window: nothing happens

    int presses = 0;
    EXPECT_EQ(tweak::addButton(bar, "Play", press, &presses, nullptr), 0);
    tweak::Variable* play = tweak::findVariable(bar, "Play");
    ASSERT_NE(play, nullptr);
    EXPECT_TRUE(play->isButton);
    play->button(play->clientData);
    EXPECT_EQ(presses, 1);
    double v = 0;
    EXPECT_FALSE(tweak::getValue(play, &v));
}

TEST(TweakLifecycle, StartsOnceAndForgetsItsBarsWhenTerminated)
{
    EXPECT_EQ(tweak::newBar("Early"), nullptr);
    ASSERT_EQ(tweak::init(), 0);
    tweak::handleErrors(recordError);
    EXPECT_EQ(tweak::init(), 1);
    EXPECT_NE(tweak::newBar("Core"), nullptr);
    tweak::terminate();
    EXPECT_FALSE(tweak::initialized());
    EXPECT_EQ(tweak::findBar("Core"), nullptr);
    EXPECT_FALSE(tweak::handleEvent(key(platform::guiToggleKey())));
}
