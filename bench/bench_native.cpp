// Native scene file: a scene with a 1,000,000-polygon mesh (normals, UVs,
// materials), the same amount of bare arrays through the field layer, and a
// scene of 1,000 animated curves of 1,000 keys each, written and read in
// binary and ASCII. In the same run the same file is read with plain fread;
// the counter "of_fread" is the reader's throughput as a fraction of that.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "scene/kqoxscene.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxreaderqox.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

const int kPolygons = 1000000;
const int kPolygonSize = 4;
const int kPoints = kPolygons + 2000;

// One scratch directory for the whole run, removed at exit.
const std::string& Directory()
{
    static benchutil::ScratchDirectory scratch("qoxnativebench");
    return scratch.Path();
}

// The arrays a mesh of kPolygons quads with per-vertex normals and UVs and
// per-polygon materials holds.
struct Mesh
{
    Mesh()
        : mPoints(static_cast<size_t>(kPoints) * 4)
        , mIndices(static_cast<size_t>(kPolygons) * kPolygonSize)
        , mNormals(mIndices.size() * 3)
        , mUVs(mIndices.size() * 2)
        , mMaterials(static_cast<size_t>(kPolygons))
    {
        for (size_t i = 0; i < mPoints.size(); ++i)
            mPoints[i] = static_cast<double>(i % 1000) * 0.001 - 0.5;
        for (size_t i = 0; i < mIndices.size(); ++i)
            mIndices[i] = static_cast<int>((i * 7) % kPoints) ^ (i % kPolygonSize == 3 ? -1 : 0);
        for (size_t i = 0; i < mNormals.size(); ++i)
            mNormals[i] = (i % 3 == 1) ? 1.0 : 1.0 / static_cast<double>(i % 97 + 1);
        for (size_t i = 0; i < mUVs.size(); ++i)
            mUVs[i] = static_cast<double>(i % 4096) / 4096.0;
        for (size_t i = 0; i < mMaterials.size(); ++i)
            mMaterials[i] = static_cast<int>(i % 8);
    }
    std::vector<double> mPoints;
    std::vector<int> mIndices;
    std::vector<double> mNormals;
    std::vector<double> mUVs;
    std::vector<int> mMaterials;
};

const Mesh& TheMesh()
{
    static Mesh mesh;
    return mesh;
}

template <typename T>
void Field(KQox& f, const char* name, const std::vector<T>& values, bool (KQox::*write)(const T*, unsigned int))
{
    f.FieldWriteBegin(name);
    (f.*write)(values.data(), static_cast<unsigned int>(values.size()));
    f.FieldWriteEnd();
}

std::string WriteMesh(KQox::EForm form)
{
    const Mesh& mesh = TheMesh();
    std::string name = Directory() + "/mesh" + std::to_string(form) + ".qox";
    KQox f;
    f.ProjectCreate(name.c_str(), form);
    f.ProjectWriteSectionBegin("Objects", 6000);
    f.FieldWriteBegin("Geometry");
    f.FieldWriteC("Geometry::Mesh");
    f.FieldWriteBlockBegin();
    Field(f, "Vertices", mesh.mPoints, &KQox::FieldWriteArrayD);
    Field(f, "PolygonVertexIndex", mesh.mIndices, &KQox::FieldWriteArrayI);
    Field(f, "Normals", mesh.mNormals, &KQox::FieldWriteArrayD);
    Field(f, "UV", mesh.mUVs, &KQox::FieldWriteArrayD);
    Field(f, "Materials", mesh.mMaterials, &KQox::FieldWriteArrayI);
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    f.ProjectClose();
    return name;
}

template <typename T>
size_t ReadField(KQox& f, const char* name, std::vector<T>& out, bool (KQox::*read)(T*, unsigned long long))
{
    if (!f.FieldReadBegin(name))
        return 0;
    long long n = f.FieldReadArrayCount();
    out.resize(static_cast<size_t>(n < 0 ? 0 : n));
    (f.*read)(out.data(), out.size());
    f.FieldReadEnd();
    return out.size();
}

size_t ReadMesh(const std::string& name)
{
    KQox f;
    if (!f.ProjectOpen(name.c_str(), nullptr, false))
        return 0;
    f.ProjectReadSectionBegin("Objects");
    f.FieldReadBegin("Geometry");
    f.FieldReadBlockBegin();
    // Buffers kept across runs, as fread keeps its own: the page faults of
    // fresh memory are not the reader's cost.
    static std::vector<double> doubles;
    static std::vector<int> ints;
    size_t items = ReadField(f, "Vertices", doubles, &KQox::FieldReadArrayD);
    items += ReadField(f, "PolygonVertexIndex", ints, &KQox::FieldReadArrayI);
    items += ReadField(f, "Normals", doubles, &KQox::FieldReadArrayD);
    items += ReadField(f, "UV", doubles, &KQox::FieldReadArrayD);
    items += ReadField(f, "Materials", ints, &KQox::FieldReadArrayI);
    return items;
}

// Plain fread of the whole file into one buffer of its size, the reference
// for the reader. The buffer is kept across runs, as the reader's arrays are.
double FreadSeconds(const std::string& name)
{
    static std::vector<char> buffer;
    size_t size = static_cast<size_t>(std::filesystem::file_size(name));
    if (buffer.size() < size)
        buffer.resize(size);
    auto start = std::chrono::steady_clock::now();
    FILE* file = std::fopen(name.c_str(), "rb");
    size_t total = file ? std::fread(buffer.data(), 1, size, file) : 0;
    if (file)
        std::fclose(file);
    benchmark::DoNotOptimize(total);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes of the file per iteration, and "of_fread": the reader's throughput
// as a fraction of plain fread's (seconds summed over the iterations).
void SetReadCounters(benchmark::State& state, const std::string& name, double reader, double reference)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(name)));
    state.counters["of_fread"] = reader > 0 ? reference / reader : 0;
}

void BM_MeshArraysRead(benchmark::State& state)
{
    KQox::EForm form = static_cast<KQox::EForm>(state.range(0));
    std::string name = WriteMesh(form);
    double reader = 0, reference = 0;
    for (auto _ : state)
    {
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ReadMesh(name));
        reader += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        reference += FreadSeconds(name);
    }
    SetReadCounters(state, name, reader, reference);
}

BENCHMARK(BM_MeshArraysRead)->Arg(KQox::eBINARY)->Arg(KQox::eASCII)->Unit(benchmark::kMillisecond)->Iterations(3);

// A scene holding one mesh of kPolygons quads with per-vertex normals, UVs
// (indexed) and a material per polygon, written and read through the
// exporter and the native reader.
struct MeshScene
{
    MeshScene()
        : mScene(mManager)
    {
        const Mesh& source = TheMesh();
        KQoxNode* node = mManager.CreateKQoxNode("Mesh");
        KQoxMesh* mesh = mManager.CreateKQoxMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(kPoints);
        for (int i = 0; i < kPoints; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(&source.mPoints[static_cast<size_t>(i) * 4]);
        for (int p = 0; p < kPolygons; ++p)
        {
            mesh->BeginPolygon(-1, -1, -1);
            for (int v = 0; v < kPolygonSize; ++v)
                mesh->AddPolygon((p * kPolygonSize + v * 7) % kPoints);
            mesh->EndPolygon();
        }
        KQoxLayer* layer = mesh->GetLayer(0);
        KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
        normals->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        normals->mDirectArray.SetCount(kPolygons * kPolygonSize);
        for (int i = 0; i < kPolygons * kPolygonSize; ++i)
            normals->mDirectArray[i] = KQoxVector4(source.mNormals[static_cast<size_t>(i) * 3], 1, 0, 0);
        layer->SetNormals(normals);
        KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
        uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        uvs->mDirectArray.SetCount(kPoints);
        uvs->mIndexArray.SetCount(kPolygons * kPolygonSize);
        for (int i = 0; i < kPoints; ++i)
            uvs->mDirectArray[i] = KQoxVector2(source.mUVs[static_cast<size_t>(i) * 2], 0.5);
        for (int i = 0; i < kPolygons * kPolygonSize; ++i)
            uvs->mIndexArray[i] = (i * 3) % kPoints;
        layer->SetUVs(uvs);
        KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
        materials->mMappingMode = KQoxLayerElement::eBY_POLYGON;
        materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        for (int m = 0; m < 8; ++m)
            materials->mDirectArray.Add(mManager.CreateKQoxMaterial(("M" + std::to_string(m)).c_str()));
        materials->mIndexArray.SetCount(kPolygons);
        for (int p = 0; p < kPolygons; ++p)
            materials->mIndexArray[p] = source.mMaterials[static_cast<size_t>(p)];
        layer->SetMaterials(materials);
        mScene.GetRootNode()->AddChild(node);
    }
    KQoxSdkManager mManager;
    KQoxScene mScene;
};

MeshScene& TheMeshScene()
{
    static MeshScene scene;
    return scene;
}

std::string ExportMeshScene(int format)
{
    std::string name = Directory() + "/meshscene" + std::to_string(format) + ".qox";
    KQoxExporter exporter(TheMeshScene().mManager);
    exporter.Initialize(name.c_str());
    exporter.SetFileFormat(format);
    exporter.Export(TheMeshScene().mScene);
    return name;
}

void BM_MeshSceneWrite(benchmark::State& state)
{
    TheMeshScene();
    std::string name;
    for (auto _ : state)
        name = ExportMeshScene(static_cast<int>(state.range(0)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(name)));
}

void BM_MeshSceneRead(benchmark::State& state)
{
    std::string name = ExportMeshScene(static_cast<int>(state.range(0)));
    double reader = 0, reference = 0;
    for (auto _ : state)
    {
        KQoxSdkManager manager;
        KQoxScene read(manager);
        auto start = std::chrono::steady_clock::now();
        KQoxImporter importer(manager);
        importer.Initialize(name.c_str());
        benchmark::DoNotOptimize(importer.Import(read));
        reader += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        reference += FreadSeconds(name);
    }
    SetReadCounters(state, name, reader, reference);
}

BENCHMARK(BM_MeshSceneWrite)
    ->Arg(eEXPORT_QOX_BINARY)
    ->Arg(eEXPORT_QOX_ASCII)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_MeshSceneRead)
    ->Arg(eEXPORT_QOX_BINARY)
    ->Arg(eEXPORT_QOX_ASCII)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// 1,000 nodes, each with one curve of 1,000 keys in one take.
struct AnimatedScene
{
    AnimatedScene()
        : mScene(mManager)
    {
        for (int n = 0; n < 1000; ++n)
        {
            KQoxNode* node = mManager.CreateKQoxNode(("N" + std::to_string(n)).c_str());
            mScene.GetRootNode()->AddChild(node);
            KFCurve* curve = node->CreateTakeNode("Take 001")->GetTranslationX();
            curve->KeyModifyBegin();
            for (int k = 0; k < 1000; ++k)
                curve->KeyAppendFast(KTime(static_cast<long long>(k) * 1539538600LL), static_cast<float>(k % 17));
            curve->KeyModifyEnd();
        }
    }
    KQoxSdkManager mManager;
    KQoxScene mScene;
};

void BM_AnimationWrite(benchmark::State& state)
{
    static AnimatedScene scene;
    std::string name = Directory() + "/anim" + std::to_string(state.range(0)) + ".qox";
    for (auto _ : state)
    {
        KQoxExporter exporter(scene.mManager);
        exporter.Initialize(name.c_str());
        exporter.SetFileFormat(static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(exporter.Export(scene.mScene));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(name)));
}

void BM_AnimationRead(benchmark::State& state)
{
    static AnimatedScene scene;
    std::string name = Directory() + "/animread" + std::to_string(state.range(0)) + ".qox";
    {
        KQoxExporter exporter(scene.mManager);
        exporter.Initialize(name.c_str());
        exporter.SetFileFormat(static_cast<int>(state.range(0)));
        exporter.Export(scene.mScene);
    }
    double reader = 0, reference = 0;
    for (auto _ : state)
    {
        KQoxSdkManager manager;
        auto start = std::chrono::steady_clock::now();
        KQoxReaderQox qox(manager);
        qox.FileOpen(name.c_str());
        KQoxScene read(manager);
        benchmark::DoNotOptimize(qox.Read(read, nullptr));
        reader += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        reference += FreadSeconds(name);
    }
    SetReadCounters(state, name, reader, reference);
}

BENCHMARK(BM_AnimationWrite)
    ->Arg(eEXPORT_QOX_BINARY)
    ->Arg(eEXPORT_QOX_ASCII)
    ->Arg(eEXPORT_QOX5_BINARY) // version 5: automatic tangents stored as slopes
    ->Arg(eEXPORT_QOX5_ASCII)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_AnimationRead)
    ->Arg(eEXPORT_QOX_BINARY)
    ->Arg(eEXPORT_QOX_ASCII)
    ->Arg(eEXPORT_QOX5_BINARY) // version 5: automatic tangents stored as slopes
    ->Arg(eEXPORT_QOX5_ASCII)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace
