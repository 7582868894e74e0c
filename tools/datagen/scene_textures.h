// Pictures for the scene storyboards: skies for the inside of a dome (v = 0 at the
// bottom, 1 at the top; u around), floors seen from above, and small swatches.
#pragma once
#include "datagen/cubemap.h"
#include "datagen/image.h"

#include <functional>

namespace datagen {

// A canvas filled by colour(u, v) sampled at texel centres with v = 0 on the bottom row.
Canvas paint(int width, int height, const std::function<Vec3(float u, float v)>& colour);

}  // namespace datagen
