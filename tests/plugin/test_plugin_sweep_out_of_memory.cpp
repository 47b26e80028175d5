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
const long kSettingsStride = 37; // a save of the settings makes some 7,000
const long kStartStride = 1;

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

// The plug-in module started and stopped as the host does it (LoadPlugin,
// UnloadPlugin), with only what its entry points run counted; what a
// failed start registered is forgotten, as the host forgets it.
class PluginEntries
{
public:
    explicit PluginEntries(const std::string& path)
        : mHandle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (mHandle)
        {
            mInit = reinterpret_cast<EntryPoint>(dlsym(mHandle, "initializePlugin"));
            mFini = reinterpret_cast<EntryPoint>(dlsym(mHandle, "uninitializePlugin"));
        }
    }
    bool Found() const { return mInit && mFini; }

    // initializePlugin, counted unless said otherwise; false (with text
    // set) when it threw.
    bool Start(ZStatus& status, std::string& text, bool counted = true)
    {
        zelthost::Registry& registry = zelthost::GetRegistry();
        registry.plugins.push_back(std::make_unique<zelthost::PluginRep>());
        mRep = std::make_shared<zelthost::ObjectRep>();
        mRep->kind = zelthost::ObjectRep::kPlugin;
        mRep->plugin = registry.plugins.back().get();
        if (!Call(mInit, status, text, "initializePlugin threw into the host", counted))
            return false;
        if (!status)
            Forget();
        return true;
    }
    // uninitializePlugin, counted; the plug-in is gone after it in any case.
    bool Stop(ZStatus& status, std::string& text)
    {
        const bool called = Call(mFini, status, text, "uninitializePlugin threw into the host", true);
        Forget();
        return called;
    }

private:
    using EntryPoint = ZStatus (*)(ZObject);

    bool Call(EntryPoint entry, ZStatus& status, std::string& text, const char* threw, bool counted)
    {
        const ZObject object(mRep);
        if (counted)
            qoxtest::ResumeAllocations();
        try
        {
            ZStatus given = entry(object);
            qoxtest::DisarmAllocations();
            status = given;
            return true;
        }
        catch (...)
        {
            qoxtest::DisarmAllocations();
            Say(text, threw, "");
            return false;
        }
    }
    void Forget()
    {
        zelthost::Registry& registry = zelthost::GetRegistry();
        zelthost::PluginRep* rep = mRep->plugin;
        for (auto it = registry.commands.begin(); it != registry.commands.end();)
            it = it->second.second == rep ? registry.commands.erase(it) : std::next(it);
        for (auto it = registry.translators.begin(); it != registry.translators.end();)
            it = it->second.plugin == rep ? registry.translators.erase(it) : std::next(it);
        registry.plugins.pop_back();
        mRep.reset();
    }

    void* mHandle;
    EntryPoint mInit = nullptr;
    EntryPoint mFini = nullptr;
    std::shared_ptr<zelthost::ObjectRep> mRep;
};

// Where a run finds its settings: a folder of its own named through
// ZELT_PLUG_IN_PATH, or the user's own folder under $XDG_CONFIG_HOME, and a
// settings file read there or one that is not (others may write it).
struct SettingsCase
{
    const char* mWhat;
    bool mPathList;
    mode_t mMode;
};

const char kOldSettings[] = "[UserParams]\nkImportLoadMode = kMerge\nkImportSamplingRate = 24\n";

// A fresh folder under parent set up for the case (the environment naming
// it); the settings file's path, or "" when it could not be made.
std::string PlaceSettings(const std::string& parent, const SettingsCase& c)
{
    std::string run = parent + "/runXXXXXX";
    if (!mkdtemp(&run[0]))
        return "";
    const std::string folder = run + (c.mPathList ? "/plug" : "/config/qoxzelt");
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (chmod(folder.c_str(), 0700) != 0)
        return "";
    if (c.mPathList)
    {
        setenv("ZELT_PLUG_IN_PATH", folder.c_str(), 1);
        qoxtest::WriteFile(folder + "/qoxzelt.so", "");
    }
    else
    {
        unsetenv("ZELT_PLUG_IN_PATH");
        setenv("XDG_CONFIG_HOME", (run + "/config").c_str(), 1);
    }
    const std::string path = folder + "/registry.txt";
    return qoxtest::WriteFile(path, kOldSettings) && chmod(path.c_str(), c.mMode) == 0 ? path : "";
}

bool Refused(const SettingsCase& c)
{
    return (c.mMode & S_IWOTH) != 0;
}

// The settings file and whatever else lies in its folder.
qoxtest::Folder FolderOfSettings(const std::string& path)
{
    return qoxtest::ReadFolder(path.substr(0, path.rfind('/')));
}

// A settings file left as it was, or (when allowed) replaced whole by the
// new one, and nothing else left beside it; "" when so.
std::string CheckSettingsLeft(const std::string& path, const qoxtest::Folder& before, const std::string& saved)
{
    qoxtest::Folder now = FolderOfSettings(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    if (!saved.empty() && now[name] == saved)
        now[name] = before.at(name);
    const std::string difference = qoxtest::FolderDifference(now, before);
    return difference.empty() ? "" : "the settings' folder: " + difference;
}

const char* const kNotReadWarning = "The settings are kept in memory only and their file is neither read nor replaced: ";

// The plug-in started with what memory allows: it starts whole (its
// settings read, or the file not read announced) or fails with "Out of
// memory" and the host goes on (the file as it was, a later start whole).
int StartShortOfMemory(PluginEntries& plugin, const SettingsCase& c, const std::string& parent, AllocationFailure mode,
                       std::string& said)
{
    qoxtest::DisarmAllocations();
    zelthost::Host::Get().Reset();
    const std::string path = PlaceSettings(parent, c);
    if (path.empty())
    {
        Say(said, "the settings could not be placed", "");
        return qoxtest::kWorkFailed;
    }
    const qoxtest::Folder before = FolderOfSettings(path);
    // Whole: the mode read (or the defaults kept, the file announced) and
    // every command there.
    auto whole = [&]() -> const char* {
        if (qoxtest::RunScript("QOXImportMode") != std::vector<std::string>{Refused(c) ? "kCreate" : "kMerge"})
            return "started without its settings";
        if (zelthost::GetRegistry().commands.size() != 12 || zelthost::GetRegistry().translators.size() != 1)
            return "started without every command";
        std::vector<std::string> warnings;
        for (const zelthost::TranscriptEntry& entry : zelthost::Host::Get().Transcript())
            if (entry.kind == zelthost::TranscriptEntry::kWarning)
                warnings.push_back(entry.text);
        if (warnings != (Refused(c) ? std::vector<std::string>{kNotReadWarning + path + " can be written by other users"}
                                    : std::vector<std::string>{}))
            return "started without its warning";
        return nullptr;
    };
    ZStatus status, stopped;
    if (!plugin.Start(status, said))
        return qoxtest::kWorkEscaped;
    if (status)
    {
        const char* fault = whole();
        const std::string left = CheckSettingsLeft(path, before, "");
        plugin.Stop(stopped, said);
        if (fault || !left.empty())
        {
            Say(said, "started, but ", fault ? fault : left.c_str());
            return qoxtest::kWorkFailed;
        }
        return qoxtest::kWorkDone;
    }
    if (status.errorString() != "Out of memory")
    {
        Say(said, "failed: ", status.errorString().c_str());
        return qoxtest::kWorkFailed;
    }
    const std::vector<std::string> errors = zelthost::Host::Get().Errors();
    if (mode == AllocationFailure::eOnlyAt && std::find(errors.begin(), errors.end(), "Out of memory") == errors.end())
    {
        Say(said, "failed for memory without telling the host", "");
        return qoxtest::kWorkFailed;
    }
    const std::string left = CheckSettingsLeft(path, before, "");
    if (!left.empty())
    {
        Say(said, "failed for memory, and ", left.c_str());
        return qoxtest::kWorkFailed;
    }
    // Then started again with memory to spare: whole.
    zelthost::Host::Get().ClearTranscript();
    const bool again = plugin.Start(status, said, false) && status;
    const char* fault = again ? whole() : "could not start again";
    if (again)
        plugin.Stop(stopped, said);
    if (fault)
    {
        Say(said, "failed for memory, then ", fault);
        return qoxtest::kWorkFailed;
    }
    return qoxtest::kWorkOutOfMemory;
}

// The plug-in stopped with what memory allows, its import mode changed:
// the settings file is then the old one or the new one, whole, with
// nothing left beside it, and a stop that succeeds has saved it.
int StopShortOfMemory(PluginEntries& plugin, const SettingsCase& c, const std::string& parent,
                      const std::string& saved, std::string& said)
{
    qoxtest::DisarmAllocations();
    zelthost::Host::Get().Reset();
    const std::string path = PlaceSettings(parent, c);
    ZStatus status;
    if (path.empty() || !plugin.Start(status, said, false) || !status)
    {
        Say(said, "could not start: ", status.errorString().c_str());
        return qoxtest::kWorkFailed;
    }
    const qoxtest::Folder before = FolderOfSettings(path);
    qoxtest::RunScript("QOXImportMode exmerge");
    if (!plugin.Stop(status, said))
        return qoxtest::kWorkEscaped;
    const std::string left = CheckSettingsLeft(path, before, saved);
    if (!left.empty())
    {
        Say(said, status ? "stopped, but " : "stopped for memory, but ", left.c_str());
        return qoxtest::kWorkFailed;
    }
    if (status)
    {
        if (!saved.empty() && qoxtest::ReadFile(path) != saved)
        {
            Say(said, "stopped without saving the settings", "");
            return qoxtest::kWorkFailed;
        }
        return qoxtest::kWorkDone;
    }
    if (status.errorString() != "Out of memory")
    {
        Say(said, "failed: ", status.errorString().c_str());
        return qoxtest::kWorkFailed;
    }
    return qoxtest::kWorkOutOfMemory;
}

} // namespace

// The plug-in's start and stop with allocations failing at every point in
// turn (the folder's lookup, the settings' loading, the registrations, the
// announcement of a file not read, the settings' saving): nothing is thrown
// into the host, a start either ends whole or fails with "Out of memory",
// and the settings file is the old one or the new one, whole.
TEST(PluginSweepOutOfMemory, StartAndStopEndWholeOrFailForMemory)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    KSetThreadLimit(1);
    setenv("QOX_THREADS", "1", 1);
    qoxtest::TempDir dir;
    PluginEntries plugin(QOXZELT_PATH);
    ASSERT_TRUE(plugin.Found());
    const SettingsCase cases[] = {{"the user's own folder", false, 0600},
                                  {"a folder of the path list, a file others may write", true, 0666}};
    for (const SettingsCase& c : cases)
        for (bool start : {true, false})
        {
            SCOPED_TRACE(std::string(c.mWhat) + (start ? ", started" : ", stopped"));
            // What a stop with memory to spare saves.
            std::string saved, said;
            if (!start && !Refused(c))
            {
                const std::string path = PlaceSettings(dir.Path(), c);
                ZStatus status;
                ASSERT_TRUE(plugin.Start(status, said) && status) << said << status.errorString();
                qoxtest::RunScript("QOXImportMode exmerge");
                ASSERT_TRUE(plugin.Stop(status, said) && status) << said << status.errorString();
                saved = qoxtest::ReadFile(path);
                ASSERT_NE(saved.find("kImportLoadMode = kExclusiveMerge\n"), std::string::npos) << saved;
            }
            for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
            {
                const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                    [&](std::string& text) {
                        return start ? StartShortOfMemory(plugin, c, dir.Path(), mode, text)
                                     : StopShortOfMemory(plugin, c, dir.Path(), saved, text);
                    },
                    mode, qoxtest::SweepStride(kStartStride));
                qoxtest::ExpectEveryRunEndsWell(outcome,
                                                mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
                std::printf("%s, %s: %ld allocations\n", c.mWhat, start ? "started" : "stopped", outcome.mAllocations);
            }
        }
}
