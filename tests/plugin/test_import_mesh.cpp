// Mesh creation: points, polygons (with dropped ones), normals, UV sets,
// vertex colours and the blend-shape deformer, checked on the host mesh.
#include "import_test_util.h"

#include <cmath>

#include "host/zgeometry.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;
using Kind = zelthost::TranscriptEntry::Kind;

namespace {

struct MeshFixture
{
    MeshFixture()
    {
        import.mScene = import.mManager.CreateKQoxScene();
        import.mRootNode = static_cast<QoxZeltNode*>(import.mScene->GetRootNode());
        mesh = import.mManager.CreateKQoxMesh();
        node = static_cast<QoxZeltNode*>(AddNode(import.mManager, import.mRootNode, "body", mesh));
    }
    void Points(int count)
    {
        mesh->InitControlPoints(count);
        for (int i = 0; i < count; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i, 2.0 * i, 0.5, 1);
    }
    void Polygon(std::initializer_list<int> indices)
    {
        mesh->BeginPolygon();
        for (int index : indices)
            mesh->AddPolygon(index);
        mesh->EndPolygon();
    }
    // The host mesh made for the node.
    ZFnMesh Host()
    {
        EXPECT_NE(node->GetDagPath(), nullptr);
        ZDagPath path = *node->GetDagPath();
        path.extendToShape();
        return ZFnMesh(path);
    }
    KQoxLayer* Layer(int index)
    {
        while (mesh->GetLayerCount() <= index)
            mesh->CreateLayer();
        return mesh->GetLayer(index);
    }
    QoxZeltImport import;
    KQoxMesh* mesh;
    QoxZeltNode* node;
};

std::vector<int> Ints(const ZIntArray& array)
{
    return array.items();
}

} // namespace

TEST_F(ImportTest, DroppedPolygonsKeepNormalsAndUVsOnTheirFaces)
{
    MeshFixture f;
    f.Points(5);
    f.Polygon({0, 1, 2});    // p0 -> host 0
    f.Polygon({});           // p1: no vertices, left out
    f.Polygon({1, 2});       // p2: two vertices, dropped by the host
    f.Polygon({0, 9, 2});    // p3: control point 9 does not exist, left out
    f.Polygon({1, 3, 4, 2}); // p4 -> host 1
    // Twelve polygon vertices: normal i is (0, 0, i).
    KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
    normals->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    for (int i = 0; i < 12; ++i)
        normals->mDirectArray.Add(KQoxVector4(0, 0, i, 0));
    f.Layer(0)->SetNormals(normals);
    // Layer 0: UVs by polygon vertex through the index array (index i -> UV 11 - i).
    KQoxLayerElementUV* corners = new KQoxLayerElementUV;
    corners->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    corners->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    for (int i = 0; i < 12; ++i)
    {
        corners->mDirectArray.Add(KQoxVector2(i * 0.125, 1));
        corners->mIndexArray.Add(11 - i);
    }
    f.Layer(0)->SetUVs(corners);
    // Layer 1: one UV per polygon, direct.
    KQoxLayerElementUV* faces = new KQoxLayerElementUV;
    faces->mMappingMode = KQoxLayerElement::eBY_POLYGON;
    for (int i = 0; i < 5; ++i)
        faces->mDirectArray.Add(KQoxVector2(i, -i));
    f.Layer(1)->SetUVs(faces);

    zelthost::Host::Get().ClearTranscript();
    f.import.ImportGeometry(f.node);
    EXPECT_EQ(Entries(Kind::kError),
              Strings{"Mesh definition warning: the number of polygons from the source object (5) don't match in the "
                      "destination mesh (2)\npossibly because of triangles defined with 2 vertices only."});
    ZFnMesh mesh = f.Host();
    ASSERT_EQ(mesh.numPolygons(), 2);
    EXPECT_EQ(mesh.numVertices(), 5);
    // Host face 1 is p4, whose normals are 8 to 11.
    for (int k = 0; k < 4; ++k)
    {
        const int vertices[] = {1, 3, 4, 2};
        ZVector normal;
        ASSERT_TRUE(mesh.getFaceVertexNormal(1, vertices[k], normal));
        EXPECT_EQ(normal.z, 8 + k) << k;
    }
    ZVector normal;
    ASSERT_TRUE(mesh.getFaceVertexNormal(0, 2, normal));
    EXPECT_EQ(normal.z, 2);

    ZStringArray sets;
    mesh.getUVSetNames(sets);
    ASSERT_EQ(sets.length(), 2u);
    EXPECT_EQ(sets[0], "uvSet1");
    EXPECT_EQ(sets[1], "uvSet2");
    ZIntArray counts, ids;
    ZString first("uvSet1"), second("uvSet2");
    ASSERT_TRUE(mesh.getAssignedUVs(counts, ids, &first));
    EXPECT_EQ(Ints(counts), (std::vector<int>{3, 4}));
    EXPECT_EQ(Ints(ids), (std::vector<int>{11, 10, 9, 3, 2, 1, 0}));
    ASSERT_TRUE(mesh.getAssignedUVs(counts, ids, &second));
    EXPECT_EQ(Ints(ids), (std::vector<int>{0, 0, 0, 4, 4, 4, 4}));
    ZFloatArray u, v;
    ASSERT_TRUE(mesh.getUVs(u, v, &second));
    EXPECT_EQ(u.length(), 5u);
    EXPECT_EQ(v[4], -4.0f);
}

TEST_F(ImportTest, MeshNormalsByControlPointAndUVSetsThatCannotBeAssigned)
{
    MeshFixture f;
    f.Points(4);
    f.Polygon({0, 1, 2, 3});
    // Three normals for four control points: only those three are handed over.
    KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
    normals->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    for (int i = 0; i < 3; ++i)
        normals->mDirectArray.Add(KQoxVector4(1, 0, i, 0));
    f.Layer(0)->SetNormals(normals);
    // Layer 0 is empty: "map1" keeps its name. Layer 1 maps all the same: set, never assigned.
    f.Layer(0)->SetUVs(new KQoxLayerElementUV);
    KQoxLayerElementUV* same = new KQoxLayerElementUV;
    same->mMappingMode = KQoxLayerElement::eALL_SAME;
    same->mDirectArray.Add(KQoxVector2(0.5, 0.5));
    f.Layer(1)->SetUVs(same);
    // Layer 2: by polygon vertex with an index array too short for the quad.
    KQoxLayerElementUV* shortIndices = new KQoxLayerElementUV;
    shortIndices->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    shortIndices->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    shortIndices->mDirectArray.Add(KQoxVector2(0, 0));
    shortIndices->mIndexArray.Add(0);
    f.Layer(2)->SetUVs(shortIndices);

    zelthost::Host::Get().ClearTranscript();
    f.import.ImportGeometry(f.node);
    const Strings errors = Entries(Kind::kError);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("UV assign problems", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("UV assign problems", 0), 0u) << errors[1];
    ZFnMesh mesh = f.Host();
    ZStringArray sets;
    mesh.getUVSetNames(sets);
    EXPECT_EQ(sets.items(), (std::vector<ZString>{"map1", "uvSet2", "uvSet3"}));
    ZVector normal;
    ASSERT_TRUE(mesh.getVertexNormal(2, normal));
    EXPECT_EQ(normal.z, 2);
    EXPECT_FALSE(mesh.getVertexNormal(3, normal));
}

TEST_F(ImportTest, VertexColorsSkipEmptyColoursAndWrongLengths)
{
    {
        // By polygon vertex through indices: (0, 0, 0, 0) is no colour. The
        // first polygon is dropped, so the second is host face 0.
        MeshFixture f;
        f.Points(4);
        f.Polygon({0, 1});
        f.Polygon({0, 1, 2, 3});
        KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
        colors->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        colors->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        colors->mDirectArray.Add(KQoxColor(0, 0, 0, 0));
        colors->mDirectArray.Add(KQoxColor(1, 0.5, 0.25, 1));
        for (int i = 0; i < 6; ++i)
            colors->mIndexArray.Add(i == 3 || i == 5 ? 1 : 0);
        f.Layer(0)->SetVertexColors(colors);
        f.import.ImportGeometry(f.node);
        ZFnMesh mesh = f.Host();
        ZColor color;
        EXPECT_FALSE(mesh.getFaceVertexColor(0, 0, color));
        ASSERT_TRUE(mesh.getFaceVertexColor(0, 1, color)); // polygon vertex 3: p1's second corner
        EXPECT_EQ(color.g, 0.5f);
        ASSERT_TRUE(mesh.getFaceVertexColor(0, 3, color));
        EXPECT_FALSE(mesh.getFaceVertexColor(0, 2, color));
    }
    {
        // By control point: a direct array of another length sets nothing.
        MeshFixture f;
        f.Points(3);
        f.Polygon({0, 1, 2});
        KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
        colors->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
        colors->mDirectArray.Add(KQoxColor(1, 1, 1, 1));
        colors->mDirectArray.Add(KQoxColor(1, 1, 1, 1));
        f.Layer(0)->SetVertexColors(colors);
        f.import.ImportGeometry(f.node);
        ZFnMesh mesh = f.Host();
        ZColor color;
        EXPECT_FALSE(mesh.getVertexColor(0, color));
        EXPECT_FALSE(f.import.SetVertexColors(f.mesh, mesh));
        // The right length: set, except the empty colour.
        colors->mDirectArray.Add(KQoxColor(0, 0, 0, 0));
        colors->mDirectArray[0] = KQoxColor(0.25, 0, 0, 1);
        EXPECT_TRUE(f.import.SetVertexColors(f.mesh, mesh));
        ASSERT_TRUE(mesh.getVertexColor(0, color));
        EXPECT_EQ(color.r, 0.25f);
        EXPECT_FALSE(mesh.getVertexColor(2, color));
    }
}

TEST_F(ImportTest, MeshWithShapesGetsOneEmptyBlendShape)
{
    for (int shapes : {0, 2})
    {
        zelthost::Host::Get().NewScene();
        MeshFixture f;
        f.Points(3);
        f.Polygon({0, 1, 2});
        for (int i = 0; i < shapes; ++i)
        {
            KQoxShape* shape = f.import.mManager.CreateKQoxShape();
            shape->InitControlPoints(3);
            f.mesh->AddShape(shape, i ? "b" : "a");
        }
        f.import.ImportGeometry(f.node);
        const std::string info = zelthost::Host::Get().Info();
        EXPECT_NE(info.find(shapes ? "blend shapes: 1" : "blend shapes: 0"), std::string::npos) << info;
        EXPECT_EQ(f.Host().numPolygons(), 1);
    }
}

TEST_F(ImportTest, MeshUnderAShapeIsNotCreated)
{
    MeshFixture f;
    f.Points(3);
    f.Polygon({0, 1, 2});
    Run("polyCube -n box");
    ZSelectionList list;
    list.add("boxShape");
    ZDagPath shapePath;
    ASSERT_TRUE(list.getDagPath(0, shapePath));
    QoxZeltNode* holder = static_cast<QoxZeltNode*>(AddNode(f.import.mManager, f.import.mRootNode, "holder"));
    holder->SetDagPath(&shapePath);
    f.import.mRootNode->RemoveChild(f.node);
    holder->AddChild(f.node);
    zelthost::Host::Get().ClearTranscript();
    f.import.ImportGeometry(f.node);
    EXPECT_EQ(f.node->GetDagPath(), nullptr);
    const Strings errors = Entries(Kind::kError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Cannot create Mesh Node: ", 0), 0u) << errors[0];
}

TEST_F(ImportTest, MeshThroughTheFileKeepsPointsAndPolygons)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxMesh* mesh = m.CreateKQoxMesh();
        mesh->InitControlPoints(4);
        for (int i = 0; i < 4; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i, i * i, -i, 1);
        const int quad[] = {0, 1, 3, 2};
        mesh->BeginPolygon();
        for (int index : quad)
            mesh->AddPolygon(index);
        mesh->EndPolygon();
        AddNode(m, AddNode(m, s.GetRootNode(), "holder"), "plane", mesh);
    }));
    EXPECT_NE(Dag().find("holder (transform)\n  locatorShape1 (locator)\n  plane (transform)\n    "), std::string::npos)
        << Dag();
    ZSelectionList list;
    ASSERT_TRUE(list.add("plane"));
    ZDagPath path;
    ASSERT_TRUE(list.getDagPath(0, path));
    path.extendToShape();
    ZFnMesh mesh(path);
    ZPointArray points;
    mesh.getPoints(points);
    ASSERT_EQ(points.length(), 4u);
    EXPECT_EQ(points[3].y, 9.0);
    ZIntArray vertices;
    mesh.getPolygonVertices(0, vertices);
    EXPECT_EQ(Ints(vertices), (std::vector<int>{0, 1, 3, 2}));
    EXPECT_TRUE(Entries(Kind::kError).empty());
}

TEST_F(ImportTest, MeshAndUVsTheHostRefusesAreReported)
{
    {
        // A point that is not finite: the mesh is refused, the transform stays.
        MeshFixture f;
        f.Points(3);
        f.mesh->GetControlPoints()[1] = KQoxVector4(NAN, 0, 0, 1);
        f.Polygon({0, 1, 2});
        zelthost::Host::Get().ClearTranscript();
        f.import.ImportGeometry(f.node);
        const Strings errors = Entries(Kind::kError);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind("Cannot create Mesh: ", 0), 0u) << errors[0];
        ASSERT_NE(f.node->GetDagPath(), nullptr);
        EXPECT_EQ(f.node->GetDagPath()->fullPathName(), "|body");
    }
    {
        // A UV that is not finite: the set is made, its UVs refused, and so its assignment.
        zelthost::Host::Get().NewScene();
        MeshFixture f;
        f.Points(3);
        f.Polygon({0, 1, 2});
        KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
        uvs->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
        for (int i = 0; i < 3; ++i)
            uvs->mDirectArray.Add(KQoxVector2(i == 2 ? INFINITY : 0.5, 0));
        f.Layer(0)->SetUVs(uvs);
        zelthost::Host::Get().ClearTranscript();
        f.import.ImportGeometry(f.node);
        const Strings errors = Entries(Kind::kError);
        ASSERT_EQ(errors.size(), 2u);
        EXPECT_EQ(errors[0].rfind("UVs set problems: ", 0), 0u) << errors[0];
        EXPECT_EQ(errors[1].rfind("UV assign problems: ", 0), 0u) << errors[1];
    }
}
