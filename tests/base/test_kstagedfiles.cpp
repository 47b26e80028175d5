// Files written under temporary names and moved onto their targets together:
// what a commit replaces and in which order, what an abandoned or failed set
// leaves (the old bytes, no temporary), and the targets that are refused or
// written in place.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "base/kstagedfiles.h"
#include "common/qox_test_files.h"
#include "test_util.h"

using namespace qoxtest;

TEST(KStagedFiles, CommitReplacesEveryTargetWithPlainPermissions)
{
    TempDir dir;
    const std::string scene = dir.File("scene.obj"), library = dir.File("scene.mtl");
    ASSERT_TRUE(WriteFile(scene, "old scene"));
    // Under umask 022 (0644 below); the user's comes back after.
    struct Umask022
    {
        mode_t mPrevious = umask(022);
        ~Umask022() { umask(mPrevious); }
    } mask;
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, scene, "new scene"));
    ASSERT_TRUE(WriteStaged(files, library, "new library"));
    EXPECT_TRUE(files.Holds(scene.c_str()));
    EXPECT_FALSE(files.IsInPlace(scene.c_str()));
    // Until the commit the targets are as they were, beside two temporaries.
    EXPECT_EQ(ReadFile(scene), "old scene");
    EXPECT_FALSE(Exists(library));
    EXPECT_EQ(ListDirectory(dir.Path()).size(), 3u);
    ASSERT_TRUE(files.Commit());
    EXPECT_TRUE(files.IsEmpty());
    EXPECT_EQ(ReadFile(scene), "new scene");
    EXPECT_EQ(ReadFile(library), "new library");
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"scene.mtl", "scene.obj"}));
    struct stat status;
    ASSERT_EQ(stat(library.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u); // as a plain create gives, not mkstemp's 0600
}

TEST(KStagedFiles, AbandonedOrDestroyedSetsLeaveTheOldBytesAndNoTemporary)
{
    TempDir dir;
    const std::string scene = dir.File("scene.obj");
    const std::string old("old\0bytes\r\n", 11);
    ASSERT_TRUE(WriteFile(scene, old));
    {
        KStagedFiles files;
        ASSERT_TRUE(WriteStaged(files, scene, "partial"));
        files.Abandon();
        EXPECT_TRUE(files.IsEmpty());
        EXPECT_TRUE(files.Commit()); // nothing left to move
    }
    {
        KStagedFiles files;
        ASSERT_TRUE(WriteStaged(files, scene, "partial"));
        ASSERT_TRUE(WriteStaged(files, dir.File("new.mtl"), "partial"));
        const KString named = files.Stage(dir.File("never.tif").c_str()); // staged, never created
        EXPECT_FALSE(named.IsEmpty());
    }
    EXPECT_EQ(ReadFile(scene), old);
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.obj"});
}

TEST(KStagedFiles, TheFileStagedFirstMovesLastAndAFailedMoveStopsTheCommit)
{
    TempDir dir;
    const std::string scene = dir.File("scene.obj"), library = dir.File("scene.mtl");
    ASSERT_TRUE(WriteFile(scene, "old scene"));
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, scene, "new scene"));
    ASSERT_TRUE(WriteStaged(files, library, "new library"));
    // The library's target turns into a directory that a rename cannot replace.
    ASSERT_EQ(mkdir(library.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(library + "/keep", "x"));
    EXPECT_FALSE(files.Commit());
    // The scene, which names the library, was not reached.
    EXPECT_EQ(ReadFile(scene), "old scene");
    EXPECT_TRUE(IsDirectory(library));
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"scene.mtl", "scene.obj"}));
    EXPECT_TRUE(files.IsEmpty());
}

TEST(KStagedFiles, RefusedTargets)
{
    TempDir dir;
    KStagedFiles files;
    errno = 0;
    EXPECT_TRUE(files.Stage(nullptr).IsEmpty());
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(files.Stage("").IsEmpty());
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(files.Stage(dir.Path().c_str()).IsEmpty());
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(files.Create(dir.File("no/such/dir/x.obj").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);
    const std::string twice = dir.File("twice.obj");
    EXPECT_FALSE(files.Stage(twice.c_str()).IsEmpty());
    EXPECT_TRUE(files.Stage(twice.c_str()).IsEmpty());
    EXPECT_EQ(errno, EEXIST);
    files.Abandon();
    EXPECT_TRUE(ListDirectory(dir.Path()).empty());
}

TEST(KStagedFiles, NoTemporaryWithoutAFreeDescriptor)
{
    TempDir dir;
    const std::string scene = dir.File("scene.obj");
    ASSERT_TRUE(WriteFile(scene, "old"));
    KStagedFiles files;
    {
        NoFreeDescriptor none;
        if (!none.Active())
            GTEST_SKIP() << "the descriptor limit cannot be lowered here";
        errno = 0;
        EXPECT_TRUE(files.Stage(scene.c_str()).IsEmpty());
        EXPECT_EQ(errno, EMFILE);
        EXPECT_STREQ(files.Cause(), "too many files are open");
    }
    EXPECT_FALSE(files.Holds(scene.c_str()));
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.obj"});
}

// A commit with no descriptor to spare: a set of a few files, held open, and
// one of more files than a set holds open, most of them closed (parked). It
// saves, or fails naming why with the old files kept; either way no
// temporary stays, for the clean-up opens nothing.
TEST(KStagedFiles, ACommitWithoutAFreeDescriptorLeavesNoTemporary)
{
    for (const int images : {1, 20})
    {
        SCOPED_TRACE(std::to_string(images) + " images");
        TempDir dir;
        const std::string scene = dir.File("scene.obj"), linked = dir.File("image0.tif");
        ASSERT_TRUE(WriteFile(scene, "old scene"));
        ASSERT_TRUE(WriteFile(linked, "old image"));
        ASSERT_EQ(link(linked.c_str(), dir.File("second.tif").c_str()), 0); // rewritten in place
        const std::vector<std::string> before = ListDirectory(dir.Path());
        KStagedFiles files;
        ASSERT_TRUE(WriteStaged(files, scene, "new scene"));
        ASSERT_TRUE(WriteStaged(files, dir.File("scene.mtl"), "new library"));
        for (int i = 0; i < images; ++i)
            ASSERT_TRUE(WriteStaged(files, dir.File("image" + std::to_string(i) + ".tif"), "new image"));
        bool committed;
        {
            NoFreeDescriptor none;
            if (!none.Active())
                GTEST_SKIP() << "the descriptor limit cannot be lowered here";
            committed = files.Commit();
        }
        if (committed)
        {
            EXPECT_EQ(ReadFile(scene), "new scene");
            EXPECT_EQ(ReadFile(dir.File("second.tif")), "new image");
            EXPECT_EQ(ListDirectory(dir.Path()).size(), before.size() + static_cast<size_t>(images));
        }
        else
        {
            EXPECT_STRNE(files.Cause(), "");
            EXPECT_EQ(ReadFile(scene), "old scene");
            EXPECT_EQ(ReadFile(linked), "old image");
            EXPECT_EQ(ListDirectory(dir.Path()), before);
        }
        std::printf("%d images, no descriptor to spare: %s\n", images,
                    committed ? "saved" : (std::string("failed: ") + files.Cause()).c_str());
    }
}

TEST(KStagedFiles, AFileTheUserMayNotWriteStays)
{
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    const std::string locked = dir.File("locked.mtl");
    ASSERT_TRUE(WriteFile(locked, "kept"));
    chmod(locked.c_str(), 0444);
    const int result = RunAsUnprivilegedChild([&] {
        KStagedFiles files;
        errno = 0;
        if (!files.Stage(locked.c_str()).IsEmpty())
            return 1;
        return errno == EACCES ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(locked), "kept");
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"locked.mtl"});
}

TEST(KStagedFiles, DevicesAreWrittenInPlaceAndLinksReplacedWhereTheyLead)
{
    KStagedFiles files;
    EXPECT_EQ(files.Stage("/dev/null"), "/dev/null");
    EXPECT_TRUE(files.IsInPlace("/dev/null"));
    EXPECT_TRUE(files.Commit());
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));

    TempDir dir, other;
    const std::string end = other.File("real.obj"), link = dir.File("link.obj");
    ASSERT_TRUE(WriteFile(end, "old"));
    ASSERT_EQ(symlink(end.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WriteStaged(files, link, "new"));
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"link.obj"}); // the temporary lies beside the end
    ASSERT_TRUE(files.Commit());
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(ReadFile(end), "new");
    EXPECT_EQ(ListDirectory(other.Path()), std::vector<std::string>{"real.obj"});
}

TEST(KStagedFiles, TargetsWithTheLongestNamesAreReplaced)
{
    TempDir dir;
    const std::string target = dir.File(std::string(250, 'n') + ".obj");
    ASSERT_TRUE(WriteFile(target, "old"));
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, target, "new"));
    ASSERT_TRUE(files.Commit());
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ListDirectory(dir.Path()).size(), 1u);
}

namespace {

struct stat StatusOf(const std::string& path)
{
    struct stat status = {};
    lstat(path.c_str(), &status);
    return status;
}

// A directory that the unprivileged child (uid and gid 65534) can reach,
// owned by owner with mode.
std::string ReachableDir(const TempDir& root, const std::string& name, uid_t owner, mode_t mode)
{
    chmod(root.Path().c_str(), 0755);
    const std::string path = root.File(name);
    mkdir(path.c_str(), 0700);
    if (chown(path.c_str(), owner, qoxtest::GroupOf(owner)) != 0 || chmod(path.c_str(), mode) != 0)
        ADD_FAILURE() << "cannot set up " << path;
    return path;
}

} // namespace

TEST(KStagedFiles, AReplacedFileKeepsItsModeOwnerAndGroup)
{
    const bool root = geteuid() == 0;
    struct Case
    {
        mode_t mode;
        uid_t owner;
        gid_t group;
    };
    const Case cases[] = {{0600, 0, 0},          {0640, 0, 0},         {0755, 0, 0},         {0440, 0, 0},
                          {04755, 0, 0},         {02755, 0, 0},        {0600, 65534, 12345}, {0640, 65534, 65534},
                          {04755, 65534, 12345}, {02750, 12345, 12345}};
    qoxtest::CasesNeedingRoot left;
    for (const Case& c : cases)
    {
        std::ostringstream name;
        name << std::oct << c.mode << " of " << std::dec << c.owner << ":" << c.group;
        // Only root may give a file away.
        if (!left.Runs(c.owner != 0, name.str()))
            continue;
        SCOPED_TRACE(name.str());
        TempDir dir;
        const std::string scene = dir.File("scene.qox");
        ASSERT_TRUE(WriteFile(scene, "old scene"));
        const uid_t owner = root ? c.owner : geteuid();
        const gid_t group = root ? c.group : getegid();
        ASSERT_EQ(chown(scene.c_str(), owner, group), 0);
        ASSERT_EQ(chmod(scene.c_str(), c.mode), 0);
        const ino_t oldInode = StatusOf(scene).st_ino;
        KStagedFiles files;
        if (!root && (c.mode & S_IWUSR) == 0)
        {
            // A file its owner keeps from writing is written by root alone:
            // the user is told why, the file stays and nothing is left.
            errno = 0;
            EXPECT_TRUE(files.Stage(scene.c_str()).IsEmpty());
            EXPECT_EQ(errno, EACCES);
            EXPECT_STREQ(files.Cause(), "the file is read-only");
            EXPECT_TRUE(files.IsEmpty());
            EXPECT_EQ(ReadFile(scene), "old scene");
            EXPECT_EQ(StatusOf(scene).st_ino, oldInode);
            EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.qox"});
            continue;
        }
        ASSERT_TRUE(WriteStaged(files, scene, "new scene")) << std::oct << c.mode;
        EXPECT_FALSE(files.IsRewrittenInPlace(scene.c_str()));
        ASSERT_TRUE(files.Commit());
        const struct stat now = StatusOf(scene);
        EXPECT_EQ(ReadFile(scene), "new scene");
        EXPECT_NE(now.st_ino, oldInode); // replaced whole
        EXPECT_EQ(now.st_mode & 07777, c.mode) << std::oct << c.mode;
        EXPECT_EQ(now.st_uid, owner) << std::oct << c.mode;
        EXPECT_EQ(now.st_gid, group) << std::oct << c.mode;
        EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.qox"});
    }
    QOX_SKIP_CASES_LEFT_OUT(left);
}

TEST(KStagedFiles, HardLinksAndSymbolicLinksStay)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
    const std::string scene = dir.File("real/scene.qox"), other = dir.File("other.qox");
    ASSERT_TRUE(WriteFile(scene, "a longer old scene"));
    ASSERT_EQ(link(scene.c_str(), other.c_str()), 0);
    // A relative chain: chain.qox -> sub/next.qox -> ../real/scene.qox.
    ASSERT_EQ(symlink("sub/next.qox", dir.File("chain.qox").c_str()), 0);
    ASSERT_EQ(symlink("../real/scene.qox", dir.File("sub/next.qox").c_str()), 0);
    const ino_t inode = StatusOf(scene).st_ino;
    std::string before = "a longer old scene";
    for (const std::string& name : {scene, other, dir.File("chain.qox")})
    {
        const std::string text = "new from " + name;
        KStagedFiles files;
        ASSERT_TRUE(WriteStaged(files, name, text)) << name;
        EXPECT_TRUE(files.IsRewrittenInPlace(name.c_str()));
        EXPECT_EQ(ReadFile(scene), before); // untouched until the commit
        ASSERT_TRUE(files.Commit()) << name;
        EXPECT_EQ(ReadFile(scene), text);
        EXPECT_EQ(ReadFile(other), text);
        before = text;
        EXPECT_EQ(StatusOf(scene).st_ino, inode);
        EXPECT_EQ(StatusOf(other).st_ino, inode);
        EXPECT_EQ(StatusOf(scene).st_nlink, 2u);
        EXPECT_TRUE(S_ISLNK(StatusOf(dir.File("chain.qox")).st_mode));
        EXPECT_TRUE(S_ISLNK(StatusOf(dir.File("sub/next.qox")).st_mode));
        EXPECT_EQ(ListDirectory(dir.File("real")), std::vector<std::string>{"scene.qox"});
        EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"chain.qox", "other.qox", "real", "sub"}));
    }

    // A dangling link: the file is made where it points, the link stays.
    ASSERT_EQ(symlink("real/made.qox", dir.File("dangling.qox").c_str()), 0);
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, dir.File("dangling.qox"), "made"));
    ASSERT_TRUE(files.Commit());
    EXPECT_TRUE(S_ISLNK(StatusOf(dir.File("dangling.qox")).st_mode));
    EXPECT_EQ(ReadFile(dir.File("real/made.qox")), "made");

    // A loop is refused, and says so.
    ASSERT_EQ(symlink("loop2.qox", dir.File("loop1.qox").c_str()), 0);
    ASSERT_EQ(symlink("loop1.qox", dir.File("loop2.qox").c_str()), 0);
    errno = 0;
    EXPECT_TRUE(files.Stage(dir.File("loop1.qox").c_str()).IsEmpty());
    EXPECT_EQ(errno, ELOOP);
    EXPECT_STREQ(files.Cause(), "the symbolic links form a loop");
    EXPECT_TRUE(S_ISLNK(StatusOf(dir.File("loop1.qox")).st_mode));
}

TEST(KStagedFiles, ARewriteThatCannotFitLeavesTheOldBytes)
{
    TempDir dir;
    const std::string scene = dir.File("scene.qox"), other = dir.File("other.qox");
    const std::string old(3000, 'o');
    ASSERT_TRUE(WriteFile(scene, old));
    ASSERT_EQ(link(scene.c_str(), other.c_str()), 0);
    KStagedFiles files;
    ASSERT_TRUE(WriteStaged(files, scene, std::string(9000, 'n')));
    {
        // The new bytes are complete; the file may not grow to hold them.
        qoxtest::FileSizeLimit small(4096);
        ASSERT_TRUE(small.Active());
        errno = 0;
        EXPECT_FALSE(files.Commit());
        EXPECT_EQ(errno, EFBIG);
    }
    EXPECT_EQ(ReadFile(scene), old);
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"other.qox", "scene.qox"}));
}

TEST(KStagedFiles, AnUnprivilegedUserSavesWhatItMayWrite)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the test needs root to give files to another user and to root";
    TempDir root;
    // Its own folder: its own file is replaced, mode kept; root's file open
    // to all is rewritten in place and stays root's.
    const std::string own = ReachableDir(root, "own", 65534, 0755);
    const std::string mine = own + "/mine.qox", roots = own + "/roots.qox";
    ASSERT_TRUE(WriteFile(mine, "old mine"));
    ASSERT_TRUE(WriteFile(roots, "old roots"));
    ASSERT_EQ(chown(mine.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(mine.c_str(), 0640), 0);
    ASSERT_EQ(chmod(roots.c_str(), 0666), 0);
    // A folder it may not write (root's, 0555) holding a file it may, and a
    // private $TMPDIR of its own for the new contents.
    const std::string shut = ReachableDir(root, "shut", 0, 0755);
    const std::string held = shut + "/held.qox", fresh = shut + "/fresh.qox";
    ASSERT_TRUE(WriteFile(held, std::string(2000, 'o')));
    ASSERT_EQ(chown(held.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(held.c_str(), 0644), 0);
    ASSERT_EQ(chmod(shut.c_str(), 0555), 0);
    const std::string tmp = ReachableDir(root, "tmp", 65534, 0700);
    const std::string locked = own + "/locked.qox";
    ASSERT_TRUE(WriteFile(locked, "locked"));
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);

    const int result = RunAsUnprivilegedChild([&] {
        setenv("TMPDIR", tmp.c_str(), 1);
        KStagedFiles files;
        if (!WriteStaged(files, mine, "new mine") || files.IsRewrittenInPlace(mine.c_str()))
            return 1;
        if (!WriteStaged(files, roots, "new roots") || !files.IsRewrittenInPlace(roots.c_str()))
            return 2;
        if (!WriteStaged(files, held, "new held") || !files.IsRewrittenInPlace(held.c_str()))
            return 3;
        if (!files.Commit())
            return 4;
        // Too large for the file size limit: refused while writing.
        {
            qoxtest::FileSizeLimit small(1000);
            if (WriteStaged(files, held, std::string(5000, 'n')))
                return 5;
            files.Abandon();
        }
        // The causes a refusal names.
        if (!files.Stage(fresh.c_str()).IsEmpty() || errno != EACCES ||
            std::string(files.Cause()) != "the folder is not writable")
            return 6;
        if (!files.Stage(locked.c_str()).IsEmpty() || errno != EACCES ||
            std::string(files.Cause()) != "the file is read-only")
            return 7;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(mine), "new mine");
    EXPECT_EQ(StatusOf(mine).st_mode & 07777, 0640u);
    EXPECT_EQ(StatusOf(mine).st_uid, 65534u);
    EXPECT_EQ(ReadFile(roots), "new roots");
    EXPECT_EQ(StatusOf(roots).st_uid, 0u);
    EXPECT_EQ(StatusOf(roots).st_mode & 07777, 0666u);
    EXPECT_EQ(ReadFile(held), "new held");
    EXPECT_EQ(ReadFile(locked), "locked");
    EXPECT_EQ(ListDirectory(shut), std::vector<std::string>{"held.qox"});
    EXPECT_EQ(ListDirectory(own), (std::vector<std::string>{"locked.qox", "mine.qox", "roots.qox"}));
    EXPECT_TRUE(ListDirectory(tmp).empty());
    chmod(shut.c_str(), 0755); // for the removal
}

// A set of more files than the process may hold open at once (an OBJ with
// many copied images, some of them with second names and so rewritten in
// place) is staged and committed under that limit: a few new files are held
// open, the others closed (parked) and checked again where the commit opens
// them, and the commit opens a few files at a time.
TEST(KStagedFiles, MoreFilesThanDescriptorsAreParkedAndCheckedAgain)
{
    TempDir dir;
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    int highest = 0;
    for (int fd = 0; fd < 256; ++fd)
        if (fcntl(fd, F_GETFD) != -1)
            highest = fd;
    const int files = 300;
    auto image = [&](int i) { return dir.File("image" + std::to_string(i) + ".tif"); };
    qoxtest::CasesNeedingRoot left;
    for (const bool swapOne : {false, true})
    {
        // Another user's file needs root to make.
        if (!left.Runs(swapOne, "one parked file swapped"))
            continue;
        SCOPED_TRACE(swapOne ? "one parked file swapped" : "all parked files kept");
        // Every tenth image exists with a second name.
        for (int i = 0; i < files; i += 10)
        {
            ASSERT_TRUE(WriteFile(image(i), "old"));
            ASSERT_EQ(link(image(i).c_str(), dir.File("second" + std::to_string(i)).c_str()), 0);
        }
        KStagedFiles set;
        rlimit few = old;
        few.rlim_cur = static_cast<rlim_t>(highest + 20);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
        bool staged = true;
        for (int i = 0; i < files && staged; ++i)
            staged = WriteStaged(set, image(i), "image " + std::to_string(i));
        bool committed = false;
        if (staged && swapOne)
        {
            // Another user puts its own file under the first temporary's
            // name (its inode number may well be the one just freed).
            for (const std::string& name : ListDirectory(dir.Path()))
                if (name.rfind("image1.tif.tmp", 0) == 0)
                {
                    EXPECT_EQ(unlink(dir.File(name).c_str()), 0);
                    EXPECT_TRUE(WriteFile(dir.File(name), "theirs"));
                    EXPECT_EQ(chown(dir.File(name).c_str(), 65534, 65534), 0);
                }
        }
        if (staged)
            committed = set.Commit();
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &old), 0);
        ASSERT_TRUE(staged);
        if (swapOne)
        {
            EXPECT_FALSE(committed);
            EXPECT_STREQ(set.Cause(), "another program replaced the file while it was saved");
            EXPECT_FALSE(Exists(image(1)));
            EXPECT_EQ(ReadFile(image(0)), "old");
        }
        else
        {
            EXPECT_TRUE(committed) << set.Cause();
            for (int i = 0; i < files; ++i)
                EXPECT_EQ(ReadFile(image(i)), "image " + std::to_string(i));
            EXPECT_EQ(ReadFile(dir.File("second0")), "image 0");
        }
        EXPECT_EQ(ListDirectory(dir.Path()).size(),
                  static_cast<size_t>(swapOne ? files / 10 * 2 + 1 : files + files / 10));
        for (const std::string& name : ListDirectory(dir.Path()))
            unlink(dir.File(name).c_str());
    }
    QOX_SKIP_CASES_LEFT_OUT(left);
}
