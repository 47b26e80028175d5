// 3DS meshes, lights and cameras into node attributes.

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxreader3ds_private.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace reader3ds;

namespace {

// One control point of the split: the source vertex it stands for, the
// smoothing groups it serves, and the next item of the same vertex.
struct SplitItem
{
    int mSource;
    ulong3ds mMask;
    int mNext;
};

// A face's smoothing groups meet a point's when they share a group, or when
// neither has any.
bool MasksMeet(ulong3ds a, ulong3ds b)
{
    return (a & b) != 0 || (a == 0 && b == 0);
}

// The vertex-split table. Item i is control point i; items 0 .. n-1 stand
// for the source vertices, further items are appended as faces of other
// smoothing groups meet a vertex. Each vertex's items are chained in table
// order, so a search looks only at the items of its vertex.
class VertexSplit
{
public:
    explicit VertexSplit(int vertices)
        : mItems(static_cast<size_t>(vertices), SplitItem{-1, 0, -1})
        , mLast(static_cast<size_t>(vertices))
    {
        for (int v = 0; v < vertices; ++v)
            mLast[v] = v;
    }
    // Gives the corner of vertex v on a face of groups `mask` its item.
    void Claim(int v, ulong3ds mask)
    {
        if (mItems[v].mSource < 0)
        {
            mItems[v].mSource = v;
            mItems[v].mMask = mask;
            return;
        }
        const int found = Find(v, mask);
        if (found >= 0)
        {
            mItems[found].mMask |= mask;
            return;
        }
        const int added = static_cast<int>(mItems.size());
        mItems.push_back(SplitItem{v, mask, -1});
        mItems[mLast[v]].mNext = added;
        mLast[v] = added;
    }
    // The first item of vertex v whose groups meet `mask`; -1 when none.
    int Find(int v, ulong3ds mask) const
    {
        if (mItems[v].mSource < 0)
            return -1;
        for (int i = v; i >= 0; i = mItems[i].mNext)
            if (MasksMeet(mItems[i].mMask, mask))
                return i;
        return -1;
    }
    int Size() const { return static_cast<int>(mItems.size()); }
    // The source vertex of item i (an unclaimed item stands for its own).
    int Source(int i) const { return mItems[i].mSource >= 0 ? mItems[i].mSource : i; }

private:
    std::vector<SplitItem> mItems;
    std::vector<int> mLast; // per vertex, its last item
};

// The mesh matrix: the axis rows and the translation of the record; the
// identity when the axes are (nearly) flat. Inverted with the full 3x3
// inverse: mesh matrices may scale and shear.
KQoxXMatrix InverseMeshMatrix(const float* m)
{
    const double a[3][3] = {{m[0], m[1], m[2]}, {m[3], m[4], m[5]}, {m[6], m[7], m[8]}};
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    KQoxXMatrix inverse;
    if (!(std::fabs(det) >= kSingularDeterminant) || !std::isfinite(det))
        return inverse;
    double* out = inverse;
    double i3[3][3];
    i3[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    i3[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    i3[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    i3[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    i3[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    i3[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    i3[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    i3[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    i3[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    const double t[3] = {m[9], m[10], m[11]};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r * 4 + c] = i3[r][c];
    // Row vectors: p' = p.A + t, so p = (p' - t).A^-1.
    for (int c = 0; c < 3; ++c)
        out[12 + c] = -(t[0] * i3[0][c] + t[1] * i3[1][c] + t[2] * i3[2][c]);
    return inverse;
}

// The mesh's storage could not be had (memory ran out): the read fails
// there, as it does where any allocation throws.
void NeedStorage(bool had)
{
    if (!had)
        throw std::bad_alloc();
}

// True when the face's three vertices lie below the vertex count.
bool FaceValid(const face3ds& face, int vertices)
{
    return face.v1 < vertices && face.v2 < vertices && face.v3 < vertices;
}

} // namespace

bool KQoxReader3DS::ConvertMesh3DStoPB(mesh3ds* source, KQoxMesh* mesh)
{
    if (!source || !mesh)
        return true;
    const int vertexCount = source->vertexarray ? source->nvertices : 0;
    const int faceCount = source->facearray ? source->nfaces : 0;
    const face3ds* faces = source->facearray;
    const ulong3ds* groups = source->smootharray;

    // 1. Control points split by smoothing group.
    const bool split = mSmoothGroup && groups;
    VertexSplit table(vertexCount);
    if (split)
        for (int f = 0; f < faceCount; ++f)
            if (FaceValid(faces[f], vertexCount))
                for (int v : {faces[f].v1, faces[f].v2, faces[f].v3})
                    table.Claim(v, groups[f]);

    // 2, 3. Control points, normals and the layer 0 elements.
    const int pointCount = table.Size();
    mesh->InitControlPoints(pointCount);
    mesh->InitNormals(0);
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    NeedStorage(mesh->GetControlPointsCount() == pointCount && (pointCount == 0 || mesh->GetNormals()));

    // 4. Vertex positions in the scene: through the inverse mesh matrix,
    // scaled, axes turned. Every control point starts at its vertex's
    // position, so none is left at the origin.
    const KQoxXMatrix inverse = InverseMeshMatrix(source->locmatrix);
    const double scale = mReferenceNodeFlag ? 1.0 : mScaleFactor;
    std::vector<KQoxVector4> positions(static_cast<size_t>(vertexCount));
    for (int v = 0; v < vertexCount; ++v)
    {
        const point3ds& p = source->vertexarray[v];
        const KQoxVector4 local = inverse.MultT(KQoxVector4(p.x, p.y, p.z, 1.0));
        positions[v] = PointToScene(local[0] * scale, local[1] * scale, local[2] * scale);
    }
    KQoxVector4* points = mesh->GetControlPoints();
    for (int i = 0; i < pointCount; ++i)
        points[i] = positions[table.Source(i)];

    // 5. Material groups: the material, first and second texture index of
    // each face.
    std::vector<int> faceMaterial(static_cast<size_t>(faceCount), 0);
    std::vector<int> faceTexture1(static_cast<size_t>(faceCount), 0);
    std::vector<int> faceTexture2(static_cast<size_t>(faceCount), 0);
    bool needLayer1 = false;
    std::unordered_map<KQoxMaterial*, int> materialIndex;
    const bool hasTextureVertices = source->textarray && source->ntextverts > 0;
    for (int g = 0; source->matarray && g < source->nmats; ++g)
    {
        const objmat3ds& group = source->matarray[g];
        const std::string name = FieldText(group.name, sizeof group.name);
        const auto made = mMaterialsFlag ? mMaterialsByName.find(name) : mMaterialsByName.end();
        KQoxMaterial* material = made != mMaterialsByName.end() ? made->second : nullptr;
        int m = 0, t1 = 0, t2 = 0;
        if (material)
        {
            // A material met in an earlier group keeps its position.
            auto known = materialIndex.find(material);
            if (known == materialIndex.end())
            {
                int added = mesh->AM(material, 0);
                if (added < 0)
                    added = mesh->GMI(material->GetNameWithoutNameSpacePrefix().Buffer(), 0);
                known = materialIndex.emplace(material, added).first;
            }
            m = known->second;
            // Textures only for a 3DS material with a first map: the pair
            // of any other is empty.
            const KTexturePair* pair = FindTexturePair(name.c_str());
            if (hasTextureVertices && mTextureMapping && pair)
            {
                if (pair->mFirst)
                    t1 = mesh->AT(pair->mFirst, 0);
                if (pair->mSecond)
                {
                    t2 = mesh->AT(pair->mSecond, 0);
                    needLayer1 = true;
                }
            }
        }
        for (int i = 0; group.faceindex && i < group.nfaces; ++i)
        {
            const int f = group.faceindex[i];
            if (f >= faceCount)
                continue;
            faceMaterial[f] = m;
            faceTexture1[f] = t1 < 0 ? 0 : t1;
            faceTexture2[f] = t2 < 0 ? 0 : t2;
        }
    }

    // 6. Layer 1 for the second textures.
    KQoxLayer* layer1 = nullptr;
    if (needLayer1)
    {
        layer1 = mesh->GetLayer(1);
        if (!layer1)
            layer1 = mesh->GetLayer(mesh->CreateLayer());
        if (!layer1->GetMaterials())
        {
            auto* element = new KQoxLayerElementMaterial;
            element->mMappingMode = KQoxLayerElement::eBY_POLYGON;
            element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
            layer1->SetMaterials(element);
        }
        if (!layer1->GetUVs())
        {
            auto* element = new KQoxLayerElementUV;
            element->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
            element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
            layer1->SetUVs(element);
        }
        if (!layer1->GetTextures())
        {
            auto* element = new KQoxLayerElementTexture;
            element->mMappingMode = KQoxLayerElement::eBY_POLYGON;
            element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
            element->mBlendMode = KQoxLayerElementTexture::eADD;
            element->mAlpha = 1.0;
            layer1->SetTextures(element);
        }
    }

    // UVs by source vertex, for the vertices the faces use.
    KQoxLayer* layer0 = mesh->GetLayer(0);
    KQoxLayerElementUV* uvs = layer0 ? layer0->GetUVs() : nullptr;
    int uvCount = 0;
    for (int f = 0; f < faceCount; ++f)
        if (FaceValid(faces[f], vertexCount))
            uvCount = std::max({uvCount, faces[f].v1 + 1, faces[f].v2 + 1, faces[f].v3 + 1});
    if (uvs)
    {
        uvs->mDirectArray.SetCount(uvCount);
        NeedStorage(uvs->mDirectArray.GetCount() == uvCount);
        for (int v = 0; v < uvCount; ++v)
            uvs->mDirectArray[v] = source->textarray && v < source->ntextverts
                                       ? KQoxVector2(source->textarray[v].u, source->textarray[v].v)
                                       : KQoxVector2(0.0, 0.0);
    }

    // 7, 8, 9. One triangle per face.
    mesh->ReservePolygons(faceCount, 3 * faceCount);
    int triangles = 0;
    for (int f = 0; f < faceCount; ++f)
    {
        const face3ds& face = faces[f];
        if (!FaceValid(face, vertexCount))
            continue;
        ++triangles;
        const int material = mMaterialsFlag && faceMaterial[f] >= 0 ? faceMaterial[f] : 0;
        const int t1 = mTextureMapping && faceTexture1[f] >= 0 ? faceTexture1[f] : 0;
        const int t2 = mTextureMapping && faceTexture2[f] > 0 ? faceTexture2[f] : 0;
        mesh->BeginPolygon(material, t2 > 0 ? t2 : t1, -1);
        if (layer1)
        {
            layer1->GetMaterials()->mIndexArray.Add(material);
            layer1->GetTextures()->mIndexArray.Add(t2 > 0 ? t1 : 0);
        }
        const ulong3ds mask = split ? groups[f] : 0;
        const int sources[3] = {face.v1, face.v2, face.v3};
        int corners[3];
        for (int k = 0; k < 3; ++k)
        {
            const int c = split ? table.Find(sources[k], mask) : sources[k];
            corners[k] = c < 0 ? sources[k] : c;
        }
        mesh->AddPolygonVertices(corners, sources, 3);
        mesh->EndPolygon();
    }
    NeedStorage(mesh->GetPolygonCount() == triangles && mesh->GetPolygonVertexCount() == 3 * triangles &&
                (!uvs || uvs->mIndexArray.GetCount() == 3 * triangles) &&
                (!layer1 || (layer1->GetMaterials()->mIndexArray.GetCount() == triangles &&
                             layer1->GetTextures()->mIndexArray.GetCount() == triangles)));
    if (layer1 && uvs)
    {
        KQoxLayerElementUV* copy = layer1->GetUVs();
        copy->mMappingMode = uvs->mMappingMode;
        copy->mReferenceMode = uvs->mReferenceMode;
        copy->mDirectArray = uvs->mDirectArray;
        copy->mIndexArray = uvs->mIndexArray;
        NeedStorage(copy->mDirectArray.GetCount() == uvs->mDirectArray.GetCount() &&
                    copy->mIndexArray.GetCount() == uvs->mIndexArray.GetCount());
    }

    // 10. Normals: the area-weighted face normals (p2 - p1) x (p0 - p1)
    // summed per control point, then made unit.
    KQoxVector4* normals = mesh->GetNormals();
    const int* corners = mesh->GetPolygonVertices();
    const int polygons = mesh->GetPolygonCount();
    for (int p = 0; normals && p < polygons; ++p)
    {
        if (mesh->GetPolygonSize(p) < 3)
            continue;
        const int* c = corners + mesh->GetPolygonVertexIndex(p);
        const double* p0 = points[c[0]];
        const double* p1 = points[c[1]];
        const double* p2 = points[c[2]];
        const double a[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
        const double b[3] = {p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]};
        const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        for (int k = 0; k < mesh->GetPolygonSize(p); ++k)
        {
            double* sum = normals[c[k]];
            sum[0] += n[0];
            sum[1] += n[1];
            sum[2] += n[2];
        }
    }
    for (int i = 0; normals && i < pointCount; ++i)
    {
        normals[i].Normalize();
        normals[i][3] = 1.0;
    }
    return true;
}

bool KQoxReader3DS::ConvertOmnilight3DStoPB(light3ds*, KQoxLight* light)
{
    if (light)
        light->SetLightType(KQoxLight::ePOINT);
    return true;
}

bool KQoxReader3DS::ConvertSpotlight3DStoPB(light3ds* source, KQoxLight* light)
{
    if (!light)
        return true;
    light->SetLightType(KQoxLight::eSPOT);
    if (source && source->spot && source->spot->projector.use)
    {
        const spotprojector3ds& projector = source->spot->projector;
        light->SetFileName(FieldText(projector.bitmap, sizeof projector.bitmap).c_str());
    }
    return true;
}

bool KQoxReader3DS::ConvertCamera3DStoPB(camera3ds* source, KQoxCamera* camera)
{
    if (!source || !camera)
        return true;
    camera->SetNearPlane(mScaleFactor * source->nearplane);
    camera->SetFarPlane(mScaleFactor * source->farplane * kFarPlaneStretch);
    // A field of view that is not positive has no lens.
    if (source->fov > 0.0f && std::isfinite(source->fov))
        camera->SetFocalLength(kLensTimesFov / source->fov);
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    const background3ds* background = FileBackground();
    camera->SetDefaultBackgroundColor(KQoxColor(background->solid.r, background->solid.g, background->solid.b, 1.0));
    return true;
}

} // namespace qoxsdk_600
