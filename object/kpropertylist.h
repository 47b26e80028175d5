#ifndef QOX_OBJECT_KPROPERTYLIST_H
#define QOX_OBJECT_KPROPERTYLIST_H

// Properties that carry more than one plain value.
//
// KPropertyList is the base of properties whose value is a sequence.
// KPropertyObjectList holds an ordered list of objects kept as the property's
// connections (its sources when the plug accepts sources, else its
// destinations), so that a destroyed object leaves every list by itself and
// reordering is a connection move; an update id that only grows tells
// observers that the list changed. KPropertyEvent makes an event source
// reachable through a property. (The plug list, KPlugListTemplate, lives with
// the plugs.)

#include "object/kproperty.h"

class KPropertyList : public KProperty
{
public:
    // Sets descriptor flag 4 (list); the argument is not used.
    void Init(KPropertyInfo* info = nullptr);

    // The list operations of a plain list property do nothing.
    virtual void GetListData(int index, void* out);
    virtual void SetListData(int index, void* in);
    virtual void ClearListData();
    // True.
    virtual bool BeginChangeListData();
    virtual void EndChangeListData();
};

class KPropertyObjectList_Abstract : public KPropertyList
{
public:
    virtual int GetCount() = 0;
    virtual KObject* GetAt(int index) = 0;
    virtual bool Add(KObject* object) = 0;
    virtual bool SetAt(int index, KObject* object) = 0;
    virtual bool RemoveAt(int index) = 0;
    virtual bool InsertAt(int index, KObject* object) = 0;
    virtual bool Remove(KObject* object) = 0;
    virtual void Clear() = 0;
    virtual int GetUpdateID() = 0;
    virtual void IncrementUpdateID() = 0;
    virtual void SetContentSpec(int count, int classId) = 0;
    virtual void GetContentSpec(int& count, int& classId) = 0;
    virtual int FindIndex(KObject* object) = 0;

    // Same count and the same object at every position.
    static bool AreEqual(KPropertyObjectList_Abstract& a, KPropertyObjectList_Abstract& b);
    // Makes destination hold source's objects, content class and count,
    // inside one BeginChange/EndChange; nothing when BeginChange refuses.
    static void CopyPropertyList(KPropertyObjectList_Abstract& destination, KPropertyObjectList_Abstract& source);
    static void CopyContentSpec(KPropertyObjectList_Abstract& destination, KPropertyObjectList_Abstract& source);
};

class KPropertyObjectList : public KPropertyObjectList_Abstract
{
    KPLUG_CLASS_DECLARE(KPropertyObjectList)
public:
    // Empty: any class (-1), count -1, update id 0, kind 0, no list flags.
    KPropertyObjectList();

    // A new object list on owner: kind 9 ("object"), flags list, object list
    // and dynamic, an owned copy of the name, the filter of classId with the
    // sub-plug type, the given direction and own flags; added to the owner's
    // property list.
    static KPropertyObjectList* Create(KObject* owner, const char* name, KPlug::kType type, int classId, int count,
                                       KPlug::kDirection direction, kPropertyFlag flags);

    // Sets descriptor flags 4 (list) and 8 (object list).
    void Init(KPropertyInfo* info = nullptr);

    // The list side's connection count.
    int GetCount() override;
    // The object at a position, or null when its plug is gone, is not an
    // object, or the position is outside the list.
    KObject* GetAt(int index) override;
    KObject* operator[](int index) { return GetAt(index); }
    // Each change raises the update id first (even when it then fails), then
    // connects or disconnects on the list side.
    bool Add(KObject* object) override;
    bool SetAt(int index, KObject* object) override;
    bool RemoveAt(int index) override;
    bool InsertAt(int index, KObject* object) override;
    bool Remove(KObject* object) override;
    void Clear() override;
    int GetUpdateID() override { return mUpdateId; }
    void IncrementUpdateID() override { ++mUpdateId; }
    // Stores both, then installs the class's plug filter, keeping the
    // sub-plug type bit.
    void SetContentSpec(int count, int classId) override;
    void GetContentSpec(int& count, int& classId) override;
    // First position holding the object, or -1.
    int FindIndex(KObject* object) override;

    // A source connected to or disconnected from this list raises the update
    // id, whatever route made the change.
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;

    // The value of an object list is its connections: nothing to copy.
    void GetData(void* out, int index, KEvaluateInfo* info, KWorldState* state) override;
    void SetData(void* in, int index, KEvaluateInfo* info, KWorldState* state) override;

private:
    // True when the objects are the sources (direction bit 1).
    bool IsSourceSide() const { return (GetDirection() & eAcceptSrc) != 0; }
    int ListCount() const { return IsSourceSide() ? GetSrcCount() : GetDstCount(); }
    KPlug* ListPlug(int index) const { return IsSourceSide() ? GetSrc(index) : GetDst(index); }

    int mContentClassId = -1;
    int mContentCount = -1;
    int mUpdateId = 0;
};

class KPropertyEvent : public KProperty
{
public:
    // No source, event id 0, extra value 0.
    KPropertyEvent();

    void Init(IRegister* source, int eventId, int data);
    // Registers the callback with the source under the event id and extra
    // value; 0 without a source, else the source's answer.
    int Add(ICallback* listener, ICallbackMethod handler);
    // Unregisters it; 0 without a source, else the source's answer.
    int Remove(ICallback* listener, ICallbackMethod handler);

private:
    IRegister* mSource = nullptr;
    int mEventId = 0;
    int mData = 0;
};

#endif
