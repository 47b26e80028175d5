// Version-5 native files: the all-kinds scene through binary and ASCII,
// conversion 5 -> 6 -> 5, shape channels under their version-5 names, skin
// links and file versions.

#include <gtest/gtest.h>

#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/writers/kqoxwriterqox.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
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
    int mDigits; // ASCII keeps 15 significant digits
} const kForms[] = {{eEXPORT_QOX5_BINARY, eIMPORT_QOX_BINARY, 17}, {eEXPORT_QOX5_ASCII, eIMPORT_QOX_ASCII, 15}};

} // namespace

TEST(NativeVersion5, EverySceneKindInBinaryAndAscii)
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
        std::string name = dir.File("five" + std::to_string(form.mExport) + ".qox");
        ASSERT_TRUE(Export(manager, original, name, form.mExport));
        // The write leaves the scene as it was (shape names reverted).
        EXPECT_EQ(ListScene(manager, original, form.mDigits), before);

        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(name.c_str())) << importer.GetLastErrorString();
        EXPECT_EQ(importer.GetFileFormat(), form.mImport);
        int major = 0, minor = 0, revision = 0;
        ASSERT_TRUE(importer.GetFileVersion(major, minor, revision));
        EXPECT_EQ(major * 100 + minor * 10 + revision, 580);
        ASSERT_EQ(importer.GetTakeCount(), 2);
        KQoxScene read(manager);
        ASSERT_TRUE(importer.Import(read)) << importer.GetLastErrorString();
        EXPECT_EQ(ListScene(manager, read, form.mDigits), before);
    }
}

TEST(NativeVersion5, FileVersionOfEachWriter)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    const struct
    {
        int mFormat;
        int mVersion;
    } rows[] = {
        {eEXPORT_QOX_BINARY, 6000}, {eEXPORT_QOX_ASCII, 6000}, {eEXPORT_QOX5_BINARY, 5800}, {eEXPORT_QOX5_ASCII, 5800}};
    for (const auto& row : rows)
    {
        std::string name = dir.File("v" + std::to_string(row.mFormat) + ".qox");
        ASSERT_TRUE(Export(manager, scene, name, row.mFormat));
        KQoxReaderQox reader(manager);
        ASSERT_TRUE(reader.FileOpen(name.c_str()));
        EXPECT_EQ(reader.GetFileVersion(), row.mVersion) << row.mFormat;
    }
}
