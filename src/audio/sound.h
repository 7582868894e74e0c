// Sound: the demo's one music player (output device choice, playback, pause, seeking,
// volume, spectrum). One process-wide object (`sound`, globals.cpp). Every operation
// after init does nothing (or returns zeros) while `loaded` is false.
//
// The music (an Ogg Vorbis file in the archive) is read whole into a buffer this object
// owns until exit and is decoded from there, block by block, on the audio thread, which
// never allocates (play() sets the decoder up first): the main thread never waits for
// the audio device. Main-thread calls
// only; failures show a box with the operation's name as caption and leave the demo
// running silently.
#pragma once
#include "audio/music_channel.h"
#include "audio/spectrum.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One row of the dialog's output method list and the code it stores in
// Screen::outputType. Auto and "No Sound" keep their fixed codes; each SDL audio
// driver row gets outputDriverBase + its driver index.
struct OutputMethod {
    std::string text;
    int outputType = 0;
};
constexpr int outputAutodetect = 0;
constexpr int outputNoSound = 2;  // SDL's silent driver: the music runs in real time, unheard
constexpr int outputOffline = 3;  // never offered in the dialog: the owner pulls samples (Sound::mix)
constexpr int outputDriverBase = 100;

class AudioOutput;

class Sound {
public:
    // The archive entry of the music.
    static constexpr const char* musicPath = "music/drovel-contemplation.ogg";
    // Rate the output runs at until the music says otherwise.
    static constexpr int mixRate = 44100;

    bool loaded = false;
    // Result code of the last back-end call that was looked at (sound_result.h).
    int result = 0;

    Sound();
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // Output device names of the auto-detected driver for the settings dialog (also
    // remembered for init, which opens the Screen::soundDriver row). 0 on success.
    int getDeviceName(std::vector<std::string>& names);
    // Output method rows for the settings dialog: auto, one per usable driver, "No Sound".
    static void getOutputMethods(std::vector<OutputMethod>& rows);
    // Opens the output chosen in the settings and the music from the archive.
    // 0 when the music is loaded; failures are reported and leave the demo silent.
    int init();
    // From the beginning, unpaused. The first call sets the decoder up (about a
    // millisecond) so that the audio thread finds it ready.
    void play();
    // Per-frame work: reports a decoder failure of the audio thread.
    void update();
    // 512 magnitudes in [0, 1] of what is being output now, both channels averaged;
    // zeros without music.
    const float* getSpectrum();
    void pause();
    void resume();
    void seek(unsigned int milliseconds);
    void setVolume(float volume);
    float getVolume();
    void stop();

    // The music file changed while playing: `bytes` become the music (copied), which
    // goes on at `milliseconds` with the same volume and pause state. "" on success;
    // else why not, and the old music plays on (unless the output would not reopen).
    std::string reloadMusic(const std::vector<char>& bytes, unsigned int milliseconds);
    // The music position in milliseconds (0 without music).
    unsigned int getPosition();
    // Length of the music in milliseconds (0 without music).
    unsigned int getLength();
    // Offline output only: renders the next `frames` frames of mixChannels() interleaved
    // float samples at mixRate() into out and advances the music by as much. Returns
    // the frames written (0 with any other output or before init opened it).
    int mix(float* out, int frames);
    int outputRate() const;
    int outputChannels() const;

    // Puts a given output in place of the one init would choose (tests, capture).
    void useOutput(std::unique_ptr<AudioOutput> replacement);

private:
    int createSystem(const char* caption);
    int initOutput(const std::string& device);
    void errorBox(const char* caption);

    bool systemCreated = false;
    std::unique_ptr<AudioOutput> output;
    MusicChannel channel;
    char* music = nullptr;       // the file, kept for the whole run
    uint32_t musicSize = 0;
    int speakerChannels = 0;     // 0: the device's own layout; 2 after the stereo retry
    std::string detail;          // the failing library's own words for `result`
    std::vector<std::string> deviceNames;

    float spectrum[8192] = {};
    float spectrumRight[8192] = {};
    float windowLeft[Spectrum::windowSize] = {};
    float windowRight[Spectrum::windowSize] = {};
    Spectrum analyser;
};

extern Sound sound;
