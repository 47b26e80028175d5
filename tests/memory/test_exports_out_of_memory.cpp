// Exports over existing files with allocations failing at every point in
// turn (memory_test_util.h). Every run ends its export one of two ways: it
// succeeds and the files hold exactly what an export with plenty of memory
// writes, or it fails with "Out of memory" and the old files are
// byte-identical, with nothing else left in their folder (no temporary, no
// new material library beside an old OBJ); either way a native save leaves
// the scene as it was. No run ends its process and no exception leaves the
// export.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "base/kthreadlimit.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "fileio_test_util.h"
#include "formats/kqoxgeometryformats.h"
#include "memory_test_util.h"
#include "read_test_util.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const char kExample[] = QOX_EXAMPLES "/scene/example.qox";

// One form of export: the format, the file's name and the old files its
// folder holds before each run.
struct Form
{
    const char* mName;
    int mFormat;
    const char* mFile;
    qoxtest::Folder mOld;
    bool mCopiesImages;              // beside the file, where a texture names one
    bool mEmbedsImages = false;      // in the file, as the media of clips
    const char* mPassword = nullptr; // of the encrypted form
};

// The old files: not an export of the scene, so that any byte written over
// them shows. Beside an OBJ or 3DS file, another model's image named as the
// checker but for case: the checker's copy takes a numbered name.
std::vector<Form> Forms()
{
    return {
        {"native binary", eEXPORT_QOX_BINARY, "scene.qox", {{"scene.qox", "old native file\n"}}, false, true},
        {"native ASCII", eEXPORT_QOX_ASCII, "scene.qox", {{"scene.qox", "; old native file\n"}}, false, true},
        {"native encrypted",
         eEXPORT_QOX_ENCRYPTED,
         "scene.qox",
         {{"scene.qox", "old encrypted file\n"}},
         false,
         true,
         "secret"},
        {"version-5 binary", eEXPORT_QOX5_BINARY, "scene.qox", {{"scene.qox", "old native file\n"}}, false, true},
        {"version-5 ASCII", eEXPORT_QOX5_ASCII, "scene.qox", {{"scene.qox", "; old native file\n"}}, false, true},
        {"OBJ and its library",
         eEXPORT_OBJ,
         "scene.obj",
         {{"scene.obj", "# old OBJ\nmtllib scene.mtl\n"}, {"scene.mtl", "# old library\n"}, {"CHECKER.TIF", "other"}},
         true},
        {"DXF", eEXPORT_DXF, "scene.dxf", {{"scene.dxf", "  0\nEOF\n"}}, false},
        {"3DS", eEXPORT_3DS, "scene.3ds", {{"scene.3ds", "old 3DS file"}, {"CHECKER.TIF", "other"}}, true},
    };
}

// The scene exported in the form to path: the outcome (memory_test_util.h),
// the exporter's text in text when it failed, its message in message (when
// given) when it succeeded. Making the exporter may throw std::bad_alloc to
// its caller; the export itself may not.
int Export(KQoxSdkManager& manager, KQoxScene& scene, KStreamOptions& options, int format, const std::string& path,
           std::string& text, std::string* message = nullptr)
{
    std::unique_ptr<KQoxExporter> exporter;
    try
    {
        exporter.reset(new KQoxExporter(manager));
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    if (exporter->Initialize(path.c_str()) && exporter->SetFileFormat(format) && exporter->Export(scene, &options))
    {
        if (message)
        {
            // Read with nothing failing: the copy is the test's, not the export's.
            qoxtest::DisarmAllocations();
            KString kept;
            exporter->GetMessage(kept);
            *message = kept.ToChars();
            qoxtest::ResumeAllocations();
        }
        return qoxtest::kWorkDone;
    }
    const char* error = exporter->GetLastErrorString();
    text.assign(error, std::min<size_t>(std::strlen(error), 500));
    return text == "Out of memory" ? qoxtest::kWorkOutOfMemory : qoxtest::kWorkFailed;
}

// The records of a native file written again as a plain binary file (into
// a scratch file beside it), "unreadable" when it does not read.
std::string PlainRecords(const std::string& path, const char* password)
{
    fileiotest::FieldFile records;
    if (!fileiotest::ReadFieldFile(path, password, records))
        return "unreadable";
    records.mForm = KQox::eBINARY;
    const std::string plain = path + ".plain";
    const std::string bytes = fileiotest::WriteFieldFile(plain, nullptr, records) ? qoxtest::ReadFile(plain) : "";
    std::remove(plain.c_str());
    return bytes;
}

// The files of a folder where the form saves; a file of the encrypted form
// other than the old one as the records it holds (each encrypted save has a
// salt of its own).
qoxtest::Folder ReadSaved(const std::string& folder, const Form& form)
{
    qoxtest::Folder files = qoxtest::ReadFolder(folder);
    const auto file = files.find(form.mFile);
    if (form.mPassword && file != files.end() && file->second != form.mOld.at(form.mFile))
        file->second = PlainRecords(folder + "/" + form.mFile, form.mPassword);
    return files;
}

// The scene listed whole, and the manager's objects counted: what an export
// must leave as it was, whatever its end.
std::string ListExported(KQoxSdkManager& manager, KQoxScene& scene)
{
    return fileiotest::ListScene(manager, scene) + fileiotest::ManagerCounts(manager);
}

// The places the exports go to: right in the test's folder, the texture
// naming an image that is not there (nothing copied); and down a path too
// long for a short text's own room, so that every path the export makes
// from the file's (its library's, an image copy's) needs a block of memory,
// which may fail, the texture naming an image there for the forms that
// copy it beside the file (OBJ, 3DS) or embed it (native).
struct Place
{
    const char* mName;
    const char* mFolder; // "" or a folder's name with a slash
    bool mImage;
};
const char kImageBytes[] = "the checker's bytes";
const Place kPlaces[] = {
    {"", "", false},
    {", down a long path with an image", qoxtest::kLongPathFolder, true},
};

// Sweeps the export of the scene in one form over its old files, in
// folders under base (ending with a slash) at the place, each run in a
// folder of its own put back as it was before.
void SweepForm(KQoxSdkManager& manager, KQoxScene& scene, const Form& form, const std::string& base, const Place& place,
               AllocationFailure mode)
{
    const std::string what = form.mName + std::string(place.mName);
    SCOPED_TRACE(what);
    KQoxExporter maker(manager);
    ASSERT_TRUE(maker.SetFileFormat(form.mFormat));
    std::unique_ptr<KStreamOptions> options(maker.GetExportOptions());
    ASSERT_TRUE(options);
    if (form.mPassword)
        static_cast<KStreamOptionsQox&>(*options).SetPassword(form.mPassword);

    // What the export writes with plenty of memory, over the same old files.
    const std::string plenty = base + "plenty-" + std::to_string(form.mFormat);
    const std::string swept = base + "swept-" + std::to_string(form.mFormat);
    ASSERT_EQ(mkdir(plenty.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(swept.c_str(), 0700), 0);
    qoxtest::WriteFolder(plenty, form.mOld);
    std::string text;
    const std::string listed = form.mEmbedsImages ? ListExported(manager, scene) : "";
    ASSERT_EQ(Export(manager, scene, *options, form.mFormat, plenty + "/" + form.mFile, text), qoxtest::kWorkDone)
        << text;
    const qoxtest::Folder written = ReadSaved(plenty, form);
    // The old files replaced, and the image copied beside them or embedded.
    ASSERT_EQ(written.size(), form.mOld.size() + (place.mImage && form.mCopiesImages ? 1 : 0));
    ASSERT_NE(qoxtest::FolderDifference(written, form.mOld), "");
    if (place.mImage && form.mEmbedsImages)
    {
        ASSERT_NE(PlainRecords(plenty + "/" + form.mFile, form.mPassword).find(kImageBytes), std::string::npos);
    }
    ASSERT_TRUE(!form.mEmbedsImages || ListExported(manager, scene) == listed) << "the save changed the scene";

    const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
        [&](std::string& text) {
            // A folder of the run's own with the old files (children run
            // side by side), made and checked with nothing failing.
            qoxtest::DisarmAllocations();
            const std::string folder = qoxtest::FreshRunFolder(swept);
            qoxtest::WriteFolder(folder, form.mOld);
            const std::string path = folder + "/" + form.mFile;
            // Working in an empty folder of the run's own, which the
            // export, given a full path, never writes into.
            const std::string here = qoxtest::FreshRunFolder(swept, "cwd-");
            if (chdir(here.c_str()) != 0)
                return qoxtest::kWorkFailed;
            qoxtest::ResumeAllocations();
            int outcome = Export(manager, scene, *options, form.mFormat, path, text);
            qoxtest::DisarmAllocations();
            std::string difference =
                qoxtest::FolderDifference(ReadSaved(folder, form), outcome == qoxtest::kWorkDone ? written : form.mOld);
            // The native forms change the scene only while they save (DXF
            // triangulates it for good).
            if (difference.empty() && form.mEmbedsImages && ListExported(manager, scene) != listed)
                difference = "the scene changed";
            const qoxtest::Folder stray = qoxtest::ReadFolder(here);
            if (!stray.empty())
                difference = "wrote " + stray.begin()->first + " into the working folder";
            if (!difference.empty())
            {
                text = (outcome == qoxtest::kWorkDone ? "done, " : "failed (" + text + "), ") + difference;
                outcome = qoxtest::kWorkFailed;
            }
            return outcome;
        },
        mode);
    qoxtest::ExpectEveryRunEndsWell(outcome, what);
    EXPECT_GT(outcome.mAllocations, 20) << what;
}

// Sweeps the export of every form over its old files, each run in a folder
// of its own put back as it was before.
void SweepEveryForm(AllocationFailure mode)
{
    // One thread, so that every run allocates the same in the same order.
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(kExample) && importer.Import(scene)) << importer.GetLastErrorString();
    qoxtest::DropEmbeddedClips(manager, scene);
    KArrayTemplate<KQoxTexture*> textures;
    scene.FillTextureArray(textures);
    ASSERT_GT(textures.GetCount(), 0);
    const std::string named = textures[0]->GetFileName();
    // A light's gobo, whose clip the native forms make and drop as they save.
    KQoxLight* light = nullptr;
    for (int i = 0; !light && i < manager.GetKQoxNodeCount(); ++i)
        light = manager.GetKQoxNode(i)->GetLight();
    ASSERT_NE(light, nullptr);
    const std::string gobo = light->GetFileName() ? light->GetFileName() : "";
    qoxtest::TempDir dir;
    for (const Place& place : kPlaces)
    {
        if (*place.mFolder)
        {
            ASSERT_EQ(mkdir(dir.File(place.mFolder).c_str(), 0700), 0);
        }
        const std::string image = dir.File(place.mFolder + std::string("images/checker.tif"));
        if (place.mImage)
        {
            ASSERT_EQ(mkdir(dir.File(place.mFolder + std::string("images")).c_str(), 0700), 0);
            ASSERT_TRUE(qoxtest::WriteFile(image, kImageBytes));
        }
        for (const Form& form : Forms())
        {
            for (int i = 0; i < textures.GetCount(); ++i)
                textures[i]->SetFileName(
                    (place.mImage && (form.mCopiesImages || form.mEmbedsImages) ? image : named).c_str());
            light->SetFileName((place.mImage && form.mEmbedsImages ? image : gobo).c_str());
            SweepForm(manager, scene, form, dir.File(place.mFolder), place, mode);
        }
    }
}

} // namespace

TEST(ExportsOutOfMemory, OnlyTheNthAllocationFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryForm(AllocationFailure::eOnlyAt);
}

TEST(ExportsOutOfMemory, EveryAllocationFromTheNthOnFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepEveryForm(AllocationFailure::eFromOn);
}

namespace {

// A triangle whose material's texture names an image that is not there (a
// name longer than 8.3, holding a line break, as a file of another format
// may give): every writer that takes textures says so in its message.
void BuildMissingTexture(KQoxSdkManager& manager, KQoxScene& scene, const std::string& image,
                         const char* materialName = "Stone", const char* nodeName = "Wall")
{
    KQoxMesh* mesh = qoxtest::MakeTriangle(manager);
    KQoxMaterial* material = manager.CreateKQoxMaterial(materialName);
    mesh->AM(material, 0);
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    KQoxTexture* texture = manager.CreateKQoxTexture("Map");
    texture->SetFileName(image.c_str());
    mesh->AT(texture, 0);
    mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    KQoxNode* node = manager.CreateKQoxNode(nodeName);
    node->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(node);
}

// The files an export of the scene in the form leaves in a fresh folder
// holding the form's old files, with allocations failing at each point in
// turn: each run succeeds with the files and the exact message an export
// with plenty of memory gives (plenty: the folder it wrote them in; its
// message holds each of lines), or fails with "Out of memory" and leaves the
// old files byte-identical; never a success short of its message.
void SweepFormFiles(KQoxSdkManager& manager, KQoxScene& scene, const Form& form, const std::string& plenty,
                    const std::string& swept, const std::vector<std::string>& lines = {})
{
    KQoxExporter maker(manager);
    ASSERT_TRUE(maker.SetFileFormat(form.mFormat));
    std::unique_ptr<KStreamOptions> options(maker.GetExportOptions());
    ASSERT_TRUE(options);
    ASSERT_EQ(mkdir(plenty.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(swept.c_str(), 0700), 0);
    qoxtest::WriteFolder(plenty, form.mOld);
    std::string text, message;
    ASSERT_EQ(Export(manager, scene, *options, form.mFormat, plenty + "/" + form.mFile, text, &message),
              qoxtest::kWorkDone)
        << text;
    for (const std::string& line : lines)
        EXPECT_NE(message.find(line), std::string::npos) << message;
    const qoxtest::Folder written = qoxtest::ReadFolder(plenty);
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) {
                qoxtest::DisarmAllocations();
                // Every run's paths as long as the counting run's, however
                // process ids wrap round.
                const std::string folder = qoxtest::FreshRunFolder(swept);
                qoxtest::WriteFolder(folder, form.mOld);
                const std::string path = folder + "/" + form.mFile;
                std::string said;
                said.reserve(message.size() + 1);
                qoxtest::ResumeAllocations();
                int outcome = Export(manager, scene, *options, form.mFormat, path, text, &said);
                qoxtest::DisarmAllocations();
                const bool done = outcome == qoxtest::kWorkDone;
                const std::string difference =
                    qoxtest::FolderDifference(qoxtest::ReadFolder(folder), done ? written : form.mOld);
                if (!difference.empty())
                {
                    text = (done ? "done, " : "failed (" + text + "), ") + difference;
                    outcome = qoxtest::kWorkFailed;
                }
                else if (done && said != message)
                {
                    text = "done, but " + qoxtest::FirstDifference(message, said);
                    outcome = qoxtest::kWorkFailed;
                }
                std::replace(text.begin(), text.end(), '\n', '/');
                return outcome;
            },
            mode);
        qoxtest::ExpectEveryRunEndsWell(outcome, form.mName);
    }
}

} // namespace

// An export whose message names what it could not take (a texture image
// not found, a line break replaced): with allocations failing at each point
// in turn, each run succeeds with the files and the exact message an export
// with plenty of memory gives, or fails with "Out of memory" and leaves the
// old files byte-identical; never a success short of its message.
TEST(ExportsOutOfMemory, MessagesAreWholeOrTheExportFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir dir;
    const std::string image = dir.File("textures/weathered_granite\nmap.png");
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    BuildMissingTexture(manager, scene, image);
    // Messages show the name's line break escaped.
    const std::string shown = dir.File("textures/weathered_granite\\nmap.png");
    const std::string notFound = "Unable to locate texture file \"" + shown + "\".\n";
    // The forms that take textures, each with the lines its message holds.
    const std::vector<Form> forms = Forms();
    auto form = [&](int format) {
        return &*std::find_if(forms.begin(), forms.end(), [&](const Form& f) { return f.mFormat == format; });
    };
    const std::pair<const Form*, std::vector<std::string>> cases[] = {
        {form(eEXPORT_QOX_BINARY), {"Texture file not found, its media is not embedded: " + shown + "\n"}},
        {form(eEXPORT_OBJ),
         {notFound, "Line break in texture name replaced by \"_\": \"weathered_granite_map.png\"\n"}},
        {form(eEXPORT_3DS), {notFound, "Texture name file: \"weathered_granite\\nmap.png\" is too long.\n"}},
    };
    for (const auto& each : cases)
    {
        const Form& form = *each.first;
        SCOPED_TRACE(form.mName);
        const std::string plenty = dir.File("plenty-" + std::to_string(form.mFormat));
        SweepFormFiles(manager, scene, form, plenty, dir.File("swept-" + std::to_string(form.mFormat)), each.second);
        // The image is not there: nothing but the new files.
        EXPECT_EQ(qoxtest::ReadFolder(plenty).size(), form.mOld.size());
    }
}

// Names too long for a short text's own room (a node's, a material's, a
// texture's) need blocks of memory wherever a writer takes them: with
// allocations failing at each point in turn, each run writes every name
// whole, as an export with plenty of memory does, or fails with "Out of
// memory" and leaves the old files byte-identical; never a file with a name
// lost (an empty "g" or "newmtl" line).
TEST(ExportsOutOfMemory, LongNamesAreWholeOrTheExportFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir dir;
    const std::string longName(80, 'w');
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    BuildMissingTexture(manager, scene, dir.File("textures/" + longName + ".png"), ("Granite " + longName).c_str(),
                        ("Wall " + longName).c_str());
    for (const Form& form : Forms())
    {
        if (form.mFormat != eEXPORT_OBJ && form.mFormat != eEXPORT_3DS && form.mFormat != eEXPORT_DXF)
            continue;
        SCOPED_TRACE(form.mName);
        SweepFormFiles(manager, scene, form, dir.File("plenty-" + std::to_string(form.mFormat)),
                       dir.File("swept-" + std::to_string(form.mFormat)));
    }
}

// The writers that write NURBS surfaces as triangles (OBJ, 3DS) make those
// meshes for the write alone: with allocations failing at each point in
// turn, every run leaves the manager holding what it held before, whether
// the export succeeded or failed for memory.
TEST(ExportsOutOfMemory, MeshesMadeForTheWriteGoWithIt)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    KQoxRegisterGeometryFormats();
    qoxtest::TempDir dir;
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxNurb* nurb = manager.CreateKQoxNurb();
    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(4, KQoxNurb::eOPEN, 4, KQoxNurb::eOPEN);
    for (int i = 0; i < 16; ++i)
        nurb->GetControlPoints()[i] = KQoxVector4(i % 4, i / 4, 0, 1);
    for (int i = 0; i < nurb->GetUKnotCount(); ++i)
        nurb->GetUKnotVector()[i] = i < 4 ? 0 : 1;
    for (int i = 0; i < nurb->GetVKnotCount(); ++i)
        nurb->GetVKnotVector()[i] = i < 4 ? 0 : 1;
    KQoxNode* node = manager.CreateKQoxNode("Sail");
    node->SetNodeAttribute(nurb);
    scene.GetRootNode()->AddChild(node);
    const std::string counts = fileiotest::ManagerCounts(manager);
    for (int format : {eEXPORT_OBJ, eEXPORT_3DS})
    {
        SCOPED_TRACE(format);
        KQoxExporter maker(manager);
        ASSERT_TRUE(maker.SetFileFormat(format));
        std::unique_ptr<KStreamOptions> options(maker.GetExportOptions());
        ASSERT_TRUE(options);
        const std::string path = dir.File(format == eEXPORT_OBJ ? "sail.obj" : "sail.3ds");
        std::string text;
        ASSERT_EQ(Export(manager, scene, *options, format, path, text), qoxtest::kWorkDone) << text;
        ASSERT_EQ(fileiotest::ManagerCounts(manager), counts);
        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    int outcome = Export(manager, scene, *options, format, path, text);
                    qoxtest::DisarmAllocations();
                    const std::string left = fileiotest::ManagerCounts(manager);
                    if (left != counts)
                    {
                        text = (outcome == qoxtest::kWorkDone ? "done, " : "failed (" + text + "), ") +
                               qoxtest::FirstDifference(counts, left);
                        outcome = qoxtest::kWorkFailed;
                    }
                    return outcome;
                },
                mode);
            qoxtest::ExpectEveryRunEndsWell(outcome, path);
        }
    }
}
