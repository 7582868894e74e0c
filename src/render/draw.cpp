#include "render/draw.h"

#include "gpu/immediate.h"
#include "resources/alpha_coverage.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "scene/render_target.h"

#include <epoxy/gl.h>

int loadTextureFile(Texture& texture, const char* path)
{
    texture.source = path;
    return loadTexture(loader, texture) == 0 ? 0 : 1;
}

int loadShaderFile(Shader& shader, const char* path)
{
    shader.source = path;
    return loadShader(loader, shader) == 0 ? 0 : 1;
}

void releaseTextures(std::initializer_list<Texture*> textures)
{
    for (Texture* texture : textures) {
        if (texture->crc != 0) {
            forgetAlphaCoverage(texture->crc);
            glDeleteTextures(1, &texture->crc);
            texture->crc = 0;
        }
    }
}

void releaseTextures(Texture* textures, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        releaseTextures({&textures[i]});
    }
}

void releaseBuffers(std::initializer_list<unsigned int*> buffers)
{
    for (unsigned int* buffer : buffers) {
        if (*buffer != 0) {
            glDeleteBuffers(1, buffer);
            *buffer = 0;
        }
    }
}

fx::Parameter* shaderParameter(const Shader& shader, const char* name)
{
    return fx::namedParameter(shader.effect, name);
}

void setShaderSampler(const Shader& shader, const char* name, uint32_t texture)
{
    fx::setupSampler(shaderParameter(shader, name), texture);
}

void setShaderFloat(const Shader& shader, const char* name, float value)
{
    fx::setParameter1f(shaderParameter(shader, name), value);
}

fx::Pass* beginShaderPass(const Shader& shader)
{
    fx::Pass* pass = fx::firstPass(shader.technique);
    fx::setPassState(pass);
    return pass;
}

void endShaderPass(fx::Pass* pass) { fx::resetPassState(pass); }

void runQuadPass(const Shader& shader, const Mesh& quad) { runQuadTechnique(shader.technique, quad); }

void runQuadTechnique(fx::Technique* technique, const Mesh& quad)
{
    fx::Pass* pass = fx::firstPass(technique);
    fx::setPassState(pass);
    drawMesh(quad);
    fx::resetPassState(pass);
}

void bindRenderTarget(const RenderTarget& target) { bindFramebuffer(target.framebuffer); }

void bindWindowFramebuffer() { bindFramebuffer(windowFramebuffer()); }

void blurTargets(const RenderTarget& a, const RenderTarget& b, const Shader& vertical, const Shader& horizontal,
                 const char* sampler, const Mesh& quad)
{
    bindRenderTarget(b);
    setShaderSampler(vertical, sampler, a.colorTexture);
    runQuadPass(vertical, quad);

    bindRenderTarget(a);
    setShaderSampler(horizontal, sampler, b.colorTexture);
    runQuadPass(horizontal, quad);

    bindWindowFramebuffer();
}

void drawReferenceGrid()
{
    gpu::setTexturing(false);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gpu::color(1.0f, 1.0f, 1.0f, 0.5f);
    gpu::begin(gpu::Primitive::Lines);
    for (int i = -10; i <= 10; ++i) {
        const float b = float(i);
        gpu::vertex(10.0f, 0.0f, b);
        gpu::vertex(-10.0f, 0.0f, b);
        gpu::vertex(b, 0.0f, 10.0f);
        gpu::vertex(b, 0.0f, -10.0f);
        gpu::vertex(10.0f, b, 0.0f);
        gpu::vertex(-10.0f, b, 0.0f);
        gpu::vertex(b, 10.0f, 0.0f);
        gpu::vertex(b, -10.0f, 0.0f);
    }
    gpu::end();
}
