// Whole scenes through the native file: round trips in every form, byte-
// identical rewrites, take files, selected takes, embedded media, and the
// reader's and writer's duties on the way.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/writers/kqoxwriterqox6.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using fileiotest::BuildScene;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

struct Form
{
    int mExport;
    int mImport;
    const char* mPassword;
} const kForms[] = {{eEXPORT_QOX_BINARY, eIMPORT_QOX_BINARY, ""},
                    {eEXPORT_QOX_ASCII, eIMPORT_QOX_ASCII, ""},
                    {eEXPORT_QOX_ENCRYPTED, eIMPORT_QOX_ENCRYPTED, "open sesame"}};

bool Export(KQoxFileScene& scene, const std::string& name, int format, const char* password = "")
{
    KQoxExporter exporter(scene.mManager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(format));
    exporter.SetPassword(password);
    bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    return ok;
}

bool Import(KQoxFileScene& scene, const std::string& name, const char* password = "")
{
    KQoxImporter importer(scene.mManager);
    importer.SetPassword(password);
    if (!importer.Initialize(name.c_str()))
        return false;
    return importer.Import(scene);
}

TEST(NativeRoundTrip, EverySceneKindInEveryForm)
{
    TempDir dir;
    std::string media = dir.File("skin.raw");
    WriteFile(media, std::string("\x01\x02\x00\xff media bytes", 16));
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mExport);
        KQoxSdkManager manager;
        KQoxFileScene original(manager);
        BuildScene(original, media);
        std::string name = dir.File("scene" + std::to_string(form.mExport) + ".qox");
        ASSERT_TRUE(Export(original, name, form.mExport, form.mPassword));

        KQoxImporter importer(manager);
        importer.SetPassword(form.mPassword);
        ASSERT_TRUE(importer.Initialize(name.c_str())) << importer.GetLastErrorString();
        EXPECT_EQ(importer.GetFileFormat(), form.mImport);
        int major = 0, minor = 0, revision = 0;
        ASSERT_TRUE(importer.GetFileVersion(major, minor, revision));
        EXPECT_EQ(major * 100 + minor * 10 + revision, 600);
        ASSERT_EQ(importer.GetTakeCount(), 2);
        EXPECT_STREQ(importer.GetTakeInfo(0)->Name.ToChars(), "Walk");
        EXPECT_STREQ(importer.GetTakeInfo(0)->ImportName.ToChars(), "Walk");
        EXPECT_STREQ(importer.GetTakeInfo(1)->Comments.ToChars(), "Comments of Run");
        EXPECT_STREQ(importer.GetCurrentTakeName(), "Walk");

        KQoxFileScene read(manager);
        ASSERT_TRUE(importer.Import(read)) << importer.GetLastErrorString();
        EXPECT_EQ(ListScene(read), ListScene(original));
        // The embedded clip was extracted beside the file with its bytes.
        ASSERT_EQ(read.mVideos.size(), 1u);
        EXPECT_EQ(std::string(read.mVideos[0]->GetFileName()), name + ".media/skin.raw");
        EXPECT_EQ(ReadFile(read.mVideos[0]->GetFileName()), ReadFile(media));
    }
}

TEST(NativeRoundTrip, RewritingWhatWasReadGivesTheSameBytes)
{
    TempDir dir;
    for (const Form& form : kForms)
    {
        if (form.mExport == eEXPORT_QOX_ENCRYPTED)
            continue; // each encrypted file has its own salt
        KQoxSdkManager manager;
        KQoxFileScene original(manager);
        BuildScene(original, "");
        std::string first = dir.File("first.qox"), second = dir.File("second.qox");
        ASSERT_TRUE(Export(original, first, form.mExport));
        KQoxFileScene read(manager);
        ASSERT_TRUE(Import(read, first));
        ASSERT_TRUE(Export(read, second, form.mExport));
        EXPECT_EQ(ReadFile(first), ReadFile(second)) << form.mExport;
    }
}

TEST(NativeRoundTrip, WrongPasswordIsRefused)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxFileScene scene(manager);
    BuildScene(scene, "");
    std::string name = dir.File("locked.qox");
    ASSERT_TRUE(Export(scene, name, eEXPORT_QOX_ENCRYPTED, "right"));
    for (const char* password : {"wrong", ""})
    {
        KQoxImporter importer(manager);
        importer.SetPassword(password);
        EXPECT_FALSE(importer.Initialize(name.c_str()));
        EXPECT_STREQ(importer.GetLastErrorString(), "Wrong password");
        EXPECT_EQ(importer.GetTakeCount(), 0);
    }
}

TEST(NativeRoundTrip, OnlySelectedTakesAreRead)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxFileScene original(manager);
    BuildScene(original, "");
    std::string name = dir.File("takes.qox");
    ASSERT_TRUE(Export(original, name, eEXPORT_QOX_BINARY));

    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    ASSERT_TRUE(importer.SetTakeSelected(0, false));
    EXPECT_FALSE(importer.SetTakeSelected(2, false));
    EXPECT_STREQ(importer.GetLastErrorString(), "Index out of range");
    KQoxFileScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    ASSERT_EQ(read.mTakeInfos.size(), 1u);
    EXPECT_STREQ(read.mTakeInfos[0]->Name.ToChars(), "Run");
    KQoxNode* hips = read.mRoot->GetChild(0);
    ASSERT_EQ(hips->GetTakeNodeCount(), 2); // Default and Run
    EXPECT_STREQ(hips->GetTakeNodeName(1), "Run");

    // With the animation state off no take is read.
    KQoxImporter still(manager);
    ASSERT_TRUE(still.Initialize(name.c_str()));
    still.SetState(KStreamOptionsQox::eANIMATION, false);
    EXPECT_FALSE(still.GetState(6));
    KQoxFileScene none(manager);
    ASSERT_TRUE(still.Import(none));
    EXPECT_EQ(none.mRoot->GetChild(0)->GetTakeNodeCount(), 1);
}

TEST(NativeRoundTrip, TakeFilesCarryOneTakeApart)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxFileScene original(manager);
    BuildScene(original, "");
    std::string name = dir.File("scene.qox"), take = dir.File("run.tak");
    ASSERT_TRUE(Export(original, name, eEXPORT_QOX_BINARY));
    KQoxWriterQox6 writer(manager);
    ASSERT_TRUE(writer.WriteTakeFile(take.c_str(), original, "Run"));

    // Read the scene without "Run", then add it from the take file.
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    importer.SetTakeSelected(1, false);
    KQoxFileScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    KQoxReaderQox reader(manager);
    ASSERT_TRUE(reader.ReadTakeFile(take.c_str(), read)) << reader.GetLastErrorString();
    read.mTakeInfos.push_back(std::unique_ptr<KQoxTakeInfo>(new KQoxTakeInfo(*original.mTakeInfos[1])));
    // Take order per object differs (Walk, Run) either way: Run was added last.
    EXPECT_EQ(ListScene(read), ListScene(original));

    KQoxReaderQox notATake(manager);
    WriteFile(dir.File("empty.tak"), "");
    EXPECT_FALSE(notATake.ReadTakeFile(dir.File("empty.tak").c_str(), read));
}

// Image media go through the converters and TIFF: mode 0 loads "img" files
// as 2 x 2 RGB images, mode 1 writes them back.
int ImgConverter(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    if (mode == 0)
    {
        std::string bytes = ReadFile(fileName.ToChars());
        if (bytes.size() != 12)
            return 1;
        buffer.Init(2, 2, true, ImageConverterBuffer::eRGB, 3);
        std::memcpy(buffer.mPixels.get(), bytes.data(), 12);
        return 0;
    }
    WriteFile(fileName.ToChars(), std::string(reinterpret_cast<char*>(buffer.mPixels.get()), 12));
    return 0;
}

TEST(NativeRoundTrip, EmbeddedImagesGoThroughTiff)
{
    TempDir dir;
    std::string media = dir.File("face.img");
    const std::string pixels("ABCDEFGHIJKL");
    WriteFile(media, pixels);
    for (const Form& form : kForms)
    {
        KQoxSdkManager manager;
        manager.CreateKQoxImageConverter()->RegisterConverterFunction("img", &ImgConverter);
        KQoxFileScene scene(manager);
        BuildScene(scene, media);
        std::string name = dir.File("img" + std::to_string(form.mExport) + ".qox");
        ASSERT_TRUE(Export(scene, name, form.mExport, form.mPassword));
        if (form.mExport == eEXPORT_QOX_ASCII)
        {
            EXPECT_NE(ReadFile(name).find("ContentForm: \"tif\""), std::string::npos);
        }
        KQoxFileScene read(manager);
        ASSERT_TRUE(Import(read, name, form.mPassword));
        ASSERT_EQ(read.mVideos.size(), 1u);
        EXPECT_EQ(ReadFile(read.mVideos[0]->GetFileName()), pixels);
    }
}

TEST(NativeRoundTrip, LargeAndDeepTrees)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxFileScene scene(manager);
    scene.mRoot = manager.CreateKQoxNode("Scene");
    KQoxNode* chain = scene.mRoot;
    // Every node publishes its whole property table, so the scene library
    // makes nodes slowly; 30,000 keep the suite quick.
    for (int i = 0; i < 30000; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("N" + std::to_string(i)).c_str());
        // Half a flat fan under the root, half one chain 15,000 deep.
        if (i % 2)
            scene.mRoot->AddChild(node);
        else
        {
            chain->AddChild(node);
            chain = node;
        }
    }
    std::string name = dir.File("big.qox");
    ASSERT_TRUE(Export(scene, name, eEXPORT_QOX_BINARY));
    KQoxFileScene read(manager);
    ASSERT_TRUE(Import(read, name));
    EXPECT_EQ(read.mRoot->GetChildCount(true), 30000);
    KQoxNode* deepest = read.mRoot->GetChild(0);
    int depth = 1;
    while (deepest->GetChildCount() > 0)
    {
        deepest = deepest->GetChild(0);
        ++depth;
    }
    EXPECT_EQ(depth, 15000);
    EXPECT_STREQ(deepest->GetName(), "Model::N29998");
}

} // namespace

namespace {

// Nodes sharing a name keep their places (connections go by position) and
// are listed in the importer's message.
TEST(NativeRoundTrip, DuplicateNodeNamesKeepTheirPlacesAndAreReported)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxFileScene scene(manager);
    scene.mRoot = manager.CreateKQoxNode("Scene");
    KQoxNode* first = manager.CreateKQoxNode("Twin");
    KQoxNode* second = manager.CreateKQoxNode("Twin");
    scene.mRoot->AddChild(first);
    first->AddChild(manager.CreateKQoxNode("UnderFirst"));
    scene.mRoot->AddChild(second);
    second->AddChild(manager.CreateKQoxNode("UnderSecond"));
    std::string name = dir.File("twins.qox");
    ASSERT_TRUE(Export(scene, name, eEXPORT_QOX_BINARY));

    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    KQoxFileScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    EXPECT_EQ(ListScene(read), ListScene(scene));
    ASSERT_EQ(read.mRoot->GetChildCount(), 2);
    EXPECT_STREQ(read.mRoot->GetChild(1)->GetChild(0)->GetName(), "Model::UnderSecond");
    KString message;
    importer.GetMessage(message);
    EXPECT_NE(std::string(message.ToChars()).find("Model::Twin"), std::string::npos) << message.ToChars();
}

} // namespace
