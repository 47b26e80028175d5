// Formatting and parsing of one million time codes per iteration.

#include "base/ktime.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

const int kCount = 1000000;

// Deterministic spread of times over about ten hours, on and between frames.
std::vector<KTime> MakeTimes()
{
    std::vector<KTime> times;
    times.reserve(kCount);
    unsigned long long seed = 12345;
    for (int i = 0; i < kCount; ++i)
    {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        times.push_back(KTime(static_cast<long long>(seed >> 20) % (10 * 3600 * 46186158000LL)));
    }
    return times;
}

typedef std::array<char, KTIME_STRING_SIZE> Text;

std::vector<Text> MakeTexts(int mode, int detail, int protocol)
{
    const std::vector<KTime> times = MakeTimes();
    std::vector<Text> texts(times.size());
    for (size_t i = 0; i < times.size(); ++i)
        times[i].GetTimeString(texts[i].data(), detail, mode, protocol);
    return texts;
}

void BM_FormatTimeCode(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const std::vector<KTime> times = MakeTimes();
    char buffer[KTIME_STRING_SIZE];
    for (auto _ : state)
    {
        for (const KTime& t : times)
        {
            t.GetTimeString(buffer, 6, mode, 0);
            benchmark::DoNotOptimize(buffer);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_ParseTimeCode(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const std::vector<Text> texts = MakeTexts(mode, 6, 0);
    for (auto _ : state)
    {
        KTime t;
        for (const Text& text : texts)
        {
            t.SetTimeString(text.data(), mode, 0);
            benchmark::DoNotOptimize(t);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_FormatFrameCount(benchmark::State& state)
{
    const std::vector<KTime> times = MakeTimes();
    char buffer[KTIME_STRING_SIZE];
    for (auto _ : state)
    {
        for (const KTime& t : times)
        {
            t.GetTimeString(buffer, 6, 6, 1);
            benchmark::DoNotOptimize(buffer);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_ParseFrameCount(benchmark::State& state)
{
    const std::vector<Text> texts = MakeTexts(6, 6, 1);
    for (auto _ : state)
    {
        KTime t;
        for (const Text& text : texts)
        {
            t.SetTimeString(text.data(), 6, 1);
            benchmark::DoNotOptimize(t);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

} // namespace

// Mode 6 (30 fps, real time) and mode 8 (29.97 drop frame).
BENCHMARK(BM_FormatTimeCode)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseTimeCode)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatFrameCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseFrameCount)->Unit(benchmark::kMillisecond);
