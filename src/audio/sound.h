// Sound: the demo's one music player (output device choice, playback, pause, seeking,
// volume, spectrum). One process-wide object (`sound`, globals.cpp). Every operation
// after init does nothing (or returns zeros) while `loaded` is false.
#pragma once
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
constexpr int outputNoSound = 2;
constexpr int outputDriverBase = 100;

class Sound {
public:
    bool loaded = false;

    Sound() = default;
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // Output driver names for the settings dialog. 0 on success.
    int getDeviceName(std::vector<std::string>& names);
    // Output method rows for the settings dialog: auto, one per usable driver, "No Sound".
    static void getOutputMethods(std::vector<OutputMethod>& rows);
    // Opens the output chosen in the settings and the music from the archive.
    // 0 when the music is loaded; failures are reported and leave the demo silent.
    int init();
    void play();
    void update();
    // 512 magnitudes in [0, 1]; zeros without music.
    const float* getSpectrum();
    void pause();
    void resume();
    void seek(unsigned int milliseconds);
    void setVolume(float volume);
    float getVolume();
    void stop();

private:
    float spectrum[8192] = {};
};

extern Sound sound;
