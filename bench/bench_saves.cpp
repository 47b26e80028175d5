// Saves of different files never take turns: 8 threads each saving its own
// OBJ (with its material library) 25 times, all into one folder against
// each into a folder of its own, in the same run. "one_folder_vs_own" is the
// time into one folder over the time into folders of their own (1 = as
// fast).

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

const int kSavingThreads = 8;
const int kSavesPerThread = 25;
const int kQuadsPerSave = 3000;

// A manager with a scene of quads side by side, with a material.
struct QuadScene
{
    QuadScene()
        : manager(KQoxSdkManager::CreateKQoxSdkManager())
        , scene(*manager->CreateKQoxScene())
    {
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        mesh->InitControlPoints(4 * kQuadsPerSave);
        for (int q = 0; q < kQuadsPerSave; ++q)
        {
            KQoxVector4* points = mesh->GetControlPoints();
            points[4 * q + 0] = KQoxVector4(q, 0, 0);
            points[4 * q + 1] = KQoxVector4(q + 1, 0, 0);
            points[4 * q + 2] = KQoxVector4(q + 1, 1, 0);
            points[4 * q + 3] = KQoxVector4(q, 1, 0);
            mesh->BeginPolygon();
            for (int k = 0; k < 4; ++k)
                mesh->AddPolygon(4 * q + k);
            mesh->EndPolygon();
        }
        mesh->AM(manager->CreateKQoxMaterial("Paint"), 0);
        mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
        KQoxNode* node = manager->CreateKQoxNode("Quads");
        node->SetNodeAttribute(mesh);
        scene.GetRootNode()->AddChild(node);
    }
    std::unique_ptr<KQoxSdkManager> manager;
    KQoxScene& scene;
};

// Seconds for every thread to save its scene to its target kSavesPerThread
// times; false in ok when a save failed.
double SaveAll(std::vector<QuadScene>& scenes, const std::vector<std::string>& targets, bool& ok)
{
    std::atomic<bool> failed{false};
    const double seconds = benchutil::Seconds([&] {
        std::vector<std::thread> threads;
        for (size_t t = 0; t < targets.size(); ++t)
            threads.emplace_back([&, t] {
                for (int s = 0; s < kSavesPerThread; ++s)
                {
                    KQoxExporter exporter(*scenes[t].manager);
                    if (!exporter.Initialize(targets[t].c_str()) || !exporter.SetFileFormat(eEXPORT_OBJ))
                        failed = true;
                    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
                    if (!exporter.Export(scenes[t].scene, options.get()))
                        failed = true;
                }
            });
        for (std::thread& thread : threads)
            thread.join();
    });
    ok = ok && !failed;
    return seconds;
}

void BM_SavesIntoOneFolderVsAFolderEach(benchmark::State& state)
{
    KQoxRegisterGeometryFormats();
    benchutil::ScratchDirectory scratch("qox_saves_");
    std::vector<QuadScene> scenes(kSavingThreads);
    std::vector<std::string> shared, own;
    for (int t = 0; t < kSavingThreads; ++t)
    {
        const std::string name = "scene" + std::to_string(t) + ".obj";
        shared.push_back(scratch.Path() + "/" + name);
        const std::string folder = scratch.Path() + "/own" + std::to_string(t);
        mkdir(folder.c_str(), 0755);
        own.push_back(folder + "/" + name);
    }
    double oneFolder = 0, folderEach = 0;
    bool ok = !scratch.Path().empty();
    for (auto _ : state)
    {
        // In turn first, so that neither always meets a warm cache.
        const bool sharedFirst = state.iterations() % 2 == 0;
        const double first = SaveAll(scenes, sharedFirst ? shared : own, ok);
        const double second = SaveAll(scenes, sharedFirst ? own : shared, ok);
        oneFolder += sharedFirst ? first : second;
        folderEach += sharedFirst ? second : first;
        state.SetIterationTime(first + second);
    }
    if (!ok)
        state.SkipWithError("a save failed");
    state.counters["one_folder_ms"] = 1e3 * oneFolder / static_cast<double>(state.iterations());
    state.counters["folder_each_ms"] = 1e3 * folderEach / static_cast<double>(state.iterations());
    state.counters["one_folder_vs_own"] = folderEach > 0 ? oneFolder / folderEach : 0;
}
BENCHMARK(BM_SavesIntoOneFolderVsAFolderEach)->Unit(benchmark::kMillisecond)->Iterations(8)->UseManualTime();

} // namespace
