// Offline rendering: the demo drawn at fixed times (--shot) or at a fixed frame rate
// (--capture) instead of in real time, as the options ask.
//
// Called by runApplication after Core::init succeeded, with the main window's context
// current; returns the process exit code (0 when every picture was written).
//
// The clock is stopped and set for every frame (Core::setClock), so a capture is the
// same on every run and every machine: the spectrum flash reads the spectrum of the
// music at each frame's own time, decoded here from the archive's music. Before a shot
// (and before a capture that does not start at 0) the frames from the start of the
// earliest part active at that time are run once every 0.1 s of demo time, cheaply
// (no post-processing, a one-pixel scissor), so that parts with state that evolves
// frame by frame (camera cuts, rising stripes) arrive in the state a viewer would see.
//
// Pictures are the 16:9 band of the window, read back from the back buffer before the
// swap. --shot T1,T2 writes <outDir>/shot-<T>.png; --capture PATH writes
// PATH/frame-000000.png... into a folder, or, for a path ending in .mp4 or .mkv, a
// video (H.264, with the music of the same span in AAC) encoded by ffmpeg through a pipe.
// Escape or closing the window stops the run early (exit code 1; a video keeps the
// frames rendered so far).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

int runOffline();

// ---- parts exposed for tests ----

// The start of the earliest schedule entry active at `time`, or `time` itself when none is.
float warmUpStart(float time);
// The demo times of a capture: from + i / fps for i = 0 .. round((to - from) * fps) - 1.
int captureFrameCount(float from, float to, int fps);
// "shot-10.png", "shot-18.5.png": the file name of a shot at `time`.
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
