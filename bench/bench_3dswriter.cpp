// The 3DS writer from a scene to the closed file: N meshes of 60,000
// triangles (a 301 x 101 grid with UVs and two materials by polygon), every
// mesh node animated over 300 frames (translation and rotation keyed at
// frames 0 and 300, sampled into 301 keys a track), and the file read back
// by the 3DS reader. Run for N = 50, 100 and 200 to show the time grows
// linearly with the scene.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fcurve/kfcurve.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

const int kColumns = 300, kRows = 100; // quads: 60,000 triangles
const int kFrames = 300;

std::string ScratchFile(const char* what)
{
    return "/tmp/bench_3dswriter_" + std::to_string(getpid()) + "_" + what + ".3ds";
}

long long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

KTime Frame(int f)
{
    KTime t;
    t.SetTime(0, 0, 0, f, 0, 0, 6);
    return t;
}

void Key(KFCurve* curve, KTime time, float value)
{
    curve->KeySet(curve->KeyAdd(time), time, value, KFCURVE_INTERPOLATION_LINEAR);
}

struct Scene
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();

    explicit Scene(int meshes)
    {
        KQoxMaterial* paint = manager->CreateKQoxMaterial("Paint");
        KQoxMaterial* chrome = manager->CreateKQoxMaterial("Chrome");
        for (int m = 0; m < meshes; ++m)
        {
            KQoxMesh* mesh = manager->CreateKQoxMesh();
            const int points = (kColumns + 1) * (kRows + 1);
            mesh->InitControlPoints(points);
            mesh->InitTextureUV(0);
            mesh->GetLayer(0)->GetUVs()->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
            for (int i = 0; i < points; ++i)
            {
                const int c = i % (kColumns + 1), r = i / (kColumns + 1);
                mesh->GetControlPoints()[i] = KQoxVector4(c * 0.1, (c * r % 7) * 0.01, r * 0.1);
                mesh->AddTextureUV(KQoxVector2(c / double(kColumns), r / double(kRows)));
            }
            mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
            mesh->AM(paint, 0);
            mesh->AM(chrome, 0);
            mesh->ReservePolygons(2 * kColumns * kRows, 6 * kColumns * kRows);
            for (int r = 0; r < kRows; ++r)
                for (int c = 0; c < kColumns; ++c)
                {
                    const int a = r * (kColumns + 1) + c, b = a + kColumns + 1;
                    const int corners[2][3] = {{a, a + 1, b + 1}, {a, b + 1, b}};
                    for (const auto& triangle : corners)
                    {
                        mesh->BeginPolygon((r + c) % 2, -1, -1);
                        mesh->AddPolygonVertices(triangle, nullptr, 3);
                        mesh->EndPolygon();
                    }
                }
            KQoxNode* node = manager->CreateKQoxNode(("Mesh" + std::to_string(m)).c_str());
            node->SetNodeAttribute(mesh);
            scene.GetRootNode()->AddChild(node);
            KQoxTakeNode* take = node->GetCurrentTakeNode();
            Key(take->GetTranslationX(), KTime(0), 0.0f);
            Key(take->GetTranslationX(), Frame(kFrames), 10.0f + m);
            Key(take->GetEulerRotationY(), KTime(0), 0.0f);
            Key(take->GetEulerRotationY(), Frame(kFrames), 360.0f);
        }
    }
};

Scene& SceneOf(int meshes)
{
    static std::map<int, std::unique_ptr<Scene>> scenes;
    auto& scene = scenes[meshes];
    if (!scene)
        scene = std::make_unique<Scene>(meshes);
    return *scene;
}

void BM_3dsWriterExport(benchmark::State& state)
{
    const int meshes = static_cast<int>(state.range(0));
    Scene& s = SceneOf(meshes);
    const std::string path = ScratchFile("export");
    for (auto _ : state)
    {
        KQoxWriter3DS writer(*s.manager);
        std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(path.c_str()) || !writer.Write(s.scene, options.get()))
            state.SkipWithError("the 3DS writer failed");
    }
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    state.counters["MB"] = FileSize(path) / 1e6;
    state.counters["triangles/s"] =
        benchmark::Counter(2.0 * kColumns * kRows * meshes * state.iterations(), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}

// The files of BM_3dsWriterExport read back through the 3DS reader into a
// new scene each time (smoothing groups off: one control point a vertex).
void BM_3dsWriterImport(benchmark::State& state)
{
    const int meshes = static_cast<int>(state.range(0));
    Scene& s = SceneOf(meshes);
    const std::string path = ScratchFile("import");
    {
        KQoxWriter3DS writer(*s.manager);
        std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(path.c_str()) || !writer.Write(s.scene, options.get()))
            state.SkipWithError("the 3DS writer failed");
    }
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxReader3DS reader(*manager);
        std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
        static_cast<KStreamOptions3ds*>(options.get())->SetOption(16, 0);
        if (!reader.FileOpen(path.c_str()) || !reader.Read(scene, options.get()))
            state.SkipWithError("the 3DS reader failed");
    }
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    state.counters["triangles/s"] =
        benchmark::Counter(2.0 * kColumns * kRows * meshes * state.iterations(), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}

} // namespace

BENCHMARK(BM_3dsWriterExport)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_3dsWriterImport)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
