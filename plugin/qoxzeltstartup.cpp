#include "plugin/qoxzeltplugin.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/kpath.h"

namespace {

const char kUserFolderName[] = "qoxzelt";
const mode_t kOthersWrite = S_IWGRP | S_IWOTH;
const mode_t kUserFolderMode = 0700;

// A file "qoxzelt*.so" (case ignored) in the directory.
bool HoldsPlugin(const std::string& directory)
{
    DIR* dir = opendir(directory.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (dirent* entry = readdir(dir))
    {
        const char* name = entry->d_name;
        size_t length = strlen(name);
        const char* dot = strrchr(name, '.');
        if (length >= 7 && strncasecmp(name, "qoxzelt", 7) == 0 && dot && strcmp(dot, ".so") == 0)
        {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

// The entry without trailing separators ("/" stays).
std::string WithoutTrailingSeparators(std::string entry)
{
    while (entry.size() > 1 && entry.back() == '/')
        entry.pop_back();
    return entry;
}

// The entry followed by one "/".
std::string WithOneSeparator(const std::string& entry)
{
    const std::string bare = WithoutTrailingSeparators(entry);
    return bare == "/" ? bare : bare + "/";
}

bool IsWritableDirectory(const std::string& entry)
{
    struct stat info;
    return !entry.empty() && stat(entry.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           access(entry.c_str(), W_OK) == 0;
}

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

// Makes each missing folder down to path, 0700 whatever the umask.
bool MakeMissingFolders(const std::string& path, std::string* why)
{
    for (const std::string& folder : FoldersDownTo(path))
    {
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

// True when no user but this one and root can change the folder's entries:
// one of theirs, either not writable by others or sticky.
bool IsSafeAncestor(const std::string& folder, std::string* why)
{
    struct stat status;
    if (stat(folder.c_str(), &status) != 0)
        return Refuse(why, folder + ": " + strerror(errno));
    if (!S_ISDIR(status.st_mode))
        return Refuse(why, folder + " is not a folder");
    if (status.st_uid != geteuid() && status.st_uid != 0)
        return Refuse(why, folder + " belongs to another user");
    if ((status.st_mode & kOthersWrite) && !(status.st_mode & S_ISVTX))
        return Refuse(why, folder + " can be written by other users");
    return true;
}

} // namespace

std::string QoxZeltUserFolderPath(const char* configHome, const char* home)
{
    std::string base;
    if (IsAbsolute(configHome))
        base = configHome;
    else
    {
        if (IsAbsolute(home))
            base = home;
        else if (!KUserHomeFolder(geteuid(), base))
            base.clear();
        if (base.empty())
            return std::string();
        base = WithOneSeparator(base) + ".config";
    }
    return WithOneSeparator(base) + kUserFolderName + "/";
}

bool QoxZeltMakeUserFolder(const std::string& path, std::string* why)
{
    if (!IsAbsolute(path.c_str()))
        return Refuse(why, "no home folder");
    if (!MakeMissingFolders(path, why))
        return false;
    // Checked where the folder really lies, through every symbolic link.
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return Refuse(why, path + ": " + strerror(errno));
    const std::string real = resolved;
    for (const std::string& folder : FoldersDownTo(real))
        if (!IsSafeAncestor(folder, why))
            return false;
    struct stat status;
    if (stat(real.c_str(), &status) != 0)
        return Refuse(why, real + ": " + strerror(errno));
    if (status.st_uid != geteuid())
        return Refuse(why, real + " belongs to another user");
    if (status.st_mode & kOthersWrite)
        return Refuse(why, real + " can be written by other users");
    // The user's own folder: the user may have to be let in again.
    if ((status.st_mode & S_IRWXU) != S_IRWXU && chmod(real.c_str(), (status.st_mode & 07777) | S_IRWXU) != 0)
        return Refuse(why, real + ": " + strerror(errno));
    return true;
}

std::string QoxZeltFindPluginDirectory(const char* pathList, std::string* why)
{
    return QoxZeltFindPluginDirectory(pathList, QoxZeltUserFolderPath(getenv("XDG_CONFIG_HOME"), getenv("HOME")), why);
}

std::string QoxZeltFindPluginDirectory(const char* pathList, const std::string& userFolder, std::string* why)
{
    std::string list = pathList ? pathList : "";
    size_t start = 0;
    while (start <= list.size())
    {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string entry = WithoutTrailingSeparators(list.substr(start, end - start));
        start = end + 1;
        if (IsWritableDirectory(entry) && HoldsPlugin(entry))
            return WithOneSeparator(entry);
    }
    // Never a folder other users share: the user's own, or none at all.
    return QoxZeltMakeUserFolder(userFolder, why) ? WithOneSeparator(userFolder) : std::string();
}

std::string QoxZeltLogPath()
{
    std::string directory = KLib_GetMasterDirectory();
    if (directory.empty())
        return std::string();
    if (directory.back() != '/')
        directory += '/';
    return directory + "qoxzeltlog.txt";
}
