// A node's transform channels read from a native file in shapes a writer
// never gives them: T and S with a member beyond X, Y and Z, R given the
// quaternion layer type (which adds a member W). The node's local matrix,
// from the default take and from a take at a time, is made of X, Y and Z
// alone, and reading the channels never writes past them.

#include <gtest/gtest.h>

#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

const long long kSecond = 46186158000LL;

// Every occurrence of `after` in text followed by `insert`; the count made.
int InsertAfterEach(std::string& text, const std::string& after, const std::string& insert)
{
    int count = 0;
    for (size_t at = text.find(after); at != std::string::npos;
         at = text.find(after, at + after.size() + insert.size()))
    {
        text.insert(at + after.size(), insert);
        ++count;
    }
    return count;
}

int ReplaceEach(std::string& text, const std::string& from, const std::string& to)
{
    int count = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    {
        text.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

} // namespace

TEST(NativeTransformMembers, LocalMatrixReadsXYZOfMembersOfOtherShapes)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* ball = manager.CreateKQoxNode("Ball");
    scene.GetRootNode()->AddChild(ball);
    KQoxTakeNode* take = ball->CreateTakeNode("Walk");
    ASSERT_NE(take, nullptr);
    KFCurve* x = take->GetTranslationX();
    x->KeyModifyBegin();
    x->KeyAppendFast(KTime(0), 0.0f);
    x->KeyAppendFast(KTime(kSecond), 10.0f);
    x->KeyModifyEnd();
    take->GetKFCurveNode()->FindRecursive("T")->Get(1)->FCurveGet()->SetValue(2.0f);
    take->GetKFCurveNode()->FindRecursive("S")->Get(2)->FCurveGet()->SetValue(3.0f);
    const std::string name = dir.File("members.qox");
    ASSERT_TRUE(fileiotest::Export(manager, scene, name, eEXPORT_QOX_ASCII));

    std::string text = ReadFile(name);
    const std::string extra = "\nChannel: \"Q\" {\nDefault: 50\n}\n";
    ASSERT_GT(InsertAfterEach(text, "Channel: \"T\" {", extra), 0);
    ASSERT_GT(InsertAfterEach(text, "Channel: \"S\" {", extra), 0);
    ASSERT_GT(ReplaceEach(text, "LayerType: 2", "LayerType: 4"), 0);
    ASSERT_TRUE(WriteFile(name, text));

    KQoxScene read(manager);
    ASSERT_TRUE(fileiotest::Import(manager, read, name));
    ASSERT_EQ(read.GetRootNode()->GetChildCount(), 1);
    KQoxNode* node = read.GetRootNode()->GetChild(0);
    ASSERT_TRUE(node->SetCurrentTakeNode("Walk"));
    KFCurveNode* root = node->GetCurrentTakeNode()->GetKFCurveNode();
    ASSERT_EQ(root->FindRecursive("T")->GetCount(), 4);
    ASSERT_EQ(root->FindRecursive("R")->GetCount(), 4);
    ASSERT_EQ(root->FindRecursive("S")->GetCount(), 4);

    // Half a second into the take: X 5, Y 2; scaling (1, 1, 3), no rotation.
    const KQoxXMatrix local = node->GetLocalFromCurrentTake(KTime(kSecond / 2));
    EXPECT_NEAR(local.Get(3, 0), 5.0, 1e-4);
    EXPECT_NEAR(local.Get(3, 1), 2.0, 1e-4);
    EXPECT_NEAR(local.Get(3, 2), 0.0, 1e-4);
    EXPECT_NEAR(local.Get(0, 0), 1.0, 1e-4);
    EXPECT_NEAR(local.Get(1, 1), 1.0, 1e-4);
    EXPECT_NEAR(local.Get(2, 2), 3.0, 1e-4);
    const KQoxXMatrix fixed = node->GetLocalFromDefaultTake();
    EXPECT_NEAR(fixed.Get(3, 0), 0.0, 1e-4);
    EXPECT_NEAR(fixed.Get(2, 2), 1.0, 1e-4);
    // A copy takes its channel properties from the default take's X, Y, Z.
    KQoxNode* copy = manager.CreateKQoxNode("Copy");
    read.GetRootNode()->AddChild(copy);
    *copy = *node;
    const KQoxXMatrix copied = copy->GetLocalFromDefaultTake();
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            EXPECT_NEAR(copied.Get(row, column), fixed.Get(row, column), 1e-9) << row << ", " << column;
}
