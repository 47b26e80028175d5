#include "base/kmappingguard.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#ifdef __linux__
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// A held mapping: [mBegin, mEnd) in whole pages. mEnd is 0 while the slot is
// free or being filled, so that the handler never sees half of an entry.
struct Slot
{
    std::atomic<uintptr_t> mBegin{0};
    std::atomic<uintptr_t> mEnd{0};
    std::atomic<bool> mTaken{false};
    std::atomic<bool> mSpoilt{false};
};

Slot gSlots[KMappingGuard::kMaxHeld];

#ifdef __linux__

uintptr_t gPageSize = 0;
struct sigaction gPrevious;

// A fault that is none of ours goes on as the process had it handled: to its
// handler, or to the default action, which the fault taken again on return
// meets (a signal sent rather than faulted is raised again for it).
void PassOn(int signal, siginfo_t* info, void* context)
{
    if ((gPrevious.sa_flags & SA_SIGINFO) && gPrevious.sa_sigaction)
    {
        gPrevious.sa_sigaction(signal, info, context);
        return;
    }
    if (!(gPrevious.sa_flags & SA_SIGINFO) && gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN)
    {
        gPrevious.sa_handler(signal);
        return;
    }
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    if (info->si_code <= 0)
        raise(signal);
}

// Only what is safe in a signal handler: atomics and one mmap call.
void OnBusError(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    if (info->si_code > 0)
        for (Slot& slot : gSlots)
        {
            const uintptr_t end = slot.mEnd.load(std::memory_order_acquire);
            if (end == 0 || at >= end || at < slot.mBegin.load(std::memory_order_relaxed))
                continue;
            void* page = reinterpret_cast<void*>(at & ~(gPageSize - 1));
            if (mmap(page, gPageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED)
            {
                slot.mSpoilt.store(true, std::memory_order_relaxed);
                errno = savedErrno;
                return;
            }
            break;
        }
    errno = savedErrno;
    PassOn(signal, info, context);
}

bool InstallHandler()
{
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        const long page = sysconf(_SC_PAGESIZE);
        if (page <= 0)
            return;
        gPageSize = static_cast<uintptr_t>(page);
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        // The action the process had is kept before ours goes in, so that a
        // fault on another thread meanwhile finds it.
        installed = sigaction(SIGBUS, nullptr, &gPrevious) == 0 && sigaction(SIGBUS, &action, nullptr) == 0;
    });
    return installed;
}

#else

bool InstallHandler()
{
    return false;
}

#endif

} // namespace

bool KMappingGuard::Hold(const void* data, size_t size)
{
    Release();
    if (!data || size == 0 || !InstallHandler())
        return false;
#ifdef __linux__
    const uintptr_t begin = reinterpret_cast<uintptr_t>(data) & ~(gPageSize - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size + gPageSize - 1) & ~(gPageSize - 1);
    for (int i = 0; i < kMaxHeld; ++i)
    {
        Slot& slot = gSlots[i];
        bool taken = false;
        if (!slot.mTaken.compare_exchange_strong(taken, true, std::memory_order_acquire))
            continue;
        slot.mSpoilt.store(false, std::memory_order_relaxed);
        slot.mBegin.store(begin, std::memory_order_relaxed);
        slot.mEnd.store(end, std::memory_order_release);
        mSlot = i;
        return true;
    }
#endif
    return false;
}

void KMappingGuard::Release()
{
    if (mSlot < 0)
        return;
    Slot& slot = gSlots[mSlot];
    slot.mEnd.store(0, std::memory_order_release);
    slot.mBegin.store(0, std::memory_order_relaxed);
    slot.mTaken.store(false, std::memory_order_release);
    mSlot = -1;
}

bool KMappingGuard::Spoilt() const
{
    return mSlot >= 0 && gSlots[mSlot].mSpoilt.load(std::memory_order_relaxed);
}
