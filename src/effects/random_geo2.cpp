#include "effects/random_geo2.h"

#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>

void drawEnvironmentPass(const Shader& cubeEnv, uint32_t cubeTexture, const Mesh* cube)
{
    setShaderSampler(cubeEnv, "texEnv", cubeTexture);
    // The runtime reads the current matrices for a program only through the state.matrix
    // parameters, at the moment they are set.
    fx::setStateMatrixParameter(fx::parameterBySemantic(cubeEnv.effect, "state.matrix.mvp"),
                                fx::StateMatrix::ModelViewProjection, fx::MatrixTransform::Identity);
    drawEnvironmentBehind(cubeEnv, cube);
}

void drawPearlMesh(const PearlDraw& draw, float turnDegrees, uint32_t indexCount)
{
    const Shader& shader = *draw.shader;
    fx::setParameter3f(shaderParameter(shader, "camPos"), draw.camera->camX, draw.camera->camY, draw.camera->camZ);
    setShaderSampler(shader, "texAO", draw.aoTexture);
    setShaderSampler(shader, "texDiff", draw.diffuseTexture);
    setShaderSampler(shader, "texEnv", draw.environmentTexture);
    fx::Pass* pass = beginShaderPass(shader);

    // The eye in the view's frame: the view is a rotation R and a translation t, so the
    // eye is -R^T t (the matrix is kept column by column).
    const float* view = gpu::matrix(gpu::MatrixMode::ModelView);
    float eye[3];
    for (int k = 0; k < 3; ++k) {
        eye[k] = -(view[k * 4] * view[12] + view[k * 4 + 1] * view[13] + view[k * 4 + 2] * view[14]);
    }
    const float a = turnDegrees * 3.14159265358979f / 180.0f;
    const float c = std::cos(a), s = std::sin(a);
    gpu::constantTexCoord(4, c, 0.0f, s, 0.0f);
    gpu::constantTexCoord(5, 0.0f, 1.0f, 0.0f, 0.0f);
    gpu::constantTexCoord(6, -s, 0.0f, c, 0.0f);
    gpu::constantTexCoord(7, eye[0], eye[1], eye[2], 1.0f);

    gpu::pushMatrix();
    gpu::rotate(turnDegrees, 0.0f, 1.0f, 0.0f);
    drawUploadedMesh(draw.indexBuffer, draw.vertexBuffer, draw.vertexCount, indexCount);
    gpu::popMatrix();

    for (int set = 4; set < 8; ++set) {
        gpu::constantTexCoord(set, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    endShaderPass(pass);
}

RandomGeo2::~RandomGeo2()
{
    releaseBuffers({&indexBuffer, &vertexBuffer});
    releaseTextures({&aoTexture, &envTexture, &envDiffTexture, &overlayTexture});
    releaseTextures(spriteTextures.data(), spriteTextures.size());
}

int RandomGeo2::init()
{
    registerCamera(camera);
    if (loadShaderFile(geoShader, "shaders/random_geo2_render.cgfx") != 0 ||
        loadShaderFile(cubeEnvShader, "shaders/cube_env.cgfx") != 0 ||
        loadShaderFile(particleShader, "shaders/particle2_render.cgfx") != 0) {
        return 1;
    }
    if (loadMesh("objects/abs06.mmf", loader, mesh) != 0) {
        return 1;
    }
    if (loadTextureFile(aoTexture, "textures/abs06-split-ao1024.png") != 0 ||
        loadTextureFile(envTexture, "textures/hd210.dds") != 0 ||
        loadTextureFile(envDiffTexture, "textures/hd210_diff.dds") != 0 ||
        loadTextureFile(overlayTexture, "textures/overlay01.png") != 0) {
        return 1;
    }
    if (loadSpriteTextures(spriteTextures, spriteTextureCount) != 0) {
        return 1;
    }
    // A mesh the draw could not use is refused here rather than drawn out of bounds.
    if (uploadMesh(&indexBuffer, mesh.polygons, mesh.points, mesh.normals, GL_STATIC_DRAW, &vertexBuffer,
                   mesh.uvs) != 0) {
        return 1;
    }
    fillSprites(sprites, spriteCount, spriteTextureCount);
    return 0;
}

void RandomGeo2::restart()
{
    lastCut = 0.0f;
    camera.camX = 0.0f;
    camera.camY = -3.5f;
    camera.camZ = -20.0f;
}

void RandomGeo2::render(float t)
{
    jumpCutCamera(camera, lastCut, randomGeo2Cut, t);
    applyTweaks();

    const PearlDraw draw = {&geoShader,          &camera,     aoTexture.crc, envDiffTexture.crc, envTexture.crc,
                            indexBuffer,         vertexBuffer, uint32_t(mesh.points.size() / 3)};
    drawPearlMesh(draw, 15.0f * t, uint32_t(mesh.polygons.size()));
    drawEnvironmentPass(cubeEnvShader, envDiffTexture.crc, nullptr);
    drawSprites({&particleShader, "sampDiff", spriteTextures.data(), spriteTextureCount, sprites, spriteCount,
                 SpriteQuad::Tumbling},
                t);

    controlGrid();
    handOverOverlay(overlayTexture.crc);
}
