// Vantel: a vertex-shaped parametric surface with 32 translucent satellites in an
// environment cube, jump-cut camera (demo time 153-193 s); Greetings draws over its
// last 20 seconds with its view.
//
// VantelObject: the same kind of object as a scene companion. One process-wide
// instance (`vantelObject`); the Core calls its init after its own GL set-up and
// ignores the result; the scene renderer draws it in place of scene objects of type 0.
//
// Both initialise successfully and draw nothing until the part is built.
#pragma once
#include "effects/effect.h"

class Vantel : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 140.0f};
    float lastCut = 0.0f;  // local time of the last camera cut
    float m0 = 12.0f;      // shape values of the surface and satellite shaders
    float m1 = 18.0f;
};

class VantelObject : public Effect {
public:
    int init() override;
    void render(float localTime) override;

    CameraBlock camera{0.0f, -3.5f, -20.0f, 0.0f, 25.0f, 30.0f, 70.0f, 130.0f};
    float lastCut = 0.0f;
    float m0 = 12.0f;
    float m1 = 18.0f;
};

extern VantelObject vantelObject;
