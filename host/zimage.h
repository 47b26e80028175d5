#ifndef ZELT_HOST_ZIMAGE_H
#define ZELT_HOST_ZIMAGE_H

// Picture files: read into RGBA bytes, written back. TIFF files are read and
// written; other formats answer "unsupported image format".

#include "host/zbase.h"

class ZImage
{
public:
    enum Format
    {
        kUnknown = 0,
        kTiff = 1
    };
    ZImage() = default;
    // Reads a file; rows come top row first, 4 bytes per pixel (RGBA).
    ZStatus readFromFile(const ZString& path);
    // Writes the pixels; the extension names the format ("tif", "tiff").
    ZStatus writeToFile(const ZString& path, const ZString& outputFormat = ZString("tif")) const;
    ZStatus getSize(unsigned& width, unsigned& height) const;
    // Replaces the pixels: width x height x 4 bytes, copied.
    ZStatus setPixels(const unsigned char* pixels, unsigned width, unsigned height);
    unsigned char* pixels() { return mPixels.empty() ? nullptr : mPixels.data(); }
    const unsigned char* pixels() const { return mPixels.empty() ? nullptr : mPixels.data(); }
    // Whether the file read was compressed (TIFF only).
    bool isCompressed() const { return mCompressed; }
    ZStatus create(unsigned width, unsigned height);
    void release();

private:
    std::vector<unsigned char> mPixels;
    unsigned mWidth = 0, mHeight = 0;
    bool mCompressed = false;
};

#endif
