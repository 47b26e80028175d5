// The reader's duplicate node name check against the node finder it stands
// for: same nodes reported, in the same order, with the same text.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fileio/kqoxreaderqox.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodefinder.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

// What a node-name-only finder without an entity reports, as the reader
// words it.
std::string FinderReport(KQoxNode* root, bool& clean)
{
    std::string message;
    KQoxNodeFinderDuplicateName finder(nullptr);
    for (int state = 0; state < KQoxNodeFinderDuplicateName::eSTATE_COUNT; ++state)
        finder.SetState(state, state == KQoxNodeFinderDuplicateName::eNODE_NAME);
    finder.Apply(*root);
    KArrayTemplate<KQoxNode*>& duplicates = finder.GetDuplicateNodeArray();
    for (int i = 0; i < duplicates.GetCount(); ++i)
        message += std::string("Duplicate node name: ") + duplicates[i]->GetName() + "\n";
    clean = duplicates.GetCount() == 0;
    return message;
}

class DuplicateNames : public ::testing::Test
{
protected:
    DuplicateNames()
        : mManager(KQoxSdkManager::CreateKQoxSdkManager())
        , mScene(*mManager->CreateKQoxScene())
        , mReader(*mManager)
    {}

    KQoxNode* Add(KQoxNode* parent, const std::string& name)
    {
        KQoxNode* node = mManager->CreateKQoxNode(name.c_str());
        parent->AddChild(node);
        return node;
    }

    // Checks the reader against the finder; returns the reader's text.
    std::string Check(KQoxNode* root)
    {
        bool expectedClean = true;
        const std::string expected = FinderReport(root, expectedClean);
        KString message("before\n");
        const bool clean = mReader.CheckDuplicateNodeNames(root, message);
        EXPECT_EQ(clean, expectedClean);
        const std::string got = message.ToChars();
        EXPECT_EQ(got, "before\n" + expected);
        return got.substr(7);
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxScene& mScene;
    KQoxReaderQox mReader;
};

} // namespace

TEST_F(DuplicateNames, NoRootAppendsNothing)
{
    KString message("x");
    EXPECT_TRUE(mReader.CheckDuplicateNodeNames(nullptr, message));
    EXPECT_STREQ(message.ToChars(), "x");
}

TEST_F(DuplicateNames, CleanTreeReportsNothing)
{
    KQoxNode* root = mScene.GetRootNode();
    Add(Add(root, "A"), "B");
    Add(root, "C");
    EXPECT_EQ(Check(root), "");
}

TEST_F(DuplicateNames, LaterNodesInPreOrderAreReported)
{
    KQoxNode* root = mScene.GetRootNode();
    KQoxNode* a = Add(root, "A");
    Add(Add(a, "B"), "A");   // below the first A
    Add(root, "B");          // after the subtree holding a B
    Add(root, "Scene");
    Add(Add(root, "C"), ""); // empty names get the same default
    Add(root, "");
    Add(root, "a"); // case counts
    const std::string got = Check(root);
    EXPECT_EQ(got, "Duplicate node name: Model::A\nDuplicate node name: Model::B\n"
                   "Duplicate node name: Model::Name\n");
}

TEST_F(DuplicateNames, DeepTree)
{
    KQoxNode* root = mScene.GetRootNode();
    KQoxNode* last = root;
    for (int i = 0; i < 20000; ++i)
        last = Add(last, "N" + std::to_string(i % 7000));
    const std::string got = Check(root);
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 13000);
}

TEST_F(DuplicateNames, WideAndMixedTrees)
{
    KQoxNode* root = mScene.GetRootNode();
    for (int i = 0; i < 300; ++i)
    {
        KQoxNode* branch = Add(root, "B" + std::to_string(i % 250));
        for (int k = 0; k < 5; ++k)
            Add(Add(branch, "L" + std::to_string((i * 5 + k) % 1111)), "B" + std::to_string(i + 200));
    }
    Check(root);
    // A subtree is checked on its own.
    Check(root->GetChild(3));
}

TEST_F(DuplicateNames, HundredThousandNodes)
{
    KQoxNode* root = mScene.GetRootNode();
    for (int i = 0; i < 1000; ++i)
    {
        KQoxNode* branch = Add(root, "Group" + std::to_string(i));
        for (int k = 0; k < 99; ++k)
            Add(branch, "Node" + std::to_string(i * 99 + k));
    }
    EXPECT_EQ(Check(root), "");
    Add(root->GetChild(999), "Node5");
    Add(root->GetChild(0), "Group999");
    EXPECT_EQ(Check(root), "Duplicate node name: Model::Group999\nDuplicate node name: Model::Node5\n");
}
