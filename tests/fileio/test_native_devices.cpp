// A native export to a device or a FIFO writes it in place; it never moves a
// file over it. A FIFO's reader receives the whole file, check bytes too.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

bool ExportTo(const std::string& name)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    fileiotest::BuildScene(manager, scene, "");
    KQoxExporter exporter(manager);
    return exporter.Initialize(name.c_str()) && exporter.Export(scene);
}

// Exports scene to path in format (with password); the exporter's error text,
// empty on success.
std::string ExportAs(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path, int format,
                     const char* password)
{
    KQoxExporter exporter(manager);
    exporter.SetPassword(password);
    if (exporter.Initialize(path.c_str()) && exporter.SetFileFormat(format) && exporter.Export(scene))
        return "";
    return std::string("failed: ") + exporter.GetLastErrorString();
}

// Imports path into scene with password; the importer's error text, empty on success.
std::string ImportFrom(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path, const char* password)
{
    KQoxImporter importer(manager);
    importer.SetPassword(password);
    if (importer.Initialize(path.c_str()) && importer.Import(scene))
        return "";
    return std::string("failed: ") + importer.GetLastErrorString();
}

} // namespace

TEST(NativeDevices, AreWrittenInPlace)
{
    ASSERT_TRUE(ExportTo("/dev/null"));
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode)); // no file was moved over the device
}

TEST(NativeDevices, AFifoReceivesEachFormWhole)
{
    struct Form
    {
        int mFormat;
        const char* mPassword;
    };
    const Form forms[] = {{eEXPORT_QOX_BINARY, ""},
                          {eEXPORT_QOX_ASCII, ""},
                          {eEXPORT_QOX_ENCRYPTED, "secret"},
                          {eEXPORT_QOX5_BINARY, ""},
                          {eEXPORT_QOX5_ASCII, ""}};
    for (const Form& form : forms)
    {
        TempDir dir;
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& original = *manager->CreateKQoxScene();
        fileiotest::BuildScene(*manager, original, "");
        const std::string file = dir.File("scene.qox");
        ASSERT_EQ(ExportAs(*manager, original, file, form.mFormat, form.mPassword), "") << form.mFormat;

        // A reader thread drains the FIFO to its end while the export writes it.
        const std::string fifo = dir.File("pipe.qox");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::string received;
        std::thread reader([&] { received = ReadFile(fifo); });
        const std::string error = ExportAs(*manager, original, fifo, form.mFormat, form.mPassword);
        if (!error.empty())
        {
            // The reader waits for a writer: one that opens and closes lets it go.
            const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                close(fd);
        }
        reader.join();
        EXPECT_EQ(error, "") << form.mFormat;
        struct stat kind;
        ASSERT_EQ(lstat(fifo.c_str(), &kind), 0);
        EXPECT_TRUE(S_ISFIFO(kind.st_mode)) << form.mFormat;
        EXPECT_EQ(qoxtest::ListDirectory(dir.Path()), (std::vector<std::string>{"pipe.qox", "scene.qox"}));

        // What the reader got is a whole file: it reads as the file saved on disk.
        const std::string copy = dir.File("copy.qox");
        ASSERT_TRUE(qoxtest::WriteFile(copy, received));
        KQoxScene& fromFile = *manager->CreateKQoxScene();
        KQoxScene& fromFifo = *manager->CreateKQoxScene();
        ASSERT_EQ(ImportFrom(*manager, fromFile, file, form.mPassword), "") << form.mFormat;
        EXPECT_EQ(ImportFrom(*manager, fromFifo, copy, form.mPassword), "") << form.mFormat;
        EXPECT_EQ(received.size(), ReadFile(file).size()) << form.mFormat;
        EXPECT_TRUE(fileiotest::ListScene(*manager, fromFifo) == fileiotest::ListScene(*manager, fromFile))
            << form.mFormat;
    }
}
