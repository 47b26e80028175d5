#include "scene/attributes/kqoximageconverter.h"

#include <cstdint>
#include <new>

#include "base/kpath.h"
#include "base/kset.h"

namespace qoxsdk_600 {

namespace {

// Growth block of the registry, in entries.
const int kRegistryBlockSize = 20;

// Functions are kept as pointer-sized set values.
kReference ToReference(KQoxImageConverterFunction function)
{
    return reinterpret_cast<kReference>(function);
}

KQoxImageConverterFunction ToFunction(kReference value)
{
    return reinterpret_cast<KQoxImageConverterFunction>(value);
}

} // namespace

// ---- ImageConverterBuffer ----

ImageConverterBuffer::ImageConverterBuffer() = default;

ImageConverterBuffer::~ImageConverterBuffer()
{
    mPixels.reset();
    mValid = false;
}

void ImageConverterBuffer::Init(int width, int height, bool allocate, int colorFormat, char bytesPerPixel)
{
    mWidth = width;
    mHeight = height;
    mColorFormat = colorFormat;
    mBytesPerPixel = static_cast<signed char>(bytesPerPixel);
    mPixels.reset();

    mValid = !allocate ||
             (width >= 1 && height >= 1 && (colorFormat == eRGB || colorFormat == eYCbCr) && mBytesPerPixel >= 1);
    if (mValid && allocate)
    {
        // Each factor is positive and below 2^31, so the product of the
        // first two fits; the bound keeps the third from overflowing.
        long long pixels = static_cast<long long>(width) * height;
        if (pixels > kMaxPixelBytes / mBytesPerPixel)
            mValid = false;
        else
        {
            mPixels.reset(new (std::nothrow) unsigned char[static_cast<size_t>(pixels * mBytesPerPixel)]);
            mValid = mPixels != nullptr;
        }
    }
    mAllocated = allocate;
}

long long ImageConverterBuffer::GetPixelByteCount() const
{
    if (!mPixels)
        return 0;
    return static_cast<long long>(mWidth) * mHeight * mBytesPerPixel;
}

// ---- KQoxImageConverter ----

KQoxImageConverter::KQoxImageConverter(KQoxSdkManager& manager)
    : mConverters(new KCharPtrSet(kRegistryBlockSize))
    , mManager(manager)
{}

KQoxImageConverter::~KQoxImageConverter() = default;

void KQoxImageConverter::RegisterConverterFunction(KString extension, KQoxImageConverterFunction function)
{
    if (!function || mConverters->Get(extension) != 0)
        return;
    mConverters->Add(extension, ToReference(function));
}

void KQoxImageConverter::UnregisterConverterFunction(KQoxImageConverterFunction function)
{
    if (!function)
        return;
    for (int i = 0; i < mConverters->GetCount(); ++i)
    {
        if (mConverters->GetFromIndex(i) == ToReference(function))
        {
            mConverters->RemoveFromIndex(i);
            return;
        }
    }
}

bool KQoxImageConverter::Convert(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    KString extension = ExtractFileExtension(fileName);
    if (extension.IsEmpty())
        return false;
    KQoxImageConverterFunction function = ToFunction(mConverters->Get(extension));
    if (!function)
        return false;
    return function(mode, fileName, buffer) == 0;
}

} // namespace qoxsdk_600
