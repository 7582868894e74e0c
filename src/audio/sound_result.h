// Result codes of the audio back end and their texts, and the library version check.
//
// 0 is success. soundErrOutputCreateBuffer (56) is the one code Sound::init reacts to
// by retrying in stereo: the output refused the channel layout it was asked for. Every
// other non-zero code is a failure whose text, followed by the detail the failing
// library gave, is shown in the error box.
#pragma once
#include <string>

enum SoundResult : int {
    soundOk = 0,
    soundErrOutputCreateBuffer = 56,
    soundErrDriverInit = 101,      // the audio driver did not start
    soundErrOutputOpen = 102,      // the output device did not open
    soundErrFormat = 103,          // the music is not a stream the decoder understands
    soundErrDecode = 104,          // the decoder failed in the middle of the stream
    soundErrMemory = 105,          // out of memory
    soundErrInvalidParameter = 106,
};

// The plain text of a result code; "Unknown error." for a code not listed above.
const char* soundErrorString(int result);
// The box text: the code's text, then the detail when there is one.
std::string soundErrorText(int result, const std::string& detail);

// A library version as three numbers; compared in order.
struct LibraryVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
};
bool versionAtLeast(const LibraryVersion& have, const LibraryVersion& minimum);
// Reads "1.3.7" out of a version text such as "Xiph.Org libVorbis 1.3.7" (the last
// dotted number in it); false when there is none.
bool parseVersion(const char* text, LibraryVersion* version);

// The oldest SDL and Vorbis this code was written for.
constexpr LibraryVersion minimumSdlVersion = {2, 0, 18};
constexpr LibraryVersion minimumVorbisVersion = {1, 3, 0};
