// The process-wide curve settings, the rotation filter they select, the unroll filter, the resample filter and the
// time shift-and-scale filter, with their worked examples and exact error texts.

#include "fcurve_test_util.h"

#include "fcurve/kfcurvefilter_resample.h"
#include "fcurve/kfcurvefilter_timeshift.h"
#include "fcurve/kfcurvefilter_unroll.h"
#include "fcurve/kfcurveglobal.h"

using namespace fctest;

namespace {

const char* const kNotRotation = "Unroll Filter, Works only on rotation CurveNodes.";

// An Euler rotation node "R" whose X, Y, Z curves hold linear keys {seconds, x, y, z}.
KFCurveNode* RotationNode(std::initializer_list<std::initializer_list<double>> keys, int order = 0)
{
    KFCurveNode* node = MemberNode("R", KFCL_EULER_XYZ);
    node->SetRotationOrder(order);
    KeyMembers(node, keys);
    return node;
}

// Applies the filter and returns the Z values (or the values of `member`).
std::vector<float> Unrolled(KFCurveFilterUnroll& filter, KFCurveNode* node, int member = 2)
{
    EXPECT_TRUE(filter.Apply(*node, true));
    std::vector<float> values = Values(*Member(node, member));
    node->Destroy();
    return values;
}

// A linear ramp from (t0, t0) to (t1, t1), in ticks.
void Ramp(KFCurve& c, long long t0, long long t1)
{
    AddKey(c, KTime(t0), static_cast<float>(t0));
    AddKey(c, KTime(t1), static_cast<float>(t1));
}

void ExpectErrorAndClear(KFCurveFilter& filter, int id, const char* text)
{
    ExpectError(filter, id, text);
    filter.GetError().ClearLastError();
}

} // namespace

TEST(KFCurveGlobal, DefaultsAndTheRotationFilterCode)
{
    EXPECT_EQ(KFCURVE_GetPlotPeriod().Get(), kTicksPerFrame30);
    EXPECT_EQ(KFCURVE_GetRotationFilterToApply(), 2);
    const double numbers[] = {KFCURVE_GetRotationFilterUnrollQuality(),
                              KFCURVE_GetButterworthFilterInternalRate(),
                              KFCURVE_GetUseConstantKeyReducerTranslationThreshold(),
                              KFCURVE_GetUseConstantKeyReducerRotationThreshold(),
                              KFCURVE_GetUseConstantKeyReducerScalingThreshold(),
                              KFCURVE_GetUseConstantKeyReducerDefaultThreshold()};
    EXPECT_EQ(std::vector<double>(numbers, numbers + 6), (std::vector<double>{0.25, 240, 5e-13, 0.0005, 5e-13, 5e-13}));
    const bool flags[] = {KFCURVE_GetRotationFilterUnrollTestForPath(),
                          KFCURVE_GetUseConstantKeyReducer(),
                          KFCURVE_GetUseConstantKeyReducerOnDevices(),
                          KFCURVE_GetConstantKeyReducerKeepOneKey(),
                          KFCURVE_GetPlotOnFrame(),
                          KFCURVE_GetPlotTranslationOnRootOnly(),
                          KFCURVE_GetPreciseTimeDiscontinuities(),
                          KFCURVE_GetTCB4051EvalMode()};
    EXPECT_EQ(std::vector<bool>(flags, flags + 8),
              (std::vector<bool>{false, true, true, true, true, false, false, false}));
    // Codes 0, 3: none; 2: unroll; 1: the gimbal killer (nearest angles too). Non-rotation nodes are left alone.
    const struct
    {
        int code, layerType;
        float last;
    } cases[] = {{0, KFCL_EULER_XYZ, -170},
                 {3, KFCL_EULER_XYZ, -170},
                 {2, KFCL_EULER_XYZ, 190},
                 {1, KFCL_EULER_XYZ, 190},
                 {2, KFCL_ADD, -170}};
    for (const auto& k : cases)
    {
        KFCURVE_SetRotationFilterToApply(k.code);
        KFCurveNode* node = RotationNode({{0, 0, 0, 170}, {1, 0, 0, -170}});
        node->SetLayerType(k.layerType);
        KFCURVE_ApplyRotationFilter(node, KTIME_MINUS_INFINITE, KTIME_INFINITE);
        KFCurve* z = Member(node, 2);
        EXPECT_NEAR(z->KeyGetValue(z->KeyGetCount() - 1), k.last, 1e-3) << k.code;
        if (k.code != 1)
        {
            EXPECT_EQ(z->KeyGetCount(), 2) << k.code;
        }
        node->Destroy();
    }
    KFCURVE_ApplyRotationFilter(nullptr, KTime(0), KTime(1)); // ignored
    KFCURVE_SetRotationFilterToApply(2);
    KFCurveFilterUnroll filter; // the unroll filter copies the settings when built or reset
    KFCURVE_SetRotationFilterUnrollQuality(0.75);
    KFCURVE_SetRotationFilterUnrollTestForPath(true);
    EXPECT_DOUBLE_EQ(filter.GetQualityTolerance(), 0.25);
    EXPECT_FALSE(filter.GetTestForPath());
    filter.Reset();
    EXPECT_DOUBLE_EQ(filter.GetQualityTolerance(), 0.75);
    EXPECT_TRUE(filter.GetTestForPath());
    EXPECT_DOUBLE_EQ(KFCurveFilterUnroll().GetQualityTolerance(), 0.75);
    KFCURVE_SetRotationFilterUnrollQuality(0.25);
    KFCURVE_SetRotationFilterUnrollTestForPath(false);
}

TEST(KFCurveUnroll, Refusals)
{
    KFCurveFilterUnroll filter;
    EXPECT_STREQ(filter.GetName(), "Unroll Filter");
    auto refused = [&](bool applied, int id, const char* text) {
        EXPECT_FALSE(applied);
        ExpectError(filter, id, text);
        filter.GetError().ClearLastError();
    };
    // Not an Euler node; Euler nodes of two or four members: nothing changes.
    KFCurveNode* node = RotationNode({{0, 0, 0, 170}, {1, 0, 0, -170}});
    node->SetLayerType(KFCL_ADD);
    refused(filter.Apply(*node, true), 2, kNotRotation);
    EXPECT_FLOAT_EQ(Member(node, 2)->KeyGetValue(1), -170.0f);
    node->Destroy();
    for (int children : {2, 4})
    {
        KFCurveNode* odd = KFCurveNodeCreate("R", static_cast<KDataType*>(nullptr), KFCL_EULER_XYZ, 0);
        for (int i = 0; i < children; ++i)
            AddKey(*odd->FindOrCreate(std::string(1, static_cast<char>('A' + i)).c_str(), true)->FCurveGet(), Sec(0),
                   350.0f);
        refused(filter.Apply(*odd, true), 2, kNotRotation);
        EXPECT_FLOAT_EQ(Member(odd, 0)->KeyGetValue(0), 350.0f);
        odd->Destroy();
    }
    KFCurve single; // a single curve, an array of two; three children without keys; one without a curve
    refused(filter.Apply(single), 2, kNotRotation);
    KFCurve* two[2] = {&single, &single};
    refused(filter.Apply(two, 2), 2, kNotRotation);
    KFCurveNode* empty = RotationNode({});
    refused(filter.Apply(*empty, true), 0, "Unroll Filter, No key to be filtered.");
    empty->Destroy();
    KFCurveNode* holed = RotationNode({{0, 0, 0, 10}});
    holed->Get(1)->FCurveSet(nullptr, true);
    refused(filter.Apply(*holed, true), 2, kNotRotation);
    holed->Destroy();
}

TEST(KFCurveUnroll, NearestAnglesAndPathTest)
{
    KFCurveFilterUnroll filter;
    EXPECT_EQ(Unrolled(filter, RotationNode({{0, 0, 0, 170}, {1, 0, 0, -170}})), (std::vector<float>{170, 190}));
    // The curve's first key is compared with (0, 0, 0).
    EXPECT_EQ(Unrolled(filter, RotationNode({{0, 0, 0, 350}, {1, 0, 0, 340}})), (std::vector<float>{-10, -20}));
    // A run of keys keeps turning the same way.
    EXPECT_EQ(
        Unrolled(filter, RotationNode({{0, 0, 0, 0}, {1, 0, 0, 120}, {2, 0, 0, -120}, {3, 0, 0, 0}, {4, 0, 0, 120}})),
        (std::vector<float>{0, 120, 240, 360, 480}));
    KFCurve x, y, z; // an array of three curves, handed back alive
    for (int i = 0; i < 2; ++i)
    {
        AddKey(x, Sec(i), 0.0f);
        AddKey(y, Sec(i), 0.0f);
        AddKey(z, Sec(i), i ? -170.0f : 170.0f);
    }
    KFCurve* curves[3] = {&x, &y, &z};
    EXPECT_TRUE(filter.Apply(curves, 3));
    EXPECT_EQ(Values(z), (std::vector<float>{170, 190}));
    EXPECT_EQ(x.KeyGetCount(), 2);
    // Without the path test keys follow their predecessor; an unmeetable path test keeps (0, 0, 0); the default passes.
    const std::initializer_list<std::initializer_list<double>> keys = {{0, 0, 0, 0}, {1, 0, 0, 170}, {2, 0, 0, -20}};
    EXPECT_EQ(Unrolled(filter, RotationNode(keys)), (std::vector<float>{0, 170, 340}));
    KFCurveFilterUnroll strict;
    strict.SetTestForPath(true);
    strict.SetQualityTolerance(1e9);
    EXPECT_EQ(Unrolled(strict, RotationNode(keys)), (std::vector<float>{0, 170, -20}));
    KFCurveFilterUnroll loose;
    loose.SetTestForPath(true);
    EXPECT_EQ(Unrolled(loose, RotationNode(keys)), (std::vector<float>{0, 170, 340}));
    KgeRVector a(10.0, 20.0, 30.0), zero(0.0, 0.0, 0.0), quarter(0.0, 0.0, 90.0), turned(180.0, 180.0, 180.0);
    EXPECT_DOUBLE_EQ(filter.InterpolationQualityFactor(a, a), 100.0);
    EXPECT_NEAR(filter.InterpolationQualityFactor(zero, quarter), 1.0, 1e-9);
    // A triple equal to the identity rotation but far away: factor 0.
    EXPECT_NEAR(filter.InterpolationQualityFactor(zero, turned), 0.0, 1e-6);
}

TEST(KFCurveUnroll, SphericalOrderAndSingleKeyRanges)
{
    // The spherical order only synchronises: Y's extra key at 0.5 s reaches the others, the angles stay.
    KFCurveNode* node = RotationNode({{0, 0, 0, 350}, {1, 0, 0, 10}}, KFCURVENODE_SPHERIC_XYZ);
    AddKey(*Member(node, 1), Sec(0.5), 5.0f);
    KFCurveFilterUnroll filter;
    EXPECT_EQ(Unrolled(filter, node), (std::vector<float>{350, 180, 10}));
    // A range holding one key writes nothing back (Y, lacking the key at 1 s, would be synchronised).
    node = RotationNode({{0, 0, 0, 0}, {1, 0, 0, 350}, {2, 0, 0, 0}});
    Member(node, 1)->KeyRemove(1);
    filter.SetStartTime(Sec(1));
    filter.SetStopTime(Sec(1.5));
    EXPECT_TRUE(filter.Apply(*node, true));
    EXPECT_EQ(Member(node, 1)->KeyGetCount(), 2);
    EXPECT_FLOAT_EQ(Member(node, 2)->KeyGetValue(1), 350.0f);
    node->Destroy();
}

TEST(KFCurveResample, DefaultsAndErrors)
{
    KFCurveFilterResample filter;
    EXPECT_STREQ(filter.GetName(), "FCurve Resample");
    // One frame of the global time mode (30 frames per second by default), also after a reset.
    filter.SetPeriodTime(KTime(10));
    filter.Reset();
    EXPECT_EQ(filter.GetPeriodTime().Get(), kTicksPerFrame30);
    KFCurve c;
    Ramp(c, 0, 100);
    for (long long p : {0LL, -10LL})
    {
        filter.SetPeriodTime(KTime(p));
        EXPECT_FALSE(filter.Apply(c));
        ExpectErrorAndClear(filter, 0, "Bad Period");
    }
    filter.SetPeriodTime(KTime(10)); // no keys with the open default range; a stop not later than the start
    KFCurve empty;
    EXPECT_FALSE(filter.Apply(empty));
    ExpectErrorAndClear(filter, 1, "Bad Interval");
    filter.SetStartTime(KTime(50));
    filter.SetStopTime(KTime(50));
    EXPECT_FALSE(filter.Apply(c));
    ExpectErrorAndClear(filter, 1, "Bad Interval");
    EXPECT_EQ(Times(c), (std::vector<long long>{0, 100}));
    KFCurve wide; // key times at the ends of the tick range: refused, not looped over
    AddKey(wide, KTime(-0x7FFFFFFFFFFFFFF0LL), 0.0f);
    AddKey(wide, KTime(0x7FFFFFFFFFFFFFF0LL), 1.0f);
    filter.Reset();
    filter.SetPeriodTime(KTime(1));
    EXPECT_FALSE(filter.Apply(wide));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    EXPECT_EQ(wide.KeyGetCount(), 2);
}

TEST(KFCurveResample, SpansStopKeysAndFrames)
{
    KFCurveFilterResample filter; // 0 to 25 at a period of 10: 0, 10, 20 and one more key at the stop, cubic auto
    filter.SetPeriodTime(KTime(10));
    KFCurve c;
    Ramp(c, 0, 25);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ(Times(c), (std::vector<long long>{0, 10, 20, 25}));
    EXPECT_FLOAT_EQ(c.KeyGetValue(1), 10.0f);
    EXPECT_EQ(Kinds(c), "Ua Ua Ua Ua ");
    // A range inside the keys keeps the keys outside; on frames the samples start at a multiple of the period.
    const struct
    {
        bool onFrame;
        long long start, stop;
        std::vector<long long> times;
    } cases[] = {
        {false, 30, 55, {-100, 30, 40, 50, 55, 100}},
        {true, 25, 60, {-100, 30, 40, 50, 60, 100}},
        {true, 5, 60, {-100, 5, 15, 25, 35, 45, 55, 60, 100}},
        {true, -15, 60, {-100, -15, -5, 5, 15, 25, 35, 45, 55, 60, 100}},
    };
    for (const auto& k : cases)
    {
        KFCurve d;
        Ramp(d, -100, 100);
        filter.SetKeysOnFrame(k.onFrame);
        filter.SetStartTime(KTime(k.start));
        filter.SetStopTime(KTime(k.stop));
        EXPECT_TRUE(filter.Apply(d));
        EXPECT_EQ(Times(d), k.times) << k.start;
        EXPECT_EQ(d.KeyGetInterpolation(0), L);
    }
}

TEST(KFCurveResample, IntelligentModeAndNode)
{
    KFCurveFilterResample filter; // samples take the interpolation of the key before them
    filter.SetPeriodTime(KTime(10));
    filter.SetIntelligentMode(true);
    KFCurve c;
    AddKey(c, KTime(0), 0.0f, C, KFCURVE_CONSTANT_STANDARD);
    AddKey(c, KTime(20), 5.0f);
    AddKey(c, KTime(40), 9.0f);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ(Times(c), (std::vector<long long>{0, 10, 20, 30, 40}));
    EXPECT_EQ(Values(c), (std::vector<float>{0, 0, 5, 7, 9}));
    EXPECT_EQ(Kinds(c), "Cs Cs L L L ");
    KFCurveFilterResample plain; // node form: every curve of the subtree
    plain.SetPeriodTime(KTime(5));
    KFCurveNode* node = MemberNode("T", KFCL_ADD, {0, 0});
    Ramp(*Member(node, 0), 0, 20);
    Ramp(*Member(node, 1), 0, 20);
    EXPECT_TRUE(plain.Apply(*node, true));
    EXPECT_EQ(Member(node, 0)->KeyGetCount(), 5);
    EXPECT_EQ(Member(node, 1)->KeyGetCount(), 5);
    node->Destroy();
}

TEST(KFCurveTimeShiftAndScale, ErrorsShiftThenScale)
{
    KFCurveFilterTimeShiftAndScale filter;
    EXPECT_STREQ(filter.GetName(), "TimeShiftAndScaleFilter");
    EXPECT_EQ(filter.GetShift().Get(), 0);
    EXPECT_DOUBLE_EQ(filter.GetScale(), 1.0);
    KFCurve c; // nothing to do, or a negative scale: refused, nothing moves
    AddKey(c, KTime(kTicksPerSecond), 1.0f);
    for (double scale : {1.0, -2.0})
    {
        filter.SetScale(scale);
        EXPECT_FALSE(filter.Apply(c));
        ExpectErrorAndClear(filter, 1, "TimeShiftAndScaleFilter, No key were changed by filter.");
    }
    EXPECT_EQ(c.KeyGetTime(0).Get(), kTicksPerSecond);
    KFCurve empty;
    filter.SetShift(KTime(kTicksPerSecond));
    EXPECT_FALSE(filter.Apply(empty));
    ExpectErrorAndClear(filter, 0, "TimeShiftAndScaleFilter, No key to be filtered.");
    AddKey(c, KTime(2 * kTicksPerSecond), 2.0f); // shift 1 s then scale 2: 1 s -> 4 s, 2 s -> 6 s; scale 0 shifts only
    filter.SetScale(2.0);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ(Times(c), (std::vector<long long>{4 * kTicksPerSecond, 6 * kTicksPerSecond}));
    filter.SetScale(0.0);
    EXPECT_TRUE(filter.Apply(c));
    EXPECT_EQ(Times(c), (std::vector<long long>{5 * kTicksPerSecond, 7 * kTicksPerSecond}));
    KFCurveFilterTimeShiftAndScale scale; // scale alone; the range is not read
    scale.SetScale(0.5);
    scale.SetStartTime(KTime(0));
    scale.SetStopTime(KTime(0));
    EXPECT_TRUE(scale.Apply(c));
    EXPECT_EQ(Times(c), (std::vector<long long>{5 * kTicksPerSecond / 2, 7 * kTicksPerSecond / 2}));
    KFCurve late; // near the end of the tick range the shift saturates: order is kept
    AddKey(late, KTime(0x7FFFFFFFFFFFFF00LL), 1.0f);
    AddKey(late, KTime(0x7FFFFFFFFFFFFFF0LL), 2.0f);
    KFCurveFilterTimeShiftAndScale push;
    push.SetShift(KTime(0x1000));
    EXPECT_TRUE(push.Apply(late));
    EXPECT_LE(late.KeyGetTime(0).Get(), late.KeyGetTime(1).Get());
    EXPECT_GT(late.KeyGetTime(0).Get(), 0);
}
