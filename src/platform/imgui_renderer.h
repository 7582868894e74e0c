// Dear ImGui's draw data drawn without fixed function, on any kind of context the
// program makes (gl_context.h): one vertex and index buffer pair, one program whose
// shader text is `#version 120`, `330 core` or `300 es` by the context's kind, one
// vertex array object where the context has them (a core context draws nothing
// without one), scissor rectangles and a texture per command.
//
// Each ImGui context has a renderer of its own, kept in its IO's
// BackendRendererUserData: init, draw and shutdown work on the current ImGui context
// and need the GL context it was made on to be current. Drawing saves every GL state
// it changes and restores it before it returns; init and shutdown change none.
// Main thread only.
#pragma once
#include "platform/gl_context.h"

#include <string>

struct ImDrawData;

namespace platform {

// Makes the program, buffers, vertex array and the font atlas texture (the fonts must
// be added before). False with the compiler's or linker's text in *error.
bool imguiRendererInit(ContextKind kind, std::string* error);
// Deletes what init made; does nothing when there is nothing.
void imguiRendererShutdown();
// Draws one frame's data into the current framebuffer (the viewport is the display
// size times its framebuffer scale). Allocates GL storage only when the frame needs
// more than any frame before.
void imguiRendererDraw(const ImDrawData* data);

}  // namespace platform
