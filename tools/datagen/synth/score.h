// The score: a readable text description of a piece (instruments, tracks, patterns, and an
// arrangement of sections that doubles as the tempo map), its parser, and the expansion of the
// arrangement into timed note events per track.
//
// Format (one statement per line, a word starting with '#' opens a comment):
//   rate 44100 | length 197.5 | seed 7
//   instrument NAME synth|fm|kick|snare|hat|clap|noise   ...  end   (lines of "key value" pairs,
//       the Patch fields: wave1 saw, unison 5, cutoff 1300, attack 0.9, f-decay 2.5, hold 0.03 ...)
//   track NAME INSTRUMENT key value ...      gain pan reverb delay duck range voices root gate tie swing humanize
//   pattern NAME [steps N] ... end           rows of step tokens, N steps per bar (default 16)
//   section NAME at SECONDS bars N [key ...] ... end
//       chords Am9 Fmaj7 C,G ...             one chord per bar; "X,Y" splits a bar
//       play TRACK ITEM ...                  ITEM = PATTERN[+-semitones][*repeat] or _ (empty bar);
//                                            a list shorter than the section repeats to fill it
//       ramp TRACK gain|cut|reverb|delay FROM TO [bars A B]
//       set TRACK gain|cut|reverb|delay VALUE [bar A]
//   stop SECONDS                             end of the last section
//   reverb size|damping|width|predelay|lowcut|highcut|level V ...
//   delay time SECONDS | beats B (follows the tempo map) | feedback|tone|level V ...
//   master ceiling DB | loudness LUFS | fade-in SECONDS | fade-out FROM TO
//   sidechain track NAME attack S release S  (that track's notes duck tracks with "duck")
// Step tokens: . rest, - hold, x X o drum hits, note names (A4, C#5, Bb3), r[+-N] chord root
// in the track's bass register, cN[+-M] N-th tone of the track's voiced chord, * whole chord;
// a trailing ! or ? makes a note loud or soft.
// Sections are the tempo map: a section's bars divide its span evenly, so every section
// starts on a downbeat by construction.
#pragma once
#include "datagen/synth/effects.h"
#include "datagen/synth/instrument.h"

#include <string>
#include <vector>

namespace synth {

struct Chord {
    std::string symbol;
    int root = 0;               // pitch class 0 = C
    int bass = 0;               // pitch class of the bass (slash chords)
    std::vector<int> intervals; // semitones above the root, ascending, starting with 0
};

// Parses "Am9", "F#m7b5", "C/E", ... Returns 0 on success, 1 when the symbol is unknown.
int parseChord(const std::string& symbol, Chord& chord);
// Parses "A4", "C#5", "Bb3" (A4 = 69). Returns 0 on success, 1 otherwise.
int parseNoteName(const std::string& text, int& midi);
// Voices chord with `voices` notes inside [low, high], moving as little as possible from
// previous (empty for the first chord).
std::vector<int> voiceChord(const Chord& chord, int voices, int low, int high, const std::vector<int>& previous);

enum class StepKind { Rest, Hold, Hit, Note, Root, ChordTone, WholeChord };

struct Step {
    StepKind kind = StepKind::Rest;
    int value = 0;              // Note: MIDI note; Root: offset; ChordTone: index (1-based)
    int offset = 0;             // ChordTone: semitone offset
    float velocity = 0.8f;
};

struct Pattern {
    std::string name;
    int stepsPerBar = 16;
    int bars = 0;
    std::vector<Step> steps;
    int line = 0;
};

struct InstrumentDef {
    std::string name;
    Patch patch;
};

struct TrackDef {
    std::string name;
    int instrument = -1;
    float gain = 0.0f;          // dB
    float pan = 0.0f;           // -1 left .. 1 right
    float reverb = 0.0f, delay = 0.0f;  // send levels
    float duck = 0.0f;          // side-chain depth 0..1
    int low = 48, high = 72;    // voicing range for chords
    int voices = 4;
    int root = 36;              // lowest note of the chord-root register
    float gate = 0.9f;          // fraction of a note's steps it sounds
    bool tie = false;           // join repeated notes that touch into one
    float swing = 0.0f;         // delay of every second 16th, in steps
    float humanize = 0.0f;      // 0..1: how much velocities wander from note to note (fixed pattern)
};

enum class Param { Gain, Cut, Reverb, Delay };

struct Automation {
    int track = -1;
    Param param = Param::Gain;
    float from = 0.0f, to = 0.0f;
    int barFrom = 0, barTo = 0; // section bars, 0-based, [barFrom, barTo)
    bool step = false;          // set: jump to `from` at barFrom
};

struct Placement {
    int track = -1;
    int pattern = -1;           // -1 = empty bar
    int bar = 0;                // first bar within the section
    int transpose = 0;
};

struct Section {
    std::string name;
    std::string key;
    double start = 0.0;
    int bars = 1;
    std::vector<std::vector<Chord>> chords;  // per bar (may be empty: no harmony)
    std::vector<Placement> placements;
    std::vector<Automation> automation;
    int line = 0;
};

struct Score {
    float sampleRate = 44100.0f;
    double length = 10.0;       // seconds of audio
    double stop = 10.0;         // end of the last section
    uint32_t seed = 1;
    std::vector<InstrumentDef> instruments;
    std::vector<TrackDef> tracks;
    std::vector<Pattern> patterns;
    std::vector<Section> sections;
    ReverbSettings reverb;
    DelaySettings delay;
    float ceilingDb = -1.0f;
    float loudness = -14.0f;    // LUFS target
    float fadeInEnd = 0.0f;     // master fade-in from 0 s
    float fadeOutStart = -1.0f, fadeOutEnd = -1.0f;
    int sidechain = -1;         // track whose hits duck the others
    float duckAttack = 0.004f, duckRelease = 0.22f;
};

// Parses the score text. On failure returns 1 and sets error to "line N: what is wrong".
int parseScore(const std::string& text, Score& score, std::string& error);

// Tempo map: time in seconds of a position measured in bars from the start of section s.
double barTime(const Score& score, size_t section, double bars);
// Seconds per beat (4 beats to the bar) of section s.
double beatLength(const Score& score, size_t section);

struct TrackEvents {
    std::vector<NoteEvent> notes;
    Curve gain, cut, reverb, delay;  // automation (gain in dB, cut in octaves)
};
// Expands the arrangement into frame-exact note events and automation for every track.
std::vector<TrackEvents> expandScore(const Score& score);

}  // namespace synth
