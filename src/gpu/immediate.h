// Drawing vertices given one by one, from buffers: begin(primitive), vertex attributes,
// end() draws what was given through a stream buffer (quads become two triangles each,
// so many quads go out in one draw). Between startBatch and finishBatch the same calls
// fill a VertexBatch instead, a buffer of its own drawn later as often as needed (what
// a display list was). Vertex and mesh draws go through drawArrays / drawElements here,
// which hand the current matrices to the draw (gpu/matrices.h).
//
// Attributes: a vertex takes the current colour, texture coordinate and normal, as in
// GL; every draw feeds them as generic attributes at the kAttribute* locations, from
// one vertex array object (what GL 3.3 core and OpenGL ES 3.0 need; GL 2.1 takes the
// same). Plain draws (no program in use) go through two small programs of our own:
// coloured by the current colour, or, with setTexturing(true), by the texture bound to
// unit 0 (its colour replaces the vertex colour). Programs of the effect runtime read
// the same locations.
//
// Needs the context current; main thread only. The stream storage grows to the largest
// batch seen and is reused: no allocation per frame once warm.
#pragma once
#include <cstddef>
#include <vector>

namespace gpu {

// Attribute locations every program is linked with.
constexpr unsigned kAttributePosition = 0;
constexpr unsigned kAttributeNormal = 2;
constexpr unsigned kAttributeColor = 3;
constexpr unsigned kAttributeTexCoord0 = 8;
constexpr unsigned kAttributeTexCoord1 = 9;

enum class Primitive { Points, Lines, LineStrip, LineLoop, Triangles, TriangleStrip, TriangleFan, Quads };

struct ImmediateVertex {
    float x, y, z;
    float u, v;
    float r, g, b, a;
    float nx, ny, nz;
};

void begin(Primitive primitive);
void vertex(float x, float y, float z = 0.0f);
void end();
// Current attributes (also outside begin/end).
void color(float r, float g, float b, float a = 1.0f);
void texCoord(float u, float v);
void normal(float x, float y, float z);
// One quad from (x0, y0) to (x1, y1) at depth 0 with texture coordinates (s0, t0) to
// (s1, t1) at the corners; inside or outside begin(Primitive::Quads)...end().
void rect(float x0, float y0, float x1, float y1, float s0 = 0.0f, float t0 = 0.0f, float s1 = 1.0f,
          float t1 = 1.0f);

// The value texture coordinate set `set` (1 to 7) holds in every vertex of the draws
// that follow, none of which gives it per vertex: what a program reads as TEXCOORDn,
// constant over a draw (set 0 is texCoord's).
void constantTexCoord(int set, float s, float t, float r, float q);

void setTexturing(bool on);
bool texturing();
const float* currentColor();

// Vertices kept in a buffer of their own.
struct VertexBatch {
    struct Range {
        Primitive primitive;
        int first, count;
        bool colors;  // colour given per vertex; else the current colour at the draw
    };
    unsigned int buffer = 0;
    std::vector<Range> ranges;
};
void startBatch();
// Uploads what begin/end gave since startBatch into `batch` (its old buffer is reused
// or released).
void finishBatch(VertexBatch& batch);
void drawBatch(const VertexBatch& batch);
void releaseBatch(VertexBatch& batch);

// A vertex layout in the buffer bound to GL_ARRAY_BUFFER: byte offsets, -1 when the
// vertex has no such attribute; sizes in floats.
struct VertexLayout {
    int stride = 0;
    int position = -1, positionSize = 3;
    int normal = -1;
    int texCoord = -1, texCoordSize = 2;
    int texCoord1 = -1, texCoord1Size = 2;  // a second set (TEXCOORD1 of a program)
    int color = -1, colorSize = 4;
};
// Points the attributes at the buffer bound to GL_ARRAY_BUFFER (no client memory: core
// and ES GL draw from buffers only) and leaves the rest at their current values.
void bindVertexLayout(const VertexLayout& layout);
void unbindVertexLayout();
// GL draws with the current matrices handed over first.
void drawArrays(unsigned int mode, int first, int count);
void drawElements(unsigned int mode, int count, unsigned int type, const void* indices);
void drawRangeElements(unsigned int mode, unsigned int start, unsigned int endIndex, int count, unsigned int type,
                       const void* indices);

// Called before every draw above (the effect runtime hands its programs the matrices).
void setBeforeDraw(void (*hook)());

// Puts `program` in use (0: none, so that draws take the plain programs). Every program
// of ours is put in use here, so that draws know it without asking GL; code that puts
// another in use puts the previous one back before gpu draws again.
void useProgram(unsigned int program);
unsigned int currentProgram();

// Releases the stream buffer, the vertex array and the plain programs (before the
// context goes).
void releaseImmediate();

// Whether the current context is a desktop core profile (no fixed function at all).
bool isCoreProfile();

// The first line(s) of a GLSL program for the current context: "#version 120",
// "#version 330 core" or "#version 300 es" with precision lines.
const char* glslVersionHeader();

}  // namespace gpu
