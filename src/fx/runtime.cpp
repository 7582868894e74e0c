// The effect runtime: contexts, compilation and linking with the GL driver, techniques
// and passes, and the GL state a pass sets and resets (the parameters: parameters.cpp).
#include "fx/runtime_internal.h"

#include "gpu/immediate.h"
#include "gpu/matrices.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

struct fx::Context {
    std::deque<std::unique_ptr<EffectData>> effects;
    int error = NoError;
    std::string listing;
    std::string translatedVertex, translatedFragment;  // translatePass's texts
};

namespace fx {

bool glReady() { return epoxy_gl_version() != 0; }

GLenum samplerTarget(const TypeInfo& type)
{
    switch (type.base) {
    case TypeInfo::Sampler1D:
        return GL_TEXTURE_1D;
    case TypeInfo::Sampler3D:
        return GL_TEXTURE_3D;
    case TypeInfo::SamplerCube:
        return GL_TEXTURE_CUBE_MAP;
    default:
        return GL_TEXTURE_2D;
    }
}

namespace {

Context* gShared = nullptr;
GlslTarget gTarget = GlslTarget::Glsl120;
bool gTargetChosen = false;  // setGlslTarget, else the context's
// The pass set last and not reset: gpu's draws hand its programs the matrices.
PassData* gActivePass = nullptr;

GLuint compileShader(GLenum kind, const std::string& source, std::string& log)
{
    GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0, length = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length > 1) {
        std::string info(size_t(length), '\0');
        glGetShaderInfoLog(shader, length, nullptr, &info[0]);
        info.resize(std::strlen(info.c_str()));
        log += info;
        if (!info.empty() && info.back() != '\n') {
            log += "\n";
        }
    }
    if (!status) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

void deletePassProgram(PassData& pass)
{
    if (pass.program && glDeleteProgram) {
        glDeleteProgram(pass.program);
    }
    if (gActivePass == &pass) {
        gActivePass = nullptr;
    }
    pass.program = 0;
    pass.uniforms.clear();
    pass.samplers.clear();
    pass.stateMatrices.clear();
    pass.alphaRefLocation = -1;
}

// The GL compare function of the pass's alpha test, 0 when it has none.
int alphaTestFunction(const PassData& pass, float& reference)
{
    bool enabled = false;
    int function = GL_ALWAYS;
    for (const StateAssignment& s : pass.states) {
        if (s.kind == StateKind::AlphaTestEnable) {
            enabled = s.i[0] != 0;
        } else if (s.kind == StateKind::AlphaFunc) {
            function = s.i[0];
            reference = s.f[0] < 0.0f ? 0.0f : s.f[0] > 1.0f ? 1.0f : s.f[0];  // GL clamps it too
        }
    }
    return enabled && function != GL_ALWAYS ? function : 0;
}

// What stands for the stage a pass leaves out, as the fixed-function GL did it: the
// vertices transformed by the model-view-projection, colours and texture coordinates
// passed on (set 0 through the texture matrix); the fragment the interpolated colour.
const char* const kStandInText = R"(
struct StandInVertex {
    float4 position : POSITION;
    float4 color : COLOR0;
    float4 secondary : COLOR1;
    float4 t0 : TEXCOORD0; float4 t1 : TEXCOORD1; float4 t2 : TEXCOORD2; float4 t3 : TEXCOORD3;
    float4 t4 : TEXCOORD4; float4 t5 : TEXCOORD5; float4 t6 : TEXCOORD6; float4 t7 : TEXCOORD7;
};
StandInVertex standInVertex(float4 position : POSITION, float4 color : COLOR0, float4 secondary : COLOR1,
                            float4 t0 : TEXCOORD0, float4 t1 : TEXCOORD1, float4 t2 : TEXCOORD2,
                            float4 t3 : TEXCOORD3, float4 t4 : TEXCOORD4, float4 t5 : TEXCOORD5,
                            float4 t6 : TEXCOORD6, float4 t7 : TEXCOORD7)
{
    StandInVertex o;
    o.position = mul(glstate.matrix.mvp, position);
    o.color = color;
    o.secondary = secondary;
    o.t0 = mul(glstate.matrix.texture, t0);
    o.t1 = t1; o.t2 = t2; o.t3 = t3; o.t4 = t4; o.t5 = t5; o.t6 = t6; o.t7 = t7;
    return o;
}
float4 standInFragment(float4 color : COLOR0) : COLOR { return color; }
technique StandIn {
    pass { VertexProgram = compile arbvp1 standInVertex(); FragmentProgram = compile arbfp1 standInFragment(); }
}
)";

const EffectData& standInEffect()
{
    static const std::unique_ptr<EffectData> effect = [] {
        auto e = std::make_unique<EffectData>();
        e->file = "stand-in";
        e->text = kStandInText;
        std::string listing;
        parseEffect(*e, listing);
        return e;
    }();
    return *effect;
}

const PassData& standInPass() { return standInEffect().techniques.at(0).passes.at(0); }

// Translates the pass's programs for `target`; a stage the pass leaves out gets the
// stand-in's (there is no fixed-function stage in core and ES GL). The vertex program
// also writes (0) the varyings the fragment program reads and it does not.
bool translatePassPrograms(const EffectData& e, PassData& pass, GlslTarget target, std::string& vertex,
                           std::string& fragment, std::vector<ParameterData*>& usedVertex,
                           std::vector<ParameterData*>& usedFragment, ProgramTranslation& vs,
                           ProgramTranslation& fs, std::string& listing)
{
    vertex.clear();
    fragment.clear();
    vs = ProgramTranslation();
    fs = ProgramTranslation();
    vs.target = fs.target = target;
    float reference = 0.0f;
    fs.alphaFunc = alphaTestFunction(pass, reference);
    if (!pass.vertex.present && !pass.fragment.present) {
        return true;  // states only: draws go through gpu's plain programs
    }
    const EffectData& ve = pass.vertex.present ? e : standInEffect();
    const ProgramRef& vp = pass.vertex.present ? pass.vertex : standInPass().vertex;
    const EffectData& fe = pass.fragment.present ? e : standInEffect();
    const ProgramRef& fp = pass.fragment.present ? pass.fragment : standInPass().fragment;
    bool ok = translateProgram(ve, vp, 0, vertex, usedVertex, listing, vs) &&
              translateProgram(fe, fp, 1, fragment, usedFragment, listing, fs);
    if (ok && (fs.varyings & ~vs.varyings)) {
        vs.fragmentReads = fs.varyings;
        ok = translateProgram(ve, vp, 0, vertex, usedVertex, listing, vs);
    }
    return ok;
}

bool buildPass(TechniqueData& tech, PassData& pass, std::string& listing)
{
    EffectData& e = *data(tech.effect);
    std::vector<ParameterData*> usedVertex, usedFragment;
    std::string where = " (technique " + tech.name + ", pass " + pass.name + ")";
    ProgramTranslation vs, fs;
    pass.target = glslTarget();
    if (!translatePassPrograms(e, pass, pass.target, pass.vertexSource, pass.fragmentSource, usedVertex, usedFragment,
                               vs, fs, listing)) {
        return false;
    }
    bool ok = true;
    if (!pass.vertex.present && !pass.fragment.present) {
        return true;  // states only: gpu's plain programs draw
    }
    if (!glReady()) {
        listing += e.file + ": error: no GL context to compile programs in\n";
        return false;
    }
    GLuint program = glCreateProgram();
    GLuint shaders[2] = {0, 0};
    {
        std::string log;
        shaders[0] = compileShader(GL_VERTEX_SHADER, pass.vertexSource, log);
        if (!log.empty() || !shaders[0]) {
            listing += e.file + ": vertex program " + std::string(pass.vertex.entry) + where + ":\n" + log;
        }
        ok = shaders[0] != 0;
    }
    if (ok) {
        std::string log;
        shaders[1] = compileShader(GL_FRAGMENT_SHADER, pass.fragmentSource, log);
        if (!log.empty() || !shaders[1]) {
            listing += e.file + ": fragment program " + std::string(pass.fragment.entry) + where + ":\n" + log;
        }
        ok = shaders[1] != 0;
    }
    for (GLuint s : shaders) {
        if (s) {
            glAttachShader(program, s);
            glDeleteShader(s);  // freed with the program
        }
    }
    if (ok) {
        // The generic attributes sit where gpu/immediate.h puts them.
        for (const AttributeName& a : kAttributeNames) {
            glBindAttribLocation(program, a.location, a.name);
        }
        glLinkProgram(program);
        GLint status = 0, length = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &status);
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
        if (!status) {
            std::string info(size_t(length > 1 ? length : 1), '\0');
            glGetProgramInfoLog(program, GLsizei(info.size()), nullptr, &info[0]);
            info.resize(std::strlen(info.c_str()));
            listing += e.file + ": link" + where + ":\n" + info + "\n";
            ok = false;
        }
    }
    if (!ok) {
        glDeleteProgram(program);
        return false;
    }
    pass.program = program;
    const GLuint previous = gpu::currentProgram();
    gpu::useProgram(program);
    std::vector<ParameterData*> used = usedVertex;
    for (ParameterData* p : usedFragment) {
        bool seen = false;
        for (ParameterData* q : used) {
            seen = seen || q == p;
        }
        if (!seen) {
            used.push_back(p);
        }
    }
    for (ParameterData* p : used) {
        GLint location = glGetUniformLocation(program, p->glslName.c_str());
        if (location < 0) {
            continue;  // optimised away by the driver
        }
        if (p->type.isSampler()) {
            int unit = int(pass.samplers.size());
            glUniform1i(location, unit);
            pass.samplers.push_back({unit, samplerTarget(p->type), p});
        } else {
            pass.uniforms.push_back({location, p});
        }
    }
    const uint32_t matrices = vs.stateMatrices | fs.stateMatrices;
    for (int k = 0; k < kStateMatrixCount; ++k) {
        GLint location = matrices & (1u << k) ? glGetUniformLocation(program, stateMatrixName(k)) : -1;
        if (location >= 0) {
            pass.stateMatrices.push_back({location, k});
        }
    }
    pass.matrixSerial = 0;
    pass.alphaRefLocation = fs.alphaRef ? glGetUniformLocation(program, kAlphaRefName) : -1;
    alphaTestFunction(pass, pass.alphaRef);
    gpu::useProgram(previous);
    return true;
}

// Uploads the pass's state matrices from gpu/matrices.h. A Cg matrix sits transposed in
// GLSL (translator.cpp): the plain form is uploaded transposed, the transpose form as is.
void uploadStateMatrices(PassData& pass)
{
    float base[4][16];
    float inverse[4][16];
    bool have[4] = {false, false, false, false};
    bool inverted[4] = {false, false, false, false};
    for (const StateMatrixBinding& binding : pass.stateMatrices) {
        const int matrix = binding.index / 4;
        const int form = binding.index % 4;
        if (!have[matrix]) {
            if (matrix == 0) {
                gpu::modelViewProjection(base[0]);
            } else {
                const gpu::MatrixMode mode = matrix == 1   ? gpu::MatrixMode::ModelView
                                             : matrix == 2 ? gpu::MatrixMode::Projection
                                                           : gpu::MatrixMode::Texture;
                std::memcpy(base[matrix], gpu::matrix(mode), sizeof(base[matrix]));
            }
            have[matrix] = true;
        }
        const float* m = base[matrix];
        if (form == 1 || form == 3) {
            if (!inverted[matrix]) {
                std::memcpy(inverse[matrix], m, sizeof(inverse[matrix]));  // a singular one stays as it is
                invertMatrix(m, inverse[matrix]);
                inverted[matrix] = true;
            }
            m = inverse[matrix];
        }
        const bool transposeIt = form == 0 || form == 1;
        float value[16];
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                value[c * 4 + r] = transposeIt ? m[r * 4 + c] : m[c * 4 + r];
            }
        }
        glUniformMatrix4fv(binding.location, 1, GL_FALSE, value);
    }
    pass.matrixSerial = gpu::matricesSerial();
}

// Before each gpu:: draw: the active pass's matrices again when they changed since.
void beforeDraw()
{
    PassData* pass = gActivePass;
    if (pass && pass->program && !pass->stateMatrices.empty() && pass->matrixSerial != gpu::matricesSerial()) {
        uploadStateMatrices(*pass);
    }
}

void enable(GLenum cap, bool on)
{
    if (on) {
        glEnable(cap);
    } else {
        glDisable(cap);
    }
}

// States of fixed-function GL (alpha test, lighting, texture enables) are left to the
// programs (the alpha test is translated into the fragment program); polygon mode is
// set only where the GL has it (not OpenGL ES), for both faces as core GL demands.
bool skippedState(StateKind kind)
{
    switch (kind) {
    case StateKind::AlphaTestEnable:
    case StateKind::AlphaFunc:
    case StateKind::LightingEnable:
    case StateKind::Texture2DEnable:
    case StateKind::TextureCubeMapEnable:
        return true;
    case StateKind::PolygonMode:
        return !epoxy_is_desktop_gl();
    default:
        return false;
    }
}

void applyState(const StateAssignment& s)
{
    if (skippedState(s.kind)) {
        return;
    }
    switch (s.kind) {
    case StateKind::DepthTestEnable:
        enable(GL_DEPTH_TEST, s.i[0]);
        break;
    case StateKind::DepthMask:
        glDepthMask(s.i[0] ? GL_TRUE : GL_FALSE);
        break;
    case StateKind::DepthFunc:
        glDepthFunc(GLenum(s.i[0]));
        break;
    case StateKind::CullFaceEnable:
        enable(GL_CULL_FACE, s.i[0]);
        break;
    case StateKind::CullFace:
        glCullFace(GLenum(s.i[0]));
        break;
    case StateKind::BlendEnable:
        enable(GL_BLEND, s.i[0]);
        break;
    case StateKind::BlendFunc:
        glBlendFunc(GLenum(s.i[0]), GLenum(s.i[1]));
        break;
    case StateKind::BlendEquation:
        glBlendEquation(GLenum(s.i[0]));
        break;
    case StateKind::PolygonMode:
        glPolygonMode(GL_FRONT_AND_BACK, GLenum(s.i[1]));
        break;
    case StateKind::PolygonOffset:
        glPolygonOffset(s.f[0], s.f[1]);
        break;
    default:
        break;
    }
}

void resetState(StateKind kind)
{
    if (skippedState(kind)) {
        return;
    }
    switch (kind) {
    case StateKind::DepthTestEnable:
        glDisable(GL_DEPTH_TEST);
        break;
    case StateKind::DepthMask:
        glDepthMask(GL_TRUE);
        break;
    case StateKind::DepthFunc:
        glDepthFunc(GL_LESS);
        break;
    case StateKind::CullFaceEnable:
        glDisable(GL_CULL_FACE);
        break;
    case StateKind::CullFace:
        glCullFace(GL_BACK);
        break;
    case StateKind::BlendEnable:
        glDisable(GL_BLEND);
        break;
    case StateKind::BlendFunc:
        glBlendFunc(GL_ONE, GL_ZERO);
        break;
    case StateKind::BlendEquation:
        glBlendEquation(GL_FUNC_ADD);
        break;
    case StateKind::PolygonMode:
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        break;
    case StateKind::PolygonOffset:
        glPolygonOffset(0.0f, 0.0f);
        break;
    default:
        break;
    }
}

void uploadUniform(const UniformBinding& u)
{
    const ParameterData& p = *u.parameter;
    const TypeInfo& type = p.type;
    if (type.base == TypeInfo::Float) {
        if (type.matrix) {
            // Row-major values, not transposed: GLSL column i holds row i (see translator.cpp).
            if (type.rows == 2) {
                glUniformMatrix2fv(u.location, 1, GL_FALSE, p.value);
            } else if (type.rows == 3) {
                glUniformMatrix3fv(u.location, 1, GL_FALSE, p.value);
            } else {
                glUniformMatrix4fv(u.location, 1, GL_FALSE, p.value);
            }
            return;
        }
        switch (type.cols) {
        case 1:
            glUniform1fv(u.location, 1, p.value);
            break;
        case 2:
            glUniform2fv(u.location, 1, p.value);
            break;
        case 3:
            glUniform3fv(u.location, 1, p.value);
            break;
        default:
            glUniform4fv(u.location, 1, p.value);
            break;
        }
        return;
    }
    GLint v[4];
    for (int k = 0; k < 4; ++k) {
        float x = p.value[k];
        v[k] = x >= 2147483520.0f ? 2147483520 : x <= -2147483520.0f ? -2147483520 : GLint(x);
    }
    switch (type.cols) {
    case 1:
        glUniform1iv(u.location, 1, v);
        break;
    case 2:
        glUniform2iv(u.location, 1, v);
        break;
    case 3:
        glUniform3iv(u.location, 1, v);
        break;
    default:
        glUniform4iv(u.location, 1, v);
        break;
    }
}

}  // namespace

// ---- context ----

GlslTarget contextGlslTarget()
{
    if (!epoxy_is_desktop_gl()) {
        return GlslTarget::Essl300;
    }
    return gpu::isCoreProfile() ? GlslTarget::Glsl330 : GlslTarget::Glsl120;
}

void setGlslTarget(GlslTarget target)
{
    gTarget = target;
    gTargetChosen = true;
}

void followContextGlslTarget() { gTargetChosen = false; }

GlslTarget glslTarget() { return gTargetChosen ? gTarget : contextGlslTarget(); }

Context* createContext() { return new Context(); }

void destroyContext(Context* context)
{
    if (!context) {
        return;
    }
    for (auto& effect : context->effects) {
        for (TechniqueData& tech : effect->techniques) {
            for (PassData& pass : tech.passes) {
                deletePassProgram(pass);
            }
        }
    }
    delete context;
}

Context* sharedContext()
{
    if (!gShared) {
        gShared = createContext();
    }
    return gShared;
}

void releaseSharedContext()
{
    destroyContext(gShared);
    gShared = nullptr;
}

int lastError(Context* context)
{
    if (!context) {
        return InvalidHandleError;
    }
    int error = context->error;
    context->error = NoError;
    return error;
}

const char* errorString(int code)
{
    switch (code) {
    case NoError:
        return "no error";
    case CompilerError:
        return "the effect did not compile";
    case InvalidHandleError:
        return "invalid handle";
    default:
        return "unknown error";
    }
}

const char* lastListing(Context* context) { return context ? context->listing.c_str() : ""; }

Effect* createEffect(Context* context, const char* text, const char* name)
{
    if (!context || !text) {
        if (context) {
            context->error = InvalidHandleError;
        }
        return nullptr;
    }
    auto effect = std::make_unique<EffectData>();
    effect->context = context;
    effect->file = name ? name : "effect";
    effect->text = text;
    context->listing.clear();
    if (!parseEffect(*effect, context->listing)) {
        context->error = CompilerError;
        return nullptr;
    }
    context->effects.push_back(std::move(effect));
    return context->effects.back()->handle();
}

namespace {

bool sameType(const ParameterData& a, const ParameterData& b)
{
    return a.publicType == b.publicType && a.type.base == b.type.base && a.type.rows == b.type.rows &&
           a.type.cols == b.type.cols && a.type.matrix == b.type.matrix;
}

// The first valid technique of a freshly parsed effect, each tried in order.
TechniqueData* firstValidTechnique(EffectData& effect)
{
    for (TechniqueData& technique : effect.techniques) {
        if (validateTechnique(technique.handle())) {
            return &technique;
        }
    }
    return nullptr;
}

// Moves the fresh parameter into its place in the old effect (a matching old
// parameter's storage, else a new slot), keeping what the old one was given.
ParameterData* adoptParameter(EffectData& old, ParameterData& fresh)
{
    ParameterData* target = nullptr;
    for (ParameterData& candidate : old.parameters) {
        // A parameter retired by an earlier version comes back with its old handle.
        if (candidate.effect == old.handle() && candidate.name == fresh.name && sameType(candidate, fresh)) {
            target = &candidate;
            break;
        }
    }
    if (!target) {
        target = &old.parameters.emplace_back();
        *target = std::move(fresh);
    } else {
        const bool keepValue = std::memcmp(target->value, target->defaults, sizeof(target->value)) != 0;
        float value[16];
        std::memcpy(value, target->value, sizeof(value));
        const uint32_t texture = target->texture;
        *target = std::move(fresh);
        if (keepValue) {
            std::memcpy(target->value, value, sizeof(value));
        }
        target->texture = texture;
    }
    for (AnnotationData& annotation : target->annotations.items) {
        annotation.list = &target->annotations;
    }
    // Marked so that a later parameter of the same name cannot claim it again.
    target->effect = nullptr;
    return target;
}

}  // namespace

Technique* recompileEffect(Effect* effect, const char* text)
{
    if (!effect || !text) {
        return nullptr;
    }
    EffectData& old = *data(effect);
    Context* context = old.context;
    auto fresh = std::make_unique<EffectData>();
    fresh->context = context;
    fresh->file = old.file;
    fresh->text = text;
    context->listing.clear();
    if (!parseEffect(*fresh, context->listing)) {
        context->error = CompilerError;
        return nullptr;
    }
    TechniqueData* chosen = firstValidTechnique(*fresh);
    if (!chosen) {
        // Every technique failed validation, which deleted its programs already.
        context->error = CompilerError;
        return nullptr;
    }

    // Parameters: every pointer to a fresh one is redirected to where it now lives.
    std::unordered_map<const ParameterData*, ParameterData*> moved;
    std::vector<ParameterData*> listed;
    for (ParameterData* fresher : fresh->listed) {
        ParameterData* target = adoptParameter(old, *fresher);
        moved[fresher] = target;
        listed.push_back(target);
    }
    auto redirect = [&moved](ParameterData*& pointer) {
        if (pointer) {
            auto it = moved.find(pointer);
            pointer = it == moved.end() ? nullptr : it->second;
        }
    };
    for (ParameterData& parameter : old.parameters) {
        if (parameter.effect != nullptr) {  // not adopted: gone from the new version
            parameter.retired = true;
            parameter.textureParameter = nullptr;
        }
        parameter.effect = effect;
    }
    old.listed = std::move(listed);
    old.byName.clear();
    old.bySemantic.clear();
    for (size_t i = 0; i < old.listed.size(); ++i) {
        ParameterData& parameter = *old.listed[i];
        parameter.index = i;
        redirect(parameter.textureParameter);
        old.byName[parameter.name] = &parameter;
        if (!parameter.semantic.empty() && !old.bySemantic.count(parameter.semantic)) {
            old.bySemantic[parameter.semantic] = &parameter;
        }
    }
    // A sampler keeps its texture: the file's sampler state, perhaps edited, applies to it.
    for (ParameterData* parameter : old.listed) {
        if (parameter->type.isSampler()) {
            applySamplerState(*parameter, effectiveTexture(*parameter));
        }
    }

    // Techniques: the old ones go with their programs, the fresh ones move over whole
    // (a deque keeps its elements where they are when it moves).
    for (TechniqueData& technique : old.techniques) {
        for (PassData& pass : technique.passes) {
            deletePassProgram(pass);
        }
    }
    old.techniques = std::move(fresh->techniques);
    for (TechniqueData& technique : old.techniques) {
        technique.effect = effect;
        for (PassData& pass : technique.passes) {
            for (UniformBinding& uniform : pass.uniforms) {
                redirect(uniform.parameter);
            }
            for (SamplerBinding& sampler : pass.samplers) {
                redirect(sampler.parameter);
            }
        }
    }
    // The tokens and the code's names are views of the text: a text long enough to hold
    // a technique never sits in the string object itself, so its characters stay put.
    old.text = std::move(fresh->text);
    old.tokens = std::move(fresh->tokens);
    old.structs = std::move(fresh->structs);
    old.functions = std::move(fresh->functions);
    old.statics = std::move(fresh->statics);
    old.order = std::move(fresh->order);
    return chosen->handle();
}

// ---- techniques and passes ----

Technique* firstTechnique(Effect* effect)
{
    if (!effect || data(effect)->techniques.empty()) {
        return nullptr;
    }
    return data(effect)->techniques.front().handle();
}

Technique* nextTechnique(Technique* technique)
{
    if (!technique) {
        return nullptr;
    }
    TechniqueData* t = data(technique);
    EffectData* e = data(t->effect);
    return t->index + 1 < e->techniques.size() ? e->techniques[t->index + 1].handle() : nullptr;
}

Technique* namedTechnique(Effect* effect, const char* name)
{
    if (!effect || !name) {
        return nullptr;
    }
    for (TechniqueData& t : data(effect)->techniques) {
        if (t.name == name) {
            return t.handle();
        }
    }
    return nullptr;
}

const char* techniqueName(const Technique* technique) { return technique ? data(technique)->name.c_str() : ""; }

bool validateTechnique(Technique* technique)
{
    if (!technique) {
        return false;
    }
    TechniqueData& t = *data(technique);
    if (t.validation != 0) {
        return t.validation > 0;
    }
    Context* context = data(t.effect)->context;
    context->listing.clear();
    bool ok = true;
    for (PassData& pass : t.passes) {
        if (!buildPass(t, pass, context->listing)) {
            ok = false;
            break;
        }
    }
    if (!ok) {
        for (PassData& pass : t.passes) {
            deletePassProgram(pass);
        }
    }
    t.validation = ok ? 1 : -1;
    return ok;
}

bool isTechniqueValidated(const Technique* technique) { return technique && data(technique)->validation > 0; }

Pass* firstPass(Technique* technique)
{
    if (!technique || data(technique)->passes.empty()) {
        return nullptr;
    }
    return data(technique)->passes.front().handle();
}

Pass* nextPass(Pass* pass)
{
    if (!pass) {
        return nullptr;
    }
    PassData* p = data(pass);
    TechniqueData* t = data(p->technique);
    return p->index + 1 < t->passes.size() ? t->passes[p->index + 1].handle() : nullptr;
}

const char* passName(const Pass* pass) { return pass ? data(pass)->name.c_str() : ""; }
const char* passVertexSource(const Pass* pass) { return pass ? data(pass)->vertexSource.c_str() : ""; }

bool translatePass(Pass* pass, GlslTarget target, const char** vertex, const char** fragment)
{
    if (!pass) {
        return false;
    }
    PassData& p = *data(pass);
    const EffectData& e = *data(data(p.technique)->effect);
    Context& context = *e.context;
    std::vector<ParameterData*> usedVertex, usedFragment;
    ProgramTranslation vs, fs;
    context.listing.clear();
    const bool ok = translatePassPrograms(e, p, target, context.translatedVertex, context.translatedFragment,
                                          usedVertex, usedFragment, vs, fs, context.listing);
    if (!ok) {
        context.translatedVertex.clear();
        context.translatedFragment.clear();
    }
    if (vertex) {
        *vertex = context.translatedVertex.c_str();
    }
    if (fragment) {
        *fragment = context.translatedFragment.c_str();
    }
    return ok;
}
const char* passFragmentSource(const Pass* pass) { return pass ? data(pass)->fragmentSource.c_str() : ""; }

void setPassState(Pass* pass)
{
    if (!pass || !glReady()) {
        return;
    }
    PassData& p = *data(pass);
    if (data(p.technique)->validation <= 0 && !validateTechnique(p.technique)) {
        return;
    }
    gpu::useProgram(p.program);
    glActiveTexture(GL_TEXTURE0);
    for (const StateAssignment& s : p.states) {
        applyState(s);
    }
    for (const UniformBinding& u : p.uniforms) {
        uploadUniform(u);
    }
    gActivePass = &p;
    gpu::setBeforeDraw(beforeDraw);
    if (!p.stateMatrices.empty()) {
        uploadStateMatrices(p);
    }
    if (p.alphaRefLocation >= 0) {
        glUniform1f(p.alphaRefLocation, std::floor(p.alphaRef * 255.0f + 0.5f));
    }
    for (const SamplerBinding& s : p.samplers) {
        glActiveTexture(GL_TEXTURE0 + GLenum(s.unit));
        glBindTexture(s.target, effectiveTexture(*s.parameter));
    }
    glActiveTexture(GL_TEXTURE0);
}

void resetPassState(Pass* pass)
{
    if (!pass || !glReady()) {
        return;
    }
    const PassData& p = *data(pass);
    if (gActivePass == &p) {
        gActivePass = nullptr;
    }
    gpu::useProgram(0);
    glActiveTexture(GL_TEXTURE0);
    for (const StateAssignment& s : p.states) {
        resetState(s.kind);
    }
    for (const SamplerBinding& s : p.samplers) {
        glActiveTexture(GL_TEXTURE0 + GLenum(s.unit));
        glBindTexture(s.target, 0);
    }
    glActiveTexture(GL_TEXTURE0);
}

}  // namespace fx
