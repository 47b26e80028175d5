// libFuzzer target: any bytes read as a TIFF image into an image buffer.
// The bytes go through a file of this process's own, since the reader takes a
// file name. A successful read must hand over exactly the image it reports.

#include <tiffio.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scene/attributes/kqoximageconverter.h"

namespace {

const std::string& InputPath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/fuzz_readfromtif_" + std::to_string(getpid()) + ".tif";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // libtiff's messages would drown the fuzzer's output.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (!f)
        return 0;
    bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written)
        return 0;

    qoxsdk_600::ImageConverterBuffer buffer;
    if (qoxsdk_600::ReadFromTif(InputPath().c_str(), buffer, false))
    {
        if (!buffer.mPixels || buffer.mWidth < 1 || buffer.mHeight < 1 ||
            buffer.GetPixelByteCount() !=
                static_cast<long long>(buffer.mWidth) * buffer.mHeight * buffer.mBytesPerPixel)
            std::abort();
        // Touch the first and last byte: the whole array must be addressable.
        volatile unsigned char sink = buffer.mPixels[0];
        sink = buffer.mPixels[buffer.GetPixelByteCount() - 1];
        (void)sink;
    }
    return 0;
}
