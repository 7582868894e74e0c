#include "audio/sound.h"

// Placeholder until the audio back end exists: no device, no music.
Sound::~Sound() = default;
int Sound::getDeviceName(std::vector<std::string>& /*names*/) { return 0; }
void Sound::getOutputMethods(std::vector<OutputMethod>& rows)
{
    rows = {{"Auto detect best method", outputAutodetect}, {"No Sound", outputNoSound}};
}
int Sound::init() { return 1; }
void Sound::play() {}
void Sound::update() {}
const float* Sound::getSpectrum() { return spectrum; }
void Sound::pause() {}
void Sound::resume() {}
void Sound::seek(unsigned int /*milliseconds*/) {}
void Sound::setVolume(float /*volume*/) {}
float Sound::getVolume() { return 0.0f; }
void Sound::stop() {}
