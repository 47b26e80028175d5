// The stand-in's own commands (building and inspecting scenes) and the exact
// text of a scene dump.
#include "host_test_util.h"

#include "host/zscene_private.h"

namespace {

using CommandTest = HostTest;
using Strings = std::vector<std::string>;

TEST_F(CommandTest, DumpOfASmallSceneIsExact)
{
    Run("file -f -new");
    Run("createNode transform -n a; createNode joint -n j -p a; setAttr j.tx 1.5; setAttr -lock true j.ty");
    Run("createNode transform -n b; parent -add j b");
    Run("setKeyframe -t 1 -v 0 a.rx; setKeyframe -t 2 -v 90 -ott step a.rx");
    Run("shadingNode -at file -n tex; setAttr -type \"string\" tex.fileTextureName \"/p/q.tif\"");
    Run("select -cl; select j");
    std::string dump = zelthost::Host::Get().Dump();
    size_t from = dump.find("a (transform)\nj (joint)");
    ASSERT_NE(from, std::string::npos) << dump;
    EXPECT_EQ(dump.substr(from), "a (transform)\n"
                                 "j (joint)\n"
                                 "  .translateX = 1.5\n"
                                 "  locked .translateY\n"
                                 "b (transform)\n"
                                 "a_rotateX (animCurveTA)\n"
                                 "  a_rotateX.output -> a.rotateX\n"
                                 "  curve type 0, 2 keys\n"
                                 "    key 0.041666666666666664 s = 0 in 4 out 4 locked\n"
                                 "    key 0.083333333333333329 s = 1.5707963267948966 in 4 out 5 locked\n"
                                 "tex (file)\n"
                                 "  .fileTextureName = \"/p/q.tif\"\n"
                                 "\n# selection\n"
                                 "a|j\n");
    EXPECT_NE(dump.find("# dag\n"), std::string::npos);
    EXPECT_NE(dump.find("a (transform)\n  j (joint, instanced)\nb (transform)\n  j (joint, instanced)\n"),
              std::string::npos);
}

TEST_F(CommandTest, BuildingAndInspecting)
{
    EXPECT_EQ(Run("polyCube -n crate -w 4"), (Strings{"crate", "crateShape"}));
    ZPointArray points;
    ZFnMesh(Node("crate")).getPoints(points);
    EXPECT_EQ(points[7].x, 2.0);
    EXPECT_EQ(RunError("polyCube -w -1"), "polyCube: the width must be positive");
    EXPECT_EQ(Run("rename crate box"), Strings{"box"});
    EXPECT_EQ(Run("createNode locator -n spot -p box"), Strings{"spot"});
    EXPECT_EQ(Run("ls -type locator"), Strings{"spot"});
    Strings info = Run("info");
    EXPECT_EQ(info[4], "meshes: 1");
    Strings tree = Run("ls");
    EXPECT_EQ(Strings(tree.end() - 3, tree.end()),
              (Strings{"box (transform)", "  crateShape (mesh)", "  spot (locator)"}));

    Run("setKeyframe -t 0 -v 1 box.sx; setKeyframe -t 10 -v 3 box.sx; setKeyframe -t 10 -v 5 box.sx");
    EXPECT_EQ(ZFnAnimCurve(Plug("box", "sx")).numKeys(), 2u); // the second key at 10 replaced
    EXPECT_EQ(Run("getAttr -t 5 box.sx"), Strings{"3"});
    Run("currentTime 10");
    EXPECT_EQ(Run("currentTime -q"), Strings{"10"});
    EXPECT_EQ(Run("getAttr box.sx"), Strings{"5"});
    Run("playbackOptions -min 1 -max 48");
    EXPECT_EQ(Run("playbackOptions -q -min -max"), (Strings{"1", "48"}));
    EXPECT_EQ(RunError("playbackOptions -min 50 -max 48"), "playbackOptions: the start time is after the end time");
    EXPECT_EQ(RunError("setKeyframe -t 1 -ott wobbly box.sy"), "setKeyframe: Invalid tangent type: wobbly");

    EXPECT_EQ(RunError("setAttr box.t 1 2"), "setAttr: box.translate takes 3 value(s)");
    EXPECT_EQ(RunError("setAttr box.tx nan"), "setAttr: 'nan' is not a finite number");
    Run("setAttr box.visibility off");
    EXPECT_EQ(Run("getAttr box.v"), Strings{"0"});
    EXPECT_EQ(RunError("getAttr box.message"), "getAttr: box.message holds no value");

    Run("optionVar -sv lastDir \"/tmp\" -iv count 3");
    EXPECT_EQ(Run("optionVar -q lastDir"), Strings{"/tmp"});
    EXPECT_EQ(Run("optionVar -ex count"), Strings{"1"});
    Run("optionVar -rm count");
    EXPECT_EQ(Run("optionVar -ex count"), Strings{"0"});
    EXPECT_EQ(RunError("optionVar -iv count x"), "optionVar: 'x' is not an integer");
}

TEST_F(CommandTest, NamespacesRemoveOnlyWhenEmpty)
{
    Run("namespace -add \"ns\"; namespace -set \"ns\"; createNode transform -n a; namespace -set \":\"");
    EXPECT_EQ(Run("namespace -exists \"ns\""), Strings{"1"});
    EXPECT_EQ(RunError("namespace -rm \"ns\""), "namespace: Namespace ns is not empty");
    EXPECT_EQ(RunError("createNode transform -n other:a"), "createNode: Namespace does not exist: other");
    Run("delete ns:a; namespace -rm \"ns\"");
    EXPECT_EQ(Run("namespace -exists \"ns\""), Strings{"0"});
    EXPECT_EQ(RunError("namespace -add \"bad name\""), "namespace: Invalid namespace name: bad name");
}

TEST_F(CommandTest, ParentingAndDeletingThroughScripts)
{
    Run("createNode transform -n a; createNode transform -n b; createNode transform -n c -p a");
    EXPECT_EQ(Run("parent -add c b"), Strings{"b|c"});
    EXPECT_EQ(Run("parent -w a|c"), Strings{"|c"}); // the instance under a moves; "c" alone is ambiguous
    ZDagPathArray paths;
    ZDagPath::getAllPathsTo(Node("c"), paths);
    ASSERT_EQ(paths.length(), 2u);
    EXPECT_EQ(paths[0].fullPathName().str(), "|b|c");
    EXPECT_EQ(paths[1].fullPathName().str(), "|c");
    ZObject c = Node("c");
    ZFnDagNode b(Node("b"));
    ASSERT_TRUE(b.removeChild(c)); // one of two parents: only that link goes
    EXPECT_EQ(ZFnDagNode(c).parentCount(), 1u);
    EXPECT_EQ(RunError("parent a"), "parent: expected the objects and their new parent");
    Run("select -cl; select a b");
    Run("delete");
    EXPECT_TRUE(Node("a").isNull());
    EXPECT_FALSE(Node("c").isNull());
    EXPECT_EQ(RunError("delete"), "delete: Nothing is selected to delete");
    ZDGModifier mod;
    ASSERT_TRUE(mod.deleteNode(c));
    ASSERT_TRUE(mod.doIt());
    EXPECT_TRUE(c.isNull());
    EXPECT_FALSE(mod.deleteNode(c));
}

TEST_F(CommandTest, SkinPercentSetsAndPrunes)
{
    Quad("box");
    Run("createNode joint -n hip; createNode joint -n knee -p hip; setAttr knee.ty 1");
    Run("select -cl; select -tgl hip knee; select -tgl box; newSkinCluster \"-toSelectedBones\"");
    Run("skinPercent -t knee -v 0.3 skinCluster1 box.vtx[0]");
    EXPECT_EQ(Run("skinPercent -q -t hip skinCluster1 box.vtx[0]"), Strings{"0.7"});
    Run("skinPercent -prw 0.5 -normalize true skinCluster1 box.vtx[0]");
    EXPECT_EQ(Run("skinPercent -q -t hip skinCluster1 box.vtx[0]"), Strings{"1"});
    EXPECT_EQ(RunError("skinPercent -q -t persp skinCluster1 box.vtx[0]"),
              "skinPercent: persp is not an influence of skinCluster1");
    EXPECT_EQ(RunError("skinPercent -normalize true nope"), "skinPercent: No skin cluster named: nope");
    EXPECT_EQ(RunError("skinPercent -normalize true skinCluster1 persp"),
              "skinPercent: persp is not deformed by skinCluster1");
}

TEST_F(CommandTest, ScriptFilesReportLinesAndDisplayEchoes)
{
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("s.zelt"), "createNode transform -n a\n\n# note\ncreateNode transform "
                                                       "-n a; bogus\ncreateNode transform -n b\n"));
    zelthost::Host& host = zelthost::Host::Get();
    EXPECT_EQ(host.RunFile(dir.File("s.zelt"), false), 1);
    EXPECT_EQ(host.Errors(), Strings{dir.File("s.zelt") + ":4: Cannot find procedure \"bogus\""});
    EXPECT_TRUE(Node("b").isNull());
    EXPECT_FALSE(Node("a1").isNull());
    host.ClearTranscript();
    EXPECT_EQ(host.RunFile(dir.File("s.zelt"), true), 1);
    EXPECT_FALSE(Node("b").isNull());
    EXPECT_EQ(host.RunFile(dir.File("missing.zelt"), true), -1);
}

} // namespace
