#include "core/offline.h"

#include "base/options.h"
#include "base/screen_settings.h"
#include "audio/music_channel.h"
#include "audio/sound.h"
#include "audio/spectrum.h"
#include "core/capture_stream.h"
#include "core/core.h"
#include "core/video_codec.h"
#include "effects/effect.h"
#include "effects/sfmt.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <epoxy/gl.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <poll.h>
#include <thread>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// ---- the music, decoded on the main thread for the flash ----

class MusicSpectrum {
public:
    // Opens the archive's music; false (and zeros from then on) without it.
    bool open()
    {
        const uint32_t size = loader.fileSize(Sound::musicPath);
        if (size == 0) {
            return false;
        }
        data.reset(new (std::nothrow) char[size]);
        char* buffer = data.get();
        if (!buffer || loader.readFile(Sound::musicPath, &buffer) != 0) {
            return false;
        }
        bytes = size;
        std::string detail;
        if (channel.open(data.get(), size, &detail) != 0) {
            std::fprintf(stderr, "coredemo: music not decodable for the flash: %s\n", detail.c_str());
            return false;
        }
        channel.attach();
        channel.start();
        opened = true;
        return true;
    }

    // Decodes the 50 ms before `time` and analyses the last window of it, both
    // channels averaged, as the player's spectrum does for what it outputs.
    const float* at(float time)
    {
        if (!opened) {
            return bins;
        }
        const int rate = channel.rate();
        const int64_t endFrame = int64_t(std::llround(double(time) * rate));
        const int64_t startMs = std::max<int64_t>(0, int64_t(std::floor(double(time) * 1000.0)) - 50);
        const int64_t startFrame = startMs * rate / 1000;
        channel.seek(uint32_t(startMs));
        int64_t remaining = std::max<int64_t>(endFrame - startFrame, Spectrum::windowSize);
        while (remaining > 0) {
            const int n = int(std::min<int64_t>(remaining, chunkFrames));
            channel.render(scratch, n, 2);
            remaining -= n;
        }
        channel.latestWindow(left, right, Spectrum::windowSize);
        analyser.analyse(left, bins);
        analyser.analyse(right, rightBins);
        for (int k = 0; k < Spectrum::bins; ++k) {
            bins[k] = (bins[k] + rightBins[k]) * 0.5f;
        }
        return bins;
    }

    const char* musicData() const { return data.get(); }
    uint32_t musicSize() const { return bytes; }

    ~MusicSpectrum()
    {
        if (opened) {
            channel.stop();
            channel.close();
        }
    }

private:
    static constexpr int chunkFrames = 1024;
    std::unique_ptr<char[]> data;
    uint32_t bytes = 0;
    bool opened = false;
    MusicChannel channel;
    Spectrum analyser;
    float scratch[chunkFrames * 2] = {};
    float left[Spectrum::windowSize] = {};
    float right[Spectrum::windowSize] = {};
    float bins[Spectrum::bins] = {};
    float rightBins[Spectrum::bins] = {};
};

// Opened on first use and kept for the rest of the run (the decoded copy of the music
// must outlive the channel that reads it).
MusicSpectrum* musicDecoder()
{
    static std::unique_ptr<MusicSpectrum> decoder;
    static bool tried = false;
    if (!tried) {
        tried = true;
        decoder = std::make_unique<MusicSpectrum>();
        if (!decoder->open()) {
            decoder.reset();
        }
    }
    return decoder.get();
}

// ---- frames ----

// The size of the pictures written: the band, reduced from its larger frame when
// supersampled.
int pictureWidth()
{
    return core.supersampler.active() ? core.supersampler.pictureWidth() : screenSettings.viewportWidth;
}

int pictureHeight()
{
    return core.supersampler.active() ? core.supersampler.pictureHeight() : screenSettings.viewportHeight;
}

// Reads the band of the back buffer (rows bottom-up) into pixels laid out as `layout`;
// supersampled, the picture reduced from the off-screen frame. BGRA is desktop GL's own
// layout here: read as it is, seven times faster than RGB.
void readBand(std::vector<uint8_t>& pixels, PixelLayout layout)
{
    if (core.supersampler.active()) {
        core.supersampler.readPicture(pixels, layout);
        return;
    }
    pixels.resize(size_t(screenSettings.viewportWidth) * size_t(screenSettings.viewportHeight) *
                  size_t(bytesPerPixel(layout)));
    glReadBuffer(GL_BACK);
    gpu::readPixels(core.viewportX, core.viewportY, screenSettings.viewportWidth, screenSettings.viewportHeight, layout,
                    pixels.data());
}

// A frame whose picture nobody sees: the parts' state advances, the rasteriser does
// next to nothing and the music is not analysed for a flash nobody sees.
void warmUpFrame(float time)
{
    const bool post = core.postprocess;
    const bool flash = core.spectrum;
    core.postprocess = false;
    core.spectrum = false;
    core.setClock(time);
    core.renderFrameUnseen();
    core.renderedUntil = std::max(core.renderedUntil, core.time);
    core.postprocess = post;
    core.spectrum = flash;
}

// True once the user asked to stop (Escape, closing the window, SIGINT or SIGTERM,
// which arrive as a close request) while rendering.
bool interrupted()
{
    static bool stop = false;
    platform::Event event;
    while (!stop && platform::pollEvent(&event)) {
        stop = event.kind == platform::Event::Close ||
               ((event.kind == platform::Event::KeyDown || event.kind == platform::Event::Text) && event.key == 27);
    }
    return stop;
}

// Every chain starts the shared generator from this seed, so that what one part draws
// does not depend on what the parts of other chains drew, at init or later.
constexpr uint32_t chainSeed = 12345;

// Puts the chain holding `time` into its start state (the shared generator and every
// part of the chain restarted) and replays the chain's grid frames before `time`, so
// that the frame at `time` is the same whatever was rendered before it. False when the
// user asked to stop in the middle (a replay can take minutes).
bool enterChain(float time, int fps)
{
    const ChainSpan chain = chainAt(core.schedule, core.effectCount, time);
    if (!chain.valid()) {
        return true;
    }
    seedRandom(chainSeed);
    for (unsigned int i = 0; i < core.effectCount; ++i) {
        const ScheduleEntry& entry = core.schedule[i];
        if (entry.effect && chain.start <= entry.startTime && entry.startTime < chain.end) {
            entry.effect->restart();
        }
    }
    for (int64_t k = firstGridFrame(chain.start, fps); gridTime(k, fps) < time; ++k) {
        if (interrupted()) {
            return false;
        }
        warmUpFrame(gridTime(k, fps));
    }
    return true;
}

// Renders the frame at `time` fully into the back buffer and reads it; shows it in the
// window when `show` (a swap costs a copy of the whole window to the display).
void renderAt(float time, std::vector<uint8_t>& pixels, bool show = true, PixelLayout layout = PixelLayout::Rgb)
{
    core.setClock(time);
    core.renderFrame();
    core.renderedUntil = std::max(core.renderedUntil, core.time);
    readBand(pixels, layout);
    if (show) {
        if (core.supersampler.active()) {
            core.supersampler.showPicture();
        }
        platform::swapBuffers();
    }
    ++core.frames;
}

// A capture shows two frames a second of the video in the window, and its last: enough
// to follow it, without paying a swap per frame.
bool shownWhileCapturing(int frame, int count)
{
    const int every = std::max(1, options.fps / 2);
    return frame % every == 0 || frame == count - 1;
}

// ---- the encoder process ----

// The music of a capture, decoded from the archive's music frame by frame (opened on the
// main thread, then decoded on the frame writer's): grid frame k holds the samples from
// k / fps to (k + 1) / fps, so the music of a capture ends with its last frame, a
// stopped capture's with its last frame written, and spans captured apart join without
// a gap.
class CaptureMusic {
public:
    // The music from grid frame `first` on at `fps`; false without music.
    bool open(int64_t first, int fps)
    {
        MusicSpectrum* music = musicDecoder();
        std::string detail;
        if (!music || music->musicSize() == 0 || channel.open(music->musicData(), music->musicSize(), &detail) != 0) {
            return false;
        }
        framesPerSecond = fps;
        channel.attach();
        channel.start();
        channel.seekFrame(sampleAt(first));
        return true;
    }
    int rate() const { return channel.rate(); }
    int64_t sampleAt(int64_t k) const { return std::llround(double(k) * channel.rate() / framesPerSecond); }
    // The most bytes appendFrame appends.
    size_t largestFrameBytes() const { return size_t(channel.rate() / framesPerSecond + 2) * 2 * sizeof(float) + 16; }
    // Appends the block of grid frame k's music: the frame after the one appended last
    // (or the first).
    void appendFrame(int64_t k, std::vector<uint8_t>& out)
    {
        // The stream's samples are little-endian IEEE floats: the machine's own here.
        static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "music samples are written as the machine holds them");
        int64_t remaining = sampleAt(k + 1) - sampleAt(k);
        appendBlockHead(out, captureMusicTrack, uint64_t(remaining) * 2 * sizeof(float));
        while (remaining > 0) {
            const int count = int(std::min<int64_t>(remaining, chunkFrames));
            channel.render(samples, count, 2);
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(samples);
            out.insert(out.end(), bytes, bytes + size_t(count) * 2 * sizeof(float));
            remaining -= count;
        }
    }

private:
    static constexpr int chunkFrames = 2048;
    MusicChannel channel;
    int framesPerSecond = 30;
    float samples[chunkFrames * 2] = {};
};

using Clock = std::chrono::steady_clock;

// How long a stopped capture waits for each step before it forces the next, counted
// from the moment the stop was noticed, so that the program is gone within a second
// even when the encoder never reads: the frame being written may finish, then the
// encoder may finish the file on the end of its input, then it gets SIGTERM (on which
// ffmpeg finishes the file too), and last SIGKILL.
constexpr auto pollSlice = std::chrono::milliseconds(20);
constexpr auto frameGrace = std::chrono::milliseconds(150);
constexpr auto finishGrace = std::chrono::milliseconds(600);
constexpr auto terminateGrace = std::chrono::milliseconds(800);

// Whether, and since when, the user asked a capture to stop; poll() looks at the
// window's events (the main thread's only).
class StopRequest {
public:
    bool poll()
    {
        if (!requested && interrupted()) {
            requested = true;
            at = Clock::now();
        }
        return requested;
    }
    bool asked() const { return requested; }
    bool past(Clock::duration grace) const { return requested && Clock::now() - at >= grace; }

private:
    bool requested = false;
    Clock::time_point at;
};

// ffmpeg reads one stream on its standard input, through a pipe (nothing is left behind
// in the file system however the program ends); its own process group, so that a
// Ctrl-C in the terminal reaches the program alone, which then ends the video with the
// frames rendered so far.
struct Encoder {
    int input = -1;  // the pipe's end we write, non-blocking
    pid_t pid = -1;
};

bool startEncoder(const std::vector<std::string>& args, Encoder& encoder)
{
    // Everything the child needs is made before fork: with other threads running, it
    // may not allocate (nor print through stdio).
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const std::string cannotRun = "coredemo: cannot run " + args[0] + ": ";
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        // The copy dup2 makes survives exec; every end opened here closes on it.
        dup2(ends[0], STDIN_FILENO);
        execvp(argv[0], argv.data());
        char* reason = std::strerror(errno);
        iovec line[] = {{const_cast<char*>(cannotRun.data()), cannotRun.size()},
                        {reason, std::strlen(reason)},
                        {const_cast<char*>("\n"), 1}};
        writev(STDERR_FILENO, line, 3);
        _exit(127);
    }
    setpgid(pid, pid);  // either side may set it first
    encoder.pid = pid;
    close(ends[0]);
    encoder.input = ends[1];
    return fcntl(encoder.input, F_SETFL, O_NONBLOCK) == 0;
}

// Signals the encoder's process group (the encoder alone if the group is not formed).
void signalEncoder(const Encoder& encoder, int signal)
{
    if (kill(-encoder.pid, signal) != 0) {
        kill(encoder.pid, signal);
    }
}

enum class EncoderEnd { Finished, Failed, Stopped };

// Waits for the encoder after its input was closed; once a stop is asked, ends it as
// the graces above say. Finished when it exited with 0 by itself, Stopped when it had
// to be signalled.
EncoderEnd finishEncoder(Encoder& encoder, StopRequest& stop)
{
    if (encoder.input >= 0) {
        close(encoder.input);
        encoder.input = -1;
    }
    if (encoder.pid <= 0) {
        return EncoderEnd::Failed;
    }
    bool terminated = false;
    bool killed = false;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(encoder.pid, &status, WNOHANG);
        if (done == encoder.pid || (done < 0 && errno != EINTR)) {
            break;
        }
        stop.poll();
        if (!terminated && stop.past(finishGrace)) {
            signalEncoder(encoder, SIGTERM);
            terminated = true;
        }
        if (!killed && stop.past(terminateGrace)) {
            signalEncoder(encoder, SIGKILL);
            killed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    encoder.pid = -1;
    if (terminated) {
        return EncoderEnd::Stopped;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? EncoderEnd::Finished : EncoderEnd::Failed;
}

// Writes all of data[0..size) to the non-blocking descriptor, waiting for room in short
// slices; false on a write error or once `abandon` is set.
bool writeAll(int fd, const uint8_t* data, size_t size, const std::atomic<bool>& abandon)
{
    while (size > 0) {
        if (abandon.load(std::memory_order_relaxed)) {
            return false;
        }
        const ssize_t n = write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        } else {
            pollfd room = {fd, POLLOUT, 0};
            poll(&room, 1, int(std::chrono::milliseconds(pollSlice).count()));
        }
    }
    return true;
}

// Hands captured frames, each with its music, to the encoder's stream (core/
// capture_stream.h) on a thread of its own, so that the next frame renders while the
// encoder takes in this one. Two buffers: the caller renders into one while the other
// is written; frames reach the stream in order. The caller's waits (submit, finish)
// look for a stop request in short slices, and a write never blocks for longer than a
// slice, so a stopped capture ends even when the encoder has stopped reading.
class FrameWriter {
public:
    enum class Submitted { Queued, Failed, Stopped };

    // The first frame submitted is grid frame `first`; `music` may be null (no music
    // track). Writes on `fd`, which stays the caller's.
    FrameWriter(int fd, const CaptureStreamFormat& format, CaptureMusic* music, int fps, int64_t first)
        : fd(fd), music(music), framesPerSecond(fps), first(first)
    {
        packet.reserve(std::max<size_t>(4096, music ? music->largestFrameBytes() + 64 : 0));
        appendStreamHead(packet, format);
        thread = std::thread([this] { writeStream(); });
    }
    ~FrameWriter()
    {
        if (thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                closing = true;
                abandon = true;
                changed.notify_all();
            }
            thread.join();
        }
    }
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // The buffer to render the next frame into: no write is using it.
    std::vector<uint8_t>& next() { return buffers[filling]; }

    // Queues the buffer from next() behind the frame being written. Failed once any
    // write has failed (the frames after a failed one are not written); Stopped, with
    // nothing queued, when the user asked to stop while the previous frame was written.
    Submitted submit(StopRequest& stop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!changed.wait_for(lock, pollSlice, [this] { return queued < 0; })) {
            lock.unlock();
            const bool stopped = stop.poll();
            lock.lock();
            if (stopped) {
                return Submitted::Stopped;
            }
        }
        queued = filling;
        filling ^= 1;
        changed.notify_all();
        return failed ? Submitted::Failed : Submitted::Queued;
    }

    // Writes what was submitted and ends the thread; once a stop is asked, the frame
    // being written gets frameGrace before it is abandoned. False if a write failed or
    // was abandoned.
    bool finish(StopRequest& stop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        closing = true;
        changed.notify_all();
        while (!changed.wait_for(lock, pollSlice, [this] { return ended; })) {
            lock.unlock();
            const bool late = stop.poll() && stop.past(frameGrace);
            lock.lock();
            abandon = abandon || late;
        }
        lock.unlock();
        thread.join();
        return !failed;
    }

private:
    void writeStream()
    {
        std::unique_lock<std::mutex> lock(mutex);
        lock.unlock();
        const bool headed = writeAll(fd, packet.data(), packet.size(), abandon);
        lock.lock();
        failed = !headed;
        for (int64_t index = 0;; ++index) {
            changed.wait(lock, [this] { return queued >= 0 || closing; });
            if (queued < 0) {
                break;  // closing with nothing left
            }
            const std::vector<uint8_t>& frame = buffers[queued];
            const bool skip = failed;
            lock.unlock();
            const bool ok = skip || writeFrame(index, frame);
            lock.lock();
            failed = failed || !ok;
            queued = -1;
            changed.notify_all();
        }
        ended = true;
        changed.notify_all();
    }

    // The cluster of the capture's frame `index`: the picture, then its music.
    bool writeFrame(int64_t index, const std::vector<uint8_t>& frame)
    {
        packet.clear();
        appendClusterHead(packet, captureFrameMicroseconds(index, framesPerSecond));
        appendBlockHead(packet, captureVideoTrack, frame.size());
        if (!writeAll(fd, packet.data(), packet.size(), abandon) ||
            !writeAll(fd, frame.data(), frame.size(), abandon)) {
            return false;
        }
        if (!music) {
            return true;
        }
        packet.clear();
        music->appendFrame(first + index, packet);
        return writeAll(fd, packet.data(), packet.size(), abandon);
    }

    const int fd;
    CaptureMusic* const music;
    const int framesPerSecond;
    const int64_t first;
    std::vector<uint8_t> packet;  // the writing thread's: heads and music
    std::vector<uint8_t> buffers[2];
    int filling = 0;    // the buffer next() gives
    int queued = -1;    // the buffer being written, -1 when none
    bool failed = false;
    bool closing = false;
    bool ended = false;
    std::atomic<bool> abandon{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;  // after the rest: starts once it is set
};

std::string formatSeconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

// ---- the two modes ----

int runShots()
{
    std::error_code error;
    std::filesystem::create_directories(options.outDir, error);
    std::vector<uint8_t> pixels;
    const size_t count = options.shotTimes.size();
    for (size_t i = 0; i < count; ++i) {
        if (interrupted()) {
            std::fprintf(stderr, "coredemo: interrupted\n");
            return 1;
        }
        const float t = options.shotTimes[i];
        const std::string path = (std::filesystem::path(options.outDir) / shotFileName(t)).string();
        if (!enterChain(t, options.fps)) {
            std::fprintf(stderr, "coredemo: interrupted\n");
            return 1;
        }
        renderAt(t, pixels);
        if (writePng(path, pixels.data(), pictureWidth(), pictureHeight()) != 0) {
            std::fprintf(stderr, "coredemo: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("shot %zu/%zu: %g s -> %s\n", i + 1, count, double(t), path.c_str());
        std::fflush(stdout);
    }
    return 0;
}

// The progress line: rewritten in place on a terminal, otherwise one line per tenth.
void progress(int frame, int count, float time)
{
    static const bool terminal = isatty(fileno(stdout)) != 0;
    const int percent = count > 0 ? frame * 100 / count : 100;
    const int previous = count > 0 ? (frame - 1) * 100 / count : 0;
    if (terminal) {
        std::printf("\rcapture: frame %d/%d (%.2f s, %d%%)", frame, count, double(time), percent);
    } else if (frame == count || percent / 10 != previous / 10) {
        std::printf("capture: frame %d/%d (%.2f s, %d%%)\n", frame, count, double(time), percent);
    }
    std::fflush(stdout);
}

// Renders grid frame `k` of the capture into pixels, entering its chain first when the
// previous frame of the capture lay outside it (or there was none); `show` as renderAt.
// False, with nothing rendered, when the user asked to stop during the chain's replay.
bool renderCaptureFrame(int64_t k, bool first, bool show, std::vector<uint8_t>& pixels, PixelLayout layout)
{
    const int fps = options.fps;
    const float t = gridTime(k, fps);
    const ChainSpan chain = chainAt(core.schedule, core.effectCount, t);
    if (chain.valid() && (first || !(chainAt(core.schedule, core.effectCount, gridTime(k - 1, fps)) == chain)) &&
        !enterChain(t, fps)) {
        return false;
    }
    renderAt(t, pixels, show, layout);
    return true;
}

int captureFrames(const std::string& folder, int count)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::vector<uint8_t> pixels;
    char name[32];
    for (int i = 0; i < count; ++i) {
        const int64_t k = firstCaptureFrame(options.captureFrom, options.fps) + i;
        if (interrupted() || !renderCaptureFrame(k, i == 0, shownWhileCapturing(i, count), pixels, PixelLayout::Rgb)) {
            std::fprintf(stderr, "\ncoredemo: interrupted after %d frames\n", i);
            return 1;
        }
        const float t = gridTime(k, options.fps);
        std::snprintf(name, sizeof name, "frame-%06d.png", i);
        const std::string path = (std::filesystem::path(folder) / name).string();
        if (writePng(path, pixels.data(), pictureWidth(), pictureHeight()) != 0) {
            std::fprintf(stderr, "\ncoredemo: cannot write %s\n", path.c_str());
            return 1;
        }
        progress(i + 1, count, t);
    }
    std::printf("%scapture: %d frames in %s\n", isatty(fileno(stdout)) ? "\n" : "", count, folder.c_str());
    return 0;
}

int captureVideo(const std::string& path, int count)
{
    const int width = pictureWidth();
    const int height = pictureHeight();
    const double duration = double(count) / options.fps;
    const int64_t first = firstCaptureFrame(options.captureFrom, options.fps);
    CaptureMusic music;
    const bool withMusic = music.open(first, options.fps);
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "matroska", "-i", "pipe:0", "-map", "0:v"};
    if (withMusic) {
        args.insert(args.end(), {"-map", "0:a"});
        const std::vector<std::string> audio = audioCodecArguments(path);
        args.insert(args.end(), audio.begin(), audio.end());
    }
    const std::vector<std::string> video = videoCodecArguments(path, options.crf);
    args.insert(args.end(), video.begin(), video.end());
    args.insert(args.end(), {"-r", std::to_string(options.fps), "-t", formatSeconds(duration)});
    args.push_back(path);

    std::error_code error;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, error);
    }
    // A dying encoder must fail the write, not kill the program.
    std::signal(SIGPIPE, SIG_IGN);
    Encoder encoder;
    StopRequest stop;
    if (!startEncoder(args, encoder)) {
        std::fprintf(stderr, "coredemo: cannot start ffmpeg\n");
        finishEncoder(encoder, stop);
        return 1;
    }
    const CaptureStreamFormat format = {width, height, withMusic ? music.rate() : 0};
    bool written = true;
    int submittedFrames = 0;
    {
        FrameWriter writer(encoder.input, format, withMusic ? &music : nullptr, options.fps, first);
        for (int i = 0; i < count && written; ++i) {
            const int64_t k = first + i;
            if (stop.poll() ||
                !renderCaptureFrame(k, i == 0, shownWhileCapturing(i, count), writer.next(), PixelLayout::Bgra)) {
                break;
            }
            const FrameWriter::Submitted submitted = writer.submit(stop);
            if (submitted == FrameWriter::Submitted::Stopped) {
                break;
            }
            written = submitted == FrameWriter::Submitted::Queued;
            ++submittedFrames;
            progress(i + 1, count, gridTime(k, options.fps));
        }
        written = writer.finish(stop) && written;
    }
    const EncoderEnd end = finishEncoder(encoder, stop);
    if (stop.asked()) {
        if (submittedFrames == 0) {
            std::fprintf(stderr, "\ncoredemo: interrupted before the first frame of %s\n", path.c_str());
        } else if (end == EncoderEnd::Finished) {
            std::fprintf(stderr, "\ncoredemo: interrupted; %s holds the frames rendered so far\n", path.c_str());
        } else {
            std::fprintf(stderr, "\ncoredemo: interrupted; ffmpeg did not finish %s\n", path.c_str());
        }
        return 1;
    }
    if (!written || end != EncoderEnd::Finished) {
        std::fprintf(stderr, "\ncoredemo: ffmpeg failed to encode %s\n", path.c_str());
        return 1;
    }
    std::printf("%scapture: %d frames, %.2f s -> %s\n", isatty(fileno(stdout)) ? "\n" : "", count, duration,
                path.c_str());
    return 0;
}

int runCapture()
{
    const int count = captureFrameCount(options.captureFrom, options.captureTo, options.fps);
    if (isVideoPath(options.capturePath)) {
        return captureVideo(options.capturePath, count);
    }
    return captureFrames(options.capturePath, count);
}

}  // namespace

ChainSpan chainAt(const ScheduleEntry* entries, unsigned int count, float time)
{
    ChainSpan chain;
    bool grown = true;
    // Grows [start, end) from the entries active at `time` by every entry overlapping it
    // until nothing more joins.
    while (grown) {
        grown = false;
        for (unsigned int i = 0; i < count; ++i) {
            const ScheduleEntry& entry = entries[i];
            if (!(entry.startTime < entry.endTime)) {
                continue;
            }
            const bool joins = chain.valid() ? entry.startTime < chain.end && chain.start < entry.endTime
                                             : entryActive(entry, time);
            if (joins && (!chain.valid() || entry.startTime < chain.start || chain.end < entry.endTime)) {
                chain.start = chain.valid() ? std::min(chain.start, entry.startTime) : entry.startTime;
                chain.end = chain.valid() ? std::max(chain.end, entry.endTime) : entry.endTime;
                grown = true;
            }
        }
    }
    return chain;
}

float gridTime(int64_t k, int fps) { return float(double(k) / double(fps)); }

int64_t firstGridFrame(float time, int fps)
{
    int64_t k = int64_t(std::ceil(double(time) * fps));
    while (gridTime(k - 1, fps) >= time) {
        --k;
    }
    while (gridTime(k, fps) < time) {
        ++k;
    }
    return k;
}

int64_t firstCaptureFrame(float from, int fps) { return std::llround(double(from) * fps); }

int captureFrameCount(float from, float to, int fps)
{
    if (fps <= 0 || !(to > from)) {
        return 0;
    }
    return int(std::llround(double(to) * fps) - firstCaptureFrame(from, fps));
}

std::string shotFileName(float time)
{
    // The fewest significant digits that read back as the same float: 57 and 57.00001
    // get different names, 18.5 stays "18.5".
    char number[32];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(number, sizeof number, "%.*g", digits, double(time));
        if (std::strtof(number, nullptr) == time) {
            break;
        }
    }
    return std::string("shot-") + number + ".png";
}

bool isVideoPath(const std::string& path) { return hasExtension(path, ".mp4") || isLosslessVideoPath(path); }

int writePng(const std::string& path, const uint8_t* rgb, int width, int height)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return 1;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = size_t(width) * 3;
    for (int row = height - 1; row >= 0; --row) {
        png_write_row(png, const_cast<png_bytep>(rgb + size_t(row) * stride));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 ? 0 : 1;
}

const float* musicSpectrumAt(float time)
{
    static const float silence[Spectrum::bins] = {};
    MusicSpectrum* music = musicDecoder();
    return music ? music->at(time) : silence;
}

int runOffline()
{
    // Nothing plays live: the flash reads the music decoded here at each frame's time.
    if (sound.loaded) {
        sound.pause();
    }
    core.spectrumAt = musicSpectrumAt;
    int result = 0;
    if (!options.shotTimes.empty()) {
        result = runShots();
    }
    if (result == 0 && !options.capturePath.empty()) {
        result = runCapture();
    }
    core.spectrumAt = nullptr;
    return result;
}
