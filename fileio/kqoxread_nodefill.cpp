// Native reader: the blocks of plain nodes, read on other threads while the
// objects section is read on.

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "base/kparallel.h"
#include "fcurve/kfcurvegroup.h"
#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxread_nodefill_private.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

KQoxRead6::NodeFill::NodeFill(KQoxRead6& read)
    : mRead(read)
    , mThreads(KDefaultThreads(kNodeFillThreads))
{}

KQoxRead6::NodeFill::~NodeFill()
{
    Finish();
    EndScouts();
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopping = true;
    }
    mChanged.notify_all();
    mWorkers.Wait();
}

std::unique_ptr<KQoxRead6::NodeFill> KQoxRead6::NodeFill::Make(KQoxRead6& read)
{
    // Readers are split off plain binary files only.
    if (read.mDepth > 0 || !sSideBySide || !read.mFile.IsBinary() || read.mFile.IsEncrypted() ||
        read.mFile.FieldReadGetRecordCount() < sSideBySideRecords || KDefaultThreads(kNodeFillThreads) < 2)
        return nullptr;
    std::unique_ptr<NodeFill> fill(new NodeFill(read));
    fill->StartScouts();
    return fill;
}

void KQoxRead6::NodeFill::StartScouts()
{
    const int count = mRead.mFile.FieldReadGetRecordCount();
    for (int first = 0; first < count; first += kScoutRecords)
    {
        std::unique_ptr<Scout> scout(new Scout);
        scout->mFirst = first;
        const int records = std::min(kScoutRecords, count - first);
        if (!mRead.mFile.FieldReadSplit(scout->mPart, first, records))
            break;
        mScouts.push_back(std::move(scout));
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (std::unique_ptr<Scout>& scout : mScouts)
            mScoutQueue.push_back(scout.get());
    }
    StartWorkers();
    mChanged.notify_all();
}

void KQoxRead6::NodeFill::RunScout(Scout& scout)
{
    IQoxObject& part = scout.mPart;
    const int count = part.FieldReadGetRecordCount();
    scout.mRecords.resize(static_cast<size_t>(count));
    for (int i = 0; i < count && mRead.Ok(part); ++i)
    {
        const char* kind = part.FieldReadGetRecordName(i);
        if (!kind || std::strcmp(kind, kModel) != 0)
            continue;
        if (!part.FieldReadBegin(kModel))
            break;
        ScoutedRecord& record = scout.mRecords[static_cast<size_t>(i)];
        if (part.FieldReadBlockBegin())
        {
            record.mNode = true;
            const int lists = part.FieldReadGetCount(kUserProperties);
            record.mShape = part.FieldReadGetCount(kNodeAttribute) == 0 && lists <= 1;
            record.mNames = scout.mNames.size();
            if (record.mShape && lists == 1 && part.FieldReadBegin(kUserProperties))
            {
                if (part.FieldReadBlockBegin())
                {
                    while (part.FieldReadBegin(kUserProperty))
                    {
                        const char* name = part.FieldReadC();
                        scout.mNames.insert(scout.mNames.end(), name, name + std::strlen(name) + 1);
                        ++record.mCount;
                        part.FieldReadEnd();
                    }
                    part.FieldReadBlockEnd();
                }
                part.FieldReadEnd();
            }
            part.FieldReadBlockEnd();
        }
        part.FieldReadEnd();
    }
}

bool KQoxRead6::NodeFill::Scouted(int record, KQoxNode& node, bool& plain) const
{
    const size_t chunk = static_cast<size_t>(record / kScoutRecords);
    if (record < 0 || chunk >= mScouts.size() || !mScouts[chunk]->mDone.load(std::memory_order_acquire) ||
        mScouts[chunk]->mFailed)
        return false;
    const Scout& scout = *mScouts[chunk];
    const ScoutedRecord& found = scout.mRecords[static_cast<size_t>(record - scout.mFirst)];
    if (!found.mNode)
        return false;
    plain = found.mShape;
    const char* name = scout.mNames.data() + found.mNames;
    for (int i = 0; plain && i < found.mCount; ++i, name += std::strlen(name) + 1)
        plain = HasUserProperty(node, node.GetPropertyHandler(), name);
    return true;
}

void KQoxRead6::NodeFill::EndScouts()
{
    std::unique_lock<std::mutex> lock(mMutex);
    // Those not started read nothing but their first bytes: dropped.
    for (Scout* scout : mScoutQueue)
        scout->mPart.ProjectClose();
    mScoutQueue.clear();
    mScouted.wait(lock, [this] {
        return std::all_of(mScouts.begin(), mScouts.end(), [](const std::unique_ptr<Scout>& scout) {
            return !scout->mStarted || scout->mDone.load(std::memory_order_acquire);
        });
    });
    for (std::unique_ptr<Scout>& scout : mScouts)
        if (scout->mStarted && !mRead.mFile.FieldReadJoin(scout->mPart))
            mRead.mCorrupted = true;
    mScouts.clear();
}

void KQoxRead6::NodeFill::Add(int record, KQoxNode* node)
{
    mOpen.push_back({record, node});
    if (mOpen.size() >= kNodeFillBatch)
        Close();
}

void KQoxRead6::NodeFill::Close()
{
    if (mOpen.empty())
        return;
    JoinDone();
    std::unique_ptr<Batch> batch(new Batch);
    batch->mNodes.swap(mOpen);
    batch->mFirst = batch->mNodes.front().first;
    const int count = batch->mNodes.back().first - batch->mFirst + 1;
    if (!mRead.mFile.FieldReadSplit(batch->mPart, batch->mFirst, count))
    {
        // Read as damage: the file read here split before.
        mRead.mCorrupted = true;
        return;
    }
    StartWorkers();
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQueue.push_back(batch.get());
        mBatches.push_back(std::move(batch));
    }
    mChanged.notify_one();
}

void KQoxRead6::NodeFill::StartWorkers()
{
    // The reading thread reads the section on: helpers read the blocks.
    if (mWorkersAsked)
        return;
    mWorkersAsked = true;
    for (int i = 0; i + 1 < mThreads; ++i)
        if (!mWorkers.Start([this] { Work(); }))
            break;
}

void KQoxRead6::NodeFill::Work()
{
    // The channel trees made here come from slabs (see KFCurveGroupSlabs).
    KFCurveGroupSlabs slabs;
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;)
    {
        mChanged.wait(lock, [this] { return mStopping || !mQueue.empty() || !mScoutQueue.empty(); });
        // Scouts first: the reading thread gains from them only ahead of it.
        if (!mScoutQueue.empty())
        {
            Scout* scout = mScoutQueue.front();
            mScoutQueue.pop_front();
            scout->mStarted = true;
            lock.unlock();
            try
            {
                RunScout(*scout);
            }
            catch (...)
            {
                // Found nothing usable, and the read is to fail.
                scout->mFailed = true;
                mFailure.Keep();
            }
            lock.lock();
            scout->mDone.store(true, std::memory_order_release);
            mScouted.notify_all();
            continue;
        }
        if (mQueue.empty())
            return;
        Batch* batch = mQueue.front();
        mQueue.pop_front();
        lock.unlock();
        try
        {
            Fill(*batch);
        }
        catch (...)
        {
            mFailure.Keep();
        }
        lock.lock();
        batch->mDone = true;
        mFinished.notify_all();
    }
}

void KQoxRead6::NodeFill::Fill(Batch& batch)
{
    IQoxObject& part = batch.mPart;
    size_t next = 0;
    const int count = part.FieldReadGetRecordCount();
    for (int i = 0; i < count && next < batch.mNodes.size() && mRead.Ok(part); ++i)
    {
        // Other records are the reading thread's; nodes it read itself are
        // passed over.
        const char* kind = part.FieldReadGetRecordName(i);
        if (!kind || std::strcmp(kind, kModel) != 0)
            continue;
        if (!part.FieldReadBegin(kModel))
            break;
        if (batch.mFirst + i == batch.mNodes[next].first)
        {
            KQoxNode& node = *batch.mNodes[next++].second;
            int pivotEnabled = -1;
            if (part.FieldReadBlockBegin())
            {
                mRead.ReadNodeBlock(part, node, pivotEnabled);
                part.FieldReadBlockEnd();
            }
            part.FieldReadEnd();
            mRead.FinishNode(node, pivotEnabled);
            continue;
        }
        part.FieldReadEnd();
    }
}

void KQoxRead6::NodeFill::JoinDone()
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto done = std::stable_partition(mBatches.begin(), mBatches.end(),
                                      [](const std::unique_ptr<Batch>& batch) { return batch->mDone; });
    for (auto it = mBatches.begin(); it != done; ++it)
        if (!mRead.mFile.FieldReadJoin((*it)->mPart))
            mRead.mCorrupted = true;
    mBatches.erase(mBatches.begin(), done);
}

void KQoxRead6::NodeFill::Drain()
{
    Finish();
    mFailure.Rethrow();
}

void KQoxRead6::NodeFill::End()
{
    Finish();
    EndScouts();
    mFailure.Rethrow();
}

void KQoxRead6::NodeFill::Finish()
{
    Close();
    // This thread reads what is left, then waits for the others.
    for (;;)
    {
        Batch* batch = nullptr;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (mQueue.empty())
                break;
            batch = mQueue.front();
            mQueue.pop_front();
        }
        try
        {
            KFCurveGroupSlabs slabs;
            Fill(*batch);
        }
        catch (...)
        {
            mFailure.Keep();
        }
        std::lock_guard<std::mutex> lock(mMutex);
        batch->mDone = true;
    }
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mFinished.wait(lock, [this] {
            return std::all_of(mBatches.begin(), mBatches.end(),
                               [](const std::unique_ptr<Batch>& batch) { return batch->mDone; });
        });
    }
    JoinDone();
}

} // namespace qoxsdk_600
