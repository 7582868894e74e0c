#include "datagen/synth/render.h"

#include <algorithm>
#include <thread>

namespace synth {

namespace {

constexpr int kGroups = 2;        // every track's notes are dealt to two groups, whatever the thread count
constexpr int64_t kMixBlock = 64; // frames between automation look-ups

struct Bus {
    std::vector<float> left, right, reverb, delay;
    std::vector<float> trackLeft, trackRight;
};

std::vector<float> duckEnvelope(const Score& score, const std::vector<TrackEvents>& events, int64_t frames)
{
    std::vector<float> duck(size_t(frames), 0.0f);
    if (score.sidechain < 0) return duck;
    const double sr = score.sampleRate;
    const double attack = std::max(score.duckAttack, 1e-4f), release = std::max(score.duckRelease, 1e-3f);
    for (const NoteEvent& ev : events[size_t(score.sidechain)].notes) {
        const int64_t end = std::min(frames, ev.start + int64_t((attack + release) * sr));
        for (int64_t f = std::max<int64_t>(0, ev.start); f < end; ++f) {
            const double x = double(f - ev.start) / sr;
            const double v = x < attack ? x / attack : 0.5 * (1.0 + std::cos(kPi * (x - attack) / release));
            duck[size_t(f)] = std::max(duck[size_t(f)], float(v));
        }
    }
    return duck;
}

// Renders the notes of track t whose index has the group's parity and mixes them into the
// group's busses. Returns the energy (sum of squares) the group added to the dry mix.
double renderTrack(const Score& score, size_t t, const TrackEvents& events, const std::vector<float>& duck, Bus& bus,
                   int64_t frames, int group)
{
    if (events.notes.size() <= size_t(group)) return 0.0;
    const TrackDef& track = score.tracks[t];
    const Patch& patch = score.instruments[size_t(track.instrument)].patch;
    const float sr = score.sampleRate;
    const int64_t tail = noteTail(patch, sr);
    int64_t first = frames, last = 0;
    for (size_t i = size_t(group); i < events.notes.size(); i += kGroups) {
        first = std::min(first, events.notes[i].start);
        last = std::max(last, events.notes[i].start + events.notes[i].length + tail);
    }
    first = std::max<int64_t>(0, first);
    last = std::min(last, frames);
    if (first >= last) return 0.0;
    std::fill(bus.trackLeft.begin() + first, bus.trackLeft.begin() + last, 0.0f);
    std::fill(bus.trackRight.begin() + first, bus.trackRight.begin() + last, 0.0f);
    const Curve* cut = events.cut.empty() ? nullptr : &events.cut;
    for (size_t i = size_t(group); i < events.notes.size(); i += kGroups) {
        const uint32_t seed = score.seed * 1000003u + uint32_t(t) * 7919u + uint32_t(i) * 104729u + 1u;
        renderNote(patch, events.notes[i], cut, sr, seed, bus.trackLeft.data(), bus.trackRight.data(), frames);
    }
    const float pan = std::clamp(track.pan, -1.0f, 1.0f);
    const float panL = std::cos(float(kPi) * 0.25f * (pan + 1.0f)) * 1.41421356f;
    const float panR = std::sin(float(kPi) * 0.25f * (pan + 1.0f)) * 1.41421356f;
    double energy = 0.0;
    float gainNext = dbToGain(track.gain + events.gain.at(double(first) / sr));
    for (int64_t b = first; b < last; b += kMixBlock) {
        const double time = double(b) / sr;
        // Gain glides across the block so that automation steps do not click.
        const float gain = gainNext;
        gainNext = dbToGain(track.gain + events.gain.at(double(b + kMixBlock) / sr));
        const float gainStep = (gainNext - gain) / float(kMixBlock);
        const float reverb = events.reverb.at(time), delay = events.delay.at(time);
        const int64_t end = std::min(last, b + kMixBlock);
        for (int64_t f = b; f < end; ++f) {
            const float g = (gain + gainStep * float(f - b)) * (1.0f - track.duck * duck[size_t(f)]);
            const float l = bus.trackLeft[size_t(f)] * g * panL, r = bus.trackRight[size_t(f)] * g * panR;
            bus.left[size_t(f)] += l;
            bus.right[size_t(f)] += r;
            const float mono = (l + r) * 0.5f;
            bus.reverb[size_t(f)] += mono * reverb;
            bus.delay[size_t(f)] += mono * delay;
            energy += double(l) * l + double(r) * r;
        }
    }
    return energy;
}

float fadeGain(const Score& score, double time)
{
    float g = 1.0f;
    if (score.fadeInEnd > 0.0f && time < score.fadeInEnd) {
        float x = float(time / score.fadeInEnd);
        g *= x * x;
    }
    if (score.fadeOutEnd > score.fadeOutStart && score.fadeOutStart >= 0.0f && time > score.fadeOutStart) {
        float x = float((time - score.fadeOutStart) / (score.fadeOutEnd - score.fadeOutStart));
        x = std::clamp(x, 0.0f, 1.0f);
        g *= 0.5f * (1.0f + std::cos(float(kPi) * x));
        if (x >= 1.0f) g = 0.0f;
    }
    return g;
}

}  // namespace

void renderScore(const Score& score, Rendering& out, int threads)
{
    const int64_t frames = int64_t(std::llround(score.length * score.sampleRate));
    const float sr = score.sampleRate;
    std::vector<TrackEvents> events = expandScore(score);
    std::vector<float> duck = duckEnvelope(score, events, frames);

    // Each group renders every other note of every track: the work splits evenly, and the
    // sums are formed in the same order whatever the number of threads.
    Bus buses[kGroups];
    std::vector<double> energy[kGroups] = {std::vector<double>(score.tracks.size()), std::vector<double>(score.tracks.size())};
    auto work = [&](int g) {
        Bus& bus = buses[g];
        for (auto* v : {&bus.left, &bus.right, &bus.reverb, &bus.delay, &bus.trackLeft, &bus.trackRight}) {
            v->assign(size_t(frames), 0.0f);
        }
        for (size_t t = 0; t < score.tracks.size(); ++t) energy[g][t] = renderTrack(score, t, events[t], duck, bus, frames, g);
        bus.trackLeft = std::vector<float>();
        bus.trackRight = std::vector<float>();
    };
    if (threads >= 2) {
        std::thread helper(work, 1);
        work(0);
        helper.join();
    } else {
        for (int g = 0; g < kGroups; ++g) work(g);
    }

    // Level of each track over the span of its notes (the halves' energies added: close enough
    // for a mixing report).
    out.trackLevels.assign(score.tracks.size(), 0.0f);
    for (size_t t = 0; t < score.tracks.size(); ++t) {
        int64_t first = frames, last = 0;
        const int64_t tail = noteTail(score.instruments[size_t(score.tracks[t].instrument)].patch, sr);
        for (const NoteEvent& ev : events[t].notes) {
            first = std::min(first, ev.start);
            last = std::max(last, std::min(frames, ev.start + ev.length + tail));
        }
        if (last > first) out.trackLevels[t] = float(std::sqrt((energy[0][t] + energy[1][t]) / (2.0 * double(last - first))));
    }
    std::vector<float> left = std::move(buses[0].left), right = std::move(buses[0].right);
    std::vector<float> reverb = std::move(buses[0].reverb), delay = std::move(buses[0].delay);
    for (int64_t f = 0; f < frames; ++f) {
        left[size_t(f)] += buses[1].left[size_t(f)];
        right[size_t(f)] += buses[1].right[size_t(f)];
        reverb[size_t(f)] += buses[1].reverb[size_t(f)];
        delay[size_t(f)] += buses[1].delay[size_t(f)];
    }
    buses[1] = Bus();
    // The delay's repeats feed the reverb a little, so they sit in the same room.
    std::vector<float> delayL(size_t(frames), 0.0f), delayR(size_t(frames), 0.0f);
    Curve delayTimes;
    if (score.delay.beats > 0.0f) {
        for (size_t s = 0; s < score.sections.size(); ++s) {
            const float t = std::min(4.0f, float(score.delay.beats * beatLength(score, s)));
            delayTimes.add(score.sections[s].start, t);
            if (s + 1 < score.sections.size()) delayTimes.add(score.sections[s + 1].start, t);
        }
    }
    applyDelay(score.delay, sr, delay.data(), delayL.data(), delayR.data(), frames,
               delayTimes.empty() ? nullptr : &delayTimes);
    for (int64_t f = 0; f < frames; ++f) {
        left[size_t(f)] += delayL[size_t(f)];
        right[size_t(f)] += delayR[size_t(f)];
        reverb[size_t(f)] += 0.25f * (delayL[size_t(f)] + delayR[size_t(f)]);
    }
    delayL = std::vector<float>();
    delayR = std::vector<float>();
    applyReverb(score.reverb, sr, reverb.data(), left.data(), right.data(), frames);
    reverb = std::vector<float>();

    // Take off the slow offset that the one-sided start of every kick leaves behind.
    Biquad dcLeft, dcRight;
    {
        const double k = std::tan(kPi * 12.0 / sr), q = 0.7071, a0 = 1.0 + k / q + k * k;
        dcLeft.b0 = 1.0 / a0;
        dcLeft.b1 = -2.0 / a0;
        dcLeft.b2 = 1.0 / a0;
        dcLeft.a1 = 2.0 * (k * k - 1.0) / a0;
        dcLeft.a2 = (1.0 - k / q + k * k) / a0;
        dcRight = dcLeft;
    }
    for (int64_t f = 0; f < frames; ++f) {
        left[size_t(f)] = float(dcLeft.process(left[size_t(f)]));
        right[size_t(f)] = float(dcRight.process(right[size_t(f)]));
    }

    for (int64_t b = 0; b < frames; b += kMixBlock) {
        const int64_t end = std::min(frames, b + kMixBlock);
        const float g0 = fadeGain(score, double(b) / sr), g1 = fadeGain(score, double(end) / sr);
        for (int64_t f = b; f < end; ++f) {
            const float g = g0 + (g1 - g0) * float(f - b) / float(end - b);
            left[size_t(f)] *= g;
            right[size_t(f)] *= g;
        }
    }

    // Normalise to the loudness target; the limiter takes off a little, so correct once.
    const float ceiling = dbToGain(score.ceilingDb);
    double measured = integratedLoudness(left.data(), right.data(), frames, sr);
    if (!std::isfinite(measured)) measured = -70.0;
    float gainDb = measured > -69.0 ? float(score.loudness - measured) : 0.0f;
    for (int pass = 0; pass < 2; ++pass) {
        const float g = dbToGain(gainDb);
        out.left.resize(size_t(frames));
        out.right.resize(size_t(frames));
        for (int64_t f = 0; f < frames; ++f) {
            // A runaway patch must not poison the stream: non-finite samples become silence.
            const float l = left[size_t(f)] * g, r = right[size_t(f)] * g;
            out.left[size_t(f)] = std::isfinite(l) ? l : 0.0f;
            out.right[size_t(f)] = std::isfinite(r) ? r : 0.0f;
        }
        out.limiterDb = applyLimiter(ceiling, 0.003f, 0.08f, sr, out.left.data(), out.right.data(), frames);
        out.loudness = integratedLoudness(out.left.data(), out.right.data(), frames, sr);
        out.gainDb = gainDb;
        if (pass == 0 && measured > -69.0) gainDb += float(score.loudness - out.loudness);
    }
    out.peak = peakLevel(out.left.data(), out.right.data(), frames);
}

}  // namespace synth
