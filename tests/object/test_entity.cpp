// Entities, object sets and the unique-name table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/kclassid.h"
#include "object/kentity.h"
#include "object/kobjectset.h"
#include "object/kuniquename.h"
#include "object_test_helpers.h"

typedef std::vector<KObject*> Objects;

// ---------------------------------------------------------------------------
// Unique-name table

// Each sequence adds names to a fresh table, one object each, and gives the
// names the table answers.
TEST(UniqueNames, TakenNamesAreNumbered)
{
    typedef std::vector<std::pair<const char*, const char*>> Sequence;
    const Sequence sequences[] = {
        {{"Cube", "Cube"},
         {"Cube", "Cube 1"},
         {"Cube", "Cube 2"},
         {"  ", "Default"},
         {"  Cube  ", "Cube 3"},
         {"Cube 1", "Cube 4"}},
        // Trailing numbers count on; leading zeros are not kept, and Cube8 is taken already.
        {{"Cube7", "Cube7"}, {"Cube7", "Cube8"}, {"Cube007", "Cube007"}, {"Cube007", "Cube9"}},
        {{"Cube007", "Cube007"}, {"Cube007", "Cube8"}},
        // File-name exceptions keep their digit; they are exact-case.
        {{"a.mp3", "a.mp3"},
         {"a.mp3", "a.mp3 1"},
         {"a.mp34", "a.mp34"},
         {"a.mp34", "a.mp35"},
         {"clip.mpg2", "clip.mpg2"},
         {"clip.mpg2", "clip.mpg2 1"},
         {"b.MP3", "b.MP3"},
         {"b.MP3", "b.MP4"}},
        // "Cube" and "cube" have different byte sums: they still collide.
        {{"Cube", "Cube"}, {"cube", "cube 1"}},
        // Long numbers do not overflow.
        {{"Cube99999999999999999999", "Cube99999999999999999999"},
         {"Cube99999999999999999999", "Cube100000000000000000000"},
         {"Cube2147483647", "Cube2147483647"},
         {"Cube2147483647", "Cube2147483648"}},
    };
    for (const Sequence& sequence : sequences)
    {
        KUniqueNameObjectList names(10, 64);
        std::vector<int> objects(sequence.size());
        for (size_t i = 0; i < sequence.size(); ++i)
            EXPECT_STREQ(names.AddObject(sequence[i].first, &objects[i]), sequence[i].second)
                << sequence[0].first << " step " << i;
        EXPECT_STREQ(names.GetNameByObject(&objects.back()), sequence.back().second);
        EXPECT_EQ(names.GetObjectByName(sequence.back().second), &objects.back());
    }
}

TEST(UniqueNames, LookupSlotsAndRefusals)
{
    KUniqueNameObjectList names(10, 64);
    int a, b, c, d;
    // Names compare without regard to case.
    names.AddObject("Cube", &a);
    names.AddObject("cube", &b);
    EXPECT_EQ(names.GetObjectByName("CUBE"), &a);
    EXPECT_EQ(names.GetObjectByName("CUBE 1"), &b);
    EXPECT_EQ(names.GetNameByObject(&names), nullptr);
    names.RemoveObject("cUBE", &a);
    EXPECT_EQ(names.GetObjectByName("Cube"), nullptr);
    EXPECT_EQ(names.GetObjectByName("cube 1"), &b);
    // Removed slots are reused; trailing free slots are dropped.
    names.AddObject("Three", &c);
    EXPECT_EQ(names.GetSlotObject(0), &c);
    names.RemoveObject("Three", nullptr);
    EXPECT_EQ(names.GetSlotCount(), 2);
    EXPECT_EQ(names.GetSlotObject(0), nullptr);
    EXPECT_STREQ(names.AddObject("Four", &d), "Four");
    EXPECT_EQ(names.GetSlotObject(0), &d);
    names.RemoveObject("Cube 1", nullptr);
    names.RemoveObject("Missing", nullptr);
    EXPECT_EQ(names.GetSlotCount(), 1);
    names.ClearObject();
    EXPECT_EQ(names.GetSlotCount(), 0);
    EXPECT_EQ(names.GetObjectByName("Four"), nullptr);
    // Unusable input; a null object would read as a free slot.
    KUniqueNameObjectList empty(0, 0);
    EXPECT_EQ(empty.AddObject("", &a), nullptr);
    EXPECT_EQ(empty.AddObject(nullptr, &a), nullptr);
    EXPECT_EQ(empty.AddObject("Cube", nullptr), nullptr);
    EXPECT_EQ(empty.GetSlotCount(), 0);
    EXPECT_STREQ(empty.AddObject("Cube", &a), "Cube");
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

// One base added 100,000 times: every answer is the next number, whatever the
// table does inside as it grows; emptied newest first it ends empty.
TEST(UniqueNames, HundredThousandClashingNames)
{
    const int count = 100000;
    KUniqueNameObjectList names(10, 64);
    std::vector<char> objects(count + 1);
    ASSERT_STREQ(names.AddObject("Cube", &objects[0]), "Cube");
    for (int i = 1; i < count; ++i)
        ASSERT_STREQ(names.AddObject("cube", &objects[i]), ("cube " + std::to_string(i)).c_str());
    EXPECT_EQ(names.GetSlotCount(), count);
    for (int i = count - 1; i >= count / 2; --i)
        names.RemoveObject(("Cube " + std::to_string(i)).c_str(), nullptr);
    EXPECT_EQ(names.GetSlotCount(), count / 2);
    EXPECT_STREQ(names.AddObject("Cube", &objects[count]), "Cube 50000");
    EXPECT_EQ(names.GetSlotObject(count / 2), &objects[count]);
    EXPECT_EQ(names.GetObjectByName("CUBE 49999"), &objects[49999]);
    for (int i = count / 2; i > 0; --i)
        names.RemoveObject(("Cube " + std::to_string(i)).c_str(), nullptr);
    names.RemoveObject("Cube", nullptr);
    EXPECT_EQ(names.GetSlotCount(), 0);
    EXPECT_STREQ(names.AddObject("Cube 3", &objects[0]), "Cube 3");
    EXPECT_EQ(names.GetSlotObject(0), &objects[0]);
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
    explicit TCube(const char* name = "")
        : TShape(name)
    {}
};

// An object whose prefix parent is a TShape.
class TPrefixed : public TShape
{
    KPLUG_CLASS_DECLARE(TPrefixed)
public:
    explicit TPrefixed(const char* name = "")
        : TShape(name)
    {}
    int GetPrefixClassId() override { return TShape::ClassId; }
};

Objects Items(KObjectList& list)
{
    Objects out;
    for (int i = 0; i < list.GetCount(); ++i)
        out.push_back(list[i].Get());
    return out;
}

} // namespace

KPLUG_CLASS_IMPLEMENT(TShape, KObject, "TShape")
KPLUG_CLASS_IMPLEMENT(TCube, TShape, "TCube")
KPLUG_CLASS_IMPLEMENT(TPrefixed, TShape, "TPrefixed")

TEST(ObjectSet, ClassesAndTheHolder)
{
    KEntity entity;
    EXPECT_TRUE(entity.Is(KObjectSet::ClassId) && entity.Is(KPBObject::ClassId) && entity.Is(KObject::ClassId));
    EXPECT_TRUE(KEntityList().Is(KGenericObjectList::ClassId));
    IKObject* holder = entity.IQuery(kIPBObjectHolderId, 0);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(static_cast<IPBObjectHolder*>(holder)->GetPBHolder(), entity.GetPBHolder());
    // The holder keeps seven objects and destroys those it owns.
    KObject* owned = new KObject();
    KObject kept;
    HdlKObject ownedHdl(owned);
    {
        KPBObject object;
        KPBObjectHolder* pb = object.GetPBHolder();
        EXPECT_EQ(pb->GetPBObject(0), nullptr);
        pb->SetPBObject(owned, 0, true);
        pb->SetPBObject(&kept, 6, false);
        pb->SetPBObject(&kept, 7, true); // outside 0-6: ignored
        EXPECT_EQ(pb->GetPBObject(0), static_cast<IKObject*>(owned));
        EXPECT_EQ(pb->GetPBObject(6), static_cast<IKObject*>(&kept));
        EXPECT_EQ(pb->GetPBObject(7), nullptr);
    }
    EXPECT_EQ(ownedHdl.Get(), nullptr);
}

TEST(ObjectSet, MembersByClass)
{
    KObjectSet set;
    TShape shape("S");
    TCube cube("C");
    KObject plain;
    for (KObject* o : {static_cast<KObject*>(&shape), static_cast<KObject*>(&cube), &plain})
        set.ConnectSrc(o);
    KObjectList all, shapes, exact;
    set.ListObjects(all, -1);
    set.ListObjects(shapes, TShape::ClassId);
    set.ListObjectsOfExactClassId(exact, TShape::ClassId);
    EXPECT_EQ(all.GetCount(), 3);
    EXPECT_EQ(Items(shapes), Objects({&shape, &cube}));
    EXPECT_EQ(Items(exact), Objects({&shape}));
    set.RemoveExactClassId(TShape::ClassId);
    EXPECT_EQ(Sources(&set), std::vector<KPlug*>({&cube, &plain}));
    set.Remove(TShape::ClassId);
    EXPECT_EQ(Sources(&set), std::vector<KPlug*>({&plain}));
    set.AddObjectList(shapes);
    EXPECT_EQ(Sources(&set), std::vector<KPlug*>({&plain, &shape, &cube}));
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
};

class EntityListener : public TCallback
{
public:
    void OnEntity(IRegister*, KEventBase* event)
    {
        ASSERT_EQ(event->mType, KEventEntity::eType);
        KEventEntity* record = static_cast<KEventEntity*>(event);
        mEntity.push_back({record->mObject.Get(), record->mOther.Get(), record->mKind});
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
    std::vector<int> mPlugActions, mDataTypes, mDataValues;
};

const ICallbackMethod kEntityMethod = static_cast<ICallbackMethod>(&EntityListener::OnEntity);
const ICallbackMethod kPlugMethod = static_cast<ICallbackMethod>(&EntityListener::OnPlug);
const ICallbackMethod kPlugDataMethod = static_cast<ICallbackMethod>(&EntityListener::OnPlugData);

} // namespace

TEST(Entity, MembershipFollowsTheConnection)
{
    KEntity entity, second;
    KObject object;
    EXPECT_TRUE(entity.ConnectSrc(&object));
    EXPECT_EQ(object.GetEntity().Get(), &entity);
    EXPECT_TRUE(entity.IsMember(&object));
    EXPECT_FALSE(entity.ConnectSrc(&object)); // joining again is refused
    EXPECT_EQ(entity.GetSrcCount(), 1);
    // Joining another entity leaves the first.
    EXPECT_TRUE(second.ConnectSrc(&object));
    EXPECT_EQ(object.GetEntity().Get(), &second);
    EXPECT_EQ(entity.GetSrcCount(), 0);
    // A removed member can join again.
    EXPECT_TRUE(second.RecursiveRemove(HdlKObject(&object)));
    EXPECT_EQ(object.GetEntity().Get(), nullptr);
    EXPECT_TRUE(second.RecursiveAdd(HdlKObject(&object)));
    EXPECT_TRUE(second.IsConnectedSrc(&object));
    EXPECT_FALSE(second.RecursiveRemove(HdlKObject()));
}

TEST(Entity, RecursiveAddSkipsWhatIsInsideAndFollowsObjectSets)
{
    EntityListener listener; // outlives the entities, which tell it of their end
    KEntity top, inner;
    top.RecursiveAdd(HdlKObject(&inner));
    top.EntityRegister(&listener, kEntityMethod);
    KObject deep;
    inner.ConnectSrc(&deep);
    // The nested entity's events reach the top one's listeners...
    ASSERT_FALSE(listener.mEntity.empty());
    EXPECT_EQ(listener.mEntity[0].kind, kEntityMemberAdded);
    EXPECT_EQ(listener.mEntity[0].object, &inner);
    EXPECT_EQ(listener.mEntity[0].other, &deep);
    // ...but its member is no member of the top entity, and is not added again.
    EXPECT_FALSE(top.IsMember(&deep));
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
    for (TShape* shape : {&a, &b, &c})
        entity.ConnectSrc(shape);
    EXPECT_STREQ(a.GetObjectName(), "Cube");
    EXPECT_STREQ(b.GetObjectName(), "Cube 1");
    EXPECT_STREQ(c.GetObjectName(), "Cube 2");
    EXPECT_STREQ(b.GetObjectOriginalName(), "Cube"); // the requested name is kept
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
    TPrefixed root("Root"), child("Arm"), twin("Arm");
    root.SetObjectPrefixName("ns");
    entity.ConnectSrc(&root);
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
    entity.EntityRegister(&listener, kEntityMethod);
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
    EXPECT_EQ(listener.Kinds(), std::vector<int>({kEntityTransactionBegin, kEntitySelected, kEntityHardSelected,
                                                  kEntityHardSelected, kEntityTransactionEnd, kEntityFocusChanged}));
    EXPECT_TRUE(member.IsFocused());
    EXPECT_EQ(entity.GetFocus().Get(), &member);
    // Renames: the remove-name and add-name events raised while handling
    // the name events reach the listeners first.
    listener.mEntity.clear();
    member.SetObjectName("N");
    EXPECT_EQ(listener.Kinds(),
              std::vector<int>({kEntityRemoveName, kEntityNameChanging, kEntityAddName, kEntityNameChanged}));
    // Destruction of a member disconnects it without telling the listeners of
    // the destruction itself.
    KObject* doomed = new KObject();
    entity.ConnectSrc(doomed);
    listener.mEntity.clear();
    doomed->Destroy(0);
    for (const EntityRecord& r : listener.mEntity)
        EXPECT_NE(r.kind, kEntityDestroyed);
    EXPECT_EQ(listener.Kinds().back(), kEntityMemberRemoved);

    listener.mEntity.clear();
    entity.EntityUnregister(&listener, kEntityMethod);
    entity.ObjectTransactionBegin();
    EXPECT_TRUE(listener.mEntity.empty());
}

TEST(Entity, PlugNotificationsAreRelayedExceptTheDestinationSide)
{
    EntityListener listener;
    KEntity entity;
    entity.EntityPlugNotifyRegister(&listener, kPlugMethod);
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
    entity.EntityPlugNotifyUnregister(&listener, kPlugMethod);

    entity.EntityPlugDataNotifyRegister(&listener, kPlugDataMethod);
    entity.EntityPlugStateNotifyRegister(&listener, kPlugDataMethod);
    entity.EntityPlugDataNotify(nullptr, 20, &parent, nullptr, nullptr, 7);
    entity.EntityPlugStateNotify(nullptr, 24, &parent, nullptr, nullptr, 8);
    entity.EntityPlugStateNotify(nullptr, 9, &parent, nullptr, nullptr, 9);
    EXPECT_EQ(listener.mDataTypes, std::vector<int>({54891576, 54957145}));
    EXPECT_EQ(listener.mDataValues, std::vector<int>({7, 8}));

    // Each list lets go alone: after the data list, only state still reaches.
    entity.EntityPlugDataNotifyUnregister(&listener, kPlugDataMethod);
    entity.EntityPlugDataNotify(nullptr, 20, &parent, nullptr, nullptr, 10);
    entity.EntityPlugStateNotify(nullptr, 24, &parent, nullptr, nullptr, 11);
    EXPECT_EQ(listener.mDataValues, std::vector<int>({7, 8, 11}));
    entity.EntityPlugStateNotifyUnregister(&listener, kPlugDataMethod);
    entity.EntityPlugStateNotify(nullptr, 24, &parent, nullptr, nullptr, 12);
    EXPECT_EQ(listener.mDataValues, std::vector<int>({7, 8, 11}));
    // Unregistered from plug notifications earlier: nothing more arrives.
    listener.mPlugActions.clear();
    entity.EntityPlugNotify(nullptr, 4, &parent, 0, &child, 0, nullptr);
    EXPECT_TRUE(listener.mPlugActions.empty());
}

TEST(Entity, SelectionIsRebuiltFromTheMembers)
{
    KEntity entity;
    auto selected = [&entity](int classId) {
        Objects out;
        for (int i = 0; i < entity.ObjectGetSelectedCount(classId); ++i)
            out.push_back(entity.ObjectGetSelected(i, classId).Get());
        return out;
    };
    TShape a("A");
    TCube b("B");
    KObject c;
    for (KObject* o : {static_cast<KObject*>(&a), static_cast<KObject*>(&b), &c})
        entity.ConnectSrc(o);
    EXPECT_EQ(selected(-1), Objects());
    c.HardSelect();
    b.HardSelect();
    EXPECT_EQ(selected(-1), Objects({&c, &b})); // order of selection
    EXPECT_EQ(selected(TShape::ClassId), Objects({&b}));
    EXPECT_TRUE(entity.ObjectGetSelected(1, TShape::ClassId).IsEmpty());
    // Unselecting drops the list; it comes back in member order.
    a.HardSelect();
    c.SetSelectFlag(0);
    EXPECT_EQ(selected(-1), Objects({&a, &b}));

    entity.ObjectSelectAll(true, &a, 0);
    EXPECT_EQ(selected(-1).size(), 3u);
    entity.ObjectSelectAll(false, &b, 0);
    EXPECT_EQ(selected(-1), Objects({&b}));
    // Members carrying the flags are left alone.
    a.EnableObjectFlags(0x40000);
    entity.ObjectSelectAll(true, nullptr, 0x40000);
    EXPECT_EQ(a.GetSelectFlag() & 1, 0);
    EXPECT_EQ(c.GetSelectFlag() & 1, 1);
}

TEST(Entity, CleanupAndProcessWideEntities)
{
    KEntity entity;
    TShape* lonely = new TShape("L");
    TShape* busy = new TShape("B");
    KObject* other = new KObject();
    KObject child;
    for (KObject* o : {static_cast<KObject*>(lonely), static_cast<KObject*>(busy), other})
        entity.ConnectSrc(o);
    busy->ConnectSrc(&child);
    HdlKObject lonelyHdl(lonely), busyHdl(busy), otherHdl(other);
    // Members of the class in state 0 (connected to nothing else) are destroyed.
    entity.CleanupIfInState(0, TShape::ClassId);
    EXPECT_EQ(lonelyHdl.Get(), nullptr);
    EXPECT_TRUE(busyHdl.Get() && otherHdl.Get());
    EXPECT_FALSE(entity.CleanupIfInState(0, busy));
    EXPECT_FALSE(entity.CleanupIfInState(1, other));
    EXPECT_TRUE(entity.CleanupIfInState(0, other));
    EXPECT_EQ(otherHdl.Get(), nullptr);
    busy->Destroy(0);

    HdlKObjectTemplate<KEntity> scene = KEntityCreate("Model::Scene");
    ASSERT_NE(scene.Get(), nullptr);
    EXPECT_STREQ(scene->GetObjectName(), "Scene");
    EXPECT_TRUE(KEntity_IsEnabled() && KEntity_Init() && KEntity_Release());
    KEntity_SetUser(scene);
    EXPECT_EQ(KEntity_GetUser().Get(), scene.Get());
    EXPECT_TRUE(Global_GeneralEntity.IsEmpty());
    scene->Destroy(0);
    EXPECT_EQ(KEntity_GetUser().Get(), nullptr);
}
