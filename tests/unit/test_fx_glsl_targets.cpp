// Every pass of every technique of every shipped effect file (and of a few effects
// written here to reach what the shipped ones do not) translates for GLSL 1.20,
// 330 core and 300 es, and the offline compiler (glslangValidator) accepts each program.
// No GL context.
#include "fx/fx.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Integers where Cg converts them to floats, everything GL ES does not convert, the
// state matrices in all forms, every varying, helpers, alpha test and several outputs.
const char* const kCorners = R"(
float4x4 world;
float gain = 2;
int count = 3;
sampler2D picture;
samplerCUBE sky;
static const float weights[3] = {1, 2, 3};
struct Light { float3 direction; float power; };
float halve(float x) { return x / 2; }
float4 shade(float3 n, int k) { return float4(n * k, 1); }
void vs(float4 p : POSITION, float3 n : NORMAL, float4 c : COLOR0, float4 c1 : COLOR1, float2 uv : TEXCOORD0,
        float4 t7 : TEXCOORD7, out float4 pos : POSITION, out float4 color : COLOR0, out float4 spec : COLOR1,
        out float4 uvOut : TEXCOORD0, out float fog : FOG, out float size : PSIZE) {
    pos = mul(glstate.matrix.mvp, p) + mul(glstate.matrix.inverse.modelview, p) * 0
        + mul(p, glstate.matrix.transpose.projection) + mul(glstate.matrix.invtrans.texture[0], t7);
    float4 eye = mul(world, p);
    Light l = {float3(0, 1, 0), 1};
    color = c * max(dot(n, l.direction), 0) * l.power + texCUBElod(sky, float4(n, 0)) + tex2Dlod(picture, float4(uv, 0, 1));
    spec = c1 + shade(n, 2) * halve(1);
    uvOut = float4(uv * 2, 0, 1);
    fog = eye.z > 0 ? 1 : eye.z;
    size = 1;
}
float4 ps(float4 c : COLOR0, float4 s : COLOR1, float4 uv : TEXCOORD0, float4 unwritten : TEXCOORD3, float f : FOG,
          out float4 second : COLOR1, out float depth : DEPTH, uniform float k) : COLOR {
    float4 sum = 0;
    for (int i = 0; i < count; i++) {
        sum += tex2D(picture, uv.xy + i) * weights[i] + pow(c.x, 2) + saturate(i) + sin(i);
    }
    float x = 1;
    x *= 2;
    x = x + 1 - count;
    float3 v = 1;
    v = 0;
    clip(x - 1);
    second = tex2Dbias(picture, float4(uv.xy, 0, 1)) + fmod(x, 2) + unwritten + f;
    depth = 1;
    if (x == 1 || sum.x < 0) return 0;
    return lerp(c, s, 0.5) * k * gain + sum / 3 + (x > 2 ? 1 : 0);
}
technique T {
    pass p {
        VertexProgram = compile arbvp1 vs();
        FragmentProgram = compile arbfp1 ps(1);
        AlphaTestEnable = true; AlphaFunc = float2(Greater, 0.5);
        PolygonMode = int2(Front, Line); LightingEnable = false; Texture2DEnable = true;
    }
    pass never {
        VertexProgram = compile arbvp1 vs();
        FragmentProgram = compile arbfp1 ps(gain);
        AlphaTestEnable = true; AlphaFunc = float2(Never, 0);
    }
}
)";

struct Source {
    std::string name;
    std::string text;
};

std::vector<Source> effectsToCheck()
{
    std::vector<Source> sources;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(CORE_SOURCE_DIR) + "/data/shaders")) {
        if (entry.path().extension() == ".cgfx") {
            std::ifstream in(entry.path());
            std::stringstream s;
            s << in.rdbuf();
            sources.push_back({entry.path().filename().string(), s.str()});
        }
    }
    sources.push_back({"corners.cgfx", kCorners});
    return sources;
}

struct Program {
    std::string where;
    std::string glsl;
    std::filesystem::path file;  // named .vert or .frag: the stage
};

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// glslangValidator's verdict on the files: "" when it accepts them all, else its output.
std::string validatorProblem(const std::vector<const Program*>& programs, const std::filesystem::path& folder)
{
    const std::filesystem::path log = folder / "log.txt";
    std::string command = "glslangValidator";
    for (const Program* p : programs) {
        command += " " + p->file.string();
    }
    command += " > " + log.string() + " 2>&1";
    const int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return "";
    }
    return "exit status " + std::to_string(status) + "\n" + readFile(log);
}

const struct {
    fx::GlslTarget target;
    const char* name;
} kTargets[] = {
    {fx::GlslTarget::Glsl120, "120"},
    {fx::GlslTarget::Glsl330, "330 core"},
    {fx::GlslTarget::Essl300, "300 es"},
};

}  // namespace

TEST(FxGlslTargets, EveryPassOfEveryEffectValidatesForEachGenericTarget)
{
    ASSERT_EQ(std::system("glslangValidator --version > /dev/null 2>&1"), 0)
        << "glslangValidator is missing (scripts/install-deps.sh installs glslang-tools)";
    const std::vector<Source> sources = effectsToCheck();
    ASSERT_GE(sources.size(), 7u);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("fx_glsl_targets_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::vector<Program> programs;
    fx::Context* context = fx::createContext();
    for (const Source& source : sources) {
        fx::Effect* effect = fx::createEffect(context, source.text.c_str(), source.name.c_str());
        ASSERT_NE(effect, nullptr) << source.name << ": " << fx::lastListing(context);
        for (fx::Technique* t = fx::firstTechnique(effect); t; t = fx::nextTechnique(t)) {
            for (fx::Pass* p = fx::firstPass(t); p; p = fx::nextPass(p)) {
                for (const auto& target : kTargets) {
                    const std::string where = source.name + ", technique " + fx::techniqueName(t) + ", pass " +
                                              fx::passName(p) + ", GLSL " + target.name;
                    const char* vertex = nullptr;
                    const char* fragment = nullptr;
                    ASSERT_TRUE(fx::translatePass(p, target.target, &vertex, &fragment))
                        << where << ":\n" << fx::lastListing(context);
                    const std::pair<std::string, const char*> stages[] = {{vertex, "vert"}, {fragment, "frag"}};
                    for (const auto& [glsl, stage] : stages) {
                        if (!glsl.empty()) {
                            Program program{where + " (" + stage + ")", glsl,
                                            folder / (std::to_string(programs.size()) + "." + stage)};
                            std::ofstream(program.file) << glsl;
                            programs.push_back(program);
                        }
                    }
                }
            }
        }
    }
    fx::destroyContext(context);
    EXPECT_GE(programs.size(), 3u * 2u * 30u);
    // All at once; when that fails, one by one to say which.
    std::vector<const Program*> all;
    for (const Program& p : programs) {
        all.push_back(&p);
    }
    if (!validatorProblem(all, folder).empty()) {
        for (const Program& p : programs) {
            const std::string problem = validatorProblem({&p}, folder);
            EXPECT_EQ(problem, "") << p.where << ":\n" << p.glsl;
        }
    }
    std::filesystem::remove_all(folder);
}

// What a target cannot do is a translation error naming it, never a crash.
TEST(FxGlslTargets, WhatATargetLacksIsAnErrorInTheListing)
{
    const struct {
        fx::GlslTarget target;
        const char* code;
        const char* message;
    } cases[] = {
        {fx::GlslTarget::Glsl330,
         "float4 vs(float4 p : POSITION) : POSITION { return mul(glstate.matrix.texture[1], p); }\n"
         "float4 ps() : COLOR { return 1; }\n"
         "technique T { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }\n",
         "glstate.matrix.texture[1]"},
        {fx::GlslTarget::Essl300,
         "sampler1D ramp;\n"
         "float4 vs(float4 p : POSITION) : POSITION { return p; }\n"
         "float4 ps(float2 uv : TEXCOORD0) : COLOR { return tex1D(ramp, uv.x); }\n"
         "technique T { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }\n",
         "not available in GLSL ES"},
    };
    for (const auto& c : cases) {
        fx::Context* context = fx::createContext();
        fx::Effect* effect = fx::createEffect(context, c.code, "lacking.cgfx");
        ASSERT_NE(effect, nullptr) << fx::lastListing(context);
        const char* vertex = nullptr;
        EXPECT_FALSE(fx::translatePass(fx::firstPass(fx::firstTechnique(effect)), c.target, &vertex, nullptr));
        EXPECT_STREQ(vertex, "");
        EXPECT_NE(std::string(fx::lastListing(context)).find(c.message), std::string::npos) << fx::lastListing(context);
        fx::destroyContext(context);
    }
}
