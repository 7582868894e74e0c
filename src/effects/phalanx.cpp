#include "effects/phalanx.h"

#include "base/log.h"
#include "gpu/matrices.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

#include <cstdio>

const float phalanxEyes[phalanxEyeCount][3] = {
    {13.6787f, 3.99712f, 0.573382f},   {-10.0516f, 3.80061f, -1.46901f}, {2.69428f, -1.69822f, -17.8989f},
    {-0.330333f, -1.06041f, -10.26584f}, {-20.39566f, 0.0f, 22.4791f},
};

int Phalanx::cutIndex = 0;

namespace {

const float defaultEye[3] = {0.0f, 7.0f, -20.0f};

}  // namespace

Phalanx::~Phalanx()
{
    releaseBuffers({&indexBuffer, &vertexBuffer});
    releaseTextures({&aoTexture, &envTexture, &envDiffTexture, &overlayTexture});
    releaseTextures(spriteTextures.data(), spriteTextures.size());
}

int Phalanx::init()
{
    registerCamera(camera);
    if (loadShaderFile(objectShader, "shaders/phalanx_render.cgfx") != 0 ||
        loadShaderFile(envShader, "shaders/nah_cube_env.cgfx") != 0 ||
        loadShaderFile(particleShader, "shaders/particle_render.cgfx") != 0) {
        return 1;
    }
    if (loadMesh("objects/cube_env100out.mmf", loader, envMesh) != 0 ||
        loadMesh("objects/phalanx_object.mmf", loader, objectMesh) != 0) {
        return 1;
    }
    if (loadTextureFile(aoTexture, "textures/phalanx-ao1024.png") != 0 ||
        loadTextureFile(envTexture, "textures/rnl.dds") != 0 ||
        loadTextureFile(envDiffTexture, "textures/rnl_diff.dds") != 0) {
        return 1;
    }
    if (loadSpriteTextures(spriteTextures, spriteTextureCount) != 0) {
        return 1;
    }
    if (loadTextureFile(overlayTexture, "textures/overlay-bornto.png") != 0) {
        return 1;
    }
    // A mesh the draw could not use is refused here rather than drawn out of bounds.
    if (uploadMesh(&indexBuffer, objectMesh.polygons, objectMesh.points, objectMesh.normals, GL_STATIC_DRAW,
                   &vertexBuffer, objectMesh.uvs) != 0) {
        return 1;
    }
    fillSprites(sprites, spriteCount, spriteTextureCount);
    return 0;
}

void Phalanx::restart()
{
    lastCut = 0.0f;
    cutIndex = 0;
    camera.camX = defaultEye[0];
    camera.camY = defaultEye[1];
    camera.camZ = defaultEye[2];
}

void Phalanx::render(float t)
{
    jumpCutView(camera, phalanxCut, t);
    if (jumpCutDue(lastCut, phalanxCut, t)) {
        cut(t);
    }
    gpu::rotate(1.2f * t, 0.0f, 0.0f, 1.0f);
    applyTweaks();

    drawObject();
    drawEnvironment();
    // particle_render faces each quad to the camera about its centre.
    drawSprites({&particleShader, "sampDiff", spriteTextures.data(), spriteTextureCount, sprites, spriteCount,
                 SpriteQuad::Facing},
                t);

    controlGrid();
    handOverOverlay(overlayTexture.crc);
}

void Phalanx::cut(float t)
{
    const float* eye = phalanxEyes[cutIndex];
    camera.camX = eye[0];
    camera.camY = eye[1];
    camera.camZ = eye[2];
    if (++cutIndex > phalanxEyeCount - 1) {
        cutIndex = 0;
    }
    if (frameIsNew()) {
        CORE_LOG("time: " << t << " x: " << eye[0] << " y: " << eye[1] << " z: " << eye[2]);
    }
}

void Phalanx::drawEnvironment()
{
    setShaderSampler(envShader, "sampEnv", envDiffTexture.crc);
    drawEnvironmentBehind(envShader, &envMesh);
}

void Phalanx::drawObject()
{
    fx::setParameter3f(shaderParameter(objectShader, "camPos"), camera.camX, camera.camY, camera.camZ);
    setShaderSampler(objectShader, "texAO", aoTexture.crc);
    setShaderSampler(objectShader, "texDiff", envDiffTexture.crc);
    setShaderSampler(objectShader, "texEnv", envTexture.crc);
    fx::Pass* pass = beginShaderPass(objectShader);

    drawUploadedMesh(indexBuffer, vertexBuffer, uint32_t(objectMesh.points.size() / 3),
                     uint32_t(objectMesh.polygons.size()));
    endShaderPass(pass);
}
