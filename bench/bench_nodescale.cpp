// Scenes of 1,000 to 1,000,000 nodes, wide (every node under the root) and
// deep (each node under the one before), each node with one animated property
// (translation X, four keys) in one take. Each phase runs in a process of its
// own so that its peak resident size (getrusage) is its own:
// - build: per node, the time and heap bytes of creating the scene, the peak
//   resident bytes, the time of the binary write and of destroying the scene;
// - read: per node, the time of reading the file back and the peak resident
//   bytes; the read against fread of the same bytes in the same process
//   ("of_fread") and the peak resident growth against the file size
//   ("peak_of_file").
// The 1,000,000-node runs need several gigabytes: they run only when the
// environment variable QOX_BENCH_MILLION is set.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_util.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvegroup.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

// What one phase reports back to the benchmark process.
struct PhaseFigures
{
    bool ok = false;
    double seconds = 0;      // the phase's main step (build, or read)
    double writeSeconds = 0; // build phase: the binary write
    double destroySeconds = 0;
    double heapBytes = 0;     // heap (and channel-tree slabs) in use after the main step, less before
    double peakRssBytes = 0;  // the process's peak resident size
    double startRssBytes = 0; // resident size when the phase began
    double freadSeconds = 0;  // read phase: fread of the same file
};

// Heap in use, with the slabs channel trees read on several threads take.
size_t HeapBytes()
{
    return mallinfo2().uordblks + KFCurveGroupSlabs::BytesMapped();
}

double PeakRssBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0;
}

double CurrentRssBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// Runs phase in a child process and returns what it reported; ok is false
// when the child failed or died.
template <class Phase>
PhaseFigures RunApart(Phase&& phase)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0)
    {
        close(pipeEnds[0]);
        PhaseFigures figures = phase();
        const ssize_t written = write(pipeEnds[1], &figures, sizeof figures);
        _exit(written == ssize_t(sizeof figures) ? 0 : 1);
    }
    close(pipeEnds[1]);
    PhaseFigures figures;
    const ssize_t got = child > 0 ? read(pipeEnds[0], &figures, sizeof figures) : 0;
    close(pipeEnds[0]);
    int status = 0;
    if (child > 0)
        waitpid(child, &status, 0);
    if (got != ssize_t(sizeof figures) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return figures;
}

void BuildScene(KQoxSdkManager& manager, KQoxScene& scene, int count, bool deep)
{
    KQoxNode* parent = scene.GetRootNode();
    for (int n = 0; n < count; ++n)
    {
        KQoxNode* node = manager.CreateKQoxNode(("N" + std::to_string(n)).c_str());
        parent->AddChild(node);
        if (deep)
            parent = node;
        KFCurve* curve = node->CreateTakeNode("Take 001")->GetTranslationX();
        curve->KeyModifyBegin();
        for (int k = 0; k < 4; ++k)
            curve->KeyAppendFast(KTime(static_cast<long long>(k) * 1539538600LL), static_cast<float>(n % 17 + k));
        curve->KeyModifyEnd();
    }
}

PhaseFigures BuildAndWrite(const std::string& file, int count, bool deep)
{
    PhaseFigures figures;
    figures.startRssBytes = CurrentRssBytes();
    auto* manager = new KQoxSdkManager;
    auto* scene = new KQoxScene(*manager);
    const size_t before = HeapBytes();
    figures.seconds = benchutil::Seconds([&] { BuildScene(*manager, *scene, count, deep); });
    figures.heapBytes = double(HeapBytes() - before);
    figures.writeSeconds = benchutil::Seconds([&] {
        KQoxExporter exporter(*manager);
        figures.ok =
            exporter.Initialize(file.c_str()) && exporter.SetFileFormat(eEXPORT_QOX_BINARY) && exporter.Export(*scene);
    });
    figures.destroySeconds = benchutil::Seconds([&] {
        delete scene;
        delete manager;
    });
    figures.peakRssBytes = PeakRssBytes();
    return figures;
}

double FreadSeconds(const std::string& file)
{
    std::vector<char> buffer(static_cast<size_t>(std::filesystem::file_size(file)));
    return benchutil::Seconds([&] {
        FILE* f = std::fopen(file.c_str(), "rb");
        size_t total = f ? std::fread(buffer.data(), 1, buffer.size(), f) : 0;
        if (f)
            std::fclose(f);
        benchmark::DoNotOptimize(total);
    });
}

PhaseFigures Read(const std::string& file)
{
    PhaseFigures figures;
    figures.startRssBytes = CurrentRssBytes();
    {
        // The file was just written, so the page cache holds it for the read
        // and for fread alike.
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        const size_t before = HeapBytes();
        figures.seconds = benchutil::Seconds([&] {
            KQoxImporter importer(manager);
            figures.ok = importer.Initialize(file.c_str()) && importer.Import(scene);
        });
        figures.heapBytes = double(HeapBytes() - before);
        figures.peakRssBytes = PeakRssBytes();
    }
    // After the peak was taken: fread's buffer is as large as the file.
    figures.freadSeconds = FreadSeconds(file);
    return figures;
}

void BM_NodeScale(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const bool deep = state.range(1) != 0;
    if (count > 100000 && !std::getenv("QOX_BENCH_MILLION"))
    {
        state.SkipWithError("set QOX_BENCH_MILLION to run 1,000,000 nodes (several GB)");
        return;
    }
    benchutil::ScratchDirectory directory("qoxnodescale");
    const std::string file = directory.Path() + "/scene.qox";
    PhaseFigures build, read;
    for (auto _ : state)
    {
        build = RunApart([&] { return BuildAndWrite(file, count, deep); });
        read = build.ok ? RunApart([&] { return Read(file); }) : PhaseFigures{};
    }
    if (!build.ok || !read.ok)
    {
        state.SkipWithError("the build, write or read failed");
        return;
    }
    const double fileBytes = double(std::filesystem::file_size(file));
    const double n = count;
    state.counters["build_us_per_node"] = build.seconds / n * 1e6;
    state.counters["build_heap_per_node"] = build.heapBytes / n;
    state.counters["build_peak_rss_per_node"] = (build.peakRssBytes - build.startRssBytes) / n;
    state.counters["write_us_per_node"] = build.writeSeconds / n * 1e6;
    state.counters["destroy_us_per_node"] = build.destroySeconds / n * 1e6;
    state.counters["read_us_per_node"] = read.seconds / n * 1e6;
    state.counters["read_peak_rss_per_node"] = (read.peakRssBytes - read.startRssBytes) / n;
    state.counters["file_bytes_per_node"] = fileBytes / n;
    state.counters["peak_of_file"] = (read.peakRssBytes - read.startRssBytes) / fileBytes;
    state.counters["heap_of_file"] = read.heapBytes / fileBytes;
    state.counters["of_fread"] = read.seconds > 0 ? read.freadSeconds / read.seconds : 0;
}
BENCHMARK(BM_NodeScale)
    ->ArgNames({"nodes", "deep"})
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace
