// Ambient-occlusion baking: open and closed configurations, picture orientation,
// seams and bad input.
#include "datagen/ao_baker.h"

#include <gtest/gtest.h>

#include <algorithm>

using datagen::AoSettings;
using datagen::Image;

namespace {

// Adds a quad (corners CCW seen from the side its normal points to) with its own UV rectangle.
void addQuad(Mesh& m, const float corners[4][3], const float normal[3], float u0, float v0, float u1, float v1)
{
    int base = int(m.points.size() / 3);
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
    for (int k = 0; k < 4; ++k) {
        m.points.insert(m.points.end(), corners[k], corners[k] + 3);
        m.normals.insert(m.normals.end(), normal, normal + 3);
        m.uvs.insert(m.uvs.end(), uv[k], uv[k] + 2);
    }
    for (int k : {0, 1, 2, 0, 2, 3}) {
        m.polygons.push_back(base + k);
    }
}

Mesh plane()
{
    Mesh m;
    const float c[4][3] = {{-1, 0, 1}, {1, 0, 1}, {1, 0, -1}, {-1, 0, -1}};
    const float n[3] = {0, 1, 0};
    addQuad(m, c, n, 0, 0, 1, 1);
    return m;
}

// The inside of a closed unit box: normals point inwards, each face on its own cell
// of a 3 x 2 UV atlas with a gutter.
Mesh insideOfBox()
{
    Mesh m;
    const float faces[6][3][3] = {
        // normal, u axis, v axis (corner = -n + (+-u) + (+-v) on the wall opposite the normal)
        {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},
    };
    for (int f = 0; f < 6; ++f) {
        const float* n = faces[f][0];
        const float* u = faces[f][1];
        const float* v = faces[f][2];
        float c[4][3];
        const float signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int k = 0; k < 4; ++k) {
            for (int a = 0; a < 3; ++a) {
                c[k][a] = -n[a] + signs[k][0] * u[a] + signs[k][1] * v[a];
            }
        }
        // Keep the winding CCW seen from inside (from the normal's side).
        if ((u[1] * v[2] - u[2] * v[1]) * n[0] + (u[2] * v[0] - u[0] * v[2]) * n[1] + (u[0] * v[1] - u[1] * v[0]) * n[2] < 0) {
            std::swap(c[1], c[3]);
        }
        float u0 = (f % 3) / 3.0f + 0.02f, v0 = (f / 3) / 2.0f + 0.02f;
        addQuad(m, c, n, u0, v0, u0 + 1 / 3.0f - 0.04f, v0 + 0.5f - 0.04f);
    }
    return m;
}

AoSettings small()
{
    AoSettings s;
    s.size = 64;
    s.rays = 32;
    return s;
}

}  // namespace

TEST(AoBaker, OpenPlaneIsFullyLit)
{
    std::string error;
    Image ao = datagen::bakeAmbientOcclusion(plane(), small(), &error);
    ASSERT_EQ(ao.width, 64) << error;
    ASSERT_EQ(ao.channels, 1);
    EXPECT_EQ(*std::min_element(ao.pixels.begin(), ao.pixels.end()), 255);
}

TEST(AoBaker, InsideClosedBoxIsDark)
{
    Image ao = datagen::bakeAmbientOcclusion(insideOfBox(), small());
    ASSERT_EQ(ao.width, 64);
    // Every texel, gutters included (they are dilated from the charts), is near 0.
    EXPECT_LE(*std::max_element(ao.pixels.begin(), ao.pixels.end()), 8);
}

TEST(AoBaker, WallOccludesTheFloorNearIt)
{
    // Floor (uv left half) and a tall wall standing on its +x edge (uv right half).
    Mesh m;
    const float floorCorners[4][3] = {{-1, 0, 1}, {1, 0, 1}, {1, 0, -1}, {-1, 0, -1}};
    const float up[3] = {0, 1, 0};
    addQuad(m, floorCorners, up, 0.0f, 0.0f, 0.5f, 1.0f);
    const float wallCorners[4][3] = {{1, 0, 1}, {1, 0, -1}, {1, 4, -1}, {1, 4, 1}};
    const float left[3] = {-1, 0, 0};
    addQuad(m, wallCorners, left, 0.5f, 0.0f, 1.0f, 1.0f);
    AoSettings s = small();
    s.rays = 128;
    Image ao = datagen::bakeAmbientOcclusion(m, s);
    ASSERT_EQ(ao.width, 64);
    // Floor u runs along x: texels near the wall (u close to 0.5) are darker than far ones.
    int row = 32;
    int nearWall = ao.at(30, row)[0], farFromWall = ao.at(2, row)[0];
    EXPECT_LT(nearWall, farFromWall - 40);
    EXPECT_GT(farFromWall, 170);
    EXPECT_LT(nearWall, 160);
}

TEST(AoBaker, RowZeroIsTheTopOfThePicture)
{
    // One triangle in the lower part of UV space (v < 0.25) lands in the last rows.
    Mesh m = plane();
    for (size_t i = 1; i < m.uvs.size(); i += 2) {
        m.uvs[i] *= 0.25f;
    }
    std::vector<int32_t> cover = datagen::rasteriseUvs(m, 32);
    ASSERT_EQ(cover.size(), 32u * 32u);
    EXPECT_GE(cover[31 * 32 + 16], 0);  // bottom row, v near 0
    EXPECT_EQ(cover[0 * 32 + 16], -1);  // top row, v near 1
    EXPECT_EQ(cover[20 * 32 + 16], -1);
}

TEST(AoBaker, DilationFillsGuttersWithNeighbouringValues)
{
    Mesh m = plane();
    for (float& uv : m.uvs) {
        uv = 0.25f + 0.5f * uv;  // chart in the middle, empty border
    }
    Image ao = datagen::bakeAmbientOcclusion(m, small());
    ASSERT_EQ(ao.width, 64);
    EXPECT_EQ(ao.at(0, 0)[0], 255);
    EXPECT_EQ(ao.at(63, 63)[0], 255);
}

TEST(AoBaker, IsDeterministic)
{
    Image a = datagen::bakeAmbientOcclusion(insideOfBox(), small());
    Image b = datagen::bakeAmbientOcclusion(insideOfBox(), small());
    EXPECT_EQ(a.pixels, b.pixels);
}

TEST(AoBaker, RefusesBadMeshes)
{
    std::string error;
    Mesh noUvs = plane();
    noUvs.uvs.clear();
    EXPECT_TRUE(datagen::bakeAmbientOcclusion(noUvs, small(), &error).pixels.empty());
    EXPECT_FALSE(error.empty());
    Mesh badIndex = plane();
    badIndex.polygons[2] = 99;
    EXPECT_TRUE(datagen::bakeAmbientOcclusion(badIndex, small(), &error).pixels.empty());
    Mesh negative = plane();
    negative.polygons[0] = -1;
    EXPECT_TRUE(datagen::rasteriseUvs(negative, 16).empty());
    AoSettings zero = small();
    zero.rays = 0;
    EXPECT_TRUE(datagen::bakeAmbientOcclusion(plane(), zero, &error).pixels.empty());
}
