// Control-set plug: its property layout, and the conversions between a
// control set and a plug, the packing of effector lists included.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "character/kqoxcontrolsetplug.h"
#include "character_test_util.h"

using namespace chartest;

namespace {

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
        KProperty* property = plug.GetProperties()->FindPropertyByName(name);
        return property && property->IsPropertyObjectList() ? static_cast<KPropertyObjectList*>(property) : nullptr;
    }
    static KObject* Block(KQoxNode* node) { return node->GetPropertyHandler(); }
};

KQoxControlSetLink Link(KQoxNode* node, const char* templateName = "")
{
    KQoxControlSetLink link;
    link.mNode = node;
    link.mTemplateName = templateName;
    return link;
}

KQoxEffector Effector(KQoxNode* node)
{
    KQoxEffector effector;
    effector.mNode = node;
    effector.mRActive = true;
    effector.mCandidateTActive = true;
    return effector;
}

} // namespace

TEST_F(ControlSetPlugTest, PropertyLayout)
{
    PlugPtr plug = Plug();
    KQoxControlSetPlugProperties* properties = plug->GetProperties();
    EXPECT_EQ(plug->GetNameSpace(), 12);
    EXPECT_STREQ(plug->GetTypeName().Buffer(), "ControlSetPlug");
    KStringList flags = plug->GetTypeFlags();
    ASSERT_EQ(flags.GetCount(), 1);
    EXPECT_STREQ(flags.GetStringAt(0), "ControlSetPlug");
    EXPECT_EQ(plug->GetPropertyHandler(), properties);
    EXPECT_EQ(properties->GetKQoxObject(), plug.get());
    EXPECT_EQ(properties->GetKQoxControlSetPlug(), plug.get());
    EXPECT_TRUE(properties->Is(KQoxControlSetPlugProperties::ClassId));
    EXPECT_TRUE(properties->Is(KQoxPropertyHandler::ClassId));
    EXPECT_STREQ(properties->GetClassIdName(), "KQoxControlSetPlugProperties");
    EXPECT_STREQ(KQoxControlSetPlugProperties::ClassName, "KQoxControlSetPlugProperties");
    EXPECT_EQ(plug->GetLastErrorID(), -1);
    EXPECT_EQ(plug->GetTakeNodeCount(), 1);
    EXPECT_STREQ(plug->GetTakeNodeName(0), "Default");

    // Expected order: two values, one list per named node id, one per effector.
    std::vector<std::pair<std::string, int>> expected; // name, content count (0: value)
    expected.push_back({"UseAxis", 0});
    expected.push_back({"ControlSetType", 0});
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        char* name = nullptr;
        if (KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(static_cast<ECharacterNodeId>(id), name))
            expected.push_back({name, 1});
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
        expected.push_back({KQoxControlSet::GetEffectorNodeName(static_cast<EEffectorNodeId>(id)), 15});
    ASSERT_EQ(expected.size(), 233u);
    ASSERT_EQ(properties->GetPropertyCount(), 233);
    EXPECT_EQ(properties->GetLinkListCount(), 187);
    EXPECT_EQ(properties->GetEffectorListCount(), 44);
    for (int i = 0; i < 233; ++i)
    {
        KProperty* property = properties->GetProperty(i);
        EXPECT_STREQ(property->GetPropertyName(), expected[i].first.c_str()) << i;
        if (expected[i].second == 0)
            continue;
        ASSERT_TRUE(property->Is(KPropertyObjectList::ClassId)) << i;
        auto* list = static_cast<KPropertyObjectList*>(property);
        int count = 0, classId = 0;
        list->GetContentSpec(count, classId);
        EXPECT_EQ(count, expected[i].second) << i;
        EXPECT_EQ(classId, -1) << i;
        EXPECT_EQ(list->GetPropertyType(), kPropertyTypeObject) << i;
        EXPECT_EQ(list->GetDirection(), 3) << i;
        EXPECT_EQ(list->GetCount(), 0) << i;
    }
    EXPECT_EQ(properties->GetLinkList(0)->GetUserWord(), eCharacterHips);
    EXPECT_EQ(properties->GetLinkList(67)->GetUserWord(), eCharacterReference);
    EXPECT_STREQ(properties->GetLinkList(67)->GetPropertyName(), "Reference");
    EXPECT_EQ(properties->GetLinkList(186)->GetUserWord(), 190);
    EXPECT_EQ(properties->GetEffectorList(43)->GetUserWord(), 43);
    EXPECT_EQ(properties->GetLinkList(187), nullptr);

    // Values: use axis true, type 0 without any text.
    EXPECT_EQ(properties->GetProperty(0)->AsInteger(), 1);
    KProperty* type = properties->GetProperty(1);
    EXPECT_EQ(type->GetPropertyType(), kPropertyTypeEnum);
    for (int value : {0, 1, -1, 2147483647})
    {
        EXPECT_TRUE(type->SetInteger(value));
        EXPECT_EQ(static_cast<int>(properties->ControlSetTypeGet()), value);
        EXPECT_STREQ(type->AsString().Buffer(), "") << value;
        EXPECT_EQ(KQoxControlSetPlugProperties::ControlSetTypeAsString(static_cast<KQoxControlSet::EType>(value)),
                  nullptr);
    }
}

TEST_F(ControlSetPlugTest, RoundTripKeepsNodesTypeAndUseAxis)
{
    PlugPtr plug = Plug();
    auto source = MakeControlSet();
    std::vector<KQoxNode*> nodes;
    for (int i = 0; i < 8; ++i)
        nodes.push_back(Node("N" + std::to_string(i)));
    source->SetType(static_cast<KQoxControlSet::EType>(5));
    source->SetUseAxis(false);
    source->SetLockTransform(true);
    ASSERT_TRUE(source->SetControlSetLink(eCharacterHips, Link(nodes[0], "HipsTemplate")));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterReference, Link(nodes[1])));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterRightFootExtraFinger4, Link(nodes[2])));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterSpine, Link(nullptr, "OnlyATemplate")));
    ASSERT_TRUE(source->SetControlSetLink(eCharacterLeftFloor, Link(nodes[3]))); // no list for 68
    ASSERT_TRUE(source->SetEffector(eHeadEffector, Effector(nodes[4])));
    ASSERT_TRUE(source->SetEffectorAux(eHeadEffector, nodes[5], static_cast<EEffectorSetId>(1)));
    ASSERT_TRUE(source->SetEffectorAux(eHeadEffector, nodes[6], static_cast<EEffectorSetId>(2)));
    ASSERT_TRUE(source->SetEffectorAux(eHeadEffector, nodes[7], static_cast<EEffectorSetId>(3)));

    source->ToPlug(plug.get());
    EXPECT_EQ(plug->GetProperties()->UseAxisGet(), false);
    EXPECT_EQ(plug->GetProperties()->ControlSetTypeGet(), 5);
    ASSERT_EQ(List(*plug, "Hips")->GetCount(), 1);
    EXPECT_EQ(List(*plug, "Hips")->GetAt(0), Block(nodes[0]));
    EXPECT_EQ(List(*plug, "Spine")->GetCount(), 0); // a template name has no place
    ASSERT_EQ(List(*plug, "HeadEffector")->GetCount(), 4);

    // Running it twice leaves the same contents.
    source->ToPlug(plug.get());
    EXPECT_EQ(List(*plug, "Hips")->GetCount(), 1);
    EXPECT_EQ(List(*plug, "HeadEffector")->GetCount(), 4);

    auto target = MakeControlSet();
    ASSERT_TRUE(target->SetControlSetLink(eCharacterHead, Link(nodes[0]))); // emptied by FromPlug
    target->FromPlug(plug.get());
    EXPECT_EQ(target->GetType(), 5);
    EXPECT_FALSE(target->GetUseAxis());
    EXPECT_FALSE(target->GetLockTransform());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        KQoxControlSetLink expected, got;
        const bool had = source->GetControlSetLink(static_cast<ECharacterNodeId>(id), &expected) && expected.mNode &&
                         id != eCharacterLeftFloor;
        ASSERT_EQ(target->GetControlSetLink(static_cast<ECharacterNodeId>(id), &got), had) << id;
        if (had)
        {
            EXPECT_EQ(got.mNode, expected.mNode) << id;
            EXPECT_TRUE(got.mTemplateName.IsEmpty()) << id;
        }
    }
    KQoxEffector head;
    ASSERT_TRUE(target->GetEffector(eHeadEffector, &head));
    EXPECT_EQ(head.mNode, nodes[4]);
    EXPECT_TRUE(head.mShow);
    EXPECT_FALSE(head.mRActive); // flags become show-only
    EXPECT_FALSE(head.mCandidateTActive);
    for (int s = 1; s <= 3; ++s)
    {
        KQoxNode* aux = nullptr;
        ASSERT_TRUE(target->GetEffectorAux(eHeadEffector, &aux, static_cast<EEffectorSetId>(s)));
        EXPECT_EQ(aux, nodes[4 + s]);
    }
    // Effectors without a node keep the defaults Reset gave them.
    KQoxEffector hips;
    ASSERT_TRUE(target->GetEffectorSlot(eHipsEffector, &hips));
    EXPECT_TRUE(hips.mTActive);
    EXPECT_EQ(Records(nodes[0], *target), 1); // the Hips link only
}

TEST_F(ControlSetPlugTest, EffectorListsArePackedAndReadBackByPosition)
{
    PlugPtr plug = Plug();
    auto source = MakeControlSet();
    KQoxNode* second = Node("Second");
    KQoxNode* seventh = Node("Seventh");
    ASSERT_TRUE(source->SetEffectorAux(eLeftKneeEffector, second, static_cast<EEffectorSetId>(2)));
    ASSERT_TRUE(source->SetEffectorAux(eLeftKneeEffector, seventh, static_cast<EEffectorSetId>(7)));
    source->ToPlug(plug.get());
    KPropertyObjectList* list = List(*plug, "LeftKneeEffector");
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetAt(0), Block(second));
    EXPECT_EQ(list->GetAt(1), Block(seventh));

    // Read back, the first auxiliary node becomes the effector's own node.
    auto target = MakeControlSet();
    target->FromPlug(plug.get());
    KQoxEffector knee;
    ASSERT_TRUE(target->GetEffector(eLeftKneeEffector, &knee));
    EXPECT_EQ(knee.mNode, second);
    KQoxNode* aux = nullptr;
    ASSERT_TRUE(target->GetEffectorAux(eLeftKneeEffector, &aux, eFirstEffectorSet));
    EXPECT_EQ(aux, seventh);
    for (int s = 2; s <= eLastEffectorSet; ++s)
        EXPECT_FALSE(target->GetEffectorAux(eLeftKneeEffector, nullptr, static_cast<EEffectorSetId>(s))) << s;
}

TEST_F(ControlSetPlugTest, FromPlugSkipsWhatIsNoNodeBlock)
{
    PlugPtr plug = Plug();
    PlugPtr otherPlug = Plug();
    KQoxNode* node = Node("Node");
    KQoxNode* extra = Node("Extra");
    KObject plain; // neither a node's block nor any property block
    // Link list: a plug's block first, then a node's; only position 0 counts.
    ASSERT_TRUE(List(*plug, "Hips")->Add(otherPlug->GetProperties()));
    ASSERT_TRUE(List(*plug, "Hips")->Add(Block(node)));
    ASSERT_TRUE(List(*plug, "Head")->Add(Block(node)));
    ASSERT_TRUE(List(*plug, "Head")->Add(Block(extra)));
    // Effector list: a plain object, then a node, then 14 more nodes (the
    // position past set 14 is refused).
    KPropertyObjectList* effector = List(*plug, "HipsEffector");
    ASSERT_TRUE(effector->Add(&plain));
    ASSERT_TRUE(effector->Add(Block(node)));
    std::vector<KQoxNode*> more;
    for (int i = 0; i < 14; ++i)
    {
        more.push_back(Node("More" + std::to_string(i)));
        ASSERT_TRUE(effector->Add(Block(more.back())));
    }
    ASSERT_EQ(effector->GetCount(), 16);

    auto set = MakeControlSet();
    set->FromPlug(plug.get());
    EXPECT_FALSE(set->GetControlSetLink(eCharacterHips, nullptr));
    KQoxControlSetLink head;
    ASSERT_TRUE(set->GetControlSetLink(eCharacterHead, &head));
    EXPECT_EQ(head.mNode, node);
    EXPECT_FALSE(set->GetEffector(eHipsEffector, nullptr)); // position 0 skipped
    KQoxNode* aux = nullptr;
    ASSERT_TRUE(set->GetEffectorAux(eHipsEffector, &aux, eFirstEffectorSet));
    EXPECT_EQ(aux, node);
    ASSERT_TRUE(set->GetEffectorAux(eHipsEffector, &aux, eLastEffectorSet));
    EXPECT_EQ(aux, more[12]);

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
    ASSERT_TRUE(set->SetControlSetLink(eCharacterHips, Link(a)));
    ASSERT_TRUE(set->SetEffector(eHipsEffector, Effector(b)));
    {
        PlugPtr plug = Plug();
        set->ToPlug(plug.get());
        Destroy(a); // leaves the plug's list and the control set's slot
        EXPECT_EQ(List(*plug, "Hips")->GetCount(), 0);
        EXPECT_FALSE(set->GetControlSetLink(eCharacterHips, nullptr));
        auto copy = MakeControlSet();
        copy->FromPlug(plug.get());
        EXPECT_FALSE(copy->GetControlSetLink(eCharacterHips, nullptr));
        EXPECT_TRUE(copy->GetEffector(eHipsEffector, nullptr));
    } // the plug goes while b is still connected to it
    EXPECT_TRUE(set->GetEffector(eHipsEffector, nullptr));
    Destroy(b);
    EXPECT_FALSE(set->GetEffector(eHipsEffector, nullptr));
}
