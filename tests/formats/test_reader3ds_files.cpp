// The 3DS reader over whole files: toolkit-written scenes read back through
// the reader and the importer, option switches, the node tree, the take,
// and damaged files.

#include <cmath>
#include <limits>

#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/reader3ds_test_util.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxtakeinfo.h"

using namespace reader3dstest;
using qoxtest::TempDir;

namespace {

const long long kTicksPerFrame = 1539538600LL;

class Reader3dsFiles : public ::testing::Test
{
protected:
    void SetUp() override { ResetToolkit3ds(); }
    void TearDown() override { ResetToolkit3ds(); }
    std::string Sample()
    {
        const std::string path = mDir.File("sample.3ds");
        EXPECT_TRUE(mSample.Write(path)) << ftktest::LastErrorText();
        return path;
    }
    TempDir mDir;
    ftktest::SampleScene mSample;
};

// A mesh record of one triangle named `name`.
mesh3ds* Triangle(const char* name)
{
    return NewMesh(name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}});
}

objectmotion3ds* Motion(const char* name, const char* parent = "", const char* instance = "")
{
    objectmotion3ds* m = nullptr;
    InitObjectMotion3ds(&m, 0, 0, 0, 0, 0);
    ftktest::SetName(m->name, sizeof m->name, name);
    ftktest::SetName(m->parent, sizeof m->parent, parent);
    ftktest::SetName(m->instance, sizeof m->instance, instance);
    return m;
}

void Put(database3ds* db, mesh3ds* mesh)
{
    PutMesh3ds(db, mesh);
    RelMeshObj3ds(&mesh);
}

void Put(database3ds* db, objectmotion3ds* motion)
{
    PutObjectMotion3ds(db, motion);
    ReleaseObjectMotion3ds(&motion);
}

// The frames of the take "default take" of the scene.
std::pair<long long, long long> TakeFrames(KQoxScene& scene)
{
    KQoxTakeInfo* take = scene.GetTakeInfo(KString("default take"));
    if (!take)
        return {-1, -1};
    return {take->LocalTimeSpan.GetStart().GetFrame(true, 6), take->LocalTimeSpan.GetStop().GetFrame(true, 6)};
}

} // namespace

TEST_F(Reader3dsFiles, SampleSceneThroughTheImporter)
{
    const std::string path = Sample();
    KQoxRegisterGeometryFormats();
    EXPECT_STREQ(KQoxIORegistry::GetReaderDescription(eIMPORT_3DS), "3D Studio 3DS (*.3ds)");
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    ASSERT_TRUE(importer.Initialize(path.c_str())) << importer.GetLastErrorString();
    EXPECT_EQ(importer.GetFileFormat(), static_cast<int>(eIMPORT_3DS));
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
    ASSERT_TRUE(options && options->Is(KStreamOptions3ds::ClassId));
    ASSERT_TRUE(importer.Import(scene, options.get())) << importer.GetLastErrorString();
    EXPECT_STREQ(static_cast<KStreamOptions3ds*>(options.get())->GetTakeName(), "default take");
    EXPECT_FALSE(ftkerr3ds);
    EXPECT_EQ(GetErrCount3ds(), 0);

    // The tree: the dummy at the top, the sphere under it, the omni light
    // under the sphere; the spot at the top with its target under the
    // sphere; the camera at the top with its target under the dummy.
    auto node = [&](const char* name) { return manager->FindKQoxNode(name, 0); };
    auto parent = [&](const char* name) {
        KQoxNode* p = node(name) ? node(name)->GetParent() : nullptr;
        return std::string(p ? p->GetNameWithoutNameSpacePrefix().ToChars() : "-");
    };
    EXPECT_EQ(parent("$$$DUMMY.Grp1"), "RootNode");
    EXPECT_EQ(parent("Sphere01"), "$$$DUMMY.Grp1");
    EXPECT_EQ(parent("Omni01"), "Sphere01");
    EXPECT_EQ(parent("Spot01"), "RootNode");
    EXPECT_EQ(parent("Spot01.Target"), "Sphere01");
    EXPECT_EQ(parent("Cam01"), "RootNode");
    EXPECT_EQ(parent("Cam01.Target"), "$$$DUMMY.Grp1");
    EXPECT_EQ(node("Cam01")->GetTarget(), node("Cam01.Target"));
    EXPECT_EQ(node("Spot01")->GetTarget(), node("Spot01.Target"));
    EXPECT_EQ(node("Spot01")->GetPostTargetRotation()[1], 90.0);
    EXPECT_EQ(node("$$$DUMMY.Grp1")->GetNodeAttribute(), nullptr);
    ASSERT_NE(node("Cam01")->GetCamera(), nullptr);
    ASSERT_NE(node("Cam01.Target")->GetMarker(), nullptr);
    EXPECT_EQ(node("Spot01")->GetLight()->GetLightType(), KQoxLight::eSPOT);
    EXPECT_STREQ(node("Spot01")->GetLight()->GetFileName(), "slide.tga");
    EXPECT_EQ(node("Omni01")->GetLight()->GetDefaultIntensity(), 150.0);

    // The mesh: a material per group, the pivot (1, 2, 3) taken off at
    // scale 2.54 x 0.5, the textured material shading the node.
    KQoxNode* sphere = node("Sphere01");
    auto* mesh = static_cast<KQoxMesh*>(sphere->GetMesh());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetPolygonCount(), int{ftktest::SampleScene::kFaces});
    EXPECT_EQ(mesh->GMC(0), 1) << "only Gold exists as a material";
    EXPECT_EQ(sphere->GetShadingMode(), KQoxNode::eTEXTURE_SHADING);
    EXPECT_EQ(mesh->GetLayerCount(), 2) << "Gold has a second map";
    const double scale = 2.54 * 0.5;
    const point3ds& v1 = mSample.mesh->vertexarray[1];
    // The vertex through the inverse mesh matrix (translation 5, 6, 7).
    const KQoxVector4 expected((v1.x - 5 - 1) * scale, (v1.z - 7 - 3) * scale, -(v1.y - 6 - 2) * scale);
    bool found = false;
    for (int p = 0; p < mesh->GetPolygonCount() && !found; ++p)
        for (int k = 0; k < 3; ++k)
            if (mSample.mesh->facearray[p].v1 == 1 && k == 0)
            {
                const KQoxVector4& point = mesh->GetControlPoints()[mesh->GetPolygonVertex(p, 0)];
                EXPECT_NEAR(point[0], expected[0], 1e-4);
                EXPECT_NEAR(point[1], expected[1], 1e-4);
                EXPECT_NEAR(point[2], expected[2], 1e-4);
                found = true;
            }
    EXPECT_TRUE(found);

    // The scene: the ambient light, the producers' background, the
    // texture of Gold's first map.
    KQoxColor ambient = scene.GetGlobalLightSettings().GetAmbientColor();
    EXPECT_NEAR(ambient.mBlue, 0.3, 1e-6);
    KQoxColor background = scene.GetGlobalCameraSettings().GetCameraProducerTop()->GetDefaultBackgroundColor();
    EXPECT_NEAR(background.mGreen, 0.4, 1e-6);
    EXPECT_NEAR(node("Cam01")->GetCamera()->GetDefaultBackgroundColor().mBlue, 0.6, 1e-6);
    ASSERT_NE(manager->FindKQoxTexture("gold.jpg", 0), nullptr);

    // The sphere's keys: frames 0, 10, 20 of position, the take 0 .. 30.
    EXPECT_EQ(KeyFrames(Curve(sphere, &KQoxTakeNode::GetTranslationX)), (std::vector<long long>{0, 10, 20}));
    EXPECT_EQ(KeyFrames(Curve(node("Cam01"), &KQoxTakeNode::GetCameraFieldOfView)), (std::vector<long long>{0, 30}));
    EXPECT_EQ(TakeFrames(scene), (std::pair<long long, long long>{0, 30}));
    EXPECT_STREQ(scene.GetCurrentTakeName(), "default take");
}

TEST_F(Reader3dsFiles, OptionSwitches)
{
    const std::string path = Sample();
    {
        Fixture f;
        ASSERT_TRUE(f.Read(path, [](KStreamOptions3ds& o) {
            o.SetOption(11, 0); // Lights
            o.SetOption(12, 0); // Camera
            o.SetOption(7, 0);  // Materials
            o.SetOption(13, 0); // Ambient Light
        }));
        EXPECT_EQ(f.Node("Omni01"), nullptr);
        EXPECT_EQ(f.Node("Spot01.Target"), nullptr);
        EXPECT_EQ(f.Node("Cam01"), nullptr);
        EXPECT_EQ(f.manager->GetKQoxMaterialCount(), 0);
        EXPECT_EQ(f.reader.mMaterials.size(), 0u) << "released after the read";
        EXPECT_EQ(f.Mesh("Sphere01")->GMC(0), 0);
        KQoxColor ambient = f.scene.GetGlobalLightSettings().GetAmbientColor();
        EXPECT_EQ(ambient.mRed + ambient.mGreen + ambient.mBlue, 0.0);
    }
    {
        // The reference node carries the scale; the points do not.
        Fixture f;
        ASSERT_TRUE(f.Read(path, [](KStreamOptions3ds& o) { o.SetOption(1, 1); }));
        KQoxNode* root = f.Node("Qox_Root");
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(f.ParentName("Qox_Root"), "RootNode");
        EXPECT_EQ(f.ParentName("$$$DUMMY.Grp1"), "Qox_Root");
        EXPECT_EQ(f.ParentName("Cam01"), "Qox_Root");
        KQoxVector4 s;
        EXPECT_NEAR(root->GetDefaultS(s)[1], 1.27, 1e-6);
        KQoxVector4 t;
        // The omni light's position key (9, 8, 7) in file units.
        KFCurve* x = Curve(f.Node("Omni01"), &KQoxTakeNode::GetTranslationX);
        ASSERT_EQ(x->KeyGetCount(), 2);
        EXPECT_FLOAT_EQ(x->KeyGetValue(1), 9.0f);
        (void)t;
    }
    {
        // Geometries off: the mesh node is there, without its mesh.
        Fixture f;
        ASSERT_TRUE(f.Read(path, [](KStreamOptions3ds& o) { o.SetOption(10, 0); }));
        ASSERT_NE(f.Node("Sphere01"), nullptr);
        EXPECT_EQ(f.Node("Sphere01")->GetNodeAttribute(), nullptr);
    }
    {
        // Anim off: the position is the first key's, no curve has keys.
        Fixture f;
        ASSERT_TRUE(f.Read(path, [](KStreamOptions3ds& o) { o.SetOption(9, 0); }));
        EXPECT_EQ(Curve(f.Node("Sphere01"), &KQoxTakeNode::GetTranslationX)->KeyGetCount(), 0);
        EXPECT_EQ(TakeFrames(f.scene), (std::pair<long long, long long>{0, 150}));
    }
}

TEST_F(Reader3dsFiles, ScaleFactorFromRescaleAndMasterScale)
{
    struct Case
    {
        float master;
        int rescale;
        double factor;
    } const cases[] = {{0.5f, 1, 1.27},
                       {0.0f, 1, 2.54},
                       {-3.0f, 1, 2.54},
                       {0.0f, 0, 1.0},
                       {4.0f, 0, 4.0},
                       {std::numeric_limits<float>::quiet_NaN(), 1, 2.54},
                       {std::numeric_limits<float>::infinity(), 0, 1.0}};
    for (const Case& c : cases)
    {
        const std::string path = mDir.File("scale.3ds");
        ASSERT_TRUE(WriteFile3ds(path, [&](database3ds* db) {
            meshset3ds* settings = nullptr;
            InitMeshSet3ds(&settings);
            settings->masterscale = c.master;
            PutMeshSet3ds(db, settings);
            ReleaseMeshSet3ds(&settings);
            Put(db, Triangle("Tri"));
        }));
        Fixture f;
        ASSERT_TRUE(f.Read(path, [&](KStreamOptions3ds& o) { o.SetOption(14, c.rescale); }));
        EXPECT_NEAR(f.reader.mScaleFactor, c.factor, 1e-6) << c.master << " " << c.rescale;
        EXPECT_NEAR(f.Mesh("Tri")->GetControlPoints()[1][0], c.factor, 1e-6);
    }
}

TEST_F(Reader3dsFiles, FileWithoutKeyframerGetsANodePerObject)
{
    const std::string path = mDir.File("editor.3ds");
    ASSERT_TRUE(WriteFile3ds(path, [](database3ds* db) {
        Put(db, Triangle("Tri"));
        mesh3ds* empty = nullptr;
        InitMeshObj3ds(&empty, 3, 0, 0);
        ftktest::SetName(empty->name, sizeof empty->name, "Points");
        Put(db, empty);
        light3ds* omni = nullptr;
        InitLight3ds(&omni);
        ftktest::SetName(omni->name, sizeof omni->name, "Lamp");
        omni->multiplier = 0.5f;
        PutOmnilight3ds(db, omni);
        ReleaseLight3ds(&omni);
        camera3ds* camera = nullptr;
        InitCamera3ds(&camera);
        ftktest::SetName(camera->name, sizeof camera->name, "Eye");
        PutCamera3ds(db, camera);
        ReleaseCamera3ds(&camera);
    }));
    Fixture f;
    ASSERT_TRUE(f.Read(path)) << f.message;
    EXPECT_EQ(f.ParentName("Tri"), "RootNode");
    ASSERT_NE(f.Mesh("Points"), nullptr);
    EXPECT_EQ(f.Mesh("Points")->GetPolygonCount(), 0);
    EXPECT_EQ(f.Mesh("Points")->GetControlPointsCount(), 0) << "a mesh without faces is not converted";
    EXPECT_EQ(f.Node("Lamp")->GetLight()->GetDefaultIntensity(), 50.0);
    EXPECT_EQ(f.Node("Eye")->GetTarget(), f.Node("Eye.Target"));
    EXPECT_EQ(f.ParentName("Eye.Target"), "RootNode");
    // Static light and camera tracks leave keys at frame 0 only: the take
    // still gets its default length, not an empty span.
    EXPECT_EQ(TakeFrames(f.scene), (std::pair<long long, long long>{0, 150}));
}

TEST_F(Reader3dsFiles, InstancesGetTheirOwnMeshAndPivot)
{
    const std::string path = mDir.File("instances.3ds");
    ASSERT_TRUE(WriteFile3ds(path, [](database3ds* db) {
        Put(db, Triangle("Box01"));
        objectmotion3ds* a = Motion("Box01");
        a->pivot = {1, 2, 3};
        Put(db, a);
        objectmotion3ds* b = Motion("Box01", "", "Inst");
        b->pivot = {-1, 0, 0};
        Put(db, b);
        Put(db, Motion("$$$DUMMY", "", "Group"));
    }));
    Fixture f;
    ASSERT_TRUE(f.Read(path, [](KStreamOptions3ds& o) { o.SetOption(14, 0); }));
    KQoxMesh* first = f.Mesh("Box01");
    KQoxMesh* second = f.Mesh("Box01.Inst");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    ASSERT_EQ(second->GetPolygonCount(), 1);
    // Vertex (1, 0, 0) less the pivot in scene axes.
    const KQoxVector4& p = first->GetControlPoints()[1];
    EXPECT_NEAR(p[0], 0.0, 1e-9);
    EXPECT_NEAR(p[1], -3.0, 1e-9);
    EXPECT_NEAR(p[2], 2.0, 1e-9);
    const KQoxVector4& q = second->GetControlPoints()[1];
    EXPECT_NEAR(q[0], 2.0, 1e-9);
    EXPECT_NEAR(q[1], 0.0, 1e-9);
    EXPECT_NEAR(q[2], 0.0, 1e-9);
    ASSERT_NE(f.Node("$$$DUMMY.Group"), nullptr);
    EXPECT_EQ(f.Node("$$$DUMMY.Group")->GetNodeAttribute(), nullptr);
}

TEST_F(Reader3dsFiles, ParentCyclesEndUnderTheBaseNode)
{
    // A names B as parent and B names A; C names itself.
    const std::string path = mDir.File("cycle.3ds");
    ASSERT_TRUE(WriteFile3ds(path, [](database3ds* db) {
        Put(db, Motion("A", "B"));
        Put(db, Motion("B", "A"));
        Put(db, Motion("C", "C"));
        Put(db, Motion("D", "Nowhere"));
    }));
    Fixture f;
    ASSERT_TRUE(f.Read(path));
    EXPECT_EQ(f.ParentName("A"), "B");
    EXPECT_EQ(f.ParentName("B"), "RootNode");
    EXPECT_EQ(f.ParentName("C"), "RootNode");
    EXPECT_EQ(f.ParentName("D"), "RootNode");
}

TEST_F(Reader3dsFiles, TargetsFollowTheirOwnParentOrTheirLights)
{
    const std::string path = mDir.File("aimed.3ds");
    ASSERT_TRUE(WriteFile3ds(path, [](database3ds* db) {
        Put(db, Motion("Box01"));
        Put(db, Motion("Box02"));
        light3ds* spot = nullptr;
        InitSpotlight3ds(&spot);
        ftktest::SetName(spot->name, sizeof spot->name, "Spot01");
        PutSpotlight3ds(db, spot);
        ReleaseLight3ds(&spot);
        spotmotion3ds* s = nullptr;
        InitSpotlightMotion3ds(&s, 0, 0, 0, 0, 0, 0);
        ftktest::SetName(s->name, sizeof s->name, "Spot01");
        ftktest::SetName(s->parent, sizeof s->parent, "Box01");
        PutSpotlightMotion3ds(db, s);
        ReleaseSpotlightMotion3ds(&s);
        cameramotion3ds* c = nullptr;
        InitCameraMotion3ds(&c, 0, 0, 0, 0);
        ftktest::SetName(c->name, sizeof c->name, "Cam01");
        ftktest::SetName(c->parent, sizeof c->parent, "Box01");
        ftktest::SetName(c->tparent, sizeof c->tparent, "Box02");
        PutCameraMotion3ds(db, c);
        ReleaseCameraMotion3ds(&c);
    }));
    Fixture f;
    ASSERT_TRUE(f.Read(path));
    EXPECT_EQ(f.ParentName("Spot01"), "Box01");
    EXPECT_EQ(f.ParentName("Spot01.Target"), "Box01");
    EXPECT_NE(f.Node("Spot01")->GetLight(), nullptr);
    EXPECT_EQ(f.ParentName("Cam01"), "Box01");
    EXPECT_EQ(f.ParentName("Cam01.Target"), "Box02");
    EXPECT_EQ(f.Node("Cam01")->GetNodeAttribute(), nullptr) << "no camera record of that name";
    // The spot's static tracks: its default cone angle and a key at 0.
    EXPECT_EQ(f.Node("Spot01")->GetLight()->GetDefaultConeAngle(), 45.0);
}

TEST_F(Reader3dsFiles, ParentsAreNodesOfTheReadOnly)
{
    // A node named like a producer camera, or like a node of an earlier
    // scene of the manager, is no parent.
    const std::string path = mDir.File("parents.3ds");
    ASSERT_TRUE(WriteFile3ds(path, [](database3ds* db) {
        Put(db, Motion("Box01", "Producer Top"));
        Put(db, Motion("Box02", "Older"));
    }));
    Fixture f;
    f.manager->CreateKQoxNode("Older");
    ASSERT_TRUE(f.Read(path));
    EXPECT_EQ(f.ParentName("Box01"), "RootNode");
    EXPECT_EQ(f.ParentName("Box02"), "RootNode");
}

// ---- Files and errors ----

TEST_F(Reader3dsFiles, MissingFileIsNotOpened)
{
    Fixture f;
    EXPECT_FALSE(f.reader.FileOpen(mDir.File("absent.3ds").c_str()));
    EXPECT_EQ(f.reader.GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);
    EXPECT_STREQ(f.reader.GetLastErrorString(), "File not opened: no such file");
    EXPECT_FALSE(ftkerr3ds);
    EXPECT_FALSE(f.reader.FileOpen(nullptr));
    EXPECT_FALSE(f.reader.IsFileOpen());
    std::unique_ptr<KStreamOptions> options(f.reader.GetReadOptions(false));
    EXPECT_FALSE(f.reader.Read(f.scene, options.get()));
    EXPECT_EQ(f.reader.GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);

    KQoxRegisterGeometryFormats();
    KQoxImporter importer(*f.manager);
    EXPECT_FALSE(importer.Initialize(mDir.File("absent.3ds").c_str()));
    EXPECT_EQ(importer.GetLastErrorID(), 3);
}

TEST_F(Reader3dsFiles, EveryReadLeavesTheToolkitClear)
{
    const std::string path = Sample();
    Fixture f;
    // An earlier user's failure does not fail this read.
    OpenFile3ds(mDir.File("absent.3ds").c_str(), "rb");
    ASSERT_TRUE(ftkerr3ds);
    ASSERT_TRUE(f.reader.FileOpen(path.c_str()));
    std::unique_ptr<KStreamOptions> options(f.reader.GetReadOptions(false));
    ASSERT_TRUE(f.reader.Read(f.scene, options.get()));
    EXPECT_FALSE(ftkerr3ds);
    EXPECT_EQ(GetErrCount3ds(), 0);
    EXPECT_FALSE(f.reader.IsFileOpen()) << "a read closes its file";
    // A second read of the same reader: no file any more.
    EXPECT_FALSE(f.reader.Read(f.scene, options.get()));
    EXPECT_EQ(f.reader.GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);

    // Foreign or missing options: error 6, and the read goes on.
    Fixture g;
    ASSERT_TRUE(g.reader.FileOpen(path.c_str()));
    KStreamOptionsObj foreign;
    EXPECT_TRUE(g.reader.Read(g.scene, &foreign));
    EXPECT_EQ(g.reader.GetLastErrorID(), KQoxReader::eSTREAM_OPTIONS_NOT_SET);
    ASSERT_NE(g.Node("Sphere01"), nullptr);
    Fixture h;
    ASSERT_TRUE(h.reader.FileOpen(path.c_str()));
    EXPECT_TRUE(h.reader.Read(h.scene, nullptr));
    EXPECT_EQ(h.reader.GetLastErrorID(), KQoxReader::eSTREAM_OPTIONS_NOT_SET);
}

TEST_F(Reader3dsFiles, TruncatedAndCorruptFilesFailCleanly)
{
    const std::string path = Sample();
    const std::string image = qoxtest::ReadFile(path);
    ASSERT_GT(image.size(), 1000u);
    const std::string damaged = mDir.File("damaged.3ds");
    int failures = 0, reads = 0;
    auto check = [&](const std::string& bytes, const std::string& what) {
        qoxtest::WriteFile(damaged, bytes);
        Fixture f;
        const bool ok = f.Read(damaged);
        ++reads;
        if (!ok)
        {
            ++failures;
            const int id = f.reader.GetLastErrorID();
            EXPECT_TRUE(id == KQoxReader::eFILE_CORRUPTED || id == KQoxReader::eUNIDENTIFIED_ERROR) << what << id;
            // The toolkit's account in the message, or, for a file refused
            // at its first bytes, the cause in the error's text.
            const std::string text = f.reader.GetLastErrorString();
            if (f.message.empty())
            {
                EXPECT_TRUE(text == "File is corrupted: the file is empty" ||
                            text == "File is corrupted: not a 3DS file")
                    << what << ": " << text;
            }
        }
        EXPECT_FALSE(ftkerr3ds) << what;
        EXPECT_EQ(GetErrCount3ds(), 0) << what;
    };
    for (size_t cut = 0; cut < image.size(); cut += 1 + cut / 8)
        check(image.substr(0, cut), "cut at " + std::to_string(cut));
    // Bytes overwritten with 0xFF, one position at a time, every 97 bytes.
    for (size_t at = 0; at < image.size(); at += 97)
    {
        std::string bytes = image;
        bytes[at] = '\xFF';
        bytes[at / 2] = '\x7F';
        check(bytes, "flipped at " + std::to_string(at));
    }
    EXPECT_GT(failures, 10);
    EXPECT_GT(reads, failures);

    // An empty file is corrupt.
    qoxtest::WriteFile(damaged, "");
    Fixture f;
    EXPECT_FALSE(f.Read(damaged));
    EXPECT_EQ(f.reader.GetLastErrorID(), KQoxReader::eFILE_CORRUPTED);
    EXPECT_STREQ(f.reader.GetLastErrorString(), "File is corrupted: the file is empty");
}

// ---- Files written by lib3ds ----

#ifndef QOX_HAVE_LIB3DS

TEST(Reader3dsLib3ds, SkippedWithoutLib3ds)
{
    GTEST_SKIP() << "lib3ds is not installed: the reads of its files need it";
}

#else

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

namespace {

Lib3dsNode* Lib3dsNodeOf(Lib3dsNode* node, const char* name, int id, int parent)
{
    std::strcpy(node->name, name);
    node->node_id = static_cast<Lib3dsWord>(id);
    node->parent_id = static_cast<Lib3dsWord>(parent);
    return node;
}

// A scene built and saved by lib3ds: a dummy "Rig" holding a textured
// plate, under which a camera hangs, its target under the dummy; an omni
// light at the top with a colour track.
void WriteLib3dsScene(const std::string& path)
{
    Lib3dsFile* f = lib3ds_file_new();
    f->master_scale = 2.0f;
    f->ambient[0] = 0.25f;
    f->ambient[1] = 0.5f;
    f->ambient[2] = 0.75f;

    Lib3dsMaterial* mat = lib3ds_material_new();
    std::strcpy(mat->name, "Steel");
    mat->diffuse[0] = 0.2f;
    mat->diffuse[1] = 0.4f;
    mat->diffuse[2] = 0.6f;
    mat->shininess = 0.25f;
    mat->transparency = 0.5f;
    std::strcpy(mat->texture1_map.name, "steel.tga");
    mat->texture1_map.percent = 1.0f;
    mat->texture1_map.scale[0] = 1.0f;
    mat->texture1_map.scale[1] = 1.0f;
    lib3ds_file_insert_material(f, mat);

    Lib3dsMesh* mesh = lib3ds_mesh_new("Plate");
    lib3ds_mesh_new_point_list(mesh, 4);
    lib3ds_mesh_new_texel_list(mesh, 4);
    lib3ds_mesh_new_face_list(mesh, 2);
    const float points[4][3] = {{10, 0, 0}, {11, 0, 0}, {10, 1, 0}, {11, 1, 0}};
    for (int i = 0; i < 4; ++i)
    {
        std::memcpy(mesh->pointL[i].pos, points[i], sizeof points[i]);
        mesh->texelL[i][0] = points[i][0] - 10.0f;
        mesh->texelL[i][1] = points[i][1];
    }
    const Lib3dsWord faces[2][3] = {{0, 1, 2}, {2, 1, 3}};
    for (int i = 0; i < 2; ++i)
    {
        std::memcpy(mesh->faceL[i].points, faces[i], sizeof faces[i]);
        mesh->faceL[i].flags = 7;
        mesh->faceL[i].smoothing = 1;
        std::strcpy(mesh->faceL[i].material, "Steel");
    }
    for (int r = 0; r < 4; ++r)
        mesh->matrix[r][r] = 1.0f;
    mesh->matrix[3][0] = 10.0f;
    lib3ds_file_insert_mesh(f, mesh);

    Lib3dsLight* light = lib3ds_light_new("Lamp");
    light->multiplier = 2.0f;
    lib3ds_file_insert_light(f, light);
    Lib3dsCamera* cam = lib3ds_camera_new("View");
    cam->fov = 40.0f;
    cam->near_range = 1.0f;
    cam->far_range = 2000.0f;
    lib3ds_file_insert_camera(f, cam);

    Lib3dsNode* rig = Lib3dsNodeOf(lib3ds_node_new_object(), "$$$DUMMY", 0, LIB3DS_NO_PARENT);
    std::strcpy(rig->data.object.instance, "Rig");
    lib3ds_file_insert_node(f, rig);
    Lib3dsNode* plate = Lib3dsNodeOf(lib3ds_node_new_object(), "Plate", 1, 0);
    plate->data.object.pivot[0] = 4.0f;
    for (int k = 0; k < 2; ++k)
    {
        Lib3dsLin3Key* key = lib3ds_lin3_key_new();
        key->tcb.frame = k * 15;
        key->value[0] = k * 3.0f;
        lib3ds_lin3_track_insert(&plate->data.object.pos_track, key);
        Lib3dsQuatKey* rot = lib3ds_quat_key_new();
        rot->tcb.frame = k * 15;
        rot->angle = 0.5f;
        rot->axis[1] = 1.0f;
        lib3ds_quat_track_insert(&plate->data.object.rot_track, rot);
    }
    lib3ds_file_insert_node(f, plate);
    Lib3dsNode* view = Lib3dsNodeOf(lib3ds_node_new_camera(), "View", 2, 1);
    Lib3dsLin1Key* fov = lib3ds_lin1_key_new();
    fov->tcb.frame = 12;
    fov->value = 40.0f;
    lib3ds_lin1_track_insert(&view->data.camera.fov_track, fov);
    lib3ds_file_insert_node(f, view);
    Lib3dsNode* target = Lib3dsNodeOf(lib3ds_node_new_target(), "View", 3, 0);
    Lib3dsLin3Key* aim = lib3ds_lin3_key_new();
    aim->value[2] = -5.0f;
    lib3ds_lin3_track_insert(&target->data.target.pos_track, aim);
    lib3ds_file_insert_node(f, target);
    Lib3dsNode* lamp = Lib3dsNodeOf(lib3ds_node_new_light(), "Lamp", 4, LIB3DS_NO_PARENT);
    for (int k = 0; k < 2; ++k)
    {
        Lib3dsLin3Key* colour = lib3ds_lin3_key_new();
        colour->tcb.frame = k * 45;
        colour->value[0] = 1.0f - k * 0.5f;
        lib3ds_lin3_track_insert(&lamp->data.light.col_track, colour);
    }
    lib3ds_file_insert_node(f, lamp);
    ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
    lib3ds_file_free(f);
}

} // namespace

TEST_F(Reader3dsFiles, Lib3dsSceneImportsWhole)
{
    const std::string path = mDir.File("lib3ds.3ds");
    WriteLib3dsScene(path);
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    ASSERT_TRUE(importer.Initialize(path.c_str()));
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
    static_cast<KStreamOptions3ds*>(options.get())->SetOption(14, 0); // no rescale: scale = master 2
    ASSERT_TRUE(importer.Import(scene, options.get())) << importer.GetLastErrorString();
    auto node = [&](const char* name) { return manager->FindKQoxNode(name, 0); };
    auto parent = [&](const char* name) {
        KQoxNode* p = node(name) ? node(name)->GetParent() : nullptr;
        return std::string(p ? p->GetNameWithoutNameSpacePrefix().ToChars() : "-");
    };

    // The tree.
    EXPECT_EQ(parent("$$$DUMMY.Rig"), "RootNode");
    EXPECT_EQ(parent("Plate"), "$$$DUMMY.Rig");
    EXPECT_EQ(parent("View"), "Plate");
    EXPECT_EQ(parent("View.Target"), "$$$DUMMY.Rig");
    EXPECT_EQ(parent("Lamp"), "RootNode");
    EXPECT_EQ(node("View")->GetTarget(), node("View.Target"));

    // The plate: one smoothing group keeps its 4 vertices; the mesh matrix
    // and the pivot (4, 0, 0) come off, the master scale 2 goes in.
    auto* mesh = static_cast<KQoxMesh*>(node("Plate")->GetMesh());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetControlPointsCount(), 4);
    ASSERT_EQ(mesh->GetPolygonCount(), 2);
    const KQoxVector4& corner = mesh->GetControlPoints()[3];
    EXPECT_NEAR(corner[0], (1 - 4) * 2.0, 1e-5);
    EXPECT_NEAR(corner[1], 0.0, 1e-5);
    EXPECT_NEAR(corner[2], -2.0, 1e-5);
    ASSERT_EQ(mesh->GMC(0), 1);
    KQoxMaterial* steel = mesh->GM(0, 0);
    EXPECT_STREQ(steel->GetName(), "Material::Steel");
    EXPECT_NEAR(steel->GetDiffuse().mGreen, 0.4, 1e-6);
    EXPECT_NEAR(steel->GetShininess(), 0.5, 1e-2);
    EXPECT_NEAR(steel->GetOpacity(), 0.5, 1e-2);
    ASSERT_EQ(mesh->GTC(0), 1);
    EXPECT_STREQ(mesh->GT(0, 0)->GetFileName(), "steel.tga");
    EXPECT_FLOAT_EQ(mesh->GetTextureUV()[3][0], 1.0);

    // The plate's keys: positions at frames 0 and 15 (x 0 and 6), two
    // half-radian turns about the 3DS y axis accumulating about the
    // scene's Z axis.
    KQoxNode* plate = node("Plate");
    KFCurve* x = Curve(plate, &KQoxTakeNode::GetTranslationX);
    EXPECT_EQ(KeyFrames(x), (std::vector<long long>{0, 15}));
    EXPECT_FLOAT_EQ(x->KeyGetValue(1), 6.0f);
    KFCurve* rz = Curve(plate, &KQoxTakeNode::GetEulerRotationZ);
    ASSERT_EQ(rz->KeyGetCount(), 2);
    EXPECT_NEAR(rz->KeyGetValue(0), 28.6478898, 1e-3);
    EXPECT_NEAR(rz->KeyGetValue(1), 57.2957795, 1e-3);
    EXPECT_NEAR(Curve(plate, &KQoxTakeNode::GetEulerRotationX)->KeyGetValue(1), 0.0, 1e-3);

    // The camera and its target; the lamp with its colour keys.
    KQoxCamera* camera = node("View")->GetCamera();
    ASSERT_NE(camera, nullptr);
    EXPECT_NEAR(camera->GetFocalLength(), 60.0, 1e-3);
    EXPECT_NEAR(camera->GetNearPlane(), 2.0, 1e-6);
    EXPECT_NEAR(camera->GetFarPlane(), 40000.0, 1e-3);
    EXPECT_NEAR(camera->GetDefaultFieldOfView(), 40.0, 1e-4);
    KQoxVector4 aim;
    node("View.Target")->GetDefaultT(aim);
    EXPECT_NEAR(aim[1], -10.0, 1e-5);
    KQoxLight* lamp = node("Lamp")->GetLight();
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->GetLightType(), KQoxLight::ePOINT);
    EXPECT_NEAR(lamp->GetDefaultIntensity(), 200.0, 1e-4);
    KFCurve* red = Curve(node("Lamp"), &KQoxTakeNode::GetColorR);
    EXPECT_EQ(KeyFrames(red), (std::vector<long long>{0, 45}));
    EXPECT_FLOAT_EQ(red->KeyGetValue(1), 0.5f);

    KQoxColor ambient = scene.GetGlobalLightSettings().GetAmbientColor();
    EXPECT_NEAR(ambient.mGreen, 0.5, 1e-6);
    EXPECT_EQ(TakeFrames(scene), (std::pair<long long, long long>{0, 45}));
}

TEST_F(Reader3dsFiles, RotationKeysTurnAsLib3dsEvaluatesThem)
{
    // Three rotation keys about different axes: lib3ds's own evaluation of
    // the node at each key is the oracle for the accumulated orientation.
    const std::string path = mDir.File("turns.3ds");
    const float angles[3] = {0.5f, 0.7f, -0.3f};
    const float axes[3][3] = {{0, 0, 1}, {1, 0, 0}, {0, 0.70710678f, 0.70710678f}};
    {
        Lib3dsFile* f = lib3ds_file_new();
        f->frames = 30;
        Lib3dsNode* box = Lib3dsNodeOf(lib3ds_node_new_object(), "Box", 0, LIB3DS_NO_PARENT);
        for (int i = 0; i < 3; ++i)
        {
            Lib3dsQuatKey* key = lib3ds_quat_key_new();
            key->tcb.frame = i * 10;
            key->angle = angles[i];
            std::memcpy(key->axis, axes[i], sizeof axes[i]);
            lib3ds_quat_track_insert(&box->data.object.rot_track, key);
        }
        lib3ds_file_insert_node(f, box);
        ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
        lib3ds_file_free(f);
    }
    Lib3dsFile* oracle = lib3ds_file_load(path.c_str());
    ASSERT_NE(oracle, nullptr);
    Fixture f;
    ASSERT_TRUE(f.Read(path));
    KQoxNode* box = f.Node("Box");
    KFCurve* curves[3] = {Curve(box, &KQoxTakeNode::GetEulerRotationX), Curve(box, &KQoxTakeNode::GetEulerRotationY),
                          Curve(box, &KQoxTakeNode::GetEulerRotationZ)};
    ASSERT_EQ(curves[0]->KeyGetCount(), 3);
    for (int k = 0; k < 3; ++k)
    {
        lib3ds_file_eval(oracle, static_cast<Lib3dsFloat>(k * 10));
        Lib3dsNode* node = lib3ds_file_node_by_name(oracle, "Box", LIB3DS_OBJECT_NODE);
        KQoxXMatrix m;
        m.SetR(KQoxVector4(curves[0]->KeyGetValue(k), curves[1]->KeyGetValue(k), curves[2]->KeyGetValue(k)));
        // The image of each 3DS axis: in scene axes (x, z, -y), turned by
        // the scene rotation (row vectors), and back to 3DS axes.
        const double basis[3][3] = {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
        for (int i = 0; i < 3; ++i)
        {
            double turned[3] = {0, 0, 0};
            for (int c = 0; c < 3; ++c)
                for (int r = 0; r < 3; ++r)
                    turned[c] += basis[i][r] * m.Get(r, c);
            const double back[3] = {turned[0], -turned[2], turned[1]};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(back[c], node->matrix[i][c], 1e-4) << "key " << k << " axis " << i << " component " << c;
        }
    }
    lib3ds_file_free(oracle);
}

TEST_F(Reader3dsFiles, WorldPositionsAgreeWithLib3dsEvaluation)
{
    // Each plate vertex in the world, as lib3ds places it (node matrix,
    // less the pivot, through the inverse mesh matrix) and as the scene
    // places its control point (global matrix of the current take), at
    // each position key.
    const std::string path = mDir.File("lib3ds.3ds");
    WriteLib3dsScene(path);
    Lib3dsFile* oracle = lib3ds_file_load(path.c_str());
    ASSERT_NE(oracle, nullptr);
    Lib3dsMesh* plate = lib3ds_file_mesh_by_name(oracle, "Plate");
    Fixture f;
    ASSERT_TRUE(f.Read(path, [](KStreamOptions3ds& o) { o.SetOption(14, 0); }));
    const double scale = 2.0;
    KQoxNode* node = f.Node("Plate");
    auto* mesh = static_cast<KQoxMesh*>(node->GetMesh());
    for (int frame : {0, 15})
    {
        lib3ds_file_eval(oracle, static_cast<Lib3dsFloat>(frame));
        Lib3dsNode* placed = lib3ds_file_node_by_name(oracle, "Plate", LIB3DS_OBJECT_NODE);
        KTime time;
        time.SetTime(0, 0, 0, frame, 0, 6);
        const KQoxXMatrix global = node->GetGlobalFromCurrentTake(time);
        for (int v = 0; v < 4; ++v)
        {
            // lib3ds: the mesh matrix is a translation by (10, 0, 0).
            const float* p = plate->pointL[v].pos;
            const double local[3] = {p[0] - 10.0 - placed->data.object.pivot[0], p[1] - placed->data.object.pivot[1],
                                     p[2] - placed->data.object.pivot[2]};
            double world[3];
            for (int c = 0; c < 3; ++c)
                world[c] = local[0] * placed->matrix[0][c] + local[1] * placed->matrix[1][c] +
                           local[2] * placed->matrix[2][c] + placed->matrix[3][c];
            const KQoxVector4 ours = global.MultT(mesh->GetControlPoints()[v]);
            EXPECT_NEAR(ours[0], scale * world[0], 1e-4) << "frame " << frame << " vertex " << v;
            EXPECT_NEAR(ours[1], scale * world[2], 1e-4) << "frame " << frame << " vertex " << v;
            EXPECT_NEAR(ours[2], -scale * world[1], 1e-4) << "frame " << frame << " vertex " << v;
        }
    }
    lib3ds_file_free(oracle);
}

#endif
