// Mesh creation: a host polygon mesh under a new transform, with normals,
// vertex colours and one UV set per UV layer.
//
// Polygons that cannot be made (no vertices, or a control point the mesh
// lacks) are left out, and the host may drop more (fewer than three
// vertices). Every per-polygon datum is therefore looked up through a map
// from host polygons to the scene's polygons, so normals, UVs and colours
// stay on their own faces.
#include <algorithm>
#include <string>
#include <vector>

#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

// Whether the polygon can be handed to the host: some vertices, each a
// control point of the mesh.
bool IsPolygonUsable(KQoxMesh& mesh, int polygon, int pointCount)
{
    const int size = mesh.GetPolygonSize(polygon);
    if (size <= 0)
        return false;
    for (int k = 0; k < size; ++k)
    {
        const int index = mesh.GetPolygonVertex(polygon, k);
        if (index < 0 || index >= pointCount)
            return false;
    }
    return true;
}

// For each host polygon, the scene polygon it was made from. The host keeps
// the order of the polygons it is given and only drops some, so each host
// polygon is matched with the next scene polygon of the same vertices.
// hostCounts, when given, receives each host polygon's size.
std::vector<int> HostToSdkPolygons(KQoxMesh& mesh, ZFnMesh& fnMesh, ZIntArray* hostCounts = nullptr)
{
    std::vector<int> map;
    const int hostCount = fnMesh.numPolygons();
    const int sdkCount = mesh.GetPolygonCount();
    const int pointCount = mesh.GetControlPointsCount();
    map.reserve(static_cast<size_t>(std::max(hostCount, 0)));
    int sdk = 0;
    ZIntArray vertices; // refilled for each polygon
    for (int host = 0; host < hostCount; ++host)
    {
        vertices.clear();
        fnMesh.getPolygonVertices(host, vertices);
        if (hostCounts)
            hostCounts->append(static_cast<int>(vertices.length()));
        for (; sdk < sdkCount; ++sdk)
        {
            if (!IsPolygonUsable(mesh, sdk, pointCount) ||
                mesh.GetPolygonSize(sdk) != static_cast<int>(vertices.length()))
                continue;
            bool same = true;
            for (unsigned k = 0; k < vertices.length() && same; ++k)
                same = mesh.GetPolygonVertex(sdk, static_cast<int>(k)) == vertices[k];
            if (same)
                break;
        }
        map.push_back(sdk < sdkCount ? sdk++ : -1);
    }
    return map;
}

// The UV id of a polygon vertex, or -1 when the element has none for it.
// By control point: the vertex's control point; by polygon vertex: the
// vertex's position among all polygon vertices; by polygon: the polygon.
// Through the index array unless the element refers to its items directly.
int UVId(const KQoxLayerElementUV& uvs, KQoxMesh& mesh, int polygon, int vertex, int controlPoint)
{
    int position = -1;
    switch (uvs.mMappingMode)
    {
    case KQoxLayerElement::eBY_CONTROL_POINT: position = controlPoint; break;
    case KQoxLayerElement::eBY_POLYGON_VERTEX: position = mesh.GetPolygonVertexIndex(polygon) + vertex; break;
    case KQoxLayerElement::eBY_POLYGON: position = polygon; break;
    default: return -1;
    }
    int id = position;
    if (uvs.mMappingMode != KQoxLayerElement::eBY_CONTROL_POINT && uvs.mReferenceMode != KQoxLayerElement::eDIRECT)
        id = uvs.mIndexArray.ValidateIndex(position) ? uvs.mIndexArray[position] : -1;
    return id >= 0 && id < uvs.mDirectArray.GetCount() ? id : -1;
}

bool IsNoColor(const KQoxColor& color)
{
    return color.mRed == 0.0 && color.mGreen == 0.0 && color.mBlue == 0.0 && color.mAlpha == 0.0;
}

ZColor HostColor(const KQoxColor& color)
{
    return ZColor(static_cast<float>(color.mRed), static_cast<float>(color.mGreen), static_cast<float>(color.mBlue),
                  static_cast<float>(color.mAlpha));
}

// The colour at a direct position, through the index array when the
// element refers to its colours by index; null when out of range.
const KQoxColor* ColorAt(const KQoxLayerElementVertexColor& colors, int position, bool indexed)
{
    int index = position;
    if (indexed)
        index = colors.mIndexArray.ValidateIndex(position) ? colors.mIndexArray[position] : -1;
    return colors.mDirectArray.ValidateIndex(index) ? &colors.mDirectArray[index] : nullptr;
}

void SetNormals(KQoxMesh& mesh, ZFnMesh& fnMesh, const std::vector<int>& hostToSdk)
{
    KQoxLayer* layer = mesh.GetLayer(0);
    KQoxLayerElementNormal* normals = layer ? layer->GetNormals() : nullptr;
    if (mesh.GetNormalsMappingMode() == KQoxLayerElement::eBY_POLYGON_VERTEX)
    {
        ZVectorArray list;
        ZIntArray faces, vertices;
        KQoxVector4 normal; // a polygon vertex without a normal repeats the previous one
        for (size_t host = 0; host < hostToSdk.size(); ++host)
        {
            const int sdk = hostToSdk[host];
            for (int k = 0; sdk >= 0 && k < mesh.GetPolygonSize(sdk); ++k)
            {
                mesh.GetPolygonVertexNormal(sdk, k, normal);
                list.append(ZVector(normal[0], normal[1], normal[2]));
                faces.append(static_cast<int>(host));
                vertices.append(mesh.GetPolygonVertex(sdk, k));
            }
        }
        fnMesh.setFaceVertexNormals(list, faces, vertices, ZSpace::kObject);
        return;
    }
    if (!normals)
        return;
    // By control point: one normal per control point, as far as the array goes.
    ZVectorArray list;
    ZIntArray vertices;
    const int count = std::min(mesh.GetControlPointsCount(), normals->mDirectArray.GetCount());
    for (int i = 0; i < count; ++i)
    {
        const KQoxVector4& normal = normals->mDirectArray[i];
        list.append(ZVector(normal[0], normal[1], normal[2]));
        vertices.append(i);
    }
    fnMesh.setVertexNormals(list, vertices, ZSpace::kObject);
}

void SetUVSets(KQoxMesh& mesh, ZFnMesh& fnMesh, const std::vector<int>& hostToSdk, const ZIntArray& counts)
{
    const int layers = mesh.GetLayerCount(KQoxLayerElement::eUV);
    for (int L = 0; L < layers; ++L)
    {
        KQoxLayer* layer = mesh.GetLayer(L, KQoxLayerElement::eUV);
        KQoxLayerElementUV* uvs = layer ? layer->GetUVs() : nullptr;
        if (!uvs || uvs->mDirectArray.GetCount() == 0)
            continue;
        ZString setName(("uvSet" + std::to_string(L + 1)).c_str());
        if (L == 0)
            fnMesh.renameUVSet("map1", setName);
        else
            fnMesh.createUVSet(setName);

        ZFloatArray u, v;
        for (int i = 0; i < uvs->mDirectArray.GetCount(); ++i)
        {
            u.append(static_cast<float>(uvs->mDirectArray[i][0]));
            v.append(static_cast<float>(uvs->mDirectArray[i][1]));
        }
        ZStatus st = fnMesh.setUVs(u, v, &setName);
        if (!st)
            st.perror("UVs set problems");

        ZIntArray ids;
        bool complete = true;
        for (int host = 0; host < static_cast<int>(hostToSdk.size()); ++host)
        {
            ZIntArray vertices;
            fnMesh.getPolygonVertices(host, vertices);
            if (counts[host] != static_cast<int>(vertices.length()))
            {
                std::string text = "UVs define problem: expecting " + std::to_string(counts[host]) +
                                   " vertices for polygon " + std::to_string(host) + " received " +
                                   std::to_string(vertices.length());
                ZStatus().perror(text);
            }
            const int sdk = hostToSdk[host];
            for (unsigned k = 0; k < vertices.length(); ++k)
            {
                if (uvs->mMappingMode == KQoxLayerElement::eNONE || uvs->mMappingMode == KQoxLayerElement::eALL_SAME)
                    continue;
                const int id = sdk < 0 ? -1 : UVId(*uvs, mesh, sdk, static_cast<int>(k), vertices[k]);
                complete = complete && id >= 0;
                ids.append(id);
            }
        }
        st = complete ? fnMesh.assignUVs(counts, ids, &setName)
                      : ZStatus(ZStatus::kInvalidParameter, "a polygon vertex has no UV in the layer");
        if (!st)
            st.perror("UV assign problems");
    }
}

} // namespace

void QoxZeltImport::CreateMeshGeometry(QoxZeltNode* node)
{
    ZStatus st;
    ZFnTransform transform;
    ZObject transformObject = transform.create(HostParentObject(node), &st);
    if (!st)
    {
        st.perror("Cannot create Mesh Node");
        return;
    }
    NameAndRecordHostNode(transform, node);

    KQoxMesh* mesh = static_cast<KQoxMesh*>(node->GetMesh());
    if (!mesh)
        return;
    const int pointCount = mesh->GetControlPointsCount();
    const int polygonCount = mesh->GetPolygonCount();

    ZFloatPointArray points;
    const KQoxVector4* controlPoints = mesh->GetControlPoints();
    for (int i = 0; i < pointCount; ++i)
        points.append(ZFloatPoint(static_cast<float>(controlPoints[i][0]), static_cast<float>(controlPoints[i][1]),
                                  static_cast<float>(controlPoints[i][2]), 1.0f));
    ZIntArray counts, connects;
    for (int p = 0; p < polygonCount; ++p)
    {
        if (!IsPolygonUsable(*mesh, p, pointCount))
            continue;
        counts.append(mesh->GetPolygonSize(p));
        for (int k = 0; k < mesh->GetPolygonSize(p); ++k)
            connects.append(mesh->GetPolygonVertex(p, k));
    }

    ZFnMesh fnMesh;
    fnMesh.create(pointCount, static_cast<int>(counts.length()), points, counts, connects, node->GetDagPath()->node(),
                  &st);
    if (!st)
        st.perror("Cannot create Mesh");
    else
    {
        const int hostCount = fnMesh.numPolygons();
        ZIntArray hostCounts;
        std::vector<int> hostToSdk = HostToSdkPolygons(*mesh, fnMesh, &hostCounts);
        if (hostCount != polygonCount)
        {
            std::string text = "Mesh definition warning: the number of polygons from the source object (" +
                               std::to_string(polygonCount) + ") don't match in the destination mesh (" +
                               std::to_string(hostCount) +
                               ")\npossibly because of triangles defined with 2 vertices only.";
            ZStatus().perror(text);
        }
        SetNormals(*mesh, fnMesh, hostToSdk);
        KQoxLayer* colorLayer = mesh->GetLayer(0, KQoxLayerElement::eVERTEX_COLOR);
        KQoxLayerElementVertexColor* colors = colorLayer ? colorLayer->GetVertexColors() : nullptr;
        if (colors && colors->mDirectArray.GetCount() > 0)
            SetVertexColors(mesh, fnMesh);
        SetUVSets(*mesh, fnMesh, hostToSdk, hostCounts);
    }

    AddUserProperties(transform, node);
    if (st)
    {
        fnMesh.updateSurface();
        if (mesh->GetShapeCount() > 0)
        {
            ZFnBlendShapeDeformer deformer;
            deformer.create(transformObject, ZFnBlendShapeDeformer::kLocalOrigin);
        }
    }
}

bool QoxZeltImport::SetVertexColors(KQoxMesh* mesh, ZFnMesh& fnMesh)
{
    KQoxLayer* layer = mesh ? mesh->GetLayer(0, KQoxLayerElement::eVERTEX_COLOR) : nullptr;
    KQoxLayerElementVertexColor* colors = layer ? layer->GetVertexColors() : nullptr;
    if (!colors)
        return true;
    const bool indexed = colors->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT;
    ZColorArray list;
    ZIntArray vertices;
    if (colors->mMappingMode == KQoxLayerElement::eBY_CONTROL_POINT)
    {
        const int pointCount = mesh->GetControlPointsCount();
        if (colors->mDirectArray.GetCount() != pointCount)
            return false;
        for (int v = 0; v < pointCount; ++v)
        {
            const KQoxColor* color = ColorAt(*colors, v, indexed);
            if (!color || IsNoColor(*color))
                continue;
            list.append(HostColor(*color));
            vertices.append(v);
        }
        return static_cast<bool>(fnMesh.setVertexColors(list, vertices));
    }
    if (colors->mMappingMode != KQoxLayerElement::eBY_POLYGON_VERTEX)
        return true;

    ZDagPath path;
    fnMesh.getPath(path);
    path.extendToShape();
    ZIntArray faces;
    const std::vector<int> hostToSdk = HostToSdkPolygons(*mesh, fnMesh);
    int host = 0;
    for (ZItMeshPolygon it(path); !it.isDone(); it.next(), ++host)
    {
        const int sdk = host < static_cast<int>(hostToSdk.size()) ? hostToSdk[host] : -1;
        const int size = sdk < 0 ? 0 : mesh->GetPolygonSize(sdk);
        for (int k = 0; k < size && k < static_cast<int>(it.polygonVertexCount()); ++k)
        {
            // By polygon vertex the running polygon-vertex position picks the colour,
            // whatever the reference mode.
            const int position = mesh->GetPolygonVertexIndex(sdk) + k;
            const KQoxColor* color = ColorAt(*colors, position, indexed);
            if (!color || IsNoColor(*color))
                continue;
            list.append(HostColor(*color));
            vertices.append(it.vertexIndex(k));
            faces.append(host);
        }
    }
    if (list.length() == 0)
        return true;
    return static_cast<bool>(fnMesh.setFaceVertexColors(list, faces, vertices));
}
