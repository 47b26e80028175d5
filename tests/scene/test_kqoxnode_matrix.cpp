// Global matrices per pivot set, take matrices and states, and the two
// composition rules, checked against matrices worked out by hand.

#include <cmath>

#include "fcurve/kfcurve.h"
#include "node_test_util.h"
#include "scene/kqoxpath.h"
#include "scene/kqoxtakenode.h"

using namespace nodetest;

namespace {

void ExpectRows(const KQoxXMatrix& m, std::initializer_list<std::initializer_list<double>> rows,
                double tolerance = 1e-9)
{
    int r = 0;
    for (const auto& row : rows)
    {
        int c = 0;
        for (double value : row)
        {
            EXPECT_NEAR(m.Get(r, c), value, tolerance) << "row " << r << " column " << c;
            ++c;
        }
        ++r;
    }
}

KQoxXMatrix Rows(std::initializer_list<std::initializer_list<double>> rows)
{
    KQoxXMatrix m;
    int r = 0;
    for (const auto& row : rows)
    {
        int c = 0;
        for (double value : row)
            static_cast<KRow4*>(m)[r][c++] = value;
        ++r;
    }
    return m;
}

double Dot(const KQoxXMatrix& m, int a, int b)
{
    return m.Get(a, 0) * m.Get(b, 0) + m.Get(a, 1) * m.Get(b, 1) + m.Get(a, 2) * m.Get(b, 2);
}

} // namespace

TEST_F(NodeTest, GlobalMatrixOfARootAndItsCache)
{
    KQoxNode* node = Node("N");
    node->SetDefaultT(KQoxVector4(1, 2, 3, 0));
    node->SetDefaultR(KQoxVector4(0, 0, 90, 0));
    ExpectRows(node->GetGlobalMatrix(eSOURCE_SET), {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1}});
    // A changed default is seen only when forced.
    node->SetDefaultT(KQoxVector4(4, 5, 6, 0));
    ExpectVector(node->GetGlobalT(eSOURCE_SET, false), 1, 2, 3, 0);
    ExpectVector(node->GetGlobalT(eSOURCE_SET, true), 4, 5, 6, 0);
    ExpectVector(node->GetGlobalR(eSOURCE_SET), 0, 0, 90, 0);
    // Pivots count only in an active set.
    node->SetRotationPivot(eSOURCE_SET, KQoxVector4(0, 5, 0, 1));
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, -90, 1));
    ExpectVector(node->GetGlobalT(eSOURCE_SET, true), 4, 5, 6, 0);
    ExpectVector(node->GetGlobalR(eSOURCE_SET), 0, 0, 90, 0);
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    ExpectVector(node->GetGlobalT(eSOURCE_SET, true), 4, 10, 6, 0);
    ExpectVector(node->GetGlobalR(eSOURCE_SET), 0, 0, 0, 0, 1e-9);
    // The destination set has its own cache.
    ExpectVector(node->GetGlobalT(eDESTINATION_SET, true), 4, 5, 6, 0);
}

TEST_F(NodeTest, ChildGlobalMatrixMakesUpForTheParentPivot)
{
    KQoxNode* child = Node("C");
    KQoxNode* parent = Tree("P", {child});
    parent->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    parent->SetRotationPivot(eSOURCE_SET, KQoxVector4(2, 0, 0, 1));
    child->SetDefaultT(KQoxVector4(3, 0, 0, 0));
    // Parent's origin sits at its pivot (2, 0, 0); the child takes it back.
    ExpectVector(child->GetGlobalT(eSOURCE_SET, true), 3, 0, 0, 0);
    // With the parent's post-rotation the pivot is taken back through it.
    parent->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 0, 90, 1));
    // Parent global: rotation 90 about Z, translation (2, 0, 0); the child's
    // t = (3, 0, 0) - (2, 0, 0) . Rz(90)^T = (3, 2, 0), then through the parent.
    ExpectVector(child->GetGlobalT(eSOURCE_SET, true), 0, 3, 0, 0);
    // Forcing a child recomputes the whole tree from its root.
    parent->SetDefaultT(KQoxVector4(0, 0, 10, 0));
    child->GetGlobalMatrix(eSOURCE_SET, true);
    ExpectVector(parent->GetGlobalT(eSOURCE_SET, false), 2, 0, 10, 0);
}

TEST_F(NodeTest, GlobalScalingAndRotationOfAMirroredNode)
{
    KQoxNode* node = Node("N");
    node->SetDefaultS(KQoxVector4(1, 1, -1, 0));
    ExpectVector(node->GetGlobalS(eSOURCE_SET, true), -1, -1, -1, 0);
    KQoxVector4 r = node->GetGlobalR(eSOURCE_SET);
    EXPECT_NEAR(std::fabs(r[2]), 180.0, 1e-9);
    EXPECT_NEAR(r[0], 0.0, 1e-9);
    EXPECT_NEAR(r[1], 0.0, 1e-9);
    // A zero scaling gives a degenerate matrix, not a crash.
    node->SetDefaultS(KQoxVector4(0, 0, 0, 0));
    ExpectVector(node->GetGlobalS(eSOURCE_SET, true), -0.0, -0.0, -0.0, 0);
    node->GetGlobalR(eSOURCE_SET);
}

TEST_F(NodeTest, CompositionRules)
{
    KQoxNode* any = Node("Any");
    KQoxXMatrix parent = Rows({{0, 2, 0}, {-1, 0, 0}, {0, 0, 1}, {10, 20, 30}});
    KQoxXMatrix local = Rows({{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {1, 0, 0}});
    KQoxXMatrix plain, tolvane;
    any->ComputeGlobalMatrixQoxStyle(plain, parent, local);
    ExpectRows(plain, {{-1, 0, 0}, {0, -2, 0}, {0, 0, 1}, {10, 22, 30}});
    any->ComputeGlobalMatrixTolvaneStyle(tolvane, parent, local);
    ExpectRows(tolvane, {{-2, 0, 0}, {0, -1, 0}, {0, 0, 1}, {10, 22, 30}});
    // Back again: both rules return the starting local matrix here.
    KQoxXMatrix back;
    any->ComputeLocalMatrixQoxStyle(back, parent, plain);
    ExpectRows(back, {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {1, 0, 0}});
    any->ComputeLocalMatrixTolvaneStyle(back, parent, tolvane);
    ExpectRows(back, {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {1, 0, 0}});
    // The output may be the parent itself under the plain rule.
    KQoxXMatrix same = parent;
    any->ComputeGlobalMatrixQoxStyle(same, same, local);
    ExpectRows(same, {{-1, 0, 0}, {0, -2, 0}, {0, 0, 1}, {10, 22, 30}});

    // Non-uniform parent turned 30 degrees, child turned 45 about X: the
    // plain global shears, the other keeps orthogonal rows of lengths 2, 3, 1.
    KQoxXMatrix scaled(KQoxVector4(0, 0, 0, 0), KQoxVector4(0, 0, 30, 0), KQoxVector4(2, 3, 1, 0));
    KQoxXMatrix turned(KQoxVector4(0, 0, 0, 0), KQoxVector4(45, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    any->ComputeGlobalMatrixQoxStyle(plain, scaled, turned);
    EXPECT_GT(std::fabs(Dot(plain, 1, 2)), 1e-3);
    any->ComputeGlobalMatrixTolvaneStyle(tolvane, scaled, turned);
    EXPECT_NEAR(Dot(tolvane, 0, 1), 0.0, 1e-9);
    EXPECT_NEAR(Dot(tolvane, 1, 2), 0.0, 1e-9);
    EXPECT_NEAR(std::sqrt(Dot(tolvane, 1, 1)), 3.0, 1e-9);
    // Both mirrored: the local scaling comes out positive.
    KQoxXMatrix mirrored(KQoxVector4(0, 0, 0, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(1, 1, -1, 0));
    KQoxXMatrix mirroredChild(KQoxVector4(0, 0, 0, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(-2, 1, 1, 0));
    any->ComputeLocalMatrixTolvaneStyle(back, mirrored, mirroredChild);
    ExpectVector(back.GetS(), 2, 1, 1, 0);
}

TEST_F(NodeTest, StatesComputeOncePerPass)
{
    KQoxNode* child = Node("C");
    KQoxNode* sibling = Node("S");
    KQoxNode* root = Tree("R", {child, sibling});
    root->SetDefaultT(KQoxVector4(1, 0, 0, 0));
    child->SetDefaultT(KQoxVector4(0, 2, 0, 0));
    root->SetLocalStateFromDefaultTake(true);
    EXPECT_EQ(root->GetGlobalStateId(), 0xFFFFFFFFu);
    // A child alone brings its parent chain to the same id, not the sibling.
    child->ComputeGlobalState(1, false);
    ExpectVector(child->GetGlobalState().GetT(), 1, 2, 0, 0);
    EXPECT_EQ(root->GetGlobalStateId(), 1u);
    EXPECT_EQ(sibling->GetGlobalStateId(), 0xFFFFFFFFu);
    // The same id does nothing, even after the local states changed.
    root->SetLocalState(KQoxXMatrix(KQoxVector4(5, 0, 0, 0), KQoxVector4(), KQoxVector4(1, 1, 1, 0)));
    root->ComputeGlobalState(1, true);
    ExpectVector(child->GetGlobalState().GetT(), 1, 2, 0, 0);
    EXPECT_EQ(sibling->GetGlobalStateId(), 0xFFFFFFFFu);
    root->ComputeGlobalState(2, true);
    ExpectVector(child->GetGlobalState().GetT(), 5, 2, 0, 0);
    EXPECT_EQ(sibling->GetGlobalStateId(), 2u);
    // Local states from global ones; the parent's is used as stored.
    child->SetGlobalState(KQoxXMatrix(KQoxVector4(5, 7, 0, 0), KQoxVector4(), KQoxVector4(1, 1, 1, 0)));
    child->ComputeLocalState(3, false);
    ExpectVector(child->GetLocalState().GetT(), 0, 7, 0, 0);
    child->ComputeLocalState(3, false);
    root->SetLocalStateId(9, true);
    EXPECT_EQ(sibling->GetLocalStateId(), 9u);
    // Written back into the Default take's static values.
    child->SetDefaultTakeFromLocalState(false);
    KQoxVector4 t;
    ExpectVector(child->GetDefaultT(t), 0, 7, 0, 0);
}

TEST_F(NodeTest, StatesWrittenAsKeysOfTheCurrentTake)
{
    KQoxNode* node = Node("N");
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    node->SetLocalState(KQoxXMatrix(KQoxVector4(0.1, 2, 3, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(1, 1, 1, 0)));
    // In the Default take: static values, no keys, single precision.
    node->SetCurrentTakeFromLocalState(KTime(100), false);
    EXPECT_EQ(node->GetDefaultTakeNode()->GetTranslationX()->GetValue(), 0.1f);
    EXPECT_EQ(node->GetDefaultTakeNode()->GetTranslationX()->KeyGetCount(), 0);
    node->SetCurrentTakeNode("Take 001");
    node->SetCurrentTakeFromLocalState(KTime(100), false);
    for (KFCurve* curve : {take->GetTranslationX(), take->GetEulerRotationZ(), take->GetScaleY()})
        ASSERT_EQ(curve->KeyGetCount(), 1);
    EXPECT_EQ(take->GetTranslationX()->KeyGetValue(0), 0.1f);
    EXPECT_EQ(take->GetTranslationX()->KeyGetTime(0), KTime(100));
    EXPECT_EQ(take->GetScaleY()->KeyGetValue(0), 1.0f);
    // Reading the current take at a time, or the default take when current.
    node->SetLocalStateFromCurrentTake(KTime(100), false);
    EXPECT_NEAR(node->GetLocalState().Get(3, 0), 0.1, 1e-7);
    node->SetCurrentTakeNode(0);
    node->SetLocalStateFromCurrentTake(KTime(100), false);
    EXPECT_NEAR(node->GetLocalState().Get(3, 0), 0.1, 1e-7);
}

TEST_F(NodeTest, PathsRecordChildIndices)
{
    KQoxNode* target = Node("Target");
    KQoxNode* middle = Tree("Middle", {Node("M0"), Node("M1"), target});
    KQoxNode* root = Tree("Root", {Node("R0"), middle});
    KQoxPath path(target);
    EXPECT_EQ(path.GetNode(), target);
    EXPECT_EQ(path.GetRootNode(), root);
    ASSERT_EQ(path.GetParentCount(), 2);
    EXPECT_EQ(path.GetParentNode(0), root);
    EXPECT_EQ(path.GetParentNode(-3), root);
    EXPECT_EQ(path[1], middle);
    EXPECT_EQ(path[2], target);
    EXPECT_EQ(path.GetParentNode(9), target);
    EXPECT_STREQ(path.GetParentNodeName(1), "Model::Middle");

    // The same indices in another tree compare equal.
    KQoxNode* otherTarget = Node("Other");
    Tree("Root2", {Node("A"), Tree("B", {Node("B0"), Node("B1"), otherTarget})});
    KQoxPath other(otherTarget);
    EXPECT_TRUE(path == other);
    KQoxPath copy(path);
    EXPECT_TRUE(copy == path);
    copy.Set(middle);
    EXPECT_EQ(copy.GetParentCount(), 1);
    EXPECT_FALSE(copy == path);
    copy = other;
    EXPECT_EQ(copy.GetRootNode(), other.GetRootNode());

    KQoxPath single(root);
    EXPECT_EQ(single.GetParentCount(), 0);
    EXPECT_EQ(single.GetNode(), single.GetRootNode());
    KQoxPath empty;
    EXPECT_EQ(empty.GetParentNode(0), nullptr);
    EXPECT_EQ(empty.GetParentNodeName(0), nullptr);
    // A tree changed since: the replay stops at a missing child.
    middle->RemoveChild(target);
    EXPECT_EQ(path.GetParentNode(2), nullptr);
}
