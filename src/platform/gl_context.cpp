#include "platform/gl_context.h"
#include "platform/platform_internal.h"

#include <epoxy/gl.h>

namespace platform {
namespace {

ContextRequest gRequest = ContextRequest::Auto;

bool atLeast(int major, int minor, int wantMajor, int wantMinor)
{
    return major > wantMajor || (major == wantMajor && minor >= wantMinor);
}

// "a", "a and b", "a, b and c", with the first letter made upper case.
std::string sentence(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = char(text[0] - 'a' + 'A');
    }
    return text + (names.size() == 1 ? " is required." : " are required.");
}

}  // namespace

const std::vector<ContextKind>& autoContextOrder()
{
    // Core first: the profile the renderer is made for, which every desktop driver of the
    // last fifteen years offers (and the strictest, so nothing of the fixed function can
    // creep back unseen). Then a compatibility context for GL 2.1 machines; then OpenGL
    // ES for boards and devices that have nothing else.
    static const std::vector<ContextKind> order = {ContextKind::Core, ContextKind::Compat, ContextKind::Es};
    return order;
}

std::vector<ContextKind> contextKinds(ContextRequest request)
{
    switch (request) {
    case ContextRequest::Compat:
        return {ContextKind::Compat};
    case ContextRequest::Core:
        return {ContextKind::Core};
    case ContextRequest::Es:
        return {ContextKind::Es};
    case ContextRequest::Auto:
        break;
    }
    return autoContextOrder();
}

bool parseContextRequest(const std::string& name, ContextRequest* request)
{
    static const struct {
        const char* name;
        ContextRequest request;
    } names[] = {{"auto", ContextRequest::Auto},
                 {"compat", ContextRequest::Compat},
                 {"core", ContextRequest::Core},
                 {"es", ContextRequest::Es}};
    for (const auto& entry : names) {
        if (name == entry.name) {
            *request = entry.request;
            return true;
        }
    }
    return false;
}

const char* contextKindName(ContextKind kind)
{
    switch (kind) {
    case ContextKind::Core:
        return "core";
    case ContextKind::Es:
        return "es";
    case ContextKind::Compat:
        break;
    }
    return "compat";
}

void setContextRequest(ContextRequest request) { gRequest = request; }

ContextRequest contextRequest() { return gRequest; }

ContextInfo readContextInfo(ContextKind kind)
{
    ContextInfo info;
    info.kind = kind;
    const int version = epoxy_gl_version();  // 45 for "4.5 ...", 32 for "OpenGL ES 3.2 ..."
    const int shading = epoxy_glsl_version();  // 450, 320; 0 without a shading language
    info.major = version / 10;
    info.minor = version % 10;
    info.shadingMajor = shading / 100;
    info.shadingMinor = shading % 100;
    return info;
}

std::string missingRequirements(const ContextInfo& context, bool (*hasExtension)(const char* name))
{
    // What the renderer uses: vertex and index buffers, GLSL programs, cube maps,
    // textures of any size (render targets are the window's size), framebuffer objects
    // with depth renderbuffers, and blits between framebuffers (the supersampled
    // frame's reduction). GL 3.3 core and OpenGL ES 3.0 hold all of it; GL 2.1 holds
    // all but the framebuffer objects and blits, which its extensions add.
    std::vector<std::string> missing;
    const int major = context.major;
    const int minor = context.minor;
    const int shadingMajor = context.shadingMajor;
    const int shadingMinor = context.shadingMinor;
    switch (context.kind) {
    case ContextKind::Compat: {
        if (!atLeast(major, minor, 2, 1)) {
            missing.push_back("OpenGL 2.1");
        }
        if (!atLeast(shadingMajor, shadingMinor, 1, 20)) {
            missing.push_back("GLSL 1.20");
        }
        const bool objects = hasExtension("GL_EXT_framebuffer_object");
        const bool blit = hasExtension("GL_EXT_framebuffer_blit");
        if (!atLeast(major, minor, 3, 0) && !hasExtension("GL_ARB_framebuffer_object") && !(objects && blit)) {
            // One extension names the whole of what is missing.
            missing.push_back(objects  ? "extension GL_EXT_framebuffer_blit"
                              : blit   ? "extension GL_EXT_framebuffer_object"
                                       : "extension GL_ARB_framebuffer_object");
        }
        break;
    }
    case ContextKind::Core:
        if (!atLeast(major, minor, 3, 3)) {
            missing.push_back("OpenGL 3.3");
        }
        if (!atLeast(shadingMajor, shadingMinor, 3, 30)) {
            missing.push_back("GLSL 3.30");
        }
        break;
    case ContextKind::Es:
        if (!atLeast(major, minor, 3, 0)) {
            missing.push_back("OpenGL ES 3.0");
        }
        if (!atLeast(shadingMajor, shadingMinor, 3, 0)) {
            missing.push_back("GLSL ES 3.00");
        }
        break;
    }
    return missing.empty() ? std::string() : sentence(missing);
}

}  // namespace platform
