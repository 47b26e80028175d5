// What a node shows of its own properties through the scene API, pinned on a
// plain node, a camera node and a mesh node: the user properties (order,
// names, types, flags), the animated marks of the properties, the Default
// take's channel tree with its values, and the manager's user-property list.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace {

std::uint64_t Fnv(const std::string& text)
{
    std::uint64_t hash = 1469598103934665603ULL;
    for (unsigned char c : text)
        hash = (hash ^ c) * 1099511628211ULL;
    return hash;
}

void ListChannels(KFCurveNode* node, int depth, std::string& out)
{
    if (!node)
        return;
    char line[256];
    KFCurve* curve = node->FCurveGet();
    if (curve)
        std::snprintf(line, sizeof(line), "%*s%s = %.9g\n", depth * 2, "", node->GetName(), double(curve->GetValue()));
    else
        std::snprintf(line, sizeof(line), "%*s%s\n", depth * 2, "", node->GetName());
    out += line;
    for (int i = 0; i < node->GetCount(); ++i)
        ListChannels(node->Get(i), depth + 1, out);
}

// The handler's properties with their animated marks and the Default take's
// channels (read first, before anything asks for the user properties), then
// the user properties through the object.
std::string Describe(KQoxNode& node)
{
    std::string out;
    KQoxPropertyHandler* handler = node.GetPropertyHandler();
    for (int i = 0; handler && i < handler->GetPropertyCount(); ++i)
    {
        KProperty* p = handler->GetProperty(i);
        out += std::string(p->GetPropertyName()) + (p->IsAnimated() ? " animated\n" : "\n");
    }
    if (KQoxTakeNode* take = node.GetDefaultTakeNode())
        ListChannels(take->GetKFCurveNode(), 0, out);
    for (int i = 0; i < node.GetPropertyCount(); ++i)
    {
        KQoxUserProperty* p = node.GetProperty(i);
        out += p->GetName().ToChars();
        out += "|" + std::to_string(p->GetPropertyType());
        out += p->GetFlag(KQoxUserProperty::eANIMATABLE) ? "|A" : "|-";
        out += p->GetFlag(KQoxUserProperty::eUSER) ? "U" : "-";
        out += p->GetPropertyHandler() == node.GetPropertyHandler() ? "H" : "-";
        out += node.GetProperty(p->GetKProperty()) == p ? "K" : "-";
        out += node.FindPropertyByName(p->GetName().ToChars()) ? "F\n" : "-\n";
    }
    return out;
}

struct Pinned
{
    int mUserProperties;
    int mHandlerProperties;
    std::uint64_t mHash;
};

Pinned Pin(KQoxNode& node)
{
    KQoxPropertyHandler* handler = node.GetPropertyHandler();
    std::string text = Describe(node);
    if (std::getenv("QOX_PRINT_PINNED"))
        std::printf("%s\n----\n", text.c_str());
    return Pinned{node.GetPropertyCount(), handler ? handler->GetPropertyCount() : 0, Fnv(text)};
}

} // namespace

TEST(NodePublishing, PlainCameraAndMeshNodesShowTheirProperties)
{
    KQoxSdkManager manager;
    KQoxNode* plain = manager.CreateKQoxNode("plain");
    KQoxNode* camera = manager.CreateKQoxNode("camera");
    camera->SetNodeAttribute(manager.CreateKQoxCamera());
    KQoxNode* mesh = manager.CreateKQoxNode("mesh");
    mesh->SetNodeAttribute(manager.CreateKQoxMesh());
    // Every node wraps its 54 table properties; the last four (transform and
    // visibility) are animatable and animated, with their channels.
    const Pinned expected[3] = {
        {54, 54, 7729105306223124408ULL}, {54, 54, 10431102918981040184ULL}, {54, 54, 7729105306223124408ULL}};
    KQoxNode* nodes[3] = {plain, camera, mesh};
    for (int i = 0; i < 3; ++i)
    {
        const Pinned actual = Pin(*nodes[i]);
        EXPECT_EQ(expected[i].mUserProperties, actual.mUserProperties) << i;
        EXPECT_EQ(expected[i].mHandlerProperties, actual.mHandlerProperties) << i;
        EXPECT_EQ(expected[i].mHash, actual.mHash) << i;
    }
    EXPECT_STREQ("QuaternionInterpolate", plain->GetProperty(0)->GetName().ToChars());
    EXPECT_STREQ("Visibility", mesh->GetProperty(53)->GetName().ToChars());
    EXPECT_EQ(KQoxUserProperty::eVECTOR, camera->GetProperty(50)->GetPropertyType());
    EXPECT_EQ(4, plain->GetPropertyCount(KQoxUserProperty::eANIMATABLE));
}

TEST(NodePublishing, ManagerListCountsFindsAndForgetsNodeProperties)
{
    KQoxSdkManager manager;
    KQoxNode* first = manager.CreateKQoxNode("first");
    KQoxNode* second = manager.CreateKQoxNode("second");
    EXPECT_EQ(108, manager.GetKQoxUserPropertyCount());
    KQoxUserProperty* loose = manager.CreateKQoxUserProperty("Visibility", "Number", "Visibility");
    ASSERT_NE(nullptr, loose);
    EXPECT_EQ(109, manager.GetKQoxUserPropertyCount());
    // The first in creation order: the first node's wrapper, not the loose one.
    KQoxUserProperty* found = manager.FindKQoxUserProperty("Visibility");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(first->FindPropertyByName("Visibility"), found);
    EXPECT_NE(second->FindPropertyByName("Visibility"), found);
    EXPECT_EQ(nullptr, manager.FindKQoxUserProperty("NoSuchProperty"));

    // A node destroyed takes its wrappers out of the list, asked for or not.
    KQoxNode* third = manager.CreateKQoxNode("third");
    EXPECT_EQ(163, manager.GetKQoxUserPropertyCount());
    EXPECT_TRUE(manager.DestroyKQoxNode(third));
    EXPECT_TRUE(manager.DestroyKQoxNode(first));
    EXPECT_EQ(55, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(second->FindPropertyByName("Visibility"), manager.FindKQoxUserProperty("Visibility"));
    // The loose property goes on its own; the node's stay.
    EXPECT_TRUE(manager.DestroyKQoxUserProperty(loose));
    EXPECT_FALSE(manager.DestroyKQoxUserProperty(loose));
    EXPECT_EQ(54, manager.GetKQoxUserPropertyCount());
    manager.Clear();
    EXPECT_EQ(0, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(nullptr, manager.FindKQoxUserProperty("Visibility"));
}

TEST(NodePublishing, PropertiesAddedLaterFollowTheTableOnes)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("node");
    KQoxUserProperty* extra = manager.CreateKQoxUserProperty("Extra", "Number", "Extra");
    node->AddProperty(extra);
    ASSERT_EQ(55, node->GetPropertyCount());
    EXPECT_EQ(extra, node->GetProperty(54));
    EXPECT_STREQ("QuaternionInterpolate", node->GetProperty(0)->GetName().ToChars());
    EXPECT_EQ(extra, node->FindPropertyByName("Extra"));
    node->RemoveProperty(extra);
    EXPECT_EQ(54, node->GetPropertyCount());
    EXPECT_EQ(55, manager.GetKQoxUserPropertyCount());

    // Removing a table wrapper first (without asking for anything else).
    KQoxNode* other = manager.CreateKQoxNode("other");
    KQoxUserProperty* show = other->FindPropertyByName("Show");
    ASSERT_NE(nullptr, show);
    other->RemoveProperty(show);
    EXPECT_EQ(53, other->GetPropertyCount());
    EXPECT_EQ(nullptr, other->FindPropertyByName("Show"));
}

TEST(NodePublishing, DefaultTakeValuesSetBeforeAnyQueryStay)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("node");
    KFCurveNode* root = node->GetDefaultTakeNode()->GetKFCurveNode();
    KFCurveNode* visibility = nullptr;
    for (int i = 0; i < root->GetCount(); ++i)
        if (std::string(root->Get(i)->GetName()) == "Visibility")
            visibility = root->Get(i);
    ASSERT_NE(nullptr, visibility);
    visibility->FCurveGet()->SetValue(0.25f);
    KQoxUserProperty* property = node->FindPropertyByName("Visibility");
    ASSERT_NE(nullptr, property);
    double value = -1;
    property->GetDefaultValue(value);
    EXPECT_DOUBLE_EQ(0.25, value);
    EXPECT_FLOAT_EQ(0.25f, visibility->FCurveGet()->GetValue());
}

TEST(NodePublishing, ManyNodesKeepTheirCountsThroughDestruction)
{
    KQoxSdkManager manager;
    std::vector<KQoxNode*> nodes;
    for (int i = 0; i < 3000; ++i)
        nodes.push_back(manager.CreateKQoxNode(("n" + std::to_string(i)).c_str()));
    EXPECT_EQ(3000 * 54, manager.GetKQoxUserPropertyCount());
    // Ask one node in three, destroy every other node.
    for (size_t i = 0; i < nodes.size(); i += 3)
        EXPECT_EQ(54, nodes[i]->GetPropertyCount());
    for (size_t i = 0; i < nodes.size(); i += 2)
        EXPECT_TRUE(manager.DestroyKQoxNode(nodes[i]));
    EXPECT_EQ(1500 * 54, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(nodes[1]->FindPropertyByName("Lcl Scaling"), manager.FindKQoxUserProperty("Lcl Scaling"));
    EXPECT_EQ(1500 * 54, manager.GetKQoxUserPropertyCount());
}

// Setting the default transform and visibility gives the same node whether
// its user properties were asked for before or not.
TEST(NodePublishing, DefaultTransformSetBeforeOrAfterTheFirstQueryAgrees)
{
    KQoxSdkManager manager;
    const auto configure = [](KQoxNode& node) {
        node.SetDefaultT(KQoxVector4(1, -2, 3.5));
        node.SetDefaultR(KQoxVector4(90, 0, -45));
        node.SetDefaultS(KQoxVector4(2, 2, 0.5));
        node.SetDefaultVisibility(0.75);
    };
    for (bool withCamera : {false, true})
    {
        KQoxNode* asked = manager.CreateKQoxNode("asked");
        KQoxNode* fresh = manager.CreateKQoxNode("fresh");
        if (withCamera)
        {
            asked->SetNodeAttribute(manager.CreateKQoxCamera());
            fresh->SetNodeAttribute(manager.CreateKQoxCamera());
        }
        ASSERT_EQ(54, asked->GetPropertyCount());
        configure(*asked);
        configure(*fresh);
        KQoxVector4 t, r;
        fresh->GetDefaultT(t);
        fresh->GetDefaultR(r);
        EXPECT_EQ(3.5, t[2]);
        EXPECT_EQ(-45, r[2]);
        EXPECT_EQ(0.75, fresh->GetDefaultVisibility());
        EXPECT_EQ(Describe(*asked), Describe(*fresh)) << withCamera;
        double z = 0;
        fresh->FindPropertyByName("Lcl Scaling")->GetDefaultValue(z, z, z);
        EXPECT_EQ(0.5, z);
    }
}
