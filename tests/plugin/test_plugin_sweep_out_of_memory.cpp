// The plug-in's import and the release of its settings with allocations
// failing at every point in turn (memory/memory_test_util.h): QOXImport run
// as the host runs a command (the plug-in's creator, then its doIt) either
// succeeds with the host scene a run with memory to spare makes, or fails
// with "Out of memory"; nothing is thrown into the host, and neither the
// command's end nor the settings' release (QoxZeltUserParams destroyed, as
// the plug-in's unloading does) ends the process. Only what the plug-in's
// entry points run is counted: the host's own running of the command is not
// the plug-in's to guard.
//
// A sweep runs one allocation in a stride (the first, then every stride-th:
// kImportStride, kSettingsStride), so that each test stays well under a
// minute on a loaded machine; with QOX_SWEEP_EVERY=1 in the environment it
// runs every one.
#include "plugin_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/kpath.h"
#include "base/kthreadlimit.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "host/zinterp_private.h"
#include "memory/memory_test_util.h"
#include "memory/read_test_util.h"
#include "plugin/qoxzeltuserparams.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const long kImportStride = 11;
const long kSettingsStride = 37; // a save of the settings makes some 7,000

// Texts joined into text, whose room is reserved: nothing is allocated.
void Say(std::string& text, const char* first, const char* second)
{
    text.assign(first);
    text.append(second, std::min(std::strlen(second), text.capacity() - text.size()));
}

bool WriteLayeredScene(const std::string& path)
{
    KQoxSdkManager manager;
    KQoxScene& scene = *manager.CreateKQoxScene();
    qoxtest::BuildLayeredScene(manager, scene);
    KQoxExporter exporter(manager);
    return exporter.Initialize(path.c_str()) && exporter.SetFileFormat(eEXPORT_QOX_BINARY) && exporter.Export(scene);
}

// The plug-in's settings file as every run finds it: a run that ran out of
// memory while saving it (at its exit) may have left it otherwise.
struct Settings
{
    std::string mPath;
    std::string mText;
};

// QOXImport of the file made and run as the host runs a plug-in command,
// counting from the command's making on; the host's scene after a success
// goes to dump (the host's own bookkeeping runs uncounted). The outcome.
int RunImport(const std::string& path, const Settings& settings, std::string& dump, std::string& text)
{
    qoxtest::DisarmAllocations();
    zelthost::Host::Get().Reset();
    if (!qoxtest::WriteFile(settings.mPath, settings.mText))
    {
        text = "the settings could not be put back";
        return qoxtest::kWorkFailed;
    }
    const ZArgList args(std::vector<std::string>{"-f", path});
    zelthost::Registry& registry = zelthost::GetRegistry();
    const auto found = registry.commands.find("QOXImport");
    if (found == registry.commands.end())
    {
        text = "QOXImport is not registered";
        return qoxtest::kWorkFailed;
    }
    const ZFnPlugin::CreatorFunction create = found->second.first;
    qoxtest::ResumeAllocations();
    const char* stage = "making QOXImport";
    std::unique_ptr<ZPxCommand> command;
    ZStatus status;
    try
    {
        command.reset(static_cast<ZPxCommand*>(create()));
        // The host reports a command it could not make.
        if (!command)
            return qoxtest::kWorkOutOfMemory;
        stage = "QOXImport";
        status = command->doIt(args);
    }
    catch (...)
    {
        Say(text, stage, " threw into the host");
        return qoxtest::kWorkEscaped;
    }
    // Destroyed with its allocations counted: it may not throw.
    command.reset();
    if (!status)
    {
        Say(text, "failed: ", status.errorString().c_str());
        return status.errorString() == "Out of memory" ? qoxtest::kWorkOutOfMemory : qoxtest::kWorkFailed;
    }
    qoxtest::DisarmAllocations();
    dump = zelthost::Host::Get().Dump();
    qoxtest::ResumeAllocations();
    return qoxtest::kWorkDone;
}

} // namespace

TEST(PluginSweepOutOfMemory, ImportSucceedsWholeOrFailsForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    // One thread, so that every run allocates the same in the same order:
    // the plug-in's own copy of the SDK takes its limit from the environment.
    KSetThreadLimit(1);
    setenv("QOX_THREADS", "1", 1);
    qoxtest::TempDir dir;
    std::filesystem::copy_file(QOXZELT_PATH, dir.File("qoxzelt.so"));
    setenv("ZELT_PLUG_IN_PATH", dir.Path().c_str(), 1);
    const std::string path = dir.File("layered.qox");
    ASSERT_TRUE(WriteLayeredScene(path));
    zelthost::Host::Get().Reset();
    ASSERT_TRUE(zelthost::Host::Get().LoadPlugin(dir.File("qoxzelt.so")));
    // The settings file each run saves at its exit is there before the
    // first: every run reads the same.
    qoxtest::RunScript("QOXSetUserParams");
    Settings settings{dir.File("registry.txt"), ""};
    bool read = false;
    settings.mText = qoxtest::ReadFile(settings.mPath, &read);
    ASSERT_TRUE(read) << settings.mPath;
    // The host scene an import with memory to spare makes, twice alike.
    std::string reference, again, text;
    ASSERT_EQ(RunImport(path, settings, reference, text), qoxtest::kWorkDone) << text;
    ASSERT_EQ(RunImport(path, settings, again, text), qoxtest::kWorkDone) << text;
    ASSERT_EQ(again, reference);
    ASSERT_NE(reference.find("Spine"), std::string::npos) << reference;
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& said) {
                std::string dump;
                const int outcome = RunImport(path, settings, dump, said);
                // The plug-in goes (saving its settings, which the runs side
                // by side share) before the exit, uncounted: the release of
                // the settings is swept apart below.
                qoxtest::DisarmAllocations();
                zelthost::Host::Get().UnloadAllPlugins();
                if (outcome == qoxtest::kWorkDone && dump != reference)
                {
                    said = "succeeded, but " + qoxtest::FirstDifference(reference, dump);
                    return qoxtest::kWorkFailed;
                }
                return outcome;
            },
            mode, qoxtest::SweepStride(kImportStride));
        qoxtest::ExpectEveryRunEndsWell(outcome,
                                        mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
        std::printf("import: %ld allocations\n", outcome.mAllocations);
    }
    zelthost::Host::Get().UnloadAllPlugins();
}

TEST(PluginSweepOutOfMemory, SettingsReleasedShortOfMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    qoxtest::TempDir dir;
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&dir](std::string&) {
                // Made with memory to spare in a directory of its own (every
                // run starts from no file), changed, then saved as it goes.
                qoxtest::DisarmAllocations();
                std::string own = dir.File("runXXXXXX");
                if (!mkdtemp(&own[0]))
                    return qoxtest::kWorkFailed;
                KLib_SetConfigDirectory(own.c_str());
                QoxZeltUserParams::Instance().SetStringParam(KQoxUserParams::kImportLoadMode, "kMerge");
                qoxtest::ResumeAllocations();
                QoxZeltUserParams::ReleaseInstance();
                // Its saving may have found no room: the release still ends
                // well. Some runs must fail for memory, as the sweep asks.
                return qoxtest::FailedAllocations() > 0 ? qoxtest::kWorkOutOfMemory : qoxtest::kWorkDone;
            },
            mode, qoxtest::SweepStride(kSettingsStride));
        qoxtest::ExpectEveryRunEndsWell(outcome,
                                        mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
        EXPECT_GT(outcome.mAllocations, 10);
        std::printf("settings: %ld allocations\n", outcome.mAllocations);
    }
}
