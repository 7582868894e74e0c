// evaluateEnvelope: behaviours outside the keys, span types, exact key times, tangents
// and the Bezier solve.
#include "datagen/scene_author.h"
#include "platform/platform.h"
#include "scene/envelope.h"

#include <gtest/gtest.h>

#include <cmath>

using datagen::envelope;
using datagen::key;

namespace {

// Keys (0, 0) and (2, 10) with a linear span.
Envelope ramp(uint32_t pre, uint32_t post) { return envelope({key(0, 0, spanLinear), key(2, 10, spanLinear)}, pre, post); }

}  // namespace

TEST(Envelope, BehavioursOutsideTheKeys)
{
    platform::setBatchMode(true);  // the unknown post code shows its box on stderr
    struct Case {
        const char* what;
        Envelope e;
        float time, expected;
    } cases[] = {
        {"no keys", envelope({}), 3.0f, 0.0f},
        {"one key before", envelope({key(1, 7)}), -5.0f, 7.0f},
        {"one key at", envelope({key(1, 7)}), 1.0f, 7.0f},
        {"one key after", envelope({key(1, 7)}, 0, 0), 9.0f, 7.0f},
        {"post reset", ramp(1, behaviourReset), 3.0f, 0.0f},
        {"post constant", ramp(1, behaviourConstant), 3.0f, 10.0f},
        {"post repeat", ramp(1, behaviourRepeat), 3.0f, 5.0f},
        {"post oscillate, cycle 1", ramp(1, behaviourOscillate), 3.5f, 2.5f},
        {"post oscillate, cycle 2", ramp(1, behaviourOscillate), 4.5f, 2.5f},
        {"post offset", ramp(1, behaviourOffset), 3.0f, 15.0f},
        {"post offset, cycle 3", ramp(1, behaviourOffset), 6.5f, 32.5f},
        {"post unknown holds the last value", ramp(1, 7), 3.0f, 10.0f},
        {"pre reset", ramp(behaviourReset, 1), -1.0f, 0.0f},
        {"pre constant", envelope({key(0, 4), key(2, 10, spanLinear)}, behaviourConstant, 1), -1.0f, 4.0f},
        {"pre repeat", ramp(behaviourRepeat, 1), -0.5f, 7.5f},
        {"pre oscillate", ramp(behaviourOscillate, 1), -0.5f, 2.5f},
        {"pre offset", ramp(behaviourOffset, 1), -0.5f, -2.5f},
        {"pre unknown extends the first span", ramp(9, 1), -1.0f, -5.0f},
        // Keys that do not start at 0 mirror inside their own range.
        {"oscillate from 1 to 3", envelope({key(1, 0, spanLinear), key(3, 10, spanLinear)}, 1, behaviourOscillate), 4.5f, 2.5f},
        {"repeat over no time", envelope({key(1, 3), key(1, 5, spanLinear)}, 1, behaviourRepeat), 2.0f, 3.0f},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(evaluateEnvelope(c.time, c.e), c.expected) << c.what;
    }
}

TEST(Envelope, SpanTypes)
{
    Key hermiteStart = key(0, 0, spanHermite);
    hermiteStart.p5 = 2.0f;  // outgoing tangent
    Key hermiteEnd = key(1, 1, spanHermite);
    hermiteEnd.p4 = 0.0f;    // incoming tangent
    Key tangentEnd = hermiteEnd;
    tangentEnd.spanType = spanBezierTangent;
    // A tension of 0.5 at the middle key; the other keys plain. Worked by hand at t = 0.5:
    // out = 10 (no previous key: b * d), in = 1/3 * (0.5 * (4 - 10) + 0.5 * 10) = 2/3,
    // h1 = h2 = 0.5, h3 = 0.125, h4 = -0.125: 5 + 1.25 - 0.0833333.
    const Envelope tcb = envelope({key(0, 0), datagen::tcbKey(1, 10, 0.5f), key(3, 4)});
    struct Case {
        const char* what;
        Envelope e;
        float time, expected;
    } cases[] = {
        {"tcb against the hand-worked value", tcb, 0.5f, 6.1666667f},
        {"tcb at a key time exactly", tcb, 1.0f, 10.0f},
        {"tcb at the last key exactly", tcb, 3.0f, 4.0f},
        {"hermite from stored tangents", envelope({hermiteStart, hermiteEnd}), 0.5f, 0.75f},
        {"bezier tangent form as hermite", envelope({hermiteStart, tangentEnd}), 0.5f, 0.75f},
        {"linear", ramp(1, 1), 0.5f, 2.5f},
        {"stepped holds the first value", envelope({key(0, 3), key(2, 8, spanStepped)}), 1.9999f, 3.0f},
        {"stepped reaches the second at its time", envelope({key(0, 3), key(2, 8, spanStepped)}), 2.0f, 8.0f},
        {"an unknown span type is the offset", envelope({key(0, 3), key(2, 8, 11)}, 1, behaviourOffset), 3.0f, 5.0f},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(evaluateEnvelope(c.time, c.e), c.expected, 1e-5f) << c.what;
    }
}

TEST(Envelope, BezierSolvesForTimeAndStopsOnFoldedHandles)
{
    // Handles a third of the span in: the time curve is linear, so the parameter is
    // (time - 1) / 3 and the value the cubic in it.
    Key start = key(1, 2, spanBezier);
    start.p3 = 1.0f;   // outgoing time handle
    start.p4 = 6.0f;   // outgoing value handle
    Key end = key(4, 5, spanBezier);
    end.p4 = -1.0f;    // incoming time handle
    end.p2 = -3.0f;    // incoming value handle
    const Envelope e = envelope({start, end});
    for (float time : {1.3f, 2.0f, 2.71f, 3.9f}) {
        const double s = (time - 1.0) / 3.0;
        const double y = 2 * (1 - s) * (1 - s) * (1 - s) + 3 * 8 * s * (1 - s) * (1 - s) + 3 * 2 * s * s * (1 - s) +
                         5 * s * s * s;
        // Within 0.0001 in time; the value's slope is below 20 per second here.
        EXPECT_NEAR(evaluateEnvelope(time, e), y, 20 * 1e-4) << time;
    }
    // Time handles far outside the span fold the curve: the solve still ends.
    Key wild = end;
    wild.p4 = 40.0f;
    const float folded = evaluateEnvelope(2.5f, envelope({start, wild}));
    EXPECT_TRUE(std::isfinite(folded));
    // A time that is not a number ends as well, on a value of the span.
    const float undefined = evaluateEnvelope(NAN, envelope({start, end}));
    EXPECT_TRUE(std::isfinite(undefined)) << undefined;
    EXPECT_GE(undefined, 2.0f);
    EXPECT_LE(undefined, 8.0f);  // inside the value handles' hull
}

TEST(Envelope, AnUnknownPostBehaviourIsLeftToTheCallerWhenItAsks)
{
    platform::setBatchMode(true);
    struct Case {
        const char* what;
        uint32_t post;
        float time;
        bool unknown;  // reported
        bool box;      // shown without the flag
    } cases[] = {
        {"unknown, past the last key", 5, 3.0f, true, true},
        {"unknown, inside the keys", 9, 1.0f, false, false},
        {"known, past the last key", behaviourOffset, 3.0f, false, false},
    };
    for (const Case& c : cases) {
        bool unknown = false;
        testing::internal::CaptureStderr();
        const float value = evaluateEnvelope(c.time, ramp(1, c.post), &unknown);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.what;
        EXPECT_EQ(unknown, c.unknown) << c.what;
        EXPECT_FLOAT_EQ(value, evaluateEnvelope(c.time, ramp(1, c.post == 5 ? behaviourConstant : c.post))) << c.what;
        testing::internal::CaptureStderr();
        evaluateEnvelope(c.time, ramp(1, c.post));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.box ? "error: Post behaviour type not implemented\n" : "")
            << c.what;
    }
}
