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
#include <new>

namespace qoxtest {
namespace {

constexpr size_t kTextRoom = 512;

// Shared with the children forked after it is made.
struct Counter
{
    std::atomic<int> mMode;
    std::atomic<long> mFailAt;
    std::atomic<long> mCount;
    std::atomic<long> mFailed;
    char mText[kTextRoom];
};

Counter& Shared()
{
    static Counter* const counter = [] {
        void* at = mmap(nullptr, sizeof(Counter), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (at == MAP_FAILED)
            std::abort();
        return new (at) Counter{};
    }();
    return *counter;
}

std::atomic<bool> gArmed{false};

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
    const bool fails = (mode == int(AllocationFailure::eOnlyAt) && n == at) ||
                       (mode == int(AllocationFailure::eFromOn) && n >= at);
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

long CountedAllocations()
{
    return Shared().mCount;
}

long FailedAllocations()
{
    return Shared().mFailed;
}

namespace {

// One run in a child: its exit status.
int RunChild(const AllocationWork& work, AllocationFailure mode, long n)
{
    std::fflush(nullptr);
    Shared().mText[0] = '\0';
    const pid_t child = fork();
    if (child == 0)
    {
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
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return status;
}

// How a run ended.
std::string Describe(int status)
{
    if (status == -1)
        return "no child process";
    if (WIFSIGNALED(status))
        return "ended by signal " + std::to_string(WTERMSIG(status));
    return "exit " + std::to_string(WEXITSTATUS(status)) + " " + Shared().mText +
           (FailedAllocations() == 0 ? " (its allocation never failed)" : "");
}

// Adds a wrong run to the faults, joined to the last when it ran just before
// and ended the same way.
void AddFault(SweepOutcome& outcome, AllocationFailure mode, long n, const std::string& how, long& last,
              std::string& lastHow)
{
    if (!outcome.mFaults.empty() && n == last + 1 && how == lastHow)
    {
        std::string& fault = outcome.mFaults.back();
        const size_t dash = fault.find(" to ");
        const size_t colon = fault.find(": ");
        fault = fault.substr(0, dash == std::string::npos || dash > colon ? colon : dash) + " to " +
                std::to_string(n) + fault.substr(colon);
    }
    else
    {
        outcome.mFaults.push_back(std::string(mode == AllocationFailure::eOnlyAt ? "only allocation " : "allocations from ") +
                                  std::to_string(n) + ": " + how);
    }
    last = n;
    lastHow = how;
}

} // namespace

SweepOutcome SweepAllocations(const AllocationWork& work, AllocationFailure mode)
{
    SweepOutcome outcome;
    const int counted = RunChild(work, AllocationFailure::eNone, 0);
    if (counted == -1 || !WIFEXITED(counted) || WEXITSTATUS(counted) != kWorkDone)
    {
        outcome.mFaults.push_back("with nothing failing: " + Describe(counted));
        return outcome;
    }
    outcome.mAllocations = CountedAllocations();
    // QOX_SWEEP_AT=N runs N only, to look into one run (with QOX_SWEEP_TRACE).
    const char* only = std::getenv("QOX_SWEEP_AT");
    long last = 0;
    std::string lastHow;
    for (long n = 1; n <= outcome.mAllocations; ++n)
    {
        if (only && n != std::atol(only))
            continue;
        const int status = RunChild(work, mode, n);
        const bool exited = status != -1 && WIFEXITED(status);
        if (exited)
            ++outcome.mExits[WEXITSTATUS(status)];
        const bool right = exited && (WEXITSTATUS(status) == kWorkDone || WEXITSTATUS(status) == kWorkOutOfMemory);
        if (!right || FailedAllocations() == 0)
            AddFault(outcome, mode, n, Describe(status), last, lastHow);
    }
    return outcome;
}

} // namespace qoxtest

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
