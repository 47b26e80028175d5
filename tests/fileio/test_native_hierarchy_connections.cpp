// The native reader's hierarchy connections: children in node order under
// each parent, nodes left unconnected under the root, 100,000 nodes wide or
// deep, and every kind of damaged connection refused cleanly.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/kqox.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;

namespace {

typedef std::vector<std::pair<int, int>> Links; // child, parent (-1: the root)

// A file of count nodes "N<i>" and the given object connections, in order.
bool WriteHierarchy(const std::string& name, int count, const Links& links, bool ascii = false)
{
    KQox f;
    if (!f.ProjectCreate(name.c_str(), ascii ? KQox::eASCII : KQox::eBINARY, 6000))
        return false;
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (int i = 0; i < count; ++i)
    {
        f.FieldWriteBegin("Model");
        f.FieldWriteC(("Model::N" + std::to_string(i)).c_str());
        f.FieldWriteC("Null");
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    f.ProjectWriteSectionBegin("Connections", 6000);
    for (const auto& link : links)
    {
        f.FieldWriteBegin("Connect");
        f.FieldWriteC("OO");
        f.FieldWriteI(link.first);
        f.FieldWriteI(link.second);
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    return f.ProjectClose();
}

// The tree under node as text: "name(child child ...)", leaves by name.
std::string Tree(KQoxNode* node)
{
    std::string text = node->GetNameWithoutNameSpacePrefix().ToChars();
    if (node->GetChildCount(false) == 0)
        return text;
    text += "(";
    for (int i = 0; i < node->GetChildCount(false); ++i)
        text += (i ? " " : "") + Tree(node->GetChild(i));
    return text + ")";
}

std::string RootTree(KQoxScene& scene)
{
    std::string text;
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < root->GetChildCount(false); ++i)
        text += (i ? " " : "") + Tree(root->GetChild(i));
    return text;
}

} // namespace

TEST(NativeHierarchy, ChildrenFollowNodeOrderWhateverTheConnectionOrder)
{
    TempDir dir;
    const std::string name = dir.File("tree.qox");
    for (bool ascii : {false, true})
    {
        SCOPED_TRACE(ascii ? "ascii" : "binary");
        // N5 and N6 are never connected: they go under the root.
        ASSERT_TRUE(WriteHierarchy(name, 7, {{4, 2}, {3, 1}, {2, 0}, {1, 0}, {0, -1}}, ascii));
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        ASSERT_TRUE(fileiotest::Import(manager, scene, name));
        EXPECT_EQ(RootTree(scene), "N0(N1(N3) N2(N4)) N5 N6");
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(true), 7);
    }
}

TEST(NativeHierarchy, NodesOfOneNameInOneSubtreeReadBack)
{
    // A scene built node by node may hold nodes of one name under one child
    // of the root (a rig's two arms each with a "Joint"): its file reads back.
    TempDir dir;
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII})
    {
        SCOPED_TRACE(format);
        const std::string name = dir.File("rig.qox");
        std::string written;
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxNode* rig = manager.CreateKQoxNode("Rig");
            ASSERT_TRUE(scene.GetRootNode()->AddChild(rig));
            for (const char* side : {"ArmL", "ArmR"})
            {
                KQoxNode* arm = manager.CreateKQoxNode(side);
                ASSERT_TRUE(rig->AddChild(arm));
                KQoxNode* joint = manager.CreateKQoxNode("Joint");
                ASSERT_TRUE(arm->AddChild(joint));
                ASSERT_TRUE(joint->AddChild(manager.CreateKQoxNode("Tip")));
            }
            ASSERT_TRUE(rig->AddChild(manager.CreateKQoxNode("Joint")));
            written = RootTree(scene);
            ASSERT_EQ(written, "Rig(ArmL(Joint(Tip)) ArmR(Joint(Tip)) Joint)");
            ASSERT_TRUE(fileiotest::Export(manager, scene, name, format));
        }
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        ASSERT_TRUE(fileiotest::Import(manager, scene, name));
        EXPECT_EQ(RootTree(scene), written);
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(true), 8);
    }
}

TEST(NativeHierarchy, DamagedConnectionsAreRefusedAndLeaveNothing)
{
    const struct
    {
        const char* what;
        Links links;
    } cases[] = {
        {"own parent", {{0, -1}, {1, 1}}},
        {"parent after the child", {{0, 2}}},
        {"cycle", {{1, 2}, {2, 1}}},
        {"connected twice", {{1, 0}, {2, 0}, {1, 0}}},
        {"connected twice to different parents", {{2, 0}, {2, 1}}},
        {"connected to the root twice", {{0, -1}, {0, -1}}},
        {"unknown child", {{3, 0}}},
        {"negative child", {{-1, -1}}},
        {"parent below the root", {{1, -2}}},
        {"far beyond", {{1000000, -1}}},
    };
    TempDir dir;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string name = dir.File("damaged.qox");
        ASSERT_TRUE(WriteHierarchy(name, 3, c.links));
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        const int nodes = manager.GetKQoxNodeCount();
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        EXPECT_FALSE(importer.Import(scene));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(manager.GetKQoxNodeCount(), nodes);
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(false), 0);
    }
}

TEST(NativeHierarchy, HundredThousandNodesWideOrDeep)
{
    const int count = 100000;
    TempDir dir;
    for (bool deep : {false, true})
    {
        SCOPED_TRACE(deep ? "deep" : "wide");
        Links links;
        // Listed from the last node back: the reader orders them itself.
        for (int i = count - 1; i >= 0; --i)
            links.push_back({i, deep ? i - 1 : -1});
        const std::string name = dir.File("many.qox");
        ASSERT_TRUE(WriteHierarchy(name, count, links));
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        ASSERT_TRUE(fileiotest::Import(manager, scene, name));
        KQoxNode* root = scene.GetRootNode();
        EXPECT_EQ(root->GetChildCount(true), count);
        KQoxNode* node = root;
        for (int i = 0; i < count; ++i)
        {
            KQoxNode* next = deep ? node->GetChild(0) : root->GetChild(i);
            ASSERT_NE(next, nullptr) << i;
            ASSERT_STREQ(next->GetNameWithoutNameSpacePrefix().ToChars(), ("N" + std::to_string(i)).c_str());
            ASSERT_EQ(next->GetParent(), deep ? node : root) << i;
            ASSERT_EQ(next->GetChildCount(false), deep && i < count - 1 ? 1 : 0) << i;
            node = next;
        }
        EXPECT_EQ(root->GetChildCount(false), deep ? 1 : count);
    }
}
