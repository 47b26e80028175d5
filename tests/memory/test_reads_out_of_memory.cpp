// Reads of a native file with takes, upper animation layers and a character,
// in each form, with allocations failing at every point in turn
// (memory_test_util.h), the files down a folder of a long name so that
// every path a read makes takes memory, whatever the temporary folder:
// opening and importing fail with "Out of memory" and throw nothing, a read
// that succeeds holds all a read with memory to spare holds, and a name
// looked up before the teardown leaves the teardown nothing that can fail. Reads of a DXF drawing, in each derivation, succeed
// whole (every node, mesh, material and message line) or fail with "Out of
// memory" and leave the scene and the manager as they were.
//
// A sweep of a native file runs one allocation in kStride (the first, then
// every kStride-th), so that the whole test stays well under a minute on a
// loaded machine; with QOX_SWEEP_EVERY=1 in the environment it runs every
// one. The DXF sweeps, of a small drawing, run every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/kthreadlimit.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "formats/dxf_test_util.h"
#include "formats/reader3ds_test_util.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "memory_test_util.h"
#include "read_test_util.h"
#include "scene/attributes/kqoximageconverter.h"
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
std::string ReferenceRead(const std::string& path, const Form& form, KQoxImageConverterFunction converter = nullptr)
{
    KQoxSdkManager manager;
    if (converter)
        manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", converter);
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxImporter importer(manager);
    importer.SetPassword(form.mPassword);
    EXPECT_TRUE(importer.Initialize(path.c_str()) && importer.Import(scene)) << importer.GetLastErrorString();
    int major = 0, minor = 0, revision = 0;
    EXPECT_TRUE(importer.GetFileVersion(major, minor, revision));
    EXPECT_EQ(major, form.mFormat == eEXPORT_QOX5_ASCII ? 5 : 6) << form.mName;
    return qoxtest::ListRead(scene) + qoxtest::ListTextures(manager) + qoxtest::ListFileNames(manager);
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

// The listing of a read with each mention of folder given as "@".
std::string Placed(std::string listing, const std::string& folder)
{
    for (size_t at; !folder.empty() && (at = listing.find(folder)) != std::string::npos;)
        listing.replace(at, folder.size(), "@");
    return listing;
}

// What a geometry read gives: the scene listed whole (nodes with their
// properties, meshes and layers, materials), and the manager's count of each
// kind a read makes.
std::string ListGeometryRead(KQoxSdkManager& manager, KQoxScene& scene)
{
    return fileiotest::ListScene(manager, scene) + "nodes " + std::to_string(manager.GetKQoxNodeCount()) +
           " attributes " + std::to_string(manager.GetKQoxNodeAttributeCount()) + " materials " +
           std::to_string(manager.GetKQoxMaterialCount()) + "\n";
}

// A listing of a read of its own, for files of other formats.
using ListRead = std::function<std::string(KQoxSdkManager&, KQoxScene&, const KQoxImporter&)>;

// How a run reads its file: as a native file (no options) with its
// password, as a DXF file with the option set of a derivation, or with the
// reader's own options and a listing of its own.
struct Reading
{
    Reading(const char* password = "", int dxfDerivation = -1, bool referenceNode = false)
        : mPassword(password)
        , mDxfDerivation(dxfDerivation)
        , mReferenceNode(referenceNode)
    {}
    const char* mPassword = "";
    int mDxfDerivation = -1; // the derivation's entry (0 layer, 1 block, 2 entity); -1: native
    bool mReferenceNode = false;
    ListRead mList;                                  // what a read is compared by, when not the native listing
    bool mReaderOptions = false;                     // the importer's options for the file's format given to the import
    KQoxImageConverterFunction mConverter = nullptr; // registered for "ppm" images when set
};

// What the comparison of two reads looks at: for a DXF read, its geometry
// and message.
std::string Listing(KQoxSdkManager& manager, KQoxScene& scene, const KQoxImporter& importer, const Reading& reading)
{
    if (reading.mList)
        return reading.mList(manager, scene, importer);
    if (reading.mDxfDerivation < 0)
        return qoxtest::ListRead(scene) + qoxtest::ListTextures(manager) + qoxtest::ListFileNames(manager);
    KString message;
    importer.GetMessage(message);
    return ListGeometryRead(manager, scene) + "message:\n" + message.ToChars();
}

// Imports the file as reading says (the importer and its options made first
// when options); false with the importer's error.
bool Import(KQoxImporter& importer, KQoxScene& scene, const Reading& reading)
{
    if (reading.mDxfDerivation < 0 && !reading.mReaderOptions)
        return importer.Import(scene);
    std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
    if (reading.mReaderOptions)
        return options && importer.Import(scene, options.get());
    auto* dxf = dynamic_cast<KStreamOptionsDxf*>(options.get());
    if (!dxf)
        return false;
    dxf->SetOption(KStreamOptionsDxf::eOBJECT_DERIVATION, reading.mDxfDerivation);
    dxf->SetOption(KStreamOptionsDxf::eCREATE_REFERENCE_NODE, reading.mReferenceNode ? 1 : 0);
    return importer.Import(scene, options.get());
}

// Opens and imports the file; the outcome. Making the manager, the scene and
// the importer may throw std::bad_alloc (code that builds); the importer's
// calls may not. A read that fails leaves the scene (and, for a DXF read,
// the manager) as it was. The listing is compared with folder given as "@".
int ImportAndCompare(const std::string& path, const Reading& reading, const std::string& reference, After after,
                     std::string& text, const std::string& folder = std::string())
{
    std::unique_ptr<KQoxSdkManager> manager;
    KQoxScene* scene = nullptr;
    std::unique_ptr<KQoxImporter> importer;
    try
    {
        manager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        if (reading.mConverter)
        {
            // As the host has it before any read.
            qoxtest::DisarmAllocations();
            manager->CreateKQoxImageConverter()->RegisterConverterFunction("ppm", reading.mConverter);
            qoxtest::ResumeAllocations();
        }
        scene = manager->CreateKQoxScene();
        importer.reset(new KQoxImporter(*manager));
        importer->SetPassword(reading.mPassword);
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    int outcome = qoxtest::kWorkDone;
    const char* stage = "Initialize";
    try
    {
        qoxtest::DisarmAllocations();
        const std::string before = reading.mDxfDerivation < 0 ? "" : ListGeometryRead(*manager, *scene);
        qoxtest::ResumeAllocations();
        if (!importer->Initialize(path.c_str()))
            outcome = ImportError(*importer, "Initialize: ", text);
        else
        {
            stage = "Import";
            if (!Import(*importer, *scene, reading))
                outcome = ImportError(*importer, "Import: ", text);
        }
        qoxtest::DisarmAllocations();
        if (outcome == qoxtest::kWorkDone)
        {
            const std::string read = Placed(Listing(*manager, *scene, *importer, reading), folder);
            if (read != reference)
            {
                text = "read as success, but " + qoxtest::FirstDifference(reference, read);
                outcome = qoxtest::kWorkFailed;
            }
        }
        else if (reading.mDxfDerivation >= 0 && ListGeometryRead(*manager, *scene) != before)
        {
            text = std::string(stage) + " failed, but left " +
                   qoxtest::FirstDifference(before, ListGeometryRead(*manager, *scene));
            outcome = qoxtest::kWorkFailed;
        }
        qoxtest::ResumeAllocations();
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
    std::replace(text.begin(), text.end(), '\n', '/'); // one line in the sweep's report
    return outcome;
}

void SweepEveryForm(AllocationFailure mode, After after)
{
    // One thread, so that every run allocates the same in the same order.
    KSetThreadLimit(1);
    qoxtest::TempDir dir;
    // Down a long path, so that the file's own path and folder take memory.
    const std::string folder = qoxtest::MakeLongPathFolder(dir.Path());
    ASSERT_NE(folder, "");
    for (const Form& form : kForms)
    {
        const std::string path = folder + "/layered" + std::to_string(form.mFormat) + ".qox";
        ASSERT_TRUE(WriteLayeredScene(path, form));
        const std::string reference = ReferenceRead(path, form);
        // The reference holds what the sweep compares.
        ASSERT_NE(reference.find("character Constraint::Hero"), std::string::npos) << reference;
        ASSERT_NE(reference.find("take Jump"), std::string::npos) << reference;
        ASSERT_NE(reference.find("layer 1"), std::string::npos) << reference;
        ASSERT_NE(reference.find("layer 2"), std::string::npos) << reference;
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) { return ImportAndCompare(path, Reading{form.mPassword}, reference, after, text); },
            mode, qoxtest::SweepStride(kStride));
        qoxtest::ExpectEveryRunEndsWell(outcome, form.mName);
        EXPECT_GT(outcome.mAllocations, 1000) << form.mName;
        std::printf("%s: %ld allocations\n", form.mName, outcome.mAllocations);
    }
}

// A texture's name longer than a short text's own room, as its clip's and
// media name are then.
// What a read killed on the way left in a media folder: a fresh file.
const char kLeftFresh[] = ".qox-0000000001-1.ppm";
const char kTextureName[] = "Brick_wall_of_the_north_wing_terrace_on_the_second_floor_above_the_garden";

// A quad textured with an image that is then deleted, saved with its media
// (as TIFF content when a converter is given): a read extracts the image and
// points the texture at it. Beside it, a spot light projecting a gobo and a
// camera with a background, named in the image's folder (no such files).
bool WriteTexturedScene(const std::string& path, const std::string& image,
                        KQoxImageConverterFunction converter = nullptr)
{
    KQoxSdkManager manager;
    if (converter)
        manager.CreateKQoxImageConverter()->RegisterConverterFunction("ppm", converter);
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxMesh* mesh = qoxtest::MakeTriangle(manager);
    KQoxTexture* texture = manager.CreateKQoxTexture(kTextureName);
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
    const std::string folder = image.substr(0, image.rfind('/') + 1);
    KQoxLight* light = manager.CreateKQoxLight();
    light->SetLightType(KQoxLight::eSPOT);
    light->SetFileName((folder + "gobo of the spot light.ppm").c_str());
    KQoxNode* spot = manager.CreateKQoxNode("Spot");
    spot->SetNodeAttribute(light);
    scene.GetRootNode()->AddChild(spot);
    KQoxCamera* camera = manager.CreateKQoxCamera();
    camera->SetBackgroundMediaName("Video::Background_plate_of_the_north_wing_terrace_seen_from_the_garden");
    camera->SetBackgroundFileName((folder + "background plate.ppm").c_str());
    KQoxNode* eye = manager.CreateKQoxNode("Eye");
    eye->SetNodeAttribute(camera);
    scene.GetRootNode()->AddChild(eye);
    KQoxExporter exporter(manager);
    const bool written = qoxtest::WriteFile(image, std::string("P6\n1 1\n255\n\xff\x00\x00", 14)) &&
                         exporter.Initialize(path.c_str()) && exporter.Export(scene);
    std::remove(image.c_str());
    return written;
}

} // namespace

// Files an earlier version wrote (layers of id 0 left out of the file) and a
// file down a long path whose texture's image is extracted from it: a read
// short of memory fails with "Out of memory" or gives every key, layer id
// and file name a read with memory to spare gives.
TEST(ReadsOutOfMemory, EarlierFilesAndExtractedMediaReadWholeOrFailForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    qoxtest::TempDir dir;
    const std::string earlier = std::string(QOX_FILEIO_TEST_DATA) + "/earlier/by-7b1322a/";
    const std::string folder = qoxtest::MakeLongPathFolder(dir.Path());
    ASSERT_NE(folder, "");
    const std::string textured = folder + "/textured.qox";
    ASSERT_TRUE(WriteTexturedScene(textured, folder + "/brick.ppm"));
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
            [&](std::string& text) { return ImportAndCompare(file.mPath, Reading(), reference, After::eLookUp, text); },
            AllocationFailure::eOnlyAt, qoxtest::SweepStride(kStride));
        qoxtest::ExpectEveryRunEndsWell(outcome, file.mPath.c_str());
        std::printf("%s: %ld allocations\n", file.mPath.c_str(), outcome.mAllocations);
    }
    EXPECT_NE(ReferenceRead(textured, kForms[0]).find("textured.qox.media/brick.ppm"), std::string::npos);
}

// The textured file read with allocations failing at each point, and at
// every point from one on, each run in a folder of its own (runs go side by
// side) down a long path, so that every path the read makes takes memory
// whatever the temporary folder: its image stored as it is and as TIFF
// content recreated through a converter. A read short of memory fails with
// "Out of memory" or gives the texture its extracted image and every file
// name the file holds, and leaves beside the file that image whole or
// nothing (and the folder's record of it): no file half written, no fresh
// file left, no image left out for want of memory. The fresh file a read
// killed on the way left there is gone after a read that ends well.
TEST(ReadsOutOfMemory, ExtractedImagesAreWholeOrNotThere)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    const struct
    {
        const char* mName;
        KQoxImageConverterFunction mConverter;
    } contents[] = {{"raw", nullptr}, {"TIFF", &fileiotest::PpmConverter}};
    for (const auto& content : contents)
    {
        SCOPED_TRACE(content.mName);
        qoxtest::TempDir dir;
        const std::string folder = qoxtest::MakeLongPathFolder(dir.Path());
        ASSERT_NE(folder, "");
        const std::string textured = folder + "/textured.qox";
        ASSERT_TRUE(WriteTexturedScene(textured, folder + "/brick.ppm", content.mConverter));
        {
            // Stored as the case says: TIFF content takes a converter.
            KQoxSdkManager manager;
            KQoxScene& scene = *manager.CreateKQoxScene();
            KQoxImporter importer(manager);
            ASSERT_TRUE(importer.Initialize(textured.c_str()) && importer.Import(scene));
            KString message;
            importer.GetMessage(message);
            EXPECT_EQ(std::string(message.ToChars()),
                      content.mConverter
                          ? "Media not extracted (no image converter makes it): " + folder + "/brick.ppm\n"
                          : "");
        }
        const std::string image("P6\n1 1\n255\n\xff\x00\x00", 14);
        const std::string first = qoxtest::FreshRunFolder(folder, "first-");
        ASSERT_TRUE(qoxtest::WriteFile(first + "/textured.qox", qoxtest::ReadFile(textured)));
        const std::string reference =
            Placed(ReferenceRead(first + "/textured.qox", kForms[0], content.mConverter), first);
        // The reference holds every name the sweep compares.
        for (const std::string& part :
             {"texture Texture::" + std::string(kTextureName) + " @/textured.qox.media/brick.ppm",
              "media Video::" + std::string(kTextureName), "clip Video::" + std::string(kTextureName) + " @/",
              "gobo " + folder + "/gobo of the spot light.ppm",
              "background Video::Background_plate_of_the_north_wing_terrace_seen_from_the_garden " + folder +
                  "/background plate.ppm"})
            ASSERT_NE(reference.find(part), std::string::npos) << part << " in\n" << reference;
        Reading reading;
        reading.mConverter = content.mConverter;
        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    // A folder of the run's own, of the same name's length
                    // as the first's, so that every run allocates the same;
                    // working in an empty one, which the read never writes
                    // into.
                    qoxtest::DisarmAllocations();
                    const std::string run = qoxtest::FreshRunFolder(folder, "swept-"), copy = run + "/textured.qox",
                                      here = qoxtest::FreshRunFolder(folder, "cwd-"),
                                      media = run + "/textured.qox.media", left = media + "/" + kLeftFresh;
                    const struct timespec longAgo[2] = {{1, 0}, {1, 0}};
                    const bool made = qoxtest::WriteFile(copy, qoxtest::ReadFile(textured)) &&
                                      chdir(here.c_str()) == 0 && mkdir(media.c_str(), 0700) == 0 &&
                                      qoxtest::WriteFile(left, "left") &&
                                      utimensat(AT_FDCWD, left.c_str(), longAgo, 0) == 0;
                    qoxtest::ResumeAllocations();
                    if (!made)
                        return qoxtest::kWorkFailed;
                    int outcome = ImportAndCompare(copy, reading, reference, After::eTearDown, text, run);
                    qoxtest::DisarmAllocations();
                    for (const auto& [name, bytes] : qoxtest::ReadFolder(media))
                        if ((name != "brick.ppm" || bytes != image) && name != ".qoxsdk-extracted" &&
                            name != kLeftFresh)
                        {
                            text = "left " + name + " of " + std::to_string(bytes.size()) + " bytes";
                            outcome = qoxtest::kWorkFailed;
                        }
                    if (outcome == qoxtest::kWorkDone && access(left.c_str(), F_OK) == 0)
                    {
                        text = "kept the fresh file a killed read left";
                        outcome = qoxtest::kWorkFailed;
                    }
                    if (!qoxtest::ReadFolder(here).empty())
                    {
                        text = "wrote " + qoxtest::ReadFolder(here).begin()->first + " into the working folder";
                        outcome = qoxtest::kWorkFailed;
                    }
                    std::error_code ignored;
                    std::filesystem::remove_all(run, ignored);
                    std::filesystem::remove_all(here, ignored);
                    qoxtest::ResumeAllocations();
                    return outcome;
                },
                mode, qoxtest::SweepStride(1));
            qoxtest::ExpectEveryRunEndsWell(outcome, content.mName);
            std::printf("%s: %ld allocations\n", content.mName, outcome.mAllocations);
        }
    }
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

// Names longer than a text's own room: layer and block names that take
// memory of their own.
const std::string kLongLayer = "Terrace_of_the_north_wing_on_the_second_floor_above_the_old_garden_walls";
const std::string kLongBlock = "Balustrade_of_the_north_wing_terrace_on_the_second_floor_cast_in_iron";

// A drawing of several layers (colours from the LAYER table, one layer off,
// names in two cases, a long name, names with a namespace), LINEs and
// 3DFACEs that weld, a polyface and a polygon-mesh POLYLINE, nested INSERTs
// of blocks (one inserting a block that holds a CIRCLE, one of a long name),
// and kinds left out: CIRCLEs, an ARC and a TEXT.
const std::string kDrawing = dxftest::Dxf(
    "0 SECTION|2 TABLES|0 TABLE|2 LAYER|0 LAYER|2 WALLS|62 3|0 LAYER|2 Hidden|62 -7|0 LAYER|2 Roof|62 5|0 LAYER|2 " +
    kLongLayer + "|62 6|0 ENDTAB|0 ENDSEC|0 SECTION|2 BLOCKS|0 BLOCK|2 " + kLongBlock + "|0 LINE|8 " + kLongLayer +
    "|10 0|20 0|30 0|11 3|21 0|31 0|0 ENDBLK|0 BLOCK|2 Box|10 1|20 0|30 0|0 3DFACE|8 WALLS|10 0|20 0|30 0|11 1|21 0|"
    "31 0|12 1|22 1|32 0|13 1|23 1|33 0|0 LINE|8 Roof|10 0|20 0|30 0|11 0|21 0|31 2|0 CIRCLE|8 Roof|10 0|20 0|30 0|"
    "40 1|0 ENDBLK|"
    "0 BLOCK|2 Pair|0 INSERT|2 Box|10 5|0 INSERT|2 Box|10 7|41 2|42 2|43 2|0 ENDBLK|0 ENDSEC|"
    "0 SECTION|2 ENTITIES|0 LINE|8 walls|10 1|20 2|30 3|11 4|21 5|31 6|0 LINE|8 WALLS|10 4|20 5|30 6|11 0|21 0|31 0|"
    "0 3DFACE|8 Hidden|62 1|10 0|20 0|30 0|11 1|21 0|31 0|12 1|22 1|32 0|13 0|23 1|33 0|"
    "0 3DFACE|8 Roof|10 0|20 0|30 4|11 1|21 0|31 4|12 1|22 1|32 4|13 1|23 1|33 4|"
    "0 3DFACE|8 Roof|62 2|10 1|20 1|30 4|11 1|21 0|31 4|12 2|22 1|32 4|13 2|23 1|33 4|"
    "0 CIRCLE|8 Roof|10 0|20 0|30 0|40 1|0 ARC|8 Roof|10 0|20 0|40 1|50 0|51 90|0 TEXT|8 Roof|1 note|"
    "0 POLYLINE|8 Mesh|66 1|70 64|0 VERTEX|10 0|20 0|30 0|70 192|0 VERTEX|10 1|20 0|30 0|70 192|0 VERTEX|10 1|20 1|"
    "30 0|70 192|0 VERTEX|62 5|70 128|71 1|72 -2|73 3|0 SEQEND|"
    "0 POLYLINE|8 Grid|66 1|70 16|71 2|72 3|0 VERTEX|70 64|10 0|20 0|0 VERTEX|70 64|10 1|20 0|0 VERTEX|70 64|10 2|"
    "20 0|0 VERTEX|70 64|10 0|20 1|0 VERTEX|70 64|10 1|20 1|0 VERTEX|70 64|10 2|20 1|0 SEQEND|"
    "0 CIRCLE|8 walls|10 3|20 3|30 0|40 2|0 INSERT|2 Pair|10 1|20 2|30 3|50 30|0 INSERT|2 Box|8 Roof|10 9|"
    "0 LINE|8 Site::Old trees|10 0|20 0|30 0|11 0|21 7|31 0|0 LINE|8 Site::|10 0|20 0|30 0|11 0|21 8|31 0|"
    "0 3DFACE|8 " +
    kLongLayer + "|10 0|20 0|30 9|11 1|21 0|31 9|12 1|22 1|32 9|13 1|23 1|33 9|0 INSERT|2 " + kLongBlock +
    "|10 0|20 5|0 ENDSEC|0 EOF");

// The listing of the drawing read with memory to spare.
std::string ReferenceDxfRead(const std::string& path, const Reading& reading)
{
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxImporter importer(manager);
    EXPECT_TRUE(importer.Initialize(path.c_str()) && Import(importer, scene, reading)) << importer.GetLastErrorString();
    return Listing(manager, scene, importer, reading);
}

} // namespace

// A DXF read short of memory, in each derivation, with and without the
// reference node: it gives every node, mesh and material a read with memory
// to spare gives, and its message names every kind left out, or it fails
// with "Out of memory" and leaves the scene and the manager as they were.
TEST(ReadsOutOfMemory, DxfReadsWholeOrFailForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir dir;
    const std::string path = dir.File("plan.dxf");
    ASSERT_TRUE(qoxtest::WriteFile(path, kDrawing));
    const struct
    {
        const char* mName;
        Reading mReading;
    } reads[] = {{"by layer", {"", 0, true}}, {"by block", {"", 1, false}}, {"by entity", {"", 2, true}}};
    for (const auto& read : reads)
    {
        const std::string reference = ReferenceDxfRead(path, read.mReading);
        // The reference holds what the sweep compares; a node per layer (one
        // of them hidden) only when read by layer.
        for (const std::string& part :
             {std::string("Left out of the scene: 5 CIRCLE entities\n"), std::string("1 ARC entity"),
              std::string("1 TEXT entity"), std::string("material Material::Material4"), std::string("Model::Pair"),
              std::string(" index 0 1\n"), std::string("Model::Box1"), "Model::" + kLongBlock})
            EXPECT_NE(reference.find(part), std::string::npos) << read.mName << ": " << part;
        for (const std::string& layer : {"Model::" + kLongLayer + " shading", std::string("Model::Old trees shading"),
                                         std::string("Model::Name shading"), std::string("Visibility double = 0")})
            EXPECT_EQ(reference.find(layer) != std::string::npos, read.mReading.mDxfDerivation == 0)
                << read.mName << ": " << layer;
        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    return ImportAndCompare(path, read.mReading, reference, After::eTearDown, text);
                },
                mode, qoxtest::SweepStride(1));
            qoxtest::ExpectEveryRunEndsWell(outcome, read.mName);
            std::printf("%s: %ld allocations\n", read.mName, outcome.mAllocations);
        }
    }
}

namespace {

// An OBJ read: besides the nodes and textures, each mesh's points, colours
// and textures, each material's diffuse colour, each texture's scale, and
// the read's message.
std::string ListObjRead(KQoxSdkManager& manager, KQoxScene& scene, const KQoxImporter& importer)
{
    std::string out = qoxtest::ListRead(scene) + qoxtest::ListTextures(manager);
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

namespace {

// A geometry file read with plenty of memory (its listing holds each of
// parts), then with allocations failing at each point and at every point
// from one on: each read short of memory fails with "Out of memory" or
// lists as that one.
void SweepGeometryRead(const std::string& path, const std::vector<std::string>& parts, const char* what)
{
    std::string reference;
    {
        KQoxSdkManager manager;
        KQoxScene& scene = *manager.CreateKQoxScene();
        KQoxImporter importer(manager);
        ASSERT_TRUE(importer.Initialize(path.c_str()));
        std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
        ASSERT_TRUE(importer.Import(scene, options.get())) << importer.GetLastErrorString();
        reference = ListObjRead(manager, scene, importer);
    }
    for (const std::string& part : parts)
        ASSERT_NE(reference.find(part), std::string::npos) << part << " in\n" << reference;
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) {
                Reading reading;
                reading.mList = ListObjRead;
                reading.mReaderOptions = true;
                return ImportAndCompare(path, reading, reference, After::eLookUp, text);
            },
            mode, 1);
        qoxtest::ExpectEveryRunEndsWell(outcome, what);
        std::printf("%s: %ld allocations\n", what, outcome.mAllocations);
    }
}

} // namespace

// OBJ files with a material library and a texture, one written plainly,
// one whose map has options before an image named in another letter case
// with a path of another machine and whose vertices have colours (one
// clamped), one whose group, material and image have
// names too long for a short text's own room, in a folder of a long name
// (every name made on the way allocates): a read short of memory fails with
// "Out of memory" or gives the library's material and texture (its file
// named, its scale kept), the colours, every name and the message a read
// with memory to spare gives.
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
        std::vector<std::string> mListed; // parts of the listing read with memory to spare
        std::string mMaterial = "Stone";
        std::string mGroup = ""; // a "g" line's name before the faces, when given
    } cases[] = {
        {"plain",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n",
         "stone wall.ppm",
         {"stone wall.ppm stone wall.ppm", "mesh 6 points -1 colours 1 textures", "material Material::Stone 0.25"}},
        {"map options, a map left out, letter case, colours",
         "v 0 0 0 255 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 1\nv 1 1 0\n",
         "-bm 0.5 -s 2 2 1 C:\\Maps\\Stone Wall.PPM\nmap_Bump Stone Bump.PPM",
         {"stone wall.ppm C:\\Maps\\Stone Wall.PPM", "mesh 6 points 6 colours 1 textures", "scale 2.0",
          "material Material::Stone 0.25",
          "message Clamped to 0 to 1: 1 vertex colour value\nLeft out of the scene: 1 texture map map_Bump\n"
          "Left out of the scene: 1 texture map option -bm"}},
        {"long names",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n",
         "granite of the southern quarry, weathered for a century by sea spray.ppm",
         {"Model::the_north wall of the old harbour office, seen from the water",
          "material Material::granite_of_the_southern_quarry_weathered_by_sea_spray 0.25",
          "granite of the southern quarry, weathered for a century by sea spray.ppm"},
         "granite_of_the_southern_quarry_weathered_by_sea_spray",
         "the north wall of the old harbour office, seen from the water"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mWhat);
        qoxtest::TempDir temp;
        const std::string folder = temp.File("an asset library of the planetarium's models");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        const std::string obj = folder + "/scene.obj";
        ASSERT_TRUE(qoxtest::WriteFile(obj, std::string("mtllib scene.mtl\n") + c.mVertices +
                                                "vt 0 0\nvt 1 0\nvt 0 1\n" +
                                                (c.mGroup.empty() ? "" : "g " + c.mGroup + "\n") + "usemtl " +
                                                c.mMaterial + "\nf 1/1 2/2 3/3\nf 2/2 4/3 3/3\n"));
        ASSERT_TRUE(qoxtest::WriteFile(folder + "/scene.mtl",
                                       "newmtl " + c.mMaterial + "\nKd 0.5 0.25 0.125\nmap_Kd " + c.mMap + "\n"));
        ASSERT_TRUE(qoxtest::WriteFile(folder + "/stone wall.ppm", std::string("P6\n1 1\n255\n\xff\x00\x00", 14)));
        SweepGeometryRead(obj, c.mListed, c.mWhat);
    }
}

// A 3DS file whose map names its image with a name too long for a short
// text's own room (names are read whole), in a folder of a long name: a read
// short of memory fails with "Out of memory" or gives the texture its name,
// its image's file and the name as written, as a read with memory to spare
// does.
TEST(ReadsOutOfMemory, ThreeDsWithALongMapNameReadsWholeOrFailsForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir temp;
    const std::string folder = temp.File("an asset library of the planetarium's models");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string map = "granite of the southern quarry, weathered for a century by sea spray.ppm";
    ASSERT_TRUE(qoxtest::WriteFile(folder + "/" + map, std::string("P6\n1 1\n255\n\xff\x00\x00", 14)));
    const std::string path = folder + "/scene.3ds";
    ASSERT_TRUE(reader3dstest::WriteTexturedTriangle3ds(path, map.c_str()));
    SweepGeometryRead(path, {"Texture::" + map, folder + "/" + map + " " + map}, "3DS");
}
