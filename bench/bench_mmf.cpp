// MMF parsing and mesh upload of a 100k-triangle mesh.
// Run under a display for the upload case: xvfb-run -a build/bench/bench_mmf
#include "datagen/mmf_writer.h"
#include "platform/platform.h"
#include "resources/geometry.h"
#include "resources/mesh.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

// A sphere of 50,451 vertices and 100,000 triangles with normals and uvs.
Mesh makeSphere()
{
    const int rings = 200, segments = 250;
    Mesh m;
    for (int r = 0; r <= rings; ++r) {
        float theta = float(M_PI) * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            float phi = 2.0f * float(M_PI) * float(s) / float(segments);
            float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
            m.points.insert(m.points.end(), {12.5f * x, 12.5f * y, 12.5f * z});
            m.normals.insert(m.normals.end(), {x, y, z});
            m.uvs.insert(m.uvs.end(), {float(s) / float(segments), float(r) / float(rings)});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            int a = r * (segments + 1) + s, b = a + segments + 1;
            m.polygons.insert(m.polygons.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
    return m;
}

const std::vector<uint8_t>& sphereFile()
{
    static const std::vector<uint8_t> bytes = datagen::writeMmf(makeSphere());
    return bytes;
}

void BM_ParseMmf(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = sphereFile();
    char line[256];
    Mesh mesh;
    for (auto _ : state) {
        parseMmf(reinterpret_cast<const char*>(bytes.data()), bytes.size(), line, mesh);
        benchmark::DoNotOptimize(mesh.polygons.data());
    }
    if (mesh.polygons.size() != 300000) {
        state.SkipWithError("wrong triangle count");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["file_MB"] = double(bytes.size()) / 1e6;
}
BENCHMARK(BM_ParseMmf)->Unit(benchmark::kMillisecond);

void BM_UploadMesh(benchmark::State& state)
{
    static bool haveContext = [] {
        std::string error;
        platform::setBatchMode(true);
        platform::WindowDesc desc;
        desc.hidden = true;
        return platform::initVideo(&error) && platform::createWindow(desc, &error) && platform::linkExtensions(&error);
    }();
    if (!haveContext) {
        state.SkipWithError("no GL context (run under xvfb-run)");
        return;
    }
    static const Mesh mesh = makeSphere();
    for (auto _ : state) {
        unsigned int indices = 0, vertices = 0;
        uploadMesh(&indices, mesh.polygons, mesh.points, mesh.normals, GL_STATIC_DRAW, &vertices, mesh.uvs);
        glFinish();
        glDeleteBuffers(1, &indices);
        glDeleteBuffers(1, &vertices);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.polygons.size() / 3));
}
BENCHMARK(BM_UploadMesh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
