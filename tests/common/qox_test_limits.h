// Work run under an address-space limit, for tests of what happens when
// memory runs out. Each run is a new process of the test binary itself (so
// that it inherits no free heap of the test's process, which the limit would
// not bound), told by the environment what to do: a test file names its
// kinds of work with QOX_TEST_LIMITED_WORK, and RunUnderLimits runs one kind
// under limits stepped up from what the new process holds.
#ifndef QOX_TESTS_COMMON_QOX_TEST_LIMITS_H
#define QOX_TESTS_COMMON_QOX_TEST_LIMITS_H

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "common/qox_test_run.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QOX_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QOX_TEST_SANITIZED 1
#endif
#endif

// Skips a test that sets an address-space limit: a sanitizer's runtime does
// not run under one.
#ifdef QOX_TEST_SANITIZED
#define QOX_SKIP_UNDER_SANITIZERS() GTEST_SKIP() << "a sanitizer's runtime does not run under an address-space limit"
#else
#define QOX_SKIP_UNDER_SANITIZERS() (void)0
#endif

namespace qoxtest {

// The address space this process holds now, in bytes.
inline rlim_t AddressSpaceNow()
{
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// One kind of work: false when it failed, error its text. Work calls Bound
// once it has set up what is not to be bounded (or at once).
using LimitedWork = std::function<bool(const char* path, std::string& error)>;

// The room a run has above what it holds when bounded, in KB.
inline unsigned long& LimitedRoom()
{
    static unsigned long room = 0;
    return room;
}

// Limits the address space to what the process holds now and its room.
inline void Bound()
{
    const rlim_t limit = AddressSpaceNow() + static_cast<rlim_t>(LimitedRoom()) * 1024;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

inline std::map<std::string, LimitedWork>& LimitedKinds()
{
    static std::map<std::string, LimitedWork> kinds;
    return kinds;
}

constexpr char kLimitedVariable[] = "QOX_TEST_LIMITED"; // "kind room-in-KB path"
constexpr int kLimitedDone = 0;
constexpr int kLimitedFailed = 10;

// In a process started by RunUnderLimits: the work, told by the exit code
// (the error's text on stderr), before any test runs.
class LimitedRun : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const char* spec = std::getenv(kLimitedVariable);
        if (!spec)
            return;
        char kind[16] = {};
        int at = 0;
        if (std::sscanf(spec, "%15s %lu %n", kind, &LimitedRoom(), &at) != 2 || !LimitedKinds().count(kind))
            _exit(2);
        std::string error;
        const bool done = LimitedKinds()[kind](spec + at, error);
        std::fprintf(stderr, "%s", error.c_str());
        _exit(done ? kLimitedDone : kLimitedFailed);
    }
};

// Names kinds of work (once per test binary, at static initialisation).
inline bool AddLimitedWork(const std::map<std::string, LimitedWork>& kinds)
{
    static ::testing::Environment* const run = ::testing::AddGlobalTestEnvironment(new LimitedRun);
    (void)run;
    for (const auto& kind : kinds)
        LimitedKinds()[kind.first] = kind.second;
    return true;
}

// What runs of a kind under limits stepped from 0 to steps * step bytes
// above a new process's own address space came to: how many were done, how
// many failed with each error text ("failed: <text>"); a process that died is
// a test failure. after(done) runs after each.
struct LimitedOutcomes
{
    int mDone = 0;
    std::map<std::string, int> mFailed;

    std::string Describe() const
    {
        std::string seen = std::to_string(mDone) + " done";
        for (const auto& failed : mFailed)
            seen += ", " + std::to_string(failed.second) + " " + failed.first;
        return seen;
    }
};

inline LimitedOutcomes RunUnderLimits(
    const char* kind, const std::string& path, rlim_t step, int steps,
    const std::function<void(bool)>& after = [](bool) {})
{
    LimitedOutcomes outcomes;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    for (int s = 0; s <= steps; ++s)
    {
        // This test's own binary, run again with the work to do.
        const std::string spec = std::string(kind) + " " + std::to_string(s * step / 1024) + " " + path;
        Command command;
        command.mArguments = {"/proc/" + std::to_string(getpid()) + "/exe", "--gtest_filter=" + filter};
        command.mEnvironment = {std::string(kLimitedVariable) + "=" + spec};
        command.mOutput = "/dev/null";
        const Outcome child = Run(command);
        const std::string& error = child.mErr;
        const bool done = child.mExit == kLimitedDone;
        EXPECT_TRUE(done || child.mExit == kLimitedFailed)
            << kind << " limit step " << s << ": exit " << child.mExit << " " << error;
        if (done)
            ++outcomes.mDone;
        else if (child.mExit == kLimitedFailed)
            ++outcomes.mFailed["failed: " + error];
        after(done);
    }
    return outcomes;
}

} // namespace qoxtest

#endif
