// Texture files without a video clip are embedded as media of clips that
// the writer makes for the write only: the file carries them, reading gives
// each texture its clip with the media, and the caller's scene is exactly
// as it was (objects, entity entries, connections, names). Read away from
// its images, a file's textures name their own files where those are found,
// else the media extracted from it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "base/kfile.h"
#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox_private.h"
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
using fileiotest::PpmConverter;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// A 3 x 2 binary PPM image: six RGB pixels.
const std::string kPixels("\x10\x20\x30\xff\x00\x7f\x01\x02\x03\xfe\xfd\xfc\x00\x00\x00\x80\x81\x82", 18);
const std::string kPpm = "P6\n3 2\n255\n" + kPixels;

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

// ---- where a read extracts media, and what stands there ----

namespace {

const uid_t kNobody = 65534; // the reader when root reads as another user
const uid_t kOther = 12345;  // a user who plants files
const gid_t kOtherGroup = 12346; // its group, numbered unlike it
// A read held up for good ends its child with SIGALRM after this many
// seconds, so that it fails the test instead of hanging it.
const unsigned kHeldForGood = 20;

const int kNativeForms[] = {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX_ENCRYPTED, eEXPORT_QOX5_BINARY,
                            eEXPORT_QOX5_ASCII};

// A scene whose clips "Shared" (src/pic.ppm, embedded as TIFF), "Other"
// (src/sub/pic.ppm: the same base name) and "Grain" (src/grain.raw, no
// converter: embedded as it is) each have a texture ("A", "C", "G"),
// written in src and moved to lib/scene.qox; src is then removed, so every
// texture names its extracted image. Media are extracted to
// lib/scene.qox.media or under cache ($XDG_CACHE_HOME of the reader).
struct PlacedScene
{
    explicit PlacedScene(int format)
        : mSrc(mDir.File("src"))
        , mLib(mDir.File("lib"))
        , mScene(mLib + "/scene.qox")
        , mMedia(mScene + ".media")
        , mCache(mDir.File("cache"))
        , mVictim(mDir.File("victim"))
    {
        // Another user who reads it must reach it.
        chmod(mDir.Path().c_str(), 0755);
        WriteImages(mSrc);
        fs::create_directories(mLib);
        fs::create_directories(mCache);
        fs::create_directories(mVictim);
        // As a user's cache folder is, whatever the umask.
        chmod(mCache.c_str(), 0700);
        WriteFile(mVictim + "/pic.ppm", "a file of the victim's\n");
        KQoxSdkManager manager;
        manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
        KQoxScene scene(manager);
        KQoxEntity* entity = scene.GetEntity();
        for (const auto& [clip, texture, relative] :
             {std::tuple<const char*, const char*, const char*>{"Shared", "A", "pic.ppm"},
              {"Other", "C", "sub/pic.ppm"},
              {"Grain", "G", "grain.raw"}})
        {
            const std::string file = mSrc + "/" + relative;
            KQoxVideo* video = manager.CreateKQoxVideo(clip);
            video->SetFileName(file.c_str());
            video->SetRelativeFileName(relative);
            entity->AddVideo(video);
            KQoxTexture* made = manager.CreateKQoxTexture(texture);
            made->SetFileName(file.c_str());
            made->SetRelativeFileName(relative);
            made->SetMediaName((std::string("Video::") + clip).c_str());
            entity->AddTexture(made);
        }
        EXPECT_TRUE(Export(manager, scene, mSrc + "/scene.qox", format, true));
        fs::rename(mSrc + "/scene.qox", mScene);
        fs::remove_all(mSrc);
        // Readable by another user whatever the umask.
        chmod(mLib.c_str(), 0755);
        chmod(mScene.c_str(), 0644);
    }
    ~PlacedScene()
    {
        // Folders closed by a case are opened again to be removed.
        for (const std::string& folder : {mLib, mMedia, mDir.File("closed")})
            chmod(folder.c_str(), 0755);
    }

    TempDir mDir;
    std::string mSrc, mLib, mScene, mMedia, mCache, mVictim;
};

// The scene read in a child process (as "nobody" when asOther and root),
// with $XDG_CACHE_HOME at cacheHome: each texture's file and relative name,
// and the read's message; "(child died)" when the read did not end.
std::string ReadInChild(const std::string& scene, const std::string& cacheHome, bool asOther, bool converter)
{
    return qoxtest::ChildText([&]() -> std::string {
        alarm(kHeldForGood);
        if (asOther && geteuid() == 0 && !qoxtest::BecomeUser(kNobody, kNobody))
            return "(cannot become another user)";
        setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
        KQoxSdkManager reader;
        if (converter)
            reader.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
        KQoxScene read(reader);
        KQoxImporter importer(reader);
        if (!importer.Initialize(scene.c_str()) || !importer.Import(read))
            return std::string("read failed: ") + importer.GetLastErrorString();
        std::string out;
        for (const char* name : {"A", "C", "G"})
        {
            KQoxTexture* texture = TextureNamed(read, (std::string("Texture::") + name).c_str());
            if (!texture)
                return std::string("no texture ") + name;
            out += std::string(name) + " " + texture->GetFileName() + " | " + texture->GetRelativeFileName() + "\n";
        }
        KString message;
        importer.GetMessage(message);
        return out + "message: " + message.ToChars();
    });
}

// What stands at a path, for telling that a read left it as it was: its
// kind, inode and owner, and its bytes or the link's target.
std::string Snapshot(const std::string& path)
{
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return "(none)";
    std::string text = std::to_string(status.st_mode) + " " + std::to_string(status.st_ino) + " " +
                       std::to_string(status.st_uid) + " ";
    if (S_ISLNK(status.st_mode))
        return text + fs::read_symlink(path).string();
    if (S_ISDIR(status.st_mode))
    {
        for (const std::string& name : qoxtest::ListDirectory(path))
            text += name + ":" + Snapshot(path + "/" + name) + ";";
        return text;
    }
    return S_ISREG(status.st_mode) ? text + ReadFile(path) : text;
}

// A place where things stand before the read, and what the read gives.
struct Placement
{
    const char* mWhat;
    // Plants what stands at the names (in the scene's folder, the media
    // folder, the cache); the paths to find as they were after the read.
    std::function<std::vector<std::string>(const PlacedScene&)> mPlant;
    bool mLibReadOnly; // the scene's folder cannot be written (read as "nobody" when root)
    bool mCacheClosed; // $XDG_CACHE_HOME is a folder the reader cannot write
    // The texture lines and message the read gives: "{media}" stands for
    // lib/scene.qox.media, "{cache}" for the read's folder in the cache and
    // "{up}" for its path from lib, "{lib}", "{src}" and "{closed}" for
    // those folders.
    std::string mRead;
    // The bytes of A's, C's and G's files (null: not checked).
    const std::string* mBytes[3];
    bool mConverter = true; // the reader can make PPM images from TIFF
};

// Every placement read in every native form: each case reads as it says,
// leaves what was planted as it was, and leaves no fresh file behind.
void ReadEveryFormPlaced(const std::vector<Placement>& placements)
{
    for (int format : kNativeForms)
        for (const Placement& row : placements)
        {
            SCOPED_TRACE(std::string(row.mWhat) + ", format " + std::to_string(format));
            PlacedScene placed(format);
            const std::vector<std::string> guarded = row.mPlant(placed);
            std::vector<std::string> before;
            for (const std::string& path : guarded)
                before.push_back(Snapshot(path));
            const std::string closed = placed.mDir.File("closed");
            const bool asOther = row.mLibReadOnly || row.mCacheClosed;
            if (row.mLibReadOnly)
                chmod(placed.mLib.c_str(), 0555);
            if (row.mCacheClosed)
            {
                fs::create_directories(closed);
                chmod(closed.c_str(), 0555);
            }
            // The reader's own cache folder.
            if (asOther && geteuid() == 0)
            {
                EXPECT_EQ(chown(placed.mCache.c_str(), kNobody, kNobody), 0);
                EXPECT_TRUE(!row.mCacheClosed || chown(closed.c_str(), kNobody, kNobody) == 0);
            }
            const std::string read =
                ReadInChild(placed.mScene, row.mCacheClosed ? closed : placed.mCache, asOther, row.mConverter);

            // The read's folder in the cache, when it made one.
            const std::string extracted = placed.mCache + "/qoxsdk/media";
            const std::vector<std::string> made = qoxtest::ListDirectory(extracted);
            const std::string key = made.size() == 1 ? made[0] : "(no folder)";
            char real[PATH_MAX];
            const std::string cache = realpath((extracted + "/" + key).c_str(), real) ? real : "(none)";
            auto expand = [&](std::string text) {
                const std::pair<const char*, std::string> names[] = {
                    {"{media}", placed.mMedia}, {"{cache}", cache},     {"{up}", "../cache/qoxsdk/media/" + key},
                    {"{lib}", placed.mLib},     {"{src}", placed.mSrc}, {"{closed}", closed}};
                for (const auto& [token, value] : names)
                    for (size_t at; (at = text.find(token)) != std::string::npos;)
                        text.replace(at, std::strlen(token), value);
                return text;
            };
            EXPECT_EQ(read, expand(row.mRead));
            // Each texture's file holds the bytes it should.
            const std::vector<std::string> lines = qoxtest::SplitLines(read);
            for (size_t t = 0; t < 3 && lines.size() > 3; ++t)
                if (row.mBytes[t])
                {
                    const std::string file = lines[t].substr(2, lines[t].find(" | ") - 2);
                    EXPECT_EQ(ReadFile(file), *row.mBytes[t]) << file;
                }
            for (size_t i = 0; i < guarded.size(); ++i)
                EXPECT_EQ(Snapshot(guarded[i]), before[i]) << guarded[i];
            for (const std::string& folder : {placed.mMedia, cache})
                for (const std::string& name : qoxtest::ListDirectory(folder))
                    EXPECT_NE(name.rfind(".qox-", 0), 0u) << "left " << folder << "/" << name;
        }
}

// The media folder made by the test (as the reader would), with mode.
void MakeMediaFolder(const PlacedScene& placed, mode_t mode)
{
    fs::create_directories(placed.mMedia);
    chmod(placed.mMedia.c_str(), mode);
}

// The reads that extract into the media folder beside the scene, and those
// that find it refused and extract into the cache.
const std::string kBeside = "A {media}/pic.ppm | scene.qox.media/pic.ppm\n"
                            "C {media}/pic-1.ppm | scene.qox.media/pic-1.ppm\n"
                            "G {media}/grain.raw | scene.qox.media/grain.raw\n"
                            "message: ";
const std::string kInCache = "A {cache}/pic.ppm | {up}/pic.ppm\n"
                             "C {cache}/pic-1.ppm | {up}/pic-1.ppm\n"
                             "G {cache}/grain.raw | {up}/grain.raw\n"
                             "message: ";
// Those that find the images' names taken in the media folder.
const std::string kNumbered = "A {media}/pic-1.ppm | scene.qox.media/pic-1.ppm\n"
                              "C {media}/pic-2.ppm | scene.qox.media/pic-2.ppm\n"
                              "G {media}/grain-1.raw | scene.qox.media/grain-1.raw\n"
                              "message: ";

// Nothing planted.
std::vector<std::string> PlantNothing(const PlacedScene&)
{
    return {};
}

} // namespace

// Whatever another user planted at the media folder's name or at an image's
// name is never written through nor replaced: a link to a folder or a file,
// a FIFO (which never holds the read up), a folder others may write. The
// read takes the cache, or a numbered name in its own folder, and the
// victims are left as they were.
TEST(NativeTextureMedia, ExtractionNeverWritesThroughWhatStandsAtItsNames)
{
    auto fifos = [](const PlacedScene& placed) {
        MakeMediaFolder(placed, 0755);
        for (const char* name : {"/pic.ppm", "/grain.raw"})
            EXPECT_EQ(mkfifo((placed.mMedia + name).c_str(), 0666), 0);
        return std::vector<std::string>{placed.mMedia + "/pic.ppm", placed.mMedia + "/grain.raw"};
    };
    const std::vector<Placement> placements = {
        {"nothing there", PlantNothing, false, false, kBeside, {&kPpm, &kOtherPpm, &kGrain}},
        {"a link to a folder at the media folder's name",
         [](const PlacedScene& placed) {
             fs::create_directory_symlink(placed.mVictim, placed.mMedia);
             return std::vector<std::string>{placed.mVictim, placed.mMedia};
         },
         false,
         false,
         kInCache,
         {&kPpm, &kOtherPpm, &kGrain}},
        {"a FIFO at the media folder's name",
         [](const PlacedScene& placed) {
             EXPECT_EQ(mkfifo(placed.mMedia.c_str(), 0666), 0);
             return std::vector<std::string>{placed.mMedia};
         },
         false,
         false,
         kInCache,
         {&kPpm, &kOtherPpm, &kGrain}},
        {"a media folder a shared group may write",
         [](const PlacedScene& placed) {
             // Another group takes root to give; a user's own group may be
             // private (and then its writing the user's), so for another
             // user others may write it instead.
             MakeMediaFolder(placed, 0775);
             if (chown(placed.mMedia.c_str(), -1, kNobody) != 0)
                 chmod(placed.mMedia.c_str(), 0777);
             return std::vector<std::string>{placed.mMedia};
         },
         false,
         false,
         kInCache,
         {&kPpm, &kOtherPpm, &kGrain}},
        {"links to a file at the images' names",
         [](const PlacedScene& placed) {
             MakeMediaFolder(placed, 0755);
             for (const char* name : {"/pic.ppm", "/grain.raw"})
                 fs::create_symlink(placed.mVictim + "/pic.ppm", placed.mMedia + name);
             return std::vector<std::string>{placed.mVictim, placed.mMedia + "/pic.ppm", placed.mMedia + "/grain.raw"};
         },
         false,
         false,
         kNumbered,
         {&kPpm, &kOtherPpm, &kGrain}},
        {"FIFOs at the images' names", fifos, false, false, kNumbered, {&kPpm, &kOtherPpm, &kGrain}},
    };
    ReadEveryFormPlaced(placements);
}

// Root reading where another user planted a media folder, or files at the
// images' names in root's own media folder: the other user's folder and
// files are neither written nor named.
TEST(NativeTextureMedia, ExtractionTakesNothingOfAnotherUsers)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's files needs root";
    const std::vector<Placement> placements = {
        {"another user's media folder",
         [](const PlacedScene& placed) {
             MakeMediaFolder(placed, 0755);
             WriteFile(placed.mMedia + "/pic.ppm", "the other user's\n");
             EXPECT_EQ(chown((placed.mMedia + "/pic.ppm").c_str(), kOther, kOtherGroup), 0);
             EXPECT_EQ(chown(placed.mMedia.c_str(), kOther, kOtherGroup), 0);
             return std::vector<std::string>{placed.mMedia};
         },
         false,
         false,
         kInCache,
         {&kPpm, &kOtherPpm, &kGrain}},
        {"another user's files at the images' names",
         [](const PlacedScene& placed) {
             MakeMediaFolder(placed, 0755);
             for (const char* name : {"/pic.ppm", "/grain.raw"})
             {
                 WriteFile(placed.mMedia + name, "the other user's\n");
                 EXPECT_EQ(chown((placed.mMedia + name).c_str(), kOther, kOtherGroup), 0);
             }
             return std::vector<std::string>{placed.mMedia + "/pic.ppm", placed.mMedia + "/grain.raw"};
         },
         false,
         false,
         kNumbered,
         {&kPpm, &kOtherPpm, &kGrain}},
    };
    ReadEveryFormPlaced(placements);
}

// A scene in a folder the reader may not write (root reads it as another
// user): the images are extracted into the reader's cache, and the textures
// name them. Where the cache cannot be written either, or no converter
// makes the image, the read still succeeds and its message names each image
// not extracted and why.
TEST(NativeTextureMedia, ImagesReachTheUserWhereTheScenesFolderCannotTakeThem)
{
    const std::string why = "({lib}/scene.qox.media: Permission denied; {closed}/qoxsdk: Permission denied)";
    const std::vector<Placement> placements = {
        {"a folder the reader may not write", PlantNothing, true, false, kInCache, {&kPpm, &kOtherPpm, &kGrain}},
        {"nothing the reader may write",
         PlantNothing,
         true,
         true,
         "A {src}/pic.ppm | pic.ppm\n"
         "C {src}/sub/pic.ppm | sub/pic.ppm\n"
         "G {src}/grain.raw | grain.raw\n"
         "message: Media not extracted " +
             why + ": {src}/pic.ppm\nMedia not extracted " + why + ": {src}/sub/pic.ppm\nMedia not extracted " + why +
             ": {src}/grain.raw\n",
         {nullptr, nullptr, nullptr}},
        {"images no converter of the reader's makes",
         PlantNothing,
         false,
         false,
         "A {src}/pic.ppm | pic.ppm\n"
         "C {src}/sub/pic.ppm | sub/pic.ppm\n"
         "G {media}/grain.raw | scene.qox.media/grain.raw\n"
         "message: Media not extracted (no image converter makes it): {src}/pic.ppm\n"
         "Media not extracted (no image converter makes it): {src}/sub/pic.ppm\n",
         {nullptr, nullptr, &kGrain},
         false},
    };
    ReadEveryFormPlaced(placements);
}

// A read never replaces a file of the user's there: one with the image's
// bytes is used as it is (the same file), one the user retouched is kept
// and named, and the message says that no record names it (the folder has
// none) and how to take the image in the file.
TEST(NativeTextureMedia, ARetouchedImageIsKeptAndNamed)
{
    static const std::string kRetouched = "P6\n3 2\n255\nretouched by hand";
    const std::vector<Placement> placements = {
        {"a retouched image and one as extracted",
         [](const PlacedScene& placed) {
             MakeMediaFolder(placed, 0755);
             WriteFile(placed.mMedia + "/pic.ppm", kRetouched);
             WriteFile(placed.mMedia + "/grain.raw", kGrain);
             return std::vector<std::string>{placed.mMedia + "/pic.ppm", placed.mMedia + "/grain.raw"};
         },
         false,
         false,
         kBeside + "Media file kept, no record names it as extracted (remove it and read again to take the image "
                   "in the file): {media}/pic.ppm\n",
         {&kRetouched, &kOtherPpm, &kGrain}},
    };
    ReadEveryFormPlaced(placements);
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

// An image whose name is too long for the fresh file it is first written to
// is not extracted, and the message says why; the folder still takes every
// other image, and nothing goes to the cache.
TEST(NativeTextureMedia, AnImageNameTooLongLeavesTheFolderToTheOthers)
{
    // A base name a folder takes, too long with the fresh file's prefix.
    const std::string longName = "g." + std::string(251, 'x');
    for (int format : kNativeForms)
    {
        SCOPED_TRACE("format " + std::to_string(format));
        TempDir dir;
        const std::string src = dir.File("src"), lib = dir.File("lib"), cache = dir.File("cache");
        const std::string scenePath = lib + "/scene.qox", media = scenePath + ".media";
        fs::create_directories(src);
        fs::create_directories(lib);
        fs::create_directories(cache);
        chmod(cache.c_str(), 0700);
        WriteFile(src + "/" + longName, kGrain);
        WriteFile(src + "/grain.raw", kOtherPpm);
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxEntity* entity = scene.GetEntity();
            for (const auto& [clip, texture, relative] :
                 {std::tuple<const char*, const char*, std::string>{"Long", "L", longName},
                  {"Grain", "G", "grain.raw"}})
            {
                const std::string file = src + "/" + relative;
                KQoxVideo* video = manager.CreateKQoxVideo(clip);
                video->SetFileName(file.c_str());
                entity->AddVideo(video);
                KQoxTexture* made = manager.CreateKQoxTexture(texture);
                made->SetFileName(file.c_str());
                made->SetMediaName((std::string("Video::") + clip).c_str());
                entity->AddTexture(made);
            }
            ASSERT_TRUE(Export(manager, scene, src + "/scene.qox", format, true));
        }
        fs::rename(src + "/scene.qox", scenePath);
        fs::remove_all(src);
        const std::string read = qoxtest::ChildText([&]() -> std::string {
            setenv("XDG_CACHE_HOME", cache.c_str(), 1);
            KQoxSdkManager reader;
            KQoxScene scene(reader);
            KQoxImporter importer(reader);
            if (!importer.Initialize(scenePath.c_str()) || !importer.Import(scene))
                return std::string("read failed: ") + importer.GetLastErrorString();
            std::string out;
            for (const char* name : {"Texture::L", "Texture::G"})
            {
                KQoxTexture* texture = TextureNamed(scene, name);
                out += texture ? std::string(texture->GetFileName()) + "\n" : std::string("none\n");
            }
            KString message;
            importer.GetMessage(message);
            return out + message.ToChars();
        });
        EXPECT_EQ(read, src + "/" + longName + "\n" + media + "/grain.raw\nMedia not extracted (" + media +
                            ": File name too long): " + src + "/" + longName + "\n");
        EXPECT_EQ(ReadFile(media + "/grain.raw"), kOtherPpm);
        EXPECT_EQ(qoxtest::ListDirectory(media), (std::vector<std::string>{".qoxsdk-extracted", "grain.raw"}));
        EXPECT_EQ(qoxtest::ListDirectory(cache), std::vector<std::string>{});
    }
}

// ---- extracted images against later reads ----

namespace {

using Images = std::vector<std::pair<std::string, std::string>>; // base name, bytes

// One clip "Cn" with a texture "Tn" for each image, written in format to
// scene from the folder "src" beside it, which is then removed: each
// texture names its extracted image. PPM images are embedded as TIFF (the
// writer's converter takes them), the others as they are.
void WriteMediaScene(const std::string& scene, int format, const Images& images)
{
    const std::string src = fs::path(scene).parent_path().string() + "/src";
    fs::create_directories(src);
    KQoxSdkManager manager;
    manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", &PpmConverter);
    KQoxScene built(manager);
    for (size_t i = 0; i < images.size(); ++i)
    {
        const std::string file = src + "/" + images[i].first, clip = "C" + std::to_string(i + 1);
        WriteFile(file, images[i].second);
        KQoxVideo* video = manager.CreateKQoxVideo(clip.c_str());
        video->SetFileName(file.c_str());
        built.GetEntity()->AddVideo(video);
        KQoxTexture* texture = manager.CreateKQoxTexture(("T" + std::to_string(i + 1)).c_str());
        texture->SetFileName(file.c_str());
        texture->SetMediaName(("Video::" + clip).c_str());
        built.GetEntity()->AddTexture(texture);
    }
    EXPECT_TRUE(Export(manager, built, src + "/scene.qox", format, true));
    fs::rename(src + "/scene.qox", scene);
    fs::remove_all(src);
}

// The scene read (PPM images made through converter): the file of each of
// its count textures, one a line, and the read's message.
std::string ReadMediaScene(const std::string& scene, size_t count, KQoxImageConverterFunction converter = &PpmConverter)
{
    KQoxSdkManager reader;
    reader.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", converter);
    KQoxScene read(reader);
    KQoxImporter importer(reader);
    if (!importer.Initialize(scene.c_str()) || !importer.Import(read))
        return std::string("read failed: ") + importer.GetLastErrorString();
    std::string out;
    for (size_t i = 1; i <= count; ++i)
    {
        KQoxTexture* texture = TextureNamed(read, ("Texture::T" + std::to_string(i)).c_str());
        out += texture ? std::string(texture->GetFileName()) + "\n" : "no texture T" + std::to_string(i) + "\n";
    }
    KString message;
    importer.GetMessage(message);
    return out + message.ToChars();
}

// Each file of a folder (and the folder itself) by inode and change time,
// for telling that a read wrote nothing there.
std::string Stamps(const std::string& folder)
{
    std::vector<std::string> names = qoxtest::ListDirectory(folder);
    names.push_back(".");
    std::string text;
    for (const std::string& name : names)
    {
        struct stat status;
        if (lstat((folder + "/" + name).c_str(), &status) == 0)
            text += name + " " + std::to_string(status.st_ino) + " " + std::to_string(status.st_mtim.tv_sec) + " " +
                    std::to_string(status.st_ctim.tv_sec) + "." + std::to_string(status.st_ctim.tv_nsec) + "\n";
    }
    return text;
}

} // namespace

// A scene read again: unchanged, the read writes nothing (the media folder
// and its images stay as they were); saved again with new images, the
// images the earlier read extracted give way to the new ones; an image the
// user retouched after extraction is kept and named either way. Beside the
// scene and in the cache (where a FIFO holds the media folder's name) alike.
TEST(NativeTextureMedia, ExtractedImagesFollowTheSceneAndRetouchesSurvive)
{
    static const std::string kRetouched = "P6\n3 2\n255\nretouched by hand";
    const Images first = {{"pic.ppm", kPpm}, {"grain.raw", kGrain}};
    const Images second = {{"pic.ppm", kOtherPpm}, {"grain.raw", kGrain + "saved again"}};
    const struct
    {
        const char* mWhat;
        bool mRetouch;
        bool mSaveAgain;
    } cases[] = {{"read again", false, false},
                 {"saved again", false, true},
                 {"retouched and read again", true, false},
                 {"retouched and saved again", true, true}};
    for (bool inCache : {false, true})
        for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY})
            for (const auto& row : cases)
            {
                SCOPED_TRACE(std::string(row.mWhat) + ", format " + std::to_string(format) +
                             (inCache ? ", in the cache" : ""));
                TempDir dir;
                const std::string scene = dir.File("scene.qox"), cache = dir.File("cache");
                fs::create_directories(cache);
                chmod(cache.c_str(), 0700);
                ASSERT_EQ(inCache ? mkfifo((scene + ".media").c_str(), 0666) : 0, 0);
                auto read = [&] {
                    return qoxtest::ChildText([&] {
                        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
                        return ReadMediaScene(scene, 2);
                    });
                };
                WriteMediaScene(scene, format, first);
                const std::string firstRead = read();
                const std::vector<std::string> folders = qoxtest::ListDirectory(cache + "/qoxsdk/media");
                ASSERT_EQ(folders.size(), inCache ? 1u : 0u);
                const std::string media =
                    inCache ? fs::canonical(cache + "/qoxsdk/media/" + folders[0]).string() : scene + ".media";
                const std::string extracted = media + "/pic.ppm\n" + media + "/grain.raw\n";
                ASSERT_EQ(firstRead, extracted);
                if (row.mSaveAgain)
                    WriteMediaScene(scene, format, second);
                if (row.mRetouch)
                    for (const char* name : {"/pic.ppm", "/grain.raw"})
                        WriteFile(media + name, kRetouched);
                const std::string stamps = Stamps(media);
                std::string kept;
                for (const char* name : {"/pic.ppm", "/grain.raw"})
                    if (row.mRetouch)
                        kept += "Media file kept, it differs from the image in the file: " + media + name + "\n";
                EXPECT_EQ(read(), extracted + kept);
                const Images& now = row.mSaveAgain ? second : first;
                EXPECT_EQ(ReadFile(media + "/pic.ppm"), row.mRetouch ? kRetouched : now[0].second);
                EXPECT_EQ(ReadFile(media + "/grain.raw"), row.mRetouch ? kRetouched : now[1].second);
                if (!row.mSaveAgain && !row.mRetouch)
                {
                    EXPECT_EQ(Stamps(media), stamps);
                }
                for (const std::string& name : qoxtest::ListDirectory(media))
                    EXPECT_NE(name.rfind(".qox-", 0), 0u) << "left " << name;
            }
}

// An image too large for the room its folder has left is refused with its
// own cause; the folder still takes the images after it, and nothing goes
// to the cache.
TEST(NativeTextureMedia, AnImageTooLargeLeavesTheFolderToTheOthers)
{
    TempDir dir;
    const std::string scene = dir.File("lib/scene.qox"), media = scene + ".media", cache = dir.File("cache");
    fs::create_directories(dir.File("lib"));
    fs::create_directories(cache);
    WriteMediaScene(scene, eEXPORT_QOX_BINARY,
                    {{"a.raw", kGrain}, {"big.raw", std::string(64 * 1024, 'b')}, {"c.raw", kGrain + "c"}});
    // The room left: no file may grow beyond 16 KB.
    const std::string read = qoxtest::ChildText([&]() -> std::string {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit small = {16 * 1024, 16 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &small) != 0)
            return "(limit not set)";
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        return ReadMediaScene(scene, 3);
    });
    EXPECT_EQ(read, media + "/a.raw\n" + dir.File("lib/src") + "/big.raw\n" + media + "/c.raw\nMedia not extracted (" +
                        media + ": File too large): " + dir.File("lib/src") + "/big.raw\n");
    EXPECT_EQ(ReadFile(media + "/c.raw"), kGrain + "c");
    EXPECT_EQ(qoxtest::ListDirectory(cache), std::vector<std::string>{});
}

namespace {

// A small file system mounted at a folder (none for "") while alive:
// Mounted() false (why saying why) where the process may not mount one.
class SmallMount
{
public:
    SmallMount(const std::string& folder, const char* options)
        : mFolder(folder)
    {
        if (folder.empty())
            return;
        if (mount("qoxtest", folder.c_str(), "tmpfs", 0, options) == 0)
            mMounted = true;
        else
            mWhy = std::string("no tmpfs may be mounted here: ") + std::strerror(errno);
    }
    ~SmallMount()
    {
        if (mMounted)
            umount2(mFolder.c_str(), MNT_DETACH);
    }
    SmallMount(const SmallMount&) = delete;
    SmallMount& operator=(const SmallMount&) = delete;
    bool Mounted() const { return mMounted; }
    const std::string& Why() const { return mWhy; }

private:
    std::string mFolder;
    bool mMounted = false;
    std::string mWhy;
};

} // namespace

// An image the disk beside the scene has no room for goes to the cache,
// which may lie on a disk with room; the images after it still go beside
// the scene, and the message says where that one went and why. Where the
// cache has no room either, the image is refused, each folder's cause
// named.
TEST(NativeTextureMedia, AnImageWithoutRoomBesideTheSceneGoesToTheCache)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const std::string big(3 * 1024 * 1024, 'b');
    for (bool cacheFull : {false, true})
    {
        SCOPED_TRACE(cacheFull ? "no room in the cache either" : "room in the cache");
        TempDir dir;
        const std::string scene = dir.File("scene.qox"), media = scene + ".media", cache = dir.File("cache");
        WriteMediaScene(
            scene, eEXPORT_QOX_BINARY,
            {{"a.raw", std::string(300 * 1024, 'a')}, {"big.raw", big}, {"c.raw", std::string(200 * 1024, 'c')}});
        fs::create_directories(media);
        fs::create_directories(cache);
        // Each a disk of 1 MB, as a user's folders are.
        const SmallMount beside(media, "size=1m,mode=0755");
        const SmallMount cached(cacheFull ? cache : std::string(), "size=1m,mode=0700");
        if (!beside.Mounted() || (cacheFull && !cached.Mounted()))
            GTEST_SKIP() << beside.Why() << cached.Why();
        chmod(cache.c_str(), 0700);
        const std::string read = qoxtest::ChildText([&] {
            setenv("XDG_CACHE_HOME", cache.c_str(), 1);
            return ReadMediaScene(scene, 3);
        });
        const std::vector<std::string> folders = qoxtest::ListDirectory(cache + "/qoxsdk/media");
        ASSERT_EQ(folders.size(), 1u) << read;
        const std::string there = fs::canonical(cache + "/qoxsdk/media/" + folders[0]).string();
        const std::string noRoom = media + ": No space left on device";
        EXPECT_EQ(read, media + "/a.raw\n" + (cacheFull ? dir.File("src") : there) + "/big.raw\n" + media + "/c.raw\n" +
                            (cacheFull ? "Media not extracted (" + noRoom + "; " + there +
                                             ": No space left on device): " + dir.File("src") + "/big.raw\n"
                                       : "Media extracted into the cache (" + noRoom + "): " + there + "/big.raw\n"));
        EXPECT_EQ(ReadFile(there + "/big.raw"), cacheFull ? "" : big);
        EXPECT_EQ(ReadFile(media + "/c.raw"), std::string(200 * 1024, 'c'));
        EXPECT_EQ(qoxtest::ListDirectory(media), (std::vector<std::string>{".qoxsdk-extracted", "a.raw", "c.raw"}));
        EXPECT_EQ(qoxtest::ListDirectory(there),
                  cacheFull ? std::vector<std::string>{} : (std::vector<std::string>{".qoxsdk-extracted", "big.raw"}));
    }
}

// Media names of a damaged or hand-edited file that name no file ("", ".",
// "..", a folder's name) are not extracted, and the message names each.
TEST(NativeTextureMedia, MediaNamesThatNameNoFileAreNamed)
{
    TempDir dir;
    const std::string scene = dir.File("scene.qox"), src = dir.File("src");
    WriteMediaScene(scene, eEXPORT_QOX_ASCII,
                    {{"n1.raw", kGrain}, {"n2.raw", kGrain}, {"n3.raw", kGrain}, {"n4.raw", kGrain}});
    std::string text = ReadFile(scene);
    const std::pair<std::string, std::string> edits[] = {
        {src + "/n1.raw", ""}, {src + "/n2.raw", "."}, {src + "/n3.raw", src + "/.."}, {src + "/n4.raw", "sub/"}};
    for (const auto& [from, to] : edits)
        for (size_t at; (at = text.find("\"" + from + "\"")) != std::string::npos;)
            text.replace(at, from.size() + 2, "\"" + to + "\"");
    WriteFile(scene, text);
    const std::string why = "Media not extracted (the file gives it no usable name): ";
    EXPECT_EQ(ReadMediaScene(scene, 4),
              "\n.\n" + src + "/..\nsub/\n" + why + "\"\"\n" + why + ".\n" + why + src + "/..\n" + why + "sub/\n");
    EXPECT_FALSE(fs::exists(scene + ".media"));
}

namespace {

// The modification time of what stands at path (never followed) set back
// by seconds.
void SetBack(const std::string& path, int seconds)
{
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// The names in a folder that fresh files of a read take.
std::vector<std::string> FreshNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::string& name : qoxtest::ListDirectory(folder))
        if (name.rfind(".qox-", 0) == 0)
            names.push_back(name);
    return names;
}

// Images written through it: the second ends the process at once, as a
// reader killed while it extracts.
int PpmConverterKilledAtTheSecond(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    static int written = 0;
    if (mode != 0 && ++written == 2)
        raise(SIGKILL);
    return PpmConverter(mode, fileName, buffer);
}

} // namespace

// A read of a scene saved again (one image changed, three new) meets its
// media folder held by a reader stopped while it held it, or is killed
// while it extracts. Held, the read waits once, a bounded time, however
// many images it has, then goes on: it places the new images where nothing
// stands and says the image it could not replace is not updated. Either
// way every image it put in place is known as its own: read once the
// scene is saved again, each gives way to the scene's new image, and
// nothing is said, and the fresh files the killed reader left are gone.
TEST(NativeTextureMedia, AFolderHeldByAStoppedReaderStallsNoRead)
{
    const Images before = {{"b.raw", kGrain}, {"pic.ppm", kPpm}};
    const Images during = {{"b.raw", kGrain + "b"}, {"pic.ppm", kOtherPpm}, {"a.ppm", kOtherPpm}, {"c.raw", kGrain}};
    const Images after = {{"b.raw", kGrain + "bb"}, {"pic.ppm", kPpm}, {"a.ppm", kPpm}, {"c.raw", kGrain + "c"}};
    for (bool killed : {false, true})
        for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX5_ASCII})
        {
            SCOPED_TRACE(std::string(killed ? "killed" : "held") + ", format " + std::to_string(format));
            TempDir dir;
            const std::string scene = dir.File("scene.qox"), media = scene + ".media";
            std::string names;
            for (const auto& [name, bytes] : after)
                names += media + "/" + name + "\n";
            WriteMediaScene(scene, format, before);
            ASSERT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 2); }),
                      media + "/b.raw\n" + media + "/pic.ppm\n");
            WriteMediaScene(scene, format, during);
            if (killed)
            {
                // Killed at a.ppm: b.raw and pic.ppm replaced, the rest not placed.
                EXPECT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 4, &PpmConverterKilledAtTheSecond); }),
                          "(child died)");
                EXPECT_EQ(ReadFile(media + "/b.raw"), during[0].second);
                EXPECT_EQ(ReadFile(media + "/pic.ppm"), during[1].second);
                // Its fresh files stay until they are a minute old.
                const std::vector<std::string> left = FreshNames(media);
                EXPECT_FALSE(left.empty());
                for (const std::string& name : left)
                    SetBack(media + "/" + name, 61);
            }
            else
            {
                const KDescriptor held(open(media.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                ASSERT_EQ(flock(held.Get(), LOCK_EX), 0);
                EXPECT_EQ(qoxtest::ChildText([&] {
                              alarm(kHeldForGood);
                              KQoxRead6::MediaFiles::sHeldFolderWait = 100;
                              const int waits = KQoxRead6::MediaFiles::sHeldFolderWaits;
                              const std::string read = ReadMediaScene(scene, 4);
                              return read + "waits " + std::to_string(KQoxRead6::MediaFiles::sHeldFolderWaits - waits) +
                                     "\n";
                          }),
                          names +
                              "Media file not updated, another read holds its folder (read again to take the "
                              "image in the file): " +
                              media +
                              "/b.raw\nMedia file not updated, another read holds its folder (read again "
                              "to take the image in the file): " +
                              media + "/pic.ppm\nwaits 1\n");
                EXPECT_EQ(ReadFile(media + "/b.raw"), before[0].second);
                EXPECT_EQ(ReadFile(media + "/pic.ppm"), before[1].second);
                EXPECT_EQ(ReadFile(media + "/a.ppm"), during[2].second);
                EXPECT_EQ(ReadFile(media + "/c.raw"), during[3].second);
            }
            WriteMediaScene(scene, format, after);
            EXPECT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 4); }), names);
            for (const auto& [name, bytes] : after)
                EXPECT_EQ(ReadFile(media + "/" + name), bytes) << name;
            // The journals of the reads before are in the record now.
            for (const std::string& name : qoxtest::ListDirectory(media))
                EXPECT_NE(name.rfind(".qoxsdk-extracted-", 0), 0u) << "left " << name;
            EXPECT_EQ(FreshNames(media), std::vector<std::string>{});
        }
}

// A read that holds a media folder removes the fresh files that readers
// killed on the way left there, once they are a minute old, and nothing
// else: not a fresh file a reader still holds (one stopped on the way),
// nor one made within the minute, nor what is no regular file of the
// user's own, nor another name. An image linked in place from a fresh
// file stays when that name goes.
TEST(NativeTextureMedia, FreshFilesOfReadersGoneAreRemovedAndNothingElse)
{
    TempDir dir;
    const std::string scene = dir.File("scene.qox"), media = scene + ".media";
    WriteMediaScene(scene, eEXPORT_QOX_BINARY, {{"pic.ppm", kPpm}});
    ASSERT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 1); }), media + "/pic.ppm\n");
    enum Kind { eFILE, eHELD, ePLACED, eLINK, eFIFO, eFOLDER, eOTHERS };
    const struct
    {
        const char* mName;
        Kind mKind;
        int mAge; // seconds
        bool mRemoved;
    } rows[] = {
        {".qox-0000000001-1.ppm", eFILE, 120, true},  // an image a killed reader wrote
        {".qox-0000000001-2", eFILE, 61, true},       // a journal or record it was making
        {".qox-0000000002-1.raw", eHELD, 120, false}, // a stopped reader's
        {".qox-0000000004-1.ppm", ePLACED, 120, true}, // linked in place, its reader then killed
        {".qox-0000000003-1.tif", eFILE, 0, false},   // within the minute
        {".qox-0000000003-2.tif", eFILE, 50, false},
        {".qox-link", eLINK, 120, false},
        {".qox-fifo", eFIFO, 120, false},
        {".qox-folder", eFOLDER, 120, false},
        {".qox-others", eOTHERS, 120, false},
        {"qox-0000000001-1.ppm", eFILE, 120, false},
        {".qox0000000001-1.ppm", eFILE, 120, false},
    };
    // Another user's file is made only by root.
    const auto made = [](Kind kind) { return kind != eOTHERS || geteuid() == 0; };
    std::vector<std::unique_ptr<KDescriptor>> held;
    for (const auto& row : rows)
    {
        if (!made(row.mKind))
            continue;
        const std::string path = media + "/" + row.mName;
        int fault = 0;
        if (row.mKind == eLINK)
            fault = symlink("pic.ppm", path.c_str());
        else if (row.mKind == ePLACED)
            fault = link((media + "/pic.ppm").c_str(), path.c_str());
        else if (row.mKind == eFIFO)
            fault = mkfifo(path.c_str(), 0600);
        else if (row.mKind == eFOLDER)
            fault = mkdir(path.c_str(), 0700);
        else
            WriteFile(path, "left");
        if (row.mKind == eHELD)
        {
            held.emplace_back(new KDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC)));
            fault = flock(held.back()->Get(), LOCK_EX);
        }
        if (row.mKind == eOTHERS)
            fault = chown(path.c_str(), kOther, kOtherGroup);
        ASSERT_EQ(fault, 0) << row.mName << ": " << std::strerror(errno);
        SetBack(path, row.mAge);
    }
    EXPECT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 1); }), media + "/pic.ppm\n");
    for (const auto& row : rows)
    {
        if (!made(row.mKind))
            continue;
        struct stat status;
        const bool there = lstat((media + "/" + row.mName).c_str(), &status) == 0;
        EXPECT_EQ(there, !row.mRemoved) << row.mName;
    }
    EXPECT_EQ(ReadFile(media + "/pic.ppm"), kPpm);
}

// Reads of one scene at once, on several threads each with a manager of its
// own, the scene saved again with other images between rounds: each read
// gives every texture a file with the scene's image and says nothing, as
// no file there differs from it.
TEST(NativeTextureMedia, ReadsAtOnceSayNothingOfFilesThatHoldTheImage)
{
    const int kReads = 4, kRounds = 8;
    TempDir dir;
    const std::string scene = dir.File("scene.qox"), media = scene + ".media";
    const std::string names = media + "/pic.ppm\n" + media + "/a.raw\n" + media + "/b.raw\n";
    for (int round = 0; round < kRounds; ++round)
    {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string mark = std::to_string(round);
        const Images images = {
            {"pic.ppm", round % 2 ? kPpm : kOtherPpm}, {"a.raw", kGrain + mark}, {"b.raw", mark + kGrain}};
        WriteMediaScene(scene, round % 2 ? eEXPORT_QOX_BINARY : eEXPORT_QOX_ASCII, images);
        std::vector<std::string> reads(kReads);
        std::vector<std::thread> threads;
        for (int i = 0; i < kReads; ++i)
            threads.emplace_back([&, i] { reads[i] = ReadMediaScene(scene, images.size()); });
        for (std::thread& thread : threads)
            thread.join();
        for (const std::string& read : reads)
            EXPECT_EQ(read, names);
        for (const auto& [name, bytes] : images)
            EXPECT_EQ(ReadFile(media + "/" + name), bytes) << name;
    }
}

// A media folder no record comes with (extracted by the previous version,
// or copied without its dot files) whose images differ from a scene saved
// again: each is kept, and the message says that no record names it and
// how to take the scene's image; a file with the scene's very bytes is in
// place, nothing said. Removed as the message says, the image is taken.
TEST(NativeTextureMedia, AFileNoRecordNamesIsKeptAndSaidSo)
{
    const Images first = {{"pic.ppm", kPpm}, {"grain.raw", kGrain}, {"same.ppm", kPpm}, {"same.raw", kGrain}};
    const Images second = {{"pic.ppm", kOtherPpm}, {"grain.raw", kGrain + "2"}, first[2], first[3]};
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII})
    {
        SCOPED_TRACE("format " + std::to_string(format));
        TempDir dir;
        const std::string scene = dir.File("scene.qox"), media = scene + ".media";
        std::string names;
        for (const auto& [name, bytes] : first)
            names += media + "/" + name + "\n";
        WriteMediaScene(scene, format, first);
        ASSERT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 4); }), names);
        ASSERT_EQ(std::remove((media + "/.qoxsdk-extracted").c_str()), 0);
        WriteMediaScene(scene, format, second);
        const std::string kept =
            "Media file kept, no record names it as extracted (remove it and read again to take the image in the "
            "file): ";
        EXPECT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 4); }),
                  names + kept + media + "/pic.ppm\n" + kept + media + "/grain.raw\n");
        EXPECT_EQ(ReadFile(media + "/pic.ppm"), kPpm);
        EXPECT_EQ(ReadFile(media + "/grain.raw"), kGrain);
        for (const char* name : {"/pic.ppm", "/grain.raw"})
            ASSERT_EQ(std::remove((media + name).c_str()), 0);
        EXPECT_EQ(qoxtest::ChildText([&] { return ReadMediaScene(scene, 4); }), names);
        for (const auto& [name, bytes] : second)
            EXPECT_EQ(ReadFile(media + "/" + name), bytes) << name;
    }
}
