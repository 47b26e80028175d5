// Node hierarchy, entity propagation, cycles, attributes, selection, child
// names and character links.

#include "node_test_util.h"

using namespace nodetest;

TEST_F(NodeTest, NewNodeDefaults)
{
    KQoxNode* node = Node("A");
    EXPECT_STREQ(node->GetName(), "Model::A");
    EXPECT_EQ(node->GetShadingMode(), KQoxNode::eLIGHT_SHADING);
    EXPECT_EQ(node->GetMultiTakeMode(), KQoxNode::eMULTI_TAKE);
    EXPECT_FALSE(node->GetMultiLayer());
    EXPECT_TRUE(node->GetVisibility());
    EXPECT_TRUE(node->GetProperties()->mShow.Value());
    EXPECT_EQ(node->GetDefaultVisibility(), 1.0);
    EXPECT_EQ(node->GetNodeAttribute(), nullptr);
    EXPECT_STREQ(node->GetTypeName().Buffer(), "Null");
    ASSERT_EQ(node->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(node->GetTypeFlags().GetStringAt(0), "Null");
    KQoxVector4 s(5, 5, 5, 7);
    ExpectVector(node->GetDefaultS(s), 1, 1, 1, 7);
    EXPECT_EQ(node->GetLastErrorID(), -1);
}

TEST_F(NodeTest, AddChildMovesCountsAndFinds)
{
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    KQoxNode* c = Node("C");
    KQoxNode* root = Tree("Root", {Tree("L", {a}), Tree("R", {b})});
    EXPECT_EQ(root->GetChildCount(true), 4);
    EXPECT_EQ(a->GetParent()->GetParent(), root);
    // Moving a child takes it from its old parent.
    KQoxNode* left = root->GetChild(0);
    EXPECT_TRUE(root->GetChild(1)->AddChild(a));
    EXPECT_EQ(left->GetChildCount(false), 0);
    EXPECT_EQ(a->GetParent(), root->GetChild(1));
    EXPECT_EQ(root->GetChild(1)->GetChild(1), a);
    EXPECT_EQ(root->GetChild(5), nullptr);
    EXPECT_EQ(root->GetChild(-1), nullptr);
    // Bare, prefixed, recursive and initial-name lookups.
    EXPECT_EQ(root->FindChild("B", true, false), b);
    EXPECT_EQ(root->FindChild("Model::B", true, false), b);
    EXPECT_EQ(root->FindChild("Material::B", true, false), b);
    EXPECT_EQ(root->FindChild("B", false, false), nullptr);
    b->SetName("Renamed");
    EXPECT_EQ(root->FindChild("B", true, true), b);
    EXPECT_EQ(root->FindChild("B", true, false), nullptr);
    EXPECT_EQ(root->RemoveChild(c), c);
    EXPECT_EQ(root->RemoveChild(nullptr), nullptr);
    EXPECT_FALSE(root->AddChild(nullptr));
}

TEST_F(NodeTest, AddChildRefusesEveryCycleBeforeDetaching)
{
    KQoxNode* leaf = Node("Leaf");
    KQoxNode* mid = Tree("Mid", {leaf});
    KQoxNode* top = Tree("Top", {mid});
    KQoxNode* other = Tree("Other", {});
    other->AddChild(Node("X"));
    struct
    {
        KQoxNode* mParent;
        KQoxNode* mChild;
    } const cycles[] = {{leaf, leaf}, {leaf, mid}, {leaf, top}, {mid, top}, {mid, mid}};
    for (const auto& c : cycles)
    {
        KQoxNode* oldParent = c.mChild->GetParent();
        EXPECT_FALSE(c.mParent->AddChild(c.mChild));
        EXPECT_EQ(c.mParent->GetLastErrorID(), KQoxNode::eCYCLIC_GRAPH);
        EXPECT_STREQ(c.mParent->GetLastErrorString(),
                     "Operation with a target of the entity would generate a cyclic graph");
        EXPECT_EQ(c.mChild->GetParent(), oldParent); // not detached
    }
    // The raw connection is refused the same way.
    EXPECT_FALSE(leaf->GetProperties()->ConnectSrc(top->GetProperties()));
    EXPECT_EQ(top->GetChildCount(true), 2);
    // A sibling subtree may move under a leaf.
    EXPECT_TRUE(leaf->AddChild(other));
    EXPECT_EQ(top->GetChildCount(true), 4);
}

TEST_F(NodeTest, AttachingPropagatesTheEntityAndRefusesMembersOfTheSameEntity)
{
    KQoxEntity entity(*mManager);
    KQoxNode* root = entity.GetRootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "Model::RootNode");
    EXPECT_EQ(root->GetEntity(), &entity);
    EXPECT_EQ(entity.GetNodeCount(), 1);

    KQoxNode* child = Node("Child");
    KQoxNode* sub = Tree("Sub", {child});
    EXPECT_TRUE(root->AddChild(sub));
    EXPECT_EQ(sub->GetEntity(), &entity);
    EXPECT_EQ(child->GetEntity(), &entity);
    EXPECT_EQ(entity.GetNodeCount(), 3);

    // Moving inside the entity: detaching clears the entity, attaching restores it.
    EXPECT_TRUE(root->AddChild(child));
    EXPECT_EQ(child->GetEntity(), &entity);
    EXPECT_EQ(entity.GetNodeCount(), 3);

    // The root (in the entity, no parent) cannot go under one of its own.
    EXPECT_FALSE(sub->AddChild(root));
    EXPECT_EQ(sub->GetLastErrorID(), KQoxNode::eCYCLIC_GRAPH);

    // A parent outside any entity gives the child none.
    KQoxNode* loose = Node("Loose");
    EXPECT_TRUE(loose->AddChild(sub));
    EXPECT_EQ(sub->GetEntity(), nullptr);
    EXPECT_EQ(entity.GetNodeCount(), 2);
    root->RemoveChild(child);
    EXPECT_EQ(child->GetEntity(), nullptr);
    EXPECT_EQ(entity.GetNodeCount(), 1);
}

TEST_F(NodeTest, AttachingASubtreeWithClashingNamesFailsAndChangesNothing)
{
    KQoxEntity entity(*mManager);
    KQoxNode* parent = Node("Parent");
    ASSERT_TRUE(entity.GetRootNode()->AddChild(parent));
    // Outside any entity the clash goes unnoticed; entering one, it fails.
    KQoxNode* loose = Tree("Loose", {Node("Twin"), Node("Twin")});
    EXPECT_FALSE(parent->AddChild(loose));
    EXPECT_EQ(loose->GetEntity(), nullptr);
    EXPECT_EQ(entity.GetNodeCount(), 2);
    EXPECT_EQ(parent->GetLastErrorID(), KQoxNode::eNODE_NAME_CLASH);
    EXPECT_STREQ(parent->GetLastErrorString(), "Node name clash");
    EXPECT_EQ(loose->GetParent(), nullptr);
    EXPECT_EQ(parent->GetChildCount(false), 0);
}

TEST_F(NodeTest, SetEntityDetectsClashesAgainstTheEntityOnlyWhenReplacing)
{
    KQoxEntity entity(*mManager);
    entity.GetRootNode()->AddChild(Node("A"));
    // With replace the entity's tree is compared: "A" clashes, nothing moved.
    KQoxEntity second(*mManager);
    second.GetRootNode()->AddChild(Node("A"));
    KQoxNode* other = Tree("C", {Node("A")});
    EXPECT_FALSE(other->SetEntity(&second, true));
    EXPECT_EQ(other->GetLastErrorID(), KQoxNode::eNODE_NAME_CLASH);
    EXPECT_EQ(other->GetEntity(), nullptr);
    EXPECT_EQ(second.GetNodeCount(), 2);
    // The same entity again is success at once.
    KQoxNode* root = second.GetRootNode();
    EXPECT_TRUE(root->SetEntity(&second, true));
    // Without replace only the subtree itself is checked.
    KQoxNode* unique = Tree("D", {Node("E")});
    EXPECT_TRUE(unique->SetEntity(&second, false));
    EXPECT_EQ(second.GetNodeCount(), 4);
    // Replacing detaches the old root and clears the entity first.
    KQoxNode* fresh = Tree("F", {Node("G")});
    EXPECT_TRUE(fresh->SetEntity(&second, true));
    EXPECT_EQ(second.GetNodeCount(), 2);
    EXPECT_EQ(root->GetEntity(), nullptr);
    EXPECT_EQ(second.GetRootNode(), nullptr);
}

TEST_F(NodeTest, AttributeRulesForLayersTakesAndOwners)
{
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    a->CreateTakeNode("Take 001");
    a->CreateTakeNode("Take 002");
    struct
    {
        KQoxNodeAttribute::EAttributeType mType;
        int mMarker;
        bool mMultiLayer;
        KQoxNode::EMultiTakeMode mMultiTake;
        const char* mGetter;
    } const cases[] = {{KQoxNodeAttribute::eMARKER, 2, true, KQoxNode::eMULTI_TAKE, "marker"},
                       {KQoxNodeAttribute::eMARKER, 3, true, KQoxNode::eMULTI_TAKE, "marker"},
                       {KQoxNodeAttribute::eMARKER, 1, false, KQoxNode::eNO_MULTI_TAKE, "marker"},
                       {KQoxNodeAttribute::eMARKER, 0, false, KQoxNode::eMULTI_TAKE, "marker"},
                       {KQoxNodeAttribute::eLIGHT, -1, false, KQoxNode::eNO_MULTI_TAKE, "light"},
                       {KQoxNodeAttribute::eCAMERA, -1, false, KQoxNode::eNO_MULTI_TAKE, "camera"},
                       {KQoxNodeAttribute::eMESH, -1, false, KQoxNode::eMULTI_TAKE, "geometry"},
                       {KQoxNodeAttribute::ePATCH, -1, false, KQoxNode::eMULTI_TAKE, "geometry"},
                       {KQoxNodeAttribute::eSKELETON, -1, false, KQoxNode::eMULTI_TAKE, "skeleton"}};
    for (const auto& c : cases)
    {
        TestAttribute* attribute = Attribute(c.mType, c.mMarker);
        KQoxNodeAttribute* previous = a->GetNodeAttribute();
        EXPECT_EQ(a->SetNodeAttribute(attribute), previous);
        EXPECT_EQ(attribute->mLog, "+1+1+1"); // once per take node
        EXPECT_EQ(a->GetMultiLayer(), c.mMultiLayer) << c.mType << " " << c.mMarker;
        EXPECT_EQ(a->GetMultiTakeMode(), c.mMultiTake) << c.mType << " " << c.mMarker;
        EXPECT_EQ(a->GetGeometry() != nullptr, std::string(c.mGetter) == "geometry");
        // The typed views need the attribute classes themselves; see the
        // attribute tests.
        EXPECT_EQ(a->GetLight(), nullptr);
        if (previous)
        {
            EXPECT_EQ(previous->GetNode(), nullptr);
            EXPECT_EQ(static_cast<TestAttribute*>(previous)->mLog, "+1+1+1---");
        }
    }
    KQoxNodeAttribute* held = a->GetNodeAttribute();
    EXPECT_EQ(a->SetNodeAttribute(held), nullptr); // already this node's
    // Taking the attribute of another node leaves that node without one.
    b->SetNodeAttribute(held);
    EXPECT_EQ(a->GetNodeAttribute(), nullptr);
    EXPECT_EQ(held->GetNode(), b);
}

TEST_F(NodeTest, NodeAndAttributeNeverPointAtFreedMemory)
{
    KQoxNode* a = Node("A");
    TestAttribute* attribute = Attribute(KQoxNodeAttribute::eNULL);
    a->SetNodeAttribute(attribute);
    EXPECT_TRUE(mManager->DestroyKQoxNodeAttribute(attribute));
    EXPECT_EQ(a->GetNodeAttribute(), nullptr);
    EXPECT_FALSE(mManager->DestroyKQoxNodeAttribute(attribute));
    EXPECT_STREQ(mManager->GetLastErrorString(), "Object not found");

    KQoxNode* b = Node("B");
    TestAttribute* second = Attribute(KQoxNodeAttribute::eNULL);
    b->SetNodeAttribute(second);
    EXPECT_TRUE(mManager->DestroyKQoxNode(b, false));
    EXPECT_EQ(second->GetNode(), nullptr);
    // The node's published user properties leave the manager with it.
    EXPECT_EQ(mManager->GetKQoxUserPropertyCount(), 54); // a's only: b's went with b
    EXPECT_NE(mManager->FindKQoxUserProperty("Lcl Scaling"), nullptr);
    EXPECT_TRUE(mManager->DestroyKQoxNode(a, false));
    EXPECT_EQ(mManager->GetKQoxUserPropertyCount(), 0);
    EXPECT_EQ(mManager->FindKQoxUserProperty("Lcl Scaling"), nullptr);
    // Destroying the node list in Clear after the attributes is safe too.
    KQoxNode* c = Node("C");
    c->SetNodeAttribute(Attribute(KQoxNodeAttribute::eMESH));
    mManager->Clear();
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 0);
}

TEST_F(NodeTest, RecursiveDestroyTakesSubtreesAndAttributes)
{
    KQoxNode* root = Tree("R", {Tree("A", {Node("A1"), Node("A2")}), Node("B")});
    root->GetChild(0)->SetNodeAttribute(Attribute(KQoxNodeAttribute::eSKELETON));
    root->SetNodeAttribute(Attribute(KQoxNodeAttribute::eNULL));
    KQoxNode* survivor = Node("S");
    KQoxNode* parent = Tree("P", {root});
    EXPECT_TRUE(mManager->DestroyKQoxNode(root, true));
    EXPECT_EQ(mManager->mDestroyNodeCalls, 5); // each child through the manager's own operation
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 2);
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), 0);
    EXPECT_EQ(parent->GetChildCount(false), 0);
    EXPECT_FALSE(mManager->DestroyKQoxNode(root, true));
    EXPECT_EQ(mManager->FindKQoxNode("S"), survivor);
}

TEST_F(NodeTest, DestroyingAParentLeavesChildrenWhole)
{
    KQoxEntity entity(*mManager);
    KQoxNode* child = Node("C");
    KQoxNode* parent = Tree("P", {child});
    entity.GetRootNode()->AddChild(parent);
    EXPECT_TRUE(mManager->DestroyKQoxNode(parent, false));
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_EQ(child->GetEntity(), nullptr);
    EXPECT_EQ(entity.GetNodeCount(), 1);
    EXPECT_EQ(entity.GetRootNode()->GetChildCount(false), 0);
}

TEST_F(NodeTest, TargetsKeepTheFirstConnected)
{
    KQoxNode* camera = Node("Cam");
    KQoxNode* first = Node("T1");
    KQoxNode* second = Node("T2");
    camera->SetTarget(nullptr);
    EXPECT_EQ(camera->GetTarget(), nullptr);
    camera->SetTarget(first);
    camera->SetTarget(second);
    camera->SetTarget(first);
    EXPECT_EQ(camera->GetTarget(), first);
    EXPECT_EQ(camera->GetProperties()->mLookAtProperty.GetCount(), 2);
    EXPECT_EQ(camera->GetProperties()->LookAtPropertyGet(1), second->GetProperties());
    camera->SetTargetUp(second);
    EXPECT_EQ(camera->GetTargetUp(), second);
    // A target is no child.
    EXPECT_EQ(camera->GetChildCount(false), 0);
    EXPECT_EQ(first->GetParent(), nullptr);
    mManager->DestroyKQoxNode(first, false);
    EXPECT_EQ(camera->GetTarget(), second);
}

TEST_F(NodeTest, SelectionVisibilityAndChildNames)
{
    KQoxNode* leaf = Node("Leaf");
    KQoxNode* root = Tree("Root", {Tree("Mid", {leaf})});
    leaf->SetSelected(true);
    EXPECT_FALSE(root->GetSelected(false));
    EXPECT_TRUE(root->GetSelected(true));
    root->SetSelected(false, true);
    EXPECT_FALSE(leaf->GetSelected(false));

    root->SetVisibility(false);
    EXPECT_FALSE(root->GetVisibility());
    EXPECT_FALSE(root->GetProperties()->mShow.Value());
    root->GetProperties()->mVisibility->SetDouble(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(root->GetVisibility());

    root->AddChildName("first");
    root->AddChildName("second");
    EXPECT_EQ(root->GetChildNameCount(), 2);
    EXPECT_STREQ(root->GetChildName(1), "second");
    EXPECT_EQ(root->GetChildName(2), nullptr);
    EXPECT_EQ(root->GetChildName(0xFFFFFFFFu), nullptr);
}

TEST_F(NodeTest, CharacterLinkRecords)
{
    KQoxNode* node = Node("N");
    auto* character = reinterpret_cast<KQoxCharacter*>(node); // an identity only, never dereferenced
    EXPECT_EQ(node->AddCharacterLink(character, 1, 4, 0), 0);
    EXPECT_EQ(node->AddCharacterLink(character, 1, 4, 0), 1);
    EXPECT_EQ(node->AddCharacterLink(character, 3, 4, 2), 2);
    EXPECT_EQ(node->FindCharacterLink(character, 3, 4, 2), 2);
    EXPECT_EQ(node->FindCharacterLink(character, 3, 4, 1), -1);
    EXPECT_EQ(node->FindCharacterLink(nullptr, 1, 4, 0), -1);
    EXPECT_EQ(node->RemoveCharacterLink(character, 1, 4, 0), 0);
    EXPECT_EQ(node->GetCharacterLinkCount(), 2);
    EXPECT_EQ(node->RemoveCharacterLink(character, 2, 4, 0), -1);
    KQoxCharacter* out = nullptr;
    int type = 0, index = 0, sub = 0;
    EXPECT_TRUE(node->GetCharacterLink(1, &out, &type, &index, &sub));
    EXPECT_EQ(out, character);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(sub, 2);
    EXPECT_FALSE(node->GetCharacterLink(2, &out, &type, &index, &sub));
    EXPECT_FALSE(node->GetCharacterLink(-1, &out, &type, &index, &sub));
    EXPECT_FALSE(node->GetCharacterLink(0, &out, nullptr, &index, &sub));
}
