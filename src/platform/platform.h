// The platform layer: everything the program asks of the operating system, over SDL2
// and GLX. Only this folder includes SDL or X headers.
//
// All calls are main-thread only. A window and its GL context are created together
// by createWindow and stay current until destroyWindow; at most one exists at a time.
// In batch mode nothing waits for a user: message boxes print "caption: text" on
// standard error and return at once.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

enum class MessageIcon { Error, Warning, Information };

void setBatchMode(bool on);
bool batchMode();
// Modal message box with no owner window (or a line on stderr in batch mode).
void messageBox(const std::string& caption, const std::string& text, MessageIcon icon);

// Monotonic high-resolution counter and its ticks per second.
int64_t counter();
int64_t counterFrequency();

// Starts / stops the video subsystem (needed before any window or mode query).
bool initVideo(std::string* error);
void quitVideo();

struct WindowDesc {
    const char* title = "";
    int x = 0;
    int y = 0;
    int width = 640;
    int height = 480;
    bool fullscreen = false;  // borderless window covering the display
    bool hidden = false;      // for tests and offline rendering
    int samples = 0;          // multisample count of the framebuffer config, 0 = none
};

// Creates the window with an OpenGL compatibility-profile context made current.
// On failure returns false with a reason in *error and leaves no window behind.
bool createWindow(const WindowDesc& desc, std::string* error);
bool hasWindow();
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

}  // namespace platform
