// Modal dialogs laid out from a resource table, drawn with Dear ImGui in their own
// small window before the program's main window exists.
//
// The caller describes the controls (kind, id, text, rectangle in dialog units) and
// fills their rows, selections and check marks; runDialog shows the window, lets the
// user work the controls and returns the id of the push button that ended it, or
// dialogClosed when the window's close button was used. The state then holds what the
// user chose. Main thread only; no window of the program may be open meanwhile
// (the GL context current before the call is current again after it).
#pragma once
#include <string>
#include <vector>

namespace platform {

struct DialogControl {
    enum Kind { GroupBox, Label, ComboBox, CheckBox, PushButton };
    Kind kind = Label;
    int id = -1;  // -1 for static controls
    const char* text = "";
    // Rectangle in dialog units. For a drop-down list the height includes the list.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct DialogResource {
    const char* caption = "";
    const char* fontName = "Arial";
    int fontPoints = 9;
    int width = 0;  // client area in dialog units
    int height = 0;
    const DialogControl* controls = nullptr;
    int controlCount = 0;
};

// The live contents of one control with an id.
struct DialogItem {
    int id = -1;
    std::vector<std::string> rows;  // drop-down list rows
    int selection = -1;             // selected row, -1 = none
    bool checked = false;           // check box
};

struct DialogState {
    std::vector<DialogItem> items;
    // The item of `id`, created empty on first use.
    DialogItem& item(int id);
    const DialogItem* find(int id) const;
};

constexpr int dialogClosed = 0;
constexpr int dialogFailed = -1;

// Shows the dialog until a push button is clicked or the window is closed.
// Returns the button's id, dialogClosed, or dialogFailed (reason in *error) when the
// window could not be made.
//
// Test hooks, read from the environment:
//   CORE_TEST_DIALOG=ID          press the control ID (0 = close) after a few frames
//   CORE_TEST_DIALOG_SHOT=FILE   save the dialog's picture as a BMP file just before
int runDialog(const DialogResource& resource, DialogState* state, std::string* error);

}  // namespace platform
