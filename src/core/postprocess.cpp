#include "core/postprocess.h"

#include "app/screen.h"
#include "core/core.h"
#include "effects/effect.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "scene/render_target.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

void bindRenderTarget(const RenderTarget& target) { bindFramebuffer(target.framebuffer); }

void bindWindowFramebuffer() { bindFramebuffer(0); }

void blurBloomTargets(const Shader& vertical, const Shader& horizontal, const char* sampler)
{
    bindRenderTarget(core.bloomB);
    setShaderSampler(vertical, sampler, core.bloomA.colorTexture);
    runFullScreenPass(vertical);

    bindRenderTarget(core.bloomA);
    setShaderSampler(horizontal, sampler, core.bloomB.colorTexture);
    runFullScreenPass(horizontal);

    bindWindowFramebuffer();
}

int loadPostEffects()
{
    if (loadShaderFile(core.brightPassShader, "shaders/bloom-bright_pass.cgfx") != 0 ||
        loadShaderFile(core.blurHShader, "shaders/bloom-gaussH.cgfx") != 0 ||
        loadShaderFile(core.blurVShader, "shaders/bloom-gaussV.cgfx") != 0 ||
        loadShaderFile(core.finalShader, "shaders/bloom-final.cgfx") != 0 ||
        loadShaderFile(core.overlayShader, "shaders/post_overlay.cgfx") != 0 ||
        loadShaderFile(core.mixerShader, "shaders/post_mixer.cgfx") != 0) {
        return 1;
    }
    return 0;
}

void runPostProcess()
{
    glPushAttrib(GL_VIEWPORT_BIT);

    if (core.crossfadeFactor != 0.0f) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setShaderSampler(core.mixerShader, "sampA", core.fadeOutCopy.colorTexture);
        setShaderSampler(core.mixerShader, "sampB", core.fadeInCopy.colorTexture);
        setShaderFloat(core.mixerShader, "factor", std::min(core.crossfadeFactor, 1.0f));
        runFullScreenPass(core.mixerShader);
    }

    glBindTexture(GL_TEXTURE_2D, core.sceneCopy.colorTexture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, core.viewportX, core.viewportY, core.sceneCopy.width,
                        core.sceneCopy.height);

    bindRenderTarget(core.bloomA);
    glViewport(0, 0, core.bloomA.width, core.bloomA.height);
    setShaderSampler(core.brightPassShader, "RT", core.sceneCopy.colorTexture);
    setShaderFloat(core.brightPassShader, "BloomThreshold", std::sin(24.0f * core.time) * 0.02f + 0.5f);
    runFullScreenPass(core.brightPassShader);

    blurBloomTargets(core.blurVShader, core.blurHShader, "Blur0");
    glPopAttrib();

    setShaderSampler(core.finalShader, "RT", core.sceneCopy.colorTexture);
    setShaderSampler(core.finalShader, "Blur1", core.bloomA.colorTexture);
    runFullScreenPass(core.finalShader);
}

void drawReferenceGrid()
{
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
    glBegin(GL_LINES);
    for (int i = -10; i <= 10; ++i) {
        const float b = float(i);
        glVertex3f(10.0f, 0.0f, b);
        glVertex3f(-10.0f, 0.0f, b);
        glVertex3f(b, 0.0f, 10.0f);
        glVertex3f(b, 0.0f, -10.0f);
        glVertex3f(10.0f, b, 0.0f);
        glVertex3f(-10.0f, b, 0.0f);
        glVertex3f(b, 10.0f, 0.0f);
        glVertex3f(b, -10.0f, 0.0f);
    }
    glEnd();
}
