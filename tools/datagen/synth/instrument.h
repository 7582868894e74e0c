// Instruments: a Patch describes a sound; renderNote adds one note of it into a stereo buffer.
// Notes are rendered one at a time from their start to the end of their release tail, so a
// track is simply the sum of its notes (no voice stealing, no shared state between notes).
#pragma once
#include "datagen/synth/dsp.h"

#include <cstdint>
#include <vector>

namespace synth {

enum class InstrumentType { Synth, Fm, Kick, Snare, Hat, Clap, Noise };

// A piecewise-linear function of time (seconds): the fallback before its first point, its
// last value after the last one. Used for automation (gain, cutoff, sends).
struct Curve {
    std::vector<double> times;
    std::vector<float> values;
    float fallback = 0.0f;  // value before the first point (the track's own setting)

    void add(double time, float value);
    float at(double time) const;
    bool empty() const { return times.empty(); }
};

struct Patch {
    InstrumentType type = InstrumentType::Synth;
    float level = 1.0f;  // linear output gain
    // Subtractive voice: two oscillators (each with unison copies), sub sine, noise.
    Wave wave1 = Wave::Saw, wave2 = Wave::Saw;
    float mix2 = 0.0f;         // level of oscillator 2 relative to oscillator 1
    float semi2 = 0.0f;        // oscillator 2 offset in semitones (fractional = detune)
    float pulseWidth = 0.5f;
    int unison = 1;            // copies per oscillator
    float detune = 0.0f;       // total unison spread in semitones
    float spread = 0.0f;       // stereo width of the unison copies, 0..1
    float sub = 0.0f, noise = 0.0f;
    FilterMode filterMode = FilterMode::Low;
    float cutoff = 18000.0f;   // Hz
    float resonance = 0.1f;
    float envAmount = 0.0f;    // filter envelope depth in octaves
    float keytrack = 0.0f;     // 1 = cutoff follows the note exactly
    float lfoRate = 0.0f, lfoDepth = 0.0f;  // cutoff LFO in Hz / octaves
    float vibratoRate = 5.0f, vibrato = 0.0f;  // pitch LFO in Hz / semitones
    float vibratoDelay = 0.3f; // seconds before the vibrato fades in
    float drive = 0.0f;        // 0 clean .. 1 heavy saturation
    float velocityToCutoff = 0.0f;  // octaves at full velocity
    Adsr amp{0.005f, 0.3f, 0.7f, 0.3f};
    Adsr filterEnv{0.005f, 0.3f, 0.0f, 0.3f};
    // FM voice: sine carrier phase-modulated by a sine at ratio × the note frequency.
    float ratio = 1.0f, index = 1.0f, indexDecay = 0.5f, indexSustain = 0.2f, feedback = 0.0f;
    float ratio2 = 0.0f, index2 = 0.0f;  // optional second modulator (0 = off)
    // Drums.
    float startHz = 160.0f, endHz = 48.0f, sweep = 0.04f;  // kick pitch sweep
    float decayTime = 0.45f;   // main body decay (seconds to -60 dB)
    float hold = 0.0f;         // kick: seconds at full level before the decay
    float click = 0.3f;        // transient level
    float tone = 0.5f;         // drums: tone/noise balance, 0..1
    float toneHz = 190.0f;     // snare shell tone
};

struct NoteEvent {
    int64_t start = 0;       // first frame
    int64_t length = 0;      // frames until note-off
    float note = 60.0f;      // MIDI note number (drums ignore it)
    float velocity = 0.8f;   // 0..1
};

// Adds one note into left/right (frames long). cut is the track's cutoff automation in octaves
// (may be null); seed makes the unison phases and noise of this note reproducible.
void renderNote(const Patch& patch, const NoteEvent& note, const Curve* cut, float sampleRate,
                uint32_t seed, float* left, float* right, int64_t frames);

// Frames a note occupies including its tail (used to size buffers and skip work).
int64_t noteTail(const Patch& patch, float sampleRate);

}  // namespace synth
