#include "effects/credits.h"

#include "base/screen_settings.h"

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

    const int right = screenSettings.viewportWidth - 1;
    const int top = screenSettings.viewportHeight - 1;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, right, 0.0, top, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);

    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, picture.crc);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);

    glRecti(0, 0, right, top);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(float(right), 0.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(float(right), float(top), 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, float(top), 0.0f);
    glEnd();

    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    controlGrid();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
