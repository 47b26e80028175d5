// Rows of a class table listed without their properties: an object answers
// for them like for made properties, makes a row's property on the first
// request for it as a property, once, and frees, cuts and counts it like a
// property of its own.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "object/kproperty.h"
#include "object/kworld.h"

namespace {

// Three rows: "Alpha" (int), "Beta" (double, own flag 16), "Gamma" (int),
// then a plain dynamic property "Delta" and, at the end, one more row.
class RowObject : public KObject
{
public:
    enum
    {
        kAlpha,
        kBeta,
        kGamma,
        kEpsilon,
        kRowCount
    };

    RowObject()
    {
        PropertyAddDeferred(kAlpha);
        PropertyAddDeferred(kBeta);
        PropertyAddDeferred(kGamma);
        CreatePropertyFromType("Delta", kPropertyTypeDouble, nullptr, false, false, nullptr);
        PropertyAddDeferred(kEpsilon);
    }
    ~RowObject() override { Destruct(); }

    int AlphaGet() { return mValues[kAlpha]; }
    void AlphaSet(int value) { mValues[kAlpha] = value; }

    int mValues[kRowCount] = {1, 2, 3, 4};
    int mMade = 0;
    std::unique_ptr<KProperty> mRows[kRowCount];

protected:
    KProperty* MakeDeferredProperty(int row) override
    {
        ++mMade;
        KPropertyTemplate<int>* property = new KPropertyTemplate<int>();
        property->SetSharedPropertyInfo(&Info(row));
        ConnectOwnedPlug(property);
        property->SetPropertyFlag(DeferredPropertyFlags(row));
        int value = mValues[row];
        property->Set(value);
        mRows[row].reset(property);
        return property;
    }
    const KPropertyInfo& DeferredPropertyInfo(int row) const override { return Info(row); }
    kPropertyFlag DeferredPropertyFlags(int row) const override { return row == kBeta ? 16 : 0; }

private:
    static const KPropertyInfo& Info(int row)
    {
        static KPropertyInfo* const infos = [] {
            KPropertyInfo* made = new KPropertyInfo[kRowCount];
            const char* names[kRowCount] = {"Alpha", "Beta", "Gamma", "Epsilon"};
            for (int i = 0; i < kRowCount; ++i)
            {
                made[i].mName = names[i];
                made[i].mType = kPropertyTypeInt;
            }
            return made;
        }();
        return infos[row];
    }
};

} // namespace

TEST(DeferredProperties, RowsAnswerWithoutBeingMade)
{
    RowObject object;
    ASSERT_EQ(object.GetPropertyCount(), 5);
    EXPECT_EQ(object.GetPropertyIfMade(0), nullptr);
    EXPECT_NE(object.GetPropertyIfMade(3), nullptr);
    EXPECT_STREQ(object.ReadPropertyInfoAt(1).mName, "Beta");
    EXPECT_STREQ(object.ReadPropertyInfoAt(3).mName, "Delta");
    EXPECT_EQ(object.GetPropertyFlagAt(1), 16);
    EXPECT_EQ(object.GetPropertyFlagAt(2), 0);
    EXPECT_EQ(object.FindPropertyIndexByName("Gamma"), 2);
    EXPECT_EQ(object.FindPropertyIndexByName("Epsilon"), 4);
    EXPECT_EQ(object.FindPropertyIndexByName("Zeta"), -1);
    EXPECT_EQ(object.FindPropertyIndexByName(nullptr), -1);
    EXPECT_EQ(object.GetUserPropertyCount(), 0);
    EXPECT_TRUE(object.IsInState(0));
    EXPECT_FALSE(object.HasConnection(KPlug::eAcceptSrc | KPlug::eAcceptDst));
    EXPECT_EQ(object.mMade, 0);
}

// An index read from a damaged file reaches the list unchecked by its
// caller: outside the list nothing is read, written or made.
TEST(DeferredProperties, IndexesOutsideTheListReadBlankAndWriteNothing)
{
    RowObject object;
    for (int index : {-1, 5, 1 << 30, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
    {
        EXPECT_FALSE(object.IsPropertyIndex(index));
        EXPECT_STREQ(object.ReadPropertyInfoAt(index).mName, "");
        EXPECT_EQ(object.ReadPropertyInfoAt(index).mType, kPropertyTypeUnknown);
        EXPECT_EQ(object.GetPropertyFlagAt(index), 0);
        int value = 77;
        object.GetPropertyData(index, &value);
        EXPECT_EQ(value, 77);
        object.SetPropertyData(index, &value);
    }
    EXPECT_TRUE(object.IsPropertyIndex(4));
    EXPECT_EQ(object.mValues[0], 1);
    EXPECT_EQ(object.mValues[3], 4);
    EXPECT_EQ(object.mMade, 0);
}

TEST(DeferredProperties, AskingMakesOneRowOnceAndKeepsIt)
{
    RowObject object;
    KProperty* gamma = object.FindPropertyByName("Gamma");
    ASSERT_NE(gamma, nullptr);
    EXPECT_EQ(object.mMade, 1);
    EXPECT_EQ(gamma, object.GetProperty(2));
    EXPECT_EQ(gamma, object.GetOwnedPlug(2));
    EXPECT_EQ(gamma, object.GetPropertyIfMade(2));
    EXPECT_EQ(gamma, object.FindPropertyByName("Gamma"));
    EXPECT_EQ(object.mMade, 1);
    EXPECT_EQ(gamma->AsInteger(), 3);
    EXPECT_EQ(gamma->GetOwnerPlug(), &object);
    EXPECT_EQ(object.FindPropertyIndexByName("Gamma"), 2);
    // The rest stay unmade.
    EXPECT_EQ(object.GetPropertyIfMade(0), nullptr);
    EXPECT_EQ(object.GetPropertyIfMade(4), nullptr);
    EXPECT_EQ(object.GetOwnedPlugCount(), 5);
    EXPECT_EQ(object.GetOwnedPlug(5), nullptr);
}

TEST(DeferredProperties, UserFlagOfAMadeRowCounts)
{
    RowObject object;
    KProperty* beta = object.GetProperty(1);
    beta->GetPropertyInfo().ModifyFlag(KPropertyInfo::eUser, true);
    EXPECT_EQ(object.GetUserPropertyCount(), 1);
    EXPECT_EQ(object.GetUserProperty(0), beta);
    EXPECT_EQ(object.GetUserProperty(1), nullptr);
    EXPECT_EQ(object.mMade, 1);
    EXPECT_TRUE(object.RemoveUserProperty(beta));
    EXPECT_EQ(object.GetPropertyCount(), 4);
    EXPECT_EQ(object.FindPropertyIndexByName("Beta"), -1);
    // A second object's row keeps the shared descriptor.
    RowObject other;
    EXPECT_EQ(other.GetUserPropertyCount(), 0);
    EXPECT_FALSE(other.GetProperty(1)->IsUserProperty());
}

TEST(DeferredProperties, RemovingRowsMadeOrNot)
{
    RowObject object;
    KProperty* alpha = object.GetProperty(0);
    EXPECT_FALSE(object.PropertyRemoveFromList(alpha));
    EXPECT_EQ(object.GetPropertyCount(), 4);
    EXPECT_EQ(alpha->GetOwnerPlug(), &object);
    // Removing by index makes the row first: the removal is announced with it.
    EXPECT_FALSE(object.PropertyIndexRemoveFromList(0));
    EXPECT_EQ(object.mMade, 2);
    EXPECT_STREQ(object.ReadPropertyInfoAt(0).mName, "Gamma");
    EXPECT_TRUE(object.PropertyIndexRemoveFromList(9));
    // Destroying an unmade row makes nothing.
    EXPECT_FALSE(object.PropertyIndexDestroy(0));
    EXPECT_EQ(object.mMade, 2);
    EXPECT_STREQ(object.ReadPropertyInfoAt(0).mName, "Delta");
}

TEST(DeferredProperties, ConnectionsOfMadeRowsAreCutAtDestruction)
{
    auto a = std::make_unique<RowObject>();
    RowObject b;
    KProperty* from = a->GetProperty(4);
    KProperty* to = b.GetProperty(0);
    ASSERT_TRUE(to->ConnectSrc(from));
    EXPECT_FALSE(a->IsInState(0));
    EXPECT_TRUE(a->HasConnection(KPlug::eAcceptDst));
    EXPECT_TRUE(b.HasConnection(KPlug::eAcceptSrc));
    a.reset();
    EXPECT_EQ(to->GetSrcCount(), 0);
    EXPECT_EQ(b.mMade, 1);
}

TEST(DeferredProperties, ManyObjectsMadeAndDestroyed)
{
    std::vector<std::unique_ptr<RowObject>> objects;
    for (int i = 0; i < 100000; ++i)
    {
        objects.emplace_back(new RowObject);
        if (i % 3 == 0)
            objects.back()->GetProperty(i % 5);
    }
    for (size_t i = 0; i < objects.size(); i += 2)
        objects[i].reset();
    for (size_t i = 1; i < objects.size(); i += 6)
        EXPECT_EQ(objects[i]->mMade, 0);
    objects.clear();
}

TEST(DeferredProperties, WorldRegistrationMakesNoRow)
{
    KWorld* world = KWorld::Create();
    {
        RowObject object;
        object.Construct(world);
        EXPECT_EQ(object.GetWorld(), world);
        EXPECT_EQ(object.mMade, 0);
        object.WorldDetach();
        EXPECT_EQ(object.mMade, 0);
    }
    world->Destroy();
}

TEST(DeferredProperties, DataListenersAreFoundUpTheOwners)
{
    RowObject object;
    KPropertyTemplate<int> child;
    object.ConnectOwnedPlug(&child);
    EXPECT_FALSE(object.HasDataListeners());
    EXPECT_FALSE(child.HasDataListeners());
    KPlug listener;
    object.RegisterNotify(&listener);
    EXPECT_TRUE(object.HasDataListeners());
    EXPECT_TRUE(child.HasDataListeners());
    // A plug made on demand keeps its notifications to itself.
    child.ModifyPlugFlags(KPlug::eCreatedOnDemand, true);
    EXPECT_FALSE(child.HasDataListeners());
    object.RemoveNotify(&listener);
    object.DisconnectOwnedPlug(&child);
}

namespace {

// Records what the list holds at each announcement of a removal.
class RecordingRowObject : public RowObject
{
public:
    void PropertyNotify(kObjectListEvent event, KProperty* property, bool dynamic, const char* text) override
    {
        mLog += std::to_string(event) + ":" + property->GetPropertyName() + ":" +
                std::to_string(GetPropertyCount()) + " ";
        RowObject::PropertyNotify(event, property, dynamic, text);
    }
    std::string mLog;
};

} // namespace

TEST(DeferredProperties, DestructionAnnouncesMadePropertiesWithTheListAsItStands)
{
    {
        RecordingRowObject object;
        object.mLog.clear();
        object.Destruct();
        // Epsilon, never made, left unannounced before Delta.
        EXPECT_EQ("9:Delta:4 12:Delta:3 ", object.mLog);
        EXPECT_EQ(0, object.GetPropertyCount());
        EXPECT_EQ(0, object.mMade);
    }
    {
        RecordingRowObject object;
        ASSERT_NE(nullptr, object.GetProperty(1));
        ASSERT_NE(nullptr, object.GetProperty(4));
        object.mLog.clear();
        object.Destruct();
        EXPECT_EQ("9:Epsilon:5 12:Epsilon:4 9:Delta:4 12:Delta:3 9:Beta:2 12:Beta:1 ", object.mLog);
        EXPECT_EQ(0, object.GetPropertyCount());
        EXPECT_EQ(2, object.mMade);
    }
}
