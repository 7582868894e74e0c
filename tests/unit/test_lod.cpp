// Levels of detail: coarser index lists over the same vertices, and the choice of a
// level (or none) from where a copy lies in the view.
#include "base/matrix.h"
#include "render/lod.h"
#include "resources/loader.h"
#include "resources/mesh.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The demo's projection for a 70 degree, 16:9 view, column-major as GL holds it.
void projection(float* m)
{
    perspectiveMatrix(70.0, 16.0 / 9.0, 0.05, 140.0, m);
    transposeMatrix(m);
}

}  // namespace

TEST(Lod, LevelsShrinkShareTheVerticesAndRefuseMalformedMeshes)
{
    Loader archive;
    archive.open("data.zip");
    ASSERT_TRUE(archive.opened);
    Mesh cell;
    ASSERT_EQ(loadMesh("objects/virus.mmf", archive, cell), 0);
    const float fractions[3] = {0.4f, 0.15f, 0.05f};
    const LodChain chain = buildLodChain(cell, fractions, 3);
    ASSERT_EQ(chain.levels, 4);
    EXPECT_EQ(chain.count[0], cell.polygons.size());
    const size_t vertices = cell.points.size() / 3;
    for (int i = 1; i < chain.levels; ++i) {
        EXPECT_LT(chain.count[i], chain.count[i - 1]) << "level " << i;
        EXPECT_GT(chain.count[i], 0u);
        EXPECT_EQ(chain.count[i] % 3, 0u);
        EXPECT_EQ(chain.first[i], chain.first[i - 1] + chain.count[i - 1]);
    }
    EXPECT_EQ(chain.indices.size(), size_t(chain.first[3] + chain.count[3]));
    for (uint32_t index : chain.indices) {
        ASSERT_LT(index, vertices);
    }
    EXPECT_GT(chain.radius, 0.5f);

    Mesh broken = cell;
    broken.polygons[7] = int32_t(vertices);
    EXPECT_EQ(buildLodChain(broken, fractions, 3).levels, 0);
    EXPECT_EQ(buildLodChain(Mesh{}, fractions, 3).levels, 0);
}

TEST(Lod, CopiesOutsideTheViewAreSkippedAndSmallOnesCoarsened)
{
    float m[16];
    projection(m);
    const ViewVolume view = viewVolume(m, 576);
    // One unit at distance one covers cot(35 deg) * 288 pixels.
    EXPECT_NEAR(view.pixelsPerUnit, 288.0f / std::tan(35.0f * 3.14159265f / 180.0f), 0.01f);
    const float minPixels[3] = {60.0f, 30.0f, 14.0f};
    struct Case {
        float x, y, z, radius;
        int level;
        const char* what;
    };
    const Case cases[] = {
        {0, 0, -5, 1.0f, 0, "near, in the middle"},
        {0, 0, 5, 1.0f, -1, "behind the eye"},
        {0, 0, -200, 1.0f, -1, "beyond the far plane"},
        {-30, 0, -10, 1.0f, -1, "far to the left"},
        {-9.5f, 0, -10, 3.0f, 0, "centre outside on the left, sphere reaching in"},
        {0, 12, -10, 1.0f, -1, "above the view"},
    };
    for (const Case& c : cases) {
        const float centre[3] = {c.x, c.y, c.z};
        EXPECT_EQ(chooseLevel(view, centre, c.radius, minPixels, 4), c.level) << c.what;
    }
    // On-screen radius r = radius * pixelsPerUnit / distance picks the level.
    const float sizes[][2] = {{80.0f, 0}, {60.0f, 0}, {45.0f, 1}, {20.0f, 2}, {5.0f, 3}};
    for (const auto& size : sizes) {
        const float distance = 1.0f * view.pixelsPerUnit / size[0];
        const float centre[3] = {0.0f, 0.0f, -distance};
        EXPECT_EQ(chooseLevel(view, centre, 1.0f, minPixels, 4), int(size[1])) << size[0] << " px";
    }
    const float centre[3] = {0.0f, 0.0f, -10.0f};
    EXPECT_EQ(chooseLevel(view, centre, 1.0f, minPixels, 0), -1) << "no levels: nothing to draw";
}

TEST(Lod, MaxStretchIsTheLargestSingularValue)
{
    // Column-major 4 x 4 from a row-major 3 x 3 linear part and a translation that must
    // not count.
    auto matrix = [](std::initializer_list<float> rows, float* m) {
        const float* r = rows.begin();
        for (int k = 0; k < 16; ++k) {
            m[k] = k == 15 ? 1.0f : 0.0f;
        }
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                m[4 * column + row] = r[3 * row + column];
            }
        }
        m[12] = 40.0f;
        m[13] = -7.0f;
    };
    float turned[16];
    rotationMatrix(37.0f, 0.3f, -0.8f, 0.5f, turned);  // row-major, as the app's helpers keep it
    transposeMatrix(turned);
    const float c = 0.9f;
    struct Case {
        const char* what;
        std::initializer_list<float> rows;
        float stretch;
    } cases[] = {
        {"identity", {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1.0f},
        {"turned and scaled by 0.9 (the bound of the summed squares said 1.56)",
         {c * turned[0], c * turned[4], c * turned[8], c * turned[1], c * turned[5], c * turned[9], c * turned[2],
          c * turned[6], c * turned[10]},
         0.9f},
        {"unequal scales", {0.5f, 0, 0, 0, -2, 0, 0, 0, 1}, 2.0f},
        {"shear: the golden ratio", {1, 1, 0, 0, 1, 0, 0, 0, 1}, 1.6180340f},
        {"rank one", {1, 2, 2, 0, 0, 0, 0, 0, 0}, 3.0f},
        {"nothing", {0, 0, 0, 0, 0, 0, 0, 0, 0}, 0.0f},
    };
    for (const Case& k : cases) {
        float m[16];
        matrix(k.rows, m);
        EXPECT_NEAR(maxStretch(m), k.stretch, 1e-5f) << k.what;
    }

    // Against the stretch of many directions through an arbitrary matrix: never below
    // any of them, and reached by the best of them.
    float m[16];
    matrix({0.3f, -1.2f, 0.7f, 2.1f, 0.4f, -0.5f, -0.9f, 0.8f, 1.6f}, m);
    const float bound = maxStretch(m);
    float best = 0.0f;
    for (int i = 0; i <= 200; ++i) {
        for (int j = 0; j < 400; ++j) {
            const float theta = float(M_PI) * float(i) / 200.0f, phi = 2.0f * float(M_PI) * float(j) / 400.0f;
            const float v[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
            float length = 0.0f;
            for (int row = 0; row < 3; ++row) {
                const float x = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2];
                length += x * x;
            }
            best = std::max(best, std::sqrt(length));
        }
    }
    EXPECT_LE(best, bound * 1.00001f);
    EXPECT_GT(best, bound * 0.999f);
}
