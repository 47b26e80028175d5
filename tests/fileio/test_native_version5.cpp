// Version-5 native files: the all-kinds scene through binary and ASCII and
// through version 6 and back, shape channels under their version-5 names,
// clusters as links, character settings, automatic tangents.

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <string>
#include <vector>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxfilterset.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
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

namespace {

// The every-kind scene for version 5, with a node whose translation is
// keyed on the base and on an upper layer.
void BuildLayeredScene(KQoxSdkManager& manager, KQoxScene& scene)
{
    BuildScene(manager, scene, "");
    fileiotest::AddEveryKind(manager, scene, false);
    KQoxNode* ball = manager.CreateKQoxNode("Ball");
    scene.GetRootNode()->AddChild(ball);
    KQoxTakeNode* take = ball->CreateTakeNode("Walk");
    ASSERT_NE(take, nullptr);
    KFCurveNode* t = take->GetKFCurveNode()->FindRecursive("T");
    ASSERT_NE(t, nullptr);
    KFCurveNode* layer = t->LayerCreate(1);
    ASSERT_NE(layer, nullptr);
    for (KFCurve* curve : {t->Get(0)->FCurveGet(), layer->Get(0)->FCurveGet()})
    {
        ASSERT_NE(curve, nullptr);
        const float scale = curve == t->Get(0)->FCurveGet() ? 1.0f : 100.0f;
        curve->KeyModifyBegin();
        for (int k = 0; k < 3; ++k)
        {
            KTime time(k * 46186158000LL);
            curve->KeySet(curve->KeyAdd(time), time, scale * static_cast<float>(k + 1), KFCURVE_INTERPOLATION_LINEAR,
                          0u, 0.0f, 0.0f);
        }
        curve->KeyModifyEnd();
    }
}

// Where each record of that name starts in a binary file (kind 'F').
std::vector<size_t> BinaryRecords(const std::string& bytes, const std::string& name)
{
    const std::string head = std::string("F") + static_cast<char>(name.size()) + '\0' + name;
    std::vector<size_t> out;
    for (size_t at = bytes.find(head); at != std::string::npos; at = bytes.find(head, at + 1))
        out.push_back(at);
    return out;
}

// Removes the record at at (with its block) from a binary file; the blocks
// around it are made that much shorter, and the check value made anew.
void RemoveBinaryRecord(std::string& bytes, size_t at)
{
    using fileiotest::LE;
    const size_t end = fileiotest::RecordEnd(bytes, at);
    const size_t removed = end - at;
    std::function<void(size_t, size_t)> walk = [&](size_t from, size_t stop) {
        for (size_t p = from; p < stop && bytes[p] != 0;)
        {
            const size_t length = static_cast<size_t>(LE(bytes, p + 1, 2));
            const size_t sizes = p + 3 + length + 4;
            const unsigned long long block = LE(bytes, sizes + 8, 8);
            const size_t blockStart = p + fileiotest::kHead + length + static_cast<size_t>(LE(bytes, sizes, 8));
            const size_t next = blockStart + static_cast<size_t>(block);
            if (block > 0 && blockStart <= at && end <= next)
            {
                for (int i = 0; i < 8; ++i)
                    bytes[sizes + 8 + static_cast<size_t>(i)] = static_cast<char>((block - removed) >> (8 * i));
                walk(blockStart, next);
            }
            p = next;
        }
    };
    walk(32, bytes.size() - 4);
    bytes.erase(at, removed);
    fileiotest::Reseal(bytes);
}

// Gives the 32-bit value of the binary record at at (its first, an 'I') a
// new value, and makes the check value anew.
void SetBinaryInt(std::string& bytes, size_t at, int value)
{
    const size_t length = static_cast<size_t>(fileiotest::LE(bytes, at + 1, 2));
    const size_t valueAt = at + fileiotest::kHead + length;
    ASSERT_EQ(bytes[valueAt], 'I');
    for (int i = 0; i < 4; ++i)
        bytes[valueAt + 1 + static_cast<size_t>(i)] = static_cast<char>(static_cast<unsigned int>(value) >> (8 * i));
    fileiotest::Reseal(bytes);
}

// The line of an ASCII text holding what, from its start to its line end.
std::pair<size_t, size_t> LineOf(const std::string& text, size_t at)
{
    const size_t start = text.rfind('\n', at) + 1;
    return {start, text.find('\n', at) + 1};
}

// The count of the "KeyCount" line at at.
int CountAt(const std::string& text, size_t at)
{
    return std::stoi(text.substr(at + 10));
}

} // namespace

// Version-5 curves are stored key by key: a "KeyCount" that does not match
// the keys of its "Key" field is damage, in ASCII and binary, for every
// curve with keys (time warps, node channels, an upper layer's): the count
// larger or smaller, negative, the "Key" field removed (the curve does not
// take another's keys), the count removed. Each import fails with "File is
// corrupted" and leaves the scene it was to fill as it was. "Default" and
// the take's name may be missing; without "KeyVer" the keys are read by the
// oldest layout when they fill the field as it reads them, else refused.
TEST(NativeVersion5, KeyCountsThatDoNotMatchTheirKeysFailTheRead)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildLayeredScene(manager, scene);
    const std::string name = dir.File("edited.qox");
    // Whether the file reads into a scene holding a node of its own; when
    // not, the error is the reader's and the scene and the manager are as
    // they were.
    auto imports = [&](const std::string& bytes) {
        EXPECT_TRUE(qoxtest::WriteFile(name, bytes));
        KQoxScene target(manager);
        target.GetRootNode()->AddChild(manager.CreateKQoxNode("Keeper"));
        const std::string before = ListScene(manager, target);
        const std::string counts = fileiotest::ManagerCounts(manager);
        KQoxImporter importer(manager);
        const bool read = importer.Initialize(name.c_str()) && importer.Import(target);
        if (!read)
        {
            EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
            EXPECT_TRUE(ListScene(manager, target) == before);
            EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
        }
        return read;
    };
    for (int format : {eEXPORT_QOX5_ASCII, eEXPORT_QOX5_BINARY})
    {
        SCOPED_TRACE(format);
        const std::string whole = dir.File("whole.qox");
        ASSERT_TRUE(Export(manager, scene, whole, format));
        const std::string file = ReadFile(whole);
        ASSERT_TRUE(imports(file));
        const bool ascii = format == eEXPORT_QOX5_ASCII;
        std::vector<size_t> counts, keys, versions, defaults;
        if (ascii)
        {
            for (size_t at = file.find("KeyCount: "); at != std::string::npos; at = file.find("KeyCount: ", at + 1))
                counts.push_back(at);
            for (size_t at = file.find(" Key: "); at != std::string::npos; at = file.find(" Key: ", at + 1))
                keys.push_back(at + 1);
            for (size_t at = file.find("KeyVer: "); at != std::string::npos; at = file.find("KeyVer: ", at + 1))
                versions.push_back(at);
            for (size_t at : counts)
                defaults.push_back(file.rfind("Default: ", at));
        }
        else
        {
            counts = BinaryRecords(file, "KeyCount");
            keys = BinaryRecords(file, "Key");
            versions = BinaryRecords(file, "KeyVer");
            for (size_t at : counts)
            {
                const std::vector<size_t> all = BinaryRecords(file.substr(0, at), "Default");
                defaults.push_back(all.back());
            }
        }
        // Every keyed curve: the time warps', the nodes' and the layer's.
        ASSERT_GE(counts.size(), 17u);
        ASSERT_EQ(keys.size(), counts.size());
        ASSERT_EQ(versions.size(), counts.size());
        for (size_t c = 0; c < counts.size(); ++c)
        {
            SCOPED_TRACE("curve " + std::to_string(c));
            const int count = ascii ? CountAt(file, counts[c])
                                    : static_cast<int>(fileiotest::LE(file, counts[c] + fileiotest::kHead + 9, 4));
            ASSERT_GT(count, 1);
            auto counted = [&](int value) {
                std::string edited = file;
                if (ascii)
                {
                    const auto line = LineOf(file, counts[c]);
                    edited.replace(counts[c] + 10, line.second - 1 - (counts[c] + 10), std::to_string(value));
                }
                else
                    SetBinaryInt(edited, counts[c], value);
                return edited;
            };
            auto without = [&](size_t at) {
                std::string edited = file;
                if (ascii)
                {
                    const auto line = LineOf(file, at);
                    edited.erase(line.first, line.second - line.first);
                }
                else
                    RemoveBinaryRecord(edited, at);
                return edited;
            };
            EXPECT_FALSE(imports(counted(count + 3))) << "larger";
            EXPECT_FALSE(imports(counted(count + 1))) << "larger by one";
            EXPECT_FALSE(imports(counted(count - 1))) << "smaller";
            EXPECT_FALSE(imports(counted(-1))) << "negative";
            EXPECT_FALSE(imports(without(keys[c]))) << "no Key";
            EXPECT_FALSE(imports(without(counts[c]))) << "no KeyCount";
            // Read by the oldest layout, or refused when the keys do not
            // fill the field as it reads them.
            imports(without(versions[c]));
            EXPECT_TRUE(imports(without(defaults[c]))) << "no Default";
        }
        // The take's name in its animation section.
        std::string nameless = file;
        if (ascii)
        {
            const size_t at = file.find("    Take: \"Walk\"\n");
            ASSERT_NE(at, std::string::npos);
            nameless.erase(at, LineOf(file, at).second - at);
        }
        else
        {
            size_t found = std::string::npos;
            for (size_t at : BinaryRecords(file, "Take"))
                if (fileiotest::LE(file, at + 3 + 4 + 4 + 8, 8) == 0)
                    found = at;
            ASSERT_NE(found, std::string::npos);
            RemoveBinaryRecord(nameless, found);
        }
        EXPECT_TRUE(imports(nameless)) << "no take name";
    }
}
