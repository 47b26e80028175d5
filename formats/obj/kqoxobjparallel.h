#ifndef QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H
#define QOX_FORMATS_OBJ_KQOXOBJPARALLEL_H

// Threads for the OBJ reader's and writer's file-sized loops: a few portions
// of work run at once, each on its own thread.

#include <cstddef>

#include "base/kparallel.h"

namespace qoxsdk_600 {

// Threads used at most by default: the processors there are, up to four.
inline int ObjDefaultThreads()
{
    return KDefaultThreads(4);
}

// Portions of work cut per thread: a thread the system holds back leaves
// its portions to the others instead of holding up all of them.
constexpr size_t kObjPortionsPerThread = 4;

} // namespace qoxsdk_600

#endif
