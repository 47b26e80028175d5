// Helpers for tests of the SDK's helper threads: the threads this process
// has, and work run in a forked child, whose pool starts empty.
#ifndef QOX_TESTS_COMMON_QOX_TEST_THREADS_H
#define QOX_TESTS_COMMON_QOX_TEST_THREADS_H

#include <dirent.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/kparallel.h"

// Children forked from a process with threads start helpers of their own
// (the tests count them there): ThreadSanitizer must let them.
#if defined(__SANITIZE_THREAD__)
#define QOX_TEST_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QOX_TEST_THREAD_SANITIZER 1
#endif
#endif
#ifdef QOX_TEST_THREAD_SANITIZER
extern "C" __attribute__((weak, used)) const char* __tsan_default_options()
{
    return "die_after_fork=0";
}
#endif

namespace qoxtest {

// Threads a sanitizer's runtime may run beside the program's own: under
// ThreadSanitizer its background thread, and in a forked child of a process
// that had threads, one more while the child's runtime starts its own.
#ifdef QOX_TEST_THREAD_SANITIZER
constexpr int kRuntimeThreads = 2;
#else
constexpr int kRuntimeThreads = 0;
#endif

// The entries of a folder of /proc (its dot entries left out); -1 when it
// cannot be read.
inline int ProcEntryCount(const char* folder)
{
    DIR* dir = opendir(folder);
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count;
}

// Threads of this process now (entries of /proc/self/task); -1 when unknown.
inline int TaskCount()
{
    return ProcEntryCount("/proc/self/task");
}

// Runs body in a forked child (only the calling thread goes on there) and
// returns what it reports: empty when all went well, else the faults found.
// A child that dies reports that.
inline std::string InChild(const std::function<std::string()>& body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
    {
        close(fds[0]);
        close(fds[1]);
        return "no child";
    }
    if (pid == 0)
    {
        close(fds[0]);
        const std::string faults = body();
        size_t done = 0;
        while (done < faults.size())
        {
            const ssize_t n = write(fds[1], faults.data() + done, faults.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string faults;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof(buffer))) > 0)
        faults.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        faults += "the child ended abnormally";
    return faults;
}

// Pins the calling thread to the first processor it may run on now; false
// when that cannot be done.
inline bool PinToOneProcessor()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0)
        return false;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set))
        {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            return sched_setaffinity(0, sizeof(one), &one) == 0;
        }
    return false;
}

// Runs work(0) .. work(count - 1) on count threads of their own, each
// starting once all of them are up, so that they meet in the code under
// test as closely as threads can; returns when all have ended.
inline void RunAtOnce(int count, const std::function<void(int)>& work)
{
    std::atomic<int> waiting{count};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&, t] {
            for (--waiting; waiting > 0;)
                std::this_thread::yield();
            work(t);
        });
    for (std::thread& thread : threads)
        thread.join();
}

// Runs work(0) .. work(count - 1) through KRunPortions on up to threads
// threads so that every helper the pool gives takes part, however late it
// gets a processor: the first portion each thread takes waits until every
// thread given (the calling one among them) holds one. count must be at
// least threads. Returns the threads given. The helpers given are counted
// from the pool's jobs: nothing else may start pool jobs meanwhile.
template <class F>
int RunOnEveryThreadGiven(size_t count, int threads, F&& work)
{
    static std::atomic<unsigned long long> calls{0};
    thread_local unsigned long long lastCall = 0;
    const unsigned long long call = ++calls;
    const long long jobsBefore = KThreadPoolGetCounts().mJobs;
    std::atomic<int> arrived{0};
    std::atomic<int> given{0}; // 0 until the calling thread knows
    KRunPortions(count, threads, [&](size_t i) {
        if (lastCall != call)
        {
            lastCall = call;
            ++arrived;
            // The calling thread takes its first portion once every helper
            // it asked for has been given or refused.
            if (!KOnPoolWorker())
                given = static_cast<int>(KThreadPoolGetCounts().mJobs - jobsBefore) + 1;
            while (given.load() == 0 || arrived.load() < given.load())
                std::this_thread::yield();
        }
        work(i);
    });
    return given.load();
}

} // namespace qoxtest

#endif
