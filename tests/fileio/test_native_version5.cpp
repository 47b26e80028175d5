// Version-5 native files: the all-kinds scene through binary and ASCII and
// through version 6 and back, shape channels under their version-5 names,
// clusters as links, character settings, automatic tangents.

#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxfilterset.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "object/kstream.h"
#include "fileio/writers/kqoxwriterqox.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::BuildScene;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, int format)
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(format));
    bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    return ok;
}

bool Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name)
{
    KQoxImporter importer(manager);
    bool ok = importer.Initialize(name.c_str()) && importer.Import(scene);
    EXPECT_TRUE(ok) << importer.GetLastErrorString();
    return ok;
}

KQoxMesh* SpineMesh(KQoxScene& scene)
{
    return dynamic_cast<KQoxMesh*>(scene.GetRootNode()->GetChild(0)->GetChild(0)->GetNodeAttribute());
}

// The "Smile" shape channel keyed differently in both takes (the Default
// take keeps static values only).
void KeyShapes(KQoxScene& scene)
{
    KQoxMesh* mesh = SpineMesh(scene);
    KQoxNode* node = mesh->GetNode();
    ASSERT_EQ(node->GetTakeNodeCount(), 3);
    for (int t = 1; t < node->GetTakeNodeCount(); ++t)
    {
        KFCurve* curve = mesh->GetShapeChannel(node->GetTakeNode(t), 0);
        ASSERT_NE(curve, nullptr) << t;
        curve->KeyModifyBegin();
        for (int k = 0; k < 2; ++k)
        {
            KTime time(k * 46186158000LL);
            curve->KeySet(curve->KeyAdd(time), time, 10.0f * t * k, KFCURVE_INTERPOLATION_LINEAR, 0u, 0.0f, 0.0f);
        }
        curve->KeyModifyEnd();
    }
}

struct Form
{
    int mExport;
    int mImport;
    int mSix;    // the version-6 form of the same kind
    int mDigits; // ASCII keeps 15 significant digits
} const kForms[] = {{eEXPORT_QOX5_BINARY, eIMPORT_QOX_BINARY, eEXPORT_QOX_BINARY, 17},
                    {eEXPORT_QOX5_ASCII, eIMPORT_QOX_ASCII, eEXPORT_QOX_ASCII, 15}};

} // namespace

// The all-kinds scene through version 5, then 5 -> 6 -> 5: each read gives
// the scene back, and the second version-5 file is the first byte for byte.
TEST(NativeVersion5, RoundTripAndConversionThroughVersion6)
{
    TempDir dir;
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxScene original(manager);
        BuildScene(manager, original, "");
        KeyShapes(original);
        const std::string before = ListScene(manager, original, form.mDigits);
        const std::string five = dir.File("five.qox"), six = dir.File("six.qox"), back = dir.File("back.qox");
        ASSERT_TRUE(Export(manager, original, five, form.mExport));
        EXPECT_EQ(ListScene(manager, original, form.mDigits), before); // shape names reverted
        // Each read bakes the time warps into the channels that use them.
        fileiotest::MergeTimeWarps(manager, original);
        const std::string merged = ListScene(manager, original, form.mDigits);
        const std::string fiveMerged = dir.File("five-merged.qox");
        ASSERT_TRUE(Export(manager, original, fiveMerged, form.mExport));

        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(five.c_str())) << importer.GetLastErrorString();
        EXPECT_EQ(importer.GetFileFormat(), form.mImport);
        int major = 0, minor = 0, revision = 0;
        ASSERT_TRUE(importer.GetFileVersion(major, minor, revision));
        EXPECT_EQ(major * 100 + minor * 10 + revision, 580);
        ASSERT_EQ(importer.GetTakeCount(), 2);
        KQoxScene fromFive(manager);
        ASSERT_TRUE(importer.Import(fromFive)) << importer.GetLastErrorString();
        EXPECT_EQ(ListScene(manager, fromFive, form.mDigits), merged);

        ASSERT_TRUE(Export(manager, fromFive, six, form.mSix));
        KQoxReaderQox reader(manager);
        ASSERT_TRUE(reader.FileOpen(six.c_str()));
        EXPECT_EQ(reader.GetFileVersion(), 6000);
        KQoxScene fromSix(manager);
        ASSERT_TRUE(reader.Read(fromSix, nullptr));
        EXPECT_EQ(ListScene(manager, fromSix, form.mDigits), merged);
        ASSERT_TRUE(Export(manager, fromSix, back, form.mExport));
        EXPECT_EQ(ReadFile(back), ReadFile(fiveMerged));
    }
}

// Version-5 files name shape channels "<shape> (Shape)" in every take; the
// scene keeps its own names.
TEST(NativeVersion5, ShapeChannelsAcrossTwoTakes)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    KeyShapes(scene);
    const std::string five = dir.File("five.qox"), six = dir.File("six.qox");
    ASSERT_TRUE(Export(manager, scene, five, eEXPORT_QOX5_ASCII));
    ASSERT_TRUE(Export(manager, scene, six, eEXPORT_QOX_ASCII));
    const std::string text5 = ReadFile(five), text6 = ReadFile(six);
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    // The Default take's static value and one keyed channel per take.
    EXPECT_EQ(count(text5, "Channel: \"Smile (Shape)\" {"), 3u);
    EXPECT_EQ(count(text5, "Channel: \"Smile\" {"), 0u);
    EXPECT_EQ(count(text6, "Channel: \"Smile (Shape)\" {"), 0u);
    EXPECT_EQ(count(text6, "Channel: \"Smile\" {"), 3u);
    EXPECT_NE(text5.find("; Tolvane QOX ASCII 5800\n"), std::string::npos);
    EXPECT_NE(text5.find("[Animation]: 5800 {"), std::string::npos);
    // Reading folds them back: the round trip above compares the keys.
}

// A scene whose skinning is held as a skin and clusters (no links) is
// written with links, and reads back as the scene it was made from; the
// written scene keeps its clusters and gets no links.
TEST(NativeVersion5, ClustersAreWrittenAsLinks)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    fileiotest::MergeTimeWarps(manager, scene); // as the reader does
    // Clusters keep their transforms as matrices: 15 digits come back.
    const std::string withLinks = ListScene(manager, scene, 15);
    scene.BuildKQoxDeformerFromKQoxLink();
    KQoxMesh* mesh = SpineMesh(scene);
    while (mesh->GetLinkCount() > 0)
        manager.DestroyKQoxLink(mesh->RemoveLink(0));
    ASSERT_EQ(mesh->GetLinkCount(), 0);
    ASSERT_EQ(scene.GetDeformerCount(KQoxDeformer::eCLUSTER), 1);
    EXPECT_STREQ(scene.GetDeformer(0, KQoxDeformer::eCLUSTER)->GetName(), "SubDeformer::Cluster Hips");

    const std::string name = dir.File("clusters.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX5_BINARY));
    EXPECT_EQ(mesh->GetLinkCount(), 0);
    EXPECT_EQ(scene.GetDeformerCount(0), 2);
    KQoxScene read(manager);
    ASSERT_TRUE(Import(manager, read, name));
    EXPECT_EQ(ListScene(manager, read, 15), withLinks);

    // Links of its own stand for the geometry's skin: no copies are written.
    KQoxMesh* readMesh = SpineMesh(read);
    ASSERT_EQ(readMesh->GetLinkCount(), 1);
    read.BuildKQoxDeformerFromKQoxLink();
    ASSERT_TRUE(Export(manager, read, name, eEXPORT_QOX5_BINARY));
    EXPECT_EQ(readMesh->GetLinkCount(), 1);
    KQoxScene again(manager);
    ASSERT_TRUE(Import(manager, again, name));
    EXPECT_EQ(ListScene(manager, again, 15), withLinks);
}

namespace {

// Parameter index by name; fails the test when the table lacks it.
int Param(const char* name)
{
    int index = KQoxFilterSet::GetParameterIndex(name);
    EXPECT_GE(index, 0) << name;
    return index;
}

} // namespace

// A character's solver settings survive version 5, version 6 and both
// conversions: modes and values by parameter name, extreme values included,
// and the properties agree with the filter set after reading.
TEST(NativeVersion5, CharacterFilterSetInEachDirection)
{
    TempDir dir;
    const struct
    {
        const char* mName;
        double mValue;
    } values[] = {{"ChestReduction", 0.375},
                  {KQoxFilterSet::GetParameterName(54), -DBL_MAX},
                  {"PullIterationCount", 7},
                  {"HeadReduction", 4.9e-324},
                  {"NeckReduction", DBL_MAX}};
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    // Rewriting what was read gives the same bytes once the warps are baked.
    fileiotest::MergeTimeWarps(manager, scene);
    KQoxCharacter* character = scene.GetCharacter(scene.CreateCharacter("Hero"));
    ASSERT_NE(character, nullptr);
    KQoxFilterSet* filterSet = character->GetFilterSet();
    for (const auto& row : values)
        filterSet->SetParameterValue(Param(row.mName), row.mValue);
    // A parameter with modes: some mode other than its default.
    int moded = -1;
    for (int i = 0; i < KQoxFilterSet::GetParameterCount() && moded < 0; ++i)
        if (KQoxFilterSet::GetParameterModeType(i) == 2)
            moded = i;
    ASSERT_GE(moded, 0);
    const int mode = KQoxFilterSet::GetParameterDefaultMode(moded) == 2 ? 0 : 2;
    filterSet->SetParameterMode(moded, mode);

    auto check = [&](KQoxScene& read, const char* step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(read.GetCharacterCount(), 1);
        KQoxCharacter* got = read.GetCharacter(0);
        EXPECT_STREQ(got->GetName(), character->GetName());
        for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
        {
            EXPECT_EQ(got->GetFilterSet()->GetParameterMode(i), filterSet->GetParameterMode(i)) << i;
            const double want = filterSet->GetParameterValue(i), have = got->GetFilterSet()->GetParameterValue(i);
            EXPECT_TRUE(want == have) << KQoxFilterSet::GetParameterName(i) << " " << want << " " << have;
        }
        EXPECT_EQ(got->GetProperties()->ChestReductionGet(), 0.375);
        EXPECT_EQ(got->GetProperties()->FootContactStiffnessGet(), -DBL_MAX); // parameter 54
    };
    const std::string five = dir.File("five.qox"), six = dir.File("six.qox"), back = dir.File("back.qox");
    for (int format : {eEXPORT_QOX5_BINARY, eEXPORT_QOX5_ASCII})
    {
        ASSERT_TRUE(Export(manager, scene, five, format));
        KQoxScene fromFive(manager);
        ASSERT_TRUE(Import(manager, fromFive, five));
        check(fromFive, "5");
        ASSERT_TRUE(
            Export(manager, fromFive, six, format == eEXPORT_QOX5_ASCII ? eEXPORT_QOX_ASCII : eEXPORT_QOX_BINARY));
        KQoxScene fromSix(manager);
        ASSERT_TRUE(Import(manager, fromSix, six));
        check(fromSix, "5 -> 6");
        ASSERT_TRUE(Export(manager, fromSix, back, format));
        KQoxScene again(manager);
        ASSERT_TRUE(Import(manager, again, back));
        check(again, "5 -> 6 -> 5");
        EXPECT_EQ(ReadFile(back), ReadFile(five));
    }
    // A parameter name the table does not hold is skipped, the others are read.
    std::string text = ReadFile(five);
    const std::string chest = "Param: \"ChestReduction\",";
    ASSERT_NE(text.find(chest), std::string::npos);
    qoxtest::WriteFile(five, text.replace(text.find(chest), chest.size(), "Param: \"NoSuchReduction\","));
    KQoxScene renamed(manager);
    ASSERT_TRUE(Import(manager, renamed, five));
    KQoxFilterSet* got = renamed.GetCharacter(0)->GetFilterSet();
    EXPECT_EQ(got->GetParameterValue(9), KQoxFilterSet::GetParameterDefaultValue(9)); // ChestReduction
    EXPECT_EQ(got->GetParameterValue(54), -DBL_MAX);
}

// Automatic tangents are stored as slopes in version 5: the curve read back
// passes through the same values between its keys as the one written.
TEST(NativeVersion5, AutomaticTangentsKeepTheCurveShape)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* node = manager.CreateKQoxNode("Mover");
    scene.GetRootNode()->AddChild(node);
    KQoxTakeNode* take = node->CreateTakeNode("Walk");
    ASSERT_NE(take, nullptr);
    KFCurve* curve = take->GetTranslationX();
    KQoxTakeInfo info;
    info.Name = "Walk";
    scene.SetTakeInfo(info);
    const float values[] = {0, 5, 2, 8, 8, -3};
    const long long second = 46186158000LL;
    curve->KeyModifyBegin();
    for (int k = 0; k < 6; ++k)
    {
        KTime time(k * second);
        // Flat automatic before automatic with slopes, a user key before an
        // automatic one, and an automatic break.
        unsigned int tangent = k == 4   ? KFCURVE_TANGEANT_AUTO_BREAK
                               : k == 2 ? KFCURVE_TANGEANT_USER
                                        : KFCURVE_TANGEANT_AUTO;
        float slope = k == 0 ? 0.0f : 1.5f * k;
        curve->KeySet(curve->KeyAdd(time), time, values[k], KFCURVE_INTERPOLATION_CUBIC, tangent, slope,
                      k == 4 ? -slope : slope);
    }
    curve->KeyModifyEnd();
    for (int format : {eEXPORT_QOX5_BINARY, eEXPORT_QOX5_ASCII})
    {
        const std::string name = dir.File("curve.qox");
        ASSERT_TRUE(Export(manager, scene, name, format));
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, name));
        KQoxNode* mover = read.GetRootNode()->GetChild(0);
        ASSERT_EQ(mover->GetTakeNodeCount(), 2);
        KFCurve* got = mover->GetTakeNode(1)->GetTranslationX();
        ASSERT_EQ(got->KeyGetCount(), 6);
        for (int step = 0; step <= 50; ++step)
        {
            KTime time(step * second / 10);
            EXPECT_NEAR(got->Evaluate(time), curve->Evaluate(time), 1e-4) << format << " " << step;
        }
    }
}

// A refused write leaves the scene's shape names as they were, and an
// encrypted version-5 request writes the plain binary form.
TEST(NativeVersion5, RefusedWriteRevertsShapeNames)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    KQoxMesh* mesh = SpineMesh(scene);
    KQoxWriterQox writer(manager, KQox::eENCRYPTED);
    const std::string name = dir.File("refused.qox");
    ASSERT_TRUE(writer.FileCreate(name.c_str()));
    KStreamOptions other; // not the native file's options
    EXPECT_FALSE(writer.Write(scene, &other));
    EXPECT_EQ(writer.GetLastErrorID(), KQoxWriter::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_STREQ(mesh->GetShapeName(0), "Smile");
    KQoxNode* node = mesh->GetNode();
    for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        EXPECT_NE(mesh->GetShapeChannel(node->GetTakeNode(t), 0), nullptr) << t;
    ASSERT_TRUE(writer.Write(scene, nullptr));
    ASSERT_TRUE(writer.FileClose());
    KQoxReaderQox reader(manager);
    ASSERT_TRUE(reader.FileOpen(name.c_str()));
    EXPECT_EQ(reader.GetFileForm(), KQox::eBINARY);
    EXPECT_EQ(reader.GetFileVersion(), 5800);
}

// A version-5 take file carries shape channels under their version-5 names
// too, and reading it gives the geometry's own channels their keys.
TEST(NativeVersion5, TakeFilesUseVersion5ShapeNames)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    KeyShapes(scene);
    const std::string before = ListScene(manager, scene);
    const std::string name = dir.File("scene.qox"), take = dir.File("run.tak");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX5_ASCII));
    KQoxWriterQox writer(manager, KQox::eASCII);
    ASSERT_TRUE(writer.WriteTakeFile(take.c_str(), scene, "Run"));
    EXPECT_EQ(ListScene(manager, scene), before); // names put back
    const std::string text = ReadFile(take);
    EXPECT_NE(text.find("Channel: \"Smile (Shape)\""), std::string::npos);
    EXPECT_EQ(text.find("Channel: \"Smile\""), std::string::npos);

    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    importer.SetTakeSelected(1, false); // without Run
    KQoxScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    KQoxReaderQox reader(manager);
    ASSERT_TRUE(reader.ReadTakeFile(take.c_str(), read)) << reader.GetLastErrorString();
    read.SetTakeInfo(*scene.GetTakeInfo(KString("Run")));
    fileiotest::MergeTimeWarps(manager, scene); // as the reader does
    KQoxMesh* mesh = SpineMesh(read);
    KQoxNode* node = mesh->GetNode();
    ASSERT_EQ(node->GetTakeNodeCount(), 3);
    KFCurve* curve = mesh->GetShapeChannel(node->GetTakeNode(2), 0);
    ASSERT_NE(curve, nullptr);
    ASSERT_EQ(curve->KeyGetCount(), 2);
    EXPECT_EQ(curve->KeyGetValue(1), 20.0f);
    EXPECT_EQ(ListScene(manager, read, 15), ListScene(manager, scene, 15));
}
