#ifndef QOX_FORMATS_OBJ_KQOXOBJARRAY_H
#define QOX_FORMATS_OBJ_KQOXOBJARRAY_H

// A growable array of plain items for the OBJ reader's file-sized lists.
// It grows by doubling through realloc, which moves large blocks by
// remapping pages instead of copying them and touching them again.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace qoxsdk_600 {

// Block memory for the arrays below: small blocks from malloc, blocks of a
// megabyte and more mapped straight from the system so that growing them
// moves page tables instead of copying bytes, and backed by large pages
// where the system offers them (one page fault per 2 MB instead of per
// 4 KB). Each returns null, the old block untouched, when memory runs out.
void* ObjBlockResize(void* block, size_t oldBytes, size_t newBytes);
void ObjBlockFree(void* block, size_t bytes);
// Gives the whole memory pages within bytes [from, to) of a block of
// blockBytes back to the system, where they read as zeros after; only
// blocks mapped from the system give pages back. False when nothing could
// be given back that way.
bool ObjBlockDropPages(void* block, size_t blockBytes, size_t from, size_t to);
// The page size ObjBlockDropPages works in.
constexpr size_t kObjPageBytes = 4096;
// The size of a large page, where the system offers them.
constexpr size_t kObjLargePageBytes = size_t(2) << 20;
// Moves the bytes pages of kObjPageBytes at from (whole pages of a block
// mapped from the system, read no more) to into, whole pages of memory of
// the caller's that nothing has written yet (any storage): what was there is
// replaced, and the range at from stays mapped, empty. Pages written once already
// serve again where an array is about to be filled, without the system
// faulting in and zeroing fresh ones. What it returns:
enum class EObjMove
{
    eMOVED,
    eNOT_MOVED, // nothing changed at into (the system's pages differ in size, or it refused)
    eLOST       // the pages at into are gone and could not be had again: not to be touched
};
EObjMove ObjMovePages(void* from, void* into, size_t pages);
// Whether the process may make moves more ObjMovePages calls and still be
// far from the system's bound on its mappings: past that bound a move fails
// only after the pages at into are gone. False where that cannot be told.
bool ObjRoomForMoves(size_t moves);

// Where an array's storage comes from: the blocks above, or malloc, whose
// storage the scene's arrays (KArrayTemplate) can take over.
enum class EObjStorage
{
    eBLOCKS,
    eHEAP
};
// Heap storage resized with realloc: null, the old block untouched, when
// memory runs out. Blocks from a megabyte on are asked for at
// kObjHeapMappedLeast at least: malloc maps blocks that large from the
// system whatever earlier frees taught it, and grows them by remapping
// pages, so that growing never copies more than that megabyte nor leaves
// copies behind in malloc's heap. Pages never written cost nothing.
constexpr size_t kObjHeapMappedLeast = size_t(40) << 20;
void* ObjHeapResize(void* block, size_t oldBytes, size_t newBytes);

// Where the reader finds that memory ran out: thrown, so that the read
// fails there with its error set, however deep the call.
[[noreturn]] inline void ObjOutOfMemory()
{
    throw std::bad_alloc();
}

template <class T>
class KObjPodArray
{
    static_assert(std::is_trivially_copyable<T>::value, "items are moved as bytes");

public:
    KObjPodArray() = default;
    explicit KObjPodArray(EObjStorage storage)
        : mHeap(storage == EObjStorage::eHEAP)
    {}
    KObjPodArray(const KObjPodArray&) = delete;
    KObjPodArray& operator=(const KObjPodArray&) = delete;
    KObjPodArray(KObjPodArray&& other) noexcept { swap(other); }
    KObjPodArray& operator=(KObjPodArray&& other) noexcept
    {
        release();
        swap(other);
        return *this;
    }
    ~KObjPodArray() { Free(); }

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
        if (!reserve_more(count))
            return false;
        if (count)
            std::memcpy(static_cast<void*>(mData + mSize), items, count * sizeof(T));
        mSize += count;
        return true;
    }
    // Room for at least count items in all; false when memory runs out.
    bool reserve(size_t count) { return count <= mCapacity || Grow(count); }
    // Room for count more items without growing; false when memory runs out.
    bool reserve_more(size_t count)
    {
        return mSize + count <= mCapacity || (count <= ~size_t(0) - mSize && Grow(mSize + count));
    }
    // Appends count items left unset for the caller to fill; false, nothing
    // added, when memory runs out.
    bool extend(size_t count)
    {
        if (!reserve_more(count))
            return false;
        mSize += count;
        return true;
    }
    // The items [first, end) are read no more: the whole memory pages among
    // them go back to the system (see ObjBlockDropPages). False when the
    // storage cannot give pages back.
    bool drop_pages(size_t first, size_t end)
    {
        return !mHeap && ObjBlockDropPages(mData, mCapacity * sizeof(T), first * sizeof(T), end * sizeof(T));
    }
    // The room past the items goes back to the system (see drop_pages): a
    // large page written in part holds much more than the items.
    void drop_spare() { drop_pages(mSize, mCapacity); }
    // Whether drop_pages gives pages back.
    bool drops_pages() const { return !mHeap && ObjBlockDropPages(mData, mCapacity * sizeof(T), 0, 0); }
    // Appends an item in room made by reserve_more.
    void push_reserved(const T& item) { mData[mSize++] = item; }
    void clear() { mSize = 0; }
    // Frees the storage.
    void release()
    {
        Free();
        mData = nullptr;
        mSize = mCapacity = 0;
    }
    // Heap storage only: gives the storage (null when there is none) to the
    // caller, who frees it with free; the array is left empty.
    T* detach()
    {
        T* data = mData;
        mData = nullptr;
        mSize = mCapacity = 0;
        return data;
    }
    // Exchanges the items (and storage, with its kind) of the two arrays.
    void swap(KObjPodArray& other) noexcept
    {
        std::swap(mData, other.mData);
        std::swap(mSize, other.mSize);
        std::swap(mCapacity, other.mCapacity);
        std::swap(mHeap, other.mHeap);
    }
    // Drops the items from index count on; count must not exceed size().
    void truncate(size_t count) { mSize = count; }
    size_t size() const { return mSize; }
    size_t capacity() const { return mCapacity; }
    bool heap() const { return mHeap; }
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
        if (mHeap && capacity * sizeof(T) < kObjHeapMappedLeast && capacity * sizeof(T) >= (size_t(1) << 20))
            capacity = kObjHeapMappedLeast / sizeof(T);
        void* grown = mHeap ? ObjHeapResize(static_cast<void*>(mData), mCapacity * sizeof(T), capacity * sizeof(T))
                            : ObjBlockResize(static_cast<void*>(mData), mCapacity * sizeof(T), capacity * sizeof(T));
        if (!grown)
            return false;
        mData = static_cast<T*>(grown);
        mCapacity = capacity;
        return true;
    }

    void Free()
    {
        if (mHeap)
            std::free(mData);
        else
            ObjBlockFree(mData, mCapacity * sizeof(T));
    }

    T* mData = nullptr;
    size_t mSize = 0;
    size_t mCapacity = 0;
    bool mHeap = false;
};

} // namespace qoxsdk_600

#endif
