// The image-converter registry: extension rules, first registration wins,
// removal by function, and the manager's converter list.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "scene/attributes/kqoximageconverter.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

// Each converter records its call and answers with its own result.
std::string gCalls;

int Succeeds(int mode, KString& name, ImageConverterBuffer&)
{
    gCalls += "ok" + std::to_string(mode) + ":" + name.ToChars() + ";";
    return 0;
}

int Fails(int mode, KString&, ImageConverterBuffer&)
{
    gCalls += "fail" + std::to_string(mode) + ";";
    return 1;
}

// Replaces the file name, as the host's converters do.
int Renames(int, KString& name, ImageConverterBuffer& buffer)
{
    buffer.SetOriginalFileName(name);
    name = "/tmp/texfile1.tif";
    return 0;
}

class ImageConverterTest : public ::testing::Test
{
protected:
    ImageConverterTest()
        : mManager(new KQoxSdkManager)
        , mConverter(mManager->CreateKQoxImageConverter())
    {
        gCalls.clear();
    }

    bool Convert(const char* name, int mode = 0)
    {
        KString file(name);
        ImageConverterBuffer buffer;
        return mConverter->Convert(mode, file, buffer);
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxImageConverter* mConverter;
};

} // namespace

TEST_F(ImageConverterTest, ExtensionRules)
{
    mConverter->RegisterConverterFunction("tif", &Succeeds);
    mConverter->RegisterConverterFunction("TIF", &Fails); // same key without regard to case: ignored
    mConverter->RegisterConverterFunction("jpg", &Fails);
    mConverter->RegisterConverterFunction("png", nullptr);
    struct Case
    {
        const char* name;
        bool result;
        const char* calls;
    };
    const Case cases[] = {
        {"image.tif", true, "ok0:image.tif;"},
        {"image.TIF", true, "ok0:image.TIF;"},
        {"a.b/image.Tif", true, "ok0:a.b/image.Tif;"},
        {"photo.jpg", false, "fail0;"}, // the function's failure
        {"dir.old/file", false, ""},    // the only dot is in a directory name
        {"dir.old\\file", false, ""},
        {"image.", false, ""}, // empty extension
        {"image", false, ""},
        {"image.png", false, ""}, // a null function was never registered
        {"image.tif.bak", false, ""},
    };
    for (const Case& c : cases)
    {
        gCalls.clear();
        EXPECT_EQ(Convert(c.name), c.result) << c.name;
        EXPECT_EQ(gCalls, c.calls) << c.name;
    }
    gCalls.clear();
    EXPECT_TRUE(Convert("x.tiff.tif", 1));
    EXPECT_EQ(gCalls, "ok1:x.tiff.tif;");
}

TEST_F(ImageConverterTest, TheFunctionMayReplaceTheFileName)
{
    mConverter->RegisterConverterFunction("jpg", &Renames);
    KString file("/textures/wood.jpg");
    ImageConverterBuffer buffer;
    EXPECT_TRUE(mConverter->Convert(0, file, buffer));
    EXPECT_STREQ(file.ToChars(), "/tmp/texfile1.tif");
    EXPECT_STREQ(buffer.mOriginalFileName.ToChars(), "/textures/wood.jpg");
}

TEST_F(ImageConverterTest, UnregisterRemovesOneEntryPerCallInSortedOrder)
{
    for (const char* extension : {"tif", "bmp", "tiff", "gif"})
        mConverter->RegisterConverterFunction(extension, &Succeeds);
    mConverter->RegisterConverterFunction("jpg", &Fails);
    mConverter->UnregisterConverterFunction(nullptr);
    mConverter->UnregisterConverterFunction(&Renames); // never registered
    // Sorted: bmp, gif, jpg, tif, tiff. The first holder of the function goes.
    mConverter->UnregisterConverterFunction(&Succeeds);
    EXPECT_FALSE(Convert("a.bmp"));
    EXPECT_TRUE(Convert("a.gif"));
    mConverter->UnregisterConverterFunction(&Succeeds);
    EXPECT_FALSE(Convert("a.gif"));
    EXPECT_TRUE(Convert("a.tif"));
    EXPECT_TRUE(Convert("a.tiff"));
    // An extension freed by removal takes a new function.
    mConverter->RegisterConverterFunction("bmp", &Fails);
    gCalls.clear();
    EXPECT_FALSE(Convert("a.bmp"));
    EXPECT_EQ(gCalls, "fail0;");
}

TEST_F(ImageConverterTest, ManyExtensionsAndTheManagersList)
{
    // Registry growth well past its block of 20 entries.
    for (int i = 0; i < 1000; ++i)
        mConverter->RegisterConverterFunction(("e" + std::to_string(i)).c_str(), (i % 2) ? &Fails : &Succeeds);
    EXPECT_TRUE(Convert("x.e998"));
    EXPECT_FALSE(Convert("x.E999"));

    EXPECT_EQ(mManager->GetKQoxImageConverterCount(), 1);
    EXPECT_EQ(mManager->GetKQoxImageConverter(0), mConverter);
    EXPECT_EQ(mManager->GetKQoxImageConverter(1), nullptr);
    EXPECT_EQ(&mConverter->GetSdkManager(), mManager.get());
    KQoxImageConverter* second = mManager->CreateKQoxImageConverter();
    mManager->Clear(); // leaves the converters listed
    EXPECT_EQ(mManager->GetKQoxImageConverterCount(), 2);
    EXPECT_TRUE(mManager->DestroyKQoxImageConverter(second));
    EXPECT_FALSE(mManager->DestroyKQoxImageConverter(second));
    EXPECT_STREQ(mManager->GetLastErrorString(), "Object not found");
    // The first goes with the manager.
}
