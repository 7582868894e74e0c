// The kinds of GL context without a context: which kinds a request tries, and the one
// line a context that lacks what the renderer uses is refused with.
#include "platform/gl_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::ContextInfo;
using platform::ContextKind;
using platform::ContextRequest;

TEST(ContextKinds, AutoTriesEveryKindOnceCoreFirst)
{
    const std::vector<ContextKind>& order = platform::autoContextOrder();
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order.front(), ContextKind::Core);  // the renderer's own profile
    for (ContextKind kind : {ContextKind::Compat, ContextKind::Core, ContextKind::Es}) {
        EXPECT_EQ(std::count(order.begin(), order.end(), kind), 1) << platform::contextKindName(kind);
    }
    EXPECT_EQ(platform::contextKinds(ContextRequest::Auto), order);
    EXPECT_EQ(platform::contextKinds(ContextRequest::Core), std::vector<ContextKind>{ContextKind::Core});
    EXPECT_EQ(platform::contextKinds(ContextRequest::Es), std::vector<ContextKind>{ContextKind::Es});
    EXPECT_EQ(platform::contextKinds(ContextRequest::Compat), std::vector<ContextKind>{ContextKind::Compat});

    // Names round-trip; anything else leaves the request alone.
    for (ContextKind kind : order) {
        ContextRequest request = ContextRequest::Auto;
        ASSERT_TRUE(platform::parseContextRequest(platform::contextKindName(kind), &request));
        EXPECT_EQ(platform::contextKinds(request), std::vector<ContextKind>{kind});
    }
    ContextRequest request = ContextRequest::Core;
    for (const char* bad : {"", "Core", "gles", "auto ", "compat,core"}) {
        EXPECT_FALSE(platform::parseContextRequest(bad, &request)) << bad;
        EXPECT_EQ(request, ContextRequest::Core);
    }
}

// The extensions of the context under test, as a space-separated list.
const char* gExtensions = "";
bool hasExtension(const char* name)
{
    const std::string list = std::string(" ") + gExtensions + " ";
    return list.find(std::string(" ") + name + " ") != std::string::npos;
}

TEST(ContextRequirements, OneSentenceNamesWhatIsMissing)
{
    const char* fbo = "GL_ARB_framebuffer_object";
    const char* extFbo = "GL_EXT_framebuffer_object";
    const char* extBoth = "GL_EXT_framebuffer_object GL_EXT_framebuffer_blit";
    const struct {
        ContextInfo context;
        const char* extensions;
        const char* missing;
    } cases[] = {
        // What Mesa gives: nothing missing.
        {{ContextKind::Compat, 4, 5, 4, 50}, "", ""},
        {{ContextKind::Core, 4, 5, 4, 50}, "", ""},
        {{ContextKind::Es, 3, 2, 3, 20}, "", ""},
        // The least each kind takes.
        {{ContextKind::Compat, 2, 1, 1, 20}, fbo, ""},
        {{ContextKind::Compat, 2, 1, 1, 20}, extBoth, ""},
        {{ContextKind::Compat, 3, 0, 1, 30}, "", ""},
        {{ContextKind::Core, 3, 3, 3, 30}, "", ""},
        {{ContextKind::Es, 3, 0, 3, 0}, "", ""},
        // A GL 2.1 without framebuffer objects, or with half of them.
        {{ContextKind::Compat, 2, 1, 1, 20}, "", "Extension GL_ARB_framebuffer_object is required."},
        {{ContextKind::Compat, 2, 1, 1, 20}, extFbo, "Extension GL_EXT_framebuffer_blit is required."},
        {{ContextKind::Compat, 2, 1, 1, 20}, "GL_EXT_framebuffer_blit",
         "Extension GL_EXT_framebuffer_object is required."},
        // Versions below the kind's least.
        {{ContextKind::Compat, 2, 0, 1, 10}, fbo, "OpenGL 2.1 and GLSL 1.20 are required."},
        {{ContextKind::Compat, 1, 5, 0, 0}, "",
         "OpenGL 2.1, GLSL 1.20 and extension GL_ARB_framebuffer_object are required."},
        {{ContextKind::Core, 3, 2, 1, 50}, "", "OpenGL 3.3 and GLSL 3.30 are required."},
        {{ContextKind::Es, 2, 0, 1, 0}, "", "OpenGL ES 3.0 and GLSL ES 3.00 are required."},
        {{ContextKind::Es, 3, 0, 1, 0}, "", "GLSL ES 3.00 is required."},
    };
    for (const auto& c : cases) {
        gExtensions = c.extensions;
        EXPECT_EQ(platform::missingRequirements(c.context, hasExtension), c.missing)
            << platform::contextKindName(c.context.kind) << " " << c.context.major << "." << c.context.minor
            << " with '" << c.extensions << "'";
    }
}

}  // namespace
