// MusicChannel: the one channel the music plays on. It decodes an Ogg Vorbis stream
// straight out of the caller's memory block (no copy: the block must outlive the
// channel) and mixes it into the output on the audio thread.
//
// Threads: open/close on the main thread while no render() runs for this stream
// (before attach, or after the output is closed). Every control call (start, stop,
// pause, seek, volume, position, latestWindow, takeError) is lock-free and never waits
// for the audio thread; render() is the audio thread's only entry. render() allocates
// nothing (the first start() after open sets the decoder up on the caller's thread) and
// outputs silence until the stream is attached and started.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct OggVorbis_File;

class MusicChannel {
public:
    // Frames of output kept for the spectrum window (a power of two, room for the
    // window plus two device blocks of up to 4096 frames).
    static constexpr int historyFrames = 16384;

    MusicChannel();
    ~MusicChannel();
    MusicChannel(const MusicChannel&) = delete;
    MusicChannel& operator=(const MusicChannel&) = delete;

    // Opens the stream over data[0..size). 0 on success, else a sound result code
    // (sound_result.h) with the decoder's reason in *detail. Reads only the headers and
    // the stream's end: nothing is decoded up front.
    int open(const char* data, size_t size, std::string* detail);
    // Hands the opened stream to render(). Main thread, after open.
    void attach();
    // Closes the stream; only once render() can no longer run for it.
    void close();
    bool isOpen() const { return file != nullptr; }
    int rate() const { return sampleRate; }
    // Length of the stream in milliseconds.
    uint32_t lengthMs() const;

    // From the beginning, unpaused. The first call after open also sets the decoder up
    // (its tables and buffers, under a millisecond), which render() would otherwise do
    // on the audio thread; render() does not touch the stream before this first start.
    void start();
    void stop();
    void setPaused(bool paused);
    bool paused() const { return pausedFlag.load(std::memory_order_relaxed); }
    // Moves the play position; the next rendered frame is the one at `milliseconds`
    // (the end of the stream when past it).
    void seek(uint32_t milliseconds);
    // The same to frame `frame` of the stream (at rate()).
    void seekFrame(int64_t frame);
    // The play position in milliseconds: frames rendered so far, or the target of a
    // seek that the audio thread has not done yet.
    uint32_t positionMs() const;
    void setVolume(float volume);  // clamped to [0, 1]
    float volume() const { return volumeLevel.load(std::memory_order_relaxed); }
    // The last decoder failure reported by render() (0 when none), and clears it.
    int takeError(std::string* detail);

    // Audio thread: fills `frames` interleaved frames of `channels` samples (left,
    // right, then silence for any further channel; a mono output gets their mean).
    void render(float* out, int frames, int channels);
    // render() as an output device's callback, `user` being the channel.
    static void renderInto(void* user, float* out, int frames, int channels)
    {
        static_cast<MusicChannel*>(user)->render(out, frames, channels);
    }

    // The newest `count` (<= 8192) output frames, left and right apart. With
    // `followClock` (a device that plays each block in real time after render()
    // returned it) the window ends at the frame the device is playing now, found from
    // the time since the last block was rendered; without, at the last frame rendered.
    void latestWindow(float* left, float* right, int count, bool followClock = false) const;

private:
    // Sets the decoder up on the calling thread (a few hundred heap calls) by decoding
    // the first prepareFrames frames; once per opened stream.
    void prepare();
    void applySeek();
    int decode(float* out, int frames, int channels, float gain);
    void remember(const float* out, int frames, int channels);

    OggVorbis_File* file = nullptr;
    int sampleRate = 44100;
    int64_t totalFrames = 0;
    const char* memory = nullptr;
    size_t memorySize = 0;
    size_t memoryPos = 0;
    bool prepared = false;  // prepare() has run for the open stream
    static constexpr int prepareFrames = 8192;

    std::atomic<bool> attached{false};
    std::atomic<bool> playing{false};
    std::atomic<bool> pausedFlag{false};
    std::atomic<bool> ended{false};
    std::atomic<float> volumeLevel{1.0f};
    std::atomic<int64_t> seekTarget{-1};   // frame index, -1 when none is pending
    std::atomic<int64_t> positionFrames{0};
    std::atomic<int> error{0};

    std::atomic<float> history[historyFrames * 2];  // left/right pairs, a ring
    std::atomic<uint64_t> historyWritten{0};        // frames ever written
    std::atomic<uint64_t> blockStart{0};            // the last block: its first frame,
    std::atomic<int> blockFrames{0};                // its length
    std::atomic<int64_t> blockTime{0};              // and when it was rendered (steady clock, ns)

    friend struct MemoryCallbacks;
};
