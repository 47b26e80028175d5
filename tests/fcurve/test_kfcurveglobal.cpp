#include "fcurve/kfcurveglobal.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilter_unroll.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

namespace {

// A rotation node "R" (Euler XYZ) with X, Y, Z curves of two linear keys.
KFCurveNode* RotationNode(const double first[3], const double second[3])
{
    KFCurveNode* node = new KFCurveNode("R", "R", nullptr, KFCL_NOLAYER, 0);
    node->SetLayerType(KFCL_EULER_XYZ);
    const char* const names[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* child = new KFCurveNode(names[i], names[i], nullptr, KFCL_NOLAYER, 0);
        KFCurve* curve = new KFCurve;
        KFCurveKey key;
        key.Init();
        key.Set(KTime(0), static_cast<float>(first[i]), KFCURVE_INTERPOLATION_LINEAR);
        curve->KeyAdd(KTime(0), key);
        key.Set(KTIME_ONE_SECOND, static_cast<float>(second[i]), KFCURVE_INTERPOLATION_LINEAR);
        curve->KeyAdd(KTIME_ONE_SECOND, key);
        child->FCurveSet(curve, false);
        node->Add(child);
    }
    return node;
}

// Restores the rotation filter setting when a test ends.
struct FilterCodeGuard
{
    int saved = KFCURVE_GetRotationFilterToApply();
    ~FilterCodeGuard() { KFCURVE_SetRotationFilterToApply(saved); }
};

}  // namespace

TEST(KFCurveGlobal, Defaults)
{
    EXPECT_EQ(1539538600LL, KFCURVE_GetPlotPeriod().Get());
    EXPECT_EQ(2, KFCURVE_GetRotationFilterToApply());
    EXPECT_DOUBLE_EQ(0.25, KFCURVE_GetRotationFilterUnrollQuality());
    EXPECT_FALSE(KFCURVE_GetRotationFilterUnrollTestForPath());
    EXPECT_DOUBLE_EQ(240.0, KFCURVE_GetButterworthFilterInternalRate());
    EXPECT_TRUE(KFCURVE_GetUseConstantKeyReducer());
    EXPECT_DOUBLE_EQ(5e-13, KFCURVE_GetUseConstantKeyReducerTranslationThreshold());
    EXPECT_DOUBLE_EQ(0.0005, KFCURVE_GetUseConstantKeyReducerRotationThreshold());
    EXPECT_DOUBLE_EQ(5e-13, KFCURVE_GetUseConstantKeyReducerScalingThreshold());
    EXPECT_DOUBLE_EQ(5e-13, KFCURVE_GetUseConstantKeyReducerDefaultThreshold());
    EXPECT_TRUE(KFCURVE_GetUseConstantKeyReducerOnDevices());
    EXPECT_TRUE(KFCURVE_GetConstantKeyReducerKeepOneKey());
    EXPECT_TRUE(KFCURVE_GetPlotOnFrame());
    EXPECT_FALSE(KFCURVE_GetPlotTranslationOnRootOnly());
    EXPECT_FALSE(KFCURVE_GetPreciseTimeDiscontinuities());
    EXPECT_FALSE(KFCURVE_GetTCB4051EvalMode());
}

TEST(KFCurveGlobal, SettersStoreUnchecked)
{
    KFCURVE_SetPlotPeriod(KTime(-5));
    EXPECT_EQ(-5, KFCURVE_GetPlotPeriod().Get());
    KFCURVE_SetPlotPeriod(KTime(1539538600LL));

    KFCURVE_SetRotationFilterUnrollQuality(-3.0);
    EXPECT_DOUBLE_EQ(-3.0, KFCURVE_GetRotationFilterUnrollQuality());
    KFCURVE_SetRotationFilterUnrollQuality(0.25);

    KFCURVE_SetButterworthFilterInternalRate(0.0);
    EXPECT_DOUBLE_EQ(0.0, KFCURVE_GetButterworthFilterInternalRate());
    KFCURVE_SetButterworthFilterInternalRate(240.0);

    KFCURVE_SetUseConstantKeyReducerRotationThreshold(1.5);
    EXPECT_DOUBLE_EQ(1.5, KFCURVE_GetUseConstantKeyReducerRotationThreshold());
    KFCURVE_SetUseConstantKeyReducerRotationThreshold(0.0005);

    KFCURVE_SetPlotTranslationOnRootOnly(true);
    EXPECT_TRUE(KFCURVE_GetPlotTranslationOnRootOnly());
    KFCURVE_SetPlotTranslationOnRootOnly(false);

    KFCURVE_SetTCB4051EvalMode(true);
    EXPECT_TRUE(KFCURVE_GetTCB4051EvalMode());
    EXPECT_TRUE(gsTCB4051EvalMode);
    KFCURVE_SetTCB4051EvalMode(false);
}

TEST(KFCurveGlobal, ApplyRotationFilterByCode)
{
    FilterCodeGuard guard;
    const double a[3] = {0.0, 0.0, 170.0};
    const double b[3] = {0.0, 0.0, -170.0};

    // Codes 0 and 3: no filter, the node is untouched.
    for (int code : {0, 3})
    {
        KFCURVE_SetRotationFilterToApply(code);
        KFCurveNode* node = RotationNode(a, b);
        KFCURVE_ApplyRotationFilter(node, KTIME_MINUS_INFINITE, KTIME_INFINITE);
        EXPECT_FLOAT_EQ(-170.0f, node->Get(2)->FCurveGet()->KeyGetValue(1)) << code;
        EXPECT_EQ(2, node->Get(2)->FCurveGet()->KeyGetCount());
        node->Destroy();
    }

    // Code 2: unroll.
    KFCURVE_SetRotationFilterToApply(2);
    KFCurveNode* node = RotationNode(a, b);
    KFCURVE_ApplyRotationFilter(node, KTIME_MINUS_INFINITE, KTIME_INFINITE);
    EXPECT_FLOAT_EQ(190.0f, node->Get(2)->FCurveGet()->KeyGetValue(1));
    node->Destroy();

    // Code 1: the gimbal killer also takes the nearest angles.
    KFCURVE_SetRotationFilterToApply(1);
    node = RotationNode(a, b);
    KFCURVE_ApplyRotationFilter(node, KTIME_MINUS_INFINITE, KTIME_INFINITE);
    KFCurve* z = node->Get(2)->FCurveGet();
    EXPECT_NEAR(190.0, z->KeyGetValue(z->KeyGetCount() - 1), 1e-3);
    node->Destroy();

    // A node that is not a rotation is left alone; a null node is ignored.
    KFCURVE_SetRotationFilterToApply(2);
    node = RotationNode(a, b);
    node->SetLayerType(KFCL_ADD);
    KFCURVE_ApplyRotationFilter(node, KTIME_MINUS_INFINITE, KTIME_INFINITE);
    EXPECT_FLOAT_EQ(-170.0f, node->Get(2)->FCurveGet()->KeyGetValue(1));
    node->Destroy();
    KFCURVE_ApplyRotationFilter(nullptr, KTime(0), KTime(1));
}

TEST(KFCurveGlobal, UnrollFilterCopiesSettingsAtReset)
{
    KFCurveFilterUnroll filter;
    EXPECT_DOUBLE_EQ(0.25, filter.GetQualityTolerance());
    EXPECT_FALSE(filter.GetTestForPath());

    KFCURVE_SetRotationFilterUnrollQuality(0.75);
    KFCURVE_SetRotationFilterUnrollTestForPath(true);
    EXPECT_DOUBLE_EQ(0.25, filter.GetQualityTolerance());
    EXPECT_FALSE(filter.GetTestForPath());
    filter.Reset();
    EXPECT_DOUBLE_EQ(0.75, filter.GetQualityTolerance());
    EXPECT_TRUE(filter.GetTestForPath());

    KFCurveFilterUnroll fresh;
    EXPECT_DOUBLE_EQ(0.75, fresh.GetQualityTolerance());

    KFCURVE_SetRotationFilterUnrollQuality(0.25);
    KFCURVE_SetRotationFilterUnrollTestForPath(false);
}
