// The native reader given what is not a plain file: a directory under a
// scene file's name, FIFOs carrying each form of the file (fed by a writer
// thread), and streams carrying damaged or foreign bytes.

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "base/kqox.h"
#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/writers/kqoxwriterqox6.h"
#include "fileio_test_util.h"
#include "fcurve/kfcurve.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::FifoFeeder;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

struct Form
{
    int mExport;
    const char* mPassword;
};

// Every form of the file, the encrypted one with its password.
const Form kForms[] = {
    {eEXPORT_QOX_BINARY, ""}, {eEXPORT_QOX_ASCII, ""}, {eEXPORT_QOX_ENCRYPTED, "secret"}, {eEXPORT_QOX5_BINARY, ""}};

// The scene written to path in the form; false when the export failed.
::testing::AssertionResult ExportAs(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path,
                                    const Form& form)
{
    KQoxExporter exporter(manager);
    exporter.SetPassword(form.mPassword);
    if (exporter.Initialize(path.c_str()) && exporter.SetFileFormat(form.mExport) && exporter.Export(scene))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << form.mExport << ": " << exporter.GetLastErrorString();
}

} // namespace

TEST(NativeUnusualInputs, DirectoryIsNotOpened)
{
    TempDir dir;
    const std::string path = dir.File("scene.qox");
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxImporter importer(*manager);
    EXPECT_FALSE(importer.Initialize(path.c_str()));
    EXPECT_EQ(importer.GetLastErrorID(), KQoxIO::eFILE_NOT_OPENED);
    EXPECT_STREQ(importer.GetLastErrorString(), "File not opened: it is a directory");
    KQoxReaderQox reader(*manager);
    EXPECT_FALSE(reader.FileOpen(path.c_str()));
    EXPECT_STREQ(reader.GetError().GetLastErrorString(), "File not opened: it is a directory");
    KQox file;
    EXPECT_FALSE(file.ProjectOpen(path.c_str()));
    EXPECT_EQ(file.GetError().GetLastErrorID(), KQox::eFILE_NOT_OPENED);
    EXPECT_STREQ(file.GetError().GetLastErrorString(), "File not opened: it is a directory");
    EXPECT_FALSE(file.ProjectIsOpen());
}

TEST(NativeUnusualInputs, FifoCarryingEachFormReadsAsTheFile)
{
    for (const Form& form : kForms)
    {
        TempDir dir;
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& original = *manager->CreateKQoxScene();
        fileiotest::BuildScene(*manager, original, "");
        const std::string file = dir.File("scene.qox");
        ASSERT_TRUE(ExportAs(*manager, original, file, form));
        auto import = [&](const std::string& path, KQoxScene& scene, std::string& error, int& format) {
            KQoxImporter importer(*manager);
            importer.SetPassword(form.mPassword);
            const bool ok = importer.Initialize(path.c_str()) && importer.Import(scene);
            error = importer.GetLastErrorString();
            format = importer.GetFileFormat();
            return ok;
        };
        KQoxScene& fromFile = *manager->CreateKQoxScene();
        std::string error;
        int fileFormat = -1;
        ASSERT_TRUE(import(file, fromFile, error, fileFormat)) << error;

        const std::string pipe = dir.File("pipe.qox");
        KQoxScene& fromPipe = *manager->CreateKQoxScene();
        int pipeFormat = -2;
        {
            FifoFeeder feeder(pipe, ReadFile(file));
            EXPECT_TRUE(import(pipe, fromPipe, error, pipeFormat)) << form.mExport << ": " << error;
        }
        EXPECT_EQ(pipeFormat, fileFormat);
        EXPECT_EQ(fileiotest::ListScene(*manager, fromPipe), fileiotest::ListScene(*manager, fromFile)) << form.mExport;
    }
}

TEST(NativeUnusualInputs, StreamsOfDamagedOrForeignBytesAreCorrupted)
{
    TempDir dir;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    fileiotest::BuildScene(*manager, scene, "");
    const std::string file = dir.File("scene.qox");
    ASSERT_TRUE(fileiotest::Export(*manager, scene, file, eEXPORT_QOX_BINARY));
    const std::string bytes = ReadFile(file);

    // Foreign text, an empty stream, the first bytes of the magic alone,
    // half a file, a file with one byte changed: each is what such a file
    // on disk is, the damaged ones without a cause.
    const std::string damaged = bytes.substr(0, 100) + char(bytes[100] ^ 1) + bytes.substr(101);
    const struct
    {
        std::string mContent;
        const char* mText;
    } rows[] = {{"solid cube\n", "File is corrupted: not a native scene file"},
                {"", "File is corrupted: the file is empty"},
                {bytes.substr(0, 10), "File is corrupted"},
                {bytes.substr(0, bytes.size() / 2), "File is corrupted"},
                {damaged, "File is corrupted"}};
    int n = 0;
    for (const auto& row : rows)
    {
        for (bool fifo : {true, false})
        {
            const std::string path = dir.File("pipe" + std::to_string(n++) + ".qox");
            std::unique_ptr<FifoFeeder> feeder;
            if (fifo)
            {
                feeder = std::make_unique<FifoFeeder>(path, row.mContent);
            }
            else
            {
                ASSERT_TRUE(WriteFile(path, row.mContent));
            }
            KQoxImporter importer(*manager);
            KQoxScene& read = *manager->CreateKQoxScene();
            EXPECT_FALSE(importer.Initialize(path.c_str()) && importer.Import(read)) << n;
            EXPECT_EQ(importer.GetLastErrorID(), KQoxIO::eFILE_CORRUPTED) << n;
            EXPECT_EQ(importer.GetLastErrorString(), std::string(row.mText)) << n << (fifo ? " through a FIFO" : "");
        }
    }
    // A device of endless bytes is given up at its first bytes.
    KQoxImporter importer(*manager);
    EXPECT_FALSE(importer.Initialize("/dev/zero"));
    EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted: not a native scene file");
}

// Another program may cut a file short, or write it again where it stands,
// while it is read in place. The pages it lost are damage: the import fails
// as for any damaged file, and the process goes on.
TEST(NativeUnusualInputs, FileCutShortWhileReadIsCorruptedNotAFault)
{
    for (const Form& form : kForms)
    {
        TempDir dir;
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& original = *manager->CreateKQoxScene();
        fileiotest::BuildScene(*manager, original, "");
        // A mesh of many pages, so that a cut loses whole pages.
        KQoxNode* node = manager->CreateKQoxNode("Big");
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(30000);
        for (int i = 0; i < 30000; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i * 0.5, i % 7, -i, 1);
        original.GetRootNode()->AddChild(node);
        const std::string file = dir.File("scene.qox");
        ASSERT_TRUE(ExportAs(*manager, original, file, form));
        const std::string bytes = ReadFile(file);
        ASSERT_GT(bytes.size(), size_t(200000)) << form.mExport;
        auto import = [&](KQoxScene& scene) {
            KQoxImporter importer(*manager);
            importer.SetPassword(form.mPassword);
            return importer.Initialize(file.c_str()) && importer.Import(scene);
        };
        KQoxScene& whole = *manager->CreateKQoxScene();
        ASSERT_TRUE(import(whole));
        for (size_t keep : {size_t(0), size_t(4096), bytes.size() / 2})
        {
            ASSERT_TRUE(WriteFile(file, bytes));
            KQoxImporter importer(*manager);
            importer.SetPassword(form.mPassword);
            ASSERT_TRUE(importer.Initialize(file.c_str())) << form.mExport << " " << importer.GetLastErrorString();
            ASSERT_EQ(truncate(file.c_str(), static_cast<off_t>(keep)), 0);
            KQoxScene& read = *manager->CreateKQoxScene();
            EXPECT_FALSE(importer.Import(read)) << form.mExport << " kept " << keep;
            EXPECT_EQ(importer.GetLastErrorID(), KQoxIO::eFILE_CORRUPTED) << form.mExport << " kept " << keep;
            EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
            EXPECT_EQ(read.GetRootNode()->GetChildCount(), 0) << "nothing of a failed read joins the scene";
        }
        // Whole again, it reads as it did before.
        ASSERT_TRUE(WriteFile(file, bytes));
        KQoxScene& again = *manager->CreateKQoxScene();
        EXPECT_TRUE(import(again));
        EXPECT_EQ(fileiotest::ListScene(*manager, again), fileiotest::ListScene(*manager, whole)) << form.mExport;
    }
}

// A take file read into an open scene, cut short by another program while
// it is read: the read fails as damaged instead of passing zeros off as keys.
TEST(NativeUnusualInputs, TakeFileCutShortWhileReadIsCorrupted)
{
    TempDir dir;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& original = *manager->CreateKQoxScene();
    fileiotest::BuildScene(*manager, original, "");
    KQoxNode* hips = original.GetRootNode()->GetChild(0);
    KQoxTakeNode* run = nullptr;
    for (int t = 0; t < hips->GetTakeNodeCount(); ++t)
        if (std::string(hips->GetTakeNodeName(t)) == "Run")
            run = hips->GetTakeNode(t);
    ASSERT_NE(run, nullptr);
    const int keys = 300000;
    KFCurve* curve = run->GetTranslationY();
    curve->KeyModifyBegin();
    for (int k = 0; k < keys; ++k)
        curve->KeyAppendFast(KTime(static_cast<long long>(k) * 1539538600LL), static_cast<float>(k % 1000 + 1));
    curve->KeyModifyEnd();
    const std::string name = dir.File("scene.qox"), take = dir.File("run.tak");
    ASSERT_TRUE(ExportAs(*manager, original, name, kForms[0]));
    // Text, which is read in place.
    KQoxWriterQox6 writer(*manager, KQox::eASCII);
    ASSERT_TRUE(writer.WriteTakeFile(take.c_str(), original, "Run"));
    const std::string bytes = ReadFile(take);
    ASSERT_GT(bytes.size(), size_t(4) << 20);

    int cutShort = 0;
    for (int attempt = 0; attempt < 10 && cutShort == 0; ++attempt)
    {
        KQoxImporter importer(*manager);
        ASSERT_TRUE(importer.Initialize(name.c_str()));
        importer.SetTakeSelected(1, false);
        KQoxScene& read = *manager->CreateKQoxScene();
        ASSERT_TRUE(importer.Import(read));
        ASSERT_TRUE(WriteFile(take, bytes));
        KQoxReaderQox reader(*manager);
        qoxtest::CutWhenMapped cutter(take, 4096);
        const bool whole = reader.ReadTakeFile(take.c_str(), read);
        cutter.Stop();
        if (!whole)
        {
            ++cutShort;
            EXPECT_EQ(reader.GetLastErrorID(), KQoxIO::eFILE_CORRUPTED);
            EXPECT_STREQ(reader.GetLastErrorString(), "File is corrupted");
            continue;
        }
        // Read whole before the cut: every key as written.
        KQoxNode* readHips = read.GetRootNode()->GetChild(0);
        KFCurve* readCurve = nullptr;
        for (int t = 0; t < readHips->GetTakeNodeCount(); ++t)
            if (std::string(readHips->GetTakeNodeName(t)) == "Run")
                readCurve = readHips->GetTakeNode(t)->GetTranslationY();
        ASSERT_NE(readCurve, nullptr);
        ASSERT_EQ(readCurve->KeyGetCount(), keys);
        for (int k = 0; k < keys; ++k)
            ASSERT_EQ(readCurve->KeyGetValue(k), static_cast<float>(k % 1000 + 1)) << "key " << k;
    }
    EXPECT_EQ(cutShort, 1);
}
