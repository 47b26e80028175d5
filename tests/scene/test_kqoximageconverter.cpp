// The image-converter registry: extension rules, first registration wins,
// removal by function, and the manager's converter list.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "scene/attributes/kqoximageconverter.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

std::string gCalls; // what the converters saw

int Succeeds(int mode, KString& name, ImageConverterBuffer&)
{
    gCalls += "ok" + std::to_string(mode) + ":" + name.ToChars() + ";";
    return 0;
}

int Fails(int, KString&, ImageConverterBuffer&)
{
    gCalls += "fail;";
    return 1;
}

// Replaces the file name, as the host's converters do.
int Renames(int, KString& name, ImageConverterBuffer&)
{
    name = "/tmp/texfile1.tif";
    return 0;
}

bool Convert(KQoxImageConverter* converter, const char* name)
{
    KString file(name);
    ImageConverterBuffer buffer;
    gCalls.clear();
    return converter->Convert(1, file, buffer);
}

} // namespace

TEST(KQoxImageConverter, ExtensionRulesAndRemoval)
{
    KQoxSdkManager manager;
    KQoxImageConverter* converter = manager.CreateKQoxImageConverter();
    converter->RegisterConverterFunction("tif", &Succeeds);
    converter->RegisterConverterFunction("TIF", &Fails); // the same key without regard to case: ignored
    converter->RegisterConverterFunction("jpg", &Fails);
    converter->RegisterConverterFunction("png", nullptr);
    const std::pair<const char*, const char*> cases[] = {{"image.TIF", "ok1:image.TIF;"},
                                                         {"a.b/image.Tif", "ok1:a.b/image.Tif;"},
                                                         {"photo.jpg", "fail;"},
                                                         {"dir.old/file", ""},
                                                         {"dir.old\\file", ""},
                                                         {"image.", ""},
                                                         {"image", ""},
                                                         {"image.png", ""},
                                                         {"image.tif.bak", ""}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(Convert(converter, c.first), std::string(c.second).rfind("ok", 0) == 0) << c.first;
        EXPECT_EQ(gCalls, c.second) << c.first;
    }

    // Removal: the first holder in sorted order (bmp, gif, jpg, tif, tiff), one per call.
    for (const char* extension : {"bmp", "tiff", "gif"})
        converter->RegisterConverterFunction(extension, &Succeeds);
    converter->UnregisterConverterFunction(nullptr);
    converter->UnregisterConverterFunction(&Renames); // never registered
    converter->UnregisterConverterFunction(&Succeeds);
    EXPECT_FALSE(Convert(converter, "a.bmp"));
    EXPECT_TRUE(Convert(converter, "a.gif"));
    converter->UnregisterConverterFunction(&Succeeds);
    EXPECT_FALSE(Convert(converter, "a.gif"));
    EXPECT_TRUE(Convert(converter, "a.tif"));
    converter->RegisterConverterFunction("bmp", &Renames); // a freed extension takes a new function
    KString file("/maps/wood.bmp");
    ImageConverterBuffer buffer;
    EXPECT_TRUE(converter->Convert(0, file, buffer));
    EXPECT_STREQ(file.ToChars(), "/tmp/texfile1.tif");
}

TEST(KQoxImageConverter, ManyExtensionsAndTheManagersList)
{
    auto manager = std::make_unique<KQoxSdkManager>();
    KQoxImageConverter* converter = manager->CreateKQoxImageConverter();
    for (int i = 0; i < 1000; ++i) // far past the registry's block of 20
        converter->RegisterConverterFunction(("e" + std::to_string(i)).c_str(), (i % 2) ? &Fails : &Succeeds);
    EXPECT_TRUE(Convert(converter, "x.e998"));
    EXPECT_FALSE(Convert(converter, "x.E999"));

    EXPECT_EQ(manager->GetKQoxImageConverter(0), converter);
    EXPECT_EQ(&converter->GetSdkManager(), manager.get());
    KQoxImageConverter* second = manager->CreateKQoxImageConverter();
    manager->Clear(); // leaves the converters listed
    EXPECT_EQ(manager->GetKQoxImageConverterCount(), 2);
    EXPECT_TRUE(manager->DestroyKQoxImageConverter(second));
    EXPECT_FALSE(manager->DestroyKQoxImageConverter(second));
    EXPECT_STREQ(manager->GetLastErrorString(), "Object not found");
    manager.reset(); // the first goes with the manager
}
