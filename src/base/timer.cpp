#include "base/timer.h"

#include "platform/platform.h"

Timer::Timer()
{
    int64_t frequency = platform::counterFrequency();
    if (frequency > 0) {
        start = now = platform::counter();
        secondsPerTick = 1.0 / double(frequency);
        available = true;
    }
}

int64_t Timer::counter() { return platform::counter(); }

void Timer::reset()
{
    start = platform::counter();
    now = start;
}

float Timer::read()
{
    if (!paused) {
        now = platform::counter();
    }
    elapsed = now - start;
    return float(double(elapsed) * secondsPerTick);
}
