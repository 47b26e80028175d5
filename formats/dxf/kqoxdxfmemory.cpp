#include "formats/dxf/kqoxdxfmemory.h"

#include "base/kmemorypool.h"

namespace qoxsdk_600 {

namespace {

// The size of a huge page; blocks of at least this are aligned to it.
constexpr size_t kHugePage = size_t(1) << 21;

} // namespace

void* DxfAllocateLarge(size_t bytes)
{
    if (bytes < kHugePage)
        return std::malloc(bytes == 0 ? 1 : bytes);
    // aligned_alloc wants a whole number of alignments.
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < bytes)
        return nullptr;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory)
        kAdviseLargePages(memory, rounded);
    return memory;
}

} // namespace qoxsdk_600
