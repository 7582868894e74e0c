// The virus body of the Blobs part as datagen makes it: size, closed outward surface,
// smooth unit normals, and texture coordinates that cover it without overlaps (the
// occlusion bake writes one texel per surface point).
#include "datagen/virus.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const Mesh& virus()
{
    static const Mesh mesh = datagen::makeVirus();
    return mesh;
}

}  // namespace

TEST(VirusMesh, TriangleCountAndListsFitTogether)
{
    const Mesh& m = virus();
    const size_t triangles = m.polygons.size() / 3;
    EXPECT_EQ(m.polygons.size() % 3, 0u);
    EXPECT_GE(triangles, 10000u);
    EXPECT_LE(triangles, 40000u);
    const size_t vertices = m.points.size() / 3;
    EXPECT_EQ(m.normals.size(), m.points.size());
    EXPECT_EQ(m.uvs.size(), vertices * 2);
    for (int32_t i : m.polygons) {
        ASSERT_GE(i, 0);
        ASSERT_LT(size_t(i), vertices);
    }
}

TEST(VirusMesh, TrianglesFaceOutwardAndNormalsAreSmoothUnitVectors)
{
    const Mesh& m = virus();
    int inward = 0;
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* a = &m.points[size_t(m.polygons[t]) * 3];
        const float* b = &m.points[size_t(m.polygons[t + 1]) * 3];
        const float* c = &m.points[size_t(m.polygons[t + 2]) * 3];
        float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        // The shared normal of the triangle's first corner, not the centre, decides: the
        // knobs' flanks lean away from the radial direction.
        const float* vn = &m.normals[size_t(m.polygons[t]) * 3];
        inward += n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2] < 0.0f;
    }
    EXPECT_EQ(inward, 0);
    for (size_t v = 0; v < m.normals.size(); v += 3) {
        float len = std::sqrt(m.normals[v] * m.normals[v] + m.normals[v + 1] * m.normals[v + 1] +
                              m.normals[v + 2] * m.normals[v + 2]);
        ASSERT_NEAR(len, 1.0f, 1e-4f) << "vertex " << v / 3;
    }
}

TEST(VirusMesh, SeamCopiesShareTheirNormals)
{
    // The u = 0 and u = 1 copies of a point lie together and must shade alike.
    const Mesh& m = virus();
    const size_t vertices = m.points.size() / 3;
    int seamPairs = 0;
    for (size_t v = 0; v < vertices; ++v) {
        if (m.uvs[v * 2] != 0.0f) {
            continue;
        }
        for (size_t w = v + 1; w < vertices && w < v + 400; ++w) {
            if (m.uvs[w * 2] == 1.0f && m.uvs[w * 2 + 1] == m.uvs[v * 2 + 1]) {
                for (int k = 0; k < 3; ++k) {
                    EXPECT_NEAR(m.points[v * 3 + k], m.points[w * 3 + k], 1e-5f);
                    EXPECT_NEAR(m.normals[v * 3 + k], m.normals[w * 3 + k], 1e-5f);
                }
                ++seamPairs;
                break;
            }
        }
    }
    EXPECT_GT(seamPairs, 10);
}

TEST(VirusMesh, TextureCoordinatesTileTheUnitSquareWithoutOverlap)
{
    // A folded or overlapping chart shows as flipped triangles or as more area than the
    // square holds. The pole rows have one triangle per grid cell (the
    // other would be a point on the body): half a row at each end stays empty.
    const Mesh& m = virus();
    double total = 0.0;
    int flipped = 0;
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* a = &m.uvs[size_t(m.polygons[t]) * 2];
        const float* b = &m.uvs[size_t(m.polygons[t + 1]) * 2];
        const float* c = &m.uvs[size_t(m.polygons[t + 2]) * 2];
        for (const float* p : {a, b, c}) {
            ASSERT_GE(p[0], 0.0f);
            ASSERT_LE(p[0], 1.0f);
            ASSERT_GE(p[1], 0.0f);
            ASSERT_LE(p[1], 1.0f);
        }
        double area = 0.5 * ((double(b[0]) - a[0]) * (double(c[1]) - a[1]) - (double(c[0]) - a[0]) * (double(b[1]) - a[1]));
        flipped += area <= 0.0;
        total += area;
    }
    EXPECT_EQ(flipped, 0);
    EXPECT_NEAR(total, 1.0 - 1.0 / datagen::VirusShape().rows, 1e-4);
}

TEST(VirusMesh, BodyIsLumpyWithKnobsAndDeterministic)
{
    datagen::VirusShape shape;
    float lo = 1e9f, hi = 0.0f;
    for (int i = 0; i < 2000; ++i) {
        float a = float(i) * 2.399963f;
        float y = 1.0f - 2.0f * (float(i) + 0.5f) / 2000.0f;
        float r = std::sqrt(1.0f - y * y);
        float radius = datagen::virusRadius(shape, r * std::cos(a), y, r * std::sin(a));
        lo = std::min(lo, radius);
        hi = std::max(hi, radius);
    }
    EXPECT_GT(lo, 0.8f);
    EXPECT_GT(hi - lo, 0.2f) << "knobs stand out of the body";
    const Mesh again = datagen::makeVirus();
    EXPECT_EQ(again.points, virus().points);
    EXPECT_EQ(again.normals, virus().normals);
}
