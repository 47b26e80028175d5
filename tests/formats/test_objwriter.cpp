// OBJ writing: exact text of small scenes, material libraries, texture
// copies, baking, failures, and files read back by this reader and by
// tinyobjloader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "formats/obj/kqoxwriterobj_private.h"
#include "common/qox_test_threads.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "obj_test_util.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxshape.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif

using namespace objtest;

namespace {

const char* const kHeader = "# \n# Kelvarian OBJ file\n# Created with Tolvane QOX\n# \n";

struct Scene
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxNode* root = scene.GetRootNode();

    // A node under parent with a mesh of the given points and polygons;
    // normals (0, 0, 1) per point when asked.
    KQoxMesh* AddMesh(const char* name, const std::vector<KQoxVector4>& points,
                      const std::vector<std::vector<int>>& polygons, bool normals, KQoxNode* parent = nullptr,
                      KQoxNode** made = nullptr)
    {
        KQoxNode* node = manager->CreateKQoxNode(name);
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        mesh->InitControlPoints(static_cast<int>(points.size()));
        for (size_t i = 0; i < points.size(); ++i)
            mesh->GetControlPoints()[i] = points[i];
        if (normals)
        {
            mesh->InitNormals(0);
            for (size_t i = 0; i < points.size(); ++i)
                mesh->GetNormals()[i] = KQoxVector4(0, 0, 1, 0);
        }
        for (auto& polygon : polygons)
        {
            mesh->BeginPolygon();
            for (int v : polygon)
                mesh->AddPolygon(v);
            mesh->EndPolygon();
        }
        node->SetNodeAttribute(mesh);
        (parent ? parent : root)->AddChild(node);
        if (made)
            *made = node;
        return mesh;
    }
};

const std::vector<KQoxVector4> kTriangle = {KQoxVector4(0, 0, 0), KQoxVector4(1, 0, 0), KQoxVector4(0, 1, 0)};

} // namespace

TEST(ObjWrite, GoldenTextOfSmallScenes)
{
    Scene s;
    KQoxNode* parent = s.manager->CreateKQoxNode("Offset");
    parent->SetDefaultT(KQoxVector4(10, 0, 0));
    s.root->AddChild(parent);
    s.AddMesh("My Box", kTriangle, {{0, 1, 2}}, true, parent);
    s.AddMesh("Bare", kTriangle, {{2, 1, 0}}, false);
    s.AddMesh("Last", kTriangle, {{0, 1, 2}}, true);
    qoxtest::TempDir dir;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("a.obj")));
    EXPECT_EQ(qoxtest::ReadFile(dir.File("a.obj")),
              std::string(kHeader) +
                  "g My Box\n"
                  "v 10.000000 0.000000 0.000000\nv 11.000000 0.000000 0.000000\nv 10.000000 1.000000 0.000000\n"
                  "vn 0.000000 0.000000 1.000000\nvn 0.000000 0.000000 1.000000\nvn 0.000000 0.000000 1.000000\n"
                  "f 1//1 2//2 3//3\n"
                  "g Bare\n"
                  "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\nv 0.000000 1.000000 0.000000\n"
                  "f 6 5 4\n"
                  "g Last\n"
                  "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\nv 0.000000 1.000000 0.000000\n"
                  "vn 0.000000 0.000000 1.000000\nvn 0.000000 0.000000 1.000000\nvn 0.000000 0.000000 1.000000\n"
                  "f 7//4 8//5 9//6\n"); // normals numbered on their own
    // No mesh: the header alone.
    Scene empty;
    ASSERT_TRUE(WriteScene(*empty.manager, empty.scene, dir.File("b.obj")));
    EXPECT_EQ(qoxtest::ReadFile(dir.File("b.obj")), kHeader);
}

TEST(ObjWrite, MaterialsPerPolygonAndTheLibrary)
{
    Scene s;
    std::vector<KQoxVector4> points;
    std::vector<std::vector<int>> polygons;
    for (int i = 0; i < 5; ++i)
    {
        points.push_back(KQoxVector4(i, 0, 0));
        points.push_back(KQoxVector4(i, 1, 0));
        points.push_back(KQoxVector4(i, 0, 1));
        polygons.push_back({3 * i, 3 * i + 1, 3 * i + 2});
    }
    KQoxMesh* mesh = s.AddMesh("Model::Strip", points, {}, false);
    KQoxMaterial* red = s.manager->CreateKQoxMaterial("Material::Red Brick Wall");
    red->SetShininess(0.25);
    KQoxMaterial* blue = s.manager->CreateKQoxMaterial("default");
    mesh->AM(red, 0);
    mesh->AM(blue, 0);
    mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
    const int indices[] = {0, 0, 1, 1, 7}; // 7 lies outside: no material
    for (int p = 0; p < 5; ++p)
    {
        mesh->BeginPolygon(indices[p]);
        for (int v : polygons[p])
            mesh->AddPolygon(v);
        mesh->EndPolygon();
    }
    s.AddMesh("Plain", kTriangle, {{0, 1, 2}}, false); // uses the default material
    qoxtest::TempDir dir;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("Scene.OBJ")));
    const std::string obj = qoxtest::ReadFile(dir.File("Scene.OBJ"));
    EXPECT_NE(obj.find(std::string(kHeader) + "mtllib Scene.mtl\n\ng Strip\n"), std::string::npos);
    // The scene material "default" comes first and is renamed after the
    // writer's own default; the out-of-range index gives no "usemtl".
    EXPECT_NE(obj.find("usemtl Red Brick Wall\nf 1 2 3\nf 4 5 6\nusemtl default1\nf 7 8 9\nf 10 11 12\nf 13 14 15\n"
                       "g Plain\n"
                       "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\nv 0.000000 1.000000 0.000000\n"
                       "usemtl default2\nf 16 17 18\n"),
              std::string::npos)
        << obj;
    EXPECT_EQ(qoxtest::ReadFile(dir.File("Scene.mtl")),
              "# \n# Kelvarian material file\n# Created with Tolvane QOX\n# \n"
              "\nnewmtl Red Brick Wall\n"
              "Ka 0.200000 0.200000 0.200000\nKd 0.800000 0.800000 0.800000\nKs 0.200000 0.200000 0.200000\n"
              "illum 2\nNs 25.000000\nd 1.000000\n"
              "\nnewmtl default1\n"
              "Ka 0.200000 0.200000 0.200000\nKd 0.800000 0.800000 0.800000\nKs 0.200000 0.200000 0.200000\n"
              "illum 2\nNs 5.000000\nd 1.000000\n"
              "\nnewmtl default2\n"
              "Ka 0.200000 0.200000 0.200000\nKd 0.800000 0.800000 0.800000\nKs 0.200000 0.200000 0.200000\n"
              "illum 2\nNs 5.000000\nd 1.000000\n");
}

TEST(ObjWrite, TexturesCopiedSkippedAndMissing)
{
    qoxtest::TempDir images, out;
    qoxtest::WriteFile(images.File("brick.tif"), "brick image");
    qoxtest::WriteFile(out.File("beside.tif"), "already there");
    Scene s;
    const char* files[] = {"brick.tif", "beside.tif", "missing.tif"};
    for (int i = 0; i < 3; ++i)
    {
        KQoxMesh* mesh = s.AddMesh(("M" + std::to_string(i)).c_str(), kTriangle, {{0, 1, 2}}, false);
        KQoxTexture* texture = s.manager->CreateKQoxTexture(("T" + std::to_string(i)).c_str());
        texture->SetFileName((i == 1 ? out.File(files[i]) : images.File(files[i])).c_str());
        mesh->AT(texture, 0);
        mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    }
    std::string message;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, out.File("t.obj"), &message));
    EXPECT_EQ(qoxtest::ReadFile(out.File("brick.tif")), "brick image");
    EXPECT_EQ(qoxtest::ReadFile(out.File("beside.tif")), "already there");
    EXPECT_EQ(message, "Unable to locate texture file \"" + images.File("missing.tif") + "\".\n");
    const std::string mtl = qoxtest::ReadFile(out.File("t.mtl"));
    for (const char* file : files)
        EXPECT_NE(mtl.find(std::string("map_Kd ") + file + "\n"), std::string::npos) << file;
}

TEST(ObjWrite, RefusedOptionsAndFullDisk)
{
    Scene s;
    s.AddMesh("A", kTriangle, {{0, 1, 2}}, false);
    qoxtest::TempDir dir;
    KQoxWriterObj writer(*s.manager);
    ASSERT_TRUE(writer.FileCreate(dir.File("x.obj").c_str()));
    KQoxScene& scene = s.scene;
    KStreamOptions3ds other;
    EXPECT_FALSE(writer.Write(scene, &other));
    EXPECT_STREQ(writer.GetLastErrorString(), "Stream options not set");
    writer.FileClose();
    EXPECT_EQ(qoxtest::ReadFile(dir.File("x.obj")), "");

    if (FILE* probe = fopen("/dev/full", "wb"))
    {
        fclose(probe);
        KQoxWriterObj full(*s.manager);
        ASSERT_TRUE(full.FileCreate("/dev/full"));
        std::unique_ptr<KStreamOptions> options(full.GetWriteOptions());
        EXPECT_FALSE(full.Write(scene, options.get()));
        EXPECT_STREQ(full.GetLastErrorString(), "Out of disk space");
    }
}

TEST(ObjWrite, BakedDeformationsLeaveTheSceneAlone)
{
    Scene s;
    KQoxNode* node = nullptr;
    KQoxMesh* mesh =
        s.AddMesh("Skinned", {KQoxVector4(0, 0, 0), KQoxVector4(1, 0, 0), KQoxVector4(0, 1, 0), KQoxVector4(1, 1, 0)},
                  {{0, 1, 3, 2}}, true, nullptr, &node);
    // Total-one skin: a joint moved by (4, 0, 0) pulls point 1 by a quarter.
    KQoxNode* joint = s.manager->CreateKQoxNode("Joint");
    joint->SetDefaultT(KQoxVector4(4, 0, 0));
    s.root->AddChild(joint);
    KQoxLink* link = s.manager->CreateKQoxLink();
    link->SetLink(joint);
    link->SetLinkMode(KQoxLink::eTOTAL1);
    link->AddControlPointIndex(1, 0.25);
    mesh->AddLink(link);
    const std::vector<KQoxVector4> before(mesh->GetControlPoints(), mesh->GetControlPoints() + 4);

    qoxtest::TempDir dir;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("baked.obj"), nullptr, 1, 1));
    const std::string text = qoxtest::ReadFile(dir.File("baked.obj"));
    EXPECT_NE(text.find("v 2.000000 0.000000 0.000000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("f 1//1 2//2 4//4\nf 4//4 3//3 1//1\n"), std::string::npos) << text; // triangulated
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("plain.obj"), nullptr, 0, 0));
    EXPECT_NE(qoxtest::ReadFile(dir.File("plain.obj")).find("v 1.000000 0.000000 0.000000\n"), std::string::npos);

    // The scene kept its mesh, points and single quad.
    EXPECT_EQ(node->GetNodeAttribute(), mesh);
    EXPECT_EQ(mesh->GetPolygonCount(), 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(mesh->GetControlPoints()[i], before[i]);
}

namespace {

// A textured quad pair with UVs by polygon vertex and normals, written out.
void WriteTexturedScene(Scene& s, const std::string& path)
{
    KQoxMesh* mesh = s.AddMesh("Model::Quads",
                               {KQoxVector4(0, 0, 0), KQoxVector4(1, 0, 0), KQoxVector4(1, 1, 0), KQoxVector4(0, 1, 0),
                                KQoxVector4(2, 0, 0), KQoxVector4(2, 1, -1.5e-7)},
                               {}, true);
    KQoxMaterial* material = s.manager->CreateKQoxMaterial("Stone");
    KQoxTexture* texture = s.manager->CreateKQoxTexture("Stone");
    texture->SetFileName("stone.tif");
    mesh->AM(material, 0);
    mesh->AT(texture, 0);
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    const double uv[][2] = {{0, 0}, {0.5, 0}, {0.5, 1}, {0, 1}, {1, 0}, {1, 1}};
    for (auto& u : uv)
        mesh->AddTextureUV(KQoxVector2(u[0], u[1]));
    const int polygons[2][4] = {{0, 1, 2, 3}, {1, 4, 5, 2}};
    for (auto& polygon : polygons)
    {
        mesh->BeginPolygon(0, 0);
        for (int v : polygon)
            mesh->AddPolygon(v, v);
        mesh->EndPolygon();
    }
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, path));
}

} // namespace

TEST(ObjWrite, RoundTripThroughTheReader)
{
    Scene s;
    qoxtest::TempDir dir;
    WriteTexturedScene(s, dir.File("round.obj"));
    ObjRead r(dir.File("round.obj"));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.message, "");
    KQoxMesh* mesh = r.Mesh("Quads");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetPolygonCount(), 2);
    EXPECT_EQ(mesh->GetControlPointsCount(), 6);
    EXPECT_STREQ(mesh->GM(0, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "Stone");
    EXPECT_STREQ(mesh->GT(0, 0)->GetFileName(), "stone.tif");
    ASSERT_EQ(mesh->GetTextureUVCount(), 6);
    for (int p = 0; p < 2; ++p)
        for (int c = 0; c < 4; ++c)
        {
            const int v = mesh->GetPolygonVertex(p, c);
            const KQoxVector2 uv = mesh->GetTextureUV()[mesh->GetTextureUVIndex(p, c)];
            const KQoxVector4 position = mesh->GetControlPoints()[v];
            // Each written corner's UV was the one of its original point.
            const double expectedU = position[0] == 0 ? 0 : position[0] == 1 ? 0.5 : 1;
            EXPECT_EQ(uv[0], expectedU);
            EXPECT_EQ(uv[1], position[1]);
        }
}

TEST(ObjWrite, ColoursNotKeptByControlPointAreNamedInTheMessage)
{
    // An OBJ vertex has one colour: colours kept by control point go on the
    // "v" lines; kept otherwise (by polygon vertex, by polygon) they are not
    // written, and the message says of how many meshes.
    using E = KQoxLayerElement;
    const E::EMappingMode kNone = E::eNONE;
    const struct
    {
        std::vector<E::EMappingMode> mMeshes; // per mesh, how its colours are kept (kNone: none)
        const char* mMessage;
        const char* mFirstVertex; // the first "v" line
    } cases[] = {
        {{E::eBY_CONTROL_POINT}, "", "v 0.000000 0.000000 0.000000 0.000000 0.500000 1.000000\n"},
        {{E::eBY_POLYGON_VERTEX},
         "Left out of the file: 1 mesh's vertex colours, not kept by control point (an OBJ vertex has one colour)\n",
         "v 0.000000 0.000000 0.000000\n"},
        {{E::eBY_POLYGON_VERTEX, kNone, E::eBY_POLYGON, E::eBY_CONTROL_POINT},
         "Left out of the file: 2 meshes' vertex colours, not kept by control point (an OBJ vertex has one colour)\n",
         "v 0.000000 0.000000 0.000000\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mMessage);
        Scene s;
        for (size_t m = 0; m < c.mMeshes.size(); ++m)
        {
            KQoxMesh* mesh = s.AddMesh(("Mesh" + std::to_string(m)).c_str(), kTriangle, {{0, 1, 2}}, false);
            if (c.mMeshes[m] == kNone)
                continue;
            mesh->CreateLayer();
            KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
            colors->mMappingMode = c.mMeshes[m];
            colors->mReferenceMode = E::eDIRECT;
            for (int k = 0; k < 3; ++k)
                colors->mDirectArray.Add(KQoxColor(k / 2.0, 0.5, 1.0, 1.0));
            mesh->GetLayer(0)->SetVertexColors(colors);
        }
        qoxtest::TempDir dir;
        std::string message;
        ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("out.obj"), &message));
        EXPECT_EQ(message, c.mMessage);
        const std::string text = qoxtest::ReadFile(dir.File("out.obj"));
        const size_t first = text.find("\nv ");
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(text.substr(first + 1, text.find('\n', first + 1) - first), c.mFirstVertex);
    }
}

#ifdef QOX_HAVE_TINYOBJ
TEST(ObjInterop, TinyObjLoaderReadsTheWrittenFile)
{
    Scene s;
    qoxtest::TempDir dir;
    WriteTexturedScene(s, dir.File("peer.obj"));
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, dir.File("peer.obj").c_str(),
                                 (dir.Path() + "/").c_str(), false))
        << err;
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0].name, "Quads");
    ASSERT_EQ(shapes[0].mesh.num_face_vertices.size(), 2u);
    EXPECT_EQ(shapes[0].mesh.num_face_vertices[0], 4);
    ASSERT_EQ(attrib.vertices.size(), 18u);
    EXPECT_FLOAT_EQ(attrib.vertices[3 * 5 + 0], 2.0f);
    EXPECT_NEAR(attrib.vertices[3 * 5 + 2], 0.0f, 1e-6); // six digits after the point
    ASSERT_EQ(attrib.texcoords.size(), 12u);
    EXPECT_FLOAT_EQ(attrib.texcoords[2], 0.5f);
    ASSERT_EQ(attrib.normals.size(), 18u);
    EXPECT_FLOAT_EQ(attrib.normals[2], 1.0f);
    ASSERT_EQ(materials.size(), 1u);
    EXPECT_EQ(materials[0].name, "Stone");
    EXPECT_EQ(materials[0].diffuse_texname, "stone.tif");
    EXPECT_EQ(shapes[0].mesh.material_ids[1], 0);
    EXPECT_FLOAT_EQ(materials[0].dissolve, 1.0f); // opaque, though "Tr" reads as transparency there
    // Corner 1 of face 2 is point 4 (x = 2) with its UV (1, 0) and normal.
    const tinyobj::index_t corner = shapes[0].mesh.indices[5];
    EXPECT_FLOAT_EQ(attrib.vertices[3 * corner.vertex_index], 2.0f);
    EXPECT_FLOAT_EQ(attrib.texcoords[2 * corner.texcoord_index], 1.0f);
    EXPECT_EQ(corner.normal_index, corner.vertex_index);
}

TEST(ObjInterop, TinyObjLoaderReadsTheOpacity)
{
    // "d" alone gives the opacity, to this reader and to those that take
    // "Tr" as transparency.
    Scene s;
    KQoxMesh* glass = s.AddMesh("Glass", kTriangle, {{0, 1, 2}}, false);
    KQoxMaterial* clear = s.manager->CreateKQoxMaterial("Clear");
    clear->SetOpacity(0.25);
    glass->AM(clear, 0);
    glass->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    qoxtest::TempDir dir;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("glass.obj")));
    const std::string mtl = qoxtest::ReadFile(dir.File("glass.mtl"));
    EXPECT_NE(mtl.find("\nd 0.250000\n"), std::string::npos) << mtl;
    EXPECT_EQ(mtl.find("Tr "), std::string::npos) << mtl;
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, dir.File("glass.obj").c_str(),
                                 (dir.Path() + "/").c_str(), false))
        << err;
    ASSERT_EQ(materials.size(), 1u);
    EXPECT_FLOAT_EQ(materials[0].dissolve, 0.25f);
    ObjRead r(dir.File("glass.obj"));
    ASSERT_TRUE(r.ok) << r.message;
    KQoxMesh* read = r.Mesh("Glass");
    ASSERT_NE(read, nullptr);
    EXPECT_DOUBLE_EQ(read->GM(0, 0)->GetOpacity(), 0.25);
}
#endif

TEST(ObjInterop, FilesInTheFormsOtherToolsWrite)
{
    // Negative indices, v//vn, CRLF, continuation, smoothing groups, a
    // missing library, and no final line break.
    const std::string text = "# exported elsewhere\r\nmtllib missing.mtl\r\n"
                             "o Thing\r\ng Body\r\ns 1\r\n"
                             "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\nvn 0 0 1\r\n"
                             "f -4//-1 -3//-1 \\\r\n -2//-1 -1//-1\r\n"
                             "g Lid\r\ns off\r\nusemtl Wood\r\nf 1 2 3";
    qoxtest::TempDir dir;
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "Unable to load material library\nUnable to read material \"Wood\" in .mtl file\n");
    KQoxMesh* body = r->Mesh("Body");
    KQoxMesh* lid = r->Mesh("Lid");
    ASSERT_NE(body, nullptr);
    ASSERT_NE(lid, nullptr);
    EXPECT_EQ(body->GetPolygonCount(), 1);
    EXPECT_EQ(body->GetPolygonSize(0), 4);
    EXPECT_EQ(body->GetControlPointsCount(), 4);
    EXPECT_EQ(lid->GetPolygonCount(), 1); // the last line without a break
    EXPECT_STREQ(lid->GM(lid->GetMaterialIndices()[0], 0)->GetNameWithoutNameSpacePrefix().ToChars(), "Wood");
}

TEST(ObjWrite, NumbersAreWrittenAsPrintfWritesThem)
{
    // The fast path against printf's "%lf" itself: ties and near-ties of
    // the sixth decimal, carries into the whole part, signs, zeros, huge,
    // tiny and non-finite values, and a spread of random ones.
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5e-6,
                                  1.5e-6,
                                  2.5e-6,
                                  0.0000005000000001,
                                  0.0000004999999999,
                                  1.0000005,
                                  2.0000025,
                                  0.9999995,
                                  0.99999949999,
                                  -0.9999996,
                                  -1e-9,
                                  123456.7890125,
                                  999999999999.9999,
                                  1e12,
                                  -1e12 - 0.5,
                                  4.5e15,
                                  1e300,
                                  -1.7976931348623157e308,
                                  5e-324,
                                  0.1,
                                  0.7,
                                  0.0078125, // 7812.5 millionths exactly: the even neighbour
                                  0.0234375,
                                  -0.0234375,
                                  8588.9999995,
                                  8588.9999996,
                                  8589.0,
                                  8589.0000005,
                                  8589.9999996,
                                  4294.9672955,
                                  4294.9672965,
                                  1e-8,
                                  -4e-8,
                                  2.2250738585072014e-308,
                                  HUGE_VAL,
                                  -HUGE_VAL,
                                  std::nan("")};
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 200000; ++i)
    {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const double unit = static_cast<double>(state >> 11) / 9007199254740992.0;
        const int scale = static_cast<int>(state % 13) - 4;
        values.push_back((unit - 0.5) * std::pow(10.0, scale));
        // Decimal ties of the sixth digit as read from text.
        values.push_back(static_cast<double>(state % 100000000) / 1e7 + 5e-7);
    }
    int wrong = 0;
    for (double value : values)
    {
        char expected[400], got[400];
        std::snprintf(expected, sizeof(expected), "%lf", value);
        *ObjFixed6(got, value) = '\0';
        if (std::string(expected) != got && ++wrong < 10)
            ADD_FAILURE() << expected << " written as " << got;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ObjWrite, IntegersAreWrittenAsPrintfWritesThem)
{
    // Every length, each side of every power of ten, both ends of the
    // 32- and 64-bit ranges, and a spread of random values.
    std::vector<uint64_t> values = {0,
                                    4294967295u,
                                    4294967296u,
                                    18446744073709551615u,
                                    1000000000000000000u,
                                    999999999999999999u,
                                    10000000000000000000u};
    for (uint64_t power = 1; power <= 1000000000000000000u; power *= 10)
        for (uint64_t value : {power - 1, power, power + 1, 2 * power, 9 * power + 7, 10 * power - 1})
            values.push_back(value);
    uint64_t state = 0x2545F4914F6CDD1Du;
    for (int i = 0; i < 100000; ++i)
    {
        state = state * 6364136223846793005u + 1442695040888963407u;
        values.push_back(state >> (state % 64));
    }
    int wrong = 0;
    for (uint64_t value : values)
    {
        char expected[32], got[32];
        std::snprintf(expected, sizeof(expected), "%llu", static_cast<unsigned long long>(value));
        *ObjUnsigned(got, value) = '\0';
        if (std::string(expected) != got && ++wrong < 10)
            ADD_FAILURE() << expected << " written as " << got;
        const long long signedValue = static_cast<long long>(value);
        std::snprintf(expected, sizeof(expected), "%lld", signedValue);
        *ObjInt(got, signedValue) = '\0';
        if (std::string(expected) != got && ++wrong < 10)
            ADD_FAILURE() << expected << " written as " << got;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ObjWrite, GoldenTextOfExtremeValues)
{
    // The largest doubles, the smallest normal and denormal ones, negative
    // zero, a model at 1e-8 scale and a point at the fast path's bound.
    const double max = 1.7976931348623157e308;
    const std::string maxText = "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058"
                                "95586327668781715404589535143824642343213268894641827684675467035375169860499105765512"
                                "82076245490090389328944075868508455133942304583236903222948165808559332123348274797826"
                                "204144723168738177180919299881250404026184124858368.000000";
    Scene s;
    s.AddMesh("Extremes",
              {KQoxVector4(max, 5e-324, -max), KQoxVector4(2.2250738585072014e-308, -0.0, 1e-8),
               KQoxVector4(-4e-8, 3e-8, 8589.0000005), KQoxVector4(8588.9999995, -0.0078125, 0.0234375)},
              {{0, 1, 2, 3}}, false);
    qoxtest::TempDir dir;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("x.obj")));
    EXPECT_EQ(qoxtest::ReadFile(dir.File("x.obj")), std::string(kHeader) + "g Extremes\n" + "v " + maxText +
                                                        " 0.000000 -" + maxText +
                                                        "\n"
                                                        "v 0.000000 -0.000000 0.000000\n"
                                                        "v -0.000000 0.000000 8589.000001\n"
                                                        "v 8588.999999 -0.007812 0.023438\n"
                                                        "f 1 2 3 4\n");
}

TEST(ObjWrite, FaceNumbersAcrossEveryDigitCount)
{
    // 100,001 points: corners numbered 1 to 100,001 straddle each power of
    // ten; normals number with the vertices here, UVs are absent.
    Scene s;
    std::vector<KQoxVector4> points(100001, KQoxVector4(0, 0, 0));
    s.AddMesh("Wide", points, {{0, 8, 9, 98, 99, 998, 999, 9998, 9999, 99998, 99999, 100000}}, true);
    s.AddMesh("Next", kTriangle, {{2, 1, 0}}, false);
    s.AddMesh("Normals", kTriangle, {{0, 1, 2}}, true);
    qoxtest::TempDir dir;
    ASSERT_TRUE(WriteScene(*s.manager, s.scene, dir.File("w.obj")));
    const std::string text = qoxtest::ReadFile(dir.File("w.obj"));
    const size_t face = text.find("\nf ");
    ASSERT_NE(face, std::string::npos);
    EXPECT_EQ(text.substr(face + 1), "f 1//1 9//9 10//10 99//99 100//100 999//999 1000//1000 9999//9999 10000//10000 "
                                     "99999//99999 100000//100000 100001//100001\n"
                                     "g Next\n"
                                     "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\n"
                                     "v 0.000000 1.000000 0.000000\n"
                                     "f 100004 100003 100002\n"
                                     "g Normals\n"
                                     "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\n"
                                     "v 0.000000 1.000000 0.000000\n"
                                     "vn 0.000000 0.000000 1.000000\nvn 0.000000 0.000000 1.000000\n"
                                     "vn 0.000000 0.000000 1.000000\n"
                                     "f 100005//100002 100006//100003 100007//100004\n");
}

TEST(ObjWrite, BlocksOnSeveralThreadsWriteTheSameText)
{
    // Materials changing between runs of polygons, a textured one among
    // them (texture vertices then go by corner), corners with and without
    // UVs, and groups of every size against blocks of every size.
    std::string text = "mtllib looks.mtl\n";
    for (int i = 0; i < 300; ++i)
        text += "v " + std::to_string(i) + " " + std::to_string(i % 17) + ".5 -" + std::to_string(i % 5) + "\nvt 0." +
                std::to_string(i % 10) + " 0.25\nvn 0 " + std::to_string(i % 3) + " 1\n";
    for (int g = 0; g < 4; ++g)
    {
        text += "g part" + std::to_string(g) + "\n";
        for (int f = 0; f < 40 + 70 * g; ++f)
        {
            if (f % 9 == 0)
                text += std::string("usemtl ") + (f % 2 ? "Red" : "Blue") + "\n";
            const int a = 1 + (f * 7 + g) % 297;
            const std::string n[3] = {std::to_string(a), std::to_string(a + 1), std::to_string(a + 2)};
            if (f % 4 == 3)
                text += "f " + n[0] + "//" + n[0] + " " + n[1] + "//" + n[1] + " " + n[2] + "//" + n[2] + "\n";
            else
                text += "f " + n[0] + "/" + n[1] + "/" + n[2] + " " + n[1] + "/" + n[0] + "/" + n[1] + " " + n[2] +
                        "/" + n[2] + "/" + n[0] + " " + std::to_string(a + 3) + "/1/1\n";
        }
    }
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("looks.mtl"), "newmtl Red\nKd 1 0 0\nnewmtl Blue\nKd 0 0 1\nmap_Kd blue.tif\n");
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    auto written = [&](int threads, size_t blockItems) { return WriteInBlocks(*r, threads, blockItems); };
    const std::string expected = written(1, 1 << 16);
    ASSERT_NE(expected.find("usemtl Blue"), std::string::npos);
    ASSERT_NE(expected.find("usemtl Red"), std::string::npos);
    for (int threads : {2, 3, 4})
        for (size_t blockItems : {size_t(1), size_t(7), size_t(64)})
        {
            const std::string text = written(threads, blockItems);
            EXPECT_TRUE(text == expected)
                << threads << " " << blockItems << " differ from byte "
                << std::mismatch(text.begin(), text.end(), expected.begin()).first - text.begin();
        }
}

TEST(ObjWrite, ManyPolygonsTexturedByPolygonNumberTheirCornerUVsInOrder)
{
    // Enough polygons for the corner UV numbers to be worked out in slices
    // on several threads: each corner's "vt" number follows the one before,
    // and its line holds the corner's UV.
    const int points = 1000;
    const int faces = 70000;
    std::string text = "mtllib looks.mtl\n";
    char line[64];
    for (int i = 0; i < points; ++i)
    {
        std::snprintf(line, sizeof line, "v %d 0 0\nvt 0.%03d 0.25\n", i, i);
        text += line;
    }
    for (int f = 0; f < faces; ++f)
    {
        if (f % 1000 == 0)
            text += std::string("usemtl ") + (f % 3000 ? "Red" : "Blue") + "\n";
        const int a = 1 + f % (points - 3);
        std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\n", a, a, a + 1, a + 1, a + 3, a + 3);
        text += line;
    }
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("looks.mtl"), "newmtl Red\nKd 1 0 0\nnewmtl Blue\nKd 0 0 1\nmap_Kd blue.tif\n");
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    auto written = [&](int threads) { return WriteInBlocks(*r, threads, 4096); };
    const std::string one = written(1);
    EXPECT_TRUE(written(4) == one);
    // The lines: the points, then one "vt" per corner.
    std::vector<std::string> positions, uvs;
    int corners = 0, next = 1;
    size_t start = 0;
    while (start < one.size())
    {
        size_t end = one.find('\n', start);
        end = end == std::string::npos ? one.size() : end;
        const std::string l = one.substr(start, end - start);
        start = end + 1;
        if (l.rfind("v ", 0) == 0)
            positions.push_back(l);
        else if (l.rfind("vt ", 0) == 0)
            uvs.push_back(l);
        else if (l.rfind("f ", 0) == 0)
        {
            int v = 0, t = 0;
            for (const char* p = l.c_str() + 1; p && std::sscanf(p, " %d/%d", &v, &t) == 2; p = std::strchr(p + 1, ' '))
            {
                ASSERT_EQ(t, next) << l;
                ASSERT_GE(v, 1);
                ASSERT_LE(v, static_cast<int>(positions.size()));
                ASSERT_LE(t, static_cast<int>(uvs.size()));
                // The point read from the file's "v i 0 0" line i, with "vt" line i.
                const int point = std::atoi(positions[static_cast<size_t>(v - 1)].c_str() + 2);
                std::snprintf(line, sizeof line, "vt 0.%03d000 0.250000", point);
                ASSERT_EQ(uvs[static_cast<size_t>(t - 1)], line) << l;
                ++corners;
                ++next;
            }
        }
    }
    EXPECT_EQ(corners, 3 * faces);
    EXPECT_EQ(uvs.size(), static_cast<size_t>(3 * faces));
}

TEST(ObjWrite, BlocksWithNoThreadsToBeHadWriteTheSameText)
{
    // A system that has no thread to give: the writing thread formats every
    // block itself, and the text is the same.
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "v " + std::to_string(i) + " 0." + std::to_string(i % 9) + " 1\nvn 0 0 1\n";
    for (int i = 1; i + 2 <= 500; ++i)
        text += "f " + std::to_string(i) + "//" + std::to_string(i) + " " + std::to_string(i + 1) + "//" +
                std::to_string(i + 1) + " " + std::to_string(i + 2) + "//" + std::to_string(i + 2) + "\n";
    qoxtest::TempDir dir;
    auto r = ReadText(dir, text);
    ASSERT_TRUE(r->ok);
    auto written = [&](int threads, size_t blockItems) { return WriteInBlocks(*r, threads, blockItems); };
    const std::string expected = written(1, 1 << 16);
    ASSERT_NE(expected.find("\nvn 0.000000 0.000000 1.000000\nv"), std::string::npos);
    ASSERT_NE(expected.find("\nf 498//498 499//499 500//500\n"), std::string::npos);
    // In a child, whose pool has no helper made yet.
    EXPECT_EQ(qoxtest::InChild([&] {
                  qoxtest::NoNewThreads noThreads;
                  if (!noThreads.Active())
                      return std::string();
                  std::string faults;
                  for (size_t blockItems : {size_t(1), size_t(13), size_t(64)})
                      if (written(4, blockItems) != expected)
                          faults += std::to_string(blockItems) + " items a block\n";
                  return faults;
              }),
              "");
}

namespace {

// Writes the scene through the exporter in format to path; the message in
// message.
bool ExportThrough(Scene& s, const std::string& path, int format, std::string& message)
{
    KQoxRegisterGeometryFormats();
    KQoxExporter exporter(*s.manager);
    if (!exporter.Initialize(path.c_str()) || !exporter.SetFileFormat(format))
        return false;
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    const bool ok = exporter.Export(s.scene, options.get());
    KString text;
    exporter.GetMessage(text);
    message = text.ToChars();
    return ok;
}

} // namespace

// A name holding a line break (CR, LF or both), from a file of another
// format or built in code, never adds a statement to the text written: the
// break is written as '_', and the message names what was changed. Read
// back, by our reader and by tinyobjloader, the file holds the one material
// with its colours; DXF layer names likewise hold no break.
TEST(ObjWrite, LineBreaksInNamesNeverAddAStatement)
{
    for (const std::string brk : {"\n", "\r", "\r\n"})
        for (bool imageThere : {false, true})
        {
            const std::string shown = brk == "\n" ? "LF" : brk == "\r" ? "CR" : "CRLF";
            SCOPED_TRACE(shown + (imageThere ? ", the image there" : ", the image missing"));
            const std::string under(brk.size(), '_');
            qoxtest::TempDir images, out;
            const std::string image = images.File("p" + brk + "newmtl Z.png");
            // The message shows the break escaped: one line per message.
            const std::string escaped = images.File("p" +
                                                    std::string(brk == "\n"   ? "\\n"
                                                                : brk == "\r" ? "\\r"
                                                                              : "\\r\\n") +
                                                    "newmtl Z.png");
            if (imageThere)
            {
                ASSERT_TRUE(qoxtest::WriteFile(image, "pixels"));
            }
            Scene s;
            KQoxMesh* mesh = s.AddMesh(("Box" + brk + "g Other").c_str(), kTriangle, {{0, 1, 2}}, false);
            KQoxMaterial* material = s.manager->CreateKQoxMaterial(("p" + brk + "newmtl Z").c_str());
            material->SetDiffuse(KQoxColor(0.25, 0.5, 0.75));
            mesh->AM(material, 0);
            mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
            KQoxTexture* texture = s.manager->CreateKQoxTexture("Map");
            texture->SetFileName(image.c_str());
            mesh->AT(texture, 0);
            mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);

            std::string message;
            ASSERT_TRUE(ExportThrough(s, out.File("scene.obj"), eEXPORT_OBJ, message));
            const std::string texture_ = "p" + under + "newmtl Z.png";
            EXPECT_EQ(message, "Line break in group name replaced by \"_\": \"Box" + under +
                                   "g Other\"\nLine break in material name replaced by \"_\": \"p" + under +
                                   "newmtl Z\"\n" +
                                   (imageThere ? "" : "Unable to locate texture file \"" + escaped + "\".\n") +
                                   "Line break in texture name replaced by \"_\": \"" + texture_ + "\"\n");
            const std::string mtl = qoxtest::ReadFile(out.File("scene.mtl"));
            EXPECT_NE(mtl.find("\nmap_Kd " + texture_ + "\n"), std::string::npos) << mtl;
            if (imageThere)
            {
                EXPECT_EQ(qoxtest::ReadFile(out.File(texture_)), "pixels");
            }
            ObjRead r(out.File("scene.obj"));
            ASSERT_TRUE(r.ok) << r.message;
            ASSERT_EQ(r.manager->GetKQoxMaterialCount(), 1);
            EXPECT_DOUBLE_EQ(r.manager->GetKQoxMaterial(0)->GetDiffuse().mBlue, 0.75);
            EXPECT_STREQ(r.manager->GetKQoxMaterial(0)->GetNameWithoutNameSpacePrefix().ToChars(),
                         ("p" + under + "newmtl Z").c_str());
            KQoxMesh* read = r.Mesh(("Box" + under + "g_Other").c_str()); // the reader makes blanks '_'
            EXPECT_TRUE(read && read->GMC(0) == 1 && read->GM(0, 0) == r.manager->GetKQoxMaterial(0));
#ifdef QOX_HAVE_TINYOBJ
            tinyobj::attrib_t attrib;
            std::vector<tinyobj::shape_t> shapes;
            std::vector<tinyobj::material_t> materials;
            std::string warn, err;
            ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, out.File("scene.obj").c_str(),
                                         (out.Path() + "/").c_str(), false))
                << err;
            ASSERT_EQ(materials.size(), 1u);
            EXPECT_FLOAT_EQ(materials[0].diffuse[0], 0.25f);
            EXPECT_FLOAT_EQ(materials[0].diffuse[2], 0.75f);
            ASSERT_EQ(shapes.size(), 1u);
            // Its LoadObj cuts a "usemtl" name at the first blank, which
            // its libraries' reading keeps: "p_newmtl" names no material.
            EXPECT_EQ(materials[0].name, "p" + under + "newmtl Z");
            EXPECT_EQ(materials[0].diffuse_texname, texture_);
#else
            std::printf("tinyobjloader is not installed: the file is read back by our reader alone\n");
#endif
            // DXF: the layer name holds no break either.
            ASSERT_TRUE(ExportThrough(s, out.File("scene.dxf"), eEXPORT_DXF, message));
            const std::string dxf = qoxtest::ReadFile(out.File("scene.dxf"));
            EXPECT_NE(dxf.find("\n  8\nBox" + under + "g Other\n"), std::string::npos);
            EXPECT_EQ(dxf.find("g Other\r"), std::string::npos);
        }
}
