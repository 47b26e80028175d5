// Texture files without a video clip are embedded as media of clips that
// the writer makes for the write only: the file carries them, reading gives
// each texture its clip with the media, and the caller's scene is exactly
// as it was (objects, entity entries, connections, names). Read away from
// its images, a file's textures name their own files where those are found,
// else the media extracted from it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "fileio_test_util.h"
#include "object/kplug.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using fileiotest::Import;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// A 3 x 2 binary PPM image: six RGB pixels.
const std::string kPixels("\x10\x20\x30\xff\x00\x7f\x01\x02\x03\xfe\xfd\xfc\x00\x00\x00\x80\x81\x82", 18);
const std::string kPpm = "P6\n3 2\n255\n" + kPixels;

// Loads (mode 0) or writes (mode 1) the binary PPM images of these tests.
int PpmConverter(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    if (mode == 0)
    {
        std::string text = ReadFile(fileName.ToChars());
        int width = 0, height = 0, depth = 0, header = 0;
        if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &width, &height, &depth, &header) != 3 || depth != 255)
            return 1;
        const size_t bytes = static_cast<size_t>(width) * height * 3;
        if (text.size() < static_cast<size_t>(header) + 1 + bytes)
            return 1;
        buffer.Init(width, height, true, ImageConverterBuffer::eRGB, 3);
        if (!buffer.mPixels)
            return 1;
        std::copy(text.begin() + header + 1, text.begin() + header + 1 + bytes, buffer.mPixels.get());
        return 0;
    }
    if (buffer.mBytesPerPixel != 3 || !buffer.mPixels)
        return 1;
    std::string out = "P6\n" + std::to_string(buffer.mWidth) + " " + std::to_string(buffer.mHeight) + "\n255\n";
    out.append(reinterpret_cast<const char*>(buffer.mPixels.get()),
               static_cast<size_t>(buffer.mWidth) * buffer.mHeight * 3);
    return WriteFile(fileName.ToChars(), out) ? 0 : 1;
}

std::string NameOfPlug(KPlug* plug)
{
    KQoxObject* object = GetKQoxObjectOfPlug(plug);
    return object ? object->GetName() : "?";
}

// Everything the connections may touch: each manager node's and texture's
// sources and users, each texture's names, each scene entity's lists.
std::string Connections(KQoxSdkManager& manager, KQoxScene& scene)
{
    std::ostringstream out;
    auto plug = [&](const char* what, KQoxObject& object) {
        KPlug* p = object.GetPropertyHandler();
        out << what << " " << object.GetName() << " sources";
        for (int i = 0; p && i < p->GetSrcCount(); ++i)
            out << " " << NameOfPlug(p->GetSrc(i));
        out << " users";
        for (int i = 0; p && i < p->GetDstCount(); ++i)
            out << " " << NameOfPlug(p->GetDst(i));
        out << "\n";
    };
    for (int i = 0; i < manager.GetKQoxNodeCount(); ++i)
        plug("node", *manager.GetKQoxNode(i));
    for (int i = 0; i < manager.GetKQoxTextureCount(); ++i)
    {
        KQoxTexture* texture = manager.GetKQoxTexture(i);
        plug("texture", *texture);
        out << "  names " << texture->GetFileName() << "|" << texture->GetRelativeFileName() << "|"
            << texture->GetMediaName() << "\n";
    }
    for (int i = 0; i < manager.GetKQoxVideoCount(); ++i)
        plug("video", *manager.GetKQoxVideo(i));
    KQoxEntity* entity = scene.GetEntity();
    out << "entity materials";
    for (int i = 0; i < entity->GetMaterialCount(); ++i)
        out << " " << entity->GetMaterial(i)->GetName();
    out << " textures";
    for (int i = 0; i < entity->GetTextureCount(); ++i)
        out << " " << entity->GetTexture(i)->GetName();
    out << " videos";
    for (int i = 0; i < entity->GetVideoCount(); ++i)
        out << " " << entity->GetVideo(i)->GetName();
    out << "\n";
    return out.str();
}

struct Files
{
    explicit Files(const TempDir& dir)
        : mPicture(dir.File("pic.ppm"))
        , mGrain(dir.File("grain.raw"))
        , mGobo(dir.File("gobo.ppm"))
        , mMissing(dir.File("none.ppm"))
    {
        WriteFile(mPicture, kPpm);
        WriteFile(mGrain, std::string("grain\0\x01\xff bytes", 15));
        WriteFile(mGobo, kPpm);
    }
    std::string mPicture, mGrain, mGobo, mMissing;
};

// The all-kinds scene (its texture "Skin" has a clip by media name and a
// file that does not exist), plus: a texture "Pic" of the entity whose file
// is a PPM image, a texture "Grain" used only by the mesh's first layer
// whose file no converter takes, a texture "Lost" whose file is missing,
// and a light with a gobo file.
void BuildTextured(KQoxSdkManager& manager, KQoxScene& scene, const Files& files)
{
    fileiotest::BuildScene(manager, scene, "");
    KQoxTexture* picture = manager.CreateKQoxTexture("Pic");
    picture->SetFileName(files.mPicture.c_str());
    scene.GetEntity()->AddTexture(picture);
    KQoxTexture* lost = manager.CreateKQoxTexture("Lost");
    lost->SetFileName(files.mMissing.c_str());
    scene.GetEntity()->AddTexture(lost);

    KQoxTexture* grain = manager.CreateKQoxTexture("Grain");
    grain->SetFileName(files.mGrain.c_str());
    grain->SetRelativeFileName("grain.raw");
    KQoxMesh* mesh = nullptr;
    for (int i = 0; i < manager.GetKQoxNodeCount() && !mesh; ++i)
        mesh = dynamic_cast<KQoxMesh*>(manager.GetKQoxNode(i)->GetNodeAttribute());
    ASSERT_NE(mesh, nullptr);
    KQoxLayerElementTexture* textures = new KQoxLayerElementTexture;
    textures->mMappingMode = KQoxLayerElement::eALL_SAME;
    textures->mDirectArray.Add(grain);
    textures->mIndexArray.Add(0);
    mesh->GetLayer(0)->SetTextures(textures);

    KQoxNode* lamp = manager.CreateKQoxNode("Lamp");
    scene.GetRootNode()->AddChild(lamp);
    KQoxLight* light = manager.CreateKQoxLight();
    light->SetFileName(files.mGobo.c_str());
    lamp->SetNodeAttribute(light);
}

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, int format, bool media,
            KString* message = nullptr)
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(format));
    KStreamOptionsQox options;
    options.SetState(KStreamOptionsQox::eMEDIA, media);
    const bool ok = exporter.Export(scene, &options);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    if (message)
        exporter.GetMessage(*message);
    return ok;
}

KQoxTexture* TextureNamed(KQoxScene& scene, const char* name)
{
    KQoxEntity* entity = scene.GetEntity();
    for (int i = 0; i < entity->GetTextureCount(); ++i)
        if (std::string(entity->GetTexture(i)->GetName()) == name)
            return static_cast<KQoxTexture*>(entity->GetTexture(i));
    return nullptr;
}

// The read clip the texture's media name names.
KQoxVideo* ClipOf(KQoxScene& scene, KQoxTexture* texture)
{
    KQoxEntity* entity = scene.GetEntity();
    for (int i = 0; texture && i < entity->GetVideoCount(); ++i)
        if (std::string(entity->GetVideo(i)->GetName()) == texture->GetMediaName())
            return static_cast<KQoxVideo*>(entity->GetVideo(i));
    return nullptr;
}

} // namespace

TEST(NativeTextureMedia, TextureFilesAreEmbeddedAndTheSceneStaysAsItWas)
{
    TempDir dir;
    const Files files(dir);
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX_ENCRYPTED})
    {
        SCOPED_TRACE(format);
        KQoxSdkManager manager;
        manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
        KQoxScene scene(manager);
        BuildTextured(manager, scene, files);
        const std::string listing = fileiotest::ListScene(manager, scene);
        const std::string counts = fileiotest::ManagerCounts(manager);
        const std::string connections = Connections(manager, scene);
        const int clips = scene.GetEntity()->GetVideoCount();

        const std::string name = dir.File("textured" + std::to_string(format) + ".qox");
        KString message;
        ASSERT_TRUE(Export(manager, scene, name, format, true, &message));
        EXPECT_EQ(fileiotest::ListScene(manager, scene), listing);
        EXPECT_EQ(fileiotest::ManagerCounts(manager), counts);
        EXPECT_EQ(Connections(manager, scene), connections);
        // The one missing file is named; the texture with a clip and the gobo are not.
        EXPECT_EQ(std::string(message.ToChars()),
                  "Texture file not found, its media is not embedded: " + files.mMissing + "\n");
        if (format == eEXPORT_QOX_ASCII)
        {
            const std::string text = ReadFile(name);
            EXPECT_NE(text.find("Video: \"Video::Pic\",\"Clip\" {"), std::string::npos);
            EXPECT_NE(text.find("Video: \"Video::Grain\",\"Clip\" {"), std::string::npos);
            EXPECT_NE(text.find("Media: \"Video::Pic\""), std::string::npos);
            EXPECT_NE(text.find("ContentForm: \"tif\""), std::string::npos);
            EXPECT_NE(text.find("ContentForm: \"raw\""), std::string::npos);
            EXPECT_EQ(text.find("Video: \"Video::gobo"), std::string::npos);
        }

        KQoxSdkManager reader;
        reader.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
        KQoxScene read(reader);
        ASSERT_TRUE(Import(reader, read, name));
        EXPECT_EQ(read.GetEntity()->GetVideoCount(), clips + 2);
        // The image came back through TIFF: the converter wrote the same PPM.
        KQoxTexture* picture = TextureNamed(read, "Texture::Pic");
        KQoxVideo* pictureClip = ClipOf(read, picture);
        ASSERT_NE(pictureClip, nullptr);
        EXPECT_EQ(std::string(pictureClip->GetFileName()), name + ".media/pic.ppm");
        EXPECT_EQ(ReadFile(pictureClip->GetFileName()), kPpm);
        EXPECT_STREQ(picture->GetFileName(), files.mPicture.c_str());
        // No converter for ".raw": the bytes as they were.
        KQoxVideo* grainClip = ClipOf(read, TextureNamed(read, "Texture::Grain"));
        ASSERT_NE(grainClip, nullptr);
        EXPECT_EQ(ReadFile(grainClip->GetFileName()), ReadFile(files.mGrain));
        EXPECT_STREQ(grainClip->GetRelativeFileName(), "grain.raw");
        // The missing file's texture has no clip; Skin keeps the clip it named.
        KQoxTexture* lost = TextureNamed(read, "Texture::Lost");
        ASSERT_NE(lost, nullptr);
        EXPECT_STREQ(lost->GetMediaName(), "");
        EXPECT_STREQ(TextureNamed(read, "Texture::Skin")->GetMediaName(), "Video::SkinClip");
    }
}

// Embedding off writes no clip for textures: the bytes are those of a scene
// whose texture files cannot be embedded, and an embedding write in between
// leaves the scene writing the same bytes again.
TEST(NativeTextureMedia, EmbeddingOffKeepsTheBytes)
{
    TempDir dir;
    const Files files(dir);
    KQoxSdkManager manager;
    manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
    KQoxScene scene(manager);
    BuildTextured(manager, scene, files);
    const std::string off = dir.File("off.qox"), on = dir.File("on.qox"), again = dir.File("again.qox");
    ASSERT_TRUE(Export(manager, scene, off, eEXPORT_QOX_BINARY, false));
    ASSERT_TRUE(Export(manager, scene, on, eEXPORT_QOX_BINARY, true));
    ASSERT_TRUE(Export(manager, scene, again, eEXPORT_QOX_BINARY, false));
    EXPECT_EQ(ReadFile(again), ReadFile(off));
    EXPECT_NE(ReadFile(on), ReadFile(off));

    // Without the texture files nothing is embedded: the same bytes as off.
    std::remove(files.mPicture.c_str());
    std::remove(files.mGrain.c_str());
    const std::string none = dir.File("none.qox");
    KString message;
    ASSERT_TRUE(Export(manager, scene, none, eEXPORT_QOX_BINARY, true, &message));
    EXPECT_EQ(ReadFile(none), ReadFile(off));
    EXPECT_NE(std::string(message.ToChars()).find(files.mPicture), std::string::npos);
    EXPECT_NE(std::string(message.ToChars()).find(files.mGrain), std::string::npos);
    KQoxScene read(manager);
    ASSERT_TRUE(Import(manager, read, off));
    EXPECT_EQ(read.GetEntity()->GetVideoCount(), scene.GetEntity()->GetVideoCount());
    EXPECT_STREQ(TextureNamed(read, "Texture::Pic")->GetMediaName(), "");
}

namespace {

namespace fs = std::filesystem;

// A second image of the same size and base name as kPpm, other pixels.
const std::string kOtherPpm = "P6\n3 2\n255\n" + std::string("\x01\x01\x01\x02\x02\x02\x03\x03\x03\x04\x04\x04"
                                                             "\x05\x05\x05\x06\x06\x06",
                                                             18);
const std::string kGrain("grain\0\x01\xff bytes", 15);

// The images a scene is written from, in the folder "src": "pic.ppm",
// "sub/pic.ppm" (same base name) and "grain.raw".
void WriteImages(const std::string& folder)
{
    fs::create_directories(folder + "/sub");
    WriteFile(folder + "/pic.ppm", kPpm);
    WriteFile(folder + "/sub/pic.ppm", kOtherPpm);
    WriteFile(folder + "/grain.raw", kGrain);
}

// Clips "Shared" (src/pic.ppm) and "Other" (src/sub/pic.ppm); textures "A"
// and "B" both on Shared, "C" on Other, and "Own" (src/grain.raw) without a
// clip, which version 6 embeds through a clip made for the write.
void BuildClipScene(KQoxSdkManager& manager, KQoxScene& scene, const std::string& src)
{
    KQoxEntity* entity = scene.GetEntity();
    auto clip = [&](const char* name, const std::string& file, const char* relative) {
        KQoxVideo* video = manager.CreateKQoxVideo(name);
        video->SetFileName(file.c_str());
        video->SetRelativeFileName(relative);
        entity->AddVideo(video);
    };
    clip("Shared", src + "/pic.ppm", "pic.ppm");
    clip("Other", src + "/sub/pic.ppm", "sub/pic.ppm");
    auto texture = [&](const char* name, const std::string& file, const char* relative, const char* media) {
        KQoxTexture* made = manager.CreateKQoxTexture(name);
        made->SetFileName(file.c_str());
        made->SetRelativeFileName(relative);
        made->SetMediaName(media);
        entity->AddTexture(made);
    };
    texture("A", src + "/pic.ppm", "pic.ppm", "Video::Shared");
    texture("B", src + "/pic.ppm", "", "Video::Shared");
    texture("C", src + "/sub/pic.ppm", "sub/pic.ppm", "Video::Other");
    texture("Own", src + "/grain.raw", "", "");
}

} // namespace

// A file read away from the images its clips embed: each texture of an
// extracted clip names a file that exists with the image's bytes. Its own
// file is kept where found (by its name, else by its relative name taken
// from the file's folder); otherwise it names the extracted media, as its
// clip does. Two clips of one base name extract to two files. A second
// read, over the media extracted by the first, gives the same.
TEST(NativeTextureMedia, TexturesOfExtractedClipsNameFilesThatExist)
{
    struct Form
    {
        int mFormat;
    };
    const Form forms[] = {{eEXPORT_QOX_BINARY},
                          {eEXPORT_QOX_ASCII},
                          {eEXPORT_QOX_ENCRYPTED},
                          {eEXPORT_QOX5_BINARY},
                          {eEXPORT_QOX5_ASCII}};
    enum Images
    {
        eGONE,  // the images' folder is removed
        eKEPT,  // the images stay where the scene was written
        eBESIDE // the images are removed but copies lie beside the moved file
    };
    // What each texture names after the read: "@" stands for the moved
    // file's folder, "$" for the images' folder; its file holds bytes.
    struct Expected
    {
        const char* mTexture;
        const char* mFileName;
        const char* mRelativeFileName;
        const std::string* mBytes;
    };
    struct Case
    {
        Images mImages;
        std::vector<Expected> mTextures;
    };
    const Case cases[] = {
        {eGONE,
         {{"A", "@/scene.qox.media/pic.ppm", "scene.qox.media/pic.ppm", &kPpm},
          {"B", "@/scene.qox.media/pic.ppm", "scene.qox.media/pic.ppm", &kPpm},
          {"C", "@/scene.qox.media/pic-1.ppm", "scene.qox.media/pic-1.ppm", &kOtherPpm},
          {"Own", "@/scene.qox.media/grain.raw", "scene.qox.media/grain.raw", &kGrain}}},
        {eKEPT,
         {{"A", "$/pic.ppm", "pic.ppm", &kPpm},
          {"B", "$/pic.ppm", "", &kPpm},
          {"C", "$/sub/pic.ppm", "sub/pic.ppm", &kOtherPpm},
          {"Own", "$/grain.raw", "", &kGrain}}},
        {eBESIDE,
         {{"A", "@/pic.ppm", "pic.ppm", &kPpm},
          {"B", "@/scene.qox.media/pic.ppm", "scene.qox.media/pic.ppm", &kPpm},
          {"C", "@/sub/pic.ppm", "sub/pic.ppm", &kOtherPpm},
          {"Own", "@/scene.qox.media/grain.raw", "scene.qox.media/grain.raw", &kGrain}}},
    };
    for (const Form& form : forms)
        for (const Case& row : cases)
        {
            SCOPED_TRACE("format " + std::to_string(form.mFormat) + " images " + std::to_string(row.mImages));
            TempDir dir;
            const std::string src = dir.File("src"), away = dir.File("away");
            WriteImages(src);
            fs::create_directories(away);
            {
                KQoxSdkManager manager;
                manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
                KQoxScene scene(manager);
                BuildClipScene(manager, scene, src);
                ASSERT_TRUE(Export(manager, scene, src + "/scene.qox", form.mFormat, true));
            }
            fs::rename(src + "/scene.qox", away + "/scene.qox");
            if (row.mImages == eBESIDE)
            {
                fs::create_directories(away + "/sub");
                fs::copy_file(src + "/pic.ppm", away + "/pic.ppm");
                fs::copy_file(src + "/sub/pic.ppm", away + "/sub/pic.ppm");
            }
            if (row.mImages != eKEPT)
                fs::remove_all(src);
            auto place = [&](const char* pattern) {
                std::string text(pattern);
                if (!text.empty() && (text[0] == '@' || text[0] == '$'))
                    text = (text[0] == '@' ? away : src) + text.substr(1);
                return text;
            };
            for (int pass = 0; pass < 2; ++pass)
            {
                SCOPED_TRACE(pass == 0 ? "first read" : "read again over the media extracted");
                KQoxSdkManager reader;
                reader.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
                KQoxScene read(reader);
                ASSERT_TRUE(Import(reader, read, away + "/scene.qox"));
                for (const Expected& expected : row.mTextures)
                {
                    SCOPED_TRACE(expected.mTexture);
                    KQoxTexture* texture = TextureNamed(read, ("Texture::" + std::string(expected.mTexture)).c_str());
                    ASSERT_NE(texture, nullptr);
                    EXPECT_EQ(std::string(texture->GetFileName()), place(expected.mFileName));
                    EXPECT_EQ(std::string(texture->GetRelativeFileName()), expected.mRelativeFileName);
                    EXPECT_EQ(ReadFile(std::string(texture->GetFileName())), *expected.mBytes);
                    // Its clip names the extracted media, and so does the
                    // texture when its own file is not found.
                    KQoxVideo* clip = ClipOf(read, texture);
                    ASSERT_NE(clip, nullptr);
                    const std::string clipFile = clip->GetFileName() ? clip->GetFileName() : "";
                    EXPECT_EQ(ReadFile(clipFile), *expected.mBytes);
                    EXPECT_EQ(clipFile.rfind(away + "/scene.qox.media/", 0), 0u) << clipFile;
                    const bool extracted = std::string(expected.mFileName).find(".media/") != std::string::npos;
                    EXPECT_TRUE(!extracted || clipFile == texture->GetFileName()) << clipFile;
                }
            }
        }
}

namespace {

// Each clip of the scene: its name, relative name and offset; clips not
// among own (made for textures by the write) by their name alone.
std::string ClipListing(KQoxScene& scene, const std::vector<std::string>& own)
{
    std::ostringstream out;
    KQoxEntity* entity = scene.GetEntity();
    for (int i = 0; i < entity->GetVideoCount(); ++i)
    {
        KQoxVideo* clip = static_cast<KQoxVideo*>(entity->GetVideo(i));
        out << clip->GetName();
        if (std::find(own.begin(), own.end(), clip->GetName()) != own.end())
            out << "|" << clip->GetRelativeFileName() << "|" << clip->GetOffset().Get();
        out << "\n";
    }
    return out.str();
}

} // namespace

// Every form of both versions embeds the files of textures without a clip
// when media are on: the read gives each image back (its clip's file holds
// the image's bytes), names each file not found, and keeps the scene's own
// clips as they were. Media off, or nothing to embed, writes the same bytes.
TEST(NativeTextureMedia, EveryVersionEmbedsTextureFiles)
{
    const int formats[] = {eEXPORT_QOX5_BINARY, eEXPORT_QOX5_ASCII, eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII,
                           eEXPORT_QOX_ENCRYPTED};
    for (int format : formats)
        for (bool media : {true, false})
        {
            SCOPED_TRACE("format " + std::to_string(format) + (media ? " media on" : " media off"));
            TempDir dir;
            const std::string src = dir.File("src");
            WriteImages(src);
            KQoxSdkManager manager;
            manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
            KQoxScene scene(manager);
            BuildClipScene(manager, scene, src);
            // Two more textures without a clip: "Flat", an image a converter
            // takes (stored as TIFF), and "Lost", whose file is missing.
            KQoxTexture* flat = manager.CreateKQoxTexture("Flat");
            flat->SetFileName((src + "/sub/pic.ppm").c_str());
            scene.GetEntity()->AddTexture(flat);
            KQoxTexture* lost = manager.CreateKQoxTexture("Lost");
            lost->SetFileName((src + "/none.ppm").c_str());
            scene.GetEntity()->AddTexture(lost);
            const std::vector<std::string> own = {"Video::Shared", "Video::Other"};
            const std::string clips = ClipListing(scene, own);
            const std::string listing = fileiotest::ListScene(manager, scene);

            const std::string name = src + "/scene.qox";
            KString message;
            ASSERT_TRUE(Export(manager, scene, name, format, media, &message));
            EXPECT_EQ(std::string(message.ToChars()),
                      media ? "Texture file not found, its media is not embedded: " + src + "/none.ppm\n" : "");
            EXPECT_EQ(fileiotest::ListScene(manager, scene), listing);

            KQoxSdkManager reader;
            reader.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
            KQoxScene read(reader);
            ASSERT_TRUE(Import(reader, read, name));
            EXPECT_EQ(ClipListing(read, own), clips + (media ? "Video::Own\nVideo::Flat\n" : ""));
            const std::pair<const char*, const std::string*> images[] = {
                {"Texture::Own", &kGrain}, {"Texture::Flat", &kOtherPpm}, {"Texture::A", &kPpm}};
            for (const auto& image : images)
            {
                SCOPED_TRACE(image.first);
                KQoxTexture* texture = TextureNamed(read, image.first);
                ASSERT_NE(texture, nullptr);
                KQoxVideo* clip = ClipOf(read, texture);
                if (!media)
                {
                    EXPECT_EQ(clip == nullptr, std::string(texture->GetMediaName()).empty());
                    continue;
                }
                ASSERT_NE(clip, nullptr);
                const std::string extracted = clip->GetFileName() ? clip->GetFileName() : "";
                EXPECT_EQ(extracted.rfind(name + ".media/", 0), 0u) << extracted;
                EXPECT_EQ(ReadFile(extracted), *image.second);
            }
            EXPECT_STREQ(TextureNamed(read, "Texture::Lost")->GetMediaName(), "");

            // With no image left to embed, media on writes what media off writes.
            const std::string off = dir.File("off.qox"), none = dir.File("none.qox"), written = ReadFile(name);
            ASSERT_TRUE(Export(manager, scene, off, format, false));
            fs::remove_all(src);
            ASSERT_TRUE(Export(manager, scene, none, format, true));
            if (format != eEXPORT_QOX_ENCRYPTED) // each encrypted file has a salt of its own
            {
                EXPECT_EQ(ReadFile(none), ReadFile(off));
                EXPECT_EQ(written == ReadFile(off), !media);
            }
        }
}
