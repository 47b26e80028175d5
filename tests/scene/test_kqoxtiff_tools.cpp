// The TIFF files written here against libtiff's own tools, and files those
// tools write read back here. Each case is skipped when its tool is absent.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "common/qox_test_common.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/tiff_test_util.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;

namespace {

bool HaveTool(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " > /dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOLS(...)                                                                                             \
    for (const char* tool : {__VA_ARGS__})                                                                             \
        if (!HaveTool(tool))                                                                                           \
    GTEST_SKIP() << tool << " is not installed"

// Runs the command in the directory; its exit status, with stdout and stderr
// together in *output.
int RunTool(const TempDir& dir, const std::string& command, std::string* output)
{
    std::string log = dir.File("tool.log");
    int status = std::system(("cd '" + dir.Path() + "' && " + command + " > '" + log + "' 2>&1").c_str());
    *output = qoxtest::ReadFile(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Fill(ImageConverterBuffer& buffer, int width, int height, int format, int bytes)
{
    buffer.Init(width, height, true, format, char(bytes));
    for (long long i = 0; i < buffer.GetPixelByteCount(); ++i)
        buffer.mPixels[i] = static_cast<unsigned char>(40 + (i * 13) % 170);
}

std::string Pixels(const ImageConverterBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.mPixels.get()), size_t(buffer.GetPixelByteCount()));
}

bool HasErrorLine(const std::string& output)
{
    return output.find("rror") != std::string::npos || output.find("arning") != std::string::npos;
}

} // namespace

TEST(TiffTools, WrittenFilesReadCleanlyInLibtiffTools)
{
    REQUIRE_TOOLS("tiffinfo", "tiffdump", "tiffcmp");
    struct Case
    {
        const char* name;
        int width, height, format, bytes;
        const char* expectLine; // a line tiffinfo must print
    };
    const Case cases[] = {
        {"rgb", 5, 3, 0, 3, "Photometric Interpretation: RGB color"},
        {"rgba", 4, 2, 0, 4, "Extra Samples: 1<assoc-alpha>"},
        {"ycbcr", 7, 3, 1, 3, "YCbCr Subsampling: 1, 1"},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ImageConverterBuffer buffer;
        Fill(buffer, c.width, c.height, c.format, c.bytes);
        std::string plain = std::string(c.name) + ".tif", packed = std::string(c.name) + "_zip.tif";
        ASSERT_TRUE(WriteToTif(dir.File(plain).c_str(), false, buffer));
        ASSERT_TRUE(WriteToTif(dir.File(packed).c_str(), true, buffer));

        std::string out;
        for (const std::string& file : {plain, packed})
        {
            EXPECT_EQ(RunTool(dir, "tiffinfo -D " + file, &out), 0) << out;
            EXPECT_FALSE(HasErrorLine(out)) << out;
            EXPECT_NE(
                out.find("Image Width: " + std::to_string(c.width) + " Image Length: " + std::to_string(c.height)),
                std::string::npos)
                << out;
            EXPECT_NE(out.find("Samples/Pixel: " + std::to_string(c.bytes)), std::string::npos) << out;
            EXPECT_NE(out.find(c.expectLine), std::string::npos) << out;
            EXPECT_EQ(RunTool(dir, "tiffdump " + file, &out), 0) << out;
            EXPECT_FALSE(HasErrorLine(out)) << out;
            EXPECT_NE(out.find("RowsPerStrip (278)"), std::string::npos) << out;
        }
        // libtiff decodes the compressed file to the plain one: same tags
        // and pixels once tiffcp has undone the compression.
        std::string unpacked = std::string(c.name) + "_unpacked.tif";
        EXPECT_EQ(RunTool(dir, "tiffcp -c none " + packed + " " + unpacked, &out), 0) << out;
        EXPECT_EQ(RunTool(dir, "tiffcmp " + plain + " " + unpacked, &out), 0) << out;
        EXPECT_EQ(out, "");
    }
}

TEST(TiffTools, FilesWrittenByToolsReadBack)
{
    REQUIRE_TOOLS("raw2tiff", "tiffcp");
    TempDir dir;
    const int width = 6, height = 5;
    std::string raw;
    for (int i = 0; i < width * height * 3; ++i)
        raw += char((i * 11 + 5) & 0xFF);
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("image.raw"), raw));
    std::string out;
    ASSERT_EQ(RunTool(dir, "raw2tiff -w 6 -l 5 -b 3 -d byte -p rgb -c none image.raw plain.tif", &out), 0) << out;

    struct Case
    {
        const char* name;
        const char* options; // tiffcp options from plain.tif; null: plain.tif itself
    };
    const Case cases[] = {
        {"plain.tif", nullptr},
        {"lzw.tif", "-c lzw"},
        {"zip.tif", "-c zip"},
        {"packbits.tif", "-c packbits"},
        {"strips2.tif", "-r 2"},
        {"lsb.tif", "-f lsb2msb"},
        {"lzw_predictor.tif", "-c lzw:2"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        if (c.options)
        {
            ASSERT_EQ(RunTool(dir, std::string("tiffcp ") + c.options + " plain.tif " + c.name, &out), 0) << out;
        }
        ImageConverterBuffer buffer;
        ASSERT_TRUE(ReadFromTif(dir.File(c.name).c_str(), buffer, false));
        EXPECT_EQ(buffer.mWidth, width);
        EXPECT_EQ(buffer.mHeight, height);
        EXPECT_EQ(buffer.mBytesPerPixel, 3);
        EXPECT_EQ(buffer.mColorFormat, 0);
        EXPECT_EQ(Pixels(buffer), raw);
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
    // libtiff's RGBA decoding takes the written subsampling (1, 1) and its
    // default full-range reference: R = Y + 1.402 (Cr - 128),
    // G = Y - 0.34414 (Cb - 128) - 0.71414 (Cr - 128), B = Y + 1.772 (Cb - 128).
    REQUIRE_TOOLS("tiff2rgba");
    TempDir dir;
    const int width = 5, height = 3;
    ImageConverterBuffer ycbcr;
    ycbcr.Init(width, height, true, 1, 3);
    for (int p = 0; p < width * height; ++p)
    {
        ycbcr.mPixels[3 * p + 0] = static_cast<unsigned char>(60 + 9 * p);         // Y
        ycbcr.mPixels[3 * p + 1] = static_cast<unsigned char>(128 + (p % 3) * 10); // Cb
        ycbcr.mPixels[3 * p + 2] = static_cast<unsigned char>(128 - (p % 4) * 8);  // Cr
    }
    ASSERT_TRUE(WriteToTif(dir.File("ycbcr.tif").c_str(), false, ycbcr));
    std::string out;
    ASSERT_EQ(RunTool(dir, "tiff2rgba -c none ycbcr.tif rgba.tif", &out), 0) << out;

    ImageConverterBuffer rgba;
    ASSERT_TRUE(ReadFromTif(dir.File("rgba.tif").c_str(), rgba, false));
    ASSERT_EQ(rgba.mWidth, width);
    ASSERT_EQ(rgba.mHeight, height);
    ASSERT_EQ(rgba.mBytesPerPixel, 4);
    for (int p = 0; p < width * height; ++p)
    {
        double y = ycbcr.mPixels[3 * p], cb = ycbcr.mPixels[3 * p + 1] - 128.0, cr = ycbcr.mPixels[3 * p + 2] - 128.0;
        const double expected[3] = {y + 1.402 * cr, y - 0.34414 * cb - 0.71414 * cr, y + 1.772 * cb};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(rgba.mPixels[4 * p + k], expected[k], 2.0) << "pixel " << p << " channel " << k;
        EXPECT_EQ(rgba.mPixels[4 * p + 3], 255);
    }
}
