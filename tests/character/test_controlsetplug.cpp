// Control-set plug: its property layout, and the conversions between a
// control set and a plug, the packing of effector lists included.
#include "scene/kqoxtakenode.h"
#include "fcurve/kfcurvenode.h"
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "character/kqoxcontrolsetplug.h"
#include "character_test_util.h"

using namespace chartest;

namespace {

// The scene's way of destroying a plug.
struct PlugDeleter
{
    void operator()(KQoxControlSetPlug* plug) const
    {
        plug->Destruct();
        delete plug;
    }
};
typedef std::unique_ptr<KQoxControlSetPlug, PlugDeleter> PlugPtr;

class ControlSetPlugTest : public ControlSetTest
{
protected:
    PlugPtr Plug() { return PlugPtr(new KQoxControlSetPlug(*mManager, "ControlSetPlug::Rig")); }
    static KPropertyObjectList* List(KQoxControlSetPlug& plug, const char* name)
    {
        return static_cast<KPropertyObjectList*>(plug.GetProperties()->FindPropertyByName(name));
    }
    static KObject* Block(KQoxNode* node) { return node->GetPropertyHandler(); }
};

} // namespace

TEST_F(ControlSetPlugTest, PropertyLayout)
{
    PlugPtr plug = Plug();
    KQoxControlSetPlugProperties* properties = plug->GetProperties();
    KStringList flags = plug->GetTypeFlags();
    EXPECT_TRUE(plug->GetNameSpace() == 12 && flags.GetCount() == 1 && plug->GetLastErrorID() == -1);
    EXPECT_STREQ(plug->GetTypeName().Buffer(), "ControlSetPlug");
    EXPECT_STREQ(flags.GetStringAt(0), "ControlSetPlug");
    EXPECT_TRUE(properties->GetKQoxObject() == plug.get() && plug->GetPropertyHandler() == properties);
    EXPECT_TRUE(properties->Is(KQoxControlSetPlugProperties::ClassId) && properties->Is(KQoxPropertyHandler::ClassId));
    EXPECT_STREQ(properties->GetClassIdName(), "KQoxControlSetPlugProperties");
    EXPECT_STREQ(plug->GetTakeNodeName(0), "Default");
    // Only animatable properties get channels: the two values and the lists
    // are not, so the default take holds none.
    KQoxTakeNode* take = plug->GetTakeNode(0);
    ASSERT_TRUE(take && take->GetKFCurveNode());
    int animatable = 0;
    for (int i = 0; i < properties->GetPropertyCount(); ++i)
        animatable += properties->GetProperty(i)->IsAnimatable() ? 1 : 0;
    EXPECT_EQ(animatable, 0);
    EXPECT_EQ(take->GetKFCurveNode()->GetCount(), 0);

    // Two values, one list per named node id (count 1), one per effector (15).
    std::vector<std::pair<std::string, int>> expected = {{"UseAxis", 0}, {"ControlSetType", 0}};
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        char* name = nullptr;
        if (KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(Id(id), name))
            expected.push_back({name, 1});
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
        expected.push_back({KQoxControlSet::GetEffectorNodeName(Eff(id)), 15});
    ASSERT_EQ(expected.size(), 233u);
    ASSERT_EQ(properties->GetPropertyCount(), 233);
    EXPECT_TRUE(properties->GetLinkListCount() == 187 && properties->GetEffectorListCount() == 44);
    for (int i = 0; i < 233; ++i)
    {
        KProperty* property = properties->GetProperty(i);
        EXPECT_STREQ(property->GetPropertyName(), expected[i].first.c_str()) << i;
        if (!expected[i].second)
            continue;
        ASSERT_TRUE(property->Is(KPropertyObjectList::ClassId)) << i;
        auto* list = static_cast<KPropertyObjectList*>(property);
        int count = 0, classId = 0;
        list->GetContentSpec(count, classId);
        EXPECT_TRUE(count == expected[i].second && classId == -1 && list->GetDirection() == 3 &&
                    list->GetPropertyType() == kPropertyTypeObject && list->GetCount() == 0)
            << i;
    }
    EXPECT_EQ(properties->GetLinkList(67)->GetUserWord(), eCharacterReference);
    EXPECT_EQ(properties->GetLinkList(186)->GetUserWord(), 190);
    EXPECT_EQ(properties->GetEffectorList(43)->GetUserWord(), 43);

    // Use axis starts true; the type has no text for any value.
    EXPECT_EQ(properties->GetProperty(0)->AsInteger(), 1);
    KProperty* type = properties->GetProperty(1);
    for (int value : {0, 1, -1, 2147483647})
    {
        EXPECT_TRUE(type->SetInteger(value));
        EXPECT_EQ(static_cast<int>(properties->ControlSetTypeGet()), value);
        EXPECT_STREQ(type->AsString().Buffer(), "") << value;
        EXPECT_EQ(KQoxControlSetPlugProperties::ControlSetTypeAsString(KQoxControlSet::EType(value)), nullptr);
    }
}

TEST_F(ControlSetPlugTest, RoundTripKeepsNodesTypeAndUseAxis)
{
    PlugPtr plug = Plug();
    auto source = MakeControlSet();
    std::vector<KQoxNode*> n;
    for (int i = 0; i < 8; ++i)
        n.push_back(Node("N" + std::to_string(i)));
    source->SetType(static_cast<KQoxControlSet::EType>(5));
    source->SetLockTransform(true);
    ASSERT_TRUE(source->SetControlSetLink(eCharacterHips, Link(n[0], "HipsTemplate")));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterReference, Link(n[1])));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterRightFootExtraFinger4, Link(n[2])));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterSpine, Link(nullptr, "OnlyATemplate")));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterLeftFloor, Link(n[3]))); // 68 has no list
    ASSERT_TRUE(source->SetEffector(eHeadEffector, Effector(n[4])));
    for (int s = 1; s <= 3; ++s)
        ASSERT_TRUE(source->SetEffectorAux(eHeadEffector, n[4 + s], Set(s)));

    // Twice: the second run leaves the same contents.
    source->ToPlug(plug.get());
    source->ToPlug(plug.get());
    EXPECT_TRUE(!plug->GetProperties()->UseAxisGet() && plug->GetProperties()->ControlSetTypeGet() == 5);
    EXPECT_TRUE(List(*plug, "Hips")->GetCount() == 1 && List(*plug, "Hips")->GetAt(0) == Block(n[0]));
    EXPECT_EQ(List(*plug, "Spine")->GetCount(), 0); // a template name has no place
    EXPECT_EQ(List(*plug, "HeadEffector")->GetCount(), 4);

    auto target = MakeControlSet();
    target->SetUseAxis(true);
    ASSERT_TRUE(target->SetControlSetLink(eCharacterHead, Link(n[0]))); // emptied by FromPlug
    target->FromPlug(plug.get());
    EXPECT_TRUE(target->GetType() == 5 && !target->GetUseAxis() && !target->GetLockTransform());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        KQoxControlSetLink expected, got;
        const bool had = source->GetControlSetLink(Id(id), &expected) && expected.mNode && id != eCharacterLeftFloor;
        ASSERT_EQ(target->GetControlSetLink(Id(id), &got), had) << id;
        EXPECT_TRUE(!had || (got.mNode == expected.mNode && got.mTemplateName.IsEmpty())) << id;
    }
    KQoxEffector head, hips;
    ASSERT_TRUE(target->GetEffector(eHeadEffector, &head));
    EXPECT_TRUE(head.mNode == n[4] && head.mShow && !head.mRActive && !head.mCandidateTActive); // show-only
    for (int s = 1; s <= 3; ++s)
    {
        KQoxNode* aux = nullptr;
        EXPECT_TRUE(target->GetEffectorAux(eHeadEffector, &aux, Set(s)) && aux == n[4 + s]) << s;
    }
    ASSERT_TRUE(target->GetEffectorSlot(eHipsEffector, &hips));
    EXPECT_TRUE(hips.mTActive); // node-less effectors keep Reset's defaults
    EXPECT_EQ(Records(n[0], *target), 1);
}

TEST_F(ControlSetPlugTest, EffectorListsArePackedAndReadBackByPosition)
{
    PlugPtr plug = Plug();
    auto source = MakeControlSet();
    KQoxNode* second = Node("Second");
    KQoxNode* seventh = Node("Seventh");
    ASSERT_TRUE(source->SetEffectorAux(eLeftKneeEffector, second, Set(2)));
    ASSERT_TRUE(source->SetEffectorAux(eLeftKneeEffector, seventh, Set(7)));
    source->ToPlug(plug.get());
    KPropertyObjectList* list = List(*plug, "LeftKneeEffector");
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_TRUE(list->GetAt(0) == Block(second) && list->GetAt(1) == Block(seventh));
    // Read back, the set-2 node becomes the effector's own node, set 7 set 1.
    auto target = MakeControlSet();
    target->FromPlug(plug.get());
    KQoxEffector knee;
    KQoxNode* aux = nullptr;
    ASSERT_TRUE(target->GetEffector(eLeftKneeEffector, &knee) &&
                target->GetEffectorAux(eLeftKneeEffector, &aux, eFirstEffectorSet));
    EXPECT_TRUE(knee.mNode == second && aux == seventh);
    for (int s = 2; s <= eLastEffectorSet; ++s)
        EXPECT_FALSE(target->GetEffectorAux(eLeftKneeEffector, nullptr, Set(s))) << s;
}

TEST_F(ControlSetPlugTest, FromPlugSkipsWhatIsNoNodeBlock)
{
    PlugPtr plug = Plug();
    PlugPtr otherPlug = Plug();
    KQoxNode* node = Node("Node");
    KObject plain; // no property block at all
    // Link lists: only position 0 counts, and a plug's block is no node's.
    ASSERT_TRUE(List(*plug, "Hips")->Add(otherPlug->GetProperties()) && List(*plug, "Hips")->Add(Block(node)));
    ASSERT_TRUE(List(*plug, "Head")->Add(Block(node)) && List(*plug, "Head")->Add(Block(Node("Extra"))));
    // Effector list: a plain object, a node, 14 more nodes (the last one past set 14).
    KPropertyObjectList* effector = List(*plug, "HipsEffector");
    ASSERT_TRUE(effector->Add(&plain) && effector->Add(Block(node)));
    std::vector<KQoxNode*> more;
    for (int i = 0; i < 14; ++i)
    {
        more.push_back(Node("More" + std::to_string(i)));
        ASSERT_TRUE(effector->Add(Block(more.back())));
    }
    auto set = MakeControlSet();
    set->FromPlug(plug.get());
    KQoxControlSetLink head;
    KQoxNode *first = nullptr, *last = nullptr;
    EXPECT_FALSE(set->GetControlSetLink(eCharacterHips, nullptr) || set->GetEffector(eHipsEffector, nullptr));
    ASSERT_TRUE(set->GetControlSetLink(eCharacterHead, &head));
    ASSERT_TRUE(set->GetEffectorAux(eHipsEffector, &first, Set(1)) &&
                set->GetEffectorAux(eHipsEffector, &last, Set(14)));
    EXPECT_TRUE(head.mNode == node && first == node && last == more[12]);
    // No plug: nothing changes.
    set->FromPlug(nullptr);
    set->ToPlug(nullptr);
    EXPECT_TRUE(set->GetControlSetLink(eCharacterHead, nullptr));
    effector->Clear();
}

TEST_F(ControlSetPlugTest, NodesDestroyedBeforeOrAfterThePlug)
{
    auto set = MakeControlSet();
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, Link(a)) && set->SetEffector(eHipsEffector, Effector(b)));
    {
        PlugPtr plug = Plug();
        set->ToPlug(plug.get());
        Destroy(a); // leaves the plug's list and the control set's slot
        EXPECT_EQ(List(*plug, "Hips")->GetCount(), 0);
        auto copy = MakeControlSet();
        copy->FromPlug(plug.get());
        EXPECT_TRUE(!copy->GetControlSetLink(eCharacterHips, nullptr) && copy->GetEffector(eHipsEffector, nullptr));
    } // the plug goes while b is still connected to it
    EXPECT_TRUE(set->GetEffector(eHipsEffector, nullptr));
    Destroy(b);
    EXPECT_FALSE(set->GetEffector(eHipsEffector, nullptr));
}
