#include "effects/vantel.h"

#include "base/matrix.h"
#include "effects/sfmt.h"
#include "render/lod.h"
#include "render/sphere.h"
#include "resources/control_bar.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

const char* const shapeDefinition = " min=0 max=20 step=0.5 ";

// The six companions of a satellite, in drawing order.
const float companions[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};

// The levels of detail of one sphere: its slices and stacks, and the smallest radius on
// screen (pixels) each but the last is drawn down to. A polygon of n sides strays from
// its circle by r (1 - cos(pi / n)): each level keeps that to a third of a pixel below
// the radius where the finer level takes over.
const int satelliteSteps[satelliteLevels] = {16, 12, 8, 6, 4};
const float satelliteMinPixels[satelliteLevels - 1] = {10.0f, 4.5f, 2.5f, 1.1f};

// The radius in pixels of a sphere of `radius` whose nearest point lies `nearest` in
// front of the eye (anything reaching the eye's plane counts as huge).
float pixelsAcross(float radius, float nearest, float pixelsPerUnit)
{
    return nearest > 0.0f ? radius * pixelsPerUnit / nearest : 1e30f;
}

// What sh_wire_render's bubblePS lets through: a fragment's alpha is the colour's
// alpha times the glass gain times (0.08 + rim), rim at most 1, and under 0.06 it is
// discarded.
constexpr float glassRimFactor = 1.08f;
constexpr float glassThreshold = 0.06f;

// Vertex layout of the satellite mesh: position, normal, the centre of its sphere.
constexpr int satelliteStride = 9 * sizeof(float);

// Appends spheres of `radius` at `steps` slices and stacks about each of `centres` to
// the vertex list, and their triangles to `indices`.
void appendSpheres(float radius, int steps, const float (*centres)[3], int count, std::vector<float>& vertices,
                   std::vector<uint32_t>& indices)
{
    const SphereMesh sphere = sphereMesh(radius, steps, steps);
    for (int k = 0; k < count; ++k) {
        const float* centre = centres[k];
        const uint32_t base = uint32_t(vertices.size() / 9);
        for (const SphereVertex& v : sphere.vertices) {
            vertices.insert(vertices.end(), {v.position[0] + centre[0], v.position[1] + centre[1],
                                             v.position[2] + centre[2], v.normal[0], v.normal[1], v.normal[2],
                                             centre[0], centre[1], centre[2]});
        }
        for (uint32_t index : sphere.indices) {
            indices.push_back(base + index);
        }
    }
}

// The surface and satellite shaders light with the environment the part loaded.
void giveEnvironment(const VantelBody& body, const Texture& environment, const Texture& diffuse)
{
    for (const Shader* shader : {&body.surfaceShader, &body.wireShader}) {
        setShaderSampler(*shader, "texEnv", environment.crc);
        setShaderSampler(*shader, "texDiff", diffuse.crc);
    }
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
    tweak::addVarRW(controlBar.bar, "m0", tweak::Type::Float, &m0, shapeDefinition);
    tweak::addVarRW(controlBar.bar, "m1", tweak::Type::Float, &m1, shapeDefinition);
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
    this->radiusA = radiusA;
    this->radiusB = radiusB;
    // Every level of sphere A and of the six B share one vertex buffer; a satellite is
    // one draw (a frame draws hundreds, and each draw has its own set-up cost), so every
    // pairing of the two levels has its own index list.
    std::vector<float> vertices;
    std::vector<uint32_t> sphereA[satelliteLevels], spheresB[satelliteLevels];
    const float origin[1][3] = {{0.0f, 0.0f, 0.0f}};
    for (int level = 0; level < satelliteLevels; ++level) {
        appendSpheres(radiusA, satelliteSteps[level], origin, 1, vertices, sphereA[level]);
        appendSpheres(radiusB, satelliteSteps[level], companions, 6, vertices, spheresB[level]);
    }
    std::vector<uint32_t> indices;
    for (int a = 0; a < satelliteLevels; ++a) {
        for (int b = 0; b < satelliteLevels; ++b) {
            satelliteMesh.first[a][b] = uint32_t(indices.size());
            indices.insert(indices.end(), sphereA[a].begin(), sphereA[a].end());
            indices.insert(indices.end(), spheresB[b].begin(), spheresB[b].end());
            satelliteMesh.count[a][b] = uint32_t(indices.size()) - satelliteMesh.first[a][b];
        }
    }
    satelliteMesh.lastVertex = uint32_t(vertices.size() / 9) - 1;
    releaseBuffers({&satelliteMesh.vertexBuffer, &satelliteMesh.indexBuffer});
    satelliteMesh.vertexBuffer = fillBuffer(GL_ARRAY_BUFFER, vertices.data(), vertices.size() * sizeof(float),
                                            GL_STATIC_DRAW);
    satelliteMesh.indexBuffer = fillBuffer(GL_ELEMENT_ARRAY_BUFFER, indices.data(),
                                           indices.size() * sizeof(uint32_t), GL_STATIC_DRAW);

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
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const ViewVolume view = viewVolume(projection, viewport[3]);
    float ripple = 0.5f;
    fx::currentValues(shaderParameter(wireShader, "ripple"), &ripple, 1);
    float gain = 14.0f;
    fx::currentValues(shaderParameter(wireShader, "glassGain"), &gain, 1);
    const float grow = 1.0f + std::fabs(ripple);
    const float reach = grow * std::max(radiusA, 1.0f + radiusB);  // the companions sit 1 from the centre
    float modelView[16];
    glBindBuffer(GL_ARRAY_BUFFER, satelliteMesh.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, satelliteMesh.indexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, satelliteStride, nullptr);
    glNormalPointer(GL_FLOAT, satelliteStride, reinterpret_cast<const void*>(3 * sizeof(float)));
    glClientActiveTexture(GL_TEXTURE1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(3, GL_FLOAT, satelliteStride, reinterpret_cast<const void*>(6 * sizeof(float)));
    for (int i = 0; i < satelliteCount; ++i) {
        const float alpha = satelliteAlpha(i, t);
        if (alpha * gain * glassRimFactor < 0.99f * glassThreshold) {
            continue;  // every fragment of its glass would be discarded (with a margin for rounding)
        }
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
        glColor4f(1.0f, 1.0f, 1.0f, alpha);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        const float stretch = maxStretch(modelView);
        if (outsideView(view, &modelView[12], reach * stretch)) {
            glPopMatrix();
            continue;
        }
        // Sphere A sits at the centre; the B are judged at the group's nearest point.
        const float depth = -modelView[14];
        const float scale = grow * stretch;
        const int levelA = levelForPixels(pixelsAcross(radiusA * scale, depth - radiusA * scale, view.pixelsPerUnit),
                                            satelliteMinPixels, satelliteLevels);
        const int levelB = levelForPixels(pixelsAcross(radiusB * scale, depth - reach * stretch, view.pixelsPerUnit),
                                            satelliteMinPixels, satelliteLevels);
        glDrawRangeElements(GL_TRIANGLES, 0, satelliteMesh.lastVertex, GLsizei(satelliteMesh.count[levelA][levelB]),
                            GL_UNSIGNED_INT,
                            reinterpret_cast<const void*>(uintptr_t(satelliteMesh.first[levelA][levelB]) *
                                                          sizeof(uint32_t)));
        glPopMatrix();
    }
    // The current colour is left as the last record's, drawn or not.
    glColor4f(1.0f, 1.0f, 1.0f, satelliteAlpha(satelliteCount - 1, t));
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTexture(GL_TEXTURE0);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
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
