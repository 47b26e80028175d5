// Folders of the user's own as umask 002 leaves them where each user has a
// group of their own: a folder the user owns that only the user's private
// group may write is the user's (the plug-in's settings folder, a folder
// above it, a scene's media folder); one a shared group or others may
// write, or one an access list opens to another user, is refused.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/kuserfolder.h"
#include "common/qox_test_files.h"

namespace {

const uid_t kNobody = 65534;

// Whether the user's primary group is the user's alone, as the user
// database tells it: named as the user, no other member, no other
// account's primary group.
bool PrimaryGroupIsPrivate()
{
    const passwd* self = getpwuid(geteuid());
    if (!self)
        return false;
    const std::string name = self->pw_name;
    const gid_t gid = self->pw_gid;
    const group* entry = getgrgid(gid);
    if (!entry || name != entry->gr_name)
        return false;
    for (char** member = entry->gr_mem; *member; ++member)
        if (name != *member)
            return false;
    bool alone = true;
    setpwent();
    while (const passwd* other = getpwent())
        alone = alone && !(other->pw_gid == gid && other->pw_uid != geteuid());
    endpwent();
    return alone;
}

// A group made for the test with another member ("nobody"), removed again.
struct SharedGroup
{
    std::string mName = "qoxshared" + std::to_string(getpid());
    gid_t mGid = 0;
    bool mMade = false;

    SharedGroup()
    {
        if (geteuid() != 0)
            return;
        const std::string add =
            "groupadd " + mName + " >/dev/null 2>&1 && usermod -a -G " + mName + " nobody >/dev/null 2>&1";
        mMade = std::system(add.c_str()) == 0;
        const group* entry = mMade ? getgrnam(mName.c_str()) : nullptr;
        mMade = entry && entry->gr_mem[0];
        mGid = entry ? entry->gr_gid : 0;
    }
    ~SharedGroup()
    {
        if (mMade || getgrnam(mName.c_str()))
            (void)std::system(("groupdel " + mName + " >/dev/null 2>&1").c_str());
    }
};

enum class Where
{
    eSettings, // the plug-in's settings folder
    eAbove,    // a folder above it
    eMedia     // a scene's "<file>.media"
};

enum class Group
{
    ePrivate, // the user's primary group, the user's alone
    eShared,  // a group with another member
    eAccess   // the private group, and an access list letting another user write
};

} // namespace

TEST(KUserFolder, OnlyTheUsersPrivateGroupMayWriteAFolderOfTheirs)
{
    const bool privateGroup = PrimaryGroupIsPrivate();
    const SharedGroup shared;
    const passwd* self = getpwuid(geteuid());
    ASSERT_NE(self, nullptr);
    const struct
    {
        mode_t mMode;
        Group mGroup;
        bool mAccepted;
    } rows[] = {
        {0775, Group::ePrivate, true},  {0770, Group::ePrivate, true}, {0755, Group::ePrivate, true},
        {0777, Group::ePrivate, false}, {0775, Group::eShared, false}, {0770, Group::eShared, false},
        {0755, Group::eShared, true},   {0777, Group::eShared, false}, {0775, Group::eAccess, false},
    };
    int skipped = 0;
    for (Where where : {Where::eSettings, Where::eAbove, Where::eMedia})
        for (const auto& row : rows)
        {
            const char* place = where == Where::eSettings ? "settings folder"
                                : where == Where::eAbove  ? "above"
                                                          : "media";
            SCOPED_TRACE(std::string(place) + " " + std::to_string(row.mMode) + " group " +
                         std::to_string(int(row.mGroup)));
            if ((row.mGroup == Group::eShared && !shared.mMade) || (row.mGroup != Group::eShared && !privateGroup))
            {
                ++skipped;
                continue;
            }
            qoxtest::TempDir dir;
            char real[PATH_MAX];
            ASSERT_TRUE(realpath(dir.Path().c_str(), real));
            const std::string base = real, above = base + "/cfg", settings = above + "/qoxzelt", lib = base + "/lib",
                              media = lib + "/scene.qox.media";
            ASSERT_EQ(mkdir(above.c_str(), 0700) | mkdir(settings.c_str(), 0700) | mkdir(lib.c_str(), 0700) |
                          mkdir(media.c_str(), 0700),
                      0);
            // The folder the row is about, as another program left it.
            const std::string folder = where == Where::eSettings ? settings : where == Where::eAbove ? above : media;
            const gid_t gid = row.mGroup == Group::eShared ? shared.mGid : self->pw_gid;
            ASSERT_EQ(chown(folder.c_str(), geteuid(), gid), 0);
            ASSERT_EQ(chmod(folder.c_str(), row.mMode), 0);
            if (row.mGroup == Group::eAccess)
            {
                // rwxrwxr-x as the mode shows it, "nobody" writing too.
                const std::string acl = qoxtest::AccessAcl(kNobody, 7, 7, 5, 7, 5);
                if (setxattr(folder.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
                {
                    ++skipped;
                    continue; // no access lists on this file system
                }
            }
            std::string why = "(none)";
            bool accepted = false;
            if (where == Where::eMedia)
            {
                const int at = open(lib.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                ASSERT_GE(at, 0);
                const int opened = KOpenOwnFolderAt(at, "scene.qox.media", media, &why);
                accepted = opened >= 0;
                if (opened >= 0)
                    close(opened);
                close(at);
            }
            else
                accepted = KMakeUserFolder(settings, &why);
            EXPECT_EQ(accepted, row.mAccepted);
            EXPECT_EQ(why, row.mAccepted ? "(none)" : folder + " can be written by other users");
            // Found as it was: a refused folder is not mended, an accepted
            // one keeps its bits.
            struct stat info;
            ASSERT_EQ(stat(folder.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, row.mMode);
            EXPECT_EQ(info.st_gid, gid);
        }
    // Rows that cannot be made here are said, and the test skips when none could.
    const std::string reason = std::to_string(skipped) + " rows need root (a group with another member)" +
                               (privateGroup ? "" : " or a user whose primary group is theirs alone") +
                               ", or access lists on the file system";
    if (skipped == 3 * int(sizeof rows / sizeof rows[0]))
        GTEST_SKIP() << reason;
    if (skipped > 0)
        std::printf("%s\n", reason.c_str());
}

// Root working with another user's home (sudo -E, su without "-"): before
// any folder is made, each folder found on the way must be root's or
// root's own making; a home another user owns, or a folder in it, is
// refused with its name, and nothing is made in it.
TEST(KUserFolder, NothingIsMadeInAFolderOfAnotherUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "not root: giving the home to another user takes root";
    const struct
    {
        const char* mPath;    // under the home
        const char* mTheirs;  // the folder given to another user beforehand, under the home ("": the home)
        bool mOpen;           // through KOpenUserFolder, else KMakeUserFolder
    } rows[] = {
        {".config/qoxzelt", "", false},
        {".cache/qoxsdk/media/lib-scene", "", true},
        {".config/qoxzelt", ".config", false},
        {".cache/qoxsdk/media/lib-scene", ".cache", true},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::string(row.mPath) + " in " + row.mTheirs);
        qoxtest::TempDir dir;
        char real[PATH_MAX];
        ASSERT_TRUE(realpath(dir.Path().c_str(), real));
        const std::string home = std::string(real) + "/home", theirs = *row.mTheirs ? home + "/" + row.mTheirs : home;
        ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
        ASSERT_TRUE(theirs == home || mkdir(theirs.c_str(), 0755) == 0);
        ASSERT_EQ(chown(theirs.c_str(), kNobody, kNobody), 0);
        const std::string path = home + "/" + row.mPath;
        std::string why = "(none)";
        const int opened = row.mOpen ? KOpenUserFolder(path, &why) : KMakeUserFolder(path, &why) ? 0 : -1;
        EXPECT_EQ(opened, -1);
        if (opened > 0)
            close(opened);
        EXPECT_EQ(why, theirs + " belongs to another user");
        EXPECT_EQ(qoxtest::ListDirectory(theirs), std::vector<std::string>{});
    }
}
