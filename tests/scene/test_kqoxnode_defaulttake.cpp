// A node's Default take answers the same whether it was asked for right after
// the node was made or only at the end: every case runs the same steps on two
// nodes, one whose Default take is asked for first ("early"), one left alone
// ("late"), and compares everything the scene API tells of them. Plain,
// camera and mesh nodes; property writes of every kind, user properties,
// takes made, removed and switched, attributes attached and detached, copies.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraproperties.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace {

enum class Kind
{
    ePlain,
    eCamera,
    eMesh
};

const Kind kKinds[] = {Kind::ePlain, Kind::eCamera, Kind::eMesh};

std::string Number(double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%.17g", value);
    return text;
}

void DescribeTree(KFCurveNode* node, int depth, std::string& out)
{
    if (!node)
        return;
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + node->GetName() + " [" + node->GetTypeName() + "|" +
           node->GetTimeWarpName() + "] layer " + std::to_string(node->GetLayerType());
    if (KFCurve* curve = node->FCurveGet())
    {
        const float* color = curve->GetColor();
        out += " = " + Number(curve->GetValue()) + " keys " + std::to_string(curve->KeyGetCount()) + " colour " +
               Number(color[0]) + "," + Number(color[1]) + "," + Number(color[2]);
    }
    out += "\n";
    for (int i = 0; i < node->GetCount(); ++i)
        DescribeTree(node->Get(i), depth + 1, out);
}

std::string Matrix(const KQoxXMatrix& m)
{
    std::string out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out += Number(m.Get(r, c)) + " ";
    return out + "\n";
}

// What the take queries answer before any take node is looked at, then
// every property value, every take's channel tree, the records tying the
// Default take to the properties, and the transforms evaluated from it.
std::string Describe(KQoxNode& node)
{
    std::string out = "takes " + std::to_string(node.GetTakeNodeCount()) + " current " +
                      std::to_string(node.GetCurrentTakeNodeIndex()) + "\n";
    for (int i = 0; i < node.GetTakeNodeCount(); ++i)
        out += std::string("  ") + node.GetTakeNodeName(i) + "\n";
    const char* current = node.GetCurrentTakeNodeName();
    out += std::string("current name ") + (current ? current : "(none)") + "\n";
    out += "animated T.X " + std::to_string(node.IsChannelAnimated("Transform", "T", "X")) + " by type " +
           std::to_string(node.IsChannelAnimated("Transform", "T", KDataTypeLclTranslation)) + "\n";
    KTime start = KTIME_INFINITE, stop = KTIME_MINUS_INFINITE;
    const bool interval = node.KQoxTakeNodeContainer::GetAnimationInterval(start, stop);
    out += "interval " + std::to_string(interval) + " " + std::to_string(start.Get()) + " " +
           std::to_string(stop.Get()) + "\n";

    KArrayTemplate<KProperty*> properties(16);
    node.FillPropertyList(&properties);
    for (int i = 0; i < properties.GetCount(); ++i)
        if (KProperty* p = properties[i])
            out += std::string(p->GetPropertyName()) + " = " + p->AsString().ToChars() +
                   (p->IsAnimated() ? " animated\n" : "\n");
    out += "user properties " + std::to_string(node.GetPropertyCount()) + "\n";

    for (int i = 0; i < node.GetTakeNodeCount(); ++i)
    {
        out += std::string("take ") + node.GetTakeNodeName(i) + "\n";
        DescribeTree(node.GetTakeNode(i) ? node.GetTakeNode(i)->GetKFCurveNode() : nullptr, 1, out);
    }
    out += "default " + std::to_string(node.GetDefaultTakeNode() == node.GetTakeNode(0)) + "\n";
    out += "records " + std::to_string(node.GetDefaultTakeCallbackCount()) + "\n";
    out += "local " + Matrix(node.GetLocalFromDefaultTake());
    out += "global " + Matrix(node.GetGlobalFromDefaultTake());
    out += "global matrix " + Matrix(node.GetGlobalMatrix(eSOURCE_SET, true));
    return out;
}

KQoxNode* MakeNode(KQoxSdkManager& manager, Kind kind, const char* name, bool early)
{
    KQoxNode* node = manager.CreateKQoxNode(name);
    if (early)
        node->GetDefaultTakeNode();
    if (kind == Kind::eCamera)
        node->SetNodeAttribute(manager.CreateKQoxCamera());
    else if (kind == Kind::eMesh)
        node->SetNodeAttribute(manager.CreateKQoxMesh());
    return node;
}

// Runs steps on an early and a late node of every kind and compares them;
// the late node is described first, so nothing in the comparison asks for
// its Default take before the steps are done.
void ExpectSameEarlyAndLate(const std::function<void(KQoxSdkManager&, KQoxNode&)>& steps)
{
    for (Kind kind : kKinds)
    {
        SCOPED_TRACE(static_cast<int>(kind));
        KQoxSdkManager manager;
        KQoxNode* late = MakeNode(manager, kind, "late", false);
        KQoxNode* early = MakeNode(manager, kind, "early", true);
        steps(manager, *late);
        steps(manager, *early);
        const std::string lateText = Describe(*late);
        const std::string earlyText = Describe(*early);
        EXPECT_EQ(earlyText, lateText);
    }
}

void Key(KFCurve* curve, long long time, float value)
{
    ASSERT_NE(nullptr, curve);
    const int i = curve->KeyAdd(KTime(time));
    curve->KeySet(i, KTime(time), value, KFCURVE_INTERPOLATION_LINEAR);
}

KProperty* TableProperty(KQoxNode& node, const char* name)
{
    return node.GetPropertyHandler()->FindPropertyByName(name);
}

// The Default take's curve of a property member against the property.
void ExpectCurveHoldsProperty(KQoxNode& node, const char* channel, const char* member, KProperty* property, int index)
{
    ASSERT_NE(nullptr, property);
    KFCurve* curve = node.GetDefaultTakeNode()->GetKFCurve(
        channel == std::string("T") || channel == std::string("R") || channel == std::string("S") ? "Transform"
                                                                                                  : channel,
        channel == std::string("T") || channel == std::string("R") || channel == std::string("S") ? channel : member,
        member);
    ASSERT_NE(nullptr, curve) << channel << "." << member;
    double values[4] = {0, 0, 0, 0};
    if (index < 0)
        values[0] = property->AsDouble();
    else
        property->GetData(values, 0, nullptr, nullptr);
    EXPECT_EQ(static_cast<float>(values[index < 0 ? 0 : index]), curve->GetValue()) << channel << "." << member;
}

} // namespace

TEST(NodeDefaultTake, FreshNodesAnswerTheSame)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode&) {});
}

TEST(NodeDefaultTake, FreshNodeTakeQueries)
{
    for (Kind kind : kKinds)
    {
        KQoxSdkManager manager;
        KQoxNode* node = MakeNode(manager, kind, "node", false);
        EXPECT_TRUE(node->IsDefaultTakePending());
        EXPECT_EQ(1, node->GetTakeNodeCount());
        EXPECT_EQ(0, node->GetCurrentTakeNodeIndex());
        EXPECT_STREQ("Default", node->GetTakeNodeName(0));
        EXPECT_STREQ("Default", node->GetCurrentTakeNodeName());
        EXPECT_EQ(nullptr, node->GetTakeNode(1));
        EXPECT_EQ(nullptr, node->GetTakeNodeName(-1));
        EXPECT_FALSE(node->IsChannelAnimated("Transform", "T", "X"));
        KTime start(5), stop(7);
        EXPECT_FALSE(node->GetAnimationInterval(start, stop));
        EXPECT_EQ(5, start.Get());
        EXPECT_EQ(7, stop.Get());
        EXPECT_TRUE(node->SetCurrentTakeNode("Default"));
        EXPECT_TRUE(node->IsDefaultTakePending());
        KQoxTakeNode* take = node->GetDefaultTakeNode();
        EXPECT_FALSE(node->IsDefaultTakePending());
        ASSERT_NE(nullptr, take);
        EXPECT_EQ(take, node->GetTakeNode(0));
        EXPECT_EQ(take, node->GetCurrentTakeNode());
        EXPECT_STREQ("Default", take->GetName());
        EXPECT_EQ(take, node->GetDefaultTakeNode());
        EXPECT_FALSE(node->RemoveTakeNode(0));
        EXPECT_STREQ("Cannot remove default take node", node->GetLastErrorString());
        EXPECT_FALSE(node->RemoveTakeNode("Default"));
        EXPECT_EQ(1, node->GetTakeNodeCount());
    }
}

TEST(NodeDefaultTake, DefaultTransformSetters)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode& node) {
        node.SetDefaultT(KQoxVector4(1, -2, 3.25));
        node.SetDefaultR(KQoxVector4(90, 0.1, -45));
        node.SetDefaultS(KQoxVector4(2, 2, 0.3));
        node.SetDefaultVisibility(0.75);
    });
}

TEST(NodeDefaultTake, DirectPropertyWrites)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode& node) {
        KQoxNodeProperties& p = *node.GetProperties();
        KgeTVector t(4.5, 0.1, -7, 1);
        p.mLclTranslation->SetData(&t, 0, nullptr, nullptr);
        KgeTVector s(3, 1, 0.2, 1);
        p.mLclScaling->SetData(&s, 0, nullptr, nullptr);
        node.SetVisibility(false);
        TableProperty(node, "RotationStiffnessY")->SetDouble(0.5);
    });
}

// SetVisibility reaches the Default take's channel, whether the take was
// built before or is built afterwards; a take of another name keeps its own.
TEST(NodeDefaultTake, VisibilitySetterReachesTheDefaultTake)
{
    for (Kind kind : kKinds)
        for (bool early : {false, true})
        {
            SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + (early ? " early" : " late"));
            KQoxSdkManager manager;
            KQoxNode* node = MakeNode(manager, kind, "node", early);
            KQoxTakeNode* walk = node->CreateTakeNode("Walk");
            ASSERT_NE(nullptr, walk);
            node->SetVisibility(false);
            EXPECT_FALSE(node->GetVisibility());
            EXPECT_EQ(0.0, node->GetDefaultVisibility());
            KFCurve* curve = node->GetDefaultTakeNode()->GetVisibility();
            ASSERT_NE(nullptr, curve);
            EXPECT_EQ(0.0f, curve->GetValue());
            EXPECT_EQ(1.0f, walk->GetVisibility()->GetValue());
            node->SetVisibility(true);
            EXPECT_EQ(1.0f, curve->GetValue());
        }
}

TEST(NodeDefaultTake, UserPropertiesAndTheirDefaults)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxUserProperty* number = manager.CreateKQoxUserProperty("Weight", "Number", "Weight");
        number->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        node.AddProperty(number);
        number->SetDefaultValue(0.25);
        KQoxUserProperty* vector = manager.CreateKQoxUserProperty("Aim", "Vector", "Aim");
        vector->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        node.AddProperty(vector);
        vector->SetDefaultValue(1.0, 2.0, 0.1);
        KQoxUserProperty* still = manager.CreateKQoxUserProperty("Still", "Number", "Still");
        node.AddProperty(still);
        still->SetDefaultValue(3.0);
        node.FindPropertyByName("Lcl Rotation")->SetDefaultValue(10.0, 20.0, 30.0);
        node.FindPropertyByName("Visibility")->SetDefaultValue(0.5);
    });
}

TEST(NodeDefaultTake, UserPropertyRemoved)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxUserProperty* number = manager.CreateKQoxUserProperty("Weight", "Number", "Weight");
        number->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        node.AddProperty(number);
        node.RemoveProperty(number);
    });
}

TEST(NodeDefaultTake, TakesMadeSwitchedAndRemoved)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode& node) {
        node.SetDefaultT(KQoxVector4(1, 2, 3));
        KQoxTakeNode* walk = node.CreateTakeNode("Walk");
        ASSERT_NE(nullptr, walk);
        EXPECT_EQ(nullptr, node.CreateTakeNode("Walk"));
        EXPECT_EQ(nullptr, node.CreateTakeNode("Default"));
        Key(walk->GetTranslationX(), 0, 1.0f);
        Key(walk->GetTranslationX(), 46186158000LL, 5.0f);
        node.SetDefaultT(KQoxVector4(-1, -2, -3));
        EXPECT_TRUE(node.SetCurrentTakeNode("Walk"));
        node.CreateTakeNode("Run");
        node.CreateTakeNode("Jump");
        EXPECT_TRUE(node.RemoveTakeNode("Run"));
        EXPECT_FALSE(node.SetCurrentTakeNode(7));
        EXPECT_TRUE(node.SetCurrentTakeNode(2));
        EXPECT_FALSE(node.RemoveTakeNode(5));
        EXPECT_FALSE(node.SetCurrentTakeNode("Nope"));
        EXPECT_TRUE(node.SetCurrentTakeNode(1));
    });
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode& node) {
        node.CreateTakeNode("Take 001");
        node.SetCurrentTakeNode("Take 001");
        node.SetDefaultS(KQoxVector4(2, 3, 4));
        EXPECT_TRUE(node.RemoveTakeNode(1));
        EXPECT_EQ(0, node.GetCurrentTakeNodeIndex());
    });
}

TEST(NodeDefaultTake, NewTakesCopyTheDefaultValues)
{
    for (Kind kind : kKinds)
    {
        KQoxSdkManager manager;
        KQoxNode* node = MakeNode(manager, kind, "node", false);
        node->SetDefaultT(KQoxVector4(1, 2, 3));
        node->SetDefaultVisibility(0.0);
        KQoxTakeNode* take = node->CreateTakeNode("Take 001");
        ASSERT_NE(nullptr, take);
        EXPECT_EQ(2.0f, take->GetTranslationY()->GetValue());
        EXPECT_EQ(0.0f, take->GetVisibility()->GetValue());
        EXPECT_EQ(2, node->GetTakeNodeCount());
        EXPECT_STREQ("Take 001", node->GetTakeNodeName(1));
        EXPECT_TRUE(node->IsDefaultTakePending()) << "the new take was built without the Default take";
        EXPECT_NE(take->GetTranslationY(), node->GetDefaultTakeNode()->GetTranslationY());
        EXPECT_EQ(2.0f, node->GetDefaultTakeNode()->GetTranslationY()->GetValue());
        // A take named like the Default take in another case is a copy too.
        KQoxNode* other = MakeNode(manager, kind, "other", false);
        KQoxTakeNode* lower = other->CreateTakeNode("default");
        ASSERT_NE(nullptr, lower);
        const int records = other->GetDefaultTakeCallbackCount();
        EXPECT_EQ(lower, other->GetTakeNode(1));
        EXPECT_EQ(records, other->GetDefaultTakeCallbackCount());
    }
}

// The Default take's curves follow the properties set through the default
// setters, the visibility setter and the user properties' default values,
// and set them back; a property written directly leaves them as they were
// (new takes copy them).
TEST(NodeDefaultTake, CurvesHoldThePropertyValues)
{
    for (Kind kind : kKinds)
    {
        KQoxSdkManager manager;
        KQoxNode* node = MakeNode(manager, kind, "node", false);
        KQoxNodeProperties& p = *node->GetProperties();
        node->SetDefaultR(KQoxVector4(5, 6, 7));
        node->FindPropertyByName("Lcl Translation")->SetDefaultValue(4.5, 0.1, -7.0);
        node->SetDefaultS(KQoxVector4(0.5, 2, 3));
        KgeTVector scaling(8, 8, 8, 1);
        KgeTVector direct(9, 9, 9, 1);
        p.mLclScaling->SetData(&direct, 0, nullptr, nullptr);
        node->SetVisibility(false);
        const char* const members[3] = {"X", "Y", "Z"};
        for (int i = 0; i < 3; ++i)
        {
            ExpectCurveHoldsProperty(*node, "T", members[i], p.mLclTranslation, i);
            ExpectCurveHoldsProperty(*node, "R", members[i], p.mLclRotation, i);
        }
        KQoxTakeNode* take = node->GetDefaultTakeNode();
        EXPECT_EQ(0.5f, take->GetScaleX()->GetValue());
        EXPECT_EQ(3.0f, take->GetScaleZ()->GetValue());
        EXPECT_EQ(0.0f, take->GetVisibility()->GetValue());
        EXPECT_EQ(0.0f, node->CreateTakeNode("Take 001")->GetVisibility()->GetValue());
        // And back: the Default take's curves write into the properties.
        take->GetTranslationZ()->SetValue(9.0f);
        KQoxVector4 out;
        node->GetDefaultT(out);
        EXPECT_EQ(9.0, out[2]);
        take->GetScaleY()->SetValue(0.25f);
        p.mLclScaling->GetData(&scaling, 0, nullptr, nullptr);
        EXPECT_EQ(0.25, scaling.y);
        EXPECT_EQ(9.0, scaling.x);
        if (kind == Kind::eCamera)
        {
            KQoxCamera* camera = node->GetCamera();
            camera->SetDefaultFieldOfView(33.5);
            EXPECT_EQ(33.5f, take->GetCameraFieldOfView()->GetValue());
            EXPECT_EQ(33.5, camera->GetDefaultFieldOfView());
        }
    }
}

TEST(NodeDefaultTake, CameraSettings)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode& node) {
        if (KQoxCamera* camera = node.GetCamera())
        {
            camera->SetDefaultFieldOfView(12.1);
            camera->SetDefaultRoll(0.3);
            camera->SetBackgroundColor(KQoxColor(0.1, 0.2, 0.3));
            camera->SetFocalLength(41.0);
            KProperty* turn = camera->GetPropertyHandler()->FindPropertyByName("TurnTable");
            if (turn)
                turn->SetDouble(0.7);
        }
    });
}

TEST(NodeDefaultTake, AttributesAttachedAndDetachedLater)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxNodeAttribute* old = node.SetNodeAttribute(nullptr);
        node.SetDefaultT(KQoxVector4(7, 8, 9));
        node.SetNodeAttribute(manager.CreateKQoxCamera());
        node.GetCamera()->SetDefaultRoll(2.5);
        KQoxNodeAttribute* camera = node.SetNodeAttribute(manager.CreateKQoxMesh());
        manager.DestroyKQoxNodeAttribute(camera);
        if (old)
            manager.DestroyKQoxNodeAttribute(old);
    });
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        // A user property between the node's channels and the camera's.
        KQoxUserProperty* number = manager.CreateKQoxUserProperty("Weight", "Number", "Weight");
        number->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        node.AddProperty(number);
        KQoxNodeAttribute* old = node.SetNodeAttribute(manager.CreateKQoxCamera());
        if (old)
            manager.DestroyKQoxNodeAttribute(old);
    });
}

TEST(NodeDefaultTake, MeshShapes)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxMesh* mesh = dynamic_cast<KQoxMesh*>(node.GetNodeAttribute());
        if (!mesh)
            return;
        mesh->InitControlPoints(3);
        EXPECT_EQ(0, mesh->AddShape(manager.CreateKQoxShape(), "Smile"));
        mesh->SetDefaultShape(0, 0.5);
    });
}

TEST(NodeDefaultTake, Copies)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxNode* source = manager.CreateKQoxNode("source");
        source->SetNodeAttribute(manager.CreateKQoxCamera());
        source->SetDefaultT(KQoxVector4(3, 2, 1));
        node = *source;
    });
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxNode* target = manager.CreateKQoxNode("target");
        node.SetDefaultS(KQoxVector4(3, 2, 1));
        *target = node;
        KQoxVector4 s;
        target->GetDefaultS(s);
        EXPECT_EQ(2.0, s[1]);
        EXPECT_EQ(target->GetDefaultTakeNode()->GetScaleY()->GetValue(), 2.0f);
    });
}

TEST(NodeDefaultTake, GlobalTransformsThroughAHierarchy)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxNode* child = manager.CreateKQoxNode("child");
        node.AddChild(child);
        node.SetDefaultT(KQoxVector4(1, 2, 3));
        node.SetDefaultR(KQoxVector4(0, 90, 0));
        child->SetDefaultT(KQoxVector4(1, 0, 0));
        KQoxVector4 global = child->GetGlobalT(eSOURCE_SET, true);
        EXPECT_NEAR(1.0, global[0], 1e-9);
        EXPECT_NEAR(2.0, global[1], 1e-9);
        EXPECT_NEAR(2.0, global[2], 1e-9);
    });
}

TEST(NodeDefaultTake, ManyNodesNeverAskedForTheirTakes)
{
    KQoxSdkManager manager;
    KQoxNode* root = manager.CreateKQoxNode("root");
    for (int i = 0; i < 20000; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("n" + std::to_string(i)).c_str());
        node->SetDefaultT(KQoxVector4(i, 0, 0));
        root->AddChild(node);
        if (i % 1000 == 0)
            node->CreateTakeNode("Take 001");
    }
    KQoxNode* last = root->GetChild(19999);
    EXPECT_EQ(19999.0f, last->GetDefaultTakeNode()->GetTranslationX()->GetValue());
    EXPECT_EQ(2, root->GetChild(5000)->GetTakeNodeCount());
    EXPECT_EQ(5000.0f, root->GetChild(5000)->GetTakeNode(1)->GetTranslationX()->GetValue());
}

TEST(NodeDefaultTake, AttributesAroundOtherTakes)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxTakeNode* walk = node.CreateTakeNode("Walk");
        Key(walk->GetTranslationY(), 0, 2.0f);
        KQoxNodeAttribute* old = node.SetNodeAttribute(manager.CreateKQoxLight());
        if (old)
            manager.DestroyKQoxNodeAttribute(old);
        node.CreateTakeNode("Run");
        old = node.SetNodeAttribute(manager.CreateKQoxCamera());
        manager.DestroyKQoxNodeAttribute(old);
        node.SetCurrentTakeNode("Run");
        node.SetDefaultR(KQoxVector4(1, 1, 1));
    });
}

TEST(NodeDefaultTake, MarkersWhoseTypeChanges)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxMarker* source = manager.CreateKQoxMarker();
        source->SetType(KQoxMarker::eIK_EFFECTOR);
        KQoxMarker* marker = manager.CreateKQoxMarker();
        KQoxNodeAttribute* old = node.SetNodeAttribute(marker);
        if (old)
            manager.DestroyKQoxNodeAttribute(old);
        // A copy takes the type without channels; a change of type moves them.
        *marker = *source;
        node.CreateTakeNode("Take 001");
        KQoxMarker* other = manager.CreateKQoxMarker();
        other->SetType(KQoxMarker::eFK_EFFECTOR);
        KQoxNode* second = manager.CreateKQoxNode("second");
        second->SetNodeAttribute(other);
        other->SetType(KQoxMarker::eIK_EFFECTOR);
        node.AddChild(second);
    });
}

// A node's limits record, made on first use, answers as one made with the
// node: everything off and zero, and "RotationActive" left as it stands.
TEST(NodeDefaultTake, LimitsMadeOnFirstUse)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("node");
    KProperty* rotationActive = TableProperty(*node, "RotationActive");
    ASSERT_NE(nullptr, rotationActive);
    EXPECT_EQ(0.0, rotationActive->AsDouble());
    node->GetProperties()->mRotationActive.Value() = true;
    KQoxNodeLimits& limits = node->GetLimits();
    EXPECT_EQ(node, limits.GetLimitedNode());
    EXPECT_FALSE(limits.GetRotationLimitActive());
    EXPECT_FALSE(limits.GetTranslationLimitActive());
    EXPECT_FALSE(limits.mScalingLimits.GetLimitSomethingActive());
    EXPECT_EQ(0.0, limits.mRotationLimits.GetLimitMax()[2]);
    EXPECT_TRUE(node->GetRotationActive());
    EXPECT_EQ(&limits, &node->GetLimits());
    limits.SetRotationLimitActive(false);
    EXPECT_FALSE(node->GetRotationActive());

    // Copies: from a node without a record, to one without.
    KQoxNode* source = manager.CreateKQoxNode("source");
    KQoxNode* target = manager.CreateKQoxNode("target");
    target->GetProperties()->mRotationActive.Value() = true;
    *target = *source;
    EXPECT_FALSE(target->GetRotationActive());
    source->GetLimits().mTranslationLimits.SetLimitMin(KQoxVector4(-1, -2, -3));
    source->GetLimits().SetTranslationLimitActive(true);
    source->SetRotationActive(true);
    *target = *source;
    EXPECT_TRUE(target->GetLimits().GetTranslationLimitActive());
    EXPECT_TRUE(target->GetLimits().GetRotationLimitActive());
    EXPECT_TRUE(target->GetRotationActive());
    EXPECT_EQ(-2.0, target->GetLimits().mTranslationLimits.GetLimitMin()[1]);
    // Properties written from records, and records from properties.
    KQoxNode* fresh = manager.CreateKQoxNode("fresh");
    fresh->UpdatePropertiesFromPivotsAndLimits();
    EXPECT_FALSE(fresh->GetRotationActive());
    fresh->UpdatePivotsAndLimitsFromProperties();
    fresh->GetProperties()->mScalingActive.Value() = true;
    fresh->UpdatePivotsAndLimitsFromProperties();
    EXPECT_TRUE(fresh->GetLimits().GetScalingLimitActive());
}

TEST(NodeDefaultTake, AttributesDestroyedWhileAttached)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager& manager, KQoxNode& node) {
        KQoxNodeAttribute* old = node.SetNodeAttribute(nullptr);
        if (old)
            manager.DestroyKQoxNodeAttribute(old);
        node.SetNodeAttribute(manager.CreateKQoxNull());
        manager.DestroyKQoxNodeAttribute(node.GetNodeAttribute());
        node.SetNodeAttribute(manager.CreateKQoxSkeleton());
        manager.DestroyKQoxNodeAttribute(node.GetNodeAttribute());
        for (int i = 0; i < 20; ++i)
        {
            KQoxCamera* camera = manager.CreateKQoxCamera();
            node.SetNodeAttribute(camera);
            camera->SetFocalLength(10.0 + i);
            manager.DestroyKQoxNodeAttribute(camera);
        }
        node.SetNodeAttribute(manager.CreateKQoxCamera());
    });
}

// The Default take refreshed from every property, as the native reader does,
// with properties whose names find channels of its own and others'.
TEST(NodeDefaultTake, RefreshedFromTheProperties)
{
    ExpectSameEarlyAndLate([](KQoxSdkManager&, KQoxNode& node) {
        KQoxNodeProperties& p = *node.GetProperties();
        KgeTVector t(1, 2, 3, 1);
        p.mLclTranslation->SetData(&t, 0, nullptr, nullptr);
        p.mVisibility->SetDouble(0.5);
        node.UpdateDefaultTakeFromProperties();
        KgeTVector s(4, 5, 6, 1);
        p.mLclScaling->SetData(&s, 0, nullptr, nullptr);
    });
    for (const char* name : {"X", "transform", "r", "Visibility2", "Lcl Translation"})
    {
        SCOPED_TRACE(name);
        ExpectSameEarlyAndLate([name](KQoxSdkManager& manager, KQoxNode& node) {
            KQoxUserProperty* still = manager.CreateKQoxUserProperty(name, "Number", name);
            node.AddProperty(still);
            still->SetDefaultValue(7.0);
            KgeTVector t(1, 2, 3, 1);
            node.GetProperties()->mLclTranslation->SetData(&t, 0, nullptr, nullptr);
            node.UpdateDefaultTakeFromProperties();
        });
    }
}

TEST(NodeDefaultTake, PropertyNamesNearTheChannelNames)
{
    // Names that match a channel's in another case, and names one letter
    // longer or shorter, or of the same length and first letter.
    for (const char* name : {"VISIBILITY", "tRaNsFoRm", "z", "S", "y", "T", "v", "t", "Tr", "Transforms", "Visibilit",
                             "Tranzform", "Visibility ", "W", "\xc3\xa9", "x/Y", "Rotation"})
    {
        SCOPED_TRACE(name);
        ExpectSameEarlyAndLate([name](KQoxSdkManager& manager, KQoxNode& node) {
            KQoxUserProperty* still = manager.CreateKQoxUserProperty(name, "Number", name);
            node.AddProperty(still);
            still->SetDefaultValue(3.0);
            KgeTVector r(10, 20, 30, 1);
            node.GetProperties()->mLclRotation->SetData(&r, 0, nullptr, nullptr);
            node.UpdateDefaultTakeFromProperties();
        });
    }
}

TEST(NodeDefaultTake, PropertyNamesNearTheLocalTransformNames)
{
    // Names renamed to a channel's, near misses of them, and first bytes
    // outside ASCII.
    for (const char* name : {"Lcl Scaling", "Lcl Rotation", "Lcl", "L", "l", "Lcl Scale", "lcl scaling", "\xd4",
                             "\xderansform", "\xfe", "Zz", "ZZ", "[", "@"})
    {
        SCOPED_TRACE(name);
        ExpectSameEarlyAndLate([name](KQoxSdkManager& manager, KQoxNode& node) {
            KQoxUserProperty* still = manager.CreateKQoxUserProperty(name, "Number", name);
            node.AddProperty(still);
            still->SetDefaultValue(5.0);
            KgeTVector s(2, 3, 4, 1);
            node.GetProperties()->mLclScaling->SetData(&s, 0, nullptr, nullptr);
            node.UpdateDefaultTakeFromProperties();
        });
    }
}
