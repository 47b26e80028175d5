#include "base/kuserfolder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "base/kpath.h"

namespace {

const mode_t kOthersWrite = S_IWGRP | S_IWOTH;
const mode_t kUserFolderMode = 0700;

bool IsAbsolute(const char* path)
{
    return path && path[0] == '/';
}

bool Refuse(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

// The path followed by one "/" ("/" stays).
std::string WithOneSeparator(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path == "/" ? path : path + "/";
}

// The folders from the root down to path: "/a", "/a/b", ... path.
std::vector<std::string> FoldersDownTo(const std::string& path)
{
    std::vector<std::string> folders;
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        if (path[at - 1] != '/')
            folders.push_back(path.substr(0, at));
    if (path.size() > 1 && path.back() != '/')
        folders.push_back(path);
    return folders;
}

// Runs a user database lookup into a buffer grown as it asks.
template <typename Lookup>
int WithRoom(std::vector<char>& buffer, Lookup lookup)
{
    int error;
    while ((error = lookup(buffer)) == ERANGE && buffer.size() < (size_t(1) << 20))
        buffer.resize(buffer.size() * 2);
    return error;
}

// The user database's list of accounts, gone through by one thread at a
// time (the list has one reading position for the whole process) and ended
// however the reading ends.
class Accounts
{
public:
    Accounts()
        : mTurn(Mutex())
    {
        setpwent();
    }
    ~Accounts() { endpwent(); }
    Accounts(const Accounts&) = delete;
    Accounts& operator=(const Accounts&) = delete;

private:
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    std::lock_guard<std::mutex> mTurn;
};

// Whether the group is the user's own private group (see KOnlyUserMayWrite).
bool IsPrivateGroup(uid_t user, gid_t group)
{
    std::vector<char> buffer(16384);
    passwd account;
    passwd* found = nullptr;
    if (WithRoom(buffer,
                 [&](std::vector<char>& room) {
                     return getpwuid_r(user, &account, room.data(), room.size(), &found);
                 }) != 0 ||
        !found || found->pw_gid != group || !found->pw_name)
        return false;
    const std::string name = found->pw_name;

    struct group entry;
    struct group* listed = nullptr;
    if (WithRoom(buffer,
                 [&](std::vector<char>& room) {
                     return getgrgid_r(group, &entry, room.data(), room.size(), &listed);
                 }) != 0 ||
        !listed || !listed->gr_name || name != listed->gr_name)
        return false;
    for (char** member = listed->gr_mem; member && *member; ++member)
        if (name != *member)
            return false;

    bool alone = true;
    Accounts accounts;
    for (;;)
    {
        passwd other;
        passwd* next = nullptr;
        const int error = getpwent_r(&other, buffer.data(), buffer.size(), &next);
        if (error == ERANGE && buffer.size() < (size_t(1) << 20))
        {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !next)
        {
            alone = error == ENOENT || (error == 0 && !next);
            break;
        }
        if (next->pw_gid == group && next->pw_uid != user)
        {
            alone = false;
            break;
        }
    }
    return alone;
}

// Whether the file or folder has an access list beyond its mode bits (one
// that may let other users write it); when that cannot be told, it is taken
// to have one.
bool HasAccessList(int fd, const char* path)
{
    const char* const name = "system.posix_acl_access";
    if ((fd >= 0 ? fgetxattr(fd, name, nullptr, 0) : getxattr(path, name, nullptr, 0)) >= 0)
        return true;
    return errno != ENODATA && errno != ENOTSUP;
}

// True when no user but this one and root can change the folder's entries:
// root's not writable by others, this user's that no other user may write,
// or either one sticky.
bool IsSafeAncestor(const std::string& folder, std::string* why)
{
    struct stat status;
    if (stat(folder.c_str(), &status) != 0)
        return Refuse(why, folder + ": " + strerror(errno));
    if (!S_ISDIR(status.st_mode))
        return Refuse(why, folder + " is not a folder");
    if (status.st_uid != geteuid() && status.st_uid != 0)
        return Refuse(why, folder + " belongs to another user");
    if ((status.st_mode & kOthersWrite) && !(status.st_mode & S_ISVTX) &&
        !(status.st_uid == geteuid() && KOnlyUserMayWrite(status, -1, folder.c_str())))
        return Refuse(why, folder + " can be written by other users");
    return true;
}

// Makes each missing folder down to path, 0700 whatever the umask. Before
// the first is made, every folder found above it is checked
// (IsSafeAncestor): nothing is made in another user's folder, as in the
// home of a user whose $HOME root kept (sudo -E, su without "-"), where
// that user could no longer write it.
bool MakeMissingFolders(const std::string& path, std::string* why)
{
    const std::vector<std::string> folders = FoldersDownTo(path);
    size_t missing = 0;
    struct stat status;
    while (missing < folders.size() && stat(folders[missing].c_str(), &status) == 0)
        ++missing;
    if (missing == folders.size())
        return true;
    if (errno != ENOENT)
        return Refuse(why, folders[missing] + ": " + strerror(errno));
    for (size_t above = 0; above < missing; ++above)
        if (!IsSafeAncestor(folders[above], why))
            return false;
    for (size_t index = missing; index < folders.size(); ++index)
    {
        const std::string& folder = folders[index];
        if (mkdir(folder.c_str(), kUserFolderMode) == 0)
        {
            if (chmod(folder.c_str(), kUserFolderMode) != 0)
                return Refuse(why, folder + ": " + strerror(errno));
        }
        else if (errno != EEXIST)
            return Refuse(why, folder + ": " + strerror(errno));
    }
    return true;
}

// The user's own folder at real (every link resolved, every folder above it
// checked), open as fd (-1: not open): true when it is one, given u+rwx when
// it lacks it.
bool IsUserFolder(const std::string& real, int fd, const struct stat& status, std::string* why)
{
    if (!S_ISDIR(status.st_mode))
        return Refuse(why, real + " is not a folder");
    if (status.st_uid != geteuid())
        return Refuse(why, real + " belongs to another user");
    if (!KOnlyUserMayWrite(status, fd, real.c_str()))
        return Refuse(why, real + " can be written by other users");
    // The user's own folder: the user may have to be let in again.
    if ((status.st_mode & S_IRWXU) != S_IRWXU && chmod(real.c_str(), (status.st_mode & 07777) | S_IRWXU) != 0)
        return Refuse(why, real + ": " + strerror(errno));
    return true;
}

// The folder at path made where missing and resolved: its real path, every
// folder down to it checked; "" (with why) when refused.
std::string MadeAndResolved(const std::string& path, std::string* why)
{
    if (!IsAbsolute(path.c_str()))
    {
        Refuse(why, "no home folder");
        return std::string();
    }
    if (!MakeMissingFolders(path, why))
        return std::string();
    // Checked where the folder really lies, through every symbolic link.
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
    {
        Refuse(why, path + ": " + strerror(errno));
        return std::string();
    }
    const std::string real = resolved;
    for (const std::string& folder : FoldersDownTo(real))
        if (!IsSafeAncestor(folder, why))
            return std::string();
    return real;
}

// Whether this user may make something in the folder open at descriptor at
// (path names what is to be made there): always, but for root, which may
// write every folder and so makes nothing in one another user owns, nor
// below one (another user's home): the user could then no longer remove
// it. Otherwise false, with why naming the folder ("<folder> belongs to
// another user").
bool MayMakeIn(int at, const std::string& path, std::string* why)
{
    if (geteuid() != 0)
        return true;
    const size_t slash = path.find_last_of('/');
    const std::string named = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char resolved[PATH_MAX];
    struct stat status;
    if (!realpath(named.c_str(), resolved) || fstat(at, &status) != 0)
        return Refuse(why, named + ": " + strerror(errno));
    if (status.st_uid != 0)
        return Refuse(why, std::string(resolved) + " belongs to another user");
    for (const std::string& folder : FoldersDownTo(resolved))
    {
        if (stat(folder.c_str(), &status) != 0)
            return Refuse(why, folder + ": " + strerror(errno));
        if (status.st_uid != 0)
            return Refuse(why, folder + " belongs to another user");
    }
    return true;
}

} // namespace

std::string KUserBaseFolder(const char* variable, const char* home, const char* fallback)
{
    if (IsAbsolute(variable))
        return WithOneSeparator(variable);
    std::string base;
    if (IsAbsolute(home))
        base = home;
    else if (!KUserHomeFolder(geteuid(), base))
        base.clear();
    if (base.empty())
        return std::string();
    return WithOneSeparator(WithOneSeparator(base) + (fallback ? fallback : ""));
}

bool KOnlyUserMayWrite(const struct stat& status, int fd, const char* path)
{
    if (status.st_uid != geteuid() || (status.st_mode & S_IWOTH))
        return false;
    return !(status.st_mode & S_IWGRP) || (IsPrivateGroup(status.st_uid, status.st_gid) && !HasAccessList(fd, path));
}

bool KMakeUserFolder(const std::string& path, std::string* why)
{
    const std::string real = MadeAndResolved(path, why);
    if (real.empty())
        return false;
    struct stat status;
    if (stat(real.c_str(), &status) != 0)
        return Refuse(why, real + ": " + strerror(errno));
    return IsUserFolder(real, -1, status, why);
}

int KOpenUserFolder(const std::string& path, std::string* why, std::string* real)
{
    const std::string resolved = MadeAndResolved(path, why);
    if (resolved.empty())
        return -1;
    // The folder checked is the one opened: no other user can change the
    // folders down to it.
    const int folder = open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (folder < 0 || fstat(folder, &status) != 0)
    {
        Refuse(why, resolved + ": " + strerror(errno));
        if (folder >= 0)
            close(folder);
        return -1;
    }
    if (!IsUserFolder(resolved, folder, status, why))
    {
        close(folder);
        return -1;
    }
    if (real)
        *real = resolved;
    return folder;
}

int KOpenOwnFolderAt(int at, const char* name, const std::string& path, std::string* why)
{
    if (!MayMakeIn(at, path, why))
        return -1;
    if (mkdirat(at, name, 0755) != 0 && errno != EEXIST)
    {
        Refuse(why, path + ": " + strerror(errno));
        return -1;
    }
    const int folder = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (folder < 0)
    {
        Refuse(why, errno == ENOTDIR || errno == ELOOP ? path + " is not a folder" : path + ": " + strerror(errno));
        return -1;
    }
    struct stat status;
    bool own = false;
    if (fstat(folder, &status) != 0)
        Refuse(why, path + ": " + strerror(errno));
    else if (status.st_uid != geteuid())
        Refuse(why, path + " belongs to another user");
    else if (!KOnlyUserMayWrite(status, folder, path.c_str()))
        Refuse(why, path + " can be written by other users");
    else
        own = true;
    if (!own)
    {
        close(folder);
        return -1;
    }
    return folder;
}
