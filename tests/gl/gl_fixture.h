// A hidden window with a current compatibility-profile context for GL tests.
// Usage: class MyTest : public GlTest {}; TEST_F(MyTest, ...) { ... }
#pragma once
#include "platform/platform.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>

// Opens a hidden window of the given size with its context current and GL linked
// (batch mode: message boxes go to standard error). Fails the running test otherwise.
inline void openTestWindow(const char* title, int width, int height)
{
    platform::setBatchMode(true);
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
    static void TearDownTestSuite() { platform::destroyWindow(); }
};
