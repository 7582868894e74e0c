// The machine probe: framebuffer configurations and the anisotropy limit, read with a
// hidden helper window and context that live only during the call.
//
// The configurations come from the system SDL draws through: GLX on an X display (its
// configurations are what the window's visual is chosen from), EGL elsewhere. EGL is
// asked on the display of SDL's own context (eglGetCurrentDisplay), so the list is
// the one SDL later chooses from with the window's sample count; a second display
// connection would see the same configurations at the cost of a second driver
// instance, and asking SDL for one context per sample count would give no list at all.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <GL/glx.h>
#include <SDL2/SDL_syswm.h>

#include <algorithm>

namespace platform {
namespace {

// The main window's attribute list in GLX terms: drawable to a window, RGBA,
// not a slow (unaccelerated) config, 24 colour bits + 8 alpha, depth 24, stencil 0
// (a minimum, as the list means), double-buffered.
const int probeAttributes[] = {
    GLX_X_RENDERABLE, True,
    GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
    GLX_RENDER_TYPE, GLX_RGBA_BIT,
    GLX_CONFIG_CAVEAT, GLX_NONE,
    GLX_RED_SIZE, 8,
    GLX_GREEN_SIZE, 8,
    GLX_BLUE_SIZE, 8,
    GLX_ALPHA_SIZE, 8,
    GLX_DEPTH_SIZE, 24,
    GLX_STENCIL_SIZE, 0,
    GLX_DOUBLEBUFFER, True,
    None,
};

constexpr int maxCandidates = 128;

// Reads the GLX configs that match the list; false when the display has no GLX 1.3.
bool readGlxConfigs(Display* display, std::vector<PixelFormatInfo>* formats)
{
    int major = 0;
    int minor = 0;
    if (!glXQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 3)) {
        return false;
    }
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), probeAttributes, &count);
    if (!configs) {
        return true;
    }
    for (int i = 0; i < std::min(count, maxCandidates); ++i) {
        int id = 0;
        int sampleBuffers = 0;
        int samples = 0;
        glXGetFBConfigAttrib(display, configs[i], GLX_FBCONFIG_ID, &id);
        glXGetFBConfigAttrib(display, configs[i], GLX_SAMPLE_BUFFERS, &sampleBuffers);
        glXGetFBConfigAttrib(display, configs[i], GLX_SAMPLES, &samples);
        formats->push_back({id, sampleBuffers > 0 ? samples : 0});
    }
    XFree(configs);
    return true;
}

// The same list in EGL terms, for configs that can hold a context of `kind`, on the
// display of the current EGL context. Without one (a system that is neither GLX nor
// EGL) the list stays empty and the default format serves.
void readEglConfigs(ContextKind kind, std::vector<PixelFormatInfo>* formats)
{
    EGLDisplay display = epoxy_has_egl() ? eglGetCurrentDisplay() : EGL_NO_DISPLAY;
    if (display == EGL_NO_DISPLAY) {
        return;
    }
    const EGLint attributes[] = {
        EGL_SURFACE_TYPE, EGL_WINDOW_BIT,
        EGL_RENDERABLE_TYPE, kind == ContextKind::Es ? EGL_OPENGL_ES3_BIT : EGL_OPENGL_BIT,
        EGL_COLOR_BUFFER_TYPE, EGL_RGB_BUFFER,
        EGL_CONFIG_CAVEAT, EGL_NONE,
        EGL_RED_SIZE, 8,
        EGL_GREEN_SIZE, 8,
        EGL_BLUE_SIZE, 8,
        EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 24,
        EGL_STENCIL_SIZE, 0,
        EGL_NONE,
    };
    EGLConfig configs[maxCandidates];
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, configs, maxCandidates, &count)) {
        return;
    }
    for (EGLint i = 0; i < count; ++i) {
        EGLint id = 0;
        EGLint sampleBuffers = 0;
        EGLint samples = 0;
        eglGetConfigAttrib(display, configs[i], EGL_CONFIG_ID, &id);
        eglGetConfigAttrib(display, configs[i], EGL_SAMPLE_BUFFERS, &sampleBuffers);
        eglGetConfigAttrib(display, configs[i], EGL_SAMPLES, &samples);
        formats->push_back({int(id), sampleBuffers > 0 ? int(samples) : 0});
    }
}

// Reads the configs of the system the helper window's context came from; false when
// an X display lacks GLX 1.3.
bool readConfigs(const HelperWindow& helper, std::vector<PixelFormatInfo>* formats)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    // SDL may draw through EGL on X too (asked to by its hints): the current context
    // tells which.
    if (SDL_GetWindowWMInfo(helper.window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11 &&
        glXGetCurrentContext()) {
        return readGlxConfigs(info.info.x11.display, formats);
    }
    readEglConfigs(helper.kind, formats);
    return true;
}

}  // namespace

bool probeMachine(ProbeResult* result, std::string* error)
{
    *result = ProbeResult();
    if (!initVideo(error)) {
        return false;
    }
    HelperWindow helper;
    if (!openHelperWindow("probe", 640, 480, &helper, error)) {
        if (!mainWindow()) {
            discardEvents();
        }
        return false;
    }
    // Without the extension the limit stays 0 and the dialog offers "None" alone.
    if (SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic")) {
        GLfloat largest = 0.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &largest);
        result->maxAnisotropy = largest;
    }
    const bool haveConfigs = readConfigs(helper, &result->pixelFormats);
    closeHelperWindow(&helper);
    if (!mainWindow()) {
        discardEvents();
    }
    if (!haveConfigs) {
        result->missingConfigs = true;
        if (error) {
            *error = "no GLX 1.3 framebuffer configurations";
        }
        return false;
    }
    return true;
}

}  // namespace platform
