// The desktop side of what the browser does otherwise (platform_web.cpp).
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <SDL2/SDL.h>

#include <cstdio>

namespace platform {
namespace {

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

void messageBox(const std::string& caption, const std::string& text, MessageIcon icon)
{
    // Without a display there is nobody to click the box: standard error stands in.
    if (batchMode() || SDL_ShowSimpleMessageBox(boxFlags(icon), caption.c_str(), text.c_str(), nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
    }
}

bool setSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

int swapInterval() { return SDL_GL_GetSwapInterval(); }

bool mainLoopYields() { return false; }

void noteStartUpDone() {}

int runMainLoop(bool (*step)(), int (*finish)())
{
    while (step()) {
    }
    return finish();
}

}  // namespace platform
