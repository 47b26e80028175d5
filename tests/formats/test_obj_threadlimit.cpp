// A large OBJ file read and written again at thread limits 1, 2, the
// default, on one processor and at 5: the helpers taken stay within the
// limit, are made once and reused (counted by the pool and in
// /proc/self/task, in a forked child whose pool starts empty), and the text
// written is the same at every limit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/kthreadlimit.h"
#include "base/kthreadpool_private.h"
#include "common/qox_test_common.h"
#include "common/qox_test_threads.h"
#include "obj_test_util.h"

using qoxtest::InChild;
using qoxtest::ReadFile;
using qoxtest::TaskCount;
using qoxtest::TempDir;

namespace {

// Over two of the reader's 8 MiB blocks, runs long enough to be read in
// portions and a mesh large enough to be gathered and written in slices.
std::string LargeObj()
{
    std::string text;
    const int points = 300000;
    char line[96];
    for (int i = 0; i < points; ++i)
    {
        std::snprintf(line, sizeof line, "v %d.25 %d -0.%03d\nvt 0.%d 0.%d\n", i % 1009, i / 1009, i % 1000, i % 10,
                      i % 7);
        text += line;
    }
    text += "g part\n";
    for (int i = 1; i + 2 <= points; i += 3)
    {
        std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\n", i, i, i + 1, i + 1, i + 2, i + 2);
        text += line;
    }
    return text;
}

// In a child: path read and written again to again at limit (0: the
// default; pin: pinned to one processor first); the faults found.
std::string ReadAndWriteAt(const std::string& path, const std::string& again, int limit, bool pin)
{
    if (pin && !qoxtest::PinToOneProcessor())
        return "cannot pin to one processor\n";
    KSetThreadLimit(limit);
    const int inForce = KGetThreadLimit();
    std::string faults;
    if (pin && inForce != 1)
        faults += "limit " + std::to_string(inForce) + " on one processor\n";
    objtest::ObjRead r(path);
    if (!r.ok)
        return "cannot read: " + r.message + "\n";
    const long long readJobs = KThreadPoolGetCounts().mJobs;
    if (!objtest::WriteScene(*r.manager, r.scene, again))
        faults += "cannot write\n";
    const KThreadPoolCounts counts = KThreadPoolGetCounts();
    const std::string at = " at limit " + std::to_string(inForce) + "\n";
    if (counts.mWorkers > inForce - 1 || counts.mPeakBusy > inForce - 1)
        faults +=
            std::to_string(counts.mWorkers) + " helpers made, " + std::to_string(counts.mPeakBusy) + " at once" + at;
    if (TaskCount() > 1 + counts.mWorkers + qoxtest::kRuntimeThreads)
        faults += std::to_string(TaskCount()) + " threads" + at;
    if (inForce > 1 && (readJobs == 0 || counts.mJobs == readJobs))
        faults += "read or written without helpers" + at;
    if (counts.mJobs > 0 && counts.mJobs <= counts.mWorkers)
        faults += "a helper made for each job" + at;
    return faults;
}

} // namespace

TEST(ObjThreadLimit, ReadsAndWritesStayWithinTheLimitAndAgree)
{
    if (std::getenv("QOX_THREADS"))
        GTEST_SKIP() << "QOX_THREADS is set";
    TempDir dir;
    const std::string path = dir.File("large.obj");
    ASSERT_TRUE(qoxtest::WriteFile(path, LargeObj()));
    struct Setting
    {
        int mLimit;
        bool mPin;
        const char* mTag;
    };
    const Setting settings[] = {
        {1, false, "1"}, {2, false, "2"}, {0, false, "default"}, {0, true, "pinned"}, {5, false, "5"}};
    for (const Setting& s : settings)
        EXPECT_EQ(InChild([&] {
                      return ReadAndWriteAt(path, dir.File(std::string("again_") + s.mTag + ".obj"), s.mLimit, s.mPin);
                  }),
                  "")
            << s.mTag;
    bool ok = false;
    const std::string expected = ReadFile(dir.File("again_1.obj"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_GT(expected.size(), size_t(1) << 20);
    for (const Setting& s : settings)
        EXPECT_TRUE(ReadFile(dir.File(std::string("again_") + s.mTag + ".obj")) == expected) << s.mTag;
}
