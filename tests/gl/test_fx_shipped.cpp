// Every effect file shipped in data/shaders compiles, and its first technique
// translates, compiles and links on this driver; every technique links for each generic
// GLSL target, and the generic path draws what the default one does.
#include "gl_fixture.h"

#include "fx/fx.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::filesystem::path> shippedEffects()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(CORE_SOURCE_DIR) + "/data/shaders")) {
        if (entry.path().extension() == ".cgfx") {
            files.push_back(entry.path());
        }
    }
    return files;
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class ShippedEffects : public GlTest {};

TEST_F(ShippedEffects, EveryFileCompilesAndItsFirstTechniqueValidates)
{
    auto files = shippedEffects();
    ASSERT_GE(files.size(), 6u);
    fx::Context* context = fx::createContext();
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::string text = readText(file);
        fx::Effect* effect = fx::createEffect(context, text.c_str(), file.filename().c_str());
        ASSERT_NE(effect, nullptr) << fx::lastListing(context);
        fx::Technique* technique = fx::firstTechnique(effect);
        ASSERT_NE(technique, nullptr);
        EXPECT_TRUE(fx::validateTechnique(technique)) << fx::lastListing(context) << "\n"
                                                      << fx::passFragmentSource(fx::firstPass(technique));
    }
    fx::destroyContext(context);
}

// Mesa's compatibility context takes #version 120, 330 core and 300 es alike.
TEST_F(ShippedEffects, EveryTechniqueLinksForEachGenericTarget)
{
    for (fx::GlslTarget target : {fx::GlslTarget::Glsl120, fx::GlslTarget::Glsl330, fx::GlslTarget::Essl300}) {
        fx::setGlslTarget(target);
        fx::Context* context = fx::createContext();
        for (const auto& file : shippedEffects()) {
            const std::string text = readText(file);
            fx::Effect* effect = fx::createEffect(context, text.c_str(), file.filename().c_str());
            ASSERT_NE(effect, nullptr) << fx::lastListing(context);
            for (fx::Technique* t = fx::firstTechnique(effect); t; t = fx::nextTechnique(t)) {
                EXPECT_TRUE(fx::validateTechnique(t))
                    << file.filename() << ", technique " << fx::techniqueName(t) << ", target " << int(target)
                    << ":\n" << fx::lastListing(context) << "\n" << fx::passVertexSource(fx::firstPass(t)) << "\n"
                    << fx::passFragmentSource(fx::firstPass(t));
            }
        }
        fx::destroyContext(context);
    }
    fx::followContextGlslTarget();
}

namespace {

// State matrices, colour and texture coordinate varyings, a colour above 1 (GL clamps
// vertex colours) and an alpha test cutting the quad where alpha falls to 0.4.
const char* const kSameEffect = R"(
float gain = 1.5;
struct V { float4 position : POSITION; float4 color : COLOR0; float2 uv : TEXCOORD1; };
V vs(float4 p : POSITION, float4 c : COLOR0, float2 uv : TEXCOORD0) {
    V o;
    o.position = mul(glstate.matrix.projection, mul(glstate.matrix.modelview, p));
    o.color = c * gain;
    o.uv = mul(glstate.matrix.invtrans.modelview, float4(uv, 0, 1)).xy;
    return o;
}
float4 ps(V i) : COLOR { return float4(i.color.rgb * 0.5 + frac(i.uv.xyx) * 0.5, i.color.a); }
technique T {
    pass {
        VertexProgram = compile arbvp1 vs();
        FragmentProgram = compile arbfp1 ps();
        AlphaTestEnable = true; AlphaFunc = float2(Greater, 0.4);
    }
}
)";

struct SameVertex {
    float x, y, z, u, v, r, g, b, a;
};

// Draws a turned quad with the effect for `target`, the matrices given through gpu/ and
// the model-view turned after the pass is set (the before-draw hook hands it over).
std::vector<unsigned char> drawSame(fx::GlslTarget target)
{
    fx::setGlslTarget(target);
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, kSameEffect, "same.cgfx");
    fx::Technique* technique = fx::firstTechnique(effect);
    EXPECT_TRUE(fx::validateTechnique(technique)) << fx::lastListing(context);
    const SameVertex quad[] = {
        {-0.8f, -0.8f, 0, 0, 0, 1.0f, 0.2f, 0.1f, 1.0f}, {0.8f, -0.8f, 0, 2, 0, 0.1f, 1.0f, 0.2f, 1.0f},
        {-0.8f, 0.8f, 0, 0, 2, 0.2f, 0.1f, 1.0f, 0.0f},  {0.8f, 0.8f, 0, 2, 2, 0.9f, 0.9f, 0.9f, 0.0f},
    };
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
    const GLsizei stride = sizeof(SameVertex);
    gpu::VertexLayout layout;
    layout.stride = stride;
    layout.position = int(offsetof(SameVertex, x));
    layout.texCoord = int(offsetof(SameVertex, u));
    layout.color = int(offsetof(SameVertex, r));
    gpu::bindVertexLayout(layout);
    gpu::resetMatrices();
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::ortho(-1.2, 1.2, -1.0, 1.0, -1.0, 1.0);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    fx::Pass* pass = fx::firstPass(technique);
    fx::setPassState(pass);
    gpu::rotate(25.0f, 0.0f, 0.0f, 1.0f);
    gpu::drawArrays(GL_TRIANGLE_STRIP, 0, 4);
    fx::resetPassState(pass);
    std::vector<unsigned char> pixels(64 * 64 * 4);
    glReadPixels(0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());

    gpu::unbindVertexLayout();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    fx::destroyContext(context);
    fx::followContextGlslTarget();
    gpu::resetMatrices();
    return pixels;
}

}  // namespace

TEST_F(ShippedEffects, EveryTargetDrawsTheSame)
{
    glViewport(0, 0, 64, 64);
    const std::vector<unsigned char> expected = drawSame(fx::GlslTarget::Glsl120);
    int background = 0;  // the bottom-left corner is background
    for (size_t i = 0; i < expected.size(); i += 4) {
        background += expected[i] == expected[0] && expected[i + 1] == expected[1] && expected[i + 2] == expected[2];
    }
    // The turned quad and the alpha test leave part of the window to the background.
    ASSERT_GT(background, 64 * 64 / 4);
    ASSERT_LT(background, 64 * 64 * 3 / 4);
    ASSERT_GT(brightnessSpread(64, 64), 60);
    for (fx::GlslTarget target : {fx::GlslTarget::Glsl330, fx::GlslTarget::Essl300}) {
        const std::vector<unsigned char> pixels = drawSame(target);
        int differing = 0, worst = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const int d = std::abs(int(pixels[i]) - int(expected[i]));
            differing += d > 1;
            worst = std::max(worst, d);
        }
        EXPECT_EQ(differing, 0) << "target " << int(target) << ": worst difference " << worst;
    }
    glViewport(0, 0, 256, 256);
}
