// Command-line options. Without any option the program behaves as it always did:
// the settings dialog comes first and every setting starts at its default.
//
// One process-wide object (`options`, options.cpp), filled once by main through
// parseOptions before anything else runs, read-only afterwards. Settings given here
// are applied on top of the settings record's defaults (applyOptions, dialog.h);
// a field left at its "not given" value keeps the default.
#pragma once
#include "platform/gl_context.h"

#include <string>
#include <vector>

struct Options {
    bool noDialog = false;   // --no-dialog: start with the defaults and the options below
    int width = 0;           // --width N (0 = not given)
    int height = 0;          // --height N (0 = not given)
    int fullscreen = -1;     // --fullscreen 1 / --windowed 0 / -1 not given
    int vsync = -1;          // --vsync 1 / --no-vsync 0 / -1 not given
    int aa = -1;             // --aa N: antialiasing samples (0 = none), -1 not given
    int aniso = -1;          // --aniso N: anisotropy level (1 or 0 = none, 2, 4, 8 ...), -1 not given
    platform::ContextRequest gl = platform::ContextRequest::Auto;  // --gl auto|compat|core|es
    std::string output;      // --output NAME: "auto", "none" or an audio driver name; empty = not given
    bool log = false;        // --log: write Core.log
    bool stats = false;      // --stats: show the statistics at exit
    bool batch = false;      // --batch: never wait for a click; boxes go to stderr
    std::string dataPath;    // --data PATH (the archive, or a folder laid out like it);
                             // empty = look in the usual places (data_search.h)
    float loopFrom = 0.0f;   // --loop A,B: live playback repeats demo time [A, B)
    float loopTo = 0.0f;     // (0 = no loop; 0 <= A < B <= 197 when given)
    bool help = false;       // --help: print the usage and exit 0
    bool version = false;    // --version: print the version and exit 0

    // Offline rendering (the demo is rendered at fixed times instead of in real time).
    std::vector<float> shotTimes;  // --shot T1,T2,...: PNG screenshots at these demo times
    std::string outDir;            // --out DIR: where the screenshots go
    std::string capturePath;       // --capture PATH: all frames, PNG sequence or a video
    int fps = 30;                  // --fps N (capture only)
    float captureFrom = 0.0f;      // --from T (capture only)
    float captureTo = 197.0f;      // --to T (capture only)
    int crf = 18;                  // --crf N: quality of an .mp4 capture (0 best .. 51)
    int ssaa = 1;                  // --ssaa N: N x N samples per offline pixel (1 to 4)

    // True when the run renders shots or a capture instead of playing in real time.
    bool offline() const { return !shotTimes.empty() || !capturePath.empty(); }
    bool looping() const { return loopTo > loopFrom; }
};

extern Options options;

// Parses argv[1..argc) into *out (starting from a default Options). Returns 0 on
// success; 2 on an unknown option or a bad value, with a one-line reason in *error.
// --shot and --capture imply --no-dialog, --batch and (unless --fullscreen is given)
// --windowed.
int parseOptions(int argc, const char* const* argv, Options* out, std::string* error);

// The --help text (several lines, ends with a newline).
const char* usageText();
