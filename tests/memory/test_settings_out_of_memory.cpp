// A settings file read and changed with allocations failing at every point
// in turn (memory_test_util.h): straight from the file and through the
// in-memory copy, for a file only the user may write and for one its group
// may write too (whose group the user database is asked about). Every run
// succeeds or throws std::bad_alloc, leaves the file old or new, whole, with
// nothing beside it, and leaves no descriptor open.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <string>

#include "base/kconfigfile.h"
#include "base/kpath.h"
#include "common/qox_test_common.h"
#include "common/qox_test_threads.h"
#include "memory_test_util.h"

using qoxtest::AllocationFailure;

namespace {

const char kOld[] = "[S]\nKey = old\nMore = 1\n";
const char kNew[] = "[S]\nKey = new\nMore = 1\n";
// The same edited by hand: a line that is no setting, which a save drops
// only once the file as it was is kept aside ("s.ini.bak").
const char kOldEdited[] = "[S]\nKey = old\nMode: merge\nMore = 1\n";

// The descriptors this process holds open.
int OpenDescriptors()
{
    return qoxtest::ProcEntryCount("/proc/self/fd");
}

// The key read, then changed: the outcome; read tells whether the file is
// read as settings (a group the user database does not call the user's
// own makes it refused, and it then stays as it is).
int Change(const std::string& folder, bool inMemory, bool read, std::string& text)
{
    try
    {
        // What the key reads: "old", "" for nothing, or what else it holds.
        std::string value;
        bool changed = false;
        auto take = [&value](const char* found) { value = found ? found : ""; };
        if (inMemory)
        {
            KConfigFile file("s.ini", true);
            take(file.Get("S", "Key", nullptr));
            changed = file.Set("S", "Key", "new", nullptr) && file.Write();
        }
        else
        {
            KConfigFile file("s.ini", folder.c_str());
            take(file.Get("S", "Key", nullptr));
            changed = file.Set("S", "Key", "new", nullptr);
        }
        if (value != (read ? "old" : "") || changed != read)
        {
            text = "read or changed otherwise than with memory to spare";
            return qoxtest::kWorkFailed;
        }
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    return qoxtest::kWorkDone;
}

// What the folder holds against what it must: the file old or new, and,
// for a file edited by hand, no copy kept aside but a whole one (and one
// there whenever the file was replaced).
std::string Fault(qoxtest::Folder found, const char* old, bool replaced)
{
    const auto aside = found.find("s.ini.bak");
    const bool kept = aside != found.end();
    if (kept && (old != kOldEdited || aside->second != old))
        return "s.ini.bak left or not whole";
    if (old == kOldEdited && replaced && !kept)
        return "replaced without the file kept aside";
    if (kept)
        found.erase(aside);
    return qoxtest::FolderDifference(found, {{"s.ini", replaced ? kNew : old}});
}

void SweepSettings(AllocationFailure mode)
{
    qoxtest::TempDir dir;
    for (const char* old : {kOld, kOldEdited})
    for (const mode_t fileMode : {mode_t(0600), mode_t(0660)})
        for (const bool inMemory : {false, true})
        {
            // A hand-edited file is kept aside by the in-memory copy, the
            // plug-in's way, which drops the line; changed straight on the
            // file, every line stays in it (swept with the plain file).
            if (old == kOldEdited && !inMemory)
                continue;
            SCOPED_TRACE(std::to_string(fileMode) + (inMemory ? " in memory" : " on the file") +
                         (old == kOldEdited ? ", edited by hand" : ""));
            // Whether the user database makes the group the user's own.
            const std::string probe = qoxtest::FreshRunFolder(dir.Path(), "probe-");
            ASSERT_TRUE(qoxtest::WriteFile(probe + "/s.ini", old));
            ASSERT_EQ(chmod((probe + "/s.ini").c_str(), fileMode), 0);
            const bool read = KConfigFile("s.ini", probe.c_str()).Get("S", "Key", nullptr) != nullptr;
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) {
                    qoxtest::DisarmAllocations();
                    const std::string folder = qoxtest::FreshRunFolder(dir.Path());
                    qoxtest::WriteFile(folder + "/s.ini", old);
                    chmod((folder + "/s.ini").c_str(), fileMode);
                    KLib_SetConfigDirectory(folder.c_str());
                    const int open = OpenDescriptors();
                    qoxtest::ResumeAllocations();
                    int outcome = Change(folder, inMemory, read, text);
                    qoxtest::DisarmAllocations();
                    const bool replaced = outcome == qoxtest::kWorkDone && read;
                    std::string fault = Fault(qoxtest::ReadFolder(folder), old, replaced);
                    if (fault.empty() && OpenDescriptors() != open)
                        fault = "a descriptor left open";
                    if (!fault.empty())
                    {
                        text = (outcome == qoxtest::kWorkDone ? "done, " : "failed, ") + fault;
                        outcome = qoxtest::kWorkFailed;
                    }
                    return outcome;
                },
                mode);
            qoxtest::ExpectEveryRunEndsWell(outcome,
                                            mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
        }
}

} // namespace

TEST(SettingsOutOfMemory, OnlyTheNthAllocationFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepSettings(AllocationFailure::eOnlyAt);
}

TEST(SettingsOutOfMemory, EveryAllocationFromTheNthOnFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepSettings(AllocationFailure::eFromOn);
}
