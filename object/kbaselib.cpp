#include "object/kbaselib.h"

#include "base/kmemorypool.h"
#include "object/kclassid.h"

#include <mutex>

namespace {
// Users of the library on any thread: the count, the start and the shutdown
// change together under one lock.
std::mutex KBaseLib_Lock;
int KBaseLib_RefCount = 0;
} // namespace

bool KBaseLib_Init()
{
    std::lock_guard<std::mutex> lock(KBaseLib_Lock);
    if (KBaseLib_RefCount == 0)
    {
        KPlug_Init();
        KMemoryReusePool::InitAll();
    }
    ++KBaseLib_RefCount;
    return true;
}

void KBaseLib_Terminate()
{
    std::lock_guard<std::mutex> lock(KBaseLib_Lock);
    // An unmatched call would drive the count below zero and shut down twice.
    if (KBaseLib_RefCount <= 0)
        return;
    if (--KBaseLib_RefCount == 0)
    {
        KMemoryReusePool::DestroyAll();
        KPlug_Terminate();
    }
}

int KBaseLib_GetRefCount()
{
    std::lock_guard<std::mutex> lock(KBaseLib_Lock);
    return KBaseLib_RefCount;
}
