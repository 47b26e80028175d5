// The scene: construction, take operations across its objects, take
// descriptions, Clear, destruction through the manager, the scene
// information and the global camera settings.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/kqoxentity.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxglobalcamerasettings_private.h"
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
    KQoxNode* root = mScene->GetRootNode();
    KQoxNode* switcher = mScene->GetCameraSwitcher();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(switcher, nullptr);
    EXPECT_STREQ(root->GetName(), "Model::RootNode");
    EXPECT_STREQ(switcher->GetName(), "Model::Camera Switcher");
    EXPECT_FALSE(switcher->GetVisibility());
    EXPECT_EQ(switcher->GetShadingMode(), KQoxNode::eWIRE_FRAME);
    EXPECT_EQ(switcher->GetParent(), nullptr);
    EXPECT_EQ(root->GetChildCount(false), 0);
    EXPECT_EQ(TakeNames(*mScene), std::vector<std::string>{"Default"});
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "");
    EXPECT_EQ(mScene->GetSceneInfo(), nullptr);
    EXPECT_EQ(mScene->GetPoseCount(), 0);
    EXPECT_EQ(mScene->GetCharacterCount(), 0);
    EXPECT_EQ(mScene->GetCharacter(0), nullptr);
    EXPECT_EQ(mScene->GetControlSetPlug(-1), nullptr);
    EXPECT_EQ(mScene->GetCharacterPose(0), nullptr);
    EXPECT_STREQ(mScene->GetGlobalCameraSettings().GetDefaultCamera(), "Producer Perspective");
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 6);
    // Root, camera switcher and the seven producer nodes.
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 9);
    EXPECT_EQ(mManager->GetKQoxSceneCount(), 1);
    EXPECT_EQ(mManager->GetKQoxScene(0), mScene);
}

TEST_F(SceneTest, TakeOperationsReachEveryObjectAndReportExactMessages)
{
    KQoxNode* a = Child("A");
    KQoxNode* b = Child("B", a);
    TestAnimated* texture = mManager->CreateTestObject("Wood");
    TestAnimated* generic = mManager->CreateTestObject("Helper");
    ASSERT_TRUE(mScene->GetEntity()->AddTexture(texture));
    ASSERT_TRUE(mScene->GetEntity()->AddGenericNode(generic));

    ASSERT_TRUE(mScene->CreateTake("Walk"));
    const std::vector<std::string> both{"Default", "Walk"};
    for (KQoxTakeNodeContainer* object :
         std::vector<KQoxTakeNodeContainer*>{mScene->GetCameraSwitcher(), mScene->GetRootNode(), a, b, texture})
        EXPECT_EQ(TakesOf(*object), both);
    // Generic nodes are not given takes.
    EXPECT_EQ(TakesOf(*generic), std::vector<std::string>{"Default"});

    EXPECT_FALSE(mScene->CreateTake("Walk"));
    EXPECT_EQ(mScene->GetLastErrorID(), 0);
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
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "Walk");

    ASSERT_TRUE(mScene->GetEntity()->RemoveGenericNode(generic));
    ASSERT_TRUE(mScene->GetEntity()->RemoveTexture(texture));
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
    names.Add(new KString("Jump"));
    mScene->FillTakeNameArray(names);
    ASSERT_EQ(names.GetCount(), 4);
    EXPECT_STREQ(names[0]->ToChars(), "Default");
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
    info.LocalTimeSpan.Set(KTime(10), KTime(20));
    ASSERT_TRUE(mScene->SetTakeInfo(info));
    EXPECT_EQ(mScene->GetTakeInfoCount(), 1);
    KQoxTakeInfo* stored = mScene->GetTakeInfo(KString("Walk"));
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->Comments.ToChars(), "second");
    EXPECT_EQ(stored->LocalTimeSpan.GetStop().Get(), 20);
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
    mScene->SetSceneInfo(mManager->CreateKQoxSceneInfo());
    KQoxPose* pose = mManager->CreateKQoxPose("Bind", true);
    ASSERT_TRUE(mScene->AddPose(pose));
    // A generic node referenced twice: Clear takes its whole record out.
    TestAnimated* generic = mManager->CreateTestObject("Helper");
    ASSERT_TRUE(mScene->GetEntity()->AddGenericNode(generic));
    ASSERT_TRUE(mScene->GetEntity()->AddGenericNode(generic));
    mScene->GetCameraSwitcher()->SetName("Renamed");
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
    EXPECT_EQ(mScene->GetEntity()->GetNodeCount(), 1);
    EXPECT_EQ(mScene->GetGlobalCameraSettings().GetDefaultViewingMode(), KQoxGlobalCameraSettings::eSTANDARD);
    EXPECT_FALSE(mScene->GetGlobalLightSettings().GetFogEnable());
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 6);
    EXPECT_EQ(TakeNames(*mScene), std::vector<std::string>{"Default"});
    // A, B and C were destroyed through the manager.
    EXPECT_EQ(mManager->GetKQoxNodeCount(), 9);
    EXPECT_EQ(mManager->FindKQoxNode("A"), nullptr);
}

TEST(SceneLifetime, DestroyKQoxSceneDestroysTheRootExactlyOnce)
{
    TestManager manager;
    KQoxScene* scene = manager.CreateKQoxScene();
    KQoxNode* top = manager.CreateKQoxNode("Top");
    scene->GetRootNode()->AddChild(top);
    top->AddChild(manager.CreateKQoxNode("Leaf"));
    ASSERT_TRUE(manager.DestroyKQoxScene(scene, true));
    EXPECT_EQ(manager.GetKQoxNodeCount(), 0);
    EXPECT_EQ(manager.GetKQoxSceneCount(), 0);
    EXPECT_FALSE(manager.DestroyKQoxScene(scene, true));
    EXPECT_STREQ(manager.GetLastErrorString(), "Object not found");

    // Without the flag the root stays with the manager, detached.
    scene = manager.CreateKQoxScene();
    KQoxNode* root = scene->GetRootNode();
    ASSERT_TRUE(manager.DestroyKQoxScene(scene, false));
    EXPECT_EQ(manager.GetKQoxNodeCount(), 1);
    EXPECT_EQ(manager.GetKQoxNode(0), root);
    EXPECT_EQ(root->GetEntity(), nullptr);
}

TEST(SceneLifetime, ManagerClearAndDestructionTakeScenesPosesAndTheirNodes)
{
    auto manager = std::make_unique<TestManager>();
    for (int i = 0; i < 3; ++i)
    {
        KQoxScene* scene = manager->CreateKQoxScene();
        scene->GetRootNode()->AddChild(manager->CreateKQoxNode("N"));
        scene->SetSceneInfo(manager->CreateKQoxSceneInfo());
        scene->AddPose(manager->CreateKQoxPose("P", i % 2 == 0));
    }
    manager->Clear();
    EXPECT_EQ(manager->GetKQoxSceneCount(), 0);
    EXPECT_EQ(manager->GetKQoxNodeCount(), 0);
    EXPECT_EQ(manager->GetKQoxPoseCount(), 0);
    EXPECT_EQ(manager->GetKQoxSceneInfoCount(), 0);
    // A new scene at once, left for the destructor.
    KQoxScene* scene = manager->CreateKQoxScene();
    scene->AddPose(manager->CreateKQoxPose("Late", true));
    manager.reset();
}

TEST_F(SceneTest, SceneInfoReplacedIsDestroyed)
{
    KQoxSceneInfo* first = mManager->CreateKQoxSceneInfo();
    mScene->SetSceneInfo(first);
    mScene->SetSceneInfo(first);
    EXPECT_EQ(mManager->GetKQoxSceneInfoCount(), 1);
    KQoxSceneInfo* second = mManager->CreateKQoxSceneInfo();
    mScene->SetSceneInfo(second);
    EXPECT_EQ(mManager->GetKQoxSceneInfoCount(), 1);
    EXPECT_EQ(mScene->GetSceneInfo(), second);
    mScene->SetSceneInfo(nullptr);
    EXPECT_EQ(mManager->GetKQoxSceneInfoCount(), 0);
}

TEST_F(SceneTest, PoseListRulesAndDestroyedPosesLeaveEveryScene)
{
    KQoxPose* bind = mManager->CreateKQoxPose("Bind", true);
    KQoxPose* rest = mManager->CreateKQoxPose("Model::Rest", false);
    EXPECT_STREQ(bind->GetName(), "Pose::Bind");
    EXPECT_STREQ(rest->GetName(), "Pose::Rest");
    EXPECT_EQ(mManager->FindKQoxPose("Pose::Rest"), rest);
    EXPECT_EQ(mManager->FindKQoxPose("Rest"), nullptr);

    EXPECT_TRUE(mScene->AddPose(bind));
    EXPECT_FALSE(mScene->AddPose(bind));
    EXPECT_FALSE(mScene->AddPose(nullptr));
    EXPECT_TRUE(mScene->AddPose(rest));
    EXPECT_EQ(mScene->GetPoseCount(), 2);
    EXPECT_EQ(mScene->GetPose(2), nullptr);
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

TEST_F(SceneTest, ReplaceCameraSwitcherDestroysThePreviousNode)
{
    const int before = mManager->GetKQoxNodeCount();
    KQoxNode* replacement = mManager->CreateKQoxNode("Switcher 2");
    mScene->ReplaceCameraSwitcher(replacement);
    EXPECT_EQ(mScene->GetCameraSwitcher(), replacement);
    EXPECT_EQ(mManager->GetKQoxNodeCount(), before);
    EXPECT_EQ(mManager->FindKQoxNode("Camera Switcher"), nullptr);
}

// Global camera settings ---------------------------------------------------------

TEST_F(SceneTest, ProducerCameraTable)
{
    struct Row
    {
        const char* name;
        int projection;
        double nearPlane, farPlane, x, y, z, upY, upZ;
    };
    const Row rows[7] = {
        {"Producer Perspective", 0, 10, 4000, 0, 71.3, 287.5, 1, 0}, {"Producer Top", 1, 1, 30000, 0, 4000, 0, 0, -1},
        {"Producer Bottom", 1, 1, 30000, 0, -4000, 0, 0, -1},        {"Producer Front", 1, 1, 30000, 0, 0, 4000, 1, 0},
        {"Producer Back", 1, 1, 30000, 0, 0, -4000, 1, 0},           {"Producer Right", 1, 1, 30000, 4000, 0, 0, 1, 0},
        {"Producer Left", 1, 1, 30000, -4000, 0, 0, 1, 0},
    };
    KQoxGlobalCameraSettings& settings = mScene->GetGlobalCameraSettings();
    KQoxNode* nodes[7] = {settings.GetCameraProducerPerspectiveNode(), settings.GetCameraProducerTopNode(),
                          settings.GetCameraProducerBottomNode(),      settings.GetCameraProducerFrontNode(),
                          settings.GetCameraProducerBackNode(),        settings.GetCameraProducerRightNode(),
                          settings.GetCameraProducerLeftNode()};
    for (int i = 0; i < 7; ++i)
    {
        SCOPED_TRACE(rows[i].name);
        const KQoxProducerCameraDefaults& d = kProducerCameras[i];
        EXPECT_STREQ(d.mNodeName, rows[i].name);
        EXPECT_EQ(d.mProjection, rows[i].projection);
        EXPECT_EQ(d.mNearPlane, rows[i].nearPlane);
        EXPECT_EQ(d.mFarPlane, rows[i].farPlane);
        EXPECT_EQ(d.mPosition[0], rows[i].x);
        EXPECT_EQ(d.mPosition[1], rows[i].y);
        EXPECT_EQ(d.mPosition[2], rows[i].z);
        EXPECT_EQ(d.mPosition[3], 1.0);
        EXPECT_EQ(d.mUpVector[1], rows[i].upY);
        EXPECT_EQ(d.mUpVector[2], rows[i].upZ);
        ASSERT_NE(nodes[i], nullptr);
        EXPECT_EQ(std::string(nodes[i]->GetName()), std::string("Model::") + rows[i].name);
        EXPECT_FALSE(nodes[i]->GetVisibility());
        EXPECT_EQ(nodes[i]->GetParent(), nullptr);
        EXPECT_EQ(settings.GetProducerNode(i), nodes[i]);
    }
    EXPECT_EQ(kProducerAngleOfView, 40.0);
    EXPECT_EQ(settings.GetProducerNode(7), nullptr);
    EXPECT_EQ(mScene->GetRootNode()->FindChild("Producer Top"), nullptr);
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
    settings.SetDefaultViewingMode(KQoxGlobalCameraSettings::eMODELS_ONLY);
    EXPECT_STREQ(other->GetGlobalCameraSettings().GetDefaultCamera(), "Shot");
    EXPECT_EQ(other->GetGlobalCameraSettings().GetDefaultViewingMode(), KQoxGlobalCameraSettings::eSTANDARD);
    EXPECT_NE(other->GetGlobalCameraSettings().GetCameraProducerTopNode(), settings.GetCameraProducerTopNode());
    ASSERT_TRUE(mManager->DestroyKQoxScene(other, true));

    settings.RestoreDefaultSettings();
    EXPECT_STREQ(settings.GetDefaultCamera(), "Producer Perspective");
    EXPECT_EQ(settings.GetDefaultViewingMode(), KQoxGlobalCameraSettings::eSTANDARD);
}

} // namespace
