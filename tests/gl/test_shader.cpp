// loadShader: log lines, technique choice, the parameter walk and the tweakables it
// registers with the control bar.
#include "gl_fixture.h"
#include "log_capture.h"

#include "base/log.h"
#include "core/gui.h"
#include "datagen/zip_writer.h"
#include "resources/loader.h"
#include "resources/shader.h"
#include "tweak/tweak.h"

#include <unistd.h>

#include <string>

namespace {

const char* const kQuadPrograms = R"(
float4 vs(float4 p : POSITION) : POSITION { return p; }
float4 ps() : COLOR { return float4(1, 1, 1, 1); }
)";

std::string withTechnique(const std::string& parameters)
{
    return parameters + kQuadPrograms +
           "technique Main { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }\n";
}

datagen::Asset asset(const std::string& name, const std::string& text)
{
    return {name, std::vector<uint8_t>(text.begin(), text.end())};
}

}  // namespace

class LoadShader : public GlTest {
protected:
    static inline std::string dir;
    static inline Loader archive;

    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        char pattern[] = "/tmp/shader_test_XXXXXX";
        dir = mkdtemp(pattern);
        std::vector<datagen::Asset> assets = {
            asset("shaders/fallback.cgfx", std::string(R"(
sampler2D s;
float4 rect(float2 uv : TEXCOORD0) : COLOR { return texRECT(s, uv); }
)") + kQuadPrograms + R"(
technique First { pass { FragmentProgram = compile fp40 rect(); } }
technique Second { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }
)"),
            asset("shaders/blobs_render.cgfx",
                  withTechnique("float gain <float UIMin = 1; float UIMax = 128; float UIStep = 0.5;> = 2.5;\n"
                                "float plain = 3;\n"
                                "float onlyMax <float UIMax = 5; string UIName = \"only max\";>;\n"
                                "float longName <float UIMaximum = 7; float2 UIMinimum = {-1, 9}; int UIStep = 4;> = 1;\n"
                                "float3 color <float UIMin = 0; float UIMax = 1;> = {1, 0, 0};\n"
                                "sampler2D tex;\n")),
            asset("noslash.cgfx", withTechnique("float k = 0.25;\n")),
            asset("shaders/broken.cgfx", "float a = ;\n"),
            asset("shaders/novalid.cgfx", std::string("sampler2D s;\nfloat4 r(float2 uv : TEXCOORD0) : COLOR "
                                                      "{ return texRECT(s, uv); }\n") +
                                              "technique Only { pass { FragmentProgram = compile fp40 r(); } }\n"),
        };
        ASSERT_EQ(datagen::writeZip(dir + "/data.zip", assets), "");
        archive.open((dir + "/data.zip").c_str());
        ASSERT_TRUE(archive.opened);
        ASSERT_EQ(gui.init(), 0);
    }
    static void TearDownTestSuite()
    {
        tweak::terminate();
        fx::releaseSharedContext();
        archive.close();
        GlTest::TearDownTestSuite();
    }

    void SetUp() override
    {
        gui.tweakables.clear();
        logCapture.open("shader");
    }
    void TearDown() override { logCapture.close(); }
    std::string log() const { return logCapture.text(); }

    LogCapture logCapture;
};

TEST_F(LoadShader, FallsBackToTheFirstTechniqueThatValidates)
{
    Shader shader;
    shader.source = "shaders/fallback.cgfx";
    ASSERT_EQ(loadShader(archive, shader), 0u);
    ASSERT_NE(shader.effect, nullptr);
    EXPECT_STREQ(fx::techniqueName(shader.technique), "Second");
    std::string text = log();
    EXPECT_NE(text.find("load shader: shaders/fallback.cgfx .. \nfile: shaders/fallback.cgfx size: "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nok\ntechnique First did not validate, skipping.\nusing technique Second\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("found parameter: s\nparam type: sampler2D\n"), std::string::npos) << text;
    EXPECT_TRUE(gui.tweakables.empty());
}

TEST_F(LoadShader, FloatParametersBecomeTweakablesWithTheirDefinitions)
{
    Shader shader;
    shader.source = "shaders/blobs_render.cgfx";
    ASSERT_EQ(loadShader(archive, shader), 0u);
    ASSERT_EQ(gui.tweakables.size(), 4u);

    const Tweakable& gain = gui.tweakables[0];
    EXPECT_EQ(gain.parameterName, "gain");
    EXPECT_EQ(gain.label, "blobs_render.gain");
    EXPECT_EQ(gain.effect, shader.effect);
    EXPECT_FLOAT_EQ(gain.value, 2.5f);
    EXPECT_EQ(gui.tweakables[1].label, "blobs_render.plain");
    EXPECT_FLOAT_EQ(gui.tweakables[2].value, 0.0f);  // no default: starts at minVal
    EXPECT_FLOAT_EQ(gui.tweakables[3].value, 1.0f);

    std::string text = log();
    EXPECT_NE(text.find("found parameter: gain\nparam type: float\n\tfound annotation: UIMin\n"
                        "\t\tannotation type: float\n\tfound annotation: UIMax\n\t\tannotation type: float\n"
                        "\tfound annotation: UIStep\n\t\tannotation type: float\n"
                        "\tadding variable to gui: (eff: "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(") gain 2.5  group=blobs_render.cgfx label='gain' min=1 max=128 step=0.5 \n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(") plain 3  group=blobs_render.cgfx label='plain' min=0 max=100 step=0.01 \n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\t\tannotation type: string\n\tno default value specified. setting to minVal (0)\n"
                        "\tadding variable to gui: "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(") onlyMax 0  group=blobs_render.cgfx label='onlyMax' min=0 max=5 step=0.01 \n"),
              std::string::npos)
        << text;
    // Only the first five (six for UIStep) characters are compared; a float2 counts,
    // an int does not.
    EXPECT_NE(text.find(") longName 1  group=blobs_render.cgfx label='longName' min=-1 max=7 step=0.01 \n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("found parameter: color\nparam type: float3\n\tfound annotation: UIMin\n"
                        "\t\tannotation type: float\n\tfound annotation: UIMax\n\t\tannotation type: float\n"
                        "found parameter: tex\nparam type: sampler2D\n"),
              std::string::npos)
        << text;

    tweak::Variable* v = tweak::findVariable(gui.bar, "blobs_render.gain");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->group, "blobs_render.cgfx");
    EXPECT_EQ(v->label, "gain");
    EXPECT_DOUBLE_EQ(v->min, 1.0);
    EXPECT_DOUBLE_EQ(v->max, 128.0);
    EXPECT_DOUBLE_EQ(v->step, 0.5);
    // The bar edits the tweakable; the push reaches the effect parameter.
    EXPECT_TRUE(tweak::setValue(v, 64.0));
    EXPECT_FLOAT_EQ(gui.tweakables[0].value, 64.0f);
    gui.pushTweakables();
    float current = 0;
    fx::currentValues(fx::namedParameter(shader.effect, "gain"), &current, 1);
    EXPECT_FLOAT_EQ(current, 64.0f);
}

TEST_F(LoadShader, ASecondLoadOfTheSameFileKeepsBothEntriesButTheBarRefusesTheName)
{
    Shader a, b;
    a.source = b.source = "shaders/blobs_render.cgfx";
    ASSERT_EQ(loadShader(archive, a), 0u);
    ASSERT_EQ(loadShader(archive, b), 0u);
    ASSERT_EQ(gui.tweakables.size(), 8u);
    EXPECT_EQ(gui.tweakables[4].label, gui.tweakables[0].label);
    EXPECT_EQ(gui.tweakables[4].effect, b.effect);
    EXPECT_NE(a.effect, b.effect);
    EXPECT_NE(log().find("\tadding variable to gui error: a variable named 'blobs_render.gain' already exists"),
              std::string::npos)
        << log();
    // Each entry is pushed into its own effect.
    gui.tweakables[0].value = 10;
    gui.tweakables[4].value = 20;
    gui.pushTweakables();
    float va = 0, vb = 0;
    fx::currentValues(fx::namedParameter(a.effect, "gain"), &va, 1);
    fx::currentValues(fx::namedParameter(b.effect, "gain"), &vb, 1);
    EXPECT_FLOAT_EQ(va, 10.0f);
    EXPECT_FLOAT_EQ(vb, 20.0f);
}

TEST_F(LoadShader, APathWithoutSlashIsItsOwnGroup)
{
    Shader shader;
    shader.source = "noslash.cgfx";
    ASSERT_EQ(loadShader(archive, shader), 0u);
    ASSERT_EQ(gui.tweakables.size(), 1u);
    EXPECT_EQ(gui.tweakables[0].label, "noslash.k");
    EXPECT_NE(log().find(" group=noslash.cgfx label='k' min=0 max=100 step=0.01 "), std::string::npos);
}

// A scene's texture binding must name a sampler of its effect: one that does not would
// leave the objects without their texture.
TEST_F(LoadShader, SceneBindingsMustNameSamplersOfTheEffect)
{
    const struct {
        const char* name;
        bool ok;
    } bindings[] = {{"tex", true}, {"texx", false}, {"gain", false}, {"TEX", false}};
    for (const auto& binding : bindings) {
        takeLoadFailures();
        gui.tweakables.clear();
        Shader shader;
        shader.source = "shaders/blobs_render.cgfx";
        shader.sampler = {{"tex", 1}, {binding.name, 2}};
        EXPECT_EQ(loadShader(archive, shader), binding.ok ? 0u : 1u) << binding.name;
        const std::vector<std::string> notes = takeLoadFailures();
        if (binding.ok) {
            EXPECT_TRUE(notes.empty()) << binding.name;
            EXPECT_FALSE(gui.tweakables.empty());
            continue;
        }
        EXPECT_EQ(notes, (std::vector<std::string>{"shaders/blobs_render.cgfx: the scene binds texture 2 to \"" +
                                                   std::string(binding.name) +
                                                   "\", which is not a sampler of this effect"}));
        EXPECT_NE(log().find("no sampler " + std::string(binding.name) + " in the effect\n"), std::string::npos)
            << log();
        EXPECT_TRUE(gui.tweakables.empty()) << binding.name << ": nothing registered for a failed load";
    }
}

TEST_F(LoadShader, FailuresAreLoggedAndReturnOne)
{
    Shader missing;
    missing.source = "shaders/missing.cgfx";
    EXPECT_EQ(loadShader(archive, missing), 1u);
    EXPECT_NE(log().find("load shader: shaders/missing.cgfx ..  file not found: shaders/missing.cgfx\n"
                         " error, file size 0\n"),
              std::string::npos)
        << log();

    Shader broken;
    broken.source = "shaders/broken.cgfx";
    EXPECT_EQ(loadShader(archive, broken), 1u);
    EXPECT_EQ(broken.effect, nullptr);
    EXPECT_EQ(broken.technique, nullptr);
    EXPECT_NE(log().find("\nok\n\nsituation: creating effect error: the effect did not compile cg compiler output: "
                         "shaders/broken.cgfx(1): error: "),
              std::string::npos)
        << log();
    EXPECT_NE(log().find("no valid technique \n"), std::string::npos);

    Shader novalid;
    novalid.source = "shaders/novalid.cgfx";
    EXPECT_EQ(loadShader(archive, novalid), 1u);
    EXPECT_NE(log().find("technique Only did not validate, skipping.\nno valid technique \n"), std::string::npos)
        << log();
    EXPECT_TRUE(gui.tweakables.empty());
}
