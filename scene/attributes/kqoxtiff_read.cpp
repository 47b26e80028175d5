// Reading TIFF images into an ImageConverterBuffer, and the row expanders.

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

#include "base/kfile.h"
#include "base/kpath.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxtiff_private.h"

namespace qoxsdk_600 {

namespace kqoxtiff {

bool HasTiffExtension(const KString& fileName)
{
    KString extension = ExtractFileExtension(fileName).Upper();
    return extension == "TIF" || extension == "TIFF";
}

} // namespace kqoxtiff

using namespace kqoxtiff;

namespace {

// Closes the libtiff handle when the reader leaves.
struct TiffCloser
{
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
typedef std::unique_ptr<TIFF, TiffCloser> TiffHandle;

// The layout of the image, checked before any pixel is read.
struct TiffLayout
{
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
    uint16_t mPhotometric = 0;
    uint16_t mSamples = 0;
    uint32_t mRowsPerStrip = 0; // clamped to the height
    uint16_t mSubsampling = 1;  // horizontal; 1 for RGB data
    size_t mRowStride = 0;      // bytes of one encoded row
};

bool Fail(const char* message)
{
    TIFFError(kReadModule, "%s", message);
    return false;
}

// The colour model and sample layout: 8-bit contiguous RGB with at least
// three samples, or 8-bit contiguous YCbCr with three samples and
// subsampling (1 or 2, 1). Absent subsampling counts as (1, 1): files this
// system wrote before carried none, and their chroma is full-size. It is then
// recorded in the open directory, so that libtiff sizes rows and strips the
// same way as the expansion reads them.
bool ReadSampleLayout(TIFF* tif, TiffLayout& layout)
{
    if (TIFFIsTiled(tif))
        return Fail(kUnsupported);
    uint16_t horizontal = 1, vertical = 1;
    bool subsamplingSet = TIFFGetField(tif, TIFFTAG_YCBCRSUBSAMPLING, &horizontal, &vertical) != 0;
    if (horizontal == 0 || horizontal > kMaxHorizontalSubsampling || vertical != 1)
        return Fail(kUnsupported);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout.mPhotometric))
        return Fail(kUnsupported);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layout.mSamples);
    uint16_t bits = 0, planar = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (bits != kBitsPerSample || planar != kPlanarContiguous)
        return Fail(kUnsupported);

    if (layout.mPhotometric == kPhotometricYCbCr)
    {
        if (layout.mSamples != kYCbCrSamples)
            return Fail(kUnsupported);
        if (!subsamplingSet && !TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1))
            return Fail(kCorrupted);
        layout.mSubsampling = horizontal;
    }
    else if (layout.mPhotometric == kPhotometricRGB)
    {
        if (layout.mSamples < kMinRGBSamples || layout.mSamples > kMaxSamples)
            return Fail(kUnsupported);
        layout.mSubsampling = 1;
    }
    else
        return Fail(kUnsupported);
    return true;
}

// The sizes: nonzero, the pixel array within ImageConverterBuffer's bound,
// rows and strips as libtiff sees them equal to what the expansion reads.
bool ReadSizeLayout(TIFF* tif, TiffLayout& layout)
{
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.mWidth) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.mHeight) || layout.mWidth == 0 || layout.mHeight == 0)
        return Fail(kCorrupted);
    if (layout.mWidth > INT_MAX || layout.mHeight > INT_MAX ||
        uint64_t(layout.mWidth) * layout.mHeight > uint64_t(ImageConverterBuffer::kMaxPixelBytes) / layout.mSamples)
        return Fail(kTooLarge);

    if (layout.mPhotometric == kPhotometricYCbCr && layout.mSubsampling == 2)
        layout.mRowStride = size_t((layout.mWidth + 1) / 2) * (2 + 2);
    else
        layout.mRowStride = size_t(layout.mWidth) * layout.mSamples;
    if (TIFFScanlineSize64(tif) != layout.mRowStride)
        return Fail(kCorrupted);

    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &layout.mRowsPerStrip);
    if (layout.mRowsPerStrip == 0)
        return Fail(kCorrupted);
    layout.mRowsPerStrip = std::min(layout.mRowsPerStrip, layout.mHeight);
    uint64_t strips = (uint64_t(layout.mHeight) + layout.mRowsPerStrip - 1) / layout.mRowsPerStrip;
    if (TIFFNumberOfStrips(tif) < strips)
        return Fail(kCorrupted);
    return true;
}

// Decodes every strip and appends its expanded rows to the pixel array.
bool ReadStrips(TIFF* tif, const TiffLayout& layout, ImageConverterBuffer& buffer)
{
    size_t stripBytes = size_t(layout.mRowsPerStrip) * layout.mRowStride;
    size_t rowBytes = size_t(layout.mWidth) * layout.mSamples;
    std::unique_ptr<unsigned char[]> strip(new (std::nothrow) unsigned char[stripBytes]);
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
    if (!strip || !row)
        return Fail(kTooLarge);

    unsigned char* out = buffer.mPixels.get();
    for (uint32_t first = 0; first < layout.mHeight; first += layout.mRowsPerStrip)
    {
        uint32_t rows = std::min(layout.mRowsPerStrip, layout.mHeight - first);
        tmsize_t wanted = tmsize_t(rows) * tmsize_t(layout.mRowStride);
        uint32_t index = TIFFComputeStrip(tif, first, 0);
        if (index >= TIFFNumberOfStrips(tif) || TIFFReadEncodedStrip(tif, index, strip.get(), wanted) != wanted)
            return Fail(kCorrupted);
        for (uint32_t i = 0; i < rows; ++i)
        {
            unsigned char* data = strip.get() + size_t(i) * layout.mRowStride;
            if (layout.mPhotometric == kPhotometricYCbCr)
                ExpandYCrCb(data, row.get(), layout.mWidth, layout.mSubsampling, nullptr, false);
            else
                ExpandRGB(data, row.get(), layout.mSamples, layout.mWidth);
            std::copy(row.get(), row.get() + rowBytes, out);
            out += rowBytes;
        }
    }
    return true;
}

unsigned char ClampToByte(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value > 255.0)
        return 255;
    return static_cast<unsigned char>(value);
}

} // namespace

bool ReadFromTif(KString fileName, ImageConverterBuffer& buffer, bool removeSource)
{
    bool read = false;
    {
        TiffHandle tif(TIFFOpen(fileName, "r"));
        if (!tif)
            return false;
        TiffLayout layout;
        if (!ReadSampleLayout(tif.get(), layout) || !ReadSizeLayout(tif.get(), layout))
            return false;
        int format =
            layout.mPhotometric == kPhotometricYCbCr ? ImageConverterBuffer::eYCbCr : ImageConverterBuffer::eRGB;
        buffer.Init(int(layout.mWidth), int(layout.mHeight), true, format, char(layout.mSamples));
        if (!buffer.mPixels)
            return Fail(kTooLarge);
        read = ReadStrips(tif.get(), layout, buffer);
        if (!read)
        {
            // Half-read pixels are never handed on as an image.
            buffer.mPixels.reset();
            buffer.mValid = false;
        }
    }
    if (read && removeSource)
        KFile::Remove(fileName);
    return read;
}

bool IsCompressedTif(KString fileName)
{
    if (!HasTiffExtension(fileName))
        return false;
    TiffHandle tif(TIFFOpen(fileName, "r"));
    if (!tif)
        return false;
    uint16_t compression = kCompressionNone;
    TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression);
    return compression != kCompressionNone;
}

void ExpandRGB(unsigned char* source, unsigned char* destination, unsigned short samplesPerPixel, unsigned long width)
{
    std::copy(source, source + size_t(width) * samplesPerPixel, destination);
}

void ExpandYCrCb(unsigned char* source, unsigned char* destination, unsigned long width,
                 unsigned short horizontalSubsampling, float* referenceBlackWhite, bool convert)
{
    static float sDefaultReference[6] = {0.0f, 255.0f, 128.0f, 255.0f, 128.0f, 255.0f};
    const unsigned h = horizontalSubsampling;
    if (h == 0)
        return;
    if (h == 1 && !convert)
    {
        // Full-size chroma kept as it is: the units are the pixels.
        std::copy(source, source + size_t(width) * 3, destination);
        return;
    }
    const float* reference = referenceBlackWhite ? referenceBlackWhite : sDefaultReference;
    const double r0 = reference[0], r2 = reference[2], r4 = reference[4];
    unsigned long written = 0;
    for (const unsigned char* unit = source; written < width; unit += h + 2)
    {
        const unsigned char c1 = unit[h], c2 = unit[h + 1];
        for (unsigned k = 0; k < h && written < width; ++k, ++written)
        {
            const unsigned char y = unit[k];
            if (!convert)
            {
                *destination++ = y;
                *destination++ = c1;
                *destination++ = c2;
                continue;
            }
            const double luma = 1.164 * (y - r0);
            *destination++ = ClampToByte(luma + 2.018 * (c2 - r4));
            *destination++ = ClampToByte(luma - 0.813 * (c1 - r2) - 0.391 * (c2 - r4));
            *destination++ = ClampToByte(luma + 1.596 * (c1 - r2));
        }
    }
}

} // namespace qoxsdk_600
