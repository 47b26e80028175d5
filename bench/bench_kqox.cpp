// Field layer of the native file: writing and reading many small fields, and
// one field of many doubles, in binary, ASCII and encrypted form. Each size is
// run at two scales so that linear reading shows in the times. Reading nested
// "Channel" blocks of an ASCII file runs at several depths with the same
// amount of values, so that a cost growing with the depth shows.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <cstdio>
#include <vector>
#include <algorithm>
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
const std::string& ScratchDirectory()
{
    static benchutil::ScratchDirectory scratch("kqoxbench");
    return scratch.Path();
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

// A mesh-like binary file of about 200 MB: many "Geometry" blocks, each with a
// field of 30,000 doubles and one of 30,000 ints. Field-file reading and
// writing run against fread/fwrite of the same number of bytes in the same run
// (the "peer" rows), so the ratio of the two is the figure to watch.
const long long kMeshGeometries = 530;
const int kMeshValues = 30000;

bool WriteMesh(const std::string& name)
{
    KQox f;
    if (!f.ProjectCreate(name.c_str(), KQox::eBINARY))
        return false;
    f.ProjectWriteSectionBegin("Objects", 6000);
    for (long long g = 0; g < kMeshGeometries; ++g)
    {
        f.FieldWriteBegin("Geometry");
        f.FieldWriteL(g);
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Vertices");
        for (int i = 0; i < kMeshValues; ++i)
            f.FieldWriteD(static_cast<double>(i) * 0.5);
        f.FieldWriteEnd();
        f.FieldWriteBegin("PolygonVertexIndex");
        for (int i = 0; i < kMeshValues; ++i)
            f.FieldWriteI(i);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    return f.ProjectClose();
}

double ReadMesh(const std::string& name, bool checkIntegrity, bool& ok)
{
    KQox f;
    double sum = 0.0;
    ok = f.ProjectOpen(name.c_str(), nullptr, checkIntegrity) && f.ProjectOpenSection(0);
    while (ok && f.FieldReadBegin("Geometry") && f.FieldReadBlockBegin())
    {
        if (f.FieldReadBegin("Vertices"))
            for (int left = f.FieldReadGetRemain(); left > 0; --left)
                sum += f.FieldReadD();
        if (f.FieldReadBegin("PolygonVertexIndex"))
            for (int left = f.FieldReadGetRemain(); left > 0; --left)
                sum += f.FieldReadI();
        f.FieldReadBlockEnd();
        f.FieldReadEnd();
    }
    return sum;
}

const std::string& MeshFile()
{
    static std::string name = [] {
        std::string file = ScratchDirectory() + "/mesh.qox";
        return WriteMesh(file) ? file : std::string();
    }();
    return name;
}

void BM_KQoxMeshWrite(benchmark::State& state)
{
    std::string name = ScratchDirectory() + "/mesh_write.qox";
    for (auto _ : state)
        if (!WriteMesh(name))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(std::filesystem::file_size(name)));
    std::remove(name.c_str());
}

// Bytes this process has read through read() so far; -1 when not known.
long long BytesRead()
{
    FILE* io = std::fopen("/proc/self/io", "r");
    if (!io)
        return -1;
    long long bytes = -1;
    char line[128];
    while (std::fgets(line, sizeof(line), io))
        if (std::sscanf(line, "rchar: %lld", &bytes) == 1)
            break;
    std::fclose(io);
    return bytes;
}

void BM_KQoxMeshRead(benchmark::State& state)
{
    const std::string& name = MeshFile();
    if (name.empty())
    {
        state.SkipWithError("write failed");
        return;
    }
    long long before = BytesRead();
    for (auto _ : state)
    {
        bool ok = false;
        benchmark::DoNotOptimize(ReadMesh(name, state.range(0) != 0, ok));
        if (!ok)
            state.SkipWithError("read failed");
    }
    long long size = static_cast<long long>(std::filesystem::file_size(name));
    state.SetBytesProcessed(state.iterations() * size);
    // read() bytes per file byte, the integrity check's pass included.
    state.counters["read_per_byte"] =
        static_cast<double>(BytesRead() - before) / static_cast<double>(state.iterations() * size);
}

// The same bytes through stdio in 1 MB portions.
void BM_KQoxMeshPeerFwrite(benchmark::State& state)
{
    const std::string& source = MeshFile();
    long long size = source.empty() ? 0 : static_cast<long long>(std::filesystem::file_size(source));
    std::string name = ScratchDirectory() + "/mesh_peer.bin";
    std::vector<char> portion(1 << 20, 'x');
    for (auto _ : state)
    {
        FILE* out = std::fopen(name.c_str(), "wb");
        if (!out)
        {
            state.SkipWithError("fopen failed");
            break;
        }
        for (long long done = 0; done < size; done += static_cast<long long>(portion.size()))
        {
            size_t n = static_cast<size_t>(std::min<long long>(size - done, static_cast<long long>(portion.size())));
            std::fwrite(portion.data(), 1, n, out);
        }
        std::fclose(out);
    }
    state.SetBytesProcessed(state.iterations() * size);
    std::remove(name.c_str());
}

void BM_KQoxMeshPeerFread(benchmark::State& state)
{
    const std::string& name = MeshFile();
    std::vector<char> portion(1 << 20);
    long long size = 0;
    for (auto _ : state)
    {
        FILE* in = std::fopen(name.c_str(), "rb");
        if (!in)
        {
            state.SkipWithError("fopen failed");
            break;
        }
        size = 0;
        size_t n;
        while ((n = std::fread(portion.data(), 1, portion.size(), in)) > 0)
            size += static_cast<long long>(n);
        std::fclose(in);
        benchmark::DoNotOptimize(portion.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
}

BENCHMARK(BM_KQoxMeshWrite)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_KQoxMeshPeerFwrite)->Unit(benchmark::kMillisecond)->Iterations(2);
// Argument: 1 with the integrity check at open (one more pass), 0 without.
BENCHMARK(BM_KQoxMeshRead)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_KQoxMeshPeerFread)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
