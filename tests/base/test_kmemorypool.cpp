#include "base/kmemorypool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace {

uintptr_t Addr(const void* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

// The reuse pool's block header: the block size 8 bytes before the data, the
// alignment gap 4 bytes before it.
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

// malloc/free that counts its calls, remembers the last block it gave out and
// can be told to fail.
class CountingAlloc : public KMemoryReusePool::IXAlloc
{
public:
    void* Alloc(unsigned int size) override
    {
        if (mFail)
            return nullptr;
        ++mAllocs;
        return mLast = std::malloc(size);
    }
    void* Realloc(void* p, unsigned int size) override { return std::realloc(p, size); }
    void Free(void* p) override
    {
        ++mFrees;
        std::free(p);
    }
    std::atomic<int> mAllocs{0};
    std::atomic<int> mFrees{0};
    std::atomic<void*> mLast{nullptr}; // set on any thread
    bool mFail = false;
};

// Takes n blocks from the pool: all different, none null.
std::set<void*> TakeAll(KMemoryPool& pool, int n)
{
    std::set<void*> blocks;
    for (int i = 0; i < n; ++i)
        blocks.insert(pool.Allocate());
    EXPECT_EQ(blocks.size(), size_t(n));
    EXPECT_EQ(blocks.count(nullptr), 0u);
    return blocks;
}

void GiveBack(KMemoryPool& pool, const std::set<void*>& blocks)
{
    for (void* p : blocks)
        pool.Free(p);
}

// Threads that each take up to three blocks at a time, fill them with their own
// tag and check the tag before giving them back: a block handed to two threads
// at once is overwritten. Returns the number of failures seen.
int Hammer(int threads, int rounds, const std::function<void*(unsigned int)>& take,
           const std::function<void(void*)>& give, unsigned int maxSize, unsigned int alignment)
{
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
    {
        pool.emplace_back([&, t] {
            const unsigned char tag = static_cast<unsigned char>(0x10 + t);
            unsigned int seed = 12345u + unsigned(t);
            for (int round = 0; round < rounds; ++round)
            {
                unsigned char* held[3];
                unsigned int sizes[3];
                const int n = 1 + (round + t) % 3;
                for (int i = 0; i < n; ++i)
                {
                    seed = seed * 1103515245u + 12345u;
                    sizes[i] = 1 + (seed >> 16) % maxSize;
                    held[i] = static_cast<unsigned char*>(take(sizes[i]));
                    if (!held[i] || Addr(held[i]) % alignment)
                        ++failures;
                    if (held[i])
                        std::memset(held[i], tag, sizes[i]);
                }
                for (int i = 0; i < n; ++i)
                {
                    if (!held[i])
                        continue;
                    if (std::count(held[i], held[i] + sizes[i], tag) != sizes[i])
                        ++failures;
                    give(held[i]);
                }
            }
        });
    }
    for (std::thread& th : pool)
        th.join();
    return failures.load();
}

} // namespace

TEST(KAlignedAllocTest, AlignmentStoredBaseAndRealloc)
{
    for (unsigned int requested : {0u, 1u, 8u, 64u, 4096u})
    {
        void* p = kMallocAligned(100, requested);
        const unsigned int alignment = requested ? requested : 1; // 0 behaves as 1
        ASSERT_NE(p, nullptr) << alignment;
        EXPECT_EQ(Addr(p) % alignment, 0u) << alignment;
        // The word before P holds the block start: at least one word before P
        // and less than alignment + one word.
        uintptr_t base;
        std::memcpy(&base, static_cast<char*>(p) - sizeof(void*), sizeof base);
        EXPECT_GE(Addr(p) - base, sizeof(void*));
        EXPECT_LT(Addr(p) - base, alignment + sizeof(void*));
        std::memset(p, 0xAB, 100);
        kFreeAligned(p);
    }
    kFreeAligned(nullptr);
    // Growing, realigning and shrinking keep the leading bytes.
    unsigned char* p = static_cast<unsigned char*>(kMallocAligned(100, 16));
    for (int i = 0; i < 100; ++i)
        p[i] = static_cast<unsigned char>(i * 7 + 1);
    const struct
    {
        unsigned int size, alignment;
        int kept;
    } steps[] = {{100000, 16, 100}, {200, 4096, 100}, {10, 32, 10}};
    for (const auto& s : steps)
    {
        p = static_cast<unsigned char*>(kReallocAligned(p, s.size, s.alignment));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Addr(p) % s.alignment, 0u);
        for (int i = 0; i < s.kept; ++i)
            ASSERT_EQ(p[i], static_cast<unsigned char>(i * 7 + 1)) << i;
    }
    EXPECT_EQ(kReallocAligned(p, 0, 32), nullptr); // size 0 frees
    void* t = kReallocAligned(nullptr, 50, 64);    // a null block allocates
    EXPECT_EQ(Addr(t) % 64, 0u);
    kFreeAligned(t);
}

TEST(KMemoryPoolTest, FixedGrowingAndTinyPools)
{
    KMemoryPool pool(32, 4, 0, false);
    const std::set<void*> blocks = TakeAll(pool, 4);
    EXPECT_EQ(pool.Allocate(), nullptr); // empty and not growing
    pool.Free(*blocks.begin());
    EXPECT_EQ(pool.Allocate(), *blocks.begin()); // last freed, first reused
    GiveBack(pool, blocks);

    KMemoryPool aligned(100, 3, 64, true);
    const std::set<void*> grown = TakeAll(aligned, 6); // three from the list, three grown
    for (void* p : grown)
        EXPECT_EQ(Addr(p) % 64, 0u);
    GiveBack(aligned, grown);
    KMemoryPool tiny(1, 3, 0, false); // blocks shorter than a pointer still hold the link
    const std::set<void*> three = TakeAll(tiny, 3);
    EXPECT_EQ(tiny.Allocate(), nullptr);
    GiveBack(tiny, three);

    KMemoryPool later(0); // block size 0: nothing until Init
    EXPECT_EQ(later.Allocate(), nullptr);
    later.Init(16, 2, 0, false);
    later.Free(later.Allocate());
    later.Clear(); // frees the list and stops growing
    EXPECT_EQ(later.Allocate(), nullptr);
    later.Init(48, 1, 16, false);
    void* b = later.Allocate();
    EXPECT_EQ(Addr(b) % 16, 0u);
    later.Free(b);
    later.Init(8, 2, 0, false); // over a pool that still holds free blocks
    GiveBack(later, TakeAll(later, 2));
}

TEST(KMemoryPoolTest, ConcurrentAllocateFreeLosesAndDuplicatesNothing)
{
    KMemoryPool pool(64, 64, 0, false); // 8 threads x 3 held < 64: never runs dry
    EXPECT_EQ(Hammer(
                  8, 20000, [&](unsigned int) { return pool.Allocate(); }, [&](void* p) { pool.Free(p); }, 64, 1),
              0);
    const std::set<void*> all = TakeAll(pool, 64); // every block is back exactly once
    EXPECT_EQ(pool.Allocate(), nullptr);
    GiveBack(pool, all);
}

TEST(KMemoryReusePoolTest, SizeClassesAndReuse)
{
    EXPECT_EQ(KMemoryReusePool::ComputeRightShiftRemainder(-3), 0u);
    EXPECT_EQ(KMemoryReusePool::ComputeRightShiftRemainder(5), 31u);

    ASSERT_TRUE(KMemoryReusePool::InitAll());
    KMemoryReusePool* pool = KMemoryReusePool::GetDefault();
    ASSERT_NE(pool, nullptr);
    CountingAlloc alloc;
    void* a = pool->Alloc(alloc, 10);
    EXPECT_EQ(HeaderBlockSize(a), 20u); // 8 + 10 rounded up to a multiple of 4
    EXPECT_EQ(HeaderGap(a), 0u);
    EXPECT_EQ(static_cast<char*>(a) - 8, alloc.mLast.load());
    pool->Free(alloc, a);
    EXPECT_EQ(alloc.mFrees.load(), 0); // cached
    void* b = pool->Alloc(alloc, 9);   // 17 -> 20: the same class
    EXPECT_EQ(b, a);
    EXPECT_EQ(alloc.mAllocs.load(), 1);
    void* c = pool->Alloc(alloc, 13); // 21 -> 24: another class, a new block
    EXPECT_EQ(HeaderBlockSize(c), 24u);
    EXPECT_EQ(alloc.mAllocs.load(), 2);
    pool->Free(alloc, b);
    pool->Free(alloc, c);
    pool->Free(alloc, nullptr);
    KMemoryReusePool::DestroyAll();
    // Blocks of the largest size are never cached; just under it they are.
    KMemoryReusePool large(0x20000, 2, 0, 0);
    CountingAlloc big;
    large.Free(big, large.Alloc(big, 0x20000));
    EXPECT_EQ(big.mFrees.load(), 1);
    void* under = large.Alloc(big, 0x20000 - 8 - 4);
    EXPECT_EQ(HeaderBlockSize(under), 0x1FFFCu);
    large.Free(big, under);
    EXPECT_EQ(big.mFrees.load(), 1);
    EXPECT_EQ(large.Alloc(big, 0x20000 - 8 - 4), under);
    large.Free(big, under);
}

TEST(KMemoryReusePoolTest, CacheLimitAndPurgeTotals)
{
    KMemoryReusePool pool(0x20000, 2, 0, 1000);
    CountingAlloc alloc;
    void* a = pool.Alloc(alloc, 992); // 1000-byte blocks: 2000 bytes in blocks
    void* b = pool.Alloc(alloc, 992);
    pool.Free(alloc, a); // 2000 > 1000: back to the allocator
    EXPECT_EQ(alloc.mFrees.load(), 1);
    pool.Free(alloc, b); // 1000 is not above the limit: cached
    EXPECT_EQ(alloc.mFrees.load(), 1);
    EXPECT_EQ(pool.Alloc(alloc, 992), b);
    pool.Free(alloc, b);

    KMemoryReusePool small(0x20000, 2, 0, 100);
    CountingAlloc counts;
    void* x = small.Alloc(counts, 52); // 60-byte block, stays in use
    void* z = small.Alloc(counts, 12); // 20-byte block: 80 bytes in blocks
    small.Free(counts, z);             // cached
    small.Purge();                     // only z's 20 bytes leave the total: 60 remain for x
    void* w = small.Alloc(counts, 52); // a new block: 120 bytes in blocks
    EXPECT_EQ(counts.mAllocs.load(), 3);
    small.Free(counts, w); // 120 > 100: back to the allocator
    EXPECT_EQ(counts.mFrees.load(), 1);
    small.Free(counts, x); // 60: cached
    EXPECT_EQ(counts.mFrees.load(), 1);
    EXPECT_EQ(small.Alloc(counts, 52), x);
    small.Free(counts, x);
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
            EXPECT_EQ(static_cast<char*>(p) - 8 - HeaderGap(p), static_cast<char*>(alloc.mLast.load()));
            EXPECT_LT(HeaderGap(p), align);
            EXPECT_EQ(HeaderBlockSize(p), (8 + size + align - 1 + 3) / 4 * 4);
            held.push_back(p);
        }
        pool.Free(alloc, held[2]); // a cached block is placed again with its own gap
        EXPECT_EQ(pool.Alloc(alloc, 31), held[2]);
        for (void* p : held)
            pool.Free(alloc, p);
    }
}

TEST(KMemoryReusePoolTest, ReallocCopiesAndKeepsOldBlockOnFailure)
{
    KMemoryReusePool pool(0x20000, 2, 0, 0);
    CountingAlloc alloc;
    unsigned char* p = static_cast<unsigned char*>(pool.Realloc(alloc, nullptr, 10));
    for (int i = 0; i < 10; ++i)
        p[i] = static_cast<unsigned char>(i + 1);
    unsigned char* q = static_cast<unsigned char*>(pool.Realloc(alloc, p, 300));
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(q[i], i + 1);
    unsigned char* r = static_cast<unsigned char*>(pool.Realloc(alloc, q, 4));
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(r[i], i + 1);
    EXPECT_EQ(pool.Alloc(alloc, 10), p); // the old 10-byte block went to the cache
    pool.Free(alloc, p);
    // A failed reallocation answers null and leaves the old block alone: not
    // freed, not cached, data intact.
    const int freesBefore = alloc.mFrees.load();
    alloc.mFail = true;
    EXPECT_EQ(pool.Realloc(alloc, r, 5000), nullptr);
    alloc.mFail = false;
    EXPECT_EQ(alloc.mFrees.load(), freesBefore);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(r[i], i + 1);
    void* fresh = pool.Alloc(alloc, 4); // r's class is empty: r was not cached
    EXPECT_NE(fresh, r);
    pool.Free(alloc, fresh);
    pool.Free(alloc, r);
}

TEST(KMemoryReusePoolTest, ProcessWideList)
{
    KMemoryReusePool::DestroyAll(); // without a list nothing is created
    EXPECT_EQ(KMemoryReusePool::Create(64, 2, 0, 0), nullptr);

    ASSERT_TRUE(KMemoryReusePool::InitAll());
    KMemoryReusePool* def = KMemoryReusePool::GetDefault();
    const int baseCount = KMemoryReusePool::GlobalMemoryReusePools->GetCount();
    EXPECT_EQ((*KMemoryReusePool::GlobalMemoryReusePools)[0], def);
    EXPECT_TRUE(KMemoryReusePool::InitAll()); // a second start keeps the same pools
    EXPECT_EQ(KMemoryReusePool::GetDefault(), def);
    KMemoryReusePool* extra = KMemoryReusePool::Create(256, 3, 2, 0);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(KMemoryReusePool::GlobalMemoryReusePools->GetCount(), baseCount + 1);

    CountingAlloc alloc;
    extra->Free(alloc, extra->Alloc(alloc, 5));
    KMemoryReusePool::PurgeAll(); // the cached block is gone: the next one is new
    extra->Free(alloc, extra->Alloc(alloc, 5));
    EXPECT_EQ(alloc.mAllocs.load(), 2);
    KMemoryReusePool::Destroy(def); // the default pool stays
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
    // Sizes up to 5,000, some above the cached range; 8-byte alignment.
    EXPECT_EQ(Hammer(
                  6, 5000, [&](unsigned int n) { return pool.Alloc(alloc, n); }, [&](void* p) { pool.Free(alloc, p); },
                  5000, 8),
              0);
}

namespace {

// Reads the pool's private totals. Naming a private member in an explicit
// instantiation is allowed, and the friend hands the member pointer out.
template <typename Tag, typename Tag::type Member>
struct ExposeMember
{
    friend typename Tag::type Get(Tag) { return Member; }
};
struct BytesInBlocks
{
    typedef size_t KMemoryReusePool::*type;
    friend type Get(BytesInBlocks);
};
struct BlockCount
{
    typedef size_t KMemoryReusePool::*type;
    friend type Get(BlockCount);
};
template struct ExposeMember<BytesInBlocks, &KMemoryReusePool::mBytesInBlocks>;
template struct ExposeMember<BlockCount, &KMemoryReusePool::mBlockCount>;

} // namespace

TEST(KMemoryReusePoolTest, PurgeTakesOnlyCachedBlocksOffTheTotals)
{
    KMemoryReusePool pool(0x20000, 2, 0, 0);
    CountingAlloc alloc;
    auto totals = [&] { return std::make_pair(pool.*Get(BytesInBlocks()), pool.*Get(BlockCount())); };
    void* a = pool.Alloc(alloc, 52); // a 60-byte block, kept in use
    void* b = pool.Alloc(alloc, 12); // two 20-byte blocks
    void* c = pool.Alloc(alloc, 12);
    pool.Free(alloc, b);
    pool.Free(alloc, c);
    EXPECT_EQ(totals(), std::make_pair(size_t(100), size_t(3))); // cached blocks still count
    pool.Purge();
    EXPECT_EQ(totals(), std::make_pair(size_t(60), size_t(1))); // a alone
    pool.Free(alloc, a);
    pool.Purge();
    EXPECT_EQ(totals(), std::make_pair(size_t(0), size_t(0)));
    EXPECT_EQ(alloc.mFrees.load(), 0); // purged blocks go to free(), not the allocator
}

// The helper that backs fresh pages beside a copy never changes what is
// written meanwhile, whether the copy runs ahead of it or behind, and blocks
// too small to bother with, or none, are left alone.
TEST(KPrefaulterTest, FillingBesideItKeepsEveryByte)
{
    const size_t bytes = (16u << 20) + 4099; // odd end, several large pages
    std::unique_ptr<unsigned char[]> block(new unsigned char[bytes]);
    {
        KPrefaulter prefault(block.get(), bytes);
        for (size_t i = 0; i < bytes; ++i)
            block[i] = static_cast<unsigned char>(i * 131 + 7);
    }
    size_t wrong = 0;
    for (size_t i = 0; i < bytes; ++i)
        wrong += block[i] != static_cast<unsigned char>(i * 131 + 7);
    EXPECT_EQ(wrong, 0u);
    unsigned char small[64] = {1, 2, 3};
    {
        KPrefaulter none(nullptr, 0);
        KPrefaulter tiny(small, sizeof small);
    }
    EXPECT_EQ(small[2], 3);
    // Stopped at once: the destructor joins without waiting for the whole block.
    std::unique_ptr<unsigned char[]> big(new unsigned char[bytes]);
    {
        KPrefaulter stopped(big.get(), bytes);
    }
}
