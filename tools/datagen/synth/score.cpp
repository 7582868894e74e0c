#include "datagen/synth/score.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

namespace synth {

// ---------------------------------------------------------------------------------------------
// Notes and chords

int parseNoteName(const std::string& text, int& midi)
{
    static const int kLetters[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') return 1;
    int pc = kLetters[text[0] - 'A'];
    size_t i = 1;
    if (text[i] == '#') {
        ++pc;
        ++i;
    } else if (text[i] == 'b') {
        --pc;
        ++i;
    }
    if (i >= text.size()) return 1;
    bool negative = text[i] == '-';
    if (negative) ++i;
    if (i + 1 != text.size() || text[i] < '0' || text[i] > '9') return 1;
    int octave = (text[i] - '0') * (negative ? -1 : 1);
    midi = (octave + 1) * 12 + pc;
    return 0;
}

namespace {

int pitchClass(const std::string& text, size_t& i)
{
    static const int kLetters[7] = {9, 11, 0, 2, 4, 5, 7};
    if (i >= text.size() || text[i] < 'A' || text[i] > 'G') return -1;
    int pc = kLetters[text[i] - 'A'];
    ++i;
    if (i < text.size() && text[i] == '#') {
        ++pc;
        ++i;
    } else if (i < text.size() && text[i] == 'b') {
        --pc;
        ++i;
    }
    return (pc + 12) % 12;
}

}  // namespace

int parseChord(const std::string& symbol, Chord& chord)
{
    static const std::map<std::string, std::vector<int>> kQualities = {
        {"", {0, 4, 7}},           {"m", {0, 3, 7}},           {"5", {0, 7}},
        {"7", {0, 4, 7, 10}},      {"maj7", {0, 4, 7, 11}},    {"m7", {0, 3, 7, 10}},
        {"6", {0, 4, 7, 9}},       {"m6", {0, 3, 7, 9}},       {"9", {0, 4, 7, 10, 14}},
        {"maj9", {0, 4, 7, 11, 14}}, {"m9", {0, 3, 7, 10, 14}}, {"add9", {0, 4, 7, 14}},
        {"madd9", {0, 3, 7, 14}},  {"sus2", {0, 2, 7}},        {"sus4", {0, 5, 7}},
        {"7sus4", {0, 5, 7, 10}},  {"dim", {0, 3, 6}},         {"m7b5", {0, 3, 6, 10}},
        {"aug", {0, 4, 8}},        {"m11", {0, 3, 7, 10, 14, 17}}, {"6add9", {0, 4, 7, 9, 14}},
    };
    size_t i = 0;
    int root = pitchClass(symbol, i);
    if (root < 0) return 1;
    size_t slash = symbol.find('/', i);
    std::string quality = symbol.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
    auto found = kQualities.find(quality);
    if (found == kQualities.end()) return 1;
    int bass = root;
    if (slash != std::string::npos) {
        size_t j = slash + 1;
        bass = pitchClass(symbol, j);
        if (bass < 0 || j != symbol.size()) return 1;
    }
    chord.symbol = symbol;
    chord.root = root;
    chord.bass = bass;
    chord.intervals = found->second;
    return 0;
}

std::vector<int> voiceChord(const Chord& chord, int voices, int low, int high, const std::vector<int>& previous)
{
    // Pitch classes to place: drop the fifth, then upper extensions, when there are too many;
    // double the root, then the fifth, when there are too few.
    std::vector<int> intervals = chord.intervals;
    while (int(intervals.size()) > voices) {
        auto fifth = std::find(intervals.begin(), intervals.end(), 7);
        if (fifth != intervals.end() && intervals.size() > 3) {
            intervals.erase(fifth);
        } else {
            intervals.pop_back();
        }
    }
    // Every placement of each class inside the range.
    auto placements = [&](int pc) {
        std::vector<int> notes;
        for (int n = low; n <= high; ++n) {
            if ((n % 12 + 12) % 12 == pc) notes.push_back(n);
        }
        if (notes.empty()) notes.push_back(low + ((pc - low) % 12 + 12) % 12);
        return notes;
    };
    std::vector<int> classes;
    for (int v : intervals) classes.push_back((chord.root + v) % 12);
    // Doubling: root, then fifth, then the others, each only where the range has room for
    // another copy of it.
    for (size_t k = 0; int(classes.size()) < voices && k < 4 * intervals.size(); ++k) {
        int pc = classes[k % intervals.size()];
        if (std::count(classes.begin(), classes.end(), pc) < int(placements(pc).size())) classes.push_back(pc);
    }
    std::vector<std::vector<int>> options(classes.size());
    for (size_t k = 0; k < classes.size(); ++k) options[k] = placements(classes[k]);
    double centre = 0.5 * (low + high);
    std::vector<int> best, current(classes.size());
    double bestCost = 1e30;
    std::function<void(size_t)> search = [&](size_t k) {
        if (k == classes.size()) {
            std::vector<int> sorted = current;
            std::sort(sorted.begin(), sorted.end());
            if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return;
            double cost = 0.0;
            int span = sorted.back() - sorted.front();
            if (span > 19) cost += 2.0 * (span - 19);
            for (size_t i = 1; i < sorted.size(); ++i) {
                int gap = sorted[i] - sorted[i - 1];
                if (gap < 5 && sorted[i - 1] < 52) cost += 3.0;  // muddy close intervals low down
                if (gap == 1) cost += 5.0;                        // clusters: keep them rare
                if (gap == 2) cost += 1.5;
            }
            if (previous.size() == sorted.size()) {
                for (size_t i = 0; i < sorted.size(); ++i) cost += std::abs(sorted[i] - previous[i]);
            } else {
                double mean = 0.0;
                for (int n : sorted) mean += n;
                cost += std::fabs(mean / double(sorted.size()) - centre);
            }
            if (cost < bestCost) {
                bestCost = cost;
                best = sorted;
            }
            return;
        }
        for (int n : options[k]) {
            current[k] = n;
            search(k + 1);
        }
    };
    search(0);
    if (best.empty()) {
        for (size_t k = 0; k < classes.size(); ++k) best.push_back(options[k][0] + 12 * int(k / 12));
        std::sort(best.begin(), best.end());
    }
    return best;
}

// ---------------------------------------------------------------------------------------------
// Parser

namespace {

struct Line {
    int number = 0;
    std::vector<std::string> words;
};

struct Parser {
    Score& score;
    std::string& error;
    std::vector<Line> lines;
    size_t at = 0;

    int fail(int line, const std::string& message)
    {
        error = "line " + std::to_string(line) + ": " + message;
        return 1;
    }

    static bool toFloat(const std::string& text, float& value)
    {
        if (text.empty()) return false;
        char* end = nullptr;
        value = std::strtof(text.c_str(), &end);
        return end && *end == '\0' && std::isfinite(value);
    }
    static bool toInt(const std::string& text, int& value)
    {
        if (text.empty()) return false;
        char* end = nullptr;
        long v = std::strtol(text.c_str(), &end, 10);
        if (!end || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
        value = int(v);
        return true;
    }

    int number(const Line& line, size_t index, float& value)
    {
        if (index >= line.words.size()) return fail(line.number, "missing value after '" + line.words[index - 1] + "'");
        if (!toFloat(line.words[index], value)) return fail(line.number, "'" + line.words[index] + "' is not a number");
        return 0;
    }
    int integer(const Line& line, size_t index, int& value)
    {
        if (index >= line.words.size()) return fail(line.number, "missing value after '" + line.words[index - 1] + "'");
        if (!toInt(line.words[index], value)) return fail(line.number, "'" + line.words[index] + "' is not an integer");
        return 0;
    }
    int note(const Line& line, size_t index, int& value)
    {
        if (index >= line.words.size()) return fail(line.number, "missing note after '" + line.words[index - 1] + "'");
        if (parseNoteName(line.words[index], value)) return fail(line.number, "'" + line.words[index] + "' is not a note name");
        return 0;
    }

    int findInstrument(const std::string& name) const
    {
        for (size_t i = 0; i < score.instruments.size(); ++i) {
            if (score.instruments[i].name == name) return int(i);
        }
        return -1;
    }
    int findTrack(const std::string& name) const
    {
        for (size_t i = 0; i < score.tracks.size(); ++i) {
            if (score.tracks[i].name == name) return int(i);
        }
        return -1;
    }
    int findPattern(const std::string& name) const
    {
        for (size_t i = 0; i < score.patterns.size(); ++i) {
            if (score.patterns[i].name == name) return int(i);
        }
        return -1;
    }

    static bool validName(const std::string& name)
    {
        if (name.empty() || !std::isalpha((unsigned char)name[0])) return false;
        for (char c : name) {
            if (!std::isalnum((unsigned char)c) && c != '_') return false;
        }
        return true;
    }

    int parseInstrument(const Line& head);
    int instrumentKey(const Line& line, size_t& i, Patch& patch);
    int parseTrack(const Line& line);
    int parsePattern(const Line& head);
    int parseStep(const Line& line, const std::string& word, Step& step);
    int parseSection(const Line& head);
    int parseSettings(const Line& line);
    int run();
};

int Parser::instrumentKey(const Line& line, size_t& i, Patch& p)
{
    static const std::map<std::string, float Patch::*> kFloats = {
        {"level", &Patch::level},       {"mix2", &Patch::mix2},         {"semi2", &Patch::semi2},
        {"pw", &Patch::pulseWidth},     {"detune", &Patch::detune},     {"spread", &Patch::spread},
        {"sub", &Patch::sub},           {"noise", &Patch::noise},       {"cutoff", &Patch::cutoff},
        {"res", &Patch::resonance},     {"env", &Patch::envAmount},     {"keytrack", &Patch::keytrack},
        {"lfo-rate", &Patch::lfoRate},  {"lfo-depth", &Patch::lfoDepth}, {"vib-rate", &Patch::vibratoRate},
        {"vib", &Patch::vibrato},       {"vib-delay", &Patch::vibratoDelay}, {"drive", &Patch::drive},
        {"vel-cut", &Patch::velocityToCutoff}, {"ratio", &Patch::ratio}, {"index", &Patch::index},
        {"index-decay", &Patch::indexDecay}, {"index-sustain", &Patch::indexSustain},
        {"feedback", &Patch::feedback}, {"ratio2", &Patch::ratio2},     {"index2", &Patch::index2},
        {"start-hz", &Patch::startHz},  {"end-hz", &Patch::endHz},      {"sweep", &Patch::sweep},
        {"body", &Patch::decayTime},    {"hold", &Patch::hold},    {"click", &Patch::click},       {"tone", &Patch::tone},
        {"tone-hz", &Patch::toneHz},
    };
    static const std::map<std::string, float Adsr::*> kEnvelope = {
        {"attack", &Adsr::attack}, {"decay", &Adsr::decay}, {"sustain", &Adsr::sustain}, {"release", &Adsr::release}};
    static const std::map<std::string, Wave> kWaves = {
        {"sine", Wave::Sine}, {"saw", Wave::Saw}, {"square", Wave::Square},
        {"pulse", Wave::Pulse}, {"triangle", Wave::Triangle}, {"noise", Wave::Noise}};
    const std::string& key = line.words[i];
    if (i + 1 >= line.words.size()) return fail(line.number, "missing value after '" + key + "'");
    const std::string& value = line.words[i + 1];
    if (key == "wave1" || key == "wave2") {
        auto w = kWaves.find(value);
        if (w == kWaves.end()) return fail(line.number, "unknown wave '" + value + "'");
        (key == "wave1" ? p.wave1 : p.wave2) = w->second;
    } else if (key == "filter") {
        if (value == "lp") p.filterMode = FilterMode::Low;
        else if (value == "bp") p.filterMode = FilterMode::Band;
        else if (value == "hp") p.filterMode = FilterMode::High;
        else return fail(line.number, "unknown filter '" + value + "' (lp, bp or hp)");
    } else if (key == "unison") {
        if (integer(line, i + 1, p.unison)) return 1;
        if (p.unison < 1 || p.unison > 16) return fail(line.number, "unison must be 1..16");
    } else if (kFloats.count(key)) {
        if (number(line, i + 1, p.*kFloats.at(key))) return 1;
    } else if (kEnvelope.count(key)) {
        if (number(line, i + 1, p.amp.*kEnvelope.at(key))) return 1;
    } else if (key.rfind("f-", 0) == 0 && kEnvelope.count(key.substr(2))) {
        if (number(line, i + 1, p.filterEnv.*kEnvelope.at(key.substr(2)))) return 1;
    } else {
        return fail(line.number, "unknown instrument setting '" + key + "'");
    }
    i += 2;
    return 0;
}

int Parser::parseInstrument(const Line& head)
{
    static const std::map<std::string, InstrumentType> kTypes = {
        {"synth", InstrumentType::Synth}, {"fm", InstrumentType::Fm},       {"kick", InstrumentType::Kick},
        {"snare", InstrumentType::Snare}, {"hat", InstrumentType::Hat},     {"clap", InstrumentType::Clap},
        {"noise", InstrumentType::Noise}};
    if (head.words.size() != 3) return fail(head.number, "expected 'instrument NAME TYPE'");
    if (!validName(head.words[1])) return fail(head.number, "bad instrument name '" + head.words[1] + "'");
    if (findInstrument(head.words[1]) >= 0) return fail(head.number, "instrument '" + head.words[1] + "' defined twice");
    auto type = kTypes.find(head.words[2]);
    if (type == kTypes.end()) return fail(head.number, "unknown instrument type '" + head.words[2] + "'");
    InstrumentDef def;
    def.name = head.words[1];
    def.patch.type = type->second;
    if (def.patch.type == InstrumentType::Hat) def.patch.cutoff = 9000.0f;
    if (def.patch.type == InstrumentType::Clap) def.patch.cutoff = 1200.0f;
    if (def.patch.type == InstrumentType::Hat) def.patch.decayTime = 0.08f;
    if (def.patch.type == InstrumentType::Snare) def.patch.decayTime = 0.22f;
    if (def.patch.type == InstrumentType::Clap) def.patch.decayTime = 0.18f;
    for (++at; at < lines.size(); ++at) {
        const Line& line = lines[at];
        if (line.words[0] == "end") {
            const Patch& p = def.patch;
            for (float t : {p.amp.attack, p.amp.decay, p.amp.release, p.filterEnv.attack, p.filterEnv.decay,
                            p.filterEnv.release, p.decayTime, p.hold, p.sweep, p.indexDecay}) {
                if (t < 0.0f || t > 60.0f) return fail(line.number, "instrument '" + def.name + "' has a time outside 0..60 s");
            }
            score.instruments.push_back(def);
            return 0;
        }
        for (size_t i = 0; i < line.words.size();) {
            if (instrumentKey(line, i, def.patch)) return 1;
        }
    }
    return fail(head.number, "instrument '" + def.name + "' has no 'end'");
}

int Parser::parseTrack(const Line& line)
{
    if (line.words.size() < 3) return fail(line.number, "expected 'track NAME INSTRUMENT ...'");
    TrackDef track;
    track.name = line.words[1];
    if (!validName(track.name)) return fail(line.number, "bad track name '" + track.name + "'");
    if (findTrack(track.name) >= 0) return fail(line.number, "track '" + track.name + "' defined twice");
    track.instrument = findInstrument(line.words[2]);
    if (track.instrument < 0) return fail(line.number, "unknown instrument '" + line.words[2] + "'");
    for (size_t i = 3; i < line.words.size();) {
        const std::string& key = line.words[i];
        float tie = 0.0f;
        int r = 0;
        if (key == "gain") r = number(line, i + 1, track.gain);
        else if (key == "pan") r = number(line, i + 1, track.pan);
        else if (key == "reverb") r = number(line, i + 1, track.reverb);
        else if (key == "delay") r = number(line, i + 1, track.delay);
        else if (key == "duck") r = number(line, i + 1, track.duck);
        else if (key == "gate") r = number(line, i + 1, track.gate);
        else if (key == "swing") r = number(line, i + 1, track.swing);
        else if (key == "humanize") r = number(line, i + 1, track.humanize);
        else if (key == "voices") r = integer(line, i + 1, track.voices);
        else if (key == "root") r = note(line, i + 1, track.root);
        else if (key == "tie") {
            r = number(line, i + 1, tie);
            track.tie = tie != 0.0f;
        } else if (key == "range") {
            r = note(line, i + 1, track.low) || note(line, i + 2, track.high);
            if (!r && track.high - track.low < 12) return fail(line.number, "range must span at least an octave");
            ++i;
        } else {
            return fail(line.number, "unknown track setting '" + key + "'");
        }
        if (r) return 1;
        i += 2;
    }
    if (track.voices < 1 || track.voices > 8) return fail(line.number, "voices must be 1..8");
    score.tracks.push_back(track);
    return 0;
}

int Parser::parseStep(const Line& line, const std::string& word, Step& step)
{
    std::string w = word;
    if (w.size() > 1 && (w.back() == '!' || w.back() == '?')) {
        step.velocity = w.back() == '!' ? 1.0f : 0.55f;
        w.pop_back();
    }
    if (w == ".") step.kind = StepKind::Rest;
    else if (w == "-") step.kind = StepKind::Hold;
    else if (w == "*") step.kind = StepKind::WholeChord;
    else if (w == "x" || w == "X" || w == "o") {
        step.kind = StepKind::Hit;
        step.velocity = w == "X" ? 1.0f : (w == "o" ? 0.5f : 0.8f);
    } else if (w[0] == 'r' && (w.size() == 1 || w[1] == '+' || w[1] == '-')) {
        step.kind = StepKind::Root;
        if (w.size() > 1 && !toInt(w.substr(w[1] == '+' ? 2 : 1), step.value)) {
            return fail(line.number, "bad root step '" + word + "'");
        }
    } else if (w[0] == 'c' && w.size() > 1 && std::isdigit((unsigned char)w[1])) {
        step.kind = StepKind::ChordTone;
        size_t sign = w.find_first_of("+-", 1);
        if (!toInt(w.substr(1, sign == std::string::npos ? std::string::npos : sign - 1), step.value) ||
            step.value < 1 ||
            (sign != std::string::npos && !toInt(w.substr(w[sign] == '+' ? sign + 1 : sign), step.offset))) {
            return fail(line.number, "bad chord-tone step '" + word + "'");
        }
    } else if (parseNoteName(w, step.value) == 0) {
        step.kind = StepKind::Note;
    } else {
        return fail(line.number, "unknown step '" + word + "'");
    }
    return 0;
}

int Parser::parsePattern(const Line& head)
{
    Pattern pattern;
    pattern.line = head.number;
    if (head.words.size() != 2 && !(head.words.size() == 4 && head.words[2] == "steps")) {
        return fail(head.number, "expected 'pattern NAME [steps N]'");
    }
    pattern.name = head.words[1];
    if (!validName(pattern.name)) return fail(head.number, "bad pattern name '" + pattern.name + "'");
    if (findPattern(pattern.name) >= 0) return fail(head.number, "pattern '" + pattern.name + "' defined twice");
    if (head.words.size() == 4) {
        if (integer(head, 3, pattern.stepsPerBar)) return 1;
        if (pattern.stepsPerBar < 1 || pattern.stepsPerBar > 64) return fail(head.number, "steps must be 1..64");
    }
    for (++at; at < lines.size(); ++at) {
        const Line& line = lines[at];
        if (line.words[0] == "end") {
            if (pattern.steps.empty()) return fail(line.number, "pattern '" + pattern.name + "' is empty");
            if (pattern.steps.size() % size_t(pattern.stepsPerBar) != 0) {
                return fail(line.number, "pattern '" + pattern.name + "' has " + std::to_string(pattern.steps.size()) +
                                             " steps, not whole bars of " + std::to_string(pattern.stepsPerBar));
            }
            if (pattern.steps[0].kind == StepKind::Hold) return fail(pattern.line, "pattern '" + pattern.name + "' starts with a hold");
            pattern.bars = int(pattern.steps.size()) / pattern.stepsPerBar;
            score.patterns.push_back(pattern);
            return 0;
        }
        for (const std::string& word : line.words) {
            if (word == "|") continue;
            Step step;
            if (parseStep(line, word, step)) return 1;
            pattern.steps.push_back(step);
        }
    }
    return fail(head.number, "pattern '" + pattern.name + "' has no 'end'");
}

int Parser::parseSection(const Line& head)
{
    Section section;
    section.line = head.number;
    const auto& w = head.words;
    if (w.size() < 6 || w[2] != "at" || w[4] != "bars") return fail(head.number, "expected 'section NAME at SECONDS bars N'");
    section.name = w[1];
    float start = 0.0f;
    if (number(head, 3, start) || integer(head, 5, section.bars)) return 1;
    section.start = start;
    if (section.bars < 1 || section.bars > 256) return fail(head.number, "bars must be 1..256");
    if (!score.sections.empty() && section.start <= score.sections.back().start) {
        return fail(head.number, "section '" + section.name + "' does not start after the one before");
    }
    if (w.size() > 6) {
        if (w[6] != "key") return fail(head.number, "unexpected '" + w[6] + "'");
        for (size_t i = 7; i < w.size(); ++i) section.key += (i > 7 ? " " : "") + w[i];
    }
    section.chords.assign(size_t(section.bars), {});
    std::vector<bool> trackPlayed(score.tracks.size(), false);
    for (++at; at < lines.size(); ++at) {
        const Line& line = lines[at];
        const std::string& verb = line.words[0];
        if (verb == "end") {
            score.sections.push_back(section);
            return 0;
        }
        if (verb == "chords") {
            if (line.words.size() < 2) return fail(line.number, "chords needs at least one chord");
            if (line.words.size() - 1 > size_t(section.bars)) return fail(line.number, "more chords than bars");
            std::vector<std::vector<Chord>> bars;
            for (size_t i = 1; i < line.words.size(); ++i) {
                std::vector<Chord> bar;
                std::stringstream parts(line.words[i]);
                std::string symbol;
                while (std::getline(parts, symbol, ',')) {
                    Chord chord;
                    if (parseChord(symbol, chord)) return fail(line.number, "unknown chord '" + symbol + "'");
                    bar.push_back(chord);
                }
                if (bar.empty()) return fail(line.number, "empty chord '" + line.words[i] + "'");
                bars.push_back(bar);
            }
            for (int b = 0; b < section.bars; ++b) section.chords[size_t(b)] = bars[size_t(b) % bars.size()];
        } else if (verb == "play") {
            if (line.words.size() < 3) return fail(line.number, "expected 'play TRACK PATTERN ...'");
            int track = findTrack(line.words[1]);
            if (track < 0) return fail(line.number, "unknown track '" + line.words[1] + "'");
            if (trackPlayed[size_t(track)]) return fail(line.number, "track '" + line.words[1] + "' played twice in a section");
            trackPlayed[size_t(track)] = true;
            std::vector<Placement> items;
            int length = 0;
            for (size_t i = 2; i < line.words.size(); ++i) {
                std::string item = line.words[i];
                int repeat = 1, transpose = 0;
                size_t star = item.find('*');
                if (star != std::string::npos) {
                    if (!toInt(item.substr(star + 1), repeat) || repeat < 1) return fail(line.number, "bad repeat in '" + item + "'");
                    item.resize(star);
                }
                size_t sign = item.find_first_of("+-");
                if (sign != std::string::npos) {
                    if (!toInt(item.substr(item[sign] == '+' ? sign + 1 : sign), transpose)) {
                        return fail(line.number, "bad transposition in '" + line.words[i] + "'");
                    }
                    if (transpose < -48 || transpose > 48) return fail(line.number, "transposition beyond four octaves in '" + line.words[i] + "'");
                    item.resize(sign);
                }
                int pattern = -1;
                if (item != "_") {
                    pattern = findPattern(item);
                    if (pattern < 0) return fail(line.number, "unknown pattern '" + item + "'");
                }
                int bars = pattern < 0 ? 1 : score.patterns[size_t(pattern)].bars;
                for (int k = 0; k < repeat; ++k) {
                    items.push_back({track, pattern, length, transpose});
                    length += bars;
                }
            }
            if (length > section.bars) {
                return fail(line.number, "play " + line.words[1] + ": " + std::to_string(length) + " bars of patterns in a " +
                                             std::to_string(section.bars) + "-bar section");
            }
            // A shorter list repeats until the section is full.
            for (int offset = 0; offset < section.bars; offset += length) {
                for (Placement p : items) {
                    p.bar += offset;
                    if (p.bar < section.bars && p.pattern >= 0) section.placements.push_back(p);
                }
            }
        } else if (verb == "ramp" || verb == "set") {
            Automation a;
            a.step = verb == "set";
            size_t need = a.step ? 4 : 5;
            if (line.words.size() < need) return fail(line.number, "expected '" + verb + " TRACK PARAM VALUE" + (a.step ? "'" : " VALUE'"));
            a.track = findTrack(line.words[1]);
            if (a.track < 0) return fail(line.number, "unknown track '" + line.words[1] + "'");
            const std::string& param = line.words[2];
            if (param == "gain") a.param = Param::Gain;
            else if (param == "cut") a.param = Param::Cut;
            else if (param == "reverb") a.param = Param::Reverb;
            else if (param == "delay") a.param = Param::Delay;
            else return fail(line.number, "unknown parameter '" + param + "' (gain, cut, reverb or delay)");
            if (number(line, 3, a.from)) return 1;
            a.to = a.from;
            if (!a.step && number(line, 4, a.to)) return 1;
            a.barFrom = 0;
            a.barTo = section.bars;
            size_t rest = need;
            if (rest < line.words.size()) {
                if (a.step && line.words[rest] == "bar") {
                    if (integer(line, rest + 1, a.barFrom)) return 1;
                    a.barFrom -= 1;
                    rest += 2;
                } else if (!a.step && line.words[rest] == "bars") {
                    if (integer(line, rest + 1, a.barFrom) || integer(line, rest + 2, a.barTo)) return 1;
                    a.barFrom -= 1;
                    rest += 3;
                } else {
                    return fail(line.number, "unexpected '" + line.words[rest] + "'");
                }
                if (rest != line.words.size()) return fail(line.number, "unexpected '" + line.words[rest] + "'");
            }
            if (a.barFrom < 0 || a.barFrom >= section.bars || a.barTo <= a.barFrom || a.barTo > section.bars) {
                return fail(line.number, "bars outside the section");
            }
            section.automation.push_back(a);
        } else {
            return fail(line.number, "unknown section statement '" + verb + "'");
        }
    }
    return fail(head.number, "section '" + section.name + "' has no 'end'");
}

int Parser::parseSettings(const Line& line)
{
    const std::string& what = line.words[0];
    for (size_t i = 1; i < line.words.size(); i += 2) {
        const std::string& key = line.words[i];
        float* target = nullptr;
        if (what == "reverb") {
            if (key == "size") target = &score.reverb.size;
            else if (key == "damping") target = &score.reverb.damping;
            else if (key == "width") target = &score.reverb.width;
            else if (key == "predelay") target = &score.reverb.preDelay;
            else if (key == "lowcut") target = &score.reverb.lowCut;
            else if (key == "highcut") target = &score.reverb.highCut;
            else if (key == "level") target = &score.reverb.level;
        } else if (what == "delay") {
            if (key == "time") target = &score.delay.time;
            else if (key == "beats") target = &score.delay.beats;
            else if (key == "feedback") target = &score.delay.feedback;
            else if (key == "tone") target = &score.delay.tone;
            else if (key == "level") target = &score.delay.level;
        } else if (what == "master") {
            if (key == "ceiling") target = &score.ceilingDb;
            else if (key == "loudness") target = &score.loudness;
            else if (key == "fade-in") target = &score.fadeInEnd;
            else if (key == "fade-out") {
                if (number(line, i + 1, score.fadeOutStart)) return 1;
                target = &score.fadeOutEnd;
                ++i;
            }
        } else if (what == "sidechain") {
            if (key == "track") {
                if (i + 1 >= line.words.size()) return fail(line.number, "missing track name");
                score.sidechain = findTrack(line.words[i + 1]);
                if (score.sidechain < 0) return fail(line.number, "unknown track '" + line.words[i + 1] + "'");
                continue;
            }
            if (key == "attack") target = &score.duckAttack;
            else if (key == "release") target = &score.duckRelease;
        }
        if (!target) return fail(line.number, "unknown " + what + " setting '" + key + "'");
        if (number(line, i + 1, *target)) return 1;
    }
    if (what == "delay" && (score.delay.time <= 0.0f || score.delay.time > 4.0f)) return fail(line.number, "delay time must be in (0, 4] seconds");
    if (what == "delay" && (score.delay.beats < 0.0f || score.delay.beats > 8.0f)) return fail(line.number, "delay beats must be in [0, 8]");
    if (what == "delay" && (score.delay.feedback < 0.0f || score.delay.feedback >= 1.0f)) return fail(line.number, "delay feedback must be in [0, 1)");
    if (what == "reverb" && (score.reverb.size < 0.0f || score.reverb.size > 1.0f)) return fail(line.number, "reverb size must be in [0, 1]");
    if (what == "reverb" && (score.reverb.damping < 0.0f || score.reverb.damping > 1.0f)) return fail(line.number, "reverb damping must be in [0, 1]");
    if (what == "reverb" && (score.reverb.lowCut <= 0.0f || score.reverb.highCut <= 0.0f || score.reverb.preDelay < 0.0f || score.reverb.preDelay > 1.0f)) {
        return fail(line.number, "reverb filters must be positive and its pre-delay at most 1 s");
    }
    if (what == "delay" && score.delay.tone <= 0.0f) return fail(line.number, "delay tone must be positive");
    return 0;
}

int Parser::run()
{
    bool stopSeen = false;
    for (at = 0; at < lines.size(); ++at) {
        const Line& line = lines[at];
        const std::string& verb = line.words[0];
        if (verb == "rate" || verb == "length" || verb == "stop") {
            float value = 0.0f;
            if (line.words.size() != 2) return fail(line.number, "expected '" + verb + " VALUE'");
            if (number(line, 1, value)) return 1;
            if (value <= 0.0f) return fail(line.number, verb + " must be positive");
            if (verb == "rate" && (value < 8000.0f || value > 192000.0f)) return fail(line.number, "rate must be 8000..192000");
            if (verb != "rate" && value > 3600.0f) return fail(line.number, verb + " must be at most an hour");
            if (verb == "rate") score.sampleRate = value;
            if (verb == "length") score.length = value;
            if (verb == "stop") {
                score.stop = value;
                stopSeen = true;
            }
        } else if (verb == "seed") {
            int value = 0;
            if (line.words.size() != 2 || integer(line, 1, value)) return fail(line.number, "expected 'seed INTEGER'");
            score.seed = uint32_t(value);
        } else if (verb == "instrument") {
            if (parseInstrument(line)) return 1;
        } else if (verb == "track") {
            if (parseTrack(line)) return 1;
        } else if (verb == "pattern") {
            if (parsePattern(line)) return 1;
        } else if (verb == "section") {
            if (stopSeen) return fail(line.number, "section after 'stop'");
            if (parseSection(line)) return 1;
        } else if (verb == "reverb" || verb == "delay" || verb == "master" || verb == "sidechain") {
            if (parseSettings(line)) return 1;
        } else {
            return fail(line.number, "unknown statement '" + verb + "'");
        }
    }
    if (score.sections.empty()) return fail(lines.empty() ? 1 : lines.back().number, "the score has no sections");
    if (!stopSeen) return fail(lines.back().number, "the score has no 'stop'");
    if (score.stop <= score.sections.back().start) return fail(lines.back().number, "'stop' is not after the last section");
    if (score.stop > score.length) return fail(lines.back().number, "'stop' is after the end of the piece");
    return 0;
}

}  // namespace

int parseScore(const std::string& text, Score& score, std::string& error)
{
    score = Score();
    Parser parser{score, error, {}, 0};
    std::istringstream in(text);
    std::string raw;
    for (int number = 1; std::getline(in, raw); ++number) {
        // '#' opens a comment at the start of a word; inside a word it is a sharp (F#m, G#4).
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '#' && (i == 0 || std::isspace((unsigned char)raw[i - 1]))) {
                raw.resize(i);
                break;
            }
        }
        std::istringstream words(raw);
        Line line;
        line.number = number;
        for (std::string w; words >> w;) line.words.push_back(w);
        if (!line.words.empty()) parser.lines.push_back(line);
    }
    return parser.run();
}

// ---------------------------------------------------------------------------------------------
// Tempo map and expansion

namespace {

double sectionEnd(const Score& score, size_t s)
{
    return s + 1 < score.sections.size() ? score.sections[s + 1].start : score.stop;
}

}  // namespace

double barTime(const Score& score, size_t section, double bars)
{
    const Section& s = score.sections[section];
    return s.start + bars * (sectionEnd(score, section) - s.start) / s.bars;
}

double beatLength(const Score& score, size_t section)
{
    const Section& s = score.sections[section];
    return (sectionEnd(score, section) - s.start) / (4.0 * s.bars);
}

std::vector<TrackEvents> expandScore(const Score& score)
{
    const double sr = score.sampleRate;
    std::vector<TrackEvents> out(score.tracks.size());
    // Voice-lead every track through the whole chord sequence, in order.
    // voiced[track][section][bar][slot] = notes of that chord for that track
    std::vector<std::vector<std::vector<std::vector<std::vector<int>>>>> voiced(score.tracks.size());
    for (size_t t = 0; t < score.tracks.size(); ++t) {
        const TrackDef& track = score.tracks[t];
        std::vector<int> previous;
        voiced[t].resize(score.sections.size());
        for (size_t s = 0; s < score.sections.size(); ++s) {
            for (const auto& bar : score.sections[s].chords) {
                std::vector<std::vector<int>> slots;
                for (const Chord& chord : bar) {
                    previous = voiceChord(chord, track.voices, track.low, track.high, previous);
                    slots.push_back(previous);
                }
                voiced[t][s].push_back(slots);
            }
        }
    }
    for (size_t s = 0; s < score.sections.size(); ++s) {
        const Section& section = score.sections[s];
        for (const Placement& place : section.placements) {
            const Pattern& pattern = score.patterns[size_t(place.pattern)];
            const TrackDef& track = score.tracks[size_t(place.track)];
            auto& notes = out[size_t(place.track)].notes;
            const double stepBars = 1.0 / pattern.stepsPerBar;
            const int total = int(pattern.steps.size());
            for (int k = 0; k < total; ++k) {
                const Step& step = pattern.steps[size_t(k)];
                if (step.kind == StepKind::Rest || step.kind == StepKind::Hold) continue;
                double barPos = place.bar + k * stepBars;
                if (barPos >= section.bars) break;
                int holds = 0;
                while (k + 1 + holds < total && pattern.steps[size_t(k + 1 + holds)].kind == StepKind::Hold) ++holds;
                double swing = (pattern.stepsPerBar == 16 && k % 2 == 1) ? track.swing * stepBars : 0.0;
                double endPos = std::min(barPos + (holds + 1) * stepBars, double(section.bars));
                double startTime = barTime(score, s, barPos + swing);
                double endTime = barTime(score, s, barPos + swing + (endPos - barPos) * track.gate);
                NoteEvent ev;
                ev.start = int64_t(std::llround(startTime * sr));
                ev.length = std::max<int64_t>(1, int64_t(std::llround(endTime * sr)) - ev.start);
                ev.velocity = step.velocity;
                if (track.humanize > 0.0f) {
                    // A player's unevenness: up to 15 % either way, the same on every render.
                    Rng jitter(uint32_t(ev.start) * 2654435761u ^ (uint32_t(place.track) + 1u) * 40503u);
                    jitter.next();
                    ev.velocity = std::clamp(ev.velocity * (1.0f + 0.15f * track.humanize * jitter.bipolar()), 0.0f, 1.0f);
                }
                // Harmony in force at the note's start.
                const std::vector<std::vector<int>>* slots = nullptr;
                int barIndex = int(barPos);
                double inBar = barPos - barIndex;
                if (!voiced[size_t(place.track)][s].empty()) slots = &voiced[size_t(place.track)][s][size_t(barIndex)];
                const std::vector<int>* chordNotes = nullptr;
                const Chord* chord = nullptr;
                if (slots && !slots->empty()) {
                    size_t slot = std::min(slots->size() - 1, size_t(inBar * double(slots->size()) + 1e-9));
                    chordNotes = &(*slots)[slot];
                    chord = &section.chords[size_t(barIndex)][slot];
                }
                std::vector<float> pitches;
                switch (step.kind) {
                case StepKind::Hit:
                    pitches.push_back(60.0f);
                    break;
                case StepKind::Note:
                    pitches.push_back(float(step.value + place.transpose));
                    break;
                case StepKind::Root:
                    if (chord) {
                        int pc = (chord->bass - track.root % 12 + 12) % 12;
                        pitches.push_back(float(track.root + pc + step.value + place.transpose));
                    }
                    break;
                case StepKind::ChordTone:
                    if (chordNotes) {
                        size_t n = chordNotes->size();
                        size_t index = size_t(step.value - 1);
                        pitches.push_back(float((*chordNotes)[index % n] + 12 * int(index / n) + step.offset + place.transpose));
                    }
                    break;
                case StepKind::WholeChord:
                    if (chordNotes) {
                        for (int n : *chordNotes) pitches.push_back(float(n + place.transpose));
                    }
                    break;
                default:
                    break;
                }
                for (float pitch : pitches) {
                    ev.note = std::clamp(pitch, 0.0f, 127.0f);
                    notes.push_back(ev);
                }
            }
        }
        // Automation points for this section.
        for (const Automation& a : section.automation) {
            TrackEvents& te = out[size_t(a.track)];
            Curve& curve = a.param == Param::Gain ? te.gain : a.param == Param::Cut ? te.cut
                         : a.param == Param::Reverb ? te.reverb : te.delay;
            double t0 = barTime(score, s, a.barFrom), t1 = barTime(score, s, a.barTo);
            curve.add(t0, a.from);
            if (!a.step) curve.add(t1, a.to);
        }
    }
    for (size_t t = 0; t < out.size(); ++t) {
        auto& notes = out[t].notes;
        std::stable_sort(notes.begin(), notes.end(), [](const NoteEvent& a, const NoteEvent& b) {
            return a.start != b.start ? a.start < b.start : a.note < b.note;
        });
        if (score.tracks[t].tie) {
            // Join a note with the next one of the same pitch that starts where it ends.
            std::vector<NoteEvent> joined;
            std::vector<bool> used(notes.size(), false);
            for (size_t i = 0; i < notes.size(); ++i) {
                if (used[i]) continue;
                NoteEvent ev = notes[i];
                for (size_t j = i + 1; j < notes.size() && notes[j].start <= ev.start + ev.length + 1; ++j) {
                    if (!used[j] && notes[j].note == ev.note && notes[j].start >= ev.start + ev.length - 1) {
                        ev.length = notes[j].start + notes[j].length - ev.start;
                        used[j] = true;
                    }
                }
                joined.push_back(ev);
            }
            notes = joined;
        }
        out[t].gain.fallback = 0.0f;
        out[t].cut.fallback = 0.0f;
        out[t].reverb.fallback = score.tracks[t].reverb;
        out[t].delay.fallback = score.tracks[t].delay;
    }
    return out;
}

}  // namespace synth
