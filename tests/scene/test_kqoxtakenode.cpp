// Take nodes: channel lookup by path, user-property lookup, copies, and
// folding a rotation into the translation animation.
#include <gtest/gtest.h>

#include <cmath>

#include "object/kpropertydatatype.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"
#include "scene_test_helpers.h"

using namespace qoxsdk_600;
using scenetest::AddKey;
using scenetest::BuildTransform;

namespace {
KFCurve* Curve(KQoxTakeNode& take, const char* channel, int member)
{
    return take.GetKFCurveNode()->FindRecursive(channel)->Get(member)->FCurveGet();
}
} // namespace

TEST(KQoxTakeNodeTest, NewTakeNodeHasAnEmptyDefaultsRoot)
{
    KQoxTakeNode take("Take 001");
    EXPECT_STREQ("Take 001", take.GetName());
    EXPECT_STREQ("Defaults", take.GetKFCurveNode()->GetName());
    EXPECT_EQ(0, take.GetKFCurveNode()->GetCount());
    EXPECT_EQ(nullptr, take.GetTranslationX());
    EXPECT_STREQ("Curve not found", take.GetLastErrorString());
    take.GetError().ClearLastError();
    EXPECT_EQ(nullptr, take.GetVisibility());
    EXPECT_EQ(0, take.GetLastErrorID());
    KTime start = KTIME_INFINITE, stop = KTIME_MINUS_INFINITE;
    EXPECT_FALSE(take.GetAnimationInterval(start, stop));
    EXPECT_EQ(KTIME_INFINITE, start);
}

TEST(KQoxTakeNodeTest, TransformPathsFindTheirCurves)
{
    KQoxTakeNode take("Default");
    BuildTransform(take.GetKFCurveNode());
    struct Case
    {
        KFCurve* (KQoxTakeNode::*getter)();
        const char* channel;
        int member;
    };
    const Case cases[] = {
        {&KQoxTakeNode::GetTranslationX, "T", 0},   {&KQoxTakeNode::GetTranslationY, "T", 1},
        {&KQoxTakeNode::GetTranslationZ, "T", 2},   {&KQoxTakeNode::GetEulerRotationX, "R", 0},
        {&KQoxTakeNode::GetEulerRotationY, "R", 1}, {&KQoxTakeNode::GetEulerRotationZ, "R", 2},
        {&KQoxTakeNode::GetScaleX, "S", 0},         {&KQoxTakeNode::GetScaleY, "S", 1},
        {&KQoxTakeNode::GetScaleZ, "S", 2},
    };
    for (const Case& c : cases)
    {
        KFCurve* curve = (take.*c.getter)();
        ASSERT_NE(nullptr, curve) << c.channel << c.member;
        EXPECT_EQ(Curve(take, c.channel, c.member), curve);
    }
    // Names are compared without regard to case; a container has no curve.
    EXPECT_EQ(Curve(take, "R", 1), take.GetKFCurve("transform", "r", "y"));
    EXPECT_EQ(nullptr, take.GetKFCurve("Transform", "T", static_cast<const char*>(nullptr)));
    EXPECT_EQ(nullptr, take.GetKFCurve("Missing", "T", "X"));
    // A lookup with the last item only searches the whole tree.
    EXPECT_EQ(Curve(take, "T", 0), take.GetKFCurve(nullptr, nullptr, "X"));
    EXPECT_FALSE(take.IsChannelAnimated("Transform", "T", "X"));
    AddKey(Curve(take, "T", 0), 100, 1.0f);
    EXPECT_TRUE(take.IsChannelAnimated("Transform", "T", "X"));
    // Data-type lookup.
    KFCurveNode* visibility = KFCurveNodeCreate("Visibility", KDataTypeVisibility);
    visibility->FCurveSet(KFCurveCreate(), false);
    take.GetKFCurveNode()->Add(visibility);
    EXPECT_EQ(visibility->FCurveGet(), take.GetVisibility());
}

TEST(KQoxTakeNodeTest, PropertyAnimationMapsTransformNamesAndComponents)
{
    KQoxSdkManager manager;
    KQoxTakeNode take("Default");
    BuildTransform(take.GetKFCurveNode());
    take.GetKFCurveNode()->FindOrCreate("Speed/Max", true); // a name holding '/'

    KQoxUserProperty rotation(manager, "Lcl Rotation", "Vector", "");
    KQoxUserProperty speed(manager, "Speed/Max", "Real", "");
    KQoxUserProperty missing(manager, "Nowhere", "Real", "");
    EXPECT_EQ(Curve(take, "R", 2), take.GetPropertyAnimation(&rotation, 2));
    EXPECT_EQ(nullptr, take.GetPropertyAnimation(&rotation, 3));
    EXPECT_EQ(nullptr, take.GetPropertyAnimation(&rotation, 0xFFFFFFFFu));
    EXPECT_NE(nullptr, take.GetPropertyAnimation(&speed, 0));
    EXPECT_EQ(nullptr, take.GetPropertyAnimation(&speed, 1));
    take.GetError().ClearLastError();
    EXPECT_EQ(nullptr, take.GetPropertyAnimation(&missing, 0));
    EXPECT_STREQ("Curve not found", take.GetLastErrorString());
    EXPECT_EQ(nullptr, take.GetPropertyAnimation(nullptr, 0));
}

TEST(KQoxTakeNodeTest, CopyIsDeepAndIndependent)
{
    auto source = std::make_unique<KQoxTakeNode>("Default");
    BuildTransform(source->GetKFCurveNode());
    AddKey(source->GetTranslationX(), 10, 3.0f);
    source->GetTranslationY()->SetValue(4.0f);

    auto copy = std::make_unique<KQoxTakeNode>(*source);
    EXPECT_STREQ("Default", copy->GetName());
    ASSERT_NE(source->GetTranslationX(), copy->GetTranslationX());
    EXPECT_EQ(1, copy->GetTranslationX()->KeyGetCount());
    EXPECT_FLOAT_EQ(3.0f, copy->GetTranslationX()->KeyGetValue(0));
    EXPECT_FLOAT_EQ(4.0f, copy->GetTranslationY()->GetValue());

    AddKey(copy->GetTranslationX(), 20, 5.0f);
    copy->GetTranslationY()->SetValue(9.0f);
    EXPECT_EQ(1, source->GetTranslationX()->KeyGetCount());
    EXPECT_FLOAT_EQ(4.0f, source->GetTranslationY()->GetValue());
    // The source goes first; the copy stays whole.
    source.reset();
    EXPECT_EQ(2, copy->GetTranslationX()->KeyGetCount());
}

TEST(KQoxTakeNodeTest, AddRotationToTranslationRotatesKeysAtEveryMergedTime)
{
    KQoxTakeNode take("Take 001");
    BuildTransform(take.GetKFCurveNode());
    AddKey(take.GetTranslationX(), 10, 1.0f);
    AddKey(take.GetTranslationY(), 20, 0.0f);

    ASSERT_TRUE(take.AddRotationToTranslation(KQoxVector4(0.0, 0.0, 90.0)));
    // At both times the curves read (1, 0, 0); a quarter turn about Z makes
    // that (0, 1, 0) (row vectors: the X axis goes to Y).
    KFCurve* curves[3] = {take.GetTranslationX(), take.GetTranslationY(), take.GetTranslationZ()};
    const float expected[3] = {0.0f, 1.0f, 0.0f};
    for (int axis = 0; axis < 3; ++axis)
    {
        ASSERT_EQ(2, curves[axis]->KeyGetCount()) << axis;
        EXPECT_EQ(10, curves[axis]->KeyGetTime(0).Get());
        EXPECT_EQ(20, curves[axis]->KeyGetTime(1).Get());
        for (int key = 0; key < 2; ++key)
        {
            EXPECT_NEAR(expected[axis], curves[axis]->KeyGetValue(key), 1e-6) << axis << " " << key;
            EXPECT_EQ(static_cast<unsigned int>(KFCURVE_INTERPOLATION_CUBIC), curves[axis]->KeyGetInterpolation(key));
            EXPECT_EQ(static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO), curves[axis]->KeyGetTangeantMode(key));
        }
        EXPECT_NEAR(expected[axis], curves[axis]->GetValue(), 1e-6);
    }
}

TEST(KQoxTakeNodeTest, AddRotationToTranslationWithoutKeysTurnsOnlyStaticValues)
{
    KQoxTakeNode take("Take 001");
    BuildTransform(take.GetKFCurveNode());
    take.GetTranslationX()->SetValue(2.0f);
    take.GetTranslationY()->SetValue(0.0f);
    take.GetTranslationZ()->SetValue(5.0f);
    ASSERT_TRUE(take.AddRotationToTranslation(KQoxVector4(0.0, 0.0, 180.0)));
    EXPECT_NEAR(-2.0, take.GetTranslationX()->GetValue(), 1e-6);
    EXPECT_NEAR(0.0, take.GetTranslationY()->GetValue(), 1e-6);
    EXPECT_NEAR(5.0, take.GetTranslationZ()->GetValue(), 1e-6);
    EXPECT_EQ(0, take.GetTranslationX()->KeyGetCount());

    KQoxTakeNode empty("Take 002");
    EXPECT_FALSE(empty.AddRotationToTranslation(KQoxVector4(0.0, 0.0, 90.0)));
}
