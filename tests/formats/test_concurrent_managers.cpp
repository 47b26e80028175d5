// Eight managers, each used by a thread of its own, write and read native
// binary and ASCII, OBJ, DXF and 3DS files at the same time (the native
// reads also split their sections on threads of their own). Every file
// written and every scene read is the one the same write or read gives on
// one thread alone: nothing a read or write changes is shared between
// managers.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox_private.h"
#include "fileio_test_util.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

const long long kSecond = 46186158000LL;

struct Format
{
    int mId;
    const char* mExtension;
    bool mNative;
};

const Format kFormats[] = {{eEXPORT_QOX_BINARY, ".qox", true},
                           {eEXPORT_QOX_ASCII, ".qox", true},
                           {eEXPORT_OBJ, ".obj", false},
                           {eEXPORT_DXF, ".dxf", false},
                           {eEXPORT_3DS, ".3ds", false}};
const int kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);

// Keys of a curve joined by straight lines.
void Linear(KFCurve* curve, std::initializer_list<std::pair<long long, float>> keys)
{
    curve->KeyModifyBegin();
    for (const auto& k : keys)
        curve->KeySet(curve->KeyAdd(KTime(k.first)), KTime(k.first), k.second, KFCURVE_INTERPOLATION_LINEAR);
    curve->KeyModifyEnd();
}

// A grid of n x n points in quads, with one material, lifted by height.
KQoxMesh* Grid(KQoxSdkManager& manager, int n, double height, const char* material)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            mesh->GetControlPoints()[y * n + x] = KQoxVector4(x * 0.5, y * 0.25, height + 0.125 * ((x * y) % 7));
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x)
        {
            mesh->BeginPolygon(0, -1, -1);
            for (int corner : {y * n + x, y * n + x + 1, (y + 1) * n + x + 1, (y + 1) * n + x})
                mesh->AddPolygon(corner, -1);
            mesh->EndPolygon();
        }
    KQoxMaterial* m = manager.CreateKQoxMaterial(material);
    m->SetDiffuse(KQoxColor(0.25, 0.5, 0.75));
    mesh->AM(m, 0);
    return mesh;
}

// The scene a format carries: for the native file, every kind of object
// with its takes plus a node playing through a time warp; for the others,
// meshes.
void Build(KQoxSdkManager& manager, KQoxScene& scene, const Format& format)
{
    if (format.mNative)
    {
        fileiotest::BuildScene(manager, scene, "");
        fileiotest::AddEveryKind(manager, scene, true);
        KQoxNode* ball = manager.CreateKQoxNode("Ball");
        scene.GetRootNode()->AddChild(ball);
        KQoxTakeNode* take = ball->CreateTakeNode("Warped");
        Linear(take->GetTranslationX(), {{0, 0.0f}, {kSecond, 10.0f}});
        KFCurveNode* warp = KFCurveNodeCreate("Warp");
        KFCurve* timing = KFCurveCreate();
        Linear(timing, {{0, 0.0f}, {kSecond, 2.0f}});
        warp->FCurveSet(timing);
        take->GetKFCurveNode()->FindRecursive("T")->TimeWarpSet(warp);
    }
    for (int i = 0; i < 12; ++i)
    {
        const std::string name = "Grid" + std::to_string(i);
        KQoxNode* node = manager.CreateKQoxNode(name.c_str());
        node->SetNodeAttribute(Grid(manager, 12 + i, i, ("Paint" + std::to_string(i)).c_str()));
        scene.GetRootNode()->AddChild(node);
    }
}

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const Format& format)
{
    KQoxExporter exporter(manager);
    if (!exporter.Initialize(name.c_str()) || !exporter.SetFileFormat(format.mId))
        return false;
    if (format.mNative)
        return exporter.Export(scene);
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    return options && exporter.Export(scene, options.get());
}

// The listing of the scene read from name; empty when the read fails.
std::string ImportListing(const std::string& name, const Format& format)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    if (!importer.Initialize(name.c_str()))
        return "";
    bool read = false;
    if (format.mNative)
        read = importer.Import(scene);
    else
    {
        std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
        read = options && importer.Import(scene, options.get());
    }
    return read ? fileiotest::ListScene(*manager, scene) : "";
}

// Writes the format's scene from a manager of its own into name; the file's
// bytes, empty when the write fails.
std::string Write(const std::string& name, const Format& format)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    Build(*manager, scene, format);
    return Export(*manager, scene, name, format) ? ReadFile(name) : "";
}

// The file of format f in the folder folder of dir: one name in every
// folder, since writers and readers name what they make after the file.
std::string FileIn(const TempDir& dir, const std::string& folder, int f)
{
    std::filesystem::create_directories(dir.File(folder));
    return dir.File(folder + "/scene" + std::to_string(f) + kFormats[f].mExtension);
}

} // namespace

TEST(ConcurrentManagers, EightThreadsWriteAndReadEveryFormatAsOneThreadAlone)
{
    KQoxRegisterGeometryFormats();
    // Native sections of this many records are read side by side.
    KQoxRead6::sSideBySideRecords = 32;
    TempDir dir;
    std::string files[kFormatCount], listings[kFormatCount];
    for (int f = 0; f < kFormatCount; ++f)
    {
        SCOPED_TRACE(f);
        const std::string name = FileIn(dir, "alone", f);
        files[f] = Write(name, kFormats[f]);
        ASSERT_FALSE(files[f].empty());
        listings[f] = ImportListing(name, kFormats[f]);
        ASSERT_FALSE(listings[f].empty());
        ASSERT_NE(listings[f].find("Grid11"), std::string::npos);
    }
    // Each thread goes through the formats from a place of its own, so that
    // every format is written and read beside every other.
    const int kThreads = 8, kRounds = 2;
    std::atomic<int> differentWrites{0}, differentReads{0};
    auto run = [&](int t) {
        for (int round = 0; round < kRounds; ++round)
            for (int i = 0; i < kFormatCount; ++i)
            {
                const int f = (t + i) % kFormatCount;
                const std::string name = FileIn(dir, "t" + std::to_string(t), f);
                if (Write(name, kFormats[f]) != files[f])
                    ++differentWrites;
                if (ImportListing(name, kFormats[f]) != listings[f])
                    ++differentReads;
            }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(run, t);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(differentWrites.load(), 0);
    EXPECT_EQ(differentReads.load(), 0);
}
