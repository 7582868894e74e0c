#include "scene/envelope.h"

#include "platform/platform.h"

#include <cmath>

namespace {

// Wraps time into [first, last) and gives the cycle number (negative before the first key).
float wrap(float time, float first, float last, float* cycle)
{
    const float d = last - first;
    if (d == 0.0f) {
        *cycle = 0.0f;
        return first;
    }
    const float result = time - d * std::floor((time - first) / d);
    const float s = time < result ? 0.5f : -0.5f;
    *cycle = -std::trunc((result - time) / d + s);
    return result;
}

float outgoing(const Key* p, const Key& k0, const Key& k1)
{
    const float dt = k1.time - k0.time;
    const float f = p ? dt / (k1.time - p->time) : 1.0f;
    const float d = k1.value - k0.value;
    switch (k0.spanType) {
    case spanTcb: {
        const float a = (1.0f - k0.p1) * (1.0f + k0.p2) * (1.0f + k0.p3);
        const float b = (1.0f - k0.p1) * (1.0f - k0.p2) * (1.0f - k0.p3);
        return p ? f * (a * (k0.value - p->value) + b * d) : b * d;
    }
    case spanHermite:
    case spanBezierTangent:
        return p ? k0.p5 * f : k0.p5;
    case spanLinear:
        return p ? f * (d + (k0.value - p->value)) : d;
    case spanBezier:
        return std::fabs(k0.p3) > 0.00001f ? dt * k0.p4 / k0.p3 : dt * k0.p4 * 100000.0f;
    default:
        return 0.0f;
    }
}

float incoming(const Key& k0, const Key& k1, const Key* n)
{
    const float dt = k1.time - k0.time;
    const float g = n ? dt / (n->time - k0.time) : 1.0f;
    const float d = k1.value - k0.value;
    switch (k1.spanType) {
    case spanTcb: {
        const float a = (1.0f - k1.p1) * (1.0f - k1.p2) * (1.0f + k1.p3);
        const float b = (1.0f - k1.p1) * (1.0f + k1.p2) * (1.0f - k1.p3);
        return n ? g * (b * (n->value - k1.value) + a * d) : a * d;
    }
    case spanHermite:
    case spanBezierTangent:
        return n ? k1.p4 * g : k1.p4;
    case spanLinear:
        return n ? g * (d + (n->value - k1.value)) : d;
    case spanBezier:
        return std::fabs(k1.p1) > 0.00001f ? dt * k1.p2 / k1.p1 : dt * k1.p2 * 100000.0f;
    default:
        return 0.0f;
    }
}

float bezier(float a0, float a1, float a2, float a3, float s)
{
    const float c = 3.0f * (a1 - a0);
    const float b = 3.0f * (a2 - a1) - c;
    const float a = a3 - a0 - c - b;
    return a * s * s * s + b * s * s + c * s + a0;
}

float bezierSpan(const Key& k0, const Key& k1, float time)
{
    const bool handles = k0.spanType == spanBezier;
    const float x0 = k0.time;
    const float x1 = k0.time + (handles ? k0.p3 : (k1.time - k0.time) / 3.0f);
    const float x2 = k1.time + k1.p4;
    const float x3 = k1.time;
    float lo = 0.0f;
    float hi = 1.0f;
    float s = 0.5f;
    for (int i = 0; i < bezierIterations; ++i) {
        s = lo + (hi - lo) * 0.5f;
        const float v = bezier(x0, x1, x2, x3, s);
        if (std::fabs(time - v) <= 0.0001f) {
            break;
        }
        if (time < v) {
            hi = s;
        } else {
            lo = s;
        }
    }
    const float y0 = k0.value;
    const float y1 = k0.value + (handles ? k0.p4 : k0.p5 / 3.0f);
    const float y2 = k1.value + (handles ? k1.p2 : k1.p5);
    const float y3 = k1.value;
    return bezier(y0, y1, y2, y3, s);
}

}  // namespace

float evaluateEnvelope(float time, const Envelope& envelope, bool* unknownPost)
{
    const std::vector<Key>& key = envelope.key;
    const size_t n = key.size();
    if (n == 0) {
        return 0.0f;
    }
    if (n == 1) {
        return key[0].value;
    }
    const Key& first = key[0];
    const Key& last = key[n - 1];
    float offset = 0.0f;
    const bool after = time > last.time;
    if (after || time < first.time) {
        const uint32_t behaviour = after ? envelope.post : envelope.pre;
        float cycle = 0.0f;
        switch (behaviour) {
        case behaviourReset:
            return 0.0f;
        case behaviourConstant:
            return after ? last.value : first.value;
        case behaviourRepeat:
            time = wrap(time, first.time, last.time, &cycle);
            break;
        case behaviourOscillate:
            time = wrap(time, first.time, last.time, &cycle);
            if (std::fmod(cycle, 2.0f) != 0.0f) {
                // Mirrored inside the key range (first + last - time), which for keys
                // starting at 0 is last - time.
                time = first.time + last.time - time;
            }
            break;
        case behaviourOffset:
            time = wrap(time, first.time, last.time, &cycle);
            offset = (last.value - first.value) * cycle;
            break;
        default:
            if (after) {
                if (unknownPost) {
                    *unknownPost = true;
                } else {
                    platform::messageBox("error", "Post behaviour type not implemented", platform::MessageIcon::Error);
                }
                return last.value;
            }
            break;  // an unknown pre behaviour extends the first span
        }
    }

    size_t i = 0;
    while (i + 2 < n && key[i + 1].time < time) {
        ++i;
    }
    const Key& k0 = key[i];
    const Key& k1 = key[i + 1];
    const Key* p = i > 0 ? &key[i - 1] : nullptr;
    const Key* next = i + 2 < n ? &key[i + 2] : nullptr;
    if (time == k0.time) {
        return k0.value + offset;
    }
    if (time == k1.time) {
        return k1.value + offset;
    }
    const float t = (time - k0.time) / (k1.time - k0.time);
    switch (k1.spanType) {
    case spanTcb:
    case spanHermite:
    case spanBezierTangent: {
        const float out = outgoing(p, k0, k1);
        const float in = incoming(k0, k1, next);
        const float t2 = t * t;
        const float t3 = t2 * t;
        const float h2 = 3.0f * t2 - 2.0f * t3;
        const float h1 = 1.0f - h2;
        const float h4 = t3 - t2;
        const float h3 = t3 - 2.0f * t2 + t;
        return h1 * k0.value + h2 * k1.value + h3 * out + h4 * in + offset;
    }
    case spanLinear:
        return k0.value + (k1.value - k0.value) * t + offset;
    case spanStepped:
        return k0.value + offset;
    case spanBezier:
        return bezierSpan(k0, k1, time) + offset;
    default:
        return offset;
    }
}
