// A node's take channel tree is laid in one block: its members still end on
// their own, outlive the take and the node, move between nodes, and take
// copies hold what the take holds.

#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvenode.h"
#include "node_test_util.h"
#include "scene/kqoxtakenode.h"

using namespace nodetest;
using kfcurve_detail::IsGroupMember;
using kfcurve_detail::SameGroup;

namespace {

const long long kSecond = qoxtest::kTicksPerSecond;

void KeyLinear(KFCurve* curve, float value0, float value1)
{
    int i = curve->KeyAdd(KTime(0));
    curve->KeySet(i, KTime(0), value0, KFCURVE_INTERPOLATION_LINEAR);
    i = curve->KeyAdd(KTime(kSecond));
    curve->KeySet(i, KTime(kSecond), value1, KFCURVE_INTERPOLATION_LINEAR);
}

// The ten curves of a take's "Transform" and "Visibility" channels.
std::vector<KFCurve*> Curves(KQoxTakeNode* take)
{
    return {take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(), take->GetEulerRotationX(),
            take->GetEulerRotationY(), take->GetEulerRotationZ(), take->GetScaleX(),       take->GetScaleY(),
            take->GetScaleZ(),         take->GetVisibility()};
}

// name, value and keys of each node of a channel tree, depth first.
void ListTree(KFCurveNode* node, std::string& out)
{
    out += node->GetName();
    if (KFCurve* curve = node->FCurveGet())
    {
        out += "=" + std::to_string(curve->GetValue());
        for (int k = 0; k < curve->KeyGetCount(); ++k)
            out += "," + std::to_string(curve->KeyGetTime(k).Get()) + ":" + std::to_string(curve->KeyGetValue(k));
    }
    out += "(";
    for (int i = 0; i < node->GetCount(); ++i)
        ListTree(node->Get(i), out);
    out += ")";
}

std::string ListTake(KQoxTakeNode* take)
{
    std::string out;
    ListTree(take->GetKFCurveNode(), out);
    return out;
}

} // namespace

TEST_F(NodeTest, TakeChannelsShareOneBlock)
{
    KQoxNode* node = Node("A");
    node->SetDefaultT(KQoxVector4(1, 2, 3, 0));
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    ASSERT_NE(take, nullptr);
    const std::vector<KFCurve*> curves = Curves(take);
    for (KFCurve* curve : curves)
    {
        ASSERT_NE(curve, nullptr);
        EXPECT_TRUE(SameGroup(curves[0], curve));
    }
    KFCurveNode* root = take->GetKFCurveNode();
    EXPECT_TRUE(SameGroup(curves[0], root->Get(0)));
    EXPECT_EQ(take->GetTranslationY()->GetValue(), 2.0f);
    EXPECT_EQ(take->GetScaleZ()->GetValue(), 1.0f);
    EXPECT_EQ(take->GetVisibility()->GetValue(), 1.0f);
    EXPECT_EQ(ListTake(take), ListTake(node->GetDefaultTakeNode()));
}

TEST_F(NodeTest, ATakeCurveOutlivesItsTakeAndNode)
{
    KQoxNode* node = Node("A");
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    KFCurve* curve = take->GetTranslationX();
    KeyLinear(curve, 3.0f, 5.0f);
    // The curve leaves its member; the member "T" leaves "Transform".
    KFCurveNode* transform = take->GetKFCurveNode()->Get(0);
    KFCurveNode* x = transform->Get(0)->Get(0);
    ASSERT_EQ(x->FCurveGet(), curve);
    x->FCurveSet(nullptr);
    KFCurveNode* rotation = transform->Get(1);
    transform->Remove(1);
    EXPECT_TRUE(node->RemoveTakeNode("Take 001"));
    EXPECT_TRUE(mManager->DestroyKQoxNode(node, false));

    EXPECT_FLOAT_EQ(curve->Evaluate(KTime(kSecond / 2)), 4.0f);
    ASSERT_EQ(rotation->GetCount(), 3);
    EXPECT_STREQ(rotation->Get(2)->GetName(), "Z");
    EXPECT_EQ(rotation->Get(2)->FCurveGet()->GetValue(), 0.0f);
    curve->Destroy();
    rotation->Destroy();
}

TEST_F(NodeTest, ATakeCurveMovesToAnotherNode)
{
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    KQoxTakeNode* takeA = a->CreateTakeNode("Take 001");
    KQoxTakeNode* takeB = b->CreateTakeNode("Take 001");
    KeyLinear(takeA->GetScaleY(), 2.0f, 4.0f);
    // A's scale Y curve replaces B's, which ends; A's "Visibility" node
    // goes under B's root.
    KFCurveNode* scaleY = takeA->GetKFCurveNode()->FindRecursive("S")->Get(1);
    KFCurve* moved = scaleY->FCurveSet(nullptr);
    takeB->GetKFCurveNode()->FindRecursive("S")->Get(1)->FCurveSet(moved, true);
    KFCurveNode* rootA = takeA->GetKFCurveNode();
    KFCurveNode* visibility = rootA->Get(1);
    rootA->Remove(1);
    takeB->GetKFCurveNode()->Add(visibility);
    EXPECT_TRUE(mManager->DestroyKQoxNode(a, false));

    EXPECT_EQ(takeB->GetScaleY(), moved);
    EXPECT_FLOAT_EQ(takeB->GetScaleY()->Evaluate(KTime(kSecond / 2)), 3.0f);
    ASSERT_EQ(takeB->GetKFCurveNode()->GetCount(), 3);
    EXPECT_EQ(takeB->GetKFCurveNode()->Get(2)->GetParent(), takeB->GetKFCurveNode());
    EXPECT_TRUE(b->RemoveTakeNode("Take 001"));
}

TEST_F(NodeTest, TakeCopiesHoldWhatTheTakeHolds)
{
    KQoxNode* node = Node("A");
    node->SetDefaultT(KQoxVector4(4, 5, 6, 0));
    KQoxTakeNode* first = node->CreateTakeNode("Take 001");
    KeyLinear(first->GetEulerRotationZ(), 10.0f, 20.0f);
    // A copy of a take node, made by its copy constructor.
    KQoxTakeNode copy(*first);
    EXPECT_EQ(ListTake(&copy), ListTake(first));
    const std::vector<KFCurve*> curves = Curves(&copy);
    EXPECT_TRUE(IsGroupMember(copy.GetKFCurveNode()));
    for (KFCurve* curve : curves)
        EXPECT_TRUE(SameGroup(copy.GetKFCurveNode(), curve));

    // Takes made as copies of the Default take, and a node copied whole.
    node->GetDefaultTakeNode()->GetTranslationZ()->SetValue(7.0f);
    KQoxTakeNode* second = node->CreateTakeNode("Take 002");
    EXPECT_EQ(ListTake(second), ListTake(node->GetDefaultTakeNode()));
    EXPECT_EQ(second->GetTranslationZ()->GetValue(), 7.0f);
    KQoxNode* other = Node("B");
    *other = *node;
    ASSERT_EQ(other->GetTakeNodeCount(), node->GetTakeNodeCount());
    for (int i = 0; i < node->GetTakeNodeCount(); ++i)
        EXPECT_EQ(ListTake(other->GetTakeNode(i)), ListTake(node->GetTakeNode(i))) << i;
    // The source ends first; the copies stay whole.
    const std::string expected = ListTake(other->GetTakeNode(1));
    EXPECT_TRUE(mManager->DestroyKQoxNode(node, false));
    EXPECT_EQ(ListTake(other->GetTakeNode(1)), expected);
    EXPECT_FLOAT_EQ(other->GetTakeNode(1)->GetEulerRotationZ()->Evaluate(KTime(kSecond / 2)), 15.0f);
}

TEST_F(NodeTest, AHundredThousandTakesBuiltAndDestroyed)
{
    const int count = 100000;
    std::vector<KQoxNode*> nodes;
    nodes.reserve(count);
    for (int n = 0; n < count; ++n)
    {
        KQoxNode* node = Node(("N" + std::to_string(n)).c_str());
        KFCurve* curve = node->CreateTakeNode("Take 001")->GetTranslationX();
        curve->KeyModifyBegin();
        for (int k = 0; k < 4; ++k)
            curve->KeyAppendFast(KTime(k * kSecond), static_cast<float>(n % 17 + k));
        curve->KeyModifyEnd();
        nodes.push_back(node);
    }
    for (int n = 0; n < count; n += 9973)
    {
        KQoxTakeNode* take = nodes[static_cast<size_t>(n)]->GetTakeNode(1);
        ASSERT_NE(take, nullptr);
        EXPECT_EQ(take->GetTranslationX()->KeyGetValue(3), static_cast<float>(n % 17 + 3)) << n;
        EXPECT_TRUE(SameGroup(take->GetTranslationX(), take->GetVisibility())) << n;
    }
    // Every other node first, then the manager with the rest.
    for (int n = 0; n < count; n += 2)
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[static_cast<size_t>(n)], false));
    EXPECT_EQ(nodes[1]->GetTakeNode(1)->GetTranslationX()->KeyGetValue(0), 1.0f);
    mManager.reset();
}
