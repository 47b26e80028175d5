// Throughput of the pools against plain malloc/free, and of the bit set's
// set-then-find-free cycle that the world registry runs.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "base/kbitset.h"
#include "base/kmemorypool.h"

namespace {

const int kBatch = 64;
// The batch is kept whole through benchmark::DoNotOptimize(held): GCC drops
// the store when the in-out operand is the assignment "p = malloc(...)"
// under -fsanitize=address, and garbage pointers would be freed.

void BM_MallocFree(benchmark::State& state)
{
    const unsigned int size = static_cast<unsigned int>(state.range(0));
    void* held[kBatch];
    for (auto _ : state)
    {
        for (void*& p : held)
            p = std::malloc(size);
        benchmark::DoNotOptimize(held);
        for (void* p : held)
            std::free(p);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_MallocFree)->Arg(24)->Arg(256);

void BM_MemoryPool(benchmark::State& state)
{
    KMemoryPool pool(static_cast<unsigned int>(state.range(0)), kBatch, 0, true);
    void* held[kBatch];
    for (auto _ : state)
    {
        for (void*& p : held)
            p = pool.Allocate();
        benchmark::DoNotOptimize(held);
        for (void* p : held)
            pool.Free(p);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_MemoryPool)->Arg(24)->Arg(256);
BENCHMARK(BM_MemoryPool)->Arg(24)->Threads(4);

void BM_MemoryReusePool(benchmark::State& state)
{
    KMemoryReusePool pool(0x20000, 2, 0, 0);
    KMemoryReusePool::KXAllocStd alloc;
    const unsigned int size = static_cast<unsigned int>(state.range(0));
    void* held[kBatch];
    for (auto _ : state)
    {
        for (void*& p : held)
            p = pool.Alloc(alloc, size);
        benchmark::DoNotOptimize(held);
        for (void* p : held)
            pool.Free(alloc, p);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_MemoryReusePool)->Arg(24)->Arg(256);

// Takes the first free index and marks it, n times, as the registry does.
void BM_BitSetAllocateIndexes(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        KBitSet set;
        bool wantFree = false;
        for (int i = 0; i < n; ++i)
        {
            int found = -1;
            set.ForEachBit_FindNextSetBit(found, nullptr, nullptr, nullptr, &wantFree);
            if (found < 0)
            {
                found = 0;
                const int segments = set.GetSegmentCount();
                if (segments > 0 && set.GetSegment(segments - 1)->GetLastSetBitAbsoluteIndex(found))
                    ++found;
            }
            KBitSet::KBitSegment* seg = set.GuarantySegment(KBitSet::KXRange(found >> 5, 1));
            const int unit = (found >> 5) - seg->GetFirstUnit();
            seg->SafeAssign(set, unit, seg->GetUnit(unit) | (1u << (found & 31)));
        }
        benchmark::DoNotOptimize(set.GetCountOfSetBits());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BitSetAllocateIndexes)->Arg(1000)->Arg(100000);

} // namespace
