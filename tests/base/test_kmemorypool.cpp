#include "base/kmemorypool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace {

uintptr_t Addr(const void* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

unsigned int HeaderBlockSize(const void* p)
{
    uint32_t size;
    std::memcpy(&size, static_cast<const char*>(p) - 8, sizeof size);
    return size;
}

unsigned int HeaderGap(const void* p)
{
    return static_cast<const unsigned char*>(p)[-4];
}

// malloc/free that counts its calls, remembers the last block it gave out
// and can be told to fail.
class CountingAlloc : public KMemoryReusePool::IXAlloc
{
public:
    void* Alloc(unsigned int size) override
    {
        if (mFail)
            return nullptr;
        ++mAllocs;
        mLast = std::malloc(size);
        return mLast;
    }
    void* Realloc(void* p, unsigned int size) override { return std::realloc(p, size); }
    void Free(void* p) override
    {
        ++mFrees;
        std::free(p);
    }

    std::atomic<int> mAllocs{0};
    std::atomic<int> mFrees{0};
    void* mLast = nullptr;
    bool mFail = false;
};

}  // namespace

// ---------------------------------------------------------------------------
// Aligned allocation

TEST(KAlignedAllocTest, AlignmentAndStoredBase)
{
    for (unsigned int alignment : {1u, 2u, 8u, 16u, 64u, 256u, 4096u})
    {
        void* p = kMallocAligned(100, alignment);
        ASSERT_NE(p, nullptr) << alignment;
        EXPECT_EQ(Addr(p) % alignment, 0u) << alignment;
        // The word before P holds the block start, which lies before P by at
        // least one word and less than alignment + one word.
        uintptr_t base;
        std::memcpy(&base, static_cast<char*>(p) - sizeof(void*), sizeof base);
        EXPECT_GE(Addr(p) - base, sizeof(void*));
        EXPECT_LT(Addr(p) - base, alignment + sizeof(void*));
        std::memset(p, 0xAB, 100);
        kFreeAligned(p);
    }
    // An alignment of 0 behaves as byte alignment.
    void* p = kMallocAligned(10, 0);
    ASSERT_NE(p, nullptr);
    kFreeAligned(p);
    kFreeAligned(nullptr);
}

TEST(KAlignedAllocTest, ReallocKeepsDataAndAlignment)
{
    unsigned char* p = static_cast<unsigned char*>(kMallocAligned(100, 16));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Addr(p) % 16, 0u);
    for (int i = 0; i < 100; ++i)
        p[i] = static_cast<unsigned char>(i * 7 + 1);

    unsigned char* q = static_cast<unsigned char*>(kReallocAligned(p, 100000, 16));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(Addr(q) % 16, 0u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7 + 1)) << i;

    // A larger alignment moves the data inside the reallocated block.
    unsigned char* r = static_cast<unsigned char*>(kReallocAligned(q, 200, 4096));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Addr(r) % 4096, 0u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(r[i], static_cast<unsigned char>(i * 7 + 1)) << i;

    // Shrinking keeps the leading bytes.
    unsigned char* s = static_cast<unsigned char*>(kReallocAligned(r, 10, 32));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Addr(s) % 32, 0u);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(s[i], static_cast<unsigned char>(i * 7 + 1)) << i;

    // Size 0 frees and answers null; a null block allocates.
    EXPECT_EQ(kReallocAligned(s, 0, 32), nullptr);
    void* t = kReallocAligned(nullptr, 50, 64);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Addr(t) % 64, 0u);
    kFreeAligned(t);
}

TEST(KAlignedAllocTest, DebugFormsBehaveAlike)
{
    void* p = kMallocAlignedDbg(40, 32, 1, "file.cpp", 12);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Addr(p) % 32, 0u);
    std::memset(p, 5, 40);
    p = kReallocAlignedDbg(p, 80, 32, 1, "file.cpp", 13);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(p)[39], 5);
    kFreeAlignedDbg(p, 1);
}

// ---------------------------------------------------------------------------
// KMemoryPool

TEST(KMemoryPoolTest, FixedPoolHandsOutItsBlocksOnly)
{
    KMemoryPool pool(32, 4, 0, false);
    std::set<void*> blocks;
    for (int i = 0; i < 4; ++i)
    {
        void* p = pool.Allocate();
        ASSERT_NE(p, nullptr);
        std::memset(p, i, 32);
        blocks.insert(p);
    }
    EXPECT_EQ(blocks.size(), 4u);
    EXPECT_EQ(pool.Allocate(), nullptr);  // empty and not growing

    void* back = *blocks.begin();
    pool.Free(back);
    EXPECT_EQ(pool.Allocate(), back);  // last freed, first reused
    for (void* p : blocks)
        pool.Free(p);
}

TEST(KMemoryPoolTest, GrowAlignmentAndTinyBlocks)
{
    KMemoryPool grow(24, 0, 0, true);
    void* a = grow.Allocate();
    void* b = grow.Allocate();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    grow.Free(a);
    grow.Free(b);

    KMemoryPool aligned(100, 3, 64, true);
    std::vector<void*> held;
    for (int i = 0; i < 6; ++i)  // three from the list, three grown
    {
        void* p = aligned.Allocate();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Addr(p) % 64, 0u);
        held.push_back(p);
    }
    for (void* p : held)
        aligned.Free(p);

    // Blocks shorter than a pointer still hold the free-list link.
    KMemoryPool tiny(1, 3, 0, false);
    void* t[3];
    for (void*& p : t)
        ASSERT_NE(p = tiny.Allocate(), nullptr);
    EXPECT_EQ(tiny.Allocate(), nullptr);
    for (void* p : t)
        tiny.Free(p);
}

TEST(KMemoryPoolTest, ClearAndInitAgain)
{
    KMemoryPool pool(0);  // block size 0: nothing until Init
    EXPECT_EQ(pool.Allocate(), nullptr);

    pool.Init(16, 2, 0, false);
    void* a = pool.Allocate();
    ASSERT_NE(a, nullptr);
    pool.Free(a);
    pool.Clear();  // frees the list and stops growing
    EXPECT_EQ(pool.Allocate(), nullptr);

    pool.Init(48, 1, 16, false);
    void* b = pool.Allocate();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Addr(b) % 16, 0u);
    EXPECT_EQ(pool.Allocate(), nullptr);
    pool.Free(b);
    // Init over a pool that still holds free blocks clears it first.
    pool.Init(8, 2, 0, false);
    void* c = pool.Allocate();
    void* d = pool.Allocate();
    EXPECT_NE(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(pool.Allocate(), nullptr);
    pool.Free(c);
    pool.Free(d);
}

TEST(KMemoryPoolTest, ConcurrentAllocateFreeLosesAndDuplicatesNothing)
{
    const int kBlocks = 64;
    const int kBlockSize = 64;
    const int kThreads = 8;
    const int kHeld = 4;  // 8 x 4 < 64: a fixed pool never runs dry
    const int kRounds = 20000;
    KMemoryPool pool(kBlockSize, kBlocks, 0, false);

    std::atomic<int> nulls{0};
    std::atomic<int> clobbered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&, t] {
            const unsigned char tag = static_cast<unsigned char>(t + 1);
            unsigned char* held[kHeld];
            for (int round = 0; round < kRounds; ++round)
            {
                const int n = 1 + (round + t) % kHeld;
                for (int i = 0; i < n; ++i)
                {
                    held[i] = static_cast<unsigned char*>(pool.Allocate());
                    if (!held[i])
                    {
                        ++nulls;
                        continue;
                    }
                    std::memset(held[i], tag, kBlockSize);
                }
                for (int i = 0; i < n; ++i)
                {
                    if (!held[i])
                        continue;
                    // A block handed to two threads at once would be overwritten.
                    for (int k = 0; k < kBlockSize; ++k)
                        if (held[i][k] != tag)
                        {
                            ++clobbered;
                            break;
                        }
                    pool.Free(held[i]);
                }
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(nulls.load(), 0);
    EXPECT_EQ(clobbered.load(), 0);

    // Every block is back exactly once.
    std::set<void*> all;
    for (int i = 0; i < kBlocks; ++i)
    {
        void* p = pool.Allocate();
        ASSERT_NE(p, nullptr) << i;
        all.insert(p);
    }
    EXPECT_EQ(all.size(), size_t(kBlocks));
    EXPECT_EQ(pool.Allocate(), nullptr);
    for (void* p : all)
        pool.Free(p);
}

// ---------------------------------------------------------------------------
// KMemoryReusePool

TEST(KMemoryReusePoolTest, ShiftRemainder)
{
    EXPECT_EQ(KMemoryReusePool::ComputeRightShiftRemainder(-3), 0u);
    EXPECT_EQ(KMemoryReusePool::ComputeRightShiftRemainder(0), 0u);
    EXPECT_EQ(KMemoryReusePool::ComputeRightShiftRemainder(2), 3u);
    EXPECT_EQ(KMemoryReusePool::ComputeRightShiftRemainder(5), 31u);
}

TEST(KMemoryReusePoolTest, DefaultPoolReusesSameClass)
{
    ASSERT_TRUE(KMemoryReusePool::InitAll());
    KMemoryReusePool* pool = KMemoryReusePool::GetDefault();
    ASSERT_NE(pool, nullptr);
    CountingAlloc alloc;

    void* a = pool->Alloc(alloc, 10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(HeaderBlockSize(a), 20u);  // 8 + 10 rounded up to a multiple of 4
    EXPECT_EQ(HeaderGap(a), 0u);
    EXPECT_EQ(static_cast<char*>(a) - 8, alloc.mLast);
    pool->Free(alloc, a);
    EXPECT_EQ(alloc.mFrees.load(), 0);  // cached

    void* b = pool->Alloc(alloc, 9);  // 17 -> 20: the same class
    EXPECT_EQ(b, a);
    EXPECT_EQ(alloc.mAllocs.load(), 1);
    void* c = pool->Alloc(alloc, 13);  // 21 -> 24: another class, a new block
    EXPECT_NE(c, a);
    EXPECT_EQ(HeaderBlockSize(c), 24u);
    EXPECT_EQ(alloc.mAllocs.load(), 2);
    pool->Free(alloc, b);
    pool->Free(alloc, c);
    pool->Free(alloc, nullptr);
    KMemoryReusePool::DestroyAll();
}

TEST(KMemoryReusePoolTest, LargeBlocksAreNeverCached)
{
    KMemoryReusePool pool(0x20000, 2, 0, 0);
    CountingAlloc alloc;

    void* big = pool.Alloc(alloc, 0x20000);
    ASSERT_NE(big, nullptr);
    pool.Free(alloc, big);
    EXPECT_EQ(alloc.mFrees.load(), 1);

    // Just under the largest size (block 0x1FFFC) is still cached.
    void* under = pool.Alloc(alloc, 0x20000 - 8 - 4);
    ASSERT_NE(under, nullptr);
    EXPECT_EQ(HeaderBlockSize(under), 0x1FFFCu);
    pool.Free(alloc, under);
    EXPECT_EQ(alloc.mFrees.load(), 1);
    EXPECT_EQ(pool.Alloc(alloc, 0x20000 - 8 - 4), under);
    pool.Free(alloc, under);
}

TEST(KMemoryReusePoolTest, CacheLimitSendsBlocksBack)
{
    KMemoryReusePool pool(0x20000, 2, 0, 1000);
    CountingAlloc alloc;
    void* a = pool.Alloc(alloc, 992);  // 1000-byte blocks: 2000 bytes in blocks
    void* b = pool.Alloc(alloc, 992);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);

    pool.Free(alloc, a);  // 2000 > 1000: back to the allocator
    EXPECT_EQ(alloc.mFrees.load(), 1);
    pool.Free(alloc, b);  // 1000 is not above the limit: cached
    EXPECT_EQ(alloc.mFrees.load(), 1);
    EXPECT_EQ(pool.Alloc(alloc, 992), b);
    pool.Free(alloc, b);
}

TEST(KMemoryReusePoolTest, AlignmentShiftAndGapByte)
{
    for (int shift : {4, 6, 8})
    {
        const unsigned int align = 1u << shift;
        KMemoryReusePool pool(0x20000, 2, shift, 0);
        CountingAlloc alloc;
        std::vector<void*> held;
        for (unsigned int size : {1u, 7u, 31u, 100u, 1000u})
        {
            void* p = pool.Alloc(alloc, size);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(Addr(p) % align, 0u) << shift << " " << size;
            char* start = static_cast<char*>(alloc.mLast);
            EXPECT_EQ(static_cast<char*>(p) - 8 - HeaderGap(p), start);
            EXPECT_LT(HeaderGap(p), align);
            EXPECT_EQ(HeaderBlockSize(p), (8 + size + align - 1 + 3) / 4 * 4);
            std::memset(p, 0x5A, size);
            held.push_back(p);
        }
        // A cached block is placed again with its own gap.
        pool.Free(alloc, held[2]);
        void* again = pool.Alloc(alloc, 31);
        EXPECT_EQ(again, held[2]);
        for (void* p : held)
            pool.Free(alloc, p);
    }
}

TEST(KMemoryReusePoolTest, ReallocCopiesAndKeepsOldBlockOnFailure)
{
    KMemoryReusePool pool(0x20000, 2, 0, 0);
    CountingAlloc alloc;

    unsigned char* p = static_cast<unsigned char*>(pool.Realloc(alloc, nullptr, 10));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 10; ++i)
        p[i] = static_cast<unsigned char>(i + 1);

    unsigned char* q = static_cast<unsigned char*>(pool.Realloc(alloc, p, 300));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(q[i], i + 1);
    unsigned char* r = static_cast<unsigned char*>(pool.Realloc(alloc, q, 4));
    ASSERT_NE(r, nullptr);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(r[i], i + 1);

    // The old 10-byte block went to the cache and comes back for 10 bytes.
    EXPECT_EQ(pool.Alloc(alloc, 10), p);
    pool.Free(alloc, p);

    // A failed reallocation answers null and leaves the old block alone:
    // not freed, not cached, data intact.
    const int freesBefore = alloc.mFrees.load();
    alloc.mFail = true;
    EXPECT_EQ(pool.Realloc(alloc, r, 5000), nullptr);
    alloc.mFail = false;
    EXPECT_EQ(alloc.mFrees.load(), freesBefore);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(r[i], i + 1);
    void* fresh = pool.Alloc(alloc, 4);  // r's class is empty: r was not cached
    EXPECT_NE(fresh, r);
    pool.Free(alloc, fresh);
    pool.Free(alloc, r);
}

TEST(KMemoryReusePoolTest, PurgeKeepsTotalsOfBlocksInUse)
{
    KMemoryReusePool pool(0x20000, 2, 0, 100);
    CountingAlloc alloc;
    void* x = pool.Alloc(alloc, 52);  // 60-byte block, stays in use
    void* z = pool.Alloc(alloc, 12);  // 20-byte block: 80 bytes in blocks
    ASSERT_NE(x, nullptr);
    ASSERT_NE(z, nullptr);
    pool.Free(alloc, z);  // cached
    EXPECT_EQ(alloc.mFrees.load(), 0);

    pool.Purge();  // only z's 20 bytes leave the total: 60 remain for x
    void* w = pool.Alloc(alloc, 52);  // a new block: 120 bytes in blocks
    EXPECT_EQ(alloc.mAllocs.load(), 3);
    pool.Free(alloc, w);  // 120 > 100: back to the allocator
    EXPECT_EQ(alloc.mFrees.load(), 1);
    pool.Free(alloc, x);  // 60: cached
    EXPECT_EQ(alloc.mFrees.load(), 1);
    EXPECT_EQ(pool.Alloc(alloc, 52), x);
    pool.Free(alloc, x);
}

TEST(KMemoryReusePoolTest, ProcessWideList)
{
    // Without a list nothing is created and the whole-list calls do nothing.
    KMemoryReusePool::DestroyAll();
    EXPECT_EQ(KMemoryReusePool::GetDefault(), nullptr);
    EXPECT_EQ(KMemoryReusePool::Create(64, 2, 0, 0), nullptr);
    KMemoryReusePool::PurgeAll();
    KMemoryReusePool::DestroyAll();

    ASSERT_TRUE(KMemoryReusePool::InitAll());
    KMemoryReusePool* def = KMemoryReusePool::GetDefault();
    ASSERT_NE(def, nullptr);
    ASSERT_NE(KMemoryReusePool::GlobalMemoryReusePools, nullptr);
    const int baseCount = KMemoryReusePool::GlobalMemoryReusePools->GetCount();
    EXPECT_EQ((*KMemoryReusePool::GlobalMemoryReusePools)[0], def);
    EXPECT_TRUE(KMemoryReusePool::InitAll());  // a second start keeps the same pools
    EXPECT_EQ(KMemoryReusePool::GetDefault(), def);

    KMemoryReusePool* extra = KMemoryReusePool::Create(256, 3, 2, 0);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(KMemoryReusePool::GlobalMemoryReusePools->GetCount(), baseCount + 1);

    CountingAlloc alloc;
    void* p = extra->Alloc(alloc, 5);
    EXPECT_EQ(Addr(p) % 4, 0u);
    extra->Free(alloc, p);
    KMemoryReusePool::PurgeAll();  // the cached block is gone: the next one is new
    const int allocsBefore = alloc.mAllocs.load();
    p = extra->Alloc(alloc, 5);
    EXPECT_EQ(alloc.mAllocs.load(), allocsBefore + 1);
    extra->Free(alloc, p);

    KMemoryReusePool::Destroy(def);  // the default pool stays
    EXPECT_EQ(KMemoryReusePool::GetDefault(), def);
    KMemoryReusePool::Destroy(extra);
    EXPECT_EQ(KMemoryReusePool::GlobalMemoryReusePools->GetCount(), baseCount);

    KMemoryReusePool::DestroyAll();
    EXPECT_EQ(KMemoryReusePool::GlobalMemoryReusePools, nullptr);
    EXPECT_EQ(KMemoryReusePool::GetDefault(), nullptr);
}

TEST(KMemoryReusePoolTest, ConcurrentAllocFreeKeepsBlocksPrivate)
{
    KMemoryReusePool pool(4096, 3, 3, 0);
    CountingAlloc alloc;
    const int kThreads = 6;
    const int kRounds = 5000;
    std::atomic<int> nulls{0};
    std::atomic<int> clobbered{0};
    std::atomic<int> misaligned{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&, t] {
            const unsigned char tag = static_cast<unsigned char>(0x10 + t);
            unsigned int seed = 12345u + unsigned(t);
            unsigned char* held[3];
            unsigned int sizes[3];
            for (int round = 0; round < kRounds; ++round)
            {
                for (int i = 0; i < 3; ++i)
                {
                    seed = seed * 1103515245u + 12345u;
                    sizes[i] = 1 + (seed >> 16) % 5000;  // some above the cached range
                    held[i] = static_cast<unsigned char*>(pool.Alloc(alloc, sizes[i]));
                    if (!held[i])
                    {
                        ++nulls;
                        continue;
                    }
                    if (Addr(held[i]) % 8 != 0)
                        ++misaligned;
                    std::memset(held[i], tag, sizes[i]);
                }
                for (int i = 0; i < 3; ++i)
                {
                    if (!held[i])
                        continue;
                    for (unsigned int k = 0; k < sizes[i]; ++k)
                        if (held[i][k] != tag)
                        {
                            ++clobbered;
                            break;
                        }
                    pool.Free(alloc, held[i]);
                }
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(nulls.load(), 0);
    EXPECT_EQ(clobbered.load(), 0);
    EXPECT_EQ(misaligned.load(), 0);
}

TEST(KMemoryReusePoolTest, SystemQueries)
{
    unsigned int page = KLib_GetPageSize();
    EXPECT_EQ(page, static_cast<unsigned int>(sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(page & (page - 1), 0u);
    EXPECT_GT(KLib_GetMaxFreeSize(), 0ul);
}
