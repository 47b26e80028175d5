// Object model: connecting and disconnecting many plugs, and callback dispatch.

#include <benchmark/benchmark.h>

#include <vector>

#include "object/kcallback.h"
#include "object/kplug.h"

namespace {

const int kPlugs = 100000;

// 100,000 sources connected to one plug, then all disconnected from the last.
void BM_ConnectDisconnectAll(benchmark::State& state)
{
    std::vector<KPlug*> sources;
    for (int i = 0; i < kPlugs; ++i)
        sources.push_back(new KPlug());
    KPlug destination;
    for (auto _ : state)
    {
        for (KPlug* source : sources)
            destination.ConnectSrc(source);
        destination.DisconnectAllSrc();
        benchmark::DoNotOptimize(destination.GetSrcCount());
    }
    for (KPlug* source : sources)
        source->Destroy(0);
    state.SetItemsProcessed(state.iterations() * kPlugs * 2);
}
BENCHMARK(BM_ConnectDisconnectAll)->Unit(benchmark::kMillisecond);

// The same, disconnected in connection order (oldest first), one by one.
void BM_ConnectDisconnectInOrder(benchmark::State& state)
{
    std::vector<KPlug*> sources;
    for (int i = 0; i < kPlugs; ++i)
        sources.push_back(new KPlug());
    KPlug destination;
    for (auto _ : state)
    {
        for (KPlug* source : sources)
            destination.ConnectSrc(source);
        for (KPlug* source : sources)
            source->DisconnectDst(&destination);
        benchmark::DoNotOptimize(destination.GetSrcCount());
    }
    for (KPlug* source : sources)
        source->Destroy(0);
    state.SetItemsProcessed(state.iterations() * kPlugs * 2);
}
BENCHMARK(BM_ConnectDisconnectInOrder)->Unit(benchmark::kMillisecond);

// 100,000 plugs created, connected to one plug and destroyed.
void BM_CreateConnectDestroy(benchmark::State& state)
{
    KPlug destination;
    std::vector<KPlug*> sources(kPlugs);
    for (auto _ : state)
    {
        for (int i = 0; i < kPlugs; ++i)
        {
            sources[i] = new KPlug();
            destination.ConnectSrc(sources[i]);
        }
        for (int i = 0; i < kPlugs; ++i)
            sources[i]->Destroy(0);
        benchmark::DoNotOptimize(destination.GetSrcCount());
    }
    state.SetItemsProcessed(state.iterations() * kPlugs);
}
BENCHMARK(BM_CreateConnectDestroy)->Unit(benchmark::kMillisecond);

class Counter : public ICallback
{
public:
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}
    void OnEvent(IRegister*, KEventBase*) { ++mCount; }
    long long mCount = 0;
};

// 1,000,000 callback dispatches: ten callbacks, 100,000 calls of the list.
void BM_CallbackDispatch(benchmark::State& state)
{
    RegisterEntryList list;
    Counter counters[10];
    for (Counter& c : counters)
        list.Add(&c, static_cast<ICallbackMethod>(&Counter::OnEvent), kCallbackAllEvents);
    KEventBase event(1);
    for (auto _ : state)
    {
        for (int i = 0; i < 100000; ++i)
            list.Call(nullptr, &event);
        benchmark::DoNotOptimize(counters[0].mCount);
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_CallbackDispatch)->Unit(benchmark::kMillisecond);

} // namespace
