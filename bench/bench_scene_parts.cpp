// The scene parts in the Core at 1024 x 576 (a 1024 x 768 window) on the machine's GL,
// whole frames (post-processing and flash included, glFinish per frame):
//   BM_BareFrame   a frame with no part on the schedule active (100 s)
//   BM_Scene01     wizard.xml alone (10 s, between its fade-in and its cross-fade)
//   BM_Scene02     cosiki2.xml alone (143 s), and once more without its companions
// each a median of five runs, with the allocations per frame; and
//   BM_LoadScenes  what the two scenes add to the start-up: loadScene of both files
//                  (read, parse, check, upload, textures, effect files) and release.
// Only the two scene parts are made, so the schedule's other slots draw nothing.
// Run from build/ (data.zip): xvfb-run -a -s "-screen 0 1280x1024x24" bench/bench_scene_parts
#include "app/screen.h"
#include "core/core.h"
#include "effects/scene_playback.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "scene/scene_loader.h"
#include "scene/scene_renderer.h"
#include "counting_new.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

Effect* sceneParts(int slot)
{
    if (slot == 0) {
        return new Scene01;
    }
    if (slot == 7) {
        return new Scene02;
    }
    return nullptr;
}

bool ready()
{
    static int state = 0;
    if (state == 0) {
        platform::setBatchMode(true);
        std::string error;
        platform::WindowDesc desc;
        desc.title = "bench scene parts";
        desc.width = 1024;
        desc.height = 768;
        desc.hidden = true;
        state = 2;
        if (platform::initVideo(&error) && platform::createWindow(desc, &error) && platform::linkExtensions(&error)) {
            screen.width = desc.width;
            screen.height = desc.height;
            loader.open("data.zip");
            core.effectMaker = sceneParts;
            state = loader.opened && core.init() == 0 ? 1 : 2;
        }
        if (state != 1) {
            std::fprintf(stderr, "no Core: %s (run from build/, where data.zip is)\n", error.c_str());
        }
    }
    return state == 1;
}

void frames(benchmark::State& state, float start)
{
    if (!ready()) {
        state.SkipWithError("no Core");
        return;
    }
    float t = start;
    for (int i = 0; i < 5; ++i) {
        core.setClock(t += 1.0f / 30.0f);
        core.frame();
    }
    glFinish();
    const long before = allocations.load();
    long count = 0;
    for (auto _ : state) {
        core.setClock(t += 1.0f / 30.0f);
        core.frame();
        glFinish();
        ++count;
    }
    state.counters["allocs/frame"] = count ? double(allocations.load() - before) / double(count) : 0.0;
}

void BM_BareFrame(benchmark::State& state) { frames(state, 100.0f); }
void BM_Scene01(benchmark::State& state) { frames(state, 10.0f); }
void BM_Scene02(benchmark::State& state) { frames(state, 143.0f); }
// The same frames with nothing drawn at the companion placeholders.
void BM_Scene02WithoutCompanions(benchmark::State& state)
{
    const SceneRenderer::Companion companion = sceneRenderer.companion;
    sceneRenderer.companion = nullptr;
    frames(state, 143.0f);
    sceneRenderer.companion = companion;
}

void BM_LoadScenes(benchmark::State& state)
{
    if (!ready()) {
        state.SkipWithError("no Core");
        return;
    }
    for (auto _ : state) {
        for (const char* file : {"wizard.xml", "cosiki2.xml"}) {
            std::unique_ptr<Tessary> scene;
            if (loadScene(file, loader, scene) != 0) {
                state.SkipWithError("loadScene failed");
                return;
            }
            releaseScene(*scene);
        }
        glFinish();
    }
}

}  // namespace

BENCHMARK(BM_BareFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Scene01)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Scene02)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Scene02WithoutCompanions)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadScenes)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
