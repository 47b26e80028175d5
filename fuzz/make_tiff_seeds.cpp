// Writes a seed corpus for fuzz_readfromtif: small images written by the
// TIFF writer in every colour layout, plain and Deflate.
//
//   kqoxtiff_fuzz_seeds <directory>

#include <cstdio>
#include <string>

#include "scene/attributes/kqoximageconverter.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    struct Seed
    {
        const char* name;
        int width, height, format, bytes;
        bool compress;
    };
    const Seed seeds[] = {
        {"rgb", 5, 3, 0, 3, false},         {"rgb_deflate", 5, 3, 0, 3, true}, {"rgba", 2, 2, 0, 4, false},
        {"rgba_deflate", 4, 2, 0, 4, true}, {"ycbcr", 7, 2, 1, 3, false},      {"ycbcr_deflate", 3, 3, 1, 3, true},
    };
    for (const Seed& s : seeds)
    {
        qoxsdk_600::ImageConverterBuffer buffer;
        buffer.Init(s.width, s.height, true, s.format, char(s.bytes));
        for (long long i = 0; i < buffer.GetPixelByteCount(); ++i)
            buffer.mPixels[i] = static_cast<unsigned char>(i * 37);
        std::string path = std::string(argv[1]) + "/" + s.name + ".tif";
        if (!qoxsdk_600::WriteToTif(path.c_str(), s.compress, buffer))
        {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
