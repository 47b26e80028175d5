// Evaluation inside the keys, every extrapolation mode, the weighted solve, the All index view, candidate keying and
// insertion that keeps the shape, extrema of a segment and timing analysis of the keys.

#include "fcurve_test_util.h"

#include <cmath>
#include <limits>

using namespace fctest;

namespace {

// Keys (0 s, 0) and (1 s, 10), both linear.
void Ramp(KFCurve& c)
{
    AddKey(c, Sec(0), 0.0f, L);
    AddKey(c, Sec(1), 10.0f, L);
}

void Extrapolate(KFCurve& c, unsigned int pre, unsigned int preCount, unsigned int post, unsigned int postCount)
{
    c.SetPreExtrapolation(pre);
    c.SetPreExtrapolationCount(preCount);
    c.SetPostExtrapolation(post);
    c.SetPostExtrapolationCount(postCount);
}

} // namespace

TEST(KFCurveEvaluateTest, InsideTheKeys)
{
    KFCurve c;
    c.SetValue(2.5f);
    EXPECT_EQ(c.Evaluate(Sec(1)), 2.5f); // no keys: the static value
    AddKey(c, Sec(3), 4.0f, U);
    EXPECT_EQ(c.Evaluate(Sec(-10)), 4.0f); // one key: its value everywhere
    EXPECT_EQ(c.Evaluate(Sec(10)), 4.0f);
    KFCurve r;
    Ramp(r);
    EXPECT_EQ(Sample(r, -3, 3, 12), (std::vector<float>{0, 0, 0, 0, 0, 0, 0, 5, 10, 10, 10, 10, 10}));
    EXPECT_FLOAT_EQ(r.EvaluateLeftDerivative(Sec(0.3)), 10.0f);
    KFCurve k; // constant segments keep the key's value, or take the next one's
    AddKey(k, Sec(0), 1.0f, C, 0);
    AddKey(k, Sec(1), 7.0f, C, 0);
    EXPECT_EQ(k.Evaluate(Sec(0.3)), 1.0f);
    EXPECT_EQ(k.EvaluateLeftDerivative(Sec(0.3)), 0.0f);
    k.KeySetConstantMode(0, KFCURVE_CONSTANT_NEXT);
    EXPECT_EQ(Sample(k, 0, 1, 4), (std::vector<float>{1, 7, 7, 7, 7})); // on the key itself: its value
    // Flat user tangents give 3u^2 - 2u^3; slopes: on a key its own, inside the Bezier's, outside the keys 0.
    KFCurve s;
    AddKey(s, Sec(0), 0.0f, U, USER);
    AddKey(s, Sec(1), 1.0f, U, USER);
    EXPECT_FLOAT_EQ(s.Evaluate(Sec(0.5)), 0.5f);
    EXPECT_FLOAT_EQ(s.Evaluate(Sec(0.25)), 0.15625f);
    EXPECT_FLOAT_EQ(s.EvaluateLeftDerivative(Sec(0.5)), 1.5f);
    EXPECT_FLOAT_EQ(s.EvaluateRightDerivative(Sec(0.5)), 1.5f);
    EXPECT_EQ(s.EvaluateRightDerivative(Sec(0)), 0.0f);
    EXPECT_EQ(s.EvaluateLeftDerivative(Sec(2)), 0.0f);
    // Slopes 3 over 2 s: P1 = 2, P2 = -2; at u = 0.25: 3(0.75^2)(0.25)(2) + 3(0.75)(0.25^2)(-2) = 0.5625.
    KFCurve w;
    AddKey(w, Sec(0), 0.0f, U, USER, 3.0f, 3.0f);
    AddKey(w, Sec(2), 0.0f, U, USER);
    EXPECT_FLOAT_EQ(w.Evaluate(Sec(0.5)), 0.5625f);
}

TEST(KFCurveEvaluateTest, ExtrapolationModes)
{
    const unsigned int CONST = KFCURVE_EXTRAPOLATION_CONST, REP = KFCURVE_EXTRAPOLATION_REPETITION,
                       MIRROR = KFCURVE_EXTRAPOLATION_MIRROR_REPETITION, SLOPE = KFCURVE_EXTRAPOLATION_KEEP_SLOPE,
                       ENDLESS = KFCURVE_UNLIMITED_REPETITION;
    // On the ramp (0 s, 0) to (1 s, 10): past the last repetition the end key holds.
    const struct
    {
        unsigned int pre, preCount, post, postCount;
        double time;
        float value;
    } cases[] = {
        {CONST, 0, REP, 1, 1.5, 5},
        {CONST, 0, REP, 1, 2.5, 10},
        {MIRROR, 1, CONST, 0, -0.25, 2.5},
        {MIRROR, 1, CONST, 0, -3, 0},
        {REP, 0, CONST, 0, -0.25, 0},
        {MIRROR, 0, CONST, 0, -0.25, 0}, // count 0: the first key holds
        {SLOPE, 0, CONST, 0, -0.25, 0},
        {REP, 2, CONST, 0, -0.25, 7.5},
        {REP, 2, CONST, 0, -1.75, 2.5},
        {REP, 2, CONST, 0, -2.5, 0},
        {CONST, 0, MIRROR, 3, 1.25, 7.5},
        {CONST, 0, MIRROR, 3, 2.25, 2.5}, // reflected next to the keys
        {CONST, 0, MIRROR, 3, 3.25, 7.5},
        {CONST, 0, MIRROR, 3, 4.5, 10},
        {CONST, 0, REP, ENDLESS, 100000.75, 7.5},
        {CONST, 0, SLOPE, 2, 2, 20},
        {CONST, 0, SLOPE, 2, 10, 30}, // slope 10, two key-range lengths
        {SLOPE, 1, CONST, 0, -0.5, -5},
        {SLOPE, 1, CONST, 0, -4, -10},
        {SLOPE, ENDLESS, CONST, 0, -4, -40},
        {0, 1, 7, 1, 5, 10},
        {0, 1, 7, 1, -5, 0}, // unknown types: the end keys
    };
    for (const auto& k : cases)
    {
        KFCurve r;
        Ramp(r);
        Extrapolate(r, k.pre, k.preCount, k.post, k.postCount);
        EXPECT_FLOAT_EQ(r.Evaluate(Sec(k.time)), k.value) << k.pre << "/" << k.post << " at " << k.time;
    }
    KFCurve u; // an unknown type neither reads past the keys nor makes up values
    Ramp(u);
    Extrapolate(u, 0, 1, 7, 1);
    for (double index : {1.5, -0.5, 1e9, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FLOAT_EQ(u.EvaluateIndex(index), index > 1 ? 10.0f : 0.0f) << index;
    KFCurve r; // KeyFindAll answers within the repetitions and clamps outside them
    Ramp(r);
    int hint = 5;
    EXPECT_EQ(r.KeyFindAll(Sec(3), &hint), 1.0);
    EXPECT_EQ(hint, 1);
    EXPECT_EQ(r.KeyFindAll(Sec(-3), &hint), 0.0);
    EXPECT_EQ(hint, 0);
    Extrapolate(r, CONST, 0, REP, 1);
    EXPECT_DOUBLE_EQ(r.KeyFindAll(Sec(1.5), &hint), 0.5);
    EXPECT_EQ(r.KeyFindAll(Sec(2), &hint), 1.0); // at the end of the repetitions
    EXPECT_EQ(hint, 1);
    KFCurve e;
    EXPECT_EQ(e.KeyFindAll(Sec(1)), -1.0);
}

TEST(KFCurveEvaluateTest, WeightedSegmentsAndTheSequentialHint)
{
    KFCurve plain, weighted; // weights of a third on both sides give the unweighted curve
    for (KFCurve* c : {&plain, &weighted})
    {
        AddKey(*c, Sec(0), 0.0f, U, USER, 4.0f, -2.0f);
        AddKey(*c, Sec(1.5), 1.0f, U, USER);
    }
    weighted.KeySetRightTangeantWeight(0, KFCURVE_DEFAULT_WEIGHT);
    weighted.KeySetLeftTangeantWeight(1, KFCURVE_DEFAULT_WEIGHT);
    ASSERT_TRUE(weighted.KeyIsRightTangeantWeighted(0));
    ExpectNearAll(Sample(weighted, 0, 1.5, 60), Sample(plain, 0, 1.5, 60), 2e-6);
    weighted.KeySetRightTangeantWeight(0, 0.9f); // heavier weights pull the curve further along the tangents
    EXPECT_GT(weighted.Evaluate(Sec(0.3)), plain.Evaluate(Sec(0.3)));
    EXPECT_FLOAT_EQ(weighted.Evaluate(Sec(0)), 0.0f);
    EXPECT_FLOAT_EQ(weighted.Evaluate(Sec(1.5)), 1.0f);
    // The time solve inverts the warp: for linear weights s = 1 - u.
    for (float u = 0.05f; u < 1.0f; u += 0.1f)
    {
        EXPECT_NEAR(rtsec(CubicWarp, 0.0f, 1.0f, u, 1.0f / 3.0f, 1.0f / 3.0f), 1.0f - u, 1e-5);
        const float s2 = rtsec(CubicWarp, 0.0f, 1.0f, u, 0.8f, 0.1f);
        EXPECT_NEAR(CubicWarp(s2, u, 0.8f, 0.1f), 0.0f, 1e-4);
    }
    KFCurve c; // evaluating with a running hint gives what a cold search gives
    for (int i = 0; i < 200; ++i)
        AddKey(c, Sec(i * 0.1), static_cast<float>(std::sin(i * 0.3)), U, AUTO);
    Extrapolate(c, KFCURVE_EXTRAPOLATION_CONST, 0, KFCURVE_EXTRAPOLATION_MIRROR_REPETITION, 2);
    int hint = -1;
    for (int i = 0; i < 6000; ++i)
    {
        int cold = 0;
        ASSERT_EQ(c.Evaluate(Sec(-1.0 + i * 0.01), &hint), c.Evaluate(Sec(-1.0 + i * 0.01), &cold)) << i;
    }
}

TEST(KFCurveEvaluateTest, AllIndexMatchesExtrapolation)
{
    KFCurve c;
    const float values[4] = {0.0f, 4.0f, 1.0f, 3.0f};
    const double times[4] = {0.0, 0.3, 1.0, 1.6};
    for (int i = 0; i < 4; ++i)
        AddKey(c, Sec(times[i]), values[i], L);
    EXPECT_EQ(c.KeyGetCountAll(), 4);
    const unsigned int types[3] = {KFCURVE_EXTRAPOLATION_CONST, KFCURVE_EXTRAPOLATION_REPETITION,
                                   KFCURVE_EXTRAPOLATION_MIRROR_REPETITION};
    for (unsigned int pre : types)
    {
        for (unsigned int post : types)
        {
            Extrapolate(c, pre, 2, post, 3);
            const int all = c.KeyGetCountAll();
            ASSERT_EQ(all, (2 + 3) * 3 + 4);
            int zone = -1;
            auto map = [&](int i) { return std::vector<int>{c.MapIndexAll(i, zone), zone}; }; // key and zone
            EXPECT_EQ(map(-1), (std::vector<int>{0, 0}));
            EXPECT_EQ(map(all), (std::vector<int>{3, 4}));
            EXPECT_EQ(map(6), (std::vector<int>{0, 2}));
            KTime previous = KTIME_MINUS_INFINITE;
            for (int i = 0; i < all; ++i)
            {
                const KTime t = c.KeyGetTimeAll(i);
                EXPECT_LE(previous, t) << pre << " " << post << " " << i;
                previous = t;
                const int key = c.MapIndexAll(i, zone);
                ASSERT_EQ(c.KeyGetRawAll(i), c.KeyGetPtr(key));
                // Where range ends meet, or past the last repetition, another key holds; else the very key.
                if ((pre == KFCURVE_EXTRAPOLATION_REPETITION && zone == 1 && key == 0) ||
                    (pre == KFCURVE_EXTRAPOLATION_CONST && zone == 1) ||
                    (post == KFCURVE_EXTRAPOLATION_CONST && zone == 3) ||
                    (i == all - 1 && post != KFCURVE_EXTRAPOLATION_CONST))
                    continue;
                EXPECT_FLOAT_EQ(c.Evaluate(t), values[key]) << pre << " " << post << " " << i;
            }
        }
    }
    int zone; // mirror: the repetition next to the keys is reflected
    EXPECT_EQ(c.MapIndexAll(6 + 4, zone), 2);
    EXPECT_EQ(c.KeyGetTimeAll(10), Sec(1.6) + (Sec(1.6) - Sec(1.0)));
    c.SetPostExtrapolationCount(KFCURVE_UNLIMITED_REPETITION); // unlimited counts keep the index space within int
    EXPECT_EQ(c.KeyGetCountAll(), 2147483647);
    EXPECT_EQ(KFCurve().KeyGetCountAll(), 0);
}

TEST(KFCurveCandidateTest, CandidateCacheAndKeying)
{
    KFCurve r;
    Ramp(r);
    EXPECT_FALSE(r.IsCandidate());
    EXPECT_FLOAT_EQ(r.CandidateEvaluate(Sec(0.5)), 5.0f);
    EXPECT_EQ(r.CandidateGetTime(), Sec(0.5));
    r.CandidateSet(Sec(0.5), 8.0);
    EXPECT_EQ(r.CandidateEvaluate(Sec(0.5)), 8.0f); // the cached value
    r.KeySetInterpolation(0, L);
    EXPECT_EQ(r.CandidateGet(), 8.0f);
    KFCurveKey key = r.KeyGet(1);
    r.KeySet(1, key); // a key edit drops the candidate
    EXPECT_FALSE(r.IsCandidate());
    EXPECT_EQ(r.CandidateGet(), 0.0f);
    EXPECT_FLOAT_EQ(r.CandidateEvaluate(KTIME_INFINITE), 10.0f); // a real evaluation
    r.CandidateClear();
    EXPECT_EQ(r.CandidateGetTime(), KTIME_INFINITE);
    KFCurve c; // keying: nothing without a candidate; then a key of the given kind
    EXPECT_EQ(c.CandidateKey(nullptr, U, AUTO), 1);
    c.CandidateSet(Sec(2), 5.0);
    EXPECT_EQ(c.CandidateKey(nullptr, U, AUTO), 0);
    EXPECT_EQ(Times(c), (std::vector<long long>{2 * kTicksPerSecond}));
    EXPECT_EQ(c.KeyGetValue(0), 5.0f);
    EXPECT_EQ(c.KeyGetTangeantMode(0), 0x100u);
    KFCurve b, t; // broken auto and TCB keys
    b.CandidateSet(Sec(1), 1.0);
    b.CandidateKey(nullptr, U, AUTO, true);
    EXPECT_EQ(b.KeyGetTangeantMode(0), 0x900u);
    EXPECT_EQ(b.KeyGetDataDouble(0, KFCURVEKEY_RIGHT_AUTO), 100.0f);
    t.CandidateSet(Sec(1), 1.0);
    t.CandidateKey(nullptr, U, KFCURVE_TANGEANT_TCB, true);
    EXPECT_EQ(t.KeyGetTangeantMode(0), 0x200u);
    EXPECT_EQ(t.KeyGetDataFloat(0, KFCURVEKEY_TCB_CONTINUITY), -1.0f);
    // On an existing key: the value changes, its tangents are kept, or with tangentBreak flattened and broken.
    KFCurve e;
    AddKey(e, Sec(0), 0.0f, U, USER, 1.0f, 1.0f);
    AddKey(e, Sec(1), 1.0f, U, USER, 2.0f, 2.0f);
    AddKey(e, Sec(2), 0.0f, U, USER);
    e.CandidateSet(Sec(1), 3.0);
    EXPECT_EQ(e.CandidateKey(nullptr, U, USER, false, false), 0);
    EXPECT_EQ(Values(e), (std::vector<float>{0, 3, 0}));
    EXPECT_EQ(Derivatives(e, 1), Vec({1.0, 2.0}));
    e.CandidateSet(Sec(1), 2.0);
    e.CandidateKey(nullptr, U, USER, true, false);
    EXPECT_EQ(Derivatives(e, 1), Vec({0.0, 0.0}));
    e.CandidateSet(Sec(1.1), 5.0); // a tolerance snaps to a key closer than it (in key-index units)
    e.CandidateKey(nullptr, U, USER, false, false, KTIME_INFINITE, 0.2);
    EXPECT_EQ(Values(e), (std::vector<float>{0, 5, 0}));
    EXPECT_EQ(e.KeyGetTime(1), Sec(1.1));
}

TEST(KFCurveCandidateTest, InsertingKeepsTheShape)
{
    KFCurve lin;
    AddKey(lin, Sec(0), 0.0f, L);
    AddKey(lin, Sec(2), 4.0f, L);
    AddKey(lin, Sec(3), 1.0f, L);
    std::vector<float> before = Sample(lin, -1, 4, 250);
    EXPECT_EQ(lin.KeyInsert(Sec(0.7)), 1);
    EXPECT_FLOAT_EQ(lin.KeyGetValue(1), 1.4f);
    ExpectNearAll(before, Sample(lin, -1, 4, 250), 1e-5);
    EXPECT_EQ(lin.KeyInsert(Sec(2)), 2); // at an existing key's time nothing happens
    EXPECT_EQ(lin.KeyGetCount(), 4);
    KFCurve c; // cubic auto: the neighbouring segments keep their shape too
    const float values[6] = {0.0f, 3.0f, -1.0f, 2.5f, 2.0f, 6.0f};
    const double times[6] = {0.0, 0.4, 1.1, 1.5, 2.6, 3.0};
    for (int i = 0; i < 6; ++i)
        AddKey(c, Sec(times[i]), values[i], U, AUTO);
    before = Sample(c, -0.5, 3.5, 400);
    EXPECT_EQ(c.KeyInsert(Sec(1.3)), 3);
    EXPECT_EQ(c.KeyGetTangeantMode(3), 0x100u);
    c.KeyInsert(Sec(0.1)); // the first segment
    ExpectNearAll(before, Sample(c, -0.5, 3.5, 400), 2e-4);
    EXPECT_EQ(c.KeyInsert(Sec(3.25)), 8); // after the last key: the new key's own index
    EXPECT_EQ(c.KeyGetCount(), 9);
    KFCurve u; // cubic user and break
    AddKey(u, Sec(0), 0.0f, U, USER, 5.0f, -2.0f);
    AddKey(u, Sec(1), 1.0f, U, BREAK, 4.0f, 1.0f);
    AddKey(u, Sec(3), 0.0f, U, USER);
    before = Sample(u, 0, 3, 300);
    u.KeyInsert(Sec(0.35));
    u.KeyInsert(Sec(2.2));
    ExpectNearAll(before, Sample(u, 0, 3, 300), 2e-4);
    EXPECT_EQ(u.KeyGetCount(), 5);
}

TEST(KFCurveCandidateTest, FindPeaksAndKeyTiming)
{
    // One extremum (1/3 s, 4/9); an S-shaped segment has two; a straight cubic (qa = 0) or a bad index none.
    KFCurve c, s, line;
    AddKey(c, Sec(0), 0.0f, U, USER, 3.0f, 0.0f);
    AddKey(c, Sec(1), 0.0f, U, USER);
    AddKey(s, Sec(0), 0.0f, U, USER, 3.0f, 3.0f);
    AddKey(s, Sec(1), 0.0f, U, USER);
    AddKey(line, Sec(0), 0.0f, U, USER, 1.0f, 1.0f);
    AddKey(line, Sec(1), 1.0f, U, USER);
    KTime t1(0), t2(0);
    float v1 = 0, v2 = 0;
    EXPECT_EQ(c.FindPeaks(0, t1, t2), 1);
    EXPECT_NEAR(t1.GetSecondDouble(), 1.0 / 3.0, 1e-6);
    EXPECT_EQ(c.FindPeaks(0, v1, v2), 1);
    EXPECT_NEAR(v1, 4.0 / 9.0, 1e-5);
    EXPECT_EQ(s.FindPeaks(0, t1, v1, t2, v2), 2);
    EXPECT_NEAR(t1.GetSecondDouble(), (18 - std::sqrt(108.0)) / 36, 1e-5);
    EXPECT_LT(t1, t2);
    EXPECT_GT(v1, 0.0f);
    EXPECT_LT(v2, 0.0f);
    for (int index : {0, 1, -1})
        EXPECT_EQ(line.FindPeaks(index, t1, t2), 0) << index;
    KFCurve d; // cubic keys a frame apart were data; a tick off still counts as even
    for (int i = 0; i < 4; ++i)
        AddKey(d, Sec(i / 30.0), static_cast<float>(i), U, AUTO);
    KTime first(99), period(0);
    EXPECT_EQ(d.GuessWasData(&first, &period), 2);
    EXPECT_EQ(first, KTime(0));
    EXPECT_EQ(period, KTime(kTicksPerFrame30));
    d.KeySetTime(2, d.KeyGetTime(2) + KTime(2));
    EXPECT_EQ(d.GuessWasData(), 1);
    d.KeySetTime(2, d.KeyGetTime(2) - KTime(1));
    EXPECT_EQ(d.GuessWasData(), 2);
    d.KeySetInterpolation(3, L);
    EXPECT_EQ(d.GuessWasData(), 0);
    KFCurve one;
    AddKey(one, Sec(0), 0.0f, U);
    EXPECT_EQ(one.GuessWasData(), 1);
    EXPECT_EQ(one.KeyGetAverageRate(), KTime(0));
    KFCurve r;
    AddKeys(r, {0, 0, 0}, 1.0, U);
    AddKey(r, Sec(4), 0.0f, U);
    bool regular = true;
    KTime interval(0), largest(0);
    EXPECT_EQ(r.KeyGetAverageRate(&regular, &interval, &largest), Sec(4) / KTime(3));
    EXPECT_TRUE(!regular && interval == Sec(1) && largest == Sec(2));
}
