// The effect files: every data/shaders/*.cgfx, packed unchanged under shaders/.
#pragma once
#include "datagen/asset.h"

namespace datagen {

void generateShaders(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
