// The check value of binary and encrypted files, verified after the scene is
// read from the bytes that passed: any damaged byte still refuses the file,
// and a refused file adds nothing to the scene or the manager.

#include <gtest/gtest.h>

#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// A grid mesh whose arrays run to hundreds of kilobytes, exported in the form.
std::string GridFile(const std::string& name, int format, const char* password)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* node = manager.CreateKQoxNode("Grid");
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    node->SetNodeAttribute(mesh);
    const int side = 100;
    mesh->InitControlPoints((side + 1) * (side + 1));
    for (int i = 0; i < (side + 1) * (side + 1); ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i % (side + 1) * 0.5, i / (side + 1) * 0.25, i * 1e-3, 1.0);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
        {
            const int c[4] = {y * (side + 1) + x, y * (side + 1) + x + 1, (y + 1) * (side + 1) + x + 1,
                              (y + 1) * (side + 1) + x};
            mesh->BeginPolygon();
            mesh->AddPolygonVertices(c, nullptr, 4);
            mesh->EndPolygon();
        }
    scene.GetRootNode()->AddChild(node);
    KQoxExporter exporter(manager);
    exporter.SetPassword(password);
    EXPECT_TRUE(exporter.Initialize(name.c_str()) && exporter.SetFileFormat(format) && exporter.Export(scene));
    return ReadFile(name);
}

} // namespace

TEST(NativeCheckValue, EveryDamagedByteRefusesTheFile)
{
    TempDir dir;
    const struct
    {
        int mFormat;
        const char* mPassword;
    } forms[] = {{eEXPORT_QOX_BINARY, ""}, {eEXPORT_QOX_ENCRYPTED, "pw"}, {eEXPORT_QOX5_BINARY, ""}};
    for (const auto& form : forms)
    {
        SCOPED_TRACE(form.mFormat);
        const std::string whole = GridFile(dir.File("grid.qox"), form.mFormat, form.mPassword);
        ASSERT_GT(whole.size(), 500000u);
        const std::string name = dir.File("damaged.qox");
        // The intact file reads back whole.
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            importer.SetPassword(form.mPassword);
            ASSERT_TRUE(importer.Initialize(dir.File("grid.qox").c_str()) && importer.Import(scene));
            ASSERT_EQ(scene.GetRootNode()->GetChildCount(), 1);
            const KQoxMesh* mesh = static_cast<const KQoxMesh*>(scene.GetRootNode()->GetChild(0)->GetNodeAttribute());
            EXPECT_EQ(mesh->GetPolygonCount(), 10000);
            EXPECT_EQ(mesh->GetControlPoints()[10200],
                      KQoxVector4(10200 % 101 * 0.5, 10200 / 101 * 0.25, 10200 * 1e-3, 1.0));
        }
        // Bytes spread over the whole file, the header and the check bytes
        // among them; most lie inside the bulk arrays, where the structure
        // still reads and only the check value tells.
        const size_t step = whole.size() / 97;
        for (size_t at = 40; at < whole.size(); at += step)
            for (size_t spot : {at, whole.size() - 1 - (at % 4)})
            {
                std::string damaged = whole;
                damaged[spot] = static_cast<char>(damaged[spot] ^ 0x04);
                ASSERT_TRUE(WriteFile(name, damaged));
                KQoxSdkManager manager;
                KQoxScene scene(manager);
                const std::string before = fileiotest::ManagerCounts(manager);
                KQoxImporter importer(manager);
                importer.SetPassword(form.mPassword);
                const bool ok = importer.Initialize(name.c_str()) && importer.Import(scene);
                EXPECT_FALSE(ok) << spot;
                EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0) << spot;
                const std::string error = importer.GetLastErrorString();
                EXPECT_TRUE(error == "File is corrupted" || error == "Wrong password") << spot << ": " << error;
                EXPECT_EQ(fileiotest::ManagerCounts(manager), before) << spot;
            }
    }
}
