// Helpers shared by the base tests (beside the common temporary directory and
// whole-file helpers): an address-space cap for failed-allocation cases,
// vector and matrix checks.
#ifndef QOX_TESTS_BASE_TEST_UTIL_H
#define QOX_TESTS_BASE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "base/kchainedfile.h"
#include "base/kstagedfiles.h"
#include "common/qox_test_common.h"
#include "common/qox_test_limits.h"

namespace qoxtest {

// Writes text to a file of the set made for target; false when it cannot.
inline bool WriteStaged(KStagedFiles& files, const std::string& target, const std::string& text)
{
    FILE* file = files.Create(target.c_str());
    if (!file)
        return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}


// True for anything at the path, a dangling link included.
inline bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A fixture with a temporary directory and one file name in it.
class FileTest : public ::testing::Test
{
protected:
    std::string Slurp() const { return ReadFile(mName); }
    void Spit(const std::string& data) const { ASSERT_TRUE(WriteFile(mName, data)) << mName; }

    TempDir mDir;
    std::string mName = mDir.File("data.bin");
};

// A bottom layer for stacking file layers: it opens a disk or memory file itself.
inline KChainedFile* NewBottom()
{
    return new KChainedFile(0, nullptr, KChainedFile::eClosed, false);
}

// Caps the address space a little above the current use, so that a huge
// allocation fails instead of succeeding through overcommit. Death-test children only.
inline void CapAddressSpace()
{
    const rlim_t limit = AddressSpaceNow() + (256u << 20);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

// v[0], v[1], ... agree with the expected values within tol.
inline void ExpectNear(const double* v, std::initializer_list<double> expected, double tol = 1e-12)
{
    int i = 0;
    for (double e : expected)
    {
        EXPECT_NEAR(v[i], e, tol) << "component " << i;
        ++i;
    }
}

// Rows 0 to rows - 1, columns 0 to 2 agree within tol: rows 3 compares the 3x3
// part, rows 4 the affine part.
inline void ExpectMatrixNear(const double (*a)[4], const double (*b)[4], double tol = 1e-12, int rows = 3)
{
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a[r][c], b[r][c], tol) << "element " << r << "," << c;
}

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kIdentity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

// Every element set to a recognisable value, to see which ones a kernel writes.
inline void FillSentinel(double (*m)[4], double value = 77.0)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = value;
}

} // namespace qoxtest

#endif // QOX_TESTS_BASE_TEST_UTIL_H
