#include "plugin/qoxzeltplugin.h"

#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kpath.h"

namespace {

const char kDefaultDirectory[] = "/usr/tmp/";

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

} // namespace

std::string QoxZeltFindPluginDirectory(const char* pathList)
{
    std::string list = pathList ? pathList : "";
    size_t start = 0;
    while (start <= list.size())
    {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(start, end - start);
        start = end + 1;
        while (entry.size() > 1 && entry.back() == '/')
            entry.pop_back();
        struct stat info;
        if (entry.empty() || stat(entry.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        if (access(entry.c_str(), W_OK) == 0 && HoldsPlugin(entry))
            return entry == "/" ? entry : entry + "/";
    }
    return kDefaultDirectory;
}

std::string QoxZeltLogPath()
{
    std::string directory = KLib_GetMasterDirectory();
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    return directory + "qoxzeltlog.txt";
}
