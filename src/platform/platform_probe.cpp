// The machine probe: framebuffer configurations and the anisotropy limit, read with a
// hidden helper window and context that live only during the call.
#include "platform/platform.h"
#include "platform/platform_internal.h"

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

// Reads the configs that match the list; false when the display has no GLX 1.3.
bool readConfigs(SDL_Window* window, std::vector<PixelFormatInfo>* formats)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return true;  // not an X display: no candidates, the default format serves
    }
    Display* display = info.info.x11.display;
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

}  // namespace

bool probeMachine(ProbeResult* result, std::string* error)
{
    *result = ProbeResult();
    if (!initVideo(error)) {
        return false;
    }
    setWindowAttributes(0);
    SDL_Window* window = SDL_CreateWindow("probe", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        if (error) {
            *error = SDL_GetError();
        }
        return false;
    }
    // The probe context only answers the anisotropy question; without it the
    // limit stays 0 and the dialog offers "None" alone.
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context && SDL_GL_MakeCurrent(window, context) == 0 &&
        SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic")) {
        GLfloat largest = 0.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &largest);
        result->maxAnisotropy = largest;
    }
    bool haveConfigs = readConfigs(window, &result->pixelFormats);
    SDL_GL_MakeCurrent(window, nullptr);
    if (context) {
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    if (mainWindow()) {
        restoreMainContext();
    } else {
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
