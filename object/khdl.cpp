#include "object/khdl.h"

#include <atomic>
#include <cstdlib>

#include "object/kplug.h"

namespace {

// The table and its users (all constant-initialised, so no start-up order matters).
KHdlManager* Global_ObjectHdlManager = nullptr;
int GlobalHdlManagerCount = 0;
std::atomic<uint32_t> GlobalPlugId(0);

// Blocks of destroyed tables: every entry dead, kept so that old handles stay
// readable, and reused by the next table. Chained through entry 0.
KHdlEntry* RetiredBlocks = nullptr;

} // namespace

uint32_t HdlNextSerial()
{
    for (;;)
    {
        uint32_t serial = ++GlobalPlugId;
        // 0 is the empty handle's serial and the dead marker names free entries.
        if (serial != 0 && serial != GlobalPlugDeadId)
            return serial;
    }
}

KHdlManager::KHdlManager()
    : mBlocks(16)
{}

KHdlManager::~KHdlManager()
{
    // Outstanding handles may still point into the blocks: mark every entry
    // dead and keep the blocks for the next table instead of freeing them.
    for (int i = 0; i < mBlocks.GetCount(); ++i)
    {
        KHdlEntry* block = mBlocks[i];
        for (int e = 0; e < kBlockEntries; ++e)
            block[e].mSerial = GlobalPlugDeadId;
        block[0].mNext = RetiredBlocks;
        RetiredBlocks = block;
    }
    mBlocks.Clear();
    if (mMutex)
        pthread_mutex_destroy(mMutex.get());
}

void KHdlManager::Lock()
{
    if (mMutex)
        pthread_mutex_lock(mMutex.get());
}

void KHdlManager::Unlock()
{
    if (mMutex)
        pthread_mutex_unlock(mMutex.get());
}

void KHdlManager::InitMutex()
{
    if (mMutex)
        return;
    auto mutex = std::make_unique<pthread_mutex_t>();
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex.get(), &attr);
    pthread_mutexattr_destroy(&attr);
    mMutex = std::move(mutex);
    mMultithread = true;
}

void KHdlManager::AddBlock()
{
    KHdlEntry* block = RetiredBlocks;
    if (block)
        RetiredBlocks = block[0].mNext;
    else
        block = new KHdlEntry[kBlockEntries]; // never freed: retired blocks serve stale handles
    for (int e = 0; e < kBlockEntries; ++e)
    {
        block[e].mSerial = GlobalPlugDeadId;
        block[e].mNext = (e + 1 < kBlockEntries) ? &block[e + 1] : mFreeList;
    }
    mBlocks.Add(block);
    mFreeList = &block[0];
}

KHdlEntry* KHdlManager::AllocateHdl(KPlug* plug, uint32_t serial)
{
    Lock();
    if (!mFreeList)
        AddBlock();
    KHdlEntry* entry = mFreeList;
    mFreeList = entry->mNext;
    entry->mPlug = plug;
    entry->mSerial = serial;
    Unlock();
    return entry;
}

void KHdlManager::FreeHdl(KPlug* plug)
{
    Lock();
    KHdlEntry* entry = plug->mHandle;
    if (entry && entry->mSerial != GlobalPlugDeadId && entry->mPlug == plug)
    {
        entry->mSerial = GlobalPlugDeadId;
        entry->mNext = mFreeList;
        mFreeList = entry;
        plug->mHandle = nullptr;
    }
    Unlock();
}

KHdlManager* GetGlobal_ObjectHdlManager()
{
    if (!Global_ObjectHdlManager)
        Global_ObjectHdlManager = new KHdlManager();
    return Global_ObjectHdlManager;
}

void HdlManagerInitMultithread()
{
    if (GlobalHdlManagerCount == 0)
        GetGlobal_ObjectHdlManager()->InitMutex();
    ++GlobalHdlManagerCount;
}

void HdlManagerCloseMultithread()
{
    if (GlobalHdlManagerCount <= 0)
        return;
    if (--GlobalHdlManagerCount == 0)
    {
        delete Global_ObjectHdlManager;
        Global_ObjectHdlManager = nullptr;
    }
}

int HdlManagerGetUserCount()
{
    return GlobalHdlManagerCount;
}

bool HdlManagerExists()
{
    return Global_ObjectHdlManager != nullptr;
}

HdlKPlug::HdlKPlug(const KPlug* plug)
    : mSerial(0)
    , mEntry(nullptr)
{
    if (plug && plug->mHandle)
    {
        mEntry = plug->mHandle;
        mSerial = mEntry->mSerial;
    }
}
