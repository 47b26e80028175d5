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
//
// The name index files objects under the hash of their name, so that taking
// an object out of it only finds and erases (nothing is allocated: freeing
// never fails for lack of memory). Making or growing the index may run out
// of memory: the index is then dropped, a lookup searches the list in order
// and an addition leaves the index to be made again.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
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

// The positions of listed objects by address, in one flat table searched
// from the address's hashed place on (no allocation per object). The table
// is at most half full; a removal moves the entries after it back, so no
// search ever passes a removed one.
template <class T>
class KQoxObjectSlots
{
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    size_t Find(const T* pObject) const
    {
        if (!pObject || mCount == 0)
            return npos;
        for (size_t i = Home(pObject);; i = (i + 1) & Mask())
        {
            if (mTable[i].mObject == pObject)
                return mTable[i].mSlot;
            if (!mTable[i].mObject)
                return npos;
        }
    }
    // Adds the object or moves it to a new position.
    void Set(T* pObject, size_t pSlot)
    {
        if (!mTable.empty())
        {
            size_t i = Home(pObject);
            while (mTable[i].mObject && mTable[i].mObject != pObject)
                i = (i + 1) & Mask();
            if (mTable[i].mObject || (mCount + 1) * 2 <= mTable.size())
            {
                mCount += mTable[i].mObject ? 0 : 1;
                mTable[i] = Entry{pObject, pSlot};
                return;
            }
        }
        Rehash(mTable.empty() ? kFirstSize : mTable.size() * 2);
        Set(pObject, pSlot);
    }
    // The position the object had, or npos when it was not there.
    size_t Erase(const T* pObject)
    {
        if (!pObject || mCount == 0)
            return npos;
        size_t hole = Home(pObject);
        while (mTable[hole].mObject != pObject)
        {
            if (!mTable[hole].mObject)
                return npos;
            hole = (hole + 1) & Mask();
        }
        const size_t slot = mTable[hole].mSlot;
        // Each later entry of the run whose home does not lie after the
        // hole (cyclically, up to the entry) moves back into it.
        for (size_t next = (hole + 1) & Mask(); mTable[next].mObject; next = (next + 1) & Mask())
        {
            const size_t home = Home(mTable[next].mObject);
            const bool stays = hole < next ? (home > hole && home <= next) : (home > hole || home <= next);
            if (!stays)
            {
                mTable[hole] = mTable[next];
                hole = next;
            }
        }
        mTable[hole] = Entry();
        --mCount;
        return slot;
    }
    void Clear()
    {
        std::vector<Entry>().swap(mTable);
        mCount = 0;
    }

private:
    struct Entry
    {
        T* mObject = nullptr;
        size_t mSlot = 0;
    };
    static constexpr size_t kFirstSize = 16;

    size_t Mask() const { return mTable.size() - 1; }
    // Fibonacci hashing of the address, to the table's power-of-two size.
    size_t Home(const T* pObject) const
    {
        const unsigned long long mixed =
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pObject)) * 0x9E3779B97F4A7C15ULL;
        return static_cast<size_t>(mixed >> 32) & Mask();
    }
    void Rehash(size_t pSize)
    {
        std::vector<Entry> old(pSize);
        old.swap(mTable);
        mCount = 0;
        for (const Entry& entry : old)
            if (entry.mObject)
                Set(entry.mObject, entry.mSlot);
    }

    std::vector<Entry> mTable; // empty, or a power of two entries
    size_t mCount = 0;
};

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
    bool Contains(T* pObject) const { return mSlots.Find(pObject) != KQoxObjectSlots<T>::npos; }

    // Appends at the end; throws std::bad_alloc (the list unchanged) when
    // there is no room.
    void Add(T* pObject)
    {
        if (!pObject || Contains(pObject))
            return;
        mItems.push_back(pObject);
        try
        {
            mSlots.Set(pObject, mItems.size() - 1);
        }
        catch (...)
        {
            mItems.pop_back();
            throw;
        }
        if constexpr (KQoxHasName<T>::value)
        {
            if (mNameIndexValid)
            {
                try
                {
                    mNameIndex[KeyOf(pObject)].push_back(pObject);
                }
                catch (const std::bad_alloc&)
                {
                    DropNameIndex();
                }
            }
        }
    }
    // False when the object is not listed.
    bool Remove(T* pObject)
    {
        const size_t slot = mSlots.Erase(pObject);
        if (slot == KQoxObjectSlots<T>::npos)
            return false;
        if constexpr (KQoxHasName<T>::value)
        {
            if (mNameIndexValid)
                RemoveFromNameIndex(pObject);
        }
        mItems[slot] = nullptr;
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
    // of name changes: a different value rebuilds the index (without room
    // for it, the list is searched in order).
    T* FindByName(const char* pName, int pIndex, unsigned long pNameVersion)
    {
        if (!pName || pIndex < 0)
            return nullptr;
        if (!mNameIndexValid || mNameVersion != pNameVersion)
            RebuildNameIndex(pNameVersion);
        int left = pIndex;
        if (!mNameIndexValid)
        {
            for (T* object : mItems)
                if (object && NameIs(object, pName) && left-- == 0)
                    return object;
            return nullptr;
        }
        auto found = mNameIndex.find(KeyOf(pName));
        if (found == mNameIndex.end())
            return nullptr;
        // Names of one hash in list order: those of other names are passed.
        for (T* object : found->second)
            if (NameIs(object, pName) && left-- == 0)
                return object;
        return nullptr;
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
        mSlots.Clear();
        mNameIndex.clear();
        mNameIndexValid = false;
        mHoles = 0;
        for (T* object : items)
            if (object && mDestroyer)
                mDestroyer(object);
    }

private:
    // The hash a name is filed under.
    static size_t KeyOf(const char* pName) { return std::hash<std::string_view>()(std::string_view(pName)); }
    static size_t KeyOf(T* pObject)
    {
        if constexpr (std::is_convertible_v<decltype(pObject->GetName()), const char*> &&
                      !std::is_class_v<decltype(pObject->GetName())>)
            return KeyOf(static_cast<const char*>(pObject->GetName()));
        else
        {
            const KString name(pObject->GetName());
            return KeyOf(name.ToChars());
        }
    }
    static bool NameIs(T* pObject, const char* pName)
    {
        if constexpr (std::is_convertible_v<decltype(pObject->GetName()), const char*> &&
                      !std::is_class_v<decltype(pObject->GetName())>)
            return std::strcmp(pObject->GetName(), pName) == 0;
        else
        {
            const KString name(pObject->GetName());
            return std::strcmp(name.ToChars(), pName) == 0;
        }
    }

    // Forgets the index (freeing only).
    void DropNameIndex()
    {
        mNameIndex.clear();
        mNameIndexValid = false;
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
            mSlots.Set(object, out);
            mItems[out++] = object;
        }
        mItems.resize(out);
        mHoles = 0;
    }

    // Finds and erases only. An object not under its name's hash (renamed
    // since it was filed, or a name that could not be copied) drops the
    // index: no entry may outlive its object.
    void RemoveFromNameIndex(T* pObject) noexcept
    {
        auto found = mNameIndex.find(KeyOf(pObject));
        if (found != mNameIndex.end())
        {
            std::vector<T*>& same = found->second;
            for (size_t i = 0; i < same.size(); ++i)
                if (same[i] == pObject)
                {
                    same.erase(same.begin() + static_cast<std::ptrdiff_t>(i));
                    if (same.empty())
                        mNameIndex.erase(found);
                    return;
                }
        }
        DropNameIndex();
    }

    void RebuildNameIndex(unsigned long pNameVersion)
    {
        DropNameIndex();
        try
        {
            for (T* object : mItems)
                if (object)
                    mNameIndex[KeyOf(object)].push_back(object);
        }
        catch (const std::bad_alloc&)
        {
            DropNameIndex();
            return;
        }
        mNameIndexValid = true;
        mNameVersion = pNameVersion;
    }

    std::vector<T*> mItems; // list order; null marks a removed object
    KQoxObjectSlots<T> mSlots;
    size_t mHoles = 0;
    std::unordered_map<size_t, std::vector<T*>> mNameIndex; // by KeyOf the name
    bool mNameIndexValid = false;
    unsigned long mNameVersion = 0;
    Destroyer mDestroyer = nullptr;
};

} // namespace qoxsdk_600

#endif
