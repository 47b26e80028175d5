// Scenes of many nodes, each with one animated property (translation X, four
// keys) in one take: built, written in binary and read back. Per node: time
// and heap bytes of the build, time of the write and of the read; the read
// also as a fraction of plain fread of the same bytes in the same run
// ("of_fread"), and its heap peak against the file size ("heap_of_file").

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ScratchFile(long long count)
{
    // The process id keeps runs side by side from writing the same file.
    return (std::filesystem::temp_directory_path() /
            ("qoxnodescene" + std::to_string(count) + "-" + std::to_string(getpid()) + ".qox"))
        .string();
}

// count nodes under the root, each with a four-key curve on translation X in
// "Take 001".
void BuildScene(KQoxSdkManager& manager, KQoxScene& scene, int count)
{
    for (int n = 0; n < count; ++n)
    {
        KQoxNode* node = manager.CreateKQoxNode(("N" + std::to_string(n)).c_str());
        scene.GetRootNode()->AddChild(node);
        KFCurve* curve = node->CreateTakeNode("Take 001")->GetTranslationX();
        curve->KeyModifyBegin();
        for (int k = 0; k < 4; ++k)
            curve->KeyAppendFast(KTime(static_cast<long long>(k) * 1539538600LL), static_cast<float>(n % 17 + k));
        curve->KeyModifyEnd();
    }
}

double FreadSeconds(const std::string& name)
{
    std::vector<char> buffer(static_cast<size_t>(std::filesystem::file_size(name)));
    auto start = std::chrono::steady_clock::now();
    FILE* file = std::fopen(name.c_str(), "rb");
    size_t total = file ? std::fread(buffer.data(), 1, buffer.size(), file) : 0;
    if (file)
        std::fclose(file);
    benchmark::DoNotOptimize(total);
    return Seconds(start);
}

void BM_NodeSceneWriteRead(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string name = ScratchFile(count);
    double build = 0, write = 0, read = 0, reference = 0, buildBytes = 0, readPeak = 0;
    for (auto _ : state)
    {
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            const size_t before = HeapInUse();
            auto start = std::chrono::steady_clock::now();
            BuildScene(manager, scene, count);
            build += Seconds(start);
            buildBytes = double(HeapInUse() - before);
            start = std::chrono::steady_clock::now();
            KQoxExporter exporter(manager);
            exporter.Initialize(name.c_str());
            exporter.SetFileFormat(eEXPORT_QOX_BINARY);
            benchmark::DoNotOptimize(exporter.Export(scene));
            write += Seconds(start);
        }
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            const size_t before = HeapInUse();
            auto start = std::chrono::steady_clock::now();
            KQoxImporter importer(manager);
            importer.Initialize(name.c_str());
            benchmark::DoNotOptimize(importer.Import(scene));
            read += Seconds(start);
            // The heap after the read: the scene read plus what the reader
            // still holds.
            readPeak = double(HeapInUse() - before);
        }
        reference += FreadSeconds(name);
    }
    const double runs = double(state.iterations());
    const double fileBytes = double(std::filesystem::file_size(name));
    state.counters["build_us_per_node"] = build / runs / count * 1e6;
    state.counters["build_bytes_per_node"] = buildBytes / count;
    state.counters["write_us_per_node"] = write / runs / count * 1e6;
    state.counters["read_us_per_node"] = read / runs / count * 1e6;
    state.counters["file_bytes_per_node"] = fileBytes / count;
    state.counters["heap_of_file"] = fileBytes > 0 ? readPeak / fileBytes : 0;
    state.counters["of_fread"] = read > 0 ? reference / read : 0;
    std::remove(name.c_str());
}
BENCHMARK(BM_NodeSceneWriteRead)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
