#ifndef QOX_OBJECT_KWORLD_H
#define QOX_OBJECT_KWORLD_H

// The world: the registry of every live object constructed in it and of the
// properties that ask to be registered, each under a small integer index, and
// a tree of world states with indexes of their own. One recursive lock guards
// the world; registration does not take it itself.
//
// A new index is the lowest free one, so indexes freed by objects, properties
// and states that left are taken again first.

#include <cassert>
#include <pthread.h>

#include <functional>
#include <queue>
#include <vector>

#include "base/karray.h"

class KObject;
class KProperty;
class KPropertyInfo;
class KWorld;

class KWorldState
{
public:
    typedef int kType;

    static KWorldState* Create(KWorld* world, kType kind, KWorldState* parent);

    // A new state of kind 0 below this one; the clone count rises by one.
    KWorldState* Clone();
    // Drops one reference. At one reference left, a companion is released;
    // at none the state is unregistered, leaves its parent and releases it.
    void Release();
    // Whether the state has a companion.
    bool Swap() const { return mCompanion != nullptr; }
    void Add(KWorldState* child);
    void Remove(KWorldState* child);

    KWorld* GetWorld() const { return mWorld; }
    int GetRefCount() const { return mRefCount; }
    int GetStateIndex() const { return mStateIndex; }
    void SetStateIndex(int index) { mStateIndex = index; }
    kType GetType() const { return mType; }
    KWorldState* GetCompanion() const { return mCompanion; }
    KWorldState* GetParent() const { return mParent; }
    int GetChildCount() const { return mChildren.GetCount(); }
    KWorldState* GetChild(int index) const
    {
        assert(index >= 0 && index < mChildren.GetCount());
        return mChildren[index];
    }
    int GetGeneration() const { return mGeneration; }
    int GetCloneCount() const { return mCloneCount; }
    int GetSerial() const { return mSerial; }

private:
    friend class KWorld;
    KWorldState(KWorld* world, kType kind, KWorldState* parent, bool withCompanion);
    ~KWorldState() {}

    KWorldState(const KWorldState&) = delete;
    KWorldState& operator=(const KWorldState&) = delete;

    KWorld* mWorld;
    int mRefCount = 1;
    int mStateIndex = -1;
    kType mType;
    KWorldState* mCompanion = nullptr;
    KWorldState* mParent;
    KArrayTemplate<KWorldState*> mChildren;
    int mGeneration = 1;
    int mCloneCount = 1;
    int mSerial;
};

// Registered items of one kind by index; a freed index is given again before
// any new one.
template <class T>
class KWorldIndexTable
{
public:
    // The lowest free index, now holding item; -1 when every index below limit is taken.
    int Take(T* item, int limit)
    {
        int index;
        if (!mFree.empty())
        {
            index = mFree.top();
            mFree.pop();
        }
        else
        {
            if (static_cast<int>(mItems.size()) >= limit)
                return -1;
            index = static_cast<int>(mItems.size());
            mItems.push_back(nullptr);
        }
        mItems[index] = item;
        return index;
    }
    // Frees the index when it holds item.
    void Release(int index, const T* item)
    {
        if (Get(index) != item || !item)
            return;
        mItems[index] = nullptr;
        mFree.push(index);
    }
    T* Get(int index) const
    {
        return (index >= 0 && index < static_cast<int>(mItems.size())) ? mItems[index] : nullptr;
    }
    const std::vector<T*>& Items() const { return mItems; }

private:
    std::vector<T*> mItems;
    std::priority_queue<int, std::vector<int>, std::greater<int>> mFree;
};

class KWorld
{
public:
    static KWorld* Create();
    // Deletes the world. Objects, properties and states still registered are
    // detached first, so they never point at a deleted world.
    void Destroy();
    virtual ~KWorld();

    static KWorld* GetCurrent();
    static void SetCurrent(KWorld* world);

    void LockWorld();
    void UnlockWorld();

    // Returns the object's index, or -1 when no index could be given.
    int RegisterObject(KObject* object);
    void UnregisterObject(KObject* object);
    void RegisterObjectProperties(KObject* object);
    void UnregisterObjectProperties(KObject* object);
    // Gives the property an index (kept in its property info, 65535 when
    // none could be given); returns the property info.
    KPropertyInfo* RegisterProperty(KProperty* property);
    void UnregisterProperty(KProperty* property);
    void RegisterState(KWorldState* state);
    void UnregisterState(KWorldState* state);

    // The registered object / property / state of an index, or null.
    KObject* GetObject(int index) const;
    KProperty* GetProperty(int index) const;
    KWorldState* GetState(int index) const;
    // The two root states.
    KWorldState* GetRootState(int which) const { return (which == 0 || which == 1) ? mRoot[which] : nullptr; }

protected:
    KWorld();

private:
    KWorld(const KWorld&) = delete;
    KWorld& operator=(const KWorld&) = delete;

    pthread_mutex_t mLock;
    KWorldState* mRoot[2];
    KWorldIndexTable<KObject> mObjects;
    KWorldIndexTable<KProperty> mProperties;
    KWorldIndexTable<KWorldState> mStates;
};

#endif
