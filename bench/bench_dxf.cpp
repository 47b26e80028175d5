// DXF reading and writing at file size: 1,000,000 3DFACEs (about 180 MB,
// made once per run in the temporary directory, removed at exit), read by
// layer with welding off and on, and the resulting scene written back. Reading is
// measured against dxflib in the same run when it is present, writing against
// fwrite of the bytes written saved as the writer saves (see
// benchutil::DurableWrite); counters give MB/s and those ratios.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

#ifdef QOX_HAVE_DXFLIB
#include <dl_creationadapter.h>
#include <dl_dxf.h>
#endif

using namespace qoxsdk_600;

namespace {

constexpr int kFaces = 1000000;

struct BigDxf
{
    std::string path;
    size_t bytes = 0;

    BigDxf()
    {
        path = benchutil::DiskFolder() + "/qox_bench_dxf_" + std::to_string(getpid()) + ".dxf";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return;
        std::string out = "  0\nSECTION\n  2\nENTITIES\n";
        char line[512];
        for (int i = 0; i < kFaces; ++i)
        {
            const double x = i % 1000, y = i / 1000;
            std::snprintf(line, sizeof(line),
                          "  0\n3DFACE\n  8\nL%d\n 62\n%d\n 10\n%.3f\n 20\n%.3f\n 30\n0.5\n 11\n%.3f\n 21\n%.3f\n"
                          " 31\n0.5\n 12\n%.3f\n 22\n%.3f\n 32\n1.0\n 13\n%.3f\n 23\n%.3f\n 33\n1.0\n",
                          i % 8, 1 + i % 7, x, y, x + 1, y, x + 1, y + 1, x, y + 1);
            out += line;
            if (out.size() > (1u << 22))
            {
                bytes += std::fwrite(out.data(), 1, out.size(), f);
                out.clear();
            }
        }
        out += "  0\nENDSEC\n  0\nEOF\n";
        bytes += std::fwrite(out.data(), 1, out.size(), f);
        std::fclose(f);
    }
    ~BigDxf() { std::remove(path.c_str()); }
};

BigDxf& File()
{
    static BigDxf file;
    return file;
}

void BM_DxfRead(benchmark::State& state)
{
    BigDxf& file = File();
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxReaderDxf reader(*manager);
        reader.FileOpen(file.path.c_str());
        KStreamOptionsDxf options;
        options.SetOption(KStreamOptionsDxf::eWELD_VERTICES, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(reader.Read(scene, &options));
    }
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(file.bytes) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DxfRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The big file read into a new scene of the manager, vertices not welded:
// the scene the writing benchmarks write.
KQoxScene& ReadUnwelded(KQoxSdkManager& manager, BigDxf& file)
{
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxReaderDxf reader(manager);
    reader.FileOpen(file.path.c_str());
    KStreamOptionsDxf options;
    options.SetOption(KStreamOptionsDxf::eWELD_VERTICES, 0);
    reader.Read(scene, &options);
    return scene;
}

void BM_DxfWrite(benchmark::State& state)
{
    BigDxf& file = File();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = ReadUnwelded(*manager, file);
    const std::string out = file.path + ".out.dxf";
    size_t bytes = 0;
    for (auto _ : state)
    {
        KQoxWriterDxf writer(*manager);
        writer.FileCreate(out.c_str());
        KStreamOptionsDxf options;
        options.SetOption(KStreamOptionsDxf::eFORCE_TRIANGULATION, 0);
        benchmark::DoNotOptimize(writer.Write(scene, &options));
        writer.FileClose();
        benchutil::UpdateFileSize(out, bytes);
    }
    std::remove(out.c_str());
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(bytes) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DxfWrite)->Unit(benchmark::kMillisecond)->Iterations(1);

using benchutil::Seconds;
using benchutil::Slurp;

// The writer against fwrite of the very bytes it wrote, in the same run,
// each saving durably (flushed, renamed, the folder flushed): "vs_fwrite" is
// the peer's time over the writer's (1 = as fast).
void BM_DxfWriteVsFwrite(benchmark::State& state)
{
    BigDxf& file = File();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = ReadUnwelded(*manager, file);
    const std::string out = file.path + ".out.dxf";
    const std::string plain = file.path + ".plain.dxf";
    double ours = 0, peer = 0;
    size_t bytes = 0;
    for (auto _ : state)
    {
        const double t = Seconds([&] {
            KQoxWriterDxf writer(*manager);
            writer.FileCreate(out.c_str());
            KStreamOptionsDxf options;
            options.SetOption(KStreamOptionsDxf::eFORCE_TRIANGULATION, 0);
            benchmark::DoNotOptimize(writer.Write(scene, &options));
            writer.FileClose();
        });
        const std::string text = Slurp(out);
        bytes = text.size();
        const double p = Seconds([&] {
            if (!benchutil::DurableWrite(plain, text))
                state.SkipWithError("peer write failed");
        });
        state.SetIterationTime(t);
        ours += t;
        peer += p;
    }
    std::remove(out.c_str());
    std::remove(plain.c_str());
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(bytes) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["vs_fwrite"] = ours > 0 ? peer / ours : 0;
    state.counters["peer_ms"] = 1e3 * peer / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DxfWriteVsFwrite)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

#ifdef QOX_HAVE_DXFLIB
struct FaceCounter : DL_CreationAdapter
{
    long faces = 0;
    void add3dFace(const DL_3dFaceData&) override { ++faces; }
};

void BM_DxfReadDxflib(benchmark::State& state)
{
    BigDxf& file = File();
    for (auto _ : state)
    {
        FaceCounter counter;
        DL_Dxf dxf;
        benchmark::DoNotOptimize(dxf.in(file.path, &counter));
        benchmark::DoNotOptimize(counter.faces);
    }
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(file.bytes) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DxfReadDxflib)->Unit(benchmark::kMillisecond)->Iterations(1);

// Reading with welding against dxflib on the same file, in the same run:
// "x_dxflib" is dxflib's time over the reader's (above 1 = faster).
void BM_DxfReadWeldVsDxflib(benchmark::State& state)
{
    BigDxf& file = File();
    double ours = 0, peer = 0;
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        const double t = Seconds([&] {
            KQoxScene& scene = *manager->CreateKQoxScene();
            KQoxReaderDxf reader(*manager);
            reader.FileOpen(file.path.c_str());
            KStreamOptionsDxf options;
            options.SetOption(KStreamOptionsDxf::eWELD_VERTICES, 1);
            benchmark::DoNotOptimize(reader.Read(scene, &options));
        });
        manager.reset();
        const double p = Seconds([&] {
            FaceCounter counter;
            DL_Dxf dxf;
            benchmark::DoNotOptimize(dxf.in(file.path, &counter));
            benchmark::DoNotOptimize(counter.faces);
        });
        state.SetIterationTime(t);
        ours += t;
        peer += p;
    }
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(file.bytes) / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["x_dxflib"] = ours > 0 ? peer / ours : 0;
}
BENCHMARK(BM_DxfReadWeldVsDxflib)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
#endif

} // namespace
