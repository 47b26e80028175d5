// Skin links, cluster deformers, and the scene's conversions between the
// version-5 form (pointers in layers, links on geometry) and the version-6
// form (connections, skin and cluster deformers).

#include "geometry_test_util.h"

#include "object/kplug.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxpropertybinding.h"

namespace geometrytest {
namespace {

TEST(LinkTest, ResetStateAndAccessors)
{
    KQoxLink link;
    EXPECT_EQ(link.GetLinkMode(), KQoxLink::eADDITIVE);
    KQoxVector4 v;
    EXPECT_TRUE(Near3(link.GetTransformParentS(v), KQoxVector4(1, 1, 1)));
    EXPECT_EQ(v[3], 1.0);
    EXPECT_TRUE(Near3(link.GetTransformLinkR(v), KQoxVector4(0, 0, 0)));
    KQoxXMatrix matrix, identity;
    EXPECT_TRUE(link.GetTransformMatrix(matrix) == identity);
    link.AddControlPointIndex(-1, 0.5);
    EXPECT_EQ(link.GetControlPointIndicesCount(), 0);
    link.AddControlPointIndex(0, 0.0);
    EXPECT_EQ(link.GetControlPointIndicesCount(), 1);
    link.SetUserData(KString("Key"), KString("Value"));
    EXPECT_EQ(link.GetUserData(KString("kEY")), KString("Value"));
    EXPECT_EQ(link.GetUserData(KString("Other")), KString(""));
    EXPECT_STREQ(KQoxLink::LinkModeToken(1), "Additive");
    EXPECT_STREQ(KQoxLink::LinkModeToken(2), "Total1");
    EXPECT_EQ(KQoxLink::LinkModeToken(0), nullptr);
    EXPECT_FALSE(link.IsTransformParentSet());
    link.SetTransformParentT(KQoxVector4(1, 2, 3));
    EXPECT_TRUE(link.IsTransformParentSet());

    // Matrices come back from their vectors.
    KQoxXMatrix m(KQoxVector4(1, -2, 3), KQoxVector4(10, 20, 30), KQoxVector4(2, 3, 4));
    link.SetTransformAssociateModelMatrix(m);
    EXPECT_TRUE(link.GetTransformAssociateModelMatrix(matrix) == m);
}

TEST_F(GeometryTest, LinkNamesFollowTheirRules)
{
    KQoxNode* bone = mManager->CreateKQoxNode("Bone");
    KQoxNode* model = mManager->CreateKQoxNode("Model");
    KQoxLink* link = mManager->CreateKQoxLink();
    link->SetLink(bone);
    link->SetLink(nullptr); // ignored
    EXPECT_EQ(link->GetLink(), bone);
    link->SetAssociateModel(model);
    bone->SetName("Model::Renamed");
    model->SetName("Model::Moved");
    EXPECT_STREQ(link->GetLinkName().ToChars(), "Model::Bone");
    EXPECT_STREQ(link->GetAssociateModelName().ToChars(), "Model::Moved");
    link->SetAssociateModel(nullptr);
    EXPECT_STREQ(link->GetAssociateModelName().ToChars(), "");
}

TEST_F(GeometryTest, LinkAndClusterRoundTrip)
{
    KQoxNode* bone = mManager->CreateKQoxNode("Bone");
    KQoxLink source;
    source.SetLink(bone);
    source.SetLinkMode(KQoxLink::eTOTAL1);
    source.SetUserData(KString("id"), KString("data"));
    for (int i = 0; i < 1000; ++i)
        source.AddControlPointIndex(999 - i, i / 1000.0);
    source.SetTransformT(KQoxVector4(1, 2, 3));
    source.SetTransformR(KQoxVector4(10, 20, 30));
    source.SetTransformLinkS(KQoxVector4(2, 2, 2));

    KQoxDeformer* skin = mManager->CreateKQoxDeformer("Skin", "Skin");
    KQoxDeformer* cluster = mManager->CreateKQoxDeformer("Cluster", "CLUSTER");
    EXPECT_STREQ(cluster->GetName(), "SubDeformer::Cluster");
    EXPECT_STREQ(skin->GetName(), "Deformer::Skin");
    EXPECT_EQ(cluster->GetDeformerType(), KQoxDeformer::eCLUSTER);
    EXPECT_STREQ(cluster->GetTypeName().ToChars(), "Cluster");
    EXPECT_EQ(cluster->GetLinkMode(), KQoxLink::eNORMALIZE);
    EXPECT_EQ(cluster->GetLinkDeformAccuracy(), 50.0);
    ASSERT_EQ(cluster->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(cluster->GetTypeFlags().GetStringAt(0), "Deformer");
    EXPECT_NE(cluster->GetPropertyHandler()->FindPropertyByName("SrcModelReference"), nullptr);
    EXPECT_EQ(skin->GetPropertyHandler()->FindPropertyByName("SrcModel"), nullptr);

    *skin = source; // a skin takes nothing
    EXPECT_EQ(skin->GetControlPointIndices().GetCount(), 0);
    *cluster = source;
    KQoxLink back;
    back = *cluster;
    EXPECT_EQ(back.GetLink(), nullptr); // nodes come back through connections
    EXPECT_EQ(back.GetLinkMode(), KQoxLink::eTOTAL1);
    EXPECT_EQ(back.GetUserData(), KString("data"));
    ASSERT_EQ(back.GetControlPointIndicesCount(), 1000);
    EXPECT_EQ(back.GetControlPointIndices()[0], 999);
    EXPECT_EQ(back.GetControlPointWeights()[999], 0.999);
    EXPECT_FALSE(back.IsTransformParentSet());
    KQoxVector4 v;
    EXPECT_TRUE(Near3(back.GetTransformR(v), KQoxVector4(10, 20, 30), 1e-9));
    EXPECT_TRUE(Near3(back.GetTransformLinkS(v), KQoxVector4(2, 2, 2), 1e-12));

    KQoxLink fromSkin;
    fromSkin.AddControlPointIndex(1, 1.0);
    fromSkin = *skin;
    EXPECT_EQ(fromSkin.GetControlPointIndicesCount(), 0);
    EXPECT_EQ(fromSkin.GetLinkMode(), KQoxLink::eADDITIVE);

    // Entity membership is counted once; leaving removes it.
    EXPECT_TRUE(cluster->SetEntity(&Entity()));
    EXPECT_TRUE(cluster->SetEntity(&Entity()));
    EXPECT_EQ(Entity().GetDeformerCount(), 1);
    EXPECT_TRUE(cluster->SetEntity(nullptr));
    EXPECT_EQ(Entity().GetDeformerCount(), 0);
}

// Builds a scene in the version-5 form: a mesh with materials and textures
// in its layers and two links to bones of the same base name.
class ConversionTest : public GeometryTest
{
protected:
    void SetUp() override
    {
        GeometryTest::SetUp();
        mMesh = Cube();
        mNode = NodeWith("Body", mMesh);
        mBoneA = NodeWith("Arm", nullptr);
        KQoxNode* group = NodeWith("Group", nullptr);
        mBoneB = mManager->CreateKQoxNode("Other::Arm"); // same base name
        group->AddChild(mBoneB);
        mRed = mManager->CreateKQoxMaterial("Red");
        mBlue = mManager->CreateKQoxMaterial("Blue");
        mMesh->AM(mRed, 0);
        mMesh->AM(mBlue, 0);
        mMesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
        for (int index : {1, 0, 5}) // 5 names no material
            mMesh->GetLayer(0)->GetMaterials()->mIndexArray.Add(index);
        mWood = mManager->CreateKQoxTexture("Wood");
        mWood->SetFileName("/maps/wood.tif");
        mMesh->AT(mWood, 0);
        for (KQoxNode* bone : {mBoneA, mBoneB})
        {
            KQoxLink* link = mManager->CreateKQoxLink();
            link->SetLink(bone);
            link->SetAssociateModel(mNode);
            link->AddControlPointIndex(bone == mBoneA ? 1 : 2, 0.5);
            mMesh->AddLink(link);
        }
        KQoxLink* loose = mManager->CreateKQoxLink(); // no bone: skipped
        mMesh->AddLink(loose);
    }

    KQoxMesh* mMesh = nullptr;
    KQoxNode* mNode = nullptr;
    KQoxNode* mBoneA = nullptr;
    KQoxNode* mBoneB = nullptr;
    KQoxMaterial* mRed = nullptr;
    KQoxMaterial* mBlue = nullptr;
    KQoxTexture* mWood = nullptr;
};

TEST_F(ConversionTest, MaterialsTexturesAndVideosBecomeConnections)
{
    KPlug* block = mNode->GetPropertyHandler();
    mScene->ConnectMaterials();
    mScene->ConnectMaterials(); // no second connection
    mScene->ConnectTextures();
    ASSERT_EQ(block->GetSrcCount(), 3);
    EXPECT_EQ(block->GetSrc(0), mRed->GetPropertyHandler());
    EXPECT_EQ(block->GetSrc(1), mBlue->GetPropertyHandler());
    EXPECT_EQ(block->GetSrc(2), mWood->GetPropertyHandler());
    const KArrayTemplate<int>& indices = mMesh->GetLayer(0)->GetMaterials()->mIndexArray;
    EXPECT_EQ(indices[0], 1);
    EXPECT_EQ(indices[2], -1);

    mScene->ConnectVideos();
    KQoxVideo* video = mWood->GetVideo();
    ASSERT_NE(video, nullptr);
    EXPECT_STREQ(video->GetName(), "Video::Wood");
    EXPECT_STREQ(video->GetFileName(), "/maps/wood.tif");
    const int videos = mManager->GetKQoxVideoCount();
    mScene->ConnectVideos(); // the texture has its clip: no new one
    EXPECT_EQ(mManager->GetKQoxVideoCount(), videos);

    // A light's gobo gets a clip named after the file, with its extension.
    KQoxLight* light = mManager->CreateKQoxLight();
    light->SetFileName("/gobos/window.tif");
    KQoxNode* lamp = NodeWith("Lamp", light);
    KQoxLight* dark = mManager->CreateKQoxLight();
    KQoxNode* unlit = NodeWith("Unlit", dark);
    mScene->ConnectVideos();
    ASSERT_EQ(lamp->GetPropertyHandler()->GetSrcCount(), 1);
    KQoxObject* gobo = GetKQoxObjectOfPlug(lamp->GetPropertyHandler()->GetSrc(0));
    ASSERT_NE(gobo, nullptr);
    EXPECT_STREQ(gobo->GetName(), "Video::window.tif");
    EXPECT_EQ(unlit->GetPropertyHandler()->GetSrcCount(), 0);

    // A media name names the clip; no file name, no clip.
    KQoxTexture* named = mManager->CreateKQoxTexture("Stone");
    named->SetFileName("stone.tif");
    named->SetMediaName("Quarry");
    ConnectVideoToNodeUsing(named, named->GetFileName(), nullptr, named->GetMediaName(), "Stone", mManager.get());
    ASSERT_NE(named->GetVideo(), nullptr);
    EXPECT_STREQ(named->GetVideo()->GetName(), "Video::Quarry");
    KQoxTexture* empty = mManager->CreateKQoxTexture("Empty");
    ConnectVideoToNodeUsing(empty, nullptr, nullptr, "", "Empty", mManager.get());
    EXPECT_EQ(empty->GetVideo(), nullptr);
}

// The reader's side: layers without pointers get them back from the node's
// connections, index-to-direct entries renumbered in one step.
TEST_F(ConversionTest, DirectArraysRebuiltFromConnections)
{
    mScene->ConnectMaterials();
    KQoxLayerElementMaterial* materials = mMesh->GetLayer(0)->GetMaterials();
    KQoxMaterial* green = mManager->CreateKQoxMaterial("Green");
    mNode->GetPropertyHandler()->ConnectSrc(green->GetPropertyHandler()); // source 2
    // As read: no pointers; indices name sources 2, 0, 2 and an unknown 9.
    mNode->SetNodeAttribute(nullptr);
    materials->mDirectArray.Clear();
    materials->mIndexArray.Clear();
    for (int index : {2, 0, 2, 9})
        materials->mIndexArray.Add(index);
    mNode->SetNodeAttribute(mMesh);
    mScene->BuildMaterialLayersDirectArray();
    ASSERT_EQ(materials->mDirectArray.GetCount(), 2);
    EXPECT_EQ(materials->mDirectArray[0], mRed);
    EXPECT_EQ(materials->mDirectArray[1], green);
    const int expected[] = {1, 0, 1, 9};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(materials->mIndexArray[i], expected[i]) << i;
    // A direct array holding some materials already: one map from source
    // position to direct position, no entry renumbered twice, no duplicate.
    materials->mDirectArray.Clear();
    materials->mDirectArray.Add(mBlue);
    materials->mIndexArray.Clear();
    for (int index : {0, 1, 1})
        materials->mIndexArray.Add(index);
    mScene->BuildMaterialLayersDirectArray();
    ASSERT_EQ(materials->mDirectArray.GetCount(), 2);
    EXPECT_EQ(materials->mDirectArray[1], mRed);
    const int remapped[] = {1, 0, 0};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(materials->mIndexArray[i], remapped[i]) << i;

    // Direct mode: only the missing tail is filled, in source order.
    materials->mReferenceMode = KQoxLayerElement::eDIRECT;
    mScene->BuildMaterialLayersDirectArray();
    ASSERT_EQ(materials->mDirectArray.GetCount(), 3);
    EXPECT_EQ(materials->mDirectArray[2], green);
    mScene->BuildMaterialLayersDirectArray(); // complete: nothing more
    EXPECT_EQ(materials->mDirectArray.GetCount(), 3);

    // Textures the same way.
    KQoxLayerElementTexture* textures = mMesh->GetLayer(0)->GetTextures();
    mScene->ConnectTextures();
    textures->mDirectArray.Clear();
    textures->mIndexArray.Add(0);
    mScene->BuildTextureLayersDirectArray();
    ASSERT_EQ(textures->mDirectArray.GetCount(), 1);
    EXPECT_EQ(textures->mDirectArray[0], mWood);
}

TEST_F(ConversionTest, LinksBecomeDeformersAndBack)
{
    mScene->BuildKQoxDeformerFromKQoxLink();
    EXPECT_EQ(mScene->GetDeformerCount(KQoxDeformer::eSKIN), 1);
    ASSERT_EQ(mScene->GetDeformerCount(KQoxDeformer::eCLUSTER), 2);
    EXPECT_EQ(mScene->GetDeformerCount(0), 3);
    EXPECT_STREQ(mScene->GetDeformer(0, KQoxDeformer::eSKIN)->GetName(), "Deformer::Skin Body");
    KQoxDeformer* first = mScene->GetDeformer(0, KQoxDeformer::eCLUSTER);
    KQoxDeformer* second = mScene->GetDeformer(1, KQoxDeformer::eCLUSTER);
    EXPECT_STREQ(first->GetName(), "SubDeformer::Cluster Arm");
    EXPECT_STREQ(second->GetName(), "SubDeformer::Cluster Arm 1");
    EXPECT_EQ(first->GetControlPointIndices()[0], 1);
    EXPECT_EQ(first->GetPropertyHandler()->GetSrc(0), mBoneA->GetPropertyHandler());
    KProperty* reference = first->GetPropertyHandler()->FindPropertyByName("SrcModelReference");
    ASSERT_EQ(reference->GetSrcCount(), 1);
    EXPECT_EQ(reference->GetSrc(0), mNode->GetPropertyHandler());
    EXPECT_EQ(mScene->GetDeformer(2, KQoxDeformer::eCLUSTER), nullptr);

    // Back: the geometry keeps its links and gains rebuilt copies.
    mScene->BuildKQoxLinkFromKQoxDeformer();
    ASSERT_EQ(mMesh->GetLinkCount(), 5);
    EXPECT_EQ(mMesh->GetLink(3)->GetLink(), mBoneA);
    EXPECT_EQ(mMesh->GetLink(4)->GetLink(), mBoneB);
    EXPECT_EQ(mMesh->GetLink(4)->GetAssociateModel(), mNode);
    EXPECT_EQ(mMesh->GetLink(4)->GetControlPointIndices()[0], 2);

    mScene->RemoveKQoxDeformers();
    EXPECT_EQ(mScene->GetDeformerCount(0), 0);
    EXPECT_EQ(mManager->GetKQoxDeformerCount(), 0);
}

// A geometry without links gets no skin; a deformer counted twice in the
// entity still goes in one removal.
TEST_F(GeometryTest, NoLinksNoSkinAndDoubleCountedDeformers)
{
    NodeWith("Plain", Cube());
    mScene->BuildKQoxDeformerFromKQoxLink();
    EXPECT_EQ(mScene->GetDeformerCount(0), 0);
    KQoxDeformer* skin = mManager->CreateKQoxDeformer("Twice", "Skin");
    skin->SetEntity(&Entity());
    Entity().AddDeformer(skin);
    mScene->RemoveKQoxDeformers();
    EXPECT_EQ(Entity().GetDeformerCount(), 0);
    EXPECT_EQ(mManager->GetKQoxDeformerCount(), 0);
}

} // namespace
} // namespace geometrytest

namespace geometrytest {
namespace {

// The property set base names no kind of its own: only the skin and cluster
// sets can be made, and each names its kind through the base.
TEST(DeformerPropertiesTest, BaseSetIsAbstractAndEachSetNamesItsKind)
{
    static_assert(std::is_abstract<KQoxDeformerProperties>::value, "the base set names no kind");
    static_assert(!std::is_abstract<KQoxSkinDeformerProperties>::value, "a skin set can be made");
    static_assert(!std::is_abstract<KQoxClusterDeformerProperties>::value, "a cluster set can be made");
    KQoxSkinDeformerProperties skin(nullptr);
    KQoxClusterDeformerProperties cluster(nullptr);
    KQoxDeformerProperties* sets[2] = {&skin, &cluster};
    EXPECT_STREQ("Skin", sets[0]->GetTypeName());
    EXPECT_STREQ("Cluster", sets[1]->GetTypeName());
    EXPECT_EQ(KQoxDeformerProperties::ClassId, sets[0]->GetClassId());
}

} // namespace
} // namespace geometrytest
