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
#include "scene/attributes/kqoxtexture.h"
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
    bool mCopiesImages; // beside the file, where a texture names one
};

// The old files: not an export of the scene, so that any byte written over
// them shows.
std::vector<Form> Forms()
{
    return {
        {"native binary", eEXPORT_QOX_BINARY, "scene.qox", {{"scene.qox", "old native file\n"}}, false},
        {"native ASCII", eEXPORT_QOX_ASCII, "scene.qox", {{"scene.qox", "; old native file\n"}}, false},
        {"OBJ and its library",
         eEXPORT_OBJ,
         "scene.obj",
         {{"scene.obj", "# old OBJ\nmtllib scene.mtl\n"}, {"scene.mtl", "# old library\n"}},
         true},
        {"DXF", eEXPORT_DXF, "scene.dxf", {{"scene.dxf", "  0\nEOF\n"}}, false},
        {"3DS", eEXPORT_3DS, "scene.3ds", {{"scene.3ds", "old 3DS file"}}, true},
    };
}

// The scene exported in the form to path: the outcome (memory_test_util.h),
// the exporter's text in text when it failed. Making the exporter may throw
// std::bad_alloc to its caller; the export itself may not.
int Export(KQoxSdkManager& manager, KQoxScene& scene, KStreamOptions& options, int format, const std::string& path,
           std::string& text)
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
        return qoxtest::kWorkDone;
    const char* error = exporter->GetLastErrorString();
    text.assign(error, std::min<size_t>(std::strlen(error), 500));
    return text == "Out of memory" ? qoxtest::kWorkOutOfMemory : qoxtest::kWorkFailed;
}

// The places the exports go to: right in the test's folder, the texture
// naming an image that is not there (nothing copied); and down a path too
// long for a short text's own room, so that every path the export makes
// from the file's (its library's, an image copy's) needs a block of memory,
// which may fail, the texture naming an image there for the forms that
// copy it beside the file (OBJ, 3DS).
struct Place
{
    const char* mName;
    const char* mFolder; // "" or a folder's name with a slash
    bool mImage;
};
const Place kPlaces[] = {
    {"", "", false},
    {", down a long path with an image", "a-folder-whose-name-makes-every-path-in-it-longer-than-a-short-text-holds/",
     true},
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

    // What the export writes with plenty of memory, over the same old files.
    const std::string plenty = base + "plenty-" + std::to_string(form.mFormat);
    const std::string swept = base + "swept-" + std::to_string(form.mFormat);
    ASSERT_EQ(mkdir(plenty.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(swept.c_str(), 0700), 0);
    qoxtest::WriteFolder(plenty, form.mOld);
    std::string text;
    ASSERT_EQ(Export(manager, scene, *options, form.mFormat, plenty + "/" + form.mFile, text), qoxtest::kWorkDone)
        << text;
    const qoxtest::Folder written = qoxtest::ReadFolder(plenty);
    // The old files replaced, and the image copied beside them.
    ASSERT_EQ(written.size(), form.mOld.size() + (place.mImage && form.mCopiesImages ? 1 : 0));
    ASSERT_NE(qoxtest::FolderDifference(written, form.mOld), "");

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
            std::string difference = qoxtest::FolderDifference(qoxtest::ReadFolder(folder),
                                                               outcome == qoxtest::kWorkDone ? written : form.mOld);
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
    KArrayTemplate<KQoxTexture*> textures;
    scene.FillTextureArray(textures);
    ASSERT_GT(textures.GetCount(), 0);
    const std::string named = textures[0]->GetFileName();
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
            ASSERT_TRUE(qoxtest::WriteFile(image, "the checker's bytes"));
        }
        for (const Form& form : Forms())
        {
            for (int i = 0; i < textures.GetCount(); ++i)
                textures[i]->SetFileName((place.mImage && form.mCopiesImages ? image : named).c_str());
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
