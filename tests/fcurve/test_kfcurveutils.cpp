// Curve utilities: comparison, kind counts, resampling, merging, conversion, time offsets, tangent breaking and
// fidelity increase.

#include "fcurve_test_util.h"

#include "fcurve/kfcurveutils.h"

#include <algorithm>
#include <thread>

using namespace fctest;

namespace {

const KTime kDeltaTime(kDelta);

// Linear keys at the given ticks, each holding its time as value unless given.
void Ticks(KFCurve& c, std::initializer_list<long long> ticks, float value = -1.0f)
{
    for (long long t : ticks)
        AddKey(c, KTime(t), value < 0 ? static_cast<float>(t) : value);
}

// Keys at the given seconds with the given values.
void Keys(KFCurve& c, std::initializer_list<std::pair<double, float>> keys, unsigned int interpolation = L,
          unsigned int mode = AUTO, float slope = 0.0f)
{
    for (const auto& k : keys)
        AddKey(c, Sec(k.first), k.second, interpolation, mode, slope, slope);
}

// A node "T" whose members X, Y, Z (or fewer) have curves filled by fill(c, i).
template <typename Fill>
KFCurveNode* ThreeChildNode(Fill fill, int children = 3)
{
    KFCurveNode* node = MemberNode("T", KFCL_ADD, {});
    const char* const names[3] = {"X", "Y", "Z"};
    for (int i = 0; i < children; ++i)
        fill(*node->FindOrCreate(names[i], true)->FCurveGet(), i);
    return node;
}

// Straight lines at 10 per second through (0, 0), (0.5 s, 5), (1 s, 10).
void Plotted(KFCurve& c, int = 0)
{
    Keys(c, {{0, 0.0f}, {0.5, 5.0f}, {1, 10.0f}}, U, USER, 10.0f);
}

// Up at 10 per second, then flat.
void RisingThenFlat(KFCurve& c, int = 0)
{
    Keys(c, {{0, 0.0f}, {0.5, 5.0f}, {1, 5.0f}});
}

} // namespace

TEST(KFCurveUtils, CompareAndCountKinds)
{
    KFCurve a, b;
    EXPECT_TRUE(KFCurveUtils::CompareCurve(&a, &b)); // no keys, equal defaults
    b.SetValue(1.0f);
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&a, &b));
    b.SetValue(0.0f);
    AddKey(a, KTime(100), 1.0f);
    AddKey(b, KTime(101), 1.0f); // one tick apart
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&a, &b));
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&a, nullptr));
    KFCurve c, d;
    Keys(c, {{0, 1.0f}, {1, 2.0f}}, U, USER, 2.0f);
    d.CopyFrom(c, true);
    EXPECT_TRUE(KFCurveUtils::CompareCurve(&c, &d));
    d.KeySetDataDouble(0, KFCURVEKEY_RIGHT_SLOPE, 2.5f);
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&c, &d));
    KFCurve e, f; // auto tangents compare kinds only
    AddKey(e, KTime(0), 1.0f, U, AUTO, 5.0f);
    AddKey(f, KTime(0), 1.0f, U, AUTO, 7.0f);
    EXPECT_TRUE(KFCurveUtils::CompareCurve(&e, &f));
    f.KeySetTangeantMode(0, KFCURVE_TANGEANT_TCB);
    EXPECT_FALSE(KFCurveUtils::CompareCurve(&e, &f));
    KFCurve empty; // the global interpolation and tangent: the OR of the kinds, and a note when there is more than one
    unsigned int out = 99;
    EXPECT_FALSE(KFCurveUtils::GetGlobalInterpolation(out, empty));
    EXPECT_EQ(out, 0u);
    ExpectError(KFCurveUtils::GetError(), 0, "KFCurveFilter, No key to be filtered.");
    KFCurve k;
    AddKey(k, KTime(0), 0.0f, C, 0);
    AddKey(k, KTime(10), 0.0f, C, 0);
    KFCurveUtils::GetError().ClearLastError();
    EXPECT_TRUE(KFCurveUtils::GetGlobalInterpolation(out, k));
    EXPECT_EQ(out, 2u);
    EXPECT_EQ(KFCurveUtils::GetLastErrorID(), -1); // one kind: nothing recorded
    AddKey(k, KTime(20), 0.0f, L);
    EXPECT_TRUE(KFCurveUtils::GetGlobalInterpolation(out, k));
    EXPECT_EQ(out, 6u);
    ExpectError(KFCurveUtils::GetError(), 1, "KFCurveFilter, No single interpolation type.");
    KFCurve t;
    Ticks(t, {0, 10});
    t.KeyTangeantSetInterpolation(false, U);
    t.KeySetTangeantMode(1, USER);
    EXPECT_TRUE(KFCurveUtils::GetGlobalTangeant(out, t));
    EXPECT_EQ(out, 0x500u);
    EXPECT_STREQ(KFCurveUtils::GetLastErrorString(), "KFCurveFilter, No single tangeant mode.");
    KFCurve all; // counts of constant, linear, auto, auto-break, user, break and TCB keys
    const unsigned int kinds[9][2] = {{C, 0},
                                      {L, AUTO},
                                      {L, AUTO},
                                      {U, AUTO},
                                      {U, KFCURVE_TANGEANT_AUTO_BREAK},
                                      {U, USER},
                                      {U, BREAK},
                                      {U, KFCURVE_TANGEANT_TCB},
                                      {U, KFCURVE_GENERIC_BREAK}}; // the last is not counted
    for (int i = 0; i < 9; ++i)
        AddKey(all, KTime(i), 0.0f, kinds[i][0], kinds[i][1]);
    int counts[7] = {-1, -1, -1, -1, -1, -1, -1};
    EXPECT_TRUE(KFCurveUtils::GetInterpolationAndTangeantCount(all, counts));
    EXPECT_EQ(std::vector<int>(counts, counts + 7), (std::vector<int>{1, 2, 1, 1, 1, 1, 1}));
}

TEST(KFCurveUtils, Resample)
{
    KFCurve src;
    Ticks(src, {0, 10});
    KFCurve dst;
    KTime start(0), stop(10), stop9(9), period(3), zero(0), minus(-3);
    // Fixed period, with or without a last key at the stop; a whole number of periods gets no extra key.
    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop, period, U, AUTO, true));
    EXPECT_EQ(Times(dst), (std::vector<long long>{0, 3, 6, 9, 10}));
    EXPECT_EQ(Values(dst), (std::vector<float>{0, 3, 6, 9, 10}));
    EXPECT_EQ(Kinds(dst), "Ua Ua Ua Ua Ua ");
    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop, period, L, AUTO, false));
    EXPECT_EQ(Times(dst), (std::vector<long long>{0, 3, 6, 9}));
    EXPECT_EQ(Kinds(dst), "L L L L ");
    ASSERT_TRUE(KFCurveUtils::Resample(src, dst, start, stop9, period, U, AUTO, true));
    EXPECT_EQ(Times(dst), (std::vector<long long>{0, 3, 6, 9}));
    // Refused: empty range, period not positive. The destination is untouched.
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, stop, start, period, 8, 0x100, true));
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, zero, 8, 0x100, true));
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, minus, 8, 0x100, true));
    EXPECT_EQ(dst.KeyGetCount(), 4);
    KFCurve mixed; // following the source's kinds: TCB keys become auto; after the last key the defaults, cubic auto
    AddKey(mixed, KTime(0), 0.0f, L);
    AddKey(mixed, KTime(10), 10.0f, U, KFCURVE_TANGEANT_TCB);
    AddKey(mixed, KTime(20), 0.0f, U, USER);
    KTime stop25(25), period5(5);
    ASSERT_TRUE(KFCurveUtils::Resample(mixed, dst, start, stop25, period5, false));
    EXPECT_EQ(Times(dst), (std::vector<long long>{0, 5, 10, 15, 20, 25}));
    EXPECT_FLOAT_EQ(dst.KeyGetValue(1), 5.0f);
    EXPECT_EQ(Kinds(dst), "L L Ua Ua Us Ua ");
    // In place: quarter seconds on a ramp; on frames from a multiple of the period; empty ranges, zero periods fail.
    KFCurve c;
    AddKey(c, KTime(0), 0.0f);
    AddKey(c, KTime(kTicksPerSecond), 10.0f);
    ASSERT_TRUE(KFCurveUtils::Resample(c, KTIME_MINUS_INFINITE, KTIME_INFINITE, KTime(kTicksPerSecond / 4), false));
    EXPECT_EQ(Times(c), (std::vector<long long>{0, kTicksPerSecond / 4, kTicksPerSecond / 2, 3 * kTicksPerSecond / 4,
                                                kTicksPerSecond}));
    EXPECT_EQ(Values(c), (std::vector<float>{0.0f, 2.5f, 5.0f, 7.5f, 10.0f}));
    KFCurve d;
    Ticks(d, {0, 100});
    ASSERT_TRUE(KFCurveUtils::Resample(d, KTime(25), KTime(60), KTime(10), true));
    const std::vector<long long> times = Times(d);
    EXPECT_EQ(std::count(times.begin(), times.end(), 30LL) + std::count(times.begin(), times.end(), 60LL), 2);
    EXPECT_EQ(std::count(times.begin(), times.end(), 25LL), 0);
    EXPECT_FALSE(KFCurveUtils::Resample(d, KTime(5), KTime(5), KTime(1), false));
    EXPECT_FALSE(KFCurveUtils::Resample(d, KTime(0), KTime(5), KTime(0), false));
}

TEST(KFCurveUtils, SampleLoopsAreBounded)
{
    KFCurve src, dst;
    AddKey(src, KTime(0), 1.0f);
    AddKey(dst, KTime(5), 2.0f);
    // The full tick range at one tick: no overflow, the sample count is refused, nothing is allocated.
    KTime start(-0x7FFFFFFFFFFFFFFFLL), stop(0x7FFFFFFFFFFFFFFFLL), period(1);
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, period, 8, 0x100, true));
    EXPECT_FALSE(KFCurveUtils::Resample(src, dst, start, stop, period, true));
    EXPECT_EQ(dst.KeyGetCount(), 1);
    EXPECT_EQ(kfcurveutils_detail::SampleCount(start, stop, period), -1);
    EXPECT_EQ(kfcurveutils_detail::SampleCount(KTime(0), KTime(10), KTime(3)), 4);
    EXPECT_EQ(kfcurveutils_detail::SampleCount(KTime(0), KTime(10), KTime(0)), -1);
    KFCurve wide; // in place, with keys at the ends of the tick range
    AddKey(wide, KTime(-0x7FFFFFFFFFFFFFF0LL), 0.0f);
    AddKey(wide, KTime(0x7FFFFFFFFFFFFFF0LL), 1.0f);
    EXPECT_FALSE(KFCurveUtils::Resample(wide, KTIME_MINUS_INFINITE, KTIME_INFINITE, KTime(kTicksPerSecond), false));
    EXPECT_EQ(wide.KeyGetCount(), 2);
    // Conversion: a period not positive, or a span needing too many samples: the keys themselves only.
    KFCurve bounded, ramp, far;
    Ticks(ramp, {0, 10});
    KFCurveUtils::ConvertCurve(ramp, bounded, U, AUTO, KTime(0));
    EXPECT_EQ(Times(bounded), (std::vector<long long>{0, 10}));
    Ticks(far, {-(1LL << 61), 1LL << 61}, 0.0f);
    KFCurveUtils::ConvertCurve(far, bounded, U, AUTO, KTime(1));
    EXPECT_EQ(bounded.KeyGetCount(), 2);
}

TEST(KFCurveUtils, MergeCases)
{
    KFCurve src;
    Ticks(src, {0, 10, 20, 30, 40});
    // {stretch keys} -> merged key times; the stretch's keys hold -1, -2 ...
    const struct
    {
        std::vector<long long> stretch, merged;
    } cases[] = {
        {{15, 20, 25}, {0, 10, 15, 20, 25, 30, 40}},
        {{-5, 45}, {-5, 45}},                                                       // covering every key
        {{-10, -5, 0, 5, 10, 15, 20, 25}, {-10, -5, 0, 5, 10, 15, 20, 25, 30, 40}}, // starting before the first key
        {{-20, -10}, {-20, -10, 0, 10, 20, 30, 40}},                                // before everything
        {{35, 50}, {0, 10, 20, 30, 35, 50}},                                        // after everything
        {{12, 18}, {0, 10, 12, 18, 20, 30, 40}},                                    // between two keys
    };
    for (const auto& k : cases)
    {
        KFCurve stretch, dst;
        for (size_t i = 0; i < k.stretch.size(); ++i)
            AddKey(stretch, KTime(k.stretch[i]), -1.0f - i);
        KFCurveUtils::Merge(src, stretch, dst);
        EXPECT_EQ(Times(dst), k.merged) << k.stretch.front();
        for (int i = 0; i < dst.KeyGetCount(); ++i)
        {
            const long long t = dst.KeyGetTime(i).Get();
            const auto at = std::find(k.stretch.begin(), k.stretch.end(), t);
            EXPECT_EQ(dst.KeyGetValue(i), at != k.stretch.end() ? -1.0f - (at - k.stretch.begin()) : t) << t;
        }
    }
    KFCurve none, out, stretch; // empty inputs; the destination may be the source itself
    Ticks(stretch, {15, 20, 25});
    KFCurveUtils::Merge(src, none, out);
    EXPECT_EQ(out.KeyGetCount(), 5);
    KFCurveUtils::Merge(none, stretch, out);
    EXPECT_EQ(out.KeyGetCount(), 3);
    KFCurve self;
    self.CopyFrom(src, true);
    KFCurveUtils::Merge(self, stretch, self);
    EXPECT_EQ(Times(self), (std::vector<long long>{0, 10, 15, 20, 25, 30, 40}));
    // User tangents join: key 0 enters the stretch with the source's slope; its last key breaks, with both slopes.
    KFCurve user, joined;
    Keys(user, {{0, 0.0f}, {1, 1.0f}}, U, USER, 1.0f);
    AddKey(user, Sec(2), 2.0f, U, USER, 1.0f, 4.0f);
    AddKey(user, Sec(3), 3.0f, U, USER, 1.0f, 1.0f);
    KFCurve half;
    Keys(half, {{0.5, 0.5f}, {2, 2.0f}});
    KFCurveUtils::Merge(user, half, joined);
    ASSERT_EQ(Times(joined),
              (std::vector<long long>{0, kTicksPerSecond / 2, 2 * kTicksPerSecond, 3 * kTicksPerSecond}));
    EXPECT_EQ(Values(joined), (std::vector<float>{0.0f, 0.5f, 2.0f, 3.0f}));
    EXPECT_NEAR(user.EvaluateRightDerivative(Sec(0.5)), joined.KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE), 1e-6);
    EXPECT_EQ(Kinds(joined), "Us L Ub Us ");
    EXPECT_NEAR(user.EvaluateLeftDerivative(Sec(2)), joined.KeyGetDataDouble(2, KFCURVEKEY_RIGHT_SLOPE), 1e-6);
    EXPECT_FLOAT_EQ(joined.KeyGetDataDouble(2, KFCURVEKEY_NEXT_LEFT_SLOPE), 4.0f);
}

TEST(KFCurveUtils, ConvertCurveAndTimeOffsets)
{
    // Linear spans are sampled at the period, a cubic key is copied, the last key stays alone; the source may be the
    // destination itself.
    KFCurve mixed;
    AddKey(mixed, KTime(0), 0.0f, L);
    AddKey(mixed, KTime(10), 10.0f, U, AUTO);
    AddKey(mixed, KTime(12), 10.0f, L);
    AddKey(mixed, KTime(20), 2.0f, L);
    KFCurveUtils::ConvertCurve(mixed, mixed, U, AUTO, KTime(5));
    EXPECT_EQ(Times(mixed), (std::vector<long long>{0, 5, 10, 12, 17, 20}));
    EXPECT_EQ(Values(mixed), (std::vector<float>{0, 5, 10, 10, 5, 2}));
    EXPECT_EQ(Kinds(mixed), "Ua Ua Ua Ua Ua Ua ");
    KFCurve autoCurve, user; // auto to user keeps the shape through the slopes
    Keys(autoCurve, {{0, 0.0f}, {1, 10.0f}, {2, 0.0f}}, U, AUTO);
    KFCurveUtils::ConvertCurve(autoCurve, user, U, USER, KTime(kTicksPerSecond / 10));
    EXPECT_EQ(Kinds(user), "Us Us Us ");
    EXPECT_FLOAT_EQ(user.KeyGetDataDouble(0, KFCURVEKEY_RIGHT_SLOPE), autoCurve.KeyGetRightDerivative(0));
    EXPECT_FLOAT_EQ(user.KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE), autoCurve.KeyGetLeftDerivative(1));
    EXPECT_FLOAT_EQ(user.KeyGetDataDouble(2, KFCURVEKEY_RIGHT_SLOPE), 0.0f); // the last key: no right slope
    EXPECT_NEAR(user.Evaluate(KTime(kTicksPerSecond / 3)), autoCurve.Evaluate(KTime(kTicksPerSecond / 3)), 1e-4);
    // Recursively over a node, the node's own curve included.
    KFCurveNode* node = ThreeChildNode([](KFCurve& c, int) {
        AddKey(c, KTime(0), 0.0f, L);
        AddKey(c, KTime(10), 1.0f, C, 0);
    });
    node->FCurveSet(KFCurveCreate());
    AddKey(*node->FCurveGet(), KTime(5), 2.0f, L);
    KFCurveUtils::ConvertCurveInterpolationRecursive(U, USER, *node);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(Kinds(*Member(node, c)), "Us Us ") << c;
    EXPECT_EQ(Kinds(*node->FCurveGet()), "Us ");
    node->Destroy();
    KFCurve o; // offsets to the first key after a time before it, and to the last key before a time after it
    KTime t(50), late(260);
    EXPECT_EQ(KFCurveUtils::FindTimeOffsetBefore(o, t).Get(), 0);
    Ticks(o, {100, 200});
    EXPECT_EQ(KFCurveUtils::FindTimeOffsetBefore(o, t).Get(), 50);
    EXPECT_EQ(KFCurveUtils::FindTimeOffsetAfter(o, t).Get(), 0);
    EXPECT_EQ(KFCurveUtils::FindTimeOffsetBefore(o, late).Get(), 0);
    EXPECT_EQ(KFCurveUtils::FindTimeOffsetAfter(o, late).Get(), -60);
}

TEST(KFCurveUtils, TangentBreaking)
{
    KFCurve reference, plotted;
    RisingThenFlat(reference);
    Plotted(plotted);
    // Key 0 matches the reference's slope: unchanged. Key 1: the reference leaves it flat: broken, left 10, right 0.
    KFCURVE_BreakTangentAt(0, &plotted, &reference, kDeltaTime, 1.0);
    EXPECT_EQ(Kinds(plotted), "Us Us Us ");
    KFCURVE_BreakTangentAt(1, &plotted, &reference, kDeltaTime, 1.0);
    EXPECT_EQ(Kinds(plotted), "Us Ub Us ");
    EXPECT_NEAR(plotted.KeyGetLeftDerivative(1), 10.0, 1e-3);
    EXPECT_NEAR(plotted.KeyGetRightDerivative(1), 0.0, 1e-3);
    KFCurve loose; // a loose threshold keeps the tangent
    Plotted(loose);
    KFCURVE_BreakTangentAt(1, &loose, &reference, kDeltaTime, 20.0);
    EXPECT_EQ(loose.KeyGetTangeantMode(1), USER);
    KFCurve single; // one key, zero delta, bad index, null curves: nothing happens
    AddKey(single, KTime(0), 3.0f, U, AUTO);
    KFCURVE_BreakTangentAt(0, &single, &reference, kDeltaTime, 0.0);
    EXPECT_EQ(single.KeyGetTangeantMode(0), AUTO);
    KFCURVE_BreakTangentAt(2, &loose, &reference, KTime(0), 0.0);
    KFCURVE_BreakTangentAt(7, &loose, &reference, kDeltaTime, 0.0);
    KFCURVE_BreakTangentAt(0, nullptr, &reference, kDeltaTime, 0.0);
    EXPECT_EQ(loose.KeyGetTangeantMode(2), USER);
    KFCurveNode* nodes = ThreeChildNode(Plotted); // over nodes: every member; different child counts are left alone
    KFCurveNode* references = ThreeChildNode(RisingThenFlat);
    KFCurveNode* two = ThreeChildNode(Plotted, 2);
    KFCURVE_BreakTangents(nodes, references, kDeltaTime, 1.0);
    KFCURVE_BreakTangents(two, references, kDeltaTime, 1.0);
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_EQ(Kinds(*Member(nodes, c)), "Us Ub Ub ") << c;
        EXPECT_NEAR(Member(nodes, c)->KeyGetRightDerivative(1), 0.0, 1e-3);
    }
    EXPECT_EQ(Member(two, 0)->KeyGetTangeantMode(1), USER);
    for (KFCurveNode* n : {two, references, nodes})
        n->Destroy();
}

TEST(KFCurveUtils, FidelityIncrease)
{
    auto flat = [](KFCurve& c, int i = 0) { Keys(c, {{0, float(i)}, {1, float(i)}}); };
    auto increase = [](KFCurve& plotted, KFCurve& reference, int subdivisions, KTime stop = Sec(1.0)) {
        KFCURVE_IncreaseFidelityRecursive(KTime(0), stop, &plotted, &reference, 0.25, subdivisions, false, kDeltaTime,
                                          1.0, false, nullptr, nullptr);
    };
    KFCurve peak, a; // the reference peaks at the middle: one key there, then both halves agree
    Keys(peak, {{0, 0.0f}, {0.5, 10.0f}, {1, 0.0f}});
    flat(a);
    increase(a, peak, 2);
    EXPECT_EQ(Times(a), (std::vector<long long>{0, kTicksPerSecond / 2, kTicksPerSecond}));
    EXPECT_FLOAT_EQ(a.KeyGetValue(1), 10.0f);
    EXPECT_EQ(a.KeyGetInterpolation(1), L);
    // Two subdivisions test the midpoint only and miss a stray at 0.25 s; four find it, and then a stray at 0.5 s.
    KFCurve quarter, b;
    Keys(quarter, {{0, 0.0f}, {0.25, 10.0f}, {0.5, 0.0f}, {1, 0.0f}});
    flat(b);
    increase(b, quarter, 2);
    EXPECT_EQ(b.KeyGetCount(), 2);
    increase(b, quarter, 4);
    EXPECT_EQ(Times(b), (std::vector<long long>{0, kTicksPerSecond / 4, kTicksPerSecond / 2, kTicksPerSecond}));
    EXPECT_EQ(Values(b), (std::vector<float>{0, 10, 0, 0}));
    KFCurve c; // spans of 1/120 s per step or less, agreement, one subdivision, a reversed span: nothing
    flat(c);
    increase(c, peak, 2, KTime(2 * kDelta));
    increase(c, c, 8);
    increase(c, peak, 1);
    KFCURVE_IncreaseFidelityRecursive(Sec(1.0), KTime(0), &c, &peak, 0.25, 2, false, kDeltaTime, 1.0, false, nullptr,
                                      nullptr);
    EXPECT_EQ(c.KeyGetCount(), 2);
    // With propagation the siblings get keys holding their reference values; without, they stay as they are.
    KFCurve refY, refZ;
    Keys(refY, {{0, 1.0f}, {1, 3.0f}});
    Keys(refZ, {{0, -4.0f}});
    for (bool propagate : {false, true})
    {
        KFCurve x, y, z;
        for (KFCurve* s : {&x, &y, &z})
            flat(*s);
        KArrayTemplate<KFCurve*> plottedSiblings, referenceSiblings;
        plottedSiblings.Add(&y);
        plottedSiblings.Add(&z);
        referenceSiblings.Add(&refY);
        referenceSiblings.Add(&refZ);
        KFCURVE_IncreaseFidelityRecursive(KTime(0), Sec(1.0), &x, &peak, 0.25, 2, false, kDeltaTime, 1.0, propagate,
                                          &plottedSiblings, &referenceSiblings);
        EXPECT_EQ(Values(y), (propagate ? std::vector<float>{0, 2, 0} : std::vector<float>{0, 0}));
        EXPECT_EQ(Values(z), (propagate ? std::vector<float>{0, -4, 0} : std::vector<float>{0, 0}));
    }
    // Adding a key breaks its tangents; after the last key the new key (not the one before it) gets the value.
    KFCurve reference, plotted, tail;
    Keys(reference, {{0, 0.0f}, {0.5, 10.0f}, {1, 10.0f}});
    Keys(plotted, {{0, 0.0f}, {1, 10.0f}}, U, AUTO);
    KFCURVE_IncreaseFidelityAddKey(Sec(0.5), 10.0, &plotted, &reference, true, kDeltaTime, 1.0);
    ASSERT_EQ(plotted.KeyGetCount(), 3);
    EXPECT_FLOAT_EQ(plotted.KeyGetValue(1), 10.0f);
    EXPECT_EQ(plotted.KeyGetTangeantMode(1), BREAK);
    EXPECT_NEAR(plotted.KeyGetLeftDerivative(1), 20.0, 1e-2);
    EXPECT_NEAR(plotted.KeyGetRightDerivative(1), 0.0, 1e-2);
    AddKey(tail, KTime(0), 0.0f);
    KFCURVE_IncreaseFidelityAddKey(Sec(2.0), 6.0, &tail, &reference, false, kDeltaTime, 1.0);
    EXPECT_EQ(Values(tail), (std::vector<float>{0, 6}));
    KFCURVE_IncreaseFidelityAddKey(Sec(2.0), 6.0, nullptr, &reference, false, kDeltaTime, 1.0);
    // Over nodes: only X strays (at 0.5 s); Y and Z hold 1 and 2.
    auto strays = [](KFCurve& c, int i) {
        if (i == 0)
            Keys(c, {{0, 0.0f}, {0.5, 10.0f}, {1, 0.0f}});
        else
            Keys(c, {{0, float(i)}, {1, float(i)}});
    };
    KFCurveNode* references = ThreeChildNode(strays);
    for (bool propagate : {false, true})
    {
        KFCurveNode* nodes = ThreeChildNode([&](KFCurve& c, int i) { flat(c, i); });
        KFCURVE_IncreaseFidelity(nodes, references, 0.25, 2, false, kDeltaTime, 1.0, propagate, nullptr, nullptr);
        EXPECT_EQ(Values(*Member(nodes, 0)), (std::vector<float>{0, 10, 0}));
        EXPECT_EQ(Values(*Member(nodes, 1)), (propagate ? std::vector<float>{1, 1, 1} : std::vector<float>{1, 1}));
        EXPECT_EQ(Times(*Member(nodes, 2)), Times(*Member(nodes, propagate ? 0 : 1)));
        nodes->Destroy();
    }
    KFCurveNode* same = references->Clone(false); // agreement everywhere: no key
    KFCURVE_IncreaseFidelity(same, references, 0.25, 4, false, kDeltaTime, 1.0, true, nullptr, nullptr);
    EXPECT_EQ(Member(same, 1)->KeyGetCount(), 2);
    same->Destroy();
    references->Destroy();
}

TEST(KFCurveUtilsTest, ErrorsAreTheCallingThreadsOwn)
{
    // A failure recorded on another thread leaves this thread's error alone.
    KFCurveUtils::GetError().ClearLastError();
    int seen = -2;
    std::thread([&seen] {
        KFCurve empty;
        unsigned int out = 0;
        KFCurveUtils::GetGlobalInterpolation(out, empty);
        seen = KFCurveUtils::GetLastErrorID();
    }).join();
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(KFCurveUtils::GetLastErrorID(), -1);
    EXPECT_STREQ(KFCurveUtils::GetLastErrorString(), "");
}
