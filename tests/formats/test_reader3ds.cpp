// The 3DS reader's conversion members fed with hand-built toolkit records:
// meshes (smoothing split, matrix, UVs, material and texture indices),
// materials and texture placement, lights and cameras, and key tracks.

#include <algorithm>
#include <cmath>

#include "formats/reader3ds_test_util.h"

using namespace reader3dstest;

namespace {

const double kPi = 3.14159265358979323846;

void ExpectVector(const KQoxVector4& v, double x, double y, double z, double tolerance = 1e-6)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

// A unit cube: 8 vertices, two faces a side, side s in smoothing groups
// groupOf(s).
template <class Groups>
mesh3ds* Cube(Groups groupOf)
{
    std::vector<point3ds> vertices;
    for (int v = 0; v < 8; ++v)
        vertices.push_back({float(v & 1), float((v >> 1) & 1), float((v >> 2) & 1)});
    // Counter-clockwise seen from outside in the 3DS axes.
    const ushort3ds quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::vector<face3ds> faces;
    for (const auto& q : quads)
    {
        faces.push_back({q[0], q[1], q[2], 7});
        faces.push_back({q[0], q[2], q[3], 7});
    }
    mesh3ds* mesh = NewMesh("Cube", vertices, faces, InitSmoothArray3ds);
    for (int f = 0; f < 12; ++f)
        mesh->smootharray[f] = groupOf(f / 2);
    return mesh;
}

struct MeshFixture : ::testing::Test
{
    Fixture f;
    std::vector<mesh3ds*> meshes;
    KQoxMesh* Convert(mesh3ds* record)
    {
        if (std::find(meshes.begin(), meshes.end(), record) == meshes.end())
            meshes.push_back(record);
        KQoxMesh* mesh = f.manager->CreateKQoxMesh();
        EXPECT_TRUE(f.reader.ConvertMesh3DStoPB(record, mesh));
        return mesh;
    }
    ~MeshFixture() override
    {
        for (mesh3ds* m : meshes)
            RelMeshObj3ds(&m);
    }
};

} // namespace

// ---- Meshes ----

using Reader3dsMesh = MeshFixture;

TEST_F(Reader3dsMesh, CubeWithAGroupPerSideSplitsIntoFlatSides)
{
    f.reader.mScaleFactor = 1.0;
    KQoxMesh* mesh = Convert(Cube([](int side) { return 1u << side; }));
    ASSERT_EQ(mesh->GetControlPointsCount(), 24);
    ASSERT_EQ(mesh->GetPolygonCount(), 12);
    // Every corner of a side shares its side's normal, which points out.
    const KQoxVector4* normals = mesh->GetNormals();
    const KQoxVector4* points = mesh->GetControlPoints();
    for (int p = 0; p < 12; ++p)
    {
        KQoxVector4 n = normals[mesh->GetPolygonVertex(p, 0)];
        for (int k = 1; k < 3; ++k)
            ExpectVector(normals[mesh->GetPolygonVertex(p, k)], n[0], n[1], n[2]);
        EXPECT_NEAR(std::fabs(n[0]) + std::fabs(n[1]) + std::fabs(n[2]), 1.0, 1e-9);
        // Outward: away from the centre (0.5, 0.5, -0.5) in scene axes.
        const KQoxVector4& c = points[mesh->GetPolygonVertex(p, 0)];
        EXPECT_GT((c[0] - 0.5) * n[0] + (c[1] - 0.5) * n[1] + (c[2] + 0.5) * n[2], 0.0);
    }
}

TEST_F(Reader3dsMesh, CubeWithOneGroupKeepsEightAveragedPoints)
{
    f.reader.mScaleFactor = 1.0;
    KQoxMesh* mesh = Convert(Cube([](int) { return 1u; }));
    ASSERT_EQ(mesh->GetControlPointsCount(), 8);
    // Vertex 0 (0, 0, 0) touches the sides -x, -y, -z: in scene axes
    // (-1, -1, +1) normalised, weighted by two faces on each side.
    const double d = 1.0 / std::sqrt(3.0);
    ExpectVector(mesh->GetNormals()[0], -d, -d, d);
    ExpectVector(mesh->GetControlPoints()[7], 1.0, 1.0, -1.0);
}

TEST_F(Reader3dsMesh, SmoothGroupOffOrAbsentKeepsVerticesOneForOne)
{
    f.reader.mScaleFactor = 1.0;
    f.reader.mSmoothGroup = false;
    EXPECT_EQ(Convert(Cube([](int side) { return 1u << side; }))->GetControlPointsCount(), 8);
    f.reader.mSmoothGroup = true;
    mesh3ds* plain = Cube([](int) { return 0u; });
    std::free(plain->smootharray);
    plain->smootharray = nullptr;
    EXPECT_EQ(Convert(plain)->GetControlPointsCount(), 8);
}

TEST_F(Reader3dsMesh, FacesWithoutGroupShareTheirPointsAndNoPointStaysAtTheOrigin)
{
    // A strip of three faces, all without a smoothing group, around vertex
    // 1 and 2: every face meets the same items, so the split adds none.
    f.reader.mScaleFactor = 1.0;
    mesh3ds* strip = NewMesh("Strip", {{1, 1, 0}, {2, 1, 0}, {1, 2, 0}, {2, 2, 0}, {3, 3, 0}},
                             {{0, 1, 2, 0}, {1, 3, 2, 0}, {3, 4, 2, 0}}, InitSmoothArray3ds);
    KQoxMesh* mesh = Convert(strip);
    ASSERT_EQ(mesh->GetControlPointsCount(), 5);
    for (int i = 0; i < 5; ++i)
    {
        const KQoxVector4& p = mesh->GetControlPoints()[i];
        EXPECT_NE(p[0], 0.0) << i;
        EXPECT_NEAR(mesh->GetNormals()[i][1], 1.0, 1e-9) << "the strip faces +z, the scene's +y";
    }
    // A grouped face beside them gets its own points at the shared vertices.
    mesh3ds* mixed = NewMesh("Mixed", {{1, 1, 0}, {2, 1, 0}, {1, 2, 0}, {2, 2, 0}}, {{0, 1, 2, 0}, {1, 3, 2, 0}},
                             InitSmoothArray3ds);
    mixed->smootharray[1] = 4;
    KQoxMesh* split = Convert(mixed);
    ASSERT_EQ(split->GetControlPointsCount(), 6);
    EXPECT_EQ(split->GetPolygonVertex(1, 0), 4);
    EXPECT_EQ(split->GetPolygonVertex(1, 1), 3);
    EXPECT_EQ(split->GetPolygonVertex(1, 2), 5);
    ExpectVector(split->GetControlPoints()[4], 2.0, 0.0, -1.0);
    ExpectVector(split->GetControlPoints()[5], 1.0, 0.0, -2.0);
}

TEST_F(Reader3dsMesh, GroupsThatMeetLaterShareTheFirstPointOfTheirVertex)
{
    // Faces in groups 1, 2, then 3 around vertex 0: the third joins both
    // groups into the vertex's first point; the point made for group 2
    // keeps the vertex's position.
    f.reader.mScaleFactor = 1.0;
    mesh3ds* fan = NewMesh("Fan", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}},
                           {{0, 1, 2, 0}, {0, 2, 3, 0}, {0, 3, 4, 0}}, InitSmoothArray3ds);
    fan->smootharray[0] = 1;
    fan->smootharray[1] = 2;
    fan->smootharray[2] = 3;
    fan->vertexarray[0] = {0.5f, 0.25f, 0.0f};
    KQoxMesh* mesh = Convert(fan);
    EXPECT_EQ(mesh->GetPolygonVertex(0, 0), 0);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 0), 0);
    EXPECT_EQ(mesh->GetPolygonVertex(2, 0), 0);
    for (int i = 0; i < mesh->GetControlPointsCount(); ++i)
        EXPECT_FALSE(mesh->GetControlPoints()[i][0] == 0.0 && mesh->GetControlPoints()[i][1] == 0.0 &&
                     mesh->GetControlPoints()[i][2] == 0.0)
            << i;
}

TEST_F(Reader3dsMesh, MatrixScaleAndAxes)
{
    f.reader.mScaleFactor = 2.54;
    KQoxMesh* plain = Convert(NewMesh("P", {{1, 2, 3}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2, 0}}));
    ExpectVector(plain->GetControlPoints()[0], 2.54, 7.62, -5.08);

    // The inverse of the mesh matrix brings world vertices back to the
    // object: axes scaled by 2 and sheared, translation (5, 6, 7).
    f.reader.mScaleFactor = 1.0;
    mesh3ds* moved = NewMesh("M", {{1, 2, 3}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2, 0}});
    const float m[12] = {2, 0, 0, 1, 2, 0, 0, 0, 2, 5, 6, 7};
    std::memcpy(moved->locmatrix, m, sizeof m);
    // (x, y, z).A + t = (1, 2, 3): z = -2, y = -2, 2x + y = -4 -> x = -1.
    ExpectVector(Convert(moved)->GetControlPoints()[0], -1.0, -2.0, 2.0);

    // A flat matrix is taken as the identity.
    mesh3ds* flat = NewMesh("F", {{1, 2, 3}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2, 0}});
    const float singular[12] = {1, 0, 0, 0, 1e-4f, 0, 0, 0, 1e-3f, 9, 9, 9};
    std::memcpy(flat->locmatrix, singular, sizeof singular);
    ExpectVector(Convert(flat)->GetControlPoints()[0], 1.0, 3.0, -2.0);

    // With the reference node the scale stays out of the points.
    f.reader.mScaleFactor = 2.54;
    f.reader.mReferenceNodeFlag = true;
    ExpectVector(Convert(NewMesh("R", {{1, 2, 3}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2, 0}}))->GetControlPoints()[0], 1.0,
                 3.0, -2.0);
}

TEST_F(Reader3dsMesh, IndicesOutOfRangeAreSkipped)
{
    f.reader.mScaleFactor = 1.0;
    mesh3ds* bad = NewMesh("Bad", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                           {{0, 1, 2, 0}, {0, 1, 3, 0}, {65535, 0, 1, 0}, {2, 1, 0, 0}}, InitSmoothArray3ds);
    AddMaterialGroup(bad, "Nothing", {0, 4, 65535});
    KQoxMesh* mesh = Convert(bad);
    EXPECT_EQ(mesh->GetControlPointsCount(), 3);
    ASSERT_EQ(mesh->GetPolygonCount(), 2);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 0), 2);
    EXPECT_TRUE(f.reader.ConvertMesh3DStoPB(nullptr, mesh));
}

TEST_F(Reader3dsMesh, UVsByPolygonVertexFromTheTextureVertices)
{
    f.reader.mScaleFactor = 1.0;
    mesh3ds* textured =
        NewMesh("T", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2, 0}, {2, 1, 3, 0}}, InitTextArray3ds);
    for (int v = 0; v < 4; ++v)
        textured->textarray[v] = {0.25f * v, 1.0f - 0.25f * v};
    KQoxMesh* mesh = Convert(textured);
    ASSERT_EQ(mesh->GetTextureUVCount(), 4);
    EXPECT_EQ(mesh->GetTextureUVMappingMode(), KQoxLayerElement::eBY_POLYGON_VERTEX);
    EXPECT_FLOAT_EQ(mesh->GetTextureUV()[3][0], 0.75);
    EXPECT_FLOAT_EQ(mesh->GetTextureUV()[3][1], 0.25);
    EXPECT_EQ(mesh->GetTextureUVIndex(1, 0), 2);
    EXPECT_EQ(mesh->GetTextureUVIndex(1, 2), 3);

    // Fewer texture vertices than vertices, or none: (0, 0) for the rest.
    textured->ntextverts = 2;
    KQoxMesh* short_ = Convert(NewMesh("S", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}}));
    ASSERT_EQ(short_->GetTextureUVCount(), 3);
    for (int v = 0; v < 3; ++v)
        EXPECT_EQ(short_->GetTextureUV()[v][0] + short_->GetTextureUV()[v][1], 0.0);
}

TEST_F(Reader3dsMesh, MaterialGroupsGiveEachFaceItsMaterialIndex)
{
    f.reader.mScaleFactor = 1.0;
    // A material of an earlier read of the manager is not this read's.
    KQoxMaterial* older = f.manager->CreateKQoxMaterial("Red");
    for (const char* name : {"Red", "Blue"})
    {
        material3ds* record = nullptr;
        InitMaterial3ds(&record);
        ftktest::SetName(record->name, sizeof record->name, name);
        f.reader.mMaterials.push_back(record);
    }
    ASSERT_TRUE(f.reader.ImportMaterials());
    mesh3ds* quads = NewMesh("Q", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                             {{0, 1, 2, 0}, {2, 1, 3, 0}, {0, 1, 3, 0}, {0, 3, 2, 0}});
    AddMaterialGroup(quads, "Blue", {0});
    AddMaterialGroup(quads, "Red", {1});
    AddMaterialGroup(quads, "Red", {2}); // a second group of a material met before
    AddMaterialGroup(quads, "Unknown", {3});
    KQoxMesh* mesh = Convert(quads);
    ASSERT_EQ(mesh->GMC(0), 2);
    EXPECT_STREQ(mesh->GM(0, 0)->GetName(), "Material::Blue");
    EXPECT_STREQ(mesh->GM(1, 0)->GetName(), "Material::Red");
    EXPECT_NE(mesh->GM(1, 0), older);
    const int* indices = mesh->GetMaterialIndices();
    ASSERT_NE(indices, nullptr);
    EXPECT_EQ(indices[0], 0);
    EXPECT_EQ(indices[1], 1);
    EXPECT_EQ(indices[2], 1);
    EXPECT_EQ(indices[3], 0);

    // Materials off: no material is used.
    f.reader.mMaterialsFlag = false;
    EXPECT_EQ(Convert(quads)->GMC(0), 0);
    for (material3ds*& record : f.reader.mMaterials)
        ReleaseMaterial3ds(&record);
    f.reader.mMaterials.clear();
}

TEST_F(Reader3dsMesh, SecondTextureMakesLayerOne)
{
    f.reader.mScaleFactor = 1.0;
    material3ds* record = nullptr;
    InitMaterial3ds(&record);
    ftktest::SetName(record->name, sizeof record->name, "Wood");
    ftktest::SetName(record->texture.name, sizeof record->texture.name, "wood.jpg");
    ftktest::SetName(record->texture2.name, sizeof record->texture2.name, "bump.gif");
    record->texture.uscale = record->texture.vscale = 1.0f;
    record->texture2.uscale = record->texture2.vscale = 1.0f;
    f.reader.mMaterials.push_back(record);
    ASSERT_TRUE(f.reader.ImportMaterials());

    mesh3ds* quads =
        NewMesh("Q", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2, 0}, {2, 1, 3, 0}}, InitTextArray3ds);
    AddMaterialGroup(quads, "wood", {1}); // names of materials compare without case for the textures
    AddMaterialGroup(quads, "Wood", {0});
    KQoxMesh* mesh = Convert(quads);
    ASSERT_EQ(mesh->GTC(0), 2);
    EXPECT_STREQ(mesh->GT(0, 0)->GetName(), "Texture::wood.jpg");
    EXPECT_STREQ(mesh->GT(1, 0)->GetName(), "Texture::bump.gif");
    // Layer 0 carries the second texture's index, layer 1 the first's.
    EXPECT_EQ(mesh->GetTextureIndices()[0], 1);
    ASSERT_EQ(mesh->GetLayerCount(), 2);
    KQoxLayer* layer1 = mesh->GetLayer(1);
    ASSERT_NE(layer1->GetTextures(), nullptr);
    EXPECT_EQ(layer1->GetTextures()->mBlendMode, KQoxLayerElementTexture::eADD);
    EXPECT_EQ(layer1->GetTextures()->mAlpha, 1.0);
    ASSERT_EQ(layer1->GetTextures()->mIndexArray.GetCount(), 2);
    EXPECT_EQ(layer1->GetTextures()->mIndexArray[0], 0);
    ASSERT_EQ(layer1->GetMaterials()->mIndexArray.GetCount(), 2);
    // Layer 1's UVs are layer 0's.
    KQoxLayerElementUV* uv0 = mesh->GetLayer(0)->GetUVs();
    KQoxLayerElementUV* uv1 = layer1->GetUVs();
    ASSERT_EQ(uv1->mIndexArray.GetCount(), 6);
    EXPECT_EQ(uv1->mDirectArray.GetCount(), uv0->mDirectArray.GetCount());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(uv1->mIndexArray[i], uv0->mIndexArray[i]);
    EXPECT_EQ(uv1->mMappingMode, KQoxLayerElement::eBY_POLYGON_VERTEX);

    // Texture mapping off: UVs still come, texture indices are 0.
    f.reader.mTextureMapping = false;
    KQoxMesh* untextured = Convert(quads);
    EXPECT_EQ(untextured->GTC(0), 0);
    EXPECT_EQ(untextured->GetTextureUVCount(), 4);
    EXPECT_EQ(untextured->GetLayerCount(), 1);
    ReleaseMaterial3ds(&f.reader.mMaterials[0]);
    f.reader.mMaterials.clear();
}

// ---- Materials and texture placement ----

namespace {

struct MaterialFixture : ::testing::Test
{
    Fixture f;
    material3ds* Add(const char* name, const char* map1 = "", const char* map2 = "")
    {
        material3ds* record = nullptr;
        InitMaterial3ds(&record);
        ftktest::SetName(record->name, sizeof record->name, name);
        ftktest::SetName(record->texture.name, sizeof record->texture.name, map1);
        ftktest::SetName(record->texture2.name, sizeof record->texture2.name, map2);
        for (bitmap3ds* map : {&record->texture, &record->texture2})
        {
            map->uscale = map->vscale = 1.0f;
            map->tiling = Tile3ds;
        }
        f.reader.mMaterials.push_back(record);
        return record;
    }
    KQoxTexture* Texture(const char* name) { return f.manager->FindKQoxTexture(name, 0); }
    ~MaterialFixture() override
    {
        for (material3ds*& m : f.reader.mMaterials)
            ReleaseMaterial3ds(&m);
        f.reader.mMaterials.clear();
    }
};

} // namespace

using Reader3dsMaterials = MaterialFixture;

TEST_F(Reader3dsMaterials, ColoursFromTheRecord)
{
    material3ds* a = Add("Shiny");
    a->ambient = {0.1f, 0.2f, 0.3f};
    a->diffuse = {0.4f, 0.5f, 0.6f};
    a->specular = {0.9f, 0.9f, 0.9f};
    a->shininess = 0.3f;
    a->shinstrength = 0.5f;
    a->transparency = 0.25f;
    material3ds* b = Add("Glow");
    b->diffuse = {0.5f, 1.0f, 0.2f};
    b->shininess = 0.7f;
    b->selfillumpct = 0.5f;
    ASSERT_TRUE(f.reader.ImportMaterials());

    KQoxMaterial* shiny = f.manager->FindKQoxMaterial("Shiny", 0);
    ASSERT_NE(shiny, nullptr);
    EXPECT_NEAR(shiny->GetAmbient().mGreen, 0.2, 1e-6);
    EXPECT_NEAR(shiny->GetDiffuse().mBlue, 0.6, 1e-6);
    EXPECT_NEAR(shiny->GetSpecular().mRed, 0.6, 1e-6);
    EXPECT_NEAR(shiny->GetShininess(), 0.6, 1e-6);
    EXPECT_NEAR(shiny->GetOpacity(), 0.75, 1e-6);
    EXPECT_EQ(shiny->GetEmissive().mRed + shiny->GetEmissive().mGreen + shiny->GetEmissive().mBlue, 0.0);
    KQoxMaterial* glow = f.manager->FindKQoxMaterial("Glow", 0);
    EXPECT_NEAR(glow->GetShininess(), 1.0, 1e-6);
    EXPECT_NEAR(glow->GetEmissive().mRed, 0.25, 1e-6);
    EXPECT_NEAR(glow->GetEmissive().mGreen, 0.5, 1e-6);
    EXPECT_NEAR(glow->GetOpacity(), 1.0, 1e-6);
}

TEST_F(Reader3dsMaterials, TextureNamesAndPairs)
{
    Add("Oak", "wood.jpg");
    Add("Pine", "wood.jpg", "bump.gif");
    Add("Elm", "elm.jpg", "bump.gif");
    Add("Bare", "", "lonely.gif");
    ASSERT_TRUE(f.reader.ImportMaterials());
    ASSERT_NE(Texture("wood.jpg"), nullptr);
    ASSERT_NE(Texture("wood.jpg-1"), nullptr);
    ASSERT_NE(Texture("bump.gif"), nullptr);
    ASSERT_NE(Texture("bump.gif-2.2"), nullptr);
    EXPECT_STREQ(Texture("wood.jpg-1")->GetFileName(), "wood.jpg");
    EXPECT_STREQ(Texture("bump.gif-2.2")->GetFileName(), "bump.gif");
    EXPECT_EQ(Texture("lonely.gif"), nullptr) << "a second map without a first is ignored";
    EXPECT_EQ(f.manager->GetKQoxTextureCount(), 5);

    const KQoxReader3DS::KTexturePair* pine = f.reader.FindTexturePair("PINE");
    ASSERT_NE(pine, nullptr);
    EXPECT_EQ(pine->mFirst, Texture("wood.jpg-1"));
    EXPECT_EQ(pine->mSecond, Texture("bump.gif"));
    const KQoxReader3DS::KTexturePair* oak = f.reader.FindTexturePair("Oak");
    EXPECT_EQ(oak->mSecond, nullptr);
    const KQoxReader3DS::KTexturePair* bare = f.reader.FindTexturePair("Bare");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->mFirst, nullptr);
    EXPECT_EQ(f.reader.FindTexturePair("Missing"), nullptr);
}

TEST_F(Reader3dsMaterials, TextureMappingOffMakesNoTexture)
{
    material3ds* a = Add("Oak", "wood.jpg", "bump.gif");
    a->diffuse = {1.0f, 0.0f, 0.0f};
    f.reader.mTextureMapping = false;
    ASSERT_TRUE(f.reader.ImportMaterials());
    EXPECT_EQ(f.manager->GetKQoxTextureCount(), 0);
    EXPECT_EQ(f.reader.FindTexturePair("Oak")->mFirst, nullptr);
    EXPECT_NEAR(f.manager->FindKQoxMaterial("Oak", 0)->GetDiffuse().mRed, 1.0, 1e-6);
}

TEST_F(Reader3dsMaterials, PlacementStrengthAndWrap)
{
    material3ds* plain = Add("Plain", "plain.jpg");
    plain->texture.percent = 1.0f;
    material3ds* scaled = Add("Scaled", "scaled.jpg");
    scaled->texture = {"scaled.jpg", 0.5f, Decal3ds, 2.0f, 4.0f, 0.1f, 0.2f, 0.0f};
    material3ds* turned = Add("Turned", "turned.jpg", "second.jpg");
    turned->texture.rotation = 30.0f;
    turned->texture2.rotation = -45.0f;
    turned->texture2.percent = 0.25f;
    material3ds* flat = Add("Flat", "flat.jpg");
    flat->texture.uscale = 0.0f;
    flat->texture.vscale = 0.0f;
    flat->texture.uoffset = 3.0f;
    ASSERT_TRUE(f.reader.ImportMaterials());

    KQoxTexture* t = Texture("plain.jpg");
    EXPECT_NEAR(t->GetTranslationU(), 0.0, 1e-9);
    EXPECT_NEAR(t->GetTranslationV(), 0.0, 1e-9);
    EXPECT_EQ(t->GetScaleU(), 1.0);
    EXPECT_EQ(t->GetMaterialUse(), KQoxTexture::eDEFAULT_MATERIAL);
    EXPECT_EQ(t->GetWrapModeU(), KQoxTexture::eREPEAT);
    EXPECT_EQ(t->GetBlendMode(), KQoxTexture::eTRANSLUCENT);

    t = Texture("scaled.jpg");
    EXPECT_NEAR(t->GetTranslationU(), -0.7, 1e-6);
    EXPECT_NEAR(t->GetTranslationV(), -0.7, 1e-6);
    EXPECT_EQ(t->GetScaleU(), 2.0);
    EXPECT_EQ(t->GetScaleV(), 4.0);
    EXPECT_EQ(t->GetMaterialUse(), KQoxTexture::eMODEL_MATERIAL);
    EXPECT_NEAR(t->GetDefaultAlpha(), 0.5, 1e-9);
    EXPECT_EQ(t->GetWrapModeU(), KQoxTexture::eCLAMP);
    EXPECT_EQ(t->GetWrapModeV(), KQoxTexture::eCLAMP);

    t = Texture("turned.jpg");
    EXPECT_NEAR(t->GetTranslationU(), -0.1830127, 1e-6);
    EXPECT_NEAR(t->GetTranslationV(), 0.3169873, 1e-6);
    EXPECT_NEAR(t->GetRotationW(), -30.0, 1e-9);
    KQoxTexture* second = Texture("second.jpg");
    EXPECT_NEAR(second->GetRotationW(), 45.0, 1e-9);
    EXPECT_NEAR(second->GetDefaultAlpha(), 0.25, 1e-9);
    EXPECT_NEAR(t->GetRotationW(), -30.0, 1e-9) << "each texture keeps its own map's rotation";

    // A zero scale divides nothing: the map sits at the centre.
    t = Texture("flat.jpg");
    EXPECT_EQ(t->GetTranslationU(), 0.5);
    EXPECT_EQ(t->GetTranslationV(), 0.5);
}

// ---- Lights and cameras ----

TEST(Reader3dsAttributes, LightsAndCameras)
{
    Fixture f;
    f.reader.mScaleFactor = 2.0;
    light3ds* spot = nullptr;
    InitSpotlight3ds(&spot);
    KQoxLight* light = f.manager->CreateKQoxLight();
    f.reader.ConvertSpotlight3DStoPB(spot, light);
    EXPECT_EQ(light->GetLightType(), KQoxLight::eSPOT);
    EXPECT_TRUE(!light->GetFileName() || !*light->GetFileName());
    spot->spot->projector.use = 1;
    ftktest::SetName(spot->spot->projector.bitmap, sizeof spot->spot->projector.bitmap, "slide.tga");
    f.reader.ConvertSpotlight3DStoPB(spot, light);
    EXPECT_STREQ(light->GetFileName(), "slide.tga");
    ReleaseLight3ds(&spot);
    KQoxLight* omni = f.manager->CreateKQoxLight();
    omni->SetLightType(KQoxLight::eSPOT);
    f.reader.ConvertOmnilight3DStoPB(nullptr, omni);
    EXPECT_EQ(omni->GetLightType(), KQoxLight::ePOINT);

    camera3ds* record = nullptr;
    InitCamera3ds(&record);
    record->nearplane = 5.0f;
    KQoxCamera* camera = f.manager->CreateKQoxCamera();
    f.reader.ConvertCamera3DStoPB(record, camera);
    EXPECT_NEAR(camera->GetFocalLength(), 2400.0 / 45.0, 1e-9);
    EXPECT_NEAR(camera->GetNearPlane(), 10.0, 1e-9);
    EXPECT_NEAR(camera->GetFarPlane(), 20000.0, 1e-9);
    EXPECT_EQ(camera->GetApertureMode(), KQoxCamera::eHORIZONTAL);
    // No lens without a field of view: the focal length stays finite.
    KQoxCamera* blind = f.manager->CreateKQoxCamera();
    const double before = blind->GetFocalLength();
    record->fov = 0.0f;
    f.reader.ConvertCamera3DStoPB(record, blind);
    EXPECT_EQ(blind->GetFocalLength(), before);
    ReleaseCamera3ds(&record);
}

// ---- Key tracks ----

namespace {

struct TrackFixture : ::testing::Test
{
    Fixture f;
    KQoxNode* node = nullptr;
    void SetUp() override
    {
        f.reader.mScaleFactor = 1.0;
        node = f.manager->CreateKQoxNode("Track");
        node->CreateTakeNode("default take");
        node->SetCurrentTakeNode("default take");
    }
    static std::vector<keyheader3ds> Keys(std::vector<ulong3ds> frames)
    {
        std::vector<keyheader3ds> keys;
        for (ulong3ds frame : frames)
            keys.push_back({frame, 0, 0, 0, 0, 0, 0});
        return keys;
    }
};

} // namespace

using Reader3dsTracks = TrackFixture;

TEST_F(Reader3dsTracks, PositionKeysAtThirtyFramesASecond)
{
    f.reader.mScaleFactor = 2.0;
    auto keys = Keys({0, 30});
    keys[1].rflags = KeyUsesTension3ds | KeyUsesBias3ds;
    keys[1].tension = 0.5f;
    keys[1].continuity = 0.75f; // not flagged: not taken
    keys[1].bias = -0.25f;
    point3ds values[] = {{1, 2, 3}, {4, 5, 6}};
    f.reader.CreateTransDataFrom3DSAnim(node, 2, keys.data(), values);
    KFCurve* x = Curve(node, &KQoxTakeNode::GetTranslationX);
    KFCurve* y = Curve(node, &KQoxTakeNode::GetTranslationY);
    KFCurve* z = Curve(node, &KQoxTakeNode::GetTranslationZ);
    ASSERT_EQ(x->KeyGetCount(), 2);
    EXPECT_EQ(x->KeyGetTime(0).Get(), 0);
    EXPECT_EQ(x->KeyGetTime(1).Get(), 46186158000LL);
    EXPECT_FLOAT_EQ(x->KeyGetValue(1), 8.0f);
    EXPECT_FLOAT_EQ(y->KeyGetValue(1), 12.0f);
    EXPECT_FLOAT_EQ(z->KeyGetValue(1), -10.0f);
    EXPECT_FLOAT_EQ(x->KeyGetDataFloat(1, KFCURVEKEY_TCB_TENSION), 0.5f);
    EXPECT_FLOAT_EQ(x->KeyGetDataFloat(1, KFCURVEKEY_TCB_CONTINUITY), 0.0f);
    EXPECT_FLOAT_EQ(x->KeyGetDataFloat(1, KFCURVEKEY_TCB_BIAS), -0.25f);
}

TEST_F(Reader3dsTracks, KeysNotAfterTheLastAcceptedAreSkipped)
{
    auto keys = Keys({0, 10, 10, 5, 20});
    point3ds values[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
    f.reader.CreateScaleDataFrom3DSAnim(node, 5, keys.data(), values);
    KFCurve* x = Curve(node, &KQoxTakeNode::GetScaleX);
    EXPECT_EQ(KeyFrames(x), (std::vector<long long>{0, 10, 20}));
    EXPECT_FLOAT_EQ(x->KeyGetValue(1), 1.0f);
    EXPECT_FLOAT_EQ(x->KeyGetValue(2), 4.0f);
    // A negative frame (stored unsigned) comes before any later one.
    auto negative = Keys({0xFFFFFFF6u, 0});
    f.reader.CreateScaleDataFrom3DSAnim(node, 2, negative.data(), values);
    EXPECT_EQ(KeyFrames(x), (std::vector<long long>{-10, 0}));
}

TEST_F(Reader3dsTracks, StaticTracksSetTheNodeDefaults)
{
    point3ds position[] = {{1, 2, 3}};
    auto one = Keys({0});
    f.reader.CreateTransDataFrom3DSAnim(node, 1, one.data(), position);
    KQoxVector4 t;
    ExpectVector(node->GetDefaultT(t), 1.0, 3.0, -2.0);
    EXPECT_EQ(Curve(node, &KQoxTakeNode::GetTranslationX)->KeyGetCount(), 0);
    EXPECT_FLOAT_EQ(Curve(node, &KQoxTakeNode::GetTranslationZ)->GetValue(), -2.0f);

    // Anim off: every track is static, whatever its keys.
    f.reader.mAnimation = false;
    auto two = Keys({0, 10});
    point3ds scale[] = {{2, 3, 4}, {5, 6, 7}};
    f.reader.CreateScaleDataFrom3DSAnim(node, 2, two.data(), scale);
    KQoxVector4 s;
    ExpectVector(node->GetDefaultS(s), 2.0, 4.0, 3.0);
    EXPECT_EQ(Curve(node, &KQoxTakeNode::GetScaleX)->KeyGetCount(), 0);
}

TEST_F(Reader3dsTracks, KeyedTracksWithoutValuesAreStaticDefaults)
{
    auto keys = Keys({0, 10, 20});
    node->SetDefaultT(KQoxVector4(5, 5, 5));
    f.reader.CreateTransDataFrom3DSAnim(node, 3, keys.data(), nullptr);
    KQoxVector4 t;
    ExpectVector(node->GetDefaultT(t), 0.0, 0.0, 0.0);
    EXPECT_EQ(Curve(node, &KQoxTakeNode::GetTranslationX)->KeyGetCount(), 0);
    f.reader.CreateScaleDataFrom3DSAnim(node, 3, nullptr, nullptr);
    KQoxVector4 s;
    ExpectVector(node->GetDefaultS(s), 1.0, 1.0, 1.0);
    f.reader.CreateRotDataFrom3DSAnim(node, 2, keys.data(), nullptr);
    KQoxVector4 r;
    ExpectVector(node->GetDefaultR(r), 0.0, 0.0, 0.0);
}

TEST_F(Reader3dsTracks, RotationsAccumulateFromKeyToKey)
{
    // Two quarter turns about the 3DS z axis: a half turn about the
    // scene's Y axis at the second key.
    auto keys = Keys({0, 10});
    kfrotkey3ds values[] = {{float(kPi / 2), 0, 0, 1}, {float(kPi / 2), 0, 0, 1}};
    f.reader.CreateRotDataFrom3DSAnim(node, 2, keys.data(), values);
    KFCurve* curves[3] = {Curve(node, &KQoxTakeNode::GetEulerRotationX), Curve(node, &KQoxTakeNode::GetEulerRotationY),
                          Curve(node, &KQoxTakeNode::GetEulerRotationZ)};
    ASSERT_EQ(curves[0]->KeyGetCount(), 2);
    KQoxVector4 first(curves[0]->KeyGetValue(0), curves[1]->KeyGetValue(0), curves[2]->KeyGetValue(0));
    KQoxVector4 second(curves[0]->KeyGetValue(1), curves[1]->KeyGetValue(1), curves[2]->KeyGetValue(1));
    // The first key: a quarter turn; (0, -90, 0) in the scene's Euler XYZ.
    ExpectVector(first, 0.0, -90.0, 0.0, 1e-3);
    KQoxXMatrix m;
    m.SetR(second);
    EXPECT_NEAR(m.Get(0, 0), -1.0, 1e-5);
    EXPECT_NEAR(m.Get(1, 1), 1.0, 1e-5);
    EXPECT_NEAR(m.Get(2, 2), -1.0, 1e-5);
    for (int c = 0; c < 3; ++c)
        EXPECT_LE(std::fabs(second[c] - first[c]), 180.0 + 1e-3) << "unrolled: no jump on axis " << c;

    // A static rotation: the first key alone, not accumulated.
    kfrotkey3ds turn[] = {{float(kPi / 2), 0, 0, 1}};
    f.reader.CreateRotDataFrom3DSAnim(node, 1, keys.data(), turn);
    KQoxVector4 r;
    ExpectVector(node->GetDefaultR(r), 0.0, -90.0, 0.0, 1e-3);
    // A key about no axis, or with a NaN angle, turns nothing.
    kfrotkey3ds broken[] = {{1.0f, 0, 0, 0}, {std::nanf(""), 0, 1, 0}};
    f.reader.CreateRotDataFrom3DSAnim(node, 2, keys.data(), broken);
    EXPECT_NEAR(curves[0]->KeyGetValue(1) + curves[1]->KeyGetValue(1) + curves[2]->KeyGetValue(1), 0.0, 1e-6);
}

TEST_F(Reader3dsTracks, ReduceKeysThinsAStraightLine)
{
    std::vector<ulong3ds> frames;
    std::vector<point3ds> values;
    for (ulong3ds k = 0; k <= 30; ++k)
    {
        frames.push_back(k);
        values.push_back({float(k), 0, 0});
    }
    auto keys = Keys(frames);
    f.reader.mReduceKeys = true;
    f.reader.CreateTransDataFrom3DSAnim(node, 31, keys.data(), values.data());
    KFCurve* x = Curve(node, &KQoxTakeNode::GetTranslationX);
    EXPECT_LT(x->KeyGetCount(), 31);
    EXPECT_GE(x->KeyGetCount(), 2);
    EXPECT_NEAR(x->Evaluate(KTime(46186158000LL / 2), nullptr), 15.0, 1.0);
}

TEST_F(Reader3dsTracks, LightAndCameraTracks)
{
    KQoxNode* lamp = f.manager->CreateKQoxNode("Lamp");
    lamp->SetNodeAttribute(f.manager->CreateKQoxLight());
    lamp->CreateTakeNode("default take");
    lamp->SetCurrentTakeNode("default take");
    fcolor3ds red[] = {{1, 0, 0}};
    auto one = Keys({7});
    f.reader.CreateColorDataFrom3DSAnim(lamp, 1, one.data(), red);
    KQoxColor color;
    lamp->GetLight()->GetDefaultColor(color);
    EXPECT_EQ(color.mRed, 1.0);
    EXPECT_EQ(color.mGreen, 0.0);
    KFCurve* r = Curve(lamp, &KQoxTakeNode::GetColorR);
    ASSERT_EQ(r->KeyGetCount(), 1);
    EXPECT_EQ(r->KeyGetTime(0).Get(), 0);
    f.reader.CreateScalarDataFrom3DSAnim(lamp, 0, nullptr, nullptr);
    KFCurve* cone = Curve(lamp, &KQoxTakeNode::GetLightConeAngle);
    ASSERT_EQ(cone->KeyGetCount(), 1);
    EXPECT_FLOAT_EQ(cone->KeyGetValue(0), 45.0f);
    EXPECT_EQ(lamp->GetLight()->GetDefaultConeAngle(), 45.0);

    KQoxNode* eye = f.manager->CreateKQoxNode("Eye");
    eye->SetNodeAttribute(f.manager->CreateKQoxCamera());
    eye->CreateTakeNode("default take");
    eye->SetCurrentTakeNode("default take");
    float fov[] = {30.0f, 60.0f};
    auto two = Keys({0, 15});
    f.reader.CreateFOVDataFrom3DSAnim(eye, 2, two.data(), fov);
    EXPECT_EQ(KeyFrames(Curve(eye, &KQoxTakeNode::GetCameraFieldOfView)), (std::vector<long long>{0, 15}));
    float roll[] = {12.0f};
    f.reader.CreateRollDataFrom3DSAnim(eye, 1, one.data(), roll);
    EXPECT_EQ(eye->GetCamera()->GetRoll(), 12.0);

    // A node without the attribute or its curves: skipped without harm.
    f.reader.CreateColorDataFrom3DSAnim(node, 1, one.data(), red);
    f.reader.CreateFOVDataFrom3DSAnim(node, 2, two.data(), fov);
    f.reader.CreateRollDataFrom3DSAnim(nullptr, 1, one.data(), roll);
}
