#ifndef QOX_OBJECT_KCALLBACK_H
#define QOX_OBJECT_KCALLBACK_H

// Root interfaces of the object model, callback lists and the process-wide
// events.
//
// A callback is a member function of an ICallback object, held as a real C++
// pointer to member and called with the sender and an event record. A
// RegisterEntryList keeps callbacks and stays safe to walk while the callbacks
// it calls add or remove entries, call the list again, or destroy it: every
// running walk keeps an item on the walker's stack that the list adjusts.

#include "base/karray.h"
#include "base/kstring.h"

// Interface ids answered by IQuery.
enum
{
    kIKObjectId = 0,
    kICallbackId = 2,
    kIRegisterId = 3,
    kIProgressId = 12,
    kIPBObjectHolderId = 51
};

// Root interface of the object model.
class IKObject
{
public:
    virtual ~IKObject() {}
    virtual IKObject* IQuery(unsigned long interfaceId, int flags) = 0;
    virtual void Destroy(int local = 0) = 0;
};

class IRegister;
class KEventBase;

// An object whose member functions can be called back.
class ICallback : public IKObject
{};

// A callback: a member function of an ICallback object. A member function of a
// class derived from ICallback is converted with static_cast.
typedef void (ICallback::*ICallbackMethod)(IRegister* sender, KEventBase* event);

// An event source.
class IRegister : public IKObject
{
public:
    virtual int Register(int eventId, ICallback* object, ICallbackMethod method, int data) = 0;
    virtual int Unregister(int eventId, ICallback* object, ICallbackMethod method) = 0;
};

// The event record passed to callbacks. A callback that sets the consumed flag
// stops the running Call.
class KEventBase
{
public:
    explicit KEventBase(int type = 0)
        : mType(type)
        , mConsumed(false)
    {}
    virtual ~KEventBase() {}

    int mType;
    bool mConsumed;
};

// Deferred event of the global event list.
class KEventGlobal : public KEventBase
{
public:
    enum
    {
        eType = 512
    };
    KEventGlobal(void* data, unsigned int value)
        : KEventBase(eType)
        , mData(data)
        , mValue(value)
    {}

    void* mData;
    unsigned int mValue;
};

// Event mask of an entry registered without one.
const int kCallbackAllEvents = 0x7FFFFFFF;

// One callback of a list. The event is owned by the entry (deferred events only).
struct RegisterEntry
{
    ICallback* mObject;
    ICallbackMethod mMethod;
    KEventBase* mEvent;
    int mMask;
    // True for a deferred event made by GlobalEventAdd: the entry frees it
    // even when it is removed without being called. An event handed to Add
    // by a caller stays the caller's.
    bool mOwnsEvent = false;
};

class RegisterEntryList
{
public:
    // One running walk of a list; lives on the walker's stack.
    struct KCallbackIteratorStackItem
    {
        KCallbackIteratorStackItem* mPrevious; // the walk that was running when this one began
        RegisterEntryList* mList;              // null once the list is destroyed
        int mIndex;                            // entry being called
        int mLowerBound;                       // the walk goes down to this index
    };

    RegisterEntryList();
    // RemoveAll, then every running walk of this list is orphaned.
    ~RegisterEntryList();

    RegisterEntryList(const RegisterEntryList&) = delete;
    RegisterEntryList& operator=(const RegisterEntryList&) = delete;

    // New entry at index 0 (newest first) carrying the event, which stays the
    // caller's unless the entry is drained by CallEventOnceThenRemove. 0.
    int Add(ICallback* object, ICallbackMethod method, KEventBase* event);
    // Makes the entry at index 0 own its event (for deferred events).
    void MarkFirstEventOwned();
    // New entry at index 0 with an event mask. 0.
    int Add(ICallback* object, ICallbackMethod method, int mask);
    // Removes the first matching entry from index 0 up: 0, or 1 when none matched.
    int Remove(ICallback* object, ICallbackMethod method);
    // Removes every entry; running walks end after their current callback.
    void RemoveAll();
    // Calls every entry, oldest first; stops after a callback that sets the
    // event's consumed flag. 0.
    int Call(IRegister* sender, KEventBase* event);
    // Calls the entries whose mask shares a bit with mask; the consumed flag
    // is not looked at. 0.
    int Call(IRegister* sender, KEventBase* event, int mask);
    // Takes out the newest entry, calls it with its own event and frees both,
    // until the list is empty (entries added meanwhile are run too). 0.
    int CallEventOnceThenRemove();

    int GetCount() const { return mEntries.GetCount(); }

private:
    void InsertFirst(RegisterEntry* entry);
    void RemoveIndex(int index);
    static void FreeEntry(RegisterEntry* entry);
    int Walk(IRegister* sender, KEventBase* event, bool useMask, int mask);

    KArrayTemplate<RegisterEntry*> mEntries;
    KCallbackIteratorStackItem* mTop = nullptr;
};

// Process-wide events. Each global is created on first use and at most once
// in the life of the process: after DestroyKEventGlobals the getters answer
// null and the operations do nothing.
RegisterEntryList* GetGlobalEventList();
class KCharPtrSet;
// The named event table. The functions below use it under a lock of their
// own, from any thread; the table itself is for the thread that alone uses it.
KCharPtrSet* GetGlobalNamedEventList();
struct KGlobalCallbackRecord
{
    void* mData;
    void (*mFunction)(void*);
};
KArrayTemplate<KGlobalCallbackRecord*>* GetGlobalCallbackList();

// Queues a deferred event { 512, data, value } for the callback.
void GlobalEventAdd(ICallback* object, ICallbackMethod method, void* data, unsigned int value);
// Queues a plain deferred call.
void GlobalEventAdd(void (*function)(void*), void* data);
// Runs the deferred events (newest first), then the plain calls (last added first).
void GlobalEventCall();
// Adds an empty list under name. 1 (0 when the table no longer exists).
int GlobalNamedEventAdd(const char* name);
// Calls the list of name: 1, or 0 when the name is not registered.
int GlobalNamedEventCall(const char* name, IRegister* sender, KEventBase* event);
// Removes the name and destroys its list: 1, or 0 when not registered.
int GlobalNamedEventRemove(const char* name);
// Destroys every named list. 0.
int GlobalNamedEventClear();
void DestroyKEventGlobals();

// Registration of one callback with a named global event.
class KGlobalNamedEvent
{
public:
    KGlobalNamedEvent();
    ~KGlobalNamedEvent();

    KGlobalNamedEvent(const KGlobalNamedEvent&) = delete;
    KGlobalNamedEvent& operator=(const KGlobalNamedEvent&) = delete;

    bool Register(const char* name, ICallback* object, ICallbackMethod method);
    bool Unregister();

private:
    KString mName;
    ICallback* mObject = nullptr;
    ICallbackMethod mMethod = nullptr;
};

// The object's IQuery, or null for a null object.
IKObject* IQUERYFNC(IKObject* object, unsigned long interfaceId, int flags);

// Evaluation information: which state block an evaluation uses.
struct KEvaluateInfo
{
    int mReserved[17] = {};
    int mEvaluationStamp = -1;
    int mStateIndex = 0;
    int mSourceStateIndex = 1;
    int mField1 = 1;
    int mField2[4] = {};
    bool mFlag1 = false;
    int mField3 = 255;
    int mField4 = 0;
    bool mFlag2 = false;
};

// The evaluation information used when none is given.
extern KEvaluateInfo GlobalDisplayEvaluateInfo;
void SetDisplayEvaluateInfo(KEvaluateInfo* info);
bool IsDisplayEvaluateInfoInitialised();

#endif
