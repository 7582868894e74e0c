#include "platform/gui_backend.h"

#include <epoxy/gl.h>
#include <SDL2/SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl2.h>
#include <backends/imgui_impl_sdl.h>

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
    bool ok = ImGui_ImplSDL2_InitForOpenGL(window, glContext) && ImGui_ImplOpenGL2_Init();
    ImGui::SetCurrentContext(previous);
    if (!ok) {
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
    if (ImGui::GetIO().BackendRendererUserData) {
        ImGui_ImplOpenGL2_Shutdown();
    }
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
    ImGui_ImplOpenGL2_NewFrame();
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
    GLint program = 0, activeTexture = 0, clientTexture = 0, arrayBuffer = 0, elementBuffer = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &clientTexture);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glActiveTexture(GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glUseProgram(0);
    glClientActiveTexture(GL_TEXTURE0);
    // The back end draws from client arrays: no buffer may be bound.
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glActiveTexture(GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(arrayBuffer));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(elementBuffer));
    glClientActiveTexture(GLenum(clientTexture));
    glActiveTexture(GLenum(activeTexture));
    glUseProgram(GLuint(program));
    leave();
}

int guiToggleKey() { return SDLK_F1; }

}  // namespace platform
