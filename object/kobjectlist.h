#ifndef QOX_OBJECT_KOBJECTLIST_H
#define QOX_OBJECT_KOBJECTLIST_H

// Object lists: an object holding an ordered list of weak object handles. A
// listener object is asked before every change (and may refuse it) and told
// after it.

#include <cassert>

#include "base/karray.h"
#include "object/kobject.h"

class KGenericObjectList : public KObject
{
    KPLUG_CLASS_DECLARE(KGenericObjectList)
public:
    KGenericObjectList();
    ~KGenericObjectList() override;

    int GetCount() const { return mItems.GetCount(); }
    // The handle at an index, which must lie in the list (asserted).
    HdlKObject InternalGet(int index) const
    {
        assert(index >= 0 && index < mItems.GetCount());
        return mItems[index];
    }
    // The new index, or -1 when the listener refused.
    int InternalAdd(const HdlKObject& object);
    // How many handles of the other list were added.
    int InternalAddList(KGenericObjectList& other);
    // The index, or -1 when refused (or the index is outside the list).
    int InternalSetAt(int index, const HdlKObject& object);
    int InternalInsertAt(int index, const HdlKObject& object);
    // False when refused or (handle form) absent.
    bool InternalRemove(int index);
    bool InternalRemove(const HdlKObject& object);
    // Asks the listener (event 0); with destroy, destroys every live object
    // (last first); then empties the list.
    void Clear(bool destroy = false);
    // Removes the handles of destroyed objects; true when it removed any.
    bool Cleanup();
    // The first live object whose full name is the text exactly.
    HdlKObject Find(const char* fullName) const;
    int FindIndex(const char* fullName) const;
    HdlKObject Find(const HdlKObject& object) const;
    int FindIndex(const HdlKObject& object) const;

    KObject* GetListener() const { return mListener; }
    // The object asked about every change; null makes the list its own listener.
    void SetListener(KObject* listener) { mListener = listener ? listener : this; }

private:
    KArrayTemplate<HdlKObject> mItems;
    KObject* mListener;
};

// Typed front of the generic object list.
template <class H>
class KObjectListTemplate : public KGenericObjectList
{
public:
    int Add(const H& object) { return InternalAdd(HdlKObject(object)); }
    int AddList(KGenericObjectList& other) { return InternalAddList(other); }
    int InsertAt(int index, const H& object) { return InternalInsertAt(index, HdlKObject(object)); }
    int SetAt(int index, const H& object) { return InternalSetAt(index, HdlKObject(object)); }
    bool Remove(int index) { return InternalRemove(index); }
    bool Remove(const H& object) { return InternalRemove(HdlKObject(object)); }
    H operator[](int index) const { return H(InternalGet(index)); }
};

class KObjectList : public KObjectListTemplate<HdlKObject>
{
    KPLUG_CLASS_DECLARE(KObjectList)
};

// Adds root when it is of the class (-1: any), then its children (sources)
// depth first, parents before children.
void ObjectListGet(KObject* root, KObjectList& list, int classId);
// The same walk, adding only selected objects.
void SelectedObjectListGet(KObject* root, KObjectList& list, int classId);

#endif
