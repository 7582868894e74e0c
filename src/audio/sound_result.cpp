#include "audio/sound_result.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

const char* soundErrorString(int result)
{
    switch (result) {
    case soundOk:
        return "No errors.";
    case soundErrOutputCreateBuffer:
        return "Error creating hardware sound buffer. ";
    case soundErrDriverInit:
        return "Error initializing the audio driver. ";
    case soundErrOutputOpen:
        return "Error opening the audio output device. ";
    case soundErrFormat:
        return "The music is not a valid Ogg Vorbis stream. ";
    case soundErrDecode:
        return "Error decoding the music stream. ";
    case soundErrMemory:
        return "Not enough memory or resources. ";
    case soundErrInvalidParameter:
        return "An invalid parameter was passed to this function. ";
    default:
        return "Unknown error.";
    }
}

std::string soundErrorText(int result, const std::string& detail)
{
    std::string text = soundErrorString(result);
    if (!detail.empty()) {
        if (!text.empty() && text.back() != ' ') {
            text += ' ';
        }
        text += "(" + detail + ")";
    }
    return text;
}

bool versionAtLeast(const LibraryVersion& have, const LibraryVersion& minimum)
{
    if (have.major != minimum.major) {
        return have.major > minimum.major;
    }
    if (have.minor != minimum.minor) {
        return have.minor > minimum.minor;
    }
    return have.patch >= minimum.patch;
}

bool parseVersion(const char* text, LibraryVersion* version)
{
    bool found = false;
    for (const char* p = text; p && *p; ++p) {
        bool starts = std::isdigit(static_cast<unsigned char>(*p)) &&
                      (p == text || !std::isalnum(static_cast<unsigned char>(p[-1])));
        if (!starts) {
            continue;
        }
        char* end = nullptr;
        LibraryVersion v;
        v.major = int(std::strtol(p, &end, 10));
        if (*end != '.' || !std::isdigit(static_cast<unsigned char>(end[1]))) {
            continue;
        }
        v.minor = int(std::strtol(end + 1, &end, 10));
        if (*end == '.' && std::isdigit(static_cast<unsigned char>(end[1]))) {
            v.patch = int(std::strtol(end + 1, &end, 10));
        }
        *version = v;
        found = true;
        p = end - 1;
    }
    return found;
}
