#ifndef QOX_FORMATS_DXF_KQOXDXFMEMORY_H
#define QOX_FORMATS_DXF_KQOXDXFMEMORY_H

// Memory for the DXF reader's large arrays (the file's bytes, the weld
// table): elements are not filled on allocation, and a large block is asked
// for in huge pages where the system has them, which saves most of the page
// faults of filling it and, for tables read at random, most misses of the
// address translation cache.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace qoxsdk_600 {

// bytes of memory released with std::free; null when there is none.
void* DxfAllocateLarge(size_t bytes);

template <typename T>
struct KDxfLargeAllocator
{
    using value_type = T;
    KDxfLargeAllocator() = default;
    template <typename U>
    KDxfLargeAllocator(const KDxfLargeAllocator<U>&)
    {}
    T* allocate(size_t count)
    {
        if (count > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        void* memory = DxfAllocateLarge(count * sizeof(T));
        if (!memory)
            throw std::bad_alloc(); // as the standard allocator does
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, size_t) { std::free(memory); }
    // A value made without arguments is default-initialised: a resize
    // leaves plain elements as they are, to be written over.
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args)
    {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(at)) U;
        else
            ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const KDxfLargeAllocator<U>&) const
    {
        return true;
    }
    template <typename U>
    bool operator!=(const KDxfLargeAllocator<U>&) const
    {
        return false;
    }
};

// Makes room in a growing array for extra more elements. Capacity grows
// fourfold while the array is below 64 MB and twice past that, so the large
// arrays are copied (and their new pages faulted in) less often; capacity
// never written costs address space only.
template <typename Values>
void DxfMakeRoom(Values& values, size_t extra)
{
    if (values.capacity() - values.size() >= extra)
        return;
    const size_t capacity = values.capacity();
    const bool small = capacity * sizeof(typename Values::value_type) < (size_t(64) << 20);
    size_t target = capacity < 1024 ? 4096 : capacity * (small ? 4 : 2);
    if (target < values.size() + extra)
        target = values.size() + extra;
    values.reserve(target);
}

// Asks for the memory some way past the end of a growing array ahead of
// its writing: a reader appends to several arrays at once, more streams
// than the processor follows by itself.
template <typename Values>
void DxfPrefetchEnd(const Values& values)
{
    constexpr size_t ahead = 512 / sizeof(typename Values::value_type);
    if (values.capacity() - values.size() > ahead)
        __builtin_prefetch(values.data() + values.size() + ahead, 1);
}

} // namespace qoxsdk_600

#endif
