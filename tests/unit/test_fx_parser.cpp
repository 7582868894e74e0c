// Effect-file parsing and translation to GLSL, without a GL context.
#include "fx/fx.h"
#include "fx/model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const kFull = R"(
// a comment
float gain <
    string UIName = "Gain";
    float UIMin = 1.0;
    float UIMax = 128;
    float UIStep = 0.5f;
    float2 UIRange = {1, 2};
    int count = 3;
    bool flag = true;
> = 2.5;
half3 tint : Diffuse = {0.25, 0.5, 1};
float4x4 mvp : state.matrix.mvp;
float noDefault;
texture envTex;
samplerCUBE env = sampler_state {
    Texture = <envTex>;
    minFilter = LinearMipMapLinear;
    MAGFILTER = Linear;
    WrapS = ClampToEdge; WrapT = Repeat; WrapR = MirroredRepeat;
    generateMipMap = true;
};
sampler2D plain;
/* block
   comment */
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut vs(float4 p : POSITION, float2 uv : TEXCOORD0, uniform float4x4 m) {
    VOut o; o.pos = mul(m, p); o.uv = uv; return o;
}
float4 ps(VOut i, uniform float k) : COLOR { return float4(i.uv, k, 1); }
technique First <string note = "x";> {
    pass one {
        VertexProgram = compile arbvp1 vs(mvp);
        FragmentProgram = compile arbfp1 ps(gain);
        DepthTestEnable = true; depthmask = false; DepthFunc = LEqual;
        CullFaceEnable = false; CullFace = Front;
        BlendEnable = true; BlendFunc = int2(SrcAlpha, OneMinusSrcAlpha); BlendEquation = FuncAdd;
        AlphaTestEnable = true; AlphaFunc = float2(Greater, 0.5);
        PolygonMode = int2(FrontAndBack, Line); PolygonOffset = float2(1, -2);
        LightingEnable = false; Texture2DEnable = false; TextureCubeMapEnable = false;
    }
    pass two { FragmentProgram = compile latest ps(1.5f); }
}
technique Second { pass { VertexProgram = NULL; } }
)";

struct Parsed {
    fx::EffectData effect;
    std::string listing;
    bool ok = false;
};

void parse(Parsed& p, const std::string& text)
{
    p.effect.file = "test.cgfx";
    p.effect.text = text;
    p.ok = fx::parseEffect(p.effect, p.listing);
}

std::string translate(const std::string& text, int technique, int pass, int stage, std::string* listing = nullptr)
{
    Parsed p;
    parse(p, text);
    if (!p.ok) {
        if (listing) {
            *listing = p.listing;
        }
        return "";
    }
    const fx::PassData& ps = p.effect.techniques[size_t(technique)].passes[size_t(pass)];
    std::string glsl, out;
    std::vector<fx::ParameterData*> used;
    bool ok = fx::translateProgram(p.effect, stage == 0 ? ps.vertex : ps.fragment, stage, glsl, used, out);
    if (listing) {
        *listing = out;
    }
    return ok ? glsl : "";
}

// The listing of a text that must not compile.
std::string compileError(const std::string& text)
{
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, text.c_str(), "bad.cgfx");
    std::string listing = fx::lastListing(context);
    int error = fx::lastError(context);
    fx::destroyContext(context);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(error, fx::CompilerError);
    return listing;
}

}  // namespace

TEST(FxParser, ParametersInDeclarationOrderWithTypesSemanticsAndDefaults)
{
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, kFull, "full.cgfx");
    ASSERT_NE(effect, nullptr) << fx::lastListing(context);
    EXPECT_EQ(fx::lastError(context), fx::NoError);

    std::vector<std::string> names, types;
    for (fx::Parameter* p = fx::firstParameter(effect); p; p = fx::nextParameter(p)) {
        names.push_back(fx::parameterName(p));
        types.push_back(fx::typeString(fx::parameterType(p)));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"gain", "tint", "mvp", "noDefault", "envTex", "env", "plain"}));
    EXPECT_EQ(types, (std::vector<std::string>{"float", "float3", "float4x4", "float", "texture", "samplerCUBE",
                                               "sampler2D"}));

    float v[16] = {};
    EXPECT_EQ(fx::defaultValues(fx::namedParameter(effect, "gain"), v, 16), 1);
    EXPECT_FLOAT_EQ(v[0], 2.5f);
    EXPECT_EQ(fx::defaultValues(fx::namedParameter(effect, "tint"), v, 16), 3);
    EXPECT_FLOAT_EQ(v[2], 1.0f);
    EXPECT_EQ(fx::defaultValues(fx::namedParameter(effect, "noDefault"), v, 16), 0);

    // Semantics are stored upper-case and found ignoring case.
    EXPECT_STREQ(fx::parameterSemantic(fx::namedParameter(effect, "tint")), "DIFFUSE");
    EXPECT_EQ(fx::parameterBySemantic(effect, "state.matrix.mvp"), fx::namedParameter(effect, "mvp"));
    EXPECT_EQ(fx::parameterBySemantic(effect, "STATE.Matrix.MVP"), fx::namedParameter(effect, "mvp"));
    EXPECT_EQ(fx::parameterBySemantic(effect, "tsy.matrix.model"), nullptr);
    EXPECT_EQ(fx::namedParameter(effect, "missing"), nullptr);

    fx::Technique* first = fx::firstTechnique(effect);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(fx::techniqueName(first), "First");
    EXPECT_STREQ(fx::techniqueName(fx::nextTechnique(first)), "Second");
    EXPECT_EQ(fx::nextTechnique(fx::nextTechnique(first)), nullptr);
    fx::Pass* pass = fx::firstPass(first);
    EXPECT_STREQ(fx::passName(pass), "one");
    EXPECT_STREQ(fx::passName(fx::nextPass(pass)), "two");
    EXPECT_EQ(fx::nextPass(fx::nextPass(pass)), nullptr);
    fx::destroyContext(context);
}

TEST(FxParser, AnnotationsAreTypedWithTheirValues)
{
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, kFull, "full.cgfx");
    ASSERT_NE(effect, nullptr);
    fx::Parameter* gain = fx::namedParameter(effect, "gain");
    std::vector<std::string> names, types;
    for (fx::Annotation* a = fx::firstParameterAnnotation(gain); a; a = fx::nextAnnotation(a)) {
        names.push_back(fx::annotationName(a));
        types.push_back(fx::typeString(fx::annotationType(a)));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"UIName", "UIMin", "UIMax", "UIStep", "UIRange", "count", "flag"}));
    EXPECT_EQ(types, (std::vector<std::string>{"string", "float", "float", "float", "float2", "int", "bool"}));
    int count = 0;
    const float* values = fx::floatAnnotationValues(fx::namedParameterAnnotation(gain, "UIStep"), &count);
    ASSERT_EQ(count, 1);
    EXPECT_FLOAT_EQ(values[0], 0.5f);
    values = fx::floatAnnotationValues(fx::namedParameterAnnotation(gain, "UIRange"), &count);
    ASSERT_EQ(count, 2);
    EXPECT_FLOAT_EQ(values[1], 2.0f);
    EXPECT_STREQ(fx::stringAnnotationValue(fx::namedParameterAnnotation(gain, "UIName")), "Gain");
    fx::floatAnnotationValues(fx::namedParameterAnnotation(gain, "UIName"), &count);
    EXPECT_EQ(count, 0);
    fx::destroyContext(context);
}

TEST(FxParser, SamplerStatesAndPassStatesAreParsedCaseInsensitively)
{
    Parsed p;
    parse(p, kFull);
    ASSERT_TRUE(p.ok) << p.listing;
    const fx::ParameterData& env = *p.effect.byName.at("env");
    EXPECT_EQ(env.samplerState.textureName, "envTex");
    EXPECT_EQ(env.textureParameter, p.effect.byName.at("envTex"));
    EXPECT_EQ(env.samplerState.minFilter, 0x2703);  // GL_LINEAR_MIPMAP_LINEAR
    EXPECT_EQ(env.samplerState.magFilter, 0x2601);  // GL_LINEAR
    EXPECT_EQ(env.samplerState.wrapS, 0x812F);      // GL_CLAMP_TO_EDGE
    EXPECT_EQ(env.samplerState.wrapT, 0x2901);      // GL_REPEAT
    EXPECT_EQ(env.samplerState.wrapR, 0x8370);      // GL_MIRRORED_REPEAT
    EXPECT_EQ(env.samplerState.generateMipmap, 1);

    const fx::PassData& one = p.effect.techniques[0].passes[0];
    EXPECT_TRUE(one.vertex.present);
    EXPECT_EQ(one.vertex.profile, "arbvp1");
    EXPECT_EQ(one.vertex.entry, "vs");
    EXPECT_EQ(one.vertex.args.size(), 1u);
    ASSERT_EQ(one.states.size(), 15u);
    EXPECT_EQ(one.states[1].kind, fx::StateKind::DepthMask);
    EXPECT_EQ(one.states[1].i[0], 0);
    EXPECT_EQ(one.states[6].kind, fx::StateKind::BlendFunc);
    EXPECT_EQ(one.states[6].i[0], 0x0302);  // GL_SRC_ALPHA
    EXPECT_EQ(one.states[6].i[1], 0x0303);  // GL_ONE_MINUS_SRC_ALPHA
    EXPECT_EQ(one.states[9].kind, fx::StateKind::AlphaFunc);
    EXPECT_FLOAT_EQ(one.states[9].f[0], 0.5f);
    EXPECT_EQ(one.states[11].kind, fx::StateKind::PolygonOffset);
    EXPECT_FLOAT_EQ(one.states[11].f[1], -2.0f);
    EXPECT_FALSE(p.effect.techniques[1].passes[0].vertex.present);  // = NULL
}

TEST(FxParser, ErrorsNameTheFileAndLine)
{
    EXPECT_NE(compileError("float a;\nfloat b\nfloat c;").find("bad.cgfx(3): error:"), std::string::npos);
    EXPECT_NE(compileError("float a = 1;\n\ntechnique t { pass p { StencilEnable = true; } }")
                  .find("bad.cgfx(3): error: unknown state 'StencilEnable'"),
              std::string::npos);
    EXPECT_NE(compileError("sampler2D s = sampler_state {\n  MaxAnisotropy = 4;\n};").find("bad.cgfx(2): error"),
              std::string::npos);
    EXPECT_NE(compileError("float3 v = {1, 2};").find("expected 3"), std::string::npos);
    EXPECT_NE(compileError("\n#include \"x.cgh\"").find("bad.cgfx(2): error: preprocessor"), std::string::npos);
    EXPECT_NE(compileError("float4 f() { return 1; }\ntechnique t { pass p {\n FragmentProgram = compile fp40 g(); } }")
                  .find("bad.cgfx(3): error: entry function 'g' not found"),
              std::string::npos);
    EXPECT_NE(compileError("/* open").find("unterminated comment"), std::string::npos);
    EXPECT_NE(compileError("float a;\nfloat a;").find("bad.cgfx(2): error: parameter 'a' redefined"),
              std::string::npos);
    EXPECT_NE(compileError("technique t { pass p { BlendFunc = int2(SrcAlpha, Bogus); } }").find("BlendFunc"),
              std::string::npos);
    EXPECT_NE(compileError("void f( { }").find("error"), std::string::npos);
    EXPECT_NE(compileError("float4 half() { return 1; }").find("'half' is a type name"), std::string::npos);
    compileError("float4 f() { return 1;");
    compileError("technique t { pass p { DepthFunc = ; } }");
}

TEST(FxTranslator, VertexGlueReadsAndWritesBuiltinsBySemantic)
{
    std::string listing;
    std::string glsl = translate(kFull, 0, 0, 0, &listing);
    ASSERT_FALSE(glsl.empty()) << listing;
    EXPECT_NE(glsl.find("#version 120"), std::string::npos);
    EXPECT_NE(glsl.find("= cgx_Vertex;"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("= cgx_MultiTexCoord0.xy;"), std::string::npos);
    EXPECT_NE(glsl.find("gl_Position = cgx_result.pos;"), std::string::npos);
    EXPECT_NE(glsl.find("cgx_TexCoord0 = vec4(cgx_result.uv, 0.0, 1.0);"), std::string::npos);
    // mul(m, p) with a row-major m becomes (p * m); the compile argument binds m to mvp.
    EXPECT_NE(glsl.find("((p ) * (m ))"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("uniform mat4 mvp;"), std::string::npos);
    EXPECT_NE(glsl.find("(mvp )"), std::string::npos);
    // Only what the program uses is declared.
    EXPECT_EQ(glsl.find("uniform float gain"), std::string::npos);
    EXPECT_EQ(glsl.find(" ps("), std::string::npos);
}

TEST(FxTranslator, VertexProgramsLookUpCubeMapsByLevel)
{
    const char* text = R"(
samplerCUBE sky;
float4 vs(float3 n : NORMAL, out float3 light : TEXCOORD0) : POSITION {
    light = texCUBElod(sky, float4(n, 0.0)).rgb;
    return float4(n, 1.0);
}
technique t { pass p { VertexProgram = compile arbvp1 vs(); } }
)";
    std::string listing;
    std::string glsl = translate(text, 0, 0, 0, &listing);
    ASSERT_FALSE(glsl.empty()) << listing;
    EXPECT_NE(glsl.find("vec4 cgx_texCUBElod(samplerCube s, vec4 t) { return textureCubeLod(s, t.xyz, t.w); }"),
              std::string::npos)
        << glsl;
    EXPECT_NE(glsl.find("cgx_texCUBElod ( sky"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("uniform samplerCube sky;"), std::string::npos);
}

TEST(FxTranslator, FragmentGlueFillsStructInputsAndLiteralArguments)
{
    std::string listing;
    std::string glsl = translate(kFull, 0, 1, 1, &listing);
    ASSERT_FALSE(glsl.empty()) << listing;
    EXPECT_NE(glsl.find(".pos = gl_FragCoord;"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find(".uv = cgx_TexCoord0.xy;"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("(1.5 )"), std::string::npos);  // the 'f' suffix is gone
    EXPECT_NE(glsl.find("gl_FragColor = cgx_result;"), std::string::npos);
}

TEST(FxTranslator, OutParametersIntrinsicsAndReservedNames)
{
    const char* text = R"(
sampler2D tex;
float input = 0.5;
static const float2 offsets[2] = { {1, 0}, float2(0, 1) };
float helper(float x, out float y) { y = frac(x); return saturate(x * 2.0h); }
void ps(float2 uv : TEXCOORD1, out float4 color : COLOR0, out float depth : DEPTH) {
    float f;
    float h = helper(input, f);
    float3x3 m = (float3x3)0;
    float4 c = tex2D(tex, uv + offsets[1]) * lerp(0.0, 1.0, h);
    color = float4(c.rgb * rsqrt(4), fmod(atan2(1, 2), 1));
    color.a += ddx(uv.x) + ddy(uv.y) + f + m[0][0];
    depth = 0.5;
}
technique t { pass p { FragmentProgram = compile fp30 ps(); } }
)";
    std::string listing;
    std::string glsl = translate(text, 0, 0, 1, &listing);
    ASSERT_FALSE(glsl.empty()) << listing;
    EXPECT_NE(glsl.find("uniform float cgx_input;"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("float helper(float x, out float y)"), std::string::npos);
    EXPECT_NE(glsl.find("fract ( x )"), std::string::npos);
    EXPECT_NE(glsl.find("cgx_saturate ( x * 2.0 )"), std::string::npos);
    EXPECT_NE(glsl.find("float cgx_saturate(float x)"), std::string::npos);
    EXPECT_NE(glsl.find("vec4 cgx_fmod(vec4 x, vec4 y)"), std::string::npos);
    EXPECT_NE(glsl.find("mat3(0 )"), std::string::npos);
    EXPECT_NE(glsl.find("texture2D ( tex"), std::string::npos);
    EXPECT_NE(glsl.find("mix ("), std::string::npos);
    EXPECT_NE(glsl.find("inversesqrt ("), std::string::npos);
    EXPECT_NE(glsl.find("atan ("), std::string::npos);
    EXPECT_NE(glsl.find("dFdx ("), std::string::npos);
    EXPECT_NE(glsl.find("vec2 offsets[2] = vec2[2](vec2(1 , 0 ), vec2 ( 0 , 1 ) )"), std::string::npos);
    EXPECT_NE(glsl.find("= cgx_TexCoord1.xy;"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("gl_FragColor = cgx_p1;"), std::string::npos);
    EXPECT_NE(glsl.find("gl_FragDepth = cgx_p2;"), std::string::npos);
}

TEST(FxTranslator, RefusedConstructsAreErrorsWithLines)
{
    auto refuse = [](const std::string& body, int stage, const std::string& expected) {
        std::string text = "float4 f(float2 uv : TEXCOORD0) : " + std::string(stage ? "COLOR" : "POSITION") +
                           " {\n" + body + "\n}\ntechnique t { pass p { " +
                           (stage ? "FragmentProgram" : "VertexProgram") + " = compile x f(); } }";
        std::string listing;
        EXPECT_EQ(translate(text, 0, 0, stage, &listing), "") << body;
        EXPECT_NE(listing.find(expected), std::string::npos) << listing;
    };
    refuse("return texRECT(s, uv);", 1, "test.cgfx(2): error: 'texRECT' is not supported");
    refuse("return ddx(uv).xyxy;", 0, "test.cgfx(2): error: ddx is only available in fragment programs");
    refuse("float4x4 m; return m._m00;", 1, "matrix swizzles");
    refuse("float4 v; v = {1, 2, 3, 4}; return v;", 1, "only supported in declarations");
    refuse("return mul(uv);", 1, "mul takes two arguments");
    refuse("clip(uv.x); return 0;", 0, "clip is not available in vertex programs");
    std::string listing;
    EXPECT_EQ(translate("float4 f(float2 uv : TEXCOORD0) : COLOR { return 1; }\n"
                        "technique t { pass p { VertexProgram = compile x f(); } }",
                        0, 0, 0, &listing),
              "");
    EXPECT_NE(listing.find("test.cgfx(1): error: vertex program 'f' writes no POSITION"), std::string::npos) << listing;
    EXPECT_EQ(translate("float4 f(float2 uv : TEXCOORD0, uniform float k) : COLOR { return k; }\n"
                        "technique t { pass p { FragmentProgram = compile x f(1, 2); } }",
                        0, 0, 1, &listing),
              "");
    EXPECT_NE(listing.find("too many compile arguments"), std::string::npos) << listing;
    EXPECT_EQ(translate("float4 f(float3 n : NORMAL) : COLOR { return n.xyzz; }\n"
                        "technique t { pass p { FragmentProgram = compile x f(); } }",
                        0, 0, 1, &listing),
              "");
    EXPECT_NE(listing.find("semantic 'NORMAL' is not a fragment program input"), std::string::npos) << listing;
}

TEST(FxTranslator, LineDirectivesKeepTheFileLineNumbers)
{
    std::string glsl = translate(kFull, 0, 0, 0);
    size_t at = glsl.find("#line 26\nVOut vs(");  // the next line is 27
    EXPECT_NE(at, std::string::npos) << glsl;
}

TEST(FxTranslator, GlstateMatricesReadTransposedUniforms)
{
    const char* text = R"(
float4 vs(float4 p : POSITION, float3 n : NORMAL, out float4 t : TEXCOORD0, out float4 u : TEXCOORD1) : POSITION {
    t = mul(glstate.matrix.modelview[0], p) + mul(glstate.matrix.projection, p) + glstate.matrix.mvp[1];
    u = mul(glstate.matrix.texture[0], p) + mul(glstate.matrix.inverse.modelview, p)
      + mul(glstate.matrix.transpose.projection, p) + mul(glstate.matrix.invtrans.texture, p);
    u.xyz += mul((float3x3)glstate.matrix.invtrans.modelview[0], n) + glstate.matrix.inverse.mvp[2][1];
    return mul(glstate.matrix.mvp, p);
}
float4 ps(float4 c : COLOR0) : COLOR { return mul(glstate.matrix.transpose.mvp, c); }
technique t { pass p { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }
)";
    std::string listing;
    std::string glsl = translate(text, 0, 0, 0, &listing);
    ASSERT_FALSE(glsl.empty()) << listing;
    for (const char* expected :
         {"(p ) * (cgx_glstate_modelview )", "(p ) * (cgx_glstate_projection )", "cgx_glstate_mvp [ 1 ]",
          "(p ) * (cgx_glstate_texture )", "(p ) * (cgx_glstate_inverse_modelview )",
          "(p ) * (cgx_glstate_transpose_projection )", "(p ) * (cgx_glstate_invtrans_texture )",
          "mat3(cgx_glstate_invtrans_modelview )", "cgx_glstate_inverse_mvp [ 2 ] [ 1 ]",
          "((p ) * (cgx_glstate_mvp ))"}) {
        EXPECT_NE(glsl.find(expected), std::string::npos) << expected << "\n" << glsl;
    }
    EXPECT_EQ(glsl.find("glstate."), std::string::npos);
    glsl = translate(text, 0, 0, 1, &listing);
    EXPECT_NE(glsl.find("(c ) * (cgx_glstate_transpose_mvp )"), std::string::npos) << listing << glsl;

    // Everything else under glstate is refused by name, with its line.
    auto refuse = [](const std::string& expression, const std::string& named) {
        std::string listing;
        std::string text = "float4 f(float4 p : POSITION) : POSITION {\nreturn " + expression +
                           ";\n}\ntechnique t { pass p { VertexProgram = compile x f(); } }";
        EXPECT_EQ(translate(text, 0, 0, 0, &listing), "") << expression;
        EXPECT_NE(listing.find("test.cgfx(2): error: '" + named + "' is not supported"), std::string::npos)
            << listing;
    };
    refuse("glstate.light[0].diffuse", "glstate.light[0].diffuse");
    refuse("mul(glstate.matrix.modelview[1], p)", "glstate.matrix.modelview[1]");
    refuse("mul(glstate.matrix.texture[1], p)", "glstate.matrix.texture[1]");
    refuse("mul(glstate.matrix.texture[p.x], p)", "glstate.matrix.texture[p.x]");
    refuse("mul(glstate.matrix.program[0], p)", "glstate.matrix.program[0]");
    refuse("mul(glstate.matrix.inverse.palette[0], p)", "glstate.matrix.inverse.palette[0]");
    refuse("mul(glstate.matrix, p)", "glstate.matrix");
    refuse("glstate", "glstate");
}
