// Sound over the offline output: the music advances only by the frames the test pulls,
// so positions and spectra are exact and nothing depends on timing.
#include "base/log.h"
#include "app/screen.h"
#include "audio/audio_output.h"
#include "audio/sound.h"
#include "audio/sound_result.h"
#include "counting_new.h"
#include "datagen/music.h"
#include "datagen/zip_writer.h"
#include "log_capture.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int rate = 44100;
constexpr float pi = 3.14159265358979f;

std::string tempPath(const std::string& name) { return "/tmp/core_sound_" + std::to_string(getpid()) + "_" + name; }

// Frequency whose period fits the 1024-sample window exactly `bin` times.
float binFrequency(int bin) { return float(bin) * rate / 1024.0f; }

// Stereo samples; left(t) and right(t) give the two channels at time t.
template <typename Left, typename Right>
std::vector<float> stereo(float seconds, Left left, Right right)
{
    std::vector<float> samples(size_t(seconds * rate) * 2);
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        float t = float(i) / rate;
        samples[i * 2] = left(t, i);
        samples[i * 2 + 1] = right(t, i);
    }
    return samples;
}

std::vector<uint8_t> sineOgg(int bin, float leftAmplitude, float rightAmplitude, float seconds = 2.0f)
{
    float f = binFrequency(bin);
    auto left = [&](float, size_t i) { return leftAmplitude * std::sin(2 * pi * f * float(i) / rate); };
    auto right = [&](float, size_t i) { return rightAmplitude * std::sin(2 * pi * f * float(i) / rate); };
    return datagen::encodeOggVorbis(stereo(seconds, left, right), 2, rate, 0.6f);
}

// Second s of the piece holds a sine on bin 10 + 4 s, in both channels.
int secondBin(int second) { return 10 + 4 * second; }
std::vector<uint8_t> steppedOgg()
{
    auto tone = [](float, size_t i) {
        int second = int(i / rate);
        return 0.8f * std::sin(2 * pi * binFrequency(secondBin(second)) * float(i) / rate);
    };
    return datagen::encodeOggVorbis(stereo(20.0f, tone, tone), 2, rate, 0.5f);
}

int peakBin(const float* spectrum)
{
    int best = 0;
    for (int k = 1; k < 512; ++k) {
        if (spectrum[k] > spectrum[best]) {
            best = k;
        }
    }
    return best;
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setBatchMode(true);
        zipPath = tempPath("data.zip");
        screen.outputType = outputOffline;
        screen.soundDriver = 0;
    }
    void TearDown() override
    {
        sound.reset();
        loader.close();
        if (coreLog.created) {
            log.close();
        }
        std::remove(zipPath.c_str());
    }

    // Opens an archive holding the given entries and runs Sound::init on it.
    int start(const std::vector<datagen::Asset>& entries)
    {
        EXPECT_EQ(datagen::writeZip(zipPath, entries), "");
        loader.close();
        loader.open(zipPath.c_str());
        EXPECT_TRUE(loader.opened);
        sound = std::make_unique<Sound>();
        return sound->init();
    }
    int startWithMusic(std::vector<uint8_t> ogg) { return start({{Sound::musicPath, std::move(ogg)}}); }

    // Pulls `frames` frames through the offline output.
    void advance(int frames)
    {
        std::vector<float> block(size_t(frames) * size_t(sound->outputChannels()));
        ASSERT_EQ(sound->mix(block.data(), frames), frames);
        lastBlock = block;
    }
    void advanceMs(int ms) { advance(int(int64_t(ms) * rate / 1000)); }

    std::string zipPath;
    LogCapture log;
    std::unique_ptr<Sound> sound;
    std::vector<float> lastBlock;
};

TEST_F(SoundTest, SineOnABinCentreReadsFullScaleThereAndNothingFarAway)
{
    for (int bin : {3, 64, 300}) {
        SCOPED_TRACE(bin);
        ASSERT_EQ(startWithMusic(sineOgg(bin, 0.8f, 0.8f)), 0);
        EXPECT_TRUE(sound->loaded);
        sound->play();
        advanceMs(500);
        const float* spectrum = sound->getSpectrum();
        EXPECT_NEAR(spectrum[bin], 1.0f, 0.05f);
        for (int k = 0; k < 512; ++k) {
            if (std::abs(k - bin) > 3) {
                EXPECT_LT(spectrum[k], 0.02f) << "bin " << k;
            }
        }
    }
}

TEST_F(SoundTest, OneSidedSignalsAverageToHalf)
{
    ASSERT_EQ(startWithMusic(sineOgg(40, 0.8f, 0.0f)), 0);
    sound->play();
    advanceMs(300);
    EXPECT_NEAR(sound->getSpectrum()[40], 0.5f, 0.03f);

    ASSERT_EQ(startWithMusic(sineOgg(40, 0.0f, 0.8f)), 0);
    sound->play();
    advanceMs(300);
    EXPECT_NEAR(sound->getSpectrum()[40], 0.5f, 0.03f);
}

TEST_F(SoundTest, SeekMovesThePositionAndTheNextSpectrumComesFromThere)
{
    ASSERT_EQ(startWithMusic(steppedOgg()), 0);
    sound->play();
    advanceMs(1500);
    EXPECT_EQ(peakBin(sound->getSpectrum()), secondBin(1));

    // The GUI's time setter passes t × 1000 truncated.
    sound->seek(static_cast<unsigned int>(12.3456f * 1000.0f));
    EXPECT_EQ(sound->getPosition(), 12345u);  // before the audio thread has moved
    advance(1024);
    EXPECT_EQ(peakBin(sound->getSpectrum()), secondBin(12));
    EXPECT_EQ(sound->getPosition(), 12345u + 1024u * 1000u / rate);

    sound->seek(0);  // "Reset"
    EXPECT_EQ(sound->getPosition(), 0u);
    advance(1024);
    EXPECT_EQ(peakBin(sound->getSpectrum()), secondBin(0));
}

TEST_F(SoundTest, PauseHoldsThePositionAndResumeContinues)
{
    ASSERT_EQ(startWithMusic(steppedOgg()), 0);
    sound->play();
    advanceMs(2000);
    unsigned int held = sound->getPosition();
    EXPECT_EQ(held, 2000u);

    sound->pause();
    advanceMs(3000);
    EXPECT_EQ(sound->getPosition(), held);
    for (float sample : lastBlock) {
        ASSERT_EQ(sample, 0.0f);  // a paused channel outputs silence
    }

    // Pause, set the time, play: the music continues from the new time.
    sound->seek(5000);
    advanceMs(100);
    EXPECT_EQ(sound->getPosition(), 5000u);
    sound->resume();
    advance(1024);
    EXPECT_EQ(peakBin(sound->getSpectrum()), secondBin(5));
    EXPECT_GT(sound->getPosition(), 5000u);
}

TEST_F(SoundTest, PlayRestartsFromTheBeginningAndStopSilences)
{
    ASSERT_EQ(startWithMusic(steppedOgg()), 0);
    advanceMs(1000);
    EXPECT_EQ(sound->getPosition(), 0u);  // nothing plays before play()
    sound->play();
    advanceMs(3000);
    sound->pause();
    sound->play();
    EXPECT_EQ(sound->getPosition(), 0u);
    advance(1024);
    EXPECT_EQ(peakBin(sound->getSpectrum()), secondBin(0));

    sound->stop();
    advance(2048);
    const float* spectrum = sound->getSpectrum();
    for (int k = 0; k < 512; ++k) {
        ASSERT_EQ(spectrum[k], 0.0f);
    }
}

// What the audio thread runs for every block (the output's render, here pulled through
// the offline output) never calls the heap: play() sets the decoder up, so neither the
// first block after it nor later ones (short and long blocks, the end of the music,
// seeks, a second play) allocate.
TEST_F(SoundTest, TheAudioThreadNeverAllocates)
{
    if (!countsHeapCalls) {
        GTEST_SKIP() << "a sanitizer's allocator is not counted";
    }
    // A tone with a click every 0.3 s: the encoder switches between long and short blocks.
    auto clicks = [](float t, size_t i) {
        const bool click = i % size_t(0.3f * rate) < 64;
        return 0.4f * std::sin(2 * pi * 440.0f * t) + (click ? 0.5f * ((i & 4) ? 1.0f : -1.0f) : 0.0f);
    };
    ASSERT_EQ(startWithMusic(datagen::encodeOggVorbis(stereo(6.0f, clicks, clicks), 2, rate, 0.5f)), 0);
    std::vector<float> block(size_t(1024) * size_t(sound->outputChannels()));
    long blocks = 0;
    auto playFor = [&](int ms) {
        for (int done = 0; done < ms * rate / 1000; done += 1024, ++blocks) {
            sound->mix(block.data(), 1024);
        }
    };

    heapCalls = 0;
    sound->play();
    const long setUp = heapCalls.exchange(0);
    playFor(7000);  // past the end
    sound->seek(2500);
    playFor(500);
    sound->seek(0);  // "Reset"
    playFor(500);
    sound->play();
    playFor(500);
    const long calls = heapCalls.exchange(0);
    EXPECT_EQ(calls, 0) << "heap calls in " << blocks << " blocks on the audio thread";
    EXPECT_GT(setUp, 0) << "play() set the decoder up";
}

TEST_F(SoundTest, VolumeScalesTheOutputAndIsClamped)
{
    ASSERT_EQ(startWithMusic(sineOgg(64, 0.8f, 0.8f)), 0);
    EXPECT_FLOAT_EQ(sound->getVolume(), 1.0f);
    sound->play();
    sound->setVolume(0.5f);
    EXPECT_FLOAT_EQ(sound->getVolume(), 0.5f);
    advanceMs(200);
    EXPECT_NEAR(sound->getSpectrum()[64], 0.5f, 0.03f);

    sound->setVolume(3.0f);
    EXPECT_FLOAT_EQ(sound->getVolume(), 1.0f);
    sound->setVolume(-1.0f);
    EXPECT_FLOAT_EQ(sound->getVolume(), 0.0f);
    sound->setVolume(std::nanf(""));
    EXPECT_FLOAT_EQ(sound->getVolume(), 0.0f);
}

TEST_F(SoundTest, EndOfTheMusicHoldsItsLengthAndSeekingBackStillPlays)
{
    ASSERT_EQ(startWithMusic(steppedOgg()), 0);
    EXPECT_EQ(sound->getLength(), 20000u);
    sound->play();
    sound->seek(60000);  // past the end: the end
    advanceMs(500);
    EXPECT_EQ(sound->getPosition(), 20000u);
    for (float sample : lastBlock) {
        ASSERT_EQ(sample, 0.0f);
    }
    sound->seek(3000);
    advance(1024);
    EXPECT_EQ(peakBin(sound->getSpectrum()), secondBin(3));
}

TEST_F(SoundTest, MonoMusicAtAnotherRateFillsBothChannelsAtItsOwnRate)
{
    const int monoRate = 22050;
    std::vector<float> mono(size_t(monoRate) * 3);
    for (size_t i = 0; i < mono.size(); ++i) {
        mono[i] = 0.8f * std::sin(2 * pi * 100.0f * float(i) / 1024.0f);  // bin 100 at any rate
    }
    ASSERT_EQ(startWithMusic(datagen::encodeOggVorbis(mono, 1, monoRate, 0.6f)), 0);
    EXPECT_EQ(sound->outputRate(), monoRate);
    EXPECT_EQ(sound->outputChannels(), 2);
    EXPECT_EQ(sound->getLength(), 3000u);
    sound->play();
    advance(monoRate);  // one second at the music's rate
    EXPECT_EQ(sound->getPosition(), 1000u);
    for (size_t i = 0; i < lastBlock.size(); i += 2) {
        ASSERT_EQ(lastBlock[i], lastBlock[i + 1]);
    }
    EXPECT_NEAR(sound->getSpectrum()[100], 1.0f, 0.05f);
}

TEST_F(SoundTest, MissingMusicLogsOneLineAndShowsNoBox)
{
    log.open("sound");
    testing::internal::CaptureStderr();
    EXPECT_EQ(start({{"objects/other.mmf", {1, 2, 3}}}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(sound->loaded);
    EXPECT_NE(log.text().find("\n sound init: no data.\n"), std::string::npos);

    // Everything after is a no-op with neutral results.
    sound->play();
    sound->update();
    sound->seek(1000);
    sound->setVolume(0.3f);
    sound->pause();
    sound->resume();
    sound->stop();
    EXPECT_EQ(sound->getVolume(), 0.0f);
    EXPECT_EQ(sound->getPosition(), 0u);
    const float* spectrum = sound->getSpectrum();
    for (int k = 0; k < 512; ++k) {
        ASSERT_EQ(spectrum[k], 0.0f);
    }
}

TEST_F(SoundTest, CorruptMusicFailsWithABoxAndLeavesTheDemoSilent)
{
    std::vector<uint8_t> ogg = sineOgg(64, 0.8f, 0.8f);
    std::vector<uint8_t> garbage(ogg.size(), 0x5a);
    std::vector<uint8_t> truncated(ogg.begin(), ogg.begin() + 20);
    for (const std::vector<uint8_t>& bad : {garbage, truncated}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(startWithMusic(bad), 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("Sound::init: The music is not a valid Ogg Vorbis stream. (", 0), 0u) << err;
        EXPECT_FALSE(sound->loaded);
        EXPECT_EQ(sound->result, soundErrFormat);
        sound->play();
        advanceMs(100);  // the output still runs, silently
        for (float sample : lastBlock) {
            ASSERT_EQ(sample, 0.0f);
        }
    }
}

TEST_F(SoundTest, SpectrumWithoutMusicIsZeros)
{
    Sound fresh;
    const float* spectrum = fresh.getSpectrum();
    for (int k = 0; k < 512; ++k) {
        ASSERT_EQ(spectrum[k], 0.0f);
    }
}

// Refuses every layout but stereo, like a device that cannot take the default one.
class StereoOnlyOutput : public AudioOutput {
public:
    explicit StereoOnlyOutput(std::vector<int>* opens, int failure) : opens(opens), failure(failure) {}
    int start(int, const std::string&, std::string*) override { return soundOk; }
    int open(int rate, int channels, RenderFn, void*, std::string* detail) override
    {
        opens->push_back(channels);
        if (channels != 2 || failure == soundErrOutputOpen) {
            *detail = "device says no";
            return failure;
        }
        openRate = rate;
        return soundOk;
    }
    void close() override {}
    void shutdown() override {}
    int rate() const override { return openRate; }
    int channels() const override { return 2; }
    std::string describe() const override { return "stereo only"; }

    std::vector<int>* opens;
    int failure;
    int openRate = 0;
};

TEST_F(SoundTest, LayoutRefusalIsRetriedOnceInStereoAndOtherFailuresAreNot)
{
    ASSERT_EQ(datagen::writeZip(zipPath, {{Sound::musicPath, sineOgg(8, 0.5f, 0.5f, 0.5f)}}), "");
    loader.open(zipPath.c_str());

    std::vector<int> opens;
    sound = std::make_unique<Sound>();
    sound->useOutput(std::make_unique<StereoOnlyOutput>(&opens, soundErrOutputCreateBuffer));
    EXPECT_EQ(sound->init(), 0);
    EXPECT_EQ(opens, (std::vector<int>{0, 2}));  // the device's own layout, then stereo
    EXPECT_TRUE(sound->loaded);

    opens.clear();
    sound = std::make_unique<Sound>();
    sound->useOutput(std::make_unique<StereoOnlyOutput>(&opens, soundErrOutputOpen));
    testing::internal::CaptureStderr();
    EXPECT_EQ(sound->init(), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(opens.size(), 1u);
    EXPECT_EQ(err, "Sound::init: Error opening the audio output device. (device says no)\n");
    EXPECT_FALSE(sound->loaded);
}

float energy(const std::vector<float>& samples)
{
    float sum = 0.0f;
    for (float v : samples) {
        sum += v * v;
    }
    return sum;
}

TEST(MusicChannelClock, OnADeviceTheWindowEndsAtTheFramePlayingNow)
{
    std::vector<uint8_t> ogg = sineOgg(64, 0.8f, 0.8f, 1.0f);
    MusicChannel channel;
    std::string detail;
    ASSERT_EQ(channel.open(reinterpret_cast<const char*>(ogg.data()), ogg.size(), &detail), 0);
    channel.attach();
    channel.start();
    std::vector<float> block(1024 * 2);
    channel.render(block.data(), 1024, 2);  // music
    channel.stop();
    auto handedOver = std::chrono::steady_clock::now();
    channel.render(block.data(), 1024, 2);  // silence, handed to the device just now

    std::vector<float> left(1024), right(1024);
    channel.latestWindow(left.data(), right.data(), 1024, false);
    EXPECT_EQ(energy(left), 0.0f);  // the newest rendered frames
    channel.latestWindow(left.data(), right.data(), 1024, true);
    // The device is still near the start of the silent block (unless this thread was
    // held up for most of a block, which a busy machine may do).
    if (std::chrono::steady_clock::now() - handedOver < std::chrono::milliseconds(10)) {
        EXPECT_GT(energy(left), 100.0f);
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // more than a block's 23 ms
    channel.latestWindow(left.data(), right.data(), 1024, true);
    EXPECT_EQ(energy(left), 0.0f);
    EXPECT_EQ(energy(right), 0.0f);
}

TEST(MusicChannelDamage, DamagedOrTruncatedStreamsNeverCrashAndStayFinite)
{
    const std::vector<uint8_t> ogg = sineOgg(20, 0.8f, 0.5f, 3.0f);
    uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<float> block(1024 * 2);
    int opened = 0;
    for (int variant = 0; variant < 150; ++variant) {
        std::vector<uint8_t> bytes = ogg;
        if (variant % 3 == 0) {
            bytes.resize(bytes.size() * (next() % 100) / 100);  // cut anywhere
        } else {
            for (int flips = 1 + int(next() % 8); flips > 0; --flips) {
                bytes[next() % bytes.size()] ^= uint8_t(1 + next() % 255);
            }
        }
        MusicChannel channel;
        std::string detail;
        if (channel.open(reinterpret_cast<const char*>(bytes.data()), bytes.size(), &detail) != 0) {
            continue;
        }
        ++opened;
        channel.attach();
        channel.start();
        channel.seek(1500);
        for (int i = 0; i < 200; ++i) {  // 4.6 s: past the end
            channel.render(block.data(), 1024, 2);
            for (float v : block) {
                ASSERT_TRUE(std::isfinite(v)) << "variant " << variant;
            }
        }
        EXPECT_LE(channel.positionMs(), 3000u);
        channel.takeError(&detail);
    }
    EXPECT_GT(opened, 50);  // most damage lands in audio pages, which the decoder skips
}

TEST(SoundResult, TextsAndVersions)
{
    EXPECT_STREQ(soundErrorString(0), "No errors.");
    EXPECT_STREQ(soundErrorString(56), "Error creating hardware sound buffer. ");
    EXPECT_STREQ(soundErrorString(-7), "Unknown error.");
    EXPECT_STREQ(soundErrorString(57), "Unknown error.");
    EXPECT_EQ(soundErrorText(56, ""), "Error creating hardware sound buffer. ");
    EXPECT_EQ(soundErrorText(102, "No such device"), "Error opening the audio output device. (No such device)");

    LibraryVersion v;
    ASSERT_TRUE(parseVersion("Xiph.Org libVorbis 1.3.7", &v));
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 3);
    EXPECT_EQ(v.patch, 7);
    ASSERT_TRUE(parseVersion("2.26", &v));
    EXPECT_EQ(v.patch, 0);
    EXPECT_FALSE(parseVersion("libVorbis I 20200704", &v));
    EXPECT_FALSE(parseVersion("", &v));
    EXPECT_FALSE(parseVersion(nullptr, &v));

    EXPECT_TRUE(versionAtLeast({2, 26, 5}, minimumSdlVersion));
    EXPECT_TRUE(versionAtLeast({2, 0, 18}, {2, 0, 18}));
    EXPECT_FALSE(versionAtLeast({2, 0, 17}, {2, 0, 18}));
    EXPECT_FALSE(versionAtLeast({1, 99, 99}, {2, 0, 0}));
    EXPECT_TRUE(versionAtLeast({3, 0, 0}, {2, 30, 0}));
}

}  // namespace
