// Scene playback parts: each plays one animated scene file of the archive through the
// scene renderer (scene/scene_renderer.h), which sets up its own projection and camera.
// Scene01 plays "wizard.xml" (demo time 0-20 s), Scene02 "cosiki2.xml" (134-153 s).
// They own the loaded tree, keep no state between frames (a frame depends only on its
// time) and register no GUI variables. A scene that does not load stops the start-up
// with the "Core init error" box and the quit request with exit code 1.
#pragma once
#include "effects/effect.h"
#include "scene/scene.h"

#include <memory>

class ScenePlayback : public Effect {
public:
    explicit ScenePlayback(const char* file) : file(file) {}
    // Releases the tree's buffers and textures, then the tree.
    ~ScenePlayback() override;
    int init() override;
    void render(float localTime) override;

    const char* const file;          // name in the data archive
    std::unique_ptr<Tessary> scene;  // null until init
};

class Scene01 : public ScenePlayback {
public:
    Scene01() : ScenePlayback("wizard.xml") {}
};

class Scene02 : public ScenePlayback {
public:
    Scene02() : ScenePlayback("cosiki2.xml") {}
};
