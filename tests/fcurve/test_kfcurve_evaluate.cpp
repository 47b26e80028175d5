// Evaluation inside the keys, every extrapolation mode, slopes at a time,
// the weighted solve, the candidate cache and the All index view.

#include "fcurve/kfcurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

KTime Sec(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

void Add(KFCurve& c, double seconds, float value, unsigned int interpolation,
         unsigned int mode = KFCURVE_TANGEANT_USER, float right = 0.0f, float nextLeft = 0.0f)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(Sec(seconds), value, interpolation, mode, right, nextLeft);
    c.KeyAdd(Sec(seconds), key);
}

// Keys (0 s, 0) and (1 s, 10), both linear.
void Ramp(KFCurve& c)
{
    Add(c, 0, 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    Add(c, 1, 10.0f, KFCURVE_INTERPOLATION_LINEAR);
}

const unsigned int U = KFCURVE_INTERPOLATION_CUBIC;

}  // namespace

TEST(KFCurveEvaluateTest, InsideTheKeys)
{
    KFCurve c;
    EXPECT_EQ(c.Evaluate(Sec(1)), 0.0f);
    c.SetValue(2.5f);
    EXPECT_EQ(c.Evaluate(Sec(1)), 2.5f);  // no keys: the static value
    Add(c, 3, 4.0f, U);
    EXPECT_EQ(c.Evaluate(Sec(-10)), 4.0f);  // one key: its value everywhere
    EXPECT_EQ(c.Evaluate(Sec(10)), 4.0f);

    KFCurve r;
    Ramp(r);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(0.5)), 5.0f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(3)), 10.0f);   // constant post-extrapolation
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(-3)), 0.0f);

    // Constant segments keep the key's value, or take the next one's.
    KFCurve k;
    Add(k, 0, 1.0f, KFCURVE_INTERPOLATION_CONSTANT, 0);
    Add(k, 1, 7.0f, KFCURVE_INTERPOLATION_CONSTANT, 0);
    EXPECT_EQ(k.Evaluate(Sec(0.3)), 1.0f);
    k.KeySetConstantMode(0, KFCURVE_CONSTANT_NEXT);
    EXPECT_EQ(k.Evaluate(Sec(0.001)), 7.0f);
    EXPECT_EQ(k.Evaluate(Sec(0.999)), 7.0f);
    EXPECT_EQ(k.Evaluate(Sec(0)), 1.0f);  // on the key itself

    // Cubic with flat user tangents: 3u^2 - 2u^3.
    KFCurve s;
    Add(s, 0, 0.0f, U);
    Add(s, 1, 1.0f, U);
    EXPECT_FLOAT_EQ(s.Evaluate(Sec(0.5)), 0.5f);
    EXPECT_FLOAT_EQ(s.Evaluate(Sec(0.25)), 0.15625f);
    // Slopes: on a key its derivative, inside the segment the Bezier's.
    EXPECT_FLOAT_EQ(s.EvaluateLeftDerivative(Sec(0.5)), 1.5f);
    EXPECT_FLOAT_EQ(s.EvaluateRightDerivative(Sec(0.5)), 1.5f);
    EXPECT_EQ(s.EvaluateRightDerivative(Sec(0)), 0.0f);
    EXPECT_EQ(s.EvaluateLeftDerivative(Sec(2)), 0.0f);  // outside the keys
    EXPECT_FLOAT_EQ(r.EvaluateLeftDerivative(Sec(0.3)), 10.0f);
    EXPECT_EQ(k.EvaluateLeftDerivative(Sec(0.3)), 0.0f);

    // Cubic with slopes: P0 0, P1 = 0 + 3 x 2 / 3 = 2, P2 = 0 - 3 x 2 / 3 = -2, P3 0 over 2 s.
    KFCurve w;
    Add(w, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 3.0f, 3.0f);
    Add(w, 2, 0.0f, U, KFCURVE_TANGEANT_USER);
    // Bezier at u = 0.25: 3(0.75^2)(0.25)(2) + 3(0.75)(0.25^2)(-2) = 0.84375 - 0.28125
    EXPECT_FLOAT_EQ(w.Evaluate(Sec(0.5)), 0.5625f);
}

TEST(KFCurveEvaluateTest, ExtrapolationModes)
{
    KFCurve r;
    Ramp(r);
    // Repetition, one repetition after the keys; beyond it the last key holds.
    r.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
    r.SetPostExtrapolationCount(1);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(1.5)), 5.0f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(2.5)), 10.0f);
    // Mirror before the keys, reflected about the first key.
    r.SetPreExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    r.SetPreExtrapolationCount(1);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(-0.25)), 2.5f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(-3)), 0.0f);
    // With the default count of 0 the first key's value holds, whatever the type.
    const unsigned int types[4] = {1, 2, 3, 4};
    for (unsigned int type : types) {
        r.SetPreExtrapolation(type);
        r.SetPreExtrapolationCount(0);
        EXPECT_FLOAT_EQ(r.Evaluate(Sec(-0.25)), 0.0f) << type;
    }
    // Repetition before the keys.
    r.SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
    r.SetPreExtrapolationCount(2);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(-0.25)), 7.5f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(-1.75)), 2.5f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(-2.5)), 0.0f);
    // Mirror after the keys: the repetition next to them runs backwards.
    r.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    r.SetPostExtrapolationCount(3);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(1.25)), 7.5f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(2.25)), 2.5f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(3.25)), 7.5f);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(4.5)), 10.0f);
    // Unlimited repetitions.
    r.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
    r.SetPostExtrapolationCount(KFCURVE_UNLIMITED_REPETITION);
    EXPECT_FLOAT_EQ(r.Evaluate(Sec(100000.75)), 7.5f);

    // Keep slope, slope 10 per second, two key-range lengths.
    KFCurve k;
    Ramp(k);
    k.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE);
    k.SetPostExtrapolationCount(2);
    EXPECT_FLOAT_EQ(k.Evaluate(Sec(2)), 20.0f);
    EXPECT_FLOAT_EQ(k.Evaluate(Sec(10)), 30.0f);
    k.SetPreExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE);
    k.SetPreExtrapolationCount(1);
    EXPECT_FLOAT_EQ(k.Evaluate(Sec(-0.5)), -5.0f);
    EXPECT_FLOAT_EQ(k.Evaluate(Sec(-4)), -10.0f);
    k.SetPreExtrapolationCount(KFCURVE_UNLIMITED_REPETITION);
    EXPECT_FLOAT_EQ(k.Evaluate(Sec(-4)), -40.0f);

    // An unknown type neither reads past the keys nor makes up values.
    KFCurve u;
    Ramp(u);
    u.SetPreExtrapolation(0);
    u.SetPostExtrapolation(7);
    EXPECT_FLOAT_EQ(u.Evaluate(Sec(5)), 10.0f);
    EXPECT_FLOAT_EQ(u.Evaluate(Sec(-5)), 0.0f);
    EXPECT_FLOAT_EQ(u.EvaluateIndex(1.5), 10.0f);
    EXPECT_FLOAT_EQ(u.EvaluateIndex(-0.5), 0.0f);
    EXPECT_FLOAT_EQ(u.EvaluateIndex(1e9), 10.0f);
    EXPECT_FLOAT_EQ(u.EvaluateIndex(std::numeric_limits<double>::quiet_NaN()), 0.0f);
}

TEST(KFCurveEvaluateTest, KeyFindAllHints)
{
    KFCurve r;
    Ramp(r);
    int hint = 5;
    EXPECT_EQ(r.KeyFindAll(Sec(3), &hint), 1.0);
    EXPECT_EQ(hint, 1);
    EXPECT_EQ(r.KeyFindAll(Sec(-3), &hint), 0.0);
    EXPECT_EQ(hint, 0);
    r.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
    r.SetPostExtrapolationCount(1);
    EXPECT_DOUBLE_EQ(r.KeyFindAll(Sec(1.5), &hint), 0.5);
    EXPECT_EQ(r.KeyFindAll(Sec(2), &hint), 1.0);  // at the end of the repetitions
    EXPECT_EQ(hint, 1);
    KFCurve e;
    EXPECT_EQ(e.KeyFindAll(Sec(1)), -1.0);
}

TEST(KFCurveEvaluateTest, WeightedSegments)
{
    // Weights of a third on both sides give the unweighted curve.
    KFCurve plain, weighted;
    Add(plain, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 4.0f, -2.0f);
    Add(plain, 1.5, 1.0f, U, KFCURVE_TANGEANT_USER);
    Add(weighted, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 4.0f, -2.0f);
    Add(weighted, 1.5, 1.0f, U, KFCURVE_TANGEANT_USER);
    weighted.KeySetRightTangeantWeight(0, 0.33333334f);
    weighted.KeySetLeftTangeantWeight(1, 0.33333334f);
    ASSERT_TRUE(weighted.KeyIsRightTangeantWeighted(0));
    for (int i = 0; i <= 60; ++i) {
        const KTime t = Sec(1.5 * i / 60.0);
        EXPECT_NEAR(weighted.Evaluate(t), plain.Evaluate(t), 2e-6) << i;
    }
    // Heavier weights pull the curve further along the tangents.
    weighted.KeySetRightTangeantWeight(0, 0.9f);
    EXPECT_GT(weighted.Evaluate(Sec(0.3)), plain.Evaluate(Sec(0.3)));
    EXPECT_FLOAT_EQ(weighted.Evaluate(Sec(0)), 0.0f);
    EXPECT_FLOAT_EQ(weighted.Evaluate(Sec(1.5)), 1.0f);

    // The time solve inverts the warp: for linear weights s = 1 - u.
    for (float u = 0.05f; u < 1.0f; u += 0.1f) {
        const float s = rtsec(CubicWarp, 0.0f, 1.0f, u, 1.0f / 3.0f, 1.0f / 3.0f);
        EXPECT_NEAR(s, 1.0f - u, 1e-5);
        const float s2 = rtsec(CubicWarp, 0.0f, 1.0f, u, 0.8f, 0.1f);
        EXPECT_NEAR(CubicWarp(s2, u, 0.8f, 0.1f), 0.0f, 1e-4);
    }
}

TEST(KFCurveEvaluateTest, SequentialHintGivesTheSameValues)
{
    KFCurve c;
    for (int i = 0; i < 200; ++i)
        Add(c, i * 0.1, static_cast<float>(std::sin(i * 0.3)), U, KFCURVE_TANGEANT_AUTO);
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    c.SetPostExtrapolationCount(2);
    int hint = -1;
    for (int i = 0; i < 6000; ++i) {
        const KTime t = Sec(-1.0 + i * 0.01);
        int cold = 0;
        const float a = c.Evaluate(t, &hint);
        const float b = c.Evaluate(t, &cold);
        ASSERT_EQ(a, b) << i;
    }
}

TEST(KFCurveEvaluateTest, Candidate)
{
    KFCurve r;
    Ramp(r);
    EXPECT_FALSE(r.IsCandidate());
    EXPECT_FLOAT_EQ(r.CandidateEvaluate(Sec(0.5)), 5.0f);
    EXPECT_TRUE(r.IsCandidate());
    EXPECT_EQ(r.CandidateGetTime(), Sec(0.5));
    r.CandidateSet(Sec(0.5), 8.0);
    EXPECT_EQ(r.CandidateEvaluate(Sec(0.5)), 8.0f);  // the cached value
    r.KeySetInterpolation(0, KFCURVE_INTERPOLATION_LINEAR);
    EXPECT_EQ(r.CandidateGet(), 8.0f);
    KFCurveKey key = r.KeyGet(1);
    r.KeySet(1, key);  // a key edit drops the candidate
    EXPECT_FALSE(r.IsCandidate());
    EXPECT_EQ(r.CandidateGet(), 0.0f);
    // Evaluating at the infinite time is a real evaluation.
    EXPECT_FLOAT_EQ(r.CandidateEvaluate(KTIME_INFINITE), 10.0f);
    r.CandidateClear();
    EXPECT_EQ(r.CandidateGetTime(), KTIME_INFINITE);
}

TEST(KFCurveEvaluateTest, AllIndexMatchesExtrapolation)
{
    KFCurve c;
    const float values[4] = {0.0f, 4.0f, 1.0f, 3.0f};
    const double times[4] = {0.0, 0.3, 1.0, 1.6};
    for (int i = 0; i < 4; ++i)
        Add(c, times[i], values[i], KFCURVE_INTERPOLATION_LINEAR);
    EXPECT_EQ(c.KeyGetCountAll(), 4);

    const unsigned int types[3] = {KFCURVE_EXTRAPOLATION_CONST, KFCURVE_EXTRAPOLATION_REPETITION,
                                   KFCURVE_EXTRAPOLATION_MIRROR_REPETITION};
    for (unsigned int pre : types) {
        for (unsigned int post : types) {
            c.SetPreExtrapolation(pre);
            c.SetPreExtrapolationCount(2);
            c.SetPostExtrapolation(post);
            c.SetPostExtrapolationCount(3);
            const int all = c.KeyGetCountAll();
            ASSERT_EQ(all, (2 + 3) * 3 + 4);
            int zone = -1;
            EXPECT_EQ(c.MapIndexAll(-1, zone), 0);
            EXPECT_EQ(zone, 0);
            EXPECT_EQ(c.MapIndexAll(all, zone), 3);
            EXPECT_EQ(zone, 4);
            EXPECT_EQ(c.MapIndexAll(6, zone), 0);
            EXPECT_EQ(zone, 2);
            KTime previous = KTIME_MINUS_INFINITE;
            for (int i = 0; i < all; ++i) {
                const KTime t = c.KeyGetTimeAll(i);
                EXPECT_LE(previous, t) << pre << " " << post << " " << i;
                previous = t;
                const int key = c.MapIndexAll(i, zone);
                ASSERT_EQ(c.KeyGetRawAll(i), c.KeyGetPtr(key));
                // At a repetition boundary the two ends of the range meet;
                // elsewhere the time maps onto the very key.
                if (pre == KFCURVE_EXTRAPOLATION_REPETITION && zone == 1 && key == 0)
                    continue;
                if (pre == KFCURVE_EXTRAPOLATION_CONST && zone == 1)
                    continue;
                if (post == KFCURVE_EXTRAPOLATION_CONST && zone == 3)
                    continue;
                if (i == all - 1 && post != KFCURVE_EXTRAPOLATION_CONST)
                    continue;  // past the last repetition the last key holds
                EXPECT_FLOAT_EQ(c.Evaluate(t), values[key]) << pre << " " << post << " " << i;
            }
        }
    }
    // Mirror: the repetition next to the keys is reflected.
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    int zone;
    EXPECT_EQ(c.MapIndexAll(6 + 4, zone), 2);
    EXPECT_EQ(c.KeyGetTimeAll(10), Sec(1.6) + (Sec(1.6) - Sec(1.0)));
    // Unlimited counts keep the index space within int.
    c.SetPostExtrapolationCount(KFCURVE_UNLIMITED_REPETITION);
    EXPECT_EQ(c.KeyGetCountAll(), 2147483647);
    KFCurve empty;
    EXPECT_EQ(empty.KeyGetCountAll(), 0);
    EXPECT_EQ(empty.MapIndexAll(3, zone), -1);
    EXPECT_EQ(empty.KeyGetRawAll(0), nullptr);
}
