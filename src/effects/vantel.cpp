#include "effects/vantel.h"

#include "base/matrix.h"
#include "effects/sfmt.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
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

// Vertex layout of the satellite mesh: position, normal, the centre of its sphere (the
// wire shader's TEXCOORD1).
const gpu::VertexLayout satelliteLayout = [] {
    gpu::VertexLayout l;
    l.stride = 9 * sizeof(float);
    l.position = 0;
    l.normal = 3 * sizeof(float);
    l.texCoord1 = 6 * sizeof(float);
    l.texCoord1Size = 3;
    return l;
}();

// The grid's corners: (u, v, 0).
const gpu::VertexLayout gridLayout = [] {
    gpu::VertexLayout l;
    l.stride = 3 * sizeof(float);
    l.position = 0;
    return l;
}();

// A buffer bound to `target` holding `bytes` of `data`, left unbound.
unsigned int staticBuffer(unsigned int target, const void* data, size_t bytes)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, GLsizeiptr(bytes), data, GL_STATIC_DRAW);
    glBindBuffer(target, 0);
    return buffer;
}

// Where a satellite sits about the origin of its swarm at angle a (degrees): turned by
// R, moved to its place, turned by R again, R = about Y by 2a, Z by a, X by 1.5a.
void satelliteMatrix(const Satellite& s, float a, float* out)
{
    float ry[16], rz[16], rx[16], ryz[16], r[16], rt[16];
    rotationMatrix(2.0f * a, 0.0f, 1.0f, 0.0f, ry);
    rotationMatrix(a, 0.0f, 0.0f, 1.0f, rz);
    rotationMatrix(1.5f * a, 1.0f, 0.0f, 0.0f, rx);
    // multiplyMatrix(x, y) on column-major matrices is y x.
    multiplyMatrix(rz, ry, ryz);
    multiplyMatrix(rx, ryz, r);
    copyMatrix(r, rt);
    for (int row = 0; row < 3; ++row) {
        rt[12 + row] = r[row] * s.x + r[4 + row] * s.y + r[8 + row] * s.z;
    }
    multiplyMatrix(r, rt, out);
}

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

void VantelBody::buildMeshes(float radiusA, float radiusB)
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

    // The grid is the same every frame: corner (i, j) at u = i du (a full turn in 80
    // steps), v = j dv (a half turn), its quads for i and inside it j as (i, j),
    // (i + 1, j), (i, j + 1) and (i + 1, j), (i + 1, j + 1), (i, j + 1): split along the
    // diagonal GL splits a quad (the colours are interpolated across each triangle).
    const float du = float(PI / 40.0);
    const float dv = float(PI / 80.0);
    constexpr int corners = gridSteps + 1;
    std::vector<float> grid;
    grid.reserve(size_t(corners) * corners * 3);
    for (int i = 0; i < corners; ++i) {
        for (int j = 0; j < corners; ++j) {
            grid.insert(grid.end(), {float(i) * du, float(j) * dv, 0.0f});
        }
    }
    std::vector<uint16_t> quads;
    quads.reserve(size_t(gridSteps) * gridSteps * 6);
    for (int i = 0; i < gridSteps; ++i) {
        for (int j = 0; j < gridSteps; ++j) {
            const uint16_t c00 = uint16_t(i * corners + j), c10 = uint16_t(c00 + corners);
            quads.insert(quads.end(), {c00, c10, uint16_t(c00 + 1), c10, uint16_t(c10 + 1), uint16_t(c00 + 1)});
        }
    }
    releaseBuffers({&gridMesh.vertexBuffer, &gridMesh.indexBuffer});
    gridMesh.vertexBuffer = staticBuffer(GL_ARRAY_BUFFER, grid.data(), grid.size() * sizeof(float));
    gridMesh.indexBuffer = staticBuffer(GL_ELEMENT_ARRAY_BUFFER, quads.data(), quads.size() * sizeof(uint16_t));
    gridMesh.indexCount = int(quads.size());
}

void VantelBody::drawSatellites(float t)
{
    setShape(wireShader, m0, m1, t);
    fx::Pass* pass = beginShaderPass(wireShader);
    // A satellite off screen would have every vertex of its seven spheres shaded only to
    // be clipped (the scene companions draw ten swarms a frame). Its reach: the farthest
    // companion sphere, grown by the ripple (positions scale by up to 1 + ripple).
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const ViewVolume view = viewVolume(gpu::matrix(gpu::MatrixMode::Projection), viewport[3]);
    float ripple = 0.5f;
    fx::currentValues(shaderParameter(wireShader, "ripple"), &ripple, 1);
    float gain = 14.0f;
    fx::currentValues(shaderParameter(wireShader, "glassGain"), &gain, 1);
    const float grow = 1.0f + std::fabs(ripple);
    const float reach = grow * std::max(radiusA, 1.0f + radiusB);  // the companions sit 1 from the centre
    glBindBuffer(GL_ARRAY_BUFFER, satelliteMesh.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, satelliteMesh.indexBuffer);
    gpu::bindVertexLayout(satelliteLayout);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    float place[16];
    for (int i = 0; i < satelliteCount; ++i) {
        const float alpha = satelliteAlpha(i, t);
        if (alpha * gain * glassRimFactor < 0.99f * glassThreshold) {
            continue;  // every fragment of its glass would be discarded (with a margin for rounding)
        }
        const Satellite& s = satellites[i];
        gpu::pushMatrix();
        satelliteMatrix(s, s.w * t, place);
        gpu::multMatrix(place);
        const float* modelView = gpu::matrix(gpu::MatrixMode::ModelView);
        const float stretch = maxStretch(modelView);
        if (outsideView(view, &modelView[12], reach * stretch)) {
            gpu::popMatrix();
            continue;
        }
        // Sphere A sits at the centre; the B are judged at the group's nearest point.
        const float depth = -modelView[14];
        const float scale = grow * stretch;
        const int levelA = levelForPixels(pixelsAcross(radiusA * scale, depth - radiusA * scale, view.pixelsPerUnit),
                                            satelliteMinPixels, satelliteLevels);
        const int levelB = levelForPixels(pixelsAcross(radiusB * scale, depth - reach * stretch, view.pixelsPerUnit),
                                            satelliteMinPixels, satelliteLevels);
        gpu::color(1.0f, 1.0f, 1.0f, alpha);
        gpu::drawRangeElements(GL_TRIANGLES, 0, satelliteMesh.lastVertex,
                               GLsizei(satelliteMesh.count[levelA][levelB]), GL_UNSIGNED_INT,
                               reinterpret_cast<const void*>(uintptr_t(satelliteMesh.first[levelA][levelB]) *
                                                             sizeof(uint32_t)));
        gpu::popMatrix();
    }
    // The current colour is left as the last record's, drawn or not.
    gpu::color(1.0f, 1.0f, 1.0f, satelliteAlpha(satelliteCount - 1, t));
    gpu::unbindVertexLayout();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    endShaderPass(pass);
}

void VantelBody::drawSurface(float t, float scale)
{
    setShape(surfaceShader, m0, m1, t);
    fx::Pass* pass = beginShaderPass(surfaceShader);
    if (scale != 1.0f) {
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::scale(scale, scale, scale);
    }
    glBindBuffer(GL_ARRAY_BUFFER, gridMesh.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gridMesh.indexBuffer);
    gpu::bindVertexLayout(gridLayout);
    gpu::drawElements(GL_TRIANGLES, gridMesh.indexCount, GL_UNSIGNED_SHORT, nullptr);
    gpu::unbindVertexLayout();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
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
    body.buildMeshes(0.5f, 0.25f);
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
    body.buildMeshes(0.05f, 0.025f);
    giveEnvironment(body, textures[1], textures[2]);
    return 0;
}

void VantelObject::render(float t)
{
    applyTweaks();
    body.drawSatellites(t);
    body.drawSurface(t, 0.1f);
}
