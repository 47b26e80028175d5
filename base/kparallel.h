#ifndef QOX_BASE_KPARALLEL_H
#define QOX_BASE_KPARALLEL_H

// Work on a few threads at once, for the loops over a whole file's data
// (large arrays, OBJ statements and mesh lists). The helpers come from the
// process-wide pool (base/kthreadpool_private.h) within its limit. A helper
// the pool does not give leaves its work to the others or to the calling
// thread, so the result is the same on any number of threads. Nothing here
// throws but what the work throws.

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "base/kthreadpool_private.h"

// The threads a loop uses by default, the calling one among them: the
// thread limit, at most most, at least 1; 1 on a pool worker, whose work
// never fans out again.
inline int KDefaultThreads(int most)
{
    if (KOnPoolWorker())
        return 1;
    return std::max(1, std::min(KGetThreadLimit(), most));
}

// Runs work(0) ... work(count - 1) on up to threads threads (the calling one
// among them), each taking the next portion not yet taken; returns when all
// are done, every helper finished. Should work throw (memory running out),
// no portion starts after, and the first exception is thrown again on the
// calling thread once every helper finished.
template <class F>
void KRunPortions(size_t count, int threads, F&& work)
{
    std::atomic<size_t> next{0};
    auto take = [&] {
        try
        {
            for (size_t i = next++; i < count; i = next++)
                work(i);
        }
        catch (...)
        {
            next = count;
            throw;
        }
    };
    const size_t helpers = std::min(count, static_cast<size_t>(threads < 1 ? 1 : threads)) - (count > 0 ? 1 : 0);
    if (helpers == 0 || KOnPoolWorker())
    {
        take();
        return;
    }
    KPoolJobs jobs;
    for (size_t i = 0; i < helpers; ++i)
        if (next.load(std::memory_order_relaxed) >= count || !jobs.Start(take))
            break;
    take(); // throwing, the jobs' destructor waits for the helpers
    jobs.RethrowFailure();
}

#endif
