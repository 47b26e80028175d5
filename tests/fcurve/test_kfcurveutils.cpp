#include "fcurve/kfcurveutils.h"

#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const long long kSecond = 46186158000LL;

KTime Sec(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

// Adds one key of the given kind; slopes for user tangents.
void AddKey(KFCurve& c, KTime t, float v, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
            unsigned int mode = KFCURVE_TANGEANT_AUTO, float right = 0.0f, float nextLeft = 0.0f)
{
    KFCurveKey key;
    key.Init();
    key.Set(t, v, interpolation, mode, right, nextLeft);
    c.KeyAdd(t, key);
}

std::vector<long long> Times(KFCurve& c)
{
    std::vector<long long> out;
    for (int i = 0; i < c.KeyGetCount(); ++i)
        out.push_back(c.KeyGetTime(i).Get());
    return out;
}

std::vector<float> Values(KFCurve& c)
{
    std::vector<float> out;
    for (int i = 0; i < c.KeyGetCount(); ++i)
        out.push_back(c.KeyGetValue(i));
    return out;
}

}  // namespace

TEST(KFCurveUtils, CompareCurve)
{
    KFCurve a, b;
    EXPECT_TRUE(KFCurveUtils::CompareCurve(&a, &b));  // no keys, equal defaults
    b.SetValue(1.0f);
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&a, &b));
    b.SetValue(0.0f);

    AddKey(a, KTime(100), 1.0f);
    AddKey(b, KTime(101), 1.0f);  // one tick apart
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&a, &b));

    KFCurve c, d;
    AddKey(c, KTime(0), 1.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 2.0f, 3.0f);
    AddKey(c, KTime(kSecond), 2.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 2.0f, 3.0f);
    d.CopyFrom(c, true);
    EXPECT_TRUE(KFCurveUtils::CompareCurve(&c, &d));
    d.KeySetDataDouble(0, KFCURVEKEY_RIGHT_SLOPE, 2.5f);
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&c, &d));

    // Auto tangents compare kinds only.
    KFCurve e, f;
    AddKey(e, KTime(0), 1.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 5.0f);
    AddKey(f, KTime(0), 1.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 7.0f);
    EXPECT_TRUE(KFCurveUtils::CompareCurve(&e, &f));
    f.KeySetTangeantMode(0, KFCURVE_TANGEANT_TCB);
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&e, &f));

    EXPECT_TRUE(KFCurveUtils::CompareCurve(nullptr, nullptr));
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&a, nullptr));
}

TEST(KFCurveUtils, GlobalInterpolationAndTangent)
{
    KFCurve empty;
    unsigned int out = 99;
    EXPECT_FALSE(KFCurveUtils::GetGlobalInterpolation(out, empty));
    EXPECT_EQ(0u, out);
    EXPECT_EQ(0, KFCurveUtils::GetLastErrorID());
    EXPECT_STREQ("KFCurveFilter, No key to be filtered.", KFCurveUtils::GetLastErrorString());

    KFCurve c;
    AddKey(c, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CONSTANT);
    AddKey(c, KTime(10), 0.0f, KFCURVE_INTERPOLATION_CONSTANT);
    KFCurveUtils::GetError().ClearLastError();
    EXPECT_TRUE(KFCurveUtils::GetGlobalInterpolation(out, c));
    EXPECT_EQ(2u, out);
    EXPECT_EQ(-1, KFCurveUtils::GetLastErrorID());  // one kind: nothing recorded

    AddKey(c, KTime(20), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    EXPECT_TRUE(KFCurveUtils::GetGlobalInterpolation(out, c));
    EXPECT_EQ(6u, out);
    EXPECT_EQ(1, KFCurveUtils::GetLastErrorID());
    EXPECT_STREQ("KFCurveFilter, No single interpolation type.", KFCurveUtils::GetLastErrorString());

    KFCurve t;
    AddKey(t, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    AddKey(t, KTime(10), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER);
    EXPECT_TRUE(KFCurveUtils::GetGlobalTangeant(out, t));
    EXPECT_EQ(0x500u, out);
    EXPECT_STREQ("KFCurveFilter, No single tangeant mode.", KFCurveUtils::GetLastErrorString());
}

TEST(KFCurveUtils, InterpolationAndTangentCount)
{
    KFCurve c;
    AddKey(c, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CONSTANT);
    AddKey(c, KTime(1), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(c, KTime(2), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(c, KTime(3), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    AddKey(c, KTime(4), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO_BREAK);
    AddKey(c, KTime(5), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER);
    AddKey(c, KTime(6), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_BREAK);
    AddKey(c, KTime(7), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_TCB);
    AddKey(c, KTime(8), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_GENERIC_BREAK);  // not counted
    int counts[7] = {-1, -1, -1, -1, -1, -1, -1};
    EXPECT_TRUE(KFCurveUtils::GetInterpolationAndTangeantCount(c, counts));
    const int expected[7] = {1, 2, 1, 1, 1, 1, 1};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(expected[i], counts[i]) << i;
}

TEST(KFCurveUtils, FixedPeriodResample)
{
    KFCurve src;
    AddKey(src, KTime(0), 0.0f);
    AddKey(src, KTime(10), 10.0f);

    KFCurve dst;
    KTime start(0), stop(10), period(3);
    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop, period, KFCURVE_INTERPOLATION_CUBIC,
                                       KFCURVE_TANGEANT_AUTO, true));
    EXPECT_EQ((std::vector<long long>{0, 3, 6, 9, 10}), Times(dst));
    EXPECT_EQ((std::vector<float>{0, 3, 6, 9, 10}), Values(dst));
    EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, dst.KeyGetInterpolation(4));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO), dst.KeyGetTangeantMode(4));

    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop, period, KFCURVE_INTERPOLATION_LINEAR,
                                       KFCURVE_TANGEANT_AUTO, false));
    EXPECT_EQ((std::vector<long long>{0, 3, 6, 9}), Times(dst));
    EXPECT_EQ(KFCURVE_INTERPOLATION_LINEAR, dst.KeyGetInterpolation(0));

    // A whole number of periods: no extra key at the stop.
    KTime stop9(9);
    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop9, period, KFCURVE_INTERPOLATION_CUBIC,
                                       KFCURVE_TANGEANT_AUTO, true));
    EXPECT_EQ((std::vector<long long>{0, 3, 6, 9}), Times(dst));

    // Refused: empty range, period not positive. The destination is untouched.
    KTime zero(0), minus(-3);
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, stop, start, period, 8, 0x100, true));
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, zero, 8, 0x100, true));
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, minus, 8, 0x100, true));
    EXPECT_EQ(4, dst.KeyGetCount());
}

TEST(KFCurveUtils, ResampleIsBoundedForExtremeSpans)
{
    KFCurve src, dst;
    AddKey(src, KTime(0), 1.0f);
    AddKey(dst, KTime(5), 2.0f);
    // The full tick range at one tick: the span does not overflow, the
    // sample count is refused and nothing is allocated.
    KTime start(-0x7FFFFFFFFFFFFFFFLL), stop(0x7FFFFFFFFFFFFFFFLL), period(1);
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, period, 8, 0x100, true));
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, period, true));
    EXPECT_EQ(1, dst.KeyGetCount());
    EXPECT_EQ(-1, kfcurveutils_detail::SampleCount(start, stop, period));
    EXPECT_EQ(4, kfcurveutils_detail::SampleCount(KTime(0), KTime(10), KTime(3)));
    EXPECT_EQ(-1, kfcurveutils_detail::SampleCount(KTime(0), KTime(10), KTime(0)));

    // In place, with keys at the ends of the tick range.
    KFCurve wide;
    AddKey(wide, KTime(-0x7FFFFFFFFFFFFFF0LL), 0.0f);
    AddKey(wide, KTime(0x7FFFFFFFFFFFFFF0LL), 1.0f);
    EXPECT_FALSE(KFCurveUtils::Resample(wide, KTIME_MINUS_INFINITE, KTIME_INFINITE, KTime(kSecond), false));
    EXPECT_EQ(2, wide.KeyGetCount());
}

TEST(KFCurveUtils, SourceFollowingResample)
{
    KFCurve src;
    AddKey(src, KTime(0), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(src, KTime(10), 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_TCB);
    AddKey(src, KTime(20), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 0.0f, 0.0f);

    KFCurve dst;
    KTime start(0), stop(25), period(5);
    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop, period, false));
    EXPECT_EQ((std::vector<long long>{0, 5, 10, 15, 20, 25}), Times(dst));
    EXPECT_EQ(KFCURVE_INTERPOLATION_LINEAR, dst.KeyGetInterpolation(0));
    EXPECT_EQ(KFCURVE_INTERPOLATION_LINEAR, dst.KeyGetInterpolation(1));
    EXPECT_FLOAT_EQ(5.0f, dst.KeyGetValue(1));
    // TCB keys become auto.
    EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, dst.KeyGetInterpolation(2));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO), dst.KeyGetTangeantMode(3));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), dst.KeyGetTangeantMode(4));
    // After the last key: the defaults, cubic auto.
    EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, dst.KeyGetInterpolation(5));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO), dst.KeyGetTangeantMode(5));
}

TEST(KFCurveUtils, InPlaceResample)
{
    KFCurve c;
    AddKey(c, KTime(0), 0.0f);
    AddKey(c, KTime(kSecond), 10.0f);
    ASSERT_TRUE(KFCurveUtils::Resample(c, KTIME_MINUS_INFINITE, KTIME_INFINITE, KTime(kSecond / 4), false));
    EXPECT_EQ((std::vector<long long>{0, kSecond / 4, kSecond / 2, 3 * kSecond / 4, kSecond}), Times(c));
    EXPECT_EQ((std::vector<float>{0.0f, 2.5f, 5.0f, 7.5f, 10.0f}), Values(c));

    // Keys on frame: a start of 25 at a period of 10 samples from 30.
    KFCurve d;
    AddKey(d, KTime(0), 0.0f);
    AddKey(d, KTime(100), 100.0f);
    ASSERT_TRUE(KFCurveUtils::Resample(d, KTime(25), KTime(60), KTime(10), true));
    std::vector<long long> times = Times(d);
    EXPECT_NE(times.end(), std::find(times.begin(), times.end(), 30LL));
    EXPECT_EQ(times.end(), std::find(times.begin(), times.end(), 25LL));
    EXPECT_NE(times.end(), std::find(times.begin(), times.end(), 60LL));

    EXPECT_FALSE(KFCurveUtils::Resample(d, KTime(5), KTime(5), KTime(1), false));
    EXPECT_FALSE(KFCurveUtils::Resample(d, KTime(0), KTime(5), KTime(0), false));
}

TEST(KFCurveUtils, MergeCases)
{
    KFCurve src;
    for (int t = 0; t <= 40; t += 10)
        AddKey(src, KTime(t), static_cast<float>(t));

    KFCurve stretch;
    AddKey(stretch, KTime(15), -1.0f);
    AddKey(stretch, KTime(20), -2.0f);
    AddKey(stretch, KTime(25), -3.0f);
    KFCurve dst;
    KFCurveUtils::Merge(src, stretch, dst);
    EXPECT_EQ((std::vector<long long>{0, 10, 15, 20, 25, 30, 40}), Times(dst));
    EXPECT_EQ((std::vector<float>{0, 10, -1, -2, -3, 30, 40}), Values(dst));

    // A stretch covering every key replaces them.
    KFCurve cover;
    AddKey(cover, KTime(-5), 1.0f);
    AddKey(cover, KTime(45), 2.0f);
    KFCurveUtils::Merge(src, cover, dst);
    EXPECT_EQ((std::vector<long long>{-5, 45}), Times(dst));

    // A stretch starting before the first key and ending inside.
    KFCurve early;
    for (int t = -10; t <= 25; t += 5)
        AddKey(early, KTime(t), 1.0f);  // -10 .. 25: 8 keys
    KFCurveUtils::Merge(src, early, dst);
    EXPECT_EQ(10, dst.KeyGetCount());
    EXPECT_EQ((std::vector<long long>{-10, -5, 0, 5, 10, 15, 20, 25, 30, 40}), Times(dst));

    // Before everything, after everything, and between two keys.
    KFCurve before;
    AddKey(before, KTime(-20), 1.0f);
    AddKey(before, KTime(-10), 1.0f);
    KFCurveUtils::Merge(src, before, dst);
    EXPECT_EQ((std::vector<long long>{-20, -10, 0, 10, 20, 30, 40}), Times(dst));
    KFCurve after;
    AddKey(after, KTime(35), 1.0f);
    AddKey(after, KTime(50), 1.0f);
    KFCurveUtils::Merge(src, after, dst);
    EXPECT_EQ((std::vector<long long>{0, 10, 20, 30, 35, 50}), Times(dst));
    KFCurve between;
    AddKey(between, KTime(12), 1.0f);
    AddKey(between, KTime(18), 1.0f);
    KFCurveUtils::Merge(src, between, dst);
    EXPECT_EQ((std::vector<long long>{0, 10, 12, 18, 20, 30, 40}), Times(dst));

    // Empty inputs.
    KFCurve none, out;
    KFCurveUtils::Merge(src, none, out);
    EXPECT_EQ(5, out.KeyGetCount());
    KFCurve out2;
    KFCurveUtils::Merge(none, stretch, out2);
    EXPECT_EQ(3, out2.KeyGetCount());
    KFCurve out3;
    AddKey(out3, KTime(7), 7.0f);
    KFCurveUtils::Merge(none, none, out3);
    EXPECT_EQ(1, out3.KeyGetCount());

    // The destination may be the source itself.
    KFCurve self;
    self.CopyFrom(src, true);
    KFCurveUtils::Merge(self, stretch, self);
    EXPECT_EQ((std::vector<long long>{0, 10, 15, 20, 25, 30, 40}), Times(self));
}

TEST(KFCurveUtils, MergeJoinsUserTangents)
{
    KFCurve src;
    AddKey(src, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.0f, 1.0f);
    AddKey(src, KTime(kSecond), 1.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.0f, 1.0f);
    AddKey(src, KTime(2 * kSecond), 2.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.0f, 4.0f);
    AddKey(src, KTime(3 * kSecond), 3.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.0f, 1.0f);

    KFCurve stretch;
    AddKey(stretch, KTime(kSecond / 2), 0.5f);
    AddKey(stretch, KTime(2 * kSecond), 2.0f);
    KFCurve dst;
    KFCurveUtils::Merge(src, stretch, dst);
    ASSERT_EQ((std::vector<long long>{0, kSecond / 2, 2 * kSecond, 3 * kSecond}), Times(dst));
    EXPECT_EQ((std::vector<float>{0.0f, 0.5f, 2.0f, 3.0f}), Values(dst));
    // Key 0 leads into the stretch with the source's slope at its start.
    EXPECT_NEAR(src.EvaluateRightDerivative(KTime(kSecond / 2)),
                dst.KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE), 1e-6);
    // The last resampled key becomes user-break and carries key 2's outgoing
    // next-left slope.
    EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, dst.KeyGetInterpolation(2));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK), dst.KeyGetTangeantMode(2));
    EXPECT_NEAR(src.EvaluateLeftDerivative(KTime(2 * kSecond)), dst.KeyGetDataDouble(2, KFCURVEKEY_RIGHT_SLOPE), 1e-6);
    EXPECT_FLOAT_EQ(4.0f, dst.KeyGetDataDouble(2, KFCURVEKEY_NEXT_LEFT_SLOPE));
}

TEST(KFCurveUtils, ConvertCurve)
{
    // Linear keys converted to cubic auto: sampled keys at the period.
    KFCurve src;
    AddKey(src, KTime(0), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(src, KTime(10), 10.0f, KFCURVE_INTERPOLATION_LINEAR);
    KFCurve dst;
    KFCurveUtils::ConvertCurve(src, dst, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, KTime(4));
    EXPECT_EQ((std::vector<long long>{0, 4, 8, 10}), Times(dst));
    EXPECT_EQ((std::vector<float>{0, 4, 8, 10}), Values(dst));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, dst.KeyGetInterpolation(i));

    // Mixed kinds: sampled spans, a copied key, a last key alone; the source
    // may be the destination itself.
    KFCurve mixed;
    AddKey(mixed, KTime(0), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(mixed, KTime(10), 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    AddKey(mixed, KTime(12), 10.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(mixed, KTime(20), 2.0f, KFCURVE_INTERPOLATION_LINEAR);
    KFCurveUtils::ConvertCurve(mixed, mixed, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, KTime(5));
    EXPECT_EQ((std::vector<long long>{0, 5, 10, 12, 17, 20}), Times(mixed));
    EXPECT_EQ((std::vector<float>{0, 5, 10, 10, 5, 2}), Values(mixed));

    // Auto to user keeps the shape through the slopes.
    KFCurve autoCurve;
    AddKey(autoCurve, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    AddKey(autoCurve, KTime(kSecond), 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    AddKey(autoCurve, KTime(2 * kSecond), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    KFCurve user;
    KFCurveUtils::ConvertCurve(autoCurve, user, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, KTime(kSecond / 10));
    ASSERT_EQ(3, user.KeyGetCount());
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), user.KeyGetTangeantMode(0));
    EXPECT_FLOAT_EQ(autoCurve.KeyGetRightDerivative(0), user.KeyGetDataDouble(0, KFCURVEKEY_RIGHT_SLOPE));
    EXPECT_FLOAT_EQ(autoCurve.KeyGetLeftDerivative(1), user.KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE));
    EXPECT_FLOAT_EQ(0.0f, user.KeyGetDataDouble(2, KFCURVEKEY_RIGHT_SLOPE));
    EXPECT_NEAR(autoCurve.Evaluate(KTime(kSecond / 3)), user.Evaluate(KTime(kSecond / 3)), 1e-4);

    // Period not positive, or a span needing too many samples: the key itself only.
    KFCurve bounded;
    KFCurveUtils::ConvertCurve(src, bounded, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, KTime(0));
    EXPECT_EQ((std::vector<long long>{0, 10}), Times(bounded));
    KFCurve far;
    AddKey(far, KTime(-(1LL << 61)), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(far, KTime(1LL << 61), 1.0f, KFCURVE_INTERPOLATION_LINEAR);
    KFCurveUtils::ConvertCurve(far, bounded, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, KTime(1));
    EXPECT_EQ(2, bounded.KeyGetCount());
}

TEST(KFCurveUtils, TimeOffsets)
{
    KFCurve c;
    KTime t(50);
    EXPECT_EQ(0, KFCurveUtils::FindTimeOffsetBefore(c, t).Get());
    EXPECT_EQ(0, KFCurveUtils::FindTimeOffsetAfter(c, t).Get());
    AddKey(c, KTime(100), 0.0f);
    AddKey(c, KTime(200), 0.0f);
    EXPECT_EQ(50, KFCurveUtils::FindTimeOffsetBefore(c, t).Get());
    EXPECT_EQ(0, KFCurveUtils::FindTimeOffsetAfter(c, t).Get());
    KTime late(260);
    EXPECT_EQ(0, KFCurveUtils::FindTimeOffsetBefore(c, late).Get());
    EXPECT_EQ(-60, KFCurveUtils::FindTimeOffsetAfter(c, late).Get());
}

TEST(KFCurveUtils, BreakTangentAt)
{
    const KTime delta(384884650LL);  // 1/120 s
    // Reference: up at 10 per second, then flat.
    KFCurve reference;
    AddKey(reference, KTime(0), 0.0f);
    AddKey(reference, Sec(0.5), 5.0f);
    AddKey(reference, Sec(1.0), 5.0f);

    // Plotted: a straight line at 10 per second through the same first keys.
    KFCurve plotted;
    AddKey(plotted, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 10.0f, 10.0f);
    AddKey(plotted, Sec(0.5), 5.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 10.0f, 10.0f);
    AddKey(plotted, Sec(1.0), 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 10.0f, 10.0f);

    // Key 0: its right slope matches the reference's: unchanged.
    KFCURVE_BreakTangentAt(0, &plotted, &reference, delta, 1.0);
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), plotted.KeyGetTangeantMode(0));

    // Key 1: the reference leaves it flat: broken, left 10, right 0.
    KFCURVE_BreakTangentAt(1, &plotted, &reference, delta, 1.0);
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK), plotted.KeyGetTangeantMode(1));
    EXPECT_NEAR(10.0, plotted.KeyGetLeftDerivative(1), 1e-3);
    EXPECT_NEAR(0.0, plotted.KeyGetRightDerivative(1), 1e-3);

    // A loose threshold keeps the tangent.
    KFCurve loose;
    loose.CopyFrom(plotted, true);
    loose.KeySetTangeantMode(1, KFCURVE_TANGEANT_USER);
    loose.KeySetLeftDerivative(1, 10.0f);
    KFCURVE_BreakTangentAt(1, &loose, &reference, delta, 20.0);
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), loose.KeyGetTangeantMode(1));

    // One key, zero delta, bad index, null curves: nothing happens.
    KFCurve single;
    AddKey(single, KTime(0), 3.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    KFCURVE_BreakTangentAt(0, &single, &reference, delta, 0.0);
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO), single.KeyGetTangeantMode(0));
    KFCURVE_BreakTangentAt(2, &loose, &reference, KTime(0), 0.0);
    KFCURVE_BreakTangentAt(7, &loose, &reference, delta, 0.0);
    KFCURVE_BreakTangentAt(0, nullptr, &reference, delta, 0.0);
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), loose.KeyGetTangeantMode(2));
}

TEST(KFCurveUtils, FidelityRecursive)
{
    const KTime delta(384884650LL);
    KFCurve flat;
    AddKey(flat, KTime(0), 0.0f);
    AddKey(flat, Sec(1.0), 0.0f);

    // The reference peaks at the middle: one key there, then both halves agree.
    KFCurve peak;
    AddKey(peak, KTime(0), 0.0f);
    AddKey(peak, Sec(0.5), 10.0f);
    AddKey(peak, Sec(1.0), 0.0f);
    KFCurve a;
    a.CopyFrom(flat, true);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &a, &peak, 0.25, 2, false, delta, 1.0, false, nullptr,
                                      nullptr);
    EXPECT_EQ((std::vector<long long>{0, Sec(0.5).Get(), kSecond}), Times(a));
    EXPECT_FLOAT_EQ(10.0f, a.KeyGetValue(1));
    EXPECT_EQ(KFCURVE_INTERPOLATION_LINEAR, a.KeyGetInterpolation(1));

    // Two subdivisions test the midpoint only: a stray at 0.25 s goes unseen.
    KFCurve quarter;
    AddKey(quarter, KTime(0), 0.0f);
    AddKey(quarter, Sec(0.25), 10.0f);
    AddKey(quarter, Sec(0.5), 0.0f);
    AddKey(quarter, Sec(1.0), 0.0f);
    KFCurve b;
    b.CopyFrom(flat, true);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &b, &quarter, 0.25, 2, false, delta, 1.0, false, nullptr,
                                      nullptr);
    EXPECT_EQ(2, b.KeyGetCount());
    // Four subdivisions find it; the key at 0.25 s then makes the flat
    // curve stray at 0.5 s, which gets a key too.
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &b, &quarter, 0.25, 4, false, delta, 1.0, false, nullptr,
                                      nullptr);
    EXPECT_EQ((std::vector<long long>{0, Sec(0.25).Get(), Sec(0.5).Get(), kSecond}), Times(b));
    EXPECT_EQ((std::vector<float>{0, 10, 0, 0}), Values(b));

    // Spans of 1/120 s per step or less, agreement, one subdivision: nothing.
    KFCurve c;
    c.CopyFrom(flat, true);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), KTime(2 * 384884650LL), &c, &peak, 0.25, 2, false, delta, 1.0,
                                      false, nullptr, nullptr);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &c, &flat, 0.25, 8, false, delta, 1.0, false, nullptr,
                                      nullptr);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &c, &peak, 0.25, 1, false, delta, 1.0, false, nullptr,
                                      nullptr);
    KFCURVE_IncreaseFidelityRecursive(Sec(1.0), KTime(0), &c, &peak, 0.25, 2, false, delta, 1.0, false, nullptr,
                                      nullptr);
    EXPECT_EQ(2, c.KeyGetCount());
}

TEST(KFCurveUtils, FidelityPropagatesToSiblings)
{
    const KTime delta(384884650LL);
    KFCurve x, y, z, refX, refY, refZ;
    for (KFCurve* c : {&x, &y, &z})
    {
        AddKey(*c, KTime(0), 0.0f);
        AddKey(*c, Sec(1.0), 0.0f);
    }
    AddKey(refX, KTime(0), 0.0f);
    AddKey(refX, Sec(0.5), 10.0f);
    AddKey(refX, Sec(1.0), 0.0f);
    AddKey(refY, KTime(0), 1.0f);
    AddKey(refY, Sec(1.0), 3.0f);
    AddKey(refZ, KTime(0), -4.0f);

    KArrayTemplate<KFCurve*> plottedSiblings, referenceSiblings;
    plottedSiblings.Add(&y);
    plottedSiblings.Add(&z);
    referenceSiblings.Add(&refY);
    referenceSiblings.Add(&refZ);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &x, &refX, 0.25, 2, false, delta, 1.0, true,
                                      &plottedSiblings, &referenceSiblings);
    ASSERT_EQ(3, y.KeyGetCount());
    EXPECT_EQ(Sec(0.5).Get(), y.KeyGetTime(1).Get());
    EXPECT_FLOAT_EQ(2.0f, y.KeyGetValue(1));
    ASSERT_EQ(3, z.KeyGetCount());
    EXPECT_FLOAT_EQ(-4.0f, z.KeyGetValue(1));

    // Without propagation the siblings stay as they are.
    KFCurve x2, y2;
    AddKey(x2, KTime(0), 0.0f);
    AddKey(x2, Sec(1.0), 0.0f);
    AddKey(y2, KTime(0), 0.0f);
    KArrayTemplate<KFCurve*> p2, r2;
    p2.Add(&y2);
    r2.Add(&refY);
    KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &x2, &refX, 0.25, 2, false, delta, 1.0, false, &p2, &r2);
    EXPECT_EQ(1, y2.KeyGetCount());
    EXPECT_EQ(3, x2.KeyGetCount());
}

TEST(KFCurveUtils, FidelityAddKeyBreaksTangents)
{
    const KTime delta(384884650LL);
    KFCurve reference;
    AddKey(reference, KTime(0), 0.0f);
    AddKey(reference, Sec(0.5), 10.0f);
    AddKey(reference, Sec(1.0), 10.0f);
    KFCurve plotted;
    AddKey(plotted, KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    AddKey(plotted, Sec(1.0), 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    KFCURVE_IncreaseFidelityAddKey(Sec(0.5), 10.0, &plotted, &reference, true, delta, 1.0);
    ASSERT_EQ(3, plotted.KeyGetCount());
    EXPECT_FLOAT_EQ(10.0f, plotted.KeyGetValue(1));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK), plotted.KeyGetTangeantMode(1));
    EXPECT_NEAR(20.0, plotted.KeyGetLeftDerivative(1), 1e-2);
    EXPECT_NEAR(0.0, plotted.KeyGetRightDerivative(1), 1e-2);

    // After the last key: the new key (not the one before it) gets the value.
    KFCurve tail;
    AddKey(tail, KTime(0), 0.0f);
    KFCURVE_IncreaseFidelityAddKey(Sec(2.0), 6.0, &tail, &reference, false, delta, 1.0);
    ASSERT_EQ(2, tail.KeyGetCount());
    EXPECT_FLOAT_EQ(0.0f, tail.KeyGetValue(0));
    EXPECT_FLOAT_EQ(6.0f, tail.KeyGetValue(1));
    KFCURVE_IncreaseFidelityAddKey(Sec(2.0), 6.0, nullptr, &reference, false, delta, 1.0);
}

namespace {

// A node "T" with children X, Y, Z, each with a curve filled by fill(c, i).
template <typename Fill>
KFCurveNode* ThreeChildNode(Fill fill, int children = 3)
{
    KFCurveNode* node = new KFCurveNode("T", "T", nullptr, KFCL_ADD, 0);
    const char* const names[4] = {"X", "Y", "Z", "W"};
    for (int i = 0; i < children; ++i)
    {
        KFCurveNode* child = new KFCurveNode(names[i], names[i], nullptr, KFCL_NOLAYER, 0);
        KFCurve* curve = new KFCurve;
        fill(*curve, i);
        child->FCurveSet(curve, false);
        node->Add(child);
    }
    return node;
}

}  // namespace

TEST(KFCurveUtils, ConvertCurveInterpolationRecursive)
{
    KFCurveNode* node = ThreeChildNode([](KFCurve& c, int) {
        AddKey(c, KTime(0), 0.0f, KFCURVE_INTERPOLATION_LINEAR);
        AddKey(c, KTime(10), 1.0f, KFCURVE_INTERPOLATION_CONSTANT, 0);
    });
    KFCurve* own = new KFCurve;
    AddKey(*own, KTime(5), 2.0f, KFCURVE_INTERPOLATION_LINEAR);
    node->FCurveSet(own, false);
    KFCurveUtils::ConvertCurveInterpolationRecursive(KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, *node);
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 2; ++k)
        {
            EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, node->Get(c)->FCurveGet()->KeyGetInterpolation(k));
            EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), node->Get(c)->FCurveGet()->KeyGetTangeantMode(k));
        }
    EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, own->KeyGetInterpolation(0));
    node->Destroy();
}

TEST(KFCurveUtils, NodeTangentBreaking)
{
    const KTime delta(384884650LL);
    // Plotted: straight lines at 10 per second; reference: flat after 0.5 s.
    KFCurveNode* plotted = ThreeChildNode([](KFCurve& c, int) {
        for (int k = 0; k < 3; ++k)
            AddKey(c, Sec(0.5 * k), 5.0f * k, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 10.0f, 10.0f);
    });
    KFCurveNode* reference = ThreeChildNode([](KFCurve& c, int) {
        AddKey(c, KTime(0), 0.0f);
        AddKey(c, Sec(0.5), 5.0f);
        AddKey(c, Sec(1.0), 5.0f);
    });
    KFCURVE_BreakTangents(plotted, reference, delta, 1.0);
    for (int c = 0; c < 3; ++c)
    {
        KFCurve* curve = plotted->Get(c)->FCurveGet();
        EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), curve->KeyGetTangeantMode(0)) << c;
        EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK), curve->KeyGetTangeantMode(1)) << c;
        EXPECT_NEAR(0.0, curve->KeyGetRightDerivative(1), 1e-3);
    }

    // Different child counts: left alone.
    KFCurveNode* two = ThreeChildNode([](KFCurve& c, int) {
        for (int k = 0; k < 3; ++k)
            AddKey(c, Sec(0.5 * k), 5.0f * k, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 10.0f, 10.0f);
    }, 2);
    KFCURVE_BreakTangents(two, reference, delta, 1.0);
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_USER), two->Get(0)->FCurveGet()->KeyGetTangeantMode(1));
    two->Destroy();
    plotted->Destroy();
    reference->Destroy();
}

TEST(KFCurveUtils, NodeFidelityIncrease)
{
    const KTime delta(384884650LL);
    KFCurveNode* plotted = ThreeChildNode([](KFCurve& c, int i) {
        AddKey(c, KTime(0), static_cast<float>(i));
        AddKey(c, Sec(1.0), static_cast<float>(i));
    });
    // Only X strays (at 0.5 s); Y and Z hold 1 and 2.
    KFCurveNode* reference = ThreeChildNode([](KFCurve& c, int i) {
        AddKey(c, KTime(0), i == 0 ? 0.0f : static_cast<float>(i));
        if (i == 0)
            AddKey(c, Sec(0.5), 10.0f);
        AddKey(c, Sec(1.0), i == 0 ? 0.0f : static_cast<float>(i));
    });

    // Without propagation only X gains a key.
    KFCurveNode* alone = plotted->Clone(false);
    KFCURVE_IncreaseFidelity(alone, reference, 0.25, 2, false, delta, 1.0, false, nullptr, nullptr);
    EXPECT_EQ(3, alone->Get(0)->FCurveGet()->KeyGetCount());
    EXPECT_EQ(2, alone->Get(1)->FCurveGet()->KeyGetCount());
    alone->Destroy();

    // With propagation Y and Z get keys at 0.5 s holding their reference values.
    KFCURVE_IncreaseFidelity(plotted, reference, 0.25, 2, false, delta, 1.0, true, nullptr, nullptr);
    EXPECT_EQ(3, plotted->Get(0)->FCurveGet()->KeyGetCount());
    EXPECT_FLOAT_EQ(10.0f, plotted->Get(0)->FCurveGet()->KeyGetValue(1));
    ASSERT_EQ(3, plotted->Get(1)->FCurveGet()->KeyGetCount());
    EXPECT_EQ(Sec(0.5).Get(), plotted->Get(1)->FCurveGet()->KeyGetTime(1).Get());
    EXPECT_FLOAT_EQ(1.0f, plotted->Get(1)->FCurveGet()->KeyGetValue(1));
    ASSERT_EQ(3, plotted->Get(2)->FCurveGet()->KeyGetCount());
    EXPECT_FLOAT_EQ(2.0f, plotted->Get(2)->FCurveGet()->KeyGetValue(1));

    // Agreement everywhere: no key. A plotted curve whose reference node has none: nothing.
    KFCurveNode* same = reference->Clone(false);
    KFCURVE_IncreaseFidelity(same, reference, 0.25, 4, false, delta, 1.0, true, nullptr, nullptr);
    EXPECT_EQ(3, same->Get(0)->FCurveGet()->KeyGetCount());
    EXPECT_EQ(2, same->Get(1)->FCurveGet()->KeyGetCount());
    KFCurveNode* bare = new KFCurveNode("B", "B", nullptr, KFCL_NOLAYER, 0);
    KFCurveNode* single = new KFCurveNode("S", "S", nullptr, KFCL_NOLAYER, 0);
    KFCurve* curve = new KFCurve;
    AddKey(*curve, KTime(0), 0.0f);
    AddKey(*curve, Sec(1.0), 0.0f);
    single->FCurveSet(curve, false);
    KFCURVE_IncreaseFidelity(single, bare, 0.25, 2, false, delta, 1.0, false, nullptr, nullptr);
    EXPECT_EQ(2, curve->KeyGetCount());
    single->Destroy();
    bare->Destroy();
    same->Destroy();
    plotted->Destroy();
    reference->Destroy();
}
