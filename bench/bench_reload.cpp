// Live reloading: what watching costs a frame when nothing changes, and the time from
// the end of a save to the first frame that shows it, for an effect file of the demo
// and a 1024 x 1024 picture. Run from build/ (data.zip is copied into a temporary
// folder). The latency includes the 100 ms the watcher waits for a file to go quiet;
// each "frame" draws with what was reloaded, swaps and waits for the GL to finish, so
// the measured time ends when the picture is on screen.
//     build/bench_reload --benchmark_counters_tabular=true
#include "core/gui.h"
#include "datagen/image.h"
#include "gpu/immediate.h"
#include "platform/platform.h"
#include "bench_core.h"
#include "resources/loader.h"
#include "resources/reload.h"
#include "resources/shader.h"
#include "resources/texture.h"

#include <epoxy/gl.h>
#include <IL/il.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Setup {
    fs::path folder;
    Loader data;
    Shader shader;
    Texture texture;
    bool ok = false;
    bool reloaded = false;

    Setup()
    {
        if (!openBenchWindow("bench reload", 256, 256)) {
            return;
        }
        ilInit();
        gui.init();  // the effect file's parameters go on the bar
        folder = fs::temp_directory_path() / ("core_bench_reload_" + std::to_string(getpid()));
        fs::remove_all(folder);
        Loader archive;
        archive.open("data.zip");
        std::vector<char> effect;
        if (!archive.opened || !archive.readChecked("shaders/phalanx_render.cgfx", effect).empty()) {
            std::fprintf(stderr, "run from build/, where data.zip is\n");
            return;
        }
        write("shaders/phalanx_render.cgfx", std::string(effect.begin(), effect.end()));
        write("textures/picture.png", picture(0));
        data.open(folder.string().c_str());
        shader.source = "shaders/phalanx_render.cgfx";
        texture.source = "textures/picture.png";
        ok = loadShader(data, shader) == 0 && loadTexture(data, texture) == 0 && reload::start(data);
        for (const char* entry : {"shaders/phalanx_render.cgfx", "textures/picture.png"}) {
            reload::noteCustom(entry, [this](Loader&, const std::vector<char>&) {
                reloaded = true;
                return std::string();
            });
        }
    }
    ~Setup()
    {
        reload::stop();
        reload::forgetAll();
        fs::remove_all(folder);
    }
    void write(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << bytes;
    }
    // A 1024 x 1024 picture with detail (a PNG of one colour would decode unusually fast).
    static std::string picture(int seed)
    {
        datagen::Image image(1024, 1024, 3);
        for (int y = 0; y < 1024; ++y) {
            for (int x = 0; x < 1024; ++x) {
                uint8_t* p = image.at(x, y);
                p[0] = uint8_t(x * 7 + seed * 31);
                p[1] = uint8_t((x ^ y) + seed);
                p[2] = uint8_t(y * 3 + (x * y >> 6));
            }
        }
        const std::vector<uint8_t> png = datagen::encodePng(image);
        return std::string(png.begin(), png.end());
    }
    // One frame: poll, draw with the texture, show, wait for the GL.
    void frame()
    {
        reload::poll();
        glClear(GL_COLOR_BUFFER_BIT);
        gpu::setTexturing(true);
        glBindTexture(GL_TEXTURE_2D, texture.crc);
        gpu::rect(-1.0f, -1.0f, 1.0f, 1.0f);
        gpu::setTexturing(false);
        platform::swapBuffers();
        glFinish();
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

void BM_PollNothingChanged(benchmark::State& state)
{
    Setup& s = setup();
    if (!s.ok) {
        state.SkipWithError("set-up failed");
        return;
    }
    for (auto _ : state) {
        reload::poll();
    }
}
BENCHMARK(BM_PollNothingChanged);

// Save -> frame on screen. `contents` gives the file's next version.
void measureLatency(benchmark::State& state, const char* entry, std::string (*contents)(int))
{
    Setup& s = setup();
    if (!s.ok) {
        state.SkipWithError("set-up failed");
        return;
    }
    int version = 1;
    double worst = 0.0;
    for (auto _ : state) {
        const std::string bytes = contents(version++);
        s.frame();
        s.reloaded = false;
        s.write(entry, bytes);
        const auto saved = std::chrono::steady_clock::now();
        while (!s.reloaded) {
            s.frame();
        }
        s.frame();  // the first frame drawn with the new version
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - saved).count();
        worst = seconds > worst ? seconds : worst;
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worst * 1000.0;
}

std::string effectVersion(int version)
{
    std::vector<char> text;
    setup().data.readChecked("shaders/phalanx_render.cgfx", text);
    std::string source(text.begin(), text.end());
    const size_t mark = source.find("\n// version ");
    return source.substr(0, mark) + "\n// version " + std::to_string(version) + "\n";
}

void BM_LatencyEffectFile(benchmark::State& state)
{
    measureLatency(state, "shaders/phalanx_render.cgfx", effectVersion);
}
BENCHMARK(BM_LatencyEffectFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

void BM_LatencyPicture1024(benchmark::State& state)
{
    measureLatency(state, "textures/picture.png", Setup::picture);
}
BENCHMARK(BM_LatencyPicture1024)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
