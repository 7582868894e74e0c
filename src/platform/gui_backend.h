// The overlay GUI's back end: a Dear ImGui context of its own on the current window
// and GL context (the settings dialog keeps its own). Used by the tweak bar only.
// Main thread only; every function does nothing without a window.
#pragma once
#include "platform/platform.h"

namespace platform {

// Creates the context, its SDL2 back end and its renderer (imgui_renderer.h) once;
// false without a window or when the renderer's program does not link.
bool guiInit();
void guiShutdown();
// Offers the event's native SDL event to the GUI; true when the GUI wants that input
// (the mouse over a window of it, or the keyboard while one of its fields is active).
bool guiProcessEvent(const Event& event);
// True while a text field of the GUI has the keyboard.
bool guiTyping();
// Begins a GUI frame; the caller then builds windows with ImGui calls.
void guiNewFrame();
// Draws what was built since guiNewFrame into the current framebuffer and restores
// every GL state it touches (imgui_renderer.h).
void guiRender();
// Event::key of the key that shows and hides the tweak bar (F1).
int guiToggleKey();

}  // namespace platform
