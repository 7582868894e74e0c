#include "audio/sound.h"

#include "base/log.h"
#include "base/screen_settings.h"
#include "audio/audio_output.h"
#include "audio/sound_result.h"
#include "platform/audio_device.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <vorbis/codec.h>

#include <new>

Sound::Sound() = default;

Sound::~Sound()
{
    // The output goes first: once it is shut, no audio thread reads the stream or the buffer.
    if (output) {
        output->shutdown();
        output.reset();
    }
    channel.close();
    delete[] music;
}

void Sound::errorBox(const char* caption)
{
    platform::messageBox(caption, soundErrorText(result, detail), platform::MessageIcon::Error);
}

// Stands in for creating the audio system: the libraries must be as new as this code.
int Sound::createSystem(const char* caption)
{
    LibraryVersion sdl;
    platform::audioLibraryVersion(&sdl.major, &sdl.minor, &sdl.patch);
    LibraryVersion vorbis;
    bool knownVorbis = parseVersion(vorbis_version_string(), &vorbis);
    // The version box names the library that is too old (SDL and Vorbis take the place
    // of the one audio library the message was written for).
    if (!versionAtLeast(sdl, minimumSdlVersion)) {
        platform::messageBox(caption, "You are using too old SDL version, please upgrade.",
                             platform::MessageIcon::Error);
        return 1;
    }
    if (knownVorbis && !versionAtLeast(vorbis, minimumVorbisVersion)) {
        platform::messageBox(caption, "You are using too old Vorbis version, please upgrade.",
                             platform::MessageIcon::Error);
        return 1;
    }
    systemCreated = true;
    return 0;
}

int Sound::getDeviceName(std::vector<std::string>& names)
{
    if (!systemCreated && createSystem("Sound::getDeviceName") != 0) {
        return 1;
    }
    autodetectDeviceNames(names);
    deviceNames = names;
    return 0;
}

void Sound::getOutputMethods(std::vector<OutputMethod>& rows)
{
    rows.clear();
    rows.push_back({"Auto detect best method", outputAutodetect});
    const std::vector<std::string>& drivers = platform::usableAudioDrivers();
    for (size_t i = 0; i < drivers.size(); ++i) {
        rows.push_back({drivers[i], outputDriverBase + int(i)});
    }
    rows.push_back({"No Sound", outputNoSound});
}

int Sound::initOutput(const std::string& device)
{
    if (!output) {
        output = makeAudioOutput(screenSettings.outputType);
    }
    detail.clear();
    result = output->start(screenSettings.outputType, device, &detail);
    if (result == soundOk) {
        result = output->open(mixRate, speakerChannels, MusicChannel::renderInto, &channel, &detail);
    }
    return result;
}

int Sound::init()
{
    if (!systemCreated && createSystem("Sound::init") != 0) {
        return 1;
    }
    // The driver row and the output method; a row the lists do not have means the default.
    int row = screenSettings.soundDriver;
    std::string device = row >= 0 && row < int(deviceNames.size()) ? deviceNames[size_t(row)] : std::string();
    if (initOutput(device) == soundErrOutputCreateBuffer) {
        speakerChannels = 2;
        initOutput(device);
    }
    if (result != soundOk) {
        errorBox("Sound::init");
        return 1;
    }
    CORE_LOG(" sound output: " << output->describe());

    uint32_t size = loader.fileSize(musicPath);
    if (size == 0) {
        CORE_LOG(" sound init: no data.");
        noteLoadFailure(musicPath, "sound init: no data");
        return 1;
    }
    char* buffer = new (std::nothrow) char[size];
    if (!buffer) {
        result = soundErrMemory;
        detail = "music of " + std::to_string(size) + " bytes";
        errorBox("Sound::init");
        return 1;
    }
    if (loader.readFile(musicPath, &buffer) != 0) {
        delete[] buffer;
        return 1;
    }
    music = buffer;
    musicSize = size;
    result = channel.open(music, musicSize, &detail);
    if (result == soundOk && channel.rate() != output->rate()) {
        // The device opened before the music's rate was known; reopen it at that rate.
        int channels = output->channels();
        output->close();
        result = output->open(channel.rate(), channels, MusicChannel::renderInto, &channel, &detail);
    }
    if (result != soundOk) {
        channel.close();
        errorBox("Sound::init");
        return 1;
    }
    channel.attach();
    loaded = true;
    return 0;
}

void Sound::play()
{
    if (loaded) {
        channel.start();
    }
}

void Sound::update()
{
    if (!loaded) {
        return;
    }
    std::string reason;
    int code = channel.takeError(&reason);
    if (code != soundOk) {
        result = code;
        detail = reason;
        errorBox("Sound::update");
    }
}

const float* Sound::getSpectrum()
{
    if (!loaded) {
        return spectrum;
    }
    channel.latestWindow(windowLeft, windowRight, Spectrum::windowSize, output && output->realTime());
    analyser.analyse(windowLeft, spectrum);
    analyser.analyse(windowRight, spectrumRight);
    for (int k = 0; k < Spectrum::bins; ++k) {
        spectrum[k] = (spectrumRight[k] + spectrum[k]) * 0.5f;
    }
    return spectrum;
}

void Sound::pause()
{
    if (loaded) {
        channel.setPaused(true);
    }
}

void Sound::resume()
{
    if (loaded) {
        channel.setPaused(false);
    }
}

void Sound::seek(unsigned int milliseconds)
{
    if (loaded) {
        channel.seek(milliseconds);
    }
}

void Sound::setVolume(float volume)
{
    if (loaded) {
        channel.setVolume(volume);
    }
}

float Sound::getVolume() { return loaded ? channel.volume() : 0.0f; }

void Sound::stop()
{
    if (loaded) {
        channel.stop();
    }
}

unsigned int Sound::getPosition() { return loaded ? channel.positionMs() : 0; }

unsigned int Sound::getLength() { return loaded ? channel.lengthMs() : 0; }

int Sound::mix(float* out, int frames) { return output ? output->pull(out, frames) : 0; }

int Sound::outputRate() const { return output ? output->rate() : 0; }

int Sound::outputChannels() const { return output ? output->channels() : 0; }

void Sound::useOutput(std::unique_ptr<AudioOutput> replacement)
{
    if (output) {
        output->shutdown();
    }
    output = std::move(replacement);
}
