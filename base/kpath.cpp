#include "base/kpath.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <forward_list>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <strings.h>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsSep(char c)
{
    return c == '/' || c == '\\';
}

// Position of the later of the last "/" and the last "\", or -1.
int LastSep(const char* path)
{
    int last = -1;
    for (int i = 0; path[i]; ++i)
        if (IsSep(path[i]))
            last = i;
    return last;
}

// Position of the last "/", or of the last "\" when there is no "/"; -1.
int LastDirSep(const char* path)
{
    const char* s = strrchr(path, '/');
    if (!s)
        s = strrchr(path, '\\');
    return s ? static_cast<int>(s - path) : -1;
}

KString InvalidString()
{
    KString s;
    s.Invalidate();
    return s;
}

const char* Safe(const char* text)
{
    return text ? text : "";
}

bool IsDotOrDotDot(const char* name)
{
    return strcasecmp(name, ".") == 0 || strcasecmp(name, "..") == 0;
}

// The directory part of a file path followed by "/": the text before its
// last separator, or the current directory when the path has no separator.
// A file directly under the root has the root "/" as its directory.
KString DirectoryWithSeparator(const char* path)
{
    KString dir;
    if (LastDirSep(path) >= 0)
    {
        dir = ExtractDirectoryFromFilePath(path);
    }
    else
    {
        dir = KGetCurrentDirectory();
    }
    if (dir.IsEmpty() || !IsSep(dir[dir.GetLen() - 1]))
        dir += "/";
    return dir;
}

// The texts between separators; the text after the last separator is left
// out (the paths split here end with one).
std::vector<std::string> SplitComponents(const char* path)
{
    std::vector<std::string> parts;
    std::string current;
    for (const char* p = path; *p; ++p)
    {
        if (IsSep(*p))
        {
            parts.push_back(current);
            current.clear();
        }
        else
        {
            current += *p;
        }
    }
    return parts;
}

} // namespace

// ---------------------------------------------------------------------------
// KDir

KDir::KDir()
    : mHandle(nullptr)
    , mEntry(nullptr)
    , mHasEntry(false)
{}

KDir::~KDir()
{
    if (mHandle)
        Close();
}

bool KDir::Open(const char* path)
{
    if (mHandle)
        Close();
    if (!path)
        return false;
    const char* colon = strchr(path, ':');
    if (colon)
    {
        path = colon + 1;
        if (!*path)
            path = "/";
    }
    mPath = path;
    mHandle = opendir(path);
    mEntry = mHandle ? readdir(mHandle) : nullptr;
    mHasEntry = mEntry != nullptr;
    return mHasEntry;
}

bool KDir::Next()
{
    if (!mHandle)
        return false;
    mEntry = readdir(mHandle);
    mHasEntry = mEntry != nullptr;
    return mHasEntry;
}

void KDir::Close()
{
    if (mHandle)
        closedir(mHandle);
    mHandle = nullptr;
    mEntry = nullptr;
    mHasEntry = false;
}

const char* KDir::Name()
{
    return mEntry ? mEntry->d_name : "";
}

int KDir::GetType()
{
    if (!mEntry)
        return 0;
    KString full = mPath + "/" + mEntry->d_name;
    struct stat st;
    if (stat(full, &st) != 0)
        return 0;
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

KString KDir::GetExt()
{
    const char* name = Name();
    const char* dot = strrchr(name, '.');
    return KString(dot ? dot + 1 : "");
}

bool KDir::Create(const char* path)
{
    if (!path)
        return false;
    mkdir(path, 0770);
    return Open(path);
}

bool KDir::Delete(const char* path)
{
    if (!path)
        return false;
    DIR* dir = opendir(path);
    if (dir)
    {
        std::vector<std::string> names;
        while (struct dirent* e = readdir(dir))
            names.push_back(e->d_name);
        closedir(dir);
        for (const std::string& name : names)
        {
            std::string full = std::string(path) + "/" + name;
            struct stat st;
            // lstat: a link is removed itself, whatever it points to.
            if (lstat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                remove(full.c_str());
        }
    }
    return rmdir(path) == 0;
}

bool KDir::IsEmpty(const char* path)
{
    if (!path)
        return true;
    DIR* dir = opendir(path);
    if (!dir)
        return true;
    bool empty = true;
    while (struct dirent* e = readdir(dir))
    {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
        {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

// ---------------------------------------------------------------------------
// Directory functions

bool KDirectoryExist(const char* path)
{
    if (!path || !*path)
        return true;
    DIR* dir = opendir(path);
    if (!dir)
        return false;
    closedir(dir);
    return true;
}

bool KDirectoryRename(const char* from, const char* to)
{
    if (!from || !to)
        return true;
    return rename(from, to) != 0;
}

namespace {

// Removes the entries of the open directory dirFd. Every name is looked at
// with lstat semantics: a symbolic link is removed as a link and never
// entered, so nothing outside the tree is touched.
void RemoveDirectoryEntries(int dirFd, bool recursive)
{
    int listFd = dup(dirFd);
    if (listFd < 0)
        return;
    DIR* dir = fdopendir(listFd);
    if (!dir)
    {
        close(listFd);
        return;
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(dir))
        names.push_back(e->d_name);
    closedir(dir);

    for (const std::string& name : names)
    {
        struct stat st;
        if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode))
        {
            unlinkat(dirFd, name.c_str(), 0);
        }
        else if (recursive && !IsDotOrDotDot(name.c_str()))
        {
            int childFd = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0)
            {
                RemoveDirectoryEntries(childFd, true);
                close(childFd);
            }
            unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        }
    }
}

} // namespace

bool KDirectoryRemove(const char* path, bool recursive)
{
    if (!path || !*path)
        return true;
    // Trailing separators would make open() follow a final symbolic link.
    std::string target(path);
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();

    int fd = open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
    {
        // Not a directory, or a link: remove the name itself.
        return remove(target.c_str()) != 0;
    }
    RemoveDirectoryEntries(fd, recursive);
    close(fd);
    return rmdir(target.c_str()) != 0;
}

bool KEnsureDirectoryExistance(const char* filePath)
{
    if (!filePath)
        return true;
    const char* slash = strrchr(filePath, '/');
    if (!slash)
        return true;
    std::string dir(filePath, static_cast<size_t>(slash - filePath));
    if (dir.empty() || KDirectoryExist(dir.c_str()))
        return true;

    // Every level in turn, as "mkdir -p" would, without a shell.
    for (size_t i = 1; i < dir.size(); ++i)
    {
        if (dir[i] == '/' && dir[i - 1] != '/')
            mkdir(dir.substr(0, i).c_str(), 0777);
    }
    mkdir(dir.c_str(), 0777);

    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

KString KGetCurrentDirectory()
{
    std::vector<char> buffer(1048);
    for (;;)
    {
        if (getcwd(buffer.data(), buffer.size()))
            return KString(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return KString("");
        buffer.resize(buffer.size() * 2);
    }
}

KString KGetCurrentDirectoryWithHostName()
{
    char host[1048];
    KString result;
    if (gethostname(host, sizeof(host) - 1) == 0)
    {
        host[sizeof(host) - 1] = 0;
        result = host;
        result += ":";
    }
    else
    {
        result = "?:";
    }
    std::vector<char> buffer(1048);
    for (;;)
    {
        if (getcwd(buffer.data(), buffer.size()))
        {
            result += buffer.data();
            break;
        }
        if (errno != ERANGE || buffer.size() > (1u << 20))
            break;
        buffer.resize(buffer.size() * 2);
    }
    return result;
}

namespace {

// $TMPDIR with a trailing "/", or the fallback when it is not set.
unsigned int TempDirectory(unsigned int size, char* buffer, const char* fallback)
{
    if (!buffer)
        return 0;
    const char* env = getenv("TMPDIR");
    std::string text;
    if (env && *env)
    {
        text = env;
        if (text.back() != '/')
            text += '/';
    }
    else
    {
        text = fallback;
    }
    if (text.size() + 1 > size)
        return 0;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<unsigned int>(text.size());
}

} // namespace

unsigned int GetTempPath(unsigned int size, char* buffer)
{
    return TempDirectory(size, buffer, "/tmp/");
}

unsigned int GetDevPath(unsigned int size, char* buffer)
{
    return TempDirectory(size, buffer, "/");
}

KString GetTempName(const char* directory, const char* prefix)
{
    std::string dir;
    if (directory && *directory && KDirectoryExist(directory))
    {
        dir = directory;
    }
    else
    {
        char temp[4096];
        if (GetTempPath(sizeof(temp), temp) == 0)
            strcpy(temp, "/tmp/");
        dir = temp;
    }
    if (!IsSep(dir.back()))
        dir += '/';
    std::string base = dir + (prefix ? prefix : "file");

    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // One generator per thread: exports on several threads name their files
    // at once.
    static thread_local std::mt19937_64 generator(
        std::random_device{}() ^
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        static_cast<unsigned long long>(getpid()));
    for (int attempt = 0; attempt < 1000; ++attempt)
    {
        std::string name = base;
        for (int i = 0; i < 6; ++i)
            name += kLetters[generator() % (sizeof(kLetters) - 1)];
        struct stat st;
        if (lstat(name.c_str(), &st) != 0 && errno == ENOENT)
            return KString(name.c_str());
    }
    return KString("");
}

bool KCopyFile(const char* destination, const char* source)
{
    if (!destination || !source)
        return false;
    FILE* in = fopen(source, "rb");
    if (!in)
        return false;
    FILE* out = fopen(destination, "wb");
    if (!out)
    {
        fclose(in);
        return false;
    }
    const size_t kChunk = 1048576;
    std::vector<char> buffer(kChunk);
    char* chunk = buffer.data();
    bool ok = true;
    while (ok)
    {
        size_t got = fread(chunk, 1, kChunk, in);
        if (got > 0 && fwrite(chunk, 1, got, out) != got)
            ok = false;
        if (got < kChunk)
        {
            if (ferror(in))
                ok = false;
            break;
        }
    }
    fclose(in);
    if (fclose(out) != 0)
        ok = false;
    return ok;
}

// ---------------------------------------------------------------------------
// Path texts

KString ExtractFileName(const char* path, bool withExtension)
{
    if (!path)
        return KString("");
    const char* name = path + LastSep(path) + 1;
    if (!withExtension)
    {
        const char* dot = strrchr(name, '.');
        if (dot)
            return KString(name, static_cast<unsigned int>(dot - name));
    }
    return KString(name);
}

KString ExtractFileExtension(const char* path)
{
    if (!path)
        return KString("");
    const char* dot = strrchr(path, '.');
    if (dot && dot - path > LastSep(path))
        return KString(dot + 1);
    return KString("");
}

KString ChangeFileExtension(const char* path, const char* extension)
{
    path = Safe(path);
    KString result(path);
    const char* dot = strrchr(path, '.');
    if (dot && dot - path > LastSep(path))
        result = KString(path, static_cast<unsigned int>(dot - path));
    result += Safe(extension);
    return result;
}

KString ExtractDirectory(const char* path)
{
    path = Safe(path);
    int sep = LastDirSep(path);
    if (sep < 0)
        return KString(path);
    return KString(path, static_cast<unsigned int>(sep));
}

KString ExtractDirectoryFromFilePath(const char* path)
{
    path = Safe(path);
    int sep = LastDirSep(path);
    if (sep < 0)
        return KString("");
    return KString(path, static_cast<unsigned int>(sep));
}

KString ExtractParentDirectory(const char* path, int level)
{
    if (level == -1)
        return ExtractDirectory(path);
    path = Safe(path);
    const char* p = path;
    if ((p[0] == '/' && p[1] == '/') || (p[0] == '\\' && p[1] == '\\'))
    {
        // A network path: the walk starts at the share name.
        p += 2;
        while (*p && !IsSep(*p))
            ++p;
        if (!*p)
            return InvalidString();
        ++p;
    }
    for (int i = 0; i <= level; ++i)
    {
        const char* s = strchr(p, '/');
        if (!s)
            s = strchr(p, '\\');
        if (!s)
            return InvalidString();
        p = s + 1;
    }
    const char* end = p;
    while (*end && !IsSep(*end))
        ++end;
    return KString(p, static_cast<unsigned int>(end - p));
}

KString ExtractDrive(const char* path)
{
    path = Safe(path);
    const char* colon = strrchr(path, ':');
    if (colon)
        return KString(path, static_cast<unsigned int>(colon - path + 1)).Upper();
    if ((path[0] == '/' && path[1] == '/') || (path[0] == '\\' && path[1] == '\\'))
    {
        int count = 0;
        for (int i = 0; path[i]; ++i)
        {
            if (IsSep(path[i]) && ++count == 4)
                return KString(path, static_cast<unsigned int>(i)).Upper();
        }
        if (count == 3)
            return KString(path).Upper();
    }
    return KString("");
}

KString ExtractFilePathNoDrive(const char* path)
{
    path = Safe(path);
    KString dir = DirectoryWithSeparator(path);
    unsigned int n = ExtractDrive(path).GetLen();
    if (n > dir.GetLen())
        n = dir.GetLen();
    return dir.Mid(n);
}

int SplitDirs(KString& path, char** parts, int capacity)
{
    char* buffer = path.Buffer();
    unsigned int len = path.GetLen();
    int count = 0;
    for (unsigned int i = 0; i < len; ++i)
    {
        if (IsSep(buffer[i]))
        {
            buffer[i] = 0;
            if (parts && count < capacity)
                parts[count] = buffer + i + 1;
            ++count;
        }
    }
    return count - 1;
}

KString KCleanPath(const char* path)
{
    if (!path)
        return InvalidString();
    bool absolute = path[0] == '/';

    std::vector<std::string> ups;
    std::vector<std::string> names;
    const char* p = path;
    while (*p)
    {
        while (*p && IsSep(*p))
            ++p;
        const char* start = p;
        while (*p && !IsSep(*p))
            ++p;
        if (p == start)
            break;
        std::string component(start, static_cast<size_t>(p - start));
        if (component == ".")
            continue;
        if (component == "..")
        {
            if (!names.empty())
                names.pop_back();
            else
                ups.push_back(component);
        }
        else
        {
            names.push_back(component);
        }
    }

    std::string result;
    if (absolute)
    {
        if (!ups.empty())
            return KString("");
        if (names.empty())
            return KString("/");
        for (const std::string& name : names)
            result += "/" + name;
        return KString(result.c_str());
    }
    for (const std::string& up : ups)
    {
        if (!result.empty())
            result += '/';
        result += up;
    }
    for (const std::string& name : names)
    {
        if (!result.empty())
            result += '/';
        result += name;
    }
    if (result.empty())
        return InvalidString();
    return KString(result.c_str());
}

KString MakeFullPath(const char* base, const char* relative)
{
    base = Safe(base);
    relative = Safe(relative);
    if (relative[0] == '/')
        return KCleanPath(relative);
    KString full(base);
    size_t baseLen = strlen(base);
    if (baseLen > 0 && !IsSep(base[baseLen - 1]))
        full += "/";
    full += relative;
    return KCleanPath(full);
}

KString KFullPath(const char* path)
{
    path = Safe(path);
    if (!GetIsRelativePath(path))
        return KCleanPath(path);
    KString full = KGetCurrentDirectory();
    if (full.IsEmpty() || !IsSep(full[full.GetLen() - 1]))
        full += "/";
    full += path;
    return KCleanPath(full);
}

KString GetRelativePath(const char* from, const char* to)
{
    from = Safe(from);
    to = Safe(to);
    if (ExtractDrive(from) != ExtractDrive(to))
        return KString(to);

    KString a = ExtractFilePathNoDrive(from);
    KString b = ExtractFilePathNoDrive(to);
    std::vector<std::string> partsA = SplitComponents(a);
    std::vector<std::string> partsB = SplitComponents(b);

    size_t common = 0;
    while (common < partsA.size() && common < partsB.size() &&
           strcasecmp(partsA[common].c_str(), partsB[common].c_str()) == 0)
        ++common;

    std::string result;
    for (size_t i = common; i < partsA.size(); ++i)
        result += "../";
    for (size_t i = common; i < partsB.size(); ++i)
        result += partsB[i] + "/";
    KString relative(result.c_str());
    relative += ExtractFileName(to, true);
    return relative;
}

KString GetRelativeFilePath(const char* from, const char* to)
{
    to = Safe(to);
    KString dir = DirectoryWithSeparator(to);
    dir = GetRelativePath(from, dir);
    return MakeFullPath(dir, ExtractFileName(to, true));
}

bool GetIsRelativePath(const char* path)
{
    if (!path)
        return false;
    return path[0] != '/';
}

bool SameButForCase(const char* a, const char* b)
{
    for (;; ++a, ++b)
    {
        const unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        const unsigned char fx = x >= 'A' && x <= 'Z' ? x + ('a' - 'A') : x;
        const unsigned char fy = y >= 'A' && y <= 'Z' ? y + ('a' - 'A') : y;
        if (fx != fy)
            return false;
        if (x == 0)
            return true;
    }
}

namespace {

// Whether path is a folder (wantFolder) or a regular file.
bool IsOfKind(const std::string& path, bool wantFolder)
{
    struct stat found;
    return stat(path.c_str(), &found) == 0 && (wantFolder ? S_ISDIR(found.st_mode) : S_ISREG(found.st_mode));
}

// The one entry of folder (ending in "/") of the kind asked for whose name
// differs from name only in the case of its letters, as folder + entry;
// "" when there is none, or more than one.
std::string OneEntryButForCase(const std::string& folder, const std::string& name, bool wantFolder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return std::string();
    std::string found;
    int matches = 0;
    while (const struct dirent* entry = readdir(dir))
    {
        if (IsDotOrDotDot(entry->d_name) || !SameButForCase(entry->d_name, name.c_str()))
            continue;
        std::string path = folder + entry->d_name;
        if (IsOfKind(path, wantFolder) && ++matches == 1)
            found = std::move(path);
    }
    closedir(dir);
    return matches == 1 ? found : std::string();
}

// The regular file base + name stands for when its letters' case may differ
// from the names on disk (files made on systems that ignore case name them
// as they like): component by component, what names nothing as written is
// the one entry of its folder that differs from it only in case. "" when a
// component has no such entry or more than one. base ends in "/"; "/" in
// name parts components, "." and ".." are taken as they are.
std::string FindButForCase(std::string base, const char* name)
{
    const size_t length = std::strlen(name);
    if (length == 0 || name[length - 1] == '/')
        return std::string(); // names a folder
    const char* p = name;
    while (*p == '/')
        ++p;
    while (*p)
    {
        const char* end = std::strchr(p, '/');
        const std::string component(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
        p = end ? end : p + component.size();
        while (*p == '/')
            ++p;
        const bool last = *p == '\0';
        if (component == "." || component == "..")
        {
            if (last)
                return std::string();
            base += component + "/";
            continue;
        }
        std::string path = base + component;
        if (!IsOfKind(path, !last))
        {
            path = OneEntryButForCase(base, component, !last);
            if (path.empty())
                return std::string();
        }
        base = last ? path : path + "/";
    }
    return IsOfKind(base, false) ? base : std::string();
}

// KFindFileFrom (anyCase) and KFindFileAsWritten.
KString FindFile(const char* directory, const char* name, bool anyCase)
{
    if (!name || !*name)
        return KString("");
    std::string folder = "/";
    if (GetIsRelativePath(name))
    {
        // Joined as text: a backslash in the name is part of a file's name.
        folder = Safe(directory);
        if (GetIsRelativePath(folder.c_str()))
        {
            const KString current = KQoxWholeText(KGetCurrentDirectory());
            if (current.IsEmpty())
                return KString("");
            folder = folder.empty() ? std::string(current.ToChars()) : std::string(current.ToChars()) + "/" + folder;
        }
        if (folder.back() != '/')
            folder += "/";
    }
    std::string path = GetIsRelativePath(name) ? folder + name : std::string(name);
    struct stat found;
    if (stat(path.c_str(), &found) != 0 || !S_ISREG(found.st_mode))
    {
        if (!anyCase)
            return KString("");
        // Names no file as written: one whose letters differ in case only.
        path = FindButForCase(folder, name);
        if (path.empty() || stat(path.c_str(), &found) != 0)
            return KString("");
    }
    else if (!GetIsRelativePath(name))
        return KQoxWholeText(KString(name));
    // The clean form when it names the very same file: cleaning takes a
    // backslash for a separator and drops "dir/.." without following links.
    KString clean = KQoxWholeText(KCleanPath(path.c_str())); // given back moved, not copied
    struct stat same;
    if (stat(clean.ToChars(), &same) == 0 && same.st_dev == found.st_dev && same.st_ino == found.st_ino)
        return clean;
    return KQoxWholeText(KString(path.c_str()));
}

} // namespace

std::vector<std::string> KTrailingParts(const char* name)
{
    std::vector<std::string> tails;
    const size_t length = name ? std::strlen(name) : 0;
    if (length == 0 || IsSep(name[length - 1]))
        return tails; // no name, or a folder's
    std::vector<std::string> parts;
    for (const char* p = name; *p;)
    {
        const char* end = p;
        while (*end && !IsSep(*end))
            ++end;
        // "." names the folder it stands in: no part of its own.
        if (end > p && !(end - p == 1 && *p == '.'))
            parts.emplace_back(p, static_cast<size_t>(end - p));
        p = *end ? end + 1 : end;
    }
    // The name as written is tried before its tails: a relative one is its
    // own longest tail. No tail may hold a "..". A name of thousands of
    // parts (a damaged or hostile file) costs a search of the folder per
    // tail: only the last kTrailingPartsMost parts are tried.
    size_t first = IsSep(name[0]) ? 0 : 1;
    if (parts.size() > kTrailingPartsMost)
        first = std::max(first, parts.size() - kTrailingPartsMost);
    for (size_t i = 0; i < parts.size(); ++i)
        if (parts[i] == "..")
            first = std::max(first, i + 1);
    for (size_t i = first; i < parts.size(); ++i)
    {
        std::string tail = parts[i];
        for (size_t j = i + 1; j < parts.size(); ++j)
            tail += "/" + parts[j];
        tails.push_back(std::move(tail));
    }
    return tails;
}

KString KFindFileAsWritten(const char* directory, const char* name)
{
    return FindFile(directory, name, false);
}

KString KFindFileFrom(const char* directory, const char* name, KFindFile upTo)
{
    KString found = FindFile(directory, name, upTo != KFindFile::eAsWritten);
    if (!found.IsEmpty() || upTo != KFindFile::eBaseName)
        return found;
    // A path of another machine: the image came beside the file, perhaps
    // in the folders that end the path.
    for (const std::string& tail : KTrailingParts(name))
    {
        found = FindFile(directory, tail.c_str(), true);
        if (!found.IsEmpty())
            return found;
    }
    return found;
}

std::string KNumberedFileName(const std::string& name, int number)
{
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        dot = name.size();
    return name.substr(0, dot) + "-" + std::to_string(number) + name.substr(dot);
}

bool KUserHomeFolder(uid_t user, std::string& home)
{
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    int error;
    while ((error = getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (size_t(1) << 20))
        buffer.resize(buffer.size() * 2);
    if (error != 0 || !found || !found->pw_dir || found->pw_dir[0] != '/')
    {
        errno = ENOENT;
        return false;
    }
    home = found->pw_dir;
    return true;
}

bool IsPathHidden(const char* path)
{
    KString name = ExtractFileName(path, false);
    return name.IsEmpty() || name[0u] == '.';
}

bool FileIsReadOnly(const char* path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return false;
    return (st.st_mode & 0200) == 0;
}

bool TestFileExtension(const char* path, const char* extension)
{
    return ExtractFileExtension(path).CompareNoCase(Safe(extension)) == 0;
}

bool TestSSFileExtension(const char* path)
{
    return TestFileExtension(path, "qox");
}

bool KTranslateSubPath(char* result, const char* path, const char* oldBase, const char* newBase,
                       unsigned int resultSize)
{
    if (!result || !path || !oldBase || !newBase || !*path || !*oldBase || !*newBase)
        return false;
    size_t shared = 0;
    while (path[shared] && path[shared] == oldBase[shared])
        ++shared;

    std::string text;
    bool translated = false;
    const char* lastSlash = strrchr(newBase, '/');
    if (lastSlash && lastSlash[1] != 0)
    {
        text.assign(newBase, static_cast<size_t>(lastSlash - newBase + 1));
        text += path + shared;
        translated = true;
    }
    else
    {
        text = path;
    }
    if (text.size() + 1 > resultSize)
        return false;
    memcpy(result, text.c_str(), text.size() + 1);
    return translated;
}

void GetNameAndIndex(KString& fullName, KString& name, int& index)
{
    KString full(fullName); // name may be the same object as fullName
    name = full;
    index = 0;
    unsigned int len = full.GetLen();
    if (len == 0 || full[len - 1] != ')')
        return;
    int open = full.ReverseFind('(');
    if (open < 0)
        return;
    KString number = full.Mid(static_cast<unsigned int>(open) + 1, len - 1 - static_cast<unsigned int>(open) - 1);
    index = atoi(number);
    name = full.Left(static_cast<unsigned int>(open));
}

unsigned int GetFileSize(const char*)
{
    return 0;
}

long GetFileLastDate(const char*)
{
    return 0;
}

KString GetFileSizeString(const char*, bool raw)
{
    if (raw)
        return KString("0");
    char text[32];
    snprintf(text, sizeof(text), "%d bytes", 0);
    return KString(text);
}

KString GetFileLastDateString(const char*)
{
    return KString("");
}

// ---------------------------------------------------------------------------
// Library directories, set and read from any thread.

namespace {

// Every text ever set is kept until the process ends (a set of one already
// kept reuses it), so that a text handed out stays valid whatever other
// threads set later, even from the destructors run at exit.
struct LibraryDirectories
{
    std::mutex mLock;
    std::forward_list<std::string> mKept;
    const char* mMaster = "";
    const char* mHome = "";
    const char* mConfig = "";
};

LibraryDirectories& Directories()
{
    static LibraryDirectories* directories = new LibraryDirectories; // never destroyed
    return *directories;
}

const char* GetDirectory(const char* LibraryDirectories::*which)
{
    LibraryDirectories& directories = Directories();
    std::lock_guard<std::mutex> lock(directories.mLock);
    return directories.*which;
}

void SetDirectory(const char* LibraryDirectories::*which, const char* path)
{
    LibraryDirectories& directories = Directories();
    std::lock_guard<std::mutex> lock(directories.mLock);
    const std::string text(path ? path : "");
    auto kept = std::find(directories.mKept.begin(), directories.mKept.end(), text);
    if (kept == directories.mKept.end())
    {
        directories.mKept.push_front(text);
        kept = directories.mKept.begin();
    }
    directories.*which = kept->c_str();
}

} // namespace

const char* KLib_GetMasterDirectory()
{
    return GetDirectory(&LibraryDirectories::mMaster);
}

const char* KLib_GetHomeDirectory()
{
    return GetDirectory(&LibraryDirectories::mHome);
}

const char* KLib_GetConfigDirectory()
{
    return GetDirectory(&LibraryDirectories::mConfig);
}

void KLib_SetMasterDirectory(const char* path)
{
    SetDirectory(&LibraryDirectories::mMaster, path);
}

void KLib_SetHomeDirectory(const char* path)
{
    SetDirectory(&LibraryDirectories::mHome, path);
}

void KLib_SetConfigDirectory(const char* path)
{
    SetDirectory(&LibraryDirectories::mConfig, path);
}
