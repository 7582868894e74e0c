// Particle sprites textures/particle01.png ... particle08.png: 128 x 128 RGBA with
// straight alpha, fading to fully transparent before the border: soft glow, ring,
// star, spark, bokeh disc, cross flare, smoke puff, hexagon.
#pragma once
#include "datagen/asset.h"
#include "datagen/image.h"

namespace datagen {

constexpr int spriteSize = 128;

// Sprite 1..8 as a canvas (for tests and previews).
Canvas drawSprite(int number);

void generateSprites(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
