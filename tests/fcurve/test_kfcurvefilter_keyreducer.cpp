// Key synchroniser and Bezier-fit key reducer.
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

KTime Sec(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

void AddKey(KFCurve& curve, double seconds, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR)
{
    KFCurveKey key{};
    key.Set(Sec(seconds), value, interpolation, KFCURVE_TANGEANT_AUTO);
    curve.KeyAdd(key.GetTime(), key);
}

// ---------------------------------------------------------------------------
// Key synchroniser
// ---------------------------------------------------------------------------

TEST(KFCurveFilterKeySync, MergesKeyTimesWithoutChangingShapes)
{
    KFCurve a, b;
    AddKey(a, 0.0, 0.0f);
    AddKey(a, 1.0, 10.0f);
    AddKey(b, 0.0, 4.0f, KFCURVE_INTERPOLATION_CUBIC);
    AddKey(b, 0.5, -2.0f, KFCURVE_INTERPOLATION_CUBIC);
    AddKey(b, 1.5, 3.0f, KFCURVE_INTERPOLATION_CUBIC);
    KFCurve refA, refB;
    refA.CopyFrom(a, true);
    refB.CopyFrom(b, true);

    KFCurveFilterKeySync sync;
    EXPECT_STREQ(sync.GetName(), "FCurve Key Synchronizer");
    KFCurve* curves[2] = {&a, &b};
    EXPECT_TRUE(sync.NeedApply(curves, 2));
    EXPECT_EQ(sync.GetLastErrorID(), 2);
    EXPECT_TRUE(sync.Apply(curves, 2));

    for (KFCurve* curve : curves)
    {
        ASSERT_EQ(curve->KeyGetCount(), 4);
        EXPECT_EQ(curve->KeyGetTime(0), Sec(0.0));
        EXPECT_EQ(curve->KeyGetTime(1), Sec(0.5));
        EXPECT_EQ(curve->KeyGetTime(2), Sec(1.0));
        EXPECT_EQ(curve->KeyGetTime(3), Sec(1.5));
    }
    for (double s = -0.5; s <= 2.0; s += 0.0625)
    {
        EXPECT_NEAR(a.Evaluate(Sec(s)), refA.Evaluate(Sec(s)), 1e-4) << s;
        EXPECT_NEAR(b.Evaluate(Sec(s)), refB.Evaluate(Sec(s)), 1e-4) << s;
    }
    EXPECT_FLOAT_EQ(a.KeyGetValue(1), 5.0f);
    EXPECT_FALSE(sync.NeedApply(curves, 2));
}

TEST(KFCurveFilterKeySync, NeedApply)
{
    KFCurveFilterKeySync sync;
    KFCurve a, b, empty;
    AddKey(a, 0.0, 1.0f);
    AddKey(a, 1.0, 2.0f);
    AddKey(b, 0.0, 3.0f);
    AddKey(b, 1.0, 4.0f);
    KFCurve* same[2] = {&a, &b};
    EXPECT_FALSE(sync.NeedApply(same, 2));

    KFCurve shifted;
    AddKey(shifted, 0.0, 3.0f);
    AddKey(shifted, 1.5, 4.0f);
    KFCurve* unsynched[2] = {&a, &shifted};
    EXPECT_TRUE(sync.NeedApply(unsynched, 2));
    EXPECT_EQ(sync.GetLastErrorID(), 3);
    EXPECT_STREQ(sync.GetLastErrorString(), "KeySyncFilter, keys are not synchronized.");

    AddKey(b, 2.0, 5.0f);
    EXPECT_TRUE(sync.NeedApply(same, 2));
    EXPECT_EQ(sync.GetLastErrorID(), 2);
    EXPECT_STREQ(sync.GetLastErrorString(), "KeySyncFilter, Key count is different in the Curves to be filtered.");

    KFCurve* firstEmpty[2] = {&empty, &a};
    EXPECT_FALSE(sync.NeedApply(firstEmpty, 2));

    EXPECT_FALSE(sync.NeedApply(a));
    EXPECT_EQ(sync.GetLastErrorID(), 1);
    EXPECT_STREQ(sync.GetLastErrorString(), "KeySyncFilter, No key were changed by filter.");
    EXPECT_FALSE(sync.Apply(a));
    KFCurve* one[1] = {&a};
    EXPECT_FALSE(sync.Apply(one, 1));
    EXPECT_STREQ(sync.GetLastErrorString(), "KeySyncFilter, No key were changed by filter.");
}

TEST(KFCurveFilterKeySync, RangeAndInsertedValues)
{
    KFCurve a, b;
    for (int i = 0; i <= 4; ++i)
        AddKey(a, i, static_cast<float>(i * 2));
    AddKey(b, 0.0, 0.0f);
    AddKey(b, 4.0, 8.0f);
    KFCurveFilterKeySync sync;
    KTime start = Sec(1.0), stop = Sec(2.5);
    sync.SetStartTime(start);
    sync.SetStopTime(stop);
    KFCurve* curves[2] = {&a, &b};
    EXPECT_TRUE(sync.Apply(curves, 2));
    // Only the keys at 1 s and 2 s lie in the range.
    ASSERT_EQ(b.KeyGetCount(), 4);
    EXPECT_EQ(b.KeyGetTime(1), Sec(1.0));
    EXPECT_EQ(b.KeyGetTime(2), Sec(2.0));
    EXPECT_FLOAT_EQ(b.KeyGetValue(1), 2.0f);
    EXPECT_FLOAT_EQ(b.KeyGetValue(2), 4.0f);
    EXPECT_EQ(a.KeyGetCount(), 5);
}

std::unique_ptr<KFCurveNode> NodeWithChildren(int count)
{
    std::unique_ptr<KFCurveNode> node(new KFCurveNode("Channels", "Channels", nullptr));
    for (int i = 0; i < count; ++i)
    {
        const std::string name = "C" + std::to_string(i);
        KFCurveNode* child = node->FindOrCreate(name.c_str(), true);
        AddKey(*child->FCurveGet(), 0.0, 0.0f);
        AddKey(*child->FCurveGet(), 1.0 + i, 1.0f);
    }
    return node;
}

TEST(KFCurveFilterKeySync, AtMostTwentyCurves)
{
    KFCurveFilterKeySync sync;
    auto twenty = NodeWithChildren(20);
    EXPECT_TRUE(sync.NeedApply(*twenty, true));
    EXPECT_TRUE(sync.Apply(*twenty, true));
    EXPECT_EQ(twenty->Get(0)->FCurveGet()->KeyGetCount(), 21);
    EXPECT_FALSE(sync.NeedApply(*twenty, true));

    auto many = NodeWithChildren(21);
    EXPECT_FALSE(sync.NeedApply(*many, true));
    EXPECT_EQ(sync.GetLastErrorID(), 4);
    EXPECT_STREQ(sync.GetLastErrorString(), "KeySyncFilter, Curve count is too mush. No support above 20 curves..");
    // Applying is refused the same way, and nothing changes.
    EXPECT_FALSE(sync.Apply(*many, true));
    EXPECT_EQ(sync.GetLastErrorID(), 4);
    EXPECT_EQ(many->Get(0)->FCurveGet()->KeyGetCount(), 2);
}

// ---------------------------------------------------------------------------
// Key reducer
// ---------------------------------------------------------------------------

TEST(KFCurveFilterKeyReducer, StraightLineKeepsItsEnds)
{
    KFCurve curve;
    for (int i = 0; i < 100; ++i)
        AddKey(curve, i / 10.0, static_cast<float>(3 * i));
    KFCurveFilterKeyReducer reducer;
    EXPECT_STREQ(reducer.GetName(), "Bezier Fit/Key Reducer");
    EXPECT_DOUBLE_EQ(reducer.GetPrecision(), 1.0);
    EXPECT_FALSE(reducer.GetKeySync());
    EXPECT_TRUE(reducer.Apply(curve));
    ASSERT_EQ(curve.KeyGetCount(), 2);
    EXPECT_EQ(curve.KeyGetTime(0), Sec(0.0));
    EXPECT_EQ(curve.KeyGetTime(1), Sec(9.9));
    EXPECT_FLOAT_EQ(curve.KeyGetValue(1), 297.0f);
    EXPECT_EQ(curve.KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    EXPECT_NEAR(curve.Evaluate(Sec(5.0)), 150.0, 1e-2);
}

TEST(KFCurveFilterKeyReducer, Errors)
{
    KFCurveFilterKeyReducer reducer;
    KFCurve curve;
    AddKey(curve, 1.0, 1.0f);
    EXPECT_FALSE(reducer.Apply(curve));
    EXPECT_EQ(reducer.GetLastErrorID(), 1);
    EXPECT_STREQ(reducer.GetLastErrorString(), "KeyReducer, No key were changed by filter.");

    AddKey(curve, 2.0, 5.0f);
    AddKey(curve, 3.0, 1.0f);
    KTime start = Sec(-5.0), stop = Sec(0.5);
    reducer.SetStartTime(start);
    reducer.SetStopTime(stop);
    EXPECT_FALSE(reducer.Apply(curve));
    EXPECT_EQ(reducer.GetLastErrorID(), 1);
    EXPECT_STREQ(reducer.GetLastErrorString(), "KeyReducer, Invalid Time Span. No key were changed by filter.");
    EXPECT_EQ(curve.KeyGetCount(), 3);
}

std::vector<float> SineValues(int n)
{
    std::vector<float> values(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        values[static_cast<size_t>(i)] = static_cast<float>(100.0 * std::sin(i * 0.05) + 7.0 * std::sin(i * 0.31));
    return values;
}

TEST(KFCurveFilterKeyReducer, FitStaysWithinPrecision)
{
    const std::vector<float> values = SineValues(2000);
    KFCurve curve;
    for (size_t i = 0; i < values.size(); ++i)
        AddKey(curve, i / 30.0, values[i]);
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(0.5);
    EXPECT_TRUE(reducer.Apply(curve));
    EXPECT_LT(curve.KeyGetCount(), 1000);
    EXPECT_GT(curve.KeyGetCount(), 10);
    int hint = -1;
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_LE(std::fabs(curve.Evaluate(Sec(i / 30.0), &hint) - values[i]), 0.5 + 1e-4) << i;
}

TEST(KFCurveFilterKeyReducer, PrecisionZeroKeepsEveryDifferingKey)
{
    const std::vector<float> values = SineValues(300);
    KFCurve curve;
    for (size_t i = 0; i < values.size(); ++i)
        AddKey(curve, i / 30.0, values[i]);
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(0.0);
    EXPECT_TRUE(reducer.Apply(curve));
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(curve.Evaluate(Sec(i / 30.0)), values[i]) << i;
}

TEST(KFCurveFilterKeyReducer, KeepsKeysOutsideTheRange)
{
    KFCurve curve;
    for (int i = 0; i <= 40; ++i)
        AddKey(curve, i, static_cast<float>(i % 2));
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(5.0);
    KTime start = Sec(10.0), stop = Sec(30.0);
    reducer.SetStartTime(start);
    reducer.SetStopTime(stop);
    EXPECT_TRUE(reducer.Apply(curve));
    // Keys 0..9 and 31..40 stay; 10..30 collapse to the two end keys.
    ASSERT_EQ(curve.KeyGetCount(), 22);
    EXPECT_EQ(curve.KeyGetTime(9), Sec(9.0));
    EXPECT_EQ(curve.KeyGetTime(10), Sec(10.0));
    EXPECT_EQ(curve.KeyGetTime(11), Sec(30.0));
    EXPECT_EQ(curve.KeyGetTime(12), Sec(31.0));
}

// Subdivise on a result whose span is followed by further keys (keys inserted
// in place) gives the keys of the append-only build.
TEST(KFCurveFilterKeyReducer, SubdiviseInPlaceMatchesAppend)
{
    const std::vector<float> values = SineValues(400);
    KFCurve source;
    for (size_t i = 0; i < values.size(); ++i)
        AddKey(source, i / 30.0, values[i], KFCURVE_INTERPOLATION_CUBIC);

    auto endKey = [&](int index, KFCurve& result) {
        KFCurveKey key{};
        key.Set(source.KeyGetTime(index), source.KeyGetValue(index), KFCURVE_INTERPOLATION_CUBIC,
                KFCURVE_TANGEANT_USER, source.KeyGetRightDerivative(index), 0.0f);
        result.KeyAdd(key.GetTime(), key);
    };
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(0.25);

    KFCurve appended;
    endKey(10, appended);
    endKey(300, appended);
    EXPECT_TRUE(reducer.Subdivise(source, appended, 10, 300));

    KFCurve inPlace;
    endKey(10, inPlace);
    endKey(300, inPlace);
    endKey(350, inPlace);
    EXPECT_TRUE(reducer.Subdivise(source, inPlace, 10, 300));

    ASSERT_EQ(inPlace.KeyGetCount(), appended.KeyGetCount() + 1);
    for (int i = 0; i < appended.KeyGetCount(); ++i)
    {
        const KFCurveKey a = appended.KeyGet(i);
        const KFCurveKey b = inPlace.KeyGet(i);
        EXPECT_EQ(a.GetTime(), b.GetTime()) << i;
        EXPECT_EQ(a.GetValue(), b.GetValue()) << i;
        EXPECT_EQ(a.GetFlags(), b.GetFlags()) << i;
        EXPECT_EQ(a.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE), b.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE)) << i;
        EXPECT_EQ(a.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE), b.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE)) << i;
    }

    int worst = -1;
    EXPECT_EQ(reducer.FindMaxError(source, appended, 5, 5, worst), 0.0);
}

TEST(KFCurveFilterKeyReducer, KeySyncAfterReduction)
{
    KFCurve a, b;
    for (int i = 0; i <= 60; ++i)
    {
        AddKey(a, i / 30.0, static_cast<float>(i));
        AddKey(b, i / 30.0, static_cast<float>((i * i) % 17));
    }
    KFCurveFilterKeyReducer reducer;
    reducer.SetKeySync(true);
    KFCurve* curves[2] = {&a, &b};
    EXPECT_TRUE(reducer.Apply(curves, 2));
    EXPECT_TRUE(reducer.GetKeySync());
    ASSERT_EQ(a.KeyGetCount(), b.KeyGetCount());
    for (int i = 0; i < a.KeyGetCount(); ++i)
        EXPECT_EQ(a.KeyGetTime(i), b.KeyGetTime(i));
    EXPECT_GT(a.KeyGetCount(), 2);
}

} // namespace
