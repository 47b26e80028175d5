// What the plug-in reads from outside: the plug-in path list, command
// arguments and its settings file. The input is split at the first two NUL
// bytes into a path list, arguments (one a line) and the settings text.
// The copies of the settings file an earlier input had kept aside are
// removed, so that each input finds the folder as a first load does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "base/kpath.h"
#include "host/zbase.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltplugin.h"
#include "plugin/qoxzeltuserparams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i)
    {
        size_t end = i < 2 ? input.find('\0', at) : std::string::npos;
        parts[i] = input.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    static const std::string directory = [] {
        char name[] = "/tmp/qoxzelt_fuzz_XXXXXX";
        return std::string(mkdtemp(name)) + "/";
    }();
    // The user folder is the fuzzer's own, not the home folder's.
    QoxZeltFindPluginDirectory(parts[0].c_str(), directory);

    std::vector<std::string> args;
    size_t start = 0;
    for (size_t end; (end = parts[1].find('\n', start)) != std::string::npos; start = end + 1)
        args.push_back(parts[1].substr(start, end - start));
    args.push_back(parts[1].substr(start));
    QoxZeltImport::parseArgs(ZArgList(args));

    KLib_SetConfigDirectory(directory.c_str());
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored))
        if (entry.path().filename().string().rfind("registry.txt.", 0) == 0)
            std::filesystem::remove(entry.path(), ignored);
    if (FILE* file = fopen((directory + "registry.txt").c_str(), "wb"))
    {
        fwrite(parts[2].data(), 1, parts[2].size(), file);
        fclose(file);
        QoxZeltUserParams params;
        params.Load();
        params.GetImportType();
    }
    return 0;
}
