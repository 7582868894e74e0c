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

// Reads, renders and encodes the score; throws std::runtime_error with the score's line
// number when the score is malformed.
void generateMusic(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
