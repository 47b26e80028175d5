// The LINE, 3DFACE, POLYLINE and VERTEX entities, and meshes built from them.

#include <cstdlib>

#include "formats/dxf/kqoxdxfcolor.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// Colour 256 stands for the colour of the entity's layer.
constexpr int kColorByLayer = 256;

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
        if (!GetLine(code, value))
            return false;
        if (code == 8)
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
        if (!material)
            return nullptr;
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
    const int index = mesh.AM(material, 0);
    return index < 0 ? 0 : index;
}

KQoxMesh* KQoxReaderDxf::ReadLine()
{
    Entity entity;
    if (!ReadEntityGroups(entity, true, nullptr))
        return nullptr;
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    if (!mesh)
        return nullptr;
    mesh->InitControlPoints(2);
    mesh->GetControlPoints()[0] = Convert(entity.mPoints[0]);
    mesh->GetControlPoints()[1] = Convert(entity.mPoints[1]);
    mesh->BeginPolygon(AttachMaterial(*mesh, ResolveColor(entity)), -1, -1);
    mesh->AddPolygon(0, -1);
    mesh->AddPolygon(1, -1);
    mesh->AddPolygon(0, -1);
    mesh->EndPolygon();
    return mesh;
}

KQoxMesh* KQoxReaderDxf::Read3DFace()
{
    Entity entity;
    if (!ReadEntityGroups(entity, true, nullptr))
        return nullptr;
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    if (!mesh)
        return nullptr;
    const int n = SameCorner(entity.mPoints[2], entity.mPoints[3]) ? 3 : 4;
    mesh->InitControlPoints(n);
    const int material = AttachMaterial(*mesh, ResolveColor(entity));
    for (int k = 0; k < n; ++k)
        mesh->GetControlPoints()[k] = Convert(entity.mPoints[n - 1 - k], 0.0);
    mesh->BeginPolygon(material, -1, -1);
    for (int k = 0; k < n; ++k)
        mesh->AddPolygon(k, -1);
    mesh->EndPolygon();
    return mesh;
}

KQoxMesh* KQoxReaderDxf::ReadPolyline()
{
    Arrays arrays;
    Entity header;
    std::string_view next;
    if (!ReadEntityGroups(header, false, &next))
        return nullptr;
    if (!ReadPolylineToArrays(arrays, header, next))
        return nullptr;
    return CreateMeshFromArrays(arrays);
}

int KQoxReaderDxf::AddPoint(Arrays& arrays, const KQoxVector4& point, bool weld)
{
    if (weld)
    {
        const int found = arrays.mWeld.Find(arrays.mVertices, point);
        if (found >= 0)
            return found;
    }
    const int index = static_cast<int>(arrays.mVertices.size());
    arrays.mVertices.push_back(point);
    if (mWeld)
        arrays.mWeld.Add(point, index);
    return index;
}

void KQoxReaderDxf::ReadLineToArrays(Arrays& arrays, const Entity& entity)
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

void KQoxReaderDxf::Read3DFaceToArrays(Arrays& arrays, const Entity& entity)
{
    const int n = SameCorner(entity.mPoints[2], entity.mPoints[3]) ? 3 : 4;
    const int color = ResolveColor(entity);
    if (color > 0)
        arrays.mRecords[0] = 1;
    arrays.mRecords.push_back(n);
    arrays.mRecords.push_back(color);
    for (int k = n - 1; k >= 0; --k)
        arrays.mRecords.push_back(AddPoint(arrays, Convert(entity.mPoints[k]), mWeld));
}

bool KQoxReaderDxf::ReadPolylineToArrays(Arrays& arrays, const Entity& header, std::string_view next)
{
    const int color = ResolveColor(header);
    const int first = static_cast<int>(arrays.mVertices.size());
    if (next != "VERTEX")
        return false;
    while (ReadVertex(arrays, first, color))
    {}
    // A closed polyline of fewer than two vertices has nothing to close.
    const int count = static_cast<int>(arrays.mVertices.size());
    if (header.mFlags == 9 && count - first >= 2)
        arrays.mRecords.insert(arrays.mRecords.end(), {3, color, first, count - 1, first});
    return true;
}

bool KQoxReaderDxf::ReadVertex(Arrays& arrays, int firstIndex, int defaultColor)
{
    Entity entity;
    std::string_view next;
    if (!ReadEntityGroups(entity, false, &next))
        return false;
    int color = entity.mColor != 0 ? entity.mColor : defaultColor;
    if (entity.mFlags == 32)
    {
        const int i = static_cast<int>(arrays.mVertices.size());
        arrays.mVertices.push_back(Convert(entity.mPoints[0]));
        if (i > firstIndex)
            arrays.mRecords.insert(arrays.mRecords.end(), {3, color, i, i - 1, i});
    }
    else if (entity.mFlags == 192)
        arrays.mVertices.push_back(Convert(entity.mPoints[0]));
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
    return next == "VERTEX";
}

KQoxReaderDxf::Arrays& KQoxReaderDxf::LayerArraysOf(LayerArrays& layers, std::string_view layer)
{
    return layers[std::string(layer)];
}

void KQoxReaderDxf::ReadEntityToArrays(std::string_view kind, Arrays* arrays, LayerArrays* layers)
{
    Entity entity;
    const bool polyline = kind == "POLYLINE";
    const bool face = kind == "3DFACE";
    std::string_view next;
    if (!ReadEntityGroups(entity, !polyline, &next))
        return;
    if (face && Equal3(entity))
        return;
    Arrays& target = arrays ? *arrays : LayerArraysOf(*layers, entity.mLayer);
    if (polyline)
        ReadPolylineToArrays(target, entity, next);
    else if (face)
        Read3DFaceToArrays(target, entity);
    else
        ReadLineToArrays(target, entity);
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
    if (!mesh)
        return nullptr;
    const int count = static_cast<int>(arrays.mVertices.size());
    mesh->InitControlPoints(count);
    const bool colored = arrays.mRecords[0] != 0;
    if (colored)
        mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    std::copy(arrays.mVertices.begin(), arrays.mVertices.end(), mesh->GetControlPoints());
    int materialIndex[256] = {};
    const std::vector<int>& r = arrays.mRecords;
    size_t at = 2;
    while (at < r.size())
    {
        const int n = r[at];
        // Records are built here and always complete; a short one ends the mesh.
        if (n < 2 || r.size() - at < static_cast<size_t>(n) + 2)
            return nullptr;
        const int c = r[at + 1];
        const bool inTable = c >= 1 && c <= 255;
        if (inTable)
        {
            if (KQoxMaterial* material = ColorMaterial(c))
            {
                const int added = mesh->AM(material, 0);
                if (added >= 0)
                    materialIndex[c] = added;
            }
        }
        mesh->BeginPolygon(inTable ? materialIndex[c] : 0, -1, -1);
        for (int k = 0; k < n; ++k)
            mesh->AddPolygon(r[at + 2 + static_cast<size_t>(k)], -1);
        if (n == 2)
            mesh->AddPolygon(r[at + 2], -1);
        mesh->EndPolygon();
        at += static_cast<size_t>(n) + 2;
    }
    return mesh;
}

} // namespace qoxsdk_600
