#include "object/kpropertylist.h"

KPLUG_CLASS_IMPLEMENT(KPropertyObjectList, KProperty, "KPropertyObjectList")

// ---------------------------------------------------------------------------
// List property

void KPropertyList::Init(KPropertyInfo*)
{
    if (!GetFlag(KPropertyInfo::eList))
        EditInfo().ModifyFlag(KPropertyInfo::eList, true);
}

void KPropertyList::GetListData(int, void*) {}

void KPropertyList::SetListData(int, void*) {}

void KPropertyList::ClearListData() {}

bool KPropertyList::BeginChangeListData()
{
    return true;
}

void KPropertyList::EndChangeListData() {}

// ---------------------------------------------------------------------------
// Object lists through their common interface

bool KPropertyObjectList_Abstract::AreEqual(KPropertyObjectList_Abstract& a, KPropertyObjectList_Abstract& b)
{
    int count = a.GetCount();
    if (count != b.GetCount())
        return false;
    for (int i = 0; i < count; ++i)
        if (a.GetAt(i) != b.GetAt(i))
            return false;
    return true;
}

void KPropertyObjectList_Abstract::CopyPropertyList(KPropertyObjectList_Abstract& destination,
                                                    KPropertyObjectList_Abstract& source)
{
    int count = source.GetCount();
    if (!destination.BeginChange())
        return;
    destination.Clear();
    CopyContentSpec(destination, source);
    for (int i = 0; i < count; ++i)
        destination.Add(source.GetAt(i));
    destination.EndChange();
}

void KPropertyObjectList_Abstract::CopyContentSpec(KPropertyObjectList_Abstract& destination,
                                                   KPropertyObjectList_Abstract& source)
{
    int count = -1;
    int classId = -1;
    source.GetContentSpec(count, classId);
    destination.SetContentSpec(count, classId);
}

// ---------------------------------------------------------------------------
// Object list

KPropertyObjectList::KPropertyObjectList() {}

KPropertyObjectList* KPropertyObjectList::Create(KObject* owner, const char* name, KPlug::kType type, int classId,
                                                 int count, KPlug::kDirection direction, kPropertyFlag flags)
{
    KPropertyObjectList* list = new KPropertyObjectList();
    list->SetPropertyFlag(flags);
    list->Init(nullptr);
    list->SetPropertyInfo(name, owner, nullptr, nullptr);
    list->SetContentSpec(count, classId);
    list->SetFilter(KPlug_GetFilter(classId), type);
    list->SetDirection(direction);
    list->SetPropertyInfo(name, kPropertyTypeObject);
    list->EditInfo().SetAllocatedName(name);
    list->EditInfo().ModifyFlag(KPropertyInfo::eDynamic, true);
    if (owner)
        owner->PropertyAddToList(list);
    return list;
}

void KPropertyObjectList::Init(KPropertyInfo*)
{
    const KPropertyInfo::kFlags lists = KPropertyInfo::eList | KPropertyInfo::eObjectList;
    if ((mInfo->mFlags & lists) != lists)
        EditInfo().ModifyFlag(lists, true);
}

int KPropertyObjectList::GetCount()
{
    return ListCount();
}

KObject* KPropertyObjectList::GetAt(int index)
{
    if (index < 0 || index >= ListCount())
        return nullptr;
    KPlug* plug = ListPlug(index);
    return (plug && plug->Is(KObject::ClassId)) ? static_cast<KObject*>(plug) : nullptr;
}

bool KPropertyObjectList::Add(KObject* object)
{
    IncrementUpdateID();
    return IsSourceSide() ? ConnectSrc(object, kConnectionNormal) : ConnectDst(object, kConnectionNormal);
}

bool KPropertyObjectList::SetAt(int index, KObject* object)
{
    IncrementUpdateID();
    return IsSourceSide() ? ReplaceSrcAt(index, object) : ReplaceDstAt(index, object);
}

bool KPropertyObjectList::RemoveAt(int index)
{
    IncrementUpdateID();
    return IsSourceSide() ? DisconnectSrcAt(index) : DisconnectDstAt(index);
}

bool KPropertyObjectList::InsertAt(int index, KObject* object)
{
    IncrementUpdateID();
    return IsSourceSide() ? ConnectSrcAt(index, object, kConnectionNormal)
                          : ConnectDstAt(index, object, kConnectionNormal);
}

bool KPropertyObjectList::Remove(KObject* object)
{
    IncrementUpdateID();
    return IsSourceSide() ? DisconnectSrc(object) : DisconnectDst(object);
}

void KPropertyObjectList::Clear()
{
    IncrementUpdateID();
    if (IsSourceSide())
        DisconnectAllSrc();
    else
        DisconnectAllDst();
}

void KPropertyObjectList::SetContentSpec(int count, int classId)
{
    mContentCount = count;
    mContentClassId = classId;
    SetFilter(KPlug_GetFilter(classId), GetPlugFlags() & eSubPlug);
}

void KPropertyObjectList::GetContentSpec(int& count, int& classId)
{
    count = mContentCount;
    classId = mContentClassId;
}

int KPropertyObjectList::FindIndex(KObject* object)
{
    for (int i = 0, n = ListCount(); i < n; ++i)
    {
        KPlug* plug = ListPlug(i);
        if (plug && plug->Is(KObject::ClassId) && static_cast<KObject*>(plug) == object)
            return i;
    }
    return -1;
}

bool KPropertyObjectList::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index,
                                     KPlug* other, kConnectionType type, KPlug* extra)
{
    if (plug == this && (action == kPlugSrcConnected || action == kPlugSrcDisconnected))
        IncrementUpdateID();
    return KPropertyObjectList_Abstract::PlugNotify(callstack, action, plug, index, other, type, extra);
}

void KPropertyObjectList::GetData(void*, int, KEvaluateInfo*, KWorldState*) {}

void KPropertyObjectList::SetData(void*, int, KEvaluateInfo*, KWorldState*) {}

// ---------------------------------------------------------------------------
// Event property

KPropertyEvent::KPropertyEvent() {}

void KPropertyEvent::Init(IRegister* source, int eventId, int data)
{
    mSource = source;
    mEventId = eventId;
    mData = data;
}

int KPropertyEvent::Add(ICallback* listener, ICallbackMethod handler)
{
    if (!mSource)
        return 0;
    return mSource->Register(mEventId, listener, handler, mData);
}

int KPropertyEvent::Remove(ICallback* listener, ICallbackMethod handler)
{
    if (!mSource)
        return 0;
    return mSource->Unregister(mEventId, listener, handler);
}
