// Greetings: 27 names as solid gold 3D type, each tumbling on its own round a slowly
// turning centre and fading in over three seconds (demo time 173-193 s). Drawn over
// Vantel, in the projection and view Vantel leaves: it sets no camera of its own (its
// camera block is on the GUI bar but unused).
//
// init, in order: the camera variables; the entry count to 0; the outline font (once:
// "Arial", the solids of character codes 32..126, extruded 0.01, advances in ems; a
// failed build shows "wglUseFontOutlines failed!" with caption "GLFont" and the part
// goes on without visible text); the names of data/text/greetings.txt, each after the
// first taking six or more draws from the shared generator; each entry's text laid out
// glyph after glyph into one vertex batch; greets_render. The entries never change
// afterwards; everything that moves is a function of t. The batches are released by
// the destructor.
#pragma once
#include "effects/effect.h"
#include "gpu/immediate.h"
#include "platform/outline_font.h"
#include "resources/shader.h"

constexpr int greetingCapacity = 27;
constexpr int greetingMaxLength = 17;
constexpr int glyphFirst = 32;  // character codes 32..126 have glyphs
constexpr int glyphCount = 95;

// One name and where it tumbles.
struct GreetingEntry {
    char text[greetingMaxLength + 1] = {};
    int length = 0;
    float halfWidth = 0.0f;  // half the sum of the glyphs' advances, in ems
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;  // start angles about X, Y and Z, degrees
};

// The names built into the part, in drawing order.
extern const char* const greetingNames[];
extern const int greetingNameCount;

class Greetings : public Effect {
public:
    Greetings() = default;
    ~Greetings() override;
    Greetings(const Greetings&) = delete;
    Greetings& operator=(const Greetings&) = delete;

    int init() override;
    void render(float localTime) override;

    // Fills the next entry (none once all 27 are used): its text (characters outside
    // 32..126 become blanks, at most 17 are kept), half width from the glyph advances,
    // and, for every entry but the first, six draws x = (r - .5)·24, y = (r - .5)·10,
    // z = (r - .5)·12, a1 = (r - .5)·360, a2 = (r - .5)·360, a3 = (r - .5)·640, then a
    // fresh draw for each of x, y, z within ±2 of the middle, which multiplies it by
    // 2 + 10r, 2 + 2r and 2 + 10r respectively. Its batch is made by init.
    void add(const char* name);

    const char* fontFace = "Arial";
    Shader shader;  // shaders/greets_render.cgfx
    GreetingEntry entries[greetingCapacity];
    int entryCount = 0;
    bool fontTried = false;  // the font was built (or failed) once: never again
    platform::OutlineGlyph glyphs[glyphCount];  // a character code less 32 indexes its solid and metrics
    // Entry i's text, its glyphs one after the other from the origin along their
    // advances (what the normals and the current colour light), drawn in one go.
    gpu::VertexBatch nameBatches[greetingCapacity];
    CameraBlock camera{0.0f, -1.0f, -10.0f, 0.0f, 0.0f, 0.0f, 70.0f, 20.0f};

    // Lays each entry's text out into its batch (a text without a glyph to draw gets no
    // buffer).
    void buildNameBatches();

private:
    void buildFont();
    void buildNameBatch(const GreetingEntry& entry, gpu::VertexBatch& batch) const;
};
