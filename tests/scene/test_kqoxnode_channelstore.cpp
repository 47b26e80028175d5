// The four channel properties of a node table share the table's allocation
// yet live and die as properties of their own: taken out of the list, they
// outlive the table; destroyed alone, the table goes on without them.

#include <memory>
#include <vector>

#include "node_test_util.h"
#include "object/kproperty.h"

using namespace nodetest;

namespace {

KgeTVector VectorOf(KProperty* property)
{
    KgeTVector value(0.0, 0.0, 0.0, 0.0);
    property->GetData(&value, 0, nullptr, nullptr);
    return value;
}

// Takes a channel out of its table's list and off its owner, as a caller
// that keeps it for itself does.
KProperty* TakeOut(KQoxNodeProperties& table, KProperty* channel)
{
    EXPECT_FALSE(table.PropertyRemoveFromList(channel));
    EXPECT_TRUE(table.DisconnectOwnedPlug(channel));
    return channel;
}

} // namespace

TEST_F(NodeTest, ChannelsAreFourPropertiesOfTheirOwn)
{
    KQoxNode* node = Node("n");
    KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
    KProperty* channels[] = {table.mLclTranslation, table.mLclRotation, table.mLclScaling, table.mVisibility};
    const char* names[] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_NE(nullptr, channels[i]);
        EXPECT_EQ(channels[i], table.GetProperty(50 + i));
        EXPECT_EQ(channels[i], table.FindPropertyByName(names[i]));
        EXPECT_EQ(&table, channels[i]->GetOwnerPlug());
        EXPECT_TRUE(channels[i]->IsDynamic());
        EXPECT_TRUE(channels[i]->IsAnimatable());
        EXPECT_TRUE(channels[i]->IsAnimated());
        for (int j = 0; j < i; ++j)
            EXPECT_NE(channels[i], channels[j]);
    }
    EXPECT_NE(nullptr, dynamic_cast<KPropertyTemplate<KgeTVector>*>(table.mLclTranslation));
    EXPECT_NE(nullptr, dynamic_cast<KPropertyTemplate<double>*>(table.mVisibility));
    const KgeTVector one = VectorOf(table.mLclScaling);
    EXPECT_EQ(1.0, one.x);
    EXPECT_EQ(1.0, one.y);
    EXPECT_EQ(1.0, one.z);
    EXPECT_EQ(1.0, table.mVisibility->AsDouble());
}

TEST_F(NodeTest, ChannelTakenOutOutlivesItsNode)
{
    KQoxNode* node = Node("n");
    KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
    KgeTVector moved(1.5, -2.5, 3.5, 1.0);
    table.mLclTranslation->SetData(&moved, 0, nullptr, nullptr);
    table.mVisibility->SetDouble(0.25);
    KProperty* translation = TakeOut(table, table.mLclTranslation);
    KProperty* visibility = TakeOut(table, table.mVisibility);
    EXPECT_EQ(52, table.GetPropertyCount());
    EXPECT_EQ(nullptr, table.FindPropertyByName("Lcl Translation"));
    EXPECT_EQ(nullptr, table.FindPropertyByName("Visibility"));

    ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
    // Another node made meanwhile takes nothing of theirs.
    KQoxNode* other = Node("other");
    KQoxNodeProperties& otherTable = *static_cast<KQoxNodeProperties*>(other->GetPropertyHandler());
    EXPECT_EQ(0.0, VectorOf(otherTable.mLclTranslation).x);
    EXPECT_EQ(1.0, otherTable.mVisibility->AsDouble());

    const KgeTVector kept = VectorOf(translation);
    EXPECT_EQ(1.5, kept.x);
    EXPECT_EQ(-2.5, kept.y);
    EXPECT_EQ(3.5, kept.z);
    EXPECT_EQ(0.25, visibility->AsDouble());
    EXPECT_STREQ("Lcl Translation", translation->GetPropertyName());
    EXPECT_EQ(nullptr, translation->GetOwnerPlug());
    KgeTVector again(7.0, 8.0, 9.0, 1.0);
    translation->SetData(&again, 0, nullptr, nullptr);
    EXPECT_EQ(8.0, VectorOf(translation).y);
    translation->Destroy(0);
    visibility->Destroy(0);
    EXPECT_EQ(1.0, otherTable.mVisibility->AsDouble());
}

TEST_F(NodeTest, ChannelDestroyedAloneLeavesTheTableWhole)
{
    KQoxNode* node = Node("n");
    KQoxNode* child = Node("c");
    ASSERT_TRUE(node->AddChild(child));
    KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
    EXPECT_FALSE(table.PropertyDestroy(table.mLclRotation));
    EXPECT_EQ(53, table.GetPropertyCount());
    EXPECT_EQ(nullptr, table.FindPropertyByName("Lcl Rotation"));
    EXPECT_EQ(table.mLclScaling, table.FindPropertyByName("Lcl Scaling"));
    EXPECT_EQ(table.mVisibility, table.GetProperty(52));
    EXPECT_EQ(1.0, VectorOf(table.mLclScaling).x);
    EXPECT_EQ(child, node->GetChild(0));
    table.mLclRotation = nullptr;
    ASSERT_TRUE(mManager->DestroyKQoxNode(node, true));
}

TEST_F(NodeTest, ChannelHeldAcrossTheTablesOwnDestroy)
{
    // A channel taken out, then the table destroyed directly (not through
    // its node), then the channel: in both orders.
    for (int order = 0; order < 2; ++order)
    {
        std::unique_ptr<KQoxNodeProperties> table(new KQoxNodeProperties(nullptr));
        KProperty* scaling = TakeOut(*table, table->mLclScaling);
        if (order == 0)
        {
            table.reset();
            EXPECT_EQ(1.0, VectorOf(scaling).z);
            scaling->Destroy(0);
        }
        else
        {
            EXPECT_EQ(1.0, VectorOf(scaling).z);
            scaling->Destroy(0);
            EXPECT_EQ(0.0, VectorOf(table->mLclTranslation).x);
            EXPECT_EQ(1.0, table->mVisibility->AsDouble());
            table.reset();
        }
    }
}

TEST(NodeChannelStore, TableMadeOtherwiseMakesItsChannelsApart)
{
    // A table that was not made with new (here on the stack) has the same
    // channels, made apart; it frees them like any dynamic property.
    KQoxNodeProperties table(nullptr);
    ASSERT_EQ(54, table.GetPropertyCount());
    EXPECT_STREQ("Lcl Translation", table.GetProperty(50)->GetPropertyName());
    EXPECT_EQ(1.0, VectorOf(table.mLclScaling).y);
    EXPECT_EQ(1.0, table.mVisibility->AsDouble());
    // One made with new right after has its own.
    std::unique_ptr<KQoxNodeProperties> made(new KQoxNodeProperties(nullptr));
    EXPECT_NE(table.mLclTranslation, made->mLclTranslation);
    EXPECT_EQ(made.get(), made->mLclTranslation->GetOwnerPlug());
    table.DestructProperties();
    EXPECT_EQ(0, table.GetPropertyCount());
}

TEST_F(NodeTest, ManyNodesMadeAndDestroyedInMixedOrderKeepTheirChannels)
{
    std::vector<KQoxNode*> nodes;
    std::vector<KProperty*> kept;
    for (int i = 0; i < 300; ++i)
    {
        KQoxNode* node = Node(("n" + std::to_string(i)).c_str());
        KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
        KgeTVector value(i, 2.0 * i, 3.0 * i, 1.0);
        table.mLclRotation->SetData(&value, 0, nullptr, nullptr);
        if (i % 7 == 0)
            kept.push_back(TakeOut(table, table.mLclRotation));
        nodes.push_back(node);
    }
    for (size_t i = 0; i < nodes.size(); i += 2)
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
    for (size_t i = 1; i < nodes.size(); i += 2)
    {
        KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(nodes[i]->GetPropertyHandler());
        if (i % 7 != 0)
        {
            EXPECT_EQ(2.0 * i, VectorOf(table.mLclRotation).y);
        }
        EXPECT_EQ(1.0, table.mVisibility->AsDouble());
    }
    for (size_t k = 0; k < kept.size(); ++k)
    {
        EXPECT_EQ(3.0 * 7 * k, VectorOf(kept[k]).z);
        kept[k]->Destroy(0);
    }
    for (size_t i = 1; i < nodes.size(); i += 2)
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
}
