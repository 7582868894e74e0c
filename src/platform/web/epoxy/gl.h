// The browser build's stand-in for libepoxy's <epoxy/gl.h>: WebGL 2 is OpenGL ES 3.0,
// whose entry points emscripten links directly. Declares the few desktop names the
// shared code mentions on paths it takes only on a desktop context, and answers the
// loader's questions from the current context.
#pragma once
#include <GLES3/gl3.h>
#include <GLES2/gl2ext.h>

#include <cstdio>
#include <cstring>

// Desktop GL enums on desktop-only paths (never reached: epoxy_is_desktop_gl() is false).
#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#define GL_CLAMP 0x2900
#ifndef GL_CLAMP_TO_BORDER
#define GL_CLAMP_TO_BORDER 0x812D
#endif
#define GL_CONTEXT_CORE_PROFILE_BIT 0x00000001
#define GL_CONTEXT_PROFILE_MASK 0x9126
#define GL_FILL 0x1B02
#define GL_LINE 0x1B01
#define GL_POINT 0x1B00
#define GL_POLYGON_MODE 0x0B40
#define GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER 0x8CDB
#define GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER 0x8CDC
#define GL_GENERATE_MIPMAP 0x8191
#define GL_TEXTURE_1D 0x0DE0
#define GL_TEXTURE_BINDING_1D 0x8068

inline void glPolygonMode(GLenum, GLenum) {}
inline void glGenerateMipmapEXT(GLenum target) { glGenerateMipmap(target); }

// The first "major.minor" of a GL string as major * scale + minor; 0 without a context.
inline int versionOfString(GLenum name, int scale)
{
    const char* text = reinterpret_cast<const char*>(glGetString(name));
    int major = 0;
    int minor = 0;
    if (!text) {
        return 0;
    }
    while (*text && (*text < '0' || *text > '9')) {
        ++text;
    }
    return std::sscanf(text, "%d.%d", &major, &minor) == 2 ? major * scale + minor : 0;
}

// 30 for "OpenGL ES 3.0 (WebGL 2.0)".
inline int epoxy_gl_version() { return versionOfString(GL_VERSION, 10); }

// 300 for "OpenGL ES GLSL ES 3.00 (WebGL GLSL ES 3.00)".
inline int epoxy_glsl_version() { return versionOfString(GL_SHADING_LANGUAGE_VERSION, 100); }

inline bool epoxy_is_desktop_gl() { return false; }

// Whether the context offers `name` ("GL_EXT_texture_filter_anisotropic": emscripten
// lists WebGL extensions with the GL_ prefix).
inline bool epoxy_has_gl_extension(const char* name)
{
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* ext = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
        if (ext && std::strcmp(ext, name) == 0) {
            return true;
        }
    }
    return false;
}
