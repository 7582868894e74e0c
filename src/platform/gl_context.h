// The kinds of OpenGL context the program draws with, the one the main window got,
// and what the renderer needs of it.
//
// The renderer runs on what GL 2.1 (+ framebuffer objects), GL 3.3 core and OpenGL ES
// 3.0 share. `--gl` chooses the kind (setContextRequest, before any window is made);
// Auto tries autoContextOrder() in turn. Every window of the program (main window,
// machine probe, settings dialog) follows the same request. contextInfo() tells the
// layers above which kind was made and its versions, so that they can choose their
// GLSL target; it is valid while the main window exists.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Compat: a compatibility-profile context of at least 2.1. Core: 3.3 core profile,
// forward-compatible. Es: OpenGL ES 3.0.
enum class ContextKind { Compat, Core, Es };
enum class ContextRequest { Auto, Compat, Core, Es };

// The kinds Auto tries, first to last.
const std::vector<ContextKind>& autoContextOrder();
// The kinds a request tries: the Auto order, or the one kind asked for.
std::vector<ContextKind> contextKinds(ContextRequest request);

// "auto", "compat", "core" or "es"; false (and *request untouched) for anything else.
bool parseContextRequest(const std::string& name, ContextRequest* request);
// "compat", "core" or "es".
const char* contextKindName(ContextKind kind);

// The request every window made from now on follows (Auto until set).
void setContextRequest(ContextRequest request);
ContextRequest contextRequest();

// A context as made: its kind and the versions it reports, as numbers (OpenGL ES and
// GLSL ES versions for Es; "4.50" reads as 4.50, "1.20" as 1.20).
struct ContextInfo {
    ContextKind kind = ContextKind::Compat;
    int major = 0;
    int minor = 0;
    int shadingMajor = 0;  // 0.0 when the context has no shading language
    int shadingMinor = 0;
};
// The main window's context; all zeros (kind Compat) without a main window.
ContextInfo contextInfo();

// What the renderer uses that `context` lacks, as one sentence for the extension
// error ("Extension GL_ARB_framebuffer_object is required."); empty when nothing is
// missing. `hasExtension` tells whether the context offers an extension by name.
std::string missingRequirements(const ContextInfo& context, bool (*hasExtension)(const char* name));

}  // namespace platform
