// Set-up shared by the benchmark programs: a folder on disk and a scratch
// directory in it removed at exit, the wall time of a call, whole-file reads,
// and the durable write that the peers of the file writers do.
#ifndef QOX_BENCH_BENCH_UTIL_H
#define QOX_BENCH_BENCH_UTIL_H

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace benchutil {

// The folder for the benchmarks' files: TMPDIR, else /tmp, unless it is
// held in memory (tmpfs, ramfs), where nothing reaches a disk and flushing
// costs nothing: /var/tmp then, on disk as the saves measured would be.
inline std::string DiskFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    struct statfs fs;
    if (statfs(folder.c_str(), &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC))
        return "/var/tmp";
    return folder;
}

// A fresh directory "<DiskFolder()>/<prefix>XXXXXX", removed with its
// contents at destruction; the path is empty when it could not be made.
class ScratchDirectory
{
public:
    explicit ScratchDirectory(const std::string& prefix)
    {
        std::string pattern = DiskFolder() + "/" + prefix + "XXXXXX";
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

// Writes size bytes to path as the SDK saves a file, so that a writer and
// this peer do the same durable steps: to a temporary beside path, flushed
// to disk (fflush, fsync), renamed over path, then the folder flushed so
// that the rename lasts. False on any failure, the temporary removed.
inline bool DurableWrite(const std::string& path, const char* data, size_t size)
{
    const std::string temporary = path + ".peer-tmp";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
    {
        std::remove(temporary.c_str());
        return false;
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

inline bool DurableWrite(const std::string& path, const std::string& bytes)
{
    return DurableWrite(path, bytes.data(), bytes.size());
}

} // namespace benchutil

#endif
