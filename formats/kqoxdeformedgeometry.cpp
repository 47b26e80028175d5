#include "formats/kqoxdeformedgeometry.h"

#include <algorithm>
#include <vector>

#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

void KQoxDeformedGeometry::ComputeShapeDeformation(KQoxNode*, KQoxMesh* mesh, KQoxVector4* points)
{
    if (!mesh || !points)
    {
        return;
    }
    const int count = mesh->GetControlPointsCount();
    std::vector<KQoxVector4> result(points, points + count);
    for (int s = 0; s < mesh->GetShapeCount(); ++s)
    {
        KQoxShape* shape = mesh->GetShape(s);
        if (!shape)
        {
            continue;
        }
        const double weight = mesh->GetDefaultShape(s);
        const KQoxVector4* target = shape->GetControlPoints();
        const int shared = std::min(count, shape->GetControlPointsCount());
        for (int i = 0; i < shared; ++i)
        {
            result[i] += (target[i] - points[i]) * weight;
        }
    }
    std::copy(result.begin(), result.end(), points);
}

void KQoxDeformedGeometry::ComputeLinkDeformation(KQoxXMatrix& reference, KQoxMesh* mesh, KQoxVector4* points)
{
    if (!mesh || !points || mesh->GetLinkCount() == 0)
    {
        return;
    }
    const int count = mesh->GetControlPointsCount();
    const int mode = mesh->GetLink(0)->GetLinkMode();
    KQoxXMatrix zero;
    MatrixScale(zero, 0.0);
    std::vector<KQoxXMatrix> deformation(count, mode == KQoxLink::eADDITIVE ? KQoxXMatrix() : zero);
    std::vector<double> weights(count, 0.0);

    for (int k = 0; k < mesh->GetLinkCount(); ++k)
    {
        KQoxLink* link = mesh->GetLink(k);
        if (!link || !link->GetLink())
        {
            continue;
        }
        KQoxXMatrix a, b, bind;
        if (mode == KQoxLink::eADDITIVE && link->GetAssociateModel())
        {
            link->GetTransformAssociateModelMatrix(a);
            b = GetGlobalPosition(link->GetAssociateModel());
        }
        else
        {
            link->GetTransformMatrix(a);
            b = reference;
        }
        link->GetTransformLinkMatrix(bind);
        const KQoxXMatrix current = GetGlobalPosition(link->GetLink());
        const KQoxXMatrix relInit = bind.Inverse() * a;
        const KQoxXMatrix relCur = current.Inverse() * b;
        const KQoxXMatrix x = relCur.Inverse() * relInit;

        const int entries = link->GetControlPointIndicesCount();
        const int* indices = link->GetControlPointIndices();
        const double* linkWeights = link->GetControlPointWeights();
        for (int e = 0; e < entries; ++e)
        {
            const int index = indices[e];
            const double w = linkWeights[e];
            if (w == 0.0 || index < 0 || index >= count)
            {
                continue;
            }
            KQoxXMatrix m(x);
            MatrixScale(m, w);
            if (mode == KQoxLink::eADDITIVE)
            {
                MatrixAddToDiagonal(m, 1.0 - w);
                deformation[index] = m * deformation[index];
                weights[index] = 1.0;
            }
            else
            {
                MatrixAdd(deformation[index], m);
                weights[index] += w;
            }
        }
    }

    for (int i = 0; i < count; ++i)
    {
        if (weights[i] == 0.0)
        {
            continue;
        }
        KQoxVector4 input = points[i];
        points[i] = deformation[i].MultT(input);
        if (mode == KQoxLink::eTOTAL1)
        {
            input *= (1.0 - weights[i]);
            points[i] += input;
        }
        else if (mode != KQoxLink::eADDITIVE)
        {
            points[i] /= weights[i];
        }
    }
}

void KQoxDeformedGeometry::MatrixScale(KQoxXMatrix& matrix, double s)
{
    double* m = matrix;
    for (int i = 0; i < 16; ++i)
    {
        m[i] *= s;
    }
}

void KQoxDeformedGeometry::MatrixAddToDiagonal(KQoxXMatrix& matrix, double s)
{
    double* m = matrix;
    m[0] += s;
    m[5] += s;
    m[10] += s;
    m[15] += s;
}

void KQoxDeformedGeometry::MatrixAdd(KQoxXMatrix& matrix, KQoxXMatrix& other)
{
    double* m = matrix;
    const double* n = other;
    for (int i = 0; i < 16; ++i)
    {
        m[i] += n[i];
    }
}

KQoxXMatrix KQoxDeformedGeometry::GetLocalPosition(KQoxNode* node)
{
    KQoxXMatrix result;
    if (!node)
    {
        return result;
    }
    KQoxVector4 t, r, s;
    node->GetDefaultT(t);
    node->GetDefaultR(r);
    node->GetDefaultS(s);
    result.SetT(t);
    result.SetR(r);
    result.SetS(s);
    return result;
}

KQoxXMatrix KQoxDeformedGeometry::GetGlobalPosition(KQoxNode* node)
{
    // Walked iteratively so a deep chain cannot exhaust the stack; the
    // product keeps the parent on the left.
    KQoxXMatrix result = GetLocalPosition(node);
    for (KQoxNode* parent = node ? node->GetParent() : nullptr; parent; parent = parent->GetParent())
    {
        result = GetLocalPosition(parent) * result;
    }
    return result;
}

} // namespace qoxsdk_600
