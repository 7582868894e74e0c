#include "platform/dialog.h"
#include "platform/imgui_renderer.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <epoxy/gl.h>
#include <fontconfig/fontconfig.h>
#include <imgui.h>
#include <backends/imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// The TrueType file fontconfig chooses for a family name ("Arial" resolves to a
// metric-compatible face); empty when none is usable by the rasteriser.
std::string fontFile(const char* family)
{
    std::string path;
    if (!FcInit()) {
        return path;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    if (!pattern) {
        return path;
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            path = reinterpret_cast<const char*>(file);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    size_t dot = path.rfind('.');
    std::string ext = dot == std::string::npos ? "" : path.substr(dot);
    if (ext != ".ttf" && ext != ".otf" && ext != ".TTF" && ext != ".OTF") {
        path.clear();
    }
    return path;
}

// Classic light dialog colours: grey face, white fields, thin dark frames.
void applyStyle()
{
    ImGui::StyleColorsLight();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 0.0f;
    style.FrameRounding = 0.0f;
    style.PopupRounding = 0.0f;
    style.WindowBorderSize = 0.0f;
    style.FrameBorderSize = 1.0f;
    style.PopupBorderSize = 1.0f;
    style.WindowPadding = ImVec2(0.0f, 0.0f);
    style.ItemInnerSpacing = ImVec2(5.0f, 4.0f);
    style.AntiAliasedLines = false;  // crisp one-pixel frames
    ImVec4* c = style.Colors;
    c[ImGuiCol_WindowBg] = ImVec4(0.94f, 0.94f, 0.94f, 1.0f);
    c[ImGuiCol_PopupBg] = ImVec4(1.0f, 1.0f, 1.0f, 1.0f);
    c[ImGuiCol_Text] = ImVec4(0.0f, 0.0f, 0.0f, 1.0f);
    c[ImGuiCol_Border] = ImVec4(0.48f, 0.48f, 0.48f, 1.0f);
    c[ImGuiCol_BorderShadow] = ImVec4(0.0f, 0.0f, 0.0f, 0.0f);
    c[ImGuiCol_FrameBg] = ImVec4(1.0f, 1.0f, 1.0f, 1.0f);
    c[ImGuiCol_FrameBgHovered] = ImVec4(0.90f, 0.95f, 1.0f, 1.0f);
    c[ImGuiCol_FrameBgActive] = ImVec4(0.80f, 0.90f, 1.0f, 1.0f);
    c[ImGuiCol_Button] = ImVec4(0.88f, 0.88f, 0.88f, 1.0f);
    c[ImGuiCol_ButtonHovered] = ImVec4(0.90f, 0.95f, 1.0f, 1.0f);
    c[ImGuiCol_ButtonActive] = ImVec4(0.80f, 0.90f, 1.0f, 1.0f);
    c[ImGuiCol_CheckMark] = ImVec4(0.0f, 0.0f, 0.0f, 1.0f);
    c[ImGuiCol_Header] = ImVec4(0.80f, 0.91f, 1.0f, 1.0f);
    c[ImGuiCol_HeaderHovered] = ImVec4(0.90f, 0.95f, 1.0f, 1.0f);
    c[ImGuiCol_HeaderActive] = ImVec4(0.70f, 0.85f, 1.0f, 1.0f);
}

// Dialog base units of a font, as the system derives them: the average width of the
// 52 Latin letters and the font's height; one dialog unit is a quarter of the first
// horizontally and an eighth of the second vertically.
void baseUnits(ImFont* font, float* unitX, float* unitY)
{
    const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    ImVec2 size = font->CalcTextSizeA(font->FontSize, 1e9f, 0.0f, letters);
    float average = std::floor((size.x / 26.0f + 1.0f) / 2.0f);
    *unitX = average / 4.0f;
    *unitY = std::round(font->FontSize) / 8.0f;
}

struct Layout {
    float unitX = 1.5f;
    float unitY = 1.75f;
    ImVec2 pos(int x, int y) const { return ImVec2(std::round(x * unitX), std::round(y * unitY)); }
    float w(int units) const { return std::round(units * unitX); }
    float h(int units) const { return std::round(units * unitY); }
};

// A single-line drop-down list is this many dialog units high when closed.
constexpr int closedComboHeight = 12;

void drawGroupBox(const Layout& layout, const DialogControl& control)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    ImVec2 origin = ImGui::GetWindowPos();
    ImVec2 p = layout.pos(control.x, control.y);
    float textHeight = ImGui::GetFontSize();
    // An etched frame: a grey line with a white one just inside and below it.
    ImVec2 a(origin.x + p.x, origin.y + p.y + std::floor(textHeight / 2.0f));
    ImVec2 b(origin.x + p.x + layout.w(control.width), origin.y + p.y + layout.h(control.height));
    draw->AddRect(ImVec2(a.x + 1, a.y + 1), ImVec2(b.x + 1, b.y + 1), IM_COL32(255, 255, 255, 255));
    draw->AddRect(a, b, IM_COL32(160, 160, 160, 255));
    ImVec2 text = ImGui::CalcTextSize(control.text);
    ImVec2 at(origin.x + p.x + layout.w(4), origin.y + p.y);
    draw->AddRectFilled(ImVec2(at.x - 2, at.y), ImVec2(at.x + text.x + 2, at.y + textHeight),
                        ImGui::GetColorU32(ImGuiCol_WindowBg));
    draw->AddText(at, ImGui::GetColorU32(ImGuiCol_Text), control.text);
}

// Draws every control; returns the id of a clicked push button or -1.
int drawControls(const Layout& layout, const DialogResource& resource, DialogState* state)
{
    int pressed = -1;
    const float fontHeight = ImGui::GetFontSize();
    for (int i = 0; i < resource.controlCount; ++i) {
        const DialogControl& control = resource.controls[i];
        ImGui::PushID(i);
        ImVec2 p = layout.pos(control.x, control.y);
        switch (control.kind) {
        case DialogControl::GroupBox:
            drawGroupBox(layout, control);
            break;
        case DialogControl::Label:
            ImGui::SetCursorPos(ImVec2(p.x, p.y + std::round((layout.h(control.height) - fontHeight) / 2.0f)));
            ImGui::TextUnformatted(control.text);
            break;
        case DialogControl::ComboBox: {
            DialogItem& item = state->item(control.id);
            float closed = layout.h(closedComboHeight);
            ImGui::PushStyleVar(ImGuiStyleVar_FramePadding,
                                ImVec2(layout.w(2), std::max(1.0f, (closed - fontHeight) / 2.0f)));
            ImGui::SetCursorPos(p);
            ImGui::SetNextItemWidth(layout.w(control.width));
            const char* preview = item.selection >= 0 && item.selection < int(item.rows.size())
                                      ? item.rows[size_t(item.selection)].c_str()
                                      : "";
            if (ImGui::BeginCombo("##list", preview, ImGuiComboFlags_HeightLarge)) {
                for (int row = 0; row < int(item.rows.size()); ++row) {
                    bool selected = row == item.selection;
                    if (ImGui::Selectable(item.rows[size_t(row)].c_str(), selected)) {
                        item.selection = row;
                    }
                    if (selected) {
                        ImGui::SetItemDefaultFocus();
                    }
                }
                ImGui::EndCombo();
            }
            ImGui::PopStyleVar();
            break;
        }
        case DialogControl::CheckBox: {
            DialogItem& item = state->item(control.id);
            float box = layout.h(control.height);
            ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(2.0f, std::max(0.0f, (box - fontHeight) / 2.0f)));
            ImGui::SetCursorPos(p);
            ImGui::Checkbox(control.text, &item.checked);
            ImGui::PopStyleVar();
            break;
        }
        case DialogControl::PushButton:
            ImGui::SetCursorPos(p);
            if (ImGui::Button(control.text, ImVec2(layout.w(control.width), layout.h(control.height)))) {
                pressed = control.id;
            }
            break;
        }
        ImGui::PopID();
    }
    return pressed;
}

void saveShot(const char* path, int width, int height)
{
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 4);
    std::vector<unsigned char> flipped(pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        std::memcpy(&flipped[size_t(y) * row], &pixels[size_t(height - 1 - y) * row], row);
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(flipped.data(), width, height, 32, int(row),
                                                              SDL_PIXELFORMAT_ABGR8888);
    if (surface) {
        SDL_SaveBMP(surface, path);
        SDL_FreeSurface(surface);
    }
}

struct TestHook {
    bool active = false;
    int press = 0;
    const char* shot = nullptr;
};

TestHook readTestHook()
{
    TestHook hook;
    if (const char* press = std::getenv("CORE_TEST_DIALOG")) {
        hook.active = true;
        hook.press = std::atoi(press);
    }
    hook.shot = std::getenv("CORE_TEST_DIALOG_SHOT");
    return hook;
}

bool isCloseEvent(const SDL_Event& event, SDL_Window* window)
{
    return event.type == SDL_QUIT || (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE &&
                                      event.window.windowID == SDL_GetWindowID(window));
}

}  // namespace

int runDialog(const DialogResource& resource, DialogState* state, std::string* error)
{
    if (!initVideo(error)) {
        return dialogFailed;
    }
    HelperWindow helper;
    if (!openHelperWindow(resource.caption, 320, 320, &helper, error)) {
        return dialogFailed;
    }
    SDL_Window* window = helper.window;
    SDL_GL_SetSwapInterval(1);

    // The dialog has its own GUI context; whoever used one before gets it back.
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGuiContext* gui = ImGui::CreateContext();
    ImGui::SetCurrentContext(gui);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    applyStyle();
    const float pixels = std::round(resource.fontPoints * 96.0f / 72.0f * 1.15f);
    std::string file = fontFile(resource.fontName);
    ImFont* font = file.empty() ? nullptr : io.Fonts->AddFontFromFileTTF(file.c_str(), pixels);
    if (!font) {
        font = io.Fonts->AddFontDefault();
    }
    Layout layout;
    io.Fonts->Build();
    baseUnits(font, &layout.unitX, &layout.unitY);
    ImVec2 client(layout.w(resource.width), layout.h(resource.height));
    SDL_SetWindowSize(window, int(client.x), int(client.y));
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    ImGui_ImplSDL2_InitForOpenGL(window, helper.context);
    if (!imguiRendererInit(helper.kind, error)) {
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext(gui);
        ImGui::SetCurrentContext(previous);
        closeHelperWindow(&helper);
        discardEvents();
        return dialogFailed;
    }
    SDL_ShowWindow(window);

    TestHook hook = readTestHook();
    int result = -1;
    for (int frame = 0; result < 0; ++frame) {
        SDL_Event event;
        // A dialog waits for input instead of spinning; a timeout keeps it drawn.
        bool got = SDL_WaitEventTimeout(&event, 50) != 0;
        while (got) {
            ImGui_ImplSDL2_ProcessEvent(&event);
            if (isCloseEvent(event, window)) {
                result = dialogClosed;
            }
            got = SDL_PollEvent(&event) != 0;
        }
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(io.DisplaySize);
        ImGui::Begin("##dialog", nullptr,
                     ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                         ImGuiWindowFlags_NoBringToFrontOnFocus);
        int pressed = drawControls(layout, resource, state);
        ImGui::End();
        ImGui::Render();
        int w = 0;
        int h = 0;
        SDL_GL_GetDrawableSize(window, &w, &h);
        glViewport(0, 0, w, h);
        const ImVec4& bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
        glClearColor(bg.x, bg.y, bg.z, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        imguiRendererDraw(ImGui::GetDrawData());
        if (hook.active && frame == 4) {
            if (hook.shot) {
                saveShot(hook.shot, w, h);
            }
            pressed = hook.press;
        }
        SDL_GL_SwapWindow(window);
        if (pressed >= 0 && result < 0) {
            result = pressed;
        }
    }

    imguiRendererShutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(gui);
    ImGui::SetCurrentContext(previous);
    closeHelperWindow(&helper);
    // Closing the only window also queued a quit event; it belongs to the dialog.
    discardEvents();
    return result;
}

}  // namespace platform
