// The entity's node list: a node keeps its place in the list of the entity
// that listed it first; an entity listing a node another entity lists too
// keeps that place itself. Both answer membership, removal, position
// reads, compaction and name validation alike.

#include <string>
#include <vector>

#include "node_test_util.h"

using namespace nodetest;

TEST_F(NodeTest, NodeListedByTwoEntitiesIsMemberOfBoth)
{
    KQoxEntity first(*mManager);
    KQoxEntity second(*mManager);
    KQoxNode* a = Node("a");
    KQoxNode* b = Node("b");
    ASSERT_TRUE(first.AddNode(a));
    ASSERT_TRUE(second.AddNode(a));
    ASSERT_TRUE(second.AddNode(b));
    ASSERT_TRUE(first.AddNode(b));
    EXPECT_FALSE(first.AddNode(a));
    EXPECT_EQ(KQoxEntity::eNODE_ALREADY_OWNED, first.GetLastErrorID());
    EXPECT_FALSE(second.AddNode(a));
    EXPECT_EQ(KQoxEntity::eNODE_ALREADY_OWNED, second.GetLastErrorID());
    EXPECT_EQ((std::vector<KQoxNode*>{first.GetRootNode(), a, b}), Listed(first));
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode(), a, b}), Listed(second));

    // Out of the first, still in the second; back in the first at the end.
    ASSERT_TRUE(first.RemoveNode(a));
    EXPECT_FALSE(first.RemoveNode(a));
    EXPECT_EQ(KQoxEntity::eNODE_NOT_OWNED, first.GetLastErrorID());
    EXPECT_FALSE(second.AddNode(a));
    EXPECT_EQ((std::vector<KQoxNode*>{first.GetRootNode(), b}), Listed(first));
    ASSERT_TRUE(first.AddNode(a));
    EXPECT_EQ((std::vector<KQoxNode*>{first.GetRootNode(), b, a}), Listed(first));

    // Out of the second, which then compacts; back in and out again.
    ASSERT_TRUE(second.RemoveNode(a));
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode(), b}), Listed(second));
    ASSERT_TRUE(second.AddNode(a));
    EXPECT_FALSE(second.AddNode(a));
    ASSERT_TRUE(second.RemoveNode(b));
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode(), a}), Listed(second));
    ASSERT_TRUE(first.RemoveNode(b));
    ASSERT_TRUE(first.RemoveNode(a));
    EXPECT_EQ(1, first.GetNodeCount());
    ASSERT_TRUE(second.RemoveNode(a));
    EXPECT_EQ(1, second.GetNodeCount());
    ASSERT_TRUE(first.AddNode(b));
    ASSERT_TRUE(second.AddNode(b));
    second.Clear();
    EXPECT_EQ(0, second.GetNodeCount());
    EXPECT_FALSE(second.RemoveNode(b));
    EXPECT_TRUE(first.RemoveNode(b));
    ASSERT_TRUE(second.AddNode(b));
    EXPECT_EQ((std::vector<KQoxNode*>{b}), Listed(second));
    ASSERT_TRUE(second.RemoveNode(b));
}

TEST_F(NodeTest, EntityPositionsFollowRemovalsCompactionAndNameOrder)
{
    KQoxEntity entity(*mManager);
    std::vector<KQoxNode*> nodes;
    // Names in falling order, so that validation sorts the list.
    for (int i = 0; i < 40; ++i)
    {
        nodes.push_back(Node(("n" + std::to_string(100 - i)).c_str()));
        ASSERT_TRUE(entity.AddNode(nodes.back()));
    }
    for (int i = 0; i < 40; i += 3)
        ASSERT_TRUE(entity.RemoveNode(nodes[i]));
    EXPECT_TRUE(entity.ValidateName(*nodes[1], nodes[1]->GetName()));
    // Every node still listed is found and removed at its new position.
    for (int i = 0; i < 40; ++i)
    {
        if (i % 3 == 0)
        {
            EXPECT_FALSE(entity.RemoveNode(nodes[i]));
            continue;
        }
        const int before = entity.GetNodeCount();
        ASSERT_TRUE(entity.RemoveNode(nodes[i])) << i;
        EXPECT_EQ(before - 1, entity.GetNodeCount());
        for (int k = 0; k < entity.GetNodeCount(); ++k)
            EXPECT_NE(nodes[i], entity.GetNode(k));
        if (i % 5 == 0)
        {
            EXPECT_TRUE(entity.ValidateName(*entity.GetRootNode(), entity.GetRootNode()->GetName()));
        }
    }
    EXPECT_EQ((std::vector<KQoxNode*>{entity.GetRootNode()}), Listed(entity));
    for (KQoxNode* node : nodes)
        ASSERT_TRUE(entity.AddNode(node));
    EXPECT_EQ(41, entity.GetNodeCount());
}

TEST_F(NodeTest, NodeDestroyedWhileListedLeavesTheList)
{
    KQoxEntity entity(*mManager);
    KQoxNode* kept = Node("kept");
    KQoxNode* gone = Node("gone");
    ASSERT_TRUE(entity.AddNode(gone));
    ASSERT_TRUE(entity.AddNode(kept));
    ASSERT_TRUE(mManager->DestroyKQoxNode(gone, false));
    EXPECT_EQ((std::vector<KQoxNode*>{entity.GetRootNode(), kept}), Listed(entity));
    KQoxNode* again = Node("again");
    ASSERT_TRUE(entity.AddNode(again));
    EXPECT_EQ((std::vector<KQoxNode*>{entity.GetRootNode(), kept, again}), Listed(entity));
}

TEST_F(NodeTest, AttachedSubtreesMoveBetweenScenesWithTheirEntries)
{
    KQoxEntity first(*mManager);
    KQoxEntity second(*mManager);
    KQoxNode* top = Tree("top", {Node("x"), Node("y")});
    ASSERT_TRUE(first.GetRootNode()->AddChild(top));
    EXPECT_EQ(4, first.GetNodeCount());
    ASSERT_TRUE(second.GetRootNode()->AddChild(top));
    EXPECT_EQ(1, first.GetNodeCount());
    EXPECT_EQ(4, second.GetNodeCount());
    EXPECT_EQ(&second, top->GetChild(1)->GetEntity());
    first.GetRootNode()->AddChild(top->GetChild(0));
    EXPECT_EQ(2, first.GetNodeCount());
    EXPECT_EQ(3, second.GetNodeCount());
    EXPECT_FALSE(second.AddNode(top));
    EXPECT_FALSE(first.RemoveNode(top));
}
