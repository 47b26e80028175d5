#include "object/kobjectset.h"

#include <cstdlib>

KPLUG_CLASS_IMPLEMENT(KPBObject, KObject, "KPBObject")
KPLUG_CLASS_IMPLEMENT(KObjectSet, KPBObject, "KObjectSet")

// ---------------------------------------------------------------------------
// KPBObjectHolder

KPBObjectHolder::~KPBObjectHolder()
{
    if (mObjects)
    {
        for (int slot = 0; slot < kSlotCount; ++slot)
        {
            IKObject* object = mObjects[slot];
            if (object && mOwned[slot])
            {
                mObjects[slot] = nullptr;
                object->Destroy(0);
            }
        }
    }
}

void KPBObjectHolder::SetPBObject(IKObject* object, int slot, bool owned)
{
    if (slot < 0 || slot >= kSlotCount)
        return;
    if (!mObjects)
    {
        mObjects.reset(new IKObject*[kSlotCount]());
        mOwned.reset(new unsigned char[kSlotCount]());
    }
    mObjects[slot] = object;
    mOwned[slot] = owned ? 1 : 0;
}

IKObject* KPBObjectHolder::GetPBObject(int slot) const
{
    if (!mObjects || slot < 0 || slot >= kSlotCount)
        return nullptr;
    return mObjects[slot];
}

// ---------------------------------------------------------------------------
// KPBObject

KPBObject::KPBObject()
    : mHolderInterface(this)
{}

KPBObject::~KPBObject() {}

IKObject* KPBObject::IQuery(unsigned long interfaceId, int flags)
{
    if (interfaceId == kIPBObjectHolderId)
        return &mHolderInterface;
    return KObject::IQuery(interfaceId, flags);
}

KPBObjectHolder* KPBObject::GetPBHolder()
{
    return &mHolder;
}

// ---------------------------------------------------------------------------
// KObjectSet

namespace {

// Disconnects, last first, the sources that pass the test. The position is
// kept within the list, which notifications may shorten.
template <class Test>
void RemoveSources(KObjectSet* set, Test test)
{
    KPostponedDestroy hold(set);
    for (int i = set->GetSrcCount() - 1; i >= 0;)
    {
        KPlug* plug = set->GetSrc(i);
        if (plug && test(plug))
            set->DisconnectSrcAt(i);
        int next = i - 1;
        if (next > set->GetSrcCount() - 1)
            next = set->GetSrcCount() - 1;
        i = next;
    }
}

bool AllClasses(int classId)
{
    return classId == -1 || classId == KPlug::ClassId;
}

} // namespace

void KObjectSet::Remove(int classId)
{
    if (AllClasses(classId))
    {
        RemoveSources(this, [](KPlug*) { return true; });
        return;
    }
    KPlugFilter* filter = KPlug_GetFilter(classId);
    if (!filter)
        return; // an unknown class has no members
    RemoveSources(this, [filter](KPlug* plug) { return filter->Is(plug); });
}

void KObjectSet::RemoveExactClassId(int classId)
{
    RemoveSources(this, [classId](KPlug* plug) { return plug->GetClassId() == classId; });
}

void KObjectSet::ListObjects(KObjectList& list, int classId)
{
    KArrayTemplate<KObject*> members(16);
    CollectObjects(this, true, classId, members);
    for (int i = 0; i < members.GetCount(); ++i)
        list.Add(HdlKObject(members[i]));
}

void KObjectSet::ListObjectsOfExactClassId(KObjectList& list, int classId)
{
    KArrayTemplate<KObject*> members(16);
    CollectObjects(this, true, -1, members);
    for (int i = 0; i < members.GetCount(); ++i)
        if (members[i]->GetClassId() == classId)
            list.Add(HdlKObject(members[i]));
}

void KObjectSet::AddObjectList(KObjectList& list)
{
    for (int i = 0; i < list.GetCount(); ++i)
        if (KObject* object = list[i].Get())
            ConnectSrc(object, kConnectionNormal);
}
