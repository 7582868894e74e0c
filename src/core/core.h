// Core: the demo's conductor — the timeline of effects with their fades and
// cross-fades, the per-frame driver, the post-processing chain and the spectrum flash.
//
// One process-wide object (`core`, globals.cpp). init() shows the loading bar, builds
// the schedule, the GUI bar's Core variables, seeds the shared random generator,
// initialises every effect, sets up the GL state, render targets, meshes and post
// effects, then resets the clock and starts the music. frame() renders one frame at the
// clock's time, presents it and posts the quit request once the time passes 197 s.
// release() frees the effects and GL objects; call it while the GL context is still
// current (the destructor calls it otherwise, when it may be too late for GL).
// Main thread only. What the parts use of it (the two meshes, the render targets of
// the chains, the overlay and the control-grid switch) is its first part, CoreShared
// (render/core_shared.h), through which the parts reach it.
#pragma once
#include "base/timer.h"
#include "core/supersample.h"
#include "core/timeline.h"
#include "render/core_shared.h"
#include "resources/shader.h"

#include <cstdint>
#include <limits>

class Effect;

class Core : public CoreShared {
public:
    static constexpr int maxEntries = 64;

    int fftControl = 2;          // spectrum bin fftControl - 1 drives the flash; 0 = off
    unsigned int effectCount = 0;
    LoadingBar loadingBar;
    // The post-processing effects, in their loading order.
    Shader brightPassShader;  // shaders/bloom-bright_pass.cgfx
    Shader blurHShader;       // shaders/bloom-gaussH.cgfx
    Shader blurVShader;       // shaders/bloom-gaussV.cgfx
    Shader finalShader;       // shaders/bloom-final.cgfx
    Shader overlayShader;     // shaders/post_overlay.cgfx (loaded, not used by the chain)
    Shader mixerShader;       // shaders/post_mixer.cgfx
    ScheduleEntry schedule[maxEntries];
    bool postprocess = true;
    bool spectrum = true;
    Timer timer;
    uint32_t frames = 0;
    float time = 0.0f;
    float crossfadeStart = 0.0f;
    float crossfadeEnd = 0.0f;
    float crossfadeFactor = 0.0f;
    // A cross-fade target was copied in this frame: the chain mixes the two copies,
    // whatever the factor (at the cross-fade's first instant the factor is 0).
    bool crossfadeMix = false;
    RenderTarget fadeOutCopy;
    RenderTarget fadeInCopy;
    uint32_t sceneDepth = 0;

    // Lower-left corner of the 16:9 band in the window (set by initGL): the band is
    // letterboxed in windows taller than 16:9 and pillarboxed in wider ones. Supersampled,
    // the band fills the off-screen frame that stands for the window: (0, 0).
    int viewportX = 0;
    int viewportY = 0;
    // Offline pictures from N x N samples a pixel: factor set before init (1 = off);
    // initGL then draws everything into its frame, N times the band.
    Supersampler supersampler;

    // Test hook: when set before init, makes the effect of schedule slot `slot`
    // (0..10) instead of the demo's own parts.
    Effect* (*effectMaker)(int slot) = nullptr;
    // Offline hook: when set, the spectrum flash reads the 512-bin spectrum of the
    // music at `time` from here instead of from what the sound device is playing.
    const float* (*spectrumAt)(float time) = nullptr;

    Core() = default;
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // 0 on success, 1 on failure (already reported).
    int init();
    // The same start-up a step at a time, for a main loop that must return to the system
    // between frames (the browser's): each step does one part's init or one frame of the
    // loading bar's fades. initBusy while there is more to do, then init's result.
    // *idle: the step found nothing to do (the caller may rest before the next).
    static constexpr int initBusy = -1;
    int initStep(bool* idle);
    // One frame: renderFrame, then present, count and check for the end.
    void frame();
    // Steps up to the spectrum flash: the picture of the frame at the clock's time is
    // complete in the back buffer afterwards (used by offline rendering before reading it).
    void renderFrame();
    // The frame at the clock's time, unseen (drawn into one pixel, GL state kept): the
    // parts' state advances and the driver builds the programs for its combinations of
    // state. Run once while the loading bar fades out (so not on the first frame shown)
    // and for the frames offline rendering replays before the one it wants.
    void renderFrameUnseen();
    // Stops the clock at demo time t (the tweak bar's Play starts it again from there);
    // offline rendering and tests drive the frames through it.
    void setClock(float t);
    // Moves picture and music to demo time t; a running clock goes on from there.
    void jumpTo(float t);
    // Live playback of [from, to) over and over (--loop): jumps to `from` now and each
    // time a frame's time reaches `to`. from >= to: no loop.
    void loopSpan(float from, float to);
    float loopFrom = 0.0f;
    float loopTo = 0.0f;
    // Appends a schedule entry (at most maxEntries; further ones are ignored).
    void addEffect(Effect* effect, float startTime, float endTime, int fadeInType, float fadeInLength,
                   int fadeOutType, float fadeOutLength);
    // GL state, the 16:9 band and projection, render targets, meshes. 0 on success.
    int initGL();
    // A full-viewport wash: black for types 1 and 2, white for 3 and 4; opacity x for
    // 2 and 4, 1 - x for 1 and 3, x clamped to [0, 1].
    void fade(int type, float x);
    // The wash itself: `wash.grey` at `wash.opacity` over the viewport.
    void fade(const Wash& wash);
    // Deletes the effects and the GL objects (idempotent).
    void release();

private:
    // The Core's switches and flash bin on the GUI bar.
    void addSwitches();
    void drawOverlay();
    void copyBand(const RenderTarget& target);
    bool released = false;
    enum class InitStage { Begin, FadeIn, Effects, FadeOut, Done };
    InitStage initStage = InitStage::Begin;
    unsigned int initEffect = 0;  // the next effect to initialise
};

extern Core core;
