// What the DXF reader leaves out it names in its message, kind by kind with
// its count, while the LINE, 3DFACE and POLYLINE geometry beside it is read
// in every derivation; a byte order mark before the first pair is skipped;
// the converter example prints the messages of its read and its save.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "dxf_test_util.h"

using namespace qoxsdk_600;
using dxftest::Dxf;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

const int kDerivations[] = {KStreamOptionsDxf::eBY_LAYER, KStreamOptionsDxf::eBY_ENTITY, KStreamOptionsDxf::eBY_BLOCK};

// The node tree under node, one line per node: its name, its mesh's points
// and its polygons' corners.
void Describe(KQoxNode* node, std::string& out, int& polygons, int depth = 0)
{
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + node->GetNameWithoutNameSpacePrefix().ToChars();
    if (auto* mesh = static_cast<KQoxMesh*>(node->GetMesh()))
    {
        for (int i = 0; i < mesh->GetControlPointsCount(); ++i)
        {
            const KQoxVector4 p = mesh->GetControlPoints()[i];
            out += " (" + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + ")";
        }
        for (int i = 0; i < mesh->GetPolygonCount(); ++i, ++polygons)
        {
            out += " [";
            for (int k = 0; k < mesh->GetPolygonSize(i); ++k)
                out += std::to_string(mesh->GetPolygonVertex(i, k)) + (k + 1 < mesh->GetPolygonSize(i) ? " " : "]");
        }
    }
    out += "\n";
    for (int i = 0; i < node->GetChildCount(false); ++i)
        Describe(node->GetChild(i), out, polygons, depth + 1);
}

// A file read by a fresh reader: its result, message, scene and polygons.
struct Read
{
    bool ok = false;
    std::string message, scene;
    int polygons = 0;

    Read(const std::string& path, int derivation)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& into = *manager->CreateKQoxScene();
        KQoxReaderDxf reader(*manager);
        if (!reader.FileOpen(path.c_str()))
        {
            message = reader.GetError().GetLastErrorString();
            return;
        }
        KStreamOptionsDxf options;
        options.SetOption(KStreamOptionsDxf::eCREATE_REFERENCE_NODE, 0);
        options.SetOption(KStreamOptionsDxf::eOBJECT_DERIVATION, derivation);
        ok = reader.Read(into, &options);
        KString text;
        reader.GetMessage(text);
        message = text.ToChars();
        Describe(into.GetRootNode(), scene, polygons);
    }
};

std::string LeftOut(int count, const std::string& kind)
{
    return "Left out of the scene: " + std::to_string(count) + " " + kind + (count == 1 ? " entity\n" : " entities\n");
}

// Whether /usr/bin/python3 has ezdxf.
bool HaveEzdxf()
{
    return std::system("/usr/bin/python3 -c 'import ezdxf' > /dev/null 2>&1") == 0;
}

// The ENTITIES section over items, and BLOCKS over blocks when given.
std::string Drawing(const std::string& items, const std::string& blocks = "")
{
    std::string text = blocks.empty() ? "" : "0 SECTION|2 BLOCKS|" + blocks + "|0 ENDSEC|";
    return Dxf(text + "0 SECTION|2 ENTITIES|" + items + "|0 ENDSEC|0 EOF");
}

const std::string kLine = "0 LINE|8 A|10 0|20 0|30 0|11 1|21 0|31 0";
const std::string kFace = "0 3DFACE|8 A|10 0|20 0|30 0|11 1|21 0|31 0|12 1|22 1|32 0|13 1|23 1|33 0";
// A closed LWPOLYLINE of four points, a CIRCLE, an ARC.
const std::string kLwpolyline = "0 LWPOLYLINE|8 A|90 4|70 1|10 0|20 0|10 1|20 0|10 1|20 1|10 0|20 1";
const std::string kCircle = "0 CIRCLE|8 A|10 0|20 0|30 0|40 1";
const std::string kArc = "0 ARC|8 A|10 0|20 0|40 1|50 0|51 90";
// A HATCH with one polyline boundary: no pair of its own has code 0.
const std::string kHatch = "0 HATCH|8 A|2 SOLID|70 1|91 1|92 2|72 0|73 1|93 3|10 0|20 0|10 1|20 0|10 0|20 1|97 0|"
                           "75 0|76 1|98 0";

} // namespace

TEST(DxfLeftOut, EachKindLeftOutIsNamedWithItsCountBesideTheGeometryRead)
{
    // Blocks: Ring (a CIRCLE and a LINE) inserted twice, the second time
    // with an ATTRIB whose list ends in a SEQEND; Unused, never inserted.
    const std::string blocks = "0 BLOCK|2 Ring|10 0|20 0|30 0|" + kCircle + "|" + kLine +
                               "|0 ENDBLK|0 BLOCK|2 Unused|10 0|" + kCircle + "|0 TEXT|1 x|0 ENDBLK";
    std::string manyKinds = kLine;
    std::string manyLines;
    for (int i = 0; i < 70; ++i)
    {
        const std::string kind = "K" + std::to_string(100 + i);
        manyKinds += "|0 " + kind + "|8 A";
        if (i < 64)
            manyLines += LeftOut(1, kind);
    }
    const struct
    {
        const char* mName;
        std::string mText;
        std::string mMessage;
        int mPolygons;
    } rows[] = {
        {"lwpolyline alone", Drawing(kLwpolyline), LeftOut(1, "LWPOLYLINE"), 0},
        {"circle alone", Drawing(kCircle), LeftOut(1, "CIRCLE"), 0},
        {"supported only", Drawing(kLine + "|" + kFace), "", 2},
        {"mixed kinds, byte order",
         Drawing(kCircle + "|" + kLine + "|0 TEXT|8 A|1 Hello|" + kLwpolyline + "|" + kArc + "|" + kCircle + "|" +
                 kFace + "|0 MTEXT|8 A|1 Two words|0 POINT|10 1|0 ELLIPSE|10 0|11 1|40 0.5|" + kHatch +
                 "|0 SPLINE|70 8|71 3|72 0|73 0|0 SOLID|10 0|11 1|12 0|22 1|13 1|23 1|0 DIMENSION|2 *D0|70 0|" +
                 kCircle + "|" + kLine),
         LeftOut(1, "ARC") + LeftOut(3, "CIRCLE") + LeftOut(1, "DIMENSION") + LeftOut(1, "ELLIPSE") +
             LeftOut(1, "HATCH") + LeftOut(1, "LWPOLYLINE") + LeftOut(1, "MTEXT") + LeftOut(1, "POINT") +
             LeftOut(1, "SOLID") + LeftOut(1, "SPLINE") + LeftOut(1, "TEXT"),
         3},
        {"inserted blocks count per insert",
         Drawing("0 INSERT|2 Ring|10 5|" + kLine + "|0 INSERT|2 Ring|66 1|10 9|0 ATTRIB|2 TAG|1 v|0 SEQEND|" + kArc,
                 blocks),
         LeftOut(1, "ARC") + LeftOut(1, "ATTRIB") + LeftOut(2, "CIRCLE"), 3},
        // Flags 0: a 2D polyline, whose vertices give nothing; flags 8 with
        // vertices 32: a 3D one, read as two segments.
        {"2D polyline vertices",
         Drawing("0 POLYLINE|8 A|66 1|70 0|0 VERTEX|10 0|70 0|0 VERTEX|10 1|70 0|0 VERTEX|10 2|70 0|0 SEQEND|"
                 "0 POLYLINE|8 A|66 1|70 8|0 VERTEX|10 0|70 32|0 VERTEX|10 1|70 32|0 VERTEX|10 2|70 32|0 SEQEND"),
         LeftOut(3, "VERTEX"), 2},
        // A polyface of three points whose second face names a point it
        // does not have, and whose third has no second corner.
        {"polyface faces dropped",
         Drawing("0 POLYLINE|8 A|66 1|70 64|0 VERTEX|10 0|70 192|0 VERTEX|10 1|70 192|0 VERTEX|10 1|20 1|70 192|"
                 "0 VERTEX|70 128|71 1|72 2|73 3|0 VERTEX|70 128|71 1|72 2|73 9|0 VERTEX|70 128|71 1|0 SEQEND"),
         LeftOut(2, "VERTEX"), 1},
        {"kinds as written, bytes escaped", Drawing("0 circle|8 A|0 \x01\xff|8 A|" + kLine),
         LeftOut(1, "\\x01\\xFF") + LeftOut(1, "circle"), 1},
        {"a bounded number of kinds", Drawing(manyKinds),
         manyLines + "Left out of the scene: 6 entities of other kinds\n", 1},
    };
    TempDir dir;
    for (const auto& row : rows)
    {
        const std::string path = dir.File("drawing.dxf");
        ASSERT_TRUE(WriteFile(path, row.mText));
        for (int derivation : kDerivations)
        {
            const Read read(path, derivation);
            EXPECT_TRUE(read.ok) << row.mName << " " << derivation;
            EXPECT_EQ(read.message, row.mMessage) << row.mName << " " << derivation;
            EXPECT_EQ(read.polygons, row.mPolygons) << row.mName << " " << derivation << "\n" << read.scene;
        }
    }
}

TEST(DxfLeftOut, EzdxfDrawingsNameWhatEzdxfCounts)
{
    if (!HaveEzdxf())
        GTEST_SKIP() << "ezdxf is not installed";
    // ezdxf draws one of each kind beside a LINE and a 3DFACE, then counts
    // the model space's entities by kind as it reads the file back, and
    // writes the lines the reader is to give for the kinds it leaves out.
    TempDir dir;
    const std::string path = dir.File("drawing.dxf");
    const std::string script =
        "/usr/bin/python3 -c \"import ezdxf,sys,collections\n"
        "d=ezdxf.new('R2000'); m=d.modelspace()\n"
        "m.add_line((0,0,0),(1,2,3)); m.add_3dface([(0,0,0),(1,0,0),(1,1,0),(0,1,0)])\n"
        "m.add_lwpolyline([(0,0),(1,0),(1,1)], close=True); m.add_circle((0,0),1); m.add_circle((5,0),2)\n"
        "m.add_arc((0,0),1,0,90); m.add_ellipse((0,0),(2,0,0),0.5); m.add_point((1,1))\n"
        "m.add_spline([(0,0),(1,1),(2,0),(3,1)]); m.add_text('text'); m.add_mtext('two words')\n"
        "m.add_solid([(0,0),(1,0),(0,1)])\n"
        "h=m.add_hatch(); h.paths.add_polyline_path([(0,0),(1,0),(1,1)], is_closed=True)\n"
        "m.add_linear_dim(base=(0,2),p1=(0,0),p2=(3,0)).render()\n"
        "d.saveas(sys.argv[1])\n"
        "c=collections.Counter(e.dxftype() for e in ezdxf.readfile(sys.argv[1]).modelspace())\n"
        "t=''.join('Left out of the scene: %d %s %s\\\\n' % (n,k,'entity' if n==1 else 'entities')\n"
        "  for k,n in sorted(c.items()) if k not in ('LINE','3DFACE','POLYLINE','INSERT'))\n"
        "open(sys.argv[1]+'.txt','w').write(t)\n"
        "\" '" +
        path + "'";
    ASSERT_EQ(std::system(script.c_str()), 0);
    const std::string oracle = ReadFile(path + ".txt");
    EXPECT_EQ(oracle, LeftOut(1, "ARC") + LeftOut(2, "CIRCLE") + LeftOut(1, "DIMENSION") + LeftOut(1, "ELLIPSE") +
                          LeftOut(1, "HATCH") + LeftOut(1, "LWPOLYLINE") + LeftOut(1, "MTEXT") + LeftOut(1, "POINT") +
                          LeftOut(1, "SOLID") + LeftOut(1, "SPLINE") + LeftOut(1, "TEXT"));
    for (int derivation : kDerivations)
    {
        const Read read(path, derivation);
        EXPECT_TRUE(read.ok) << derivation;
        EXPECT_EQ(read.message, oracle) << derivation;
        EXPECT_EQ(read.polygons, 2) << derivation << "\n" << read.scene; // the LINE and the 3DFACE
    }
}

TEST(DxfLeftOut, AByteOrderMarkReadsAsThePlainFile)
{
    const std::string items = "0 SECTION|2 ENTITIES|" + kLine + "|" + kFace + "|" + kCircle + "|0 ENDSEC|0 EOF";
    TempDir dir;
    for (const char* eol : {"\n", "\r\n"})
    {
        const std::string plain = Dxf(items, eol);
        ASSERT_TRUE(WriteFile(dir.File("plain.dxf"), plain));
        ASSERT_TRUE(WriteFile(dir.File("mark.dxf"), "\xEF\xBB\xBF" + plain));
        for (int derivation : kDerivations)
        {
            const Read expected(dir.File("plain.dxf"), derivation);
            ASSERT_TRUE(expected.ok);
            EXPECT_EQ(expected.polygons, 2);
            const Read read(dir.File("mark.dxf"), derivation);
            EXPECT_TRUE(read.ok) << derivation << ": " << read.message;
            EXPECT_EQ(read.message, expected.message);
            EXPECT_EQ(read.scene, expected.scene);
            // A stream is read from memory: its mark is skipped there too.
            const std::string pipe = dir.File("pipe.dxf");
            unlink(pipe.c_str());
            const qoxtest::FifoFeeder feeder(pipe, "\xEF\xBB\xBF" + plain);
            const Read piped(pipe, derivation);
            EXPECT_TRUE(piped.ok) << derivation << ": " << piped.message;
            EXPECT_EQ(piped.scene, expected.scene);
        }
    }
    // A mark alone, or before what is no group code, is still no DXF file.
    for (const std::string& text : {std::string("\xEF\xBB\xBF"), std::string("\xEF\xBB\xBFSECTION\n")})
    {
        ASSERT_TRUE(WriteFile(dir.File("bad.dxf"), text));
        const Read read(dir.File("bad.dxf"), KStreamOptionsDxf::eBY_LAYER);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.message, "File is corrupted: not a DXF file");
    }
}

TEST(DxfLeftOut, TheConverterPrintsWhatItsReadAndSaveLeftOut)
{
    // A textured OBJ whose image is missing, converted to the native format
    // and to OBJ; a DXF with a CIRCLE; a plain OBJ, which prints nothing.
    TempDir dir;
    std::filesystem::create_directories(dir.File("in"));
    std::filesystem::create_directories(dir.File("out"));
    // The image named by its whole path, which every reader and writer keeps.
    const std::string image = dir.File("in/wood.tif");
    ASSERT_TRUE(WriteFile(dir.File("in/painted.mtl"), "newmtl paint\nKd 1 1 1\nmap_Kd " + image + "\n"));
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    ASSERT_TRUE(WriteFile(dir.File("in/painted.obj"),
                          "mtllib painted.mtl\n" + triangle + "g tri\nusemtl paint\nf 1/1 2/2 3/3\n"));
    ASSERT_TRUE(WriteFile(dir.File("in/plain.obj"), triangle + "g tri\nf 1 2 3\n"));
    ASSERT_TRUE(WriteFile(dir.File("in/round.dxf"), Drawing(kLine + "|" + kCircle)));
    const struct
    {
        const char* mInput;
        const char* mOutput;
        std::string mErr;
    } rows[] = {
        {"painted.obj", "painted.qox",
         "convert: OUT/painted.qox: Texture file not found, its media is not embedded: " + image + "\n"},
        {"painted.obj", "painted.obj", "convert: OUT/painted.obj: Unable to locate texture file \"" + image + "\".\n"},
        {"round.dxf", "round.obj", "convert: IN/round.dxf: Left out of the scene: 1 CIRCLE entity\n"},
        {"plain.obj", "plain.3ds", ""},
    };
    for (const auto& row : rows)
    {
        const std::string input = dir.File(std::string("in/") + row.mInput);
        const std::string output = dir.File(std::string("out/") + row.mOutput);
        const std::string command = std::string(QOX_CONVERT) + " '" + input + "' '" + output + "' >'" +
                                    dir.File("out.txt") + "' 2>'" + dir.File("err.txt") + "'";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << row.mInput;
        EXPECT_EQ(WEXITSTATUS(status), 0) << row.mInput << " -> " << row.mOutput;
        std::string expected = row.mErr;
        for (const auto& [tag, folder] : {std::pair<std::string, std::string>{"OUT/", dir.File("out/")},
                                          std::pair<std::string, std::string>{"IN/", dir.File("in/")}})
            if (expected.find(tag) != std::string::npos)
                expected.replace(expected.find(tag), tag.size(), folder);
        EXPECT_EQ(ReadFile(dir.File("err.txt")), expected) << row.mInput << " -> " << row.mOutput;
        EXPECT_EQ(ReadFile(dir.File("out.txt")).rfind(input + " -> " + output + " (", 0), 0u);
    }
}
