#ifndef QOX_BASE_KSAVELOCK_H
#define QOX_BASE_KSAVELOCK_H

// KSaveLock: the turn a save takes on the files it changes, so that two
// saves of one file (in this process or in another of this user's) never mix
// their bytes, while saves of different files never wait for each other.
//
// - A turn belongs to a file, not to a name: an existing file is known by
//   its device and inode (whatever folder and name a save reaches it
//   through: hard links, symbolic links), and also by its folder's device
//   and inode with its name in it, the key a file not made yet has. Once
//   every turn is held the files are looked at again: a name that now leads
//   to another file has its turns given back and that file's taken.
// - The turns of a set are taken in one fixed order (their keys sorted), so
//   two saves of overlapping sets never hold each other up for good.
// - Between processes a turn is an open file description lock on one byte
//   of a lock file only this user can reach ("locks" in /tmp/qox-locks.<uid>,
//   a folder the user owns with mode 0700; the place does not depend on the
//   environment, so every process of the user meets there). It is released
//   explicitly before its descriptor is closed, so a child forked meanwhile
//   keeps nothing, it dies with the process (kill -9 included), and it never
//   meets the ordinary locks (flock, fcntl) an application or another user
//   takes on the folder or the file. Between threads of one process a turn
//   is also kept in a table of the process's own (a child forked meanwhile
//   starts with an empty one).
// - Without that lock file (another user made a file or folder of that name,
//   /tmp is read-only, or fewer than two descriptors would be left beside it
//   for the commit even once the caller freed what it could) saves take
//   turns within the process only.
// - Saves of one file by two users do not take turns: no user can hold up
//   another's saves.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class KSaveLock
{
public:
    // How long Take waits for another save of one of the files, in
    // milliseconds.
    static const int kWaitMilliseconds = 30000;

    KSaveLock() = default;
    // Gives back every turn held.
    ~KSaveLock() { Release(); }

    KSaveLock(const KSaveLock&) = delete;
    KSaveLock& operator=(const KSaveLock&) = delete;

    // Takes the turn on every file a save changes, given by the paths it
    // puts them on (existing or not), waiting at most kWaitMilliseconds for
    // other saves of them. When descriptors run short for the lock file
    // (see above), freeDescriptors (when given) is called once, and true
    // returned when it freed any. False with EAGAIN when another save still
    // holds one of them at the bound; nothing is then held.
    bool Take(const std::vector<std::string>& files, const std::function<bool()>& freeDescriptors = {});
    // Gives back every turn held; Take may be called again.
    void Release();

private:
    using Deadline = std::chrono::steady_clock::time_point;
    bool TakeKeys(const std::vector<uint64_t>& keys, Deadline deadline);
    bool TakeInProcess(const std::vector<uint64_t>& keys, Deadline deadline);
    bool TakeBetweenProcesses(const std::vector<uint64_t>& keys, Deadline deadline);
    void OpenLockFile(const std::function<bool()>& freeDescriptors);
    void GiveBack();

    std::vector<uint64_t> mKeys;   // held in the process's table, sorted
    std::vector<uint64_t> mLocked; // bytes of the lock file held
    int mFd = -1;                  // this lock's own description of the lock file
};

#endif
