// The effect runtime on the driver: what passes draw, the matrix convention, pass
// states, managed textures and technique validation.
#include "gl_fixture.h"

#include "fx/fx.h"
#include "gpu/matrices.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Rgba {
    float r, g, b, a;
};

Rgba readPixel(int x, int y)
{
    unsigned char p[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f};
}

void drawQuad(float half = 1.0f)
{
    gpu::begin(gpu::Primitive::Quads);
    gpu::texCoord(0, 0);
    gpu::vertex(-half, -half, 0);
    gpu::texCoord(1, 0);
    gpu::vertex(half, -half, 0);
    gpu::texCoord(1, 1);
    gpu::vertex(half, half, 0);
    gpu::texCoord(0, 1);
    gpu::vertex(-half, half, 0);
    gpu::end();
}

// Draws the full-window quad with every pass of the technique.
void drawWith(fx::Technique* technique, float half = 1.0f)
{
    for (fx::Pass* pass = fx::firstPass(technique); pass; pass = fx::nextPass(pass)) {
        fx::setPassState(pass);
        drawQuad(half);
        fx::resetPassState(pass);
    }
}

GLuint solidTexture(unsigned char r, unsigned char g, unsigned char b)
{
    unsigned char pixels[4 * 4 * 4];
    for (int i = 0; i < 16; ++i) {
        pixels[i * 4] = r;
        pixels[i * 4 + 1] = g;
        pixels[i * 4 + 2] = b;
        pixels[i * 4 + 3] = 255;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

const float kTolerance = 1.5f / 255.0f;

#define EXPECT_RGBA(pixel, R, G, B, A)             \
    do {                                           \
        Rgba p_ = (pixel);                         \
        EXPECT_NEAR(p_.r, (R), kTolerance);        \
        EXPECT_NEAR(p_.g, (G), kTolerance);        \
        EXPECT_NEAR(p_.b, (B), kTolerance);        \
        EXPECT_NEAR(p_.a, (A), kTolerance);        \
    } while (0)

}  // namespace

class FxRuntime : public GlTest {
protected:
    fx::Context* context = nullptr;

    void SetUp() override
    {
        context = fx::createContext();
        glViewport(0, 0, 256, 256);
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override { fx::destroyContext(context); }

    fx::Effect* load(const char* text)
    {
        fx::Effect* effect = fx::createEffect(context, text, "test.cgfx");
        EXPECT_NE(effect, nullptr) << fx::lastListing(context);
        return effect;
    }
    fx::Technique* valid(fx::Effect* effect, const char* name)
    {
        fx::Technique* t = fx::namedTechnique(effect, name);
        EXPECT_TRUE(fx::validateTechnique(t)) << name << ":\n" << fx::lastListing(context);
        return t;
    }
};

const char* const kMatrixEffect = R"(
float4x4 M;
float4 v = {1, 0.5, 0.25, 1};
float4 left(uniform float4x4 m, uniform float4 x) : COLOR { return mul(m, x); }
float4 right(uniform float4x4 m, uniform float4 x) : COLOR { return mul(x, m); }
float4 row(uniform float4x4 m) : COLOR { return m[1]; }
float4 element(uniform float4x4 m) : COLOR { return float4(m[0][2], m[2][0], m[3][3], 1); }
technique Left { pass { FragmentProgram = compile arbfp1 left(M, v); } }
technique Right { pass { FragmentProgram = compile arbfp1 right(M, v); } }
technique Row { pass { FragmentProgram = compile arbfp1 row(M); } }
technique Element { pass { FragmentProgram = compile arbfp1 element(M); } }
)";

TEST_F(FxRuntime, MulTreatsARowMajorMatrixAsCgDoes)
{
    fx::Effect* effect = load(kMatrixEffect);
    ASSERT_NE(effect, nullptr);
    const float m[16] = {0.1f, 0.2f, 0.3f, 0.0f,  //
                         0.0f, 0.5f, 0.0f, 0.25f,  //
                         0.2f, 0.2f, 0.2f, 0.2f,  //
                         0.0f, 0.0f, 0.0f, 0.5f};
    fx::setMatrixParameterRowMajor(fx::namedParameter(effect, "M"), m);

    drawWith(valid(effect, "Left"));
    // row i of M dotted with v
    EXPECT_RGBA(readPixel(128, 128), 0.275f, 0.5f, 0.55f, 0.5f);

    drawWith(valid(effect, "Right"));
    // v times M: column j of M dotted with v
    EXPECT_RGBA(readPixel(128, 128), 0.15f, 0.5f, 0.35f, 0.675f);

    drawWith(valid(effect, "Row"));
    EXPECT_RGBA(readPixel(10, 200), 0.0f, 0.5f, 0.0f, 0.25f);

    drawWith(valid(effect, "Element"));
    EXPECT_RGBA(readPixel(200, 10), 0.3f, 0.2f, 0.5f, 1.0f);
}

TEST_F(FxRuntime, StateMatrixIsReadFromTheCurrentMatricesAtTheCall)
{
    fx::Effect* effect = load(R"(
float4x4 mvp : state.matrix.mvp;
float4 vs(float4 p : POSITION, uniform float4x4 m) : POSITION { return mul(m, p); }
float4 ps() : COLOR { return float4(1, 1, 1, 1); }
technique T { pass { VertexProgram = compile arbvp1 vs(mvp); FragmentProgram = compile arbfp1 ps(); } }
)");
    ASSERT_NE(effect, nullptr);
    fx::Technique* t = valid(effect, "T");
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::translate(0.5f, 0.0f, 0.0f);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::scale(1.0f, 0.5f, 1.0f);
    fx::setStateMatrixParameter(fx::parameterBySemantic(effect, "state.matrix.mvp"),
                                fx::StateMatrix::ModelViewProjection, fx::MatrixTransform::Identity);
    // Matrices changed after the call do not reach the parameter.
    gpu::loadIdentity();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    drawWith(t, 0.25f);  // x in 0.25..0.75, y in -0.125..0.125 (NDC)
    EXPECT_RGBA(readPixel(192, 128), 1, 1, 1, 1);
    EXPECT_RGBA(readPixel(128, 128), 0, 0, 0, 0);
    EXPECT_RGBA(readPixel(192, 150), 0, 0, 0, 0);
}

TEST_F(FxRuntime, VaryingsFlowThroughStructsOutParametersAndSemantics)
{
    fx::Effect* effect = load(R"(
float3 tint = {0.2, 0.4, 0.6};
struct V2F { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD2; };
void vs(in float3 p : POSITION, float2 uv : TEXCOORD0, out V2F o, out float4 extra : TEXCOORD5) {
    o.pos = float4(p, 1);
    o.col = float4(tint, 1);
    o.uv = uv;
    extra = float4(0.5, 0.25, 0, 0);
}
float4 ps(V2F i, float4 extra : TEXCOORD5) : COLOR {
    return float4(i.col.r, i.uv.x, extra.x + extra.y, i.col.b);
}
technique T { pass { VertexProgram = compile vp40 vs(); FragmentProgram = compile fp40 ps(); } }
)");
    ASSERT_NE(effect, nullptr);
    fx::Technique* t = valid(effect, "T");
    drawWith(t);
    Rgba left = readPixel(0, 128), right = readPixel(255, 128);
    EXPECT_NEAR(left.r, 0.2f, kTolerance);
    EXPECT_NEAR(left.b, 0.75f, kTolerance);
    EXPECT_NEAR(left.a, 0.6f, kTolerance);
    EXPECT_LT(left.g, 0.02f);  // uv.x runs from 0 at the left edge ...
    EXPECT_GT(right.g, 0.98f);  // ... to 1 at the right one
    // Parameter values set later are uploaded by the next setPassState.
    fx::setParameter3f(fx::namedParameter(effect, "tint"), 1.0f, 0.0f, 0.0f);
    drawWith(t);
    EXPECT_NEAR(readPixel(128, 128).r, 1.0f, kTolerance);
    EXPECT_NEAR(readPixel(128, 128).a, 0.0f, kTolerance);
}

TEST_F(FxRuntime, PassStatesAreSetAndResetToGlDefaults)
{
    fx::Effect* effect = load(R"(
technique T { pass {
    DepthTestEnable = true; DepthMask = false; DepthFunc = Greater;
    CullFaceEnable = true; CullFace = Front;
    BlendEnable = true; BlendFunc = int2(SrcAlpha, One); BlendEquation = Max;
    AlphaTestEnable = true; AlphaFunc = float2(GEqual, 0.25);
    PolygonMode = int2(FrontAndBack, Line); PolygonOffset = float2(2, 3);
    LightingEnable = true; Texture2DEnable = true; TextureCubeMapEnable = true;
} }
)");
    ASSERT_NE(effect, nullptr);
    fx::Pass* pass = fx::firstPass(valid(effect, "T"));
    auto integer = [](GLenum what) {
        GLint v[2] = {};
        glGetIntegerv(what, v);
        return v[0];
    };
    auto real = [](GLenum what) {
        GLfloat v = 0;
        glGetFloatv(what, &v);
        return v;
    };
    fx::setPassState(pass);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_FALSE);
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_GREATER);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_FRONT);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_EQUATION), GL_MAX);
    EXPECT_EQ(integer(GL_POLYGON_MODE), GL_LINE);
    EXPECT_FLOAT_EQ(real(GL_POLYGON_OFFSET_FACTOR), 2.0f);
    EXPECT_FLOAT_EQ(real(GL_POLYGON_OFFSET_UNITS), 3.0f);
    // Fixed-function states are the programs' business (the alpha test is translated
    // into the fragment program): the GL's own switches stay off.
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP));

    fx::resetPassState(pass);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ZERO);
    EXPECT_EQ(integer(GL_BLEND_EQUATION), GL_FUNC_ADD);
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(integer(GL_ALPHA_TEST_FUNC), GL_ALWAYS);
    EXPECT_EQ(integer(GL_POLYGON_MODE), GL_FILL);
    EXPECT_FLOAT_EQ(real(GL_POLYGON_OFFSET_FACTOR), 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FxRuntime, ManagedTexturesAreBoundPerSamplerAndUnboundOnReset)
{
    fx::Effect* effect = load(R"(
texture shared;
sampler2D first = sampler_state { MinFilter = Nearest; MagFilter = Nearest; WrapS = Repeat; WrapT = Clamp; };
sampler2D second = sampler_state { Texture = <shared>; MinFilter = Linear; MagFilter = Linear; };
float4 ps(float2 uv : TEXCOORD0, uniform sampler2D a, uniform sampler2D b) : COLOR {
    return tex2D(a, uv) + tex2D(b, uv);
}
technique T { pass { FragmentProgram = compile arbfp1 ps(first, second); } }
)");
    ASSERT_NE(effect, nullptr);
    fx::Pass* pass = fx::firstPass(valid(effect, "T"));
    GLuint red = solidTexture(255, 0, 0), blue = solidTexture(0, 0, 255);
    fx::setupSampler(fx::namedParameter(effect, "first"), red);
    fx::setTextureParameter(fx::namedParameter(effect, "shared"), blue);
    EXPECT_EQ(fx::samplerTexture(fx::namedParameter(effect, "second")), blue);

    GLint filter = 0, wrap = 0;
    glBindTexture(GL_TEXTURE_2D, red);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_EQ(filter, GL_NEAREST);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);  // GL_CLAMP's stand-in on every GL
    glBindTexture(GL_TEXTURE_2D, blue);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);

    fx::setPassState(pass);
    GLint bound[2] = {};
    for (int unit = 0; unit < 2; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound[unit]);
    }
    glActiveTexture(GL_TEXTURE0);
    EXPECT_NE(bound[0], bound[1]);
    EXPECT_TRUE((bound[0] == GLint(red) && bound[1] == GLint(blue)) ||
                (bound[0] == GLint(blue) && bound[1] == GLint(red)));
    drawQuad();
    fx::resetPassState(pass);
    EXPECT_RGBA(readPixel(128, 128), 1, 0, 1, 1);
    for (int unit = 0; unit < 2; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLint name = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
        EXPECT_EQ(name, 0) << "unit " << unit;
    }
    glActiveTexture(GL_TEXTURE0);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    glDeleteTextures(1, &red);
    glDeleteTextures(1, &blue);
}

TEST_F(FxRuntime, TechniquesThatDoNotTranslateOrCompileFailValidationWithAListing)
{
    fx::Effect* effect = load(R"(
sampler2D s;
float4 rect(float2 uv : TEXCOORD0) : COLOR { return texRECT(s, uv); }
float4 broken(float2 uv : TEXCOORD0) : COLOR {
    float4 c = tex2D(s, uv);
    return undefinedFunction(c);
}
float4 plain(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv); }
technique Rect { pass { FragmentProgram = compile fp40 rect(); } }
technique Broken { pass { FragmentProgram = compile fp40 broken(); } }
technique Plain { pass { FragmentProgram = compile fp40 plain(); } }
)");
    ASSERT_NE(effect, nullptr);
    fx::Technique* rect = fx::firstTechnique(effect);
    EXPECT_FALSE(fx::validateTechnique(rect));
    EXPECT_NE(std::string(fx::lastListing(context)).find("test.cgfx(3): error: 'texRECT' is not supported"),
              std::string::npos)
        << fx::lastListing(context);
    fx::Technique* broken = fx::nextTechnique(rect);
    EXPECT_FALSE(fx::validateTechnique(broken));
    std::string listing = fx::lastListing(context);
    EXPECT_NE(listing.find("fragment program broken"), std::string::npos) << listing;
    EXPECT_NE(listing.find(":6("), std::string::npos) << "the driver's message names the file's line\n" << listing;
    EXPECT_FALSE(fx::validateTechnique(broken));  // the result is kept
    EXPECT_TRUE(fx::validateTechnique(fx::nextTechnique(broken))) << fx::lastListing(context);
    // Setting a pass of a technique that does not validate changes nothing.
    fx::setPassState(fx::firstPass(rect));
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
}

TEST_F(FxRuntime, ScalarLiteralsArePromotedInReturnsAndDeclarations)
{
    fx::Effect* effect = load(R"(
float4 grey() { float4 c = 0.5; float3 d = -1; return c + float4(d, 0) * 0.25; }
float4 ps() : COLOR { if (grey().x > 1) return 0; return grey(); }
technique T { pass { FragmentProgram = compile fp40 ps(); } }
)");
    ASSERT_NE(effect, nullptr);
    drawWith(valid(effect, "T"));
    EXPECT_RGBA(readPixel(128, 128), 0.25f, 0.25f, 0.25f, 0.5f);
}

TEST_F(FxRuntime, StructsCastFromZeroStartAtZero)
{
    fx::Effect* effect = load(R"(
struct Inner { float2 a; int n; bool b; float w[2]; };
struct Local { Inner inner; float3x3 m; };
struct Out { float4 pos : POSITION; float4 color : COLOR0; };
Out vs(float4 p : POSITION) {
    Out o = (Out)0;
    Local l = (Local)0;
    o.pos = p;
    o.color.g = 0.5 + l.inner.a.y + float(l.inner.n) + l.inner.w[1] + l.m[2][2];
    return o;
}
struct POut { float4 color : COLOR; };
POut ps(float4 c : COLOR0) { POut r = (POut) 0; r.color = c; return r; }
technique T { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }
)");
    ASSERT_NE(effect, nullptr);
    drawWith(valid(effect, "T"));
    EXPECT_RGBA(readPixel(128, 128), 0.0f, 0.5f, 0.0f, 0.0f);
}

const char* const kGlstateEffect = R"(
float4 white() : COLOR { return float4(1, 1, 1, 1); }
float4 mvp(float4 p : POSITION) : POSITION { return mul(glstate.matrix.mvp, p); }
float4 split(float4 p : POSITION) : POSITION {
    return mul(glstate.matrix.projection, mul(glstate.matrix.modelview[0], p));
}
float4 rightMul(float4 p : POSITION) : POSITION { return mul(p, glstate.matrix.transpose.mvp); }
float4 rows(float4 p : POSITION) : POSITION {
    float4x4 m = glstate.matrix.mvp;
    return float4(dot(m[0], p), dot(m[1], p), dot(m[2], p), dot(m[3], p));
}
float4 undo(float4 p : POSITION) : POSITION {
    float4 q = mul(glstate.matrix.inverse.modelview[0], mul(glstate.matrix.modelview, p));
    return mul(glstate.matrix.mvp, mul(glstate.matrix.inverse.mvp, mul(glstate.matrix.mvp, q)));
}
technique Mvp { pass { VertexProgram = compile arbvp1 mvp(); FragmentProgram = compile arbfp1 white(); } }
technique Split { pass { VertexProgram = compile arbvp1 split(); FragmentProgram = compile arbfp1 white(); } }
technique RightMul { pass { VertexProgram = compile arbvp1 rightMul(); FragmentProgram = compile arbfp1 white(); } }
technique Rows { pass { VertexProgram = compile arbvp1 rows(); FragmentProgram = compile arbfp1 white(); } }
technique Undo { pass { VertexProgram = compile arbvp1 undo(); FragmentProgram = compile arbfp1 white(); } }

struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut normals(float4 p : POSITION, float3 n : NORMAL) {
    VOut o;
    o.pos = p;
    o.col = float4(normalize(mul((float3x3)glstate.matrix.invtrans.modelview[0], n)) * 0.5 + 0.5, 1);
    return o;
}
VOut texmat(float4 p : POSITION) {
    VOut o;
    o.pos = p;
    o.col = mul(glstate.matrix.texture, float4(0.2, 0.1, 0, 1));
    return o;
}
float4 color(float4 c : COLOR0) : COLOR { return c; }
float4 place(float4 p : POSITION) : POSITION { return p; }
float4 projectionRows() : COLOR {
    return float4(glstate.matrix.projection[0].x, glstate.matrix.projection[0].w, glstate.matrix.projection[1].w,
                  glstate.matrix.transpose.projection[3].y);
}
technique Normals { pass { VertexProgram = compile arbvp1 normals(); FragmentProgram = compile arbfp1 color(); } }
technique Texture { pass { VertexProgram = compile arbvp1 texmat(); FragmentProgram = compile arbfp1 color(); } }
technique Fragment { pass { VertexProgram = compile arbvp1 place(); FragmentProgram = compile arbfp1 projectionRows(); } }
)";

// Which pixels of the window are lit.
static std::vector<bool> coverage()
{
    std::vector<unsigned char> pixels(256 * 256 * 4);
    glReadPixels(0, 0, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    std::vector<bool> lit(256 * 256);
    for (size_t i = 0; i < lit.size(); ++i) {
        lit[i] = pixels[i * 4] > 127;
    }
    return lit;
}

TEST_F(FxRuntime, GlstateMatricesPlaceVerticesWhereFixedFunctionDoes)
{
    fx::Effect* effect = load(kGlstateEffect);
    ASSERT_NE(effect, nullptr);
    // A perspective view of a tilted, turned, unevenly scaled quad: any transposition shows.
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::frustum(-0.8, 1.2, -1.0, 0.9, 1.0, 10.0);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::translate(0.3f, -0.2f, -3.0f);
    gpu::rotate(35.0f, 0.0f, 0.0f, 1.0f);
    gpu::rotate(40.0f, 1.0f, 0.2f, 0.0f);
    gpu::scale(1.2f, 0.7f, 1.0f);
    drawQuad();
    const std::vector<bool> reference = coverage();
    const long lit = std::count(reference.begin(), reference.end(), true);
    ASSERT_GT(lit, 2000);
    ASSERT_LT(lit, 40000);
    for (const char* name : {"Mvp", "Split", "RightMul", "Rows", "Undo"}) {
        fx::Technique* t = valid(effect, name);
        glClear(GL_COLOR_BUFFER_BIT);
        drawWith(t);
        const std::vector<bool> got = coverage();
        long differ = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            differ += got[i] != reference[i];
        }
        EXPECT_LE(differ, 16) << name << ": " << differ << " of " << lit << " pixels differ";
    }
}

TEST_F(FxRuntime, GlstateInverseTransposeTextureAndFragmentReads)
{
    fx::Effect* effect = load(kGlstateEffect);
    ASSERT_NE(effect, nullptr);
    // Normals go through the inverse transpose of the modelview: with M = S R, S^-1 R n.
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::scale(2.0f, 0.5f, 1.0f);
    gpu::rotate(30.0f, 0.0f, 0.0f, 1.0f);
    gpu::normal(1.0f, 0.0f, 0.0f);
    drawWith(valid(effect, "Normals"));
    gpu::loadIdentity();
    gpu::normal(0.0f, 0.0f, 1.0f);
    EXPECT_RGBA(readPixel(128, 128), 0.6987f, 0.9588f, 0.5f, 1.0f);

    // The texture matrix (a turn by 90 degrees, then a shift).
    gpu::matrixMode(gpu::MatrixMode::Texture);
    gpu::translate(0.25f, 0.5f, 0.0f);
    gpu::rotate(90.0f, 0.0f, 0.0f, 1.0f);
    drawWith(valid(effect, "Texture"));
    gpu::loadIdentity();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    EXPECT_RGBA(readPixel(128, 128), 0.15f, 0.7f, 0.0f, 1.0f);

    // A fragment program reads rows of the projection (and a row of its transpose).
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::translate(0.25f, 0.5f, 0.0f);
    gpu::scale(0.5f, 1.0f, 1.0f);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    drawWith(valid(effect, "Fragment"));
    EXPECT_RGBA(readPixel(128, 128), 0.5f, 0.25f, 0.5f, 0.5f);
}
