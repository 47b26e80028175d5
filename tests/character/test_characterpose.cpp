// Character poses: their private scene, Reset, hierarchy copies and the
// name-matched copy of the character.

#include <string>

#include "character/kqoxcharacterpose.h"
#include "character_fixture.h"

namespace chartest {
namespace {

class CharacterPoseTest : public CharacterTest
{
protected:
    KQoxCharacterPose* NewPose(const char* name) { return mScene->GetCharacterPose(mScene->CreateCharacterPose(name)); }
    KQoxNode* PoseNode(KQoxCharacterPose* pose, const std::string& name, KQoxNode* parent = nullptr)
    {
        KQoxNode* node = mManager->CreateKQoxNode(name.c_str());
        (parent ? parent : pose->GetRootNode())->AddChild(node);
        return node;
    }
    // "name(child,child(...))" of a subtree, in child order.
    static std::string Shape(KQoxNode* node)
    {
        std::string text;
        for (int i = 0; i < node->GetChildCount(false); ++i)
        {
            KQoxNode* child = node->GetChild(i);
            text += std::string(i ? "," : "") + child->GetName();
            if (child->GetChildCount(false))
                text += "(" + Shape(child) + ")";
        }
        return text;
    }
};

TEST_F(CharacterPoseTest, NewPoseAndReset)
{
    const int scenes = mManager->GetKQoxSceneCount();
    KQoxCharacterPose* pose = NewPose("Model::Stand");
    ASSERT_NE(nullptr, pose);
    EXPECT_EQ(scenes + 1, mManager->GetKQoxSceneCount());
    EXPECT_STREQ("Pose::Stand", pose->GetName());
    EXPECT_EQ(9, pose->GetNameSpace());
    EXPECT_EQ(nullptr, pose->GetPropertyHandler());
    EXPECT_EQ(0, pose->GetRootNode()->GetChildCount(false));
    ASSERT_NE(nullptr, pose->GetCharacter());
    EXPECT_STREQ("Constraint::PoseCharacter", pose->GetCharacter()->GetName());

    KQoxNode* hips = PoseNode(pose, "Hips");
    ASSERT_TRUE(pose->GetCharacter()->SetCharacterLink(eCharacterHips, CharLink(hips)));
    pose->Reset();
    EXPECT_EQ(0, pose->GetRootNode()->GetChildCount(false));
    EXPECT_EQ(1, pose->GetScene()->GetCharacterCount());
    EXPECT_FALSE(pose->GetCharacter()->GetCharacterLink(eCharacterHips, nullptr));
    mScene->DestroyCharacterPose(0);
    EXPECT_EQ(scenes, mManager->GetKQoxSceneCount());
}

TEST_F(CharacterPoseTest, AssignmentCopiesTreeAndCharacterByName)
{
    KQoxCharacterPose* src = NewPose("Src");
    KQoxNode* n1 = PoseNode(src, "N1");
    KQoxNode* n2 = PoseNode(src, "N2", n1);
    KQoxNode* n3 = PoseNode(src, "N3", n1);
    PoseNode(src, "N4", n3);
    KQoxNode* outside = Node("Outside"); // no namesake in the pose
    KQoxCharacter* from = src->GetCharacter();
    KQoxCharacterLink link = CharLink(n2, "Template");
    link.mOffsetT.Set(1, 2, 3, 1);
    link.mOffsetS.Set(2, 2, 2, 1);
    ASSERT_TRUE(from->SetCharacterLink(eCharacterHips, link));
    ASSERT_TRUE(from->SetCharacterLink(eCharacterHead, CharLink(outside)));
    from->SetInput(KQoxCharacter::eCharacterInput, NewCharacter("Driver"));
    from->GetFilterSet()->SetParameterValue(0, 12.0);
    KQoxControlSet* rig = from->GetControlSet();
    KQoxControlSetLink rigLink;
    rigLink.mNode = outside;
    rigLink.mTemplateName = "RigT";
    rig->SetControlSetLink(eCharacterSpine, rigLink);
    rig->SetLockTransform(true);
    rig->SetUseAxis(false);
    KQoxEffector effector;
    effector.mNode = n3;
    effector.mTActive = true;
    rig->SetEffector(eHipsEffector, effector);
    rig->SetEffectorAux(eHipsEffector, n2, EEffectorSetId(1));
    rig->SetEffectorAux(eHeadEffector, n2, EEffectorSetId(2));

    KQoxCharacterPose* dst = NewPose("Dst");
    dst->GetCharacter()->GetControlSet()->SetUseAxis(true);
    *dst = *src;
    EXPECT_STREQ("Pose::Src", dst->GetName());
    EXPECT_EQ("Model::N1(Model::N2,Model::N3(Model::N4))", Shape(dst->GetRootNode()));
    EXPECT_EQ(Shape(src->GetRootNode()), Shape(dst->GetRootNode()));

    KQoxCharacter* to = dst->GetCharacter();
    KQoxNode* copyN2 = dst->GetRootNode()->FindChild("N2");
    ASSERT_NE(nullptr, copyN2);
    ASSERT_NE(n2, copyN2);
    KQoxCharacterLink out;
    ASSERT_TRUE(to->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(copyN2, out.mNode);
    EXPECT_STREQ("", out.mTemplateName.ToChars());
    EXPECT_EQ(3.0, out.mOffsetT[2]);
    EXPECT_EQ(2.0, out.mOffsetS[0]);
    EXPECT_FALSE(to->GetCharacterLink(eCharacterHead, nullptr));
    EXPECT_EQ(from->GetInputObject(), to->GetInputObject());
    EXPECT_EQ(12.0, to->GetFilterSet()->GetParameterValue(0));
    EXPECT_EQ(12.0, to->GetProperties()->PullIterationCountGet());

    KQoxControlSet* toRig = to->GetControlSet();
    KQoxControlSetLink rigOut;
    ASSERT_TRUE(toRig->GetControlSetLink(eCharacterSpine, &rigOut));
    EXPECT_EQ(nullptr, rigOut.mNode);
    EXPECT_STREQ("RigT", rigOut.mTemplateName.ToChars());
    EXPECT_TRUE(toRig->GetLockTransform());
    EXPECT_TRUE(toRig->GetUseAxis());
    KQoxEffector effectorOut;
    ASSERT_TRUE(toRig->GetEffector(eHipsEffector, &effectorOut));
    EXPECT_EQ(dst->GetRootNode()->FindChild("N3"), effectorOut.mNode);
    EXPECT_TRUE(effectorOut.mTActive);
    KQoxNode* aux = nullptr;
    EXPECT_TRUE(toRig->GetEffectorAux(eHipsEffector, &aux, EEffectorSetId(1)));
    EXPECT_EQ(copyN2, aux);
    EXPECT_FALSE(toRig->GetEffectorAux(eHeadEffector, &aux, EEffectorSetId(2)));
}

TEST_F(CharacterPoseTest, AssignmentAddsBesideExistingNodes)
{
    KQoxCharacterPose* src = NewPose("Src");
    KQoxNode* a = PoseNode(src, "A");
    ASSERT_TRUE(src->GetCharacter()->SetCharacterLink(eCharacterHips, CharLink(a)));
    KQoxCharacterPose* dst = NewPose("Dst");
    KQoxNode* earlier = PoseNode(dst, "A");
    *dst = *src;
    EXPECT_EQ("Model::A,Model::A", Shape(dst->GetRootNode()));
    KQoxCharacterLink out;
    ASSERT_TRUE(dst->GetCharacter()->GetCharacterLink(eCharacterHips, &out));
    EXPECT_EQ(earlier, out.mNode); // the first namesake, depth-first
}

TEST_F(CharacterPoseTest, Guards)
{
    KQoxCharacterPose* pose = NewPose("P");
    KQoxNode* a = PoseNode(pose, "A");
    PoseNode(pose, "B", a);
    const std::string shape = Shape(pose->GetRootNode());
    *pose = *pose;
    EXPECT_EQ(shape, Shape(pose->GetRootNode()));
    pose->CopyNode(pose->GetRootNode(), a); // into its own subtree
    pose->CopyNode(a, a);
    EXPECT_EQ(shape, Shape(pose->GetRootNode()));
    pose->CopyNode(nullptr, a);
    pose->CopyCharacter(nullptr, pose->GetCharacter(), pose->GetRootNode());
    pose->CopyCharacter(pose->GetCharacter(), nullptr, pose->GetRootNode());
    pose->CopyCharacter(NewCharacter(), pose->GetCharacter(), nullptr);
    EXPECT_EQ(shape, Shape(pose->GetRootNode()));
}

TEST_F(CharacterPoseTest, DeepAndWideHierarchies)
{
    KQoxCharacterPose* src = NewPose("Src");
    KQoxNode* parent = src->GetRootNode();
    const int depth = 1000;
    for (int i = 0; i < depth; ++i)
        parent = PoseNode(src, "D" + std::to_string(i), parent);
    KQoxNode* wide = PoseNode(src, "Wide");
    const int width = 2000;
    for (int i = 0; i < width; ++i)
        PoseNode(src, "W" + std::to_string(i), wide);
    KQoxCharacterPose* dst = NewPose("Dst");
    *dst = *src;
    EXPECT_EQ(src->GetRootNode()->GetChildCount(true), dst->GetRootNode()->GetChildCount(true));
    EXPECT_EQ(depth + 1 + width, dst->GetRootNode()->GetChildCount(true));
    // Poses destroyed with the scene that holds them.
    mScene->Clear();
    EXPECT_EQ(0, mScene->GetCharacterPoseCount());
}

TEST(CharacterPoseTeardown, ManagerDestroyedWithEverythingStillInIt)
{
    std::unique_ptr<KQoxSdkManager> manager(new KQoxSdkManager);
    KQoxScene* scene = manager->CreateKQoxScene();
    KQoxNode* node = manager->CreateKQoxNode("A");
    scene->GetRootNode()->AddChild(node);
    KQoxCharacter* character = scene->GetCharacter(scene->CreateCharacter("C"));
    ASSERT_TRUE(character->SetCharacterLink(eCharacterHips, CharLink(node)));
    KQoxCharacterPose* pose = scene->GetCharacterPose(scene->CreateCharacterPose("P"));
    KQoxNode* inPose = manager->CreateKQoxNode("B");
    pose->GetRootNode()->AddChild(inPose);
    ASSERT_TRUE(pose->GetCharacter()->SetCharacterLink(eCharacterHips, CharLink(inPose)));
    manager.reset();
}

} // namespace
} // namespace chartest
