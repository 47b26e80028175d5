// Helpers shared by every test suite: a private temporary directory, whole-file
// reads and writes, a working folder for a while, the time constants tests
// work with, and a system out of threads.
#ifndef QOX_TESTS_COMMON_QOX_TEST_COMMON_H
#define QOX_TESTS_COMMON_QOX_TEST_COMMON_H

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace qoxtest {

// The lines of text, each with its line break (the last may have none).
inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size())
    {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// The lines put back together.
inline std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}


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
        if (mPath.empty())
            return;
        // A folder a test closed (mode 0555, 0) is opened to its owner
        // first, so that nothing stays behind.
        std::error_code error;
        std::filesystem::remove_all(mPath, error);
        if (error)
        {
            Open(mPath);
            std::filesystem::remove_all(mPath, error);
        }
        if (error)
            ADD_FAILURE() << "cannot remove the temporary directory " << mPath << ": " << error.message();
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Empty when the directory could not be made (the test has failed then).
    const std::string& Path() const { return mPath; }
    std::string File(const std::string& name) const { return mPath + "/" + name; }

private:
    // Every folder of the tree at path (links not followed) readable,
    // writable and searchable by its owner.
    static void Open(const std::string& path)
    {
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return;
        chmod(path.c_str(), (status.st_mode & 07777) | S_IRWXU);
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
            Open(entry.path().string());
    }

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

// While alive, the working folder is folder; the one before comes back
// after. The way back goes through a descriptor of that folder, not its
// path, so that it works where the folders above it may not be entered (the
// process became another user, the tree lies in a home only its owner may
// enter). Nothing here throws or allocates; Moved() tells whether folder
// was entered.
class WorkingFolder
{
public:
    explicit WorkingFolder(const std::string& folder)
        : mBack(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC))
    {
        mMoved = mBack >= 0 && chdir(folder.c_str()) == 0;
    }
    ~WorkingFolder()
    {
        if (mMoved && fchdir(mBack) != 0)
            ADD_FAILURE() << "cannot go back to the working folder";
        if (mBack >= 0)
            close(mBack);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    bool Moved() const { return mMoved; }

private:
    int mBack;
    bool mMoved = false;
};

// While alive, no new thread can be had, as on a system out of threads:
// new threads ask for a stack larger than the address space, so starting
// one fails. Active() is false where this cannot be arranged (the test
// then skips).
class NoNewThreads
{
public:
    NoNewThreads()
    {
        pthread_attr_t attributes;
        if (pthread_getattr_default_np(&attributes) != 0)
            return;
        pthread_attr_getstacksize(&attributes, &mStackSize);
        bool set = pthread_attr_setstacksize(&attributes, size_t(1) << 52) == 0 &&
                   pthread_setattr_default_np(&attributes) == 0;
        pthread_attr_destroy(&attributes);
        if (!set)
            return;
        mChanged = true;
        try
        {
            std::thread([] {}).join();
        }
        catch (const std::system_error&)
        {
            mActive = true;
        }
    }
    ~NoNewThreads()
    {
        pthread_attr_t attributes;
        if (mChanged && pthread_getattr_default_np(&attributes) == 0)
        {
            pthread_attr_setstacksize(&attributes, mStackSize);
            pthread_setattr_default_np(&attributes);
            pthread_attr_destroy(&attributes);
        }
    }
    NoNewThreads(const NoNewThreads&) = delete;
    NoNewThreads& operator=(const NoNewThreads&) = delete;

    bool Active() const { return mActive; }

private:
    size_t mStackSize = 0;
    bool mChanged = false;
    bool mActive = false;
};

// While alive, LC_NUMERIC is a locale that writes a decimal comma (the first
// of a few common ones installed); "C" again after. Name() is empty when
// none is installed (the test then skips).
class CommaLocale
{
public:
    CommaLocale()
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "es_ES.UTF-8", "it_IT.UTF-8",
                                 "nl_NL.UTF-8", "ru_RU.UTF-8", "de_DE", "fr_FR"})
        {
            if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',')
            {
                mName = name;
                return;
            }
        }
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    const std::string& Name() const { return mName; }

private:
    std::string mName;
};

// Skips the test when no decimal-comma locale is installed.
#define QOX_NEED_COMMA_LOCALE(guard)                                                                                 \
    if ((guard).Name().empty())                                                                                      \
    GTEST_SKIP() << "no decimal-comma locale is installed (de_DE.UTF-8, fr_FR.UTF-8, ...)"

} // namespace qoxtest

#endif
