// The compact layout of curves and nodes: the curve's callback list past its
// inline entry, the node's callback block held with the seldom-set members,
// candidate methods in the flag word, and many takes made and destroyed in
// any order.

#include "fcurve_test_util.h"

#include <vector>

#include "object/kpropertydatatype.h"

using namespace fctest;

namespace {

std::vector<int> gCalls;

template <int N>
void CurveListener(KFCurve*, KFCurveEvent*, void*)
{
    gCalls.push_back(N);
}

void NodeListener(KFCurveNode*, KFCurveNodeEvent* event, void* data)
{
    static_cast<std::vector<int>*>(data)->push_back(event->mEventType);
}

void OtherNodeListener(KFCurveNode*, KFCurveNodeEvent*, void* data)
{
    static_cast<std::vector<int>*>(data)->push_back(-1);
}

// A "T" node with X, Y and Z curves, as a take's translation channel.
KFCurveNode* MakeVector()
{
    KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    node->CreateFCurve();
    return node;
}

} // namespace

TEST(KFCurveCompact, CallbackListGrowsShrinksAndRegrowsInOrder)
{
    KFCurve c;
    gCalls.clear();
    c.CallbackRegister(CurveListener<1>, nullptr);
    c.SetValue(1.0f);
    EXPECT_EQ(gCalls, (std::vector<int>{1}));
    // Past the inline entry the list moves to the heap, keeping the order.
    c.CallbackRegister(CurveListener<2>, nullptr);
    c.CallbackRegister(CurveListener<3>, nullptr);
    c.CallbackRegister(CurveListener<4>, nullptr);
    c.CallbackRegister(CurveListener<5>, nullptr);
    gCalls.clear();
    c.SetValue(2.0f);
    EXPECT_EQ(gCalls, (std::vector<int>{1, 2, 3, 4, 5}));
    c.CallbackUnregister(CurveListener<1>, nullptr);
    c.CallbackUnregister(CurveListener<4>, nullptr);
    gCalls.clear();
    c.SetValue(3.0f);
    EXPECT_EQ(gCalls, (std::vector<int>{2, 3, 5}));
    // Emptied and filled again: the heap list is reused.
    c.CallbackUnregister(CurveListener<2>, nullptr);
    c.CallbackUnregister(CurveListener<3>, nullptr);
    c.CallbackUnregister(CurveListener<5>, nullptr);
    gCalls.clear();
    c.SetValue(4.0f);
    EXPECT_TRUE(gCalls.empty());
    c.CallbackRegister(CurveListener<6>, nullptr);
    c.CallbackRegister(CurveListener<7>, nullptr);
    c.SetValue(5.0f);
    EXPECT_EQ(gCalls, (std::vector<int>{6, 7}));
}

TEST(KFCurveCompact, CurvesWithOneOrManyCallbacksDestroyAlike)
{
    for (int listeners = 0; listeners <= 4; ++listeners)
    {
        gCalls.clear();
        KFCurve* c = KFCurveCreate();
        AddKey(*c, Sec(0), 1.0f);
        for (int i = 0; i < listeners; ++i)
            c->CallbackRegister(i % 2 ? CurveListener<1> : CurveListener<2>, reinterpret_cast<void*>(intptr_t(i)));
        c->Destroy();
        // Each listener hears the keys cleared and the destruction.
        EXPECT_EQ(gCalls.size(), static_cast<size_t>(listeners) * 2u) << listeners;
    }
}

TEST(KFCurveNodeCompact, CallbacksWithAndWithoutOtherSideMembers)
{
    for (int withLinks = 0; withLinks < 2; ++withLinks)
    {
        KFCurveNode* node = MakeVector();
        KFCurveNode* templateNode = MakeVector();
        if (withLinks)
        {
            node->TemplateSet(templateNode);
            node->UserLockAdd();
        }
        std::vector<int> seen;
        std::vector<int> other;
        EXPECT_TRUE(node->CallbackIsEnable());
        node->CallbackRegister(NodeListener, &seen);
        node->CallbackRegister(OtherNodeListener, &other);
        node->CallbackAddEvent(KFCURVENODEEVENT_FCURVE);
        EXPECT_EQ(seen, (std::vector<int>{KFCURVENODEEVENT_FCURVE}));
        EXPECT_EQ(other, (std::vector<int>{-1}));
        node->CallbackEnable(false);
        EXPECT_FALSE(node->CallbackIsEnable());
        node->CallbackAddEvent(KFCURVENODEEVENT_TIMEWARP);
        EXPECT_EQ(seen.size(), 1u);
        node->CallbackEnable(true);
        EXPECT_EQ(seen, (std::vector<int>{KFCURVENODEEVENT_FCURVE, KFCURVENODEEVENT_TIMEWARP}));
        // Unregistering every callback drops the block; the other members stay.
        node->CallbackUnregister(OtherNodeListener, &other);
        node->CallbackUnregister(NodeListener, &seen);
        EXPECT_TRUE(node->CallbackIsEnable());
        node->CallbackAddEvent(KFCURVENODEEVENT_FCURVE);
        EXPECT_EQ(seen.size(), 2u);
        EXPECT_EQ(node->TemplateGet(), withLinks ? templateNode : nullptr);
        EXPECT_EQ(node->GetUserLockCount(), withLinks);
        // A clone takes no callback.
        node->CallbackRegister(NodeListener, &seen);
        KFCurveNode* clone = node->Clone();
        clone->CallbackAddEvent(KFCURVENODEEVENT_FCURVE);
        EXPECT_EQ(seen.size(), 2u);
        clone->Destroy();
        node->Destroy();
        EXPECT_EQ(seen.back(), KFCURVENODEEVENT_DESTROY);
        templateNode->Destroy();
    }
}

TEST(KFCurveNodeCompact, CandidateMethodsBesideTheFlags)
{
    KFCurveNode* node = MakeVector();
    EXPECT_FALSE(node->IsCandidate());
    KFCurveNodeCandidateState fresh;
    node->GetCandidateState(fresh);
    EXPECT_EQ(fresh.mTotalCandidateMethod, KFCURVENODE_CANDIDATE_NONE);
    EXPECT_EQ(fresh.mSpecificCandidateMethod, KFCURVENODE_CANDIDATE_NONE);

    double values[3] = {1, 2, 3};
    node->CandidateSet(Sec(1), values);
    EXPECT_TRUE(node->IsCandidate());
    node->SetTakeType(0x10);
    node->SetIOType(0x01);
    // Flag edits leave the candidate alone, and the other way round.
    node->SetTakeType(0);
    node->SetExpended(false);
    EXPECT_TRUE(node->IsCandidate());
    EXPECT_EQ(node->GetIOType(), 0x01);
    EXPECT_EQ(node->GetTakeType(), 0);
    EXPECT_FALSE(node->IsExpended());

    // A node made from a template takes its candidate methods.
    KFCurveNode* made = KFCurveNodeCreate(node);
    EXPECT_TRUE(made->IsCandidate());
    KFCurveNodeCandidateState madeState;
    made->GetCandidateState(madeState);
    EXPECT_EQ(madeState.mTotalCandidateMethod, KFCURVENODE_CANDIDATE_SET);
    made->Destroy();

    KFCurveNodeCandidateState set;
    node->GetCandidateState(set);
    EXPECT_EQ(set.mTotalCandidateMethod, KFCURVENODE_CANDIDATE_SET);
    EXPECT_EQ(set.mSpecificCandidateMethod, KFCURVENODE_CANDIDATE_SET);
    node->CandidateClear();
    EXPECT_FALSE(node->IsCandidate());
    EXPECT_EQ(node->GetIOType(), 0x01);
    node->SetCandidateState(set);
    EXPECT_TRUE(node->IsCandidate());
    double back[3] = {};
    node->CandidateGet(back);
    EXPECT_EQ(back[0], 1.0);
    EXPECT_EQ(back[2], 3.0);

    // A state never filled holds 0 methods: restored, they read back as 0.
    KFCurveNodeCandidateState empty;
    node->SetCandidateState(empty);
    EXPECT_FALSE(node->IsCandidate());
    KFCurveNodeCandidateState again;
    node->GetCandidateState(again);
    EXPECT_EQ(again.mTotalCandidateMethod, 0);
    EXPECT_EQ(again.mSpecificCandidateMethod, 0);
    EXPECT_EQ(node->GetIOType(), 0x01);
    node->Destroy();
}

TEST(KFCurveNodeCompact, HundredThousandTakesInAnyDestroyOrder)
{
    const int kTakes = 100000;
    std::vector<KFCurveNode*> takes;
    takes.reserve(kTakes);
    for (int i = 0; i < kTakes; ++i)
    {
        KFCurveNode* root = KFCurveNodeCreate("Transform");
        KFCurveNode* t = MakeVector();
        root->Add(t);
        if (i % 3 == 0)
            AddKey(*t->Get(0)->FCurveGet(), Sec(i % 7), static_cast<float>(i));
        if (i % 5 == 0)
            t->Get(1)->FCurveGet()->SetValue(static_cast<float>(i));
        takes.push_back(root);
    }
    for (int i = 0; i < kTakes; i += 997)
    {
        KFCurveNode* t = takes[i]->Get(0);
        ASSERT_EQ(t->GetCount(), 3);
        EXPECT_EQ(t->Get(0)->FCurveGet()->KeyGetCount(), i % 3 == 0 ? 1 : 0);
        EXPECT_EQ(t->Get(1)->FCurveGet()->GetValue(), i % 5 == 0 ? static_cast<float>(i) : 0.0f);
    }
    for (int i = 0; i < kTakes; ++i)
    {
        KFCurveNode* root = takes[i];
        switch (i % 3)
        {
        case 0: // members first, then the vector, then the root
        {
            KFCurveNode* t = root->Get(0);
            t->Get(2)->Destroy();
            t->Get(0)->Destroy();
            t->Get(0)->Destroy();
            t->Destroy();
            root->Destroy();
            break;
        }
        case 1: // the vector first
            root->Get(0)->Destroy();
            root->Destroy();
            break;
        default: // the root takes the whole tree
            root->Destroy();
            break;
        }
    }
}
