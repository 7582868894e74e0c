#include "gl_fixture.h"

class ContextTest : public GlTest {};

TEST_F(ContextTest, CompatibilityProfileOffersFixedFunctionAndFramebufferObjects)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(GLEW_VERSION_2_1);
    EXPECT_TRUE(GLEW_EXT_framebuffer_object || GLEW_ARB_framebuffer_object);
}
