#ifndef QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H
#define QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H

// Threads for the OBJ reader's and writer's file-sized loops: a few pieces
// of work run at once, each on its own thread.

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace qoxsdk_600 {

// Threads used at most by default: the processors there are, up to four.
inline int ObjDefaultThreads()
{
    const unsigned available = std::thread::hardware_concurrency();
    return static_cast<int>(std::min(available > 0 ? available : 1u, 4u));
}

// Runs work(0) ... work(count - 1), each on its own thread, the first on
// the calling one; returns when all are done.
template <class F>
void ObjRunPieces(size_t count, F&& work)
{
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (size_t i = 1; i < count; ++i)
        threads.emplace_back([&work, i] { work(i); });
    if (count > 0)
        work(0);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace qoxsdk_600

#endif
