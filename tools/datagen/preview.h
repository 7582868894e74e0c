// Previews of archive entries for people to look at: pictures as they are (alpha over
// a checkerboard), cube maps unfolded as a cross, meshes drawn from three sides by a
// small software renderer, and one contact sheet of them all.
#pragma once
#include "datagen/asset.h"
#include "datagen/image.h"

#include <string>
#include <vector>

namespace datagen {

// RGB preview of one entry; false for entries without a picture (sound, text, ...).
bool previewAsset(const Asset& asset, Image& preview);

// Writes DIR/<entry name with '/' as '_'>.png for every entry that has a preview and
// DIR/contact.png; returns the number of previews written, -1 when a file cannot be written.
int writePreviews(const std::vector<Asset>& assets, const std::string& dir);

// Software rendering of an MMF mesh from the front, the side and above (768 x 256).
bool renderMeshPreview(const std::vector<uint8_t>& mmf, Image& preview);

}  // namespace datagen
