// Geometry converter: mesh triangulation order and layer data, surface
// tessellation counts and UVs, in-place replacement with shape animation,
// link transfer and per-polygon-vertex normal emulation.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fcurve/kfcurve.h"
#include "node_test_util.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxweightedmapping.h"

using namespace qoxsdk_600;

namespace {

class ConverterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mManager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        mConverter = mManager->CreateKQoxGeometryConverter();
    }

    // Polygon vertices of the mesh, polygon by polygon.
    static std::vector<std::vector<int>> Polygons(KQoxMesh* pMesh)
    {
        std::vector<std::vector<int>> polygons;
        for (int p = 0; p < pMesh->GetPolygonCount(); ++p)
        {
            polygons.emplace_back();
            for (int v = 0; v < pMesh->GetPolygonSize(p); ++v)
                polygons.back().push_back(pMesh->GetPolygonVertex(p, v));
        }
        return polygons;
    }

    KQoxMesh* MeshWithPolygons(const std::vector<std::vector<int>>& pPolygons, int pPoints)
    {
        KQoxMesh* mesh = mManager->CreateKQoxMesh();
        mesh->InitControlPoints(pPoints);
        for (const auto& polygon : pPolygons)
        {
            mesh->BeginPolygon();
            for (int v : polygon)
                mesh->AddPolygon(v);
            mesh->EndPolygon();
        }
        return mesh;
    }

    // A U x V patch or NURBS grid at (u, v, z(u, v)).
    static void FillGrid(KQoxGeometryBase* pGeometry, int pU, int pV, double pZ = 0.0)
    {
        KQoxVector4* points = pGeometry->GetControlPoints();
        for (int v = 0; v < pV; ++v)
            for (int u = 0; u < pU; ++u)
                points[v * pU + u] = KQoxVector4(u, v, pZ + 0.25 * u * v, 1.0);
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxGeometryConverter* mConverter = nullptr;
};

} // namespace

TEST_F(ConverterTest, PolygonsBecomeTheZigZagStripInOrder)
{
    struct Case
    {
        int n;
        std::vector<std::vector<int>> triangles;
    };
    const Case cases[] = {
        {3, {{0, 1, 2}}},
        {4, {{0, 1, 2}, {2, 3, 0}}},
        {5, {{0, 1, 2}, {2, 3, 0}, {0, 3, 4}}},
        {6, {{0, 1, 2}, {2, 3, 0}, {0, 3, 5}, {3, 4, 5}}},
        {7, {{0, 1, 2}, {2, 3, 0}, {0, 3, 6}, {3, 4, 6}, {6, 4, 5}}},
        {8, {{0, 1, 2}, {2, 3, 0}, {0, 3, 7}, {3, 4, 7}, {7, 4, 6}, {4, 5, 6}}},
    };
    for (const Case& c : cases)
    {
        // Polygon vertices 10, 11, ... so positions and points differ.
        std::vector<int> polygon;
        for (int i = 0; i < c.n; ++i)
            polygon.push_back(10 + i);
        KQoxMesh* mesh = MeshWithPolygons({{0, 1, 2}, polygon}, 20);
        KQoxMesh* result = mConverter->TriangulateMesh(mesh);
        ASSERT_NE(nullptr, result);
        std::vector<std::vector<int>> expected = {{0, 1, 2}};
        for (const auto& t : c.triangles)
            expected.push_back({10 + t[0], 10 + t[1], 10 + t[2]});
        EXPECT_EQ(expected, Polygons(result)) << "n = " << c.n;
        EXPECT_EQ(20, result->GetControlPointsCount());
        // The source is unchanged.
        EXPECT_EQ(2, mesh->GetPolygonCount());
    }
    EXPECT_EQ(nullptr, mConverter->TriangulateMesh(nullptr));
}

TEST_F(ConverterTest, DegenerateAndLargePolygons)
{
    // Polygons of 2 and 1 vertices are left out, and the walk stays aligned.
    std::vector<int> big;
    for (int i = 0; i < 200; ++i)
        big.push_back(i);
    KQoxMesh* mesh = MeshWithPolygons({{5, 6}, {7}, {0, 1, 2, 3}, big, {9, 8, 7}}, 200);
    KQoxMesh* result = mConverter->TriangulateMesh(mesh);
    const auto polygons = Polygons(result);
    ASSERT_EQ(size_t(2 + 198 + 1), polygons.size());
    EXPECT_EQ((std::vector<int>{0, 1, 2}), polygons[0]);
    EXPECT_EQ((std::vector<int>{2, 3, 0}), polygons[1]);
    // The 200-gon's strip: (0,1,2), (2,3,0), (0,3,199), ... ending in the middle.
    EXPECT_EQ((std::vector<int>{0, 3, 199}), polygons[4]);
    EXPECT_EQ((std::vector<int>{3, 4, 199}), polygons[5]);
    EXPECT_EQ((std::vector<int>{100, 101, 102}), polygons[199]);
    EXPECT_EQ((std::vector<int>{9, 8, 7}), polygons[200]);
}

TEST_F(ConverterTest, TrianglesCarryMaterialsTexturesAndUVs)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    mesh->InitControlPoints(8);
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    for (int i = 0; i < 8; ++i)
        mesh->AddTextureUV(KQoxVector2(i * 0.1, 0.0));
    mesh->BeginPolygon(4, 2);
    for (int v = 0; v < 5; ++v)
        mesh->AddPolygon(v, 7 - v); // UV index 7 - v
    mesh->BeginPolygon(1, 3);
    for (int v : {5, 6, 7})
        mesh->AddPolygon(v, v - 5);
    KQoxMesh* result = mConverter->TriangulateMesh(mesh);
    ASSERT_EQ(4, result->GetPolygonCount());
    const int expectedMaterials[] = {4, 4, 4, 1};
    const int expectedTextures[] = {2, 2, 2, 3};
    for (int p = 0; p < 4; ++p)
    {
        EXPECT_EQ(expectedMaterials[p], result->GetMaterialIndices()[p]);
        EXPECT_EQ(expectedTextures[p], result->GetTextureIndices()[p]);
        for (int v = 0; v < 3; ++v)
        {
            const int point = result->GetPolygonVertex(p, v);
            const int uv = result->GetTextureUVIndex(p, v);
            EXPECT_EQ(p < 3 ? 7 - point : point - 5, uv) << p << " " << v;
        }
    }

    // Any other material mapping begins the triangles with material 0, and
    // UVs by control point give no UV index. A too short index array is read
    // no further than its end.
    KQoxMesh* other = MeshWithPolygons({{0, 1, 2, 3}, {4, 5, 6}}, 8);
    other->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    other->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
    other->GetLayer(0)->GetTextures()->mIndexArray.Add(6); // one entry for two polygons
    other->InitTextureUVIndices(KQoxLayerElement::eBY_CONTROL_POINT);
    KQoxMesh* plain = mConverter->TriangulateMesh(other);
    ASSERT_EQ(3, plain->GetPolygonCount());
    EXPECT_EQ(0, plain->GetMaterialIndices()[0]);
    EXPECT_EQ(6, plain->GetTextureIndices()[1]);
    EXPECT_EQ(0, plain->GetTextureIndices()[2]);
    EXPECT_EQ(-1, plain->GetTextureUVIndex(0, 0));
}

TEST_F(ConverterTest, TessellationCountsTrianglesAndUVs)
{
    struct Case
    {
        bool closedU, closedV;
        int triangles;
    };
    const Case cases[] = {{false, false, 18}, {true, false, 24}, {false, true, 24}, {true, true, 32}};
    for (const Case& c : cases)
    {
        KQoxPatch* patch = mManager->CreateKQoxPatch();
        patch->InitControlPoints(4, KQoxPatch::eLINEAR, 4, KQoxPatch::eLINEAR);
        patch->SetStep(1, 1);
        patch->SetClosed(c.closedU, c.closedV);
        FillGrid(patch, 4, 4);
        KQoxMesh* mesh = mConverter->TriangulatePatch(patch);
        ASSERT_EQ(16, mesh->GetControlPointsCount());
        EXPECT_EQ(c.triangles, mesh->GetPolygonCount());
        EXPECT_EQ(c.triangles * 2, mesh->GetTextureUVCount());
        EXPECT_EQ(KQoxLayerElement::eBY_POLYGON_VERTEX, mesh->GetTextureUVMappingMode());
        // Linear blending reproduces the control points, with weight 1.
        EXPECT_EQ(2.0, mesh->GetControlPoints()[6][0]);
        EXPECT_EQ(1.0, mesh->GetControlPoints()[6][3]);
        // First cell: (c0, c2, c1), (c1, c2, c3).
        EXPECT_EQ((std::vector<int>{0, 4, 1}), Polygons(mesh)[0]);
        EXPECT_EQ((std::vector<int>{1, 4, 5}), Polygons(mesh)[1]);
        if (c.closedU && !c.closedV)
        {
            // Row 0's wrap cell joins column 3 to column 0; its UVs go in the
            // order c0, c3, c2, c1 and u runs to 1.0.
            EXPECT_EQ((std::vector<int>{3, 7, 0}), Polygons(mesh)[6]);
            EXPECT_EQ((std::vector<int>{0, 7, 4}), Polygons(mesh)[7]);
            const KQoxVector2 uv = mesh->GetTextureUV()[mesh->GetTextureUVIndex(6, 2)];
            EXPECT_EQ(1.0, uv[0]);
            EXPECT_EQ(0.0, uv[1]);
            EXPECT_EQ(15, mesh->GetTextureUVIndex(6, 2));
            EXPECT_EQ(0.75, mesh->GetTextureUV()[12][0]);
        }
    }
}

TEST_F(ConverterTest, SurfacesCarryShapesAndLinks)
{
    KQoxNode* bone = mManager->CreateKQoxNode("bone");
    KQoxPatch* patch = mManager->CreateKQoxPatch();
    patch->InitControlPoints(4, KQoxPatch::eBEZIER, 4, KQoxPatch::eBEZIER);
    patch->SetStep(1, 1);
    FillGrid(patch, 4, 4);
    KQoxShape* shape = mManager->CreateKQoxShape();
    shape->InitControlPoints(16);
    FillGrid(shape, 4, 4, 1.0);
    ASSERT_EQ(0, patch->AddShape(shape, "Raise"));
    KQoxLink* link = mManager->CreateKQoxLink();
    link->SetLink(bone);
    link->SetLinkMode(KQoxLink::eNORMALIZE);
    link->AddControlPointIndex(0, 0.5);
    patch->AddLink(link);

    KQoxMesh* mesh = mConverter->TriangulatePatch(patch);
    ASSERT_EQ(16, mesh->GetControlPointsCount());
    ASSERT_EQ(1, mesh->GetShapeCount());
    EXPECT_STREQ("Raise", mesh->GetShapeName(0));
    // The shape is the same surface one unit higher.
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(mesh->GetControlPoints()[i][2] + 1.0, mesh->GetShape(0)->GetControlPoints()[i][2], 1e-12);
    ASSERT_EQ(1, mesh->GetLinkCount());
    KQoxLink* carried = mesh->GetLink(0);
    EXPECT_EQ(bone, carried->GetLink());
    EXPECT_EQ(KQoxLink::eTOTAL1, carried->GetLinkMode());
    // Control point 0 makes the corner alone, and some of the neighbouring
    // samples, whose normalised share is below 1.
    ASSERT_GE(carried->GetControlPointIndicesCount(), 1);
    EXPECT_EQ(0, carried->GetControlPointIndices()[0]);
    EXPECT_DOUBLE_EQ(1.0, carried->GetControlPointWeights()[0]);

    // The equivalent NURBS surface tessellates to the same points.
    KQoxNurb* nurb = mManager->CreateKQoxNurb();
    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(4, KQoxNurb::eOPEN, 4, KQoxNurb::eOPEN);
    nurb->SetStep(3, 3);
    for (double* knots : {nurb->GetUKnotVector(), nurb->GetVKnotVector()})
        for (int k = 0; k < 8; ++k)
            knots[k] = k < 4 ? 0.0 : 1.0;
    FillGrid(nurb, 4, 4);
    KQoxMesh* fromNurb = mConverter->TriangulateNurb(nurb);
    ASSERT_EQ(16, fromNurb->GetControlPointsCount());
    EXPECT_EQ(18, fromNurb->GetPolygonCount());
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(mesh->GetControlPoints()[i][c], fromNurb->GetControlPoints()[i][c], 1e-12);

    // Knot vectors that no longer match the orders are not evaluated.
    nurb->SetOrder(3, 4);
    KQoxMesh* refused = mConverter->TriangulateNurb(nurb);
    EXPECT_EQ(0, refused->GetControlPointsCount());
    EXPECT_EQ(0, refused->GetPolygonCount());
}

TEST_F(ConverterTest, InPlaceReplacementKeepsShapeKeysOfLaterTakes)
{
    KQoxNode* node = mManager->CreateKQoxNode("body");
    node->CreateTakeNode("Take 001");
    KQoxMesh* mesh = MeshWithPolygons({{0, 1, 2, 3}}, 4);
    KQoxShape* shape = mManager->CreateKQoxShape();
    shape->InitControlPoints(4);
    mesh->AddShape(shape, "Smile");
    node->SetNodeAttribute(mesh);
    KFCurve* curve = mesh->GetShapeChannel(node->GetTakeNode(1), 0);
    ASSERT_NE(nullptr, curve);
    for (int k = 0; k < 3; ++k)
    {
        const int i = curve->KeyAdd(KTime(1000 * (k + 1)));
        curve->KeySet(i, KTime(1000 * (k + 1)), 10.0f * (k + 1), KFCURVE_INTERPOLATION_LINEAR);
    }
    const int attributes = mManager->GetKQoxNodeAttributeCount();

    ASSERT_TRUE(mConverter->TriangulateInPlace(node));
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    ASSERT_NE(nullptr, attribute);
    ASSERT_NE(static_cast<KQoxNodeAttribute*>(mesh), attribute);
    EXPECT_EQ(attributes, mManager->GetKQoxNodeAttributeCount()); // the old mesh is gone
    KQoxMesh* result = static_cast<KQoxMesh*>(attribute);
    EXPECT_EQ(2, result->GetPolygonCount());
    KFCurve* carried = result->GetShapeChannel(node->GetTakeNode(1), 0);
    ASSERT_NE(nullptr, carried);
    ASSERT_EQ(3, carried->KeyGetCount());
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ(KTime(1000 * (k + 1)), carried->KeyGetTime(k));
        EXPECT_EQ(10.0f * (k + 1), carried->KeyGetValue(k));
    }
    EXPECT_EQ(0, result->GetShapeChannel(node->GetDefaultTakeNode(), 0)->KeyGetCount());

    // Nodes without a mesh, patch or NURBS are left alone.
    KQoxNode* lamp = mManager->CreateKQoxNode("lamp");
    nodetest::TestAttribute light(*mManager, KQoxNodeAttribute::eLIGHT);
    lamp->SetNodeAttribute(&light);
    EXPECT_FALSE(mConverter->TriangulateInPlace(lamp));
    EXPECT_EQ(&light, lamp->GetNodeAttribute());
    lamp->SetNodeAttribute(nullptr);
    EXPECT_FALSE(mConverter->TriangulateInPlace(mManager->CreateKQoxNode("empty")));
    EXPECT_FALSE(mConverter->TriangulateInPlace(nullptr));
}

TEST_F(ConverterTest, LinkTransferModes)
{
    // Two old points; new point 0 from old 0, new 1 half-half, new 2 from old
    // 1, new 3 reached only through a zero weight.
    const auto makeMapping = [](KQoxWeightedMapping& m) {
        m.Reset(2, 4);
        m.Add(0, 0, 1.0);
        m.Add(0, 1, 0.5);
        m.Add(1, 1, 0.5);
        m.Add(1, 2, 1.0);
        m.Add(1, 3, 0.0);
    };
    KQoxNode* bone = mManager->CreateKQoxNode("bone");
    KQoxNode* model = mManager->CreateKQoxNode("model");
    struct Case
    {
        KQoxLink::ELinkMode firstMode;
        KQoxLink::ELinkMode expectedMode;
        double a0, a1, b1, b2; // link 0 on new 0 and 1; link 1 on new 1 and 2
    };
    const Case cases[] = {
        {KQoxLink::eNORMALIZE, KQoxLink::eTOTAL1, 0.25, 0.125, 0.375 + 0.5, 1.0},
        {KQoxLink::eADDITIVE, KQoxLink::eADDITIVE, 0.2, 0.1, 0.3 + 0.5, 1.0},
    };
    for (const Case& c : cases)
    {
        KArrayTemplate<KQoxLink*> links;
        for (int i = 0; i < 2; ++i)
            links.Add(mManager->CreateKQoxLink());
        links[0]->SetLinkMode(c.firstMode);
        links[1]->SetLinkMode(KQoxLink::eTOTAL1); // the first link's mode decides
        links[0]->AddControlPointIndex(0, 0.2);
        links[0]->AddControlPointIndex(9, 5.0);  // outside the geometry: skipped
        links[1]->AddControlPointIndex(0, -0.6); // counts by its absolute value
        links[1]->AddControlPointIndex(1, 1.0);
        links[0]->SetLink(bone);
        links[0]->SetAssociateModel(model);
        links[0]->SetUserData("id", "value");
        links[0]->SetTransformLinkT(KQoxVector4(1, 2, 3, 1));
        links[0]->SetTransformAssociateModelS(KQoxVector4(2, 2, 2, 1));
        links[0]->SetTransformParentR(KQoxVector4(0, 90, 0, 1));
        KQoxWeightedMapping mapping(0, 0);
        makeMapping(mapping);
        KArrayTemplate<KQoxLink*> result;
        mConverter->ConvertLinks(links, 2, result, 4, &mapping);
        ASSERT_EQ(2, result.GetCount());
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(c.expectedMode, result[i]->GetLinkMode());
        ASSERT_EQ(2, result[0]->GetControlPointIndicesCount());
        EXPECT_EQ(0, result[0]->GetControlPointIndices()[0]);
        EXPECT_EQ(1, result[0]->GetControlPointIndices()[1]);
        EXPECT_DOUBLE_EQ(c.a0, result[0]->GetControlPointWeights()[0]);
        EXPECT_DOUBLE_EQ(c.a1, result[0]->GetControlPointWeights()[1]);
        ASSERT_EQ(3, result[1]->GetControlPointIndicesCount()); // no entry for new point 3
        EXPECT_DOUBLE_EQ(c.b1, result[1]->GetControlPointWeights()[1]);
        EXPECT_DOUBLE_EQ(c.b2, result[1]->GetControlPointWeights()[2]);
        // What the link carries over, and what it does not.
        KQoxVector4 v;
        EXPECT_EQ(bone, result[0]->GetLink());
        EXPECT_EQ(model, result[0]->GetAssociateModel());
        EXPECT_STREQ("value", result[0]->GetUserData().ToChars());
        EXPECT_EQ(3.0, result[0]->GetTransformLinkT(v)[2]);
        EXPECT_EQ(2.0, result[0]->GetTransformAssociateModelS(v)[1]);
        EXPECT_FALSE(result[0]->IsTransformParentSet());
    }
}

TEST_F(ConverterTest, CubeNormalsByPolygonVertexBecomeNormalsByPoint)
{
    const std::vector<std::vector<int>> faces = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                 {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    KQoxMesh* cube = MeshWithPolygons(faces, 8);
    for (int i = 0; i < 8; ++i)
        cube->GetControlPoints()[i] = KQoxVector4(i & 1, (i >> 1) & 1, (i >> 2) & 1, 1.0);
    cube->InitNormals(24);
    ASSERT_EQ(KQoxLayerElement::eBY_POLYGON_VERTEX, cube->GetNormalsMappingMode());
    KQoxShape* shape = mManager->CreateKQoxShape();
    shape->InitControlPoints(8);
    shape->GetControlPoints()[0] = KQoxVector4(-1, -1, -1, 1);
    shape->InitNormals(24);
    cube->AddShape(shape, "Dent");
    KQoxLink* link = mManager->CreateKQoxLink();
    link->SetLinkMode(KQoxLink::eNORMALIZE);
    link->AddControlPointIndex(0, 0.4);
    cube->AddLink(link);

    // A shape with the wrong normal count disqualifies the mesh.
    shape->InitNormals(23);
    EXPECT_FALSE(mConverter->EmulateNormalsByPolygonVertex(cube));
    EXPECT_EQ(8, cube->GetControlPointsCount());
    EXPECT_EQ(link, cube->GetLink(0));
    shape->InitNormals(24);

    ASSERT_TRUE(mConverter->EmulateNormalsByPolygonVertex(cube));
    ASSERT_EQ(24, cube->GetControlPointsCount());
    EXPECT_EQ(KQoxLayerElement::eBY_CONTROL_POINT, cube->GetNormalsMappingMode());
    for (int i = 0; i < 24; ++i)
    {
        EXPECT_EQ(i, cube->GetPolygonVertices()[i]);
        const int old = faces[size_t(i / 4)][size_t(i % 4)];
        EXPECT_EQ(double(old & 1), cube->GetControlPoints()[i][0]);
        EXPECT_EQ(old == 0 ? -1.0 : 0.0, cube->GetShape(0)->GetControlPoints()[i][0]);
    }
    EXPECT_EQ(24, cube->GetShape(0)->GetControlPointsCount());
    // Point 0 is used by three polygon vertices: three equal entries.
    ASSERT_EQ(1, cube->GetLinkCount());
    KQoxLink* moved = cube->GetLink(0);
    EXPECT_NE(link, moved);
    ASSERT_EQ(3, moved->GetControlPointIndicesCount());
    const int expected[] = {0, 8, 21};
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ(expected[k], moved->GetControlPointIndices()[k]);
        EXPECT_EQ(1.0, moved->GetControlPointWeights()[k]);
    }

    // A mesh with 3 normals for 4 polygon vertices does not qualify.
    KQoxMesh* quad = MeshWithPolygons({{0, 1, 2, 3}}, 4);
    quad->InitNormals(3);
    EXPECT_FALSE(mConverter->EmulateNormalsByPolygonVertex(quad));
    EXPECT_FALSE(mConverter->EmulateNormalsByPolygonVertex(nullptr));
}
