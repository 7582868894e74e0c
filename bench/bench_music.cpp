// Soundtrack benchmark: parse + render + Vorbis-encode the score (the budget is 20 s on the
// two-core build machine), and with --report a summary of the result: peak, loudness, RMS per
// section and the spectrum bin-1 reading (43 Hz, 1024-sample rectangular window) at each kick
// (best window in its first 50 ms) versus halfway between kicks, as the Core's flash sees it.
//   bench_music [--score PATH] [--report] [--write FILE.ogg] [--solo TRACK] [benchmark flags]
// --solo writes TRACK.ogg with only that track playing.
#include "audio/spectrum.h"
#include "datagen/music.h"
#include "datagen/synth/render.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string scorePath = std::string(CORE_BINARY_DIR) + "/../data/music/drovel-contemplation.score";
std::string solo;  // when set, every other track is muted (for listening to one part)

bool loadScore(synth::Score& score)
{
    std::ifstream in(scorePath, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (!in.good() && text.empty()) {
        std::fprintf(stderr, "cannot read %s\n", scorePath.c_str());
        return false;
    }
    if (synth::parseScore(text, score, error)) {
        std::fprintf(stderr, "%s: %s\n", scorePath.c_str(), error.c_str());
        return false;
    }
    for (synth::TrackDef& track : score.tracks) {
        if (!solo.empty() && track.name != solo) track.gain = -300.0f;
    }
    return true;
}

// Bin 1 of the player's own spectrum over the 1024 frames from `at`, both channels averaged.
double binOne(const synth::Rendering& r, int64_t at)
{
    static Spectrum analyser;
    float window[Spectrum::windowSize];
    float bins[Spectrum::bins];
    double sum = 0.0;
    for (const std::vector<float>* ch : {&r.left, &r.right}) {
        for (int i = 0; i < Spectrum::windowSize; ++i) {
            int64_t f = at + i;
            window[i] = f >= 0 && f < int64_t(ch->size()) ? (*ch)[size_t(f)] : 0.0f;
        }
        analyser.analyse(window, bins);
        sum += bins[1];
    }
    return sum * 0.5;
}

void report(const synth::Score& score, const synth::Rendering& r)
{
    const double sr = score.sampleRate;
    std::printf("peak %.2f dBFS, loudness %.2f LUFS, normalisation %+.2f dB, deepest limiting %.2f dB\n",
                synth::gainToDb(r.peak), r.loudness, r.gainDb, r.limiterDb);
    std::vector<synth::TrackEvents> events = synth::expandScore(score);
    std::printf("track levels (dB RMS while playing, after normalisation):");
    for (size_t t = 0; t < score.tracks.size(); ++t) {
        std::printf("%s %s %.1f", t % 6 ? "," : "\n ", score.tracks[t].name.c_str(),
                    synth::gainToDb(r.trackLevels[t]) + r.gainDb);
    }
    std::printf("\n");
    std::printf("%-10s %7s %7s %6s %8s %7s %7s %6s %5s\n", "section", "start", "bpm", "bars", "rms dB", "peak", "bin1@k",
                "bin1~", "kicks");
    for (size_t s = 0; s < score.sections.size(); ++s) {
        const double t0 = score.sections[s].start;
        const double t1 = s + 1 < score.sections.size() ? score.sections[s + 1].start : score.stop;
        const int64_t f0 = int64_t(t0 * sr), f1 = int64_t(t1 * sr);
        double energy = 0.0;
        float peak = 0.0f;
        for (int64_t f = f0; f < f1; ++f) {
            energy += double(r.left[size_t(f)]) * r.left[size_t(f)] + double(r.right[size_t(f)]) * r.right[size_t(f)];
            peak = std::max({peak, std::fabs(r.left[size_t(f)]), std::fabs(r.right[size_t(f)])});
        }
        const double rms = std::sqrt(energy / (2.0 * double(f1 - f0)));
        double atKick = 0.0, between = 0.0;
        int kicks = 0;
        if (score.sidechain >= 0) {
            const int64_t half = int64_t(synth::beatLength(score, s) * 0.5 * sr);
            for (const synth::NoteEvent& ev : events[size_t(score.sidechain)].notes) {
                if (ev.start < f0 || ev.start >= f1) continue;
                // The brightest frame of the flash: the best window in the kick's first 50 ms.
                double best = 0.0;
                for (int k = 0; k <= 8; ++k) best = std::max(best, binOne(r, ev.start + k * 256));
                atKick += best;
                between += binOne(r, ev.start + half);
                ++kicks;
            }
        }
        std::printf("%-10s %7.2f %7.2f %6d %8.2f %7.2f %7.3f %6.3f %5d\n", score.sections[s].name.c_str(), t0,
                    60.0 / synth::beatLength(score, s), score.sections[s].bars, synth::gainToDb(float(rms)),
                    synth::gainToDb(peak), kicks ? atKick / kicks : 0.0, kicks ? between / kicks : 0.0, kicks);
    }
    const int64_t silentFrom = int64_t(score.stop * sr);
    float tailPeak = 0.0f;
    for (size_t f = size_t(silentFrom); f < r.left.size(); ++f) tailPeak = std::max({tailPeak, std::fabs(r.left[f]), std::fabs(r.right[f])});
    std::printf("after %.1f s: peak %.1f dBFS\n", score.stop, synth::gainToDb(tailPeak));
}

void BM_RenderAndEncode(benchmark::State& state)
{
    synth::Score score;
    if (!loadScore(score)) {
        state.SkipWithError("score not readable");
        return;
    }
    for (auto _ : state) {
        synth::Rendering r;
        synth::renderScore(score, r, int(state.range(0)));
        std::vector<uint8_t> bytes;
        std::string error;
        datagen::encodeVorbis(r.left, r.right, int(score.sampleRate), 0.5f, "bench", bytes, error);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_RenderAndEncode)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    bool doReport = false;
    std::string write;
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--report")) doReport = true;
        else if (!std::strcmp(argv[i], "--write") && i + 1 < argc) write = argv[++i];
        else if (!std::strcmp(argv[i], "--score") && i + 1 < argc) scorePath = argv[++i];
        else if (!std::strcmp(argv[i], "--solo") && i + 1 < argc) solo = argv[++i];
        else rest.push_back(argv[i]);
    }
    if (!write.empty() && solo.empty()) {
        // Exactly what datagen puts into the archive, timed.
        datagen::Context context;
        context.dataDir = scorePath.substr(0, scorePath.rfind("/music/"));
        std::vector<datagen::Asset> assets;
        auto t0 = std::chrono::steady_clock::now();
        datagen::generateMusic(context, assets);
        auto t1 = std::chrono::steady_clock::now();
        datagen::VorbisInfo info;
        datagen::inspectVorbis(assets[0].bytes, info);
        std::printf("generateMusic %.2f s: %zu bytes (%.0f kbit/s), %d ch, %ld Hz, %.3f s, decoded peak %.2f dBFS\n",
                    std::chrono::duration<double>(t1 - t0).count(), assets[0].bytes.size(),
                    assets[0].bytes.size() * 8.0 / (double(info.frames) / info.sampleRate) / 1000.0, info.channels,
                    info.sampleRate, double(info.frames) / info.sampleRate, synth::gainToDb(info.peak));
        std::ofstream(write, std::ios::binary).write((const char*)assets[0].bytes.data(), long(assets[0].bytes.size()));
    }
    if (doReport || !solo.empty()) {
        synth::Score score;
        if (!loadScore(score)) return 1;
        auto t0 = std::chrono::steady_clock::now();
        synth::Rendering r;
        synth::renderScore(score, r, 2);
        auto t1 = std::chrono::steady_clock::now();
        std::printf("render %.2f s\n", std::chrono::duration<double>(t1 - t0).count());
        if (doReport) report(score, r);
        if (!solo.empty()) {
            std::vector<uint8_t> bytes;
            std::string error;
            datagen::encodeVorbis(r.left, r.right, int(score.sampleRate), 0.5f, solo, bytes, error);
            std::ofstream(solo + ".ogg", std::ios::binary).write((const char*)bytes.data(), long(bytes.size()));
        }
    }
    if (doReport || !write.empty() || !solo.empty()) return 0;
    int count = int(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
