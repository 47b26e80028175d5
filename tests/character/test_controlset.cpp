// Control set: link, effector and auxiliary slots against real nodes, their
// records on the nodes, Reset, destruction in either order, and the names.
#include <gtest/gtest.h>

#include <vector>

#include "character_test_util.h"

using namespace chartest;

namespace {

// Hips translate and rotate, ankles do everything, wrists translate, the rest
// only show; no node anywhere.
void ExpectDefaultEffectors(const KQoxControlSet& set)
{
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxEffector e;
        e.mShow = false;
        ASSERT_TRUE(set.GetEffectorSlot(Eff(id), &e));
        const bool hips = id == eHipsEffector, ankle = id == 1 || id == 2, wrist = id == 3 || id == 4;
        EXPECT_TRUE(!e.mNode && e.mShow && e.mTActive == (hips || ankle || wrist) && e.mRActive == (hips || ankle) &&
                    e.mCandidateTActive == (ankle || wrist) && e.mCandidateRActive == ankle)
            << id;
    }
}

} // namespace

TEST_F(ControlSetTest, NewSetIsEmptyWithEffectorDefaults)
{
    auto set = MakeControlSet();
    EXPECT_TRUE(set->GetType() == 0 && !set->GetUseAxis() && !set->GetLockTransform() && !set->GetLock3DPick());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
        EXPECT_FALSE(set->GetControlSetLink(Id(id), nullptr));
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        EXPECT_FALSE(set->GetEffector(Eff(id), nullptr)) << id;
        for (int s = eFirstEffectorSet; s <= eLastEffectorSet; ++s)
            EXPECT_FALSE(set->GetEffectorAux(Eff(id), nullptr, Set(s)));
    }
    ExpectDefaultEffectors(*set);
    EXPECT_FALSE(set->GetEffectorSlot(Eff(44), nullptr));
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
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHead, Link(b)));
    EXPECT_EQ(Records(a, *set), 0);
    EXPECT_EQ(Records(b, *set), 2);
    // A template name without a node counts as set and records nothing.
    ASSERT_TRUE(set->SetControlSetLink(eCharacterSpine, Link(nullptr, "SpineTemplate")));
    KQoxControlSetLink out;
    ASSERT_TRUE(set->GetControlSetLink(eCharacterSpine, &out));
    EXPECT_TRUE(!out.mNode && out.mTemplateName.Compare("SpineTemplate") == 0);
    // An empty link clears the slot and its record.
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, KQoxControlSetLink()));
    EXPECT_FALSE(set->GetControlSetLink(eCharacterHips, &out));
    EXPECT_EQ(Records(b, *set), 1);
    // Ids outside 0..190, negative ones too, change nothing.
    for (int id : {191, -1, 1 << 30})
        EXPECT_FALSE(set->SetControlSetLink(Id(id), Link(a)) || set->GetControlSetLink(Id(id), &out)) << id;
    EXPECT_TRUE(set->SetControlSetLink(eCharacterLastNodeId, Link(a)));

    // Reset: every record and template name goes, use axis stays.
    set->SetUseAxis(true);
    set->SetLockTransform(true);
    set->SetLock3DPick(true);
    set->SetType(static_cast<KQoxControlSet::EType>(-77));
    set->Reset();
    EXPECT_EQ(Records(a, *set) + Records(b, *set), 0);
    EXPECT_FALSE(set->GetControlSetLink(eCharacterSpine, nullptr));
    EXPECT_TRUE(set->GetUseAxis() && !set->GetLockTransform() && !set->GetLock3DPick() && set->GetType() == 0);
}

TEST_F(ControlSetTest, EffectorsAndAuxiliarySets)
{
    auto set = MakeControlSet();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    // Flags without a node are not kept: id 0 comes back show-only, and its
    // defaults return through Reset only.
    KQoxEffector flagsOnly = Effector(nullptr);
    flagsOnly.mTActive = true;
    ASSERT_TRUE(set->SetEffector(eHipsEffector, flagsOnly));
    EXPECT_FALSE(set->GetEffector(eHipsEffector, nullptr));
    KQoxEffector out;
    ASSERT_TRUE(set->GetEffectorSlot(eHipsEffector, &out));
    EXPECT_TRUE(out.mShow && !out.mTActive && !out.mRActive && !out.mCandidateTActive);
    ASSERT_TRUE(set->SetEffector(eHipsEffector, Effector(a)));
    ASSERT_TRUE(set->GetEffector(eHipsEffector, &out));
    EXPECT_TRUE(out.mNode == a && out.mRActive && out.mCandidateTActive && !out.mTActive);
    EXPECT_EQ(Records(a, *set, eCharacterLinkTypeEffector), 1);
    set->Reset();
    ExpectDefaultEffectors(*set);
    EXPECT_EQ(Records(a, *set), 0);

    // Aux sets: 1 and 14 accepted, 0, 15 and -1 refused.
    for (int s : {0, 1, 14, 15, -1})
    {
        const bool ok = s == 1 || s == 14;
        KQoxNode* got = nullptr;
        EXPECT_EQ(set->SetEffectorAux(eLeftKneeEffector, b, Set(s)), ok) << s;
        EXPECT_EQ(set->GetEffectorAux(eLeftKneeEffector, &got, Set(s)), ok) << s;
        EXPECT_EQ(got, ok ? b : nullptr) << s;
    }
    EXPECT_EQ(Records(b, *set, eCharacterLinkTypeEffectorAux), 2);
    EXPECT_FALSE(set->SetEffectorAux(Eff(44), b, eFirstEffectorSet) || set->SetEffector(Eff(-1), Effector(a)));
    ASSERT_TRUE(set->SetEffectorAux(eLeftKneeEffector, nullptr, eLastEffectorSet));
    // The record left carries set - 1 as its sub-index.
    EXPECT_EQ(b->FindCharacterLink(Identity(*set), eCharacterLinkTypeEffectorAux, eLeftKneeEffector, 0), 0);
    EXPECT_EQ(b->GetCharacterLinkCount(), 1);

    for (int id = 0; id < kEffectorNodeIdCount; ++id)
        EXPECT_EQ(KQoxControlSet::GetEffectorNodeId(KQoxControlSet::GetEffectorNodeName(Eff(id))), id);
    EXPECT_STREQ(KQoxControlSet::GetEffectorNodeName(eRightFootExtraFingerEffector), "RightFootExtraFingerEffector");
    EXPECT_TRUE(!KQoxControlSet::GetEffectorNodeName(Eff(44)) && !KQoxControlSet::GetEffectorNodeName(Eff(-1)));
    for (const char* name : {"hipseffector", "HipsEffector ", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(KQoxControlSet::GetEffectorNodeId(name), -1);
    EXPECT_EQ(KQoxControlSet::GetEffectorNodeId("HipsEffector"), 0);
}

TEST_F(ControlSetTest, DestroyedNodeLeavesOnlyItsPointer)
{
    auto set = MakeControlSet();
    KQoxNode* doomed = Node("Doomed");
    KQoxNode* other = Node("Other");
    ASSERT_TRUE(set->SetControlSetLink(eCharacterLeftHand, Link(doomed, "HandTemplate")));
    ASSERT_TRUE(set->SetControlSetLink(eCharacterRightHand, Link(other)));
    ASSERT_TRUE(set->SetEffector(eLeftWristEffector, Effector(doomed)));
    ASSERT_TRUE(set->SetEffectorAux(eLeftWristEffector, other, Set(3)));
    ASSERT_TRUE(set->SetEffectorAux(eRightWristEffector, doomed, Set(5)));
    Destroy(doomed);
    // The link keeps its template name, so it still counts as set; the
    // effector keeps its flags.
    KQoxControlSetLink link;
    ASSERT_TRUE(set->GetControlSetLink(eCharacterLeftHand, &link));
    EXPECT_TRUE(!link.mNode && link.mTemplateName.Compare("HandTemplate") == 0);
    KQoxEffector wrist;
    ASSERT_TRUE(set->GetEffectorSlot(eLeftWristEffector, &wrist));
    EXPECT_TRUE(!wrist.mNode && wrist.mRActive && wrist.mCandidateTActive);
    EXPECT_FALSE(set->GetEffectorAux(eRightWristEffector, nullptr, Set(5)));
    // Other slots are untouched, and later changes touch no freed node.
    KQoxNode* aux = nullptr;
    ASSERT_TRUE(set->GetControlSetLink(eCharacterRightHand, &link) &&
                set->GetEffectorAux(eLeftWristEffector, &aux, Set(3)));
    EXPECT_TRUE(link.mNode == other && aux == other);
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
            ASSERT_TRUE(set->SetControlSetLink(Id(id), Link(nodes.back())));
        }
        for (int id = 0; id < kEffectorNodeIdCount; ++id)
        {
            nodes.push_back(Node("E" + std::to_string(id)));
            ASSERT_TRUE(set->SetEffector(Eff(id), Effector(nodes.back())));
            for (int s = eFirstEffectorSet; s <= eLastEffectorSet; ++s)
                ASSERT_TRUE(set->SetEffectorAux(Eff(id), nodes.back(), Set(s)));
        }
        EXPECT_EQ(nodes.back()->GetCharacterLinkCount(), 15);
        if (setFirst)
            set.reset(); // removes every record before the nodes go
        for (KQoxNode* node : nodes)
        {
            EXPECT_EQ(node->GetCharacterLinkCount() == 0, setFirst);
            Destroy(node);
        }
        for (int id = 0; id < kEffectorNodeIdCount && set; ++id)
        {
            ASSERT_FALSE(set->GetEffector(Eff(id), nullptr) || set->GetControlSetLink(Id(id), nullptr) ||
                         set->GetEffectorAux(Eff(id), nullptr, Set(14)));
        }
    }
}

TEST_F(ControlSetTest, ManyUpdatesOfOneSlotKeepOneRecord)
{
    auto set = MakeControlSet();
    KQoxNode* nodes[2] = {Node("A"), Node("B")};
    for (int i = 0; i < 100000; ++i)
    {
        ASSERT_TRUE(set->SetEffectorAux(eHeadEffector, nodes[i % 3 == 0], Set(1 + i % 14)));
        ASSERT_TRUE(set->SetControlSetLink(eCharacterHead, Link(nodes[i % 3 == 0])));
    }
    EXPECT_EQ(Records(nodes[0], *set, 1) + Records(nodes[1], *set, 1), 1);
    EXPECT_EQ(Records(nodes[0], *set, 3) + Records(nodes[1], *set, 3), 14);
}
