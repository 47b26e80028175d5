// libFuzzer target: a whole scene read from a native file image of any form
// (binary, ASCII, encrypted with the password "fuzz"; version 6 or 5), as the
// importer reads it, with sections of a few records read on several threads
// as large ones are.

#include <cstddef>
#include <cstdint>

#include "scene/kqoxscene.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxsdkmanager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    qoxsdk_600::KQoxRead6::sSideBySideRecords = 4;
    qoxsdk_600::KQoxSdkManager manager;
    qoxsdk_600::KQoxReaderQox reader(manager);
    reader.SetPassword("fuzz");
    if (reader.FileOpen(data, static_cast<unsigned int>(size)))
    {
        qoxsdk_600::KQoxScene scene(manager);
        reader.Read(scene, nullptr);
    }
    return 0;
}
