// The platform layer: everything the program asks of the operating system, over SDL2
// (X11 or Wayland), GLX and EGL; in the browser over SDL2's emscripten back end and
// WebGL 2 (*_web.cpp). Only this folder includes SDL, X, EGL or emscripten headers.
//
// All calls are main-thread only. A window and its GL context are created together
// by createWindow and stay current until destroyWindow; at most one exists at a time.
// The kind of context follows setContextRequest (gl_context.h).
// In batch mode nothing waits for a user: message boxes print "caption: text" on
// standard error and return at once.
#pragma once
#include "platform/gl_context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class MessageIcon { Error, Warning, Information };

void setBatchMode(bool on);
// Modal message box with no owner window (or a line on stderr in batch mode).
void messageBox(const std::string& caption, const std::string& text, MessageIcon icon);

// Monotonic high-resolution counter and its ticks per second.
int64_t counter();
int64_t counterFrequency();

// Starts the video subsystem (needed before any window or mode query).
bool initVideo(std::string* error);

// ---- environment and files ----
// The value of an environment variable, "" when it is not set.
std::string environmentVariable(const char* name);
// True when `path` names a regular file (or a link to one) this process may read.
bool isReadableFile(const std::string& path);

// ---- display modes ----
// One mode of the primary display as the system enumerates it.
struct DisplayModeInfo {
    int index = 0;          // enumeration index, passed back to changeDisplayMode
    int width = 0;
    int height = 0;
    int refreshRate = 0;    // Hz; 0 when the system does not know (Xvfb)
    int bitsPerPixel = 0;
    int bytesPerPixel = 0;  // storage per pixel: 4 for 24-bit colour padded to 32
};
// All modes of the primary display in enumeration order (repeats kept).
std::vector<DisplayModeInfo> displayModes();
// True for the modes the program offers: 32 bits per pixel, or 24 stored in 4 bytes.
bool isTrueColourMode(const DisplayModeInfo& mode);
// Chooses the mode the next full-screen window switches the display to. False when
// the index names no mode of the primary display (the switch is refused).
bool changeDisplayMode(int modeIndex);
// Leaves full screen and returns the display to the desktop's own mode.
void restoreDisplayMode();
// The desktop area not covered by panels and task bars, in desktop pixels.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
Rect workArea();

// ---- pixel formats ----
// One framebuffer configuration that matches the attribute list of the main window
// (window drawable, RGBA, not a slow config, 8-bit red/green/blue/alpha, depth 24,
// stencil 0 or more, double-buffered; on EGL also renderable by the probe context's
// kind), in the order the system returns them: GLX configurations on an X display,
// EGL configurations of the display SDL draws through elsewhere (Wayland).
struct PixelFormatInfo {
    int id = 0;       // the configuration's id
    int samples = 0;  // 0 without multisampling
};
// The probe of the machine, done with a hidden 640 x 480 window and a context that
// exist only during the call. False when no window or context could be made, or the
// system lacks framebuffer configurations (*missingConfigs is then set).
struct ProbeResult {
    std::vector<PixelFormatInfo> pixelFormats;
    float maxAnisotropy = 0.0f;  // GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, 0 without the extension
    bool missingConfigs = false;
};
bool probeMachine(ProbeResult* result, std::string* error);

struct WindowDesc {
    const char* title = "";
    int x = 0;
    int y = 0;
    int width = 640;
    int height = 480;
    bool fullscreen = false;  // borderless window at (0, 0) in the mode of changeDisplayMode
    bool hidden = false;      // not shown until showWindow (tests, offline rendering)
    int samples = 0;          // multisample count of the framebuffer config, 0 = none
};

// Where window creation stopped.
enum class WindowResult { Ok, WindowFailed, PixelFormatFailed, ContextFailed, MakeCurrentFailed };
// Creates the window with an OpenGL context made current: the first kind of the
// request (contextRequest) that the system gives; contextInfo() then tells which.
// On failure leaves no window behind and gives the first attempt's reason in *error.
WindowResult openWindow(const WindowDesc& desc, std::string* error);
// True when the last openWindow was asked for full screen and the system refused the
// mode or the switch: the window is then an ordinary bordered one of the asked size.
bool fullscreenRefused();
// openWindow == Ok.
bool createWindow(const WindowDesc& desc, std::string* error);
bool hasWindow();
void showWindow();
void hideWindow();
// Size of the decorations the window manager adds around a client area of the
// window (left, top, right, bottom thickness); zeros without a window or manager.
Rect windowFrame();
// Moves the window so that its client area's top-left corner is at (x, y).
void moveWindow(int x, int y);
void showCursor(bool show);
void enableScreenSaver(bool enable);
// Vertical sync: 1 waits for it, 0 does not. False when the driver refuses.
bool setSwapInterval(int interval);
// The swap interval in effect (0 when the driver cannot tell).
int swapInterval();
// Links the GL entry points of the current context; false with the loader's text.
bool linkExtensions(std::string* error);
void swapBuffers();
void destroyWindow();
// Window client size in pixels.
void windowSize(int* width, int* height);

// ---- events ----
struct Event {
    enum Kind { Other, Close, KeyDown, Text } kind = Other;
    int key = 0;             // KeyDown: the key's character code (27 = Escape), or the SDL keycode
    const void* native = nullptr;  // the SDL event, for the GUI layer inside this folder
};
// Takes one waiting event; false when none is waiting. Never blocks.
bool pollEvent(Event* event);
// Posts the quit request; the main loop ends after the current frame.
void postQuit(int exitCode);
// True once a quit request was posted; *exitCode receives its code.
bool quitRequested(int* exitCode);

// ---- the main loop ----
// Calls `step` until it returns false, then `finish`, and gives finish's result (the
// exit code). Natively a plain loop. In the browser the page must get control back
// between frames: each step runs in an animation frame's callback, the call returns
// at once (its result is meaningless then) and finish's code goes to the page.
int runMainLoop(bool (*step)(), int (*finish)());
// True where runMainLoop hands every step back to the system (the browser): work that
// draws frames of its own (the loading bar) must then run in steps to be seen.
bool mainLoopYields();
// Tells the system that the start-up is over and the demo's frames begin (the browser's
// page marks the moment); nothing natively.
void noteStartUpDone();

// ---- test hooks ----
// End-to-end tests drive the program through the environment, never through options:
//   CORE_TEST_INPUT="escape@N,close@N,key@N"  after N buffer swaps of the main loop
//                                             (counted from its first pollEvent), queue
//                                             an Escape key, a window close or an 'a' key
// The hooks are read once, at the first swap.
//   CORE_TEST_REFUSE_FULLSCREEN=1                the full-screen switch is refused as if
//                                             by the system (read by openWindow)

}  // namespace platform
