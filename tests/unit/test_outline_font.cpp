// The outline font's solids on the CPU: every triangle wound outward (its normal the
// one it carries), the faces at z = 0 and z = -depth, the surface closed (the volume it
// bounds is the face's area times the depth), the holes open, the outline where the
// metrics put it, and an unknown face refused with its name in the error.
#include "platform/outline_font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int first = 32;
constexpr int count = 95;
constexpr float depth = 0.01f;

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec position(const platform::OutlineVertex& v) { return {v.x, v.y, v.z}; }
Vec normal(const platform::OutlineVertex& v) { return {v.nx, v.ny, v.nz}; }

// 1 where a pixel centre of a size x size picture of the box (x0, y0)-(x1, y1) lies in
// a front-face triangle.
std::vector<int> frontCoverage(const std::vector<platform::OutlineVertex>& t, double x0, double y0, double x1,
                               double y1, int size)
{
    std::vector<int> covered(size_t(size) * size);
    for (size_t i = 0; i + 2 < t.size(); i += 3) {
        if (t[i].nz < 0.5f) {
            continue;
        }
        const Vec a = position(t[i]), b = position(t[i + 1]), c = position(t[i + 2]);
        for (int py = 0; py < size; ++py) {
            for (int px = 0; px < size; ++px) {
                const Vec p{x0 + (px + 0.5) * (x1 - x0) / size, y0 + (py + 0.5) * (y1 - y0) / size, 0.0};
                if (cross(b - a, p - a).z >= 0 && cross(c - b, p - b).z >= 0 && cross(a - c, p - c).z >= 0) {
                    covered[size_t(py * size + px)] = 1;
                }
            }
        }
    }
    return covered;
}

// Background regions not reaching the picture's border (4-neighbourhood), each of at
// least `minimum` pixels: the glyph's holes.
int enclosedRegions(std::vector<int> covered, int size, int minimum)
{
    std::vector<int> stack;
    auto fill = [&](int start) {
        int n = 0;
        stack.assign(1, start);
        covered[size_t(start)] = 2;
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            ++n;
            const int x = p % size, y = p / size;
            const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
            for (const auto& q : next) {
                if (q[0] >= 0 && q[0] < size && q[1] >= 0 && q[1] < size && covered[size_t(q[1] * size + q[0])] == 0) {
                    covered[size_t(q[1] * size + q[0])] = 2;
                    stack.push_back(q[1] * size + q[0]);
                }
            }
        }
        return n;
    };
    for (int i = 0; i < size; ++i) {
        for (int p : {i, (size - 1) * size + i, i * size, i * size + size - 1}) {
            if (covered[size_t(p)] == 0) {
                fill(p);
            }
        }
    }
    int regions = 0;
    for (int p = 0; p < size * size; ++p) {
        if (covered[size_t(p)] == 0 && fill(p) >= minimum) {
            ++regions;
        }
    }
    return regions;
}

class OutlineFontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        glyphs = new platform::OutlineGlyph[count];
        std::string error;
        built = platform::buildOutlineFont("Arial", first, count, 0.0f, depth, glyphs, &error);
        buildError = error;
    }
    static void TearDownTestSuite() { delete[] glyphs; }
    void SetUp() override { ASSERT_TRUE(built) << buildError; }

    static platform::OutlineGlyph* glyphs;
    static bool built;
    static std::string buildError;
};

platform::OutlineGlyph* OutlineFontTest::glyphs = nullptr;
bool OutlineFontTest::built = false;
std::string OutlineFontTest::buildError;

}  // namespace

TEST_F(OutlineFontTest, GlyphsAreClosedOutwardSolidsWithOpenHoles)
{
    struct Case {
        char glyph;
        int holes;
    };
    for (const Case& c : {Case{'O', 1}, Case{'8', 2}, Case{'B', 2}, Case{'A', 1}, Case{'e', 1}, Case{'l', 0},
                          Case{'%', 2}, Case{'I', 0}}) {
        SCOPED_TRACE(std::string("glyph ") + c.glyph);
        const platform::OutlineGlyph& g = glyphs[c.glyph - first];
        const std::vector<platform::OutlineVertex>& t = g.triangles;
        ASSERT_FALSE(t.empty());
        ASSERT_EQ(t.size() % 3, 0u);
        double frontArea = 0.0, backArea = 0.0, volume = 0.0;
        float xMin = 1e9f, xMax = -1e9f, yMin = 1e9f, yMax = -1e9f;
        int inward = 0, strayDepth = 0;
        for (size_t i = 0; i < t.size(); i += 3) {
            const Vec a = position(t[i]), b = position(t[i + 1]), c3 = position(t[i + 2]);
            const Vec n = cross(b - a, c3 - a);  // twice the area, along the outward side when wound right
            const Vec carried = normal(t[i]);
            EXPECT_NEAR(dot(carried, carried), 1.0, 1e-5);
            const double len = std::sqrt(dot(n, n));
            if (len > 1e-12 && dot(n, carried) < 0.99 * len) {
                ++inward;
            }
            if (carried.z > 0.5) {
                frontArea += 0.5 * n.z;
                strayDepth += a.z != 0.0 || b.z != 0.0 || c3.z != 0.0;
            } else if (carried.z < -0.5) {
                backArea -= 0.5 * n.z;
                strayDepth += std::fabs(a.z + depth) > 1e-7 || std::fabs(b.z + depth) > 1e-7 ||
                              std::fabs(c3.z + depth) > 1e-7;
            } else {
                EXPECT_EQ(carried.z, 0.0) << "walls stand upright";
            }
            volume += dot(a, cross(b, c3)) / 6.0;
            for (const platform::OutlineVertex* v : {&t[i], &t[i + 1], &t[i + 2]}) {
                xMin = std::min(xMin, v->x);
                xMax = std::max(xMax, v->x);
                yMin = std::min(yMin, v->y);
                yMax = std::max(yMax, v->y);
            }
        }
        EXPECT_EQ(inward, 0) << "triangles wound against their normal (culled from outside)";
        EXPECT_EQ(strayDepth, 0) << "front face at z = 0, back face at z = -depth";
        EXPECT_GT(frontArea, 0.01);
        EXPECT_NEAR(backArea, frontArea, 1e-9);
        EXPECT_NEAR(volume, frontArea * depth, 1e-3 * frontArea * depth) << "an open or inside-out surface";

        // The outline lies in the box the metrics give, within the curves' flattening.
        const platform::GlyphMetrics& m = g.metrics;
        EXPECT_NEAR(xMin, m.originX, 3e-3f);
        EXPECT_NEAR(xMax, m.originX + m.blackBoxX, 3e-3f);
        EXPECT_NEAR(yMax, m.originY, 3e-3f);
        EXPECT_NEAR(yMin, m.originY - m.blackBoxY, 3e-3f);
        EXPECT_GT(m.cellIncX, m.blackBoxX);
        EXPECT_EQ(m.cellIncY, 0.0f);

        constexpr int size = 96;
        const double margin = 0.1 * std::max(m.blackBoxX, m.blackBoxY);
        const std::vector<int> covered = frontCoverage(t, xMin - margin, yMin - margin, xMax + margin,
                                                       yMax + margin, size);
        EXPECT_EQ(enclosedRegions(covered, size, 8), c.holes);
    }

    // A blank has an advance and nothing to draw.
    EXPECT_TRUE(glyphs[0].triangles.empty());
    EXPECT_NEAR(glyphs[0].metrics.cellIncX, 569.0f / 2048.0f, 1e-6f);
}

TEST_F(OutlineFontTest, AnUnknownFaceIsRefusedAndTouchesNothing)
{
    platform::OutlineGlyph g[1];
    g[0].triangles.resize(3);
    g[0].metrics.cellIncX = 0.5f;
    std::string error;
    EXPECT_FALSE(platform::buildOutlineFont("No Such Typeface Anywhere", 65, 1, 0.0f, depth, g, &error));
    EXPECT_NE(error.find("No Such Typeface Anywhere"), std::string::npos) << error;
    EXPECT_EQ(g[0].triangles.size(), 3u);
    EXPECT_EQ(g[0].metrics.cellIncX, 0.5f);

    // A coarser flattening gives fewer facets for the same glyph.
    platform::OutlineGlyph coarse[1];
    ASSERT_TRUE(platform::buildOutlineFont("Arial", 'O', 1, 0.05f, depth, coarse, &error)) << error;
    EXPECT_LT(coarse[0].triangles.size(), glyphs['O' - first].triangles.size());
    EXPECT_EQ(coarse[0].metrics.cellIncX, glyphs['O' - first].metrics.cellIncX);
}
