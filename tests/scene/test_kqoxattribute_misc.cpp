// Generic nodes, optical references, node copies of every attribute kind,
// the typed views of a node, a clip's file reaching a node's light, and many
// attributes cleared with their manager.

#include <utility>

#include "attribute_test_util.h"
#include "base/karray.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraproperties.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxopticalreference.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxuserproperty.h"

namespace attrtest {
namespace {

TEST(GenericNodeTest, EntityLinkNamesAndChannels)
{
    KQoxSdkManager manager;
    KQoxGenericNode* generic = manager.CreateKQoxGenericNode("Rig Settings");
    ASSERT_NE(generic, nullptr);
    EXPECT_STREQ(generic->GetName(), "Rig Settings"); // no prefix
    EXPECT_EQ(manager.FindKQoxGenericNode("Rig Settings"), generic);
    EXPECT_EQ(generic->GetNameSpace(), KQoxObject::eNO_PREFIX);
    EXPECT_STREQ(generic->GetTypeName().ToChars(), "GenericNode");
    EXPECT_STREQ(generic->GetTypeFlags().GetStringAt(0), "GenericNode");
    EXPECT_STREQ(generic->GetPropertyHandler()->GetClassIdName(), "KQoxGenericNodeProperties");
    EXPECT_EQ(generic->GetPropertyHandler()->GetKQoxObject(), generic);
    EXPECT_EQ(generic->GetTakeNodeCount(), 1);

    KQoxEntity first(manager);
    KQoxEntity second(manager);
    EXPECT_TRUE(generic->SetEntity(&first));
    EXPECT_TRUE(generic->SetEntity(&first)); // unchanged: not added twice
    EXPECT_EQ(first.GetGenericNodeCount(), 1);
    EXPECT_TRUE(generic->SetEntity(&second));
    EXPECT_EQ(first.GetGenericNodeCount(), 0);
    EXPECT_EQ(second.GetGenericNode("Rig Settings"), generic);
    EXPECT_TRUE(generic->SetEntity(nullptr));
    EXPECT_EQ(second.GetGenericNodeCount(), 0);
    EXPECT_EQ(generic->GetEntity(), nullptr);

    // Only animatable properties get channels, in every take.
    KQoxUserProperty* still = manager.CreateKQoxUserProperty("Still", "Number", "Still");
    KQoxUserProperty* moving = manager.CreateKQoxUserProperty("Moving", "Number", "Moving");
    moving->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    generic->PropertyAdded(still);
    generic->PropertyAdded(moving);
    generic->CreateTakeNode("Take 001");
    for (int i = 0; i < 2; ++i)
    {
        KFCurveNode* root = generic->GetTakeNode(i)->GetKFCurveNode();
        EXPECT_EQ(root->GetCount(), 1);
        EXPECT_GE(root->Find("Moving"), 0);
        EXPECT_LT(root->Find("Still"), 0);
    }
    EXPECT_TRUE(manager.DestroyKQoxGenericNode(generic));
    EXPECT_FALSE(manager.DestroyKQoxGenericNode(generic));
    EXPECT_EQ(manager.GetKQoxGenericNodeCount(), 0);
}

TEST_F(AttributeTest, OpticalReferenceCarriesNothing)
{
    KQoxOpticalReference* optical = mManager->CreateKQoxOpticalReference();
    EXPECT_EQ(optical->GetAttributeType(), 10);
    EXPECT_STREQ(optical->GetTypeName().ToChars(), "Optical");
    EXPECT_STREQ(optical->GetTypeFlags().GetStringAt(0), "Marker");
    mNode->SetNodeAttribute(optical);
    ExpectChannelsEverywhere(NodeChannels(""));
    EXPECT_EQ(mNode->GetOpticalReference(), optical);
    EXPECT_EQ(mNode->GetMarker(), nullptr);
}

TEST_F(AttributeTest, TypedViewsOfANode)
{
    struct
    {
        KQoxNodeAttribute* mAttribute;
        int mType;
    } const cases[] = {{mManager->CreateKQoxNull(), 1},
                       {mManager->CreateKQoxMarker(), 2},
                       {mManager->CreateKQoxSkeleton(), 3},
                       {mManager->CreateKQoxCamera(), 7},
                       {mManager->CreateKQoxCameraSwitcher(), 8},
                       {mManager->CreateKQoxLight(), 9},
                       {mManager->CreateKQoxOpticalReference(), 10}};
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), 7);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mType);
        EXPECT_EQ(c.mAttribute->GetAttributeType(), c.mType);
        mNode->SetNodeAttribute(c.mAttribute);
        const KQoxNodeAttribute* views[] = {
            mNode->GetNull(),           mNode->GetMarker(), mNode->GetSkeleton(),        mNode->GetCamera(),
            mNode->GetCameraSwitcher(), mNode->GetLight(),  mNode->GetOpticalReference()};
        int found = 0;
        for (const KQoxNodeAttribute* view : views)
            found += view == c.mAttribute ? 1 : view ? 100 : 0;
        EXPECT_EQ(found, 1);
    }
    // The manager's Clear destroys attributes before the nodes holding them.
    mManager->Clear();
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), 0);
}

TEST_F(AttributeTest, NodeCopyCreatesAndCopiesEachKind)
{
    KQoxNode* target = mManager->CreateKQoxNode("Target");
    KQoxNull* null = mManager->CreateKQoxNull();
    null->SetSize(7.0);
    mNode->SetNodeAttribute(null);
    *target = *mNode;
    ASSERT_NE(target->GetNull(), nullptr);
    EXPECT_NE(target->GetNull(), null);
    EXPECT_EQ(target->GetNull()->GetSize(), 7.0);

    // A camera replaces the null, which is destroyed.
    const int attributes = mManager->GetKQoxNodeAttributeCount();
    KQoxCamera* camera = mManager->CreateKQoxCamera();
    camera->SetFocalLength(85.0);
    mNode->SetNodeAttribute(camera);
    mManager->DestroyKQoxNodeAttribute(null);
    *target = *mNode;
    ASSERT_NE(target->GetCamera(), nullptr);
    EXPECT_EQ(target->GetCamera()->GetFocalLength(), 85.0);
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), attributes); // two cameras in place of two nulls
    EXPECT_EQ(Channels(target->GetDefaultTakeNode()), Channels(DefaultTake()));

    // The switcher: a target without one gets one, and the names are replaced.
    KQoxCameraSwitcher* switcher = mManager->CreateKQoxCameraSwitcher();
    switcher->AddCameraName("Cam");
    mNode->SetNodeAttribute(switcher);
    *target = *mNode;
    ASSERT_NE(target->GetCameraSwitcher(), nullptr);
    *target = *mNode;
    EXPECT_EQ(target->GetCameraSwitcher()->GetCameraNameCount(), 1);

    KQoxLight* light = mManager->CreateKQoxLight();
    light->SetLightType(KQoxLight::eSPOT);
    mNode->SetNodeAttribute(light);
    *target = *mNode;
    ASSERT_NE(target->GetLight(), nullptr);
    EXPECT_EQ(target->GetLight()->GetLightType(), KQoxLight::eSPOT);

    KQoxMarker* marker = mManager->CreateKQoxMarker();
    marker->SetType(KQoxMarker::eOPTICAL);
    KQoxSkeleton* skeleton = mManager->CreateKQoxSkeleton();
    skeleton->SetSkeletonType(KQoxSkeleton::eLIMB_NODE);
    mNode->SetNodeAttribute(marker);
    *target = *mNode;
    ASSERT_NE(target->GetMarker(), nullptr);
    EXPECT_EQ(target->GetMarker()->GetType(), KQoxMarker::eOPTICAL);
    mNode->SetNodeAttribute(skeleton);
    *target = *mNode;
    ASSERT_NE(target->GetSkeleton(), nullptr);
    EXPECT_EQ(target->GetSkeleton()->GetSkeletonType(), KQoxSkeleton::eLIMB_NODE);
    mNode->SetNodeAttribute(mManager->CreateKQoxOpticalReference());
    *target = *mNode;
    EXPECT_NE(target->GetOpticalReference(), nullptr);

    // No source attribute: the target's goes.
    mNode->SetNodeAttribute(nullptr);
    *target = *mNode;
    EXPECT_EQ(target->GetNodeAttribute(), nullptr);
}

TEST_F(AttributeTest, ClipFileNameReachesTheLightOfItsNode)
{
    KQoxLight* light = mManager->CreateKQoxLight();
    mNode->SetNodeAttribute(light);
    KQoxVideo* video = mManager->CreateKQoxVideo("Gobo");
    ASSERT_TRUE(video->SetFileName("/media/gobo.png"));
    ASSERT_TRUE(mNode->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler()));
    EXPECT_STREQ(light->GetFileName(), "/media/gobo.png");
}

TEST(AttributeLifetimeTest, ManyAttachedAttributesClearedEitherWay)
{
    for (bool nodesFirst : {false, true})
    {
        KQoxSdkManager manager;
        for (int i = 0; i < 4000; ++i)
        {
            KQoxNode* node = manager.CreateKQoxNode("N");
            switch (i % 4)
            {
            case 0: node->SetNodeAttribute(manager.CreateKQoxSkeleton()); break;
            case 1: node->SetNodeAttribute(manager.CreateKQoxMarker()); break;
            case 2: node->SetNodeAttribute(manager.CreateKQoxLight()); break;
            default: node->SetNodeAttribute(manager.CreateKQoxCamera()); break;
            }
        }
        if (nodesFirst)
        {
            while (manager.GetKQoxNodeCount() > 0)
                ASSERT_TRUE(manager.DestroyKQoxNode(manager.GetKQoxNode(manager.GetKQoxNodeCount() - 1)));
        }
        EXPECT_EQ(manager.GetKQoxNodeAttributeCount(), 4000);
        KQoxLight* light = static_cast<KQoxLight*>(manager.GetKQoxNodeAttribute(2));
        EXPECT_EQ(light->GetDefaultIntensity(), 100.0);
    }
}

// Destroying an attached attribute takes it off its node first; the light's
// channels leave the node's Default take with it.
TEST(AttributeLifetimeTest, DestroyingAnAttachedAttributeDetachesIt)
{
    KQoxSdkManager manager;
    KQoxNodeAttribute* attributes[] = {manager.CreateKQoxCamera(), manager.CreateKQoxLight(),
                                       manager.CreateKQoxMarker(), manager.CreateKQoxNull(),
                                       manager.CreateKQoxSkeleton()};
    for (KQoxNodeAttribute* attribute : attributes)
    {
        ASSERT_NE(attribute, nullptr);
        KQoxNode* node = manager.CreateKQoxNode("Holder");
        node->SetNodeAttribute(attribute);
        ASSERT_EQ(node->GetNodeAttribute(), attribute);
        KFCurveNode* root = node->GetDefaultTakeNode()->GetKFCurveNode();
        const bool isLight = attribute->GetAttributeType() == KQoxNodeAttribute::eLIGHT;
        EXPECT_EQ(root->Find("Intensity") >= 0, isLight);
        EXPECT_TRUE(manager.DestroyKQoxNodeAttribute(attribute));
        EXPECT_EQ(node->GetNodeAttribute(), nullptr);
        EXPECT_LT(root->Find("Intensity"), 0);
    }
}

// Every attribute lists its own property block, in block order, after what the
// list already holds; a null list is ignored.
TEST(AttributePropertyListTest, ListsTheWholeBlockInOrder)
{
    KQoxSdkManager manager;
    KQoxCamera* camera = manager.CreateKQoxCamera();
    KQoxLight* light = manager.CreateKQoxLight();
    KQoxMarker* marker = manager.CreateKQoxMarker();
    KQoxNull* null = manager.CreateKQoxNull();
    KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
    ASSERT_TRUE(camera && light && marker && null && skeleton);
    const std::pair<KQoxNodeAttribute*, KObject*> attributes[] = {{camera, camera->GetPropertyHandler()},
                                                                  {light, light->GetPropertyHandler()},
                                                                  {marker, marker->GetPropertyHandler()},
                                                                  {null, null->GetPropertyHandler()},
                                                                  {skeleton, skeleton->GetPropertyHandler()}};
    for (const auto& [attribute, block] : attributes)
    {
        ASSERT_NE(block, nullptr);
        ASSERT_GT(block->GetPropertyCount(), 0);
        KArrayTemplate<KProperty*> properties;
        properties.Add(nullptr);
        attribute->FillPropertyList(&properties);
        ASSERT_EQ(properties.GetCount(), block->GetPropertyCount() + 1);
        EXPECT_EQ(properties[0], nullptr);
        for (int i = 0; i < block->GetPropertyCount(); ++i)
            EXPECT_EQ(properties[i + 1], block->GetProperty(i)) << attribute->GetTypeName().ToChars() << " " << i;
        attribute->FillPropertyList(nullptr);
    }
}

} // namespace
} // namespace attrtest
