// The control GUI: the tweak bar "Core" with the clock and music controls, the Core's
// switches (added by Core::init), the effects' camera variables and the tweakable
// float parameters of every loaded effect file.
//
// One process-wide object (`gui`, globals.cpp). init() runs once in Core::init, after
// the effects are constructed and before they are initialised. The bar's callbacks run
// from tweak::handleEvent / tweak::draw on the main thread, between frames.
#pragma once
#include "fx/fx.h"
#include "tweak/tweak.h"

#include <string>
#include <vector>

// One registered effect parameter: the bar edits `value`, the frame pushes it.
struct Tweakable {
    fx::Effect* effect = nullptr;
    float value = 0.0f;
    std::string parameterName;
    std::string label;                  // the variable's name on the bar
    fx::Parameter* parameter = nullptr;  // `parameterName` in `effect`, found once at registration
};

class Gui {
public:
    tweak::Bar* bar = nullptr;
    bool showBar = true;
    // Addressed by index (the bar's callbacks hold indices), so it may grow freely.
    std::vector<Tweakable> tweakables;

    // Starts the bar library and builds the "Core" bar: 0 on success, 1 when the
    // library cannot start.
    int init();
    // Keeps the parameter in `tweakables` and adds a float variable named `label` to the
    // bar with `definition`. Logs the registration (and a refusal by the bar). Always 0.
    int addTweakable(const char* parameterName, fx::Effect* effect, const char* label, float value,
                     const char* definition);
    // Sets every tweakable's parameter in its effect to the tweakable's value.
    void pushTweakables() const;
};

extern Gui gui;
