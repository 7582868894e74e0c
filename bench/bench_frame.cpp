// Frame benchmarks of the Core under the machine's GL (llvmpipe under Xvfb here):
//   - BareFrame: one Core frame with no part active (clear, post-processing chain,
//     flash, swap) in a 1024 x 768 window, i.e. a 1024 x 576 band;
//   - the heap allocations per frame in steady state, counted by replacing the global
//     operator new (our code: must be 0) and malloc, calloc and realloc (everything,
//     the GL driver too; tests/counting_new.h);
//   - StartUp: the shipped program from exec to its first frame written (--shot 0: the
//     picture file's time stamp), which includes the loading bar's two specified
//     one-second fades; the exit after it is reported apart.
// Run from build/ (data.zip): xvfb-run -a -s "-screen 0 1280x1024x24" bench/bench_frame
#include "app/screen.h"
#include "bench_core.h"
#include "counting_new.h"
#include "core/core.h"
#include "effects/effect.h"
#include "platform/platform.h"
#include "render/draw.h"
#include "resources/loader.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <functional>
#include <string>
#include <vector>

namespace {

bool ready = false;

Effect* noPart(int) { return nullptr; }

bool setUp()
{
    if (ready) {
        return true;
    }
    core.effectMaker = noPart;
    if (!openBenchCore("bench", 1024, 768)) {
        return false;
    }
    ready = true;
    return true;
}

void frameAt(float t)
{
    core.setClock(t);
    core.frame();
}

void BareFrame(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no GL");
        return;
    }
    float t = 100.0f;
    for (int i = 0; i < 20; ++i) {
        frameAt(t += 0.02f);
    }
    glFinish();
    for (auto _ : state) {
        frameAt(t += 0.02f);
        glFinish();
    }
    state.counters["band_pixels"] = double(screen.viewportWidth) * screen.viewportHeight;
}
BENCHMARK(BareFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Where the bare frame's time goes: each step of the Core's chain alone, ended with
// glFinish, at the 1024 x 576 band (medians over the iterations, in ms), and the ways
// of reading a finished frame back.
void FrameStages(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no GL");
        return;
    }
    frameAt(100.0f);
    glFinish();
    const int w = screen.viewportWidth, h = screen.viewportHeight;
    std::vector<uint8_t> pixels(size_t(w) * size_t(h) * 4);
    struct Stage {
        const char* name;
        std::function<void()> run;
        std::vector<double> ms;
    };
    std::vector<Stage> stages = {
        {"clear", [] { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }, {}},
        {"copy",
         [] {
             glBindTexture(GL_TEXTURE_2D, core.sceneCopy.colorTexture);
             glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, core.viewportX, core.viewportY, core.sceneCopy.width,
                                 core.sceneCopy.height);
         },
         {}},
        {"mixer",
         [] {
             setShaderSampler(core.mixerShader, "sampA", core.fadeOutCopy.colorTexture);
             setShaderSampler(core.mixerShader, "sampB", core.fadeInCopy.colorTexture);
             runQuadPass(core.mixerShader, core.quadMesh);
         },
         {}},
        {"bright",
         [] {
             GLint viewport[4];
             glGetIntegerv(GL_VIEWPORT, viewport);
             bindRenderTarget(core.bloomA);
             glViewport(0, 0, core.bloomA.width, core.bloomA.height);
             setShaderSampler(core.brightPassShader, "RT", core.sceneCopy.colorTexture);
             runQuadPass(core.brightPassShader, core.quadMesh);
             glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
             glBindFramebuffer(GL_FRAMEBUFFER, 0);
         },
         {}},
        {"blur",
         [] {
             GLint viewport[4];
             glGetIntegerv(GL_VIEWPORT, viewport);
             blurTargets(core.bloomA, core.bloomB, core.blurVShader, core.blurHShader, "Blur0", core.quadMesh);
             glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
         },
         {}},
        {"final",
         [] {
             setShaderSampler(core.finalShader, "RT", core.sceneCopy.colorTexture);
             setShaderSampler(core.finalShader, "Blur1", core.bloomA.colorTexture);
             runQuadPass(core.finalShader, core.quadMesh);
         },
         {}},
        {"flash", [] { core.fade(fadeToWhite, 0.2f); }, {}},
        {"swap", [] { platform::swapBuffers(); }, {}},
        {"read_rgb", [&] { glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data()); }, {}},
        {"read_rgba", [&] { glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()); }, {}},
        {"read_bgra", [&] { glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data()); }, {}},
    };
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (auto _ : state) {
        for (Stage& stage : stages) {
            const auto start = std::chrono::steady_clock::now();
            stage.run();
            glFinish();
            stage.ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    for (Stage& stage : stages) {
        std::nth_element(stage.ms.begin(), stage.ms.begin() + long(stage.ms.size() / 2), stage.ms.end());
        state.counters[stage.name] = stage.ms[stage.ms.size() / 2];
    }
}
BENCHMARK(FrameStages)->Unit(benchmark::kMillisecond)->Iterations(100);

void AllocationsPerFrame(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no GL");
        return;
    }
    float t = 150.0f;
    for (int i = 0; i < 50; ++i) {
        frameAt(t += 0.02f);
    }
    glFinish();
    uint64_t frames = 0;
    const long news = allocations.load();
    const long mallocs = heapCalls.load();
    for (auto _ : state) {
        frameAt(t += 0.02f);
        ++frames;
    }
    glFinish();
    state.counters["new_per_frame"] = double(allocations.load() - news) / double(frames);
    state.counters["malloc_per_frame"] = double(heapCalls.load() - mallocs) / double(frames);
}
BENCHMARK(AllocationsPerFrame)->Unit(benchmark::kMillisecond)->Iterations(200);

void StartUp(benchmark::State& state)
{
    const std::string out = "/tmp/core-bench-startup";
    const std::string shot = out + "/shot-0.png";
    const std::string command = "./coredemo --shot 0 --out " + out + " >/dev/null 2>&1";
    double total = 0.0, teardown = 0.0;
    for (auto _ : state) {
        std::remove(shot.c_str());
        // The file's time stamp is wall-clock time: so is the launch's.
        const auto launch = std::chrono::system_clock::now();
        const int status = std::system(command.c_str());
        const auto end = std::chrono::system_clock::now();
        struct stat written {};
        if (status != 0 || stat(shot.c_str(), &written) != 0) {
            state.SkipWithError("coredemo --shot 0 failed");
            return;
        }
        const auto firstFrame = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(written.st_mtim.tv_sec) + std::chrono::nanoseconds(written.st_mtim.tv_nsec)));
        const double seconds = std::chrono::duration<double>(firstFrame - launch).count();
        state.SetIterationTime(seconds);
        total += seconds;
        teardown += std::chrono::duration<double>(end - firstFrame).count();
    }
    // The loading bar's fade-in and fade-out last one second each by design: what the
    // program itself spends (loading, compiling, the first frame) is the rest. The time
    // from the frame on disk to the process's end (releasing everything) is reported
    // apart: it is not part of starting.
    if (state.iterations() > 0) {
        const double n = double(state.iterations());
        state.counters["beyond_fades_ms"] = 1000.0 * (total / n - 2.0);
        state.counters["exit_ms"] = 1000.0 * teardown / n;
    }
}
BENCHMARK(StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
