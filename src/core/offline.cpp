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

#include <GL/glew.h>
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

// Reads the band of the back buffer (rows bottom-up) into pixels; supersampled, the
// picture reduced from the off-screen frame.
void readBand(std::vector<uint8_t>& pixels)
{
    if (core.supersampler.active()) {
        core.supersampler.readPicture(pixels);
        return;
    }
    pixels.resize(size_t(screenSettings.viewportWidth) * size_t(screenSettings.viewportHeight) * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(core.viewportX, core.viewportY, screenSettings.viewportWidth, screenSettings.viewportHeight, GL_RGB,
                 GL_UNSIGNED_BYTE, pixels.data());
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
    core.postprocess = post;
    core.spectrum = flash;
}

// Every chain starts the shared generator from this seed, so that what one part draws
// does not depend on what the parts of other chains drew, at init or later.
constexpr uint32_t chainSeed = 12345;

// Puts the chain holding `time` into its start state (the shared generator and every
// part of the chain restarted) and replays the chain's grid frames before `time`, so
// that the frame at `time` is the same whatever was rendered before it.
void enterChain(float time, int fps)
{
    const ChainSpan chain = chainAt(core.schedule, core.effectCount, time);
    if (!chain.valid()) {
        return;
    }
    seedRandom(chainSeed);
    for (unsigned int i = 0; i < core.effectCount; ++i) {
        const ScheduleEntry& entry = core.schedule[i];
        if (entry.effect && chain.start <= entry.startTime && entry.startTime < chain.end) {
            entry.effect->restart();
        }
    }
    for (int64_t k = firstGridFrame(chain.start, fps); gridTime(k, fps) < time; ++k) {
        warmUpFrame(gridTime(k, fps));
    }
}

// Renders the frame at `time` fully into the back buffer and reads it; shows it in the
// window when `show` (a swap costs a copy of the whole window to the display).
void renderAt(float time, std::vector<uint8_t>& pixels, bool show = true)
{
    core.setClock(time);
    core.renderFrame();
    readBand(pixels);
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

// True once the user asked to stop (Escape or closing the window) while rendering.
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

// ---- the encoder process ----

struct Encoder {
    FILE* pipe = nullptr;
    pid_t pid = -1;
};

bool startEncoder(const std::vector<std::string>& args, Encoder& encoder)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "coredemo: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    close(fds[0]);
    encoder.pipe = fdopen(fds[1], "wb");
    encoder.pid = pid;
    return encoder.pipe != nullptr;
}

// Closes the pipe and waits; true when the encoder exited with 0.
bool finishEncoder(Encoder& encoder)
{
    if (encoder.pipe) {
        std::fclose(encoder.pipe);
        encoder.pipe = nullptr;
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
class FrameWriter {
public:
    explicit FrameWriter(FILE* pipe) : pipe(pipe), thread([this] { run(); }) {}
    ~FrameWriter() { finish(); }
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // The buffer to render the next frame into: no write is using it.
    std::vector<uint8_t>& next() { return buffers[filling]; }

    // Queues the buffer from next() behind the frame being written; false once any
    // write has failed (the frames after a failed one are not written).
    bool submit()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return queued < 0; });
        queued = filling;
        filling ^= 1;
        changed.notify_all();
        return !failed;
    }

    // Waits until every queued frame is written and ends the thread; false if a write
    // failed.
    bool finish()
    {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return queued < 0; });
            closing = true;
            changed.notify_all();
        }
        if (thread.joinable()) {
            thread.join();
        }
        return !failed;
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return queued >= 0 || closing; });
            if (queued < 0) {
                return;  // closing with nothing left
            }
            const std::vector<uint8_t>& frame = buffers[queued];
            const bool skip = failed;
            lock.unlock();
            const bool ok = skip || std::fwrite(frame.data(), 1, frame.size(), pipe) == frame.size();
            lock.lock();
            failed = failed || !ok;
            queued = -1;
            changed.notify_all();
        }
    }

    FILE* pipe;
    std::vector<uint8_t> buffers[2];
    int filling = 0;   // the buffer next() gives
    int queued = -1;   // the buffer being written, -1 when none
    bool failed = false;
    bool closing = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;  // last: starts once the rest is set
};

std::string formatSeconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

// Writes the archive's music to a temporary file for the encoder; "" without music.
std::string extractMusic()
{
    MusicSpectrum* music = musicDecoder();
    if (!music || music->musicSize() == 0) {
        return "";
    }
    char path[] = "/tmp/coredemo-music-XXXXXX.ogg";
    const int fd = mkstemps(path, 4);
    if (fd < 0) {
        return "";
    }
    FILE* file = fdopen(fd, "wb");
    const bool ok = file && std::fwrite(music->musicData(), 1, music->musicSize(), file) == music->musicSize();
    if (file) {
        std::fclose(file);
    }
    if (!ok) {
        std::remove(path);
        return "";
    }
    return path;
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
        enterChain(t, options.fps);
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
void renderCaptureFrame(int64_t k, bool first, bool show, std::vector<uint8_t>& pixels)
{
    const int fps = options.fps;
    const float t = gridTime(k, fps);
    const ChainSpan chain = chainAt(core.schedule, core.effectCount, t);
    if (chain.valid() && (first || !(chainAt(core.schedule, core.effectCount, gridTime(k - 1, fps)) == chain))) {
        enterChain(t, fps);
    }
    renderAt(t, pixels, show);
}

int captureFrames(const std::string& folder, int count)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::vector<uint8_t> pixels;
    char name[32];
    for (int i = 0; i < count; ++i) {
        if (interrupted()) {
            std::fprintf(stderr, "\ncoredemo: interrupted after %d frames\n", i);
            return 1;
        }
        const int64_t k = firstCaptureFrame(options.captureFrom, options.fps) + i;
        renderCaptureFrame(k, i == 0, shownWhileCapturing(i, count), pixels);
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
    const double start = double(firstCaptureFrame(options.captureFrom, options.fps)) / options.fps;
    const std::string musicFile = extractMusic();
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
                                     "-pixel_format", "rgb24", "-video_size",
                                     std::to_string(width) + "x" + std::to_string(height), "-framerate",
                                     std::to_string(options.fps), "-i", "pipe:0"};
    if (!musicFile.empty()) {
        args.insert(args.end(), {"-ss", formatSeconds(start), "-i", musicFile, "-map", "0:v", "-map",
                                 "1:a"});
        const std::vector<std::string> audio = audioCodecArguments(path);
        args.insert(args.end(), audio.begin(), audio.end());
    }
    const std::vector<std::string> video = videoCodecArguments(path, options.crf);
    args.insert(args.end(), video.begin(), video.end());
    args.insert(args.end(), {"-t", formatSeconds(duration)});
    if (std::tolower(static_cast<unsigned char>(path.back())) == '4') {  // .mp4
        args.insert(args.end(), {"-movflags", "+faststart"});
    }
    args.push_back(path);

    std::error_code error;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, error);
    }
    // A dying encoder must fail the write, not kill the program.
    std::signal(SIGPIPE, SIG_IGN);
    Encoder encoder;
    if (!startEncoder(args, encoder)) {
        std::fprintf(stderr, "coredemo: cannot start ffmpeg\n");
        if (!musicFile.empty()) {
            std::remove(musicFile.c_str());
        }
        return 1;
    }
    FrameWriter writer(encoder.pipe);
    bool written = true;
    bool stopped = false;
    for (int i = 0; i < count && written && !(stopped = interrupted()); ++i) {
        const int64_t k = firstCaptureFrame(options.captureFrom, options.fps) + i;
        renderCaptureFrame(k, i == 0, shownWhileCapturing(i, count), writer.next());
        const float t = gridTime(k, options.fps);
        written = writer.submit();
        progress(i + 1, count, t);
    }
    written = writer.finish() && written;
    const bool encoded = finishEncoder(encoder);
    if (!musicFile.empty()) {
        std::remove(musicFile.c_str());
    }
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

bool isVideoPath(const std::string& path)
{
    if (path.size() < 4) {
        return false;
    }
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext == ".mp4" || ext == ".mkv";
}

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
