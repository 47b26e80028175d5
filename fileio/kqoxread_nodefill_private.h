#ifndef QOX_FILEIO_KQOXREAD_NODEFILL_PRIVATE_H
#define QOX_FILEIO_KQOXREAD_NODEFILL_PRIVATE_H

// The blocks of plain nodes read on other threads while the objects section
// is read on. Not part of the library's interface.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "base/kthreadpool_private.h"
#include "fileio/iqoxobject.h"
#include "fileio/kqoxreaderqox_private.h"

namespace qoxsdk_600 {

// Threads at most, the reading one among them.
const int kNodeFillThreads = 8;
// Nodes a batch holds: a reader split off per batch (its window is 256 KB)
// is worth its cost over this many.
const size_t kNodeFillBatch = 512;
// Records a scout looks through ahead of the reading thread.
const int kScoutRecords = 1024;

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
    // reads anything the nodes' blocks could touch. Should reading a block
    // have thrown on any thread (memory running out), that exception is
    // thrown here again.
    void Drain();
    // The same at the section's end, the scouts ended too.
    void End();

    // Whether the node's record (an entered or unentered block) is known,
    // from a scout ahead of the reading thread, to hold a block the other
    // threads may read: no attribute, and only user properties the node
    // has. plain is set then; false when no scout has looked yet.
    bool Scouted(int record, KQoxNode& node, bool& plain) const;

private:
    // What a scout found in a node record's block.
    struct ScoutedRecord
    {
        bool mNode = false;  // a node record with a block
        bool mShape = false; // no attribute, one list of user properties at most
        size_t mNames = 0;   // its user properties' names in the scout's bytes
        int mCount = 0;
    };
    // Records looked through ahead of the reading thread by another one,
    // through a reader of their own; what it found is read once it is done.
    struct Scout
    {
        int mFirst = 0;
        IQoxObject mPart;
        std::vector<ScoutedRecord> mRecords;
        std::vector<char> mNames; // each terminated
        std::atomic<bool> mDone{false};
        bool mFailed = false;  // what it found is not to be used (set before mDone)
        bool mStarted = false; // guarded by mMutex
    };

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
    void StartScouts();
    void RunScout(Scout& scout);
    // Waits for the scouts started, drops those not started, joins all.
    void EndScouts();
    // Drain without throwing: what failed is kept in mFailure.
    void Finish();

    KQoxRead6& mRead;
    const int mThreads;
    std::vector<std::pair<int, KQoxNode*>> mOpen; // the batch being gathered
    KPoolJobs mWorkers;                           // each runs Work until mStopping
    bool mWorkersAsked = false;
    std::mutex mMutex;
    std::condition_variable mChanged;  // a batch queued, or the end
    std::condition_variable mFinished; // a batch read
    std::deque<Batch*> mQueue;
    std::vector<std::unique_ptr<Batch>> mBatches; // handed on, not joined yet
    std::vector<std::unique_ptr<Scout>> mScouts;  // by records: the first kScoutRecords, ...
    std::deque<Scout*> mScoutQueue;               // not started yet
    KFirstFailure mFailure;                       // what reading a block threw
    std::condition_variable mScouted;             // a scout done
    bool mStopping = false;
};

} // namespace qoxsdk_600

#endif
