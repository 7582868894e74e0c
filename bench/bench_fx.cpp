// Effect runtime costs: loading the six post-processing effects (parse, translate,
// compile, link), parsing and translating alone, setting and resetting a pass, and
// parameter look-ups. Run under a display (xvfb-run -a build/bench/bench_fx).
#include "fx/fx.h"
#include "fx/model.h"
#include "platform/platform.h"
#include "bench_core.h"
#include "resources/loader.h"

#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kFiles[] = {
    "shaders/bloom-bright_pass.cgfx", "shaders/bloom-gaussH.cgfx", "shaders/bloom-gaussV.cgfx",
    "shaders/bloom-final.cgfx",       "shaders/post_overlay.cgfx", "shaders/post_mixer.cgfx",
};

std::vector<std::string> gTexts;

bool setUp()
{
    if (!openBenchWindow("bench_fx", 256, 256)) {
        return false;
    }
    Loader archive;
    archive.open(CORE_BINARY_DIR "/data.zip");
    if (!archive.opened) {
        return false;
    }
    for (const char* file : kFiles) {
        uint32_t size = archive.fileSize(file);
        std::string text(size, '\0');
        char* buffer = &text[0];
        if (size == 0 || archive.readFile(file, &buffer) != 0) {
            std::fprintf(stderr, "bench_fx: %s missing from data.zip\n", file);
            return false;
        }
        gTexts.push_back(text);
    }
    return true;
}

void BM_LoadSixEffects(benchmark::State& state)
{
    for (auto _ : state) {
        fx::Context* context = fx::createContext();
        for (size_t i = 0; i < gTexts.size(); ++i) {
            fx::Effect* effect = fx::createEffect(context, gTexts[i].c_str(), kFiles[i]);
            if (!fx::validateTechnique(fx::firstTechnique(effect))) {
                state.SkipWithError(fx::lastListing(context));
            }
        }
        glFinish();
        fx::destroyContext(context);
    }
}
BENCHMARK(BM_LoadSixEffects)->Unit(benchmark::kMillisecond);

void BM_ParseAndTranslateSixEffects(benchmark::State& state)
{
    for (auto _ : state) {
        for (size_t i = 0; i < gTexts.size(); ++i) {
            fx::EffectData effect;
            effect.file = kFiles[i];
            effect.text = gTexts[i];
            std::string listing, glsl;
            std::vector<fx::ParameterData*> used;
            fx::parseEffect(effect, listing);
            const fx::PassData& pass = effect.techniques.front().passes.front();
            fx::translateProgram(effect, pass.vertex, 0, glsl, used, listing);
            fx::translateProgram(effect, pass.fragment, 1, glsl, used, listing);
            benchmark::DoNotOptimize(glsl.data());
        }
    }
}
BENCHMARK(BM_ParseAndTranslateSixEffects)->Unit(benchmark::kMicrosecond);

void BM_SetAndResetPass(benchmark::State& state)
{
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, gTexts[5].c_str(), kFiles[5]);  // the mixer: 2 samplers, 1 float
    fx::Technique* technique = fx::firstTechnique(effect);
    fx::validateTechnique(technique);
    GLuint textures[2];
    glGenTextures(2, textures);
    fx::setupSampler(fx::namedParameter(effect, "sampA"), textures[0]);
    fx::setupSampler(fx::namedParameter(effect, "sampB"), textures[1]);
    fx::Pass* pass = fx::firstPass(technique);
    for (auto _ : state) {
        fx::setParameter1f(fx::namedParameter(effect, "factor"), 0.25f);
        fx::setPassState(pass);
        fx::resetPassState(pass);
    }
    glFinish();
    glDeleteTextures(2, textures);
    fx::destroyContext(context);
}
BENCHMARK(BM_SetAndResetPass)->Unit(benchmark::kNanosecond);

void BM_NamedAndSemanticLookUp(benchmark::State& state)
{
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, "float4x4 mvp : state.matrix.mvp; float BloomThreshold;\n"
                                                   "sampler2D RT; float4 other; float a; float b; float c;");
    for (auto _ : state) {
        benchmark::DoNotOptimize(fx::namedParameter(effect, "BloomThreshold"));
        benchmark::DoNotOptimize(fx::parameterBySemantic(effect, "state.matrix.mvp"));
    }
    fx::destroyContext(context);
}
BENCHMARK(BM_NamedAndSemanticLookUp)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!setUp()) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    platform::destroyWindow();
    return 0;
}
