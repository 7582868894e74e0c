#include "effects/greetings.h"

#include "effects/sfmt.h"
#include "gpu/matrices.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <string>

const char* const greetingNames[] = {
#include "greeting_names.inc"
};
const int greetingNameCount = int(sizeof(greetingNames) / sizeof(greetingNames[0]));

Greetings::~Greetings()
{
    for (gpu::VertexBatch& batch : nameBatches) {
        gpu::releaseBatch(batch);
    }
}

int Greetings::init()
{
    registerCamera(camera);
    entryCount = 0;
    buildFont();
    for (int i = 0; i < greetingNameCount; ++i) {
        add(greetingNames[i]);
    }
    buildNameBatches();
    return loadShaderFile(shader, "shaders/greets_render.cgfx");
}

void Greetings::buildFont()
{
    if (fontTried) {
        return;
    }
    fontTried = true;
    std::string error;
    // Chord deviation 0: curves as fine as the builder makes them; extrusion 0.01.
    if (!platform::buildOutlineFont(fontFace, glyphFirst, glyphCount, 0.0f, 0.01f, glyphs, &error)) {
        platform::messageBox("GLFont", "wglUseFontOutlines failed!", platform::MessageIcon::Warning);
    }
}

void Greetings::buildNameBatches()
{
    for (int i = 0; i < greetingCapacity; ++i) {
        gpu::releaseBatch(nameBatches[i]);
        if (i < entryCount) {
            buildNameBatch(entries[i], nameBatches[i]);
        }
    }
}

void Greetings::buildNameBatch(const GreetingEntry& e, gpu::VertexBatch& batch) const
{
    size_t vertices = 0;
    for (int c = 0; c < e.length; ++c) {
        vertices += glyphs[e.text[c] - glyphFirst].triangles.size();
    }
    if (vertices == 0) {
        return;
    }
    gpu::startBatch();
    gpu::begin(gpu::Primitive::Triangles);
    float penX = 0.0f, penY = 0.0f;
    for (int c = 0; c < e.length; ++c) {
        const platform::OutlineGlyph& glyph = glyphs[e.text[c] - glyphFirst];
        for (const platform::OutlineVertex& v : glyph.triangles) {
            gpu::normal(v.nx, v.ny, v.nz);
            gpu::vertex(v.x + penX, v.y + penY, v.z);
        }
        penX += glyph.metrics.cellIncX;
        penY += glyph.metrics.cellIncY;
    }
    gpu::end();
    gpu::finishBatch(batch);
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
        advance += glyphs[(drawable ? code : ' ') - glyphFirst].metrics.cellIncX;
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
    gpu::color(1.0f, 1.0f, 1.0f, std::min(t / 3.0f, 1.0f));
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    for (int i = 0; i < entryCount; ++i) {
        const GreetingEntry& e = entries[i];
        gpu::pushMatrix();
        gpu::rotate(8.0f * t, 0.0f, 1.0f, 0.0f);
        gpu::translate(e.x - e.halfWidth, e.y + 2.0f, e.z);
        gpu::rotate(e.a1 + 15.0f * t, 1.0f, 0.0f, 0.0f);
        gpu::rotate(e.a2 + 18.0f * t, 0.0f, 1.0f, 0.0f);
        gpu::rotate(e.a3 + 27.0f * t, 0.0f, 0.0f, 1.0f);
        gpu::drawBatch(nameBatches[i]);
        gpu::popMatrix();
    }
    endShaderPass(pass);
    controlGrid();
}
