#include "effects/stripes_dof.h"

#include "effects/sfmt.h"
#include "gpu/immediate.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace {

// The runtime gives the current matrices to a program only through the parameters bound to
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

void boxVertices(float a, float b, float c, BarVertex* out)
{
    const float A = a * 0.5f, B = b * 0.5f, C = c * 0.5f;
    // Each face's corners counter-clockwise from outside, then its normal.
    const float faces[6][5][3] = {
        {{-A, -C, B}, {A, -C, B}, {A, C, B}, {-A, C, B}, {0.0f, 0.0f, 1.0f}},
        {{-A, -C, -B}, {-A, C, -B}, {A, C, -B}, {A, -C, -B}, {0.0f, 0.0f, -1.0f}},
        {{A, -C, -B}, {A, C, -B}, {A, C, B}, {A, -C, B}, {1.0f, 0.0f, 0.0f}},
        {{-A, -C, -B}, {-A, -C, B}, {-A, C, B}, {-A, C, -B}, {-1.0f, 0.0f, 0.0f}},
        {{-A, C, -B}, {-A, C, B}, {A, C, B}, {A, C, -B}, {0.0f, 1.0f, 0.0f}},
        {{-A, -C, -B}, {A, -C, -B}, {A, -C, B}, {-A, -C, B}, {0.0f, -1.0f, 0.0f}},
    };
    const int corner[6] = {0, 1, 2, 0, 2, 3};
    for (const auto& face : faces) {
        for (int k : corner) {
            *out++ = {face[k][0], face[k][1], face[k][2], face[4][0], face[4][1], face[4][2]};
        }
    }
}

StripesDOF::~StripesDOF()
{
    releaseBuffers({&indexBuffer, &vertexBuffer, &barBuffer});
    releaseTextures(textures, std::size(textures));
}

int StripesDOF::init()
{
    createStripes(stripes, stripeCount);
    initialStripes = stripes;
    barVertices.resize(stripes.size() * barVertexCount);
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
    gpu::color(1.0f, 1.0f, 1.0f, 1.0f);

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
    const float step = t - previousTime;
    const size_t count = std::min(stripes.size(), barVertices.size() / barVertexCount);
    for (size_t i = 0; i < count; ++i) {
        Stripe& s = stripes[i];
        advanceStripe(s, step);
        boxVertices(s.w, s.w, s.h, &barVertices[i * barVertexCount]);
    }
    previousTime = t;
    if (count == 0) {
        return;
    }
    // All bars written before any is drawn: the upload never waits for a draw of this frame.
    if (barBuffer == 0) {
        glGenBuffers(1, &barBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, barBuffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(barVertices.size() * sizeof(BarVertex)), nullptr, GL_STREAM_DRAW);
    }
    glBindBuffer(GL_ARRAY_BUFFER, barBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(count * barVertexCount * sizeof(BarVertex)), barVertices.data());

    fx::setParameter3f(shaderParameter(dof.render, "camPos"), camera.camX, camera.camY, camera.camZ);
    setShaderSampler(dof.render, "texAO", textures[0].crc);
    setShaderSampler(dof.render, "texDiff", textures[2].crc);
    setShaderSampler(dof.render, "texEnv", textures[1].crc);
    fx::Pass* pass = beginShaderPass(dof.render);
    gpu::VertexLayout layout;
    layout.stride = sizeof(BarVertex);
    layout.position = offsetof(BarVertex, x);
    layout.normal = offsetof(BarVertex, nx);
    gpu::bindVertexLayout(layout);
    for (size_t i = 0; i < count; ++i) {
        const Stripe& s = stripes[i];
        // dof_render places the bar itself from the camera captured in render: setting
        // the pass again for every bar would cost more than drawing it.
        gpu::constantTexCoord(4, s.x, s.y, s.z, 0.0f);
        gpu::drawArrays(GL_TRIANGLES, int(i) * barVertexCount, barVertexCount);
    }
    gpu::unbindVertexLayout();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    gpu::constantTexCoord(4, 0.0f, 0.0f, 0.0f, 1.0f);
    endShaderPass(pass);
}
