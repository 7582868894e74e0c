// Offline rendering: the demo drawn at fixed times (--shot) or at a fixed frame rate
// (--capture) instead of in real time, as the options ask.
//
// Called by runApplication after Core::init succeeded, with the main window's context
// current; returns the process exit code (0 when every picture was written).
#pragma once

int runOffline();
