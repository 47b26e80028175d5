// Native saves whose texture names a file down a path too long for a short
// text's own room, with allocations failing at every point in turn. Every
// run ends "done" with the file and the message a save with memory to spare
// writes and says, or "Out of memory" with the old file as it was: a file
// not found is named whole in the message, an image a converter takes is
// written as its TIFF, and no temporary TIFF file is left behind. The
// writer is driven as the exporter drives it, its message taken over
// without a copy (a copy would need memory of its own).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/kthreadlimit.h"
#include "common/qox_test_common.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxio.h"
#include "fileio/kqoxioregistry.h"
#include "memory_test_util.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const char kExample[] = QOX_EXAMPLES "/scene/example.qox";
const char kOld[] = "old native file\n";
const char kLongFolder[] = "a-folder-whose-name-makes-every-path-in-it-longer-than-a-short-text-holds";

// The scene saved in the format to path, the writer's message in message:
// the outcome (memory_test_util.h), the writer's text in text when it failed.
int Save(KQoxSdkManager& manager, KQoxScene& scene, int format, const std::string& path, KString& message,
         std::string& text)
{
    std::unique_ptr<KQoxWriter> writer;
    try
    {
        writer.reset(KQoxIORegistry::CreateWriter(format, manager));
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    const bool done = writer->FileCreate(path.c_str()) && writer->Write(scene, nullptr) && writer->FileClose();
    writer->TakeMessage(message);
    if (done)
        return qoxtest::kWorkDone;
    const char* error = writer->GetLastErrorString();
    text.assign(error, std::min<size_t>(std::strlen(error), 500));
    return text == "Out of memory" ? qoxtest::kWorkOutOfMemory : qoxtest::kWorkFailed;
}

// A save swept: its format, how allocations fail, and whether the
// texture's file is there (an image a converter takes) or not.
struct Case
{
    const char* mName;
    int mFormat;
    AllocationFailure mMode;
    bool mImage;
};
const Case kCases[] = {
    {"version 6, binary, file not found, only the Nth allocation failing", eEXPORT_QOX_BINARY,
     AllocationFailure::eOnlyAt, false},
    {"version 5, ASCII, file not found, every allocation from the Nth failing", eEXPORT_QOX5_ASCII,
     AllocationFailure::eFromOn, false},
    {"version 6, binary, image, only the Nth allocation failing", eEXPORT_QOX_BINARY, AllocationFailure::eOnlyAt, true},
    {"version 6, binary, image, every allocation from the Nth failing", eEXPORT_QOX_BINARY, AllocationFailure::eFromOn,
     true},
    {"version 5, ASCII, image, only the Nth allocation failing", eEXPORT_QOX5_ASCII, AllocationFailure::eOnlyAt, true},
};

// Sweeps the case's save over an old file, each run in a folder of its own
// under folder; said: what the save with memory to spare said.
void SweepSave(KQoxSdkManager& manager, KQoxScene& scene, const Case& c, const std::string& folder, std::string& said)
{
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string plenty = folder + "/plenty.qox";
    ASSERT_TRUE(qoxtest::WriteFile(plenty, kOld));
    KString message;
    std::string text;
    ASSERT_EQ(Save(manager, scene, c.mFormat, plenty, message, text), qoxtest::kWorkDone) << text;
    const std::string written = qoxtest::ReadFile(plenty);
    said = message.ToChars();

    const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
        [&](std::string& text) {
            qoxtest::DisarmAllocations();
            const std::string run = qoxtest::FreshRunFolder(folder);
            const std::string path = run + "/scene.qox";
            qoxtest::WriteFile(path, kOld);
            KString message;
            qoxtest::ResumeAllocations();
            int outcome = Save(manager, scene, c.mFormat, path, message, text);
            qoxtest::DisarmAllocations();
            const bool done = outcome == qoxtest::kWorkDone;
            if (qoxtest::ReadFolder(run) != qoxtest::Folder{{"scene.qox", done ? written : kOld}})
            {
                text = done ? "done, the file differs" : "failed (" + text + "), the old file differs";
                outcome = qoxtest::kWorkFailed;
            }
            else if (done && said != message.ToChars())
            {
                text = "done, said \"" + std::string(message.ToChars()).substr(0, 200) + "\"";
                outcome = qoxtest::kWorkFailed;
            }
            return outcome;
        },
        c.mMode);
    qoxtest::ExpectEveryRunEndsWell(outcome, c.mName);
    EXPECT_GT(outcome.mAllocations, 100) << c.mName;
}

// The pixels of the image the converter below makes: this process's own, so
// that its temporary TIFF files are told from any other process's.
unsigned char gPixels[6];
int gConversions = 0;

// Mode 0 of a converter of ".tif" media: a 2 x 1 image of gPixels, whose
// allocation throws when memory runs out.
int ConvertToPixels(int mode, KString&, ImageConverterBuffer& buffer)
{
    if (mode != 0)
        return 1;
    ++gConversions;
    buffer.Init(2, 1, false, ImageConverterBuffer::eRGB, 3);
    buffer.mPixels.reset(new unsigned char[sizeof gPixels]);
    std::memcpy(buffer.mPixels.get(), gPixels, sizeof gPixels);
    return 0;
}

// The temporary TIFF files of the save left in the system's temporary
// folder (those of this process, by their pixels), removed.
int RemoveLeftTemporaries()
{
    int left = 0;
    DIR* folder = opendir("/tmp");
    if (!folder)
        return 0;
    while (const dirent* entry = readdir(folder))
    {
        const std::string path = std::string("/tmp/") + entry->d_name;
        ImageConverterBuffer image;
        if (std::strncmp(entry->d_name, "qox_media_", 10) != 0 || !ReadFromTif(KString(path.c_str()), image, false) ||
            image.GetPixelByteCount() != sizeof gPixels || std::memcmp(image.mPixels.get(), gPixels, sizeof gPixels))
            continue;
        ++left;
        std::remove(path.c_str());
    }
    closedir(folder);
    return left;
}

} // namespace

TEST(NativeSavesOutOfMemory, NameTheTextureFileWholeAndLeaveNoTemporary)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1); // every run allocates the same in the same order
    const pid_t id = getpid();
    std::memcpy(gPixels, &id, std::min(sizeof id, sizeof gPixels));
    KQoxSdkManager manager;
    KQoxImageConverter* converter = manager.CreateKQoxImageConverter();
    ASSERT_NE(converter, nullptr);
    converter->RegisterConverterFunction(KString("tif"), ConvertToPixels);
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(kExample) && importer.Import(scene)) << importer.GetLastErrorString();
    KArrayTemplate<KQoxTexture*> textures;
    scene.FillTextureArray(textures);
    ASSERT_GT(textures.GetCount(), 0);
    std::vector<std::string> media;
    for (int i = 0; i < textures.GetCount(); ++i)
        media.emplace_back(textures[i]->GetMediaName());
    qoxtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.File(kLongFolder).c_str(), 0700), 0);
    const std::string image = dir.File(kLongFolder + std::string("/checker.tif"));
    const std::string missing = dir.File(kLongFolder + std::string("/missing.tif"));
    ASSERT_TRUE(qoxtest::WriteFile(image, "the checker's bytes"));
    for (const Case& c : kCases)
    {
        SCOPED_TRACE(c.mName);
        // The example embeds its image: its clips name the same file, and a
        // texture naming a file not there has no clip to fall back on.
        for (int i = 0; i < textures.GetCount(); ++i)
        {
            textures[i]->SetFileName((c.mImage ? image : missing).c_str());
            textures[i]->SetMediaName(c.mImage ? media[i].c_str() : "");
        }
        for (int i = 0; i < manager.GetKQoxVideoCount(); ++i)
            manager.GetKQoxVideo(i)->SetFileName((c.mImage ? image : missing).c_str());
        gConversions = 0;
        std::string said;
        SweepSave(manager, scene, c, dir.File(std::string("case-") + std::to_string(&c - kCases)), said);
        const size_t named = said.find("Texture file not found, its media is not embedded: " + missing + "\n");
        EXPECT_EQ(named != std::string::npos, !c.mImage) << said;
        EXPECT_EQ(gConversions > 0, c.mImage);
        EXPECT_EQ(RemoveLeftTemporaries(), 0);
    }
}
