// Texture atlases of charts for meshes that have no natural texture coordinates (or
// several pieces that each have one), so that an ambient-occlusion map can be baked.
//
// A chart is a connected set of triangles flattened into the plane without folds; the
// charts are packed side by side into the unit square with a margin between them, so
// that no two triangles share a texel and the baker's dilation has room. Vertices on a
// chart border are split: each chart keeps its own copies (positions and normals are
// copied unchanged, so shading stays smooth across the split).
#pragma once
#include "resources/mesh.h"

#include <cstdint>
#include <vector>

namespace datagen {

struct ChartAtlasSettings {
    int size = 1024;           // picture the atlas is made for (texels on a side)
    int padding = 2;           // empty texels around every chart
    float coneDegrees = 70.0f; // a chart's triangles face at most this far from its axis
    int maxChartTriangles = 6000;
};

// Packs charts that already have flat coordinates: `mesh.uvs` holds, per vertex, its
// position in its chart in world units (any origin), `chartOfVertex` the chart of each
// vertex (0 .. chartCount-1; a triangle's corners lie in one chart). Every chart is
// turned to its tightest bounding rectangle (in steps of 15 degrees), all are scaled by
// one factor, as large as fits, and shelf-packed into the unit square. Returns the
// texels per world unit used, or 0 when the charts cannot be placed.
float packCharts(Mesh& mesh, const std::vector<int>& chartOfVertex, const ChartAtlasSettings& settings);

// Cuts a welded mesh (shared vertices, consistent winding) into charts grown from seed
// triangles over shared edges while the triangles face within the cone of the seed's
// normal and their projection onto the seed's plane covers nothing the chart already
// covers; then packs them with packCharts. The result has the same triangles in the same
// order, with border vertices split and `uvs` filled. `chartOfVertex`, when given,
// receives the chart of each output vertex.
Mesh atlasByProjection(const Mesh& welded, const ChartAtlasSettings& settings = ChartAtlasSettings(),
                       std::vector<int>* chartOfVertex = nullptr);

}  // namespace datagen
