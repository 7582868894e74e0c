// Supersampled pictures (--ssaa N) of 1024 x 576:
//   - Reduce/N: the reduction itself, N x N samples averaged into each pixel (CPU);
//   - ReadPicture/N: the frame's samples read back from the GL (llvmpipe under Xvfb
//     here) and reduced, what each supersampled picture costs beyond its drawing.
// Run from build/: xvfb-run -a -s "-screen 0 1280x1024x24" bench/bench_supersample
#include "core/supersample.h"
#include "platform/platform.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int width = 1024;
constexpr int height = 576;

void Reduce(benchmark::State& state)
{
    const int factor = int(state.range(0));
    std::vector<uint8_t> samples(size_t(width) * height * factor * factor * 4);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = uint8_t(i * 2654435761u >> 24);
    }
    const PixelLayout layout = state.range(1) ? PixelLayout::Bgra : PixelLayout::Rgb;
    std::vector<uint8_t> picture(size_t(width) * height * size_t(bytesPerPixel(layout)));
    BoxFilter filter;
    filter.prepare(factor, width);
    for (auto _ : state) {
        filter.reduce(samples.data(), width, height, picture.data(), layout);
        benchmark::DoNotOptimize(picture.data());
    }
    state.SetLabel(layout == PixelLayout::Rgb ? "RGB" : "BGRA");
}
BENCHMARK(Reduce)->ArgsProduct({{2, 3, 4}, {0, 1}})->Unit(benchmark::kMillisecond);

bool openWindow()
{
    static int opened = -1;
    if (opened < 0) {
        platform::setBatchMode(true);
        std::string error;
        platform::WindowDesc desc;
        desc.title = "bench supersample";
        desc.width = width;
        desc.height = height;
        desc.hidden = true;
        opened = platform::initVideo(&error) && platform::createWindow(desc, &error) &&
                 platform::linkExtensions(&error);
        if (!opened) {
            std::fprintf(stderr, "no GL window: %s\n", error.c_str());
        }
    }
    return opened == 1;
}

void ReadPicture(benchmark::State& state)
{
    if (!openWindow()) {
        state.SkipWithError("no GL window");
        return;
    }
    Supersampler supersampler;
    supersampler.factor = int(state.range(0));
    if (supersampler.create(Band{0, 0, width, height}) != 0) {
        state.SkipWithError("no frame");
        return;
    }
    glClearColor(0.3f, 0.5f, 0.7f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> pixels;
    const PixelLayout layout = state.range(1) ? PixelLayout::Bgra : PixelLayout::Rgb;
    supersampler.readPicture(pixels, layout);
    for (auto _ : state) {
        supersampler.readPicture(pixels, layout);
    }
    state.SetLabel(layout == PixelLayout::Rgb ? "RGB" : "BGRA");
    supersampler.release();
}
BENCHMARK(ReadPicture)->ArgsProduct({{2, 4}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
