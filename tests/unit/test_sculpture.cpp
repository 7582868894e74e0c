// The abstract sculpture of the RandomGeo2 part as datagen makes it: within the
// triangle budget, a closed outward-facing surface with smooth unit normals, and walls
// with real thickness wherever a line passes through the solid.
#include "datagen/sculpture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

TEST(Sculpture, ClosedOutwardSurfaceWithinTheBudget)
{
    const Mesh m = datagen::makeSculpture();
    const size_t triangles = m.polygons.size() / 3;
    EXPECT_LE(triangles, 150000u);
    EXPECT_GT(triangles, 20000u) << "dense enough to hold the labyrinth's curves";
    ASSERT_EQ(m.normals.size(), m.points.size());
    ASSERT_EQ(m.uvs.size(), m.points.size() / 3 * 2);

    // Closed: welded by position, every edge is used once in each direction.
    std::vector<std::array<float, 6>> forward, backward;
    double volume = 0.0;
    int disagreeing = 0;
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* p[3];
        for (int k = 0; k < 3; ++k) {
            p[k] = &m.points[size_t(m.polygons[t + size_t(k)]) * 3];
        }
        for (int e = 0; e < 3; ++e) {
            const float* a = p[e];
            const float* b = p[(e + 1) % 3];
            forward.push_back({a[0], a[1], a[2], b[0], b[1], b[2]});
            backward.push_back({b[0], b[1], b[2], a[0], a[1], a[2]});
        }
        const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const double n[3] = {double(e1[1]) * e2[2] - double(e1[2]) * e2[1], double(e1[2]) * e2[0] - double(e1[0]) * e2[2],
                             double(e1[0]) * e2[1] - double(e1[1]) * e2[0]};
        volume += (p[0][0] * n[0] + p[0][1] * n[1] + p[0][2] * n[2]) / 6.0;
        double facing = 0.0;
        for (int k = 0; k < 3; ++k) {
            const float* vn = &m.normals[size_t(m.polygons[t + size_t(k)]) * 3];
            facing += n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2];
        }
        disagreeing += facing < 0.0;
    }
    std::sort(forward.begin(), forward.end());
    std::sort(backward.begin(), backward.end());
    EXPECT_TRUE(forward == backward) << "an edge without its opposite: the surface has a hole or a fold";
    EXPECT_GT(volume, 0.0) << "triangles wind counter-clockwise seen from outside";
    EXPECT_LT(disagreeing, int(triangles / 200)) << "vertex normals point into the surface";
    for (size_t v = 0; v < m.normals.size(); v += 3) {
        const float len = std::sqrt(m.normals[v] * m.normals[v] + m.normals[v + 1] * m.normals[v + 1] +
                                    m.normals[v + 2] * m.normals[v + 2]);
        ASSERT_NEAR(len, 1.0f, 1e-3f);
    }
}

TEST(Sculpture, WallsHaveThickness)
{
    // From points of the surface straight inwards (against the normal) to where the
    // solid ends. Rounded rims, crossed at a slant, give short spans; walls do not.
    const datagen::SculptureShape shape;
    const Mesh m = datagen::makeSculptureSurface(shape);
    std::vector<float> thickness;
    const size_t vertices = m.points.size() / 3;
    for (size_t v = 0; v < vertices; v += vertices / 500 + 1) {
        const float* p = &m.points[v * 3];
        const float* n = &m.normals[v * 3];
        float s = 0.02f;
        while (s < 4.0f && datagen::sculptureDistance(shape, p[0] - s * n[0], p[1] - s * n[1], p[2] - s * n[2]) < 0.0f) {
            s += 0.01f;
        }
        thickness.push_back(s);
    }
    ASSERT_GT(thickness.size(), 300u);
    std::sort(thickness.begin(), thickness.end());
    // In units of a sculpture about ten across.
    EXPECT_GT(thickness[thickness.size() / 10], 0.3f) << "paper-thin walls";
    EXPECT_GT(thickness[thickness.size() / 2], 0.5f);
}
