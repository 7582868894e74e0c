#include "app/settings_dialog.h"

#include "base/log.h"
#include "base/options.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

using Control = platform::DialogControl;

// Resource 102, in dialog units.
const Control settingsControls[] = {
    {Control::GroupBox, -1, "Graphics", 9, 6, 187, 87},
    {Control::Label, -1, "Screen Resolution", 16, 22, 70, 8},
    {Control::ComboBox, idResolution, "", 78, 20, 114, 65},
    {Control::Label, -1, "Antialiasing", 16, 40, 38, 8},
    {Control::ComboBox, idAntialiasing, "", 78, 38, 114, 30},
    {Control::Label, -1, "Anisotrophy", 16, 57, 38, 8},
    {Control::ComboBox, idAnisotropy, "", 78, 55, 114, 30},
    {Control::CheckBox, idFullscreen, "Fullscreen", 16, 77, 49, 10},
    {Control::CheckBox, idVsync, "Wait for VSync", 75, 76, 60, 10},
    {Control::GroupBox, -1, "Sound", 8, 98, 188, 45},
    {Control::Label, -1, "Driver", 17, 109, 19, 8},
    {Control::ComboBox, idDriver, "", 83, 107, 110, 30},
    {Control::Label, -1, "Output Method", 16, 127, 46, 8},
    {Control::ComboBox, idOutputMethod, "", 82, 125, 110, 30},
    {Control::GroupBox, -1, "Misc", 8, 146, 188, 28},
    {Control::CheckBox, idShowStats, "Show Stats", 17, 158, 51, 10},
    {Control::CheckBox, idCreateLog, "Create Log", 77, 158, 51, 10},
    {Control::PushButton, idStart, "Start", 8, 182, 90, 14},
    {Control::PushButton, idExit, "Exit", 109, 182, 90, 14},
};

platform::DialogResource makeResource()
{
    platform::DialogResource resource;
    resource.caption = "Settings";
    resource.fontName = "Arial";
    resource.fontPoints = 9;
    resource.width = 207;
    resource.height = 206;
    resource.controls = settingsControls;
    resource.controlCount = int(sizeof(settingsControls) / sizeof(settingsControls[0]));
    return resource;
}

std::string lower(std::string text)
{
    for (char& c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

int selectedRow(const platform::DialogState& state, int id)
{
    const platform::DialogItem* item = state.find(id);
    if (!item || item->selection < 0 || item->selection >= int(item->rows.size())) {
        return -1;
    }
    return item->selection;
}

bool checked(const platform::DialogState& state, int id)
{
    const platform::DialogItem* item = state.find(id);
    return item && item->checked;
}

}  // namespace

const platform::DialogResource& settingsDialogResource()
{
    static const platform::DialogResource resource = makeResource();
    return resource;
}

std::string displayModeCaption(int width, int height, int refreshRate)
{
    char caption[64];
    std::snprintf(caption, sizeof(caption), "%d x %d, 32 bpp @ %d Hz", width, height, refreshRate);
    return caption;
}

int preselectResolution(const std::vector<DisplayMode>& modes, int width, int height, int refreshRate)
{
    int row = -1;
    for (size_t i = 0; i < modes.size(); ++i) {
        const DisplayMode& m = modes[i];
        if (m.width == width && m.height == height && m.refreshRate == refreshRate) {
            row = int(i);
        }
    }
    return row;
}

SampleRows buildSampleRows(const std::vector<PixelFormatCandidate>& candidates)
{
    SampleRows rows;
    rows.counts.push_back(0);
    rows.texts.push_back("None");
    for (const PixelFormatCandidate& candidate : candidates) {
        int samples = candidate.samples;
        bool known = false;
        for (int count : rows.counts) {
            known = known || count == samples;
        }
        if (samples != 0 && !known) {
            rows.counts.push_back(samples);
            rows.texts.push_back(std::to_string(samples) + " samples");
        }
        if (samples == 8) {
            // Selecting a row that does not exist (yet) leaves nothing selected.
            rows.selection = rows.texts.size() > 3 ? 3 : -1;
        }
    }
    return rows;
}

std::vector<std::string> anisotropyRows(float maxAnisotropy)
{
    std::vector<std::string> rows = {"None"};
    // Only powers of two are offered, so stepping through them is the same walk as
    // testing every integer from 2 up to the limit.
    for (long level = 2; float(level) <= maxAnisotropy && level <= (1L << 30); level *= 2) {
        rows.push_back(std::to_string(level));
    }
    return rows;
}

float anisotropyForRow(int row) { return row <= 0 ? 1.0f : std::ldexp(1.0f, row); }

int outputTypeForName(const std::vector<OutputMethod>& rows, const std::string& name)
{
    std::string wanted = lower(name);
    if (wanted == "auto") {
        return outputAutodetect;
    }
    if (wanted == "none") {
        return outputNoSound;
    }
    for (const OutputMethod& row : rows) {
        if (lower(row.text) == wanted) {
            return row.outputType;
        }
    }
    return -1;
}

void initSettingsDialog(const Screen& screen, const std::vector<OutputMethod>& outputs,
                        platform::DialogState* state, SampleRows* samples)
{
    auto fill = [&](int id, std::vector<std::string> rows, int selection) {
        platform::DialogItem& item = state->item(id);
        item.rows = std::move(rows);
        item.selection = item.rows.empty() ? -1 : (selection >= 0 ? selection : 0);
    };
    std::vector<std::string> captions;
    for (const DisplayMode& mode : screen.displayModes) {
        captions.push_back(mode.caption);
    }
    fill(idResolution, captions,
         preselectResolution(screen.displayModes, screen.width, screen.height, screen.refreshRate));
    *samples = buildSampleRows(screen.pixelFormats);
    fill(idAntialiasing, samples->texts, samples->selection);
    fill(idAnisotropy, anisotropyRows(screen.maxAnisotropy), 0);
    state->item(idFullscreen).checked = screen.fullscreen;
    state->item(idVsync).checked = screen.vsync;
    fill(idDriver, screen.soundDrivers, 0);
    std::vector<std::string> methods;
    for (const OutputMethod& method : outputs) {
        methods.push_back(method.text);
    }
    fill(idOutputMethod, methods, 0);
    state->item(idShowStats).checked = screen.showStats;
    state->item(idCreateLog).checked = screen.createLog;
}

SettingsChoice readSettingsDialog(const Screen& screen, const platform::DialogState& state,
                                  const SampleRows& samples, const std::vector<OutputMethod>& outputs)
{
    SettingsChoice choice;
    choice.createLog = checked(state, idCreateLog);
    int mode = selectedRow(state, idResolution);
    if (mode >= 0 && mode < int(screen.displayModes.size())) {
        choice.resolutionIndex = mode;
        choice.width = screen.displayModes[size_t(mode)].width;
        choice.height = screen.displayModes[size_t(mode)].height;
    } else {
        // No display mode at all: the record's size stands, and no mode can be set.
        choice.resolutionIndex = -1;
        choice.width = screen.width;
        choice.height = screen.height;
    }
    choice.fullscreen = checked(state, idFullscreen);
    choice.vsync = checked(state, idVsync);
    int aa = selectedRow(state, idAntialiasing);
    choice.antialiasSamples = aa >= 0 && aa < int(samples.counts.size()) ? samples.counts[size_t(aa)] : 0;
    choice.anisotropy = anisotropyForRow(std::max(0, selectedRow(state, idAnisotropy)));
    choice.soundDriver = std::max(0, selectedRow(state, idDriver));
    int output = selectedRow(state, idOutputMethod);
    choice.outputType = output >= 0 && output < int(outputs.size()) ? outputs[size_t(output)].outputType : -1;
    choice.showStats = checked(state, idShowStats);
    return choice;
}

void applyOptions(Screen& screen, const Options& options)
{
    if (options.width > 0) {
        screen.width = options.width;
    }
    if (options.height > 0) {
        screen.height = options.height;
    }
    if (options.fullscreen >= 0) {
        screen.fullscreen = options.fullscreen != 0;
    }
    if (options.vsync >= 0) {
        screen.vsync = options.vsync != 0;
    }
    screen.createLog = screen.createLog || options.log;
    screen.showStats = screen.showStats || options.stats;
}

SettingsChoice choiceFromOptions(const Screen& screen, const Options& options,
                                 const std::vector<OutputMethod>& outputs)
{
    SettingsChoice choice;
    choice.width = screen.width;
    choice.height = screen.height;
    // The exact mode when the display lists it, else the same size at any rate
    // (virtual displays report no refresh rate); -1 when the size is no mode at all.
    choice.resolutionIndex = preselectResolution(screen.displayModes, screen.width, screen.height, screen.refreshRate);
    for (size_t i = 0; choice.resolutionIndex < 0 && i < screen.displayModes.size(); ++i) {
        const DisplayMode& m = screen.displayModes[i];
        if (m.width == screen.width && m.height == screen.height) {
            choice.resolutionIndex = int(i);
        }
    }
    choice.fullscreen = screen.fullscreen;
    choice.vsync = screen.vsync;
    SampleRows samples = buildSampleRows(screen.pixelFormats);
    choice.antialiasSamples = 0;
    for (int count : samples.counts) {
        if (options.aa > 0 && count == options.aa) {
            choice.antialiasSamples = count;
        }
    }
    std::vector<std::string> levels = anisotropyRows(screen.maxAnisotropy);
    choice.anisotropy = 1.0f;
    for (int row = 0; row < int(levels.size()); ++row) {
        if (options.aniso >= 0 && anisotropyForRow(row) <= float(options.aniso)) {
            choice.anisotropy = anisotropyForRow(row);
        }
    }
    choice.soundDriver = 0;
    choice.outputType = options.output.empty() ? outputAutodetect : outputTypeForName(outputs, options.output);
    if (options.offline()) {
        choice.outputType = outputOffline;
    }
    choice.showStats = screen.showStats;
    choice.createLog = screen.createLog;
    return choice;
}

bool soundDevicesNeeded(const Options& options)
{
    if (!options.noDialog) {
        return true;
    }
    return !options.offline() && outputTypeForName({}, options.output) != outputNoSound;
}

void acceptSettings(Screen& screen, const SettingsChoice& choice)
{
    screen.createLog = choice.createLog;
    if (screen.createLog) {
        // Created before the lines below, so that they follow "log created." directly.
        coreLog.create();
    }
    screen.resolutionIndex = choice.resolutionIndex;
    screen.width = choice.width;
    screen.height = choice.height;
    CORE_LOG("Resolution: " << screen.width << "x" << screen.height);
    screen.fullscreen = choice.fullscreen;
    CORE_LOG("Fullscreen: " << (screen.fullscreen ? 1 : 0));
    screen.vsync = choice.vsync;
    CORE_LOG("VSync: " << (screen.vsync ? 1 : 0));
    screen.antialiasSamples = choice.antialiasSamples;
    CORE_LOG("AA samples: " << screen.antialiasSamples << " samples");
    screen.anisotropy = choice.anisotropy;
    CORE_LOG("Aniso level: x" << screen.anisotropy);
    screen.soundDriver = choice.soundDriver;
    if (choice.outputType >= 0) {
        screen.outputType = choice.outputType;
    }
    screen.showStats = choice.showStats;
    screen.accepted = true;
}

int runSettingsDialog(Screen& screen)
{
    std::vector<OutputMethod> outputs;
    Sound::getOutputMethods(outputs);
    platform::DialogState state;
    SampleRows samples;
    initSettingsDialog(screen, outputs, &state, &samples);
    screen.accepted = false;
    std::string error;
    int pressed = platform::runDialog(settingsDialogResource(), &state, &error);
    if (pressed == platform::dialogFailed) {
        platform::messageBox("Screen::init", error, platform::MessageIcon::Error);
    }
    if (pressed != idStart) {
        return 1;
    }
    acceptSettings(screen, readSettingsDialog(screen, state, samples, outputs));
    return 0;
}
