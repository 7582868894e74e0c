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
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    if (GLuint(bound) != framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    }
}

namespace {

// Gives the window its framebuffer back when `framebuffer` is still bound.
void releaseTarget(GLuint framebuffer)
{
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    if (GLuint(bound) == framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, standIn);
    }
}

const char* statusText(GLenum status)
{
    switch (status) {
    case GL_FRAMEBUFFER_COMPLETE: return " status: complete";
    case GL_FRAMEBUFFER_UNDEFINED: return " status: undefined";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT: return " status: incomplete_attachment";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT: return " status: incomplete_missing_attachment";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS: return " status: incomplete_dimensions";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER: return " status: incomplete_draw_buffer";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER: return " status: incomplete_read_buffer";
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE: return " status: incomplete_multisample";
    case GL_FRAMEBUFFER_UNSUPPORTED: return " status: unsupported";
    default: return nullptr;
    }
}

}  // namespace

int RenderTarget::create(int width, int height)
{
    glGenFramebuffers(1, &framebuffer);
    glGenTextures(1, &colorTexture);
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    attachColorTexture(colorTexture);
    this->width = width;
    this->height = height;
    return 0;
}

unsigned int RenderTarget::attachColorTexture(unsigned int texture)
{
    GLint entry = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &entry);
    bindFramebuffer(framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    releaseTarget(framebuffer);
    return GLuint(entry);
}

void RenderTarget::attachDepthBuffer(unsigned int renderbuffer)
{
    bindFramebuffer(framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffer);
    releaseTarget(framebuffer);
}

int RenderTarget::checkStatus()
{
    bindFramebuffer(framebuffer);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    releaseTarget(framebuffer);
    const char* text = statusText(status);
    if (!text) {
        // Not a status we know (0 after a GL error, or a retired code): logged, not fatal.
        CORE_LOG("fbo " << framebuffer << " status: unknown, code: " << status);
        return 0;
    }
    CORE_LOG("fbo " << framebuffer << text);
    return status == GL_FRAMEBUFFER_COMPLETE ? 0 : int(status);
}

void RenderTarget::destroy()
{
    glDeleteFramebuffers(1, &framebuffer);
}

int createDepthBuffer(int width, int height, unsigned int* name)
{
    GLint max = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max);
    if (unsigned(width) > unsigned(max) || unsigned(height) > unsigned(max)) {
        CORE_LOG("RenderBuffer error, max size is: " << max);
        return 1;
    }
    glGenRenderbuffers(1, name);
    GLint bound = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
    if (GLuint(bound) != *name) {
        glBindRenderbuffer(GL_RENDERBUFFER, *name);
    }
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
    if (GLuint(bound) == *name) {
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
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
        glDeleteRenderbuffers(1, name);
        *name = 0;
    }
}
