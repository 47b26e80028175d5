// The plug-in's import, its start and stop, and the release of its settings
// with allocations failing at every point in turn
// (memory/memory_test_util.h): QOXImport run as the host runs a command (the
// plug-in's creator, then its doIt) either succeeds with the host scene a
// run with memory to spare makes, or fails with "Out of memory"; nothing is
// thrown into the host, and neither the command's end nor the settings'
// release (QoxZeltUserParams destroyed, as the plug-in's unloading does)
// ends the process. Only what the plug-in's entry points run is counted: the
// host's own running of the command is not the plug-in's to guard.
//
// A sweep runs one allocation in a stride (the first, then every stride-th:
// kImportStride, kSettingsStride, kStartStride), so that each test stays
// well under a minute on a loaded machine; with QOX_SWEEP_EVERY=1 in the
// environment it runs every one.
#include "plugin_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <dlfcn.h>
#include <sys/stat.h>

#include "base/kpath.h"
#include "base/kthreadlimit.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "host/zinterp_private.h"
#include "host/zscene_private.h"
#include "memory/memory_test_util.h"
#include "memory/read_test_util.h"
#include "plugin/qoxzeltuserparams.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

const long kImportStride = 11;
const long kSettingsStride = 3; // a save of the settings makes some 300
const long kStartStride = 3;    // a start some 200, a stop some 400

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

namespace {

// initializePlugin or uninitializePlugin of the module as the host calls
// them (LoadPlugin, UnloadPlugin), counted when asked; what a failed start
// registered is forgotten, as the host forgets it. False when it threw.
bool CallEntry(bool start, bool counted, ZStatus& status, std::string& said)
{
    using EntryPoint = ZStatus (*)(ZObject);
    static void* const module = dlopen(QOXZELT_PATH, RTLD_NOW | RTLD_LOCAL);
    static std::shared_ptr<zelthost::ObjectRep> rep;
    zelthost::Registry& registry = zelthost::GetRegistry();
    if (start)
    {
        registry.plugins.push_back(std::make_unique<zelthost::PluginRep>());
        rep = std::make_shared<zelthost::ObjectRep>();
        rep->kind = zelthost::ObjectRep::kPlugin;
        rep->plugin = registry.plugins.back().get();
    }
    const auto entry = reinterpret_cast<EntryPoint>(dlsym(module, start ? "initializePlugin" : "uninitializePlugin"));
    const ZObject object(rep);
    bool threw = false;
    if (counted)
        qoxtest::ResumeAllocations();
    try
    {
        ZStatus given = entry(object);
        qoxtest::DisarmAllocations();
        status = given;
    }
    catch (...)
    {
        qoxtest::DisarmAllocations();
        Say(said, start ? "initializePlugin" : "uninitializePlugin", " threw into the host");
        threw = true;
    }
    if (!start || !status)
    {
        for (auto it = registry.commands.begin(); it != registry.commands.end();)
            it = it->second.second == rep->plugin ? registry.commands.erase(it) : std::next(it);
        registry.translators.clear();
        registry.plugins.pop_back();
    }
    return !threw;
}

// Where a run finds its settings: a folder named through ZELT_PLUG_IN_PATH,
// or the user's own folder under $XDG_CONFIG_HOME; a file read there, or
// one others may write (announced, never saved over).
struct SettingsCase
{
    const char* mWhat;
    bool mPathList;
    mode_t mMode;
};

// A fresh folder under parent for the case, named in the environment,
// holding settings of import mode kMerge; the file's path, or "".
std::string PlaceSettings(const std::string& parent, const SettingsCase& c)
{
    std::string run = parent + "/runXXXXXX";
    if (!mkdtemp(&run[0]))
        return "";
    const std::string folder = run + (c.mPathList ? "/plug" : "/config/qoxzelt"), path = folder + "/registry.txt";
    std::filesystem::create_directories(folder);
    setenv("XDG_CONFIG_HOME", (run + "/config").c_str(), 1);
    if (c.mPathList)
        setenv("ZELT_PLUG_IN_PATH", folder.c_str(), 1);
    else
        unsetenv("ZELT_PLUG_IN_PATH");
    const bool placed = (!c.mPathList || qoxtest::WriteFile(folder + "/qoxzelt.so", "")) &&
                        qoxtest::WriteFile(path, "[UserParams]\nkImportLoadMode = kMerge\n");
    return placed && chmod(folder.c_str(), 0700) == 0 && chmod(path.c_str(), c.mMode) == 0 ? path : "";
}

// The plug-in started (or stopped, its import mode changed) with what
// memory allows. A start ends whole (its settings read, or the file not
// read announced, every command there) or fails with "Out of memory", told
// to the host, after which a start with memory to spare is whole. A stop
// that succeeds has saved the settings; one that fails says "Out of
// memory". Either way the settings file is the old one or the new one
// (saved), whole, with nothing beside it.
int StartOrStop(bool start, const SettingsCase& c, const std::string& parent, const std::string& saved,
                AllocationFailure mode, std::string& said)
{
    qoxtest::DisarmAllocations();
    zelthost::Host::Get().Reset();
    const std::string path = PlaceSettings(parent, c), folder = path.substr(0, path.rfind('/'));
    const bool refused = (c.mMode & S_IWOTH) != 0;
    ZStatus status, ignored;
    if (path.empty() || (!start && !(CallEntry(true, false, status, said) && status)))
    {
        Say(said, "could not start: ", status.errorString().c_str());
        return qoxtest::kWorkFailed;
    }
    if (!start)
        qoxtest::RunScript("QOXImportMode exmerge");
    const qoxtest::Folder before = qoxtest::ReadFolder(folder);
    if (!CallEntry(start, true, status, said))
        return qoxtest::kWorkEscaped;
    qoxtest::Folder now = qoxtest::ReadFolder(folder);
    const bool isNew = !saved.empty() && now["registry.txt"] == saved;
    if (isNew)
        now["registry.txt"] = before.at("registry.txt");
    std::string fault = qoxtest::FolderDifference(now, before);
    auto whole = [&]() -> std::string {
        const std::vector<std::string> notRead{kSettingsNotReadWarning + path + " can be written by other users"};
        if (qoxtest::RunScript("QOXImportMode") != std::vector<std::string>{refused ? "kCreate" : "kMerge"})
            return "started without its settings";
        if (zelthost::GetRegistry().commands.size() != 12 || zelthost::GetRegistry().translators.size() != 1)
            return "started without every command";
        return HostWarnings() == (refused ? notRead : std::vector<std::string>{}) ? "" : "started unannounced";
    };
    const std::vector<std::string> errors = zelthost::Host::Get().Errors();
    if (!fault.empty())
        ;
    else if (status)
        fault = start ? whole() : !saved.empty() && !isNew ? "stopped without saving the settings" : "";
    else if (status.errorString() != "Out of memory")
        fault = status.errorString();
    else if (start && mode == AllocationFailure::eOnlyAt &&
             std::find(errors.begin(), errors.end(), "Out of memory") == errors.end())
        fault = "failed for memory without telling the host";
    else if (start)
    {
        // A start with memory to spare after one that failed.
        zelthost::Host::Get().ClearTranscript();
        ZStatus again;
        fault = CallEntry(true, false, again, said) && again ? whole() : "could not start again";
        if (again)
            CallEntry(false, false, ignored, said);
    }
    if (start && status)
        CallEntry(false, false, ignored, said);
    if (!fault.empty())
    {
        Say(said, "ended, but ", fault.c_str());
        return qoxtest::kWorkFailed;
    }
    return status ? qoxtest::kWorkDone : qoxtest::kWorkOutOfMemory;
}

} // namespace

// The plug-in's start and stop with allocations failing at every point in
// turn (its folder's lookup, the settings' loading, the registrations, the
// announcement of a file not read, the settings' saving).
TEST(PluginSweepOutOfMemory, StartAndStopEndWholeOrFailForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    setenv("QOX_THREADS", "1", 1);
    qoxtest::TempDir dir;
    const SettingsCase cases[] = {{"the user's own folder", false, 0600},
                                  {"a folder of the path list, a file others may write", true, 0666}};
    // The starts first: this process has not started the plug-in yet, so
    // each run starts it as a host's first load does.
    for (bool start : {true, false})
        for (const SettingsCase& c : cases)
        {
            SCOPED_TRACE(std::string(c.mWhat) + (start ? ", started" : ", stopped"));
            // What a stop with memory to spare saves.
            std::string saved, said;
            if (!start)
            {
                const std::string path = PlaceSettings(dir.Path(), c);
                ZStatus status;
                ASSERT_TRUE(CallEntry(true, false, status, said) && status) << said << status.errorString();
                qoxtest::RunScript("QOXImportMode exmerge");
                ASSERT_TRUE(CallEntry(false, false, status, said) && status) << said << status.errorString();
                if ((c.mMode & S_IWOTH) == 0)
                    saved = qoxtest::ReadFile(path);
            }
            for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
            {
                const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                    [&](std::string& text) { return StartOrStop(start, c, dir.Path(), saved, mode, text); }, mode,
                    qoxtest::SweepStride(kStartStride));
                qoxtest::ExpectEveryRunEndsWell(outcome,
                                                mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
                std::printf("%s, %s: %ld allocations\n", c.mWhat, start ? "started" : "stopped", outcome.mAllocations);
            }
        }
}
