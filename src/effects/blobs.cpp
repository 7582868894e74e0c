#include "effects/blobs.h"

#include "base/matrix.h"
#include "effects/sfmt.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "render/core_shared.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/reload.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

namespace {

// The runtime gives GL's matrices to a program only through the parameters bound to
// the state.matrix.* semantics, read at the moment of the call and uploaded when the
// pass is set.
void trackMatrices(const Shader& shader)
{
    fx::setStateMatrixParameter(fx::parameterBySemantic(shader.effect, "state.matrix.mvp"),
                                fx::StateMatrix::ModelViewProjection, fx::MatrixTransform::Identity);
    fx::setStateMatrixParameter(fx::parameterBySemantic(shader.effect, "state.matrix.projection"),
                                fx::StateMatrix::Projection, fx::MatrixTransform::Identity);
}

// Setting the pass again for every cell would cost more than drawing it: the cell's
// model-view goes to blobs_render as the current texture coordinates 4-7, one row each.
void passModelView(const float* m)
{
    for (int r = 0; r < 4; ++r) {
        gpu::constantTexCoord(4 + r, m[r], m[4 + r], m[8 + r], m[12 + r]);
    }
}

}  // namespace

void createBlobs(std::vector<Blob>& blobs, uint32_t count)
{
    blobs.reserve(blobs.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        Blob b;
        b.x = (randomUnit() - 0.5f) * 70.0f;
        b.y = (randomUnit() - 0.5f) * 70.0f;
        b.z = (randomUnit() - 0.5f) * 70.0f;
        b.s = 0.5f + 40.0f * randomUnit();
        blobs.push_back(b);
    }
}

Blobs::~Blobs()
{
    releaseBuffers({&indexBuffer, &vertexBuffer});
    releaseTextures({&aoTexture, &envTexture, &envDiffTexture, &overlayTexture});
}

int Blobs::init()
{
    registerCamera(camera);
    if (loadShaderFile(blobsShader, "shaders/blobs_render.cgfx") != 0 ||
        loadShaderFile(cubeEnvShader, "shaders/cube_env.cgfx") != 0) {
        return 1;
    }
    if (loadMesh("objects/cube_env100out.mmf", loader, envMesh) != 0 ||
        loadMesh("objects/virus.mmf", loader, blobMesh) != 0) {
        return 1;
    }
    if (loadTextureFile(aoTexture, "textures/virus-ao1024.png") != 0 ||
        loadTextureFile(envTexture, "textures/living_room.dds") != 0 ||
        loadTextureFile(envDiffTexture, "textures/living_room_diff.dds") != 0 ||
        loadTextureFile(overlayTexture, "textures/overlay01.png") != 0) {
        return 1;
    }
    // A mesh the draw could not use is refused here rather than drawn out of bounds.
    if (uploadMesh(&indexBuffer, blobMesh.polygons, blobMesh.points, blobMesh.normals, GL_STATIC_DRAW, &vertexBuffer,
                   blobMesh.uvs) != 0) {
        return 1;
    }
    buildLevels();
    // A cell mesh saved while the demo plays from a folder replaces the list uploadMesh
    // made: its own levels replace that in turn.
    reload::noteMeshDerived(blobMesh, [this] { buildLevels(); });
    createBlobs(blobs, blobCount);
    initialEye[0] = camera.camX;
    initialEye[1] = camera.camY;
    initialEye[2] = camera.camZ;
    cellDraws.resize(blobs.size());
    return loadDofShaders(dof);
}

void Blobs::buildLevels()
{
    // Far and small cells are drawn from coarser index lists over the same vertices.
    lods = buildLodChain(blobMesh, lodFractions, 3);
    if (lods.levels > 0) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(lods.indices.size() * sizeof(uint32_t)), lods.indices.data(),
                     GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
}

void Blobs::restart()
{
    lastCut = 0.0f;
    camera.camX = initialEye[0];
    camera.camY = initialEye[1];
    camera.camZ = initialEye[2];
}

void Blobs::render(float t)
{
    jumpCutCamera(camera, lastCut, blobsCut, t);
    copyMatrix(gpu::matrix(gpu::MatrixMode::Projection), projection);
    applyTweaks();

    beginDofScene();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gpu::color(1.0f, 1.0f, 1.0f, 1.0f);

    drawSwarm(t);
    drawEnvironment();

    runDofChain(dof);
    controlGridInView(projection);
    handOverOverlay(overlayTexture.crc);
}

void Blobs::drawEnvironment()
{
    setShaderSampler(cubeEnvShader, "texEnv", envDiffTexture.crc);
    trackMatrices(cubeEnvShader);
    drawEnvironmentBehind(cubeEnvShader, &envMesh);
}

void Blobs::drawSwarm(float t)
{
    fx::setParameter3f(shaderParameter(blobsShader, "camPos"), camera.camX, camera.camY, camera.camZ);
    setShaderSampler(blobsShader, "texAO", aoTexture.crc);
    setShaderSampler(blobsShader, "texDiff", envDiffTexture.crc);
    setShaderSampler(blobsShader, "texEnv", envTexture.crc);
    trackMatrices(blobsShader);
    fx::Pass* pass = beginShaderPass(blobsShader);

    bindUploadedMesh(indexBuffer, vertexBuffer);

    // Every cell's model-view first; then the visible cells nearest first, so that the
    // depth test spares the shading of what lies behind them (the picture is the same:
    // the cells are opaque and depth-tested).
    const ViewVolume view = viewVolume(projection, coreShared.sceneCopy.height);
    // Cells wholly out of focus are blurred to soft shapes by the chain: their detail is
    // lost anyway, so all but the largest take one level coarser.
    float focus[2] = {22.0f, 9.0f};
    fx::currentValues(shaderParameter(blobsShader, "focusDistance"), &focus[0], 1);
    fx::currentValues(shaderParameter(blobsShader, "focusRange"), &focus[1], 1);
    size_t visible = 0;
    for (size_t i = 0; i < blobs.size(); ++i) {
        const Blob& b = blobs[i];
        const float a = b.s * t;
        gpu::pushMatrix();
        gpu::rotate(a, 0.0f, 1.0f, 0.0f);
        gpu::rotate(0.4f * a, 1.0f, 0.0f, 0.0f);
        gpu::rotate(0.8f * a, 0.0f, 0.0f, 1.0f);
        gpu::translate(b.x, b.y, b.z);
        gpu::rotate(0.5f * a, 0.0f, 1.0f, 0.0f);
        gpu::rotate(0.8f * a, 1.0f, 0.0f, 0.0f);
        gpu::rotate(0.7f * a, 0.0f, 0.0f, 1.0f);
        CellDraw& cell = cellDraws[visible];
        copyMatrix(gpu::matrix(gpu::MatrixMode::ModelView), cell.modelView);
        gpu::popMatrix();
        cell.level = levelsOfDetail ? chooseLevel(view, &cell.modelView[12], lods.radius, lodPixels, lods.levels) : 0;
        if (cell.level >= 0) {
            const float depth = -cell.modelView[14];
            if (levelsOfDetail && cell.level > 0 && std::fabs(depth - focus[0]) - lods.radius >= focus[1]) {
                cell.level = std::min(cell.level + 1, lods.levels - 1);
            }
            ++visible;
        }
    }
    if (levelsOfDetail) {
        std::sort(cellDraws.begin(), cellDraws.begin() + long(visible),
                  [](const CellDraw& a, const CellDraw& b) { return a.modelView[14] > b.modelView[14]; });
    }
    const GLuint lastVertex = GLuint(blobMesh.points.size() / 3) - 1;
    for (size_t i = 0; i < visible; ++i) {
        const CellDraw& cell = cellDraws[i];
        passModelView(cell.modelView);
        gpu::drawRangeElements(GL_TRIANGLES, 0, lastVertex, GLsizei(lods.count[cell.level]), GL_UNSIGNED_INT,
                               reinterpret_cast<const void*>(uintptr_t(lods.first[cell.level]) * sizeof(uint32_t)));
    }

    unbindUploadedMesh();
    for (int r = 0; r < 4; ++r) {
        gpu::constantTexCoord(4 + r, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    endShaderPass(pass);
}
