#ifndef QOX_OBJECT_KOBJECTSET_H
#define QOX_OBJECT_KOBJECTSET_H

// Objects that hold other objects.
//
// KPBObject is an object that can keep up to seven related objects of
// another layer, each optionally owned; it answers interface query 51 with
// its holder interface. KObjectSet is a KPBObject whose members are its
// source connections.

#include "object/kcallback.h"
#include "object/kobject.h"
#include "object/kobjectlist.h"

// Up to seven related objects by slot (0-6), each with an "owned" flag.
class KPBObjectHolder
{
public:
    enum
    {
        kSlotCount = 7
    };

    KPBObjectHolder() {}
    // Destroys every owned object still held.
    ~KPBObjectHolder();

    KPBObjectHolder(const KPBObjectHolder&) = delete;
    KPBObjectHolder& operator=(const KPBObjectHolder&) = delete;

    // A slot outside 0-6 is ignored.
    void SetPBObject(IKObject* object, int slot, bool owned);
    // Null while empty or for a slot outside 0-6.
    IKObject* GetPBObject(int slot) const;

private:
    std::unique_ptr<IKObject*[]> mObjects;
    std::unique_ptr<unsigned char[]> mOwned;
};

// The interface answered to query 51.
class IPBObjectHolder : public IKObject
{
public:
    virtual KPBObjectHolder* GetPBHolder() = 0;
};

class KPBObject : public KObject
{
    KPLUG_CLASS_DECLARE(KPBObject)
public:
    KPBObject();
    ~KPBObject() override;

    // Id 51: the holder interface; other ids as for any object.
    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    virtual KPBObjectHolder* GetPBHolder();

private:
    // The holder interface of this object: forwards to it.
    class HolderInterface : public IPBObjectHolder
    {
    public:
        explicit HolderInterface(KPBObject* owner)
            : mOwner(owner)
        {}
        IKObject* IQuery(unsigned long interfaceId, int flags) override { return mOwner->IQuery(interfaceId, flags); }
        void Destroy(int local = 0) override { mOwner->Destroy(local); }
        KPBObjectHolder* GetPBHolder() override { return mOwner->GetPBHolder(); }

    private:
        KPBObject* mOwner;
    };

    KPBObjectHolder mHolder;
    HolderInterface mHolderInterface;
};

// An object whose members are its sources. A class id of -1 (or the plug
// class) means every member; another id the members that its class filter
// accepts.
class KObjectSet : public KPBObject
{
    KPLUG_CLASS_DECLARE(KObjectSet)
public:
    KObjectSet() {}
    ~KObjectSet() override {}

    // Disconnects every member of the class, last first.
    void Remove(int classId);
    // The same for members whose class id is exactly classId.
    void RemoveExactClassId(int classId);
    void Clear() { Remove(-1); }
    // Adds each member object of the class to the list, first to last.
    void ListObjects(KObjectList& list, int classId);
    void ListObjectsOfExactClassId(KObjectList& list, int classId);
    // Connects each live object of the list, in order, as a member.
    void AddObjectList(KObjectList& list);
};

#endif
