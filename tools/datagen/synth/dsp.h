// The synthesiser's building blocks: band-limited oscillators, envelopes, filters and small
// helpers. Everything here is a plain value type that works one sample at a time, holds no
// heap memory and is deterministic for a given seed, so a voice can be rendered on any thread.
#pragma once
#include <cmath>
#include <cstdint>

namespace synth {

constexpr double kPi = 3.14159265358979323846;

inline float dbToGain(float db) { return std::pow(10.0f, db / 20.0f); }
inline float gainToDb(float gain) { return 20.0f * std::log10(gain > 1e-12f ? gain : 1e-12f); }
inline double midiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Cheap smooth saturation: odd, monotonic, |x| < 1, close to tanh for small x.
inline float softClip(float x)
{
    if (x > 3.0f) return 1.0f;
    if (x < -3.0f) return -1.0f;
    return x * (27.0f + x * x) / (27.0f + 9.0f * x * x);
}

// sin(2*pi*phase) for any phase, accurate to about 1e-7: reduced to a quarter period and
// evaluated as a short odd polynomial (much cheaper than std::sin in the voice loops).
inline float sin2pi(double phase)
{
    double x = phase - std::floor(phase + 0.5);  // [-0.5, 0.5)
    if (x > 0.25) x = 0.5 - x;
    else if (x < -0.25) x = -0.5 - x;
    const double y = 2.0 * kPi * x, y2 = y * y;
    return float(y * (1.0 + y2 * (-1.0 / 6 + y2 * (1.0 / 120 + y2 * (-1.0 / 5040 + y2 * (1.0 / 362880 - y2 / 39916800.0))))));
}

// Small fast generator (xorshift32); the seed picks the sequence.
struct Rng {
    uint32_t state;
    explicit Rng(uint32_t seed = 0x9E3779B9u) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [0, 1).
    float uniform() { return float(next() >> 8) * (1.0f / 16777216.0f); }
    // Uniform in [-1, 1).
    float bipolar() { return uniform() * 2.0f - 1.0f; }
};

enum class Wave { Sine, Saw, Square, Pulse, Triangle, Noise };

// PolyBLEP correction for a unit step at phase 0, t = phase in [0, 1), dt = increment.
inline double polyBlep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

// Band-limited oscillator (PolyBLEP for the discontinuities of saw and pulse; the triangle is
// the leaky integral of the band-limited square). Output is in [-1, 1] for a unit amplitude.
struct Oscillator {
    double phase = 0.0;
    double triState = 0.0;
    Rng noise{12345};

    float next(Wave wave, double dt, double pulseWidth = 0.5)
    {
        double out = 0.0;
        switch (wave) {
        case Wave::Sine:
            out = sin2pi(phase);
            break;
        case Wave::Saw:
            out = 2.0 * phase - 1.0 - polyBlep(phase, dt);
            break;
        case Wave::Square:
        case Wave::Pulse:
        case Wave::Triangle: {
            double pw = wave == Wave::Pulse ? pulseWidth : 0.5;
            out = phase < pw ? 1.0 : -1.0;
            out += polyBlep(phase, dt);
            double t2 = phase - pw;
            if (t2 < 0.0) t2 += 1.0;
            out -= polyBlep(t2, dt);
            if (wave == Wave::Triangle) {
                triState = triState * (1.0 - 0.5 * dt) + 4.0 * dt * out;
                out = triState;
            }
            break;
        }
        case Wave::Noise:
            out = noise.bipolar();
            break;
        }
        phase += dt;
        if (phase >= 1.0) phase -= 1.0;
        return float(out);
    }
};

// ADSR with a linear attack and exponential decay and release. Times in seconds; the decay
// and release times are the time to fall by 60 dB. gate() false starts the release.
struct Adsr {
    float attack = 0.005f, decay = 0.3f, sustain = 0.7f, release = 0.3f;
    float value = 0.0f;
    int stage = 0;  // 0 attack, 1 decay/sustain, 2 release
    float attackStep = 1.0f, decayCoef = 0.0f, releaseCoef = 0.0f;

    void start(float sampleRate)
    {
        attackStep = attack > 0.0f ? 1.0f / (attack * sampleRate) : 1.0f;
        decayCoef = std::exp(-6.9f / (std::fmax(decay, 0.0f) * sampleRate + 1.0f));
        releaseCoef = std::exp(-6.9f / (std::fmax(release, 0.0f) * sampleRate + 1.0f));
        stage = 0;
        value = 0.0f;
    }
    void noteOff() { stage = 2; }
    float next()
    {
        if (stage == 0) {
            value += attackStep;
            if (value >= 1.0f) {
                value = 1.0f;
                stage = 1;
            }
        } else if (stage == 1) {
            value = sustain + (value - sustain) * decayCoef;
        } else {
            value *= releaseCoef;
        }
        return value;
    }
};

enum class FilterMode { Low, Band, High };

// Zero-delay-feedback state-variable filter (trapezoidal integration): stable under fast
// modulation, resonance 0 (gentle) .. 1 (near self-oscillation).
struct Svf {
    float ic1 = 0.0f, ic2 = 0.0f;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, k = 2.0f;

    void set(float cutoffHz, float resonance, float sampleRate)
    {
        float fc = cutoffHz;
        if (fc < 10.0f) fc = 10.0f;
        if (fc > sampleRate * 0.45f) fc = sampleRate * 0.45f;
        float g = float(std::tan(kPi * fc / sampleRate));
        float r = resonance < 0.0f ? 0.0f : (resonance > 0.98f ? 0.98f : resonance);
        k = 2.0f - 2.0f * r;
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    float process(float x, FilterMode mode)
    {
        float v3 = x - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        if (mode == FilterMode::Low) return v2;
        if (mode == FilterMode::Band) return v1;
        return x - k * v1 - v2;
    }
};

// One-pole smoother / low-pass.
struct OnePole {
    float z = 0.0f, a = 0.0f;
    void setCutoff(float hz, float sampleRate) { a = std::exp(-2.0f * float(kPi) * hz / sampleRate); }
    float lowpass(float x) { return z = x + (z - x) * a; }
    float highpass(float x) { return x - lowpass(x); }
};

// Direct-form-I biquad with double state (used for metering, where precision matters).
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double process(double x)
    {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

}  // namespace synth
