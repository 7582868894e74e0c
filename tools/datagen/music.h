// The soundtrack: data/music/drovel-contemplation.score rendered by the synthesiser in
// datagen/synth and encoded as Ogg Vorbis (quality 5) into music/drovel-contemplation.ogg.
#pragma once
#include "datagen/asset.h"

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

// Encodes interleaved-by-channel float audio as Ogg Vorbis with libvorbisenc at the given
// VBR quality (-0.1 .. 1.0). The stream serial number is fixed, so equal input gives equal
// bytes. Returns 0 on success, 1 on an encoder failure (error says which).
int encodeVorbis(const std::vector<float>& left, const std::vector<float>& right, int sampleRate, float quality,
                 const std::string& title, std::vector<uint8_t>& out, std::string& error);

// The same encoder for interleaved samples (channels 1 or 2, values in [-1, 1]), as the
// audio tests build their signals. Empty on an encoder failure.
std::vector<uint8_t> encodeOggVorbis(const std::vector<float>& interleaved, int channels, int rate,
                                     float quality = 0.5f);

struct VorbisInfo {
    int channels = 0;
    long sampleRate = 0;
    int64_t frames = 0;
    float peak = 0.0f;           // largest decoded sample, linear
};
// Decodes an Ogg Vorbis stream from memory. Returns 0 on success, 1 when it is not decodable.
int inspectVorbis(const std::vector<uint8_t>& bytes, VorbisInfo& info);

// Reads, renders and encodes the score; throws std::runtime_error with the score's line
// number when the score is malformed. Lossy coding can push peaks a little above the PCM's
// ceiling, so the decoded stream is checked and re-encoded lower if it would exceed -0.3 dBFS.
void generateMusic(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
