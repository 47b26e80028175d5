// The host stand-in: node creation with unique names, script commands, DAG walks.
#include "host/zfn.h"
#include "host/zglobal.h"
#include "host/zhost.h"

#include <benchmark/benchmark.h>

namespace {

// Transforms named alike: each gets the next free number.
void BM_HostCreateTransforms(benchmark::State& state)
{
    for (auto _ : state)
    {
        state.PauseTiming();
        zelthost::Host::Get().Reset();
        state.ResumeTiming();
        for (int64_t i = 0; i < state.range(0); ++i)
        {
            ZFnTransform fn;
            fn.create();
            benchmark::DoNotOptimize(fn.setName("node"));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HostCreateTransforms)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_HostSetAttrScript(benchmark::State& state)
{
    zelthost::Host::Get().Reset();
    ZGlobal::executeCommand("createNode transform -n t");
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(ZGlobal::executeCommand("setAttr t.translate 1 2 3"));
        zelthost::Host::Get().ClearTranscript();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostSetAttrScript);

void BM_HostDagWalk(benchmark::State& state)
{
    zelthost::Host::Get().Reset();
    for (int64_t i = 0; i < state.range(0); ++i)
        ZGlobal::executeCommand(i % 10 ? "createNode joint -p parent" : "createNode transform -n parent");
    for (auto _ : state)
    {
        int n = 0;
        for (ZItDag it; !it.isDone(); it.next())
            ++n;
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HostDagWalk)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
