// A scene file edited while the demo plays: parsed and uploaded again, and swapped in
// for the tree its part draws at a frame boundary (the part's clock goes on).
//
// noteSceneReload makes the reload machinery (resources/reload.h) load `file` again
// into a new tree whenever it changes; only a tree that loaded completely replaces
// `scene` (the old one's buffers and textures are freed then); a failed one is freed
// and the old tree stays. `scene` must outlive the notes (reload::forgetAll).
#pragma once
#include "scene/scene.h"

#include <memory>

void noteSceneReload(const char* file, std::unique_ptr<Tessary>& scene);
