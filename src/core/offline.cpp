#include "core/offline.h"

#include "base/options.h"
#include "base/screen_settings.h"
#include "audio/music_channel.h"
#include "audio/sound.h"
#include "audio/spectrum.h"
#include "core/core.h"
#include "core/video_codec.h"
#include "effects/effect.h"
#include "effects/sfmt.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <epoxy/gl.h>
#include <png.h>

#include <algorithm>
#include <cctype>
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
#include <thread>
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
// supersampled, the picture reduced from the off-screen frame. BGRA is the GL's own
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
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(core.viewportX, core.viewportY, screenSettings.viewportWidth, screenSettings.viewportHeight,
                 layout == PixelLayout::Rgb ? GL_RGB : GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
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

// The music of a capture for the encoder: raw stereo float samples at the music's rate,
// decoded from the archive's music as the frames are written. Grid frame k spans the
// samples from k / fps to (k + 1) / fps, so the music of a capture ends with its last
// frame and spans captured apart join without a gap.
class CaptureMusic {
public:
    // The music of grid frames first .. first + count - 1 at `fps`; false without music.
    bool open(int64_t first, int count, int fps)
    {
        MusicSpectrum* music = musicDecoder();
        std::string detail;
        if (!music || music->musicSize() == 0 || channel.open(music->musicData(), music->musicSize(), &detail) != 0) {
            return false;
        }
        framesPerSecond = fps;
        next = sampleAt(first);
        end = sampleAt(first + count);
        // The encoder takes in its inputs in turn and waits for whole blocks of music
        // (a 1024-sample packet, two for the first encoded one) while it holds the
        // frames back; the music of the frames in flight is not always that much. So
        // the music runs a little ahead, and an interrupted capture's past its last
        // frame by as much: none up to 21 fps, 13 ms at 25 fps, 26 ms at 30.
        lead = std::max(0, 4096 - 2 * channel.rate() / fps);
        channel.attach();
        channel.start();
        channel.seekFrame(next);
        return true;
    }
    int rate() const { return channel.rate(); }
    int64_t sampleAt(int64_t k) const { return std::llround(double(k) * channel.rate() / framesPerSecond); }
    // Where the music written ahead stops while the frames before grid frame k are
    // written: their music and a little more, or exactly theirs once no more come.
    int64_t target(int64_t k, bool last) const { return std::min(end, sampleAt(k) + (last ? 0 : lead)); }
    bool behind(int64_t k, bool last) const { return next < target(k, last); }
    // Writes the music from where it stands up to sample `upTo`; false on a write error.
    bool writeTo(int64_t upTo, FILE* out)
    {
        while (next < upTo) {
            const int count = int(std::min<int64_t>(upTo - next, chunkFrames));
            channel.render(samples, count, 2);
            if (std::fwrite(samples, sizeof(float), size_t(count) * 2, out) != size_t(count) * 2) {
                return false;
            }
            next += count;
        }
        return true;
    }

private:
    static constexpr int chunkFrames = 2048;
    MusicChannel channel;
    int framesPerSecond = 30;
    int lead = 0;
    int64_t next = 0;  // the next sample to write
    int64_t end = 0;   // the music's end: the capture's last frame's
    float samples[chunkFrames * 2] = {};
};

// ffmpeg reads the frames on its standard input and the music, when there is any, on
// descriptor 3: both through pipes, so nothing is left behind in the file system
// however the program ends.
struct Encoder {
    FILE* video = nullptr;
    FILE* audio = nullptr;
    pid_t pid = -1;
};
constexpr int encoderAudioFd = 3;

bool startEncoder(const std::vector<std::string>& args, bool withAudio, Encoder& encoder)
{
    int video[2];
    int audio[2] = {-1, -1};
    if (pipe2(video, O_CLOEXEC) != 0) {
        return false;
    }
    if (withAudio && pipe2(audio, O_CLOEXEC) != 0) {
        close(video[0]);
        close(video[1]);
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {video[0], video[1], audio[0], audio[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        return false;
    }
    if (pid == 0) {
        // A group of its own: a Ctrl-C in the terminal reaches the program alone, which
        // then ends the video with the frames rendered so far.
        setpgid(0, 0);
        // The copies dup2 makes survive exec; every end opened here closes on it.
        dup2(video[0], STDIN_FILENO);
        if (withAudio) {
            if (audio[0] == encoderAudioFd) {
                fcntl(encoderAudioFd, F_SETFD, 0);
            } else {
                dup2(audio[0], encoderAudioFd);
            }
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "coredemo: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    encoder.pid = pid;
    close(video[0]);
    encoder.video = fdopen(video[1], "wb");
    if (!encoder.video) {
        close(video[1]);
    }
    if (withAudio) {
        close(audio[0]);
        encoder.audio = fdopen(audio[1], "wb");
        if (!encoder.audio) {
            close(audio[1]);
        }
    }
    return encoder.video != nullptr && (!withAudio || encoder.audio != nullptr);
}

// Closes the pipes and waits; true when the encoder exited with 0.
bool finishEncoder(Encoder& encoder)
{
    for (FILE** pipe : {&encoder.video, &encoder.audio}) {
        if (*pipe) {
            std::fclose(*pipe);
            *pipe = nullptr;
        }
    }
    int status = 0;
    if (encoder.pid > 0 && waitpid(encoder.pid, &status, 0) == encoder.pid) {
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return false;
}

// Hands captured frames to the encoder's pipe on a thread of its own, so that the next
// frame renders while the encoder takes in this one (writing a frame into the pipe
// waits for the encoder to read it: about 2 ms of a 30 ms frame here). Two buffers: the
// caller renders into one while the other is written; frames reach the pipe in order.
// The music of the frames submitted goes to its own pipe from a second thread, which
// never waits for the frames' pipe (the encoder reads its two inputs in turn). Each
// thread closes its pipe when it ends; the frames' goes first, so that the encoder
// takes in the rest of the music.
class FrameWriter {
public:
    // `audio` and `music` both or neither; the first frame submitted is grid frame
    // `first`. Takes the pipes over.
    FrameWriter(FILE* video, FILE* audio, CaptureMusic* music, int64_t first)
        : video(video), audio(audio), music(music), submitted(first), frameThread([this] { writeFrames(); })
    {
        if (audio && music) {
            musicThread = std::thread([this] { writeMusic(); });
        }
    }
    ~FrameWriter() { finish(); }
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // The buffer to render the next frame into: no write is using it.
    std::vector<uint8_t>& next() { return buffers[filling]; }

    // Queues the buffer from next() behind the frame being written, with its music;
    // false once any write has failed (the frames after a failed one are not written).
    bool submit()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return queued < 0; });
        queued = filling;
        filling ^= 1;
        ++submitted;
        changed.notify_all();
        return !failed;
    }

    // Writes what was submitted, ends the threads and closes the pipes; false if a
    // write failed.
    bool finish()
    {
        {
            std::unique_lock<std::mutex> lock(mutex);
            closing = true;
            changed.notify_all();
        }
        for (std::thread* thread : {&frameThread, &musicThread}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
        for (FILE** pipe : {&video, &audio}) {
            if (*pipe) {
                std::fclose(*pipe);
                *pipe = nullptr;
            }
        }
        return !failed;
    }

private:
    void writeFrames()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return queued >= 0 || closing; });
            if (queued < 0) {
                break;  // closing with nothing left
            }
            const std::vector<uint8_t>& frame = buffers[queued];
            const bool skip = failed;
            lock.unlock();
            const bool ok = skip || std::fwrite(frame.data(), 1, frame.size(), video) == frame.size();
            lock.lock();
            failed = failed || !ok;
            queued = -1;
            changed.notify_all();
        }
        lock.unlock();
        std::fclose(video);
        video = nullptr;
    }

    // The music up to the frames submitted, as they come (and a little ahead while more
    // are to come); none after the last frame, so an interrupted capture's sound ends
    // with its frames.
    void writeMusic()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || music->behind(submitted, false); });
            const bool last = closing;  // no frame comes after
            const int64_t upTo = music->target(submitted, last);
            const bool skip = failed;
            lock.unlock();
            const bool ok = skip || music->writeTo(upTo, audio);
            lock.lock();
            failed = failed || !ok;
            if (last || failed) {
                break;
            }
        }
        lock.unlock();
        std::fclose(audio);
        audio = nullptr;
    }

    FILE* video;
    FILE* audio;
    CaptureMusic* music;
    std::vector<uint8_t> buffers[2];
    int filling = 0;     // the buffer next() gives
    int queued = -1;     // the buffer being written, -1 when none
    int64_t submitted;   // the grid frame after the last one submitted
    bool failed = false;
    bool closing = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread frameThread;  // after the rest: starts once it is set
    std::thread musicThread;
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
    const bool withMusic = music.open(first, count, options.fps);
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
                                     "-pixel_format", "bgra", "-video_size",
                                     std::to_string(width) + "x" + std::to_string(height), "-framerate",
                                     std::to_string(options.fps), "-i", "pipe:0"};
    if (withMusic) {
        // -probesize: the encoder looks at one packet of the music before it starts.
        args.insert(args.end(), {"-probesize", "32", "-f", "f32le", "-ar", std::to_string(music.rate()), "-ac", "2", "-i",
                                 "pipe:" + std::to_string(encoderAudioFd), "-map", "0:v", "-map", "1:a"});
        const std::vector<std::string> audio = audioCodecArguments(path);
        args.insert(args.end(), audio.begin(), audio.end());
    }
    const std::vector<std::string> video = videoCodecArguments(path, options.crf);
    args.insert(args.end(), video.begin(), video.end());
    args.insert(args.end(), {"-t", formatSeconds(duration)});
    args.push_back(path);

    std::error_code error;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, error);
    }
    // A dying encoder must fail the write, not kill the program.
    std::signal(SIGPIPE, SIG_IGN);
    Encoder encoder;
    if (!startEncoder(args, withMusic, encoder)) {
        std::fprintf(stderr, "coredemo: cannot start ffmpeg\n");
        finishEncoder(encoder);
        return 1;
    }
    FrameWriter writer(encoder.video, encoder.audio, withMusic ? &music : nullptr, first);
    encoder.video = encoder.audio = nullptr;  // the writer's now
    bool written = true;
    bool stopped = false;
    for (int i = 0; i < count && written; ++i) {
        const int64_t k = first + i;
        stopped = interrupted() ||
                  !renderCaptureFrame(k, i == 0, shownWhileCapturing(i, count), writer.next(), PixelLayout::Bgra);
        if (stopped) {
            break;
        }
        written = writer.submit();
        progress(i + 1, count, gridTime(k, options.fps));
    }
    written = writer.finish() && written;
    const bool encoded = finishEncoder(encoder);
    if (!written || !encoded) {
        std::fprintf(stderr, "\ncoredemo: ffmpeg failed to encode %s\n", path.c_str());
        return 1;
    }
    if (stopped) {
        std::fprintf(stderr, "\ncoredemo: interrupted; %s holds the frames rendered so far\n", path.c_str());
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
