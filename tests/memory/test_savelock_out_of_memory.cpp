// The turn a save takes when memory is short: taking it fails for memory,
// or holds it, and never lets an exception out.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/ksavelock.h"
#include "common/qox_test_common.h"
#include "memory_test_util.h"

using qoxtest::AllocationFailure;

namespace {

// The files of the save, made before the sweep arms (its children copy them).
std::vector<std::string> gFiles;

int TakeTheTurn(std::string& text)
{
    KSaveLock lock;
    errno = 0;
    if (lock.Take(gFiles))
        return qoxtest::kWorkDone;
    if (errno == ENOMEM)
        return qoxtest::kWorkOutOfMemory;
    text = "failed with errno " + std::to_string(errno);
    return qoxtest::kWorkFailed;
}

} // namespace

TEST(SaveLockOutOfMemory, TakingATurnFailsForMemoryOrHoldsIt)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    qoxtest::TempDir dir;
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("scene.obj"), "old"));
    gFiles = {dir.File("scene.obj"), dir.File("scene.mtl"), dir.File("texture.png")};
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
    {
        const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(TakeTheTurn, mode);
        qoxtest::ExpectEveryRunEndsWell(outcome, mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
    }
}
