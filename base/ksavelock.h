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
// - The turns of a set are taken in one fixed order (by place, then by key),
//   so two saves of overlapping sets never hold each other up for good.
// - Between processes a turn is an open file description lock on one byte
//   of a lock file "locks" in each folder of the user's own that can be had,
//   taken in every one of them in this order: "qox-locks" in
//   $XDG_RUNTIME_DIR (when that folder is the user's and no other user may
//   write it), ".cache/qox-locks" in the home folder the user database gives,
//   and /tmp/qox-locks.<uid>. A folder of the user's own that no other user
//   may write is used whatever its other bits; one made here is made 0700
//   whatever the umask, and one that lacks u+rwx gets it. A lock file is a
//   regular file of the user's own, mode 0600; anything else under its name
//   in such a folder is removed. Since every process of the user takes the
//   turn in each place it can have, two of them meet wherever their places
//   overlap: one lock folder made unusable by another user, or removed while
//   a turn is held, leaves the others. A lock file whose name no longer
//   leads to it once its turns are held is let go and the turns are taken
//   again on the file the name now leads to.
// - The lock descriptors are close-on-exec, and a child forked without exec
//   closes its copies of every lock descriptor of the process at once, so a
//   turn dies with the process that took it (kill -9 included); the child's
//   copies of the KSaveLock objects hold nothing. No lock ever meets the
//   ordinary locks (flock, fcntl) an application or another user takes on a
//   file or folder. Between threads of one process a turn is also kept in a
//   table of the process's own (a child forked meanwhile starts with an
//   empty one).
// - When no lock file can be had in any place, Take fails (errno ENOLCK,
//   Cause() says why) rather than let the save run without turns; only when
//   the process's own descriptor limit leaves no room for a lock file beside
//   the two a commit needs, even once the caller freed what it could, are
//   the turns the process's alone.
// - Saves of one file by two users do not take turns: no user can hold up
//   another's saves.
// - Nothing here throws: memory running short fails Take with ENOMEM.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
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
    // other saves of them. When descriptors run short for a lock file (see
    // above), freeDescriptors (when given) is called once, and true returned
    // when it freed any. On failure nothing is held and errno says why:
    // EAGAIN when another save still holds one of them at the bound, ENOLCK
    // when no lock file can be had (Cause() names it), ENOMEM when memory ran
    // short, ENFILE when the system is out of open files.
    bool Take(const std::vector<std::string>& files, const std::function<bool()>& freeDescriptors = {});
    // Gives back every turn held; Take may be called again.
    void Release();
    // What made the last Take fail, for a message: "" when it did not fail
    // or errno alone says it (EAGAIN, ENOMEM, ENFILE).
    const char* Cause() const { return mCause; }

private:
    using Deadline = std::chrono::steady_clock::time_point;
    // The folders a lock file is taken in, in order.
    static const int kPlaces = 3;
    struct Place
    {
        int fd = -1;         // this lock's own description of the lock file
        dev_t device = 0;    // the lock file's, to see its name still leads to it
        ino_t inode = 0;
        bool locked = false; // some of its bytes are held
        std::string path;
    };

    bool OpenPlaces(const std::function<bool()>& freeDescriptors);
    bool OpenPlace(int place);
    bool LeavesRoom(int place);
    void ClosePlace(int place);
    bool TakeInProcess(Deadline deadline);
    bool TakeBetweenProcesses(Deadline deadline);
    int LockKeys(int place, Deadline deadline);
    void Unlock(int place);
    bool Busy() const;
    void GiveBack();
    void List();
    void Unlist();
    static void ForgetInChild();

    Place mPlaces[kPlaces];
    bool mWithinProcess = false;  // no lock file for want of descriptors: the turns are the process's
    std::vector<uint64_t> mKeys;  // sorted
    bool mHolding = false;        // mKeys held in the process's table
    bool mListed = false;         // in the process's table (holding keys or descriptors)
    KSaveLock* mPrevious = nullptr;
    KSaveLock* mNext = nullptr;
    const char* mCause = "";
};

#endif
