// Screen: the settings record, the main window and its OpenGL context.
//
// One process-wide object (`screen`, globals.cpp). Its first part is the settings
// record (base/screen_settings.h), valid at its defaults; the settings dialog writes
// it, everything else reads it. init() probes the machine, runs the dialog (unless
// skipped), creates the window and the context and leaves the context current;
// close() undoes it all.
#pragma once
#include "base/screen_settings.h"
#include "platform/platform.h"

#include <string>
#include <vector>

// One 32-bit display mode as the system enumerates it, with its dialog caption.
struct DisplayMode {
    int width = 0;
    int height = 0;
    int refreshRate = 0;
    int modeIndex = 0;  // the system's enumeration index, for switching back to it
    char caption[64] = {};
};

// A framebuffer configuration that matches the attribute list, with its sample count.
struct PixelFormatCandidate {
    int index = 0;
    int samples = 0;
};

struct Screen : ScreenSettings {
    // ---- window and context ----
    bool hasWindow = false;
    bool hasContext = false;
    std::vector<DisplayMode> displayModes;
    std::vector<PixelFormatCandidate> pixelFormats;
    std::vector<std::string> soundDrivers;
    char title[64] = "Core v2.0.0.30 (2008/08/26 23:01:36)";
    char className[64] = "Core";
    bool accepted = false;

    // 0 on success; 1 on failure or when the dialog was left with "Exit". Runs the
    // settings dialog unless the options skip it; on failure nothing it changed
    // (display mode, cursor, screen saver, window) is left behind.
    int init(int showCommand);
    // Fills displayModes, pixelFormats, maxAnisotropy and soundDrivers.
    int enumerate();
    // Logs the GL strings; 1 when the version strings cannot be parsed or the context
    // lacks what the renderer uses (platform::missingRequirements, one "Extension
    // error" line).
    int checkRequirements();
    // Releases the context, restores the display, shows the statistics when asked,
    // destroys the window and switches the screen saver back on.
    void close();

private:
    bool modeChanged = false;
    bool screenSaverOff = false;
    // Back to the desktop's display mode and cursor after a mode change.
    void leaveDisplayMode();
    // Destroys the window, leaves the display mode and switches the screen saver back on.
    void undoInit();
};

extern Screen screen;

// Where the main window goes and how big it is (outer size, decorations included).
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
// Full screen: (0, 0), width x height. Windowed: the client area width x height grown
// by the decorations `frame` (thickness left, top, right, bottom) and centred on the
// work area per axis where the work area is larger than the client size; an axis that
// does not fit starts at the work area's edge.
WindowPlacement placeWindow(int width, int height, bool fullscreen, const platform::Rect& workArea,
                            const platform::Rect& frame);

// The pixel-format candidate for a sample count: the first with exactly that many
// samples; -1 when none has (the default single-sample format serves).
int choosePixelFormat(const std::vector<PixelFormatCandidate>& candidates, int samples);

// The version numbers of the GL strings, as checkRequirements reads them.
struct GlVersions {
    int major = 0;
    int minor = 0;
    int shadingMajor = 0;  // 0.0 when a GL 1 driver lacks the shading language
    int shadingMinor = 0;
};
// 0 when parsed; 1 for an unreadable GL_VERSION, 2 for an unreadable
// GL_SHADING_LANGUAGE_VERSION (only consulted from GL 2 on). Null strings are unreadable.
int parseGlVersions(const char* version, const char* shadingVersion, const char* extensions, GlVersions* out);
