// Audio output over SDL2: driver choice, device enumeration and one callback-driven
// output stream. Only this folder includes SDL; src/audio decodes and mixes.
//
// All calls except the callback are main-thread only. The callback runs on SDL's
// audio thread from openAudioDevice until closeAudioDevice returns; it must fill
// `frames` interleaved float frames of `channels` samples each and never block.
// One driver runs at a time: startAudioDriver stops the running one first, which is
// refused while a device is open.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Version of the SDL library linked at run time.
void audioLibraryVersion(int* major, int* minor, int* patch);

// Names of the compiled-in drivers that start on this machine, in SDL's order, without
// the "dummy" (silent) and "disk" (file) drivers. Probed on the first call (each
// driver is started and stopped once, the running one is restarted afterwards) and
// cached; later calls return the cached list.
const std::vector<std::string>& usableAudioDrivers();

// Starts the named driver (nullptr: SDL's own choice, which honours SDL_AUDIODRIVER).
// False with SDL's reason in *error.
bool startAudioDriver(const char* name, std::string* error);
void stopAudioDriver();
// The running driver's name, "" when none runs.
std::string currentAudioDriver();

// Output device names of the running driver, in its order (empty when none runs).
void audioDeviceNames(std::vector<std::string>& names);
// Channel count the named output device prefers ("" = the default device), or 0 when
// the driver does not say.
int audioDeviceChannels(const std::string& name);

using AudioCallback = void (*)(void* user, float* out, int frames, int channels);

struct AudioFormat {
    int rate = 44100;
    int channels = 2;
    int frames = 1024;  // samples per callback (a power of two); the driver may choose another size
};

// Opens the named output device ("" = the driver's default) for 32-bit float samples
// and starts the callback. Rate and channel count are exactly as asked (SDL converts
// for the hardware); the block size may change, *have tells. Returns a device id > 0,
// or 0 with SDL's reason in *error.
uint32_t openAudioDevice(const std::string& name, const AudioFormat& want, AudioFormat* have,
                         AudioCallback callback, void* user, std::string* error);
// Stops the callback (waits for a running one to return) and closes the device.
void closeAudioDevice(uint32_t device);

}  // namespace platform
