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
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
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

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, int format, const char* password = "")
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(format));
    exporter.SetPassword(password);
    bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    return ok;
}

bool Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const char* password = "")
{
    KQoxImporter importer(manager);
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
        KQoxScene original(manager);
        BuildScene(manager, original, media);
        std::string name = dir.File("scene" + std::to_string(form.mExport) + ".qox");
        ASSERT_TRUE(Export(manager, original, name, form.mExport, form.mPassword));

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

        KQoxScene read(manager);
        ASSERT_TRUE(importer.Import(read)) << importer.GetLastErrorString();
        // The reader bakes the time warps into the channels that use them.
        fileiotest::MergeTimeWarps(manager, original);
        fileiotest::NameExtractedSkin(original, name);
        // ASCII files keep 15 significant digits of a double.
        int digits = form.mExport == eEXPORT_QOX_ASCII ? 15 : 17;
        EXPECT_EQ(ListScene(manager, read, digits), ListScene(manager, original, digits));
        // The embedded clip was extracted beside the file with its bytes.
        ASSERT_EQ(read.GetEntity()->GetVideoCount(), 1);
        KQoxVideo* clip = dynamic_cast<KQoxVideo*>(read.GetEntity()->GetVideo(0));
        EXPECT_EQ(std::string(clip->GetFileName()), name + ".media/skin.raw");
        EXPECT_EQ(ReadFile(clip->GetFileName()), ReadFile(media));
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
        KQoxScene original(manager);
        BuildScene(manager, original, "");
        std::string first = dir.File("first.qox"), second = dir.File("second.qox");
        ASSERT_TRUE(Export(manager, original, first, form.mExport));
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, first));
        ASSERT_TRUE(Export(manager, read, second, form.mExport));
        // What was read holds the time warps baked into its channels: it
        // writes as the original does once its warps are merged.
        fileiotest::MergeTimeWarps(manager, original);
        ASSERT_TRUE(Export(manager, original, first, form.mExport));
        EXPECT_EQ(ReadFile(first), ReadFile(second)) << form.mExport;
    }
}

TEST(NativeRoundTrip, WrongPasswordIsRefused)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildScene(manager, scene, "");
    std::string name = dir.File("locked.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_ENCRYPTED, "right"));
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
    KQoxScene original(manager);
    BuildScene(manager, original, "");
    std::string name = dir.File("takes.qox");
    ASSERT_TRUE(Export(manager, original, name, eEXPORT_QOX_BINARY));

    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    ASSERT_TRUE(importer.SetTakeSelected(0, false));
    EXPECT_FALSE(importer.SetTakeSelected(2, false));
    EXPECT_STREQ(importer.GetLastErrorString(), "Index out of range");
    KQoxScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    EXPECT_EQ(read.GetTakeInfoCount(), 1);
    EXPECT_NE(read.GetTakeInfo(KString("Run")), nullptr);
    KQoxNode* hips = read.GetRootNode()->GetChild(0);
    ASSERT_EQ(hips->GetTakeNodeCount(), 2); // Default and Run
    EXPECT_STREQ(hips->GetTakeNodeName(1), "Run");

    // With the animation state off no take is read.
    KQoxImporter still(manager);
    ASSERT_TRUE(still.Initialize(name.c_str()));
    still.SetState(KStreamOptionsQox::eANIMATION, false);
    EXPECT_FALSE(still.GetState(6));
    KQoxScene none(manager);
    ASSERT_TRUE(still.Import(none));
    EXPECT_EQ(none.GetRootNode()->GetChild(0)->GetTakeNodeCount(), 1);
}

TEST(NativeRoundTrip, TakeFilesCarryOneTakeApart)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene original(manager);
    BuildScene(manager, original, "");
    std::string name = dir.File("scene.qox"), take = dir.File("run.tak");
    ASSERT_TRUE(Export(manager, original, name, eEXPORT_QOX_BINARY));
    KQoxWriterQox6 writer(manager);
    ASSERT_TRUE(writer.WriteTakeFile(take.c_str(), original, "Run"));

    // Read the scene without "Run", then add it from the take file.
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    importer.SetTakeSelected(1, false);
    KQoxScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    KQoxReaderQox reader(manager);
    ASSERT_TRUE(reader.ReadTakeFile(take.c_str(), read)) << reader.GetLastErrorString();
    read.SetTakeInfo(*original.GetTakeInfo(KString("Run")));
    // Take order per object differs (Walk, Run) either way: Run was added last.
    fileiotest::MergeTimeWarps(manager, original);
    EXPECT_EQ(ListScene(manager, read), ListScene(manager, original));

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
        KQoxScene scene(manager);
        BuildScene(manager, scene, media);
        std::string name = dir.File("img" + std::to_string(form.mExport) + ".qox");
        ASSERT_TRUE(Export(manager, scene, name, form.mExport, form.mPassword));
        if (form.mExport == eEXPORT_QOX_ASCII)
        {
            EXPECT_NE(ReadFile(name).find("ContentForm: \"tif\""), std::string::npos);
        }
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, name, form.mPassword));
        ASSERT_EQ(read.GetEntity()->GetVideoCount(), 1);
        EXPECT_EQ(ReadFile(dynamic_cast<KQoxVideo*>(read.GetEntity()->GetVideo(0))->GetFileName()), pixels);
    }
}

TEST(NativeRoundTrip, LargeAndDeepTrees)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* chain = scene.GetRootNode();
    // Every node publishes its whole property table, so the scene library
    // makes nodes slowly; 30,000 keep the suite quick.
    for (int i = 0; i < 30000; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("N" + std::to_string(i)).c_str());
        // Half a flat fan under the root, half one chain 15,000 deep.
        if (i % 2)
            scene.GetRootNode()->AddChild(node);
        else
        {
            chain->AddChild(node);
            chain = node;
        }
    }
    std::string name = dir.File("big.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    KQoxScene read(manager);
    ASSERT_TRUE(Import(manager, read, name));
    EXPECT_EQ(read.GetRootNode()->GetChildCount(true), 30000);
    KQoxNode* deepest = read.GetRootNode()->GetChild(0);
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
    KQoxScene scene(manager);
    KQoxNode* first = manager.CreateKQoxNode("Twin");
    KQoxNode* second = manager.CreateKQoxNode("Twin");
    scene.GetRootNode()->AddChild(first);
    first->AddChild(manager.CreateKQoxNode("UnderFirst"));
    scene.GetRootNode()->AddChild(second);
    second->AddChild(manager.CreateKQoxNode("UnderSecond"));
    std::string name = dir.File("twins.qox");
    ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));

    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    KQoxScene read(manager);
    ASSERT_TRUE(importer.Import(read));
    EXPECT_EQ(ListScene(manager, read), ListScene(manager, scene));
    ASSERT_EQ(read.GetRootNode()->GetChildCount(), 2);
    EXPECT_STREQ(read.GetRootNode()->GetChild(1)->GetChild(0)->GetName(), "Model::UnderSecond");
    KString message;
    importer.GetMessage(message);
    EXPECT_NE(std::string(message.ToChars()).find("Model::Twin"), std::string::npos) << message.ToChars();
}

} // namespace

namespace {

// A mesh whose material element names material 0 while it holds none (as a
// file without materials leaves it) is written and read back unchanged.
TEST(NativeRoundTrip, MaterialIndexWithoutMaterials)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* node = manager.CreateKQoxNode("Tri");
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    node->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(node);
    mesh->InitControlPoints(3);
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    mesh->BeginPolygon(0, 0, -1);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    for (const Form& form : kForms)
    {
        std::string name = dir.File("tri.qox");
        ASSERT_TRUE(Export(manager, scene, name, form.mExport, form.mPassword));
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, name, form.mPassword));
        // ASCII files keep 15 significant digits of a double.
        int digits = form.mExport == eEXPORT_QOX_ASCII ? 15 : 17;
        EXPECT_EQ(ListScene(manager, read, digits), ListScene(manager, scene, digits));
    }
}

} // namespace

namespace {

// Many materials, half of them on a mesh and half in the scene only: each
// joins the read scene's entity once, those the mesh uses first.
TEST(NativeRoundTrip, ManyMaterialsJoinTheEntityOnce)
{
    const int half = 400;
    qoxtest::TempDir dir;
    const std::string name = dir.File("materials.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxMesh* mesh = manager.CreateKQoxMesh();
        mesh->InitControlPoints(3);
        mesh->BeginPolygon();
        for (int v = 0; v < 3; ++v)
            mesh->AddPolygon(v);
        mesh->EndPolygon();
        KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
        materials->mMappingMode = KQoxLayerElement::eALL_SAME;
        materials->mReferenceMode = KQoxLayerElement::eDIRECT;
        for (int i = 0; i < half; ++i)
            materials->mDirectArray.Add(manager.CreateKQoxMaterial(("Used" + std::to_string(i)).c_str()));
        mesh->GetLayer(0)->SetMaterials(materials);
        KQoxNode* node = manager.CreateKQoxNode("Mesh");
        node->SetNodeAttribute(mesh);
        scene.GetRootNode()->AddChild(node);
        for (int i = 0; i < half; ++i)
            scene.GetEntity()->AddMaterial(manager.CreateKQoxMaterial(("Spare" + std::to_string(i)).c_str()));
        ASSERT_EQ(scene.GetEntity()->GetMaterialCount(), 2 * half);
        KQoxExporter exporter(manager);
        ASSERT_TRUE(exporter.Initialize(name.c_str()));
        exporter.SetFileFormat(eEXPORT_QOX_BINARY);
        ASSERT_TRUE(exporter.Export(scene));
    }
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    ASSERT_TRUE(importer.Import(scene));
    KQoxEntity* entity = scene.GetEntity();
    ASSERT_EQ(entity->GetMaterialCount(), 2 * half);
    for (int i = 0; i < half; ++i)
    {
        EXPECT_STREQ(entity->GetMaterial(i)->GetName(), ("Material::Used" + std::to_string(i)).c_str());
        EXPECT_STREQ(entity->GetMaterial(half + i)->GetName(), ("Material::Spare" + std::to_string(i)).c_str());
    }
}

} // namespace
