// The two sculpted meshes of the hub and phalanx parts: budget, closed normals, and
// atlases whose charts neither overlap nor leave the unit square, checked on a raster
// of the baked map's size.
#include "datagen/atlas.h"
#include "datagen/hub.h"
#include "datagen/phalanx_sculpture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace datagen;

namespace {

struct Case {
    const char* name;
    Mesh (*make)();
};

Mesh hub() { return makeHub(); }
Mesh phalanx() { return makePhalanxSculpture(); }

}  // namespace

TEST(Sculptures, MeshesFitTheBudgetWithUnitNormalsAndAnAtlasWithoutOverlaps)
{
    const Case cases[] = {{"hub", hub}, {"phalanx", phalanx}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mesh m = c.make();
        const size_t vertices = m.points.size() / 3;
        ASSERT_EQ(m.normals.size(), m.points.size());
        ASSERT_EQ(m.uvs.size(), vertices * 2);
        ASSERT_EQ(m.polygons.size() % 3, 0u);
        const size_t triangles = m.polygons.size() / 3;
        EXPECT_LE(triangles, 150000u);
        EXPECT_GT(triangles, 10000u) << "detail at every scale, not simplified away";
        for (int32_t i : m.polygons) {
            ASSERT_GE(i, 0);
            ASSERT_LT(size_t(i), vertices);
        }
        for (size_t v = 0; v < vertices; ++v) {
            float l = std::sqrt(m.normals[3 * v] * m.normals[3 * v] + m.normals[3 * v + 1] * m.normals[3 * v + 1] +
                                m.normals[3 * v + 2] * m.normals[3 * v + 2]);
            ASSERT_NEAR(l, 1.0f, 1e-3f) << "vertex " << v;
        }
        UvCoverage cover = measureUvCoverage(m, 1024);
        std::printf("%s: %zu triangles, %zu vertices, uv area %.0f texels, covered %ld, overlapping %ld\n", c.name,
                    triangles, vertices, cover.summedArea, cover.coveredTexels, cover.overlappingTexels);
        EXPECT_TRUE(cover.insideUnitSquare);
        EXPECT_EQ(cover.overlappingTexels, 0);
        EXPECT_GT(cover.summedArea, 0.35 * 1024 * 1024) << "the charts use the map";
    }
}
