#include "base/kstagedfiles.h"

#include "base/ksavelock.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// The longest file name part a temporary starts with: its suffix then fits
// within the usual 255-byte name limit however long the target's name is.
const size_t kTemporaryStemMax = 200;

// What a temporary's name adds to the stem while it is written, and what a
// complete copy kept for a rewrite in place is renamed to; both followed by
// kRandomLetters letters.
const char* const kWrittenSuffix = ".tmp";
const char* const kCompleteSuffix = ".new";
const size_t kRandomLetters = 6;
// Names tried before a folder full of them is given up (EEXIST).
const int kNameTries = 100;

// The folder made for new contents under $TMPDIR or /tmp, followed by
// kRandomLetters letters.
const char* const kPrivatePrefix = "qox.";

// The bytes copied at a time when a file is rewritten in place.
const size_t kCopyBlock = 64 * 1024;

// The causes a failed save names.
const char* const kIsDirectory = "the target is a directory";
const char* const kFileReadOnly = "the file is read-only";
const char* const kFileSystemReadOnly = "the file system is read-only";
const char* const kFolderNotWritable = "the folder is not writable";
const char* const kNoFolder = "the folder does not exist";
const char* const kLinkLoop = "the symbolic links form a loop";
const char* const kNoStagingFolder = "the folder is not writable, nor is $TMPDIR or /tmp";
const char* const kReplacedMeanwhile = "another program replaced the file while it was saved";
const char* const kAnotherSaving = "another program is saving it";

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

std::string NameOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

// Closes fd when it is open and marks it closed; errno is kept.
void CloseFd(int& fd)
{
    if (fd < 0)
        return;
    const int error = errno;
    close(fd);
    fd = -1;
    errno = error;
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
    std::string stem = NameOf(file);
    if (stem.size() > kTemporaryStemMax)
        stem.resize(kTemporaryStemMax);
    return stem;
}

// kRandomLetters letters and digits for a free name.
std::string RandomLetters()
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomLetters];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes))
    {
        // No entropy yet: the exclusive create still keeps names apart.
        static thread_local unsigned long counter = 0;
        unsigned long mix = (static_cast<unsigned long>(getpid()) << 20) ^ reinterpret_cast<uintptr_t>(&counter) ^
                            ++counter * 2654435761u;
        for (unsigned char& byte : bytes)
        {
            byte = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005u + 1442695040888963407u;
            byte ^= static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string letters;
    for (unsigned char byte : bytes)
        letters += kLetters[byte % (sizeof kLetters - 1)];
    return letters;
}

// Creates a new file in directory under stem + suffix + random letters,
// exclusively; its descriptor, and its name in name. -1 with errno when none
// can be made.
int CreateFree(int directory, const std::string& stem, const char* suffix, mode_t mode, std::string& name)
{
    for (int tries = 0; tries < kNameTries; ++tries)
    {
        name = stem + suffix + RandomLetters();
        const int fd = openat(directory, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Renames the file name in directory to a free stem + suffix + letters
// name; true with the new name in name.
bool RenameFree(int directory, const std::string& stem, const char* suffix, std::string& name)
{
    for (int tries = 0; tries < kNameTries; ++tries)
    {
        const std::string next = stem + suffix + RandomLetters();
        if (renameat2(directory, name.c_str(), directory, next.c_str(), RENAME_NOREPLACE) == 0)
        {
            name = next;
            return true;
        }
        if (errno == EINVAL || errno == ENOSYS)
        {
            // A file system without RENAME_NOREPLACE: a link keeps the same
            // promise of never taking another file's name.
            if (linkat(directory, name.c_str(), directory, next.c_str(), 0) == 0)
            {
                unlinkat(directory, name.c_str(), 0);
                name = next;
                return true;
            }
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// The name the caller writes fd's file under: this process's own link to the
// descriptor where /proc shows it (no other process can redirect it), else
// path.
KString HandedName(int fd, const std::string& path)
{
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    struct stat viaLink, viaFd;
    if (stat(link.c_str(), &viaLink) == 0 && fstat(fd, &viaFd) == 0 && viaLink.st_dev == viaFd.st_dev &&
        viaLink.st_ino == viaFd.st_ino)
        return KString(link.c_str());
    return KString(path.c_str());
}

// Opens directory (O_PATH), a handle every later step works through.
int OpenDirectory(const std::string& directory)
{
    return open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// True when a folder that holds private folders cannot have their names
// swapped by another user: its owner is this user or root, and no one else
// may write it, or it is sticky (no one renames what is not theirs).
bool IsSafeRoot(const struct stat& status)
{
    const bool owned = status.st_uid == geteuid() || status.st_uid == 0;
    const bool shared = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return S_ISDIR(status.st_mode) && owned && (!shared || (status.st_mode & S_ISVTX));
}

// Makes a directory of this process's own ("qox.XXXXXX") under root and
// opens it, checking through the descriptors that root is safe (above) and
// that the directory is one this user owns and no one else may enter.
// Its path in path; -1 with errno (EACCES for an unsafe root) when none can
// be made.
int MakePrivateDirectory(const std::string& root, std::string& path)
{
    const int parent = open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat status;
    if (parent < 0)
        return -1;
    if (fstat(parent, &status) != 0 || !IsSafeRoot(status))
    {
        close(parent);
        errno = EACCES;
        return -1;
    }
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < kNameTries; ++tries)
    {
        const std::string name = std::string(kPrivatePrefix) + RandomLetters();
        if (mkdirat(parent, name.c_str(), 0700) != 0)
        {
            if (errno == EEXIST)
                continue;
            break;
        }
        fd = openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && (fstat(fd, &status) != 0 || status.st_uid != geteuid() || (status.st_mode & 07777) != 0700))
        {
            close(fd); // not the one made: it is not this process's to use
            fd = -1;
            errno = EACCES;
            break;
        }
        path = root + "/" + name;
    }
    const int error = errno;
    close(parent);
    errno = error;
    return fd;
}

// Flushes the directory a handle names. Failing to flush a directory leaves
// the change made: it is not undone.
void SyncDirectory(int directory)
{
    const int fd = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
}

// The path through which another file's attributes of fd are read and set.
std::string FdPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Copies the extended attributes of the file at from (ACLs among them) onto
// the file open as to; those the process may not read or set are left out.
void CopyAttributes(const std::string& from, int to)
{
    ssize_t size = listxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return;
    std::vector<char> names(static_cast<size_t>(size));
    size = listxattr(from.c_str(), names.data(), names.size());
    if (size <= 0)
        return;
    std::vector<char> value;
    for (size_t at = 0; at < static_cast<size_t>(size); at += std::strlen(&names[at]) + 1)
    {
        const char* name = &names[at];
        const ssize_t length = getxattr(from.c_str(), name, nullptr, 0);
        if (length < 0)
            continue;
        value.resize(static_cast<size_t>(length) + 1);
        const ssize_t got = getxattr(from.c_str(), name, value.data(), value.size());
        if (got >= 0)
            fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0);
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
    try
    {
        // Out of descriptors, the files staged before are parked and the
        // new one tried once more.
        bool made = MakeFile(entry);
        if (!made && (errno == EMFILE || errno == ENFILE) && Park())
            made = MakeFile(entry);
        if (!made)
        {
            Remove(entry);
            Fail(mError, mCause);
            return KString();
        }
        mEntries.push_back(entry);
    }
    catch (...)
    {
        Remove(entry);
        throw;
    }
    return entry.mTemporary;
}

// Makes entry's new file beside its target or, for an existing file in a
// folder closed to new files, in a private folder. False with the error and
// cause recorded.
bool KStagedFiles::MakeFile(Entry& entry)
{
    if (StageBeside(entry))
        return true;
    const int error = errno;
    if (!entry.mExisted || (error != EACCES && error != EPERM && error != EROFS))
        return Fail(error, FolderCause(error));
    entry.mKind = eREWRITTEN;
    if (StagePrivate(entry))
        return true;
    const int cause = errno;
    return Fail(cause, cause == EMFILE || cause == ENFILE || cause == ENOMEM ? "" : kNoStagingFolder);
}

// Creates entry's new file beside its target, with the permissions a plain
// create gives (the caller's umask), readable and writable by this process.
bool KStagedFiles::StageBeside(Entry& entry)
{
    const std::string end(entry.mReplaced.ToChars());
    const std::string directory = DirectoryOf(end);
    int folder = OpenDirectory(directory);
    if (folder < 0)
        return false;
    std::string name;
    entry.mFile = CreateFree(folder, Stem(end), kWrittenSuffix, 0666, name);
    CloseFd(folder);
    if (entry.mFile < 0)
        return false;
    entry.mStagedName = name.c_str();
    struct stat status;
    if (fstat(entry.mFile, &status) != 0)
        return false;
    entry.mDevice = status.st_dev;
    entry.mInode = status.st_ino;
    entry.mCreatedMode = status.st_mode & 07777;
    // The caller opens it again by name: its owner must be able to write it
    // whatever the umask took away; the plain mode comes back at commit.
    if ((entry.mCreatedMode & 0600) != 0600 && fchmod(entry.mFile, entry.mCreatedMode | 0600) != 0)
        return false;
    entry.mTemporary = HandedName(entry.mFile, directory + "/" + name);
    return true;
}

// Creates entry's new file in a directory of this process's own under
// $TMPDIR, else /tmp.
bool KStagedFiles::StagePrivate(Entry& entry)
{
    const char* variable = std::getenv("TMPDIR");
    std::vector<std::string> roots;
    if (variable && *variable)
        roots.push_back(variable);
    if (roots.empty() || roots.front() != "/tmp")
        roots.push_back("/tmp");
    int error = EACCES;
    for (const std::string& root : roots)
    {
        std::string path, name;
        const int directory = MakePrivateDirectory(root, path);
        if (directory < 0)
        {
            error = errno;
            continue;
        }
        entry.mPrivateDir = path.c_str();
        entry.mStagingDir = directory;
        entry.mFile = CreateFree(directory, Stem(entry.mReplaced.ToChars()), kWrittenSuffix, 0600, name);
        struct stat status;
        if (entry.mFile >= 0 && fstat(entry.mFile, &status) == 0)
        {
            entry.mStagedName = name.c_str();
            entry.mDevice = status.st_dev;
            entry.mInode = status.st_ino;
            entry.mTemporary = HandedName(entry.mFile, path + "/" + name);
            return true;
        }
        error = errno;
        Remove(entry);
    }
    errno = error;
    return false;
}

// Closes the new files of the set that are held open; Ready opens them again
// and checks each is still the file made. True when any was closed.
bool KStagedFiles::Park()
{
    bool parked = false;
    for (Entry& entry : mEntries)
        if (entry.mFile >= 0 && entry.mKind != eDIRECT)
        {
            CloseFd(entry.mFile);
            parked = true;
        }
    return parked;
}

FILE* KStagedFiles::Create(const char* target)
{
    const KString name = Stage(target);
    if (name.IsEmpty())
        return nullptr;
    // A new file is written through the descriptor that made it, never
    // reached again by name.
    const Entry& entry = mEntries.back();
    FILE* file = nullptr;
    if (entry.mKind == eDIRECT)
        file = fopen(name.ToChars(), "wb");
    else
    {
        int fd = fcntl(entry.mFile, F_DUPFD_CLOEXEC, 0);
        file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (!file)
            CloseFd(fd);
    }
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

// The directory holding entry's new file: its private one, else its target's.
int KStagedFiles::StagingDir(const Entry& entry)
{
    return entry.mStagingDir >= 0 ? entry.mStagingDir : entry.mTargetDir;
}

// Opens what a commit works through: the target's directory and, for a
// parked file, the new file again, which must be the one made (another user
// who can write the folder may have put another under its name).
bool KStagedFiles::Reopen(Entry& entry)
{
    if (entry.mTargetDir < 0)
    {
        entry.mTargetDir = OpenDirectory(DirectoryOf(entry.mReplaced.ToChars()));
        if (entry.mTargetDir < 0)
            return Fail(errno, FolderCause(errno));
    }
    if (entry.mFile >= 0)
        return true;
    entry.mFile = openat(StagingDir(entry), entry.mStagedName.ToChars(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    struct stat status;
    if (entry.mFile < 0 || fstat(entry.mFile, &status) != 0)
        return Fail(errno, "");
    // A file of the same inode number made meanwhile by another user (the
    // number may be used again once the name is gone) is not this user's.
    if (status.st_dev != entry.mDevice || status.st_ino != entry.mInode || status.st_uid != geteuid())
    {
        CloseFd(entry.mFile);
        entry.mStagedName = KString(); // not this save's to remove
        return Fail(EEXIST, kReplacedMeanwhile);
    }
    return true;
}

// Readies a file for Put: a new file that replaces an old one takes its
// owner, group, attributes and mode, a file new to its target gets back its
// plain mode; every new file is flushed to disk; a file to be rewritten is
// opened and must have room for the new contents.
bool KStagedFiles::Ready(Entry& entry)
{
    if (entry.mKind == eDIRECT)
        return true;
    if (!Reopen(entry))
        return false;
    bool ok = true;
    if (entry.mKind == eREPLACED && entry.mExisted)
    {
        struct stat status;
        ok = fstat(entry.mFile, &status) == 0;
        // The owner first: a change of owner may clear the set-id bits.
        if (ok && (status.st_uid != entry.mOwner || status.st_gid != entry.mGroup) &&
            fchown(entry.mFile, entry.mOwner, entry.mGroup) != 0)
        {
            if (errno == EPERM)
                entry.mKind = eREWRITTEN; // the old file keeps its own owner
            else
                ok = false;
        }
        if (ok && entry.mKind == eREPLACED)
        {
            const int old = openat(entry.mTargetDir, NameOf(entry.mReplaced.ToChars()).c_str(),
                                   O_PATH | O_NOFOLLOW | O_CLOEXEC);
            if (old >= 0)
            {
                CopyAttributes(FdPath(old), entry.mFile);
                close(old);
            }
            ok = fchmod(entry.mFile, entry.mMode) == 0;
        }
    }
    else if (entry.mKind == eREPLACED && (entry.mCreatedMode & 0600) != 0600)
        ok = fchmod(entry.mFile, entry.mCreatedMode) == 0;
    ok = ok && fsync(entry.mFile) == 0;
    if (!ok)
        return Fail(errno, "");
    return entry.mKind == eREPLACED || ReadyRewrite(entry);
}

// Readies a rewrite in place: the complete copy kept under its own name and
// flushed with its directory, so it survives whatever happens to the file;
// then the file opened and checked to hold it.
bool KStagedFiles::ReadyRewrite(Entry& entry)
{
    std::string name(entry.mStagedName.ToChars());
    if (!RenameFree(StagingDir(entry), Stem(entry.mReplaced.ToChars()), kCompleteSuffix, name))
        return Fail(errno, "");
    entry.mStagedName = name.c_str();
    SyncDirectory(StagingDir(entry));

    struct stat status;
    if (fstat(entry.mFile, &status) != 0)
        return Fail(errno, "");
    const off_t size = status.st_size;
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur)
        return Fail(EFBIG, "");
    entry.mTargetFd = openat(entry.mTargetDir, NameOf(entry.mReplaced.ToChars()).c_str(),
                             O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (entry.mTargetFd < 0)
    {
        const int cause = errno;
        return Fail(cause, cause == EACCES || cause == EPERM ? kFileReadOnly : FolderCause(cause));
    }
    // The mode as it stands now is the one the rewrite keeps.
    if (fstat(entry.mTargetFd, &status) != 0)
        return Fail(errno, "");
    if (!S_ISREG(status.st_mode))
        return Fail(EISDIR, "");
    entry.mMode = status.st_mode & 07777;
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
    if (entry.mKind == eREWRITTEN)
        return Rewrite(entry);
    // Another user who can write the folder may have swapped the temporary:
    // what stands under its name must be the file this save wrote, before
    // the rename and after it.
    const std::string name = NameOf(entry.mReplaced.ToChars());
    struct stat put;
    if (fstatat(entry.mTargetDir, entry.mStagedName.ToChars(), &put, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(errno, "");
    if (put.st_dev != entry.mDevice || put.st_ino != entry.mInode)
        return Fail(EEXIST, kReplacedMeanwhile);
    if (renameat(entry.mTargetDir, entry.mStagedName.ToChars(), entry.mTargetDir, name.c_str()) != 0)
        return Fail(errno, FolderCause(errno));
    const bool same = fstatat(entry.mTargetDir, name.c_str(), &put, AT_SYMLINK_NOFOLLOW) == 0 &&
                      put.st_dev == entry.mDevice && put.st_ino == entry.mInode;
    entry.mStagedName = KString(); // nothing left to remove
    SyncDirectory(entry.mTargetDir);
    Remove(entry);
    return same || Fail(EEXIST, kReplacedMeanwhile);
}

// Copies the new contents over the file's old bytes from the descriptor that
// wrote them, cuts and flushes the file, puts back set-id bits the write
// cleared where the process may, and only then removes the complete copy.
bool KStagedFiles::Rewrite(Entry& entry)
{
    std::vector<char> block(kCopyBlock);
    off_t at = 0;
    bool ok = true;
    bool changed = false; // an old byte may have changed
    for (;;)
    {
        const ssize_t got = pread(entry.mFile, block.data(), block.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
        {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;)
        {
            const ssize_t put = pwrite(entry.mTargetFd, block.data() + done, static_cast<size_t>(got - done), at);
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            if (ok)
            {
                done += put;
                at += put;
                changed = true;
            }
            else if (put == 0)
                errno = ENOSPC;
        }
        if (!ok)
            break;
    }
    changed = changed || ok;
    ok = ok && ftruncate(entry.mTargetFd, at) == 0;
    struct stat status;
    if (ok && fstat(entry.mTargetFd, &status) == 0 && (status.st_mode & 07777) != entry.mMode &&
        (geteuid() == 0 || status.st_uid == geteuid()))
        fchmod(entry.mTargetFd, entry.mMode);
    ok = ok && fsync(entry.mTargetFd) == 0;
    int error = errno;
    if (close(entry.mTargetFd) != 0 && ok)
    {
        error = errno;
        ok = false;
    }
    entry.mTargetFd = -1;
    if (!ok && changed)
    {
        // The file may be partly rewritten: the complete copy stays for the user.
        entry.mStagedName = KString();
        entry.mPrivateDir = KString();
    }
    Remove(entry);
    return ok || Fail(error, "");
}

bool KStagedFiles::Commit()
{
    mCause = "";
    // Saves of these files take turns, whatever names they come through;
    // out of descriptors for the lock, the new files are parked first.
    std::vector<std::string> changed;
    for (const Entry& entry : mEntries)
        if (entry.mKind != eDIRECT)
            changed.push_back(entry.mReplaced.ToChars());
    KSaveLock lock;
    if (!changed.empty() && !lock.Take(changed, [this] { return Park(); }))
    {
        const int error = errno;
        Abandon();
        return Fail(error, kAnotherSaving);
    }
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

// Closes what entry holds and removes its new file and private directory,
// where they are still named; a direct target stays.
void KStagedFiles::Remove(Entry& entry)
{
    const int error = errno;
    if (entry.mKind != eDIRECT && !entry.mStagedName.IsEmpty())
    {
        int folder = StagingDir(entry);
        int opened = -1;
        if (folder < 0)
            folder = opened = OpenDirectory(DirectoryOf(entry.mReplaced.ToChars()));
        // Only the file this save made, never another put under its name.
        struct stat status;
        if (folder >= 0 && fstatat(folder, entry.mStagedName.ToChars(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            status.st_dev == entry.mDevice && status.st_ino == entry.mInode)
            unlinkat(folder, entry.mStagedName.ToChars(), 0);
        CloseFd(opened);
    }
    if (!entry.mPrivateDir.IsEmpty())
        rmdir(entry.mPrivateDir.ToChars());
    entry.mStagedName = KString();
    entry.mPrivateDir = KString();
    CloseFd(entry.mTargetFd);
    CloseFd(entry.mFile);
    CloseFd(entry.mStagingDir);
    CloseFd(entry.mTargetDir);
    errno = error;
}

void KStagedFiles::Abandon()
{
    const int error = errno;
    for (Entry& entry : mEntries)
        Remove(entry);
    mEntries.clear();
    errno = error;
}
