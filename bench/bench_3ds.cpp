// 3DS files through the chunk toolkit and, when present, through lib3ds in
// the same run: 200 meshes of 60,000 faces (30,000 vertices with UVs,
// smoothing groups and a material list) and 200 animated nodes of 100 keys
// per track. Writing counts from the records to the closed file; reading
// from the file to every record fetched.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "formats/ftk3ds/ftk3ds.h"

#ifdef QOX_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#endif

namespace {

const int kMeshes = 200;
const int kVertices = 30000;
const int kFaces = 60000;
const int kKeys = 100;

std::string ScratchFile(const char* what)
{
    return "/tmp/bench_3ds_" + std::to_string(getpid()) + "_" + what + ".3ds";
}

using benchutil::FileSize;

// The scene as toolkit records, built once.
struct Scene
{
    std::vector<mesh3ds*> meshes;
    std::vector<objectmotion3ds*> motions;
    material3ds* material = nullptr;

    Scene()
    {
        InitMaterial3ds(&material);
        std::snprintf(material->name, sizeof material->name, "Paint");
        for (int i = 0; i < kMeshes; ++i)
        {
            mesh3ds* m = nullptr;
            InitMeshObj3ds(&m, kVertices, kFaces, InitTextArray3ds | InitSmoothArray3ds);
            std::snprintf(m->name, sizeof m->name, "Mesh%d", i);
            for (int v = 0; v < kVertices; ++v)
            {
                m->vertexarray[v] = {v * 0.01f, i * 1.0f, (v % 100) * 0.1f};
                m->textarray[v] = {(v % 100) * 0.01f, (v / 100) * 0.003f};
            }
            for (int f = 0; f < kFaces; ++f)
            {
                int a = f / 2;
                m->facearray[f] = {static_cast<ushort3ds>(a), static_cast<ushort3ds>((a + 1) % kVertices),
                                   static_cast<ushort3ds>((a + 100) % kVertices), 7};
                m->smootharray[f] = 1u << (f % 8);
            }
            m->nmats = 1;
            InitMeshObjField3ds(m, InitMatArray3ds);
            std::snprintf(m->matarray[0].name, sizeof m->matarray[0].name, "Paint");
            InitMatArrayIndex3ds(m, 0, kFaces);
            for (int f = 0; f < kFaces; ++f)
                m->matarray[0].faceindex[f] = static_cast<ushort3ds>(f);
            meshes.push_back(m);

            objectmotion3ds* o = nullptr;
            InitObjectMotion3ds(&o, kKeys, kKeys, kKeys, 0, 0);
            std::snprintf(o->name, sizeof o->name, "Mesh%d", i);
            for (int k = 0; k < kKeys; ++k)
            {
                o->pkeys[k].time = o->rkeys[k].time = o->skeys[k].time = static_cast<ulong3ds>(k);
                o->pkeys[k].rflags = 7;
                o->pos[k] = {k * 1.0f, 0, i * 1.0f};
                o->rot[k] = {0.01f, 0, 0, 1};
            }
            motions.push_back(o);
        }
    }
    ~Scene()
    {
        for (mesh3ds* m : meshes)
            RelMeshObj3ds(&m);
        for (objectmotion3ds* o : motions)
            ReleaseObjectMotion3ds(&o);
        ReleaseMaterial3ds(&material);
    }
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

bool ToolkitWrite(const std::string& path)
{
    Scene& s = TheScene();
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateNewDatabase3ds(db, MeshFile3ds);
    PutMaterial3ds(db, s.material);
    for (mesh3ds* m : s.meshes)
        PutMesh3ds(db, m);
    for (objectmotion3ds* o : s.motions)
        PutObjectMotion3ds(db, o);
    file3ds* f = OpenFile3ds(path.c_str(), "wb");
    WriteDatabase3ds(f, db);
    CloseFile3ds(f);
    ReleaseDatabase3ds(&db);
    return !ftkerr3ds;
}

void BM_ToolkitWrite3ds(benchmark::State& state)
{
    ResetToolkit3ds();
    TheScene();
    const std::string path = ScratchFile("toolkit");
    for (auto _ : state)
        if (!ToolkitWrite(path))
            state.SkipWithError("the toolkit failed to write");
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    state.counters["MB"] = FileSize(path) / 1e6;
    std::remove(path.c_str());
}

void BM_ToolkitRead3ds(benchmark::State& state)
{
    ResetToolkit3ds();
    const std::string path = ScratchFile("toolkit_read");
    ToolkitWrite(path);
    size_t faces = 0;
    for (auto _ : state)
    {
        file3ds* f = OpenFile3ds(path.c_str(), "rb");
        database3ds* db = nullptr;
        InitDatabase3ds(&db);
        CreateDatabase3ds(f, db);
        mesh3ds* m = nullptr;
        for (ulong3ds i = 0; i < GetMeshCount3ds(db); ++i)
        {
            GetMeshByIndex3ds(db, i, &m);
            faces += m->nfaces;
        }
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
    benchmark::DoNotOptimize(faces);
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    std::remove(path.c_str());
}

#ifdef QOX_HAVE_LIB3DS

// The same scene as a lib3ds file, built once.
Lib3dsFile* Lib3dsScene()
{
    static std::unique_ptr<Lib3dsFile, void (*)(Lib3dsFile*)> file(nullptr, lib3ds_file_free);
    if (file)
        return file.get();
    Scene& s = TheScene();
    Lib3dsFile* f = lib3ds_file_new();
    Lib3dsMaterial* mat = lib3ds_material_new();
    std::strcpy(mat->name, "Paint");
    lib3ds_file_insert_material(f, mat);
    for (int i = 0; i < kMeshes; ++i)
    {
        const mesh3ds* src = s.meshes[i];
        Lib3dsMesh* m = lib3ds_mesh_new(src->name);
        lib3ds_mesh_new_point_list(m, kVertices);
        lib3ds_mesh_new_texel_list(m, kVertices);
        lib3ds_mesh_new_face_list(m, kFaces);
        for (int v = 0; v < kVertices; ++v)
        {
            std::memcpy(m->pointL[v].pos, &src->vertexarray[v], 12);
            std::memcpy(m->texelL[v], &src->textarray[v], 8);
        }
        for (int k = 0; k < kFaces; ++k)
        {
            m->faceL[k].points[0] = src->facearray[k].v1;
            m->faceL[k].points[1] = src->facearray[k].v2;
            m->faceL[k].points[2] = src->facearray[k].v3;
            m->faceL[k].flags = 7;
            m->faceL[k].smoothing = src->smootharray[k];
            std::strcpy(m->faceL[k].material, "Paint");
        }
        for (int r = 0; r < 4; ++r)
            m->matrix[r][r] = 1.0f;
        lib3ds_file_insert_mesh(f, m);

        Lib3dsNode* n = lib3ds_node_new_object();
        std::strcpy(n->name, src->name);
        n->node_id = static_cast<Lib3dsWord>(i);
        n->parent_id = 65535;
        const objectmotion3ds* o = s.motions[i];
        for (int k = 0; k < kKeys; ++k)
        {
            Lib3dsLin3Key* p = lib3ds_lin3_key_new();
            p->tcb.frame = k;
            std::memcpy(p->value, &o->pos[k], 12);
            lib3ds_lin3_track_insert(&n->data.object.pos_track, p);
            Lib3dsQuatKey* q = lib3ds_quat_key_new();
            q->tcb.frame = k;
            q->angle = o->rot[k].angle;
            q->axis[2] = 1.0f;
            lib3ds_quat_track_insert(&n->data.object.rot_track, q);
            Lib3dsLin3Key* sc = lib3ds_lin3_key_new();
            sc->tcb.frame = k;
            sc->value[0] = sc->value[1] = sc->value[2] = 1.0f;
            lib3ds_lin3_track_insert(&n->data.object.scl_track, sc);
        }
        lib3ds_file_insert_node(f, n);
    }
    file.reset(f);
    return f;
}

void BM_Lib3dsWrite3ds(benchmark::State& state)
{
    Lib3dsFile* f = Lib3dsScene();
    const std::string path = ScratchFile("lib3ds");
    for (auto _ : state)
        if (!lib3ds_file_save(f, path.c_str()))
            state.SkipWithError("lib3ds failed to write");
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    state.counters["MB"] = FileSize(path) / 1e6;
    std::remove(path.c_str());
}

void BM_Lib3dsRead3ds(benchmark::State& state)
{
    const std::string path = ScratchFile("lib3ds_read");
    lib3ds_file_save(Lib3dsScene(), path.c_str());
    for (auto _ : state)
    {
        Lib3dsFile* f = lib3ds_file_load(path.c_str());
        if (!f)
            state.SkipWithError("lib3ds failed to read");
        else
            lib3ds_file_free(f);
    }
    state.SetBytesProcessed(state.iterations() * FileSize(path));
    std::remove(path.c_str());
}

BENCHMARK(BM_Lib3dsWrite3ds)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_Lib3dsRead3ds)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

#endif

BENCHMARK(BM_ToolkitWrite3ds)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ToolkitRead3ds)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
