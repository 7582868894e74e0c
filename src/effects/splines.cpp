#include "effects/splines.h"

#include "effects/random_geo2.h"
#include "resources/geometry.h"
#include "resources/loader.h"

#include <epoxy/gl.h>

#include <cmath>

uint32_t splinesIndexCount(uint32_t total, float t)
{
    const float n = float(total) / 18.0f * t;
    // Also keeps a negative or NaN time from reaching the integer conversion.
    if (!(n > 0.0f)) {
        return 0;
    }
    return n >= float(total) ? total : uint32_t(n);
}

Splines::~Splines()
{
    releaseBuffers({&indexBuffer, &vertexBuffer});
    releaseTextures({&aoTexture, &envTexture, &envDiffTexture, &overlayTexture});
}

int Splines::init()
{
    registerCamera(camera);
    if (loadShaderFile(geoShader, "shaders/random_geo2_render.cgfx") != 0 ||
        loadShaderFile(cubeEnvShader, "shaders/cube_env.cgfx") != 0) {
        return 1;
    }
    if (loadMesh("objects/cube_env100out.mmf", loader, envMesh) != 0 ||
        loadMesh("objects/abs08.mmf", loader, strandMesh) != 0) {
        return 1;
    }
    if (loadTextureFile(aoTexture, "textures/abs08-ao1024.png") != 0 ||
        loadTextureFile(envTexture, "textures/hd210.dds") != 0 ||
        loadTextureFile(envDiffTexture, "textures/hd210_diff.dds") != 0 ||
        loadTextureFile(overlayTexture, "textures/overlay-spiritblack.png") != 0) {
        return 1;
    }
    // A mesh the draw could not use is refused here rather than drawn out of bounds.
    return uploadMesh(&indexBuffer, strandMesh.polygons, strandMesh.points, strandMesh.normals, GL_STATIC_DRAW,
                      &vertexBuffer, strandMesh.uvs) != 0
               ? 1
               : 0;
}

void Splines::restart()
{
    lastCut = 0.0f;
    camera.camX = 0.0f;
    camera.camY = -3.5f;
    camera.camZ = -20.0f;
    drawnIndexCount = 0;
}

void Splines::render(float t)
{
    jumpCutCamera(camera, lastCut, splinesCut, t);
    applyTweaks();

    drawnIndexCount = splinesIndexCount(uint32_t(strandMesh.polygons.size()), t);
    const PearlDraw draw = {&geoShader,  &camera,      aoTexture.crc, envDiffTexture.crc, envTexture.crc,
                            indexBuffer, vertexBuffer, uint32_t(strandMesh.points.size() / 3)};
    drawPearlMesh(draw, 14.0f * t, drawnIndexCount);
    drawEnvironmentPass(cubeEnvShader, envDiffTexture.crc, &envMesh);

    controlGrid();
    handOverOverlay(overlayTexture.crc);
}
