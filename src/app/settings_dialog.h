// The "Settings" dialog (resource 102): resolution, antialiasing, anisotropy, full
// screen, vertical sync, sound driver and output method, statistics and log.
//
// Screen::init runs it once, after the machine probe filled Screen's lists and before
// any window exists. "Start" writes the settings record, creates the log when "Create
// Log" is ticked and logs the choices; "Exit" or closing the dialog leaves `accepted`
// false. The row building and the reading of "Start" are plain functions, so that
// they can be checked without a window; runSettingsDialog only shows them.
#pragma once
#include "app/screen.h"
#include "audio/sound.h"
#include "platform/dialog.h"

#include <string>
#include <vector>

struct Options;

// Control ids of the dialog resource.
enum SettingsControl {
    idResolution = 1000,
    idFullscreen = 1001,
    idAntialiasing = 1002,
    idExit = 1003,
    idStart = 1004,
    idVsync = 1005,
    idAnisotropy = 1006,
    idShowStats = 1007,
    idDriver = 1008,
    idOutputMethod = 1009,
    idCreateLog = 1010,
};

// The dialog resource: caption, font, size and every control with its text.
const platform::DialogResource& settingsDialogResource();

// Caption of a display mode: "1024 x 768, 32 bpp @ 60 Hz".
std::string displayModeCaption(int width, int height, int refreshRate);

// The row whose mode is exactly width x height at refreshRate; the last one when the
// system lists it more than once; -1 when no row matches.
int preselectResolution(const std::vector<DisplayMode>& modes, int width, int height, int refreshRate);

// Antialiasing rows: "None" (0 samples) and each distinct non-zero sample count of the
// candidates in order of first appearance ("4 samples"). A candidate with exactly 8
// samples selects row 3, whatever it holds, when that row exists at that moment (and
// clears the selection when it does not); selection is -1 when nothing was selected.
struct SampleRows {
    std::vector<int> counts;
    std::vector<std::string> texts;
    int selection = -1;
};
SampleRows buildSampleRows(const std::vector<PixelFormatCandidate>& candidates);

// Anisotropy rows: "None", then each power of two from 2 up to maxAnisotropy.
std::vector<std::string> anisotropyRows(float maxAnisotropy);
// The level a row stands for: 2 raised to the row (row 0, "None", is 1.0).
float anisotropyForRow(int row);

// outputType of the output method row named `name` ("auto", "none" or a row's text,
// letter case ignored); -1 when no row has that name.
int outputTypeForName(const std::vector<OutputMethod>& rows, const std::string& name);

// Everything "Start" writes into the settings record, already resolved.
struct SettingsChoice {
    int resolutionIndex = 0;  // -1: the size is not one of the display's modes
    int width = 1024;
    int height = 768;
    bool fullscreen = true;
    bool vsync = true;
    int antialiasSamples = 0;
    float anisotropy = 1.0f;
    int soundDriver = 0;
    int outputType = -1;  // -1: no output method row chosen, the record keeps its value
    bool showStats = false;
    bool createLog = false;
};

// Fills the controls from the current settings and Screen's lists. A list where
// nothing is preselected gets row 0 selected.
void initSettingsDialog(const Screen& screen, const std::vector<OutputMethod>& outputs,
                        platform::DialogState* state, SampleRows* samples);
// What "Start" reads from the controls.
SettingsChoice readSettingsDialog(const Screen& screen, const platform::DialogState& state,
                                  const SampleRows& samples, const std::vector<OutputMethod>& outputs);
// The choice without the dialog: the settings record as it stands (the options have
// been applied to it) plus the options' antialiasing, anisotropy and output method.
// A sample count no candidate offers becomes 0; a level becomes the largest offered
// power of two not above it. --shot and --capture play nothing: their output is
// outputOffline, whatever --output says.
SettingsChoice choiceFromOptions(const Screen& screen, const Options& options,
                                 const std::vector<OutputMethod>& outputs);

// True when the run needs the machine's audio drivers: the dialog lists them, and a
// real-time run plays on one. False for --shot and --capture and for --no-dialog with
// --output none (the silent driver): no driver is then probed or started (probing
// one that has no device can print the audio library's complaints on standard error).
bool soundDevicesNeeded(const Options& options);

// The options that preset the settings record before the dialog (or instead of it):
// size, full screen, vertical sync, log and statistics.
void applyOptions(Screen& screen, const Options& options);

// "Start": creates the log when asked, writes the record and its log lines, sets
// `accepted`.
void acceptSettings(Screen& screen, const SettingsChoice& choice);

// Shows the dialog; 0 after "Start", 1 after "Exit", closing, or a dialog that could
// not be shown.
int runSettingsDialog(Screen& screen);
