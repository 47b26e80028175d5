// The TIFF files written here against libtiff's own tools, and files those
// tools write read back here. Each case is skipped when a tool is absent.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "common/qox_test_common.h"
#include "common/qox_test_run.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/tiff_test_util.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;

namespace {

#define REQUIRE_TOOLS(...)                                                                                             \
    for (std::string tool : {__VA_ARGS__})                                                                             \
        if (!qoxtest::HaveProgram(tool))                                                                               \
    GTEST_SKIP() << tool << " is not installed"

// Runs the command (words split at blanks, no shell) in the directory: its
// exit status; stdout and stderr in *output.
int RunTool(const TempDir& dir, const std::string& command, std::string* output)
{
    qoxtest::Command run;
    std::istringstream words(command);
    for (std::string word; words >> word;)
        run.mArguments.push_back(word);
    run.mFolder = dir.Path();
    run.mErrorsToOutput = true;
    const qoxtest::Outcome outcome = qoxtest::Run(run);
    *output = outcome.mOut;
    return outcome.mExit;
}

bool Has(const std::string& output, const std::string& text)
{
    return output.find(text) != std::string::npos;
}

std::string Pixels(const ImageConverterBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.mPixels.get()), size_t(buffer.GetPixelByteCount()));
}

} // namespace

TEST(TiffTools, WrittenFilesReadCleanlyInLibtiffTools)
{
    REQUIRE_TOOLS("tiffinfo", "tiffdump", "tiffcmp", "tiffcp");
    const struct
    {
        const char* name;
        int width, height, format, bytes;
        const char* line; // a line tiffinfo must print
    } cases[] = {{"rgb", 5, 3, 0, 3, "Photometric Interpretation: RGB color"},
                 {"rgba", 4, 2, 0, 4, "Extra Samples: 1<assoc-alpha>"},
                 {"ycbcr", 7, 3, 1, 3, "YCbCr Subsampling: 1, 1"}};
    TempDir dir;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ImageConverterBuffer buffer;
        buffer.Init(c.width, c.height, true, c.format, char(c.bytes));
        for (long long i = 0; i < buffer.GetPixelByteCount(); ++i)
            buffer.mPixels[i] = static_cast<unsigned char>(40 + (i * 13) % 170);
        std::string plain = std::string(c.name) + ".tif", packed = std::string(c.name) + "_zip.tif", out;
        ASSERT_TRUE(WriteToTif(dir.File(plain).c_str(), false, buffer));
        ASSERT_TRUE(WriteToTif(dir.File(packed).c_str(), true, buffer));
        for (const std::string& file : {plain, packed})
        {
            EXPECT_EQ(RunTool(dir, "tiffinfo -D " + file, &out), 0) << out; // -D decodes the data too
            EXPECT_FALSE(Has(out, "rror") || Has(out, "arning")) << out;
            EXPECT_TRUE(
                Has(out, "Image Width: " + std::to_string(c.width) + " Image Length: " + std::to_string(c.height)))
                << out;
            EXPECT_TRUE(Has(out, "Samples/Pixel: " + std::to_string(c.bytes)) && Has(out, c.line)) << out;
            EXPECT_EQ(RunTool(dir, "tiffdump " + file, &out), 0) << out;
            EXPECT_FALSE(Has(out, "rror")) << out;
        }
        // libtiff undoes the compression to exactly the plain file's tags and pixels.
        EXPECT_EQ(RunTool(dir, "tiffcp -c none " + packed + " unpacked.tif", &out), 0) << out;
        EXPECT_EQ(RunTool(dir, "tiffcmp " + plain + " unpacked.tif", &out), 0) << out;
        EXPECT_EQ(out, "");
    }
}

TEST(TiffTools, FilesWrittenByToolsReadBack)
{
    REQUIRE_TOOLS("raw2tiff", "tiffcp");
    TempDir dir;
    std::string raw, out;
    for (int i = 0; i < 6 * 5 * 3; ++i)
        raw += char((i * 11 + 5) & 0xFF);
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("image.raw"), raw));
    ASSERT_EQ(RunTool(dir, "raw2tiff -w 6 -l 5 -b 3 -d byte -p rgb -c none image.raw plain.tif", &out), 0) << out;
    for (std::string options : {"", "-c lzw", "-c lzw:2", "-c zip", "-c packbits", "-r 2", "-f lsb2msb"})
    {
        SCOPED_TRACE(options);
        ASSERT_EQ(RunTool(dir, "tiffcp " + options + " plain.tif copy.tif", &out), 0) << out;
        ImageConverterBuffer buffer;
        ASSERT_TRUE(ReadFromTif(dir.File("copy.tif").c_str(), buffer, false));
        EXPECT_EQ(buffer.mWidth * 10 + buffer.mHeight, 65);
        EXPECT_EQ(buffer.mColorFormat * 10 + buffer.mBytesPerPixel, 3);
        EXPECT_EQ(Pixels(buffer), raw);
        EXPECT_EQ(IsCompressedTif(dir.File("copy.tif").c_str()), options.find("-c") == 0);
    }
    // Separate planes are refused rather than read as if contiguous.
    ASSERT_EQ(RunTool(dir, "tiffcp -p separate plain.tif separate.tif", &out), 0) << out;
    qoxtest::TiffMessages messages;
    ImageConverterBuffer buffer;
    EXPECT_FALSE(ReadFromTif(dir.File("separate.tif").c_str(), buffer, false));
    EXPECT_EQ(messages.Last(), "ReadFromTif: Image format not supported");
}

TEST(TiffTools, YCbCrIsDecodedByLibtiffAsWritten)
{
    // libtiff's RGBA decoding with the written subsampling (1, 1) and its
    // default full-range reference: R = Y + 1.402 Cr', G = Y - 0.34414 Cb' -
    // 0.71414 Cr', B = Y + 1.772 Cb', with Cb' = Cb - 128 and Cr' = Cr - 128.
    REQUIRE_TOOLS("tiff2rgba");
    TempDir dir;
    ImageConverterBuffer ycbcr;
    ycbcr.Init(5, 3, true, 1, 3);
    for (int p = 0; p < 15; ++p)
    {
        ycbcr.mPixels[3 * p + 0] = static_cast<unsigned char>(60 + 9 * p);
        ycbcr.mPixels[3 * p + 1] = static_cast<unsigned char>(128 + (p % 3) * 10);
        ycbcr.mPixels[3 * p + 2] = static_cast<unsigned char>(128 - (p % 4) * 8);
    }
    ASSERT_TRUE(WriteToTif(dir.File("ycbcr.tif").c_str(), false, ycbcr));
    std::string out;
    ASSERT_EQ(RunTool(dir, "tiff2rgba -c none ycbcr.tif rgba.tif", &out), 0) << out;
    ImageConverterBuffer rgba;
    ASSERT_TRUE(ReadFromTif(dir.File("rgba.tif").c_str(), rgba, false));
    ASSERT_EQ(rgba.GetPixelByteCount(), 5 * 3 * 4);
    for (int p = 0; p < 15; ++p)
    {
        double y = ycbcr.mPixels[3 * p], cb = ycbcr.mPixels[3 * p + 1] - 128.0, cr = ycbcr.mPixels[3 * p + 2] - 128.0;
        const double rgb[3] = {y + 1.402 * cr, y - 0.34414 * cb - 0.71414 * cr, y + 1.772 * cb};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(rgba.mPixels[4 * p + k], rgb[k], 2.0) << "pixel " << p << " channel " << k;
    }
}
