// The tweak bar: bars of named variables and buttons that the user edits at run time.
//
// Variables are read-write (the bar reads and writes the program's own field) or
// callback variables (a setter and a getter with client data), of type float, 32-bit
// int or one-byte bool. Definition strings set their attributes, e.g.
//     define(" Core refresh=0.01 size='200 400' valuesWidth=60 ");   // a bar
//     define(" Core/Time label='time' ");                            // one variable
//     addVarRW(bar, "zFar", Type::Float, &zFar, " min=1 max=500 step=0.5 ");
// Keys: label, group, min, max, step, precision, keyincr, keydecr, show, hide, iconify,
// size, refresh, valuesWidth, visible, help, readonly. A second variable of the same
// name on a bar is refused. Failures return 1, keep a last-error text and call the
// error handler (standard error by default).
//
// The bars are hidden until the user presses F1; handleEvent must see every event
// first (key shortcuts keyincr / keydecr act while hidden as well); draw paints the
// shown bars over the current picture, restoring every GL state it touches.
// Pointers given to the bar (variables, client data) must outlive it. Main thread only.
#pragma once
#include "platform/platform.h"

#include <deque>
#include <string>
#include <vector>

namespace tweak {

enum class Type { Float, Int32, BoolCpp };

using ButtonCallback = void (*)(void* clientData);
using SetCallback = void (*)(const void* value, void* clientData);
using GetCallback = void (*)(void* value, void* clientData);
using ErrorHandler = void (*)(const char* message);

struct Variable {
    std::string name;   // unique on its bar
    std::string label;  // shown text; the name when not defined
    std::string group;
    std::string help;
    bool isButton = false;
    Type type = Type::Float;
    void* address = nullptr;  // read-write variables
    SetCallback set = nullptr;
    GetCallback get = nullptr;
    ButtonCallback button = nullptr;
    void* clientData = nullptr;
    bool hasMin = false, hasMax = false;
    double min = 0.0, max = 0.0;
    double step = 0.0;   // 0: the type's default (0.01 for floats, 1 for ints)
    int precision = -1;  // decimals shown; -1: automatic
    int keyIncr = 0;     // Event::key codes, 0 = none
    int keyDecr = 0;
    bool visible = true;
    bool readOnly = false;
};

struct Bar {
    std::string name;
    std::string label;
    bool shown = true;
    bool iconified = false;
    int width = 200, height = 320;
    float refresh = 0.2f;
    int valuesWidth = 0;  // 0 = automatic
    std::deque<Variable> variables;
};

// 0 on success; 1 when already started.
int init();
// Deletes every bar and the GUI context.
void terminate();
bool initialized();

// A new bar, or null (name empty or taken, or not started).
Bar* newBar(const char* name);
Bar* findBar(const char* name);
Variable* findVariable(Bar* bar, const char* name);

// Applies a definition string whose first word names a bar ("Core") or a variable
// ("Core/Time"). 0 on success, 1 on any unknown name, key or value.
int define(const char* definition);

int addButton(Bar* bar, const char* name, ButtonCallback callback, void* clientData, const char* definition);
int addVarRW(Bar* bar, const char* name, Type type, void* variable, const char* definition);
int addVarCB(Bar* bar, const char* name, Type type, SetCallback set, GetCallback get, void* clientData,
             const char* definition);

// Replaces the error handler (null restores the default one).
void handleErrors(ErrorHandler handler);
// Text of the last failure ("" when none).
const char* getLastError();

// The current value of a float / int / bool variable as a double; false when absent.
bool getValue(Variable* variable, double* value);
// Sets it (clamped to min / max), through its setter for callback variables.
bool setValue(Variable* variable, double value);

// Offers an event to the bar first; true when the bar consumed it (F1, a key
// shortcut, or input the shown bar wants).
bool handleEvent(const platform::Event& event);
// Draws the shown bars over the current picture when the user has toggled them on,
// and the notice lines (setNotice) whenever there are any.
void draw();
// Lines to show at the top left over the whole picture, light on a dark box, until
// they are gone: draw reads the vector each time (it must outlive its use; null: none).
// Long lines wrap at the window's width.
void setNotice(const std::vector<std::string>* lines);
// Whether the bars are toggled on (F1).
bool visible();
void setVisible(bool on);

}  // namespace tweak
