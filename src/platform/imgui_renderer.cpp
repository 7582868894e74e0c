#include "platform/imgui_renderer.h"

#include <epoxy/gl.h>
#include <imgui.h>

#include <cstddef>
#include <cstdint>

namespace platform {
namespace {

constexpr GLuint positionAttribute = 0;
constexpr GLuint uvAttribute = 1;
constexpr GLuint colourAttribute = 2;

const char* const vertexBody =
    "uniform mat4 projection;\n"
    "IN vec2 position;\n"
    "IN vec2 uv;\n"
    "IN vec4 colour;\n"
    "OUT vec2 fragmentUv;\n"
    "OUT vec4 fragmentColour;\n"
    "void main()\n"
    "{\n"
    "    fragmentUv = uv;\n"
    "    fragmentColour = colour;\n"
    "    gl_Position = projection * vec4(position, 0.0, 1.0);\n"
    "}\n";

const char* const fragmentBody =
    "uniform sampler2D atlas;\n"
    "IN vec2 fragmentUv;\n"
    "IN vec4 fragmentColour;\n"
    "void main()\n"
    "{\n"
    "    FRAGMENT_OUT = fragmentColour * TEXTURE(atlas, fragmentUv);\n"
    "}\n";

struct ShaderPrologues {
    const char* vertex;
    const char* fragment;
};

ShaderPrologues prologues(ContextKind kind)
{
    switch (kind) {
    case ContextKind::Core:
        return {"#version 330 core\n#define IN in\n#define OUT out\n",
                "#version 330 core\n#define IN in\n#define TEXTURE texture\n"
                "out vec4 fragmentOut;\n#define FRAGMENT_OUT fragmentOut\n"};
    case ContextKind::Es:
        return {"#version 300 es\n#define IN in\n#define OUT out\n",
                "#version 300 es\nprecision mediump float;\n#define IN in\n#define TEXTURE texture\n"
                "out vec4 fragmentOut;\n#define FRAGMENT_OUT fragmentOut\n"};
    case ContextKind::Compat:
        break;
    }
    return {"#version 120\n#define IN attribute\n#define OUT varying\n",
            "#version 120\n#define IN varying\n#define TEXTURE texture2D\n#define FRAGMENT_OUT gl_FragColor\n"};
}

struct Renderer {
    ContextKind kind = ContextKind::Compat;
    bool vertexArrays = false;  // the context has vertex array objects
    bool samplers = false;      // ... and sampler objects
    bool desktop = true;        // ... and polygon modes
    GLuint program = 0;
    GLint projection = -1;
    GLint atlas = -1;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    GLuint vertexArray = 0;
    GLuint fontTexture = 0;
    GLsizeiptr vertexCapacity = 0;
    GLsizeiptr indexCapacity = 0;
};

Renderer* current()
{
    return ImGui::GetCurrentContext() ? static_cast<Renderer*>(ImGui::GetIO().BackendRendererUserData) : nullptr;
}

// Compiles one stage; 0 with the driver's text in *error.
GLuint compile(GLenum stage, const char* prologue, const char* body, std::string* error)
{
    GLuint shader = glCreateShader(stage);
    const char* text[] = {prologue, body};
    glShaderSource(shader, 2, text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        if (error) {
            *error = std::string("GUI shader: ") + log;
        }
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

bool linkProgram(Renderer* r, std::string* error)
{
    const ShaderPrologues text = prologues(r->kind);
    GLuint vertex = compile(GL_VERTEX_SHADER, text.vertex, vertexBody, error);
    GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, text.fragment, fragmentBody, error) : 0;
    if (!fragment) {
        glDeleteShader(vertex);
        return false;
    }
    r->program = glCreateProgram();
    glAttachShader(r->program, vertex);
    glAttachShader(r->program, fragment);
    glBindAttribLocation(r->program, positionAttribute, "position");
    glBindAttribLocation(r->program, uvAttribute, "uv");
    glBindAttribLocation(r->program, colourAttribute, "colour");
    glLinkProgram(r->program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(r->program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[1024] = {};
        glGetProgramInfoLog(r->program, sizeof(log), nullptr, log);
        if (error) {
            *error = std::string("GUI program: ") + log;
        }
        return false;
    }
    r->projection = glGetUniformLocation(r->program, "projection");
    r->atlas = glGetUniformLocation(r->program, "atlas");
    return true;
}

// The font atlas as an RGBA texture, uploaded without disturbing the bindings.
void uploadFonts(Renderer* r)
{
    ImGuiIO& io = ImGui::GetIO();
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    GLint activeTexture = 0;
    GLint texture = 0;
    GLint rowLength = 0;
    GLint alignment = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGenTextures(1, &r->fontTexture);
    glBindTexture(GL_TEXTURE_2D, r->fontTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    glActiveTexture(GLenum(activeTexture));
    io.Fonts->SetTexID(reinterpret_cast<ImTextureID>(intptr_t(r->fontTexture)));
}

// What a vertex attribute array looks like, for contexts without vertex arrays.
struct AttributeState {
    GLint enabled = 0;
    GLint size = 4;
    GLint type = GL_FLOAT;
    GLint normalized = 0;
    GLint stride = 0;
    GLint buffer = 0;
    void* pointer = nullptr;
};

// Every state the drawing changes.
struct SavedState {
    GLint program = 0;
    GLint activeTexture = 0;
    GLint texture = 0;
    GLint sampler = 0;
    GLint arrayBuffer = 0;
    GLint elementBuffer = 0;
    GLint vertexArray = 0;
    AttributeState attributes[3];
    GLint viewport[4] = {};
    GLint scissorBox[4] = {};
    GLint polygonMode[2] = {};
    GLint blendSourceRgb = 0;
    GLint blendDestinationRgb = 0;
    GLint blendSourceAlpha = 0;
    GLint blendDestinationAlpha = 0;
    GLint blendEquationRgb = 0;
    GLint blendEquationAlpha = 0;
    GLboolean blend = GL_FALSE;
    GLboolean cullFace = GL_FALSE;
    GLboolean depthTest = GL_FALSE;
    GLboolean stencilTest = GL_FALSE;
    GLboolean scissorTest = GL_FALSE;
};

void save(const Renderer& r, SavedState* s)
{
    glGetIntegerv(GL_CURRENT_PROGRAM, &s->program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s->activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s->texture);
    if (r.samplers) {
        glGetIntegerv(GL_SAMPLER_BINDING, &s->sampler);
    }
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s->arrayBuffer);
    if (r.vertexArrays) {
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s->vertexArray);
    } else {
        glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &s->elementBuffer);
        for (GLuint i = 0; i < 3; ++i) {
            AttributeState& a = s->attributes[i];
            glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &a.enabled);
            glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_SIZE, &a.size);
            glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_TYPE, &a.type);
            glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, &a.normalized);
            glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &a.stride);
            glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &a.buffer);
            glGetVertexAttribPointerv(i, GL_VERTEX_ATTRIB_ARRAY_POINTER, &a.pointer);
        }
    }
    glGetIntegerv(GL_VIEWPORT, s->viewport);
    glGetIntegerv(GL_SCISSOR_BOX, s->scissorBox);
    if (r.desktop) {
        glGetIntegerv(GL_POLYGON_MODE, s->polygonMode);
    }
    glGetIntegerv(GL_BLEND_SRC_RGB, &s->blendSourceRgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &s->blendDestinationRgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s->blendSourceAlpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s->blendDestinationAlpha);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &s->blendEquationRgb);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &s->blendEquationAlpha);
    s->blend = glIsEnabled(GL_BLEND);
    s->cullFace = glIsEnabled(GL_CULL_FACE);
    s->depthTest = glIsEnabled(GL_DEPTH_TEST);
    s->stencilTest = glIsEnabled(GL_STENCIL_TEST);
    s->scissorTest = glIsEnabled(GL_SCISSOR_TEST);
}

void enable(GLenum capability, GLboolean on)
{
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

void restore(const Renderer& r, const SavedState& s)
{
    glUseProgram(GLuint(s.program));
    glBindTexture(GL_TEXTURE_2D, GLuint(s.texture));
    if (r.samplers) {
        glBindSampler(0, GLuint(s.sampler));
    }
    glActiveTexture(GLenum(s.activeTexture));
    if (r.vertexArrays) {
        glBindVertexArray(GLuint(s.vertexArray));
    } else {
        for (GLuint i = 0; i < 3; ++i) {
            const AttributeState& a = s.attributes[i];
            glBindBuffer(GL_ARRAY_BUFFER, GLuint(a.buffer));
            glVertexAttribPointer(i, a.size, GLenum(a.type), GLboolean(a.normalized), a.stride, a.pointer);
            if (a.enabled) {
                glEnableVertexAttribArray(i);
            } else {
                glDisableVertexAttribArray(i);
            }
        }
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(s.elementBuffer));
    }
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(s.arrayBuffer));
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    glScissor(s.scissorBox[0], s.scissorBox[1], s.scissorBox[2], s.scissorBox[3]);
    if (r.desktop) {
        glPolygonMode(GL_FRONT_AND_BACK, GLenum(s.polygonMode[0]));
    }
    glBlendEquationSeparate(GLenum(s.blendEquationRgb), GLenum(s.blendEquationAlpha));
    glBlendFuncSeparate(GLenum(s.blendSourceRgb), GLenum(s.blendDestinationRgb), GLenum(s.blendSourceAlpha),
                        GLenum(s.blendDestinationAlpha));
    enable(GL_BLEND, s.blend);
    enable(GL_CULL_FACE, s.cullFace);
    enable(GL_DEPTH_TEST, s.depthTest);
    enable(GL_STENCIL_TEST, s.stencilTest);
    enable(GL_SCISSOR_TEST, s.scissorTest);
}

// Alpha blending, no culling, depth or stencil, scissor on; the program with an
// orthographic projection of the display rectangle; the buffers and attributes.
void setUp(const Renderer& r, const ImDrawData* data, int width, int height)
{
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glEnable(GL_SCISSOR_TEST);
    if (r.desktop) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    glViewport(0, 0, width, height);
    const float left = data->DisplayPos.x;
    const float right = data->DisplayPos.x + data->DisplaySize.x;
    const float top = data->DisplayPos.y;
    const float bottom = data->DisplayPos.y + data->DisplaySize.y;
    const float projection[16] = {
        2.0f / (right - left), 0.0f, 0.0f, 0.0f,
        0.0f, 2.0f / (top - bottom), 0.0f, 0.0f,
        0.0f, 0.0f, -1.0f, 0.0f,
        (right + left) / (left - right), (top + bottom) / (bottom - top), 0.0f, 1.0f,
    };
    glUseProgram(r.program);
    glUniformMatrix4fv(r.projection, 1, GL_FALSE, projection);
    glUniform1i(r.atlas, 0);
    if (r.samplers) {
        glBindSampler(0, 0);
    }
    if (r.vertexArrays) {
        glBindVertexArray(r.vertexArray);
    }
    glBindBuffer(GL_ARRAY_BUFFER, r.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    const GLsizei stride = sizeof(ImDrawVert);
    glEnableVertexAttribArray(positionAttribute);
    glEnableVertexAttribArray(uvAttribute);
    glEnableVertexAttribArray(colourAttribute);
    glVertexAttribPointer(positionAttribute, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(ImDrawVert, pos)));
    glVertexAttribPointer(uvAttribute, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(ImDrawVert, uv)));
    glVertexAttribPointer(colourAttribute, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<const void*>(offsetof(ImDrawVert, col)));
}

// Copies `bytes` into the bound buffer of `target`, growing its storage when short.
void upload(GLenum target, GLsizeiptr* capacity, GLsizeiptr bytes, const void* data)
{
    if (bytes > *capacity) {
        *capacity = bytes + bytes / 2;
        glBufferData(target, *capacity, nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(target, 0, bytes, data);
}

}  // namespace

bool imguiRendererInit(ContextKind kind, std::string* error)
{
    ImGuiIO& io = ImGui::GetIO();
    if (io.BackendRendererUserData) {
        return true;
    }
    Renderer* r = IM_NEW(Renderer)();
    r->kind = kind;
    const int version = epoxy_gl_version();
    r->desktop = kind != ContextKind::Es;
    r->vertexArrays = kind != ContextKind::Compat || version >= 30 || epoxy_has_gl_extension("GL_ARB_vertex_array_object");
    r->samplers = kind != ContextKind::Compat || version >= 33 || epoxy_has_gl_extension("GL_ARB_sampler_objects");
    io.BackendRendererUserData = r;
    io.BackendRendererName = "core_imgui_renderer";
    if (!linkProgram(r, error)) {
        imguiRendererShutdown();
        return false;
    }
    glGenBuffers(1, &r->vertexBuffer);
    glGenBuffers(1, &r->indexBuffer);
    if (r->vertexArrays) {
        glGenVertexArrays(1, &r->vertexArray);
    }
    uploadFonts(r);
    return true;
}

void imguiRendererShutdown()
{
    Renderer* r = current();
    if (!r) {
        return;
    }
    ImGuiIO& io = ImGui::GetIO();
    if (r->fontTexture) {
        glDeleteTextures(1, &r->fontTexture);
        io.Fonts->SetTexID(ImTextureID());
    }
    if (r->vertexArray) {
        glDeleteVertexArrays(1, &r->vertexArray);
    }
    glDeleteBuffers(1, &r->vertexBuffer);
    glDeleteBuffers(1, &r->indexBuffer);
    glDeleteProgram(r->program);
    io.BackendRendererUserData = nullptr;
    io.BackendRendererName = nullptr;
    IM_DELETE(r);
}

void imguiRendererDraw(const ImDrawData* data)
{
    Renderer* r = current();
    if (!r || !data || data->CmdListsCount == 0) {
        return;
    }
    const ImVec2 scale = data->FramebufferScale;
    const int width = int(data->DisplaySize.x * scale.x);
    const int height = int(data->DisplaySize.y * scale.y);
    if (width <= 0 || height <= 0) {
        return;
    }
    SavedState saved;
    save(*r, &saved);
    setUp(*r, data, width, height);
    const GLenum indexType = sizeof(ImDrawIdx) == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    for (int n = 0; n < data->CmdListsCount; ++n) {
        const ImDrawList* list = data->CmdLists[n];
        upload(GL_ARRAY_BUFFER, &r->vertexCapacity, GLsizeiptr(list->VtxBuffer.Size) * GLsizeiptr(sizeof(ImDrawVert)),
               list->VtxBuffer.Data);
        upload(GL_ELEMENT_ARRAY_BUFFER, &r->indexCapacity,
               GLsizeiptr(list->IdxBuffer.Size) * GLsizeiptr(sizeof(ImDrawIdx)), list->IdxBuffer.Data);
        for (const ImDrawCmd& command : list->CmdBuffer) {
            if (command.UserCallback) {
                if (command.UserCallback == ImDrawCallback_ResetRenderState) {
                    setUp(*r, data, width, height);
                } else {
                    command.UserCallback(list, &command);
                }
                continue;
            }
            // The clip rectangle in framebuffer pixels, y counted from the bottom.
            const float x0 = (command.ClipRect.x - data->DisplayPos.x) * scale.x;
            const float y0 = (command.ClipRect.y - data->DisplayPos.y) * scale.y;
            const float x1 = (command.ClipRect.z - data->DisplayPos.x) * scale.x;
            const float y1 = (command.ClipRect.w - data->DisplayPos.y) * scale.y;
            if (x1 <= x0 || y1 <= y0) {
                continue;
            }
            glScissor(int(x0), int(float(height) - y1), int(x1 - x0), int(y1 - y0));
            glBindTexture(GL_TEXTURE_2D, GLuint(reinterpret_cast<intptr_t>(command.GetTexID())));
            glDrawElements(GL_TRIANGLES, GLsizei(command.ElemCount), indexType,
                           reinterpret_cast<const void*>(command.IdxOffset * sizeof(ImDrawIdx)));
        }
    }
    restore(*r, saved);
}

}  // namespace platform
