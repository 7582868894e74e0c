#include "base/matrix.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectMatrix(const float* expected, const float* actual, float tolerance = 1e-5f)
{
    for (int k = 0; k < 16; ++k) {
        EXPECT_NEAR(expected[k], actual[k], tolerance) << "element " << k;
    }
}

}  // namespace

TEST(Matrix, PerspectiveMatchesHandComputedValues)
{
    float m[16];
    perspectiveMatrix(90.0, 2.0, 1.0, 3.0, m);
    // f = cot(45 deg) = 1
    const float expected[16] = {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -2.0f, -3.0f, 0, 0, -1, 0};
    expectMatrix(expected, m);
}

TEST(Matrix, LookAtRowsAreCameraAxesWithTranslation)
{
    float m[16];
    lookAtMatrix(0, 0, 5, 0, 0, 0, 0, 1, 0, m);
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -5, 0, 0, 0, 1};
    expectMatrix(expected, m);

    // A point at the centre lands on the camera's -z axis at the eye distance.
    lookAtMatrix(3, 4, 0, 0, 0, 0, 0, 0, 1, m);
    float centre[4] = {0, 0, 0, 1};
    float eyeSpace[4];
    float t[16];
    copyMatrix(m, t);
    transposeMatrix(t);  // transformVector reads columns of m as rows
    transformVector(t, centre, eyeSpace);
    EXPECT_NEAR(eyeSpace[0], 0, 1e-5);
    EXPECT_NEAR(eyeSpace[1], 0, 1e-5);
    EXPECT_NEAR(eyeSpace[2], -5, 1e-5);
}

TEST(Matrix, LookAtWithDegenerateUpLeavesZeroAxesUnnormalised)
{
    float m[16];
    lookAtMatrix(0, 0, 0, 0, 0, 0, 0, 1, 0, m);  // eye == centre: z has length 0
    for (float v : m) {
        EXPECT_FALSE(std::isnan(v));
    }
    EXPECT_EQ(m[15], 1.0f);
}

TEST(Matrix, RotationAboutZByNinetyDegrees)
{
    float m[16];
    rotationMatrix(90, 0, 0, 2, m);  // axis gets normalised
    const float expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    expectMatrix(expected, m);
    // Element layout is the GL one: transformVector turns x into y.
    float x[4] = {1, 0, 0, 1};
    float out[4];
    transformVector(m, x, out);
    EXPECT_NEAR(out[0], 0, 1e-6);
    EXPECT_NEAR(out[1], 1, 1e-6);
}

TEST(Matrix, RotationWithZeroAxisIsFinite)
{
    float m[16];
    rotationMatrix(30, 0, 0, 0, m);
    for (float v : m) {
        EXPECT_FALSE(std::isnan(v));
    }
}

TEST(Matrix, MultiplyIsRowTimesColumnAndSafeWhenOutputAliasesInput)
{
    float a[16], b[16];
    for (int k = 0; k < 16; ++k) {
        a[k] = float(k + 1);
        b[k] = float(16 - k);
    }
    float expected[16];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) {
                s += a[4 * i + k] * b[4 * k + j];
            }
            expected[4 * i + j] = s;
        }
    }
    float out[16];
    multiplyMatrix(a, b, out);
    expectMatrix(expected, out);

    float aliasA[16], aliasB[16];
    copyMatrix(a, aliasA);
    copyMatrix(b, aliasB);
    multiplyMatrix(aliasA, b, aliasA);
    expectMatrix(expected, aliasA);
    multiplyMatrix(a, aliasB, aliasB);
    expectMatrix(expected, aliasB);
}

TEST(Matrix, TransposeInPlaceTwiceIsIdentityOperation)
{
    float m[16], t[16];
    for (int k = 0; k < 16; ++k) {
        m[k] = float(k);
    }
    copyMatrix(m, t);
    transposeMatrix(t);
    EXPECT_EQ(t[1], 4.0f);
    EXPECT_EQ(t[4], 1.0f);
    EXPECT_EQ(t[14], 11.0f);
    transposeMatrix(t);
    expectMatrix(m, t, 0);
}
