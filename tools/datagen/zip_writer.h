// Writes a zip archive deterministically: entries in the given order, fixed time
// stamps, deflate for compressible data and stored entries for already-compressed
// formats (ogg, jpg, png).
#pragma once
#include "datagen/asset.h"

#include <string>
#include <vector>

namespace datagen {

// Returns an empty string on success, else the reason.
std::string writeZip(const std::string& path, const std::vector<Asset>& assets);

}  // namespace datagen
