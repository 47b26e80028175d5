#include "base/kstagedfiles.h"

#include "base/kfilecause.h"
#include "base/ksavelock.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

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
const char* const kNoStagingFolder = "the folder is not writable, nor is $TMPDIR or /tmp";
const char* const kReplacedMeanwhile = "another program replaced the file while it was saved";
const char* const kAttributesUnread = "the file's extended attributes could not be read";

// The most new files a set holds open at once; the ones staged before are
// closed (parked) and opened again where a step of the commit needs them.
const int kHeldFiles = 4;

// How often a list or value of extended attributes that grew while it was
// read is read again.
const int kAttributeTries = 8;

// The cause of error where no other is known: a process out of descriptors
// can be given more, a name too long can be shortened.
const char* PlainCause(int error)
{
    return error == EMFILE || error == ENFILE || error == ENAMETOOLONG ? KFileErrorCause(error) : "";
}
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
    case ELOOP: return KFileErrorCause(error);
    default: return PlainCause(error);
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

// Renames from to the free name to on a file system that can neither link
// nor rename without replacing: the name is first taken by an empty file
// made exclusively, and only that file is replaced. False with errno (EEXIST
// when the name is taken).
bool RenameOntoReserved(const char* from, const char* to)
{
    const int fd = open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat made, there;
    const bool known = fstat(fd, &made) == 0;
    close(fd);
    if (known && rename(from, to) == 0)
        return true;
    const int error = errno;
    if (known && lstat(to, &there) == 0 && made.st_dev == there.st_dev && made.st_ino == there.st_ino)
        unlink(to);
    errno = error;
    return false;
}

// Creates a new file under stem + suffix + random letters, exclusively, in
// directory (a descriptor, or AT_FDCWD to go by the path), the folder whose
// path with a slash is prefix; its descriptor, its name in the folder in
// name and its path in path, both made before the file. -1 with errno when
// none can be made.
int CreateFree(int directory, const std::string& prefix, const std::string& stem, const char* suffix, mode_t mode,
               std::string& name, std::string& path)
{
    for (int tries = 0; tries < kNameTries; ++tries)
    {
        name = stem + suffix + RandomLetters();
        path = prefix + name;
        const int fd = openat(directory, directory == AT_FDCWD ? path.c_str() : name.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Renames the file from in directory, the folder whose path with a slash is
// prefix, to a free stem + suffix + letters name; true with the new name in
// name and its path in path, both made before the rename.
bool RenameFree(int directory, const std::string& prefix, const std::string& stem, const char* suffix,
                const std::string& from, std::string& name, std::string& path)
{
    for (int tries = 0; tries < kNameTries; ++tries)
    {
        name = stem + suffix + RandomLetters();
        path = prefix + name;
        if (renameat2(directory, from.c_str(), directory, name.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EINVAL || errno == ENOSYS)
        {
            // A file system without RENAME_NOREPLACE: a link keeps the same
            // promise of never taking another file's name.
            if (linkat(directory, from.c_str(), directory, name.c_str(), 0) == 0)
            {
                unlinkat(directory, from.c_str(), 0);
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
std::string HandedName(int fd, const std::string& path)
{
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    struct stat viaLink, viaFd;
    if (stat(link.c_str(), &viaLink) == 0 && fstat(fd, &viaFd) == 0 && viaLink.st_dev == viaFd.st_dev &&
        viaLink.st_ino == viaFd.st_ino)
        return link;
    return path;
}

// Opens a folder a step works in: for reading, so that it can be flushed
// through the same descriptor, else (a folder that may be written but not
// read) as a handle (O_PATH).
int OpenFolder(const std::string& directory, int flags = 0)
{
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags);
    if (fd >= 0 || errno != EACCES)
        return fd;
    return open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | flags);
}

// True when a descriptor besides fd can be opened now.
bool HasSpareDescriptor(int fd)
{
    const int spare = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (spare < 0)
        return false;
    close(spare);
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
// Its path in path, made before the directory; -1 with errno (EACCES for an
// unsafe root) when none can be made.
int MakePrivateDirectory(const std::string& root, std::string& path)
{
    std::string name;
    name.reserve(std::strlen(kPrivatePrefix) + kRandomLetters);
    path.reserve(root.size() + 1 + name.capacity());
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
        // Within the room reserved above: nothing here throws.
        name.assign(kPrivatePrefix).append(RandomLetters());
        path.assign(root).append("/").append(name);
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
    }
    const int error = errno;
    close(parent);
    errno = error;
    return fd;
}

// Flushes the folder open as directory (through a descriptor of its own when
// it is a handle). Failing to flush a folder leaves the change made: it is
// not undone.
void SyncDirectory(int directory)
{
    const int flags = fcntl(directory, F_GETFL);
    if (flags >= 0 && (flags & O_PATH) == 0)
    {
        fsync(directory);
        return;
    }
    const int fd = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
}

// Reads whole what read(buffer, size) gives, the way the extended attribute
// calls give it (the size needed when size is 0), into bytes: false with
// errno when it fails, or when it keeps growing.
template <typename Read>
bool ReadWhole(Read read, std::vector<char>& bytes)
{
    for (int tries = 0; tries < kAttributeTries; ++tries)
    {
        const ssize_t size = read(nullptr, 0);
        if (size < 0)
            return false;
        bytes.resize(static_cast<size_t>(size) + 1);
        const ssize_t got = read(bytes.data(), bytes.size());
        if (got >= 0)
        {
            bytes.resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    errno = ERANGE;
    return false;
}

// Copies the extended attributes (ACLs among them) of the file at path, not
// followed, onto the file open as to. They are read through a descriptor of
// the file, checked to be the file found at path; a file the process may
// not read (or, out of descriptors, any file) through its path, checked to
// be the same file before and after. Those the process may not read or set
// are left out. True when done or when there is no file to copy from; false
// with errno when the attributes could not be listed (EEXIST: the file was
// replaced meanwhile).
bool CopyAttributes(const std::string& path, int to)
{
    struct stat before, status;
    if (lstat(path.c_str(), &before) != 0)
        return errno == ENOENT;
    if (!S_ISREG(before.st_mode))
        return true;
    // O_NONBLOCK: a FIFO put there meanwhile is not waited for.
    const int from = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (from < 0 && errno != EACCES && errno != EPERM && errno != EMFILE && errno != ENFILE)
        return errno == ENOENT;
    if (from >= 0 && (fstat(from, &status) != 0 || !SameFile(before, status)))
    {
        close(from);
        errno = EEXIST;
        return false;
    }
    const char* const at = path.c_str();
    std::vector<char> names, value;
    bool listed = ReadWhole(
        [&](char* buffer, size_t size) {
            return from >= 0 ? flistxattr(from, buffer, size) : llistxattr(at, buffer, size);
        },
        names);
    if (!listed && (errno == ENOTSUP || errno == EOPNOTSUPP))
    {
        listed = true; // a file system without them: nothing to keep
        names.clear();
    }
    for (size_t next = 0; listed && next < names.size(); next += std::strlen(&names[next]) + 1)
    {
        const char* name = &names[next];
        if (ReadWhole(
                [&](char* buffer, size_t size) {
                    return from >= 0 ? fgetxattr(from, name, buffer, size) : lgetxattr(at, name, buffer, size);
                },
                value))
            fsetxattr(to, name, value.data(), value.size(), 0);
    }
    const int error = errno;
    if (from >= 0)
        close(from);
    else if (listed && (lstat(at, &status) != 0 || !SameFile(before, status)))
    {
        errno = EEXIST;
        return false;
    }
    errno = error;
    return listed;
}

} // namespace

KStagedFiles::KStagedFiles() {}

KStagedFiles::~KStagedFiles() noexcept
{
    Abandon();
}

const KStagedFiles::Entry* KStagedFiles::Find(const char* target) const
{
    for (const Entry& entry : mEntries)
        if (target && entry.mKind != eNEW && entry.mTarget == target)
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
    if (!Add(target))
        return KString();
    Entry& entry = mEntries.back();
    try
    {
        // The caller opens the name handed out: with no descriptor to spare
        // for that, the file is parked and handed out by its path (the
        // commit checks it is still the file made).
        if (entry.mKind != eDIRECT)
        {
            if (!HasSpareDescriptor(entry.mFile))
                CloseFd(entry.mFile);
            entry.mTemporary = entry.mFile >= 0 ? HandedName(entry.mFile, entry.mStagedPath) : entry.mStagedPath;
        }
        KString name(entry.mTemporary.c_str());
        if (!name.IsOK())
            throw std::bad_alloc();
        return name;
    }
    catch (...)
    {
        Remove(entry);
        mEntries.pop_back();
        throw;
    }
}

// Adds target to the set with its new file made (see Stage); false with the
// error and cause recorded.
bool KStagedFiles::Add(const char* target)
{
    mCause = "";
    if (!target || !*target)
        return Fail(EINVAL, "");
    if (Find(target))
        return Fail(EEXIST, "");
    // Room for the entry first: once its file is made, keeping it in the set
    // allocates nothing.
    if (mEntries.size() == mEntries.capacity())
        mEntries.reserve(mEntries.size() * 2 + 4);
    Entry entry;
    if (!LinkEnd(target, entry.mReplaced))
        return Fail(errno, FolderCause(errno));
    const std::string& end = entry.mReplaced;
    entry.mTarget = target;
    entry.mFolder = DirectoryOf(end);
    entry.mName = NameOf(end);
    struct stat status;
    if (stat(end.c_str(), &status) == 0)
    {
        if (S_ISDIR(status.st_mode))
            return Fail(EISDIR, kIsDirectory);
        if (!S_ISREG(status.st_mode))
        {
            entry.mKind = eDIRECT;
            entry.mTemporary = entry.mReplaced;
            mEntries.push_back(std::move(entry));
            return true;
        }
        // A file its owner keeps from writing stays as it is.
        if (faccessat(AT_FDCWD, end.c_str(), W_OK, AT_EACCESS) != 0)
            return Fail(errno, errno == EROFS ? kFileSystemReadOnly : kFileReadOnly);
        entry.mExisted = true;
        entry.mOwner = status.st_uid;
        entry.mGroup = status.st_gid;
        entry.mMode = status.st_mode & 07777;
        if (status.st_nlink > 1 || !CanGiveOwner(status))
            entry.mKind = eREWRITTEN;
    }
    return Push(entry);
}

// Makes entry's new file and adds it to the set, within the room reserved;
// false with the error and cause recorded.
bool KStagedFiles::Push(Entry& entry)
{
    try
    {
        // A few new files are held open at once; the oldest is parked to
        // make room for another.
        int held = 0;
        for (const Entry& other : mEntries)
            held += other.mFile >= 0 ? 1 : 0;
        for (Entry& other : mEntries)
            if (held >= kHeldFiles && other.mFile >= 0)
            {
                CloseFd(other.mFile);
                --held;
            }
        // Out of descriptors, the files staged before are parked and the
        // new one tried once more.
        bool made = MakeFile(entry);
        if (!made && (errno == EMFILE || errno == ENFILE) && Park())
            made = MakeFile(entry);
        if (!made)
        {
            Remove(entry);
            return Fail(mError, mCause);
        }
        mEntries.push_back(std::move(entry)); // within the room reserved
    }
    catch (...)
    {
        Remove(entry);
        throw;
    }
    return true;
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
    return Fail(cause, cause == EMFILE || cause == ENFILE || cause == ENOMEM ? PlainCause(cause) : kNoStagingFolder);
}

// Creates entry's new file beside its target, with the permissions a plain
// create gives (the caller's umask), readable and writable by this process.
// It is made through the folder's path, so that it takes one descriptor.
bool KStagedFiles::StageBeside(Entry& entry)
{
    std::string name, path;
    // A file new to its folder is made with its own mode: it is never
    // readable by more than that, not even while it is written.
    const mode_t mode = entry.mKind == eNEW ? entry.mMode : 0666;
    entry.mFile = CreateFree(AT_FDCWD, StagingPrefix(entry), Stem(entry.mReplaced), kWrittenSuffix, mode, name, path);
    if (entry.mFile < 0)
        return false;
    entry.mStagedName.swap(name);
    entry.mStagedPath.swap(path);
    struct stat status;
    if (fstat(entry.mFile, &status) != 0)
        return false;
    entry.mDevice = status.st_dev;
    entry.mInode = status.st_ino;
    if (entry.mKind == eNEW)
        return true; // written through the descriptor that made it
    entry.mCreatedMode = status.st_mode & 07777;
    // The caller opens it again by name: its owner must be able to write it
    // whatever the umask took away; the plain mode comes back at commit.
    return (entry.mCreatedMode & 0600) == 0600 || fchmod(entry.mFile, entry.mCreatedMode | 0600) == 0;
}

// Creates entry's new file in a directory of this process's own under
// $TMPDIR, else /tmp. The directory's identity is kept: each step that
// opens it again checks it.
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
        int directory = MakePrivateDirectory(root, path);
        if (directory < 0)
        {
            error = errno;
            continue;
        }
        entry.mPrivateDir.swap(path);
        struct stat status;
        try
        {
            if (fstat(directory, &status) == 0)
            {
                entry.mFolderDevice = status.st_dev;
                entry.mFolderInode = status.st_ino;
                entry.mFile = CreateFree(directory, StagingPrefix(entry), Stem(entry.mReplaced), kWrittenSuffix, 0600,
                                         name, path);
            }
        }
        catch (...)
        {
            CloseFd(directory);
            throw;
        }
        CloseFd(directory);
        if (entry.mFile >= 0 && fstat(entry.mFile, &status) == 0)
        {
            entry.mStagedName.swap(name);
            entry.mStagedPath.swap(path);
            entry.mDevice = status.st_dev;
            entry.mInode = status.st_ino;
            return true;
        }
        error = errno;
        Remove(entry);
    }
    errno = error;
    return false;
}

// Closes the new files of the set that are held open; the commit opens them
// again and checks each is still the file made. True when any was closed.
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
    if (!Add(target))
        return nullptr;
    return OpenLast();
}

// The file of the entry added last, open for writing; null, the entry out
// of the set again, when it cannot be opened.
FILE* KStagedFiles::OpenLast()
{
    // A new file is written through the descriptor that made it, never
    // reached again by name.
    Entry& entry = mEntries.back();
    FILE* file = nullptr;
    if (entry.mKind == eDIRECT)
        file = fopen(entry.mTemporary.c_str(), "wb");
    else
    {
        try
        {
            entry.mTemporary = entry.mStagedPath;
        }
        catch (...)
        {
            Remove(entry);
            mEntries.pop_back();
            throw;
        }
        int fd = fcntl(entry.mFile, F_DUPFD_CLOEXEC, 0);
        if (fd < 0 && (errno == EMFILE || errno == ENFILE))
            std::swap(fd, entry.mFile); // no descriptor to spare: the caller's is the set's, parked
        file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (!file)
            CloseFd(fd);
    }
    if (!file)
    {
        const int cause = errno;
        Remove(mEntries.back());
        mEntries.pop_back();
        if (cause == ENOMEM)
            throw std::bad_alloc(); // the stream's buffer: out of memory as any other
        Fail(cause, FolderCause(cause));
    }
    return file;
}

FILE* KStagedFiles::CreateNew(const char* target, mode_t mode)
{
    DropNew();
    mCause = "";
    if (!target || !*target)
    {
        Fail(EINVAL, "");
        return nullptr;
    }
    if (mEntries.size() == mEntries.capacity())
        mEntries.reserve(mEntries.size() * 2 + 4);
    Entry entry;
    entry.mKind = eNEW;
    entry.mReplaced = target; // names its temporary's folder and stem
    entry.mFolder = DirectoryOf(entry.mReplaced);
    entry.mName = NameOf(entry.mReplaced);
    entry.mMode = mode & 07777;
    if (!Push(entry))
        return nullptr;
    FILE* file = OpenLast();
    if (file)
    {
        mNew = mEntries.size() - 1;
        mHasNew = true;
    }
    return file;
}

bool KStagedFiles::PlaceNew(const char* target, const std::function<bool()>& keep)
{
    mCause = "";
    if (!mHasNew || !target || !*target)
        return Fail(EINVAL, "");
    Entry& entry = mEntries[mNew];
    if (DirectoryOf(target) != entry.mFolder)
        return Fail(EINVAL, "");
    if (Find(target))
        return Fail(EEXIST, ""); // another file of the set takes it at the commit
    // Its names first: once it is linked, keeping it allocates nothing.
    std::string placedTarget = target, placedPath = target, placedName = NameOf(placedTarget);
    // Flushed before it takes its name: the name never holds a part of it.
    if (!Reopen(entry))
        return false;
    const bool flushed = fsync(entry.mFile) == 0;
    CloseFd(entry.mFile);
    if (!flushed)
        return Fail(errno, "");
    bool linked = false;
    if (!LinkNew(entry, placedPath, linked))
        return false;
    bool kept = true;
    try
    {
        kept = !keep || keep();
    }
    catch (...)
    {
        UnlinkNew(entry, placedPath, linked);
        throw;
    }
    if (!kept)
    {
        UnlinkNew(entry, placedPath, linked);
        return Fail(EEXIST, "");
    }
    int folder = OpenFolder(entry.mFolder);
    if (folder >= 0)
        SyncDirectory(folder);
    CloseFd(folder);
    // The temporary stays as the file's second link until the commit: no
    // save takes the file for its own meanwhile, so removing it harms none.
    entry.mKind = ePLACED;
    if (linked)
        entry.mHeldPath.swap(entry.mStagedPath);
    entry.mTarget.swap(placedTarget);
    entry.mStagedPath.swap(placedPath);
    entry.mStagedName.swap(placedName);
    mHasNew = false;
    return true;
}

// Gives entry's temporary, checked to be the file made, the name target
// where nothing bears it: by a link (linked, the temporary staying), else,
// on a file system without links, by a rename that replaces nothing. Then
// the name must hold the file. False with EEXIST and no cause when the name
// is taken, else the error and cause recorded.
bool KStagedFiles::LinkNew(Entry& entry, const std::string& target, bool& linked)
{
    struct stat status;
    if (lstat(entry.mStagedPath.c_str(), &status) != 0)
        return Fail(errno, PlainCause(errno));
    if (status.st_dev != entry.mDevice || status.st_ino != entry.mInode)
        return Fail(EEXIST, kReplacedMeanwhile);
    const char* const from = entry.mStagedPath.c_str();
    linked = linkat(AT_FDCWD, from, AT_FDCWD, target.c_str(), 0) == 0;
    bool moved = linked;
    if (!moved && (errno == EPERM || errno == EMLINK || errno == ENOTSUP || errno == ENOSYS))
    {
        moved = renameat2(AT_FDCWD, from, AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
        if (!moved && (errno == EINVAL || errno == ENOSYS))
            moved = RenameOntoReserved(from, target.c_str());
    }
    if (!moved)
        return Fail(errno, errno == EEXIST ? "" : FolderCause(errno));
    if (lstat(target.c_str(), &status) != 0 || status.st_dev != entry.mDevice || status.st_ino != entry.mInode)
        return Fail(EEXIST, kReplacedMeanwhile);
    return true;
}

// Takes the name target back from entry's file where it still holds it: a
// link is removed while the temporary still holds the file too, so no save
// can have taken the file meanwhile. A file renamed to target (no hard
// links there) had no second link: another save may have taken it, so it
// stays, the set no longer holding it.
void KStagedFiles::UnlinkNew(Entry& entry, const std::string& target, bool linked) noexcept
{
    if (!linked)
    {
        entry.mStagedName.clear();
        entry.mStagedPath.clear();
        mHasNew = false;
        return;
    }
    struct stat status;
    if (lstat(target.c_str(), &status) != 0 || status.st_dev != entry.mDevice || status.st_ino != entry.mInode)
        return;
    if (lstat(entry.mStagedPath.c_str(), &status) == 0 && status.st_dev == entry.mDevice &&
        status.st_ino == entry.mInode)
        unlink(target.c_str());
}

void KStagedFiles::DropNew() noexcept
{
    if (!mHasNew)
        return;
    mHasNew = false;
    Remove(mEntries[mNew]); // nothing left of it to remove or put
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

// The path of the folder of entry's new file, with a slash: its private
// folder, else its target's.
std::string KStagedFiles::StagingPrefix(const Entry& entry)
{
    const std::string& folder = entry.mPrivateDir.empty() ? entry.mFolder : entry.mPrivateDir;
    return folder == "/" ? folder : folder + "/";
}

// Opens the folder holding entry's new file: its private one, which must be
// the one made, else its target's. -1 with the error and cause recorded.
int KStagedFiles::OpenStagingFolder(Entry& entry)
{
    if (entry.mPrivateDir.empty())
    {
        const int folder = OpenFolder(entry.mFolder);
        if (folder < 0)
            Fail(errno, FolderCause(errno));
        return folder;
    }
    int folder = OpenFolder(entry.mPrivateDir, O_NOFOLLOW);
    struct stat status;
    if (folder < 0 || fstat(folder, &status) != 0)
    {
        Fail(errno, PlainCause(errno));
        CloseFd(folder);
        return -1;
    }
    if (status.st_dev != entry.mFolderDevice || status.st_ino != entry.mFolderInode)
    {
        CloseFd(folder);
        entry.mPrivateDir.clear(); // not this save's to remove
        entry.mStagedName.clear();
        entry.mStagedPath.clear();
        Fail(EEXIST, kReplacedMeanwhile);
    }
    return folder;
}

// Opens entry's new file again when it is parked; it must be the one made
// (another user who can write the folder may have put another under its
// name).
bool KStagedFiles::Reopen(Entry& entry)
{
    if (entry.mFile >= 0)
        return true;
    // A new file may have a mode its owner may not write by: it is only flushed.
    entry.mFile = open(entry.mStagedPath.c_str(), (entry.mKind == eNEW ? O_RDONLY : O_RDWR) | O_NOFOLLOW | O_CLOEXEC);
    struct stat status;
    if (entry.mFile < 0 || fstat(entry.mFile, &status) != 0)
        return Fail(errno, PlainCause(errno));
    // A file of the same inode number made meanwhile by another user (the
    // number may be used again once the name is gone) is not this user's.
    if (status.st_dev != entry.mDevice || status.st_ino != entry.mInode || status.st_uid != geteuid())
    {
        CloseFd(entry.mFile);
        entry.mStagedName.clear(); // not this save's to remove
        entry.mStagedPath.clear();
        return Fail(EEXIST, kReplacedMeanwhile);
    }
    return true;
}

// Readies a file for Put: a new file that replaces an old one takes its
// owner, group, attributes and mode, a file new to its target gets back its
// plain mode; every new file is flushed to disk; a file to be rewritten is
// checked to have room for the new contents. The new file is closed again
// after: a commit holds a few descriptors at a time, whatever the number of
// files.
bool KStagedFiles::Ready(Entry& entry)
{
    if (entry.mKind == eDIRECT || entry.mKind == eNEW || entry.mKind == ePLACED)
        return true;
    const bool held = entry.mFile >= 0;
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
            if (!CopyAttributes(entry.mReplaced, entry.mFile))
            {
                const int error = errno;
                return Fail(error, error == EEXIST ? kReplacedMeanwhile : kAttributesUnread);
            }
            ok = fchmod(entry.mFile, entry.mMode) == 0;
        }
    }
    else if (entry.mKind == eREPLACED && (entry.mCreatedMode & 0600) != 0600)
        ok = fchmod(entry.mFile, entry.mCreatedMode) == 0;
    ok = ok && fsync(entry.mFile) == 0;
    if (!ok)
        return Fail(errno, "");
    if (entry.mKind == eREWRITTEN && !ReadyRewrite(entry))
        return false;
    // A rewrite copies from the descriptor that wrote the file where the set
    // still holds it (a few at most); Put needs no other.
    if (entry.mKind == eREPLACED || !held)
        CloseFd(entry.mFile);
    return true;
}

// Readies a rewrite in place: the complete copy kept under its own name and
// flushed with its directory, so it survives whatever happens to the file;
// then the file checked to hold it, and its identity kept for the rewrite.
bool KStagedFiles::ReadyRewrite(Entry& entry)
{
    const std::string prefix = StagingPrefix(entry), stem = Stem(entry.mReplaced);
    int folder = OpenStagingFolder(entry);
    if (folder < 0)
        return false;
    std::string name, path;
    bool named = false;
    try
    {
        named = RenameFree(folder, prefix, stem, kCompleteSuffix, entry.mStagedName, name, path);
    }
    catch (...)
    {
        CloseFd(folder);
        throw;
    }
    const int error = errno;
    if (named)
    {
        entry.mStagedName.swap(name);
        entry.mStagedPath.swap(path);
        SyncDirectory(folder);
    }
    CloseFd(folder);
    if (!named)
        return Fail(error, "");

    struct stat status;
    if (fstat(entry.mFile, &status) != 0)
        return Fail(errno, "");
    const off_t size = status.st_size;
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur)
        return Fail(EFBIG, "");
    int target = -1;
    if (!OpenRewritten(entry, target))
        return false;
    // The mode as it stands now is the one the rewrite keeps.
    if (fstat(target, &status) != 0)
    {
        CloseFd(target);
        return Fail(errno, "");
    }
    entry.mMode = status.st_mode & 07777;
    entry.mOldDevice = status.st_dev;
    entry.mOldInode = status.st_ino;
    if (size > 0 && fallocate(target, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS)
    {
        CloseFd(target);
        return Fail(errno, "");
    }
    CloseFd(target);
    return true;
}

// Opens the file entry rewrites for writing into target: a regular file,
// and once readied, the one Ready found. False with the error and cause
// recorded.
bool KStagedFiles::OpenRewritten(Entry& entry, int& target)
{
    target = open(entry.mReplaced.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (target < 0)
    {
        const int cause = errno;
        return Fail(cause, cause == EACCES || cause == EPERM ? kFileReadOnly : FolderCause(cause));
    }
    struct stat status;
    int error = 0;
    const char* cause = "";
    if (fstat(target, &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = EISDIR;
    else if (entry.mOldInode != 0 && (status.st_dev != entry.mOldDevice || status.st_ino != entry.mOldInode))
    {
        error = EEXIST;
        cause = kReplacedMeanwhile;
    }
    if (error == 0)
        return true;
    CloseFd(target);
    return Fail(error, cause);
}

// Puts a readied file onto its target. It allocates nothing: a rewrite
// copies through block.
bool KStagedFiles::Put(Entry& entry, std::vector<char>& block)
{
    if (entry.mKind == eDIRECT)
        return true;
    if (entry.mKind == eREWRITTEN)
        return Rewrite(entry, block);
    int folder = OpenFolder(entry.mFolder);
    if (folder < 0)
        return Fail(errno, FolderCause(errno));
    // Another user who can write the folder may have swapped the temporary:
    // what stands under its name must be the file this save wrote, before
    // the rename and after it.
    const std::string& name = entry.mName;
    struct stat put;
    int error = 0;
    const char* cause = "";
    if (fstatat(folder, entry.mStagedName.c_str(), &put, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    else if (put.st_dev != entry.mDevice || put.st_ino != entry.mInode)
    {
        error = EEXIST;
        cause = kReplacedMeanwhile;
    }
    else if (renameat(folder, entry.mStagedName.c_str(), folder, name.c_str()) != 0)
    {
        error = errno;
        cause = FolderCause(errno);
    }
    else
    {
        const bool same = fstatat(folder, name.c_str(), &put, AT_SYMLINK_NOFOLLOW) == 0 &&
                          put.st_dev == entry.mDevice && put.st_ino == entry.mInode;
        entry.mStagedName.clear(); // nothing left to remove
        entry.mStagedPath.clear();
        SyncDirectory(folder);
        if (!same)
        {
            error = EEXIST;
            cause = kReplacedMeanwhile;
        }
    }
    CloseFd(folder);
    if (error != 0)
        return Fail(error, cause);
    Remove(entry);
    return true;
}

// Copies the new contents over the file's old bytes from the complete copy,
// cuts and flushes the file, puts back set-id bits the write cleared where
// the process may, and only then removes the complete copy. The bytes go
// through block, made before the commit's first change.
bool KStagedFiles::Rewrite(Entry& entry, std::vector<char>& block)
{
    int target = -1;
    if (!Reopen(entry) || !OpenRewritten(entry, target))
        return false;
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
            const ssize_t put = pwrite(target, block.data() + done, static_cast<size_t>(got - done), at);
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
    ok = ok && ftruncate(target, at) == 0;
    struct stat status;
    if (ok && fstat(target, &status) == 0 && (status.st_mode & 07777) != entry.mMode &&
        (geteuid() == 0 || status.st_uid == geteuid()))
        fchmod(target, entry.mMode);
    ok = ok && fsync(target) == 0;
    int error = errno;
    if (close(target) != 0 && ok)
    {
        error = errno;
        ok = false;
    }
    if (!ok && changed)
    {
        // The file may be partly rewritten: the complete copy stays for the user.
        entry.mStagedName.clear();
        entry.mStagedPath.clear();
        entry.mPrivateDir.clear();
    }
    Remove(entry);
    return ok || Fail(error, "");
}

bool KStagedFiles::Commit()
{
    mCause = "";
    KSaveLock lock;
    std::vector<char> block;
    try
    {
        if (!Prepare(lock, block))
            return false;
    }
    catch (...)
    {
        Abandon(); // nothing is put yet: every target as it was
        throw;
    }
    // A file placed already stays once any file is put (those put may name
    // it); a temporary never placed goes.
    bool put = false;
    for (size_t i = mEntries.size(); i-- > 0;)
    {
        Entry& entry = mEntries[i];
        if (entry.mKind == eNEW)
            Remove(entry);
        else if (entry.mKind != ePLACED && !Put(entry, block))
        {
            const int error = errno;
            const char* cause = mCause;
            if (put)
                KeepPlaced();
            Abandon(); // what is put is left as it is
            return Fail(error, cause);
        }
        put = put || entry.mKind == eREPLACED || entry.mKind == eREWRITTEN || entry.mKind == eDIRECT;
    }
    KeepPlaced();
    mEntries.clear();
    mHasNew = false;
    return true;
}

// Keeps the placed files where they are: the set no longer removes them,
// and their second links go, so other saves may take them as their own.
void KStagedFiles::KeepPlaced() noexcept
{
    const int error = errno;
    for (Entry& entry : mEntries)
        if (entry.mKind == ePLACED)
        {
            struct stat status;
            const char* held = entry.mHeldPath.c_str();
            if (*held && lstat(held, &status) == 0 && status.st_dev == entry.mDevice && status.st_ino == entry.mInode)
                unlink(held);
            entry.mStagedName.clear();
            entry.mStagedPath.clear();
            entry.mHeldPath.clear();
        }
    errno = error;
}

// What Commit does before it puts the first file: takes the turns and
// readies every file, and makes the buffer a rewrite copies through, so that
// all that can run out of memory (std::bad_alloc) comes before any target
// changes. False with the set abandoned when a step fails.
bool KStagedFiles::Prepare(KSaveLock& lock, std::vector<char>& block)
{
    // Saves of these files take turns, whatever names they come through;
    // out of descriptors for the lock, the new files are parked first.
    std::vector<std::string> changed;
    for (const Entry& entry : mEntries)
        if (entry.mKind == eREPLACED || entry.mKind == eREWRITTEN)
            changed.push_back(entry.mReplaced);
    if (!changed.empty() && !lock.Take(changed, [this] { return Park(); }))
    {
        const int error = errno;
        if (error == ENOMEM)
            throw std::bad_alloc(); // Commit abandons the set; the caller says "Out of memory"
        Abandon();
        return Fail(error, error == EAGAIN ? kAnotherSaving : *lock.Cause() ? lock.Cause() : PlainCause(error));
    }
    for (Entry& entry : mEntries)
        if (!Ready(entry))
        {
            const int error = errno;
            const char* cause = mCause;
            Abandon();
            return Fail(error, cause);
        }
    for (const Entry& entry : mEntries)
        if (entry.mKind == eREWRITTEN)
        {
            block.resize(kCopyBlock);
            break;
        }
    return true;
}

// Closes what entry holds and removes its new file and private directory,
// where they are still named; a direct target stays. It opens and
// allocates nothing: a save that failed for want of descriptors or memory
// still leaves nothing behind.
void KStagedFiles::Remove(Entry& entry) noexcept
{
    const int error = errno;
    CloseFd(entry.mFile);
    if (entry.mKind == ePLACED)
    {
        // The name first, and only while the second link still holds the
        // file: then no other save has taken it (see PlaceNew).
        struct stat status;
        const bool held = !entry.mHeldPath.empty() && lstat(entry.mHeldPath.c_str(), &status) == 0 &&
                          status.st_dev == entry.mDevice && status.st_ino == entry.mInode;
        if (held && !entry.mStagedPath.empty() && lstat(entry.mStagedPath.c_str(), &status) == 0 &&
            status.st_dev == entry.mDevice && status.st_ino == entry.mInode)
            unlinkat(AT_FDCWD, entry.mStagedPath.c_str(), 0);
        if (held)
            unlinkat(AT_FDCWD, entry.mHeldPath.c_str(), 0);
        entry.mStagedPath.clear();
        entry.mHeldPath.clear();
    }
    if (entry.mKind != eDIRECT && !entry.mStagedPath.empty())
    {
        // Only the file this save made, never another put under its name.
        const char* path = entry.mStagedPath.c_str();
        struct stat status;
        if (lstat(path, &status) == 0 && status.st_dev == entry.mDevice && status.st_ino == entry.mInode)
            unlinkat(AT_FDCWD, path, 0);
    }
    if (!entry.mPrivateDir.empty())
        rmdir(entry.mPrivateDir.c_str());
    entry.mStagedName.clear();
    entry.mStagedPath.clear();
    entry.mPrivateDir.clear();
    errno = error;
}

void KStagedFiles::Abandon() noexcept
{
    const int error = errno;
    for (Entry& entry : mEntries)
        Remove(entry);
    mEntries.clear();
    mHasNew = false;
    errno = error;
}
