#include "effects/stripes_dof.h"

#include "effects/sfmt.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

#include <iterator>

namespace {

// The runtime gives GL's matrices to a program only through the parameters bound to
// the state.matrix.* semantics, read at the moment of the call and uploaded when the
// pass is set.
void trackMatrices(const Shader& shader)
{
    fx::setStateMatrixParameter(fx::parameterBySemantic(shader.effect, "state.matrix.mvp"),
                                fx::StateMatrix::ModelViewProjection, fx::MatrixTransform::Identity);
    fx::setStateMatrixParameter(fx::parameterBySemantic(shader.effect, "state.matrix.modelview"),
                                fx::StateMatrix::ModelView, fx::MatrixTransform::Identity);
}

}  // namespace

void createStripes(std::vector<Stripe>& stripes, uint32_t count)
{
    stripes.reserve(stripes.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        Stripe s;
        s.x = (randomUnit() - 0.5f) * 5.0f;
        s.y = 5.0f * randomUnit();
        s.z = 10.0f * randomUnit();
        s.w = 0.1f + 0.2f * randomUnit();
        s.h = 0.2f + 0.9f * randomUnit();
        s.v = 0.5f + 4.0f * randomUnit();
        stripes.push_back(s);
    }
}

bool advanceStripe(Stripe& s, float step)
{
    s.y += step * s.v;
    if (!(s.y > stripeCeiling)) {
        return false;
    }
    s.y = stripeRebirthY;
    s.x = (randomUnit() - 0.5f) * 20.0f;
    s.z = 10.0f * randomUnit();
    s.w = 0.1f + 0.2f * randomUnit();
    s.h = 0.2f + 0.9f * randomUnit();
    s.v = 0.8f + 4.0f * randomUnit();
    return true;
}

void drawBox(float a, float b, float c)
{
    const float A = a * 0.5f, B = b * 0.5f, C = c * 0.5f;
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glVertex3f(-A, -C, B);
    glVertex3f(A, -C, B);
    glVertex3f(A, C, B);
    glVertex3f(-A, C, B);
    glNormal3f(0.0f, 0.0f, -1.0f);
    glVertex3f(-A, -C, -B);
    glVertex3f(-A, C, -B);
    glVertex3f(A, C, -B);
    glVertex3f(A, -C, -B);
    glNormal3f(1.0f, 0.0f, 0.0f);
    glVertex3f(A, -C, -B);
    glVertex3f(A, C, -B);
    glVertex3f(A, C, B);
    glVertex3f(A, -C, B);
    glNormal3f(-1.0f, 0.0f, 0.0f);
    glVertex3f(-A, -C, -B);
    glVertex3f(-A, -C, B);
    glVertex3f(-A, C, B);
    glVertex3f(-A, C, -B);
    glNormal3f(0.0f, 1.0f, 0.0f);
    glVertex3f(-A, C, -B);
    glVertex3f(-A, C, B);
    glVertex3f(A, C, B);
    glVertex3f(A, C, -B);
    glNormal3f(0.0f, -1.0f, 0.0f);
    glVertex3f(-A, -C, -B);
    glVertex3f(A, -C, -B);
    glVertex3f(A, -C, B);
    glVertex3f(-A, -C, B);
    glEnd();
}

StripesDOF::~StripesDOF()
{
    releaseBuffers({&indexBuffer, &vertexBuffer});
    releaseTextures(textures, std::size(textures));
}

int StripesDOF::init()
{
    createStripes(stripes, stripeCount);
    initialStripes = stripes;
    registerCamera(camera, stripesCameraPositionDefinition);
    if (loadShaderFile(cubeShader, "shaders/dof_cube.cgfx") != 0 || loadDofShaders(dof) != 0) {
        return 1;
    }
    if (loadMesh("objects/arrow.mmf", loader, arrowMesh) != 0 ||
        uploadMesh(&indexBuffer, arrowMesh.polygons, arrowMesh.points, arrowMesh.normals, GL_STATIC_DRAW,
                   &vertexBuffer, arrowMesh.uvs) != 0) {
        return 1;
    }
    if (loadTextureFile(textures[1], "textures/living_room.dds") != 0 ||
        loadTextureFile(textures[2], "textures/living_room_diff.dds") != 0) {
        return 1;
    }
    return 0;
}

void StripesDOF::restart()
{
    stripes = initialStripes;  // same size: no allocation
    previousTime = 0.0f;
}

void StripesDOF::render(float t)
{
    setProjection(camera, projection);
    fixedCamera(camera);
    applyTweaks();

    setShaderFloat(dof.render, "farClip", camera.zFar);
    // The camera of this moment; the bars' own places reach dof_render per draw.
    trackMatrices(dof.render);

    beginDofScene();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    drawBackground();
    drawStripes(t);

    runDofChain(dof);
    controlGridInView(projection);
}

void StripesDOF::drawBackground()
{
    glDepthMask(GL_FALSE);
    setShaderSampler(cubeShader, "texEnv", textures[2].crc);
    trackMatrices(cubeShader);
    beginShaderPass(cubeShader);
    drawEnvironmentCube();
    glDepthMask(GL_TRUE);
    // Left set: the bars' pass is set over it.
}

void StripesDOF::drawStripes(float t)
{
    fx::setParameter3f(shaderParameter(dof.render, "camPos"), camera.camX, camera.camY, camera.camZ);
    setShaderSampler(dof.render, "texAO", textures[0].crc);
    setShaderSampler(dof.render, "texDiff", textures[2].crc);
    setShaderSampler(dof.render, "texEnv", textures[1].crc);
    fx::Pass* pass = beginShaderPass(dof.render);
    const float step = t - previousTime;
    for (Stripe& s : stripes) {
        glPushMatrix();
        advanceStripe(s, step);
        glTranslatef(s.x, s.y, s.z);
        // dof_render places the bar itself from the camera captured above: setting the
        // pass again for every bar would cost more than drawing it.
        glMultiTexCoord4f(GL_TEXTURE4, s.x, s.y, s.z, 0.0f);
        drawBox(s.w, s.w, s.h);
        glPopMatrix();
    }
    previousTime = t;
    glMultiTexCoord4f(GL_TEXTURE4, 0.0f, 0.0f, 0.0f, 1.0f);
    endShaderPass(pass);
}
