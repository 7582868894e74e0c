// A hidden window with a current compatibility-profile context for GL tests.
// Usage: class MyTest : public GlTest {}; TEST_F(MyTest, ...) { ... }
#pragma once
#include "gpu/immediate.h"
#include "platform/platform.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// The GL loader resolves an entry point on its first call and writes the result over its
// pointer: a test that swaps a pointer for a counting one resolves the real one first.
inline void resolveBufferEntryPoints()
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glDeleteBuffers(1, &buffer);
}
inline void resolveFramebufferBind()
{
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(bound));
}

// Opens a hidden window of the given size with its context current and GL linked
// (batch mode: message boxes go to standard error). Fails the running test otherwise.
// A compatibility context unless asked otherwise: tests hold the renderer against the
// fixed function and read textures back (glGetTexImage), which only desktop
// compatibility GL has. The core and ES contexts' pictures are held by the golden frames.
inline void openTestWindow(const char* title, int width, int height,
                           platform::ContextRequest request = platform::ContextRequest::Compat)
{
    platform::setBatchMode(true);
    platform::setContextRequest(request);
    std::string error;
    ASSERT_TRUE(platform::initVideo(&error)) << error;
    platform::WindowDesc desc;
    desc.title = title;
    desc.width = width;
    desc.height = height;
    desc.hidden = true;
    ASSERT_TRUE(platform::createWindow(desc, &error)) << error;
    ASSERT_TRUE(platform::linkExtensions(&error)) << error;
}

class GlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { openTestWindow("gl test", 256, 256); }
    static void TearDownTestSuite()
    {
        gpu::releaseImmediate();  // its stream buffer goes with the context
        platform::destroyWindow();
    }
};

// Spread of the brightness (r + g + b, divided by 3) over the bottom-left width x height
// pixels of the back buffer: 0 for a flat picture.
inline int brightnessSpread(int width, int height)
{
    std::vector<unsigned char> rgba(size_t(width) * size_t(height) * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    int lo = 255 * 3, hi = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const int v = rgba[i] + rgba[i + 1] + rgba[i + 2];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return (hi - lo) / 3;
}
