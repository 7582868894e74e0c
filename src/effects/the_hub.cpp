#include "effects/the_hub.h"

#include "gpu/matrices.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

namespace {

const float defaultEye[3] = {0.0f, -3.5f, 20.0f};

// The runtime hands the current matrices to a program only through parameters bound to the
// state.matrix.* semantics, read at the moment of the call. cube_env needs the
// projection of the environment; hub_render the world's view before the hub's own
// turn, to carry its reflections back into the environment's frame.
void trackMatrix(const Shader& shader, const char* semantic, fx::StateMatrix matrix)
{
    fx::setStateMatrixParameter(fx::parameterBySemantic(shader.effect, semantic), matrix,
                                fx::MatrixTransform::Identity);
}

}  // namespace

TheHub::~TheHub()
{
    releaseBuffers({&indexBuffer, &vertexBuffer});
    releaseTextures({&aoTexture, &envTexture, &envDiffTexture, &overlayTexture});
}

int TheHub::init()
{
    registerCamera(camera);
    if (loadShaderFile(hubShader, "shaders/hub_render.cgfx") != 0 ||
        loadShaderFile(cubeEnvShader, "shaders/cube_env.cgfx") != 0) {
        return 1;
    }
    if (loadMesh("objects/cube_env100out.mmf", loader, envMesh) != 0 || loadMesh("objects/hub.mmf", loader, hubMesh) != 0) {
        return 1;
    }
    // A mesh the draw could not use is refused here rather than drawn out of bounds.
    if (uploadMesh(&indexBuffer, hubMesh.polygons, hubMesh.points, hubMesh.normals, GL_STATIC_DRAW, &vertexBuffer,
                   hubMesh.uvs) != 0) {
        return 1;
    }
    if (loadTextureFile(aoTexture, "textures/hub-ao-1024.png") != 0 ||
        loadTextureFile(envTexture, "textures/campus_cross.dds") != 0 ||
        loadTextureFile(envDiffTexture, "textures/campus_cross_diff.dds") != 0) {
        return 1;
    }
    return loadTextureFile(overlayTexture, "textures/overlay01.png") == 0 ? 0 : 1;
}

void TheHub::restart()
{
    lastCut = 0.0f;
    camera.camX = defaultEye[0];
    camera.camY = defaultEye[1];
    camera.camZ = defaultEye[2];
}

void TheHub::render(float t)
{
    jumpCutCamera(camera, lastCut, theHubCut, t);
    applyTweaks();
    drawHub(t);
    drawEnvironment();
    controlGrid();
    handOverOverlay(overlayTexture.crc);
}

void TheHub::drawEnvironment()
{
    setShaderSampler(cubeEnvShader, "texEnv", envDiffTexture.crc);
    trackMatrix(cubeEnvShader, "state.matrix.mvp", fx::StateMatrix::ModelViewProjection);
    drawEnvironmentBehind(cubeEnvShader, &envMesh);
}

void TheHub::drawHub(float t)
{
    fx::setParameter3f(shaderParameter(hubShader, "camPos"), camera.camX, camera.camY, camera.camZ);
    setShaderSampler(hubShader, "texAO", aoTexture.crc);
    setShaderSampler(hubShader, "texDiff", envDiffTexture.crc);
    setShaderSampler(hubShader, "texEnv", envTexture.crc);
    trackMatrix(hubShader, "state.matrix.modelview", fx::StateMatrix::ModelView);
    fx::Pass* pass = beginShaderPass(hubShader);

    gpu::pushMatrix();
    gpu::rotate(15.0f * t, 0.0f, 1.0f, 0.0f);
    drawUploadedMesh(indexBuffer, vertexBuffer, uint32_t(hubMesh.points.size() / 3),
                     uint32_t(hubMesh.polygons.size()));
    gpu::popMatrix();
    endShaderPass(pass);
}
