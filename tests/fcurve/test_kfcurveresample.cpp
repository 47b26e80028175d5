#include "fcurve/kfcurvefilter_resample.h"
#include "fcurve/kfcurvefilter_timeshift.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const long long kSecond = 46186158000LL;

void AddKey(KFCurve& c, long long t, float v, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
            unsigned int mode = KFCURVE_TANGEANT_AUTO)
{
    KFCurveKey key;
    key.Init();
    key.Set(KTime(t), v, interpolation, mode);
    c.KeyAdd(KTime(t), key);
}

std::vector<long long> Times(KFCurve& c)
{
    std::vector<long long> out;
    for (int i = 0; i < c.KeyGetCount(); ++i)
        out.push_back(c.KeyGetTime(i).Get());
    return out;
}

// A linear ramp from (t0, t0) to (t1, t1).
void Ramp(KFCurve& c, long long t0, long long t1)
{
    AddKey(c, t0, static_cast<float>(t0));
    AddKey(c, t1, static_cast<float>(t1));
}

}  // namespace

TEST(KFCurveResample, DefaultsAndSetters)
{
    KFCurveFilterResample filter;
    EXPECT_STREQ("FCurve Resample", filter.GetName());
    EXPECT_FALSE(filter.GetKeysOnFrame());
    EXPECT_FALSE(filter.GetIntelligentMode());
    EXPECT_EQ(KTIME_MINUS_INFINITE, filter.GetStartTime());
    EXPECT_EQ(KTIME_INFINITE, filter.GetStopTime());
    // One frame of the global time mode (30 frames per second by default).
    KTime frame;
    frame.SetTime(0, 0, 0, 1, 0, 0);
    EXPECT_EQ(frame, filter.GetPeriodTime());
    EXPECT_EQ(1539538600LL, filter.GetPeriodTime().Get());

    KTime period(10);
    filter.SetPeriodTime(period);
    filter.SetKeysOnFrame(true);
    filter.SetIntelligentMode(true);
    EXPECT_EQ(10, filter.GetPeriodTime().Get());
    EXPECT_TRUE(filter.GetKeysOnFrame());
    EXPECT_TRUE(filter.GetIntelligentMode());
    filter.Reset();
    EXPECT_EQ(1539538600LL, filter.GetPeriodTime().Get());
    EXPECT_FALSE(filter.GetKeysOnFrame());
    EXPECT_FALSE(filter.GetIntelligentMode());
}

TEST(KFCurveResample, Errors)
{
    KFCurveFilterResample filter;
    KFCurve c;
    Ramp(c, 0, 100);
    for (long long p : {0LL, -10LL})
    {
        filter.SetPeriodTime(KTime(p));
        filter.GetError().ClearLastError();
        EXPECT_FALSE(filter.Apply(c));
        EXPECT_EQ(0, filter.GetLastErrorID());
        EXPECT_STREQ("Bad Period", filter.GetLastErrorString());
        EXPECT_EQ((std::vector<long long>{0, 100}), Times(c));
    }

    // No keys and the open default range.
    filter.SetPeriodTime(KTime(10));
    KFCurve empty;
    EXPECT_FALSE(filter.Apply(empty));
    EXPECT_EQ(1, filter.GetLastErrorID());
    EXPECT_STREQ("Bad Interval", filter.GetLastErrorString());

    // A stop not later than the start.
    KTime start(50), stop(50);
    filter.SetStartTime(start);
    filter.SetStopTime(stop);
    filter.GetError().ClearLastError();
    EXPECT_FALSE(filter.Apply(c));
    EXPECT_STREQ("Bad Interval", filter.GetLastErrorString());
    EXPECT_EQ(2, c.KeyGetCount());

    // Key times at the ends of the tick range: refused, not looped over.
    KFCurve wide;
    AddKey(wide, -0x7FFFFFFFFFFFFFF0LL, 0.0f);
    AddKey(wide, 0x7FFFFFFFFFFFFFF0LL, 1.0f);
    filter.Reset();
    filter.SetPeriodTime(KTime(1));
    EXPECT_FALSE(filter.Apply(wide));
    EXPECT_EQ(1, filter.GetLastErrorID());
    EXPECT_EQ(2, wide.KeyGetCount());
}

TEST(KFCurveResample, SpanAndStopKey)
{
    // 0 to 25 at a period of 10: 0, 10, 20 and one more key at the stop.
    KFCurveFilterResample filter;
    filter.SetPeriodTime(KTime(10));
    KFCurve c;
    Ramp(c, 0, 25);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ((std::vector<long long>{0, 10, 20, 25}), Times(c));
    EXPECT_FLOAT_EQ(10.0f, c.KeyGetValue(1));
    EXPECT_EQ(KFCURVE_INTERPOLATION_CUBIC, c.KeyGetInterpolation(1));
    EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO), c.KeyGetTangeantMode(1));

    // A range inside the keys: the keys outside it stay.
    KFCurve d;
    Ramp(d, 0, 100);
    KTime start(30), stop(55);
    filter.SetStartTime(start);
    filter.SetStopTime(stop);
    EXPECT_TRUE(filter.Apply(d));
    EXPECT_EQ((std::vector<long long>{0, 30, 40, 50, 55, 100}), Times(d));
    EXPECT_EQ(KFCURVE_INTERPOLATION_LINEAR, d.KeyGetInterpolation(0));
}

TEST(KFCurveResample, KeysOnFrame)
{
    KFCurveFilterResample filter;
    filter.SetPeriodTime(KTime(10));
    filter.SetKeysOnFrame(true);
    struct Case
    {
        long long start;
        std::vector<long long> times;
    } cases[] = {
        {25, {-100, 30, 40, 50, 60, 100}},
        {5, {-100, 5, 15, 25, 35, 45, 55, 60, 100}},
        {-15, {-100, -15, -5, 5, 15, 25, 35, 45, 55, 60, 100}},
    };
    for (const Case& k : cases)
    {
        KFCurve c;
        Ramp(c, -100, 100);
        KTime start(k.start), stop(60);
        filter.SetStartTime(start);
        filter.SetStopTime(stop);
        EXPECT_TRUE(filter.Apply(c));
        EXPECT_EQ(k.times, Times(c)) << k.start;
    }
}

TEST(KFCurveResample, IntelligentModeAndNode)
{
    KFCurveFilterResample filter;
    filter.SetPeriodTime(KTime(10));
    filter.SetIntelligentMode(true);
    KFCurve c;
    AddKey(c, 0, 0.0f, KFCURVE_INTERPOLATION_CONSTANT, KFCURVE_CONSTANT_STANDARD);
    AddKey(c, 20, 5.0f, KFCURVE_INTERPOLATION_LINEAR);
    AddKey(c, 40, 9.0f, KFCURVE_INTERPOLATION_LINEAR);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ((std::vector<long long>{0, 10, 20, 30, 40}), Times(c));
    EXPECT_EQ(KFCURVE_INTERPOLATION_CONSTANT, c.KeyGetInterpolation(1));
    EXPECT_FLOAT_EQ(0.0f, c.KeyGetValue(1));
    EXPECT_EQ(KFCURVE_INTERPOLATION_LINEAR, c.KeyGetInterpolation(3));
    EXPECT_FLOAT_EQ(7.0f, c.KeyGetValue(3));

    // Node form: every curve of the subtree.
    KFCurveFilterResample plain;
    plain.SetPeriodTime(KTime(5));
    KFCurveNode* node = new KFCurveNode("T", "T", nullptr, KFCL_ADD, 0);
    for (const char* name : {"X", "Y"})
    {
        KFCurveNode* child = new KFCurveNode(name, name, nullptr, KFCL_NOLAYER, 0);
        KFCurve* curve = new KFCurve;
        Ramp(*curve, 0, 20);
        child->FCurveSet(curve, false);
        node->Add(child);
    }
    EXPECT_TRUE(plain.Apply(*node, true));
    EXPECT_EQ(5, node->Get(0)->FCurveGet()->KeyGetCount());
    EXPECT_EQ(5, node->Get(1)->FCurveGet()->KeyGetCount());
    node->Destroy();
}

TEST(KFCurveTimeShiftAndScale, Errors)
{
    KFCurveFilterTimeShiftAndScale filter;
    EXPECT_STREQ("TimeShiftAndScaleFilter", filter.GetName());
    EXPECT_EQ(0, filter.GetShift().Get());
    EXPECT_DOUBLE_EQ(1.0, filter.GetScale());

    KFCurve c;
    AddKey(c, kSecond, 1.0f);
    EXPECT_FALSE(filter.Apply(c));
    EXPECT_EQ(1, filter.GetLastErrorID());
    EXPECT_STREQ("TimeShiftAndScaleFilter, No key were changed by filter.", filter.GetLastErrorString());

    filter.SetScale(-2.0);
    filter.GetError().ClearLastError();
    EXPECT_FALSE(filter.Apply(c));
    EXPECT_STREQ("TimeShiftAndScaleFilter, No key were changed by filter.", filter.GetLastErrorString());
    EXPECT_EQ(kSecond, c.KeyGetTime(0).Get());

    KFCurve empty;
    filter.SetShift(KTime(kSecond));
    EXPECT_FALSE(filter.Apply(empty));
    EXPECT_EQ(0, filter.GetLastErrorID());
    EXPECT_STREQ("TimeShiftAndScaleFilter, No key to be filtered.", filter.GetLastErrorString());
}

TEST(KFCurveTimeShiftAndScale, ShiftThenScale)
{
    KFCurveFilterTimeShiftAndScale filter;
    KTime second(kSecond);
    filter.SetShift(second);
    filter.SetScale(2.0);
    KFCurve c;
    AddKey(c, kSecond, 1.0f);
    AddKey(c, 2 * kSecond, 2.0f);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ((std::vector<long long>{4 * kSecond, 6 * kSecond}), Times(c));

    // Scale 0: the shift only.
    filter.SetScale(0.0);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ((std::vector<long long>{5 * kSecond, 7 * kSecond}), Times(c));

    // Scale alone; the range is not read.
    KFCurveFilterTimeShiftAndScale scale;
    scale.SetScale(0.5);
    KTime narrow(0);
    scale.SetStartTime(narrow);
    scale.SetStopTime(narrow);
    EXPECT_TRUE(scale.Apply(c));
    EXPECT_EQ((std::vector<long long>{5 * kSecond / 2, 7 * kSecond / 2}), Times(c));

    // Near the end of the tick range the shift saturates: order is kept.
    KFCurve late;
    AddKey(late, 0x7FFFFFFFFFFFFF00LL, 1.0f);
    AddKey(late, 0x7FFFFFFFFFFFFFF0LL, 2.0f);
    KFCurveFilterTimeShiftAndScale push;
    push.SetShift(KTime(0x1000));
    EXPECT_TRUE(push.Apply(late));
    EXPECT_LE(late.KeyGetTime(0).Get(), late.KeyGetTime(1).Get());
    EXPECT_GT(late.KeyGetTime(0).Get(), 0);
}
