// The character: construction, input, links and their node records, the node
// link properties, Reset, destruction, copies, and the scene's lists.

#include <cstring>

#include "character/kqoxcontrolsetplug.h"
#include "character_fixture.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxtakenode.h"

namespace chartest {
namespace {

int ChannelCount(KQoxCharacter* character)
{
    KQoxTakeNode* take = character->GetTakeNode(0);
    return take && take->GetKFCurveNode() ? take->GetKFCurveNode()->GetCount() : -1;
}

TEST_F(CharacterTest, FreshCharacter)
{
    ASSERT_EQ(0, mScene->CreateCharacter("Model::Hero"));
    KQoxCharacter* c = mScene->GetCharacter(0);
    ASSERT_NE(nullptr, c);
    EXPECT_STREQ("Constraint::Hero", c->GetName());
    EXPECT_EQ(8, c->GetNameSpace());
    EXPECT_STREQ("Character", c->GetTypeName().ToChars());
    KStringList flags = c->GetTypeFlags();
    ASSERT_EQ(1, flags.GetCount());
    EXPECT_STREQ("Character", flags.GetStringAt(0));
    EXPECT_EQ(KQoxCharacter::eNoInput, c->GetInputType());
    EXPECT_EQ(nullptr, c->GetInputObject());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
        EXPECT_FALSE(c->GetCharacterLink(NodeId(id), nullptr)) << id;
    ASSERT_EQ(1, c->GetTakeNodeCount());
    EXPECT_STREQ("Default", c->GetCurrentTakeNodeName());
    EXPECT_EQ(100, ChannelCount(c));
    EXPECT_EQ(c->GetProperties(), c->GetPropertyHandler());
    EXPECT_EQ(c, c->GetControlSet()->GetCharacter());
    EXPECT_STREQ("internal error", c->GetError().GetErrorString(0));
    // The static lookups are the character's too.
    char* name = nullptr;
    ASSERT_TRUE(KQoxCharacter::GetCharacterNodeNameFromNodeId(eCharacterHips, name));
    EXPECT_STREQ("Hips", name);
}

TEST_F(CharacterTest, InputKeepsOnlyFittingObjects)
{
    KQoxCharacter* a = NewCharacter("A");
    KQoxCharacter* b = NewCharacter("B");
    KQoxNode* node = Node("N");
    struct Case
    {
        int type;
        KQoxObject* object;
        KQoxObject* kept;
    } const cases[] = {
        {KQoxCharacter::eCharacterInput, b, b},
        {KQoxCharacter::eCharacterInput, a, nullptr},
        {KQoxCharacter::eCharacterInput, node, nullptr},
        {KQoxCharacter::eActorInput, b, nullptr},
        {KQoxCharacter::eActorInput, node, nullptr},
        {7, b, nullptr},
        {-1, b, nullptr},
    };
    for (const Case& c : cases)
    {
        a->SetInput(static_cast<KQoxCharacter::ECharacterInputType>(c.type), c.object);
        EXPECT_EQ(c.type, a->GetInputType());
        EXPECT_EQ(c.kept, a->GetInputObject()) << c.type;
    }
}

TEST_F(CharacterTest, SetCharacterLinkBookkeeping)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    EXPECT_FALSE(c->SetCharacterLink(NodeId(-1), CharLink(a)));
    EXPECT_FALSE(c->SetCharacterLink(NodeId(191), CharLink(a)));
    EXPECT_FALSE(c->GetCharacterLink(NodeId(191), nullptr));
    EXPECT_EQ(0, a->GetCharacterLinkCount());
    EXPECT_TRUE(c->SetCharacterLink(NodeId(190), CharLink(nullptr, "Tmpl")));
    KQoxCharacterLink out;
    ASSERT_TRUE(c->GetCharacterLink(NodeId(190), &out));
    EXPECT_STREQ("Tmpl", out.mTemplateName.ToChars());
    EXPECT_EQ(nullptr, out.mPropertyLink); // the slot's property is never copied out

    KQoxCharacterLink link = CharLink(a);
    link.mOffsetT.Set(1, 2, 3, 1);
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, link));
    EXPECT_EQ(1, Records(a, c, eCharacterLinkTypeCharacter));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, link)); // same node: removed and appended again
    EXPECT_EQ(1, Records(a, c));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(b)));
    EXPECT_EQ(0, Records(a, c));
    EXPECT_EQ(1, Records(b, c));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, KQoxCharacterLink()));
    EXPECT_EQ(0, Records(b, c));
    EXPECT_FALSE(c->GetCharacterLink(eCharacterHips, nullptr));
}

TEST_F(CharacterTest, LinksAndNodeLinkPropertiesFollowEachOther)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    KPropertyObjectList* hips = LinkProperty(c, eCharacterHips);
    ASSERT_STREQ("HipsLink", hips->GetPropertyName());
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a), true));
    ASSERT_EQ(1, hips->GetCount());
    EXPECT_EQ(a->GetPropertyHandler(), hips->GetAt(0));
    EXPECT_EQ(1, Records(a, c)); // the connection it made adds no second record
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, KQoxCharacterLink(), true));
    EXPECT_EQ(0, hips->GetCount());
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a), false));
    EXPECT_EQ(0, hips->GetCount());

    // Connecting a node's block sets the node and keeps the rest of the link.
    KQoxCharacterLink kept = CharLink(nullptr, "Tmpl");
    kept.mOffsetR.Set(0, 90, 0, 1);
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, kept));
    ASSERT_TRUE(hips->Add(a->GetPropertyHandler()));
    KQoxCharacterLink out;
    ASSERT_TRUE(c->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(a, out.mNode);
    EXPECT_STREQ("Tmpl", out.mTemplateName.ToChars());
    EXPECT_EQ(90.0, out.mOffsetR[1]);
    EXPECT_EQ(1, Records(a, c));
    hips->Clear();
    ASSERT_TRUE(c->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(nullptr, out.mNode);
    EXPECT_EQ(0, Records(a, c));
}

TEST_F(CharacterTest, PlugNotifyGuards)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    KQoxControlSetPlug* plug = mScene->GetControlSetPlug(mScene->CreateControlSetPlug("Rig"));
    KPropertyObjectList* hips = LinkProperty(c, eCharacterHips);
    KQoxCharacterProperties* props = c->GetProperties();

    // A block that is not a node's links nothing.
    ASSERT_TRUE(hips->Add(plug->GetPropertyHandler()));
    EXPECT_FALSE(c->GetCharacterLink(eCharacterHips, nullptr));
    hips->Clear();
    // Other object lists only pass events on, whatever their user word.
    ASSERT_TRUE(props->SourceObjectSet(0, a->GetPropertyHandler()));
    ASSERT_TRUE(props->ActorSet(0, b->GetPropertyHandler()));
    EXPECT_EQ(a->GetPropertyHandler(), props->SourceObjectGet(0));
    EXPECT_FALSE(c->GetCharacterLink(eCharacterHips, nullptr));
    // A node on "ControlSet" loads nothing.
    ASSERT_TRUE(props->ControlSetSet(0, a->GetPropertyHandler()));
    EXPECT_FALSE(c->GetControlSet()->GetControlSetLink(eCharacterHips, nullptr));

    // A stale connection removed later does not unlink a node linked since.
    ASSERT_TRUE(hips->Add(a->GetPropertyHandler()));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(b), false));
    ASSERT_TRUE(hips->Remove(a->GetPropertyHandler()));
    KQoxCharacterLink out;
    ASSERT_TRUE(c->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(b, out.mNode);
    EXPECT_EQ(1, Records(b, c));
}

TEST_F(CharacterTest, ControlSetPlugConnectionLoadsTheControlSet)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    KQoxControlSetPlug* plug = mScene->GetControlSetPlug(mScene->CreateControlSetPlug("Rig"));
    EXPECT_STREQ("ControlSetPlug::Rig", plug->GetName());
    ASSERT_TRUE(plug->GetProperties()->GetLinkList(0)->Add(a->GetPropertyHandler()));

    ASSERT_TRUE(c->GetProperties()->ControlSetSet(0, plug->GetPropertyHandler()));
    KQoxControlSetLink link;
    ASSERT_TRUE(c->GetControlSet()->GetControlSetLink(eCharacterHips, &link));
    EXPECT_EQ(a, link.mNode);
    c->GetProperties()->mControlSet.Clear();
    EXPECT_TRUE(c->GetControlSet()->GetControlSetLink(eCharacterHips, nullptr));
}

TEST_F(CharacterTest, ResetEmptiesLinksAndKeepsProperties)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    c->SetInput(KQoxCharacter::eCharacterInput, NewCharacter("Other"));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a)));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHead, CharLink(b, "T")));
    c->GetControlSet()->SetControlSetLink(eCharacterHips, KQoxControlSetLink());
    KQoxControlSetLink rig;
    rig.mNode = b;
    c->GetControlSet()->SetControlSetLink(eCharacterSpine, rig);
    c->GetProperties()->PullIterationCountSet(20);

    c->Reset();
    EXPECT_STREQ("", c->GetInitialName());
    EXPECT_EQ(KQoxCharacter::eNoInput, c->GetInputType());
    EXPECT_EQ(0, a->GetCharacterLinkCount());
    EXPECT_EQ(0, b->GetCharacterLinkCount());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
        EXPECT_FALSE(c->GetCharacterLink(NodeId(id), nullptr)) << id;
    EXPECT_EQ(0, LinkProperty(c, eCharacterHips)->GetCount());
    EXPECT_EQ(20.0, c->GetProperties()->PullIterationCountGet());

    // The links still mirror into their properties afterwards.
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a)));
    EXPECT_EQ(1, LinkProperty(c, eCharacterHips)->GetCount());
}

TEST_F(CharacterTest, DestructionLeavesNoRecords)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a)));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterSpine, CharLink(a)));
    KQoxEffector effector;
    effector.mNode = a;
    c->GetControlSet()->SetEffector(eHipsEffector, effector);
    c->GetControlSet()->SetEffectorAux(eHipsEffector, a, EEffectorSetId(3));
    EXPECT_EQ(4, Records(a, c));
    mScene->DestroyCharacter(5); // out of range: nothing
    ASSERT_EQ(1, mScene->GetCharacterCount());
    mScene->DestroyCharacter(0);
    EXPECT_EQ(0, mScene->GetCharacterCount());
    EXPECT_EQ(0, a->GetCharacterLinkCount());
}

TEST_F(CharacterTest, DestructBeforeDeleteLeavesNoDanglingProperty)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a)));
    c->Destruct();
    EXPECT_EQ(nullptr, LinkProperty(c, eCharacterHips));
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a), true));
    c->Reset();
    EXPECT_EQ(0, a->GetCharacterLinkCount());
}

TEST_F(CharacterTest, NodeDestroyedWhileLinked)
{
    KQoxCharacter* c = NewCharacter();
    KQoxNode* a = Node("A");
    ASSERT_TRUE(c->SetCharacterLink(eCharacterHips, CharLink(a, "Keep")));
    KQoxControlSetLink rig;
    rig.mNode = a;
    c->GetControlSet()->SetControlSetLink(eCharacterHips, rig);
    ASSERT_TRUE(mManager->DestroyKQoxNode(a, true));

    KQoxCharacterLink out;
    ASSERT_TRUE(c->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(nullptr, out.mNode);
    EXPECT_STREQ("Keep", out.mTemplateName.ToChars());
    EXPECT_EQ(0, LinkProperty(c, eCharacterHips)->GetCount());
    KQoxControlSetLink rigOut;
    EXPECT_FALSE(c->GetControlSet()->GetControlSetLink(eCharacterHips, &rigOut));
}

TEST_F(CharacterTest, ClearDestroysEveryKind)
{
    KQoxNode* a = Node("A", mScene->GetRootNode());
    ASSERT_TRUE(NewCharacter("One")->SetCharacterLink(eCharacterHips, CharLink(a)));
    NewCharacter("Two");
    EXPECT_EQ(0, mScene->CreateControlSetPlug("P"));
    EXPECT_EQ(0, mScene->CreateCharacterPose("Q"));
    EXPECT_EQ(nullptr, mScene->GetCharacter(2));
    EXPECT_EQ(nullptr, mScene->GetCharacter(-1));
    mScene->Clear(); // destroys a first, then the characters
    EXPECT_EQ(0, mScene->GetCharacterCount());
    EXPECT_EQ(0, mScene->GetControlSetPlugCount());
    EXPECT_EQ(0, mScene->GetCharacterPoseCount());
}

TEST_F(CharacterTest, AssignmentRules)
{
    KQoxCharacter* src = NewCharacter("Src");
    KQoxCharacter* dst = NewCharacter("Dst");
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    src->SetInput(KQoxCharacter::eCharacterInput, dst);
    ASSERT_TRUE(src->SetCharacterLink(eCharacterHips, CharLink(a, "T")));
    ASSERT_TRUE(dst->SetCharacterLink(eCharacterHead, CharLink(b)));
    src->GetFilterSet()->SetParameterValue(0, 20.0);
    src->GetFilterSet()->SetParameterMode(3, 2);
    src->GetControlSet()->SetType(static_cast<KQoxControlSet::EType>(5));
    src->GetControlSet()->SetEffectorAux(eHipsEffector, a, EEffectorSetId(1));
    src->GetControlSet()->SetEffectorAux(eHipsEffector, b, EEffectorSetId(2));
    src->GetControlSet()->SetLockTransform(true);

    *dst = *src;
    EXPECT_STREQ("Constraint::Src", dst->GetName());
    EXPECT_EQ(KQoxCharacter::eCharacterInput, dst->GetInputType());
    EXPECT_EQ(nullptr, dst->GetInputObject());
    KQoxCharacterLink out;
    ASSERT_TRUE(dst->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(a, out.mNode);
    EXPECT_STREQ("T", out.mTemplateName.ToChars());
    EXPECT_EQ(1, LinkProperty(dst, eCharacterHips)->GetCount());
    EXPECT_TRUE(dst->GetCharacterLink(eCharacterHead, nullptr)); // kept
    EXPECT_EQ(20.0, dst->GetFilterSet()->GetParameterValue(0));
    EXPECT_EQ(2, dst->GetFilterSet()->GetParameterMode(3));
    // The properties follow the copied filter set.
    EXPECT_EQ(20.0, dst->GetProperties()->PullIterationCountGet());
    EXPECT_EQ(kCharacterOffAutoUser(2), dst->GetProperties()->ScaleCompensationModeGet());
    EXPECT_EQ(5, dst->GetControlSet()->GetType());
    KQoxNode* aux = nullptr;
    EXPECT_TRUE(dst->GetControlSet()->GetEffectorAux(eHipsEffector, &aux, EEffectorSetId(1)));
    EXPECT_EQ(a, aux);
    EXPECT_FALSE(dst->GetControlSet()->GetEffectorAux(eHipsEffector, &aux, EEffectorSetId(2)));
    EXPECT_FALSE(dst->GetControlSet()->GetLockTransform());
}

TEST_F(CharacterTest, ManyLinkedCharactersTornDownInEitherOrder)
{
    // Nodes destroyed before their characters, then characters before nodes.
    for (int round = 0; round < 2; ++round)
    {
        KQoxNode* parent = Node("Parent");
        for (int i = 0; i < 20; ++i)
        {
            KQoxCharacter* c = NewCharacter(("C" + std::to_string(i)).c_str());
            for (int id = 0; id < kCharacterNodeIdCount; ++id)
                ASSERT_TRUE(c->SetCharacterLink(NodeId(id), CharLink(Node("N" + std::to_string(id), parent))));
        }
        if (round == 0)
        {
            ASSERT_TRUE(mManager->DestroyKQoxNode(parent, true));
            for (int i = 0; i < mScene->GetCharacterCount(); ++i)
            {
                EXPECT_FALSE(mScene->GetCharacter(i)->GetCharacterLink(eCharacterHips, nullptr));
            }
        }
        mScene->Clear();
        if (round == 1)
        {
            ASSERT_TRUE(mManager->DestroyKQoxNode(parent, true));
        }
    }
}

} // namespace
} // namespace chartest
