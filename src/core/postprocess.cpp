#include "core/postprocess.h"

#include "core/core.h"
#include "render/draw.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

namespace {
fx::Technique* techniqueNamed(const Shader& shader, const char* name);
}  // namespace

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
    // The cross-fade's techniques are compiled now, not at the first cross-fade's frame.
    techniqueNamed(core.brightPassShader, "BrightPassMixed");
    techniqueNamed(core.finalShader, "FinalMixed");
    return 0;
}

namespace {

// The technique of `shader` named `name`, validated (compiled) on first use; null when
// the file has none or it does not validate. Looked up each time: a live reload of the
// file makes new techniques.
fx::Technique* techniqueNamed(const Shader& shader, const char* name)
{
    fx::Technique* technique = shader.effect ? fx::namedTechnique(shader.effect, name) : nullptr;
    if (technique && !fx::isTechniqueValidated(technique) && !fx::validateTechnique(technique)) {
        return nullptr;
    }
    return technique;
}

// One pass of the chain over the quad: the shader's own technique, or `mixed` (when
// given) reading "RT2" (the picture fading in) blended into "RT" by `blend`.
void runChainPass(const Shader& shader, fx::Technique* mixed, float blend)
{
    if (!mixed) {
        runQuadPass(shader, core.quadMesh);
        return;
    }
    setShaderSampler(shader, "RT2", core.fadeInCopy.colorTexture);
    fx::setParameter2f(shaderParameter(shader, "blend"), blend, 0.0f);
    runQuadTechnique(mixed, core.quadMesh);
}

}  // namespace

void runPostProcess(const Wash& flash)
{
    // The chain's targets take their own viewport; the band's is put back for the last pass.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);

    // A cross-fade's two pictures are mixed where the bright pass and the final pass read
    // them; files without the mixing techniques get the mixer's own pass.
    fx::Technique* brightMixed = nullptr;
    fx::Technique* finalMixed = nullptr;
    if (core.crossfadeMix) {
        brightMixed = techniqueNamed(core.brightPassShader, "BrightPassMixed");
        finalMixed = techniqueNamed(core.finalShader, "FinalMixed");
    }
    const bool mixAsRead = brightMixed && finalMixed;
    const float blend = std::min(core.crossfadeFactor, 1.0f);
    const float threshold = std::sin(24.0f * core.time) * 0.02f + 0.5f;
    const RenderTarget& picture = mixAsRead ? core.fadeOutCopy : core.sceneCopy;
    if (core.crossfadeMix && !mixAsRead) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setShaderSampler(core.mixerShader, "sampA", core.fadeOutCopy.colorTexture);
        setShaderSampler(core.mixerShader, "sampB", core.fadeInCopy.colorTexture);
        setShaderFloat(core.mixerShader, "factor", blend);
        runQuadPass(core.mixerShader, core.quadMesh);
    }
    if (!mixAsRead) {
        glBindTexture(GL_TEXTURE_2D, core.sceneCopy.colorTexture);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, core.viewportX, core.viewportY, core.sceneCopy.width,
                            core.sceneCopy.height);
    }

    bindRenderTarget(core.bloomA);
    glViewport(0, 0, core.bloomA.width, core.bloomA.height);
    setShaderSampler(core.brightPassShader, "RT", picture.colorTexture);
    setShaderFloat(core.brightPassShader, "BloomThreshold", threshold);
    runChainPass(core.brightPassShader, mixAsRead ? brightMixed : nullptr, blend);

    blurTargets(core.bloomA, core.bloomB, core.blurVShader, core.blurHShader, "Blur0", core.quadMesh);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);

    setShaderSampler(core.finalShader, "RT", picture.colorTexture);
    setShaderSampler(core.finalShader, "Blur1", core.bloomA.colorTexture);
    fx::setParameter4f(shaderParameter(core.finalShader, "wash"), flash.grey, flash.grey, flash.grey, flash.opacity);
    runChainPass(core.finalShader, mixAsRead ? finalMixed : nullptr, blend);
}
