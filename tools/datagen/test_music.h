// A stand-in for the soundtrack: tones and clicks at 120 beats per minute, so that the
// demo runs with sound (and the spectrum flash has a kick on every beat to read) until
// the real score is rendered. Also the Ogg Vorbis encoder the audio tests build their
// signals with.
#pragma once
#include "datagen/asset.h"

#include <cstdint>
#include <vector>

namespace datagen {

// Encodes interleaved float samples (channels 1 or 2, values in [-1, 1]) as an Ogg
// Vorbis stream at the given quality (-0.1 .. 1.0). Deterministic: the same samples
// give the same bytes. Empty on an encoder failure.
std::vector<uint8_t> encodeOggVorbis(const std::vector<float>& interleaved, int channels, int rate,
                                     float quality = 0.5f);

// The test piece as interleaved stereo samples: a kick (low thump, strongest in the
// lowest spectrum bins) on every beat, a click between beats, and a two-note chord
// that changes every four bars.
std::vector<float> renderTestPiece(float seconds, int rate);

// music/drovel-contemplation.ogg: the test piece, as long as the demo (197 s).
void generateTestMusic(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
