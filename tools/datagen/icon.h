// The program's icon for desktop menus: the demo's own mark (the orange accent square
// of its "Core" word) held in an open ring of the pale gold of its sunsets, on a tile
// that runs from the deep blue of its interference picture into warm dusk.
//
// Not an archive entry: datagen --icons DIR writes the files below DIR as the hicolor
// theme lays them out, and the build installs them from there.
#pragma once
#include "datagen/asset.h"

#include <vector>

namespace datagen {

// The pixel sizes of the PNG icons.
constexpr int iconSizes[] = {48, 128, 256};

// "48x48/apps/coredemo.png", "128x128/...", "256x256/...", "scalable/apps/coredemo.svg".
std::vector<Asset> generateIcons();

}  // namespace datagen
