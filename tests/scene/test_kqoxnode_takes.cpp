// Node channels, take switches and caches, animation intervals, copies, and
// the bad-scale finder over the channels.

#include <cmath>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "node_test_util.h"
#include "common/qox_test_common.h"
#include "scene/kqoxnodefinder.h"
#include "scene/kqoxtakenode.h"

using namespace nodetest;

namespace {

const long long kSecond = qoxtest::kTicksPerSecond;

// Keys value0 at time0 and value1 at time1 (linear) on the curve.
void KeyLinear(KFCurve* curve, long long time0, float value0, long long time1, float value1)
{
    int i = curve->KeyAdd(KTime(time0));
    curve->KeySet(i, KTime(time0), value0, KFCURVE_INTERPOLATION_LINEAR);
    i = curve->KeyAdd(KTime(time1));
    curve->KeySet(i, KTime(time1), value1, KFCURVE_INTERPOLATION_LINEAR);
}

KFCurve* Scale(KQoxTakeNode* take, int axis)
{
    return axis == 0 ? take->GetScaleX() : axis == 1 ? take->GetScaleY() : take->GetScaleZ();
}

} // namespace

TEST_F(NodeTest, DefaultTakeChannelTree)
{
    KQoxNode* node = Node("A");
    node->SetDefaultT(KQoxVector4(1, 2, 3, 0));
    KQoxTakeNode* take = node->GetDefaultTakeNode();
    KFCurveNode* root = take->GetKFCurveNode();
    ASSERT_GE(root->GetCount(), 2);
    EXPECT_STREQ(root->Get(0)->GetName(), "Transform");
    EXPECT_STREQ(root->Get(1)->GetName(), "Visibility");
    KFCurveNode* transform = root->Get(0);
    const char* const channels[] = {"T", "R", "S"};
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* channel = transform->Get(i);
        EXPECT_STREQ(channel->GetName(), channels[i]);
        ASSERT_EQ(channel->GetCount(), 3);
        EXPECT_STREQ(channel->Get(2)->GetName(), "Z");
    }
    EXPECT_EQ(take->GetScaleY()->GetValue(), 1.0f);
    EXPECT_EQ(take->GetVisibility()->GetValue(), 1.0f);
    // Default values and the Default take's curves follow each other.
    EXPECT_EQ(take->GetTranslationY()->GetValue(), 2.0f);
    take->GetTranslationZ()->SetValue(7.0f);
    KQoxVector4 t;
    node->GetDefaultT(t);
    ExpectVector(t, 1, 2, 7, 0);
    // A new take starts as a copy of the Default take.
    KQoxTakeNode* copy = node->CreateTakeNode("Take 001");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetTranslationZ()->GetValue(), 7.0f);
    EXPECT_NE(copy->GetTranslationZ(), take->GetTranslationZ());
}

TEST_F(NodeTest, TakeSwitchResetsTheTakeCaches)
{
    KQoxNode* node = Node("A");
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    ASSERT_TRUE(node->SetCurrentTakeNode("Take 001"));
    KeyLinear(take->GetTranslationX(), 0, 0.0f, kSecond, 10.0f);
    const KTime half(kSecond / 2);
    EXPECT_NEAR(node->GetLocalFromCurrentTake(half).Get(3, 0), 5.0, 1e-5);
    // Same time: the cache answers even though the key changed.
    take->GetTranslationX()->KeySetValue(1, 20.0f);
    EXPECT_NEAR(node->GetLocalFromCurrentTake(half).Get(3, 0), 5.0, 1e-5);
    EXPECT_NEAR(node->GetGlobalFromCurrentTake(half).Get(3, 0), 5.0, 1e-5);
    // A take switch (even to the same take) clears it.
    const KTime quarter(kSecond / 4);
    ASSERT_TRUE(node->SetCurrentTakeNode(1));
    EXPECT_NEAR(node->GetGlobalFromCurrentTake(quarter).Get(3, 0), 5.0, 1e-5);
    EXPECT_NEAR(node->GetLocalFromCurrentTake(quarter).Get(3, 0), 5.0, 1e-5);
    // Default-take matrices are cached the same way.
    EXPECT_EQ(node->GetLocalFromDefaultTake().Get(3, 0), 0.0);
    node->SetDefaultT(KQoxVector4(3, 0, 0, 0));
    EXPECT_EQ(node->GetLocalFromDefaultTake().Get(3, 0), 0.0);
    node->SetCurrentTakeNode(0);
    EXPECT_EQ(node->GetLocalFromDefaultTake().Get(3, 0), 3.0);
    EXPECT_FALSE(node->SetCurrentTakeNode("Missing"));
}

TEST_F(NodeTest, AnimationIntervalOfASubtree)
{
    KQoxNode* child = Node("C");
    KQoxNode* root = Tree("R", {child});
    for (KQoxNode* n : {root, child})
    {
        n->CreateTakeNode("Take 001");
        n->SetCurrentTakeNode("Take 001");
    }
    KTime start = KTIME_INFINITE, stop = KTIME_MINUS_INFINITE;
    EXPECT_FALSE(root->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, KTIME_INFINITE);
    EXPECT_EQ(stop, KTIME_MINUS_INFINITE);
    KeyLinear(child->GetCurrentTakeNode()->GetTranslationX(), -kSecond, 0, 3 * kSecond, 1);
    EXPECT_TRUE(root->GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), -kSecond);
    EXPECT_EQ(stop.Get(), 3 * kSecond);
    // The caller's values take part.
    start = KTime(-5 * kSecond);
    stop = KTime(0);
    EXPECT_TRUE(root->GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), -5 * kSecond);
    EXPECT_EQ(stop.Get(), 3 * kSecond);
}

TEST_F(NodeTest, CopyRules)
{
    KQoxNode* source = Node("Source");
    KQoxNode* target = Node("Target");
    KQoxNode* look = Node("Look");
    KQoxNode* up = Node("Up");
    source->SetTarget(look);
    source->SetTargetUp(up);
    source->SetPostTargetRotation(KQoxVector4(1, 2, 3, 4));
    source->SetVisibility(false);
    source->SetShadingMode(KQoxNode::eWIRE_FRAME);
    source->SetCullingType(KQoxNode::eCULLING_ON_CW);
    for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
    {
        source->SetRotationPivot(set, KQoxVector4(set + 1.0, 0, 0, 1));
        source->SetPostRotation(set, KQoxVector4(0, set + 5.0, 0, 1));
        source->SetScalingOffset(set, KQoxVector4(9, 9, 9, 1));
        source->SetRotationOrder(set, eEULER_ZYX);
    }
    source->GetLimits().mRotationLimits.SetLimitMin(KQoxVector4(-10, -20, -30, 0));
    source->GetLimits().mRotationLimits.SetLimitMaxActive(false, true, false);
    source->GetLimits().SetRotationLimitActive(true);
    source->CreateTakeNode("Take 001");
    source->SetCurrentTakeNode("Take 001");
    source->SetDefaultT(KQoxVector4(4, 5, 6, 0));
    target->SetTargetUp(look);
    KQoxNode* child = Node("Child");
    target->AddChild(child);
    target->GetLocalFromDefaultTake();
    target->SetLocalStateId(5, false);

    *target = *source;
    EXPECT_STREQ(target->GetName(), "Model::Source");
    EXPECT_EQ(target->GetTarget(), look);
    EXPECT_EQ(target->GetTargetUp(), look); // the up target is not copied
    ExpectVector(target->GetPostTargetRotation(), 1, 2, 3, 4);
    EXPECT_FALSE(target->GetVisibility());
    EXPECT_EQ(target->GetShadingMode(), KQoxNode::eWIRE_FRAME);
    EXPECT_EQ(target->GetCullingType(), KQoxNode::eCULLING_ON_CW);
    ExpectVector(target->GetRotationPivot(eDESTINATION_SET), 2, 0, 0, 1);
    ExpectVector(target->GetPostRotation(eSOURCE_SET), 0, 5, 0, 1);
    ExpectVector(target->GetScalingOffset(eSOURCE_SET), 0, 0, 0, 1); // not copied
    ERotationOrder order = eSPHERIC_XYZ;
    target->GetRotationOrder(eSOURCE_SET, order);
    EXPECT_EQ(order, eEULER_XYZ); // not copied
    ExpectVector(target->GetLimits().mRotationLimits.GetLimitMin(), -10, -20, -30, 0);
    EXPECT_TRUE(target->GetLimits().mRotationLimits.mMaxActive[1]);
    EXPECT_TRUE(target->GetLimits().GetRotationLimitActive());
    EXPECT_TRUE(target->GetRotationActive());
    EXPECT_EQ(target->GetLimits().GetLimitedNode(), target);
    EXPECT_EQ(target->GetTakeNodeCount(), 2);
    EXPECT_EQ(target->GetCurrentTakeNodeIndex(), 1);
    EXPECT_EQ(target->GetLocalStateId(), 0xFFFFFFFFu);
    EXPECT_EQ(target->GetLocalFromDefaultTake().Get(3, 1), 5.0); // cache was reset
    EXPECT_EQ(target->GetChild(0), child);                       // children stay
    KQoxVector4 t;
    ExpectVector(target->GetDefaultT(t), 4, 5, 6, 0);
    // The copied Default take drives the target's own properties.
    target->GetDefaultTakeNode()->GetTranslationX()->SetValue(8.0f);
    ExpectVector(target->GetDefaultT(t), 8, 5, 6, 0);
    ExpectVector(source->GetDefaultT(t), 4, 5, 6, 0);

    // A source without attribute takes the target's away.
    TestAttribute* mesh = Attribute(KQoxNodeAttribute::eMESH);
    target->SetNodeAttribute(mesh);
    *target = *source;
    EXPECT_EQ(target->GetNodeAttribute(), nullptr);
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), 0);
}

// ---------------------------------------------------------------------------
// Bad scale

namespace {

struct ScaleCase
{
    const char* mName;
    double mScale[3];
    bool mSkeleton;
    bool mChild;
    double mEpsilon;
    int mArray; // 0 none, 1 bone, 2 negative, 3 non-uniform (static arrays)
};

} // namespace

TEST_F(NodeTest, BadScaleFinderStaticExamples)
{
    const ScaleCase cases[] = {
        {"bone with child", {2, 2, 2}, true, true, 0, 1},
        {"bone without child", {2, 2, 2}, true, false, 0, 0},
        {"uniform non-bone", {2, 2, 2}, false, true, 0, 0},
        {"negative leaf", {1, -1, 1}, false, false, 0, 2},
        {"negative bone", {-1, -1, -1}, true, true, 0, 1},
        {"non-uniform", {1, 2, 1}, false, true, 0, 3},
        {"non-uniform leaf", {1, 2, 1}, false, false, 0, 0},
        {"non-uniform wide epsilon", {1, 2, 1}, false, true, 1.5, 0},
        {"unit", {1, 1, 1}, true, true, 0, 0},
        {"nan", {std::nan(""), 1, 1}, true, true, 0, 0},
        {"huge", {1e308, 1e308, -1e308}, false, true, 0, 2},
        {"denormal", {4.9e-324, 4.9e-324, 4.9e-324}, false, true, 0, 0},
    };
    for (const ScaleCase& c : cases)
    {
        SCOPED_TRACE(c.mName);
        KQoxNode* node = Node(c.mName);
        if (c.mChild)
            node->AddChild(Node("child"));
        if (c.mSkeleton)
            node->SetNodeAttribute(Attribute(KQoxNodeAttribute::eSKELETON));
        node->SetDefaultS(KQoxVector4(c.mScale[0], c.mScale[1], c.mScale[2], 0));
        KQoxNodeFinderBadScale finder;
        if (c.mEpsilon > 0)
            finder.SetEpsilon(c.mEpsilon);
        KArrayTemplate<KQoxNode*>& found = finder.Apply(*node);
        EXPECT_EQ(found.GetCount(), c.mArray ? 1 : 0);
        EXPECT_EQ(finder.BoneScaleStaticNodeArray().GetCount(), c.mArray == 1 ? 1 : 0);
        EXPECT_EQ(finder.NegativeScaleStaticNodeArray().GetCount(), c.mArray == 2 ? 1 : 0);
        EXPECT_EQ(finder.NonUniformScaleStaticNodeArray().GetCount(), c.mArray == 3 ? 1 : 0);
        EXPECT_EQ(finder.NonUniformScaleAnimatedNodeArray().GetCount(), 0);
        EXPECT_TRUE(finder.GetCheckBoneScale()); // restored after each node
    }
}

TEST_F(NodeTest, BadScaleFinderSamplesTheCurrentTake)
{
    for (bool withChild : {false, true})
    {
        KQoxNode* node = Node("Animated");
        if (withChild)
            node->AddChild(Node("child"));
        KQoxTakeNode* take = node->CreateTakeNode("Take 001");
        KQoxNodeFinderBadScale finder;
        finder.Apply(*node);
        EXPECT_EQ(finder.NegativeScaleAnimatedNodeArray().GetCount(), 0); // current take is Default
        node->SetCurrentTakeNode("Take 001");
        for (int axis = 0; axis < 3; ++axis)
            KeyLinear(Scale(take, axis), 0, 1.0f, kSecond, -1.0f);
        finder.Reset();
        finder.Apply(*node);
        EXPECT_EQ(finder.NegativeScaleAnimatedNodeArray().GetCount(), 1);
        EXPECT_EQ(finder.NegativeScaleStaticNodeArray().GetCount(), 0);
    }
}

TEST_F(NodeTest, BadScaleSamplingIsBoundedOverTheWholeTickRange)
{
    KQoxNode* node = Tree("Extreme", {Node("child")});
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    node->SetCurrentTakeNode("Take 001");
    // Keys at both ends of the tick range: the span does not fit a signed
    // 64-bit count, and at 1/24 s it would be billions of samples.
    const long long far = 0x7FFFFFFFFFFFFF00LL;
    KeyLinear(take->GetScaleX(), -far, 1.0f, far, 3.0f);
    KeyLinear(take->GetScaleY(), -far, 1.0f, far, 1.0f);
    KeyLinear(take->GetScaleZ(), -far, 1.0f, far, 1.0f);
    KQoxNodeFinderBadScale finder;
    finder.SetCheckBoneScale(false);
    finder.Apply(*node);
    EXPECT_EQ(finder.NonUniformScaleAnimatedNodeArray().GetCount(), 1);
    // A zero or negative period still ends.
    finder.Reset();
    finder.SetSamplingPeriod(KTime(0));
    finder.Apply(*node);
    EXPECT_EQ(finder.NonUniformScaleAnimatedNodeArray().GetCount(), 1);
}

TEST_F(NodeTest, BadScaleCheckValueOrder)
{
    KQoxNodeFinderBadScale finder;
    double bone[] = {-1, -1, -1};
    EXPECT_EQ(finder.CheckValue(bone, 3), KQoxNodeFinderBadScale::eBONE_SCALE);
    finder.SetCheckBoneScale(false);
    EXPECT_EQ(finder.CheckValue(bone, 3), KQoxNodeFinderBadScale::eNEGATIVE_SCALE);
    EXPECT_EQ(finder.CheckValue(bone, 0), KQoxNodeFinderBadScale::eNO_PROBLEM);
    double mixed[] = {1, 1 + 1e-16, 1.5};
    EXPECT_EQ(finder.CheckValue(mixed, 2), KQoxNodeFinderBadScale::eNO_PROBLEM);
    EXPECT_EQ(finder.CheckValue(mixed, 3), KQoxNodeFinderBadScale::eNON_UNIFORM_SCALE);
}

TEST(KQoxTakeChannelNames, EffectiveNamesOfTheLocalTransform)
{
    EXPECT_STREQ(GetEffectivePropertyName("Lcl Translation"), "T");
    EXPECT_STREQ(GetEffectivePropertyName("Lcl Rotation"), "R");
    EXPECT_STREQ(GetEffectivePropertyName("Lcl Scaling"), "S");
    // Anything else, near misses included, is its own name.
    for (const char* name : {"", "L", "Lcl", "Lcl ", "Lcl Translation ", "lcl translation", "LCL Rotation", "Lcl Scale",
                             "Visibility", "T", "Translation"})
        EXPECT_EQ(GetEffectivePropertyName(name), name) << name;
    EXPECT_STREQ(GetEffectivePropertyName(KString("Lcl Scaling")).ToChars(), "S");
    EXPECT_STREQ(GetEffectivePropertyName(KString("Lcl Scalings")).ToChars(), "Lcl Scalings");
}
