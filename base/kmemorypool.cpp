#include "base/kmemorypool.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/kthreadpool_private.h"

// ===========================================================================
// Aligned allocation

namespace {

const size_t kBaseWord = sizeof(void*);

unsigned int EffectiveAlignment(unsigned int alignment)
{
    return alignment == 0 ? 1u : alignment;
}

// The first address at or after blockStart + one word that is a multiple of
// the alignment.
char* AlignedUserPointer(char* blockStart, unsigned int alignment)
{
    uintptr_t first = reinterpret_cast<uintptr_t>(blockStart) + kBaseWord;
    uintptr_t rem = first % alignment;
    if (rem != 0)
        first += alignment - rem;
    return reinterpret_cast<char*>(first);
}

void StoreBase(char* user, void* blockStart)
{
    std::memcpy(user - kBaseWord, &blockStart, kBaseWord);
}

char* LoadBase(void* user)
{
    char* blockStart;
    std::memcpy(&blockStart, static_cast<char*>(user) - kBaseWord, kBaseWord);
    return blockStart;
}

} // namespace

void kAdviseLargePages(void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t kLarge = 2u << 20;
    if (bytes < 2 * kLarge)
        return;
    uintptr_t first = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    uintptr_t last = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

KPrefaulter::KPrefaulter(void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    const uintptr_t kLarge = 2u << 20;
    if (bytes < 2 * kLarge)
        return;
    // Whole system pages only, one large page at a time so that a stop
    // request is seen soon.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
    auto fill = [this, first, last, kLarge] {
        for (uintptr_t at = first; at < last && !mStop.load(std::memory_order_relaxed);)
        {
            const uintptr_t next = std::min(last, (at + kLarge) & ~(kLarge - 1));
            if (madvise(reinterpret_cast<void*>(at), next - at, MADV_POPULATE_WRITE) != 0)
                return; // not supported here: the copy faults as usual
            at = next;
        }
    };
    mHelper.reset(new KPoolJobs);
    if (!mHelper->Start(fill))
        mHelper.reset();
#else
    (void)data;
    (void)bytes;
#endif
}

KPrefaulter::~KPrefaulter()
{
    mStop = true;
    if (mHelper)
        mHelper->Wait();
}

void* kMallocAligned(unsigned int size, unsigned int alignment)
{
    alignment = EffectiveAlignment(alignment);
    char* blockStart = static_cast<char*>(std::malloc(size_t(size) + alignment + kBaseWord));
    if (!blockStart)
        return nullptr;
    char* user = AlignedUserPointer(blockStart, alignment);
    StoreBase(user, blockStart);
    return user;
}

void kFreeAligned(void* p)
{
    if (p)
        std::free(LoadBase(p));
}

void* kReallocAligned(void* p, unsigned int size, unsigned int alignment)
{
    if (size == 0)
    {
        kFreeAligned(p);
        return nullptr;
    }
    if (!p)
        return kMallocAligned(size, alignment);

    alignment = EffectiveAlignment(alignment);
    char* oldStart = LoadBase(p);
    size_t oldOffset = static_cast<size_t>(static_cast<char*>(p) - oldStart);

    // The data still sits at its old offset after realloc, and that offset
    // came from the old alignment, which may be larger than the new one: the
    // block must reach past the data there too.
    size_t wholeSize = std::max(size_t(size) + alignment + kBaseWord, oldOffset + size);
    char* newStart = static_cast<char*>(std::realloc(oldStart, wholeSize));
    if (!newStart)
        return nullptr; // the old block is untouched

    char* user = AlignedUserPointer(newStart, alignment);
    size_t newOffset = static_cast<size_t>(user - newStart);
    if (newOffset != oldOffset)
        std::memmove(user, newStart + oldOffset, size);
    StoreBase(user, newStart);
    return user;
}

void* kMallocAlignedDbg(unsigned int size, unsigned int alignment, int, const char*, int)
{
    return kMallocAligned(size, alignment);
}

void* kReallocAlignedDbg(void* p, unsigned int size, unsigned int alignment, int, const char*, int)
{
    return kReallocAligned(p, size, alignment);
}

void kFreeAlignedDbg(void* p, int)
{
    kFreeAligned(p);
}

// ===========================================================================
// KMemoryPool

namespace {

// Reads one word of the head without tearing it.
inline uintptr_t LoadWord(const uintptr_t* word)
{
    return __atomic_load_n(word, __ATOMIC_ACQUIRE);
}

} // namespace

// Double-width compare-and-swap of the head. On failure `expected` receives
// the value found.
#if defined(__x86_64__)
static inline bool CasHead(uintptr_t* cell, uintptr_t expected[2], uintptr_t first, uintptr_t counter)
{
    bool ok;
    __asm__ __volatile__("lock cmpxchg16b %1\n\tsete %0"
                         : "=q"(ok), "+m"(*reinterpret_cast<unsigned __int128*>(cell)), "+a"(expected[0]),
                           "+d"(expected[1])
                         : "b"(first), "c"(counter)
                         : "memory", "cc");
    return ok;
}
#elif UINTPTR_MAX == 0xFFFFFFFFu
static inline bool CasHead(uintptr_t* cell, uintptr_t expected[2], uintptr_t first, uintptr_t counter)
{
    // 32-bit pointers: pointer and counter fit one 64-bit word.
    uint64_t want, seen;
    std::memcpy(&seen, expected, sizeof seen);
    uintptr_t desired[2] = {first, counter};
    std::memcpy(&want, desired, sizeof want);
    bool ok = __atomic_compare_exchange_n(reinterpret_cast<uint64_t*>(cell), &seen, want, false, __ATOMIC_ACQ_REL,
                                          __ATOMIC_ACQUIRE);
    std::memcpy(expected, &seen, sizeof seen);
    return ok;
}
#else
static inline bool CasHead(uintptr_t* cell, uintptr_t expected[2], uintptr_t first, uintptr_t counter)
{
    // Other 64-bit targets: the compiler's 16-byte atomic (may need libatomic).
    unsigned __int128 seen, want;
    std::memcpy(&seen, expected, sizeof seen);
    uintptr_t desired[2] = {first, counter};
    std::memcpy(&want, desired, sizeof want);
    bool ok = __atomic_compare_exchange_n(reinterpret_cast<unsigned __int128*>(cell), &seen, want, false,
                                          __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    std::memcpy(expected, &seen, sizeof seen);
    return ok;
}
#endif

KMemoryPool::KMemoryPool(unsigned int blockSize, unsigned int initialCount, unsigned int alignment, bool grow)
    : mFreeCount(0)
    , mHead(nullptr)
    , mBlockSize(0)
    , mAlignment(0)
    , mGrow(false)
{
    mHead = new (std::nothrow) KHead;
    if (mHead)
    {
        mHead->mFirst = 0;
        mHead->mCounter = 0;
    }
    if (blockSize != 0)
        Init(blockSize, initialCount, alignment, grow);
}

KMemoryPool::~KMemoryPool()
{
    Clear();
    delete mHead;
}

// A block carries its free-list link in a word just before the address the
// pool hands out, a word only the pool touches and always atomically: a Pop
// may read the link of a block another thread has just taken (the counter
// then fails its swap), and that owner writes only past the word, so the
// stale read is well defined. The room before the address keeps it aligned
// as the pool promises (as malloc does when the pool has no alignment).
size_t KMemoryPool::LinkRoom() const
{
    if (mAlignment == 0)
        return alignof(std::max_align_t);
    return (sizeof(uintptr_t) + mAlignment - 1) / mAlignment * mAlignment;
}

uintptr_t* KMemoryPool::LinkOf(uintptr_t block)
{
    return reinterpret_cast<uintptr_t*>(block) - 1;
}

void* KMemoryPool::NewBlock() const
{
    const size_t room = LinkRoom();
    char* start = static_cast<char*>(mAlignment != 0 ? kMallocAligned(mBlockSize + room, mAlignment)
                                                     : std::malloc(mBlockSize + room));
    return start ? start + room : nullptr;
}

void KMemoryPool::DeleteBlock(void* block) const
{
    char* start = static_cast<char*>(block) - LinkRoom();
    if (mAlignment != 0)
        kFreeAligned(start);
    else
        std::free(start);
}

void* KMemoryPool::Pop()
{
    if (!mHead)
        return nullptr;
    uintptr_t seen[2] = {LoadWord(&mHead->mFirst), LoadWord(&mHead->mCounter)};
    for (;;)
    {
        if (seen[0] == 0)
            return nullptr;
        // The block may be taken by another thread meanwhile; then its link
        // is stale but the counter makes the swap below fail. Acquire pairs
        // with Push's release: whoever pops a block sees what was written
        // to it before it was pushed.
        uintptr_t next = __atomic_load_n(LinkOf(seen[0]), __ATOMIC_ACQUIRE);
        uintptr_t block = seen[0];
        if (CasHead(&mHead->mFirst, seen, next, seen[1] + 1))
        {
            mFreeCount.fetch_sub(1);
            return reinterpret_cast<void*>(block);
        }
    }
}

void KMemoryPool::Push(void* block)
{
    uintptr_t seen[2] = {LoadWord(&mHead->mFirst), LoadWord(&mHead->mCounter)};
    uintptr_t* link = LinkOf(reinterpret_cast<uintptr_t>(block));
    for (;;)
    {
        __atomic_store_n(link, seen[0], __ATOMIC_RELEASE);
        if (CasHead(&mHead->mFirst, seen, reinterpret_cast<uintptr_t>(block), seen[1] + 1))
            break;
    }
    mFreeCount.fetch_add(1);
}

void KMemoryPool::Init(unsigned int blockSize, unsigned int initialCount, unsigned int alignment, bool grow)
{
    if (mFreeCount.load() != 0)
        Clear();
    mBlockSize = blockSize;
    mAlignment = alignment;
    mGrow = grow;
    if (!mHead)
        return;
    for (unsigned int i = 0; i < initialCount; ++i)
    {
        void* block = NewBlock();
        if (!block)
            break;
        Push(block);
    }
}

void* KMemoryPool::Allocate()
{
    void* block = Pop();
    if (!block && mGrow && mBlockSize != 0)
        block = NewBlock();
    return block;
}

void KMemoryPool::Free(void* block)
{
    if (block && mHead)
        Push(block);
}

void KMemoryPool::Clear()
{
    while (void* block = Pop())
        DeleteBlock(block);
    mFreeCount.store(0);
    mBlockSize = 0;
    mGrow = false;
}

// ===========================================================================
// KMemoryReusePool

namespace {

const unsigned int kHeaderSize = 8; // u32 block size, u8 gap, 3 spare bytes
const int kMaxAlignmentShift = 8;   // the gap length must fit one byte

inline unsigned int ReadBlockSize(const char* user)
{
    uint32_t size;
    std::memcpy(&size, user - 8, sizeof size);
    return size;
}

inline unsigned int ReadGap(const char* user)
{
    return static_cast<unsigned char>(user[-4]);
}

inline void*& NextLink(void* blockStart)
{
    return *static_cast<void**>(blockStart);
}

inline void SubtractFloor(size_t& total, size_t amount)
{
    total = total > amount ? total - amount : 0;
}

} // namespace

void* KMemoryReusePool::KXAllocStd::Alloc(unsigned int size)
{
    return std::malloc(size);
}

void* KMemoryReusePool::KXAllocStd::Realloc(void* p, unsigned int size)
{
    return std::realloc(p, size);
}

void KMemoryReusePool::KXAllocStd::Free(void* p)
{
    std::free(p);
}

KArrayTemplate<KMemoryReusePool*>* KMemoryReusePool::GlobalMemoryReusePools = nullptr;

namespace {
unsigned int gListGeneration = 0;
}

unsigned int KMemoryReusePool::ComputeRightShiftRemainder(int n)
{
    if (n <= 0)
        return 0;
    if (n >= 32)
        return 0xFFFFFFFFu;
    return (1u << n) - 1u;
}

KMemoryReusePool::KMemoryReusePool(unsigned int largestSize, int shift, int alignmentShift, unsigned int cacheLimit)
    : mLock(new (std::nothrow) std::recursive_mutex)
    , mClassHeads(nullptr)
    , mLargestSize(largestSize)
    , mClassCount(0)
    , mShift(std::min(std::max(shift, 0), 31))
    , mRemainderMask(0)
    , mAlignmentShift(std::min(std::max(alignmentShift, 0), kMaxAlignmentShift))
    , mCacheLimit(cacheLimit)
    , mBytesInBlocks(0)
    , mBlockCount(0)
{
    mRemainderMask = ComputeRightShiftRemainder(mShift);
    unsigned int count = largestSize >> mShift;
    if (count != 0 && mLock)
    {
        mClassHeads = static_cast<void**>(std::calloc(count, sizeof(void*)));
        if (mClassHeads)
            mClassCount = count; // without the array nothing is cached
    }
}

KMemoryReusePool::~KMemoryReusePool()
{
    Purge();
    std::free(mClassHeads);
    delete mLock;
}

void* KMemoryReusePool::Alloc(IXAlloc& allocator, unsigned int size)
{
    const uint64_t align = uint64_t(1) << mAlignmentShift;
    const uint64_t raw = uint64_t(kHeaderSize) + size + align - 1;
    const uint64_t classIndex = (raw + mRemainderMask) >> mShift;
    const uint64_t wanted = classIndex << mShift;
    if (wanted > 0xFFFFFFFFu)
        return nullptr; // the header records the block size in 32 bits
    const unsigned int blockSize = static_cast<unsigned int>(wanted);

    char* blockStart = nullptr;
    if (blockSize >= kHeaderSize && blockSize < mLargestSize && classIndex < mClassCount)
    {
        std::lock_guard<std::recursive_mutex> guard(*mLock);
        void*& head = mClassHeads[classIndex];
        if (head)
        {
            blockStart = static_cast<char*>(head);
            head = NextLink(head);
        }
    }
    if (!blockStart)
    {
        blockStart = static_cast<char*>(allocator.Alloc(blockSize));
        if (!blockStart)
            return nullptr;
        if (mLock)
        {
            std::lock_guard<std::recursive_mutex> guard(*mLock);
            mBytesInBlocks += blockSize;
            mBlockCount += 1;
        }
    }

    uintptr_t afterHeader = reinterpret_cast<uintptr_t>(blockStart) + kHeaderSize;
    unsigned int gap = static_cast<unsigned int>((align - afterHeader % align) % align);
    char* header = blockStart + gap;
    uint32_t size32 = blockSize;
    std::memcpy(header, &size32, sizeof size32);
    header[4] = static_cast<char>(gap);
    return header + kHeaderSize;
}

void KMemoryReusePool::Free(IXAlloc& allocator, void* p)
{
    if (!p)
        return;
    char* user = static_cast<char*>(p);
    const unsigned int blockSize = ReadBlockSize(user);
    const unsigned int gap = ReadGap(user);
    char* blockStart = user - kHeaderSize - gap;
    const unsigned int classIndex = blockSize >> mShift;

    if (mLock)
    {
        std::lock_guard<std::recursive_mutex> guard(*mLock);
        if (blockSize >= kHeaderSize && blockSize < mLargestSize && classIndex < mClassCount &&
            (mCacheLimit == 0 || mBytesInBlocks <= mCacheLimit))
        {
            NextLink(blockStart) = mClassHeads[classIndex];
            mClassHeads[classIndex] = blockStart;
            return;
        }
    }

    allocator.Free(blockStart);
    if (mLock)
    {
        std::lock_guard<std::recursive_mutex> guard(*mLock);
        SubtractFloor(mBytesInBlocks, blockSize);
        SubtractFloor(mBlockCount, 1);
    }
}

void* KMemoryReusePool::Realloc(IXAlloc& allocator, void* p, unsigned int size)
{
    void* block = Alloc(allocator, size);
    if (!block)
        return nullptr; // p stays valid and unchanged
    if (p)
    {
        const char* user = static_cast<const char*>(p);
        unsigned int capacity = ReadBlockSize(user) - kHeaderSize - ReadGap(user);
        std::memcpy(block, p, std::min(size, capacity));
        Free(allocator, p);
    }
    return block;
}

void KMemoryReusePool::Purge()
{
    if (!mLock)
        return;
    std::lock_guard<std::recursive_mutex> guard(*mLock);
    for (unsigned int i = 0; i < mClassCount; ++i)
    {
        void* block = mClassHeads[i];
        while (block)
        {
            void* next = NextLink(block);
            std::free(block);
            // Only the purged blocks leave the totals; blocks still in use
            // keep counting toward the cache limit.
            SubtractFloor(mBytesInBlocks, size_t(i) << mShift);
            SubtractFloor(mBlockCount, 1);
            block = next;
        }
        mClassHeads[i] = nullptr;
    }
}

bool KMemoryReusePool::InitAll()
{
    if (GlobalMemoryReusePools)
        return true; // already running
    GlobalMemoryReusePools = new (std::nothrow) KArrayTemplate<KMemoryReusePool*>;
    if (!GlobalMemoryReusePools)
        return false;
    ++gListGeneration;
    Create(0x20000, 2, 0, 0);
    return true;
}

KMemoryReusePool* KMemoryReusePool::GetDefault()
{
    if (!GlobalMemoryReusePools || GlobalMemoryReusePools->GetCount() == 0)
        return nullptr;
    return (*GlobalMemoryReusePools)[0];
}

KMemoryReusePool* KMemoryReusePool::Create(unsigned int largestSize, int shift, int alignmentShift,
                                           unsigned int cacheLimit)
{
    if (!GlobalMemoryReusePools)
        return nullptr;
    KMemoryReusePool* pool = new (std::nothrow) KMemoryReusePool(largestSize, shift, alignmentShift, cacheLimit);
    if (!pool)
        return nullptr;
    if (!pool->mLock)
    {
        delete pool;
        return nullptr;
    }
    if (GlobalMemoryReusePools->Add(pool) < 0)
    {
        delete pool;
        return nullptr;
    }
    return pool;
}

void KMemoryReusePool::Destroy(KMemoryReusePool* pool)
{
    if (!pool || pool == GetDefault())
        return;
    if (GlobalMemoryReusePools)
    {
        int index = GlobalMemoryReusePools->Find(pool);
        if (index >= 0)
            GlobalMemoryReusePools->RemoveAt(index);
    }
    delete pool;
}

void KMemoryReusePool::PurgeAll()
{
    if (!GlobalMemoryReusePools)
        return;
    for (int i = 0; i < GlobalMemoryReusePools->GetCount(); ++i)
        (*GlobalMemoryReusePools)[i]->Purge();
}

void KMemoryReusePool::DestroyAll()
{
    if (!GlobalMemoryReusePools)
        return;
    PurgeAll();
    for (int i = 0; i < GlobalMemoryReusePools->GetCount(); ++i)
        delete (*GlobalMemoryReusePools)[i];
    delete GlobalMemoryReusePools;
    GlobalMemoryReusePools = nullptr;
    ++gListGeneration;
}

unsigned int KMemoryReusePool::GetListGeneration()
{
    return gListGeneration;
}

// ===========================================================================
// System queries

unsigned int KLib_GetPageSize()
{
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<unsigned int>(size) : 4096u;
}

unsigned long KLib_GetMaxFreeSize()
{
    struct sysinfo info;
    if (sysinfo(&info) != 0)
        return 0;
    return static_cast<unsigned long>(info.freeram) + static_cast<unsigned long>(info.freeswap);
}
