#include "platform/outline_font.h"
#include "platform/font_lookup.h"

#include <GL/glu.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// Flattening tolerance when the caller asks for 0: a 400th of an em keeps the facets
// of a glyph under a pixel up to about 400 pixels per em (the names never come closer).
constexpr float finestDeviation = 0.0025f;

struct Point {
    double x, y;
};
using Contour = std::vector<Point>;

// FreeType's outline walk, flattening curves into the contours (font units).
struct Flattener {
    std::vector<Contour>* contours;
    double tolerance;  // in font units
    Point pen;

    void add(Point p)
    {
        Contour& c = contours->back();
        if (c.empty() || c.back().x != p.x || c.back().y != p.y) {
            c.push_back(p);
        }
        pen = p;
    }
    // Steps for a curve whose control polygon bends by `bend` (second difference):
    // the chord error of n uniform steps is at most bend / (8 n^2).
    int steps(double bend) const
    {
        const double n = std::ceil(std::sqrt(bend / (8.0 * tolerance)));
        return int(std::min(64.0, std::max(1.0, n)));
    }
};

Point toPoint(const FT_Vector* v) { return {double(v->x), double(v->y)}; }

int moveTo(const FT_Vector* to, void* user)
{
    Flattener* f = static_cast<Flattener*>(user);
    f->contours->emplace_back();
    f->add(toPoint(to));
    return 0;
}

int lineTo(const FT_Vector* to, void* user)
{
    static_cast<Flattener*>(user)->add(toPoint(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user)
{
    Flattener* f = static_cast<Flattener*>(user);
    const Point p0 = f->pen, p1 = toPoint(control), p2 = toPoint(to);
    const double bend = std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y);
    const int n = f->steps(bend);
    for (int i = 1; i <= n; ++i) {
        const double s = double(i) / n, r = 1.0 - s;
        f->add({r * r * p0.x + 2 * r * s * p1.x + s * s * p2.x, r * r * p0.y + 2 * r * s * p1.y + s * s * p2.y});
    }
    return 0;
}

int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user)
{
    Flattener* f = static_cast<Flattener*>(user);
    const Point p0 = f->pen, p1 = toPoint(c1), p2 = toPoint(c2), p3 = toPoint(to);
    const double bend = std::max(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                 std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
    const int n = f->steps(1.5 * bend);
    for (int i = 1; i <= n; ++i) {
        const double s = double(i) / n, r = 1.0 - s;
        const double a = r * r * r, b = 3 * r * r * s, c = 3 * r * s * s, d = s * s * s;
        f->add({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    return 0;
}

double signedArea(const Contour& c)
{
    double a = 0.0;
    for (size_t i = 0, n = c.size(); i < n; ++i) {
        const Point& p = c[i];
        const Point& q = c[(i + 1) % n];
        a += p.x * q.y - q.x * p.y;
    }
    return 0.5 * a;
}

// The tessellator's output: triangles only (an edge-flag callback makes it give up
// fans and strips), as pointers to the vertices it was given or made.
struct Tessellation {
    std::vector<const double*> triangles;
};

void GLAPIENTRY tessBegin(GLenum) {}
void GLAPIENTRY tessEdgeFlag(GLboolean) {}
void GLAPIENTRY tessEnd() {}

// Vertices the tessellator makes where outlines cross live in `extra` (their buffers
// stay put when the list grows).
struct CombineData {
    Tessellation tess;
    std::vector<std::vector<double>> extra;
};

void GLAPIENTRY tessVertexData(void* vertex, void* user)
{
    static_cast<CombineData*>(user)->tess.triangles.push_back(static_cast<const double*>(vertex));
}
void GLAPIENTRY tessCombineData(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* user)
{
    auto* d = static_cast<CombineData*>(user);
    d->extra.push_back({coords[0], coords[1], coords[2]});
    *out = d->extra.back().data();
}

void addVertex(std::vector<OutlineVertex>& out, double x, double y, double z, double nx, double ny, double nz)
{
    out.push_back({float(x), float(y), float(z), float(nx), float(ny), float(nz)});
}

// Front and back faces and side walls of one glyph (contours in ems, outer ones
// counter-clockwise) appended to `out`.
void emitGlyph(GLUtesselator* tess, const std::vector<Contour>& contours, double depth,
               std::vector<OutlineVertex>& out)
{
    std::vector<std::vector<double>> coords(contours.size());
    for (size_t c = 0; c < contours.size(); ++c) {
        for (const Point& p : contours[c]) {
            coords[c].insert(coords[c].end(), {p.x, p.y, 0.0});
        }
    }
    CombineData data;
    data.extra.reserve(256);
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess, 0.0, 0.0, 1.0);
    gluTessBeginPolygon(tess, &data);
    for (size_t c = 0; c < contours.size(); ++c) {
        gluTessBeginContour(tess);
        for (size_t i = 0; i < contours[c].size(); ++i) {
            double* v = &coords[c][i * 3];
            gluTessVertex(tess, v, v);
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);

    // The back face is the front one mirrored: each triangle's corners in reverse.
    const std::vector<const double*>& tri = data.tess.triangles;
    for (const double* v : tri) {
        addVertex(out, v[0], v[1], 0.0, 0.0, 0.0, 1.0);
    }
    for (size_t i = tri.size(); i >= 3; i -= 3) {
        for (size_t k = 0; k < 3; ++k) {
            const double* v = tri[i - 1 - k];
            addVertex(out, v[0], v[1], -depth, 0.0, 0.0, -1.0);
        }
    }

    // Walls: along a counter-clockwise outer contour (and a clockwise hole) the
    // material lies to the left, so (dy, -dx) points out of it. Each wall is the quad
    // p, p behind, q behind, q as two triangles.
    for (const Contour& c : contours) {
        for (size_t i = 0, n = c.size(); i < n; ++i) {
            const Point& p = c[i];
            const Point& q = c[(i + 1) % n];
            const double dx = q.x - p.x, dy = q.y - p.y;
            const double len = std::hypot(dx, dy);
            if (len <= 0.0) {
                continue;
            }
            const double nx = dy / len, ny = -dx / len;
            const double corners[4][3] = {{p.x, p.y, 0.0}, {p.x, p.y, -depth}, {q.x, q.y, -depth}, {q.x, q.y, 0.0}};
            for (int k : {0, 1, 2, 0, 2, 3}) {
                addVertex(out, corners[k][0], corners[k][1], corners[k][2], nx, ny, 0.0);
            }
        }
    }
}

// The glyph's contours in ems, outer contours counter-clockwise; false when FreeType
// cannot load it.
bool glyphContours(FT_Face face, unsigned long code, double tolerance, std::vector<Contour>* contours)
{
    contours->clear();
    if (FT_Load_Char(face, code, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0) {
        return false;
    }
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        return true;
    }
    FT_Outline_Funcs funcs = {};
    funcs.move_to = moveTo;
    funcs.line_to = lineTo;
    funcs.conic_to = conicTo;
    funcs.cubic_to = cubicTo;
    const double unitsPerEm = double(face->units_per_EM);
    Flattener flattener{contours, tolerance * unitsPerEm, {0, 0}};
    FT_Outline_Decompose(&face->glyph->outline, &funcs, &flattener);

    // Closed contours without a repeated end point, scaled to ems.
    double outerArea = 0.0;
    for (Contour& c : *contours) {
        if (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) {
            c.pop_back();
        }
        for (Point& p : c) {
            p.x /= unitsPerEm;
            p.y /= unitsPerEm;
        }
        const double a = signedArea(c);
        if (std::fabs(a) > std::fabs(outerArea)) {
            outerArea = a;
        }
    }
    contours->erase(std::remove_if(contours->begin(), contours->end(), [](const Contour& c) { return c.size() < 3; }),
                    contours->end());
    // TrueType draws outer contours clockwise, PostScript outlines counter-clockwise:
    // turn the glyph so that its largest contour runs counter-clockwise.
    if (outerArea < 0.0) {
        for (Contour& c : *contours) {
            std::reverse(c.begin(), c.end());
        }
    }
    return true;
}

}  // namespace

bool buildOutlineFont(const char* face, int first, int count, float deviation, float depth, OutlineGlyph* glyphs,
                      std::string* error)
{
    FontSource source;
    if (!findFace(face, &source, error)) {
        return false;
    }
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        *error = "FreeType could not be initialised";
        return false;
    }
    FT_Face ftFace = nullptr;
    const int opened = source.bytes ? FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(source.bytes->data()),
                                                         FT_Long(source.bytes->size()), source.index, &ftFace)
                                    : FT_New_Face(library, source.file.c_str(), source.index, &ftFace);
    if (opened != 0 || !FT_IS_SCALABLE(ftFace)) {
        *error = "cannot read the outlines of " + source.file;
        if (ftFace) {
            FT_Done_Face(ftFace);
        }
        FT_Done_FreeType(library);
        return false;
    }
    GLUtesselator* tess = gluNewTess();
    if (tess == nullptr) {
        *error = "the outline tessellator could not be made";
        FT_Done_Face(ftFace);
        FT_Done_FreeType(library);
        return false;
    }
    gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<_GLUfuncptr>(tessBegin));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG, reinterpret_cast<_GLUfuncptr>(tessEdgeFlag));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(tessVertexData));
    gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<_GLUfuncptr>(tessEnd));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(tessCombineData));

    const double tolerance = deviation > 0.0f ? double(deviation) : double(finestDeviation);
    const double unitsPerEm = double(ftFace->units_per_EM);
    std::vector<Contour> contours;
    for (int i = 0; i < count; ++i) {
        OutlineGlyph& glyph = glyphs[i];
        glyph.triangles.clear();
        GlyphMetrics m;
        if (glyphContours(ftFace, static_cast<unsigned long>(first + i), tolerance, &contours)) {
            if (!contours.empty()) {
                emitGlyph(tess, contours, depth, glyph.triangles);
            }
            const FT_Glyph_Metrics& gm = ftFace->glyph->metrics;
            m.blackBoxX = float(gm.width / unitsPerEm);
            m.blackBoxY = float(gm.height / unitsPerEm);
            m.originX = float(gm.horiBearingX / unitsPerEm);
            m.originY = float(gm.horiBearingY / unitsPerEm);
            m.cellIncX = float(ftFace->glyph->advance.x / unitsPerEm);
            m.cellIncY = float(ftFace->glyph->advance.y / unitsPerEm);
        }
        glyph.metrics = m;
    }
    gluDeleteTess(tess);
    FT_Done_Face(ftFace);
    FT_Done_FreeType(library);
    return true;
}

}  // namespace platform
