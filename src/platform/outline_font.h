// Outline fonts as solid 3D glyphs in GL display lists.
//
// buildOutlineFont resolves a face name through fontconfig (a metric-compatible
// substitute counts as the face: "Arial" is Liberation Sans here; a generic fallback
// does not), reads the glyph outlines with FreeType and compiles one display list per
// character code first .. first + count - 1 into the lists listBase + (code - first),
// which the caller reserved with glGenLists. Each list draws the glyph as a solid,
// extruded `depth` along -z: the front face at z = 0 (normal +z), the back face at
// z = -depth (normal -z), and the side walls (normals pointing out of the letter), as
// triangles and quads with normals but no texture coordinates, the faces tessellated
// with the GLU tessellator under the non-zero winding rule (holes stay open). The
// outline's curves are flattened to within `deviation` em; 0 or less means finely
// enough that no facet shows at any size the glyphs are drawn at. After drawing,
// each list translates by the glyph's advance, so glCallLists lays out a string.
//
// Units are ems: text one em high has glyphs about 0.7 high (capitals) and
// advances of about 0.56 for an average letter. Needs the GL context current; main
// thread only. Nothing is allocated or kept once the call returns.
#pragma once
#include <string>

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

// Builds the lists and fills metrics[0 .. count - 1]. False when the face cannot be
// found or read (no list is compiled then); *error says why.
bool buildOutlineFont(const char* face, int first, int count, unsigned int listBase, float deviation, float depth,
                      GlyphMetrics* metrics, std::string* error);

}  // namespace platform
