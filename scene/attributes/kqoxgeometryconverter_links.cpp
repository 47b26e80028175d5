// Carrying shapes, skin links and normals over to a new vertex layout.
#include "scene/attributes/kqoxgeometryconverter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxsurfaceevaluator.h"
#include "scene/attributes/kqoxweightedmapping.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

const KQoxWeightedMapping::ESet kSource = KQoxWeightedMapping::eSOURCE;
const KQoxWeightedMapping::ESet kDestination = KQoxWeightedMapping::eDESTINATION;

double* AsDoubles(KQoxVector4* pPoints)
{
    return reinterpret_cast<double*>(pPoints);
}

// The normals element of the first layer that has one.
KQoxLayerElementNormal* FirstNormals(KQoxLayerContainer* pContainer)
{
    KQoxLayer* layer = pContainer->GetLayer(0, KQoxLayerElement::eNORMAL);
    return layer ? layer->GetNormals() : nullptr;
}

} // namespace

void KQoxGeometryConverter::ConvertShapes(KQoxGeometry* pSource, KQoxGeometry* pDestination,
                                          KQOXSurfaceEvaluator* pEvaluator, int pUCount, int pVCount)
{
    if (!pSource || !pDestination || !pEvaluator)
        return;
    const long long grid = static_cast<long long>(pUCount) * pVCount;
    for (int s = 0; s < pSource->GetShapeCount(); ++s)
    {
        KQoxShape* source = pSource->GetShape(s);
        KQoxShape* shape = mManager->CreateKQoxShape();
        if (!shape)
            continue;
        *shape = *source;
        const unsigned int X = pEvaluator->GetCurvePointCountX();
        const unsigned int Y = pEvaluator->GetCurvePointCountY();
        shape->InitControlPoints(static_cast<int>(X * Y));
        shape->InitNormals(0);
        InitializeWeightInControlPoints(shape);
        InitializeWeightInNormals(shape);
        if (grid > 0 && grid <= source->GetControlPointsCount())
        {
            pEvaluator->SetSourceArray(AsDoubles(source->GetControlPoints()), static_cast<unsigned int>(pUCount),
                                       static_cast<unsigned int>(pVCount));
            pEvaluator->SetDestinationArray(AsDoubles(shape->GetControlPoints()));
            pEvaluator->SetDestinationNormalArray(AsDoubles(shape->GetNormals()));
            pEvaluator->EvaluateSurface(nullptr);
        }
        else if (pDestination->GetControlPointsCount() == shape->GetControlPointsCount())
        {
            // A shape that does not cover the grid moves nothing: its target
            // is the tessellated surface itself.
            shape->KQoxGeometryBase::Copy(*pDestination);
        }
        pDestination->AddShape(shape, pSource->GetShapeName(s));
    }
}

void KQoxGeometryConverter::ConvertLinks(KQoxGeometry* pSource, KQoxGeometry* pDestination,
                                         KQoxWeightedMapping* pMapping)
{
    if (!pSource || !pDestination || !pMapping)
        return;
    KArrayTemplate<KQoxLink*> sourceLinks;
    for (int i = 0; i < pSource->GetLinkCount(); ++i)
        sourceLinks.Add(pSource->GetLink(i));
    for (int i = 0; i < pDestination->GetLinkCount(); ++i)
        mManager->DestroyKQoxLink(pDestination->GetLink(i));
    pDestination->ClearLink();
    KArrayTemplate<KQoxLink*> newLinks;
    ConvertLinks(sourceLinks, pSource->GetControlPointsCount(), newLinks, pDestination->GetControlPointsCount(),
                 pMapping);
    for (int i = 0; i < newLinks.GetCount(); ++i)
        pDestination->AddLink(newLinks[i]);
}

void KQoxGeometryConverter::ConvertLinks(KArrayTemplate<KQoxLink*>& pSourceLinks, int pSourceCount,
                                         KArrayTemplate<KQoxLink*>& pNewLinks, int, KQoxWeightedMapping* pMapping)
{
    if (pSourceLinks.GetCount() == 0 || !pMapping)
        return;
    // The first link's mode decides for all of them.
    const KQoxLink::ELinkMode mode = pSourceLinks[0]->GetLinkMode();
    pMapping->Normalize(kDestination, true);
    KQoxWeightedMapping linkMapping(pSourceLinks.GetCount(), pSourceCount);
    BuildLinkToSourceMapping(pSourceLinks, &linkMapping);
    if (mode == KQoxLink::eNORMALIZE)
        linkMapping.Normalize(kDestination, true);
    for (int i = 0; i < pSourceLinks.GetCount(); ++i)
    {
        KQoxLink* source = pSourceLinks[i];
        KQoxLink* link = mManager->CreateKQoxLink();
        if (!link)
            continue;
        link->SetLink(source->GetLink());
        link->SetAssociateModel(source->GetAssociateModel());
        link->SetUserData(source->GetUserDataID(), source->GetUserData());
        link->SetLinkMode(mode == KQoxLink::eNORMALIZE ? KQoxLink::eTOTAL1 : mode);
        KQoxVector4 v;
        link->SetTransformT(source->GetTransformT(v));
        link->SetTransformR(source->GetTransformR(v));
        link->SetTransformS(source->GetTransformS(v));
        link->SetTransformLinkT(source->GetTransformLinkT(v));
        link->SetTransformLinkR(source->GetTransformLinkR(v));
        link->SetTransformLinkS(source->GetTransformLinkS(v));
        link->SetTransformAssociateModelT(source->GetTransformAssociateModelT(v));
        link->SetTransformAssociateModelR(source->GetTransformAssociateModelR(v));
        link->SetTransformAssociateModelS(source->GetTransformAssociateModelS(v));
        ConvertLink(i, &linkMapping, pMapping, link);
        pNewLinks.Add(link);
    }
}

void KQoxGeometryConverter::BuildLinkToSourceMapping(KArrayTemplate<KQoxLink*>& pLinks,
                                                     KQoxWeightedMapping* pLinkMapping)
{
    if (!pLinkMapping)
        return;
    const int points = pLinkMapping->GetElementCount(kDestination);
    for (int i = 0; i < pLinks.GetCount(); ++i)
    {
        const KQoxLink* link = pLinks[i];
        const int* indices = link->GetControlPointIndices();
        const double* weights = link->GetControlPointWeights();
        for (int k = 0; k < link->GetControlPointIndicesCount(); ++k)
            // An index outside the geometry names no point.
            if (indices[k] >= 0 && indices[k] < points)
                pLinkMapping->Add(i, indices[k], weights[k]);
    }
}

void KQoxGeometryConverter::ConvertLink(int pLinkIndex, KQoxWeightedMapping* pLinkMapping,
                                        KQoxWeightedMapping* pMapping, KQoxLink* pNewLink)
{
    if (!pLinkMapping || !pMapping || !pNewLink)
        return;
    // Only the new points a link reaches are accumulated; they are emitted in
    // ascending order.
    std::vector<double> accumulator(static_cast<size_t>(pMapping->GetElementCount(kDestination)), 0.0);
    std::vector<int> reached;
    const int oldPoints = pMapping->GetElementCount(kSource);
    for (int r = 0; r < pLinkMapping->GetRelationCount(kSource, pLinkIndex); ++r)
    {
        const KQoxWeightedMapping::KElement& toOld = pLinkMapping->GetRelation(kSource, pLinkIndex, r);
        if (toOld.mIndex >= oldPoints)
            continue;
        for (int m = 0; m < pMapping->GetRelationCount(kSource, toOld.mIndex); ++m)
        {
            const KQoxWeightedMapping::KElement& toNew = pMapping->GetRelation(kSource, toOld.mIndex, m);
            double& sum = accumulator[static_cast<size_t>(toNew.mIndex)];
            if (sum == 0.0)
                reached.push_back(toNew.mIndex);
            sum += std::fabs(toOld.mWeight * toNew.mWeight);
        }
    }
    std::sort(reached.begin(), reached.end());
    reached.erase(std::unique(reached.begin(), reached.end()), reached.end());
    for (int d : reached)
        if (accumulator[static_cast<size_t>(d)] != 0.0)
            pNewLink->AddControlPointIndex(d, accumulator[static_cast<size_t>(d)]);
}

void KQoxGeometryConverter::DuplicateControlPoints(KArrayTemplate<KQoxVector4>& pPoints, KArrayTemplate<int>& pIndices)
{
    KArrayTemplate<KQoxVector4> old(pPoints);
    pPoints.Empty();
    pPoints.Reserve(pIndices.GetCount());
    for (int i = 0; i < pIndices.GetCount(); ++i)
        pPoints.Add(old.ValidateIndex(pIndices[i]) ? old[pIndices[i]] : KQoxVector4());
}

bool KQoxGeometryConverter::EmulateNormalsByPolygonVertex(KQoxMesh* pMesh)
{
    if (!pMesh)
        return false;
    const int n = pMesh->GetControlPointsCount();
    const int p = pMesh->GetPolygonVertexCount();
    KQoxLayerElementNormal* normals = FirstNormals(pMesh);
    if (!normals || normals->mDirectArray.GetCount() != p)
        return false;
    for (int s = 0; s < pMesh->GetShapeCount(); ++s)
    {
        KQoxShape* shape = pMesh->GetShape(s);
        KQoxLayerElementNormal* shapeNormals = FirstNormals(shape);
        if (shape->GetControlPointsCount() != n || !shapeNormals || shapeNormals->mDirectArray.GetCount() != p)
            return false;
    }
    // Every polygon vertex must name a point to be duplicated.
    KArrayTemplate<int>& vertices = pMesh->mPolygonVertices;
    for (int i = 0; i < p; ++i)
        if (vertices[i] < 0 || vertices[i] >= n)
            return false;

    normals->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    DuplicateControlPoints(pMesh->GetControlPointArray(), vertices);
    for (int s = 0; s < pMesh->GetShapeCount(); ++s)
    {
        KQoxShape* shape = pMesh->GetShape(s);
        FirstNormals(shape)->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
        DuplicateControlPoints(shape->GetControlPointArray(), vertices);
    }

    // The links are detached (the manager keeps them) and rebuilt on the
    // duplicated points.
    KArrayTemplate<KQoxLink*> links;
    for (int i = 0; i < pMesh->GetLinkCount(); ++i)
        links.Add(pMesh->GetLink(i));
    pMesh->ClearLink();
    KQoxWeightedMapping mapping(n, p);
    for (int i = 0; i < p; ++i)
        mapping.Add(vertices[i], i, 1.0);
    KArrayTemplate<KQoxLink*> newLinks;
    ConvertLinks(links, n, newLinks, p, &mapping);
    for (int i = 0; i < newLinks.GetCount(); ++i)
        pMesh->AddLink(newLinks[i]);

    for (int i = 0; i < p; ++i)
        vertices[i] = i;
    return true;
}

} // namespace qoxsdk_600
