#include "app/app.h"

#include "app/data_search.h"
#include "app/screen.h"
#include "app/settings_dialog.h"
#include "audio/sound.h"
#include "base/log.h"
#include "base/options.h"
#include "core/core.h"
#include "core/offline.h"
#include "core/supersample.h"
#include "fx/fx.h"
#include "platform/outline_font.h"
#include "resources/loader.h"
#include "resources/picture.h"
#include "resources/reload.h"
#include "tweak/tweak.h"

#include "build_config.h"

#include <cmath>
#include <cstdio>
#include <sstream>

// (The window needs no common-controls set-up when it is created: SDL draws no
// system controls.)
void handleEvent(const platform::Event& event)
{
    if (tweak::handleEvent(event)) {
        return;
    }
    if (event.kind == platform::Event::Close) {
        platform::postQuit(0);
    } else if ((event.kind == platform::Event::KeyDown || event.kind == platform::Event::Text) && event.key == 27) {
        platform::postQuit(0);
    }
}

std::string statisticsText(uint32_t frames, float time)
{
    double fps = time > 0.0f ? double(frames) / double(time) : 0.0;
    std::ostringstream text;
    text << "Average framerate: " << fps << " FPS.\n\nThank you for watching!" << "\n";
    return text.str().substr(0, 63);
}

void showStatistics()
{
    platform::messageBox("Stats", statisticsText(core.frames, core.time), platform::MessageIcon::Information);
}

namespace {

// Checks what the command line asks for before anything starts; -1 to go on,
// otherwise the exit code.
int handleCommandLine(int argc, char** argv)
{
    std::string error;
    if (parseOptions(argc, argv, &options, &error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("coredemo %s\n", CORE_VERSION);
        return 0;
    }
    // "auto" and "none" need no driver list; a driver's name is checked against it.
    if (!options.output.empty() && outputTypeForName({}, options.output) < 0) {
        std::vector<OutputMethod> outputs;
        Sound::getOutputMethods(outputs);
        if (outputTypeForName(outputs, options.output) < 0) {
            std::string names = "auto, none";
            for (const OutputMethod& row : outputs) {
                if (row.outputType != outputAutodetect && row.outputType != outputNoSound) {
                    names += ", " + row.text;
                }
            }
            std::fprintf(stderr, "coredemo: unknown output '%s' (one of: %s)\n", options.output.c_str(),
                         names.c_str());
            return 2;
        }
    }
    platform::setBatchMode(options.batch);
    return -1;
}

// Tells the person who started the program which archive entries could not be used and
// why (and which were used despite a defect), on standard error whatever the log and the
// dialog settings; false when no entry failed.
bool printLoadFailures(const char* consequence)
{
    size_t failures = 0;
    for (const std::string& line : takeLoadFailures(consequence, &failures)) {
        std::fprintf(stderr, "coredemo: %s\n", line.c_str());
    }
    std::fflush(stderr);
    return failures > 0;
}

// The archive --data names, else the first of the usual places that holds one
// (data_search.h). When none does, the places go to standard error and the open fails
// with the archive's own message.
void openDataArchive()
{
    if (!options.dataPath.empty()) {
        loader.open(options.dataPath.c_str());
        return;
    }
    const DataSearch search = findDataFile(platform::environmentVariable, installedDataFile(), platform::isReadableFile);
    if (search.found.empty()) {
        std::fprintf(stderr, "coredemo: %s is in none of these places (--data PATH names another):\n", dataFileName);
        for (const std::string& place : search.candidates) {
            std::fprintf(stderr, "  %s\n", place.c_str());
        }
        std::fflush(stderr);
    }
    loader.open(search.found.empty() ? search.candidates.front().c_str() : search.found.c_str());
}

// Where faces cannot be found on the system (the browser), the archive's font files
// stand in (fonts/).
void handOverFonts()
{
    if (!platform::fontFilesNeeded()) {
        return;
    }
    std::vector<char> bytes;
    for (const std::string& name : loader.entryNames("fonts/")) {
        if (loader.readQuietly(name.c_str(), bytes) && !bytes.empty()) {
            platform::addFontFile(std::move(bytes));
        }
    }
}

// Live playback from a data folder watches it for edits; --loop repeats its span.
// (Offline output stays a function of the data at start-up: neither applies there.)
void startAuthoring()
{
    if (!loader.folder().empty()) {
        if (reload::start(loader)) {
            std::fprintf(stderr, "coredemo: watching %s for changes\n", loader.folder().c_str());
            std::fflush(stderr);
            tweak::setNotice(&reload::problems());
            if (sound.loaded) {
                reload::noteCustom(Sound::musicPath, [](Loader&, const std::vector<char>& bytes) {
                    return sound.reloadMusic(bytes, unsigned(std::lround(double(core.time) * 1000.0)));
                });
            }
        } else {
            std::fprintf(stderr, "coredemo: cannot watch %s for changes\n", loader.folder().c_str());
        }
    }
    if (options.looping()) {
        core.loopSpan(options.loopFrom, options.loopTo);
    }
}

bool gStarting = false;  // the main loop's turns run the Core's start-up

// What follows the Core's start-up (`result` as Core::init's): on failure the quit
// request; else the offline pictures, or the live run's authoring aids.
void afterStartUp(int result)
{
    if (result != 0) {
        if (!printLoadFailures("")) {
            std::fprintf(stderr, "coredemo: start-up failed (--log writes the details to Core.log)\n");
        }
        platform::postQuit(1);
        return;
    }
    // What failed without stopping the start-up (the scene companion's content).
    printLoadFailures("; going on without it");
    platform::noteStartUpDone();
    if (options.offline()) {
        platform::postQuit(runOffline());
    } else {
        startAuthoring();
    }
}

// The start-up: -1 when the main loop is to run, otherwise the exit code.
int startApplication(int argc, char** argv)
{
    int early = handleCommandLine(argc, argv);
    if (early >= 0) {
        return early;
    }
    openDataArchive();
    if (!loader.opened) {
        return 1;
    }
    handOverFonts();
    if (screen.init(1) != 0) {
        return 1;
    }
    // A supersampled frame the GL cannot hold is refused before anything loads.
    if (options.offline() && prepareSupersampling(options.ssaa) != 0) {
        screen.close();
        return 2;
    }
    if (sound.init() != 0) {
        printLoadFailures("; playing without music");
    }
    initPictureDecoder();
    // Where the main loop must hand each frame back to the system (the browser), the
    // loop's turns run the start-up, so that the loading bar is seen.
    if (platform::mainLoopYields() && !options.offline()) {
        gStarting = true;
        return -1;
    }
    afterStartUp(core.init());
    return -1;
}

// One turn of the main loop: a step of the start-up while it runs; then the waiting
// events, then a frame unless the quit request came. False once the quit request is
// posted.
bool applicationStep()
{
    if (gStarting) {
        bool idle = false;
        const int result = core.initStep(&idle);
        if (result == Core::initBusy) {
            return true;
        }
        gStarting = false;
        afterStartUp(result);
        return !platform::quitRequested(nullptr);
    }
    platform::Event event;
    while (!platform::quitRequested(nullptr) && platform::pollEvent(&event)) {
        handleEvent(event);
    }
    if (platform::quitRequested(nullptr)) {
        return false;
    }
    core.frame();
    return true;
}

int finishApplication()
{
    int exitCode = 0;
    platform::quitRequested(&exitCode);
    if (sound.loaded) {
        sound.stop();
    }
    tweak::terminate();
    // GPU objects go while their context is still current, not at static destruction.
    core.release();
    fx::releaseSharedContext();
    screen.close();
    return exitCode;
}

}  // namespace

int runApplication(int argc, char** argv)
{
    const int early = startApplication(argc, argv);
    if (early >= 0) {
        return early;
    }
    // Events first, then a frame. The quit request ends the loop before another frame
    // starts.
    return platform::runMainLoop(applicationStep, finishApplication);
}
