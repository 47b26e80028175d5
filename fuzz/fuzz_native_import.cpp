// libFuzzer target: a whole scene read from a native file image of any form
// (binary, ASCII, encrypted with the password "fuzz"), as the importer reads it.

#include <cstddef>
#include <cstdint>

#include "scene/kqoxscene.h"
#include "fileio/kqoxreaderqox.h"
#include "scene/kqoxsdkmanager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
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
