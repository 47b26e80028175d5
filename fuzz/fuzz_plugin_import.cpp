// libFuzzer target: a native file imported into the stand-in host by the
// plug-in's import object, in add mode into an empty scene, then merged and
// exclusively merged into the scene that import made (so that the file's
// nodes are paired with host nodes of their own names). Seeds: the files of
// native_fuzz_seeds and examples/scene/example.qox.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

#include "base/kpath.h"
#include "host/zbase.h"
#include "host/zhost.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/kqoxuserparams.h"

namespace {

// The directory of the plug-in's settings and log, and of the file imported;
// "" when none could be made (what an input leaves in it is removed: never
// a shared folder's).
const std::string& WorkDirectory()
{
    static const std::string directory = [] {
        char name[] = "/tmp/qoxzelt_import_fuzz_XXXXXX";
        const char* made = mkdtemp(name);
        return made ? std::string(made) + "/" : std::string();
    }();
    return directory;
}

void ImportIn(const char* mode, const std::string& path)
{
    QoxZeltUserParams::Instance().SetStringParam(qoxsdk_600::KQoxUserParams::kImportLoadMode, mode);
    QoxZeltImport import;
    import.OpenProject(ZString(path));
    import.Import();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const std::string& directory = WorkDirectory();
    if (directory.empty())
        return 0;
    KLib_SetMasterDirectory(directory.c_str());
    KLib_SetConfigDirectory(directory.c_str());
    const std::string path = directory + "input.qox";
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const bool written = fwrite(data, 1, size, file) == size;
    if (fclose(file) != 0 || !written)
        return 0;

    // Each import appends to the log; one input's lines are enough. The
    // media an earlier input extracted are removed, so that each input finds
    // the folders as a first read does.
    std::remove((directory + "qoxzeltlog.txt").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(path + ".media", ignored);
    std::filesystem::remove_all(directory + "cache", ignored);
    setenv("XDG_CACHE_HOME", (directory + "cache").c_str(), 1);
    zelthost::Host& host = zelthost::Host::Get();
    host.Reset();
    QoxZeltUserParams::Instance().SetBoolParam(QoxZeltUserParams::kImportShowUI, false);
    for (const char* mode : {"kCreate", "kMerge", "kExclusiveMerge"})
        ImportIn(mode, path);
    QoxZeltUserParams::ReleaseInstance();
    return 0;
}
