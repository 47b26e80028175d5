// Native reader: the media of clips extracted into a folder of the user's
// own, each image into a fresh file put in place without replacing anything.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/kfile.h"
#include "base/kpath.h"
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

// The folder name in the cache of the file read: its base name (at most 64
// bytes of it) and a hash of its full path, so that every file has one.
std::string CacheName(const std::string& folder, const std::string& name)
{
    char real[PATH_MAX];
    const std::string full = (realpath(folder.c_str(), real) ? std::string(real) : folder) + "/" + name;
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : full)
        hash = (hash ^ c) * 1099511628211ull;
    char text[24];
    std::snprintf(text, sizeof text, "-%016llx", static_cast<unsigned long long>(hash));
    return name.substr(0, 64) + text;
}

// A file made fresh in a folder under a name of its own (".qox-<pid>-<n>"
// and an extension), removed again unless it was moved into place.
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
    // less the umask: its descriptor for writing, or -1 with errno. The
    // process id is padded, so that the name (and the paths made from it
    // for libtiff and the converters) is as long in every process and a
    // read takes the same memory whatever its id.
    int Create(const char* extension, unsigned& count)
    {
        Remove();
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const int length =
                std::snprintf(mName, sizeof mName, ".qox-%010ld-%u%s", static_cast<long>(getpid()), ++count, extension);
            if (length < 0 || static_cast<size_t>(length) >= sizeof mName)
            {
                mName[0] = 0;
                errno = ENAMETOOLONG;
                return -1;
            }
            const int fd = openat(mFolder, mName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0)
                return fd;
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
    void Remove()
    {
        if (mName[0])
            unlinkat(mFolder, mName, 0);
        mName[0] = 0;
    }
    // Moved into place: nothing to remove.
    void Forget() { mName[0] = 0; }
    const char* Name() const { return mName; }
    int Folder() const { return mFolder; }

private:
    int mFolder;
    char mName[NAME_MAX + 1];
};

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
    const bool written = file.FieldReadRDescriptor(fd);
    error = errno;
    const bool closed = close(fd) == 0;
    if (!closed && written)
        error = errno;
    if (written && closed)
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
    const int fd = made.Create(extension, count);
    if (fd < 0 || close(fd) != 0)
    {
        error = errno;
        made.Remove();
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
    eNEW,   // the file is there now
    eSAME,  // a file of the user's with the same bytes was there
    eKEPT,  // a file of the user's with other bytes was there, and stays
    eTAKEN, // something else has the name: a link, a FIFO, a device, a
            // folder, another user's file (or one the user cannot read)
    eFAILED // the system refused (errno in error)
};

// What stands at name, against the fresh file: only a regular file of the
// user's own is looked into, and nothing is opened that could block.
Placed Examine(FreshFile& made, const char* name)
{
    const int folder = made.Folder();
    struct stat status;
    if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != geteuid())
        return Placed::eTAKEN;
    const int there = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (there < 0)
        return Placed::eTAKEN;
    struct stat opened;
    Placed placed = Placed::eTAKEN;
    if (fstat(there, &opened) == 0 && opened.st_dev == status.st_dev && opened.st_ino == status.st_ino)
    {
        const int mine = openat(folder, made.Name(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        placed = mine >= 0 && SameFileBytes(there, mine) ? Placed::eSAME : Placed::eKEPT;
        if (mine >= 0)
            close(mine);
    }
    close(there);
    return placed;
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

// The fresh file's bytes on disk before it takes a name a later read trusts:
// a system stopping meanwhile would leave a short file there, kept for ever
// as the user's own.
bool FlushFresh(const FreshFile& made)
{
    const int fd = openat(made.Folder(), made.Name(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = fsync(fd) == 0;
    const int error = errno;
    close(fd);
    errno = error;
    return flushed;
}

// The fresh file put at name as a new link (the fresh name then removed),
// or renamed there where the file system has no links; never over a file.
// A new name is flushed to disk with its folder.
Placed Place(FreshFile& made, const char* name, int& error)
{
    const int folder = made.Folder();
    struct stat status;
    // Only a regular file is put in place (a converter could have left
    // anything at the name).
    const bool found = fstatat(folder, made.Name(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!found || !S_ISREG(status.st_mode))
    {
        error = found ? EINVAL : errno;
        return Placed::eFAILED;
    }
    // A name already taken is looked into without writing anything.
    if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0)
        return Examine(made, name);
    if (!FlushFresh(made))
    {
        error = errno;
        return Placed::eFAILED;
    }
    if (linkat(folder, made.Name(), folder, name, 0) == 0)
    {
        fsync(folder);
        return Placed::eNEW;
    }
    if (errno == EEXIST)
        return Examine(made, name);
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
    {
        error = errno;
        return Placed::eFAILED;
    }
    if (RenameNoReplace(folder, made.Name(), name))
    {
        made.Forget();
        fsync(folder);
        return Placed::eNEW;
    }
    if (errno == EEXIST)
        return Examine(made, name);
    error = errno;
    return Placed::eFAILED;
}

} // namespace

KQoxRead6::MediaFiles::~MediaFiles()
{
    CloseFolder();
}

void KQoxRead6::MediaFiles::CloseFolder()
{
    if (mFolder >= 0)
        close(mFolder);
    mFolder = -1;
}

void KQoxRead6::MediaFiles::Refuse(const std::string& why)
{
    if (!mRefusals.empty())
        mRefusals += "; ";
    mRefusals += why;
}

void KQoxRead6::MediaFiles::NotExtracted(const char* mediaName, const std::string& why)
{
    mMessage += "Media not extracted (";
    mMessage += why;
    mMessage += "): ";
    mMessage += mediaName;
    mMessage += "\n";
}

bool KQoxRead6::MediaFiles::OpenBeside(KQox& file, std::string& why)
{
    const std::string folder = file.GetFilePath();
    const std::string name =
        std::string(KQoxWholeText(ExtractFileName(file.GetFileName(), true)).ToChars()) + kMediaFolderSuffix;
    const std::string path = KQoxWholeText(MakeFullPath(folder.c_str(), name.c_str())).ToChars();
    const int at = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at < 0)
    {
        why = path + ": " + strerror(errno);
        return false;
    }
    mFolder = KOpenOwnFolderAt(at, name.c_str(), path, &why);
    close(at);
    if (mFolder < 0)
        return false;
    mFolderPath = path;
    mRelative = name;
    return true;
}

bool KQoxRead6::MediaFiles::OpenCache(KQox& file, std::string& why)
{
    const std::string base = KUserBaseFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"), ".cache");
    const std::string folder = file.GetFilePath();
    const std::string path =
        base.empty() ? base
                     : base + kCacheFolder +
                           CacheName(folder, KQoxWholeText(ExtractFileName(file.GetFileName(), true)).ToChars());
    std::string real;
    mFolder = KOpenUserFolder(path, &why, &real);
    if (mFolder < 0)
        return false;
    mFolderPath = real;
    // From where the folder of the file read really lies: ".." there leads
    // where the system takes it.
    char resolved[PATH_MAX];
    const std::filesystem::path from(realpath(folder.c_str(), resolved) ? resolved : folder.c_str());
    mRelative = std::filesystem::path(real).lexically_relative(from).string();
    if (mRelative.empty())
        mRelative = real;
    return true;
}

bool KQoxRead6::MediaFiles::Folder(KQox& file)
{
    while (mFolder < 0 && mCandidate < 2)
    {
        std::string why;
        mMade.clear();
        if (!(mCandidate++ == 0 ? OpenBeside(file, why) : OpenCache(file, why)))
            Refuse(why);
    }
    return mFolder >= 0;
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
    const std::string base = KQoxWholeText(ExtractFileName(media.c_str(), true)).ToChars();
    const char* sceneFile = file.GetFileName();
    if (!sceneFile || !*sceneFile || base.empty() || base == "." || base == ".." || file.FieldReadGetType() != 'R')
        return false;
    const char* extension = ExtensionOf(base);
    std::unique_ptr<ImageConverterBuffer> image;
    std::string why;
    while (why.empty())
    {
        if (!Folder(file))
        {
            why = mRefusals;
            break;
        }
        FreshFile made(mFolder);
        int error = 0;
        const Written written =
            tif ? WriteConverted(file, manager, mFolderPath, made, extension, mFreshCount, image, error, why)
                : WriteRaw(file, made, extension, mFreshCount, error);
        if (written == Written::eDAMAGED)
            return false;
        if (written == Written::eFOLDER_FAILED && error == ENAMETOOLONG)
        {
            // The image's name, too long for a fresh file: no folder takes
            // it, and this one still takes the others.
            why = mFolderPath + ": " + strerror(error);
            break;
        }
        if (written == Written::eFOLDER_FAILED)
        {
            // Another folder may take it.
            Refuse(mFolderPath + ": " + strerror(error));
            CloseFolder();
            continue;
        }
        if (written == Written::eNOT_MADE)
            break;
        for (int n = 0; n <= kMostNumbered; ++n)
        {
            const std::string name = n == 0 ? base : KNumberedFileName(base, n);
            if (mMade.count(name))
                continue;
            Extracted extracted{mFolderPath + "/" + name, mRelative + "/" + name};
            const Placed placed = Place(made, name.c_str(), error);
            if (placed == Placed::eTAKEN)
                continue;
            if (placed == Placed::eFAILED)
            {
                why = mFolderPath + ": " + strerror(error);
                break;
            }
            mMade.insert(name);
            if (placed == Placed::eKEPT)
                mMessage += "Media file kept, it differs from the image in the file: " + extracted.mPath + "\n";
            where = &mByMedia.emplace(media, std::move(extracted)).first->second;
            return true;
        }
        if (why.empty())
            why = mFolderPath + ": no free name";
    }
    NotExtracted(media.c_str(), why);
    mFailed.insert(media);
    return false;
}

} // namespace qoxsdk_600
