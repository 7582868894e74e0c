// Internals of the effect runtime: tokens, the parsed effect and its GL objects.
// Only src/fx/ (and its tests and fuzzer) include this.
#pragma once
#include "fx/fx.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fx {

// ---- tokens ----
struct Token {
    enum Kind { Ident, Number, String, Punct, End } kind = End;
    std::string_view text;
    int line = 0;
};

// Splits the text into tokens; false with a "name(line): error: ..." message.
bool tokenize(std::string_view text, const std::string& file, std::vector<Token>& out, std::string& error);

// ---- types ----
struct TypeInfo {
    enum Base { None, Float, Int, Bool, Sampler1D, Sampler2D, Sampler3D, SamplerCube, Texture, String, Void, Struct };
    Base base = None;
    int rows = 1;  // matrices: rows x cols; vectors: 1 x cols
    int cols = 1;
    bool matrix = false;
    std::string_view structName;

    bool isSampler() const { return base >= Sampler1D && base <= SamplerCube; }
};
// Cg type name ("float3", "half4x4", "samplerCUBE", ...) to its info; false when unknown.
bool cgType(std::string_view name, TypeInfo& info);
// GLSL spelling of a type ("vec3", "mat4", "samplerCube", struct names as mapped).
std::string glslType(const TypeInfo& info);
Type publicType(const TypeInfo& info);
int componentCount(const TypeInfo& info);

// ---- the parsed effect ----
struct AnnotationData {
    std::string name;
    Type type = Type::Unknown;
    std::vector<float> values;
    std::string text;
    const struct AnnotationList* list = nullptr;
    size_t index = 0;
    Annotation* handle() { return reinterpret_cast<Annotation*>(this); }
};
struct AnnotationList {
    std::deque<AnnotationData> items;
};

struct SamplerStateData {
    std::string textureName;  // the texture parameter of `Texture = <t>`
    int minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0, wrapR = 0;  // 0 = not given
    int generateMipmap = -1;                                            // -1 = not given
};

struct ParameterData {
    Effect* effect = nullptr;
    size_t index = 0;
    std::string name;
    std::string glslName;
    TypeInfo type;
    Type publicType = Type::Unknown;
    std::string semantic;  // upper case
    AnnotationList annotations;
    float value[16] = {};
    float defaults[16] = {};
    int defaultCount = 0;
    SamplerStateData samplerState;
    uint32_t texture = 0;
    ParameterData* textureParameter = nullptr;  // resolved `Texture = <t>`
    int line = 0;
    // A parameter that a recompiled version of the effect no longer has: its handle
    // stays valid, but it is not listed and no program reads it.
    bool retired = false;
};

struct VarDecl {  // struct member, function parameter
    std::string_view qualifier;  // "in", "out", "inout", "uniform" or ""
    TypeInfo type;
    std::string_view typeName;
    std::string_view name;
    int arraySize = 0;  // 0 = not an array
    std::string semantic;
    int line = 0;
};

struct StructData {
    std::string_view name;
    std::vector<VarDecl> members;
    int line = 0;
};

struct FunctionData {
    std::string_view name;
    TypeInfo returnType;
    std::string_view returnTypeName;
    std::string returnSemantic;
    std::vector<VarDecl> params;
    size_t bodyBegin = 0;  // token index of '{'
    size_t bodyEnd = 0;    // token index of the matching '}'
    std::vector<std::string_view> identifiers;  // every identifier of the body
    int line = 0;
};

struct StaticData {  // a `static` global: code, not a parameter
    VarDecl decl;
    size_t initBegin = 0, initEnd = 0;  // initializer tokens, empty range when none
    bool isConst = false;
    std::vector<std::string_view> identifiers;
};

enum class StateKind {
    VertexProgram, FragmentProgram, DepthTestEnable, DepthMask, DepthFunc, CullFaceEnable, CullFace,
    BlendEnable, BlendFunc, BlendEquation, AlphaTestEnable, AlphaFunc, PolygonMode, PolygonOffset,
    LightingEnable, Texture2DEnable, TextureCubeMapEnable,
};

struct StateAssignment {
    StateKind kind;
    int i[2] = {0, 0};
    float f[2] = {0, 0};
};

struct ProgramRef {
    bool present = false;
    std::string profile;
    std::string_view entry;
    std::vector<std::pair<size_t, size_t>> args;  // token ranges of the compile arguments
    int line = 0;
};

struct UniformBinding {
    int location = -1;
    ParameterData* parameter = nullptr;
};
struct SamplerBinding {
    int unit = 0;
    uint32_t target = 0;
    ParameterData* parameter = nullptr;
};
// A state matrix uniform of the generic targets (stateMatrixName(index)).
struct StateMatrixBinding {
    int location = -1;
    int index = 0;
};

struct PassData {
    Technique* technique = nullptr;
    size_t index = 0;
    std::string name;
    AnnotationList annotations;
    std::vector<StateAssignment> states;
    ProgramRef vertex, fragment;
    // after validation
    uint32_t program = 0;
    std::string vertexSource, fragmentSource;
    std::vector<UniformBinding> uniforms;
    std::vector<SamplerBinding> samplers;
    std::vector<StateMatrixBinding> stateMatrices;
    GlslTarget target = GlslTarget::Glsl120;  // what the programs were translated for
    uint32_t matrixSerial = 0;  // gpu::matricesSerial() at the last upload of stateMatrices
    int alphaRefLocation = -1;
    float alphaRef = 0.0f;
    Pass* handle() { return reinterpret_cast<Pass*>(this); }
};

struct TechniqueData {
    Effect* effect = nullptr;
    size_t index = 0;
    std::string name;
    AnnotationList annotations;
    std::deque<PassData> passes;
    int validation = 0;  // 0 = not tried, 1 = valid, -1 = invalid
    Technique* handle() { return reinterpret_cast<Technique*>(this); }
};

struct EffectData {
    Context* context = nullptr;
    std::string file;
    std::string text;  // the source; tokens point into it
    std::vector<Token> tokens;
    std::deque<ParameterData> parameters;  // storage: retired ones stay where they were
    std::vector<ParameterData*> listed;     // the live parameters in declaration order (`index`)
    std::unordered_map<std::string_view, ParameterData*> byName;
    std::unordered_map<std::string_view, ParameterData*> bySemantic;
    std::vector<StructData> structs;
    std::vector<FunctionData> functions;
    std::vector<StaticData> statics;
    std::deque<TechniqueData> techniques;
    // declaration order of structs/statics/functions: (kind 0/1/2, index)
    std::vector<std::pair<int, size_t>> order;
    Effect* handle() { return reinterpret_cast<Effect*>(this); }
};

// Parses effect text into `effect` (text and file already set) and lists its
// parameters. False with messages appended to `listing`.
bool parseEffect(EffectData& effect, std::string& listing);

// The generic targets' varyings, as bits of ProgramTranslation::varyings: TEXCOORD0-7
// are bits 0-7.
enum VaryingBit : uint32_t { kVaryingColor0 = 1u << 8, kVaryingColor1 = 1u << 9, kVaryingFog = 1u << 10 };
// The generic targets' state matrices: index 4 * matrix + form, matrix 0 mvp,
// 1 modelview, 2 projection, 3 texture; form 0 plain, 1 inverse, 2 transpose, 3 invtrans.
constexpr int kStateMatrixCount = 16;
// The uniform of a state matrix ("cgx_glstate_inverse_modelview").
const char* stateMatrixName(int index);
// The uniform holding the alpha test's reference in the generic targets.
constexpr const char* kAlphaRefName = "cgx_alphaRef";
// The generic vertex attributes and their locations (gpu::kAttribute*), for binding.
struct AttributeName {
    const char* name;
    unsigned location;
};
extern const AttributeName kAttributeNames[12];

// What the translation of one program needs besides the program, and what it tells back.
struct ProgramTranslation {
    GlslTarget target = GlslTarget::Glsl120;
    // Fragment programs of the generic targets: the GL compare function of the pass's
    // alpha test, done after the colour is computed; 0 = none.
    int alphaFunc = 0;
    // Vertex programs of the generic targets: varyings (VaryingBit) the fragment program
    // reads; those the vertex program does not write are written with 0.
    uint32_t fragmentReads = 0;
    // Back: the varyings written (vertex) or read (fragment), the state matrices read
    // (bit per index) and whether the alpha reference is read.
    uint32_t varyings = 0;
    uint32_t stateMatrices = 0;
    bool alphaRef = false;
};

// Generates the GLSL of one program of a pass. `stage` 0 = vertex, 1 = fragment.
// On success fills `glsl` and the parameters the program reads.
bool translateProgram(const EffectData& effect, const ProgramRef& program, int stage, std::string& glsl,
                      std::vector<ParameterData*>& used, std::string& listing, ProgramTranslation& how);
// The same for GLSL 1.20.
bool translateProgram(const EffectData& effect, const ProgramRef& program, int stage, std::string& glsl,
                      std::vector<ParameterData*>& used, std::string& listing);

// GLSL name of an identifier of the effect (renamed when GLSL reserves it).
std::string glslName(std::string_view name);

inline EffectData* data(Effect* e) { return reinterpret_cast<EffectData*>(e); }
inline TechniqueData* data(Technique* t) { return reinterpret_cast<TechniqueData*>(t); }
inline PassData* data(Pass* p) { return reinterpret_cast<PassData*>(p); }
inline ParameterData* data(Parameter* p) { return reinterpret_cast<ParameterData*>(p); }
inline AnnotationData* data(Annotation* a) { return reinterpret_cast<AnnotationData*>(a); }
inline const EffectData* data(const Effect* e) { return reinterpret_cast<const EffectData*>(e); }
inline const TechniqueData* data(const Technique* t) { return reinterpret_cast<const TechniqueData*>(t); }
inline const PassData* data(const Pass* p) { return reinterpret_cast<const PassData*>(p); }
inline const ParameterData* data(const Parameter* p) { return reinterpret_cast<const ParameterData*>(p); }
inline const AnnotationData* data(const Annotation* a) { return reinterpret_cast<const AnnotationData*>(a); }
inline Parameter* handle(ParameterData* p) { return reinterpret_cast<Parameter*>(p); }

}  // namespace fx
