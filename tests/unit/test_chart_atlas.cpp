// Chart atlases as datagen makes them for the AO maps: texture coordinates inside the unit
// square, no two triangles on one texel, charts kept apart by their margin, the surface
// itself (positions, normals, triangle order) unchanged by the vertex split.
#include "datagen/chart_atlas.h"
#include "datagen/sculpture.h"
#include "datagen/strands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

// Texel centres covered by more than one triangle, and texels within `margin` of a texel
// of another chart, on a size x size raster of the texture coordinates.
struct Coverage {
    long overlapping = 0;
    long crowded = 0;
    long covered = 0;
};

Coverage rasterCheck(const Mesh& m, const std::vector<int>& chartOfVertex, int size, int margin)
{
    std::vector<int> owner(size_t(size) * size, -1);  // chart per texel
    std::vector<uint8_t> count(size_t(size) * size, 0);
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        float x[3], y[3];
        for (int k = 0; k < 3; ++k) {
            x[k] = m.uvs[size_t(m.polygons[t + size_t(k)]) * 2] * float(size);
            y[k] = m.uvs[size_t(m.polygons[t + size_t(k)]) * 2 + 1] * float(size);
        }
        const double area = (double(x[1]) - x[0]) * (double(y[2]) - y[0]) - (double(x[2]) - x[0]) * (double(y[1]) - y[0]);
        if (area == 0.0) {
            continue;
        }
        const int chart = chartOfVertex[size_t(m.polygons[t])];
        const int x0 = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))));
        const int x1 = std::min(size - 1, int(std::ceil(std::max({x[0], x[1], x[2]}))));
        const int y0 = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))));
        const int y1 = std::min(size - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
        for (int j = y0; j <= y1; ++j) {
            for (int i = x0; i <= x1; ++i) {
                const double cx = i + 0.5, cy = j + 0.5;
                bool inside = true;
                for (int e = 0; e < 3 && inside; ++e) {
                    const int a = e, b = (e + 1) % 3;
                    const double side = (double(x[b]) - x[a]) * (cy - y[a]) - (double(y[b]) - y[a]) * (cx - x[a]);
                    inside = side * area > 1e-9 * std::fabs(area);
                }
                if (inside) {
                    const size_t texel = size_t(j) * size + size_t(i);
                    count[texel] = uint8_t(std::min(255, count[texel] + 1));
                    owner[texel] = chart;
                }
            }
        }
    }
    Coverage c;
    for (int j = 0; j < size; ++j) {
        for (int i = 0; i < size; ++i) {
            const size_t texel = size_t(j) * size + size_t(i);
            if (owner[texel] < 0) {
                continue;
            }
            ++c.covered;
            c.overlapping += count[texel] > 1;
            bool near = false;
            for (int dj = -margin; dj <= margin && !near; ++dj) {
                for (int di = -margin; di <= margin && !near; ++di) {
                    const int ni = i + di, nj = j + dj;
                    if (ni >= 0 && nj >= 0 && ni < size && nj < size) {
                        const int other = owner[size_t(nj) * size + size_t(ni)];
                        near = other >= 0 && other != owner[texel];
                    }
                }
            }
            c.crowded += near;
        }
    }
    return c;
}

Mesh smallSculpture(std::vector<int>* charts)
{
    datagen::SculptureShape shape;
    shape.voxel = 0.12f;
    shape.maxTriangles = 30000;
    return datagen::atlasByProjection(datagen::makeSculptureSurface(shape), datagen::ChartAtlasSettings(), charts);
}

}  // namespace

TEST(ChartAtlas, ChartsCoverTheSquareWithoutOverlapAndKeepTheirMargin)
{
    struct Case {
        const char* name;
        std::function<Mesh(std::vector<int>*)> make;
    };
    const Case cases[] = {
        {"projected sculpture", smallSculpture},
        {"unrolled strands", [](std::vector<int>* charts) { return datagen::makeStrands(datagen::StrandsShape(), charts); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> charts;
        const Mesh m = c.make(&charts);
        ASSERT_EQ(charts.size(), m.points.size() / 3);
        ASSERT_EQ(m.uvs.size(), m.points.size() / 3 * 2);
        for (float uv : m.uvs) {
            ASSERT_GE(uv, 0.0f);
            ASSERT_LE(uv, 1.0f);
        }
        for (size_t t = 0; t < m.polygons.size(); t += 3) {
            const int chart = charts[size_t(m.polygons[t])];
            ASSERT_EQ(charts[size_t(m.polygons[t + 1])], chart) << "a triangle spans two charts";
            ASSERT_EQ(charts[size_t(m.polygons[t + 2])], chart) << "a triangle spans two charts";
        }
        const Coverage coverage = rasterCheck(m, charts, 1024, 2);
        EXPECT_EQ(coverage.overlapping, 0);
        EXPECT_EQ(coverage.crowded, 0) << "charts closer than their margin";
        EXPECT_GT(coverage.covered, 1024 * 1024 / 5) << "the atlas uses a fair share of the picture";
    }
}
