#include "audio/audio_output.h"

#include "audio/sound_result.h"
#include "platform/audio_device.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr const char* silentDriver = "dummy";
constexpr int blockFrames = 1024;

// The driver an output type names: nullptr for auto-detection (also for a code no row
// stores, as an unknown output choice leaves the output at auto-detection).
const char* driverFor(int outputType)
{
    if (outputType == outputNoSound) {
        return silentDriver;
    }
    const std::vector<std::string>& drivers = platform::usableAudioDrivers();
    int index = outputType - outputDriverBase;
    if (index >= 0 && index < int(drivers.size())) {
        return drivers[size_t(index)].c_str();
    }
    return nullptr;
}

// Starts `name` unless it already runs (nullptr: SDL's choice, kept when any runs).
bool ensureDriver(const char* name, std::string* error)
{
    std::string running = platform::currentAudioDriver();
    if (!running.empty() && (name == nullptr || running == name)) {
        return true;
    }
    return platform::startAudioDriver(name, error);
}

class DeviceOutput : public AudioOutput {
public:
    ~DeviceOutput() override { shutdown(); }

    int start(int outputType, const std::string& device, std::string* detail) override
    {
        close();
        autodetect = driverFor(outputType) == nullptr;
        if (!ensureDriver(driverFor(outputType), detail)) {
            // Auto-detection on a machine with no usable output: the silent driver is
            // the best method left, and the music still runs in real time.
            if (!autodetect || !platform::startAudioDriver(silentDriver, detail)) {
                return soundErrDriverInit;
            }
        }
        std::vector<std::string> names;
        platform::audioDeviceNames(names);
        deviceName = std::find(names.begin(), names.end(), device) != names.end() ? device : std::string();
        return soundOk;
    }

    int open(int rate, int channels, RenderFn render, void* user, std::string* detail) override
    {
        close();
        if (channels <= 0) {
            channels = platform::audioDeviceChannels(deviceName);
            channels = channels > 0 ? std::min(channels, 8) : 2;
        }
        renderFn = render;
        renderUser = user;
        platform::AudioFormat want;
        want.rate = rate;
        want.channels = channels;
        want.frames = blockFrames;
        pacedFrames = 0;
        paced = platform::currentAudioDriver() == silentDriver;
        device = platform::openAudioDevice(deviceName, want, &format, callback, this, detail);
        if (device != 0) {
            return soundOk;
        }
        if (channels != 2) {
            return soundErrOutputCreateBuffer;
        }
        if (autodetect && platform::currentAudioDriver() != silentDriver) {
            std::string ignored;
            if (platform::startAudioDriver(silentDriver, &ignored)) {
                deviceName.clear();
                pacedFrames = 0;
                paced = true;
                device = platform::openAudioDevice(deviceName, want, &format, callback, this, &ignored);
                if (device != 0) {
                    return soundOk;
                }
            }
        }
        return soundErrOutputOpen;
    }

    void close() override
    {
        platform::closeAudioDevice(device);
        device = 0;
    }

    void shutdown() override
    {
        close();
        platform::stopAudioDriver();
    }

    int rate() const override { return format.rate; }
    int channels() const override { return format.channels; }

    std::string describe() const override
    {
        std::string text = "driver " + platform::currentAudioDriver() + ", device ";
        text += deviceName.empty() ? "default" : deviceName;
        return text + ", " + std::to_string(format.rate) + " Hz, " + std::to_string(format.channels) +
               " channels, " + std::to_string(format.frames) + " frames per block";
    }

private:
    static void callback(void* user, float* out, int frames, int channels)
    {
        DeviceOutput* self = static_cast<DeviceOutput*>(user);
        self->renderFn(self->renderUser, out, frames, channels);
        if (self->paced) {
            self->pace(frames);
        }
    }

    // The silent driver waits a whole number of milliseconds per block and so runs
    // about 1% fast; this holds it to real time, so that "No Sound" keeps the music
    // where it would be with sound. Runs on the audio thread, which only this waits.
    void pace(int frames)
    {
        using Clock = std::chrono::steady_clock;
        Clock::time_point now = Clock::now();
        if (pacedFrames == 0) {
            pacedStart = now;
        }
        pacedFrames += frames;
        double rendered = double(pacedFrames) / format.rate;
        double elapsed = std::chrono::duration<double>(now - pacedStart).count();
        // One block ahead is normal: the driver waits that long after each block.
        double ahead = rendered - elapsed - double(frames) / format.rate;
        if (ahead > 0.0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(ahead));
        }
    }

    uint32_t device = 0;
    bool autodetect = true;
    bool paced = false;
    int64_t pacedFrames = 0;
    std::chrono::steady_clock::time_point pacedStart;
    std::string deviceName;
    platform::AudioFormat format;
    RenderFn renderFn = nullptr;
    void* renderUser = nullptr;
};

class OfflineOutput : public AudioOutput {
public:
    int start(int, const std::string&, std::string*) override { return soundOk; }

    int open(int rate, int channels, RenderFn render, void* user, std::string* detail) override
    {
        if (rate <= 0 || channels > 8) {
            *detail = "unsupported output format";
            return soundErrInvalidParameter;
        }
        outputRate = rate;
        outputChannels = channels > 0 ? channels : 2;
        renderFn = render;
        renderUser = user;
        return soundOk;
    }

    void close() override { renderFn = nullptr; }
    void shutdown() override { close(); }
    bool realTime() const override { return false; }
    int rate() const override { return outputRate; }
    int channels() const override { return outputChannels; }

    std::string describe() const override
    {
        return "offline output, " + std::to_string(outputRate) + " Hz, " + std::to_string(outputChannels) +
               " channels";
    }

    int pull(float* out, int frames) override
    {
        if (!renderFn || frames <= 0) {
            return 0;
        }
        renderFn(renderUser, out, frames, outputChannels);
        return frames;
    }

private:
    int outputRate = 44100;
    int outputChannels = 2;
    RenderFn renderFn = nullptr;
    void* renderUser = nullptr;
};

}  // namespace

std::unique_ptr<AudioOutput> makeAudioOutput(int outputType)
{
    if (outputType == outputOffline) {
        return std::make_unique<OfflineOutput>();
    }
    return std::make_unique<DeviceOutput>();
}

void autodetectDeviceNames(std::vector<std::string>& names)
{
    names.clear();
    std::string error;
    if (ensureDriver(nullptr, &error) || platform::startAudioDriver(silentDriver, &error)) {
        platform::audioDeviceNames(names);
    }
}
