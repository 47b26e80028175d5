// Append throughput of the base containers. Each benchmark runs at two sizes
// ten times apart: with amortised O(1) appends the time per item stays flat,
// while linear (per-append) growth would show up as a tenfold rise per item.
// std::vector / std::string runs give a same-process reference.

#include "base/karray.h"
#include "base/kstring.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

static void BM_KArrayAppendInt(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        KArrayTemplate<int> a(16);
        for (int i = 0; i < n; ++i)
            a.Add(i);
        benchmark::DoNotOptimize(a.GetArray());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_KArrayAppendInt)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

static void BM_StdVectorAppendInt(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        std::vector<int> v;
        for (int i = 0; i < n; ++i)
            v.push_back(i);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdVectorAppendInt)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

static void BM_KStringShortAppends(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        KString s;
        for (int i = 0; i < n; ++i)
            s += "ab";
        benchmark::DoNotOptimize(s.Buffer());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_KStringShortAppends)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_StdStringShortAppends(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += "ab";
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdStringShortAppends)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
