#include "base/kstagedfiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest file name part a temporary starts with: its suffix then fits
// within the usual 255-byte name limit however long the target's name is.
const size_t kTemporaryStemMax = 200;

// The bytes copied at a time when a file is rewritten in place.
const size_t kCopyBlock = 64 * 1024;

// The causes a failed save names.
const char* const kIsDirectory = "the target is a directory";
const char* const kFileReadOnly = "the file is read-only";
const char* const kFileSystemReadOnly = "the file system is read-only";
const char* const kFolderNotWritable = "the folder is not writable";
const char* const kNoFolder = "the folder does not exist";
const char* const kLinkLoop = "the symbolic links form a loop";

// The cause of error met making or moving a file in a folder.
const char* FolderCause(int error)
{
    switch (error)
    {
    case EACCES:
    case EPERM: return kFolderNotWritable;
    case EROFS: return kFileSystemReadOnly;
    case ENOENT:
    case ENOTDIR: return kNoFolder;
    case EISDIR: return kIsDirectory;
    case ELOOP: return kLinkLoop;
    default: return "";
    }
}

std::string DirectoryOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// The file a save to target puts its contents on: the end of the chain of
// symbolic links that starts at target (each link's text taken relative to
// the link's own directory), whether it exists or not. False with ELOOP
// past kMaxLinks links, or readlink's errno.
bool LinkEnd(const char* target, std::string& end)
{
    end = target;
    for (int links = 0;; ++links)
    {
        struct stat status;
        if (lstat(end.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return true; // a missing end is made where the chain points
        if (links == KStagedFiles::kMaxLinks)
        {
            errno = ELOOP;
            return false;
        }
        char text[PATH_MAX];
        const ssize_t length = readlink(end.c_str(), text, sizeof text);
        if (length < 0)
            return false;
        if (static_cast<size_t>(length) == sizeof text)
        {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(text, static_cast<size_t>(length));
        if (next.empty())
        {
            errno = ENOENT;
            return false;
        }
        const size_t slash = end.rfind('/');
        if (next[0] == '/' || slash == std::string::npos)
            end = next;
        else
            end = end.substr(0, slash + 1) + next;
    }
}

// True when a file this process makes can be given status's owner and group.
bool CanGiveOwner(const struct stat& status)
{
    const uid_t user = geteuid();
    if (user == 0)
        return true;
    if (status.st_uid != user)
        return false;
    if (status.st_gid == getegid())
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int listed = getgroups(count, groups.data());
    for (int i = 0; i < listed; ++i)
        if (groups[static_cast<size_t>(i)] == status.st_gid)
            return true;
    return false;
}

std::string Stem(const std::string& file)
{
    const size_t slash = file.rfind('/');
    std::string stem = file.substr(slash == std::string::npos ? 0 : slash + 1);
    if (stem.size() > kTemporaryStemMax)
        stem.resize(kTemporaryStemMax);
    return stem;
}

// A name free in directory for a file named after file, reserved by mkstemp
// and released again, so that the caller's exclusive create makes the file
// with plain permissions; "" when none can be made.
KString FreeName(const std::string& directory, const std::string& file)
{
    std::string pattern = directory + "/" + Stem(file) + ".tmpXXXXXX";
    const int fd = mkstemp(&pattern[0]);
    if (fd < 0)
        return KString();
    close(fd);
    unlink(pattern.c_str());
    return KString(pattern.c_str());
}

// A name for file's new contents in a directory of this process's own made
// under $TMPDIR (else /tmp), which only this user can enter; "" when none
// can be made. The directory in privateDir.
KString FreeNamePrivate(const std::string& file, KString& privateDir)
{
    const char* root = std::getenv("TMPDIR");
    std::string pattern = std::string(root && *root ? root : "/tmp") + "/qox.XXXXXX";
    std::string name = pattern + "/" + Stem(file);
    if (!mkdtemp(&pattern[0]))
        return KString();
    name.replace(0, pattern.size(), pattern);
    try
    {
        privateDir = pattern.c_str();
        return KString(name.c_str());
    }
    catch (...)
    {
        rmdir(pattern.c_str()); // memory ran out: nothing stays
        throw;
    }
}

void SyncDirectory(const std::string& directory)
{
    // Failing to flush a directory leaves the rename done: it is not undone.
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
}

} // namespace

KStagedFiles::KStagedFiles() {}

KStagedFiles::~KStagedFiles()
{
    Abandon();
}

const KStagedFiles::Entry* KStagedFiles::Find(const char* target) const
{
    for (const Entry& entry : mEntries)
        if (target && entry.mTarget == target)
            return &entry;
    return nullptr;
}

bool KStagedFiles::Fail(int error, const char* cause)
{
    mCause = cause;
    mError = error;
    errno = error;
    return false;
}

KString KStagedFiles::Stage(const char* target)
{
    mCause = "";
    if (!target || !*target)
    {
        Fail(EINVAL, "");
        return KString();
    }
    if (Find(target))
    {
        Fail(EEXIST, "");
        return KString();
    }
    std::string end;
    if (!LinkEnd(target, end))
    {
        Fail(errno, FolderCause(errno));
        return KString();
    }
    Entry entry;
    entry.mTarget = target;
    entry.mReplaced = end.c_str();
    struct stat status;
    if (stat(end.c_str(), &status) == 0)
    {
        if (S_ISDIR(status.st_mode))
        {
            Fail(EISDIR, kIsDirectory);
            return KString();
        }
        if (!S_ISREG(status.st_mode))
        {
            entry.mKind = eDIRECT;
            entry.mTemporary = entry.mReplaced;
            mEntries.push_back(entry);
            return entry.mTemporary;
        }
        // A file its owner keeps from writing stays as it is.
        if (faccessat(AT_FDCWD, end.c_str(), W_OK, AT_EACCESS) != 0)
        {
            Fail(errno, errno == EROFS ? kFileSystemReadOnly : kFileReadOnly);
            return KString();
        }
        entry.mExisted = true;
        entry.mOwner = status.st_uid;
        entry.mGroup = status.st_gid;
        entry.mMode = status.st_mode & 07777;
        if (status.st_nlink > 1 || !CanGiveOwner(status))
            entry.mKind = eREWRITTEN;
    }
    entry.mTemporary = FreeName(DirectoryOf(end), end);
    if (entry.mTemporary.IsEmpty())
    {
        const int error = errno;
        // An existing file in a folder closed to new files is rewritten.
        if (!entry.mExisted || (error != EACCES && error != EPERM && error != EROFS))
        {
            Fail(error, FolderCause(error));
            return KString();
        }
        entry.mKind = eREWRITTEN;
        try
        {
            entry.mTemporary = FreeNamePrivate(end, entry.mPrivateDir);
        }
        catch (...)
        {
            if (!entry.mPrivateDir.IsEmpty())
                rmdir(entry.mPrivateDir.ToChars());
            throw;
        }
        if (entry.mTemporary.IsEmpty())
        {
            Fail(errno, "");
            return KString();
        }
    }
    try
    {
        mEntries.push_back(entry);
    }
    catch (...)
    {
        Remove(entry);
        throw;
    }
    return entry.mTemporary;
}

FILE* KStagedFiles::Create(const char* target)
{
    const KString name = Stage(target);
    if (name.IsEmpty())
        return nullptr;
    FILE* file = fopen(name.ToChars(), IsInPlace(target) ? "wb" : "wbx");
    if (!file)
    {
        const int cause = errno;
        Remove(mEntries.back());
        mEntries.pop_back();
        Fail(cause, FolderCause(cause));
    }
    return file;
}

bool KStagedFiles::Holds(const char* target) const
{
    return Find(target) != nullptr;
}

bool KStagedFiles::IsInPlace(const char* target) const
{
    const Entry* entry = Find(target);
    return entry && entry->mKind == eDIRECT;
}

bool KStagedFiles::IsRewrittenInPlace(const char* target) const
{
    const Entry* entry = Find(target);
    return entry && entry->mKind == eREWRITTEN;
}

// Readies a file for Put: a temporary that replaces an old file takes its
// owner, group and mode; every temporary is flushed to disk; a file to be
// rewritten is opened and must have room for the new contents.
bool KStagedFiles::Ready(Entry& entry)
{
    if (entry.mKind == eDIRECT)
        return true;
    const int fd = open(entry.mTemporary.ToChars(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Fail(errno, "");
    struct stat status;
    bool ok = fstat(fd, &status) == 0;
    if (ok && entry.mKind == eREPLACED && entry.mExisted)
    {
        // The owner first: a change of owner may clear the set-id bits.
        if ((status.st_uid != entry.mOwner || status.st_gid != entry.mGroup) &&
            fchown(fd, entry.mOwner, entry.mGroup) != 0)
        {
            if (errno == EPERM)
                entry.mKind = eREWRITTEN; // the old file keeps its own owner
            else
                ok = false;
        }
        ok = ok && (entry.mKind == eREWRITTEN || fchmod(fd, entry.mMode) == 0);
    }
    ok = ok && fsync(fd) == 0;
    const int error = errno;
    close(fd);
    if (!ok)
        return Fail(error, "");
    if (entry.mKind == eREPLACED)
        return true;

    // The whole new contents must fit before the old bytes change.
    const off_t size = status.st_size;
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur)
        return Fail(EFBIG, "");
    entry.mTargetFd = open(entry.mReplaced.ToChars(), O_WRONLY | O_CLOEXEC);
    if (entry.mTargetFd < 0)
    {
        const int cause = errno;
        return Fail(cause, cause == EACCES || cause == EPERM ? kFileReadOnly : FolderCause(cause));
    }
    if (size > 0 && fallocate(entry.mTargetFd, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        return Fail(errno, "");
    return true;
}

// Puts a readied file onto its target.
bool KStagedFiles::Put(Entry& entry)
{
    if (entry.mKind == eDIRECT)
        return true;
    const std::string replaced(entry.mReplaced.ToChars());
    if (entry.mKind == eREPLACED)
    {
        if (rename(entry.mTemporary.ToChars(), replaced.c_str()) != 0)
            return Fail(errno, FolderCause(errno));
        SyncDirectory(DirectoryOf(replaced));
        return true;
    }
    const int source = open(entry.mTemporary.ToChars(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return Fail(errno, "");
    char block[kCopyBlock];
    off_t at = 0;
    bool ok = true;
    for (;;)
    {
        const ssize_t got = read(source, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
        {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;)
        {
            const ssize_t put = pwrite(entry.mTargetFd, block + done, static_cast<size_t>(got - done), at);
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            if (ok)
            {
                done += put;
                at += put;
            }
            else if (put == 0)
                errno = ENOSPC;
        }
        if (!ok)
            break;
    }
    ok = ok && ftruncate(entry.mTargetFd, at) == 0 && fsync(entry.mTargetFd) == 0;
    int error = errno;
    close(source);
    if (close(entry.mTargetFd) != 0 && ok)
    {
        error = errno;
        ok = false;
    }
    entry.mTargetFd = -1;
    Remove(entry);
    return ok || Fail(error, "");
}

bool KStagedFiles::Commit()
{
    mCause = "";
    for (Entry& entry : mEntries)
        if (!Ready(entry))
        {
            const int error = errno;
            const char* cause = mCause;
            Abandon();
            return Fail(error, cause);
        }
    while (!mEntries.empty())
    {
        if (!Put(mEntries.back()))
        {
            const int error = errno;
            const char* cause = mCause;
            Abandon();
            return Fail(error, cause);
        }
        mEntries.pop_back();
    }
    return true;
}

void KStagedFiles::Remove(const Entry& entry)
{
    if (entry.mKind == eDIRECT)
        return;
    unlink(entry.mTemporary.ToChars());
    if (!entry.mPrivateDir.IsEmpty())
        rmdir(entry.mPrivateDir.ToChars());
}

void KStagedFiles::Abandon()
{
    const int error = errno;
    for (Entry& entry : mEntries)
    {
        if (entry.mTargetFd >= 0)
            close(entry.mTargetFd);
        Remove(entry);
    }
    mEntries.clear();
    errno = error;
}
