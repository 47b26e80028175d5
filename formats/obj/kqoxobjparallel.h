#ifndef QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H
#define QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H

// Threads for the OBJ reader's and writer's file-sized loops: a few pieces
// of work run at once, each on its own thread.

#include <algorithm>
#include <atomic>
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

// Pieces of work cut per thread: a thread the system holds back leaves
// its pieces to the others instead of holding up all of them.
constexpr size_t kObjPiecesPerThread = 4;

// Runs work(0) ... work(count - 1) on up to threads threads (the calling
// one among them), each taking the next piece not yet taken; returns when
// all are done.
template <class F>
void ObjRunPieces(size_t count, int threads, F&& work)
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
        running.emplace_back(take);
    take();
    for (std::thread& thread : running)
        thread.join();
}

} // namespace qoxsdk_600

#endif
