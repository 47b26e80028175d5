// Files shrunk under a reader that maps them: the guard turns the lost pages
// into zeros and marks the mapping, where the fault would end the process.

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/kmappingguard.h"
#include "base/kparallel.h"
#include "base/kthreadlimit.h"
#include "common/qox_test_common.h"
#include "common/qox_test_threads.h"

using qoxtest::TempDir;

namespace {

const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));

// A file of pages pages, byte i holding 1 + i % 251 (never zero), mapped
// read-only whole; unmapped at the end.
class MappedTestFile
{
public:
    MappedTestFile(const std::string& path, size_t pages)
        : mPath(path)
        , mSize(pages * kPage)
    {
        std::string bytes(mSize, '\0');
        for (size_t i = 0; i < mSize; ++i)
            bytes[i] = static_cast<char>(1 + i % 251);
        const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        void* data = mmap(nullptr, mSize, PROT_READ, MAP_PRIVATE, fd, 0);
        close(fd);
        EXPECT_NE(data, MAP_FAILED);
        mData = static_cast<const volatile unsigned char*>(data);
    }
    ~MappedTestFile() { munmap(const_cast<unsigned char*>(mData), mSize); }
    void Shrink(size_t bytes) { EXPECT_EQ(truncate(mPath.c_str(), static_cast<off_t>(bytes)), 0); }
    unsigned char At(size_t i) const { return mData[i]; }
    const void* Data() const { return const_cast<const unsigned char*>(mData); }
    size_t Size() const { return mSize; }

private:
    std::string mPath;
    size_t mSize;
    const volatile unsigned char* mData = nullptr;
};

unsigned char Expected(size_t i)
{
    return static_cast<unsigned char>(1 + i % 251);
}

} // namespace

TEST(KMappingGuard, PagesLostToAShrunkFileReadAsZerosAndSpoilOnlyTheirMapping)
{
    TempDir dir;
    MappedTestFile shrunk(dir.File("shrunk"), 6);
    MappedTestFile kept(dir.File("kept"), 3);
    KMappingGuard guard, other;
    ASSERT_TRUE(guard.Hold(shrunk.Data(), shrunk.Size()));
    ASSERT_TRUE(other.Hold(kept.Data(), kept.Size()));
    EXPECT_FALSE(guard.Spoilt());

    // Cut in the middle of the third page: its head and the pages before it
    // stay, the bytes after read as zeros (past the end, a page is lost).
    const size_t cut = 2 * kPage + 100;
    shrunk.Shrink(cut);
    EXPECT_EQ(shrunk.At(0), Expected(0));
    EXPECT_EQ(shrunk.At(cut - 1), Expected(cut - 1));
    EXPECT_FALSE(guard.Spoilt()) << "the page holding the new end is still backed";
    for (size_t i = 3 * kPage; i < shrunk.Size(); i += 997)
        EXPECT_EQ(shrunk.At(i), 0) << i;
    EXPECT_EQ(shrunk.At(shrunk.Size() - 1), 0);
    EXPECT_TRUE(guard.Spoilt());
    EXPECT_FALSE(other.Spoilt());
    EXPECT_EQ(kept.At(kept.Size() - 1), Expected(kept.Size() - 1));

    // Released, nothing is held and nothing is spoilt; held again, the mark
    // starts afresh.
    guard.Release();
    EXPECT_FALSE(guard.Spoilt());
    ASSERT_TRUE(guard.Hold(kept.Data(), kept.Size()));
    EXPECT_FALSE(guard.Spoilt());
}

TEST(KMappingGuard, SlotsRunOutAndComeBack)
{
    TempDir dir;
    MappedTestFile file(dir.File("f"), 1);
    std::vector<std::unique_ptr<KMappingGuard>> guards;
    // Other tests of this process may hold none now: every slot is free.
    for (int i = 0; i < KMappingGuard::kMaxHeld; ++i)
    {
        guards.emplace_back(new KMappingGuard);
        ASSERT_TRUE(guards.back()->Hold(file.Data(), file.Size())) << i;
    }
    KMappingGuard extra;
    EXPECT_FALSE(extra.Hold(file.Data(), file.Size()));
    EXPECT_FALSE(extra.Spoilt());
    guards[17].reset();
    EXPECT_TRUE(extra.Hold(file.Data(), file.Size()));
    // Nothing to guard is no guard.
    KMappingGuard none;
    EXPECT_FALSE(none.Hold(nullptr, 10));
    EXPECT_FALSE(none.Hold(file.Data(), 0));
}

TEST(KMappingGuard, GuardsOnSeveralThreadsEachSeeTheirOwnLoss)
{
    TempDir dir;
    const int kThreads = 8;
    std::vector<int> spoilt(kThreads, -1), zeros(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            MappedTestFile file(dir.File("t" + std::to_string(t)), 16);
            KMappingGuard guard;
            if (!guard.Hold(file.Data(), file.Size()))
                return;
            // The odd threads' files shrink; the even ones' stay whole.
            if (t % 2)
                file.Shrink(static_cast<size_t>(t) * kPage);
            for (size_t i = 0; i < file.Size(); i += kPage / 2)
                zeros[t] += file.At(i) == 0;
            spoilt[t] = guard.Spoilt();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
    {
        EXPECT_EQ(spoilt[t], t % 2) << t;
        EXPECT_EQ(zeros[t], t % 2 ? 2 * (16 - t) : 0) << t;
    }
}

// Readers hand parts of a mapped file to the SDK's pool helpers: a page lost
// there reads as zeros on the helper as on the calling thread.
TEST(KMappingGuard, PagesLostUnderPoolHelpersReadAsZeros)
{
    TempDir dir;
    const int limit = KGetThreadLimit();
    KSetThreadLimit(4);
    MappedTestFile file(dir.File("shared"), 64);
    KMappingGuard guard;
    ASSERT_TRUE(guard.Hold(file.Data(), file.Size()));
    file.Shrink(16 * kPage);
    std::atomic<int> zeros{0}, onHelpers{0};
    // One page per portion, every helper given holding one before any is
    // read: each reads on a helper what it would on the calling thread.
    const int given = qoxtest::RunOnEveryThreadGiven(64, 4, [&](size_t page) {
        onHelpers += KOnPoolWorker();
        for (size_t i = page * kPage; i < (page + 1) * kPage; i += 64)
            zeros += file.At(i) == 0;
    });
    KSetThreadLimit(limit);
    EXPECT_GT(given, 1);
    EXPECT_GE(onHelpers.load(), given - 1);
    EXPECT_EQ(zeros.load(), 48 * static_cast<int>(kPage / 64));
    EXPECT_TRUE(guard.Spoilt());
}

// Removes the folder of a death test's child, which ends without running
// destructors; the child of a "threadsafe" death test runs the test afresh,
// with a folder of its own.
void RemoveFolder(const TempDir& dir)
{
    std::error_code ignored;
    std::filesystem::remove_all(dir.Path(), ignored);
}

// Under a sanitizer, whose handler reports the fault and exits, or else by
// the signal itself.
bool EndedByTheFault(int status)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return true;
#endif
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS;
}

// A fault in no guarded mapping still ends the process as before.
TEST(KMappingGuardDeathTest, FaultOutsideEveryGuardKeepsItsDefaultAction)
{
    TempDir dir;
    EXPECT_EXIT(
        {
            MappedTestFile guarded(dir.File("g"), 2);
            MappedTestFile bare(dir.File("b"), 2);
            KMappingGuard guard;
            guard.Hold(guarded.Data(), guarded.Size());
            bare.Shrink(0);
            // The process dies here: its folder goes first (a mapping
            // outlives its file's name).
            RemoveFolder(dir);
            std::exit(bare.At(kPage));
        },
        EndedByTheFault, "");
}

namespace {

void ExitFromHandler(int)
{
    _exit(42);
}

} // namespace

// A handler the process set before the first guard gets the faults that
// are none of the guards'. Run in a new process, where no guard came first.
TEST(KMappingGuardDeathTest, FaultOutsideEveryGuardGoesToTheHandlerSetBefore)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    EXPECT_EXIT(
        {
            std::signal(SIGBUS, ExitFromHandler);
            MappedTestFile guarded(dir.File("g"), 2);
            MappedTestFile bare(dir.File("b"), 2);
            KMappingGuard guard;
            guard.Hold(guarded.Data(), guarded.Size());
            guarded.Shrink(0);
            const int lost = guarded.At(kPage);
            bare.Shrink(0);
            RemoveFolder(dir);
            std::exit(lost + bare.At(kPage));
        },
        ::testing::ExitedWithCode(42), "");
}
