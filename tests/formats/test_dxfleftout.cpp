// What the DXF reader leaves out it names in its message, kind by kind with
// its count, beside the geometry it reads, in every derivation, from a file
// or a stream, after a byte order mark too; the converter example prints the
// messages of its read and its save.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "common/qox_test_run.h"
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

int CountPolygons(KQoxNode* node)
{
    auto* mesh = static_cast<KQoxMesh*>(node->GetMesh());
    int count = mesh ? mesh->GetPolygonCount() : 0;
    for (int i = 0; i < node->GetChildCount(false); ++i)
        count += CountPolygons(node->GetChild(i));
    return count;
}

// A file read by a fresh reader in each derivation: the results, messages
// (the error's text when the file is refused) and polygons of the scenes.
std::string ReadEachWay(const std::string& path, const std::string& bytes, bool piped)
{
    std::string outcome;
    for (int derivation : {KStreamOptionsDxf::eBY_LAYER, KStreamOptionsDxf::eBY_ENTITY, KStreamOptionsDxf::eBY_BLOCK})
    {
        unlink(path.c_str());
        std::unique_ptr<qoxtest::FifoFeeder> feeder(piped ? new qoxtest::FifoFeeder(path, bytes) : nullptr);
        if (!piped)
            WriteFile(path, bytes);
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxReaderDxf reader(*manager);
        KStreamOptionsDxf options;
        options.SetOption(KStreamOptionsDxf::eOBJECT_DERIVATION, derivation);
        const bool ok = reader.FileOpen(path.c_str()) && reader.Read(scene, &options);
        KString message;
        reader.GetMessage(message);
        outcome += std::string(ok ? "read, " : reader.GetError().GetLastErrorString()) + message.ToChars() +
                   std::to_string(CountPolygons(scene.GetRootNode())) + " polygons\n";
    }
    return outcome;
}

// The outcome of a read that succeeds, in each derivation alike.
std::string EachWay(const std::string& message, int polygons)
{
    const std::string once = "read, " + message + std::to_string(polygons) + " polygons\n";
    return once + once + once;
}

std::string LeftOut(int count, const std::string& kind)
{
    return "Left out of the scene: " + std::to_string(count) + " " + kind + (count == 1 ? " entity\n" : " entities\n");
}

// The ENTITIES section over items, after BLOCKS over blocks when given.
std::string Drawing(const std::string& items, const std::string& blocks = "", const char* eol = "\n")
{
    const std::string text = blocks.empty() ? "" : "0 SECTION|2 BLOCKS|" + blocks + "|0 ENDSEC|";
    return Dxf(text + "0 SECTION|2 ENTITIES|" + items + "|0 ENDSEC|0 EOF", eol);
}

const std::string kLine = "0 LINE|8 A|10 0|20 0|30 0|11 1|21 0|31 0";
const std::string kFace = "0 3DFACE|8 A|10 0|20 0|30 0|11 1|21 0|31 0|12 1|22 1|32 0|13 1|23 1|33 0";
const std::string kLwpolyline = "0 LWPOLYLINE|8 A|90 4|70 1|10 0|20 0|10 1|20 0|10 1|20 1|10 0|20 1";
const std::string kCircle = "0 CIRCLE|8 A|10 0|20 0|30 0|40 1";
const std::string kArc = "0 ARC|8 A|10 0|20 0|40 1|50 0|51 90";
// One polyline boundary: no pair of a HATCH has code 0.
const std::string kHatch = "0 HATCH|8 A|2 SOLID|70 1|91 1|92 2|72 0|73 1|93 3|10 0|20 0|10 1|20 0|10 0|20 1|97 0";
const std::string kMark = "\xEF\xBB\xBF";

} // namespace

TEST(DxfLeftOut, EachKindLeftOutIsNamedWithItsCountBesideTheGeometryRead)
{
    // Ring (a CIRCLE and a LINE) is inserted twice, the second time with an
    // ATTRIB ended by a SEQEND; Unused is never inserted.
    const std::string blocks = "0 BLOCK|2 Ring|10 0|" + kCircle + "|" + kLine + "|0 ENDBLK|0 BLOCK|2 Unused|10 0|" +
                               kCircle + "|0 TEXT|1 x|0 ENDBLK";
    std::string manyKinds = kLine, manyLines;
    for (int i = 100; i < 170; ++i)
    {
        manyKinds += "|0 K" + std::to_string(i) + "|8 A";
        manyLines += i < 164 ? LeftOut(1, "K" + std::to_string(i)) : "";
    }
    const std::string mixed = kCircle + "|" + kLine + "|0 TEXT|8 A|1 Hello|" + kLwpolyline + "|" + kArc + "|" +
                              kCircle + "|" + kFace + "|0 MTEXT|1 Two words|0 POINT|10 1|0 ELLIPSE|40 0.5|" + kHatch +
                              "|0 SPLINE|70 8|0 SOLID|10 0|11 1|0 DIMENSION|2 *D0|" + kCircle + "|" + kLine;
    const std::string mixedMessage = LeftOut(1, "ARC") + LeftOut(3, "CIRCLE") + LeftOut(1, "DIMENSION") +
                                     LeftOut(1, "ELLIPSE") + LeftOut(1, "HATCH") + LeftOut(1, "LWPOLYLINE") +
                                     LeftOut(1, "MTEXT") + LeftOut(1, "POINT") + LeftOut(1, "SOLID") +
                                     LeftOut(1, "SPLINE") + LeftOut(1, "TEXT");
    const std::string refused = "File is corrupted: not a DXF file0 polygons\n";
    const struct
    {
        const char* mName;
        std::string mText;
        std::string mOutcome;
    } rows[] = {
        {"lwpolyline alone", Drawing(kLwpolyline), EachWay(LeftOut(1, "LWPOLYLINE"), 0)},
        {"circle alone", Drawing(kCircle), EachWay(LeftOut(1, "CIRCLE"), 0)},
        {"supported only", Drawing(kLine + "|" + kFace), EachWay("", 2)},
        {"mixed, kinds in byte order", Drawing(mixed), EachWay(mixedMessage, 3)},
        {"byte order mark", kMark + Drawing(mixed), EachWay(mixedMessage, 3)},
        {"byte order mark, CRLF", kMark + Drawing(mixed, "", "\r\n"), EachWay(mixedMessage, 3)},
        {"mark alone", kMark, refused + refused + refused},
        {"mark before no code", kMark + "SECTION\n", refused + refused + refused},
        {"blocks count per insert",
         Drawing("0 INSERT|2 Ring|10 5|" + kLine + "|0 INSERT|2 Ring|66 1|0 ATTRIB|2 TAG|1 v|0 SEQEND|" + kArc, blocks),
         EachWay(LeftOut(1, "ARC") + LeftOut(1, "ATTRIB") + LeftOut(2, "CIRCLE"), 3)},
        // A 2D polyline (flags 0), whose vertices give nothing, and a 3D one
        // (flags 8, vertices 32) of two segments.
        {"2D polyline vertices",
         Drawing("0 POLYLINE|66 1|70 0|0 VERTEX|70 0|0 VERTEX|10 1|70 0|0 VERTEX|10 2|70 0|0 SEQEND|"
                 "0 POLYLINE|66 1|70 8|0 VERTEX|70 32|0 VERTEX|10 1|70 32|0 VERTEX|10 2|70 32|0 SEQEND"),
         EachWay(LeftOut(3, "VERTEX"), 2)},
        // Polyface faces naming a point it lacks, or without a second corner.
        {"polyface faces dropped",
         Drawing("0 POLYLINE|66 1|70 64|0 VERTEX|70 192|0 VERTEX|10 1|70 192|0 VERTEX|10 1|20 1|70 192|"
                 "0 VERTEX|70 128|71 1|72 2|73 3|0 VERTEX|70 128|71 1|72 2|73 9|0 VERTEX|70 128|71 1|0 SEQEND"),
         EachWay(LeftOut(2, "VERTEX"), 1)},
        {"kinds as written, escaped", Drawing("0 circle|8 A|0 \x01\xff|8 A|" + kLine),
         EachWay(LeftOut(1, "\\x01\\xFF") + LeftOut(1, "circle"), 1)},
        {"64 kinds named, the rest together", Drawing(manyKinds),
         EachWay(manyLines + "Left out of the scene: 6 entities of other kinds\n", 1)},
    };
    TempDir dir;
    for (const auto& row : rows)
        for (bool piped : {false, true})
            EXPECT_EQ(ReadEachWay(dir.File("drawing.dxf"), row.mText, piped), row.mOutcome)
                << row.mName << (piped ? ", piped" : "");
}

TEST(DxfLeftOut, EzdxfDrawingsNameWhatEzdxfCounts)
{
    if (qoxtest::Run({"/usr/bin/python3", "-c", "import ezdxf"}).mExit != 0)
        GTEST_SKIP() << "ezdxf is not installed";
    // ezdxf draws one of each kind beside a LINE and a 3DFACE, reads the file
    // back and writes the message for the kinds of its model space.
    TempDir dir;
    const std::string path = dir.File("drawing.dxf");
    const std::string script =
        "import ezdxf,sys,collections\n"
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
        "t=''.join('Left out of the scene: %d %s %s\\n' % (n,k,'entity' if n==1 else 'entities')\n"
        "  for k,n in sorted(c.items()) if k not in ('LINE','3DFACE'))\n"
        "open(sys.argv[1]+'.txt','w').write(t)\n";
    ASSERT_EQ(qoxtest::Run({"/usr/bin/python3", "-c", script, path}).mExit, 0);
    const std::string oracle = ReadFile(path + ".txt");
    EXPECT_EQ(oracle, LeftOut(1, "ARC") + LeftOut(2, "CIRCLE") + LeftOut(1, "DIMENSION") + LeftOut(1, "ELLIPSE") +
                          LeftOut(1, "HATCH") + LeftOut(1, "LWPOLYLINE") + LeftOut(1, "MTEXT") + LeftOut(1, "POINT") +
                          LeftOut(1, "SOLID") + LeftOut(1, "SPLINE") + LeftOut(1, "TEXT"));
    EXPECT_EQ(ReadEachWay(path, ReadFile(path), false), EachWay(oracle, 2));
}

TEST(DxfLeftOut, TheConverterPrintsWhatItsReadAndSaveLeftOut)
{
    // A textured OBJ whose image (named by its whole path) is missing,
    // converted to the native format and to OBJ; a DXF with a CIRCLE; an
    // OBJ without textures, for which nothing is printed.
    TempDir dir;
    const std::string image = dir.File("wood.tif");
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\ng tri\n";
    ASSERT_TRUE(WriteFile(dir.File("painted.mtl"), "newmtl paint\nKd 1 1 1\nmap_Kd " + image + "\n"));
    ASSERT_TRUE(
        WriteFile(dir.File("painted.obj"), "mtllib painted.mtl\n" + triangle + "usemtl paint\nf 1/1 2/2 3/3\n"));
    ASSERT_TRUE(WriteFile(dir.File("plain.obj"), triangle + "f 1 2 3\n"));
    ASSERT_TRUE(WriteFile(dir.File("round.dxf"), Drawing(kLine + "|" + kCircle)));
    // A map name with control characters (shown escaped), and an image whose
    // copy takes another name (its entry followed by no empty line).
    const std::string hostile = dir.File("wo\x01od\x1b[31m\x7f.tif"), shown = dir.File("wo\\x01od\\e[31m\\x7F.tif");
    ASSERT_TRUE(WriteFile(dir.File("hostile.mtl"), "newmtl paint\nKd 1 1 1\nmap_Kd " + hostile + "\n"));
    ASSERT_TRUE(
        WriteFile(dir.File("hostile.obj"), "mtllib hostile.mtl\n" + triangle + "usemtl paint\nf 1/1 2/2 3/3\n"));
    std::filesystem::create_directory(dir.File("sub"));
    ASSERT_TRUE(WriteFile(dir.File("sub/grain.ppm"), "P3\n1 1\n255\n0 0 0\n"));
    ASSERT_TRUE(WriteFile(dir.File("grain.ppm"), "another image"));
    ASSERT_TRUE(WriteFile(dir.File("grain.mtl"), "newmtl paint\nKd 1 1 1\nmap_Kd sub/grain.ppm\n"));
    ASSERT_TRUE(WriteFile(dir.File("grain.obj"), "mtllib grain.mtl\n" + triangle + "usemtl paint\nf 1/1 2/2 3/3\n"));
    const struct
    {
        const char* mInput;
        const char* mOutput;
        std::string mErr;
    } rows[] = {
        {"painted.obj", "out.qox", "out.qox: Texture file not found, its media is not embedded: " + image + "\n"},
        {"painted.obj", "out.obj", "out.obj: Unable to locate texture file \"" + image + "\".\n"},
        {"round.dxf", "out.obj", "round.dxf: Left out of the scene: 1 CIRCLE entity\n"},
        {"plain.obj", "out.3ds", ""},
        {"hostile.obj", "out.obj", "out.obj: Unable to locate texture file \"" + shown + "\".\n"},
        {"grain.obj", "copied.obj",
         "copied.obj: Texture name \"grain-1.ppm\" in material \"paint\" names its copy of \"" +
             dir.File("sub/grain.ppm") + "\"\n"},
    };
    for (const auto& row : rows)
    {
        const qoxtest::Outcome run = qoxtest::Run({QOX_CONVERT, row.mInput, row.mOutput}, dir.Path());
        EXPECT_EQ(run.mExit, 0) << row.mInput << " -> " << row.mOutput;
        EXPECT_EQ(run.mErr, row.mErr.empty() ? "" : "convert: " + row.mErr) << row.mInput;
        EXPECT_EQ(run.mOut.rfind(std::string(row.mInput) + " -> " + row.mOutput + " (", 0), 0u);
    }
}
