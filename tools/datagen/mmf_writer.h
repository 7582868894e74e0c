// Writes a Mesh as MMF text (the format loadMesh reads). Numbers are printed in the C
// locale with enough digits to round-trip 32-bit floats; lines stay below 255 chars.
#pragma once
#include "resources/mesh.h"

#include <cstdint>
#include <vector>

namespace datagen {

std::vector<uint8_t> writeMmf(const Mesh& mesh);

}  // namespace datagen
