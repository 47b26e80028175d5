// Animation curve hot paths: sequential evaluation of a 1,000-key cubic
// curve at 10 million increasing times (with the caller's search hint, with
// the curve's own hint, and with a fresh hint every call), appending
// 100,000 keys in order, and key search on a 1,000,000-key curve.

#include "fcurve/kfcurve.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

const long long kSecond = 46186158000LL;
const int kEvaluations = 10000000;

// 1,000 cubic auto keys, one every 1/10 s, on a wavy value.
KFCurve* MakeCubicCurve(int keys)
{
    KFCurve* c = KFCurveCreate();
    c->KeyModifyBegin();
    for (int i = 0; i < keys; ++i)
        c->KeyAppendFast(KTime(i * (kSecond / 10)), static_cast<float>(std::sin(i * 0.37) * 10.0));
    c->KeyModifyEnd();
    return c;
}

void BM_EvaluateWithHint(benchmark::State& state)
{
    KFCurve* c = MakeCubicCurve(1000);
    const long long span = c->KeyGetTime(999).Get();
    const long long step = span / kEvaluations;
    for (auto _ : state)
    {
        int hint = -1;
        float sum = 0.0f;
        for (int i = 0; i < kEvaluations; ++i)
            sum += c->Evaluate(KTime(i * step), &hint);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
    c->Destroy();
}

void BM_EvaluateCurveHint(benchmark::State& state)
{
    KFCurve* c = MakeCubicCurve(1000);
    const long long span = c->KeyGetTime(999).Get();
    const long long step = span / kEvaluations;
    for (auto _ : state)
    {
        float sum = 0.0f;
        for (int i = 0; i < kEvaluations; ++i)
            sum += c->Evaluate(KTime(i * step));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
    c->Destroy();
}

void BM_EvaluateFreshHint(benchmark::State& state)
{
    KFCurve* c = MakeCubicCurve(1000);
    const long long span = c->KeyGetTime(999).Get();
    const long long step = span / kEvaluations;
    for (auto _ : state)
    {
        float sum = 0.0f;
        for (int i = 0; i < kEvaluations; ++i)
        {
            int hint = -1; // every call searches from the first key
            sum += c->Evaluate(KTime(i * step), &hint);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
    c->Destroy();
}

void BM_KeyAddInOrder(benchmark::State& state)
{
    const int count = 100000;
    for (auto _ : state)
    {
        KFCurve* c = KFCurveCreate();
        int hint = -1;
        KFCurveKey key;
        key.Init();
        key.Set(KTime(0), 0.0f);
        for (int i = 0; i < count; ++i)
        {
            key.SetValue(static_cast<float>(i & 255));
            c->KeyAdd(KTime(i * (kSecond / 30)), key, &hint);
        }
        benchmark::DoNotOptimize(c->KeyGetCount());
        c->Destroy();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_KeyFindMillionKeys(benchmark::State& state)
{
    const int keys = 1000000;
    KFCurve* c = KFCurveCreate();
    for (int i = 0; i < keys; ++i)
        c->KeyAppendFast(KTime(i * 1000LL), 0.0f);
    // Scattered query times, each searched from a cold hint.
    std::vector<KTime> times;
    unsigned long long seed = 99;
    for (int i = 0; i < 1000000; ++i)
    {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        times.push_back(KTime(static_cast<long long>((seed >> 20) % (keys * 1000ULL))));
    }
    for (auto _ : state)
    {
        double sum = 0.0;
        for (const KTime& t : times)
        {
            int hint = static_cast<int>(t.Get() & 1) ? 0 : keys - 1;
            sum += c->KeyFind(t, &hint);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(times.size()));
    c->Destroy();
}

} // namespace

BENCHMARK(BM_EvaluateWithHint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateCurveHint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateFreshHint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyAddInOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyFindMillionKeys)->Unit(benchmark::kMillisecond);
