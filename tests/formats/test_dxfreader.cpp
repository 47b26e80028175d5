// The DXF reader over files written the ways CAD tools write them: the three
// derivations, welding, blocks before and after the entities, nested and
// self-inserting blocks, hidden layers, colours and malformed input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "common/qox_test_run.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "dxf_test_util.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

using dxftest::Dxf;

const std::string kLayers = "0 SECTION|2 TABLES|0 TABLE|2 LTYPE|0 ENDTAB|0 TABLE|2 LAYER|0 LAYER|2 WALLS|62 3|"
                            "0 LAYER|2 Hidden|62 -7|0 LAYER|62 9|0 ENDTAB|0 ENDSEC";
const std::string kBlocks = "0 SECTION|2 BLOCKS|0 BLOCK|2 Box|10 1|20 0|30 0|0 3DFACE|8 WALLS|10 0|20 0|30 0|11 1|21 0|"
                            "31 0|12 1|22 1|32 0|13 1|23 1|33 0|0 ENDBLK|0 BLOCK|2 Pair|0 INSERT|2 Box|10 5|0 INSERT|"
                            "2 Box|10 7|0 ENDBLK|0 BLOCK|2 Self|0 INSERT|2 Self|0 LINE|10 0|11 1|0 ENDBLK|0 ENDSEC";
const std::string kEntities =
    "0 SECTION|2 ENTITIES|0 LINE|8 walls|10 1|20 2|30 3|11 4|21 5|31 6|0 LINE|8 WALLS|10 4|20 5|30 6|11 0|21 0|31 0|"
    "0 3DFACE|8 Hidden|62 1|10 0|20 0|30 0|11 1|21 0|31 0|12 1|22 1|32 0|13 1|23 1|33 0|"
    "0 POLYLINE|8 Mesh|66 1|70 64|0 VERTEX|10 0|20 0|30 0|70 192|0 VERTEX|10 1|20 0|30 0|70 192|0 VERTEX|10 1|20 1|"
    "30 0|70 192|0 VERTEX|62 5|70 128|71 1|72 -2|73 3|0 VERTEX|70 128|71 1|72 9|73 3|0 SEQEND|"
    "0 CIRCLE|8 X|40 1|0 INSERT|2 Pair|10 1|20 2|30 3|50 30|0 ENDSEC|0 EOF";

struct DxfRead
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    std::unique_ptr<KQoxReaderDxf> reader{new KQoxReaderDxf(*manager)};
    bool ok = false;

    DxfRead(const std::string& text, int derivation, bool weld = true, bool reference = false)
    {
        TempDir dir;
        const std::string path = dir.Path() + "/plan.dxf";
        WriteFile(path, text);
        if (!reader->FileOpen(path.c_str()))
            return;
        std::unique_ptr<KStreamOptions> options(reader->GetReadOptions(false));
        auto* dxf = static_cast<KStreamOptionsDxf*>(options.get());
        dxf->SetOption(1, reference ? 1 : 0);
        dxf->SetOption(4, weld ? 1 : 0);
        dxf->SetOption(6, derivation);
        ok = reader->Read(scene, options.get());
    }
    KQoxNode* Root() const { return scene.GetRootNode(); }
    static KQoxNode* Child(KQoxNode* parent, const char* name)
    {
        for (int i = 0; parent && i < parent->GetChildCount(false); ++i)
            if (std::string(parent->GetChild(i)->GetNameWithoutNameSpacePrefix().ToChars()) == name)
                return parent->GetChild(i);
        return nullptr;
    }
    static KQoxMesh* Mesh(KQoxNode* node) { return node ? static_cast<KQoxMesh*>(node->GetMesh()) : nullptr; }
};

constexpr int kByLayer = 0, kByBlock = 1, kByEntity = 2;

} // namespace

TEST(DxfReader, ByLayerWeldsFoldsCaseAndHidesLayers)
{
    for (const char* eol : {"\n", "\r\n"})
    {
        for (bool weld : {true, false})
        {
            DxfRead read(Dxf(kLayers + "|" + kBlocks + "|" + kEntities, eol), kByLayer, weld);
            ASSERT_TRUE(read.ok);
            KQoxNode* walls = DxfRead::Child(read.Root(), "walls");
            ASSERT_NE(walls, nullptr) << "layer named as first met";
            KQoxMesh* mesh = DxfRead::Mesh(walls);
            ASSERT_NE(mesh, nullptr);
            EXPECT_EQ(mesh->GetControlPointsCount(), weld ? 3 : 4);
            EXPECT_EQ(mesh->GetPolygonCount(), 2);
            const KQoxVector4 first = mesh->GetControlPoints()[0];
            EXPECT_EQ(first[0], 1.0);
            EXPECT_EQ(first[1], 3.0);
            EXPECT_EQ(first[2], -2.0);
            // Colour 3 of the WALLS record.
            ASSERT_EQ(mesh->GMC(0), 1);
            EXPECT_STREQ(mesh->GM(0, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "Material0");

            KQoxNode* hidden = DxfRead::Child(read.Root(), "Hidden");
            ASSERT_NE(hidden, nullptr);
            EXPECT_FALSE(hidden->GetVisibility());
            KQoxMesh* mesh2 = DxfRead::Mesh(DxfRead::Child(read.Root(), "Mesh"));
            ASSERT_NE(mesh2, nullptr);
            // The face naming vertex 9 of three is dropped.
            EXPECT_EQ(mesh2->GetPolygonCount(), 1);
            EXPECT_EQ(mesh2->GetPolygonSize(0), 3);
            EXPECT_EQ(mesh2->GetPolygonVertex(0, 0), 2);
            EXPECT_EQ(mesh2->GetPolygonVertex(0, 2), 0);

            // The insert of Pair holds two Box nodes; Box's base point 1,0,0.
            KQoxNode* pair = DxfRead::Child(read.Root(), "Pair");
            ASSERT_NE(pair, nullptr);
            EXPECT_EQ(pair->GetChildCount(false), 2);
            KQoxNode* box = DxfRead::Child(pair, "Box");
            ASSERT_NE(box, nullptr);
            EXPECT_NE(DxfRead::Child(pair, "Box1"), nullptr);
            // Its fourth corner repeats the third: a triangle.
            EXPECT_EQ(DxfRead::Mesh(box)->GetPolygonSize(0), 3);
        }
    }
}

TEST(DxfReader, BlocksAfterEntitiesAndByEntityNames)
{
    DxfRead read(Dxf(kLayers + "|" + kEntities.substr(0, kEntities.size() - 6) + "|" + kBlocks + "|0 EOF"), kByEntity);
    // The read ends with the ENTITIES section; the insert still finds its block.
    ASSERT_TRUE(read.ok);
    KQoxNode* root = read.Root();
    EXPECT_NE(DxfRead::Child(root, "LINE"), nullptr);
    EXPECT_NE(DxfRead::Child(root, "LINE1"), nullptr);
    EXPECT_NE(DxfRead::Child(root, "3DFACE"), nullptr);
    EXPECT_NE(DxfRead::Child(root, "POLYLINE"), nullptr);
    EXPECT_EQ(DxfRead::Child(root, "LINE")->GetShadingMode(), KQoxNode::eWIRE_FRAME);
    KQoxNode* pair = DxfRead::Child(root, "Pair");
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->GetChildCount(false), 2);
}

TEST(DxfReader, ByBlockAndInsertTransforms)
{
    DxfRead read(Dxf(kLayers + "|" + kBlocks + "|" + kEntities), kByBlock, true, true);
    ASSERT_TRUE(read.ok);
    KQoxNode* reference = DxfRead::Child(read.Root(), "plan_root");
    ASSERT_NE(reference, nullptr);
    KQoxNode* entities = DxfRead::Child(reference, "ENTITIES");
    ASSERT_NE(entities, nullptr);
    KQoxNode* pair = DxfRead::Child(reference, "Pair");
    ASSERT_NE(pair, nullptr) << "top-level inserts hang under the parent";
    KQoxVector4 t, r;
    pair->GetDefaultT(t);
    pair->GetDefaultR(r);
    EXPECT_EQ(t[0], 1.0);
    EXPECT_EQ(t[1], 3.0);
    EXPECT_EQ(t[2], -2.0);
    EXPECT_EQ(r[1], 30.0);
    // Box inserted at x 5 with base point x 1.
    DxfRead::Child(pair, "Box")->GetDefaultT(t);
    EXPECT_EQ(t[0], 4.0);
}

TEST(DxfReader, SelfInsertingBlockIsSkipped)
{
    DxfRead read(Dxf(kBlocks + "|0 SECTION|2 ENTITIES|0 INSERT|2 Self|0 INSERT|2 Nowhere|0 ENDSEC|0 EOF"), kByLayer);
    ASSERT_TRUE(read.ok);
    KQoxNode* self = DxfRead::Child(read.Root(), "Self");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->GetChildCount(false), 0);
    EXPECT_EQ(read.Root()->GetChildCount(false), 1);
}

TEST(DxfReader, ErrorsAndTruncatedFiles)
{
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxReaderDxf reader(*manager);
        KStreamOptionsDxf options;
        EXPECT_FALSE(reader.Read(scene, &options));
        EXPECT_EQ(reader.GetError().GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);
        EXPECT_STREQ(reader.GetError().GetLastErrorString(), "File not opened");
        EXPECT_FALSE(reader.FileOpen("/nonexistent/dir/x.dxf"));
        TempDir dir;
        WriteFile(dir.Path() + "/a.dxf", "0\nEOF\n");
        ASSERT_TRUE(reader.FileOpen((dir.Path() + "/a.dxf").c_str()));
        KStreamOptionsObj wrong;
        EXPECT_FALSE(reader.Read(scene, &wrong));
        EXPECT_EQ(reader.GetError().GetLastErrorID(), KQoxReader::eSTREAM_OPTIONS_NOT_SET);
        EXPECT_STREQ(reader.GetError().GetLastErrorString(), "Stream options not set");
        EXPECT_TRUE(reader.Read(scene, &options));
    }
    // Every prefix of a full file reads without fault; one cut before the
    // end of the ENTITIES section fails.
    const std::string full = Dxf(kLayers + "|" + kBlocks + "|" + kEntities);
    for (size_t cut = 0; cut < full.rfind("0\nENDSEC"); cut += 7)
    {
        for (int derivation : {kByLayer, kByBlock, kByEntity})
        {
            DxfRead read(full.substr(0, cut), derivation);
            EXPECT_FALSE(read.ok) << cut;
        }
    }
}

TEST(DxfReader, ColourNumbersLayerRecordsAndClosingRecords)
{
    // Layer A has colour 4; the second record has no colour and must not
    // inherit it. Colours: 256 is by layer, 300 and -3 make no material.
    const std::string tables =
        "0 SECTION|2 TABLES|0 TABLE|2 LAYER|0 LAYER|2 A|62 4|0 LAYER|2 B|0 ENDTAB|0 ENDSEC|0 SECTION|2 ENTITIES|";
    struct Case
    {
        const char* entities;
        int derivation;
        int materials;      // materials on the mesh of layer A or of the entity
        int firstColorRgbG; // green of the first material, or -1
        int polygons;
    };
    const Case cases[] = {
        {"0 LINE|8 A|62 256|10 1|11 2", kByLayer, 1, 1, 1},
        {"0 LINE|8 A|62 256|10 1|11 2", kByEntity, 1, 1, 1},
        {"0 LINE|8 A|62 300|10 1|11 2", kByLayer, 0, -1, 1},
        {"0 LINE|8 A|62 300|10 1|11 2", kByEntity, 0, -1, 1},
        {"0 LINE|8 A|62 -3|10 1|11 2", kByLayer, 0, -1, 1},
        {"0 LINE|8 B|10 1|11 2", kByLayer, 0, -1, 1},
        // A closed polyline of one vertex has nothing to close.
        {"0 POLYLINE|8 A|70 9|0 VERTEX|70 32|0 SEQEND", kByLayer, 0, -1, 0},
        {"0 POLYLINE|8 A|70 9|0 VERTEX|70 32|0 VERTEX|10 1|70 32|0 SEQEND", kByLayer, 1, 1, 2},
        // Polyface corners past the vertices read drop the face.
        {"0 POLYLINE|8 A|70 64|0 VERTEX|70 192|0 VERTEX|70 128|71 1|72 2|0 SEQEND", kByLayer, 0, -1, 0},
        {"0 POLYLINE|8 A|70 64|0 VERTEX|70 192|0 VERTEX|70 192|10 1|0 VERTEX|70 128|71 -1|72 2|0 SEQEND", kByEntity, 1,
         1, 1},
    };
    for (const Case& c : cases)
    {
        DxfRead read(Dxf(tables + c.entities + "|0 ENDSEC|0 EOF"), c.derivation);
        ASSERT_TRUE(read.ok) << c.entities;
        KQoxNode* root = read.Root();
        if (c.polygons == 0 && root->GetChildCount(false) == 1)
        {
            EXPECT_EQ(DxfRead::Mesh(root->GetChild(0))->GetPolygonCount(), 0) << c.entities;
            continue;
        }
        ASSERT_EQ(root->GetChildCount(false), 1) << c.entities;
        KQoxMesh* mesh = DxfRead::Mesh(root->GetChild(0));
        ASSERT_NE(mesh, nullptr) << c.entities;
        EXPECT_EQ(mesh->GetPolygonCount(), c.polygons) << c.entities;
        ASSERT_EQ(mesh->GMC(0), c.materials) << c.entities;
        if (c.materials)
        {
            EXPECT_EQ(mesh->GM(0, 0)->GetDiffuse().mGreen, c.firstColorRgbG) << c.entities;
        }
    }
}

TEST(DxfReader, EzdxfAuditsWhatIsWritten)
{
    if (qoxtest::Run({"/usr/bin/python3", "-c", "import ezdxf"}).mExit != 0)
        GTEST_SKIP() << "ezdxf is not installed";
    TempDir dir;
    const std::string in = dir.Path() + "/in.dxf";
    WriteFile(in, Dxf(kLayers + "|" + kBlocks + "|" + kEntities));
    DxfRead read(ReadFile(in), kByLayer);
    ASSERT_TRUE(read.ok);
    const std::string out = dir.Path() + "/out.dxf";
    {
        KQoxWriterDxf writer(*read.manager);
        ASSERT_TRUE(writer.FileCreate(out.c_str()));
        KStreamOptionsDxf options;
        ASSERT_TRUE(writer.Write(read.scene, &options));
        ASSERT_TRUE(writer.FileClose());
    }
    const std::string script =
        "import ezdxf,sys; d=ezdxf.readfile(sys.argv[1]); a=d.audit(); "
        "sys.exit(1 if a.has_errors else 0 if len(d.modelspace().query('POLYLINE')) == 5 else 2)";
    // No audit errors, and one POLYLINE for each of the five meshes (walls,
    // Hidden, Mesh and the two Box inserts).
    EXPECT_EQ(qoxtest::Run({"/usr/bin/python3", "-c", script, out}).mExit, 0);
}

TEST(DxfReader, LongChainsOfNestedBlocksAndManyEntities)
{
    // Block Bi inserts B(i+1); the last holds a line. Entities after that:
    // 100,000 3DFACEs on one layer.
    const int depth = 300;
    std::string items = "0 SECTION|2 BLOCKS";
    for (int i = 0; i < depth; ++i)
        items += "|0 BLOCK|2 B" + std::to_string(i) + "|0 INSERT|2 B" + std::to_string(i + 1) + "|10 1|0 ENDBLK";
    items +=
        "|0 BLOCK|2 B" + std::to_string(depth) + "|0 LINE|11 1|0 ENDBLK|0 ENDSEC|0 SECTION|2 ENTITIES|0 INSERT|2 B0";
    for (int i = 0; i < 100000; ++i)
        items += "|0 3DFACE|8 F|10 " + std::to_string(i) + "|11 " + std::to_string(i + 1) + "|12 " + std::to_string(i) +
                 "|22 1|13 " + std::to_string(i) + "|23 1";
    items += "|0 ENDSEC|0 EOF";
    DxfRead read(Dxf(items), kByLayer);
    ASSERT_TRUE(read.ok);
    KQoxNode* node = DxfRead::Child(read.Root(), "B0");
    for (int i = 1; i <= depth && node; ++i)
        node = DxfRead::Child(node, ("B" + std::to_string(i)).c_str());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(DxfRead::Mesh(node)->GetPolygonCount(), 1);
    KQoxMesh* faces = DxfRead::Mesh(DxfRead::Child(read.Root(), "F"));
    ASSERT_NE(faces, nullptr);
    EXPECT_EQ(faces->GetPolygonCount(), 100000);
    // Welded: the corners (i, 0) for i up to 100,000 and (i, 1) below it are
    // shared between faces.
    EXPECT_EQ(faces->GetControlPointsCount(), 100001 + 100000);
}

TEST(DxfReader, ReferenceNodeHoldsWhatEachDerivationReads)
{
    struct Case
    {
        int derivation;
        const char* child; // a node the reference node must hold
    };
    const Case cases[] = {{kByLayer, "walls"}, {kByEntity, "3DFACE"}, {kByBlock, "ENTITIES"}};
    for (const Case& c : cases)
    {
        DxfRead read(Dxf(kLayers + "|" + kBlocks + "|" + kEntities), c.derivation, true, true);
        ASSERT_TRUE(read.ok) << c.derivation;
        ASSERT_EQ(read.Root()->GetChildCount(false), 1) << c.derivation;
        KQoxNode* reference = DxfRead::Child(read.Root(), "plan_root");
        ASSERT_NE(reference, nullptr) << c.derivation;
        EXPECT_NE(DxfRead::Child(reference, c.child), nullptr) << c.derivation;
        EXPECT_NE(DxfRead::Child(reference, "Pair"), nullptr) << c.derivation;
    }
}

TEST(DxfReader, BlockWithoutEntities)
{
    // Inserting a block that holds nothing makes no node; what follows the
    // insert is still read.
    const std::string text = Dxf("0 SECTION|2 BLOCKS|0 BLOCK|2 Empty|10 1|0 ENDBLK|0 ENDSEC|0 SECTION|2 ENTITIES|"
                                 "0 INSERT|2 Empty|10 3|0 LINE|8 L|10 0|11 1|0 ENDSEC|0 EOF");
    struct Case
    {
        int derivation;
        const char* node; // the one node read
    };
    const Case cases[] = {{kByLayer, "L"}, {kByBlock, "ENTITIES"}, {kByEntity, "LINE"}};
    for (const Case& c : cases)
    {
        DxfRead read(text, c.derivation);
        ASSERT_TRUE(read.ok) << c.derivation;
        EXPECT_EQ(read.Root()->GetChildCount(true), 1) << c.derivation;
        KQoxMesh* mesh = DxfRead::Mesh(DxfRead::Child(read.Root(), c.node));
        ASSERT_NE(mesh, nullptr) << c.derivation;
        EXPECT_EQ(mesh->GetControlPointsCount(), 2) << c.derivation;
        EXPECT_EQ(mesh->GetPolygonCount(), 1) << c.derivation;
    }
}

TEST(DxfReader, DirectFaceCornersHaveNoWeight)
{
    // Read by entity a 3DFACE is its own mesh with W 0; gathered on a layer
    // its corners are ordinary points with W 1.
    const std::string text =
        Dxf("0 SECTION|2 ENTITIES|0 3DFACE|8 F|10 1|20 2|30 3|11 4|21 5|31 6|12 7|22 8|32 9|13 7|23 8|33 9|"
            "0 ENDSEC|0 EOF");
    for (int derivation : {kByEntity, kByLayer})
    {
        DxfRead read(text, derivation);
        ASSERT_TRUE(read.ok);
        ASSERT_EQ(read.Root()->GetChildCount(false), 1);
        KQoxMesh* mesh = DxfRead::Mesh(read.Root()->GetChild(0));
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetControlPointsCount(), 3);
        const double w = derivation == kByEntity ? 0.0 : 1.0;
        // Corners in reverse order, Y up: (x, z, -y).
        const double expected[3][3] = {{7, 9, -8}, {4, 6, -5}, {1, 3, -2}};
        for (int k = 0; k < 3; ++k)
        {
            const KQoxVector4 p = mesh->GetControlPoints()[mesh->GetPolygonVertex(0, k)];
            EXPECT_EQ(p[0], expected[k][0]) << derivation << " " << k;
            EXPECT_EQ(p[1], expected[k][1]) << derivation << " " << k;
            EXPECT_EQ(p[2], expected[k][2]) << derivation << " " << k;
            EXPECT_EQ(p[3], w) << derivation << " " << k;
        }
    }
}

TEST(DxfReader, NamesWithBlanksStayWhole)
{
    // Layer and block names holding blanks, with trailing blanks and CRLF
    // line ends: "Wall North" and "Wall South" are two layers, the LAYER
    // record of "Wall North" hides it, and the block "Door Leaf" is found.
    const std::string text =
        Dxf("0 SECTION|2 TABLES|0 TABLE|2 LAYER|0 LAYER|2 Wall North  |62 -3|0 ENDTAB|0 ENDSEC|"
            "0 SECTION|2 BLOCKS|0 BLOCK|2 Door Leaf|0 LINE|11 1|0 ENDBLK|0 ENDSEC|"
            "0 SECTION|2 ENTITIES|0 LINE|8 Wall North|11 1|0 LINE|8 Wall South|11 2|0 INSERT|2 Door Leaf|"
            "0 ENDSEC|0 EOF",
            "\r\n");
    DxfRead read(text, kByLayer);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.Root()->GetChildCount(false), 3);
    KQoxNode* north = DxfRead::Child(read.Root(), "Wall North");
    KQoxNode* south = DxfRead::Child(read.Root(), "Wall South");
    ASSERT_NE(north, nullptr);
    ASSERT_NE(south, nullptr);
    EXPECT_FALSE(north->GetVisibility());
    EXPECT_TRUE(south->GetVisibility());
    ASSERT_EQ(DxfRead::Mesh(north)->GMC(0), 1); // colour 3 of the hidden layer
    EXPECT_EQ(DxfRead::Mesh(south)->GMC(0), 0);
    EXPECT_NE(DxfRead::Child(read.Root(), "Door Leaf"), nullptr);
}

namespace {

// The scene position of a point of a node's mesh, through its global matrix.
KQoxVector4 World(KQoxNode* node, int point)
{
    return node->GetGlobalMatrix(eSOURCE_SET, true).MultT(DxfRead::Mesh(node)->GetControlPoints()[point]);
}

void ExpectPoint(const KQoxVector4& p, double x, double y, double z, const char* what)
{
    EXPECT_NEAR(p[0], x, 1e-12) << what;
    EXPECT_NEAR(p[1], y, 1e-12) << what;
    EXPECT_NEAR(p[2], z, 1e-12) << what;
}

} // namespace

TEST(DxfReader, InsertsPutTheBasePointAtTheInsertionPoint)
{
    // Block "Arm" has base point (1, 2, 0) and a line from it to (2, 2, 0).
    // Inserted at (10, 20, 0), turned 90 degrees and scaled 2: the base
    // point lands on (10, 20, 0) and the line's end, 2 along the turned x
    // axis, on (10, 22, 0). Translation: (10, 20) - turn90(2, 4) = (14, 18).
    // Unturned and unscaled at (5, 0, 0): (5, 0) - (1, 2) = (4, -2).
    const std::string text =
        Dxf("0 SECTION|2 BLOCKS|0 BLOCK|2 Arm|10 1|20 2|30 0|0 LINE|10 1|20 2|11 2|21 2|0 ENDBLK|0 ENDSEC|"
            "0 SECTION|2 ENTITIES|0 INSERT|2 Arm|10 10|20 20|41 2|42 2|43 2|50 90|"
            "0 INSERT|2 Arm|10 5|0 ENDSEC|0 EOF");
    DxfRead read(text, kByLayer);
    ASSERT_TRUE(read.ok);
    KQoxNode* turned = DxfRead::Child(read.Root(), "Arm");
    KQoxNode* plain = DxfRead::Child(read.Root(), "Arm1");
    ASSERT_NE(turned, nullptr);
    ASSERT_NE(plain, nullptr);
    KQoxVector4 t;
    turned->GetDefaultT(t);
    ExpectPoint(t, 14, 0, -18, "translation");
    plain->GetDefaultT(t);
    EXPECT_EQ(t[0], 4.0);
    EXPECT_EQ(t[1], 0.0);
    EXPECT_EQ(t[2], 2.0);
    // Scene points are (x, z, -y) of the file's.
    ExpectPoint(World(turned, 0), 10, 0, -20, "base point");
    ExpectPoint(World(turned, 1), 10, 0, -22, "end point");
    ExpectPoint(World(plain, 0), 5, 0, 0, "plain base point");
    ExpectPoint(World(plain, 1), 6, 0, 0, "plain end point");
}

TEST(DxfReader, PolygonMeshesBecomeQuads)
{
    // A 3 x 3 grid of vertices (flags 64) at (i, j, i * j); vertex (i, j)
    // is number 3 i + j. Open: 2 x 2 quads; closed in N (32): 2 x 3; closed
    // in M (1) and N: 3 x 3. A short vertex list keeps its whole rows.
    auto grid = [](int flags, int rows) {
        std::string items = "0 POLYLINE|8 Grid|62 1|66 1|70 " + std::to_string(flags) + "|71 3|72 3";
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < 3; ++j)
                items += "|0 VERTEX|10 " + std::to_string(i) + "|20 " + std::to_string(j) + "|30 " +
                         std::to_string(i * j) + "|70 64";
        return items + "|0 SEQEND";
    };
    struct Case
    {
        int flags;
        int rows;
        int quads;
    };
    const Case cases[] = {{16, 3, 4}, {16 + 32, 3, 6}, {16 + 1 + 32, 3, 9}, {16 + 1, 3, 6}, {16, 2, 2}, {16, 1, 0}};
    for (const Case& c : cases)
        for (int derivation : {kByEntity, kByLayer, kByBlock})
        {
            const std::string text = Dxf("0 SECTION|2 ENTITIES|" + grid(c.flags, c.rows) + "|0 ENDSEC|0 EOF");
            DxfRead read(text, derivation);
            ASSERT_TRUE(read.ok);
            const char* name = derivation == kByEntity ? "POLYLINE" : derivation == kByLayer ? "Grid" : "ENTITIES";
            KQoxMesh* mesh = DxfRead::Mesh(DxfRead::Child(read.Root(), name));
            ASSERT_NE(mesh, nullptr) << c.flags << " " << derivation;
            ASSERT_EQ(mesh->GetControlPointsCount(), 3 * c.rows);
            ASSERT_EQ(mesh->GetPolygonCount(), c.quads) << c.flags << " " << derivation;
            if (c.quads == 0)
                continue;
            // The first quad: (0,0), (1,0), (1,1), (0,1) from the last corner.
            const int expected[4] = {1, 4, 3, 0};
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(mesh->GetPolygonVertex(0, k), expected[k]);
            const KQoxVector4 p = mesh->GetControlPoints()[4];
            EXPECT_EQ(p[0], 1.0); // (1, 1, 1) as (x, z, -y)
            EXPECT_EQ(p[1], 1.0);
            EXPECT_EQ(p[2], -1.0);
            ASSERT_EQ(mesh->GMC(0), 1); // colour 1
            if (c.flags & 32)
            {
                // The closing quad of row 0 joins column 2 to column 0.
                const int closing[4] = {0, 3, 5, 2};
                for (int k = 0; k < 4; ++k)
                    EXPECT_EQ(mesh->GetPolygonVertex(2, k), closing[k]) << c.flags;
            }
        }
}

TEST(DxfReader, EzdxfPolygonMeshesRead)
{
    if (qoxtest::Run({"/usr/bin/python3", "-c", "import ezdxf"}).mExit != 0)
        GTEST_SKIP() << "ezdxf is not installed";
    // ezdxf writes a 4 x 5 polygon mesh closed in M and a 3 x 2 open one,
    // and beside the file its count of the open mesh's faces and the mesh
    // vertices of the closed one as it reads them, (i, j) in row order.
    TempDir dir;
    const std::string path = dir.Path() + "/mesh.dxf";
    const std::string script =
        "import ezdxf,sys\n"
        "d=ezdxf.new('R12'); m=d.modelspace()\n"
        "a=m.add_polymesh((4,5), dxfattribs={'layer':'A'}); a.close(True, False)\n"
        "b=m.add_polymesh((3,2), dxfattribs={'layer':'B'})\n"
        "for p in (a,b):\n"
        "  M,N=p.dxf.m_count,p.dxf.n_count\n"
        "  for i in range(M):\n"
        "    for j in range(N): p.set_mesh_vertex((i,j),(i*0.5,j-1,i+j*0.25))\n"
        "d.saveas(sys.argv[1])\n"
        "d=ezdxf.readfile(sys.argv[1]); a,b=d.modelspace().query('POLYLINE')\n"
        "from ezdxf.render import MeshBuilder\n"
        "t=[str(len(MeshBuilder.from_polyface(b).faces))]\n"
        "t+=['%.17g %.17g %.17g' % tuple(a.get_mesh_vertex((i,j)).dxf.location) for i in range(4) for j in range(5)]\n"
        "open(sys.argv[1]+'.txt','w').write('\\n'.join(t))\n";
    ASSERT_EQ(qoxtest::Run({"/usr/bin/python3", "-c", script, path}).mExit, 0);
    DxfRead read(ReadFile(path), kByLayer);
    ASSERT_TRUE(read.ok);
    KQoxMesh* a = DxfRead::Mesh(DxfRead::Child(read.Root(), "A"));
    KQoxMesh* b = DxfRead::Mesh(DxfRead::Child(read.Root(), "B"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->GetControlPointsCount(), 20);
    EXPECT_EQ(b->GetControlPointsCount(), 6);
    const std::string oracle = ReadFile(path + ".txt");
    std::string ours = std::to_string(b->GetPolygonCount());
    for (int i = 0; i < 20; ++i)
    {
        const KQoxVector4 p = a->GetControlPoints()[i];
        char line[128];
        snprintf(line, sizeof(line), "\n%.17g %.17g %.17g", p[0], -p[2], p[1]);
        ours += line;
    }
    EXPECT_EQ(ours, oracle);
    // Closed in M: the 3 x 4 quads of the open grid and 4 joining row 3 to
    // row 0, the last of them (3, 3), (0, 3), (0, 4), (3, 4).
    ASSERT_EQ(a->GetPolygonCount(), 16);
    const int last[4] = {19, 4, 3, 18};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(a->GetPolygonVertex(15, k), last[k]);
}

TEST(DxfReader, LinesWeldOntoEarlierPolylinePoints)
{
    // Welding searches every point of the layer, those of a POLYLINE read
    // before too: the LINE from the polyface's second point to a new point
    // adds one point with welding on, two with it off.
    const std::string text =
        Dxf("0 SECTION|2 ENTITIES|0 POLYLINE|8 L|66 1|70 64|0 VERTEX|10 0|70 192|0 VERTEX|10 1|70 192|"
            "0 VERTEX|10 1|20 1|70 192|0 VERTEX|70 128|71 1|72 2|73 3|0 SEQEND|"
            "0 LINE|8 L|10 1|11 5|0 ENDSEC|0 EOF");
    for (bool weld : {true, false})
    {
        DxfRead read(text, kByLayer, weld);
        ASSERT_TRUE(read.ok);
        KQoxMesh* mesh = DxfRead::Mesh(DxfRead::Child(read.Root(), "L"));
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->GetControlPointsCount(), weld ? 4 : 5);
        ASSERT_EQ(mesh->GetPolygonCount(), 2);
        EXPECT_EQ(mesh->GetPolygonVertex(1, 0), weld ? 1 : 3);
    }
}

TEST(DxfReader, ByLayerWeldingMatchesTheFirstPointSearchInFileOrder)
{
    // 4,000 entities over three layers: faces (some triangles, some
    // degenerate), lines and skipped circles, with corners on a small grid
    // shifted by under half the tolerance, written both as plain decimals
    // and in exponent form. Each layer's points and polygons must be those
    // of a search from the first point, entity after entity.
    struct Layer
    {
        std::vector<KQoxVector4> points;
        std::vector<std::vector<int>> polygons;
    };
    std::map<std::string, Layer> expected;
    auto find = [](const Layer& layer, const KQoxVector4& p) {
        for (size_t i = 0; i < layer.points.size(); ++i)
            if (std::fabs(layer.points[i][0] - p[0]) <= 1e-6 && std::fabs(layer.points[i][1] - p[1]) <= 1e-6 &&
                std::fabs(layer.points[i][2] - p[2]) <= 1e-6)
                return static_cast<int>(i);
        return -1;
    };
    auto add = [&](Layer& layer, const KQoxVector4& p) {
        const int found = find(layer, p);
        if (found >= 0)
            return found;
        layer.points.push_back(p);
        return static_cast<int>(layer.points.size()) - 1;
    };
    uint64_t state = 12345;
    auto next = [&state](uint64_t range) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return (state >> 33) % range;
    };
    std::string text = "0\nSECTION\n2\nENTITIES\n";
    // One coordinate: its text, and the double read from it.
    auto coordinate = [&](int code, double& value) {
        char line[64];
        const double raw = static_cast<double>(next(4)) + (static_cast<double>(next(9)) - 4) * 1e-7;
        std::snprintf(line, sizeof(line), next(3) == 0 ? "%.17g" : "%.7f", raw);
        value = std::strtod(line, nullptr);
        text += std::to_string(code) + "\n" + line + "\n";
    };
    const char* const layers[] = {"A", "B", "C"};
    for (int e = 0; e < 4000; ++e)
    {
        const char* layerName = layers[next(3)];
        Layer& layer = expected[layerName];
        const uint64_t kind = next(10);
        if (kind == 0)
        {
            text += "0\nCIRCLE\n8\n" + std::string(layerName) + "\n10\n1\n40\n2\n";
            continue;
        }
        const bool line = kind < 3;
        text += std::string("0\n") + (line ? "LINE" : "3DFACE") + "\n8\n" + layerName + "\n62\n1\n";
        double c[4][3];
        const int corners = line ? 2 : 4;
        for (int k = 0; k < corners; ++k)
        {
            if (!line && k == 3 && next(4) == 0)
            {
                // A triangle: the fourth corner repeats the third.
                for (int axis = 0; axis < 3; ++axis)
                {
                    c[3][axis] = c[2][axis];
                    char value[64];
                    std::snprintf(value, sizeof(value), "%.17g", c[2][axis]);
                    text += std::to_string(10 * (axis + 1) + 3) + "\n" + value + "\n";
                }
                continue;
            }
            for (int axis = 0; axis < 3; ++axis)
                coordinate(10 * (axis + 1) + k, c[k][axis]);
        }
        KQoxVector4 p[4];
        for (int k = 0; k < corners; ++k)
            p[k] = KQoxVector4(c[k][0], c[k][2], -c[k][1], 1.0);
        if (line)
        {
            int s = find(layer, p[0]);
            int t = find(layer, p[1]);
            if (s < 0)
            {
                layer.points.push_back(p[0]);
                s = static_cast<int>(layer.points.size()) - 1;
            }
            if (t < 0)
            {
                layer.points.push_back(p[1]);
                t = static_cast<int>(layer.points.size()) - 1;
            }
            layer.polygons.push_back({s, t, s});
            continue;
        }
        if (p[0] == p[1] && p[0] == p[2])
            continue; // a face without area is dropped
        const bool triangle = c[2][0] == c[3][0] && c[2][1] == c[3][1] && c[2][2] == c[3][2];
        std::vector<int> polygon;
        for (int k = triangle ? 2 : 3; k >= 0; --k)
            polygon.push_back(add(layer, p[k]));
        layer.polygons.push_back(polygon);
    }
    text += "0\nENDSEC\n0\nEOF\n";

    DxfRead read(text, kByLayer, true);
    ASSERT_TRUE(read.ok);
    for (const auto& entry : expected)
    {
        SCOPED_TRACE(entry.first);
        KQoxMesh* mesh = DxfRead::Mesh(DxfRead::Child(read.Root(), entry.first.c_str()));
        ASSERT_NE(mesh, nullptr);
        const Layer& layer = entry.second;
        ASSERT_EQ(mesh->GetControlPointsCount(), static_cast<int>(layer.points.size()));
        for (size_t i = 0; i < layer.points.size(); ++i)
            for (int axis = 0; axis < 3; ++axis)
                ASSERT_EQ(mesh->GetControlPoints()[i][axis], layer.points[i][axis]) << i;
        ASSERT_EQ(mesh->GetPolygonCount(), static_cast<int>(layer.polygons.size()));
        for (size_t i = 0; i < layer.polygons.size(); ++i)
        {
            ASSERT_EQ(mesh->GetPolygonSize(static_cast<int>(i)), static_cast<int>(layer.polygons[i].size())) << i;
            for (size_t k = 0; k < layer.polygons[i].size(); ++k)
                ASSERT_EQ(mesh->GetPolygonVertex(static_cast<int>(i), static_cast<int>(k)), layer.polygons[i][k])
                    << i << " " << k;
        }
    }
}

TEST(DxfReader, MeshPolygonsCornersAndMaterialsInFileOrder)
{
    // Colours 5, none, 3 and 5 again: materials in the order the colours are
    // met, a polygon's index for each; a two-corner polyface record closes
    // back on its first corner.
    const std::string text =
        Dxf("0 SECTION|2 ENTITIES|0 3DFACE|8 A|62 5|10 0|20 0|11 1|21 0|12 1|22 1|13 1|23 1|"
            "0 3DFACE|8 A|10 5|20 0|11 6|21 0|12 6|22 1|13 0|23 9|0 LINE|8 A|62 3|10 0|20 0|11 7|21 7|"
            "0 POLYLINE|8 A|62 5|70 64|0 VERTEX|10 0|20 0|70 192|0 VERTEX|10 2|20 0|70 192|0 VERTEX|70 128|71 1|72 2|"
            "0 SEQEND|0 3DFACE|8 B|10 0|20 0|11 1|21 0|12 1|22 1|13 1|23 1|0 ENDSEC|0 EOF");
    DxfRead read(text, kByLayer);
    ASSERT_TRUE(read.ok);
    KQoxMesh* a = DxfRead::Mesh(DxfRead::Child(read.Root(), "A"));
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->GetPolygonCount(), 4);
    const int sizes[] = {3, 4, 3, 3};
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(a->GetPolygonSize(p), sizes[p]) << p;
    // Corners from the last to the first, welded: (1,1) (1,0) (0,0), then
    // (0,9) (6,1) (6,0) (5,0), the line (0,0) (7,7) (0,0), and the record
    // over the polyline's own points 8 and 9, closed: 8 9 8.
    const int corners[] = {0, 1, 2, 3, 4, 5, 6, 2, 7, 2, 8, 9, 8};
    ASSERT_EQ(a->GetPolygonVertexCount(), 13);
    for (int v = 0; v < 13; ++v)
        EXPECT_EQ(a->GetPolygonVertices()[v], corners[v]) << v;
    ASSERT_EQ(a->GetMaterialMappingMode(), KQoxLayerElement::eBY_POLYGON);
    ASSERT_EQ(a->GMC(0), 2);
    EXPECT_EQ(a->GM(0, 0)->GetDiffuse().mBlue, 1.0);  // colour 5 is blue
    EXPECT_EQ(a->GM(1, 0)->GetDiffuse().mGreen, 1.0); // colour 3 is green
    const int materials[] = {0, 0, 1, 0};
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(a->GetMaterialIndices()[p], materials[p]) << p;
    // Without any colour: no materials and nothing mapped.
    KQoxMesh* b = DxfRead::Mesh(DxfRead::Child(read.Root(), "B"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetPolygonCount(), 1);
    EXPECT_EQ(b->GMC(0), 0);
    EXPECT_EQ(b->GetMaterialMappingMode(), KQoxLayerElement::eNONE);
}
