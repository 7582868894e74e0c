// The shared camera operations of the parts: projection, fixed camera, jump cuts.
#include "app/screen.h"
#include "effects/effect.h"
#include "effects/sfmt.h"
#include "gl/gl_fixture.h"

#include <GL/glu.h>

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

void current(GLenum which, float* m) { glGetFloatv(which, m); }

}  // namespace

TEST_F(CameraTest, SetProjectionEqualsTheUtilityLibrarysPerspective)
{
    CameraBlock camera;
    camera.fovy = 70.0f;
    camera.zFar = 140.0f;
    float returned[16];
    setProjection(camera, returned);
    float ours[16];
    current(GL_PROJECTION_MATRIX, ours);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float modelView[16];
    current(GL_MODELVIEW_MATRIX, modelView);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    expectMatrix(identity, modelView, 0.0f, "model-view");

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(70.0, 1024.0 / 576.0, 0.05, 140.0);
    float theirs[16];
    current(GL_PROJECTION_MATRIX, theirs);
    glMatrixMode(GL_MODELVIEW);
    expectMatrix(theirs, ours, 1e-5f, "projection");
    expectMatrix(theirs, returned, 1e-5f, "returned copy");
}

TEST_F(CameraTest, FixedCameraTranslatesThenTurnsHeadingPitchBank)
{
    CameraBlock camera{1.0f, -3.5f, -14.0f, 10.0f, 25.0f, 30.0f, 70.0f, 100.0f};
    fixedCamera(camera);
    float ours[16];
    current(GL_MODELVIEW_MATRIX, ours);
    glLoadIdentity();
    glTranslatef(1.0f, -3.5f, -14.0f);
    glRotatef(25.0f, 0, 1, 0);
    glRotatef(10.0f, 1, 0, 0);
    glRotatef(30.0f, 0, 0, 1);
    float expected[16];
    current(GL_MODELVIEW_MATRIX, expected);
    expectMatrix(expected, ours, 1e-6f, "fixed camera");
}

TEST_F(CameraTest, JumpCutViewLooksAtTheMovingCentreThenSpins)
{
    CameraBlock camera{0.0f, -3.5f, 20.0f, 0, 0, 0, 70.0f, 120.0f};
    const float t = 2.0f;
    jumpCutView(camera, splinesCut, t);
    float ours[16];
    current(GL_MODELVIEW_MATRIX, ours);
    glLoadIdentity();
    gluLookAt(0.0, -3.5, 20.0, std::sin(2.0), std::cos(2.0), 0.0, 0.0, 1.0, 0.0);
    glRotatef(5.0f * t, 0, 1, 0);
    glRotatef(14.0f * t, 1, 0, 0);
    glRotatef(8.0f * t, 0, 0, 1);
    float expected[16];
    current(GL_MODELVIEW_MATRIX, expected);
    expectMatrix(expected, ours, 1e-5f, "look-at and spin");
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
    current(GL_MODELVIEW_MATRIX, viewAtCut);
    EXPECT_FLOAT_EQ(lastCut, 3.5f);
    EXPECT_NE(camera.camZ, -30.0f);  // the new eye, for the next frame

    CameraBlock old{0.0f, -3.5f, -30.0f, 0, 25, 30, 70, 140};
    jumpCutView(old, blobsCut, 3.5f);
    float oldView[16];
    current(GL_MODELVIEW_MATRIX, oldView);
    expectMatrix(oldView, viewAtCut, 1e-6f, "the cut frame still uses the old eye");
}
