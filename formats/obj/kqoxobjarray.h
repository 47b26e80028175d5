#ifndef QOX_FORMATS_OBJ_KQOXOBJARRAY_H
#define QOX_FORMATS_OBJ_KQOXOBJARRAY_H

// A growable array of plain items for the OBJ reader's file-sized lists.
// It grows by doubling through realloc, which moves large blocks by
// remapping pages instead of copying them and touching them again.

#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace qoxsdk_600 {

template <class T>
class KObjPodArray
{
    static_assert(std::is_trivially_copyable<T>::value, "items are moved as bytes");

public:
    KObjPodArray() = default;
    KObjPodArray(const KObjPodArray&) = delete;
    KObjPodArray& operator=(const KObjPodArray&) = delete;
    ~KObjPodArray() { std::free(mData); }

    // False, nothing added, when memory runs out.
    bool push_back(const T& item)
    {
        if (mSize == mCapacity && !Grow(mSize + 1))
            return false;
        std::memcpy(static_cast<void*>(mData + mSize), &item, sizeof(T));
        ++mSize;
        return true;
    }
    // Appends count items; false, nothing added, when memory runs out.
    bool append(const T* items, size_t count)
    {
        if (mSize + count > mCapacity && !Grow(mSize + count))
            return false;
        if (count)
            std::memcpy(static_cast<void*>(mData + mSize), items, count * sizeof(T));
        mSize += count;
        return true;
    }
    void clear() { mSize = 0; }
    // Drops the items from index count on; count must not exceed size().
    void truncate(size_t count) { mSize = count; }
    size_t size() const { return mSize; }
    bool empty() const { return mSize == 0; }
    T* data() { return mData; }
    const T* data() const { return mData; }
    T& operator[](size_t i) { return mData[i]; }
    const T& operator[](size_t i) const { return mData[i]; }
    T* begin() { return mData; }
    T* end() { return mData + mSize; }
    const T* begin() const { return mData; }
    const T* end() const { return mData + mSize; }

private:
    bool Grow(size_t needed)
    {
        size_t capacity = mCapacity ? mCapacity : 64;
        while (capacity < needed)
        {
            if (capacity > (~size_t(0)) / 2 / sizeof(T))
                return false;
            capacity *= 2;
        }
        void* grown = std::realloc(static_cast<void*>(mData), capacity * sizeof(T));
        if (!grown)
            return false;
        mData = static_cast<T*>(grown);
        mCapacity = capacity;
        return true;
    }

    T* mData = nullptr;
    size_t mSize = 0;
    size_t mCapacity = 0;
};

} // namespace qoxsdk_600

#endif
