// Object names, prefixes and full names; entity links and world hooks.

#include <gtest/gtest.h>

#include "object_test_helpers.h"

typedef std::vector<std::string> Log;

TEST(ObjectNames, ExtractNameParts)
{
    KString entity, group, prefix, name;
    ExtractNameParts("Model::Cube", entity, group, prefix, name);
    EXPECT_EQ(std::string(entity), "");
    EXPECT_EQ(std::string(group), "Model");
    EXPECT_EQ(std::string(prefix), "");
    EXPECT_EQ(std::string(name), "Cube");
    ExtractNameParts("a:b:c", entity, group, prefix, name);
    EXPECT_EQ(std::string(group), "");
    EXPECT_EQ(std::string(prefix), "a:b");
    EXPECT_EQ(std::string(name), "c");
    ExtractNameParts("Cube", entity, group, prefix, name);
    EXPECT_EQ(std::string(prefix), "");
    EXPECT_EQ(std::string(name), "Cube");
    // The occurrences of ":::" overlap: the last one starts at the third colon.
    ExtractNameParts("x::::y", entity, group, prefix, name);
    EXPECT_EQ(std::string(entity), "x:");
    EXPECT_EQ(std::string(group), "");
    EXPECT_EQ(std::string(prefix), "");
    EXPECT_EQ(std::string(name), "y");
    ExtractNameParts("E:::G::p:q:n", entity, group, prefix, name);
    EXPECT_EQ(std::string(entity), "E");
    EXPECT_EQ(std::string(group), "G");
    EXPECT_EQ(std::string(prefix), "p:q");
    EXPECT_EQ(std::string(name), "n");
}

TEST(ObjectNames, MakeFullNameAndConcatPrefixes)
{
    EXPECT_EQ(std::string(MakeFullName("ignored", "Model", "a:b", "Cube")), "Model::a:b:Cube");
    EXPECT_EQ(std::string(MakeFullName("", "", "", "Cube")), "Cube");
    EXPECT_EQ(std::string(MakeFullName("", "", "p", "")), "p:");
    EXPECT_EQ(std::string(ConcatPrefixes("A", "B")), "A:B");
    EXPECT_EQ(std::string(ConcatPrefixes("A", ":B")), "A:B");
    EXPECT_EQ(std::string(ConcatPrefixes("", ":B")), "B");
    EXPECT_EQ(std::string(ConcatPrefixes("A:", "")), "A");
    EXPECT_EQ(std::string(ConcatPrefixes("", "")), "");
    EXPECT_EQ(std::string(ConcatPrefixes("A", "B:")), "A:B");
    KString text("x");
    MakeFullEntityName(nullptr, text);
    EXPECT_EQ(std::string(text), "");
}

TEST(ObjectNames, ExtractUniqueChildPrefix)
{
    KString result;
    KObject::ExtractUniqueChildPrefix("A:B", "B:D", result);
    EXPECT_EQ(std::string(result), "D");
    KObject::ExtractUniqueChildPrefix("X", "B:D", result);
    EXPECT_EQ(std::string(result), "B:D");
    KObject::ExtractUniqueChildPrefix("A:B", "A:B", result);
    EXPECT_EQ(std::string(result), "");
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
    EXPECT_EQ(std::string(o.GetObjectLabelName(false)), "a:b:c");
    EXPECT_EQ(std::string(o.GetObjectReferenceName()), "a:b:c");
    EXPECT_EQ(std::string(o.GetObjectEntityName()), "");
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
    Log log = NotifyLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Old:entity 8 null  -1");
    EXPECT_EQ(log[1], "Old:state 27 Old");
    EXPECT_EQ(log[2], "Old:entity 12 null  -1");
    EXPECT_EQ(log[3], "Old:state 28 Old");
    ClearLog();
    o.SetObjectName(""); // equal: nothing
    EXPECT_TRUE(NotifyLog().empty());
}

TEST(ObjectNames, PrefixRelativeToPrefixParent)
{
    TObject parent("P"), child("C");
    parent.mPrefixClassId = TObject::ClassId;
    child.mPrefixClassId = TObject::ClassId;
    parent.SetObjectPrefixName("A");
    parent.ConnectSrc(&child);
    EXPECT_EQ(child.GetPrefixParent(), &parent);
    // A prefix given in full below the parent keeps only its own part.
    child.SetObjectPrefixName("A:P");
    EXPECT_STREQ(child.GetObjectPrefixName(), "P");
    EXPECT_EQ(std::string(child.GetObjectFullPrefixName()), "A:P");
    EXPECT_STREQ(child.GetObjectFullName(), "A:P:C");
    EXPECT_EQ(std::string(child.GetObjectLabelName(true)), "A:P:C");
    EXPECT_EQ(std::string(child.GetObjectLabelName(false)), "P:C");
    // Renaming the parent's prefix marks the child's full name dirty.
    parent.SetObjectPrefixName("Z");
    EXPECT_TRUE(child.IsNameDirty());
    EXPECT_STREQ(child.GetObjectFullName(), "Z:P:C");
}

TEST(ObjectNames, AddedChildPrefixDoesNotRepeatTheParents)
{
    TObject parent("P"), child("C");
    parent.mPrefixClassId = TObject::ClassId;
    child.mPrefixClassId = TObject::ClassId;
    parent.SetObjectPrefixName("A:B");
    child.SetObjectPrefixName("B:D");
    parent.ConnectSrc(&child);
    EXPECT_STREQ(child.GetObjectPrefixName(), "D");
    EXPECT_EQ(std::string(child.GetObjectFullPrefixName()), "A:B:D");
}

TEST(ObjectNames, PrefixCycleDoesNotLoop)
{
    TObject a("A"), b("B");
    a.mPrefixClassId = TObject::ClassId;
    b.mPrefixClassId = TObject::ClassId;
    a.ConnectSrc(&b);
    b.ConnectSrc(&a);
    a.SetObjectPrefixName("x");
    b.SetObjectPrefixName("y");
    a.SetDirtyName(true);
    EXPECT_FALSE(std::string(a.GetObjectFullName()).empty());
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
    EXPECT_EQ(std::string(o.GetObjectEntityName()), "");
    entity.SetObjectName("Scene");
    EXPECT_EQ(std::string(o.GetObjectEntityName()), "Scene");

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
    EXPECT_EQ(entity.GetSrcCount(), 1);
    EXPECT_EQ(entity.GetSrc(0), &o);
    KObject lone("Lone", HdlKObjectTemplate<KEntity>());
    EXPECT_EQ(lone.GetDstCount(), 0);
}

namespace {
int gRegistered = 0;
int RegisterHook(KWorld* world, KObject* object)
{
    object->SetWorldIndex(world, ++gRegistered);
    return gRegistered;
}
void UnregisterHook(KWorld*, KObject* object)
{
    --gRegistered;
    object->SetWorldIndex(nullptr, -1);
}
} // namespace

TEST(ObjectEntity, WorldRegistrationThroughTheWorldLink)
{
    KObject_SetWorldLink(KObjectWorldLink{RegisterHook, UnregisterHook});
    KWorld* world = reinterpret_cast<KWorld*>(&gRegistered); // only passed through
    KObject* o = new KObject();
    o->Construct(world);
    EXPECT_EQ(o->GetWorld(), world);
    EXPECT_EQ(o->GetWorldIndex(), 1);
    o->Construct(nullptr); // no world: nothing
    EXPECT_EQ(gRegistered, 1);
    o->Destroy(0); // Destruct leaves the world
    EXPECT_EQ(gRegistered, 0);
    KObject_SetWorldLink(KObjectWorldLink{nullptr, nullptr});
    Object_SetProjectModified(true);
    EXPECT_TRUE(Object_GetProjectModified());
    Object_SetProjectModified(false);
    EXPECT_EQ(KObject::GetComponentClassId(), KPlug_GetClassId("KComponent"));
}
