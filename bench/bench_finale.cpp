// Frame time of the finale against the bare frame, all whole Core frames (parts, fades,
// cross-fade, post-processing, flash, swap) in one 1024 x 576 window of the same run:
//   - BareFrame: demo time 196 s, when no part is active;
//   - Vantel: 160-170 s, the sculpture, its satellites and the environment alone;
//   - VantelGreetings: 176-186 s, with the 27 names over it;
//   - Finale: 188.5-192.5 s, Vantel, Greetings and Credits in the cross-fade;
// each with the operator-new allocations per frame (must be 0). Every iteration ends
// with glFinish, so the time is the driver's work, not just the submission.
// Run from build/ (data.zip): xvfb-run -a bench/bench_finale
#include "app/screen.h"
#include "core/core.h"
#include "platform/platform.h"
#include "resources/loader.h"
#include "bench_core.h"
#include "counting_new.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {

constexpr int width = 1024;
constexpr int height = 576;

bool ready()
{
    static bool done = false;
    static bool ok = false;
    if (done) {
        return ok;
    }
    done = true;
    if (!openBenchCore("bench finale", width, height)) {
        return false;
    }
    ok = true;
    return true;
}

// Whole frames stepping through [from, to) at 30 frames per second, round and round.
void measure(benchmark::State& state, float from, float to)
{
    if (!ready()) {
        state.SkipWithError("no Core");
        return;
    }
    float t = from;
    auto frame = [&t, from, to] {
        core.setClock(t);
        core.frame();
        glFinish();
        t += 1.0f / 30.0f;
        if (t >= to) {
            t = from;
        }
    };
    frame();
    long before = allocations.load();
    long frames = 0;
    for (auto _ : state) {
        frame();
        ++frames;
    }
    state.counters["allocs/frame"] = frames ? double(allocations.load() - before) / double(frames) : 0.0;
}

void BM_BareFrame(benchmark::State& state) { measure(state, 196.0f, 196.9f); }
void BM_Vantel(benchmark::State& state) { measure(state, 160.0f, 170.0f); }
void BM_VantelGreetings(benchmark::State& state) { measure(state, 176.0f, 186.0f); }
void BM_Finale(benchmark::State& state) { measure(state, 188.5f, 192.5f); }

}  // namespace

BENCHMARK(BM_BareFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Vantel)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_VantelGreetings)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Finale)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
