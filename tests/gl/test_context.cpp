// The contexts the program makes: the compatibility profile's fixed function and
// framebuffer objects, and each kind --gl names made as asked (version strings and
// profile), with what the renderer needs. Run under Xvfb, and under Weston by
// e2e_test_wayland.
#include "gl_fixture.h"

#include <cstring>
#include <string>

class ContextTest : public GlTest {};

TEST_F(ContextTest, CompatibilityProfileOffersFixedFunctionAndFramebufferObjects)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_GE(epoxy_gl_version(), 21);
    EXPECT_TRUE(epoxy_has_gl_extension("GL_EXT_framebuffer_object") || epoxy_has_gl_extension("GL_ARB_framebuffer_object"));
    EXPECT_EQ(platform::contextInfo().kind, platform::ContextKind::Compat);
}

TEST(ContextKinds, EachKindIsMadeAsAsked)
{
    const struct {
        platform::ContextRequest request;
        platform::ContextKind kind;
        const char* versionPrefix;  // GL_VERSION starts with it ("" = a digit)
        const char* versionPart;    // ... and holds this
        int profile;                // GL_CONTEXT_PROFILE_MASK (desktop GL 3.2 and later)
        int leastVersion;           // major * 10 + minor
    } cases[] = {
        {platform::ContextRequest::Compat, platform::ContextKind::Compat, "", "", GL_CONTEXT_COMPATIBILITY_PROFILE_BIT, 21},
        {platform::ContextRequest::Core, platform::ContextKind::Core, "", "(Core Profile)", GL_CONTEXT_CORE_PROFILE_BIT, 33},
        {platform::ContextRequest::Es, platform::ContextKind::Es, "OpenGL ES ", "", 0, 30},
        {platform::ContextRequest::Auto, platform::autoContextOrder().front(), "", "", -1, 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::contextKindName(c.kind));
        openTestWindow("context test", 64, 64, c.request);
        const platform::ContextInfo info = platform::contextInfo();
        EXPECT_EQ(info.kind, c.kind);
        EXPECT_GE(info.major * 10 + info.minor, c.leastVersion);
        EXPECT_EQ(info.major * 10 + info.minor, epoxy_gl_version());
        const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        EXPECT_EQ(version.rfind(c.versionPrefix, 0), 0u) << version;
        EXPECT_NE(version.find(c.versionPart), std::string::npos) << version;
        EXPECT_EQ(epoxy_is_desktop_gl(), c.kind != platform::ContextKind::Es) << version;
        if (c.profile > 0 && epoxy_gl_version() >= 32) {
            GLint mask = 0;
            glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
            EXPECT_NE(mask & c.profile, 0) << version;
        }
        if (c.kind == platform::ContextKind::Core) {
            GLint flags = 0;
            glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
            EXPECT_NE(flags & GL_CONTEXT_FLAG_FORWARD_COMPATIBLE_BIT, 0) << version;
        }
        EXPECT_EQ(platform::missingRequirements(info, epoxy_has_gl_extension), "") << version;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        platform::destroyWindow();
        EXPECT_EQ(platform::contextInfo().major, 0) << "no window, no context";
    }
    platform::setContextRequest(platform::ContextRequest::Auto);
}
