// 3DS scenes through the importer: a file of 200 meshes of 60,000 triangles
// (a 201 x 151 grid each, with UVs, four smoothing groups and a material
// with a texture) and 200 nodes keyed on every frame of 300 in position,
// rotation and scale, written once with the chunk toolkit. Importing counts
// from the open file to the filled scene. References in the same run: the
// toolkit fetching every record of the same file, and lib3ds loading it
// when present.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/ftk3ds/ftk3ds.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

#ifdef QOX_HAVE_LIB3DS
#include <lib3ds/file.h>
#endif

using namespace qoxsdk_600;

namespace {

const int kMeshes = 200;
const int kColumns = 201;
const int kRows = 151;
const int kVertices = kColumns * kRows;              // 30,351
const int kFaces = 2 * (kColumns - 1) * (kRows - 1); // 60,000
const int kFrames = 300;

using benchutil::FileSize;

void Name(char* field, size_t size, const char* text)
{
    std::snprintf(field, size, "%s", text);
}

mesh3ds* GridMesh(int index)
{
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, kVertices, kFaces, InitTextArray3ds | InitSmoothArray3ds);
    std::snprintf(m->name, sizeof m->name, "Grid%d", index);
    for (int v = 0; v < kVertices; ++v)
    {
        const int c = v % kColumns, r = v / kColumns;
        m->vertexarray[v] = {c * 0.1f, r * 0.1f, ((c * 7 + r * 3) % 11) * 0.01f + index};
        m->textarray[v] = {c / float(kColumns - 1), r / float(kRows - 1)};
    }
    int f = 0;
    for (int r = 0; r + 1 < kRows; ++r)
        for (int c = 0; c + 1 < kColumns; ++c)
        {
            const ushort3ds a = static_cast<ushort3ds>(r * kColumns + c);
            const ushort3ds b = static_cast<ushort3ds>(a + 1);
            const ushort3ds d = static_cast<ushort3ds>(a + kColumns);
            const ushort3ds e = static_cast<ushort3ds>(d + 1);
            // A band of rows per smoothing group: the band edges split.
            const ulong3ds group = 1u << ((r / 40) % 4);
            m->facearray[f] = {a, b, e, 7};
            m->smootharray[f++] = group;
            m->facearray[f] = {a, e, d, 7};
            m->smootharray[f++] = group;
        }
    m->nmats = 1;
    InitMeshObjField3ds(m, InitMatArray3ds);
    Name(m->matarray[0].name, sizeof m->matarray[0].name, "Paint");
    InitMatArrayIndex3ds(m, 0, kFaces);
    for (int i = 0; i < kFaces; ++i)
        m->matarray[0].faceindex[i] = static_cast<ushort3ds>(i);
    return m;
}

objectmotion3ds* AnimatedNode(int index)
{
    objectmotion3ds* o = nullptr;
    InitObjectMotion3ds(&o, kFrames, kFrames, kFrames, 0, 0);
    std::snprintf(o->name, sizeof o->name, "Grid%d", index);
    // Every tenth node hangs under the one before, the rest at the top.
    if (index % 10)
        std::snprintf(o->parent, sizeof o->parent, "Grid%d", index - 1);
    o->pivot = {10.0f, 7.5f, 0.0f};
    for (int k = 0; k < kFrames; ++k)
    {
        o->pkeys[k].time = o->rkeys[k].time = o->skeys[k].time = static_cast<ulong3ds>(k);
        o->pkeys[k].rflags = KeyUsesTension3ds;
        o->pkeys[k].tension = 0.25f;
        o->pos[k] = {k * 0.1f, index * 1.0f, 0.0f};
        o->rot[k] = {0.02f, 0.0f, 0.0f, 1.0f};
        o->scale[k] = {1.0f + k * 0.001f, 1.0f, 1.0f};
    }
    return o;
}

// The scene file, written once per run.
const std::string& SceneFile()
{
    static const std::string path = [] {
        const std::string p = "/tmp/bench_3ds_scene_" + std::to_string(getpid()) + ".3ds";
        database3ds* db = nullptr;
        InitDatabase3ds(&db);
        CreateNewDatabase3ds(db, MeshFile3ds);
        material3ds* mat = nullptr;
        InitMaterial3ds(&mat);
        Name(mat->name, sizeof mat->name, "Paint");
        mat->diffuse = {0.8f, 0.2f, 0.1f};
        Name(mat->texture.name, sizeof mat->texture.name, "paint.jpg");
        mat->texture.percent = 1.0f;
        mat->texture.uscale = mat->texture.vscale = 1.0f;
        PutMaterial3ds(db, mat);
        ReleaseMaterial3ds(&mat);
        for (int i = 0; i < kMeshes; ++i)
        {
            mesh3ds* m = GridMesh(i);
            PutMesh3ds(db, m);
            RelMeshObj3ds(&m);
            objectmotion3ds* o = AnimatedNode(i);
            PutObjectMotion3ds(db, o);
            ReleaseObjectMotion3ds(&o);
        }
        file3ds* f = OpenFile3ds(p.c_str(), "wb");
        WriteDatabase3ds(f, db);
        CloseFile3ds(f);
        ReleaseDatabase3ds(&db);
        return p;
    }();
    return path;
}

void BM_Import3dsScene(benchmark::State& state)
{
    const std::string& path = SceneFile();
    KQoxRegisterGeometryFormats();
    long long nodes = 0;
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxImporter importer(*manager);
        if (!importer.Initialize(path.c_str()))
        {
            state.SkipWithError("the importer cannot open the file");
            break;
        }
        std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
        if (!importer.Import(scene, options.get()))
            state.SkipWithError("the import failed");
        nodes = manager->GetKQoxNodeCount();
        state.PauseTiming(); // the scene's destruction is not the import
        importer.FileClose();
        manager.reset();
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(nodes);
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    state.counters["MB"] = FileSize(path) / 1e6;
    state.counters["triangles"] = double(kMeshes) * kFaces;
    state.counters["keys"] = 3.0 * kMeshes * kFrames;
}

// The reference: the toolkit alone fetching every mesh and node record.
void BM_Fetch3dsSceneRecords(benchmark::State& state)
{
    const std::string& path = SceneFile();
    for (auto _ : state)
    {
        file3ds* f = OpenFile3ds(path.c_str(), "rb");
        database3ds* db = nullptr;
        InitDatabase3ds(&db);
        CreateDatabase3ds(f, db);
        mesh3ds* m = nullptr;
        for (ulong3ds i = 0; i < GetMeshCount3ds(db); ++i)
            GetMeshByIndex3ds(db, i, &m);
        RelMeshObj3ds(&m);
        objectmotion3ds* o = nullptr;
        for (ulong3ds i = 0; i < GetObjectNodeCount3ds(db); ++i)
            GetObjectMotionByIndex3ds(db, i, &o);
        ReleaseObjectMotion3ds(&o);
        ReleaseDatabase3ds(&db);
        CloseFile3ds(f);
        if (ftkerr3ds)
            state.SkipWithError("the toolkit failed to read");
    }
    state.SetBytesProcessed(state.iterations() * FileSize(path));
}

BENCHMARK(BM_Import3dsScene)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Fetch3dsSceneRecords)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

#ifdef QOX_HAVE_LIB3DS
void BM_Lib3dsLoad3dsScene(benchmark::State& state)
{
    const std::string& path = SceneFile();
    for (auto _ : state)
    {
        Lib3dsFile* f = lib3ds_file_load(path.c_str());
        if (!f)
            state.SkipWithError("lib3ds failed to read");
        else
            lib3ds_file_free(f);
    }
    state.SetBytesProcessed(state.iterations() * FileSize(path));
}
BENCHMARK(BM_Lib3dsLoad3dsScene)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
#endif

// The file goes when the program ends.
struct SceneFileRemover
{
    ~SceneFileRemover() { std::remove(("/tmp/bench_3ds_scene_" + std::to_string(getpid()) + ".3ds").c_str()); }
} gSceneFileRemover;

} // namespace
