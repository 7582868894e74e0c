// Sound on a real SDL output: the silent dummy driver, which needs no sound card but
// pulls samples in real time on SDL's audio thread like any other driver. The checks
// wait generously and only ask whether the music moves or stands, never how fast.
#include "app/screen.h"
#include "audio/sound.h"
#include "datagen/music.h"
#include "datagen/zip_writer.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class SoundDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        platform::setBatchMode(true);
        zipPath = "/tmp/core_sound_device_" + std::to_string(getpid()) + ".zip";
        const int rate = 44100;
        std::vector<float> samples(size_t(rate) * 10 * 2);
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = 0.8f * std::sin(6.2831853f * 64.0f * float(i / 2) / 1024.0f);
        }
        ASSERT_EQ(datagen::writeZip(zipPath, {{Sound::musicPath, datagen::encodeOggVorbis(samples, 2, rate)}}), "");
        loader.open(zipPath.c_str());
        ASSERT_TRUE(loader.opened);
    }
    void TearDown() override
    {
        loader.close();
        std::remove(zipPath.c_str());
    }

    // Waits until the position passes `ms`, for at most five seconds.
    static bool waitPast(Sound& sound, unsigned int ms)
    {
        for (int i = 0; i < 500 && sound.getPosition() <= ms; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return sound.getPosition() > ms;
    }

    std::string zipPath;
};

TEST_F(SoundDeviceTest, OutputRowsAreAutoThenUsableDriversThenNoSound)
{
    std::vector<OutputMethod> rows;
    Sound::getOutputMethods(rows);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows.front().text, "Auto detect best method");
    EXPECT_EQ(rows.front().outputType, outputAutodetect);
    EXPECT_EQ(rows.back().text, "No Sound");
    EXPECT_EQ(rows.back().outputType, outputNoSound);
    for (size_t i = 1; i + 1 < rows.size(); ++i) {
        EXPECT_EQ(rows[i].outputType, outputDriverBase + int(i) - 1);
        EXPECT_NE(rows[i].text, "dummy");
        EXPECT_NE(rows[i].text, "disk");
    }
}

TEST_F(SoundDeviceTest, NoSoundPlaysSilentlyInRealTime)
{
    auto sound = std::make_unique<Sound>();
    std::vector<std::string> names;
    EXPECT_EQ(sound->getDeviceName(names), 0);
    EXPECT_FALSE(names.empty());  // the silent driver has its one default device

    screen.outputType = outputNoSound;
    screen.soundDriver = 0;
    ASSERT_EQ(sound->init(), 0);
    ASSERT_TRUE(sound->loaded);
    sound->play();
    ASSERT_TRUE(waitPast(*sound, 300));
    EXPECT_NEAR(sound->getSpectrum()[64], 1.0f, 0.05f);

    // Paused, the position stands (after the block already under way).
    sound->pause();
    std::this_thread::sleep_for(100ms);
    unsigned int held = sound->getPosition();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sound->getPosition(), held);

    sound->seek(7000);
    sound->resume();
    EXPECT_GE(sound->getPosition(), 7000u);
    ASSERT_TRUE(waitPast(*sound, 7200));
    sound->stop();
}

TEST_F(SoundDeviceTest, AutoDetectAndAnUnknownOutputCodeBothPlay)
{
    // SDL_AUDIODRIVER picks the silent driver for auto-detection here; a code no row
    // stores is left at auto-detection.
    for (int outputType : {outputAutodetect, 6, outputDriverBase + 99}) {
        SCOPED_TRACE(outputType);
        auto sound = std::make_unique<Sound>();
        screen.outputType = outputType;
        screen.soundDriver = 42;  // no such row: the default device
        ASSERT_EQ(sound->init(), 0);
        sound->play();
        EXPECT_TRUE(waitPast(*sound, 100));
    }
}

}  // namespace
