// Gimbal-flip remover.
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

KTime Sec(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

void AddKey(KFCurve& curve, double seconds, float value)
{
    KFCurveKey key{};
    key.Set(Sec(seconds), value, KFCURVE_INTERPOLATION_LINEAR, KFCURVE_TANGEANT_AUTO);
    curve.KeyAdd(key.GetTime(), key);
}

struct Rotation
{
    KFCurve x, y, z;
    KFCurve* curves[3] = {&x, &y, &z};

    void Key(double seconds, float ax, float ay, float az)
    {
        AddKey(x, seconds, ax);
        AddKey(y, seconds, ay);
        AddKey(z, seconds, az);
    }
};

double StepDistance(Rotation& r, int i)
{
    double sum = 0.0;
    for (KFCurve* c : r.curves)
    {
        const double d = c->KeyGetValue(i + 1) - c->KeyGetValue(i);
        sum += d * d;
    }
    return sum;
}

TEST(KFCurveFilterGimbleKiller, Defaults)
{
    KFCurveFilterGimbleKiller filter;
    EXPECT_STREQ(filter.GetName(), "Gimble Killer");
    EXPECT_TRUE(filter.GetApplyKeySyncFilter());
    filter.SetApplyKeySyncFilter(false);
    filter.Reset();
    EXPECT_TRUE(filter.GetApplyKeySyncFilter());
    EXPECT_EQ(filter.GetStartTime(), KTIME_MINUS_INFINITE);
    EXPECT_EQ(filter.GetStopTime(), KTIME_INFINITE);
}

TEST(KFCurveFilterGimbleKiller, WholeTurnsAreRemoved)
{
    Rotation r;
    r.Key(0.0, 0.0f, 0.0f, 0.0f);
    r.Key(1.0, 355.0f, 0.0f, 0.0f);
    KFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(r.curves, 3));
    ASSERT_EQ(r.x.KeyGetCount(), 2);
    EXPECT_NEAR(r.x.KeyGetValue(1), -5.0, 1e-4);
    EXPECT_NEAR(r.y.KeyGetValue(1), 0.0, 1e-4);
    EXPECT_NEAR(r.z.KeyGetValue(1), 0.0, 1e-4);
}

TEST(KFCurveFilterGimbleKiller, FlipToTheAlternativeSolution)
{
    Rotation r;
    r.Key(0.0, 0.0f, 0.0f, 0.0f);
    r.Key(1.0, 180.0f, 176.0f, 180.0f); // the same rotation as (0, 4, 0)
    KFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(r.curves, 3));
    ASSERT_EQ(r.x.KeyGetCount(), 2);
    EXPECT_NEAR(r.x.KeyGetValue(1), 0.0, 1e-3);
    EXPECT_NEAR(r.y.KeyGetValue(1), 4.0, 1e-3);
    EXPECT_NEAR(r.z.KeyGetValue(1), 0.0, 1e-3);
}

TEST(KFCurveFilterGimbleKiller, LargeStepsAreSplit)
{
    Rotation r;
    r.Key(0.0, 0.0f, 0.0f, 0.0f);
    r.Key(1.0, 90.0f, 0.0f, 0.0f);
    KFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(r.curves, 3));
    const int count = r.x.KeyGetCount();
    ASSERT_GT(count, 2);
    EXPECT_EQ(r.y.KeyGetCount(), count);
    EXPECT_EQ(r.z.KeyGetCount(), count);
    EXPECT_NEAR(r.x.KeyGetValue(0), 0.0, 1e-6);
    EXPECT_NEAR(r.x.KeyGetValue(count - 1), 90.0, 1e-3);
    EXPECT_EQ(r.x.KeyGetTime(count - 1), Sec(1.0));
    // The first split point is found by halving the quaternion blend: the
    // turns at 1/2, 1/4 and 1/8 of the step are still too large.
    const double s45 = std::sqrt(0.5);
    const double f = 1.0 / 16.0;
    const double expected = 2.0 * std::atan2(f * s45, 1.0 - f + f * s45) * 57.29577951308232;
    EXPECT_NEAR(r.x.KeyGetValue(1), expected, 1e-3);
    EXPECT_EQ(r.x.KeyGetTime(1), Sec(1.0 / 16.0));
    EXPECT_EQ(r.x.KeyGetInterpolation(1), static_cast<unsigned int>(KFCURVE_INTERPOLATION_CUBIC));
    EXPECT_EQ(r.x.KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    for (int i = 0; i + 1 < count; ++i)
    {
        EXPECT_LE(StepDistance(r, i), 75.0 + 1e-6) << i;
        EXPECT_LT(r.x.KeyGetTime(i), r.x.KeyGetTime(i + 1));
    }
}

TEST(KFCurveFilterGimbleKiller, ShortStepsAreNeverSplit)
{
    Rotation r;
    r.Key(0.0, 0.0f, 0.0f, 0.0f);
    r.Key(1.0 / 2000.0, 90.0f, 0.0f, 0.0f);
    KFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(r.curves, 3));
    EXPECT_EQ(r.x.KeyGetCount(), 2);
    EXPECT_NEAR(r.x.KeyGetValue(1), 90.0, 1e-3);
}

TEST(KFCurveFilterGimbleKiller, KeySyncFirst)
{
    Rotation r;
    AddKey(r.x, 0.0, 0.0f);
    AddKey(r.x, 1.0, 4.0f);
    AddKey(r.y, 0.0, 0.0f);
    AddKey(r.y, 0.5, 2.0f);
    AddKey(r.z, 0.0, 0.0f);
    KFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(r.curves, 3));
    for (KFCurve* c : r.curves)
        EXPECT_EQ(c->KeyGetCount(), 3);
    EXPECT_NEAR(r.x.KeyGetValue(1), 2.0, 1e-3);
}

TEST(KFCurveFilterGimbleKiller, Refusals)
{
    KFCurveFilterGimbleKiller filter;
    Rotation r;
    r.Key(0.0, 1.0f, 2.0f, 3.0f);
    EXPECT_FALSE(filter.Apply(r.curves, 2));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_STREQ(filter.GetLastErrorString(), "Need 3 KFCurve to apply a gimble killer filter.");

    EXPECT_FALSE(filter.Apply(r.x));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_STREQ(filter.GetLastErrorString(), "Not 3 curve");

    std::unique_ptr<KFCurveNode> two(new KFCurveNode("R", "R", nullptr, KFCL_EULER_XYZ));
    two->FindOrCreate("X", true);
    two->FindOrCreate("Y", true);
    EXPECT_FALSE(filter.Apply(*two, true));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_STREQ(filter.GetLastErrorString(), "Gimble Killer. ioCurveNode does not have 3 childs.");

    std::unique_ptr<KFCurveNode> plain(new KFCurveNode("T", "T", nullptr, KFCL_ADD));
    for (const char* member : {"X", "Y", "Z"})
        AddKey(*plain->FindOrCreate(member, true)->FCurveGet(), 0.0, 350.0f);
    EXPECT_FALSE(filter.Apply(*plain, true));
    EXPECT_EQ(filter.GetLastErrorID(), 3);
    EXPECT_STREQ(filter.GetLastErrorString(), "Gimble Killer. Not a Rotation node!");
    EXPECT_FLOAT_EQ(plain->FindRecursive("X")->FCurveGet()->KeyGetValue(0), 350.0f);

    Rotation empty;
    EXPECT_FALSE(filter.Apply(empty.curves, 3));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
}

TEST(KFCurveFilterGimbleKiller, RotationNodeWithOrder)
{
    // ZYX order: the continuity uses the order's axes.
    std::unique_ptr<KFCurveNode> node(new KFCurveNode("Lcl Rotation", "Lcl Rotation", nullptr, KFCL_EULER_XYZ));
    node->SetRotationOrder(10);
    const float second[3] = {0.0f, 0.0f, 354.0f};
    const char* members[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
    {
        KFCurve* curve = node->FindOrCreate(members[i], true)->FCurveGet();
        AddKey(*curve, 0.0, 0.0f);
        AddKey(*curve, 1.0, second[i]);
    }
    KFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(*node, true));
    KFCurve* z = node->FindRecursive("Z")->FCurveGet();
    ASSERT_EQ(z->KeyGetCount(), 2);
    EXPECT_NEAR(z->KeyGetValue(1), -6.0, 1e-3);
}

} // namespace
