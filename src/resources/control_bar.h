// The control bar as the floors below the Core see it: the tweak bar "Core" that the
// parts put their variables on, and the tweakable float parameters of every loaded
// effect file (loadShader registers them).
//
// The process-wide control GUI (Gui, core/gui.h) is built on this record, so
// `controlBar` and `gui` are one object; app/globals.cpp binds the reference. `bar` is
// null until Gui::init made the bar (the tweak functions refuse a null bar). The bar's
// callbacks run from tweak::handleEvent / tweak::draw on the main thread, between frames.
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

class ControlBar {
public:
    tweak::Bar* bar = nullptr;
    // Addressed by index (the bar's callbacks hold indices), so it may grow freely.
    std::vector<Tweakable> tweakables;

    // Keeps the parameter in `tweakables` and adds a float variable named `label` to the
    // bar with `definition`. Logs the registration (and a refusal by the bar). Always 0.
    int addTweakable(const char* parameterName, fx::Effect* effect, const char* label, float value,
                     const char* definition);
    // Sets every tweakable's parameter in its effect to the tweakable's value.
    void pushTweakables() const;
};

extern ControlBar& controlBar;
