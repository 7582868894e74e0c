#include "platform/gui_backend.h"
#include "platform/imgui_renderer.h"

#include <SDL2/SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_sdl.h>

#include <cstdio>
#include <string>

namespace platform {
namespace {

ImGuiContext* gContext = nullptr;
ImGuiContext* gPrevious = nullptr;
bool gInFrame = false;

// Makes ours current, remembering whose it was (the dialog may own another).
void enter()
{
    gPrevious = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(gContext);
}

void leave() { ImGui::SetCurrentContext(gPrevious == gContext ? nullptr : gPrevious); }

}  // namespace

bool guiInit()
{
    if (gContext) {
        return true;
    }
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    SDL_GLContext glContext = SDL_GL_GetCurrentContext();
    if (!window || !glContext) {
        return false;
    }
    ImGuiContext* previous = ImGui::GetCurrentContext();
    gContext = ImGui::CreateContext();
    ImGui::SetCurrentContext(gContext);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Alpha = 0.92f;
    std::string error;
    bool ok = ImGui_ImplSDL2_InitForOpenGL(window, glContext) && imguiRendererInit(contextInfo().kind, &error);
    ImGui::SetCurrentContext(previous);
    if (!ok) {
        // Only a broken build gets here; the demo plays on without the bar.
        if (!error.empty()) {
            std::fprintf(stderr, "coredemo: tweak bar: %s\n", error.c_str());
        }
        guiShutdown();
    }
    return ok;
}

void guiShutdown()
{
    if (!gContext) {
        return;
    }
    enter();
    imguiRendererShutdown();
    if (ImGui::GetIO().BackendPlatformUserData) {
        ImGui_ImplSDL2_Shutdown();
    }
    ImGui::DestroyContext(gContext);
    ImGui::SetCurrentContext(gPrevious == gContext ? nullptr : gPrevious);
    gContext = nullptr;
    gInFrame = false;
}

bool guiProcessEvent(const Event& event)
{
    if (!gContext || !event.native) {
        return false;
    }
    enter();
    const SDL_Event* e = static_cast<const SDL_Event*>(event.native);
    ImGui_ImplSDL2_ProcessEvent(e);
    const ImGuiIO& io = ImGui::GetIO();
    bool wanted = false;
    switch (e->type) {
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
        wanted = io.WantCaptureMouse;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
        wanted = io.WantCaptureKeyboard || io.WantTextInput;
        break;
    default:
        break;
    }
    leave();
    return wanted;
}

bool guiTyping()
{
    if (!gContext) {
        return false;
    }
    enter();
    bool typing = ImGui::GetIO().WantTextInput;
    leave();
    return typing;
}

void guiNewFrame()
{
    if (!gContext || gInFrame) {
        return;
    }
    enter();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    gInFrame = true;  // ours stays current until guiRender
}

void guiRender()
{
    if (!gContext || !gInFrame) {
        return;
    }
    gInFrame = false;
    ImGui::Render();
    imguiRendererDraw(ImGui::GetDrawData());
    leave();
}

int guiToggleKey() { return SDLK_F1; }

}  // namespace platform
