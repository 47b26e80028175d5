// Poses: items, the local and cross-pose checks, out-of-range fallbacks and
// the queries over a manager's scenes.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene_test_helpers.h"

namespace {

using namespace qoxsdk_600;
using scenetest::TestManager;

KQoxMatrix Translation(double x, double y, double z)
{
    KQoxMatrix m;
    m.Set(3, 0, x);
    m.Set(3, 1, y);
    m.Set(3, 2, z);
    return m;
}

class PoseTest : public ::testing::Test
{
protected:
    PoseTest()
        : mScene(mManager.CreateKQoxScene())
        , mOther(mManager.CreateKQoxScene())
    {}

    KQoxPose* Pose(const char* name, bool bind, KQoxScene* scene)
    {
        KQoxPose* pose = mManager.CreateKQoxPose(name, bind);
        if (scene)
            EXPECT_TRUE(scene->AddPose(pose));
        return pose;
    }

    TestManager mManager;
    KQoxScene* mScene;
    KQoxScene* mOther;
};

TEST_F(PoseTest, AddKeepsTheFirstItemOfANode)
{
    KQoxPose* pose = Pose("Bind", true, mScene);
    EXPECT_STREQ(pose->GetTypeName().ToChars(), "BindPose");
    EXPECT_EQ(pose->GetNameSpace(), KQoxObject::ePOSE);
    const KQoxMatrix m = Translation(1, 2, 3);
    EXPECT_EQ(pose->Add("A", m, false), 0);
    EXPECT_EQ(pose->Add("A", m, true), 0);
    EXPECT_FALSE(pose->IsLocalMatrix(0));

    struct Case
    {
        double delta;
        int expected;
    };
    // A difference of at most 1e-6 in every element counts as equal.
    const Case cases[] = {{1e-6, 0},
                          {-1e-6, 0},
                          {2e-6, -1},
                          {1.0, -1},
                          {std::numeric_limits<double>::quiet_NaN(), -1},
                          {std::numeric_limits<double>::infinity(), -1}};
    for (const Case& c : cases)
    {
        KQoxMatrix changed = m;
        changed.Set(2, 1, changed.Get(2, 1) + c.delta);
        EXPECT_EQ(pose->Add("A", changed, false), c.expected) << c.delta;
    }
    EXPECT_EQ(pose->GetCount(), 1);
    EXPECT_EQ(pose->Add("B", m, true), 1);
    EXPECT_TRUE(pose->IsLocalMatrix(1));
    EXPECT_EQ(pose->Find("B"), 1);
    EXPECT_EQ(pose->Find("b"), -1);
    EXPECT_EQ(pose->Find(nullptr), -1);
}

TEST_F(PoseTest, OutOfRangeReadsGiveSharedFallbacks)
{
    KQoxPose* pose = Pose("Rest", false, nullptr);
    EXPECT_STREQ(pose->GetTypeName().ToChars(), "RestPose");
    pose->Add("A", Translation(5, 0, 0));
    pose->Add("B", Translation(6, 0, 0));
    EXPECT_TRUE(pose->GetMatrix(5) == KQoxMatrix());
    EXPECT_EQ(pose->GetMatrix(5).Get(3, 0), 0.0);
    EXPECT_STREQ(pose->GetNodeName(-1).ToChars(), "");
    EXPECT_EQ(pose->GetItem(2), nullptr);
    EXPECT_FALSE(pose->IsLocalMatrix(-1));
    pose->Remove(2);
    pose->Remove(-1);
    EXPECT_EQ(pose->GetCount(), 2);
}

TEST_F(PoseTest, RemoveAndRenameKeepLookupsRight)
{
    KQoxPose* pose = Pose("Rest", false, nullptr);
    for (const char* name : {"A", "B", "C", "D"})
        pose->Add(name, KQoxMatrix());
    pose->Remove(1);
    EXPECT_EQ(pose->Find("C"), 1);
    EXPECT_EQ(pose->Find("B"), -1);
    pose->ReplaceNodeName(0, "");
    pose->ReplaceNodeName(0, nullptr);
    pose->ReplaceNodeName(9, "Z");
    EXPECT_STREQ(pose->GetNodeName(0).ToChars(), "A");
    pose->ReplaceNodeName(0, "D");
    // Two items of one name: Find gives the first.
    EXPECT_EQ(pose->Find("D"), 0);
    EXPECT_EQ(pose->Find("A"), -1);
    pose->Remove(0);
    EXPECT_EQ(pose->Find("D"), 1);
}

TEST_F(PoseTest, BindPosesOfOneManagerMustAgree)
{
    KQoxPose* first = Pose("First", true, mScene);
    KQoxPose* second = Pose("Second", true, mOther);
    KQoxPose* rest = Pose("Rest", false, mOther);
    const KQoxMatrix m = Translation(1, 0, 0);
    const KQoxMatrix m2 = Translation(2, 0, 0);
    ASSERT_EQ(first->Add("A", m), 0);
    EXPECT_EQ(second->Add("A", m2), -1);
    EXPECT_EQ(second->GetCount(), 0);
    EXPECT_EQ(rest->Add("A", m2), 0);
    EXPECT_EQ(second->Add("A", m), 0);

    // A bind pose no scene lists takes no part in the others' checks.
    KQoxPose* unlisted = Pose("Unlisted", true, nullptr);
    EXPECT_EQ(unlisted->Add("A", m2), -1);
    EXPECT_EQ(unlisted->Add("Z", m2), 0);
    EXPECT_EQ(first->Add("Z", m), 1);
    // Once listed it does: the two disagree on Z, so no third bind pose can take it.
    ASSERT_TRUE(mScene->AddPose(unlisted));
    KQoxPose* third = Pose("Third", true, mScene);
    EXPECT_EQ(third->Add("Z", m), -1);
    EXPECT_EQ(third->Add("Z", m2), -1);
    EXPECT_EQ(third->Add("A", m), 0);
}

TEST_F(PoseTest, QueriesWalkEveryScene)
{
    KQoxPose* bind = Pose("Bind", true, mScene);
    KQoxPose* rest = Pose("Rest", false, mOther);
    for (const char* name : {"A", "B", "C", "Hand"})
        bind->Add(name, KQoxMatrix());
    rest->Add("Hand", KQoxMatrix());

    KArrayTemplate<KQoxPose*> poses;
    KArrayTemplate<int> indices;
    poses.Add(nullptr);
    indices.Add(-7);
    ASSERT_TRUE(KQoxPose::GetBindPoseContaining(mManager, "Hand", poses, indices));
    ASSERT_EQ(poses.GetCount(), 2);
    EXPECT_EQ(poses[1], bind);
    EXPECT_EQ(indices[1], 3);
    EXPECT_FALSE(KQoxPose::GetBindPoseContaining(mManager, "Foot", poses, indices));
    EXPECT_EQ(poses.GetCount(), 2);

    ASSERT_TRUE(KQoxPose::GetRestPoseContaining(mManager, "Hand", poses, indices));
    EXPECT_EQ(poses[2], rest);
    EXPECT_EQ(indices[2], 0);
    poses.Clear();
    indices.Clear();
    ASSERT_TRUE(KQoxPose::GetPosesContaining(mManager, "Hand", poses, indices));
    ASSERT_EQ(poses.GetCount(), 2);
    EXPECT_EQ(poses[0], bind);
    EXPECT_EQ(poses[1], rest);
}

TEST_F(PoseTest, AHundredThousandItems)
{
    KQoxPose* pose = Pose("Big", true, mScene);
    const int count = 100000;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(pose->Add(("N" + std::to_string(i)).c_str(), Translation(i, 0, 0)), i);
    EXPECT_EQ(pose->Find("N99999"), 99999);
    EXPECT_EQ(pose->Add("N50000", Translation(1, 0, 0)), -1);
    pose->Remove(0);
    EXPECT_EQ(pose->Find("N99999"), 99998);
    EXPECT_EQ(pose->GetMatrix(99998).Get(3, 0), 99999.0);
}

TEST_F(PoseTest, PropertyBlockBelongsToThePose)
{
    KQoxPose* pose = Pose("Bind", true, nullptr);
    auto* block = static_cast<KQoxPoseProperties*>(pose->GetPropertyHandler());
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetKQoxObject(), pose);
    EXPECT_EQ(block->GetKQoxPose(), pose);
    EXPECT_STREQ(block->GetClassIdName(), "KQoxPoseProperties");
    EXPECT_TRUE(block->Is(KQoxPoseProperties::ClassId));
    EXPECT_TRUE(block->Is(KQoxPropertyHandler::ClassId));
    EXPECT_TRUE(block->Is(KObject::ClassId));
    KQoxPose copy(mManager, KString("Pose::Copy"), false);
    copy = *pose;
    EXPECT_STREQ(copy.GetName(), "Pose::Copy");
    EXPECT_TRUE(copy.IsRestPose());
}

} // namespace
