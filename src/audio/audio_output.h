// AudioOutput: where Sound's mixed samples go. Two kinds exist:
//   - the device output: an SDL audio driver and device, whose callback pulls samples
//     on the audio thread in real time (the dialog's output rows choose the driver;
//     "No Sound" is SDL's silent dummy driver, which still pulls in real time);
//   - the offline output: nothing pulls by itself; the owner calls pull() to advance
//     the music by exactly the frames it asks for (offline capture, tests).
// Main thread only, except the render function, which the output calls on its thread.
#pragma once
#include "audio/sound.h"

#include <memory>
#include <string>
#include <vector>

class AudioOutput {
public:
    using RenderFn = void (*)(void* user, float* out, int frames, int channels);

    virtual ~AudioOutput() = default;

    // Starts the driver for `outputType` and picks the device named `device` when the
    // driver has one by that name (else its default device). A sound result code.
    virtual int start(int outputType, const std::string& device, std::string* detail) = 0;
    // Opens the output stream at `rate` with `channels` (0: the device's own layout)
    // and starts calling render. soundErrOutputCreateBuffer when the device refused a
    // layout other than stereo; another code for any other failure.
    virtual int open(int rate, int channels, RenderFn render, void* user, std::string* detail) = 0;
    // Stops calling render and closes the stream (the driver stays up).
    virtual void close() = 0;
    // close(), then stops the driver.
    virtual void shutdown() = 0;
    virtual int rate() const = 0;
    virtual int channels() const = 0;
    // True when a device plays the samples in real time as they are rendered.
    virtual bool realTime() const { return true; }
    // A line for the log saying which output is in use.
    virtual std::string describe() const = 0;
    // Offline output only: renders `frames` frames of channels() samples into out and
    // returns the count; 0 for device outputs or while no stream is open.
    virtual int pull(float* /*out*/, int /*frames*/) { return 0; }
};

// The output for a Screen::outputType value: offline for outputOffline, else device.
std::unique_ptr<AudioOutput> makeAudioOutput(int outputType);

// Device names of the driver "Auto detect best method" chooses (started on demand).
void autodetectDeviceNames(std::vector<std::string>& names);
