// Nodes whose Default take was never asked for write the same files as nodes
// whose Default take was asked for as soon as they were made, and read back
// the same: plain, camera, light and mesh nodes with default transforms,
// properties written directly, user properties, takes with keys.

#include <gtest/gtest.h>

#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;
using fileiotest::Export;
using fileiotest::Import;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

KQoxNode* MakeNode(KQoxSdkManager& manager, KQoxNode* parent, const std::string& name, bool early)
{
    KQoxNode* node = manager.CreateKQoxNode(name.c_str());
    if (early)
        node->GetDefaultTakeNode();
    parent->AddChild(node);
    return node;
}

void Key(KFCurve* curve, long long time, float value)
{
    const int i = curve->KeyAdd(KTime(time));
    curve->KeySet(i, KTime(time), value, KFCURVE_INTERPOLATION_LINEAR);
}

// count nodes of each kind under the root; early: every node's Default take
// is asked for as soon as it is made.
void BuildNodes(KQoxSdkManager& manager, KQoxScene& scene, int count, bool early)
{
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < count; ++i)
    {
        const std::string n = std::to_string(i);
        KQoxNode* plain = MakeNode(manager, root, "plain" + n, early);
        plain->SetDefaultT(KQoxVector4(i, 0.5, -i));
        plain->SetDefaultR(KQoxVector4(0, 30.0 * i, 0));
        // Written directly: the Default take keeps what it had.
        plain->SetVisibility(i % 2 == 0);
        KgeTVector scaling(2, 2, 2, 1);
        plain->GetProperties()->mLclScaling->SetData(&scaling, 0, nullptr, nullptr);

        KQoxNode* camera = MakeNode(manager, plain, "camera" + n, early);
        KQoxCamera* cameraAttribute = manager.CreateKQoxCamera();
        camera->SetNodeAttribute(cameraAttribute);
        cameraAttribute->SetFocalLength(20.0 + i);
        camera->SetDefaultS(KQoxVector4(1, 1, 3));

        KQoxNode* light = MakeNode(manager, root, "light" + n, early);
        KQoxLight* lightAttribute = manager.CreateKQoxLight();
        light->SetNodeAttribute(lightAttribute);
        lightAttribute->SetFileName(("gobo" + n + ".tif").c_str());

        KQoxNode* mesh = MakeNode(manager, root, "mesh" + n, early);
        KQoxMesh* meshAttribute = manager.CreateKQoxMesh();
        mesh->SetNodeAttribute(meshAttribute);
        meshAttribute->InitControlPoints(3);
        for (int p = 0; p < 3; ++p)
            meshAttribute->GetControlPoints()[p] = KQoxVector4(p, p * i, 1, 1);
        meshAttribute->BeginPolygon(-1, -1, 0);
        for (int p = 0; p < 3; ++p)
            meshAttribute->AddPolygon(p);
        meshAttribute->EndPolygon();
        if (i % 3 == 1)
        {
            KQoxUserProperty* weight = manager.CreateKQoxUserProperty("Weight", "Number", "Weight");
            weight->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
            mesh->AddProperty(weight);
            weight->SetDefaultValue(0.5 * i);
        }
        // One animated take on some nodes of each kind.
        if (i % 2 == 1)
        {
            for (KQoxNode* node : {plain, camera, light, mesh})
            {
                KQoxTakeNode* take = node->CreateTakeNode("Take 001");
                Key(take->GetTranslationX(), 0, 1.0f);
                Key(take->GetTranslationX(), 46186158000LL, 2.0f + i);
            }
        }
    }
}

const int kForms[] = {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY};

} // namespace

TEST(NativeDefaultTake, NodesNeverAskedWriteTheSameBytes)
{
    TempDir dir;
    for (int form : kForms)
    {
        SCOPED_TRACE(form);
        KQoxSdkManager earlyManager;
        KQoxScene earlyScene(earlyManager);
        BuildNodes(earlyManager, earlyScene, 6, true);
        KQoxSdkManager lateManager;
        KQoxScene lateScene(lateManager);
        BuildNodes(lateManager, lateScene, 6, false);
        EXPECT_TRUE(lateScene.GetRootNode()->GetChild(0)->IsDefaultTakePending());

        const std::string early = dir.File("early.qox"), late = dir.File("late.qox");
        ASSERT_TRUE(Export(earlyManager, earlyScene, early, form));
        ASSERT_TRUE(Export(lateManager, lateScene, late, form));
        // Writing left the Default takes owed.
        EXPECT_TRUE(lateScene.GetRootNode()->GetChild(0)->IsDefaultTakePending());
        const std::string earlyBytes = ReadFile(early);
        EXPECT_GT(earlyBytes.size(), 1000u);
        EXPECT_TRUE(earlyBytes == ReadFile(late));

        // Written again, and read back: the same once more.
        ASSERT_TRUE(Export(lateManager, lateScene, late, form));
        EXPECT_TRUE(earlyBytes == ReadFile(late));
        KQoxScene earlyRead(earlyManager), lateRead(lateManager);
        ASSERT_TRUE(Import(earlyManager, earlyRead, early));
        ASSERT_TRUE(Import(lateManager, lateRead, late));
        const int digits = form == eEXPORT_QOX_ASCII ? 15 : 17;
        EXPECT_EQ(ListScene(earlyManager, earlyRead, digits), ListScene(lateManager, lateRead, digits));
        EXPECT_EQ(ListScene(earlyManager, earlyScene, digits), ListScene(lateManager, lateScene, digits));
    }
}

TEST(NativeDefaultTake, WhatWasReadWritesTheSameBytes)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildNodes(manager, scene, 3, false);
    const std::string first = dir.File("first.qox"), second = dir.File("second.qox");
    ASSERT_TRUE(Export(manager, scene, first, eEXPORT_QOX_BINARY));
    KQoxScene read(manager);
    ASSERT_TRUE(Import(manager, read, first));
    ASSERT_TRUE(Export(manager, read, second, eEXPORT_QOX_BINARY));
    KQoxScene again(manager);
    ASSERT_TRUE(Import(manager, again, second));
    // Plain and mesh nodes read keep their Default takes owed; nodes with a
    // camera or a light hold theirs.
    KQoxNode* root = again.GetRootNode();
    EXPECT_TRUE(root->FindChild("plain1")->IsDefaultTakePending());
    EXPECT_TRUE(root->FindChild("mesh2")->IsDefaultTakePending());
    EXPECT_FALSE(root->FindChild("camera0")->IsDefaultTakePending());
    EXPECT_EQ(2, root->FindChild("plain1")->GetTakeNodeCount());
    EXPECT_EQ(ListScene(manager, read), ListScene(manager, again));
}
