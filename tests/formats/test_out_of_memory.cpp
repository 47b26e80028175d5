// Reads and writes that run out of memory: a file too large for the memory
// at hand fails its read with "Out of memory" (never as damage: the file is
// sound), a write fails as on a full disk, and the process goes on. Each
// runs in a new process of this binary under an address-space limit stepped
// up from what that process holds, so that no heap room of this one is
// inherited.

#include <gtest/gtest.h>

#include <dirent.h>

#include <memory>
#include <new>
#include <string>

#include "common/qox_test_common.h"
#include "common/qox_test_limits.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/obj/kqoxreaderobj.h"
#include "formats/obj/kqoxwriterobj.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;

namespace {

// 60 grids of 60 x 60 points with UVs, as separate meshes.
void BuildGrids(KQoxSdkManager& manager, KQoxScene& scene)
{
    const int side = 60;
    for (int k = 0; k < 60; ++k)
    {
        KQoxNode* node = manager.CreateKQoxNode(("Grid" + std::to_string(k)).c_str());
        KQoxMesh* mesh = manager.CreateKQoxMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(side * side);
        for (int i = 0; i < side * side; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i % side + 0.25 * k, i / side, k * 0.5, 1);
        mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x)
            {
                mesh->BeginPolygon();
                for (int c : {y * side + x, y * side + x + 1, (y + 1) * side + x + 1, (y + 1) * side + x})
                    mesh->AddPolygon(c, c);
                mesh->EndPolygon();
            }
        KQoxLayerElementUV* uvs = mesh->GetLayer(0)->GetUVs();
        for (int i = 0; i < side * side; ++i)
            uvs->mDirectArray.Add(KQoxVector2(double(i % side) / side, double(i / side) / side));
        scene.GetRootNode()->AddChild(node);
    }
}

// 8 NURBS surfaces of 200 x 200 control points.
void BuildSurfaces(KQoxSdkManager& manager, KQoxScene& scene)
{
    const int side = 200;
    for (int k = 0; k < 8; ++k)
    {
        KQoxNode* node = manager.CreateKQoxNode(("Surface" + std::to_string(k)).c_str());
        KQoxNurb* nurb = manager.CreateKQoxNurb();
        node->SetNodeAttribute(nurb);
        nurb->SetOrder(4, 4);
        nurb->InitControlPoints(side, KQoxNurb::eOPEN, side, KQoxNurb::eOPEN);
        for (int i = 0; i < side * side; ++i)
            nurb->GetControlPoints()[i] = KQoxVector4(i % side, i / side, k, 1);
        for (int i = 0; i < nurb->GetUKnotCount(); ++i)
            nurb->GetUKnotVector()[i] = i;
        for (int i = 0; i < nurb->GetVKnotCount(); ++i)
            nurb->GetVKnotVector()[i] = i;
        scene.GetRootNode()->AddChild(node);
    }
}

template <class Writer>
bool WriteWith(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path)
{
    Writer writer(manager);
    std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
    return writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
}

bool ExportNative(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path, int format)
{
    KQoxExporter exporter(manager);
    return exporter.Initialize(path.c_str()) && exporter.SetFileFormat(format) && exporter.Export(scene);
}

// A manager, its scene and a reader (or importer) of it; false when memory
// ran out already there (the manager's factory throws then), before any read.
template <class Reader>
bool Setup(std::unique_ptr<KQoxSdkManager>& manager, KQoxScene*& scene, std::unique_ptr<Reader>& reader)
{
    try
    {
        manager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        scene = manager ? manager->CreateKQoxScene() : nullptr;
        if (scene)
            reader.reset(new Reader(*manager));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return reader != nullptr;
}

// A read, bounded from the start.
template <class Reader>
bool ReadUnderLimit(const char* path, std::string& error)
{
    qoxtest::Bound();
    std::unique_ptr<KQoxSdkManager> manager;
    std::unique_ptr<Reader> reader;
    KQoxScene* scene = nullptr;
    if (!Setup(manager, scene, reader))
    {
        error = "Out of memory";
        return false;
    }
    const bool opened = reader->FileOpen(path);
    std::unique_ptr<KStreamOptions> options(reader->GetReadOptions(false));
    const bool read = opened && options && reader->Read(*scene, options.get());
    error = reader->GetLastErrorString();
    return read;
}

bool ImportUnderLimit(const char* path, std::string& error)
{
    qoxtest::Bound();
    std::unique_ptr<KQoxSdkManager> manager;
    std::unique_ptr<KQoxImporter> importer;
    KQoxScene* scene = nullptr;
    if (!Setup(manager, scene, importer))
    {
        error = "Out of memory";
        return false;
    }
    const bool read = importer->Initialize(path) && importer->Import(*scene);
    error = importer->GetLastErrorString();
    return read;
}

// A write, bounded once its scene is made.
template <class Writer>
bool WriteUnderLimit(const char* path, std::string& error)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    BuildGrids(*manager, scene);
    Writer writer(*manager);
    std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
    // The scene is made: from here on memory is bounded.
    qoxtest::Bound();
    const bool written = writer.FileCreate(path) && writer.Write(scene, options.get()) && writer.FileClose();
    error = writer.GetLastErrorString();
    return written;
}

bool ExportUnderLimit(const char* path, int format, std::string& error)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    BuildGrids(*manager, scene);
    KQoxExporter exporter(*manager);
    qoxtest::Bound();
    const bool written = exporter.Initialize(path) && exporter.SetFileFormat(format) && exporter.Export(scene);
    error = exporter.GetLastErrorString();
    return written;
}

bool ExportBinary(const char* path, std::string& error)
{
    return ExportUnderLimit(path, eEXPORT_QOX_BINARY, error);
}
bool ExportAscii(const char* path, std::string& error)
{
    return ExportUnderLimit(path, eEXPORT_QOX_ASCII, error);
}

// The reads and writes run under limits.
const bool kLimitedWork = qoxtest::AddLimitedWork({{"obj", qoxtest::LimitedWork(ReadUnderLimit<KQoxReaderObj>)},
                                                   {"3ds", qoxtest::LimitedWork(ReadUnderLimit<KQoxReader3DS>)},
                                                   {"dxf", qoxtest::LimitedWork(ReadUnderLimit<KQoxReaderDxf>)},
                                                   {"qox", qoxtest::LimitedWork(ImportUnderLimit)},
                                                   {"wobj", qoxtest::LimitedWork(WriteUnderLimit<KQoxWriterObj>)},
                                                   {"w3ds", qoxtest::LimitedWork(WriteUnderLimit<KQoxWriter3DS>)},
                                                   {"wdxf", qoxtest::LimitedWork(WriteUnderLimit<KQoxWriterDxf>)},
                                                   {"wqox", qoxtest::LimitedWork(ExportBinary)},
                                                   {"wqoxa", qoxtest::LimitedWork(ExportAscii)}});

// Every child ended normally (checked as they ran); the limits ran from
// too little to enough, so some failed for memory and some were done; none
// failed for anything else but alsoMet.
void ExpectFailsOnlyForMemory(const qoxtest::LimitedOutcomes& outcomes, const char* format,
                              const char* alsoMet = nullptr)
{
    SCOPED_TRACE(std::string(format) + ": " + outcomes.Describe());
    EXPECT_GT(outcomes.mDone, 0) << format;
    EXPECT_GT(outcomes.mFailed.count("failed: Out of memory"), 0u) << format;
    for (const auto& failed : outcomes.mFailed)
        EXPECT_TRUE(failed.first == "failed: Out of memory" || (alsoMet && failed.first == alsoMet))
            << format << ": " << failed.first;
}

} // namespace

TEST(ReadersOutOfMemory, EveryFormatFailsItsReadAndTheProcessGoesOn)
{
    QOX_SKIP_UNDER_SANITIZERS();
    TempDir dir;
    const std::string obj = dir.File("grids.obj"), tds = dir.File("grids.3ds"), dxf = dir.File("grids.dxf"),
                      binary = dir.File("binary.qox"), ascii = dir.File("ascii.qox");
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        BuildGrids(*manager, scene);
        ASSERT_TRUE(WriteWith<KQoxWriterObj>(*manager, scene, obj));
        ASSERT_TRUE(WriteWith<KQoxWriter3DS>(*manager, scene, tds));
        ASSERT_TRUE(WriteWith<KQoxWriterDxf>(*manager, scene, dxf));
        ASSERT_TRUE(ExportNative(*manager, scene, binary, eEXPORT_QOX_BINARY));
        ASSERT_TRUE(ExportNative(*manager, scene, ascii, eEXPORT_QOX_ASCII));
    }

    const std::string surfaces = dir.File("surfaces.qox");
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        BuildSurfaces(*manager, scene);
        ASSERT_TRUE(ExportNative(*manager, scene, surfaces, eEXPORT_QOX_BINARY));
    }

    // From no room at all to plenty.
    const rlim_t megabytes = rlim_t(1) << 20;
    ExpectFailsOnlyForMemory(qoxtest::RunUnderLimits("obj", obj, 8 * megabytes, 24), "OBJ");
    ExpectFailsOnlyForMemory(qoxtest::RunUnderLimits("3ds", tds, 4 * megabytes, 24), "3DS");
    ExpectFailsOnlyForMemory(qoxtest::RunUnderLimits("dxf", dxf, 4 * megabytes, 24), "DXF");
    ExpectFailsOnlyForMemory(qoxtest::RunUnderLimits("qox", binary, 4 * megabytes, 24), "binary");
    ExpectFailsOnlyForMemory(qoxtest::RunUnderLimits("qox", ascii, 4 * megabytes, 24), "ASCII");
    ExpectFailsOnlyForMemory(qoxtest::RunUnderLimits("qox", surfaces, 2 * megabytes, 24), "NURBS");
}

// A write that runs out of memory fails as a full disk does: the file it was
// to replace keeps its old bytes and nothing of the write is left beside it.
TEST(WritersOutOfMemory, EveryFormatFailsItsWriteAndKeepsTheOldFile)
{
    QOX_SKIP_UNDER_SANITIZERS();
    const rlim_t megabytes = rlim_t(1) << 20;
    struct Kind
    {
        const char* mKind;
        const char* mFile;
        rlim_t mStep;
    };
    for (const Kind& kind : {Kind{"wobj", "grids.obj", megabytes / 2}, Kind{"w3ds", "grids.3ds", 2 * megabytes},
                             Kind{"wdxf", "grids.dxf", megabytes / 2}, Kind{"wqox", "binary.qox", megabytes / 2},
                             Kind{"wqoxa", "ascii.qox", megabytes / 2}})
    {
        TempDir dir;
        const std::string path = dir.File(kind.mFile);
        ASSERT_TRUE(qoxtest::WriteFile(path, "old"));
        const qoxtest::LimitedOutcomes outcomes =
            qoxtest::RunUnderLimits(kind.mKind, path, kind.mStep, 12, [&](bool written) {
                // Only the target itself (an OBJ also its library) is there.
                int others = 0;
                if (DIR* listing = opendir(dir.Path().c_str()))
                {
                    while (dirent* entry = readdir(listing))
                    {
                        const std::string name = entry->d_name;
                        if (name != "." && name != ".." && name != kind.mFile && name != "grids.mtl")
                            ++others;
                    }
                    closedir(listing);
                }
                EXPECT_EQ(others, 0) << kind.mKind;
                if (!written)
                {
                    EXPECT_EQ(qoxtest::ReadFile(path), "old") << kind.mKind;
                }
                ASSERT_TRUE(qoxtest::WriteFile(path, "old"));
            });
        // An export whose file cannot even be made says so.
        ExpectFailsOnlyForMemory(outcomes, kind.mKind, "failed: File not created");
    }
}
