// Lookups and insertions in the sorted key sets.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/kset.h"

namespace {

std::vector<std::string> MakeKeys(int count)
{
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(count));
    unsigned seed = 2024;
    for (int i = 0; i < count; ++i)
    {
        seed = seed * 1103515245u + 12345u;
        char key[48];
        snprintf(key, sizeof key, "Node_%08x_%d", seed, i);
        keys.push_back(key);
    }
    return keys;
}

// 1,000,000 lookups per iteration in a set of range(0) entries. With binary
// search the time grows with log(entries), not with the entry count.
void BM_CharPtrSetLookup(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const int lookups = 1000000;
    std::vector<std::string> keys = MakeKeys(entries);
    KCharPtrSet set(20);
    for (int i = 0; i < entries; ++i)
    {
        set.Add(keys[static_cast<size_t>(i)].c_str(), static_cast<kReference>(i + 1));
    }
    set.Sort();
    for (auto _ : state)
    {
        kReference sum = 0;
        for (int i = 0; i < lookups; ++i)
        {
            sum += set.Get(keys[(static_cast<size_t>(i) * 7919u) % static_cast<size_t>(entries)].c_str(), nullptr);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * lookups);
}
BENCHMARK(BM_CharPtrSetLookup)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Building a set of range(0) entries with a lookup after every addition, as
// a name table that checks each new name does. Each addition is merged into
// the sorted entries instead of sorting them all again.
void BM_CharPtrSetAddThenGet(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    std::vector<std::string> keys = MakeKeys(entries);
    for (auto _ : state)
    {
        KCharPtrSet set(20);
        kReference sum = 0;
        for (int i = 0; i < entries; ++i)
        {
            set.Add(keys[static_cast<size_t>(i)].c_str(), static_cast<kReference>(i + 1));
            sum += set.Get(keys[static_cast<size_t>(i / 2)].c_str(), nullptr);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * entries);
}
BENCHMARK(BM_CharPtrSetAddThenGet)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// 1,000,000 lookups per iteration in a KSet of range(0) entries.
void BM_KSetLookup(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const int lookups = 1000000;
    KSet set(20);
    for (int i = entries; i > 0; --i)
    {
        set.Add(static_cast<kReference>(i) * 2654435761u, static_cast<kReference>(i));
    }
    set.Sort();
    for (auto _ : state)
    {
        kReference sum = 0;
        for (int i = 0; i < lookups; ++i)
        {
            sum += set.Get(static_cast<kReference>(i % entries + 1) * 2654435761u, nullptr);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * lookups);
}
BENCHMARK(BM_KSetLookup)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
