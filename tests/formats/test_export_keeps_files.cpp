// A successful export, in every form, leaves each file as the user had it:
// its mode, owner and group, its other hard links and the symbolic links
// that lead to it; a user saves a file it may write in a folder it may not,
// and a save that cannot be made names its cause.

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include "common/qox_test_files.h"
#include "export_test_util.h"

using namespace qoxsdk_600;
using namespace exporttest;
using qoxtest::ListDirectory;
using qoxtest::ReadFile;
using qoxtest::RunAsUnprivilegedChild;
using qoxtest::TempDir;

namespace {

struct stat StatusOf(const std::string& path)
{
    struct stat status = {};
    lstat(path.c_str(), &status);
    return status;
}

// The files an export to dir/<stem>.<extension> writes.
std::vector<std::string> Written(const Form& form, const std::string& stem)
{
    std::vector<std::string> names{stem + "." + form.extension};
    if (form.format == eEXPORT_OBJ)
        names.insert(names.begin(), stem + ".mtl");
    return names;
}

} // namespace

TEST(ExportKeepsFiles, ModeOwnerAndGroupInEveryForm)
{
    const bool root = geteuid() == 0;
    const mode_t modes[] = {0600, 0640, 0755, 0440, 02755};
    for (const Form& form : kForms)
        for (mode_t mode : modes)
        {
            TempDir dir;
            const std::vector<std::string> names = Written(form, "scene");
            const std::string path = dir.File(names.back());
            std::string error;
            ASSERT_TRUE(ExportQuads(1, path, form.format, error)) << error;
            const size_t small = ReadFile(path).size();
            const uid_t owner = root ? 65534 : geteuid();
            const gid_t group = root ? 12345 : getegid();
            for (const std::string& name : names)
            {
                ASSERT_EQ(chown(dir.File(name).c_str(), owner, group), 0);
                ASSERT_EQ(chmod(dir.File(name).c_str(), mode), 0);
            }
            if (!root && (mode & 0200) == 0)
                continue; // read-only to its owner: refused (see below)
            ASSERT_TRUE(ExportQuads(50, path, form.format, error)) << form.extension << " " << error;
            EXPECT_GT(ReadFile(path).size(), small) << form.extension;
            for (const std::string& name : names)
            {
                const struct stat status = StatusOf(dir.File(name));
                EXPECT_EQ(status.st_mode & 07777, mode) << name << " " << form.format << " " << std::oct << mode;
                EXPECT_EQ(status.st_uid, owner) << name << " " << form.format;
                EXPECT_EQ(status.st_gid, group) << name << " " << form.format;
            }
            EXPECT_EQ(ListDirectory(dir.Path()), names);
        }
}

// Every file of a save (an OBJ's library too) keeps its ACL and extended
// attributes when it is replaced.
TEST(ExportKeepsFiles, AttributesAndAclInEveryForm)
{
    const std::string acl = qoxtest::AccessAcl(12345, 6);
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.extension);
        TempDir dir;
        const std::vector<std::string> names = Written(form, "scene");
        const std::string path = dir.File(names.back());
        std::string error;
        ASSERT_TRUE(ExportQuads(1, path, form.format, error)) << error;
        for (const std::string& name : names)
        {
            const std::string file = dir.File(name);
            if (lsetxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
                lsetxattr(file.c_str(), "user.note", name.data(), name.size(), 0) != 0)
                GTEST_SKIP() << "this file system keeps no ACL or user attribute";
        }
        const ino_t inode = StatusOf(path).st_ino;
        ASSERT_TRUE(ExportQuads(50, path, form.format, error)) << error;
        EXPECT_NE(StatusOf(path).st_ino, inode); // replaced
        for (const std::string& name : names)
        {
            EXPECT_EQ(qoxtest::Attribute(dir.File(name), "system.posix_acl_access"), acl) << name;
            EXPECT_EQ(qoxtest::Attribute(dir.File(name), "user.note"), name);
        }
    }
}

TEST(ExportKeepsFiles, LinksInEveryForm)
{
    for (const Form& form : kForms)
    {
        TempDir dir;
        ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
        const std::string ext = std::string(".") + form.extension;
        const std::string end = dir.File("real/scene" + ext), hard = dir.File("hard" + ext);
        std::string error;
        ASSERT_TRUE(ExportQuads(1, end, form.format, error)) << error;
        const size_t small = ReadFile(end).size();
        ASSERT_EQ(link(end.c_str(), hard.c_str()), 0);
        ASSERT_EQ(symlink(("real/scene" + ext).c_str(), dir.File("link" + ext).c_str()), 0);
        const ino_t inode = StatusOf(end).st_ino;
        ASSERT_TRUE(ExportQuads(50, dir.File("link" + ext), form.format, error)) << error;
        EXPECT_TRUE(S_ISLNK(StatusOf(dir.File("link" + ext)).st_mode)) << form.format;
        EXPECT_EQ(StatusOf(end).st_ino, inode) << form.format;
        EXPECT_EQ(StatusOf(end).st_nlink, 2u) << form.format;
        EXPECT_GT(ReadFile(end).size(), small) << form.format;
        EXPECT_EQ(ReadFile(hard), ReadFile(end)) << form.format;

        // A dangling link: the file is made where it points.
        ASSERT_EQ(symlink(("real/made" + ext).c_str(), dir.File("dangling" + ext).c_str()), 0);
        ASSERT_TRUE(ExportQuads(2, dir.File("dangling" + ext), form.format, error)) << error;
        EXPECT_TRUE(S_ISLNK(StatusOf(dir.File("dangling" + ext)).st_mode)) << form.format;
        EXPECT_TRUE(S_ISREG(StatusOf(dir.File("real/made" + ext)).st_mode)) << form.format;
        std::vector<std::string> real = {"made" + ext, "scene" + ext};
        if (form.format == eEXPORT_OBJ)
            real.push_back("scene.mtl"); // the first export's, beside it (later ones beside the links)
        std::sort(real.begin(), real.end());
        EXPECT_EQ(ListDirectory(dir.File("real")), real) << form.format;
    }
}

// The user saves as nobody when the test runs as root, else as the user
// running it, in folders it may not write (root's, or its own shut ones).
TEST(ExportKeepsFiles, AUserSavesWhatItMayWriteAndIsToldWhyNot)
{
    const uid_t user = qoxtest::OtherUserOrSelf();
    const gid_t group = qoxtest::OtherGroupOrOwn();
    TempDir root;
    chmod(root.Path().c_str(), 0755);
    for (const Form& form : kForms)
    {
        // A folder the user may not write (root's, or its own closed to it),
        // holding its files.
        const std::string shut = root.File(std::string("shut") + std::to_string(form.format));
        const std::string tmp = root.File(std::string("tmp") + std::to_string(form.format));
        const std::string open = root.File(std::string("open") + std::to_string(form.format));
        ASSERT_EQ(mkdir(shut.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
        ASSERT_EQ(chown(tmp.c_str(), user, group), 0);
        const std::vector<std::string> names = Written(form, "scene");
        const std::string path = shut + "/" + names.back();
        std::string error;
        ASSERT_TRUE(ExportQuads(1, path, form.format, error)) << error;
        for (const std::string& name : names)
            ASSERT_EQ(chown((shut + "/" + name).c_str(), user, group), 0);
        ASSERT_EQ(chmod(shut.c_str(), 0555), 0);
        const std::string old = ReadFile(path);
        // A file it may only read (root's, or its own 0444), in a folder it
        // may write.
        const std::string locked = open + "/locked." + form.extension;
        ASSERT_TRUE(qoxtest::WriteFile(locked, "locked"));
        ASSERT_EQ(chmod(locked.c_str(), 0444), 0);

        const int result = RunAsUnprivilegedChild([&] {
            setenv("TMPDIR", tmp.c_str(), 1);
            std::string error;
            {
                qoxtest::FileSizeLimit full(20000);
                if (ExportQuads(3000, path, form.format, error) || error != "Out of disk space")
                    return 1;
            }
            if (ReadFile(path) != old)
                return 2;
            if (!ExportQuads(50, path, form.format, error))
                return 3;
            if (ExportQuads(1, shut + "/new." + form.extension, form.format, error) ||
                error != "File not created: the folder is not writable")
                return 4;
            if (ExportQuads(1, locked, form.format, error) || error != "File not created: the file is read-only")
                return 5;
            return 0;
        });
        EXPECT_EQ(result, 0) << form.format;
        EXPECT_GT(ReadFile(path).size(), old.size()) << form.format;
        EXPECT_EQ(StatusOf(path).st_uid, user);
        EXPECT_EQ(ListDirectory(shut), names) << form.format;
        EXPECT_TRUE(ListDirectory(tmp).empty()) << form.format;
        EXPECT_EQ(ReadFile(locked), "locked");
        EXPECT_EQ(ListDirectory(open), std::vector<std::string>{"locked." + std::string(form.extension)});
        chmod(shut.c_str(), 0755); // for the removal
    }
}
