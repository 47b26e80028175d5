#include "plugin/qoxzeltplugin.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kpath.h"
#include "base/kuserfolder.h"

namespace {

const char kUserFolderName[] = "qoxzelt";

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

} // namespace

std::string QoxZeltUserFolderPath(const char* configHome, const char* home)
{
    const std::string base = KUserBaseFolder(configHome, home, ".config");
    return base.empty() ? base : base + kUserFolderName + "/";
}

bool QoxZeltMakeUserFolder(const std::string& path, std::string* why)
{
    return KMakeUserFolder(path, why);
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
