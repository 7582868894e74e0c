// Costs of the asset pipeline's heavy steps (per call): environment rendering,
// irradiance convolution, DXT compression, AO baking, sprite and overlay drawing.
#include "datagen/ao_baker.h"
#include "datagen/cubemap.h"
#include "datagen/dds.h"
#include "datagen/environments.h"
#include "datagen/sprites.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void renderEnvironment(benchmark::State& state, datagen::Vec3 (*radiance)(const datagen::Vec3&))
{
    for (auto _ : state) {
        datagen::CubeMap cube = datagen::renderCube(int(state.range(0)), radiance);
        benchmark::DoNotOptimize(cube.faces[0].data());
    }
    state.SetItemsProcessed(state.iterations() * 6 * state.range(0) * state.range(0));
}
BENCHMARK_CAPTURE(renderEnvironment, living_room, datagen::livingRoomRadiance)->Arg(128)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderEnvironment, space, datagen::spaceRadiance)->Arg(128)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderEnvironment, studio, datagen::studioRadiance)->Arg(128)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderEnvironment, campus, datagen::campusRadiance)->Arg(128)->Unit(benchmark::kMillisecond);

void convolve(benchmark::State& state)
{
    datagen::CubeMap source = datagen::renderCube(32, datagen::studioRadiance);
    for (auto _ : state) {
        datagen::CubeMap out = datagen::convolveIrradiance(source, int(state.range(0)));
        benchmark::DoNotOptimize(out.faces[0].data());
    }
}
BENCHMARK(convolve)->Arg(64)->Unit(benchmark::kMillisecond);

void compressCube(benchmark::State& state)
{
    datagen::CubeMap cube = datagen::renderCube(512, [](const datagen::Vec3& d) {
        return datagen::Vec3(0.5f + 0.5f * d.x, 0.5f + 0.5f * std::sin(9 * d.y), 0.5f + 0.5f * d.z);
    });
    std::vector<datagen::Image> faces = datagen::encodeFaces(cube, 1.0f);
    auto format = datagen::DdsFormat(state.range(0));
    for (auto _ : state) {
        std::vector<uint8_t> bytes = datagen::encodeDds(faces, format);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(compressCube)->Arg(int(datagen::DdsFormat::Bgra8))->Arg(int(datagen::DdsFormat::Dxt1))->Unit(benchmark::kMillisecond);

// A bumpy sphere with a latitude/longitude UV map.
Mesh bumpySphere(int rings, int segments)
{
    Mesh m;
    for (int i = 0; i <= rings; ++i) {
        for (int j = 0; j <= segments; ++j) {
            float v = float(i) / rings, u = float(j) / segments;
            float theta = v * 3.14159265f, phi = u * 6.2831853f;
            float r = 1.0f + 0.15f * std::sin(7 * theta) * std::sin(5 * phi);
            float n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            for (int k = 0; k < 3; ++k) {
                m.points.push_back(n[k] * r);
                m.normals.push_back(n[k]);
            }
            m.uvs.push_back(u);
            m.uvs.push_back(1.0f - v);
        }
    }
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            int a = i * (segments + 1) + j, b = a + segments + 1;
            m.polygons.insert(m.polygons.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
    return m;
}

void bakeAo(benchmark::State& state)
{
    Mesh mesh = bumpySphere(64, 128);
    datagen::AoSettings settings;
    settings.size = int(state.range(0));
    settings.rays = int(state.range(1));
    for (auto _ : state) {
        datagen::Image image = datagen::bakeAmbientOcclusion(mesh, settings);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0) * state.range(1));
}
BENCHMARK(bakeAo)->Args({512, 64})->Args({1024, 64})->Unit(benchmark::kMillisecond);

void sprites(benchmark::State& state)
{
    for (auto _ : state) {
        for (int i = 1; i <= 8; ++i) {
            datagen::Canvas c = datagen::drawSprite(i);
            benchmark::DoNotOptimize(c.rgba.data());
        }
    }
}
BENCHMARK(sprites)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
