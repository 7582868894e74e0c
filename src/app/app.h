// The program's start-up sequence, main loop and shutdown, callable from main and tests.
#pragma once
#include "platform/platform.h"

#include <cstdint>
#include <string>

// Parses the command line and runs the demo; returns the process exit code:
// 0 after Escape, window close or the end of the demo; 1 after "Exit" in the dialog
// or a failed start-up; 2 for a command line it does not understand.
int runApplication(int argc, char** argv);

// What the window does with an event: offered to the tweak bar first; Escape and the
// close button post the quit request with 0; nothing else has an effect.
void handleEvent(const platform::Event& event);

// The statistics text for `frames` rendered up to demo time `time` (0 fps when the
// time is not positive), at most 63 characters.
std::string statisticsText(uint32_t frames, float time);
// The "Stats" box with the Core's frame count and time (Screen::close calls it when
// "Show Stats" is on).
void showStatistics();
