// A native file of one triangle mesh with a material (or two, taking turns
// by column, so that every face assigned to one group is looked for in the
// other), imported through the plug-in into the host stand-in as zelt
// imports it (add mode), at 30,000 and 120,000 triangles, five times each.
// Counters, from the quickest run of each: "small_ms" and "large_ms", each
// import's time; "large_over_small", their ratio (4 for an import whose cost
// grows with the faces); "x_sdk_read", the larger import over the SDK's own
// read of the same file.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include <benchmark/benchmark.h>

#include "bench_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "host/zglobal.h"
#include "host/zhost.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

constexpr int kSmallTriangles = 30000;
constexpr int kLargeTriangles = 120000;

// A grid of rows x 100 quads, each cut into two triangles, every triangle
// with the material "Paint" (by polygon, as the OBJ reader gives a mesh with
// one material), or with two materials the odd columns take "Ink", written
// as a binary native file; false when it cannot be.
bool WriteTriangles(const std::string& path, int triangles, int materials)
{
    const int columns = 100, rows = triangles / (2 * columns);
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints((rows + 1) * (columns + 1));
    KQoxVector4* points = mesh->GetControlPoints();
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c)
            points[r * (columns + 1) + c] = KQoxVector4(c, 0, r);
    mesh->AM(manager.CreateKQoxMaterial("Paint"), 0);
    if (materials > 1)
        mesh->AM(manager.CreateKQoxMaterial("Ink"), 0);
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
        {
            const int a = r * (columns + 1) + c, b = a + 1, d = a + columns + 1, e = d + 1;
            const int triangle[2][3] = {{a, e, b}, {a, d, e}};
            for (const auto& corners : triangle)
            {
                mesh->BeginPolygon(materials > 1 ? c % 2 : 0);
                for (int corner : corners)
                    mesh->AddPolygon(corner);
                mesh->EndPolygon();
            }
        }
    KQoxNode* node = manager.CreateKQoxNode("Grid");
    node->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(node);
    KQoxExporter exporter(manager);
    return exporter.Initialize(path.c_str()) && exporter.SetFileFormat(eEXPORT_QOX_BINARY) && exporter.Export(scene);
}

// Seconds of the SDK reading the file into a fresh scene.
double SdkReadSeconds(const std::string& path)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxImporter importer(manager);
    bool ok = importer.Initialize(path.c_str());
    const double seconds = benchutil::Seconds([&] { ok = ok && importer.Import(scene); });
    return ok ? seconds : 0;
}

// Seconds of one add-mode import of the file into an empty host scene; 0
// when the import fails.
double HostImportSeconds(const std::string& path)
{
    zelthost::Host::Get().Reset();
    ZGlobal::executeCommand("QOXImportMode kCreate");
    ZStatus status;
    const double seconds =
        benchutil::Seconds([&] { status = ZGlobal::executeCommand(("QOXImport -f \"" + path + "\"").c_str()); });
    zelthost::Host::Get().ClearTranscript();
    return status ? seconds : 0;
}

void BM_HostImportTriangles(benchmark::State& state)
{
    benchutil::ScratchDirectory scratch("qox_host_import");
    // The plug-in keeps its settings and log beside itself: a copy in the scratch folder.
    const std::string plugin = scratch.Path() + "/qoxzelt.so";
    std::error_code error;
    std::filesystem::copy_file(QOXZELT_PATH, plugin, error);
    setenv("ZELT_PLUG_IN_PATH", scratch.Path().c_str(), 1);
    const std::string small = scratch.Path() + "/small.qox", large = scratch.Path() + "/large.qox";
    if (error || !WriteTriangles(small, kSmallTriangles, static_cast<int>(state.range(0))) ||
        !WriteTriangles(large, kLargeTriangles, static_cast<int>(state.range(0))) ||
        !zelthost::Host::Get().LoadPlugin(plugin))
    {
        state.SkipWithError("cannot write the files or load the plug-in");
        return;
    }
    // The quickest of the runs of each: the machine's other work only ever
    // adds to a run, and the ratios compare like with like.
    double smallSeconds = 1e9, largeSeconds = 1e9, sdkSeconds = 1e9;
    bool failed = false;
    for (auto _ : state)
    {
        const double s = HostImportSeconds(small), l = HostImportSeconds(large);
        failed = failed || s == 0 || l == 0;
        smallSeconds = std::min(smallSeconds, s);
        largeSeconds = std::min(largeSeconds, l);
        state.PauseTiming();
        sdkSeconds = std::min(sdkSeconds, SdkReadSeconds(large));
        state.ResumeTiming();
    }
    zelthost::Host::Get().Reset();
    zelthost::Host::Get().UnloadAllPlugins();
    if (failed || sdkSeconds == 0)
    {
        state.SkipWithError("an import or a read failed");
        return;
    }
    state.counters["small_ms"] = 1e3 * smallSeconds;
    state.counters["large_ms"] = 1e3 * largeSeconds;
    state.counters["large_over_small"] = largeSeconds / smallSeconds;
    state.counters["x_sdk_read"] = largeSeconds / sdkSeconds;
}
BENCHMARK(BM_HostImportTriangles)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
