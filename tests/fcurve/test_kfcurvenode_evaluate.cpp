// Curve-node evaluation: value layout, time warps, and rotation nodes whose
// keys are interpolated as quaternions.

#include <gtest/gtest.h>

#include <cmath>

#include "base/kmath_kernels.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

const long long kSecond = 46186158000LL;

KTime Seconds(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

void AddKey(KFCurve* curve, double seconds, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR)
{
    KFCurveKey key;
    key.Init();
    key.Set(Seconds(seconds), value, interpolation, KFCURVE_TANGEANT_AUTO);
    curve->KeyAdd(Seconds(seconds), key);
}

// A rotation node "R" with X, Y, Z keyed at the given times (degrees).
KFCurveNode* MakeRotation(std::initializer_list<std::initializer_list<double>> keys, bool quaternion,
                          unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR)
{
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    for (const auto& key : keys)
    {
        auto it = key.begin();
        double t = *it++;
        for (int i = 0; i < 3; ++i)
            AddKey(r->Get(i)->FCurveGet(), t, static_cast<float>(*it++), interpolation);
    }
    r->SetUseQuaternion(quaternion);
    return r;
}

// Angle in degrees of the rotation between two Euler XYZ triples.
double AngleBetween(const double* a, const double* b)
{
    KgeRMatrix ra, rb, rel;
    KmXYZtoR(ra, a[0], a[1], a[2]);
    KmXYZtoR(rb, b[0], b[1], b[2]);
    KmRiR(rel, ra, rb);
    double q[4] = {0, 0, 0, 1};
    KmRtoQ(q, rel);
    double w = std::fabs(q[3]) > 1.0 ? 1.0 : std::fabs(q[3]);
    return 2.0 * std::acos(w) * 57.29577951308232;
}

TEST(KFCurveNodeEvaluate, OwnCurveFirstThenChildrenDepthFirst)
{
    KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    node->CreateFCurve();
    node->FCurveSet(KFCurveCreate());
    node->FCurveGet()->SetValue(9.0f);
    for (int i = 0; i < 3; ++i)
        node->Get(i)->FCurveGet()->SetValue(static_cast<float>(i + 1));
    double v[4];
    EXPECT_EQ(node->GeneralEvaluate(v, KTime(0)), v + 4);
    EXPECT_EQ(v[0], 9.0);
    EXPECT_EQ(v[3], 3.0);
    EXPECT_EQ(node->Evaluate(v, KTime(0)), v + 4);
    EXPECT_EQ(node->GetValueCount(), 4);
    node->Destroy();
}

TEST(KFCurveNodeEvaluate, TimeWarpMapsTheTime)
{
    KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    node->CreateFCurve();
    AddKey(node->Get(0)->FCurveGet(), 0.0, 0.0f);
    AddKey(node->Get(0)->FCurveGet(), 4.0, 10.0f);
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    warp->FCurveSet(KFCurveCreate());
    warp->FCurveGet()->SetValue(2.0f);
    node->TimeWarpSet(warp);
    double v[3];
    node->GeneralEvaluate(v, Seconds(0.5));
    EXPECT_NEAR(v[0], 5.0, 1e-5);
    node->CandidateEvaluate(v, Seconds(3.0));
    EXPECT_NEAR(v[0], 5.0, 1e-5);
    // The plain evaluation ignores the warp.
    node->Evaluate(v, Seconds(3.0));
    EXPECT_NEAR(v[0], 7.5, 1e-5);
    node->Destroy(); // the warp goes with its last user
}

TEST(KFCurveNodeEvaluate, EulerRotationWithoutQuaternionFollowsTheCurves)
{
    KFCurveNode* r = MakeRotation({{0, 0, 0, 0}, {1, 90, 90, 0}}, false);
    double v[3];
    r->GeneralEvaluate(v, Seconds(0.5));
    EXPECT_NEAR(v[0], 45.0, 1e-4);
    EXPECT_NEAR(v[1], 45.0, 1e-4);
    r->Destroy();
}

TEST(KFCurveNodeEvaluate, QuaternionInterpolationKeepsTheKeysAndHalvesTheTurn)
{
    KFCurveNode* r = MakeRotation({{0, 0, 0, 0}, {1, 90, 90, 0}, {2, 90, 90, 90}}, true);
    double v[3];
    // On the keys: the keyed values.
    r->GeneralEvaluate(v, Seconds(1.0));
    EXPECT_NEAR(v[0], 90.0, 1e-4);
    EXPECT_NEAR(v[1], 90.0, 1e-4);
    EXPECT_NEAR(v[2], 0.0, 1e-4);
    // Halfway in a linear span the rotation has turned half of the way.
    double start[3] = {0, 0, 0}, end[3] = {90, 90, 0};
    r->GeneralEvaluate(v, Seconds(0.5));
    double total = AngleBetween(start, end);
    EXPECT_NEAR(AngleBetween(start, v), total / 2.0, 1e-3);
    EXPECT_NEAR(AngleBetween(v, end), total / 2.0, 1e-3);
    // Not the Euler path.
    EXPECT_GT(std::fabs(v[2]) + std::fabs(v[0] - 45.0), 1.0);
    // Continuous next to a key.
    r->GeneralEvaluate(v, KTime(Seconds(1.0).Get() - 1000));
    EXPECT_LT(AngleBetween(v, end), 1e-3);
    r->Destroy();
}

TEST(KFCurveNodeEvaluate, QuaternionInterpolationStaysNextToTheKeyedAngles)
{
    // A turn about X from 350 to 370: the short way, and continuous with the
    // keyed angles rather than jumping back by a whole turn.
    KFCurveNode* r = MakeRotation({{0, 350, 0, 0}, {1, 370, 0, 0}}, true);
    double v[3];
    r->GeneralEvaluate(v, Seconds(0.5));
    EXPECT_NEAR(v[0], 360.0, 1e-3);
    EXPECT_NEAR(v[1], 0.0, 1e-3);
    EXPECT_NEAR(v[2], 0.0, 1e-3);
    r->Destroy();

    // Cubic keys about one axis stay on that axis and keep the key values.
    KFCurveNode* c = MakeRotation({{0, 0, 0, 0}, {1, 60, 0, 0}, {2, 0, 0, 0}, {3, 30, 0, 0}}, true,
                                  KFCURVE_INTERPOLATION_CUBIC);
    for (double t = 0.0; t <= 3.0; t += 0.125)
    {
        c->GeneralEvaluate(v, Seconds(t));
        EXPECT_NEAR(v[1], 0.0, 1e-3) << t;
        EXPECT_NEAR(v[2], 0.0, 1e-3) << t;
        EXPECT_GT(v[0], -40.0);
        EXPECT_LT(v[0], 100.0);
    }
    c->GeneralEvaluate(v, Seconds(2.0));
    EXPECT_NEAR(v[0], 0.0, 1e-4);
    c->GeneralEvaluate(v, Seconds(1.0));
    EXPECT_NEAR(v[0], 60.0, 1e-4);
    // The rotation order matters; the node's own order is used.
    c->SetRotationOrder(5);
    c->GeneralEvaluate(v, Seconds(1.0));
    EXPECT_NEAR(v[0], 60.0, 1e-4);
    c->Destroy();
}

TEST(KFCurveNodeEvaluate, ExtremeKeyTimesAndWarpedTimes)
{
    // Keys half the tick range apart: span lengths are taken in seconds
    // as doubles, so nothing overflows.
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    const KTime ends[2] = {KTime(-(1LL << 62)), KTime((1LL << 62) - 1)};
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 3; ++i)
        {
            KFCurveKey key;
            key.Init();
            key.Set(ends[k], k == 0 ? 0.0f : 90.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
            r->Get(i)->FCurveGet()->KeyAdd(ends[k], key);
        }
    r->SetUseQuaternion(true);
    double v[3];
    for (KTime t : {KTime(0), ends[0], ends[1], KTIME_INFINITE, KTIME_MINUS_INFINITE})
    {
        r->GeneralEvaluate(v, t);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(std::isfinite(v[i]));
    }
    KTime start = KTime(0), stop = KTime(0);
    EXPECT_TRUE(r->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, ends[0]);
    EXPECT_EQ(stop, ends[1]);
    EXPECT_EQ(r->GetNextKeyTime(KTime(0)), ends[1]);

    // A time warp far beyond the tick range saturates.
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    warp->FCurveSet(KFCurveCreate());
    warp->FCurveGet()->SetValue(3.0e38f);
    r->TimeWarpSet(warp);
    r->GeneralEvaluate(v, KTime(0));
    EXPECT_NEAR(v[0], 90.0, 1e-3);
    r->Destroy();
}

TEST(KFCurveNodeEvaluate, UpdateIdsSumTheCurves)
{
    KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    node->CreateFCurve();
    unsigned int before = node->GetUpdateId();
    unsigned int valuesBefore = node->GetValuesUpdateId();
    AddKey(node->Get(1)->FCurveGet(), 0.0, 1.0f);
    EXPECT_GT(node->GetUpdateId(), before);
    EXPECT_GT(node->GetValuesUpdateId(), valuesBefore);
    KFCurveNode* layer = node->CreateLayerAt(1);
    unsigned int withLayer = node->GetValuesUpdateId();
    AddKey(layer->Get(0)->FCurveGet(), 0.0, 1.0f);
    EXPECT_GT(node->GetValuesUpdateId(), withLayer);
    node->Destroy();
}

TEST(KFCurveNodeEvaluate, SpecificLayerOfRotationNode)
{
    KFCurveNode* r = MakeRotation({{0, 10, 20, 30}}, false);
    KFCurveNode* layer = r->CreateLayerAt(2);
    layer->Get(0)->FCurveGet()->SetValue(5.0f);
    double v[3];
    EXPECT_EQ(r->EvaluateSpecificLayer(v, KTime(kSecond), 2), v + 3);
    EXPECT_EQ(v[0], 5.0);
    EXPECT_EQ(v[1], 0.0);
    r->EvaluateSpecificLayer(v, KTime(kSecond), 0);
    EXPECT_NEAR(v[2], 30.0, 1e-5);
    r->Destroy();
}

} // namespace
