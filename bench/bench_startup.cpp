// Start-up and per-node cost: an SDK manager with one scene created and
// destroyed, and n nodes created then destroyed through the manager (time
// and heap bytes per node, apart for creation and destruction).

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <string>
#include <vector>

#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace {

using namespace qoxsdk_600;

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

void BM_ManagerWithOneScene(benchmark::State& state)
{
    for (auto _ : state)
    {
        KQoxSdkManager* manager = KQoxSdkManager::CreateKQoxSdkManager();
        benchmark::DoNotOptimize(manager->CreateKQoxScene());
        delete manager;
    }
}
BENCHMARK(BM_ManagerWithOneScene)->Unit(benchmark::kMicrosecond);

std::vector<std::string> NodeNames(int count)
{
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        names.push_back("Node" + std::to_string(i));
    return names;
}

// Creation only: the manager (and its nodes) go outside the timing.
void BM_NodeCreate(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::vector<std::string> names = NodeNames(count);
    double bytes = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        KQoxSdkManager* manager = KQoxSdkManager::CreateKQoxSdkManager();
        const size_t before = HeapInUse();
        state.ResumeTiming();
        for (const std::string& name : names)
            benchmark::DoNotOptimize(manager->CreateKQoxNode(name.c_str()));
        state.PauseTiming();
        bytes = double(HeapInUse() - before) / count;
        delete manager;
        state.ResumeTiming();
    }
    state.counters["bytes_per_node"] = bytes;
    state.counters["per_node"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NodeCreate)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Destruction only: the nodes are made outside the timing, then the manager
// is deleted with them.
void BM_NodeDestroy(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::vector<std::string> names = NodeNames(count);
    for (auto _ : state)
    {
        state.PauseTiming();
        KQoxSdkManager* manager = KQoxSdkManager::CreateKQoxSdkManager();
        for (const std::string& name : names)
            manager->CreateKQoxNode(name.c_str());
        state.ResumeTiming();
        delete manager;
    }
    state.counters["per_node"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NodeDestroy)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
