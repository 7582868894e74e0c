// Frame time of the Blobs and StripesDOF parts at 1024 x 576 against the bare
// depth-of-field chain (clear the off-screen scene, blur, combine) in the same run, and
// the allocations each frame makes. TheHub, Phalanx, RandomGeo2 and Splines, which draw
// straight into the window, are timed as whole Core frames (clear, part, overlay,
// post-processing, flash, swap) against the same Core frame with an idle part in their
// slot. Every iteration
// ends with glFinish so the time is the driver's work, not just the submission.
// Run under Xvfb from the build folder (data.zip): xvfb-run -a bench/bench_parts
#include "app/screen.h"
#include "core/core.h"
#include "effects/blobs.h"
#include "effects/phalanx.h"
#include "effects/random_geo2.h"
#include "effects/splines.h"
#include "effects/stripes_dof.h"
#include "effects/the_hub.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "bench_core.h"
#include "counting_new.h"

#include <GL/glew.h>
#include <sys/resource.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr int width = 1024;
constexpr int height = 576;

Blobs* blobs = nullptr;
StripesDOF* stripes = nullptr;
int hubSlot = -1;
int phalanxSlot = -1;

// Draws nothing: stands in a part's slot for the bare Core frame.
class IdlePart : public Effect {
public:
    int init() override { return 0; }
    void render(float) override {}
};
IdlePart idlePart;

// The demo's Core with its real parts in a 1024 x 576 window, made once.
bool ready()
{
    static bool done = false;
    static bool ok = false;
    if (done) {
        return ok;
    }
    done = true;
    if (!openBenchCore("bench parts", width, height)) {
        return false;
    }
    core.postprocess = false;
    stripes = dynamic_cast<StripesDOF*>(core.schedule[2].effect);
    blobs = dynamic_cast<Blobs*>(core.schedule[3].effect);
    for (int i = 0; i < int(core.effectCount); ++i) {
        if (dynamic_cast<TheHub*>(core.schedule[i].effect)) {
            hubSlot = i;
        }
        if (dynamic_cast<Phalanx*>(core.schedule[i].effect)) {
            phalanxSlot = i;
        }
    }
    ok = stripes && blobs && hubSlot >= 0 && phalanxSlot >= 0;
    return ok;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Runs `frame` per iteration, reporting allocations per frame after a warm-up frame.
template <typename Frame>
void measure(benchmark::State& state, Frame frame)
{
    if (!ready()) {
        state.SkipWithError("no Core");
        return;
    }
    frame();
    glFinish();
    long before = allocations.load();
    long frames = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        frame();
        glFinish();
        ++frames;
    }
    state.counters["allocs/frame"] = frames ? double(allocations.load() - before) / double(frames) : 0.0;
    // CPU time of every thread (the rasteriser threads too): steadier than the wall
    // clock when other work shares the machine.
    state.counters["cpu_ms/frame"] = frames ? 1000.0 * (processCpuSeconds() - cpuBefore) / double(frames) : 0.0;
}

void BM_BareDofChain(benchmark::State& state)
{
    measure(state, [] {
        beginDofScene();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        runDofChain(blobs->dof);
    });
}

void BM_Blobs(benchmark::State& state)
{
    float t = 1.0f;
    measure(state, [&t] {
        blobs->render(t);
        t += 1.0f / 30.0f;
    });
}

void BM_StripesDOF(benchmark::State& state)
{
    float t = 1.0f;
    measure(state, [&t] {
        stripes->render(t);
        t += 1.0f / 30.0f;
    });
}

// Blobs without its cells: camera, environment cube and the chain.
void BM_BlobsWithoutCells(benchmark::State& state)
{
    float t = 1.0f;
    std::vector<Blob> cells;
    measure(state, [&t, &cells] {
        if (!blobs->blobs.empty()) {
            cells.swap(blobs->blobs);
        }
        blobs->render(t);
        t += 1.0f / 30.0f;
    });
    if (blobs) {
        cells.swap(blobs->blobs);
    }
}

// Whole Core frames from demo time `from` to `to` at 30 frames per second (then from
// `from` again), with `part` in the slot of the schedule (the idle part for the bare
// frame) and the post-processing chain on, as the demo runs.
void coreFrames(benchmark::State& state, int slot, Effect* part, float from, float to)
{
    if (!ready()) {
        state.SkipWithError("no Core");
        return;
    }
    Effect* shipped = core.schedule[slot].effect;
    core.schedule[slot].effect = part ? part : shipped;
    core.postprocess = true;
    float t = from;
    measure(state, [&t, from, to] {
        core.setClock(t);
        core.frame();
        t = t + 1.0f / 30.0f > to ? from : t + 1.0f / 30.0f;
    });
    core.postprocess = false;
    core.schedule[slot].effect = shipped;
}

void BM_BareFrameInHubSlot(benchmark::State& state) { coreFrames(state, hubSlot, &idlePart, 20.5f, 38.5f); }
void BM_TheHubFrame(benchmark::State& state) { coreFrames(state, hubSlot, nullptr, 20.5f, 38.5f); }
void BM_BareFrameInPhalanxSlot(benchmark::State& state) { coreFrames(state, phalanxSlot, &idlePart, 77.5f, 95.5f); }
void BM_PhalanxFrame(benchmark::State& state) { coreFrames(state, phalanxSlot, nullptr, 77.5f, 95.5f); }

// Blobs with every cell at full detail and none skipped: the cost the levels save.
void BM_BlobsFullDetail(benchmark::State& state)
{
    float t = 1.0f;
    if (blobs) {
        blobs->levelsOfDetail = false;
    }
    measure(state, [&t] {
        blobs->render(t);
        t += 1.0f / 30.0f;
    });
    if (blobs) {
        blobs->levelsOfDetail = true;
    }
}

// The whole frame of the Core (parts, fades, post-processing, flash) at demo time
// arg / 10 s, stepping 1/30 s per frame: the frame at 196 s, where no part is active, is
// the bare frame the parts are held against.
void BM_DemoFrame(benchmark::State& state)
{
    float t = float(state.range(0)) / 10.0f;
    core.postprocess = true;
    measure(state, [&t] {
        core.setClock(t);
        core.renderFrame();
        t += 1.0f / 30.0f;
    });
    core.postprocess = false;
}

// ---- RandomGeo2 and Splines: whole Core frames in each part's span against the same
// frames with the idle part in its slot, and each part's render alone. ----

constexpr int randomGeo2Slot = 5;
constexpr int splinesSlot = 6;

void BM_BareFrameInRandomGeo2Slot(benchmark::State& state) { coreFrames(state, randomGeo2Slot, &idlePart, 97.0f, 114.0f); }
void BM_RandomGeo2Frame(benchmark::State& state) { coreFrames(state, randomGeo2Slot, nullptr, 97.0f, 114.0f); }
void BM_BareFrameInSplinesSlot(benchmark::State& state) { coreFrames(state, splinesSlot, &idlePart, 116.0f, 133.0f); }
void BM_SplinesFrame(benchmark::State& state) { coreFrames(state, splinesSlot, nullptr, 116.0f, 133.0f); }

template <typename Part>
void measurePartRender(benchmark::State& state, int slot)
{
    Part* part = ready() ? dynamic_cast<Part*>(core.schedule[slot].effect) : nullptr;
    if (!part) {
        state.SkipWithError("no part");
        return;
    }
    float t = 1.0f;
    measure(state, [&t, part] {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        part->render(t);
        t += 1.0f / 30.0f;
    });
}

void BM_RandomGeo2Render(benchmark::State& state) { measurePartRender<RandomGeo2>(state, randomGeo2Slot); }
void BM_SplinesRender(benchmark::State& state) { measurePartRender<Splines>(state, splinesSlot); }

}  // namespace

BENCHMARK(BM_BareFrameInHubSlot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_TheHubFrame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareFrameInPhalanxSlot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PhalanxFrame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareDofChain)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Blobs)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BlobsWithoutCells)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_StripesDOF)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BlobsFullDetail)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareFrameInRandomGeo2Slot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RandomGeo2Frame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareFrameInSplinesSlot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SplinesFrame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RandomGeo2Render)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SplinesRender)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
// One moment of every part, then the bare frame again (the machine's load may drift).
BENCHMARK(BM_DemoFrame)
    ->ArgName("t10")
    ->Arg(1960)->Arg(50)->Arg(300)->Arg(450)->Arg(650)->Arg(850)->Arg(1050)->Arg(1250)->Arg(1450)->Arg(1650)
    ->Arg(1800)->Arg(1900)->Arg(1960)
    ->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
