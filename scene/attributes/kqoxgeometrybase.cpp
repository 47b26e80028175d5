// Control points and layer-0 normals.

#include "scene/attributes/kqoxgeometrybase.h"

namespace qoxsdk_600 {

KQoxGeometryBase::KQoxGeometryBase(KQoxSdkManager& pManager)
    : KQoxLayerContainer(pManager)
    , mControlPoints(256)
{}

KQoxGeometryBase::~KQoxGeometryBase() {}

void KQoxGeometryBase::InitControlPoints(int pCount)
{
    mControlPoints.Empty();
    if (pCount > 0)
        mControlPoints.SetCount(pCount);
}

void KQoxGeometryBase::InitNormals(int pCount)
{
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);
    if (!layer->GetNormals())
        layer->SetNormals(new KQoxLayerElementNormal);
    KQoxLayerElementNormal* normals = layer->GetNormals();
    int count = GetControlPointsCount();
    normals->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    if (pCount >= 1 && pCount != count)
    {
        normals->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        count = pCount;
    }
    normals->mReferenceMode = KQoxLayerElement::eDIRECT;
    normals->mDirectArray.Empty();
    normals->mDirectArray.SetCount(count);
}

KQoxVector4* KQoxGeometryBase::GetNormals() const
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    return normals ? normals->mDirectArray.GetArray() : nullptr;
}

void KQoxGeometryBase::SetControlPointAt(const KQoxVector4& pPoint, const KQoxVector4& pNormal, int pIndex)
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    if (!normals || pIndex < 0)
        return;
    if (pIndex >= mControlPoints.GetCount())
        mControlPoints.SetCount(pIndex + 1);
    if (pIndex >= normals->mDirectArray.GetCount())
        normals->mDirectArray.SetCount(pIndex + 1);
    if (pIndex >= mControlPoints.GetCount() || pIndex >= normals->mDirectArray.GetCount())
        return; // no memory to grow into
    mControlPoints[pIndex] = pPoint;
    normals->mDirectArray[pIndex] = pNormal;
}

void KQoxGeometryBase::Copy(const KQoxGeometryBase& pOther)
{
    mControlPoints = pOther.mControlPoints;
}

} // namespace qoxsdk_600
