// The process-wide objects, all defined here so that they are constructed in this
// order and destroyed in the reverse order (one translation unit, no init-order traps).
// The floors below app/ see some of them through a record of their own floor, bound
// here to the object built on it (references to static objects: bound before any
// constructor runs).
#include "app/screen.h"
#include "audio/sound.h"
#include "base/log.h"
#include "core/core.h"
#include "core/gui.h"
#include "effects/vantel.h"
#include "resources/loader.h"
#include "scene/scene_renderer.h"

Screen screen;
ScreenSettings& screenSettings = screen;
Sound sound;
Core core;
CoreShared& coreShared = core;
Log coreLog;
Loader loader;
VantelObject vantelObject;  // the scene renderer's companion object
SceneRenderer sceneRenderer([](float time) { vantelObject.render(time); });
Gui gui;
ControlBar& controlBar = gui;
extern const double PI = 3.141592653589793;
