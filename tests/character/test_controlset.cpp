// Control set: link, effector and auxiliary slots against real nodes, their
// records on the nodes, Reset, destruction in either order, and the names.
#include <gtest/gtest.h>

#include <vector>

#include "character_test_util.h"

using namespace chartest;

namespace {

KQoxControlSetLink Link(KQoxNode* node, const char* templateName = "")
{
    KQoxControlSetLink link;
    link.mNode = node;
    link.mTemplateName = templateName;
    return link;
}

KQoxEffector Effector(KQoxNode* node, bool t, bool r)
{
    KQoxEffector effector;
    effector.mNode = node;
    effector.mTActive = t;
    effector.mRActive = r;
    return effector;
}

void ExpectFlags(const KQoxEffector& e, bool show, bool t, bool r, bool ct, bool cr, int id)
{
    EXPECT_EQ(e.mShow, show) << id;
    EXPECT_EQ(e.mTActive, t) << id;
    EXPECT_EQ(e.mRActive, r) << id;
    EXPECT_EQ(e.mCandidateTActive, ct) << id;
    EXPECT_EQ(e.mCandidateRActive, cr) << id;
}

// Hips translate and rotate, ankles do everything, wrists translate, the
// rest only show; no node anywhere.
void ExpectDefaultEffectors(const KQoxControlSet& set)
{
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxEffector e;
        e.mShow = false;
        ASSERT_TRUE(set.GetEffectorSlot(static_cast<EEffectorNodeId>(id), &e));
        EXPECT_EQ(e.mNode, nullptr);
        const bool hips = id == eHipsEffector;
        const bool ankle = id == eLeftAnkleEffector || id == eRightAnkleEffector;
        const bool wrist = id == eLeftWristEffector || id == eRightWristEffector;
        ExpectFlags(e, true, hips || ankle || wrist, hips || ankle, ankle || wrist, ankle, id);
    }
}

} // namespace

TEST_F(ControlSetTest, NewSetAndEffectorDefaults)
{
    auto set = MakeControlSet();
    KQoxNode* node = Node("N");
    EXPECT_EQ(set->GetType(), KQoxControlSet::eDefaultType);
    EXPECT_FALSE(set->GetUseAxis());
    EXPECT_FALSE(set->GetLockTransform());
    EXPECT_FALSE(set->GetLock3DPick());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
        EXPECT_FALSE(set->GetControlSetLink(static_cast<ECharacterNodeId>(id), nullptr));
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        EXPECT_FALSE(set->GetEffector(static_cast<EEffectorNodeId>(id), nullptr)) << id;
        for (int s = eFirstEffectorSet; s <= eLastEffectorSet; ++s)
            EXPECT_FALSE(
                set->GetEffectorAux(static_cast<EEffectorNodeId>(id), nullptr, static_cast<EEffectorSetId>(s)));
    }
    ExpectDefaultEffectors(*set);
    // A fresh effector: show only.
    KQoxEffector fresh;
    ExpectFlags(fresh, true, false, false, false, false, -1);
    EXPECT_EQ(fresh.mNode, nullptr);
    EXPECT_EQ(Records(node, *set), 0);
}

TEST_F(ControlSetTest, LinkSlotsKeepOneRecordPerFilledSlot)
{
    auto set = MakeControlSet();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, Link(a, "HipsTemplate")));
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, Link(a))); // same node again
    EXPECT_EQ(Records(a, *set, eCharacterLinkTypeControlSet), 1);
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, Link(b)));
    EXPECT_EQ(Records(a, *set), 0);
    EXPECT_EQ(Records(b, *set), 1);
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHead, Link(b)));
    EXPECT_EQ(Records(b, *set), 2);

    // A template name without a node counts as set and records nothing.
    ASSERT_TRUE(set->SetControlSetLink(eCharacterSpine, Link(nullptr, "SpineTemplate")));
    KQoxControlSetLink out;
    ASSERT_TRUE(set->GetControlSetLink(eCharacterSpine, &out));
    EXPECT_EQ(out.mNode, nullptr);
    EXPECT_EQ(out.mTemplateName.Compare("SpineTemplate"), 0);

    // An empty link clears the slot and its record.
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, KQoxControlSetLink()));
    EXPECT_FALSE(set->GetControlSetLink(eCharacterHips, &out));
    EXPECT_EQ(Records(b, *set), 1);

    // Ids outside 0..190 (negative ones too) change nothing.
    for (int id : {191, -1, 1 << 30})
    {
        EXPECT_FALSE(set->SetControlSetLink(static_cast<ECharacterNodeId>(id), Link(a))) << id;
        EXPECT_FALSE(set->GetControlSetLink(static_cast<ECharacterNodeId>(id), &out)) << id;
    }
    EXPECT_TRUE(set->SetControlSetLink(eCharacterLastNodeId, Link(a)));
    EXPECT_EQ(Records(a, *set), 1);

    // Reset removes every record and the template names.
    set->SetUseAxis(true);
    set->SetLockTransform(true);
    set->SetLock3DPick(true);
    set->SetType(static_cast<KQoxControlSet::EType>(-77));
    set->Reset();
    EXPECT_EQ(Records(a, *set) + Records(b, *set), 0);
    EXPECT_FALSE(set->GetControlSetLink(eCharacterSpine, nullptr));
    EXPECT_TRUE(set->GetUseAxis()); // kept
    EXPECT_FALSE(set->GetLockTransform());
    EXPECT_FALSE(set->GetLock3DPick());
    EXPECT_EQ(set->GetType(), KQoxControlSet::eDefaultType);
}

TEST_F(ControlSetTest, EffectorsAndAuxiliarySets)
{
    auto set = MakeControlSet();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");

    // Flags without a node are not kept; id 0 comes back show-only.
    KQoxEffector noNode = Effector(nullptr, true, true);
    noNode.mCandidateRActive = true;
    ASSERT_TRUE(set->SetEffector(eHipsEffector, noNode));
    EXPECT_FALSE(set->GetEffector(eHipsEffector, nullptr));
    ASSERT_TRUE(set->SetEffector(eHipsEffector, Effector(a, false, false)));
    KQoxEffector out;
    ASSERT_TRUE(set->GetEffector(eHipsEffector, &out));
    ExpectFlags(out, true, false, false, false, false, 0);
    EXPECT_EQ(Records(a, *set, eCharacterLinkTypeEffector), 1);

    // Effector defaults come back through Reset only.
    ASSERT_TRUE(set->GetEffectorSlot(eHipsEffector, &out));
    EXPECT_FALSE(out.mTActive);
    set->Reset();
    ExpectDefaultEffectors(*set);
    EXPECT_EQ(Records(a, *set), 0);
    EXPECT_FALSE(set->GetEffectorSlot(static_cast<EEffectorNodeId>(44), &out));

    // Aux sets: 1 and 14 accepted, 0 and 15 refused.
    const struct
    {
        int set;
        bool ok;
    } sets[] = {{0, false}, {1, true}, {14, true}, {15, false}, {-1, false}};
    for (const auto& s : sets)
    {
        EXPECT_EQ(set->SetEffectorAux(eLeftKneeEffector, b, static_cast<EEffectorSetId>(s.set)), s.ok) << s.set;
        KQoxNode* got = nullptr;
        EXPECT_EQ(set->GetEffectorAux(eLeftKneeEffector, &got, static_cast<EEffectorSetId>(s.set)), s.ok) << s.set;
        EXPECT_EQ(got, s.ok ? b : nullptr) << s.set;
    }
    EXPECT_EQ(Records(b, *set, eCharacterLinkTypeEffectorAux), 2);
    EXPECT_FALSE(set->SetEffectorAux(static_cast<EEffectorNodeId>(44), b, eFirstEffectorSet));
    EXPECT_FALSE(set->SetEffector(static_cast<EEffectorNodeId>(-1), Effector(a, true, true)));
    ASSERT_TRUE(set->SetEffectorAux(eLeftKneeEffector, nullptr, eLastEffectorSet));
    EXPECT_EQ(Records(b, *set, eCharacterLinkTypeEffectorAux), 1);
    // The record carries set - 1 as its sub-index.
    EXPECT_EQ(b->FindCharacterLink(Identity(*set), eCharacterLinkTypeEffectorAux, eLeftKneeEffector, 0), 0);

    EXPECT_STREQ(KQoxControlSet::GetEffectorNodeName(eHipsEffector), "HipsEffector");
    EXPECT_STREQ(KQoxControlSet::GetEffectorNodeName(eRightFootExtraFingerEffector), "RightFootExtraFingerEffector");
    EXPECT_EQ(KQoxControlSet::GetEffectorNodeName(static_cast<EEffectorNodeId>(44)), nullptr);
    EXPECT_EQ(KQoxControlSet::GetEffectorNodeName(static_cast<EEffectorNodeId>(-1)), nullptr);
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
        EXPECT_EQ(
            KQoxControlSet::GetEffectorNodeId(KQoxControlSet::GetEffectorNodeName(static_cast<EEffectorNodeId>(id))),
            id);
    EXPECT_EQ(KQoxControlSet::GetEffectorNodeId("hipseffector"), -1);
    EXPECT_EQ(KQoxControlSet::GetEffectorNodeId("HipsEffector "), -1);
    EXPECT_EQ(KQoxControlSet::GetEffectorNodeId(nullptr), -1);
}

TEST_F(ControlSetTest, DestroyedNodeLeavesOnlyItsPointer)
{
    auto set = MakeControlSet();
    KQoxNode* doomed = Node("Doomed");
    KQoxNode* other = Node("Other");
    ASSERT_TRUE(set->SetControlSetLink(eCharacterLeftHand, Link(doomed, "HandTemplate")));
    ASSERT_TRUE(set->SetControlSetLink(eCharacterRightHand, Link(other)));
    ASSERT_TRUE(set->SetEffector(eLeftWristEffector, Effector(doomed, true, false)));
    ASSERT_TRUE(set->SetEffectorAux(eLeftWristEffector, other, static_cast<EEffectorSetId>(3)));
    ASSERT_TRUE(set->SetEffectorAux(eRightWristEffector, doomed, static_cast<EEffectorSetId>(5)));
    EXPECT_EQ(Records(doomed, *set), 3);

    Destroy(doomed);

    // The link keeps its template name, so it still counts as set.
    KQoxControlSetLink link;
    ASSERT_TRUE(set->GetControlSetLink(eCharacterLeftHand, &link));
    EXPECT_EQ(link.mNode, nullptr);
    EXPECT_EQ(link.mTemplateName.Compare("HandTemplate"), 0);
    EXPECT_FALSE(set->GetEffector(eLeftWristEffector, nullptr));
    EXPECT_FALSE(set->GetEffectorAux(eRightWristEffector, nullptr, static_cast<EEffectorSetId>(5)));
    // Other slots are untouched.
    ASSERT_TRUE(set->GetControlSetLink(eCharacterRightHand, &link));
    EXPECT_EQ(link.mNode, other);
    KQoxNode* aux = nullptr;
    ASSERT_TRUE(set->GetEffectorAux(eLeftWristEffector, &aux, static_cast<EEffectorSetId>(3)));
    EXPECT_EQ(aux, other);
    // Clearing the slots later touches no freed node.
    set->Reset();
    EXPECT_EQ(Records(other, *set), 0);
}

TEST_F(ControlSetTest, EverySlotFilledThenDestroyedInEitherOrder)
{
    for (bool setFirst : {true, false})
    {
        auto set = MakeControlSet();
        std::vector<KQoxNode*> nodes;
        for (int id = 0; id < kCharacterNodeIdCount; ++id)
        {
            nodes.push_back(Node("L" + std::to_string(id)));
            ASSERT_TRUE(set->SetControlSetLink(static_cast<ECharacterNodeId>(id), Link(nodes.back())));
        }
        for (int id = 0; id < kEffectorNodeIdCount; ++id)
        {
            nodes.push_back(Node("E" + std::to_string(id)));
            ASSERT_TRUE(set->SetEffector(static_cast<EEffectorNodeId>(id), Effector(nodes.back(), true, true)));
            for (int s = eFirstEffectorSet; s <= eLastEffectorSet; ++s)
                ASSERT_TRUE(set->SetEffectorAux(static_cast<EEffectorNodeId>(id), nodes.back(),
                                                static_cast<EEffectorSetId>(s)));
        }
        for (KQoxNode* node : nodes)
            ASSERT_GE(Records(node, *set), 1);
        if (setFirst)
        {
            set.reset();
            for (KQoxNode* node : nodes)
            {
                ASSERT_EQ(node->GetCharacterLinkCount(), 0);
                Destroy(node);
            }
        }
        else
        {
            for (KQoxNode* node : nodes)
                Destroy(node);
            for (int id = 0; id < kCharacterNodeIdCount; ++id)
                ASSERT_FALSE(set->GetControlSetLink(static_cast<ECharacterNodeId>(id), nullptr));
            for (int id = 0; id < kEffectorNodeIdCount; ++id)
                ASSERT_FALSE(set->GetEffector(static_cast<EEffectorNodeId>(id), nullptr));
            set.reset();
        }
    }
}

TEST_F(ControlSetTest, ManyUpdatesOfOneSlotKeepOneRecord)
{
    auto set = MakeControlSet();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    for (int i = 0; i < 100000; ++i)
    {
        KQoxNode* node = (i % 3) ? a : b;
        ASSERT_TRUE(set->SetEffectorAux(eHeadEffector, node, static_cast<EEffectorSetId>(1 + i % 14)));
        ASSERT_TRUE(set->SetControlSetLink(eCharacterHead, Link(node)));
    }
    // One link record, fourteen aux records spread over both nodes.
    EXPECT_EQ(Records(a, *set, eCharacterLinkTypeControlSet) + Records(b, *set, eCharacterLinkTypeControlSet), 1);
    EXPECT_EQ(Records(a, *set, eCharacterLinkTypeEffectorAux) + Records(b, *set, eCharacterLinkTypeEffectorAux), 14);
}
