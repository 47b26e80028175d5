#ifndef QOX_BASE_KARRAY_H
#define QOX_BASE_KARRAY_H

// KBaseArray: a growable vector of fixed-size plain items in one block of
// C-allocated memory. Capacity is counted in blocks of items; when full it
// grows geometrically (1, 2, 4, ... blocks) so appends are amortised O(1).
// Items are plain bytes: no constructor, destructor or assignment of the item
// type ever runs; new items are zero-filled. An array of pointers never owns
// what its items point to.
//
// KArrayTemplate<T>: the typed wrapper. Indices are int; an absent item is -1.
// Callers keep indices in range: the direct accessors assert it, ValidateIndex
// tells without failing.

#include <cassert>
#include <cstddef>
#include <cstring>
#include <type_traits>

class KBaseArray
{
public:
    KBaseArray(int blockSize, int itemSize);
    ~KBaseArray();

    bool ValidateIndex(int i) const { return i >= 0 && i < mArrayCount; }
    int GetCount() const { return mArrayCount; }

    // Inserts a copy of one item (item-size bytes from item) at index, clamped
    // to the count; returns the index used, or -1 when no storage could be had.
    int InsertAt(int index, void* item);
    void RemoveAt(int index);
    void Clear();            // frees the storage; count 0
    void Empty();            // count 0; the storage is kept
    int Reserve(int n);      // capacity for n items (may shrink); returns the capacity
    void Resize(int n);      // capacity and count n; new items zero-filled
    void AddMultiple(int n); // appends n zero-filled items
    void SetCount(int n);    // grows with zero-filled items, or lowers the count
    // Sets the count to n, leaving the items past the old count unset for the
    // caller to fill at once (a reader loading an array from a file, where a
    // zero fill would be a wasted pass). False, nothing changed, when n is
    // negative or the storage cannot be had.
    bool SetCountUnset(int n);

protected:
    KBaseArray(const KBaseArray&) = delete;
    KBaseArray& operator=(const KBaseArray&) = delete;

    int GetCapacity() const { return mBlockCount * mBlockSize; }
    // Makes room for at least n items, growing geometrically; false on failure.
    bool Grow(int n);
    // Sets the storage to exactly blocks blocks; false on failure (unchanged).
    bool SetBlocks(int blocks);
    // Replaces the contents by a copy of other's (block size, items).
    void CopyFrom(const KBaseArray& other);
    // Appends count items copied from src (which may lie in this array).
    bool AppendItems(const void* src, int count);
    // Takes over malloc storage holding count items with room for capacity
    // (see KArrayTemplate::Adopt).
    bool AdoptStorage(void* storage, int count, size_t capacity);
    // Exchanges storage, count and block size with other (same item size).
    void SwapStorage(KBaseArray& other);

    int mArrayCount = 0; // items in use
    int mBlockCount = 0; // blocks allocated
    int mBlockSize;      // items per block, at least 1
    int mItemSize;       // bytes per item
    void* mBaseArray = nullptr;
};

template <typename T>
class KArrayTemplate : public KBaseArray
{
public:
    explicit KArrayTemplate(int blockSize = 16)
        : KBaseArray(blockSize, static_cast<int>(sizeof(T)))
    {}
    KArrayTemplate(const KArrayTemplate& other)
        : KBaseArray(16, static_cast<int>(sizeof(T)))
    {
        *this = other;
    }
    ~KArrayTemplate() { Clear(); }

    KArrayTemplate& operator=(const KArrayTemplate& other)
    {
        if (&other != this)
            CopyFrom(other);
        return *this;
    }

    int InsertAt(int index, T item) { return KBaseArray::InsertAt(index, &item); }
    int Add(T item)
    {
        // Appending with room to spare: a plain copy, no call.
        if (mArrayCount < GetCapacity())
        {
            std::memcpy(static_cast<char*>(mBaseArray) + static_cast<size_t>(mArrayCount) * sizeof(T),
                        static_cast<const void*>(&item), sizeof(T));
            return mArrayCount++;
        }
        return KBaseArray::InsertAt(mArrayCount, &item);
    }
    int AddUnique(T item)
    {
        int i = Find(item);
        return i >= 0 ? i : Add(item);
    }
    void AddMultiple(unsigned int n) { KBaseArray::AddMultiple(static_cast<int>(n)); }
    void AddArray(const KArrayTemplate& other)
    {
        if (other.mArrayCount > 0)
            AppendItems(other.mBaseArray, other.mArrayCount);
    }
    void AddArrayNoDuplicate(const KArrayTemplate& other)
    {
        const int n = other.mArrayCount;
        for (int i = 0; i < n; ++i)
        {
            T item = other.Data()[i];
            if (Find(item) < 0)
                Add(item);
        }
    }

    T RemoveAt(int index)
    {
        T item = At(index);
        KBaseArray::RemoveAt(index);
        return item;
    }
    T RemoveLast() { return RemoveAt(mArrayCount - 1); }
    bool RemoveIt(T item)
    {
        int i = Find(item);
        if (i < 0)
            return false;
        KBaseArray::RemoveAt(i);
        return true;
    }
    void RemoveArray(const KArrayTemplate& other)
    {
        if (&other == this)
        {
            KArrayTemplate copy(other);
            RemoveArray(copy);
            return;
        }
        for (int i = 0; i < other.mArrayCount; ++i)
            RemoveIt(other.Data()[i]);
    }

    // Equality is the == of T.
    int Find(T item) const { return FindAfter(-1, item); }
    // An index before -1 searches from the start; one at or past the end finds nothing.
    int FindAfter(int after, T item) const
    {
        T* data = Data();
        for (int i = after < 0 ? 0 : (after >= mArrayCount ? mArrayCount : after + 1); i < mArrayCount; ++i)
            if (data[i] == item)
                return i;
        return -1;
    }
    int FindBefore(int before, T item) const
    {
        T* data = Data();
        for (int i = before - 1; i >= 0; --i)
            if (data[i] == item)
                return i;
        return -1;
    }

    // Direct item access; the index must be in range (asserted).
    T GetAt(int index) const { return At(index); }
    void SetAt(int index, T item) { At(index) = item; }
    T GetFirst() const { return At(0); }
    T GetLast() const { return At(mArrayCount - 1); }
    void SetLast(T item) { At(mArrayCount - 1) = item; }
    T& operator[](int index) const { return At(index); }
    // Other integer index types (avoids ambiguity with the pointer conversion).
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value && !std::is_same<I, bool>::value>>
    T& operator[](I index) const
    {
        assert(index >= 0 && static_cast<long long>(index) < mArrayCount);
        return Data()[index];
    }
    T* GetArray() const { return Data(); }
    operator T*() const { return Data(); }

    // Takes over storage from malloc (or realloc) that holds count items and
    // has room for capacity: what the array held is freed, and the storage,
    // trimmed to the blocks count items need, is the array's from then on,
    // freed by it. An array built elsewhere becomes this one's without a
    // copy. Null storage with count 0 empties the array. False, nothing
    // changed and the storage still the caller's, when count is negative or
    // above capacity, or storage is null with items, or rounding up to whole
    // blocks needs more room than capacity and memory is short, or than an
    // int count addresses. The storage must not be the array's own.
    bool Adopt(T* storage, int count, size_t capacity) { return AdoptStorage(storage, count, capacity); }
    // Exchanges the items, the storage and the block sizes of the two arrays.
    void Swap(KArrayTemplate& other) { SwapStorage(other); }

private:
    T* Data() const { return static_cast<T*>(mBaseArray); }
    T& At(int index) const
    {
        assert(index >= 0 && index < mArrayCount);
        return Data()[index];
    }
};

#endif
