// Command-line parsing: what each option sets, what is refused, and what the
// offline options imply.
#include "base/options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct Parsed {
    int result = -1;
    Options options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> args)
{
    std::vector<const char*> argv = {"coredemo"};
    argv.insert(argv.end(), args.begin(), args.end());
    Parsed p;
    p.result = parseOptions(int(argv.size()), argv.data(), &p.options, &p.error);
    return p;
}

TEST(Options, NoArgumentsKeepEveryDefault)
{
    Parsed p = parse({});
    ASSERT_EQ(p.result, 0);
    EXPECT_FALSE(p.options.noDialog);
    EXPECT_EQ(p.options.width, 0);
    EXPECT_EQ(p.options.fullscreen, -1);
    EXPECT_EQ(p.options.vsync, -1);
    EXPECT_EQ(p.options.aa, -1);
    EXPECT_EQ(p.options.aniso, -1);
    EXPECT_EQ(p.options.dataPath, "");  // look in the usual places
    EXPECT_EQ(p.options.gl, platform::ContextRequest::Auto);
    EXPECT_FALSE(p.options.batch);
    EXPECT_FALSE(p.options.offline());
}

TEST(Options, EveryOptionSetsItsField)
{
    Parsed p = parse({"--no-dialog", "--width", "800", "--height=600", "--windowed", "--no-vsync", "--aa", "4",
                      "--aniso", "8", "--output", "pulseaudio", "--log", "--stats", "--batch", "--data", "x/y.zip"});
    ASSERT_EQ(p.result, 0) << p.error;
    const Options& o = p.options;
    EXPECT_TRUE(o.noDialog);
    EXPECT_EQ(o.width, 800);
    EXPECT_EQ(o.height, 600);
    EXPECT_EQ(o.fullscreen, 0);
    EXPECT_EQ(o.vsync, 0);
    EXPECT_EQ(o.aa, 4);
    EXPECT_EQ(o.aniso, 8);
    EXPECT_EQ(o.output, "pulseaudio");
    EXPECT_TRUE(o.log);
    EXPECT_TRUE(o.stats);
    EXPECT_TRUE(o.batch);
    EXPECT_EQ(o.dataPath, "x/y.zip");
}

TEST(Options, GlNamesTheContextKind)
{
    const struct {
        const char* value;
        platform::ContextRequest request;
    } cases[] = {{"auto", platform::ContextRequest::Auto},
                 {"compat", platform::ContextRequest::Compat},
                 {"core", platform::ContextRequest::Core},
                 {"es", platform::ContextRequest::Es}};
    for (const auto& c : cases) {
        Parsed p = parse({"--gl", c.value});
        ASSERT_EQ(p.result, 0) << p.error;
        EXPECT_EQ(p.options.gl, c.request) << c.value;
        EXPECT_EQ(parse({(std::string("--gl=") + c.value).c_str()}).options.gl, c.request) << c.value;
    }
}

TEST(Options, LaterChoiceWins)
{
    Parsed p = parse({"--windowed", "--fullscreen", "--no-vsync", "--vsync"});
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.options.fullscreen, 1);
    EXPECT_EQ(p.options.vsync, 1);
}

TEST(Options, HelpAndVersion)
{
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"--version"}).options.version);
    EXPECT_NE(std::string(usageText()).find("--no-dialog"), std::string::npos);
}

TEST(Options, RefusalsAreExitCodeTwoWithOneLine)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"},          {"-x"},
        {"data.zip"},         {"--width"},
        {"--width", "abc"},   {"--width", "0"},
        {"--width", "-5"},    {"--height", "800x"},
        {"--aa", "-1"},       {"--aniso", "1e3"},
        {"--log=1"},          {"--output", ""},
        {"--fps", "0"},       {"--from", "-1"},
        {"--shot", "1,,2"},   {"--shot", "a"},
        {"--from", "10", "--to", "5"},
        {"--width", "99999999999999999999"},
        {"--loop", "90,78"},  {"--loop", "78,78"},
        {"--loop", "-1,5"},   {"--loop", "10,198"},
        {"--loop", "10"},     {"--loop", "1,2,3"},
        {"--loop", "a,b"},    {"--loop", ""},
        {"--loop", "78,90", "--shot", "80"},
        {"--crf", "52"},      {"--crf", "-1"},
        {"--ssaa", "0"},      {"--ssaa", "5"},
        {"--gl", "bogus"},    {"--gl", ""},
        {"--gl", "ES"},       {"--gl"},
    };
    for (const auto& args : bad) {
        std::vector<const char*> argv = {"coredemo"};
        argv.insert(argv.end(), args.begin(), args.end());
        Options o;
        std::string error;
        EXPECT_EQ(parseOptions(int(argv.size()), argv.data(), &o, &error), 2) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(error.rfind("coredemo: ", 0), 0u) << error;
    }
}

TEST(Options, RefusedCommandLineLeavesTheRecordUntouched)
{
    std::vector<const char*> argv = {"coredemo", "--width", "640", "--bogus"};
    Options o;
    o.width = 123;
    std::string error;
    ASSERT_EQ(parseOptions(int(argv.size()), argv.data(), &o, &error), 2);
    EXPECT_EQ(o.width, 123);
    EXPECT_NE(error.find("'--bogus'"), std::string::npos);
}

TEST(Options, ShotsImplyBatchWithoutDialog)
{
    Parsed p = parse({"--shot", "1.5,20,196.25", "--out", "pictures"});
    ASSERT_EQ(p.result, 0) << p.error;
    EXPECT_TRUE(p.options.offline());
    EXPECT_TRUE(p.options.noDialog);
    EXPECT_TRUE(p.options.batch);
    ASSERT_EQ(p.options.shotTimes.size(), 3u);
    EXPECT_FLOAT_EQ(p.options.shotTimes[0], 1.5f);
    EXPECT_FLOAT_EQ(p.options.shotTimes[2], 196.25f);
    EXPECT_EQ(p.options.outDir, "pictures");
    // Offline pictures are drawn in a window unless full screen is asked for.
    EXPECT_EQ(p.options.fullscreen, 0);
}

TEST(Options, ShotsWithoutFolderGoToTheWorkingDirectory)
{
    Parsed p = parse({"--shot", "3"});
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.options.outDir, ".");
}

TEST(Options, Capture)
{
    Parsed p = parse({"--capture", "out.mp4", "--fps", "60", "--from", "10", "--to", "12.5", "--fullscreen"});
    ASSERT_EQ(p.result, 0) << p.error;
    EXPECT_TRUE(p.options.offline());
    EXPECT_TRUE(p.options.noDialog);
    EXPECT_TRUE(p.options.batch);
    EXPECT_EQ(p.options.capturePath, "out.mp4");
    EXPECT_EQ(p.options.fps, 60);
    EXPECT_FLOAT_EQ(p.options.captureFrom, 10.0f);
    EXPECT_FLOAT_EQ(p.options.captureTo, 12.5f);
    EXPECT_EQ(p.options.fullscreen, 1);

    Parsed q = parse({"--capture", "master.mkv", "--crf", "0", "--ssaa=4"});
    ASSERT_EQ(q.result, 0) << q.error;
    EXPECT_EQ(q.options.crf, 0);
    EXPECT_EQ(q.options.ssaa, 4);

    Parsed d = parse({"--capture", "frames/"});
    EXPECT_EQ(d.options.crf, 18);
    EXPECT_EQ(d.options.ssaa, 1);
    EXPECT_EQ(d.options.fps, 30);
    EXPECT_FLOAT_EQ(d.options.captureFrom, 0.0f);
    EXPECT_FLOAT_EQ(d.options.captureTo, 197.0f);
}

TEST(Options, LoopTakesASpanOfTheDemo)
{
    const struct {
        const char* value;
        float from, to;
    } rows[] = {{"78,90", 78.0f, 90.0f}, {"0,197", 0.0f, 197.0f}, {"1.5,2.25", 1.5f, 2.25f}};
    for (const auto& row : rows) {
        Parsed p = parse({"--loop", row.value});
        ASSERT_EQ(p.result, 0) << row.value << ": " << p.error;
        EXPECT_TRUE(p.options.looping()) << row.value;
        EXPECT_FLOAT_EQ(p.options.loopFrom, row.from);
        EXPECT_FLOAT_EQ(p.options.loopTo, row.to);
        EXPECT_FALSE(p.options.offline());
    }
    EXPECT_FALSE(parse({}).options.looping());
}

}  // namespace
