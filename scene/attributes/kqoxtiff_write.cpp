// Writing an ImageConverterBuffer as a TIFF file.

#include <tiffio.h>

#include <cstdint>

#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxtiff_private.h"

namespace qoxsdk_600 {

using namespace kqoxtiff;

namespace {

// A buffer that can be written: sizes not negative, at least one byte per
// pixel, and pixels behind every row.
bool IsWritable(const ImageConverterBuffer& buffer)
{
    if (buffer.mWidth < 0 || buffer.mHeight < 0 || buffer.mBytesPerPixel < 1)
        return false;
    if (buffer.mHeight == 0)
        return true;
    return buffer.mWidth >= 1 && buffer.mPixels &&
           buffer.GetPixelByteCount() >= static_cast<long long>(buffer.mWidth) * buffer.mHeight * buffer.mBytesPerPixel;
}

bool SetTags(TIFF* tif, bool compress, const ImageConverterBuffer& buffer)
{
    bool ycbcr = buffer.mColorFormat == ImageConverterBuffer::eYCbCr;
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(buffer.mWidth)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(buffer.mHeight)) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, unsigned(buffer.mBytesPerPixel)) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, unsigned(kBitsPerSample)) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, unsigned(compress ? kCompressionDeflate : kCompressionNone)) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, unsigned(ycbcr ? kPhotometricYCbCr : kPhotometricRGB)) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, unsigned(kOrientationTopLeft)) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStripWritten) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, unsigned(kPlanarContiguous)) &&
              TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(kResolution)) &&
              TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(kResolution)) &&
              TIFFSetField(tif, TIFFTAG_SUBFILETYPE, uint32_t(0)) &&
              TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, unsigned(kResolutionUnitInch));
    if (ok && buffer.mBytesPerPixel == kAlphaBytesPerPixel)
    {
        uint16_t extra[1] = {kExtraSampleAssociatedAlpha};
        ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra) != 0;
    }
    // Without the tag other readers take chroma as subsampled (2, 2).
    if (ok && ycbcr)
        ok = TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, unsigned(kYCbCrSubsamplingWritten),
                          unsigned(kYCbCrSubsamplingWritten)) != 0;
    return ok;
}

} // namespace

bool WriteToTif(KString fileName, bool compress, ImageConverterBuffer& buffer)
{
    if (!IsWritable(buffer))
        return false;
    TIFF* tif = TIFFOpen(fileName, "w");
    if (!tif)
        return false;

    bool written = SetTags(tif, compress, buffer);
    size_t rowBytes = size_t(buffer.mWidth) * size_t(buffer.mBytesPerPixel);
    for (int r = 0; written && r < buffer.mHeight; ++r)
    {
        if (TIFFWriteScanline(tif, buffer.mPixels.get() + size_t(r) * rowBytes, uint32_t(r), 0) < 0)
        {
            TIFFError(kWriteModule, "%s", kWriteScanlineFailed);
            written = false;
        }
    }
    // The last strip and the directory go out here; a full disk shows now.
    if (written && !TIFFFlush(tif))
    {
        TIFFError(kWriteModule, "%s", kWriteDirectoryFailed);
        written = false;
    }
    TIFFClose(tif);
    return written;
}

} // namespace qoxsdk_600
