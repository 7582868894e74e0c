// Meshes stored in draw order keep their surface and lose only triangles of no area.
#include "datagen/draw_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Each triangle as its corners' (position, uv), rotated to start at its smallest corner
// (winding kept), the list sorted: the surface without its numbering.
using Corner = std::array<float, 5>;
std::vector<std::array<Corner, 3>> surface(const Mesh& m)
{
    std::vector<std::array<Corner, 3>> out;
    for (size_t i = 0; i + 2 < m.polygons.size(); i += 3) {
        std::array<Corner, 3> t;
        for (int k = 0; k < 3; ++k) {
            const size_t v = size_t(m.polygons[i + size_t(k)]);
            t[size_t(k)] = {m.points[3 * v], m.points[3 * v + 1], m.points[3 * v + 2], m.uvs[2 * v], m.uvs[2 * v + 1]};
        }
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(DrawOrder, KeepsEveryTriangleWithAreaAndDropsTheRest)
{
    // A fan round a cone's tip: the tip is stored once per triangle (own uvs), and the
    // turned profile's axis row makes two triangles whose corners meet.
    Mesh m;
    m.points = {0, 1, 0, 0, 1, 0, 0, 1, 0,  1, 0, 0, 0, 0, 1, -1, 0, 0, 0, 0, -1, 0, 1, 0};
    m.normals = std::vector<float>(m.points.size(), 0.0f);
    m.uvs = {0, 0, 0.1f, 0, 0.2f, 0, 0, 1, 0.3f, 1, 0.6f, 1, 0.9f, 1, 0.5f, 0.5f};
    m.polygons = {0, 3, 4,  1, 4, 5,  2, 5, 6,  0, 1, 7,  3, 4, 5,  0, 0, 3};
    Mesh expected = m;
    expected.polygons = {0, 3, 4, 1, 4, 5, 2, 5, 6, 3, 4, 5};
    const Mesh out = datagen::inDrawOrder(m);
    EXPECT_EQ(out.polygons.size(), 12u) << "the two without area are gone";
    EXPECT_EQ(surface(out), surface(expected));
    EXPECT_EQ(out.points.size(), 7u * 3) << "the vertex only they used is gone too";
    EXPECT_EQ(out.normals.size(), out.points.size());
    EXPECT_EQ(out.uvs.size(), 7u * 2);
}
