// Screen: the settings record, the main window and its OpenGL context.
//
// One process-wide object (`screen`, globals.cpp). Its first fields are the settings
// record, valid at their defaults; the settings dialog writes them, everything else
// reads them. init() probes the machine, runs the dialog (unless skipped), creates the
// window and the context and leaves the context current; close() undoes it all.
#pragma once
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

struct Screen {
    // ---- settings record ----
    int width = 1024;
    int height = 768;
    int refreshRate = 60;
    int viewportWidth = 0;  // letterboxed 16:9 band, set by Core::initGL
    int viewportHeight = 0;
    bool fullscreen = true;
    bool vsync = true;
    bool showStats = false;
    bool createLog = false;
    int antialiasSamples = 0;
    float maxAnisotropy = 0.0f;
    float anisotropy = 0.0f;
    int resolutionIndex = 0;
    int soundDriver = 0;
    int outputType = 0;

    // ---- window and context ----
    bool hasWindow = false;
    bool hasContext = false;
    std::vector<DisplayMode> displayModes;
    std::vector<PixelFormatCandidate> pixelFormats;
    std::vector<std::string> soundDrivers;
    char title[64] = "Core v2.0.0.30 (2008/08/26 23:01:36)";
    char className[64] = "Core";
    bool accepted = false;

    // 0 on success; 1 on failure or when the dialog was left with "Exit".
    int init(int showCommand);
    int enumerate();
    int checkRequirements();
    void close();
};

extern Screen screen;
