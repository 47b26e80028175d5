#ifndef QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H
#define QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H

// Threads for the OBJ reader's and writer's file-sized loops: a few pieces
// of work run at once, each on its own thread.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
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

// Starts a thread running job, kept in running (room reserved by the
// caller); false when the system has no thread to give, the work then left
// to the threads already running or to the caller.
template <class F>
bool ObjStartThread(std::vector<std::thread>& running, F& job)
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

// Runs work(0) ... work(count - 1) on up to threads threads (the calling
// one among them), each taking the next piece not yet taken; returns when
// all are done. Threads the system does not give leave their pieces to the
// others.
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
        if (!ObjStartThread(running, take))
            break;
    take();
    for (std::thread& thread : running)
        thread.join();
}

} // namespace qoxsdk_600

#endif
