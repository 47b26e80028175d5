// Set-up shared by the benchmark programs: a scratch directory removed at
// exit, the wall time of a call, and whole-file reads.
#ifndef QOX_BENCH_BENCH_UTIL_H
#define QOX_BENCH_BENCH_UTIL_H

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <sys/stat.h>

namespace benchutil {

// A fresh directory "/tmp/<prefix>XXXXXX", removed with its contents at
// destruction; the path is empty when it could not be made.
class ScratchDirectory
{
public:
    explicit ScratchDirectory(const std::string& prefix)
    {
        std::string pattern = "/tmp/" + prefix + "XXXXXX";
        if (const char* made = mkdtemp(pattern.data()))
            mPath = made;
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

// Seconds taken by a call.
template <typename F>
double Seconds(F&& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The whole file; empty when it cannot be read.
inline std::string Slurp(const std::string& path)
{
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb"))
    {
        char chunk[1 << 16];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

// The file's size in bytes; 0 when it cannot be read.
inline long long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// Sets bytes to the file's size; leaves it when the file cannot be opened.
inline void UpdateFileSize(const std::string& path, size_t& bytes)
{
    if (FILE* f = std::fopen(path.c_str(), "rb"))
    {
        std::fseek(f, 0, SEEK_END);
        bytes = static_cast<size_t>(std::ftell(f));
        std::fclose(f);
    }
}

} // namespace benchutil

#endif
