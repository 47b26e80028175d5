// Entities, object sets and the unique-name table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/kclassid.h"
#include "object/kentity.h"
#include "object/kobjectset.h"
#include "object/kuniquename.h"

// ---------------------------------------------------------------------------
// Unique-name table

TEST(UniqueNames, TakenNamesAreNumbered)
{
    KUniqueNameObjectList names(10, 64);
    int a, b, c, d, e, f;
    EXPECT_STREQ(names.AddObject("Cube", &a), "Cube");
    EXPECT_STREQ(names.AddObject("Cube", &b), "Cube 1");
    EXPECT_STREQ(names.AddObject("Cube", &c), "Cube 2");
    EXPECT_STREQ(names.AddObject("  ", &d), "Default");
    EXPECT_STREQ(names.AddObject("  Cube  ", &e), "Cube 3");
    EXPECT_STREQ(names.AddObject("Cube 1", &f), "Cube 4");
    EXPECT_EQ(names.GetObjectByName("Cube 2"), &c);
    EXPECT_STREQ(names.GetNameByObject(&e), "Cube 3");
    EXPECT_EQ(names.GetNameByObject(&names), nullptr);
}

TEST(UniqueNames, TrailingNumbersCountOn)
{
    KUniqueNameObjectList names(10, 64);
    int a, b, c, d;
    names.AddObject("Cube7", &a);
    EXPECT_STREQ(names.AddObject("Cube7", &b), "Cube8");
    names.AddObject("Cube007", &c);
    // Leading zeros are not kept; Cube8 is taken already.
    EXPECT_STREQ(names.AddObject("Cube007", &d), "Cube9");

    KUniqueNameObjectList other(10, 64);
    other.AddObject("Cube007", &a);
    EXPECT_STREQ(other.AddObject("Cube007", &b), "Cube8");
}

TEST(UniqueNames, FileNameExceptionsKeepTheirDigit)
{
    KUniqueNameObjectList names(10, 64);
    int a, b, c, d, e, f;
    EXPECT_STREQ(names.AddObject("a.mp3", &a), "a.mp3");
    EXPECT_STREQ(names.AddObject("a.mp3", &b), "a.mp3 1");
    EXPECT_STREQ(names.AddObject("a.mp34", &c), "a.mp34");
    EXPECT_STREQ(names.AddObject("a.mp34", &d), "a.mp35");
    names.AddObject("clip.mpg2", &e);
    EXPECT_STREQ(names.AddObject("clip.mpg2", &f), "clip.mpg2 1");
    // The exceptions are exact-case.
    names.AddObject("b.MP3", &e);
    EXPECT_STREQ(names.AddObject("b.MP3", &f), "b.MP4");
}

TEST(UniqueNames, NamesDifferingInCaseAreOneName)
{
    KUniqueNameObjectList names(10, 64);
    int a, b;
    EXPECT_STREQ(names.AddObject("Cube", &a), "Cube");
    // "Cube" and "cube" have different byte sums: they still collide.
    EXPECT_STREQ(names.AddObject("cube", &b), "cube 1");
    EXPECT_EQ(names.GetObjectByName("CUBE"), &a);
    EXPECT_EQ(names.GetObjectByName("CUBE 1"), &b);
    names.RemoveObject("cUBE", &a);
    EXPECT_EQ(names.GetObjectByName("Cube"), nullptr);
    EXPECT_EQ(names.GetObjectByName("cube 1"), &b);
}

TEST(UniqueNames, RemovedSlotsAreReused)
{
    KUniqueNameObjectList names(10, 64);
    int a, b, c, d;
    names.AddObject("One", &a);
    names.AddObject("Two", &b);
    names.AddObject("Three", &c);
    EXPECT_EQ(names.GetSlotCount(), 3);
    names.RemoveObject("Two", nullptr);
    EXPECT_EQ(names.GetSlotObject(1), nullptr);
    EXPECT_EQ(names.GetObjectByName("Two"), nullptr);
    EXPECT_STREQ(names.AddObject("Four", &d), "Four");
    EXPECT_EQ(names.GetSlotObject(1), &d);
    // Trailing free slots are dropped.
    names.RemoveObject("Three", nullptr);
    EXPECT_EQ(names.GetSlotCount(), 2);
    names.RemoveObject("Missing", nullptr);
    EXPECT_EQ(names.GetSlotCount(), 2);
    names.ClearObject();
    EXPECT_EQ(names.GetSlotCount(), 0);
    EXPECT_EQ(names.GetObjectByName("One"), nullptr);
}

TEST(UniqueNames, UnusableInput)
{
    KUniqueNameObjectList names(0, 0);
    int a;
    EXPECT_EQ(names.AddObject("", &a), nullptr);
    EXPECT_EQ(names.AddObject(nullptr, &a), nullptr);
    // A null object would read as a free slot.
    EXPECT_EQ(names.AddObject("Cube", nullptr), nullptr);
    EXPECT_EQ(names.GetSlotCount(), 0);
    EXPECT_STREQ(names.AddObject("Cube", &a), "Cube");
}

TEST(UniqueNames, LongNumbersDoNotOverflow)
{
    KUniqueNameObjectList names(10, 64);
    int a, b, c, d;
    names.AddObject("Cube99999999999999999999", &a);
    EXPECT_STREQ(names.AddObject("Cube99999999999999999999", &b), "Cube100000000000000000000");
    names.AddObject("Cube2147483647", &c);
    EXPECT_STREQ(names.AddObject("Cube2147483647", &d), "Cube2147483648");
}

TEST(UniqueNames, ManyNamesStayConsistent)
{
    KUniqueNameObjectList names(4, 3);
    std::vector<int> objects(3000);
    for (int i = 0; i < 2000; ++i)
        ASSERT_NE(names.AddObject("Item", &objects[i]), nullptr);
    EXPECT_STREQ(names.GetNameByObject(&objects[0]), "Item");
    EXPECT_STREQ(names.GetNameByObject(&objects[1999]), "Item 1999");
    // A freed number is found again.
    names.RemoveObject("Item 500", nullptr);
    EXPECT_STREQ(names.AddObject("Item", &objects[2000]), "Item 500");
    EXPECT_STREQ(names.AddObject("Item", &objects[2001]), "Item 2000");
    // Churn leaves holes in the name pool that are reclaimed.
    for (int round = 0; round < 50; ++round)
    {
        for (int i = 0; i < 100; ++i)
            names.RemoveObject(("Item " + std::to_string(1000 + i)).c_str(), nullptr);
        for (int i = 0; i < 100; ++i)
            ASSERT_STREQ(names.AddObject(("Item " + std::to_string(1000 + i)).c_str(), &objects[1000 + i]),
                         ("Item " + std::to_string(1000 + i)).c_str());
    }
    for (int i = 1; i < 2000; ++i)
        ASSERT_EQ(names.GetObjectByName(("item " + std::to_string(i)).c_str()), &objects[i == 500 ? 2000 : i]);
}

// ---------------------------------------------------------------------------
// Object sets and the holder

namespace {

class TShape : public KObject
{
    KPLUG_CLASS_DECLARE(TShape)
public:
    explicit TShape(const char* name = "") { SetObjectName(name); }
};

class TCube : public TShape
{
    KPLUG_CLASS_DECLARE(TCube)
public:
    explicit TCube(const char* name = "") : TShape(name) {}
};

// An object whose prefix parent is a TShape.
class TPrefixed : public TShape
{
    KPLUG_CLASS_DECLARE(TPrefixed)
public:
    explicit TPrefixed(const char* name = "") : TShape(name) {}
    int GetPrefixClassId() override { return TShape::ClassId; }
};

} // namespace

KPLUG_CLASS_IMPLEMENT(TShape, KObject, "TShape")
KPLUG_CLASS_IMPLEMENT(TCube, TShape, "TCube")
KPLUG_CLASS_IMPLEMENT(TPrefixed, TShape, "TPrefixed")

TEST(ObjectSet, ClassesAndQueries)
{
    KEntity entity;
    EXPECT_TRUE(entity.Is(KEntity::ClassId));
    EXPECT_TRUE(entity.Is(KObjectSet::ClassId));
    EXPECT_TRUE(entity.Is(KPBObject::ClassId));
    EXPECT_TRUE(entity.Is(KObject::ClassId));
    EXPECT_TRUE(entity.Is(KPlug::ClassId));
    EXPECT_EQ(KPlug_GetClassId("KEntity"), KEntity::ClassId);
    EXPECT_EQ(KPlug_GetClassId("KObjectSet"), KObjectSet::ClassId);
    EXPECT_EQ(KPlug_GetClassId("KPBObject"), KPBObject::ClassId);
    EXPECT_EQ(KPlug_GetClassId("KEntityList"), KEntityList::ClassId);
    KEntityList list;
    EXPECT_TRUE(list.Is(KGenericObjectList::ClassId));

    IKObject* holder = entity.IQuery(kIPBObjectHolderId, 0);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(static_cast<IPBObjectHolder*>(holder)->GetPBHolder(), entity.GetPBHolder());
    EXPECT_EQ(entity.IQuery(0x98ABD146ul, 0), static_cast<IKObject*>(static_cast<KObject*>(&entity)));
}

TEST(ObjectSet, HolderDestroysWhatItOwns)
{
    KObject* owned = new KObject();
    KObject kept;
    HdlKObject ownedHdl(owned);
    {
        KPBObject object;
        KPBObjectHolder* holder = object.GetPBHolder();
        EXPECT_EQ(holder->GetPBObject(0), nullptr);
        holder->SetPBObject(owned, 0, true);
        holder->SetPBObject(&kept, 6, false);
        holder->SetPBObject(&kept, 7, true); // outside 0-6: ignored
        EXPECT_EQ(holder->GetPBObject(0), static_cast<IKObject*>(owned));
        EXPECT_EQ(holder->GetPBObject(6), static_cast<IKObject*>(&kept));
        EXPECT_EQ(holder->GetPBObject(7), nullptr);
    }
    EXPECT_EQ(ownedHdl.Get(), nullptr);
}

TEST(ObjectSet, MembersByClass)
{
    KObjectSet set;
    TShape shape("S");
    TCube cube("C");
    KObject plain;
    set.ConnectSrc(&shape);
    set.ConnectSrc(&cube);
    set.ConnectSrc(&plain);

    KObjectList all, shapes, exact;
    set.ListObjects(all, -1);
    set.ListObjects(shapes, TShape::ClassId);
    set.ListObjectsOfExactClassId(exact, TShape::ClassId);
    EXPECT_EQ(all.GetCount(), 3);
    ASSERT_EQ(shapes.GetCount(), 2);
    EXPECT_EQ(shapes[0].Get(), &shape);
    EXPECT_EQ(shapes[1].Get(), &cube);
    ASSERT_EQ(exact.GetCount(), 1);
    EXPECT_EQ(exact[0].Get(), &shape);

    set.RemoveExactClassId(TShape::ClassId);
    EXPECT_FALSE(set.IsConnectedSrc(&shape));
    EXPECT_TRUE(set.IsConnectedSrc(&cube));
    set.Remove(TShape::ClassId);
    EXPECT_FALSE(set.IsConnectedSrc(&cube));
    EXPECT_TRUE(set.IsConnectedSrc(&plain));

    set.AddObjectList(shapes);
    EXPECT_EQ(set.GetSrcCount(), 3);
    EXPECT_EQ(set.GetSrc(1), &shape);
    set.Clear();
    EXPECT_EQ(set.GetSrcCount(), 0);
}

// ---------------------------------------------------------------------------
// Entities

namespace {

struct EntityRecord
{
    KObject* object;
    KObject* other;
    int kind;
    int value;
};

class EntityListener : public ICallback
{
public:
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}

    void OnEntity(IRegister*, KEventBase* event)
    {
        ASSERT_EQ(event->mType, KEventEntity::eType);
        KEventEntity* record = static_cast<KEventEntity*>(event);
        mEntity.push_back({record->mObject.Get(), record->mOther.Get(), record->mKind, record->mValue});
    }
    void OnPlug(IRegister*, KEventBase* event)
    {
        ASSERT_EQ(event->mType, KEventEntityPlug::eType);
        mPlugActions.push_back(static_cast<KEventEntityPlug*>(event)->mAction);
    }
    void OnPlugData(IRegister*, KEventBase* event)
    {
        mDataTypes.push_back(event->mType);
        mDataValues.push_back(static_cast<KEventEntityPlugData*>(event)->mValue);
    }

    std::vector<int> Kinds() const
    {
        std::vector<int> kinds;
        for (const EntityRecord& r : mEntity)
            kinds.push_back(r.kind);
        return kinds;
    }

    std::vector<EntityRecord> mEntity;
    std::vector<int> mPlugActions;
    std::vector<int> mDataTypes;
    std::vector<int> mDataValues;
};

ICallbackMethod EntityMethod()
{
    return static_cast<ICallbackMethod>(&EntityListener::OnEntity);
}

ICallbackMethod PlugMethod()
{
    return static_cast<ICallbackMethod>(&EntityListener::OnPlug);
}

ICallbackMethod PlugDataMethod()
{
    return static_cast<ICallbackMethod>(&EntityListener::OnPlugData);
}

} // namespace

TEST(Entity, MembershipFollowsTheConnection)
{
    KEntity entity;
    KObject object;
    EXPECT_TRUE(entity.ConnectSrc(&object));
    EXPECT_EQ(object.GetEntity().Get(), &entity);
    EXPECT_TRUE(entity.IsMember(&object));
    // Joining again is refused.
    EXPECT_FALSE(entity.ConnectSrc(&object));
    EXPECT_EQ(entity.GetSrcCount(), 1);

    // Joining another entity leaves the first.
    KEntity second;
    EXPECT_TRUE(second.ConnectSrc(&object));
    EXPECT_EQ(object.GetEntity().Get(), &second);
    EXPECT_EQ(entity.GetSrcCount(), 0);

    // A removed member can join again.
    EXPECT_TRUE(second.RecursiveRemove(HdlKObject(&object)));
    EXPECT_TRUE(object.GetEntity().IsEmpty() || object.GetEntity().Get() == nullptr);
    EXPECT_TRUE(second.RecursiveAdd(HdlKObject(&object)));
    EXPECT_TRUE(second.IsConnectedSrc(&object));
    EXPECT_FALSE(second.RecursiveRemove(HdlKObject()));
}

TEST(Entity, RecursiveAddSkipsWhatIsInsideAndFollowsObjectSets)
{
    KEntity top;
    KEntity inner;
    top.RecursiveAdd(HdlKObject(&inner));
    KObject deep;
    inner.ConnectSrc(&deep);
    // Already inside through the nested entity: nothing is connected.
    top.RecursiveAdd(HdlKObject(&deep));
    EXPECT_FALSE(top.IsConnectedSrc(&deep));
    EXPECT_EQ(deep.GetEntity().Get(), &inner);
    top.RecursiveAdd(HdlKObject(&inner));
    EXPECT_EQ(top.GetSrcCount(), 1);

    // The members of an object set come along.
    KObjectSet set;
    KObject a, b;
    set.ConnectSrc(&a);
    set.ConnectSrc(&b);
    top.RecursiveAdd(HdlKObject(&set));
    EXPECT_EQ(top.GetSrcCount(), 4);
    EXPECT_EQ(a.GetEntity().Get(), &top);
    EXPECT_EQ(b.GetEntity().Get(), &top);
    top.RecursiveRemove(HdlKObject(&set));
    EXPECT_EQ(top.GetSrcCount(), 1);

    // Entities never contain one another.
    EXPECT_FALSE(inner.ConnectSrc(&top));
    inner.RecursiveAdd(HdlKObject(&top));
    EXPECT_FALSE(inner.IsConnectedSrc(&top));
    EXPECT_FALSE(top.ConnectSrc(&top));
}

TEST(Entity, MemberNamesAreUnique)
{
    KEntity entity;
    TShape a("Cube"), b("Cube"), c("Cube");
    entity.ConnectSrc(&a);
    entity.ConnectSrc(&b);
    entity.ConnectSrc(&c);
    EXPECT_STREQ(a.GetObjectName(), "Cube");
    EXPECT_STREQ(b.GetObjectName(), "Cube 1");
    EXPECT_STREQ(c.GetObjectName(), "Cube 2");
    // The requested name is kept.
    EXPECT_STREQ(b.GetObjectOriginalName(), "Cube");
    EXPECT_EQ(entity.FindObjectByName("Cube 1"), &b);
    EXPECT_EQ(entity.FindObjectByName("cube 2"), &c);

    // Renaming frees the old name and takes the new one.
    a.SetObjectName("Sphere");
    EXPECT_EQ(entity.FindObjectByName("Cube"), nullptr);
    EXPECT_EQ(entity.FindObjectByName("Sphere"), &a);
    b.SetObjectName("Sphere");
    EXPECT_STREQ(b.GetObjectName(), "Sphere 1");

    // A member that leaves takes its name along; one that is destroyed too.
    entity.DisconnectSrc(&c);
    EXPECT_EQ(entity.FindObjectByName("Cube 2"), nullptr);
    TShape* d = new TShape("Cone");
    entity.ConnectSrc(d);
    EXPECT_EQ(entity.FindObjectByName("Cone"), d);
    d->Destroy(0);
    EXPECT_EQ(entity.FindObjectByName("Cone"), nullptr);
    EXPECT_EQ(entity.GetSrcCount(), 2);
}

TEST(Entity, PrefixChildrenAreNamedUnderTheirParent)
{
    KEntity entity;
    TPrefixed root("Root");
    root.SetObjectPrefixName("ns");
    entity.ConnectSrc(&root);

    TPrefixed child("Arm"), twin("Arm");
    child.SetObjectPrefixName("rig");
    twin.SetObjectPrefixName("rig");
    root.ConnectSrc(&child);
    root.ConnectSrc(&twin);
    EXPECT_EQ(child.GetEntity().Get(), &entity);
    EXPECT_EQ(entity.FindObjectByName("ns:rig:Arm"), &child);
    EXPECT_EQ(entity.FindObjectByName("ns:rig:Arm 1"), &twin);
    EXPECT_STREQ(twin.GetObjectName(), "Arm 1");

    // A new prefix on the parent renames the children's entries.
    root.SetObjectPrefixName("top");
    EXPECT_EQ(entity.FindObjectByName("ns:rig:Arm"), nullptr);
    EXPECT_EQ(entity.FindObjectByName("top:rig:Arm"), &child);
    EXPECT_EQ(entity.FindObjectByName("top:rig:Arm 1"), &twin);

    // Leaving the parent takes the name out.
    root.DisconnectSrc(&child);
    EXPECT_EQ(entity.FindObjectByName("top:rig:Arm"), nullptr);
    EXPECT_TRUE(entity.IsMember(&child));
}

TEST(Entity, EventsReachTheListeners)
{
    EntityListener listener;
    KEntity entity;
    entity.EntityRegister(&listener, EntityMethod());
    KObject member;
    member.SetObjectName("M");
    entity.ConnectSrc(&member);
    ASSERT_EQ(listener.Kinds(), std::vector<int>({kEntityMemberAdded}));
    EXPECT_EQ(listener.mEntity[0].object, &entity);
    EXPECT_EQ(listener.mEntity[0].other, &member);

    listener.mEntity.clear();
    entity.ObjectTransactionBegin();
    member.HardSelect();
    member.HardSelect(); // selected again: not relayed
    entity.ObjectTransactionEnd();
    entity.SetFocus(HdlKObject(&member));
    EXPECT_EQ(listener.Kinds(),
              std::vector<int>({kEntityTransactionBegin, kEntitySelected, kEntityHardSelected, kEntityHardSelected,
                                kEntityTransactionEnd, kEntityFocusChanged}));
    EXPECT_TRUE(member.IsFocused());
    EXPECT_EQ(entity.GetFocus().Get(), &member);

    // Renames: the remove-name and add-name events raised while handling
    // the name events reach the listeners first.
    listener.mEntity.clear();
    member.SetObjectName("N");
    EXPECT_EQ(listener.Kinds(), std::vector<int>({kEntityRemoveName, kEntityNameChanging, kEntityAddName,
                                                  kEntityNameChanged}));

    // Destruction of a member disconnects it without telling the listeners of
    // the destruction itself.
    listener.mEntity.clear();
    KObject* doomed = new KObject();
    entity.ConnectSrc(doomed);
    listener.mEntity.clear();
    doomed->Destroy(0);
    for (const EntityRecord& r : listener.mEntity)
        EXPECT_NE(r.kind, kEntityDestroyed);
    EXPECT_EQ(listener.Kinds().back(), kEntityMemberRemoved);

    listener.mEntity.clear();
    entity.EntityUnregister(&listener, EntityMethod());
    entity.ObjectTransactionBegin();
    EXPECT_TRUE(listener.mEntity.empty());
}

TEST(Entity, NestedEntitiesPassEventsUp)
{
    EntityListener listener;
    KEntity top, inner;
    top.ConnectSrc(&inner);
    top.EntityRegister(&listener, EntityMethod());
    KObject deep;
    inner.ConnectSrc(&deep);
    ASSERT_FALSE(listener.mEntity.empty());
    EXPECT_EQ(listener.mEntity[0].kind, kEntityMemberAdded);
    EXPECT_EQ(listener.mEntity[0].object, &inner);
    EXPECT_EQ(listener.mEntity[0].other, &deep);
    // The inner member is not a member of the top entity: its name stays in
    // the inner table.
    EXPECT_FALSE(top.IsMember(&deep));
}

TEST(Entity, PlugNotificationsAreRelayedExceptTheDestinationSide)
{
    EntityListener listener;
    KEntity entity;
    entity.EntityPlugNotifyRegister(&listener, PlugMethod());
    KObject parent, child;
    entity.ConnectSrc(&parent);
    listener.mPlugActions.clear();
    parent.ConnectSrc(&child);
    ASSERT_FALSE(listener.mPlugActions.empty());
    for (int action : listener.mPlugActions)
        EXPECT_TRUE(action != 1 && action != 3 && action != 5 && action != 7 && action != 9) << action;

    listener.mPlugActions.clear();
    entity.EntityPlugNotify(nullptr, 5, &parent, 0, &child, 0, nullptr);
    entity.EntityPlugNotify(nullptr, 4, &parent, 0, &child, 0, nullptr);
    EXPECT_EQ(listener.mPlugActions, std::vector<int>({4}));
    entity.EntityPlugNotifyUnregister(&listener, PlugMethod());

    entity.EntityPlugDataNotifyRegister(&listener, PlugDataMethod());
    entity.EntityPlugStateNotifyRegister(&listener, PlugDataMethod());
    entity.EntityPlugDataNotify(nullptr, 20, &parent, nullptr, nullptr, 7);
    entity.EntityPlugStateNotify(nullptr, 24, &parent, nullptr, nullptr, 8);
    entity.EntityPlugStateNotify(nullptr, 9, &parent, nullptr, nullptr, 9);
    EXPECT_EQ(listener.mDataTypes, std::vector<int>({54891576, 54957145}));
    EXPECT_EQ(listener.mDataValues, std::vector<int>({7, 8}));
}

TEST(Entity, SelectionIsRebuiltFromTheMembers)
{
    KEntity entity;
    TShape a("A");
    TCube b("B");
    KObject c;
    entity.ConnectSrc(&a);
    entity.ConnectSrc(&b);
    entity.ConnectSrc(&c);
    EXPECT_EQ(entity.ObjectGetSelectedCount(-1), 0);

    c.HardSelect();
    b.HardSelect();
    EXPECT_EQ(entity.ObjectGetSelectedCount(-1), 2);
    EXPECT_EQ(entity.ObjectGetSelected(0, -1).Get(), &c); // order of selection
    EXPECT_EQ(entity.ObjectGetSelectedCount(TShape::ClassId), 1);
    EXPECT_EQ(entity.ObjectGetSelected(0, TShape::ClassId).Get(), &b);
    EXPECT_TRUE(entity.ObjectGetSelected(1, TShape::ClassId).IsEmpty());

    // Unselecting drops the list; it comes back in member order.
    a.HardSelect();
    c.SetSelectFlag(0);
    EXPECT_EQ(entity.ObjectGetSelectedCount(-1), 2);
    EXPECT_EQ(entity.ObjectGetSelected(0, -1).Get(), &a);
    EXPECT_EQ(entity.ObjectGetSelected(1, -1).Get(), &b);

    entity.ObjectSelectAll(true, &a, 0);
    EXPECT_EQ(entity.ObjectGetSelectedCount(-1), 3);
    entity.ObjectSelectAll(false, &b, 0);
    EXPECT_EQ(entity.ObjectGetSelectedCount(-1), 1);
    EXPECT_EQ(entity.ObjectGetSelected(0, -1).Get(), &b);
    // Members carrying the flags are left alone.
    a.EnableObjectFlags(0x40000);
    entity.ObjectSelectAll(true, nullptr, 0x40000);
    EXPECT_EQ(a.GetSelectFlag() & 1, 0);
    EXPECT_EQ(c.GetSelectFlag() & 1, 1);
}

TEST(Entity, CleanupDestroysUnconnectedMembers)
{
    KEntity entity;
    TShape* lonely = new TShape("L");
    TShape* busy = new TShape("B");
    KObject* other = new KObject();
    KObject child;
    entity.ConnectSrc(lonely);
    entity.ConnectSrc(busy);
    entity.ConnectSrc(other);
    busy->ConnectSrc(&child);
    HdlKObject lonelyHdl(lonely), busyHdl(busy), otherHdl(other);
    entity.CleanupIfInState(0, TShape::ClassId);
    EXPECT_EQ(lonelyHdl.Get(), nullptr);
    EXPECT_EQ(busyHdl.Get(), busy);
    EXPECT_EQ(otherHdl.Get(), other);
    EXPECT_FALSE(entity.CleanupIfInState(0, busy));
    EXPECT_FALSE(entity.CleanupIfInState(1, other));
    EXPECT_TRUE(entity.CleanupIfInState(0, other));
    EXPECT_EQ(otherHdl.Get(), nullptr);
    busy->Destroy(0);
}

TEST(Entity, ProcessWideEntities)
{
    HdlKObjectTemplate<KEntity> scene = KEntityCreate("Model::Scene");
    ASSERT_NE(scene.Get(), nullptr);
    EXPECT_STREQ(scene->GetObjectName(), "Scene");
    EXPECT_TRUE(KEntity_IsEnabled());
    EXPECT_TRUE(KEntity_Init());
    EXPECT_TRUE(KEntity_Release());
    KEntity_SetUser(scene);
    EXPECT_EQ(KEntity_GetUser().Get(), scene.Get());
    EXPECT_TRUE(Global_GeneralEntity.IsEmpty());
    scene->Destroy(0);
    EXPECT_EQ(KEntity_GetUser().Get(), nullptr);
}
