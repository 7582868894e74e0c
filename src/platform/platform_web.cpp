// What of the platform layer differs in the browser (platform_native.cpp is
// the desktop's): message boxes become text in the page, the main loop runs as the
// browser's animation-frame callback, the machine probe asks WebGL 2, and there is no
// settings dialog (the page's start screen stands for it) and no folder watching.
//
// The page learns what happens through functions it may set on the module object:
//   onCoreMessage(caption, text, icon)  a message box (icon: 0 error, 1 warning, 2 information)
//   onCoreLoop()                         the main loop started: main returned to the page
//   onCoreStarted()                      the start-up is over, the demo's frames begin
//   onCoreExit(code)                     the main loop ended with the program's exit code
#include "platform/dialog.h"
#include "platform/file_watch.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <emscripten.h>

#include <cstdio>

// clang-format off
EM_JS(void, coreShowMessage, (const char* caption, const char* text, int icon), {
    if (Module["onCoreMessage"]) {
        Module["onCoreMessage"](UTF8ToString(caption), UTF8ToString(text), icon);
    }
});

EM_JS(void, coreLoopStarted, (), {
    if (Module["onCoreLoop"]) {
        Module["onCoreLoop"]();
    }
});

EM_JS(void, coreStarted, (), {
    if (Module["onCoreStarted"]) {
        Module["onCoreStarted"]();
    }
});

EM_JS(void, coreLoopEnded, (int code), {
    if (Module["onCoreExit"]) {
        Module["onCoreExit"](code);
    }
});

// The largest anisotropy of a WebGL 2 context on a canvas of its own; -1 without WebGL 2,
// 0 without the extension.
EM_JS(double, coreProbeWebGl, (), {
    var gl = document.createElement("canvas").getContext("webgl2");
    if (!gl) {
        return -1;
    }
    var ext = gl.getExtension("EXT_texture_filter_anisotropic");
    var largest = ext ? gl.getParameter(ext.MAX_TEXTURE_MAX_ANISOTROPY_EXT) : 0;
    var lose = gl.getExtension("WEBGL_lose_context");
    if (lose) {
        lose.loseContext();
    }
    return largest;
});
// clang-format on

namespace platform {
namespace {

bool (*gStep)() = nullptr;
int (*gFinish)() = nullptr;

void loopTurn()
{
    if (gStep()) {
        return;
    }
    emscripten_cancel_main_loop();
    coreLoopEnded(gFinish());
}

}  // namespace

void messageBox(const std::string& caption, const std::string& text, MessageIcon icon)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    const int code = icon == MessageIcon::Error ? 0 : icon == MessageIcon::Warning ? 1 : 2;
    coreShowMessage(caption.c_str(), text.c_str(), code);
}

// The browser presents frames at the display's rate (animation frames): a swap
// interval of 1 is what there is.
bool setSwapInterval(int interval) { return interval == 1; }

int swapInterval() { return 1; }

bool mainLoopYields() { return true; }

void noteStartUpDone() { coreStarted(); }

int runMainLoop(bool (*step)(), int (*finish)())
{
    gStep = step;
    gFinish = finish;
    coreLoopStarted();
    // Does not return: the page gets control back, and loopTurn runs once a frame.
    emscripten_set_main_loop(loopTurn, 0, 1);
    return 0;
}

bool probeMachine(ProbeResult* result, std::string* error)
{
    *result = ProbeResult();
    if (!initVideo(error)) {
        return false;
    }
    const double largest = coreProbeWebGl();
    if (largest < 0.0) {
        if (error) {
            *error = "this browser offers no WebGL 2";
        }
        return false;
    }
    result->maxAnisotropy = float(largest);
    // WebGL chooses the configuration: without or with antialiasing, whose sample count
    // it does not tell (4 where it is offered).
    result->pixelFormats = {{1, 0}, {2, 4}};
    return true;
}

int runDialog(const DialogResource&, DialogState*, std::string* error)
{
    if (error) {
        *error = "no settings dialog in the browser (the page's start screen chooses)";
    }
    return dialogFailed;
}

FileWatch::~FileWatch() { close(); }

bool FileWatch::open(const std::string&) { return false; }

void FileWatch::close() {}

int FileWatch::poll(Report, void*) { return 0; }

void FileWatch::addFolder(const std::string&) {}

}  // namespace platform
