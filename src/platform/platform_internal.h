// Shared between the SDL implementation files of this folder only.
#pragma once
#include <SDL2/SDL.h>

namespace platform {

// The main window (null when absent), and its context made current again, so that a
// helper window that makes its own context current can hand it back afterwards.
SDL_Window* mainWindow();
void restoreMainContext();

// Sets the GL attributes every window of the program asks for (compatibility
// profile, RGBA 8-8-8-8, depth 24, stencil 0, double-buffered) with `samples`.
void setWindowAttributes(int samples);

// Removes every queued event (after a helper window was destroyed).
void discardEvents();

}  // namespace platform
