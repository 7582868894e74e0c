// The tweak bar: bars of named variables and buttons, hidden until F1.
// (Placeholder interface; the full bar replaces it.)
#pragma once
#include "platform/platform.h"

namespace tweak {

// Offers an event to the bar first; true when the bar consumed it.
bool handleEvent(const platform::Event& event);
// Draws the bar over the current picture when it is shown.
void draw();

}  // namespace tweak
