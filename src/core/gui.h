// The control GUI: the tweak bar "Core" with the clock and music controls, the Core's
// switches (added by Core::init), the effects' camera variables and the tweakable
// float parameters of every loaded effect file (the bar and the tweakables:
// resources/control_bar.h, which is how the floors below the Core reach them).
//
// One process-wide object (`gui`, globals.cpp). init() runs once in Core::init, after
// the effects are constructed and before they are initialised. The bar's callbacks run
// from tweak::handleEvent / tweak::draw on the main thread, between frames.
#pragma once
#include "resources/control_bar.h"

class Gui : public ControlBar {
public:
    bool showBar = true;

    // Starts the bar library and builds the "Core" bar: 0 on success, 1 when the
    // library cannot start.
    int init();
};

extern Gui gui;
