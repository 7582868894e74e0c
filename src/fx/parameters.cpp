// The effect runtime's parameters: lookup, values (set by the program, read back, the GL
// state matrices), the textures and sampler states of samplers, and annotations.
#include "fx/runtime_internal.h"

#include "base/matrix.h"
#include "gpu/matrices.h"

#include <cctype>
#include <cstring>

namespace fx {

uint32_t effectiveTexture(const ParameterData& sampler)
{
    if (sampler.texture) {
        return sampler.texture;
    }
    return sampler.textureParameter ? sampler.textureParameter->texture : 0;
}

namespace {

// The mipmaps of the bound texture, made now (in place of GL_GENERATE_MIPMAP, which core
// and ES GL lack) with what this context has.
void generateMipmap(GLenum target)
{
    const bool es = !epoxy_is_desktop_gl();
    if (es || epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_framebuffer_object")) {
        glGenerateMipmap(target);
    } else if (epoxy_has_gl_extension("GL_EXT_framebuffer_object")) {
        glGenerateMipmapEXT(target);
    }
}

}  // namespace

void applySamplerState(const ParameterData& sampler, uint32_t texture)
{
    if (!texture || !glReady()) {
        return;
    }
    GLenum target = samplerTarget(sampler.type);
    GLenum bindingQuery = target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_BINDING_CUBE_MAP
                          : target == GL_TEXTURE_1D     ? GL_TEXTURE_BINDING_1D
                          : target == GL_TEXTURE_3D     ? GL_TEXTURE_BINDING_3D
                                                        : GL_TEXTURE_BINDING_2D;
    GLint previous = 0;
    glGetIntegerv(bindingQuery, &previous);
    glBindTexture(target, texture);
    const SamplerStateData& s = sampler.samplerState;
    if (s.minFilter) {
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, s.minFilter);
    }
    if (s.magFilter) {
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, s.magFilter);
    }
    // GL_CLAMP (which blends the border colour in at the edges) is gone from core and ES
    // GL: its nearest, GL_CLAMP_TO_EDGE, stands for it on every GL so that all draw alike.
    auto wrap = [](int mode) { return mode == GL_CLAMP ? GL_CLAMP_TO_EDGE : mode; };
    if (s.wrapS) {
        glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap(s.wrapS));
    }
    if (s.wrapT) {
        glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap(s.wrapT));
    }
    if (s.wrapR) {
        glTexParameteri(target, GL_TEXTURE_WRAP_R, wrap(s.wrapR));
    }
    if (s.generateMipmap > 0) {
        generateMipmap(target);
    }
    glBindTexture(target, GLuint(previous));
}

bool invertMatrix(const float* m, float* out)
{
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f) {
        return false;
    }
    for (int i = 0; i < 16; ++i) {
        out[i] = inv[i] / det;
    }
    return true;
}

// ---- parameters ----

Parameter* firstParameter(Effect* effect)
{
    if (!effect || data(effect)->listed.empty()) {
        return nullptr;
    }
    return handle(data(effect)->listed.front());
}

Parameter* nextParameter(Parameter* parameter)
{
    if (!parameter || data(parameter)->retired) {
        return nullptr;
    }
    ParameterData* p = data(parameter);
    EffectData* e = data(p->effect);
    return p->index + 1 < e->listed.size() ? handle(e->listed[p->index + 1]) : nullptr;
}

Parameter* namedParameter(Effect* effect, const char* name)
{
    if (!effect || !name) {
        return nullptr;
    }
    const auto& map = data(effect)->byName;
    auto it = map.find(std::string_view(name));
    return it == map.end() ? nullptr : handle(it->second);
}

Parameter* parameterBySemantic(Effect* effect, const char* semantic)
{
    if (!effect || !semantic) {
        return nullptr;
    }
    char upper[128];
    size_t n = std::strlen(semantic);
    if (n >= sizeof(upper)) {
        return nullptr;
    }
    for (size_t i = 0; i < n; ++i) {
        upper[i] = char(std::toupper(static_cast<unsigned char>(semantic[i])));
    }
    const auto& map = data(effect)->bySemantic;
    auto it = map.find(std::string_view(upper, n));
    return it == map.end() ? nullptr : handle(it->second);
}

const char* parameterName(const Parameter* parameter) { return parameter ? data(parameter)->name.c_str() : ""; }
Type parameterType(const Parameter* parameter) { return parameter ? data(parameter)->publicType : Type::Unknown; }
const char* parameterSemantic(const Parameter* parameter)
{
    return parameter ? data(parameter)->semantic.c_str() : "";
}
Effect* parameterEffect(const Parameter* parameter) { return parameter ? data(parameter)->effect : nullptr; }

int defaultValues(const Parameter* parameter, float* out, int max)
{
    if (!parameter || !out) {
        return 0;
    }
    const ParameterData& p = *data(parameter);
    int n = p.defaultCount < max ? p.defaultCount : max;
    for (int i = 0; i < n; ++i) {
        out[i] = p.defaults[i];
    }
    return n;
}

int currentValues(const Parameter* parameter, float* out, int max)
{
    if (!parameter || !out) {
        return 0;
    }
    const ParameterData& p = *data(parameter);
    int count = componentCount(p.type);
    int n = count < max ? count : max;
    for (int i = 0; i < n; ++i) {
        out[i] = p.value[i];
    }
    return n;
}

void setParameter4f(Parameter* parameter, float x, float y, float z, float w)
{
    if (!parameter) {
        return;
    }
    float* v = data(parameter)->value;
    v[0] = x;
    v[1] = y;
    v[2] = z;
    v[3] = w;
}

void setParameter1f(Parameter* parameter, float x)
{
    if (parameter) {
        data(parameter)->value[0] = x;
    }
}

void setParameter2f(Parameter* parameter, float x, float y)
{
    if (parameter) {
        data(parameter)->value[0] = x;
        data(parameter)->value[1] = y;
    }
}

void setParameter3f(Parameter* parameter, float x, float y, float z)
{
    if (parameter) {
        data(parameter)->value[0] = x;
        data(parameter)->value[1] = y;
        data(parameter)->value[2] = z;
    }
}

void setParameter1i(Parameter* parameter, int x) { setParameter1f(parameter, float(x)); }

void setMatrixParameterRowMajor(Parameter* parameter, const float* m)
{
    if (!parameter || !m) {
        return;
    }
    ParameterData& p = *data(parameter);
    int n = componentCount(p.type);
    for (int i = 0; i < n && i < 16; ++i) {
        p.value[i] = m[i];
    }
}

void setStateMatrixParameter(Parameter* parameter, StateMatrix matrix, MatrixTransform transform)
{
    if (!parameter || data(parameter)->publicType != Type::Float4x4) {
        return;
    }
    float m[16], a[16];
    switch (matrix) {
    case StateMatrix::ModelView:
        std::memcpy(m, gpu::matrix(gpu::MatrixMode::ModelView), sizeof(m));
        break;
    case StateMatrix::Projection:
        std::memcpy(m, gpu::matrix(gpu::MatrixMode::Projection), sizeof(m));
        break;
    case StateMatrix::Texture:
        std::memcpy(m, gpu::matrix(gpu::MatrixMode::Texture), sizeof(m));
        break;
    case StateMatrix::ModelViewProjection:
        gpu::modelViewProjection(m);
        break;
    }
    if (transform == MatrixTransform::Inverse || transform == MatrixTransform::InverseTranspose) {
        if (!invertMatrix(m, a)) {
            return;
        }
        std::memcpy(m, a, sizeof(m));
    }
    float* v = data(parameter)->value;
    bool transposed = transform == MatrixTransform::Transpose || transform == MatrixTransform::InverseTranspose;
    // m is column-major; the parameter holds rows.
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            v[r * 4 + c] = transposed ? m[r * 4 + c] : m[c * 4 + r];
        }
    }
}

void setupSampler(Parameter* sampler, uint32_t texture)
{
    if (!sampler || !data(sampler)->type.isSampler()) {
        return;
    }
    data(sampler)->texture = texture;
    applySamplerState(*data(sampler), texture);
}

void setTextureParameter(Parameter* texture, uint32_t name)
{
    if (!texture || data(texture)->type.base != TypeInfo::Texture) {
        return;
    }
    ParameterData& t = *data(texture);
    t.texture = name;
    for (ParameterData& p : data(t.effect)->parameters) {
        if (p.textureParameter == &t && !p.texture) {
            applySamplerState(p, name);
        }
    }
}

uint32_t samplerTexture(const Parameter* sampler) { return sampler ? effectiveTexture(*data(sampler)) : 0; }

// ---- annotations ----

Annotation* firstParameterAnnotation(Parameter* parameter)
{
    if (!parameter || data(parameter)->annotations.items.empty()) {
        return nullptr;
    }
    return data(parameter)->annotations.items.front().handle();
}

Annotation* nextAnnotation(Annotation* annotation)
{
    if (!annotation) {
        return nullptr;
    }
    AnnotationData* a = data(annotation);
    auto& items = const_cast<AnnotationList*>(a->list)->items;
    return a->index + 1 < items.size() ? items[a->index + 1].handle() : nullptr;
}

Annotation* namedParameterAnnotation(Parameter* parameter, const char* name)
{
    if (!parameter || !name) {
        return nullptr;
    }
    for (AnnotationData& a : data(parameter)->annotations.items) {
        if (a.name == name) {
            return a.handle();
        }
    }
    return nullptr;
}

const char* annotationName(const Annotation* annotation) { return annotation ? data(annotation)->name.c_str() : ""; }
Type annotationType(const Annotation* annotation) { return annotation ? data(annotation)->type : Type::Unknown; }

const float* floatAnnotationValues(const Annotation* annotation, int* count)
{
    if (count) {
        *count = annotation ? int(data(annotation)->values.size()) : 0;
    }
    return annotation && !data(annotation)->values.empty() ? data(annotation)->values.data() : nullptr;
}

const char* stringAnnotationValue(const Annotation* annotation)
{
    return annotation ? data(annotation)->text.c_str() : "";
}

}  // namespace fx
