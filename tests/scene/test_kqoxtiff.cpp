// TIFF reading and writing of image buffers: round trips, the tags written,
// hand-built YCbCr files, damaged and hostile files.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/tiff_test_util.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;
using qoxtest::TiffBuilder;
using qoxtest::TiffMessages;

namespace {

// A buffer of the given layout whose byte i is (i * 7 + seed) & 0xFF.
void FillPattern(ImageConverterBuffer& buffer, int width, int height, int format, int bytes, int seed = 3)
{
    buffer.Init(width, height, true, format, char(bytes));
    ASSERT_TRUE(buffer.mPixels);
    for (long long i = 0; i < buffer.GetPixelByteCount(); ++i)
        buffer.mPixels[i] = static_cast<unsigned char>((i * 7 + seed) & 0xFF);
}

std::string Pixels(const ImageConverterBuffer& buffer)
{
    if (!buffer.mPixels)
        return std::string();
    return std::string(reinterpret_cast<const char*>(buffer.mPixels.get()), size_t(buffer.GetPixelByteCount()));
}

struct TagReader
{
    explicit TagReader(const std::string& path)
        : mTif(TIFFOpen(path.c_str(), "r"))
    {}
    ~TagReader()
    {
        if (mTif)
            TIFFClose(mTif);
    }
    uint32_t Long(uint32_t tag)
    {
        uint32_t v = 0xDEADBEEF;
        TIFFGetField(mTif, tag, &v);
        return v;
    }
    uint16_t Short(uint32_t tag)
    {
        uint16_t v = 0xBEEF;
        TIFFGetField(mTif, tag, &v);
        return v;
    }
    TIFF* mTif;
};

} // namespace

// ---- ImageConverterBuffer::Init ----

TEST(ImageConverterBuffer, InitValidityAndAllocation)
{
    struct Case
    {
        int width, height;
        bool allocate;
        int format;
        char bytes;
        bool valid;
        long long pixelBytes; // 0: no pixel array
    };
    const Case cases[] = {
        {0, 0, false, 0, 4, true, 0},               // nothing asked, always valid
        {0, 5, true, 0, 3, false, 0},               // no columns
        {2, 2, true, 2, 3, false, 0},               // unknown colour format
        {2, 3, true, 1, 3, true, 18},               // YCbCr
        {4, 1, true, 0, 4, true, 16},               // RGBA
        {3, 3, true, 0, char(0xFF), false, 0},      // bytes per pixel taken as signed: -1
        {INT_MAX, INT_MAX, true, 0, 127, false, 0}, // product overflows 64 bits of int arithmetic
        {32768, 32769, true, 0, 1, false, 0},       // one row above the 1 GiB bound
        {-1, 4, false, 5, 0, true, 0},              // no allocation: anything is valid
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format << " bytes "
                                        << int(c.bytes));
        ImageConverterBuffer buffer;
        buffer.Init(c.width, c.height, c.allocate, c.format, c.bytes);
        EXPECT_EQ(buffer.mValid, c.valid);
        EXPECT_EQ(buffer.mAllocated, c.allocate);
        EXPECT_EQ(buffer.GetPixelByteCount(), c.pixelBytes);
        EXPECT_EQ(buffer.mPixels != nullptr, c.pixelBytes != 0);
        EXPECT_EQ(buffer.mBytesPerPixel, int(static_cast<signed char>(c.bytes)));
    }
}

TEST(ImageConverterBuffer, DefaultsAndReInit)
{
    ImageConverterBuffer buffer;
    EXPECT_EQ(buffer.mWidth, 0);
    EXPECT_EQ(buffer.mHeight, 0);
    EXPECT_EQ(buffer.mColorFormat, 0);
    EXPECT_EQ(buffer.mBytesPerPixel, 3);
    EXPECT_FALSE(buffer.mPixels);
    EXPECT_TRUE(buffer.mOriginalFormat);
    EXPECT_TRUE(buffer.mOriginalFileName.IsEmpty());
    EXPECT_FALSE(buffer.mValid);
    EXPECT_FALSE(buffer.mAllocated);

    buffer.Init(8, 8, true, 0, 3);
    ASSERT_TRUE(buffer.mPixels);
    buffer.Init(8, 8, false, 0, 3); // drops the earlier pixels
    EXPECT_FALSE(buffer.mPixels);
    EXPECT_TRUE(buffer.mValid);
}

// ---- Round trips ----

struct RoundTrip
{
    const char* name;
    int width, height, format, bytes;
    bool compress;
};

class TiffRoundTrip : public testing::TestWithParam<RoundTrip>
{};

TEST_P(TiffRoundTrip, ReadsBackWhatWasWritten)
{
    const RoundTrip& c = GetParam();
    TempDir dir;
    std::string path = dir.File("image.tif");
    ImageConverterBuffer written;
    FillPattern(written, c.width, c.height, c.format, c.bytes);
    ASSERT_TRUE(WriteToTif(path.c_str(), c.compress, written));

    {
        TagReader tags(path);
        ASSERT_TRUE(tags.mTif);
        EXPECT_EQ(tags.Short(TIFFTAG_COMPRESSION), c.compress ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        EXPECT_EQ(tags.Short(TIFFTAG_PHOTOMETRIC), c.format == 1 ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB);
        EXPECT_EQ(tags.Short(TIFFTAG_SAMPLESPERPIXEL), c.bytes);
        EXPECT_EQ(TIFFNumberOfStrips(tags.mTif), uint32_t(c.height)); // one strip per row
        uint16_t count = 0, *extra = nullptr;
        bool hasExtra = TIFFGetField(tags.mTif, TIFFTAG_EXTRASAMPLES, &count, &extra) != 0;
        EXPECT_EQ(hasExtra, c.bytes == 4);
        if (hasExtra)
        {
            ASSERT_EQ(count, 1);
            EXPECT_EQ(extra[0], EXTRASAMPLE_ASSOCALPHA);
        }
        uint16_t h = 0, v = 0;
        bool hasSubsampling = TIFFGetField(tags.mTif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v) != 0;
        EXPECT_EQ(hasSubsampling, c.format == 1);
        if (hasSubsampling)
        {
            EXPECT_EQ(h, 1);
            EXPECT_EQ(v, 1);
        }
    }

    ImageConverterBuffer read;
    ASSERT_TRUE(ReadFromTif(path.c_str(), read, false));
    EXPECT_EQ(read.mWidth, c.width);
    EXPECT_EQ(read.mHeight, c.height);
    EXPECT_EQ(read.mColorFormat, c.format);
    EXPECT_EQ(read.mBytesPerPixel, c.bytes);
    EXPECT_TRUE(read.mValid);
    EXPECT_EQ(Pixels(read), Pixels(written));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffRoundTrip,
    testing::Values(RoundTrip{"Rgb5x3", 5, 3, 0, 3, false}, RoundTrip{"Rgb5x3Deflate", 5, 3, 0, 3, true},
                    RoundTrip{"Rgba2x2", 2, 2, 0, 4, false}, RoundTrip{"Rgba2x2Deflate", 2, 2, 0, 4, true},
                    RoundTrip{"YCbCr7x2", 7, 2, 1, 3, false}, RoundTrip{"YCbCr7x2Deflate", 7, 2, 1, 3, true},
                    RoundTrip{"Rgb1x1", 1, 1, 0, 3, false}, RoundTrip{"FiveSamples", 3, 2, 0, 5, false},
                    RoundTrip{"Wide", 5000, 2, 0, 3, true}, RoundTrip{"HundredThousandRows", 1, 100000, 0, 3, false}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST(WriteToTif, TagsOfTheWrittenFile)
{
    TempDir dir;
    std::string path = dir.File("tags.tif");
    ImageConverterBuffer buffer;
    FillPattern(buffer, 3, 2, 0, 3);
    ASSERT_TRUE(WriteToTif(path.c_str(), false, buffer));

    TagReader tags(path);
    ASSERT_TRUE(tags.mTif);
    EXPECT_EQ(tags.Long(TIFFTAG_IMAGEWIDTH), 3u);
    EXPECT_EQ(tags.Long(TIFFTAG_IMAGELENGTH), 2u);
    EXPECT_EQ(tags.Short(TIFFTAG_BITSPERSAMPLE), 8);
    EXPECT_EQ(tags.Short(TIFFTAG_ORIENTATION), ORIENTATION_TOPLEFT);
    EXPECT_EQ(tags.Long(TIFFTAG_ROWSPERSTRIP), 1u);
    EXPECT_EQ(tags.Short(TIFFTAG_PLANARCONFIG), PLANARCONFIG_CONTIG);
    EXPECT_EQ(tags.Long(TIFFTAG_SUBFILETYPE), 0u);
    EXPECT_EQ(tags.Short(TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
    float x = 0, y = 0;
    TIFFGetField(tags.mTif, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(tags.mTif, TIFFTAG_YRESOLUTION, &y);
    EXPECT_EQ(x, 72.0f);
    EXPECT_EQ(y, 72.0f);
    // Uncompressed strips are the rows themselves.
    uint64_t* sizes = nullptr;
    ASSERT_TRUE(TIFFGetField(tags.mTif, TIFFTAG_STRIPBYTECOUNTS, &sizes));
    EXPECT_EQ(sizes[0], 9u);
    EXPECT_EQ(sizes[1], 9u);
}

TEST(WriteToTif, HeightZeroWritesNoRowsAndSucceeds)
{
    TempDir dir;
    ImageConverterBuffer buffer;
    buffer.Init(4, 0, false, 0, 3);
    EXPECT_TRUE(WriteToTif(dir.File("empty.tif").c_str(), false, buffer));
}

TEST(WriteToTif, FailuresAreReported)
{
    TempDir dir;
    TiffMessages messages;
    ImageConverterBuffer buffer;
    FillPattern(buffer, 2, 2, 0, 3);
    EXPECT_FALSE(WriteToTif(dir.File("no/such/dir.tif").c_str(), false, buffer));

    // Rows without pixels: refused before any file exists.
    ImageConverterBuffer empty;
    empty.Init(2, 2, false, 0, 3);
    std::string path = dir.File("nopixels.tif");
    EXPECT_FALSE(WriteToTif(path.c_str(), false, empty));
    bool exists = true;
    qoxtest::ReadFile(path, &exists);
    EXPECT_FALSE(exists);

    // A full disk before the header: the file cannot be created.
    messages.Clear();
    EXPECT_FALSE(WriteToTif("/dev/full", false, buffer));
    EXPECT_FALSE(messages.Errors().empty());
}

TEST(WriteToTif, RowThatCannotBeWrittenFailsTheCall)
{
    // A file size limit lets the header through and stops the first row
    // (each test case runs in a process of its own).
    TempDir dir;
    ImageConverterBuffer buffer;
    FillPattern(buffer, 5000, 2, 0, 3);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    TiffMessages messages;
    bool written = WriteToTif(dir.File("limited.tif").c_str(), false, buffer);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    // Closing the partial file may add libtiff's own messages afterwards.
    const std::vector<std::string>& errors = messages.Errors();
    EXPECT_NE(std::find(errors.begin(), errors.end(), "WriteFile: failure in WriteScanline\n"), errors.end());
}

// ---- Hand-built files ----

TEST(ReadFromTif, YCbCrSubsampledWithOddWidth)
{
    // Width 3, subsampling (2, 1): two data units per row, Y Y Cb Cr each;
    // the second unit's second luma lies beyond the image.
    const unsigned char rows[] = {10, 11, 100, 200, 12, 99, 101, 201, //
                                  20, 21, 110, 210, 22, 99, 111, 211};
    TempDir dir;
    std::string path = dir.File("sub.tif");
    std::string strip(reinterpret_cast<const char*>(rows), sizeof rows);
    ASSERT_TRUE(qoxtest::WriteFile(path, TiffBuilder::Image(3, 2, PHOTOMETRIC_YCBCR, 3, 2)
                                             .Short(TIFFTAG_YCBCRSUBSAMPLING, {2, 1})
                                             .Strip(strip)
                                             .Bytes()));

    ImageConverterBuffer buffer;
    ASSERT_TRUE(ReadFromTif(path.c_str(), buffer, false));
    EXPECT_EQ(buffer.mColorFormat, 1);
    EXPECT_EQ(buffer.mWidth, 3);
    const unsigned char expected[] = {10, 100, 200, 11, 100, 200, 12, 101, 201, //
                                      20, 110, 210, 21, 110, 210, 22, 111, 211};
    EXPECT_EQ(Pixels(buffer), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

TEST(ReadFromTif, YCbCrWithoutSubsamplingTagIsFullResolution)
{
    // Files written before the tag was added: chroma per pixel.
    const unsigned char row[] = {1, 2, 3, 4, 5, 6};
    TempDir dir;
    std::string path = dir.File("old.tif");
    ASSERT_TRUE(qoxtest::WriteFile(path, TiffBuilder::Image(2, 1, PHOTOMETRIC_YCBCR, 3, 1)
                                             .Strip(std::string(reinterpret_cast<const char*>(row), 6))
                                             .Bytes()));
    ImageConverterBuffer buffer;
    ASSERT_TRUE(ReadFromTif(path.c_str(), buffer, false));
    EXPECT_EQ(Pixels(buffer), std::string(reinterpret_cast<const char*>(row), 6));
}

TEST(ReadFromTif, MultiRowStripsAndRemoveSource)
{
    // 2 x 3 RGB in strips of two rows: the last strip holds one row.
    std::string rows;
    for (int i = 0; i < 18; ++i)
        rows += char(i);
    TempDir dir;
    std::string path = dir.File("strips.tif");
    ASSERT_TRUE(qoxtest::WriteFile(
        path,
        TiffBuilder::Image(2, 3, PHOTOMETRIC_RGB, 3, 2).Strip(rows.substr(0, 12)).Strip(rows.substr(12)).Bytes()));
    ImageConverterBuffer buffer;
    ASSERT_TRUE(ReadFromTif(path.c_str(), buffer, true));
    EXPECT_EQ(Pixels(buffer), rows);
    bool exists = true;
    qoxtest::ReadFile(path, &exists);
    EXPECT_FALSE(exists);
}

TEST(ReadFromTif, LzwWrittenByLibtiff)
{
    TempDir dir;
    std::string path = dir.File("lzw.tif");
    std::string pixels;
    for (int i = 0; i < 4 * 3 * 3; ++i)
        pixels += char(i % 5);
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_TRUE(tif);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 3u);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2u);
    for (uint32_t r = 0; r < 3; ++r)
        ASSERT_EQ(TIFFWriteScanline(tif, &pixels[r * 12], r, 0), 1);
    TIFFClose(tif);

    ImageConverterBuffer buffer;
    ASSERT_TRUE(ReadFromTif(path.c_str(), buffer, false));
    EXPECT_EQ(Pixels(buffer), pixels);
    EXPECT_TRUE(IsCompressedTif(path.c_str()));
}

// ---- Damaged and hostile files ----

TEST(ReadFromTif, RejectsWhatItCannotRead)
{
    std::string rgbRow(6, '\x11');
    std::vector<uint32_t> colormap(3 * 256, 0);
    struct Case
    {
        const char* name;
        std::string bytes;
        const char* message; // null: any message, libtiff's own included
    };
    const char* kUnsupported = "ReadFromTif: Image format not supported";
    const char* kCorrupted = "ReadFromTif: File is corrupted";
    const char* kTooLarge = "ReadFromTif: Image too large";
    const Case cases[] = {
        {"16-bit samples",
         TiffBuilder::Image(2, 1, PHOTOMETRIC_RGB, 3, 1)
             .Short(TIFFTAG_BITSPERSAMPLE, {16, 16, 16})
             .Strip(rgbRow + rgbRow)
             .Bytes(),
         kUnsupported},
        {"separate planes",
         TiffBuilder::Image(2, 1, PHOTOMETRIC_RGB, 3, 1)
             .Short(TIFFTAG_PLANARCONFIG, {2})
             .Strip("ab")
             .Strip("cd")
             .Strip("ef")
             .Bytes(),
         kUnsupported},
        {"subsampling 2x2",
         TiffBuilder::Image(2, 2, PHOTOMETRIC_YCBCR, 3, 2)
             .Short(TIFFTAG_YCBCRSUBSAMPLING, {2, 2})
             .Strip(std::string(6, 'y'))
             .Bytes(),
         kUnsupported},
        {"subsampling 4x1",
         TiffBuilder::Image(4, 1, PHOTOMETRIC_YCBCR, 3, 1)
             .Short(TIFFTAG_YCBCRSUBSAMPLING, {4, 1})
             .Strip(std::string(6, 'y'))
             .Bytes(),
         nullptr},
        {"subsampling 0x1",
         TiffBuilder::Image(4, 1, PHOTOMETRIC_YCBCR, 3, 1)
             .Short(TIFFTAG_YCBCRSUBSAMPLING, {0, 1})
             .Strip(std::string(12, 'y'))
             .Bytes(),
         nullptr},
        {"palette",
         TiffBuilder::Image(2, 1, PHOTOMETRIC_PALETTE, 1, 1).Short(TIFFTAG_COLORMAP, colormap).Strip("pp").Bytes(),
         kUnsupported},
        {"grey", TiffBuilder::Image(2, 1, PHOTOMETRIC_MINISBLACK, 1, 1).Strip("gg").Bytes(), kUnsupported},
        {"RGB with two samples", TiffBuilder::Image(2, 1, PHOTOMETRIC_RGB, 2, 1).Strip("abcd").Bytes(), nullptr},
        {"YCbCr with four samples",
         TiffBuilder::Image(2, 1, PHOTOMETRIC_YCBCR, 4, 1)
             .Short(TIFFTAG_YCBCRSUBSAMPLING, {1, 1})
             .Strip(std::string(8, 'y'))
             .Bytes(),
         nullptr},
        {"huge dimensions", TiffBuilder::Image(100000, 100000, PHOTOMETRIC_RGB, 3, 1).Strip(rgbRow).Bytes(), kTooLarge},
        {"width beyond int", TiffBuilder::Image(0x80000000u, 1, PHOTOMETRIC_RGB, 3, 1).Strip(rgbRow).Bytes(), nullptr},
        {"strip shorter than its rows", TiffBuilder::Image(2, 1, PHOTOMETRIC_RGB, 3, 1).Strip("abc").Bytes(),
         kCorrupted},
        {"strip beyond the file",
         TiffBuilder::Image(2, 1, PHOTOMETRIC_RGB, 3, 1)
             .Long(TIFFTAG_STRIPOFFSETS, {100000})
             .Long(TIFFTAG_STRIPBYTECOUNTS, {6})
             .Bytes(),
         kCorrupted},
        {"too few strips", TiffBuilder::Image(2, 3, PHOTOMETRIC_RGB, 3, 1).Strip(rgbRow).Bytes(), nullptr},
        {"no image at all", std::string("II*\0\x08\0\0\0\0\0\0\0\0\0", 14), nullptr},
        {"not a TIFF", std::string("GIF89a not a tiff"), nullptr},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string path = dir.File("hostile.tif");
        ASSERT_TRUE(qoxtest::WriteFile(path, c.bytes));
        TiffMessages messages;
        ImageConverterBuffer buffer;
        EXPECT_FALSE(ReadFromTif(path.c_str(), buffer, true));
        EXPECT_FALSE(buffer.mPixels);
        EXPECT_FALSE(messages.Errors().empty());
        if (c.message)
        {
            EXPECT_EQ(messages.Last(), c.message);
        }
        bool exists = false;
        qoxtest::ReadFile(path, &exists);
        EXPECT_TRUE(exists) << "a failed read keeps its source";
    }
}

TEST(ReadFromTif, EveryTruncationFails)
{
    std::string rows;
    for (int i = 0; i < 4 * 3 * 3; ++i)
        rows += char(i + 1);
    std::string whole = TiffBuilder::Image(4, 3, PHOTOMETRIC_RGB, 3, 1)
                            .Strip(rows.substr(0, 12))
                            .Strip(rows.substr(12, 12))
                            .Strip(rows.substr(24))
                            .Bytes();
    TempDir dir;
    std::string path = dir.File("cut.tif");
    TiffMessages messages;
    ASSERT_TRUE(qoxtest::WriteFile(path, whole));
    ImageConverterBuffer buffer;
    ASSERT_TRUE(ReadFromTif(path.c_str(), buffer, false));
    EXPECT_EQ(Pixels(buffer), rows);
    for (size_t length = 0; length < whole.size(); ++length)
    {
        ASSERT_TRUE(qoxtest::WriteFile(path, whole.substr(0, length)));
        ImageConverterBuffer cut;
        EXPECT_FALSE(ReadFromTif(path.c_str(), cut, false)) << "cut at " << length;
        EXPECT_FALSE(cut.mPixels);
    }
}

TEST(ReadFromTif, DamagedDeflateStripFails)
{
    TempDir dir;
    std::string path = dir.File("damaged.tif");
    ImageConverterBuffer written;
    FillPattern(written, 64, 4, 0, 3);
    ASSERT_TRUE(WriteToTif(path.c_str(), true, written));
    uint64_t offset = 0;
    {
        TagReader tags(path);
        uint64_t* offsets = nullptr;
        ASSERT_TRUE(TIFFGetField(tags.mTif, TIFFTAG_STRIPOFFSETS, &offsets));
        offset = offsets[2];
    }
    std::string bytes = qoxtest::ReadFile(path);
    ASSERT_LT(offset + 4, bytes.size());
    std::memset(&bytes[offset], 0xFF, 4); // not a zlib stream any more
    ASSERT_TRUE(qoxtest::WriteFile(path, bytes));

    TiffMessages messages;
    ImageConverterBuffer read;
    EXPECT_FALSE(ReadFromTif(path.c_str(), read, false));
    EXPECT_EQ(messages.Last(), "ReadFromTif: File is corrupted");
}

// ---- IsCompressedTif ----

TEST(IsCompressedTif, ByExtensionAndCompression)
{
    TempDir dir;
    ImageConverterBuffer buffer;
    FillPattern(buffer, 3, 3, 0, 3);
    ASSERT_TRUE(WriteToTif(dir.File("deflate.tiff").c_str(), true, buffer));
    ASSERT_TRUE(WriteToTif(dir.File("plain.TIF").c_str(), false, buffer));
    ASSERT_TRUE(WriteToTif(dir.File("deflate.png").c_str(), true, buffer)); // a TIFF under another name
    ASSERT_TRUE(WriteToTif(dir.File("deflate.tif.bak").c_str(), true, buffer));
    struct Case
    {
        const char* name;
        bool compressed;
    };
    const Case cases[] = {
        {"deflate.tiff", true}, {"plain.TIF", false},       {"deflate.png", false},
        {"missing.tif", false}, {"deflate.tif.bak", false},
    };
    TiffMessages messages;
    for (const Case& c : cases)
        EXPECT_EQ(IsCompressedTif(dir.File(c.name).c_str()), c.compressed) << c.name;
}

// ---- Row expansion ----

TEST(ExpandYCrCb, ConvertsToRgbWithReferenceValues)
{
    struct Case
    {
        unsigned char y, c1, c2;
        bool defaultReference;
        unsigned char out[3];
    };
    // Worked by hand: y = 1.164 (Y - r0); first = y + 2.018 (C2 - r4),
    // second = y - 0.813 (C1 - r2) - 0.391 (C2 - r4), third = y + 1.596 (C1 - r2),
    // each clamped to [0, 255] and truncated.
    const Case cases[] = {
        {128, 128, 128, true, {148, 148, 148}},  // 148.992 each
        {0, 0, 255, true, {255, 54, 0}},         // 256.286, 54.407, -204.288
        {16, 128, 128, false, {0, 0, 0}},        // studio black
        {235, 128, 128, false, {254, 254, 254}}, // 1.164 * 219 = 254.916
        {100, 200, 50, false, {0, 69, 212}},     // 97.776 - 157.404, 97.776 - 58.536 + 30.498, 97.776 + 114.912
    };
    float studio[6] = {16, 235, 128, 240, 128, 240};
    for (const Case& c : cases)
    {
        unsigned char unit[3] = {c.y, c.c1, c.c2};
        unsigned char out[3] = {};
        ExpandYCrCb(unit, out, 1, 1, c.defaultReference ? nullptr : studio, true);
        EXPECT_EQ(std::vector<int>(out, out + 3), std::vector<int>(c.out, c.out + 3))
            << int(c.y) << " " << int(c.c1) << " " << int(c.c2);
    }
}

TEST(ExpandYCrCb, ZeroSubsamplingWritesNothing)
{
    unsigned char unit[4] = {1, 2, 3, 4};
    unsigned char out[3] = {9, 9, 9};
    ExpandYCrCb(unit, out, 1, 0, nullptr, false);
    EXPECT_EQ(out[0], 9);
}
