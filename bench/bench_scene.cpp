// The scene renderer's own cost: a scene of 200 animated objects (nine channels of six
// TCB keys each, a parent chain every tenth object) sharing one small mesh, drawn with
// flat and textured fixed-function materials into a small window so that the driver's
// fill work stays out of the figure.
//   BM_SceneMotion  evaluating and placing all 200 objects (no GL)
//   BM_SceneRender  SceneRenderer::render, submission only (no glFinish)
// Both report heap allocations per frame (must be 0).
// Run under Xvfb: xvfb-run -a bench/bench_scene
#include "app/screen.h"
#include "datagen/basic_meshes.h"
#include "datagen/scene_author.h"
#include "platform/platform.h"
#include "bench_core.h"
#include "resources/loader.h"
#include "scene/scene_archive.h"
#include "scene/scene_loader.h"
#include "scene/scene_renderer.h"
#include "counting_new.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr int objectCount = 200;

Envelope wave(float phase, float amplitude)
{
    std::vector<Key> keys;
    for (int k = 0; k < 6; ++k) {
        keys.push_back(datagen::tcbKey(float(k), amplitude * std::sin(phase + float(k)), 0.2f, 0.0f, 0.1f));
    }
    return datagen::envelope(keys, behaviourRepeat, behaviourOscillate);
}

Tessary* scene()
{
    static Tessary* tree = nullptr;
    if (tree) {
        return tree;
    }
    datagen::SceneBuilder b("bench");
    const datagen::MeshIds box = b.addMesh(datagen::makeCube(0.3f));
    const uint32_t flat = b.addFlatMaterial(0.8f, 0.5f, 0.2f);
    const uint32_t textured = b.addTexturedMaterial(b.addTexture("none.png"));
    for (int i = 0; i < objectCount; ++i) {
        Motion m;
        for (int c = 0; c < 9; ++c) {
            m.channel.push_back(wave(0.37f * float(i) + float(c), c < 3 ? 4.0f : (c < 6 ? 1.0f : 0.2f)));
        }
        for (int c = 6; c < 9; ++c) {
            for (Key& k : m.channel[c].key) {
                k.value += 1.0f;
            }
        }
        const uint32_t id = b.addObject(box, {i % 2 ? flat : textured}, m);
        if (i % 10 != 0) {
            b.object(id).parent = {1, id - 1};
        }
    }
    Motion camera;
    for (int c = 0; c < 9; ++c) {
        camera.channel.push_back(wave(float(c), c == 2 ? 2.0f : 0.3f));
    }
    camera.channel[2].key[0].value = 30.0f;
    b.addCamera("bench", camera, datagen::constant(1.5f));
    tree = new Tessary(b.scene);
    std::string reason;
    if (checkScene(*tree, &reason) != 0) {
        std::fprintf(stderr, "bench scene refused: %s\n", reason.c_str());
    }
    return tree;
}

bool window()
{
    static int state = 0;
    if (state == 0) {
        state = openBenchWindow("bench scene", 64, 36) ? 1 : 2;
        if (state == 1) {
            screen.viewportWidth = 64;
            screen.viewportHeight = 36;
            uploadScene(*scene(), loader);
            GLuint texture = 0;
            glGenTextures(1, &texture);
            scene()->libMaterial.material[1].tTexID = texture;
        }
    }
    return state == 1;
}

void BM_SceneMotion(benchmark::State& state)
{
    Tessary& s = *scene();
    SceneRenderer renderer;
    float t = 0.0f;
    long before = allocations.load();
    for (auto _ : state) {
        for (size_t i = 0; i < s.object.size(); ++i) {
            renderer.placeObject(s, i, t);
        }
        benchmark::DoNotOptimize(renderer.modelview);
        t += 1.0f / 30.0f;
    }
    state.counters["allocs/frame"] = double(allocations.load() - before) / double(state.iterations());
}

void BM_SceneRender(benchmark::State& state)
{
    if (!window()) {
        state.SkipWithError("no GL context");
        return;
    }
    Tessary& s = *scene();
    float t = 0.0f;
    sceneRenderer.render(s, t);
    glFinish();
    long before = allocations.load();
    for (auto _ : state) {
        sceneRenderer.render(s, t);
        t += 1.0f / 30.0f;
        state.PauseTiming();
        glFinish();
        state.ResumeTiming();
    }
    state.counters["allocs/frame"] = double(allocations.load() - before) / double(state.iterations());
}

}  // namespace

BENCHMARK(BM_SceneMotion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneRender)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
