// The entity: node membership, reference counts and their messages, name
// validation with its sorting, and node arrays by attribute type.

#include "node_test_util.h"
#include "scene/kqoxnodefinder.h"

using namespace nodetest;

namespace {

// A named object of a chosen namespace, standing for a material, texture,
// video, generic node or deformer.
class Named : public KQoxObject
{
public:
    Named(KQoxSdkManager& manager, const char* name, ENameSpace space)
        : KQoxObject(manager, name)
        , mSpace(space)
    {}
    ENameSpace GetNameSpace() const override { return mSpace; }

private:
    ENameSpace mSpace;
};

} // namespace

TEST_F(NodeTest, EntityStartsWithItsRootNode)
{
    KQoxEntity entity(*mManager);
    EXPECT_EQ(entity.GetNodeCount(), 1);
    EXPECT_EQ(entity.GetNode(0), entity.GetRootNode());
    EXPECT_EQ(entity.GetNode(1), nullptr);
    EXPECT_FALSE(entity.AddNode(entity.GetRootNode()));
    EXPECT_STREQ(entity.GetLastErrorString(), "Node is already owned by the entity.");
    EXPECT_FALSE(entity.AddNode(nullptr));
    EXPECT_STREQ(entity.GetLastErrorString(), "Node is null.");
    KQoxNode* stranger = Node("Stranger");
    EXPECT_FALSE(entity.RemoveNode(stranger));
    EXPECT_EQ(entity.GetLastErrorID(), KQoxEntity::eNODE_NOT_OWNED);
    EXPECT_STREQ(entity.GetLastErrorString(), "Node does not belong to the entity.");
    EXPECT_TRUE(entity.RemoveNode(entity.GetRootNode()));
    EXPECT_EQ(entity.GetRootNode(), nullptr);
    KArrayTemplate<KQoxNode*> array;
    array.Add(stranger);
    entity.FillNodeArray(array, KQoxNodeAttribute::eNULL, true);
    EXPECT_EQ(array.GetCount(), 0);
}

TEST_F(NodeTest, EntityReferenceCountsAndMessages)
{
    KQoxEntity entity(*mManager);
    Named material(*mManager, "Material::Red", KQoxObject::eMATERIAL);
    Named texture(*mManager, "Texture::Wood", KQoxObject::eTEXTURE);
    Named video(*mManager, "Video::Clip", KQoxObject::eVIDEO);
    Named twin(*mManager, "Video::Clip", KQoxObject::eVIDEO);
    Named generic(*mManager, "Generic", KQoxObject::eNO_PREFIX);

    EXPECT_TRUE(entity.AddMaterial(&material));
    EXPECT_TRUE(entity.AddMaterial(&material));
    EXPECT_EQ(entity.GetMaterialCount(), 1);
    EXPECT_FALSE(entity.RemoveMaterial(&material));
    EXPECT_STREQ(entity.GetLastErrorString(), "Material still in use.");
    EXPECT_EQ(entity.GetMaterialCount(), 1);
    EXPECT_EQ(entity.GetMaterialIndex("Material::Red"), 0);
    EXPECT_EQ(entity.GetMaterial(KString("Material::Red")), &material);
    EXPECT_TRUE(entity.RemoveMaterial(&material));
    EXPECT_EQ(entity.GetMaterialCount(), 0);
    EXPECT_FALSE(entity.RemoveMaterial(&material));
    EXPECT_STREQ(entity.GetLastErrorString(), "Material not found.");
    EXPECT_EQ(entity.GetMaterialIndex("Material::Red"), -1);
    EXPECT_EQ(entity.GetMaterial(-1), nullptr);
    EXPECT_STREQ(entity.GetLastErrorString(), "Parameter is out of range.");
    EXPECT_EQ(entity.GetMaterial(entity.GetMaterialCount()), nullptr);

    EXPECT_TRUE(entity.AddTexture(&texture));
    EXPECT_TRUE(entity.AddTexture(&texture));
    EXPECT_FALSE(entity.RemoveTexture(&texture));
    EXPECT_STREQ(entity.GetLastErrorString(), "Texture still in use.");
    EXPECT_EQ(entity.GetTexture(KString("Texture::Stone")), nullptr);
    EXPECT_STREQ(entity.GetLastErrorString(), "Texture not found.");

    EXPECT_TRUE(entity.AddVideo(&video));
    EXPECT_FALSE(entity.AddVideo(&twin));
    EXPECT_STREQ(entity.GetLastErrorString(), "Video name clash.");
    EXPECT_EQ(entity.GetVideoCount(), 1);
    EXPECT_TRUE(entity.AddVideo(&video));
    EXPECT_FALSE(entity.RemoveVideo(&video));
    EXPECT_STREQ(entity.GetLastErrorString(), "Video still in use.");
    EXPECT_FALSE(entity.RemoveVideo(&twin));
    EXPECT_STREQ(entity.GetLastErrorString(), "Video not found.");

    EXPECT_TRUE(entity.AddGenericNode(&generic));
    EXPECT_EQ(entity.GetGenericNode("Generic"), &generic);
    EXPECT_EQ(entity.GetGenericNode("Other"), nullptr);
    EXPECT_TRUE(entity.RemoveGenericNode(&generic));
    EXPECT_FALSE(entity.RemoveGenericNode(&generic));
    EXPECT_EQ(entity.GetLastErrorID(), KQoxEntity::eGENERIC_NODE_NOT_FOUND);
    EXPECT_EQ(entity.GetDeformer(0), nullptr);

    // Clear keeps videos, generic nodes and deformers.
    entity.AddMaterial(&material);
    entity.Clear();
    EXPECT_EQ(entity.GetNodeCount(), 0);
    EXPECT_EQ(entity.GetMaterialCount(), 0);
    EXPECT_EQ(entity.GetTextureCount(), 0);
    EXPECT_EQ(entity.GetVideoCount(), 1);
}

TEST_F(NodeTest, ValidateNameSortsTheConsultedListsOnce)
{
    KQoxEntity entity(*mManager);
    KQoxNode* root = entity.GetRootNode();
    const char* const names[] = {"Delta", "alpha", "Charlie", "Bravo", "Echo"};
    for (const char* name : names)
        ASSERT_TRUE(root->AddChild(Node(name)));
    Named probe(*mManager, "Model::Probe", KQoxObject::eNODE);
    unsigned int index = 99;
    EXPECT_TRUE(entity.ValidateName(probe, "Model::Charlie", &index));
    // Ascending strcmp order: upper case before lower case.
    const char* const sorted[] = {"Model::Bravo", "Model::Charlie",  "Model::Delta",
                                  "Model::Echo",  "Model::RootNode", "Model::alpha"};
    ASSERT_EQ(entity.GetNodeCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(entity.GetNode(i)->GetName(), sorted[i]);
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(entity.ValidateName(probe, "Model::Zulu", &index));
    EXPECT_TRUE(entity.ValidateNewName(probe, "Model::Zulu"));
    EXPECT_FALSE(entity.ValidateNewName(probe, "Model::RootNode"));
    // A node added later joins the order at the next lookup.
    root->AddChild(Node("Able"));
    EXPECT_TRUE(entity.ValidateName(probe, "Model::Able", &index));
    EXPECT_EQ(index, 0u);
    EXPECT_STREQ(entity.GetNode(6)->GetName(), "Model::alpha");
    // A renamed node is found under its new name.
    entity.GetNode(0)->SetName("zz");
    EXPECT_TRUE(entity.ValidateName(probe, "Model::zz", &index));
    EXPECT_EQ(index, 6u);
    // Namespaces without lists answer false; materials with none answer true.
    Named other(*mManager, "Pose::P", KQoxObject::ePOSE);
    EXPECT_FALSE(entity.ValidateName(other, "Model::zz"));
    Named material(*mManager, "Material::M", KQoxObject::eMATERIAL);
    EXPECT_TRUE(entity.ValidateName(material, "Material::Nothing"));
    // No-prefix objects must be found in every non-empty list.
    Named generic(*mManager, "G", KQoxObject::eNO_PREFIX);
    EXPECT_TRUE(entity.ValidateName(generic, "Model::Bravo"));
    entity.AddMaterial(&material);
    EXPECT_FALSE(entity.ValidateName(generic, "Model::Bravo"));
    entity.RemoveMaterial(&material);
}

TEST_F(NodeTest, FillNodeArrayByListOrTreeOrder)
{
    KQoxEntity entity(*mManager);
    KQoxNode* root = entity.GetRootNode();
    KQoxNode* a = Node("A");
    KQoxNode* a1 = Node("A1");
    KQoxNode* b = Node("B");
    KQoxNode* a2 = Node("A2");
    a->AddChild(a1);
    a->AddChild(a2);
    root->AddChild(b);
    root->AddChild(a);
    for (KQoxNode* n : {a, a1, a2, b})
        n->SetNodeAttribute(Attribute(KQoxNodeAttribute::eMARKER, 0));
    a1->SetNodeAttribute(Attribute(KQoxNodeAttribute::eMESH));
    KArrayTemplate<KQoxNode*> array;
    entity.FillNodeArray(array, KQoxNodeAttribute::eMARKER, true);
    ASSERT_EQ(array.GetCount(), 3);
    EXPECT_EQ(array[0], b);
    EXPECT_EQ(array[1], a);
    EXPECT_EQ(array[2], a2);
    entity.FillNodeArray(array, KQoxNodeAttribute::eMARKER, false);
    ASSERT_EQ(array.GetCount(), 3); // list order: b joined first
    EXPECT_EQ(array[0], b);
    EXPECT_EQ(array[1], a);
    // A node listed but outside the root's tree is only found in list order.
    KQoxNode* loose = Node("Loose");
    loose->SetNodeAttribute(Attribute(KQoxNodeAttribute::eMESH));
    entity.AddNode(loose);
    entity.FillNodeArray(array, KQoxNodeAttribute::eMESH, true);
    EXPECT_EQ(array.GetCount(), 1);
    entity.FillNodeArray(array, KQoxNodeAttribute::eMESH, false);
    EXPECT_EQ(array.GetCount(), 2);
    entity.RemoveNode(loose);
}

TEST_F(NodeTest, DuplicateNameFinderWalk)
{
    KQoxNode* first = Node("Same");
    KQoxNode* second = Node("Same");
    KQoxNode* root = Tree("Root", {Tree("Mid", {first}), second});
    KQoxNodeFinderDuplicateName finder(nullptr);
    KArrayTemplate<KQoxNode*>& found = finder.Apply(*root);
    ASSERT_EQ(found.GetCount(), 1);
    EXPECT_EQ(found[0], second);
    EXPECT_EQ(finder.GetNodeArray().GetCount(), 4);
    EXPECT_EQ(finder.GetNodeArray()[2], first); // pre-order
    // A second walk without Reset reports everything met before.
    finder.Apply(*root);
    EXPECT_EQ(found.GetCount(), 5);
    EXPECT_EQ(finder.GetNodeArray().GetCount(), 4);
    // With the checks off nothing is a duplicate, but nodes are still met.
    KQoxNodeFinderDuplicateName quiet(nullptr);
    for (int i = 0; i < 4; ++i)
        quiet.SetState(i, false);
    EXPECT_EQ(quiet.Apply(*root).GetCount(), 0);
    EXPECT_EQ(quiet.GetNodeArray().GetCount(), 4);
    EXPECT_FALSE(quiet.GetState(7));
    // Generic names against the generic nodes met.
    Named generic(*mManager, "Generic", KQoxObject::eNO_PREFIX);
    EXPECT_FALSE(quiet.CheckGenericNodeName("Generic"));
    quiet.GetGenericNodeArray().Add(&generic);
    EXPECT_TRUE(quiet.CheckGenericNodeName("Generic"));
    EXPECT_EQ(quiet.GetDuplicateGenericNodeArray()[0], &generic);
    EXPECT_FALSE(quiet.CheckGenericNodeName(nullptr));
}

// A node whose name is both in the entity's tree and met before in the walk
// is reported once; names met are kept for the walk that follows.
TEST_F(NodeTest, DuplicateNameFinderReportsANodeOnce)
{
    KQoxEntity entity(*mManager);
    ASSERT_TRUE(entity.GetRootNode()->AddChild(Node("Taken")));
    KQoxNode* first = Node("Taken");
    KQoxNode* second = Node("Taken");
    KQoxNode* fresh = Node("Fresh");
    KQoxNode* root = Tree("Walked", {first, second, fresh});
    KQoxNodeFinderDuplicateName finder(&entity);
    KArrayTemplate<KQoxNode*>& found = finder.Apply(*root);
    ASSERT_EQ(found.GetCount(), 2);
    EXPECT_EQ(found[0], first);
    EXPECT_EQ(found[1], second);
    EXPECT_EQ(finder.GetNodeArray().GetCount(), 4);
    // Without the entity: the second of a name only, and a node met again
    // (the walk repeated) clashes with its own name.
    KQoxNodeFinderDuplicateName alone(nullptr);
    EXPECT_EQ(alone.Apply(*root).GetCount(), 1);
    EXPECT_EQ(alone.GetDuplicateNodeArray()[0], second);
    EXPECT_TRUE(alone.CheckNodeName(*fresh));
    EXPECT_EQ(alone.GetNodeArray().GetCount(), 4);
    root->RemoveChild(first);
    root->RemoveChild(second);
    root->RemoveChild(fresh);
}

TEST_F(NodeTest, BuildingLargeTreesInAnEntity)
{
    const int count = 100000;
    KQoxEntity entity(*mManager);
    // Top down: a chain as deep as half the nodes, each new leaf joining the
    // entity on its own.
    KQoxNode* chainTop = nullptr;
    KQoxNode* tail = entity.GetRootNode();
    for (int i = 0; i < count / 2; ++i)
    {
        KQoxNode* node = Node(("T" + std::to_string(i)).c_str());
        ASSERT_TRUE(tail->AddChild(node));
        chainTop = chainTop ? chainTop : node;
        tail = node;
    }
    // Bottom up: a wide subtree built outside joins in one step.
    KQoxNode* top = Node("B0");
    for (int i = 1; i < count / 2; ++i)
        ASSERT_TRUE(top->AddChild(Node(("B" + std::to_string(i)).c_str())));
    ASSERT_TRUE(tail->AddChild(top));
    EXPECT_EQ(entity.GetNodeCount(), count + 1);
    EXPECT_EQ(entity.GetRootNode()->GetChildCount(true), count);
    // One duplicate anywhere refuses the whole subtree.
    KQoxNode* clash = Tree("Clash", {Node("X"), Node("Y")});
    clash->GetChild(1)->AddChild(Node("X"));
    EXPECT_FALSE(entity.GetRootNode()->AddChild(clash));
    EXPECT_EQ(clash->GetEntity(), nullptr);
    EXPECT_EQ(entity.GetNodeCount(), count + 1);
    // The chain under its own tail would be a cycle.
    EXPECT_FALSE(tail->AddChild(chainTop));
    Named probe(*mManager, "Model::Probe", KQoxObject::eNODE);
    EXPECT_TRUE(entity.ValidateName(probe, "Model::T49999"));
    tail->SetNodeAttribute(Attribute(KQoxNodeAttribute::eNULL));
    KArrayTemplate<KQoxNode*> nulls;
    entity.FillNodeArray(nulls, KQoxNodeAttribute::eNULL, true);
    ASSERT_EQ(nulls.GetCount(), 1);
    EXPECT_EQ(nulls[0], tail);
    EXPECT_TRUE(mManager->DestroyKQoxNode(chainTop, true));
    EXPECT_EQ(entity.GetNodeCount(), 1);
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 5); // the root and the clash's four
}
