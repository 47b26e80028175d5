// Field layer of the native file: writing and reading many small fields, and
// one field of many doubles, in binary, ASCII and encrypted form. Each size is
// run at two scales so that linear reading shows in the times. Reading nested
// "Channel" blocks of an ASCII file runs at several depths with the same
// amount of values, so that a cost growing with the depth shows.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/kqox.h"

namespace {

const char* FormName(int form)
{
    return form == KQox::eBINARY ? "binary" : form == KQox::eASCII ? "ascii" : "encrypted";
}

// One scratch directory for the whole run, removed at exit.
struct Scratch
{
    Scratch()
    {
        char pattern[] = "/tmp/kqoxbenchXXXXXX";
        const char* made = mkdtemp(pattern);
        mPath = made ? made : "";
    }
    ~Scratch()
    {
        std::error_code ignored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, ignored);
    }
    std::string mPath;
};

const std::string& ScratchDirectory()
{
    static Scratch scratch;
    return scratch.mPath;
}

std::string FileFor(const char* what, int form, long long count)
{
    return ScratchDirectory() + "/" + what + "_" + FormName(form) + "_" + std::to_string(count) + ".qox";
}

bool WriteSmallFields(const std::string& name, int form, long long count)
{
    KQox f;
    if (!f.ProjectCreate(name.c_str(), static_cast<KQox::EForm>(form), KQox::eVERSION_6, "bench"))
        return false;
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (long long i = 0; i < count; ++i)
    {
        f.FieldWriteBegin("Field");
        f.FieldWriteI(static_cast<int>(i));
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    return f.ProjectClose();
}

bool WriteDoubles(const std::string& name, int form, long long count)
{
    KQox f;
    if (!f.ProjectCreate(name.c_str(), static_cast<KQox::EForm>(form), KQox::eVERSION_6, "bench"))
        return false;
    f.ProjectWriteSectionBegin("Objects", 6000);
    f.FieldWriteBegin("Vertices");
    for (long long i = 0; i < count; ++i)
        f.FieldWriteD(static_cast<double>(i) * 0.25);
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    return f.ProjectClose();
}

void BM_KQoxWriteSmallFields(benchmark::State& state)
{
    int form = static_cast<int>(state.range(0));
    long long count = state.range(1);
    std::string name = FileFor("fields", form, count);
    for (auto _ : state)
    {
        if (!WriteSmallFields(name, form, count))
            state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(FormName(form));
}

void BM_KQoxReadSmallFields(benchmark::State& state)
{
    int form = static_cast<int>(state.range(0));
    long long count = state.range(1);
    std::string name = FileFor("fields", form, count);
    if (!WriteSmallFields(name, form, count))
    {
        state.SkipWithError("write failed");
        return;
    }
    for (auto _ : state)
    {
        KQox f;
        long long sum = 0;
        if (!f.ProjectOpen(name.c_str(), "bench") || !f.ProjectOpenSection(0))
        {
            state.SkipWithError("open failed");
            break;
        }
        while (f.FieldReadBegin("Field"))
        {
            sum += f.FieldReadI();
            f.FieldReadEnd();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(FormName(form));
}

void BM_KQoxWriteDoubles(benchmark::State& state)
{
    int form = static_cast<int>(state.range(0));
    long long count = state.range(1);
    std::string name = FileFor("doubles", form, count);
    for (auto _ : state)
    {
        if (!WriteDoubles(name, form, count))
            state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(FormName(form));
}

void BM_KQoxReadDoubles(benchmark::State& state)
{
    int form = static_cast<int>(state.range(0));
    long long count = state.range(1);
    std::string name = FileFor("doubles", form, count);
    if (!WriteDoubles(name, form, count))
    {
        state.SkipWithError("write failed");
        return;
    }
    for (auto _ : state)
    {
        KQox f;
        if (!f.ProjectOpen(name.c_str(), "bench") || !f.ProjectOpenSection(0) || !f.FieldReadBegin("Vertices"))
        {
            state.SkipWithError("open failed");
            break;
        }
        double sum = 0.0;
        for (int left = f.FieldReadGetRemain(); left > 0; --left)
            sum += f.FieldReadD();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(FormName(form));
}

// A chain of depth nested "Channel" fields, each holding one "Key" field;
// about the same number of values whatever the depth.
bool WriteDeepChannels(const std::string& name, int form, long long depth)
{
    KQox f;
    if (!f.ProjectCreate(name.c_str(), static_cast<KQox::EForm>(form), KQox::eVERSION_6, "bench"))
        return false;
    const long long values = 1200000 / depth;
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (long long level = 0; level < depth; ++level)
    {
        f.FieldWriteBegin("Channel");
        f.FieldWriteI(static_cast<int>(level));
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Key");
        for (long long i = 0; i < values; ++i)
            f.FieldWriteD(static_cast<double>(i) * 0.25);
        f.FieldWriteEnd();
    }
    for (long long level = 0; level < depth; ++level)
    {
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    return f.ProjectClose();
}

// Opens the file and walks down every level, reading the first value of each
// level's "Key".
void BM_KQoxReadDeepChannels(benchmark::State& state)
{
    int form = static_cast<int>(state.range(0));
    long long depth = state.range(1);
    std::string name = FileFor("deep", form, depth);
    if (!WriteDeepChannels(name, form, depth))
    {
        state.SkipWithError("write failed");
        return;
    }
    long long size = static_cast<long long>(std::filesystem::file_size(name));
    for (auto _ : state)
    {
        KQox f;
        if (!f.ProjectOpen(name.c_str(), "bench", false) || !f.ProjectOpenSection(0))
        {
            state.SkipWithError("open failed");
            break;
        }
        long long levels = 0;
        double sum = 0.0;
        while (f.FieldReadBegin("Channel") && f.FieldReadBlockBegin())
        {
            sum += f.FieldReadD("Key", 0.0);
            ++levels;
        }
        if (levels != depth)
            state.SkipWithError("levels missing");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.SetLabel(FormName(form));
}

void Forms(benchmark::internal::Benchmark* b, long long small, long long large)
{
    for (int form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
        for (long long count : {small, large})
            b->Args({form, count});
    b->Unit(benchmark::kMillisecond)->Iterations(2);
}

BENCHMARK(BM_KQoxWriteSmallFields)->Apply([](benchmark::internal::Benchmark* b) { Forms(b, 250000, 1000000); });
BENCHMARK(BM_KQoxReadSmallFields)->Apply([](benchmark::internal::Benchmark* b) { Forms(b, 250000, 1000000); });
BENCHMARK(BM_KQoxWriteDoubles)->Apply([](benchmark::internal::Benchmark* b) { Forms(b, 2500000, 10000000); });
BENCHMARK(BM_KQoxReadDoubles)->Apply([](benchmark::internal::Benchmark* b) { Forms(b, 2500000, 10000000); });
BENCHMARK(BM_KQoxReadDeepChannels)->Apply([](benchmark::internal::Benchmark* b) {
    for (int form : {KQox::eASCII, KQox::eBINARY})
        for (long long depth : {10, 100, 1000})
            b->Args({form, depth});
    b->Unit(benchmark::kMillisecond)->Iterations(3);
});

} // namespace
