// Allocations failing at every point of a piece of work, as SQLite tests its
// own: the test binary replaces the global operator new (every form, see
// counting_new.cpp) with one that counts the allocations made while armed
// and fails the Nth only, or every one from the Nth on. The work runs once
// to count its allocations, then once for each N in each mode, every run in
// a child process of its own, so that a run that ends its process (a
// std::terminate, a crash) is seen as such and the sweep goes on.
//
// The counts live in memory shared with the children, so the parent reads
// what a child counted, up to and including the destructors run by exit().
// Runs are deterministic as long as the work starts no threads: the sweep
// limits the SDK to the calling thread.
#ifndef QOX_TESTS_MEMORY_MEMORY_TEST_UTIL_H
#define QOX_TESTS_MEMORY_MEMORY_TEST_UTIL_H

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

// The sweeps run the SDK on one thread: ThreadSanitizer has nothing to check
// there, and its runtime makes thousands of child processes slow.
#if defined(__SANITIZE_THREAD__)
#define QOX_SKIP_UNDER_THREAD_SANITIZER() GTEST_SKIP() << "the allocation sweeps run on one thread"
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QOX_SKIP_UNDER_THREAD_SANITIZER() GTEST_SKIP() << "the allocation sweeps run on one thread"
#endif
#endif
#ifndef QOX_SKIP_UNDER_THREAD_SANITIZER
#define QOX_SKIP_UNDER_THREAD_SANITIZER() (void)0
#endif

namespace qoxtest {

enum class AllocationFailure
{
    eNone,   // counted only
    eOnlyAt, // the Nth allocation fails, the others succeed
    eFromOn  // the Nth and every one after fail
};

// From now on allocations are counted from 1, failing as the mode says.
void ArmAllocations(AllocationFailure mode, long n);
// Allocations are no longer counted nor failed.
void DisarmAllocations();
// Counting and failing go on where DisarmAllocations left them (so that a
// check made between two steps of the work is not counted); outside a child
// of the sweep (the work run by the test itself) nothing is armed.
void ResumeAllocations();
// Allocations counted, and failed, since this process armed.
long CountedAllocations();
long FailedAllocations();
// Whether this process is a child run by SweepAllocations.
bool InSweepChild();

// Exit codes of the work run in a child.
constexpr int kWorkDone = 0;         // everything done
constexpr int kWorkOutOfMemory = 10; // failed with "Out of memory", cleanly
constexpr int kWorkFailed = 11;      // failed otherwise (the text is given)
constexpr int kWorkEscaped = 12;     // an exception left the work

// What the work says: one of the codes above; `text` what it failed with
// (its room is reserved: a text of up to 500 bytes allocates nothing).
using AllocationWork = std::function<int(std::string& text)>;

// The runs of one sweep that did not end as they should: what the run was
// and how it ended.
struct SweepOutcome
{
    long mAllocations = 0;            // of the run with nothing failing
    std::map<int, long> mExits;       // runs by exit code
    std::vector<std::string> mFaults; // runs that ended wrongly
};

// The stride of a sweep: the environment's QOX_SWEEP_EVERY when set (1 runs
// every allocation), else the stride given.
long SweepStride(long stride);

// Runs the work (the child arms before it and exits with its code, still
// armed, so that what exit() destroys runs short of memory too) once to
// count, then for every N from 1 to that count (every-th only: 1, 1 +
// every, ...; with QOX_SWEEP_THIN=k in the environment, every k-th of
// those when they are 200 or more: a second pass over the same code, as
// another user, runs in a fraction of the time) in the mode, up to four
// children at once. A run is wrong when its process does not exit (a
// signal: abort, terminate, crash), exits with another code than done or
// out of memory, or never met its failing allocation.
SweepOutcome SweepAllocations(const AllocationWork& work, AllocationFailure mode, long every = 1);

// The sweep found no wrong run (the first 40 are listed) and some runs
// failed for memory.
inline void ExpectEveryRunEndsWell(const SweepOutcome& outcome, const std::string& what)
{
    std::string faults;
    for (size_t i = 0; i < outcome.mFaults.size() && i < 40; ++i)
        faults += "\n  " + outcome.mFaults[i];
    EXPECT_TRUE(outcome.mFaults.empty()) << what << ": " << outcome.mFaults.size() << " of " << outcome.mAllocations
                                         << " runs ended wrongly:" << faults;
    EXPECT_GT(outcome.mExits.count(kWorkOutOfMemory), 0u) << what;
}

// The folder of one run of a sweep under parent (prefix, then the run's
// process id), made afresh with nothing failing. The id is padded to a
// fixed width, so that every run's paths are as long as those of the run
// that counted (a path a digit shorter can need one allocation fewer, and
// process ids wrap round); whatever an earlier run of the same id left
// there is removed first.
inline std::string FreshRunFolder(const std::string& parent, const std::string& prefix = "")
{
    char id[24];
    std::snprintf(id, sizeof id, "%010ld", static_cast<long>(getpid()));
    const std::string folder = parent + "/" + prefix + id;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    mkdir(folder.c_str(), 0700);
    return folder;
}

// A folder's name, with its slash, below which every path is longer than a
// short text keeps in its own room: each path a read or save makes there
// takes a block of memory, which may fail, however short the temporary
// folder's own path is.
constexpr char kLongPathFolder[] = "a-folder-whose-name-makes-every-path-in-it-longer-than-a-short-text-holds/";

// That folder made in parent: its path, without the slash ("" when it
// could not be made).
inline std::string MakeLongPathFolder(const std::string& parent)
{
    std::string folder = parent + "/" + kLongPathFolder;
    folder.pop_back();
    return mkdir(folder.c_str(), 0700) == 0 ? folder : std::string();
}

// The files of a folder by name, with their bytes: what a save over them
// must leave as it was, or replace whole.
using Folder = std::map<std::string, std::string>;

inline Folder ReadFolder(const std::string& path)
{
    Folder folder;
    DIR* directory = opendir(path.c_str());
    if (!directory)
        return folder;
    while (const dirent* entry = readdir(directory))
    {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            folder[name] = ReadFile(path + "/" + name);
    }
    closedir(directory);
    return folder;
}

inline void WriteFolder(const std::string& path, const Folder& folder)
{
    for (const auto& file : folder)
        WriteFile(path + "/" + file.first, file.second);
}

// What differs between two folders, in a few words ("" when nothing).
inline std::string FolderDifference(const Folder& found, const Folder& wanted)
{
    for (const auto& file : found)
    {
        const auto other = wanted.find(file.first);
        if (other == wanted.end())
            return "left " + file.first;
        if (other->second != file.second)
            return file.first + " differs";
    }
    for (const auto& file : wanted)
        if (!found.count(file.first))
            return "lost " + file.first;
    return "";
}

// The example scene's textures left naming an image that is not there
// ("checker.tif" alone): its embedded image's clips dropped and its
// extracted copy no longer named, so that a sweep decides by each
// texture's file name whether an image is there to copy or embed.
inline void DropEmbeddedClips(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene)
{
    // Out of the scene's list first: the list holds the clips it names.
    while (scene.GetEntity()->GetVideoCount() > 0)
        if (!scene.GetEntity()->RemoveVideo(scene.GetEntity()->GetVideo(0)))
            break;
    while (manager.GetKQoxVideoCount() > 0)
        if (!manager.DestroyKQoxVideo(manager.GetKQoxVideo(0)))
            break;
    KArrayTemplate<qoxsdk_600::KQoxTexture*> textures;
    scene.FillTextureArray(textures);
    for (int i = 0; i < textures.GetCount(); ++i)
    {
        textures[i]->SetMediaName("");
        textures[i]->SetFileName("checker.tif");
    }
}

} // namespace qoxtest

#endif
