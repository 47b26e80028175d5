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

// The flat normal of a face from its first three positions.
KQoxVector4 FaceNormal(const KObjPodArray<KQoxVector4>& vertices, const KIndexGroup* references)
{
    const KQoxVector4 points[3] = {vertices[references[0].mVertex], vertices[references[1].mVertex],
                                   vertices[references[2].mVertex]};
    return KQoxReaderObj::ComputeDefaultNormal(points);
}

} // namespace

bool KQoxReaderObj::FillNormals(KObjMesh& mesh)
{
    struct Use
    {
        int mVertex;
        size_t mReference; // position in the list's references
        size_t mFace;
    };
    std::vector<Use> uses;
    for (auto& entry : mesh.mFaceLists)
    {
        KObjMesh::FaceList& list = entry.second;
        if (entry.first == 0)
        {
            for (KObjMesh::Face& face : list.mFaces)
            {
                if (face.mHasNormals)
                    continue;
                KIndexGroup* references = &list.mReferences[face.mFirst];
                if (!mNormals.push_back(FaceNormal(mVertices, references)))
                    return false;
                const int index = static_cast<int>(mNormals.size()) - 1;
                for (int r = 0; r < face.mCount; ++r)
                    references[r].mNormal = index;
                face.mHasNormals = true;
            }
            continue;
        }
        // Shared vertices of one smoothing group get one averaged normal.
        uses.clear();
        for (size_t f = 0; f < list.mFaces.size(); ++f)
        {
            const KObjMesh::Face& face = list.mFaces[f];
            for (int r = 0; r < face.mCount; ++r)
                uses.push_back(Use{list.mReferences[face.mFirst + r].mVertex, face.mFirst + r, f});
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
                const KIndexGroup& reference = list.mReferences[uses[end].mReference];
                if (reference.mNormal >= 0)
                {
                    sum += mNormals[reference.mNormal];
                    continue;
                }
                missing = true;
                const size_t f = uses[end].mFace;
                if (!faceNormalKnown[f])
                {
                    faceNormals[f] = FaceNormal(mVertices, &list.mReferences[list.mFaces[f].mFirst]);
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
                    KIndexGroup& reference = list.mReferences[uses[u].mReference];
                    if (reference.mNormal < 0)
                        reference.mNormal = index;
                }
            }
            begin = end;
        }
        for (KObjMesh::Face& face : list.mFaces)
            face.mHasNormals = true;
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

    // Distinct references, numbered in order of first appearance: a chain
    // per vertex of (texture vertex, normal) pairs, most vertices having one.
    struct Entry
    {
        int mTextureVertex;
        int mNormal;
        int mNext;
    };
    std::vector<Entry> entries;
    std::vector<int> cornerPoints;
    std::vector<int> pointUV;
    std::vector<KQoxVector2> uvs;
    std::vector<int> touched;
    mChainHeads.resize(mVertices.size(), -1);
    size_t corners = 0;
    for (auto& entry : objMesh.mFaceLists)
        corners += entry.second.mReferences.size();
    // Reserved at the most they can need: pages never written cost nothing.
    cornerPoints.reserve(corners);
    entries.reserve(corners);
    pointUV.reserve(corners);
    uvs.reserve(corners);

    for (auto& entry : objMesh.mFaceLists)
    {
        for (const KIndexGroup& reference : entry.second.mReferences)
        {
            int& head = mChainHeads[reference.mVertex];
            if (head < 0)
                touched.push_back(reference.mVertex);
            int number = head;
            while (number >= 0 && (entries[number].mTextureVertex != reference.mTextureVertex ||
                                   entries[number].mNormal != reference.mNormal))
                number = entries[number].mNext;
            if (number < 0)
            {
                number = static_cast<int>(entries.size());
                entries.push_back(Entry{reference.mTextureVertex, reference.mNormal, head});
                head = number;
                int uv = -1;
                if (reference.mTextureVertex >= 0)
                {
                    uv = static_cast<int>(uvs.size());
                    uvs.push_back(mTextureVertices[reference.mTextureVertex]);
                }
                pointUV.push_back(uv);
            }
            cornerPoints.push_back(number);
        }
    }
    for (int vertex : touched)
        mChainHeads[vertex] = -1;

    // Control points and their normals, in numbering order: the chains were
    // built newest first, so the positions come from the corners.
    const int pointCount = static_cast<int>(entries.size());
    mesh->InitControlPoints(pointCount);
    mesh->InitNormals(0);
    KQoxVector4* points = mesh->GetControlPoints();
    KQoxVector4* normals = mesh->GetNormals();
    {
        size_t corner = 0;
        for (auto& entry : objMesh.mFaceLists)
            for (const KIndexGroup& reference : entry.second.mReferences)
            {
                const int number = cornerPoints[corner++];
                points[number] = mVertices[reference.mVertex];
                if (normals && reference.mNormal >= 0)
                    normals[number] = mNormals[reference.mNormal];
            }
    }

    mesh->InitMaterialIndices(mMaterialLibrarySeen ? KQoxLayerElement::eBY_POLYGON : KQoxLayerElement::eALL_SAME);
    if (mesh->GetLayerCount() == 0)
        mesh->CreateLayer();
    KQoxLayer* layer = mesh->GetLayer(0);
    if (!uvs.empty())
    {
        mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
        if (!layer->GetUVs())
            layer->SetUVs(new KQoxLayerElementUV);
        KArrayTemplate<KQoxVector2>& direct = layer->GetUVs()->mDirectArray;
        direct.SetCount(static_cast<int>(uvs.size()));
        std::copy(uvs.begin(), uvs.end(), direct.GetArray());
    }
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

    // Polygons, in the order the references were numbered. Runs of faces
    // share material and texture: the last lookup is kept.
    size_t faceCount = 0;
    for (auto& entry : objMesh.mFaceLists)
        faceCount += entry.second.mFaces.size();
    if (faceCount <= static_cast<size_t>(INT_MAX) && corners <= static_cast<size_t>(INT_MAX))
        mesh->ReservePolygons(static_cast<int>(faceCount), static_cast<int>(corners));
    std::unordered_map<const void*, int> materialIndex, textureIndex;
    const KQoxMaterial* lastMaterial = nullptr;
    const KQoxTexture* lastTexture = nullptr;
    int lastMaterialIndex = 0, lastTextureIndex = 0;
    bool haveLast = false;
    std::vector<int> faceUVs;
    size_t corner = 0;
    for (auto& entry : objMesh.mFaceLists)
    {
        for (const KObjMesh::Face& face : entry.second.mFaces)
        {
            int material = 0, texture = 0;
            if (mMaterialLibrarySeen && haveLast && face.mMaterial == lastMaterial && face.mTexture == lastTexture)
            {
                material = lastMaterialIndex;
                texture = lastTextureIndex;
            }
            else if (mMaterialLibrarySeen)
            {
                KQoxMaterial* used = face.mMaterial ? face.mMaterial : DefaultMaterial();
                auto found = materialIndex.find(used);
                if (found == materialIndex.end())
                {
                    int index = used ? mesh->GMI(used->GetName(), 0) : -1;
                    if (index < 0 && used)
                        index = mesh->AM(used, 0);
                    found = materialIndex.emplace(used, index).first;
                }
                material = found->second;
                if (face.mTexture)
                {
                    auto tfound = textureIndex.find(face.mTexture);
                    if (tfound == textureIndex.end())
                    {
                        int index = mesh->GTI(face.mTexture->GetName(), 0);
                        if (index < 0)
                            index = mesh->AT(face.mTexture, 0);
                        tfound = textureIndex.emplace(face.mTexture, index).first;
                    }
                    texture = tfound->second;
                }
                haveLast = true;
                lastMaterial = face.mMaterial;
                lastTexture = face.mTexture;
                lastMaterialIndex = material;
                lastTextureIndex = texture;
            }
            mesh->BeginPolygon(material, texture, -1);
            faceUVs.resize(static_cast<size_t>(face.mCount));
            for (int r = 0; r < face.mCount; ++r)
                faceUVs[r] = pointUV[cornerPoints[corner + r]];
            mesh->AddPolygonVertices(&cornerPoints[corner], faceUVs.data(), face.mCount);
            corner += static_cast<size_t>(face.mCount);
            mesh->EndPolygon();
        }
    }
    return mesh;
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
