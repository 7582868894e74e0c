// The strand mesh of the Splines part as datagen makes it, measured against the centre
// lines it was swept along: drawing the prefix the part draws at time t shows every
// strand grown by the same share of its length (half at 9 s, whole at 18 s), and the
// part's index count itself.
#include "datagen/strands.h"
#include "effects/splines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

struct Along {
    int strand = -1;
    float share = 0.0f;  // of the strand's length from its root, at the nearest point
};

// The nearest point of all centre lines to p: which strand and how far along it.
Along nearestAlong(const std::vector<datagen::StrandCurve>& curves, const float* p)
{
    Along best;
    float bestDistance = std::numeric_limits<float>::infinity();
    for (size_t s = 0; s < curves.size(); ++s) {
        const std::vector<float>& c = curves[s].centres;
        float walked = 0.0f;
        for (size_t i = 0; i + 5 < c.size(); i += 3) {
            const float ax = c[i], ay = c[i + 1], az = c[i + 2];
            const float ex = c[i + 3] - ax, ey = c[i + 4] - ay, ez = c[i + 5] - az;
            const float len2 = ex * ex + ey * ey + ez * ez;
            const float h = len2 > 0.0f ? std::clamp(((p[0] - ax) * ex + (p[1] - ay) * ey + (p[2] - az) * ez) / len2, 0.0f, 1.0f) : 0.0f;
            const float dx = ax + h * ex - p[0], dy = ay + h * ey - p[1], dz = az + h * ez - p[2];
            const float d = dx * dx + dy * dy + dz * dz;
            const float len = std::sqrt(len2);
            if (d < bestDistance) {
                bestDistance = d;
                best = {int(s), (walked + h * len) / curves[s].length};
            }
            walked += len;
        }
    }
    return best;
}

}  // namespace

TEST(SplinesIndexCount, GrowsWithTimeInFloatingPointAndStopsAtTheTotal)
{
    struct Case {
        uint32_t total;
        float t;
        uint32_t expected;
    };
    const Case cases[] = {
        {36, 0.0f, 0},          {36, 9.0f, 18},    {36, 18.0f, 36},  {36, 30.0f, 36},
        {35, 9.0f, 17},         // 35 / 18 = 1 in integers would draw 9
        {35, 1.0f, 1},          {3000, 0.01f, 1},  {3000, 17.99f, 2998},
        {36, -1.0f, 0},         // time before the part: nothing, not a wrapped count
        {0, 9.0f, 0},           {4000000000u, 1e6f, 4000000000u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splinesIndexCount(c.total, c.t), c.expected) << c.total << " indices at t = " << c.t;
    }
    EXPECT_EQ(splinesIndexCount(36, std::nanf("")), 0u);
}

TEST(StrandsMesh, EveryPrefixThePartDrawsGrowsEveryStrandByTheSameShare)
{
    const datagen::StrandsShape shape;
    const Mesh m = datagen::makeStrands(shape);
    const std::vector<datagen::StrandCurve> curves = datagen::strandCurves(shape);
    ASSERT_EQ(int(curves.size()), shape.roots * shape.bundlesPerRoot * shape.strandsPerBundle);
    const uint32_t total = uint32_t(m.polygons.size());
    ASSERT_LE(total / 3, 150000u);

    // Where each vertex lies along its strand.
    const size_t vertexCount = m.points.size() / 3;
    std::vector<Along> along(vertexCount);
    for (size_t v = 0; v < vertexCount; ++v) {
        along[v] = nearestAlong(curves, &m.points[v * 3]);
    }

    const float step = 1.0f / float(shape.rings);
    for (float t : {4.5f, 9.0f, 13.5f, 18.0f}) {
        SCOPED_TRACE(t);
        const uint32_t n = splinesIndexCount(total, t) / 3 * 3;
        std::vector<float> reached(curves.size(), -1.0f);
        for (uint32_t i = 0; i < n; ++i) {
            const Along& a = along[size_t(m.polygons[i])];
            reached[size_t(a.strand)] = std::max(reached[size_t(a.strand)], a.share);
        }
        // All strands within a ring step of each other (and the bend of the rings);
        // together near t / 18 (the root domes, drawn first, hold the growth back by
        // under three steps).
        const auto [lo, hi] = std::minmax_element(reached.begin(), reached.end());
        EXPECT_LE(*hi - *lo, 1.5f * step);
        EXPECT_NEAR(*hi, t / 18.0f, 3.0f * step);
    }

    // Half the list at 9 s: every strand reaches half its length and none goes beyond.
    std::vector<float> reached(curves.size(), -1.0f);
    for (uint32_t i = 0; i < splinesIndexCount(total, 9.0f); ++i) {
        const Along& a = along[size_t(m.polygons[i])];
        reached[size_t(a.strand)] = std::max(reached[size_t(a.strand)], a.share);
    }
    for (size_t s = 0; s < curves.size(); ++s) {
        EXPECT_NEAR(reached[s], 0.5f, 0.25f * step) << "strand " << s;
    }
}

TEST(StrandsMesh, TubesAreClosedOutwardFacingAndDeterministic)
{
    const Mesh m = datagen::makeStrands();
    // Closed: every edge is shared by exactly two triangles, once in each direction.
    // Welding by position first, since the atlas splits vertices along chart borders.
    std::vector<std::pair<std::array<float, 6>, int>> edges;
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        for (int e = 0; e < 3; ++e) {
            const float* a = &m.points[size_t(m.polygons[t + size_t(e)]) * 3];
            const float* b = &m.points[size_t(m.polygons[t + size_t((e + 1) % 3)]) * 3];
            std::array<float, 6> key{a[0], a[1], a[2], b[0], b[1], b[2]};
            std::array<float, 6> back{b[0], b[1], b[2], a[0], a[1], a[2]};
            const bool forward = key < back;
            edges.push_back({forward ? key : back, forward ? 1 : -1});
        }
    }
    std::sort(edges.begin(), edges.end());
    long open = 0;
    for (size_t i = 0; i < edges.size();) {
        size_t j = i;
        int sum = 0;
        while (j < edges.size() && edges[j].first == edges[i].first) {
            sum += edges[j].second;
            ++j;
        }
        open += (j - i != 2 || sum != 0);
        i = j;
    }
    EXPECT_EQ(open, 0) << "edges not shared by two opposite triangles";

    // Outward: the normals agree with the winding.
    int inward = 0;
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* a = &m.points[size_t(m.polygons[t]) * 3];
        const float* b = &m.points[size_t(m.polygons[t + 1]) * 3];
        const float* c = &m.points[size_t(m.polygons[t + 2]) * 3];
        const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        const float* vn = &m.normals[size_t(m.polygons[t]) * 3];
        inward += n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2] < 0.0f;
    }
    EXPECT_EQ(inward, 0);

    const Mesh again = datagen::makeStrands();
    EXPECT_EQ(again.points, m.points);
    EXPECT_EQ(again.polygons, m.polygons);
    EXPECT_EQ(again.uvs, m.uvs);
}
