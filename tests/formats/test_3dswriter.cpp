// The 3DS writer's frame: options, settings records, dummies, 3DS names,
// failures, the exporter registration, and the caller's scene left as it was.

#include "w3ds_test_util.h"

#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxgloballightsettings.h"

using namespace w3dstest;
using qoxtest::TempDir;

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned U16(const std::string& b, size_t at)
{
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

unsigned long U32(const std::string& b, size_t at)
{
    return U16(b, at) | static_cast<unsigned long>(U16(b, at + 2)) << 16;
}

// The animation length of the keyframer header (chunk 0xB00A inside 0xB000
// inside 0x4D4D); -1 when absent.
long AnimationLength(const std::string& path)
{
    const std::string b = ReadBytes(path);
    if (b.size() < 6 || U16(b, 0) != 0x4D4D)
        return -1;
    size_t at = 6;
    while (at + 6 <= b.size())
    {
        const unsigned id = U16(b, at);
        const unsigned long length = U32(b, at + 2);
        if (length < 6)
            return -1;
        if (id == 0xB000)
        {
            size_t in = at + 6;
            while (in + 6 <= at + length)
            {
                const unsigned long sub = U32(b, in + 2);
                if (U16(b, in) == 0xB00A)
                {
                    size_t name = in + 8;
                    while (name < b.size() && b[name])
                        ++name;
                    return static_cast<long>(U32(b, name + 1));
                }
                if (sub < 6)
                    return -1;
                in += sub;
            }
        }
        at += length;
    }
    return -1;
}

class Writer3ds : public ::testing::Test
{
protected:
    TempDir mDir;
    std::string Path(const char* name = "scene.3ds") const { return mDir.File(name); }
};

} // namespace

TEST_F(Writer3ds, EmptySceneHoldsSettingsAndAHundredFrames)
{
    Scene s;
    s.scene.GetGlobalLightSettings().SetAmbientColor(KQoxColor(0.25, 0.5, 0.75));
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, Path(), options.get()));
    Read3ds r(Path());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(GetMeshCount3ds(r.db), 0u);
    EXPECT_EQ(GetObjectNodeCount3ds(r.db), 0u);
    auto settings = r.Settings();
    EXPECT_FLOAT_EQ(settings->masterscale, 0.3937007874015748f);
    EXPECT_FLOAT_EQ(settings->ambientlight.r, 0.25f);
    EXPECT_FLOAT_EQ(settings->ambientlight.b, 0.75f);
    EXPECT_EQ(settings->shadowmapsize, 500);
    EXPECT_FLOAT_EQ(settings->raytracebias, 3.0f);
    EXPECT_FLOAT_EQ(settings->shadowfilter, 3.0f);
    EXPECT_EQ(AnimationLength(Path()), 100);

    // Rescale and ambient light off.
    auto off = Options({{14, 0}, {13, 0}});
    ASSERT_TRUE(WriteScene(s, Path("off.3ds"), off.get()));
    Read3ds r2(Path("off.3ds"));
    auto settings2 = r2.Settings();
    EXPECT_EQ(settings2->masterscale, 1.0f);
    EXPECT_EQ(settings2->ambientlight.g, 0.0f);
}

TEST_F(Writer3ds, KeyframerLengthIsCountedAtThirtyFramesPerSecond)
{
    // The scene's own time mode (24 fps) plays no part: 4 s is frame 120.
    const KTime::ETimeMode saved = KTime::GetGlobalTimeMode();
    KTime::SetGlobalTimeMode(11); // 24 frames per second
    Scene s;
    KQoxNode* node = s.AddQuad(nullptr, "Box");
    KFCurve* x = node->GetCurrentTakeNode()->GetTranslationX();
    Key(x, KTime(0), 0.0f);
    Key(x, Frame(120), 5.0f);
    auto options = Options();
    const bool ok = WriteScene(s, Path(), options.get());
    KTime::SetGlobalTimeMode(saved);
    ASSERT_TRUE(ok);
    EXPECT_EQ(AnimationLength(Path()), 120);
    Read3ds r(Path());
    auto box = r.Object("Box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->npkeys, 121u);
    EXPECT_FLOAT_EQ(box->pos[120].x, 5.0f);
}

TEST_F(Writer3ds, ReferenceNodeSetsTheMasterScaleAndIsNotWritten)
{
    Scene s;
    KQoxNode* reference = s.AddNode(nullptr, "Qox_Root");
    reference->SetDefaultS(KQoxVector4(2, 2, 2));
    s.AddQuad(reference, "Box");
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, Path(), options.get()));
    Read3ds r(Path());
    EXPECT_FLOAT_EQ(r.Settings()->masterscale, static_cast<float>(0.3937007874015748 * 2));
    ASSERT_EQ(GetObjectNodeCount3ds(r.db), 1u); // the box only
    auto box = r.Object(0);
    EXPECT_STREQ(box->name, "Box");
    EXPECT_STREQ(box->parent, "");

    // With a reference node asked for, the root is a dummy and the box
    // hangs under it.
    auto on = Options({{1, 1}});
    ASSERT_TRUE(WriteScene(s, Path("ref.3ds"), on.get()));
    Read3ds r2(Path("ref.3ds"));
    ASSERT_EQ(GetObjectNodeCount3ds(r2.db), 2u);
    auto root = r2.Object(0);
    EXPECT_STREQ(root->name, "$$$DUMMY");
    EXPECT_STREQ(root->instance, "RootNod");
    EXPECT_STREQ(r2.Object(1)->parent, "$$$DUMMY.RootNod");
}

TEST_F(Writer3ds, PlainNodesBecomeDummies)
{
    Scene s;
    KQoxNode* group = s.AddNode(nullptr, "Grp1");
    s.AddQuad(group, "Box");
    KQoxNode* infinite = s.AddNode(nullptr, "Sun", s.NewLight(KQoxLight::eDIRECTIONAL));
    s.AddNode(infinite, "Marker");
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, Path(), options.get()));
    Read3ds r(Path());
    auto dummy = r.Object("$$$DUMMY", "Grp1");
    ASSERT_NE(dummy, nullptr);
    EXPECT_EQ(dummy->bboxmin.x, -0.5f);
    EXPECT_EQ(dummy->bboxmax.z, 0.5f);
    // The root is not written without a reference node: no parent.
    EXPECT_STREQ(dummy->parent, "");
    EXPECT_STREQ(r.Object("Box")->parent, "$$$DUMMY.Grp1");
    // The infinite light writes nothing; its child still is a dummy.
    EXPECT_EQ(GetOmnilightCount3ds(r.db) + GetSpotlightCount3ds(r.db), 0u);
    auto marker = r.Object("$$$DUMMY", "Marker");
    ASSERT_NE(marker, nullptr);
    EXPECT_STREQ(marker->parent, "");
}

TEST_F(Writer3ds, NamesAreCutNumberedAndUnique)
{
    Scene s;
    KQoxNode* a = s.AddQuad(nullptr, "VeryLongNodeName");
    KQoxNode* b = s.AddQuad(nullptr, "VeryLongNodeOther");
    KQoxMesh* mesh = static_cast<KQoxMesh*>(a->GetNodeAttribute());
    s.AddMaterial(mesh, "VeryLon"); // the same as the first node after cutting
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, Path(), options.get()));
    Read3ds r(Path());
    EXPECT_NE(r.Mesh("VeryLon"), nullptr);
    EXPECT_NE(r.Mesh("VeryLon1"), nullptr);
    // Nodes and materials share the numbering.
    EXPECT_EQ(r.MaterialNames(), std::vector<std::string>{"VeryLon2"});
    // The scene keeps its own names.
    EXPECT_STREQ(a->GetName(), "Model::VeryLongNodeName");
    EXPECT_STREQ(b->GetName(), "Model::VeryLongNodeOther");
}

TEST_F(Writer3ds, ThousandsOfEqualNamesStayUniqueWithinTenCharacters)
{
    Scene s;
    const int count = 1200;
    for (int i = 0; i < count; ++i)
        s.AddNode(nullptr, "LongNameX");
    KQoxWriter3DS writer(*s.manager);
    writer.FileCreate(Path().c_str());
    auto options = Options();
    ASSERT_TRUE(writer.Write(s.scene, options.get()));
    Read3ds r(Path());
    ASSERT_EQ(GetObjectNodeCount3ds(r.db), static_cast<ulong3ds>(count));
    std::set<std::string> seen;
    for (int i = 0; i < count; ++i)
    {
        auto m = r.Object(i);
        EXPECT_LE(std::strlen(m->instance), 10u);
        EXPECT_TRUE(seen.insert(m->instance).second) << m->instance;
    }
    EXPECT_TRUE(seen.count("LongNam"));
    EXPECT_TRUE(seen.count("LongNam999"));
}

TEST_F(Writer3ds, FailuresAreReportedAndLeaveNoFile)
{
    Scene s;
    s.AddQuad(nullptr, "Box");
    {
        KQoxWriter3DS writer(*s.manager);
        EXPECT_FALSE(writer.FileCreate(mDir.File("missing/dir/x.3ds").c_str()));
        EXPECT_EQ(writer.GetLastErrorID(), KQoxWriter::eFILE_NOT_CREATED);
        EXPECT_STREQ(writer.GetLastErrorString(), "File not created: the folder does not exist");
        EXPECT_FALSE(ftkerr3ds); // the toolkit's state is left clean
        auto options = Options();
        EXPECT_FALSE(writer.Write(s.scene, options.get()));
        EXPECT_EQ(writer.GetLastErrorID(), KQoxWriter::eFILE_NOT_OPENED);
        EXPECT_FALSE(writer.FileCreate(nullptr));
        EXPECT_EQ(writer.GetLastErrorID(), KQoxWriter::eFILE_NOT_CREATED);
    }
    // A full disk: the write fails with "Out of disk space", nothing is left
    // behind and the toolkit is reset.
    if (FILE* probe = std::fopen("/dev/full", "wb"))
    {
        std::fclose(probe);
        KQoxWriter3DS writer(*s.manager);
        ASSERT_TRUE(writer.FileCreate("/dev/full"));
        auto options = Options();
        EXPECT_FALSE(writer.Write(s.scene, options.get()));
        EXPECT_EQ(writer.GetLastErrorID(), KQoxWriter::eOUT_OF_DISK_SPACE);
        EXPECT_FALSE(ftkerr3ds);
        EXPECT_FALSE(writer.IsFileOpen());
        struct stat status;
        ASSERT_EQ(stat("/dev/full", &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)); // a device is never removed
    }
}

TEST_F(Writer3ds, OptionsOfAnotherKindAreNotedAndTheWriteGoesOn)
{
    Scene s;
    s.AddQuad(nullptr, "Box");
    int error = -1;
    ASSERT_TRUE(WriteScene(s, Path(), nullptr, nullptr, &error));
    EXPECT_EQ(error, KQoxWriter::eSTREAM_OPTIONS_NOT_SET);
    Read3ds r(Path());
    EXPECT_NE(r.Mesh("Box"), nullptr);
    KStreamOptionsObj obj;
    ASSERT_TRUE(WriteScene(s, Path("obj.3ds"), &obj, nullptr, &error));
    EXPECT_EQ(error, KQoxWriter::eSTREAM_OPTIONS_NOT_SET);
}

TEST_F(Writer3ds, SwitchesLeaveOutWhatTheyName)
{
    Scene s;
    s.AddQuad(nullptr, "Box");
    s.AddNode(nullptr, "Lamp", s.NewLight(KQoxLight::ePOINT));
    s.AddNode(nullptr, "Cam", s.manager->CreateKQoxCamera());
    auto options = Options({{10, 0}, {11, 0}, {12, 0}});
    ASSERT_TRUE(WriteScene(s, Path(), options.get()));
    Read3ds r(Path());
    EXPECT_EQ(GetMeshCount3ds(r.db), 0u);
    EXPECT_EQ(GetOmnilightCount3ds(r.db), 0u);
    EXPECT_EQ(GetCameraCount3ds(r.db), 0u);
    EXPECT_EQ(GetObjectNodeCount3ds(r.db) + GetOmnilightNodeCount3ds(r.db) + GetCameraNodeCount3ds(r.db), 0u);
}

TEST_F(Writer3ds, TheCallersSceneIsUnchanged)
{
    Scene s;
    KQoxNode* box = s.AddQuad(nullptr, "AVeryLongBoxName");
    KQoxMesh* mesh = static_cast<KQoxMesh*>(box->GetNodeAttribute());
    KQoxTexture* texture = s.AddTexture(mesh, "Wood", mDir.File("wood.bmp").c_str());
    (void)texture;
    mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
    for (int k = 0; k < 4; ++k)
    {
        mesh->AddTextureUV(KQoxVector2(k * 0.25, 1.0));
        mesh->SetTextureUVIndex(0, k, k);
    }
    KQoxNurb* nurb = s.manager->CreateKQoxNurb();
    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(4, KQoxNurb::eOPEN, 4, KQoxNurb::eOPEN);
    nurb->SetStep(3, 3);
    for (double* knots : {nurb->GetUKnotVector(), nurb->GetVKnotVector()})
        for (int k = 0; k < 8; ++k)
            knots[k] = k < 4 ? 0.0 : 1.0;
    for (int i = 0; i < 16; ++i)
        nurb->GetControlPoints()[i] = KQoxVector4(i % 4, i / 4, 0, 1);
    KQoxNode* surface = s.AddNode(nullptr, "Surface", nurb);
    KQoxNode* cam = s.AddNode(nullptr, "Camera", s.manager->CreateKQoxCamera());
    KQoxCamera* camera = cam->GetCamera();
    camera->SetApertureMode(KQoxCamera::eVERTICAL);
    KFCurve* fov = cam->GetCurrentTakeNode()->GetCameraFieldOfView();
    Key(fov, KTime(0), 40.0f);
    Key(fov, Frame(10), 60.0f);

    const int nodes = s.manager->GetKQoxNodeCount();
    const int materials = s.manager->GetKQoxMaterialCount();
    std::vector<std::string> names;
    for (int i = 0; i < nodes; ++i)
        names.push_back(s.manager->GetKQoxNode(i)->GetName());
    const int polygons = mesh->GetPolygonCount();
    const int points = mesh->GetControlPointsCount();

    auto options = Options();
    ASSERT_TRUE(WriteScene(s, Path(), options.get()));
    ASSERT_TRUE(WriteScene(s, Path("again.3ds"), options.get()));
    EXPECT_EQ(s.manager->GetKQoxNodeCount(), nodes);
    EXPECT_EQ(s.manager->GetKQoxMaterialCount(), materials);
    for (int i = 0; i < nodes; ++i)
        EXPECT_EQ(names[i], s.manager->GetKQoxNode(i)->GetName());
    EXPECT_EQ(box->GetNodeAttribute(), mesh);
    EXPECT_EQ(mesh->GetPolygonCount(), polygons);
    EXPECT_EQ(mesh->GetControlPointsCount(), points);
    EXPECT_EQ(mesh->GMC(0), 0);
    EXPECT_EQ(surface->GetNodeAttribute(), nurb);
    EXPECT_EQ(fov->KeyGetValue(0), 40.0f);
    EXPECT_EQ(fov->KeyGetValue(1), 60.0f);

    // Both writes give the same file.
    EXPECT_EQ(ReadBytes(Path()), ReadBytes(Path("again.3ds")));
    Read3ds r(Path());
    EXPECT_NE(r.Mesh("AVeryLo"), nullptr);
    auto triangulated = r.Mesh("Surface");
    ASSERT_NE(triangulated, nullptr);
    EXPECT_GT(triangulated->nfaces, 0);
}

TEST_F(Writer3ds, TheExporterWritesThreeDsUnderItsId)
{
    KQoxRegisterGeometryFormats();
    Scene s;
    s.AddQuad(nullptr, "Box");
    KQoxExporter exporter(*s.manager);
    ASSERT_TRUE(exporter.Initialize(Path().c_str()));
    ASSERT_TRUE(exporter.SetFileFormat(eEXPORT_3DS));
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(options->Is(KStreamOptions3ds::ClassId));
    EXPECT_EQ(static_cast<KStreamOptions3ds*>(options.get())->GetOption(17), 1);
    ASSERT_TRUE(exporter.Export(s.scene, options.get())) << exporter.GetLastErrorString();
    Read3ds r(Path());
    EXPECT_NE(r.Mesh("Box"), nullptr);
}

TEST_F(Writer3ds, DeepChains)
{
    // 5,000 nested nodes: each hangs under the one before.
    {
        Scene s;
        KQoxNode* parent = nullptr;
        for (int i = 0; i < 5000; ++i)
            parent = s.AddNode(parent, "Link");
        auto options = Options();
        ASSERT_TRUE(WriteScene(s, Path(), options.get()));
        Read3ds r(Path());
        ASSERT_EQ(GetObjectNodeCount3ds(r.db), 5000u);
        auto last = r.Object(4999);
        EXPECT_EQ(std::string(last->parent), std::string("$$$DUMMY.") + r.Object(4998)->instance);
    }
}

TEST_F(Writer3ds, MoreNodesThanSixteenBitIdsFailCleanly)
{
    // More keyframer nodes than 16-bit ids can name: a clean failure, and
    // the incomplete file is removed.
    {
        Scene s;
        for (int i = 0; i < 65536; ++i)
            s.AddNode(nullptr, "N");
        auto options = Options();
        int error = -1;
        EXPECT_FALSE(WriteScene(s, Path("big.3ds"), options.get(), nullptr, &error));
        EXPECT_EQ(error, KQoxWriter::eUNIDENTIFIED_ERROR);
        EXPECT_FALSE(std::ifstream(Path("big.3ds")).good());
        EXPECT_FALSE(ftkerr3ds);
    }
}

namespace {

// Builds in the manager a scene of a mesh node "Box" with the material
// named material and a dummy "Pivot" over a mesh named mesh.
KQoxScene* NamedScene(KQoxSdkManager& manager, const char* material, const char* mesh)
{
    KQoxScene* scene = manager.CreateKQoxScene();
    auto quad = [&](const char* name, KQoxNode* parent) {
        KQoxMesh* geometry = manager.CreateKQoxMesh();
        geometry->InitControlPoints(4);
        for (int i = 0; i < 4; ++i)
            geometry->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, 0);
        geometry->BeginPolygon(-1, -1, -1);
        for (int corner : {0, 1, 3, 2})
            geometry->AddPolygon(corner, -1);
        geometry->EndPolygon();
        KQoxNode* node = manager.CreateKQoxNode(name);
        node->SetNodeAttribute(geometry);
        parent->AddChild(node);
        return geometry;
    };
    quad("Box", scene->GetRootNode())->AM(manager.CreateKQoxMaterial(material), 0);
    KQoxNode* pivot = manager.CreateKQoxNode("Pivot");
    scene->GetRootNode()->AddChild(pivot);
    quad(mesh, pivot);
    return scene;
}

std::string WrittenBytes(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path)
{
    KQoxWriter3DS writer(manager);
    auto options = Options();
    EXPECT_TRUE(writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()));
    return ReadBytes(path);
}

std::vector<std::string> ObjectNames(KQoxSdkManager& manager)
{
    std::vector<std::string> names;
    for (int i = 0; i < manager.GetKQoxNodeCount(); ++i)
        names.push_back(manager.GetKQoxNode(i)->GetName());
    for (int i = 0; i < manager.GetKQoxMaterialCount(); ++i)
        names.push_back(manager.GetKQoxMaterial(i)->GetName());
    return names;
}

} // namespace

TEST_F(Writer3ds, NamesComeFromTheWrittenSceneAloneWhateverElseTheManagerHolds)
{
    // Each scene's bytes when its manager holds it alone.
    std::string alone[2];
    const char* const materials[2] = {"Red", "Blue"};
    const char* const meshes[2] = {"Lid", "Box"};
    for (int k = 0; k < 2; ++k)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        alone[k] = WrittenBytes(*manager, *NamedScene(*manager, materials[k], meshes[k]), Path("alone.3ds"));
    }
    {
        Read3ds r(Path("alone.3ds"));
        EXPECT_NE(r.Mesh("Box"), nullptr);
        EXPECT_NE(r.Mesh("Box1"), nullptr); // the second scene's own two boxes
        EXPECT_EQ(r.MaterialNames(), std::vector<std::string>{"Blue"});
    }
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    // An identical scene made and destroyed first: its material stays listed.
    manager->DestroyKQoxScene(NamedScene(*manager, "Red", "Lid"), true);
    KQoxScene* first = NamedScene(*manager, "Red", "Lid");
    EXPECT_EQ(WrittenBytes(*manager, *first, Path("a.3ds")), alone[0]);
    // Another live scene holding "Box" and "Red" too, then one with "Blue":
    // each written alternately gives its own bytes, and none is renamed.
    KQoxScene* second = NamedScene(*manager, "Red", "Lid");
    KQoxScene* third = NamedScene(*manager, "Blue", "Box");
    const std::vector<std::string> names = ObjectNames(*manager);
    for (int round = 0; round < 2; ++round)
    {
        EXPECT_EQ(WrittenBytes(*manager, *third, Path("c.3ds")), alone[1]);
        EXPECT_EQ(WrittenBytes(*manager, *second, Path("b.3ds")), alone[0]);
        EXPECT_EQ(WrittenBytes(*manager, *first, Path("a.3ds")), alone[0]);
    }
    EXPECT_EQ(ObjectNames(*manager), names);
}
