#ifndef QOX_SCENE_ATTRIBUTES_KQOXTIFF_PRIVATE_H
#define QOX_SCENE_ATTRIBUTES_KQOXTIFF_PRIVATE_H

// Values shared by the TIFF reader (kqoxtiff_read.cpp) and writer
// (kqoxtiff_write.cpp), and the reading the native reader's media extraction
// uses. Not part of the library's interface.

#include <cstdint>

#include "base/kstring.h"

namespace qoxsdk_600 {

struct ImageConverterBuffer;

namespace kqoxtiff {

// ---- Tag values written and accepted ----
const uint16_t kBitsPerSample = 8;      // the only sample size read or written
const uint16_t kCompressionNone = 1;    // COMPRESSION_NONE
const uint16_t kCompressionDeflate = 8; // COMPRESSION_ADOBE_DEFLATE
const uint16_t kPhotometricRGB = 2;     // PHOTOMETRIC_RGB
const uint16_t kPhotometricYCbCr = 6;   // PHOTOMETRIC_YCBCR
const uint16_t kOrientationTopLeft = 1;
const uint32_t kRowsPerStripWritten = 1;
const uint16_t kPlanarContiguous = 1; // PLANARCONFIG_CONTIG
const float kResolution = 72.0f;      // X and Y, pixels per inch
const uint16_t kResolutionUnitInch = 2;
const uint16_t kExtraSampleAssociatedAlpha = 1; // EXTRASAMPLE_ASSOCALPHA
const int kAlphaBytesPerPixel = 4;              // bytes per pixel that carry the alpha extra sample
const uint16_t kYCbCrSubsamplingWritten = 1;    // full-resolution chroma, both directions
const uint16_t kMaxHorizontalSubsampling = 2;
const uint16_t kYCbCrSamples = 3;
const uint16_t kMinRGBSamples = 3;
const uint16_t kMaxSamples = 127; // bytes per pixel is a signed char in the buffer

// ---- Messages handed to libtiff's error handler ----
const char kReadModule[] = "ReadFromTif";
const char kWriteModule[] = "WriteFile";
const char kCorrupted[] = "File is corrupted";
const char kUnsupported[] = "Image format not supported";
const char kTooLarge[] = "Image too large";
const char kOutOfMemory[] = "Out of memory";
const char kWriteScanlineFailed[] = "failure in WriteScanline\n";
const char kWriteDirectoryFailed[] = "failure in WriteDirectory\n";

// True when the extension of the name (as Convert takes it) is TIF or TIFF
// in any case.
bool HasTiffExtension(const KString& fileName);

// How reading a TIFF file into a buffer went.
enum class TifRead
{
    eREAD,
    eFAILED,       // the file is not one ReadFromTif reads
    eOUT_OF_MEMORY // the pixels (or the rows they are decoded through) could not be allocated
};

// ReadFromTif without removing the file, telling memory running out from a
// file that cannot be read.
TifRead ReadTif(const char* fileName, ImageConverterBuffer& buffer);

} // namespace kqoxtiff
} // namespace qoxsdk_600

#endif
