#include "core/core.h"

#include "app/screen.h"
#include "platform/platform.h"

#include <GL/glew.h>

int Core::init()
{
    screen.viewportWidth = screen.width;
    screen.viewportHeight = screen.width * 9 / 16;
    timer.reset();
    return 0;
}

void Core::frame()
{
    time = timer.read();
    glViewport(0, 0, screen.width, screen.height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    platform::swapBuffers();
    ++frames;
}
