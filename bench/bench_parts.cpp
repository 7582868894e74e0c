// Frame time of the Blobs and StripesDOF parts at 1024 x 576 against the bare
// depth-of-field chain (clear the off-screen scene, blur, combine) in the same run, and
// the allocations each frame makes. Every iteration ends with glFinish so the time is
// the driver's work, not just the submission.
// Run under Xvfb from the build folder (data.zip): xvfb-run -a bench/bench_parts
#include "app/screen.h"
#include "core/core.h"
#include "effects/blobs.h"
#include "effects/stripes_dof.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::atomic<long> allocations{0};

}  // namespace

// GCC takes the replaced operators for a mismatched pair when it inlines them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int width = 1024;
constexpr int height = 576;

Blobs* blobs = nullptr;
StripesDOF* stripes = nullptr;

// The demo's Core with its real parts in a 1024 x 576 window, made once.
bool ready()
{
    static bool done = false;
    static bool ok = false;
    if (done) {
        return ok;
    }
    done = true;
    platform::setBatchMode(true);
    std::string error;
    platform::WindowDesc desc;
    desc.title = "bench parts";
    desc.width = width;
    desc.height = height;
    desc.hidden = true;
    if (!platform::initVideo(&error) || !platform::createWindow(desc, &error) || !platform::linkExtensions(&error)) {
        std::fprintf(stderr, "no GL context: %s\n", error.c_str());
        return false;
    }
    screen.width = width;
    screen.height = height;
    loader.open("data.zip");
    if (!loader.opened || core.init() != 0) {
        std::fprintf(stderr, "Core::init failed (run from the build folder)\n");
        return false;
    }
    core.postprocess = false;
    stripes = dynamic_cast<StripesDOF*>(core.schedule[2].effect);
    blobs = dynamic_cast<Blobs*>(core.schedule[3].effect);
    ok = stripes && blobs;
    return ok;
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
    for (auto _ : state) {
        frame();
        glFinish();
        ++frames;
    }
    state.counters["allocs/frame"] = frames ? double(allocations.load() - before) / double(frames) : 0.0;
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

}  // namespace

BENCHMARK(BM_BareDofChain)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Blobs)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BlobsWithoutCells)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_StripesDOF)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
