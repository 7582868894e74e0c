// The music file edited while the demo plays (resources/reload.h): the new stream
// replaces the old one and goes on from the demo's time.
#include "audio/audio_output.h"
#include "audio/sound.h"
#include "audio/sound_result.h"

#include <cstring>
#include <new>

std::string Sound::reloadMusic(const std::vector<char>& bytes, unsigned int milliseconds)
{
    if (!loaded || !output) {
        return "the music is off (no sound output)";
    }
    char* copy = new (std::nothrow) char[bytes.size()];
    if (!copy) {
        return "out of memory for " + std::to_string(bytes.size()) + " bytes";
    }
    std::memcpy(copy, bytes.data(), bytes.size());
    // The new stream must open before the playing one is touched.
    std::string why;
    {
        MusicChannel probe;
        if (probe.open(copy, bytes.size(), &why) != soundOk) {
            delete[] copy;
            return "not a playable music file: " + why;
        }
        probe.close();
    }
    const bool wasPaused = channel.paused();
    const float volume = channel.volume();
    const int channels = output->channels();
    // The audio thread reads the old block until its output is closed.
    output->close();
    channel.close();
    delete[] music;
    music = copy;
    musicSize = uint32_t(bytes.size());
    result = channel.open(music, musicSize, &detail);
    if (result == soundOk) {
        result = output->open(channel.rate(), channels, MusicChannel::renderInto, &channel, &detail);
    }
    if (result != soundOk) {
        channel.close();
        loaded = false;
        return "the sound output did not reopen: " + detail;
    }
    channel.attach();
    channel.start();
    channel.setVolume(volume);
    channel.seek(milliseconds);
    channel.setPaused(wasPaused);
    return std::string();
}
