// Lights and markers: defaults, channel sets per take, seeding on attachment,
// type rebuilds, copies and the detached and channel-less paths.

#include <cmath>
#include <limits>

#include "attribute_test_util.h"
#include "base/karray.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"

namespace attrtest {
namespace {

const char* const kLightChannels = "Color|Intensity|Cone angle|Fog";

double PropertyValue(KObject& block, const char* name)
{
    return block.FindPropertyByName(name)->AsDouble();
}

TEST(LightTest, NewLightDefaultsAndTexts)
{
    KQoxSdkManager manager;
    KQoxLight* light = manager.CreateKQoxLight();
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->GetAttributeType(), KQoxNodeAttribute::eLIGHT);
    EXPECT_EQ(light->GetLightType(), KQoxLight::ePOINT);
    EXPECT_TRUE(light->GetCastLight());
    EXPECT_TRUE(light->GetGroundProjection());
    EXPECT_TRUE(light->GetVolumetricProjection());
    EXPECT_FALSE(light->GetFrontVolumetricProjection());
    EXPECT_EQ(light->GetFileName(), nullptr);
    EXPECT_STREQ(light->GetTypeName().ToChars(), "Light");
    EXPECT_STREQ(light->GetTypeFlags().GetStringAt(0), "Light");

    // Detached, the default getters read the properties.
    KQoxColor color(0.5, 0.5, 0.5, 0.25);
    light->GetDefaultColor(color);
    EXPECT_EQ(color, KQoxColor(1.0, 1.0, 1.0, 0.25));
    EXPECT_EQ(light->GetDefaultIntensity(), 100.0);
    EXPECT_EQ(light->GetDefaultConeAngle(), 45.0);
    EXPECT_EQ(light->GetDefaultFog(), 50.0);

    KArrayTemplate<KProperty*> properties;
    light->FillPropertyList(&properties);
    const char* const names[] = {"LightType",
                                 "CastLightOnObject",
                                 "DrawVolumetricLight",
                                 "DrawGroundProjection",
                                 "DrawFrontFacingVolumetricLight",
                                 "GoboProperty",
                                 "Color",
                                 "Intensity",
                                 "Cone angle",
                                 "Fog"};
    ASSERT_EQ(properties.GetCount(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_STREQ(properties[i]->GetPropertyName(), names[i]);
    EXPECT_TRUE(properties[7]->IsAnimatable());
    EXPECT_FALSE(properties[1]->IsAnimatable());

    KQoxLightProperties* block = light->GetPropertyHandler();
    EXPECT_STREQ(block->LightTypeAsString(2), "Spot Light");
    EXPECT_STREQ(block->LightTypeAsString(1), "Infinite Light");
    EXPECT_EQ(block->LightTypeAsString(3), nullptr);
    EXPECT_EQ(block->LightTypeAsString(-1), nullptr);
    EXPECT_STREQ(block->GetClassIdName(), "KQoxLightProperties");

    EXPECT_TRUE(light->SetFileName("gobo.tif"));
    EXPECT_STREQ(light->GetFileName(), "gobo.tif");
    EXPECT_TRUE(light->SetFileName(""));
    EXPECT_EQ(light->GetFileName(), nullptr);
}

TEST_F(AttributeTest, LightChannelsAreSeededFromValuesSetWhileDetached)
{
    const int callbacks = mNode->GetDefaultTakeCallbackCount();
    KQoxLight* light = mManager->CreateKQoxLight();
    light->SetDefaultIntensity(10.1);
    KQoxColor red(1.0, 0.0, 0.0, 1.0);
    light->SetDefaultColor(red);
    mNode->SetNodeAttribute(light);
    ExpectChannelsEverywhere(NodeChannels(kLightChannels));
    EXPECT_EQ(mNode->GetDefaultTakeCallbackCount(), callbacks + 6);

    // Every take starts from the values, and the property keeps its double.
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(Take(i)->GetLightIntensity()->GetValue(), 10.1f);
        EXPECT_EQ(Take(i)->GetColorG()->GetValue(), 0.0f);
        EXPECT_EQ(Take(i)->GetLightFog()->GetValue(), 50.0f);
    }
    EXPECT_EQ(PropertyValue(*light->GetPropertyHandler(), "Intensity"), 10.1);
    EXPECT_EQ(light->GetDefaultIntensity(), static_cast<double>(10.1f));

    // Attached: both the Default curve and the property.
    light->SetDefaultConeAngle(30.0);
    EXPECT_EQ(light->GetDefaultConeAngle(), 30.0);
    EXPECT_EQ(PropertyValue(*light->GetPropertyHandler(), "Cone angle"), 30.0);
    EXPECT_EQ(Take(1)->GetLightConeAngle()->GetValue(), 45.0f); // other takes keep theirs

    // A key edit of the Default curve reaches the property.
    DefaultTake()->GetLightFog()->SetValue(12.5f);
    EXPECT_EQ(PropertyValue(*light->GetPropertyHandler(), "Fog"), 12.5);
    KQoxColor read;
    light->GetDefaultColor(read);
    EXPECT_EQ(read, red);

    // Detaching removes exactly the four channels from every take; the
    // values stay on the properties.
    mNode->SetNodeAttribute(nullptr);
    ExpectChannelsEverywhere(NodeChannels(""));
    EXPECT_EQ(light->GetDefaultConeAngle(), 30.0);
    EXPECT_EQ(mNode->GetDefaultTakeCallbackCount(), callbacks); // no record outlives its curve
}

TEST_F(AttributeTest, LightCopyAndLifetimes)
{
    KQoxLight* source = mManager->CreateKQoxLight();
    source->SetLightType(KQoxLight::eSPOT);
    source->SetCastLight(false);
    source->SetFileName("a.tif");
    source->SetGroundProjection(false);
    source->SetVolumetricProjection(false);
    source->SetFrontVolumetricProjection(true);
    source->SetDefaultIntensity(3.0);
    KQoxLight* target = mManager->CreateKQoxLight();
    *target = *source;
    EXPECT_EQ(target->GetLightType(), KQoxLight::eSPOT);
    EXPECT_FALSE(target->GetCastLight());
    EXPECT_STREQ(target->GetFileName(), "a.tif");
    EXPECT_FALSE(target->GetGroundProjection());
    EXPECT_FALSE(target->GetVolumetricProjection());
    EXPECT_TRUE(target->GetFrontVolumetricProjection());
    EXPECT_EQ(target->GetDefaultIntensity(), 100.0); // animatable values are not copied

    // Light destroyed before its node: the channels go with it.
    mNode->SetNodeAttribute(target);
    EXPECT_TRUE(mManager->DestroyKQoxNodeAttribute(target));
    EXPECT_EQ(mNode->GetNodeAttribute(), nullptr);
    ExpectChannelsEverywhere(NodeChannels(""));

    // Node destroyed before its light: the light is detached and keeps
    // answering from its properties.
    mNode->SetNodeAttribute(source);
    source->SetDefaultFog(7.0);
    EXPECT_TRUE(mManager->DestroyKQoxNode(mNode));
    EXPECT_EQ(source->GetNode(), nullptr);
    EXPECT_EQ(source->GetDefaultFog(), 7.0);
    source->SetDefaultFog(8.0);
    EXPECT_EQ(source->GetDefaultFog(), 8.0);
}

TEST_F(AttributeTest, LightGettersSurviveChannelsRemovedByHand)
{
    KQoxLight* light = mManager->CreateKQoxLight();
    mNode->SetNodeAttribute(light);
    KFCurveNode* root = DefaultTake()->GetKFCurveNode();
    root->Delete(root->Find("Intensity"));
    root->Delete(root->Find("Color"));
    EXPECT_EQ(light->GetDefaultIntensity(), 100.0);
    light->SetDefaultIntensity(20.0);
    EXPECT_EQ(light->GetDefaultIntensity(), 20.0);
    KQoxColor color;
    EXPECT_EQ(light->GetDefaultColor(color), KQoxColor(1.0, 1.0, 1.0, 1.0));
    const double extremes[] = {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::denorm_min()};
    for (double value : extremes)
    {
        light->SetDefaultFog(value); // not clamped; the curve holds it in single precision
        EXPECT_EQ(PropertyValue(*light->GetPropertyHandler(), "Fog"), value);
    }
}

// --------------------------------------------------------------------------
// Markers

TEST(MarkerTest, NewMarkerDefaultsTextsAndDisplayValues)
{
    KQoxSdkManager manager;
    KQoxMarker* marker = manager.CreateKQoxMarker();
    EXPECT_EQ(marker->GetAttributeType(), KQoxNodeAttribute::eMARKER);
    EXPECT_EQ(marker->GetType(), KQoxMarker::eSTANDARD);
    EXPECT_EQ(marker->GetLook(), KQoxMarker::eCUBE);
    EXPECT_EQ(marker->GetSize(), 100.0);
    EXPECT_EQ(marker->GetColor(), KQoxColor(1.0, 0.0, 0.0, 1.0));
    EXPECT_FALSE(marker->GetShowLabel());
    EXPECT_EQ(marker->GetIKPivot()[3], 1.0);
    EXPECT_EQ(marker->GetDefaultOcclusion(), 0.0); // detached: no curve read

    marker->SetColor(KQoxColor(0.2, 0.4, 0.6, 0.1));
    EXPECT_EQ(marker->GetColor(), KQoxColor(0.2, 0.4, 0.6, 1.0));
    KQoxVector4 pivot(1.0, -2.0, 3.0, 9.0);
    marker->SetIKPivot(pivot);
    EXPECT_EQ(marker->GetIKPivot()[1], -2.0);
    EXPECT_EQ(marker->GetIKPivot()[3], 1.0);

    KQoxMarkerProperties* block = marker->GetPropertyHandler();
    EXPECT_STREQ(block->LookAsString(2), "Light Cross");
    EXPECT_STREQ(block->LookAsString(3), "Sphere");
    EXPECT_EQ(block->LookAsString(4), nullptr);

    const struct
    {
        int mType;
        const char* mName;
    } names[] = {{0, "Marker"}, {1, "OpticalMarker"}, {2, "IKEffector"}, {3, "FKEffector"}, {9, "Marker"}};
    for (const auto& n : names)
    {
        marker->SetType(static_cast<KQoxMarker::EType>(n.mType));
        EXPECT_STREQ(marker->GetTypeName().ToChars(), n.mName);
        KStringList flags = marker->GetTypeFlags();
        ASSERT_EQ(flags.GetCount(), 1);
        EXPECT_STREQ(flags.GetStringAt(0), "Marker");
    }
}

TEST_F(AttributeTest, MarkerTypeRebuildsChannelsInEveryTake)
{
    KQoxMarker* marker = mManager->CreateKQoxMarker();
    mNode->SetNodeAttribute(marker);
    ExpectChannelsEverywhere(NodeChannels(""));

    marker->SetType(KQoxMarker::eOPTICAL);
    ExpectChannelsEverywhere(NodeChannels("Occlusion"));
    EXPECT_EQ(Take(2)->GetOcclusion()->GetValue(), 0.0f);
    marker->SetDefaultOcclusion(0.5);
    EXPECT_EQ(marker->GetDefaultOcclusion(), 0.5);
    marker->SetDefaultIKReachRotation(50.0); // not this type's channel
    EXPECT_EQ(marker->GetDefaultIKReachRotation(), 0.0);

    marker->SetType(KQoxMarker::eIK_EFFECTOR);
    ExpectChannelsEverywhere(NodeChannels("IK Reach Translation|IK Reach Rotation"));
    marker->SetDefaultIKReachTranslation(25.0);
    marker->SetType(KQoxMarker::eIK_EFFECTOR); // unchanged: nothing rebuilt
    EXPECT_EQ(marker->GetDefaultIKReachTranslation(), 25.0);
    EXPECT_EQ(marker->GetDefaultOcclusion(), 0.0);

    marker->SetType(static_cast<KQoxMarker::EType>(42));
    ExpectChannelsEverywhere(NodeChannels(""));
    mNode->SetNodeAttribute(nullptr);
    ExpectChannelsEverywhere(NodeChannels(""));
}

TEST_F(AttributeTest, MarkerCopyTakesTheTypeWithoutChannels)
{
    KQoxMarker* source = mManager->CreateKQoxMarker();
    source->SetType(KQoxMarker::eIK_EFFECTOR);
    source->SetLook(KQoxMarker::eSPHERE);
    source->SetSize(-1.0);
    source->SetShowLabel(true);
    source->SetColor(KQoxColor(0.0, 0.0, 1.0));
    KQoxVector4 pivot(5.0, 5.0, 5.0, 1.0);
    source->SetIKPivot(pivot);

    KQoxMarker* target = mManager->CreateKQoxMarker();
    mNode->SetNodeAttribute(target);
    *target = *source;
    EXPECT_EQ(target->GetType(), KQoxMarker::eIK_EFFECTOR);
    EXPECT_EQ(target->GetLook(), KQoxMarker::eSPHERE);
    EXPECT_EQ(target->GetSize(), -1.0);
    EXPECT_TRUE(target->GetShowLabel());
    EXPECT_EQ(target->GetColor(), KQoxColor(0.0, 0.0, 1.0));
    EXPECT_EQ(target->GetIKPivot()[0], 0.0); // the pivot is not copied
    ExpectChannelsEverywhere(NodeChannels(""));
    // The copied type has no channel in the takes: the accessors touch no curve.
    target->SetDefaultIKReachTranslation(3.0);
    EXPECT_EQ(target->GetDefaultIKReachTranslation(), 0.0);
    EXPECT_EQ(target->GetDefaultIKReachRotation(), 0.0);
    // Detaching removes nothing that is not there.
    mNode->SetNodeAttribute(nullptr);
    ExpectChannelsEverywhere(NodeChannels(""));
}

} // namespace
} // namespace attrtest
