#include "scene/render_target.h"

#include "base/log.h"

#include <epoxy/gl.h>

namespace {

// The framebuffer that stands for the window (0: the window's own).
GLuint standIn = 0;

}  // namespace

unsigned int windowFramebuffer() { return standIn; }

void setWindowFramebuffer(unsigned int framebuffer) { standIn = framebuffer; }

void bindFramebuffer(unsigned int framebuffer)
{
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    if (GLuint(bound) != framebuffer) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    }
}

namespace {

// Gives the window its framebuffer back when `framebuffer` is still bound.
void releaseTarget(GLuint framebuffer)
{
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    if (GLuint(bound) == framebuffer) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, standIn);
    }
}

const char* statusText(GLenum status)
{
    switch (status) {
    case GL_FRAMEBUFFER_COMPLETE_EXT: return " status: complete";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT: return " status: incomplete_attachment";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT: return " status: incomplete_missing_attachment";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT: return " status: incomplete_dimensions";
    case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT: return " status: incomplete_formats";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT: return " status: incomplete_draw_buffer";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT: return " status: incomplete_read_buffer";
    case GL_FRAMEBUFFER_UNSUPPORTED_EXT: return " status: unsupported";
    default: return nullptr;
    }
}

}  // namespace

int RenderTarget::create(int width, int height)
{
    glGenFramebuffersEXT(1, &framebuffer);
    glGenTextures(1, &colorTexture);
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    attachColorTexture(colorTexture);
    this->width = width;
    this->height = height;
    return 0;
}

unsigned int RenderTarget::attachColorTexture(unsigned int texture)
{
    GLint entry = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &entry);
    bindFramebuffer(framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
    releaseTarget(framebuffer);
    return GLuint(entry);
}

void RenderTarget::attachDepthBuffer(unsigned int renderbuffer)
{
    bindFramebuffer(framebuffer);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, renderbuffer);
    releaseTarget(framebuffer);
}

int RenderTarget::checkStatus()
{
    bindFramebuffer(framebuffer);
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    releaseTarget(framebuffer);
    const char* text = statusText(status);
    if (!text) {
        // Not a status we know (0 after a GL error, or a retired code): logged, not fatal.
        CORE_LOG("fbo " << framebuffer << " status: unknown, code: " << status);
        return 0;
    }
    CORE_LOG("fbo " << framebuffer << text);
    return status == GL_FRAMEBUFFER_COMPLETE_EXT ? 0 : int(status);
}

void RenderTarget::destroy()
{
    glDeleteFramebuffersEXT(1, &framebuffer);
}

int createDepthBuffer(int width, int height, unsigned int* name)
{
    GLint max = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_EXT, &max);
    if (unsigned(width) > unsigned(max) || unsigned(height) > unsigned(max)) {
        CORE_LOG("RenderBuffer error, max size is: " << max);
        return 1;
    }
    glGenRenderbuffersEXT(1, name);
    GLint bound = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING_EXT, &bound);
    if (GLuint(bound) != *name) {
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, *name);
    }
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
    glGetIntegerv(GL_RENDERBUFFER_BINDING_EXT, &bound);
    if (GLuint(bound) == *name) {
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    }
    return 0;
}

void releaseTarget(RenderTarget& target)
{
    if (target.framebuffer != 0) {
        target.destroy();
        glDeleteTextures(1, &target.colorTexture);
        target = RenderTarget();
    }
}

void releaseDepthBuffer(unsigned int* name)
{
    if (*name != 0) {
        glDeleteRenderbuffersEXT(1, name);
        *name = 0;
    }
}
