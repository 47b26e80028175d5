// Where the turns saves take are kept, and what may happen to that place:
// another user taking the name of a user's lock folder in /tmp, a lock
// folder of the user's own with other bits than 0700 or made under a harsh
// umask, something else than a file under the lock file's name, a lock
// folder removed or a lock file replaced while a turn is held or taken; a
// save that can have no lock file at all fails and says why; a child forked
// while a turn is held keeps nothing of it.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/ksavelock.h"
#include "base/ksavelock_private.h"
#include "base/kstagedfiles.h"
#include "common/qox_test_files.h"
#include "test_util.h"

using namespace qoxtest;

namespace {

const uid_t kOther = 12345; // another user, who may write /tmp
// The first of the users of these tests alone, one for each case so that
// each has a lock folder in /tmp of its own; none is in the user database,
// so none has a home folder.
const uid_t kFirstUser = 23460;

// The wait of a save held up in these tests, in milliseconds.
const int kShortWait = 300;

// A process held up for good ends with SIGALRM after this many seconds, so
// that it fails the test instead of hanging it.
const unsigned kHeldForGood = 20;

const char* const kNoLockPlace = "no folder of the user's own can hold the lock that makes saves take turns";

// How a process of a test user starts: who it is, and what it does first
// (sets its environment or umask).
struct User
{
    uid_t id = 0; // 0: root, as this process
    std::function<void()> enter;
};

// Starts body in a child process as user; the child leaves through _exit.
pid_t Start(const User& user, const std::function<int()>& body)
{
    const gid_t group = GroupOf(user.id);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child != 0)
        return child;
    alarm(kHeldForGood);
    if (user.id != 0 && !qoxtest::BecomeUser(user.id, group))
        _exit(126);
    if (user.enter)
        user.enter();
    _exit(body());
}

// The child's exit code, or -1 when it did not exit.
int Finish(pid_t child)
{
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

int RunAs(const User& user, const std::function<int()>& body)
{
    return Finish(Start(user, body));
}

std::string LockFolderInTmp(uid_t user)
{
    return "/tmp/qox-locks." + std::to_string(user);
}

void RemoveAll(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// A folder under parent owned by owner with mode.
std::string MakeDir(const std::string& parent, const std::string& name, uid_t owner, mode_t mode)
{
    const std::string path = parent + "/" + name;
    if (mkdir(path.c_str(), 0700) != 0 || chown(path.c_str(), owner, GroupOf(owner)) != 0 || chmod(path.c_str(), mode) != 0)
        ADD_FAILURE() << "cannot set up " << path;
    return path;
}

struct stat StatusOf(const std::string& path)
{
    struct stat status = {};
    lstat(path.c_str(), &status);
    return status;
}

// One process of user takes the turn on file and holds it; while it does
// (once whileHeld, run here, is done), a second one may not take it, but
// waits its bound and fails with EAGAIN; once the first gives it back a
// third takes it. "" when so, else what happened.
std::string TurnsAreMet(const User& user, const std::string& file, const std::function<void()>& whileHeld = {})
{
    Signal held, go;
    const pid_t holder = Start(user, [&] {
        KSaveLock lock;
        const bool taken = lock.Take({file});
        held.Give();
        return taken && go.Take() ? 0 : 1;
    });
    if (!held.Take())
        return "the first process did not start";
    if (whileHeld)
        whileHeld();
    const auto tryForAMoment = [&] {
        SetSaveLockWaitForTests(kShortWait);
        KSaveLock lock;
        errno = 0;
        if (lock.Take({file}))
            return 0;
        return errno == EAGAIN ? 1 : 2;
    };
    const int meanwhile = RunAs(user, tryForAMoment);
    go.Give();
    const int first = Finish(holder);
    const int after = RunAs(user, tryForAMoment);
    std::string faults;
    if (first != 0)
        faults += "the first process took no turn; ";
    if (meanwhile == 0)
        faults += "a second process took the turn while the first held it; ";
    else if (meanwhile != 1)
        faults += "a second process failed otherwise than by waiting; ";
    if (after != 0)
        faults += "no turn could be had once it was given back; ";
    return faults;
}

// Each case's user: its own id, and the room the test makes for it.
class TestUser
{
public:
    explicit TestUser(uid_t id) : mId(id)
    {
        RemoveAll(LockFolderInTmp(id));
        chmod(mDir.Path().c_str(), 0755);
        mFiles = MakeDir(mDir.Path(), "files", id, 0755);
        if (!WriteFile(File(), "old") || chown(File().c_str(), id, GroupOf(id)) != 0)
            ADD_FAILURE() << "cannot set up " << File();
    }
    ~TestUser() { RemoveAll(LockFolderInTmp(mId)); }

    uid_t Id() const { return mId; }
    // A file of the user's.
    std::string File() const { return mFiles + "/scene.obj"; }
    // A runtime folder of owner's, with mode.
    std::string Runtime(uid_t owner, mode_t mode) const { return MakeDir(mDir.Path(), "runtime", owner, mode); }
    std::string Path() const { return mDir.Path(); }

private:
    uid_t mId;
    TempDir mDir;
    std::string mFiles;
};

// The process's environment: $XDG_RUNTIME_DIR set to runtime, or unset.
std::function<void()> WithRuntime(const std::string& runtime, mode_t mask = 022)
{
    return [runtime, mask] {
        if (runtime.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        umask(mask);
    };
}

// What another user puts under the name of the user's lock folder in /tmp
// first, or what the user itself left there.
enum EInTmp
{
    eNOTHING,
    eOTHERS_FOLDER,   // another user's folder, open to all
    eOTHERS_FILE,     // another user's file
    eOTHERS_LINK,     // another user's link to a folder of its own
    eOWN_FOLDER,      // the user's folder, with the case's mode
    eOWN_FIFO,        // the user's folder (0700) with a FIFO named "locks"
    eOWN_LINK,        // the user's folder (0700) with a link named "locks"
    eOWN_READ_ONLY    // the user's folder (0700) with a lock file 0400
};

void PutInTmp(EInTmp what, uid_t user, mode_t mode, const std::string& room)
{
    const std::string folder = LockFolderInTmp(user);
    const std::string locks = folder + "/locks";
    const User other{kOther, {}};
    switch (what)
    {
    case eNOTHING: break;
    case eOTHERS_FOLDER:
        EXPECT_EQ(RunAs(other, [&] { return mkdir(folder.c_str(), 0777) == 0 && chmod(folder.c_str(), 0777) == 0 ? 0 : 1; }), 0);
        break;
    case eOTHERS_FILE:
        EXPECT_EQ(RunAs(other, [&] { return WriteFile(folder, "") ? 0 : 1; }), 0);
        break;
    case eOTHERS_LINK: {
        const std::string theirs = MakeDir(room, "theirs", kOther, 0777);
        EXPECT_EQ(RunAs(other, [&] { return symlink(theirs.c_str(), folder.c_str()); }), 0);
        break;
    }
    case eOWN_FOLDER: MakeDir("/tmp", folder.substr(5), user, mode); break;
    case eOWN_FIFO:
        MakeDir("/tmp", folder.substr(5), user, 0700);
        EXPECT_EQ(mkfifo(locks.c_str(), 0600), 0);
        EXPECT_EQ(chown(locks.c_str(), user, GroupOf(user)), 0);
        break;
    case eOWN_LINK:
        MakeDir("/tmp", folder.substr(5), user, 0700);
        EXPECT_EQ(symlink("/dev/null", locks.c_str()), 0);
        EXPECT_EQ(lchown(locks.c_str(), user, GroupOf(user)), 0);
        break;
    case eOWN_READ_ONLY:
        MakeDir("/tmp", folder.substr(5), user, 0700);
        EXPECT_TRUE(WriteFile(locks, ""));
        EXPECT_EQ(chown(locks.c_str(), user, GroupOf(user)), 0);
        EXPECT_EQ(chmod(locks.c_str(), 0400), 0);
        break;
    }
}

} // namespace

// Wherever another user or the user's own past left the user's lock folder
// in /tmp, the processes of the user still meet: in that folder when it is
// the user's own and no other user may write it (whatever its other bits,
// with what stood under the lock file's name replaced), else in the user's
// runtime folder.
TEST(KSaveLock, TheProcessesOfAUserMeetWhateverStandsInTmp)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as other users";
    struct Case
    {
        const char* name;
        EInTmp inTmp;
        mode_t mode;        // of the user's own folder
        bool runtime;       // the user has a runtime folder of its own
        mode_t umask;       // the user's processes'
        mode_t folderAfter; // the mode of the lock folder in /tmp after; 0: not the user's
    };
    const Case cases[] = {
        {"another user's folder, open to all", eOTHERS_FOLDER, 0, true, 022, 0},
        {"another user's file", eOTHERS_FILE, 0, true, 022, 0},
        {"another user's link to its folder", eOTHERS_LINK, 0, true, 022, 0},
        {"the user's folder, 0755", eOWN_FOLDER, 0755, false, 022, 0755},
        {"the user's folder, 0750", eOWN_FOLDER, 0750, false, 022, 0750},
        {"the user's folder, 0400", eOWN_FOLDER, 0400, false, 022, 0700},
        {"the user's folder, 0000", eOWN_FOLDER, 0000, false, 022, 0700},
        {"nothing, the first save under umask 0377", eNOTHING, 0, false, 0377, 0700},
        {"nothing, the first save under umask 0377, a runtime folder", eNOTHING, 0, true, 0377, 0700},
        {"a FIFO named locks", eOWN_FIFO, 0, false, 022, 0700},
        {"a link named locks", eOWN_LINK, 0, false, 022, 0700},
        {"a lock file 0400", eOWN_READ_ONLY, 0, false, 022, 0700},
    };
    uid_t id = kFirstUser;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const TestUser user(id++);
        const std::string runtime = c.runtime ? user.Runtime(user.Id(), 0700) : "";
        PutInTmp(c.inTmp, user.Id(), c.mode, user.Path());
        const User process{user.Id(), WithRuntime(runtime, c.umask)};
        EXPECT_EQ(TurnsAreMet(process, user.File()), "");

        const std::string folder = LockFolderInTmp(user.Id());
        const struct stat status = StatusOf(folder);
        if (c.folderAfter == 0)
        {
            EXPECT_NE(status.st_uid, user.Id());
            if (S_ISDIR(status.st_mode))
            {
                EXPECT_TRUE(ListDirectory(folder).empty());
            }
        }
        else
        {
            EXPECT_EQ(status.st_uid, user.Id());
            EXPECT_EQ(status.st_mode & 07777, c.folderAfter);
            const struct stat locks = StatusOf(folder + "/locks");
            EXPECT_TRUE(S_ISREG(locks.st_mode));
            EXPECT_EQ(locks.st_uid, user.Id());
            EXPECT_EQ(locks.st_mode & 07777, 0600u);
        }
        if (c.runtime)
        {
            EXPECT_EQ(StatusOf(runtime + "/qox-locks").st_mode & 07777, 0700u);
            EXPECT_EQ(StatusOf(runtime + "/qox-locks/locks").st_mode & 07777, 0600u);
        }
    }
}

// A runtime folder that is where the home folder's lock folder lives: one
// lock file, whose turn a save takes once, not waiting for itself.
TEST(KSaveLock, ALockFileReachedFromTwoPlacesIsTakenOnce)
{
    const struct passwd* entry = getpwuid(geteuid());
    if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/')
        GTEST_SKIP() << "this user has no home folder";
    const std::string cache = std::string(entry->pw_dir) + "/.cache";
    TempDir dir;
    const std::string file = dir.File("scene.obj");
    const int result = RunAs(User{0, WithRuntime(cache)}, [&] {
        SetSaveLockWaitForTests(kShortWait);
        KSaveLock lock;
        errno = 0;
        if (lock.Take({file}))
            return 0;
        return errno == EAGAIN ? 1 : 2;
    });
    if (result == 2)
        GTEST_SKIP() << "no lock file can be had in " << cache;
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Exists(cache + "/qox-locks/locks"));
}

// Two processes of a user whose lock folder in /tmp another user took save
// one file and its library at once, over many rounds: whichever commits
// last, the files are its own and paired.
TEST(KSaveLock, SavesOfAUserWhoseTmpFolderIsTakenStillTakeTurns)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as other users";
    const TestUser user(kFirstUser + 20);
    PutInTmp(eOTHERS_FOLDER, user.Id(), 0, user.Path());
    const User process{user.Id(), WithRuntime(user.Runtime(user.Id(), 0700))};
    const std::string file = user.File();
    const std::string library = file.substr(0, file.rfind('/')) + "/scene.mtl";
    const std::string texts[2] = {std::string(2 << 20, 'a') + "end of a", std::string(1 << 20, 'b') + "end of b"};
    const int rounds = 30;
    int mixed = 0;
    for (int round = 0; round < rounds; ++round)
    {
        Signal ready[2], go;
        pid_t savers[2];
        for (int s = 0; s < 2; ++s)
            savers[s] = Start(process, [&, s] {
                KStagedFiles files;
                if (!WriteStaged(files, file, texts[s]) || !WriteStaged(files, library, "library " + std::to_string(s)))
                    return 1;
                if (!ready[s].Give() || !go.Take())
                    return 2;
                return files.Commit() ? 0 : 3;
            });
        ASSERT_TRUE(ready[0].Take() && ready[1].Take());
        ASSERT_TRUE(go.Give(2));
        EXPECT_EQ(Finish(savers[0]), 0);
        EXPECT_EQ(Finish(savers[1]), 0);
        const std::string now = ReadFile(file);
        const int which = now == texts[0] ? 0 : now == texts[1] ? 1 : -1;
        if (which < 0 || ReadFile(library) != "library " + std::to_string(which))
            ++mixed;
    }
    EXPECT_EQ(mixed, 0) << "of " << rounds << " rounds";
}

// A user with no lock folder to be had anywhere (the one in /tmp taken by
// another user, no runtime folder of its own) cannot save: the save fails
// and says why, the old file kept and no temporary left.
TEST(KSaveLock, WithoutAnyLockFileASaveFailsAndSaysWhy)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as other users";
    struct Case
    {
        const char* name;
        EInTmp inTmp;
        mode_t mode;          // of the user's own folder in /tmp
        uid_t runtimeOwner;   // 0: no $XDG_RUNTIME_DIR
        mode_t runtimeMode;
    };
    const Case cases[] = {
        {"no runtime folder", eOTHERS_FOLDER, 0, 0, 0},
        {"a runtime folder of another user's", eOTHERS_FILE, 0, kOther, 0700},
        {"a runtime folder others may write", eOTHERS_LINK, 0, 1, 0777},
        {"the user's folder in /tmp others may write", eOWN_FOLDER, 0770, 1, 0730},
    };
    uid_t id = kFirstUser + 30;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const TestUser user(id++);
        PutInTmp(c.inTmp, user.Id(), c.mode, user.Path());
        const uid_t owner = c.runtimeOwner == 1 ? user.Id() : c.runtimeOwner;
        const User process{user.Id(), WithRuntime(owner != 0 ? user.Runtime(owner, c.runtimeMode) : "")};
        const int result = RunAs(process, [&] {
            KSaveLock lock;
            errno = 0;
            if (lock.Take({user.File()}))
                return 1;
            if (errno != ENOLCK || std::string(lock.Cause()) != kNoLockPlace)
                return 2;
            KStagedFiles files;
            if (!WriteStaged(files, user.File(), "new"))
                return 3;
            errno = 0;
            if (files.Commit())
                return 4;
            return files.Error() == ENOLCK && std::string(files.Cause()) == kNoLockPlace ? 0 : 5;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadFile(user.File()), "old");
        EXPECT_EQ(ListDirectory(user.File().substr(0, user.File().rfind('/'))), std::vector<std::string>{"scene.obj"});
    }
}

// A lock folder removed, or a lock file replaced, while a process holds its
// turn: a second process still meets it, in another place.
TEST(KSaveLock, ALockFolderRemovedWhileATurnIsHeldStillKeepsTheTurn)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as other users";
    struct Case
    {
        const char* name;
        bool inTmp;    // the one in /tmp, else the runtime one
        bool replaced; // the lock file replaced by another, else the folder removed
    };
    const Case cases[] = {
        {"the folder in /tmp removed", true, false},
        {"the lock file in /tmp replaced", true, true},
        {"the runtime folder's removed", false, false},
        {"the runtime folder's lock file replaced", false, true},
    };
    uid_t id = kFirstUser + 40;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const TestUser user(id++);
        const std::string runtime = user.Runtime(user.Id(), 0700);
        const User process{user.Id(), WithRuntime(runtime)};
        const std::string folder = c.inTmp ? LockFolderInTmp(user.Id()) : runtime + "/qox-locks";
        const auto removeOrReplace = [&] {
            ASSERT_TRUE(Exists(folder + "/locks"));
            if (!c.replaced)
            {
                RemoveAll(folder);
                return;
            }
            const std::string other = folder + "/other";
            ASSERT_TRUE(WriteFile(other, ""));
            ASSERT_EQ(chown(other.c_str(), user.Id(), GroupOf(user.Id())), 0);
            ASSERT_EQ(chmod(other.c_str(), 0600), 0);
            ASSERT_EQ(rename(other.c_str(), (folder + "/locks").c_str()), 0);
        };
        EXPECT_EQ(TurnsAreMet(process, user.File(), removeOrReplace), "");
    }
}

// A lock file removed or replaced after a process opened it and before it
// took its turn there, while another process takes the turn in the new one:
// the first sees that the name no longer leads to its file and waits for
// the other, in the one place the user has.
TEST(KSaveLock, ALockFileReplacedBeforeATurnIsTakenIsOpenedAgain)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as other users";
    uid_t id = kFirstUser + 50;
    for (const bool replaced : {false, true})
    {
        SCOPED_TRACE(replaced ? "the lock file replaced" : "the lock folder removed");
        const TestUser user(id++);
        const User process{user.Id(), WithRuntime("")};
        const std::string folder = LockFolderInTmp(user.Id());
        const int result = RunAs(process, [&] {
            Signal held, go;
            pid_t holder = -1;
            SetSaveLockWaitForTests(kShortWait);
            SetSaveLockOnOpenForTests([&] {
                if (replaced)
                {
                    if (!WriteFile(folder + "/other", "") || rename((folder + "/other").c_str(), (folder + "/locks").c_str()) != 0)
                        return;
                }
                else
                    RemoveAll(folder);
                // Another process takes the turn in the lock file there now.
                std::fflush(nullptr);
                holder = fork();
                if (holder == 0)
                {
                    KSaveLock other;
                    const bool taken = other.Take({user.File()});
                    held.Give();
                    _exit(taken && go.Take() ? 0 : 1);
                }
                held.Take();
            });
            KSaveLock lock;
            errno = 0;
            const bool taken = lock.Take({user.File()});
            const int error = errno;
            go.Give();
            if (Finish(holder) != 0)
                return 10;
            if (taken)
                return 1;
            return error == EAGAIN ? 0 : 2;
        });
        EXPECT_EQ(result, 0);
    }
}

// A child forked (without exec) while its parent holds turns keeps nothing
// of them: once the parent is killed, the next save of the files takes its
// turn at once, however long the child lives; and the child giving back
// its copies of the locks leaves the parent's turns held.
TEST(KSaveLock, AChildForkedWhileATurnIsHeldKeepsNothingOfIt)
{
    struct Case
    {
        const char* name;
        bool fromAnotherThread; // forked by a thread that holds no turn
        bool childGivesBack;    // the child releases its copies; the parent lives on
    };
    const Case cases[] = {
        {"forked by the thread holding the turns, the parent killed", false, false},
        {"forked by another thread, the parent killed", true, false},
        {"the child gives back its copies, the parent holding on", false, true},
    };
    // Orphans come back here, to be waited for.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string files[2] = {dir.File("scene.obj"), dir.File("other.qox")};
        Signal ready;
        int childPid[2];
        ASSERT_EQ(pipe(childPid), 0);
        const pid_t parent = Start(User{}, [&] {
            KSaveLock locks[2];
            if (!locks[0].Take({files[0]}) || !locks[1].Take({files[1]}))
                return 1;
            const auto forkChild = [&] {
                std::fflush(nullptr);
                const pid_t child = fork();
                if (child != 0)
                    return child;
                if (c.childGivesBack)
                {
                    locks[0].Release();
                    locks[1].Release();
                }
                const pid_t self = getpid();
                if (write(childPid[1], &self, sizeof self) != sizeof self)
                    _exit(1);
                for (;;)
                    pause();
            };
            pid_t child = -1;
            if (c.fromAnotherThread)
                std::thread([&] { child = forkChild(); }).join();
            else
                child = forkChild();
            if (child < 0)
                return 2;
            ready.Give();
            for (;;)
                pause();
        });
        pid_t child = -1;
        ASSERT_EQ(read(childPid[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
        close(childPid[0]);
        close(childPid[1]);
        ASSERT_TRUE(ready.Take());
        if (!c.childGivesBack)
        {
            kill(parent, SIGKILL);
            Finish(parent);
        }
        const int next = RunAs(User{}, [&] {
            SetSaveLockWaitForTests(kShortWait);
            for (const std::string& file : files)
            {
                KSaveLock lock;
                errno = 0;
                if (lock.Take({file}))
                    continue;
                return errno == EAGAIN ? 1 : 2;
            }
            return 0;
        });
        EXPECT_EQ(next, c.childGivesBack ? 1 : 0);
        if (c.childGivesBack)
        {
            kill(parent, SIGKILL);
            Finish(parent);
        }
        kill(child, SIGKILL);
        Finish(child);
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}
