// The score language: parsing and its error messages, chords and voicing, the tempo map of
// the real soundtrack, and the expansion of patterns into frame-exact notes.
#include "datagen/synth/score.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

namespace {

using namespace synth;

std::string readScore()
{
    std::ifstream in(std::string(CORE_SOURCE_DIR) + "/data/music/drovel-contemplation.score", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char* const kSmall = R"(rate 8000
length 12
instrument beep synth
  wave1 square cutoff 400
end
instrument drum kick
end
track bass beep root E2 gate 1 voices 3
track keys beep range C3 C5 voices 3 tie 1 gate 1
track kick drum
pattern four
  x . . . x . . . x . . . x . . .
end
pattern roots
  r - - - r+7 - - - . . . . r+12 . . .
end
pattern hold
  * - - - - - - - - - - - - - - -
end
pattern tune
  A4 - B4 . c1 c2 c3 c1+12 . . . . . . . .
end
section a at 0 bars 2
  chords Am F,G
  play kick four
  play bass roots
  play keys hold
end
section b at 4 bars 3
  chords C
  play bass tune+2 _
end
stop 10
)";

TEST(Score, ParsesASmallScoreAndExpandsItExactly)
{
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(kSmall, score, error), 0) << error;
    ASSERT_EQ(score.sections.size(), 2u);
    std::vector<TrackEvents> events = expandScore(score);

    // Section a: 2 bars in 4 s, 16 steps of 0.125 s (1000 frames); kick on every beat, looped over both bars.
    const auto& kick = events[2].notes;
    ASSERT_EQ(kick.size(), 8u);
    for (size_t i = 0; i < kick.size(); ++i) EXPECT_EQ(kick[i].start, int64_t(i) * 4000);
    EXPECT_FLOAT_EQ(kick[4].velocity, 0.8f);

    // Bass: root of Am in the register from E2 is A2 (45); holds lengthen the note.
    const auto& bass = events[0].notes;
    ASSERT_GE(bass.size(), 6u);
    EXPECT_EQ(bass[0].start, 0);
    EXPECT_EQ(bass[0].length, 4000);
    EXPECT_FLOAT_EQ(bass[0].note, 45.0f);
    EXPECT_FLOAT_EQ(bass[1].note, 52.0f);   // r+7
    EXPECT_FLOAT_EQ(bass[2].note, 57.0f);   // r+12
    EXPECT_EQ(bass[2].length, 1000);
    // Second bar: F for its first half, G for the second; r sits on F2 (41 -> above E2) and G2.
    EXPECT_FLOAT_EQ(bass[3].note, 41.0f);
    EXPECT_FLOAT_EQ(bass[5].note, 43.0f + 12.0f);

    // Section b: bar = 2 s; the melody transposed by +2; chord tones of C in C3..C5.
    std::vector<NoteEvent> b;
    for (const NoteEvent& ev : bass) {
        if (ev.start >= 32000) b.push_back(ev);
    }
    ASSERT_EQ(b.size(), 12u);  // "tune+2 _" is two bars long and repeats into the third bar
    EXPECT_FLOAT_EQ(b[0].note, 71.0f);
    EXPECT_EQ(b[0].length, 2000);
    EXPECT_FLOAT_EQ(b[1].note, 73.0f);
    std::set<int> classes = {int(b[2].note - 2) % 12, int(b[3].note - 2) % 12, int(b[4].note - 2) % 12};
    EXPECT_EQ(classes, (std::set<int>{0, 4, 7}));
    EXPECT_FLOAT_EQ(b[5].note, b[2].note + 12.0f);
    EXPECT_EQ(b[0].start, 32000);
    EXPECT_EQ(b[5].start, 32000 + 7 * 1000);
    EXPECT_EQ(b[6].start, 64000);
}

TEST(Score, TiedChordNotesJoinAcrossBars)
{
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(kSmall, score, error), 0) << error;
    std::vector<TrackEvents> events = expandScore(score);
    // Am (2 s) then F,G: the pad re-strikes only notes that change; a note common to Am and F
    // (A or C) carries on from 0 s through the F half-bar.
    bool carried = false;
    for (const NoteEvent& ev : events[1].notes) {
        if (ev.start == 0 && ev.length >= 24000) carried = true;
    }
    EXPECT_TRUE(carried);
}

TEST(Score, AutomationRampsStepsAndHolds)
{
    const char* text = R"(rate 8000
length 12
instrument beep synth
end
track a beep reverb 0.3
section one at 0 bars 2
  ramp a gain -12 0 bars 2 2
end
section two at 4 bars 2
  set a cut -1
  set a reverb 0.5 bar 2
end
stop 8
)";
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(text, score, error), 0) << error;
    const TrackEvents te = expandScore(score)[0];
    EXPECT_FLOAT_EQ(te.gain.at(1.0), 0.0f);    // the track's own level until the ramp starts
    EXPECT_FLOAT_EQ(te.gain.at(2.0), -12.0f);
    EXPECT_FLOAT_EQ(te.gain.at(3.0), -6.0f);
    EXPECT_FLOAT_EQ(te.gain.at(7.0), 0.0f);    // held after its last point
    EXPECT_FLOAT_EQ(te.cut.at(3.9), 0.0f);
    EXPECT_FLOAT_EQ(te.cut.at(4.0), -1.0f);
    EXPECT_FLOAT_EQ(te.reverb.at(5.9), 0.3f);
    EXPECT_FLOAT_EQ(te.reverb.at(6.0), 0.5f);
    EXPECT_FLOAT_EQ(te.delay.at(6.0), 0.0f);
}

TEST(Score, HumanizedVelocitiesWanderWithinBoundsAndRepeat)
{
    std::string text = kSmall;
    text.replace(text.find("track kick drum"), 15, "track kick drum humanize 1");
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(text, score, error), 0) << error;
    const auto first = expandScore(score)[2].notes;
    const auto again = expandScore(score)[2].notes;
    std::set<float> seen;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_GE(first[i].velocity, 0.8f * 0.85f - 1e-6f);
        EXPECT_LE(first[i].velocity, 0.8f * 1.15f + 1e-6f);
        EXPECT_EQ(first[i].velocity, again[i].velocity);
        seen.insert(first[i].velocity);
    }
    EXPECT_GT(seen.size(), first.size() / 2);
}

TEST(Score, MalformedScoresNameTheLine)
{
    struct Case {
        const char* text;
        int line;
        const char* fragment;
    };
    const Case cases[] = {
        {"rate 44100\nfrobnicate 3\n", 2, "unknown statement"},
        {"instrument a synth\n  cutoff lots\nend\n", 2, "not a number"},
        {"instrument a synth\n  wobble 3\nend\n", 2, "unknown instrument setting"},
        {"instrument a synth\n  cutoff 3\n", 1, "no 'end'"},
        {"instrument a tuba\nend\n", 1, "unknown instrument type"},
        {"track t nothing\n", 1, "unknown instrument"},
        {"pattern p\n  x . . .\nend\n", 3, "not whole bars"},
        {"pattern p\n  x . Q9 .\nend\n", 2, "unknown step"},
        {"pattern p steps 4\n  - x . .\nend\n", 1, "starts with a hold"},
        {"instrument a kick\nend\ntrack t a\npattern p steps 1\n x\nend\nsection s at 0 bars 2\n  play t p*3\nend\nstop 4\n", 8,
         "3 bars of patterns in a 2-bar section"},
        {"section s at 0 bars 2\n  chords Am Xq7\nend\nstop 4\n", 2, "unknown chord"},
        {"section s at 0 bars 2\n  ramp nobody gain 0 1\nend\nstop 4\n", 2, "unknown track"},
        {"section s at 0 bars 2\nend\nsection t at 0 bars 2\nend\nstop 4\n", 3, "does not start after"},
        {"section s at 0 bars 2\nend\n", 2, "no 'stop'"},
        {"length 5\nsection s at 0 bars 2\nend\nstop 6\n", 4, "after the end of the piece"},
        {"delay time 9\n", 1, "delay time"},
        {"reverb size 0.5\nreverb damping 7\n", 2, "damping"},
        {"instrument a synth\n  release -1\nend\n", 3, "outside 0..60 s"},
        {"rate 10\n", 1, "rate must be"},
        {"instrument a kick\nend\ntrack t a\npattern p steps 1\n x\nend\nsection s at 0 bars 2\n  play t p+99\nend\nstop 4\n", 8,
         "beyond four octaves"},
    };
    for (const Case& c : cases) {
        Score score;
        std::string error;
        EXPECT_EQ(parseScore(c.text, score, error), 1) << c.text;
        EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ":", 0), 0u) << c.text << " -> " << error;
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(Score, ChordSymbols)
{
    Chord c;
    ASSERT_EQ(parseChord("Am9", c), 0);
    EXPECT_EQ(c.root, 9);
    EXPECT_EQ(c.intervals, (std::vector<int>{0, 3, 7, 10, 14}));
    ASSERT_EQ(parseChord("F#m7b5", c), 0);
    EXPECT_EQ(c.root, 6);
    EXPECT_EQ(c.intervals, (std::vector<int>{0, 3, 6, 10}));
    ASSERT_EQ(parseChord("Am/G", c), 0);
    EXPECT_EQ(c.bass, 7);
    ASSERT_EQ(parseChord("Bb", c), 0);
    EXPECT_EQ(c.root, 10);
    EXPECT_EQ(parseChord("H7", c), 1);
    EXPECT_EQ(parseChord("Cmaj13", c), 1);
    EXPECT_EQ(parseChord("C/X", c), 1);
    int midi = 0;
    ASSERT_EQ(parseNoteName("A4", midi), 0);
    EXPECT_EQ(midi, 69);
    ASSERT_EQ(parseNoteName("C#5", midi), 0);
    EXPECT_EQ(midi, 73);
    ASSERT_EQ(parseNoteName("Bb-1", midi), 0);
    EXPECT_EQ(midi, 10);
    EXPECT_EQ(parseNoteName("A", midi), 1);
    EXPECT_EQ(parseNoteName("A44", midi), 1);
}

TEST(Score, VoiceLeadingMovesLittleAndKeepsTheChord)
{
    const char* progression[] = {"Am9", "Fmaj7", "Cmaj7", "G", "Am9", "Dm9", "E7sus4", "E7"};
    std::vector<int> previous;
    for (const char* symbol : progression) {
        Chord chord;
        ASSERT_EQ(parseChord(symbol, chord), 0);
        std::vector<int> notes = voiceChord(chord, 4, 48, 72, previous);
        ASSERT_EQ(notes.size(), 4u);
        std::set<int> wanted;
        for (int i : chord.intervals) wanted.insert((chord.root + i) % 12);
        for (int n : notes) {
            EXPECT_GE(n, 48);
            EXPECT_LE(n, 72);
            EXPECT_TRUE(wanted.count(n % 12)) << symbol << " has a stray note " << n;
        }
        // The third (or the suspension) is always there: the chord keeps its colour.
        bool colour = false;
        for (int n : notes) {
            int i = (n - chord.root + 120) % 12;
            colour = colour || i == 3 || i == 4 || i == 5;
        }
        EXPECT_TRUE(colour) << symbol;
        if (!previous.empty()) {
            int moved = 0;
            for (size_t i = 0; i < 4; ++i) {
                moved += std::abs(notes[i] - previous[i]);
                EXPECT_LE(std::abs(notes[i] - previous[i]), 5) << symbol << " voice " << i;
            }
            EXPECT_LE(moved, 10) << symbol;
        }
        previous = notes;
    }
}

TEST(Score, VoicingNeverDoublesIntoTheSameNote)
{
    // A range with room for only one B flat: the doubled voice must go elsewhere.
    Chord bb;
    ASSERT_EQ(parseChord("Bb", bb), 0);
    for (int low = 48; low < 60; ++low) {
        std::vector<int> notes = voiceChord(bb, 4, low, low + 19, {});
        ASSERT_EQ(notes.size(), 4u) << low;
        for (size_t i = 1; i < notes.size(); ++i) EXPECT_LT(notes[i - 1], notes[i]) << low;
    }
    // More tones than voices: the fifth goes first, the colour stays.
    Chord m9;
    ASSERT_EQ(parseChord("Dm9", m9), 0);
    std::vector<int> three = voiceChord(m9, 3, 50, 74, {});
    std::set<int> classes;
    for (int n : three) classes.insert(n % 12);
    EXPECT_EQ(classes.count(9), 0u);  // A, the fifth of D
    EXPECT_EQ(classes.count(5), 1u);  // F, the minor third
}

// Every downbeat of the piece, in seconds, including the stop time.
std::vector<double> downbeats(const Score& score)
{
    std::vector<double> times;
    for (size_t s = 0; s < score.sections.size(); ++s) {
        for (int b = 0; b < score.sections[s].bars; ++b) times.push_back(barTime(score, s, b));
    }
    times.push_back(score.stop);
    return times;
}

TEST(Score, SoundtrackPartChangesLandOnDownbeats)
{
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(readScore(), score, error), 0) << error;
    EXPECT_EQ(score.sampleRate, 44100.0f);
    EXPECT_DOUBLE_EQ(score.length, 197.5);
    EXPECT_DOUBLE_EQ(score.stop, 197.0);
    const std::vector<double> beats = downbeats(score);
    // Where the demo's parts start or hand over, including the greetings at 173 s.
    for (double t : {0.0, 18.0, 39.0, 57.0, 77.0, 96.0, 115.0, 134.0, 153.0, 173.0, 188.0, 197.0}) {
        bool found = false;
        for (double b : beats) found = found || std::fabs(b - t) < 1e-6;
        EXPECT_TRUE(found) << t << " s is not a downbeat";
    }
    for (size_t s = 0; s < score.sections.size(); ++s) {
        const double bpm = 60.0 / beatLength(score, s);
        EXPECT_GT(bpm, 100.0) << score.sections[s].name;
        EXPECT_LT(bpm, 145.0) << score.sections[s].name;
    }
    // Every section with a beat has a kick on every beat (fills may add more).
    std::vector<TrackEvents> events = expandScore(score);
    ASSERT_GE(score.sidechain, 0);
    const auto& kicks = events[size_t(score.sidechain)].notes;
    for (size_t s = 1; s + 1 < score.sections.size(); ++s) {
        for (int beat = 0; beat < score.sections[s].bars * 4; ++beat) {
            const int64_t at = int64_t(std::llround(barTime(score, s, beat / 4.0) * 44100.0));
            bool hit = false;
            for (const NoteEvent& k : kicks) hit = hit || k.start == at;
            EXPECT_TRUE(hit) << score.sections[s].name << " beat " << beat;
        }
    }
}

}  // namespace
