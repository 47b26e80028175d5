// Building: each group's faces become one mesh with one control point per
// distinct (position, texture vertex, normal) reference; rational B-spline
// surfaces become NURBS.

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "formats/obj/kqoxreaderobj.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxVector4 KQoxReaderObj::ComputeDefaultNormal(const KQoxVector4* points)
{
    KQoxVector4 a = points[1] - points[0];
    KQoxVector4 b = points[2] - points[0];
    KQoxVector4 normal = a.CrossProduct(b);
    normal.Normalize();
    return normal;
}

namespace {

using Corner = KObjMesh::Corner;

// The flat normal of a face from its first three positions.
KQoxVector4 FaceNormal(const KObjPodArray<KQoxVector4>& vertices, const Corner* corners)
{
    const KQoxVector4 points[3] = {vertices[corners[0].mVertex], vertices[corners[1].mVertex],
                                   vertices[corners[2].mVertex]};
    return KQoxReaderObj::ComputeDefaultNormal(points);
}

int FaceCount(uint32_t face)
{
    return static_cast<int>(face & KObjMesh::kCountMask);
}

// The UV index of every polygon vertex, stored at once after the polygons
// were added without them: the same array as adding each polygon vertex
// with its UV index would build (it ends at the last vertex that has a UV,
// vertices without one hold 0).
void StoreCornerUVs(KQoxMesh& mesh, const KObjPodArray<int>& pointUV)
{
    KQoxLayer* layer = mesh.GetLayerCount() > 0 ? mesh.GetLayer(0) : nullptr;
    KQoxLayerElementUV* uvs = layer ? layer->GetUVs() : nullptr;
    if (!uvs || uvs->mMappingMode != KQoxLayerElement::eBY_POLYGON_VERTEX ||
        uvs->mReferenceMode != KQoxLayerElement::eINDEX_TO_DIRECT)
        return;
    const int* points = mesh.GetPolygonVertices();
    int used = mesh.GetPolygonVertexCount();
    while (used > 0 && pointUV[points[used - 1]] < 0)
        --used;
    if (used == 0)
        return;
    KArrayTemplate<int>& indices = uvs->mIndexArray;
    indices.SetCount(used);
    if (indices.GetCount() != used)
        return;
    int* out = indices.GetArray();
    for (int c = 0; c < used; ++c)
    {
        const int uv = pointUV[points[c]];
        out[c] = uv >= 0 ? uv : 0;
    }
}

} // namespace

bool KQoxReaderObj::FillNormals(KObjMesh& mesh)
{
    struct Use
    {
        int mVertex;
        size_t mCorner; // position in the list's corners
        size_t mFace;
    };
    std::vector<Use> uses;
    for (auto& entry : mesh.mFaceLists)
    {
        KObjMesh::FaceList& list = entry.second;
        if (entry.first == 0)
        {
            size_t first = 0;
            for (uint32_t& face : list.mFaces)
            {
                const int count = FaceCount(face);
                Corner* corners = &list.mCorners[first];
                first += static_cast<size_t>(count);
                if (!(face & KObjMesh::kMissingNormals))
                    continue;
                if (!mNormals.push_back(FaceNormal(mVertices, corners)))
                    return false;
                const int index = static_cast<int>(mNormals.size()) - 1;
                for (int r = 0; r < count; ++r)
                    corners[r].mNormal = index;
                face &= ~KObjMesh::kMissingNormals;
            }
            continue;
        }
        // Shared vertices of one smoothing group get one averaged normal.
        uses.clear();
        std::vector<size_t> firsts(list.mFaces.size());
        size_t first = 0;
        for (size_t f = 0; f < list.mFaces.size(); ++f)
        {
            firsts[f] = first;
            const int count = FaceCount(list.mFaces[f]);
            for (int r = 0; r < count; ++r)
                uses.push_back(Use{list.mCorners[first + r].mVertex, first + r, f});
            first += static_cast<size_t>(count);
        }
        std::stable_sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) { return a.mVertex < b.mVertex; });
        std::vector<KQoxVector4> faceNormals(list.mFaces.size());
        std::vector<char> faceNormalKnown(list.mFaces.size(), 0);
        for (size_t begin = 0; begin < uses.size();)
        {
            size_t end = begin;
            KQoxVector4 sum;
            bool missing = false;
            for (; end < uses.size() && uses[end].mVertex == uses[begin].mVertex; ++end)
            {
                const Corner& corner = list.mCorners[uses[end].mCorner];
                if (corner.mNormal >= 0)
                {
                    sum += mNormals[corner.mNormal];
                    continue;
                }
                missing = true;
                const size_t f = uses[end].mFace;
                if (!faceNormalKnown[f])
                {
                    faceNormals[f] = FaceNormal(mVertices, &list.mCorners[firsts[f]]);
                    faceNormalKnown[f] = 1;
                }
                sum += faceNormals[f];
            }
            if (missing)
            {
                sum.Normalize();
                if (!mNormals.push_back(sum))
                    return false;
                const int index = static_cast<int>(mNormals.size()) - 1;
                for (size_t u = begin; u < end; ++u)
                {
                    Corner& corner = list.mCorners[uses[u].mCorner];
                    if (corner.mNormal < 0)
                        corner.mNormal = index;
                }
            }
            begin = end;
        }
        for (uint32_t& face : list.mFaces)
            face &= ~KObjMesh::kMissingNormals;
    }
    mesh.mAllFacesHaveNormals = true;
    return true;
}

KQoxMaterial* KQoxReaderObj::DefaultMaterial()
{
    if (!mDefaultMaterial)
        mDefaultMaterial = mManager.CreateKQoxMaterial("default");
    return mDefaultMaterial;
}

KQoxMesh* KQoxReaderObj::CreateQoxMeshFromObjMesh(KObjMesh& objMesh)
{
    if (!objMesh.mAllFacesHaveNormals && !FillNormals(objMesh))
        return nullptr;
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    if (!mesh)
        return nullptr;

    size_t corners = 0, faceCount = 0;
    for (auto& entry : objMesh.mFaceLists)
    {
        corners += entry.second.mCorners.size();
        faceCount += entry.second.mFaces.size();
    }
    // Distinct corners, at most one per corner: reserved at that, since
    // pages never written cost nothing.
    KObjPodArray<PointEntry> entries;
    KObjPodArray<int> pointUV;
    if (!entries.reserve_more(corners) || !pointUV.reserve_more(corners))
    {
        mManager.DestroyKQoxNodeAttribute(mesh);
        return nullptr;
    }

    mesh->InitMaterialIndices(mMaterialLibrarySeen ? KQoxLayerElement::eBY_POLYGON : KQoxLayerElement::eALL_SAME);
    if (mesh->GetLayerCount() == 0)
        mesh->CreateLayer();
    KQoxLayer* layer = mesh->GetLayer(0);
    if (objMesh.mSomeFaceHasTexture)
    {
        mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
        if (!objMesh.mAllFacesHaveTexture)
        {
            KQoxTexture* empty = mManager.CreateKQoxTexture("_empty_");
            if (empty)
            {
                empty->SetDefaultAlpha(0.0);
                mesh->AT(empty, 0);
            }
        }
    }
    if (faceCount <= static_cast<size_t>(INT_MAX) && corners <= static_cast<size_t>(INT_MAX))
        mesh->ReservePolygons(static_cast<int>(faceCount), static_cast<int>(corners));

    // Polygons, their corners numbered as they come; the control points
    // follow from the numbering.
    const int uvCount = AddPolygons(*mesh, objMesh, entries, pointUV);

    const int pointCount = static_cast<int>(entries.size());
    mesh->InitControlPoints(pointCount);
    mesh->InitNormals(0);
    KQoxVector4* points = mesh->GetControlPoints();
    KQoxVector4* normals = mesh->GetNormals();
    for (int number = 0; points && number < pointCount; ++number)
    {
        const PointEntry& point = entries[number];
        points[number] = mVertices[point.mVertex];
        if (normals && point.mNormal >= 0)
            normals[number] = mNormals[point.mNormal];
    }
    if (uvCount > 0)
    {
        mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
        if (!layer->GetUVs())
            layer->SetUVs(new KQoxLayerElementUV);
        KArrayTemplate<KQoxVector2>& direct = layer->GetUVs()->mDirectArray;
        direct.SetCount(uvCount);
        KQoxVector2* uvs = direct.GetArray();
        for (int number = 0; uvs && direct.GetCount() == uvCount && number < pointCount; ++number)
            if (pointUV[number] >= 0)
                uvs[pointUV[number]] = mTextureVertices[entries[number].mTextureVertex];
        entries.release();
        StoreCornerUVs(*mesh, pointUV);
    }
    return mesh;
}

int KQoxReaderObj::AddPolygons(KQoxMesh& mesh, KObjMesh& objMesh, KObjPodArray<PointEntry>& entries,
                               KObjPodArray<int>& pointUV)
{
    mChainHeads.resize(mVertices.size(), -1);
    std::vector<int> numbers;
    int uvCount = 0;
    // Runs of faces share material and texture: the last lookup is kept.
    std::unordered_map<const void*, int> materialIndex, textureIndex;
    const KQoxMaterial* lastMaterial = nullptr;
    const KQoxTexture* lastTexture = nullptr;
    int lastMaterialIndex = 0, lastTextureIndex = 0;
    bool haveLast = false;
    for (auto& entry : objMesh.mFaceLists)
    {
        KObjMesh::FaceList& list = entry.second;
        const KObjMesh::Run* run = list.mRuns.begin();
        const KObjMesh::Run* const runsEnd = list.mRuns.end();
        const Corner* corner = list.mCorners.begin();
        int material = 0, texture = 0;
        for (size_t f = 0; f < list.mFaces.size(); ++f)
        {
            if (run != runsEnd && run->mFirstFace == f)
            {
                material = 0;
                texture = 0;
                if (mMaterialLibrarySeen && haveLast && run->mMaterial == lastMaterial && run->mTexture == lastTexture)
                {
                    material = lastMaterialIndex;
                    texture = lastTextureIndex;
                }
                else if (mMaterialLibrarySeen)
                {
                    KQoxMaterial* used = run->mMaterial ? run->mMaterial : DefaultMaterial();
                    auto found = materialIndex.find(used);
                    if (found == materialIndex.end())
                    {
                        int index = used ? mesh.GMI(used->GetName(), 0) : -1;
                        if (index < 0 && used)
                            index = mesh.AM(used, 0);
                        found = materialIndex.emplace(used, index).first;
                    }
                    material = found->second;
                    if (run->mTexture)
                    {
                        auto tfound = textureIndex.find(run->mTexture);
                        if (tfound == textureIndex.end())
                        {
                            int index = mesh.GTI(run->mTexture->GetName(), 0);
                            if (index < 0)
                                index = mesh.AT(run->mTexture, 0);
                            tfound = textureIndex.emplace(run->mTexture, index).first;
                        }
                        texture = tfound->second;
                    }
                    haveLast = true;
                    lastMaterial = run->mMaterial;
                    lastTexture = run->mTexture;
                    lastMaterialIndex = material;
                    lastTextureIndex = texture;
                }
                ++run;
            }
            // Each corner's number: its chain of distinct (texture vertex,
            // normal) pairs of the same vertex, most vertices having one.
            const int count = FaceCount(list.mFaces[f]);
            numbers.resize(static_cast<size_t>(count));
            for (int r = 0; r < count; ++r, ++corner)
            {
                int& head = mChainHeads[corner->mVertex];
                int number = head;
                while (number >= 0 && (entries[number].mTextureVertex != corner->mTextureVertex ||
                                       entries[number].mNormal != corner->mNormal))
                    number = entries[number].mNext;
                if (number < 0)
                {
                    number = static_cast<int>(entries.size());
                    entries.push_reserved(PointEntry{corner->mVertex, corner->mTextureVertex, corner->mNormal, head});
                    head = number;
                    pointUV.push_reserved(corner->mTextureVertex >= 0 ? uvCount++ : -1);
                }
                numbers[r] = number;
            }
            mesh.BeginPolygon(material, texture, -1);
            mesh.AddPolygonVertices(numbers.data(), nullptr, count);
            mesh.EndPolygon();
        }
        // Numbered and added: the list's memory goes before the control
        // points are made.
        list.mCorners.release();
        list.mFaces.release();
        list.mRuns.release();
    }
    // Every vertex used heads a chain: back to none for the next mesh.
    for (const PointEntry& point : entries)
        mChainHeads[point.mVertex] = -1;
    return uvCount;
}

KQoxNurb* KQoxReaderObj::CreateQoxGeometryFromObjSurf(KObjSurf& surf)
{
    if (surf.mCurveType != KObjSurf::eBSPLINE || !surf.mRational || surf.mDegreeU < 0 || surf.mDegreeV < 0)
        return nullptr;
    const long long nU = static_cast<long long>(surf.mParametersU.size()) - surf.mDegreeU - 1;
    const long long nV = static_cast<long long>(surf.mParametersV.size()) - surf.mDegreeV - 1;
    // A surface needs at least one point each way, and its references must
    // fill the grid: a short list would leave points undefined.
    if (nU < 1 || nV < 1 || nU * nV > static_cast<long long>(surf.mVertices.size()))
        return nullptr;
    KQoxNurb* nurb = mManager.CreateKQoxNurb();
    if (!nurb)
        return nullptr;
    nurb->SetOrder(surf.mDegreeV + 1, surf.mDegreeU + 1);
    nurb->InitControlPoints(static_cast<int>(nV), KQoxNurb::eOPEN, static_cast<int>(nU), KQoxNurb::eOPEN);
    nurb->SetStep(3, 3);
    const size_t uKnots = std::min<size_t>(surf.mParametersV.size(), std::max(nurb->GetUKnotCount(), 0));
    const size_t vKnots = std::min<size_t>(surf.mParametersU.size(), std::max(nurb->GetVKnotCount(), 0));
    if (double* knots = nurb->GetUKnotVector())
        std::copy(surf.mParametersV.begin(), surf.mParametersV.begin() + uKnots, knots);
    if (double* knots = nurb->GetVKnotVector())
        std::copy(surf.mParametersU.begin(), surf.mParametersU.begin() + vKnots, knots);
    KQoxVector4* points = nurb->GetControlPoints();
    const int count = static_cast<int>(nU * nV);
    for (int i = 0; points && i < count && i < nurb->GetControlPointsCount(); ++i)
    {
        const int target = SwapArrayIndex(i, static_cast<int>(nV), static_cast<int>(nU));
        if (target < nurb->GetControlPointsCount())
            points[target] = mVertices[surf.mVertices[i]];
    }
    if (surf.mMaterial)
        nurb->AM(surf.mMaterial, 0);
    if (surf.mTexture)
    {
        surf.mTexture->SetSwapUV(true);
        nurb->AT(surf.mTexture, 0);
    }
    return nurb;
}

} // namespace qoxsdk_600
