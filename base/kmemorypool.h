#ifndef QOX_BASE_KMEMORYPOOL_H
#define QOX_BASE_KMEMORYPOOL_H

// Allocation helpers of the base library:
//  - aligned blocks over malloc (kMallocAligned and companions);
//  - KMemoryPool, a lock-free free list of fixed-size blocks;
//  - KMemoryReusePool, size-class caches of freed blocks shared by the
//    library, with a process-wide list whose first pool is the default one;
//  - two system queries (page size, free memory).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/karray.h"

// ---------------------------------------------------------------------------
// Aligned allocation. The caller's pointer P is a multiple of the alignment;
// the pointer-sized word just before P holds the address malloc returned for
// the whole block (size + alignment + one pointer).

// Null on failure. An alignment of 0 counts as 1.
void* kMallocAligned(unsigned int size, unsigned int alignment);
// Frees a block from kMallocAligned / kReallocAligned; null does nothing.
void kFreeAligned(void* p);
// Size 0 frees p and returns null; a null p allocates. Otherwise the whole
// block is reallocated and the data moved to the new aligned position.
// Null when the reallocation fails; the old block then stays valid.
void* kReallocAligned(void* p, unsigned int size, unsigned int alignment);

// Memory about to be filled in one sweep: asks the system (Linux) to back the
// whole 2 MiB pages inside [data, data + bytes) with large pages, which makes
// the first touch hundreds of times fewer faults. Only a hint; blocks under
// two large pages are left alone.
void kAdviseLargePages(void* data, size_t bytes);

class KPoolJobs;

// Fresh memory about to be filled by one long copy (a file read): a helper
// thread from the SDK's pool has the system back its pages meanwhile
// (Linux), so that the system's zeroing of new pages runs beside the copy
// instead of inside it. The contents are never touched, so the copy may
// overtake the helper. Blocks under two large pages, or no helper to spare,
// leave the copy to fault as usual. The destructor stops the helper and
// waits for it: keep the memory alive until then.
class KPrefaulter
{
public:
    KPrefaulter(void* data, size_t bytes);
    ~KPrefaulter();
    KPrefaulter(const KPrefaulter&) = delete;
    KPrefaulter& operator=(const KPrefaulter&) = delete;

private:
    std::atomic<bool> mStop{false};
    std::unique_ptr<KPoolJobs> mHelper;
};

// The same with allocation-tracking arguments, which are not used.
void* kMallocAlignedDbg(unsigned int size, unsigned int alignment, int blockType, const char* fileName, int line);
void* kReallocAlignedDbg(void* p, unsigned int size, unsigned int alignment, int blockType, const char* fileName,
                         int line);
void kFreeAlignedDbg(void* p, int blockType);

// ---------------------------------------------------------------------------
// Lock-free pool of fixed-size blocks. Any number of threads may allocate and
// free concurrently. Blocks go back to the system only in Clear and the
// destructor.
class KMemoryPool
{
public:
    // blockSize 0 leaves the pool empty until Init.
    KMemoryPool(unsigned int blockSize, unsigned int initialCount = 0, unsigned int alignment = 0, bool grow = true);
    ~KMemoryPool();

    KMemoryPool(const KMemoryPool&) = delete;
    KMemoryPool& operator=(const KMemoryPool&) = delete;

    // Clears the pool, stores the values and puts initialCount new blocks on
    // the free list (aligned ones when alignment is not 0).
    void Init(unsigned int blockSize, unsigned int initialCount, unsigned int alignment, bool grow);
    // Pops a free block; when the list is empty, a new block when the pool
    // grows, else null.
    void* Allocate();
    // Pushes a block taken from this pool back on the free list.
    void Free(void* block);
    // Frees every block on the free list; count, block size and grow flag reset.
    void Clear();

private:
    // First free block and a change counter, swapped together in one
    // double-width compare-and-swap so that a block popped and pushed back
    // between two reads of the head is noticed (ABA).
    struct alignas(2 * sizeof(void*)) KHead
    {
        uintptr_t mFirst;
        uintptr_t mCounter;
    };

    // Bytes before each block's address: its free-list link, then padding.
    size_t LinkRoom() const;
    static uintptr_t* LinkOf(uintptr_t block);
    void* NewBlock() const;
    void DeleteBlock(void* block) const;
    void* Pop();
    void Push(void* block);

    std::atomic<int> mFreeCount;
    KHead* mHead;
    unsigned int mBlockSize;
    unsigned int mAlignment;
    bool mGrow;
};

// ---------------------------------------------------------------------------
// Caches of freed blocks by size class. A block is laid out as
//   [alignment gap 0-255][u32 block size][u8 gap length][3 bytes][user data]
// so the user pointer is 8 bytes after the gap; the block size is the whole
// class size, header and gap included.
class KMemoryReusePool
{
public:
    // The allocator the pool draws its blocks from.
    class IXAlloc
    {
    public:
        virtual ~IXAlloc() {}
        virtual void* Alloc(unsigned int size) = 0;
        virtual void* Realloc(void* p, unsigned int size) = 0;
        virtual void Free(void* p) = 0;
    };

    // malloc, realloc and free.
    class KXAllocStd : public IXAlloc
    {
    public:
        void* Alloc(unsigned int size) override;
        void* Realloc(void* p, unsigned int size) override;
        void Free(void* p) override;
    };

    // Blocks of largestSize bytes or more are never cached; classes are
    // multiples of 2^shift bytes; user pointers are multiples of
    // 2^alignmentShift (at most 256); cacheLimit 0 means no limit on the
    // bytes held before freed blocks are given back instead of cached.
    KMemoryReusePool(unsigned int largestSize, int shift, int alignmentShift, unsigned int cacheLimit);
    ~KMemoryReusePool();

    KMemoryReusePool(const KMemoryReusePool&) = delete;
    KMemoryReusePool& operator=(const KMemoryReusePool&) = delete;

    // A block of at least size user bytes; null when the allocator fails.
    void* Alloc(IXAlloc& allocator, unsigned int size);
    // A new block of size bytes holding the old block's data (as much as
    // fits); the old block is freed. When the new block cannot be had, null
    // is returned and the old block stays valid and untouched.
    void* Realloc(IXAlloc& allocator, void* p, unsigned int size);
    // Caches the block, or gives it back to the allocator when it is too
    // large or the cache limit is exceeded. Null does nothing.
    void Free(IXAlloc& allocator, void* p);
    // Frees every cached block with free() and empties the classes.
    void Purge();

    // (2^n) - 1, 0 for n <= 0.
    static unsigned int ComputeRightShiftRemainder(int n);

    // Creates the list of pools and the default pool (blocks below 128 KiB
    // cached in 4-byte classes, byte alignment, no limit). True.
    static bool InitAll();
    // The default pool, null before InitAll.
    static KMemoryReusePool* GetDefault();
    // A new pool appended to the list; null when there is no list.
    static KMemoryReusePool* Create(unsigned int largestSize, int shift, int alignmentShift, unsigned int cacheLimit);
    // Removes and deletes a pool; the default pool stays.
    static void Destroy(KMemoryReusePool* pool);
    // Purges every pool of the list.
    static void PurgeAll();
    // Purges and deletes every pool, then the list.
    static void DestroyAll();
    // Raised each time the list is created or destroyed, so that holders of a
    // pool pointer can tell that their pool may be gone.
    static unsigned int GetListGeneration();

    // Process-wide list of pools (null until InitAll); the first is the default.
    static KArrayTemplate<KMemoryReusePool*>* GlobalMemoryReusePools;

private:
    std::recursive_mutex* mLock;
    void** mClassHeads;
    unsigned int mLargestSize;
    unsigned int mClassCount;
    int mShift;
    unsigned int mRemainderMask;
    int mAlignmentShift;
    unsigned int mCacheLimit;
    size_t mBytesInBlocks;
    size_t mBlockCount;
};

// The system page size in bytes.
unsigned int KLib_GetPageSize();
// Free main memory plus free swap, in the system's memory units.
unsigned long KLib_GetMaxFreeSize();

#endif
