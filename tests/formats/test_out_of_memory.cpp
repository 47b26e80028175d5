// Reads and writes that run out of memory: a file too large for the memory
// at hand fails its read with "Out of memory" (or as the damage the format's
// own checks take it for), a write fails as on a full disk, and the process
// goes on. Each runs in a new process of this binary under an address-space
// limit stepped up from what that process holds, so that no heap room of
// this one is inherited.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "common/qox_test_common.h"
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
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QOX_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QOX_TEST_SANITIZED 1
#endif
#endif

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

// The address space this process holds now, in bytes.
rlim_t AddressSpaceNow()
{
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// The room (in KB) a child has above what it holds when bounded.
unsigned long sRoom = 0;

// Limits the address space to what the process holds now and sRoom more.
void Bound()
{
    const rlim_t limit = AddressSpaceNow() + static_cast<rlim_t>(sRoom) * 1024;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

const char kChildVariable[] = "QOX_TEST_LIMITED"; // "kind room-in-KB path"
const int kChildDone = 0;
const int kChildFailed = 10;

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

template <class Reader>
bool ReadWith(const char* path, std::string& error)
{
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

bool Import(const char* path, std::string& error)
{
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

template <class Writer>
bool WriteWith(const char* path, std::string& error)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    BuildGrids(*manager, scene);
    Writer writer(*manager);
    std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
    // The scene is made: from here on memory is bounded.
    Bound();
    const bool written = writer.FileCreate(path) && writer.Write(scene, options.get()) && writer.FileClose();
    error = writer.GetLastErrorString();
    return written;
}

bool Export(const char* path, int format, std::string& error)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    BuildGrids(*manager, scene);
    KQoxExporter exporter(*manager);
    Bound();
    const bool written = exporter.Initialize(path) && exporter.SetFileFormat(format) && exporter.Export(scene);
    error = exporter.GetLastErrorString();
    return written;
}

// In a process started by RunUnderLimits: the read (or write) under its
// limit, told by the exit code (the error's text on stderr), before any test
// runs. A read is bounded from the start, a write once its scene is made.
class LimitedChild : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const char* spec = std::getenv(kChildVariable);
        if (!spec)
            return;
        char kind[8] = {};
        int at = 0;
        if (std::sscanf(spec, "%7s %lu %n", kind, &sRoom, &at) != 2)
            _exit(2);
        const char* path = spec + at;
        const std::string k = kind;
        std::string error;
        if (k[0] != 'w')
            Bound();
        const bool done = k == "obj"    ? ReadWith<KQoxReaderObj>(path, error)
                          : k == "3ds"  ? ReadWith<KQoxReader3DS>(path, error)
                          : k == "dxf"  ? ReadWith<KQoxReaderDxf>(path, error)
                          : k == "qox"  ? Import(path, error)
                          : k == "wobj" ? WriteWith<KQoxWriterObj>(path, error)
                          : k == "w3ds" ? WriteWith<KQoxWriter3DS>(path, error)
                          : k == "wdxf" ? WriteWith<KQoxWriterDxf>(path, error)
                          : k == "wqox" ? Export(path, eEXPORT_QOX_BINARY, error)
                                        : Export(path, eEXPORT_QOX_ASCII, error);
        std::fprintf(stderr, "%s", error.c_str());
        _exit(done ? kChildDone : kChildFailed);
    }
};
::testing::Environment* const kLimitedChild = ::testing::AddGlobalTestEnvironment(new LimitedChild);

// What reads or writes under limits stepped from 0 to steps * step bytes
// above a fresh process's own address space came to: how many were done,
// how many failed with each error text; a process that died is a fault.
// after(done) runs after each.
struct Outcomes
{
    int mDone = 0;
    std::map<std::string, int> mFailed;
};

Outcomes RunUnderLimits(const char* kind, const std::string& path, rlim_t step, int steps,
                        const std::function<void(bool)>& after = [](bool) {})
{
    Outcomes outcomes;
    const std::string test = std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) +
                             "." + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (int s = 0; s <= steps; ++s)
    {
        // This test's own binary, run again with the work to do.
        const std::string spec = std::string(kind) + " " + std::to_string(s * step / 1024) + " " + path;
        const std::string command = std::string(kChildVariable) + "='" + spec + "' /proc/" +
                                    std::to_string(getpid()) + "/exe --gtest_filter=" + test + " 2>&1 >/dev/null";
        std::fflush(nullptr);
        FILE* child = popen(command.c_str(), "r");
        if (!child)
        {
            ADD_FAILURE() << "cannot run " << command;
            break;
        }
        std::string error;
        char buffer[256];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, child)) > 0)
            error.append(buffer, n);
        const int status = pclose(child);
        const bool exited = WIFEXITED(status);
        EXPECT_TRUE(exited && (WEXITSTATUS(status) == kChildDone || WEXITSTATUS(status) == kChildFailed))
            << kind << " limit step " << s << ": status " << status << " " << error;
        if (exited && WEXITSTATUS(status) == kChildDone)
            ++outcomes.mDone;
        else if (exited && WEXITSTATUS(status) == kChildFailed)
            ++outcomes.mFailed["failed: " + error];
        after(exited && WEXITSTATUS(status) == kChildDone);
    }
    return outcomes;
}

// Every child ended normally (checked as they ran); the limits ran from
// too little to enough, so some failed for memory and some were done.
void ExpectFailsOnlyForMemory(const Outcomes& outcomes, const char* format,
                              const char* alsoMet = "failed: File is corrupted")
{
    std::string seen = std::to_string(outcomes.mDone) + " done";
    for (const auto& failed : outcomes.mFailed)
        seen += ", " + std::to_string(failed.second) + " " + failed.first;
    SCOPED_TRACE(std::string(format) + ": " + seen);
    EXPECT_GT(outcomes.mDone, 0) << format;
    EXPECT_GT(outcomes.mFailed.count("failed: Out of memory"), 0u) << format;
    for (const auto& failed : outcomes.mFailed)
        EXPECT_TRUE(failed.first == "failed: Out of memory" || failed.first == alsoMet)
            << format << ": " << failed.first;
}

} // namespace

TEST(ReadersOutOfMemory, EveryFormatFailsItsReadAndTheProcessGoesOn)
{
#ifdef QOX_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's runtime does not run under an address-space limit";
#endif
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

    // From no room at all to plenty.
    const rlim_t megabytes = rlim_t(1) << 20;
    ExpectFailsOnlyForMemory(RunUnderLimits("obj", obj, 8 * megabytes, 24), "OBJ");
    ExpectFailsOnlyForMemory(RunUnderLimits("3ds", tds, 4 * megabytes, 24), "3DS");
    ExpectFailsOnlyForMemory(RunUnderLimits("dxf", dxf, 4 * megabytes, 24), "DXF");
    ExpectFailsOnlyForMemory(RunUnderLimits("qox", binary, 4 * megabytes, 24), "binary");
    ExpectFailsOnlyForMemory(RunUnderLimits("qox", ascii, 4 * megabytes, 24), "ASCII");
}

// A write that runs out of memory fails as a full disk does: the file it was
// to replace keeps its old bytes and nothing of the write is left beside it.
TEST(WritersOutOfMemory, EveryFormatFailsItsWriteAndKeepsTheOldFile)
{
#ifdef QOX_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's runtime does not run under an address-space limit";
#endif
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
        const Outcomes outcomes = RunUnderLimits(kind.mKind, path, kind.mStep, 12, [&](bool written) {
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
