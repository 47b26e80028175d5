// Meshes: building through the polygon protocol (with material and UV
// indices), vertex normals, and splitting and merging points for hard
// edges. The sizes grow by factors of 4 so the complexity fit shows that
// time grows linearly with the mesh.

#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxsdkmanager.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace qoxsdk_600;

// A grid of side x side quads, built through the protocol.
KQoxMesh* Grid(KQoxSdkManager& pManager, int pSide, bool pIndexed)
{
    KQoxMesh* mesh = pManager.CreateKQoxMesh();
    const int points = pSide + 1;
    mesh->InitControlPoints(points * points);
    KQoxVector4* P = mesh->GetControlPoints();
    for (int y = 0; y < points; ++y)
        for (int x = 0; x < points; ++x)
            P[y * points + x] = KQoxVector4(x, y, (x * y) % 7 * 0.1, 1.0);
    if (pIndexed)
    {
        mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
        mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    }
    for (int y = 0; y < pSide; ++y)
        for (int x = 0; x < pSide; ++x)
        {
            const int a = y * points + x;
            mesh->BeginPolygon((x + y) & 3, -1, 0);
            mesh->AddPolygon(a, a);
            mesh->AddPolygon(a + 1, a + 1);
            mesh->AddPolygon(a + points + 1, a + points + 1);
            mesh->AddPolygon(a + points, a + points);
            mesh->EndPolygon();
        }
    return mesh;
}

// Side of a grid with about n polygons.
int SideFor(int64_t pPolygons)
{
    int side = 1;
    while (static_cast<int64_t>(side) * side < pPolygons)
        ++side;
    return side;
}

void BM_BuildMesh(benchmark::State& state)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    const int side = SideFor(state.range(0));
    for (auto _ : state)
    {
        KQoxMesh* mesh = Grid(*manager, side, true);
        benchmark::DoNotOptimize(mesh->GetPolygonVertices());
        manager->DestroyKQoxNodeAttribute(mesh);
    }
    state.SetComplexityN(static_cast<int64_t>(side) * side);
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_BuildMesh)->RangeMultiplier(4)->Range(1 << 14, 1 << 20)->Unit(benchmark::kMillisecond)->Complexity();

void BM_ComputeVertexNormals(benchmark::State& state)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    const int side = SideFor(state.range(0));
    KQoxMesh* mesh = Grid(*manager, side, false);
    for (auto _ : state)
    {
        mesh->ComputeVertexNormals(false);
        benchmark::DoNotOptimize(mesh->GetNormals());
    }
    state.SetComplexityN(static_cast<int64_t>(side) * side);
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_ComputeVertexNormals)
    ->RangeMultiplier(4)
    ->Range(1 << 14, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Per-corner normals split into one point per polygon vertex, then the merge
// list finds the copies again and the merge restores the shared points.
void BM_SplitAndMerge(benchmark::State& state)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    const int side = SideFor(state.range(0));
    for (auto _ : state)
    {
        state.PauseTiming();
        KQoxMesh* mesh = Grid(*manager, side, false);
        mesh->InitNormals(mesh->GetPolygonVertexCount());
        state.ResumeTiming();
        KArrayTemplate<KArrayTemplate<KQoxMesh::KDuplicateVertex>*> split;
        mesh->BuildSplitList(split, KQoxMesh::eBY_CONTROL_POINT);
        mesh->SplitPointsForHardEdge(split);
        for (int i = 0; i < split.GetCount(); ++i)
            delete split[i];
        KArrayTemplate<int> merge;
        mesh->BuildMergeList(merge, KQoxMesh::eBY_CONTROL_POINT, true);
        mesh->MergePointsForPolygonVerteNormals(merge);
        benchmark::DoNotOptimize(mesh->GetControlPointsCount());
        state.PauseTiming();
        manager->DestroyKQoxNodeAttribute(mesh);
        state.ResumeTiming();
    }
    state.SetComplexityN(static_cast<int64_t>(side) * side);
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_SplitAndMerge)->RangeMultiplier(4)->Range(1 << 12, 100000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
