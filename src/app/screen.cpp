#include "app/screen.h"

#include "app/log.h"
#include "platform/platform.h"

#include <GL/glew.h>

#include <cstdio>

int Screen::enumerate() { return 0; }

int Screen::init(int /*showCommand*/)
{
    std::string error;
    if (!platform::initVideo(&error)) {
        platform::messageBox("Screen::init", error, platform::MessageIcon::Error);
        return 1;
    }
    if (enumerate() != 0) {
        return 1;
    }
    accepted = true;
    platform::WindowDesc desc;
    desc.title = title;
    desc.width = width;
    desc.height = height;
    desc.x = 0x2FFF0000;  // centred
    desc.y = 0x2FFF0000;
    if (!platform::createWindow(desc, &error)) {
        return 1;
    }
    hasWindow = hasContext = true;
    if (!platform::linkExtensions(&error)) {
        platform::messageBox("Extension error", error, platform::MessageIcon::Error);
        CORE_LOG("GLee error: " << error);
        return 1;
    }
    return checkRequirements();
}

int Screen::checkRequirements()
{
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    CORE_LOG("Renderer: " << (renderer ? renderer : ""));
    CORE_LOG("Device Vendor: " << (vendor ? vendor : ""));
    CORE_LOG("GL Version: " << (version ? version : ""));
    return 0;
}

void Screen::close()
{
    platform::destroyWindow();
    hasWindow = hasContext = false;
}
