// The scene: construction, take operations across its objects, take
// descriptions, Clear, destruction through the manager, the scene
// information and the global camera settings.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scene/kqoxentity.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxglobaltimesettings.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxtakeinfo.h"
#include "scene_test_helpers.h"

namespace {

using namespace qoxsdk_600;
using scenetest::TestAnimated;
using scenetest::TestManager;

std::vector<std::string> TakeNames(KQoxScene& scene)
{
    KArrayTemplate<KString*> names;
    scene.FillTakeNameArray(names);
    std::vector<std::string> out;
    for (int i = 0; i < names.GetCount(); ++i)
    {
        out.push_back(names[i]->ToChars());
        delete names[i];
    }
    return out;
}

std::vector<std::string> TakesOf(KQoxTakeNodeContainer& object)
{
    std::vector<std::string> out;
    for (int i = 0; i < object.GetTakeNodeCount(); ++i)
        out.push_back(object.GetTakeNodeName(i));
    return out;
}

class SceneTest : public ::testing::Test
{
protected:
    SceneTest()
        : mManager(new TestManager)
        , mScene(mManager->CreateKQoxScene())
    {}
    ~SceneTest() override
    {
        // The scene goes before the test objects its entity may list.
        if (mScene)
            mManager->DestroyKQoxScene(mScene, true);
    }

    // A node under the root.
    KQoxNode* Child(const char* name, KQoxNode* parent = nullptr)
    {
        KQoxNode* node = mManager->CreateKQoxNode(name);
        EXPECT_TRUE((parent ? parent : mScene->GetRootNode())->AddChild(node));
        return node;
    }

    std::unique_ptr<TestManager> mManager;
    KQoxScene* mScene;
};

TEST_F(SceneTest, NewSceneInvariants)
{
    KQoxNode* switcher = mScene->GetCameraSwitcher();
    EXPECT_STREQ(mScene->GetRootNode()->GetName(), "Model::RootNode");
    EXPECT_STREQ(switcher->GetName(), "Model::Camera Switcher");
    EXPECT_FALSE(switcher->GetVisibility());
    EXPECT_EQ(switcher->GetShadingMode(), KQoxNode::eWIRE_FRAME);
    EXPECT_EQ(switcher->GetParent(), nullptr);
    EXPECT_EQ(TakeNames(*mScene), std::vector<std::string>{"Default"});
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "");
    EXPECT_EQ(mScene->GetCharacter(0), nullptr);
    EXPECT_EQ(switcher->GetNodeAttribute()->GetAttributeType(), KQoxNodeAttribute::eCAMERA_SWITCHER);
    // Root, camera switcher and the seven producer nodes; a camera switcher
    // and seven cameras.
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 9);
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), 8);
    // A replaced camera switcher goes with its attribute.
    mScene->ReplaceCameraSwitcher(mManager->CreateKQoxNode("Other Switcher"));
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 9);
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), 7);
}

TEST_F(SceneTest, TakeOperationsReachEveryObjectAndReportExactMessages)
{
    KQoxNode* a = Child("A");
    KQoxNode* b = Child("B", a);
    KQoxTexture* texture = mManager->CreateKQoxTexture("Wood");
    KQoxMaterial* material = mManager->CreateKQoxMaterial("Oak");
    KQoxGenericNode* generic = mManager->CreateKQoxGenericNode("Helper");
    ASSERT_TRUE(mScene->GetEntity()->AddTexture(texture));
    ASSERT_TRUE(mScene->GetEntity()->AddMaterial(material));
    KArrayTemplate<KQoxTexture*> textures;
    KArrayTemplate<KQoxMaterial*> materials;
    materials.Add(nullptr);
    mScene->FillTextureArray(textures);
    mScene->FillMaterialArray(materials);
    ASSERT_EQ(textures.GetCount(), 1);
    ASSERT_EQ(materials.GetCount(), 1);
    EXPECT_EQ(textures[0], texture);
    EXPECT_EQ(materials[0], material);
    ASSERT_TRUE(mScene->AddGenericNode(generic));
    EXPECT_EQ(mScene->GetGenericNode(0), generic);

    ASSERT_TRUE(mScene->CreateTake("Walk"));
    const std::vector<std::string> both{"Default", "Walk"};
    for (KQoxTakeNodeContainer* object : std::vector<KQoxTakeNodeContainer*>{
             mScene->GetCameraSwitcher(), mScene->GetRootNode(), a, b, texture, material})
        EXPECT_EQ(TakesOf(*object), both);
    // Generic nodes are not given takes.
    EXPECT_EQ(TakesOf(*generic), std::vector<std::string>{"Default"});

    EXPECT_FALSE(mScene->CreateTake("Walk"));
    EXPECT_STREQ(mScene->GetLastErrorString(), "At least one node, texture or material already has a take called Walk");

    // The generic node lacks "Walk": switching fails but every other object
    // switched, and the name is stored first.
    EXPECT_FALSE(mScene->SetCurrentTake("Walk"));
    EXPECT_STREQ(mScene->GetLastErrorString(), "Not all nodes have a take node called Walk");
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "Walk");
    EXPECT_STREQ(b->GetCurrentTakeNodeName(), "Walk");
    EXPECT_STREQ(texture->GetCurrentTakeNodeName(), "Walk");

    // A node created later lacks the take: removal goes on for the others.
    KQoxNode* late = Child("Late");
    EXPECT_FALSE(mScene->RemoveTake("Walk"));
    EXPECT_STREQ(mScene->GetLastErrorString(), "Not all nodes, textures and materials have a take called Walk");
    EXPECT_EQ(TakesOf(*a), std::vector<std::string>{"Default"});
    EXPECT_EQ(TakesOf(*late), std::vector<std::string>{"Default"});
}

TEST_F(SceneTest, FillTakeNameArrayListsDistinctNamesInOrderOfFirstAppearance)
{
    KQoxNode* a = Child("A");
    KQoxNode* b = Child("B");
    ASSERT_NE(b->CreateTakeNode("Run"), nullptr);
    ASSERT_NE(a->CreateTakeNode("Jump"), nullptr);
    ASSERT_NE(b->CreateTakeNode("Jump"), nullptr);
    ASSERT_NE(a->CreateTakeNode("run"), nullptr);
    // The entity lists the root, then A, then B.
    EXPECT_EQ(TakeNames(*mScene), (std::vector<std::string>{"Default", "Jump", "run", "Run"}));

    // Strings already in the array are deleted and replaced.
    KArrayTemplate<KString*> names;
    names.Add(new KString("stale"));
    mScene->FillTakeNameArray(names);
    EXPECT_EQ(names.GetCount(), 4);
    mScene->FillTakeNameArray(names);
    for (int i = 0; i < names.GetCount(); ++i)
        delete names[i];

    EXPECT_TRUE(mScene->FindTakeName(KString("run")));
    EXPECT_FALSE(mScene->FindTakeName(KString("RUN")));
}

TEST_F(SceneTest, SetTakeInfoStoresOneDescriptionPerExistingTake)
{
    KQoxTakeInfo info;
    info.Name = "Walk";
    info.Comments = "first";
    EXPECT_FALSE(mScene->SetTakeInfo(info));
    EXPECT_EQ(mScene->GetTakeInfoCount(), 0);

    Child("A");
    ASSERT_TRUE(mScene->CreateTake("Walk"));
    ASSERT_TRUE(mScene->SetTakeInfo(info));
    info.Comments = "second";
    ASSERT_TRUE(mScene->SetTakeInfo(info));
    EXPECT_EQ(mScene->GetTakeInfoCount(), 1);
    EXPECT_STREQ(mScene->GetTakeInfo(KString("Walk"))->Comments.ToChars(), "second");
    EXPECT_EQ(mScene->GetTakeInfo(KString("walk")), nullptr);

    // The Default take is a take of every object.
    info.Name = "Default";
    EXPECT_TRUE(mScene->SetTakeInfo(info));
    EXPECT_EQ(mScene->GetTakeInfoCount(), 2);
}

TEST_F(SceneTest, ClearRestoresTheNewStateAndReleasesSharedObjectsFully)
{
    KQoxNode* a = Child("A");
    Child("B", a);
    Child("C");
    ASSERT_TRUE(mScene->CreateTake("Walk"));
    ASSERT_TRUE(mScene->SetCurrentTake("Walk"));
    KQoxTakeInfo info;
    info.Name = "Walk";
    ASSERT_TRUE(mScene->SetTakeInfo(info));
    // A replaced scene information is destroyed.
    mScene->SetSceneInfo(mManager->CreateKQoxSceneInfo());
    mScene->SetSceneInfo(mManager->CreateKQoxSceneInfo());
    EXPECT_EQ(mManager->GetKQoxSceneInfoCount(), 1);
    KQoxPose* pose = mManager->CreateKQoxPose("Bind", true);
    ASSERT_TRUE(mScene->AddPose(pose));
    // A generic node referenced twice: Clear takes its whole record out
    // before destroying it.
    KQoxGenericNode* generic = mManager->CreateKQoxGenericNode("Helper");
    ASSERT_TRUE(mScene->AddGenericNode(generic));
    ASSERT_TRUE(mScene->GetEntity()->AddGenericNode(generic));
    mScene->AddGenericNode(mManager->CreateKQoxGenericNode("Other"));
    static_cast<KQoxCameraSwitcher*>(mScene->GetCameraSwitcher()->GetCameraSwitcher())->SetDefaultCameraIndex(2);
    mScene->GetCameraSwitcher()->SetVisibility(true);
    mScene->GetGlobalCameraSettings().SetDefaultViewingMode(KQoxGlobalCameraSettings::eXRAY);
    mScene->GetGlobalLightSettings().SetFogEnable(true);
    mScene->GetGlobalTimeSettings().SetTimeMode(11);

    mScene->Clear();

    KQoxNode* root = mScene->GetRootNode();
    EXPECT_EQ(root->GetChildCount(false), 0);
    EXPECT_EQ(root->GetTakeNodeCount(), 1);
    EXPECT_EQ(mScene->GetCameraSwitcher()->GetTakeNodeCount(), 1);
    EXPECT_STREQ(mScene->GetCameraSwitcher()->GetName(), "Model::Camera Switcher");
    EXPECT_FALSE(mScene->GetCameraSwitcher()->GetVisibility());
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "");
    EXPECT_EQ(mScene->GetTakeInfoCount(), 0);
    EXPECT_EQ(mScene->GetSceneInfo(), nullptr);
    EXPECT_EQ(mManager->GetKQoxSceneInfoCount(), 0);
    EXPECT_EQ(mScene->GetPoseCount(), 0);
    EXPECT_EQ(mManager->GetKQoxPoseCount(), 1);
    EXPECT_EQ(mScene->GetGenericNodeCount(), 0);
    EXPECT_EQ(mManager->GetKQoxGenericNodeCount(), 0);
    EXPECT_EQ(
        static_cast<KQoxCameraSwitcher*>(mScene->GetCameraSwitcher()->GetCameraSwitcher())->GetDefaultCameraIndex(), 0);
    EXPECT_EQ(mScene->GetGlobalCameraSettings().GetDefaultViewingMode(), KQoxGlobalCameraSettings::eSTANDARD);
    EXPECT_FALSE(mScene->GetGlobalLightSettings().GetFogEnable());
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 6);
    // A, B and C were destroyed through the manager.
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 9);
    EXPECT_EQ(mManager->FindKQoxNode("A"), nullptr);
}

TEST(SceneLifetime, TheRootIsDestroyedExactlyOnceAndManagerClearTakesEverything)
{
    auto manager = std::make_unique<TestManager>();
    KQoxScene* scene = manager->CreateKQoxScene();
    scene->GetRootNode()->AddChild(manager->CreateKQoxNode("Top"));
    ASSERT_TRUE(manager->DestroyKQoxScene(scene, true));
    EXPECT_EQ(manager->GetKQoxNodeCount(), 0);
    EXPECT_FALSE(manager->DestroyKQoxScene(scene, true));
    EXPECT_STREQ(manager->GetLastErrorString(), "Object not found");
    // Without the flag the root stays with the manager, detached.
    KQoxNode* root = manager->CreateKQoxScene()->GetRootNode();
    ASSERT_TRUE(manager->DestroyKQoxScene(manager->GetKQoxScene(0), false));
    EXPECT_EQ(manager->GetKQoxNode(0), root);
    EXPECT_EQ(root->GetEntity(), nullptr);

    for (int i = 0; i < 3; ++i)
    {
        scene = manager->CreateKQoxScene();
        scene->GetRootNode()->AddChild(manager->CreateKQoxNode("N"));
        scene->SetSceneInfo(manager->CreateKQoxSceneInfo());
        scene->AddPose(manager->CreateKQoxPose("P", i % 2 == 0));
    }
    manager->Clear();
    EXPECT_EQ(manager->GetKQoxSceneCount() + manager->GetKQoxNodeCount() + manager->GetKQoxPoseCount() +
                  manager->GetKQoxSceneInfoCount(),
              0);
    // A new scene at once, left for the destructor.
    manager->CreateKQoxScene()->AddPose(manager->CreateKQoxPose("Late", true));
    manager.reset();
}

TEST_F(SceneTest, PoseListRulesAndDestroyedPosesLeaveEveryScene)
{
    KQoxPose* bind = mManager->CreateKQoxPose("Bind", true);
    KQoxPose* rest = mManager->CreateKQoxPose("Model::Rest", false);
    EXPECT_STREQ(rest->GetName(), "Pose::Rest");
    EXPECT_EQ(mManager->FindKQoxPose("Pose::Rest"), rest);
    EXPECT_EQ(mManager->FindKQoxPose("Rest"), nullptr);

    EXPECT_TRUE(mScene->AddPose(bind));
    EXPECT_FALSE(mScene->AddPose(bind));
    EXPECT_TRUE(mScene->AddPose(rest));
    EXPECT_EQ(mScene->GetPoseCount(), 2);
    EXPECT_FALSE(mScene->RemovePose(5));
    EXPECT_TRUE(mScene->RemovePose(0));
    EXPECT_FALSE(mScene->RemovePose(bind));
    EXPECT_EQ(mScene->GetPose(0), rest);

    KQoxScene* other = mManager->CreateKQoxScene();
    ASSERT_TRUE(other->AddPose(rest));
    ASSERT_TRUE(mManager->DestroyKQoxPose(rest));
    EXPECT_EQ(mScene->GetPoseCount(), 0);
    EXPECT_EQ(other->GetPoseCount(), 0);
    EXPECT_FALSE(mManager->DestroyKQoxPose(rest));
    ASSERT_TRUE(mManager->DestroyKQoxScene(other, true));
}

TEST_F(SceneTest, ProducerCameraTable)
{
    // name, projection, near, far, position, up vector, as the cameras hold them.
    const char* const expected[7] = {"Perspective 0 10 4000 (0 71.3 287.5) (0 1 0 1)",
                                     "Top 1 1 30000 (0 4000 0) (0 0 -1 1)",
                                     "Bottom 1 1 30000 (0 -4000 0) (0 0 -1 1)",
                                     "Front 1 1 30000 (0 0 4000) (0 1 0 1)",
                                     "Back 1 1 30000 (0 0 -4000) (0 1 0 1)",
                                     "Right 1 1 30000 (4000 0 0) (0 1 0 1)",
                                     "Left 1 1 30000 (-4000 0 0) (0 1 0 1)"};
    KQoxGlobalCameraSettings& settings = mScene->GetGlobalCameraSettings();
    KQoxCamera* cameras[7] = {settings.GetCameraProducerPerspective(), settings.GetCameraProducerTop(),
                              settings.GetCameraProducerBottom(),      settings.GetCameraProducerFront(),
                              settings.GetCameraProducerBack(),        settings.GetCameraProducerRight(),
                              settings.GetCameraProducerLeft()};
    auto describe = [](KQoxNode* node, KQoxCamera* camera) {
        const KQoxVector4 at = camera->GetPosition(), up = camera->GetUpVector();
        char row[160];
        snprintf(row, sizeof row, "%s %d %g %g (%g %g %g) (%g %g %g %g)", node->GetName() + strlen("Model::Producer "),
                 camera->GetProjectionType(), camera->GetNearPlane(), camera->GetFarPlane(), at[0], at[1], at[2], up[0],
                 up[1], up[2], up[3]);
        return std::string(row);
    };
    for (int i = 0; i < 7; ++i)
    {
        KQoxNode* node = settings.GetProducerNode(i);
        ASSERT_EQ(node->GetNodeAttribute(), cameras[i]);
        EXPECT_EQ(describe(node, cameras[i]), expected[i]);
        EXPECT_EQ(cameras[i]->GetAngleOfView(), 40.0);
        EXPECT_FALSE(node->GetVisibility());
        EXPECT_EQ(node->GetParent(), nullptr);
    }
    EXPECT_EQ(settings.GetProducerNode(7), nullptr);

    // Settings changed on a camera come back with RestoreDefaultSettings;
    // CopyProducerCamera reaches only the camera of that name.
    KQoxCamera* top = cameras[1];
    KQoxCamera* other = mManager->CreateKQoxCamera();
    other->SetNearPlane(5.0);
    settings.CopyProducerCamera(KString("Producer Top"), other);
    settings.CopyProducerCamera(KString("Producer top"), other);
    settings.CopyProducerCamera(KString(""), other);
    EXPECT_EQ(top->GetNearPlane(), 5.0);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(cameras[i]->GetNearPlane(), i == 1 ? 5.0 : i == 0 ? 10.0 : 1.0);
    KQoxScene* copy = mManager->CreateKQoxScene();
    copy->GetGlobalCameraSettings() = settings;
    EXPECT_EQ(copy->GetGlobalCameraSettings().GetCameraProducerTop()->GetNearPlane(), 5.0);
    ASSERT_TRUE(mManager->DestroyKQoxScene(copy, true));
    settings.RestoreDefaultSettings();
    EXPECT_EQ(describe(settings.GetProducerNode(1), top), expected[1]);
}

TEST_F(SceneTest, DefaultCameraAcceptsProducersTheSwitcherAndNodesUnderTheRoot)
{
    KQoxGlobalCameraSettings& settings = mScene->GetGlobalCameraSettings();
    EXPECT_EQ(settings.GetDefaultViewingMode(), KQoxGlobalCameraSettings::eSTANDARD);

    EXPECT_FALSE(settings.SetDefaultCamera(nullptr));
    EXPECT_STREQ(settings.GetLastErrorString(), "Null parameter.");
    EXPECT_STREQ(settings.GetDefaultCamera(), "Producer Perspective");

    EXPECT_TRUE(settings.SetDefaultCamera("Camera Switcher"));
    EXPECT_TRUE(settings.SetDefaultCamera("Producer Left"));
    EXPECT_FALSE(settings.SetDefaultCamera("producer left"));
    EXPECT_EQ(settings.GetLastErrorID(), 1);
    EXPECT_STREQ(settings.GetLastErrorString(), "Unknown camera name.");

    // A node outside the root's tree is unknown; deep under the root it is found.
    mManager->CreateKQoxNode("Loose");
    EXPECT_FALSE(settings.SetDefaultCamera("Loose"));
    Child("Shot", Child("Set"));
    EXPECT_TRUE(settings.SetDefaultCamera("Shot"));
    EXPECT_STREQ(settings.GetDefaultCamera(), "Shot");

    KQoxScene* other = mManager->CreateKQoxScene();
    other->GetGlobalCameraSettings() = settings;
    EXPECT_STREQ(other->GetGlobalCameraSettings().GetDefaultCamera(), "Shot");
    ASSERT_TRUE(mManager->DestroyKQoxScene(other, true));
}

} // namespace
