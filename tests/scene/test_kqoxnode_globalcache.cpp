// Global matrices checked against their inputs: what a forced call brings up
// to date, what stays stale until forced, and deep chains.

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "node_test_util.h"
#include "scene/kqoxtakenode.h"

using namespace nodetest;

// A forced call on one node brings the whole tree up to date, siblings and
// cousins included; without it every cache stays as computed.
TEST_F(NodeTest, ForcedCallRefreshesTheWholeTree)
{
    KQoxNode* a = Node("A");
    KQoxNode* b1 = Node("B1");
    KQoxNode* b = Tree("B", {b1});
    KQoxNode* root = Tree("R", {a, b});
    b1->SetDefaultT(KQoxVector4(0, 1, 0, 0));
    ExpectVector(b1->GetGlobalT(eSOURCE_SET), 0, 1, 0, 0);
    ExpectVector(a->GetGlobalT(eSOURCE_SET), 0, 0, 0, 0);

    root->SetDefaultT(KQoxVector4(10, 0, 0, 0));
    b1->SetDefaultR(KQoxVector4(0, 0, 90, 0));
    b->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    b->SetRotationPivot(eSOURCE_SET, KQoxVector4(0, 0, 3, 1));
    ExpectVector(b1->GetGlobalT(eSOURCE_SET), 0, 1, 0, 0);
    ExpectVector(b->GetGlobalT(eSOURCE_SET), 0, 0, 0, 0);

    ExpectVector(a->GetGlobalT(eSOURCE_SET, true), 10, 0, 0, 0);
    // B's origin moved to its pivot; B1 takes the pivot back.
    ExpectVector(b->GetGlobalT(eSOURCE_SET), 10, 0, 3, 0);
    ExpectVector(b1->GetGlobalT(eSOURCE_SET), 10, 1, 0, 0);
    ExpectVector(b1->GetGlobalR(eSOURCE_SET), 0, 0, 90, 0);

    // Forcing one tree leaves another tree's caches as they were.
    KQoxNode* other = Node("Other");
    other->SetDefaultT(KQoxVector4(1, 0, 0, 0));
    ExpectVector(other->GetGlobalT(eSOURCE_SET), 1, 0, 0, 0);
    other->SetDefaultT(KQoxVector4(2, 0, 0, 0));
    a->GetGlobalMatrix(eSOURCE_SET, true);
    ExpectVector(other->GetGlobalT(eSOURCE_SET), 1, 0, 0, 0);

    // A moved subtree is seen once forced; the other set is untouched.
    a->AddChild(b);
    ExpectVector(b1->GetGlobalT(eSOURCE_SET, false), 10, 1, 0, 0);
    a->SetDefaultT(KQoxVector4(0, 0, 5, 0));
    ExpectVector(b1->GetGlobalT(eSOURCE_SET, true), 10, 1, 5, 0);
    ExpectVector(b1->GetGlobalT(eDESTINATION_SET), 10, 1, 5, 0);

    // Explicit recomputation of a subtree, and a reset cache recomputed
    // when read.
    b1->SetDefaultT(KQoxVector4(0, 2, 0, 0));
    b->ComputeGlobalMatrix(eSOURCE_SET);
    ExpectVector(b1->GetGlobalT(eSOURCE_SET), 10, 2, 5, 0);
    b1->SetDefaultT(KQoxVector4(0, 4, 0, 0));
    b1->Reset();
    ExpectVector(b1->GetGlobalT(eSOURCE_SET), 10, 4, 5, 0);
}

// A chain far deeper than any call stack allows for recursion: each node
// one unit further; forcing the leaf, then reading a middle node unforced.
TEST_F(NodeTest, DeepChainGlobalMatrices)
{
    const int depth = 20000;
    std::vector<KQoxNode*> chain;
    chain.push_back(Node("J0"));
    for (int i = 1; i < depth; ++i)
    {
        chain.push_back(Node(("J" + std::to_string(i)).c_str()));
        chain[i - 1]->AddChild(chain[i]);
    }
    for (KQoxNode* n : chain)
        n->SetDefaultT(KQoxVector4(1, 0, 0, 0));
    ExpectVector(chain.back()->GetGlobalT(eSOURCE_SET, true), depth, 0, 0, 0);
    chain[0]->SetDefaultT(KQoxVector4(1, 5, 0, 0));
    ExpectVector(chain.back()->GetGlobalT(eSOURCE_SET, true), depth, 5, 0, 0);
    ExpectVector(chain[depth / 2]->GetGlobalT(eSOURCE_SET), depth / 2 + 1, 5, 0, 0);
    chain[0]->SetDefaultT(KQoxVector4(1, 0, 7, 0));
    chain[0]->ComputeGlobalMatrix(eSOURCE_SET);
    ExpectVector(chain.back()->GetGlobalT(eSOURCE_SET), depth, 0, 7, 0);
}

// Take matrices: plain scaling-rotation-translation from the curves, cached
// per node (and per time for the current take) until the take is switched.
TEST_F(NodeTest, TakeMatricesCachedUntilTheTakeSwitches)
{
    KQoxNode* child = Node("C");
    KQoxNode* parent = Tree("P", {child});
    parent->SetDefaultT(KQoxVector4(7, 0, 0, 0));
    child->SetDefaultT(KQoxVector4(0, 2, 0, 0));
    child->SetDefaultR(KQoxVector4(0, 0, 90, 0));
    child->SetDefaultS(KQoxVector4(2, 1, 1, 0));
    // Pivots take no part in take matrices.
    parent->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    parent->SetRotationPivot(eSOURCE_SET, KQoxVector4(9, 9, 9, 1));
    const KQoxXMatrix& local = child->GetLocalFromDefaultTake();
    ExpectVector(local.GetRow(0), 0, 2, 0, 0, 1e-12);
    ExpectVector(local.GetRow(1), -1, 0, 0, 0, 1e-12);
    ExpectVector(local.GetRow(3), 0, 2, 0, 1);
    ExpectVector(child->GetGlobalFromDefaultTake().GetRow(3), 7, 2, 0, 1);
    parent->SetDefaultT(KQoxVector4(8, 0, 0, 0));
    ExpectVector(child->GetGlobalFromDefaultTake().GetRow(3), 7, 2, 0, 1);

    KQoxTakeNode* take = parent->CreateTakeNode("Take 001");
    child->CreateTakeNode("Take 001");
    KFCurve* x = take->GetTranslationX();
    x->KeySet(x->KeyAdd(KTime(0)), KTime(0), 1.0f, KFCURVE_INTERPOLATION_LINEAR);
    x->KeySet(x->KeyAdd(KTime(1000)), KTime(1000), 3.0f, KFCURVE_INTERPOLATION_LINEAR);
    for (KQoxNode* n : {parent, child})
        ASSERT_TRUE(n->SetCurrentTakeNode("Take 001"));
    // The child's take copies its Default take: rotated, scaled, at (0, 2, 0).
    ExpectVector(child->GetGlobalFromCurrentTake(KTime(500)).GetRow(3), 2, 2, 0, 1);
    ExpectVector(child->GetGlobalFromCurrentTake(KTime(500)).GetRow(0), 0, 2, 0, 0, 1e-12);
    // Same time, changed key: cached; another time: evaluated again.
    x->KeySetValue(1, 5.0f);
    ExpectVector(parent->GetLocalFromCurrentTake(KTime(500)).GetRow(3), 2, 0, 0, 1);
    ExpectVector(child->GetGlobalFromCurrentTake(KTime(500)).GetRow(3), 2, 2, 0, 1);
    ExpectVector(child->GetGlobalFromCurrentTake(KTime(1000)).GetRow(3), 5, 2, 0, 1);
    // A take switch drops the caches.
    for (KQoxNode* n : {parent, child})
        n->SetCurrentTakeNode("Take 001");
    ExpectVector(child->GetGlobalFromCurrentTake(KTime(500)).GetRow(3), 3, 2, 0, 1);
    ExpectVector(child->GetGlobalFromDefaultTake().GetRow(3), 8, 2, 0, 1);
}

// Not-a-number and extreme inputs give matrices that carry them, and a
// later change back to plain values is seen when forced.
TEST_F(NodeTest, GlobalMatricesOfExtremeInputs)
{
    KQoxNode* child = Node("C");
    KQoxNode* root = Tree("R", {child});
    root->SetDefaultT(KQoxVector4(DBL_MAX, -DBL_MAX, 4.9e-324, 0));
    EXPECT_EQ(root->GetGlobalT(eSOURCE_SET, true)[0], DBL_MAX);
    EXPECT_EQ(root->GetGlobalT(eSOURCE_SET)[2], 4.9e-324);
    root->SetDefaultR(KQoxVector4(std::nan(""), 0, 0, 0));
    EXPECT_TRUE(std::isnan(child->GetGlobalMatrix(eSOURCE_SET, true).Get(1, 1)));
    root->SetDefaultR(KQoxVector4(0, 0, 0, 0));
    root->SetDefaultT(KQoxVector4(1, 2, 3, 0));
    ExpectVector(child->GetGlobalT(eSOURCE_SET, true), 1, 2, 3, 0);
    ExpectVector(child->GetGlobalR(eSOURCE_SET), 0, 0, 0, 0);
}
