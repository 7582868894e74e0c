#include "fx/vocabulary.h"

#include <cctype>
#include <cstring>
#include <unordered_set>

namespace fx {

namespace {

const std::unordered_set<std::string_view>& reservedNames()
{
    static const std::unordered_set<std::string_view> names = {
        "attribute", "varying", "centroid", "invariant", "flat", "smooth", "noperspective", "layout", "patch",
        "sample", "subroutine", "lowp", "mediump", "highp", "precision", "input", "output", "hvec2", "hvec3",
        "hvec4", "dvec2", "dvec3", "dvec4", "fvec2", "fvec3", "fvec4", "double", "long", "short", "unsigned",
        "superp", "sizeof", "cast", "namespace", "using", "class", "union", "enum", "typedef", "template", "this",
        "packed", "goto", "switch", "default", "inline", "noinline", "volatile", "public", "extern", "external",
        "interface", "main", "filter", "image1D", "image2D", "image3D", "active", "common", "partition", "half",
        "fixed", "vec2", "vec3", "vec4", "ivec2", "ivec3", "ivec4", "bvec2", "bvec3", "bvec4", "uvec2", "uvec3",
        "uvec4", "uint", "mat2", "mat3", "mat4", "mat2x2", "mat2x3", "mat2x4", "mat3x2", "mat3x3", "mat3x4",
        "mat4x2", "mat4x3", "mat4x4", "samplerCube", "sampler1DShadow", "sampler2DShadow", "sampler2DRect",
        "sampler3DRect", "sampler2DRectShadow", "samplerBuffer", "mod", "fract", "mix", "inversesqrt",
        "matrixCompMult", "outerProduct", "lessThan", "lessThanEqual", "greaterThan", "greaterThanEqual",
        "equal", "notEqual", "not", "texture1D", "texture1DProj", "texture1DLod", "texture1DProjLod",
        "texture2D", "texture2DProj", "texture2DLod", "texture2DProjLod", "texture3D", "texture3DProj",
        "texture3DLod", "texture3DProjLod", "textureCube", "textureCubeLod", "shadow1D", "shadow2D",
        "shadow1DProj", "shadow2DProj", "dFdx", "dFdy", "noise1", "noise2", "noise3", "noise4", "ftransform",
        "texture", "textureLod", "round", "trunc", "roundEven", "isnan", "isinf",
        // GLSL 3.30 and ES 3.00
        "textureProj", "textureProjLod", "textureGrad", "textureOffset", "texelFetch", "textureSize",
        "sampler1DArray", "sampler2DArray", "sampler2DArrayShadow", "samplerCubeShadow", "isampler2D",
        "isampler3D", "isamplerCube", "isampler2DArray", "usampler2D", "usampler3D", "usamplerCube",
        "usampler2DArray", "resource", "coherent", "restrict", "readonly", "writeonly", "buffer", "shared",
        "atomic_uint", "precise",
    };
    return names;
}

// Cg intrinsics with the same name and meaning in GLSL.
const std::unordered_set<std::string_view>& sameIntrinsics()
{
    static const std::unordered_set<std::string_view> names = {
        "abs", "acos", "all", "any", "asin", "atan", "ceil", "clamp", "cos", "cross", "degrees", "distance",
        "dot", "exp", "exp2", "faceforward", "floor", "fwidth", "length", "log", "log2", "max", "min",
        "normalize", "pow", "radians", "reflect", "refract", "sign", "sin", "smoothstep", "sqrt", "step", "tan",
        "transpose",
    };
    return names;
}

struct Rename {
    const char* cg;
    const char* glsl;
};
const Rename renames[] = {
    {"lerp", "mix"},          {"frac", "fract"},         {"rsqrt", "inversesqrt"},     {"atan2", "atan"},
    {"ddx", "dFdx"},          {"ddy", "dFdy"},           {"tex1D", "texture1D"},       {"tex2D", "texture2D"},
    {"tex3D", "texture3D"},   {"texCUBE", "textureCube"}, {"tex1Dproj", "texture1DProj"},
    {"tex2Dproj", "texture2DProj"}, {"tex3Dproj", "texture3DProj"},
};
// 330 and 300 es name texture look-ups by their arguments, not by the sampler.
const Rename modernTextures[] = {
    {"texture1D(", "texture("},       {"texture2D(", "texture("},         {"texture3D(", "texture("},
    {"textureCube(", "texture("},     {"texture1DProj(", "textureProj("}, {"texture2DProj(", "textureProj("},
    {"texture3DProj(", "textureProj("}, {"texture2DLod(", "textureLod("},  {"textureCubeLod(", "textureLod("},
};

std::string modernTexture(std::string code)
{
    for (const Rename& r : modernTextures) {
        const size_t n = std::strlen(r.cg);
        for (size_t at = 0; (at = code.find(r.cg, at)) != std::string::npos;) {
            code.replace(at, n, r.glsl);
        }
    }
    return code;
}

// Helpers written in GLSL; `T` stands for float, vec2, vec3 and vec4 in turn.
struct Helper {
    const char* name;
    const char* code;
    int stages;  // bit 0 vertex, bit 1 fragment
    bool perType;
};
const Helper helpers[] = {
    {"saturate", "T cgx_saturate(T x) { return clamp(x, 0.0, 1.0); }\n", 3, true},
    {"fmod", "T cgx_fmod(T x, T y) { T q = x / y; return x - y * (sign(q) * floor(abs(q))); }\n", 3, true},
    {"log10", "T cgx_log10(T x) { return log2(x) * 0.30102999566398; }\n", 3, true},
    {"round", "T cgx_round(T x) { return floor(x + 0.5); }\n", 3, true},
    {"trunc", "T cgx_trunc(T x) { return sign(x) * floor(abs(x)); }\n", 3, true},
    {"sincos", "void cgx_sincos(T x, out T s, out T c) { s = sin(x); c = cos(x); }\n", 3, true},
    {"clip",
     "void cgx_clip(float x) { if (x < 0.0) discard; }\n"
     "void cgx_clip(vec2 x) { if (any(lessThan(x, vec2(0.0)))) discard; }\n"
     "void cgx_clip(vec3 x) { if (any(lessThan(x, vec3(0.0)))) discard; }\n"
     "void cgx_clip(vec4 x) { if (any(lessThan(x, vec4(0.0)))) discard; }\n",
     2, false},
    {"tex2Dlod", "vec4 cgx_tex2Dlod(sampler2D s, vec4 t) { return texture2DLod(s, t.xy, t.w); }\n", 1, false},
    {"texCUBElod", "vec4 cgx_texCUBElod(samplerCube s, vec4 t) { return textureCubeLod(s, t.xyz, t.w); }\n", 1,
     false},
    {"tex2Dbias", "vec4 cgx_tex2Dbias(sampler2D s, vec4 t) { return texture2D(s, t.xy, t.w); }\n", 2, false},
};

const char* const fragmentOnly[] = {"ddx", "ddy", "fwidth"};
const char* const refused[] = {"texRECT", "texRECTproj", "texRECTbias", "texRECTlod", "asm", "switch", "case",
                               "goto", "typedef", "register", "packoffset", "sampler_state", "compile",
                               "technique", "pass", "string", "texture", "interface", "unsigned", "double"};

const Builtin fragmentOutputs[] = {
    {"COLOR", "gl_FragColor", 4},     {"COLOR0", "gl_FragColor", 4},    {"COL", "gl_FragColor", 4},
    {"COL0", "gl_FragColor", 4},      {"COLOR1", "gl_FragData[1]", 4},  {"COLOR2", "gl_FragData[2]", 4},
    {"COLOR3", "gl_FragData[3]", 4},  {"DEPTH", "gl_FragDepth", 1},     {"DEPR", "gl_FragDepth", 1},
};

// Attributes at gpu::kAttribute* (position 0, normal 2, colour 3,
// secondary colour 4, texture coordinate n at 8 + n) and varyings of ours.
#define CGX_IN(sem, name, n, type, loc) {sem, name, n, type, loc, 0, false}
#define CGX_TEX(n) CGX_IN("TEXCOORD" #n, "cgx_MultiTexCoord" #n, 4, "vec4", 8 + n)
const Builtin genericVertexInputs[] = {
    CGX_IN("POSITION", "cgx_Vertex", 4, "vec4", 0), CGX_IN("POSITION0", "cgx_Vertex", 4, "vec4", 0),
    CGX_IN("NORMAL", "cgx_Normal", 3, "vec3", 2),   CGX_IN("NORMAL0", "cgx_Normal", 3, "vec3", 2),
    CGX_IN("COLOR", "cgx_Color", 4, "vec4", 3),     CGX_IN("COLOR0", "cgx_Color", 4, "vec4", 3),
    CGX_IN("DIFFUSE", "cgx_Color", 4, "vec4", 3),   CGX_IN("COLOR1", "cgx_SecondaryColor", 4, "vec4", 4),
    CGX_IN("SPECULAR", "cgx_SecondaryColor", 4, "vec4", 4), CGX_IN("TEXCOORD", "cgx_MultiTexCoord0", 4, "vec4", 8),
    CGX_TEX(0), CGX_TEX(1), CGX_TEX(2), CGX_TEX(3), CGX_TEX(4), CGX_TEX(5), CGX_TEX(6), CGX_TEX(7),
};
#undef CGX_TEX
#undef CGX_IN

#define CGX_VARYING(sem, name, n, type, bit, clamp) {sem, name, n, type, -1, bit, clamp}
#define CGX_COLOR0(sem) CGX_VARYING(sem, "cgx_FrontColor", 4, "vec4", kVaryingColor0, true)
#define CGX_COLOR1(sem) CGX_VARYING(sem, "cgx_FrontSecondaryColor", 4, "vec4", kVaryingColor1, true)
#define CGX_FOG(sem) CGX_VARYING(sem, "cgx_FogFragCoord", 1, "float", kVaryingFog, false)
#define CGX_TEX(n) CGX_VARYING("TEXCOORD" #n, "cgx_TexCoord" #n, 4, "vec4", 1u << n, false)
const Builtin genericVertexOutputs[] = {
    {"POSITION", "gl_Position", 4}, {"POSITION0", "gl_Position", 4}, {"HPOS", "gl_Position", 4},
    CGX_COLOR0("COLOR"), CGX_COLOR0("COLOR0"), CGX_COLOR0("COL0"), CGX_COLOR1("COLOR1"), CGX_COLOR1("COL1"),
    CGX_VARYING("TEXCOORD", "cgx_TexCoord0", 4, "vec4", 1u, false),
    CGX_TEX(0), CGX_TEX(1), CGX_TEX(2), CGX_TEX(3), CGX_TEX(4), CGX_TEX(5), CGX_TEX(6), CGX_TEX(7),
    {"PSIZE", "gl_PointSize", 1}, CGX_FOG("FOG"), CGX_FOG("FOGC"),
};
const Builtin genericFragmentInputs[] = {
    CGX_COLOR0("COLOR"), CGX_COLOR0("COLOR0"), CGX_COLOR0("COL0"), CGX_COLOR1("COLOR1"), CGX_COLOR1("COL1"),
    CGX_VARYING("TEXCOORD", "cgx_TexCoord0", 4, "vec4", 1u, false),
    CGX_TEX(0), CGX_TEX(1), CGX_TEX(2), CGX_TEX(3), CGX_TEX(4), CGX_TEX(5), CGX_TEX(6), CGX_TEX(7),
    {"WPOS", "gl_FragCoord", 4}, {"POSITION", "gl_FragCoord", 4}, CGX_FOG("FOG"),
    {"FACE", "(gl_FrontFacing ? 1.0 : -1.0)", 1}, {"VFACE", "(gl_FrontFacing ? 1.0 : -1.0)", 1},
};
#undef CGX_TEX
#undef CGX_FOG
#undef CGX_COLOR1
#undef CGX_COLOR0
#undef CGX_VARYING

// The varyings once each (the fragment inputs' first spellings).
const Builtin* const uniqueVaryings[] = {
    &genericFragmentInputs[0], &genericFragmentInputs[3], &genericFragmentInputs[6], &genericFragmentInputs[7],
    &genericFragmentInputs[8], &genericFragmentInputs[9], &genericFragmentInputs[10], &genericFragmentInputs[11],
    &genericFragmentInputs[12], &genericFragmentInputs[13], &genericFragmentInputs[16],
};

// 330 and 300 es: `layout(location = n) out vec4` in place of gl_FragColor / gl_FragData.
#define CGX_OUT(sem, n) {sem, "cgx_FragData" #n, 4, "vec4", n, 0, false}
const Builtin modernFragmentOutputs[] = {
    CGX_OUT("COLOR", 0), CGX_OUT("COLOR0", 0), CGX_OUT("COL", 0), CGX_OUT("COL0", 0), CGX_OUT("COLOR1", 1),
    CGX_OUT("COLOR2", 2), CGX_OUT("COLOR3", 3), {"DEPTH", "gl_FragDepth", 1}, {"DEPR", "gl_FragDepth", 1},
};
#undef CGX_OUT

const char* const stateMatrixNames[kStateMatrixCount] = {
    "cgx_glstate_mvp",        "cgx_glstate_inverse_mvp",        "cgx_glstate_transpose_mvp",
    "cgx_glstate_invtrans_mvp", "cgx_glstate_modelview",        "cgx_glstate_inverse_modelview",
    "cgx_glstate_transpose_modelview", "cgx_glstate_invtrans_modelview", "cgx_glstate_projection",
    "cgx_glstate_inverse_projection", "cgx_glstate_transpose_projection", "cgx_glstate_invtrans_projection",
    "cgx_glstate_texture",    "cgx_glstate_inverse_texture",    "cgx_glstate_transpose_texture",
    "cgx_glstate_invtrans_texture",
};

template <size_t N>
const Builtin* findIn(const Builtin (&table)[N], const std::string& semantic)
{
    for (const Builtin& b : table) {
        if (semantic == b.semantic) {
            return &b;
        }
    }
    return nullptr;
}

}  // namespace

const AttributeName kAttributeNames[12] = {
    {"cgx_Vertex", 0},          {"cgx_Normal", 2},          {"cgx_Color", 3},
    {"cgx_SecondaryColor", 4},  {"cgx_MultiTexCoord0", 8},  {"cgx_MultiTexCoord1", 9},
    {"cgx_MultiTexCoord2", 10}, {"cgx_MultiTexCoord3", 11}, {"cgx_MultiTexCoord4", 12},
    {"cgx_MultiTexCoord5", 13}, {"cgx_MultiTexCoord6", 14}, {"cgx_MultiTexCoord7", 15},
};

const char* stateMatrixName(int index)
{
    return index >= 0 && index < kStateMatrixCount ? stateMatrixNames[index] : "";
}

const Builtin* const* genericVaryings(size_t& count)
{
    count = sizeof(uniqueVaryings) / sizeof(uniqueVaryings[0]);
    return uniqueVaryings;
}

std::string glslName(std::string_view name)
{
    bool clash = reservedNames().count(name) || name.substr(0, 3) == "gl_" || name.substr(0, 4) == "cgx_" ||
                 name.find("__") != std::string_view::npos;
    return clash ? "cgx_" + std::string(name) : std::string(name);
}

NameMapping mapName(std::string_view name, int stage, GlslTarget target)
{
    NameMapping mapped;
    for (const char* f : fragmentOnly) {
        if (name == f && stage == 0) {
            mapped.problem = std::string(f) + " is only available in fragment programs";
        }
    }
    if (sameIntrinsics().count(name)) {
        mapped.glsl = std::string(name);
        return mapped;
    }
    for (const Rename& r : renames) {
        if (name == r.cg) {
            mapped.glsl = modernGlsl(target) ? modernTexture(std::string(r.glsl) + "(") : r.glsl;
            if (mapped.glsl.back() == '(') {
                mapped.glsl.pop_back();
            }
            if (target == GlslTarget::Essl300 && name.substr(0, 5) == "tex1D") {
                mapped.problem = "1D textures are not available in GLSL ES";
            }
            return mapped;
        }
    }
    for (const Helper& h : helpers) {
        if (name == h.name) {
            if (!(h.stages & (1 << stage))) {
                mapped.problem = std::string(h.name) + " is not available in " +
                                 (stage == 0 ? "vertex" : "fragment") + " programs";
            }
            mapped.helper = h.name;
            mapped.glsl = std::string("cgx_") + h.name;
            return mapped;
        }
    }
    for (const char* r : refused) {
        if (name == r) {
            mapped.problem = "'" + std::string(name) + "' is not supported";
        }
    }
    mapped.glsl = glslName(name);
    return mapped;
}

std::string helperPrelude(const std::set<std::string_view>& used, GlslTarget target)
{
    std::string prelude;
    for (const Helper& h : helpers) {
        if (!used.count(h.name)) {
            continue;
        }
        if (!h.perType) {
            prelude += modernGlsl(target) ? modernTexture(h.code) : h.code;
            continue;
        }
        for (const char* type : {"float", "vec2", "vec3", "vec4"}) {
            std::string code = h.code;
            for (size_t at = 0; (at = code.find('T', at)) != std::string::npos;) {
                bool word = (at == 0 || !std::isalnum(static_cast<unsigned char>(code[at - 1]))) &&
                            (at + 1 >= code.size() || !std::isalnum(static_cast<unsigned char>(code[at + 1])));
                if (word) {
                    code.replace(at, 1, type);
                    at += std::strlen(type);
                } else {
                    ++at;
                }
            }
            prelude += code;
        }
    }
    return prelude;
}

const Builtin* findBuiltin(int stage, bool output, const std::string& semantic, GlslTarget target)
{
    if (stage == 1 && output) {
        return modernGlsl(target) ? findIn(modernFragmentOutputs, semantic) : findIn(fragmentOutputs, semantic);
    }
    return output ? findIn(genericVertexOutputs, semantic)
                  : (stage == 0 ? findIn(genericVertexInputs, semantic) : findIn(genericFragmentInputs, semantic));
}

std::string fromBuiltin(const Builtin& b, const TypeInfo& type)
{
    if (type.cols == b.components) {
        return b.glsl;
    }
    if (type.cols < b.components) {
        return std::string(b.glsl) + "." + std::string("xyzw").substr(0, size_t(type.cols));
    }
    std::string s = glslType(type) + "(" + b.glsl;
    for (int c = b.components; c < type.cols; ++c) {
        s += c == 3 ? ", 1.0" : ", 0.0";
    }
    return s + ")";
}

std::string toBuiltin(const Builtin& b, const std::string& valueIn, const TypeInfo& type)
{
    // GL clamps the vertex colours of the compatibility profile; ours do the same.
    const std::string value = b.clamp ? "clamp(" + valueIn + ", 0.0, 1.0)" : valueIn;
    std::string assign = std::string(b.glsl) + " = ";
    if (type.cols == b.components) {
        return assign + value + ";\n";
    }
    if (type.cols > b.components) {
        return assign + value + (b.components == 1 ? ".x" : ".xyz") + ";\n";
    }
    static const char* const pads[] = {"", ", 0.0, 0.0, 1.0", ", 0.0, 1.0", ", 1.0"};
    return assign + "vec4(" + value + pads[type.cols] + ");\n";
}

}  // namespace fx
