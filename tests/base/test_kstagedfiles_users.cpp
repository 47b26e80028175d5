// Saves among other users and other processes: another user who can write
// $TMPDIR or the folder of the file never gets its bytes into a save; two
// processes saving one file take turns, through one name or two, so the
// files end whole and paired; locks others take on the folder or the file,
// or on the name of a user's lock folder, hold up no save;
// a folder closed to new files falls back to /tmp and says why when no place
// is left; a rewrite keeps set-id bits where its owner may put them back; a
// replaced file keeps its extended attributes and ACL.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <signal.h>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "base/kstagedfiles.h"
#include "common/qox_test_files.h"
#include "common/qox_test_threads.h"
#include "test_util.h"

using namespace qoxtest;

namespace {

const uid_t kSaver = 65534;    // the user who saves
const gid_t kSaverGroup = 65534; // its group
const uid_t kOther = 12345;    // another user, sharing folders with it
const gid_t kSharedGroup = 4242;

// Starts body in a child process as user (with group and groups; root when
// user is 0), able to reach its own /proc/self/fd as a logged-in user's
// process can unless plain is set. The child leaves through _exit.
pid_t Start(uid_t user, const std::vector<gid_t>& groups, const std::function<int()>& body, bool dumpable = true)
{
    const gid_t group = groups.empty() ? GroupOf(user) : groups.front();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child != 0)
        return child;
    if (user != 0)
    {
        if (!BecomeUser(user, group, groups))
            _exit(126);
        if (dumpable)
            prctl(PR_SET_DUMPABLE, 1);
    }
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

int RunAs(uid_t user, const std::vector<gid_t>& groups, const std::function<int()>& body, bool dumpable = true)
{
    return Finish(Start(user, groups, body, dumpable));
}

// A directory under parent owned by owner:group with mode.
std::string MakeDir(const std::string& parent, const std::string& name, uid_t owner, gid_t group, mode_t mode)
{
    const std::string path = parent + "/" + name;
    if (mkdir(path.c_str(), 0700) != 0 || chown(path.c_str(), owner, group) != 0 || chmod(path.c_str(), mode) != 0)
        ADD_FAILURE() << "cannot set up " << path;
    return path;
}

// A file at path owned by owner:group with mode, holding text.
void MakeFile(const std::string& path, const std::string& text, uid_t owner, gid_t group, mode_t mode)
{
    if (!WriteFile(path, text) || chown(path.c_str(), owner, group) != 0 || chmod(path.c_str(), mode) != 0)
        ADD_FAILURE() << "cannot set up " << path;
}

struct stat StatusOf(const std::string& path)
{
    struct stat status = {};
    lstat(path.c_str(), &status);
    return status;
}

// Every regular file's contents under path, however deep.
std::vector<std::string> ContentsUnder(const std::string& path)
{
    std::vector<std::string> contents;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored))
        if (entry.is_regular_file(ignored))
            contents.push_back(ReadFile(entry.path().string()));
    return contents;
}

std::string DirectoryOf(const std::string& path)
{
    return path.substr(0, path.rfind('/'));
}

bool HasPrefix(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A save held up for good ends its process with SIGALRM after this many
// seconds, so that it fails the test instead of hanging it.
const unsigned kHeldForGood = 20;

// Saves text to target in a child process of user (root, or this user, for
// 0); 0 when the commit succeeded.
int SaveInChild(uid_t user, const std::string& target, const std::string& text)
{
    return RunAs(user, {}, [&] {
        alarm(kHeldForGood);
        KStagedFiles files;
        if (!WriteStaged(files, target, text))
            return 1;
        return files.Commit() ? 0 : 2;
    });
}

// flock(LOCK_EX) on path, held by a process of user while alive.
class HeldFlock
{
public:
    HeldFlock(uid_t user, const std::string& path)
    {
        mChild = Start(user, {}, [&] {
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            const bool held = fd >= 0 && flock(fd, LOCK_EX) == 0;
            mHeld.Give();
            return held && mRelease.Take() ? 0 : 1;
        });
        mHeld.Take();
    }
    ~HeldFlock()
    {
        mRelease.Give();
        EXPECT_EQ(Finish(mChild), 0) << "the lock was not held";
    }

private:
    Signal mHeld, mRelease;
    pid_t mChild = -1;
};

// Saves text to target through a set, with a pause between the writing and
// the commit; ready is given once the new contents are written, and the
// commit waits for go. 0 when the commit succeeded.
int SaveWithAPause(const std::string& target, const std::string& text, const Signal& ready, const Signal& go)
{
    KStagedFiles files;
    if (!WriteStaged(files, target, text))
        return 1;
    if (!ready.Give() || !go.Take())
        return 2;
    return files.Commit() ? 0 : 3;
}

} // namespace

// Another user who can write $TMPDIR (or what it links to), or the folder of
// the file, swaps what it can find of the save for a file of its own while
// the save waits to commit. The save never takes those bytes.
TEST(KStagedFilesUsers, AnotherUsersBytesNeverReachTheSavedFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as two users";
    const std::string mine(200000, 'm');
    const std::string theirs = "their bytes";
    struct Case
    {
        const char* name;
        bool throughLink;   // $TMPDIR is a link to the shared folder
        bool besideTheFile; // the shared folder is the file's own
        bool hardLinked;    // the file has a second name: rewritten in place
        bool dumpable;      // the saver can reach its own /proc/self/fd
    };
    const Case cases[] = {
        {"$TMPDIR shared", false, false, false, true},
        {"$TMPDIR a link to a shared folder", true, false, false, true},
        {"$TMPDIR shared, no /proc/self/fd", false, false, false, false},
        {"a shared folder, the file hard-linked", false, true, true, true},
        {"a shared folder, the file hard-linked, no /proc/self/fd", false, true, true, false},
        {"a shared folder, the file replaced", false, true, false, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir root;
        chmod(root.Path().c_str(), 0755);
        // The shared folder: the other user's, open to all, not sticky.
        const std::string shared = MakeDir(root.Path(), "shared", kOther, kOther, 0777);
        std::string folder = shared;
        if (!c.besideTheFile)
            folder = MakeDir(root.Path(), "shut", kSaver, kSaver, 0755);
        const std::string file = folder + "/scene.qox";
        MakeFile(file, "old", kSaver, kSaver, 0644);
        if (c.hardLinked)
        {
            ASSERT_EQ(link(file.c_str(), (folder + "/second.qox").c_str()), 0);
        }
        if (!c.besideTheFile)
            chmod(folder.c_str(), 0555); // no temporary beside the file
        const std::string tmpdir = c.throughLink ? root.File("tmplink") : shared;
        if (c.throughLink)
        {
            ASSERT_EQ(symlink(shared.c_str(), tmpdir.c_str()), 0);
        }

        Signal ready, go;
        const pid_t saver = Start(
            kSaver, {},
            [&] {
                setenv("TMPDIR", tmpdir.c_str(), 1);
                return SaveWithAPause(file, mine, ready, go);
            },
            c.dumpable);
        ASSERT_TRUE(ready.Take());
        // The other user puts its own file wherever the save's could be:
        // every folder of the save's in the shared folder is moved away and
        // one of the same name made, holding a file of the file's name; every
        // file of the save's is swapped for one of the same name.
        const int swapped = RunAs(kOther, {}, [&] {
            for (const std::string& name : ListDirectory(shared))
            {
                const std::string path = shared + "/" + name;
                if (HasPrefix(name, "qox."))
                {
                    if (rename(path.c_str(), (path + ".moved").c_str()) != 0 || mkdir(path.c_str(), 0777) != 0 ||
                        !WriteFile(path + "/scene.qox", theirs))
                        return 1;
                }
                else if (HasPrefix(name, "scene.qox."))
                {
                    if (rename(path.c_str(), (shared + "/moved").c_str()) != 0 || !WriteFile(path, theirs))
                        return 2;
                    chmod(path.c_str(), 0666);
                }
            }
            return 0;
        });
        EXPECT_EQ(swapped, 0);
        ASSERT_TRUE(go.Give());
        const int saved = Finish(saver);
        const std::string now = ReadFile(file);
        EXPECT_TRUE(now != theirs);
        if (c.besideTheFile && !c.hardLinked)
        {
            // The temporary to rename was swapped: the save says so, and the
            // old file stays.
            EXPECT_EQ(saved, 3);
            EXPECT_EQ(now, "old");
        }
        else
        {
            EXPECT_EQ(saved, 0);
            EXPECT_TRUE(now == mine) << now.substr(0, 40);
        }
        // Nothing of the save's went where the other user can read it, when
        // the file's own folder is not that place.
        if (!c.besideTheFile)
        {
            for (const std::string& text : ContentsUnder(shared))
                EXPECT_TRUE(text != mine);
        }
        chmod(folder.c_str(), 0755);
    }
}

// The cause the commit names when the temporary was swapped.
TEST(KStagedFilesUsers, ASwappedTemporaryIsNamedAndTheOldFileStays)
{
    TempDir dir;
    const std::string file = dir.File("scene.obj");
    ASSERT_TRUE(WriteFile(file, "old"));
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, file, "new"));
    std::string temporary;
    for (const std::string& name : ListDirectory(dir.Path()))
        if (name != "scene.obj")
            temporary = dir.File(name);
    ASSERT_FALSE(temporary.empty());
    ASSERT_EQ(rename(temporary.c_str(), dir.File("away").c_str()), 0);
    ASSERT_TRUE(WriteFile(temporary, "theirs"));
    EXPECT_FALSE(files.Commit());
    EXPECT_STREQ(files.Cause(), "another program replaced the file while it was saved");
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(ReadFile(temporary), "theirs"); // not the save's to remove
}

// Two processes save one file at once, over many rounds, through one name
// or through hard links in two folders: whichever commits last, the files
// are its own, whole and paired.
TEST(KStagedFilesUsers, TwoSavesOfOneTargetTakeTurns)
{
    struct Case
    {
        const char* name;
        bool hardLinked; // rewritten in place
        bool library;    // a second file saved with the first
        bool twoFolders; // each saves through its own name, in its own folder
        mode_t mode;     // the folders' mode
        uid_t saver;     // 0: root (or this user)
        int rounds;
    };
    const Case cases[] = {
        {"a hard-linked file rewritten in place", true, false, false, 0755, 0, 40},
        {"a file and its library, replaced", false, true, false, 0755, 0, 300},
        {"a hard-linked file and its library", true, true, false, 0755, 0, 40},
        {"one file through names in two folders", true, false, true, 0755, 0, 40},
        {"one file through names in two folders, with a library", true, true, true, 0755, 0, 40},
        {"a folder its user may write but not read", true, false, false, 0333, kSaver, 40},
        {"two folders their user may write but not read", true, false, true, 0333, kSaver, 40},
    };
    CasesNeedingRoot left;
    for (const Case& c : cases)
    {
        // Another user is needed: root reads every folder.
        if (!left.Runs(c.saver != 0, c.name))
            continue;
        SCOPED_TRACE(c.name);
        // The saver's files: root's, or this user's when it is not root.
        const uid_t owner = c.saver != 0 ? c.saver : geteuid();
        const gid_t group = c.saver != 0 ? GroupOf(c.saver) : getegid();
        TempDir dir;
        chmod(dir.Path().c_str(), 0755);
        const std::string folders[2] = {MakeDir(dir.Path(), "a", owner, group, 0755),
                                        c.twoFolders ? MakeDir(dir.Path(), "b", owner, group, 0755) : ""};
        const std::string file = folders[0] + "/scene.obj";
        const std::string names[2] = {file, c.twoFolders ? folders[1] + "/scene.obj" : file};
        MakeFile(file, "old", owner, group, 0644);
        if (c.hardLinked)
        {
            ASSERT_EQ(link(file.c_str(), (c.twoFolders ? names[1] : folders[0] + "/second.obj").c_str()), 0);
        }
        for (const std::string& folder : folders)
            if (!folder.empty())
                chmod(folder.c_str(), c.mode);
        // Contents of different lengths, so that any mix shows.
        const std::string texts[2] = {std::string(3 << 20, 'a') + "end of a", std::string(1 << 20, 'b') + "end of b"};
        int mixed = 0;
        for (int round = 0; round < c.rounds; ++round)
        {
            Signal ready[2], go;
            pid_t savers[2];
            for (int s = 0; s < 2; ++s)
                savers[s] = Start(c.saver, {}, [&, s] {
                    const std::string library = DirectoryOf(names[s]) + "/scene.mtl";
                    KStagedFiles files;
                    if (!WriteStaged(files, names[s], texts[s]) ||
                        (c.library && !WriteStaged(files, library, "library of " + std::to_string(s))))
                        return 1;
                    if (!ready[s].Give() || !go.Take())
                        return 2;
                    return files.Commit() ? 0 : 3;
                });
            ASSERT_TRUE(ready[0].Take());
            ASSERT_TRUE(ready[1].Take());
            ASSERT_TRUE(go.Give(2));
            EXPECT_EQ(Finish(savers[0]), 0);
            EXPECT_EQ(Finish(savers[1]), 0);
            const std::string now = ReadFile(file);
            const int which = now == texts[0] ? 0 : now == texts[1] ? 1 : -1;
            if (which < 0 || (c.library && ReadFile(DirectoryOf(names[which]) + "/scene.mtl") !=
                                               "library of " + std::to_string(which)))
                ++mixed;
        }
        EXPECT_EQ(mixed, 0) << "of " << c.rounds << " rounds";
        for (const std::string& folder : folders)
            if (!folder.empty())
                chmod(folder.c_str(), 0755);
        if (c.hardLinked)
        {
            EXPECT_EQ(StatusOf(file).st_nlink, 2u);
        }
        if (c.twoFolders)
        {
            // Each folder may hold the library of the save through it.
            for (const std::string& folder : folders)
                for (const std::string& entry : ListDirectory(folder))
                    EXPECT_TRUE(entry == "scene.obj" || entry == "scene.mtl") << entry;
        }
        else
        {
            std::vector<std::string> expected{"scene.obj"};
            if (c.hardLinked)
                expected.push_back("second.obj");
            if (c.library)
                expected.insert(expected.begin(), "scene.mtl");
            EXPECT_EQ(ListDirectory(folders[0]), expected);
        }
    }
    QOX_SKIP_CASES_LEFT_OUT(left);
}

// A file in a folder closed to new files is rewritten from a copy in a
// private folder: under $TMPDIR when it is of use, else under /tmp; when
// neither is, the save says why.
TEST(KStagedFilesUsers, WithoutAUsableTmpdirTheCopyGoesToTmpOrTheSaveSaysWhy)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as another user";
    // Not under /tmp: the last case hides /tmp.
    char pattern[] = "/var/tmp/qox_stage_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    chmod(root.c_str(), 0755);
    const std::string shut = MakeDir(root, "shut", 0, 0, 0755);
    const std::string file = shut + "/held.qox";
    MakeFile(file, "old", kSaver, kSaver, 0644);
    chmod(shut.c_str(), 0555);
    const std::string closed = MakeDir(root, "closed", 0, 0, 0755);
    const std::string othersSticky = MakeDir(root, "others", kOther, kOther, 01777);
    MakeFile(root + "/plain", "", 0, 0, 0644);

    const char* const unusable[] = {"/nonexistent/tmp", "", "closed", "others", "plain"};
    int round = 0;
    for (const char* tmpdir : unusable)
    {
        SCOPED_TRACE(tmpdir);
        const std::string value = *tmpdir && tmpdir[0] != '/' ? root + "/" + tmpdir : tmpdir;
        const std::string text = "new " + std::to_string(++round);
        const int result = RunAs(kSaver, {}, [&] {
            if (*tmpdir)
                setenv("TMPDIR", value.c_str(), 1);
            else
                unsetenv("TMPDIR");
            KStagedFiles files;
            if (!WriteStaged(files, file, text))
                return 1;
            if (!files.IsRewrittenInPlace(file.c_str()))
                return 2;
            return files.Commit() ? 0 : 3;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadFile(file), text);
    }
    EXPECT_TRUE(ListDirectory(closed).empty());
    EXPECT_TRUE(ListDirectory(othersSticky).empty());

    // With /tmp read-only too (in a mount namespace of the child's own).
    const int result = RunAs(0, {}, [&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", "/tmp", "tmpfs", MS_RDONLY, nullptr) != 0)
            return 100;
        if (!BecomeUser(kSaver, kSaverGroup))
            return 101;
        setenv("TMPDIR", "/nonexistent/tmp", 1);
        KStagedFiles files;
        errno = 0;
        if (!files.Stage(file.c_str()).IsEmpty())
            return 1;
        if (std::string(files.Cause()) != "the folder is not writable, nor is $TMPDIR or /tmp")
            return 2;
        return errno == EROFS ? 0 : 3;
    });
    if (result == 100)
        std::printf("skipped the case of a read-only /tmp: no mount namespace here\n");
    else
        EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(file), "new 5");
    chmod(shut.c_str(), 0755);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

// The system clears set-id bits when another than root writes a file; a
// rewrite in place puts them back where the process may change the mode.
TEST(KStagedFilesUsers, ARewriteKeepsTheSetIdBitsItsOwnerMayPutBack)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as another user";
    struct Case
    {
        mode_t mode;
        uid_t owner;
        gid_t group;
        bool keeps; // the saver owns the file, so the bits come back
    };
    const Case cases[] = {
        {02775, kSaver, kSaver, true},       {04755, kSaver, kSaver, true},
        {06775, kSaver, kSharedGroup, true}, {02770, kSaver, kSharedGroup, true},
        {02775, 0, kSharedGroup, false}, // a group member: it may write, not chmod
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.mode) + " owner " + std::to_string(c.owner));
        TempDir dir;
        chmod(dir.Path().c_str(), 0777);
        const std::string file = dir.File("tool.qox");
        MakeFile(file, "old contents", c.owner, c.group, c.mode);
        ASSERT_EQ(link(file.c_str(), dir.File("second.qox").c_str()), 0);
        const int result = RunAs(kSaver, {kSaver, kSharedGroup}, [&] {
            KStagedFiles files;
            if (!WriteStaged(files, file, "new contents") || !files.IsRewrittenInPlace(file.c_str()))
                return 1;
            return files.Commit() ? 0 : 2;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadFile(file), "new contents");
        EXPECT_EQ(StatusOf(file).st_uid, c.owner);
        if (c.keeps)
        {
            EXPECT_EQ(StatusOf(file).st_mode & 07777, c.mode);
        }
        else
            EXPECT_EQ(StatusOf(file).st_mode & 0777, c.mode & 0777);
    }
}

// Editors that replace a file keep its extended attributes and ACL; so does
// a save, where the process may set them, also where no /proc is mounted (a
// container or a chroot), and through the name handed out by Stage, which a
// native or 3DS save opens.
TEST(KStagedFilesUsers, AReplacedFileKeepsItsAttributesAndAcl)
{
    struct Case
    {
        const char* name;
        uid_t saver; // 0: root
        std::vector<const char*> attributes;
        bool withoutProc; // an empty file system over /proc, in a mount namespace of the saver's own
    };
    const Case cases[] = {
        {"by root", 0, {"user.note", "trusted.note"}, false},
        {"by its owner", kSaver, {"user.note", "user.other"}, false},
        {"by root without /proc", 0, {"user.note", "trusted.note"}, true},
        {"by its owner without /proc", kSaver, {"user.note", "user.other"}, true},
    };
    CasesNeedingRoot left;
    for (const Case& c : cases)
    {
        if (!left.Runs(c.saver != geteuid() || c.withoutProc, c.name))
            continue;
        SCOPED_TRACE(c.name);
        TempDir dir;
        chmod(dir.Path().c_str(), 0777);
        const std::string file = dir.File("scene.qox");
        const gid_t saverGroup = GroupOf(c.saver);
        MakeFile(file, "old", c.saver, saverGroup, 0640);
        const std::string acl = AccessAcl(kOther, 6);
        if (lsetxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
            GTEST_SKIP() << "this file system keeps no ACL: " << std::strerror(errno);
        for (const char* name : c.attributes)
            ASSERT_EQ(lsetxattr(file.c_str(), name, name, std::strlen(name), 0), 0) << name;
        const mode_t mode = StatusOf(file).st_mode & 07777;
        const ino_t inode = StatusOf(file).st_ino;
        const int kNoNamespace = 100;
        const int result = RunAs(0, {}, [&] {
            if (c.withoutProc &&
                (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 mount("none", "/proc", "tmpfs", 0, nullptr) != 0))
                return kNoNamespace;
            if (c.saver != 0 && !BecomeUser(c.saver, saverGroup))
                return 101;
            prctl(PR_SET_DUMPABLE, 1); // its own /proc/self/fd, where there is one
            if (c.withoutProc && access("/proc/self", F_OK) == 0)
                return 102;
            KStagedFiles files;
            const KString name = files.Stage(file.c_str());
            FILE* written = name.IsEmpty() ? nullptr : std::fopen(name.ToChars(), "wb");
            if (!written || std::fputs("new", written) < 0 || std::fclose(written) != 0 ||
                files.IsRewrittenInPlace(file.c_str()))
                return 1;
            return files.Commit() ? 0 : 2;
        });
        if (result == kNoNamespace)
        {
            std::printf("skipped the case %s: no mount namespace here\n", c.name);
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadFile(file), "new");
        EXPECT_NE(StatusOf(file).st_ino, inode); // replaced, not rewritten
        EXPECT_EQ(StatusOf(file).st_mode & 07777, mode);
        EXPECT_EQ(Attribute(file, "system.posix_acl_access"), acl);
        for (const char* name : c.attributes)
            EXPECT_EQ(Attribute(file, name), name) << name;
        EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.qox"});
    }
    QOX_SKIP_CASES_LEFT_OUT(left);
}

// Saves on several threads of one process take turns as saves of several
// processes do: the lock is taken through each commit's own descriptor.
TEST(KStagedFilesUsers, SavesOnSeveralThreadsTakeTurns)
{
    TempDir dir;
    const std::string file = dir.File("scene.obj"), library = dir.File("scene.mtl");
    ASSERT_TRUE(WriteFile(file, "old"));
    ASSERT_EQ(link(file.c_str(), dir.File("second.obj").c_str()), 0);
    const int threads = 4, rounds = 10;
    std::vector<std::string> texts;
    for (int t = 0; t < threads; ++t)
        texts.push_back(std::string(static_cast<size_t>(200000 * (t + 1)), static_cast<char>('a' + t)));
    for (int round = 0; round < rounds; ++round)
    {
        std::vector<std::thread> savers;
        std::vector<int> results(threads, -1);
        for (int t = 0; t < threads; ++t)
            savers.emplace_back([&, t] {
                KStagedFiles files;
                results[static_cast<size_t>(t)] =
                    WriteStaged(files, file, texts[static_cast<size_t>(t)]) &&
                            WriteStaged(files, library, "library " + std::to_string(t)) && files.Commit()
                        ? 0
                        : 1;
            });
        for (std::thread& saver : savers)
            saver.join();
        for (int result : results)
            EXPECT_EQ(result, 0);
        const std::string now = ReadFile(file);
        const auto which = std::find(texts.begin(), texts.end(), now);
        ASSERT_TRUE(which != texts.end()) << "round " << round << ": a mix of " << now.size() << " bytes";
        EXPECT_EQ(ReadFile(library), "library " + std::to_string(which - texts.begin()));
    }
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"scene.mtl", "scene.obj", "second.obj"}));
}

// Locks others take on the folder or the file (another user who may read
// them, the application itself guarding its project folder) never meet the
// turns saves take: the save goes on at once.
TEST(KStagedFilesUsers, OtherLocksOnTheFolderOrFileNeverHoldUpASave)
{
    struct Case
    {
        const char* name;
        bool ownProcess; // the saving process holds the lock itself
        bool onFile;     // the lock is on the file, else on its folder
    };
    const Case cases[] = {
        {"another user's flock on the folder", false, false},
        {"another user's flock on the file", false, true},
        {"the saving process's own flock on its folder", true, false},
        {"the saving process's own flock on the file", true, true},
    };
    int round = 0;
    CasesNeedingRoot left;
    for (const Case& c : cases)
    {
        // Another user is needed.
        if (!left.Runs(!c.ownProcess, c.name))
            continue;
        SCOPED_TRACE(c.name);
        TempDir dir;
        chmod(dir.Path().c_str(), 0755);
        const std::string file = dir.File("scene.qox");
        MakeFile(file, "old", geteuid(), getegid(), 0644);
        const std::string locked = c.onFile ? file : dir.Path();
        const std::string text = "new " + std::to_string(++round);
        if (c.ownProcess)
        {
            EXPECT_EQ(RunAs(0, {},
                            [&] {
                                const int fd = open(locked.c_str(), O_RDONLY | O_CLOEXEC);
                                if (fd < 0 || flock(fd, LOCK_EX) != 0)
                                    return 10;
                                alarm(kHeldForGood);
                                KStagedFiles files;
                                return WriteStaged(files, file, text) && files.Commit() ? 0 : 1;
                            }),
                      0);
        }
        else
        {
            HeldFlock held(kOther, locked);
            EXPECT_EQ(SaveInChild(0, file, text), 0);
        }
        EXPECT_EQ(ReadFile(file), text);
        EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.qox"});
    }
    QOX_SKIP_CASES_LEFT_OUT(left);
}

// Another user who takes the name of a user's lock folder in /tmp before it
// (and locks the folder of the file too) holds up none of its saves: they go
// on at once through the user's runtime folder, and the saves of one file on
// the threads of one process still take turns.
TEST(KStagedFilesUsers, ALockFolderTakenByAnotherUserHoldsUpNoSave)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to act as two users";
    const uid_t saver = 23456; // a user of this test alone: its lock folder is taken
    const std::string squatted = "/tmp/qox-locks." + std::to_string(saver);
    std::error_code ignored;
    std::filesystem::remove_all(squatted, ignored);
    ASSERT_EQ(RunAs(kOther, {}, [&] { return mkdir(squatted.c_str(), 0777) == 0 && chmod(squatted.c_str(), 0777) == 0 ? 0 : 1; }), 0);
    TempDir dir;
    chmod(dir.Path().c_str(), 0755);
    const std::string runtime = MakeDir(dir.Path(), "runtime", saver, saver, 0700);
    const std::string folder = MakeDir(dir.Path(), "files", saver, saver, 0755);
    const std::string file = folder + "/scene.obj";
    MakeFile(file, "old", saver, saver, 0644);
    ASSERT_EQ(link(file.c_str(), (folder + "/second.obj").c_str()), 0);
#ifdef QOX_TEST_THREAD_SANITIZER
    // Its runtime may refuse threads in a child forked from a process that
    // had many: the saves go one at a time there.
    const int threads = 1;
#else
    const int threads = 4;
#endif
    const int rounds = 10;
    std::vector<std::string> texts;
    for (int t = 0; t < threads; ++t)
        texts.push_back(std::string(static_cast<size_t>(300000 * (t + 1)), static_cast<char>('a' + t)));
    {
        HeldFlock held(kOther, folder);
        const int result = RunAs(saver, {}, [&] {
            alarm(kHeldForGood);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            for (int round = 0; round < rounds; ++round)
            {
                std::vector<std::thread> savers;
                std::vector<int> results(threads, -1);
                for (int t = 0; t < threads; ++t)
                    savers.emplace_back([&, t] {
                        KStagedFiles files;
                        results[static_cast<size_t>(t)] =
                            WriteStaged(files, file, texts[static_cast<size_t>(t)]) && files.Commit() ? 0 : 1;
                    });
                for (std::thread& thread : savers)
                    thread.join();
                for (int outcome : results)
                    if (outcome != 0)
                        return 1;
                if (std::find(texts.begin(), texts.end(), ReadFile(file)) == texts.end())
                    return 2; // a mix
            }
            return 0;
        });
        EXPECT_EQ(result, 0);
    }
    EXPECT_EQ(ListDirectory(folder), (std::vector<std::string>{"scene.obj", "second.obj"}));
    EXPECT_TRUE(ListDirectory(squatted).empty()); // nothing of the saver's went there
    std::filesystem::remove_all(squatted, ignored);
}
