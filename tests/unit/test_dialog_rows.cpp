// The settings dialog without a window: row building, preselection, what "Start"
// reads, the log lines it writes, and the no-dialog choice from the options.
#include "base/log.h"
#include "base/options.h"
#include "app/settings_dialog.h"
#include "startup_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<PixelFormatCandidate> candidates(std::initializer_list<int> samples)
{
    std::vector<PixelFormatCandidate> list;
    int id = 1;
    for (int s : samples) {
        list.push_back({id++, s});
    }
    return list;
}

DisplayMode mode(int w, int h, int hz)
{
    DisplayMode m;
    m.width = w;
    m.height = h;
    m.refreshRate = hz;
    std::snprintf(m.caption, sizeof(m.caption), "%s", displayModeCaption(w, h, hz).c_str());
    return m;
}

const std::vector<OutputMethod> outputs = {
    {"Auto detect best method", outputAutodetect},
    {"pulseaudio", outputDriverBase + 0},
    {"alsa", outputDriverBase + 1},
    {"No Sound", outputNoSound},
};

TEST(DialogRows, CaptionOfADisplayMode)
{
    EXPECT_EQ(displayModeCaption(1024, 768, 60), "1024 x 768, 32 bpp @ 60 Hz");
    EXPECT_EQ(displayModeCaption(1920, 1080, 0), "1920 x 1080, 32 bpp @ 0 Hz");
}

TEST(DialogRows, SampleCountsTwoFourEightPreselectTheEightRow)
{
    SampleRows rows = buildSampleRows(candidates({0, 0, 2, 2, 4, 8, 8}));
    EXPECT_EQ(rows.texts, (std::vector<std::string>{"None", "2 samples", "4 samples", "8 samples"}));
    EXPECT_EQ(rows.counts, (std::vector<int>{0, 2, 4, 8}));
    EXPECT_EQ(rows.selection, 3);
}

TEST(DialogRows, FourAndEightOnlyHaveNoRowThreeToSelect)
{
    SampleRows rows = buildSampleRows(candidates({4, 8}));
    EXPECT_EQ(rows.texts, (std::vector<std::string>{"None", "4 samples", "8 samples"}));
    EXPECT_EQ(rows.selection, -1);
}

TEST(DialogRows, RowThreeIsSelectedWhateverItHolds)
{
    // The second 8-sample candidate arrives when row 3 ("2 samples") exists.
    SampleRows rows = buildSampleRows(candidates({4, 8, 2, 8}));
    EXPECT_EQ(rows.texts, (std::vector<std::string>{"None", "4 samples", "8 samples", "2 samples"}));
    EXPECT_EQ(rows.selection, 3);
    // An 8 seen too early clears the selection and nothing selects again.
    EXPECT_EQ(buildSampleRows(candidates({4, 8, 2})).selection, -1);
    // Once selected, a later candidate without 8 samples keeps it.
    EXPECT_EQ(buildSampleRows(candidates({2, 4, 8, 16})).selection, 3);
}

TEST(DialogRows, NoMultisampleConfigsLeaveOnlyNone)
{
    for (const auto& list : {candidates({}), candidates({0, 0, 0})}) {
        SampleRows rows = buildSampleRows(list);
        EXPECT_EQ(rows.texts, (std::vector<std::string>{"None"}));
        EXPECT_EQ(rows.counts, (std::vector<int>{0}));
        EXPECT_EQ(rows.selection, -1);
    }
}

TEST(DialogRows, AnisotropyRows)
{
    EXPECT_EQ(anisotropyRows(16.0f), (std::vector<std::string>{"None", "2", "4", "8", "16"}));
    EXPECT_EQ(anisotropyRows(12.5f), (std::vector<std::string>{"None", "2", "4", "8"}));
    EXPECT_EQ(anisotropyRows(2.0f), (std::vector<std::string>{"None", "2"}));
    EXPECT_EQ(anisotropyRows(1.0f), (std::vector<std::string>{"None"}));
    EXPECT_EQ(anisotropyRows(0.0f), (std::vector<std::string>{"None"}));
    EXPECT_EQ(anisotropyRows(-3.0f), (std::vector<std::string>{"None"}));
    EXPECT_EQ(anisotropyRows(1e30f).size(), 31u);  // bounded, not a runaway loop
    EXPECT_FLOAT_EQ(anisotropyForRow(0), 1.0f);
    EXPECT_FLOAT_EQ(anisotropyForRow(1), 2.0f);
    EXPECT_FLOAT_EQ(anisotropyForRow(3), 8.0f);
    EXPECT_FLOAT_EQ(anisotropyForRow(4), 16.0f);
}

TEST(DialogRows, ResolutionPreselectionTakesTheLastExactMatch)
{
    std::vector<DisplayMode> modes = {mode(1280, 1024, 60), mode(1024, 768, 60), mode(1024, 768, 75),
                                      mode(1024, 768, 60), mode(800, 600, 60)};
    EXPECT_EQ(preselectResolution(modes, 1024, 768, 60), 3);
    EXPECT_EQ(preselectResolution(modes, 1024, 768, 75), 2);
    EXPECT_EQ(preselectResolution(modes, 1024, 768, 0), -1);
    EXPECT_EQ(preselectResolution({}, 1024, 768, 60), -1);
}

Screen probedScreen()
{
    Screen s;
    s.displayModes = {mode(1920, 1080, 0), mode(1024, 768, 0)};
    s.pixelFormats = candidates({0, 4, 4});
    s.maxAnisotropy = 16.0f;
    s.soundDrivers = {"pulseaudio", "alsa"};
    return s;
}

TEST(DialogRows, InitialControlsFallBackToRowZero)
{
    Screen s = probedScreen();
    platform::DialogState state;
    SampleRows samples;
    initSettingsDialog(s, outputs, &state, &samples);
    // 1024 x 768 at 60 Hz is not listed (refresh 0): nothing matches, row 0 it is.
    EXPECT_EQ(state.item(idResolution).rows.size(), 2u);
    EXPECT_EQ(state.item(idResolution).rows[0], "1920 x 1080, 32 bpp @ 0 Hz");
    EXPECT_EQ(state.item(idResolution).selection, 0);
    EXPECT_EQ(state.item(idAntialiasing).rows, (std::vector<std::string>{"None", "4 samples"}));
    EXPECT_EQ(state.item(idAntialiasing).selection, 0);
    EXPECT_EQ(state.item(idAnisotropy).rows.size(), 5u);
    EXPECT_EQ(state.item(idAnisotropy).selection, 0);
    EXPECT_TRUE(state.item(idFullscreen).checked);
    EXPECT_TRUE(state.item(idVsync).checked);
    EXPECT_FALSE(state.item(idShowStats).checked);
    EXPECT_FALSE(state.item(idCreateLog).checked);
    EXPECT_EQ(state.item(idDriver).rows, s.soundDrivers);
    EXPECT_EQ(state.item(idOutputMethod).rows.front(), "Auto detect best method");
    EXPECT_EQ(state.item(idOutputMethod).rows.back(), "No Sound");
}

TEST(DialogRows, EmptyListsSelectNothing)
{
    Screen s;  // nothing probed: no modes, no drivers
    platform::DialogState state;
    SampleRows samples;
    initSettingsDialog(s, outputs, &state, &samples);
    EXPECT_EQ(state.item(idResolution).selection, -1);
    EXPECT_EQ(state.item(idDriver).selection, -1);
    // "Start" then keeps the record's size and marks it as no display mode.
    SettingsChoice c = readSettingsDialog(s, state, samples, outputs);
    EXPECT_EQ(c.resolutionIndex, -1);
    EXPECT_EQ(c.width, 1024);
    EXPECT_EQ(c.height, 768);
    EXPECT_EQ(c.soundDriver, 0);
}

TEST(DialogRows, StartReadsEveryControl)
{
    Screen s = probedScreen();
    platform::DialogState state;
    SampleRows samples;
    initSettingsDialog(s, outputs, &state, &samples);
    state.item(idResolution).selection = 1;
    state.item(idAntialiasing).selection = 1;
    state.item(idAnisotropy).selection = 3;
    state.item(idFullscreen).checked = false;
    state.item(idVsync).checked = false;
    state.item(idDriver).selection = 1;
    state.item(idOutputMethod).selection = 3;
    state.item(idShowStats).checked = true;
    SettingsChoice c = readSettingsDialog(s, state, samples, outputs);
    EXPECT_EQ(c.resolutionIndex, 1);
    EXPECT_EQ(c.width, 1024);
    EXPECT_EQ(c.height, 768);
    EXPECT_FALSE(c.fullscreen);
    EXPECT_FALSE(c.vsync);
    EXPECT_EQ(c.antialiasSamples, 4);
    EXPECT_FLOAT_EQ(c.anisotropy, 8.0f);
    EXPECT_EQ(c.soundDriver, 1);
    EXPECT_EQ(c.outputType, outputNoSound);
    EXPECT_TRUE(c.showStats);
    EXPECT_FALSE(c.createLog);
}

TEST(DialogRows, NoOutputRowKeepsTheRecordsOutputType)
{
    Screen s = probedScreen();
    s.outputType = outputDriverBase + 1;
    SettingsChoice c;
    c.outputType = -1;
    acceptSettings(s, c);
    EXPECT_EQ(s.outputType, outputDriverBase + 1);
    EXPECT_TRUE(s.accepted);
}

TEST(DialogRows, OutputNames)
{
    EXPECT_EQ(outputTypeForName(outputs, "auto"), outputAutodetect);
    EXPECT_EQ(outputTypeForName(outputs, "NONE"), outputNoSound);
    EXPECT_EQ(outputTypeForName(outputs, "ALSA"), outputDriverBase + 1);
    EXPECT_EQ(outputTypeForName(outputs, "No Sound"), outputNoSound);
    EXPECT_EQ(outputTypeForName(outputs, "oss"), -1);
    EXPECT_EQ(outputTypeForName(outputs, ""), -1);
}

TEST(DialogRows, OptionsPresetTheRecord)
{
    Screen s;
    Options o;
    o.width = 800;
    o.height = 600;
    o.fullscreen = 0;
    o.vsync = 0;
    o.log = true;
    o.stats = true;
    applyOptions(s, o);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
    EXPECT_FALSE(s.fullscreen);
    EXPECT_FALSE(s.vsync);
    EXPECT_TRUE(s.createLog);
    EXPECT_TRUE(s.showStats);

    Screen d;
    applyOptions(d, Options());
    EXPECT_EQ(d.width, 1024);
    EXPECT_TRUE(d.fullscreen);
    EXPECT_TRUE(d.vsync);
    EXPECT_FALSE(d.createLog);
}

TEST(DialogRows, ChoiceWithoutDialog)
{
    Screen s = probedScreen();
    Options o;
    SettingsChoice c = choiceFromOptions(s, o, outputs);
    // 1024 x 768 is listed at 0 Hz only: the same size at any rate is taken.
    EXPECT_EQ(c.resolutionIndex, 1);
    EXPECT_EQ(c.antialiasSamples, 0);
    EXPECT_FLOAT_EQ(c.anisotropy, 1.0f);
    EXPECT_EQ(c.outputType, outputAutodetect);
    EXPECT_TRUE(c.fullscreen);

    o.aa = 4;
    o.aniso = 12;
    o.output = "alsa";
    c = choiceFromOptions(s, o, outputs);
    EXPECT_EQ(c.antialiasSamples, 4);
    EXPECT_FLOAT_EQ(c.anisotropy, 8.0f);
    EXPECT_EQ(c.outputType, outputDriverBase + 1);

    // Not offered by the display: no multisampling; no anisotropy above the limit.
    o.aa = 8;
    o.aniso = 64;
    c = choiceFromOptions(s, o, outputs);
    EXPECT_EQ(c.antialiasSamples, 0);
    EXPECT_FLOAT_EQ(c.anisotropy, 16.0f);

    // A size that is no display mode cannot be switched to.
    s.width = 640;
    s.height = 480;
    c = choiceFromOptions(s, o, outputs);
    EXPECT_EQ(c.resolutionIndex, -1);
    EXPECT_EQ(c.width, 640);
    EXPECT_EQ(c.height, 480);
}

// Runs that play nothing on a device neither probe nor start a driver; offline runs
// get the output that is never pulled in real time, whatever --output says.
TEST(DialogRows, SoundDevicesOnlyWhenSomethingMayPlayOnOne)
{
    struct Case {
        std::vector<const char*> args;
        bool devices;
        int outputType;  // of the no-dialog choice
    };
    const std::vector<Case> cases = {
        {{}, true, outputAutodetect},
        {{"--output", "none"}, true, outputNoSound},  // the dialog lists the drivers
        {{"--no-dialog"}, true, outputAutodetect},
        {{"--no-dialog", "--output", "NONE"}, false, outputNoSound},
        {{"--no-dialog", "--output", "alsa"}, true, outputDriverBase + 1},
        {{"--shot", "45"}, false, outputOffline},
        {{"--shot", "45", "--output", "alsa"}, false, outputOffline},
        {{"--capture", "out.mp4", "--output", "auto"}, false, outputOffline},
    };
    Screen s = probedScreen();
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"coredemo"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Options o;
        ASSERT_EQ(parseOptions(int(argv.size()), argv.data(), &o, nullptr), 0);
        std::string what = "options:";
        for (const char* arg : c.args) {
            what += std::string(" ") + arg;
        }
        EXPECT_EQ(soundDevicesNeeded(o), c.devices) << what;
        EXPECT_EQ(choiceFromOptions(s, o, outputs).outputType, c.outputType) << what;
    }
}

TEST(DialogRows, StartCreatesTheLogAndWritesTheSettingsLines)
{
    char folder[] = "/tmp/dialog_rows_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(folder), 0);

    Screen s = probedScreen();
    SettingsChoice c;
    c.resolutionIndex = 0;
    c.width = 1920;
    c.height = 1080;
    c.fullscreen = true;
    c.vsync = false;
    c.antialiasSamples = 4;
    c.anisotropy = 8.0f;
    c.createLog = true;
    acceptSettings(s, c);
    EXPECT_TRUE(coreLog.created);
    EXPECT_EQ(readLines("Core.log"),
              (std::vector<std::string>{"log created.", "Resolution: 1920x1080", "Fullscreen: 1", "VSync: 0",
                                        "AA samples: 4 samples", "Aniso level: x8"}));
    EXPECT_EQ(s.width, 1920);
    EXPECT_EQ(s.antialiasSamples, 4);
    EXPECT_FLOAT_EQ(s.anisotropy, 8.0f);
    EXPECT_TRUE(s.accepted);

    coreLog.stream.close();
    coreLog.created = false;
    std::remove("Core.log");
    ASSERT_EQ(chdir(previous), 0);
    rmdir(folder);
}

}  // namespace
