// Native scene file at disk size: a grid mesh of 1 or 4 million quads (the
// layout the OBJ benchmark's grid reads into: control points, per-point
// normals, UVs by polygon vertex through an index array), exported and
// imported in binary and ASCII. In the same run the same number of bytes goes
// through fwrite, saved as the exporter saves (see benchutil::DurableWrite),
// and through plain fread; "of_fwrite" and "of_fread" are the writer's and
// the reader's throughput as a fraction of those. "mem_of_file" is the
// peak memory added by one import (measured in a child process) over the
// file size.
//
// Beside the grid, a scene of several meshes (UVs, normals, materials) and
// animated nodes is read on one core (every thread of the process held to
// the processor the run started on) in ASCII and binary, each read paired
// with fread of the same bytes into a fresh buffer of the file's size:
// "of_fread" is fread's time over the reader's (1 = as fast), with the
// medians of both times and CPU times, and the peak resident size each adds.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

// A directory of its own for the run, removed at exit.
const std::string& ScratchDirectory()
{
    static benchutil::ScratchDirectory scratch("qoxgridbench");
    return scratch.Path();
}

// The number a 6-decimal text reads back as.
double Decimal6(double v)
{
    return std::round(v * 1e6) / 1e6;
}

// A side x side grid of quads under the scene's root: control points moved
// by shift along x, UVs by polygon vertex through an index array and normals
// by control point, whose y is i % 7 / 7 for point i when tilted (0 when not).
KQoxMesh* AddGridMesh(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, int side, int shift,
                      bool tilted)
{
    const int points = (side + 1) * (side + 1);
    KQoxNode* node = manager.CreateKQoxNode(name.c_str());
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(points);
    KQoxVector4* cp = mesh->GetControlPoints();
    for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x)
            cp[y * (side + 1) + x] =
                KQoxVector4(x / 100.0 + shift, y / 100.0, ((x * 7 + y * 13 + shift) % 100) / 1000.0, 1.0);
    KQoxLayer* layer = mesh->GetLayer(mesh->GetLayerCount() > 0 ? 0 : mesh->CreateLayer());
    KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
    uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    uvs->mDirectArray.SetCount(points);
    for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x)
            uvs->mDirectArray[y * (side + 1) + x] = KQoxVector2(Decimal6(x / double(side)), Decimal6(y / double(side)));
    layer->SetUVs(uvs);
    mesh->ReservePolygons(side * side, side * side * 4);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
        {
            const int c[4] = {y * (side + 1) + x, y * (side + 1) + x + 1, (y + 1) * (side + 1) + x + 1,
                              (y + 1) * (side + 1) + x};
            mesh->BeginPolygon();
            mesh->AddPolygonVertices(c, c, 4);
            mesh->EndPolygon();
        }
    KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
    normals->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    normals->mDirectArray.SetCount(points);
    for (int i = 0; i < points; ++i)
        normals->mDirectArray[i] = KQoxVector4(0, tilted ? Decimal6(i % 7 / 7.0) : 0.0, 1, 0);
    layer->SetNormals(normals);
    scene.GetRootNode()->AddChild(node);
    return mesh;
}

// A grid of one or four million quads, one scene per size, kept for the whole run.
struct GridScene
{
    explicit GridScene(int side)
        : mManager(KQoxSdkManager::CreateKQoxSdkManager())
        , mScene(mManager->CreateKQoxScene())
    {
        AddGridMesh(*mManager, *mScene, "Grid", side, 0, false);
    }
    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxScene* mScene;
};

GridScene& Grid(int millions)
{
    static std::unique_ptr<GridScene> one, four;
    std::unique_ptr<GridScene>& slot = millions == 1 ? one : four;
    if (!slot)
        slot.reset(new GridScene(millions == 1 ? 1000 : 2000));
    return *slot;
}

std::string GridFile(int millions, int format)
{
    return ScratchDirectory() + "/grid" + std::to_string(millions) + "_" + std::to_string(format) + ".qox";
}

bool Export(int millions, int format)
{
    GridScene& grid = Grid(millions);
    KQoxExporter exporter(*grid.mManager);
    return exporter.Initialize(GridFile(millions, format).c_str()) && exporter.SetFileFormat(format) &&
           exporter.Export(*grid.mScene);
}

// The same number of bytes as the file through fwrite (to a file of its own,
// saved durably as the exporter saves) or fread, from and into a buffer kept
// across runs.
std::vector<char>& Buffer(size_t size)
{
    static std::vector<char> buffer;
    if (buffer.size() < size)
        buffer.resize(size, 'x');
    return buffer;
}

double FwriteSeconds(size_t size)
{
    std::vector<char>& buffer = Buffer(size);
    std::string name = ScratchDirectory() + "/fwrite.bin";
    auto start = std::chrono::steady_clock::now();
    bool saved = benchutil::DurableWrite(name, buffer.data(), size);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(saved);
    std::remove(name.c_str());
    return seconds;
}

double FreadSeconds(const std::string& name)
{
    size_t size = static_cast<size_t>(std::filesystem::file_size(name));
    std::vector<char>& buffer = Buffer(size);
    auto start = std::chrono::steady_clock::now();
    FILE* file = std::fopen(name.c_str(), "rb");
    size_t total = file ? std::fread(buffer.data(), 1, size, file) : 0;
    if (file)
        std::fclose(file);
    benchmark::DoNotOptimize(total);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long StatusKilobytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// Peak resident memory one import adds, in bytes, measured in a child
// process whose high-water mark is reset first; -1 when it cannot be told.
double ImportPeakBytes(const std::string& name)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0)
    {
        close(pipeEnds[0]);
        double result = -1;
        {
            // Free heap pages the parent left go back first, so that reusing them counts.
            malloc_trim(0);
            std::ofstream("/proc/self/clear_refs") << "5";
            long before = StatusKilobytes("VmRSS:");
            std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
            KQoxScene* scene = manager->CreateKQoxScene();
            KQoxImporter importer(*manager);
            bool ok = importer.Initialize(name.c_str()) && importer.Import(*scene);
            long peak = StatusKilobytes("VmHWM:");
            if (ok && before >= 0 && peak >= 0)
                result = (peak - before) * 1024.0;
        }
        ssize_t written = write(pipeEnds[1], &result, sizeof result);
        _exit(written == sizeof result ? 0 : 1);
    }
    close(pipeEnds[1]);
    double result = -1;
    if (child < 0 || read(pipeEnds[0], &result, sizeof result) != sizeof result)
        result = -1;
    close(pipeEnds[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return result;
}

void BM_GridWrite(benchmark::State& state)
{
    const int millions = static_cast<int>(state.range(0));
    const int format = static_cast<int>(state.range(1));
    Grid(millions);
    double writer = 0, reference = 0;
    size_t size = 0;
    for (auto _ : state)
    {
        // Both write a new file: dropping the old one is no part of either.
        std::remove(GridFile(millions, format).c_str());
        auto start = std::chrono::steady_clock::now();
        if (!Export(millions, format))
            state.SkipWithError("export failed");
        writer += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        size = static_cast<size_t>(std::filesystem::file_size(GridFile(millions, format)));
        reference += FwriteSeconds(size);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
    state.counters["MB"] = static_cast<double>(size) / 1e6;
    state.counters["of_fwrite"] = writer > 0 ? reference / writer : 0;
}

void BM_GridRead(benchmark::State& state)
{
    const int millions = static_cast<int>(state.range(0));
    const int format = static_cast<int>(state.range(1));
    const std::string name = GridFile(millions, format);
    if (!std::filesystem::exists(name) && !Export(millions, format))
        state.SkipWithError("export failed");
    const size_t size = static_cast<size_t>(std::filesystem::file_size(name));
    double reader = 0, reference = 0;
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene* scene = manager->CreateKQoxScene();
        auto start = std::chrono::steady_clock::now();
        KQoxImporter importer(*manager);
        if (!importer.Initialize(name.c_str()) || !importer.Import(*scene))
            state.SkipWithError("import failed");
        reader += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming(); // the scene's destruction is not reading
        manager.reset();
        reference += FreadSeconds(name);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
    state.counters["MB"] = static_cast<double>(size) / 1e6;
    state.counters["of_fread"] = reader > 0 ? reference / reader : 0;
    state.counters["ns_per_quad"] = reader * 1e9 / (static_cast<double>(state.iterations()) * millions * 1e6);
    double peak = ImportPeakBytes(name);
    state.counters["mem_of_file"] = peak > 0 ? peak / static_cast<double>(size) : -1;
}

BENCHMARK(BM_GridWrite)
    ->ArgsProduct({{1, 4}, {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();
BENCHMARK(BM_GridRead)
    ->ArgsProduct({{1, 4}, {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

// Four grid meshes of different sizes, each with per-point normals, UVs by
// polygon vertex, a material by polygon out of four, and 300 nodes with
// three curves of 400 keys each in one take.
struct MixedScene
{
    MixedScene()
        : mManager(KQoxSdkManager::CreateKQoxSdkManager())
        , mScene(mManager->CreateKQoxScene())
    {
        KQoxMaterial* materials[4];
        for (int m = 0; m < 4; ++m)
            materials[m] = mManager->CreateKQoxMaterial(("Material" + std::to_string(m)).c_str());
        const int sides[4] = {400, 300, 250, 200};
        for (int g = 0; g < 4; ++g)
            AddGrid(g, sides[g], materials);
        for (int n = 0; n < 300; ++n)
        {
            KQoxNode* node = mManager->CreateKQoxNode(("Animated" + std::to_string(n)).c_str());
            mScene->GetRootNode()->AddChild(node);
            KQoxTakeNode* take = node->CreateTakeNode("Take 001");
            KFCurve* curves[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
            for (int c = 0; c < 3; ++c)
            {
                curves[c]->KeyModifyBegin();
                for (int k = 0; k < 400; ++k)
                    curves[c]->KeyAppendFast(KTime(static_cast<long long>(k) * 1539538600LL),
                                             static_cast<float>((k * (c + 3) + n) % 97) * 0.25f);
                curves[c]->KeyModifyEnd();
            }
        }
    }
    void AddGrid(int g, int side, KQoxMaterial* const* materials)
    {
        KQoxMesh* mesh = AddGridMesh(*mManager, *mScene, "Mesh" + std::to_string(g), side, g, true);
        KQoxLayerElementMaterial* byPolygon = new KQoxLayerElementMaterial;
        byPolygon->mMappingMode = KQoxLayerElement::eBY_POLYGON;
        byPolygon->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        for (int m = 0; m < 4; ++m)
            byPolygon->mDirectArray.Add(materials[m]);
        byPolygon->mIndexArray.SetCount(side * side);
        for (int p = 0; p < side * side; ++p)
            byPolygon->mIndexArray[p] = (p / side + g) % 4;
        mesh->GetLayer(0)->SetMaterials(byPolygon);
    }
    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxScene* mScene;
};

std::string MixedFile(int format)
{
    static MixedScene scene;
    const std::string name = ScratchDirectory() + "/mixed_" + std::to_string(format) + ".qox";
    if (!std::filesystem::exists(name))
    {
        KQoxExporter exporter(*scene.mManager);
        if (!exporter.Initialize(name.c_str()) || !exporter.SetFileFormat(format) || !exporter.Export(*scene.mScene))
            return std::string();
    }
    return name;
}

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Every thread of the process held to the given processors.
void HoldThreads(const cpu_set_t& set)
{
    if (DIR* tasks = opendir("/proc/self/task"))
    {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.')
                sched_setaffinity(static_cast<pid_t>(std::atoi(entry->d_name)), sizeof set, &set);
        closedir(tasks);
    }
}

// For the life of the object, the process runs on the processor it runs on now.
struct OneCore
{
    OneCore()
    {
        sched_getaffinity(0, sizeof mBefore, &mBefore);
        cpu_set_t one;
        CPU_ZERO(&one);
        const int cpu = sched_getcpu();
        CPU_SET(cpu < 0 ? 0 : cpu, &one);
        HoldThreads(one);
    }
    ~OneCore() { HoldThreads(mBefore); }
    cpu_set_t mBefore;
};

// fread of the whole file into a buffer of its size made for it.
double FreshFreadSeconds(const std::string& name, double& cpu)
{
    const size_t size = static_cast<size_t>(std::filesystem::file_size(name));
    const double cpuStart = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    char* buffer = static_cast<char*>(std::malloc(size));
    FILE* file = std::fopen(name.c_str(), "rb");
    size_t total = file && buffer ? std::fread(buffer, 1, size, file) : 0;
    if (file)
        std::fclose(file);
    benchmark::DoNotOptimize(total);
    benchmark::DoNotOptimize(buffer);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu = CpuSeconds() - cpuStart;
    std::free(buffer);
    return seconds;
}

double MedianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void BM_MixedSceneReadOneCore(benchmark::State& state)
{
    const int format = static_cast<int>(state.range(0));
    const std::string name = MixedFile(format);
    if (name.empty())
    {
        state.SkipWithError("export failed");
        return;
    }
    OneCore held;
    std::vector<double> ours, ourCpu, peer, peerCpu, ratio;
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene* scene = manager->CreateKQoxScene();
        const double cpuStart = CpuSeconds();
        auto start = std::chrono::steady_clock::now();
        {
            KQoxImporter importer(*manager);
            if (!importer.Initialize(name.c_str()) || !importer.Import(*scene))
                state.SkipWithError("import failed");
        }
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ourCpu.push_back(CpuSeconds() - cpuStart);
        manager.reset();
        double fcpu = 0;
        const double f = FreshFreadSeconds(name, fcpu);
        state.SetIterationTime(t);
        ours.push_back(t);
        peer.push_back(f);
        peerCpu.push_back(fcpu);
        ratio.push_back(f / t);
    }
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
    state.counters["ms"] = MedianOf(ours) * 1e3;
    state.counters["cpu_ms"] = MedianOf(ourCpu) * 1e3;
    state.counters["fread_ms"] = MedianOf(peer) * 1e3;
    state.counters["fread_cpu_ms"] = MedianOf(peerCpu) * 1e3;
    state.counters["of_fread"] = MedianOf(ratio);
    // Peak resident size each adds: the reader's measured in a child
    // process, fread's the buffer it fills.
    const double peak = ImportPeakBytes(name);
    state.counters["peak_MB"] = peak > 0 ? peak / 1e6 : -1;
    state.counters["fread_peak_MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
}
BENCHMARK(BM_MixedSceneReadOneCore)
    ->Arg(eEXPORT_QOX_ASCII)
    ->Arg(eEXPORT_QOX_BINARY)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7)
    ->UseManualTime();

} // namespace
