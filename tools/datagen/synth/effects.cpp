#include "datagen/synth/effects.h"

#include <algorithm>
#include <deque>
#include <thread>

namespace synth {

void applyDelay(const DelaySettings& settings, float sampleRate, const float* send, float* left, float* right,
                int64_t frames, const Curve* times)
{
    // Delay time per frame: fixed, or following the curve; a change glides over about 0.1 s
    // (a short tape-like bend) instead of jumping.
    double maxTime = settings.time;
    if (times) {
        for (float t : times->values) maxTime = std::max(maxTime, double(t));
    }
    const size_t length = size_t(maxTime * sampleRate) + 4;
    std::vector<float> lineL(length, 0.0f), lineR(length, 0.0f);
    OnePole toneL, toneR, glide;
    toneL.setCutoff(settings.tone, sampleRate);
    toneR.setCutoff(settings.tone, sampleRate);
    glide.setCutoff(1.6f, sampleRate);
    glide.z = (times ? times->at(0.0) : settings.time) * sampleRate;
    size_t pos = 0;
    float target = float(glide.z);
    for (int64_t i = 0; i < frames; ++i) {
        if (times && (i & 63) == 0) target = times->at(double(i) / sampleRate) * sampleRate;
        const float delay = times ? glide.lowpass(target) : settings.time * sampleRate;
        double read = double(pos) - double(std::clamp(delay, 1.0f, float(length - 2)));
        if (read < 0.0) read += double(length);
        const size_t r0 = size_t(read), r1 = r0 + 1 == length ? 0 : r0 + 1;
        const float frac = float(read - double(r0));
        const float yl = lineL[r0] + (lineL[r1] - lineL[r0]) * frac;
        const float yr = lineR[r0] + (lineR[r1] - lineR[r0]) * frac;
        lineL[pos] = send[i] + toneR.lowpass(yr) * settings.feedback;
        lineR[pos] = toneL.lowpass(yl) * settings.feedback;
        left[i] += yl * settings.level;
        right[i] += yr * settings.level;
        if (++pos == length) pos = 0;
    }
}

namespace {

struct Comb {
    std::vector<float> buffer;
    size_t pos = 0;
    float store = 0.0f;
    float process(float x, float feedback, float damp)
    {
        float y = buffer[pos];
        store = y * (1.0f - damp) + store * damp;
        buffer[pos] = x + store * feedback;
        if (++pos == buffer.size()) pos = 0;
        return y;
    }
};

struct Allpass {
    std::vector<float> buffer;
    size_t pos = 0;
    float process(float x)
    {
        float b = buffer[pos];
        buffer[pos] = x + b * 0.5f;
        if (++pos == buffer.size()) pos = 0;
        return b - x;
    }
};

}  // namespace

void applyReverb(const ReverbSettings& settings, float sampleRate, const float* send, float* left, float* right_,
                 int64_t frames)
{
    static const int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAllpasses[4] = {556, 441, 341, 225};
    const int kStereoSpread = 23;
    const double scale = sampleRate / 44100.0;
    Comb combs[2][8];
    Allpass allpasses[2][4];
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 8; ++k) {
            combs[c][k].buffer.assign(size_t((kCombs[k] + c * kStereoSpread) * scale), 0.0f);
        }
        for (int k = 0; k < 4; ++k) {
            allpasses[c][k].buffer.assign(size_t((kAllpasses[k] + c * kStereoSpread) * scale), 0.0f);
        }
    }
    const float feedback = settings.size * 0.28f + 0.7f;
    const float damp = settings.damping * 0.4f;
    const float wet1 = settings.level * (settings.width * 0.5f + 0.5f);
    const float wet2 = settings.level * ((1.0f - settings.width) * 0.5f);
    const size_t preLength = std::max<size_t>(1, size_t(settings.preDelay * sampleRate));
    std::vector<float> pre(preLength, 0.0f);
    size_t prePos = 0;
    OnePole lowCut, highCut;
    lowCut.setCutoff(settings.lowCut, sampleRate);
    highCut.setCutoff(settings.highCut, sampleRate);
    std::vector<float> input(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) {
        float x = pre[prePos];
        pre[prePos] = send[i];
        if (++prePos == preLength) prePos = 0;
        input[size_t(i)] = highCut.lowpass(lowCut.highpass(x)) * 0.03f;
    }
    // The two channels' tanks are independent: one thread each.
    std::vector<float> tail[2];
    auto tank = [&](int c) {
        tail[c].resize(size_t(frames));
        for (int64_t i = 0; i < frames; ++i) {
            const float x = input[size_t(i)];
            float out = 0.0f;
            for (int k = 0; k < 8; ++k) out += combs[c][k].process(x, feedback, damp);
            for (int k = 0; k < 4; ++k) out = allpasses[c][k].process(out);
            tail[c][size_t(i)] = out;
        }
    };
    std::thread right(tank, 1);
    tank(0);
    right.join();
    for (int64_t i = 0; i < frames; ++i) {
        const float outL = tail[0][size_t(i)], outR = tail[1][size_t(i)];
        left[i] += outL * wet1 + outR * wet2;
        right_[i] += outR * wet1 + outL * wet2;
    }
}

float applyLimiter(float ceiling, float lookahead, float release, float sampleRate, float* left, float* right,
                   int64_t frames)
{
    if (frames <= 0) return 0.0f;
    const int64_t window = std::max<int64_t>(1, int64_t(lookahead * sampleRate));
    // Gain each frame needs on its own.
    std::vector<float> gain(size_t(frames), 1.0f);
    for (int64_t i = 0; i < frames; ++i) {
        float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        if (peak > ceiling) gain[size_t(i)] = ceiling / peak;
    }
    // Minimum over the coming window, so the reduction is in place before the peak arrives.
    std::deque<int64_t> order;
    std::vector<float> ahead(size_t(frames), 1.0f);
    for (int64_t i = 0, j = 0; j < frames; ++i) {
        if (i < frames) {
            while (!order.empty() && gain[size_t(order.back())] >= gain[size_t(i)]) order.pop_back();
            order.push_back(i);
        }
        if (i >= window - 1 || i >= frames) {
            while (order.front() < j) order.pop_front();
            ahead[size_t(j)] = gain[size_t(order.front())];
            ++j;
        }
    }
    // Release: recover towards unity exponentially, never above what the window demands.
    const float releaseCoef = std::exp(-1.0f / (release * sampleRate));
    float held = ahead[0];
    for (int64_t i = 0; i < frames; ++i) {
        held = std::min(ahead[size_t(i)], 1.0f - (1.0f - held) * releaseCoef);
        ahead[size_t(i)] = held;
    }
    // Moving average over the window: every averaged value only mixes gains that already
    // cover this frame's own peak, so the result never exceeds the gain the frame needs.
    double sum = double(ahead[0]) * double(window);
    float deepest = 1.0f;
    for (int64_t i = 0; i < frames; ++i) {
        sum += ahead[size_t(i)];
        sum -= i - window >= 0 ? ahead[size_t(i - window)] : ahead[0];
        float g = float(sum / double(window));
        g = std::min(g, gain[size_t(i)]);
        deepest = std::min(deepest, g);
        left[i] = std::clamp(left[i] * g, -ceiling, ceiling);
        right[i] = std::clamp(right[i] * g, -ceiling, ceiling);
    }
    return -gainToDb(deepest);
}

namespace {

// K-weighting (the two BS.1770 pre-filters) for any sample rate.
void kWeighting(float sampleRate, Biquad& shelf, Biquad& highpass)
{
    double f0 = 1681.974450955533, g = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(kPi * f0 / sampleRate);
    double vh = std::pow(10.0, g / 20.0);
    double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    shelf.b0 = (vh + vb * k / q + k * k) / a0;
    shelf.b1 = 2.0 * (k * k - vh) / a0;
    shelf.b2 = (vh - vb * k / q + k * k) / a0;
    shelf.a1 = 2.0 * (k * k - 1.0) / a0;
    shelf.a2 = (1.0 - k / q + k * k) / a0;
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(kPi * f0 / sampleRate);
    a0 = 1.0 + k / q + k * k;
    highpass.b0 = 1.0;
    highpass.b1 = -2.0;
    highpass.b2 = 1.0;
    highpass.a1 = 2.0 * (k * k - 1.0) / a0;
    highpass.a2 = (1.0 - k / q + k * k) / a0;
}

}  // namespace

double integratedLoudness(const float* left, const float* right, int64_t frames, float sampleRate)
{
    const int64_t step = int64_t(sampleRate * 0.1f);
    if (frames < step * 4) return -70.0;
    // Mean square of the K-weighted signal per 100 ms step, per channel (one thread each),
    // then summed over both channels.
    const size_t steps = size_t(frames / step);
    std::vector<double> channelEnergy[2];
    auto weigh = [&](int c) {
        const float* x = c == 0 ? left : right;
        Biquad shelf, hp;
        kWeighting(sampleRate, shelf, hp);
        channelEnergy[c].assign(steps, 0.0);
        double acc = 0.0;
        for (int64_t i = 0; i < int64_t(steps) * step; ++i) {
            const double y = hp.process(shelf.process(x[i]));
            acc += y * y;
            if ((i + 1) % step == 0) {
                channelEnergy[c][size_t(i / step)] = acc / double(step);
                acc = 0.0;
            }
        }
    };
    std::thread second(weigh, 1);
    weigh(0);
    second.join();
    std::vector<double> stepEnergy(steps);
    for (size_t i = 0; i < steps; ++i) stepEnergy[i] = channelEnergy[0][i] + channelEnergy[1][i];
    std::vector<double> blocks;
    for (size_t i = 3; i < stepEnergy.size(); ++i) {
        blocks.push_back((stepEnergy[i] + stepEnergy[i - 1] + stepEnergy[i - 2] + stepEnergy[i - 3]) * 0.25);
    }
    auto loudness = [](double energy) { return -0.691 + 10.0 * std::log10(std::max(energy, 1e-20)); };
    double sum = 0.0;
    size_t count = 0;
    for (double z : blocks) {
        if (loudness(z) > -70.0) {
            sum += z;
            ++count;
        }
    }
    if (count == 0) return -70.0;
    const double relativeGate = loudness(sum / double(count)) - 10.0;
    sum = 0.0;
    count = 0;
    for (double z : blocks) {
        if (loudness(z) > -70.0 && loudness(z) > relativeGate) {
            sum += z;
            ++count;
        }
    }
    return count ? loudness(sum / double(count)) : -70.0;
}

float peakLevel(const float* left, const float* right, int64_t frames)
{
    float peak = 0.0f;
    for (int64_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    return peak;
}

}  // namespace synth
