// Credits: the credits picture (textures/overlay-credits.png) laid over whatever was
// drawn before it in the frame, alpha-blended, on the last seconds of the demo (demo
// time 188-195 s, cross-faded in from Vantel, then faded to black by the Core).
// No camera block and no GUI variables; stateless between frames.
//
// render leaves the depth test on with GL_LESS, depth writes on, and 2D texturing and
// blending enabled (source alpha, one minus source alpha), and the model-view at identity.
#pragma once
#include "effects/effect.h"
#include "resources/shader.h"
#include "resources/texture.h"

class Credits : public Effect {
public:
    Credits() = default;
    ~Credits() override;
    Credits(const Credits&) = delete;
    Credits& operator=(const Credits&) = delete;

    // Loads credits_render (no pass of it is used) and the picture; 1 at the first failure.
    int init() override;
    void render(float localTime) override;

    Shader shader;    // shaders/credits_render.cgfx
    Texture picture;  // textures/overlay-credits.png
    float projection[16] = {};  // this frame's perspective projection, column-major
    float fovy = 70.0f;
    float zFar = 20.0f;
};
