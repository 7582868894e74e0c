#include "app/screen.h"

#include "app/app.h"
#include "app/settings_dialog.h"
#include "audio/sound.h"
#include "base/log.h"
#include "base/options.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>

namespace {

const char* glString(GLenum name)
{
    return reinterpret_cast<const char*>(glGetString(name));
}

void errorBox(const char* caption, const std::string& text)
{
    platform::messageBox(caption, text, platform::MessageIcon::Error);
}

// The context's extensions separated by spaces. From GL 3.0 (and in ES 3.0) they are
// listed one by one; a core context has no single string of them.
std::string extensionList()
{
    if (epoxy_gl_version() < 30) {
        const char* all = glString(GL_EXTENSIONS);
        return all ? all : "";
    }
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    std::string list;
    for (GLint i = 0; i < count; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
        if (name) {
            list += (list.empty() ? "" : " ") + std::string(name);
        }
    }
    return list;
}

// The number after an OpenGL ES string's prefix ("OpenGL ES 3.2 Mesa",
// "OpenGL ES GLSL ES 3.20", "OpenGL ES-CM 1.1"); other strings as they are.
const char* afterEsPrefix(const char* text)
{
    static const char prefix[] = "OpenGL ES";
    if (!text || std::strncmp(text, prefix, sizeof(prefix) - 1) != 0) {
        return text;
    }
    text += sizeof(prefix) - 1;
    while (*text && (*text < '0' || *text > '9')) {
        ++text;
    }
    return text;
}

}  // namespace

WindowPlacement placeWindow(int width, int height, bool fullscreen, const platform::Rect& workArea,
                            const platform::Rect& frame)
{
    WindowPlacement place;
    if (fullscreen) {
        place.width = width;
        place.height = height;
        return place;
    }
    // The client rectangle (0, 0, width, height) grown by the decorations.
    const int adjustedLeft = -frame.left;
    const int adjustedTop = -frame.top;
    const int adjustedRight = width + frame.right;
    const int adjustedBottom = height + frame.bottom;
    place.width = adjustedRight - adjustedLeft;
    place.height = adjustedBottom - adjustedTop;
    // Centred on the work area, measured from its own origin (a panel on the left or
    // at the top moves the area away from the desktop's corner).
    const int areaWidth = workArea.right - workArea.left;
    const int areaHeight = workArea.bottom - workArea.top;
    place.x = workArea.left;
    place.y = workArea.top;
    if (areaWidth > width) {
        place.x = workArea.left + (areaWidth - adjustedRight) / 2;
    }
    if (areaHeight > height) {
        place.y = workArea.top + (areaHeight - place.height) / 2;
    }
    return place;
}

int choosePixelFormat(const std::vector<PixelFormatCandidate>& candidates, int samples)
{
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].samples == samples) {
            return int(i);
        }
    }
    return -1;
}

int parseGlVersions(const char* version, const char* shadingVersion, const char* extensions, GlVersions* out)
{
    *out = GlVersions();
    version = afterEsPrefix(version);
    shadingVersion = afterEsPrefix(shadingVersion);
    if (!version || std::sscanf(version, "%d.%d", &out->major, &out->minor) != 2) {
        return 1;
    }
    if (out->major == 1) {
        if (extensions && std::strstr(extensions, "GL_ARB_shading_language_100")) {
            out->shadingMajor = 1;
            out->shadingMinor = 0;
        }
    } else if (out->major >= 2) {
        if (!shadingVersion || std::sscanf(shadingVersion, "%d.%d", &out->shadingMajor, &out->shadingMinor) != 2) {
            return 2;
        }
    }
    return 0;
}

int Screen::enumerate()
{
    displayModes.clear();
    pixelFormats.clear();
    soundDrivers.clear();
    for (const platform::DisplayModeInfo& info : platform::displayModes()) {
        if (!platform::isTrueColourMode(info)) {
            continue;
        }
        DisplayMode mode;
        mode.width = info.width;
        mode.height = info.height;
        mode.refreshRate = info.refreshRate;
        mode.modeIndex = info.index;
        std::snprintf(mode.caption, sizeof(mode.caption), "%s",
                      displayModeCaption(info.width, info.height, info.refreshRate).c_str());
        displayModes.push_back(mode);
    }
    platform::ProbeResult probe;
    std::string error;
    if (!platform::probeMachine(&probe, &error)) {
        // GLX 1.3 framebuffer configurations stand in for the pixel-format extension.
        if (probe.missingConfigs) {
            errorBox("Extension error", "Extension WGL_ARB_pixel_format is required.");
        } else {
            errorBox("Screen::init", error);  // no window or context of the asked kind
        }
        return 1;
    }
    maxAnisotropy = probe.maxAnisotropy;
    for (const platform::PixelFormatInfo& info : probe.pixelFormats) {
        pixelFormats.push_back({info.id, info.samples});
    }
    if (soundDevicesNeeded(options)) {
        sound.getDeviceName(soundDrivers);
    }
    return 0;
}

void Screen::leaveDisplayMode()
{
    if (modeChanged) {
        platform::restoreDisplayMode();
        platform::showCursor(true);
        modeChanged = false;
    }
}

void Screen::undoInit()
{
    if (hasWindow) {
        platform::destroyWindow();
        hasWindow = hasContext = false;
    }
    leaveDisplayMode();
    if (screenSaverOff) {
        platform::enableScreenSaver(true);
        screenSaverOff = false;
    }
}

int Screen::init(int /*showCommand*/)
{
    // The SDL window needs no class registration; the video subsystem stands in.
    // Every window from here on (probe, dialog, main window) asks for the same kind
    // of context.
    platform::setContextRequest(options.gl);
    std::string error;
    if (!platform::initVideo(&error)) {
        errorBox("Screen::init", error);
        return 1;
    }
    if (enumerate() != 0) {
        return 1;
    }
    applyOptions(*this, options);
    if (options.noDialog) {
        std::vector<OutputMethod> outputs;
        if (soundDevicesNeeded(options)) {
            Sound::getOutputMethods(outputs);
        }
        acceptSettings(*this, choiceFromOptions(*this, options, outputs));
    } else {
        runSettingsDialog(*this);
    }
    if (!accepted) {
        return 1;
    }

    if (fullscreen) {
        const bool known = resolutionIndex >= 0 && resolutionIndex < int(displayModes.size());
        if (known && platform::changeDisplayMode(displayModes[size_t(resolutionIndex)].modeIndex)) {
            modeChanged = true;
            platform::showCursor(false);
        } else {
            platform::messageBox("Screen::init", "Full screen mode failed", platform::MessageIcon::Warning);
            fullscreen = false;
        }
    }
    // X11 tells the decorations' size only once the window is mapped: the client area
    // is centred first and the whole window once it is shown.
    WindowPlacement place = placeWindow(width, height, fullscreen, platform::workArea(), platform::Rect());

    int format = choosePixelFormat(pixelFormats, antialiasSamples);
    platform::WindowDesc desc;
    desc.title = title;
    desc.x = place.x;
    desc.y = place.y;
    desc.width = width;  // SDL sizes the client area; the decorations come on top
    desc.height = height;
    desc.fullscreen = fullscreen;
    desc.hidden = true;
    desc.samples = format >= 0 ? pixelFormats[size_t(format)].samples : 0;
    switch (platform::openWindow(desc, &error)) {
    case platform::WindowResult::Ok:
        break;
    case platform::WindowResult::WindowFailed:
        undoInit();
        return 1;
    case platform::WindowResult::PixelFormatFailed:
        undoInit();
        errorBox("Screen::init", "SetPixelFormat() failed.");
        return 1;
    case platform::WindowResult::ContextFailed:
        undoInit();
        errorBox("Screen::init", "wglCreateContex() failed.");
        return 1;
    case platform::WindowResult::MakeCurrentFailed:
        undoInit();
        errorBox("Screen::init", "wglMakeCurrent() failed.");
        return 1;
    }
    hasWindow = hasContext = true;
    if (fullscreen && platform::fullscreenRefused()) {
        platform::messageBox("Screen::init", "Full screen mode failed", platform::MessageIcon::Warning);
        fullscreen = false;
        modeChanged = false;
        platform::showCursor(true);
        place = placeWindow(width, height, false, platform::workArea(), platform::Rect());
        platform::moveWindow(place.x, place.y);
    }

    if (!platform::linkExtensions(&error)) {
        errorBox("Extension error", error);
        CORE_LOG("GLee error: " << error);
        undoInit();
        return 1;
    }
    if (checkRequirements() != 0) {
        undoInit();
        return 1;
    }
    platform::setSwapInterval(vsync ? 1 : 0);
    platform::enableScreenSaver(false);
    screenSaverOff = true;
    // The effect runtime keeps its state per effect and needs no context object.
    platform::showWindow();
    const platform::Rect frame = platform::windowFrame();
    if (!fullscreen && (frame.left || frame.top || frame.right || frame.bottom)) {
        place = placeWindow(width, height, false, platform::workArea(), frame);
        platform::moveWindow(place.x + frame.left, place.y + frame.top);
    }
    return 0;
}

int Screen::checkRequirements()
{
    const char* renderer = glString(GL_RENDERER);
    const char* vendor = glString(GL_VENDOR);
    const char* version = glString(GL_VERSION);
    CORE_LOG("Renderer: " << (renderer ? renderer : ""));
    CORE_LOG("Device Vendor: " << (vendor ? vendor : ""));
    CORE_LOG("GL Version: " << (version ? version : ""));
    const std::string extensions = extensionList();
    GlVersions versions;
    // A GL 1 driver has no shading language string; it is asked for only from GL 2 on.
    const char* shading = nullptr;
    int major = 0;
    if (version && std::sscanf(afterEsPrefix(version), "%d", &major) == 1 && major >= 2) {
        shading = glString(GL_SHADING_LANGUAGE_VERSION);
    }
    int result = parseGlVersions(version, shading, extensions.c_str(), &versions);
    if (result == 1) {
        errorBox("Req check error", "Invalid GL_VERSION format");
        return 1;
    }
    if (result == 2) {
        errorBox("Req check error", "Invalid GL_SHADING_LANGUAGE_VERSION format");
        return 1;
    }
    CORE_LOG("GL Shading Language Version: " << versions.shadingMajor << "." << versions.shadingMinor);
    CORE_LOG("\nSupported Extensions:\n" << extensions);
    const std::string missing = platform::missingRequirements(platform::contextInfo(), epoxy_has_gl_extension);
    if (!missing.empty()) {
        errorBox("Extension error", missing);
        CORE_LOG("Extension error: " << missing);
        return 1;
    }
    return 0;
}

void Screen::close()
{
    if (hasWindow) {
        // The desktop comes back before the statistics box shows.
        platform::hideWindow();
        leaveDisplayMode();
        if (showStats) {
            showStatistics();
        }
    }
    undoInit();
}
