// A file looked for from the working folder with allocations failing at
// every point in turn (memory_test_util.h): the file is found, as written,
// with its letters in another case or by its base name, or std::bad_alloc is
// thrown; a lack of memory never reads as "no such file".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <new>
#include <string>

#include "base/kpath.h"
#include "common/qox_test_common.h"
#include "memory_test_util.h"

using qoxtest::AllocationFailure;

namespace {

void SweepFinds(AllocationFailure mode)
{
    qoxtest::TempDir dir;
    // A working folder whose path no short text holds.
    const std::string folder = qoxtest::MakeLongPathFolder(dir.Path());
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(qoxtest::WriteFile(folder + "/tex.png", "image"));
    const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
        [&](std::string& text) {
            qoxtest::DisarmAllocations();
            const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (back < 0 || chdir(folder.c_str()) != 0)
                return qoxtest::kWorkFailed;
            std::string asWritten, anyCase, baseName;
            int outcome = qoxtest::kWorkDone;
            qoxtest::ResumeAllocations();
            try
            {
                // From the working folder (no folder given) and from a
                // relative one.
                const KString a = KFindFileAsWritten("", "tex.png");
                const KString b = KFindFileFrom(".", "TEX.png");
                const KString c = KFindFileFrom(".", "C:\\Users\\me\\TEX.png");
                qoxtest::DisarmAllocations();
                asWritten = a.ToChars();
                anyCase = b.ToChars();
                baseName = c.ToChars();
            }
            catch (const std::bad_alloc&)
            {
                outcome = qoxtest::kWorkOutOfMemory;
            }
            qoxtest::DisarmAllocations();
            const bool returned = fchdir(back) == 0;
            close(back);
            if (outcome == qoxtest::kWorkDone &&
                (asWritten != folder + "/tex.png" || anyCase != asWritten || baseName != asWritten))
            {
                text = "found \"" + asWritten + "\", \"" + anyCase + "\" and \"" + baseName + "\"";
                return qoxtest::kWorkFailed;
            }
            return returned ? outcome : qoxtest::kWorkFailed;
        },
        mode);
    qoxtest::ExpectEveryRunEndsWell(outcome, mode == AllocationFailure::eOnlyAt ? "only the Nth" : "from the Nth on");
}

} // namespace

TEST(PathsOutOfMemory, OnlyTheNthAllocationFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepFinds(AllocationFailure::eOnlyAt);
}

TEST(PathsOutOfMemory, EveryAllocationFromTheNthOnFails)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    SweepFinds(AllocationFailure::eFromOn);
}
