// Textures named by a file read from any working folder: the image a map
// names is looked for beside the file that names it, so conversions to the
// native file embed it and conversions to OBJ and 3DS copy it beside the new
// file, which names the copy.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/reader3ds_test_util.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

#ifdef QOX_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#endif

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;
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
    using namespace reader3dstest;
    ASSERT_TRUE(WriteFile3ds(file, [&](database3ds* db) {
        material3ds* material = nullptr;
        InitMaterial3ds(&material);
        ftktest::SetName(material->name, sizeof material->name, "Stone");
        ftktest::SetName(material->texture.name, sizeof material->texture.name, source.mMap);
        material->texture.uscale = material->texture.vscale = 1.0f;
        PutMaterial3ds(db, material);
        ReleaseMaterial3ds(&material);
        mesh3ds* mesh = NewMesh("Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}}, InitTextArray3ds);
        for (int v = 0; v < 3; ++v)
            mesh->textarray[v] = {v == 1 ? 1.0f : 0.0f, v == 2 ? 1.0f : 0.0f};
        AddMaterialGroup(mesh, "Stone", {0});
        PutMesh3ds(db, mesh);
        RelMeshObj3ds(&mesh);
    }));
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

// Moves to a working folder for its life, back to the one before after.
class WorkingFolder
{
public:
    explicit WorkingFolder(const std::string& folder)
    {
        char previous[4096];
        mPrevious = getcwd(previous, sizeof previous) ? previous : "";
        mMoved = !mPrevious.empty() && chdir(folder.c_str()) == 0;
    }
    ~WorkingFolder()
    {
        if (mMoved)
        {
            EXPECT_EQ(chdir(mPrevious.c_str()), 0);
        }
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    bool Moved() const { return mMoved; }

private:
    std::string mPrevious;
    bool mMoved = false;
};

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
    for (const char* folder : {"src", "out", "src/TX_Scene", "src/mats", "src/t"})
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
