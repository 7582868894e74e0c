#include "app/app.h"

#include "app/log.h"
#include "app/screen.h"
#include "audio/sound.h"
#include "core/core.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <IL/il.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void handleEvent(const platform::Event& event)
{
    if (event.kind == platform::Event::Close) {
        platform::postQuit(0);
    } else if ((event.kind == platform::Event::KeyDown || event.kind == platform::Event::Text) && event.key == 27) {
        platform::postQuit(0);
    }
}

}  // namespace

int runApplication(int argc, char** argv)
{
    std::string dataPath = "data.zip";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--batch") == 0) {
            platform::setBatchMode(true);
        } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
            dataPath = argv[++i];
        } else if (std::strcmp(argv[i], "--no-dialog") == 0) {
        } else {
            std::fprintf(stderr, "coredemo: unknown option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }
    loader.open(dataPath.c_str());
    if (!loader.opened) {
        return 1;
    }
    if (screen.init(1) != 0) {
        return 1;
    }
    sound.init();
    ilInit();
    if (core.init() != 0) {
        platform::postQuit(1);
    }
    int exitCode = 0;
    while (!platform::quitRequested(&exitCode)) {
        platform::Event event;
        if (platform::pollEvent(&event)) {
            handleEvent(event);
        } else {
            core.frame();
        }
    }
    if (sound.loaded) {
        sound.stop();
    }
    screen.close();
    return exitCode;
}
