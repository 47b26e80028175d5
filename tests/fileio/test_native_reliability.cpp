// Damaged files, failing disks and the front's error tables.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/resource.h>

#include "base/kcrcfile.h"
#include "base/kqox.h"
#include "character/kqoxcharacterpose.h"
#include "fcurve/kfcurve.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/writers/kqoxwriterqox6.h"
#include "fileio_test_util.h"
#include "object/kproperty.h"
#include "object/kstream.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, int format, const char* password = "")
{
    KQoxExporter exporter(manager);
    exporter.Initialize(name.c_str());
    exporter.SetFileFormat(format);
    exporter.SetPassword(password);
    return exporter.Export(scene);
}

std::string SmallSceneFile(const std::string& name, int format, const char* password, bool everyKind = false)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    if (everyKind)
        fileiotest::AddEveryKind(manager, scene, true);
    EXPECT_TRUE(Export(manager, scene, name, format, password));
    return ReadFile(name);
}

// Every cut of a small file of each form is refused cleanly, and a refused
// read leaves nothing it made behind in the manager.
TEST(NativeDamage, TruncationAtManyOffsetsGivesACleanError)
{
    TempDir dir;
    const struct
    {
        int mFormat;
        const char* mPassword;
    } forms[] = {{eEXPORT_QOX_BINARY, ""},
                 {eEXPORT_QOX_ASCII, ""},
                 {eEXPORT_QOX_ENCRYPTED, "pw"},
                 {eEXPORT_QOX5_BINARY, ""},
                 {eEXPORT_QOX5_ASCII, ""}};
    for (const auto& form : forms)
    {
        SCOPED_TRACE(form.mFormat);
        std::string whole = SmallSceneFile(dir.File("whole.qox"), form.mFormat, form.mPassword);
        ASSERT_GT(whole.size(), 1000u);
        std::string cutName = dir.File("cut.qox");
        size_t step = whole.size() / 150 + 1;
        for (size_t length = 0; length < whole.size(); length += step)
        {
            WriteFile(cutName, whole.substr(0, length));
            KQoxSdkManager manager;
            KQoxImporter importer(manager);
            importer.SetPassword(form.mPassword);
            int nodesBefore = manager.GetKQoxNodeCount();
            bool ok = importer.Initialize(cutName.c_str());
            if (ok)
            {
                KQoxScene scene(manager);
                ok = importer.Import(scene);
                EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0) << length;
            }
            EXPECT_FALSE(ok) << length;
            // A cut file is damage, never another kind of file.
            std::string error = importer.GetLastErrorString();
            if (length == 0)
            {
                EXPECT_EQ(error, "File is corrupted: the file is empty");
            }
            else
            {
                EXPECT_TRUE(error == "File is corrupted" || error == "Wrong password" ||
                            error == "File version is not supported anymore")
                    << length << ": " << error;
            }
            EXPECT_EQ(manager.GetKQoxNodeCount(), nodesBefore) << length;
        }
    }
}

// Replaces the rest of the line after the last (or first) occurrence of key.
std::string EditLine(std::string text, const std::string& key, const std::string& rest, bool last)
{
    size_t at = last ? text.rfind(key) : text.find(key);
    EXPECT_NE(at, std::string::npos) << key;
    if (at == std::string::npos)
        return text;
    at += key.size();
    size_t stop = text.find('\n', at);
    return text.replace(at, stop - at, rest);
}

// A failed import leaves the manager as it found it: damaged files read a
// thousand times into one manager add no object of any kind. The damage is
// found late: after every node, mesh, link and shape was made (a connection
// to itself, a link to a node that does not exist, a weight count that is
// not the index count), or at a cut through the file.
TEST(NativeDamage, FailedReadsLeaveNothingInTheManager)
{
    TempDir dir;
    for (int format : {eEXPORT_QOX_ASCII, eEXPORT_QOX5_ASCII, eEXPORT_QOX_BINARY})
    {
        SCOPED_TRACE(format);
        // Every kind: character poses read nested scenes, which a failed
        // read undoes as well.
        std::string whole = SmallSceneFile(dir.File("whole.qox"), format, "", true);
        std::vector<std::string> damaged;
        if (format != eEXPORT_QOX_BINARY)
        {
            damaged.push_back(EditLine(whole, "Connect: ", "\"OO\",1,1", true));
            // Version 6 ties clusters to their bones in the connections,
            // version 5 links in the geometry.
            if (format == eEXPORT_QOX_ASCII)
                damaged.push_back(EditLine(whole, "Connect: \"Bone\",", "1,999", false));
            else
                damaged.push_back(EditLine(whole, "    Link: ", "999,-1 {", false));
            damaged.push_back(EditLine(whole, "Weights: ", "*d1:0.5", false));
        }
        if (format != eEXPORT_QOX_BINARY)
        {
            // Damage inside the pose's nested scene, after its nodes were made.
            size_t pose = whole.find("CharacterPose: ");
            EXPECT_NE(pose, std::string::npos);
            damaged.push_back(whole.substr(0, pose) + EditLine(whole.substr(pose), "Connect: \"OO\",", "1,1", false));
        }
        for (int cut = 1; cut <= 7; ++cut)
            damaged.push_back(whole.substr(0, whole.size() * static_cast<size_t>(cut) / 8));
        std::string cutName = dir.File("damaged.qox");
        // One scene takes every failed read; it must stay empty.
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        const std::string before = fileiotest::ManagerCounts(manager);
        for (int i = 0; i < 1000; ++i)
        {
            WriteFile(cutName, damaged[static_cast<size_t>(i) % damaged.size()]);
            KQoxImporter importer(manager);
            if (!importer.Initialize(cutName.c_str()))
                continue;
            ASSERT_FALSE(importer.Import(scene)) << i;
            EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        }
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
        EXPECT_EQ(scene.GetTakeInfoCount(), 0);
        EXPECT_EQ(fileiotest::ManagerCounts(manager), before);
    }
}

// Damage in an ASCII file's animation, which lies after the take list:
// opening reads the take list and succeeds; the import finds the damage
// when it gets there and fails as any damaged read does.
TEST(NativeDamage, AnimationDamageIsFoundByTheImportNotTheOpening)
{
    TempDir dir;
    std::string whole = SmallSceneFile(dir.File("whole.qox"), eEXPORT_QOX_ASCII, "");
    const size_t animation = whole.find("[Animation]");
    ASSERT_NE(animation, std::string::npos);
    ASSERT_LT(whole.find("[Takes]"), animation);
    // A block of the animation loses its closing brace.
    const size_t key = whole.find("KeyCount: ", animation);
    ASSERT_NE(key, std::string::npos);
    const size_t brace = whole.find('}', key);
    ASSERT_NE(brace, std::string::npos);
    whole[brace] = ' ';
    const std::string name = dir.File("damaged.qox");
    WriteFile(name, whole);

    KQoxSdkManager manager;
    KQoxScene scene(manager);
    const std::string before = fileiotest::ManagerCounts(manager);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str())) << importer.GetLastErrorString();
    EXPECT_GT(importer.GetTakeCount(), 0);
    EXPECT_FALSE(importer.Import(scene));
    EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
    EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
    EXPECT_EQ(fileiotest::ManagerCounts(manager), before);

    // With the animation left out, the read still verifies the whole file.
    KQoxImporter still(manager);
    ASSERT_TRUE(still.Initialize(name.c_str()));
    still.SetState(KStreamOptionsQox::eANIMATION, false);
    EXPECT_FALSE(still.Import(scene));
    EXPECT_STREQ(still.GetLastErrorString(), "File is corrupted");
    EXPECT_EQ(fileiotest::ManagerCounts(manager), before);
}

// The thumbnails a read makes for take descriptions stay only with the
// descriptions the scene keeps: reading with the animation left out, or
// without the takes selected, leaves none behind in the manager.
TEST(NativeDamage, TakeThumbnailsGoWithTheDescriptionsLeftOut)
{
    TempDir dir;
    const std::string name = dir.File("scene.qox");
    SmallSceneFile(name, eEXPORT_QOX_ASCII, "");
    for (int way = 0; way < 3; ++way)
    {
        SCOPED_TRACE(way);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        ASSERT_GT(importer.GetTakeCount(), 0);
        if (way == 1)
            importer.SetState(KStreamOptionsQox::eANIMATION, false);
        if (way == 2)
            for (int t = 0; t < importer.GetTakeCount(); ++t)
                importer.SetTakeSelected(t, false);
        ASSERT_TRUE(importer.Import(scene));
        // Every thumbnail in the manager is one the scene refers to.
        int held = scene.GetSceneInfo() && scene.GetSceneInfo()->GetSceneThumbnail() ? 1 : 0;
        for (int t = 0; t < importer.GetTakeCount(); ++t)
            if (const KQoxTakeInfo* kept = scene.GetTakeInfo(importer.GetTakeInfo(t)->Name))
                held += kept->GetTakeThumbnail() ? 1 : 0;
        EXPECT_EQ(manager.GetKQoxThumbnailCount(), held);
        if (way == 0)
        {
            EXPECT_GT(held, 0);
        }
    }
}

// Hand-made files whose content is well formed but hostile.
TEST(NativeDamage, HostileConnectionsAndThumbnails)
{
    struct Case
    {
        const char* what;
        void (*write)(KQox&);
    } cases[] = {
        {"cycle",
         [](KQox& f) {
             f.ProjectWriteSectionBegin("Objects", 6000);
             for (const char* name : {"Model::A", "Model::B"})
             {
                 f.FieldWriteBegin("Model");
                 f.FieldWriteC(name);
                 f.FieldWriteEnd();
             }
             f.ProjectWriteSectionEnd();
             f.ProjectWriteSectionBegin("Connections", 6000);
             for (int pair : {0x01, 0x10})
             {
                 f.FieldWriteBegin("Connect");
                 f.FieldWriteC("OO");
                 f.FieldWriteI(pair >> 4);
                 f.FieldWriteI(pair & 15);
                 f.FieldWriteEnd();
             }
             f.ProjectWriteSectionEnd();
         }},
        {"unknown node",
         [](KQox& f) {
             f.ProjectWriteSectionBegin("Connections", 6000);
             f.FieldWriteBegin("Connect");
             f.FieldWriteC("OO");
             f.FieldWriteI(1000000);
             f.FieldWriteI(-1);
             f.FieldWriteEnd();
             f.ProjectWriteSectionEnd();
         }},
        {"thumbnail shorter than its size",
         [](KQox& f) {
             f.ProjectWriteSectionBegin("Objects", 6000);
             f.FieldWriteBegin("SceneInfo");
             f.FieldWriteC("SceneInfo::GlobalInfo");
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("Thumbnail");
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("Format");
             f.FieldWriteI(0);
             f.FieldWriteEnd();
             f.FieldWriteBegin("Size");
             f.FieldWriteI(64);
             f.FieldWriteEnd();
             unsigned char bytes[16] = {0};
             f.FieldWriteBegin("Image");
             f.FieldWriteArrayB(bytes, 16);
             f.FieldWriteEnd();
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
             f.ProjectWriteSectionEnd();
         }},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::string name = dir.File("hostile.qox");
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str(), KQox::eBINARY, 6000));
        c.write(f);
        ASSERT_TRUE(f.ProjectClose());
        KQoxSdkManager manager;
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KQoxScene scene(manager);
        int nodes = manager.GetKQoxNodeCount(); // the scene's own: root, switcher, producer cameras
        EXPECT_FALSE(importer.Import(scene));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(manager.GetKQoxNodeCount(), nodes);
        EXPECT_EQ(manager.GetKQoxThumbnailCount(), 0);
    }
}

TEST(NativeFront, VersionsFormatsAndMessages)
{
    TempDir dir;
    KQoxSdkManager manager;
    // Majors 1 to 4 read as 5.0.0.
    const struct
    {
        int mStored;
        int mReported;
    } versions[] = {{1000, 500}, {4999, 500}, {5800, 580}, {6000, 600}, {6103, 613}};
    for (const auto& v : versions)
    {
        std::string name = dir.File("v.qox");
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str(), KQox::eBINARY, v.mStored));
        ASSERT_TRUE(f.ProjectClose());
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        int major, minor, revision;
        ASSERT_TRUE(importer.GetFileVersion(major, minor, revision));
        EXPECT_EQ(major * 100 + minor * 10 + revision, v.mReported) << v.mStored;
        EXPECT_EQ(importer.GetTakeCount(), 0);
    }

    KQoxImporter importer(manager);
    EXPECT_FALSE(importer.Initialize(""));
    EXPECT_STREQ(importer.GetLastErrorString(), "Uninitialized filename");
    EXPECT_FALSE(importer.Initialize(dir.File("missing.qox").c_str()));
    EXPECT_STREQ(importer.GetLastErrorString(), "File not opened: no such file");
    importer.SetFileFormat(eIMPORT_OBJ);
    EXPECT_FALSE(importer.Initialize(dir.File("a.obj").c_str()));
    EXPECT_STREQ(importer.GetLastErrorString(), "Invalid file format");
    KQoxScene scene(manager);
    EXPECT_FALSE(importer.Import(scene));
    EXPECT_STREQ(importer.GetLastErrorString(), "File not opened");

    KQoxExporter exporter(manager);
    EXPECT_FALSE(exporter.SetFileFormat(19));
    EXPECT_EQ(exporter.GetFileFormat(), eEXPORT_QOX_BINARY);
    ASSERT_TRUE(exporter.Initialize(dir.File("out.3ds").c_str()));
    ASSERT_TRUE(exporter.SetFileFormat(eEXPORT_3DS));
    EXPECT_FALSE(exporter.Export(scene));
    EXPECT_STREQ(exporter.GetLastErrorString(), "Invalid file format");
    EXPECT_EQ(exporter.GetExportOptions(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.3ds")));
    EXPECT_STREQ(KQoxIORegistry::GetWriterDescription(eEXPORT_QOX_ASCII), "QOX ASCII (*.qox)");
    EXPECT_STREQ(KQoxIORegistry::GetReaderDescription(eIMPORT_OBJ), "");

    // The message tables, as readers and writers of every format share them.
    KQoxReaderQox reader(manager);
    const char* readerTexts[] = {"File is corrupted",
                                 "File version is not supported yet",
                                 "File version is not supported anymore",
                                 "File not opened",
                                 "File not created",
                                 "Wrong password",
                                 "Stream options not set",
                                 "Unidentified error"};
    for (int id = 0; id < 8; ++id)
        EXPECT_STREQ(reader.GetError().GetErrorString(id), readerTexts[id]);
    KQoxWriterQox6 writer(manager);
    const char* writerTexts[] = {"File is corrupted", "File not opened",        "File not created",
                                 "Out of disk space", "Stream options not set", "Unidentified error"};
    for (int id = 0; id < 6; ++id)
        EXPECT_STREQ(writer.GetError().GetErrorString(id), writerTexts[id]);
    EXPECT_FALSE(writer.Write(scene, nullptr));
    EXPECT_STREQ(writer.GetLastErrorString(), "File not opened");
}

// A failed write is reported, and leaves neither a file under the target's
// name nor a temporary beside it; an existing file stays as it was.
TEST(NativeFront, FailedWritesLeaveNoFile)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");

    KQoxExporter exporter(manager);
    ASSERT_TRUE(exporter.Initialize((dir.Path() + "/no/such/dir/x.qox").c_str()));
    EXPECT_FALSE(exporter.Export(scene));
    EXPECT_STREQ(exporter.GetLastErrorString(), "File not created: the folder does not exist");

    // A file size limit stands in for a full disk.
    std::string name = dir.File("full.qox");
    WriteFile(name, "previous content");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit small = limit;
    small.rlim_cur = 2000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(exporter.Initialize(name.c_str()));
    bool ok = exporter.Export(scene);
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(exporter.GetLastErrorString(), "Out of disk space");
    EXPECT_EQ(ReadFile(name), "previous content");
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        entries += entry.path().filename() == "full.qox" ? 0 : 1;
    EXPECT_EQ(entries, 0u);
}

// What the file keeps of a node, seen in the ASCII text.
TEST(NativeDuties, NodeTokensAndLeftOutProperties)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    std::string name = dir.File("tokens.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    std::string text = ReadFile(name);
    // Hips: shading 0 (no field), culling off; Spine: W, counter-clockwise, pivots
    // disabled; Head: F, clockwise.
    for (const char* expected : {"Shading: W", "Shading: F", "Culling: \"CullingOff\"", "Culling: \"CullingOnCCW\"",
                                 "Culling: \"CullingOnCW\"", "PivotEnabled: 0", "MultiLayer: 1",
                                 // time warps are numbered per take, channels refer to them
                                 "TimeWarp: 1 {", "TimeWarpID: 1", "GenericNode: \"Solver\"", "Pose: \"Pose::Bind\""})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    // Hips (mode 0) alone writes no field; the others keep at least light shading.
    auto count = [&text](const char* what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("Shading:"), count("PivotEnabled:") - 1); // one PivotEnabled per node
    EXPECT_NE(text.find("Shading: Y"), std::string::npos);
    // Properties carrying own flag 16 stay out of the file.
    EXPECT_EQ(text.find("RotationPivotUpdateOffset"), std::string::npos);
    EXPECT_EQ(text.find("ScalingPivotUpdateOffset"), std::string::npos);
    EXPECT_NE(text.find("\"RotationPivot\""), std::string::npos);

    KQoxScene read(manager);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    ASSERT_TRUE(importer.Import(read));
    KQoxNode* hips = read.GetRootNode()->GetChild(0);
    KQoxNode* spine = hips->GetChild(0);
    EXPECT_EQ(hips->GetShadingMode(), KQoxNode::eHARD_SHADING);
    EPivotState state;
    spine->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
    // Pivots come back into the working records from the properties.
    EXPECT_EQ(spine->GetRotationPivot(eSOURCE_SET)[1], 2.0);
    EXPECT_EQ(spine->GetPreRotation(eSOURCE_SET)[1], 90.0);
}

} // namespace

namespace {

// One mesh node whose geometry block the case fills, in a hand-made file.
void WriteMeshFile(const std::string& name, void (*geometry)(KQox&))
{
    KQox f;
    ASSERT_TRUE(f.ProjectCreate(name.c_str(), KQox::eBINARY, 6000));
    f.ProjectWriteSectionBegin("Objects", 6000);
    f.FieldWriteBegin("Model");
    f.FieldWriteC("Model::M");
    f.FieldWriteC("Mesh");
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Geometry");
    f.FieldWriteBlockBegin();
    const double point[4] = {1, 2, 3, 1};
    f.FieldWriteBegin("Vertices");
    f.FieldWriteArrayD(point, 4);
    f.FieldWriteEnd();
    geometry(f);
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    ASSERT_TRUE(f.ProjectClose());
}

void Ints(KQox& f, const char* name, std::initializer_list<int> values)
{
    std::vector<int> v(values);
    f.FieldWriteBegin(name);
    f.FieldWriteArrayI(v.data(), static_cast<unsigned int>(v.size()));
    f.FieldWriteEnd();
}

// Geometry that is well formed as fields but names what is not there.
TEST(NativeDamage, HostileGeometry)
{
    struct Case
    {
        const char* what;
        void (*geometry)(KQox&);
    } cases[] = {
        {"vertex beyond the control points",
         [](KQox& f) {
             Ints(f, "PolygonVertexIndex", {0, 0, 5});
             Ints(f, "PolygonSizes", {3});
         }},
        {"sizes beyond the vertices",
         [](KQox& f) {
             Ints(f, "PolygonVertexIndex", {0, 0, 0});
             Ints(f, "PolygonSizes", {3, 2});
         }},
        {"negative vertex",
         [](KQox& f) {
             Ints(f, "PolygonVertexIndex", {0, -1, 0});
             Ints(f, "PolygonSizes", {3});
         }},
        {"negative size that adds up",
         [](KQox& f) {
             Ints(f, "PolygonVertexIndex", {0, 0, 0});
             Ints(f, "PolygonSizes", {4, -1});
         }},
        {"groups not one a polygon",
         [](KQox& f) {
             Ints(f, "PolygonVertexIndex", {0, 0, 0});
             Ints(f, "PolygonSizes", {3});
             Ints(f, "PolygonGroups", {1, 2});
         }},
        {"index below none",
         [](KQox& f) {
             f.FieldWriteBegin("Layer");
             f.FieldWriteI(0);
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("LayerElementPolygonGroup");
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("MappingInformationType");
             f.FieldWriteC("ByPolygon");
             f.FieldWriteEnd();
             f.FieldWriteBegin("ReferenceInformationType");
             f.FieldWriteC("IndexToDirect");
             f.FieldWriteEnd();
             Ints(f, "Direct", {7});
             Ints(f, "Index", {-1, 0, -2});
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
         }},
        {"material that was not read",
         [](KQox& f) {
             f.FieldWriteBegin("Layer");
             f.FieldWriteI(0);
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("LayerElementMaterial");
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("MappingInformationType");
             f.FieldWriteC("AllSame");
             f.FieldWriteEnd();
             f.FieldWriteBegin("ReferenceInformationType");
             f.FieldWriteC("IndexToDirect");
             f.FieldWriteEnd();
             Ints(f, "Direct", {3});
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
         }},
        {"index outside the direct array",
         [](KQox& f) {
             f.FieldWriteBegin("Layer");
             f.FieldWriteI(0);
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("LayerElementPolygonGroup");
             f.FieldWriteBlockBegin();
             f.FieldWriteBegin("MappingInformationType");
             f.FieldWriteC("ByPolygon");
             f.FieldWriteEnd();
             f.FieldWriteBegin("ReferenceInformationType");
             f.FieldWriteC("IndexToDirect");
             f.FieldWriteEnd();
             Ints(f, "Direct", {7});
             Ints(f, "Index", {0, 1});
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
         }},
        {"link to a node that is not there",
         [](KQox& f) {
             f.FieldWriteBegin("Link");
             f.FieldWriteI(7);
             f.FieldWriteI(-1);
             f.FieldWriteBlockBegin();
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
         }},
        {"weights that do not match the indexes",
         [](KQox& f) {
             f.FieldWriteBegin("Link");
             f.FieldWriteI(0);
             f.FieldWriteI(-1);
             f.FieldWriteBlockBegin();
             Ints(f, "Indexes", {0});
             f.FieldWriteBlockEnd();
             f.FieldWriteEnd();
         }},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::string name = dir.File("mesh.qox");
        WriteMeshFile(name, c.geometry);
        KQoxSdkManager manager;
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KQoxScene scene(manager);
        int nodes = manager.GetKQoxNodeCount();
        EXPECT_FALSE(importer.Import(scene));
        EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
        EXPECT_EQ(manager.GetKQoxNodeCount(), nodes);
        EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
    }
}

} // namespace

namespace {

// A character pose whose scene holds a pose, and so on, depth levels deep,
// each scene with one node.
void WriteNestedPoses(KQox& f, int depth)
{
    f.ProjectWriteSectionBegin("Objects", 6000);
    f.FieldWriteBegin("Model");
    f.FieldWriteC("Model::Level");
    f.FieldWriteC("");
    f.FieldWriteEnd();
    if (depth > 0)
    {
        f.FieldWriteBegin("CharacterPose");
        f.FieldWriteC("Pose::Nested");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Version");
        f.FieldWriteI(100);
        f.FieldWriteEnd();
        WriteNestedPoses(f, depth - 1);
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
}

} // namespace

// Poses nest scenes: seven levels below the file's own are read, deeper
// nesting is refused as damage and leaves nothing behind, however deep.
TEST(NativeDamage, PosesNestedTooDeep)
{
    TempDir dir;
    for (int depth : {7, 8, 200})
    {
        SCOPED_TRACE(depth);
        std::string name = dir.File("nested.qox");
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str(), KQox::eBINARY, 6000));
        WriteNestedPoses(f, depth);
        ASSERT_TRUE(f.ProjectClose());
        KQoxSdkManager manager;
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        KQoxScene scene(manager);
        const std::string counts = fileiotest::ManagerCounts(manager);
        const bool ok = importer.Import(scene);
        EXPECT_EQ(ok, depth <= 7) << importer.GetLastErrorString();
        if (!ok)
        {
            EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
            EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
            continue;
        }
        int levels = 0;
        for (KQoxScene* at = &scene; at->GetCharacterPoseCount() == 1; at = at->GetCharacterPose(0)->GetScene())
            ++levels;
        EXPECT_EQ(levels, 7);
    }
}

// Without options the reader and writer take the defaults; options of
// another kind are refused before anything is read or written.
TEST(NativeFront, OptionsOfAnotherKindAreRefused)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    const std::string name = dir.File("options.qox");
    KStreamOptions other;
    KQoxWriterQox6 writer(manager);
    ASSERT_TRUE(writer.FileCreate(name.c_str()));
    EXPECT_FALSE(writer.Write(scene, &other));
    EXPECT_EQ(writer.GetLastErrorID(), KQoxWriter::eSTREAM_OPTIONS_NOT_SET);
    ASSERT_TRUE(writer.Write(scene, nullptr));
    ASSERT_TRUE(writer.FileClose());

    KQoxReaderQox reader(manager);
    ASSERT_TRUE(reader.FileOpen(name.c_str()));
    KQoxScene read(manager);
    EXPECT_FALSE(reader.Read(read, &other));
    EXPECT_EQ(reader.GetLastErrorID(), KQoxReader::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0);
    ASSERT_TRUE(reader.Read(read, nullptr));
    fileiotest::MergeTimeWarps(manager, scene); // as the reader does
    EXPECT_EQ(fileiotest::ListScene(manager, read), fileiotest::ListScene(manager, scene));
}

namespace {

// A node whose properties block holds a name and a type name with NUL
// bytes in them (patched into the file after writing): both read as far as
// their NUL byte.
TEST(NativeDamage, PropertyTextsHoldingNul)
{
    TempDir dir;
    const std::string name = dir.File("nul.qox");
    {
        KQox f;
        ASSERT_TRUE(f.ProjectCreate(name.c_str(), KQox::eBINARY, 6000));
        f.ProjectWriteSectionBegin("Objects", 6000);
        f.FieldWriteBegin("Model");
        f.FieldWriteC("Model::M");
        f.FieldWriteC("");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Properties");
        f.FieldWriteBlockBegin();
        auto property = [&f](const char* propertyName, const char* type, std::initializer_list<double> values) {
            f.FieldWriteBegin("Property");
            f.FieldWriteC(propertyName);
            f.FieldWriteC(type);
            f.FieldWriteC("");
            for (double v : values)
                f.FieldWriteD(v);
            f.FieldWriteEnd();
        };
        property("Show", "bool", {0});
        property("AxisLen@tail", "double", {7.5});
        property("RotationStiffnessX", "double@", {3.5});
        property("GeometricScaling", "Vector3D", {2, 3, 4});
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.ProjectWriteSectionEnd();
        ASSERT_TRUE(f.ProjectClose());
    }
    std::string bytes = ReadFile(name);
    for (const char* text : {"AxisLen@tail", "double@"})
    {
        const size_t at = bytes.find(text);
        ASSERT_NE(at, std::string::npos);
        bytes[bytes.find('@', at)] = '\0';
    }
    // A new check value over the patched bytes.
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned int crc = ~kcrc::Update(0xFFFFFFFFu, data, bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + static_cast<size_t>(i)] = static_cast<char>(crc >> (24 - 8 * i));
    WriteFile(name, bytes);

    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    ASSERT_TRUE(importer.Import(scene));
    ASSERT_EQ(scene.GetRootNode()->GetChildCount(), 1);
    KObject* properties = scene.GetRootNode()->GetChild(0)->GetPropertyHandler();
    auto value = [properties](const char* propertyName, int member) {
        double v[4] = {-1, -1, -1, -1};
        properties->FindPropertyByName(propertyName)->GetData(v, 0, nullptr, nullptr);
        return v[member];
    };
    bool show = true;
    properties->FindPropertyByName("Show")->GetData(&show, 0, nullptr, nullptr);
    EXPECT_FALSE(show);
    EXPECT_EQ(value("AxisLen", 0), 7.5);
    EXPECT_EQ(value("RotationStiffnessX", 0), 3.5);
    EXPECT_EQ(value("GeometricScaling", 0), 2.0);
    EXPECT_EQ(value("GeometricScaling", 2), 4.0);
}

} // namespace

namespace {

// Animation records name their object and give its position among the
// objects read; a position that does not match the name falls back to the
// first object of that name. Every record of a large scene given a wrong
// position still reaches its own node; a name twice reaches the first.
TEST(NativeDamage, AnimationPositionsThatDisagreeWithNames)
{
    const int count = 3000;
    TempDir dir;
    const std::string name = dir.File("positions.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        for (int n = 0; n < count; ++n)
        {
            KQoxNode* node = manager.CreateKQoxNode(n == 1 ? "N0" : ("N" + std::to_string(n)).c_str());
            scene.GetRootNode()->AddChild(node);
            KFCurve* curve = node->CreateTakeNode("Take 001")->GetTranslationX();
            curve->KeyModifyBegin();
            curve->KeyAppendFast(KTime(0), static_cast<float>(n));
            curve->KeyModifyEnd();
        }
        ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ASCII));
    }
    // Positions in the animation section: reversed, except the two nodes
    // of one name, given none.
    std::string text = ReadFile(name);
    size_t at = text.find("[Animation]");
    ASSERT_NE(at, std::string::npos);
    int rewritten = 0;
    const std::string head = "Model: \"Model::N";
    for (at = text.find(head, at); at != std::string::npos; at = text.find(head, at + 1))
    {
        const size_t comma = text.find("\",", at);
        const size_t brace = text.find(" {", comma);
        const int position = std::stoi(text.substr(comma + 2, brace - comma - 2));
        const int wrong = position <= 1 ? -1 : count - 1 - position;
        text.replace(comma + 2, brace - comma - 2, std::to_string(wrong));
        ++rewritten;
    }
    ASSERT_EQ(rewritten, count);
    WriteFile(name, text);

    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    ASSERT_TRUE(importer.Import(scene));
    ASSERT_EQ(scene.GetRootNode()->GetChildCount(), count);
    auto key = [](KQoxNode* node) -> float {
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
            if (std::string(node->GetTakeNodeName(t)) == "Take 001")
            {
                KFCurve* curve = node->GetTakeNode(t)->GetTranslationX();
                return curve && curve->KeyGetCount() == 1 ? curve->KeyGetValue(0) : -1.0f;
            }
        return -2.0f;
    };
    for (int n = 2; n < count; ++n)
        ASSERT_EQ(key(scene.GetRootNode()->GetChild(n)), static_cast<float>(n)) << n;
    // Both records of "N0" went to the first node, the second read last.
    EXPECT_EQ(key(scene.GetRootNode()->GetChild(0)), 1.0f);
    EXPECT_EQ(key(scene.GetRootNode()->GetChild(1)), -2.0f);
}

} // namespace
