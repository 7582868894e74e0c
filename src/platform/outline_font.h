// Outline fonts as solid 3D glyphs, given as triangles on the CPU.
//
// buildOutlineFont resolves a face name through fontconfig (a metric-compatible
// substitute counts as the face: "Arial" is Liberation Sans here; a generic fallback
// does not; in the browser, among the font files handed over with addFontFile), reads
// the glyph outlines with FreeType and fills one OutlineGlyph per character code
// first .. first + count - 1. Each glyph is a solid extruded `depth`
// along -z: the front face at z = 0 (normal +z), the back face at z = -depth (normal
// -z), and the side walls (normals pointing out of the letter), as triangles wound
// counter-clockwise seen from outside the solid, the faces tessellated with the GLU
// tessellator under the non-zero winding rule (holes stay open). The glyph's origin is
// at (0, 0, 0); the next glyph's origin lies its advance (cellIncX, cellIncY) further.
// The outline's curves are flattened to within `deviation` em; 0 or less means finely
// enough that no facet shows at any size the glyphs are drawn at.
//
// Units are ems: text one em high has glyphs about 0.7 high (capitals) and
// advances of about 0.56 for an average letter. Needs no GL context (the tessellator
// works on the CPU); main thread only (fontconfig). The caller owns what it is given;
// nothing is kept once the call returns.
#pragma once
#include <string>
#include <vector>

namespace platform {

// One glyph's metrics, in ems.
struct GlyphMetrics {
    float blackBoxX = 0.0f;  // width and height of the smallest box around the outline
    float blackBoxY = 0.0f;
    float originX = 0.0f;    // upper-left corner of that box, from the glyph's origin
    float originY = 0.0f;
    float cellIncX = 0.0f;   // advance to the next glyph's origin
    float cellIncY = 0.0f;
};

// One corner of a glyph's triangles: position and normal, in ems.
struct OutlineVertex {
    float x, y, z;
    float nx, ny, nz;
};

// One character's solid: three vertices a triangle, and its metrics.
struct OutlineGlyph {
    std::vector<OutlineVertex> triangles;
    GlyphMetrics metrics;
};

// Fills glyphs[0 .. count - 1] (their old triangles replaced). False when the face
// cannot be found or read (the glyphs are left untouched then); *error says why. A
// character the face has no outline for gets no triangles and zero metrics.
bool buildOutlineFont(const char* face, int first, int count, float deviation, float depth, OutlineGlyph* glyphs,
                      std::string* error);

// True where the system has no fonts to find faces among (the browser): the program
// then hands its own font files over with addFontFile before the first buildOutlineFont.
bool fontFilesNeeded();
// Keeps a TrueType or OpenType file's bytes for the faces it holds (ignored where
// fontFilesNeeded is false).
void addFontFile(std::vector<char> bytes);

}  // namespace platform
