// The mesh: polygon building and reading, and layer 0's UVs, material and
// texture indices and normal mapping.

#include "scene/attributes/kqoxmesh.h"

#include "base/kmemorypool.h"

#include <climits>

namespace qoxsdk_600 {

namespace {

// Makes the index array hold count entries and stores the value last.
void StoreLast(KArrayTemplate<int>& pIndices, int pCount, int pValue)
{
    // The common case while building: one entry more.
    if (pIndices.GetCount() == pCount - 1 && pIndices.Add(pValue) >= 0)
        return;
    pIndices.SetCount(pCount);
    if (pIndices.GetCount() == pCount && pCount > 0)
        pIndices[pCount - 1] = pValue;
}

bool UsesIndices(const KQoxLayerElement* pElement)
{
    return pElement->mReferenceMode == KQoxLayerElement::eINDEX ||
           pElement->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT;
}

} // namespace

KQoxMesh::KQoxMesh(KQoxSdkManager& pManager)
    : KQoxGeometry(pManager)
    , mPolygons(256)
    , mPolygonVertices(1024)
{
    Reset();
}

KQoxMesh::~KQoxMesh() {}

void KQoxMesh::Reset()
{
    mPolygons.Clear();
    mPolygonVertices.Clear();
    mControlPoints.Clear();
    // The entity counts the materials and textures of the layers going away.
    KQoxEntity* entity = mEntity;
    UnsetEntity();
    ClearLayers();
    SetEntity(entity);
}

// ---- Building -------------------------------------------------------------------

void KQoxMesh::BeginPolygon(int pMaterial, int pTexture, int pGroup)
{
    KQoxPolygon polygon = {mPolygonVertices.GetCount(), 0, pGroup};
    mPolygons.Add(polygon);
    const int count = mPolygons.GetCount();
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);

    if (!layer->GetMaterials() && count == 1 && pMaterial != -1)
        layer->SetMaterials(new KQoxLayerElementMaterial);
    if (KQoxLayerElementMaterial* materials = layer->GetMaterials())
        if (materials->mMappingMode == KQoxLayerElement::eBY_POLYGON && UsesIndices(materials))
            StoreLast(materials->mIndexArray, count, pMaterial);

    if (!layer->GetTextures() && count == 1 && pTexture != -1)
        layer->SetTextures(new KQoxLayerElementTexture);
    if (KQoxLayerElementTexture* textures = layer->GetTextures())
        if (textures->mMappingMode == KQoxLayerElement::eBY_POLYGON && UsesIndices(textures))
            StoreLast(textures->mIndexArray, count, pTexture);
}

void KQoxMesh::AddPolygon(int pIndex, int pTextureUVIndex)
{
    // Without a begun polygon there is no polygon to extend.
    if (mPolygons.GetCount() == 0 || pIndex < 0)
        return;
    mPolygonVertices.Add(pIndex);
    if (pTextureUVIndex != -1)
    {
        KQoxLayer* layer = GetLayer(0);
        if (!layer->GetUVs())
            layer->SetUVs(new KQoxLayerElementUV);
        KQoxLayerElementUV* uvs = layer->GetUVs();
        if (uvs->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX &&
            uvs->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT)
            StoreLast(uvs->mIndexArray, mPolygonVertices.GetCount(), pTextureUVIndex);
    }
    mPolygons[mPolygons.GetCount() - 1].mSize += 1;
}

namespace {

// Capacity for count more items; only ever grows.
bool ReserveMore(KBaseArray& pArray, int pMore)
{
    if (pMore <= 0)
        return true;
    const long long wanted = static_cast<long long>(pArray.GetCount()) + pMore;
    if (wanted > INT_MAX)
        return false;
    return pArray.Reserve(static_cast<int>(wanted)) >= wanted;
}

} // namespace

bool KQoxMesh::ReservePolygons(int pPolygons, int pPolygonVertices)
{
    bool ok = ReserveMore(mPolygons, pPolygons) && ReserveMore(mPolygonVertices, pPolygonVertices);
    if (KQoxLayer* layer = GetLayerCount() > 0 ? GetLayer(0) : nullptr)
    {
        if (KQoxLayerElementMaterial* materials = layer->GetMaterials())
            if (materials->mMappingMode == KQoxLayerElement::eBY_POLYGON && UsesIndices(materials))
                ok = ReserveMore(materials->mIndexArray, pPolygons) && ok;
        if (KQoxLayerElementTexture* textures = layer->GetTextures())
            if (textures->mMappingMode == KQoxLayerElement::eBY_POLYGON && UsesIndices(textures))
                ok = ReserveMore(textures->mIndexArray, pPolygons) && ok;
        if (KQoxLayerElementUV* uvs = layer->GetUVs())
            if (uvs->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX &&
                uvs->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT)
                ok = ReserveMore(uvs->mIndexArray, pPolygonVertices) && ok;
    }
    return ok;
}

void KQoxMesh::AddPolygonVertices(const int* pIndices, const int* pTextureUVIndices, int pCount)
{
    if (mPolygons.GetCount() == 0 || !pIndices)
        return;
    // Layer 0 exists since BeginPolygon; its UV element is looked up once.
    KQoxLayerElementUV* uvs = nullptr;
    bool storeUVs = false;
    int& size = mPolygons[mPolygons.GetCount() - 1].mSize;
    for (int i = 0; i < pCount; ++i)
    {
        if (pIndices[i] < 0)
            continue;
        mPolygonVertices.Add(pIndices[i]);
        const int uv = pTextureUVIndices ? pTextureUVIndices[i] : -1;
        if (uv != -1)
        {
            if (!uvs)
            {
                KQoxLayer* layer = GetLayer(0);
                if (!layer->GetUVs())
                    layer->SetUVs(new KQoxLayerElementUV);
                uvs = layer->GetUVs();
                storeUVs = uvs->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX &&
                           uvs->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT;
            }
            if (storeUVs)
                StoreLast(uvs->mIndexArray, mPolygonVertices.GetCount(), uv);
        }
        size += 1;
    }
}

int* KQoxMesh::SetPolygonVertexCount(int pCount)
{
    if (mPolygons.GetCount() != 0 || !mPolygonVertices.SetCountUnset(pCount))
        return nullptr;
    return mPolygonVertices.GetArray();
}

bool KQoxMesh::TakePolygonVertices(int* pStorage, int pCount, size_t pCapacity)
{
    return mPolygons.GetCount() == 0 && mPolygonVertices.Adopt(pStorage, pCount, pCapacity);
}

bool KQoxMesh::SetPolygons(const int* pSizes, const int* pGroups, int pCount)
{
    if (mPolygons.GetCount() != 0 || pCount < 0 || (pCount > 0 && !pSizes))
        return false;
    const int vertexCount = mPolygonVertices.GetCount();
    // The polygon array comes first so that its fresh pages are backed on
    // another thread while the checks run; it is freed again when they fail.
    if (!mPolygons.SetCountUnset(pCount))
        return false;
    KPrefaulter prefault(mPolygons.GetArray(), static_cast<size_t>(pCount) * sizeof(KQoxPolygon));
    // Branch-free passes: they run at memory speed over millions of entries.
    // A negative entry shows in the sign bit of all of them or'ed together.
    long long total = 0;
    int signs = 0;
    for (int p = 0; p < pCount; ++p)
    {
        signs |= pSizes[p];
        total += pSizes[p];
    }
    const int* vertices = mPolygonVertices.GetArray();
    if (signs >= 0 && total == vertexCount)
        for (int v = 0; v < vertexCount; ++v)
            signs |= vertices[v];
    if (signs < 0 || total != vertexCount)
    {
        mPolygons.Clear();
        return false;
    }
    KQoxPolygon* polygons = mPolygons.GetArray();
    int index = 0;
    for (int p = 0; p < pCount; ++p)
    {
        polygons[p].mIndex = index;
        polygons[p].mSize = pSizes[p];
        polygons[p].mGroup = pGroups ? pGroups[p] : -1;
        index += pSizes[p];
    }
    if (pCount == 0)
        return true;
    // What BeginPolygon does besides: layer 0 exists, and by-polygon material
    // and texture indices get an entry (none: -1) per polygon.
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElement* perPolygon[2] = {layer->GetMaterials(), layer->GetTextures()};
    for (KQoxLayerElement* element : perPolygon)
        if (element && element->mMappingMode == KQoxLayerElement::eBY_POLYGON && UsesIndices(element))
        {
            element->mIndexArray.SetCount(pCount);
            for (int p = 0; p < element->mIndexArray.GetCount(); ++p)
                element->mIndexArray[p] = -1;
        }
    return true;
}

// ---- Reading ---------------------------------------------------------------------

void KQoxMesh::GetPolygonSizesAndGroups(int* pSizes, int* pGroups) const
{
    const KQoxPolygon* polygons = mPolygons.GetArray();
    const int count = mPolygons.GetCount();
    for (int p = 0; pSizes && p < count; ++p)
        pSizes[p] = polygons[p].mSize;
    for (int p = 0; pGroups && p < count; ++p)
        pGroups[p] = polygons[p].mGroup;
}

int KQoxMesh::GetPolygonSize(int pPolygon) const
{
    return mPolygons.ValidateIndex(pPolygon) ? mPolygons[pPolygon].mSize : -1;
}

int KQoxMesh::GetPolygonGroup(int pPolygon) const
{
    return mPolygons.ValidateIndex(pPolygon) ? mPolygons[pPolygon].mGroup : -1;
}

int KQoxMesh::GetPolygonVertexIndex(int pPolygon) const
{
    return mPolygons.ValidateIndex(pPolygon) ? mPolygons[pPolygon].mIndex : -1;
}

int KQoxMesh::GetPolygonVertex(int pPolygon, int pVertex) const
{
    if (!mPolygons.ValidateIndex(pPolygon) || pVertex < 0 || pVertex >= mPolygons[pPolygon].mSize)
        return -1;
    return mPolygonVertices[mPolygons[pPolygon].mIndex + pVertex];
}

void KQoxMesh::GetPolygonVertexNormal(int pPolygon, int pVertex, KQoxVector4& pNormal) const
{
    if (!mPolygons.ValidateIndex(pPolygon) || pVertex < 0 || pVertex >= mPolygons[pPolygon].mSize)
        return;
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    const int position = mPolygons[pPolygon].mIndex + pVertex;
    if (normals && normals->mDirectArray.ValidateIndex(position))
        pNormal = normals->mDirectArray[position];
}

// ---- UVs ---------------------------------------------------------------------------

namespace {

KQoxLayerElementUV* UVsOf(const KQoxLayerContainer& pMesh)
{
    KQoxLayer* layer = pMesh.GetLayer(0);
    return layer ? layer->GetUVs() : nullptr;
}

bool IndexedByPolygonVertex(const KQoxLayerElementUV* pUVs)
{
    return pUVs && pUVs->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX &&
           pUVs->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT;
}

} // namespace

void KQoxMesh::InitTextureUV(int pCount)
{
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);
    if (!layer->GetUVs())
        layer->SetUVs(new KQoxLayerElementUV);
    layer->GetUVs()->mDirectArray.Empty();
    if (pCount > 0)
        layer->GetUVs()->mDirectArray.SetCount(pCount);
}

void KQoxMesh::AddTextureUV(const KQoxVector2& pUV)
{
    if (KQoxLayerElementUV* uvs = UVsOf(*this))
        uvs->mDirectArray.Add(pUV);
}

KQoxVector2* KQoxMesh::GetTextureUV() const
{
    KQoxLayerElementUV* uvs = UVsOf(*this);
    return uvs ? uvs->mDirectArray.GetArray() : nullptr;
}

int KQoxMesh::GetTextureUVCount() const
{
    KQoxLayerElementUV* uvs = UVsOf(*this);
    return uvs ? uvs->mDirectArray.GetCount() : 0;
}

void KQoxMesh::InitTextureUVIndices(KQoxLayerElement::EMappingMode pMappingMode)
{
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);
    if (!layer->GetUVs())
        layer->SetUVs(new KQoxLayerElementUV);
    KQoxLayerElementUV* uvs = layer->GetUVs();
    uvs->mDirectArray.Empty();
    uvs->mIndexArray.Empty();
    switch (pMappingMode)
    {
    case KQoxLayerElement::eBY_POLYGON_VERTEX:
        uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        break;
    case KQoxLayerElement::eBY_CONTROL_POINT:
    case KQoxLayerElement::eALL_SAME:
        uvs->mMappingMode = pMappingMode;
        uvs->mReferenceMode = KQoxLayerElement::eDIRECT;
        break;
    default:
        uvs->mMappingMode = KQoxLayerElement::eNONE;
        uvs->mReferenceMode = KQoxLayerElement::eDIRECT;
        break;
    }
}

int KQoxMesh::GetTextureUVMappingMode() const
{
    KQoxLayerElementUV* uvs = UVsOf(*this);
    if (uvs && (uvs->mMappingMode == KQoxLayerElement::eBY_CONTROL_POINT ||
                uvs->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX))
        return uvs->mMappingMode;
    return KQoxLayerElement::eNONE;
}

int KQoxMesh::GetTextureUVIndex(int pPolygon, int pVertex) const
{
    KQoxLayerElementUV* uvs = UVsOf(*this);
    if (!IndexedByPolygonVertex(uvs) || GetPolygonVertex(pPolygon, pVertex) < 0)
        return -1;
    const int position = mPolygons[pPolygon].mIndex + pVertex;
    return uvs->mIndexArray.ValidateIndex(position) ? uvs->mIndexArray[position] : -1;
}

void KQoxMesh::SetTextureUVIndex(int pPolygon, int pVertex, int pUVIndex)
{
    KQoxLayerElementUV* uvs = UVsOf(*this);
    if (!IndexedByPolygonVertex(uvs) || GetPolygonVertex(pPolygon, pVertex) < 0)
        return;
    if (uvs->mIndexArray.GetCount() < mPolygonVertices.GetCount())
        uvs->mIndexArray.SetCount(mPolygonVertices.GetCount());
    const int position = mPolygons[pPolygon].mIndex + pVertex;
    if (uvs->mIndexArray.ValidateIndex(position))
        uvs->mIndexArray[position] = pUVIndex;
}

// ---- Materials and textures ------------------------------------------------------------

void KQoxMesh::InitMaterialIndices(KQoxLayerElement::EMappingMode pMappingMode)
{
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);
    if (!layer->GetMaterials())
        layer->SetMaterials(new KQoxLayerElementMaterial);
    KQoxLayerElementMaterial* materials = layer->GetMaterials();
    materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    materials->mIndexArray.Empty();
    if (pMappingMode == KQoxLayerElement::eBY_POLYGON)
        materials->mMappingMode = KQoxLayerElement::eBY_POLYGON;
    else if (pMappingMode == KQoxLayerElement::eBY_CONTROL_POINT)
    {
        if (GetControlPointsCount() > 0)
        {
            materials->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
            materials->mIndexArray.SetCount(GetControlPointsCount());
        }
    }
    else
    {
        materials->mMappingMode = KQoxLayerElement::eALL_SAME;
        materials->mIndexArray.Add(0);
    }
}

int* KQoxMesh::GetMaterialIndices() const
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementMaterial* materials = layer ? layer->GetMaterials() : nullptr;
    return (materials && UsesIndices(materials)) ? materials->mIndexArray.GetArray() : nullptr;
}

int KQoxMesh::GetMaterialMappingMode() const
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementMaterial* materials = layer ? layer->GetMaterials() : nullptr;
    return materials ? materials->mMappingMode : KQoxLayerElement::eNONE;
}

void KQoxMesh::InitTextureIndices(KQoxLayerElement::EMappingMode pMappingMode)
{
    if (GetLayerCount() == 0)
        CreateLayer();
    KQoxLayer* layer = GetLayer(0);
    if (!layer->GetTextures())
        layer->SetTextures(new KQoxLayerElementTexture);
    KQoxLayerElementTexture* textures = layer->GetTextures();
    textures->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    textures->mIndexArray.Empty();
    if (pMappingMode == KQoxLayerElement::eBY_POLYGON)
        textures->mMappingMode = KQoxLayerElement::eBY_POLYGON;
    else
    {
        textures->mMappingMode = KQoxLayerElement::eALL_SAME;
        textures->mIndexArray.Add(0);
    }
}

int* KQoxMesh::GetTextureIndices() const
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementTexture* textures = layer ? layer->GetTextures() : nullptr;
    return (textures && UsesIndices(textures)) ? textures->mIndexArray.GetArray() : nullptr;
}

int KQoxMesh::GetTextureMappingMode() const
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementTexture* textures = layer ? layer->GetTextures() : nullptr;
    if (textures && (textures->mMappingMode == KQoxLayerElement::eBY_POLYGON ||
                     textures->mMappingMode == KQoxLayerElement::eALL_SAME))
        return textures->mMappingMode;
    return KQoxLayerElement::eNONE;
}

// ---- Normal mapping ----------------------------------------------------------------------

int KQoxMesh::GetNormalsMappingMode() const
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    if (normals && (normals->mMappingMode == KQoxLayerElement::eBY_CONTROL_POINT ||
                    normals->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX))
        return normals->mMappingMode;
    return KQoxLayerElement::eBY_CONTROL_POINT;
}

void KQoxMesh::SetNormalsMappingMode(KQoxLayerElement::EMappingMode pMappingMode)
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    if (normals &&
        (pMappingMode == KQoxLayerElement::eBY_CONTROL_POINT || pMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX))
        normals->mMappingMode = pMappingMode;
}

// ---- Copy ----------------------------------------------------------------------------------

KQoxMesh& KQoxMesh::operator=(KQoxMesh& pOther)
{
    if (&pOther == this)
        return *this;
    KQoxGeometry::operator=(pOther);
    mPolygons = pOther.mPolygons;
    mPolygonVertices = pOther.mPolygonVertices;
    return *this;
}

} // namespace qoxsdk_600
