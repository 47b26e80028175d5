// Candidate keying keeps the curve's shape; extrema of a segment; timing
// analysis of the keys.

#include "fcurve/kfcurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

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

std::vector<float> Sample(KFCurve& c, double from, double to, int n)
{
    std::vector<float> v;
    for (int i = 0; i <= n; ++i)
        v.push_back(c.Evaluate(Sec(from + (to - from) * i / n)));
    return v;
}

void ExpectSameShape(const std::vector<float>& a, const std::vector<float>& b, double tolerance)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << i;
}

const unsigned int U = KFCURVE_INTERPOLATION_CUBIC;

}  // namespace

TEST(KFCurveCandidateTest, KeyingOnAnEmptyCurve)
{
    KFCurve c;
    EXPECT_EQ(c.CandidateKey(nullptr, U, KFCURVE_TANGEANT_AUTO), 1);
    EXPECT_EQ(c.KeyGetCount(), 0);
    c.CandidateSet(Sec(2), 5.0);
    EXPECT_EQ(c.CandidateKey(nullptr, U, KFCURVE_TANGEANT_AUTO), 0);
    ASSERT_EQ(c.KeyGetCount(), 1);
    EXPECT_EQ(c.KeyGetTime(0), Sec(2));
    EXPECT_EQ(c.KeyGetValue(0), 5.0f);
    EXPECT_EQ(c.KeyGetTangeantMode(0), 0x100u);

    // Broken auto and TCB keys.
    KFCurve b;
    b.CandidateSet(Sec(1), 1.0);
    b.CandidateKey(nullptr, U, KFCURVE_TANGEANT_AUTO, true);
    EXPECT_EQ(b.KeyGetTangeantMode(0), 0x900u);
    EXPECT_EQ(b.KeyGetDataDouble(0, KFCURVEKEY_RIGHT_AUTO), 100.0f);
    KFCurve t;
    t.CandidateSet(Sec(1), 1.0);
    t.CandidateKey(nullptr, U, KFCURVE_TANGEANT_TCB, true);
    EXPECT_EQ(t.KeyGetTangeantMode(0), 0x200u);
    EXPECT_EQ(t.KeyGetDataFloat(0, KFCURVEKEY_TCB_CONTINUITY), -1.0f);
}

TEST(KFCurveCandidateTest, InsertingKeepsTheShape)
{
    // Linear.
    KFCurve lin;
    Add(lin, 0, 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    Add(lin, 2, 4.0f, KFCURVE_INTERPOLATION_LINEAR);
    Add(lin, 3, 1.0f, KFCURVE_INTERPOLATION_LINEAR);
    std::vector<float> before = Sample(lin, -1, 4, 250);
    EXPECT_EQ(lin.KeyInsert(Sec(0.7)), 1);
    EXPECT_EQ(lin.KeyGetCount(), 4);
    EXPECT_FLOAT_EQ(lin.KeyGetValue(1), 1.4f);
    ExpectSameShape(before, Sample(lin, -1, 4, 250), 1e-5);
    // At an existing key's time nothing happens.
    EXPECT_EQ(lin.KeyInsert(Sec(2)), 2);
    EXPECT_EQ(lin.KeyGetCount(), 4);

    // Cubic auto: the neighbouring segments keep their shape too.
    KFCurve c;
    const float values[6] = {0.0f, 3.0f, -1.0f, 2.5f, 2.0f, 6.0f};
    const double times[6] = {0.0, 0.4, 1.1, 1.5, 2.6, 3.0};
    for (int i = 0; i < 6; ++i)
        Add(c, times[i], values[i], U, KFCURVE_TANGEANT_AUTO);
    before = Sample(c, -0.5, 3.5, 400);
    const int index = c.KeyInsert(Sec(1.3));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(c.KeyGetCount(), 7);
    EXPECT_EQ(c.KeyGetTangeantMode(3), 0x100u);
    ExpectSameShape(before, Sample(c, -0.5, 3.5, 400), 2e-4);
    // Again at the first segment and after the last key.
    c.KeyInsert(Sec(0.1));
    ExpectSameShape(before, Sample(c, -0.5, 3.5, 400), 2e-4);
    EXPECT_EQ(c.KeyInsert(Sec(3.25)), 8);  // the new key's own index
    EXPECT_EQ(c.KeyGetCount(), 9);

    // Cubic user and break.
    KFCurve u;
    Add(u, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 5.0f, -2.0f);
    Add(u, 1, 1.0f, U, KFCURVE_TANGEANT_BREAK, 4.0f, 1.0f);
    Add(u, 3, 0.0f, U, KFCURVE_TANGEANT_USER);
    before = Sample(u, 0, 3, 300);
    u.KeyInsert(Sec(0.35));
    u.KeyInsert(Sec(2.2));
    ExpectSameShape(before, Sample(u, 0, 3, 300), 2e-4);
    EXPECT_EQ(u.KeyGetCount(), 5);
}

TEST(KFCurveCandidateTest, KeyingOnAnExistingKey)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 1.0f, 1.0f);
    Add(c, 1, 1.0f, U, KFCURVE_TANGEANT_USER, 2.0f, 2.0f);
    Add(c, 2, 0.0f, U, KFCURVE_TANGEANT_USER);
    c.CandidateSet(Sec(1), 3.0);
    EXPECT_EQ(c.CandidateKey(nullptr, U, KFCURVE_TANGEANT_USER, false, false), 0);
    EXPECT_EQ(c.KeyGetCount(), 3);
    EXPECT_EQ(c.KeyGetValue(1), 3.0f);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), 1.0f);  // its tangents are kept
    EXPECT_EQ(c.KeyGetRightDerivative(1), 2.0f);
    // With tangentBreak the key is flattened and broken.
    c.CandidateSet(Sec(1), 2.0);
    c.CandidateKey(nullptr, U, KFCURVE_TANGEANT_USER, true, false);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), 0.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(1), 0.0f);
    // A tolerance snaps to a key closer than it (in key-index units).
    c.CandidateSet(Sec(1.1), 5.0);
    c.CandidateKey(nullptr, U, KFCURVE_TANGEANT_USER, false, false, KTIME_INFINITE, 0.2);
    EXPECT_EQ(c.KeyGetCount(), 3);
    EXPECT_EQ(c.KeyGetTime(1), Sec(1.1));
    EXPECT_EQ(c.KeyGetValue(1), 5.0f);
}

TEST(KFCurveCandidateTest, FindPeaks)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 3.0f, 0.0f);
    Add(c, 1, 0.0f, U, KFCURVE_TANGEANT_USER);
    KTime t1(0), t2(0);
    EXPECT_EQ(c.FindPeaks(0, t1, t2), 1);
    EXPECT_NEAR(t1.GetSecondDouble(), 1.0 / 3.0, 1e-6);
    float v1 = 0, v2 = 0;
    EXPECT_EQ(c.FindPeaks(0, v1, v2), 1);
    EXPECT_FLOAT_EQ(v1, c.Evaluate(t1));
    EXPECT_NEAR(v1, 4.0 / 9.0, 1e-5);

    // An S-shaped segment has two extrema.
    KFCurve s;
    Add(s, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 3.0f, 3.0f);
    Add(s, 1, 0.0f, U, KFCURVE_TANGEANT_USER);
    KTime a(0), b(0);
    float va = 0, vb = 0;
    EXPECT_EQ(s.FindPeaks(0, a, va, b, vb), 2);
    EXPECT_LT(a, b);
    EXPECT_NEAR(a.GetSecondDouble(), (18 - std::sqrt(108.0)) / 36, 1e-5);
    EXPECT_GT(va, 0.0f);
    EXPECT_LT(vb, 0.0f);

    // A cubic along a straight line (qa = 0) and a monotone one have none.
    KFCurve line;
    Add(line, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 1.0f, 1.0f);
    Add(line, 1, 1.0f, U, KFCURVE_TANGEANT_USER);
    EXPECT_EQ(line.FindPeaks(0, t1, t2), 0);
    EXPECT_EQ(line.FindPeaks(1, t1, t2), 0);
    EXPECT_EQ(line.FindPeaks(-1, t1, t2), 0);
}

TEST(KFCurveCandidateTest, KeyTiming)
{
    const long long frame = 1539538600;  // 1/30 s
    KFCurve c;
    for (int i = 0; i < 4; ++i)
        Add(c, i / 30.0, static_cast<float>(i), U, KFCURVE_TANGEANT_AUTO);
    KTime first(99), period(0);
    EXPECT_EQ(c.GuessWasData(&first, &period), 2);
    EXPECT_EQ(first, KTime(0));
    EXPECT_EQ(period, KTime(frame));
    c.KeySetTime(2, c.KeyGetTime(2) + KTime(2));
    EXPECT_EQ(c.GuessWasData(), 1);
    c.KeySetTime(2, c.KeyGetTime(2) - KTime(1));  // one tick off is still even
    EXPECT_EQ(c.GuessWasData(), 2);
    c.KeySetInterpolation(3, KFCURVE_INTERPOLATION_LINEAR);
    EXPECT_EQ(c.GuessWasData(), 0);
    KFCurve one;
    Add(one, 0, 0.0f, U);
    EXPECT_EQ(one.GuessWasData(), 1);

    KFCurve r;
    Add(r, 0, 0.0f, U);
    Add(r, 1, 0.0f, U);
    Add(r, 2, 0.0f, U);
    Add(r, 4, 0.0f, U);
    bool regular = true;
    KTime interval(0), largest(0);
    EXPECT_EQ(r.KeyGetAverageRate(&regular, &interval, &largest), Sec(4) / KTime(3));
    EXPECT_FALSE(regular);
    EXPECT_EQ(interval, Sec(1));
    EXPECT_EQ(largest, Sec(2));
    EXPECT_EQ(one.KeyGetAverageRate(), KTime(0));
}
