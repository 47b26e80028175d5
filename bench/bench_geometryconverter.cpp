// Triangulating a 1,000,000-quad mesh with materials and UVs, and tessellating
// a 64 x 64 NURBS surface at 16 steps per span (61 spans each way, about
// 977 x 977 points), through the geometry converter. A second mesh size shows
// that triangulation is linear in the polygon count.

#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxsdkmanager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using namespace qoxsdk_600;

namespace {

// A side x side grid of quads, material by polygon, UVs by polygon vertex.
KQoxMesh* MakeQuadMesh(KQoxSdkManager& pManager, int pSide)
{
    KQoxMesh* mesh = pManager.CreateKQoxMesh();
    const int row = pSide + 1;
    mesh->InitControlPoints(row * row);
    for (int i = 0; i < row * row; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i % row, i / row, 0.0, 1.0);
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    for (int i = 0; i < row * row; ++i)
        mesh->AddTextureUV(KQoxVector2(double(i % row) / pSide, double(i / row) / pSide));
    for (int y = 0; y < pSide; ++y)
        for (int x = 0; x < pSide; ++x)
        {
            mesh->BeginPolygon((x + y) % 4);
            const int corner = y * row + x;
            for (int p : {corner, corner + 1, corner + row + 1, corner + row})
                mesh->AddPolygon(p, p);
            mesh->EndPolygon();
        }
    return mesh;
}

void BM_TriangulateQuadMesh(benchmark::State& state)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxGeometryConverter* converter = manager->CreateKQoxGeometryConverter();
    KQoxMesh* mesh = MakeQuadMesh(*manager, static_cast<int>(state.range(0)));
    for (auto _ : state)
    {
        KQoxMesh* result = converter->TriangulateMesh(mesh);
        benchmark::DoNotOptimize(result->GetPolygonCount());
        state.PauseTiming();
        manager->DestroyKQoxNodeAttribute(result);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * mesh->GetPolygonCount());
}
BENCHMARK(BM_TriangulateQuadMesh)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_TessellateNurbs(benchmark::State& state)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxGeometryConverter* converter = manager->CreateKQoxGeometryConverter();
    const int side = 64;
    KQoxNurb* nurb = manager->CreateKQoxNurb();
    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(side, KQoxNurb::eOPEN, side, KQoxNurb::eOPEN);
    nurb->SetStep(static_cast<int>(state.range(0)), static_cast<int>(state.range(0)));
    for (double* knots : {nurb->GetUKnotVector(), nurb->GetVKnotVector()})
        for (int k = 0; k < side + 4; ++k)
            knots[k] = k < 4 ? 0.0 : (k >= side ? side - 3 : k - 3);
    for (int i = 0; i < side * side; ++i)
        nurb->GetControlPoints()[i] = KQoxVector4(i % side, i / side, std::sin(i * 0.1), 1.0 + (i % 3) * 0.5);
    for (auto _ : state)
    {
        KQoxMesh* result = converter->TriangulateNurb(nurb);
        benchmark::DoNotOptimize(result->GetControlPointsCount());
        state.PauseTiming();
        manager->DestroyKQoxNodeAttribute(result);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TessellateNurbs)->Arg(16)->Unit(benchmark::kMillisecond);

} // namespace
