// The LINE, 3DFACE, POLYLINE and VERTEX entities, and meshes built from them.

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <vector>

#include "formats/dxf/kqoxdxfcolor.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// Colour 256 stands for the colour of the entity's layer.
constexpr int kColorByLayer = 256;
// POLYLINE flags: closed in M, polygon mesh, closed in N.
constexpr int kClosedM = 1;
constexpr int kPolygonMesh = 16;
constexpr int kClosedN = 32;
// VERTEX flags: a polygon-mesh vertex, a polyface face record.
constexpr int kMeshVertex = 64;
constexpr int kFaceRecord = 128;

bool SameCorner(const double* a, const double* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

} // namespace

void KQoxReaderDxf::TranslateColor(int number, KQoxColor& color)
{
    double rgb[3];
    if (DxfColorToRgb(number, rgb))
        color.Set(rgb[0], rgb[1], rgb[2], color.mAlpha);
}

KQoxVector4 KQoxReaderDxf::Convert(const double* point, double w)
{
    return KQoxVector4(point[0], point[2], -point[1], w);
}

bool KQoxReaderDxf::ReadEntityGroups(Entity& entity, bool putBack, std::string_view* next)
{
    int code = 0;
    std::string_view value;
    size_t start;
    do
    {
        start = mPairs.Tell();
        double number = 0;
        bool plain = false;
        if (!mPairs.NextWithNumber(code, value, number, plain))
            return false;
        if (plain && code >= 10 && code <= 33 && code % 10 <= 3)
            entity.mPoints[code % 10][code / 10 - 1] = number;
        else if (code == 8)
            entity.mLayer = value;
        else if (code == 62)
            DxfScanInt(value, entity.mColor);
        else if (code == 70)
            DxfScanInt(value, entity.mFlags);
        else if (code >= 71 && code <= 74)
            DxfScanInt(value, entity.mCorners[code - 71]);
        else if (code >= 10 && code <= 33 && code % 10 <= 3)
            DxfScanDouble(value, entity.mPoints[code % 10][code / 10 - 1]);
    } while (code != 0);
    if (putBack)
        mPairs.Seek(start);
    else if (next)
        *next = value;
    return true;
}

int KQoxReaderDxf::LayerColor(std::string_view layer) const
{
    auto found = mLayerColors.find(std::string(layer));
    return found == mLayerColors.end() ? 0 : found->second;
}

int KQoxReaderDxf::ResolveColor(const Entity& entity) const
{
    if (entity.mColor != 0 && entity.mColor != kColorByLayer)
        return entity.mColor;
    const int layer = LayerColor(entity.mLayer);
    return layer == -2147483647 - 1 ? 0 : std::abs(layer);
}

KQoxMaterial* KQoxReaderDxf::ColorMaterial(int number)
{
    if (number < 1 || number > 255)
        return nullptr;
    if (!mMaterials[number])
    {
        KString name = "Material";
        name += KString(mMaterialCounter);
        KQoxMaterial* material = mManager.CreateKQoxMaterial(name.ToChars());
        NeedMemory(material != nullptr);
        ++mMaterialCounter;
        KQoxColor color;
        TranslateColor(number, color);
        material->SetDiffuse(color);
        mMaterials[number] = material;
    }
    return mMaterials[number];
}

int KQoxReaderDxf::AttachMaterial(KQoxMesh& mesh, int color)
{
    KQoxMaterial* material = ColorMaterial(color);
    if (!material)
        return 0;
    mesh.InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    // A fresh mesh has no material yet: only memory refuses this one.
    const int index = mesh.AM(material, 0);
    NeedMemory(index >= 0);
    return index;
}

bool KQoxReaderDxf::WholePolygon(KQoxMesh& mesh, int corners)
{
    if (mesh.GetPolygonCount() != 1 || mesh.GetPolygonVertexCount() != corners)
        return false;
    // A material's index for the polygon, when the mesh has materials.
    KQoxLayer* layer = mesh.GetLayer(0);
    KQoxLayerElementMaterial* materials = layer ? layer->GetMaterials() : nullptr;
    return !materials || materials->mMappingMode != KQoxLayerElement::eBY_POLYGON ||
           materials->mIndexArray.GetCount() == 1;
}

KQoxMesh* KQoxReaderDxf::ReadEntityMesh(Entity& entity)
{
    if (!ReadEntityGroups(entity, true, nullptr))
        return nullptr;
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    NeedMemory(mesh != nullptr);
    return mesh;
}

KQoxMesh* KQoxReaderDxf::ReadLine()
{
    Entity entity;
    KQoxMesh* mesh = ReadEntityMesh(entity);
    if (!mesh)
        return nullptr;
    mesh->InitControlPoints(2);
    NeedMemory(mesh->GetControlPointsCount() == 2);
    mesh->GetControlPoints()[0] = Convert(entity.mPoints[0]);
    mesh->GetControlPoints()[1] = Convert(entity.mPoints[1]);
    mesh->BeginPolygon(AttachMaterial(*mesh, ResolveColor(entity)), -1, -1);
    mesh->AddPolygon(0, -1);
    mesh->AddPolygon(1, -1);
    mesh->AddPolygon(0, -1);
    mesh->EndPolygon();
    NeedMemory(WholePolygon(*mesh, 3));
    return mesh;
}

KQoxMesh* KQoxReaderDxf::Read3DFace()
{
    Entity entity;
    KQoxMesh* mesh = ReadEntityMesh(entity);
    if (!mesh)
        return nullptr;
    const int n = SameCorner(entity.mPoints[2], entity.mPoints[3]) ? 3 : 4;
    mesh->InitControlPoints(n);
    NeedMemory(mesh->GetControlPointsCount() == n);
    const int material = AttachMaterial(*mesh, ResolveColor(entity));
    for (int k = 0; k < n; ++k)
        mesh->GetControlPoints()[k] = Convert(entity.mPoints[n - 1 - k], 0.0);
    mesh->BeginPolygon(material, -1, -1);
    for (int k = 0; k < n; ++k)
        mesh->AddPolygon(k, -1);
    mesh->EndPolygon();
    NeedMemory(WholePolygon(*mesh, n));
    return mesh;
}

KQoxMesh* KQoxReaderDxf::ReadPolyline()
{
    Arrays arrays;
    Entity header;
    std::string_view next;
    if (!ReadEntityGroups(header, false, &next))
        return nullptr;
    if (!AppendPolyline(arrays, header, next))
        return nullptr;
    return CreateMeshFromArrays(arrays);
}

int KQoxReaderDxf::AddPoint(Arrays& arrays, const KQoxVector4& point, bool weld)
{
    if (weld)
        return arrays.mWeld.FindOrAdd(arrays.mVertices, point);
    const int index = static_cast<int>(arrays.mVertices.size());
    DxfMakeRoom(arrays.mVertices, 1);
    arrays.mVertices.push_back(point);
    if (mWeld)
        arrays.mWeld.Add(point, index);
    return index;
}

void KQoxReaderDxf::AppendLine(Arrays& arrays, const Entity& entity)
{
    const int color = ResolveColor(entity);
    if (color > 0)
        arrays.mRecords[0] = 1;
    const KQoxVector4 start = Convert(entity.mPoints[0]);
    const KQoxVector4 end = Convert(entity.mPoints[1]);
    // Both searches happen before either point is appended.
    int startIndex = mWeld ? arrays.mWeld.Find(arrays.mVertices, start) : -1;
    int endIndex = mWeld ? arrays.mWeld.Find(arrays.mVertices, end) : -1;
    if (startIndex < 0)
        startIndex = AddPoint(arrays, start, false);
    if (endIndex < 0)
        endIndex = AddPoint(arrays, end, false);
    arrays.mRecords.insert(arrays.mRecords.end(), {3, color, startIndex, endIndex, startIndex});
}

void KQoxReaderDxf::AppendFace(Arrays& arrays, const Entity& entity)
{
    PendingFace face;
    PrepareFace(arrays, entity, face);
    CompleteFace(face);
}

void KQoxReaderDxf::PrepareFace(Arrays& arrays, const Entity& entity, PendingFace& face) const
{
    face.mArrays = &arrays;
    face.mCount = SameCorner(entity.mPoints[2], entity.mPoints[3]) ? 3 : 4;
    face.mColor = ResolveColor(entity);
    for (int k = 0; k < face.mCount; ++k)
        face.mCorners[k] = Convert(entity.mPoints[k]);
    if (!mWeld)
        return;
    for (int k = 0; k < face.mCount; ++k)
    {
        face.mKeys[k] = KDxfWeldIndex::KeyOf(face.mCorners[k]);
        arrays.mWeld.Prefetch(face.mKeys[k]);
    }
}

void KQoxReaderDxf::CompleteFace(PendingFace& face)
{
    if (!face.mArrays)
        return;
    Arrays& arrays = *face.mArrays;
    face.mArrays = nullptr;
    if (face.mColor > 0)
        arrays.mRecords[0] = 1;
    DxfMakeRoom(arrays.mRecords, 6);
    DxfPrefetchEnd(arrays.mRecords);
    DxfPrefetchEnd(arrays.mVertices);
    arrays.mRecords.push_back(face.mCount);
    arrays.mRecords.push_back(face.mColor);
    for (int k = face.mCount - 1; k >= 0; --k)
        arrays.mRecords.push_back(mWeld ? arrays.mWeld.FindOrAdd(arrays.mVertices, face.mCorners[k], face.mKeys[k])
                                        : AddPoint(arrays, face.mCorners[k], false));
}

bool KQoxReaderDxf::AppendPolyline(Arrays& arrays, const Entity& header, std::string_view next)
{
    const int color = ResolveColor(header);
    const int first = static_cast<int>(arrays.mVertices.size());
    if (next != "VERTEX")
        return false;
    const bool mesh = (header.mFlags & kPolygonMesh) != 0;
    while (ReadVertex(arrays, first, color, mesh))
    {}
    if (mesh)
    {
        AppendPolygonMesh(arrays, header, first, color);
        return true;
    }
    // A closed polyline of fewer than two vertices has nothing to close.
    const int count = static_cast<int>(arrays.mVertices.size());
    if (header.mFlags == 9 && count - first >= 2)
        arrays.mRecords.insert(arrays.mRecords.end(), {3, color, first, count - 1, first});
    return true;
}

void KQoxReaderDxf::AppendPolygonMesh(Arrays& arrays, const Entity& header, int first, int color)
{
    // Vertex (i, j) of the M x N grid is the (i * N + j)-th one read. Rows
    // missing from a short vertex list are left out.
    const long long n = header.mCorners[1];
    const long long read = static_cast<long long>(arrays.mVertices.size()) - first;
    if (n < 2 || header.mCorners[0] < 2 || read < 2 * n)
        return;
    const long long m = std::min<long long>(header.mCorners[0], read / n);
    // Closing a direction of two rows would repeat the quad between them.
    const bool closedM = (header.mFlags & kClosedM) != 0 && m > 2;
    const bool closedN = (header.mFlags & kClosedN) != 0 && n > 2;
    const long long rows = closedM ? m : m - 1;
    const long long columns = closedN ? n : n - 1;
    if (color > 0)
        arrays.mRecords[0] = 1;
    arrays.mRecords.reserve(arrays.mRecords.size() + static_cast<size_t>(rows * columns * 6));
    auto at = [&](long long row, long long column) { return static_cast<int>(first + (row % m) * n + column % n); };
    for (long long i = 0; i < rows; ++i)
        for (long long j = 0; j < columns; ++j)
        {
            // The quad (i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1), stored
            // from the last corner to the first as every face is.
            arrays.mRecords.insert(arrays.mRecords.end(),
                                   {4, color, at(i, j + 1), at(i + 1, j + 1), at(i + 1, j), at(i, j)});
        }
}

void KQoxReaderDxf::ReadLineToArrays(Arrays& arrays)
{
    Entity entity;
    if (ReadEntityGroups(entity, true, nullptr))
        AppendLine(arrays, entity);
}

void KQoxReaderDxf::Read3DFaceToArrays(Arrays& arrays)
{
    Entity entity;
    if (ReadEntityGroups(entity, true, nullptr) && !Equal3(entity))
        AppendFace(arrays, entity);
}

void KQoxReaderDxf::ReadPolylineToArrays(Arrays& arrays)
{
    Entity header;
    std::string_view next;
    if (ReadEntityGroups(header, false, &next))
        AppendPolyline(arrays, header, next);
}

void KQoxReaderDxf::ReadLineByLayer(LayerArrays& layers)
{
    Entity entity;
    if (ReadEntityGroups(entity, true, nullptr))
        AppendLine(FindLayer(entity.mLayer, layers), entity);
}

void KQoxReaderDxf::Read3DFaceByLayer(LayerArrays& layers)
{
    // A face whose first three corners coincide does not even make its
    // layer's arrays.
    Entity entity;
    if (!ReadEntityGroups(entity, true, nullptr) || Equal3(entity))
        return;
    // This face's slots are fetched while the one held before is completed.
    PrepareFace(FindLayer(entity.mLayer, layers), entity, mPending[1 - mHeld]);
    CompleteFace(mPending[mHeld]);
    mHeld = 1 - mHeld;
}

void KQoxReaderDxf::ReadPolylineByLayer(LayerArrays& layers)
{
    Entity header;
    std::string_view next;
    if (ReadEntityGroups(header, false, &next))
        AppendPolyline(FindLayer(header.mLayer, layers), header, next);
}

bool KQoxReaderDxf::AddLayer(std::string_view name, LayerArrays& layers)
{
    // A fresh Arrays holds the record list's two header words.
    return layers.emplace(std::string(name), Arrays()).second;
}

KQoxReaderDxf::Arrays& KQoxReaderDxf::FindLayer(std::string_view name, LayerArrays& layers)
{
    // Names met lately, as written: most entities repeat one of a few.
    // The search starts at the name met last: a file's entities mostly
    // repeat their layer, or go round a few in turn.
    const size_t count = mRecentLayers.size();
    for (size_t i = 0; i < count; ++i)
    {
        const size_t at = (mRecentHit + i) % count;
        const auto& recent = mRecentLayers[at];
        if (recent.second && recent.first.size() == name.size() && recent.first == name)
        {
            mRecentHit = at;
            return *recent.second;
        }
    }
    Arrays& arrays = FindLayerInMap(name, layers);
    mRecentHit = mRecentNext;
    mRecentLayers[mRecentNext] = {std::string(name), &arrays};
    mRecentNext = (mRecentNext + 1) % mRecentLayers.size();
    return arrays;
}

KQoxReaderDxf::Arrays& KQoxReaderDxf::FindLayerInMap(std::string_view name, LayerArrays& layers)
{
    const std::string key(name);
    auto found = layers.find(key);
    if (found == layers.end())
    {
        AddLayer(name, layers);
        found = layers.find(key);
    }
    return found->second;
}

bool KQoxReaderDxf::ReadVertex(Arrays& arrays, int firstIndex, int defaultColor, bool meshVertices)
{
    Entity entity;
    std::string_view next;
    if (!ReadEntityGroups(entity, false, &next))
        return false;
    const size_t points = arrays.mVertices.size();
    const size_t records = arrays.mRecords.size();
    StoreVertex(arrays, entity, firstIndex, defaultColor, meshVertices);
    if (arrays.mVertices.size() == points && arrays.mRecords.size() == records)
        NoteLeftOut("VERTEX");
    return next == "VERTEX";
}

void KQoxReaderDxf::StoreVertex(Arrays& arrays, const Entity& entity, int firstIndex, int defaultColor,
                                bool meshVertices)
{
    int color = entity.mColor != 0 ? entity.mColor : defaultColor;
    // Polyline points are never welded to each other, but later LINE and
    // 3DFACE points may weld onto them.
    if (meshVertices)
    {
        if ((entity.mFlags & kMeshVertex) != 0 && (entity.mFlags & kFaceRecord) == 0)
            AddPoint(arrays, Convert(entity.mPoints[0]), false);
    }
    else if (entity.mFlags == 32)
    {
        const int i = AddPoint(arrays, Convert(entity.mPoints[0]), false);
        if (i > firstIndex)
            arrays.mRecords.insert(arrays.mRecords.end(), {3, color, i, i - 1, i});
    }
    else if (entity.mFlags == 192)
        AddPoint(arrays, Convert(entity.mPoints[0]), false);
    else if (entity.mFlags == 128)
    {
        if (color == 0 || color == kColorByLayer)
        {
            const int layer = LayerColor(entity.mLayer);
            color = layer == -2147483647 - 1 ? 0 : std::abs(layer);
        }
        if (color > 0)
            arrays.mRecords[0] = 1;
        const int* f = entity.mCorners;
        if (f[0] != 0 && f[1] != 0)
        {
            const int n = f[2] == 0 ? 2 : f[3] == 0 ? 3 : 4;
            static const int kOrder[3][4] = {{0, 1}, {2, 1, 0}, {3, 2, 1, 0}};
            int corners[4];
            bool inside = true;
            const long long count = static_cast<long long>(arrays.mVertices.size());
            for (int k = 0; k < n; ++k)
            {
                const long long v = f[kOrder[n - 2][k]];
                const long long index = (v < 0 ? -v : v) - 1 + firstIndex;
                // Corners beyond the vertices read drop the face.
                inside = inside && index >= firstIndex && index < count;
                corners[k] = static_cast<int>(inside ? index : 0);
            }
            if (inside)
            {
                arrays.mRecords.push_back(n);
                arrays.mRecords.push_back(color);
                arrays.mRecords.insert(arrays.mRecords.end(), corners, corners + n);
            }
        }
    }
}

bool KQoxReaderDxf::Equal3(const Entity& entity)
{
    const KQoxVector4 a = Convert(entity.mPoints[0]);
    const KQoxVector4 b = Convert(entity.mPoints[1]);
    const KQoxVector4 c = Convert(entity.mPoints[2]);
    return a == b && a == c;
}

KQoxMesh* KQoxReaderDxf::CreateMeshFromArrays(const Arrays& arrays)
{
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    NeedMemory(mesh != nullptr);
    // The sizes first, so the mesh's arrays are made once in bulk. Records
    // are built here and always complete; a short one gives no mesh.
    const auto& r = arrays.mRecords;
    long long polygons = 0, corners = 0;
    for (size_t at = 2; at < r.size(); at += static_cast<size_t>(r[at]) + 2)
    {
        if (r[at] < 2 || r.size() - at < static_cast<size_t>(r[at]) + 2)
            return nullptr;
        ++polygons;
        // A two-corner record closes back on its first corner.
        corners += r[at] == 2 ? 3 : r[at];
    }
    if (polygons > INT_MAX || corners > INT_MAX)
        return nullptr;
    // From here on the mesh's arrays are made: one that cannot be had fails
    // the read (the mesh goes with the read's other objects).
    const int count = static_cast<int>(arrays.mVertices.size());
    mesh->InitControlPoints(count);
    NeedMemory(mesh->GetControlPointsCount() == count);
    std::copy(arrays.mVertices.begin(), arrays.mVertices.end(), mesh->GetControlPoints());
    const bool colored = r[0] != 0;
    if (colored)
        mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    int* vertices = mesh->SetPolygonVertexCount(static_cast<int>(corners));
    NeedMemory(vertices || corners == 0);
    std::vector<int> sizes(static_cast<size_t>(polygons));
    // Polygon by polygon its size and corners, and in the same pass the
    // material of its colour (a colour's material is added to the mesh once,
    // in the order the colours are met).
    std::vector<int> materials(colored ? static_cast<size_t>(polygons) : 0);
    int materialIndex[256] = {};
    bool materialAdded[256] = {};
    size_t polygon = 0;
    for (size_t at = 2; at < r.size(); at += static_cast<size_t>(r[at]) + 2, ++polygon)
    {
        const int n = r[at];
        const int c = r[at + 1];
        const bool inTable = c >= 1 && c <= 255;
        if (inTable && !materialAdded[c])
        {
            if (KQoxMaterial* material = ColorMaterial(c))
            {
                // Each colour's material is new to the mesh: only memory
                // refuses it.
                const int added = mesh->AM(material, 0);
                NeedMemory(added >= 0);
                materialIndex[c] = added;
                materialAdded[c] = true;
            }
        }
        if (colored)
            materials[polygon] = inTable ? materialIndex[c] : 0;
        vertices = std::copy(r.data() + at + 2, r.data() + at + 2 + n, vertices);
        if (n == 2)
            *vertices++ = r[at + 2];
        sizes[polygon] = n == 2 ? 3 : n;
    }
    // The sizes add up to the corners: only memory refuses them.
    NeedMemory(mesh->SetPolygons(sizes.data(), nullptr, static_cast<int>(polygons)));
    if (colored && polygons > 0)
    {
        KQoxLayerElementMaterial* element = mesh->GetLayer(0)->GetMaterials();
        NeedMemory(element && element->mIndexArray.GetCount() == static_cast<int>(polygons));
        std::copy(materials.begin(), materials.end(), mesh->GetMaterialIndices());
    }
    else if (polygons > 0)
    {
        // Built polygon by polygon, the mesh's first polygon would have made
        // an unmapped material element: made here likewise.
        KQoxLayer* layer = mesh->GetLayer(0);
        if (layer && !layer->GetMaterials())
            layer->SetMaterials(new KQoxLayerElementMaterial);
    }
    return mesh;
}

} // namespace qoxsdk_600
