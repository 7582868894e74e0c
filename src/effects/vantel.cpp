#include "effects/vantel.h"

#include "app/matrix.h"
#include "core/gui.h"
#include "effects/sfmt.h"
#include "render/lod.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

const char* const shapeDefinition = " min=0 max=20 step=0.5 ";

// The one quadric of the program: Vantel's init creates it, VantelObject's replaces it.
GLUquadric* quadric = nullptr;

// The six companions of a satellite, in drawing order.
const float companions[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};

unsigned int compileSphere(float radius)
{
    const unsigned int list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    gluSphere(quadric, radius, 16, 16);
    glEndList();
    return list;
}

// The surface and satellite shaders light with the environment the part loaded.
void giveEnvironment(const VantelBody& body, const Texture& environment, const Texture& diffuse)
{
    for (const Shader* shader : {&body.surfaceShader, &body.wireShader}) {
        setShaderSampler(*shader, "texEnv", environment.crc);
        setShaderSampler(*shader, "texDiff", diffuse.crc);
    }
}

// A bound on the factor by which the matrix's linear part stretches a length (its
// Frobenius norm: exact enough for the rotations and scales the scenes give).
float stretchBound(const float* m)
{
    float sum = 0.0f;
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            sum += m[4 * column + row] * m[4 * column + row];
        }
    }
    return std::sqrt(sum);
}

void setShape(const Shader& shader, float m0, float m1, float t)
{
    setShaderFloat(shader, "m0", m0);
    setShaderFloat(shader, "m1", m1);
    setShaderFloat(shader, "t", 0.4f * t);
}

}  // namespace

void fillSatellites(Satellite* satellites, int count, const SatelliteSpread& spread)
{
    for (int i = 0; i < count; ++i) {
        Satellite& s = satellites[i];
        s.x = spread.size * randomUnit() - 0.5f * spread.size;
        s.y = spread.height * randomUnit() - 0.5f * spread.height;
        s.z = spread.size * randomUnit() - 0.5f * spread.size;
        s.w = 30.0f * randomUnit() - 15.0f;
    }
}

float satelliteAlpha(int index, float t) { return 0.05f * (std::cos(float(index) + 0.1f * t) + 1.0f); }

void VantelBody::registerShape()
{
    tweak::addVarRW(gui.bar, "m0", tweak::Type::Float, &m0, shapeDefinition);
    tweak::addVarRW(gui.bar, "m1", tweak::Type::Float, &m1, shapeDefinition);
}

int VantelBody::loadShadersAndMesh()
{
    if (loadShaderFile(cubeEnvShader, "shaders/cube_env.cgfx") != 0 ||
        loadShaderFile(surfaceShader, "shaders/sh_render.cgfx") != 0 ||
        loadShaderFile(wireShader, "shaders/sh_wire_render.cgfx") != 0) {
        return 1;
    }
    return loadMesh("objects/cube_env100out.mmf", loader, envMesh) != 0 ? 1 : 0;
}

void VantelBody::buildLists(float radiusA, float radiusB)
{
    if (quadric) {
        gluDeleteQuadric(quadric);  // the one an earlier init made: its lists are compiled
    }
    quadric = gluNewQuadric();
    this->radiusA = radiusA;
    this->radiusB = radiusB;
    gluQuadricNormals(quadric, GLU_SMOOTH);
    gluQuadricOrientation(quadric, GLU_OUTSIDE);
    sphereList = compileSphere(radiusA);
    smallSphereList = compileSphere(radiusB);

    // The grid is the same every frame: one list holds its quads in drawing order, for
    // i and inside it j, (u0, v0), (u1, v0), (u1, v1), (u0, v1) with u over a full turn
    // and v over a half turn.
    const float du = float(PI / 40.0);
    const float dv = float(PI / 80.0);
    gridList = glGenLists(1);
    glNewList(gridList, GL_COMPILE);
    glBegin(GL_QUADS);
    for (int i = 0; i < gridSteps; ++i) {
        const float u0 = float(i) * du;
        const float u1 = u0 + du;
        for (int j = 0; j < gridSteps; ++j) {
            const float v0 = float(j) * dv;
            const float v1 = v0 + dv;
            glVertex3f(u0, v0, 0.0f);
            glVertex3f(u1, v0, 0.0f);
            glVertex3f(u1, v1, 0.0f);
            glVertex3f(u0, v1, 0.0f);
        }
    }
    glEnd();
    glEndList();
}

void VantelBody::drawSatellites(float t)
{
    setShape(wireShader, m0, m1, t);
    fx::Pass* pass = beginShaderPass(wireShader);
    // A satellite off screen would have every vertex of its seven spheres shaded only to
    // be clipped (the scene companions draw ten swarms a frame). Its reach: the farthest
    // companion sphere, grown by the ripple (positions scale by up to 1 + ripple).
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    const ViewVolume view = viewVolume(projection, 1);
    float ripple = 0.5f;
    fx::currentValues(shaderParameter(wireShader, "ripple"), &ripple, 1);
    const float grow = 1.0f + std::fabs(ripple);
    const float reach = std::max(radiusA * grow, 1.0f * grow + radiusB * grow);
    float modelView[16];
    for (int i = 0; i < satelliteCount; ++i) {
        const Satellite& s = satellites[i];
        const float a = s.w * t;
        glPushMatrix();
        glRotatef(2.0f * a, 0.0f, 1.0f, 0.0f);
        glRotatef(a, 0.0f, 0.0f, 1.0f);
        glRotatef(1.5f * a, 1.0f, 0.0f, 0.0f);
        glTranslatef(s.x, s.y, s.z);
        glRotatef(2.0f * a, 0.0f, 1.0f, 0.0f);
        glRotatef(a, 0.0f, 0.0f, 1.0f);
        glRotatef(1.5f * a, 1.0f, 0.0f, 0.0f);
        glColor4f(1.0f, 1.0f, 1.0f, satelliteAlpha(i, t));
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        if (outsideView(view, &modelView[12], reach * stretchBound(modelView))) {
            glPopMatrix();
            continue;
        }
        glCallList(sphereList);
        for (const float* c : companions) {
            glPushMatrix();
            glTranslatef(c[0], c[1], c[2]);
            glCallList(smallSphereList);
            glPopMatrix();
        }
        glPopMatrix();
    }
    endShaderPass(pass);
}

void VantelBody::drawSurface(float t, float scale)
{
    setShape(surfaceShader, m0, m1, t);
    fx::Pass* pass = beginShaderPass(surfaceShader);
    if (scale != 1.0f) {
        glScalef(scale, scale, scale);
    }
    glCallList(gridList);
    endShaderPass(pass);
}

int Vantel::init()
{
    registerCamera(camera);
    body.registerShape();
    if (body.loadShadersAndMesh() != 0) {
        return 1;
    }
    if (loadTextureFile(textures[0], "textures/hd210.dds") != 0 ||
        loadTextureFile(textures[1], "textures/hd210_diff.dds") != 0 ||
        loadTextureFile(textures[2], "textures/overlay01.png") != 0) {
        return 1;
    }
    fillSatellites(body.satellites, satelliteCount, vantelSpread);
    body.buildLists(0.5f, 0.25f);
    giveEnvironment(body, textures[0], textures[1]);
    return 0;
}

void Vantel::render(float t)
{
    jumpCutCamera(camera, lastCut, vantelCut, t);
    applyTweaks();

    setShaderSampler(body.cubeEnvShader, "texEnv", textures[1].crc);
    fx::setStateMatrixParameter(fx::parameterBySemantic(body.cubeEnvShader.effect, "state.matrix.mvp"),
                                fx::StateMatrix::ModelViewProjection, fx::MatrixTransform::Identity);
    beginShaderPass(body.cubeEnvShader);  // left set: the satellites' pass is set over it
    drawEnvironmentCube(&body.envMesh);

    body.drawSatellites(t);
    body.drawSurface(t, 1.0f);
    controlGrid();
}

void Vantel::restart()
{
    lastCut = 0.0f;
    camera.camX = 0.0f;
    camera.camY = -3.5f;
    camera.camZ = -20.0f;
}

int VantelObject::init()
{
    registerCamera(camera);
    body.registerShape();
    if (body.loadShadersAndMesh() != 0) {
        return 1;
    }
    if (loadTextureFile(textures[0], "textures/virus2-ao1024.png") != 0 ||
        loadTextureFile(textures[1], "textures/hd210.dds") != 0 ||
        loadTextureFile(textures[2], "textures/hd210_diff.dds") != 0 ||
        loadTextureFile(textures[3], "textures/overlay08.jpg") != 0) {
        return 1;
    }
    fillSatellites(body.satellites, satelliteCount, vantelObjectSpread);
    body.buildLists(0.05f, 0.025f);
    giveEnvironment(body, textures[1], textures[2]);
    return 0;
}

void VantelObject::render(float t)
{
    applyTweaks();
    body.drawSatellites(t);
    body.drawSurface(t, 0.1f);
}
