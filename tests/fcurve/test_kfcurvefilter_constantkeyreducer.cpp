// Filter base (range and key bounds, node traversal) and the constant key reducer.
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

KTime Sec(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

void AddKey(KFCurve& curve, double seconds, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
            unsigned int mode = KFCURVE_TANGEANT_AUTO, float d0 = 0.0f, float d1 = 0.0f)
{
    KFCurveKey key{};
    key.Set(Sec(seconds), value, interpolation, mode, d0, d1);
    curve.KeyAdd(key.GetTime(), key);
}

// The direct reduction: each run deleted through KFCurve::Delete as soon as it is found.
void ReferenceReduce(KFCurveFilterConstantKeyReducer& filter, KFCurve& curve)
{
    int i = filter.GetStopKey(curve) - 1;
    const int first = filter.GetStartKey(curve);
    int last = filter.GetStopKey(curve) - 1;
    while (i >= first)
    {
        const float v = curve.KeyGetValue(i);
        const float low = static_cast<float>(v - filter.GetValueTolerance());
        const float high = static_cast<float>(v + filter.GetValueTolerance());
        int count = 0;
        int lowest = i;
        while (i >= first && IsKeyConstant(curve, i, first, last, low, high))
        {
            lowest = i;
            --i;
            ++count;
        }
        if (i >= first)
            --i;
        if (count == 0)
            continue;
        if (count == curve.KeyGetCount())
        {
            if (filter.GetKeepOneKey())
                curve.Delete(first + 1, last);
            else
            {
                const float value = curve.KeyGetValue(0);
                curve.KeyClear();
                curve.SetValue(value);
            }
        }
        else
            curve.Delete(lowest, lowest + count - 1);
        last -= count;
    }
}

void ExpectSameKeys(KFCurve& a, KFCurve& b)
{
    ASSERT_EQ(a.KeyGetCount(), b.KeyGetCount());
    EXPECT_EQ(a.GetValue(), b.GetValue());
    for (int i = 0; i < a.KeyGetCount(); ++i)
    {
        const KFCurveKey ka = a.KeyGet(i);
        const KFCurveKey kb = b.KeyGet(i);
        EXPECT_EQ(ka.GetTime(), kb.GetTime()) << "key " << i;
        EXPECT_EQ(ka.GetValue(), kb.GetValue()) << "key " << i;
        EXPECT_EQ(ka.GetFlags(), kb.GetFlags()) << "key " << i;
        EXPECT_EQ(0, std::memcmp(ka.GetDataPtr(), kb.GetDataPtr(), 16)) << "key " << i;
    }
}

TEST(KFCurveFilterBase, StartAndStopKeys)
{
    KFCurveFilterConstantKeyReducer filter;
    EXPECT_STREQ(filter.GetName(), "Constant Key Reducer");
    EXPECT_EQ(filter.GetStartTime(), KTIME_MINUS_INFINITE);
    EXPECT_EQ(filter.GetStopTime(), KTIME_INFINITE);

    KFCurve curve;
    EXPECT_EQ(filter.GetStartKey(curve), -1);
    EXPECT_EQ(filter.GetStopKey(curve), -1);

    for (int s = 1; s <= 4; ++s)
        AddKey(curve, s, static_cast<float>(s));
    EXPECT_EQ(filter.GetStartKey(curve), 0);
    EXPECT_EQ(filter.GetStopKey(curve), 4);

    KTime start = Sec(2.0), stop = Sec(3.0);
    filter.SetStartTime(start);
    filter.SetStopTime(stop);
    EXPECT_EQ(filter.GetStartKey(curve), 0); // one key before the range
    EXPECT_EQ(filter.GetStopKey(curve), 3);  // one past the key at 3 s

    filter.Reset();
    EXPECT_EQ(filter.GetStartTime(), KTIME_MINUS_INFINITE);
    EXPECT_TRUE(filter.NeedApply(curve));
}

TEST(KFCurveFilterConstantKeyReducer, Defaults)
{
    KFCurveFilterConstantKeyReducer filter;
    EXPECT_DOUBLE_EQ(filter.GetDerivativeTolerance(), 0.009);
    EXPECT_DOUBLE_EQ(filter.GetValueTolerance(), 0.009);
    EXPECT_DOUBLE_EQ(filter.GetTranslationThreshold(), 0.009);
    EXPECT_DOUBLE_EQ(filter.GetRotationThreshold(), 0.009);
    EXPECT_DOUBLE_EQ(filter.GetScalingThreshold(), 0.004);
    EXPECT_DOUBLE_EQ(filter.GetDefaultThreshold(), 0.009);
    EXPECT_FALSE(filter.GetKeepFirstAndLastKeys());
    EXPECT_FALSE(filter.GetKeepOneKey());
    filter.SetKeepOneKey(true);
    filter.SetValueTolerance(1.0);
    filter.Reset();
    EXPECT_FALSE(filter.GetKeepOneKey());
    EXPECT_DOUBLE_EQ(filter.GetValueTolerance(), 0.009);
}

TEST(KFCurveFilterConstantKeyReducer, NoKey)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve curve;
    EXPECT_FALSE(filter.Apply(curve));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
    EXPECT_STREQ(filter.GetLastErrorString(), "ConstantKeyReducer, No key to be filtered.");
}

TEST(KFCurveFilterConstantKeyReducer, WholeCurveConstant)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve curve;
    for (int i = 0; i < 4; ++i)
        AddKey(curve, i, 1.0f);
    EXPECT_TRUE(filter.Apply(curve));
    EXPECT_EQ(curve.KeyGetCount(), 0);
    EXPECT_FLOAT_EQ(curve.GetValue(), 1.0f);

    KFCurve kept;
    for (int i = 0; i < 4; ++i)
        AddKey(kept, i, 1.0f);
    filter.SetKeepOneKey(true);
    EXPECT_TRUE(filter.Apply(kept));
    ASSERT_EQ(kept.KeyGetCount(), 1);
    EXPECT_EQ(kept.KeyGetTime(0), Sec(0.0));
}

TEST(KFCurveFilterConstantKeyReducer, CubicUserKeyIsNeverConstant)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve curve;
    for (int i = 0; i < 5; ++i)
        AddKey(curve, i, 0.0f, i == 2 ? KFCURVE_INTERPOLATION_CUBIC : KFCURVE_INTERPOLATION_LINEAR,
               i == 2 ? KFCURVE_TANGEANT_USER : KFCURVE_TANGEANT_AUTO);
    EXPECT_FALSE(IsKeyConstant(curve, 2, 0, 4, -1.0f, 1.0f));
    EXPECT_TRUE(filter.Apply(curve));
    ASSERT_EQ(curve.KeyGetCount(), 1);
    EXPECT_EQ(curve.KeyGetTime(0), Sec(2.0));
    EXPECT_EQ(curve.KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
}

TEST(KFCurveFilterConstantKeyReducer, NeighboursTwoKeysAway)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve curve;
    const float values[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.01f};
    for (int i = 0; i < 6; ++i)
        AddKey(curve, i, values[i]);
    EXPECT_TRUE(filter.Apply(curve));
    // Keys 0 to 2 go; key 3 stays because of the change two keys away.
    ASSERT_EQ(curve.KeyGetCount(), 3);
    EXPECT_EQ(curve.KeyGetTime(0), Sec(3.0));
    EXPECT_FLOAT_EQ(curve.KeyGetValue(2), 0.01f);
}

TEST(KFCurveFilterConstantKeyReducer, RangeLimitsTheScan)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve curve;
    for (int i = 0; i < 10; ++i)
        AddKey(curve, i, 5.0f);
    KTime start = Sec(4.0), stop = Sec(6.0);
    filter.SetStartTime(start);
    filter.SetStopTime(stop);
    EXPECT_TRUE(filter.Apply(curve));
    // Keys 3..6 (one before the range to the key at the stop) are removed.
    ASSERT_EQ(curve.KeyGetCount(), 6);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(2.0));
    EXPECT_EQ(curve.KeyGetTime(3), Sec(7.0));
}

// The one-pass deletion gives exactly what deleting each run in turn gives,
// tangent hand-overs included.
TEST(KFCurveFilterConstantKeyReducer, MatchesRunByRunDeletion)
{
    std::mt19937 random(1234);
    const unsigned int modes[5] = {KFCURVE_TANGEANT_AUTO, KFCURVE_TANGEANT_USER, KFCURVE_TANGEANT_BREAK,
                                   KFCURVE_TANGEANT_AUTO_BREAK, KFCURVE_TANGEANT_TCB};
    const unsigned int interpolations[3] = {KFCURVE_INTERPOLATION_CONSTANT, KFCURVE_INTERPOLATION_LINEAR,
                                            KFCURVE_INTERPOLATION_CUBIC};
    const float levels[4] = {0.0f, 0.004f, 1.0f, 1.006f};
    for (int trial = 0; trial < 300; ++trial)
    {
        KFCurve a;
        const int n = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < n; ++i)
        {
            const unsigned int interpolation = interpolations[random() % 3];
            const unsigned int mode = modes[random() % 5];
            const bool pure = random() % 2 == 0;
            const float d0 = pure ? 0.0f : static_cast<float>(random() % 7) - 3.0f;
            const float d1 = pure ? 0.0f : static_cast<float>(random() % 5) - 2.0f;
            KFCurveKey key{};
            if (interpolation == KFCURVE_INTERPOLATION_CUBIC && mode == KFCURVE_TANGEANT_TCB)
                key.SetTCB(Sec(i * 0.5), levels[random() % 4], 0.1f, -0.2f, 0.3f);
            else
                key.Set(Sec(i * 0.5), levels[random() % 4], interpolation, mode, d0, d1,
                        random() % 5 == 0 ? KFCURVE_WEIGHTED_RIGHT : KFCURVE_WEIGHTED_NONE, 0.25f, 0.4f);
            a.KeyAdd(key.GetTime(), key);
        }
        KFCurve b;
        b.CopyFrom(a, true);

        KFCurveFilterConstantKeyReducer filter;
        filter.SetKeepOneKey(trial % 3 == 0);
        if (trial % 4 == 1)
        {
            KTime start = Sec(2.0), stop = Sec(12.0);
            filter.SetStartTime(start);
            filter.SetStopTime(stop);
        }
        ASSERT_TRUE(filter.Apply(a));
        ReferenceReduce(filter, b);
        SCOPED_TRACE(trial);
        ExpectSameKeys(a, b);
    }
}

// A node tree: parent with "X", "Y", "Z" children, each with a curve of keys
// 0, step, 2 step, ... so only a tolerance above the step removes them.
std::unique_ptr<KFCurveNode> MakeChannel(const char* name, float step)
{
    std::unique_ptr<KFCurveNode> node(new KFCurveNode(name, name, nullptr));
    for (const char* member : {"X", "Y", "Z"})
    {
        KFCurveNode* child = node->FindOrCreate(member, true);
        for (int i = 0; i < 5; ++i)
            AddKey(*child->FCurveGet(), i, static_cast<float>(i % 2) * step);
    }
    return node;
}

int KeyCount(KFCurveNode& node, const char* member)
{
    return node.FindRecursive(member)->FCurveGet()->KeyGetCount();
}

TEST(KFCurveFilterConstantKeyReducer, NodeThresholdByChannel)
{
    KFCurveFilterConstantKeyReducer filter;
    filter.SetTranslationThreshold(0.5);
    filter.SetRotationThreshold(0.5);
    filter.SetScalingThreshold(0.5);
    filter.SetDefaultThreshold(0.5);

    auto translation = MakeChannel("Lcl Translation", 0.1f);
    EXPECT_TRUE(filter.Apply(*translation, true));
    EXPECT_EQ(KeyCount(*translation, "X"), 0);
    EXPECT_DOUBLE_EQ(filter.GetValueTolerance(), 0.009); // restored

    auto rotation = MakeChannel("R", 0.1f);
    EXPECT_TRUE(filter.Apply(*rotation, true));
    EXPECT_EQ(KeyCount(*rotation, "Z"), 0);

    auto other = MakeChannel("Visibility", 0.1f);
    EXPECT_TRUE(filter.Apply(*other, true));
    EXPECT_EQ(KeyCount(*other, "Y"), 0);

    // Scaling only replaces a tolerance of exactly 0.004: the defaults stay.
    auto scaling = MakeChannel("S", 0.1f);
    EXPECT_TRUE(filter.Apply(*scaling, true));
    EXPECT_EQ(KeyCount(*scaling, "X"), 5);

    filter.SetValueTolerance(0.004);
    auto scaling2 = MakeChannel("Lcl Scaling", 0.1f);
    EXPECT_TRUE(filter.Apply(*scaling2, true));
    EXPECT_EQ(KeyCount(*scaling2, "X"), 0);
    EXPECT_DOUBLE_EQ(filter.GetValueTolerance(), 0.004);

    // Without recursion only the node's own curve (none here) is filtered.
    filter.Reset();
    filter.SetTranslationThreshold(0.5);
    auto flat = MakeChannel("T", 0.1f);
    EXPECT_TRUE(filter.Apply(*flat, false));
    EXPECT_EQ(KeyCount(*flat, "X"), 5);
}

TEST(KFCurveFilterConstantKeyReducer, CurveArray)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve a, b, c;
    for (int i = 0; i < 3; ++i)
    {
        AddKey(a, i, 2.0f);
        AddKey(b, i, static_cast<float>(i));
    }
    KFCurve* curves[3] = {&a, &b, &c};
    EXPECT_TRUE(filter.Apply(curves, 3));
    EXPECT_EQ(a.KeyGetCount(), 0);
    EXPECT_EQ(b.KeyGetCount(), 3);
    EXPECT_EQ(filter.GetLastErrorID(), 0); // the empty curve reported "No key"
}

} // namespace
