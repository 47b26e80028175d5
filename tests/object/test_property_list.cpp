// List properties, object-list properties (objects kept as connections, with
// an update id) and event properties.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/kpropertylist.h"
#include "object_test_helpers.h"

namespace {

TObject* NewObject(const std::string& name)
{
    TObject* object = new TObject(name);
    object->mRecord = false;
    return object;
}

// An owner that may refuse the begin of a change of its lists.
class ListOwner : public TObject
{
public:
    ListOwner() : TObject("Owner") { mRecord = false; }
    bool ObjectTreeNotify(KPlug* plug, kObjectListEvent event, const HdlKObject& handle, int index) override
    {
        if (event == kListBeginChange)
        {
            ++mBeginCount;
            if (mRefuseBegin)
                return false;
        }
        if (event == kListEndChange)
            ++mEndCount;
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
    int Unregister(int eventId, ICallback* object, ICallbackMethod method) override
    {
        mCalls.push_back("unregister " + std::to_string(eventId));
        mObject = object;
        mMethod = method;
        return 6;
    }
    std::vector<std::string> mCalls;
    ICallback* mObject = nullptr;
    ICallbackMethod mMethod = nullptr;
};

class Listener : public ICallback
{
public:
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}
    void OnEvent(IRegister*, KEventBase*) { ++mCalls; }
    int mCalls = 0;
};

} // namespace

TEST(PropertyList, PlainListPropertyDoesNothing)
{
    KPropertyList list;
    EXPECT_FALSE(list.IsPropertyList());
    list.Init();
    EXPECT_TRUE(list.IsPropertyList());
    EXPECT_FALSE(list.IsPropertyObjectList());
    EXPECT_TRUE(list.BeginChangeListData());
    double value = 3.0;
    list.GetListData(0, &value);
    list.SetListData(0, &value);
    list.ClearListData();
    list.EndChangeListData();
    EXPECT_EQ(value, 3.0);
}

TEST(PropertyObjectList, NewListIsEmpty)
{
    KPropertyObjectList list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetUpdateID(), 0);
    int count = 0, classId = 0;
    list.GetContentSpec(count, classId);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(classId, -1);
    EXPECT_EQ(list.GetPropertyType(), 0);
    EXPECT_FALSE(list.IsPropertyList());
    list.Init();
    EXPECT_TRUE(list.IsPropertyList());
    EXPECT_TRUE(list.IsPropertyObjectList());
    EXPECT_EQ(list.GetAt(0), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);

    // Class identity: its own class, under KProperty and KPlug.
    EXPECT_TRUE(list.Is(KPropertyObjectList::ClassId));
    EXPECT_TRUE(list.Is(KProperty::ClassId));
    EXPECT_TRUE(list.Is(KPlug::ClassId));
    EXPECT_FALSE(list.Is(KObject::ClassId));
    EXPECT_STREQ(list.GetClassIdName(), "KPropertyObjectList");
    EXPECT_EQ(list.GetClassDefinition()->mParent, &KProperty::ClassDefinition);
    EXPECT_EQ(list.GetClassGroupId(), KPlug::ClassGroupId);
    EXPECT_EQ(KPlug_GetClassId("KPropertyObjectList"), KPropertyObjectList::ClassId);
}

TEST(PropertyObjectList, UpdateIdsOnTheSourceSide)
{
    KPropertyObjectList list;
    list.Init();
    TObject* a = NewObject("A");
    TObject* b = NewObject("B");

    // One for the call, one for the connection notification (action 4).
    EXPECT_TRUE(list.Add(a));
    EXPECT_EQ(list.GetUpdateID(), 2);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0), a);
    EXPECT_EQ(list[0], a);
    EXPECT_TRUE(list.Add(b));
    EXPECT_EQ(list.GetUpdateID(), 4);

    // A failed operation still counts once.
    EXPECT_FALSE(list.RemoveAt(5));
    EXPECT_EQ(list.GetUpdateID(), 5);
    EXPECT_EQ(list.GetCount(), 2);

    // A connection made by another route counts too.
    TObject* c = NewObject("C");
    EXPECT_TRUE(KPlug::ConnectPlug(c, &list, kConnectionNormal));
    EXPECT_EQ(list.GetUpdateID(), 6);
    EXPECT_EQ(list.FindIndex(c), 2);

    // Removal: the call and the disconnection (action 8).
    EXPECT_TRUE(list.Remove(c));
    EXPECT_EQ(list.GetUpdateID(), 8);
    EXPECT_EQ(list.FindIndex(c), -1);
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(list.GetUpdateID(), 10);
    EXPECT_EQ(list.GetAt(0), b);

    // An object that goes away leaves the list by itself.
    b->Destroy();
    EXPECT_EQ(list.GetUpdateID(), 11);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
    a->Destroy();
    c->Destroy();
}

TEST(PropertyObjectList, InsertReplaceAndClear)
{
    KPropertyObjectList list;
    list.Init();
    TObject* a = NewObject("A");
    TObject* b = NewObject("B");
    TObject* c = NewObject("C");
    list.Add(a);
    list.Add(b);
    EXPECT_TRUE(list.InsertAt(0, c));
    EXPECT_EQ(list.GetAt(0), c);
    EXPECT_EQ(list.GetAt(1), a);
    EXPECT_EQ(list.FindIndex(b), 2);

    int before = list.GetUpdateID();
    EXPECT_TRUE(list.SetAt(1, b)); // b moves into a's place
    EXPECT_GT(list.GetUpdateID(), before);
    EXPECT_EQ(list.FindIndex(a), -1);
    EXPECT_EQ(list.GetAt(1), b);

    // At or past the end, SetAt connects a new entry.
    EXPECT_TRUE(list.SetAt(list.GetCount(), a));
    EXPECT_EQ(list.GetAt(list.GetCount() - 1), a);

    before = list.GetUpdateID();
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_GE(list.GetUpdateID(), before + 1);
    a->Destroy();
    b->Destroy();
    c->Destroy();
}

TEST(PropertyObjectList, DestinationSideList)
{
    KPropertyObjectList list;
    list.Init();
    list.SetDirection(KPlug::eAcceptDst);
    TObject* a = NewObject("A");
    TObject* b = NewObject("B");
    EXPECT_TRUE(list.Add(a));
    EXPECT_EQ(list.GetUpdateID(), 1); // no source notification on this side
    EXPECT_EQ(list.GetSrcCount(), 0);
    EXPECT_EQ(list.GetDstCount(), 1);
    EXPECT_TRUE(list.InsertAt(0, b));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(0), b);
    EXPECT_EQ(list.FindIndex(a), 1);
    EXPECT_TRUE(list.Remove(b));
    EXPECT_EQ(list.FindIndex(b), -1);
    EXPECT_EQ(list.GetUpdateID(), 3);
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(list.GetCount(), 0);
    a->Destroy();
    b->Destroy();
}

TEST(PropertyObjectList, EntriesThatAreNotObjectsReadAsNull)
{
    KPropertyObjectList list;
    list.Init();
    TPlug plug("P");
    plug.mRecord = false;
    EXPECT_TRUE(list.ConnectSrc(&plug));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0), nullptr);
    EXPECT_EQ(list.FindIndex(nullptr), -1);
    list.DisconnectAllSrc();
}

TEST(PropertyObjectList, CreateOnAnOwner)
{
    ListOwner* owner = new ListOwner();
    KPropertyObjectList* list =
        KPropertyObjectList::Create(owner, "Chil\"dren", 0, TObject::ClassId, 1, KPlug::eAcceptSrc, 1);
    EXPECT_EQ(owner->GetPropertyCount(), 1);
    EXPECT_EQ(owner->GetProperty(0), list);
    EXPECT_EQ(owner->FindPropertyByName("Children"), list);
    EXPECT_EQ(list->GetOwnerObject(), owner);
    EXPECT_EQ(list->GetPropertyType(), kPropertyTypeObject);
    EXPECT_STREQ(list->GetPropertyTypeName(), "object");
    EXPECT_TRUE(list->IsPropertyList());
    EXPECT_TRUE(list->IsPropertyObjectList());
    EXPECT_TRUE(list->IsDynamic());
    EXPECT_TRUE(list->GetFlag(KPropertyInfo::eNameOwned));
    EXPECT_EQ(list->GetPropertyFlag(), 1);
    EXPECT_EQ(list->GetDirection(), KPlug::eAcceptSrc);
    EXPECT_FALSE(list->IsSubPlug());
    EXPECT_EQ(list->GetFilter(), KPlug_GetFilter(TObject::ClassId));
    int count = 0, classId = 0;
    list->GetContentSpec(count, classId);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(classId, TObject::ClassId);
    EXPECT_EQ(list->GetUpdateID(), 0);
    EXPECT_EQ(list->AsString(), KString("ObjectList!"));

    // Only objects of the content class are accepted.
    KObject* plain = new KObject();
    EXPECT_FALSE(list->Add(plain));
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetUpdateID(), 1);
    TObject* child = NewObject("Child");
    EXPECT_TRUE(list->Add(child));
    EXPECT_EQ(list->GetAt(0), child);

    // A new content class installs its filter.
    list->SetContentSpec(3, -1);
    EXPECT_EQ(list->GetFilter(), KPlug_GetFilter(-1));
    EXPECT_TRUE(list->Add(plain));
    EXPECT_EQ(list->GetCount(), 2);

    owner->Destroy(); // the list is dynamic: it goes with its owner
    child->Destroy();
    plain->Destroy();
}

TEST(PropertyObjectList, AreEqualAndCopy)
{
    ListOwner* owner = new ListOwner();
    KPropertyObjectList* source = KPropertyObjectList::Create(owner, "Source", 0, -1, 2, KPlug::eAcceptSrc, 0);
    KPropertyObjectList* destination =
        KPropertyObjectList::Create(owner, "Destination", 0, -1, -1, KPlug::eAcceptSrc, 0);
    TObject* a = NewObject("A");
    TObject* b = NewObject("B");
    TObject* c = NewObject("C");
    EXPECT_TRUE(KPropertyObjectList_Abstract::AreEqual(*source, *destination)); // both empty
    source->Add(a);
    source->Add(b);
    destination->Add(b);
    destination->Add(a);
    EXPECT_FALSE(KPropertyObjectList_Abstract::AreEqual(*source, *destination)); // other order
    destination->Add(c);

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
    EXPECT_EQ(destination->GetAt(0), a);
    EXPECT_EQ(destination->GetAt(1), b);
    int count = 0, classId = 0;
    destination->GetContentSpec(count, classId);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(classId, -1);

    owner->Destroy();
    a->Destroy();
    b->Destroy();
    c->Destroy();
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
    EXPECT_EQ(source.mObject, &listener);
    EXPECT_TRUE(source.mMethod == handler);
    event.Init(&source, 9, 33);
    EXPECT_EQ(event.Add(&listener, handler), 5);
    EXPECT_EQ(event.Remove(&listener, handler), 6);
    std::vector<std::string> expected = {"register 7 0", "register 9 33", "unregister 9"};
    EXPECT_EQ(source.mCalls, expected);

    // The registered handler reaches the listener.
    (source.mObject->*source.mMethod)(&source, nullptr);
    EXPECT_EQ(listener.mCalls, 1);
}

TEST(PlugList, ReadsSourcesAsItems)
{
    KPlugListTemplate<KProperty> list;
    KPropertyTemplate<double> a, b;
    TPlug plain("P");
    plain.mRecord = false;
    list.ConnectSrc(&a);
    list.ConnectSrc(&plain);
    list.ConnectSrc(&b);
    EXPECT_EQ(list.Get(2), &b);
    EXPECT_EQ(list.Get(0, -1), &a);
    EXPECT_EQ(list.Get(1, KProperty::ClassId), &b); // the property view skips the plain plug
    EXPECT_TRUE(list.Is(KPlugList::ClassId));
    EXPECT_TRUE(list.Is(KPlug::ClassId));
    EXPECT_STREQ(list.GetClassIdName(), "KPlugList");
    list.DisconnectAllSrc();
}
