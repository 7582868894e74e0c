// Sound costs on a full-length track: start-up (Sound::init, which must not decode the
// track up front), the audio thread's decoding and mixing per second of music, and
// the per-frame spectrum.
//
// The track is build/data.zip's music when it is at least two minutes long, else the
// 197-second test piece encoded here. Mixing runs on the offline output, so the time
// measured is exactly the audio callback's work without a device's waits.
#include "app/screen.h"
#include "audio/music_channel.h"
#include "audio/sound.h"
#include "datagen/music.h"
#include "datagen/zip_writer.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// A stand-in track: a kick on every beat at 120 beats per minute, a click between beats,
// and a two-note chord that changes every four bars; interleaved stereo.
std::vector<float> renderTestPiece(float seconds, int rate)
{
    constexpr double twoPi = 6.283185307179586;
    const long frames = long(seconds * rate);
    std::vector<float> out(size_t(frames) * 2, 0.0f);
    const double beat = 0.5;
    // Chord roots per four bars (16 beats), in Hz; the fifth above sounds with each.
    const double roots[] = {110.0, 146.83, 130.81, 98.0};
    uint32_t noise = 12345;
    for (long i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        long beatIndex = long(t / beat);
        double inBeat = t - beatIndex * beat;
        // Kick: a sine falling from 90 Hz to 45 Hz, gone after a quarter of the beat.
        double kickPhase = twoPi * (45.0 * inBeat + 45.0 * 0.04 * (1.0 - std::exp(-inBeat / 0.04)));
        double kick = 0.55 * std::exp(-inBeat / 0.09) * std::sin(kickPhase);
        // Click: a short noise burst halfway between beats.
        noise = noise * 1664525u + 1013904223u;
        double offBeat = inBeat - beat * 0.5;
        double click = offBeat >= 0.0 && offBeat < 0.01 ? 0.25 * (double(noise >> 8) / 8388608.0 - 1.0) *
                                                             (1.0 - offBeat / 0.01)
                                                       : 0.0;
        double root = roots[(beatIndex / 16) % 4];
        double fade = std::fmin(1.0, std::fmin(t / 2.0, (seconds - t) / 2.0));
        double chordLeft = 0.12 * std::sin(twoPi * root * t) + 0.06 * std::sin(twoPi * root * 1.5 * t);
        double chordRight = 0.12 * std::sin(twoPi * root * 1.5 * t) + 0.06 * std::sin(twoPi * root * 2.0 * t);
        out[size_t(i) * 2] = float(kick + click + fade * chordLeft);
        out[size_t(i) * 2 + 1] = float(kick + click + fade * chordRight);
    }
    return out;
}

const std::vector<uint8_t>& track()
{
    static std::vector<uint8_t> bytes = [] {
        Loader archive;
        archive.open(CORE_BINARY_DIR "/data.zip");
        std::vector<uint8_t> data;
        uint32_t size = archive.opened ? archive.fileSize(Sound::musicPath) : 0;
        if (size > 0) {
            data.resize(size);
            char* buffer = reinterpret_cast<char*>(data.data());
            if (archive.readFile(Sound::musicPath, &buffer) != 0) {
                data.clear();
            }
        }
        MusicChannel probe;
        std::string detail;
        if (data.empty() || probe.open(reinterpret_cast<const char*>(data.data()), data.size(), &detail) != 0 ||
            probe.lengthMs() < 120000) {
            data = datagen::encodeOggVorbis(renderTestPiece(197.0f, 44100), 2, 44100, 0.3f);
        }
        return data;
    }();
    return bytes;
}

// An archive holding only the track, opened in the process-wide loader.
struct TrackArchive {
    std::string path = "/tmp/core_bench_sound_" + std::to_string(getpid()) + ".zip";
    TrackArchive()
    {
        platform::setBatchMode(true);
        datagen::writeZip(path, {{Sound::musicPath, track()}});
        loader.open(path.c_str());
        screen.outputType = outputOffline;
    }
    ~TrackArchive()
    {
        loader.close();
        std::remove(path.c_str());
    }
};

// The track playing in a Sound over the offline output; `ready` is false (and the benchmark
// marked failed) when Sound::init fails.
struct PlayingSound {
    TrackArchive archive;
    Sound sound;
    bool ready = false;
    explicit PlayingSound(benchmark::State& state)
    {
        if (sound.init() != 0) {
            state.SkipWithError("Sound::init failed");
            return;
        }
        sound.play();
        ready = true;
    }
};

void BM_SoundInit(benchmark::State& state)
{
    TrackArchive archive;
    for (auto _ : state) {
        auto sound = std::make_unique<Sound>();
        if (sound->init() != 0) {
            state.SkipWithError("Sound::init failed");
            break;
        }
        benchmark::DoNotOptimize(sound->loaded);
        state.PauseTiming();
        state.counters["track_s"] = sound->getLength() / 1000.0;
        sound.reset();
        state.ResumeTiming();
    }
    state.counters["track_bytes"] = double(track().size());
}
BENCHMARK(BM_SoundInit)->Unit(benchmark::kMillisecond);

void BM_StreamOpen(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = track();
    for (auto _ : state) {
        MusicChannel channel;
        std::string detail;
        benchmark::DoNotOptimize(channel.open(reinterpret_cast<const char*>(bytes.data()), bytes.size(), &detail));
    }
}
BENCHMARK(BM_StreamOpen)->Unit(benchmark::kMillisecond);

// One iteration = one second of music decoded and mixed in 1024-frame blocks, the
// size of a device callback.
void BM_AudioThreadPerSecondOfMusic(benchmark::State& state)
{
    PlayingSound playing(state);
    if (!playing.ready) return;
    Sound& sound = playing.sound;
    std::vector<float> block(1024 * size_t(sound.outputChannels()));
    int rate = sound.outputRate();
    for (auto _ : state) {
        if (sound.getPosition() + 1000 >= sound.getLength()) {
            sound.seek(0);
        }
        for (int done = 0; done < rate; done += 1024) {
            sound.mix(block.data(), 1024);
        }
        benchmark::DoNotOptimize(block.data());
    }
    double energy = 0.0;
    for (float v : block) {
        energy += double(v) * v;
    }
    state.counters["last_block_rms"] = std::sqrt(energy / double(block.size()));
    state.counters["seconds_mixed"] = double(state.iterations());
}
BENCHMARK(BM_AudioThreadPerSecondOfMusic)->Unit(benchmark::kMillisecond);

void BM_Seek(benchmark::State& state)
{
    PlayingSound playing(state);
    if (!playing.ready) return;
    Sound& sound = playing.sound;
    std::vector<float> block(1024 * size_t(sound.outputChannels()));
    unsigned int target = 0;
    for (auto _ : state) {
        target = (target + 37123) % sound.getLength();
        sound.seek(target);
        sound.mix(block.data(), 1024);  // the seek happens in the next block
    }
}
BENCHMARK(BM_Seek)->Unit(benchmark::kMicrosecond);

void BM_GetSpectrum(benchmark::State& state)
{
    PlayingSound playing(state);
    if (!playing.ready) return;
    Sound& sound = playing.sound;
    std::vector<float> block(4096 * size_t(sound.outputChannels()));
    sound.mix(block.data(), 4096);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sound.getSpectrum());
    }
}
BENCHMARK(BM_GetSpectrum)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
