// The mesh: building protocol with material, texture and UV indices, reading,
// normals, the pivot, and splitting and merging points.

#include "geometry_test_util.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdlib>
#include <limits>
#include <vector>

namespace geometrytest {
namespace {

TEST_F(GeometryTest, MeshBuildsPolygonsOfAnySize)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    EXPECT_EQ(mesh->GetAttributeType(), KQoxNodeAttribute::eMESH);
    EXPECT_STREQ(mesh->GetTypeName().ToChars(), "Mesh");
    mesh->AddPolygon(0); // nothing begun: refused
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 0);
    mesh->BeginPolygon(-1, -1, 7);
    for (int i : {0, 1, 2})
        mesh->AddPolygon(i);
    mesh->AddPolygon(-3); // negative index: refused
    mesh->BeginPolygon(-1, -1, 9);
    for (int i : {3, 4, 5, 6})
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    ASSERT_EQ(mesh->GetPolygonCount(), 2);
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 7);
    EXPECT_EQ(mesh->GetPolygonVertexIndex(1), 3);
    EXPECT_EQ(mesh->GetPolygonSize(0), 3);
    EXPECT_EQ(mesh->GetPolygonGroup(1), 9);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 0), 3);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 4), -1);
    EXPECT_EQ(mesh->GetPolygonVertex(1, -1), -1);
    EXPECT_EQ(mesh->GetPolygonVertex(-1, 0), -1);
    EXPECT_EQ(mesh->GetPolygonSize(2), -1);
    EXPECT_EQ(mesh->GetPolygonGroup(-5), -1);
    KQoxVector4 normal(9, 9, 9, 9);
    mesh->GetPolygonVertexNormal(0, 0, normal); // no normals: unchanged
    EXPECT_EQ(normal[0], 9.0);
    EXPECT_EQ(mesh->GetNormalsMappingMode(), KQoxLayerElement::eBY_CONTROL_POINT);
    mesh->Reset();
    EXPECT_EQ(mesh->GetPolygonCount(), 0);
    EXPECT_EQ(mesh->GetLayerCount(), 0);
}

TEST_F(GeometryTest, MeshMaterialTextureAndUVIndices)
{
    // Indices by polygon, prepared before the polygons.
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    for (int p = 0; p < 3; ++p)
    {
        mesh->BeginPolygon(2 * p, 10 + p, 0);
        for (int v = 0; v < 3; ++v)
            mesh->AddPolygon(v, 100 + 3 * p + v);
    }
    ASSERT_NE(mesh->GetMaterialIndices(), nullptr);
    EXPECT_EQ(mesh->GetLayer(0)->GetMaterials()->mIndexArray.GetCount(), 3);
    EXPECT_EQ(mesh->GetMaterialIndices()[2], 4);
    EXPECT_EQ(mesh->GetTextureIndices()[1], 11);
    EXPECT_EQ(mesh->GetMaterialMappingMode(), KQoxLayerElement::eBY_POLYGON);
    EXPECT_EQ(mesh->GetTextureMappingMode(), KQoxLayerElement::eBY_POLYGON);
    EXPECT_EQ(mesh->GetTextureUVMappingMode(), KQoxLayerElement::eBY_POLYGON_VERTEX);
    EXPECT_EQ(mesh->GetTextureUVIndex(2, 1), 107);
    EXPECT_EQ(mesh->GetTextureUVIndex(3, 0), -1);
    mesh->SetTextureUVIndex(0, 2, 5);
    EXPECT_EQ(mesh->GetTextureUVIndex(0, 2), 5);
    mesh->SetTextureUVIndex(0, 3, 6); // out of the polygon: nothing
    EXPECT_EQ(mesh->GetLayer(0)->GetUVs()->mIndexArray.GetCount(), 9);
    mesh->InitTextureUV(2);
    mesh->AddTextureUV(KQoxVector2(0.5, 0.25));
    EXPECT_EQ(mesh->GetTextureUVCount(), 3);
    EXPECT_EQ(mesh->GetTextureUV()[2][1], 0.25);

    // No prepared element: the first polygon creates the elements, which map
    // nothing and so receive no index.
    KQoxMesh* plain = mManager->CreateKQoxMesh();
    plain->BeginPolygon(5, 7, 0);
    plain->BeginPolygon(5, 7, 0);
    ASSERT_NE(plain->GetLayer(0)->GetMaterials(), nullptr);
    ASSERT_NE(plain->GetLayer(0)->GetTextures(), nullptr);
    EXPECT_EQ(plain->GetLayer(0)->GetMaterials()->mIndexArray.GetCount(), 0);
    EXPECT_EQ(plain->GetLayer(0)->GetTextures()->mIndexArray.GetCount(), 0);
    EXPECT_EQ(plain->GetLayer(0)->GetTextures()->mReferenceMode, KQoxLayerElement::eINDEX_TO_DIRECT);
    plain->AddPolygon(0, 3); // UV element created, mapping nothing
    EXPECT_EQ(plain->GetLayer(0)->GetUVs()->mIndexArray.GetCount(), 0);
    EXPECT_EQ(plain->GetTextureUVIndex(1, 0), -1);

    // Mapping rules of the preparations.
    KQoxMesh* modes = mManager->CreateKQoxMesh();
    modes->InitMaterialIndices(KQoxLayerElement::eBY_CONTROL_POINT); // no points: mapping kept
    EXPECT_EQ(modes->GetMaterialMappingMode(), KQoxLayerElement::eNONE);
    EXPECT_EQ(modes->GetLayer(0)->GetMaterials()->mIndexArray.GetCount(), 0);
    modes->InitControlPoints(4);
    modes->InitMaterialIndices(KQoxLayerElement::eBY_CONTROL_POINT);
    EXPECT_EQ(modes->GetLayer(0)->GetMaterials()->mIndexArray.GetCount(), 4);
    modes->InitTextureIndices(KQoxLayerElement::eBY_CONTROL_POINT);
    EXPECT_EQ(modes->GetTextureMappingMode(), KQoxLayerElement::eALL_SAME);
    ASSERT_EQ(modes->GetLayer(0)->GetTextures()->mIndexArray.GetCount(), 1);
    EXPECT_EQ(modes->GetTextureIndices()[0], 0);
    modes->InitTextureUVIndices(KQoxLayerElement::eBY_CONTROL_POINT);
    EXPECT_EQ(modes->GetTextureUVMappingMode(), KQoxLayerElement::eBY_CONTROL_POINT);
    EXPECT_EQ(modes->GetLayer(0)->GetUVs()->mReferenceMode, KQoxLayerElement::eDIRECT);
    modes->BeginPolygon();
    modes->AddPolygon(0, 3); // not indexed by polygon vertex: nothing stored
    EXPECT_EQ(modes->GetLayer(0)->GetUVs()->mIndexArray.GetCount(), 0);
    modes->InitNormals();
    modes->SetNormalsMappingMode(KQoxLayerElement::eBY_POLYGON);
    EXPECT_EQ(modes->GetNormalsMappingMode(), KQoxLayerElement::eBY_CONTROL_POINT);
    modes->SetNormalsMappingMode(KQoxLayerElement::eBY_POLYGON_VERTEX);
    EXPECT_EQ(modes->GetNormalsMappingMode(), KQoxLayerElement::eBY_POLYGON_VERTEX);
}

// Whole polygons at once, into a mesh sized up front, give what corner-at-a-
// time building gives: refused negatives, UV gaps (-1) and index arrays.
TEST_F(GeometryTest, MeshBuildsWholePolygonsLikeCornerByCorner)
{
    const int indices[] = {0, 1, -2, 2, 3, 4, 5, 6};
    const int uvs[] = {7, -1, 9, 10, 11, 12, -1, 14};
    const int sizes[] = {4, 4};
    KQoxMesh* meshes[2] = {mManager->CreateKQoxMesh(), mManager->CreateKQoxMesh()};
    for (KQoxMesh* mesh : meshes)
    {
        mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
        mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    }
    EXPECT_TRUE(meshes[1]->ReservePolygons(1000, 4000));
    meshes[1]->AddPolygonVertices(indices, uvs, 4); // nothing begun: refused
    for (int p = 0, first = 0; p < 2; first += sizes[p++])
    {
        meshes[0]->BeginPolygon(p + 3);
        for (int v = 0; v < sizes[p]; ++v)
            meshes[0]->AddPolygon(indices[first + v], uvs[first + v]);
        meshes[1]->BeginPolygon(p + 3);
        meshes[1]->AddPolygonVertices(indices + first, uvs + first, sizes[p]);
    }
    meshes[1]->BeginPolygon(5);
    meshes[1]->AddPolygonVertices(indices, nullptr, 2); // no UVs
    meshes[0]->BeginPolygon(5);
    for (int v = 0; v < 2; ++v)
        meshes[0]->AddPolygon(indices[v]);
    ASSERT_EQ(meshes[1]->GetPolygonVertexCount(), 9);
    ASSERT_EQ(meshes[1]->GetPolygonCount(), meshes[0]->GetPolygonCount());
    EXPECT_EQ(meshes[1]->GetPolygonSize(0), 3);
    for (int p = 0; p < 3; ++p)
    {
        EXPECT_EQ(meshes[1]->GetPolygonSize(p), meshes[0]->GetPolygonSize(p));
        EXPECT_EQ(meshes[1]->GetMaterialIndices()[p], p + 3);
        for (int v = 0; v < meshes[0]->GetPolygonSize(p); ++v)
        {
            EXPECT_EQ(meshes[1]->GetPolygonVertex(p, v), meshes[0]->GetPolygonVertex(p, v));
            EXPECT_EQ(meshes[1]->GetTextureUVIndex(p, v), meshes[0]->GetTextureUVIndex(p, v));
        }
    }
    EXPECT_EQ(meshes[1]->GetTextureUVIndex(0, 1), 0); // a gap reads as zero-filled
    EXPECT_EQ(meshes[1]->GetTextureUVIndex(1, 3), 14);
    EXPECT_FALSE(meshes[1]->ReservePolygons(INT_MAX, 0)); // beyond an int count: refused, nothing allocated
    EXPECT_EQ(meshes[1]->GetPolygonCount(), 3);
}

TEST_F(GeometryTest, MeshFromWholeArraysEqualsCornerByCorner)
{
    const int indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const int sizes[] = {3, 0, 4, 3};
    const int groups[] = {7, -1, 2, 9};
    for (bool withGroups : {true, false})
    {
        KQoxMesh* corner = mManager->CreateKQoxMesh();
        KQoxMesh* whole = mManager->CreateKQoxMesh();
        for (KQoxMesh* mesh : {corner, whole})
        {
            mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
            mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
            mesh->GetLayer(0)->GetMaterials()->mIndexArray.Add(42); // a stale entry is dropped alike
        }
        for (int p = 0, first = 0; p < 4; first += sizes[p++])
        {
            corner->BeginPolygon(-1, -1, withGroups ? groups[p] : -1);
            for (int v = 0; v < sizes[p]; ++v)
                corner->AddPolygon(indices[first + v]);
        }
        int* vertices = whole->SetPolygonVertexCount(10);
        ASSERT_NE(vertices, nullptr);
        std::copy(indices, indices + 10, vertices);
        ASSERT_TRUE(whole->SetPolygons(sizes, withGroups ? groups : nullptr, 4));
        ASSERT_EQ(whole->GetPolygonCount(), 4);
        ASSERT_EQ(whole->GetPolygonVertexCount(), 10);
        for (int p = 0; p < 4; ++p)
        {
            EXPECT_EQ(whole->GetPolygonSize(p), corner->GetPolygonSize(p));
            EXPECT_EQ(whole->GetPolygonGroup(p), corner->GetPolygonGroup(p));
            EXPECT_EQ(whole->GetPolygonVertexIndex(p), corner->GetPolygonVertexIndex(p));
            for (int v = 0; v < sizes[p]; ++v)
                EXPECT_EQ(whole->GetPolygonVertex(p, v), corner->GetPolygonVertex(p, v));
            EXPECT_EQ(whole->GetMaterialIndices()[p], -1);
            EXPECT_EQ(whole->GetTextureIndices()[p], -1);
        }
        EXPECT_EQ(whole->GetLayer(0)->GetMaterials()->mIndexArray.GetCount(),
                  corner->GetLayer(0)->GetMaterials()->mIndexArray.GetCount());
        EXPECT_EQ(whole->GetPolygonGroup(3), withGroups ? 9 : -1);
        // Read back whole, as given (either array alone too).
        for (KQoxMesh* mesh : {corner, whole})
        {
            int gotSizes[5] = {-9, -9, -9, -9, -9};
            int gotGroups[5] = {-9, -9, -9, -9, -9};
            mesh->GetPolygonSizesAndGroups(gotSizes, gotGroups);
            mesh->GetPolygonSizesAndGroups(nullptr, nullptr);
            for (int p = 0; p < 4; ++p)
            {
                EXPECT_EQ(gotSizes[p], sizes[p]);
                EXPECT_EQ(gotGroups[p], withGroups ? groups[p] : -1);
            }
            EXPECT_EQ(gotSizes[4], -9); // nothing past the count
            EXPECT_EQ(gotGroups[4], -9);
            int onlyGroups[4] = {};
            mesh->GetPolygonSizesAndGroups(nullptr, onlyGroups);
            EXPECT_EQ(onlyGroups[0], withGroups ? 7 : -1);
        }
        // Once there are polygons, neither call changes anything.
        EXPECT_EQ(whole->SetPolygonVertexCount(3), nullptr);
        EXPECT_FALSE(whole->SetPolygons(sizes, groups, 4));
        EXPECT_EQ(whole->GetPolygonCount(), 4);
    }
}

TEST_F(GeometryTest, MeshFromWholeArraysRefusesBadSizes)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    int* vertices = mesh->SetPolygonVertexCount(6);
    ASSERT_NE(vertices, nullptr);
    for (int i = 0; i < 6; ++i)
        vertices[i] = i;
    const int shortSizes[] = {3, 2};
    const int longSizes[] = {3, 4};
    const int negative[] = {7, -1};
    EXPECT_FALSE(mesh->SetPolygons(shortSizes, nullptr, 2));
    EXPECT_FALSE(mesh->SetPolygons(longSizes, nullptr, 2));
    EXPECT_FALSE(mesh->SetPolygons(negative, nullptr, 2)); // adds up, but a size is negative
    EXPECT_FALSE(mesh->SetPolygons(nullptr, nullptr, 2));
    EXPECT_FALSE(mesh->SetPolygons(shortSizes, nullptr, -1));
    EXPECT_EQ(mesh->GetPolygonCount(), 0);
    EXPECT_EQ(mesh->GetLayerCount(), 0); // nothing made on a refusal
    vertices[4] = -3;                    // AddPolygon refuses negative points
    const int sizes[] = {3, 3};
    EXPECT_FALSE(mesh->SetPolygons(sizes, nullptr, 2));
    vertices[4] = 4;
    EXPECT_TRUE(mesh->SetPolygons(sizes, nullptr, 2));
    EXPECT_EQ(mesh->GetLayerCount(), 1); // as BeginPolygon makes layer 0
    EXPECT_EQ(mesh->GetPolygonVertex(1, 1), 4);
    // No polygons over no vertices is an empty mesh.
    KQoxMesh* empty = mManager->CreateKQoxMesh();
    EXPECT_TRUE(empty->SetPolygons(nullptr, nullptr, 0));
    EXPECT_EQ(empty->GetLayerCount(), 0);
}

// Polygon vertices made elsewhere become the mesh's without a copy, before
// its polygons only; a refusal leaves the storage with the caller.
TEST_F(GeometryTest, MeshTakesPolygonVerticesBeforePolygonsOnly)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    int* taken = static_cast<int*>(std::malloc(100 * sizeof(int)));
    ASSERT_NE(taken, nullptr);
    const int indices[] = {0, 1, 2, 2, 1, 3, 4};
    std::copy(indices, indices + 7, taken);
    // What SetPolygonVertexCount had made is replaced.
    ASSERT_NE(mesh->SetPolygonVertexCount(3), nullptr);
    ASSERT_TRUE(mesh->TakePolygonVertices(taken, 7, 100));
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 7);
    const int sizes[] = {3, 4};
    ASSERT_TRUE(mesh->SetPolygons(sizes, nullptr, 2));
    EXPECT_EQ(mesh->GetPolygonVertex(1, 0), 2);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 3), 4);
    // The same as a mesh built polygon by polygon.
    KQoxMesh* built = mManager->CreateKQoxMesh();
    for (int p = 0, first = 0; p < 2; first += sizes[p++])
    {
        built->BeginPolygon();
        for (int v = 0; v < sizes[p]; ++v)
            built->AddPolygon(indices[first + v]);
    }
    ASSERT_EQ(built->GetPolygonVertexCount(), 7);
    EXPECT_TRUE(std::equal(indices, indices + 7, built->GetPolygonVertices()));
    EXPECT_TRUE(std::equal(indices, indices + 7, mesh->GetPolygonVertices()));
    EXPECT_EQ(mesh->GetLayerCount(), built->GetLayerCount());
    // It grows on as any mesh.
    mesh->BeginPolygon();
    for (int v = 0; v < 3; ++v)
        mesh->AddPolygon(v);
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 10);
    EXPECT_EQ(mesh->GetPolygonVertex(2, 2), 2);

    // Once there are polygons: refused, nothing changed.
    int* refused = static_cast<int*>(std::malloc(4 * sizeof(int)));
    ASSERT_NE(refused, nullptr);
    EXPECT_FALSE(mesh->TakePolygonVertices(refused, 4, 4));
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 10);
    EXPECT_EQ(mesh->GetPolygonVertex(0, 2), 2);
    // A count beyond the room: refused as well.
    KQoxMesh* fresh = mManager->CreateKQoxMesh();
    EXPECT_FALSE(fresh->TakePolygonVertices(refused, 5, 4));
    EXPECT_EQ(fresh->GetPolygonVertexCount(), 0);
    std::free(refused);
    // Nothing taken: an empty mesh.
    EXPECT_TRUE(fresh->TakePolygonVertices(nullptr, 0, 0));
    EXPECT_TRUE(fresh->SetPolygons(nullptr, nullptr, 0));
    EXPECT_EQ(fresh->GetPolygonCount(), 0);
}

// Millions of entries: a refusal found late (the last vertex) leaves no
// polygons, and the same arrays set right afterwards give every polygon.
TEST_F(GeometryTest, MeshFromLargeArraysRefusesThenTakesThem)
{
    const int count = 1 << 20;
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    int* vertices = mesh->SetPolygonVertexCount(4 * count);
    ASSERT_NE(vertices, nullptr);
    for (int i = 0; i < 4 * count; ++i)
        vertices[i] = i;
    std::vector<int> sizes(count, 4);
    vertices[4 * count - 1] = -1;
    EXPECT_FALSE(mesh->SetPolygons(sizes.data(), nullptr, count));
    EXPECT_EQ(mesh->GetPolygonCount(), 0);
    vertices[4 * count - 1] = 4 * count - 1;
    ASSERT_TRUE(mesh->SetPolygons(sizes.data(), nullptr, count));
    ASSERT_EQ(mesh->GetPolygonCount(), count);
    EXPECT_EQ(mesh->GetPolygonVertex(count - 1, 3), 4 * count - 1);
    EXPECT_EQ(mesh->GetPolygonVertex(count / 2, 0), 2 * count);
}

TEST_F(GeometryTest, NormalsAndControlPointGrowth)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    mesh->InitControlPoints(4);
    mesh->SetControlPointAt(KQoxVector4(1, 2, 3, 1), KQoxVector4(0, 0, 1, 1), 10); // no normals: nothing
    EXPECT_EQ(mesh->GetControlPointsCount(), 4);
    for (int n : {0, 4})
    {
        mesh->InitNormals(n);
        EXPECT_EQ(mesh->GetLayer(0)->GetNormals()->mMappingMode, KQoxLayerElement::eBY_CONTROL_POINT) << n;
    }
    mesh->InitNormals(6);
    EXPECT_EQ(mesh->GetLayer(0)->GetNormals()->mMappingMode, KQoxLayerElement::eBY_POLYGON_VERTEX);
    mesh->InitNormals(4);
    mesh->SetControlPointAt(KQoxVector4(1, 2, 3, 1), KQoxVector4(0, 0, 1, 1), 10);
    EXPECT_EQ(mesh->GetControlPointsCount(), 11);
    EXPECT_EQ(mesh->GetLayer(0)->GetNormals()->mDirectArray.GetCount(), 11);
    EXPECT_EQ(mesh->GetControlPoints()[10][2], 3.0);
    EXPECT_EQ(mesh->GetNormals()[10][2], 1.0);
    EXPECT_EQ(mesh->GetControlPoints()[7][0], 0.0);
}

// Two counter-clockwise triangles of the unit square, and a point no polygon uses.
TEST_F(GeometryTest, VertexNormalsOfTheUnitSquare)
{
    KQoxMesh* mesh =
        Mesh({{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}, {5, 5, 5, 1}}, {{0, 1, 2}, {0, 2, 3}});
    EXPECT_FALSE(mesh->CheckIfVertexNormalsCCW());
    mesh->ComputeVertexNormals(false);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Near3(mesh->GetNormals()[i], KQoxVector4(0, 0, 1))) << i;
    EXPECT_EQ(mesh->GetNormals()[0][3], 1.0);
    EXPECT_TRUE(Near3(mesh->GetNormals()[4], KQoxVector4(0, 0, 0)));
    EXPECT_EQ(mesh->GetNormals()[4][3], 1.0);
    EXPECT_TRUE(mesh->CheckIfVertexNormalsCCW());
    mesh->ComputeVertexNormals(true);
    EXPECT_TRUE(Near3(mesh->GetNormals()[2], KQoxVector4(0, 0, -1)));
    // The unused point's normal agrees with itself either way.
    EXPECT_TRUE(mesh->CheckIfVertexNormalsCCW());
    KQoxMesh* square = Mesh({{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}}, {{0, 1, 2}, {0, 2, 3}});
    square->ComputeVertexNormals(true);
    EXPECT_FALSE(square->CheckIfVertexNormalsCCW());
    square->ComputeVertexNormals(false);
    EXPECT_TRUE(square->CheckIfVertexNormalsCCW());

    // Corners weigh with their area: a corner of a large triangle wins over a
    // small one.
    KQoxMesh* bent =
        Mesh({{0, 0, 0, 1}, {10, 0, 0, 1}, {0, 10, 0, 1}, {0, 0, 0.1, 1}, {0.1, 0, 0, 1}}, {{0, 1, 2}, {0, 3, 4}});
    bent->ComputeVertexNormals(false);
    const KQoxVector4 n = bent->GetNormals()[0];
    EXPECT_GT(n[2], 0.99);
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-12);
}

// Corners naming points outside the mesh (damaged data) are left out.
TEST_F(GeometryTest, VertexNormalsSkipCornersOutsideTheMesh)
{
    KQoxMesh* mesh = Mesh({{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}}, {{0, 1, 2}, {0, 1, 99}});
    mesh->ComputeVertexNormals(false);
    EXPECT_TRUE(Near3(mesh->GetNormals()[2], KQoxVector4(0, 0, 1)));
    EXPECT_TRUE(Near3(mesh->GetNormals()[0], KQoxVector4(0, 0, 1)));
}

TEST_F(GeometryTest, ApplyPivotMovesPointsAndTurnsNormals)
{
    struct
    {
        const char* mName;
        KQoxVector4 mT, mR, mS;
        KQoxVector4 mPoint;  // (1, 0, 0) becomes
        KQoxVector4 mNormal; // (0, 1, 0) becomes
    } rows[] = {
        {"translation", {1, 2, 3}, {0, 0, 0}, {1, 1, 1}, {2, 2, 3}, {0, 1, 0}},
        {"mirror", {0, 0, 0}, {0, 0, 0}, {-1, -1, -1}, {-1, 0, 0}, {0, 1, 0}},
        {"rotation and scale", {0, 0, 0}, {0, 0, 90}, {2, 2, 2}, {0, 2, 0}, {-1, 0, 0}},
    };
    for (const auto& row : rows)
    {
        KQoxMesh* mesh = Mesh({{1, 0, 0, 1}}, {});
        mesh->InitNormals();
        mesh->GetNormals()[0] = KQoxVector4(0, 1, 0, 0.5);
        KQoxXMatrix pivot(row.mT, row.mR, row.mS);
        mesh->SetPivot(pivot);
        mesh->ApplyPivot();
        EXPECT_TRUE(Near3(mesh->GetControlPoints()[0], row.mPoint)) << row.mName;
        EXPECT_EQ(mesh->GetControlPoints()[0][3], 1.0) << row.mName;
        EXPECT_TRUE(Near3(mesh->GetNormals()[0], row.mNormal, 1e-12)) << row.mName;
        EXPECT_EQ(mesh->GetNormals()[0][3], 0.5) << row.mName;
        // The node's pivot conversion reaches the pivot through the attribute.
        KQoxXMatrix kept;
        KQoxNodeAttribute* attribute = mesh;
        EXPECT_TRUE(attribute->GetPivot(kept) == pivot) << row.mName;
    }
    // A degenerate pivot (a zero row) gives no NaN in the normals.
    KQoxMesh* flat = Mesh({{1, 1, 1, 1}}, {});
    flat->InitNormals();
    flat->GetNormals()[0] = KQoxVector4(0, 0, 1);
    flat->SetPivot(KQoxXMatrix(KQoxVector4(0, 0, 0), KQoxVector4(0, 0, 0), KQoxVector4(1, 1, 0)));
    flat->ApplyPivot();
    EXPECT_EQ(flat->GetControlPoints()[0][2], 0.0);
    EXPECT_FALSE(std::isnan(flat->GetNormals()[0][2]));
}

TEST_F(GeometryTest, MergeListFindsCoincidentPoints)
{
    struct
    {
        const char* mName;
        std::vector<KQoxVector4> mPoints;
        bool mAll;
        bool mFound;
        std::vector<int> mList;
    } rows[] = {
        // Point 3 lies on 0 and 2; 2 merges into 0, so 3 does too.
        {"chain", {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 0}}, true, true, {0, 1, 0, 0}},
        {"distinct", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, true, false, {0, 1, 2}},
        {"within tolerance", {{0, 0, 0}, {1e-7, -1e-7, 0}, {2e-6, 0, 0}}, true, true, {0, 0, 2}},
        // Neighbours within the tolerance, on either side of round values.
        {"across round values",
         {{1.6e-5 - 4e-7, -1.6e-5 + 4e-7, 0},
          {1.6e-5 + 4e-7, -1.6e-5 - 4e-7, 0},
          {1e6, 1e6 - 9e-7, 0},
          {1e6 - 9e-7, 1e6, 0}},
         true,
         true,
         {0, 0, 2, 2}},
        {"NaN equals nothing", {{NAN, 0, 0}, {NAN, 0, 0}}, true, false, {0, 1}},
        {"huge values", {{DBL_MAX, -DBL_MAX, 0}, {1, 1, 1}, {DBL_MAX, -DBL_MAX, 0}}, true, true, {0, 1, 0}},
        {"infinities differ", {{INFINITY, 0, 0}, {INFINITY, 0, 0}}, true, false, {0, 1}},
        // Scan stops at the first point a duplicate was found for: 3 is the
        // first duplicate (of 1), the scan stops at i = 3; 4 is never reached.
        {"first only", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 0, 0}, {9, 0, 0}}, false, true, {0, 1, 2, 1, 0}},
    };
    for (const auto& row : rows)
    {
        KQoxMesh* mesh = Mesh(row.mPoints, {});
        KArrayTemplate<int> list;
        EXPECT_EQ(mesh->BuildMergeList(list, KQoxMesh::eBY_CONTROL_POINT, row.mAll), row.mFound) << row.mName;
        ASSERT_EQ(list.GetCount(), static_cast<int>(row.mList.size())) << row.mName;
        for (int i = 0; i < list.GetCount(); ++i)
            EXPECT_EQ(list[i], row.mList[static_cast<size_t>(i)]) << row.mName << " entry " << i;
    }
    KArrayTemplate<int> untouched;
    untouched.Add(42);
    EXPECT_FALSE(Cube()->BuildMergeList(untouched, static_cast<KQoxMesh::ESplitObject>(1), true));
    EXPECT_EQ(untouched.GetCount(), 1);
}

// The cube with per-corner normals is split into 24 points and merged back:
// links keep their weights and user data, shapes their targets.
TEST_F(GeometryTest, CubeSplitAndMergeRoundTrip)
{
    KQoxMesh* mesh = Cube();
    NodeWith("Cube", mesh);
    // Per-corner normals: each corner gets its face's outward normal.
    mesh->InitNormals(24);
    for (int p = 0; p < 6; ++p)
    {
        const KQoxVector4* P = mesh->GetControlPoints();
        const int* v = mesh->GetPolygonVertices() + 4 * p;
        const KQoxVector4 a = P[v[1]] - P[v[0]], b = P[v[2]] - P[v[0]];
        KQoxVector4 n = a.CrossProduct(b);
        n.Normalize();
        for (int k = 0; k < 4; ++k)
            mesh->GetNormals()[4 * p + k] = n;
    }
    KQoxLink* link = mManager->CreateKQoxLink();
    link->SetUserData(KString("id"), KString("value"));
    link->AddControlPointIndex(0, 0.5);
    link->AddControlPointIndex(6, 0.25);
    link->AddControlPointIndex(77, 1.0); // outside the mesh: skipped
    mesh->AddLink(link);
    std::vector<KQoxShape*> shapes;
    for (int s = 0; s < 2; ++s)
    {
        KQoxShape* shape = mManager->CreateKQoxShape();
        shape->InitControlPoints(8);
        shape->InitNormals(8);
        for (int i = 0; i < 8; ++i)
            shape->GetControlPoints()[i] = KQoxVector4(i, s, 0, 1);
        ASSERT_EQ(mesh->AddShape(shape, s ? "Frown" : "Smile"), s);
        shapes.push_back(shape);
    }

    KArrayTemplate<KArrayTemplate<KQoxMesh::KDuplicateVertex>*> split;
    mesh->BuildSplitList(split, KQoxMesh::eBY_CONTROL_POINT);
    ASSERT_EQ(split.GetCount(), 8);
    mesh->SplitPointsForHardEdge(split);
    for (int i = 0; i < split.GetCount(); ++i)
        delete split[i];
    ASSERT_EQ(mesh->GetControlPointsCount(), 24);
    EXPECT_EQ(mesh->GetNormalsMappingMode(), KQoxLayerElement::eBY_CONTROL_POINT);
    std::vector<int> seen(24, 0);
    for (int k = 0; k < 24; ++k)
        ++seen[static_cast<size_t>(mesh->GetPolygonVertices()[k])];
    for (int c : seen)
        EXPECT_EQ(c, 1);
    EXPECT_STREQ(mesh->GetLastErrorString(), "1 link control point indices outside the geometry were skipped.");
    // Point 0 and point 6 each gained two copies with their weight.
    ASSERT_EQ(link->GetControlPointIndicesCount(), 7);
    EXPECT_EQ(link->GetControlPointWeights()[3], 0.5);
    EXPECT_EQ(link->GetControlPointWeights()[6], 0.25);
    for (int k = 3; k < 7; ++k)
        EXPECT_GE(link->GetControlPointIndices()[k], 8);
    // Each copy of a point carries the point's target in both shapes.
    for (int s = 0; s < 2; ++s)
    {
        ASSERT_EQ(shapes[static_cast<size_t>(s)]->GetControlPointsCount(), 24);
        for (int k = 0; k < 24; ++k)
            EXPECT_EQ(shapes[static_cast<size_t>(s)]->GetControlPoints()[mesh->GetPolygonVertices()[k]][1], s);
    }
    // Every point now carries its corner's face normal: the top face's are +z.
    for (int v = 0; v < 4; ++v)
        EXPECT_TRUE(Near3(mesh->GetNormals()[mesh->GetPolygonVertex(1, v)], KQoxVector4(0, 0, 1), 1e-12));

    KArrayTemplate<int> merge;
    EXPECT_TRUE(mesh->BuildMergeList(merge, KQoxMesh::eBY_CONTROL_POINT, true));
    mesh->MergePointsForPolygonVerteNormals(merge);
    ASSERT_EQ(mesh->GetControlPointsCount(), 8);
    EXPECT_EQ(mesh->GetNormalsMappingMode(), KQoxLayerElement::eBY_POLYGON_VERTEX);
    const int expected[24] = {0, 3, 2, 1, 4, 5, 6, 7, 0, 1, 5, 4, 1, 2, 6, 5, 2, 3, 7, 6, 3, 0, 4, 7};
    for (int k = 0; k < 24; ++k)
        EXPECT_EQ(mesh->GetPolygonVertices()[k], expected[k]) << k;
    // Normals in polygon-vertex order again: the top face's are +z.
    EXPECT_TRUE(Near3(mesh->GetNormals()[4], KQoxVector4(0, 0, 1), 1e-12));
    EXPECT_TRUE(Near3(mesh->GetNormals()[0], KQoxVector4(0, 0, -1), 1e-12));
    ASSERT_EQ(link->GetControlPointIndicesCount(), 2);
    EXPECT_EQ(link->GetControlPointIndices()[1], 6);
    EXPECT_EQ(link->GetUserData(KString("ID")), KString("value"));
    EXPECT_FALSE(link->IsTransformParentSet());
    for (int s = 0; s < 2; ++s)
    {
        ASSERT_EQ(shapes[static_cast<size_t>(s)]->GetControlPointsCount(), 8);
        EXPECT_EQ(shapes[static_cast<size_t>(s)]->GetControlPoints()[5][0], 5.0);
        EXPECT_EQ(shapes[static_cast<size_t>(s)]->GetControlPoints()[5][1], s);
    }
}

// A list in which a point merges into a removed point is refused: no polygon
// vertex is left naming a point that is gone.
TEST_F(GeometryTest, MergeRefusesListsNamingRemovedPoints)
{
    KQoxMesh* mesh = Mesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2, 3}});
    mesh->InitNormals();
    KArrayTemplate<int> list;
    for (int entry : {0, 1, 0, 2}) // 3 names 2, which goes
        list.Add(entry);
    mesh->MergePointsForPolygonVerteNormals(list);
    EXPECT_EQ(mesh->GetControlPointsCount(), 4);
    list[3] = 0;
    mesh->MergePointsForPolygonVerteNormals(list);
    ASSERT_EQ(mesh->GetControlPointsCount(), 2);
    for (int k = 0; k < 4; ++k)
        EXPECT_LT(mesh->GetPolygonVertices()[k], 2);
    KArrayTemplate<int> shortList;
    mesh->MergePointsForPolygonVerteNormals(shortList); // shorter than the points: nothing
    EXPECT_EQ(mesh->GetControlPointsCount(), 2);
}

TEST_F(GeometryTest, MeshCopyIsDeep)
{
    KQoxMesh* mesh = Cube();
    mesh->InitNormals();
    KQoxLink* link = mManager->CreateKQoxLink();
    link->AddControlPointIndex(3, 1.0);
    mesh->AddLink(link);
    KQoxXMatrix pivot(KQoxVector4(1, 2, 3), KQoxVector4(0, 0, 0), KQoxVector4(1, 1, 1));
    mesh->SetPivot(pivot);
    KQoxMesh* copy = mManager->CreateKQoxMesh();
    *copy = *mesh;
    mManager->DestroyKQoxNodeAttribute(mesh); // the copy owns its own links
    EXPECT_EQ(copy->GetPolygonCount(), 6);
    EXPECT_EQ(copy->GetPolygonVertex(5, 3), 7);
    EXPECT_EQ(copy->GetControlPointsCount(), 8);
    ASSERT_EQ(copy->GetLinkCount(), 1);
    EXPECT_EQ(copy->GetLink(0)->GetControlPointIndices()[0], 3);
    KQoxXMatrix kept;
    EXPECT_TRUE(copy->GetPivot(kept) == pivot);
    EXPECT_EQ(copy->GetLink(1), nullptr);
    EXPECT_STREQ(copy->GetLastErrorString(), "Parameter out of range.");
}

// A long strip of quads: the merge list of its split form finds every copy.
TEST_F(GeometryTest, LargeMeshSplitsAndMergesBack)
{
    const int quads = 100000;
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    mesh->InitControlPoints(2 * (quads + 1));
    for (int i = 0; i <= quads; ++i)
    {
        mesh->GetControlPoints()[2 * i] = KQoxVector4(i, 0, 0, 1);
        mesh->GetControlPoints()[2 * i + 1] = KQoxVector4(i, 1, 0, 1);
    }
    for (int q = 0; q < quads; ++q)
    {
        mesh->BeginPolygon();
        for (int v : {2 * q, 2 * q + 2, 2 * q + 3, 2 * q + 1})
            mesh->AddPolygon(v);
    }
    mesh->InitNormals(4 * quads);
    KArrayTemplate<KArrayTemplate<KQoxMesh::KDuplicateVertex>*> split;
    mesh->BuildSplitList(split, KQoxMesh::eBY_CONTROL_POINT);
    mesh->SplitPointsForHardEdge(split);
    for (int i = 0; i < split.GetCount(); ++i)
        delete split[i];
    EXPECT_EQ(mesh->GetControlPointsCount(), 4 * quads);
    KArrayTemplate<int> merge;
    EXPECT_TRUE(mesh->BuildMergeList(merge, KQoxMesh::eBY_CONTROL_POINT, true));
    mesh->MergePointsForPolygonVerteNormals(merge);
    EXPECT_EQ(mesh->GetControlPointsCount(), 2 * (quads + 1));
    EXPECT_EQ(mesh->GetPolygonVertex(quads - 1, 2), 2 * quads + 1);
}

} // namespace
} // namespace geometrytest
