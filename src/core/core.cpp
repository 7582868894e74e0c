#include "core/core.h"

#include "audio/sound.h"
#include "base/log.h"
#include "base/screen_settings.h"
#include "core/gui.h"
#include "core/postprocess.h"
#include "effects/blobs.h"
#include "effects/credits.h"
#include "effects/greetings.h"
#include "effects/phalanx.h"
#include "effects/random_geo2.h"
#include "effects/scene_playback.h"
#include "effects/sfmt.h"
#include "effects/splines.h"
#include "effects/stripes_dof.h"
#include "effects/the_hub.h"
#include "effects/vantel.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "gpu/state.h"
#include "platform/platform.h"
#include "resources/alpha_coverage.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/prefetch.h"
#include "resources/reload.h"
#include "resources/texture.h"
#include "scene/scene_loader.h"
#include "tweak/tweak.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

// Bar colour: RGB 255, 199, 38.
constexpr float barRed = 1.0f;
constexpr float barGreen = 0.78039217f;
constexpr float barBlue = 0.14901961f;

// The demo's part for schedule slot `slot`, in the order of demoSchedule.
Effect* makeDemoEffect(int slot)
{
    switch (slot) {
    case 0: return new Scene01;
    case 1: return new TheHub;
    case 2: return new StripesDOF;
    case 3: return new Blobs;
    case 4: return new Phalanx;
    case 5: return new RandomGeo2;
    case 6: return new Splines;
    case 7: return new Scene02;
    case 8: return new Vantel;
    case 9: return new Greetings;
    case 10: return new Credits;
    default: return nullptr;
    }
}

// The window-sized orthographic projection of the band, pushed over the current one.
void pushBandProjection()
{
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::pushMatrix();
    gpu::loadIdentity();
    gpu::ortho(0.0, screenSettings.viewportWidth - 1, 0.0, screenSettings.viewportHeight - 1, -1.0, 1.0);
}

// One quad of the overlay: texture coordinates (s0, t0)-(s1, t1) at the band's
// positions that the whole picture, stretched over 0..right x 0..top, gives them.
void overlayQuad(float s0, float t0, float s1, float t1, float right, float top)
{
    gpu::rect(s0 * right, t0 * top, s1 * right, t1 * top, s0, t0, s1, t1);
}

void popBandProjection()
{
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::popMatrix();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
}

// A few hundred frames a second of the loading bar are smooth on any display; drawing
// more only takes the processor from the start-up's work going on meanwhile (pictures
// being decoded, textures waiting for their texels).
void restWhenIdle(bool idle)
{
    if (idle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}

}  // namespace

Core::~Core() { release(); }

void Core::addSwitches()
{
    using tweak::Type;
    tweak::addVarRW(gui.bar, "postprocess", Type::BoolCpp, &postprocess, "label='postprocess'");
    tweak::addVarRW(gui.bar, "controlgrid", Type::BoolCpp, &controlgrid, "label='control grid'");
    if (sound.loaded) {
        tweak::addVarRW(gui.bar, "spectrum", Type::BoolCpp, &spectrum, "label='spectrum'");
    }
    tweak::addVarRW(gui.bar, "fftControl", Type::Int32, &fftControl, " min=0 max=512 label='fft flash' ");
}

void Core::addEffect(Effect* effect, float startTime, float endTime, int fadeInType, float fadeInLength,
                     int fadeOutType, float fadeOutLength)
{
    if (effectCount >= unsigned(maxEntries)) {
        delete effect;
        return;
    }
    ScheduleEntry& entry = schedule[effectCount++];
    entry.effect = effect;
    entry.startTime = startTime;
    entry.endTime = endTime;
    entry.fadeInType = fadeInType;
    entry.fadeInLength = fadeInLength;
    entry.fadeOutType = fadeOutType;
    entry.fadeOutLength = fadeOutLength;
}

int Core::init()
{
    initStage = InitStage::Begin;
    int result = initBusy;
    while (result == initBusy) {
        bool idle = false;
        result = initStep(&idle);
        restWhenIdle(idle);
    }
    return result;
}

int Core::initStep(bool* idle)
{
    *idle = false;
    // The pictures, meshes and scenes the inits will load are decoded while the bar fades
    // in, and the pictures' texels uploaded while it fades out; whatever the start-up's
    // outcome, the uploads are finished and the decoded memory goes when it ends.
    auto end = [](int result) {
        deferTextureUploads(false);
        dropPrefetched();
        dropPrefetchedScenes();
        return result;
    };
    try {
        switch (initStage) {
        case InitStage::Begin:
            startPrefetch(loader, textureSizeLimits(), prefetchScenes);
            loadingBar.startFade(1, 1.0f);
            initStage = InitStage::FadeIn;
            return initBusy;
        case InitStage::FadeIn:
            if (loadingBar.fadeStep(idle)) {
                return initBusy;
            }
            finishPrefetch();
            deferTextureUploads(true);
            for (int slot = 0; slot < demoSlotCount; ++slot) {
                Effect* effect = effectMaker ? effectMaker(slot) : makeDemoEffect(slot);
                if (!effect) {
                    continue;
                }
                const ScheduleSlot& s = demoSchedule[slot];
                addEffect(effect, s.startTime, s.endTime, s.fadeInType, s.fadeInLength, s.fadeOutType, s.fadeOutLength);
            }
            if (gui.init() != 0) {
                platform::messageBox("Core::init", " GUI init error.", platform::MessageIcon::Warning);
                return end(1);
            }
            addSwitches();
            seedRandom(12345);
            initStage = InitStage::Effects;
            initEffect = 0;
            return initBusy;
        case InitStage::Effects:
            // One effect a step, each followed by a frame of the bar.
            if (initEffect < effectCount) {
                if (schedule[initEffect].effect->init() != 0) {
                    loadingBar.fade(2, 1.0f);
                    return end(1);
                }
                ++initEffect;
                loadingBar.advance(effectCount);
                loadingBar.draw();
                return initBusy;
            }
            if (initGL() != 0) {
                return end(1);
            }
            if (loadPostEffects() != 0) {
                return end(1);
            }
            loadingBar.onceIdle = [] { core.renderFrameUnseen(); };
            loadingBar.startFade(2, 1.0f);
            initStage = InitStage::FadeOut;
            return initBusy;
        case InitStage::FadeOut:
            if (loadingBar.fadeStep(idle)) {
                return initBusy;
            }
            loadingBar.onceIdle = nullptr;
            deferTextureUploads(false);  // what the fade left: before the clock starts
            overlayTexture = 0;
            timer.reset();
            sound.play();
            initStage = InitStage::Done;
            return end(0);
        case InitStage::Done:
            break;
        }
    } catch (...) {
        // Nothing decoded or deferred outlives a start-up that threw.
        end(1);
        throw;
    }
    return 0;
}

int Core::initGL()
{
    glEnable(GL_BLEND);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    gpu::setTexturing(false);

    // The 16:9 band of the window; supersampled, the band is drawn that many times
    // larger into an off-screen frame that stands for the window (and fills it).
    const Band band = bandInWindow(screenSettings.width, screenSettings.height);
    const int scale = std::max(1, supersampler.factor);
    screenSettings.viewportWidth = band.width * scale;
    screenSettings.viewportHeight = band.height * scale;
    viewportX = scale > 1 ? 0 : band.x;
    viewportY = scale > 1 ? 0 : band.y;
    if (scale > 1 && supersampler.create(band) != 0) {
        return 1;
    }
    glViewport(viewportX, viewportY, screenSettings.viewportWidth, screenSettings.viewportHeight);

    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();
    const double f = std::tan(0.5235987901687622) * 0.02;
    const double aspect = float(screenSettings.viewportWidth) / float(screenSettings.viewportHeight);
    gpu::frustum(-f * aspect, f * aspect, -f, f, 0.02, 200.0);

    RenderTarget* const targets[] = {&sceneCopy, &fadeOutCopy, &fadeInCopy, &bloomA, &bloomB};
    for (int i = 0; i < 5; ++i) {
        const int w = i < 3 ? screenSettings.viewportWidth : 256;
        const int h = i < 3 ? screenSettings.viewportHeight : 256;
        targets[i]->create(w, h);
        if (targets[i]->checkStatus() != 0) {
            return 1;
        }
    }
    createDepthBuffer(sceneCopy.width, sceneCopy.height, &sceneDepth);
    sceneCopy.attachDepthBuffer(sceneDepth);

    if (loadMesh("objects/quad.mmf", loader, quadMesh) != 0) {
        return 1;
    }
    if (loadMesh("objects/cube_env100out.mmf", loader, cubeMesh) != 0) {
        return 1;
    }
    vantelObject.init();  // a failure only leaves the scene companion undrawn
    return 0;
}

void Core::setClock(float t)
{
    timer.paused = true;
    timer.now = timer.start + (timer.secondsPerTick > 0.0 ? std::llround(double(t) / timer.secondsPerTick) : 0);
}

void Core::jumpTo(float t)
{
    if (timer.secondsPerTick > 0.0) {
        const int64_t ticks = std::llround(double(t) / timer.secondsPerTick);
        if (!timer.paused) {
            timer.start = Timer::counter() - ticks;
        }
        timer.now = timer.start + ticks;
        timer.elapsed = ticks;
    }
    if (sound.loaded) {
        sound.seek(t > 0.0f ? static_cast<unsigned int>(std::lround(double(t) * 1000.0)) : 0u);
    }
}

void Core::loopSpan(float from, float to)
{
    loopFrom = from;
    loopTo = to;
    if (to > from) {
        jumpTo(from);
    }
}

void Core::frame()
{
    // Files of a data folder that changed are loaded again between two frames.
    reload::poll();
    renderFrame();
    // The tweak bar draws itself only while the user has it shown (F1).
    tweak::draw();
    platform::swapBuffers();
    ++frames;
    if (demoFinished(time)) {
        platform::postQuit(0);
    }
}

void Core::renderFrameUnseen()
{
    const gpu::StateRecord saved = gpu::saveState();
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::pushMatrix();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::pushMatrix();
    glEnable(GL_SCISSOR_TEST);
    glScissor(viewportX, viewportY, 1, 1);
    renderFrame();
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::popMatrix();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::popMatrix();
    gpu::restoreState(saved);
}

void Core::renderFrame()
{
    if (sound.loaded) {
        sound.update();
    }
    time = timer.read();
    if (loopTo > loopFrom && time >= loopTo) {
        jumpTo(loopFrom);
        time = timer.read();
    }
    frameIsNew = time > renderedUntil;

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    crossfadeFactor = 0.0f;
    glClear(GL_COLOR_BUFFER_BIT);

    CrossfadeState crossfade{crossfadeStart, crossfadeEnd, 0.0f};
    crossfadeMix = false;
    // A cross-fade source is copied once every entry between it and its target has drawn
    // (the names over the finale stay in the picture that fades out), just before the
    // target renders, or after the last entry when no target follows.
    bool sourcePending = false;
    for (unsigned int i = 0; i < effectCount; ++i) {
        const ScheduleEntry& entry = schedule[i];
        if (!entryActive(entry, time)) {
            continue;
        }
        if (sourcePending && entry.fadeInType == crossfadeTarget) {
            copyBand(fadeOutCopy);
            sourcePending = false;
        }
        glClear(GL_DEPTH_BUFFER_BIT);
        entry.effect->render(time - entry.startTime);
        if (overlayTexture != 0) {
            drawOverlay();
        }
        const EntryFrame step = planEntry(entry, time, crossfade);
        if (step.fadeIn) {
            fade(entry.fadeInType, step.fadeInProgress);
        }
        if (step.fadeOut) {
            fade(entry.fadeOutType, step.fadeOutProgress);
        }
        if (step.copySource) {
            sourcePending = true;
        }
        if (step.copyTarget) {
            copyBand(fadeInCopy);
            crossfadeMix = true;
        }
    }
    if (sourcePending) {
        copyBand(fadeOutCopy);
    }
    crossfadeStart = crossfade.start;
    crossfadeEnd = crossfade.end;
    crossfadeFactor = crossfade.factor;

    gui.pushTweakables();
    // The music's flash over the finished picture: drawn by the post-processing's last
    // pass when it runs, else as a wash of its own.
    const bool flashes = spectrum && fftControl > 0 && fftControl <= 512;
    Wash flash;
    if (flashes) {
        const float* bins = spectrumAt ? spectrumAt(time) : sound.getSpectrum();
        flash = fadeWash(fadeToWhite, bins[fftControl - 1] * 0.1f);
    }
    if (postprocess) {
        runPostProcess(flash);
    } else if (flashes) {
        fade(flash);
    }
}

void Core::drawOverlay()
{
    pushBandProjection();
    gpu::color(1.0f, 1.0f, 1.0f, 1.0f);
    gpu::setTexturing(true);
    glBindTexture(GL_TEXTURE_2D, overlayTexture);
    // An overlay is drawn near its own size: the nearest mipmap level alone is as sharp
    // as blending two and costs half as much over a whole screen (an overlay texture is
    // drawn nowhere else, and setting the same value again is free).
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float right = float(screenSettings.viewportWidth - 1);
    const float top = float(screenSettings.viewportHeight - 1);
    const AlphaCoverage* coverage = findAlphaCoverage(overlayTexture);
    gpu::begin(gpu::Primitive::Quads);
    if (coverage && coverageHolds(*coverage, screenSettings.viewportWidth, screenSettings.viewportHeight)) {
        // Only where the picture is not wholly transparent: every run of set tiles in a
        // tile row is one quad with the whole picture's mapping, so the pixels it
        // covers are those the whole quad gives (most of an overlay is see-through).
        for (int row = 0; row < coverageRows; ++row) {
            const uint64_t tiles = coverage->rows[row];
            for (int column = 0; column < coverageColumns;) {
                if (!(tiles >> column & 1)) {
                    ++column;
                    continue;
                }
                int end = column + 1;
                while (end < coverageColumns && (tiles >> end & 1)) {
                    ++end;
                }
                overlayQuad(float(column) / coverageColumns, float(row) / coverageRows, float(end) / coverageColumns,
                            float(row + 1) / coverageRows, right, top);
                column = end;
            }
        }
    } else {
        overlayQuad(0.0f, 0.0f, 1.0f, 1.0f, right, top);
    }
    gpu::end();
    gpu::setTexturing(false);
    popBandProjection();
    overlayTexture = 0;
}

void Core::copyBand(const RenderTarget& target)
{
    glBindTexture(GL_TEXTURE_2D, target.colorTexture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, viewportX, viewportY, target.width, target.height);
}

void Core::fade(int type, float x) { fade(fadeWash(type, x)); }

void Core::fade(const Wash& wash)
{
    pushBandProjection();
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    gpu::setTexturing(false);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gpu::color(wash.grey, wash.grey, wash.grey, wash.opacity);
    // A wash fainter than half a step of an 8-bit channel blends to the same pixels:
    // the music's flash is that faint in about half the frames, and the rectangle
    // would cost a full-screen blend for nothing. The state above is set either way.
    if (wash.opacity * 255.0f >= 0.5f) {
        gpu::rect(0.0f, 0.0f, float(screenSettings.viewportWidth - 1), float(screenSettings.viewportHeight - 1));
    }
    glDepthMask(GL_TRUE);
    popBandProjection();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
}

void Core::release()
{
    if (released) {
        return;
    }
    released = true;
    reload::stop();
    reload::forgetAll();  // the records noted for reloading go with the parts
    for (unsigned int i = 0; i < effectCount; ++i) {
        delete schedule[i].effect;
        schedule[i].effect = nullptr;
    }
    if (!platform::hasWindow()) {
        // The context is gone, and its objects with it: names kept now would name
        // another context's objects.
        forgetMeshBuffers(quadMesh);
        forgetMeshBuffers(cubeMesh);
        return;
    }
    releaseMeshBuffers(quadMesh);
    releaseMeshBuffers(cubeMesh);
    gpu::releaseImmediate();
    supersampler.release();
    RenderTarget* const targets[] = {&sceneCopy, &fadeOutCopy, &fadeInCopy, &bloomA, &bloomB};
    for (RenderTarget* target : targets) {
        releaseTarget(*target);
    }
    releaseDepthBuffer(&sceneDepth);
}

void LoadingBar::draw()
{
    GLint saved[4];
    glGetIntegerv(GL_VIEWPORT, saved);
    glViewport(0, 0, screenSettings.width, screenSettings.height);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();
    gpu::ortho(0.0, screenSettings.width - 1, 0.0, screenSettings.height - 1, -1.0, 1.0);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    gpu::translate(float((screenSettings.width - barWidth) / 2), float((screenSettings.height - barHeight) / 2), -0.5f);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gpu::color(barRed, barGreen, barBlue, alpha);
    const float right = float(barWidth - 1);
    const float top = float(barHeight - 1);
    gpu::begin(gpu::Primitive::LineLoop);
    gpu::vertex(0.0f, 0.0f);
    gpu::vertex(right, 0.0f);
    gpu::vertex(right, top);
    gpu::vertex(0.0f, top);
    gpu::end();
    gpu::rect(2.0f, 2.0f, float(fill), float(barHeight - 3));

    glViewport(saved[0], saved[1], saved[2], saved[3]);
    platform::swapBuffers();
}

void LoadingBar::fade(int mode, float length)
{
    startFade(mode, length);
    bool idle = false;
    while (fadeStep(&idle)) {
        restWhenIdle(idle);
    }
}

void LoadingBar::startFade(int mode, float length)
{
    core.timer.reset();
    fadeMode = mode;
    fadeLength = length;
    fadeStart = core.timer.read();
    fading = true;
    if (!core.timer.available) {
        alpha = mode == 2 ? 0.0f : 1.0f;  // no clock: the fade could never end
        draw();
        fading = false;
    }
}

bool LoadingBar::fadeStep(bool* idle)
{
    *idle = false;
    if (!fading) {
        return false;
    }
    const float t = core.timer.read();
    const float progress = fadeLength > 0.0f ? (t - fadeStart) / fadeLength : 1.0f;
    alpha = fadeMode == 2 ? 1.0f - progress : progress;
    draw();
    if (t >= fadeStart + fadeLength) {
        fading = false;
        return false;
    }
    // The time between frames goes to the textures waiting for their texels; once none
    // waits, to onceIdle's work, then to nothing (*idle).
    if (uploadDeferredTextures(0.004)) {
        if (onceIdle) {
            void (*work)() = onceIdle;
            onceIdle = nullptr;
            work();
        } else {
            *idle = true;
        }
    }
    return true;
}
