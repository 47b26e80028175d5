// The four channel properties of a node ("Lcl Translation", "Lcl Rotation",
// "Lcl Scaling", "Visibility"): every node's are those the general making of
// a property from its data type gives (name, kind, data type, flags, range,
// values, owner, place), whether the node is the first of the process or a
// later one that takes the shared descriptor at once; and a channel data type
// replaced in the registry gives its own kind of channel, with the shared one
// back for the nodes made once it is restored. Also the manager's count and
// search of the wrappers that nodes put off, through destruction in any
// order and Clear.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "object/kobject.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace {

// A number type of the program's own under a name of its choice.
class OwnNumberType : public KDataTypeNumber
{
public:
    explicit OwnNumberType(const char* name)
        : KDataTypeNumber(name)
    {
        mBaseDataType = KDataTypeNumber::DataType;
    }
};

const char* const kChannels[4] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};

KProperty* const* Channels(KQoxNode& node, KProperty* (&out)[4])
{
    KQoxNodeProperties& table = static_cast<KQoxNodeProperties&>(*node.GetPropertyHandler());
    out[0] = table.mLclTranslation;
    out[1] = table.mLclRotation;
    out[2] = table.mLclScaling;
    out[3] = table.mVisibility;
    return out;
}

// Everything a query reads of a property's descriptor, apart from the world
// index.
std::string Describe(const KProperty& property)
{
    const KPropertyInfo& info = property.ReadPropertyInfo();
    std::string out = std::string(info.mName) + "|" + std::to_string(info.mType) + "|" +
                      std::to_string(info.GetFlags()) + "|" + (info.mLabel ? info.mLabel : "-") + "|" +
                      std::to_string(info.mMin) + "|" + std::to_string(info.mMax) + "|" +
                      (info.mGetter ? "g" : "-") + (info.mSetter ? "s" : "-") + (info.mToString ? "t" : "-") +
                      (info.mEnumList ? "e" : "-") + "|" + std::to_string(property.GetPropertyFlag());
    return out;
}

// The channel as the general making of a property gives it, on an object of
// its own: the node's channel must answer every query alike.
void ExpectAsGenerallyMade(KProperty& channel, int index, KDataType* dataType)
{
    KObject object;
    KProperty* made = object.CreatePropertyFromType(kChannels[index], DataTypeToPropertyType(dataType), dataType,
                                                    false, false, nullptr);
    ASSERT_NE(nullptr, made);
    made->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
    made->ModifyPropertyFlag(KProperty::eAnimated, true);
    EXPECT_EQ(Describe(*made), Describe(channel)) << kChannels[index];
    EXPECT_EQ(made->ReadPropertyInfo().mDataType, channel.ReadPropertyInfo().mDataType);
    EXPECT_EQ(made->GetPropertyDataType(), channel.GetPropertyDataType());
    EXPECT_EQ(made->GetClassId(), channel.GetClassId());
    EXPECT_EQ(made->IsDynamic(), channel.IsDynamic());
    EXPECT_EQ(made->IsAnimatable(), channel.IsAnimatable());
    EXPECT_EQ(made->IsUserProperty(), channel.IsUserProperty());
    EXPECT_EQ(0, channel.GetSrcCount());
    EXPECT_EQ(0, channel.GetDstCount());
}

void ExpectChannelValues(KQoxNode& node)
{
    KProperty* channels[4];
    Channels(node, channels);
    for (int c = 0; c < 3; ++c)
    {
        double v[4] = {-9, -9, -9, -9};
        channels[c]->GetData(v, 0, nullptr, nullptr);
        const double expected = c == 2 ? 1.0 : 0.0;
        EXPECT_EQ(expected, v[0]) << c;
        EXPECT_EQ(expected, v[1]) << c;
        EXPECT_EQ(expected, v[2]) << c;
    }
    EXPECT_EQ(1.0, channels[3]->AsDouble());
}

void ExpectChannelsOf(KQoxNode& node)
{
    KQoxNodeProperties& table = static_cast<KQoxNodeProperties&>(*node.GetPropertyHandler());
    KProperty* channels[4];
    Channels(node, channels);
    const int count = table.GetPropertyCount();
    for (int c = 0; c < 4; ++c)
    {
        ASSERT_NE(nullptr, channels[c]) << c;
        SCOPED_TRACE(kChannels[c]);
        ExpectAsGenerallyMade(*channels[c], c, KDataTypeGet(kChannels[c]));
        EXPECT_EQ(&table, channels[c]->GetOwnerPlug());
        EXPECT_EQ(&table, channels[c]->GetOwnerObject());
        // The last four of the list, made from the start.
        EXPECT_EQ(channels[c], table.GetPropertyIfMade(count - 4 + c));
        EXPECT_EQ(channels[c], table.FindPropertyByName(kChannels[c]));
        EXPECT_EQ(count - 4 + c, table.FindPropertyIndexByName(kChannels[c]));
        // The node's user property wraps it.
        KQoxUserProperty* wrapper = node.FindPropertyByName(kChannels[c]);
        ASSERT_NE(nullptr, wrapper);
        EXPECT_EQ(channels[c], wrapper->GetKProperty());
        EXPECT_TRUE(wrapper->GetFlag(KQoxUserProperty::eANIMATABLE));
    }
    ExpectChannelValues(node);
}

} // namespace

TEST(NodeCreation, EveryNodeHasTheChannelsTheGeneralMakingGives)
{
    KQoxSdkManager manager;
    std::vector<KQoxNode*> nodes;
    for (int i = 0; i < 40; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("n" + std::to_string(i)).c_str());
        if (i % 3 == 1)
            node->SetNodeAttribute(manager.CreateKQoxCamera());
        if (i % 3 == 2)
            node->SetNodeAttribute(manager.CreateKQoxMesh());
        nodes.push_back(node);
    }
    for (KQoxNode* node : nodes)
        ExpectChannelsOf(*node);
    // The channels of later nodes share one descriptor per channel.
    KProperty* first[4];
    KProperty* later[4];
    Channels(*nodes[1], first);
    Channels(*nodes[39], later);
    for (int c = 0; c < 4; ++c)
    {
        EXPECT_TRUE(later[c]->HasSharedPropertyInfo()) << c;
        EXPECT_EQ(&first[c]->ReadPropertyInfo(), &later[c]->ReadPropertyInfo()) << c;
    }
}

TEST(NodeCreation, ChangesOfOneNodesChannelStayOnIt)
{
    KQoxSdkManager manager;
    KQoxNode* a = manager.CreateKQoxNode("a");
    KQoxNode* b = manager.CreateKQoxNode("b");
    KProperty* ca[4];
    KProperty* cb[4];
    Channels(*a, ca);
    Channels(*b, cb);
    ca[0]->SetPropertyLabel("Moved");
    ca[1]->SetPropertyMinMax(-5.0, 5.0);
    ca[2]->GetPropertyInfo().ModifyFlag(KPropertyInfo::eTemporary, true);
    ca[3]->ModifyPropertyFlag(KProperty::eAnimated, false);
    EXPECT_STREQ("Moved", ca[0]->GetPropertyLabel());
    EXPECT_EQ(nullptr, cb[0]->GetPropertyLabel());
    EXPECT_EQ(-5.0, ca[1]->GetPropertyMin());
    EXPECT_EQ(0.0, cb[1]->GetPropertyMin());
    EXPECT_TRUE(ca[2]->IsTemporary());
    EXPECT_FALSE(cb[2]->IsTemporary());
    EXPECT_FALSE(ca[3]->IsAnimated());
    EXPECT_TRUE(cb[3]->IsAnimated());
    // A node made after the changes has the channels as they always were.
    KQoxNode* c = manager.CreateKQoxNode("c");
    ExpectChannelsOf(*c);
    ExpectChannelsOf(*b);
}

TEST(NodeCreation, AReplacedChannelDataTypeGivesItsOwnChannel)
{
    KQoxSdkManager manager;
    KQoxNode* before = manager.CreateKQoxNode("before");
    ExpectChannelsOf(*before);

    // "Lcl Rotation" found as a plain number type of the program's own.
    KDataType* builtin = KDataTypeGet("Lcl Rotation");
    ASSERT_NE(nullptr, builtin);
    std::vector<KDataType*> builtins;
    for (int i = 0; i < KDataTypeGetCount(); ++i)
        builtins.push_back(KDataTypeGet(i));
    KDataTypeRemoveAll();
    for (KDataType* type : builtins)
        if (type != builtin)
            KDataTypeAdd(type);
    {
        OwnNumberType replaced("Lcl Rotation");
        ASSERT_EQ(&replaced, KDataTypeGet("Lcl Rotation"));
        for (int round = 0; round < 2; ++round)
        {
            KQoxNode* node = manager.CreateKQoxNode(("during" + std::to_string(round)).c_str());
            KProperty* channels[4];
            Channels(*node, channels);
            ASSERT_NE(nullptr, channels[1]);
            EXPECT_EQ(kPropertyTypeDouble, channels[1]->GetPropertyType());
            EXPECT_EQ(&replaced, channels[1]->GetPropertyDataType());
            ExpectAsGenerallyMade(*channels[1], 1, &replaced);
            // The other three are as ever.
            for (int c : {0, 2, 3})
                ExpectAsGenerallyMade(*channels[c], c, KDataTypeGet(kChannels[c]));
            EXPECT_EQ(4, node->GetPropertyCount(KQoxUserProperty::eANIMATABLE));
            EXPECT_TRUE(manager.DestroyKQoxNode(node));
        }
    }
    KDataTypeAdd(builtin);
    ASSERT_EQ(builtin, KDataTypeGet("Lcl Rotation"));
    KQoxNode* after = manager.CreateKQoxNode("after");
    ExpectChannelsOf(*after);
    KProperty* b[4];
    KProperty* a[4];
    Channels(*before, b);
    Channels(*after, a);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(Describe(*b[c]), Describe(*a[c])) << c;
}

TEST(NodeCreation, PutOffWrappersCountAndFindThroughDestructionInAnyOrder)
{
    KQoxSdkManager manager;
    std::vector<KQoxNode*> nodes;
    for (int i = 0; i < 60; ++i)
        nodes.push_back(manager.CreateKQoxNode(("n" + std::to_string(i)).c_str()));
    const int perNode = nodes[0]->GetPropertyCount();
    EXPECT_EQ(54, perNode);
    // Some nodes make their wrappers by being asked.
    for (size_t i = 0; i < nodes.size(); i += 7)
        EXPECT_NE(nullptr, nodes[i]->GetProperty(0));
    EXPECT_EQ(60 * perNode, manager.GetKQoxUserPropertyCount());

    std::mt19937 random(11);
    std::vector<KQoxNode*> left = nodes;
    std::shuffle(left.begin(), left.end(), random);
    while (left.size() > 20)
    {
        EXPECT_TRUE(manager.DestroyKQoxNode(left.back()));
        left.pop_back();
        EXPECT_EQ(static_cast<int>(left.size()) * perNode, manager.GetKQoxUserPropertyCount());
    }
    // The first in creation order among the nodes left.
    KQoxNode* firstLeft = *std::min_element(left.begin(), left.end(), [&](KQoxNode* x, KQoxNode* y) {
        return std::find(nodes.begin(), nodes.end(), x) < std::find(nodes.begin(), nodes.end(), y);
    });
    KQoxUserProperty* found = manager.FindKQoxUserProperty("Lcl Scaling");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(firstLeft->FindPropertyByName("Lcl Scaling"), found);
    EXPECT_EQ(20 * perNode, manager.GetKQoxUserPropertyCount());
    // Nodes made after the search put theirs off again.
    KQoxNode* late = manager.CreateKQoxNode("late");
    EXPECT_EQ(21 * perNode, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(found, manager.FindKQoxUserProperty("Lcl Scaling"));
    EXPECT_NE(nullptr, late->FindPropertyByName("Visibility"));
    manager.Clear();
    EXPECT_EQ(0, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(nullptr, manager.FindKQoxUserProperty("Lcl Scaling"));
    KQoxNode* again = manager.CreateKQoxNode("again");
    EXPECT_EQ(perNode, manager.GetKQoxUserPropertyCount());
    EXPECT_EQ(again->FindPropertyByName("Visibility"), manager.FindKQoxUserProperty("Visibility"));
}
