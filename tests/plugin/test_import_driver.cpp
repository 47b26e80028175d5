// The import driver, the node name set and the geometry dispatch, through
// QOXImport against the host stand-in and on the import object directly.
#include "import_test_util.h"

#include <cmath>
#include <cstring>

#include "host/zanim.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxtakenode.h"
#include "base/kpath.h"
#include "base/qoxlogfile.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;
using Kind = zelthost::TranscriptEntry::Kind;

namespace {

KQoxSkeleton* Skeleton(KQoxSdkManager& manager, KQoxSkeleton::ESkeletonType type)
{
    KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
    skeleton->SetSkeletonType(type);
    return skeleton;
}

// A triangle mesh with a skin link to influence.
KQoxMesh* SkinnedTriangle(KQoxSdkManager& manager, KQoxNode* influence)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i, i % 2, 0, 1);
    mesh->BeginPolygon();
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    KQoxLink* link = manager.CreateKQoxLink();
    link->SetLink(influence);
    link->AddControlPointIndex(0, 1.0);
    mesh->AddLink(link);
    return mesh;
}

void BuildSkeletons(KQoxSdkManager& m, KQoxScene& s)
{
    KQoxNode* root = s.GetRootNode();
    KQoxNode* hips = AddNode(m, root, "hips", Skeleton(m, KQoxSkeleton::eROOT));
    KQoxNode* spine = AddNode(m, hips, "spine", Skeleton(m, KQoxSkeleton::eLIMB));
    KQoxNode* neck = AddNode(m, spine, "neck", Skeleton(m, KQoxSkeleton::eLIMB_NODE));
    AddNode(m, neck, "tip");                                            // no attribute, under a skeleton
    AddNode(m, root, "lonely", Skeleton(m, KQoxSkeleton::eROOT));       // a Root without limbs
    AddNode(m, root, "effector", Skeleton(m, KQoxSkeleton::eEFFECTOR)); // type 3
    KQoxNode* group = AddNode(m, root, "group");
    AddNode(m, group, "mark", m.CreateKQoxMarker());
}

} // namespace

TEST_F(ImportTest, SkeletonsNullsAndJointsKeepTheirTreeAndTags)
{
    ASSERT_TRUE(Import(BuildSkeletons));
    EXPECT_EQ(Dag(), "persp (transform)\n  perspShape (camera)\ntop (transform)\n  topShape (camera)\n"
                     "front (transform)\n  frontShape (camera)\nside (transform)\n  sideShape (camera)\n"
                     "effector (joint)\n"
                     "group (transform)\n  locatorShape1 (locator)\n  mark (transform)\n    locatorShape3 (locator)\n"
                     "hips (joint)\n  spine (joint)\n    neck (joint)\n      tip (joint)\n"
                     "lonely (transform)\n  locatorShape2 (locator)\n");
    // The host scene was emptied first; the namespace goes back to the root.
    EXPECT_EQ(Commands(), (Strings{"QOXImport -f \"" + mDir.File("scene.qox") + "\"", "file -f -new", "upAxis -q -axis",
                                   "namespace -set \":\"", "namespace -set \":\"", "namespace -set \":\"",
                                   "namespace -set \":\"", "namespace -set \":\"", "namespace -set \":\"",
                                   "namespace -set \":\"", "namespace -set \":\"", "namespace -set \":\""}));
    EXPECT_TRUE(Entries(Kind::kError).empty());
    const struct
    {
        const char* mNode;
        const char* mTag;
    } tags[] = {{"hips", "2"}, {"spine", "4"}, {"neck", "5"}, {"tip", "3"}, {"lonely", "2"}, {"effector", "3"}};
    for (const auto& row : tags)
        EXPECT_EQ(Attr(std::string(row.mNode) + ".pelbrinTypeID"), row.mTag) << row.mNode;
    ZStatus st;
    Run("getAttr group.pelbrinTypeID", &st);
    EXPECT_FALSE(st) << "a plain null carries no tag";
}

TEST_F(ImportTest, ModesDecideWhatHappensToTheOpenScene)
{
    const std::string file = Write(BuildSkeletons);
    Run("createNode transform -n keep");
    // Merge keeps the open scene and adds the file's nodes.
    ASSERT_TRUE(Import(file, "kMerge"));
    EXPECT_TRUE(CommandsStarting("file").empty());
    EXPECT_NE(Dag().find("keep (transform)"), std::string::npos);
    EXPECT_NE(Dag().find("hips (joint)"), std::string::npos);

    // Exclusive merge creates nothing, still resets the namespace, succeeds.
    zelthost::Host::Get().NewScene();
    Run("createNode transform -n keep");
    const std::string before = Dag();
    ASSERT_TRUE(Import(file, "kExclusiveMerge"));
    EXPECT_EQ(Dag(), before);
    EXPECT_EQ(Commands(), (Strings{"QOXImport -f \"" + file + "\"", "upAxis -q -axis", "namespace -set \":\""}));

    // Add: a new scene first.
    ASSERT_TRUE(Import(file, "kCreate"));
    EXPECT_EQ(Dag().find("keep"), std::string::npos);
    EXPECT_EQ(CommandsStarting("file"), Strings{"file -f -new"});
}

TEST_F(ImportTest, UnreadableFileInAddModeKeepsTheOpenScene)
{
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("junk.qox"), std::string(300, '\x7f')));
    Run("createNode transform -n keep");
    zelthost::Host::Get().QueueDialogAnswers({0});
    EXPECT_FALSE(Import(mDir.File("junk.qox"), "kCreate"));
    // Nothing was cleared: the read failed before the host scene was touched.
    EXPECT_NE(Dag().find("keep (transform)"), std::string::npos);
    EXPECT_TRUE(CommandsStarting("file").empty());
    // The file was opened: the reader's cause is named, not "File not opened".
    EXPECT_EQ(CommandsStarting("confirmDialog"),
              Strings{"confirmDialog -t \"QOX import Error\" -m \"File is corrupted: the plug-in reads native scene "
                      "files only\" -b \"Ok\""});
    // The log holds the importer's error under the file's title.
    const std::string log = qoxtest::ReadFile(mDir.File("qoxzeltlog.txt"));
    EXPECT_NE(log.find("File import: " + mDir.File("junk.qox")), std::string::npos) << log;
    EXPECT_NE(log.find("\tFile is corrupted"), std::string::npos) << log;
}

// An ASCII file with a closing brace too many or too few in its objects:
// add and merge imports fail with the reader's cause, and the open scene
// stays exactly as it was.
TEST_F(ImportTest, UnpairedBraceInAnAsciiFileKeepsTheOpenScene)
{
    const std::string path = mDir.File("whole.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildSkeletons(manager, scene);
        KQoxExporter exporter(manager);
        exporter.Initialize(path.c_str());
        exporter.SetFileFormat(eEXPORT_QOX_ASCII);
        ASSERT_TRUE(exporter.Export(scene)) << exporter.GetLastErrorString();
    }
    const std::string whole = qoxtest::ReadFile(path);
    const size_t objects = whole.find("[Objects]: 6000 {\n");
    const size_t connections = whole.find("}\n[Connections]");
    ASSERT_NE(objects, std::string::npos);
    ASSERT_NE(connections, std::string::npos);
    std::string extra = whole;
    extra.insert(objects + std::strlen("[Objects]: 6000 {\n"), "}\n");
    std::string missing = whole;
    missing.erase(connections, 2);
    for (const std::string& text : {extra, missing})
        for (const char* mode : {"kCreate", "kMerge"})
        {
            SCOPED_TRACE(mode);
            const std::string damaged = mDir.File("damaged.qox");
            ASSERT_TRUE(qoxtest::WriteFile(damaged, text));
            zelthost::Host::Get().NewScene();
            Run("createNode transform -n keep");
            const std::string before = Dag();
            zelthost::Host::Get().QueueDialogAnswers({0});
            EXPECT_FALSE(Import(damaged, mode));
            EXPECT_EQ(Dag(), before);
            EXPECT_TRUE(CommandsStarting("file").empty());
            EXPECT_EQ(CommandsStarting("confirmDialog"),
                      Strings{"confirmDialog -t \"QOX import Error\" -m \"File is corrupted\" -b \"Ok\""});
        }
    // The file whole imports.
    ASSERT_TRUE(Import(path, "kCreate"));
    EXPECT_NE(Dag().find("hips (joint)"), std::string::npos);
}

// The host refuses the new scene of an add-mode import: the import stops
// with an error and the open scene keeps what it had, nothing added to it.
TEST_F(ImportTest, RefusedNewSceneStopsAnAddImport)
{
    const std::string file = Write([](KQoxSdkManager& m, KQoxScene& s) {
        BuildSkeletons(m, s);
        s.CreateCharacter("Hero");
    });
    Run("createNode transform -n keep");
    const std::string before = Dag();
    zelthost::Host::Get().missingCommands.insert("file");
    zelthost::Host::Get().ClearTranscript();
    EXPECT_FALSE(Import(file, "kCreate"));
    zelthost::Host::Get().missingCommands.clear();
    EXPECT_EQ(Dag(), before);
    EXPECT_EQ(Run("ls -type character"), Strings{});
    EXPECT_TRUE(CommandsStarting("character").empty());
    const std::string error = "The host refused a new scene (Cannot find procedure \"file\"); nothing was imported.";
    const Strings dialogs = CommandsStarting("confirmDialog");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].rfind("confirmDialog -t \"QOX import Error\" -m \"The host refused a new scene (", 0), 0u)
        << dialogs[0];
    EXPECT_NE(qoxtest::ReadFile(mDir.File("qoxzeltlog.txt")).find("\t" + error), std::string::npos);
    const Strings errors = Entries(Kind::kError);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), "QOXImport: " + error);
    // The scene as it was takes the import once the host allows it.
    ASSERT_TRUE(Import(file, "kCreate"));
    EXPECT_EQ(Dag().find("keep"), std::string::npos);
}

TEST_F(ImportTest, DialogsOffLeaveTheTextsToTheLog)
{
    ShowUI(false);
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("junk.qox"), std::string(300, '\x7f')));
    EXPECT_FALSE(Import(mDir.File("junk.qox"), "kMerge"));
    EXPECT_TRUE(CommandsStarting("confirmDialog").empty());
    EXPECT_NE(qoxtest::ReadFile(mDir.File("qoxzeltlog.txt")).find("\tFile is corrupted"), std::string::npos);
}

TEST_F(ImportTest, MissingBindPoseIsReportedOnlyWhereGeometryIsMade)
{
    const std::string file = Write([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* bone = AddNode(m, s.GetRootNode(), "bone", Skeleton(m, KQoxSkeleton::eLIMB_NODE));
        AddNode(m, s.GetRootNode(), "skin", SkinnedTriangle(m, bone));
    });
    const std::string warning =
        "confirmDialog -t \"QOX import Warning\" -m \"This .qox file does not contain a BindPose section. "
        "\\nExecuting the command 'Go to Bind Pose' may not give the expected results.\" -b \"Ok\"";
    for (const char* mode : {"kCreate", "kMerge", "kExclusiveMerge"})
    {
        ASSERT_TRUE(Import(file, mode));
        EXPECT_EQ(CommandsStarting("confirmDialog"),
                  std::string(mode) == "kExclusiveMerge" ? Strings{} : Strings{warning})
            << mode;
    }
    const std::string log = qoxtest::ReadFile(mDir.File("qoxzeltlog.txt"));
    EXPECT_NE(log.find("\tThis .qox file does not contain a BindPose section. \n\tExecuting the command 'Go to Bind "
                       "Pose' may not give the expected results.\n"),
              std::string::npos)
        << log;

    // No skin links: no warning.
    ASSERT_TRUE(Import(BuildSkeletons));
    EXPECT_TRUE(CommandsStarting("confirmDialog").empty());
}

TEST_F(ImportTest, HostTimeRangeFollowsTheTake)
{
    // A take without animation: one frame from 0.
    ZAnimControl::setMinMaxTime(ZTime(5.0), ZTime(9.0));
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        AddNode(m, s.GetRootNode(), "still");
        AddTake(s, "Take 001");
    }));
    EXPECT_DOUBLE_EQ(ZAnimControl::minTime().asSeconds(), 0.0);
    EXPECT_DOUBLE_EQ(ZAnimControl::maxTime().asSeconds(), 1.0 / 24.0);
    EXPECT_DOUBLE_EQ(ZAnimControl::currentTime().asSeconds(), 0.0);

    // Keys from 0.5 s to 2 s set the range and the current time.
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* node = AddNode(m, s.GetRootNode(), "moving");
        AddTake(s, "Take 001");
        auto* curve = node->GetCurrentTakeNode()->GetTranslationX();
        for (double t : {0.5, 2.0})
        {
            KTime time;
            time.SetSecondDouble(t);
            curve->KeyAppendFast(time, static_cast<float>(t));
        }
    }));
    EXPECT_DOUBLE_EQ(ZAnimControl::minTime().asSeconds(), 0.5);
    EXPECT_DOUBLE_EQ(ZAnimControl::maxTime().asSeconds(), 2.0);
    EXPECT_DOUBLE_EQ(ZAnimControl::currentTime().asSeconds(), 0.5);
}

TEST_F(ImportTest, NamespacesAreAddedAndEnteredOnlyWhenNeeded)
{
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* a = AddNode(m, s.GetRootNode(), "ns:a");
        AddNode(m, a, "ns:b");
        AddNode(m, s.GetRootNode(), "c");
    }));
    EXPECT_NE(Dag().find(
                  "ns:a (transform)\n  ns:locatorShape1 (locator)\n  ns:b (transform)\n    ns:locatorShape2 (locator)\n"
                  "c (transform)\n  locatorShape1 (locator)\n"),
              std::string::npos)
        << Dag();
    EXPECT_EQ(Commands(), (Strings{"QOXImport -f \"" + mDir.File("scene.qox") + "\"", "file -f -new", "upAxis -q -axis",
                                   "namespaceInfo -lon", "namespace -add \"ns\"", "namespaceInfo -currentNamespace",
                                   "namespace -set \":\"", "namespace -set \"ns\"",
                                   // b: from inside ns the host lists no ns (the add
                                   // fails, unchecked); ns is current already
                                   "namespaceInfo -lon", "namespace -add \"ns\"", "namespaceInfo -currentNamespace",
                                   // c: the root namespace
                                   "namespace -set \":\"", "namespace -set \":\""}));
}

// ---------------------------------------------------------------------------
// On the import object directly

namespace {

// An import object with a scene of its own manager, as Import has it while it runs.
struct ImportFixture
{
    ImportFixture()
    {
        import.mScene = import.mManager.CreateKQoxScene();
        import.mRootNode = static_cast<QoxZeltNode*>(import.mScene->GetRootNode());
    }
    QoxZeltNode* Add(KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute = nullptr)
    {
        return static_cast<QoxZeltNode*>(AddNode(import.mManager, parent, name, attribute));
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> out;
        for (int i = 0; i < import.mNodeNameSet.GetCount(); ++i)
        {
            char* key = nullptr;
            import.mNodeNameSet.GetFromIndex(i, &key);
            out.push_back(key);
        }
        return out;
    }
    QoxZeltImport import;
};

} // namespace

TEST_F(ImportTest, NameSetDropsReservedCamerasAndCameraTargets)
{
    ImportFixture f;
    QoxZeltNode* root = f.import.mRootNode;
    QoxZeltNode* persp = f.Add(root, "persp", f.import.mManager.CreateKQoxCamera());
    f.Add(persp, "perspChild");
    QoxZeltNode* holder = f.Add(root, "holder");
    f.Add(holder, "persp", f.import.mManager.CreateKQoxCamera()); // not at the top: stays
    f.Add(root, "top");                                           // not a camera: stays
    // Two nodes named "aim": only the camera's target leaves the set.
    QoxZeltNode* aim = f.Add(root, "aim");
    QoxZeltNode* other = f.Add(holder, "aim");
    QoxZeltNode* cam = f.Add(root, "cam", f.import.mManager.CreateKQoxCamera());
    cam->SetTarget(aim);
    f.import.FillPelbrinNodeArray(root);
    EXPECT_EQ(f.Names(), (Strings{"Model::aim", "Model::cam", "Model::holder", "Model::persp", "Model::top"}));
    EXPECT_EQ(reinterpret_cast<KQoxNode*>(f.import.mNodeNameSet.GetFromIndex(0)), other);
    ASSERT_EQ(root->GetChildCount(false), 4);
    EXPECT_STREQ(root->GetChild(0)->GetName(), "Model::holder");
}

TEST_F(ImportTest, ReOrderPutsParentsFirstAndDropsStrayRecords)
{
    ImportFixture f;
    QoxZeltNode* a = f.Add(f.import.mRootNode, "a");
    QoxZeltNode* b = f.Add(a, "b");
    QoxZeltNode* c = f.Add(b, "c");
    ImportFixture elsewhere;
    QoxZeltNode* stray = elsewhere.Add(elsewhere.import.mRootNode, "stray");
    auto record = [](QoxZeltNode* node) {
        std::unique_ptr<TempPoseData> data(new TempPoseData);
        data->mNode = node;
        return data;
    };
    // One record stays as it is, even outside the tree.
    PoseRecordList one;
    one.push_back(record(stray));
    ReOrder(one, f.import.mRootNode);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]->mNode, stray);

    PoseRecordList records;
    for (QoxZeltNode* node : {c, b, stray, a, b})
        records.push_back(record(node));
    const TempPoseData* secondB = records[4].get();
    ReOrder(records, f.import.mRootNode);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]->mNode, a);
    EXPECT_EQ(records[1].get(), secondB); // the later record of a node is kept
    EXPECT_EQ(records[2]->mNode, c);

    PoseRecordList none;
    ReOrder(none, f.import.mRootNode);
    EXPECT_TRUE(none.empty());
}

TEST_F(ImportTest, InfluencesThatAreNoJointsBecomeLimbNodes)
{
    ImportFixture f;
    QoxZeltSdkManager& m = f.import.mManager;
    QoxZeltNode* null = f.Add(f.import.mRootNode, "null", m.CreateKQoxNull());
    QoxZeltNode* bone = f.Add(f.import.mRootNode, "bone", Skeleton(m, KQoxSkeleton::eLIMB));
    KQoxMesh* mesh = SkinnedTriangle(m, null);
    KQoxLink* second = m.CreateKQoxLink();
    second->SetLink(bone);
    mesh->AddLink(second);
    QoxZeltNode* skin = f.Add(f.import.mRootNode, "skin", mesh);
    f.Add(skin, "nested", SkinnedTriangle(m, null));
    int links = 0;
    CountNbQoxLinks(f.import.mRootNode, links);
    EXPECT_EQ(links, 3);
    ReplaceNullsUsedAsLinks(f.import.mRootNode, &m);
    EXPECT_TRUE(IsJoint(null));
    EXPECT_EQ(null->GetSkeleton()->GetSkeletonType(), KQoxSkeleton::eLIMB_NODE);
    EXPECT_EQ(bone->GetSkeleton()->GetSkeletonType(), KQoxSkeleton::eLIMB); // already a joint
    EXPECT_FALSE(IsJoint(skin));
    EXPECT_FALSE(IsJoint(nullptr));
}

TEST_F(ImportTest, BlendShapeReportListsNamesInRowsOfThree)
{
    ImportFixture f;
    zelthost::Host::Get().ClearTranscript();
    f.import.DisplayBlendShapeImportWarningDialog(); // empty list: nothing
    EXPECT_TRUE(Commands().empty());
    for (const char* name : {"a", "b", "c", "d"})
        f.import.mBlendShapeFailures.Add(f.Add(f.import.mRootNode, name));
    f.import.DisplayBlendShapeImportWarningDialog();
    EXPECT_EQ(Commands(), Strings{"confirmDialog -t \"QOX import error\" -m \"Import of blendshape animation "
                                  "failed for the following nodes:\\n\\n        a, b, c, \\n        d\\n\\nMake sure "
                                  "the animation function curves exist on these nodes.\\n (Make sure each blendshape "
                                  "have at least a key)\\n\" -b \"Ok\""});
    zelthost::Host::Get().ClearTranscript();
    f.import.mBlendShapeFailures.RemoveLast();
    // The log takes the title, the names one a line and the advice.
    KLib_SetMasterDirectory((mDir.Path() + "/").c_str());
    f.import.mLog.reset(new QoxLogFile("blend.txt", "File import: x.qox", false, true));
    f.import.DisplayBlendShapeImportWarningDialog();
    EXPECT_NE(Commands()[0].find("following nodes:\\n\\n        a, b, c\\n\\nMake sure"), std::string::npos)
        << Commands()[0];
    f.import.mLog.reset();
    const std::string log = qoxtest::ReadFile(mDir.File("blend.txt"));
    EXPECT_NE(log.find("File import: x.qox\n\n\tImport of blendshape animation failed for the following nodes:\n\ta\n"
                       "\tb\n\tc\n\tMake sure the animation function curves exist on these nodes.\n\t (Make sure "
                       "each blendshape have at least a key)\n"),
              std::string::npos)
        << log;
}

TEST_F(ImportTest, FailedHostCreationLeavesTheNodeUncreated)
{
    ImportFixture f;
    // The parent stands for a mesh shape, under which nothing can be made.
    Run("polyCube -n box");
    ZSelectionList list;
    list.add("boxShape");
    ZDagPath shapePath;
    ASSERT_TRUE(list.getDagPath(0, shapePath));
    QoxZeltNode* parent = f.Add(f.import.mRootNode, "parent");
    parent->SetDagPath(&shapePath);
    QoxZeltNode* null = f.Add(parent, "null");
    QoxZeltNode* joint = f.Add(parent, "joint", Skeleton(f.import.mManager, KQoxSkeleton::eLIMB));
    zelthost::Host::Get().ClearTranscript();
    f.import.ImportGeometry(null);
    f.import.ImportGeometry(joint);
    EXPECT_EQ(null->GetDagPath(), nullptr);
    EXPECT_EQ(joint->GetDagPath(), nullptr);
    const Strings errors = Entries(Kind::kError);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("Cannot create Null: ", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("Cannot create Ik joint: ", 0), 0u) << errors[1];
}

TEST_F(ImportTest, HostTransformationsBecomeMatrices)
{
    // ZYX order: reordered to XYZ in place, same orientation as the host's.
    ZTransformationMatrix transform;
    transform.r = ZEulerRotation(10 * M_PI / 180, 20 * M_PI / 180, 30 * M_PI / 180, ZEulerRotation::kZYX);
    transform.s[0] = 2;
    transform.s[1] = 3;
    transform.s[2] = 4;
    transform.t[0] = 1;
    transform.t[1] = 2;
    transform.t[2] = 3;
    const ZMatrix host = transform.asMatrix();
    KgeAMatrix out;
    for (int r = 0; r < 4; ++r)
        out.mData[r][3] = 7; // the fourth column is left as it was
    SetMatrix(transform, out);
    EXPECT_EQ(transform.rotationOrder(), ZTransformationMatrix::kXYZ);
    for (int r = 0; r < 4; ++r)
    {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(out.mData[r][c], host(r, c), 1e-12) << r << c;
        EXPECT_EQ(out.mData[r][3], 7);
    }
    for (int r = 0; r < 3; ++r)
        EXPECT_NEAR(std::sqrt(out.mData[r][0] * out.mData[r][0] + out.mData[r][1] * out.mData[r][1] +
                              out.mData[r][2] * out.mData[r][2]),
                    r + 2.0, 1e-12);

    KgeTVector t;
    KgeRVector rotation;
    KgeSVector s;
    SetVector(transform, t, rotation, s);
    EXPECT_DOUBLE_EQ(t.y, 2);
    EXPECT_DOUBLE_EQ(s.z, 4);
    EXPECT_NEAR(rotation.x, transform.r.x * 180 / M_PI, 1e-12);

    // The cached global transform: translation (1, 2, 3), 90 degrees about Z, scale 2.
    ImportFixture f;
    QoxZeltNode* node = f.Add(f.import.mRootNode, "cached");
    KgeTVector gt;
    gt.x = 1;
    gt.y = 2;
    gt.z = 3;
    KgeRVector gr;
    gr.z = 90;
    KgeSVector gs;
    gs.x = gs.y = gs.z = 2;
    node->SetGlobalTranslation(gt);
    node->SetGlobalRotation(gr);
    node->SetGlobalScaling(gs);
    KgeAMatrix global;
    SetMatrixFromGlobal(node, global);
    EXPECT_NEAR(global.mData[0][1], 2, 1e-12); // X goes to Y, scaled by 2
    EXPECT_NEAR(global.mData[1][0], -2, 1e-12);
    EXPECT_EQ(global.mData[3][2], 3);
}

TEST_F(ImportTest, ResultObjectsAreFetchedByName)
{
    Run("createNode transform -n there");
    ZStringArray result;
    result.append("nowhere");
    result.append("there");
    zelthost::Host::Get().ClearTranscript();
    EXPECT_FALSE(GetResultObject(result, 1).isNull());
    EXPECT_TRUE(Entries(Kind::kError).empty());
    EXPECT_TRUE(GetResultObject(result, 0).isNull());
    const Strings errors = Entries(Kind::kError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Result object not found.", 0), 0u) << errors[0];
}

namespace {

KQoxMatrix Translation(double x, double y, double z)
{
    KQoxMatrix matrix;
    matrix.Set(3, 0, x);
    matrix.Set(3, 1, y);
    matrix.Set(3, 2, z);
    return matrix;
}

// A host transform for the node, under its parent's host node when it has one.
void MakeHostTransform(QoxZeltNode* node, QoxZeltNode* parent, double x = 0)
{
    ZFnTransform transform;
    transform.create(parent && parent->GetDagPath() ? parent->GetDagPath()->node() : ZObject::kNullObj);
    transform.setName(ZString(node->GetNameWithoutNameSpacePrefix().ToChars()));
    transform.setTranslation(ZVector(x, 0, 0), ZSpace::kTransform);
    ZDagPath path;
    transform.getPath(path);
    node->SetDagPath(&path);
}

double HostX(QoxZeltNode* node, int axis = 0)
{
    ZFnTransform transform(*node->GetDagPath());
    double t[3];
    transform.getTranslation(ZSpace::kTransform).get(t);
    return t[axis];
}

} // namespace

TEST_F(ImportTest, BindPoseMovesNewNodesParentsFirst)
{
    ImportFixture f;
    QoxZeltNode* root = f.import.mRootNode;
    QoxZeltNode* a = f.Add(root, "a");
    QoxZeltNode* b = f.Add(a, "b");
    QoxZeltNode* c = f.Add(root, "c"); // not in the pose
    QoxZeltNode* d = f.Add(c, "d");    // its parent has no record: local to the parent's host transform
    QoxZeltNode* e = f.Add(root, "e"); // no host object: no record
    QoxZeltNode* m = f.Add(root, "m"); // matched to an existing host node: never moved
    MakeHostTransform(a, nullptr, 5);
    MakeHostTransform(b, a, 6);
    MakeHostTransform(c, nullptr, 3);
    MakeHostTransform(d, c);
    MakeHostTransform(m, nullptr, 2);
    m->mMatchedByMerge = true;
    f.import.FillPelbrinNodeArray(root);

    KQoxPose* pose = f.import.mManager.CreateKQoxPose("bind", true);
    pose->Add("Model::RootNode", Translation(9, 9, 9));
    pose->Add("Model::RootNodeTwo", Translation(8, 8, 8)); // only the first "RootNode" item goes
    pose->Add(b->GetName(), Translation(1, 2, 0));         // the child before its parent
    pose->Add(a->GetName(), Translation(1, 0, 0));
    pose->Add(m->GetName(), Translation(7, 0, 0));
    pose->Add(d->GetName(), Translation(10, 0, 0));
    pose->Add(e->GetName(), Translation(4, 0, 0));
    PoseRecordList records;
    f.import.BuildPoseRecords(*pose, records, false, f.import.IndexPoseNodes());
    EXPECT_EQ(pose->GetCount(), 6);
    EXPECT_EQ(pose->Find("Model::RootNode"), -1);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]->mNode, a);
    EXPECT_EQ(records[1]->mNode, b);
    EXPECT_EQ(records[2]->mNode, d);
    EXPECT_EQ(records[3]->mNode, m);
    // The host transforms as they were, and the pose's matrices.
    EXPECT_EQ(records[1]->mHostMatrix.GetT()[0], 6);
    EXPECT_EQ(records[1]->mBindMatrix.GetT()[1], 2);
    // a at its bind matrix; b local to a's bind matrix; d local to c's host transform; m untouched.
    EXPECT_DOUBLE_EQ(HostX(a), 1);
    EXPECT_DOUBLE_EQ(HostX(b), 0);
    EXPECT_DOUBLE_EQ(HostX(b, 1), 2);
    EXPECT_DOUBLE_EQ(HostX(c), 3);
    EXPECT_DOUBLE_EQ(HostX(d), 7);
    EXPECT_DOUBLE_EQ(HostX(m), 2);
    f.import.mScene->AddPose(pose);
}

TEST_F(ImportTest, OldFileBindPoseTakesThePostNodesMatrix)
{
    ImportFixture f;
    QoxZeltNode* a = f.Add(f.import.mRootNode, "a");
    MakeHostTransform(a, nullptr);
    f.import.FillPelbrinNodeArray(f.import.mRootNode);
    KQoxPose* pose = f.import.mManager.CreateKQoxPose("bind", true);
    f.import.mScene->AddPose(pose);
    pose->Add("Model::a", Translation(1, 0, 0));
    pose->Add("Model::a__Pre_", Translation(2, 0, 0));
    pose->Add("Model::a__Post_", Translation(3, 0, 0));
    PoseRecordTable poses(1);
    poses[0].first = pose;
    f.import.FixOldBindPoses(poses);
    const int item = pose->Find("Model::a");
    ASSERT_GE(item, 0);
    EXPECT_EQ(pose->GetMatrix(item).Get(3, 0), 3);
    // The "__Pre_" and "__Post_" items get no records.
    f.import.BuildPoseRecords(*pose, poses[0].second, true, f.import.IndexPoseNodes());
    ASSERT_EQ(poses[0].second.size(), 1u);
    EXPECT_EQ(poses[0].second[0]->mNode, a);
    EXPECT_DOUBLE_EQ(HostX(a), 3);
}

TEST_F(ImportTest, OldVersionNeedsAReferencePivotBelowTheRoot)
{
    ImportFixture f;
    QoxZeltNode* root = f.import.mRootNode;
    QoxZeltNode* a = f.Add(root, "a");
    QoxZeltNode* b = f.Add(a, "b");
    QoxZeltNode* deep = f.Add(b, "c");
    for (QoxZeltNode* node : {root, a, b, deep})
        node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    EXPECT_FALSE(IsOldVersion(root));
    root->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE); // the root alone: not old
    EXPECT_FALSE(IsOldVersion(root));
    deep->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
    EXPECT_TRUE(IsOldVersion(root));
    deep->SetPivotState(eDESTINATION_SET, ePIVOT_STATE_REFERENCE);
    deep->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    EXPECT_FALSE(IsOldVersion(root)); // only the source set counts
    EXPECT_FALSE(IsOldVersion(nullptr));

    // Files of version 5.8 and 6 are never old, whatever their pivots.
    for (int format : {eEXPORT_QOX5_BINARY, eEXPORT_QOX_BINARY})
    {
        const std::string path = mDir.File("v" + std::to_string(format) + ".qox");
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* x = AddNode(manager, scene.GetRootNode(), "x");
        x->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
        KQoxExporter exporter(manager);
        exporter.Initialize(path.c_str());
        exporter.SetFileFormat(format);
        ASSERT_TRUE(exporter.Export(scene));
        QoxZeltImport import;
        import.OpenProject(ZString(path));
        int major = 0, minor = 0, revision = 0;
        import.GetImporter()->GetFileVersion(major, minor, revision);
        EXPECT_GE(major * 10 + minor, 58) << format;
        EXPECT_FALSE(IsOldVersion(root, import.GetImporter())) << format;
        deep->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
        EXPECT_FALSE(IsOldVersion(root, import.GetImporter())) << format;
    }
}
