#include "fcurve/kfcurveplot.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

const long long kSecond = 46186158000LL;
const long long kFrame = 1539538600LL;  // 1/30 s
const long long kDelta = 384884650LL;   // 1/120 s

void AddKey(KFCurve* c, long long t, float v, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR)
{
    KFCurveKey key;
    key.Init();
    key.Set(KTime(t), v, interpolation, interpolation == KFCURVE_INTERPOLATION_CONSTANT ? 0 : KFCURVE_TANGEANT_AUTO);
    c->KeyAdd(KTime(t), key);
}

// A multi-layer node of layerType with three members X, Y, Z, each with an
// empty curve.
KFCurveNode* Node(int layerType = KFCL_ADD, const char* name = "T")
{
    KFCurveNode* node = new KFCurveNode(name, name, nullptr, KFCL_NOLAYER, 0);
    node->SetLayerType(layerType);
    const char* const names[3] = {"X", "Y", "Z"};
    for (const char* member : names)
    {
        KFCurveNode* child = new KFCurveNode(member, member, nullptr, KFCL_NOLAYER, 0);
        child->FCurveSet(new KFCurve, false);
        node->Add(child);
    }
    node->SetMultiLayer(true);
    return node;
}

// A destination node shaped like Node(), without curves.
KFCurveNode* Destination()
{
    KFCurveNode* node = new KFCurveNode("D", "D", nullptr, KFCL_ADD, 0);
    for (const char* member : {"X", "Y", "Z"})
        node->Add(new KFCurveNode(member, member, nullptr, KFCL_NOLAYER, 0));
    return node;
}

KFCurve* Member(KFCurveNode* node, int m)
{
    return node->Get(m)->FCurveGet();
}

std::vector<long long> Times(KFCurve* c)
{
    std::vector<long long> out;
    for (int i = 0; c && i < c->KeyGetCount(); ++i)
        out.push_back(c->KeyGetTime(i).Get());
    return out;
}

bool Has(const std::vector<long long>& times, long long t)
{
    return std::find(times.begin(), times.end(), t) != times.end();
}

}  // namespace

TEST(KFCurvePlot, OptionDefaults)
{
    KSmartPlotOptions o;
    EXPECT_FALSE(o.mSmartPlot);
    EXPECT_TRUE(o.mBreakTangents);
    EXPECT_DOUBLE_EQ(1.0, o.mBreakThreshold);
    EXPECT_EQ(kDelta, o.mTimeDelta.Get());
    EXPECT_TRUE(o.mIncreaseFidelity);
    EXPECT_DOUBLE_EQ(0.25, o.mFidelityTolerance);
    EXPECT_TRUE(o.mFidelityBreaksTangents);
    EXPECT_EQ(2, o.mFidelitySubdivisions);
    EXPECT_TRUE(o.mFurtherFlag);
    EXPECT_FALSE(o.mKeepDensePlot);

    KMergeLayerOptions m;
    EXPECT_EQ(KTIME_MINUS_INFINITE, m.mStart);
    EXPECT_EQ(KTIME_INFINITE, m.mStop);
    EXPECT_EQ(kFrame, m.mPeriod.Get());
    EXPECT_FALSE(m.mSmartPlotOptions.mSmartPlot);

    KFCurveSmartMergeInfos info;
    EXPECT_EQ(nullptr, info.mCurve);
    EXPECT_EQ(0, info.mNextKeyIndex);
}

TEST(KFCurvePlot, SpanOfOneSecond)
{
    // X rises 30 per second: frame k of the plot holds k.
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 0.0f);
    AddKey(Member(node, 0), kSecond, 30.0f);
    KFCurveNode* dest = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kSecond), KTime(kFrame), dest, nullptr, false, nullptr);

    // The sample at 1 s is not later than the stop, so one more follows: 32.
    for (int m = 0; m < 3; ++m)
    {
        KFCurve* c = Member(dest, m);
        ASSERT_NE(nullptr, c);
        ASSERT_EQ(32, c->KeyGetCount()) << m;
        for (int k = 0; k < 32; ++k)
            EXPECT_EQ(k * kFrame, c->KeyGetTime(k).Get());
    }
    for (int k = 0; k <= 30; ++k)
        EXPECT_NEAR(k, Member(dest, 0)->KeyGetValue(k), 1e-4) << k;
    EXPECT_FLOAT_EQ(30.0f, Member(dest, 0)->KeyGetValue(31));  // constant after the last key
    EXPECT_FLOAT_EQ(0.0f, Member(dest, 1)->KeyGetValue(5));
    // The node itself is unchanged.
    EXPECT_EQ(2, Member(node, 0)->KeyGetCount());

    // A stop of 0.99 s: keys from 0 to 1 s.
    KFCurveNode* dest2 = Destination();
    KTime stop;
    stop.SetSecondDouble(0.99);
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), stop, KTime(kFrame), dest2, nullptr, false, nullptr);
    EXPECT_EQ(31, Member(dest2, 0)->KeyGetCount());
    EXPECT_EQ(kSecond, Member(dest2, 0)->KeyGetTime(30).Get());

    dest2->Destroy();
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, BoundedSampling)
{
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 1.0f);
    KFCurveNode* dest = Destination();
    // A period that is not positive, or an endless span: nothing is plotted.
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kSecond), KTime(0), dest, nullptr, false, nullptr);
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kSecond), KTime(-kFrame), dest, nullptr, false, nullptr);
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTIME_INFINITE, KTime(kFrame), dest, nullptr, false, nullptr);
    EXPECT_EQ(nullptr, Member(dest, 0));
    // A period so long that the next regular sample is past the tick range.
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTIME_INFINITE, KTime(0x4000000000000000LL), dest, nullptr,
                         false, nullptr);
    ASSERT_NE(nullptr, Member(dest, 0));
    EXPECT_EQ(2, Member(dest, 0)->KeyGetCount());
    // A start after the stop plots no key.
    KFCurveNode* empty = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(kSecond), KTime(0), KTime(kFrame), empty, nullptr, false, nullptr);
    EXPECT_EQ(0, Member(empty, 0)->KeyGetCount());
    empty->Destroy();
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, LayersCombinedAndListed)
{
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 1.0f);
    node->CreateLayerAt(1);
    KFCurveNode* layer = node->LayerGet(1);
    ASSERT_NE(nullptr, layer);
    AddKey(Member(layer, 0), 0, 2.0f);
    AddKey(Member(layer, 1), 0, 5.0f);

    KFCurveNode* all = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(3 * kFrame), KTime(kFrame), all, nullptr, false, nullptr);
    EXPECT_FLOAT_EQ(3.0f, Member(all, 0)->KeyGetValue(2));
    EXPECT_FLOAT_EQ(5.0f, Member(all, 1)->KeyGetValue(2));

    KArrayTemplate<int> ids;
    ids.Add(1);
    KFCurveNode* only = Destination();
    KFCurve_PlotInLayers(node, &ids, 0, 0, KTime(0), KTime(3 * kFrame), KTime(kFrame), only, nullptr, false, nullptr);
    EXPECT_FLOAT_EQ(2.0f, Member(only, 0)->KeyGetValue(0));

    only->Destroy();
    all->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, TimeWarp)
{
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 0.0f);
    AddKey(Member(node, 0), kSecond, 30.0f);
    // A time warp that maps every time to 0.5 s.
    KFCurveNode* warp = new KFCurveNode("TW", "TW", nullptr, KFCL_NOLAYER, 0);
    KFCurve* warpCurve = new KFCurve;
    AddKey(warpCurve, 0, 0.5f);
    warp->FCurveSet(warpCurve, false);
    node->TimeWarpSet(warp);

    KFCurveNode* dest = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(10 * kFrame), KTime(kFrame), dest, nullptr, true, nullptr);
    ASSERT_EQ(12, Member(dest, 0)->KeyGetCount());
    for (int k = 0; k < 12; ++k)
        EXPECT_NEAR(15.0, Member(dest, 0)->KeyGetValue(k), 1e-4);

    // Without use of the time warp the ramp is plotted.
    KFCurveNode* plain = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(10 * kFrame), KTime(kFrame), plain, nullptr, false,
                         nullptr);
    EXPECT_NEAR(10.0, Member(plain, 0)->KeyGetValue(10), 1e-4);

    plain->Destroy();
    dest->Destroy();
    node->Destroy();  // releases the time warp
}

TEST(KFCurvePlot, ReplaceCurvesOfTargetKeepsColours)
{
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 0.0f);
    AddKey(Member(node, 0), kSecond, 30.0f);
    KFCurve* old = Member(node, 0);
    float colour[3] = {0.1f, 0.2f, 0.3f};
    old->SetColor(colour);
    old->SetWasData(7);

    KFCurve_PlotInLayers(node, nullptr, 0, KFCURVE_PLOT_REPLACE_CURVES, KTime(0), KTime(kSecond), KTime(kFrame),
                         nullptr, nullptr, false, nullptr);
    KFCurve* now = Member(node, 0);
    EXPECT_EQ(32, now->KeyGetCount());
    EXPECT_FLOAT_EQ(0.1f, now->GetColor()[0]);
    EXPECT_FLOAT_EQ(0.3f, now->GetColor()[2]);
    EXPECT_EQ(7, now->GetWasData());
    EXPECT_NEAR(15.0, now->KeyGetValue(15), 1e-4);
    EXPECT_EQ(32, Member(node, 1)->KeyGetCount());
    node->Destroy();
}

TEST(KFCurvePlot, ResetLayers)
{
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 4.0f);
    AddKey(Member(node, 0), 10 * kFrame, 4.0f);
    node->CreateLayerAt(1);
    KFCurveNode* layer = node->LayerGet(1);
    AddKey(Member(layer, 0), 0, 2.0f);
    AddKey(Member(layer, 0), 10 * kFrame, 2.0f);

    KFCurve_PlotInLayers(node, nullptr, 0, KFCURVE_PLOT_RESET_LAYERS, KTime(2 * kFrame), KTime(8 * kFrame),
                         KTime(kFrame), nullptr, nullptr, false, nullptr);
    // Every layer, the base one included, holds its neutral value (0) at the
    // span's ends, and no source key is left inside.
    for (KFCurveNode* n : {node, layer})
    {
        KFCurve* c = Member(n, 0);
        std::vector<long long> times = Times(c);
        ASSERT_TRUE(Has(times, 2 * kFrame));
        ASSERT_TRUE(Has(times, 8 * kFrame));
        EXPECT_FLOAT_EQ(0.0f, c->Evaluate(KTime(2 * kFrame)));
        EXPECT_FLOAT_EQ(0.0f, c->Evaluate(KTime(8 * kFrame)));
        for (long long t : times)
            EXPECT_FALSE(t > 2 * kFrame && t < 8 * kFrame);
        EXPECT_FLOAT_EQ(n == node ? 4.0f : 2.0f, c->Evaluate(KTime(10 * kFrame)));
    }
    node->Destroy();
}

TEST(KFCurvePlot, RemoveLayers)
{
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 1.0f);
    node->CreateLayerAt(1);
    node->CreateLayerAt(2);
    AddKey(Member(node->LayerGet(2), 0), 0, 3.0f);
    KArrayTemplate<int> ids;
    ids.Add(1);
    KFCurveNode* dest = Destination();
    KFCurve_PlotInLayers(node, &ids, 0, KFCURVE_PLOT_REMOVE_LAYERS, KTime(0), KTime(kFrame), KTime(kFrame), dest,
                         nullptr, false, nullptr);
    EXPECT_EQ(nullptr, node->LayerGet(1));
    EXPECT_NE(nullptr, node->LayerGet(2));

    // Layer 0 listed: the base curves lose their keys instead.
    KArrayTemplate<int> base;
    base.Add(0);
    KFCurve_PlotInLayers(node, &base, 0, KFCURVE_PLOT_REMOVE_LAYERS, KTime(0), KTime(kFrame), KTime(kFrame), nullptr,
                         nullptr, false, nullptr);
    EXPECT_EQ(0, Member(node, 0)->KeyGetCount());
    EXPECT_EQ(1, Member(node->LayerGet(2), 0)->KeyGetCount());
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, ReplaceKeysOfTargetLayer)
{
    // The base layer is plotted into layer 1 (created on the way) over the span.
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 0.0f);
    AddKey(Member(node, 0), kSecond, 30.0f);
    KArrayTemplate<int> ids;
    ids.Add(0);
    KFCurve_PlotInLayers(node, &ids, 1, KFCURVE_PLOT_REPLACE_KEYS, KTime(0), KTime(10 * kFrame), KTime(kFrame),
                         nullptr, nullptr, false, nullptr);
    KFCurveNode* layer = node->LayerGet(1);
    ASSERT_NE(nullptr, layer);
    KFCurve* c = Member(layer, 0);
    EXPECT_TRUE(Has(Times(c), 5 * kFrame));
    EXPECT_NEAR(5.0, c->Evaluate(KTime(5 * kFrame)), 1e-3);
    EXPECT_EQ(2, Member(node, 0)->KeyGetCount());
    node->Destroy();
}

TEST(KFCurvePlot, SolveIntoLayer)
{
    // Base X holds 1; the whole must show 10: layer 1 must hold 9.
    KFCurveNode* node = Node();
    AddKey(Member(node, 0), 0, 1.0f);
    KFCurveNode* wanted = Node();
    AddKey(Member(wanted, 0), 0, 10.0f);
    AddKey(Member(wanted, 1), 0, -2.0f);

    KFCurve_PlotInLayers(node, nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, KTime(0), KTime(4 * kFrame), KTime(kFrame),
                         nullptr, wanted, false, nullptr);
    KFCurveNode* layer = node->LayerGet(1);
    ASSERT_NE(nullptr, layer);
    ASSERT_EQ(6, Member(layer, 0)->KeyGetCount());
    EXPECT_FLOAT_EQ(9.0f, Member(layer, 0)->KeyGetValue(3));
    EXPECT_FLOAT_EQ(-2.0f, Member(layer, 1)->KeyGetValue(3));
    double total[8] = {0};
    node->GeneralEvaluate(total, KTime(2 * kFrame));
    EXPECT_NEAR(10.0, total[0], 1e-5);
    EXPECT_NEAR(-2.0, total[1], 1e-5);
    wanted->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, EulerResultIsContinuous)
{
    KFCurveNode* node = Node(KFCL_EULER_XYZ, "R");
    AddKey(Member(node, 2), 0, 170.0f, KFCURVE_INTERPOLATION_CONSTANT);
    AddKey(Member(node, 2), 3 * kFrame, -170.0f, KFCURVE_INTERPOLATION_CONSTANT);
    KFCurveNode* dest = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(5 * kFrame), KTime(kFrame), dest, nullptr, false, nullptr);
    KFCurve* z = Member(dest, 2);
    ASSERT_EQ(7, z->KeyGetCount());
    EXPECT_FLOAT_EQ(170.0f, z->KeyGetValue(2));
    EXPECT_FLOAT_EQ(190.0f, z->KeyGetValue(3));
    EXPECT_FLOAT_EQ(190.0f, z->KeyGetValue(6));
    dest->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, SmartPlotting)
{
    KFCurveNode* node = Node();
    for (int m = 0; m < 3; ++m)
    {
        AddKey(Member(node, m), 6 * kFrame, 1.0f);    // 0.2 s
        AddKey(Member(node, m), 15 * kFrame, 4.0f);   // 0.5 s
    }
    KSmartPlotOptions options;
    options.mSmartPlot = true;
    options.mBreakTangents = false;
    options.mIncreaseFidelity = false;

    KFCurveNode* smart = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kSecond), KTime(kFrame), smart, nullptr, false, &options);
    for (int m = 0; m < 3; ++m)
        EXPECT_EQ((std::vector<long long>{6 * kFrame, 15 * kFrame}), Times(Member(smart, m))) << m;
    EXPECT_FLOAT_EQ(1.0f, Member(smart, 0)->KeyGetValue(0));
    EXPECT_FLOAT_EQ(4.0f, Member(smart, 0)->KeyGetValue(1));

    options.mKeepDensePlot = true;
    KFCurveNode* dense = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kSecond), KTime(kFrame), dense, nullptr, false, &options);
    std::vector<long long> times = Times(Member(dense, 0));
    for (long long t : {6 * kFrame - kDelta, 6 * kFrame, 6 * kFrame + kDelta, 15 * kFrame - kDelta, 15 * kFrame,
                        15 * kFrame + kDelta, 31 * kFrame})
        EXPECT_TRUE(Has(times, t)) << t;
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(std::adjacent_find(times.begin(), times.end()), times.end());

    // Refined: the smart curve keeps its keys and stays within the tolerance
    // of the dense plot.
    options.mKeepDensePlot = false;
    options.mIncreaseFidelity = true;
    options.mBreakTangents = true;
    KFCurveNode* refined = Destination();
    KFCurve_PlotInLayers(node, nullptr, 0, 0, KTime(0), KTime(kSecond), KTime(kFrame), refined, nullptr, false,
                         &options);
    KFCurve* x = Member(refined, 0);
    EXPECT_TRUE(Has(Times(x), 6 * kFrame));
    EXPECT_TRUE(Has(Times(x), 15 * kFrame));
    EXPECT_NEAR(2.5, x->Evaluate(KTime(10 * kFrame + kFrame / 2)), 0.25 + 1e-3);

    refined->Destroy();
    dense->Destroy();
    smart->Destroy();
    node->Destroy();
}

TEST(KFCurvePlot, NextSmartPlotTime)
{
    KFCurve a, b;
    AddKey(&a, 10, 0.0f);
    AddKey(&a, 30, 0.0f);
    AddKey(&b, 20, 0.0f);
    AddKey(&b, 30, 0.0f);
    KFCurveSmartMergeInfos layer0[4], layer1[4];
    layer0[0].mCurve = &a;
    layer1[2].mCurve = &b;
    KFCurveSmartMergeInfos* infos[2] = {layer0, layer1};
    KArrayTemplate<int> members;

    KTime now(0);
    EXPECT_EQ(10, GetNextSmartPlotTime(&now, infos, 2, &members).Get());
    EXPECT_EQ((std::vector<int>{0}), std::vector<int>(members.GetArray(), members.GetArray() + members.GetCount()));
    now = KTime(10);
    EXPECT_EQ(20, GetNextSmartPlotTime(&now, infos, 2, &members).Get());
    EXPECT_EQ(1, members.GetCount());
    EXPECT_EQ(2, members[0]);
    now = KTime(20);
    EXPECT_EQ(30, GetNextSmartPlotTime(&now, infos, 2, &members).Get());
    EXPECT_EQ(2, members.GetCount());  // both members have a key at 30
    now = KTime(30);
    EXPECT_EQ(KTIME_INFINITE, GetNextSmartPlotTime(&now, infos, 2, nullptr));
}
