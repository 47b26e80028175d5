// A set of staged files with allocations failing at every point in turn
// (memory_test_util.h): staging, committing and freeing the set. Staging or
// committing may throw std::bad_alloc, but only before any target changes:
// every run leaves either all the new files or the old ones byte-identical,
// with no temporary beside them, and freeing the set never ends the process.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>

#include "base/kstagedfiles.h"
#include "common/qox_test_common.h"
#include "memory_test_util.h"

using qoxtest::AllocationFailure;

namespace {

// A file replaced by a rename, one new to its folder, and one with a second
// hard link, which is rewritten in place (the link then sees the new bytes).
const qoxtest::Folder kOld = {
    {"replaced.txt", "old replaced\n"}, {"linked.txt", "old linked\n"}, {"linked-2.txt", "old linked\n"}};
const qoxtest::Folder kNew = {{"replaced.txt", "new replaced, longer than before\n"},
                              {"fresh.txt", "new fresh\n"},
                              {"linked.txt", "new linked\n"},
                              {"linked-2.txt", "new linked\n"}};

bool WriteAndClose(FILE* file, const std::string& bytes)
{
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// The paths of the files a run saves.
struct Paths
{
    std::string mReplaced, mFresh, mLinked;
};

// The new files staged (through Create and through Stage) and committed, or
// the set dropped when commit is false: the outcome.
int Save(const Paths& paths, bool commit, std::string& text)
{
    const char* replaced = paths.mReplaced.c_str();
    const char* fresh = paths.mFresh.c_str();
    const char* linked = paths.mLinked.c_str();
    try
    {
        KStagedFiles files;
        bool staged = WriteAndClose(files.Create(replaced), kNew.at("replaced.txt"));
        if (staged)
        {
            const KString name = files.Stage(fresh);
            staged = !name.IsEmpty() && WriteAndClose(std::fopen(name.ToChars(), "wb"), kNew.at("fresh.txt"));
        }
        staged = staged && WriteAndClose(files.Create(linked), kNew.at("linked.txt"));
        if (!staged || (commit && !files.Commit()))
        {
            text = files.Cause();
            return qoxtest::kWorkFailed;
        }
    }
    catch (const std::bad_alloc&)
    {
        return qoxtest::kWorkOutOfMemory;
    }
    return qoxtest::kWorkDone;
}

void SweepSaves(AllocationFailure mode)
{
    qoxtest::TempDir dir;
    for (const bool commit : {true, false})
    {
        SCOPED_TRACE(commit ? "committed" : "dropped");
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
            [&](std::string& text) {
                // A folder of the run's own with the old files, made and
                // checked with nothing failing.
                qoxtest::DisarmAllocations();
                const std::string folder = qoxtest::FreshRunFolder(dir.Path(), std::to_string(commit) + "-");
                qoxtest::WriteFolder(
                    folder, {{"replaced.txt", kOld.at("replaced.txt")}, {"linked.txt", kOld.at("linked.txt")}});
                link((folder + "/linked.txt").c_str(), (folder + "/linked-2.txt").c_str());
                const Paths paths{folder + "/replaced.txt", folder + "/fresh.txt", folder + "/linked.txt"};
                qoxtest::ResumeAllocations();
                int outcome = Save(paths, commit, text);
                qoxtest::DisarmAllocations();
                const bool replacedAll = outcome == qoxtest::kWorkDone && commit;
                const std::string difference =
                    qoxtest::FolderDifference(qoxtest::ReadFolder(folder), replacedAll ? kNew : kOld);
                if (!difference.empty())
                {
                    text = (outcome == qoxtest::kWorkDone ? "done, " : "failed (" + text + "), ") + difference;
                    outcome = qoxtest::kWorkFailed;
                }
                return outcome;
            },
            mode);
        qoxtest::ExpectEveryRunEndsWell(outcome, commit ? "committed" : "dropped");
        EXPECT_GT(outcome.mAllocations, 10);
    }
}

} // namespace

TEST(StagedFilesOutOfMemory, OnlyTheNthAllocationFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepSaves(AllocationFailure::eOnlyAt);
}

TEST(StagedFilesOutOfMemory, EveryAllocationFromTheNthOnFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepSaves(AllocationFailure::eFromOn);
}
