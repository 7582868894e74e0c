// Full-screen overlay pictures (1280 x 720, 16:9) laid over the demo's parts:
//   textures/overlay01.png            thin frame, corner marks, small "Core" mark
//   textures/overlay08.jpg            an opaque abstract picture used as a texture
//   textures/overlay-bornto.png       a large typographic statement in a corner
//   textures/overlay-spiritblack.png  dark vignette with a title line
//   textures/overlay-credits.png      the credits, roles and handles
// Their words come from data/text/ (overlay01.txt, overlay08.txt, overlay-bornto.txt,
// overlay-spiritblack.txt, credits.txt): plain text, '#' lines are comments.
#pragma once
#include "datagen/asset.h"

#include <string>
#include <vector>

namespace datagen {

constexpr int overlayWidth = 1280;
constexpr int overlayHeight = 720;

// Non-empty, non-comment lines of a text source, trimmed.
std::vector<std::string> readTextLines(const Context& context, const std::string& relativePath);

void generateOverlays(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
