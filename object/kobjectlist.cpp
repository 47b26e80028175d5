#include "object/kobjectlist.h"

#include <cstring>

KPLUG_CLASS_IMPLEMENT(KGenericObjectList, KObject, "KGenericObjectList")
KPLUG_CLASS_IMPLEMENT(KObjectList, KGenericObjectList, "KObjectList")

KGenericObjectList::KGenericObjectList()
    : mItems(16)
    , mListener(this)
{}

KGenericObjectList::~KGenericObjectList()
{
    Clear(false);
}

int KGenericObjectList::InternalAdd(const HdlKObject& object)
{
    HdlKObject copy(object);
    int index = mItems.GetCount();
    if (!mListener->ListNotify(this, kListAdding, copy, index))
        return -1;
    index = mItems.Add(copy);
    mListener->ListNotify(this, kListAdded, copy, index);
    return index;
}

int KGenericObjectList::InternalAddList(KGenericObjectList& other)
{
    // A copy: the other list may be this one, or change while we add.
    KArrayTemplate<HdlKObject> items(16);
    for (int i = 0; i < other.GetCount(); ++i)
        items.Add(other.InternalGet(i));
    int added = 0;
    for (int i = 0; i < items.GetCount(); ++i)
        if (InternalAdd(items[i]) >= 0)
            ++added;
    return added;
}

int KGenericObjectList::InternalSetAt(int index, const HdlKObject& object)
{
    if (index < 0 || index >= mItems.GetCount())
        return -1;
    HdlKObject copy(object);
    if (!mListener->ListNotify(this, kListAdding, copy, index))
        return -1;
    if (index >= mItems.GetCount())
        return -1;
    mItems.SetAt(index, copy);
    mListener->ListNotify(this, kListAdded, copy, index);
    return index;
}

int KGenericObjectList::InternalInsertAt(int index, const HdlKObject& object)
{
    if (index < 0)
        return -1;
    HdlKObject copy(object);
    if (!mListener->ListNotify(this, kListAdding, copy, index))
        return -1;
    index = mItems.InsertAt(index, copy);
    mListener->ListNotify(this, kListAdded, copy, index);
    return index;
}

bool KGenericObjectList::InternalRemove(int index)
{
    if (index < 0 || index >= mItems.GetCount())
        return false;
    HdlKObject removed = mItems[index];
    if (!mListener->ListNotify(this, kListRemoving, removed, index))
        return false;
    if (index >= mItems.GetCount() || mItems[index] != removed)
    {
        index = mItems.Find(removed);
        if (index < 0)
            return false;
    }
    mItems.RemoveAt(index);
    mListener->ListNotify(this, kListRemoved, removed, index);
    return true;
}

bool KGenericObjectList::InternalRemove(const HdlKObject& object)
{
    int index = mItems.FindBefore(mItems.GetCount(), object);
    return index >= 0 && InternalRemove(index);
}

void KGenericObjectList::Clear(bool destroy)
{
    if (mItems.GetCount() == 0)
        return;
    if (!mListener->ListNotify(this, kListClear, HdlNull, -1))
        return;
    if (destroy)
    {
        for (int i = mItems.GetCount() - 1; i >= 0; --i)
        {
            if (i >= mItems.GetCount())
                i = mItems.GetCount() - 1;
            if (i < 0)
                break;
            if (KObject* object = mItems[i].Get())
                object->Destroy(0);
        }
    }
    mItems.Clear();
}

bool KGenericObjectList::Cleanup()
{
    bool removed = false;
    for (int i = mItems.GetCount() - 1; i >= 0; --i)
    {
        if (!mItems[i].Get())
        {
            mItems.RemoveAt(i);
            removed = true;
        }
    }
    return removed;
}

int KGenericObjectList::FindIndex(const char* fullName) const
{
    if (!fullName)
        return -1;
    for (int i = 0; i < mItems.GetCount(); ++i)
    {
        KObject* object = mItems[i].Get();
        if (object && strcmp(object->GetObjectFullName(), fullName) == 0)
            return i;
    }
    return -1;
}

HdlKObject KGenericObjectList::Find(const char* fullName) const
{
    int index = FindIndex(fullName);
    return index >= 0 ? mItems[index] : HdlNull;
}

int KGenericObjectList::FindIndex(const HdlKObject& object) const
{
    return mItems.Find(object);
}

HdlKObject KGenericObjectList::Find(const HdlKObject& object) const
{
    int index = FindIndex(object);
    return index >= 0 ? mItems[index] : HdlNull;
}

namespace {

void Collect(KObject* object, KObjectList& list, int classId, bool selectedOnly, KArrayTemplate<KObject*>& path)
{
    if (!object || path.Find(object) >= 0)
        return; // a cycle
    if ((classId == -1 || object->Is(classId)) && (!selectedOnly || (object->GetSelectFlag() & KObject::eSelected)))
        list.Add(HdlKObject(object));
    path.Add(object);
    for (int i = 0; i < object->GetSrcCount(); ++i)
    {
        KPlug* child = object->GetSrc(i);
        if (child && child->Is(KObject::ClassId))
            Collect(static_cast<KObject*>(child), list, classId, selectedOnly, path);
    }
    path.RemoveLast();
}

} // namespace

void ObjectListGet(KObject* root, KObjectList& list, int classId)
{
    KArrayTemplate<KObject*> path(16);
    Collect(root, list, classId, false, path);
}

void SelectedObjectListGet(KObject* root, KObjectList& list, int classId)
{
    KArrayTemplate<KObject*> path(16);
    Collect(root, list, classId, true, path);
}
