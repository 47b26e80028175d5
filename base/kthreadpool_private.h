#ifndef QOX_BASE_KTHREADPOOL_PRIVATE_H
#define QOX_BASE_KTHREADPOOL_PRIVATE_H

// The one pool every helper thread of the SDK comes from (the limit is set
// through base/kthreadlimit.h). Workers are made when first needed, at most
// the limit less one, and parked between jobs. A job is handed straight to
// an idle worker or refused: nothing waits in a queue, so whoever asked can
// always do the work itself instead, and no job waits on another that has
// not started. Jobs asked for from a worker are always refused.

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

#include "base/kthreadlimit.h"

// The first exception work on several threads threw (memory running out),
// kept for the thread that waits for that work to throw again.
class KFirstFailure
{
public:
    // Keeps the exception being handled, unless one is kept already.
    void Keep()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (!mFailure)
            mFailure = std::current_exception();
    }
    // Throws the kept exception again (forgetting it), if any.
    void Rethrow()
    {
        std::exception_ptr failure;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            std::swap(failure, mFailure);
        }
        if (failure)
            std::rethrow_exception(failure);
    }

private:
    std::mutex mMutex;
    std::exception_ptr mFailure;
};

// Jobs started on pool workers by one owner, who waits for them all (Wait,
// or the destructor) before what they use goes away. A job that throws (as
// when memory runs out) ends there; the owner gets the exception back from
// RethrowFailure.
class KPoolJobs
{
public:
    KPoolJobs() = default;
    ~KPoolJobs() { Wait(); }
    KPoolJobs(const KPoolJobs&) = delete;
    KPoolJobs& operator=(const KPoolJobs&) = delete;

    // Starts job on a worker at once; false, job not run, when the limit,
    // the system, memory or the calling thread (a worker itself) leaves none.
    bool Start(std::function<void()> job);
    // Returns when every job started is done, the workers that ran them
    // back in the pool (free for the next Start).
    void Wait();
    // Waits, then throws again the first exception a job threw since the
    // last call, if any.
    void RethrowFailure();

private:
    void Finish();

    std::mutex mMutex;
    std::condition_variable mDone;
    int mRunning = 0;
    KFirstFailure mFailure;
};

// True on a pool worker: work there runs inline, never on further helpers.
bool KOnPoolWorker();

// What the pool has done since the process (or the forked child) began.
struct KThreadPoolCounts
{
    int mWorkers = 0;    // threads made, all still alive
    int mBusy = 0;       // running a job now
    int mPeakBusy = 0;   // most running a job at once since the last reset
    long long mJobs = 0; // jobs started
};
KThreadPoolCounts KThreadPoolGetCounts();
void KThreadPoolResetPeak();

namespace kthreads {

// The limit held in a text such as QOX_THREADS: a whole number from 1 up,
// blanks around it allowed; 0 for anything else (no limit given).
int ParseThreadCount(const char* text);
// Processors' worth of time a cgroup v2 cpu.max text grants ("150000 100000"
// gives 2, rounded up); 0 when it sets no quota ("max ...") or is damaged.
int QuotaFromCpuMax(const char* text);
// The same from cgroup v1 cpu.cfs_quota_us and cpu.cfs_period_us (a quota
// of -1: none).
int QuotaFromCfs(long long quota, long long period);

} // namespace kthreads

#endif
