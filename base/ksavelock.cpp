#include "base/ksavelock.h"
#include "base/ksavelock_private.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "base/kpath.h"

namespace {

// The places of the lock files, in the order their turns are taken.
enum EPlace
{
    eRUNTIME_PLACE, // $XDG_RUNTIME_DIR/qox-locks
    eHOME_PLACE,    // <home>/.cache/qox-locks
    eTMP_PLACE      // /tmp/qox-locks.<uid>
};

const char* const kRuntimeVariable = "XDG_RUNTIME_DIR";
const char* const kRuntimeFolder = "qox-locks";
const char* const kHomeCache = ".cache";
const char* const kHomeFolder = "qox-locks";
const char* const kTmpRoot = "/tmp";
const char* const kTmpFolder = "qox-locks.";
const char* const kLockFile = "locks";

const int kLockFileFlags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
const mode_t kLockFileMode = 0600;
const mode_t kOthersWrite = S_IWGRP | S_IWOTH;

const char* const kNoLockPlace = "no folder of the user's own can hold the lock that makes saves take turns";

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

// The descriptors a commit works through at once beside the lock files' (a
// new file and its folder): without them a lock file is not kept open, so
// that the lock never takes what the commit needs.
const int kDescriptorsBesideTheLock = 2;

std::atomic<int> gWaitForTests{0};
std::function<void()> gOnOpenForTests;

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
void KeysOf(const std::vector<std::string>& files, std::vector<uint64_t>& keys)
{
    keys.clear();
    keys.reserve(2 * files.size());
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
}

// True when the two sorted sets share a key.
bool Overlap(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b)
{
    auto i = a.begin(), j = b.begin();
    while (i != a.end() && j != b.end())
    {
        if (*i == *j)
            return true;
        if (*i < *j)
            ++i;
        else
            ++j;
    }
    return false;
}

bool IsShortOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// A folder whose entries no other user may change.
bool IsOwnFolder(const struct stat& status, uid_t user)
{
    return S_ISDIR(status.st_mode) && status.st_uid == user && (status.st_mode & kOthersWrite) == 0;
}

// A folder a lock folder may be made in: the user's or root's, where no
// other user may rename or remove what the user made (not shared, or
// sticky).
bool IsSafeRoot(const std::string& path, uid_t user)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return false;
    const bool owned = status.st_uid == user || status.st_uid == 0;
    const bool shared = (status.st_mode & kOthersWrite) != 0;
    if (!S_ISDIR(status.st_mode) || !owned || (shared && !(status.st_mode & S_ISVTX)))
    {
        errno = EACCES;
        return false;
    }
    return true;
}

// Makes the folder at path, or finds it, the user's own: one made here is
// 0700 whatever the umask; one found gets u+rwx when it lacks it. A symbolic
// link is followed only when follow is set. False with errno when the name
// holds anything else, or a folder another user may write.
bool MakeOwnFolder(const std::string& path, uid_t user, bool follow)
{
    const bool made = mkdir(path.c_str(), 0700) == 0;
    if (!made && errno != EEXIST)
        return false;
    struct stat status;
    if ((follow ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0)
        return false;
    if (!IsOwnFolder(status, user))
    {
        errno = EACCES;
        return false;
    }
    const mode_t mode = status.st_mode & 07777;
    const mode_t wanted = made ? 0700 : mode | S_IRWXU;
    return mode == wanted || chmod(path.c_str(), wanted) == 0;
}

// Makes or finds the lock folder of a place; false with errno when the
// place cannot be had.
bool PlaceFolder(int place, uid_t user, std::string& folder)
{
    switch (place)
    {
    case eRUNTIME_PLACE: {
        const char* runtime = getenv(kRuntimeVariable);
        struct stat status;
        if (!runtime || runtime[0] != '/' || stat(runtime, &status) != 0 || !IsOwnFolder(status, user))
        {
            errno = ENOENT;
            return false;
        }
        folder = std::string(runtime) + "/" + kRuntimeFolder;
        return MakeOwnFolder(folder, user, false);
    }
    case eHOME_PLACE: {
        std::string home;
        if (!KUserHomeFolder(user, home) || !IsSafeRoot(home, user))
            return false;
        const std::string cache = home + "/" + kHomeCache;
        if (!MakeOwnFolder(cache, user, true))
            return false;
        folder = cache + "/" + kHomeFolder;
        return MakeOwnFolder(folder, user, false);
    }
    default:
        if (!IsSafeRoot(kTmpRoot, user))
            return false;
        folder = std::string(kTmpRoot) + "/" + kTmpFolder + std::to_string(user);
        return MakeOwnFolder(folder, user, false);
    }
}

// Readies the name of a lock file in a folder of the user's own for open:
// anything but a regular file under it (a FIFO, a link, an empty folder) is
// removed, and a lock file of the user's that the user may not read and
// write is given u+rw.
void ReadyLockFile(const std::string& path, uid_t user)
{
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return;
    if (!S_ISREG(status.st_mode))
        S_ISDIR(status.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
    else if (status.st_uid == user && (status.st_mode & S_IRWXU) != (S_IRUSR | S_IWUSR))
        chmod(path.c_str(), kLockFileMode);
}

// The keys threads of this process hold, and every lock holding any or a
// descriptor of a lock file: a list of the KSaveLock objects themselves, so
// that nothing is allocated. A child forked meanwhile closes the lock
// descriptors it got and starts with an empty table.
struct Table
{
    std::mutex mutex;
    std::condition_variable freed;
    KSaveLock* first = nullptr;
};

alignas(Table) unsigned char gTableRoom[sizeof(Table)];
Table* gTable = nullptr;

} // namespace

void SetSaveLockWaitForTests(int milliseconds)
{
    gWaitForTests = milliseconds;
}

void SetSaveLockOnOpenForTests(std::function<void()> onOpen)
{
    gOnOpenForTests = std::move(onOpen);
}

namespace {

// The table, made on first use with the handlers that keep it whole across a
// fork; null when those could not be set up.
Table* TheTable(void (*forgetInChild)())
{
    static Table* const table = [forgetInChild]() -> Table* {
        gTable = new (gTableRoom) Table; // never destroyed: saves may run while the process exits
        if (pthread_atfork([] { gTable->mutex.lock(); }, [] { gTable->mutex.unlock(); }, forgetInChild) != 0)
            return nullptr;
        return gTable;
    }();
    return table;
}

} // namespace

// In a child forked without exec: closes its copy of every lock descriptor
// (the process that took a turn holds it alone, so it dies with it), and
// leaves every lock object it copied holding nothing. The table's mutex is
// held by the forking thread (taken before the fork).
void KSaveLock::ForgetInChild()
{
    for (KSaveLock* lock = gTable->first; lock; lock = lock->mNext)
    {
        for (Place& place : lock->mPlaces)
            if (place.fd >= 0)
            {
                close(place.fd);
                place.fd = -1;
                place.locked = false;
            }
        lock->mHolding = false;
        lock->mListed = false;
    }
    // Afresh: the old one may have waiters that are gone.
    gTable = new (gTableRoom) Table;
}

bool KSaveLock::Take(const std::vector<std::string>& files, const std::function<bool()>& freeDescriptors)
{
    Release();
    mCause = "";
    try
    {
        if (!TheTable(&KSaveLock::ForgetInChild))
        {
            errno = ENOMEM;
            return false;
        }
        const int wait = gWaitForTests > 0 ? gWaitForTests.load() : kWaitMilliseconds;
        const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
        if (!OpenPlaces(freeDescriptors))
        {
            Release();
            return false;
        }
        if (gOnOpenForTests)
        {
            const std::function<void()> onOpen = std::move(gOnOpenForTests);
            gOnOpenForTests = nullptr;
            onOpen();
        }
        KeysOf(files, mKeys);
        std::vector<uint64_t> now;
        for (;;)
        {
            if (!TakeInProcess(deadline) || !TakeBetweenProcesses(deadline))
            {
                Release();
                return false;
            }
            // A name that led to another file when its key was made: that
            // file's turn is the one to take.
            KeysOf(files, now);
            if (now == mKeys)
                return true;
            GiveBack();
            // A name that keeps leading elsewhere (a program replacing the
            // file over and over, taking no turns) is waited for no longer
            // than a held turn.
            if (std::chrono::steady_clock::now() >= deadline)
            {
                Release();
                errno = EAGAIN;
                return false;
            }
            mKeys.swap(now);
        }
    }
    catch (const std::bad_alloc&)
    {
        Release();
        errno = ENOMEM;
        return false;
    }
    catch (const std::system_error& error)
    {
        Release();
        errno = error.code().value() ? error.code().value() : EAGAIN;
        return false;
    }
}

// Opens the lock file of every place that can be had, in order, while the
// commit keeps enough descriptors beside them. False with errno (and the
// cause) when none can be had, unless the process's own descriptor limit is
// what leaves no room: the turns are then the process's alone.
bool KSaveLock::OpenPlaces(const std::function<bool()>& freeDescriptors)
{
    bool freed = false;
    const auto freeOnce = [&] {
        if (freed || !freeDescriptors)
            return false;
        freed = true;
        return freeDescriptors();
    };
    int opened = 0, shortage = 0;
    for (int place = 0; place < kPlaces && shortage == 0; ++place)
    {
        bool open = OpenPlace(place);
        if (!open && IsShortOfDescriptors(errno) && freeOnce())
            open = OpenPlace(place);
        if (open && !LeavesRoom(place) && !(freeOnce() && LeavesRoom(place)))
        {
            shortage = errno;
            ClosePlace(place);
            open = false;
        }
        else if (!open && IsShortOfDescriptors(errno))
            shortage = errno;
        opened += open ? 1 : 0;
    }
    mWithinProcess = opened == 0 && shortage == EMFILE;
    if (opened > 0 || mWithinProcess)
        return true;
    errno = shortage != 0 ? shortage : ENOLCK;
    if (shortage == 0)
        mCause = kNoLockPlace;
    return false;
}

// Opens the lock file of a place; false with errno when it cannot be had.
bool KSaveLock::OpenPlace(int place)
{
    const uid_t user = geteuid();
    Place& at = mPlaces[place];
    std::string folder;
    if (!PlaceFolder(place, user, folder))
        return false;
    at.path = folder + "/" + kLockFile;
    ReadyLockFile(at.path, user);
    {
        // Not while another thread forks: the child must see the descriptor
        // to close it.
        std::lock_guard<std::mutex> hold(gTable->mutex);
        at.fd = open(at.path.c_str(), kLockFileFlags, kLockFileMode);
        if (at.fd < 0)
            return false;
        List();
    }
    struct stat status;
    if (fstat(at.fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != user)
    {
        ClosePlace(place);
        errno = EACCES;
        return false;
    }
    // No other user may open it, so no other user can hold a turn.
    if ((status.st_mode & 07777) != kLockFileMode && fchmod(at.fd, kLockFileMode) != 0)
    {
        const int error = errno;
        ClosePlace(place);
        errno = error;
        return false;
    }
    // One lock file reached from two places ($XDG_RUNTIME_DIR the home
    // folder's .cache, say) is taken once: through two descriptions the
    // lock would wait for itself.
    for (int other = 0; other < kPlaces; ++other)
        if (other != place && mPlaces[other].fd >= 0 && mPlaces[other].device == status.st_dev &&
            mPlaces[other].inode == status.st_ino)
        {
            ClosePlace(place);
            errno = EEXIST;
            return false;
        }
    at.device = status.st_dev;
    at.inode = status.st_ino;
    return true;
}

// True when kDescriptorsBesideTheLock more descriptors can be had beside
// the place's; else false with errno.
bool KSaveLock::LeavesRoom(int place)
{
    // The copies are of the lock file's description: no fork may see them.
    std::lock_guard<std::mutex> hold(gTable->mutex);
    int spare[kDescriptorsBesideTheLock];
    int had = 0;
    while (had < kDescriptorsBesideTheLock && (spare[had] = fcntl(mPlaces[place].fd, F_DUPFD_CLOEXEC, 0)) >= 0)
        ++had;
    const int error = errno;
    for (int i = 0; i < had; ++i)
        close(spare[i]);
    errno = error;
    return had == kDescriptorsBesideTheLock;
}

// Closes a place's lock file, giving back what this lock holds of it. errno
// is kept.
void KSaveLock::ClosePlace(int place)
{
    Place& at = mPlaces[place];
    if (at.fd < 0)
        return;
    const int error = errno;
    Unlock(place);
    {
        std::lock_guard<std::mutex> hold(gTable->mutex);
        close(at.fd);
        at.fd = -1;
    }
    errno = error;
}

// Holds mKeys in the process's table, once no other thread holds any of them.
bool KSaveLock::TakeInProcess(Deadline deadline)
{
    std::unique_lock<std::mutex> hold(gTable->mutex);
    List();
    while (Busy())
        if (gTable->freed.wait_until(hold, deadline) == std::cv_status::timeout && Busy())
        {
            errno = EAGAIN;
            return false;
        }
    mHolding = true;
    return true;
}

// True when another lock of the process holds one of mKeys; under the
// table's mutex.
bool KSaveLock::Busy() const
{
    for (const KSaveLock* other = gTable->first; other; other = other->mNext)
        if (other != this && other->mHolding && Overlap(other->mKeys, mKeys))
            return true;
    return false;
}

// Locks mKeys in the lock file of each place, in order. A lock file whose
// name no longer leads to it once they are held (removed, or replaced) is
// let go, and the keys are locked again in the file the name leads to now.
// A lock file that refuses the lock (ENOLCK, say) is let go. False with
// errno when the deadline passes or no lock file is left.
bool KSaveLock::TakeBetweenProcesses(Deadline deadline)
{
    for (int place = 0; place < kPlaces; ++place)
    {
        Place& at = mPlaces[place];
        while (at.fd >= 0)
        {
            const int locked = LockKeys(place, deadline);
            if (locked == 0)
                return false;
            if (locked < 0)
            {
                ClosePlace(place);
                break;
            }
            struct stat status;
            if (lstat(at.path.c_str(), &status) == 0 && status.st_dev == at.device && status.st_ino == at.inode)
                break;
            ClosePlace(place);
            if (std::chrono::steady_clock::now() >= deadline)
            {
                errno = EAGAIN;
                return false;
            }
            if (!OpenPlace(place))
                break;
        }
    }
    for (const Place& at : mPlaces)
        if (at.fd >= 0)
            return true;
    if (mWithinProcess)
        return true;
    errno = ENOLCK;
    mCause = kNoLockPlace;
    return false;
}

// Locks the byte of each key in a place's lock file, in the keys' order,
// trying again after a pause while another process holds it: 1 when every
// one is held, 0 (errno EAGAIN) at the deadline, -1 when the file refuses
// the lock.
int KSaveLock::LockKeys(int place, Deadline deadline)
{
    Place& at = mPlaces[place];
    for (uint64_t key : mKeys)
    {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(key);
        lock.l_len = 1;
        std::chrono::microseconds pause = kFirstPause;
        for (;;)
        {
            if (fcntl(at.fd, F_OFD_SETLK, &lock) == 0)
            {
                at.locked = true;
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EACCES)
                return -1;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
            {
                errno = EAGAIN;
                return 0;
            }
            std::this_thread::sleep_for(
                std::min(pause, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now)));
            pause = std::min(pause * 2, kLongestPause);
        }
    }
    return 1;
}

// Gives back every byte this lock holds of a place's lock file.
void KSaveLock::Unlock(int place)
{
    Place& at = mPlaces[place];
    if (!at.locked)
        return;
    struct flock lock = {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET; // the whole file: every byte this description holds
    fcntl(at.fd, F_OFD_SETLK, &lock);
    at.locked = false;
}

// Puts this lock in the process's table; under its mutex.
void KSaveLock::List()
{
    if (mListed)
        return;
    mPrevious = nullptr;
    mNext = gTable->first;
    if (mNext)
        mNext->mPrevious = this;
    gTable->first = this;
    mListed = true;
}

// Takes this lock out of the process's table; under its mutex.
void KSaveLock::Unlist()
{
    if (!mListed)
        return;
    (mPrevious ? mPrevious->mNext : gTable->first) = mNext;
    if (mNext)
        mNext->mPrevious = mPrevious;
    mPrevious = mNext = nullptr;
    mListed = false;
}

// Gives back the turns held; the lock files stay open. errno is kept.
void KSaveLock::GiveBack()
{
    const int error = errno;
    for (int place = 0; place < kPlaces; ++place)
        Unlock(place);
    if (mHolding)
    {
        {
            std::lock_guard<std::mutex> hold(gTable->mutex);
            mHolding = false;
        }
        gTable->freed.notify_all();
    }
    errno = error;
}

void KSaveLock::Release()
{
    const int error = errno;
    GiveBack();
    for (int place = 0; place < kPlaces; ++place)
        ClosePlace(place);
    if (mListed)
    {
        std::lock_guard<std::mutex> hold(gTable->mutex);
        Unlist();
    }
    mWithinProcess = false;
    errno = error;
}
