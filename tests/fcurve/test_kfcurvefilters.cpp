// Curve filters: the filter base (range and key bounds), the constant key reducer, the gimbal-flip remover, the key
// synchroniser and the Bezier-fit key reducer, each with its worked examples and exact error texts.

#include "fcurve_test_util.h"

#include "fcurve/kfcurvefilter_unroll.h"
#include "fcurve/kfcurvefilters.h"

#include <cmath>
#include <memory>
#include <random>
#include <string>

using namespace fctest;

namespace {

// The direct reduction: each run deleted through KFCurve::Delete as soon as it is found.
void ReferenceReduce(KFCurveFilterConstantKeyReducer& filter, KFCurve& curve)
{
    const int first = filter.GetStartKey(curve);
    int last = filter.GetStopKey(curve) - 1;
    int i = last;
    while (i >= first)
    {
        const float v = curve.KeyGetValue(i);
        const float low = static_cast<float>(v - filter.GetValueTolerance());
        const float high = static_cast<float>(v + filter.GetValueTolerance());
        int count = 0, lowest = i;
        for (; i >= first && IsKeyConstant(curve, i, first, last, low, high); --i, ++count)
            lowest = i;
        if (i >= first)
            --i;
        if (count == 0)
            continue;
        if (count < curve.KeyGetCount())
        {
            curve.Delete(lowest, lowest + count - 1);
        }
        else if (filter.GetKeepOneKey())
        {
            curve.Delete(first + 1, last);
        }
        else
        {
            const float value = curve.KeyGetValue(0);
            curve.KeyClear();
            curve.SetValue(value);
        }
        last -= count;
    }
}

// A node with members holding keys 0, step, 0, step, 0 at 0 .. 4 s.
std::unique_ptr<KFCurveNode> Alternating(const char* name, float step, int members = 3)
{
    std::unique_ptr<KFCurveNode> node(MemberNode(name, KFCL_NOLAYER, {}));
    for (int m = 0; m < members; ++m)
    {
        KFCurveNode* child = node->FindOrCreate(("C" + std::to_string(m)).c_str(), true);
        for (int i = 0; i < 5; ++i)
            AddKey(*child->FCurveGet(), Sec(i), static_cast<float>(i % 2) * step);
    }
    return node;
}

// X, Y and Z rotation curves keyed together.
struct Rotation
{
    KFCurve x, y, z;
    KFCurve* curves[3] = {&x, &y, &z};
    void Key(double seconds, std::initializer_list<float> angles)
    {
        for (int i = 0; i < 3; ++i)
            AddKey(*curves[i], Sec(seconds), angles.begin()[i]);
    }
};

std::vector<float> SineValues(int n)
{
    std::vector<float> values(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        values[static_cast<size_t>(i)] = static_cast<float>(100.0 * std::sin(i * 0.05) + 7.0 * std::sin(i * 0.31));
    return values;
}

void AddFrames(KFCurve& curve, const std::vector<float>& values, unsigned int interpolation = L)
{
    for (size_t i = 0; i < values.size(); ++i)
        AddKey(curve, Sec(i / 30.0), values[i], interpolation);
}

} // namespace

TEST(KFCurveFilterBase, StartAndStopKeys)
{
    KFCurveFilterConstantKeyReducer filter;
    KFCurve curve;
    auto bounds = [&] { return std::vector<int>{filter.GetStartKey(curve), filter.GetStopKey(curve)}; };
    EXPECT_EQ(bounds(), (std::vector<int>{-1, -1}));
    AddKeys(curve, {1, 2, 3, 4});
    EXPECT_EQ(bounds(), (std::vector<int>{0, 4}));
    filter.SetStartTime(Sec(1.0)); // from one key before the range to one past the key at its stop
    filter.SetStopTime(Sec(2.0));
    EXPECT_EQ(bounds(), (std::vector<int>{0, 3}));
    filter.Reset();
    EXPECT_EQ(bounds(), (std::vector<int>{0, 4}));
}

TEST(KFCurveFilterConstantKeyReducer, DefaultsAndWorkedExamples)
{
    KFCurveFilterConstantKeyReducer filter;
    EXPECT_STREQ(filter.GetName(), "Constant Key Reducer");
    filter.SetKeepOneKey(true);
    filter.SetValueTolerance(1.0);
    filter.Reset();
    EXPECT_EQ(Vec({filter.GetDerivativeTolerance(), filter.GetValueTolerance(), filter.GetTranslationThreshold(),
                   filter.GetRotationThreshold(), filter.GetScalingThreshold(), filter.GetDefaultThreshold()}),
              Vec({0.009, 0.009, 0.009, 0.009, 0.004, 0.009}));
    EXPECT_FALSE(filter.GetKeepFirstAndLastKeys() || filter.GetKeepOneKey());
    KFCurve none;
    EXPECT_FALSE(filter.Apply(none));
    ExpectError(filter, 0, "ConstantKeyReducer, No key to be filtered.");
    // A whole constant curve: no key left (its value stays), or one.
    for (bool keepOne : {false, true})
    {
        KFCurve c;
        AddKeys(c, {1, 1, 1, 1});
        filter.SetKeepOneKey(keepOne);
        EXPECT_TRUE(filter.Apply(c));
        EXPECT_EQ(Times(c), keepOne ? std::vector<long long>{0} : std::vector<long long>{});
        EXPECT_FLOAT_EQ(keepOne ? c.KeyGetValue(0) : c.GetValue(), 1.0f);
    }
    filter.Reset();
    KFCurve user; // a cubic user key is never constant
    AddKeys(user, {0, 0, 0, 0, 0});
    user.KeySet(2, Sec(2), 0.0f, U, USER);
    EXPECT_FALSE(IsKeyConstant(user, 2, 0, 4, -1.0f, 1.0f));
    EXPECT_TRUE(filter.Apply(user));
    EXPECT_EQ(Times(user), Secs({2}));
    KFCurve step; // keys 0 to 2 go; key 3 stays because of the change two keys away
    AddKeys(step, {0, 0, 0, 0, 0, 0.01f});
    EXPECT_TRUE(filter.Apply(step));
    EXPECT_EQ(Times(step), Secs({3, 4, 5}));
    KFCurve ranged; // a range: keys 3 to 6 (one before the range to the key at the stop) go
    AddKeys(ranged, {5, 5, 5, 5, 5, 5, 5, 5, 5, 5});
    filter.SetStartTime(Sec(4.0));
    filter.SetStopTime(Sec(6.0));
    EXPECT_TRUE(filter.Apply(ranged));
    EXPECT_EQ(Times(ranged), Secs({0, 1, 2, 7, 8, 9}));
    filter.Reset(); // an array: the empty curve's "No key" is not reported
    KFCurve a, b, empty;
    AddKeys(a, {2, 2, 2});
    AddKeys(b, {0, 1, 2});
    KFCurve* curves[3] = {&a, &b, &empty};
    EXPECT_TRUE(filter.Apply(curves, 3));
    EXPECT_EQ((std::vector<int>{a.KeyGetCount(), b.KeyGetCount(), filter.GetLastErrorID()}),
              (std::vector<int>{0, 3, 0}));
}

// The one-pass deletion gives exactly what deleting each run in turn gives, tangent hand-overs included.
TEST(KFCurveFilterConstantKeyReducer, MatchesRunByRunDeletion)
{
    std::mt19937 random(1234);
    const unsigned int modes[5] = {AUTO, USER, BREAK, KFCURVE_TANGEANT_AUTO_BREAK, KFCURVE_TANGEANT_TCB};
    const float levels[4] = {0.0f, 0.004f, 1.0f, 1.006f};
    for (int trial = 0; trial < 150; ++trial)
    {
        KFCurve a;
        const int n = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < n; ++i)
        {
            const unsigned int interpolation = 2u << (random() % 3);
            const unsigned int mode = modes[random() % 5];
            const bool pure = random() % 2 == 0;
            const float d0 = pure ? 0.0f : static_cast<float>(random() % 7) - 3.0f;
            const float d1 = pure ? 0.0f : static_cast<float>(random() % 5) - 2.0f;
            KFCurveKey key = MakeKey(Sec(i * 0.5), 0.0f);
            if (interpolation == U && mode == KFCURVE_TANGEANT_TCB)
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
            filter.SetStartTime(Sec(2.0));
            filter.SetStopTime(Sec(12.0));
        }
        ASSERT_TRUE(filter.Apply(a));
        ReferenceReduce(filter, b);
        SCOPED_TRACE(trial);
        ASSERT_EQ(a.KeyGetCount(), b.KeyGetCount());
        EXPECT_EQ(a.GetValue(), b.GetValue());
        for (int i = 0; i < a.KeyGetCount(); ++i)
            EXPECT_EQ(std::memcmp(a.KeyGetPtr(i), b.KeyGetPtr(i), sizeof(KFCurveKey)), 0) << "key " << i;
    }
}

TEST(KFCurveFilterConstantKeyReducer, NodeThresholdByChannel)
{
    KFCurveFilterConstantKeyReducer filter; // keys alternate by 0.1: only a threshold above it removes them
    filter.SetTranslationThreshold(0.5);
    filter.SetRotationThreshold(0.5);
    filter.SetScalingThreshold(0.5);
    filter.SetDefaultThreshold(0.5);
    // Scaling only replaces a tolerance of exactly 0.004: the defaults stay.
    const struct
    {
        const char* name;
        double tolerance;
        int keysLeft;
    } cases[] = {{"Lcl Translation", 0.009, 0},
                 {"R", 0.009, 0},
                 {"Visibility", 0.009, 0},
                 {"S", 0.009, 5},
                 {"Lcl Scaling", 0.004, 0}};
    for (const auto& k : cases)
    {
        filter.SetValueTolerance(k.tolerance);
        auto node = Alternating(k.name, 0.1f);
        EXPECT_TRUE(filter.Apply(*node, true));
        EXPECT_EQ(Member(node.get(), 1)->KeyGetCount(), k.keysLeft) << k.name;
        EXPECT_DOUBLE_EQ(filter.GetValueTolerance(), k.tolerance); // restored
    }
    auto flat = Alternating("T", 0.1f); // without recursion only the node's own curve (none here) is filtered
    EXPECT_TRUE(filter.Apply(*flat, false));
    EXPECT_EQ(Member(flat.get(), 0)->KeyGetCount(), 5);
}

TEST(KFCurveFilterGimbleKiller, WorkedExamples)
{
    KFCurveFilterGimbleKiller filter;
    EXPECT_STREQ(filter.GetName(), "Gimble Killer");
    filter.SetApplyKeySyncFilter(false);
    filter.Reset();
    EXPECT_TRUE(filter.GetApplyKeySyncFilter());
    // {first key, second key} -> second key after filtering.
    const struct
    {
        float second[3];
        float expected[3];
    } cases[] = {
        {{355, 0, 0}, {-5, 0, 0}}, // whole turns are removed
        {{350, 0, 0}, {-10, 0, 0}},
        {{180, 176, 180}, {0, 4, 0}}, // the same rotation as (0, 4, 0)
        {{180, 180, 180}, {0, 0, 0}},
    };
    for (const auto& k : cases)
    {
        Rotation r;
        r.Key(0.0, {0.0, 0.0, 0.0});
        r.Key(1.0, {k.second[0], k.second[1], k.second[2]});
        EXPECT_TRUE(filter.Apply(r.curves, 3));
        const int last = r.x.KeyGetCount() - 1; // a step of 10 degrees or more is split
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(r.curves[i]->KeyGetValue(last), k.expected[i], 1e-3) << k.second[0] << " " << i;
    }
    // A rotation node of order ZYX: the continuity uses the order's axes.
    std::unique_ptr<KFCurveNode> node(MemberNode("Lcl Rotation", KFCL_EULER_XYZ));
    node->SetRotationOrder(10);
    KeyMembers(node.get(), {{0, 0, 0, 0}, {1, 0, 0, 354}});
    EXPECT_TRUE(filter.Apply(*node, true));
    EXPECT_NEAR(Member(node.get(), 2)->KeyGetValue(1), -6.0, 1e-3);
    Rotation s; // keys are synchronised first
    AddKeys(s.x, {0, 4});
    AddKeys(s.y, {0, 2}, 0.5);
    AddKeys(s.z, {0});
    EXPECT_TRUE(filter.Apply(s.curves, 3));
    for (KFCurve* c : s.curves)
        EXPECT_EQ(c->KeyGetCount(), 3);
    EXPECT_NEAR(s.x.KeyGetValue(1), 2.0, 1e-3);
}

TEST(KFCurveFilterGimbleKiller, LargeStepsAreSplit)
{
    KFCurveFilterGimbleKiller filter;
    Rotation r;
    r.Key(0.0, {0.0, 0.0, 0.0});
    r.Key(1.0, {90.0, 0.0, 0.0});
    EXPECT_TRUE(filter.Apply(r.curves, 3));
    const int count = r.x.KeyGetCount();
    ASSERT_GT(count, 2);
    EXPECT_EQ(r.y.KeyGetCount(), count);
    EXPECT_EQ(r.z.KeyGetCount(), count);
    EXPECT_NEAR(r.x.KeyGetValue(count - 1), 90.0, 1e-3);
    EXPECT_EQ(r.x.KeyGetTime(count - 1), Sec(1.0));
    // The first split is found by halving the quaternion blend: at 1/2, 1/4 and 1/8 of the step the turn is too large.
    const double s45 = std::sqrt(0.5), f = 1.0 / 16.0;
    EXPECT_NEAR(r.x.KeyGetValue(1), 2.0 * std::atan2(f * s45, 1.0 - f + f * s45) * 57.29577951308232, 1e-3);
    EXPECT_EQ(r.x.KeyGetTime(1), Sec(1.0 / 16.0));
    EXPECT_EQ(Kinds(r.x).substr(0, 5), "L Ua ");
    for (int i = 0; i + 1 < count; ++i)
    {
        double sum = 0.0;
        for (KFCurve* c : r.curves)
            sum += std::pow(c->KeyGetValue(i + 1) - c->KeyGetValue(i), 2);
        EXPECT_LE(sum, 75.0 + 1e-6) << i;
        EXPECT_LT(r.x.KeyGetTime(i), r.x.KeyGetTime(i + 1));
    }
    Rotation q; // short steps are never split
    q.Key(0.0, {0.0, 0.0, 0.0});
    q.Key(1.0 / 2000.0, {90.0, 0.0, 0.0});
    EXPECT_TRUE(filter.Apply(q.curves, 3));
    EXPECT_EQ(Values(q.x), (std::vector<float>{0, 90}));
}

TEST(KFCurveFilterGimbleKiller, Refusals)
{
    KFCurveFilterGimbleKiller filter;
    Rotation r;
    r.Key(0.0, {1.0, 2.0, 3.0});
    EXPECT_FALSE(filter.Apply(r.curves, 2));
    ExpectError(filter, 2, "Need 3 KFCurve to apply a gimble killer filter.");
    EXPECT_FALSE(filter.Apply(r.x));
    ExpectError(filter, 2, "Not 3 curve");
    std::unique_ptr<KFCurveNode> two(MemberNode("R", KFCL_EULER_XYZ, {0, 0}));
    EXPECT_FALSE(filter.Apply(*two, true));
    ExpectError(filter, 2, "Gimble Killer. ioCurveNode does not have 3 childs.");
    std::unique_ptr<KFCurveNode> plain(MemberNode("T", KFCL_ADD));
    KeyMembers(plain.get(), {{0, 350, 350, 350}});
    EXPECT_FALSE(filter.Apply(*plain, true));
    ExpectError(filter, 3, "Gimble Killer. Not a Rotation node!");
    EXPECT_FLOAT_EQ(Member(plain.get(), 0)->KeyGetValue(0), 350.0f);
    Rotation empty;
    EXPECT_FALSE(filter.Apply(empty.curves, 3));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
}

TEST(KFCurveFilterKeySync, MergesKeyTimesWithoutChangingShapes)
{
    KFCurve a, b;
    AddKeys(a, {0, 10});
    AddKeys(b, {4, -2}, 0.5, U);
    AddKey(b, Sec(1.5), 3.0f, U);
    const std::vector<float> shapeA = Sample(a, -0.5, 2, 40), shapeB = Sample(b, -0.5, 2, 40);
    KFCurveFilterKeySync sync;
    EXPECT_STREQ(sync.GetName(), "FCurve Key Synchronizer");
    KFCurve* curves[2] = {&a, &b};
    EXPECT_TRUE(sync.NeedApply(curves, 2));
    ExpectError(sync, 2, "KeySyncFilter, Key count is different in the Curves to be filtered.");
    EXPECT_TRUE(sync.Apply(curves, 2));
    for (KFCurve* curve : curves)
        EXPECT_EQ(Times(*curve), Secs({0, 0.5, 1, 1.5}));
    ExpectNearAll(Sample(a, -0.5, 2, 40), shapeA, 1e-4);
    ExpectNearAll(Sample(b, -0.5, 2, 40), shapeB, 1e-4);
    EXPECT_FLOAT_EQ(a.KeyGetValue(1), 5.0f);
    EXPECT_FALSE(sync.NeedApply(curves, 2));
    KFCurve p, q, empty; // equal counts at other times; an empty first curve; single curves
    AddKeys(p, {1, 2});
    AddKeys(q, {3, 4}, 1.5);
    KFCurve* unsynched[2] = {&p, &q};
    EXPECT_TRUE(sync.NeedApply(unsynched, 2));
    ExpectError(sync, 3, "KeySyncFilter, keys are not synchronized.");
    KFCurve* firstEmpty[2] = {&empty, &a};
    EXPECT_FALSE(sync.NeedApply(firstEmpty, 2));
    EXPECT_FALSE(sync.NeedApply(a));
    ExpectError(sync, 1, "KeySyncFilter, No key were changed by filter.");
    EXPECT_FALSE(sync.Apply(a));
    KFCurve* one[1] = {&a};
    sync.GetError().ClearLastError();
    EXPECT_FALSE(sync.Apply(one, 1));
    ExpectError(sync, 1, "KeySyncFilter, No key were changed by filter.");
    KFCurve c, d; // only the keys within the range are shared, with the other curve's values
    AddKeys(c, {0, 2, 4, 6, 8});
    AddKeys(d, {0, 8}, 4);
    sync.SetStartTime(Sec(1.0));
    sync.SetStopTime(Sec(2.5));
    KFCurve* pair[2] = {&c, &d};
    EXPECT_TRUE(sync.Apply(pair, 2));
    EXPECT_EQ(Times(d), Secs({0, 1, 2, 4}));
    EXPECT_EQ(Values(d), (std::vector<float>{0, 2, 4, 8}));
    EXPECT_EQ(c.KeyGetCount(), 5);
}

// Keys added outside a cubic curve's key range keep the constant value it had there; inside, the shape stays. The
// rotation filters synchronise their curves the same way.
TEST(KFCurveFilterKeySync, KeysOutsideTheRangeKeepTheEndValues)
{
    for (int filter = 0; filter < 3; ++filter)
    {
        KFCurve a, b, c;
        AddKey(a, Sec(1), 5.0f, U, AUTO);
        AddKey(a, Sec(2), 2.0f, U, AUTO);
        AddKeys(b, {0, 0}, 3);
        AddKeys(c, {0, 0}, 3);
        const float middle = a.Evaluate(Sec(1.5));
        KFCurve* curves[3] = {&a, &b, &c};
        if (filter == 0)
            ASSERT_TRUE(KFCurveFilterKeySync().Apply(curves, 2));
        else if (filter == 1)
            ASSERT_TRUE(KFCurveFilterUnroll().Apply(curves, 3));
        else
            ASSERT_TRUE(KFCurveFilterGimbleKiller().Apply(curves, 3));
        ASSERT_EQ(Times(a), Secs({0, 1, 2, 3})) << filter;
        EXPECT_EQ(Values(a), (std::vector<float>{5, 5, 2, 2})) << filter;
        EXPECT_FLOAT_EQ(a.Evaluate(Sec(0.5)), 5.0f) << filter;
        EXPECT_FLOAT_EQ(a.Evaluate(Sec(2.5)), 2.0f) << filter;
        EXPECT_NEAR(a.Evaluate(Sec(1.5)), middle, 1e-5) << filter;
    }
}

TEST(KFCurveFilterKeySync, AtMostTwentyCurves)
{
    // Member m has keys at 0 and 1 + m seconds.
    auto make = [](int count) {
        std::unique_ptr<KFCurveNode> node(MemberNode("Channels", KFCL_NOLAYER, {}));
        for (int i = 0; i < count; ++i)
            AddKeys(*node->FindOrCreate(("C" + std::to_string(i)).c_str(), true)->FCurveGet(), {0, 1}, 1 + i);
        return node;
    };
    KFCurveFilterKeySync sync;
    auto twenty = make(20);
    EXPECT_TRUE(sync.NeedApply(*twenty, true));
    EXPECT_TRUE(sync.Apply(*twenty, true));
    EXPECT_EQ(Member(twenty.get(), 0)->KeyGetCount(), 21);
    EXPECT_FALSE(sync.NeedApply(*twenty, true));
    auto many = make(21); // over 20: refused the same way for both, and nothing changes
    EXPECT_FALSE(sync.NeedApply(*many, true));
    ExpectError(sync, 4, "KeySyncFilter, Curve count is too mush. No support above 20 curves..");
    sync.GetError().ClearLastError();
    EXPECT_FALSE(sync.Apply(*many, true));
    EXPECT_EQ(sync.GetLastErrorID(), 4);
    EXPECT_EQ(Member(many.get(), 0)->KeyGetCount(), 2);
}

TEST(KFCurveFilterKeyReducer, StraightLinesErrorsAndRanges)
{
    KFCurve line;
    for (int i = 0; i < 100; ++i)
        AddKey(line, Sec(i / 10.0), static_cast<float>(3 * i));
    KFCurveFilterKeyReducer reducer;
    EXPECT_STREQ(reducer.GetName(), "Bezier Fit/Key Reducer");
    EXPECT_DOUBLE_EQ(reducer.GetPrecision(), 1.0);
    EXPECT_FALSE(reducer.GetKeySync());
    EXPECT_TRUE(reducer.Apply(line));
    EXPECT_EQ(Times(line), Secs({0, 9.9}));
    EXPECT_FLOAT_EQ(line.KeyGetValue(1), 297.0f);
    EXPECT_EQ(line.KeyGetTangeantMode(0), USER);
    EXPECT_NEAR(line.Evaluate(Sec(5.0)), 150.0, 1e-2);
    KFCurve curve;
    AddKeys(curve, {1});
    EXPECT_FALSE(reducer.Apply(curve));
    ExpectError(reducer, 1, "KeyReducer, No key were changed by filter.");
    AddKeys(curve, {1, 5, 1});
    reducer.SetStartTime(Sec(-5.0));
    reducer.SetStopTime(Sec(-0.5));
    EXPECT_FALSE(reducer.Apply(curve));
    ExpectError(reducer, 1, "KeyReducer, Invalid Time Span. No key were changed by filter.");
    EXPECT_EQ(curve.KeyGetCount(), 3);
    KFCurve zigzag; // keys 0..9 and 31..40 stay; 10..30 collapse to the two end keys
    for (int i = 0; i <= 40; ++i)
        AddKey(zigzag, Sec(i), static_cast<float>(i % 2));
    reducer.SetPrecision(5.0);
    reducer.SetStartTime(Sec(10.0));
    reducer.SetStopTime(Sec(30.0));
    EXPECT_TRUE(reducer.Apply(zigzag));
    EXPECT_EQ(Times(zigzag), Secs({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40}));
}

TEST(KFCurveFilterKeyReducer, DenseCurvesFitWithinThePrecision)
{
    const std::vector<float> values = SineValues(2000); // precision 0.5: far fewer keys, every sample within it
    KFCurve curve;
    AddFrames(curve, values);
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(0.5);
    EXPECT_TRUE(reducer.Apply(curve));
    EXPECT_LT(curve.KeyGetCount(), 1000);
    EXPECT_GT(curve.KeyGetCount(), 10);
    int hint = -1;
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_LE(std::fabs(curve.Evaluate(Sec(i / 30.0), &hint) - values[i]), 0.5 + 1e-4) << i;
    KFCurve exact; // precision 0 keeps every differing key
    AddFrames(exact, SineValues(300));
    reducer.SetPrecision(0.0);
    EXPECT_TRUE(reducer.Apply(exact));
    for (size_t i = 0; i < 300; ++i)
        EXPECT_EQ(exact.Evaluate(Sec(i / 30.0)), values[i]) << i;
    KFCurve a, b; // with key sync the reduced curves share their key times
    for (int i = 0; i <= 60; ++i)
    {
        AddKey(a, Sec(i / 30.0), static_cast<float>(i));
        AddKey(b, Sec(i / 30.0), static_cast<float>((i * i) % 17));
    }
    reducer.SetPrecision(1.0);
    reducer.SetKeySync(true);
    KFCurve* curves[2] = {&a, &b};
    EXPECT_TRUE(reducer.Apply(curves, 2));
    EXPECT_TRUE(reducer.GetKeySync());
    EXPECT_EQ(Times(a), Times(b));
    EXPECT_GT(a.KeyGetCount(), 2);
}

// Subdivise on a result whose span is followed by further keys (keys inserted in place) gives the keys of the
// append-only build.
TEST(KFCurveFilterKeyReducer, SubdiviseInPlaceMatchesAppend)
{
    KFCurve source, appended, inPlace;
    AddFrames(source, SineValues(400), U);
    auto endKeys = [&](KFCurve& result, std::initializer_list<int> indices) {
        for (int index : indices)
            AddKey(result, source.KeyGetTime(index), source.KeyGetValue(index), U, USER,
                   source.KeyGetRightDerivative(index), 0.0f);
    };
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(0.25);
    endKeys(appended, {10, 300});
    EXPECT_TRUE(reducer.Subdivise(source, appended, 10, 300));
    endKeys(inPlace, {10, 300, 350});
    EXPECT_TRUE(reducer.Subdivise(source, inPlace, 10, 300));
    ASSERT_EQ(inPlace.KeyGetCount(), appended.KeyGetCount() + 1);
    for (int i = 0; i < appended.KeyGetCount(); ++i) // time, value, flags and slopes: all but weights and velocities
        EXPECT_EQ(std::memcmp(appended.KeyGetPtr(i), inPlace.KeyGetPtr(i), 24), 0) << i;
    int worst = -1;
    EXPECT_EQ(reducer.FindMaxError(source, appended, 5, 5, worst), 0.0);
}
