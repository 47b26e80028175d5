#include "base/ksavelock.h"
#include "base/ksavelock_private.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// This user's lock file: kLockRoot/kLockFolder<uid>/kLockFile.
const char* const kLockRoot = "/tmp";
const char* const kLockFolder = "qox-locks.";
const char* const kLockFile = "locks";

// A key is the offset of the byte of the lock file that stands for a file:
// 62 bits, so that the offset and the byte after it fit in an off_t.
const uint64_t kKeyMask = (uint64_t(1) << 62) - 1;

// What a key is made of, so that the keys of a file and of a name differ.
enum EKeyKind : uint64_t
{
    eFILE_KEY = 1, // a device and inode
    eNAME_KEY = 2, // a folder's device and inode, and a name in it
    ePATH_KEY = 3  // a path whose folder cannot be looked at
};

// The pauses between tries of a lock another process holds: the first, and
// the longest they grow to.
const std::chrono::microseconds kFirstPause(500);
const std::chrono::microseconds kLongestPause(20000);

// The descriptors a commit works through at once beside the lock file's (a
// new file and its folder): without them the lock file is not kept open, so
// that the lock never takes what the commit needs.
const int kDescriptorsBesideTheLock = 2;

std::atomic<int> gWaitForTests{0};

uint64_t Mix(uint64_t hash, uint64_t value)
{
    uint64_t z = hash ^ (value + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2));
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

uint64_t MixText(uint64_t hash, const std::string& text)
{
    hash = Mix(hash, text.size());
    for (unsigned char c : text)
        hash = Mix(hash, c);
    return hash;
}

// The keys of the files a save changes: each existing file's device and
// inode, and each name in its folder; sorted, each once.
std::vector<uint64_t> KeysOf(const std::vector<std::string>& files)
{
    std::vector<uint64_t> keys;
    for (const std::string& file : files)
    {
        const size_t slash = file.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
        const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
        struct stat status;
        if (stat(folder.c_str(), &status) == 0)
            keys.push_back(MixText(Mix(Mix(eNAME_KEY, status.st_dev), status.st_ino), name) & kKeyMask);
        else
            keys.push_back(MixText(ePATH_KEY, file) & kKeyMask);
        if (lstat(file.c_str(), &status) == 0)
            keys.push_back(Mix(Mix(eFILE_KEY, status.st_dev), status.st_ino) & kKeyMask);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

// The keys threads of this process hold. A child forked while a thread held
// some starts with an empty table (that thread is not in the child) and a
// mutex no one holds.
struct Table
{
    std::mutex mutex;
    std::condition_variable freed;
    std::vector<uint64_t> held;
};

Table* gTable = nullptr;

Table& TheTable()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gTable = new Table; // never destroyed: saves may run while the process exits
        pthread_atfork([] { gTable->mutex.lock(); }, [] { gTable->mutex.unlock(); },
                       [] { gTable = new Table; }); // the old one may have waiters that are gone
    });
    return *gTable;
}

// Opens this user's lock file for writing: its folder must be this user's,
// with mode 0700, in a root no other user may rename it out of. -1 with
// errno when it cannot be had.
int OpenLockFile()
{
    struct stat status;
    if (stat(kLockRoot, &status) != 0)
        return -1;
    const uid_t user = geteuid();
    const bool ownedRoot = status.st_uid == user || status.st_uid == 0;
    const bool sharedRoot = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (!S_ISDIR(status.st_mode) || !ownedRoot || (sharedRoot && !(status.st_mode & S_ISVTX)))
    {
        errno = EACCES;
        return -1;
    }
    const std::string folder = std::string(kLockRoot) + "/" + kLockFolder + std::to_string(user);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    // Another user may have made the name first; no one but this user (and
    // root) can change the folder once it is found to be this user's.
    if (lstat(folder.c_str(), &status) != 0)
        return -1;
    if (!S_ISDIR(status.st_mode) || status.st_uid != user || (status.st_mode & 07777) != 0700)
    {
        errno = EACCES;
        return -1;
    }
    const int fd = open((folder + "/" + kLockFile).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != user))
    {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

// True when kDescriptorsBesideTheLock more descriptors can be had beside fd.
bool LeavesRoom(int fd)
{
    int spare[kDescriptorsBesideTheLock];
    int had = 0;
    while (had < kDescriptorsBesideTheLock && (spare[had] = fcntl(fd, F_DUPFD_CLOEXEC, 0)) >= 0)
        ++had;
    for (int i = 0; i < had; ++i)
        close(spare[i]);
    return had == kDescriptorsBesideTheLock;
}

} // namespace

void SetSaveLockWaitForTests(int milliseconds)
{
    gWaitForTests = milliseconds;
}

bool KSaveLock::Take(const std::vector<std::string>& files, const std::function<bool()>& freeDescriptors)
{
    Release();
    const int wait = gWaitForTests > 0 ? gWaitForTests.load() : kWaitMilliseconds;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    OpenLockFile(freeDescriptors);
    std::vector<uint64_t> keys = KeysOf(files);
    for (;;)
    {
        if (!TakeKeys(keys, deadline))
        {
            Release();
            errno = EAGAIN;
            return false;
        }
        // A name that led to another file when its key was made: that
        // file's turn is the one to take.
        std::vector<uint64_t> now = KeysOf(files);
        if (now == keys)
            return true;
        GiveBack();
        // A name that keeps leading elsewhere (a program replacing the file
        // over and over, taking no turns) is waited for no longer than a
        // held turn.
        if (std::chrono::steady_clock::now() >= deadline)
        {
            Release();
            errno = EAGAIN;
            return false;
        }
        keys.swap(now);
    }
}

// Opens the lock file when the commit keeps enough descriptors beside it;
// else the turns are the process's alone.
void KSaveLock::OpenLockFile(const std::function<bool()>& freeDescriptors)
{
    bool freed = false;
    const auto freeOnce = [&] {
        if (freed || !freeDescriptors)
            return false;
        freed = true;
        return freeDescriptors();
    };
    mFd = ::OpenLockFile();
    if (mFd < 0 && (errno == EMFILE || errno == ENFILE) && freeOnce())
        mFd = ::OpenLockFile();
    if (mFd >= 0 && !LeavesRoom(mFd) && !(freeOnce() && LeavesRoom(mFd)))
    {
        close(mFd);
        mFd = -1;
    }
}

bool KSaveLock::TakeKeys(const std::vector<uint64_t>& keys, Deadline deadline)
{
    return TakeInProcess(keys, deadline) && TakeBetweenProcesses(keys, deadline);
}

// Takes every key at once in the process's table, once no other thread
// holds any of them.
bool KSaveLock::TakeInProcess(const std::vector<uint64_t>& keys, Deadline deadline)
{
    Table& table = TheTable();
    std::unique_lock<std::mutex> hold(table.mutex);
    const auto busy = [&] {
        for (uint64_t key : keys)
            if (std::find(table.held.begin(), table.held.end(), key) != table.held.end())
                return true;
        return false;
    };
    while (busy())
        if (table.freed.wait_until(hold, deadline) == std::cv_status::timeout && busy())
            return false;
    table.held.insert(table.held.end(), keys.begin(), keys.end());
    mKeys = keys;
    return true;
}

// Locks the byte of each key in the lock file, in the keys' order, trying
// again after a pause while another process holds it. A lock file that
// refuses the lock (ENOLCK, say) is let go: the turns are then the
// process's alone.
bool KSaveLock::TakeBetweenProcesses(const std::vector<uint64_t>& keys, Deadline deadline)
{
    for (uint64_t key : keys)
    {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(key);
        lock.l_len = 1;
        std::chrono::microseconds pause = kFirstPause;
        while (mFd >= 0)
        {
            if (fcntl(mFd, F_OFD_SETLK, &lock) == 0)
            {
                mLocked.push_back(key);
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EACCES)
            {
                GiveBack();
                close(mFd);
                mFd = -1;
                return TakeInProcess(keys, deadline);
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                return false;
            std::this_thread::sleep_for(
                std::min(pause, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now)));
            pause = std::min(pause * 2, kLongestPause);
        }
    }
    return true;
}

// Gives back the turns held; the lock file stays open. errno is kept.
void KSaveLock::GiveBack()
{
    const int error = errno;
    if (!mLocked.empty())
    {
        struct flock lock = {};
        lock.l_type = F_UNLCK;
        lock.l_whence = SEEK_SET; // the whole file: every byte this description holds
        fcntl(mFd, F_OFD_SETLK, &lock);
        mLocked.clear();
    }
    if (!mKeys.empty())
    {
        Table& table = TheTable();
        {
            std::lock_guard<std::mutex> hold(table.mutex);
            for (uint64_t key : mKeys)
            {
                const auto at = std::find(table.held.begin(), table.held.end(), key);
                if (at != table.held.end())
                    table.held.erase(at);
            }
        }
        table.freed.notify_all();
        mKeys.clear();
    }
    errno = error;
}

void KSaveLock::Release()
{
    GiveBack();
    if (mFd >= 0)
    {
        const int error = errno;
        close(mFd);
        mFd = -1;
        errno = error;
    }
}
