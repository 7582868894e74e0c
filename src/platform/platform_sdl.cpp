#include "platform/platform.h"

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <cstdio>
#include <ctime>

namespace platform {
namespace {

bool gBatch = false;
bool gQuit = false;
int gQuitCode = 0;
SDL_Event gEvent;
SDL_Window* gWindow = nullptr;
SDL_GLContext gContext = nullptr;

Uint32 boxFlags(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error:
        return SDL_MESSAGEBOX_ERROR;
    case MessageIcon::Warning:
        return SDL_MESSAGEBOX_WARNING;
    case MessageIcon::Information:
        break;
    }
    return SDL_MESSAGEBOX_INFORMATION;
}

}  // namespace

void setBatchMode(bool on) { gBatch = on; }
bool batchMode() { return gBatch; }

void messageBox(const std::string& caption, const std::string& text, MessageIcon icon)
{
    // Without a display there is nobody to click the box: standard error stands in.
    if (gBatch || SDL_ShowSimpleMessageBox(boxFlags(icon), caption.c_str(), text.c_str(), nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
    }
}

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
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) {
            *error = SDL_GetError();
        }
        return false;
    }
    return true;
}

void quitVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
}

bool createWindow(const WindowDesc& desc, std::string* error)
{
    if (gWindow) {
        destroyWindow();
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, desc.samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, desc.samples > 0 ? desc.samples : 0);

    Uint32 flags = SDL_WINDOW_OPENGL;
    flags |= desc.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    if (desc.fullscreen) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    gWindow = SDL_CreateWindow(desc.title, desc.x, desc.y, desc.width, desc.height, flags);
    if (!gWindow) {
        if (error) {
            *error = SDL_GetError();
        }
        return false;
    }
    gContext = SDL_GL_CreateContext(gWindow);
    if (!gContext) {
        if (error) {
            *error = SDL_GetError();
        }
        SDL_DestroyWindow(gWindow);
        gWindow = nullptr;
        return false;
    }
    if (SDL_GL_MakeCurrent(gWindow, gContext) != 0) {
        if (error) {
            *error = SDL_GetError();
        }
        destroyWindow();
        return false;
    }
    return true;
}

bool hasWindow() { return gWindow != nullptr; }

bool linkExtensions(std::string* error)
{
    glewExperimental = GL_TRUE;
    GLenum result = glewInit();
    if (result != GLEW_OK) {
        if (error) {
            *error = reinterpret_cast<const char*>(glewGetErrorString(result));
        }
        return false;
    }
    // glewInit may leave a harmless GL_INVALID_ENUM behind on core-ish drivers.
    while (glGetError() != GL_NO_ERROR) {
    }
    return true;
}

void swapBuffers()
{
    if (gWindow) {
        SDL_GL_SwapWindow(gWindow);
    }
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
        if (gEvent.window.event == SDL_WINDOWEVENT_CLOSE) {
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
