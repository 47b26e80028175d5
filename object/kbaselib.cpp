#include "object/kbaselib.h"

#include "base/kmemorypool.h"
#include "object/kclassid.h"

namespace {
int KBaseLib_RefCount = 0;
}

bool KBaseLib_Init()
{
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
    return KBaseLib_RefCount;
}
