// List properties, object-list properties (objects kept as connections, with
// an update id) and event properties.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/kpropertylist.h"
#include "object_test_helpers.h"

namespace {

typedef std::vector<KObject*> Objects;

Objects Items(KPropertyObjectList& list)
{
    Objects out;
    for (int i = 0; i < list.GetCount(); ++i)
        out.push_back(list.GetAt(i));
    return out;
}

std::vector<int> ContentSpec(KPropertyObjectList& list)
{
    int count = 0, classId = 0;
    list.GetContentSpec(count, classId);
    return {count, classId};
}

// An owner that may refuse the begin of a change of its lists.
class ListOwner : public TObject
{
public:
    ListOwner()
        : TObject("Owner")
    {}
    bool ObjectTreeNotify(KPlug* plug, kObjectListEvent event, const HdlKObject& handle, int index) override
    {
        mBeginCount += event == kListBeginChange;
        mEndCount += event == kListEndChange;
        if (event == kListBeginChange && mRefuseBegin)
            return false;
        return TObject::ObjectTreeNotify(plug, event, handle, index);
    }
    bool mRefuseBegin = false;
    int mBeginCount = 0;
    int mEndCount = 0;
};

// An event source that records what it is asked.
class FakeSource : public IRegister
{
public:
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}
    int Register(int eventId, ICallback* object, ICallbackMethod method, int data) override
    {
        mCalls.push_back("register " + std::to_string(eventId) + " " + std::to_string(data));
        mObject = object;
        mMethod = method;
        return 5;
    }
    int Unregister(int eventId, ICallback*, ICallbackMethod) override
    {
        mCalls.push_back("unregister " + std::to_string(eventId));
        return 6;
    }
    Log mCalls;
    ICallback* mObject = nullptr;
    ICallbackMethod mMethod = nullptr;
};

class Listener : public TCallback
{
public:
    void OnEvent(IRegister*, KEventBase*) { ++mCalls; }
    int mCalls = 0;
};

} // namespace

TEST(PropertyList, InitMarksTheListKinds)
{
    KPropertyList list;
    EXPECT_FALSE(list.IsPropertyList()); // until Init
    list.Init();
    EXPECT_TRUE(list.IsPropertyList());
    EXPECT_FALSE(list.IsPropertyObjectList());

    KPropertyObjectList objects;
    EXPECT_EQ(ContentSpec(objects), std::vector<int>({-1, -1}));
    objects.Init();
    EXPECT_TRUE(objects.IsPropertyObjectList());
    EXPECT_EQ(objects.GetAt(0), nullptr);
    EXPECT_EQ(objects.GetAt(-1), nullptr);
    EXPECT_TRUE(objects.Is(KProperty::ClassId));
    EXPECT_FALSE(objects.Is(KObject::ClassId));
}

TEST(PropertyObjectList, UpdateIdsOnTheSourceSide)
{
    KPropertyObjectList list;
    list.Init();
    TObject a("A"), c("C");
    TObject* b = new TObject("B");
    // One for the call, one for the connection notification (action 4).
    EXPECT_TRUE(list.Add(&a));
    EXPECT_EQ(list.GetUpdateID(), 2);
    EXPECT_EQ(list[0], &a);
    EXPECT_TRUE(list.Add(b));
    EXPECT_EQ(list.GetUpdateID(), 4);
    // A failed operation still counts once.
    EXPECT_FALSE(list.RemoveAt(5));
    EXPECT_EQ(list.GetUpdateID(), 5);
    // A connection made by another route counts too.
    EXPECT_TRUE(KPlug::ConnectPlug(&c, &list, kConnectionNormal));
    EXPECT_EQ(list.GetUpdateID(), 6);
    EXPECT_EQ(list.FindIndex(&c), 2);
    // Removal: the call and the disconnection (action 8).
    EXPECT_TRUE(list.Remove(&c));
    EXPECT_EQ(list.GetUpdateID(), 8);
    EXPECT_EQ(list.FindIndex(&c), -1);
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(list.GetUpdateID(), 10);
    EXPECT_EQ(Items(list), Objects({b}));
    // An object that goes away leaves the list by itself.
    b->Destroy();
    EXPECT_EQ(list.GetUpdateID(), 11);
    EXPECT_EQ(list.GetCount(), 0);
    // Entries that are not objects read as null.
    TPlug plug("P");
    EXPECT_TRUE(list.ConnectSrc(&plug));
    EXPECT_EQ(Items(list), Objects({nullptr}));
    EXPECT_EQ(list.FindIndex(nullptr), -1);
    list.DisconnectAllSrc();
}

TEST(PropertyObjectList, InsertReplaceAndClear)
{
    KPropertyObjectList list;
    list.Init();
    TObject a("A"), b("B"), c("C");
    list.Add(&a);
    list.Add(&b);
    EXPECT_TRUE(list.InsertAt(0, &c));
    EXPECT_EQ(Items(list), Objects({&c, &a, &b}));
    EXPECT_EQ(list.FindIndex(&b), 2);
    int before = list.GetUpdateID();
    EXPECT_TRUE(list.SetAt(1, &b)); // b replaces a: a list may hold an object twice
    EXPECT_GT(list.GetUpdateID(), before);
    EXPECT_EQ(Items(list), Objects({&c, &b, &b}));
    // At or past the end, SetAt connects a new entry.
    EXPECT_TRUE(list.SetAt(list.GetCount(), &a));
    EXPECT_EQ(Items(list), Objects({&c, &b, &b, &a}));
    before = list.GetUpdateID();
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_GE(list.GetUpdateID(), before + 1);
    // A list on the destination side: no source notification counts.
    KPropertyObjectList dst;
    dst.Init();
    dst.SetDirection(KPlug::eAcceptDst);
    EXPECT_TRUE(dst.Add(&a));
    EXPECT_EQ(dst.GetUpdateID(), 1);
    EXPECT_EQ(dst.GetSrcCount(), 0);
    EXPECT_TRUE(dst.InsertAt(0, &b));
    EXPECT_EQ(Items(dst), Objects({&b, &a}));
    EXPECT_EQ(dst.FindIndex(&a), 1);
    EXPECT_TRUE(dst.Remove(&b));
    EXPECT_EQ(Items(dst), Objects({&a}));
    EXPECT_EQ(dst.GetUpdateID(), 3);
    EXPECT_TRUE(dst.RemoveAt(0));
    EXPECT_EQ(dst.GetCount(), 0);
}

TEST(PropertyObjectList, CreateOnAnOwner)
{
    ListOwner* owner = new ListOwner();
    KPropertyObjectList* list =
        KPropertyObjectList::Create(owner, "Chil\"dren", 0, TObject::ClassId, 1, KPlug::eAcceptSrc, 1);
    EXPECT_EQ(owner->FindPropertyByName("Children"), list); // the double quote dropped
    EXPECT_EQ(list->GetPropertyType(), kPropertyTypeObject);
    EXPECT_TRUE(list->IsPropertyObjectList() && list->IsDynamic());
    EXPECT_EQ(list->GetPropertyFlag(), 1);
    EXPECT_EQ(list->GetDirection(), KPlug::eAcceptSrc);
    EXPECT_EQ(list->GetFilter(), KPlug_GetFilter(TObject::ClassId));
    EXPECT_EQ(ContentSpec(*list), std::vector<int>({1, TObject::ClassId}));
    EXPECT_EQ(Str(list->AsString()), "ObjectList!");
    // Only objects of the content class are accepted.
    KObject plain;
    TObject child("Child");
    EXPECT_FALSE(list->Add(&plain));
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetUpdateID(), 1);
    EXPECT_TRUE(list->Add(&child));
    // A new content class installs its filter.
    list->SetContentSpec(3, -1);
    EXPECT_EQ(list->GetFilter(), KPlug_GetFilter(-1));
    EXPECT_TRUE(list->Add(&plain));
    EXPECT_EQ(Items(*list), Objects({&child, &plain}));
    owner->Destroy(); // the list is dynamic: it goes with its owner
}

TEST(PropertyObjectList, AreEqualAndCopy)
{
    ListOwner* owner = new ListOwner();
    KPropertyObjectList* source = KPropertyObjectList::Create(owner, "Source", 0, -1, 2, KPlug::eAcceptSrc, 0);
    KPropertyObjectList* destination =
        KPropertyObjectList::Create(owner, "Destination", 0, -1, -1, KPlug::eAcceptSrc, 0);
    TObject a("A"), b("B"), c("C");
    EXPECT_TRUE(KPropertyObjectList_Abstract::AreEqual(*source, *destination)); // both empty
    source->Add(&a);
    source->Add(&b);
    destination->Add(&b);
    destination->Add(&a);
    EXPECT_FALSE(KPropertyObjectList_Abstract::AreEqual(*source, *destination)); // other order
    destination->Add(&c);
    // A refused begin of change leaves the destination as it was.
    owner->mRefuseBegin = true;
    KPropertyObjectList_Abstract::CopyPropertyList(*destination, *source);
    EXPECT_EQ(destination->GetCount(), 3);
    EXPECT_EQ(owner->mEndCount, 0);
    owner->mRefuseBegin = false;
    int begins = owner->mBeginCount;
    KPropertyObjectList_Abstract::CopyPropertyList(*destination, *source);
    EXPECT_EQ(owner->mBeginCount, begins + 1);
    EXPECT_EQ(owner->mEndCount, 1);
    EXPECT_TRUE(KPropertyObjectList_Abstract::AreEqual(*source, *destination));
    EXPECT_EQ(Items(*destination), Objects({&a, &b}));
    EXPECT_EQ(ContentSpec(*destination), std::vector<int>({2, -1}));
    owner->Destroy();
}

TEST(PropertyEvent, RegistersWithItsSource)
{
    KPropertyEvent event;
    Listener listener;
    ICallbackMethod handler = static_cast<ICallbackMethod>(&Listener::OnEvent);
    EXPECT_EQ(event.Add(&listener, handler), 0); // no source yet
    EXPECT_EQ(event.Remove(&listener, handler), 0);
    FakeSource source;
    event.Init(&source, 7, 0);
    EXPECT_EQ(event.Add(&listener, handler), 5);
    event.Init(&source, 9, 33);
    EXPECT_EQ(event.Add(&listener, handler), 5);
    EXPECT_EQ(event.Remove(&listener, handler), 6);
    EXPECT_EQ(source.mCalls, Log({"register 7 0", "register 9 33", "unregister 9"}));
    // The registered handler reaches the listener.
    EXPECT_EQ(source.mObject, &listener);
    (source.mObject->*source.mMethod)(&source, nullptr);
    EXPECT_EQ(listener.mCalls, 1);
}
