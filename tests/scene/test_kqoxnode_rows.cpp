// What a node's property table answers, pinned: the full list of properties
// of a plain node, a camera node and a mesh node (names, kinds, flags,
// values, data types, labels, ranges), that each query gives the same
// property every time, user properties, values written through the node
// and through the property, per-node flags, connections, and many nodes
// made and destroyed with and without their properties asked for.

#include <cstdint>
#include <cstdio>
#include <sstream>

#include "node_test_util.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxuserproperty.h"

using namespace nodetest;

namespace {

// One line per property: index, name, kind, descriptor and own flags, data
// type, label, range and value.
std::string Listing(KObject& object)
{
    std::ostringstream out;
    out.precision(17);
    for (int i = 0; i < object.GetPropertyCount(); ++i)
    {
        KProperty* p = object.GetProperty(i);
        KDataType* dataType = p->GetPropertyDataType();
        out << i << ' ' << p->GetPropertyName() << ' ' << p->GetPropertyTypeName() << ' '
            << p->ReadPropertyInfo().GetFlags() << ' ' << p->GetPropertyFlag() << ' '
            << (dataType ? dataType->GetName() : "-") << ' ' << (p->GetPropertyLabel() ? p->GetPropertyLabel() : "-")
            << ' ' << p->GetPropertyMin() << ' ' << p->GetPropertyMax() << " =";
        switch (p->GetPropertyType())
        {
        case kPropertyTypeBool:
        case kPropertyTypeInt:
        case kPropertyTypeEnum: out << ' ' << p->AsInteger(); break;
        case kPropertyTypeDouble: out << ' ' << p->AsDouble(); break;
        case kPropertyTypeVector3D:
        case kPropertyTypeVector4D:
        case kPropertyTypeColorRGB:
        case kPropertyTypeColorRGBA:
        {
            double v[4] = {-9, -9, -9, -9};
            p->GetData(v, 0, nullptr, nullptr);
            for (double d : v)
                out << ' ' << d;
            break;
        }
        case kPropertyTypeObject: out << " list " << p->GetSrcCount(); break;
        default: out << ' ' << p->AsString().ToChars(); break;
        }
        out << '\n';
    }
    return out.str();
}

std::string Fingerprint(const std::string& text)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text)
        hash = (hash ^ c) * 1099511628211ull;
    char out[48];
    snprintf(out, sizeof out, "%zu:%016llx", text.size(), static_cast<unsigned long long>(hash));
    return out;
}

// The same property for every way of asking, every time.
void ExpectStableIdentity(KObject& object)
{
    for (int i = 0; i < object.GetPropertyCount(); ++i)
    {
        KProperty* p = object.GetProperty(i);
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(p, object.GetProperty(i));
        EXPECT_EQ(p, object.FindPropertyByName(p->GetPropertyName())) << p->GetPropertyName();
        EXPECT_EQ(p, object.GetOwnedPlug(i));
        EXPECT_EQ(&object, p->GetOwnerPlug());
        EXPECT_EQ(&object, p->GetOwnerObject());
    }
}

class NodeRowsTest : public NodeTest
{
protected:
    KQoxNode* CameraNode()
    {
        KQoxNode* node = Node("Camera");
        node->SetNodeAttribute(mManager->CreateKQoxCamera());
        return node;
    }
    KQoxNode* MeshNode()
    {
        KQoxNode* node = Node("Mesh");
        node->SetNodeAttribute(mManager->CreateKQoxMesh());
        return node;
    }
};

} // namespace

TEST_F(NodeRowsTest, ListingsOfPlainCameraAndMeshNodes)
{
    KQoxNode* plain = Node("Plain");
    KQoxNode* camera = CameraNode();
    KQoxNode* mesh = MeshNode();
    const std::string plainList = Listing(*plain->GetProperties());
    const std::string cameraList = Listing(*camera->GetProperties());
    const std::string meshList = Listing(*mesh->GetProperties());
    EXPECT_EQ(plain->GetProperties()->GetPropertyCount(), 54);
    // The attribute adds nothing to the node's table.
    EXPECT_EQ("2612:c4e1aeefa8fcf5da", Fingerprint(plainList)) << plainList;
    EXPECT_EQ(plainList, cameraList);
    EXPECT_EQ(plainList, meshList);
    for (KQoxNode* node : {plain, camera, mesh})
        ExpectStableIdentity(*node->GetProperties());
}

TEST_F(NodeRowsTest, NameSearchFirstThenIndexGivesOneProperty)
{
    KQoxNode* node = Node("N");
    KQoxNodeProperties& table = *node->GetProperties();
    KProperty* byName = table.FindPropertyByName("ScalingMax");
    ASSERT_NE(byName, nullptr);
    EXPECT_STREQ(byName->GetPropertyName(), "ScalingMax");
    EXPECT_EQ(byName, table.GetProperty(36));
    EXPECT_EQ(table.FindPropertyByName("NoSuchRow"), nullptr);
    EXPECT_EQ(table.FindPropertyByName(nullptr), nullptr);
    EXPECT_EQ(table.FindPropertyByName("Show"), table.GetProperty(48));
    EXPECT_EQ(table.FindPropertyByName("Lcl Translation"), table.GetProperty(50));
}

TEST_F(NodeRowsTest, UserPropertyQueriesWrapTheTableProperties)
{
    KQoxNode* node = Node("N");
    KQoxNodeProperties& table = *node->GetProperties();
    const int before = mManager->GetKQoxUserPropertyCount();
    EXPECT_EQ(node->GetPropertyCount(), table.GetPropertyCount());
    for (int i = 0; i < node->GetPropertyCount(); ++i)
    {
        KQoxUserProperty* user = node->GetProperty(i);
        ASSERT_NE(user, nullptr);
        EXPECT_EQ(user->GetKProperty(), table.GetProperty(i));
        EXPECT_EQ(user, node->FindPropertyByName(table.GetProperty(i)->GetPropertyName()));
        EXPECT_EQ(user, node->GetProperty(table.GetProperty(i)));
    }
    EXPECT_EQ(before, mManager->GetKQoxUserPropertyCount());
    EXPECT_EQ(table.GetUserPropertyCount(), 0);
    EXPECT_EQ(table.GetUserProperty(0), nullptr);
}

TEST_F(NodeRowsTest, ValuesAgreeWhicheverWayTheyAreWritten)
{
    KQoxNode* node = Node("N");
    KQoxNodeProperties& table = *node->GetProperties();
    // Written through the node, read through the property.
    node->SetRotationStiffness(KQoxVector4(1.5, 2.5, 3.5));
    node->SetUseQuaternionForInterpolation(true);
    node->SetTransformationInheritType(eINHERIT_Rrs);
    node->SetVisibility(false);
    EXPECT_EQ(table.FindPropertyByName("RotationStiffnessY")->AsDouble(), 2.5);
    EXPECT_EQ(table.FindPropertyByName("QuaternionInterpolate")->AsInteger(), 1);
    EXPECT_EQ(table.FindPropertyByName("InheritType")->AsInteger(), 2);
    EXPECT_EQ(table.FindPropertyByName("Show")->AsInteger(), 0);

    // Written through the property, read through the node; a vector keeps
    // its own w and reads back with w = 1.
    KProperty* stiffnessZ = table.FindPropertyByName("RotationStiffnessZ");
    stiffnessZ->SetDouble(-4.0);
    EXPECT_EQ(node->GetRotationStiffness()[2], -4.0);
    double v[4] = {7, 8, 9, 5};
    KProperty* offset = table.FindPropertyByName("RotationOffset");
    offset->SetData(v, 0, nullptr, nullptr);
    double back[4] = {0, 0, 0, 0};
    offset->GetData(back, 0, nullptr, nullptr);
    EXPECT_EQ(back[0], 7);
    EXPECT_EQ(back[2], 9);
    EXPECT_EQ(back[3], 0); // the vector's w is not copied out
    node->UpdatePivotsAndLimitsFromProperties();
    ExpectVector(node->GetRotationOffset(eSOURCE_SET), 7, 8, 9, 1);
    bool show = true;
    table.FindPropertyByName("Show")->SetData(&show, 0, nullptr, nullptr);
    EXPECT_TRUE(table.mShow.Value());
    node->SetUseQuaternionForInterpolation(false);
    EXPECT_EQ(table.FindPropertyByName("QuaternionInterpolate")->AsInteger(), 0);
}

TEST_F(NodeRowsTest, PropertyWritesAreAnnouncedToTheTableListeners)
{
    struct Listener : public KPlug
    {
        bool PlugDataNotify(KPlugCallstack*, kPlugAction action, KPlug* plug, void*, void*, int) override
        {
            mLog << action << ':' << static_cast<KProperty*>(plug)->GetPropertyName() << ' ';
            return true;
        }
        std::ostringstream mLog;
    } listener;
    KQoxNode* node = Node("N");
    KQoxNodeProperties& table = *node->GetProperties();
    table.RegisterNotify(&listener);
    node->SetVisibility(false);
    node->SetUseQuaternionForInterpolation(true);
    table.FindPropertyByName("AxisLen")->SetDouble(3);
    // Direct value writes of the node's own records are not announced.
    node->SetRotationStiffness(KQoxVector4(1, 1, 1));
    EXPECT_EQ(
        listener.mLog.str(),
        "20:Show 21:Show 20:Visibility 21:Visibility 20:QuaternionInterpolate 21:QuaternionInterpolate 20:AxisLen "
        "21:AxisLen ");
    table.RemoveNotify(&listener);
}

TEST_F(NodeRowsTest, FlagChangesStayWithTheirNode)
{
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    KProperty* show = a->GetProperties()->FindPropertyByName("Show");
    show->GetPropertyInfo().ModifyFlag(KPropertyInfo::eUser, true);
    show->ModifyPropertyFlag(KProperty::eReadOnly, true);
    KProperty* order = a->GetProperties()->FindPropertyByName("RotationOrder");
    order->SetPropertyLabel("Order");
    order->SetPropertyMinMax(-1, 1);
    EXPECT_TRUE(show->IsUserProperty());
    EXPECT_TRUE(show->IsReadOnly());
    EXPECT_EQ(a->GetProperties()->GetUserPropertyCount(), 1);
    EXPECT_EQ(a->GetProperties()->GetUserProperty(0), show);

    KQoxNodeProperties& other = *b->GetProperties();
    EXPECT_EQ(other.GetUserPropertyCount(), 0);
    EXPECT_FALSE(other.FindPropertyByName("Show")->IsUserProperty());
    EXPECT_FALSE(other.FindPropertyByName("Show")->IsReadOnly());
    EXPECT_EQ(other.FindPropertyByName("RotationOrder")->GetPropertyLabel(), nullptr);
    EXPECT_EQ(other.FindPropertyByName("RotationOrder")->GetPropertyMax(), 100.0);
    KQoxNode* c = Node("C");
    EXPECT_FALSE(c->GetProperties()->FindPropertyByName("Show")->IsUserProperty());
    EXPECT_EQ(c->GetProperties()->GetUserPropertyCount(), 0);
}

TEST_F(NodeRowsTest, ConnectionsOnARow)
{
    KQoxNode* a = Node("A");
    KQoxNode* b = Node("B");
    KProperty* from = a->GetProperties()->FindPropertyByName("AxisLen");
    KProperty* to = b->GetProperties()->FindPropertyByName("AxisLen");
    ASSERT_TRUE(to->ConnectSrc(from));
    EXPECT_EQ(to->GetSrc(0), from);
    EXPECT_EQ(from->GetDst(0), to);
    EXPECT_TRUE(a->GetProperties()->HasConnection(KPlug::eAcceptDst));
    EXPECT_FALSE(a->GetProperties()->IsInState(0));
    KProperty* reference =
        a->GetProperties()->AddUserReferenceProperty(b->GetProperties()->FindPropertyByName("RotationMin"), "Ref");
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->GetRefProperty(), b->GetProperties()->FindPropertyByName("RotationMin"));
    EXPECT_EQ(a->GetProperties()->GetUserReferencePropertyBasedOnOriginal(
                  b->GetProperties()->FindPropertyByName("RotationMin")),
              reference);
    // Destroying the connected node cuts both links.
    EXPECT_TRUE(mManager->DestroyKQoxNode(b, false));
    EXPECT_EQ(from->GetDstCount(), 0);
    EXPECT_EQ(a->GetProperties()->GetUserPropertyCount(), 0);
}

TEST_F(NodeRowsTest, ManyNodesDestroyedWithAndWithoutTheirRows)
{
    const int count = 100000;
    std::vector<KQoxNode*> nodes;
    nodes.reserve(count);
    for (int i = 0; i < count; ++i)
        nodes.push_back(Node("N"));
    // Every third node has its rows asked for, every seventh one written.
    for (int i = 0; i < count; i += 3)
        EXPECT_EQ(nodes[i]->GetProperties()->GetProperty(i % 54)->GetOwnerPlug(), nodes[i]->GetProperties());
    for (int i = 0; i < count; i += 7)
        nodes[i]->GetProperties()->FindPropertyByName("AxisLen")->SetDouble(i);
    for (int i = 0; i < count; i += 7)
        ASSERT_EQ(nodes[i]->GetProperties()->FindPropertyByName("AxisLen")->AsDouble(), double(i));
    for (int i = 0; i < count; i += 2)
        EXPECT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
    EXPECT_EQ(mManager->GetKQoxNodeCount(), count / 2);
    // The rest go with the manager.
    mManager.reset();
}

TEST(NodeRowsLifetime, ManagerDestroyedBeforeAndAfterItsNodes)
{
    {
        auto manager = std::make_unique<KQoxSdkManager>();
        for (int i = 0; i < 100; ++i)
        {
            KQoxNode* node = manager->CreateKQoxNode("N");
            if (i % 2)
                node->GetProperties()->GetProperty(i % 50)->SetInteger(1);
        }
        manager.reset();
    }
    {
        auto manager = std::make_unique<KQoxSdkManager>();
        std::vector<KQoxNode*> nodes;
        for (int i = 0; i < 100; ++i)
        {
            nodes.push_back(manager->CreateKQoxNode("N"));
            if (i % 2)
                Listing(*nodes.back()->GetProperties());
        }
        for (KQoxNode* node : nodes)
            EXPECT_TRUE(manager->DestroyKQoxNode(node));
        EXPECT_EQ(manager->GetKQoxNodeCount(), 0);
    }
}

// Making, resetting and writing a node through its own API leave its rows as
// plain values; each row asked for is made alone.
TEST_F(NodeRowsTest, NodeWritesLeaveRowsUnmade)
{
    KQoxNode* node = Node("N");
    KQoxNode* child = Node("C");
    node->AddChild(child);
    node->SetVisibility(false);
    node->SetUseQuaternionForInterpolation(true);
    node->SetRotationStiffness(KQoxVector4(1, 2, 3));
    node->SetRotationActive(true);
    node->SetTransformationInheritType(eINHERIT_RSrs);
    node->UpdatePivotsAndLimitsFromProperties();
    node->UpdatePropertiesFromPivotsAndLimits();
    node->Reset();
    EXPECT_FALSE(node->GetUseQuaternionForInterpolation());
    KQoxNodeProperties& table = *node->GetProperties();
    auto made = [&table] {
        int count = 0;
        for (int i = 0; i < table.GetPropertyCount(); ++i)
            count += table.GetPropertyIfMade(i) ? 1 : 0;
        return count;
    };
    // The four channels are made with the table.
    EXPECT_EQ(made(), 4);
    EXPECT_EQ(table.FindPropertyIndexByName("AxisLen"), 21);
    EXPECT_EQ(made(), 4);
    KProperty* axis = table.GetProperty(21);
    EXPECT_EQ(made(), 5);
    EXPECT_EQ(axis, &table.mAxisLen.Property());
    table.mAxisLen.Value() = 2.5;
    EXPECT_EQ(axis->AsDouble(), 2.5);
    EXPECT_EQ(made(), 5);

    // A target is kept in the look-at list, made for it.
    EXPECT_EQ(node->GetTarget(), nullptr);
    EXPECT_EQ(node->GetTargetUp(), nullptr);
    EXPECT_EQ(table.mLookAtProperty.GetCount(), 0);
    EXPECT_EQ(made(), 5);
    node->SetTarget(child);
    EXPECT_EQ(made(), 6);
    EXPECT_EQ(node->GetTarget(), child);
    EXPECT_EQ(table.mLookAtProperty.GetCount(), 1);
    EXPECT_EQ(table.FindPropertyByName("LookAtProperty")->GetSrc(0), child->GetProperties());
    EXPECT_EQ(table.GetProperty(46)->GetPropertyFlag(), 1);
    EXPECT_EQ(table.GetPropertyFlagAt(47), 1);
    EXPECT_EQ(made(), 6);
}
