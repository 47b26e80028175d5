#include "scene/attributes/kqoxgeometryconverter.h"

#include <memory>
#include <vector>

#include "base/kgeometry.h"
#include "fcurve/kfcurve.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxsurfaceevaluator.h"
#include "scene/attributes/kqoxweightedmapping.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

static_assert(sizeof(KQoxVector4) == 4 * sizeof(double), "points are handed to the evaluators as 4 doubles");

namespace {

double* AsDoubles(KQoxVector4* pPoints)
{
    return reinterpret_cast<double*>(pPoints);
}

// The index of polygon p in a by-polygon index element, or 0 when the
// element maps otherwise or holds no entry for p.
int IndexByPolygon(int pMappingMode, const int* pIndices, int pCount, int pPolygon)
{
    if (pMappingMode != KQoxLayerElement::eBY_POLYGON || !pIndices || pPolygon >= pCount)
        return 0;
    return pIndices[pPolygon];
}

// Whether the geometry holds the U count x V count grid it describes.
bool HoldsGrid(KQoxGeometryBase* pGeometry, int pUCount, int pVCount)
{
    return pUCount > 0 && pVCount > 0 &&
           static_cast<long long>(pUCount) * pVCount <= pGeometry->GetControlPointsCount();
}

int IndexCount(const KQoxLayerElement* pElement)
{
    return pElement ? pElement->mIndexArray.GetCount() : 0;
}

// An evaluator destroyed however the conversion ends.
struct DestroyEvaluator
{
    void operator()(KQOXSurfaceEvaluator* pEvaluator) const { pEvaluator->Destroy(0); }
};
using EvaluatorPtr = std::unique_ptr<KQOXSurfaceEvaluator, DestroyEvaluator>;

} // namespace

KQoxGeometryConverter::KQoxGeometryConverter(KQoxSdkManager& pManager)
    : mManager(&pManager)
{}

KQoxGeometryConverter::~KQoxGeometryConverter() = default;

// ---- Mesh triangulation -------------------------------------------------------------

KQoxMesh* KQoxGeometryConverter::TriangulateMesh(KQoxMesh* pMesh)
{
    if (!pMesh)
        return nullptr;
    attr::MadeAttribute<KQoxMesh> made(*mManager, mManager->CreateKQoxMesh());
    KQoxMesh* mesh = made.Get();
    if (!mesh)
        return nullptr;
    *mesh = *pMesh;
    mesh->mPolygons.Empty();
    mesh->mPolygonVertices.Empty();

    const int materialMode = pMesh->GetMaterialMappingMode();
    const int textureMode = pMesh->GetTextureMappingMode();
    const int uvMode = pMesh->GetTextureUVMappingMode();
    const int* materials = pMesh->GetMaterialIndices();
    const int* textures = pMesh->GetTextureIndices();
    KQoxLayer* layer = pMesh->GetLayer(0);
    const int materialCount = IndexCount(layer ? layer->GetMaterials() : nullptr);
    const int textureCount = IndexCount(layer ? layer->GetTextures() : nullptr);

    // Triangles are added as the source is walked, so the index arrays that
    // follow the polygons start over.
    if (KQoxLayer* target = mesh->GetLayer(0))
    {
        if (materialMode == KQoxLayerElement::eBY_POLYGON && target->GetMaterials())
            target->GetMaterials()->mIndexArray.Empty();
        if (textureMode == KQoxLayerElement::eBY_POLYGON && target->GetTextures())
            target->GetTextures()->mIndexArray.Empty();
        if (uvMode == KQoxLayerElement::eBY_POLYGON_VERTEX && target->GetUVs())
            target->GetUVs()->mIndexArray.Empty();
    }

    std::vector<int> corners;
    const int polygons = pMesh->GetPolygonCount();
    const int* vertices = pMesh->GetPolygonVertices();
    mesh->mPolygons.Reserve(polygons);
    for (int p = 0; p < polygons; ++p)
    {
        const int first = pMesh->GetPolygonVertexIndex(p);
        const int size = pMesh->GetPolygonSize(p);
        // A point or an edge has no triangle.
        if (size < 3)
            continue;
        const int material = IndexByPolygon(materialMode, materials, materialCount, p);
        const int texture = IndexByPolygon(textureMode, textures, textureCount, p);
        if (size == 3)
        {
            corners.assign({0, 1, 2});
        }
        else
        {
            corners.resize(static_cast<size_t>(size - 2) * 3);
            KTriangulation(corners.data(), size);
        }
        for (size_t t = 0; t < corners.size(); t += 3)
        {
            mesh->BeginPolygon(material, texture, -1);
            for (size_t c = t; c < t + 3; ++c)
            {
                const int position = corners[c];
                const int uv =
                    uvMode == KQoxLayerElement::eBY_POLYGON_VERTEX ? pMesh->GetTextureUVIndex(p, position) : -1;
                mesh->AddPolygon(vertices[first + position], uv);
            }
            mesh->EndPolygon();
        }
    }
    return made.Keep();
}

// ---- Surface tessellation -----------------------------------------------------------

KQoxMesh* KQoxGeometryConverter::CreateMeshFromParametricSurface(KQoxGeometry* pGeometry)
{
    attr::MadeAttribute<KQoxMesh> made(*mManager, mManager->CreateKQoxMesh());
    if (made.Get() && pGeometry)
    {
        made.Get()->CopyLayers(pGeometry);
        made.Get()->CopyPivot(pGeometry);
    }
    return made.Keep();
}

void KQoxGeometryConverter::InitializeWeightInControlPoints(KQoxGeometryBase* pGeometry)
{
    if (!pGeometry)
        return;
    KQoxVector4* points = pGeometry->GetControlPoints();
    for (int i = 0; i < pGeometry->GetControlPointsCount(); ++i)
        points[i][3] = 1.0;
}

void KQoxGeometryConverter::InitializeWeightInNormals(KQoxLayerContainer* pContainer)
{
    if (!pContainer)
        return;
    KQoxLayer* layer = pContainer->GetLayer(0, KQoxLayerElement::eNORMAL);
    if (!layer)
        return;
    KArrayTemplate<KQoxVector4>& normals = layer->GetNormals()->mDirectArray;
    for (int i = 0; i < normals.GetCount(); ++i)
        normals[i][3] = 1.0;
}

KQoxMesh* KQoxGeometryConverter::TessellateSurface(KQoxGeometry* pSurface, KQOXSurfaceEvaluator* pEvaluator,
                                                   int pUCount, int pVCount)
{
    attr::MadeAttribute<KQoxMesh> made(*mManager, CreateMeshFromParametricSurface(pSurface));
    KQoxMesh* mesh = made.Get();
    if (!mesh)
        return nullptr;
    const unsigned int X = pEvaluator->GetCurvePointCountX();
    const unsigned int Y = pEvaluator->GetCurvePointCountY();
    mesh->InitControlPoints(static_cast<int>(X * Y));
    mesh->InitNormals(0);
    pEvaluator->SetDestinationArray(AsDoubles(mesh->GetControlPoints()));
    pEvaluator->SetDestinationNormalArray(AsDoubles(mesh->GetNormals()));
    InitializeWeightInControlPoints(mesh);
    InitializeWeightInNormals(mesh);

    // The mapping only carries links over: a surface without links skips it.
    const bool withLinks = pSurface->GetLinkCount() > 0;
    KQoxWeightedMapping mapping(withLinks ? pSurface->GetControlPointsCount() : 0,
                                withLinks ? mesh->GetControlPointsCount() : 0);
    // An unusable surface evaluates to nothing: the mesh keeps no point.
    if (!pEvaluator->EvaluateSurface(withLinks ? &mapping : nullptr))
    {
        mesh->InitControlPoints(0);
        mesh->InitNormals(0);
        return made.Keep();
    }
    ConvertShapes(pSurface, mesh, pEvaluator, pUCount, pVCount);
    ConvertLinks(pSurface, mesh, &mapping);
    TriangulateContinuousSurface(mesh, pEvaluator, X, Y, false);
    return made.Keep();
}

KQoxMesh* KQoxGeometryConverter::TriangulatePatch(KQoxPatch* pPatch)
{
    if (!pPatch)
        return nullptr;
    EvaluatorPtr owned(QOXCreateGeneralUniformSurface(pPatch->GetPatchUType(), pPatch->GetPatchVType()));
    KQOXSurfaceEvaluator* evaluator = owned.get();
    evaluator->SetEvaluationModeU(pPatch->GetUClosed() ? 1 : 0);
    evaluator->SetEvaluationModeV(pPatch->GetVClosed() ? 1 : 0);
    evaluator->SetEvaluationStepU(static_cast<unsigned int>(pPatch->GetUStep() > 0 ? pPatch->GetUStep() : 0));
    evaluator->SetEvaluationStepV(static_cast<unsigned int>(pPatch->GetVStep() > 0 ? pPatch->GetVStep() : 0));
    int uCount = pPatch->GetUCount(), vCount = pPatch->GetVCount();
    // A grid the points do not fill is not evaluated.
    if (!HoldsGrid(pPatch, uCount, vCount))
        uCount = vCount = 0;
    evaluator->SetSourceArray(AsDoubles(pPatch->GetControlPoints()), static_cast<unsigned int>(uCount),
                              static_cast<unsigned int>(vCount));
    KQoxMesh* mesh = TessellateSurface(pPatch, evaluator, uCount, vCount);
    return mesh;
}

KQoxMesh* KQoxGeometryConverter::TriangulateNurb(KQoxNurb* pNurb)
{
    if (!pNurb)
        return nullptr;
    EvaluatorPtr owned(KQOXNURBSurfaceEvaluatorCreate(pNurb->GetUOrder(), pNurb->GetVOrder()));
    KQOXSurfaceEvaluator* evaluator = owned.get();
    evaluator->SetEvaluationModeU(pNurb->GetNurbUType() != KQoxNurb::eOPEN ? 1 : 0);
    evaluator->SetEvaluationModeV(pNurb->GetNurbVType() != KQoxNurb::eOPEN ? 1 : 0);
    evaluator->SetEvaluationStepU(static_cast<unsigned int>(pNurb->GetUStep() > 0 ? pNurb->GetUStep() : 0));
    evaluator->SetEvaluationStepV(static_cast<unsigned int>(pNurb->GetVStep() > 0 ? pNurb->GetVStep() : 0));
    int uCount = pNurb->GetUCount(), vCount = pNurb->GetVCount();
    // A grid the points do not fill, or knot vectors sized for other orders
    // or counts, are not evaluated.
    if (!HoldsGrid(pNurb, uCount, vCount) || pNurb->GetUKnotVectorSize() != pNurb->GetUKnotCount() ||
        pNurb->GetVKnotVectorSize() != pNurb->GetVKnotCount())
        uCount = vCount = 0;
    evaluator->SetSourceArray(AsDoubles(pNurb->GetControlPoints()), static_cast<unsigned int>(uCount),
                              static_cast<unsigned int>(vCount));
    evaluator->SetAuxSourceArray(1, pNurb->GetUKnotVector());
    evaluator->SetAuxSourceArray(2, pNurb->GetVKnotVector());
    const int points = pNurb->GetControlPointsCount();
    std::vector<double> weights(static_cast<size_t>(points));
    std::vector<double> scratch(static_cast<size_t>(points) * 3);
    for (int i = 0; i < points; ++i)
        weights[static_cast<size_t>(i)] = pNurb->GetControlPoints()[i][3];
    evaluator->SetAuxSourceArray(0, weights.data());
    evaluator->SetAuxSourceArray(5, scratch.data());
    KQoxMesh* mesh = TessellateSurface(pNurb, evaluator, uCount, vCount);
    return mesh;
}

void KQoxGeometryConverter::TriangulateContinuousSurface(KQoxMesh* pMesh, KQOXSurfaceEvaluator* pEvaluator,
                                                         unsigned int pX, unsigned int pY, bool pFlip)
{
    if (!pMesh || !pEvaluator || pX == 0 || pY == 0)
        return;
    const bool closedU = pEvaluator->GetEvaluationModeU() == 1;
    const bool closedV = pEvaluator->GetEvaluationModeV() == 1;

    KQoxLayer* layer = pMesh->GetLayer(0, KQoxLayerElement::eUV);
    if (!layer)
    {
        if (pMesh->GetLayerCount() == 0)
            pMesh->CreateLayer();
        layer = pMesh->GetLayer(0);
        layer->SetUVs(new KQoxLayerElementUV);
    }
    KQoxLayerElementUV* uvs = layer->GetUVs();
    uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    // The mesh stores UV indices in layer 0 only: those of another layer's
    // element are stored here.
    const bool inLayer0 = layer == pMesh->GetLayer(0);

    const long long X = pX, Y = pY;
    const double du = closedU ? double(X) : double(X - 1);
    const double dv = closedV ? double(Y) : double(Y - 1);
    const auto cell = [&](long long i, long long j, bool pWrapOrder) {
        const long long u[4] = {i, i + 1, i, i + 1};
        const long long v[4] = {j, j, j + 1, j + 1};
        int point[4], uv[4];
        static const int kPlain[4] = {0, 1, 2, 3};
        static const int kWrap[4] = {0, 3, 2, 1};
        const int* order = pWrapOrder ? kWrap : kPlain;
        for (int n = 0; n < 4; ++n)
        {
            const int c = order[n];
            point[c] = static_cast<int>((v[c] % Y) * X + (u[c] % X));
            uv[c] = uvs->mDirectArray.GetCount();
            uvs->mDirectArray.Add(KQoxVector2(du != 0.0 ? u[c] / du : 0.0, dv != 0.0 ? v[c] / dv : 0.0));
        }
        static const int kTriangles[2][6] = {{0, 2, 1, 1, 2, 3}, {0, 1, 2, 1, 3, 2}};
        const int* triangles = kTriangles[pFlip ? 1 : 0];
        for (int t = 0; t < 6; t += 3)
        {
            pMesh->BeginPolygon(-1, -1, -1);
            for (int c = t; c < t + 3; ++c)
            {
                pMesh->AddPolygon(point[triangles[c]], inLayer0 ? uv[triangles[c]] : -1);
                if (!inLayer0)
                {
                    // One index per polygon vertex, the last being this one.
                    const int count = pMesh->GetPolygonVertexCount();
                    uvs->mIndexArray.SetCount(count);
                    uvs->mIndexArray[count - 1] = uv[triangles[c]];
                }
            }
            pMesh->EndPolygon();
        }
    };
    for (long long j = 0; j + 1 < Y; ++j)
    {
        for (long long i = 0; i + 1 < X; ++i)
            cell(i, j, false);
        if (closedU)
            cell(X - 1, j, true);
    }
    if (closedV)
    {
        for (long long i = 0; i + 1 < X; ++i)
            cell(i, Y - 1, false);
        if (closedU)
            cell(X - 1, Y - 1, true);
    }
}

// ---- In-place replacement -----------------------------------------------------------

bool KQoxGeometryConverter::TriangulateInPlace(KQoxNode* pNode)
{
    if (!pNode)
        return false;
    KQoxNodeAttribute* attribute = pNode->GetGeometry();
    if (!attribute)
        return false;
    KQoxGeometry* result = nullptr;
    switch (attribute->GetAttributeType())
    {
    case KQoxNodeAttribute::eMESH: result = TriangulateMesh(static_cast<KQoxMesh*>(attribute)); break;
    case KQoxNodeAttribute::ePATCH: result = TriangulatePatch(static_cast<KQoxPatch*>(attribute)); break;
    case KQoxNodeAttribute::eNURB: result = TriangulateNurb(static_cast<KQoxNurb*>(attribute)); break;
    default: break;
    }
    return ReplaceNodeGeometry(pNode, static_cast<KQoxGeometry*>(attribute), result);
}

bool KQoxGeometryConverter::ReplaceNodeGeometry(KQoxNode* pNode, KQoxGeometry* pOld, KQoxGeometry* pNew)
{
    if (!pNew)
        return false;
    // The new geometry goes again when the curves cannot be saved.
    attr::MadeAttribute<KQoxGeometry> made(*mManager, pNew);
    struct CurveDeleter
    {
        void operator()(KFCurve* pCurve) const { pCurve->Destroy(); }
    };
    const int takes = pNode->GetTakeNodeCount();
    const int shapes = pOld->GetShapeCount();
    // Saved in take-then-shape order; a shape without a curve saves none.
    std::vector<std::unique_ptr<KFCurve, CurveDeleter>> saved;
    for (int t = 1; t < takes; ++t)
        for (int s = 0; s < shapes; ++s)
        {
            KFCurve* curve = pOld->GetShapeChannel(pNode->GetTakeNode(t), s);
            saved.emplace_back(curve ? curve->Copy() : nullptr);
        }
    pNode->SetNodeAttribute(made.Keep());
    size_t next = 0;
    for (int t = 1; t < takes; ++t)
        for (int s = 0; s < shapes; ++s, ++next)
        {
            if (!saved[next] || s >= pNew->GetShapeCount())
                continue;
            if (KFCurve* curve = pNew->GetShapeChannel(pNode->GetTakeNode(t), s))
                curve->CopyFrom(*saved[next], true);
        }
    mManager->DestroyKQoxNodeAttribute(pOld);
    while (!saved.empty())
        saved.pop_back();
    return true;
}

} // namespace qoxsdk_600
