#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <epoxy/gl.h>
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform {
namespace {

bool gBatch = false;
bool gQuit = false;
int gQuitCode = 0;
SDL_Event gEvent;
SDL_Window* gWindow = nullptr;
SDL_GLContext gContext = nullptr;
SDL_DisplayMode gPendingMode;
bool gHasPendingMode = false;
bool gFullscreenRefused = false;
ContextInfo gContextInfo;

// Test input: events queued after a given number of buffer swaps.
struct InjectedEvent {
    enum Kind { Escape, Close, Key } kind;
    long afterSwaps;
};
std::vector<InjectedEvent> gInjected;
bool gInjectedRead = false;
bool gPolled = false;  // swaps count from the main loop's first poll on
long gSwaps = 0;

void readInjectedEvents()
{
    gInjectedRead = true;
    const char* spec = std::getenv("CORE_TEST_INPUT");
    if (!spec) {
        return;
    }
    std::string text = spec;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(begin, end - begin);
        size_t at = item.find('@');
        if (at != std::string::npos) {
            std::string name = item.substr(0, at);
            long swaps = std::strtol(item.c_str() + at + 1, nullptr, 10);
            if (name == "escape") {
                gInjected.push_back({InjectedEvent::Escape, swaps});
            } else if (name == "close") {
                gInjected.push_back({InjectedEvent::Close, swaps});
            } else if (name == "key") {
                gInjected.push_back({InjectedEvent::Key, swaps});
            }
        }
        begin = end + 1;
    }
}

void pushKey(SDL_Keycode key, SDL_Scancode scancode)
{
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(gWindow);
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = scancode;
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    e.key.state = SDL_RELEASED;
    SDL_PushEvent(&e);
}

void injectEvents()
{
    if (!gInjectedRead) {
        readInjectedEvents();
    }
    if (!gPolled || gInjected.empty()) {
        return;
    }
    ++gSwaps;
    for (const InjectedEvent& inject : gInjected) {
        if (inject.afterSwaps != gSwaps) {
            continue;
        }
        if (inject.kind == InjectedEvent::Escape) {
            pushKey(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
        } else if (inject.kind == InjectedEvent::Key) {
            pushKey(SDLK_a, SDL_SCANCODE_A);
        } else {
            SDL_Event e;
            SDL_zero(e);
            e.type = SDL_WINDOWEVENT;
            e.window.event = SDL_WINDOWEVENT_CLOSE;
            e.window.windowID = SDL_GetWindowID(gWindow);
            SDL_PushEvent(&e);
        }
    }
}

}  // namespace

SDL_Window* mainWindow() { return gWindow; }

void restoreMainContext()
{
    if (gWindow && gContext) {
        SDL_GL_MakeCurrent(gWindow, gContext);
    }
}

void setWindowAttributes(ContextKind kind, int samples)
{
    SDL_GL_ResetAttributes();
    switch (kind) {
    case ContextKind::Compat:
        // SDL's default version, 2.1: the driver gives its newest compatibility context.
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        break;
    case ContextKind::Core:
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_FORWARD_COMPATIBLE_FLAG);
        break;
    case ContextKind::Es:
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
        break;
    }
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 0 ? samples : 0);
}

void discardEvents()
{
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

void setBatchMode(bool on) { gBatch = on; }

bool batchMode() { return gBatch; }

int64_t counter()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t counterFrequency() { return 1000000000; }

bool initVideo(std::string* error)
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        return true;
    }
    // On Wayland, SDL 2.26 with libdecor (client-side decorations, used where the
    // compositor draws none) crashes in the event pump once the dialog's window is
    // gone: windows go undecorated instead. SDL_VIDEO_WAYLAND_ALLOW_LIBDECOR=1 in the
    // environment still wins over this default.
    SDL_SetHintWithPriority(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0", SDL_HINT_DEFAULT);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) {
            *error = SDL_GetError();
        }
        return false;
    }
    return true;
}

namespace {

// One attempt at the main window with a context of `kind`. On failure leaves no
// window behind and gives a reason in *error.
WindowResult openWindowOfKind(const WindowDesc& desc, ContextKind kind, std::string* error)
{
    auto fail = [&](WindowResult result) {
        if (error) {
            *error = SDL_GetError();
        }
        destroyWindow();
        return result;
    };
    // The window is made anew for each kind: on EGL its configuration depends on the
    // kind of context (desktop GL or ES).
    setWindowAttributes(kind, desc.samples);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (desc.fullscreen) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    int x = desc.fullscreen ? 0 : desc.x;
    int y = desc.fullscreen ? 0 : desc.y;
    gWindow = SDL_CreateWindow(desc.title, x, y, desc.width, desc.height, flags);
    if (!gWindow) {
        // On X11 the GL visual is chosen while the window is made: no visual with
        // these attributes is the pixel format's failure, anything else the window's.
        const char* why = SDL_GetError();
        bool visual = why && (std::strstr(why, "visual") || std::strstr(why, "Visual"));
        return fail(visual ? WindowResult::PixelFormatFailed : WindowResult::WindowFailed);
    }
    gFullscreenRefused = false;
    if (desc.fullscreen) {
        // The system may refuse the mode or the switch: the window then stays an
        // ordinary one of the asked size, and the caller says so.
        const char* refuse = std::getenv("CORE_TEST_REFUSE_FULLSCREEN");
        const bool switched = gHasPendingMode && !(refuse && *refuse && *refuse != '0') &&
                              SDL_SetWindowDisplayMode(gWindow, &gPendingMode) == 0 &&
                              SDL_SetWindowFullscreen(gWindow, SDL_WINDOW_FULLSCREEN) == 0;
        if (!switched) {
            gFullscreenRefused = true;
            SDL_SetWindowFullscreen(gWindow, 0);
            SDL_SetWindowBordered(gWindow, SDL_TRUE);
            SDL_SetWindowSize(gWindow, desc.width, desc.height);
        }
    }
    gContext = SDL_GL_CreateContext(gWindow);
    if (!gContext) {
        return fail(WindowResult::ContextFailed);
    }
    if (SDL_GL_MakeCurrent(gWindow, gContext) != 0) {
        return fail(WindowResult::MakeCurrentFailed);
    }
    gContextInfo = readContextInfo(kind);
    return WindowResult::Ok;
}

}  // namespace

WindowResult openWindow(const WindowDesc& desc, std::string* error)
{
    if (gWindow) {
        destroyWindow();
    }
    // The kinds in the order of the request; the first failure is the one reported.
    WindowResult first = WindowResult::ContextFailed;
    std::string firstError;
    bool failed = false;
    for (ContextKind kind : contextKinds(contextRequest())) {
        std::string why;
        const WindowResult result = openWindowOfKind(desc, kind, &why);
        if (result == WindowResult::Ok) {
            if (gFullscreenRefused) {
                gHasPendingMode = false;
            }
            if (!desc.hidden) {
                SDL_ShowWindow(gWindow);
            }
            return result;
        }
        if (!failed) {
            failed = true;
            first = result;
            firstError = why;
        }
    }
    if (error) {
        *error = firstError;
    }
    return first;
}

ContextInfo contextInfo() { return gWindow ? gContextInfo : ContextInfo(); }

bool openHelperWindow(const char* title, int width, int height, HelperWindow* helper, std::string* error)
{
    *helper = HelperWindow();
    std::string firstError;
    for (ContextKind kind : contextKinds(contextRequest())) {
        setWindowAttributes(kind, 0);
        helper->window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (helper->window) {
            helper->context = SDL_GL_CreateContext(helper->window);
            if (helper->context && SDL_GL_MakeCurrent(helper->window, helper->context) == 0) {
                helper->kind = kind;
                return true;
            }
        }
        if (firstError.empty()) {
            firstError = SDL_GetError();
        }
        closeHelperWindow(helper);
    }
    if (error) {
        *error = firstError;
    }
    return false;
}

void closeHelperWindow(HelperWindow* helper)
{
    if (helper->window) {
        SDL_GL_MakeCurrent(helper->window, nullptr);
    }
    if (helper->context) {
        SDL_GL_DeleteContext(helper->context);
    }
    if (helper->window) {
        SDL_DestroyWindow(helper->window);
    }
    *helper = HelperWindow();
    restoreMainContext();
}

bool createWindow(const WindowDesc& desc, std::string* error) { return openWindow(desc, error) == WindowResult::Ok; }

bool hasWindow() { return gWindow != nullptr; }

bool fullscreenRefused() { return gFullscreenRefused; }

bool linkExtensions(std::string* error)
{
    // The loader resolves entry points on first use, through GLX or EGL alike; all it
    // needs is a current context whose version it can read.
    if (epoxy_gl_version() == 0) {
        if (error) {
            *error = "no current OpenGL context";
        }
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    return true;
}

void swapBuffers()
{
    if (gWindow) {
        SDL_GL_SwapWindow(gWindow);
        injectEvents();
    }
}

void showWindow()
{
    if (gWindow) {
        SDL_ShowWindow(gWindow);
    }
}

void hideWindow()
{
    if (gWindow) {
        SDL_HideWindow(gWindow);
    }
}

Rect windowFrame()
{
    Rect frame;
    if (gWindow &&
        SDL_GetWindowBordersSize(gWindow, &frame.top, &frame.left, &frame.bottom, &frame.right) != 0) {
        frame = Rect();
    }
    return frame;
}

void moveWindow(int x, int y)
{
    if (gWindow) {
        SDL_SetWindowPosition(gWindow, x, y);
    }
}

void showCursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

void enableScreenSaver(bool enable)
{
    if (enable) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}

std::vector<DisplayModeInfo> displayModes()
{
    std::vector<DisplayModeInfo> modes;
    int count = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetNumDisplayModes(0) : 0;
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) {
            break;
        }
        DisplayModeInfo info;
        info.index = i;
        info.width = mode.w;
        info.height = mode.h;
        info.refreshRate = mode.refresh_rate;
        info.bitsPerPixel = int(SDL_BITSPERPIXEL(mode.format));
        info.bytesPerPixel = int(SDL_BYTESPERPIXEL(mode.format));
        modes.push_back(info);
    }
    return modes;
}

bool isTrueColourMode(const DisplayModeInfo& mode) { return mode.bitsPerPixel == 32 || mode.bytesPerPixel == 4; }

bool changeDisplayMode(int modeIndex)
{
    gHasPendingMode = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO) || modeIndex < 0 || SDL_GetDisplayMode(0, modeIndex, &gPendingMode) != 0) {
        return false;
    }
    gHasPendingMode = true;
    return true;
}

void restoreDisplayMode()
{
    gHasPendingMode = false;
    if (gWindow && (SDL_GetWindowFlags(gWindow) & SDL_WINDOW_FULLSCREEN)) {
        SDL_SetWindowFullscreen(gWindow, 0);
    }
}

Rect workArea()
{
    Rect area;
    SDL_Rect r;
    if (SDL_WasInit(SDL_INIT_VIDEO) &&
        (SDL_GetDisplayUsableBounds(0, &r) == 0 || SDL_GetDisplayBounds(0, &r) == 0)) {
        area.left = r.x;
        area.top = r.y;
        area.right = r.x + r.w;
        area.bottom = r.y + r.h;
    }
    return area;
}

void destroyWindow()
{
    if (gContext) {
        SDL_GL_MakeCurrent(gWindow, nullptr);
        SDL_GL_DeleteContext(gContext);
        gContext = nullptr;
    }
    if (gWindow) {
        SDL_DestroyWindow(gWindow);
        gWindow = nullptr;
    }
}

void windowSize(int* width, int* height)
{
    *width = 0;
    *height = 0;
    if (gWindow) {
        SDL_GL_GetDrawableSize(gWindow, width, height);
    }
}

bool pollEvent(Event* event)
{
    gPolled = true;
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_PollEvent(&gEvent)) {
        return false;
    }
    event->kind = Event::Other;
    event->key = 0;
    event->native = &gEvent;
    switch (gEvent.type) {
    case SDL_QUIT:
        event->kind = Event::Close;
        break;
    case SDL_WINDOWEVENT:
        // Only the main window's close button ends the demo; a late event of the
        // dialog or the probe window does not.
        if (gEvent.window.event == SDL_WINDOWEVENT_CLOSE && gWindow &&
            gEvent.window.windowID == SDL_GetWindowID(gWindow)) {
            event->kind = Event::Close;
        }
        break;
    case SDL_KEYDOWN:
        event->kind = Event::KeyDown;
        event->key = gEvent.key.keysym.sym;  // SDLK_ESCAPE is 27, printable keys are their characters
        break;
    case SDL_TEXTINPUT:
        event->kind = Event::Text;
        event->key = static_cast<unsigned char>(gEvent.text.text[0]);
        break;
    default:
        break;
    }
    return true;
}

void postQuit(int exitCode)
{
    if (!gQuit) {
        gQuit = true;
        gQuitCode = exitCode;
    }
}

bool quitRequested(int* exitCode)
{
    if (gQuit && exitCode) {
        *exitCode = gQuitCode;
    }
    return gQuit;
}

}  // namespace platform
