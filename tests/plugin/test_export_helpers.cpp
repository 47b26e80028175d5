// The layer mapping record, the focal-length modifier and the host image
// converters.
#include "plugin_test_util.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "base/kpath.h"
#include "host/zimage.h"
#include "plugin/export/klayermapping.h"
#include "plugin/export/qoxmodifier.h"
#include "plugin/export/qoxzeltimageconverters.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

using Keys = std::vector<unsigned int>;

template <class T>
std::vector<T> Items(const KArrayTemplate<T>& array)
{
    std::vector<T> out;
    for (int i = 0; i < array.GetCount(); ++i)
        out.push_back(array[i]);
    return out;
}

TEST(LayerMapping, WorkedExamples)
{
    typedef KQoxLayerElement L;
    KLayerMapping fresh(12, L::eALL_SAME, L::eBY_POLYGON, L::eALL_SAME);
    EXPECT_FALSE(fresh.hasData);
    EXPECT_EQ(fresh.layers.GetCount() + fresh.keys.GetCount() + fresh.repeats.GetCount(), 0);
    EXPECT_EQ(fresh.objects.length(), 0u);
    EXPECT_EQ(fresh.materialIndex, -1);
    EXPECT_EQ(fresh.polygonCount, 12);
    EXPECT_EQ(fresh.perPolygonTextureMapping, L::eBY_POLYGON);
    EXPECT_TRUE(fresh.hostObject.isNull());

    ZObject first, second;
    KLayerMapping same(0, L::eALL_SAME, L::eALL_SAME, L::eALL_SAME);
    same.AddData(0, 2, first);
    same.AddData(0, 2, second);
    same.AddData(0, 2, second);
    EXPECT_TRUE(same.hasData);
    EXPECT_EQ(Items(same.layers), Keys{0});
    EXPECT_EQ(Items(same.keys), Keys{2});
    EXPECT_EQ(Items(same.repeats), std::vector<int>{2});
    EXPECT_EQ(same.objects.length(), 1u);

    KLayerMapping mixed(4, L::eALL_SAME, L::eBY_POLYGON, L::eALL_SAME);
    for (auto pair : {std::make_pair(0, 2), std::make_pair(1, 2), std::make_pair(0, -1), std::make_pair(1, -1)})
        mixed.AddData(pair.first, pair.second, first);
    EXPECT_EQ(Items(mixed.layers), (Keys{0, 1}));
    EXPECT_EQ(Items(mixed.keys), (Keys{2, 1026, 0xffffffffu}));
    EXPECT_EQ(Items(mixed.repeats), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(mixed.objects.length(), 3u);
    EXPECT_EQ(KLayerMapping::TextureOfKey(1026), 2);
    EXPECT_EQ(KLayerMapping::TextureOfKey(0xffffffffu), -1);
    EXPECT_EQ(KLayerMapping::TextureOfKey(0), 0);
}

TEST(LayerMapping, TexturesBeyondTheKeyRangeAreRefused)
{
    typedef KQoxLayerElement L;
    KLayerMapping mapping(0, L::eALL_SAME, L::eALL_SAME, L::eALL_SAME);
    ZObject object;
    EXPECT_TRUE(mapping.AddData(0, 1023, object));
    // 1024 on layer 0 would be layer 1's texture 0.
    EXPECT_FALSE(mapping.AddData(0, 1024, object));
    EXPECT_FALSE(mapping.AddData(3, std::numeric_limits<int>::max(), object));
    EXPECT_TRUE(mapping.AddData(1, 0, object));
    EXPECT_EQ(Items(mapping.keys), (Keys{1023, 1024}));
    EXPECT_EQ(Items(mapping.repeats), (std::vector<int>{0, 0}));
}

TEST(ArrayFindAfter, BoundsAndStart)
{
    KArrayTemplate<unsigned int> empty;
    EXPECT_EQ(empty.FindAfter(-1, 0u), -1);
    KArrayTemplate<unsigned int> items;
    for (unsigned int v : {4u, 7u, 4u})
        items.Add(v);
    const struct
    {
        int mAfter;
        unsigned int mValue;
        int mExpected;
    } rows[] = {{-1, 4u, 0},
                {0, 4u, 2},
                {2, 4u, -1},
                {5, 4u, -1},
                {-1, 9u, -1},
                {-7, 4u, 0},
                {std::numeric_limits<int>::max(), 4u, -1},
                {std::numeric_limits<int>::min(), 7u, 1}};
    for (const auto& row : rows)
        EXPECT_EQ(items.FindAfter(row.mAfter, row.mValue), row.mExpected) << row.mAfter << " " << row.mValue;
}

TEST(Modifiers, FocalLengthToFieldOfView)
{
    QoxModifier identity;
    EXPECT_EQ(identity.Modify(7), 7);
    EXPECT_EQ(identity.Modify(-2.5f), -2.5f);
    EXPECT_EQ(identity.Modify(-2.5), -2.5);
    EXPECT_EQ(identity.Modify(0xffffffffu), 0xffffffffu);

    QoxFocalLengthToFOVModifier fov;
    fov.mApertureWidth = 1.41732 * 25.4; // 35.999928 mm
    fov.mApertureHeight = 0.94488 * 25.4;
    fov.mSqueezeRatio = 1.0;
    fov.mApertureMode = 1;
    const double horizontal = 2.0 * std::atan(35.999928 / 35.0 * 0.5) * 57.29577951308232;
    EXPECT_NEAR(fov.Modify(35.0), 54.432, 5e-4);
    EXPECT_DOUBLE_EQ(fov.Modify(35.0), horizontal);
    EXPECT_EQ(fov.Modify(35), 54);
    EXPECT_EQ(fov.Modify(35L), 54L);
    EXPECT_EQ(fov.Modify(35u), 54u);
    EXPECT_EQ(fov.Modify(35.0f), static_cast<float>(horizontal));
    EXPECT_DOUBLE_EQ(fov.Modify(0.0), 180.0); // a zero focal length is not guarded

    fov.mApertureMode = 2;
    fov.mSqueezeRatio = 5.0; // plays no part vertically
    EXPECT_NEAR(fov.Modify(35.0), 37.849, 5e-4);

    fov.mApertureMode = 1;
    fov.mSqueezeRatio = 2.0;
    EXPECT_NEAR(fov.Modify(35.0), 91.614, 5e-4);

    // Extreme arguments stay inside the integer types.
    EXPECT_EQ(fov.Modify(0), 180);
    EXPECT_EQ(fov.Modify(std::numeric_limits<int>::max()), 0);
    EXPECT_EQ(fov.Modify(-35), -91);
    EXPECT_TRUE(std::isnan(fov.Modify(std::nan(""))));
    fov.mApertureWidth = std::nan("");
    EXPECT_EQ(fov.Modify(35), 0);
    EXPECT_EQ(fov.Modify(35u), 0u);
}

class ImageConverterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KLib_SetConfigDirectory((mDir.Path() + "/").c_str());
        const char* old = getenv("TMPDIR");
        mOldTemp = old ? old : "";
        setenv("TMPDIR", mDir.Path().c_str(), 1);
    }
    void TearDown() override
    {
        QoxZeltUserParams::ReleaseInstance();
        if (mOldTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", mOldTemp.c_str(), 1);
    }
    static void SetConvert(bool on) { QoxZeltUserParams::Instance().SetBoolParam(8, on); }

    // A 3 x 2 picture: pixel (x, y) holds x, y, 10 * y + x, 255.
    std::string WritePicture(const std::string& name)
    {
        std::vector<unsigned char> pixels;
        for (unsigned y = 0; y < 2; ++y)
            for (unsigned x = 0; x < 3; ++x)
                pixels.insert(pixels.end(), {static_cast<unsigned char>(x), static_cast<unsigned char>(y),
                                             static_cast<unsigned char>(10 * y + x), 255});
        ZImage image;
        EXPECT_TRUE(image.setPixels(pixels.data(), 3, 2));
        EXPECT_TRUE(image.writeToFile(ZString(mDir.File(name)), "tif"));
        return mDir.File(name);
    }

    qoxtest::TempDir mDir;
    std::string mOldTemp;
};

TEST_F(ImageConverterTest, ConversionOffKeepsThePicture)
{
    SetConvert(false);
    const std::string picture = WritePicture("wood.tif");
    for (auto convert : {Convert, ConvertTif})
    {
        KString name(picture.c_str());
        ImageConverterBuffer buffer;
        EXPECT_EQ(convert(0, name, buffer), 1);
        EXPECT_EQ(buffer.mPixels, nullptr);
        EXPECT_TRUE(buffer.mOriginalFormat);
        EXPECT_STREQ(buffer.mOriginalFileName.ToChars(), picture.c_str());
        EXPECT_STREQ(name.ToChars(), picture.c_str());
        EXPECT_EQ(convert(1, name, buffer), 1); // kept: nothing to write
        EXPECT_EQ(convert(2, name, buffer), 1);
    }
}

TEST_F(ImageConverterTest, ConversionOnReadsRowsBottomFirst)
{
    SetConvert(true);
    const std::string picture = WritePicture("wood.tif");
    KString name(picture.c_str());
    ImageConverterBuffer buffer;
    ASSERT_EQ(ConvertTif(0, name, buffer), 0);
    EXPECT_FALSE(buffer.mOriginalFormat);
    EXPECT_EQ(buffer.mWidth, 3);
    EXPECT_EQ(buffer.mHeight, 2);
    EXPECT_EQ(buffer.mBytesPerPixel, 4);
    ASSERT_NE(buffer.mPixels, nullptr);
    // Buffer row 0 is the picture's last row (y = 1).
    const unsigned char expected[] = {0, 1, 10, 255, 1, 1, 11, 255, 2, 1, 12, 255,
                                      0, 0, 0,  255, 1, 0, 1,  255, 2, 0, 2,  255};
    EXPECT_EQ(std::vector<unsigned char>(buffer.mPixels.get(), buffer.mPixels.get() + 24),
              std::vector<unsigned char>(expected, expected + 24));
    const std::string temp = name.ToChars();
    EXPECT_EQ(std::filesystem::path(temp).filename().string().rfind("texfile", 0), 0u) << temp;
    EXPECT_EQ(temp.substr(temp.size() - 4), ".tif");
    EXPECT_FALSE(std::filesystem::exists(temp)); // the caller writes it
    EXPECT_STREQ(buffer.mOriginalFileName.ToChars(), picture.c_str());

    // Mode 1 of the other converter: converted buffers succeed without files.
    EXPECT_EQ(Convert(1, name, buffer), 0);

    // A picture the host cannot read: failure, name untouched.
    KString jpeg(mDir.File("photo.jpg").c_str());
    ASSERT_TRUE(qoxtest::WriteFile(jpeg.ToChars(), "not a picture"));
    ImageConverterBuffer other;
    EXPECT_EQ(Convert(0, jpeg, other), 1);
    EXPECT_STREQ(jpeg.ToChars(), mDir.File("photo.jpg").c_str());
}

TEST_F(ImageConverterTest, CompressedTiffIsLeftAsItIs)
{
    SetConvert(true);
    ImageConverterBuffer source;
    source.Init(4, 4, true, 0, 4);
    ASSERT_NE(source.mPixels, nullptr);
    std::fill(source.mPixels.get(), source.mPixels.get() + 64, 7);
    ASSERT_TRUE(WriteToTif(KString(mDir.File("packed.tif").c_str()), true, source));
    KString name(mDir.File("packed.tif").c_str());
    ImageConverterBuffer buffer;
    EXPECT_EQ(ConvertTif(0, name, buffer), 1);
    EXPECT_TRUE(buffer.mOriginalFormat);
    EXPECT_EQ(buffer.mPixels, nullptr);
}

TEST_F(ImageConverterTest, ReadingBackWritesTheTiffAndStopsWhereTheFormatSays)
{
    SetConvert(true);
    const struct
    {
        const char* mSource;
        int mResult;
        bool mTiffStays;
    } rows[] = {
        {"/textures/wood.TIF", 0, true},                                   // TIFF already: done
        {"/textures/wood.tiff", 0, true}, {"/textures/wood.tga", 1, true}, // not a format to go back to
        {"/textures/wood", 1, true},                                       // no extension
        {"/textures/wood.jpg", 1, true},                                   // the host cannot write it here
    };
    int n = 0;
    for (const auto& row : rows)
    {
        const std::string stored = mDir.File("stored" + std::to_string(n++) + ".tif");
        KString name(stored.c_str());
        ImageConverterBuffer buffer;
        buffer.Init(2, 2, true, 0, 4);
        std::fill(buffer.mPixels.get(), buffer.mPixels.get() + 16, 200);
        buffer.SetOriginalFormat(false);
        buffer.SetOriginalFileName(KString(row.mSource));
        EXPECT_EQ(ConvertTif(1, name, buffer), row.mResult) << row.mSource;
        EXPECT_EQ(std::filesystem::exists(stored), row.mTiffStays) << row.mSource;
        EXPECT_STREQ(name.ToChars(), stored.c_str()) << row.mSource;
        ZImage back;
        EXPECT_TRUE(back.readFromFile(ZString(stored))) << row.mSource;
    }
}

TEST(ImageConverterFormats, TheFifteenFormatsATiffGoesBackTo)
{
    const std::vector<std::string> expected = {"als",  "gif", "iff", "jpg", "jpe", "jpeg", "jfif", "rgb",
                                               "rgba", "sgi", "pic", "rla", "bmp", "cin",  "yuv"};
    ASSERT_EQ(15, kSupportedFormatCount);
    std::vector<std::string> listed(supportedFormats, supportedFormats + kSupportedFormatCount);
    EXPECT_EQ(expected, listed);
    // Converted on writing, never restored.
    EXPECT_EQ(listed.end(), std::find(listed.begin(), listed.end(), "tga"));
}

TEST_F(ImageConverterTest, RegistrationAddsOneConverterPerCall)
{
    QoxZeltRegisterImageConverters(nullptr);
    KQoxSdkManager manager;
    QoxZeltRegisterImageConverters(&manager);
    QoxZeltRegisterImageConverters(&manager);
    ASSERT_EQ(manager.GetKQoxImageConverterCount(), 2);
    SetConvert(true);
    const std::string picture = WritePicture("grain.TIFF");
    KString name(picture.c_str());
    ImageConverterBuffer buffer;
    // Found by extension, whatever its case; the TIFF converter reads it.
    EXPECT_TRUE(manager.GetKQoxImageConverter(0)->Convert(0, name, buffer));
    EXPECT_EQ(buffer.mWidth, 3);
    KString unknown(mDir.File("a.png").c_str());
    EXPECT_FALSE(manager.GetKQoxImageConverter(0)->Convert(0, unknown, buffer));
}

} // namespace
