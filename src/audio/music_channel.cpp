#include "audio/music_channel.h"

#include "audio/sound_result.h"

#include <vorbis/vorbisfile.h>

#include <chrono>
#include <cstdio>
#include <cstring>

// The decoder reads the caller's block through these; nothing is copied.
struct MemoryCallbacks {
    static size_t read(void* ptr, size_t size, size_t count, void* source)
    {
        MusicChannel* c = static_cast<MusicChannel*>(source);
        if (size == 0 || c->memoryPos >= c->memorySize) {
            return 0;
        }
        size_t items = (c->memorySize - c->memoryPos) / size;
        if (items > count) {
            items = count;
        }
        std::memcpy(ptr, c->memory + c->memoryPos, items * size);
        c->memoryPos += items * size;
        return items;
    }
    static int seek(void* source, ogg_int64_t offset, int whence)
    {
        MusicChannel* c = static_cast<MusicChannel*>(source);
        ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ogg_int64_t(c->memoryPos)
                                                                         : ogg_int64_t(c->memorySize);
        ogg_int64_t target = base + offset;
        if (target < 0 || target > ogg_int64_t(c->memorySize)) {
            return -1;
        }
        c->memoryPos = size_t(target);
        return 0;
    }
    static long tell(void* source) { return long(static_cast<MusicChannel*>(source)->memoryPos); }
};

namespace {

const char* vorbisErrorText(int code)
{
    switch (code) {
    case OV_EREAD:
        return "read error";
    case OV_ENOTVORBIS:
        return "not Vorbis data";
    case OV_EVERSION:
        return "Vorbis version mismatch";
    case OV_EBADHEADER:
        return "invalid Vorbis header";
    case OV_EFAULT:
        return "internal decoder error";
    case OV_EBADLINK:
        return "invalid stream section";
    case OV_EINVAL:
        return "invalid stream";
    default:
        return "decoder error";
    }
}

int64_t nowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

MusicChannel::MusicChannel()
{
    for (std::atomic<float>& sample : history) {
        sample.store(0.0f, std::memory_order_relaxed);
    }
}

MusicChannel::~MusicChannel() { close(); }

int MusicChannel::open(const char* data, size_t size, std::string* detail)
{
    close();
    if (!data || size == 0) {
        *detail = "empty music data";
        return soundErrInvalidParameter;
    }
    memory = data;
    memorySize = size;
    memoryPos = 0;
    file = new OggVorbis_File;
    ov_callbacks callbacks = {MemoryCallbacks::read, MemoryCallbacks::seek, nullptr, MemoryCallbacks::tell};
    int result = ov_open_callbacks(this, file, nullptr, 0, callbacks);
    if (result != 0) {
        // ov_open_callbacks has already released what it took on failure.
        delete file;
        file = nullptr;
        *detail = vorbisErrorText(result);
        return soundErrFormat;
    }
    vorbis_info* info = ov_info(file, -1);
    ogg_int64_t total = ov_pcm_total(file, -1);
    if (!info || info->rate <= 0 || info->rate > 384000 || info->channels <= 0 || total < 0) {
        close();
        *detail = "unusable stream layout";
        return soundErrFormat;
    }
    sampleRate = int(info->rate);
    totalFrames = total;
    return soundOk;
}

void MusicChannel::attach() { attached.store(file != nullptr, std::memory_order_release); }

void MusicChannel::close()
{
    attached.store(false, std::memory_order_release);
    playing.store(false);
    if (file) {
        ov_clear(file);
        delete file;
        file = nullptr;
    }
    prepared = false;
    totalFrames = 0;
}

uint32_t MusicChannel::lengthMs() const { return uint32_t(totalFrames * 1000 / sampleRate); }

void MusicChannel::start()
{
    prepare();
    seekTarget.store(0, std::memory_order_relaxed);
    pausedFlag.store(false, std::memory_order_relaxed);
    playing.store(true, std::memory_order_release);
}

void MusicChannel::prepare()
{
    if (!file || prepared) {
        return;
    }
    prepared = true;
    // The decoder builds its tables on the first packet and grows its block storage
    // over the first blocks; the audio thread's seek to the start comes next.
    int64_t done = 0;
    int holes = 0;
    while (done < prepareFrames) {
        float** pcm = nullptr;
        int section = 0;
        long got = ov_read_float(file, &pcm, int(prepareFrames - done), &section);
        if (got == OV_HOLE && ++holes <= 4096) {
            continue;
        }
        if (got <= 0) {
            break;  // a short or damaged stream: render() reports what it finds
        }
        done += got;
    }
}

void MusicChannel::stop() { playing.store(false, std::memory_order_release); }

void MusicChannel::setPaused(bool paused) { pausedFlag.store(paused, std::memory_order_relaxed); }

void MusicChannel::seek(uint32_t milliseconds)
{
    // Rounded up to the next frame, so that the position reads back the same milliseconds.
    seekFrame((int64_t(milliseconds) * sampleRate + 999) / 1000);
}

void MusicChannel::seekFrame(int64_t frame)
{
    frame = frame < 0 ? 0 : frame > totalFrames ? totalFrames : frame;
    seekTarget.store(frame, std::memory_order_release);
}

uint32_t MusicChannel::positionMs() const
{
    int64_t frame = seekTarget.load(std::memory_order_acquire);
    if (frame < 0) {
        frame = positionFrames.load(std::memory_order_acquire);
    }
    return uint32_t(frame * 1000 / sampleRate);
}

void MusicChannel::setVolume(float volume)
{
    if (!(volume >= 0.0f)) {
        volume = 0.0f;  // also a NaN
    }
    volumeLevel.store(volume > 1.0f ? 1.0f : volume, std::memory_order_relaxed);
}

int MusicChannel::takeError(std::string* detail)
{
    int code = error.exchange(0);
    if (code == 0) {
        return soundOk;
    }
    *detail = vorbisErrorText(code);
    return soundErrDecode;
}

void MusicChannel::applySeek()
{
    int64_t target = seekTarget.load(std::memory_order_acquire);
    if (target < 0) {
        return;
    }
    int result = target < totalFrames ? ov_pcm_seek(file, target) : 0;
    ended.store(target >= totalFrames || result != 0, std::memory_order_relaxed);
    if (result != 0) {
        error.store(result);
    }
    positionFrames.store(target, std::memory_order_release);
    // A newer seek that arrived meanwhile stays pending for the next block.
    seekTarget.compare_exchange_strong(target, -1, std::memory_order_acq_rel);
}

int MusicChannel::decode(float* out, int frames, int channels, float gain)
{
    int done = 0;
    int holes = 0;
    while (done < frames) {
        float** pcm = nullptr;
        int section = 0;
        long got = ov_read_float(file, &pcm, frames - done, &section);
        if (got == OV_HOLE) {
            // A damaged or missing page: the decoder resumes after it. Each hole uses
            // up data, so this ends; the bound only caps one block's work.
            if (++holes > 4096) {
                break;
            }
            continue;
        }
        if (got <= 0) {
            if (got < 0) {
                error.store(int(got));
            }
            ended.store(true, std::memory_order_relaxed);
            break;
        }
        vorbis_info* info = ov_info(file, -1);
        int right = info && info->channels > 1 ? 1 : 0;
        for (long i = 0; i < got; ++i) {
            float l = pcm[0][i] * gain;
            float r = pcm[right][i] * gain;
            float* frame = out + (done + i) * channels;
            if (channels == 1) {
                frame[0] = 0.5f * (l + r);
                continue;
            }
            frame[0] = l;
            frame[1] = r;
            for (int c = 2; c < channels; ++c) {
                frame[c] = 0.0f;
            }
        }
        done += int(got);
    }
    return done;
}

void MusicChannel::render(float* out, int frames, int channels)
{
    int done = 0;
    if (attached.load(std::memory_order_acquire) && playing.load(std::memory_order_acquire)) {
        applySeek();
        if (!pausedFlag.load(std::memory_order_relaxed) && !ended.load(std::memory_order_relaxed)) {
            done = decode(out, frames, channels, volumeLevel.load(std::memory_order_relaxed));
            positionFrames.fetch_add(done, std::memory_order_acq_rel);
        }
    }
    std::memset(out + done * channels, 0, size_t(frames - done) * channels * sizeof(float));
    remember(out, frames, channels);
}

void MusicChannel::remember(const float* out, int frames, int channels)
{
    uint64_t written = historyWritten.load(std::memory_order_relaxed);
    int right = channels > 1 ? 1 : 0;
    for (int i = 0; i < frames; ++i) {
        size_t slot = size_t((written + i) % historyFrames) * 2;
        history[slot].store(out[i * channels], std::memory_order_relaxed);
        history[slot + 1].store(out[i * channels + right], std::memory_order_relaxed);
    }
    blockStart.store(written, std::memory_order_relaxed);
    blockFrames.store(frames, std::memory_order_relaxed);
    blockTime.store(nowNanoseconds(), std::memory_order_relaxed);
    historyWritten.store(written + frames, std::memory_order_release);
}

void MusicChannel::latestWindow(float* left, float* right, int count, bool followClock) const
{
    uint64_t end = historyWritten.load(std::memory_order_acquire);
    uint64_t start = blockStart.load(std::memory_order_relaxed);
    int frames = blockFrames.load(std::memory_order_relaxed);
    // Only when the three describe the same block (render() may be writing the next).
    if (followClock && start + uint64_t(frames) == end) {
        double elapsed = double(nowNanoseconds() - blockTime.load(std::memory_order_relaxed)) * 1e-9;
        double played = elapsed > 0.0 ? elapsed * sampleRate : 0.0;
        end = start + uint64_t(played < frames ? played : frames);
    }
    for (int i = 0; i < count; ++i) {
        uint64_t frame = end + historyFrames - count + i;  // never below zero
        size_t slot = size_t(frame % historyFrames) * 2;
        left[i] = history[slot].load(std::memory_order_relaxed);
        right[i] = history[slot + 1].load(std::memory_order_relaxed);
    }
}
