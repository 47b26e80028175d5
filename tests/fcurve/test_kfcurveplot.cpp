// Plotting layered curve nodes into keys, against hand-worked values.

#include "fcurve_test_util.h"

#include "fcurve/kfcurveglobal.h"
#include "fcurve/kfcurveplot.h"

#include <algorithm>

using namespace fctest;

namespace {

// A destination node "D" with members X, Y, Z and no curves.
KFCurveNode* Destination()
{
    KFCurveNode* node = KFCurveNodeCreate("D", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    for (const char* member : {"X", "Y", "Z"})
        node->FindOrCreate(member, false);
    return node;
}

// Keys at the given frames (1/30 s) with the given values.
void Frames(KFCurve* c, std::initializer_list<std::pair<long long, float>> keys, unsigned int interpolation = L)
{
    for (const auto& k : keys)
        AddKey(*c, KTime(k.first * kTicksPerFrame30), k.second, interpolation, interpolation == C ? 0 : AUTO);
}

// Plots node over [start, stop] frames at one frame into a new destination.
KFCurveNode* Plot(KFCurveNode* node, long long start, long long stop, KArrayTemplate<int>* ids = nullptr,
                  bool useTimeWarp = false, KSmartPlotOptions* options = nullptr)
{
    KFCurveNode* dest = Destination();
    KFCurve_PlotInLayers(node, ids, 0, 0, KTime(start * kTicksPerFrame30), KTime(stop * kTicksPerFrame30),
                         KTime(kTicksPerFrame30), dest, nullptr, useTimeWarp, options);
    return dest;
}

bool Has(KFCurve* c, long long t)
{
    const std::vector<long long> times = Times(*c);
    return std::find(times.begin(), times.end(), t) != times.end();
}

} // namespace

TEST(KFCurvePlot, SpanOfOneSecondAndBoundedSampling)
{
    // X rises 30 per second: frame k holds k; the sample at 1 s is not past the stop, so one more follows: 32.
    KFCurveNode* node = MemberNode("T", KFCL_ADD);
    Frames(Member(node, 0), {{0, 0.0f}, {30, 30.0f}});
    KFCurveNode* dest = Plot(node, 0, 30);
    for (int m = 0; m < 3; ++m)
    {
        ASSERT_NE(Member(dest, m), nullptr);
        ASSERT_EQ(Member(dest, m)->KeyGetCount(), 32) << m;
        for (int k = 0; k < 32; ++k)
            EXPECT_EQ(Member(dest, m)->KeyGetTime(k).Get(), k * kTicksPerFrame30);
    }
    for (int k = 0; k <= 31; ++k)
        EXPECT_NEAR(Member(dest, 0)->KeyGetValue(k), k < 30 ? k : 30, 1e-4) << k; // constant after the last key
    EXPECT_FLOAT_EQ(Member(dest, 1)->KeyGetValue(5), 0.0f);
    EXPECT_EQ(Member(node, 0)->KeyGetCount(), 2); // the node itself is unchanged
    dest->Destroy();
    dest = Destination(); // a stop of 0.99 s: keys from 0 to 1 s
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), Sec(0.99), KTime(kTicksPerFrame30), dest, nullptr, false,
                         nullptr);
    EXPECT_EQ(Member(dest, 0)->KeyGetCount(), 31);
    EXPECT_EQ(Member(dest, 0)->KeyGetTime(30).Get(), kTicksPerSecond);
    dest->Destroy();
    dest = Destination(); // a period that is not positive, or an endless span: nothing is plotted
    for (KTime period : {KTime(0), KTime(-kTicksPerFrame30)})
        KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kTicksPerSecond), period, dest, nullptr, false,
                             nullptr);
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTIME_INFINITE, KTime(kTicksPerFrame30), dest, nullptr, false,
                         nullptr);
    EXPECT_EQ(Member(dest, 0), nullptr);
    // A period so long that the next regular sample is past the tick range.
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTIME_INFINITE, KTime(0x4000000000000000LL), dest, nullptr,
                         false, nullptr);
    ASSERT_NE(Member(dest, 0), nullptr);
    EXPECT_EQ(Member(dest, 0)->KeyGetCount(), 2);
    dest->Destroy();
    dest = Plot(node, 30, 0); // a start after the stop plots no key
    EXPECT_EQ(Member(dest, 0)->KeyGetCount(), 0);
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, LayersTimeWarpsAndContinuity)
{
    KFCurveNode* node = MemberNode("T", KFCL_ADD); // all layers combined, or the listed ones
    Frames(Member(node, 0), {{0, 1.0f}});
    KFCurveNode* layer = node->CreateLayerAt(1);
    Frames(Member(layer, 0), {{0, 2.0f}});
    Frames(Member(layer, 1), {{0, 5.0f}});
    KFCurveNode* all = Plot(node, 0, 3);
    EXPECT_FLOAT_EQ(Member(all, 0)->KeyGetValue(2), 3.0f);
    EXPECT_FLOAT_EQ(Member(all, 1)->KeyGetValue(2), 5.0f);
    KArrayTemplate<int> ids;
    ids.Add(1);
    KFCurveNode* only = Plot(node, 0, 3, &ids);
    EXPECT_FLOAT_EQ(Member(only, 0)->KeyGetValue(0), 2.0f);
    only->Destroy();
    all->Destroy();
    node->Destroy();
    node = MemberNode("T", KFCL_ADD); // a time warp that maps every time to 0.5 s, used or not
    Frames(Member(node, 0), {{0, 0.0f}, {30, 30.0f}});
    KFCurveNode* warp = KFCurveNodeCreate("TW", static_cast<KDataType*>(nullptr));
    warp->FCurveSet(KFCurveCreate());
    AddKey(*warp->FCurveGet(), KTime(0), 0.5f);
    node->TimeWarpSet(warp);
    KFCurveNode* warped = Plot(node, 0, 10, nullptr, true);
    EXPECT_EQ(Values(*Member(warped, 0)), std::vector<float>(12, 15.0f));
    KFCurveNode* plain = Plot(node, 0, 10);
    EXPECT_NEAR(Member(plain, 0)->KeyGetValue(10), 10.0, 1e-4);
    for (KFCurveNode* n : {plain, warped, node})
        n->Destroy();                       // the node releases the time warp
    node = MemberNode("R", KFCL_EULER_XYZ); // an Euler result is made continuous: -170 after 170 becomes 190
    Frames(Member(node, 2), {{0, 170.0f}, {3, -170.0f}}, C);
    KFCurveNode* dest = Plot(node, 0, 5);
    EXPECT_EQ(Values(*Member(dest, 2)), (std::vector<float>{170, 170, 170, 190, 190, 190, 190}));
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, TargetsReplaceResetAndRemove)
{
    KFCurveNode* node = MemberNode("T", KFCL_ADD); // replacing the curves keeps colours and the was-data mark
    Frames(Member(node, 0), {{0, 0.0f}, {30, 30.0f}});
    float colour[3] = {0.1f, 0.2f, 0.3f};
    Member(node, 0)->SetColor(colour);
    Member(node, 0)->SetWasData(7);
    KFCurve_PlotInLayers(node, nullptr, 0, KFCURVE_PLOT_REPLACE_CURVES, KTime(0), KTime(kTicksPerSecond),
                         KTime(kTicksPerFrame30), nullptr, nullptr, false, nullptr);
    KFCurve* now = Member(node, 0);
    EXPECT_EQ(now->KeyGetCount(), 32);
    EXPECT_FLOAT_EQ(now->GetColor()[2], 0.3f);
    EXPECT_EQ(now->GetWasData(), 7);
    EXPECT_NEAR(now->KeyGetValue(15), 15.0, 1e-4);
    EXPECT_EQ(Member(node, 1)->KeyGetCount(), 32);
    KArrayTemplate<int> base; // the base layer plotted into layer 1 (created on the way) over a span
    base.Add(0);
    KFCurve_PlotInLayers(node, &base, 1, KFCURVE_PLOT_REPLACE_KEYS, KTime(0), KTime(10 * kTicksPerFrame30),
                         KTime(kTicksPerFrame30), nullptr, nullptr, false, nullptr);
    ASSERT_NE(node->LayerGet(1), nullptr);
    KFCurve* c = Member(node->LayerGet(1), 0);
    EXPECT_TRUE(Has(c, 5 * kTicksPerFrame30));
    EXPECT_NEAR(c->Evaluate(KTime(5 * kTicksPerFrame30)), 5.0, 1e-3);
    EXPECT_EQ(Member(node, 0)->KeyGetCount(), 32);
    node->Destroy();
    // Reset: every layer, the base one too, holds 0 at the span's ends and keeps no source key inside.
    node = MemberNode("T", KFCL_ADD);
    Frames(Member(node, 0), {{0, 4.0f}, {10, 4.0f}});
    KFCurveNode* layer = node->CreateLayerAt(1);
    Frames(Member(layer, 0), {{0, 2.0f}, {10, 2.0f}});
    KFCurve_PlotInLayers(node, nullptr, 0, KFCURVE_PLOT_RESET_LAYERS, KTime(2 * kTicksPerFrame30),
                         KTime(8 * kTicksPerFrame30), KTime(kTicksPerFrame30), nullptr, nullptr, false, nullptr);
    for (KFCurveNode* n : {node, layer})
    {
        KFCurve* m = Member(n, 0);
        ASSERT_TRUE(Has(m, 2 * kTicksPerFrame30) && Has(m, 8 * kTicksPerFrame30));
        EXPECT_FLOAT_EQ(m->Evaluate(KTime(2 * kTicksPerFrame30)), 0.0f);
        EXPECT_FLOAT_EQ(m->Evaluate(KTime(8 * kTicksPerFrame30)), 0.0f);
        for (long long t : Times(*m))
            EXPECT_FALSE(t > 2 * kTicksPerFrame30 && t < 8 * kTicksPerFrame30);
        EXPECT_FLOAT_EQ(m->Evaluate(KTime(10 * kTicksPerFrame30)), n == node ? 4.0f : 2.0f);
    }
    node->Destroy();
    node = MemberNode("T", KFCL_ADD); // removing listed layers; layer 0 listed: the base curves lose their keys
    Frames(Member(node, 0), {{0, 1.0f}});
    node->CreateLayerAt(1);
    Frames(Member(node->CreateLayerAt(2), 0), {{0, 3.0f}});
    KArrayTemplate<int> ids;
    ids.Add(1);
    KFCurveNode* dest = Destination();
    KFCurve_PlotInLayers(node, &ids, 0, KFCURVE_PLOT_REMOVE_LAYERS, KTime(0), KTime(kTicksPerFrame30),
                         KTime(kTicksPerFrame30), dest, nullptr, false, nullptr);
    EXPECT_EQ(node->LayerGet(1), nullptr);
    EXPECT_NE(node->LayerGet(2), nullptr);
    KFCurve_PlotInLayers(node, &base, 0, KFCURVE_PLOT_REMOVE_LAYERS, KTime(0), KTime(kTicksPerFrame30),
                         KTime(kTicksPerFrame30), nullptr, nullptr, false, nullptr);
    EXPECT_EQ(Member(node, 0)->KeyGetCount(), 0);
    EXPECT_EQ(Member(node->LayerGet(2), 0)->KeyGetCount(), 1);
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, SolveIntoLayer)
{
    KFCurveNode* node = MemberNode("T", KFCL_ADD); // base X holds 1; the whole must show 10: layer 1 must hold 9
    Frames(Member(node, 0), {{0, 1.0f}});
    KFCurveNode* wanted = MemberNode("T", KFCL_ADD);
    Frames(Member(wanted, 0), {{0, 10.0f}});
    Frames(Member(wanted, 1), {{0, -2.0f}});
    KFCurve_PlotInLayers(node, nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, KTime(0), KTime(4 * kTicksPerFrame30),
                         KTime(kTicksPerFrame30), nullptr, wanted, false, nullptr);
    KFCurveNode* layer = node->LayerGet(1);
    ASSERT_NE(layer, nullptr);
    ASSERT_EQ(Member(layer, 0)->KeyGetCount(), 6);
    EXPECT_FLOAT_EQ(Member(layer, 0)->KeyGetValue(3), 9.0f);
    EXPECT_FLOAT_EQ(Member(layer, 1)->KeyGetValue(3), -2.0f);
    double total[8] = {0};
    node->GeneralEvaluate(total, KTime(2 * kTicksPerFrame30));
    EXPECT_NEAR(total[0], 10.0, 1e-5);
    EXPECT_NEAR(total[1], -2.0, 1e-5);
    wanted->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, SmartPlotting)
{
    KFCurveNode* node = MemberNode("T", KFCL_ADD);
    for (int m = 0; m < 3; ++m)
        Frames(Member(node, m), {{6, 1.0f}, {15, 4.0f}}); // 0.2 s and 0.5 s
    KSmartPlotOptions options;
    options.mSmartPlot = true;
    options.mBreakTangents = false;
    options.mIncreaseFidelity = false;
    KFCurveNode* smart = Plot(node, 0, 30, nullptr, false, &options);
    for (int m = 0; m < 3; ++m)
        EXPECT_EQ(Times(*Member(smart, m)), (std::vector<long long>{6 * kTicksPerFrame30, 15 * kTicksPerFrame30})) << m;
    EXPECT_EQ(Values(*Member(smart, 0)), (std::vector<float>{1, 4}));
    options.mKeepDensePlot = true; // the dense plot: the regular samples and one delta around each key
    KFCurveNode* dense = Plot(node, 0, 30, nullptr, false, &options);
    const std::vector<long long> times = Times(*Member(dense, 0));
    for (long long t :
         {6 * kTicksPerFrame30 - kDelta, 6 * kTicksPerFrame30, 6 * kTicksPerFrame30 + kDelta,
          15 * kTicksPerFrame30 - kDelta, 15 * kTicksPerFrame30, 15 * kTicksPerFrame30 + kDelta, 31 * kTicksPerFrame30})
        EXPECT_TRUE(Has(Member(dense, 0), t)) << t;
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(std::adjacent_find(times.begin(), times.end()), times.end());
    // Refined: the smart curve keeps its keys and stays within the tolerance of the dense plot.
    options.mKeepDensePlot = false;
    options.mIncreaseFidelity = true;
    options.mBreakTangents = true;
    KFCurveNode* refined = Plot(node, 0, 30, nullptr, false, &options);
    KFCurve* x = Member(refined, 0);
    EXPECT_TRUE(Has(x, 6 * kTicksPerFrame30) && Has(x, 15 * kTicksPerFrame30));
    EXPECT_NEAR(x->Evaluate(KTime(10 * kTicksPerFrame30 + kTicksPerFrame30 / 2)), 2.5, 0.25 + 1e-3);
    for (KFCurveNode* n : {refined, dense, smart, node})
        n->Destroy();
    KFCurve a, b; // the next smart-plot time across layers and the members keyed there
    for (long long t : {10, 30})
        AddKey(a, KTime(t), 0.0f);
    for (long long t : {20, 30})
        AddKey(b, KTime(t), 0.0f);
    KFCurveSmartMergeInfos layer0[4], layer1[4];
    layer0[0].mCurve = &a;
    layer1[2].mCurve = &b;
    KFCurveSmartMergeInfos* infos[2] = {layer0, layer1};
    KArrayTemplate<int> members;
    const struct
    {
        long long now, next;
        std::vector<int> members;
    } steps[] = {{0, 10, {0}}, {10, 20, {2}}, {20, 30, {0, 2}}};
    for (const auto& s : steps)
    {
        KTime now(s.now);
        EXPECT_EQ(GetNextSmartPlotTime(&now, infos, 2, &members).Get(), s.next);
        EXPECT_EQ(std::vector<int>(members.GetArray(), members.GetArray() + members.GetCount()), s.members);
    }
    KTime now(30);
    EXPECT_EQ(GetNextSmartPlotTime(&now, infos, 2, nullptr), KTIME_INFINITE);
}

// Time-warp merge: a member's own warp applies after its parent's, so the
// inner one is baked first. X rises 5 per second; the parent's warp maps t
// to 2t over its first second, X's own warp maps s to s + 0.5 over its
// first second: X shows 5 (2t + 0.5) = 10t + 2.5 up to t = 0.5 s, then 7.5.
TEST(KFCurvePlot, TimeWarpsMergedInnerFirst)
{
    auto warp = [](float first, float last) {
        KFCurveNode* w = KFCurveNodeCreate("Warp");
        w->CreateFCurve();
        AddKey(*w->FCurveGet(), KTime(0), first);
        AddKey(*w->FCurveGet(), KTime(kTicksPerSecond), last);
        return w;
    };
    const bool reducer = KFCURVE_GetUseConstantKeyReducer();
    KFCURVE_SetUseConstantKeyReducer(false);
    KFCurveNode* root = KFCurveNodeCreate("Root");
    KFCurveNode* t = MemberNode("T", KFCL_ADD);
    root->Add(t);
    AddKey(*Member(t, 0), KTime(0), 0.0f);
    AddKey(*Member(t, 0), KTime(2 * kTicksPerSecond), 10.0f);
    t->TimeWarpSet(warp(0.0f, 2.0f));
    t->Get(0)->TimeWarpSet(warp(0.5f, 1.5f));
    std::vector<double> before;
    for (int k = 0; k < 32; ++k)
    {
        double v[4];
        t->GeneralEvaluate(v, KTime(k * kTicksPerFrame30));
        before.push_back(v[0]);
    }

    // No budget left: nothing is baked, both warps stay.
    long long none = 10;
    KFCurve_MergeTimeWarps(root, none);
    EXPECT_NE(t->TimeWarpGet(), nullptr);
    EXPECT_NE(t->Get(0)->TimeWarpGet(), nullptr);
    EXPECT_EQ(none, 10);

    long long budget = KFCURVE_TIMEWARP_MERGE_BUDGET;
    KFCurve_MergeTimeWarps(root, budget);
    EXPECT_LT(budget, KFCURVE_TIMEWARP_MERGE_BUDGET);
    EXPECT_EQ(t->TimeWarpGet(), nullptr);
    EXPECT_EQ(t->Get(0)->TimeWarpGet(), nullptr);
    ASSERT_EQ(Member(t, 0)->KeyGetCount(), 32);
    for (int k = 0; k < 32; ++k)
    {
        const double seconds = k / 30.0;
        const double want = seconds <= 0.5 ? 10.0 * seconds + 2.5 : 7.5;
        EXPECT_NEAR(Member(t, 0)->KeyGetValue(k), want, 1e-5) << k;
        EXPECT_NEAR(before[k], want, 1e-5) << k;
    }
    KFCURVE_SetUseConstantKeyReducer(reducer);
    root->Destroy();
}
