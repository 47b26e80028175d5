// Poses: items, the local and cross-pose checks, out-of-range fallbacks and
// the queries over a manager's scenes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene_test_helpers.h"

namespace {

using namespace qoxsdk_600;

KQoxMatrix Translation(double x)
{
    KQoxMatrix m;
    m.Set(3, 0, x);
    return m;
}

class PoseTest : public ::testing::Test
{
protected:
    KQoxPose* Pose(const char* name, bool bind, KQoxScene* scene)
    {
        KQoxPose* pose = mManager.CreateKQoxPose(name, bind);
        if (scene)
        {
            EXPECT_TRUE(scene->AddPose(pose));
        }
        return pose;
    }

    scenetest::TestManager mManager;
    KQoxScene* mScene = mManager.CreateKQoxScene();
    KQoxScene* mOther = mManager.CreateKQoxScene();
};

TEST_F(PoseTest, AddKeepsTheFirstItemOfANodeWithinTolerance)
{
    KQoxPose* pose = Pose("Bind", true, mScene);
    EXPECT_STREQ(pose->GetTypeName().ToChars(), "BindPose");
    const KQoxMatrix m = Translation(1);
    EXPECT_EQ(pose->Add("A", m, false), 0);
    EXPECT_EQ(pose->Add("A", m, true), 0);
    EXPECT_FALSE(pose->IsLocalMatrix(0));
    // A difference of at most 1e-6 in every element counts as equal.
    const std::pair<double, int> cases[] = {{1e-6, 0}, {-1e-6, 0}, {2e-6, -1}, {std::nan(""), -1}, {HUGE_VAL, -1}};
    for (const auto& c : cases)
    {
        KQoxMatrix changed = m;
        changed.Set(2, 1, c.first);
        EXPECT_EQ(pose->Add("A", changed, false), c.second) << c.first;
    }
    EXPECT_EQ(pose->Add("B", m, true), 1);
    EXPECT_TRUE(pose->IsLocalMatrix(1));
    EXPECT_EQ(pose->Find("b"), -1);
}

TEST_F(PoseTest, FallbacksRemovalAndRenaming)
{
    KQoxPose* pose = Pose("Rest", false, nullptr);
    EXPECT_STREQ(pose->GetTypeName().ToChars(), "RestPose");
    EXPECT_EQ(pose->GetPropertyHandler()->GetKQoxObject(), pose);
    for (const char* name : {"A", "B", "C", "D"})
        pose->Add(name, Translation(name[0]));
    EXPECT_TRUE(pose->GetMatrix(5) == KQoxMatrix());
    EXPECT_STREQ(pose->GetNodeName(-1).ToChars(), "");
    pose->Remove(4);
    pose->Remove(1);
    EXPECT_EQ(pose->GetCount(), 3);
    EXPECT_EQ(pose->Find("C"), 1);
    EXPECT_EQ(pose->Find("B"), -1);
    pose->ReplaceNodeName(0, "");
    EXPECT_STREQ(pose->GetNodeName(0).ToChars(), "A");
    // Two items of one name: Find gives the first.
    pose->ReplaceNodeName(0, "D");
    EXPECT_EQ(pose->Find("D"), 0);
    pose->Remove(0);
    EXPECT_EQ(pose->Find("D"), 1);
    EXPECT_EQ(pose->GetMatrix(1).Get(3, 0), 'D');
}

TEST_F(PoseTest, BindPosesOfOneManagerMustAgree)
{
    KQoxPose* first = Pose("First", true, mScene);
    KQoxPose* second = Pose("Second", true, mOther);
    KQoxPose* rest = Pose("Rest", false, mOther);
    const KQoxMatrix m = Translation(1), m2 = Translation(2);
    ASSERT_EQ(first->Add("A", m), 0);
    EXPECT_EQ(second->Add("A", m2), -1);
    EXPECT_EQ(second->GetCount(), 0);
    EXPECT_EQ(rest->Add("A", m2), 0);
    EXPECT_EQ(second->Add("A", m), 0);
    // A bind pose no scene lists takes no part in the others' checks...
    KQoxPose* unlisted = Pose("Unlisted", true, nullptr);
    EXPECT_EQ(unlisted->Add("Z", m2), 0);
    EXPECT_EQ(first->Add("Z", m), 1);
    // ...until listed: the two then disagree on Z, so no third bind pose can take it.
    ASSERT_TRUE(mScene->AddPose(unlisted));
    KQoxPose* third = Pose("Third", true, mScene);
    EXPECT_EQ(third->Add("Z", m), -1);
    EXPECT_EQ(third->Add("Z", m2), -1);
}

TEST_F(PoseTest, QueriesWalkEverySceneAndAppend)
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
    EXPECT_FALSE(KQoxPose::GetBindPoseContaining(mManager, "Foot", poses, indices));
    ASSERT_TRUE(KQoxPose::GetRestPoseContaining(mManager, "Hand", poses, indices));
    ASSERT_TRUE(KQoxPose::GetPosesContaining(mManager, "Hand", poses, indices));
    const KQoxPose* expectedPoses[] = {nullptr, bind, rest, bind, rest};
    const int expectedIndices[] = {-7, 3, 0, 3, 0};
    ASSERT_EQ(poses.GetCount(), 5);
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(poses[i], expectedPoses[i]) << i;
        EXPECT_EQ(indices[i], expectedIndices[i]) << i;
    }
}

TEST_F(PoseTest, AHundredThousandItems)
{
    KQoxPose* pose = Pose("Big", true, mScene);
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(pose->Add(("N" + std::to_string(i)).c_str(), Translation(i)), i);
    EXPECT_EQ(pose->Add("N50000", Translation(1)), -1);
    pose->Remove(0);
    EXPECT_EQ(pose->Find("N99999"), 99998);
    EXPECT_EQ(pose->GetMatrix(99998).Get(3, 0), 99999.0);
}

} // namespace
