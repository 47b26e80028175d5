// libFuzzer target: a whole scene read from a native file image of any form
// (binary, ASCII, encrypted with the password "fuzz"; version 6 or 5), as the
// importer reads it, with sections of a few records read on several threads
// as large ones are. The image is read from memory, then from a file in a
// folder of the target's own, so that the media it embeds are extracted
// beside it (or into the cache folder under it) under the names it gives.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

#include "scene/kqoxscene.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxsdkmanager.h"

namespace {

// The folder of the file read, made once per process; "" when none could
// be made (its contents are removed and checked: never a shared folder's).
const std::string& WorkDirectory()
{
    static const std::string directory = [] {
        char name[] = "/tmp/qox_native_fuzz_XXXXXX";
        const char* made = mkdtemp(name);
        return made ? std::string(made) + "/" : std::string();
    }();
    return directory;
}

// Reads the image from memory (path null) or from the file at path.
void Read(const uint8_t* data, size_t size, const char* path)
{
    qoxsdk_600::KQoxSdkManager manager;
    qoxsdk_600::KQoxReaderQox reader(manager);
    reader.SetPassword("fuzz");
    if (path ? reader.FileOpen(path) : reader.FileOpen(data, static_cast<unsigned int>(size)))
    {
        qoxsdk_600::KQoxScene scene(manager);
        reader.Read(scene, nullptr);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    qoxsdk_600::KQoxRead6::sSideBySideRecords = 4;
    Read(data, size, nullptr);

    // Each input finds the folders as a first read does.
    const std::string& directory = WorkDirectory();
    if (directory.empty())
        return 0;
    const std::string path = directory + "input.qox";
    std::error_code ignored;
    std::filesystem::remove_all(path + ".media", ignored);
    std::filesystem::remove_all(directory + "cache", ignored);
    setenv("XDG_CACHE_HOME", (directory + "cache").c_str(), 1);
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const bool written = fwrite(data, 1, size, file) == size;
    if (fclose(file) == 0 && written)
        Read(data, size, path.c_str());
    // Whatever names the file gives, the read writes only into the media
    // folder beside it or into the cache.
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored))
    {
        const std::string name = entry.path().filename().string();
        if (name != "input.qox" && name != "input.qox.media" && name != "cache")
            std::abort();
    }
    return 0;
}
