// The script texts the import issues, with their effects and the transcript.
#include "host_test_util.h"

#include <cmath>

namespace {

using ScriptTest = HostTest;
using Strings = std::vector<std::string>;

TEST_F(ScriptTest, NewSceneKeepsOnlyTheDefaults)
{
    Run("polyCube -n box; namespace -add \"ns\"");
    Run("file -f -new");
    EXPECT_TRUE(Node("box").isNull());
    EXPECT_FALSE(Node("persp").isNull());
    EXPECT_FALSE(Node("defaultShaderList1").isNull());
    EXPECT_EQ(Run("namespaceInfo -lon"), Strings{});
    EXPECT_EQ(zelthost::Host::Get().Commands(),
              (Strings{"polyCube -n box; namespace -add \"ns\"", "file -f -new", "namespaceInfo -lon"}));
}

TEST_F(ScriptTest, NamespaceTextsOfTheGeometryPass)
{
    EXPECT_EQ(Run("namespaceInfo -currentNamespace"), Strings{":"});
    Run("namespace -add \"char\"");
    Run("namespace -set \"char\"");
    EXPECT_EQ(Run("namespaceInfo -currentNamespace"), Strings{"char"});
    Run("namespace -add \"sub\"");
    EXPECT_EQ(Run("namespaceInfo -lon"), Strings{"char:sub"});
    Run("namespace -set \":\"");
    EXPECT_EQ(Run("namespaceInfo -lon"), Strings{"char"});
    EXPECT_EQ(RunError("namespace -add \"char\""), "namespace: Namespace already exists: char");
    EXPECT_EQ(RunError("namespace -set \"nope\""), "namespace: Namespace does not exist: nope");
}

struct CameraCase
{
    const char* make;
    Strings selection;
    Strings dag;
};

TEST_F(ScriptTest, CameraCreationLeavesItsObjectsSelectedInOrder)
{
    const std::string head = "camera -centerOfInterest 5 -focalLength 35 -lensSqueezeRatio 1 "
                             "-cameraScale 1 -horizontalFilmAperture 1.41732 -horizontalFilmOffset 0 "
                             "-verticalFilmAperture 0.94488 -verticalFilmOffset 0 -filmFit Horizontal "
                             "-overscan 1 -motionBlur 0 -shutterAngle 144 -nearClipPlane 0.01 -farClipPlane 1000 "
                             "-orthographic 0 -orthographicWidth 30; objectMoveCommand; ";
    const CameraCase cases[] = {
        {"cameraMakeNode 1 \"\"", {"camera1"}, {"|camera1", "|camera1|camera1Shape"}},
        {"cameraMakeNode 2 \"\"",
         {"camera1", "camera1_aim"},
         {"|camera1_group", "|camera1_group|camera1", "|camera1_group|camera1|camera1Shape",
          "|camera1_group|camera1_aim", "|camera1_group|camera1_aim|camera1_aimShape"}},
        {"cameraMakeNode 3 \"\"",
         {"camera1", "camera1_up", "camera1_aim"},
         {"|camera1_group", "|camera1_group|camera1", "|camera1_group|camera1|camera1Shape",
          "|camera1_group|camera1_aim", "|camera1_group|camera1_aim|camera1_aimShape", "|camera1_group|camera1_up",
          "|camera1_group|camera1_up|camera1_upShape"}},
    };
    for (const CameraCase& c : cases)
    {
        SCOPED_TRACE(c.make);
        zelthost::Host::Get().Reset();
        ZStringArray result;
        ASSERT_TRUE(ZGlobal::executeCommand(ZString(head + c.make), result, true, false));
        ZSelectionList sel;
        ZGlobal::getActiveSelectionList(sel);
        ZStringArray names;
        sel.getSelectionStrings(names);
        EXPECT_EQ(names.items().size(), c.selection.size());
        for (unsigned i = 0; i < names.length() && i < c.selection.size(); ++i)
            EXPECT_EQ(names[i].str(), c.selection[i]);
        Strings dag;
        for (ZItDag it; !it.isDone(); it.next())
        {
            ZDagPath p;
            it.getPath(p);
            if (p.fullPathName().str().rfind("|camera1", 0) == 0)
                dag.push_back(p.fullPathName().str());
        }
        EXPECT_EQ(dag, c.dag);
        ZFnCamera cam(Path("camera1"));
        EXPECT_DOUBLE_EQ(cam.nearClippingPlane(), 0.01);
        EXPECT_DOUBLE_EQ(cam.horizontalFilmAperture(), 1.41732);
        EXPECT_EQ(cam.filmFit(), 1);
    }
    // The group carries the twist; the camera goes under another node with "parent".
    EXPECT_FALSE(Plug("camera1_group", "twist").isNull());
    Run("createNode transform -n rig");
    EXPECT_EQ(Run("parent camera1_group rig"), Strings{"camera1_group"});
    EXPECT_EQ(Path("camera1").fullPathName().str(), "|rig|camera1_group|camera1");
    EXPECT_EQ(RunError("select -cl; cameraMakeNode 2 \"\""), "cameraMakeNode: select a camera first");
}

TEST_F(ScriptTest, AttributeEditorAndQueries)
{
    int batch = -1;
    ASSERT_TRUE(ZGlobal::executeCommand("about -b", batch, true, false));
    EXPECT_EQ(batch, 1);
    zelthost::Host::Get().SetBatch(false);
    ASSERT_TRUE(ZGlobal::executeCommand("about -b", batch, true, false));
    EXPECT_EQ(batch, 0);

    int docked = -1;
    ASSERT_TRUE(ZGlobal::executeCommand("optionVar -q aeInMainWindow", docked, true, false));
    EXPECT_EQ(docked, 0);
    Run("optionVar -iv aeInMainWindow 1");
    ASSERT_TRUE(ZGlobal::executeCommand("optionVar -q aeInMainWindow", docked, true, false));
    EXPECT_EQ(docked, 1);
    Run("optionVar -iv aeInMainWindow 0;setAttributeEditorVisible 0");
    EXPECT_EQ(zelthost::Host::Get().attributeEditorVisible, 0);
    int visible = -1;
    ASSERT_TRUE(ZGlobal::executeCommand("isAttributeEditorVisible", visible, true, false));
    EXPECT_EQ(visible, 0);
    Run("openAEWindow;refreshAE;optionVar -iv aeInMainWindow 1;setAttributeEditorVisible 1");
    EXPECT_EQ(zelthost::Host::Get().openedWindows, (Strings{"openAEWindow", "refreshAE"}));
    EXPECT_EQ(zelthost::Host::Get().optionVars["aeInMainWindow"], "1");
    zelthost::Host::Get().channelBoxVisible = 0;
    Run("setChannelBoxVisible(1)");
    EXPECT_EQ(zelthost::Host::Get().channelBoxVisible, 1);

    EXPECT_EQ(Run("upAxis -q -axis"), Strings{"y"});
    zelthost::Host::Get().SetUpAxis("z");
    EXPECT_EQ(Run("upAxis -q -axis"), Strings{"z"});
    EXPECT_EQ(RunError("upAxis -ax x"), "upAxis: the up axis must be y or z");
}

TEST_F(ScriptTest, TransformLimitsAreStoredPerAxis)
{
    Run("createNode transform -n a; createNode transform -n b -p a");
    Run("transformLimits -sx 2 2 -esx 1 1 |a|b");
    Run("transformLimits -rx -45 90 -erx 0 1 |a|b");
    ZObject b = Node("b");
    EXPECT_EQ(Run("getAttr b.minScaleXLimit; getAttr b.maxScaleXLimitEnable"), Strings{"1"});
    EXPECT_EQ(Plug("b", "minScaleXLimit").asDouble(), 2.0);
    EXPECT_EQ(Run("getAttr b.minRotXLimit"), Strings{"-45"});
    EXPECT_NEAR(Plug("b", "maxRotXLimit").asDouble(), M_PI / 2, 1e-15);
    EXPECT_EQ(Plug("b", "minRotXLimitEnable").asInt(), 0);
    EXPECT_EQ(Plug("b", "maxRotXLimitEnable").asInt(), 1);
    EXPECT_EQ(RunError("transformLimits -tx 1"), "transformLimits: Flag '-tx' needs 2 values");
    EXPECT_EQ(RunError("transformLimits -tx 1 2 |a|nope"), "transformLimits: No object matches name: |a|nope");
    EXPECT_EQ(RunError("transformLimits -tx 1 x |a|b"), "transformLimits: 'x' is not a number");
    EXPECT_EQ(Plug("b", "minTransXLimit").asDouble(), -1.0); // nothing changed by the failures
}

TEST_F(ScriptTest, DrivenKeysAreReportedAsDrivers)
{
    Run("createNode transform -n a; createNode transform -n b");
    EXPECT_EQ(Run("setDrivenKeyframe -q -cd a.translateY"), Strings{"No drivers."});
    Run("setDrivenKeyframe -cd b.tx -dv 0 -v 0 a.ty; setDrivenKeyframe -cd b.tx -dv 1 -v 5 a.ty");
    EXPECT_EQ(Run("setDrivenKeyframe -q -cd a.translateY"), Strings{"b.translateX"});
    ZFnAnimCurve curve(Plug("a", "ty"));
    EXPECT_EQ(curve.numKeys(), 2u);
}

TEST_F(ScriptTest, ShadingGroupsAndTextureNodes)
{
    Quad("box");
    EXPECT_EQ(Run("shadingNode -at file"), Strings{"file1"});
    EXPECT_EQ(Run("shadingNode -au place2dTexture"), Strings{"place2dTexture1"});
    EXPECT_EQ(Run("shadingNode -at layeredTexture"), Strings{"layeredTexture1"});
    EXPECT_EQ(RunError("shadingNode -au file"), "shadingNode: file must be created with -at");
    ZFnPhongShader phong;
    phong.create(true);
    EXPECT_EQ(phong.name().str(), "phong1");

    const std::string make = "sets -renderable true -noSurfaceShader true -empty -name \"boxSG\"";
    EXPECT_EQ(Run(make), Strings{"boxSG"});
    EXPECT_EQ(Run(make), Strings{"boxSG1"});
    Run("connectAttr -f \"phong1.outColor\"  \"boxSG.surfaceShader\"  ");
    EXPECT_TRUE(Plug("boxSG", "surfaceShader").isDestination());
    Run("sets -e -forceElement \"boxSG\"  \"|box.f[0]\"");
    Run("sets -e -forceElement \"boxSG1\"  \"box\"");
    ZSelectionList members;
    ZFnSet(Node("boxSG")).getMembers(members);
    EXPECT_EQ(members.length(), 0u); // the whole object went to boxSG1
    ZFnSet(Node("boxSG1")).getMembers(members);
    ZStringArray names;
    members.getSelectionStrings(names);
    EXPECT_EQ(names.items(), (std::vector<ZString>{ZString("polySurfaceShape1")})); // sets hold shapes
    EXPECT_TRUE(ZObject(Node("boxSG")).hasFn(ZFn::kSet));
    EXPECT_EQ(RunError("sets -e -forceElement \"nope\"  \"box\""), "sets: No set named: nope");
}

TEST_F(ScriptTest, SelectionTogglesAndFailures)
{
    Run("createNode joint -n j1; createNode joint -n j2");
    Run("select -cl");
    Run("select -tgl \"|j1\" \"|j2\" ");
    Run("select -tgl |j1");
    ZSelectionList sel;
    ZGlobal::getActiveSelectionList(sel);
    ZStringArray names;
    sel.getSelectionStrings(names);
    EXPECT_EQ(names.items(), (std::vector<ZString>{ZString("j2")}));
    Run("select -tgl "); // nothing named: nothing changes
    EXPECT_EQ(RunError("select -tgl ghost"), "select: No object matches name: ghost");
    EXPECT_EQ(RunError("delete ghost"), "delete: No object matches name: ghost");
}

TEST_F(ScriptTest, UnknownCommandsAndTheTranscript)
{
    zelthost::Host& host = zelthost::Host::Get();
    EXPECT_EQ(RunError("frobnicate 1 2"), "Cannot find procedure \"frobnicate\"");
    ZStatus st = ZGlobal::executeCommand("print \"a\"; bogus; print \"b\"");
    EXPECT_FALSE(st);
    ZStatus().perror("ignored");
    ZStatus(ZStatus::kFailure, "(kFailure): Unexpected Internal Failure").perror("Cannot create Null");
    std::vector<zelthost::TranscriptEntry::Kind> kinds;
    Strings texts;
    for (const auto& e : host.Transcript())
    {
        kinds.push_back(e.kind);
        texts.push_back(e.text);
    }
    using K = zelthost::TranscriptEntry;
    EXPECT_EQ(kinds, (std::vector<zelthost::TranscriptEntry::Kind>{K::kCommand, K::kError, K::kCommand, K::kInfo,
                                                                   K::kError, K::kError, K::kError}));
    EXPECT_EQ(texts, (Strings{"frobnicate 1 2", "Cannot find procedure \"frobnicate\"",
                              "print \"a\"; bogus; print \"b\"", "a", "Cannot find procedure \"bogus\"", "ignored",
                              "Cannot create Null: (kFailure): Unexpected Internal Failure"}));
}

TEST_F(ScriptTest, DialogsTakeScriptedAnswers)
{
    zelthost::Host& host = zelthost::Host::Get();
    const std::string dialog = "confirmDialog -title \"QOX import Warning\" -message \"a.tx: locked\\n\\nNOTE\" "
                               "-button \" Unlock All \" -button \" Unlock \" -button \" Keep All Locked \"";
    host.QueueDialogAnswers({2, 1});
    EXPECT_EQ(Run(dialog), Strings{" Keep All Locked "});
    EXPECT_EQ(Run(dialog), Strings{" Unlock "});
    EXPECT_EQ(Run(dialog), Strings{" Unlock All "}); // the queue is empty: the first button
    EXPECT_EQ(host.Transcript()[1].text, "QOX import Warning | a.tx: locked\n\nNOTE | [ Unlock All ][ Unlock ][ "
                                         "Keep All Locked ] ->  Keep All Locked ");
    host.QueueDialogAnswers({3});
    EXPECT_EQ(RunError(dialog), "confirmDialog: the scripted answer 3 names no button of the dialog");
    Run("dialogAnswers 1");
    EXPECT_EQ(Run("confirmDialog -title \"T\" -message \"M\" -button \"Ok\" -button \"No\""), Strings{"No"});
}

} // namespace
