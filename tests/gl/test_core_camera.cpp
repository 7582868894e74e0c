// The shared camera operations of the parts: projection, fixed camera, jump cuts, and
// the sprites' quads, against matrices built here from their textbook definitions.
#include "app/screen.h"
#include "effects/effect.h"
#include "effects/sfmt.h"
#include "gl/gl_fixture.h"
#include "gpu/matrices.h"

#include <cmath>

namespace {

class CameraTest : public GlTest {
protected:
    void SetUp() override
    {
        screen.viewportWidth = 1024;
        screen.viewportHeight = 576;
    }
};

void expectMatrix(const float* expected, const float* actual, float tolerance, const char* what)
{
    for (int k = 0; k < 16; ++k) {
        EXPECT_NEAR(expected[k], actual[k], tolerance) << what << ", element " << k;
    }
}

void current(gpu::MatrixMode which, float* m)
{
    for (int k = 0; k < 16; ++k) {
        m[k] = gpu::matrix(which)[k];
    }
}

// Column-major 4 x 4 matrices, m[4 * column + row], in double for the references.
struct M4 {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double& at(int row, int column) { return m[4 * column + row]; }
    double at(int row, int column) const { return m[4 * column + row]; }
};

M4 operator*(const M4& a, const M4& b)
{
    M4 out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += a.at(r, k) * b.at(k, c);
            }
            out.at(r, c) = sum;
        }
    }
    return out;
}

// Rotation by `degrees` about the principal axis `axis` (0 = X, 1 = Y, 2 = Z), right-handed.
M4 turn(double degrees, int axis)
{
    const double a = degrees * 3.14159265358979323846 / 180.0;
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    M4 r;
    r.at(i, i) = std::cos(a);
    r.at(j, j) = std::cos(a);
    r.at(j, i) = std::sin(a);
    r.at(i, j) = -std::sin(a);
    return r;
}

M4 shift(double x, double y, double z)
{
    M4 t;
    t.at(0, 3) = x;
    t.at(1, 3) = y;
    t.at(2, 3) = z;
    return t;
}

void apply(const M4& m, const double* v, double* out)
{
    for (int r = 0; r < 3; ++r) {
        out[r] = m.at(r, 0) * v[0] + m.at(r, 1) * v[1] + m.at(r, 2) * v[2] + m.at(r, 3);
    }
}

void expectMatrix(const M4& expected, const float* actual, float tolerance, const char* what)
{
    float e[16];
    for (int k = 0; k < 16; ++k) {
        e[k] = float(expected.m[k]);
    }
    expectMatrix(e, actual, tolerance, what);
}

}  // namespace

TEST_F(CameraTest, SetProjectionIsThePerspectiveOfTheViewport)
{
    CameraBlock camera;
    camera.fovy = 70.0f;
    camera.zFar = 140.0f;
    gpu::matrixMode(gpu::MatrixMode::Projection);
    float returned[16];
    setProjection(camera, returned);
    EXPECT_EQ(gpu::currentMatrixMode(), gpu::MatrixMode::ModelView);
    float modelView[16];
    current(gpu::MatrixMode::ModelView, modelView);
    expectMatrix(M4(), modelView, 0.0f, "model-view");

    const double f = 1.0 / std::tan(35.0 * 3.14159265358979323846 / 180.0);
    const double aspect = 1024.0 / 576.0, zNear = 0.05, zFar = 140.0;
    M4 perspective;
    perspective.at(0, 0) = f / aspect;
    perspective.at(1, 1) = f;
    perspective.at(2, 2) = (zFar + zNear) / (zNear - zFar);
    perspective.at(2, 3) = 2.0 * zFar * zNear / (zNear - zFar);
    perspective.at(3, 2) = -1.0;
    perspective.at(3, 3) = 0.0;
    float ours[16];
    current(gpu::MatrixMode::Projection, ours);
    expectMatrix(perspective, ours, 1e-5f, "projection");
    expectMatrix(perspective, returned, 1e-5f, "returned copy");
}

TEST_F(CameraTest, FixedCameraTranslatesThenTurnsHeadingPitchBank)
{
    CameraBlock camera{1.0f, -3.5f, -14.0f, 10.0f, 25.0f, 30.0f, 70.0f, 100.0f};
    gpu::loadIdentity();
    gpu::translate(5.0f, 5.0f, 5.0f);  // replaced, not multiplied
    fixedCamera(camera);
    float ours[16];
    current(gpu::MatrixMode::ModelView, ours);
    const M4 expected = shift(1.0, -3.5, -14.0) * turn(25.0, 1) * turn(10.0, 0) * turn(30.0, 2);
    expectMatrix(expected, ours, 1e-5f, "fixed camera");
}

// gluLookAt's definition: the rows side, up and -forward, then the eye moved to the origin.
M4 lookAt(const double* eye, const double* centre, const double* up)
{
    double f[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
    const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& v : f) {
        v /= fl;
    }
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
    const double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    for (double& v : s) {
        v /= sl;
    }
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    M4 m;
    for (int c = 0; c < 3; ++c) {
        m.at(0, c) = s[c];
        m.at(1, c) = u[c];
        m.at(2, c) = -f[c];
    }
    return m * shift(-eye[0], -eye[1], -eye[2]);
}

TEST_F(CameraTest, JumpCutViewLooksAtTheMovingCentreThenSpins)
{
    CameraBlock camera{0.0f, -3.5f, 20.0f, 0, 0, 0, 70.0f, 120.0f};
    const float t = 2.0f;
    jumpCutView(camera, splinesCut, t);
    float ours[16];
    current(gpu::MatrixMode::ModelView, ours);
    const double eye[3] = {0.0, -3.5, 20.0}, centre[3] = {std::sin(2.0), std::cos(2.0), 0.0}, up[3] = {0, 1, 0};
    const M4 expected = lookAt(eye, centre, up) * turn(5.0 * t, 1) * turn(14.0 * t, 0) * turn(8.0 * t, 2);
    expectMatrix(expected, ours, 1e-5f, "look-at and spin");
}

// A sprite's quad is its corners under Ry(2wt) Rz(wt) Rx(1.5wt) T(x, y, z) (Tumbling), or
// the centre under that matrix with the corners beside it unturned (Facing).
TEST_F(CameraTest, SpriteQuadsTurnWithTheirSpriteOrKeepOnlyTheTurnedCentre)
{
    const Sprite sprites[] = {{1.0f, -2.0f, 3.0f, 7.0f, 0}, {-11.5f, 9.0f, 0.5f, -14.0f, 3}, {0, 0, 0, 0, 1}};
    const double dx[4] = {-0.1, -0.1, 0.1, 0.1}, dy[4] = {0.1, -0.1, -0.1, 0.1};
    for (const Sprite& s : sprites) {
        for (float t : {0.0f, 0.37f, 12.5f}) {
            const double a = double(s.w) * double(t);
            const M4 m = turn(2.0 * a, 1) * turn(a, 2) * turn(1.5 * a, 0) * shift(s.x, s.y, s.z);
            const double centre[3] = {s.x, s.y, s.z};
            double turnedCentre[3];
            apply(m, centre, turnedCentre);
            float tumbling[4][3], facing[4][3];
            spriteQuad(s, t, SpriteQuad::Tumbling, tumbling);
            spriteQuad(s, t, SpriteQuad::Facing, facing);
            for (int k = 0; k < 4; ++k) {
                const double corner[3] = {s.x + dx[k], s.y + dy[k], s.z};
                double turned[3];
                apply(m, corner, turned);
                const double beside[3] = {turnedCentre[0] + dx[k], turnedCentre[1] + dy[k], turnedCentre[2]};
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(tumbling[k][c], turned[c], 1e-4) << "w " << s.w << " t " << t << " corner " << k;
                    EXPECT_NEAR(facing[k][c], beside[c], 1e-4) << "w " << s.w << " t " << t << " corner " << k;
                }
            }
        }
    }
}

TEST_F(CameraTest, CutsHappenAfterTheIntervalAndRewindAsTheTableSays)
{
    float lastCut = 0.0f;
    EXPECT_FALSE(jumpCutDue(lastCut, blobsCut, 3.3f));  // strictly greater than the interval
    EXPECT_TRUE(jumpCutDue(lastCut, blobsCut, 3.31f));
    EXPECT_FLOAT_EQ(lastCut, 3.31f);
    EXPECT_FALSE(jumpCutDue(lastCut, blobsCut, 6.0f));
    EXPECT_TRUE(jumpCutDue(lastCut, blobsCut, 6.7f));

    // Time moved back: a table with the reset forgets the last cut...
    float withReset = 10.0f;
    EXPECT_TRUE(jumpCutDue(withReset, phalanxCut, 4.0f));
    EXPECT_FLOAT_EQ(withReset, 4.0f);
    // ...one without waits until t passes the old cut plus the interval again.
    float withoutReset = 10.0f;
    EXPECT_FALSE(jumpCutDue(withoutReset, theHubCut, 4.0f));
    EXPECT_FALSE(jumpCutDue(withoutReset, theHubCut, 13.2f));
    EXPECT_TRUE(jumpCutDue(withoutReset, theHubCut, 13.4f));
}

// The random eye: three draws, then one more per coordinate that lies within 4 of the
// middle, in the order x, y, z.
TEST_F(CameraTest, RandomCutPositionDrawsInOrderAndLeavesTheMiddle)
{
    for (uint32_t seed : {12345u, 1u, 99u, 2024u}) {
        seedRandom(seed);
        CameraBlock camera;
        randomCutPosition(camera);

        Sfmt19937 reference;
        reference.seed(seed);
        auto draw = [&]() { return unitFromWord(reference.next()); };
        float x = (draw() - 0.5f) * 20.0f;
        float y = (draw() - 0.5f) * 4.0f;
        float z = (draw() - 0.5f) * 20.0f;
        if (std::fabs(x) < 4.0f) {
            x *= 2.0f + 10.0f * draw();
        }
        if (std::fabs(y) < 4.0f) {
            y *= 2.0f + 2.0f * draw();
        }
        if (std::fabs(z) < 4.0f) {
            z *= 2.0f + 10.0f * draw();
        }
        EXPECT_FLOAT_EQ(camera.camX, x) << seed;
        EXPECT_FLOAT_EQ(camera.camY, y) << seed;
        EXPECT_FLOAT_EQ(camera.camZ, z) << seed;
        // The shared generator has taken exactly as many draws as the reference.
        EXPECT_EQ(randomUnit(), draw()) << seed;
    }
}

TEST_F(CameraTest, JumpCutCameraKeepsTheOldEyeForTheFrameOfTheCut)
{
    seedRandom(12345);
    CameraBlock camera{0.0f, -3.5f, -30.0f, 0, 25, 30, 70, 140};
    float lastCut = 0.0f;
    jumpCutCamera(camera, lastCut, blobsCut, 1.0f);
    EXPECT_EQ(camera.camZ, -30.0f);  // default eye until the first cut
    jumpCutCamera(camera, lastCut, blobsCut, 3.5f);
    float viewAtCut[16];
    current(gpu::MatrixMode::ModelView, viewAtCut);
    EXPECT_FLOAT_EQ(lastCut, 3.5f);
    EXPECT_NE(camera.camZ, -30.0f);  // the new eye, for the next frame

    CameraBlock old{0.0f, -3.5f, -30.0f, 0, 25, 30, 70, 140};
    jumpCutView(old, blobsCut, 3.5f);
    float oldView[16];
    current(gpu::MatrixMode::ModelView, oldView);
    expectMatrix(oldView, viewAtCut, 1e-6f, "the cut frame still uses the old eye");
}
