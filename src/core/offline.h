// Offline rendering: the demo drawn at fixed times (--shot) or at a fixed frame rate
// (--capture) instead of in real time, as the options ask.
//
// Called by runApplication after Core::init succeeded, with the main window's context
// current; returns the process exit code (0 when every picture was written).
//
// The clock is stopped and set for every frame (Core::setClock), so a capture is the
// same on every run and every machine: the spectrum flash reads the spectrum of the
// music at each frame's own time, decoded here from the archive's music.
//
// A frame does not depend on what was rendered before it. Frames lie on a grid anchored
// at demo time 0: frame k at N fps shows time k / N (--fps also sets the grid of --shot).
// The schedule's entries form chains of overlapping spans ([0, 39), [39, 77), ...).
// Whenever offline rendering enters a chain (a shot inside it, a capture that starts
// inside it or reaches its start), the shared random generator is seeded afresh (the
// same seed for every chain), every part of the chain is restarted
// (Effect::restart), and the chain's grid frames before the wanted time are replayed
// cheaply (no post-processing, no flash, a one-pixel scissor). So a shot at T, a
// capture from 0 and a capture from anywhere before T show the same pixels at T, and a
// capture can be rendered in spans and joined. Real-time playback does none of this.
//
// Replayed frames are rendered again but not logged again: the log of an offline run
// reads as the log of one pass through the demo (Core::renderedUntil).
//
// Pictures are the 16:9 band of the window, read back from the back buffer before the
// swap. --shot T1,T2 writes <outDir>/shot-<T>.png; --capture PATH writes
// PATH/frame-000000.png... into a folder, or, for a path ending in .mp4 or .mkv, a
// video with the music of the same span, encoded by ffmpeg: H.264 and AAC in an .mp4
// (--crf sets its quality), a lossless master in an .mkv (FFV1 and FLAC, whose frames
// are the PNG pictures' pixels; core/video_codec.h). The frames and the music, decoded
// here frame by frame, reach it as one stream on one pipe, each frame beside its own
// music (core/capture_stream.h), so the encoder never waits for one while the program
// waits to write the other, whatever the frame rate, and nothing is written to a
// temporary file. Escape, closing the window, SIGINT or SIGTERM stop the run early,
// between frames and between replayed ones (exit code 1); a video capture stops within
// a second, also while it waits for the encoder: the file keeps what the encoder
// finished (the frames written so far, their music ending with them), and an encoder
// that has not finished by then is ended.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

int runOffline();

// ---- parts exposed for tests ----

// The span [start, end) of the chain of overlapping entries among `entries` that holds
// `time`; start = end = 0 (not valid) when no entry is active then.
struct ChainSpan {
    float start = 0.0f;
    float end = 0.0f;
    bool valid() const { return start < end; }
    bool operator==(const ChainSpan& other) const { return start == other.start && end == other.end; }
};
struct ScheduleEntry;
ChainSpan chainAt(const ScheduleEntry* entries, unsigned int count, float time);
// The demo time of grid frame k at `fps` frames per second: k / fps, divided in double.
float gridTime(int64_t k, int fps);
// The first grid frame whose time is at or after `time`.
int64_t firstGridFrame(float time, int fps);
// The grid frame a capture from `from` starts with: the nearest one.
int64_t firstCaptureFrame(float from, int fps);
// The number of frames of a capture from `from` to `to`: the grid frames from the
// nearest to `from` up to, not including, the nearest to `to`.
int captureFrameCount(float from, float to, int fps);
// "shot-10.png", "shot-18.5.png": the file name of a shot at `time`, with as many
// digits as it takes to tell distinct times apart (6 to 9 significant digits).
std::string shotFileName(float time);
// True for a capture path that names a video file (.mp4, .mkv, any letter case).
bool isVideoPath(const std::string& path);
// Writes width x height RGB pixels, rows bottom-up as GL reads them, as an 8-bit PNG.
// 0 on success.
int writePng(const std::string& path, const uint8_t* rgb, int width, int height);
// The spectrum of the archive's music at `time` (512 bins, zeros without music): the
// last 1024-sample window before `time`, both channels averaged. The music is read from
// the archive on the first call.
const float* musicSpectrumAt(float time);
