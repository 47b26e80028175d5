// Reads of a native file with takes, upper animation layers and a character,
// in each form, with allocations failing at every point in turn
// (memory_test_util.h): opening and importing fail with "Out of memory" and
// throw nothing, a read that succeeds holds all a read with memory to spare
// holds, and a name looked up before the teardown leaves the teardown
// nothing that can fail.
//
// A sweep runs one allocation in kStride (the first, then every kStride-th),
// so that the whole test stays well under a minute on a loaded machine; with
// QOX_SWEEP_EVERY=1 in the environment it runs every one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include <sys/stat.h>

#include "base/kthreadlimit.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "memory_test_util.h"
#include "read_test_util.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const long kStride = 7;
const char kPassword[] = "sweep";

struct Form
{
    const char* mName;
    int mFormat;
    const char* mPassword;
};

const Form kForms[] = {{"v6 binary", eEXPORT_QOX_BINARY, ""},
                       {"v6 ASCII", eEXPORT_QOX_ASCII, ""},
                       {"v6 encrypted", eEXPORT_QOX_ENCRYPTED, kPassword},
                       {"v5 ASCII", eEXPORT_QOX5_ASCII, ""}};

// What a run does after the read.
enum class After
{
    eTearDown, // destroys the importer, the scene and the manager
    eLookUp    // looks a name up first
};

bool WriteLayeredScene(const std::string& path, const Form& form)
{
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    qoxtest::BuildLayeredScene(manager, scene);
    KQoxExporter exporter(manager);
    exporter.SetPassword(form.mPassword);
    const bool written =
        exporter.Initialize(path.c_str()) && exporter.SetFileFormat(form.mFormat) && exporter.Export(scene);
    EXPECT_TRUE(written) << form.mName << ": " << exporter.GetLastErrorString();
    return written;
}

// The listing of the file read with memory to spare (of the form's version).
std::string ReferenceRead(const std::string& path, const Form& form)
{
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxImporter importer(manager);
    importer.SetPassword(form.mPassword);
    EXPECT_TRUE(importer.Initialize(path.c_str()) && importer.Import(scene)) << importer.GetLastErrorString();
    int major = 0, minor = 0, revision = 0;
    EXPECT_TRUE(importer.GetFileVersion(major, minor, revision));
    EXPECT_EQ(major, form.mFormat == eEXPORT_QOX5_ASCII ? 5 : 6) << form.mName;
    return qoxtest::ListRead(scene) + qoxtest::ListTextures(manager);
}

// Texts joined into text, whose room is reserved: nothing is allocated.
void Say(std::string& text, const char* first, const char* second)
{
    text.assign(first);
    text.append(second, std::min(std::strlen(second), text.capacity() - text.size()));
}

// The importer's error as the outcome: only lack of memory may fail a read.
int ImportError(const KQoxImporter& importer, const char* step, std::string& text)
{
    Say(text, step, importer.GetLastErrorString());
    return std::strcmp(importer.GetLastErrorString(), "Out of memory") == 0 ? qoxtest::kWorkOutOfMemory
                                                                            : qoxtest::kWorkFailed;
}

// What the comparison of a read looks at: by default the scene's nodes,
// keys and characters, and the manager's textures; and whether the import
// is given the reader's options (as files of other formats need).
using Listing = std::function<std::string(KQoxSdkManager&, KQoxScene&, const KQoxImporter&)>;

std::string ListNativeRead(KQoxSdkManager& manager, KQoxScene& scene, const KQoxImporter&)
{
    return qoxtest::ListRead(scene) + qoxtest::ListTextures(manager);
}

// Opens and imports the file; the outcome. Making the manager, the scene and
// the importer may throw std::bad_alloc (code that builds); the importer's
// calls may not.
int ImportAndCompare(const std::string& path, const char* password, const std::string& reference, After after,
                     std::string& text, const Listing& list = ListNativeRead, bool readerOptions = false)
{
    std::unique_ptr<KQoxSdkManager> manager;
    KQoxScene* scene = nullptr;
    std::unique_ptr<KQoxImporter> importer;
    try
    {
        manager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        scene = manager->CreateKQoxScene();
        importer.reset(new KQoxImporter(*manager));
        importer->SetPassword(password);
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    int outcome = qoxtest::kWorkDone;
    const char* stage = "Initialize";
    try
    {
        if (!importer->Initialize(path.c_str()))
            outcome = ImportError(*importer, "Initialize: ", text);
        else
        {
            stage = "Import";
            std::unique_ptr<KStreamOptions> options(readerOptions ? importer->GetImportOptions() : nullptr);
            if (readerOptions && !options)
                outcome = ImportError(*importer, "GetImportOptions: ", text);
            else if (!importer->Import(*scene, options.get()))
                outcome = ImportError(*importer, "Import: ", text);
        }
        if (outcome == qoxtest::kWorkDone)
        {
            qoxtest::DisarmAllocations();
            const std::string read = list(*manager, *scene, *importer);
            if (read != reference)
            {
                text = "read as success, but " + qoxtest::FirstDifference(reference, read);
                outcome = qoxtest::kWorkFailed;
            }
            qoxtest::ResumeAllocations();
        }
        stage = "FindKQoxNode";
        if (after == After::eLookUp)
            manager->FindKQoxNode("x");
    }
    catch (...)
    {
        Say(text, stage, " threw");
        return qoxtest::kWorkEscaped;
    }
    // Freeing never fails: an exception here ends the process.
    importer.reset();
    manager->DestroyKQoxScene(scene, true);
    manager.reset();
    if (outcome == qoxtest::kWorkDone)
        text.clear();
    return outcome;
}

void SweepEveryForm(AllocationFailure mode, After after)
{
    // One thread, so that every run allocates the same in the same order.
    KSetThreadLimit(1);
    qoxtest::TempDir dir;
    for (const Form& form : kForms)
    {
        const std::string path = dir.File(std::string("layered") + std::to_string(form.mFormat) + ".qox");
        ASSERT_TRUE(WriteLayeredScene(path, form));
        const std::string reference = ReferenceRead(path, form);
        // The reference holds what the sweep compares.
        ASSERT_NE(reference.find("character Constraint::Hero"), std::string::npos) << reference;
        ASSERT_NE(reference.find("take Jump"), std::string::npos) << reference;
        ASSERT_NE(reference.find("layer 1"), std::string::npos) << reference;
        ASSERT_NE(reference.find("layer 2"), std::string::npos) << reference;
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) { return ImportAndCompare(path, form.mPassword, reference, after, text); }, mode,
            qoxtest::SweepStride(kStride));
        qoxtest::ExpectEveryRunEndsWell(outcome, form.mName);
        EXPECT_GT(outcome.mAllocations, 1000) << form.mName;
        std::printf("%s: %ld allocations\n", form.mName, outcome.mAllocations);
    }
}

// A quad textured with an image that is then deleted, saved with its media:
// a read extracts the image and points the texture at it.
bool WriteTexturedScene(const std::string& path, const std::string& image)
{
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[1] = KQoxVector4(1, 0, 0);
    mesh->GetControlPoints()[2] = KQoxVector4(0, 1, 0);
    mesh->BeginPolygon();
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    KQoxTexture* texture = manager.CreateKQoxTexture("Brick");
    texture->SetFileName(image.c_str());
    texture->SetRelativeFileName("brick.ppm");
    KQoxLayerElementTexture* textures = new KQoxLayerElementTexture;
    textures->mMappingMode = KQoxLayerElement::eALL_SAME;
    textures->mDirectArray.Add(texture);
    textures->mIndexArray.Add(0);
    mesh->GetLayer(0)->SetTextures(textures);
    KQoxNode* wall = manager.CreateKQoxNode("Wall");
    wall->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(wall);
    KQoxExporter exporter(manager);
    const bool written = qoxtest::WriteFile(image, std::string("P6\n1 1\n255\n\xff\x00\x00", 14)) &&
                         exporter.Initialize(path.c_str()) && exporter.Export(scene);
    std::remove(image.c_str());
    return written;
}

} // namespace

// Files an earlier version wrote (layers of id 0 left out of the file) and a
// file whose texture's image is extracted from it: a read short of memory
// fails with "Out of memory" or gives every key, layer id and texture name
// a read with memory to spare gives.
TEST(ReadsOutOfMemory, EarlierFilesAndExtractedMediaReadWholeOrFailForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    qoxtest::TempDir dir;
    const std::string earlier = std::string(QOX_FILEIO_TEST_DATA) + "/earlier/by-7b1322a/";
    const std::string textured = dir.File("textured.qox");
    ASSERT_TRUE(WriteTexturedScene(textured, dir.File("brick.ppm")));
    const struct
    {
        std::string mPath;
        Form mForm;
    } files[] = {{earlier + "layers-v6-binary.qox", kForms[0]},
                 {earlier + "layers-v5-ascii.qox", kForms[3]},
                 {textured, kForms[0]}};
    for (const auto& file : files)
    {
        const std::string reference = ReferenceRead(file.mPath, file.mForm);
        ASSERT_NE(reference.find("node"), std::string::npos) << reference;
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) { return ImportAndCompare(file.mPath, "", reference, After::eLookUp, text); },
            AllocationFailure::eOnlyAt, qoxtest::SweepStride(kStride));
        qoxtest::ExpectEveryRunEndsWell(outcome, file.mPath.c_str());
        std::printf("%s: %ld allocations\n", file.mPath.c_str(), outcome.mAllocations);
    }
    EXPECT_NE(ReferenceRead(textured, kForms[0]).find("textured.qox.media/brick.ppm"), std::string::npos);
}

TEST(ReadsOutOfMemory, OnlyTheNthAllocationFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryForm(AllocationFailure::eOnlyAt, After::eTearDown);
}

TEST(ReadsOutOfMemory, EveryAllocationFromTheNthOnFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryForm(AllocationFailure::eFromOn, After::eTearDown);
}

TEST(ReadsOutOfMemory, NameLookedUpBeforeTheTeardown)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryForm(AllocationFailure::eOnlyAt, After::eLookUp);
}

namespace {

// An OBJ read: besides the nodes and textures, each mesh's points, colours
// and textures, each material's diffuse colour, each texture's scale, and
// the read's message.
std::string ListObjRead(KQoxSdkManager& manager, KQoxScene& scene, const KQoxImporter& importer)
{
    std::string out = ListNativeRead(manager, scene, importer);
    const std::function<void(KQoxNode*)> meshes = [&](KQoxNode* node) {
        if (KQoxMesh* mesh = static_cast<KQoxMesh*>(node->GetMesh()))
        {
            KQoxLayer* layer = mesh->GetLayer(0, KQoxLayerElement::eVERTEX_COLOR);
            const int colors = layer ? layer->GetVertexColors()->mDirectArray.GetCount() : -1;
            out += "mesh " + std::to_string(mesh->GetControlPointsCount()) + " points " + std::to_string(colors) +
                   " colours " + std::to_string(mesh->GTC(0)) + " textures\n";
        }
        for (int c = 0; c < node->GetChildCount(); ++c)
            meshes(node->GetChild(c));
    };
    meshes(scene.GetRootNode());
    for (int m = 0; m < manager.GetKQoxMaterialCount(); ++m)
    {
        KQoxMaterial* material = manager.GetKQoxMaterial(m);
        out +=
            std::string("material ") + material->GetName() + " " + std::to_string(material->GetDiffuse().mGreen) + "\n";
    }
    for (int t = 0; t < manager.GetKQoxTextureCount(); ++t)
        out += "scale " + std::to_string(manager.GetKQoxTexture(t)->GetScaleU()) + "\n";
    KString message;
    importer.GetMessage(message);
    return out + "message " + message.ToChars();
}

} // namespace

// OBJ files with a material library and a texture, one written plainly,
// one whose map has options before an image named in another letter case
// and whose vertices have colours, in a folder of a long name (every name
// made on the way allocates): a read short of memory fails with "Out of
// memory" or gives the library's material and texture (its file named, its
// scale kept), the colours and the message a read with memory to spare
// gives.
TEST(ReadsOutOfMemory, ObjWithItsLibraryAndTextureReadsWholeOrFailsForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    const struct
    {
        const char* mWhat;
        const char* mVertices;
        const char* mMap;
        std::vector<const char*> mListed; // parts of the listing read with memory to spare
    } cases[] = {
        {"plain",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n",
         "stone wall.ppm",
         {"stone wall.ppm stone wall.ppm", "mesh 6 points -1 colours 1 textures", "material Material::Stone 0.25"}},
        {"map options, letter case, colours",
         "v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 1\nv 1 1 0\n",
         "-bm 0.5 -s 2 2 1 Stone Wall.PPM",
         {"stone wall.ppm Stone Wall.PPM", "mesh 6 points 6 colours 1 textures", "scale 2.0",
          "material Material::Stone 0.25", "message Left out of the scene: 1 texture map option -bm"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mWhat);
        qoxtest::TempDir temp;
        const std::string folder = temp.File("an asset library of the planetarium's models");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        const std::string obj = folder + "/scene.obj";
        ASSERT_TRUE(
            qoxtest::WriteFile(obj, std::string("mtllib scene.mtl\n") + c.mVertices +
                                        "vt 0 0\nvt 1 0\nvt 0 1\nusemtl Stone\nf 1/1 2/2 3/3\nf 2/2 4/3 3/3\n"));
        ASSERT_TRUE(qoxtest::WriteFile(folder + "/scene.mtl",
                                       std::string("newmtl Stone\nKd 0.5 0.25 0.125\nmap_Kd ") + c.mMap + "\n"));
        ASSERT_TRUE(qoxtest::WriteFile(folder + "/stone wall.ppm", std::string("P6\n1 1\n255\n\xff\x00\x00", 14)));
        std::string reference;
        {
            KQoxSdkManager manager;
            KQoxScene& scene = *manager.CreateKQoxScene();
            KQoxImporter importer(manager);
            ASSERT_TRUE(importer.Initialize(obj.c_str()));
            std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
            ASSERT_TRUE(importer.Import(scene, options.get())) << importer.GetLastErrorString();
            reference = ListObjRead(manager, scene, importer);
        }
        // The reference holds what the sweep compares.
        for (const char* part : c.mListed)
            ASSERT_NE(reference.find(part), std::string::npos) << part << " in\n" << reference;
        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    return ImportAndCompare(obj, "", reference, After::eLookUp, text, ListObjRead, true);
                },
                mode, 1);
            qoxtest::ExpectEveryRunEndsWell(outcome, c.mWhat);
            std::printf("%s: %ld allocations\n", c.mWhat, outcome.mAllocations);
        }
    }
}
