#include "base/kconfigfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "base/kfile.h"
#include "base/klib.h"
#include "base/knumbertext.h"
#include "base/kpath.h"
#include "base/kuserfolder.h"

namespace {

// The numbered names a file kept aside may take beyond "<name>.bak".
const int kMostBackups = 100;

const char* Safe(const char* text)
{
    return text ? text : "";
}

// Reads one whole line (line end removed); false at the end of the file.
bool ReadLine(FILE* file, std::string& line)
{
    line.clear();
    bool any = false;
    for (int c; (c = std::getc(file)) != EOF;)
    {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    return any;
}

// The line without its comment (text from the first ';').
std::string CutComment(const std::string& line)
{
    size_t semicolon = line.find(';');
    return semicolon == std::string::npos ? line : line.substr(0, semicolon);
}

// A section line holds both '[' and ']'; its name is the text between them.
bool SectionName(const std::string& text, std::string& name)
{
    size_t open = text.find('[');
    if (open == std::string::npos || text.find(']') == std::string::npos)
        return false;
    size_t close = text.find(']', open + 1);
    if (close == std::string::npos)
        close = text.size();
    name = text.substr(open + 1, close - open - 1);
    return true;
}

bool Blank(char c)
{
    return static_cast<unsigned char>(c) < '!';
}

std::string TrimRight(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && Blank(text[end - 1]))
        --end;
    return text.substr(0, end);
}

// Splits an entry line "key = value" into its key and value: leading blanks
// (and '=' before the value) skipped, trailing blanks removed. False for a
// line without '='.
bool SplitEntry(const std::string& text, std::string& key, std::string& value)
{
    size_t start = 0;
    while (start < text.size() && Blank(text[start]))
        ++start;
    size_t equal = text.find('=', start);
    if (equal == std::string::npos)
        return false;
    key = TrimRight(text.substr(start, equal - start));
    size_t v = equal;
    while (v < text.size() && (Blank(text[v]) || text[v] == '='))
        ++v;
    value = TrimRight(text.substr(v));
    return true;
}

bool SameName(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

char* CopyText(const char* text)
{
    size_t n = strlen(text) + 1;
    char* copy = new char[n];
    memcpy(copy, text, n);
    return copy;
}

KCharPtrSet* SectionAt(KCharPtrSet* sections, int index, char** name)
{
    return reinterpret_cast<KCharPtrSet*>(sections->GetFromIndex(index, name));
}

// Closes a settings file however its reading ends.
struct FileCloser
{
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The folder of a file path: "/" for a file at the root, "." for a bare name.
std::string FolderOf(const char* path)
{
    const char* slash = strrchr(path, '/');
    if (!slash)
        return ".";
    return slash == path ? "/" : std::string(path, static_cast<size_t>(slash - path));
}

// Whether the folder of a file path is one only root may write (an
// administrator's).
bool IsAdministratorsFolder(const char* path)
{
    struct stat folder;
    return stat(FolderOf(path).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) && folder.st_uid == 0 &&
           (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Why the file open as fd is not read as settings, or null when it is:
// settings no other user can have written are a regular file of this
// user's own, writable by no other user (the user's private group aside),
// or root's, writable by root alone, in a folder only root may write.
const char* Distrust(int fd, const struct stat& status, const char* path)
{
    if (!S_ISREG(status.st_mode))
        return " is not a regular file";
    const bool own = status.st_uid == geteuid();
    if (!own && !(status.st_uid == 0 && IsAdministratorsFolder(path)))
        return " belongs to another user";
    if (own ? !KOnlyUserMayWrite(status, fd, path) : (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return " can be written by other users";
    return nullptr;
}

enum class Found
{
    eMissing, // nothing stands at the name
    eOpen,    // the settings, open for reading
    eRefused  // something that is not read as settings
};

// The settings file opened for reading, never through a symbolic link (nor
// opening a FIFO or device); when it is refused, why holds its path and the
// cause (when asked for).
Found OpenSettings(const char* path, File& file, std::string* why)
{
    file.reset();
    const char* cause = nullptr;
    int error = 0;
    struct stat status;
    if (lstat(path, &status) != 0)
    {
        if (errno == ENOENT || errno == ENOTDIR)
            return Found::eMissing;
        error = errno;
    }
    else if (S_ISLNK(status.st_mode))
        cause = " is a symbolic link";
    else if (!S_ISREG(status.st_mode))
        cause = " is not a regular file";
    else
    {
        // Checked again once open: the name may have changed hands since.
        // It is closed however the check ends: the check allocates.
        KDescriptor fd(open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() < 0)
        {
            if (errno == ENOENT)
                return Found::eMissing;
            error = errno;
            if (error == ELOOP)
                cause = " is a symbolic link";
        }
        else if (fstat(fd.Get(), &status) != 0)
            error = errno;
        else if ((cause = Distrust(fd.Get(), status, path)) == nullptr)
        {
            file.reset(fdopen(fd.Get(), "r"));
            if (file)
            {
                fd.Release(); // the stream's now
                return Found::eOpen;
            }
            // No room for the stream is memory running out, not a refusal.
            if (errno == ENOMEM)
                throw std::bad_alloc();
            error = errno;
        }
    }
    if (why)
        *why = std::string(path) + (cause ? std::string(cause) : std::string(": ") + strerror(error));
    return Found::eRefused;
}

// Whether a file may be written at path: nothing stands there, or settings
// that would be read. Anything else is left as it is.
bool MayReplace(const char* path)
{
    File file;
    return OpenSettings(path, file, nullptr) != Found::eRefused;
}

// False, with errno given in *error (when asked for).
bool Failed(int* error)
{
    if (error)
        *error = errno;
    return false;
}

// The whole of a file open for reading, from its start; false on a read
// error.
bool ReadAll(FILE* file, std::string& bytes)
{
    bytes.clear();
    rewind(file);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, n);
    return !ferror(file);
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0)
    {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Puts text in place as the file at path: written whole to a fresh
// temporary of its own beside it ("<name>.tmpXXXXXX", made for this write
// alone, never through a link), flushed to disk and renamed over the name.
// Whoever reads the name finds the old file or the new one, whole, however
// many processes write it at once. The new file has the mode and group of
// the one it replaces (mode 0600 for a first one); a file its owner keeps
// from writing is not replaced. False when a step fails: the file is then
// as it was and no temporary stays, and *error (when given) holds the
// system's error. Nothing is allocated once the temporary exists.
bool ReplaceWhole(const char* path, const std::string& text, int* error = nullptr)
{
    struct stat old;
    const bool replaces = lstat(path, &old) == 0 && S_ISREG(old.st_mode);
    std::string temporary = std::string(path) + ".tmpXXXXXX";
    const std::string folder = FolderOf(path);
    if (replaces && faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0)
        return Failed(error);
    const int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0)
        return Failed(error);
    // The group first: changing it may clear bits the mode then sets. A
    // group that cannot be kept gets none of the old group's rights.
    const bool grouped = replaces && fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
    const mode_t mode = replaces ? old.st_mode & (grouped ? 0777 : 0707) : S_IRUSR | S_IWUSR;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
    int cause = errno;
    if (close(fd) != 0 && ok)
    {
        ok = false;
        cause = errno;
    }
    if (ok && rename(temporary.c_str(), path) != 0)
    {
        ok = false;
        cause = errno;
    }
    if (!ok)
    {
        unlink(temporary.c_str());
        errno = cause;
        return Failed(error);
    }
    // The rename reaches the disk with its folder.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0)
    {
        fsync(dir);
        close(dir);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// KConfigFile

KConfigFile::KConfigFile(const char* name, bool inMemory)
    : mDirty(false)
    , mUncaught(std::uncaught_exceptions())
{
    mValue[0] = 0;
    BuildPaths(name, KLib_GetConfigDirectory());
    if (inMemory)
    {
        mVirtualFile = std::make_unique<KCharPtrSet>(20);
        VirtualFileLoad(mVirtualFile.get());
    }
}

KConfigFile::KConfigFile(const char* name, const char* directory)
    : mDirty(false)
    , mUncaught(std::uncaught_exceptions())
{
    mValue[0] = 0;
    BuildPaths(name, directory);
}

KConfigFile::~KConfigFile()
{
    if (!mVirtualFile)
        return;
    // A copy that an exception left part changed is not written, and
    // writing needs memory: without it the file stays as it was.
    if (mDirty && std::uncaught_exceptions() == mUncaught)
    {
        try
        {
            VirtualFileDump(mVirtualFile.get());
        }
        catch (const std::bad_alloc&)
        {}
    }
    VirtualFileClear(mVirtualFile.get());
}

void KConfigFile::BuildPaths(const char* name, const char* directory)
{
    name = Safe(name);
    // One separator whether or not the directory ends with one.
    KString dir(Safe(directory));
    if (dir.IsEmpty() || dir[dir.GetLen() - 1] != '/')
        dir += "/";
    if (name[0] == '@')
    {
        char host[256];
        KLib_GetComputerName(host, sizeof(host));
        mFilePath = dir + host + "." + (name + 1);
    }
    else
    {
        mFilePath = dir + name;
    }
    // A path memory could not hold would name another file.
    if (!mFilePath.IsOK())
        throw std::bad_alloc();
}

char* KConfigFile::CopyValue(const char* text)
{
    size_t n = strnlen(text, kValueSize - 1);
    memcpy(mValue, text, n);
    mValue[n] = 0;
    return mValue;
}

char* KConfigFile::Get(const char* section, const char* key, const char* defaultValue)
{
    if (mVirtualFile)
        return VirtualFileGet(mVirtualFile.get(), section, key, defaultValue);
    section = Safe(section);
    key = Safe(key);
    if (defaultValue)
        CopyValue(defaultValue);

    bool found = false;
    File file;
    if (OpenSettings(mFilePath, file, nullptr) == Found::eOpen)
    {
        bool inSection = false;
        std::string line;
        while (!found && ReadLine(file.get(), line))
        {
            std::string text = CutComment(line);
            std::string name;
            if (SectionName(text, name))
            {
                inSection = SameName(name, section);
                continue;
            }
            std::string entryKey;
            std::string value;
            if (inSection && SplitEntry(text, entryKey, value) && SameName(entryKey, key))
            {
                CopyValue(value.c_str());
                found = true;
            }
        }
    }
    return (found || defaultValue) ? mValue : nullptr;
}

bool KConfigFile::Set(const char* section, const char* key, const char* value, const char* comment)
{
    if (mVirtualFile)
    {
        if (!VirtualFileSet(mVirtualFile.get(), section, key, value))
            return false;
        mDirty = true;
        return true;
    }
    section = Safe(section);
    key = Safe(key);
    value = Safe(value);

    std::string entry = std::string(key) + " = " + value;
    if (comment && *comment)
        entry += std::string(" ; ") + comment;
    entry += "\n";

    // The new text is made whole in memory, then replaces the file at once.
    File in;
    if (OpenSettings(mFilePath, in, nullptr) == Found::eRefused)
        return false;
    std::string out;
    bool existed = in != nullptr;
    bool hadLines = false;
    bool inTarget = false;
    bool found = false;
    bool written = false;
    if (in)
    {
        std::string line;
        while (ReadLine(in.get(), line))
        {
            bool firstLine = !hadLines;
            hadLines = true;
            std::string text = CutComment(line);
            std::string name;
            if (SectionName(text, name))
            {
                bool target = SameName(name, section);
                if (!target && inTarget && !written)
                {
                    out += entry;
                    written = true;
                }
                inTarget = target;
                if (target)
                    found = true;
                if (!firstLine)
                    out += "\n";
                out += line;
                out += "\n";
                continue;
            }
            if (inTarget && !written)
            {
                std::string entryKey;
                std::string oldValue;
                if (SplitEntry(text, entryKey, oldValue) && SameName(entryKey, key))
                {
                    out += entry;
                    written = true;
                    continue;
                }
            }
            if (line.empty())
                continue; // blank lines are dropped
            out += line;
            out += "\n";
        }
        // A file not read to its end is not replaced by what was read.
        if (ferror(in.get()))
            return false;
        in.reset();
    }
    if (!found)
    {
        if (hadLines)
            out += "\n";
        out += std::string("[") + section + "]\n";
    }
    if (!written)
        out += entry;
    if (!existed)
        out += "\n";
    return ReplaceWhole(mFilePath, out);
}

bool KConfigFile::GetOrSet(const char* section, const char* key, const char* value, const char* comment)
{
    if (Get(section, key, nullptr))
        return true;
    return Set(section, key, value, comment);
}

bool KConfigFile::ClearFile()
{
    if (mVirtualFile)
    {
        VirtualFileClear(mVirtualFile.get());
        return true;
    }
    return MayReplace(mFilePath) && ReplaceWhole(mFilePath, std::string());
}

bool KConfigFile::Write()
{
    if (!mVirtualFile || !mDirty)
        return true;
    if (!VirtualFileDump(mVirtualFile.get()))
        return false;
    mDirty = false;
    return true;
}

void KConfigFile::VirtualFileLoad(KCharPtrSet* sections)
{
    if (!sections)
        return;
    mNotRead.clear();
    mStray.clear();
    mKeptAside.clear();
    mNotKeptAside.clear();
    File file;
    if (OpenSettings(mFilePath, file, &mNotRead) != Found::eOpen)
        return;
    // What memory cuts short is not kept as the file's contents.
    try
    {
        KCharPtrSet* current = nullptr;
        std::string line;
        for (int number = 1; ReadLine(file.get(), line); ++number)
        {
            std::string text = CutComment(line);
            size_t start = text.find_first_not_of(" \t\n\r");
            if (start == std::string::npos)
                continue;
            text = text.substr(start);

            std::string name;
            if (SectionName(text, name))
            {
                // A section named twice collects its entries in one place.
                current = reinterpret_cast<KCharPtrSet*>(sections->Get(name.c_str()));
                if (!current)
                {
                    std::unique_ptr<KCharPtrSet> made(new KCharPtrSet(20));
                    sections->Add(name.c_str(), reinterpret_cast<kReference>(made.get()));
                    current = made.release();
                }
                continue;
            }
            std::string key;
            std::string value;
            if (!current || !SplitEntry(text, key, value))
            {
                mStray.push_back(StrayLine{number, line});
                continue;
            }
            // The first entry of a key wins, as when reading the file directly.
            if (current->Get(key.c_str()))
                continue;
            std::unique_ptr<char[]> copy(CopyText(value.c_str()));
            current->Add(key.c_str(), reinterpret_cast<kReference>(copy.get()));
            copy.release();
        }
        // Nor is what a read error cuts short.
        if (ferror(file.get()))
        {
            const int error = errno;
            VirtualFileClear(sections);
            mStray.clear();
            mNotRead = std::string(mFilePath) + ": " + strerror(error);
        }
        else if (!mStray.empty())
            KeepAside(file.get());
    }
    catch (...)
    {
        VirtualFileClear(sections);
        mStray.clear();
        throw;
    }
}

// The file as loaded, read again from its start, put in a fresh file beside
// it (see the header): the lines the copy drops are kept there.
void KConfigFile::KeepAside(FILE* file)
{
    std::string bytes;
    if (!ReadAll(file, bytes))
    {
        mNotKeptAside = std::string(mFilePath) + ": " + strerror(errno);
        return;
    }
    const std::string name = std::string(mFilePath) + ".bak";
    for (int number = 0; number <= kMostBackups; ++number)
    {
        std::string path = number == 0 ? name : KNumberedFileName(name, number);
        // Made once the name is had: memory cannot run out past that.
        KDescriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
        if (fd.Get() >= 0)
        {
            if (WriteAll(fd.Get(), bytes.data(), bytes.size()) && fsync(fd.Get()) == 0)
            {
                mKeptAside.swap(path);
                return;
            }
            const int error = errno;
            unlink(path.c_str());
            mNotKeptAside = path + ": " + strerror(error);
            return;
        }
        if (errno != EEXIST)
        {
            mNotKeptAside = path + ": " + strerror(errno);
            return;
        }
        // One kept before, the user's own, holding these very bytes.
        File before;
        std::string held;
        if (OpenSettings(path.c_str(), before, nullptr) == Found::eOpen && ReadAll(before.get(), held) &&
            held == bytes)
        {
            mKeptAside = path;
            return;
        }
    }
    mNotKeptAside = name + ": no free name";
}

bool KConfigFile::VirtualFileDump(KCharPtrSet* sections)
{
    // What stood at the name when loaded was not read: the copy holds
    // nothing of it, and is not written over it. Nor over lines it does
    // not hold, unless they were kept aside.
    mNotWritten.clear();
    if (!sections || !mNotRead.empty())
    {
        mNotWritten = mNotRead;
        return false;
    }
    if (!mStray.empty() && mKeptAside.empty())
    {
        mNotWritten = mNotKeptAside;
        return false;
    }
    std::string out;
    for (int i = 0; i < sections->GetCount(); ++i)
    {
        char* name = nullptr;
        KCharPtrSet* entries = SectionAt(sections, i, &name);
        if (i > 0)
            out += "\n";
        out += std::string("[") + Safe(name) + "]\n";
        if (!entries)
            continue;
        for (int j = 0; j < entries->GetCount(); ++j)
        {
            char* key = nullptr;
            const char* value = reinterpret_cast<const char*>(entries->GetFromIndex(j, &key));
            out += std::string(Safe(key)) + " = " + Safe(value) + "\n";
        }
    }
    File standing;
    if (OpenSettings(mFilePath, standing, &mNotWritten) == Found::eRefused)
        return false;
    standing.reset();
    int error = 0;
    if (ReplaceWhole(mFilePath, out, &error))
        return true;
    mNotWritten = std::string(mFilePath) + ": " + strerror(error);
    return false;
}

char* KConfigFile::VirtualFileGet(KCharPtrSet* sections, const char* section, const char* key, const char* defaultValue)
{
    if (sections)
    {
        KCharPtrSet* entries = reinterpret_cast<KCharPtrSet*>(sections->Get(Safe(section)));
        if (entries)
        {
            char* value = reinterpret_cast<char*>(entries->Get(Safe(key)));
            if (value)
                return value;
        }
    }
    return defaultValue ? CopyValue(defaultValue) : nullptr;
}

bool KConfigFile::VirtualFileSet(KCharPtrSet* sections, const char* section, const char* key, const char* value)
{
    if (!sections)
        return false;
    section = Safe(section);
    key = Safe(key);
    std::unique_ptr<char[]> copy(CopyText(Safe(value)));

    KCharPtrSet* entries = reinterpret_cast<KCharPtrSet*>(sections->Get(section));
    if (!entries)
    {
        std::unique_ptr<KCharPtrSet> made(new KCharPtrSet(20));
        sections->Add(section, reinterpret_cast<kReference>(made.get()));
        entries = made.release();
    }
    int index = -1;
    char* old = reinterpret_cast<char*>(entries->Get(key, &index));
    if (old)
    {
        delete[] old;
        (*entries)[index] = reinterpret_cast<kReference>(copy.release());
    }
    else
    {
        entries->Add(key, reinterpret_cast<kReference>(copy.get()));
        copy.release();
    }
    return true;
}

void KConfigFile::VirtualFileClear(KCharPtrSet* sections)
{
    if (!sections)
        return;
    for (int i = 0; i < sections->GetCount(); ++i)
    {
        KCharPtrSet* entries = SectionAt(sections, i, nullptr);
        if (!entries)
            continue;
        for (int j = 0; j < entries->GetCount(); ++j)
            delete[] reinterpret_cast<char*>(entries->GetFromIndex(j));
        delete entries;
    }
    sections->Clear();
}

// ---------------------------------------------------------------------------
// KRegistry

KRegistry::KRegistry() {}

KRegistry::~KRegistry() {}

KRegistry& KRegistry::Instance()
{
    static KRegistry instance;
    return instance;
}

bool KRegistry::Connect(const char* file, const char* section)
{
    mFileName = Safe(file);
    mSectionName = Safe(section);
    mConfigFile = std::make_unique<KConfigFile>(mFileName, false);
    return true;
}

bool KRegistry::Close()
{
    mConfigFile.reset();
    return true;
}

namespace {

// The key's value read with the scanf format, or the default when there is no
// file, no key or no number.
template <typename T>
T ScanValue(KConfigFile* file, const char* section, const char* key, const char* format, T defaultValue)
{
    const char* text = file ? file->Get(section, key, nullptr) : nullptr;
    T value = T();
    if (!text || sscanf(text, format, &value) != 1)
        return defaultValue;
    return value;
}

} // namespace

int KRegistry::ReadInt(const char*, const char* key, int defaultValue)
{
    return ScanValue(mConfigFile.get(), mSectionName, key, "%d", defaultValue);
}

float KRegistry::ReadFloat(const char*, const char* key, float defaultValue)
{
    // As "%f" reads it, with a point in every locale.
    const char* text = mConfigFile ? mConfigFile->Get(mSectionName, key, nullptr) : nullptr;
    float value = 0.0f;
    if (!text || KScanFloat(text, text + strlen(text), value) == text)
        return defaultValue;
    return value;
}

void KRegistry::ReadString(const char*, const char* key, const char* defaultValue, KString& out)
{
    const char* text = mConfigFile ? mConfigFile->Get(mSectionName, key, nullptr) : nullptr;
    out = text ? text : Safe(defaultValue);
}

bool KRegistry::WriteInt(const char*, const char* key, int value)
{
    return mConfigFile && mConfigFile->Set(mSectionName, key, KString(value), nullptr);
}

bool KRegistry::WriteFloat(const char*, const char* key, float value)
{
    return mConfigFile && mConfigFile->Set(mSectionName, key, KString(value), nullptr);
}

bool KRegistry::WriteString(const char*, const char* key, const char* value)
{
    if (!mConfigFile)
        return false;
    return mConfigFile->Set(mSectionName, key, value, nullptr);
}

// ---------------------------------------------------------------------------

namespace {

int ReadDisplayDecimalCount()
{
    KConfigFile file("@Application.txt", false);
    int count = atoi(file.Get("NumericField", "Decimal", "2"));
    // The count shapes "%.<n>f" formats: keep it to what a double shows.
    if (count < 0)
        count = 0;
    if (count > 15)
        count = 15;
    return count;
}

} // namespace

int GetDisplayDecimalCount()
{
    // Read by the first caller while any others wait.
    static const int sDecimalCount = ReadDisplayDecimalCount();
    return sDecimalCount;
}
