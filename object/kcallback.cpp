#include "object/kcallback.h"

#include "base/kset.h"
#include "object/kregistrylock.h"

// A walk keeps its stack item on the walker's stack and links it into the
// list for the length of the walk; it is unlinked before the walk returns.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

RegisterEntryList::RegisterEntryList()
    : mEntries(16)
{}

RegisterEntryList::~RegisterEntryList()
{
    RemoveAll();
    for (KCallbackIteratorStackItem* item = mTop; item; item = item->mPrevious)
        item->mList = nullptr;
    mTop = nullptr;
}

void RegisterEntryList::FreeEntry(RegisterEntry* entry)
{
    if (entry->mOwnsEvent)
        delete entry->mEvent;
    delete entry;
}

void RegisterEntryList::InsertFirst(RegisterEntry* entry)
{
    mEntries.InsertAt(0, entry);
    // Walks already running neither call the new entry nor lose one of theirs.
    for (KCallbackIteratorStackItem* item = mTop; item; item = item->mPrevious)
    {
        ++item->mIndex;
        ++item->mLowerBound;
    }
}

void RegisterEntryList::RemoveIndex(int index)
{
    mEntries.RemoveAt(index);
    for (KCallbackIteratorStackItem* item = mTop; item; item = item->mPrevious)
    {
        if (item->mIndex > index)
            --item->mIndex;
        if (item->mLowerBound > index)
            --item->mLowerBound;
    }
}

int RegisterEntryList::Add(ICallback* object, ICallbackMethod method, KEventBase* event)
{
    InsertFirst(new RegisterEntry{object, method, event, kCallbackAllEvents});
    return 0;
}

void RegisterEntryList::MarkFirstEventOwned()
{
    if (mEntries.GetCount() > 0)
        mEntries[0]->mOwnsEvent = true;
}

int RegisterEntryList::Add(ICallback* object, ICallbackMethod method, int mask)
{
    InsertFirst(new RegisterEntry{object, method, nullptr, mask});
    return 0;
}

int RegisterEntryList::Remove(ICallback* object, ICallbackMethod method)
{
    for (int i = 0; i < mEntries.GetCount(); ++i)
    {
        RegisterEntry* entry = mEntries[i];
        if (entry->mObject == object && entry->mMethod == method)
        {
            RemoveIndex(i);
            FreeEntry(entry);
            return 0;
        }
    }
    return 1;
}

void RegisterEntryList::RemoveAll()
{
    // Detach the entries first: freeing an event may run code that looks at the list.
    KArrayTemplate<RegisterEntry*> entries(mEntries);
    mEntries.Clear();
    for (KCallbackIteratorStackItem* item = mTop; item; item = item->mPrevious)
    {
        item->mIndex = 0;
        item->mLowerBound = 0;
    }
    for (int i = 0; i < entries.GetCount(); ++i)
        FreeEntry(entries[i]);
}

int RegisterEntryList::Walk(IRegister* sender, KEventBase* event, bool useMask, int mask)
{
    KCallbackIteratorStackItem item{mTop, this, mEntries.GetCount() - 1, 0};
    mTop = &item;
    while (item.mList && item.mIndex >= item.mLowerBound)
    {
        // The item's fields are read again on every turn: callbacks move them.
        if (item.mIndex < mEntries.GetCount())
        {
            RegisterEntry* entry = mEntries[item.mIndex];
            if (!useMask || (entry->mMask & mask) != 0)
            {
                ICallback* object = entry->mObject;
                ICallbackMethod method = entry->mMethod;
                (object->*method)(sender, event);
                if (!item.mList)
                    break; // the list was destroyed by the callback
                if (!useMask && event && event->mConsumed)
                    break;
            }
        }
        --item.mIndex;
    }
    if (item.mList)
        mTop = item.mPrevious;
    return 0;
}

int RegisterEntryList::Call(IRegister* sender, KEventBase* event)
{
    return Walk(sender, event, false, 0);
}

int RegisterEntryList::Call(IRegister* sender, KEventBase* event, int mask)
{
    return Walk(sender, event, true, mask);
}

int RegisterEntryList::CallEventOnceThenRemove()
{
    KCallbackIteratorStackItem item{mTop, this, 0, 0};
    mTop = &item;
    while (item.mList && mEntries.GetCount() > 0)
    {
        RegisterEntry* entry = mEntries[0];
        RemoveIndex(0);
        ICallback* object = entry->mObject;
        ICallbackMethod method = entry->mMethod;
        (object->*method)(nullptr, entry->mEvent);
        // A drained entry's event is done with, whoever made it.
        entry->mOwnsEvent = true;
        FreeEntry(entry);
    }
    if (item.mList)
    {
        mTop = item.mPrevious;
        // The list is empty: every outer walk is over.
        for (KCallbackIteratorStackItem* outer = mTop; outer; outer = outer->mPrevious)
        {
            outer->mIndex = 0;
            outer->mLowerBound = 0;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Process-wide events

namespace {

struct KEventGlobals
{
    RegisterEntryList* mEventList = nullptr;
    bool mEventListMayCreate = true;
    KCharPtrSet* mNamedEvents = nullptr;
    bool mNamedEventsMayCreate = true;
    KArrayTemplate<KGlobalCallbackRecord*>* mCallbacks = nullptr;
    bool mCallbacksMayCreate = true;
};

KEventGlobals& Globals()
{
    static KEventGlobals globals;
    return globals;
}

// Named events are registered, called and dropped from any thread, and even
// a lookup changes the table (it sorts what was added since the last one):
// every use of the table and of its lists holds this lock. A callback runs
// under it and may register or call named events in turn.
std::mutex gNamedEventLock;
thread_local int tNamedEventLockDepth = 0;

KRegistryLock LockNamedEvents()
{
    return KRegistryLock(gNamedEventLock, tNamedEventLockDepth);
}

// The list of a name; the caller holds the lock.
RegisterEntryList* NamedList(const char* name)
{
    KCharPtrSet* table = GetGlobalNamedEventList();
    if (!table)
        return nullptr;
    return reinterpret_cast<RegisterEntryList*>(table->Get(name));
}

bool gDisplayEvaluateInfoInitialised = false;

} // namespace

KEvaluateInfo GlobalDisplayEvaluateInfo;

RegisterEntryList* GetGlobalEventList()
{
    KEventGlobals& g = Globals();
    if (!g.mEventList && g.mEventListMayCreate)
    {
        g.mEventList = new RegisterEntryList();
        g.mEventListMayCreate = false;
    }
    return g.mEventList;
}

KCharPtrSet* GetGlobalNamedEventList()
{
    auto lock = LockNamedEvents();
    KEventGlobals& g = Globals();
    if (!g.mNamedEvents && g.mNamedEventsMayCreate)
    {
        g.mNamedEvents = new KCharPtrSet(20);
        g.mNamedEventsMayCreate = false;
    }
    return g.mNamedEvents;
}

KArrayTemplate<KGlobalCallbackRecord*>* GetGlobalCallbackList()
{
    KEventGlobals& g = Globals();
    if (!g.mCallbacks && g.mCallbacksMayCreate)
    {
        g.mCallbacks = new KArrayTemplate<KGlobalCallbackRecord*>(16);
        g.mCallbacksMayCreate = false;
    }
    return g.mCallbacks;
}

void GlobalEventAdd(ICallback* object, ICallbackMethod method, void* data, unsigned int value)
{
    RegisterEntryList* list = GetGlobalEventList();
    if (list)
    {
        list->Add(object, method, static_cast<KEventBase*>(new KEventGlobal(data, value)));
        list->MarkFirstEventOwned();
    }
}

void GlobalEventAdd(void (*function)(void*), void* data)
{
    KArrayTemplate<KGlobalCallbackRecord*>* list = GetGlobalCallbackList();
    if (list)
        list->Add(new KGlobalCallbackRecord{data, function});
}

void GlobalEventCall()
{
    RegisterEntryList* events = GetGlobalEventList();
    if (events && events->GetCount() > 0)
        events->CallEventOnceThenRemove();
    // The list is looked up again each turn: a call may destroy the globals.
    for (;;)
    {
        KArrayTemplate<KGlobalCallbackRecord*>* calls = GetGlobalCallbackList();
        if (!calls || calls->GetCount() == 0)
            break;
        KGlobalCallbackRecord* record = calls->RemoveLast();
        if (record->mFunction)
            record->mFunction(record->mData);
        delete record;
    }
}

int GlobalNamedEventAdd(const char* name)
{
    auto lock = LockNamedEvents();
    KCharPtrSet* table = GetGlobalNamedEventList();
    if (!table)
        return 0;
    table->Add(name, reinterpret_cast<kReference>(new RegisterEntryList()));
    return 1;
}

int GlobalNamedEventCall(const char* name, IRegister* sender, KEventBase* event)
{
    auto lock = LockNamedEvents();
    RegisterEntryList* list = NamedList(name);
    if (!list)
        return 0;
    list->Call(sender, event);
    return 1;
}

int GlobalNamedEventRemove(const char* name)
{
    auto lock = LockNamedEvents();
    KCharPtrSet* table = GetGlobalNamedEventList();
    if (!table)
        return 0;
    int index = -1;
    RegisterEntryList* list = reinterpret_cast<RegisterEntryList*>(table->Get(name, &index));
    if (!list)
        return 0;
    table->RemoveFromIndex(index);
    delete list;
    return 1;
}

int GlobalNamedEventClear()
{
    auto lock = LockNamedEvents();
    KCharPtrSet* table = GetGlobalNamedEventList();
    if (!table)
        return 0;
    // Take the lists out first: destroying one may run callbacks.
    KArrayTemplate<RegisterEntryList*> lists(16);
    for (int i = 0; i < table->GetCount(); ++i)
        lists.Add(reinterpret_cast<RegisterEntryList*>(table->GetFromIndex(i)));
    table->Clear();
    for (int i = 0; i < lists.GetCount(); ++i)
        delete lists[i];
    return 0;
}

void DestroyKEventGlobals()
{
    KEventGlobals& g = Globals();
    {
        auto lock = LockNamedEvents();
        if (g.mNamedEvents)
        {
            GlobalNamedEventClear();
            delete g.mNamedEvents;
            g.mNamedEvents = nullptr;
        }
        g.mNamedEventsMayCreate = false;
    }
    if (g.mEventList)
    {
        RegisterEntryList* list = g.mEventList;
        g.mEventList = nullptr;
        delete list;
    }
    g.mEventListMayCreate = false;
    if (g.mCallbacks)
    {
        KArrayTemplate<KGlobalCallbackRecord*>* calls = g.mCallbacks;
        g.mCallbacks = nullptr;
        for (int i = 0; i < calls->GetCount(); ++i)
            delete (*calls)[i];
        delete calls;
    }
    g.mCallbacksMayCreate = false;
}

KGlobalNamedEvent::KGlobalNamedEvent() {}

KGlobalNamedEvent::~KGlobalNamedEvent()
{
    Unregister();
}

bool KGlobalNamedEvent::Register(const char* name, ICallback* object, ICallbackMethod method)
{
    auto lock = LockNamedEvents();
    if (!GetGlobalNamedEventList())
        return false;
    RegisterEntryList* list = NamedList(name);
    if (!list)
    {
        GlobalNamedEventAdd(name);
        list = NamedList(name);
        if (!list)
            return false;
    }
    mName = name;
    mObject = object;
    mMethod = method;
    list->Add(object, method, kCallbackAllEvents);
    return true;
}

bool KGlobalNamedEvent::Unregister()
{
    auto lock = LockNamedEvents();
    if (!mMethod)
        return false;
    RegisterEntryList* list = NamedList(mName);
    if (!list)
        return false;
    list->Remove(mObject, mMethod);
    if (list->GetCount() == 0)
        GlobalNamedEventRemove(mName);
    mMethod = nullptr;
    return true;
}

IKObject* IQUERYFNC(IKObject* object, unsigned long interfaceId, int flags)
{
    return object ? object->IQuery(interfaceId, flags) : nullptr;
}

void SetDisplayEvaluateInfo(KEvaluateInfo* info)
{
    if (info)
        GlobalDisplayEvaluateInfo = *info;
    gDisplayEvaluateInfoInitialised = true;
}

bool IsDisplayEvaluateInfoInitialised()
{
    return gDisplayEvaluateInfoInitialised;
}
