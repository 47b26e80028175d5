// The global operator new of the memory tests: counts and fails as armed
// (memory_test_util.h), else allocates as usual. Every replaceable form is
// here (plain, array, nothrow, aligned), with the deletes that match.
#include "memory_test_util.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <execinfo.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace qoxtest {
namespace {

constexpr size_t kTextRoom = 512;

// Shared with the children forked after it is made: one per child running
// at once.
struct Counter
{
    std::atomic<int> mMode;
    std::atomic<long> mFailAt;
    std::atomic<long> mCount;
    std::atomic<long> mFailed;
    char mText[kTextRoom];
};

constexpr int kMaxChildren = 4;
// The fewest runs a sweep makes before QOX_SWEEP_THIN thins it.
constexpr long kThinFrom = 200;

Counter* Slots()
{
    static Counter* const slots = [] {
        void* at =
            mmap(nullptr, sizeof(Counter) * kMaxChildren, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (at == MAP_FAILED)
            std::abort();
        Counter* counters = static_cast<Counter*>(at);
        for (int i = 0; i < kMaxChildren; ++i)
            new (counters + i) Counter{};
        return counters;
    }();
    return slots;
}

// The slot this process counts in.
int gSlot = 0;

Counter& Shared()
{
    return Slots()[gSlot];
}

std::atomic<bool> gArmed{false};
// In a child of the sweep.
bool gInChild = false;

// The calling stack on stderr, without allocating.
void PrintStack()
{
    void* frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), 2);
    if (write(2, "--\n", 3) < 0)
        return;
}

// Whether this allocation is to fail.
bool Fails()
{
    if (!gArmed.load(std::memory_order_relaxed))
        return false;
    Counter& c = Shared();
    const long n = c.mCount.fetch_add(1) + 1;
    const int mode = c.mMode.load();
    const long at = c.mFailAt.load();
    const bool fails =
        (mode == int(AllocationFailure::eOnlyAt) && n == at) || (mode == int(AllocationFailure::eFromOn) && n >= at);
    if (fails)
    {
        c.mFailed.fetch_add(1);
        if (mode == int(AllocationFailure::eOnlyAt) && std::getenv("QOX_SWEEP_TRACE"))
            PrintStack();
    }
    return fails;
}

void* Allocate(size_t size, size_t alignment)
{
    if (Fails())
        return nullptr;
    if (size == 0)
        size = 1;
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__)
        return std::malloc(size);
    void* at = nullptr;
    return posix_memalign(&at, alignment, size) == 0 ? at : nullptr;
}

void* AllocateOrThrow(size_t size, size_t alignment)
{
    void* at = Allocate(size, alignment);
    if (!at)
        throw std::bad_alloc();
    return at;
}

} // namespace

void ArmAllocations(AllocationFailure mode, long n)
{
    Counter& c = Shared();
    c.mMode = int(mode);
    c.mFailAt = n;
    c.mCount = 0;
    c.mFailed = 0;
    gArmed = true;
}

void DisarmAllocations()
{
    gArmed = false;
}

void ResumeAllocations()
{
    // The work is armed in a child only: run by the test itself it stays unarmed.
    gArmed = gInChild;
}

long SweepStride(long stride)
{
    const char* every = std::getenv("QOX_SWEEP_EVERY");
    const long given = every ? std::atol(every) : 0;
    return given > 0 ? given : std::max(1L, stride);
}

bool InSweepChild()
{
    return gInChild;
}

long CountedAllocations()
{
    return Shared().mCount;
}

long FailedAllocations()
{
    return Shared().mFailed;
}

namespace {

// Starts one run in a child counting in the slot: its process id, or -1.
pid_t StartChild(const AllocationWork& work, AllocationFailure mode, long n, int slot)
{
    std::fflush(nullptr);
    Slots()[slot].mText[0] = '\0';
    const pid_t child = fork();
    if (child != 0)
        return child;
    gInChild = true;
    gSlot = slot;
    // Room for the text made before, so that keeping it allocates nothing.
    std::string text;
    text.reserve(kTextRoom);
    if (std::getenv("QOX_SWEEP_TRACE"))
        std::set_terminate([] {
            PrintStack();
            std::abort();
        });
    ArmAllocations(mode, n);
    int code = kWorkEscaped;
    try
    {
        code = work(text);
    }
    catch (...)
    {
        // Nothing may reach the test framework from here.
        text.insert(0, "escaped: ", std::min<size_t>(9, text.capacity() - text.size()));
    }
    const bool armed = gArmed;
    DisarmAllocations();
    std::strncpy(Shared().mText, text.c_str(), kTextRoom - 1);
    gArmed = armed;
    std::exit(code);
}

// How a run ended, as its slot told.
struct Ended
{
    int mStatus = -1; // as waitpid gives it; -1: no child process
    long mFailed = 0;
    std::string mText;

    bool Exited() const { return mStatus != -1 && WIFEXITED(mStatus); }
    std::string Describe() const
    {
        if (mStatus == -1)
            return "no child process";
        if (WIFSIGNALED(mStatus))
            return "ended by signal " + std::to_string(WTERMSIG(mStatus));
        return "exit " + std::to_string(WEXITSTATUS(mStatus)) + " " + mText +
               (mFailed == 0 ? " (its allocation never failed)" : "");
    }
};

Ended Collect(int status, int slot)
{
    Ended ended;
    ended.mStatus = status;
    ended.mFailed = Slots()[slot].mFailed;
    ended.mText = Slots()[slot].mText;
    return ended;
}

// Runs n = 1 to count (or only the one QOX_SWEEP_AT names, to look into
// it with QOX_SWEEP_TRACE), a few children at once, each counting in a slot
// of its own; what each came to, by n.
std::vector<Ended> RunAll(const AllocationWork& work, AllocationFailure mode, long count, long every)
{
    std::vector<Ended> ended(static_cast<size_t>(count) + 1);
    const char* only = std::getenv("QOX_SWEEP_AT");
    const long first = only ? std::atol(only) : 1;
    const long last = only ? std::min(first, count) : count;
    const int children =
        static_cast<int>(std::max(1u, std::min<unsigned>(kMaxChildren, std::thread::hardware_concurrency())));
    std::vector<int> freeSlots;
    for (int slot = children - 1; slot >= 0; --slot)
        freeSlots.push_back(slot);
    std::map<pid_t, std::pair<long, int>> running; // n and slot by process
    long next = first;
    while (next <= last || !running.empty())
    {
        while (next <= last && !freeSlots.empty())
        {
            const int slot = freeSlots.back();
            const pid_t child = StartChild(work, mode, next, slot);
            if (child < 0)
                break;
            freeSlots.pop_back();
            running[child] = {next, slot};
            next += only ? 1 : every;
        }
        if (running.empty())
            break; // no child could be started
        int status = 0;
        const pid_t child = waitpid(-1, &status, 0);
        const auto run = running.find(child);
        if (run == running.end())
            continue;
        ended[static_cast<size_t>(run->second.first)] = Collect(status, run->second.second);
        freeSlots.push_back(run->second.second);
        running.erase(run);
    }
    return ended;
}

// Adds a wrong run to the faults, joined to the last when it ran just before
// and ended the same way.
void AddFault(SweepOutcome& outcome, AllocationFailure mode, long n, long every, const std::string& how, long& last,
              std::string& lastHow)
{
    if (!outcome.mFaults.empty() && n == last + every && how == lastHow)
    {
        std::string& fault = outcome.mFaults.back();
        const size_t dash = fault.find(" to ");
        const size_t colon = fault.find(": ");
        fault = fault.substr(0, dash == std::string::npos || dash > colon ? colon : dash) + " to " + std::to_string(n) +
                fault.substr(colon);
    }
    else
    {
        outcome.mFaults.push_back(
            std::string(mode == AllocationFailure::eOnlyAt ? "only allocation " : "allocations from ") +
            std::to_string(n) + ": " + how);
    }
    last = n;
    lastHow = how;
}

} // namespace

SweepOutcome SweepAllocations(const AllocationWork& work, AllocationFailure mode, long every)
{
    every = std::max(1L, every);
    SweepOutcome outcome;
    int counted = -1;
    const pid_t child = StartChild(work, AllocationFailure::eNone, 0, 0);
    if (child < 0 || waitpid(child, &counted, 0) != child)
        counted = -1;
    const Ended count = Collect(counted, 0);
    if (!count.Exited() || WEXITSTATUS(counted) != kWorkDone)
    {
        outcome.mFaults.push_back("with nothing failing: " + count.Describe());
        return outcome;
    }
    outcome.mAllocations = Slots()[0].mCount;
    // Thinned, when asked, only where the runs are many: a short sweep may
    // meet its lack of memory at a single point.
    const char* thin = std::getenv("QOX_SWEEP_THIN");
    if (thin && outcome.mAllocations / every >= kThinFrom)
        every *= std::max(1L, std::atol(thin));
    const std::vector<Ended> ended = RunAll(work, mode, outcome.mAllocations, every);
    const char* only = std::getenv("QOX_SWEEP_AT");
    long last = 0;
    std::string lastHow;
    for (long n = 1; n <= outcome.mAllocations; ++n)
    {
        if (only ? n != std::atol(only) : (n - 1) % every != 0)
            continue;
        const Ended& run = ended[static_cast<size_t>(n)];
        if (run.Exited())
            ++outcome.mExits[WEXITSTATUS(run.mStatus)];
        const bool right =
            run.Exited() && (WEXITSTATUS(run.mStatus) == kWorkDone || WEXITSTATUS(run.mStatus) == kWorkOutOfMemory);
        if (!right || run.mFailed == 0)
            AddFault(outcome, mode, n, only ? 1 : every, run.Describe(), last, lastHow);
    }
    return outcome;
}

} // namespace qoxtest

// A child under LeakSanitizer checks no leaks at its exit: what a
// construction that ran out of memory leaves is not this sweep's matter (it
// looks for runs that end their process), and the check would take longer
// than the run.
extern "C" int __lsan_is_turned_off()
{
    return qoxtest::InSweepChild() ? 1 : 0;
}

// The replaced operators.
void* operator new(size_t size)
{
    return qoxtest::AllocateOrThrow(size, 0);
}
void* operator new[](size_t size)
{
    return qoxtest::AllocateOrThrow(size, 0);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return qoxtest::Allocate(size, 0);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return qoxtest::Allocate(size, 0);
}
void* operator new(size_t size, std::align_val_t alignment)
{
    return qoxtest::AllocateOrThrow(size, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment)
{
    return qoxtest::AllocateOrThrow(size, size_t(alignment));
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return qoxtest::Allocate(size, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return qoxtest::Allocate(size, size_t(alignment));
}

void operator delete(void* at) noexcept
{
    std::free(at);
}
void operator delete[](void* at) noexcept
{
    std::free(at);
}
void operator delete(void* at, size_t) noexcept
{
    std::free(at);
}
void operator delete[](void* at, size_t) noexcept
{
    std::free(at);
}
void operator delete(void* at, const std::nothrow_t&) noexcept
{
    std::free(at);
}
void operator delete[](void* at, const std::nothrow_t&) noexcept
{
    std::free(at);
}
void operator delete(void* at, std::align_val_t) noexcept
{
    std::free(at);
}
void operator delete[](void* at, std::align_val_t) noexcept
{
    std::free(at);
}
void operator delete(void* at, size_t, std::align_val_t) noexcept
{
    std::free(at);
}
void operator delete[](void* at, size_t, std::align_val_t) noexcept
{
    std::free(at);
}
void operator delete(void* at, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(at);
}
void operator delete[](void* at, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(at);
}
