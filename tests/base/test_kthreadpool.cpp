// The process-wide pool of helper threads: its limit (set, from
// QOX_THREADS, from the processors and cgroup quota), helpers made once and
// reused, no fan-out from a helper, work done whatever the pool gives.

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/kparallel.h"
#include "base/kthreadlimit.h"
#include "base/kthreadpool_private.h"
#include "common/qox_test_common.h"
#include "common/qox_test_threads.h"

using qoxtest::InChild;
using qoxtest::TaskCount;

namespace {

// Sets the limit for a scope.
class Limit
{
public:
    explicit Limit(int limit) { KSetThreadLimit(limit); }
    ~Limit() { KSetThreadLimit(0); }
};

// The threads that ran count portions at once, each portion checked to run
// exactly once.
std::string RunAndCheck(size_t count, int threads, std::set<std::thread::id>* ran = nullptr)
{
    std::vector<std::atomic<int>> runs(count);
    std::mutex lock;
    KRunPortions(count, threads, [&](size_t i) {
        ++runs[i];
        std::lock_guard<std::mutex> guard(lock);
        if (ran)
            ran->insert(std::this_thread::get_id());
    });
    for (size_t i = 0; i < count; ++i)
        if (runs[i] != 1)
            return "portion " + std::to_string(i) + " ran " + std::to_string(runs[i]) + " times\n";
    return "";
}

// As many portions as threads on up to that many threads, each held until
// every thread given holds one: how many threads were at work together.
int RunTogether(int threads)
{
    return qoxtest::RunOnEveryThreadGiven(static_cast<size_t>(threads), threads, [](size_t) {});
}

} // namespace

TEST(KThreadLimit, TextsOfTheEnvironmentVariable)
{
    using kthreads::ParseThreadCount;
    EXPECT_EQ(ParseThreadCount("1"), 1);
    EXPECT_EQ(ParseThreadCount("12"), 12);
    EXPECT_EQ(ParseThreadCount(" 3\n"), 3);
    EXPECT_EQ(ParseThreadCount("0"), 0);
    EXPECT_EQ(ParseThreadCount("-2"), 0);
    EXPECT_EQ(ParseThreadCount("+2"), 0);
    EXPECT_EQ(ParseThreadCount("2x"), 0);
    EXPECT_EQ(ParseThreadCount("2.5"), 0);
    EXPECT_EQ(ParseThreadCount(""), 0);
    EXPECT_EQ(ParseThreadCount(nullptr), 0);
    EXPECT_EQ(ParseThreadCount("99999999999999999999"), 0);
}

TEST(KThreadLimit, CgroupQuotasInWholeProcessors)
{
    using kthreads::QuotaFromCfs;
    using kthreads::QuotaFromCpuMax;
    EXPECT_EQ(QuotaFromCpuMax("max 100000\n"), 0);
    EXPECT_EQ(QuotaFromCpuMax("100000 100000\n"), 1);
    EXPECT_EQ(QuotaFromCpuMax("50000 100000\n"), 1);  // half a processor: one thread
    EXPECT_EQ(QuotaFromCpuMax("150000 100000\n"), 2); // rounded up
    EXPECT_EQ(QuotaFromCpuMax("400000 100000"), 4);
    EXPECT_EQ(QuotaFromCpuMax("100000"), 0);
    EXPECT_EQ(QuotaFromCpuMax("1,5 100000"), 0);
    EXPECT_EQ(QuotaFromCpuMax(""), 0);
    EXPECT_EQ(QuotaFromCpuMax(nullptr), 0);
    EXPECT_EQ(QuotaFromCfs(-1, 100000), 0);
    EXPECT_EQ(QuotaFromCfs(250000, 100000), 3);
    EXPECT_EQ(QuotaFromCfs(20000, 100000), 1);
    EXPECT_EQ(QuotaFromCfs(100000, 0), 0);
}

TEST(KThreadLimit, SetOverridesAndZeroGoesBackToTheDefault)
{
    const int initial = KGetThreadLimit();
    EXPECT_GE(initial, 1);
    KSetThreadLimit(3);
    EXPECT_EQ(KGetThreadLimit(), 3);
    KSetThreadLimit(1);
    EXPECT_EQ(KGetThreadLimit(), 1);
    EXPECT_EQ(KDefaultThreads(8), 1);
    KSetThreadLimit(-4);
    EXPECT_EQ(KGetThreadLimit(), initial);
    KSetThreadLimit(0);
    EXPECT_EQ(KGetThreadLimit(), initial);
    KSetThreadLimit(6);
    EXPECT_EQ(KDefaultThreads(4), 4);
    EXPECT_EQ(KDefaultThreads(8), 6);
    KSetThreadLimit(0);
}

TEST(KThreadLimit, DefaultIsTheProcessorsTheThreadMayRunOn)
{
    if (std::getenv("QOX_THREADS"))
        GTEST_SKIP() << "QOX_THREADS is set";
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
    // A cgroup quota may lower it, never raise it.
    EXPECT_LE(KGetThreadLimit(), CPU_COUNT(&set));
    EXPECT_GE(KGetThreadLimit(), 1);
    // Pinned to one processor: the calling thread only, no helper made.
    EXPECT_EQ(InChild([] {
                  std::string faults;
                  if (!qoxtest::PinToOneProcessor())
                      return std::string("cannot pin");
                  if (KGetThreadLimit() != 1)
                      faults += "limit " + std::to_string(KGetThreadLimit()) + " on one processor\n";
                  faults += RunAndCheck(1000, 8);
                  const KThreadPoolCounts counts = KThreadPoolGetCounts();
                  if (counts.mWorkers != 0 || counts.mJobs != 0 || TaskCount() > 1 + qoxtest::kRuntimeThreads)
                      faults += "helpers made on one processor: " + std::to_string(counts.mWorkers) + "\n";
                  return faults;
              }),
              "");
}

// Run again as a fresh process (the variable is read once per process)
// with QOX_THREADS as given: the limit there must be expected.
int RunFresh(const char* threads, int expected)
{
    const pid_t pid = fork();
    if (pid == 0)
    {
        setenv("QOX_THREADS", threads, 1);
        setenv("QOX_TEST_EXPECTED_LIMIT", std::to_string(expected).c_str(), 1);
        execl("/proc/self/exe", "base_tests", "--gtest_filter=KThreadLimit.EnvironmentVariableReadOnce", nullptr);
        _exit(3);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(KThreadLimit, EnvironmentVariableReadOnce)
{
    if (const char* expected = std::getenv("QOX_TEST_EXPECTED_LIMIT"))
    {
        // The fresh process.
        const int limit = std::atoi(expected);
        EXPECT_EQ(KGetThreadLimit(), limit);
        setenv("QOX_THREADS", "5", 1);
        EXPECT_EQ(KGetThreadLimit(), limit); // not read again
        KSetThreadLimit(3);
        EXPECT_EQ(KGetThreadLimit(), 3);
        KSetThreadLimit(0);
        EXPECT_EQ(KGetThreadLimit(), limit);
        return;
    }
    if (std::getenv("QOX_THREADS"))
        GTEST_SKIP() << "QOX_THREADS is set";
    EXPECT_EQ(RunFresh("2", 2), 0);
    EXPECT_EQ(RunFresh(" 1", 1), 0);
    // Not a whole number above 0: the processors.
    EXPECT_EQ(RunFresh("none", KGetThreadLimit()), 0);
    EXPECT_EQ(RunFresh("0", KGetThreadLimit()), 0);
}

TEST(KThreadPool, LimitOneIsTheCallingThreadOnly)
{
    EXPECT_EQ(InChild([] {
                  KSetThreadLimit(1);
                  std::set<std::thread::id> ran;
                  std::string faults = RunAndCheck(500, 8, &ran);
                  if (ran.size() != 1 || *ran.begin() != std::this_thread::get_id())
                      faults += "portions ran on other threads\n";
                  KPoolJobs jobs;
                  if (jobs.Start([] {}))
                      faults += "a job started at limit 1\n";
                  if (KThreadPoolGetCounts().mWorkers != 0 || TaskCount() > 1 + qoxtest::kRuntimeThreads)
                      faults += "a helper was made\n";
                  return faults;
              }),
              "");
}

TEST(KThreadPool, HelpersAreMadeOnceAndKeptWithinTheLimit)
{
    for (int limit : {2, 3, 5})
    {
        EXPECT_EQ(InChild([limit] {
                      KSetThreadLimit(limit);
                      std::string faults;
                      // Enough portions at once to want every helper.
                      const int together = RunTogether(limit);
                      if (together != limit)
                          faults += "at most " + std::to_string(together) + " threads at once\n";
                      // A helper is back in the pool before the loop that
                      // had it returns: each loop of two portions or more
                      // finds one free, however late the helper's thread
                      // gets a processor again.
                      int withoutHelper = 0;
                      for (int i = 0; i < 2000; ++i)
                      {
                          const size_t portions = static_cast<size_t>(i % 9);
                          const long long jobs = KThreadPoolGetCounts().mJobs;
                          faults += RunAndCheck(portions, 8);
                          if (portions >= 2 && KThreadPoolGetCounts().mJobs == jobs)
                              ++withoutHelper;
                      }
                      if (withoutHelper > 0)
                          faults += std::to_string(withoutHelper) + " loops found no helper free\n";
                      const KThreadPoolCounts counts = KThreadPoolGetCounts();
                      if (counts.mWorkers > limit - 1 || counts.mPeakBusy > limit - 1)
                          faults += "helpers " + std::to_string(counts.mWorkers) + ", at once " +
                                    std::to_string(counts.mPeakBusy) + "\n";
                      if (counts.mJobs <= counts.mWorkers)
                          faults += "a helper made for each job: " + std::to_string(counts.mJobs) + "\n";
                      if (TaskCount() > 1 + counts.mWorkers + qoxtest::kRuntimeThreads)
                          faults += "threads " + std::to_string(TaskCount()) + "\n";
                      return faults;
                  }),
                  "")
            << "limit " << limit;
    }
}

TEST(KThreadPool, WorkOnAHelperDoesNotFanOut)
{
    // Three helpers of the eight allowed, each with a portion of its own:
    // helpers to spare, which work on a helper must still not take.
    EXPECT_EQ(InChild([] {
                  KSetThreadLimit(8);
                  std::atomic<int> inner{0};
                  std::atomic<int> fannedOut{0};
                  std::atomic<int> onHelpers{0};
                  const int given = qoxtest::RunOnEveryThreadGiven(4, 4, [&](size_t) {
                      if (!KOnPoolWorker())
                          return;
                      ++onHelpers;
                      const std::thread::id self = std::this_thread::get_id();
                      if (KDefaultThreads(8) != 1)
                          ++fannedOut;
                      KRunPortions(16, 8, [&](size_t) {
                          ++inner;
                          if (std::this_thread::get_id() != self)
                              ++fannedOut;
                      });
                      KPoolJobs jobs;
                      if (jobs.Start([] {}))
                          ++fannedOut;
                  });
                  std::string faults;
                  if (given != 4 || onHelpers != 3)
                      faults += std::to_string(given) + " threads given, " + std::to_string(onHelpers.load()) +
                                " helpers at work\n";
                  if (inner != 16 * onHelpers)
                      faults += "inner portions " + std::to_string(inner.load()) + "\n";
                  if (fannedOut != 0)
                      faults += "fanned out " + std::to_string(fannedOut.load()) + " times\n";
                  return faults;
              }),
              "");
}

TEST(KThreadPool, CallersOnSeveralThreadsShareTheLimit)
{
    EXPECT_EQ(InChild([] {
                  KSetThreadLimit(3);
                  std::vector<std::string> faults(6);
                  std::vector<std::thread> callers;
                  for (int c = 0; c < 6; ++c)
                      callers.emplace_back([&faults, c] {
                          for (int i = 0; i < 300; ++i)
                              faults[static_cast<size_t>(c)] += RunAndCheck(64, 8);
                      });
                  for (std::thread& caller : callers)
                      caller.join();
                  std::string all;
                  for (const std::string& f : faults)
                      all += f;
                  const KThreadPoolCounts counts = KThreadPoolGetCounts();
                  if (counts.mWorkers > 2 || counts.mPeakBusy > 2)
                      all += "helpers " + std::to_string(counts.mWorkers) + ", at once " +
                             std::to_string(counts.mPeakBusy) + "\n";
                  return all;
              }),
              "");
}

TEST(KThreadPool, NoThreadFromTheSystemLeavesTheWorkToTheCaller)
{
    EXPECT_EQ(InChild([] {
                  KSetThreadLimit(4);
                  qoxtest::NoNewThreads noThreads;
                  if (!noThreads.Active())
                      return std::string();
                  std::set<std::thread::id> ran;
                  std::string faults = RunAndCheck(100, 4, &ran);
                  if (ran.size() != 1)
                      faults += "portions ran on other threads\n";
                  KPoolJobs jobs;
                  if (jobs.Start([] {}))
                      faults += "a job started\n";
                  return faults;
              }),
              "");
}

TEST(KThreadPool, ForkedChildMakesHelpersOfItsOwn)
{
    Limit limit(3);
    // Helpers here first, parked when the child is made.
    EXPECT_EQ(RunTogether(3), 3);
    EXPECT_EQ(InChild([] {
                  std::string faults;
                  if (KThreadPoolGetCounts().mWorkers != 0)
                      faults += "the parent's helpers are counted\n";
                  const int together = RunTogether(3);
                  if (together != 3)
                      faults += "at most " + std::to_string(together) + " threads at once\n";
                  return faults;
              }),
              "");
    EXPECT_EQ(RunAndCheck(100, 3), "");
}

TEST(KThreadPool, JobsFinishBeforeWaitReturns)
{
    Limit limit(4);
    // The jobs are held until all five are asked for, so that the limit, not
    // how soon a job ends, decides how many start; then each takes a while,
    // for a Wait that did not wait to find it unfinished.
    std::atomic<bool> go{false};
    std::atomic<int> done{0};
    int started = 0;
    KPoolJobs jobs;
    for (int i = 0; i < 5; ++i)
        started += jobs.Start([&go, &done] {
            while (!go)
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++done;
        });
    go = true;
    jobs.Wait();
    EXPECT_EQ(started, 3); // the calling thread counts
    EXPECT_EQ(done, started);
    // The helpers are free again for the next jobs.
    EXPECT_EQ(KThreadPoolGetCounts().mBusy, 0);
}

TEST(KThreadPool, HelpersTakeNoSignalMeantForTheProcess)
{
    Limit limit(2);
    KPoolJobs jobs;
    bool blocked = false;
    ASSERT_TRUE(jobs.Start([&blocked] {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        blocked = sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1;
    }));
    jobs.Wait();
    EXPECT_TRUE(blocked);
    // The caller's own mask is as it was.
    sigset_t mine;
    pthread_sigmask(SIG_BLOCK, nullptr, &mine);
    EXPECT_EQ(sigismember(&mine, SIGINT), 0);
}
