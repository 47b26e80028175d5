// Textures named by a file read from any working folder: the image a map
// names is looked for beside the file that names it, so conversions to the
// native file embed it and conversions to OBJ and 3DS copy it beside the new
// file, which names the copy.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/qox_test_files.h"
#include "export_test_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxtexturecopy_private.h"
#include "formats/reader3ds_test_util.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif
#ifdef QOX_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#endif

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WorkingFolder;
using qoxtest::WriteFile;

namespace {

// A PNG signature and a few bytes, NUL included, told apart by tag.
std::string ImageBytes(const std::string& tag)
{
    return std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + tag;
}

// A textured source file in src/: the image as its map names it, and how
// the source and its image are written.
struct Source
{
    const char* mWhat;
    const char* mFile;    // in src/
    const char* mLibrary; // an OBJ file's material library, in src/
    const char* mMap;     // the map name as written
    const char* mImage;   // the image, in src/
};

const char kObjText[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl Stone\nf 1/1 2/2 3/3\n";

// Writes the source with its material library or material record.
void WriteSource(const std::string& src, const Source& source)
{
    const std::string file = src + "/" + source.mFile;
    if (*source.mLibrary)
    {
        ASSERT_TRUE(WriteFile(file, std::string("mtllib ") + source.mLibrary + "\n" + kObjText));
        ASSERT_TRUE(WriteFile(src + "/" + source.mLibrary,
                              std::string("newmtl Stone\nKd 1 1 1\nmap_Kd ") + source.mMap + "\n"));
        return;
    }
    ASSERT_TRUE(reader3dstest::WriteTexturedTriangle3ds(file, source.mMap));
}

// The textures of the manager that name a file.
std::vector<KQoxTexture*> NamedTextures(KQoxSdkManager& manager)
{
    std::vector<KQoxTexture*> textures;
    for (int i = 0; i < manager.GetKQoxTextureCount(); ++i)
        if (*manager.GetKQoxTexture(i)->GetFileName())
            textures.push_back(manager.GetKQoxTexture(i));
    return textures;
}

// Imports path with the reader's own options; false on failure.
bool Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path)
{
    KQoxImporter& importer = *manager.CreateKQoxImporter();
    EXPECT_TRUE(importer.Initialize(path.c_str())) << importer.GetLastErrorString();
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
    const bool ok = importer.Import(scene, options.get());
    EXPECT_TRUE(ok) << importer.GetLastErrorString();
    return ok;
}

struct Target
{
    int mFormat;
    const char* mFile; // in out/
};

// Converts src/ of root to out/, reading and writing in the working folder
// root (relative paths) or / (absolute paths), and reads the new file back
// from /.
void Convert(const Source& source, const Target& target, bool fromParent)
{
    TempDir root;
    for (const char* folder : {"src", "out", "src/TX_Scene", "src/mats", "src/t", "src/textures"})
        ASSERT_EQ(mkdir(root.File(folder).c_str(), 0700), 0);
    WriteSource(root.File("src"), source);
    const std::string image = root.File(std::string("src/") + source.mImage);
    const std::string bytes = ImageBytes(source.mWhat);
    ASSERT_TRUE(WriteFile(image, bytes));
    const std::string base = image.substr(image.rfind('/') + 1);

    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KString message;
    {
        WorkingFolder working(fromParent ? root.Path() : "/");
        ASSERT_TRUE(working.Moved());
        const std::string in = (fromParent ? "src/" : root.File("src/")) + source.mFile;
        const std::string out = (fromParent ? "out/" : root.File("out/")) + target.mFile;
        ASSERT_TRUE(Import(*manager, scene, in));
        const std::vector<KQoxTexture*> read = NamedTextures(*manager);
        ASSERT_EQ(read.size(), 1u);
        // The file as found, absolute; the name as written.
        EXPECT_EQ(std::string(read[0]->GetFileName()), image);
        EXPECT_EQ(std::string(read[0]->GetRelativeFileName()), source.mMap);

        KQoxExporter& exporter = *manager->CreateKQoxExporter();
        ASSERT_TRUE(exporter.Initialize(out.c_str()));
        ASSERT_TRUE(exporter.SetFileFormat(target.mFormat));
        std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
        ASSERT_TRUE(exporter.Export(scene, options.get())) << exporter.GetLastErrorString();
        exporter.GetMessage(message);
    }
    // Nothing said about the image: it was found.
    EXPECT_EQ(std::string(message.ToChars()).find(base), std::string::npos) << message.ToChars();

    WorkingFolder elsewhere("/");
    ASSERT_TRUE(elsewhere.Moved());
    std::unique_ptr<KQoxSdkManager> reader(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& copy = *reader->CreateKQoxScene();
    const std::string written = root.File("out/") + target.mFile;
    ASSERT_TRUE(Import(*reader, copy, written));
    if (target.mFormat == eEXPORT_QOX_BINARY)
    {
        // The image travels in the file: its clip's media is extracted.
        ASSERT_EQ(reader->GetKQoxVideoCount(), 1);
        const std::string media = reader->GetKQoxVideo(0)->GetFileName();
        EXPECT_EQ(media, written + ".media/" + base);
        EXPECT_EQ(ReadFile(media), bytes);
        return;
    }
    // The image is copied beside the new file, which names the copy.
    EXPECT_EQ(ReadFile(root.File("out/" + base)), bytes);
    const std::vector<KQoxTexture*> again = NamedTextures(*reader);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(std::string(again[0]->GetRelativeFileName()), base);
    EXPECT_EQ(std::string(again[0]->GetFileName()), root.File("out/" + base));
}

} // namespace

TEST(TexturePaths, ConversionsFromAnyWorkingFolderTakeTheImagesAlong)
{
    KQoxRegisterGeometryFormats();
    const Source sources[] = {
        {"OBJ, image beside", "model.obj", "model.mtl", "stone.png", "stone.png"},
        {"OBJ, image in a subfolder", "model.obj", "model.mtl", "TX_Scene/Stone.png", "TX_Scene/Stone.png"},
        {"OBJ, library and image in a subfolder", "model.obj", "mats/model.mtl", "wood.png", "mats/wood.png"},
        {"OBJ, library in a subfolder, image beside", "model.obj", "mats/model.mtl", "stone.png", "stone.png"},
        {"3DS, image beside", "model.3ds", "", "stone.png", "stone.png"},
        {"3DS, image in a subfolder", "model.3ds", "", "t/stone.png", "t/stone.png"},
        // A path of the author's machine, the image shipped beside the model.
        {"OBJ, a Windows path", "model.obj", "model.mtl", "C:\\Users\\me\\Desktop\\wood.png", "wood.png"},
        {"OBJ, a path", "model.obj", "mats/model.mtl", "/home/me/models/wood.png", "mats/wood.png"},
        {"3DS, a Windows path", "model.3ds", "", "C:\\Users\\me\\Desktop\\wood.png", "wood.png"},
        {"3DS, a path", "model.3ds", "", "/home/me/models/wood.png", "wood.png"},
        // The image shipped in the last folders of that path: found part by part.
        {"OBJ, a Windows path ending in folders", "model.obj", "model.mtl", "C:\\Users\\me\\proj\\textures\\stone.png",
         "textures/stone.png"},
        {"OBJ, a path ending in folders", "model.obj", "mats/model.mtl", "/home/me/proj/TX_Scene/Stone.png",
         "TX_Scene/Stone.png"},
        {"3DS, a Windows path ending in folders", "model.3ds", "", "C:\\Users\\me\\proj\\t\\stone.png",
         "t/stone.png"},
    };
    const Target targets[] = {{eEXPORT_QOX_BINARY, "copy.qox"}, {eEXPORT_OBJ, "copy.obj"}, {eEXPORT_3DS, "copy.3ds"}};
    for (const Source& source : sources)
        for (const Target& target : targets)
            for (bool fromParent : {true, false})
            {
                SCOPED_TRACE(std::string(source.mWhat) + " to " + target.mFile +
                             (fromParent ? ", relative paths from the parent folder" : ", absolute paths from /"));
                Convert(source, target, fromParent);
            }
}

namespace {

using exporttest::QuadScene;

// The quad nodes of a scene and the image file each one's texture names,
// as our reader reads the file back.
std::map<std::string, std::string> MapsRead(const std::string& path)
{
    std::map<std::string, std::string> maps;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    if (!Import(*manager, scene, path))
        return maps;
    std::vector<KQoxNode*> nodes{scene.GetRootNode()};
    while (!nodes.empty())
    {
        KQoxNode* node = nodes.back();
        nodes.pop_back();
        for (int i = 0; i < node->GetChildCount(false); ++i)
            nodes.push_back(node->GetChild(i));
        KQoxMesh* mesh = dynamic_cast<KQoxMesh*>(node->GetNodeAttribute());
        if (mesh && mesh->GTC(0) > 0)
            maps[node->GetNameWithoutNameSpacePrefix().ToChars()] = mesh->GT(0, 0)->GetFileName();
    }
    return maps;
}

// The same as tinyobjloader reads an OBJ file, and lib3ds a 3DS file: the
// map name as written, taken against the file's folder.
std::map<std::string, std::string> MapsPeer(const std::string& path, bool obj)
{
    std::map<std::string, std::string> maps;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
#ifdef QOX_HAVE_TINYOBJ
    if (obj)
    {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        EXPECT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), folder.c_str()))
            << err;
        for (const tinyobj::shape_t& shape : shapes)
            if (!shape.mesh.material_ids.empty() && shape.mesh.material_ids[0] >= 0)
                maps[shape.name] = folder + materials[static_cast<size_t>(shape.mesh.material_ids[0])].diffuse_texname;
    }
#endif
#ifdef QOX_HAVE_LIB3DS
    if (!obj)
    {
        Lib3dsFile* file = lib3ds_file_load(path.c_str());
        EXPECT_NE(file, nullptr);
        for (Lib3dsMesh* mesh = file ? file->meshes : nullptr; mesh; mesh = mesh->next)
        {
            Lib3dsMaterial* material = mesh->faces > 0 ? lib3ds_file_material_by_name(file, mesh->faceL[0].material)
                                                        : nullptr;
            if (material && *material->texture1_map.name)
                maps[mesh->name] = folder + material->texture1_map.name;
        }
        if (file)
            lib3ds_file_free(file);
    }
#endif
    (void)obj;
    return maps;
}

bool PeerPresent(bool obj)
{
#ifdef QOX_HAVE_TINYOBJ
    if (obj)
        return true;
#endif
#ifdef QOX_HAVE_LIB3DS
    if (!obj)
        return true;
#endif
    return false;
}

// One image of a scene: the node whose texture it is, its file under src/
// and its bytes, and the name its copy is to have in out/.
struct Image
{
    const char* mNode;
    const char* mFile;
    std::string mBytes;
    const char* mCopy;
    const char* mCopy3ds = nullptr; // the copy's name from a 3DS save, where it differs
    mode_t mMode = 0;               // the image's mode, when set
    mode_t mCopyMode = 0;           // the copy's mode then
};

// A file in out/ before the save: a file of the user's, a link to such a
// file beside out/, or a file given to another user.
struct Placed
{
    enum EKind
    {
        eFILE,
        eLINK,
        eOTHER_USERS
    };
    const char* mName;
    std::string mBytes;
    EKind mKind = eFILE;
};

// Saves one textured quad per image to root/out/scene.<extension>, the
// images written under root/src/ first, and the placed files in out/: the
// save's message in message, root's path in it as "<root>". Then out/ holds listing beside the saved
// files, every reader finds each node's map to name its copy, a file
// holding the image's bytes, and the placed files keep theirs.
void SaveAndCheckCopies(const std::vector<Image>& images, const std::vector<Placed>& placed,
                        const std::vector<std::string>& listing, bool obj, std::string& message)
{
    TempDir root;
    ASSERT_EQ(mkdir(root.File("src").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(root.File("out").c_str(), 0700), 0);
    QuadScene s;
    for (const Image& image : images)
    {
        const std::string path = root.File(std::string("src/") + image.mFile);
        std::filesystem::create_directories(path.substr(0, path.rfind('/')));
        ASSERT_TRUE(WriteFile(path, image.mBytes));
        ASSERT_TRUE(image.mMode == 0 || chmod(path.c_str(), image.mMode) == 0);
        s.AddQuads(image.mNode, 1, path.c_str());
    }
    for (const Placed& file : placed)
    {
        const std::string at = root.File(std::string("out/") + file.mName);
        if (file.mKind == Placed::eLINK)
        {
            const std::string target = root.File(std::string("linked-") + file.mName);
            ASSERT_TRUE(WriteFile(target, file.mBytes));
            ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0);
            continue;
        }
        ASSERT_TRUE(WriteFile(at, file.mBytes));
        if (file.mKind == Placed::eOTHER_USERS)
        {
            ASSERT_EQ(chown(at.c_str(), qoxtest::OtherUserOrSelf(), qoxtest::OtherGroupOrOwn()), 0);
        }
    }
    const std::string out = root.File(obj ? "out/scene.obj" : "out/scene.3ds");
    std::string error;
    ASSERT_TRUE(exporttest::ExportScene(s, out, obj ? eEXPORT_OBJ : eEXPORT_3DS, error, &message)) << error;
    for (size_t at; (at = message.find(root.Path())) != std::string::npos;)
        message.replace(at, root.Path().size(), "<root>");

    std::vector<std::string> files;
    for (const std::string& name : qoxtest::ListDirectory(root.File("out")))
        if (name != "scene.obj" && name != "scene.mtl" && name != "scene.3ds")
            files.push_back(name);
    EXPECT_EQ(files, listing);
    for (const Placed& file : placed)
    {
        const std::string at = root.File(std::string("out/") + file.mName);
        EXPECT_EQ(ReadFile(at), file.mBytes) << file.mName;
        struct stat status;
        EXPECT_TRUE(lstat(at.c_str(), &status) == 0 && S_ISLNK(status.st_mode) == (file.mKind == Placed::eLINK))
            << file.mName;
    }
    const std::map<std::string, std::string> read = MapsRead(out);
    const std::map<std::string, std::string> peer = MapsPeer(out, obj);
    if (!PeerPresent(obj))
        std::printf("%s is not installed: the map names are checked with our reader alone\n",
                    obj ? "tinyobjloader" : "lib3ds");
    for (const Image& image : images)
    {
        SCOPED_TRACE(image.mNode);
        const std::string copy =
            root.File(std::string("out/") + (!obj && image.mCopy3ds ? image.mCopy3ds : image.mCopy));
        EXPECT_EQ(ReadFile(copy), image.mBytes);
        struct stat status = {};
        EXPECT_TRUE(image.mCopyMode == 0 || (stat(copy.c_str(), &status) == 0 &&
                                             (status.st_mode & 07777) == image.mCopyMode))
            << std::oct << (status.st_mode & 07777);
        const auto found = read.find(image.mNode);
        ASSERT_NE(found, read.end());
        EXPECT_EQ(found->second, copy);
        if (PeerPresent(obj))
        {
            const auto named = peer.find(image.mNode);
            ASSERT_NE(named, peer.end());
            EXPECT_EQ(named->second, copy);
        }
    }
}

} // namespace

// A copy never stands for another image: a name taken in the output folder,
// or in the save, by other bytes gives the copy a free numbered name, which
// the material names; a file of the user's there with the image's bytes is
// used as is (a link, or another user's file, may come to hold others), and
// one image is copied once.
TEST(TextureCopies, ACopyNeverStandsForAnotherImage)
{
    KQoxRegisterGeometryFormats();
    const std::string wood = ImageBytes("wood"), metal = ImageBytes("metal"), other = ImageBytes("other model");
    const struct
    {
        const char* what;
        std::vector<Image> images;
        std::vector<Placed> placed;
        std::vector<std::string> out; // the files of out/ after the save, the saved file left out
        std::vector<std::string> out3ds = {}; // those of a 3DS save, where they differ
    } cases[] = {
        // "diffuse-1.png" does not fit a 3DS map's 12 characters.
        {"two images of one name from two folders",
         {{"Wood", "wood/diffuse.png", wood, "diffuse.png"},
          {"Metal", "metal/diffuse.png", metal, "diffuse-1.png", "diffus-1.png"}},
         {},
         {"diffuse-1.png", "diffuse.png"},
         {"diffus-1.png", "diffuse.png"}},
        {"another model's map.png of other bytes in the folder",
         {{"Wood", "map.png", wood, "map-1.png"}},
         {{"map.png", other}},
         {"map-1.png", "map.png"}},
        {"map.png and map-1.png of other bytes in the folder",
         {{"Wood", "map.png", wood, "map-2.png"}},
         {{"map.png", other}, {"map-1.png", metal}},
         {"map-1.png", "map-2.png", "map.png"}},
        {"map.png of the same bytes in the folder",
         {{"Wood", "map.png", wood, "map.png"}},
         {{"map.png", wood}},
         {"map.png"}},
        {"one image used twice", {{"Wood", "a/stone.png", wood, "stone.png"}}, {}, {"stone.png"}},
        {"two images of one name and the same bytes",
         {{"Wood", "a/stone.png", wood, "stone.png"}, {"Metal", "b/stone.png", wood, "stone.png"}},
         {},
         {"stone.png"}},
        {"a link at map.png to a file of the same bytes",
         {{"Wood", "map.png", wood, "map-1.png"}},
         {{"map.png", wood, Placed::eLINK}},
         {"map-1.png", "map.png"}},
        {"another user's map.png of the same bytes",
         {{"Wood", "map.png", wood, "map-1.png"}},
         {{"map.png", wood, Placed::eOTHER_USERS}},
         {"map-1.png", "map.png"}},
    };
    qoxtest::CasesNeedingRoot needing;
    for (const auto& c : cases)
    {
        const bool otherUser = std::any_of(c.placed.begin(), c.placed.end(),
                                           [](const Placed& file) { return file.mKind == Placed::eOTHER_USERS; });
        if (!needing.Runs(otherUser, c.what))
            continue;
        for (bool obj : {true, false})
        {
            SCOPED_TRACE(std::string(c.what) + (obj ? ", to OBJ" : ", to 3DS"));
            std::vector<Image> images = c.images;
            // One image used twice: a second node names the very same file.
            if (std::string(c.what) == "one image used twice")
                images.push_back({"Metal", "a/stone.png", wood, "stone.png"});
            std::string message;
            SaveAndCheckCopies(images, c.placed, !obj && !c.out3ds.empty() ? c.out3ds : c.out, obj, message);
            // The message names each copy not under its image's name, and only those.
            std::string named;
            for (size_t i = 0; i < images.size(); ++i)
            {
                const Image& image = images[i];
                const std::string copy = !obj && image.mCopy3ds ? image.mCopy3ds : image.mCopy;
                const std::string material = obj ? image.mNode + std::string("Paint") : std::to_string(i + 1) + ".Mat0T0";
                if (copy != std::filesystem::path(image.mFile).filename().string())
                    named += "Texture name \"" + copy + "\" in material \"" + material +
                             "\" names its copy of \"<root>/src/" + image.mFile + "\"\n\n";
            }
            EXPECT_EQ(message, named);
        }
    }
    QOX_SKIP_CASES_LEFT_OUT(needing);
}

// To 3DS, an image whose name does not fit the map's 12 characters is
// copied under an 8.3 name made from it, free in the folder or holding the
// image's bytes already, which the map names; the message says which name
// stands for which image. Names that fit stay as they are.
TEST(TextureCopies, ThreeDsMapsNameCopiesWhoseNamesFit)
{
    KQoxRegisterGeometryFormats();
    const std::string a = ImageBytes("a"), b = ImageBytes("b"), other = ImageBytes("other");
    // The message of one image whose name does not fit.
    auto told = [](const std::string& image, const std::string& copy, int mesh) {
        return "Texture name file: \"" + image + "\" is too long.\nTexture name \"" + copy + "\" in material \"" +
               std::to_string(mesh) + ".Mat0T0\" names its copy of \"<root>/src/" + image + "\"\n\n";
    };
    const struct
    {
        const char* what;
        std::vector<Image> images;
        std::vector<Placed> placed;
        std::vector<std::string> out;
        std::string message;
    } cases[] = {
        {"a name of 9.3", {{"Gaspra", "951gaspra.png", a, "951gas-1.png"}}, {}, {"951gas-1.png"},
         told("951gaspra.png", "951gas-1.png", 1)},
        {"two long names sharing their first letters",
         {{"A", "longtexture_a.png", a, "longte-1.png"}, {"B", "longtexture_b.png", b, "longte-2.png"}},
         {},
         {"longte-1.png", "longte-2.png"},
         told("longtexture_a.png", "longte-1.png", 1) + told("longtexture_b.png", "longte-2.png", 2)},
        {"names that fit", {{"A", "stone.png", a, "stone.png"}, {"B", "abcdefgh.png", b, "abcdefgh.png"}}, {},
         {"abcdefgh.png", "stone.png"}, ""},
        {"the short name taken by other bytes", {{"Gaspra", "951gaspra.png", a, "951gas-2.png"}},
         {{"951gas-1.png", other}}, {"951gas-1.png", "951gas-2.png"}, told("951gaspra.png", "951gas-2.png", 1)},
        {"the short name holding the image's bytes", {{"Gaspra", "951gaspra.png", a, "951gas-1.png"}},
         {{"951gas-1.png", a}}, {"951gas-1.png"}, told("951gaspra.png", "951gas-1.png", 1)},
        {"letter case kept, the extension cut to 3", {{"Gaspra", "GaspraSurface.JPEG", a, "Gaspra-1.JPE"}}, {},
         {"Gaspra-1.JPE"}, told("GaspraSurface.JPEG", "Gaspra-1.JPE", 1)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::string message;
        SaveAndCheckCopies(c.images, c.placed, c.out, false, message);
        EXPECT_EQ(message, c.message);
    }
}

// Conversions into one folder at the same time, their images of one name
// and other bytes: each copy takes a name still free as it is put in place,
// never one another conversion's copy took meanwhile, so every material names
// a file with its own image's bytes, as tinyobjloader and lib3ds read it.
TEST(TextureCopies, ConversionsAtOnceIntoOneFolderKeepTheirOwnImages)
{
    KQoxRegisterGeometryFormats();
    const int models = 4, rounds = 8;
    for (bool obj : {true, false})
        for (int round = 0; round < rounds; ++round)
        {
            SCOPED_TRACE(std::string(obj ? "OBJ" : "3DS") + ", round " + std::to_string(round));
            TempDir root;
            ASSERT_EQ(mkdir(root.File("out").c_str(), 0700), 0);
            std::atomic<int> ready{0};
            std::vector<std::string> errors(models);
            std::vector<std::thread> threads;
            for (int m = 0; m < models; ++m)
            {
                const std::string folder = root.File("m" + std::to_string(m));
                ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
                ASSERT_TRUE(WriteFile(folder + "/diffuse.ppm", ImageBytes("model " + std::to_string(m))));
                threads.emplace_back([&, m, folder] {
                    QuadScene s;
                    s.AddQuads("Quad", 1, (folder + "/diffuse.ppm").c_str());
                    for (++ready; ready < models;)
                        std::this_thread::yield();
                    const std::string out = root.File("out/model" + std::to_string(m) + (obj ? ".obj" : ".3ds"));
                    exporttest::ExportScene(s, out, obj ? eEXPORT_OBJ : eEXPORT_3DS, errors[m]);
                });
            }
            for (std::thread& thread : threads)
                thread.join();
            // Each model's map, as each reader reads it, and the bytes there.
            std::string maps, expected;
            for (int m = 0; m < models; ++m)
            {
                EXPECT_EQ(errors[m], "") << m;
                const std::string out = root.File("out/model" + std::to_string(m) + (obj ? ".obj" : ".3ds"));
                for (const auto& read : {MapsRead(out), MapsPeer(out, obj)})
                    for (const auto& map : read)
                    {
                        const std::string bytes = ReadFile(map.second);
                        maps += "model " + std::to_string(m) + ": " + bytes.substr(std::min<size_t>(16, bytes.size())) +
                                "\n";
                        expected += "model " + std::to_string(m) + ": model " + std::to_string(m) + "\n";
                    }
            }
            EXPECT_EQ(maps, expected);
            EXPECT_EQ(qoxtest::ListDirectory(root.File("out")).size(), static_cast<size_t>(models * (obj ? 3 : 2)));
        }
}

// Names that differ only in the case of ASCII letters are one file on the
// disks that ignore case: such a name counts as taken, whether a file of
// the folder or a copy of the same save bears it.
TEST(TextureCopies, NamesDifferingOnlyInCaseAreOneName)
{
    KQoxRegisterGeometryFormats();
    const std::string a = ImageBytes("a"), b = ImageBytes("b"), other = ImageBytes("other");
    const struct
    {
        const char* what;
        std::vector<Image> images;
        std::vector<Placed> placed;
        std::vector<std::string> out, out3ds;
    } cases[] = {
        {"MAP.PNG of other bytes in the folder", {{"A", "map.png", a, "map-1.png"}}, {{"MAP.PNG", other}},
         {"MAP.PNG", "map-1.png"}, {"MAP.PNG", "map-1.png"}},
        {"Map.png of the same bytes in the folder", {{"A", "map.png", a, "map-1.png"}}, {{"Map.png", a}},
         {"Map.png", "map-1.png"}, {"Map.png", "map-1.png"}},
        {"two images whose names differ in case",
         {{"A", "a/Stone.png", a, "Stone.png"}, {"B", "b/stone.png", b, "stone-1.png"}},
         {},
         {"Stone.png", "stone-1.png"},
         {"Stone.png", "stone-1.png"}},
        {"two long names whose short names differ in case",
         {{"A", "951gaspra_a.png", a, "951gaspra_a.png", "951gas-1.png"},
          {"B", "951GASPRA_C.PNG", b, "951GASPRA_C.PNG", "951GAS-2.PNG"}},
         {},
         {"951GASPRA_C.PNG", "951gaspra_a.png"},
         {"951GAS-2.PNG", "951gas-1.png"}},
    };
    for (const auto& c : cases)
        for (bool obj : {true, false})
        {
            SCOPED_TRACE(std::string(c.what) + (obj ? ", to OBJ" : ", to 3DS"));
            std::string message;
            SaveAndCheckCopies(c.images, c.placed, obj ? c.out : c.out3ds, obj, message);
        }
}

namespace {

bool IsObj(const std::string& path)
{
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".obj") == 0;
}

// Saves a quad textured with image to out, an OBJ or a 3DS file; "" or
// the save's error.
std::string SaveQuad(const std::string& image, const std::string& out)
{
    QuadScene s;
    s.AddQuads("Quad", 1, image.c_str());
    std::string error;
    return exporttest::ExportScene(s, out, IsObj(out) ? eEXPORT_OBJ : eEXPORT_3DS, error) ? "" : "failed: " + error;
}

// What the one material of the file at out names, as our reader and the
// format's peer (where installed) read it: "<out's name>: <tag>" for each,
// the tag as ImageBytes took it, "(gone)" for no file.
std::string MapTags(const std::string& out)
{
    std::string tags;
    for (const auto& read : {MapsRead(out), MapsPeer(out, IsObj(out))})
        for (const auto& map : read)
        {
            bool found = false;
            const std::string bytes = ReadFile(map.second, &found);
            tags += out.substr(out.rfind('/') + 1) + ": " +
                    (found ? bytes.substr(std::min<size_t>(16, bytes.size())) : "(gone)") + "\n";
        }
    return tags;
}

// MapTags of a file at out whose material names an image tagged tag.
std::string TagsOf(const std::string& out, const std::string& tag)
{
    const std::string line = out.substr(out.rfind('/') + 1) + ": " + tag + "\n";
    return PeerPresent(IsObj(out)) ? line + line : line;
}

} // namespace

// No save removes a copy another save may have taken as its image's bytes:
// one image saved to OBJ and to 3DS into one folder, the second save run
// at the moment the first has linked its copy; then a name alike to that
// copy's but for case comes (the first save takes its copy back), or the
// first save fails (it removes its files). The second save's material
// names its image's bytes all the same, and a failed save leaves nothing.
// Then the same as it comes: saves at once into a folder of many files of
// images whose names differ only in case, each image to OBJ and to 3DS.
TEST(TextureCopies, NoSaveRemovesACopyAnotherMayHaveTaken)
{
    KQoxRegisterGeometryFormats();
    const struct
    {
        const char* what;
        const char* first;   // the save that links first, in out/
        const char* second;  // the one run once that copy is linked
        const char* failing; // made a folder then: the first save's file put first
    } cases[] = {
        {"a name alike but for case, the OBJ first", "a.obj", "b.3ds", ""},
        {"a name alike but for case, the 3DS first", "a.3ds", "b.obj", ""},
        {"the OBJ save failing", "a.obj", "b.3ds", "a.mtl"},
        {"the 3DS save failing", "a.3ds", "b.obj", "a.3ds"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        TempDir root;
        ASSERT_EQ(mkdir(root.File("out").c_str(), 0700), 0);
        const std::string image = root.File("diffuse.ppm"), first = root.File("out/") + c.first,
                          second = root.File("out/") + c.second;
        ASSERT_TRUE(WriteFile(image, ImageBytes("diffuse")));
        std::string secondError = "not run";
        SetTextureCopyOnLinkedForTests([&](const std::string&) {
            secondError = SaveQuad(image, second);
            if (*c.failing)
                EXPECT_EQ(mkdir(root.File(std::string("out/") + c.failing).c_str(), 0700), 0);
            else
                EXPECT_TRUE(WriteFile(root.File("out/DIFFUSE.PPM"), ImageBytes("other")));
        });
        const std::string firstError = SaveQuad(image, first);
        SetTextureCopyOnLinkedForTests(nullptr);
        EXPECT_EQ(secondError, "");
        EXPECT_EQ((*c.failing ? "" : MapTags(first)) + MapTags(second),
                  (*c.failing ? "" : TagsOf(first, "diffuse")) + TagsOf(second, "diffuse"));
        if (*c.failing)
        {
            EXPECT_NE(firstError, "");
            // Of the failed save nothing stays: out/ holds the folder in its
            // way, the other save's files and the copy its material names.
            std::vector<std::string> left{c.failing, c.second};
            if (IsObj(second))
                left.push_back("b.mtl");
            for (const auto& map : MapsRead(second))
                left.push_back(map.second.substr(map.second.rfind('/') + 1));
            std::sort(left.begin(), left.end());
            EXPECT_EQ(qoxtest::ListDirectory(root.File("out")), left);
        }
        else
        {
            EXPECT_EQ(firstError, "");
            EXPECT_EQ(ReadFile(root.File("out/DIFFUSE.PPM")), ImageBytes("other"));
        }
    }

    // At once: each round three images named alike but for case, each
    // saved to OBJ and to 3DS, into one folder that many files make slow to
    // list.
    TempDir root;
    ASSERT_EQ(mkdir(root.File("out").c_str(), 0700), 0);
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(WriteFile(root.File("out/other-" + std::to_string(i)), ""));
    for (int round = 0; round < 20; ++round)
    {
        SCOPED_TRACE("at once, round " + std::to_string(round));
        const std::string r = std::to_string(round);
        const std::string images[] = {"map" + r + ".ppm", "MAP" + r + ".PPM", "Map" + r + ".ppm"};
        std::vector<std::pair<std::string, std::string>> saves; // image, out
        for (int i = 0; i < 3; ++i)
        {
            const std::string folder = root.File("r" + r + "m" + std::to_string(i));
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            ASSERT_TRUE(WriteFile(folder + "/" + images[i], ImageBytes("image " + std::to_string(i))));
            for (const char* extension : {".obj", ".3ds"})
                saves.emplace_back(folder + "/" + images[i], root.File("out/r" + r + "m" + std::to_string(i) + extension));
        }
        std::atomic<int> ready{0};
        std::vector<std::string> errors(saves.size());
        std::vector<std::thread> threads;
        for (size_t k = 0; k < saves.size(); ++k)
            threads.emplace_back([&, k] {
                for (++ready; ready < static_cast<int>(saves.size());)
                    std::this_thread::yield();
                errors[k] = SaveQuad(saves[k].first, saves[k].second);
            });
        for (std::thread& thread : threads)
            thread.join();
        std::string tags, expected;
        for (size_t k = 0; k < saves.size(); ++k)
        {
            EXPECT_EQ(errors[k], "") << saves[k].second;
            tags += MapTags(saves[k].second);
            expected += TagsOf(saves[k].second, "image " + std::to_string(k / 2));
        }
        EXPECT_EQ(tags, expected);
    }
}

// Each copy whose name is not its image's is named once in the save's
// message, in OBJ as in 3DS, however many materials map the image: a name
// numbered because it was taken, an 8.3 name for one too long, or for one
// of 12 characters whose numbered form would not fit.
TEST(TextureCopies, EachCopyUnderAnotherNameIsNamedOnce)
{
    KQoxRegisterGeometryFormats();
    const std::string a = ImageBytes("a"), other = ImageBytes("other");
    auto told = [](const std::string& image, const std::string& copy, const std::string& material, bool tooLong) {
        return (tooLong ? "Texture name file: \"" + image + "\" is too long.\n" : std::string()) + "Texture name \"" +
               copy + "\" in material \"" + material + "\" names its copy of \"<root>/src/" + image + "\"\n\n";
    };
    const struct
    {
        const char* what;
        bool obj;
        std::vector<Image> images;
        std::vector<Placed> placed;
        std::vector<std::string> out;
        std::string message;
    } cases[] = {
        {"OBJ, a numbered name", true, {{"A", "951gaspra.png", a, "951gaspra-1.png"}}, {{"951gaspra.png", other}},
         {"951gaspra-1.png", "951gaspra.png"}, told("951gaspra.png", "951gaspra-1.png", "APaint", false)},
        {"OBJ, one image of three materials, numbered", true,
         {{"A", "map.png", a, "map-1.png"}, {"B", "map.png", a, "map-1.png"}, {"C", "map.png", a, "map-1.png"}},
         {{"map.png", other}}, {"map-1.png", "map.png"}, told("map.png", "map-1.png", "APaint", false)},
        {"OBJ, its own name", true, {{"A", "map.png", a, "map.png"}}, {}, {"map.png"}, ""},
        {"3DS, 12 characters taken", false, {{"A", "gl-14_ch.tga", a, "gl-14_-1.tga"}}, {{"gl-14_ch.tga", other}},
         {"gl-14_-1.tga", "gl-14_ch.tga"}, told("gl-14_ch.tga", "gl-14_-1.tga", "1.Mat0T0", false)},
        {"3DS, one long name of three materials", false,
         {{"A", "951gaspra.png", a, "951gas-1.png"}, {"B", "951gaspra.png", a, "951gas-1.png"},
          {"C", "951gaspra.png", a, "951gas-1.png"}},
         {}, {"951gas-1.png"}, told("951gaspra.png", "951gas-1.png", "1.Mat0T0", true)},
        {"3DS, a short name numbered", false, {{"A", "map.png", a, "map-1.png"}}, {{"map.png", other}},
         {"map-1.png", "map.png"}, told("map.png", "map-1.png", "1.Mat0T0", false)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::string message;
        SaveAndCheckCopies(c.images, c.placed, c.out, c.obj, message);
        EXPECT_EQ(message, c.message);
    }
}

namespace {

// Sets the process's umask for its life.
class Umask
{
public:
    explicit Umask(mode_t mask) : mOld(umask(mask)) {}
    ~Umask() { umask(mOld); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t mOld;
};

} // namespace

// A copy is never more readable than its image: it gets the image's read
// and write bits less the umask, so a private image stays private.
TEST(TextureCopies, ACopyIsNoMoreReadableThanItsImage)
{
    KQoxRegisterGeometryFormats();
    const struct
    {
        mode_t image, mask, copy;
    } cases[] = {{0600, 022, 0600}, {0644, 022, 0644}, {0640, 027, 0640}, {0664, 077, 0600}, {0444, 022, 0444},
                 {0755, 022, 0644}};
    for (const auto& c : cases)
        for (bool obj : {true, false})
        {
            char what[64];
            std::snprintf(what, sizeof what, "%04o under umask %03o, to %s", c.image, c.mask, obj ? "OBJ" : "3DS");
            SCOPED_TRACE(what);
            Umask mask(c.mask);
            std::string message;
            SaveAndCheckCopies({{"A", "map.png", ImageBytes("a"), "map.png", nullptr, c.image, c.copy}}, {},
                               {"map.png"}, obj, message);
        }
}

namespace {

// Imports path into scene; "" when read, else why not.
std::string ImportQuietly(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path)
{
    KQoxImporter& importer = *manager.CreateKQoxImporter();
    if (!importer.Initialize(path.c_str()))
        return std::string("not opened: ") + importer.GetLastErrorString();
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
    return importer.Import(scene, options.get()) ? "" : std::string("not read: ") + importer.GetLastErrorString();
}

// Saves a quad textured with image to out in format, in a child process
// that is ended after 20 seconds (a FIFO waited for) and whose files grow
// no larger than 16 MB (a device copied): "saved" or "failed: <error>",
// then the save's message; "(child died)" when it was ended. With via, the
// scene goes through that native file first, read back.
std::string SaveInChild(const std::string& image, int format, const std::string& out, const std::string& via)
{
    return qoxtest::ChildText([&]() -> std::string {
        alarm(20);
        qoxtest::FileSizeLimit limit(16 << 20);
        QuadScene s;
        s.AddQuads("Box", 1, image.c_str());
        std::string error, message;
        QuadScene read;
        QuadScene* saved = &s;
        if (!via.empty())
        {
            if (!exporttest::ExportScene(s, via, eEXPORT_QOX_BINARY, error))
                return "failed through the native file: " + error;
            const std::string why = ImportQuietly(*read.manager, read.scene, via);
            if (!why.empty())
                return why;
            saved = &read;
        }
        const bool ok = exporttest::ExportScene(*saved, out, format, error, &message);
        return (ok ? "saved\n" : "failed: " + error + "\n") + message;
    });
}

} // namespace

// Only a regular file is embedded or copied as a texture's image: a folder,
// a device or a FIFO is not found (the message of a missing image), the save
// goes on, nothing is read from it and nothing waits for it.
TEST(TextureCopies, NamesThatAreNotImagesAreNotFound)
{
    KQoxRegisterGeometryFormats();
    const std::string bytes = ImageBytes("stone");
    const struct
    {
        const char* what;
        const char* file; // under src/, or an absolute path
    } kinds[] = {{"a folder", "textures"},
                 {"a FIFO", "pipe.png"},
                 {"a device without end", "/dev/zero"},
                 {"a device of random bytes", "/dev/urandom"},
                 {"a regular file", "stone.png"}};
    const struct
    {
        const char* what;
        int format;
        const char* file;
        const char* via; // a native file the scene goes through first
        std::vector<std::string> out; // beside the image's copy
    } forms[] = {{"native binary", eEXPORT_QOX_BINARY, "scene.qox", "", {"scene.qox"}},
                 {"native ASCII", eEXPORT_QOX_ASCII, "scene.qox", "", {"scene.qox"}},
                 {"OBJ", eEXPORT_OBJ, "scene.obj", "", {"scene.mtl", "scene.obj"}},
                 {"3DS", eEXPORT_3DS, "scene.3ds", "", {"scene.3ds"}},
                 {"native, read, to OBJ", eEXPORT_OBJ, "scene.obj", "mid.qox", {"mid.qox", "scene.mtl", "scene.obj"}},
                 {"native, read, to 3DS", eEXPORT_3DS, "scene.3ds", "mid.qox", {"mid.qox", "scene.3ds"}}};
    for (const auto& kind : kinds)
        for (const auto& form : forms)
        {
            SCOPED_TRACE(std::string(kind.what) + ", " + form.what);
            TempDir root;
            ASSERT_EQ(mkdir(root.File("src").c_str(), 0700), 0);
            ASSERT_EQ(mkdir(root.File("out").c_str(), 0700), 0);
            ASSERT_EQ(mkdir(root.File("src/textures").c_str(), 0700), 0);
            ASSERT_EQ(mkfifo(root.File("src/pipe.png").c_str(), 0600), 0);
            ASSERT_TRUE(WriteFile(root.File("src/stone.png"), bytes));
            const bool regular = std::string(kind.file) == "stone.png";
            const std::string image = kind.file[0] == '/' ? kind.file : root.File(std::string("src/") + kind.file);
            const bool native = form.format != eEXPORT_OBJ && form.format != eEXPORT_3DS;
            const std::string out = root.File(std::string("out/") + form.file);
            const std::string via = *form.via ? root.File(std::string("out/") + form.via) : "";

            std::string expected = "saved\n";
            if (!regular)
                expected += native ? "Texture file not found, its media is not embedded: " + image + "\n"
                                   : "Unable to locate texture file \"" + image + "\".\n";
            EXPECT_EQ(SaveInChild(image, form.format, out, via), expected);
            // Nothing of the folder, device or FIFO beside the files; the
            // image of a regular file copied (and, read back from the native
            // file, extracted).
            std::vector<std::string> listing = form.out;
            if (regular && !native)
                listing.push_back("stone.png");
            if (regular && *form.via)
                listing.push_back(std::string(form.via) + ".media");
            std::sort(listing.begin(), listing.end());
            EXPECT_EQ(qoxtest::ListDirectory(root.File("out")), listing);
            for (const std::string& name : qoxtest::ListDirectory(root.File("out")))
            {
                if (std::filesystem::is_regular_file(root.File("out/" + name)))
                {
                    EXPECT_LT(std::filesystem::file_size(root.File("out/" + name)), 1u << 20) << name;
                }
            }
            if (regular && !native)
            {
                EXPECT_EQ(ReadFile(root.File("out/stone.png")), bytes);
            }
            if (native)
            {
                // Read back: the image's bytes travel in the file, or nothing.
                QuadScene read;
                const std::string why = ImportQuietly(*read.manager, read.scene, out);
                EXPECT_EQ(why, "");
                const int videos = why.empty() ? read.manager->GetKQoxVideoCount() : -1;
                EXPECT_EQ(videos, regular ? 1 : 0);
                if (regular && videos == 1)
                {
                    EXPECT_EQ(ReadFile(read.manager->GetKQoxVideo(0)->GetFileName()), bytes);
                }
            }
        }
}

namespace {

// Where a map name stands: in a 3DS file, in the library of an OBJ file,
// or there too with the library itself named in another case.
enum class Naming
{
    e3DS,
    eMTL,
    eOBJ_LIBRARY
};

#ifdef QOX_HAVE_LIB3DS
// A 3DS file whose material "Stone" maps map, on a triangle, as lib3ds (as
// other tools) writes it; what lib3ds reads back as the map name in peer.
void Write3dsNaming(const std::string& path, const std::string& map, std::string& peer)
{
    Lib3dsFile* f = lib3ds_file_new();
    Lib3dsMaterial* material = lib3ds_material_new();
    std::strcpy(material->name, "Stone");
    ASSERT_LT(map.size(), sizeof material->texture1_map.name);
    std::strcpy(material->texture1_map.name, map.c_str());
    material->texture1_map.percent = 1.0f;
    material->texture1_map.scale[0] = material->texture1_map.scale[1] = 1.0f;
    lib3ds_file_insert_material(f, material);
    Lib3dsMesh* mesh = lib3ds_mesh_new("Tri");
    lib3ds_mesh_new_point_list(mesh, 3);
    lib3ds_mesh_new_texel_list(mesh, 3);
    lib3ds_mesh_new_face_list(mesh, 1);
    for (int i = 0; i < 3; ++i)
    {
        mesh->pointL[i].pos[0] = mesh->texelL[i][0] = i == 1 ? 1.0f : 0.0f;
        mesh->pointL[i].pos[1] = mesh->texelL[i][1] = i == 2 ? 1.0f : 0.0f;
        mesh->faceL[0].points[i] = static_cast<Lib3dsWord>(i);
    }
    std::strcpy(mesh->faceL[0].material, "Stone");
    for (int r = 0; r < 4; ++r)
        mesh->matrix[r][r] = 1.0f;
    lib3ds_file_insert_mesh(f, mesh);
    ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
    lib3ds_file_free(f);
    Lib3dsFile* read = lib3ds_file_load(path.c_str());
    ASSERT_NE(read, nullptr);
    ASSERT_NE(read->materials, nullptr);
    peer = read->materials->texture1_map.name;
    lib3ds_file_free(read);
}
#endif

} // namespace

TEST(TexturePaths, MapNamesFindTheImagesTheirToolsMeant)
{
    // Files of DOS-era tools name their maps in upper case beside lower-case
    // images, part folders with backslashes, and other tools write names
    // past 8.3. Read from another working folder, each map names the one
    // image whose name differs at most in case ("/" for "\\"), found beside
    // the file; the name as written stays the relative name. Twins differing
    // in case only, neither as written, name no image.
    KQoxRegisterGeometryFormats();
    const struct
    {
        const char* mWritten;
        std::vector<const char*> mImages; // under src/
        const char* mFound;               // the one found ("": none)
    } cases[] = {
        {"GL-14_CH.TGA", {"gl-14_ch.tga"}, "gl-14_ch.tga"},
        {"tx\\img.ppm", {"tx/img.ppm"}, "tx/img.ppm"},
        {"TX\\IMG.PPM", {"tx/img.ppm"}, "tx/img.ppm"},
        {"planetarium_maps/951gaspra_surface.png",
         {"planetarium_maps/951gaspra_surface.png"},
         "planetarium_maps/951gaspra_surface.png"},
        {"Wood.tga", {"Wood.tga", "wood.tga"}, "Wood.tga"},
        {"STONE.TGA", {"Stone.tga", "stone.tga"}, ""},
    };
    const struct
    {
        Naming mNaming;
        const char* mWhat;
    } namings[] = {{Naming::e3DS, "3DS map"}, {Naming::eMTL, "MTL map"}, {Naming::eOBJ_LIBRARY, "OBJ library"}};
    for (const auto& naming : namings)
        for (const auto& c : cases)
        {
            SCOPED_TRACE(std::string(naming.mWhat) + " " + c.mWritten);
            TempDir root;
            ASSERT_EQ(mkdir(root.File("src").c_str(), 0700), 0);
            for (const char* image : c.mImages)
            {
                const std::string path = root.File(std::string("src/") + image);
                const size_t slash = path.rfind('/');
                mkdir(path.substr(0, slash).c_str(), 0700); // its folder, when it has its own
                ASSERT_TRUE(WriteFile(path, ImageBytes(image)));
            }
            std::string file = root.File("src/scene.obj");
            if (naming.mNaming == Naming::e3DS)
            {
#ifdef QOX_HAVE_LIB3DS
                file = root.File("src/scene.3ds");
                std::string peer;
                Write3dsNaming(file, c.mWritten, peer);
                EXPECT_EQ(peer, c.mWritten); // lib3ds reads the name whole
#else
                continue;
#endif
            }
            else
            {
                // The library "scene.mtl", named "SCENE.MTL" by the OBJ file.
                const std::string library = naming.mNaming == Naming::eMTL ? "scene.mtl" : "SCENE.MTL";
                ASSERT_TRUE(WriteFile(file, "mtllib " + library + "\n" + kObjText));
                ASSERT_TRUE(
                    WriteFile(root.File("src/scene.mtl"), std::string("newmtl Stone\nmap_Kd ") + c.mWritten + "\n"));
            }
            std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
            KQoxScene& scene = *manager->CreateKQoxScene();
            WorkingFolder elsewhere("/");
            ASSERT_TRUE(elsewhere.Moved());
            ASSERT_TRUE(Import(*manager, scene, file));
            const std::vector<KQoxTexture*> read = NamedTextures(*manager);
            ASSERT_EQ(read.size(), 1u);
            EXPECT_EQ(std::string(read[0]->GetFileName()),
                      *c.mFound ? root.File(std::string("src/") + c.mFound) : std::string(c.mWritten));
            EXPECT_EQ(std::string(read[0]->GetRelativeFileName()), c.mWritten);
        }
#ifndef QOX_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed: no 3DS file of another tool is read";
#endif
}
