#include "datagen/synth/instrument.h"

#include <algorithm>

namespace synth {

void Curve::add(double time, float value)
{
    // Kept in time order; a point at an existing time goes after it, making a step.
    const size_t at = size_t(std::upper_bound(times.begin(), times.end(), time) - times.begin());
    times.insert(times.begin() + long(at), time);
    values.insert(values.begin() + long(at), value);
}

float Curve::at(double time) const
{
    if (times.empty() || time < times.front()) return fallback;
    if (time >= times.back()) return values.back();
    size_t hi = size_t(std::upper_bound(times.begin(), times.end(), time) - times.begin());
    size_t lo = hi - 1;
    double span = times[hi] - times[lo];
    if (span <= 0.0) return values[hi];
    double f = (time - times[lo]) / span;
    return float(values[lo] + (values[hi] - values[lo]) * f);
}

namespace {

constexpr int kControlBlock = 32;  // frames between filter/modulation updates

// One band-limited saw sample (the same arithmetic as Oscillator::next for Wave::Saw).
inline float sawStep(double& phase, double dt)
{
    const double out = 2.0 * phase - 1.0 - polyBlep(phase, dt);
    phase += dt;
    if (phase >= 1.0) phase -= 1.0;
    return float(out);
}

float expDecay(double t, float time60) { return float(std::exp(-6.9 * t / std::max(time60, 1e-4f))); }

void renderSynth(const Patch& p, const NoteEvent& ev, const Curve* cut, float sr, uint32_t seed, float* left,
                 float* right, int64_t end)
{
    const int n = std::clamp(p.unison, 1, 16);
    Oscillator osc1[16], osc2[16];
    float panL[16], panR[16];
    double ratio1[16], ratio2[16];
    Rng rng(seed);
    for (int i = 0; i < n; ++i) {
        float pos = n > 1 ? float(i) / float(n - 1) - 0.5f : 0.0f;
        ratio1[i] = std::pow(2.0, (p.detune * pos) / 12.0);
        ratio2[i] = std::pow(2.0, (p.semi2 - p.detune * pos) / 12.0);
        osc1[i].phase = n > 1 ? rng.uniform() : 0.0;
        osc2[i].phase = n > 1 ? rng.uniform() : 0.0;
        osc1[i].noise = Rng(seed * 31u + uint32_t(i) + 1u);
        float pan = p.spread * pos * 2.0f;
        panL[i] = std::sqrt(0.5f * (1.0f - pan));
        panR[i] = std::sqrt(0.5f * (1.0f + pan));
    }
    const float norm = 1.0f / std::sqrt(float(n));
    const bool sawOnly = p.wave1 == Wave::Saw && (p.mix2 == 0.0f || p.wave2 == Wave::Saw);
    double inc1[16], inc2[16];
    const double baseHz = midiToHz(ev.note);
    Adsr amp = p.amp, fenv = p.filterEnv;
    amp.start(sr);
    fenv.start(sr);
    Svf fl, fr;
    Oscillator subOsc;
    Rng noise(seed ^ 0xA5A5A5A5u);
    const int64_t noteOff = ev.start + ev.length;
    const float driveGain = 1.0f + 6.0f * p.drive;
    const float driveNorm = 1.0f / (1.0f + 2.0f * p.drive);
    const float outGain = p.level * ev.velocity * norm;
    for (int64_t t = ev.start; t < end; t += kControlBlock) {
        double local = double(t - ev.start) / sr;
        double vib = 0.0;
        if (p.vibrato > 0.0f) {
            double fade = std::clamp((local - p.vibratoDelay) / 0.4, 0.0, 1.0);
            vib = p.vibrato * fade * std::sin(2.0 * kPi * p.vibratoRate * local);
        }
        const double hz = baseHz * std::pow(2.0, vib / 12.0);
        const double dt = hz / sr;
        for (int i = 0; i < n; ++i) {
            inc1[i] = dt * ratio1[i];
            inc2[i] = dt * ratio2[i];
        }
        float octaves = p.envAmount * fenv.value + p.keytrack * (ev.note - 60.0f) / 12.0f +
                        p.velocityToCutoff * ev.velocity;
        if (p.lfoDepth != 0.0f) octaves += p.lfoDepth * float(std::sin(2.0 * kPi * p.lfoRate * double(t) / sr));
        if (cut) octaves += cut->at(double(t) / sr);
        const float fc = p.cutoff * std::pow(2.0f, octaves);
        fl.set(fc, p.resonance, sr);
        fr = Svf{fr.ic1, fr.ic2, fl.a1, fl.a2, fl.a3, fl.k};
        const int64_t blockEnd = std::min<int64_t>(t + kControlBlock, end);
        for (int64_t s = t; s < blockEnd; ++s) {
            if (s == noteOff) {
                amp.noteOff();
                fenv.noteOff();
            }
            const float e = amp.next();
            fenv.next();
            if (amp.stage == 2 && e < 1e-3f) return;  // -60 dB: the rest of the tail is inaudible
            float sl = 0.0f, sr2 = 0.0f;
            for (int i = 0; i < n; ++i) {
                float v;
                if (sawOnly) {
                    // The common supersaw case, without the general oscillator's dispatch.
                    v = sawStep(osc1[i].phase, inc1[i]);
                    if (p.mix2 != 0.0f) v += p.mix2 * sawStep(osc2[i].phase, inc2[i]);
                } else {
                    v = osc1[i].next(p.wave1, inc1[i], p.pulseWidth);
                    if (p.mix2 != 0.0f) v += p.mix2 * osc2[i].next(p.wave2, inc2[i], p.pulseWidth);
                }
                sl += v * panL[i];
                sr2 += v * panR[i];
            }
            float mono = 0.0f;
            if (p.sub != 0.0f) mono += p.sub * subOsc.next(Wave::Sine, dt * 0.5) * 0.7071f / norm;
            if (p.noise != 0.0f) mono += p.noise * noise.bipolar() * 0.7071f / norm;
            float yl = fl.process(sl + mono, p.filterMode);
            float yr = fr.process(sr2 + mono, p.filterMode);
            if (p.drive > 0.0f) {
                yl = softClip(yl * driveGain) * driveNorm;
                yr = softClip(yr * driveGain) * driveNorm;
            }
            const float g = e * outGain;
            left[s] += yl * g;
            right[s] += yr * g;
        }
    }
}

void renderFm(const Patch& p, const NoteEvent& ev, const Curve* cut, float sr, float* left, float* right,
              int64_t end)
{
    Adsr amp = p.amp;
    amp.start(sr);
    const double hz = midiToHz(ev.note);
    double carrier = 0.0, modulator = 0.0, modulator2 = 0.0;
    float lastMod = 0.0f;
    const int64_t noteOff = ev.start + ev.length;
    const float velIndex = 0.5f + 0.5f * ev.velocity;
    const float outGain = p.level * ev.velocity;
    OnePole tone;
    for (int64_t t = ev.start; t < end; t += kControlBlock) {
        const double local = double(t - ev.start) / sr;
        const float env = p.indexSustain + (1.0f - p.indexSustain) * expDecay(local, p.indexDecay);
        float brightness = 1.0f;
        if (cut) brightness = std::pow(2.0f, cut->at(double(t) / sr));
        const float idx = p.index * env * velIndex * std::min(brightness, 2.0f);
        const float idx2 = p.index2 * env * velIndex;
        const double vib = p.vibrato > 0.0f ? p.vibrato * std::sin(2.0 * kPi * p.vibratoRate * local) : 0.0;
        const double f = hz * std::pow(2.0, vib / 12.0);
        const double dc = f / sr, dm = f * p.ratio / sr, dm2 = f * p.ratio2 / sr;
        tone.setCutoff(std::min(p.cutoff * brightness, sr * 0.45f), sr);
        const int64_t blockEnd = std::min<int64_t>(t + kControlBlock, end);
        for (int64_t s = t; s < blockEnd; ++s) {
            if (s == noteOff) amp.noteOff();
            const float e = amp.next();
            if (amp.stage == 2 && e < 1e-3f) return;  // -60 dB: the rest of the tail is inaudible
            float mod = sin2pi(modulator + p.feedback * lastMod * (0.5 / kPi));
            lastMod = mod;
            float phaseMod = idx * mod;
            if (idx2 != 0.0f) phaseMod += idx2 * sin2pi(modulator2);
            float y = sin2pi(carrier + phaseMod * (0.5 / kPi));
            y = tone.lowpass(y);
            carrier += dc;
            modulator += dm;
            modulator2 += dm2;
            if (carrier >= 1.0) carrier -= 1.0;
            if (modulator >= 1.0) modulator -= std::floor(modulator);
            if (modulator2 >= 1.0) modulator2 -= std::floor(modulator2);
            const float g = y * e * outGain * 0.7071f;
            left[s] += g;
            right[s] += g;
        }
    }
}

// Exponential decay by multiplication: value falls 60 dB in time60 seconds.
struct Decay {
    float value = 1.0f, coef = 0.0f;
    Decay(float time60, float sampleRate) : coef(float(std::exp(-6.9 / (std::max(time60, 1e-4f) * sampleRate)))) {}
    float next()
    {
        float v = value;
        value *= coef;
        return v;
    }
};

void renderKick(const Patch& p, const NoteEvent& ev, float sr, uint32_t seed, float* left, float* right,
                int64_t end)
{
    double phase = 0.0;
    Rng noise(seed);
    Svf clickFilter;
    clickFilter.set(3000.0f, 0.2f, sr);
    const float gain = p.level * ev.velocity;
    const float drive = 1.0f + 3.0f * p.drive;
    const double sweepCoef = std::exp(-1.0 / (std::max(p.sweep, 1e-4f) * sr));
    double sweep = 1.0;
    Decay body(p.decayTime, sr), click(0.02f, sr);
    const int64_t attack = int64_t(0.002 * sr), hold = attack + int64_t(p.hold * sr);
    for (int64_t s = ev.start; s < end; ++s) {
        const int64_t n = s - ev.start;
        phase += (p.endHz + (p.startHz - p.endHz) * sweep) / sr;
        sweep *= sweepCoef;
        if (phase >= 1.0) phase -= 1.0;
        float amp = n < attack ? float(n) / float(attack) : (n < hold ? 1.0f : body.next());
        float y = sin2pi(phase) * amp + clickFilter.process(noise.bipolar(), FilterMode::Band) * p.click * click.next();
        y = softClip(y * drive) * gain;
        left[s] += y;
        right[s] += y;
    }
}

void renderSnare(const Patch& p, const NoteEvent& ev, float sr, uint32_t seed, float* left, float* right,
                 int64_t end)
{
    double ph1 = 0.0, ph2 = 0.0;
    Rng noise(seed);
    Svf hp, bp;
    hp.set(1200.0f, 0.1f, sr);
    bp.set(4500.0f, 0.2f, sr);
    const float gain = p.level * ev.velocity;
    Decay shellEnv(0.16f, sr), wireEnv(p.decayTime, sr), bend(0.07f, sr);
    const int64_t attack = int64_t(0.001 * sr);
    for (int64_t s = ev.start; s < end; ++s) {
        const int64_t n = s - ev.start;
        const double b = 1.0 + 0.5 * bend.next();
        ph1 += p.toneHz * b / sr;
        ph2 += p.toneHz * 1.62 * b / sr;
        float shell = (sin2pi(ph1) + 0.6f * sin2pi(ph2)) * shellEnv.next();
        float x = noise.bipolar();
        float wires = (hp.process(x, FilterMode::High) * 0.7f + bp.process(x, FilterMode::Band) * 0.6f) * wireEnv.next();
        float a = n < attack ? float(n) / float(attack) : 1.0f;
        float y = softClip((shell * p.tone + wires * (1.0f - p.tone)) * a * 1.3f) * gain;
        left[s] += y;
        right[s] += y;
    }
}

void renderHat(const Patch& p, const NoteEvent& ev, float sr, uint32_t seed, float* left, float* right,
               int64_t end)
{
    static const double kMetal[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    // Plain squares: the band-pass keeps only their upper partials, where aliasing is as
    // noise-like as the noise they are mixed with.
    double metal[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    Rng noise(seed);
    Svf bp, hp;
    bp.set(p.cutoff, 0.3f, sr);
    hp.set(p.cutoff * 0.7f, 0.1f, sr);
    const float gain = p.level * ev.velocity * 8.0f;
    const double scale = p.toneHz / 205.3 * 1.53 / sr;
    Decay env(p.decayTime, sr);
    const int64_t attack = std::max<int64_t>(1, int64_t(0.0005 * sr));
    for (int64_t s = ev.start; s < end; ++s) {
        const int64_t n = s - ev.start;
        float m = 0.0f;
        for (int i = 0; i < 6; ++i) {
            metal[i] += kMetal[i] * scale;
            if (metal[i] >= 1.0) metal[i] -= 1.0;
            m += metal[i] < 0.5 ? 1.0f : -1.0f;
        }
        float x = m * (1.0f / 6.0f) * p.tone + noise.bipolar() * (1.0f - p.tone);
        float y = hp.process(bp.process(x, FilterMode::Band), FilterMode::High);
        float a = n < attack ? float(n) / float(attack) : 1.0f;
        y *= a * env.next() * gain;
        left[s] += y;
        right[s] += y;
    }
}

void renderClap(const Patch& p, const NoteEvent& ev, float sr, uint32_t seed, float* left, float* right,
                int64_t end)
{
    Rng noise(seed);
    Svf bp, hp;
    bp.set(p.cutoff, 0.35f, sr);
    hp.set(600.0f, 0.1f, sr);
    const float gain = p.level * ev.velocity * 6.0f;
    // Three quick bursts, then the tail.
    const int64_t bursts[3] = {0, int64_t(0.010 * sr), int64_t(0.021 * sr)};
    const int64_t burstLength = int64_t(0.01 * sr), tailStart = int64_t(0.031 * sr);
    Decay burst(0.012f, sr), tail(p.decayTime, sr);
    for (int64_t s = ev.start; s < end; ++s) {
        const int64_t n = s - ev.start;
        for (int64_t b : bursts) {
            if (n == b) burst.value = 1.0f;
        }
        float env = n < tailStart ? (n - bursts[2] < burstLength ? burst.next() : 0.0f) : 0.7f * tail.next();
        float y = hp.process(bp.process(noise.bipolar(), FilterMode::Band), FilterMode::High) * env * gain;
        left[s] += y;
        right[s] += y;
    }
}

void renderNoise(const Patch& p, const NoteEvent& ev, const Curve* cut, float sr, uint32_t seed, float* left,
                 float* right, int64_t end)
{
    Rng na(seed), nb(seed * 7u + 3u);
    Svf fl, fr;
    Adsr amp = p.amp, fenv = p.filterEnv;
    amp.start(sr);
    fenv.start(sr);
    const int64_t noteOff = ev.start + ev.length;
    const float gain = p.level * ev.velocity;
    for (int64_t t = ev.start; t < end; t += kControlBlock) {
        float octaves = p.envAmount * fenv.value;
        if (p.lfoDepth != 0.0f) octaves += p.lfoDepth * float(std::sin(2.0 * kPi * p.lfoRate * double(t) / sr));
        if (cut) octaves += cut->at(double(t) / sr);
        fl.set(p.cutoff * std::pow(2.0f, octaves), p.resonance, sr);
        fr = Svf{fr.ic1, fr.ic2, fl.a1, fl.a2, fl.a3, fl.k};
        const int64_t blockEnd = std::min<int64_t>(t + kControlBlock, end);
        for (int64_t s = t; s < blockEnd; ++s) {
            if (s == noteOff) {
                amp.noteOff();
                fenv.noteOff();
            }
            const float e = amp.next();
            fenv.next();
            if (amp.stage == 2 && e < 1e-3f) return;  // -60 dB: the rest of the tail is inaudible
            const float a = na.bipolar(), b = nb.bipolar();
            const float l = a, r = a + (b - a) * p.spread;
            left[s] += fl.process(l, p.filterMode) * e * gain;
            right[s] += fr.process(r, p.filterMode) * e * gain;
        }
    }
}

// Drums sound their whole decay from the note's start whatever its length; the other
// instruments hold until note-off and then release.
bool isOneShot(InstrumentType type)
{
    return type == InstrumentType::Kick || type == InstrumentType::Snare || type == InstrumentType::Hat ||
           type == InstrumentType::Clap;
}

}  // namespace

int64_t noteTail(const Patch& patch, float sampleRate)
{
    const float seconds = isOneShot(patch.type) ? patch.decayTime * 1.2f + patch.hold + 0.05f
                                                : patch.amp.release * 1.4f + 0.01f;
    return int64_t(seconds * sampleRate);
}

void renderNote(const Patch& patch, const NoteEvent& note, const Curve* cut, float sampleRate, uint32_t seed,
                float* left, float* right, int64_t frames)
{
    if (note.start < 0 || note.start >= frames) return;
    const int64_t held = isOneShot(patch.type) ? 0 : note.length;
    const int64_t end = std::min(frames, note.start + held + noteTail(patch, sampleRate));
    switch (patch.type) {
    case InstrumentType::Synth:
        renderSynth(patch, note, cut, sampleRate, seed, left, right, end);
        break;
    case InstrumentType::Fm:
        renderFm(patch, note, cut, sampleRate, left, right, end);
        break;
    case InstrumentType::Kick:
        renderKick(patch, note, sampleRate, seed, left, right, end);
        break;
    case InstrumentType::Snare:
        renderSnare(patch, note, sampleRate, seed, left, right, end);
        break;
    case InstrumentType::Hat:
        renderHat(patch, note, sampleRate, seed, left, right, end);
        break;
    case InstrumentType::Clap:
        renderClap(patch, note, sampleRate, seed, left, right, end);
        break;
    case InstrumentType::Noise:
        renderNoise(patch, note, cut, sampleRate, seed, left, right, end);
        break;
    }
}

}  // namespace synth
