// Writes a seed corpus for fuzz_readfromtif: small images written by the
// TIFF writer in every colour layout, plain and Deflate, and images written
// with libtiff directly in layouts the writer never makes (LZW, PackBits,
// strips of several rows, subsampled YCbCr, separate planes, 16 bits).
//
//   kqoxtiff_fuzz_seeds <directory>

#include <tiffio.h>

#include <cstdio>
#include <vector>
#include <string>

#include "scene/attributes/kqoximageconverter.h"

namespace {

struct Layout
{
    const char* name;
    uint32_t width, height;
    uint16_t photometric, samples, bits, compression, planar, rowsPerStrip, subsampling;
};

bool WriteWithLibtiff(const std::string& path, const Layout& l)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, l.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, l.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(l.rowsPerStrip));
    if (l.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, l.subsampling, 1);
    bool ok = true;
    for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tif); ++strip)
    {
        std::vector<unsigned char> data(size_t(TIFFStripSize(tif)));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<unsigned char>(i * 29 + strip);
        ok = ok && TIFFWriteEncodedStrip(tif, strip, data.data(), tmsize_t(data.size())) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

} // namespace

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
    const Layout layouts[] = {
        {"lzw", 6, 5, PHOTOMETRIC_RGB, 3, 8, COMPRESSION_LZW, PLANARCONFIG_CONTIG, 2, 1},
        {"packbits", 6, 5, PHOTOMETRIC_RGB, 4, 8, COMPRESSION_PACKBITS, PLANARCONFIG_CONTIG, 5, 1},
        {"ycbcr21", 5, 3, PHOTOMETRIC_YCBCR, 3, 8, COMPRESSION_NONE, PLANARCONFIG_CONTIG, 3, 2},
        {"separate", 4, 2, PHOTOMETRIC_RGB, 3, 8, COMPRESSION_NONE, PLANARCONFIG_SEPARATE, 2, 1},
        {"bits16", 3, 2, PHOTOMETRIC_RGB, 3, 16, COMPRESSION_NONE, PLANARCONFIG_CONTIG, 1, 1},
    };
    for (const Layout& l : layouts)
    {
        std::string path = std::string(argv[1]) + "/" + l.name + ".tif";
        if (!WriteWithLibtiff(path, l))
        {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
