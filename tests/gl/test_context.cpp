#include "gl_fixture.h"

class ContextTest : public GlTest {};

TEST_F(ContextTest, CompatibilityProfileOffersFixedFunctionAndFramebufferObjects)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_GE(epoxy_gl_version(), 21);
    EXPECT_TRUE(epoxy_has_gl_extension("GL_EXT_framebuffer_object") || epoxy_has_gl_extension("GL_ARB_framebuffer_object"));
}
