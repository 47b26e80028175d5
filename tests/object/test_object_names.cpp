// Object names, prefixes and full names; entity links and world hooks.

#include <gtest/gtest.h>

#include "object_test_helpers.h"

TEST(ObjectNames, ExtractNameParts)
{
    const struct
    {
        const char* mText;
        const char* mParts[4]; // entity, group, prefix, name
    } rows[] = {
        {"Model::Cube", {"", "Model", "", "Cube"}},
        {"a:b:c", {"", "", "a:b", "c"}},
        {"Cube", {"", "", "", "Cube"}},
        // The occurrences of ":::" overlap: the last one starts at the third colon.
        {"x::::y", {"x:", "", "", "y"}},
        {"E:::G::p:q:n", {"E", "G", "p:q", "n"}},
    };
    for (const auto& row : rows)
    {
        KString parts[4];
        ExtractNameParts(row.mText, parts[0], parts[1], parts[2], parts[3]);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Str(parts[i]), row.mParts[i]) << row.mText << " part " << i;
    }
}

TEST(ObjectNames, MakeFullNameAndConcatPrefixes)
{
    EXPECT_EQ(Str(MakeFullName("ignored", "Model", "a:b", "Cube")), "Model::a:b:Cube");
    EXPECT_EQ(Str(MakeFullName("", "", "", "Cube")), "Cube");
    EXPECT_EQ(Str(MakeFullName("", "", "p", "")), "p:");
    const char* concat[][3] = {{"A", "B", "A:B"}, {"A", ":B", "A:B"}, {"", ":B", "B"},
                               {"A:", "", "A"},   {"", "", ""},       {"A", "B:", "A:B"}};
    for (const auto& row : concat)
        EXPECT_EQ(Str(ConcatPrefixes(row[0], row[1])), row[2]) << row[0] << " + " << row[1];
    KString text("x");
    MakeFullEntityName(nullptr, text);
    EXPECT_EQ(Str(text), "");
    const char* unique[][3] = {{"A:B", "B:D", "D"}, {"X", "B:D", "B:D"}, {"A:B", "A:B", ""}};
    for (const auto& row : unique)
    {
        KString result;
        KObject::ExtractUniqueChildPrefix(row[0], row[1], result);
        EXPECT_EQ(Str(result), row[2]) << row[0] << " / " << row[1];
    }
}

TEST(ObjectNames, FullNameRoundTrips)
{
    KObject o;
    o.SetObjectFullName("Model::Cube");
    EXPECT_STREQ(o.GetObjectPrefixName(), "");
    EXPECT_STREQ(o.GetObjectName(), "Cube");
    EXPECT_STREQ(o.GetObjectFullName(), "Cube"); // the object group name is empty
    o.SetObjectFullName("a:b:c");
    EXPECT_STREQ(o.GetObjectPrefixName(), "a:b");
    EXPECT_STREQ(o.GetObjectName(), "c");
    EXPECT_TRUE(o.IsNameDirty());
    EXPECT_STREQ(o.GetObjectFullName(), "a:b:c");
    EXPECT_FALSE(o.IsNameDirty());
    EXPECT_EQ(Str(o.GetObjectLabelName(false)), "a:b:c");
    o.SetObjectUniqueName("d");
    EXPECT_STREQ(o.GetObjectName(), "d");
    EXPECT_STREQ(o.GetObjectOriginalName(), "c");
    EXPECT_STREQ(o.GetObjectFullName(), "a:b:d");
    o.SetObjectUniquePrefixName("z");
    EXPECT_STREQ(o.GetObjectPrefixName(), "z");
    EXPECT_STREQ(o.GetObjectOriginalPrefixName(), "a:b");
}

TEST(ObjectNames, BlankNameIsEmptyAndNotificationsAreOrdered)
{
    TObject o("Old");
    ClearLog();
    o.SetObjectName("   ");
    EXPECT_STREQ(o.GetObjectName(), "");
    EXPECT_EQ(NotifyLog(),
              Log({"Old:entity 8 null  -1", "Old:state 27 Old", "Old:entity 12 null  -1", "Old:state 28 Old"}));
    ClearLog();
    o.SetObjectName(""); // equal: nothing
    EXPECT_TRUE(NotifyLog().empty());
}

TEST(ObjectNames, PrefixRelativeToPrefixParent)
{
    TObject parent("P"), child("C"), other("O");
    for (TObject* o : {&parent, &child, &other})
        o->mPrefixClassId = TObject::ClassId;
    parent.SetObjectPrefixName("A");
    parent.ConnectSrc(&child);
    EXPECT_EQ(child.GetPrefixParent(), &parent);
    // A prefix given in full below the parent keeps only its own part.
    child.SetObjectPrefixName("A:P");
    EXPECT_STREQ(child.GetObjectPrefixName(), "P");
    EXPECT_EQ(Str(child.GetObjectFullPrefixName()), "A:P");
    EXPECT_STREQ(child.GetObjectFullName(), "A:P:C");
    EXPECT_EQ(Str(child.GetObjectLabelName(true)), "A:P:C");
    EXPECT_EQ(Str(child.GetObjectLabelName(false)), "P:C");
    // Renaming the parent's prefix marks the child's full name dirty.
    parent.SetObjectPrefixName("Z");
    EXPECT_TRUE(child.IsNameDirty());
    EXPECT_STREQ(child.GetObjectFullName(), "Z:P:C");
    // A child added later does not repeat the parent's prefix.
    parent.SetObjectPrefixName("A:B");
    other.SetObjectPrefixName("B:D");
    parent.ConnectSrc(&other);
    EXPECT_STREQ(other.GetObjectPrefixName(), "D");
    EXPECT_EQ(Str(other.GetObjectFullPrefixName()), "A:B:D");
    // A prefix cycle does not loop.
    other.ConnectSrc(&parent);
    other.SetObjectPrefixName("y");
    parent.SetDirtyName(true);
    EXPECT_FALSE(std::string(parent.GetObjectFullName()).empty());
    other.DisconnectSrc(&parent);
}

namespace {

// A stand-in for an entity: records what reaches it and keeps a focus.
class FakeEntity : public KObject
{
public:
    using KObject::EntityNotify;
    bool EntityNotify(HdlKObject object, kEntityEventType kind, const HdlKObject&, const char*, int) override
    {
        mEvents.push_back(kind);
        mObjects.push_back(object.Get());
        return true;
    }
    bool EntityPlugNotify(KPlugCallstack*, kPlugAction action, KPlug*, int, KPlug*, kConnectionType, KPlug*) override
    {
        return !(mRefuseRequests && action == kPlugRequestSrc);
    }
    void SetFocus(HdlKObject focus) override { mFocus = focus; }
    HdlKObject GetFocus() override { return mFocus; }

    std::vector<int> mEvents;
    std::vector<KObject*> mObjects;
    HdlKObject mFocus;
    bool mRefuseRequests = false;
};

class SetListener : public KObject
{
public:
    bool ObjectSetNotify(kEntityEventType event, const HdlKObject& object, const HdlKObject&, const char*) override
    {
        mEvents.push_back(event);
        mObject = object.Get();
        return true;
    }
    std::vector<int> mEvents;
    KObject* mObject = nullptr;
};

} // namespace

TEST(ObjectEntity, EventsReachTheEntityAndParents)
{
    FakeEntity entity;
    SetListener parent;
    KObject o;
    o.EntitySet(HdlKObjectTemplate<KEntity>(HdlKObject(&entity)));
    EXPECT_EQ(o.GetEntity().Get(), &entity);
    parent.ConnectSrc(&o);
    entity.mEvents.clear();
    o.SetObjectActive(true);
    EXPECT_EQ(entity.mEvents, std::vector<int>({19}));
    EXPECT_EQ(entity.mObjects.back(), &o);
    EXPECT_EQ(parent.mEvents, std::vector<int>({19}));
    EXPECT_EQ(parent.mObject, &o);
    o.ObjectTransactionBegin();
    o.ObjectTransactionEnd();
    EXPECT_EQ(entity.mEvents, std::vector<int>({19, 23, 24}));

    EXPECT_FALSE(o.IsFocused());
    o.Focus();
    EXPECT_TRUE(o.IsFocused());
    EXPECT_EQ(Str(o.GetObjectEntityName()), ""); // computes and keeps the entity's full name
    entity.SetObjectName("Scene");               // which the rename marks dirty
    EXPECT_EQ(Str(o.GetObjectEntityName()), "Scene");
    // The entity may refuse a connection to its member.
    entity.mRefuseRequests = true;
    KObject other;
    EXPECT_FALSE(o.ConnectSrc(&other));
    entity.mRefuseRequests = false;
    EXPECT_TRUE(o.ConnectSrc(&other));
}

TEST(ObjectEntity, ConstructorWithEntityJoinsIt)
{
    KObject entity;
    KObject o("G::pre:Name", HdlKObjectTemplate<KEntity>(HdlKObject(&entity)));
    EXPECT_STREQ(o.GetObjectName(), "Name");
    EXPECT_STREQ(o.GetObjectPrefixName(), "pre");
    EXPECT_EQ(Sources(&entity), std::vector<KPlug*>({&o}));
    KObject lone("Lone", HdlKObjectTemplate<KEntity>());
    EXPECT_EQ(lone.GetDstCount(), 0);
}
