#include "platform/audio_device.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// What SDL's callback needs to reach the caller's; one per open device, at most a few.
struct CallbackSlot {
    AudioCallback callback = nullptr;
    void* user = nullptr;
    int channels = 2;
    SDL_AudioDeviceID device = 0;
};
constexpr int maxDevices = 4;
CallbackSlot gSlots[maxDevices];

bool gDriverRunning = false;
bool gProbed = false;
std::vector<std::string> gUsable;

void sdlCallback(void* userdata, Uint8* stream, int len)
{
    const CallbackSlot* slot = static_cast<const CallbackSlot*>(userdata);
    int frames = len / int(sizeof(float)) / slot->channels;
    slot->callback(slot->user, reinterpret_cast<float*>(stream), frames, slot->channels);
}

int openDeviceCount()
{
    int count = 0;
    for (const CallbackSlot& slot : gSlots) {
        count += slot.device != 0 ? 1 : 0;
    }
    return count;
}

// A sound server's client library installed without its configuration (pulled in by
// another package, no server running) writes its complaints to our standard error when
// SDL tries it; a driver that does not start is reported by us, not by them. A log
// level the user gave is kept.
void quietServerLibraries() { setenv("PIPEWIRE_DEBUG", "0", 0); }

}  // namespace

void audioLibraryVersion(int* major, int* minor, int* patch)
{
    SDL_version linked;
    SDL_GetVersion(&linked);
    *major = linked.major;
    *minor = linked.minor;
    *patch = linked.patch;
}

const std::vector<std::string>& usableAudioDrivers()
{
    if (gProbed || openDeviceCount() > 0) {
        return gUsable;
    }
    gProbed = true;
    quietServerLibraries();
    std::string running = currentAudioDriver();
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
        const char* name = SDL_GetAudioDriver(i);
        if (!name || std::strcmp(name, "dummy") == 0 || std::strcmp(name, "disk") == 0) {
            continue;
        }
        if (SDL_AudioInit(name) == 0) {
            gUsable.push_back(name);
        }
        SDL_AudioQuit();
    }
    gDriverRunning = false;
    if (!running.empty()) {
        std::string ignored;
        startAudioDriver(running.c_str(), &ignored);
    }
    return gUsable;
}

bool startAudioDriver(const char* name, std::string* error)
{
    if (openDeviceCount() > 0) {
        *error = "an audio device is still open";
        return false;
    }
    stopAudioDriver();
    quietServerLibraries();
    if (SDL_AudioInit(name) != 0) {
        *error = SDL_GetError();
        SDL_AudioQuit();
        return false;
    }
    gDriverRunning = true;
    return true;
}

void stopAudioDriver()
{
    if (gDriverRunning) {
        SDL_AudioQuit();
        gDriverRunning = false;
    }
}

std::string currentAudioDriver()
{
    const char* name = gDriverRunning ? SDL_GetCurrentAudioDriver() : nullptr;
    return name ? name : "";
}

void audioDeviceNames(std::vector<std::string>& names)
{
    names.clear();
    if (!gDriverRunning) {
        return;
    }
    int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        names.push_back(name ? name : "");
    }
}

int audioDeviceChannels(const std::string& name)
{
    if (!gDriverRunning || name.empty()) {
        return 0;
    }
    int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        const char* candidate = SDL_GetAudioDeviceName(i, 0);
        SDL_AudioSpec spec;
        if (candidate && name == candidate && SDL_GetAudioDeviceSpec(i, 0, &spec) == 0) {
            return spec.channels;
        }
    }
    return 0;
}

uint32_t openAudioDevice(const std::string& name, const AudioFormat& want, AudioFormat* have,
                         AudioCallback callback, void* user, std::string* error)
{
    if (!gDriverRunning) {
        *error = "no audio driver is running";
        return 0;
    }
    CallbackSlot* slot = nullptr;
    for (CallbackSlot& candidate : gSlots) {
        if (candidate.device == 0) {
            slot = &candidate;
            break;
        }
    }
    if (!slot || want.channels <= 0 || want.channels > 255) {
        *error = slot ? "unsupported channel count" : "too many audio devices open";
        return 0;
    }
    slot->callback = callback;
    slot->user = user;
    slot->channels = want.channels;

    SDL_AudioSpec desired;
    SDL_zero(desired);
    desired.freq = want.rate;
    desired.format = AUDIO_F32SYS;
    desired.channels = Uint8(want.channels);
    // SDL 2.26 corrupts its heap when it replaces a block size that is not a power of two.
    int frames = 256;
    while (frames < want.frames && frames < 16384) {
        frames *= 2;
    }
    desired.samples = Uint16(frames);
    desired.callback = sdlCallback;
    desired.userdata = slot;
    SDL_AudioSpec obtained;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &desired, &obtained,
                                               SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (id == 0) {
        *error = SDL_GetError();
        slot->callback = nullptr;
        return 0;
    }
    slot->device = id;
    have->rate = obtained.freq;
    have->channels = obtained.channels;
    have->frames = obtained.samples;
    SDL_PauseAudioDevice(id, 0);
    return id;
}

void closeAudioDevice(uint32_t device)
{
    for (CallbackSlot& slot : gSlots) {
        if (device != 0 && slot.device == device) {
            SDL_CloseAudioDevice(device);
            slot = CallbackSlot();
        }
    }
}

}  // namespace platform
