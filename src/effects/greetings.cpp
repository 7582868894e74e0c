#include "effects/greetings.h"

#include "effects/sfmt.h"
#include "platform/platform.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <string>

const char* const greetingNames[] = {
#include "greeting_names.inc"
};
const int greetingNameCount = int(sizeof(greetingNames) / sizeof(greetingNames[0]));

int Greetings::init()
{
    registerCamera(camera);
    entryCount = 0;
    buildFont();
    for (int i = 0; i < greetingNameCount; ++i) {
        add(greetingNames[i]);
    }
    return loadShaderFile(shader, "shaders/greets_render.cgfx");
}

void Greetings::buildFont()
{
    if (fontListBase != 0) {
        return;
    }
    fontListBase = glGenLists(glyphCount);
    std::string error;
    // Chord deviation 0: curves as fine as the builder makes them; extrusion 0.01.
    if (!platform::buildOutlineFont(fontFace, glyphFirst, glyphCount, fontListBase, 0.0f, 0.01f, glyphMetrics,
                                    &error)) {
        platform::messageBox("GLFont", "wglUseFontOutlines failed!", platform::MessageIcon::Warning);
    }
    listBase = fontListBase - glyphFirst;
}

void Greetings::add(const char* name)
{
    if (entryCount >= greetingCapacity) {
        return;
    }
    GreetingEntry& e = entries[entryCount];
    e = GreetingEntry();
    float advance = 0.0f;
    for (const char* c = name; *c && e.length < greetingMaxLength; ++c) {
        const int code = int(static_cast<unsigned char>(*c));
        const bool drawable = code >= glyphFirst && code < glyphFirst + glyphCount;
        e.text[e.length++] = drawable ? char(code) : ' ';
        advance += glyphMetrics[(drawable ? code : ' ') - glyphFirst].cellIncX;
    }
    e.halfWidth = 0.5f * advance;
    if (entryCount > 0) {
        e.x = (randomUnit() - 0.5f) * 24.0f;
        e.y = (randomUnit() - 0.5f) * 10.0f;
        e.z = (randomUnit() - 0.5f) * 12.0f;
        e.a1 = (randomUnit() - 0.5f) * 360.0f;
        e.a2 = (randomUnit() - 0.5f) * 360.0f;
        e.a3 = (randomUnit() - 0.5f) * 640.0f;
        if (std::fabs(e.x) < 2.0f) {
            e.x *= 2.0f + 10.0f * randomUnit();
        }
        if (std::fabs(e.y) < 2.0f) {
            e.y *= 2.0f + 2.0f * randomUnit();
        }
        if (std::fabs(e.z) < 2.0f) {
            e.z *= 2.0f + 10.0f * randomUnit();
        }
    }
    ++entryCount;
}

void Greetings::render(float t)
{
    applyTweaks();
    fx::Pass* pass = beginShaderPass(shader);
    glColor4f(1.0f, 1.0f, 1.0f, std::min(t / 3.0f, 1.0f));
    glPushAttrib(GL_LIST_BIT | GL_POLYGON_BIT);
    for (int i = 0; i < entryCount; ++i) {
        const GreetingEntry& e = entries[i];
        glPushMatrix();
        glRotatef(8.0f * t, 0.0f, 1.0f, 0.0f);
        glTranslatef(e.x - e.halfWidth, e.y + 2.0f, e.z);
        glRotatef(e.a1 + 15.0f * t, 1.0f, 0.0f, 0.0f);
        glRotatef(e.a2 + 18.0f * t, 0.0f, 1.0f, 0.0f);
        glRotatef(e.a3 + 27.0f * t, 0.0f, 0.0f, 1.0f);
        glListBase(listBase);
        glCallLists(e.length, GL_UNSIGNED_BYTE, e.text);
        glPopMatrix();
    }
    glPopAttrib();
    endShaderPass(pass);
    controlGrid();
}
