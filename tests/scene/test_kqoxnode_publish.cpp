// What a node shows of its own properties through the scene API, pinned on a
// plain node, a camera node and a mesh node: the user properties (order,
// names, types, flags), the animated marks of the properties, the Default
// take's channel tree with its values, and the manager's user-property list.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxmesh.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
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

namespace {

// Everything a property of the table answers about itself, as one line.
std::string PropertyFacts(KProperty* p)
{
    char line[512];
    std::snprintf(line, sizeof(line), "%s|%s|%d|%d|%d|%s|%.17g|%.17g|%s|%s", p->GetPropertyName(),
                  p->GetPropertyTypeName(), p->GetPropertyType(),
                  static_cast<const KProperty*>(p)->GetPropertyInfo().GetFlags(), p->GetPropertyFlag(),
                  p->GetPropertyLabel() ? p->GetPropertyLabel() : "(none)", p->GetPropertyMin(), p->GetPropertyMax(),
                  p->GetPropertyDataType() ? p->GetPropertyDataType()->GetName() : "(none)", p->AsString().ToChars());
    return line;
}

std::string TableFacts(KQoxNode& node)
{
    std::string out;
    KQoxPropertyHandler* handler = node.GetPropertyHandler();
    for (int i = 0; i < handler->GetPropertyCount(); ++i)
        out += PropertyFacts(handler->GetProperty(i)) + "\n";
    return out;
}

KProperty* HandlerProperty(KQoxNode& node, const char* name)
{
    return node.GetPropertyHandler()->FindPropertyByName(name);
}

} // namespace

// Changing the descriptor of one node's table property (flags, label, range,
// name) changes that node only: nodes made before and after keep theirs.
TEST(NodePublishing, DescriptorChangesStayOnTheirNode)
{
    KQoxSdkManager manager;
    KQoxNode* before = manager.CreateKQoxNode("before");
    KQoxNode* changed = manager.CreateKQoxNode("changed");
    const std::string pristine = TableFacts(*before);
    ASSERT_EQ(pristine, TableFacts(*changed));

    KQoxUserProperty* order = changed->FindPropertyByName("RotationOrder");
    ASSERT_NE(nullptr, order);
    EXPECT_FALSE(order->GetFlag(KQoxUserProperty::eANIMATABLE));
    order->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    order->ModifyFlag(KQoxUserProperty::eUSER, true);
    order->SetLabel("Order of rotations");
    order->SetLimits(-3, 7);
    EXPECT_TRUE(order->GetFlag(KQoxUserProperty::eANIMATABLE));
    EXPECT_TRUE(order->GetFlag(KQoxUserProperty::eUSER));
    EXPECT_STREQ("Order of rotations", order->GetLabel().ToChars());
    EXPECT_EQ(-3, order->GetMinLimit());
    EXPECT_EQ(7, order->GetMaxLimit());
    // A user property reads its texts from its enumeration list, which the
    // table row never had.
    EXPECT_EQ(nullptr, order->GetKProperty()->GetValueAsString(1));

    KProperty* show = HandlerProperty(*changed, "Show");
    ASSERT_NE(nullptr, show);
    ASSERT_TRUE(show->SetPropertyName("Shown", false));
    EXPECT_STREQ("Shown", show->GetPropertyName());
    EXPECT_EQ(nullptr, HandlerProperty(*changed, "Show"));
    EXPECT_EQ(show, HandlerProperty(*changed, "Shown"));
    HandlerProperty(*changed, "AxisLen")->GetPropertyInfo().ModifyFlag(KPropertyInfo::eTemporary, true);
    HandlerProperty(*changed, "RotationPivot")->SetPropertyMinMax(1, 2);
    HandlerProperty(*changed, "Lcl Scaling")->SetPropertyLabel("Size");
    HandlerProperty(*changed, "Visibility")->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, false);
    HandlerProperty(*changed, "ScalingMaxZ")->ModifyPropertyFlag(KProperty::eReadOnly, true);

    KQoxNode* after = manager.CreateKQoxNode("after");
    EXPECT_EQ(pristine, TableFacts(*before));
    EXPECT_EQ(pristine, TableFacts(*after));
    EXPECT_NE(pristine, TableFacts(*changed));
    EXPECT_EQ(show, HandlerProperty(*changed, "Shown"));
    EXPECT_NE(nullptr, HandlerProperty(*after, "Show"));
    EXPECT_EQ(nullptr, HandlerProperty(*after, "Shown"));
    EXPECT_STREQ("Euler YZX", HandlerProperty(*after, "RotationOrder")->GetValueAsString(2));
    EXPECT_STREQ("Rrs", HandlerProperty(*before, "InheritType")->GetValueAsString(2));
    EXPECT_FALSE(after->FindPropertyByName("RotationOrder")->GetFlag(KQoxUserProperty::eANIMATABLE));
    EXPECT_TRUE(after->FindPropertyByName("Visibility")->GetFlag(KQoxUserProperty::eANIMATABLE));
    EXPECT_FALSE(changed->FindPropertyByName("Visibility")->GetFlag(KQoxUserProperty::eANIMATABLE));
    EXPECT_STREQ("Lcl Scaling", after->FindPropertyByName("Lcl Scaling")->GetLabel().ToChars());
    EXPECT_STREQ("Size", changed->FindPropertyByName("Lcl Scaling")->GetLabel().ToChars());
    EXPECT_EQ(1, HandlerProperty(*changed, "RotationPivot")->GetPropertyMin());
    EXPECT_EQ(0, HandlerProperty(*after, "RotationPivot")->GetPropertyMin());
    EXPECT_EQ(100, HandlerProperty(*after, "RotationPivot")->GetPropertyMax());
    EXPECT_FALSE(HandlerProperty(*after, "ScalingMaxZ")->IsReadOnly());

    // Asking for what a property already has changes nothing, and copies no
    // descriptor.
    KQoxUserProperty* axis = after->FindPropertyByName("AxisLen");
    axis->ModifyFlag(KQoxUserProperty::eANIMATABLE, false);
    axis->ModifyFlag(KQoxUserProperty::eUSER, false);
    axis->SetLabel("");
    axis->SetLimits(0, 100);
    HandlerProperty(*after, "AxisLen")->SetPropertyType(kPropertyTypeDouble);
    EXPECT_TRUE(HandlerProperty(*after, "AxisLen")->HasSharedPropertyInfo());
    EXPECT_EQ(pristine, TableFacts(*after));
    axis->SetLabel("Axis");
    EXPECT_FALSE(HandlerProperty(*after, "AxisLen")->HasSharedPropertyInfo());
    EXPECT_STREQ("Axis", axis->GetLabel().ToChars());
    EXPECT_TRUE(HandlerProperty(*before, "AxisLen")->HasSharedPropertyInfo());
    // Refreshing the Default take from the properties (as a file read does)
    // only reads the channels' descriptors.
    after->UpdateDefaultTakeFromProperties();
    for (const char* channel : {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"})
        EXPECT_TRUE(HandlerProperty(*after, channel)->HasSharedPropertyInfo()) << channel;

    // Renamed back, the row shows its own name again, as an owned copy (32).
    ASSERT_TRUE(show->SetPropertyName("Show", false));
    EXPECT_EQ("Show|bool|2|0|0|(none)|0|100|(none)|True", PropertyFacts(HandlerProperty(*before, "Show")));
    EXPECT_EQ("Show|bool|2|32|0|(none)|0|100|(none)|True", PropertyFacts(show));
}

// Values, connections and the enumeration texts of many tables at once.
TEST(NodePublishing, HundredThousandTablesKeepTheirOwnValues)
{
    const int count = 100000;
    std::vector<std::unique_ptr<KQoxNodeProperties>> tables;
    tables.reserve(count);
    for (int i = 0; i < count; ++i)
        tables.emplace_back(new KQoxNodeProperties(nullptr));
    for (int i = 0; i < count; i += 997)
    {
        tables[i]->mAxisLen.Set(double(i));
        tables[i]->mRotationOrder.Set(static_cast<ERotationOrder>(i % 7));
        tables[i]->mLclTranslation->SetData(&tables[i]->mGeometricTranslation, 0, nullptr, nullptr);
    }
    tables[5]->mShow.GetPropertyInfo().ModifyFlag(KPropertyInfo::eUser, true);
    // A table connected as a source of another, as a child node's is.
    ASSERT_TRUE(tables[2]->ConnectSrc(tables[3].get()));
    for (int i = 0; i < count; i += 997)
    {
        ASSERT_EQ(54, tables[i]->GetPropertyCount());
        EXPECT_EQ(double(i), tables[i]->mAxisLen.Get());
        EXPECT_EQ(i % 7, tables[i]->mRotationOrder.AsInteger());
        EXPECT_STREQ(KQoxNodeProperties::RotationOrderAsString(static_cast<ERotationOrder>(i % 7)),
                     tables[i]->mRotationOrder.GetValueAsString(i % 7));
        EXPECT_EQ(0.0, tables[i + 1]->mAxisLen.Get());
        EXPECT_STREQ("Visibility", tables[i]->GetProperty(53)->GetPropertyName());
        EXPECT_EQ(1.0, tables[i]->mVisibility->AsDouble());
        EXPECT_EQ(tables[i].get(), tables[i]->mShow.GetOwnerPlug());
    }
    EXPECT_TRUE(tables[5]->mShow.IsUserProperty());
    EXPECT_FALSE(tables[4]->mShow.IsUserProperty());
    EXPECT_FALSE(tables[6]->mShow.IsUserProperty());
    EXPECT_EQ(tables[3].get(), tables[2]->GetSrc(0));
    EXPECT_EQ(0, tables[4]->GetSrcCount());
    // Freed in an order other than made.
    for (int i = 0; i < count; i += 2)
        tables[i].reset();
    EXPECT_STREQ("Lcl Rotation", tables[count - 1]->GetProperty(51)->GetPropertyName());
    tables.clear();
}

// The manager torn down while it still holds nodes whose descriptors were
// changed, and after its nodes went one by one; a later manager's nodes start
// from the pristine descriptors with the data types it knows.
TEST(NodePublishing, ManagerDestroyedBeforeOrAfterItsNodes)
{
    std::string pristine;
    for (bool nodesFirst : {false, true})
    {
        auto manager = std::make_unique<KQoxSdkManager>();
        std::vector<KQoxNode*> nodes;
        for (int i = 0; i < 50; ++i)
        {
            nodes.push_back(manager->CreateKQoxNode(("n" + std::to_string(i)).c_str()));
            KProperty* row = nodes.back()->GetPropertyHandler()->GetProperty(i % 54);
            row->SetPropertyLabel("label");
            row->SetPropertyName("renamed", true);
            row->GetPropertyInfo().ModifyFlag(KPropertyInfo::eTemporary, true);
        }
        if (nodesFirst)
        {
            for (KQoxNode* node : nodes)
                EXPECT_TRUE(manager->DestroyKQoxNode(node));
        }
        manager.reset();

        KQoxSdkManager again;
        KQoxNode* node = again.CreateKQoxNode("again");
        const std::string facts = TableFacts(*node);
        if (pristine.empty())
            pristine = facts;
        EXPECT_EQ(pristine, facts);
        EXPECT_EQ(KDataTypeGet("Lcl Translation"), HandlerProperty(*node, "Lcl Translation")->GetPropertyDataType());
        EXPECT_EQ(std::string::npos, facts.find("renamed"));
    }
}
