// The process-wide pool of helper threads and its limit.

#include "base/kthreadpool_private.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace kthreads {

int ParseThreadCount(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    long long value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9' && value <= (1 << 20); ++p)
        value = value * 10 + (*p - '0');
    if (p == text)
        return 0;
    while (*p == ' ' || *p == '\t' || *p == '\n')
        ++p;
    if (*p != '\0' || value < 1 || value > (1 << 20))
        return 0;
    return static_cast<int>(value);
}

int QuotaFromCfs(long long quota, long long period)
{
    if (quota <= 0 || period <= 0)
        return 0;
    const long long whole = (quota + period - 1) / period;
    return static_cast<int>(std::min<long long>(whole, 1 << 20));
}

int QuotaFromCpuMax(const char* text)
{
    // "<quota> <period>", the quota "max" when there is none.
    if (!text)
        return 0;
    const char* end = text + std::strlen(text);
    long long quota = 0, period = 0;
    const std::from_chars_result first = std::from_chars(text, end, quota);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ' ')
        return 0;
    const std::from_chars_result second = std::from_chars(first.ptr + 1, end, period);
    if (second.ec != std::errc() || (second.ptr != end && *second.ptr != '\n'))
        return 0;
    return QuotaFromCfs(quota, period);
}

} // namespace kthreads

namespace {

// A whole number alone on its line (a cgroup v1 file); 0 when there is none.
long long ReadNumber(const std::string& text)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const std::from_chars_result got = std::from_chars(text.data(), end, value);
    return got.ec == std::errc() && (got.ptr == end || *got.ptr == '\n') ? value : 0;
}

using namespace kthreads;

// Most helpers ever made, whatever the limit says.
const int kMostLimit = 1024;

// The first line of a small file; empty when it cannot be read.
std::string ReadLine(const std::string& path)
{
    std::string line;
    if (FILE* f = std::fopen(path.c_str(), "re"))
    {
        char text[256];
        if (std::fgets(text, sizeof(text), f))
            line = text;
        std::fclose(f);
    }
    return line;
}

// This process's path in the control-group hierarchy that has controller
// (v1, e.g. "cpu"), or in the unified one (v2, controller empty).
std::string CgroupPath(const std::string& controller)
{
    std::string found;
    if (FILE* f = std::fopen("/proc/self/cgroup", "re"))
    {
        char text[1024];
        while (found.empty() && std::fgets(text, sizeof(text), f))
        {
            // id:controllers:path
            std::string line(text);
            line.erase(line.find_last_not_of("\r\n") + 1);
            const size_t first = line.find(':');
            const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
            if (second == std::string::npos)
                continue;
            const std::string names = "," + line.substr(first + 1, second - first - 1) + ",";
            const bool match = controller.empty() ? names == ",," : names.find("," + controller + ",") != names.npos;
            if (match)
                found = line.substr(second + 1);
        }
        std::fclose(f);
    }
    return found;
}

// The smallest quota found on the way from dir (under root) up to root;
// 0 when none.
template <class F>
int SmallestQuotaUp(const std::string& root, std::string dir, F&& quotaIn)
{
    int smallest = 0;
    for (;;)
    {
        const int quota = quotaIn(root + dir);
        if (quota > 0 && (smallest == 0 || quota < smallest))
            smallest = quota;
        const size_t slash = dir.find_last_of('/');
        if (dir.empty() || slash == std::string::npos)
            break;
        dir.erase(slash);
    }
    return smallest;
}

// The control group's CPU quota in whole processors, 0 when none.
int CgroupQuota()
{
    const std::string unified = CgroupPath("");
    int quota = SmallestQuotaUp("/sys/fs/cgroup", unified == "/" ? std::string() : unified, [](const std::string& dir) {
        return QuotaFromCpuMax(ReadLine(dir + "/cpu.max").c_str());
    });
    if (quota > 0)
        return quota;
    const std::string v1 = CgroupPath("cpu");
    return SmallestQuotaUp("/sys/fs/cgroup/cpu", v1 == "/" ? std::string() : v1, [](const std::string& dir) {
        return QuotaFromCfs(ReadNumber(ReadLine(dir + "/cpu.cfs_quota_us")),
                            ReadNumber(ReadLine(dir + "/cpu.cfs_period_us")));
    });
}

// Processors the calling thread may run on.
int AffinityCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    const unsigned available = std::thread::hardware_concurrency();
    return available > 0 ? static_cast<int>(available) : 1;
}

int DefaultLimit()
{
    // Quotas are set from outside and seldom change: looked up once.
    static const int quota = CgroupQuota();
    const int processors = AffinityCount();
    return quota > 0 ? std::min(processors, quota) : processors;
}

std::atomic<int> gSetLimit{0};
thread_local bool tOnWorker = false;

class ThreadPool
{
public:
    static ThreadPool& Instance();

    // Hands job to a worker, which is back among the idle ones before it
    // calls done; false, neither taken, when none is to be had.
    bool TryStart(std::function<void()>& job, std::function<void()>& done);
    KThreadPoolCounts Counts();
    void ResetPeak();
    // Joins every worker: from then on every job is refused.
    void Stop();

private:
    struct Worker
    {
        std::condition_variable mWake;
        std::function<void()> mJob;  // set while it has one
        std::function<void()> mDone; // called once it is idle again
        std::thread mThread;
    };

    ThreadPool();
    void Run(Worker& worker);
    // A new parked worker; null when the system gives no thread.
    Worker* MakeWorker();
    static void BeforeFork() { Instance().mMutex.lock(); }
    static void AfterForkParent() { Instance().mMutex.unlock(); }
    static void AfterForkChild();

    std::mutex mMutex;
    std::vector<std::unique_ptr<Worker>> mWorkers;
    std::vector<Worker*> mIdle;
    // Workers of the parent, which the forked child does not have: kept
    // (never joined nor freed) so that nothing touches them.
    std::vector<std::unique_ptr<Worker>> mLeftByFork;
    int mBusy = 0;
    int mPeakBusy = 0;
    long long mJobs = 0;
    bool mStopped = false;
};

// Joins the workers at exit (or when the library is unloaded), while the
// pool itself stays for anything still calling in later.
struct PoolCloser
{
    ~PoolCloser() { ThreadPool::Instance().Stop(); }
};

ThreadPool& ThreadPool::Instance()
{
    static ThreadPool* pool = new ThreadPool;
    static PoolCloser closer;
    return *pool;
}

ThreadPool::ThreadPool()
{
    pthread_atfork(&ThreadPool::BeforeFork, &ThreadPool::AfterForkParent, &ThreadPool::AfterForkChild);
}

void ThreadPool::AfterForkChild()
{
    // Only the forking thread goes on in the child: the workers are gone.
    ThreadPool& pool = Instance();
    for (std::unique_ptr<Worker>& worker : pool.mWorkers)
        pool.mLeftByFork.push_back(std::move(worker));
    pool.mWorkers.clear();
    pool.mIdle.clear();
    pool.mBusy = 0;
    pool.mPeakBusy = 0;
    pool.mJobs = 0;
    pool.mMutex.unlock();
}

ThreadPool::Worker* ThreadPool::MakeWorker()
{
    // Room first: once its thread runs, keeping a worker must not fail
    // (memory running out throws here, before anything started).
    mWorkers.reserve(mWorkers.size() + 1);
    mIdle.reserve(mWorkers.size() + 1);
    std::unique_ptr<Worker> worker(new Worker);
    Worker* made = worker.get();
    // Helpers take no signal meant for the process: those go to the
    // caller's threads, as they would without the SDK. The signals a
    // thread's own fault raises stay open: blocked, the system would end the
    // process on them without asking the handler (a mapping's guard among them).
    sigset_t all, before;
    sigfillset(&all);
    for (int fault : {SIGBUS, SIGSEGV, SIGFPE, SIGILL})
        sigdelset(&all, fault);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    bool started = true;
    try
    {
        made->mThread = std::thread([this, made] { Run(*made); });
    }
    catch (const std::system_error&)
    {
        started = false;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started)
        return nullptr;
    mWorkers.push_back(std::move(worker));
    return made;
}

bool ThreadPool::TryStart(std::function<void()>& job, std::function<void()>& done)
{
    if (tOnWorker)
        return false;
    const int helpers = KGetThreadLimit() - 1;
    std::lock_guard<std::mutex> lock(mMutex);
    if (mStopped || mBusy >= helpers)
        return false;
    Worker* worker = nullptr;
    if (!mIdle.empty())
    {
        worker = mIdle.back();
        mIdle.pop_back();
    }
    else if (!(worker = MakeWorker()))
        return false;
    worker->mJob = std::move(job);
    worker->mDone = std::move(done);
    ++mBusy;
    ++mJobs;
    mPeakBusy = std::max(mPeakBusy, mBusy);
    worker->mWake.notify_one();
    return true;
}

void ThreadPool::Run(Worker& worker)
{
    tOnWorker = true;
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;)
    {
        worker.mWake.wait(lock, [&] { return worker.mJob || mStopped; });
        if (!worker.mJob)
            return;
        std::function<void()> job = std::move(worker.mJob);
        std::function<void()> done = std::move(worker.mDone);
        worker.mJob = nullptr;
        worker.mDone = nullptr;
        lock.unlock();
        job();
        job = nullptr;
        // Idle again before the owner hears the job is done: a loop that
        // starts right after the last one finds its helpers free, however
        // late this thread gets a processor again.
        lock.lock();
        --mBusy;
        mIdle.push_back(&worker);
        lock.unlock();
        done();
        done = nullptr;
        lock.lock();
    }
}

KThreadPoolCounts ThreadPool::Counts()
{
    std::lock_guard<std::mutex> lock(mMutex);
    KThreadPoolCounts counts;
    counts.mWorkers = static_cast<int>(mWorkers.size());
    counts.mBusy = mBusy;
    counts.mPeakBusy = mPeakBusy;
    counts.mJobs = mJobs;
    return counts;
}

void ThreadPool::ResetPeak()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPeakBusy = mBusy;
}

void ThreadPool::Stop()
{
    std::vector<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopped = true;
        for (std::unique_ptr<Worker>& worker : mWorkers)
            worker->mWake.notify_one();
        workers.swap(mWorkers);
        mIdle.clear();
    }
    for (std::unique_ptr<Worker>& worker : workers)
        if (worker->mThread.joinable() && worker->mThread.get_id() != std::this_thread::get_id())
            worker->mThread.join();
        else if (worker->mThread.joinable())
            worker->mThread.detach();
}

} // namespace

void KSetThreadLimit(int limit)
{
    gSetLimit.store(limit > 0 ? std::min(limit, kMostLimit) : 0, std::memory_order_relaxed);
}

int KGetThreadLimit()
{
    const int set = gSetLimit.load(std::memory_order_relaxed);
    if (set > 0)
        return set;
    static const int fromEnvironment = std::min(ParseThreadCount(std::getenv("QOX_THREADS")), kMostLimit);
    if (fromEnvironment > 0)
        return fromEnvironment;
    return std::min(DefaultLimit(), kMostLimit);
}

bool KOnPoolWorker()
{
    return tOnWorker;
}

KThreadPoolCounts KThreadPoolGetCounts()
{
    return ThreadPool::Instance().Counts();
}

void KThreadPoolResetPeak()
{
    ThreadPool::Instance().ResetPeak();
}

bool KPoolJobs::Start(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        ++mRunning;
    }
    try
    {
        // What the job holds goes (with the job, on the worker) before the
        // owner hears it is done.
        std::function<void()> run = [this, job = std::move(job)] {
            try
            {
                job();
            }
            catch (...)
            {
                mFailure.Keep();
            }
        };
        std::function<void()> done = [this] { Finish(); };
        if (ThreadPool::Instance().TryStart(run, done))
            return true;
    }
    catch (const std::bad_alloc&)
    {
        // No memory to hand the job on: the caller does the work itself.
    }
    std::lock_guard<std::mutex> lock(mMutex);
    --mRunning;
    return false;
}

void KPoolJobs::Finish()
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (--mRunning == 0)
        mDone.notify_all();
}

void KPoolJobs::RethrowFailure()
{
    Wait();
    mFailure.Rethrow();
}

void KPoolJobs::Wait()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mDone.wait(lock, [this] { return mRunning == 0; });
}
