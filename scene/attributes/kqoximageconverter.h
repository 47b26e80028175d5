#ifndef QOX_SCENE_ATTRIBUTES_KQOXIMAGECONVERTER_H
#define QOX_SCENE_ATTRIBUTES_KQOXIMAGECONVERTER_H

// Moving texture and video media through TIFF files.
//
// ImageConverterBuffer is an image in memory. KQoxImageConverter maps a file
// extension to a conversion function supplied by the host side: the native
// writers fill a buffer through Convert (mode 0) and store it with WriteToTif;
// the native reader reads it back with ReadFromTif and recreates the media
// file through Convert (mode 1). Nothing here throws; failures are reported
// by the return values, and the TIFF functions also pass a message to
// libtiff's error handler (module "ReadFromTif" or "WriteFile").

#include <memory>

#include "base/kstring.h"

class KCharPtrSet;

namespace qoxsdk_600 {

class KQoxSdkManager;

// An image held in memory: height rows of width x bytes-per-pixel bytes,
// top row first. Not copyable: it owns its pixel array.
struct ImageConverterBuffer
{
    // Colour formats.
    enum
    {
        eRGB = 0,   // R, G, B (and any extra samples) per pixel
        eYCbCr = 1, // Y, Cb, Cr per pixel
    };

    // Largest pixel array Init allocates, in bytes (1 GiB). Larger requests,
    // and sizes whose product overflows, leave the buffer without pixels.
    static const long long kMaxPixelBytes = 1LL << 30;

    ImageConverterBuffer();
    ~ImageConverterBuffer();
    ImageConverterBuffer(const ImageConverterBuffer&) = delete;
    ImageConverterBuffer& operator=(const ImageConverterBuffer&) = delete;

    // Stores the sizes (bytes per pixel taken as a signed char), drops any
    // earlier pixels, and sets mValid: true when width >= 1, height >= 1, the
    // colour format is 0 or 1 and bytes per pixel >= 1, and always when
    // allocate is false. When valid and allocate is set it allocates
    // width x height x bytes-per-pixel uninitialised bytes; a request above
    // kMaxPixelBytes or a failed allocation leaves no pixels and mValid false.
    // Callers test mPixels.
    void Init(int width, int height, bool allocate, int colorFormat, char bytesPerPixel);

    void SetOriginalFormat(bool originalFormat) { mOriginalFormat = originalFormat; }
    void SetOriginalFileName(KString fileName) { mOriginalFileName = fileName; }

    // Size of the pixel array that Init allocated; 0 without pixels.
    long long GetPixelByteCount() const;

    int mWidth = 0;
    int mHeight = 0;
    int mColorFormat = eRGB;
    int mBytesPerPixel = 3;
    std::unique_ptr<unsigned char[]> mPixels;
    bool mOriginalFormat = true; // keep the media in the file format it came in
    KString mOriginalFileName;   // the file the image came from
    bool mValid = false;         // result of the last Init
    bool mAllocated = false;     // the last Init was asked to allocate
};

// A conversion function: mode 0 loads the named media file into the buffer,
// mode 1 produces the named media file from the buffer. It may replace the
// file name. 0 means success, anything else failure.
typedef int (*KQoxImageConverterFunction)(int mode, KString& fileName, ImageConverterBuffer& buffer);

// The registry of conversion functions by file extension (compared without
// regard to case). The SDK manager creates and destroys it.
class KQoxImageConverter
{
public:
    explicit KQoxImageConverter(KQoxSdkManager& manager);
    ~KQoxImageConverter();
    KQoxImageConverter(const KQoxImageConverter&) = delete;
    KQoxImageConverter& operator=(const KQoxImageConverter&) = delete;

    // Adds the pair; does nothing for a null function or an extension that
    // already has one (the first registration wins).
    void RegisterConverterFunction(KString extension, KQoxImageConverterFunction function);
    // Removes the first entry, in sorted key order, that holds the function;
    // one entry per call; nothing for a null or unregistered function.
    void UnregisterConverterFunction(KQoxImageConverterFunction function);
    // Calls the function registered for the extension of fileName (the text
    // after the last "." when that dot follows every "/" and "\"); true when
    // there is one and it returns 0. False for a name without extension.
    bool Convert(int mode, KString& fileName, ImageConverterBuffer& buffer);

    KQoxSdkManager& GetSdkManager() const { return mManager; }

private:
    std::unique_ptr<KCharPtrSet> mConverters; // extension -> function, pointer-sized
    KQoxSdkManager& mManager;
};

// Reads the first image of a TIFF file into the buffer: 8-bit RGB (three or
// more samples per pixel) or YCbCr (three samples, horizontal subsampling 1
// or 2, vertical 1; the pixels stay Y, Cb, Cr and the buffer's colour format
// is 1), contiguous samples, organised in strips. Any other file, a damaged
// one, or one larger than ImageConverterBuffer::kMaxPixelBytes gives false.
// With removeSource the file is deleted after a successful read.
bool ReadFromTif(KString fileName, ImageConverterBuffer& buffer, bool removeSource);

// Writes the buffer as a TIFF file: 8 bits per sample, one row per strip,
// Deflate when compress is set; YCbCr buffers carry subsampling (1, 1), and
// four samples per pixel carry an associated-alpha extra sample. True when
// the file was created and every row and the directory were written. A
// buffer with rows but without pixels (or with bytes per pixel below 1, or
// negative sizes) gives false without creating the file.
bool WriteToTif(KString fileName, bool compress, ImageConverterBuffer& buffer);

// True when the extension is tif or tiff (any case), the file opens as a
// TIFF and its compression is other than none. Other names are not opened.
bool IsCompressedTif(KString fileName);

// Copies width x samplesPerPixel bytes of one row.
void ExpandRGB(unsigned char* source, unsigned char* destination, unsigned short samplesPerPixel, unsigned long width);

// Expands one row of YCbCr data units (h luma bytes then Cb, Cr; h is the
// horizontal subsampling) into width pixels of three bytes. With convert off
// the bytes are Y, Cb, Cr; with it on they are converted to RGB through the
// reference black/white values (elements 0, 2 and 4; the TIFF defaults when
// null). Reads ceil(width / h) x (h + 2) bytes. Writes nothing when h is 0.
void ExpandYCrCb(unsigned char* source, unsigned char* destination, unsigned long width,
                 unsigned short horizontalSubsampling, float* referenceBlackWhite, bool convert);

} // namespace qoxsdk_600

#endif
