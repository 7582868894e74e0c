// The synthesiser: band-limited oscillators, the limiter's ceiling, the loudness meter,
// reproducible rendering and encoding, and the soundtrack itself (level, silence at the end,
// the kick that drives the spectrum flash).
#include "datagen/music.h"
#include "datagen/synth/render.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

namespace {

using namespace synth;

constexpr double kRate = 44100.0;

// In-place radix-2 complex FFT (size a power of two), forward transform without scaling.
void fft(std::vector<double>& re, std::vector<double>& im)
{
    const size_t n = re.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * kPi / double(len);
        for (size_t i = 0; i < n; i += len) {
            for (size_t k = 0; k < len / 2; ++k) {
                const double wr = std::cos(angle * double(k)), wi = std::sin(angle * double(k));
                const size_t a = i + k, b = i + k + len / 2;
                const double xr = re[b] * wr - im[b] * wi, xi = re[b] * wi + im[b] * wr;
                re[b] = re[a] - xr;
                im[b] = im[a] - xi;
                re[a] += xr;
                im[a] += xi;
            }
        }
    }
}

// Share of the power of a periodic signal that lies away from its harmonics, i.e. what
// aliasing folded back below Nyquist (Blackman-Harris window, 64k-point FFT).
double aliasedShare(const std::function<float()>& next, double f0)
{
    const size_t n = 65536;
    std::vector<double> re(n), im(n, 0.0);
    for (size_t i = 0; i < 4096; ++i) next();  // settle (the triangle's integrator)
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.35875 - 0.48829 * std::cos(2 * kPi * i / n) + 0.14128 * std::cos(4 * kPi * i / n) -
                         0.01168 * std::cos(6 * kPi * i / n);
        re[i] = next() * w;
    }
    fft(re, im);
    std::vector<bool> harmonic(n / 2, false);
    for (double f = f0; f < kRate / 2; f += f0) {
        const long centre = std::lround(f / kRate * n);
        for (long b = centre - 8; b <= centre + 8; ++b) {
            if (b >= 0 && b < long(n / 2)) harmonic[size_t(b)] = true;
        }
    }
    double total = 0.0, aliased = 0.0;
    for (size_t b = 8; b < n / 2; ++b) {
        const double p = re[b] * re[b] + im[b] * im[b];
        total += p;
        if (!harmonic[b]) aliased += p;
    }
    return aliased / total;
}

TEST(Synth, OscillatorsAreBandLimited)
{
    const double f0 = 3001.3;  // a high note: harmonics above Nyquist from the 8th on
    const double dt = f0 / kRate;
    double naivePhase = 0.0;
    const double naive = aliasedShare(
        [&] {
            float v = float(2.0 * naivePhase - 1.0);
            naivePhase += dt;
            if (naivePhase >= 1.0) naivePhase -= 1.0;
            return v;
        },
        f0);
    for (Wave wave : {Wave::Saw, Wave::Square, Wave::Pulse, Wave::Triangle}) {
        Oscillator osc;
        const double share = aliasedShare([&] { return osc.next(wave, dt, 0.3); }, f0);
        EXPECT_LT(share, 0.004) << "wave " << int(wave);  // below -24 dB
        EXPECT_LT(share * 20.0, naive) << "wave " << int(wave);
    }
    EXPECT_GT(naive, 0.05);  // the measure does see aliasing where there is some
}

TEST(Synth, SineIsAccurate)
{
    for (double phase = -3.0; phase < 3.0; phase += 0.0137) {
        EXPECT_NEAR(sin2pi(phase), std::sin(2 * kPi * phase), 2e-6) << phase;
    }
}

TEST(Synth, LimiterNeverPassesItsCeiling)
{
    const float ceiling = dbToGain(-0.3f);
    const int64_t frames = int64_t(kRate * 3);
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    Rng rng(99);
    for (int64_t i = 0; i < frames; ++i) {
        // Loud noise, sharp bursts and a low sine far above full scale.
        const float burst = (i / 4410) % 7 == 3 ? 6.0f : 1.0f;
        left[size_t(i)] = rng.bipolar() * 1.5f * burst + 2.0f * sin2pi(i * 60.0 / kRate);
        right[size_t(i)] = rng.bipolar() * 0.5f * burst - 3.0f * sin2pi(i * 45.0 / kRate);
    }
    right[1000] = 40.0f;  // a lone spike
    left[size_t(frames - 1)] = -25.0f;  // at the very end, with no look-ahead left
    const float reduction = applyLimiter(ceiling, 0.003f, 0.1f, float(kRate), left.data(), right.data(), frames);
    EXPECT_GT(reduction, 20.0f);
    for (int64_t i = 0; i < frames; ++i) {
        ASSERT_LE(std::fabs(left[size_t(i)]), ceiling) << i;
        ASSERT_LE(std::fabs(right[size_t(i)]), ceiling) << i;
    }
    EXPECT_GT(peakLevel(left.data(), right.data(), frames), ceiling * 0.95f);
    // The reduction for the spike starts ahead of it (no step in the gain).
    EXPECT_LT(std::fabs(right[990]), 0.5f * std::fabs(right[900]) + 0.2f);
}

TEST(Synth, LimiterLeavesQuietSignalsAlone)
{
    std::vector<float> left(5000), right(5000);
    for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = 0.5f * sin2pi(i * 440.0 / kRate);
    std::vector<float> before = left;
    EXPECT_EQ(applyLimiter(dbToGain(-0.3f), 0.003f, 0.1f, float(kRate), left.data(), right.data(), 5000), 0.0f);
    EXPECT_EQ(left, before);
}

TEST(Synth, LoudnessOfAReferenceSine)
{
    // A 997 Hz sine at -20 dBFS in both channels reads -20 LUFS.
    const int64_t frames = int64_t(kRate * 5);
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) left[size_t(i)] = right[size_t(i)] = 0.1f * sin2pi(i * 997.0 / kRate);
    EXPECT_NEAR(integratedLoudness(left.data(), right.data(), frames, float(kRate)), -20.0, 0.15);
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    EXPECT_EQ(integratedLoudness(left.data(), right.data(), frames, float(kRate)), -70.0);
}

TEST(Synth, FilterAttenuatesAndStaysStableUnderModulation)
{
    Svf lp;
    lp.set(500.0f, 0.2f, float(kRate));
    double inEnergy = 0.0, outEnergy = 0.0;
    for (int i = 0; i < 44100; ++i) {
        const float x = sin2pi(i * 10000.0 / kRate);
        const float y = lp.process(x, FilterMode::Low);
        if (i > 1000) {
            inEnergy += x * x;
            outEnergy += y * y;
        }
    }
    EXPECT_LT(outEnergy, inEnergy * 1e-3);  // more than 30 dB down two decades above the cutoff
    // Near self-oscillation, swept hard every 32 frames, driven by loud noise: bounded output.
    Svf swept;
    Rng rng(5);
    float peak = 0.0f;
    for (int i = 0; i < 200000; ++i) {
        if (i % 32 == 0) swept.set(40.0f + 15000.0f * float((i / 32) % 2), 1.0f, float(kRate));
        const float y = swept.process(rng.bipolar() * 4.0f, FilterMode::Band);
        ASSERT_TRUE(std::isfinite(y)) << i;
        peak = std::max(peak, std::fabs(y));
    }
    EXPECT_LT(peak, 1000.0f);
}

TEST(Synth, EnvelopeReachesSustainAndReleasesBy60Db)
{
    Adsr env{0.01f, 0.1f, 0.5f, 0.2f};
    env.start(float(kRate));
    float v = 0.0f;
    for (int i = 0; i < 441; ++i) v = env.next();
    EXPECT_NEAR(v, 1.0f, 0.01f);  // end of the attack
    for (int i = 0; i < 44100; ++i) v = env.next();
    EXPECT_NEAR(v, 0.5f, 1e-3f);
    env.noteOff();
    for (int i = 0; i < int(0.2 * kRate); ++i) v = env.next();
    EXPECT_NEAR(gainToDb(v / 0.5f), -60.0f, 1.0f);
}

TEST(Synth, KickSweepsDownToItsBodyPitch)
{
    Patch kick;
    kick.type = InstrumentType::Kick;
    kick.startHz = 170.0f;
    kick.endHz = 50.0f;
    kick.sweep = 0.015f;
    kick.decayTime = 1.0f;
    kick.click = 0.0f;
    kick.drive = 0.0f;
    const int64_t frames = int64_t(kRate);
    std::vector<float> left(static_cast<size_t>(frames), 0.0f), right(static_cast<size_t>(frames), 0.0f);
    renderNote(kick, NoteEvent{0, 1, 60.0f, 1.0f}, nullptr, float(kRate), 1, left.data(), right.data(), frames);
    auto crossings = [&](int64_t from, int64_t to) {
        int n = 0;
        for (int64_t i = from + 1; i < to; ++i) n += (left[size_t(i - 1)] < 0.0f) != (left[size_t(i)] < 0.0f);
        return n / 2.0 / (double(to - from) / kRate);  // cycles per second
    };
    EXPECT_NEAR(crossings(4410, 22050), 50.0, 3.0);    // it settles on the body pitch
    EXPECT_GT(crossings(0, 882), 1.6 * crossings(4410, 22050));  // after starting well above it
    EXPECT_EQ(left, right);
}

TEST(Synth, DelayRepeatsPingPongAndReverbDecays)
{
    const int64_t frames = int64_t(kRate * 4);
    std::vector<float> send(static_cast<size_t>(frames), 0.0f), left(send), right(send);
    send[0] = 1.0f;
    DelaySettings delay;
    delay.time = 0.25f;
    delay.feedback = 0.5f;
    delay.tone = 20000.0f;
    applyDelay(delay, float(kRate), send.data(), left.data(), right.data(), frames);
    auto loudestAt = [&](const std::vector<float>& v) {
        size_t best = 0;
        for (size_t i = 0; i < v.size(); ++i) best = std::fabs(v[i]) > std::fabs(v[best]) ? i : best;
        return best;
    };
    const size_t step = size_t(0.25 * kRate);
    EXPECT_NEAR(double(loudestAt(left)), double(step), 2.0);       // first repeat on the left
    EXPECT_NEAR(double(loudestAt(right)), double(2 * step), 2.0);  // the next one on the right
    EXPECT_LT(std::fabs(right[2 * step]), std::fabs(left[step]));

    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    ReverbSettings reverb;
    applyReverb(reverb, float(kRate), send.data(), left.data(), right.data(), frames);
    auto energy = [&](double from, double to) {
        double e = 0.0;
        for (int64_t i = int64_t(from * kRate); i < int64_t(to * kRate); ++i) {
            e += double(left[size_t(i)]) * left[size_t(i)] + double(right[size_t(i)]) * right[size_t(i)];
        }
        return e;
    };
    EXPECT_GT(energy(0.0, 0.5), 0.0);
    EXPECT_GT(energy(0.0, 0.5), 10.0 * energy(2.0, 2.5));  // the tail dies away
    EXPECT_NE(left, right);                                 // and is stereo
}

// Every kind of instrument, sends, ducking and automation in a few seconds.
const char* const kPiece = R"(length 6
instrument kick kick
  hold 0.03 sweep 0.016 end-hz 44
end
instrument snare snare
end
instrument hat hat
end
instrument clap clap
end
instrument air noise
  filter bp cutoff 900 res 0.5 attack 0.5 release 0.3 spread 0.7
end
instrument pad synth
  unison 5 detune 0.2 spread 0.9 mix2 0.8 semi2 0.05 cutoff 900 env 1 lfo-rate 0.3 lfo-depth 0.4 attack 0.4 release 0.8
end
instrument bell fm
  ratio 3.5 index 2 ratio2 7 index2 0.4 feedback 0.3 decay 1.5 sustain 0
end
track kick kick
track snare snare reverb 0.2
track hat hat swing 0.1
track clap clap
track air air reverb 0.4
track pad pad tie 1 gate 1 reverb 0.5 duck 0.6
track bell bell delay 0.4 reverb 0.3
sidechain track kick
master fade-out 4.5 5.5
pattern four
  X . . . x . . . x . . . x . . .
end
pattern back
  . . . . X . . . . . . . X . x .
end
pattern hats
  x o x o x o x o x o x o x o x o
end
pattern chord
  * - - - - - - - * - - - - - - -
end
pattern tune
  A4 - C5 - E5 - . . c1 c2 c3 c4 . . . .
end
pattern whoosh steps 1
  x
end
section only at 0 bars 2
  chords Am9 Fmaj7,G
  play kick four
  play snare back
  play clap back
  play hat hats
  play air _ whoosh
  play pad chord
  ramp pad cut -1 1
  play bell tune
end
stop 5
)";

TEST(Synth, RendersAreIdenticalAndIndependentOfThreads)
{
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(kPiece, score, error), 0) << error;
    Rendering a, b, c;
    renderScore(score, a, 2);
    renderScore(score, b, 2);
    renderScore(score, c, 1);
    ASSERT_EQ(a.left.size(), size_t(6 * kRate));
    EXPECT_TRUE(a.left == b.left && a.right == b.right);
    EXPECT_TRUE(a.left == c.left && a.right == c.right);
    EXPECT_NEAR(a.loudness, -14.0, 0.5);
    EXPECT_LE(a.peak, dbToGain(-1.0f));
    // Stereo: the unison pad and the noise are spread, so the channels differ.
    EXPECT_NE(a.left, a.right);
    std::vector<uint8_t> oggA, oggB;
    ASSERT_EQ(datagen::encodeVorbis(a.left, a.right, 44100, 0.5f, "t", oggA, error), 0);
    ASSERT_EQ(datagen::encodeVorbis(b.left, b.right, 44100, 0.5f, "t", oggB, error), 0);
    EXPECT_EQ(oggA, oggB);
    datagen::VorbisInfo info;
    ASSERT_EQ(datagen::inspectVorbis(oggA, info), 0);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.frames, int64_t(6 * kRate));
    EXPECT_GT(info.peak, 0.5f);
    std::vector<uint8_t> garbage(oggA.begin(), oggA.begin() + 20);
    EXPECT_EQ(datagen::inspectVorbis(garbage, info), 1);
}

// Spectrum bin 1 of a 1024-frame rectangular window, as the player reports it.
double binOne(const Rendering& r, int64_t at)
{
    std::vector<double> re(1024), im(1024, 0.0);
    for (size_t i = 0; i < 1024; ++i) re[i] = 0.5 * (r.left[size_t(at) + i] + r.right[size_t(at) + i]);
    fft(re, im);
    return std::hypot(re[1], im[1]) / 1024.0 * 2.5;
}

TEST(Synth, SoundtrackIsLevelledQuietAtTheEndAndPulsesOnTheKick)
{
    std::ifstream in(std::string(CORE_SOURCE_DIR) + "/data/music/drovel-contemplation.score", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Score score;
    std::string error;
    ASSERT_EQ(parseScore(text, score, error), 0) << error;
    Rendering r;
    renderScore(score, r, 2);
    ASSERT_EQ(r.left.size(), size_t(197.5 * kRate));
    EXPECT_NEAR(r.loudness, -14.0, 0.5);
    EXPECT_LE(r.peak, dbToGain(score.ceilingDb));
    for (size_t f = size_t(197.0 * kRate); f < r.left.size(); ++f) {
        ASSERT_EQ(r.left[f], 0.0f);
        ASSERT_EQ(r.right[f], 0.0f);
    }
    // Bin 1 (43 Hz) is bright on the kicks and dark halfway between them, in every section
    // with a beat.
    std::vector<TrackEvents> events = expandScore(score);
    for (size_t s = 1; s + 1 < score.sections.size(); ++s) {
        const int64_t from = int64_t(score.sections[s].start * kRate);
        const int64_t to = int64_t(barTime(score, s, score.sections[s].bars) * kRate);
        const int64_t half = int64_t(beatLength(score, s) * 0.5 * kRate);
        double on = 0.0, off = 0.0;
        int count = 0;
        for (const NoteEvent& k : events[size_t(score.sidechain)].notes) {
            if (k.start < from || k.start >= to) continue;
            // The flash reads the latest 1024 frames every video frame: its brightest moment
            // is the best window of the kick's first 50 ms.
            double best = 0.0;
            for (int64_t at = 0; at <= 2048; at += 256) best = std::max(best, binOne(r, k.start + at));
            on += best;
            off += binOne(r, k.start + half);
            ++count;
        }
        ASSERT_GT(count, 0) << score.sections[s].name;
        EXPECT_GT(on / count, 0.3) << score.sections[s].name;
        EXPECT_GT(on, 4.0 * off) << score.sections[s].name;
    }
}

}  // namespace
