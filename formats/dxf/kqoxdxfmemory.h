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

} // namespace qoxsdk_600

#endif
