// The 3DS writer's meshes: vertices in the node's parent space, texture
// vertices, triangles with smoothing groups, the mesh matrix and the list of
// material combinations; meshes past the 16-bit counts of the format are
// split into portions.

#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/3ds/kqoxwriter3ds_private.h"

#include <array>
#include <map>

#include "base/kgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace w3ds;

namespace {

// Entry i of an index array; `fallback` when the array is missing or i is
// out of range.
int IndexAt(const KArrayTemplate<int>* indices, int i, int fallback)
{
    return indices && indices->ValidateIndex(i) ? (*indices)[i] : fallback;
}

// The index array of an element when it is referenced by index.
const KArrayTemplate<int>* IndexArray(const KQoxLayerElement* element)
{
    if (!element || element->mReferenceMode == KQoxLayerElement::eDIRECT)
        return nullptr;
    return &element->mIndexArray;
}

// One combination of material and textures; -1 is no texture.
using Combination = std::array<int, 3>;

// The part of a mesh that goes into one 3DS record: its vertices (mesh
// indices, in record order) and faces (mesh face numbers, and their corners
// as record vertex indices).
struct Portion
{
    std::vector<int> vertices;
    std::vector<int> faces;
    std::vector<std::array<ushort3ds, 3>> corners;
};

} // namespace

// The triangles of one mesh, before they are cut into records.
struct KQoxWriter3DS::MeshFaces
{
    std::vector<std::array<int, 3>> corners; // control-point indices
    std::vector<ulong3ds> smoothing;
    std::vector<int> combination; // index into combinations; -1 without materials
    std::vector<Combination> combinations;
    std::vector<std::vector<int>> combinationFaces; // ascending face numbers
};

KQoxMaterial* KQoxWriter3DS::DefaultMaterial()
{
    if (!mDefaultMaterial)
    {
        const std::string name = MakeUniqueName("Default", kMaterialNameLength);
        mDefaultMaterial = mManager.CreateKQoxMaterial(name.c_str());
        if (mDefaultMaterial)
        {
            mNames[mDefaultMaterial] = name;
            mDefaultMaterial->SetAmbient(KQoxColor(0.588, 0.588, 0.588, 1.0));
            mDefaultMaterial->SetDiffuse(KQoxColor(0.588, 0.588, 0.588, 1.0));
            mDefaultMaterial->SetSpecular(KQoxColor(0.0, 0.0, 0.0, 1.0));
        }
    }
    return mDefaultMaterial;
}

std::vector<K3dsPtr<mesh3ds>> KQoxWriter3DS::ConvMeshPBto3DS(KQoxMesh* source, const KQoxVector4& t,
                                                             const KQoxVector4& r, const KQoxVector4& s,
                                                             const char* name)
{
    std::vector<K3dsPtr<mesh3ds>> records;
    if (!source)
        return records;
    const int textureCount = source->GTC(0);
    const bool useTextures = mTextureMapping && textureCount != 0;

    // UVs per polygon vertex are stored per vertex on an unwelded copy; the
    // scene's mesh is left as it is.
    KQoxMesh* unwelded = nullptr;
    if (useTextures && source->GetTextureUVMappingMode() == KQoxLayerElement::eBY_POLYGON_VERTEX && mUVPerPolygon)
        unwelded = VertexToPoint(source);
    struct Release
    {
        KQoxSdkManager& manager;
        KQoxMesh* mesh;
        ~Release()
        {
            if (mesh)
                manager.DestroyKQoxNodeAttribute(mesh);
        }
    } release{mManager, unwelded};
    KQoxMesh* mesh = unwelded ? unwelded : source;

    const int polygonCount = mesh->GetPolygonCount();
    const int pointCount = mesh->GetControlPointsCount();
    if (polygonCount == 0 || pointCount == 0)
        return records;
    ++mExportedMeshCount;
    const KQoxVector4* points = mesh->GetControlPoints();
    KQoxLayer* layer0 = mesh->GetLayer(0);
    const KQoxLayerElementNormal* normalElement = layer0 ? layer0->GetNormals() : nullptr;
    const KQoxVector4* normals = mesh->GetNormals();
    const int normalCount = normalElement ? normalElement->mDirectArray.GetCount() : 0;

    // Vertices: p . M + t with M the node's rotation and scaling, written in
    // 3DS axes.
    double m[4][4];
    EulerRows(m, r[0], r[1], r[2]);
    const double scaling[3] = {s[0], s[1], s[2]};
    KmRS(m, m, scaling);
    std::vector<point3ds> vertices(static_cast<size_t>(pointCount));
    for (int i = 0; i < pointCount; ++i)
    {
        const KQoxVector4& p = points[i];
        double q[3];
        for (int j = 0; j < 3; ++j)
            q[j] = p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + t[j];
        vertices[i] = {static_cast<float>(q[0]), static_cast<float>(-q[2]), static_cast<float>(q[1])};
    }

    // Texture vertices.
    std::vector<textvert3ds> uvs(static_cast<size_t>(pointCount), textvert3ds{0.0f, 0.0f});
    const int uvMode = mesh->GetTextureUVMappingMode();
    const KQoxVector2* uvArray = mesh->GetTextureUV();
    const int uvCount = uvArray ? mesh->GetTextureUVCount() : 0;
    auto uvAt = [&](int index) {
        return index >= 0 && index < uvCount
                   ? textvert3ds{static_cast<float>(uvArray[index][0]), static_cast<float>(uvArray[index][1])}
                   : textvert3ds{0.0f, 0.0f};
    };
    if (useTextures && uvMode == KQoxLayerElement::eBY_CONTROL_POINT)
        for (int i = 0; i < pointCount; ++i)
            uvs[i] = uvAt(i);

    // Materials: those of layer 0, or the writer's "Default" material for a
    // textured mesh without any.
    std::vector<KQoxMaterial*> materials;
    for (int i = 0; i < mesh->GMC(0); ++i)
        materials.push_back(mesh->GM(i, 0));
    const bool useMaterials = mMaterials && (!materials.empty() || textureCount > 0);
    if (useMaterials && materials.empty())
        materials.push_back(DefaultMaterial());
    const bool twoTextureLayers =
        mesh->GetLayerCount(KQoxLayerElement::eTEXTURE) > 1 && textureCount > 1 && mesh->GetLayer(1);
    const KArrayTemplate<int>* materialIndices = layer0 ? IndexArray(layer0->GetMaterials()) : nullptr;
    const int materialMode = mesh->GetMaterialMappingMode();
    const KArrayTemplate<int>* texture0 = layer0 ? IndexArray(layer0->GetTextures()) : nullptr;
    const KArrayTemplate<int>* texture1 = twoTextureLayers ? IndexArray(mesh->GetLayer(1)->GetTextures()) : nullptr;
    const int textureMode = mesh->GetTextureMappingMode();
    auto textureAt = [&](const KArrayTemplate<int>* indices, int i) {
        const int index = IndexAt(indices, i, -1);
        return index >= 0 && index < textureCount && mesh->GT(index, 0) ? index : -1;
    };

    MeshFaces faces;
    std::map<Combination, std::vector<int>> used;
    std::vector<int>* list = nullptr;
    Combination listKey = {0, 0, 0};
    int material = -1, texture = -1, texture2 = -1;
    ulong3ds flat = 2;
    std::vector<int> corners;
    std::vector<int> triangles;
    for (int p = 0; p < polygonCount; ++p)
    {
        const int n = mesh->GetPolygonSize(p);
        if (n <= 0)
            continue;
        corners.resize(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k)
        {
            corners[k] = mesh->GetPolygonVertex(p, k);
            if (uvMode == KQoxLayerElement::eBY_POLYGON_VERTEX && corners[k] >= 0 && corners[k] < pointCount)
                uvs[corners[k]] = uvAt(mesh->GetTextureUVIndex(p, k));
        }
        if (useMaterials)
        {
            if (materialMode == KQoxLayerElement::eALL_SAME)
                material = IndexAt(materialIndices, 0, 0);
            else if (materialMode == KQoxLayerElement::eBY_POLYGON)
                material = IndexAt(materialIndices, p, 0);
            else
                material = IndexAt(materialIndices, corners[0], 0);
            if (material < 0 || material >= static_cast<int>(materials.size()))
                material = 0;
            if (useTextures)
            {
                if (textureMode == KQoxLayerElement::eALL_SAME)
                {
                    if (texture0 && texture0->GetCount() > 0)
                        texture = textureAt(texture0, 0);
                    if (twoTextureLayers && texture1 && texture1->GetCount() > 0)
                        texture2 = textureAt(texture1, 0);
                }
                else if (textureMode == KQoxLayerElement::eBY_POLYGON)
                {
                    texture = textureAt(twoTextureLayers ? texture1 : texture0, p);
                    if (twoTextureLayers)
                        texture2 = textureAt(texture0, p);
                }
                else
                {
                    texture = textureAt(texture0, corners[0]);
                    if (twoTextureLayers)
                        texture2 = textureAt(texture1, corners[0]);
                }
            }
        }
        if (n < 3)
            continue;
        triangles.resize(static_cast<size_t>(3 * (n - 2)));
        KTriangulation(triangles.data(), n);
        for (int f = 0; f < n - 2; ++f)
        {
            const std::array<int, 3> v = {corners[triangles[3 * f]], corners[triangles[3 * f + 1]],
                                          corners[triangles[3 * f + 2]]};
            if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[0] >= pointCount || v[1] >= pointCount || v[2] >= pointCount)
                continue; // a corner naming no control point
            // A face is flat when its normal (P[c] - P[b]) x (P[a] - P[b]),
            // normalised, is the normal of its three corners.
            bool isFlat = normals != nullptr;
            if (isFlat)
            {
                const KQoxVector4 &a = points[v[0]], &b = points[v[1]], &c = points[v[2]];
                const double e1[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
                const double e2[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
                double nrm[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
                const double length = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
                if (length > 0.0)
                    for (double& x : nrm)
                        x /= length;
                for (int k = 0; k < 3 && isFlat; ++k)
                {
                    isFlat = v[k] < normalCount;
                    for (int j = 0; j < 3 && isFlat; ++j)
                        isFlat = std::fabs(normals[v[k]][j] - nrm[j]) <= 1e-6;
                }
            }
            ulong3ds group = 1;
            if (isFlat)
            {
                flat *= 2;
                group = flat;
                flat *= 2;
            }
            const int face = static_cast<int>(faces.corners.size());
            faces.corners.push_back(v);
            faces.smoothing.push_back(group);
            if (useMaterials)
            {
                const bool has1 = texture >= 0, has2 = texture2 >= 0;
                const Combination key = {material, has1 ? texture : (has2 ? texture2 : -1),
                                         has1 && has2 ? texture2 : -1};
                // Runs of faces share a combination: look it up once a run.
                if (!list || key != listKey)
                {
                    list = &used[key];
                    listKey = key;
                }
                list->push_back(face);
            }
        }
    }

    // Combinations in order of material, then texture, then second texture,
    // "no texture" last; one material record each.
    faces.combination.assign(faces.corners.size(), -1);
    auto order = [](const Combination& a, const Combination& b) {
        for (int i = 0; i < 3; ++i)
        {
            const unsigned x = static_cast<unsigned>(a[i]), y = static_cast<unsigned>(b[i]); // -1 sorts last
            if (x != y)
                return x < y;
        }
        return false;
    };
    for (auto& entry : used)
    {
        faces.combinations.push_back(entry.first);
        faces.combinationFaces.push_back(std::move(entry.second));
    }
    std::vector<size_t> sorted(faces.combinations.size());
    for (size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = i;
    std::sort(sorted.begin(), sorted.end(),
              [&](size_t a, size_t b) { return order(faces.combinations[a], faces.combinations[b]); });
    {
        std::vector<Combination> combinations;
        std::vector<std::vector<int>> lists;
        for (size_t i : sorted)
        {
            combinations.push_back(faces.combinations[i]);
            lists.push_back(std::move(faces.combinationFaces[i]));
        }
        faces.combinations.swap(combinations);
        faces.combinationFaces.swap(lists);
    }
    for (size_t i = 0; i < faces.combinationFaces.size(); ++i)
        for (int face : faces.combinationFaces[i])
            faces.combination[face] = static_cast<int>(i);
    std::vector<std::string> materialNames;
    for (const Combination& combination : faces.combinations)
    {
        KQoxMaterial* mat = materials[combination[0]];
        KQoxTexture* tex1 = combination[1] >= 0 ? mesh->GT(combination[1], 0) : nullptr;
        KQoxTexture* tex2 = combination[2] >= 0 ? mesh->GT(combination[2], 0) : nullptr;
        K3dsPtr<material3ds> record =
            ConvMaterialPBto3DS(mat, tex1, tex2, combination[0], combination[1], combination[2]);
        materialNames.push_back(record ? record->name : "");
        if (record && mDatabase)
            PutMaterial3ds(mDatabase.get(), record.get());
    }

    // Portions: the whole mesh when it fits the format's 16-bit counts, else
    // runs of faces with only the vertices they use.
    std::vector<Portion> portions;
    const int faceCount = static_cast<int>(faces.corners.size());
    if (pointCount <= kMax3dsCount && faceCount <= kMax3dsCount)
    {
        Portion whole;
        whole.vertices.resize(static_cast<size_t>(pointCount));
        for (int i = 0; i < pointCount; ++i)
            whole.vertices[i] = i;
        whole.faces.resize(static_cast<size_t>(faceCount));
        whole.corners.resize(static_cast<size_t>(faceCount));
        for (int f = 0; f < faceCount; ++f)
        {
            whole.faces[f] = f;
            for (int k = 0; k < 3; ++k)
                whole.corners[f][k] = static_cast<ushort3ds>(faces.corners[f][k]);
        }
        portions.push_back(std::move(whole));
    }
    else
    {
        std::vector<int> local(static_cast<size_t>(pointCount), 0);
        std::vector<int> stamp(static_cast<size_t>(pointCount), -1);
        Portion current;
        int portion = 0;
        for (int f = 0; f < faceCount; ++f)
        {
            const std::array<int, 3>& v = faces.corners[f];
            int added = 0;
            for (int k = 0; k < 3; ++k)
                if (stamp[v[k]] != portion && (k == 0 || v[k] != v[0]) && (k < 2 || v[k] != v[1]))
                    ++added; // distinct corners not yet in the portion
            if (static_cast<int>(current.faces.size()) + 1 > kMax3dsCount ||
                static_cast<int>(current.vertices.size()) + added > kMax3dsCount)
            {
                portions.push_back(std::move(current));
                current = Portion();
                ++portion;
            }
            std::array<ushort3ds, 3> corner;
            for (int k = 0; k < 3; ++k)
            {
                if (stamp[v[k]] != portion)
                {
                    stamp[v[k]] = portion;
                    local[v[k]] = static_cast<int>(current.vertices.size());
                    current.vertices.push_back(v[k]);
                }
                corner[k] = static_cast<ushort3ds>(local[v[k]]);
            }
            current.faces.push_back(f);
            current.corners.push_back(corner);
        }
        if (!current.faces.empty())
            portions.push_back(std::move(current));
    }

    // Mesh matrix: the node's rotation and scaling in 3DS axes, then its
    // translation.
    double t3[3], r3[3], s3[3];
    ConvTPBto3DS(t3, t);
    ConvRPBto3DS(r3, r);
    ConvSPBto3DS(s3, s);
    double axes[4][4];
    EulerRows(axes, r3[0], r3[1], r3[2]);
    KmRS(axes, axes, s3);
    const std::string baseName = std::string(name ? name : "").substr(0, kNodeNameLength);

    for (size_t p = 0; p < portions.size(); ++p)
    {
        const Portion& portion = portions[p];
        mesh3ds* raw = nullptr;
        InitMeshObj3ds(&raw, static_cast<ushort3ds>(portion.vertices.size()),
                       static_cast<ushort3ds>(portion.faces.size()), InitAllFields3ds);
        K3dsPtr<mesh3ds> record(raw);
        if (!record || Failed())
            break;
        CopyName(record->name, sizeof record->name, p == 0 ? baseName : MakeUniqueName(baseName, kNodeNameLength));
        for (size_t i = 0; i < portion.vertices.size(); ++i)
        {
            record->vertexarray[i] = vertices[portion.vertices[i]];
            if (record->textarray)
                record->textarray[i] = uvs[portion.vertices[i]];
        }
        for (int row = 0; row < 3; ++row)
            for (int j = 0; j < 3; ++j)
                record->locmatrix[3 * row + j] = static_cast<float>(axes[row][j]);
        for (int j = 0; j < 3; ++j)
            record->locmatrix[9 + j] = static_cast<float>(t3[j]);
        std::vector<std::vector<ushort3ds>> lists(faces.combinations.size());
        for (size_t f = 0; f < portion.faces.size(); ++f)
        {
            record->facearray[f] = {portion.corners[f][0], portion.corners[f][1], portion.corners[f][2],
                                    kFaceEdgesVisible};
            if (record->smootharray)
                record->smootharray[f] = faces.smoothing[portion.faces[f]];
            const int combination = faces.combination[portion.faces[f]];
            if (combination >= 0)
                lists[combination].push_back(static_cast<ushort3ds>(f));
        }
        int entries = 0;
        for (const auto& list : lists)
            entries += list.empty() ? 0 : 1;
        if (entries > 0)
        {
            record->nmats = static_cast<ushort3ds>(entries);
            InitMeshObjField3ds(record.get(), InitMatArray3ds);
            int entry = 0;
            for (size_t i = 0; i < lists.size(); ++i)
            {
                if (lists[i].empty())
                    continue;
                InitMatArrayIndex3ds(record.get(), static_cast<ushort3ds>(entry),
                                     static_cast<ushort3ds>(lists[i].size()));
                objmat3ds& mat = record->matarray[entry];
                CopyName(mat.name, kMaterialNameLength + 1, materialNames[i]);
                mat.nfaces = static_cast<ushort3ds>(lists[i].size());
                std::copy(lists[i].begin(), lists[i].end(), mat.faceindex);
                ++entry;
            }
        }
        record->isfast = 1;
        records.push_back(std::move(record));
    }
    return records;
}

KQoxMesh* KQoxWriter3DS::VertexToPoint(KQoxMesh* source)
{
    if (!source)
        return nullptr;
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    if (!mesh)
        return nullptr;
    // The layers of the source without its points and polygons.
    mesh->CopyLayers(source);
    mesh->InitTextureUV(0);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_CONTROL_POINT);

    KQoxLayer* layer0 = source->GetLayer(0);
    const KQoxLayerElementNormal* normals = layer0 ? layer0->GetNormals() : nullptr;
    const KArrayTemplate<int>* materialIndices = layer0 ? IndexArray(layer0->GetMaterials()) : nullptr;
    const KArrayTemplate<int>* textureIndices = layer0 ? IndexArray(layer0->GetTextures()) : nullptr;
    const bool materialsByPolygon = source->GetMaterialMappingMode() == KQoxLayerElement::eBY_POLYGON;
    const bool texturesByPolygon = source->GetTextureMappingMode() == KQoxLayerElement::eBY_POLYGON;
    const KQoxVector4* sourcePoints = source->GetControlPoints();
    const int sourcePointCount = source->GetControlPointsCount();
    const KQoxVector2* sourceUVs = source->GetTextureUV();
    const int sourceUVCount = sourceUVs ? source->GetTextureUVCount() : 0;

    std::vector<KQoxVector4> points;
    std::vector<KQoxVector4> pointNormals;
    points.reserve(static_cast<size_t>(source->GetPolygonVertexCount()));
    int k = 0;
    for (int p = 0; p < source->GetPolygonCount(); ++p)
    {
        const int material = materialsByPolygon ? IndexAt(materialIndices, p, 0) : 0;
        const int texture = texturesByPolygon ? IndexAt(textureIndices, p, 0) : 0;
        KQoxTexture* swapTexture = texturesByPolygon ? source->GT(texture, 0) : nullptr;
        const bool swap = swapTexture && swapTexture->GetSwapUV();
        mesh->BeginPolygon(material, texture, -1);
        const int start = source->GetPolygonVertexIndex(p);
        for (int j = 0; j < source->GetPolygonSize(p); ++j)
        {
            const int point = source->GetPolygonVertex(p, j);
            points.push_back(point >= 0 && point < sourcePointCount ? sourcePoints[point] : KQoxVector4());
            if (normals)
            {
                const int position = normals->mMappingMode == KQoxLayerElement::eBY_CONTROL_POINT ? point : start + j;
                pointNormals.push_back(normals->mDirectArray.ValidateIndex(position) ? normals->mDirectArray[position]
                                                                                     : KQoxVector4());
            }
            mesh->AddPolygon(k, -1);
            const int uv = source->GetTextureUVIndex(p, j);
            KQoxVector2 value = uv >= 0 && uv < sourceUVCount ? sourceUVs[uv] : KQoxVector2();
            if (swap)
                value = KQoxVector2(value[1], value[0]);
            mesh->AddTextureUV(value);
            ++k;
        }
        mesh->EndPolygon();
    }
    mesh->InitControlPoints(k);
    std::copy(points.begin(), points.end(), mesh->GetControlPoints());
    if (normals)
    {
        mesh->InitNormals(0);
        if (KQoxVector4* out = mesh->GetNormals())
            std::copy(pointNormals.begin(), pointNormals.end(), out);
    }
    return mesh;
}

} // namespace qoxsdk_600
