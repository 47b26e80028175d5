// Patch to NURBS conversion, zero-weight repair and the NURBS flip.
#include "scene/attributes/kqoxgeometryconverter.h"

#include "scene/attributes/kqoxattribute_private.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The NURBS order and form of one patch direction; false for the types that
// do not convert.
bool NurbDirection(KQoxPatch::EPatchType pType, bool pClosed, unsigned int& pOrder, KQoxNurb::ENurbType& pForm)
{
    switch (pType)
    {
    case KQoxPatch::eBEZIER:
        pOrder = 4;
        pForm = KQoxNurb::eOPEN;
        return true;
    case KQoxPatch::eBSPLINE:
        pOrder = 4;
        pForm = pClosed ? KQoxNurb::ePERIODIC : KQoxNurb::eOPEN;
        return true;
    case KQoxPatch::eLINEAR:
        pOrder = 2;
        pForm = pClosed ? KQoxNurb::eCLOSED : KQoxNurb::eOPEN;
        return true;
    default: return false;
    }
}

// Knot values of a direction, exactly pCount of them.
void FillKnots(KQoxPatch::EPatchType pType, double* pKnots, int pCount)
{
    if (!pKnots)
        return;
    for (int k = 0; k < pCount; ++k)
    {
        double value = 0.0;
        switch (pType)
        {
        case KQoxPatch::eBSPLINE: value = k; break;
        case KQoxPatch::eLINEAR:
            // 0, 0, 1, 2, ..., then the last value twice.
            if (k >= pCount - 2)
                value = pCount >= 3 ? pCount - 3 : 0;
            else if (k >= 2)
                value = k - 1;
            break;
        default:
        {
            // Bezier: 0 four times, each following integer three times and
            // the last value four times. A count that is not 3s + 5 keeps the
            // pattern and ends with its last value.
            const int middle = pCount - 8;
            if (pCount < 8)
                value = k < 4 ? 0.0 : 1.0;
            else if (k < 4)
                value = 0.0;
            else if (k >= pCount - 4)
                value = middle > 0 ? (middle - 1) / 3 + 2 : 1;
            else
                value = (k - 4) / 3 + 1;
            break;
        }
        }
        pKnots[k] = value;
    }
}

} // namespace

KQoxNurb* KQoxGeometryConverter::CreateNurbFromPatch(KQoxPatch* pPatch)
{
    if (!pPatch)
        return nullptr;
    unsigned int uOrder = 0, vOrder = 0;
    KQoxNurb::ENurbType uForm = KQoxNurb::eOPEN, vForm = KQoxNurb::eOPEN;
    if (!NurbDirection(pPatch->GetPatchUType(), pPatch->GetUClosed(), uOrder, uForm) ||
        !NurbDirection(pPatch->GetPatchVType(), pPatch->GetVClosed(), vOrder, vForm))
        return nullptr;
    attr::MadeAttribute<KQoxNurb> made(*mManager, mManager->CreateKQoxNurb());
    KQoxNurb* nurb = made.Get();
    if (!nurb)
        return nullptr;
    nurb->CopyLinks(pPatch);
    nurb->CopyShapes(pPatch);
    nurb->CopyLayers(pPatch);
    nurb->CopyPivot(pPatch);
    nurb->SetOrder(uOrder, vOrder);
    nurb->InitControlPoints(pPatch->GetUCount(), uForm, pPatch->GetVCount(), vForm);
    nurb->SetStep(pPatch->GetUStep(), pPatch->GetVStep());
    FillKnots(pPatch->GetPatchUType(), nurb->GetUKnotVector(), nurb->GetUKnotVectorSize());
    FillKnots(pPatch->GetPatchVType(), nurb->GetVKnotVector(), nurb->GetVKnotVectorSize());
    nurb->KQoxGeometryBase::Copy(*pPatch);
    InitializeWeightInControlPoints(nurb);
    return made.Keep();
}

KQoxNurb* KQoxGeometryConverter::ConvertPatchToNurb(KQoxPatch* pPatch)
{
    KQoxNurb* nurb = CreateNurbFromPatch(pPatch);
    if (nurb)
        CheckForZeroWeightInShape(nurb);
    return nurb;
}

bool KQoxGeometryConverter::ConvertPatchToNurbInPlace(KQoxNode* pNode)
{
    KQoxNodeAttribute* patch = pNode ? pNode->GetPatch() : nullptr;
    if (!patch)
        return false;
    KQoxNurb* nurb = ConvertPatchToNurb(static_cast<KQoxPatch*>(patch));
    return ReplaceNodeGeometry(pNode, static_cast<KQoxGeometry*>(patch), nurb);
}

void KQoxGeometryConverter::CheckForZeroWeightInShape(KQoxGeometry* pGeometry)
{
    if (!pGeometry)
        return;
    for (int s = 0; s < pGeometry->GetShapeCount(); ++s)
    {
        KQoxShape* shape = pGeometry->GetShape(s);
        KQoxVector4* points = shape->GetControlPoints();
        // A weight that is not above 0 (NaN included) cannot weigh a point.
        for (int i = 0; i < shape->GetControlPointsCount(); ++i)
            if (!(points[i][3] > 0.0))
                points[i][3] = 1.0;
        for (int l = 0; l < shape->GetLayerCount(); ++l)
        {
            KQoxLayerElementNormal* normals = shape->GetLayer(l)->GetNormals();
            if (!normals)
                continue;
            for (int i = 0; i < normals->mDirectArray.GetCount(); ++i)
                if (!(normals->mDirectArray[i][3] > 0.0))
                    normals->mDirectArray[i][3] = 1.0;
        }
    }
}

KQoxNurb* KQoxGeometryConverter::FlipNurb(KQoxNurb* pNurb, bool pSwapUV, bool pSwapClusters)
{
    if (!pNurb)
        return nullptr;
    attr::MadeAttribute<KQoxNurb> made(*mManager, mManager->CreateKQoxNurb());
    KQoxNurb* nurb = made.Get();
    if (!nurb)
        return nullptr;
    *nurb = *pNurb;
    const int U = nurb->GetUCount();
    const int V = nurb->GetVCount();
    if (pSwapUV)
    {
        nurb->SwapUV();
        // Point (column i, row k) moves from k * U + i to i * V + k.
        KArrayTemplate<KQoxVector4>& points = nurb->GetControlPointArray();
        if (static_cast<long long>(U) * V <= points.GetCount())
        {
            KArrayTemplate<KQoxVector4> old(points);
            for (int k = 0; k < V; ++k)
                for (int i = 0; i < U; ++i)
                    points[i * V + k] = old[k * U + i];
        }
    }
    if (pSwapClusters && U > 0)
    {
        for (int l = 0; l < nurb->GetLinkCount(); ++l)
        {
            KQoxLink* link = nurb->GetLink(l);
            int* indices = link->GetControlPointIndices();
            for (int i = 0; i < link->GetControlPointIndicesCount(); ++i)
            {
                const long long flipped = static_cast<long long>(indices[i] % U) * V + indices[i] / U;
                if (flipped <= 0x7fffffffLL)
                    indices[i] = static_cast<int>(flipped);
            }
        }
    }
    return made.Keep();
}

} // namespace qoxsdk_600
