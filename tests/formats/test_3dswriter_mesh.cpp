// The 3DS writer's meshes, materials, lights and cameras, record by record:
// vertices and matrix, smoothing groups, triangulation, material lists and
// generated names, texture maps and their warnings, splitting of meshes past
// the 16-bit counts, bounds-checked indices.

#include "w3ds_test_util.h"
#include "common/qox_test_files.h"

#include <cmath>
#include <cstring>
#include <set>

using namespace w3dstest;
using qoxtest::TempDir;

namespace {

class Writer3dsMesh : public ::testing::Test
{
protected:
    TempDir mDir;
    std::string Path(const char* name = "mesh.3ds") const { return mDir.File(name); }

    // Writes the scene and reads it back; false when the write fails.
    std::unique_ptr<Read3ds> WriteRead(Scene& s, std::initializer_list<std::pair<int, int>> changes = {},
                                       std::string* message = nullptr)
    {
        auto options = Options(changes);
        if (!WriteScene(s, Path(), options.get(), message))
            return nullptr;
        return std::make_unique<Read3ds>(Path());
    }
};

void ExpectPoint(const point3ds& p, float x, float y, float z)
{
    EXPECT_NEAR(p.x, x, 1e-5) << "x";
    EXPECT_NEAR(p.y, y, 1e-5) << "y";
    EXPECT_NEAR(p.z, z, 1e-5) << "z";
}

std::vector<int> FaceList(const objmat3ds& entry)
{
    return std::vector<int>(entry.faceindex, entry.faceindex + entry.nfaces);
}

} // namespace

TEST_F(Writer3dsMesh, UnitQuadAndTranslatedNode)
{
    Scene s;
    s.AddQuad(nullptr, "Quad");
    KQoxNode* moved = s.AddQuad(nullptr, "Moved");
    moved->SetDefaultT(KQoxVector4(1, 2, 3));
    auto r = WriteRead(s);
    ASSERT_TRUE(r);
    auto quad = r->Mesh("Quad");
    ASSERT_NE(quad, nullptr);
    ASSERT_EQ(quad->nvertices, 4);
    ASSERT_EQ(quad->nfaces, 2);
    EXPECT_EQ(quad->ntextverts, 4);
    // (x, y, z) is written (x, -z, y).
    ExpectPoint(quad->vertexarray[2], 1, 0, 1);
    for (int f = 0; f < 2; ++f)
    {
        EXPECT_EQ(quad->facearray[f].flag, 7);
        EXPECT_EQ(quad->smootharray[f], 1u);
    }
    // KTriangulation: (0, 1, 2), (2, 3, 0).
    EXPECT_EQ(quad->facearray[1].v1, 2);
    EXPECT_EQ(quad->facearray[1].v2, 3);
    EXPECT_EQ(quad->facearray[1].v3, 0);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(quad->locmatrix[i], identity[i], 1e-6) << i;
    EXPECT_EQ(quad->isfast, 1);
    EXPECT_EQ(quad->nmats, 0);

    auto m = r->Mesh("Moved");
    ASSERT_NE(m, nullptr);
    ExpectPoint(m->vertexarray[0], 1, -3, 2);
    ExpectPoint(m->vertexarray[2], 2, -3, 3);
    EXPECT_FLOAT_EQ(m->locmatrix[9], 1);
    EXPECT_FLOAT_EQ(m->locmatrix[10], -3);
    EXPECT_FLOAT_EQ(m->locmatrix[11], 2);
}

TEST_F(Writer3dsMesh, RotationAndScalingReachVerticesAndMatrix)
{
    Scene s;
    KQoxNode* node = s.AddQuad(nullptr, "Turned");
    node->SetDefaultR(KQoxVector4(0, 90, 0)); // a quarter turn about the up axis
    node->SetDefaultS(KQoxVector4(2, 3, 4));
    auto r = WriteRead(s);
    auto m = r->Mesh("Turned");
    ASSERT_NE(m, nullptr);
    // Point (1, 0, 0): scaled (2, 0, 0), turned about Y to (0, 0, -2),
    // written (0, 2, 0).
    ExpectPoint(m->vertexarray[1], 0, 2, 0);
    // Point (0, 1, 0): scaled (0, 3, 0), unturned, written (0, 0, 3).
    ExpectPoint(m->vertexarray[3], 0, 0, 3);
    // Matrix rows: rotation (0, 0, 90) in 3DS axes scaled by (2, 4, 3).
    const float expected[9] = {0, 2, 0, -4, 0, 0, 0, 0, 3};
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(m->locmatrix[i], expected[i], 1e-5) << i;
}

TEST_F(Writer3dsMesh, FlatFacesGetDoublingSmoothingGroups)
{
    // A cube of 24 points, 4 per side, with the side normals as normals.
    Scene s;
    const double n[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    std::vector<KQoxVector4> points;
    std::vector<std::vector<int>> polygons;
    for (int side = 0; side < 6; ++side)
    {
        // Two axes across the side, ordered so that the corner order turns
        // (c - b) x (a - b) towards the normal.
        const KQoxVector4 normal(n[side][0], n[side][1], n[side][2]);
        KQoxVector4 u(n[side][1], n[side][2], n[side][0]);
        KQoxVector4 v(normal[1] * u[2] - normal[2] * u[1], normal[2] * u[0] - normal[0] * u[2],
                      normal[0] * u[1] - normal[1] * u[0]);
        const int base = static_cast<int>(points.size());
        const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : corners)
            points.push_back(KQoxVector4(normal[0] + c[0] * u[0] + c[1] * v[0], normal[1] + c[0] * u[1] + c[1] * v[1],
                                         normal[2] + c[0] * u[2] + c[1] * v[2]));
        polygons.push_back({base, base + 1, base + 2, base + 3});
    }
    KQoxMesh* mesh = s.NewMesh(points, polygons);
    mesh->InitNormals(0);
    for (int i = 0; i < 24; ++i)
        mesh->GetNormals()[i] = KQoxVector4(n[i / 4][0], n[i / 4][1], n[i / 4][2]);
    s.AddNode(nullptr, "Cube", mesh);
    // A second mesh whose normals disagree: every face in group 1.
    KQoxMesh* bent = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
    bent->InitNormals(0);
    for (int i = 0; i < 3; ++i)
        bent->GetNormals()[i] = KQoxVector4(0, 1, 0);
    s.AddNode(nullptr, "Bent", bent);
    auto r = WriteRead(s);
    auto cube = r->Mesh("Cube");
    ASSERT_NE(cube, nullptr);
    ASSERT_EQ(cube->nfaces, 12);
    int flat = 0;
    for (int f = 0; f < 12; ++f)
        flat += cube->smootharray[f] != 1u;
    ASSERT_EQ(flat, 12) << "the corner order of the test cube does not face outwards";
    for (int f = 0; f < 12; ++f)
        EXPECT_EQ(cube->smootharray[f], 1u << (2 + 2 * f)) << f;
    EXPECT_EQ(r->Mesh("Bent")->smootharray[0], 1u);
}

TEST_F(Writer3dsMesh, PolygonsAreTriangulatedAndShortOnesSkipped)
{
    Scene s;
    s.AddNode(nullptr, "Poly",
              s.NewMesh({{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 2, 0}, {-1, 1, 0}},
                        {{0, 1, 2, 3, 4}, {0, 1}, {3}, {0, 9, 1}, {-1, 0, 1}, {2, 3, 4}}));
    auto r = WriteRead(s);
    auto m = r->Mesh("Poly");
    ASSERT_NE(m, nullptr);
    // Pentagon: (0,1,2), (2,3,0), (0,3,4); the 2- and 1-gons give nothing;
    // corners naming no control point drop their triangle; then (2,3,4).
    ASSERT_EQ(m->nfaces, 4);
    EXPECT_EQ(m->facearray[2].v1, 0);
    EXPECT_EQ(m->facearray[2].v2, 3);
    EXPECT_EQ(m->facearray[2].v3, 4);
    EXPECT_EQ(m->facearray[3].v1, 2);
    EXPECT_EQ(m->facearray[3].v3, 4);
}

TEST_F(Writer3dsMesh, MaterialsByPolygonMakeOneEntryEach)
{
    Scene s;
    KQoxMesh* mesh = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}},
                               {{0, 1, 2}, {0, 2, 3}, {1, 4, 2}, {0, 1, 3}}, {1, 0, 1, 7});
    KQoxMaterial* red = s.AddMaterial(mesh, "Red");
    red->SetDiffuse(KQoxColor(1, 0, 0));
    red->SetSpecular(KQoxColor(0.5, 0.5, 0.2));
    red->SetEmissive(KQoxColor(0.3, 0.3, 0.0));
    red->SetOpacity(0.75);
    red->SetShininess(0.5);
    s.AddMaterial(mesh, "AVeryLongMaterialName");
    s.AddNode(nullptr, "Two", mesh);
    auto r = WriteRead(s);
    auto m = r->Mesh("Two");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->nmats, 2);
    // Material 0 (Red) first; the unknown index 7 counts as material 0.
    EXPECT_STREQ(m->matarray[0].name, "Red");
    EXPECT_EQ(FaceList(m->matarray[0]), (std::vector<int>{1, 3}));
    EXPECT_STREQ(m->matarray[1].name, "AVeryLongMat");
    EXPECT_EQ(FaceList(m->matarray[1]), (std::vector<int>{0, 2}));

    auto material = r->Material("Red");
    ASSERT_NE(material, nullptr);
    EXPECT_FLOAT_EQ(material->diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(material->specular.b, 0.2f);
    EXPECT_NEAR(material->shinstrength, 0.75 * 1.2 / 3.0, 0.01);
    EXPECT_NEAR(material->shininess, 0.5 * red->GetShininess(), 0.01);
    EXPECT_NEAR(material->selfillumpct, 0.2, 0.01);
    EXPECT_NEAR(material->transparency, 0.25, 0.01);
    EXPECT_EQ(material->twosided, 1);
    EXPECT_STREQ(material->texture.name, "");
    EXPECT_NE(r->Material("AVeryLongMat"), nullptr);

    // Materials off: no list, no material records.
    auto options = Options({{7, 0}});
    ASSERT_TRUE(WriteScene(s, Path("off.3ds"), options.get()));
    Read3ds off(Path("off.3ds"));
    EXPECT_EQ(off.Mesh("Two")->nmats, 0);
    EXPECT_EQ(GetMaterialCount3ds(off.db), 0u);
}

TEST_F(Writer3dsMesh, TexturedMeshWithoutMaterialGetsDefault)
{
    Scene s;
    KQoxMesh* mesh = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    KQoxTexture* texture = s.AddTexture(mesh, "Wood", "/maps/wood.bmp");
    texture->SetScale(2, 2);
    mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    mesh->InitTextureUV(0);
    mesh->GetLayer(0)->GetUVs()->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    for (int k = 0; k < 4; ++k)
        mesh->AddTextureUV(KQoxVector2(k * 0.25, 0.5));
    s.AddNode(nullptr, "Board", mesh);
    std::string message;
    auto r = WriteRead(s, {}, &message);
    ASSERT_TRUE(r);
    auto m = r->Mesh("Board");
    ASSERT_EQ(m->nmats, 1);
    EXPECT_STREQ(m->matarray[0].name, "1.Mat0T0");
    EXPECT_FLOAT_EQ(m->textarray[3].u, 0.75f);
    EXPECT_FLOAT_EQ(m->textarray[3].v, 0.5f);
    auto material = r->Material("1.Mat0T0");
    ASSERT_NE(material, nullptr);
    EXPECT_NEAR(material->diffuse.g, 0.588, 1e-3);
    EXPECT_EQ(material->specular.r, 0.0f);
    EXPECT_STREQ(material->texture.name, "wood.bmp");
    EXPECT_FLOAT_EQ(material->texture.percent, 1.0f);
    EXPECT_FLOAT_EQ(material->texture.uscale, 2.0f);
    EXPECT_FLOAT_EQ(material->texture.uoffset, -0.25f);
    EXPECT_FLOAT_EQ(material->texture.voffset, 0.25f);
    EXPECT_EQ(material->texture.tiling, Tile3ds);
    EXPECT_EQ(message, "Unable to locate texture file \"/maps/wood.bmp\".\n");
    // The scene gained no material.
    EXPECT_EQ(mesh->GMC(0), 0);
    EXPECT_EQ(s.manager->GetKQoxMaterialCount(), 0);
}

TEST_F(Writer3dsMesh, TextureNamesTooLongAreReplacedWithAWarning)
{
    // The image cannot be copied (it is not there): the map takes a
    // made-up name, and the message asks for the right one.
    Scene s;
    KQoxMesh* mesh = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
    KQoxMaterial* material = s.AddMaterial(mesh, "Oak");
    (void)material;
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    for (int i = 0; i < 4; ++i)
        s.AddTexture(mesh, ("T" + std::to_string(i)).c_str(), mDir.File("woodgrain_dark.bmp").c_str());
    mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->GetLayer(0)->GetTextures()->mIndexArray.SetCount(1);
    mesh->GetLayer(0)->GetTextures()->mIndexArray[0] = 3;
    s.AddNode(nullptr, "Plank", mesh);
    const std::string out = mDir.File("out/plank.3ds");
    std::filesystem::create_directory(mDir.File("out"));
    auto options = Options();
    std::string message;
    ASSERT_TRUE(WriteScene(s, out, options.get(), &message));
    Read3ds r(out);
    auto m = r.Mesh("Plank");
    ASSERT_EQ(m->nmats, 1);
    EXPECT_STREQ(m->matarray[0].name, "1.Mat0T3");
    auto written = r.Material("1.Mat0T3");
    ASSERT_NE(written, nullptr);
    EXPECT_STREQ(written->texture.name, "Tex3");
    EXPECT_EQ(message, "Unable to locate texture file \"" + mDir.File("woodgrain_dark.bmp") +
                           "\".\nTexture name file: \"woodgrain_dark.bmp\" is too long.\nChange manually texture "
                           "name: \"Tex3\" in material \"1.Mat0T3\" by \"" +
                           mDir.File("woodgrain_dark.bmp") + "\" for proper work\n\n");
    EXPECT_EQ(qoxtest::ListDirectory(mDir.File("out")), std::vector<std::string>{"plank.3ds"});
}

TEST_F(Writer3dsMesh, MaterialRecordsFromTheirParts)
{
    Scene s;
    KQoxWriter3DS writer(*s.manager);
    KQoxMaterial* chrome = s.manager->CreateKQoxMaterial("ChromeAndSomeMoreText");
    auto record = writer.ConvMaterialPBto3DS(chrome, nullptr, nullptr, 0, -1, -1);
    EXPECT_STREQ(record->name, "ChromeAndSomeMo");
    EXPECT_STREQ(record->texture.name, "");

    // A planar first texture gives its place to the second: both maps carry
    // it, and the name keeps both indices.
    KQoxTexture* planar = s.manager->CreateKQoxTexture("Planar");
    planar->SetFileName("/p/planar.tga");
    planar->SetMappingType(KQoxTexture::ePLANAR);
    KQoxTexture* uv = s.manager->CreateKQoxTexture("Uv");
    uv->SetFileName("t/a.bmp");
    uv->SetMappingType(KQoxTexture::eUV);
    uv->SetDefaultAlpha(0.8);
    uv->SetBlendMode(KQoxTexture::eADDITIVE);
    uv->SetWrapMode(KQoxTexture::eCLAMP, KQoxTexture::eCLAMP);
    uv->SetTranslation(0.25, 0.5);
    uv->SetRotation(0, 0, 90);
    record = writer.ConvMaterialPBto3DS(chrome, planar, uv, 2, 4, 5);
    EXPECT_STREQ(record->name, "0.Mat2T4T5");
    EXPECT_STREQ(record->texture.name, "t/a.bmp"); // at most 11 characters: kept whole
    EXPECT_STREQ(record->texture2.name, "t/a.bmp");
    EXPECT_FLOAT_EQ(record->texture.percent, 1.0f);
    EXPECT_FLOAT_EQ(record->texture2.percent, 0.4f);
    EXPECT_EQ(record->texture.tiling, Decal3ds);
    // Rotation 90: x = 0.25, y = 0 turned by -90 degrees gives (0, -0.25).
    EXPECT_FLOAT_EQ(record->texture.rotation, -90.0f);
    EXPECT_NEAR(record->texture.uoffset, -0.5, 1e-6);
    EXPECT_NEAR(record->texture.voffset, 0.75, 1e-6);

    // An empty file name drops the texture: the material's own name.
    KQoxTexture* empty = s.manager->CreateKQoxTexture("Empty");
    empty->SetMappingType(KQoxTexture::eUV);
    record = writer.ConvMaterialPBto3DS(chrome, empty, nullptr, 0, 0, -1);
    EXPECT_STREQ(record->name, "ChromeAndSomeMo");

    // Generated names longer than 15 characters are cut and kept unique.
    auto first = writer.ConvMaterialPBto3DS(chrome, uv, uv, 12345, 67890, 11111);
    auto second = writer.ConvMaterialPBto3DS(chrome, uv, uv, 12345, 67890, 11111);
    EXPECT_LE(std::strlen(first->name), 15u);
    EXPECT_LE(std::strlen(second->name), 15u);
    EXPECT_STRNE(first->name, second->name);
    EXPECT_STREQ(first->name, "0.Mat12345T6789");
}

TEST_F(Writer3dsMesh, MapNamesNameTheCopyBesideTheFile)
{
    // The image is copied beside the written file under its own name: a
    // short relative path is kept whole, an absolute one, however short,
    // names a folder of this machine and gives way to the file name.
    Scene s;
    KQoxWriter3DS writer(*s.manager);
    const struct
    {
        const char* file;
        const char* map;
    } cases[] = {{"t/a.bmp", "t/a.bmp"}, {"/t/a.bmp", "a.bmp"}, {"/a.bmp", "a.bmp"}, {"/maps/wood.bmp", "wood.bmp"}};
    for (const auto& c : cases)
    {
        KQoxTexture* texture = s.manager->CreateKQoxTexture(c.file);
        texture->SetFileName(c.file);
        texture->SetMappingType(KQoxTexture::eUV);
        auto record = writer.ConvMaterialPBto3DS(nullptr, texture, nullptr, 0, 0, -1);
        ASSERT_TRUE(record);
        EXPECT_STREQ(record->texture.name, c.map) << c.file;
    }
}

TEST_F(Writer3dsMesh, UVsPerPolygonVertexWeldedOrNot)
{
    Scene s;
    // Two triangles sharing the edge 0-2, with different UVs at point 0.
    KQoxMesh* mesh = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    s.AddTexture(mesh, "Wood", "wood.bmp");
    mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    const double uvs[6][2] = {{0.1, 0.1}, {0.2, 0.2}, {0.3, 0.3}, {0.6, 0.6}, {0.7, 0.7}, {0.8, 0.8}};
    for (int i = 0; i < 6; ++i)
        mesh->AddTextureUV(KQoxVector2(uvs[i][0], uvs[i][1]));
    for (int p = 0, k = 0; p < 2; ++p)
        for (int c = 0; c < 3; ++c)
            mesh->SetTextureUVIndex(p, c, k++);
    mesh->SetTextureUVIndex(1, 2, 42); // no such UV: (0, 0)
    s.AddNode(nullptr, "Welded", mesh);
    const int nodes = s.manager->GetKQoxNodeCount();
    auto r = WriteRead(s, {{17, 0}});
    auto welded = r->Mesh("Welded");
    ASSERT_EQ(welded->nvertices, 4);
    EXPECT_FLOAT_EQ(welded->textarray[0].u, 0.6f); // the last polygon vertex wins
    EXPECT_FLOAT_EQ(welded->textarray[1].u, 0.2f);
    EXPECT_FLOAT_EQ(welded->textarray[3].u, 0.0f);

    auto unwelded = WriteRead(s, {{17, 1}});
    auto m = unwelded->Mesh("Welded");
    ASSERT_EQ(m->nvertices, 6);
    ASSERT_EQ(m->nfaces, 2);
    EXPECT_EQ(m->facearray[1].v1, 3);
    EXPECT_FLOAT_EQ(m->textarray[0].u, 0.1f);
    EXPECT_FLOAT_EQ(m->textarray[3].u, 0.6f);
    EXPECT_FLOAT_EQ(m->textarray[5].u, 0.0f);
    ExpectPoint(m->vertexarray[4], 1, 0, 1);
    // The scene's mesh is not unwelded, and the copy is gone.
    EXPECT_EQ(mesh->GetControlPointsCount(), 4);
    EXPECT_EQ(s.manager->GetKQoxNodeCount(), nodes);
}

TEST_F(Writer3dsMesh, MeshesPastSixtyFiveThousandAreSplit)
{
    // A strip of 70,000 triangles over 70,002 points.
    Scene s;
    const int triangles = 70000;
    std::vector<KQoxVector4> points;
    for (int i = 0; i < triangles + 2; ++i)
        points.push_back(KQoxVector4(i / 2, i % 2, 0));
    std::vector<std::vector<int>> polygons;
    for (int i = 0; i < triangles; ++i)
        polygons.push_back({i, i + 1, i + 2});
    std::vector<int> materials(triangles);
    for (int i = 0; i < triangles; ++i)
        materials[i] = i % 2;
    KQoxMesh* mesh = s.NewMesh(points, polygons, materials);
    s.AddMaterial(mesh, "Even");
    s.AddMaterial(mesh, "Odd");
    KQoxNode* strip = s.AddNode(nullptr, "Strip", mesh);
    s.AddQuad(strip, "Child");
    auto r = WriteRead(s);
    ASSERT_TRUE(r);
    ASSERT_EQ(GetMeshCount3ds(r->db), 3u);
    auto first = r->Mesh("Strip");
    auto second = r->Mesh("Strip1");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->nfaces, 65533); // the first portion fills its vertices
    EXPECT_EQ(first->nvertices, 65535);
    EXPECT_EQ(first->nfaces + second->nfaces, triangles);
    // The second portion's first face is face 65533 of the strip.
    const face3ds& f = second->facearray[0];
    ExpectPoint(second->vertexarray[f.v1], 65533 / 2, 0, 65533 % 2);
    ExpectPoint(second->vertexarray[f.v3], 65535 / 2, 0, 65535 % 2);
    // Material lists per portion, with face numbers of the portion.
    ASSERT_EQ(second->nmats, 2);
    EXPECT_STREQ(second->matarray[0].name, "Even");
    EXPECT_EQ(second->matarray[0].faceindex[0], 1); // face 65534 is even
    EXPECT_EQ(second->matarray[0].nfaces + second->matarray[1].nfaces, second->nfaces);
    // Both portions move; the child hangs under the first.
    EXPECT_NE(r->Object("Strip"), nullptr);
    EXPECT_NE(r->Object("Strip1"), nullptr);
    EXPECT_STREQ(r->Object("Child")->parent, "Strip");
}

TEST_F(Writer3dsMesh, InvalidIndicesFallBack)
{
    Scene s;
    KQoxMesh* mesh = s.NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
    s.AddMaterial(mesh, "Only");
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_CONTROL_POINT); // no index per point
    s.AddTexture(mesh, "Wood", "wood.bmp");
    mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
    mesh->GetLayer(0)->GetTextures()->mIndexArray.SetCount(1);
    mesh->GetLayer(0)->GetTextures()->mIndexArray[0] = 99; // no such texture
    mesh->InitTextureUV(0);
    mesh->GetLayer(0)->GetUVs()->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    mesh->AddTextureUV(KQoxVector2(0.5, 0.5)); // one UV for three points
    s.AddNode(nullptr, "Odd", mesh);
    auto r = WriteRead(s);
    auto m = r->Mesh("Odd");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->nmats, 1);
    EXPECT_STREQ(m->matarray[0].name, "Only");
    EXPECT_FLOAT_EQ(m->textarray[0].u, 0.5f);
    EXPECT_FLOAT_EQ(m->textarray[2].u, 0.0f);
}

TEST_F(Writer3dsMesh, LightsAndCameras)
{
    Scene s;
    KQoxLight* omni = s.NewLight(KQoxLight::ePOINT);
    KQoxNode* lamp = s.AddNode(nullptr, "KeyLightNumber1", omni);
    lamp->SetDefaultT(KQoxVector4(1, 2, 3));
    KQoxColor color(1, 0.5, 0.25);
    omni->SetDefaultColor(color);
    omni->SetDefaultIntensity(50);
    KQoxLight* spot = s.NewLight(KQoxLight::eSPOT);
    s.AddNode(nullptr, "Spot", spot);
    spot->SetDefaultConeAngle(60);
    KQoxCamera* a = s.manager->CreateKQoxCamera();
    KQoxCamera* b = s.manager->CreateKQoxCamera();
    s.AddNode(nullptr, "CamA", a);
    s.AddNode(nullptr, "CamB", b);
    a->SetDefaultBackgroundColor(KQoxColor(1, 0, 0));
    b->SetDefaultBackgroundColor(KQoxColor(0, 0.5, 1));
    auto r = WriteRead(s);
    ASSERT_EQ(GetOmnilightCount3ds(r->db), 1u);
    light3ds* l = nullptr;
    GetOmnilightByIndex3ds(r->db, 0, &l);
    K3dsPtr<light3ds> light(l);
    EXPECT_STREQ(light->name, "KeyLigh"); // the node's 3DS name
    ExpectPoint(light->pos, 1, -3, 2);
    EXPECT_FLOAT_EQ(light->color.g, 0.5f);
    EXPECT_FLOAT_EQ(light->multiplier, 0.5f);
    l = nullptr;
    GetSpotlightByIndex3ds(r->db, 0, &l);
    K3dsPtr<light3ds> s2(l);
    EXPECT_FLOAT_EQ(s2->spot->hotspot, 60.0f);
    EXPECT_FLOAT_EQ(s2->spot->falloff, 45.0f);
    ASSERT_EQ(GetCameraCount3ds(r->db), 2u);
    background3ds* bg = nullptr;
    InitBackground3ds(&bg);
    GetBackground3ds(r->db, &bg);
    K3dsPtr<background3ds> background(bg);
    EXPECT_FLOAT_EQ(background->solid.g, 0.5f); // the camera written last
    EXPECT_FLOAT_EQ(background->solid.b, 1.0f);
}

TEST(Writer3dsAxes, TransformsInThreeDsAxes)
{
    double out[3];
    KQoxWriter3DS::ConvTPBto3DS(out, KQoxVector4(1, 2, 3));
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], -3);
    EXPECT_EQ(out[2], 2);
    KQoxWriter3DS::ConvSPBto3DS(out, KQoxVector4(2, 3, 4));
    EXPECT_EQ(out[1], 4);
    EXPECT_EQ(out[2], 3);
    KQoxWriter3DS::ConvRPBto3DS(out, KQoxVector4(0, 0, 0));
    EXPECT_NEAR(std::fabs(out[0]) + std::fabs(out[1]) + std::fabs(out[2]), 0, 1e-9);
    KQoxWriter3DS::ConvRPBto3DS(out, KQoxVector4(0, 90, 0));
    EXPECT_NEAR(out[0], 0, 1e-9);
    EXPECT_NEAR(out[1], 0, 1e-9);
    EXPECT_NEAR(out[2], 90, 1e-9);
    KQoxWriter3DS::ConvRPBto3DS(out, KQoxVector4(30, 0, 0)); // about X: the same in both
    EXPECT_NEAR(out[0], 30, 1e-9);
}

TEST_F(Writer3dsMesh, RandomIndicesNeverReachTheFile)
{
    // Meshes whose corners, materials, textures and UVs name anything at
    // all: every written face and material entry stays within its record.
    Scene s;
    unsigned seed = 12345;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<unsigned>(range));
    };
    for (int m = 0; m < 40; ++m)
    {
        const int points = 1 + next(30);
        std::vector<KQoxVector4> p;
        for (int i = 0; i < points; ++i)
            p.push_back(KQoxVector4(next(100), next(100), next(100)));
        std::vector<std::vector<int>> polygons;
        std::vector<int> materials;
        for (int k = 0; k < 1 + next(20); ++k)
        {
            std::vector<int> polygon;
            for (int c = 0; c < next(7); ++c)
                polygon.push_back(next(points + 4) - 2);
            polygons.push_back(polygon);
            materials.push_back(next(6) - 1);
        }
        KQoxMesh* mesh = s.NewMesh(p, polygons, materials);
        for (int i = 0; i < next(3); ++i)
            s.AddMaterial(mesh, ("M" + std::to_string(m) + "_" + std::to_string(i)).c_str());
        if (next(2))
        {
            s.AddTexture(mesh, ("T" + std::to_string(m)).c_str(), "t.bmp");
            mesh->InitTextureIndices(next(2) ? KQoxLayerElement::eBY_POLYGON : KQoxLayerElement::eALL_SAME);
            auto& indices = mesh->GetLayer(0)->GetTextures()->mIndexArray;
            indices.SetCount(next(4));
            for (int i = 0; i < indices.GetCount(); ++i)
                indices[i] = next(5) - 2;
            mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
            for (int i = 0; i < next(5); ++i)
                mesh->AddTextureUV(KQoxVector2(0.5, 0.5));
            for (int poly = 0; poly < mesh->GetPolygonCount(); ++poly)
                for (int c = 0; c < mesh->GetPolygonSize(poly); ++c)
                    mesh->SetTextureUVIndex(poly, c, next(8) - 2);
        }
        s.AddNode(nullptr, ("R" + std::to_string(m)).c_str(), mesh);
    }
    for (int welded = 0; welded < 2; ++welded)
    {
        auto r = WriteRead(s, {{17, welded}});
        ASSERT_TRUE(r);
        for (ulong3ds i = 0; i < GetMeshCount3ds(r->db); ++i)
        {
            auto m = r->Mesh(static_cast<int>(i));
            ASSERT_NE(m, nullptr);
            for (int f = 0; f < m->nfaces; ++f)
            {
                EXPECT_LT(m->facearray[f].v1, m->nvertices);
                EXPECT_LT(m->facearray[f].v2, m->nvertices);
                EXPECT_LT(m->facearray[f].v3, m->nvertices);
            }
            int listed = 0;
            for (int e = 0; e < m->nmats; ++e)
            {
                listed += m->matarray[e].nfaces;
                for (int k = 0; k < m->matarray[e].nfaces; ++k)
                    EXPECT_LT(m->matarray[e].faceindex[k], m->nfaces);
                EXPECT_LE(std::strlen(m->matarray[e].name), 15u);
            }
            if (m->nmats)
            {
                EXPECT_EQ(listed, m->nfaces);
            }
        }
    }
}
