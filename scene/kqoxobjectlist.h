#ifndef QOX_SCENE_KQOXOBJECTLIST_H
#define QOX_SCENE_KQOXOBJECTLIST_H

// KQoxObjectList<T>: one of the SDK manager's typed object lists.
//
// The list keeps creation order; removal closes the gap, so later indices
// shift down by one. It never deletes on its own: the manager destroys
// objects, and Clear hands every object to the destroyer that the kind's
// creation installed (so the list need not know the complete type).
//
// Removal by pointer and lookup by name must not scan the list: a slot map
// finds an object's position, removed objects leave holes that are closed in
// one pass when they make up half the list or when an index is asked for, and
// a name index (built on demand, refreshed when the manager's name version
// moves) gives the objects of one name in list order.

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>
#include <unordered_map>
#include <vector>

#include "base/kstring.h"

namespace qoxsdk_600 {

// Whether the objects of a kind have a name to be looked up by.
template <class U, class = void>
struct KQoxHasName : std::false_type
{};
template <class U>
struct KQoxHasName<U, std::void_t<decltype(std::declval<U*>()->GetName())>> : std::true_type
{};

template <class T>
class KQoxObjectList
{
public:
    typedef void (*Destroyer)(T*);

    KQoxObjectList() {}
    KQoxObjectList(const KQoxObjectList&) = delete;
    KQoxObjectList& operator=(const KQoxObjectList&) = delete;

    int GetCount() const { return static_cast<int>(mItems.size() - mHoles); }
    // Null for an index below 0 or not below the count.
    T* Get(int pIndex)
    {
        if (pIndex < 0 || pIndex >= GetCount())
            return nullptr;
        Compact();
        return mItems[static_cast<size_t>(pIndex)];
    }
    bool Contains(T* pObject) const { return pObject && mSlots.count(pObject) != 0; }

    // Appends at the end.
    void Add(T* pObject)
    {
        if (!pObject || Contains(pObject))
            return;
        mSlots.emplace(pObject, mItems.size());
        mItems.push_back(pObject);
        if constexpr (KQoxHasName<T>::value)
        {
            if (mNameIndexValid)
                mNameIndex[NameOf(pObject)].push_back(pObject);
        }
    }
    // False when the object is not listed.
    bool Remove(T* pObject)
    {
        auto slot = pObject ? mSlots.find(pObject) : mSlots.end();
        if (slot == mSlots.end())
            return false;
        if constexpr (KQoxHasName<T>::value)
        {
            if (mNameIndexValid)
                RemoveFromNameIndex(pObject);
        }
        mItems[slot->second] = nullptr;
        mSlots.erase(slot);
        ++mHoles;
        if (mHoles * 2 > mItems.size())
            Compact();
        return true;
    }

    // The objects in list order (holes skipped).
    template <class F>
    void ForEach(F pFunction) const
    {
        for (T* object : mItems)
            if (object)
                pFunction(object);
    }

    // The pIndex-th object (from 0, in list order) whose name equals pName
    // exactly; null when there is none. pNameVersion is the manager's count
    // of name changes: a different value rebuilds the index.
    T* FindByName(const char* pName, int pIndex, unsigned long pNameVersion)
    {
        if (!pName || pIndex < 0)
            return nullptr;
        if (!mNameIndexValid || mNameVersion != pNameVersion)
            RebuildNameIndex(pNameVersion);
        auto found = mNameIndex.find(std::string(pName));
        if (found == mNameIndex.end() || static_cast<size_t>(pIndex) >= found->second.size())
            return nullptr;
        return found->second[static_cast<size_t>(pIndex)];
    }

    // The destroyer Clear uses; installed by the kind's creation.
    void SetDestroyer(Destroyer pDestroyer) { mDestroyer = pDestroyer; }
    Destroyer GetDestroyer() const { return mDestroyer; }

    // Empties the list and destroys its objects in list order. Without a
    // destroyer (no object was ever created) there is nothing to destroy.
    void DestroyAll()
    {
        std::vector<T*> items;
        items.swap(mItems);
        mSlots.clear();
        mNameIndex.clear();
        mNameIndexValid = false;
        mHoles = 0;
        for (T* object : items)
            if (object && mDestroyer)
                mDestroyer(object);
    }

private:
    static std::string NameOf(T* pObject)
    {
        KString name(pObject->GetName());
        return std::string(name.ToChars());
    }

    void Compact()
    {
        if (mHoles == 0)
            return;
        size_t out = 0;
        for (T* object : mItems)
        {
            if (!object)
                continue;
            mSlots[object] = out;
            mItems[out++] = object;
        }
        mItems.resize(out);
        mHoles = 0;
    }

    void RemoveFromNameIndex(T* pObject)
    {
        auto found = mNameIndex.find(NameOf(pObject));
        if (found == mNameIndex.end())
            return;
        std::vector<T*>& same = found->second;
        for (size_t i = 0; i < same.size(); ++i)
            if (same[i] == pObject)
            {
                same.erase(same.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        if (same.empty())
            mNameIndex.erase(found);
    }

    void RebuildNameIndex(unsigned long pNameVersion)
    {
        mNameIndex.clear();
        for (T* object : mItems)
            if (object)
                mNameIndex[NameOf(object)].push_back(object);
        mNameIndexValid = true;
        mNameVersion = pNameVersion;
    }

    std::vector<T*> mItems; // list order; null marks a removed object
    std::unordered_map<T*, size_t> mSlots;
    size_t mHoles = 0;
    std::unordered_map<std::string, std::vector<T*>> mNameIndex;
    bool mNameIndexValid = false;
    unsigned long mNameVersion = 0;
    Destroyer mDestroyer = nullptr;
};

} // namespace qoxsdk_600

#endif
