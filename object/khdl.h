#ifndef QOX_OBJECT_KHDL_H
#define QOX_OBJECT_KHDL_H

// Weak handles to plugs and the process-wide handle table.
//
// Every plug owns one entry of the table for its whole life. A handle is the
// entry pointer plus the serial the entry carried when the handle was taken;
// it names the plug while the entry still carries that serial and reads as
// null once the plug is destroyed (the entry's serial is overwritten with the
// dead marker, and a later plug that reuses the entry gets a new serial).
//
// Entry blocks are never returned to the system: when the table itself is
// destroyed its blocks are kept, every entry dead, and handed to the next
// table. So a handle may be read at any time, even after the table is gone;
// it then reads as null.

#include <pthread.h>
#include <cstdint>
#include <memory>

#include "base/karray.h"

class KPlug;

// Serial of a free entry.
const uint32_t GlobalPlugDeadId = 0x5A5A5A5Au;

// One entry of the handle table: the serial, then the plug while the entry is
// in use or the next free entry while it is free.
struct KHdlEntry
{
    uint32_t mSerial;
    union
    {
        KPlug* mPlug;
        KHdlEntry* mNext;
    };
};

// The handle table.
class KHdlManager
{
public:
    // Entries per block.
    enum
    {
        kBlockEntries = 1024
    };

    KHdlManager();
    ~KHdlManager();

    KHdlManager(const KHdlManager&) = delete;
    KHdlManager& operator=(const KHdlManager&) = delete;

    // An entry set to { serial, plug }.
    KHdlEntry* AllocateHdl(KPlug* plug, uint32_t serial);
    // Gives back the plug's entry and clears the plug's entry pointer; nothing
    // when the entry is already free or belongs to another plug.
    void FreeHdl(KPlug* plug);

    // Creates the recursive mutex (once) and switches to multithread mode.
    void InitMutex();
    bool IsMultithread() const { return mMultithread; }
    int GetBlockCount() const { return mBlocks.GetCount(); }

private:
    void Lock();
    void Unlock();
    void AddBlock();

    KArrayTemplate<KHdlEntry*> mBlocks;
    KHdlEntry* mFreeList = nullptr;
    std::unique_ptr<pthread_mutex_t> mMutex;
    bool mMultithread = false;
};

// The table, created on first call (and again after it was destroyed).
KHdlManager* GetGlobal_ObjectHdlManager();
// Counts one user of the table's multithread mode; the first one creates the
// table's mutex.
void HdlManagerInitMultithread();
// Drops one user; the last one destroys the table.
void HdlManagerCloseMultithread();
// Number of users of the multithread mode.
int HdlManagerGetUserCount();
// Whether the table currently exists.
bool HdlManagerExists();

// Next plug serial: 1, 2, 3, ... (0 and the dead marker are skipped).
uint32_t HdlNextSerial();

// Weak handle to a plug.
class HdlKPlug
{
public:
    constexpr HdlKPlug()
        : mSerial(0)
        , mEntry(nullptr)
    {}
    constexpr HdlKPlug(uint32_t serial, KHdlEntry* entry)
        : mSerial(serial)
        , mEntry(entry)
    {}
    // Handle of the plug's current entry and serial; empty for null.
    HdlKPlug(const KPlug* plug);

    // The plug, or null when it no longer exists.
    KPlug* Get() const { return (mEntry && mEntry->mSerial == mSerial) ? mEntry->mPlug : nullptr; }
    KPlug* operator->() const { return Get(); }
    bool IsValid() const { return Get() != nullptr; }
    bool IsEmpty() const { return mEntry == nullptr && mSerial == 0; }

    bool operator==(const HdlKPlug& o) const { return mSerial == o.mSerial && mEntry == o.mEntry; }
    bool operator!=(const HdlKPlug& o) const { return !(*this == o); }

    uint32_t GetSerial() const { return mSerial; }
    KHdlEntry* GetEntry() const { return mEntry; }

protected:
    uint32_t mSerial;
    KHdlEntry* mEntry;
};

#endif
