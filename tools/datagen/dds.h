// DDS files as the texture loader reads them: one 2D picture or a six-face cube map
// (faces +X, -X, +Y, -Y, +Z, -Z, rows as stored = row 0 is t = 0 of that face), a
// single mip level (the loader builds the chain on the card).
//
// Formats: uncompressed 32-bit BGRA, DXT1 (no alpha) and DXT5 (interpolated alpha)
// through libsquish. Compression splits blocks over the worker threads; the bytes do
// not depend on thread timing.
#pragma once
#include "datagen/image.h"

#include <cstdint>
#include <vector>

namespace datagen {

enum class DdsFormat { Bgra8, Dxt1, Dxt5 };

// faces: 1 picture or 6 cube faces, all RGBA (4 channels) and of one size (multiples
// of 4 for DXT). Returns an empty vector on invalid input.
std::vector<uint8_t> encodeDds(const std::vector<Image>& faces, DdsFormat format);

// Reads what encodeDds writes (and any single-level BGRA/DXT1/DXT3/DXT5 DDS): faces
// become RGBA images. Returns false on anything else; never reads out of bounds.
bool decodeDds(const std::vector<uint8_t>& bytes, std::vector<Image>& faces, DdsFormat* format = nullptr);

}  // namespace datagen
