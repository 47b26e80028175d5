#ifndef QOX_BASE_KPARALLEL_H
#define QOX_BASE_KPARALLEL_H

// Work on a few threads at once, for the loops over a whole file's data
// (large arrays, OBJ statements and mesh lists). Nothing here throws: a
// thread the system does not give leaves its work to the others or to the
// calling thread, so the result is the same on any number of threads.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

// The threads a loop uses by default: the processors there are, at most
// most, at least 1.
inline int KDefaultThreads(int most)
{
    const unsigned available = std::thread::hardware_concurrency();
    const int processors = available > 0 ? static_cast<int>(available) : 1;
    return std::max(1, std::min(processors, most));
}

// Starts a thread running job, kept in running (room reserved by the
// caller); false when the system has no thread to give.
template <class F>
bool KStartThread(std::vector<std::thread>& running, F& job)
{
    try
    {
        running.emplace_back(job);
        return true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}

// Runs work(0) ... work(count - 1) on up to threads threads (the calling one
// among them), each taking the next portion not yet taken; returns when all
// are done, every thread joined.
template <class F>
void KRunPortions(size_t count, int threads, F&& work)
{
    std::atomic<size_t> next{0};
    auto take = [&] {
        for (size_t i = next++; i < count; i = next++)
            work(i);
    };
    const size_t helpers = std::min(count, static_cast<size_t>(threads < 1 ? 1 : threads)) - (count > 0 ? 1 : 0);
    std::vector<std::thread> running;
    running.reserve(helpers);
    for (size_t i = 0; i < helpers; ++i)
        if (!KStartThread(running, take))
            break;
    take();
    for (std::thread& thread : running)
        thread.join();
}

#endif
