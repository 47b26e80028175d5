// Helpers for tests of saves that fail: a file size limit standing in for a
// full disk, a file descriptor limit leaving none free, a child process run
// as an unprivileged user (so that permissions bind even for root), and the
// names a directory holds; a test program's cases run again from a working
// folder below one only its owner may enter.
#ifndef QOX_TESTS_COMMON_QOX_TEST_FILES_H
#define QOX_TESTS_COMMON_QOX_TEST_FILES_H

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/qox_test_common.h"

namespace qoxtest {

// While alive, no file grows past bytes: writes beyond fail with EFBIG (the
// signal SIGXFSZ is ignored), as on a full disk. The old limit comes back after.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &mOld);
        rlimit small = mOld;
        small.rlim_cur = bytes;
        mActive = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return mActive; }

private:
    rlimit mOld{};
    void (*mOldHandler)(int) = SIG_DFL;
    bool mActive = false;
};

// While alive, no new file descriptor can be had: the limit is set to the
// lowest free one, every one below it being in use.
class NoFreeDescriptor
{
public:
    NoFreeDescriptor()
    {
        getrlimit(RLIMIT_NOFILE, &mOld);
        const int lowest = dup(0);
        if (lowest < 0)
            return;
        close(lowest);
        rlimit none = mOld;
        none.rlim_cur = static_cast<rlim_t>(lowest);
        if (setrlimit(RLIMIT_NOFILE, &none) != 0)
            return;
        const int extra = dup(0);
        mActive = extra < 0;
        if (extra >= 0)
            close(extra);
    }
    ~NoFreeDescriptor() { setrlimit(RLIMIT_NOFILE, &mOld); }
    NoFreeDescriptor(const NoFreeDescriptor&) = delete;
    NoFreeDescriptor& operator=(const NoFreeDescriptor&) = delete;
    bool Active() const { return mActive; }

private:
    rlimit mOld{};
    bool mActive = false;
};

// The cases of a table that act as another user (chown, setuid), which only
// root may: they run as root and are left out otherwise, named once the
// other cases have run as the test's skip reason (QOX_SKIP_CASES_LEFT_OUT).
class CasesNeedingRoot
{
public:
    // True when the case runs here: it needs no other user, or this is root.
    bool Runs(bool needsRoot, const std::string& name)
    {
        if (!needsRoot || geteuid() == 0)
        {
            ++mRan;
            return true;
        }
        mLeftOut += (mLeftOut.empty() ? "" : "; ") + name;
        return false;
    }
    const std::string& LeftOut() const { return mLeftOut; }
    // The skip reason: the cases left out, and whether the others ran.
    std::string Reason() const
    {
        return "not root: the cases that need another user were left out (" + mLeftOut + ")" +
               (mRan > 0 ? "; the others ran" : "");
    }

private:
    std::string mLeftOut;
    int mRan = 0;
};

// Ends the test as skipped, naming the cases left out, when there were any
// (a case that failed still fails it).
#define QOX_SKIP_CASES_LEFT_OUT(cases)                                                                                 \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!(cases).LeftOut().empty())                                                                                \
            GTEST_SKIP() << (cases).Reason();                                                                          \
    } while (0)

// The user a test's files are given to when it acts as another user: nobody
// as root, else this user itself (whom every process of it may give its
// files to).
inline uid_t OtherUserOrSelf()
{
    return geteuid() == 0 ? 65534 : geteuid();
}
inline gid_t OtherGroupOrOwn()
{
    return geteuid() == 0 ? 65534 : getegid();
}

// The primary group of user: this process's own group for its own user,
// else the one the user database gives (nobody's group, 65534, for a user
// it does not know). A user's number is never its group's.
inline gid_t GroupOf(uid_t user)
{
    if (user == geteuid())
        return getegid();
    passwd entry{}, *found = nullptr;
    std::vector<char> buffer(16384);
    return getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found ? found->pw_gid : 65534;
}

// Makes this process (a child, as root) the user with group and groups
// alone. It first works in "/", which every user may enter: the working
// folder it had may lie below one only root may enter (a build tree in
// root's home), where the user could not come back to it.
inline bool BecomeUser(uid_t user, gid_t group, const std::vector<gid_t>& groups = {})
{
    return chdir("/") == 0 && setgroups(groups.size(), groups.data()) == 0 && setgid(group) == 0 &&
           setuid(user) == 0;
}

// Runs body in a child process, as the user "nobody" when this one is root,
// and returns what it returns (0 to 125), or -1 when the child could not run
// or ended otherwise. The child leaves through _exit: nothing of this
// process's test state is touched.
inline int RunAsUnprivilegedChild(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0)
    {
        if (geteuid() == 0 && !BecomeUser(65534, 65534))
            _exit(126);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 125)
        return -1;
    return WEXITSTATUS(status);
}

// Runs body in a forked child and gives back the text it returned through a
// pipe: "(no pipe)" or "(child died)" when the child could not run or ended
// otherwise.
inline std::string ChildText(const std::function<std::string()>& body)
{
    int report[2];
    if (pipe(report) != 0)
        return "(no pipe)";
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0)
    {
        close(report[0]);
        const std::string text = body();
        const bool told = write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(told ? 0 : 1);
    }
    close(report[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; child > 0 && (n = read(report[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(report[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "(child died)";
    return text;
}

// RunAsUnprivilegedChild for a body that gives a text: the text it gave, or
// "(child died)" when the child could not run or ended otherwise.
inline std::string UnprivilegedChildText(const std::function<std::string()>& body)
{
    return ChildText([&body]() -> std::string {
        if (geteuid() == 0 && !BecomeUser(65534, 65534))
            _exit(126);
        return body();
    });
}

// Runs body in a child process that may open only free more descriptors
// (its soft RLIMIT_NOFILE set so), as a process with its three standard
// streams open has 1 free under a limit of 4. body returns "" when its work
// was done, else what went wrong; RunWithFreeDescriptors returns that text,
// or "(child died)" / "(limit not set)".
inline std::string RunWithFreeDescriptors(int free, const std::function<std::string()>& body)
{
    return ChildText([free, &body]() -> std::string {
        // The limit lies at the (free + 1)-th descriptor not in use; the
        // pipe's end the child writes to is in use already.
        int limit = 0, unused = 0;
        for (int fd = 0; fd < 65536; ++fd)
            if (fcntl(fd, F_GETFD) == -1 && ++unused > free)
            {
                limit = fd;
                break;
            }
        rlimit old, few;
        getrlimit(RLIMIT_NOFILE, &old);
        few = old;
        few.rlim_cur = static_cast<rlim_t>(limit);
        std::string text = "(limit not set)";
        if (limit > 0 && setrlimit(RLIMIT_NOFILE, &few) == 0)
        {
            text = body();
            setrlimit(RLIMIT_NOFILE, &old);
        }
        return text;
    });
}

// Runs this test program's cases matching filter again, in a process of
// its own whose working folder lies below a folder only this user may
// enter, as a build tree in one's home or in a folder of mktemp -d does:
// true when there were cases and each passed or skipped. output holds what
// they printed.
inline bool RerunBelowAClosedFolder(const std::string& filter, std::string& output)
{
    TempDir dir; // made 0700
    const std::string work = dir.File("work");
    std::error_code error;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    int out[2];
    if (dir.Path().empty() || mkdir(work.c_str(), 0755) != 0 || error || pipe(out) != 0)
    {
        output = "(cannot set up the run)";
        return false;
    }
    const std::string option = "--gtest_filter=" + filter;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0)
    {
        close(out[0]);
        if (chdir(work.c_str()) == 0 && dup2(out[1], 1) == 1 && dup2(out[1], 2) == 2)
            execl(self.c_str(), self.c_str(), option.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; child > 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    const bool ended = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
    return ended && WEXITSTATUS(status) == 0 && output.find("[ RUN      ]") != std::string::npos;
}

// The names in a directory, sorted.
inline std::vector<std::string> ListDirectory(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// While alive, another thread waits for path to show among this process's
// mappings and then cuts the file to bytes, as another program rewriting it
// would while it is read in place. Stop() (or the destructor) ends the wait;
// Cut() tells whether the cut was made.
class CutWhenMapped
{
public:
    CutWhenMapped(const std::string& path, off_t bytes)
        : mThread([this, path, bytes] {
            while (!mStop && ReadFile("/proc/self/maps").find(path) == std::string::npos)
                std::this_thread::yield();
            if (!mStop)
                mCut = truncate(path.c_str(), bytes) == 0;
        })
    {}
    ~CutWhenMapped() { Stop(); }
    CutWhenMapped(const CutWhenMapped&) = delete;
    CutWhenMapped& operator=(const CutWhenMapped&) = delete;

    void Stop()
    {
        mStop = true;
        if (mThread.joinable())
            mThread.join();
    }
    bool Cut() const { return mCut; }

private:
    std::atomic<bool> mStop{false};
    std::atomic<bool> mCut{false};
    std::thread mThread;
};

// A FIFO at path whose writer thread writes bytes into it once a reader
// opens it. The destructor releases a writer still waiting for a reader,
// so a test whose reader never came still ends.
class FifoFeeder
{
public:
    FifoFeeder(const std::string& path, std::string bytes)
        : mPath(path)
        , mBytes(std::move(bytes))
    {
        EXPECT_EQ(mkfifo(mPath.c_str(), 0600), 0);
        // A reader that stops early must not end the process.
        mOldPipe = std::signal(SIGPIPE, SIG_IGN);
        mWriter = std::thread([this] {
            const int fd = open(mPath.c_str(), O_WRONLY);
            for (size_t done = 0; fd >= 0 && done < mBytes.size();)
            {
                const ssize_t n = write(fd, mBytes.data() + done, mBytes.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            if (fd >= 0)
                close(fd);
            mDone = true;
        });
    }
    ~FifoFeeder()
    {
        while (!mDone)
        {
            const int fd = open(mPath.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd >= 0)
                close(fd);
            std::this_thread::yield();
        }
        mWriter.join();
        std::signal(SIGPIPE, mOldPipe);
    }
    FifoFeeder(const FifoFeeder&) = delete;
    FifoFeeder& operator=(const FifoFeeder&) = delete;

private:
    std::string mPath;
    std::string mBytes;
    std::thread mWriter;
    std::atomic<bool> mDone{false};
    void (*mOldPipe)(int) = SIG_DFL;
};

// A signal between processes, through a pipe made before they fork: each
// Give(count) lets count Take() calls go on, in whichever process waits.
class Signal
{
public:
    Signal()
    {
        if (pipe(mFd) != 0)
            mFd[0] = mFd[1] = -1;
    }
    ~Signal()
    {
        close(mFd[0]);
        close(mFd[1]);
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    bool Give(int count = 1) const
    {
        const std::string bytes(static_cast<size_t>(count), 's');
        return write(mFd[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    bool Take() const
    {
        char byte;
        return read(mFd[0], &byte, 1) == 1;
    }

private:
    int mFd[2];
};

// A POSIX access ACL in the kernel's binary form (the value of
// "system.posix_acl_access"): the owner rw, the named user with perm, the
// group r, the mask rw, others nothing (or the permissions given, for a
// folder say).
inline std::string AccessAcl(uid_t user, unsigned perm, unsigned owner = 6, unsigned group = 4, unsigned mask = 6,
                             unsigned others = 0)
{
    std::string acl;
    auto put = [&acl](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl += static_cast<char>((value >> (8 * i)) & 0xff);
    };
    const uint32_t none = 0xffffffffu;
    put(2, 4); // version
    const uint32_t entries[][3] = {
        {0x01, owner, none}, {0x02, perm, user}, {0x04, group, none}, {0x10, mask, none}, {0x20, others, none}};
    for (const auto& entry : entries)
    {
        put(entry[0], 2);
        put(entry[1], 2);
        put(entry[2], 4);
    }
    return acl;
}

// The value of an extended attribute of path (not followed), "(none)" when
// it has none.
inline std::string Attribute(const std::string& path, const char* name)
{
    char value[256];
    const ssize_t length = lgetxattr(path.c_str(), name, value, sizeof value);
    return length < 0 ? std::string("(none)") : std::string(value, static_cast<size_t>(length));
}

} // namespace qoxtest

#endif
