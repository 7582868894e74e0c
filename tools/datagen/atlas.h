// Texture atlases for baked maps: a mesh is built as a list of charts, each a small
// triangle mesh with its own flat layout (2D coordinates in world units, without
// overlaps inside the chart); packAtlas scales every chart by one texel density,
// places them on shelves inside the unit square with a gap of empty texels around
// each, and joins them into one Mesh whose texture coordinates never overlap.
//
// Orientation: texture coordinates keep the layout's handedness; v grows upwards.
#pragma once
#include "datagen/cubemap.h"
#include "resources/mesh.h"

#include <cstdint>
#include <vector>

namespace datagen {

struct Chart {
    std::vector<float> points;   // 3 per vertex
    std::vector<float> normals;  // 3 per vertex, unit
    std::vector<float> layout;   // 2 per vertex, world units
    std::vector<int32_t> triangles;

    int32_t addVertex(const Vec3& p, const Vec3& n, float lx, float ly);
    void addTriangle(int32_t a, int32_t b, int32_t c) { triangles.insert(triangles.end(), {a, b, c}); }
    size_t vertexCount() const { return points.size() / 3; }
};

struct AtlasSettings {
    int size = 1024;   // texels across the map the atlas is made for
    int gap = 4;       // empty texels between neighbouring charts (and at the border)
};

// Joins the charts into one mesh with packed texture coordinates in [0, 1]. Charts
// keep their order, vertices and triangles. `density`, when given, receives texels per
// world unit.
Mesh packAtlas(const std::vector<Chart>& charts, const AtlasSettings& settings = AtlasSettings(),
               float* density = nullptr);

// packAtlas, then every triangle that shares a texel centre with another one (a chart
// folding over itself) is moved into a chart of its own and the charts are packed
// again, until no texel centre of the `settings.size` raster is covered twice.
Mesh packAtlasSeparated(std::vector<Chart> charts, const AtlasSettings& settings = AtlasSettings());

// Turns every triangle whose geometric normal disagrees with its vertex normals around,
// so that triangles are counter-clockwise seen from the side their normals face.
void orientTriangles(Chart& chart);

// Sum of the texture-space areas of the triangles and the area their union covers on a
// raster of `size` x `size` texel centres (a texel counts once however many triangles
// cover it): with overlapping charts the covered share falls below the summed area.
struct UvCoverage {
    double summedArea = 0;    // in texels
    long coveredTexels = 0;
    long overlappingTexels = 0;  // texel centres inside two or more triangles
    bool insideUnitSquare = true;
};
UvCoverage measureUvCoverage(const Mesh& mesh, int size);


// Charts for a mesh without texture coordinates (points, normals, polygons): triangles
// are grouped by the axis (±X, ±Y, ±Z) their face most nearly faces, connected groups
// become charts, groups smaller than `minTriangles` join a neighbour whose axis they
// also face, and each chart is projected flat along its axis. Vertices on chart borders
// are repeated in each chart. Every triangle faces its chart's axis, so a chart never
// folds over itself unless the surface winds round beneath itself along one axis.
std::vector<Chart> chartsByFacing(const Mesh& mesh, int minTriangles = 48);

}  // namespace datagen
