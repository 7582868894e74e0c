// Frame cost of every part against the bare frame, and of the depth-of-field parts' own
// work. Each part is timed as whole Core frames (parts, overlay, fades, post-processing,
// flash) over its span at 30 frames per second, alternating frame by frame with the bare
// frame at the same moment (every part replaced by an idle one): the machine's speed
// drifts by up to half over a run here, and alternating lets the drift touch both alike.
// Reported: the medians of both and their ratio (the budget is 2), allocations per
// frame, and the medians of the CPU time of the submitting thread (the driver's vertex
// work and binning) and of all other threads (its rasterisers) per frame. Blobs and StripesDOF are also timed alone against the bare depth-of-field chain.
// Every frame ends with glFinish so the time is the driver's work, not the submission.
// Run under Xvfb from the build folder (data.zip): xvfb-run -a bench/bench_parts
#include "app/screen.h"
#include "core/core.h"
#include "effects/blobs.h"
#include "effects/random_geo2.h"
#include "effects/splines.h"
#include "effects/stripes_dof.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "bench_core.h"
#include "counting_new.h"

#include <epoxy/gl.h>
#include <sys/resource.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr int width = 1024;
constexpr int height = 576;

Blobs* blobs = nullptr;
StripesDOF* stripes = nullptr;

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
    ok = stripes && blobs;
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

double elapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

double threadCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return 1e3 * double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-3 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// CPU time of this (the submitting) thread and of the whole process in the last
// coreFrameMs call: the driver's vertex work and binning run on the submitting
// thread, its rasterisers on their own.
double lastMainCpuMs = 0.0;
double lastProcessCpuMs = 0.0;

// One whole Core frame at demo time t as the program presents it (with the buffer swap,
// like bench_frame's bare frame), timed to the end of the driver's work.
double coreFrameMs(float t)
{
    const double mainBefore = threadCpuMs();
    const double processBefore = 1e3 * processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    core.setClock(t);
    core.frame();
    glFinish();
    const double wall = elapsedMs(start);
    lastMainCpuMs = threadCpuMs() - mainBefore;
    lastProcessCpuMs = 1e3 * processCpuSeconds() - processBefore;
    return wall;
}

double median(std::vector<double>& values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Whole Core frames from demo time `from` to `to` every 0.1 s (then from `from` again),
// each followed by the bare frame at the same moment.
void partAgainstBare(benchmark::State& state, float from, float to)
{
    if (!ready()) {
        state.SkipWithError("no Core");
        return;
    }
    Effect* shipped[demoSlotCount] = {};
    for (unsigned i = 0; i < core.effectCount; ++i) {
        shipped[i] = core.schedule[i].effect;
    }
    auto setParts = [&shipped](bool idle) {
        for (unsigned i = 0; i < core.effectCount; ++i) {
            core.schedule[i].effect = idle ? &idlePart : shipped[i];
        }
    };
    core.postprocess = true;
    // A first pass over the span with and without the parts: the driver compiles its
    // shader variants (and allocates) on first use.
    for (float t = from; t <= to; t += 1.0f) {
        coreFrameMs(t);
        setParts(true);
        coreFrameMs(t);
        setParts(false);
    }
    // Back to the parts' first eyes, as the capture does when it enters a span: after
    // the warm-up (and each time the span starts over) time has gone backwards, and a
    // camera that holds its eye until time passes its last cut again would freeze.
    auto restartParts = [&shipped] {
        for (unsigned i = 0; i < core.effectCount; ++i) {
            shipped[i]->restart();
        }
    };
    restartParts();
    std::vector<double> partMs, bareMs, partMain, bareMain, partRaster, bareRaster;
    for (auto* v : {&partMs, &bareMs, &partMain, &bareMain, &partRaster, &bareRaster}) {
        v->reserve(1 << 16);
    }
    const long before = allocations.load();
    float t = from;
    for (auto _ : state) {
        const double part = coreFrameMs(t);
        const double partMainMs = lastMainCpuMs, partRasterMs = lastProcessCpuMs - lastMainCpuMs;
        setParts(true);
        const double bare = coreFrameMs(t);
        setParts(false);
        if (partMs.size() < partMs.capacity()) {
            partMs.push_back(part);
            bareMs.push_back(bare);
            partMain.push_back(partMainMs);
            partRaster.push_back(partRasterMs);
            bareMain.push_back(lastMainCpuMs);
            bareRaster.push_back(lastProcessCpuMs - lastMainCpuMs);
        }
        t += 0.1f;
        if (t > to) {
            t = from;
            restartParts();
        }
    }
    const long frames = long(partMs.size());
    state.counters["allocs/frame"] = frames ? double(allocations.load() - before) / double(frames) : 0.0;
    const double part = median(partMs);
    const double bare = median(bareMs);
    state.counters["part_ms"] = part;
    state.counters["bare_ms"] = bare;
    state.counters["x_bare"] = bare > 0.0 ? part / bare : 0.0;
    // Medians of the submitting thread's CPU time and of all other threads' (rasterisers).
    state.counters["part_main"] = median(partMain);
    state.counters["bare_main"] = median(bareMain);
    state.counters["part_rast"] = median(partRaster);
    state.counters["bare_rast"] = median(bareRaster);
    core.postprocess = false;
}

// Every part's span, clear of the fades at its ends; Vantel carries the names from 173 s
// and cross-fades into the credits from 188 s.
struct Span {
    const char* name;
    float from, to;
};
const Span spans[] = {{"Scene01", 2.0f, 17.5f},   {"TheHub", 20.5f, 38.0f},     {"StripesDOF", 40.0f, 56.5f},
                      {"Blobs", 59.5f, 76.0f},    {"Phalanx", 78.0f, 95.0f},    {"RandomGeo2", 97.0f, 114.0f},
                      {"Splines", 116.0f, 133.4f}, {"Scene02", 134.5f, 153.0f}, {"Vantel", 153.0f, 172.5f},
                      {"Vantel+Greetings", 173.5f, 187.5f}, {"Credits", 188.0f, 193.0f}};

void BM_PartFrame(benchmark::State& state)
{
    const Span& span = spans[state.range(0)];
    state.SetLabel(span.name);
    partAgainstBare(state, span.from, span.to);
}

constexpr int randomGeo2Slot = 5;
constexpr int splinesSlot = 6;

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

BENCHMARK(BM_PartFrame)->DenseRange(0, int(sizeof spans / sizeof spans[0]) - 1)->Unit(benchmark::kMillisecond)
    ->Iterations(200);
BENCHMARK(BM_BareDofChain)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Blobs)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BlobsWithoutCells)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BlobsFullDetail)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_StripesDOF)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RandomGeo2Render)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SplinesRender)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
