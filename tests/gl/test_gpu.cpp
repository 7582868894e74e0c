// The CPU matrices against the GL's own, and plain draws (generic attributes, our small
// programs) against the fixed function they stand for, on the compatibility context
// where the fixed function still exists to compare with.
#include "gl_fixture.h"

#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "gpu/state.h"

#include <cmath>
#include <functional>

namespace {

class Gpu : public GlTest {
protected:
    void SetUp() override
    {
        gpu::resetMatrices();
        for (GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
            glMatrixMode(mode);
            glLoadIdentity();
        }
    }
    void TearDown() override
    {
        gpu::releaseImmediate();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

struct MatrixCase {
    const char* name;
    std::function<void()> ours;
    std::function<void()> theirs;
};

TEST_F(Gpu, MatricesAreTheOnesGlWouldMake)
{
    const MatrixCase cases[] = {
        {"translate rotate scale",
         [] { gpu::translate(1, -2, 3); gpu::rotate(33, 0.2f, 1, -0.4f); gpu::scale(2, 0.5f, -1); },
         [] { glTranslatef(1, -2, 3); glRotatef(33, 0.2f, 1, -0.4f); glScalef(2, 0.5f, -1); }},
        {"push, change, pop",
         [] { gpu::translate(4, 0, 0); gpu::pushMatrix(); gpu::rotate(90, 0, 0, 1); gpu::popMatrix(); gpu::scale(3, 3, 3); },
         [] { glTranslatef(4, 0, 0); glPushMatrix(); glRotatef(90, 0, 0, 1); glPopMatrix(); glScalef(3, 3, 3); }},
        {"load and multiply",
         [] { const float m[16] = {1, 2, 0, 0, 0, 1, 3, 0, 0, 0, 1, 0, 5, 6, 7, 1}; gpu::loadMatrix(m); gpu::multMatrix(m); },
         [] { const float m[16] = {1, 2, 0, 0, 0, 1, 3, 0, 0, 0, 1, 0, 5, 6, 7, 1}; glLoadMatrixf(m); glMultMatrixf(m); }},
    };
    const MatrixCase projections[] = {
        {"ortho", [] { gpu::ortho(0, 639, 0, 479, -1, 1); }, [] { glOrtho(0, 639, 0, 479, -1, 1); }},
        {"frustum", [] { gpu::frustum(-0.3, 0.4, -0.2, 0.25, 0.02, 200); }, [] { glFrustum(-0.3, 0.4, -0.2, 0.25, 0.02, 200); }},
    };
    for (const MatrixCase& c : cases) {
        SetUp();
        c.theirs();
        float gl[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, gl);
        c.ours();
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(gpu::matrix(gpu::MatrixMode::ModelView)[i], gl[i], 1e-5f) << c.name << " [" << i << "]";
        }
    }
    for (const MatrixCase& c : projections) {
        SetUp();
        glMatrixMode(GL_PROJECTION);
        c.theirs();
        float gl[16];
        glGetFloatv(GL_PROJECTION_MATRIX, gl);
        glMatrixMode(GL_MODELVIEW);
        gpu::matrixMode(gpu::MatrixMode::Projection);
        c.ours();
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(gpu::matrix(gpu::MatrixMode::Projection)[i], gl[i], 1e-5f * std::max(1.0f, std::fabs(gl[i])))
                << c.name << " [" << i << "]";
        }
    }
    // A pop of the last matrix and a push past the depth leave the top as it was.
    SetUp();
    gpu::translate(1, 2, 3);
    gpu::popMatrix();
    EXPECT_FLOAT_EQ(gpu::matrix(gpu::MatrixMode::ModelView)[12], 1.0f);
    for (int i = 0; i < gpu::kStackDepth + 5; ++i) {
        gpu::pushMatrix();
    }
    EXPECT_FLOAT_EQ(gpu::matrix(gpu::MatrixMode::ModelView)[13], 2.0f);
    gpu::resetMatrices();
}

// A scene of plain draws: coloured quads, a textured quad, lines, a fan; under an
// orthographic projection and a rotated model-view. Ours through gpu/, theirs through
// the compatibility context's fixed function, as the same scene was drawn before.
void startScene()
{
    glViewport(0, 0, 64, 64);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

std::vector<unsigned char> readScene()
{
    std::vector<unsigned char> pixels(64 * 64 * 4);
    glReadPixels(0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::vector<unsigned char> drawOurScene(GLuint texture)
{
    startScene();
    gpu::resetMatrices();
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::ortho(0, 64, 0, 64, -1, 1);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::translate(32, 32, 0);
    gpu::rotate(20, 0, 0, 1);
    gpu::color(1, 0.5f, 0.25f, 0.75f);
    gpu::begin(gpu::Primitive::Quads);
    gpu::rect(-20, -20, 0, 0);
    gpu::color(0.2f, 1, 0.4f, 1);
    gpu::rect(2, 2, 20, 10);
    gpu::end();
    gpu::setTexturing(true);
    glBindTexture(GL_TEXTURE_2D, texture);
    gpu::rect(-20, 4, -4, 20, 0, 0, 1, 1);
    gpu::setTexturing(false);
    glBindTexture(GL_TEXTURE_2D, 0);
    gpu::color(1, 1, 1, 1);
    gpu::begin(gpu::Primitive::Lines);
    gpu::vertex(-30, -25);
    gpu::vertex(30, -25);
    gpu::end();
    gpu::begin(gpu::Primitive::TriangleFan);
    gpu::color(0, 0, 1, 1);
    gpu::vertex(10, -20);
    gpu::color(1, 0, 1, 1);
    gpu::vertex(25, -20);
    gpu::vertex(25, -5);
    gpu::end();
    return readScene();
}

void fixedRect(float x0, float y0, float x1, float y1)
{
    glTexCoord2f(0, 0);
    glVertex2f(x0, y0);
    glTexCoord2f(1, 0);
    glVertex2f(x1, y0);
    glTexCoord2f(1, 1);
    glVertex2f(x1, y1);
    glTexCoord2f(0, 1);
    glVertex2f(x0, y1);
}

std::vector<unsigned char> drawFixedFunctionScene(GLuint texture)
{
    startScene();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 64, 0, 64, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(32, 32, 0);
    glRotatef(20, 0, 0, 1);
    glBegin(GL_QUADS);
    glColor4f(1, 0.5f, 0.25f, 0.75f);
    fixedRect(-20, -20, 0, 0);
    glColor4f(0.2f, 1, 0.4f, 1);
    fixedRect(2, 2, 20, 10);
    glEnd();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    fixedRect(-20, 4, -4, 20);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_LINES);
    glVertex2f(-30, -25);
    glVertex2f(30, -25);
    glEnd();
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(0, 0, 1, 1);
    glVertex2f(10, -20);
    glColor4f(1, 0, 1, 1);
    glVertex2f(25, -20);
    glVertex2f(25, -5);
    glEnd();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    return readScene();
}

TEST_F(Gpu, PlainDrawsDrawWhatTheFixedFunctionDrew)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 255, 255, 255, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    const std::vector<unsigned char> fixed = drawFixedFunctionScene(texture);
    const std::vector<unsigned char> ours = drawOurScene(texture);
    glDeleteTextures(1, &texture);

    int differing = 0, lit = 0;
    for (size_t i = 0; i < fixed.size(); i += 4) {
        lit += fixed[i] + fixed[i + 1] + fixed[i + 2] > 0;
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int(fixed[i + c]) - int(ours[i + c])) > 2) {
                ++differing;
                break;
            }
        }
    }
    EXPECT_GT(lit, 64 * 64 / 5) << "the scene draws something";
    EXPECT_LE(differing, 8) << "pixels that differ between the two (edges may round apart)";
}

TEST_F(Gpu, StateRecordPutsBackWhatADrawChanged)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glViewport(1, 2, 30, 40);
    gpu::color(0.25f, 0.5f, 0.75f, 1.0f);
    const gpu::StateRecord saved = gpu::saveState();

    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_SCISSOR_TEST);
    glViewport(0, 0, 8, 8);
    gpu::color(1, 1, 1, 1);
    gpu::restoreState(saved);

    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    GLint dst = 0, viewport[4] = {};
    GLboolean mask = GL_TRUE;
    glGetIntegerv(GL_BLEND_DST_RGB, &dst);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_EQ(viewport[3], 40);
    EXPECT_EQ(mask, GL_FALSE);
    EXPECT_FLOAT_EQ(gpu::currentColor()[2], 0.75f);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

}  // namespace
