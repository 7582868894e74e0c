// The demo's timeline: schedule entries, their fades and cross-fades, the loading bar's
// progress, and the end of the demo, as plain arithmetic without GL.
//
// Core::init builds its schedule from demoSchedule (pairing each slot with the effect
// object it creates); Core::frame asks planEntry what to do after each active entry has
// rendered and fadeWash what each wash looks like. Everything here is pure and testable
// without a window.
#pragma once

class Effect;

// Fade types of a schedule entry.
enum FadeType {
    fadeNone = 0,
    fadeFromBlack = 1,
    fadeToBlack = 2,
    fadeFromWhite = 3,
    fadeToWhite = 4,
    crossfadeSource = 5,  // fade-out only: the picture is copied into the Core's fadeOutCopy
    crossfadeTarget = 6,  // fade-in only: the picture is copied into the Core's fadeInCopy
};

// One timeline slot. The Core owns `effect`.
struct ScheduleEntry {
    Effect* effect = nullptr;
    float startTime = 0.0f;      // first moment the effect is active
    float endTime = 0.0f;        // active while time < endTime
    float fadeInLength = 0.0f;
    float fadeOutLength = 0.0f;
    int fadeInType = fadeNone;   // fadeNone, fadeFromBlack, fadeFromWhite or crossfadeTarget
    int fadeOutType = fadeNone;  // fadeNone, fadeToBlack, fadeToWhite or crossfadeSource
};

// The timing of one slot of the demo's schedule.
struct ScheduleSlot {
    const char* effectName;
    float startTime;
    float endTime;
    int fadeInType;
    float fadeInLength;
    int fadeOutType;
    float fadeOutLength;
};

constexpr int demoSlotCount = 11;
// The demo's schedule, in the order the Core adds it (and calls init and render).
extern const ScheduleSlot demoSchedule[demoSlotCount];
// The frame whose time passes this ends the demo.
constexpr float demoEndTime = 197.0f;

inline bool entryActive(const ScheduleEntry& entry, float time)
{
    return entry.startTime <= time && time < entry.endTime;
}

inline bool demoFinished(float time) { return time > demoEndTime; }

// Cross-fade state of the Core: start and end keep their last values between frames,
// factor is reset to 0 at the start of every frame.
struct CrossfadeState {
    float start = 0.0f;
    float end = 0.0f;
    float factor = 0.0f;
};

// What the frame does for one active entry after its render and overlay, in this order:
// the fade-in wash, the fade-out wash, the cross-fade source copy, the cross-fade target
// copy. Progress values go to Core::fade.
struct EntryFrame {
    float localTime = 0.0f;
    bool fadeIn = false;
    float fadeInProgress = 0.0f;
    bool fadeOut = false;
    float fadeOutProgress = 0.0f;
    bool copySource = false;  // copy the letterboxed picture into fadeOutCopy
    bool copyTarget = false;  // copy the letterboxed picture into fadeInCopy
};

// Plans the post-render steps of an entry active at `time`, updating the cross-fade
// state the way the frame does (the source sets start, the target sets end and factor).
// A zero fade length counts as a finished fade; a zero-length cross-fade span gives
// factor 1 rather than a division by zero.
EntryFrame planEntry(const ScheduleEntry& entry, float time, CrossfadeState& crossfade);

// A full-viewport colour wash of Core::fade: grey level (0 black, 1 white) and opacity.
// Types 1 and 3 shrink with progress (fading in), 2 and 4 grow (fading out); progress
// is clamped to [0, 1]. Any other type gives opacity 0.
struct Wash {
    float grey = 0.0f;
    float opacity = 0.0f;
};
Wash fadeWash(int type, float progress);

// The 16:9 band the demo draws in, inside a window of width x height: the full width,
// centred vertically (letterbox), or in a window wider than 16:9 the full height,
// centred horizontally (pillarbox), so that it never reaches outside the window.
struct Band {
    int x = 0;  // lower-left corner in the window
    int y = 0;
    int width = 0;
    int height = 0;
};
Band bandInWindow(int width, int height);

// The start-up progress display. advance() is the bar's arithmetic after each
// initialised effect; draw() and fade() present it (GL, core.cpp).
struct LoadingBar {
    int barWidth = 480;
    int barHeight = 14;
    int steps = 0;     // effects initialised so far
    int fill = 2;      // right edge of the filled part, from the bar's left edge
    float alpha = 1.0f;

    // One more effect initialised out of effectCount: fill grows by
    // barWidth / effectCount pixels, kept within [2, barWidth - 3].
    void advance(unsigned int effectCount);
    // Draws the bar centred in the whole window and presents the frame.
    void draw();
    // Fades in (mode 1) or out (mode 2) over `length` seconds of the Core's timer
    // (which it resets), drawing continuously.
    void fade(int mode, float length);
    // The same fade a frame at a time: startFade, then fadeStep until it returns false.
    // Each step draws one frame of the bar, then uploads waiting textures for a few
    // milliseconds; *idle when nothing was left to do (the caller may rest).
    void startFade(int mode, float length);
    bool fadeStep(bool* idle);
    // Run once by a fade when no texture is waiting for its texels, then cleared.
    void (*onceIdle)() = nullptr;
    // The fade going on (startFade).
    int fadeMode = 1;
    float fadeLength = 0.0f;
    float fadeStart = 0.0f;
    bool fading = false;
};
