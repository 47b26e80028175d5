// Reading TIFF images into an ImageConverterBuffer, and the row expanders.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

#include "base/kfile.h"
#include "base/kmappingguard.h"
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

// The file under a libtiff handle. libtiff reads a file it can map through
// the mapping; this reader makes that mapping itself so that it is guarded:
// a page the file loses to another program while it is read (or that the
// disk fails to give) reads as zeros instead of ending the process, and
// Lost() tells so. It outlives the handle, which closes the file.
class TiffSource
{
public:
    TiffSource() = default;
    TiffSource(const TiffSource&) = delete;
    TiffSource& operator=(const TiffSource&) = delete;
    ~TiffSource()
    {
        if (mFd >= 0)
            close(mFd);
    }

    // Opens fileName for reading under a new handle; null, with libtiff's
    // error reported, when it cannot.
    TiffHandle Open(const char* fileName);
    // Whether pages of the mapping were lost so far.
    bool Lost() const { return mGuard.Spoilt(); }

private:
    static TiffSource& Of(thandle_t handle) { return *static_cast<TiffSource*>(handle); }
    static tmsize_t Read(thandle_t handle, void* data, tmsize_t size);
    static tmsize_t Write(thandle_t, void*, tmsize_t) { return -1; }
    static toff_t Seek(thandle_t handle, toff_t offset, int whence);
    static int Close(thandle_t handle);
    static toff_t Size(thandle_t handle);
    static int Map(thandle_t handle, void** base, toff_t* size);
    static void Unmap(thandle_t handle, void* base, toff_t size);

    int mFd = -1;
    KMappingGuard mGuard;
};

TiffHandle TiffSource::Open(const char* fileName)
{
    mFd = open(fileName, O_RDONLY | O_CLOEXEC);
    if (mFd < 0)
    {
        TIFFErrorExt(nullptr, "TIFFOpen", "%s: Cannot open", fileName);
        return TiffHandle();
    }
    return TiffHandle(TIFFClientOpen(fileName, "r", this, &Read, &Write, &Seek, &Close, &Size, &Map, &Unmap));
}

tmsize_t TiffSource::Read(thandle_t handle, void* data, tmsize_t size)
{
    // A regular file gives what is asked but at its end; a read cut short
    // by a signal goes on.
    tmsize_t done = 0;
    while (done < size)
    {
        const ssize_t n = read(Of(handle).mFd, static_cast<char*>(data) + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

toff_t TiffSource::Seek(thandle_t handle, toff_t offset, int whence)
{
    if (offset > static_cast<toff_t>(INT64_MAX))
        return static_cast<toff_t>(-1);
    const off_t at = lseek(Of(handle).mFd, static_cast<off_t>(offset), whence);
    return at < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(at);
}

int TiffSource::Close(thandle_t handle)
{
    TiffSource& source = Of(handle);
    const int result = close(source.mFd);
    source.mFd = -1;
    return result;
}

toff_t TiffSource::Size(thandle_t handle)
{
    struct stat info;
    return fstat(Of(handle).mFd, &info) == 0 ? static_cast<toff_t>(info.st_size) : 0;
}

// Refusing leaves libtiff reading through Read.
int TiffSource::Map(thandle_t handle, void** base, toff_t* size)
{
    TiffSource& source = Of(handle);
    const toff_t bytes = Size(handle);
    if (bytes == 0 || bytes > static_cast<toff_t>(SIZE_MAX))
        return 0;
    void* mapped = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ, MAP_SHARED, source.mFd, 0);
    if (mapped == MAP_FAILED)
        return 0;
    if (!source.mGuard.Hold(mapped, static_cast<size_t>(bytes)))
    {
        munmap(mapped, static_cast<size_t>(bytes));
        return 0;
    }
    *base = mapped;
    *size = bytes;
    return 1;
}

void TiffSource::Unmap(thandle_t handle, void* base, toff_t size)
{
    Of(handle).mGuard.Release();
    munmap(base, static_cast<size_t>(size));
}

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
// The strip and row buffers are no larger than the pixel array, which is
// within bounds: failing to allocate them is memory running out.
TifRead ReadStrips(TIFF* tif, const TiffLayout& layout, ImageConverterBuffer& buffer)
{
    size_t stripBytes = size_t(layout.mRowsPerStrip) * layout.mRowStride;
    size_t rowBytes = size_t(layout.mWidth) * layout.mSamples;
    std::unique_ptr<unsigned char[]> strip(new (std::nothrow) unsigned char[stripBytes]);
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
    if (!strip || !row)
    {
        Fail(kOutOfMemory);
        return TifRead::eOUT_OF_MEMORY;
    }

    unsigned char* out = buffer.mPixels.get();
    for (uint32_t first = 0; first < layout.mHeight; first += layout.mRowsPerStrip)
    {
        uint32_t rows = std::min(layout.mRowsPerStrip, layout.mHeight - first);
        tmsize_t wanted = tmsize_t(rows) * tmsize_t(layout.mRowStride);
        uint32_t index = TIFFComputeStrip(tif, first, 0);
        if (index >= TIFFNumberOfStrips(tif) || TIFFReadEncodedStrip(tif, index, strip.get(), wanted) != wanted)
        {
            Fail(kCorrupted);
            return TifRead::eFAILED;
        }
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
    return TifRead::eREAD;
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

TifRead kqoxtiff::ReadTif(const char* fileName, ImageConverterBuffer& buffer)
{
    TiffSource source;
    TiffHandle tif(source.Open(fileName));
    if (!tif)
        return TifRead::eFAILED;
    TiffLayout layout;
    if (!ReadSampleLayout(tif.get(), layout) || !ReadSizeLayout(tif.get(), layout))
        return TifRead::eFAILED;
    int format = layout.mPhotometric == kPhotometricYCbCr ? ImageConverterBuffer::eYCbCr : ImageConverterBuffer::eRGB;
    buffer.Init(int(layout.mWidth), int(layout.mHeight), true, format, char(layout.mSamples));
    if (!buffer.mPixels)
    {
        // The size is within bounds (checked above): memory ran out.
        Fail(kOutOfMemory);
        return TifRead::eOUT_OF_MEMORY;
    }
    TifRead read = ReadStrips(tif.get(), layout, buffer);
    if (read == TifRead::eREAD && source.Lost())
    {
        Fail(kCorrupted);
        read = TifRead::eFAILED;
    }
    if (read != TifRead::eREAD)
    {
        // Half-read pixels are never handed on as an image.
        buffer.mPixels.reset();
        buffer.mValid = false;
    }
    return read;
}

bool ReadFromTif(KString fileName, ImageConverterBuffer& buffer, bool removeSource)
{
    const bool read = kqoxtiff::ReadTif(fileName, buffer) == TifRead::eREAD;
    if (read && removeSource)
        KFile::Remove(fileName);
    return read;
}

bool IsCompressedTif(KString fileName)
{
    if (!HasTiffExtension(fileName))
        return false;
    TiffSource source;
    TiffHandle tif(source.Open(fileName));
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
