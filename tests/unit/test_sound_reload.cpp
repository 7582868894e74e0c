// The music file edited while the demo plays: the new music goes on at the demo's time
// with the same volume and pause state; a file that does not play keeps the old one.
#include "app/screen.h"
#include "audio/sound.h"
#include "datagen/music.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int rate = 44100;

// A tone on spectrum bin `bin` (of the 1024-sample window), both channels.
std::vector<uint8_t> toneOgg(int bin, float seconds)
{
    std::vector<float> samples(size_t(seconds * rate) * 2);
    const float f = float(bin) * rate / 1024.0f;
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        samples[2 * i] = samples[2 * i + 1] = 0.8f * std::sin(2.0f * 3.14159265f * f * float(i) / rate);
    }
    return datagen::encodeOggVorbis(samples, 2, rate, 0.5f);
}

int peakBin(const float* spectrum)
{
    int best = 0;
    for (int k = 1; k < 512; ++k) {
        best = spectrum[k] > spectrum[best] ? k : best;
    }
    return best;
}

class SoundReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setBatchMode(true);
        folder = fs::temp_directory_path() / ("core_sound_reload_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "music");
        const std::vector<uint8_t> first = toneOgg(20, 20.0f);
        std::ofstream(folder / Sound::musicPath, std::ios::binary)
            .write(reinterpret_cast<const char*>(first.data()), std::streamsize(first.size()));
        screen.outputType = outputOffline;
        screen.soundDriver = 0;
        loader.open(folder.string().c_str());
        ASSERT_TRUE(loader.opened);
        sound = std::make_unique<Sound>();
        ASSERT_EQ(sound->init(), 0);
        sound->play();
    }
    void TearDown() override
    {
        sound.reset();
        loader.close();
        fs::remove_all(folder);
    }
    void advanceMs(int ms)
    {
        const int frames = ms * rate / 1000;
        std::vector<float> block(size_t(frames) * size_t(sound->outputChannels()));
        ASSERT_EQ(sound->mix(block.data(), frames), frames);
    }

    fs::path folder;
    std::unique_ptr<Sound> sound;
};

}  // namespace

TEST_F(SoundReload, NewMusicGoesOnAtTheDemoTime)
{
    advanceMs(1000);
    EXPECT_EQ(peakBin(sound->getSpectrum()), 20);
    sound->setVolume(0.5f);

    const std::vector<uint8_t> second = toneOgg(60, 20.0f);
    EXPECT_EQ(sound->reloadMusic(std::vector<char>(second.begin(), second.end()), 7250), "");
    EXPECT_EQ(sound->getPosition(), 7250u);
    EXPECT_FLOAT_EQ(sound->getVolume(), 0.5f);
    advanceMs(500);
    EXPECT_EQ(peakBin(sound->getSpectrum()), 60);
    EXPECT_EQ(sound->getPosition(), 7750u);

    // Paused stays paused.
    sound->pause();
    EXPECT_EQ(sound->reloadMusic(std::vector<char>(second.begin(), second.end()), 3000), "");
    advanceMs(200);
    EXPECT_EQ(sound->getPosition(), 3000u);
}

TEST_F(SoundReload, MusicThatDoesNotPlayKeepsTheOldOne)
{
    advanceMs(500);
    const std::string reason = sound->reloadMusic(std::vector<char>(1000, 'x'), 9000);
    EXPECT_EQ(reason.rfind("not a playable music file: ", 0), 0u) << reason;
    EXPECT_TRUE(sound->loaded);
    EXPECT_EQ(sound->getPosition(), 500u) << "the old music plays on where it was";
    advanceMs(500);
    EXPECT_EQ(peakBin(sound->getSpectrum()), 20);
}
