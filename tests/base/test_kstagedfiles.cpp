// Files written under temporary names and moved onto their targets together:
// what a commit replaces and in which order, what an abandoned or failed set
// leaves (the old bytes, no temporary), and the targets that are refused or
// written in place.

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "base/kstagedfiles.h"
#include "common/qox_test_files.h"
#include "test_util.h"

using namespace qoxtest;

namespace {

// Writes text to a file of the set made for target; false when it cannot.
bool WriteStaged(KStagedFiles& files, const std::string& target, const std::string& text)
{
    FILE* file = files.Create(target.c_str());
    if (!file)
        return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

} // namespace

TEST(KStagedFiles, CommitReplacesEveryTargetWithPlainPermissions)
{
    TempDir dir;
    const std::string scene = dir.File("scene.obj"), library = dir.File("scene.mtl");
    ASSERT_TRUE(WriteFile(scene, "old scene"));
    umask(022);
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
    }
    EXPECT_FALSE(files.Holds(scene.c_str()));
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"scene.obj"});
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
