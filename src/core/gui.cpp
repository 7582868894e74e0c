#include "core/gui.h"

#include "audio/sound.h"
#include "core/core.h"

namespace {

void silentErrors(const char*) {}

void play(void*)
{
    Timer& timer = core.timer;
    if (timer.paused) {
        int64_t c = Timer::counter();
        timer.start = c - timer.elapsed;
        timer.paused = false;
    }
    if (sound.loaded) {
        sound.resume();
    }
}

void pause(void*)
{
    core.timer.paused = true;
    if (sound.loaded) {
        sound.pause();
    }
}

void reset(void*)
{
    core.timer.reset();
    if (sound.loaded) {
        sound.seek(0);
    }
}

void setTime(const void* value, void*)
{
    float v = *static_cast<const float*>(value);
    Timer& timer = core.timer;
    if (timer.secondsPerTick > 0.0) {
        // Picture and music move together: while running, the clock's start moves so that
        // the next reading continues from v (moving only `now` would be overwritten by the
        // next frame's fresh counter value and leave the picture where it was).
        const int64_t ticks = int64_t(double(v) / timer.secondsPerTick);
        if (!timer.paused) {
            timer.start = Timer::counter() - ticks;
        }
        timer.now = timer.start + ticks;
        timer.elapsed = ticks;
    }
    if (sound.loaded) {
        // Negative times cannot be reached from the bar (min=0); clamp for safety.
        sound.seek(v > 0.0f ? static_cast<unsigned int>(v * 1000.0f) : 0u);
    }
}

void getTime(void* value, void*) { *static_cast<float*>(value) = core.timer.read(); }

void setVolume(const void* value, void*)
{
    if (sound.loaded) {
        sound.setVolume(*static_cast<const float*>(value));
    }
}

void getVolume(void* value, void*)
{
    *static_cast<float*>(value) = sound.loaded ? sound.getVolume() : 0.0f;
}

}  // namespace

int Gui::init()
{
    if (tweak::init() != 0) {
        return 1;
    }
    bar = tweak::newBar("Core");
    tweak::define(" Core refresh=0.01 size='200 400' valuesWidth=60 ");
    tweak::define(showBar ? " Core show " : " Core iconify ");
    tweak::addButton(bar, "Play", play, nullptr, nullptr);
    tweak::addButton(bar, "Pause", pause, nullptr, nullptr);
    tweak::addButton(bar, "Reset", reset, nullptr, nullptr);
    tweak::addVarCB(bar, "Time", tweak::Type::Float, setTime, getTime, nullptr,
                    " min=0 max=1000 step=0.01 precision=4 keydecr=, keyincr=. ");
    if (sound.loaded) {
        tweak::addVarCB(bar, "Volume", tweak::Type::Float, setVolume, getVolume, nullptr,
                        " min=0.0 max=1.0 step=0.05 ");
    }
    tweak::handleErrors(silentErrors);
    return 0;
}
