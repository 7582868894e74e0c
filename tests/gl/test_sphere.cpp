// The sphere as one indexed triangle list looks as the quadric's sphere does.
#include "gl_fixture.h"

#include "render/sphere.h"

#include <GL/glu.h>

#include <cstdlib>

namespace {

class SphereTest : public GlTest {};

// The sphere in a lit, back-face-culled view, seen from where `eye` says, as RGBA bytes
// of the 256 x 256 window.
std::vector<unsigned char> view(unsigned int list, const float* eye)
{
    glViewport(0, 0, 256, 256);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 1.0, 0.1, 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const bool onAxis = eye[0] == 0.0f && eye[1] == 0.0f;
    gluLookAt(eye[0], eye[1], eye[2], 0, 0, 0, 0, onAxis ? 1 : 0, onAxis ? 0 : 1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float light[4] = {0.3f, -0.6f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glCallList(list);
    glDisable(GL_LIGHTING);
    std::vector<unsigned char> rgba(256 * 256 * 4);
    glReadPixels(0, 0, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

}  // namespace

TEST_F(SphereTest, OneIndexedTriangleListDrawsTheQuadricsSphere)
{
    GLUquadric* quadric = gluNewQuadric();
    gluQuadricNormals(quadric, GLU_SMOOTH);
    gluQuadricOrientation(quadric, GLU_OUTSIDE);
    for (int steps : {8, 16}) {
        const unsigned int lists = glGenLists(2);
        glNewList(lists, GL_COMPILE);
        gluSphere(quadric, 1.0, steps, steps);
        glEndList();
        const SphereMesh mesh = sphereMesh(1.0f, steps, steps);
        EXPECT_EQ(mesh.indices.size(), size_t(steps * (steps - 1) * 6));
        EXPECT_EQ(mesh.vertices.size(), size_t(steps * (steps - 1) + 2)) << "every vertex once";
        glNewList(lists + 1, GL_COMPILE);
        glBegin(GL_TRIANGLES);
        for (uint32_t index : mesh.indices) {
            glNormal3fv(mesh.vertices[index].normal);
            glVertex3fv(mesh.vertices[index].position);
        }
        glEnd();
        glEndList();
        // Poles, equator and a slant: every part of the surface, front faces only.
        const float eyes[][3] = {{0, 0, 4}, {0, 0, -4}, {4, 0.3f, 0.2f}, {2.5f, -2.5f, 1.5f}};
        for (const auto& eye : eyes) {
            const std::vector<unsigned char> quadricView = view(lists, eye);
            const std::vector<unsigned char> listView = view(lists + 1, eye);
            int covered = 0, coverageDiffers = 0, largest = 0;
            for (size_t i = 0; i < quadricView.size(); i += 4) {
                const bool a = quadricView[i] + quadricView[i + 1] + quadricView[i + 2] > 0;
                const bool b = listView[i] + listView[i + 1] + listView[i + 2] > 0;
                covered += a;
                coverageDiffers += a != b;
                for (size_t c = 0; c < 3; ++c) {
                    largest = std::max(largest, std::abs(int(quadricView[i + c]) - int(listView[i + c])));
                }
            }
            EXPECT_GT(covered, 5000) << steps << " steps, eye " << eye[0] << " " << eye[1] << " " << eye[2];
            EXPECT_EQ(coverageDiffers, 0) << "the same outline";
            EXPECT_LE(largest, 2) << "the same shading";
        }
        glDeleteLists(lists, 2);
    }
    gluDeleteQuadric(quadric);
}
