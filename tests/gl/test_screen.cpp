// Screen against the real display (Xvfb under the test command): the probe, the
// display-mode list, init/close without the dialog, the GL strings in the log, and
// the version parsing behind checkRequirements.
#include "base/log.h"
#include "base/options.h"
#include "app/screen.h"
#include "app/settings_dialog.h"
#include "startup_log.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(GlVersions, ModernDriver)
{
    GlVersions v;
    ASSERT_EQ(parseGlVersions("4.5 (Compatibility Profile) Mesa 22.3.6", "4.50", "GL_ARB_multisample", &v), 0);
    EXPECT_EQ(v.major, 4);
    EXPECT_EQ(v.minor, 5);
    EXPECT_EQ(v.shadingMajor, 4);
    EXPECT_EQ(v.shadingMinor, 50);
    ASSERT_EQ(parseGlVersions("2.1.2 Vendor 169.21", "1.20 Vendor release build", "", &v), 0);
    EXPECT_EQ(v.major, 2);
    EXPECT_EQ(v.minor, 1);
    EXPECT_EQ(v.shadingMajor, 1);
    EXPECT_EQ(v.shadingMinor, 20);
}

TEST(GlVersions, VersionOneUsesTheExtensionString)
{
    GlVersions v;
    ASSERT_EQ(parseGlVersions("1.5.0", nullptr, "GL_ARB_multitexture GL_ARB_shading_language_100 GL_EXT_x", &v), 0);
    EXPECT_EQ(v.shadingMajor, 1);
    EXPECT_EQ(v.shadingMinor, 0);
    ASSERT_EQ(parseGlVersions("1.4", nullptr, "GL_ARB_multitexture", &v), 0);
    EXPECT_EQ(v.shadingMajor, 0);
    EXPECT_EQ(v.shadingMinor, 0);
    ASSERT_EQ(parseGlVersions("1.4", nullptr, nullptr, &v), 0);
}

TEST(GlVersions, OpenGlEsStrings)
{
    GlVersions v;
    ASSERT_EQ(parseGlVersions("OpenGL ES 3.2 Mesa 22.3.6", "OpenGL ES GLSL ES 3.20", "", &v), 0);
    EXPECT_EQ(v.major, 3);
    EXPECT_EQ(v.minor, 2);
    EXPECT_EQ(v.shadingMajor, 3);
    EXPECT_EQ(v.shadingMinor, 20);
    ASSERT_EQ(parseGlVersions("OpenGL ES-CM 1.1", nullptr, "", &v), 0);
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 1);
    EXPECT_EQ(parseGlVersions("OpenGL ES", "OpenGL ES GLSL ES 3.20", "", &v), 1);
    EXPECT_EQ(parseGlVersions("OpenGL ES 3.0", "OpenGL ES GLSL ES", "", &v), 2);
}

TEST(GlVersions, UnreadableStrings)
{
    GlVersions v;
    EXPECT_EQ(parseGlVersions(nullptr, "4.50", "", &v), 1);
    EXPECT_EQ(parseGlVersions("", "4.50", "", &v), 1);
    EXPECT_EQ(parseGlVersions("OpenGL 4.5", "4.50", "", &v), 1);
    EXPECT_EQ(parseGlVersions("4", "4.50", "", &v), 1);
    EXPECT_EQ(parseGlVersions("3.3", nullptr, "", &v), 2);
    EXPECT_EQ(parseGlVersions("3.3", "GLSL", "", &v), 2);
}

TEST(Probe, DisplayOffersTrueColourModesAndConfigs)
{
    platform::setBatchMode(true);
    std::string error;
    ASSERT_TRUE(platform::initVideo(&error)) << error;
    // The virtual display reports 24-bit modes stored in 4 bytes: they count.
    Screen s;
    ASSERT_EQ(s.enumerate(), 0);
    ASSERT_FALSE(s.displayModes.empty());
    for (const DisplayMode& m : s.displayModes) {
        EXPECT_EQ(std::string(m.caption), displayModeCaption(m.width, m.height, m.refreshRate));
    }
    ASSERT_FALSE(s.pixelFormats.empty());
    EXPECT_EQ(s.pixelFormats.front().samples, 0);  // single-sample configs come first
    for (const PixelFormatCandidate& c : s.pixelFormats) {
        EXPECT_GE(c.samples, 0);
        EXPECT_NE(c.index, 0);
    }
    EXPECT_LE(s.pixelFormats.size(), 128u);
    EXPECT_GE(s.maxAnisotropy, 1.0f);
    EXPECT_FALSE(platform::hasWindow());  // the probe window is gone
}

class ScreenInit : public ::testing::Test {
protected:
    char folder[64] = "/tmp/screen_init_XXXXXX";
    char previous[4096] = {};

    void SetUp() override
    {
        platform::setBatchMode(true);
        ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
        ASSERT_NE(mkdtemp(folder), nullptr);
        ASSERT_EQ(chdir(folder), 0);
        options = Options();
        options.noDialog = true;
        options.batch = true;
        options.fullscreen = 0;
        options.width = 320;
        options.height = 240;
    }
    void TearDown() override
    {
        if (coreLog.created) {
            coreLog.stream.close();
            coreLog.created = false;
        }
        options = Options();
        unlink("Core.log");
        ASSERT_EQ(chdir(previous), 0);
        rmdir(folder);
    }
};

TEST_F(ScreenInit, WindowedStartLogsSettingsThenGlStrings)
{
    options.log = true;
    Screen s;
    ASSERT_EQ(s.init(1), 0);
    EXPECT_TRUE(s.accepted);
    EXPECT_TRUE(platform::hasWindow());
    EXPECT_FALSE(s.fullscreen);
    int w = 0;
    int h = 0;
    platform::windowSize(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    s.close();
    EXPECT_FALSE(platform::hasWindow());

    std::vector<std::string> lines = readLines("Core.log");
    ASSERT_GE(lines.size(), 13u);
    expectSettingsThenGlStrings(lines, 320, 240);
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "Supported Extensions:");
    EXPECT_NE(lines[12].find("GL_ARB_framebuffer_object"), std::string::npos);
}

// Each --gl kind starts, and the log lists its extensions (one by one from GL 3.0 on:
// a core context has no single string of them).
TEST_F(ScreenInit, EachContextKindStartsAndLogsItsExtensions)
{
    const struct {
        platform::ContextRequest request;
        platform::ContextKind kind;
    } cases[] = {{platform::ContextRequest::Compat, platform::ContextKind::Compat},
                 {platform::ContextRequest::Core, platform::ContextKind::Core},
                 {platform::ContextRequest::Es, platform::ContextKind::Es}};
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::contextKindName(c.kind));
        options.log = true;
        options.gl = c.request;
        Screen s;
        ASSERT_EQ(s.init(1), 0);
        EXPECT_EQ(platform::contextInfo().kind, c.kind);
        s.close();
        coreLog.stream.close();
        coreLog.created = false;
        std::vector<std::string> lines = readLines("Core.log");
        ASSERT_GE(lines.size(), 13u);
        expectSettingsThenGlStrings(lines, 320, 240);
        EXPECT_EQ(lines[11], "Supported Extensions:");
        EXPECT_EQ(lines[12].rfind("GL_", 0), 0u) << lines[12];
        EXPECT_GT(std::count(lines[12].begin(), lines[12].end(), ' '), 20) << lines[12];
    }
    platform::setContextRequest(platform::ContextRequest::Auto);
}

TEST_F(ScreenInit, VerticalSyncSetsTheSwapInterval)
{
    for (int vsync : {0, 1, 0}) {
        options.vsync = vsync;
        Screen s;
        ASSERT_EQ(s.init(1), 0);
        if (!platform::setSwapInterval(vsync)) {
            s.close();
            GTEST_SKIP() << "the driver offers no swap control";  // Xvfb's GLX
        }
        EXPECT_EQ(platform::swapInterval(), vsync);
        s.close();
    }
}

TEST_F(ScreenInit, WithoutLogNothingIsWritten)
{
    Screen s;
    ASSERT_EQ(s.init(1), 0);
    s.close();
    EXPECT_NE(access("Core.log", F_OK), 0);
}

TEST_F(ScreenInit, SampleCountWithoutConfigFallsBackToSingleSample)
{
    options.aa = 16;  // no config of the virtual display has 16 samples
    Screen s;
    ASSERT_EQ(s.init(1), 0);
    EXPECT_EQ(s.antialiasSamples, 0);
    GLint samples = -1;
    glGetIntegerv(GL_SAMPLES, &samples);
    EXPECT_EQ(samples, 0);
    s.close();
}

TEST_F(ScreenInit, OfferedSampleCountGivesAMultisampledWindow)
{
    Screen probe;
    ASSERT_EQ(probe.enumerate(), 0);
    SampleRows rows = buildSampleRows(probe.pixelFormats);
    if (rows.counts.size() < 2) {
        GTEST_SKIP() << "display offers no multisample configs";
    }
    options.aa = rows.counts[1];
    Screen s;
    ASSERT_EQ(s.init(1), 0);
    EXPECT_EQ(s.antialiasSamples, rows.counts[1]);
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    EXPECT_EQ(samples, rows.counts[1]);
    s.close();
}

TEST_F(ScreenInit, FullScreenInASizeTheDisplayLacksGoesOnWindowed)
{
    options.fullscreen = 1;
    options.width = 333;  // no display mode is 333 x 240
    Screen s;
    testing::internal::CaptureStderr();
    ASSERT_EQ(s.init(1), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Screen::init: Full screen mode failed"), std::string::npos) << err;
    EXPECT_FALSE(s.fullscreen);
    EXPECT_TRUE(platform::hasWindow());
    s.close();
}

TEST_F(ScreenInit, FullScreenInTheDisplaysOwnMode)
{
    Screen probe;
    ASSERT_EQ(probe.enumerate(), 0);
    ASSERT_FALSE(probe.displayModes.empty());
    options.fullscreen = 1;
    options.width = probe.displayModes[0].width;
    options.height = probe.displayModes[0].height;
    Screen s;
    testing::internal::CaptureStderr();
    ASSERT_EQ(s.init(1), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Full screen mode failed"), std::string::npos) << err;
    EXPECT_TRUE(s.fullscreen);
    EXPECT_GE(s.resolutionIndex, 0);
    s.close();
    EXPECT_FALSE(platform::hasWindow());
}

}  // namespace
