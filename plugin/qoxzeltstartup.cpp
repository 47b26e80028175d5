#include "plugin/qoxzeltplugin.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kpath.h"

namespace {

const char kDefaultDirectory[] = "/usr/tmp/";
const char kTemporaryDirectory[] = "/tmp/";

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

std::vector<std::string> QoxZeltFallbackDirectories(const char* temporaryDirectory)
{
    std::vector<std::string> fallbacks{kDefaultDirectory};
    if (temporaryDirectory && *temporaryDirectory)
        fallbacks.push_back(WithOneSeparator(temporaryDirectory));
    fallbacks.push_back(kTemporaryDirectory);
    return fallbacks;
}

std::string QoxZeltFindPluginDirectory(const char* pathList)
{
    return QoxZeltFindPluginDirectory(pathList, QoxZeltFallbackDirectories(getenv("TMPDIR")));
}

std::string QoxZeltFindPluginDirectory(const char* pathList, const std::vector<std::string>& fallbacks)
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
    // No log or settings could be written in a folder that is missing (a
    // system without "/usr/tmp/"): the first fallback that is there to write.
    for (const std::string& fallback : fallbacks)
        if (IsWritableDirectory(WithoutTrailingSeparators(fallback)))
            return WithOneSeparator(fallback);
    return fallbacks.empty() ? std::string(kDefaultDirectory) : WithOneSeparator(fallbacks.back());
}

std::string QoxZeltLogPath()
{
    std::string directory = KLib_GetMasterDirectory();
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    return directory + "qoxzeltlog.txt";
}
