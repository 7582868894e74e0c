#include "gpu/immediate.h"

#include "gpu/matrices.h"

#include <epoxy/gl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace gpu {
namespace {

struct Immediate {
    std::vector<ImmediateVertex> vertices;  // of the batch being recorded, or of one begin..end
    size_t primitiveStart = 0;               // where the current begin's vertices start
    Primitive primitive = Primitive::Triangles;
    bool inside = false;
    bool colorsGiven = false;  // color() called since begin
    bool recording = false;
    std::vector<VertexBatch::Range> ranges;  // of the batch being recorded
    ImmediateVertex current = {0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 1};
    bool texturing = false;
    GLuint stream = 0;
    size_t streamCapacity = 0;
    void (*beforeDraw)() = nullptr;
    GLuint vertexArray = 0;
    bool vertexArrayTried = false;
    bool vertexArrayBound = false;  // ours stays bound once bound (see bindVertexArray)
    GLuint program = 0;             // as put in use through useProgram
    unsigned enabledArrays = 0;  // bit per generic attribute location
    GLuint plain[2] = {0, 0};    // untextured, textured
    GLint plainMvp[2] = {-1, -1};
    bool plainTried = false;
};

Immediate state;

const VertexLayout immediateLayout = [] {
    VertexLayout l;
    l.stride = sizeof(ImmediateVertex);
    l.position = offsetof(ImmediateVertex, x);
    l.texCoord = offsetof(ImmediateVertex, u);
    l.color = offsetof(ImmediateVertex, r);
    l.normal = offsetof(ImmediateVertex, nx);
    return l;
}();

const VertexLayout uncolouredLayout = [] {
    VertexLayout l = immediateLayout;
    l.color = -1;
    return l;
}();

GLenum glMode(Primitive p)
{
    switch (p) {
    case Primitive::Points: return GL_POINTS;
    case Primitive::Lines: return GL_LINES;
    case Primitive::LineStrip: return GL_LINE_STRIP;
    case Primitive::LineLoop: return GL_LINE_LOOP;
    case Primitive::Triangles: return GL_TRIANGLES;
    case Primitive::TriangleStrip: return GL_TRIANGLE_STRIP;
    case Primitive::TriangleFan: return GL_TRIANGLE_FAN;
    case Primitive::Quads: return GL_TRIANGLES;
    }
    return GL_TRIANGLES;
}

// The quads given since primitiveStart, each a, b, c, d, as the triangles a b c, a c d.
void quadsToTriangles()
{
    std::vector<ImmediateVertex>& v = state.vertices;
    const size_t quads = (v.size() - state.primitiveStart) / 4;
    v.resize(state.primitiveStart + quads * 6);
    for (size_t q = quads; q-- > 0;) {
        const ImmediateVertex* in = &v[state.primitiveStart + q * 4];
        ImmediateVertex quad[4];
        std::memcpy(quad, in, sizeof quad);
        ImmediateVertex* out = &v[state.primitiveStart + q * 6];
        out[0] = quad[0];
        out[1] = quad[1];
        out[2] = quad[2];
        out[3] = quad[0];
        out[4] = quad[2];
        out[5] = quad[3];
    }
}

bool hasVertexArrays()
{
    return !epoxy_is_desktop_gl() || epoxy_gl_version() >= 30 ||
           epoxy_has_gl_extension("GL_ARB_vertex_array_object");
}

// Core profiles draw only with a vertex array object bound: one serves every draw and
// stays bound from the first draw on (code that binds another puts ours back). The
// index buffer binding belongs to the vertex array, so the one bound before ours comes
// along into it.
void bindVertexArray()
{
    if (state.vertexArrayBound) {
        return;
    }
    if (!state.vertexArrayTried) {
        state.vertexArrayTried = true;
        if (hasVertexArrays()) {
            glGenVertexArrays(1, &state.vertexArray);
        }
    }
    if (state.vertexArray == 0) {
        return;
    }
    GLint indices = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &indices);
    glBindVertexArray(state.vertexArray);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(indices));
    state.vertexArrayBound = true;
}

void setGenericArray(unsigned location, int size, int stride, const void* at, bool on)
{
    const unsigned bit = 1u << location;
    if (on) {
        if (!(state.enabledArrays & bit)) {
            glEnableVertexAttribArray(location);
            state.enabledArrays |= bit;
        }
        glVertexAttribPointer(location, size, GL_FLOAT, GL_FALSE, stride, at);
    } else if (state.enabledArrays & bit) {
        glDisableVertexAttribArray(location);
        state.enabledArrays &= ~bit;
    }
}

// The current attributes stand for the arrays a layout lacks.
void setCurrentAttributes()
{
    const ImmediateVertex& c = state.current;
    if (!(state.enabledArrays & (1u << kAttributeColor))) {
        glVertexAttrib4f(kAttributeColor, c.r, c.g, c.b, c.a);
    }
    if (!(state.enabledArrays & (1u << kAttributeTexCoord0))) {
        glVertexAttrib4f(kAttributeTexCoord0, c.u, c.v, 0.0f, 1.0f);
    }
    if (!(state.enabledArrays & (1u << kAttributeNormal))) {
        glVertexAttrib3f(kAttributeNormal, c.nx, c.ny, c.nz);
    }
}

const char* const plainVertex = R"(
#if __VERSION__ >= 130
#define attribute in
#define varying out
#endif
attribute vec4 position;
attribute vec4 color;
attribute vec4 texCoord;
uniform mat4 modelViewProjection;
varying vec4 vColor;
varying vec2 vTexCoord;
void main()
{
    vColor = color;
    vTexCoord = texCoord.xy;
    gl_PointSize = 1.0;
    gl_Position = modelViewProjection * position;
}
)";

const char* const plainFragment = R"(
#if __VERSION__ >= 130
#define varying in
#define texture2D texture
layout(location = 0) out vec4 fragColor;
#else
#define fragColor gl_FragColor
#endif
varying vec4 vColor;
varying vec2 vTexCoord;
uniform sampler2D picture;
void main()
{
#ifdef TEXTURED
    fragColor = texture2D(picture, vTexCoord);
#else
    fragColor = vColor;
#endif
}
)";

GLuint compileStage(GLenum kind, const char* defines, const char* body)
{
    const char* parts[] = {glslVersionHeader(), defines, body};
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 3, parts, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "coredemo: the plain drawing program does not compile: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint linkPlain(bool textured)
{
    const char* defines = textured ? "#define TEXTURED\n" : "\n";
    const GLuint vs = compileStage(GL_VERTEX_SHADER, defines, plainVertex);
    const GLuint fs = compileStage(GL_FRAGMENT_SHADER, defines, plainFragment);
    if (!vs || !fs) {
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glBindAttribLocation(program, kAttributePosition, "position");
    glBindAttribLocation(program, kAttributeColor, "color");
    glBindAttribLocation(program, kAttributeTexCoord0, "texCoord");
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        glDeleteProgram(program);
        return 0;
    }
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "picture"), 0);
    glUseProgram(0);
    return program;
}

// Draws with the plain program when no program is in use; true when it was put in use
// (the caller puts it away after the draw).
bool usePlainProgram()
{
    if (state.program != 0) {
        return false;
    }
    if (!state.plainTried) {
        state.plainTried = true;
        for (int i = 0; i < 2; ++i) {
            state.plain[i] = linkPlain(i == 1);
            state.plainMvp[i] = state.plain[i] ? glGetUniformLocation(state.plain[i], "modelViewProjection") : -1;
        }
    }
    const int which = state.texturing ? 1 : 0;
    if (!state.plain[which]) {
        return false;
    }
    float mvp[16];
    modelViewProjection(mvp);
    glUseProgram(state.plain[which]);
    glUniformMatrix4fv(state.plainMvp[which], 1, GL_FALSE, mvp);
    return true;
}

// Returns whether the plain program was put in use for this draw.
bool beforeDraw()
{
    setCurrentAttributes();
    if (usePlainProgram()) {
        return true;
    }
    if (state.beforeDraw) {
        state.beforeDraw();
    }
    return false;
}

void afterDraw(bool plain)
{
    if (plain) {
        glUseProgram(0);
    }
}

}  // namespace

void begin(Primitive primitive)
{
    if (!state.recording) {
        state.vertices.clear();
    }
    state.primitiveStart = state.vertices.size();
    state.primitive = primitive;
    state.inside = true;
    state.colorsGiven = false;
}

void vertex(float x, float y, float z)
{
    ImmediateVertex v = state.current;
    v.x = x;
    v.y = y;
    v.z = z;
    state.vertices.push_back(v);
}

void end()
{
    if (!state.inside) {
        return;
    }
    state.inside = false;
    if (state.primitive == Primitive::Quads) {
        quadsToTriangles();
    }
    const int first = int(state.primitiveStart);
    const int count = int(state.vertices.size() - state.primitiveStart);
    if (count == 0) {
        return;
    }
    if (state.recording) {
        state.ranges.push_back({state.primitive, first, count, state.colorsGiven});
        return;
    }
    if (state.stream == 0) {
        glGenBuffers(1, &state.stream);
    }
    const size_t bytes = state.vertices.size() * sizeof(ImmediateVertex);
    glBindBuffer(GL_ARRAY_BUFFER, state.stream);
    if (bytes > state.streamCapacity) {
        state.streamCapacity = bytes * 2;
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(state.streamCapacity), nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes), state.vertices.data());
    bindVertexLayout(state.colorsGiven ? immediateLayout : uncolouredLayout);
    drawArrays(glMode(state.primitive), first, count);
    unbindVertexLayout();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void color(float r, float g, float b, float a)
{
    state.current.r = r;
    state.current.g = g;
    state.current.b = b;
    state.current.a = a;
    if (state.inside) {
        state.colorsGiven = true;
    }
}

void texCoord(float u, float v)
{
    state.current.u = u;
    state.current.v = v;
}

void normal(float x, float y, float z)
{
    state.current.nx = x;
    state.current.ny = y;
    state.current.nz = z;
}

void rect(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1)
{
    const bool alone = !state.inside;
    if (alone) {
        begin(Primitive::Quads);
    }
    texCoord(s0, t0);
    vertex(x0, y0);
    texCoord(s1, t0);
    vertex(x1, y0);
    texCoord(s1, t1);
    vertex(x1, y1);
    texCoord(s0, t1);
    vertex(x0, y1);
    if (alone) {
        end();
    }
}

void constantTexCoord(int set, float s, float t, float r, float q)
{
    glVertexAttrib4f(kAttributeTexCoord0 + unsigned(set), s, t, r, q);
}

void setTexturing(bool on) { state.texturing = on; }

bool texturing() { return state.texturing; }

const float* currentColor() { return &state.current.r; }

void startBatch()
{
    state.vertices.clear();
    state.ranges.clear();
    state.recording = true;
}

void finishBatch(VertexBatch& batch)
{
    state.recording = false;
    if (batch.buffer == 0) {
        glGenBuffers(1, &batch.buffer);
    }
    glBindBuffer(GL_ARRAY_BUFFER, batch.buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(state.vertices.size() * sizeof(ImmediateVertex)), state.vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    batch.ranges = state.ranges;
    state.vertices.clear();
    state.ranges.clear();
}

void drawBatch(const VertexBatch& batch)
{
    if (batch.buffer == 0 || batch.ranges.empty()) {
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, batch.buffer);
    for (const VertexBatch::Range& range : batch.ranges) {
        bindVertexLayout(range.colors ? immediateLayout : uncolouredLayout);
        drawArrays(glMode(range.primitive), range.first, range.count);
    }
    unbindVertexLayout();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void releaseBatch(VertexBatch& batch)
{
    if (batch.buffer != 0) {
        glDeleteBuffers(1, &batch.buffer);
        batch.buffer = 0;
    }
    batch.ranges.clear();
}

void bindVertexLayout(const VertexLayout& layout)
{
    // Offsets into the bound buffer are passed as pointers.
    const auto at = [](int offset) { return reinterpret_cast<const void*>(uintptr_t(offset < 0 ? 0 : offset)); };
    bindVertexArray();
    setGenericArray(kAttributePosition, layout.positionSize, layout.stride, at(layout.position), layout.position >= 0);
    setGenericArray(kAttributeNormal, 3, layout.stride, at(layout.normal), layout.normal >= 0);
    setGenericArray(kAttributeTexCoord0, layout.texCoordSize, layout.stride, at(layout.texCoord), layout.texCoord >= 0);
    setGenericArray(kAttributeTexCoord1, layout.texCoord1Size, layout.stride, at(layout.texCoord1),
                    layout.texCoord1 >= 0);
    setGenericArray(kAttributeColor, layout.colorSize, layout.stride, at(layout.color), layout.color >= 0);
}

void unbindVertexLayout()
{
    for (unsigned location :
         {kAttributePosition, kAttributeNormal, kAttributeTexCoord0, kAttributeTexCoord1, kAttributeColor}) {
        setGenericArray(location, 0, 0, nullptr, false);
    }
}

void drawArrays(unsigned int mode, int first, int count)
{
    const bool plain = beforeDraw();
    glDrawArrays(mode, first, count);
    afterDraw(plain);
}

void drawElements(unsigned int mode, int count, unsigned int type, const void* indices)
{
    const bool plain = beforeDraw();
    glDrawElements(mode, count, type, indices);
    afterDraw(plain);
}

void drawRangeElements(unsigned int mode, unsigned int start, unsigned int endIndex, int count, unsigned int type,
                       const void* indices)
{
    const bool plain = beforeDraw();
    glDrawRangeElements(mode, start, endIndex, count, type, indices);
    afterDraw(plain);
}

void setBeforeDraw(void (*hook)()) { state.beforeDraw = hook; }

void useProgram(unsigned int program)
{
    glUseProgram(program);
    state.program = program;
}

unsigned int currentProgram() { return state.program; }

void releaseImmediate()
{
    if (state.stream != 0) {
        glDeleteBuffers(1, &state.stream);
        state.stream = 0;
        state.streamCapacity = 0;
    }
    if (state.vertexArray != 0) {
        glDeleteVertexArrays(1, &state.vertexArray);
        state.vertexArray = 0;
    }
    state.vertexArrayTried = false;
    state.vertexArrayBound = false;
    state.enabledArrays = 0;
    state.program = 0;
    for (GLuint& program : state.plain) {
        if (program != 0) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    state.plainTried = false;
}

bool isCoreProfile()
{
    if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 32) {
        return false;
    }
    GLint mask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    return (mask & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
}

const char* glslVersionHeader()
{
    if (!epoxy_is_desktop_gl()) {
        return "#version 300 es\nprecision highp float;\nprecision highp int;\n";
    }
    return isCoreProfile() ? "#version 330 core\n" : "#version 120\n";
}

}  // namespace gpu
