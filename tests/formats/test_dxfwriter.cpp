// The DXF writer: the exact text of a small scene, colours of materials,
// hidden nodes, failures, and scenes written and read back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/qox_test_common.h"
#include "common/qox_test_run.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

struct Scene
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();

    // A mesh node under parent with the given points and polygons; a colour
    // per polygon (0: none) makes by-polygon materials.
    KQoxNode* AddMesh(KQoxNode* parent, const char* name, std::initializer_list<KQoxVector4> points,
                      std::initializer_list<std::initializer_list<int>> polygons,
                      std::initializer_list<KQoxColor> colors = {})
    {
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        mesh->InitControlPoints(static_cast<int>(points.size()));
        int i = 0;
        for (const KQoxVector4& p : points)
            mesh->GetControlPoints()[i++] = p;
        std::vector<int> materials;
        if (colors.size())
        {
            mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
            int k = 0;
            for (const KQoxColor& color : colors)
            {
                KQoxMaterial* material = manager->CreateKQoxMaterial(("m" + std::to_string(k++)).c_str());
                material->SetDiffuse(color);
                materials.push_back(mesh->AM(material, 0));
            }
        }
        size_t p = 0;
        for (const auto& polygon : polygons)
        {
            mesh->BeginPolygon(materials.empty() ? -1 : materials[p++ % materials.size()], -1, -1);
            for (int corner : polygon)
                mesh->AddPolygon(corner, -1);
            mesh->EndPolygon();
        }
        KQoxNode* node = manager->CreateKQoxNode(name);
        node->SetNodeAttribute(mesh);
        parent->AddChild(node);
        return node;
    }

    bool Write(const std::string& path, bool triangulate, KQoxWriterDxf* writer = nullptr)
    {
        std::unique_ptr<KQoxWriterDxf> own;
        if (!writer)
            writer = (own = std::make_unique<KQoxWriterDxf>(*manager)).get();
        if (!writer->FileCreate(path.c_str()))
            return false;
        KStreamOptionsDxf options;
        options.SetOption(KStreamOptionsDxf::eFORCE_TRIANGULATION, triangulate ? 1 : 0);
        const bool ok = writer->Write(scene, &options);
        return writer->FileClose() && ok;
    }
};

const char* kHead = "999\nTolvane Dxf writer for QOX\n  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1008\n"
                    "  9\n$UCSORG\n 10\n0.0\n 20\n0.0\n 30\n0.0\n  9\n$UCSXDIR\n 10\n1.0\n 20\n0.0\n 30\n0.0\n"
                    "  9\n$TILEMODE\n 70\n   1\n  9\n$UCSYDIR\n 10\n0.0\n 20\n1.0\n 30\n0.0\n  0\nENDSEC\n"
                    "  0\nSECTION\n  2\nTABLES\n";
const char* kTail = "  0\nENDSEC\n  0\nEOF\n";

} // namespace

TEST(DxfWriter, GoldenTextOfEmptyAndSmallScenes)
{
    TempDir dir;
    const std::string path = dir.Path() + "/out.dxf";
    {
        Scene empty;
        ASSERT_TRUE(empty.Write(path, true));
        EXPECT_EQ(ReadFile(path),
                  std::string(kHead) +
                      "  0\nENDSEC\n  0\nSECTION\n  2\nBLOCKS\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n" + kTail);
    }
    Scene s;
    KQoxNode* group = s.manager->CreateKQoxNode("Group");
    s.scene.GetRootNode()->AddChild(group);
    KQoxNode* quad =
        s.AddMesh(group, "Quad", {{0, 0, 0}, {1, 0, 0}, {1, 2, 3}, {0, 1, 0}}, {{0, 1, 2, 3}}, {KQoxColor(1, 0, 0)});
    quad->SetVisibility(false);
    ASSERT_TRUE(s.Write(path, false));
    const std::string expected =
        std::string(kHead) +
        "  0\nTABLE\n  2\nLTYPE\n 70\n   1\n  0\nLTYPE\n  2\nCONTINUOUS\n 70\n   64\n  3\nSolid line\n 72\n   65\n"
        " 73\n   0\n 40\n0.0\n  0\nENDTAB\n  0\nTABLE\n  2\nLAYER\n 70\n   2\n"
        "  0\nLAYER\n  2\nQuad\n 70\n   0\n 62\n   -1\n  6\nCONTINUOUS\n  0\nENDTAB\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nBLOCKS\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n"
        "  0\nPOLYLINE\n  8\nQuad\n 62\n   1\n 66\n   1\n 10\n0.0\n 20\n0.0\n 30\n0.0\n 70\n   64\n 71\n   4\n"
        " 72\n   1\n"
        // Coordinates in the shortest form that reads back the same double.
        "  0\nVERTEX\n  8\nQuad\n 10\n0\n 20\n-0\n 30\n0\n 70\n   192\n"
        "  0\nVERTEX\n  8\nQuad\n 10\n1\n 20\n-0\n 30\n0\n 70\n   192\n"
        "  0\nVERTEX\n  8\nQuad\n 10\n1\n 20\n-3\n 30\n2\n 70\n   192\n"
        "  0\nVERTEX\n  8\nQuad\n 10\n0\n 20\n-0\n 30\n1\n 70\n   192\n"
        "  0\nVERTEX\n  8\nQuad\n 62\n   1\n 10\n0.0\n 20\n0.0\n 30\n0.0\n 70\n   128\n"
        " 71\n   4\n 72\n   3\n 73\n   2\n 74\n   1\n  0\nSEQEND\n" +
        kTail;
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(DxfWriter, FailuresAreReported)
{
    Scene s;
    KQoxWriterDxf writer(*s.manager);
    KStreamOptionsDxf options;
    EXPECT_FALSE(writer.Write(s.scene, &options));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), KQoxWriter::eFILE_NOT_OPENED);
    EXPECT_STREQ(writer.GetError().GetLastErrorString(), "File not opened");
    EXPECT_FALSE(writer.FileCreate("/nonexistent/dir/x.dxf"));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), KQoxWriter::eFILE_NOT_CREATED);
    EXPECT_STREQ(writer.GetError().GetLastErrorString(), "File not created: the folder does not exist");

    TempDir dir;
    ASSERT_TRUE(writer.FileCreate((dir.Path() + "/a.dxf").c_str()));
    KStreamOptionsObj wrong;
    EXPECT_FALSE(writer.Write(s.scene, &wrong));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), KQoxWriter::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_STREQ(writer.GetError().GetLastErrorString(), "Stream options not set");
    EXPECT_TRUE(writer.FileClose());

    // A full device fails the write, never reports success.
    if (FILE* probe = fopen("/dev/full", "wb"))
    {
        fclose(probe);
        s.AddMesh(s.scene.GetRootNode(), "M", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        ASSERT_TRUE(writer.FileCreate("/dev/full"));
        const bool wrote = writer.Write(s.scene, &options);
        const bool closed = writer.FileClose();
        EXPECT_FALSE(wrote && closed);
        EXPECT_EQ(writer.GetError().GetLastErrorID(), KQoxWriter::eOUT_OF_DISK_SPACE);
        EXPECT_STREQ(writer.GetError().GetLastErrorString(), "Out of disk space");
    }
}

TEST(DxfWriter, RoundTripKeepsGeometryAndColours)
{
    TempDir dir;
    const std::string path = dir.Path() + "/round.dxf";
    Scene s;
    s.AddMesh(s.scene.GetRootNode(), "Tiles",
              {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {2, 0, 0}, {3, 1, 0}, {2.5, 2, 0.25}, {2, 1.5, 0}},
              {{0, 1, 2, 3}, {4, 5, 6, 7, 1}}, {KQoxColor(1, 0, 0), KQoxColor(0, 0, 1)});
    ASSERT_TRUE(s.Write(path, false));

    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxReaderDxf reader(*manager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    KStreamOptionsDxf options;
    options.SetOption(1, 0);
    ASSERT_TRUE(reader.Read(scene, &options));
    ASSERT_EQ(scene.GetRootNode()->GetChildCount(false), 1);
    KQoxNode* node = scene.GetRootNode()->GetChild(0);
    EXPECT_STREQ(node->GetNameWithoutNameSpacePrefix().ToChars(), "Tiles");
    auto* mesh = static_cast<KQoxMesh*>(node->GetMesh());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetControlPointsCount(), 8);
    EXPECT_EQ(mesh->GetControlPoints()[6][0], 2.5);
    EXPECT_EQ(mesh->GetControlPoints()[6][1], 2.0);
    EXPECT_EQ(mesh->GetControlPoints()[6][2], 0.25);
    // The quad, then the pentagon as three triangles.
    ASSERT_EQ(mesh->GetPolygonCount(), 4);
    EXPECT_EQ(mesh->GetPolygonSize(0), 4);
    EXPECT_EQ(mesh->GetPolygonVertex(0, 0), 0);
    EXPECT_EQ(mesh->GetPolygonVertex(0, 3), 3);
    EXPECT_EQ(mesh->GetPolygonSize(3), 3);
    ASSERT_EQ(mesh->GMC(0), 2);
    const KQoxColor red = mesh->GM(0, 0)->GetDiffuse();
    const KQoxColor blue = mesh->GM(1, 0)->GetDiffuse();
    EXPECT_EQ(red.mRed, 1.0);
    EXPECT_EQ(red.mGreen, 0.0);
    EXPECT_EQ(blue.mBlue, 1.0);
    EXPECT_STREQ(mesh->GM(0, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "Material0");
    EXPECT_STREQ(mesh->GM(1, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "Material1");
}

TEST(DxfWriter, RegisteredWithTheImporterAndExporter)
{
    KQoxRegisterGeometryFormats();
    EXPECT_EQ(KQoxIORegistry::FindReaderByExtension("/a/Plan.DXF"), static_cast<int>(eIMPORT_DXF));
    TempDir dir;
    Scene s;
    s.AddMesh(s.scene.GetRootNode(), "T", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    std::unique_ptr<KQoxWriter> writer(KQoxIORegistry::CreateWriter(eEXPORT_DXF, *s.manager));
    std::unique_ptr<KQoxReader> reader(KQoxIORegistry::CreateReader(eIMPORT_DXF, *s.manager));
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(s.Write(dir.Path() + "/e.dxf", true, static_cast<KQoxWriterDxf*>(writer.get())));
    EXPECT_NE(ReadFile(dir.Path() + "/e.dxf").find("POLYLINE"), std::string::npos);
}

TEST(DxfWriter, ExportAndImportThroughTheRegistry)
{
    KQoxRegisterGeometryFormats();
    TempDir dir;
    const std::string path = dir.Path() + "/Plan.dxf";
    Scene s;
    s.AddMesh(s.scene.GetRootNode(), "Roof", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0.5}, {0, 1, 0.5}}, {{0, 1, 2, 3}},
              {KQoxColor(0, 1, 0)});
    {
        KQoxExporter exporter(*s.manager);
        ASSERT_TRUE(exporter.Initialize(path.c_str()));
        ASSERT_TRUE(exporter.SetFileFormat(eEXPORT_DXF));
        // Non-native formats need their own options.
        EXPECT_FALSE(exporter.Export(s.scene));
        EXPECT_EQ(exporter.GetLastErrorID(), KQoxIO::eSTREAM_OPTIONS_NOT_SET);
        std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
        ASSERT_NE(options, nullptr);
        ASSERT_TRUE(options->Is(KStreamOptionsDxf::ClassId));
        ASSERT_TRUE(exporter.Export(s.scene, options.get())) << exporter.GetLastErrorString();
    }
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.compare(0, 4, "999\n"), 0);
    EXPECT_NE(text.find("  0\nEOF\n"), std::string::npos);

    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    ASSERT_TRUE(importer.Initialize(path.c_str()));
    EXPECT_EQ(importer.GetFileFormat(), static_cast<int>(eIMPORT_DXF));
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(options->Is(KStreamOptionsDxf::ClassId));
    static_cast<KStreamOptionsDxf*>(options.get())->SetOption(KStreamOptionsDxf::eCREATE_REFERENCE_NODE, 0);
    ASSERT_TRUE(importer.Import(scene, options.get())) << importer.GetLastErrorString();
    KQoxNode* roof = scene.GetRootNode()->GetChild(0);
    ASSERT_NE(roof, nullptr);
    EXPECT_STREQ(roof->GetNameWithoutNameSpacePrefix().ToChars(), "Roof");
    auto* mesh = static_cast<KQoxMesh*>(roof->GetMesh());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetControlPointsCount(), 4);
    EXPECT_EQ(mesh->GetControlPoints()[2][0], 2.0);
    EXPECT_EQ(mesh->GetControlPoints()[2][1], 1.0);
    EXPECT_EQ(mesh->GetControlPoints()[2][2], 0.5);
    // Triangulated by the default options.
    ASSERT_EQ(mesh->GetPolygonCount(), 2);
    EXPECT_EQ(mesh->GetPolygonSize(0), 3);
    EXPECT_EQ(mesh->GetPolygonSize(1), 3);
    ASSERT_EQ(mesh->GMC(0), 1);
    EXPECT_EQ(mesh->GM(0, 0)->GetDiffuse().mGreen, 1.0);
    EXPECT_EQ(mesh->GM(0, 0)->GetDiffuse().mRed, 0.0);
}

#ifdef QOX_HAVE_DXFLIB
#include <dl_creationadapter.h>
#include <dl_dxf.h>

namespace {

// Counts what dxflib reports of a file.
struct PeerCounter : DL_CreationAdapter
{
    int polylines = 0, vertices = 0, faces = 0, layers = 0;
    void addLayer(const DL_LayerData&) override { ++layers; }
    void addPolyline(const DL_PolylineData&) override { ++polylines; }
    void addVertex(const DL_VertexData&) override { ++vertices; }
    void add3dFace(const DL_3dFaceData&) override { ++faces; }
};

} // namespace

TEST(DxfWriter, DxflibReadsWhatIsWritten)
{
    TempDir dir;
    const std::string path = dir.Path() + "/peer.dxf";
    Scene s;
    s.AddMesh(s.scene.GetRootNode(), "A", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}},
              {KQoxColor(0, 1, 0)});
    s.AddMesh(s.scene.GetRootNode(), "B", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
    ASSERT_TRUE(s.Write(path, false));
    PeerCounter counter;
    DL_Dxf dxf;
    ASSERT_TRUE(dxf.in(path, &counter));
    EXPECT_EQ(counter.layers, 2);
    EXPECT_EQ(counter.polylines, 2);
    // dxflib reports the point records as vertices, not the face records.
    EXPECT_EQ(counter.vertices, 4 + 3);
}
#endif

namespace {

bool HaveEzdxf()
{
    return qoxtest::Run({"/usr/bin/python3", "-c", "import ezdxf"}).mExit == 0;
}

// Runs a Python script with ezdxf on a file; its exit code.
int Ezdxf(const std::string& body, const std::string& path)
{
    return qoxtest::Run({"/usr/bin/python3", "-c", "import ezdxf,sys\n" + body, path}).mExit;
}

// Reads a DXF file by layer, welding off, into a fresh scene.
struct ReadBack
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    bool ok = false;
    explicit ReadBack(const std::string& path, bool weld = false)
    {
        KQoxReaderDxf reader(*manager);
        KStreamOptionsDxf options;
        options.SetOption(1, 0);
        options.SetOption(4, weld ? 1 : 0);
        ok = reader.FileOpen(path.c_str()) && reader.Read(scene, &options);
    }
    KQoxMesh* Mesh(const char* name) const
    {
        KQoxNode* root = scene.GetRootNode();
        for (int i = 0; i < root->GetChildCount(false); ++i)
            if (std::string(root->GetChild(i)->GetNameWithoutNameSpacePrefix().ToChars()) == name)
                return static_cast<KQoxMesh*>(root->GetChild(i)->GetMesh());
        return nullptr;
    }
};

} // namespace

TEST(DxfWriter, CoordinatesReadBackAsTheSameDoubles)
{
    // Values that six decimals would round away or lose entirely.
    const double values[] = {0.1, 1.0 / 3.0, -2.0 / 7.0, 1e-300, 5e-324, 123456789.12345678, -2.5e17, 1e300};
    Scene s;
    KQoxMesh* mesh = nullptr;
    {
        KQoxNode* node = s.AddMesh(s.scene.GetRootNode(), "Exact", {}, {});
        mesh = static_cast<KQoxMesh*>(node->GetMesh());
    }
    const int n = static_cast<int>(sizeof(values) / sizeof(values[0]));
    mesh->InitControlPoints(n);
    for (int i = 0; i < n; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(values[i], values[(i + 1) % n], values[(i + 2) % n]);
    for (int i = 0; i + 2 < n; i += 3)
    {
        mesh->BeginPolygon(-1, -1, -1);
        for (int k = 0; k < 3; ++k)
            mesh->AddPolygon(i + k, -1);
        mesh->EndPolygon();
    }
    TempDir dir;
    const std::string path = dir.Path() + "/exact.dxf";
    ASSERT_TRUE(s.Write(path, false));
    // The first point (0.1, 1/3, -2/7) as X, -Z, Y.
    EXPECT_NE(ReadFile(path).find(" 10\n0.1\n 20\n0.2857142857142857\n 30\n0.3333333333333333\n"), std::string::npos);
    ReadBack back(path);
    ASSERT_TRUE(back.ok);
    KQoxMesh* read = back.Mesh("Exact");
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->GetControlPointsCount(), n);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(read->GetControlPoints()[i][k], mesh->GetControlPoints()[i][k]) << i << " " << k;
}

TEST(DxfWriter, NestedShearedTransformsKeepWorldPositions)
{
    // A parent scaled (3, 1, 0.5) and turned, a child turned 40 degrees about
    // another axis: the child's world matrix holds shear, which no T, R, S
    // triple gives. Every written point is the global matrix times the point.
    Scene s;
    KQoxNode* parent = s.manager->CreateKQoxNode("Parent");
    s.scene.GetRootNode()->AddChild(parent);
    parent->SetDefaultS(KQoxVector4(3, 1, 0.5));
    parent->SetDefaultR(KQoxVector4(0, 0, 25));
    parent->SetDefaultT(KQoxVector4(1, -2, 4));
    KQoxNode* child = s.AddMesh(parent, "Child", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}}, {{0, 1, 2, 3}});
    child->SetDefaultR(KQoxVector4(40, 0, 0));
    child->SetDefaultT(KQoxVector4(0.5, 0, 0));
    TempDir dir;
    const std::string path = dir.Path() + "/shear.dxf";
    ASSERT_TRUE(s.Write(path, false));
    const KQoxXMatrix global = child->GetGlobalMatrix(eSOURCE_SET, true);
    const KQoxXMatrix rebuilt(child->GetGlobalT(eSOURCE_SET, false), child->GetGlobalR(eSOURCE_SET, false),
                              child->GetGlobalS(eSOURCE_SET, false));
    ReadBack back(path);
    ASSERT_TRUE(back.ok);
    KQoxMesh* read = back.Mesh("Child");
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->GetControlPointsCount(), 4);
    KQoxMesh* own = static_cast<KQoxMesh*>(child->GetMesh());
    double largestRebuiltError = 0;
    for (int i = 0; i < 4; ++i)
    {
        const KQoxVector4 expected = global.MultT(own->GetControlPoints()[i]);
        const KQoxVector4 decomposed = rebuilt.MultT(own->GetControlPoints()[i]);
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_NEAR(read->GetControlPoints()[i][k], expected[k], 1e-12) << i << " " << k;
            largestRebuiltError = std::max(largestRebuiltError, std::fabs(decomposed[k] - expected[k]));
        }
    }
    EXPECT_GT(largestRebuiltError, 1e-3) << "the scene is meant to hold shear";
}

TEST(DxfWriter, LayerNamesOtherReadersRefuseAreReplaced)
{
    // Refused characters become '_'; a name that then meets another one
    // takes a number, valid names stay as they are, and a node's layer is
    // the same in the table and on its entities.
    Scene s;
    const char* names[] = {"a<b", "a>b", "A_B", "Wall: North", "x/y\\z\"q;r?s*t|u=v,w`", "Plain Name"};
    for (const char* name : names)
        s.AddMesh(s.scene.GetRootNode(), name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    TempDir dir;
    const std::string path = dir.Path() + "/names.dxf";
    ASSERT_TRUE(s.Write(path, false));
    ReadBack back(path);
    ASSERT_TRUE(back.ok);
    const char* expected[] = {"a_b_1", "a_b_2", "A_B", "Wall_ North", "x_y_z_q_r_s_t_u_v_w_", "Plain Name"};
    EXPECT_EQ(back.scene.GetRootNode()->GetChildCount(false), 6);
    for (const char* name : expected)
        EXPECT_NE(back.Mesh(name), nullptr) << name;
    if (!HaveEzdxf())
        GTEST_SKIP() << "ezdxf is not installed";
    // ezdxf: the six POLYLINEs on six distinct layers of the table, every
    // layer name valid, no audit error.
    EXPECT_EQ(Ezdxf("from ezdxf.lldxf.validator import is_valid_layer_name\n"
                    "d=ezdxf.readfile(sys.argv[1]); a=d.audit()\n"
                    "names=[l.dxf.name for l in d.layers]\n"
                    "used=set(p.dxf.layer.lower() for p in d.modelspace().query('POLYLINE'))\n"
                    "ok=all(is_valid_layer_name(n) for n in names) and len(used)==6\n"
                    "ok=ok and used <= set(n.lower() for n in names)\n"
                    "sys.exit(1 if a.has_errors else 0 if ok else 2)",
                    path),
              0);
}

TEST(DxfWriter, LargeMeshesAreSplitIntoPolyfacesThatFit)
{
    // 100,000 quads over a 401 x 251 grid of points: more points and faces
    // than the 16-bit groups hold, so several POLYLINEs on one layer, each
    // with at most 32,767 points and faces. Read back with welding, the
    // points shared across the cuts are one again.
    const int columns = 400, rows = 250;
    auto* mesh = static_cast<KQoxMesh*>(nullptr);
    Scene s;
    {
        KQoxNode* node = s.AddMesh(s.scene.GetRootNode(), "Big", {}, {}, {KQoxColor(1, 0, 0)});
        mesh = static_cast<KQoxMesh*>(node->GetMesh());
    }
    mesh->InitControlPoints((columns + 1) * (rows + 1));
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c)
            mesh->GetControlPoints()[r * (columns + 1) + c] = KQoxVector4(c, 0, r);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
        {
            const int a = r * (columns + 1) + c;
            mesh->BeginPolygon(0, -1, -1);
            for (int v : {a, a + 1, a + columns + 2, a + columns + 1})
                mesh->AddPolygon(v, -1);
            mesh->EndPolygon();
        }
    TempDir dir;
    const std::string path = dir.Path() + "/big.dxf";
    ASSERT_TRUE(s.Write(path, false));

    ReadBack back(path);
    ASSERT_TRUE(back.ok);
    KQoxMesh* read = back.Mesh("Big");
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->GetPolygonCount(), columns * rows);
    // Points on the cuts between POLYLINEs are written once for each.
    EXPECT_GE(read->GetControlPointsCount(), (columns + 1) * (rows + 1));
    EXPECT_LT(read->GetControlPointsCount(), (columns + 1) * (rows + 1) + 8 * (columns + 1));
    EXPECT_EQ(read->GMC(0), 1);
    // Every quad keeps its corners in order (reversed on writing, reversed
    // again on reading).
    int wrong = 0;
    for (int p = 0; p < columns * rows; ++p)
    {
        const int a = mesh->GetPolygonVertex(p, 0);
        const int corners[4] = {a, a + 1, a + columns + 2, a + columns + 1};
        for (int k = 0; k < 4; ++k)
        {
            const KQoxVector4 got = read->GetControlPoints()[read->GetPolygonVertex(p, k)];
            const KQoxVector4 want = mesh->GetControlPoints()[corners[k]];
            wrong += got[0] != want[0] || got[1] != want[1] || got[2] != want[2];
        }
    }
    EXPECT_EQ(wrong, 0);

    if (!HaveEzdxf())
        GTEST_SKIP() << "ezdxf is not installed";
    EXPECT_EQ(
        Ezdxf("d=ezdxf.readfile(sys.argv[1]); a=d.audit()\n"
              "ps=d.modelspace().query('POLYLINE'); faces=0\n"
              "for p in ps:\n"
              "  v=[x for x in p.vertices if x.dxf.flags == 192]; f=[x for x in p.vertices if x.dxf.flags == 128]\n"
              "  ok=len(v) <= 32767 and len(f) <= 32767 and p.dxf.m_count == len(v) and p.dxf.n_count == len(f)\n"
              "  ok=ok and all(0 < abs(x.get_dxf_attrib(c, 0)) <= len(v) for x in f for c in "
              "('vtx0','vtx1','vtx2','vtx3'))\n"
              "  if not ok: sys.exit(3)\n"
              "  faces+=len(list(p.faces()))\n"
              "sys.exit(1 if a.has_errors else 0 if faces == 100000 and len(ps) > 3 else 2)",
              path),
        0);
}
