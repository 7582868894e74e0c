// Shared between the SDL implementation files of this folder only.
#pragma once
#include "platform/gl_context.h"

#include <SDL2/SDL.h>

#include <string>

namespace platform {

// The main window (null when absent), and its context made current again, so that a
// helper window that makes its own context current can hand it back afterwards.
SDL_Window* mainWindow();
void restoreMainContext();

// Sets the GL attributes every window of the program asks for (RGBA 8-8-8-8, depth
// 24, stencil 0, double-buffered) with `samples`, for a context of `kind`.
void setWindowAttributes(ContextKind kind, int samples);

// The kind and versions of the current context (gl_context.cpp).
ContextInfo readContextInfo(ContextKind kind);

// A hidden helper window with a current context of the first kind of the program's
// request that the system gives (the probe's, the dialog's). closeHelperWindow
// destroys both and makes the main window's context current again, if there is one.
struct HelperWindow {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    ContextKind kind = ContextKind::Compat;
};
bool openHelperWindow(const char* title, int width, int height, HelperWindow* helper, std::string* error);
void closeHelperWindow(HelperWindow* helper);

// Removes every queued event (after a helper window was destroyed).
void discardEvents();

// True after setBatchMode(true): nobody is there to click a box.
bool batchMode();

}  // namespace platform
