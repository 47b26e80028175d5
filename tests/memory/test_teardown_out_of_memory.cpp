// Imports and the teardown after them with allocations failing at every
// point in turn (memory_test_util.h): an import may fail with "Out of
// memory", making a manager or a scene may throw std::bad_alloc to its
// caller, but freeing an importer, a scene or a manager never ends the
// process, and no run reports anything but success or lack of memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/kthreadlimit.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "memory_test_util.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const char kExample[] = QOX_EXAMPLES "/scene/example.qox";

// How the import's objects go.
enum class Teardown
{
    eSceneFirst, // the importer, the scene (recursively), then the manager
    eManagerOnly // the importer, then the manager with all it holds
};

// The importer's error as the outcome, its text in text.
int ImportError(const KQoxImporter& importer, std::string& text)
{
    const char* error = importer.GetLastErrorString();
    text.assign(error, std::min<size_t>(std::strlen(error), 500));
    return text == "Out of memory" ? qoxtest::kWorkOutOfMemory : qoxtest::kWorkFailed;
}

// The file imported into a new scene: the outcome (memory_test_util.h).
// Making the manager, the scene, the importer and the options throws
// std::bad_alloc to the caller; the import itself reports its failure.
int Import(const std::string& path, std::unique_ptr<KQoxSdkManager>& manager, KQoxScene*& scene,
           std::unique_ptr<KQoxImporter>& importer, std::unique_ptr<KStreamOptions>& options, std::string& text)
{
    try
    {
        manager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        scene = manager->CreateKQoxScene();
        importer.reset(new KQoxImporter(*manager));
        if (!importer->Initialize(path.c_str()))
            return ImportError(*importer, text);
        options.reset(importer->GetImportOptions());
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    if (!options || !importer->Import(*scene, options.get()))
        return ImportError(*importer, text);
    return qoxtest::kWorkDone;
}

// A manager, a scene and an importer made, the file imported, then all
// destroyed; the outcome of the import. An exception that escapes is told by
// the stage named in text.
int ImportAndTearDown(const std::string& path, Teardown teardown, std::string& text)
{
    std::unique_ptr<KQoxSdkManager> manager;
    KQoxScene* scene = nullptr;
    std::unique_ptr<KQoxImporter> importer;
    std::unique_ptr<KStreamOptions> options;
    text = "importing";
    const int outcome = Import(path, manager, scene, importer, options, text);
    // Kept aside, without allocating, while the stages are named.
    char error[512] = "";
    if (outcome != qoxtest::kWorkDone)
        std::snprintf(error, sizeof error, "%s", text.c_str());
    text = "destroying the importer";
    options.reset();
    importer.reset();
    text = "destroying the scene";
    if (teardown == Teardown::eSceneFirst && manager && scene)
        manager->DestroyKQoxScene(scene, true);
    text = "destroying the manager";
    manager.reset();
    text = error;
    return outcome;
}

// The example scene written in the format, for the reader of that format.
bool WriteExampleAs(const std::string& path, int format)
{
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxImporter importer(manager);
    KQoxExporter exporter(manager);
    EXPECT_TRUE(importer.Initialize(kExample) && importer.Import(scene)) << importer.GetLastErrorString();
    bool written = exporter.Initialize(path.c_str()) && exporter.SetFileFormat(format);
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    written = written && exporter.Export(scene, options.get());
    EXPECT_TRUE(written) << path << ": " << exporter.GetLastErrorString();
    return written;
}

struct Case
{
    const char* mName;
    std::string mPath;
    Teardown mTeardown;
};

void SweepEveryCase(AllocationFailure mode)
{
    // One thread, so that every run allocates the same in the same order.
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir dir;
    const std::string obj = dir.File("example.obj"), tds = dir.File("example.3ds"), dxf = dir.File("example.dxf");
    ASSERT_TRUE(WriteExampleAs(obj, eEXPORT_OBJ));
    ASSERT_TRUE(WriteExampleAs(tds, eEXPORT_3DS));
    ASSERT_TRUE(WriteExampleAs(dxf, eEXPORT_DXF));
    for (const Case& c : {Case{"native, scene destroyed first", kExample, Teardown::eSceneFirst},
                          Case{"native, manager destroys all", kExample, Teardown::eManagerOnly},
                          Case{"OBJ", obj, Teardown::eManagerOnly}, Case{"3DS", tds, Teardown::eManagerOnly},
                          Case{"DXF", dxf, Teardown::eSceneFirst}})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&c](std::string& text) { return ImportAndTearDown(c.mPath, c.mTeardown, text); }, mode);
        qoxtest::ExpectEveryRunEndsWell(outcome, c.mName);
        EXPECT_GT(outcome.mAllocations, 100) << c.mName;
    }
}

} // namespace

TEST(TeardownOutOfMemory, OnlyTheNthAllocationFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryCase(AllocationFailure::eOnlyAt);
}

TEST(TeardownOutOfMemory, EveryAllocationFromTheNthOnFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryCase(AllocationFailure::eFromOn);
}
