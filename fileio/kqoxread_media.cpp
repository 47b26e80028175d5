// Native reader: the media of clips extracted into a folder of the user's
// own, each image into a fresh file put in place without replacing anything.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "base/kfile.h"
#include "base/kfilecause.h"
#include "base/kpath.h"
#include "base/ksavelock.h"
#include "base/kuserfolder.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxtiff_private.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

const char kMediaFolderSuffix[] = ".media";
// Under the user's cache folder: one folder per file read.
const char kCacheFolder[] = "qoxsdk/media/";
// Numbered names tried when the image's own is taken.
const int kMostNumbered = 1000;

// The extension of a base name with its dot; "" without one.
const char* ExtensionOf(const std::string& base)
{
    const size_t dot = base.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? "" : base.c_str() + dot;
}

// What some bytes are, for telling them again: their count and their
// FNV-1a hash.
struct Fingerprint
{
    unsigned long long mSize = 0;
    unsigned long long mHash = 14695981039346656037ull;

    void Add(const unsigned char* bytes, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            mHash = (mHash ^ bytes[i]) * 1099511628211ull;
        mSize += count;
    }
    bool operator==(const Fingerprint& other) const { return mSize == other.mSize && mHash == other.mHash; }
    bool operator!=(const Fingerprint& other) const { return !(*this == other); }
};

// The fingerprint of an open file's bytes, read from its start; false when
// they cannot be read.
bool FingerprintOf(int fd, Fingerprint& print)
{
    unsigned char bytes[8192];
    for (off_t at = 0;;)
    {
        const ssize_t n = pread(fd, bytes, sizeof bytes, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        print.Add(bytes, static_cast<size_t>(n));
        at += n;
    }
}

// The folder name in the cache of the file read: its base name (at most 64
// bytes of it) and a hash of its full path, so that every file has one.
std::string CacheName(const std::string& folder, const std::string& name)
{
    char real[PATH_MAX];
    const std::string full = (realpath(folder.c_str(), real) ? std::string(real) : folder) + "/" + name;
    Fingerprint print;
    print.Add(reinterpret_cast<const unsigned char*>(full.data()), full.size());
    char text[24];
    std::snprintf(text, sizeof text, "-%016llx", print.mHash);
    return name.substr(0, 64) + text;
}

// The regular file of the user's own at name, opened for reading: never
// through a link, and nothing opened that could block. -1 when anything
// else stands there (absent, when given, tells that nothing does).
int OpenOwnFile(int folder, const char* name, bool* absent = nullptr)
{
    struct stat status;
    const bool found = fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (absent)
        *absent = !found && errno == ENOENT;
    if (!found || !S_ISREG(status.st_mode) || status.st_uid != geteuid())
        return -1;
    const int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened;
    if (fd >= 0 && (fstat(fd, &opened) != 0 || opened.st_dev != status.st_dev || opened.st_ino != status.st_ino))
    {
        close(fd);
        return -1;
    }
    return fd;
}

// Whether the name in folder (never followed) is the file open at fd.
bool NameHolds(int folder, const char* name, int fd)
{
    struct stat held, there;
    return fstat(fd, &held) == 0 && fstatat(folder, name, &there, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

// The embedded content streamed through it (KQox::FieldReadRPeek): its
// fingerprint, and whether it is the bytes of an open file, when given one.
class ContentSink : public KFile
{
public:
    explicit ContentSink(int compared)
        : mCompared(compared)
        , mSame(compared >= 0)
    {}
    unsigned int Write(void* buffer, unsigned int n) override
    {
        const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
        mSame = mSame && SameAt(bytes, n);
        mPrint.Add(bytes, n);
        return n;
    }
    const Fingerprint& Print() const { return mPrint; }
    // The file compared holds the content and nothing more.
    bool Same() const
    {
        unsigned char more;
        return mSame && pread(mCompared, &more, 1, static_cast<off_t>(mPrint.mSize)) == 0;
    }

private:
    bool SameAt(const unsigned char* bytes, unsigned int n) const
    {
        unsigned char there[8192];
        for (unsigned int done = 0; done < n;)
        {
            const size_t count = std::min<size_t>(n - done, sizeof there);
            const ssize_t got = pread(mCompared, there, count, static_cast<off_t>(mPrint.mSize + done));
            if (got != static_cast<ssize_t>(count) || std::memcmp(there, bytes + done, count) != 0)
                return false;
            done += static_cast<unsigned int>(count);
        }
        return true;
    }

    int mCompared;
    bool mSame;
    Fingerprint mPrint;
};

// The names of fresh files begin so.
const char kFreshPrefix[] = ".qox-";

// A file made fresh in a folder under a name of its own (".qox-<pid>-<n>"
// and an extension), removed again unless it was moved into place. Until
// then it is held open and locked, so that a fresh file found unlocked is
// known as one whose reader is gone (killed on the way).
class FreshFile
{
public:
    explicit FreshFile(int folder)
        : mFolder(folder)
    {
        mName[0] = 0;
    }
    ~FreshFile() { Remove(); }
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;

    // Creates it (never through a link, never over anything), mode 0666
    // less the umask, and locks it: its descriptor for writing, kept here
    // (not to be closed by the caller), or -1 with errno. The process id is
    // padded, so that the name (and the paths made from it for libtiff and
    // the converters) is as long in every process and a read takes the same
    // memory whatever its id.
    int Create(const char* extension, unsigned& count)
    {
        Remove();
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const int length = std::snprintf(mName, sizeof mName, "%s%010ld-%u%s", kFreshPrefix,
                                             static_cast<long>(getpid()), ++count, extension);
            if (length < 0 || static_cast<size_t>(length) >= sizeof mName)
            {
                mName[0] = 0;
                errno = ENAMETOOLONG;
                return -1;
            }
            const int fd = openat(mFolder, mName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0)
            {
                // Nobody else has it open yet: never refused.
                flock(fd, LOCK_EX | LOCK_NB);
                mFd = fd;
                return fd;
            }
            const int error = errno;
            mName[0] = 0;
            if (error != EEXIST)
            {
                errno = error;
                return -1;
            }
        }
        errno = EEXIST;
        return -1;
    }
    // Removed, then let go.
    void Remove()
    {
        if (mName[0])
            unlinkat(mFolder, mName, 0);
        Forget();
    }
    // Moved into place: nothing to remove.
    void Forget()
    {
        mName[0] = 0;
        if (mFd >= 0)
            close(mFd);
        mFd = -1;
    }
    // Moved into place, its descriptor (still locked) the caller's.
    int Keep()
    {
        const int fd = mFd;
        mFd = -1;
        mName[0] = 0;
        return fd;
    }
    const char* Name() const { return mName; }
    int Folder() const { return mFolder; }
    // Its descriptor while it is held; -1 after.
    int Fd() const { return mFd; }

private:
    int mFolder;
    int mFd = -1;
    char mName[NAME_MAX + 1];
};

// A fresh file found unlocked is left by a reader gone only once it has
// not changed for this long: one between its making and its locking is
// never taken for one.
const int kLeftFreshSeconds = 60;

// The fresh files among names (found in the folder) whose readers are
// gone, removed: regular files of the user's own, unchanged for
// kLeftFreshSeconds, that no reader holds locked.
void RemoveLeftFresh(int folder, const std::vector<std::string>& names)
{
    const time_t now = time(nullptr);
    for (const std::string& name : names)
    {
        const KDescriptor fd(OpenOwnFile(folder, name.c_str()));
        struct stat opened;
        if (fd.Get() < 0 || fstat(fd.Get(), &opened) != 0 || now - opened.st_mtime < kLeftFreshSeconds ||
            flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file at that name, now locked here.
        if (NameHolds(folder, name.c_str(), fd.Get()))
            unlinkat(folder, name.c_str(), 0);
    }
}

// What a media folder keeps of the images this reader put there: for each
// name, the fingerprints of the bytes put there and of the embedded content
// they came from. A file at a name that still holds the bytes recorded is
// the reader's own, unchanged since: a newer image may replace it. Any other
// file there is the user's. Written fresh and renamed into place, read only
// from a regular file of the user's own.
const char kRecordName[] = ".qoxsdk-extracted";
// Beside it, each read's journal ("<record>-<pid>-<n>"): the lines a read
// adds while it uses the folder, each written before the image it tells of
// is put in place. The read that holds the folder when it is done takes
// them into the record and removes them; a journal is taken only once its
// read lets it go (done, or killed), and only its lines that still tell
// the file at their name.
const char kJournalPrefix[] = ".qoxsdk-extracted-";
// A record or journal larger than this is no record of ours.
const size_t kMostRecordBytes = 1 << 22;

struct RecordEntry
{
    Fingerprint mFile;
    Fingerprint mContent;
    bool operator==(const RecordEntry& other) const { return mFile == other.mFile && mContent == other.mContent; }
    bool operator!=(const RecordEntry& other) const { return !(*this == other); }
};
using Entries = std::map<std::string, RecordEntry>;

// Names an image never takes: the record's and its journals'.
bool Reserved(const std::string& name)
{
    return name == kRecordName || name.compare(0, sizeof kJournalPrefix - 1, kJournalPrefix) == 0;
}

// The whole of an open file, at most kMostRecordBytes; false when it cannot
// be read so.
bool ReadWhole(int fd, std::string& text)
{
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() + static_cast<size_t>(n) > kMostRecordBytes)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<size_t>(n));
    }
}

// The lines of a record or journal into entries, a later line for a name
// overriding an earlier; lines it cannot read are left out.
void ParseEntries(const std::string& text, Entries& entries)
{
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    {
        const std::string line = text.substr(start, end - start);
        RecordEntry entry;
        int used = 0;
        if (std::sscanf(line.c_str(), "%llx %llx %llx %llx%n", &entry.mFile.mSize, &entry.mFile.mHash,
                        &entry.mContent.mSize, &entry.mContent.mHash, &used) == 4 &&
            line.size() > static_cast<size_t>(used) + 1 && line[used] == ' ')
            entries[line.substr(used + 1)] = entry;
    }
}

// An entry's line into line (room for its prefix and a file name): its
// length, 0 for a name no line can carry.
size_t EntryLine(const std::string& name, const RecordEntry& entry, char* line, size_t room)
{
    if (name.find('\n') != std::string::npos)
        return 0;
    const int prefix = std::snprintf(line, room, "%016llx %016llx %016llx %016llx ", entry.mFile.mSize,
                                     entry.mFile.mHash, entry.mContent.mSize, entry.mContent.mHash);
    if (prefix < 0 || static_cast<size_t>(prefix) + name.size() + 1 > room)
        return 0;
    std::memcpy(line + prefix, name.data(), name.size());
    line[prefix + name.size()] = '\n';
    return static_cast<size_t>(prefix) + name.size() + 1;
}

// The bytes written whole (writes cut short or interrupted go on).
bool WriteAll(int fd, const char* bytes, size_t count)
{
    for (size_t done = 0; done < count;)
    {
        const ssize_t n = write(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// How taking a folder's lock went.
enum class Locked
{
    eHELD, // this read holds it
    eBUSY, // another holds it still
    eNONE  // the system has no such locks there
};

// The folder's lock (between readers that update its record) taken on the
// folder's descriptor: waiting for it at most waitMilliseconds when wait is
// set (which is then cleared). Dies with the descriptor.
Locked LockFolder(int folder, bool& wait, int waitMilliseconds)
{
    const auto tried = [folder] {
        if (flock(folder, LOCK_EX | LOCK_NB) == 0)
            return Locked::eHELD;
        return errno == EWOULDBLOCK || errno == EINTR ? Locked::eBUSY : Locked::eNONE;
    };
    Locked locked = tried();
    if (locked != Locked::eBUSY || !wait)
        return locked;
    wait = false;
    ++KQoxRead6::MediaFiles::sHeldFolderWaits;
    const int kStepMilliseconds = 10;
    for (int waited = 0; locked == Locked::eBUSY && waited < waitMilliseconds; waited += kStepMilliseconds)
    {
        usleep(kStepMilliseconds * 1000);
        locked = tried();
    }
    return locked;
}

// How writing an image into a fresh file went.
enum class Written
{
    eDONE,
    eFOLDER_FAILED, // the folder took no file or no bytes (errno in error;
                    // ENAMETOOLONG: the image's name made the fresh one too long)
    eNOT_MADE,      // the image cannot be made (why says why)
    eDAMAGED        // the file read is damaged
};

// A name in the folder for tools that open files by name (libtiff, the
// image converters): through the folder's descriptor where the system
// offers one, so that the folder renamed meanwhile changes nothing.
std::string NameInFolder(int folder, const std::string& path, const char* name)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
    struct stat byLink, byDescriptor;
    const bool usable = stat(link, &byLink) == 0 && fstat(folder, &byDescriptor) == 0 &&
                        byLink.st_dev == byDescriptor.st_dev && byLink.st_ino == byDescriptor.st_ino;
    return (usable ? std::string(link) : path) + "/" + name;
}

// The content the file stands at, as it is, into a fresh file.
Written WriteRaw(KQox& file, FreshFile& made, const char* extension, unsigned& count, int& error)
{
    const int fd = made.Create(extension, count);
    if (fd < 0)
    {
        error = errno;
        return Written::eFOLDER_FAILED;
    }
    // A failure the system tells only when the file is flushed (through
    // this descriptor) fails placing it.
    const bool written = file.FieldReadRDescriptor(fd);
    error = errno;
    if (written)
        return Written::eDONE;
    made.Remove();
    return file.GetLastErrorID() == KQox::eFILE_CORRUPTED ? Written::eDAMAGED : Written::eFOLDER_FAILED;
}

// The TIFF content the file stands at read into image (once: a folder tried
// after another gets the image read already), then recreated through the
// manager's image converters into a fresh file.
Written WriteConverted(KQox& file, KQoxSdkManager& manager, const std::string& path, FreshFile& made,
                       const char* extension, unsigned& count, std::unique_ptr<ImageConverterBuffer>& image, int& error,
                       std::string& why)
{
    if (!image)
    {
        FreshFile tif(made.Folder());
        const Written written = WriteRaw(file, tif, ".tif", count, error);
        if (written != Written::eDONE)
            return written;
        std::unique_ptr<ImageConverterBuffer> read(new ImageConverterBuffer);
        // Memory running out fails the read; it is no image that cannot be
        // read.
        const kqoxtiff::TifRead result = kqoxtiff::ReadTif(NameInFolder(tif.Folder(), path, tif.Name()).c_str(), *read);
        if (result == kqoxtiff::TifRead::eOUT_OF_MEMORY)
            throw std::bad_alloc();
        if (result != kqoxtiff::TifRead::eREAD || !read->mPixels)
        {
            why = "its TIFF image cannot be read";
            return Written::eNOT_MADE;
        }
        image = std::move(read);
    }
    // Made empty here, so that the converter writes only a file of ours.
    if (made.Create(extension, count) < 0)
    {
        error = errno;
        return Written::eFOLDER_FAILED;
    }
    const std::string name = NameInFolder(made.Folder(), path, made.Name());
    for (int i = 0; i < manager.GetKQoxImageConverterCount(); ++i)
    {
        KString target(name.c_str());
        if (!target.IsOK())
            throw std::bad_alloc();
        if (manager.GetKQoxImageConverter(i)->Convert(1, target, *image))
            return Written::eDONE;
    }
    why = "no image converter makes it";
    return Written::eNOT_MADE;
}

// How putting a fresh file in place went.
enum class Placed
{
    eNEW,        // the file is there now
    eSAME,       // a file of the user's with the same bytes was there
    eOURS,       // an image this reader put there, unchanged since, with other
                 // bytes, in a folder the read holds: the fresh file is to
                 // replace it
    eRETOUCHED,  // a file of the user's with other bytes, changed since the
                 // reader put it there, stays
    eUNRECORDED, // one no record names stays
    eHELD,       // the reader's own, unchanged, stays: another read holds the folder
    eTAKEN,      // something else has the name: a link, a FIFO, a device, a
                 // folder, another user's file (or one the user cannot read)
    eFAILED      // the system refused (errno in error)
};

// Whose the file of the user's open at there is, whose bytes are not the
// image's: recorded is the record's entry for its name (null: none), held
// whether this read holds the folder.
Placed Whose(int there, const RecordEntry* recorded, bool held)
{
    if (!recorded)
        return Placed::eUNRECORDED;
    Fingerprint now;
    if (!FingerprintOf(there, now) || now != recorded->mFile)
        return Placed::eRETOUCHED;
    return held ? Placed::eOURS : Placed::eHELD;
}

// What stands at name, against the fresh file: only a regular file of the
// user's own is looked into, and nothing is opened that could block.
Placed Examine(FreshFile& made, const char* name, const RecordEntry* recorded, bool held)
{
    const KDescriptor there(OpenOwnFile(made.Folder(), name));
    if (there.Get() < 0)
        return Placed::eTAKEN;
    const KDescriptor mine(openat(made.Folder(), made.Name(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (mine.Get() >= 0 && SameFileBytes(there.Get(), mine.Get()))
        return Placed::eSAME;
    return Whose(there.Get(), recorded, held);
}

// Moves a file to a name where nothing is: true, or false with errno
// (EEXIST when something is there).
bool RenameNoReplace(int folder, const char* from, const char* to)
{
#ifdef SYS_renameat2
    if (syscall(SYS_renameat2, folder, from, folder, to, 1 /* RENAME_NOREPLACE */) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
#endif
    // No such rename here: in a folder of the user's own no other user adds
    // a name between the look and the rename.
    struct stat status;
    if (fstatat(folder, to, &status, AT_SYMLINK_NOFOLLOW) == 0)
    {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT && renameat(folder, from, folder, to) == 0;
}

// A read's journal in a folder: made at its first line, locked while the
// read has it open, so that no other read takes it meanwhile. Nothing here
// allocates.
class Journal
{
public:
    explicit Journal(int folder)
        : mFolder(folder)
    {
        mName[0] = 0;
    }
    ~Journal() { Close(); }
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // The entry's line added (the journal made first): false when it cannot
    // be, and then the image stays unrecorded should the read not finish.
    bool Note(const std::string& name, const RecordEntry& entry, unsigned& count)
    {
        char line[NAME_MAX + 80];
        const size_t length = EntryLine(name, entry, line, sizeof line);
        return length > 0 && (mFd >= 0 || Open(count)) && WriteAll(mFd, line, length);
    }
    // Let go, left for the next read that holds the folder.
    void Close()
    {
        if (mFd >= 0)
            close(mFd);
        mFd = -1;
    }
    // Its lines are in the record: removed.
    void Remove()
    {
        if (mFd >= 0)
            unlinkat(mFolder, mName, 0);
        Close();
    }
    const char* Name() const { return mName; }

private:
    // Made fresh and locked before it takes its name.
    bool Open(unsigned& count)
    {
        FreshFile made(mFolder);
        if (made.Create("", count) < 0)
            return false;
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            std::snprintf(mName, sizeof mName, "%s%010ld-%u", kJournalPrefix, static_cast<long>(getpid()), ++count);
            if (RenameNoReplace(mFolder, made.Name(), mName))
            {
                mFd = made.Keep();
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        mName[0] = 0;
        return false;
    }

    int mFolder;
    int mFd = -1;
    char mName[NAME_MAX + 1];
};

// The fresh file's bytes on disk before it takes a name a later read trusts:
// a system stopping meanwhile would leave a short file there, kept for ever
// as the user's own. Flushed through the descriptor that made it, which
// hears of every write that failed since (one opened now would not hear of
// those before); by its name where a converter put another file there.
bool FlushFresh(const FreshFile& made)
{
    if (made.Fd() >= 0 && NameHolds(made.Folder(), made.Name(), made.Fd()))
        return fsync(made.Fd()) == 0;
    const int fd = openat(made.Folder(), made.Name(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = fsync(fd) == 0;
    const int error = errno;
    close(fd);
    errno = error;
    return flushed;
}

// What placing a fresh file needs of the folder's record: the entry the
// record has for the name (null: none), whether this read holds the
// folder, and the journal that hears of the new entry (null: no entry to
// tell) before the file takes the name.
struct Placing
{
    const RecordEntry* mRecorded;
    bool mHeld;
    Journal* mJournal;
    const RecordEntry& mEntry;
    unsigned& mCount;

    void Tell(const std::string& name) const
    {
        if (mJournal)
            mJournal->Note(name, mEntry, mCount);
    }
};

// An image of the reader's own at name, unchanged since, gives way to the
// fresh file, renamed over it (within the one folder: never through a
// link); whatever else was examined stays.
Placed ReplaceOurs(FreshFile& made, const std::string& name, Placed examined, const Placing& placing, int& error)
{
    if (examined != Placed::eOURS)
        return examined;
    placing.Tell(name);
    if (!FlushFresh(made) || renameat(made.Folder(), made.Name(), made.Folder(), name.c_str()) != 0)
    {
        error = errno;
        return Placed::eFAILED;
    }
    made.Forget();
    fsync(made.Folder());
    return Placed::eNEW;
}

// The fresh file put at name as a new link (the fresh name then removed),
// or renamed there where the file system has no links; never over a file
// but an image of the reader's own unchanged since, in a folder the read
// holds. A new name is flushed to disk with its folder.
Placed Place(FreshFile& made, const std::string& name, const Placing& placing, int& error)
{
    const int folder = made.Folder();
    const char* to = name.c_str();
    struct stat status;
    // Only a regular file is put in place (a converter could have left
    // anything at the name).
    const bool found = fstatat(folder, made.Name(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!found || !S_ISREG(status.st_mode))
    {
        error = found ? EINVAL : errno;
        return Placed::eFAILED;
    }
    auto examined = [&] {
        return ReplaceOurs(made, name, Examine(made, to, placing.mRecorded, placing.mHeld), placing, error);
    };
    // A name already taken is looked into without writing anything.
    if (fstatat(folder, to, &status, AT_SYMLINK_NOFOLLOW) == 0)
        return examined();
    if (!FlushFresh(made))
    {
        error = errno;
        return Placed::eFAILED;
    }
    placing.Tell(name);
    if (linkat(folder, made.Name(), folder, to, 0) == 0)
    {
        fsync(folder);
        return Placed::eNEW;
    }
    if (errno == EEXIST)
        return examined();
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
    {
        error = errno;
        return Placed::eFAILED;
    }
    if (RenameNoReplace(folder, made.Name(), to))
    {
        made.Forget();
        fsync(folder);
        return Placed::eNEW;
    }
    if (errno == EEXIST)
        return examined();
    error = errno;
    return Placed::eFAILED;
}

// The entries written to a fresh file, flushed, and renamed over the old
// record (never written through what stands at its name), the folder then
// flushed too. Nothing here allocates.
bool WriteRecord(int folder, const Entries& entries, unsigned& count)
{
    FreshFile made(folder);
    const int fd = made.Create("", count);
    if (fd < 0)
        return false;
    char buffer[16384];
    size_t used = 0;
    bool written = true;
    for (const auto& [name, entry] : entries)
    {
        char line[NAME_MAX + 80];
        const size_t length = EntryLine(name, entry, line, sizeof line);
        if (used + length > sizeof buffer)
        {
            written = written && WriteAll(fd, buffer, used);
            used = 0;
        }
        std::memcpy(buffer + used, line, length);
        used += length;
    }
    written = written && WriteAll(fd, buffer, used) && fsync(fd) == 0;
    if (!written || renameat(folder, made.Name(), folder, kRecordName) != 0)
        return false;
    made.Forget();
    fsync(folder);
    return true;
}

} // namespace

std::atomic<int> KQoxRead6::MediaFiles::sHeldFolderWait{KSaveLock::kWaitMilliseconds};
std::atomic<int> KQoxRead6::MediaFiles::sHeldFolderWaits{0};

struct KQoxRead6::MediaFiles::Record
{
    explicit Record(int folder)
        : mJournal(folder)
    {}

    // The record's entry for name; null when it has none.
    const RecordEntry* Find(const std::string& name) const
    {
        const auto found = mEntries.find(name);
        return found == mEntries.end() ? nullptr : &found->second;
    }
    // A file found at name with the bytes the entry tells: recorded as the
    // reader's own.
    void Recognize(const std::string& name, const RecordEntry& entry)
    {
        const RecordEntry* recorded = Find(name);
        if (recorded && *recorded == entry)
            return;
        if (mJournaled)
            mJournal.Note(name, entry, mCount);
        mEntries[name] = entry;
        mChanged = true;
    }
    // Where this read holds the folder, the record written when the read
    // added to it, then the journals it holds removed; otherwise they are
    // left to the next read. Nothing here allocates.
    void Finish(int folder)
    {
        if (mHeld && ((!mChanged && mTaken.empty()) || WriteRecord(folder, mEntries, mCount)))
        {
            for (const std::string& name : mTaken)
                unlinkat(folder, name.c_str(), 0);
            mJournal.Remove();
        }
        mJournal.Close();
    }

    bool mHeld = false;              // this read holds the folder: the record is its to write
    bool mJournaled = false;         // what this read adds goes to its journal first
    Entries mEntries;                // the record's, with what this read adds
    bool mChanged = false;           // this read added to it
    std::vector<std::string> mTaken; // the journals of reads done, taken into mEntries
    Journal mJournal;                // this read's
    unsigned mCount = 0;             // fresh files made for it, for their names
};

namespace {

// What reads leave in a folder: their journals, and the fresh files of
// reads killed on the way.
struct LeftByReads
{
    std::vector<std::string> mJournals;
    std::vector<std::string> mFresh;
};

// The folder listed once for what reads leave there.
void ListLeftByReads(int folder, LeftByReads& left)
{
    const int listed = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* opened = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!opened)
    {
        if (listed >= 0)
            close(listed);
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(opened, closedir);
    while (const dirent* entry = readdir(opened))
    {
        if (std::strncmp(entry->d_name, kJournalPrefix, sizeof kJournalPrefix - 1) == 0)
            left.mJournals.push_back(entry->d_name);
        else if (std::strncmp(entry->d_name, kFreshPrefix, sizeof kFreshPrefix - 1) == 0)
            left.mFresh.push_back(entry->d_name);
    }
}

// The journals among names of reads that are done (their reads let them
// go) taken into entries (taken lists them where this read holds the
// folder): each line whose name still holds the bytes it tells of.
void TakeJournals(int folder, bool held, const std::vector<std::string>& names, Entries& entries,
                  std::vector<std::string>& taken)
{
    for (const std::string& name : names)
    {
        const KDescriptor journal(OpenOwnFile(folder, name.c_str()));
        if (journal.Get() < 0 || flock(journal.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        std::string text;
        Entries told;
        if (ReadWhole(journal.Get(), text))
            ParseEntries(text, told);
        for (const auto& [named, entry] : told)
        {
            if (Reserved(named) || named.find('/') != std::string::npos)
                continue;
            const KDescriptor there(OpenOwnFile(folder, named.c_str()));
            Fingerprint now;
            if (there.Get() >= 0 && FingerprintOf(there.Get(), now) && now == entry.mFile)
                entries[named] = entry;
        }
        if (held)
            taken.push_back(name);
    }
}

} // namespace

KQoxRead6::MediaFiles::Folder::Folder() = default;

KQoxRead6::MediaFiles::Folder::~Folder()
{
    Close();
}

void KQoxRead6::MediaFiles::Folder::Close()
{
    if (mRecord)
        mRecord->Finish(mFd);
    mRecord.reset();
    if (mFd >= 0)
        close(mFd);
    mFd = -1;
}

void KQoxRead6::MediaFiles::Refuse(Folder& folder, const std::string& why)
{
    folder.Close();
    folder.mRefused = why;
}

std::string KQoxRead6::MediaFiles::Refusals() const
{
    std::string refusals = mBeside.mRefused;
    if (!refusals.empty() && !mCache.mRefused.empty())
        refusals += "; ";
    return refusals + mCache.mRefused;
}

void KQoxRead6::MediaFiles::NotExtracted(const char* mediaName, const std::string& why)
{
    mMessage += KEscapeControls("Media not extracted (" + why + "): " + mediaName);
    mMessage += "\n";
}

bool KQoxRead6::MediaFiles::OpenBeside(KQox& file, Folder& folder, std::string& why)
{
    const std::string at = file.GetFilePath();
    const std::string name =
        std::string(KQoxWholeText(ExtractFileName(file.GetFileName(), true)).ToChars()) + kMediaFolderSuffix;
    const std::string path = KQoxWholeText(MakeFullPath(at.c_str(), name.c_str())).ToChars();
    const int fd = open(at.empty() ? "." : at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
    {
        why = path + ": " + strerror(errno);
        return false;
    }
    folder.mFd = KOpenOwnFolderAt(fd, name.c_str(), path, &why);
    close(fd);
    if (folder.mFd < 0)
    {
        // Every refusal of the media folder itself names it; another names
        // the file's folder or one above it.
        mBesideOthers = why.compare(0, path.size(), path) != 0;
        return false;
    }
    folder.mPath = path;
    folder.mRelative = name;
    return true;
}

bool KQoxRead6::MediaFiles::OpenCache(KQox& file, Folder& folder, std::string& why)
{
    const std::string base = KUserBaseFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"), ".cache");
    const std::string at = file.GetFilePath();
    const std::string path =
        base.empty()
            ? base
            : base + kCacheFolder + CacheName(at, KQoxWholeText(ExtractFileName(file.GetFileName(), true)).ToChars());
    std::string real;
    folder.mFd = KOpenUserFolder(path, &why, &real);
    if (folder.mFd < 0)
        return false;
    folder.mPath = real;
    // From where the folder of the file read really lies: ".." there leads
    // where the system takes it.
    char resolved[PATH_MAX];
    const std::filesystem::path from(realpath(at.c_str(), resolved) ? resolved : at.c_str());
    folder.mRelative = std::filesystem::path(real).lexically_relative(from).string();
    if (folder.mRelative.empty())
        folder.mRelative = real;
    if (mBesideOthers)
        mMessage += KEscapeControls("Media extracted into the cache (" + mBeside.mRefused + "): " + real) + "\n";
    return true;
}

bool KQoxRead6::MediaFiles::Opened(KQox& file, Folder& folder)
{
    if (!folder.mTried)
    {
        folder.mTried = true;
        std::string why;
        if (!(&folder == &mBeside ? OpenBeside(file, folder, why) : OpenCache(file, folder, why)))
            Refuse(folder, why);
    }
    return folder.mFd >= 0;
}

KQoxRead6::MediaFiles::Folder* KQoxRead6::MediaFiles::Current(KQox& file)
{
    if (Opened(file, mBeside))
        return &mBeside;
    return Opened(file, mCache) ? &mCache : nullptr;
}

struct KQoxRead6::MediaFiles::Content
{
    bool mRead = false;
    Fingerprint mPrint;
};

void KQoxRead6::MediaFiles::Look(Folder& folder)
{
    std::unique_ptr<Record> record(new Record(folder.mFd));
    bool wait = !mWaited;
    const Locked locked = LockFolder(folder.mFd, wait, sHeldFolderWait);
    mWaited = mWaited || !wait;
    record->mHeld = locked == Locked::eHELD;
    // Where no read can hold the folder, no journal would ever be taken.
    record->mJournaled = locked != Locked::eNONE;
    {
        const KDescriptor fd(OpenOwnFile(folder.mFd, kRecordName));
        std::string text;
        if (fd.Get() >= 0 && ReadWhole(fd.Get(), text))
            ParseEntries(text, record->mEntries);
    }
    LeftByReads left;
    ListLeftByReads(folder.mFd, left);
    TakeJournals(folder.mFd, record->mHeld, left.mJournals, record->mEntries, record->mTaken);
    // Only one read at a time looks for fresh files to remove.
    if (record->mHeld)
        RemoveLeftFresh(folder.mFd, left.mFresh);
    folder.mRecord = std::move(record);
}

void KQoxRead6::MediaFiles::Found(Folder& folder, const std::string& media, const std::string& name,
                                  const Extracted*& where)
{
    folder.mMade.insert(name);
    Extracted extracted{folder.mPath + "/" + name, folder.mRelative + "/" + name};
    where = &mByMedia.emplace(media, std::move(extracted)).first->second;
}

KQoxRead6::MediaFiles::Stand KQoxRead6::MediaFiles::Standing(KQox& file, Folder& folder, bool tif,
                                                             const std::string& base, Content& content,
                                                             std::string& name)
{
    Record& record = *folder.mRecord;
    for (int n = 0; n <= kMostNumbered; ++n)
    {
        name = n == 0 ? base : KNumberedFileName(base, n);
        if (folder.mMade.count(name) || Reserved(name))
            continue;
        bool absent = false;
        const KDescriptor there(OpenOwnFile(folder.mFd, name.c_str(), &absent));
        if (absent)
            break;
        // Anything else there is skipped, as placing the image skips it.
        if (there.Get() < 0)
            continue;
        ContentSink sink(tif ? -1 : there.Get());
        content.mRead = file.FieldReadRPeek(sink);
        content.mPrint = sink.Print();
        if (!content.mRead)
            return Stand::eWRITE;
        if (!tif && sink.Same())
        {
            // As the reader would have put it: the record says so.
            record.Recognize(name, {content.mPrint, content.mPrint});
            return Stand::eSTANDS;
        }
        const RecordEntry* recorded = record.Find(name);
        // Converted content is made again unless the file is what the
        // reader made from this very content, unchanged since (placing it
        // then compares the bytes).
        if (tif)
        {
            Fingerprint now;
            return recorded && recorded->mContent == content.mPrint && FingerprintOf(there.Get(), now) &&
                           now == recorded->mFile
                       ? Stand::eSTANDS
                       : Stand::eWRITE;
        }
        // Raw content with other bytes: only the reader's own, in a folder
        // this read holds, is replaced; any other file stays, nothing
        // written.
        const Placed whose = Whose(there.Get(), recorded, record.mHeld);
        return whose == Placed::eOURS        ? Stand::eWRITE
               : whose == Placed::eRETOUCHED ? Stand::eRETOUCHED
               : whose == Placed::eHELD      ? Stand::eHELD
                                             : Stand::eUNRECORDED;
    }
    ContentSink sink(-1);
    content.mRead = file.FieldReadRPeek(sink);
    content.mPrint = sink.Print();
    return Stand::eWRITE;
}

void KQoxRead6::MediaFiles::Kept(const Folder& folder, const std::string& name, Stand why)
{
    const char* line = why == Stand::eHELD ? "Media file not updated, another read holds its folder (read again to "
                                             "take the image in the file): "
                       : why == Stand::eUNRECORDED
                           ? "Media file kept, no record names it as extracted (remove it and read again to take the "
                             "image in the file): "
                           : "Media file kept, it differs from the image in the file: ";
    mMessage += KEscapeControls(line + folder.mPath + "/" + name) + "\n";
}

KQoxRead6::MediaFiles::Put KQoxRead6::MediaFiles::PutImage(KQox& file, KQoxSdkManager& manager, Folder& folder,
                                                           bool tif, const std::string& media, const std::string& base,
                                                           std::unique_ptr<ImageConverterBuffer>& image,
                                                           std::string& why, const Extracted*& where)
{
    if (!folder.mRecord)
        Look(folder);
    Record& record = *folder.mRecord;
    // Where the image stands already, nothing is written.
    Content content;
    std::string name;
    const Stand stand = Standing(file, folder, tif, base, content, name);
    if (stand != Stand::eWRITE && stand != Stand::eSTANDS)
        Kept(folder, name, stand);
    if (stand != Stand::eWRITE)
    {
        Found(folder, media, name, where);
        return Put::eFOUND;
    }
    FreshFile made(folder.mFd);
    int error = 0;
    const char* extension = ExtensionOf(base);
    const Written written =
        tif ? WriteConverted(file, manager, folder.mPath, made, extension, mFreshCount, image, error, why)
            : WriteRaw(file, made, extension, mFreshCount, error);
    if (written == Written::eDAMAGED)
        return Put::eDAMAGED;
    if (written == Written::eNOT_MADE)
        return Put::eNOT_MADE;
    if (written == Written::eFOLDER_FAILED)
    {
        why = folder.mPath + ": " + strerror(error);
        // No room for its bytes, or its own failure (its name too long for
        // a fresh file, the process's file size limit): the folder still
        // takes the others.
        if (error == ENOSPC || error == EDQUOT)
            return Put::eNO_ROOM;
        return error == ENAMETOOLONG || error == EFBIG ? Put::eIMAGE_REFUSED : Put::eFOLDER_REFUSED;
    }
    // What the fresh file holds, for the record.
    RecordEntry entry{content.mPrint, content.mPrint};
    if (tif)
    {
        const KDescriptor fresh(openat(folder.mFd, made.Name(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        entry.mFile = Fingerprint();
        content.mRead = content.mRead && fresh.Get() >= 0 && FingerprintOf(fresh.Get(), entry.mFile);
    }
    for (int n = 0; n <= kMostNumbered; ++n)
    {
        name = n == 0 ? base : KNumberedFileName(base, n);
        if (folder.mMade.count(name) || Reserved(name))
            continue;
        // The name's entry made before anything is placed, so that memory
        // running short never leaves a placed image out of the record.
        const auto slot = record.mEntries.try_emplace(name);
        const bool recorded = !slot.second;
        const RecordEntry before = slot.first->second;
        const Placing placing{recorded ? &before : nullptr, record.mHeld,
                              content.mRead && record.mJournaled ? &record.mJournal : nullptr, entry, record.mCount};
        const Placed placed = Place(made, name, placing, error);
        if (content.mRead && (placed == Placed::eNEW || placed == Placed::eSAME) && (!recorded || before != entry))
        {
            if (placed == Placed::eSAME)
                placing.Tell(name);
            slot.first->second = entry;
            record.mChanged = true;
        }
        else if (!recorded)
            record.mEntries.erase(slot.first);
        if (placed == Placed::eTAKEN)
            continue;
        if (placed == Placed::eFAILED)
        {
            why = folder.mPath + ": " + strerror(error);
            return error == ENOSPC || error == EDQUOT ? Put::eNO_ROOM : Put::eIMAGE_REFUSED;
        }
        if (placed != Placed::eNEW && placed != Placed::eSAME)
            Kept(folder, name,
                 placed == Placed::eRETOUCHED ? Stand::eRETOUCHED
                 : placed == Placed::eHELD    ? Stand::eHELD
                                              : Stand::eUNRECORDED);
        Found(folder, media, name, where);
        return Put::eFOUND;
    }
    why = folder.mPath + ": no free name";
    return Put::eIMAGE_REFUSED;
}

bool KQoxRead6::MediaFiles::Extract(KQox& file, KQoxSdkManager& manager, const char* mediaName, bool tif,
                                    const Extracted*& where)
{
    const std::string media(mediaName ? mediaName : "");
    const auto known = mByMedia.find(media);
    if (known != mByMedia.end())
    {
        where = &known->second;
        return true;
    }
    if (mFailed.count(media))
        return false;
    const char* sceneFile = file.GetFileName();
    if (!sceneFile || !*sceneFile || file.FieldReadGetType() != 'R')
        return false;
    const std::string base = KQoxWholeText(ExtractFileName(media.c_str(), true)).ToChars();
    std::string why;
    if (base.empty() || base == "." || base == "..")
        why = "the file gives it no usable name";
    std::unique_ptr<ImageConverterBuffer> image;
    while (why.empty())
    {
        Folder* folder = Current(file);
        if (!folder)
        {
            why = Refusals();
            break;
        }
        const Put put = PutImage(file, manager, *folder, tif, media, base, image, why, where);
        if (put == Put::eFOUND)
            return true;
        if (put == Put::eDAMAGED)
            return false;
        if (put == Put::eFOLDER_REFUSED)
        {
            // Another folder may take it.
            Refuse(*folder, why);
            why.clear();
            continue;
        }
        if (put == Put::eNO_ROOM && folder == &mBeside)
        {
            // The cache may lie on a disk with room: tried for this image
            // alone, the images after it go beside the file first again.
            std::string cached;
            const Put again = Opened(file, mCache)
                                  ? PutImage(file, manager, mCache, tif, media, base, image, cached, where)
                                  : Put::eFOLDER_REFUSED;
            if (again == Put::eFOUND)
            {
                mMessage += KEscapeControls("Media extracted into the cache (" + why + "): " + where->mPath) + "\n";
                return true;
            }
            if (again == Put::eDAMAGED)
                return false;
            if (again == Put::eFOLDER_REFUSED && mCache.mFd >= 0)
                Refuse(mCache, cached);
            why += "; " + (mCache.mFd < 0 ? mCache.mRefused : cached);
        }
        break;
    }
    NotExtracted(media.empty() ? "\"\"" : media.c_str(), why);
    mFailed.insert(media);
    return false;
}

} // namespace qoxsdk_600
