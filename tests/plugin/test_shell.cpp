// User parameters, dialogs, host utilities, the plug-in's node and manager.
#include "plugin_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "base/kpath.h"
#include "common/qox_test_files.h"
#include "host/zfn.h"
#include "host/zgeometry.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltmergenodematcher.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltsdkmanager.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"
#include "scene/kqoxpose.h"

using namespace qoxsdk_600;

namespace {

using Strings = std::vector<std::string>;

class ShellTest : public PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        KLib_SetConfigDirectory((mDir.Path() + "/").c_str());
    }
    static ZObject Node(const std::string& name)
    {
        ZSelectionList list;
        ZObject object;
        if (list.add(ZString(name)) && list.getDependNode(0, object))
            return object;
        return ZObject();
    }
};

TEST_F(ShellTest, UserParamsHoldTheSdkEntriesAndThePluginsTen)
{
    QoxZeltUserParams params;
    ASSERT_EQ(params.GetNbParameters(), 61);
    const char* const names[] = {"kImportShowUI",
                                 "kImportForceWeightNormalize",
                                 "kImportDeformNullsAsJoints",
                                 "kImportHardEdges",
                                 "kProtectDrivenKeys",
                                 "kSetLockedAttrib",
                                 "kExportShowUI",
                                 "kExportSelectionOnly",
                                 "kExportHardEdges",
                                 "kExportBypassRrsInheritance"};
    const char* const values[] = {"true",  "true", "false", "false", "false",
                                  "false", "true", "false", "false", "false"};
    for (int i = 0; i < 10; ++i)
    {
        EXPECT_STREQ(params.Entry(51 + i)->mName.ToChars(), names[i]);
        EXPECT_STREQ(params.Entry(51 + i)->mValue.ToChars(), values[i]);
        EXPECT_EQ(params.Entry(51 + i)->mType, KQoxUserParams::eBOOL);
    }
    EXPECT_EQ(params.GetImportType(), 2); // "kCreate"
    const char* const modes[] = {"kExclusiveMerge", "kMerge", "kCreate"};
    for (int mode = 0; mode < 3; ++mode)
    {
        params.SetStringParam(KQoxUserParams::kImportLoadMode, params.GetLoadModeText(mode));
        EXPECT_STREQ(params.GetStringParam(KQoxUserParams::kImportLoadMode).ToChars(), modes[mode]);
        EXPECT_EQ(params.GetImportType(), mode);
    }
    params.Reset();
    EXPECT_EQ(params.GetNbParameters(), 61);
}

TEST_F(ShellTest, UserParamsRoundTripThroughTheRegistryFile)
{
    {
        QoxZeltUserParams params;
        params.SetBoolParam(QoxZeltUserParams::kImportShowUI, false);
        params.SetBoolParam(QoxZeltUserParams::kExportBypassRrsInheritance, true);
        params.SetBoolParam(KQoxUserParams::kExportConvert_2Tiff, true);
        params.SetDoubleParam(KQoxUserParams::kImportSamplingRate, 24.0);
        // The destructor saves.
    }
    const std::string text = qoxtest::ReadFile(mDir.File("registry.txt"));
    EXPECT_NE(text.find("[UserParams]"), std::string::npos);
    EXPECT_NE(text.find("kExportBypassRrsInheritance"), std::string::npos);
    QoxZeltUserParams loaded;
    EXPECT_TRUE(loaded.GetBoolParam(QoxZeltUserParams::kImportShowUI));
    loaded.Load();
    EXPECT_FALSE(loaded.GetBoolParam(QoxZeltUserParams::kImportShowUI));
    EXPECT_TRUE(loaded.GetBoolParam(QoxZeltUserParams::kExportBypassRrsInheritance));
    EXPECT_TRUE(loaded.GetBoolParam(KQoxUserParams::kExportConvert_2Tiff));
    EXPECT_DOUBLE_EQ(loaded.GetDoubleParam(KQoxUserParams::kImportSamplingRate), 24.0);
    EXPECT_TRUE(loaded.GetBoolParam(QoxZeltUserParams::kImportForceWeightNormalize));
}

// Hosts of one user that end together each save their whole settings at
// once (a process each, with a table of its own, every setting its own
// text), round after round, while another process reads the file: it is
// always one writer's whole file, never a mix nor cut short, and no
// temporary stays beside it.
TEST_F(ShellTest, SettingsSavedAtOnceLeaveOneWritersWholeFile)
{
    auto settings = [](QoxZeltUserParams& params, int writer) {
        for (int index = 2; index < params.GetNbParameters(); ++index)
            params.SetStringParam(index, ("w" + std::to_string(writer) + "_" + std::to_string(index)).c_str());
        return params.SaveChecked();
    };
    const std::string path = mDir.File("registry.txt");
    for (int writers : {2, 3})
    {
        std::vector<std::string> alone; // each writer's file, saved alone
        for (int writer = 0; writer < writers; ++writer)
        {
            qoxtest::TempDir own;
            KLib_SetConfigDirectory(own.Path().c_str());
            QoxZeltUserParams params;
            ASSERT_TRUE(settings(params, writer));
            alone.push_back(qoxtest::ReadFile(own.File("registry.txt")));
        }
        KLib_SetConfigDirectory(mDir.Path().c_str());
        unlink(path.c_str());
        for (int round = 0; round < 30; ++round)
        {
            qoxtest::Signal start;
            std::vector<int> codes;
            for (int child = 0; child <= writers; ++child)
            {
                std::fflush(nullptr);
                const pid_t id = fork();
                if (id == 0 && !start.Take())
                    _exit(3);
                if (id == 0 && child == writers) // the reader: exits 2 on a file of no writer
                {
                    for (int read = 0; read < 300; ++read)
                    {
                        bool found = false;
                        const std::string text = qoxtest::ReadFile(path, &found);
                        if (found && std::find(alone.begin(), alone.end(), text) == alone.end())
                            _exit(2);
                    }
                    _exit(0);
                }
                if (id == 0) // a writer, as a host's plug-in: loaded, changed, saved once (exits 1 when not)
                {
                    QoxZeltUserParams params;
                    params.Load();
                    _exit(settings(params, child) ? 0 : 1);
                }
                ASSERT_GT(id, 0);
                codes.push_back(id);
            }
            start.Give(writers + 1);
            for (int& code : codes)
            {
                int status = 0;
                code = waitpid(code, &status, 0) > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            const std::string text = qoxtest::ReadFile(path);
            const bool whole = std::find(alone.begin(), alone.end(), text) != alone.end();
            EXPECT_EQ(codes, std::vector<int>(writers + 1, 0)) << writers << " writers, round " << round;
            EXPECT_TRUE(whole) << writers << " writers, round " << round << ", no writer's whole file:\n" << text;
            EXPECT_EQ(qoxtest::ListDirectory(mDir.Path()), (std::vector<std::string>{"qoxzelt.so", "registry.txt"}));
            if (!whole || codes != std::vector<int>(writers + 1, 0))
                break;
        }
    }
}

TEST_F(ShellTest, UnwritableRegistryIsReportedNotHidden)
{
    KLib_SetConfigDirectory("/nowhere/at/all/");
    QoxZeltUserParams params;
    EXPECT_FALSE(params.SaveChecked());
}

TEST_F(ShellTest, DialogsPopThroughTheHostWithScriptedAnswers)
{
    zelthost::Host& host = zelthost::Host::Get();
    host.QueueDialogAnswers({2, 1, 0});
    QoxZelt3ButtonDialog three;
    three.Title("Locked");
    three.Message(KString("Attribute \"tx\" is locked.\nUnlock it?"));
    three.Button(0, "Unlock all");
    three.Button(1, "Ask");
    three.Button(2, "Keep all");
    three.Button(3, "ignored");
    host.ClearTranscript();
    EXPECT_EQ(three.Pop(), 2);
    EXPECT_EQ(Commands(), Strings{"confirmDialog -t \"Locked\" -m \"Attribute \\\"tx\\\" is locked.\\nUnlock it?\" "
                                  "-b \"Unlock all\" -b \"Ask\" -b \"Keep all\""});

    QoxZeltConfirmDialog confirm; // "Left empty" and "Ok"
    confirm.Button(1, "Cancel");
    EXPECT_EQ(confirm.Pop(), 1);
    QoxZeltConfirmDialog plain;
    plain.Button(2, "beyond two");
    EXPECT_EQ(plain.Command().str(), "confirmDialog -t \"\" -m \"Left empty\" -b \"Ok\"");
    EXPECT_EQ(plain.Pop(), 0);
    // An answer naming no button: the host refuses, Pop gives -1.
    host.QueueDialogAnswers({5});
    EXPECT_EQ(plain.Pop(), -1);
}

TEST_F(ShellTest, UnitRatiosFollowTheHostUnits)
{
    const double time[] = {1.0 / 3600.0, 1.0 / 60.0, 1, 1000, 15, 24, 30, 30, 48, 50, 60};
    for (int unit = 1; unit <= 11; ++unit)
    {
        ASSERT_TRUE(ZTime::setUIUnit(static_cast<ZTime::Unit>(unit)));
        EXPECT_DOUBLE_EQ(QoxZeltUtility::TimeUnitRatio(), time[unit - 1]) << unit;
    }
    const double distance[] = {2.54, 30.48, 91.44, 160934.4, 0.1, 1.0, 100000.0, 100.0};
    for (int unit = 1; unit <= 8; ++unit)
    {
        ASSERT_TRUE(ZDistance::setUIUnit(static_cast<ZDistance::Unit>(unit)));
        EXPECT_DOUBLE_EQ(QoxZeltUtility::DistanceUnitRatio(), distance[unit - 1]) << unit;
    }
}

TEST_F(ShellTest, TextHelpers)
{
    for (const char* name : {"persp", "top", "front", "side", "perspShape", "topShape", "frontShape", "sideShape",
                             "Producer Perspective", "Producer Top", "Producer Front", "Producer Right"})
        EXPECT_TRUE(QoxZeltUtility::IsCameraNameReserved(name)) << name;
    for (const char* name : {"Persp", "camera1", "Producer Left", "", "persp "})
        EXPECT_FALSE(QoxZeltUtility::IsCameraNameReserved(name)) << name;
    EXPECT_FALSE(QoxZeltUtility::IsCameraNameReserved(nullptr));

    EXPECT_EQ(QoxZeltUtility::Replace("a b  c", " ", "_"), "a_b__c");
    EXPECT_EQ(QoxZeltUtility::Replace("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(QoxZeltUtility::Replace("abc", "", "x"), "abc");
    EXPECT_EQ(QoxZeltUtility::Replace(nullptr, "a", "b"), "");
    // No shared buffer: a long result and an earlier one both stay valid.
    std::string first = QoxZeltUtility::Replace("x", "x", "y");
    std::string longer = QoxZeltUtility::Replace(std::string(100000, 'x').c_str(), "x", "yz");
    EXPECT_EQ(first, "y");
    EXPECT_EQ(longer.size(), 200000u);

    unsigned int items[] = {5u, 0xffffffffu, 0u, 7u, 0x80000000u};
    qsort(items, 5, sizeof(unsigned int), ArrayTemplateCompareFctU32);
    EXPECT_EQ(std::vector<unsigned>(items, items + 5), (std::vector<unsigned>{0u, 5u, 7u, 0x80000000u, 0xffffffffu}));
    unsigned int key = 7u;
    EXPECT_EQ(bsearch(&key, items, 5, sizeof(unsigned int), ArrayTemplateCompareFctU32), &items[2]);
}

TEST_F(ShellTest, PlugHelpersOnTheHost)
{
    Run("createNode transform -n a; createNode joint -n j");
    ZFnDependencyNode a(Node("a"));
    ZPlug plug;
    zelthost::Host::Get().ClearTranscript();
    EXPECT_FALSE(QoxZeltUtility::GetPlug(a, "noSuchAttr", plug));
    Strings errors = zelthost::Host::Get().Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors.back().find("Plug not found : noSuchAttr"), std::string::npos) << errors.back();
    ASSERT_TRUE(QoxZeltUtility::GetPlug(a, "translateX", plug));

    Run("createNode cluster -n cl");
    ZFnDependencyNode cluster(Node("cl"));
    ASSERT_TRUE(QoxZeltUtility::GetPlug(cluster, "matrix", plug));
    const double values[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.1, -1e300, 1.0 / 3.0, 1};
    zelthost::Host::Get().ClearTranscript();
    EXPECT_TRUE(QoxZeltUtility::SetPlugMatrix(plug, values, false));
    EXPECT_EQ(
        Commands(),
        Strings{
            "setAttr cl.matrix -type \"matrix\" 1 0 0 0 0 1 0 0 0 0 1 0 0.10000000000000001 -1.0000000000000001e+300 "
            "0.33333333333333331 1"});

    // Joint orient and rotate axis in degrees, stored in radians.
    ZFnTransform joint(Node("j"));
    ZPoint in(90.0, -45.0, 1e-3);
    ASSERT_TRUE(QoxZeltUtility::SetJointOrient(joint, in));
    EXPECT_EQ(Run("getAttr j.jointOrientX"), Strings{"90"}); // shown in the UI unit
    ZPoint out;
    ASSERT_TRUE(QoxZeltUtility::GetJointOrient(joint, out));
    EXPECT_NEAR(out.x, 90.0, 1e-12);
    EXPECT_NEAR(out.y, -45.0, 1e-12);
    EXPECT_NEAR(out.z, 1e-3, 1e-15);
    ASSERT_TRUE(QoxZeltUtility::SetRotateAxis(joint, ZPoint(10, 20, 30)));
    ASSERT_TRUE(QoxZeltUtility::GetRotateAxis(joint, out));
    EXPECT_NEAR(out.y, 20.0, 1e-12);

    // The id attribute is added once.
    ZObject node = Node("j");
    FMSetPelbrinID(node, 3);
    FMSetPelbrinID(node, 7);
    EXPECT_EQ(Run("getAttr j.qoxID"), Strings{"7"});
    ZFnAttribute attribute(ZFnDependencyNode(node).attribute("pelbrinTypeID"));
    EXPECT_TRUE(attribute.isHidden());
    EXPECT_TRUE(attribute.isStorable());
    EXPECT_FALSE(attribute.isConnectable());
}

TEST_F(ShellTest, DependencyWalkFindsTheBlendShapeUpstream)
{
    // Two one-quad meshes; the first is deformed by a blend shape.
    ZObject shapes[2];
    for (ZObject& shape : shapes)
    {
        ZFnTransform t;
        ZObject transform = t.create();
        ZPointArray points;
        for (int k = 0; k < 4; ++k)
            points.append(ZPoint(k & 1, k >> 1, 0));
        ZIntArray counts(1, 4), connects;
        for (int v : {0, 1, 3, 2})
            connects.append(v);
        ZFnMesh mesh;
        ZStatus st;
        mesh.create(4, 1, points, counts, connects, transform, &st);
        ASSERT_TRUE(st) << st.errorString();
        shape = ZFnDagNode(transform).child(0);
        if (&shape == &shapes[0])
        {
            ZFnBlendShapeDeformer blend;
            blend.create(transform, ZFnBlendShapeDeformer::kLocalOrigin, &st);
            ASSERT_TRUE(st) << st.errorString();
        }
    }
    ZObject found;
    EXPECT_TRUE(QoxZeltUtility::GetDependencyOfThisType(&shapes[0], 327, &found, ZItDependencyGraph::kUpstream,
                                                        ZFn::kBlendShape));
    EXPECT_TRUE(found.hasFn(ZFn::kBlendShape));
    ZObject none;
    EXPECT_FALSE(QoxZeltUtility::GetDependencyOfThisType(&shapes[1], 327, &none, ZItDependencyGraph::kUpstream,
                                                         ZFn::kBlendShape));
    EXPECT_TRUE(none.isNull());
    EXPECT_FALSE(
        QoxZeltUtility::GetDependencyOfThisType(nullptr, 327, &none, ZItDependencyGraph::kUpstream, ZFn::kBlendShape));
}

TEST_F(ShellTest, TransformHelpersRoundTrip)
{
    Run("createNode transform -n t");
    ZFnTransform fn(Node("t"));
    KQoxXMatrix in;
    in.SetTRS(KQoxVector4(1, -2, 3e5), KQoxVector4(30, 45, -60), KQoxVector4(2, 0.5, 1));
    ASSERT_TRUE(QoxZeltUtility::SetZFnTransformNode(fn, in));
    KQoxXMatrix out;
    ASSERT_TRUE(QoxZeltUtility::GetZFnTransformNode(fn, out));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(out.Get(r, c), in.Get(r, c), 1e-9 * std::max(1.0, std::fabs(in.Get(r, c)))) << r << c;
    ZPoint angles;
    EXPECT_FALSE(QoxZeltUtility::GetJointOrient(fn, angles)); // a transform has no joint orient
}

TEST_F(ShellTest, DebugCheckStatusReportsOnlyFailures)
{
    zelthost::Host& host = zelthost::Host::Get();
    host.ClearTranscript();
    DebugCheckStatus(ZStatus(), "never shown");
    EXPECT_TRUE(host.Errors().empty());
    DebugCheckStatus(ZStatus(ZStatus::kFailure, "broken"), "while testing");
    Strings errors = host.Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("broken"), std::string::npos);
    EXPECT_NE(errors[1].find("while testing \n \n"), std::string::npos);
    DebugCheckStatus(ZStatus(ZStatus::kFailure, "again"), nullptr);
    EXPECT_EQ(host.Errors().size(), 3u);
}

TEST_F(ShellTest, NodeKeepsItsOwnCopies)
{
    Run("createNode transform -n p; createNode transform -n c -p p");
    ZSelectionList list;
    list.add("c");
    ZDagPath path;
    list.getDagPath(0, path);

    QoxZeltSdkManager manager(QoxZeltSdkManager::eIMPORT);
    QoxZeltNode* a = manager.CreateQoxZeltNode("a", &path);
    QoxZeltNode* b = manager.CreateQoxZeltNode("b", nullptr);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->GetDagPath(), nullptr);
    ASSERT_NE(a->GetDagPath(), nullptr);
    EXPECT_NE(a->GetDagPath(), &path);
    EXPECT_EQ(a->GetDagPath()->fullPathName().str(), "|p|c");
    ZDagPath* kept = a->GetDagPath();
    a->SetDagPath(&path);
    EXPECT_EQ(a->GetDagPath(), kept); // the same record, not a new one
    b->SetDagPath(&path);
    EXPECT_NE(b->GetDagPath(), a->GetDagPath());
    a->SetDagPath(nullptr);
    EXPECT_EQ(a->GetDagPath(), nullptr);

    EXPECT_EQ(a->GetShapeObject(), nullptr);
    ZObject shape = Node("c");
    a->SetShapeObject(&shape);
    ASSERT_NE(a->GetShapeObject(), nullptr);
    EXPECT_TRUE(*a->GetShapeObject() == shape);
    a->SetShapeObject(nullptr);
    EXPECT_EQ(a->GetShapeObject(), nullptr);

    EXPECT_FALSE(a->mMatchedByMerge || a->mAddNameSpace || a->mUSeam || a->mVSeam);
    EXPECT_STREQ(a->mNameSpace.ToChars(), "");
    const double* t = a->GetGlobalTranslation();
    const double* r = a->GetGlobalRotation();
    const double* s = a->GetGlobalScaling();
    EXPECT_EQ(std::vector<double>({t[0], t[1], t[2], r[0], r[1], r[2], s[0], s[1], s[2]}),
              std::vector<double>({0, 0, 0, 0, 0, 0, 1, 1, 1}));
    KgeTVector tv(1, 2, 3);
    a->SetGlobalTranslation(tv);
    KgeSVector sv(-1, 1e308, 5e-324);
    a->SetGlobalScaling(sv);
    EXPECT_EQ(a->GetGlobalTranslation()[2], 3.0);
    EXPECT_EQ(a->GetGlobalScaling()[2], 5e-324);

    // The user-property map owns its strings; many entries go with the node.
    for (int i = 0; i < 1000; ++i)
        a->SetUserPropertyHostName(("label " + std::to_string(i)).c_str(), ("label_" + std::to_string(i)).c_str());
    a->SetUserPropertyHostName("label 5", "renamed");
    ASSERT_NE(a->GetUserPropertyHostName("label 5"), nullptr);
    EXPECT_STREQ(a->GetUserPropertyHostName("label 5")->ToChars(), "renamed");
    EXPECT_EQ(a->GetUserPropertyNameMap().GetCount(), 1000);
    EXPECT_EQ(a->GetUserPropertyHostName("missing"), nullptr);

    a->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
    EPivotState state = ePIVOT_STATE_ACTIVE;
    a->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
    // Any node the manager makes is a plug-in node.
    EXPECT_NE(dynamic_cast<QoxZeltNode*>(manager.CreateKQoxNode("plain")), nullptr);
}

TEST_F(ShellTest, ManagerMakesOneMatcherOnDemand)
{
    QoxZeltSdkManager manager(QoxZeltSdkManager::eIMPORT);
    EXPECT_FALSE(manager.DestroyQoxZeltMergeNodeMatcher(nullptr));
    QoxZeltMergeNodeMatcher* matcher = manager.CreateQoxZeltMergeNodeMatcher();
    ASSERT_NE(matcher, nullptr);
    EXPECT_EQ(&matcher->GetSdkManager(), &manager);
    EXPECT_EQ(manager.CreateQoxZeltMergeNodeMatcher(), matcher);
    EXPECT_TRUE(manager.DestroyQoxZeltMergeNodeMatcher(nullptr));
    EXPECT_FALSE(manager.DestroyQoxZeltMergeNodeMatcher(matcher));
    manager.CreateQoxZeltMergeNodeMatcher(); // the destructor takes it
}

TEST_F(ShellTest, NameClashResolutionRecordsNamespaces)
{
    QoxZeltSdkManager manager(QoxZeltSdkManager::eIMPORT);
    const struct
    {
        const char* mName;
        const char* mNameSpace;
    } rows[] = {{"char1:hips", "char1"}, {":hips", ""}, {"plain", ""}, {"a:b:c", "a"}, {"end:", "end"}};
    std::vector<QoxZeltNode*> nodes;
    for (const auto& row : rows)
        nodes.push_back(manager.CreateQoxZeltNode(row.mName, nullptr));
    KQoxPose* pose = manager.CreateKQoxPose("bind", true);
    ASSERT_NE(pose, nullptr);
    pose->Add(nodes[0]->GetName(), KQoxMatrix());
    manager.ResolveNameClashing();
    for (size_t i = 0; i < nodes.size(); ++i)
        EXPECT_STREQ(nodes[i]->mNameSpace.ToChars(), rows[i].mNameSpace) << rows[i].mName;
    // "char1:" is gone from the node's name, and the pose follows it.
    EXPECT_EQ(std::string(nodes[0]->GetName()).find("char1"), std::string::npos) << nodes[0]->GetName();
    EXPECT_STREQ(pose->GetNodeName(0).ToChars(), nodes[0]->GetName());
}

TEST_F(ShellTest, ImportObjectOpensAndClosesItsFile)
{
    QoxZeltImport import;
    EXPECT_TRUE(import.CloseProject());
    EXPECT_EQ(import.GetImporter(), nullptr);
    const std::string file = mDir.File("takes.qox");
    ASSERT_TRUE(WriteTakeFile(file));
    EXPECT_TRUE(import.OpenProject(ZString(file)));
    ASSERT_NE(import.GetImporter(), nullptr);
    // The importer is the manager's, one at a time: reopening replaces it.
    EXPECT_EQ(import.GetSdkManager().GetKQoxImporterCount(), 1);
    EXPECT_TRUE(import.GetOpenError().IsEmpty());
    // A file that does not open fails with the importer's error, kept.
    ZStatus missing = import.OpenProject(ZString(mDir.File("missing.qox")));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.errorString(), "File not opened: no such file");
    EXPECT_STREQ(import.GetOpenError().ToChars(), "File not opened: no such file");
    ASSERT_NE(import.GetImporter(), nullptr);
    EXPECT_EQ(import.GetSdkManager().GetKQoxImporterCount(), 1);
    EXPECT_TRUE(import.CloseProject());
    EXPECT_EQ(import.GetImporter(), nullptr);
    EXPECT_EQ(import.GetSdkManager().GetKQoxImporterCount(), 0);

    const struct
    {
        std::vector<std::string> mArgs;
        const char* mName;
    } rows[] = {{{"-f", "a.qox"}, "a.qox"},
                {{"-caller", "x", "-f", std::string(5000, 'n')}, nullptr},
                {{"-f"}, ""},
                {{}, ""},
                {{"-F", "a"}, ""}};
    for (const auto& row : rows)
    {
        KString name = QoxZeltImport::parseArgs(ZArgList(row.mArgs));
        EXPECT_EQ(std::string(name.ToChars()), row.mName ? row.mName : std::string(5000, 'n'));
    }
}

} // namespace
