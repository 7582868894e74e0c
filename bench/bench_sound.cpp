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
#include "datagen/test_music.h"
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
            data = datagen::encodeOggVorbis(datagen::renderTestPiece(197.0f, 44100), 2, 44100, 0.3f);
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
    TrackArchive archive;
    Sound sound;
    if (sound.init() != 0) {
        state.SkipWithError("Sound::init failed");
        return;
    }
    sound.play();
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
    TrackArchive archive;
    Sound sound;
    if (sound.init() != 0) {
        state.SkipWithError("Sound::init failed");
        return;
    }
    sound.play();
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
    TrackArchive archive;
    Sound sound;
    if (sound.init() != 0) {
        state.SkipWithError("Sound::init failed");
        return;
    }
    sound.play();
    std::vector<float> block(4096 * size_t(sound.outputChannels()));
    sound.mix(block.data(), 4096);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sound.getSpectrum());
    }
}
BENCHMARK(BM_GetSpectrum)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
