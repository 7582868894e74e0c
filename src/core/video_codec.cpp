#include "core/video_codec.h"

#include <cctype>

bool hasExtension(const std::string& path, const std::string& extension)
{
    if (path.size() < extension.size()) {
        return false;
    }
    for (size_t i = 0; i < extension.size(); ++i) {
        const char c = path[path.size() - extension.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != std::tolower(static_cast<unsigned char>(extension[i]))) {
            return false;
        }
    }
    return true;
}

bool isLosslessVideoPath(const std::string& path) { return hasExtension(path, ".mkv"); }

std::vector<std::string> videoCodecArguments(const std::string& path, int crf)
{
    if (isLosslessVideoPath(path)) {
        // bgr0 holds the 8-bit RGB samples as they are; every frame is a key frame, so
        // a master can be cut anywhere.
        return {"-vf", "vflip", "-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", "4", "-pix_fmt", "bgr0"};
    }
    // The fastest preset keeps the encoder's share of the two cores small (the same
    // quality, a larger file).
    return {"-vf",     "vflip,crop=trunc(iw/2)*2:trunc(ih/2)*2",
            "-c:v",    "libx264",
            "-preset", "ultrafast",
            "-crf",    std::to_string(crf),
            "-pix_fmt", "yuv420p",
            // The index up front: the file plays while it downloads.
            "-movflags", "+faststart"};
}

std::vector<std::string> audioCodecArguments(const std::string& path)
{
    if (isLosslessVideoPath(path)) {
        return {"-c:a", "flac"};
    }
    return {"-c:a", "aac", "-b:a", "192k"};
}
