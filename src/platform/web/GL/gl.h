// The browser build's <GL/gl.h> (GLU's header includes it): the OpenGL ES 3.0 names
// of epoxy/gl.h, plus the double type GLU's tessellator takes.
#pragma once
#include <epoxy/gl.h>

typedef double GLdouble;
typedef double GLclampd;
#ifndef GLAPI
#define GLAPI extern
#endif
#ifndef APIENTRY
#define APIENTRY
#endif
