#include "core/timeline.h"

#include <algorithm>

const ScheduleSlot demoSchedule[demoSlotCount] = {
    {"Scene01", 0.0f, 20.0f, fadeFromBlack, 2.0f, crossfadeSource, 2.0f},
    {"TheHub", 18.0f, 39.0f, crossfadeTarget, 2.0f, fadeToBlack, 1.0f},
    {"StripesDOF", 39.0f, 59.0f, fadeFromBlack, 1.0f, crossfadeSource, 2.0f},
    {"Blobs", 57.0f, 77.0f, crossfadeTarget, 2.0f, fadeToBlack, 1.0f},
    {"Phalanx", 77.0f, 96.0f, fadeFromBlack, 1.0f, fadeToBlack, 1.0f},
    {"RandomGeo2", 96.0f, 115.0f, fadeFromBlack, 1.0f, fadeToBlack, 1.0f},
    {"Splines", 115.0f, 134.0f, fadeFromBlack, 1.0f, fadeToWhite, 0.5f},
    {"Scene02", 134.0f, 153.0f, fadeFromWhite, 0.5f, fadeNone, 0.0f},
    {"Vantel", 153.0f, 193.0f, fadeNone, 0.0f, crossfadeSource, 5.0f},
    {"Greetings", 173.0f, 193.0f, fadeNone, 0.0f, fadeToBlack, 2.0f},
    {"Credits", 188.0f, 195.0f, crossfadeTarget, 5.0f, fadeToBlack, 2.0f},
};

namespace {

float progress(float elapsed, float length) { return length > 0.0f ? elapsed / length : 1.0f; }

}  // namespace

EntryFrame planEntry(const ScheduleEntry& entry, float time, CrossfadeState& crossfade)
{
    EntryFrame step;
    const float d = time - entry.startTime;
    step.localTime = d;
    if ((entry.fadeInType == fadeFromBlack || entry.fadeInType == fadeFromWhite) && d <= entry.fadeInLength) {
        step.fadeIn = true;
        step.fadeInProgress = progress(d, entry.fadeInLength);
    }
    if ((entry.fadeOutType == fadeToBlack || entry.fadeOutType == fadeToWhite) &&
        entry.endTime - entry.fadeOutLength <= time) {
        step.fadeOut = true;
        step.fadeOutProgress = progress(entry.fadeOutLength + (time - entry.endTime), entry.fadeOutLength);
    }
    if (entry.fadeOutType == crossfadeSource && entry.endTime - entry.fadeOutLength <= time &&
        time < entry.endTime) {
        step.copySource = true;
        crossfade.start = entry.endTime - entry.fadeOutLength;
    }
    if (entry.fadeInType == crossfadeTarget && entry.startTime <= time &&
        time < entry.startTime + entry.fadeInLength) {
        step.copyTarget = true;
        crossfade.end = entry.startTime + entry.fadeInLength;
        const float span = crossfade.end - crossfade.start;
        crossfade.factor = span != 0.0f ? (time - crossfade.start) / span : 1.0f;
    }
    return step;
}

Wash fadeWash(int type, float x)
{
    Wash wash;
    x = x > 0.0f ? std::min(x, 1.0f) : 0.0f;  // also maps NaN to 0
    switch (type) {
    case fadeFromBlack:
        wash.opacity = 1.0f - x;
        break;
    case fadeToBlack:
        wash.opacity = x;
        break;
    case fadeFromWhite:
        wash.grey = 1.0f;
        wash.opacity = 1.0f - x;
        break;
    case fadeToWhite:
        wash.grey = 1.0f;
        wash.opacity = x;
        break;
    default:
        break;
    }
    return wash;
}

void LoadingBar::advance(unsigned int effectCount)
{
    if (effectCount == 0 || unsigned(steps) > effectCount) {
        return;
    }
    steps += 1;
    fill = (barWidth / int(effectCount)) * steps;
    fill = std::max(std::min(fill, barWidth - 3), 2);
}

Band bandInWindow(int width, int height)
{
    Band band;
    if (width * 9 / 16 <= height) {
        band.width = width;
        band.height = width * 9 / 16;
        band.y = (height - band.height) / 2;
    } else {
        band.height = height;
        band.width = height * 16 / 9;
        band.x = (width - band.width) / 2;
    }
    return band;
}
