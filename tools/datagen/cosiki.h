// The bright scene, cosiki2.xml ("little things"; demo time 134-153 s, out of a white
// flash): a pale studio without walls where small pastel things play: a parade of
// cubes rolls across the floor, a carousel turns three arms of spheres and rings with
// tiny satellites, confetti bobs over the floor, three pedestals carry the scene
// companion's little sculptures, and things pop in and out, under a free camera that
// drifts around with animated heading, pitch and bank.
//   cosiki2.xml                  the scene (XML; meshes inside, shared streams)
//   textures/cosiki_sky.png      pale sky for the inside of the dome
//   textures/cosiki_floor.png    the pale floor with its pastel dots
//   textures/cosiki_paint*.png   five pastel paints for the effect-file materials
//   textures/cosiki_candy.png    candy stripes (fixed-function textured)
#pragma once
#include "datagen/asset.h"
#include "datagen/scene_author.h"

namespace datagen {

SceneBuilder cosikiScene();

void generateCosiki(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
