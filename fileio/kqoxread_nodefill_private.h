#ifndef QOX_FILEIO_KQOXREAD_NODEFILL_PRIVATE_H
#define QOX_FILEIO_KQOXREAD_NODEFILL_PRIVATE_H

// The blocks of plain nodes read on other threads while the objects section
// is read on. Not part of the library's interface.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "fileio/iqoxobject.h"
#include "fileio/kqoxreaderqox_private.h"

namespace qoxsdk_600 {

// Threads at most, the reading one among them.
const int kNodeFillThreads = 8;
// Nodes a batch holds: a reader split off per batch (its window is 256 KB)
// is worth its cost over this many.
const size_t kNodeFillBatch = 512;

class KQoxRead6::NodeFill
{
public:
    // For the objects section read (the current list): null when it is not
    // to be read so (a nested scene, sSideBySide off, a small section, a
    // single processor).
    static std::unique_ptr<NodeFill> Make(KQoxRead6& read);
    // Drains, then ends the threads.
    ~NodeFill();
    NodeFill(const NodeFill&) = delete;
    NodeFill& operator=(const NodeFill&) = delete;

    // The node of record (read as far as its block): its block is read on
    // another thread. Records come in file order.
    void Add(int record, KQoxNode* node);
    // Every node added is read, and the readers split off are joined: the
    // damage they found is the file's. For the reading thread before it
    // reads anything the nodes' blocks could touch, and at the section's end.
    void Drain();

private:
    // Nodes of neighbouring records, read through a reader of their own.
    struct Batch
    {
        std::vector<std::pair<int, KQoxNode*>> mNodes; // record, node
        int mFirst = 0;                                // record of the first
        IQoxObject mPart;
        bool mDone = false; // read (guarded by mMutex)
    };

    explicit NodeFill(KQoxRead6& read);
    // Hands the open batch on to the threads.
    void Close();
    void StartWorkers();
    void Work();
    void Fill(Batch& batch);
    // Joins the batches read (the reading thread only).
    void JoinDone();

    KQoxRead6& mRead;
    const int mThreads;
    std::vector<std::pair<int, KQoxNode*>> mOpen; // the batch being gathered
    std::vector<std::thread> mWorkers;
    std::mutex mMutex;
    std::condition_variable mChanged;  // a batch queued, or the end
    std::condition_variable mFinished; // a batch read
    std::deque<Batch*> mQueue;
    std::vector<std::unique_ptr<Batch>> mBatches; // handed on, not joined yet
    bool mStopping = false;
};

} // namespace qoxsdk_600

#endif
