// TIFF reading and writing of image buffers: round trips with the tags
// written, hand-built files, damaged and hostile files, row expansion.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include "common/qox_test_common.h"
#include "common/qox_test_files.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/tiff_test_util.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;
using qoxtest::TiffBuilder;
using qoxtest::TiffMessages;

namespace {

// A buffer whose byte i is (i * 7 + 3) & 0xFF.
void Fill(ImageConverterBuffer& buffer, int width, int height, int format, int bytes)
{
    buffer.Init(width, height, true, format, char(bytes));
    ASSERT_TRUE(buffer.mPixels);
    for (long long i = 0; i < buffer.GetPixelByteCount(); ++i)
        buffer.mPixels[i] = static_cast<unsigned char>(i * 7 + 3);
}

std::string Pixels(const ImageConverterBuffer& buffer)
{
    return buffer.mPixels
               ? std::string(reinterpret_cast<const char*>(buffer.mPixels.get()), size_t(buffer.GetPixelByteCount()))
               : std::string();
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += char(v);
    return s;
}

// Writes the bytes and reads them back; the pixels, or "" on failure.
std::string ReadBack(const TempDir& dir, const std::string& bytes, ImageConverterBuffer& buffer)
{
    std::string path = dir.File("in.tif");
    EXPECT_TRUE(qoxtest::WriteFile(path, bytes));
    return ReadFromTif(path.c_str(), buffer, false) ? Pixels(buffer) : std::string();
}

} // namespace

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
        {0, 0, false, 0, 4, true, 0},               // nothing asked: always valid
        {0, 5, true, 0, 3, false, 0},               // no columns
        {2, 2, true, 2, 3, false, 0},               // unknown colour format
        {2, 3, true, 1, 3, true, 18},               // YCbCr
        {3, 3, true, 0, char(0xFF), false, 0},      // bytes per pixel is signed: -1
        {INT_MAX, INT_MAX, true, 0, 127, false, 0}, // the product would overflow
        {32768, 32769, true, 0, 1, false, 0},       // one row above the 1 GiB bound
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
        ImageConverterBuffer buffer;
        buffer.Init(8, 8, true, 0, 3);
        buffer.Init(c.width, c.height, c.allocate, c.format, c.bytes); // drops the earlier pixels
        EXPECT_EQ(buffer.mValid, c.valid);
        EXPECT_EQ(buffer.mAllocated, c.allocate);
        EXPECT_EQ(buffer.GetPixelByteCount(), c.pixelBytes);
        EXPECT_EQ(buffer.mBytesPerPixel, int(static_cast<signed char>(c.bytes)));
    }
}

struct RoundTrip
{
    const char* name;
    int width, height, format, bytes;
    bool compress;
};

class TiffRoundTrip : public testing::TestWithParam<RoundTrip>
{};

TEST_P(TiffRoundTrip, ReadsBackWhatWasWrittenWithItsTags)
{
    const RoundTrip& c = GetParam();
    TempDir dir;
    std::string path = dir.File("image.tif");
    ImageConverterBuffer written;
    Fill(written, c.width, c.height, c.format, c.bytes);
    ASSERT_TRUE(WriteToTif(path.c_str(), c.compress, written));
    {
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_TRUE(tif);
        uint16_t compression = 0, photometric = 0, h = 0, v = 0, count = 0, *extra = nullptr;
        uint32_t rows = 0;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rows);
        EXPECT_EQ(compression, c.compress ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        EXPECT_EQ(photometric, c.format == 1 ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB);
        EXPECT_EQ(rows, 1u);
        // Associated alpha with four samples; subsampling (1, 1) with YCbCr.
        EXPECT_EQ(TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &extra) != 0, c.bytes == 4);
        EXPECT_TRUE(c.bytes != 4 || (count == 1 && extra[0] == EXTRASAMPLE_ASSOCALPHA));
        EXPECT_EQ(TIFFGetField(tif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v) != 0, c.format == 1);
        EXPECT_TRUE(c.format != 1 || (h == 1 && v == 1)) << h << " " << v;
        TIFFClose(tif);
    }
    ImageConverterBuffer read;
    ASSERT_TRUE(ReadFromTif(path.c_str(), read, false));
    EXPECT_EQ(read.mWidth, c.width);
    EXPECT_EQ(read.mHeight, c.height);
    EXPECT_EQ(read.mColorFormat, c.format);
    EXPECT_EQ(read.mBytesPerPixel, c.bytes);
    EXPECT_EQ(Pixels(read), Pixels(written));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffRoundTrip,
    testing::Values(RoundTrip{"Rgb5x3", 5, 3, 0, 3, false}, RoundTrip{"Rgb5x3Deflate", 5, 3, 0, 3, true},
                    RoundTrip{"Rgba2x2", 2, 2, 0, 4, false}, RoundTrip{"Rgba2x2Deflate", 2, 2, 0, 4, true},
                    RoundTrip{"YCbCr7x2", 7, 2, 1, 3, false}, RoundTrip{"YCbCr7x2Deflate", 7, 2, 1, 3, true},
                    RoundTrip{"FiveSamples", 3, 2, 0, 5, false}, RoundTrip{"Wide", 5000, 2, 0, 3, true},
                    RoundTrip{"HundredThousandRows", 1, 100000, 0, 3, false}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST(WriteToTif, EmptyImagesAndFailures)
{
    TempDir dir;
    TiffMessages messages;
    ImageConverterBuffer buffer;
    buffer.Init(4, 0, false, 0, 3);
    EXPECT_TRUE(WriteToTif(dir.File("empty.tif").c_str(), false, buffer)) << "height 0: no rows, success";

    buffer.Init(2, 2, false, 0, 3); // rows without pixels: refused before any file exists
    EXPECT_FALSE(WriteToTif(dir.File("nopixels.tif").c_str(), false, buffer));
    bool exists = true;
    qoxtest::ReadFile(dir.File("nopixels.tif"), &exists);
    EXPECT_FALSE(exists);

    Fill(buffer, 2, 2, 0, 3);
    EXPECT_FALSE(WriteToTif(dir.File("no/such/dir.tif").c_str(), false, buffer));
    EXPECT_FALSE(WriteToTif("/dev/full", false, buffer)); // the header cannot be written
}

TEST(WriteToTif, RowThatCannotBeWrittenFailsTheCall)
{
    // A file size limit lets the header through and stops the first row
    // (each test case runs in a process of its own).
    TempDir dir;
    ImageConverterBuffer buffer;
    Fill(buffer, 5000, 2, 0, 3);
    struct rlimit old, small;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    TiffMessages messages;
    bool written = WriteToTif(dir.File("limited.tif").c_str(), false, buffer);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    // Closing the partial file may add libtiff's own messages afterwards.
    const auto& errors = messages.mErrors;
    EXPECT_NE(std::find(errors.begin(), errors.end(), "WriteFile: failure in WriteScanline\n"), errors.end());
}

TEST(ReadFromTif, HandBuiltLayouts)
{
    TempDir dir;
    ImageConverterBuffer buffer;
    // Width 3, subsampling (2, 1): units of Y Y Cb Cr; the second unit's
    // second luma lies beyond the image, each chroma pair serves two pixels.
    std::string sub = Bytes({10, 11, 100, 200, 12, 99, 101, 201, 20, 21, 110, 210, 22, 99, 111, 211});
    EXPECT_EQ(ReadBack(dir,
                       TiffBuilder::Image(3, 2, PHOTOMETRIC_YCBCR, 3, 2)
                           .Short(TIFFTAG_YCBCRSUBSAMPLING, {2, 1})
                           .Strip(sub)
                           .Bytes(),
                       buffer),
              Bytes({10, 100, 200, 11, 100, 200, 12, 101, 201, 20, 110, 210, 21, 110, 210, 22, 111, 211}));
    EXPECT_EQ(buffer.mColorFormat, 1);
    // Without the subsampling tag (files written before it was) chroma is per pixel.
    std::string full = Bytes({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(ReadBack(dir, TiffBuilder::Image(2, 1, PHOTOMETRIC_YCBCR, 3, 1).Strip(full).Bytes(), buffer), full);
    // The source goes after a successful read only.
    std::string path = dir.File("in.tif");
    ASSERT_TRUE(ReadFromTif(path.c_str(), buffer, true));
    bool exists = true;
    qoxtest::ReadFile(path, &exists);
    EXPECT_FALSE(exists);
}

TEST(ReadFromTif, RejectsWhatItCannotRead)
{
    const std::string row(6, '\x11');
    const char* kUnsupported = "ReadFromTif: Image format not supported";
    const char* kCorrupted = "ReadFromTif: File is corrupted";
    struct Case
    {
        const char* name;
        TiffBuilder file;
        const char* message; // null: any message, libtiff's own included
    };
    const Case cases[] = {
        {"16-bit", TiffBuilder::Image(2, 1, 2, 3, 1).Short(TIFFTAG_BITSPERSAMPLE, {16, 16, 16}).Strip(row + row),
         kUnsupported},
        {"planes",
         TiffBuilder::Image(2, 1, 2, 3, 1).Short(TIFFTAG_PLANARCONFIG, {2}).Strip("ab").Strip("cd").Strip("ef"),
         kUnsupported},
        {"2x2", TiffBuilder::Image(2, 2, 6, 3, 2).Short(TIFFTAG_YCBCRSUBSAMPLING, {2, 2}).Strip(row), kUnsupported},
        {"4x1", TiffBuilder::Image(4, 1, 6, 3, 1).Short(TIFFTAG_YCBCRSUBSAMPLING, {4, 1}).Strip(row), nullptr},
        {"0x1", TiffBuilder::Image(4, 1, 6, 3, 1).Short(TIFFTAG_YCBCRSUBSAMPLING, {0, 1}).Strip(row + row), nullptr},
        {"palette", TiffBuilder::Image(2, 1, 3, 1, 1).Short(TIFFTAG_COLORMAP, std::vector<uint32_t>(768)).Strip("pp"),
         kUnsupported},
        {"grey", TiffBuilder::Image(2, 1, 1, 1, 1).Strip("gg"), kUnsupported},
        {"RGB of 2 samples", TiffBuilder::Image(2, 1, 2, 2, 1).Strip("abcd"), nullptr},
        {"YCbCr of 4", TiffBuilder::Image(2, 1, 6, 4, 1).Short(TIFFTAG_YCBCRSUBSAMPLING, {1, 1}).Strip(row), nullptr},
        {"huge", TiffBuilder::Image(100000, 100000, 2, 3, 1).Strip(row), "ReadFromTif: Image too large"},
        {"width beyond int", TiffBuilder::Image(0x80000000u, 1, 2, 3, 1).Strip(row), nullptr},
        {"short strip", TiffBuilder::Image(2, 1, 2, 3, 1).Strip("abc"), kCorrupted},
        {"strip beyond the file",
         TiffBuilder::Image(2, 1, 2, 3, 1).Long(TIFFTAG_STRIPOFFSETS, {100000}).Long(TIFFTAG_STRIPBYTECOUNTS, {6}),
         kCorrupted},
        {"too few strips", TiffBuilder::Image(2, 3, 2, 3, 1).Strip(row), nullptr},
    };
    TempDir dir;
    std::string path = dir.File("hostile.tif");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(qoxtest::WriteFile(path, c.file.Bytes()));
        TiffMessages messages;
        ImageConverterBuffer buffer;
        EXPECT_FALSE(ReadFromTif(path.c_str(), buffer, true));
        EXPECT_FALSE(buffer.mPixels);
        EXPECT_NE(messages.Last(), "");
        EXPECT_TRUE(!c.message || messages.Last() == c.message) << messages.Last();
        bool exists = false;
        qoxtest::ReadFile(path, &exists);
        EXPECT_TRUE(exists) << "a failed read keeps its source";
    }
    for (std::string junk : {std::string("II*\0\x08\0\0\0\0\0\0\0", 12), std::string("GIF89a")})
    {
        ImageConverterBuffer buffer;
        TiffMessages messages;
        EXPECT_EQ(ReadBack(dir, junk, buffer), "");
    }
}

TEST(ReadFromTif, EveryTruncationAndDamagedDeflateFail)
{
    std::string rows;
    for (int i = 0; i < 36; ++i)
        rows += char(i + 1);
    std::string whole = TiffBuilder::Image(4, 3, PHOTOMETRIC_RGB, 3, 1)
                            .Strip(rows.substr(0, 12))
                            .Strip(rows.substr(12, 12))
                            .Strip(rows.substr(24))
                            .Bytes();
    TempDir dir;
    TiffMessages messages;
    ImageConverterBuffer buffer;
    ASSERT_EQ(ReadBack(dir, whole, buffer), rows);
    for (size_t length = 0; length < whole.size(); ++length)
    {
        ImageConverterBuffer cut;
        EXPECT_EQ(ReadBack(dir, whole.substr(0, length), cut), "") << "cut at " << length;
        EXPECT_FALSE(cut.mPixels);
    }

    // A Deflate strip that is no zlib stream any more.
    std::string path = dir.File("damaged.tif");
    Fill(buffer, 64, 4, 0, 3);
    ASSERT_TRUE(WriteToTif(path.c_str(), true, buffer));
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint64_t* offsets = nullptr;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets));
    uint64_t offset = offsets[2];
    TIFFClose(tif);
    std::string bytes = qoxtest::ReadFile(path);
    std::memset(&bytes[offset], 0xFF, 4);
    messages.mErrors.clear();
    ImageConverterBuffer read;
    EXPECT_EQ(ReadBack(dir, bytes, read), "");
    EXPECT_EQ(messages.Last(), "ReadFromTif: File is corrupted");
}

// Another program cuts the file short while libtiff reads it through its
// mapping: the read fails with no image instead of ending the process, and
// the whole file still reads.
TEST(ReadFromTif, FileCutShortWhileReadFailsNotAFault)
{
    TempDir dir;
    TiffMessages messages;
    const std::string path = dir.File("cut.tif");
    ImageConverterBuffer image;
    Fill(image, 2048, 1024, 0, 3);
    ASSERT_TRUE(WriteToTif(path.c_str(), false, image));
    const std::string bytes = qoxtest::ReadFile(path);
    ASSERT_GT(bytes.size(), size_t(6) << 20);
    int cutShort = 0;
    for (int attempt = 0; attempt < 10 && cutShort == 0; ++attempt)
    {
        ASSERT_TRUE(qoxtest::WriteFile(path, bytes));
        messages.mErrors.clear();
        ImageConverterBuffer read;
        qoxtest::CutWhenMapped cutter(path, 4096);
        const bool whole = ReadFromTif(path.c_str(), read, false);
        cutter.Stop();
        if (whole)
        {
            EXPECT_EQ(Pixels(read), Pixels(image));
            continue;
        }
        ++cutShort;
        EXPECT_TRUE(cutter.Cut());
        EXPECT_FALSE(read.mPixels);
        EXPECT_FALSE(messages.mErrors.empty());
    }
    EXPECT_EQ(cutShort, 1);
    ASSERT_TRUE(qoxtest::WriteFile(path, bytes));
    ImageConverterBuffer again;
    ASSERT_TRUE(ReadFromTif(path.c_str(), again, false));
    EXPECT_EQ(Pixels(again), Pixels(image));
}

TEST(IsCompressedTif, ByExtensionAndCompression)
{
    TempDir dir;
    ImageConverterBuffer buffer;
    Fill(buffer, 3, 3, 0, 3);
    struct Case
    {
        const char* name;
        bool compress, expected;
    };
    // png and bak hold compressed TIFFs too, but only tif and tiff are opened.
    const Case cases[] = {
        {"a.tiff", true, true}, {"b.TIF", false, false}, {"c.png", true, false}, {"d.tif.bak", true, false}};
    for (const Case& c : cases)
    {
        ASSERT_TRUE(WriteToTif(dir.File(c.name).c_str(), c.compress, buffer));
        EXPECT_EQ(IsCompressedTif(dir.File(c.name).c_str()), c.expected) << c.name;
    }
    TiffMessages messages;
    EXPECT_FALSE(IsCompressedTif(dir.File("missing.tif").c_str()));
}

TEST(ExpandYCrCb, ConvertsToRgbWithReferenceValues)
{
    // Worked by hand: y = 1.164 (Y - r0); first = y + 2.018 (C2 - r4),
    // second = y - 0.813 (C1 - r2) - 0.391 (C2 - r4), third = y + 1.596 (C1 - r2),
    // each clamped to [0, 255] and truncated.
    struct Case
    {
        unsigned char y, c1, c2;
        bool studio;
        int out[3];
    };
    const Case cases[] = {
        {128, 128, 128, false, {148, 148, 148}}, // 148.992 each
        {0, 0, 255, false, {255, 54, 0}},        // 256.286, 54.407, -204.288
        {16, 128, 128, true, {0, 0, 0}},         // studio black
        {235, 128, 128, true, {254, 254, 254}},  // 1.164 * 219 = 254.916
        {100, 200, 50, true, {0, 69, 212}},      // -59.628, 69.738, 212.688
    };
    float studio[6] = {16, 235, 128, 240, 128, 240};
    for (const Case& c : cases)
    {
        unsigned char unit[3] = {c.y, c.c1, c.c2}, out[3] = {};
        ExpandYCrCb(unit, out, 1, 1, c.studio ? studio : nullptr, true);
        EXPECT_EQ(std::vector<int>(out, out + 3), std::vector<int>(c.out, c.out + 3)) << int(c.y);
    }
    unsigned char unit[4] = {1, 2, 3, 4}, out[3] = {9, 9, 9};
    ExpandYCrCb(unit, out, 1, 0, nullptr, false); // no step: nothing written, no endless loop
    EXPECT_EQ(out[0], 9);
}
