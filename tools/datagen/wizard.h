// The opening scene, wizard.xml (demo time 0-20 s, faded in from black, cross-faded into
// the hub from 18 s): a sculpted spire on a glowing circle at dusk. Rune rings light up
// around it one after another, stones gather on three orbits, a crystal kindles above
// the tip with a shock ring over the ground, while the camera, aimed at a point that
// climbs the spire, circles up from the foot of the tower to a wide view.
//   wizard.xml                  the scene (XML; meshes inside)
//   textures/wizard_sky.png     dusk sky for the inside of the dome
//   textures/wizard_plaza.png   the circle around the spire, seen from above
//   textures/wizard_land.png    the land out to the horizon
//   textures/wizard_stone.png   stone grain, repeating around
//   textures/wizard_runes.png   the rune band of the rings
//   textures/wizard_crystal.png the crystal's colour ramp
#pragma once
#include "datagen/asset.h"
#include "datagen/scene_author.h"

namespace datagen {

// The storyboard as a tree (textures named, not included).
SceneBuilder wizardScene();

void generateWizard(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
