// The demo's Core in a hidden window, for the frame benchmarks: a window of the given
// size with its context current, data.zip opened (run from build/) and the Core
// initialised with what `core.effectMaker` makes (the demo's parts unless the caller set
// another maker first). False, with a line on standard error, when a step fails.
#pragma once
#include "app/screen.h"
#include "core/core.h"
#include "platform/gl_context.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// A hidden window of the given size with its GL context current and the extensions
// linked; false, with a line on standard error, when a step fails. BENCH_GL=compat,
// core or es chooses the kind of context (as --gl does), else the program's default.
inline bool openBenchWindow(const char* title, int width, int height)
{
    platform::setBatchMode(true);
    platform::ContextRequest request = platform::ContextRequest::Auto;
    if (const char* kind = std::getenv("BENCH_GL")) {
        if (!platform::parseContextRequest(kind, &request)) {
            std::fprintf(stderr, "BENCH_GL: unknown context kind '%s'\n", kind);
            return false;
        }
    }
    platform::setContextRequest(request);
    std::string error;
    platform::WindowDesc desc;
    desc.title = title;
    desc.width = width;
    desc.height = height;
    desc.hidden = true;
    if (!platform::initVideo(&error) || !platform::createWindow(desc, &error) || !platform::linkExtensions(&error)) {
        std::fprintf(stderr, "no GL window: %s\n", error.c_str());
        return false;
    }
    return true;
}

inline bool openBenchCore(const char* title, int width, int height)
{
    if (!openBenchWindow(title, width, height)) {
        return false;
    }
    screen.width = width;
    screen.height = height;
    loader.open("data.zip");
    if (!loader.opened || core.init() != 0) {
        std::fprintf(stderr, "Core::init failed (run from build/, where data.zip is)\n");
        return false;
    }
    return true;
}
