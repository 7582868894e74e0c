// What the post-processing effect files draw: the bright pass, a real Gaussian, the
// final sum and the cross-fade mixer, each on a 256 x 256 target with known inputs.
#include "gl_fixture.h"

#include "fx/fx.h"
#include "gpu/matrices.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 256;

std::string readEffect(const char* name)
{
    std::ifstream in(std::string(CORE_SOURCE_DIR) + "/data/shaders/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A float texture, so that the blur can be measured without 8-bit rounding.
GLuint texture(const std::vector<float>& rgba)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kSize, kSize, 0, GL_RGBA, GL_FLOAT, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

std::vector<float> image(float (*f)(int x, int y, int channel))
{
    std::vector<float> v(size_t(kSize * kSize * 4));
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            for (int c = 0; c < 4; ++c) {
                v[size_t((y * kSize + x) * 4 + c)] = f(x, y, c);
            }
        }
    }
    return v;
}

}  // namespace

class PostEffects : public GlTest {
protected:
    fx::Context* context = nullptr;
    GLuint target = 0, framebuffer = 0;
    std::vector<GLuint> textures;

    void SetUp() override
    {
        context = fx::createContext();
        glGenTextures(1, &target);
        glBindTexture(GL_TEXTURE_2D, target);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kSize, kSize, 0, GL_RGBA, GL_FLOAT, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        glViewport(0, 0, kSize, kSize);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        // The effect files place the quad themselves: these matrices must not matter.
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::frustum(-1, 1, -1, 1, 1, 10);
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
        gpu::rotate(30, 0, 1, 0);
    }
    void TearDown() override
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &target);
        glDeleteTextures(GLsizei(textures.size()), textures.data());
        fx::destroyContext(context);
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
    }

    fx::Effect* load(const char* name)
    {
        std::string text = readEffect(name);
        fx::Effect* effect = fx::createEffect(context, text.c_str(), name);
        EXPECT_NE(effect, nullptr) << fx::lastListing(context);
        EXPECT_TRUE(fx::validateTechnique(fx::firstTechnique(effect))) << fx::lastListing(context);
        return effect;
    }
    void bind(fx::Effect* effect, const char* sampler, const std::vector<float>& pixels)
    {
        textures.push_back(texture(pixels));
        fx::Parameter* p = fx::namedParameter(effect, sampler);
        ASSERT_NE(p, nullptr) << sampler;
        fx::setupSampler(p, textures.back());
    }
    // Runs the first pass over the objects/quad.mmf quad (positions -1..1, uvs 0..1).
    std::vector<float> run(fx::Effect* effect)
    {
        fx::Pass* pass = fx::firstPass(fx::firstTechnique(effect));
        fx::setPassState(pass);
        gpu::begin(gpu::Primitive::Triangles);
        const float quad[6][4] = {{-1, -1, 0, 0}, {1, -1, 1, 0}, {1, 1, 1, 1},
                                  {-1, -1, 0, 0}, {1, 1, 1, 1},  {-1, 1, 0, 1}};
        for (const auto& v : quad) {
            gpu::texCoord(v[2], v[3]);
            gpu::vertex(v[0], v[1], 0);
        }
        gpu::end();
        fx::resetPassState(pass);
        std::vector<float> out(size_t(kSize * kSize * 4));
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_FLOAT, out.data());
        return out;
    }
    static float at(const std::vector<float>& img, int x, int y, int c) { return img[size_t((y * kSize + x) * 4 + c)]; }
};

TEST_F(PostEffects, BrightPassKeepsOnlyWhatIsAboveTheThreshold)
{
    fx::Effect* effect = load("bloom-bright_pass.cgfx");
    bind(effect, "RT", image([](int x, int, int c) { return c == 3 ? 1.0f : (x < 128 ? 0.3f : 1.0f); }));
    fx::setParameter1f(fx::namedParameter(effect, "BloomThreshold"), 0.5f);
    std::vector<float> out = run(effect);
    EXPECT_NEAR(at(out, 40, 100, 0), 0.0f, 1e-3f);
    EXPECT_NEAR(at(out, 200, 100, 1), 1.0f, 1e-3f);
    // A higher threshold keeps less of the same white.
    fx::setParameter1f(fx::namedParameter(effect, "BloomThreshold"), 0.8f);
    out = run(effect);
    EXPECT_NEAR(at(out, 200, 100, 1), 1.0f, 1e-3f);
    fx::setParameter1f(fx::namedParameter(effect, "BloomThreshold"), 0.2f);
    out = run(effect);
    EXPECT_GT(at(out, 40, 100, 0), 0.03f);
    EXPECT_LT(at(out, 40, 100, 0), 0.3f);
}

TEST_F(PostEffects, BlursAreNormalisedSymmetricGaussiansAlongTheirAxis)
{
    for (const char* file : {"bloom-gaussH.cgfx", "bloom-gaussV.cgfx"}) {
        SCOPED_TRACE(file);
        bool horizontal = std::string(file).find('H') != std::string::npos;
        fx::Effect* effect = load(file);
        // One bright line across the blur direction.
        if (horizontal) {
            bind(effect, "Blur0", image([](int x, int, int) { return x == 128 ? 1.0f : 0.0f; }));
        } else {
            bind(effect, "Blur0", image([](int, int y, int) { return y == 128 ? 1.0f : 0.0f; }));
        }
        std::vector<float> out = run(effect);
        auto along = [&](int k) { return horizontal ? at(out, k, 60, 1) : at(out, 60, k, 1); };
        auto across = [&](int k) { return horizontal ? at(out, 128, k, 1) : at(out, k, 128, 1); };
        float sum = 0;
        int taps = 0;
        for (int k = 0; k < kSize; ++k) {
            sum += along(k);
            taps += along(k) > 1e-4f ? 1 : 0;
        }
        EXPECT_NEAR(sum, 1.0f, 2e-3f);
        EXPECT_GE(taps, 9);
        EXPECT_LE(taps, 13);
        EXPECT_NEAR(along(127), along(129), 1e-5f);
        EXPECT_NEAR(along(124), along(132), 1e-5f);
        EXPECT_GT(along(128), along(129));
        EXPECT_GT(along(129), along(131));
        EXPECT_GT(along(131), along(133));
        // Gaussian: the log of the weights falls with the square of the distance.
        float ratio1 = std::log(along(128) / along(129)), ratio2 = std::log(along(128) / along(130));
        EXPECT_NEAR(ratio2 / ratio1, 4.0f, 0.1f);
        // Nothing moves across the blur direction.
        EXPECT_NEAR(across(20), across(200), 1e-5f);
    }
}

TEST_F(PostEffects, FinalAddsTheBloomToThePicture)
{
    fx::Effect* effect = load("bloom-final.cgfx");
    bind(effect, "RT", image([](int, int, int c) { return c == 0 ? 0.25f : c == 3 ? 1.0f : 0.0f; }));
    bind(effect, "Blur1", image([](int x, int, int c) { return c == 1 && x >= 128 ? 0.5f : 0.0f; }));
    std::vector<float> out = run(effect);
    EXPECT_NEAR(at(out, 20, 20, 0), 0.25f, 1e-3f);
    EXPECT_NEAR(at(out, 20, 20, 1), 0.0f, 1e-3f);
    EXPECT_NEAR(at(out, 200, 20, 0), 0.25f, 1e-3f);
    EXPECT_NEAR(at(out, 200, 20, 1), 0.5f, 1e-3f);
}

TEST_F(PostEffects, MixerBlendsSourceIntoTargetByFactor)
{
    fx::Effect* effect = load("post_mixer.cgfx");
    bind(effect, "sampA", image([](int, int, int c) { return c == 0 || c == 3 ? 1.0f : 0.0f; }));
    bind(effect, "sampB", image([](int, int, int c) { return c == 1 || c == 3 ? 1.0f : 0.0f; }));
    fx::setParameter1f(fx::namedParameter(effect, "factor"), 0.25f);
    std::vector<float> out = run(effect);
    EXPECT_NEAR(at(out, 128, 128, 0), 0.75f, 1e-3f);
    EXPECT_NEAR(at(out, 128, 128, 1), 0.25f, 1e-3f);
    fx::setParameter1f(fx::namedParameter(effect, "factor"), 1.0f);
    out = run(effect);
    EXPECT_NEAR(at(out, 5, 250, 0), 0.0f, 1e-3f);
    EXPECT_NEAR(at(out, 5, 250, 1), 1.0f, 1e-3f);
}

TEST_F(PostEffects, OverlayIsLaidOverWithItsAlpha)
{
    fx::Effect* effect = load("post_overlay.cgfx");
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    bind(effect, "overlay", image([](int, int, int c) { return c == 0 ? 1.0f : c == 3 ? 0.5f : 0.0f; }));
    std::vector<float> out = run(effect);
    EXPECT_NEAR(at(out, 128, 128, 0), 0.5f, 1e-3f);
    EXPECT_NEAR(at(out, 128, 128, 2), 0.5f, 1e-3f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));  // reset after the pass
}

TEST_F(PostEffects, TheChainAddsAHaloAroundBrightPartsOnly)
{
    // A dim grey picture with one bright disc.
    std::vector<float> picture = image([](int x, int y, int c) {
        float dx = float(x - 128), dy = float(y - 128);
        bool disc = dx * dx + dy * dy < 100.0f;
        return c == 3 ? 1.0f : disc ? 1.0f : (c == 2 ? 0.3f : 0.15f);
    });
    fx::Effect* bright = load("bloom-bright_pass.cgfx");
    fx::Effect* blurV = load("bloom-gaussV.cgfx");
    fx::Effect* blurH = load("bloom-gaussH.cgfx");
    fx::Effect* final = load("bloom-final.cgfx");
    bind(bright, "RT", picture);
    fx::setParameter1f(fx::namedParameter(bright, "BloomThreshold"), 0.5f);
    std::vector<float> step = run(bright);
    bind(blurV, "Blur0", step);
    step = run(blurV);
    bind(blurH, "Blur0", step);
    std::vector<float> bloom = run(blurH);
    bind(final, "RT", picture);
    bind(final, "Blur1", bloom);
    std::vector<float> out = run(final);
    if (const char* dump = std::getenv("CORE_POST_DUMP")) {  // a PPM to look at
        std::FILE* f = std::fopen(dump, "wb");
        std::fprintf(f, "P6 %d %d 255\n", kSize, kSize);
        for (int y = kSize - 1; y >= 0; --y) {
            for (int x = 0; x < kSize; ++x) {
                for (int c = 0; c < 3; ++c) {
                    std::fputc(int(std::fmin(at(out, x, y, c), 1.0f) * 255.0f + 0.5f), f);
                }
            }
        }
        std::fclose(f);
    }
    EXPECT_NEAR(at(out, 20, 20, 0), 0.15f, 1e-3f);  // far from the disc: unchanged
    EXPECT_NEAR(at(out, 128, 128, 1), 1.0f, 1e-3f);
    EXPECT_GT(at(out, 128, 141, 0), 0.15f + 0.02f);  // just outside the disc: a halo
    EXPECT_GT(at(out, 128, 141, 0), at(out, 128, 145, 0));
}
