#include "effects/credits.h"

#include "base/screen_settings.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"

#include <epoxy/gl.h>

Credits::~Credits()
{
    releaseTextures({&picture});
}

int Credits::init()
{
    if (loadShaderFile(shader, "shaders/credits_render.cgfx") != 0 ||
        loadTextureFile(picture, "textures/overlay-credits.png") != 0) {
        return 1;
    }
    return 0;
}

void Credits::render(float /*localTime*/)
{
    CameraBlock view;
    view.fovy = fovy;
    view.zFar = zFar;
    setProjection(view, projection);

    const float right = float(screenSettings.viewportWidth - 1);
    const float top = float(screenSettings.viewportHeight - 1);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::pushMatrix();
    gpu::loadIdentity();
    gpu::ortho(0.0, right, 0.0, top, -1.0, 1.0);
    gpu::matrixMode(gpu::MatrixMode::ModelView);

    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    gpu::color(1.0f, 1.0f, 1.0f, 1.0f);
    gpu::setTexturing(true);
    glBindTexture(GL_TEXTURE_2D, picture.crc);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);

    // Two quads over the viewport: the first all at the current texture coordinate (the
    // picture's corner the last frame ended on, transparent), then the picture.
    gpu::begin(gpu::Primitive::Quads);
    gpu::vertex(0.0f, 0.0f);
    gpu::vertex(right, 0.0f);
    gpu::vertex(right, top);
    gpu::vertex(0.0f, top);
    gpu::texCoord(0.0f, 0.0f);
    gpu::vertex(0.0f, 0.0f);
    gpu::texCoord(1.0f, 0.0f);
    gpu::vertex(right, 0.0f);
    gpu::texCoord(1.0f, 1.0f);
    gpu::vertex(right, top);
    gpu::texCoord(0.0f, 1.0f);
    gpu::vertex(0.0f, top);
    gpu::end();

    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    controlGrid();

    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::popMatrix();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
}
