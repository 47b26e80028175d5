// Helpers shared by every test suite: a private temporary directory, whole-file
// reads and writes, and the time constants tests work with.
#ifndef QOX_TESTS_COMMON_QOX_TEST_COMMON_H
#define QOX_TESTS_COMMON_QOX_TEST_COMMON_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace qoxtest {

// Ticks of one second and of one frame at the common rates.
constexpr long long kTicksPerSecond = 46186158000LL;
constexpr long long kTicksPerFrame30 = kTicksPerSecond / 30;
constexpr long long kTicksPerFrame24 = kTicksPerSecond / 24;

// A fresh directory under the temporary directory, removed with its contents
// (symbolic links inside are removed, never followed).
class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qox_test_XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const char* made = mkdtemp(buffer.data());
        if (made)
            mPath = made;
        else
            ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Empty when the directory could not be made (the test has failed then).
    const std::string& Path() const { return mPath; }
    std::string File(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// The whole file as bytes; empty and `ok` false when it cannot be read.
inline std::string ReadFile(const std::string& path, bool* ok = nullptr)
{
    std::string data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (ok)
        *ok = f != nullptr;
    if (!f)
        return data;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, n);
    std::fclose(f);
    return data;
}

// Writes `data` as the whole file; false when it cannot be written.
inline bool WriteFile(const std::string& path, const std::string& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace qoxtest

#endif
