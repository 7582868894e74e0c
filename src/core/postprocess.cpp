#include "core/postprocess.h"

#include "core/core.h"
#include "render/draw.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

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

    if (core.crossfadeMix) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setShaderSampler(core.mixerShader, "sampA", core.fadeOutCopy.colorTexture);
        setShaderSampler(core.mixerShader, "sampB", core.fadeInCopy.colorTexture);
        setShaderFloat(core.mixerShader, "factor", std::min(core.crossfadeFactor, 1.0f));
        runQuadPass(core.mixerShader, core.quadMesh);
    }

    glBindTexture(GL_TEXTURE_2D, core.sceneCopy.colorTexture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, core.viewportX, core.viewportY, core.sceneCopy.width,
                        core.sceneCopy.height);

    bindRenderTarget(core.bloomA);
    glViewport(0, 0, core.bloomA.width, core.bloomA.height);
    setShaderSampler(core.brightPassShader, "RT", core.sceneCopy.colorTexture);
    setShaderFloat(core.brightPassShader, "BloomThreshold", std::sin(24.0f * core.time) * 0.02f + 0.5f);
    runQuadPass(core.brightPassShader, core.quadMesh);

    blurTargets(core.bloomA, core.bloomB, core.blurVShader, core.blurHShader, "Blur0", core.quadMesh);
    glPopAttrib();

    setShaderSampler(core.finalShader, "RT", core.sceneCopy.colorTexture);
    setShaderSampler(core.finalShader, "Blur1", core.bloomA.colorTexture);
    runQuadPass(core.finalShader, core.quadMesh);
}
