// fx: the effect runtime. Effect files (.cgfx text: parameters with semantics,
// annotations and defaults, sampler_state blocks, structs and functions in the Cg
// subset of cg_subset.md, techniques and passes with state assignments) are parsed
// once, each pass's programs are translated to GLSL and linked with the driver.
//
// GLSL targets: Glsl120, Glsl330 (core) and Essl300, one per kind of GL context, read
// only generic things: attributes named by the gpu::kAttribute* locations, state
// matrices as uniforms taken from gpu/matrices.h (set by setPassState and again before
// each gpu:: draw whose matrices changed), varyings and outputs of our own; alpha test
// happens in the fragment program, and a pass needs both a vertex and a fragment
// program. A technique is translated when it is validated, for the target of the
// current context (contextGlslTarget) unless setGlslTarget chose one.
//
// Ownership: a Context owns its effects; an Effect owns its parameters, techniques,
// passes and GL programs. Every handle stays valid until destroyContext (or
// releaseSharedContext). Handles are plain pointers; every function accepts null and
// then does nothing (or returns null / 0 / "").
// GL: createEffect needs no GL; validateTechnique, setPassState, resetPassState,
// setupSampler and setStateMatrixParameter need the context current. Main thread only.
// Performance: look-ups by name or semantic are hash look-ups without allocation;
// setting and resetting a pass allocate nothing.
#pragma once
#include <cstdint>

namespace fx {

struct Context;
struct Effect;
struct Technique;
struct Pass;
struct Parameter;
struct Annotation;

enum class Type {
    Unknown,
    Float, Float2, Float3, Float4,
    Float2x2, Float3x3, Float4x4,
    Int, Int2, Int3, Int4,
    Bool, Bool2, Bool3, Bool4,
    Sampler1D, Sampler2D, Sampler3D, SamplerCube,
    Texture, String,
};

// The type's name as effect files spell it: "float", "float3", "float4x4", "sampler2D",
// "samplerCUBE", "texture", "string"...
const char* typeString(Type type);

// ---- GLSL target (process-wide) ----
enum class GlslTarget { Glsl120, Glsl330, Essl300 };
// The target of the current context: Essl300 on OpenGL ES, Glsl330 on a core profile,
// Glsl120 otherwise.
GlslTarget contextGlslTarget();
// Validation translates for `target` from now on (tests); followContextGlslTarget goes
// back to the context's.
void setGlslTarget(GlslTarget target);
void followContextGlslTarget();
// What validation translates for now.
GlslTarget glslTarget();

// ---- context and errors ----
Context* createContext();
// Deletes every effect with its GL programs (call while the GL context is current).
void destroyContext(Context* context);
// The process-wide context the resource loader compiles into, created on first use.
Context* sharedContext();
void releaseSharedContext();

enum ErrorCode { NoError = 0, CompilerError = 1, InvalidHandleError = 2 };
// The last error of the context, cleared by reading it.
int lastError(Context* context);
const char* errorString(int code);
// Messages of the last compile or validation: "file(line): error: ..." lines of the
// translator followed by the driver's messages.
const char* lastListing(Context* context);

// ---- effects ----
// Parses the text (zero-terminated). `name` only labels messages. Null on a compile
// error (lastError = CompilerError, the listing says why, with the file's line numbers).
Effect* createEffect(Context* context, const char* text, const char* name = "effect");
// Compiles new text for an existing effect (an effect file edited while the program
// runs). The new version replaces the old one only when it parses and one of its
// techniques validates: the first that does is returned. Otherwise null, the effect is
// left as it was, and lastError / lastListing of its context say why.
// After a replacement the Effect handle is the same; a parameter whose name and type
// are the same in both versions keeps its handle, its texture and, when it no longer
// holds the old default (code or the bar set it), its value, else it takes the new
// default. The old techniques and passes are gone (their handles with them, and their
// GL programs: call with the GL context current). A parameter the new version lacks
// keeps a valid handle that names nothing: not listed, read by no program.
Technique* recompileEffect(Effect* effect, const char* text);

// ---- techniques and passes ----
Technique* firstTechnique(Effect* effect);
Technique* nextTechnique(Technique* technique);
Technique* namedTechnique(Effect* effect, const char* name);
const char* techniqueName(const Technique* technique);
// Translates, compiles and links every pass once (the result is kept). True when all
// passes link; otherwise the listing holds the reasons.
bool validateTechnique(Technique* technique);
bool isTechniqueValidated(const Technique* technique);

Pass* firstPass(Technique* technique);
Pass* nextPass(Pass* pass);
const char* passName(const Pass* pass);
// Uses the pass's program, applies its states, uploads the current values of the
// parameters its programs use and binds each of its samplers' textures to its own unit.
// Until resetPassState (or another setPassState) the pass is the one gpu's draws hand
// the matrices to: its program must stay in use meanwhile.
void setPassState(Pass* pass);
// Unbinds the program and the pass's textures and restores the GL defaults of the
// states the pass set.
void resetPassState(Pass* pass);
// The GLSL text of the pass's programs after validation ("" when absent).
const char* passVertexSource(const Pass* pass);
const char* passFragmentSource(const Pass* pass);

// Translates a pass's programs for `target` without GL or linking, for an offline
// check of the GLSL: *vertex and *fragment receive the texts ("" for an absent program),
// valid until the next call for a pass of the same context. False when translation fails
// (lastListing says why).
bool translatePass(Pass* pass, GlslTarget target, const char** vertex, const char** fragment);

// ---- parameters ----
Parameter* firstParameter(Effect* effect);
Parameter* nextParameter(Parameter* parameter);
Parameter* namedParameter(Effect* effect, const char* name);
// The semantic is matched ignoring letter case ("state.matrix.mvp" = "STATE.MATRIX.MVP").
Parameter* parameterBySemantic(Effect* effect, const char* semantic);
const char* parameterName(const Parameter* parameter);
Type parameterType(const Parameter* parameter);
// Upper-case semantic, "" when none.
const char* parameterSemantic(const Parameter* parameter);
Effect* parameterEffect(const Parameter* parameter);
// Copies up to `max` default values; returns how many were copied, 0 without a default.
int defaultValues(const Parameter* parameter, float* out, int max);
// Copies up to `max` current values (scalars, vectors, matrices row by row).
int currentValues(const Parameter* parameter, float* out, int max);

void setParameter1f(Parameter* parameter, float x);
void setParameter2f(Parameter* parameter, float x, float y);
void setParameter3f(Parameter* parameter, float x, float y, float z);
void setParameter4f(Parameter* parameter, float x, float y, float z, float w);
void setParameter1i(Parameter* parameter, int x);
// Matrix given row by row (m[row * n + column] for an n x n matrix); `mul(M, v)` in an
// effect then transforms v by this matrix.
void setMatrixParameterRowMajor(Parameter* parameter, const float* m);

enum class StateMatrix { ModelView, Projection, ModelViewProjection, Texture };
enum class MatrixTransform { Identity, Transpose, Inverse, InverseTranspose };
// Sets a float4x4 parameter to a state matrix of gpu/matrices.h as it is at the moment
// of the call.
void setStateMatrixParameter(Parameter* parameter, StateMatrix matrix, MatrixTransform transform);

// Gives a sampler parameter its GL texture and applies the sampler's state (filters,
// wrap modes, mipmap generation) to that texture. The pass binds it.
void setupSampler(Parameter* sampler, uint32_t texture);
// Gives a texture parameter its GL texture; samplers that name it in `Texture = <t>`
// and have no texture of their own use it.
void setTextureParameter(Parameter* texture, uint32_t name);
uint32_t samplerTexture(const Parameter* sampler);

// ---- annotations (of parameters, techniques and passes) ----
Annotation* firstParameterAnnotation(Parameter* parameter);
Annotation* nextAnnotation(Annotation* annotation);
Annotation* namedParameterAnnotation(Parameter* parameter, const char* name);
const char* annotationName(const Annotation* annotation);
Type annotationType(const Annotation* annotation);
// The annotation's numbers (float, int and bool annotations); *count receives how many.
const float* floatAnnotationValues(const Annotation* annotation, int* count);
const char* stringAnnotationValue(const Annotation* annotation);

}  // namespace fx
