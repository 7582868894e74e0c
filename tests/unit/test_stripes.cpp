// The stripes' records: the draws of init against the shared generator, and the rise
// with its rebirth rules; the bar's triangles.
#include "effects/sfmt.h"
#include "effects/stripes_dof.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The shared generator freshly seeded, and a reference generator in the same state.
class StripesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedRandom(12345);
        reference.seed(12345);
    }
    float draw() { return unitFromWord(reference.next()); }
    // True when the shared generator's next value is the reference's next one, i.e.
    // both have consumed the same number of draws.
    bool inStep() { return randomUnit() == draw(); }

    Sfmt19937 reference;
};

}  // namespace

TEST_F(StripesTest, CreateDrawsSixValuesPerStripeInOrder)
{
    std::vector<Stripe> stripes;
    createStripes(stripes, 200);
    ASSERT_EQ(stripes.size(), 200u);
    for (size_t i = 0; i < stripes.size(); ++i) {
        const Stripe& s = stripes[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(s.x, (draw() - 0.5f) * 5.0f);
        EXPECT_EQ(s.y, 5.0f * draw());
        EXPECT_EQ(s.z, 10.0f * draw());
        EXPECT_EQ(s.w, 0.1f + 0.2f * draw());
        EXPECT_EQ(s.h, 0.2f + 0.9f * draw());
        EXPECT_EQ(s.v, 0.5f + 4.0f * draw());
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_TRUE(inStep()) << "exactly 1200 draws";
}

TEST_F(StripesTest, CreateAppendsToWhatIsThere)
{
    std::vector<Stripe> stripes(3, Stripe{1, 2, 3, 4, 5, 6});
    createStripes(stripes, 2);
    ASSERT_EQ(stripes.size(), 5u);
    EXPECT_EQ(stripes[0].v, 6.0f);
    EXPECT_EQ(stripes[3].x, (draw() - 0.5f) * 5.0f);
}

TEST_F(StripesTest, RiseBelowAndExactlyAtTheCeilingKeepsTheStripe)
{
    Stripe s{1.0f, 10.0f, 2.0f, 0.2f, 0.5f, 2.0f};
    EXPECT_FALSE(advanceStripe(s, 0.5f));
    EXPECT_FLOAT_EQ(s.y, 11.0f);
    Stripe top{1.0f, 12.0f, 2.0f, 0.2f, 0.5f, 1.0f};
    EXPECT_FALSE(advanceStripe(top, 2.0f));
    EXPECT_EQ(top.y, 14.0f) << "14 is not above the ceiling";
    EXPECT_EQ(top.x, 1.0f);
    EXPECT_EQ(top.v, 1.0f);
    EXPECT_TRUE(inStep()) << "no draw without a rebirth";
}

TEST_F(StripesTest, RebirthDrawsFiveValuesWithItsOwnRanges)
{
    Stripe s{1.0f, 13.5f, 2.0f, 0.2f, 0.5f, 1.0f};
    EXPECT_TRUE(advanceStripe(s, 0.75f));
    EXPECT_EQ(s.y, -15.0f);
    EXPECT_EQ(s.x, (draw() - 0.5f) * 20.0f);
    EXPECT_EQ(s.z, 10.0f * draw());
    EXPECT_EQ(s.w, 0.1f + 0.2f * draw());
    EXPECT_EQ(s.h, 0.2f + 0.9f * draw());
    EXPECT_EQ(s.v, 0.8f + 4.0f * draw());
    EXPECT_TRUE(inStep()) << "exactly five draws";
}

TEST_F(StripesTest, LargeJumpRebornOnceAndNotAdvancedAgain)
{
    Stripe s{0.0f, 0.0f, 0.0f, 0.2f, 0.5f, 4.0f};
    EXPECT_TRUE(advanceStripe(s, 100.0f));
    EXPECT_EQ(s.y, -15.0f);
    for (int i = 0; i < 5; ++i) {
        draw();
    }
    EXPECT_TRUE(inStep()) << "one rebirth per step, however far the stripe went";
}

TEST_F(StripesTest, BackwardsStepSinksWithoutRebirth)
{
    Stripe s{0.0f, -14.0f, 0.0f, 0.2f, 0.5f, 2.0f};
    EXPECT_FALSE(advanceStripe(s, -10.0f));
    EXPECT_FLOAT_EQ(s.y, -34.0f) << "no floor: it sinks below the rebirth height";
    EXPECT_TRUE(inStep());
    // And rises back from there with later forward steps.
    EXPECT_FALSE(advanceStripe(s, 10.0f));
    EXPECT_FLOAT_EQ(s.y, -14.0f);
}

TEST_F(StripesTest, ConstructorSetsDefaultsOnly)
{
    StripesDOF part;
    EXPECT_EQ(part.stripeCount, 200u);
    EXPECT_TRUE(part.stripes.empty());
    EXPECT_EQ(part.previousTime, 0.0f);
    EXPECT_EQ(part.camera.camZ, -14.0f);
    EXPECT_EQ(part.camera.zFar, 100.0f);
    for (const Texture& t : part.textures) {
        EXPECT_EQ(t.crc, 0u);
    }
    EXPECT_TRUE(inStep()) << "constructors draw nothing";
}

// The bar's triangles: for boxes of several shapes, every triangle lies on the face its
// normal names and is wound counter-clockwise from outside, and the triangles of each
// face cover exactly its area (so no face is missing, doubled or split across itself).
TEST(StripeBox, TrianglesCoverEachFaceOnceWoundOutwards)
{
    const float shapes[][3] = {{0.2f, 0.2f, 1.1f}, {1.0f, 2.0f, 3.0f}, {0.1f, 0.3f, 0.2f}};
    for (const auto& shape : shapes) {
        const float a = shape[0], b = shape[1], c = shape[2];
        const float half[3] = {a * 0.5f, c * 0.5f, b * 0.5f};  // x, y, z
        BarVertex v[barVertexCount];
        boxVertices(a, b, c, v);
        float area[3][2] = {};  // per axis, per side (+, -)
        for (int tri = 0; tri < barVertexCount / 3; ++tri) {
            const BarVertex* p = &v[tri * 3];
            const float n[3] = {p[0].nx, p[0].ny, p[0].nz};
            int axis = -1;
            for (int k = 0; k < 3; ++k) {
                if (std::fabs(n[k]) == 1.0f) {
                    axis = k;
                }
            }
            ASSERT_GE(axis, 0) << "triangle " << tri << ": not a unit axis normal";
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(p[k].nx, n[0]);
                EXPECT_EQ(p[k].ny, n[1]);
                EXPECT_EQ(p[k].nz, n[2]);
                const float position[3] = {p[k].x, p[k].y, p[k].z};
                EXPECT_EQ(position[axis], n[axis] * half[axis]) << "triangle " << tri << " off its face";
                for (int d = 0; d < 3; ++d) {
                    EXPECT_EQ(std::fabs(position[d]), half[d]) << "triangle " << tri << ": not a corner of the box";
                }
            }
            const float e1[3] = {p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
            const float e2[3] = {p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z};
            const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                    e1[0] * e2[1] - e1[1] * e2[0]};
            const float outward = cross[0] * n[0] + cross[1] * n[1] + cross[2] * n[2];
            EXPECT_GT(outward, 0.0f) << "triangle " << tri << " wound inwards";
            area[axis][n[axis] > 0 ? 0 : 1] += 0.5f * outward;
        }
        for (int axis = 0; axis < 3; ++axis) {
            const float face = 4.0f * half[(axis + 1) % 3] * half[(axis + 2) % 3];
            for (int side = 0; side < 2; ++side) {
                EXPECT_NEAR(area[axis][side], face, face * 1e-5f) << "axis " << axis << " side " << side;
            }
        }
    }
}
