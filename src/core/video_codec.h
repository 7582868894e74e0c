// The codecs of a captured video, chosen by its file name: an .mp4 is H.264 (4:2:0, at
// the quality --crf asks for) with AAC sound, for watching; an .mkv is the lossless
// master, FFV1 in 8-bit RGB with FLAC sound, whose frames decode to the very pixels
// the same span writes as PNG pictures.
//
// Pure: the ffmpeg arguments that follow the input (one stream, core/capture_stream.h:
// raw BGRA frames, rows bottom-up as GL reads them, and the music), no process started
// here.
#pragma once
#include <string>
#include <vector>

// True when the path ends in `extension` (".mp4"), ignoring letter case.
bool hasExtension(const std::string& path, const std::string& extension);
// True for a path ending in .mkv (any letter case): the lossless master.
bool isLosslessVideoPath(const std::string& path);
// The picture's filter and codec: flipped upright; for H.264 cropped to even sides
// (4:2:0 needs them) and encoded at `crf` with the fastest preset, its index first.
std::vector<std::string> videoCodecArguments(const std::string& path, int crf);
// The sound's codec: FLAC for the master, AAC at 192 kb/s otherwise.
std::vector<std::string> audioCodecArguments(const std::string& path);
