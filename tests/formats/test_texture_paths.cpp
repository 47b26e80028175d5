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
