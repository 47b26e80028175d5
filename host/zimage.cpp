// Picture files through libtiff; other formats are not supported here.
#include "host/zimage.h"

#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Extension(const std::string& path)
{
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return Lower(path.substr(dot + 1));
}

bool IsTiff(const std::string& ext)
{
    return ext == "tif" || ext == "tiff";
}

// libtiff's messages are not printed; a failure comes back as a status.
void Silent(const char*, const char*, va_list) {}

struct TiffCloser
{
    void operator()(TIFF* tif) const
    {
        if (tif)
            TIFFClose(tif);
    }
};

const unsigned kMaxPixels = 1u << 28;

} // namespace

ZStatus ZImage::readFromFile(const ZString& path)
{
    std::string ext = Extension(path.str());
    if (!IsTiff(ext))
        return ZStatus(ZStatus::kNotImplemented, "unsupported image format: " + (ext.empty() ? path.str() : ext));
    TIFFSetErrorHandler(Silent);
    TIFFSetWarningHandler(Silent);
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.asChar(), "r"));
    if (!tif)
        return ZStatus(ZStatus::kFailure, "cannot read the image file " + path.str());
    uint32_t width = 0, height = 0;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    if (width == 0 || height == 0 || static_cast<unsigned long long>(width) * height > kMaxPixels)
        return ZStatus(ZStatus::kFailure, "the image size of " + path.str() + " is not usable");
    std::vector<uint32_t> raster(static_cast<size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 0))
        return ZStatus(ZStatus::kFailure, "cannot decode the image file " + path.str());
    mPixels.resize(raster.size() * 4);
    for (size_t i = 0; i < raster.size(); ++i)
    {
        mPixels[i * 4 + 0] = static_cast<unsigned char>(TIFFGetR(raster[i]));
        mPixels[i * 4 + 1] = static_cast<unsigned char>(TIFFGetG(raster[i]));
        mPixels[i * 4 + 2] = static_cast<unsigned char>(TIFFGetB(raster[i]));
        mPixels[i * 4 + 3] = static_cast<unsigned char>(TIFFGetA(raster[i]));
    }
    mWidth = width;
    mHeight = height;
    mCompressed = compression != COMPRESSION_NONE;
    return ZStatus();
}

ZStatus ZImage::writeToFile(const ZString& path, const ZString& outputFormat) const
{
    std::string format = Lower(outputFormat.str());
    if (!IsTiff(format))
        return ZStatus(ZStatus::kNotImplemented, "unsupported image format: " + format);
    if (mPixels.empty())
        return ZStatus(ZStatus::kFailure, "the image has no pixels");
    TIFFSetErrorHandler(Silent);
    TIFFSetWarningHandler(Silent);
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.asChar(), "w"));
    if (!tif)
        return ZStatus(ZStatus::kFailure, "cannot create the image file " + path.str());
    uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA}; // read back unchanged
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, mWidth);
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, mHeight);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, 1);
    std::vector<unsigned char> row(static_cast<size_t>(mWidth) * 4);
    for (unsigned y = 0; y < mHeight; ++y)
    {
        std::memcpy(row.data(), mPixels.data() + static_cast<size_t>(y) * mWidth * 4, row.size());
        if (TIFFWriteScanline(tif.get(), row.data(), y, 0) < 0)
            return ZStatus(ZStatus::kFailure, "cannot write the image file " + path.str());
    }
    if (!TIFFFlush(tif.get()))
        return ZStatus(ZStatus::kFailure, "cannot write the image file " + path.str());
    return ZStatus();
}

ZStatus ZImage::getSize(unsigned& width, unsigned& height) const
{
    if (mPixels.empty())
        return ZStatus(ZStatus::kFailure, "the image has no pixels");
    width = mWidth;
    height = mHeight;
    return ZStatus();
}

ZStatus ZImage::setPixels(const unsigned char* pixels, unsigned width, unsigned height)
{
    if (!pixels || width == 0 || height == 0 || static_cast<unsigned long long>(width) * height > kMaxPixels)
        return ZStatus(ZStatus::kInvalidParameter, "invalid pixels or size");
    mPixels.assign(pixels, pixels + static_cast<size_t>(width) * height * 4);
    mWidth = width;
    mHeight = height;
    mCompressed = false;
    return ZStatus();
}

ZStatus ZImage::create(unsigned width, unsigned height)
{
    if (width == 0 || height == 0 || static_cast<unsigned long long>(width) * height > kMaxPixels)
        return ZStatus(ZStatus::kInvalidParameter, "invalid image size");
    mPixels.assign(static_cast<size_t>(width) * height * 4, 0);
    mWidth = width;
    mHeight = height;
    mCompressed = false;
    return ZStatus();
}

void ZImage::release()
{
    mPixels.clear();
    mWidth = mHeight = 0;
    mCompressed = false;
}
