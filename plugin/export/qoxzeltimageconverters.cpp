#include "plugin/export/qoxzeltimageconverters.h"

#include <cstring>

#include "base/kfile.h"
#include "base/kpath.h"
#include "host/zimage.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

struct ConverterEntry
{
    const char* mExtension;
    KQoxImageConverterFunction mFunction;
};

const ConverterEntry kConverters[] = {
    {"als", Convert}, {"bmp", Convert},  {"cin", Convert},    {"gif", Convert},     {"iff", Convert},  {"jpg", Convert},
    {"jpe", Convert}, {"jpeg", Convert}, {"jfif", Convert},   {"rgb", Convert},     {"rgba", Convert}, {"sgi", Convert},
    {"pic", Convert}, {"tga", Convert},  {"tif", ConvertTif}, {"tiff", ConvertTif}, {"rla", Convert},  {"yuv", Convert},
};

bool IsSupported(const KString& extension)
{
    for (const char* format : supportedFormats)
        if (extension.Compare(format) == 0)
            return true;
    return false;
}

bool ConvertToTiff()
{
    return QoxZeltUserParams::Instance().GetBoolParam(KQoxUserParams::kExportConvert_2Tiff);
}

// Mode 0 of both converters once keep is known.
int Load(KString& fileName, ImageConverterBuffer& buffer, bool keep)
{
    buffer.Init(0, 0, false, 0, 4);
    buffer.SetOriginalFileName(fileName);
    buffer.SetOriginalFormat(keep);
    return keep ? 1 : FillBuffer(buffer, fileName);
}

} // namespace

const char* const supportedFormats[kSupportedFormatCount] = {"als",  "gif", "iff", "jpg", "jpe", "jpeg", "jfif", "rgb",
                                                             "rgba", "sgi", "pic", "rla", "bmp", "cin",  "yuv"};

void QoxZeltRegisterImageConverters(KQoxSdkManager* manager)
{
    if (!manager)
        return;
    KQoxImageConverter* converter = manager->CreateKQoxImageConverter();
    if (!converter)
        return;
    for (const ConverterEntry& entry : kConverters)
        converter->RegisterConverterFunction(KString(entry.mExtension), entry.mFunction);
}

int FillBuffer(ImageConverterBuffer& buffer, KString& fileName)
{
    ZImage image;
    if (!image.readFromFile(ZString(fileName.ToChars())))
        return 1;
    unsigned width = 0;
    unsigned height = 0;
    if (!image.getSize(width, height) || !image.pixels())
    {
        buffer.SetOriginalFormat(true);
        return 1;
    }
    buffer.Init(static_cast<int>(width), static_cast<int>(height), true, 0, 4);
    if (!buffer.mPixels)
    {
        buffer.SetOriginalFormat(true);
        return 1;
    }
    const size_t row = static_cast<size_t>(width) * 4;
    const unsigned char* pixels = image.pixels();
    for (unsigned y = 0; y < height; ++y)
        memcpy(buffer.mPixels.get() + y * row, pixels + (height - 1 - y) * row, row);

    char directory[256];
    if (GetTempPath(sizeof(directory), directory) == 0)
        directory[0] = '\0';
    fileName = GetTempName(directory, "texfile") + ".tif";
    return 0;
}

int Convert(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    if (mode == 0)
        return Load(fileName, buffer, !ConvertToTiff());
    if (mode == 1)
        return buffer.mOriginalFormat ? 1 : 0;
    return 1;
}

int ConvertTif(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    if (mode == 0)
        return Load(fileName, buffer, !ConvertToTiff() || IsCompressedTif(fileName));
    if (mode != 1 || buffer.mOriginalFormat)
        return 1;
    int result = WriteToTif(fileName, false, buffer) ? 0 : 1;
    KString extension = ExtractFileExtension(buffer.mOriginalFileName.ToChars()).Lower();
    if (extension.Compare("tif") == 0 || extension.Compare("tiff") == 0)
        return result;
    if (!IsSupported(extension))
        return 1;
    KString target = ExtractDirectoryFromFilePath(fileName.ToChars()) + "/" +
                     ExtractFileName(buffer.mOriginalFileName.ToChars(), true);
    ZImage image;
    if (!image.readFromFile(ZString(fileName.ToChars())))
        return 1;
    if (!image.writeToFile(ZString(target.ToChars()), ZString(extension.ToChars())))
        return 1;
    KFile::Remove(fileName.ToChars());
    fileName = target;
    return 0;
}
