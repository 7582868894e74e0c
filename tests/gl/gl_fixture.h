// A hidden window with a current compatibility-profile context for GL tests.
// Usage: class MyTest : public GlTest {}; TEST_F(MyTest, ...) { ... }
#pragma once
#include "platform/platform.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>

class GlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        platform::setBatchMode(true);
        std::string error;
        ASSERT_TRUE(platform::initVideo(&error)) << error;
        platform::WindowDesc desc;
        desc.title = "gl test";
        desc.width = 256;
        desc.height = 256;
        desc.hidden = true;
        ASSERT_TRUE(platform::createWindow(desc, &error)) << error;
        ASSERT_TRUE(platform::linkExtensions(&error)) << error;
    }
    static void TearDownTestSuite() { platform::destroyWindow(); }
};
