#include "gpu/immediate.h"

#include "gpu/matrices.h"

#include <epoxy/gl.h>

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

void setClientArray(GLenum array, bool on)
{
    if (on) {
        glEnableClientState(array);
    } else {
        glDisableClientState(array);
    }
}

void beforeDraw()
{
    if (state.beforeDraw) {
        state.beforeDraw();
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
    } else {
        glColor4f(r, g, b, a);
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

void setTexturing(bool on)
{
    state.texturing = on;
    // The texture's colour replaces the vertex colour (GL's default multiplies them): set
    // with either switch, so that it holds from the first one on.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    if (on) {
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
}

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

void bindVertexLayout(const VertexLayout& layout, const void* base)
{
    const char* at = static_cast<const char*>(base);
    setClientArray(GL_VERTEX_ARRAY, layout.position >= 0);
    if (layout.position >= 0) {
        glVertexPointer(layout.positionSize, GL_FLOAT, layout.stride, at + layout.position);
    }
    setClientArray(GL_NORMAL_ARRAY, layout.normal >= 0);
    if (layout.normal >= 0) {
        glNormalPointer(GL_FLOAT, layout.stride, at + layout.normal);
    }
    setClientArray(GL_TEXTURE_COORD_ARRAY, layout.texCoord >= 0);
    if (layout.texCoord >= 0) {
        glTexCoordPointer(layout.texCoordSize, GL_FLOAT, layout.stride, at + layout.texCoord);
    }
    setClientArray(GL_COLOR_ARRAY, layout.color >= 0);
    if (layout.color >= 0) {
        glColorPointer(layout.colorSize, GL_FLOAT, layout.stride, at + layout.color);
    }
}

void unbindVertexLayout()
{
    const bool hadColors = glIsEnabled(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (hadColors) {
        // A colour array leaves the current colour undefined.
        glColor4f(state.current.r, state.current.g, state.current.b, state.current.a);
    }
}

void drawArrays(unsigned int mode, int first, int count)
{
    beforeDraw();
    glDrawArrays(mode, first, count);
}

void drawElements(unsigned int mode, int count, unsigned int type, const void* indices)
{
    beforeDraw();
    glDrawElements(mode, count, type, indices);
}

void drawRangeElements(unsigned int mode, unsigned int start, unsigned int endIndex, int count, unsigned int type,
                       const void* indices)
{
    beforeDraw();
    glDrawRangeElements(mode, start, endIndex, count, type, indices);
}

void setBeforeDraw(void (*hook)()) { state.beforeDraw = hook; }

void releaseImmediate()
{
    if (state.stream != 0) {
        glDeleteBuffers(1, &state.stream);
        state.stream = 0;
        state.streamCapacity = 0;
    }
}

}  // namespace gpu
