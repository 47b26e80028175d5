#ifndef QOX_OBJECT_KREGISTRYLOCK_H
#define QOX_OBJECT_KREGISTRYLOCK_H

#include <mutex>

// Holds the lock of a process-wide table for a scope. The thread that holds
// it may take it again: registering builds objects that look the table up,
// and a plug-in's start-up registers in turn. Each table keeps its own
// mutex and a thread_local count of how deep its thread holds it; both are
// constant-initialised, so a table may be used from any unit's static
// initialisation and until the very end of the process.
class KRegistryLock
{
public:
    KRegistryLock(std::mutex& mutex, int& depth)
        : mMutex(mutex)
        , mDepth(depth)
    {
        if (mDepth++ == 0)
            mMutex.lock();
    }
    ~KRegistryLock()
    {
        if (--mDepth == 0)
            mMutex.unlock();
    }

    KRegistryLock(const KRegistryLock&) = delete;
    KRegistryLock& operator=(const KRegistryLock&) = delete;

private:
    std::mutex& mMutex;
    int& mDepth;
};

#endif
