#include "base/options.h"

#include "build_config.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

Options options;

namespace {

bool parseInt(const std::string& text, int low, int high, int* value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = int(v);
    return true;
}

bool parseTime(const std::string& text, float* value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0.0f) {
        return false;
    }
    *value = v;
    return true;
}

bool parseTimeList(const std::string& text, std::vector<float>* times)
{
    times->clear();
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t comma = text.find(',', begin);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        float t = 0.0f;
        if (!parseTime(text.substr(begin, comma - begin), &t)) {
            return false;
        }
        times->push_back(t);
        begin = comma + 1;
    }
    return !times->empty();
}

// "A,B" with 0 <= A < B <= the demo's length.
bool parseLoop(const std::string& text, float* from, float* to)
{
    std::vector<float> times;
    if (!parseTimeList(text, &times) || times.size() != 2 || !(times[0] < times[1]) || times[1] > 197.0f) {
        return false;
    }
    *from = times[0];
    *to = times[1];
    return true;
}

}  // namespace

const char* usageText()
{
    return "usage: coredemo [options]\n"
           "Without options the settings dialog comes first.\n"
           "  --no-dialog        start at once with the defaults and the options below\n"
           "  --width N          horizontal resolution (default 1024)\n"
           "  --height N         vertical resolution (default 768)\n"
           "  --fullscreen       full screen (the default)\n"
           "  --windowed         in a window\n"
           "  --vsync            wait for vertical sync (the default)\n"
           "  --no-vsync         do not wait for vertical sync\n"
           "  --aa N             antialiasing samples, 0 = none (default 0)\n"
           "  --aniso N          anisotropic filtering level 1, 2, 4, 8, ... (default 1 = none)\n"
           "  --gl KIND          OpenGL context: auto (default), compat, core or es\n"
           "  --output NAME      sound output: auto, none or an audio driver name (default auto)\n"
           "  --log              write Core.log in the working directory\n"
           "  --stats            show the average frame rate at exit\n"
           "  --batch            never wait for a click: messages go to standard error\n"
           "  --data PATH        data archive (default: the first data.zip in the working\n"
           "                     folder, $XDG_DATA_HOME/coredemo, each $XDG_DATA_DIRS/coredemo,\n"
           "                     else " CORE_INSTALLED_DATA_FILE "), or a folder unpacked from\n"
           "                     it: changed files are loaded again while the demo plays\n"
           "  --loop A,B         play from A to B seconds over and over (0 <= A < B <= 197)\n"
           "  --shot T1,T2,...   render the demo at these times into PNG files and exit\n"
           "  --out DIR          folder for --shot pictures (default .)\n"
           "  --capture PATH     render every frame offline into PATH: a folder of PNG frames,\n"
           "                     or a video when PATH ends in .mp4 or .mkv\n"
           "  --fps N            capture frame rate (default 30)\n"
           "  --from T, --to T   captured span in seconds (default 0 to 197)\n"
           "  --crf N            quality of an .mp4 capture, 0 (best) to 51 (default 18)\n"
           "  --ssaa N           offline pictures from N x N samples a pixel, 1 to 4 (default 1)\n"
           "  --help             this text\n"
           "  --version          the program version\n";
}

int parseOptions(int argc, const char* const* argv, Options* out, std::string* error)
{
    Options o;
    auto fail = [&](const std::string& why) {
        if (error) {
            *error = "coredemo: " + why + " (try --help)";
        }
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string value;
        bool hasValue = false;
        // Both "--width 800" and "--width=800" are accepted.
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= argc || !argv[i + 1]) {
                return false;
            }
            value = argv[++i];
            hasValue = true;
            return true;
        };
        auto flag = [&](bool* field) {
            *field = true;
        };
        const bool takesValue = arg == "--width" || arg == "--height" || arg == "--aa" || arg == "--aniso" ||
                                arg == "--output" || arg == "--data" || arg == "--shot" || arg == "--out" ||
                                arg == "--capture" || arg == "--fps" || arg == "--from" || arg == "--to" ||
                                arg == "--loop" || arg == "--crf" || arg == "--ssaa" || arg == "--gl";
        if (hasValue && !takesValue) {
            return fail("option '" + arg + "' takes no value");
        }
        if (takesValue && !takeValue()) {
            return fail("option '" + arg + "' needs a value");
        }
        auto bad = [&]() { return fail("bad value '" + value + "' for " + arg); };

        if (arg == "--no-dialog") {
            flag(&o.noDialog);
        } else if (arg == "--width") {
            if (!parseInt(value, 1, 16384, &o.width)) return bad();
        } else if (arg == "--height") {
            if (!parseInt(value, 1, 16384, &o.height)) return bad();
        } else if (arg == "--windowed") {
            o.fullscreen = 0;
        } else if (arg == "--fullscreen") {
            o.fullscreen = 1;
        } else if (arg == "--vsync") {
            o.vsync = 1;
        } else if (arg == "--no-vsync") {
            o.vsync = 0;
        } else if (arg == "--aa") {
            if (!parseInt(value, 0, 64, &o.aa)) return bad();
        } else if (arg == "--aniso") {
            if (!parseInt(value, 0, 1024, &o.aniso)) return bad();
        } else if (arg == "--gl") {
            if (!platform::parseContextRequest(value, &o.gl)) return bad();
        } else if (arg == "--output") {
            if (value.empty()) return bad();
            o.output = value;
        } else if (arg == "--log") {
            flag(&o.log);
        } else if (arg == "--stats") {
            flag(&o.stats);
        } else if (arg == "--batch") {
            flag(&o.batch);
        } else if (arg == "--data") {
            if (value.empty()) return bad();
            o.dataPath = value;
        } else if (arg == "--loop") {
            if (!parseLoop(value, &o.loopFrom, &o.loopTo)) return bad();
        } else if (arg == "--help" || arg == "-h") {
            flag(&o.help);
        } else if (arg == "--version") {
            flag(&o.version);
        } else if (arg == "--shot") {
            if (!parseTimeList(value, &o.shotTimes)) return bad();
        } else if (arg == "--out") {
            if (value.empty()) return bad();
            o.outDir = value;
        } else if (arg == "--capture") {
            if (value.empty()) return bad();
            o.capturePath = value;
        } else if (arg == "--fps") {
            if (!parseInt(value, 1, 1000, &o.fps)) return bad();
        } else if (arg == "--from") {
            if (!parseTime(value, &o.captureFrom)) return bad();
        } else if (arg == "--to") {
            if (!parseTime(value, &o.captureTo)) return bad();
        } else if (arg == "--crf") {
            if (!parseInt(value, 0, 51, &o.crf)) return bad();
        } else if (arg == "--ssaa") {
            if (!parseInt(value, 1, 4, &o.ssaa)) return bad();
        } else {
            return fail("unknown option '" + arg + "'");
        }
    }
    if (o.captureTo < o.captureFrom) {
        return fail("--to must not be before --from");
    }
    if (o.offline() && o.looping()) {
        return fail("--loop plays live: it does not go with --shot or --capture");
    }
    if (o.offline()) {
        o.noDialog = true;
        o.batch = true;
        // Offline pictures need no display mode of their own.
        if (o.fullscreen < 0) {
            o.fullscreen = 0;
        }
        if (!o.shotTimes.empty() && o.outDir.empty()) {
            o.outDir = ".";
        }
    }
    *out = o;
    return 0;
}
