// Node hierarchies of 100,000 nodes, wide (every node under one parent) and
// deep (a chain): the order of children through adds, removals and moves,
// cycles refused at any depth, and every order of destruction.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "node_test_util.h"
#include "scene/kqoxscene.h"

using namespace nodetest;

namespace {

const int kMany = 100000;

std::vector<KQoxNode*> Children(KQoxNode* node)
{
    std::vector<KQoxNode*> out;
    for (int i = 0; i < node->GetChildCount(false); ++i)
        out.push_back(node->GetChild(i));
    return out;
}

class NodeHierarchyScale : public NodeTest
{
protected:
    std::vector<KQoxNode*> Nodes(int count)
    {
        std::vector<KQoxNode*> nodes;
        for (int i = 0; i < count; ++i)
            nodes.push_back(Node(("N" + std::to_string(i)).c_str()));
        return nodes;
    }
    // A chain: nodes[i] the parent of nodes[i + 1]. Built from the top, or
    // from the bottom up (as the reader attaches).
    void Chain(const std::vector<KQoxNode*>& nodes, bool fromTheBottom)
    {
        const int count = static_cast<int>(nodes.size());
        for (int k = 1; k < count; ++k)
        {
            const int i = fromTheBottom ? count - k : k;
            ASSERT_TRUE(nodes[static_cast<size_t>(i - 1)]->AddChild(nodes[static_cast<size_t>(i)])) << i;
        }
    }
    void ExpectChain(const std::vector<KQoxNode*>& nodes, KQoxNode* top)
    {
        ASSERT_EQ(nodes[0]->GetParent(), top);
        for (size_t i = 1; i < nodes.size(); ++i)
        {
            ASSERT_EQ(nodes[i]->GetParent(), nodes[i - 1]) << i;
            ASSERT_EQ(nodes[i - 1]->GetChildCount(false), 1) << i;
            ASSERT_EQ(nodes[i - 1]->GetChild(0), nodes[i]) << i;
        }
        EXPECT_EQ(nodes.back()->GetChildCount(false), 0);
        EXPECT_EQ(nodes[0]->GetChildCount(true), static_cast<int>(nodes.size()) - 1);
    }
    void DestroyHalf(bool deep);
};

} // namespace

TEST_F(NodeHierarchyScale, WideChildrenKeepTheirOrderThroughRemovalsAndMoves)
{
    KQoxScene scene(*mManager);
    KQoxNode* root = scene.GetRootNode();
    std::vector<KQoxNode*> nodes = Nodes(kMany);
    for (KQoxNode* node : nodes)
        ASSERT_TRUE(root->AddChild(node));
    ASSERT_EQ(Children(root), nodes);
    for (KQoxNode* node : nodes)
        ASSERT_EQ(node->GetParent(), root);
    EXPECT_EQ(scene.GetRootNode()->GetChildCount(true), kMany);

    // Every tenth leaves from anywhere in the list; the first and the last go too.
    std::vector<KQoxNode*> expected;
    for (int i = 0; i < kMany; ++i)
    {
        KQoxNode* node = nodes[static_cast<size_t>(i)];
        if (i % 10 == 3 || i == 0 || i == kMany - 1)
            ASSERT_EQ(root->RemoveChild(node), node);
        else
            expected.push_back(node);
    }
    ASSERT_EQ(Children(root), expected);
    EXPECT_EQ(nodes[3]->GetParent(), nullptr);
    // One comes back: at the end.
    ASSERT_TRUE(root->AddChild(nodes[13]));
    expected.push_back(nodes[13]);
    ASSERT_EQ(Children(root), expected);
    // Moving children under a sibling takes them out of the root's list and
    // lists them there in the order of the moves.
    KQoxNode* sibling = nodes[1];
    std::vector<KQoxNode*> moved = {nodes[kMany / 2], nodes[7], nodes[kMany - 2]};
    for (KQoxNode* node : moved)
    {
        ASSERT_TRUE(sibling->AddChild(node));
        expected.erase(std::find(expected.begin(), expected.end(), node));
    }
    EXPECT_EQ(Children(sibling), moved);
    ASSERT_EQ(Children(root), expected);
    for (KQoxNode* node : moved)
        EXPECT_EQ(node->GetParent(), sibling);
    // A node cannot become a child of its own child.
    EXPECT_FALSE(moved[0]->AddChild(sibling));
    EXPECT_EQ(moved[0]->GetLastErrorID(), KQoxNode::eCYCLIC_GRAPH);
    EXPECT_EQ(sibling->GetParent(), root);
    ASSERT_EQ(Children(root), expected);
}

TEST_F(NodeHierarchyScale, DeepChainsFromEitherEndAndCyclesAtAnyDepth)
{
    for (bool fromTheBottom : {false, true})
    {
        SCOPED_TRACE(fromTheBottom ? "from the bottom" : "from the top");
        KQoxScene scene(*mManager);
        std::vector<KQoxNode*> nodes = Nodes(kMany);
        if (fromTheBottom)
        {
            Chain(nodes, true);
            ASSERT_TRUE(scene.GetRootNode()->AddChild(nodes[0]));
        }
        else
        {
            ASSERT_TRUE(scene.GetRootNode()->AddChild(nodes[0]));
            Chain(nodes, false);
        }
        ExpectChain(nodes, scene.GetRootNode());
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(true), kMany);
        // Nothing may hang under its own descendant, however deep.
        for (int i : {1, kMany / 2, kMany - 1})
        {
            EXPECT_FALSE(nodes[static_cast<size_t>(i)]->AddChild(nodes[0]));
            EXPECT_EQ(nodes[static_cast<size_t>(i)]->GetLastErrorID(), KQoxNode::eCYCLIC_GRAPH);
        }
        EXPECT_FALSE(nodes.back()->AddChild(nodes.back()));
        ExpectChain(nodes, scene.GetRootNode());
        // The lower half moves under the root, then back.
        KQoxNode* half = nodes[kMany / 2];
        ASSERT_TRUE(scene.GetRootNode()->AddChild(half));
        EXPECT_EQ(Children(scene.GetRootNode()), std::vector<KQoxNode*>({nodes[0], half}));
        EXPECT_EQ(nodes[kMany / 2 - 1]->GetChildCount(false), 0);
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(true), kMany);
        ASSERT_TRUE(nodes[kMany / 2 - 1]->AddChild(half));
        ExpectChain(nodes, scene.GetRootNode());
        for (KQoxNode* node : nodes)
            ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
    }
}

// Half the nodes of a wide or deep tree go, every other one, parents or
// children first; the others keep their place, and children whose parent
// went are left without one.
void NodeHierarchyScale::DestroyHalf(bool deep)
{
    for (bool parentsFirst : {true, false})
    {
        SCOPED_TRACE(parentsFirst ? "parents first" : "children first");
        KQoxScene scene(*mManager);
        KQoxNode* root = scene.GetRootNode();
        std::vector<KQoxNode*> nodes = Nodes(kMany);
        KQoxNode* top = nodes[0];
        ASSERT_TRUE(root->AddChild(top));
        if (deep)
            Chain(nodes, false);
        else
            for (size_t i = 1; i < nodes.size(); ++i)
                ASSERT_TRUE(top->AddChild(nodes[i]));
        const int before = mManager->GetKQoxNodeCount();
        std::vector<KQoxNode*> doomed, kept;
        for (int i = 0; i < kMany; ++i)
            (i % 2 == 1 ? doomed : kept).push_back(nodes[static_cast<size_t>(i)]);
        if (!parentsFirst)
            std::reverse(doomed.begin(), doomed.end());
        for (KQoxNode* node : doomed)
            ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
        EXPECT_EQ(mManager->GetKQoxNodeCount(), before - static_cast<int>(doomed.size()));
        EXPECT_EQ(Children(root), std::vector<KQoxNode*>({top}));
        if (deep)
        {
            for (size_t i = 1; i < kept.size(); ++i)
            {
                ASSERT_EQ(kept[i]->GetParent(), nullptr) << i;
                ASSERT_EQ(kept[i]->GetChildCount(false), 0) << i;
            }
            EXPECT_EQ(top->GetChildCount(true), 0);
        }
        else
        {
            std::vector<KQoxNode*> expected(kept.begin() + 1, kept.end());
            ASSERT_EQ(Children(top), expected);
        }
        for (KQoxNode* node : kept)
            ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
        EXPECT_EQ(root->GetChildCount(false), 0);
    }
}

TEST_F(NodeHierarchyScale, DestroyingHalfOfAWideTreeInEitherOrder)
{
    DestroyHalf(false);
}

TEST_F(NodeHierarchyScale, DestroyingHalfOfADeepTreeInEitherOrder)
{
    DestroyHalf(true);
}

TEST_F(NodeHierarchyScale, TheSceneGoesBeforeItsNodes)
{
    for (bool deep : {false, true})
    {
        SCOPED_TRACE(deep ? "deep" : "wide");
        auto* scene = new KQoxScene(*mManager);
        std::vector<KQoxNode*> nodes = Nodes(kMany);
        ASSERT_TRUE(scene->GetRootNode()->AddChild(nodes[0]));
        if (deep)
            Chain(nodes, false);
        else
            for (size_t i = 1; i < nodes.size(); ++i)
                ASSERT_TRUE(nodes[0]->AddChild(nodes[i]));
        delete scene;
        // The nodes outlive the scene, still hung together.
        EXPECT_EQ(nodes[0]->GetChildCount(true), kMany - 1);
        if (deep)
            EXPECT_EQ(nodes[kMany - 1]->GetParent(), nodes[kMany - 2]);
        else
            EXPECT_EQ(nodes[kMany - 1]->GetParent(), nodes[0]);
    }
    // The manager ends every node left, whatever hangs under what.
    mManager.reset();
}

TEST_F(NodeHierarchyScale, ChildrenReadTheSameWhetherListedBeforeOrAfterTheChanges)
{
    // One parent is asked for its children before every change, the other
    // only at the end: both list the same children in the same order.
    KQoxNode* early = Node("Early");
    KQoxNode* late = Node("Late");
    EXPECT_EQ(early->GetChildCount(false), 0);
    std::vector<KQoxNode*> a = Nodes(300), b = Nodes(300);
    for (int i = 0; i < 300; ++i)
    {
        ASSERT_TRUE(early->AddChild(a[static_cast<size_t>(i)]));
        ASSERT_TRUE(late->AddChild(b[static_cast<size_t>(i)]));
        if (i % 7 == 3)
        {
            // One leaves, another is moved to the end.
            early->RemoveChild(a[static_cast<size_t>(i / 2)]);
            late->RemoveChild(b[static_cast<size_t>(i / 2)]);
            ASSERT_TRUE(early->AddChild(a[static_cast<size_t>(i / 3)]));
            ASSERT_TRUE(late->AddChild(b[static_cast<size_t>(i / 3)]));
        }
        ASSERT_GT(early->GetChildCount(false), 0);
    }
    const std::vector<KQoxNode*> earlyChildren = Children(early), lateChildren = Children(late);
    ASSERT_EQ(earlyChildren.size(), lateChildren.size());
    for (size_t i = 0; i < earlyChildren.size(); ++i)
    {
        const size_t at = static_cast<size_t>(std::find(a.begin(), a.end(), earlyChildren[i]) - a.begin());
        ASSERT_LT(at, b.size());
        EXPECT_EQ(lateChildren[i], b[at]) << i;
    }
    EXPECT_EQ(early->GetChildCount(true), late->GetChildCount(true));
    // Lone nodes join an entity whatever their names: only a moved subtree
    // is checked against itself.
    KQoxScene scene(*mManager);
    ASSERT_TRUE(scene.GetRootNode()->AddChild(late));
    KQoxNode* namesake = Node("N5");
    ASSERT_TRUE(scene.GetRootNode()->AddChild(namesake));
    EXPECT_EQ(namesake->GetEntity(), late->GetEntity());
    ASSERT_TRUE(late->AddChild(namesake));
    EXPECT_EQ(namesake->GetParent(), late);
}
