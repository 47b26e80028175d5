// Exports over existing files with allocations failing at every point in
// turn (memory_test_util.h). Every run ends its export one of two ways: it
// succeeds and the files hold exactly what an export with plenty of memory
// writes, or it fails with "Out of memory" and the old files are
// byte-identical, with nothing else left in their folder (no temporary, no
// new material library beside an old OBJ). No run ends its process and no
// exception leaves the export.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

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
};

// The old files: not an export of the scene, so that any byte written over
// them shows.
std::vector<Form> Forms()
{
    return {
        {"native binary", eEXPORT_QOX_BINARY, "scene.qox", {{"scene.qox", "old native file\n"}}},
        {"native ASCII", eEXPORT_QOX_ASCII, "scene.qox", {{"scene.qox", "; old native file\n"}}},
        {"OBJ and its library",
         eEXPORT_OBJ,
         "scene.obj",
         {{"scene.obj", "# old OBJ\nmtllib scene.mtl\n"}, {"scene.mtl", "# old library\n"}}},
        {"DXF", eEXPORT_DXF, "scene.dxf", {{"scene.dxf", "  0\nEOF\n"}}},
        {"3DS", eEXPORT_3DS, "scene.3ds", {{"scene.3ds", "old 3DS file"}}},
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
    qoxtest::TempDir dir;
    for (const Form& form : Forms())
    {
        SCOPED_TRACE(form.mName);
        KQoxExporter maker(manager);
        ASSERT_TRUE(maker.SetFileFormat(form.mFormat));
        std::unique_ptr<KStreamOptions> options(maker.GetExportOptions());
        ASSERT_TRUE(options);

        // What the export writes with plenty of memory, over the same old files.
        const std::string plenty = dir.File(std::string("plenty-") + std::to_string(form.mFormat));
        const std::string swept = dir.File(std::string("swept-") + std::to_string(form.mFormat));
        ASSERT_EQ(mkdir(plenty.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(swept.c_str(), 0700), 0);
        qoxtest::WriteFolder(plenty, form.mOld);
        std::string text;
        ASSERT_EQ(Export(manager, scene, *options, form.mFormat, plenty + "/" + form.mFile, text), qoxtest::kWorkDone)
            << text;
        const qoxtest::Folder written = qoxtest::ReadFolder(plenty);
        ASSERT_EQ(written.size(), form.mOld.size());
        ASSERT_NE(qoxtest::FolderDifference(written, form.mOld), "");

        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) {
                // A folder of the run's own with the old files (children run
                // side by side), made and checked with nothing failing.
                qoxtest::DisarmAllocations();
                const std::string folder = swept + "/" + std::to_string(getpid());
                mkdir(folder.c_str(), 0700);
                qoxtest::WriteFolder(folder, form.mOld);
                const std::string path = folder + "/" + form.mFile;
                qoxtest::ResumeAllocations();
                int outcome = Export(manager, scene, *options, form.mFormat, path, text);
                qoxtest::DisarmAllocations();
                const std::string difference = qoxtest::FolderDifference(
                    qoxtest::ReadFolder(folder), outcome == qoxtest::kWorkDone ? written : form.mOld);
                if (!difference.empty())
                {
                    text = (outcome == qoxtest::kWorkDone ? "done, " : "failed (" + text + "), ") + difference;
                    outcome = qoxtest::kWorkFailed;
                }
                return outcome;
            },
            mode);
        qoxtest::ExpectEveryRunEndsWell(outcome, form.mName);
        EXPECT_GT(outcome.mAllocations, 20) << form.mName;
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
void BuildMissingTexture(KQoxSdkManager& manager, KQoxScene& scene, const std::string& image)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[1] = KQoxVector4(1, 0, 0);
    mesh->GetControlPoints()[2] = KQoxVector4(0, 1, 0);
    mesh->BeginPolygon();
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    KQoxMaterial* material = manager.CreateKQoxMaterial("Stone");
    mesh->AM(material, 0);
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    KQoxTexture* texture = manager.CreateKQoxTexture("Map");
    texture->SetFileName(image.c_str());
    mesh->AT(texture, 0);
    mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
    KQoxNode* node = manager.CreateKQoxNode("Wall");
    node->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(node);
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
    const std::string notFound = "Unable to locate texture file \"" + image + "\".\n";
    // The forms that take textures, each with the lines its message holds.
    const std::vector<Form> forms = Forms();
    const std::pair<const Form*, std::vector<std::string>> cases[] = {
        {&forms[0], {"Texture file not found, its media is not embedded: " + image + "\n"}},
        {&forms[2], {notFound, "Line break in texture name replaced by \"_\": \"weathered_granite_map.png\"\n"}},
        {&forms[4], {notFound, "Texture name file: \"weathered_granite\nmap.png\" is too long.\n"}},
    };
    for (const auto& each : cases)
    {
        const Form& form = *each.first;
        SCOPED_TRACE(form.mName);
        KQoxExporter maker(manager);
        ASSERT_TRUE(maker.SetFileFormat(form.mFormat));
        std::unique_ptr<KStreamOptions> options(maker.GetExportOptions());
        ASSERT_TRUE(options);

        const std::string plenty = dir.File(std::string("plenty-") + std::to_string(form.mFormat));
        const std::string swept = dir.File(std::string("swept-") + std::to_string(form.mFormat));
        ASSERT_EQ(mkdir(plenty.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(swept.c_str(), 0700), 0);
        qoxtest::WriteFolder(plenty, form.mOld);
        std::string text, message;
        ASSERT_EQ(Export(manager, scene, *options, form.mFormat, plenty + "/" + form.mFile, text, &message),
                  qoxtest::kWorkDone)
            << text;
        for (const std::string& line : each.second)
            EXPECT_NE(message.find(line), std::string::npos) << message;
        const qoxtest::Folder written = qoxtest::ReadFolder(plenty);
        ASSERT_EQ(written.size(), form.mOld.size());

        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    qoxtest::DisarmAllocations();
                    const std::string folder = swept + "/" + std::to_string(getpid());
                    mkdir(folder.c_str(), 0700);
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
}
