// The GUI renderer on each kind of context: shapes land where ImGui put them, clipped by
// their rectangles and textured from the font atlas, and every GL state the drawing
// changes is back as it was. Run under Xvfb, and under Weston by e2e_test_wayland.
#include "gl_fixture.h"
#include "platform/imgui_renderer.h"

#include <imgui.h>

#include <array>
#include <string>

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 96;

// The pixel at (x, y), y counted from the top as ImGui counts.
std::array<int, 3> pixel(int x, int y)
{
    unsigned char rgba[4] = {};
    glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

// State a frame of the demo may leave behind, all of it unlike what the GUI sets.
struct DemoState {
    GLuint arrayBuffer = 0;
    GLuint elementBuffer = 0;
    GLuint vertexArray = 0;
    GLuint textures[2] = {};
    GLuint program = 0;
};

GLuint demoProgram(platform::ContextKind kind)
{
    const char* version = kind == platform::ContextKind::Es     ? "#version 300 es\nprecision mediump float;\n"
                          : kind == platform::ContextKind::Core ? "#version 330 core\n"
                                                                : "#version 120\n";
    const char* out = kind == platform::ContextKind::Compat ? "#define colour gl_FragColor\n" : "out vec4 colour;\n";
    const char* vertex[] = {version, "void main() { gl_Position = vec4(0.0); }\n"};
    const char* fragment[] = {version, out, "void main() { colour = vec4(1.0); }\n"};
    GLuint program = glCreateProgram();
    for (GLenum stage : {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER}) {
        GLuint shader = glCreateShader(stage);
        if (stage == GL_VERTEX_SHADER) {
            glShaderSource(shader, 2, vertex, nullptr);
        } else {
            glShaderSource(shader, 3, fragment, nullptr);
        }
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE);
    return program;
}

DemoState setDemoState(platform::ContextKind kind)
{
    DemoState s;
    s.program = demoProgram(kind);
    glUseProgram(s.program);
    glGenVertexArrays(1, &s.vertexArray);
    glBindVertexArray(s.vertexArray);
    glGenBuffers(1, &s.arrayBuffer);
    glGenBuffers(1, &s.elementBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, s.arrayBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, s.elementBuffer);
    glGenTextures(2, s.textures);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, s.textures[0]);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, s.textures[1]);
    glViewport(1, 2, 30, 40);
    glScissor(3, 4, 5, 6);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glDisable(GL_BLEND);
    glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_SRC_COLOR);
    glBlendEquationSeparate(GL_FUNC_SUBTRACT, GL_FUNC_ADD);
    return s;
}

void expectDemoState(const DemoState& s)
{
    GLint v[4] = {};
    glGetIntegerv(GL_CURRENT_PROGRAM, v);
    EXPECT_EQ(GLuint(v[0]), s.program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, v);
    EXPECT_EQ(GLuint(v[0]), s.vertexArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, v);
    EXPECT_EQ(GLuint(v[0]), s.arrayBuffer);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, v);
    EXPECT_EQ(GLuint(v[0]), s.elementBuffer);
    glGetIntegerv(GL_ACTIVE_TEXTURE, v);
    EXPECT_EQ(v[0], GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, v);
    EXPECT_EQ(GLuint(v[0]), s.textures[1]);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, v);
    EXPECT_EQ(GLuint(v[0]), s.textures[0]);
    glActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_VIEWPORT, v);
    EXPECT_EQ((std::array<GLint, 4>{v[0], v[1], v[2], v[3]}), (std::array<GLint, 4>{1, 2, 30, 40}));
    glGetIntegerv(GL_SCISSOR_BOX, v);
    EXPECT_EQ((std::array<GLint, 4>{v[0], v[1], v[2], v[3]}), (std::array<GLint, 4>{3, 4, 5, 6}));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_STENCIL_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    const GLenum blend[] = {GL_BLEND_SRC_RGB, GL_BLEND_DST_RGB, GL_BLEND_SRC_ALPHA, GL_BLEND_DST_ALPHA,
                            GL_BLEND_EQUATION_RGB, GL_BLEND_EQUATION_ALPHA};
    const GLint expected[] = {GL_ONE, GL_ONE, GL_ZERO, GL_SRC_COLOR, GL_FUNC_SUBTRACT, GL_FUNC_ADD};
    for (int i = 0; i < 6; ++i) {
        glGetIntegerv(blend[i], v);
        EXPECT_EQ(v[0], expected[i]) << "blend state " << i;
    }
}

void releaseDemoState(DemoState* s)
{
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteVertexArrays(1, &s->vertexArray);
    glDeleteBuffers(1, &s->arrayBuffer);
    glDeleteBuffers(1, &s->elementBuffer);
    glDeleteTextures(2, s->textures);
    glDeleteProgram(s->program);
}

// One frame: a white square, a red one clipped to a 10 x 10 window, and a line of text.
void buildFrame()
{
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(kWidth, kHeight);
    io.DeltaTime = 1.0f / 60.0f;
    ImGui::NewFrame();
    ImDrawList* draw = ImGui::GetForegroundDrawList();
    draw->AddRectFilled(ImVec2(10, 10), ImVec2(50, 40), IM_COL32(255, 255, 255, 255));
    draw->PushClipRect(ImVec2(60, 10), ImVec2(70, 20));
    draw->AddRectFilled(ImVec2(60, 10), ImVec2(100, 50), IM_COL32(255, 0, 0, 255));
    draw->PopClipRect();
    draw->AddText(ImVec2(10, 60), IM_COL32(0, 255, 0, 255), "Core");
    ImGui::Render();
}

class ImguiRenderer : public ::testing::TestWithParam<platform::ContextKind> {};

TEST_P(ImguiRenderer, DrawsClippedShapesAndTextAndRestoresTheState)
{
    const platform::ContextKind kind = GetParam();
    openTestWindow("renderer test", kWidth, kHeight,
                   kind == platform::ContextKind::Core ? platform::ContextRequest::Core
                   : kind == platform::ContextKind::Es ? platform::ContextRequest::Es
                                                       : platform::ContextRequest::Compat);
    ASSERT_EQ(platform::contextInfo().kind, kind);

    ImGuiContext* gui = ImGui::CreateContext();
    std::string error;
    ASSERT_TRUE(platform::imguiRendererInit(kind, &error)) << error;
    EXPECT_NE(ImGui::GetIO().Fonts->TexID, ImTextureID());
    glClearColor(0.0f, 0.0f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    DemoState demo = setDemoState(kind);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    for (int frame = 0; frame < 2; ++frame) {  // the second reuses the buffers
        buildFrame();
        platform::imguiRendererDraw(ImGui::GetDrawData());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "frame " << frame;
    }
    expectDemoState(demo);

    const std::array<int, 3> white = {255, 255, 255}, red = {255, 0, 0};
    auto background = [](const std::array<int, 3>& p) { return p[0] == 0 && p[1] == 0 && p[2] >= 127 && p[2] <= 128; };
    EXPECT_EQ(pixel(30, 25), white);
    EXPECT_EQ(pixel(65, 15), red);
    EXPECT_TRUE(background(pixel(80, 30))) << "outside the red square's clip rectangle";
    EXPECT_TRUE(background(pixel(65, 25))) << "below it";
    EXPECT_TRUE(background(pixel(5, 5)));
    int green = 0;
    for (int y = 58; y < 78; ++y) {
        for (int x = 8; x < 60; ++x) {
            green += pixel(x, y)[1] > 128 ? 1 : 0;
        }
    }
    EXPECT_GT(green, 20) << "the text is drawn from the font atlas";

    releaseDemoState(&demo);
    platform::imguiRendererShutdown();
    EXPECT_EQ(ImGui::GetIO().BackendRendererUserData, nullptr);
    platform::imguiRendererShutdown();  // twice does nothing
    ImGui::DestroyContext(gui);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    platform::destroyWindow();
    platform::setContextRequest(platform::ContextRequest::Auto);
}

INSTANTIATE_TEST_SUITE_P(EachKind, ImguiRenderer,
                         ::testing::Values(platform::ContextKind::Compat, platform::ContextKind::Core,
                                           platform::ContextKind::Es),
                         [](const ::testing::TestParamInfo<platform::ContextKind>& info) {
                             return std::string(platform::contextKindName(info.param));
                         });

}  // namespace
