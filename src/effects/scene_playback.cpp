#include "effects/scene_playback.h"

#include "platform/platform.h"
#include "resources/loader.h"
#include "scene/scene_loader.h"
#include "scene/scene_reload.h"
#include "scene/scene_renderer.h"

ScenePlayback::~ScenePlayback()
{
    if (scene) {
        releaseScene(*scene);
    }
}

int ScenePlayback::init()
{
    scene = std::make_unique<Tessary>();
    if (loadScene(file, loader, scene) != 0) {
        platform::messageBox("Core::init", "Core init error, see log for details.", platform::MessageIcon::Warning);
        platform::postQuit(1);
        return 1;
    }
    noteSceneReload(file, scene);
    return 0;
}

void ScenePlayback::render(float localTime)
{
    if (scene) {
        sceneRenderer.render(*scene, localTime);
    }
}
