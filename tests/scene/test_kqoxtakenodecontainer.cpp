// Take-node containers: creating, removing and switching takes with their
// messages, channels of properties and user properties, and keeping the
// Default take and the property values equal in both directions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "object/kpropertydatatype.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"
#include "scene_test_helpers.h"

using namespace qoxsdk_600;
using scenetest::AddKey;
using scenetest::TestAnimated;
using scenetest::TestManager;

namespace {
// An object with the takes "Default", "T1", "T2", "T3" and current take 2.
void MakeFourTakes(TestAnimated& object)
{
    for (const char* name : {"T1", "T2", "T3"})
        ASSERT_NE(nullptr, object.CreateTakeNode(name));
    ASSERT_TRUE(object.SetCurrentTakeNode(2));
}

double VectorMember(KProperty* property, int member)
{
    double values[4] = {0, 0, 0, 0};
    property->GetData(values, 0, nullptr, nullptr);
    return values[member];
}

KFCurve* DefaultCurve(TestAnimated& object, const char* channel, int member = -1)
{
    KFCurveNode* node = object.GetDefaultTakeNode()->GetKFCurveNode()->FindRecursive(channel);
    return member < 0 ? node->FCurveGet() : node->Get(member)->FCurveGet();
}
} // namespace

TEST(KQoxTakeNodeContainerTest, TakesStartWithDefaultAndNamesAreExactAndUnique)
{
    TestManager manager;
    TestAnimated pose(manager, "Pose::Bind", KQoxObject::ePOSE, false);
    EXPECT_EQ(0, pose.GetTakeNodeCount());
    EXPECT_EQ(-1, pose.GetCurrentTakeNodeIndex());
    EXPECT_EQ(nullptr, pose.GetDefaultTakeNode());
    EXPECT_EQ(nullptr, pose.GetCurrentTakeNode());
    EXPECT_STREQ("Take node does not exist", pose.GetError().GetLastErrorString());

    TestAnimated object(manager, "Model::Box");
    EXPECT_STREQ("Default", object.GetCurrentTakeNodeName());
    EXPECT_EQ(object.GetDefaultTakeNode(), object.GetCurrentTakeNode());
    ASSERT_NE(nullptr, object.CreateTakeNode("Take 001"));
    EXPECT_EQ(1, object.mAddChannelsCalls); // copied from Default, not rebuilt
    EXPECT_EQ(nullptr, object.CreateTakeNode("Take 001"));
    EXPECT_STREQ("Take node already exists", object.GetError().GetLastErrorString());
    EXPECT_EQ(0, object.GetError().GetLastErrorID());
    EXPECT_NE(nullptr, object.CreateTakeNode("take 001"));
    EXPECT_TRUE(object.SetCurrentTakeNode("take 001"));
    EXPECT_EQ(2, object.GetCurrentTakeNodeIndex());
    EXPECT_EQ(nullptr, object.GetTakeNode(3));
    EXPECT_STREQ("Take node does not exist", object.GetError().GetLastErrorString());
    EXPECT_EQ(2, object.GetCurrentTakeNodeIndex()); // lookups never move it
}

TEST(KQoxTakeNodeContainerTest, FailuresCarryTheirMessages)
{
    struct Case
    {
        const char* what;
        bool (*act)(TestAnimated&);
        const char* message;
        int currentAfter;
    };
    const Case cases[] = {
        {"remove index 0", [](TestAnimated& o) { return o.RemoveTakeNode(0); }, "Cannot remove default take node", 2},
        {"remove Default", [](TestAnimated& o) { return o.RemoveTakeNode("Default"); },
         "Cannot remove default take node", 2},
        {"remove index 4", [](TestAnimated& o) { return o.RemoveTakeNode(4); }, "Index out of range", 2},
        {"remove index -1", [](TestAnimated& o) { return o.RemoveTakeNode(-1); }, "Index out of range", 2},
        {"remove unknown", [](TestAnimated& o) { return o.RemoveTakeNode("t1"); }, "Unknown take node name", 2},
        {"switch to 7", [](TestAnimated& o) { return o.SetCurrentTakeNode(7); }, "Index out of range", 0},
        {"switch to -1", [](TestAnimated& o) { return o.SetCurrentTakeNode(-1); }, "Index out of range", 0},
        {"switch unknown", [](TestAnimated& o) { return o.SetCurrentTakeNode("Nope"); }, "Unknown take node name", 0},
    };
    TestManager manager;
    for (const Case& c : cases)
    {
        TestAnimated object(manager, "Model::Box");
        MakeFourTakes(object);
        EXPECT_FALSE(c.act(object)) << c.what;
        EXPECT_STREQ(c.message, object.GetError().GetLastErrorString()) << c.what;
        EXPECT_EQ(0, object.GetError().GetLastErrorID()) << c.what;
        EXPECT_EQ(4, object.GetTakeNodeCount()) << c.what;
        EXPECT_EQ(c.currentAfter, object.GetCurrentTakeNodeIndex()) << c.what;
    }
}

TEST(KQoxTakeNodeContainerTest, RemovalKeepsTheCurrentTake)
{
    struct Case
    {
        const char* what;
        bool (*act)(TestAnimated&);
        int currentIndex;
        const char* currentName;
    };
    const Case cases[] = {
        // The current take goes: the previous one becomes current.
        {"index 2", [](TestAnimated& o) { return o.RemoveTakeNode(2); }, 1, "T1"},
        {"name T2", [](TestAnimated& o) { return o.RemoveTakeNode("T2"); }, 1, "T1"},
        // A take below it goes: the index follows the take.
        {"index 1", [](TestAnimated& o) { return o.RemoveTakeNode(1); }, 1, "T2"},
        {"name T1", [](TestAnimated& o) { return o.RemoveTakeNode("T1"); }, 1, "T2"},
        // A take above it goes: nothing moves.
        {"index 3", [](TestAnimated& o) { return o.RemoveTakeNode(3); }, 2, "T2"},
        {"name T3", [](TestAnimated& o) { return o.RemoveTakeNode("T3"); }, 2, "T2"},
    };
    TestManager manager;
    for (const Case& c : cases)
    {
        TestAnimated object(manager, "Model::Box");
        MakeFourTakes(object);
        EXPECT_TRUE(c.act(object)) << c.what;
        EXPECT_EQ(3, object.GetTakeNodeCount()) << c.what;
        EXPECT_EQ(c.currentIndex, object.GetCurrentTakeNodeIndex()) << c.what;
        EXPECT_STREQ(c.currentName, object.GetCurrentTakeNodeName()) << c.what;
    }
    // Removing the current take right above Default falls back to Default.
    TestAnimated object(manager, "Model::Box");
    ASSERT_NE(nullptr, object.CreateTakeNode("Only"));
    ASSERT_TRUE(object.SetCurrentTakeNode("Only"));
    EXPECT_TRUE(object.RemoveTakeNode("Only"));
    EXPECT_EQ(0, object.GetCurrentTakeNodeIndex());
    EXPECT_EQ(object.GetDefaultTakeNode(), object.GetCurrentTakeNode());
}

TEST(KQoxTakeNodeContainerTest, CurveValuesReachTheirProperties)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    auto* properties = object.Properties();
    DefaultCurve(object, "T", 1)->SetValue(5.5f);
    EXPECT_EQ(5.5, VectorMember(properties->mTranslation, 1));
    EXPECT_EQ(0.0, VectorMember(properties->mTranslation, 0));
    DefaultCurve(object, "Intensity")->SetValue(2.25f);
    EXPECT_EQ(2.25, properties->mIntensity->AsDouble());
    DefaultCurve(object, "Tint", 2)->SetValue(0.5f);
    EXPECT_EQ(0.5, VectorMember(properties->mTint, 2));

    // A later take is a copy: its curves are tied to nothing.
    KQoxTakeNode* take = object.CreateTakeNode("Take 001");
    EXPECT_FLOAT_EQ(2.25f, take->GetKFCurveNode()->FindRecursive("Intensity")->FCurveGet()->GetValue());
    take->GetKFCurveNode()->FindRecursive("Intensity")->FCurveGet()->SetValue(9.0f);
    take->GetTranslationX()->SetValue(9.0f);
    EXPECT_EQ(2.25, properties->mIntensity->AsDouble());
    EXPECT_EQ(0.0, VectorMember(properties->mTranslation, 0));
}

TEST(KQoxTakeNodeContainerTest, ExtremeCurveValuesReachIntegerPropertiesSafely)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    KProperty* count =
        object.Properties()->CreatePropertyFromType("Count", kPropertyTypeInt, KDataTypeInteger, true, false, nullptr);
    object.CreateChannelsForProperty(count, object.GetDefaultTakeNode());
    const float in[] = {2.9f, -2.9f, std::nanf(""), INFINITY, -std::numeric_limits<float>::max()};
    const int out[] = {2, -2, 0, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
    for (int i = 0; i < 5; ++i)
    {
        DefaultCurve(object, "Count")->SetValue(in[i]);
        EXPECT_EQ(out[i], count->AsInteger()) << in[i];
    }
}

TEST(KQoxTakeNodeContainerTest, DefaultValuesReachTheCurvesWithoutEcho)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    object.PublishProperties();
    ASSERT_EQ(4, object.GetPropertyCount());
    ASSERT_NE(nullptr, object.CreateTakeNode("Take 001"));
    ASSERT_TRUE(object.SetCurrentTakeNode("Take 001"));

    KQoxUserProperty* intensity = object.FindPropertyByName("Intensity");
    ASSERT_NE(nullptr, intensity);
    EXPECT_EQ(object.Properties(), intensity->GetPropertyHandler());
    // 0.1 has no exact float: an echo would bring the float back into the property.
    intensity->SetDefaultValue(0.1);
    EXPECT_EQ(0.1, object.Properties()->mIntensity->AsDouble());
    EXPECT_FLOAT_EQ(0.1f, DefaultCurve(object, "Intensity")->GetValue());
    EXPECT_FLOAT_EQ(0.1f,
                    object.GetCurrentTakeNode()->GetKFCurveNode()->FindRecursive("Intensity")->FCurveGet()->GetValue());

    KQoxUserProperty* translation = object.FindPropertyByName("Lcl Translation");
    translation->SetDefaultValue(0.1, 0.2, 0.3);
    EXPECT_EQ(0.3, VectorMember(object.Properties()->mTranslation, 2));
    EXPECT_FLOAT_EQ(0.2f, object.GetCurrentTakeNode()->GetTranslationY()->GetValue());
    EXPECT_FLOAT_EQ(0.3f, object.GetDefaultTakeNode()->GetTranslationZ()->GetValue());

    // A property that is not animatable reaches no curve.
    KQoxUserProperty* flag = object.FindPropertyByName("Flag");
    EXPECT_FALSE(object.PropertyDefaultValueChanged(flag));
}

TEST(KQoxTakeNodeContainerTest, RecordsGoWithTheirCurves)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    const int records = object.GetDefaultTakeCallbackCount();
    EXPECT_EQ(3 + 1 + 3, records); // translation, intensity, tint

    KFCurveNode* intensity = object.GetDefaultTakeNode()->GetKFCurveNode()->FindRecursive("Intensity");
    intensity->GetParent()->Remove(intensity->GetParent()->Find(intensity));
    intensity->Destroy();
    EXPECT_EQ(records - 1, object.GetDefaultTakeCallbackCount());
    // The other records still work.
    DefaultCurve(object, "T", 0)->SetValue(1.5f);
    EXPECT_EQ(1.5, VectorMember(object.Properties()->mTranslation, 0));

    object.Reset();
    EXPECT_EQ(records, object.GetDefaultTakeCallbackCount());
    EXPECT_EQ(1, object.GetTakeNodeCount());

    KQoxDefaultTakeCallback* none = nullptr;
    object.UnregisterDefaultTakeCallback(none);
    object.UnregisterAllDefaultTakeCallback();
    EXPECT_EQ(0, object.GetDefaultTakeCallbackCount());
    DefaultCurve(object, "T", 0)->SetValue(7.0f);
    EXPECT_EQ(1.5, VectorMember(object.Properties()->mTranslation, 0));
}

TEST(KQoxTakeNodeContainerTest, ChannelsForPropertiesNameTheirMembers)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    auto* block = object.Properties();
    KProperty* rgba =
        block->CreatePropertyFromType("Glow", kPropertyTypeColorRGBA, KDataTypeColorAndAlpha, true, false, nullptr);
    KProperty* matrix =
        block->CreatePropertyFromType("Frame", kPropertyTypeDouble, KDataTypeMatrix, true, false, nullptr);
    KProperty* single = block->CreatePropertyFromType("Weight", kPropertyTypeDouble, nullptr, true, false, nullptr);
    double glow[4] = {0.1, 0.2, 0.3, 0.4};
    rgba->SetData(glow, 0, nullptr, nullptr);
    single->SetDouble(0.75);

    // "DEFAULT" is the Default take whatever the case.
    KQoxTakeNode loud("DEFAULT");
    KQoxTakeNode other("Take 001");
    const int before = object.GetDefaultTakeCallbackCount();
    object.CreateChannelsForProperty(rgba, &loud);
    object.CreateChannelsForProperty(single, &loud);
    object.CreateChannelsForProperty(matrix, &loud);
    EXPECT_EQ(before + 5, object.GetDefaultTakeCallbackCount());
    object.CreateChannelsForProperty(rgba, &other);
    EXPECT_EQ(before + 5, object.GetDefaultTakeCallbackCount());

    KFCurveNode* node = loud.GetKFCurveNode()->FindRecursive("Glow");
    ASSERT_EQ(4, node->GetCount());
    const char* names[4] = {"X", "Y", "Z", "toto"};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_STREQ(names[i], node->Get(i)->GetName());
        EXPECT_FLOAT_EQ(static_cast<float>(glow[i]), node->Get(i)->FCurveGet()->GetValue());
    }
    EXPECT_EQ(nullptr, node->FCurveGet());
    EXPECT_FLOAT_EQ(0.75f, loud.GetKFCurveNode()->FindRecursive("Weight")->FCurveGet()->GetValue());
    // Sixteen members have no naming: no channel.
    EXPECT_EQ(nullptr, loud.GetKFCurveNode()->FindRecursive("Frame"));
}

TEST(KQoxTakeNodeContainerTest, AttachedUserPropertiesGetChannelsInEveryTake)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    ASSERT_NE(nullptr, object.CreateTakeNode("Take 001"));
    const int records = object.GetDefaultTakeCallbackCount();

    KQoxUserProperty* speed = manager.CreateKQoxUserProperty("Speed", "Real", "");
    speed->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    KQoxUserProperty* offset = manager.CreateKQoxUserProperty("Offset", "Vector", "Offset label");
    offset->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    KQoxUserProperty* hidden = manager.CreateKQoxUserProperty("Hidden", "Bool", "");
    object.AddProperty(speed);
    object.AddProperty(offset);
    object.AddProperty(hidden);

    ASSERT_NE(nullptr, speed->GetKProperty());
    EXPECT_TRUE(speed->GetKProperty()->IsAnimated());
    EXPECT_STREQ("Offset label", offset->GetLabel(false).ToChars());
    ASSERT_NE(nullptr, hidden->GetKProperty()); // made, but without channels
    EXPECT_EQ(records + 1 + 3, object.GetDefaultTakeCallbackCount());
    for (int take = 0; take < 2; ++take)
    {
        KFCurveNode* root = object.GetTakeNode(take)->GetKFCurveNode();
        ASSERT_NE(nullptr, root->FindRecursive("Speed")) << take;
        ASSERT_EQ(3, root->FindRecursive("Offset")->GetCount()) << take;
        EXPECT_EQ(nullptr, root->FindRecursive("Hidden")) << take;
    }

    speed->SetDefaultValue(4.0);
    EXPECT_FLOAT_EQ(4.0f, DefaultCurve(object, "Speed")->GetValue());
    DefaultCurve(object, "Offset", 1)->SetValue(6.0f);
    double x = 0, y = 0, z = 0;
    offset->GetDefaultValue(x, y, z);
    EXPECT_EQ(6.0, y);

    object.RemoveProperty(offset);
    EXPECT_EQ(nullptr, offset->GetKProperty());
    EXPECT_EQ(records + 1, object.GetDefaultTakeCallbackCount());
    for (int take = 0; take < 2; ++take)
        EXPECT_EQ(nullptr, object.GetTakeNode(take)->GetKFCurveNode()->FindRecursive("Offset"));
    EXPECT_EQ(2, object.GetPropertyCount());
    EXPECT_EQ(1, object.GetPropertyCount(KQoxUserProperty::eANIMATABLE));
}

TEST(KQoxTakeNodeContainerTest, DefaultTakeRefreshesFromProperties)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    // Values written behind the curves' back, as a file reader does.
    double translation[4] = {1.0, -2.0, std::numeric_limits<double>::max(), 0.0};
    object.Properties()->mTranslation->SetData(translation, 0, nullptr, nullptr);
    object.Properties()->mIntensity->SetDouble(std::numeric_limits<double>::denorm_min());
    object.UpdateDefaultTakeFromProperties();
    EXPECT_FLOAT_EQ(1.0f, object.GetDefaultTakeNode()->GetTranslationX()->GetValue());
    EXPECT_FLOAT_EQ(-2.0f, object.GetDefaultTakeNode()->GetTranslationY()->GetValue());
    EXPECT_EQ(std::numeric_limits<float>::infinity(), object.GetDefaultTakeNode()->GetTranslationZ()->GetValue());
    EXPECT_EQ(0.0f, DefaultCurve(object, "Intensity")->GetValue());
    // Nothing echoed back into the properties.
    EXPECT_EQ(std::numeric_limits<double>::max(), VectorMember(object.Properties()->mTranslation, 2));
}

TEST(KQoxTakeNodeContainerTest, DefaultTakeRefreshFindsChannelsAsFindRecursiveDoes)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    KFCurveNode* root = object.GetDefaultTakeNode()->GetKFCurveNode();
    // "Flag" has no channel of its own: one nested under a group (name in
    // another case) comes first in the search, one at the top after it.
    KFCurveNode* nested = root->FindOrCreate("Group", false)->FindOrCreate("flag", true);
    KFCurveNode* later = root->FindOrCreate("FLAG", true);
    ASSERT_EQ(nested, root->FindRecursive("Flag"));
    nested->FCurveGet()->SetValue(0.0f);
    later->FCurveGet()->SetValue(0.0f);
    bool on = true;
    object.Properties()->mFlag->SetData(&on, 0, nullptr, nullptr);
    object.Properties()->mIntensity->SetDouble(2.5);
    object.UpdateDefaultTakeFromProperties();
    EXPECT_FLOAT_EQ(1.0f, nested->FCurveGet()->GetValue());
    EXPECT_FLOAT_EQ(0.0f, later->FCurveGet()->GetValue());
    EXPECT_FLOAT_EQ(2.5f, DefaultCurve(object, "Intensity")->GetValue());
}

TEST(KQoxTakeNodeContainerTest, CopiedObjectKeepsItsDefaultTakeTiedToItsOwnProperties)
{
    TestManager manager;
    auto source = std::make_unique<TestAnimated>(manager, "Model::Source");
    AddKey(source->GetDefaultTakeNode()->GetTranslationX(), 100, 3.0f);
    ASSERT_NE(nullptr, source->CreateTakeNode("Take 001"));
    ASSERT_TRUE(source->SetCurrentTakeNode(1));

    TestAnimated copy(manager, "Model::Copy");
    copy = *source;
    EXPECT_STREQ("Model::Source", copy.GetName());
    EXPECT_EQ(2, copy.GetTakeNodeCount());
    EXPECT_EQ(1, copy.GetCurrentTakeNodeIndex());
    EXPECT_EQ(1, copy.GetDefaultTakeNode()->GetTranslationX()->KeyGetCount());
    EXPECT_EQ(source->GetDefaultTakeCallbackCount(), copy.GetDefaultTakeCallbackCount());

    DefaultCurve(copy, "Intensity")->SetValue(8.0f);
    DefaultCurve(copy, "T", 2)->SetValue(-1.0f);
    EXPECT_EQ(8.0, copy.Properties()->mIntensity->AsDouble());
    EXPECT_EQ(-1.0, VectorMember(copy.Properties()->mTranslation, 2));
    EXPECT_EQ(0.0, source->Properties()->mIntensity->AsDouble());
    // The source goes first; the copy's records stay its own.
    source.reset();
    DefaultCurve(copy, "Intensity")->SetValue(9.0f);
    EXPECT_EQ(9.0, copy.Properties()->mIntensity->AsDouble());
}

TEST(KQoxTakeNodeContainerTest, AnimationIntervalAndAnimatedChannels)
{
    TestManager manager;
    TestAnimated object(manager, "Model::Box");
    AddKey(object.GetDefaultTakeNode()->GetTranslationX(), 50, 1.0f);
    EXPECT_FALSE(object.IsChannelAnimated("Transform", "T", "X")); // Default is never consulted

    KQoxTakeNode* take = object.CreateTakeNode("Take 001");
    take->GetTranslationX()->KeyClear();
    KTime start = KTIME_INFINITE, stop = KTIME_MINUS_INFINITE;
    ASSERT_TRUE(object.SetCurrentTakeNode("Take 001"));
    EXPECT_FALSE(object.GetAnimationInterval(start, stop));
    EXPECT_EQ(KTIME_INFINITE, start);
    EXPECT_EQ(KTIME_MINUS_INFINITE, stop);

    AddKey(take->GetTranslationY(), -KTIME_INFINITE.Get(), 0.0f);
    AddKey(take->GetScaleZ(), 700, 2.0f);
    EXPECT_TRUE(object.IsChannelAnimated("Transform", "T", "Y"));
    EXPECT_FALSE(object.IsChannelAnimated("Transform", "T", "X"));
    ASSERT_TRUE(object.GetAnimationInterval(start, stop));
    EXPECT_EQ(-KTIME_INFINITE.Get(), start.Get());
    EXPECT_EQ(700, stop.Get());
}
