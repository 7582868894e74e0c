// The scene renderer: draws one frame of a loaded scene tree (scene_loader.h) at a time.
//
// One process-wide instance, `sceneRenderer` (globals.cpp). render sets the projection
// from the first camera's zoom, the view from that camera (free, or aimed at an object),
// places every object that parents others once, parents first, and draws every object
// whose dissolve is exactly 0: its model matrix from its motion, pivot and its parent's
// placement, each surface with its material (an effect file with the six matrix/camera
// semantics and its samplers, or a plain textured or flat-coloured draw), so that a
// frame costs time linear in the objects whatever their nesting.
// Objects of type 0 are handed to the companion (the scene part of the Vantel object),
// which draws under the loaded projection and model-view; the renderer puts the
// projection and the matrix mode back after it. What the tree asks for and is not
// implemented (a camera parent or target of another kind, a post behaviour past 4) is
// reported once per object or camera with the "error" box, not every frame. The tree must
// have passed checkScene and orderParents (loadScene does both); a frame allocates
// nothing. Needs the GL context current, main thread only.
#pragma once
#include "scene/scene.h"

class SceneRenderer {
public:
    using Companion = void (*)(float time);
    explicit SceneRenderer(Companion companion = nullptr) : companion(companion) {}

    Companion companion;  // drawn in place of objects of type 0 (null: nothing)
    // Matrices as 16 floats m[4 * row + column]; projection as loaded (gpu/matrices.h).
    float model[16] = {};
    float view[16] = {};  // all zero until a camera view was computed
    float modelview[16] = {};  // transposed (GL order) once the object is placed
    float projection[16] = {};
    float inverseModel[16] = {};      // the transpose of model
    float inverseModelview[16] = {};  // the transpose of view * model
    float objectTransform[9] = {};    // x, y, z, heading, pitch, bank (degrees), scale x, y, z
    float cameraTransform[6] = {};    // x, y, z, heading, pitch, bank (degrees)
    float degreesPerRadian = 57.2957763671875f;

    // Draws the scene at `time` (the playing part's local time) into the bound framebuffer.
    void render(Tessary& scene, float time);

    // The steps of render, for its users and tests:
    // projection (loaded into gpu/matrices.h) and view from the first camera at `time`.
    void setCamera(Tessary& scene, float time);
    // The placement of every object in scene.parentsFirst at `time`, parents first.
    void placeParents(Tessary& scene, float time);
    // model from object `index`'s motion and pivot at `time` under its parent's placement
    // of the last placeParents; then modelview, inverseModel and inverseModelview as the
    // shader semantics take them.
    void placeObject(Tessary& scene, size_t index, float time);
    // Draws one uploaded object with the matrices already set.
    void drawObject(const Object& object, const Tessary& scene);
    void evaluateObjectMotion(float time, const Object& object);
    void evaluateCameraMotion(float time, const Motion& motion);

private:
    bool unknownPost = false;  // met by the evaluations since the last tellUnknownPost
    float channel(float time, const Envelope& envelope);
    void tellUnknownPost(bool& told);
    void drawSurfaces(const Object& object, const Tessary& scene);
};

extern SceneRenderer sceneRenderer;
